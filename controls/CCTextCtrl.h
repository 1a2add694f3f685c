#pragma once

#include "CControl.h"

// A text field: shows a text over a background that stretches by its right cap,
// and opens the edit control when clicked. Its value range is 0..0; the text is
// not a value.
class CCTextCtrl : public CControl {
public:
    static constexpr int kTextSize = 256;

    CCTextCtrl(int32_t tag, const CCRect& rect, int backgroundId, CCPageObject* listener,
               uint16_t viewBits);
    // The rectangle is the origin plus the background's size.
    CCTextCtrl(int32_t tag, CCPoint origin, int backgroundId, CCPageObject* listener, uint16_t viewBits);
    ~CCTextCtrl() override;

    void setText(const char* text, bool redraw);
    const char* text() const { return text_; }
    void setEditable(bool on) { editable_ = on; }
    void setPassword(bool on) { password_ = on; }
    void setCommitThroughOwner(bool on) { commitThroughOwner_ = on; }
    void setMaxLength(int length);
    int maxLength() const { return maxLength_; }

    char* getText(char* buffer, size_t length) override;
    bool hitTest(int x, int y) override;
    int cursorAt(int x, int y) override;
    void drawContents(CCDrawContext* context) override;
    int onMouse(CCMouseMsg* msg) override;
    int onParameterMessage(CCMsg* msg) override;

protected:
    void setDisplayOwner(CControl* owner) override { owner_ = owner; }
    CControl* displayOwner() const override { return owner_; }
    void showOwnerText(const char* text, bool redraw) override { setText(text, redraw); }

private:
    void formatParameter(int32_t index);

    char text_[kTextSize] = {};
    CControl* owner_ = nullptr;
    int maxLength_ = kTextSize - 1;
    bool commitThroughOwner_ = false;
    bool editable_ = true;
    bool password_ = false;
    int rightCap_ = 3;
};
