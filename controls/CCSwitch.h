#pragma once

#include "CControl.h"

class CCImageStrip;

// A multi-position switch: dragged with the cursor hidden, one position per 24
// pixels of pointer travel, or turned with the wheel.
class CCSwitch : public CControl {
public:
    static constexpr int kDragThreshold = 24;

    CCSwitch(int32_t tag, int left, int top, int right, int bottom, int32_t value, int cellWidth,
             int stripId, bool vertical, int positions, CCPageObject* listener, uint16_t viewBits);
    ~CCSwitch() override;
    void drawContents(CCDrawContext* context) override;
    int onMouse(CCMouseMsg* msg) override;
    int onParameterMessage(CCMsg* msg) override;
    // Disabled mid-drag: the capture goes and the cursor comes back.
    void onEnabledChanged(bool enabled) override;

    // Local coordinates to a position; the knob of a position in window coordinates.
    int positionAt(int localX, int localY) const;
    CCPoint knobPoint(int position) const;

private:
    // The capture goes and the cursor comes back over the knob.
    void endDrag();

    CCImageStrip* strip_ = nullptr;
    int cellWidth_;
    bool vertical_;
    int positions_;
    int dragX_ = 0, dragY_ = 0; // screen position of the last step
};
