#pragma once

#include "CControl.h"

#include <string>

class CCFont;
class CCImageStrip;

struct CCColour {
    uint8_t red = 0, green = 0, blue = 0, alpha = 0;
};

// An on/off button over an image strip, in five behaviours.
class CCOnOffButton : public CControl {
public:
    enum Mode { MODE_MOMENTARY = 0, MODE_TOGGLE = 1, MODE_CLICK = 2, MODE_LATCH = 3, MODE_CLICK_HOVER = 4 };

    // Strip cells as wide as the rectangle.
    CCOnOffButton(int32_t tag, const CCRect& rect, int stripId, int mode, int32_t value,
                  CCPageObject* listener, uint16_t viewBits);
    // The rectangle is the origin plus one cell.
    CCOnOffButton(int32_t tag, CCPoint origin, int stripId, int cellCount, int mode, int32_t value,
                  CCPageObject* listener, uint16_t viewBits);
    // A second strip drawn over the first, tinted by the value.
    CCOnOffButton(int32_t tag, CCPoint origin, int stripId, int overlayStripId, int cellCount, int mode,
                  int32_t value, CCColour offColour, CCColour onColour, CCColour highlightColour,
                  CCPageObject* listener, uint16_t viewBits);
    ~CCOnOffButton() override;

    void drawContents(CCDrawContext* context) override;
    int onMouse(CCMouseMsg* msg) override;
    int onParameterMessage(CCMsg* msg) override;
    void onEnabledChanged(bool enabled) override;
    int cursorAt(int x, int y) override { (void)x, (void)y; return 300; }

    // The strip cell shown now.
    unsigned currentFrame() const;
    bool pressed() const { return pressed_; }
    bool hoverLook() const { return hoverLook_; }
    int mode() const { return mode_; }

protected:
    CCOnOffButton(int32_t tag, const CCRect& rect, CCImageStrip* strip, int mode, int32_t value,
                  CCPageObject* listener, uint16_t viewBits);
    CCOnOffButton(int32_t tag, CCPoint origin, CCImageStrip* strip, int mode, int32_t value,
                  CCPageObject* listener, uint16_t viewBits);

    bool pressed_ = false;
    bool hoverLook_ = false;
    CCImageStrip* strip_ = nullptr;
    CCImageStrip* overlayStrip_ = nullptr;
    CCColour offColour_, onColour_;
    int mode_ = MODE_MOMENTARY;
};

// Cell 1 when on, cell 0 when off; tinted while the pointer is over it.
class CSimpleButton : public CCOnOffButton {
public:
    using CCOnOffButton::CCOnOffButton;
    void drawContents(CCDrawContext* context) override;
};

// Shows the cell given by a flash phase while on; the owner flips the phase.
class CCFlashingOnOffButton : public CControl {
public:
    void onEnabledChanged(bool enabled) override {
        if (!enabled)
            pressed_ = false; // the release will not reach a disabled button
    }
    CCFlashingOnOffButton(int32_t tag, int left, int top, int right, int bottom, int stripId, int mode,
                          int32_t value, CCPageObject* listener, uint16_t viewBits);
    ~CCFlashingOnOffButton() override;
    void drawContents(CCDrawContext* context) override;
    int onMouse(CCMouseMsg* msg) override;
    int onParameterMessage(CCMsg* msg) override;
    int cursorAt(int x, int y) override { (void)x, (void)y; return 300; }
    void setFlashPhase(int phase) { flashPhase_ = phase ? 1 : 0; }
    void flashTick();

private:
    bool pressed_ = false;
    int flashPhase_ = 0;
    CCImageStrip* strip_ = nullptr;
    int mode_;
};

// While on, its second cell pulses in over the first on a window timer.
class CCPulseButton : public CControl {
public:
    void onEnabledChanged(bool enabled) override {
        if (!enabled)
            pressed_ = false; // the release will not reach a disabled button
    }
    static constexpr uint32_t kPulseMs = 50;

    CCPulseButton(int32_t tag, int left, int top, int right, int bottom, int stripId, int mode,
                  int32_t value, CCPageObject* listener, uint16_t viewBits);
    ~CCPulseButton() override;
    void drawContents(CCDrawContext* context) override;
    int onMouse(CCMouseMsg* msg) override;
    int onParameterMessage(CCMsg* msg) override;
    void applyValue(int32_t value, bool notify, bool redraw, bool extra, bool forced) override;
    int cursorAt(int x, int y) override { (void)x, (void)y; return 300; }

    // Each button pulses on a repeating timer of its own: one it was given, else
    // one the manager hands out when it first pulses. 0 until then.
    void setTimerId(uint32_t id) { timerId_ = id; }
    uint32_t timerId() const { return timerId_; }
    void setContinuous(bool on) { continuous_ = on; }
    bool pulsing() const { return pulsing_; }
    int phase() const { return phase_; }

private:
    bool pressed_ = false;
    bool pulsing_ = false;
    int phase_ = 0;
    bool falling_ = false;
    uint32_t timerId_ = 0;
    CCImageStrip* strip_ = nullptr;
    int mode_;
    bool continuous_ = false;
};

// A background with a text; another font while the pointer is over it.
class CCTextButton : public CControl {
public:
    void onEnabledChanged(bool enabled) override {
        if (!enabled)
            pressed_ = false; // the release will not reach a disabled button
    }
    CCTextButton(int32_t tag, const CCRect& rect, CCFont* font, CCFont* hoverFont, int backgroundId,
                 CCPageObject* listener, uint16_t viewBits);
    void setText(const char* text);
    char* getText(char* buffer, size_t length) override;
    void drawContents(CCDrawContext* context) override;
    int onMouse(CCMouseMsg* msg) override;
    int onParameterMessage(CCMsg* msg) override;
    int cursorAt(int x, int y) override { (void)x, (void)y; return 300; }

private:
    CCFont* hoverFont_;
    std::string text_;
    bool pressed_ = false;
    bool hoverLook_ = false;
};

// Shared by the button family: a press inside and the release that completes it.
// Returns 1 when the message was a press or a release of this button.
int pressAndRelease(CControl& button, CCMouseMsg* msg, int mode, bool& pressed);
