#pragma once

#include "CCPageObject.h"

#include <cstdint>
#include <memory>
#include <string>

class CCBitmapFont;
class ParameterAccess;
class PreferenceAccess;

// The base of every control: an integer value in a range, a tag naming what the
// control stands for, the rules by which a change is clamped, reported and drawn,
// the common mouse handling and the common drawing frame.
class CControl : public CCPageObject {
public:
    static constexpr uint32_t kHoldTimer = 259;
    static constexpr uint32_t kHoldDelayMs = 400;
    static constexpr int kHoldSlop = 8;
    static constexpr int kValueTextSize = 64;

    CControl();
    CControl(int32_t tag, int left, int top, int right, int bottom, int32_t minimum, int32_t maximum,
             int32_t value, CCPageObject* listener, uint16_t viewBits);
    ~CControl() override;

    int handleMessage(CCMsg* msg) override;
    int handleMouse(CCMouseMsg* msg) override;
    void setEnabled(bool enabled, uint8_t alpha) override;
    void setShown(bool shown) override;
    bool hitTest(int x, int y) override;
    void draw(CCDrawContext* context) override;
    uint16_t changeViewBits(uint16_t set, uint16_t clear) override;
    CCFont* getFont() override;

    virtual void resendValue(bool notify, bool redraw, bool extra);
    virtual void setValueForced(int32_t value, bool notify, bool redraw, bool extra);
    virtual void setValue(int32_t value, bool notify, bool redraw, bool extra);
    virtual void setNormalized(float x);
    virtual void syncFromSource();
    virtual void onDoubleClick(int x, int y);
    virtual float toNormalized(int32_t value);
    virtual int onParameterMessage(CCMsg* msg) { (void)msg; return 0; }
    virtual int onMouse(CCMouseMsg* msg) { (void)msg; return 0; }
    virtual void drawContents(CCDrawContext* context) { (void)context; }
    virtual char* getText(char* buffer, size_t length);
    virtual void onTextHook(void* argument) { (void)argument; }
    virtual void setFromText(int32_t ignored, const char* text, bool asInteger);
    virtual void onTextCommitted(int32_t tag, const char* text) { (void)tag, (void)text; }
    virtual void applyValue(int32_t value, bool notify, bool redraw, bool extra, bool forced);
    virtual bool alwaysNotify() { return false; }

    void setRange(int32_t minimum, int32_t maximum);
    int32_t fromNormalized(float x);
    void setValueFromParameter(int32_t value, bool redraw, bool extra);
    void setValueRaw(float x, bool notify, bool redraw, bool extra);
    void refreshValue() { setValue(value_, false, false, false); }
    CCBitmapFont* setBitmapFont(int stripId, int width);
    // A control that shows this one's value as text (a text field); it points back to
    // this control until either of them goes.
    void setLinkedDisplay(CControl* display);
    void setViewSwitch(bool on, uint16_t mask);
    void setEcho(bool on) { echo_ = on; }
    void setWrap(bool on) { wrap_ = on; }
    void setOverlayBitmap(int id);
    // Turns on the drawing of the bound parameter's text in that rectangle.
    void setValueText(bool on, const CCRect& rect, uint32_t colour);
    void setHighlightColour(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha = 255);
    void setAlignment(int alignment) { alignment_ = alignment; }
    static void ensureDefaultBitmapFont();

    int32_t tag() const { return tag_; }
    int32_t value() const { return value_; }
    int32_t minimum() const { return minimum_; }
    int32_t maximum() const { return maximum_; }
    int32_t span() const { return span_; }
    bool rawMode() const { return raw_; }
    bool hover() const { return hover_; }
    bool changedNotDrawn() const { return changedNotDrawn_; }
    CControl* linkedDisplay() const { return linkedDisplay_; }
    int alignment() const { return alignment_; }
    bool hasHighlightColour() const { return highlight_[0] || highlight_[1] || highlight_[2]; }

    // The process-wide press-and-hold switch (off: nothing in the program turns it on).
    static void setPressAndHold(bool on);
    static bool pressAndHold();

protected:
    // What a linked display hears from the control it shows: who that is (null when
    // no one any more) and the value's text. Controls that show no text ignore both.
    virtual void setDisplayOwner(CControl* owner) { (void)owner; }
    virtual CControl* displayOwner() const { return nullptr; }
    virtual void showOwnerText(const char* text, bool redraw) { (void)text, (void)redraw; }

    // Copies text into a caller's buffer of length bytes, always terminated.
    static char* copyText(char* buffer, size_t length, const std::string& text);
    // The background bitmap, stretched by its right cap, tinted while hovered.
    void drawHoverBackground(CCDrawContext* context, int rightCap) const;
    ParameterAccess* parameters() const;
    PreferenceAccess* preferences() const;
    bool hasParameter(int32_t index) const;
    // Takes the value of the preference named by the tag; false when there is none.
    bool takePreference();
    // Sets the tint to the highlight colour; returns whether it did.
    void tintWithHighlight(CCDrawContext* context) const;
    bool usable() const { return enabled_ && visible_ && shown_; }

    int32_t holdX_ = 0, holdY_ = 0;
    int32_t tag_ = 0;
    int32_t value_ = 0;
    int32_t minimum_ = 0;
    int32_t maximum_ = 0;
    int32_t span_ = 1;
    uint32_t viewSwitchMask_ = 0;
    bool viewSwitch_ = false;
    bool raw_ = false;
    bool changedNotDrawn_ = false;
    bool hover_ = false;
    bool hoverDrawn_ = false;
    bool echo_ = false;
    bool wrap_ = false;
    bool valueText_ = false;
    uint8_t valueTextColour_[4] = {0, 0, 0, 255};
    CCRect valueTextRect_;
    CControl* linkedDisplay_ = nullptr; // holds a back pointer to this control
    std::unique_ptr<char[]> valueTextBuffer_;
    std::unique_ptr<CCBitmapFont> bitmapFont_;
    CCBitmap* overlay_ = nullptr;
    uint8_t highlight_[4] = {0, 0, 0, 0};
    int alignment_ = 0;
    float rawReported_ = 0.0f; // the float a raw-mode change reports
};

// Draws a background whole, or, when the rectangle is narrower, its left part and
// its last `cap` pixels at the right end.
void drawStretchedBackground(CCDrawContext* context, const CCBitmap* background, const CCRect& rect,
                             int cap);

// Application callbacks of the framework. Kind 0: the bitmap loader's pixel hook;
// kind 1: a second callback and the bitmap-font callback; kind 2: the bitmap-font
// callback alone. The bitmap-font callback names a strip (resource id, cell width).
using BitmapFontCallback = bool (*)(int& bitmapId, int& cellWidth);
void registerAppCallback(int kind, void* function);
