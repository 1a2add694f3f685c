#include "X11State.h"

#include <algorithm>
#include <unistd.h>

#include <X11/Xatom.h>

namespace {

std::atomic<int> lastXError{0};

} // namespace

// Xlib's own handler ends the process; a refused request (a window of another
// program that went away, an extension that refuses) is an answer here.
int recordXError(Display*, XErrorEvent* error) {
    lastXError = error->error_code;
    return 0;
}

int takeXError() {
    return lastXError.exchange(0);
}

X11State::~X11State() {
    portalDialog.reset();
    fileDialog.reset(); // the program ends with us: the dialog goes too
    while (!editPopups.empty())
        dropEditPopup(editPopups.begin()->first);
    if (inputMethod)
        XCloseIM(inputMethod);
    for (auto& window : windows)
        if (!window->destroyed)
            releaseWindow(*window);
    if (display) {
        for (auto& [kind, cursor] : cursors)
            XFreeCursor(display, cursor);
        if (invisibleCursor)
            XFreeCursor(display, invisibleCursor);
        if (textCursor)
            XFreeCursor(display, textCursor);
        XCloseDisplay(display);
    }
    if (wakeFd >= 0)
        ::close(wakeFd);
}

X11Window* X11State::live(PlatformWindow* window) const {
    for (const auto& candidate : windows)
        if (candidate.get() == window && !candidate->destroyed)
            return candidate.get();
    return nullptr;
}

X11Window* X11State::byId(Window id) const {
    for (const auto& candidate : windows)
        if (candidate->id == id && !candidate->destroyed && !candidate->parent)
            return candidate.get();
    return nullptr;
}

X11Window* X11State::inputOf(X11Window* window) {
    return window && window->child && !window->child->destroyed ? window->child : window;
}

void X11State::deliver(X11Window* window, const WindowEvent& event) {
    if (window && !window->destroyed && window->handler)
        window->handler->onWindowEvent(window, event);
}

void X11State::wake() {
    const uint64_t one = 1;
    while (::write(wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool X11State::managerSupports(Atom feature) {
    // A window manager that has gone leaves its _NET_SUPPORTED behind: only trust it
    // while the check window it names is there and names itself.
    auto windowProperty = [this](Window window, Atom property, Window& value) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool found = false;
        trapErrors([&] {
            if (XGetWindowProperty(display, window, property, 0, 1, False, XA_WINDOW, &type, &format,
                                   &count, &after, &data) == Success &&
                data && format == 32 && count == 1) {
                value = Window(reinterpret_cast<unsigned long*>(data)[0]);
                found = true;
            }
        });
        if (data)
            XFree(data);
        return found;
    };
    Window check = 0, self = 0;
    if (!windowProperty(root, atoms.netSupportingWmCheck, check) ||
        !windowProperty(check, atoms.netSupportingWmCheck, self) || self != check)
        return false;

    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool supported = false;
    if (XGetWindowProperty(display, root, atoms.netSupported, 0, 1024, False, XA_ATOM, &type, &format,
                           &count, &after, &data) == Success &&
        data && format == 32) {
        const auto* list = reinterpret_cast<unsigned long*>(data);
        supported = std::find(list, list + count, feature) != list + count;
    }
    if (data)
        XFree(data);
    return supported;
}
