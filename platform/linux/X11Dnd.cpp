// Files dropped from a file manager, by the XDND protocol (version 5): the source
// announces a drag, we answer whether we would take it, and on the drop we ask for
// the text/uri-list and tell the source when we are done.
#include "UriList.h"
#include "X11State.h"

#include <algorithm>

#include <X11/Xatom.h>

namespace {

constexpr long kDropBytesLimit = 64 * 1024; // a few hundred paths: more is not a drop of ours
constexpr long kTypeListLimit = 64;

void sendToSource(X11State& state, X11Window& window, Atom type, long first, long second, long third) {
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.display = state.display;
    message.xclient.window = window.dropSource;
    message.xclient.message_type = type;
    message.xclient.format = 32;
    message.xclient.data.l[0] = long(window.id);
    message.xclient.data.l[1] = first;
    message.xclient.data.l[2] = second;
    message.xclient.data.l[3] = 0;
    message.xclient.data.l[4] = third;
    state.trapErrors([&] { XSendEvent(state.display, window.dropSource, False, NoEventMask, &message); });
}

// XdndStatus: whether a drop here would be taken, and as a copy.
void sendStatus(X11State& state, X11Window& window) {
    const bool accept = window.dropAcceptable;
    sendToSource(state, window, state.atoms.xdndStatus, accept ? 1 : 0, 0,
                 accept ? long(state.atoms.xdndActionCopy) : 0);
}

void sendFinished(X11State& state, X11Window& window, bool taken) {
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.display = state.display;
    message.xclient.window = window.dropSource;
    message.xclient.message_type = state.atoms.xdndFinished;
    message.xclient.format = 32;
    message.xclient.data.l[0] = long(window.id);
    message.xclient.data.l[1] = taken ? 1 : 0;
    message.xclient.data.l[2] = taken ? long(state.atoms.xdndActionCopy) : 0;
    state.trapErrors([&] { XSendEvent(state.display, window.dropSource, False, NoEventMask, &message); });
}

void forgetDrop(X11Window& window) {
    window.dropSource = 0;
    window.dropAcceptable = false;
    window.dropRequested = false;
}

// The source's offered types: in the message, or in its XdndTypeList when there are more than three.
bool offersUriList(X11State& state, const XClientMessageEvent& enter) {
    const Window source = Window(enter.data.l[0]);
    if (enter.data.l[1] & 1) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool offered = false;
        state.trapErrors([&] {
            if (XGetWindowProperty(state.display, source, state.atoms.xdndTypeList, 0, kTypeListLimit, False,
                                   XA_ATOM, &type, &format, &count, &after, &data) == Success &&
                data && format == 32) {
                const auto* atoms = reinterpret_cast<const unsigned long*>(data);
                offered = std::find(atoms, atoms + count, state.atoms.textUriList) != atoms + count;
            }
        });
        if (data)
            XFree(data);
        return offered;
    }
    for (int i = 2; i <= 4; ++i)
        if (Atom(enter.data.l[i]) == state.atoms.textUriList)
            return true;
    return false;
}

} // namespace

void X11State::dropMessage(X11Window& window, const XClientMessageEvent& message) {
    if (message.format != 32 || !window.request.acceptFiles)
        return;
    const Window source = Window(message.data.l[0]);
    if (message.message_type == atoms.xdndEnter) {
        forgetDrop(window);
        window.dropSource = source;
        window.dropAcceptable = offersUriList(*this, message);
        return;
    }
    // Everything else belongs to the drag that entered.
    if (source != window.dropSource || !source)
        return;
    if (message.message_type == atoms.xdndPosition) {
        window.dropRootX = int(message.data.l[2] >> 16 & 0xFFFF);
        window.dropRootY = int(message.data.l[2] & 0xFFFF);
        sendStatus(*this, window);
    } else if (message.message_type == atoms.xdndLeave) {
        forgetDrop(window);
    } else if (message.message_type == atoms.xdndDrop) {
        if (!window.dropAcceptable || window.dropRequested) {
            sendFinished(*this, window, false);
            forgetDrop(window);
            return;
        }
        window.dropRequested = true;
        XDeleteProperty(display, window.id, atoms.dropProperty);
        XConvertSelection(display, atoms.xdndSelection, atoms.textUriList, atoms.dropProperty, window.id,
                          Time(message.data.l[2]));
        XFlush(display);
    }
}

void X11State::dropSelection(X11Window& window, const XSelectionEvent& selection) {
    if (!window.dropRequested || selection.selection != atoms.xdndSelection)
        return;
    std::vector<std::string> paths;
    if (selection.property == atoms.dropProperty) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window.id, atoms.dropProperty, 0, kDropBytesLimit / 4, True,
                               AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
            data && format == 8 && after == 0)
            paths = parseUriList(std::string_view(reinterpret_cast<const char*>(data), count));
        if (data)
            XFree(data);
        XDeleteProperty(display, window.id, atoms.dropProperty); // what was too large to read
    }
    sendFinished(*this, window, !paths.empty());
    const int rootX = window.dropRootX, rootY = window.dropRootY;
    forgetDrop(window);
    XFlush(display);
    if (paths.empty())
        return;
    WindowEvent drop;
    drop.kind = WindowEvent::Kind::Drop;
    drop.screenX = rootX, drop.screenY = rootY;
    Window child = 0;
    XTranslateCoordinates(display, root, window.id, rootX, rootY, &drop.x, &drop.y, &child);
    drop.paths = std::move(paths);
    deliver(&window, drop);
}
