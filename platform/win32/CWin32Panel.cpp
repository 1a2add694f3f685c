#include "CWin32Panel.h"

#include "WideText.h"

#include <shellapi.h>

CWin32Panel::CWin32Panel(Win32State& owner, const WindowRequest& windowRequest, WindowHandler* windowHandler)
    : CBaseWindow(owner, windowRequest, windowHandler) {
    exStyle_ = WS_EX_LAYERED | (windowRequest.acceptFiles ? WS_EX_ACCEPTFILES : 0);
    style_ = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;
    x_ = y_ = 0; // until the program places it
}

void CWin32Panel::OnCreated(HWND window) {
    // A layered window shows nothing until it has its attributes.
    const uint32_t key = request.colourKey;
    SetLayeredWindowAttributes(window, RGB(key >> 16 & 0xFF, key >> 8 & 0xFF, key & 0xFF), 0, LWA_COLORKEY);
}

void CWin32Panel::dropped(HDROP drop) {
    WindowEvent event;
    event.kind = WindowEvent::Kind::Drop;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        // Asked for its length first: a long path cut short would name another file.
        // Wide: a name outside the code page has no ANSI form.
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        if (length == 0 || DragQueryFileW(drop, i, path.data(), length + 1) != length)
            continue;
        event.paths.push_back(utf8FromWide(path.data(), length));
    }
    DragFinish(drop);
    if (!event.paths.empty())
        state->deliver(this, event);
}

LRESULT CWin32Panel::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        if (child && !child->destroyed) {
            // The child covers it all and paints itself. (ValidateRect would take the
            // child's region with it: the window does not clip its children.)
            PAINTSTRUCT paintInfo{};
            BeginPaint(window, &paintInfo);
            EndPaint(window, &paintInfo);
            return 0;
        }
        state->paint(*this);
        return 0;
    case WM_DROPFILES:
        dropped(reinterpret_cast<HDROP>(wParam));
        return 1;
    case WM_CLOSE: {
        // The program decides; the window goes only when it destroys it.
        WindowEvent close;
        close.kind = WindowEvent::Kind::Close;
        state->deliver(this, close);
        return 0;
    }
    case WM_ACTIVATEAPP: {
        // Whether the foreground window is one of this process's.
        WindowEvent activate;
        activate.kind = WindowEvent::Kind::Activate;
        activate.active = wParam != 0;
        state->deliver(this, activate);
        return 0;
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
