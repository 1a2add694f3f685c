#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>

// The first viewable window below `parent` (down to `depth` levels: a window
// manager's frame is one) whose WM_CLASS class is `className`; 0 when there is none.
// Callers ignore X errors: a window may go away while it is looked at.
inline Window findWindowByClass(Display* display, Window parent, const std::string& className, int depth) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        XClassHint hint{};
        if (XGetClassHint(display, children[i], &hint)) {
            if (hint.res_class && className == hint.res_class) {
                XWindowAttributes attributes;
                if (XGetWindowAttributes(display, children[i], &attributes) &&
                    attributes.map_state == IsViewable)
                    found = children[i];
            }
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        if (!found && depth > 0)
            found = findWindowByClass(display, children[i], className, depth - 1);
    }
    if (children)
        XFree(children);
    return found;
}
