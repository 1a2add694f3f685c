#pragma once

// The edit popup of the X11 backend. The program's own headers come before the X
// ones (see X11State.h).
#include "EditLine.h"
#include "TextRenderer.h"
#include "UiPlatform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

// A one-line editor over a field of a window: a borderless override-redirect
// window of its own, drawn here in page pixels and shown at the owner's scale.
// The owner's OS window keeps the keyboard focus; its keys come here while the
// popup is open.
struct X11EditPopup {
    X11EditPopup(std::string text, size_t maxLength) : line(std::move(text), maxLength) {}

    Window id = 0;
    Window ownerId = 0;        // the OS window it lies over: the owner's, or its parent's
    int offsetX = 0, offsetY = 0; // of its top-left corner in that window, screen pixels
    int scale = 1;
    int width = 0, height = 0; // page pixels, the border included
    int fontHeight = 12;
    bool password = false;
    EditPopupRequest::Align align = EditPopupRequest::Align::Left;

    EditLine line;
    std::vector<int> edges;    // of the text as shown, from textLeft
    int textLeft = 0;          // where the text's pen starts, in popup pixels
    int scroll = 0;            // how far a text wider than the field is moved left

    GC gc = nullptr;
    XImage* image = nullptr;   // the popup as shown, screen-sized
    XIC inputContext = nullptr;
    unsigned long focusSerial = 0; // focus changes reported before this are older than the popup
    bool dragging = false;         // a press in it selects while the pointer moves

    // A paste asked of a selection's owner, answered through SelectionNotify.
    bool pasting = false;
    Atom pasteSelection = 0, pasteTarget = 0;
    Time pasteTime = 0;
    uint64_t pasteDeadline = 0; // steady milliseconds; a later answer is ignored

    // Set when the user ended it; the loop then destroys it and tells the owner.
    std::optional<WindowEvent::EditEnding> ending;
};
