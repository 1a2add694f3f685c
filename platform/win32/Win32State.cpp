#include "Win32State.h"

#include "DisplayScale.h"

#include <algorithm>

Win32State::~Win32State() {
    // Children first: a top-level window's destruction takes its child's OS window.
    for (auto& window : windows)
        if (window->parent && !window->destroyed)
            DestroyWindow(window->handle);
    std::vector<std::unique_ptr<Win32Window>> gone;
    {
        std::lock_guard<std::mutex> lock(windowsLock);
        gone.swap(windows);
    }
    gone.clear(); // a CBaseWindow destroys its own OS window
    if (accelerators)
        DestroyAcceleratorTable(accelerators);
}

Win32Window* Win32State::live(PlatformWindow* window) const {
    if (!window)
        return nullptr;
    for (const auto& candidate : windows)
        if (candidate.get() == window && !candidate->destroyed)
            return candidate.get();
    return nullptr;
}

Win32Window* Win32State::fromHandle(HWND handle) {
    return handle ? reinterpret_cast<Win32Window*>(GetWindowLongPtrA(handle, GWLP_USERDATA)) : nullptr;
}

Win32Window* Win32State::inputOf(Win32Window* window) {
    return window && window->child && !window->child->destroyed ? window->child : window;
}

void Win32State::deliver(Win32Window* window, const WindowEvent& event) {
    if (window && !window->destroyed && window->handler)
        window->handler->onWindowEvent(window, event);
}

bool Win32State::commonMessage(Win32Window& window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
    case WM_TIMER: {
        const auto id = static_cast<uint32_t>(wParam);
        // Gone before the handler runs, so a handler that starts it again keeps it.
        if (window.request.oneShotTimers && id < 4097)
            KillTimer(window.handle, wParam);
        WindowEvent timer;
        timer.kind = WindowEvent::Kind::Timer;
        timer.timerId = id;
        deliver(&window, timer);
        return true;
    }
    case kPresentMessage: {
        window.presentPosted = false; // a request from now on posts again
        WindowEvent present;
        present.kind = WindowEvent::Kind::PresentRequest;
        deliver(&window, present);
        return true;
    }
    case kFileDialogMessage:
        runPendingFileDialog(window);
        return true;
    case kEditEndMessage:
        endEditPopup(window, static_cast<uintptr_t>(lParam));
        return true;
    case WM_DPICHANGED:
        if (!window.parent && forcedScale == 0) {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window.handle, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            applyScale(window, displayScaleForDpi(HIWORD(wParam)));
        }
        return true;
    default:
        return false;
    }
}

void Win32State::released(Win32Window& window) {
    if (window.destroyed)
        return;
    removeEditPopup(&window);
    {
        std::lock_guard<std::mutex> lock(windowsLock);
        window.destroyed = true;
    }
    window.handler = nullptr;
    if (window.handle)
        SetWindowLongPtrA(window.handle, GWLP_USERDATA, 0); // late messages find nobody
    if (captured == &window) {
        captured = nullptr;
        if (GetCapture() == window.handle)
            ReleaseCapture();
    }
    if (painting == &window)
        painting = nullptr;
    if (fileDialogOwner == &window && !fileDialogRunning)
        fileDialogOwner = nullptr; // asked for, never opened: no answer follows
    if (window.parent) {
        if (window.parent->child == &window)
            window.parent->child = nullptr;
        unregisterChildClass(instance, window.request.className);
    }
}

void Win32State::paint(Win32Window& window) {
    PAINTSTRUCT paintInfo{};
    HDC context = BeginPaint(window.handle, &paintInfo);
    if (!context)
        return;
    const RECT& r = paintInfo.rcPaint;
    const int s = window.scale;
    WindowEvent paintEvent;
    paintEvent.kind = WindowEvent::Kind::Paint;
    // Every page pixel the rectangle touches.
    if (r.right > r.left && r.bottom > r.top)
        paintEvent.paint = PixelRect{pageCoordinate(r.left, s), pageCoordinate(r.top, s),
                                     pageCoordinate(r.right + s - 1, s), pageCoordinate(r.bottom + s - 1, s)};
    Win32Window* previous = painting;
    HDC previousContext = paintContext;
    painting = &window;
    paintContext = context;
    deliver(&window, paintEvent);
    painting = previous;
    paintContext = previousContext;
    if (!window.destroyed)
        EndPaint(window.handle, &paintInfo);
}
