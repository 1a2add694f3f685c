#pragma once

#include "CCDrawContext.h"

#include <cstdint>
#include <string>

class CControl;
class CCPageManager;

// What a text field asks of the edit control that opens over it.
struct EditRequest {
    CCRect rect;
    int32_t id = 0;            // reported back in 525 / 526
    CControl* owner = nullptr; // receives the result while it is the manager's edit object
    CCPageManager* manager = nullptr;
    std::string text;
    int maxLength = 255;
    bool password = false;
};

// Opens the edit control over a field. The result comes back to the owner as 525
// (text entered) or 526 (closed without text).
class EditControlProvider {
public:
    virtual ~EditControlProvider() = default;
    virtual bool open(const EditRequest& request) = 0;
    // Ends that open edit as a loss of focus does: the text in it is committed
    // (525), or abandoned (526) when blank. Without a text to read, abandoned.
    virtual void end(const EditRequest& request);
};

// The installed provider. Until one is installed, an edit opens with nothing to type
// into, and ending it keeps the text it opened with.
EditControlProvider& editControlProvider();
EditControlProvider* setEditControlProvider(EditControlProvider* provider);

// Opens the edit the request asks for; an edit still open on that manager ends
// first, so its owner hears its 525 or 526. True when the edit opened.
bool openEdit(const EditRequest& request);
// Ends the manager's open edit, if any; its owner hears exactly one 525 or 526.
void endEdit(CCPageManager* manager);
// The manager's open edit was ended by the user (the OS's edit popup): committed
// with the text in it, or abandoned. Its owner hears exactly one 525 or 526.
void editEnded(CCPageManager* manager, bool committed, const std::string& text);

// Entered text as the owner gets it: control characters become spaces, leading and
// trailing spaces go, at most maxLength characters. Empty means "no text".
std::string cleanEditText(const std::string& text, int maxLength);
// Sends 525 with the cleaned text, or 526 when nothing is left of it.
void finishEdit(const EditRequest& request, const std::string& entered);
void cancelEdit(const EditRequest& request);
