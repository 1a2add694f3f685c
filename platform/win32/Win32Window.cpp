#include "CWin32Panel.h"
#include "DisplayScale.h"
#include "Win32Platform.h"
#include "Win32State.h"

#include <algorithm>

namespace {

constexpr int kLargestWindow = 8192;
constexpr const char* kDefaultChildClass = "Quorix-Child";

} // namespace

Win32Window* Win32State::makeChild(const WindowRequest& request, WindowHandler* handler) {
    Win32Window* parentWindow = live(request.parent);
    if (!parentWindow || parentWindow->parent || (parentWindow->child && !parentWindow->child->destroyed))
        return nullptr; // one child per top-level window
    auto window = std::make_unique<Win32Window>();
    window->state = this;
    window->parent = parentWindow;
    window->request = request;
    if (window->request.className.empty())
        window->request.className = kDefaultChildClass;
    window->request.colourKey = parentWindow->request.colourKey;
    window->handler = handler;
    window->scale = parentWindow->scale;
    const std::string& className = window->request.className;
    if (!registerChildClass(instance, className))
        return nullptr;
    window->handle = CreateWindowExA(0, className.c_str(), request.title.c_str(), WS_CHILD | WS_VISIBLE, 0, 0,
                                     request.width * window->scale, request.height * window->scale,
                                     parentWindow->handle, nullptr, instance, nullptr);
    if (!window->handle) {
        unregisterChildClass(instance, className);
        return nullptr;
    }
    SetWindowLongPtrA(window->handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window.get()));
    parentWindow->child = window.get();
    std::lock_guard<std::mutex> lock(windowsLock);
    windows.push_back(std::move(window));
    return windows.back().get();
}

void Win32State::applyScale(Win32Window& window, int newScale) {
    window.scale = std::clamp(newScale, 1, kMaxDisplayScale);
    constexpr UINT keep = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(window.handle, nullptr, 0, 0, window.request.width * window.scale,
                 window.request.height * window.scale, keep);
    if (Win32Window* inner = window.child; inner && !inner->destroyed) {
        inner->scale = window.scale;
        SetWindowPos(inner->handle, nullptr, 0, 0, inner->request.width * inner->scale,
                     inner->request.height * inner->scale, keep);
        InvalidateRect(inner->handle, nullptr, FALSE);
    }
    InvalidateRect(window.handle, nullptr, FALSE);
}

void Win32State::presentRect(Win32Window& window, const PixelImage& image, const PixelRect& rect) {
    const PixelRect inWindow{rect.left, rect.top, std::min(rect.right, window.request.width),
                             std::min(rect.bottom, window.request.height)};
    const PixelRect area = clipToImage(inWindow, image);
    if (area.right == 0)
        return;
    const int s = window.scale;
    const int width = area.right - area.left, height = area.bottom - area.top;
    HDC context = painting == &window ? paintContext : GetDC(window.handle);
    if (!context)
        return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    if (s == 1 && image.rowBytes == size_t(image.width) * 4) {
        // Straight from the image; a bottom-up DIB counts source rows from the bottom.
        info.bmiHeader.biWidth = image.width;
        info.bmiHeader.biHeight = image.height;
        SetDIBitsToDevice(context, area.left, area.top, DWORD(width), DWORD(height), area.left,
                          image.height - area.bottom, 0, UINT(image.height), image.pixels, &info, DIB_RGB_COLORS);
    } else {
        scaleImageRect(image, area, s, scaled);
        info.bmiHeader.biWidth = width * s;
        info.bmiHeader.biHeight = height * s;
        SetDIBitsToDevice(context, area.left * s, area.top * s, DWORD(width * s), DWORD(height * s), 0, 0, 0,
                          UINT(height * s), scaled.data(), &info, DIB_RGB_COLORS);
    }
    if (context != paintContext)
        ReleaseDC(window.handle, context);
}

// --- the platform's window operations ------------------------------------------

PlatformWindow* Win32Platform::createWindow(const WindowRequest& request, WindowHandler* handler) {
    if (request.width <= 0 || request.height <= 0 || request.width > kLargestWindow ||
        request.height > kLargestWindow)
        return nullptr;
    if (request.parent)
        return w_->makeChild(request, handler);
    auto panel = std::make_unique<CWin32Panel>(*w_, request, handler);
    CWin32Panel* window = panel.get();
    {
        std::lock_guard<std::mutex> lock(w_->windowsLock);
        w_->windows.push_back(std::move(panel));
    }
    if (!window->Create(request.title.c_str())) {
        std::lock_guard<std::mutex> lock(w_->windowsLock);
        window->destroyed = true;
        return nullptr;
    }
    const int scale = w_->forcedScale ? w_->forcedScale : displayScaleForDpi(windowDpi(window->handle));
    if (scale != 1)
        w_->applyScale(*window, scale);
    return window;
}

void Win32Platform::destroyWindow(PlatformWindow* window) {
    Win32Window* target = w_->live(window);
    if (!target)
        return;
    if (target->child && !target->child->destroyed)
        destroyWindow(target->child);
    // An open file dialog for this window ends unanswered.
    if (w_->fileDialogOwner == target && w_->fileDialogRunning && w_->fileDialogWindow)
        SendMessageA(w_->fileDialogWindow, WM_COMMAND, IDCANCEL, 0);
    if (target->parent) {
        HWND handle = target->handle;
        w_->released(*target);
        DestroyWindow(handle);
        return;
    }
    static_cast<CBaseWindow*>(target)->Destroy();
}

void Win32Platform::showWindow(PlatformWindow* window, ShowCommand command) {
    Win32Window* target = w_->live(window);
    if (!target || target->parent)
        return; // a child shows with its parent
    switch (command) {
    case ShowCommand::Minimised:
        ShowWindow(target->handle, SW_SHOWMINIMIZED);
        break;
    case ShowCommand::NoActivate:
        ShowWindow(target->handle, SW_SHOWNOACTIVATE);
        break;
    default: // maximised too: the window has one size
        ShowWindow(target->handle, SW_SHOW);
        BringWindowToTop(target->handle);
        break;
    }
    UpdateWindow(target->handle);
}

void Win32Platform::setFocus(PlatformWindow* window) {
    if (Win32Window* target = w_->live(window))
        SetFocus(target->handle);
}

void Win32Platform::moveWindow(PlatformWindow* window, int x, int y) {
    if (Win32Window* target = w_->live(window))
        SetWindowPos(target->handle, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void Win32Platform::windowSize(PlatformWindow* window, int& width, int& height) {
    width = height = 0;
    RECT r{};
    if (Win32Window* target = w_->live(window); target && GetWindowRect(target->handle, &r))
        width = r.right - r.left, height = r.bottom - r.top;
}

void Win32Platform::windowPosition(PlatformWindow* window, int& x, int& y) {
    x = y = 0;
    Win32Window* target = w_->live(window);
    if (!target)
        return;
    // Minimised, a window sits at (-32000, -32000): its place is the one it has when
    // restored, which the placement keeps in work-area coordinates.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (IsIconic(target->handle) && GetWindowPlacement(target->handle, &placement)) {
        x = placement.rcNormalPosition.left;
        y = placement.rcNormalPosition.top;
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (!(GetWindowLongA(target->handle, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) &&
            GetMonitorInfoA(MonitorFromWindow(target->handle, MONITOR_DEFAULTTONEAREST), &monitor)) {
            x += monitor.rcWork.left - monitor.rcMonitor.left;
            y += monitor.rcWork.top - monitor.rcMonitor.top;
        }
        return;
    }
    RECT r{};
    if (GetWindowRect(target->handle, &r))
        x = r.left, y = r.top;
}

void Win32Platform::clientToScreen(PlatformWindow* window, int& x, int& y) {
    Win32Window* target = w_->live(window);
    if (!target)
        return;
    POINT point{x * target->scale, y * target->scale};
    if (ClientToScreen(target->handle, &point))
        x = point.x, y = point.y;
}

void Win32Platform::present(PlatformWindow* window, const PixelImage& image, const PixelRect& rect) {
    if (Win32Window* target = w_->live(window))
        w_->presentRect(*target, image, rect);
}

void Win32Platform::captureMouse(PlatformWindow* window) {
    if (Win32Window* target = w_->live(window)) {
        SetCapture(target->handle);
        w_->captured = target;
    }
}

void Win32Platform::releaseMouse(PlatformWindow* window) {
    if (!window || w_->captured != window)
        return;
    w_->captured = nullptr;
    ReleaseCapture();
}

void Win32Platform::startWindowDrag(PlatformWindow* window, int, int) {
    Win32Window* target = w_->live(window);
    if (!target)
        return;
    if (w_->captured) {
        w_->captured = nullptr;
        ReleaseCapture();
    }
    HWND topLevel = target->parent ? target->parent->handle : target->handle;
    // The system's move loop, as a caption would start it; it runs until the button is up.
    SendMessageA(topLevel, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
}

// --- checks ------------------------------------------------------------------

void* Win32Platform::nativeWindow(PlatformWindow* window) const {
    Win32Window* target = w_->live(window);
    return target ? target->handle : nullptr;
}

int Win32Platform::displayScale(PlatformWindow* window) const {
    Win32Window* target = w_->live(window);
    return target ? target->scale : 0;
}
