#include "X11Platform.h"

#include "X11State.h"

#include <X11/cursorfont.h>

bool X11Platform::setCursorKind(int kind) {
    unsigned shape;
    switch (kind) {
    case 0: shape = XC_left_ptr; break;
    case 304: shape = XC_sb_h_double_arrow; break;
    case 305: shape = XC_sb_v_double_arrow; break;
    case 306: shape = XC_hand2; break;
    default: return false;
    }
    Cursor& cursor = x_->cursors[kind];
    if (!cursor)
        cursor = XCreateFontCursor(x_->display, shape);
    x_->cursorKind = kind;
    if (x_->cursorShown)
        for (auto& window : x_->windows)
            if (!window->destroyed)
                XDefineCursor(x_->display, window->id, cursor);
    XFlush(x_->display);
    return true;
}

void X11Platform::showCursor(bool shown) {
    x_->cursorShown = shown;
    if (!shown && !x_->invisibleCursor) {
        static const char empty[1] = {0};
        const Pixmap blank = XCreateBitmapFromData(x_->display, x_->root, empty, 1, 1);
        XColor black{};
        x_->invisibleCursor = XCreatePixmapCursor(x_->display, blank, blank, &black, &black, 0, 0);
        XFreePixmap(x_->display, blank);
    }
    Cursor cursor = x_->invisibleCursor;
    if (shown) {
        auto it = x_->cursors.find(x_->cursorKind);
        cursor = it == x_->cursors.end() ? 0 : it->second; // 0: the parent's, the arrow
    }
    for (auto& window : x_->windows)
        if (!window->destroyed) {
            if (cursor)
                XDefineCursor(x_->display, window->id, cursor);
            else
                XUndefineCursor(x_->display, window->id);
        }
    XFlush(x_->display);
}

void X11Platform::clientToScreen(PlatformWindow* window, int& x, int& y) {
    X11Window* target = x_->live(window);
    if (!target)
        return;
    Window child = 0;
    int screenX = 0, screenY = 0;
    if (XTranslateCoordinates(x_->display, target->id, x_->root, x * target->scale, y * target->scale, &screenX,
                              &screenY, &child))
        x = screenX, y = screenY;
}

void X11Platform::setCursorPosition(int screenX, int screenY) {
    XWarpPointer(x_->display, 0, x_->root, 0, 0, 0, 0, screenX, screenY);
    XFlush(x_->display);
}
