#pragma once

#include "CControl.h"

#include <memory>
#include <vector>

class CCImageStrip;

// A bar bitmap drawn as wide as the value's share of the range, centred over the
// background.
class CCSimpleProgress : public CControl {
public:
    CCSimpleProgress(int32_t tag, const CCRect& rect, int barId, int32_t minimum, int32_t maximum,
                     CCPageObject* listener, uint16_t viewBits);
    // The rectangle is the origin plus the background's size (the bar's without one).
    CCSimpleProgress(int32_t tag, CCPoint origin, int backgroundId, int barId, int32_t minimum,
                     int32_t maximum, CCPageObject* listener, uint16_t viewBits);
    ~CCSimpleProgress() override;
    void drawContents(CCDrawContext* context) override;

private:
    CCBitmap* bar_ = nullptr;
};

// A lamp: the strip cell given by the value.
class CCIndicator : public CControl {
public:
    CCIndicator(int32_t tag, CCPoint origin, int stripId, int cellCount, int32_t value,
                CCPageObject* listener, uint16_t viewBits);
    CCIndicator(int32_t tag, int left, int top, int right, int bottom, int stripId, int32_t value,
                CCPageObject* listener, uint16_t viewBits);
    ~CCIndicator() override;
    void drawContents(CCDrawContext* context) override;
    int onParameterMessage(CCMsg* msg) override;

private:
    CCIndicator(int32_t tag, CCPoint origin, CCImageStrip* strip, int32_t value, CCPageObject* listener,
                uint16_t viewBits);
    CCIndicator(int32_t tag, const CCRect& rect, CCImageStrip* strip, int32_t value,
                CCPageObject* listener, uint16_t viewBits);
    CCImageStrip* strip_ = nullptr;
};

// Segments (lamps) lit in proportion to the value; they change when it is drawn.
class CCBargraph : public CControl {
public:
    CCBargraph(int32_t tag, int left, int top, int right, int bottom, int32_t minimum, int32_t maximum,
               int32_t value, int ignored, CCPageObject* listener, uint16_t viewBits);
    CCIndicator* addSegment(int left, int top, int right, int bottom, int stripId, int frames);
    void drawContents(CCDrawContext* context) override;
    int onParameterMessage(CCMsg* msg) override;
    // A segment that leaves the bar is forgotten.
    void onDescendantRemoved(CCPageObject* object) override;
    int litCount() const { return lit_; }

private:
    void updateStep();

    std::vector<CCIndicator*> segments_; // children, owned by the tree
    int step_ = 1;
    int lit_ = 0;
};

// One bitmap per LED, lit by the bits of the value.
class CCLedArray : public CControl {
public:
    static constexpr int kMaxLeds = 30;

    CCLedArray(int32_t tag, int left, int top, int right, int bottom, const int* bitmapIds, int count,
               int spacing, CCPageObject* listener, uint16_t viewBits);
    ~CCLedArray() override;
    void drawContents(CCDrawContext* context) override;
    int onParameterMessage(CCMsg* msg) override;

private:
    std::vector<CCBitmap*> leds_;
    int spacing_;
};

// Shows its own copy of an image.
class CCImageViewer : public CControl {
public:
    CCImageViewer(int32_t tag, const CCRect& rect, int ignored, CCPageObject* listener, uint16_t viewBits);
    // Null drops the image.
    void setImage(const CCBitmap* source);
    void drawContents(CCDrawContext* context) override;
    const CCBitmap* image() const { return image_.get(); }

private:
    std::unique_ptr<CCBitmap> image_;
};
