#pragma once

#include <string>

class CCPageObject;

// The one open text edit a page manager holds: ended by the manager when the
// editor's window loses the focus or another edit opens, then deleted by it.
class CCEditObject {
public:
    virtual ~CCEditObject() = default;
    // Commits what was typed and closes the OS's edit popup.
    virtual int End() = 0;
    // The user ended the popup (it is gone): commit the text or abandon it.
    virtual void popupEnded(bool committed, const std::string& text) = 0;
    virtual CCPageObject* owner() const = 0;
    // The owner leaves the tree: nothing is delivered to it any more.
    virtual void forgetOwner() = 0;
};
