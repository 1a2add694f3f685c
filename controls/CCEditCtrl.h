#pragma once

#include "CCDrawContext.h"
#include "CCEditObject.h"

#include <cstdint>
#include <string>

class CControl;
class CCPageManager;
class CCPageObject;
struct PlatformWindow;

// Typing into a field: the OS's one-line edit popup over it, pre-filled and all
// selected. Enter or a loss of focus commits (525 to the owner, the text cleaned),
// Escape abandons; an edit deleted without a committed text tells its owner 526, so
// the owner hears exactly one of the two. The page manager holds and deletes it.
class CCEditCtrl : public CCEditObject {
public:
    static constexpr size_t kTextSize = 128;
    static constexpr int kMinWidth = 16;
    static constexpr int kMinHeight = 17;
    static constexpr int kFontHeight = 10;
    // Edits opened by the handlers of the ones ended before this opens.
    static constexpr int kMostEndedBefore = 8;

    // Opens the popup over the rectangle (the editor window's client coordinates);
    // when it opened, the owner's page manager ends the edit it held and holds this
    // one. Without a manager, window or popup it stays inert (isOpen() false).
    CCEditCtrl(int32_t id, int left, int top, int right, int bottom, CCPageObject* owner, const char* initialText,
               uint16_t maxLength, bool password);
    CCEditCtrl(const CCEditCtrl&) = delete;
    CCEditCtrl& operator=(const CCEditCtrl&) = delete;
    ~CCEditCtrl() override;

    bool Commit();
    int End() override;
    bool Cancel();
    // What is in the popup now (at most 127 characters).
    const char* GetText();

    void popupEnded(bool committed, const std::string& text) override;
    CCPageObject* owner() const override { return owner_; }
    void forgetOwner() override { owner_ = nullptr; }

    bool isOpen() const { return window_ != nullptr; }
    bool committed() const { return committed_; }
    bool ending() const { return ending_; }
    int32_t id() const { return id_; }
    const char* text() const { return text_; }

private:
    bool commitText(const std::string& typed);
    void closePopup();

    char text_[kTextSize] = {};
    char work_[kTextSize] = {};
    uint16_t maxLength_;
    bool ending_ = false;
    CCPageObject* owner_;
    int32_t id_;
    bool committed_ = false;
    bool password_;
    PlatformWindow* window_ = nullptr; // the window whose popup is ours; null once it is gone
    CCPageManager* manager_ = nullptr;
};

// What a text field asks for when it is clicked.
struct EditRequest {
    CCRect rect;
    int32_t id = 0;            // reported back in 525 / 526
    CControl* owner = nullptr; // receives the result
    CCPageManager* manager = nullptr;
    std::string text;
    int maxLength = 255;
    bool password = false;
};

// Opens the edit the request asks for; an edit still open on that manager ends
// first, so its owner hears its 525 or 526. True when the popup opened; otherwise
// the owner has heard 526 already.
bool openEdit(const EditRequest& request);
// Ends the manager's open edit, if any, as a loss of focus does.
void endEdit(CCPageManager* manager);
// The manager's popup was ended by the user: committed with that text, or abandoned.
void editEnded(CCPageManager* manager, bool committed, const std::string& text);

// Entered text as the owner gets it: control characters become spaces, leading and
// trailing spaces go, at most maxLength characters. Empty means "no text".
std::string cleanEditText(const std::string& text, int maxLength);
