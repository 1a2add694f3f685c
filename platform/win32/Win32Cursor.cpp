#include "Win32Platform.h"

#include "Win32State.h"

bool Win32Platform::setCursorKind(int kind) {
    HCURSOR cursor = nullptr;
    switch (kind) {
    case 0: cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); break; // IDC_ARROW
    case 304: cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32644)); break; // IDC_SIZEWE
    case 305: cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32645)); break; // IDC_SIZENS
    case 306: cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)); break; // IDC_HAND
    default:
        // The program's own cursors, by resource number; it has none so far.
        if (kind > 0 && kind <= 0xFFFF)
            cursor = LoadCursorA(w_->instance, MAKEINTRESOURCEA(kind));
        break;
    }
    if (!cursor)
        return false;
    SetCursor(cursor);
    return true;
}

void Win32Platform::showCursor(bool shown) {
    ShowCursor(shown ? TRUE : FALSE);
}

void Win32Platform::setCursorPosition(int screenX, int screenY) {
    SetCursorPos(screenX, screenY);
}
