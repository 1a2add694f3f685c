#include "CBaseWindow.h"

CBaseWindow::CBaseWindow(Win32State& owner, const WindowRequest& windowRequest, WindowHandler* windowHandler)
    : instance_(owner.instance), className_(windowRequest.className) {
    state = &owner;
    request = windowRequest;
    handler = windowHandler;
    width_ = windowRequest.width;
    height_ = windowRequest.height;
}

CBaseWindow::~CBaseWindow() {
    destroying_ = true;
    Destroy();
}

HWND CBaseWindow::Create(const char* title) {
    if (handle)
        return handle;
    if (registerClass_) {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
        windowClass.lpfnWndProc = ClassWindowProc;
        windowClass.cbWndExtra = 4;
        windowClass.hInstance = instance_;
        windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = className_.c_str();
        PrepareClass(windowClass);
        RegisterClassExA(&windowClass); // registered by an earlier window: fine
    }
    handle = CreateWindowExA(exStyle_, className_.c_str(), title, style_, x_, y_, width_, height_, parentHandle_,
                             nullptr, instance_, nullptr);
    if (!handle)
        return nullptr;
    SetWindowLongPtrA(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<Win32Window*>(this)));
    OnCreated(handle);
    return handle;
}

void CBaseWindow::Destroy() {
    if (!handle || destroyed)
        return; // gone already: its handle may name another window by now
    state->released(*this);
    DestroyWindow(handle);
}

LRESULT CBaseWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

void CBaseWindow::raiseWithChildren() {
    if (raiseGuard_ > 0)
        return;
    ++raiseGuard_;
    auto raise = [](HWND window) {
        constexpr UINT keep = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE;
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, keep);
        if (!(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST))
            SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
    };
    if (child && !child->destroyed)
        raise(child->handle);
    raise(handle);
    --raiseGuard_;
}

LRESULT CALLBACK CBaseWindow::ClassWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CBaseWindow*>(Win32State::fromHandle(window));
    if (!self || self->destroyed)
        return DefWindowProcA(window, message, wParam, lParam);
    LRESULT result = 0;
    if (self->state->commonMessage(*self, message, wParam, lParam, result))
        return result;
    switch (message) {
    case WM_DESTROY:
        self->state->released(*self);
        return 1;
    case WM_SIZE: {
        HWND inner = self->child && !self->child->destroyed ? self->child->handle : nullptr;
        if (inner && wParam == SIZE_RESTORED)
            ShowWindow(inner, SW_RESTORE);
        else if (inner && wParam == SIZE_MINIMIZED)
            ShowWindow(inner, SW_HIDE);
        else if (inner && wParam == SIZE_MAXIMIZED)
            ShowWindow(inner, SW_MAXIMIZE);
        break;
    }
    case WM_ACTIVATE: {
        const HWND other = reinterpret_cast<HWND>(lParam);
        const bool fromChild = self->child && !self->child->destroyed && other == self->child->handle;
        if (LOWORD(wParam) != WA_INACTIVE && !fromChild)
            self->raiseWithChildren();
        break;
    }
    default:
        if (inputMessage(*self, message, wParam, lParam, result))
            return result;
        break;
    }
    return self->WindowProc(window, message, wParam, lParam);
}
