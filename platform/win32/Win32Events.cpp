// Windows messages in the program's terms: the mouse and the keys, the editor's
// child window procedure, and the thread's wheel hook.
#include "DisplayScale.h"
#include "Win32State.h"

#include <cstring>
#include <map>

#include <windowsx.h>

namespace {

// Child classes registered, with how many windows of each live; the wheel hook
// lives as long as any of them does. User-interface thread only.
std::map<std::string, int> childClasses;
HHOOK wheelHook = nullptr;

LRESULT CALLBACK wheelHookProcedure(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && wParam == WM_MOUSEWHEEL) {
        const auto* info = reinterpret_cast<const MOUSEHOOKSTRUCTEX*>(lParam);
        HWND under = WindowFromPoint(info->pt);
        char className[256] = {};
        // Only a child window of ours: another program's, or another class, goes on as it was.
        if (under && reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(under, GWLP_HINSTANCE)) == GetModuleHandleA(nullptr) &&
            GetClassNameA(under, className, sizeof className) > 0 && isChildClass(className)) {
            Win32Window* window = Win32State::fromHandle(under);
            if (window && !window->destroyed && window->handler) {
                POINT point = info->pt;
                ScreenToClient(under, &point);
                WindowEvent wheel;
                wheel.kind = WindowEvent::Kind::Mouse;
                wheel.button = WindowEvent::Button::Wheel;
                wheel.x = pageCoordinate(point.x, window->scale);
                wheel.y = pageCoordinate(point.y, window->scale);
                wheel.wheelDelta = static_cast<short>(HIWORD(info->mouseData));
                wheel.shift = GetAsyncKeyState(VK_SHIFT) < 0;
                wheel.control = GetAsyncKeyState(VK_CONTROL) < 0;
                window->state->deliver(window, wheel);
                return 1; // taken: it goes no further
            }
        }
    }
    return CallNextHookEx(wheelHook, code, wParam, lParam);
}

} // namespace

WindowEvent mouseEvent(const Win32Window& window, WindowEvent::Button button, WPARAM wParam, LPARAM lParam) {
    WindowEvent event;
    event.kind = WindowEvent::Kind::Mouse;
    event.button = button;
    event.x = pageCoordinate(GET_X_LPARAM(lParam), window.scale);
    event.y = pageCoordinate(GET_Y_LPARAM(lParam), window.scale);
    POINT cursor{};
    GetCursorPos(&cursor);
    event.screenX = cursor.x;
    event.screenY = cursor.y;
    event.shift = (wParam & MK_SHIFT) != 0;
    event.control = (wParam & MK_CONTROL) != 0;
    return event;
}

WindowEvent keyEvent(UINT message, WPARAM wParam) {
    WindowEvent event;
    event.kind = WindowEvent::Kind::Key;
    event.keyDown = message == WM_KEYDOWN;
    event.keyCode = static_cast<uint32_t>(wParam);
    event.shift = GetKeyState(VK_SHIFT) < 0;
    event.control = GetKeyState(VK_CONTROL) < 0;
    return event;
}

bool inputMessage(Win32Window& window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    using Button = WindowEvent::Button;
    Button button = Button::None;
    switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
        if (!Win32State::inputOf(&window)->handler)
            return false; // nobody to hear it: the system's handling
        window.state->deliver(Win32State::inputOf(&window), keyEvent(message, wParam));
        result = 1;
        return true;
    case WM_LBUTTONDOWN: button = Button::LeftDown; break;
    case WM_LBUTTONUP: button = Button::LeftUp; break;
    case WM_LBUTTONDBLCLK: button = Button::LeftDouble; break;
    case WM_RBUTTONDOWN: button = Button::RightDown; break;
    case WM_RBUTTONUP: button = Button::RightUp; break;
    case WM_RBUTTONDBLCLK: button = Button::RightDouble; break;
    case WM_MOUSEMOVE: button = Button::Move; break;
    default:
        return false;
    }
    Win32Window* input = Win32State::inputOf(&window);
    window.state->deliver(input, mouseEvent(*input, button, wParam, lParam));
    result = 0;
    return true;
}

LRESULT CALLBACK childWindowProcedure(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32Window* window = Win32State::fromHandle(handle);
    if (!window || window->destroyed)
        return DefWindowProcA(handle, message, wParam, lParam);
    LRESULT result = 0;
    if (window->state->commonMessage(*window, message, wParam, lParam, result))
        return result;
    switch (message) {
    case WM_PAINT:
        window->state->paint(*window);
        return 0;
    case WM_ERASEBKGND:
    case WM_SETCURSOR: // the program sets the cursor itself
        return 1;
    case WM_DESTROY:
        window->state->released(*window);
        return 0;
    case WM_CLOSE: {
        WindowEvent close;
        close.kind = WindowEvent::Kind::Close;
        window->state->deliver(window, close);
        return 0;
    }
    default:
        if (inputMessage(*window, message, wParam, lParam, result))
            return result;
        return DefWindowProcA(handle, message, wParam, lParam);
    }
}

bool registerChildClass(HINSTANCE instance, const std::string& className) {
    int& count = childClasses[className];
    if (count == 0) {
        WNDCLASSA windowClass{};
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = childWindowProcedure;
        windowClass.hInstance = instance;
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        windowClass.lpszClassName = className.c_str();
        if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            childClasses.erase(className);
            return false;
        }
    }
    ++count;
    // The hook's record carries the wheel from Windows 2000 on; older systems
    // answer 1279 or less here.
    if (!wheelHook && GetVersion() > 1279)
        wheelHook = SetWindowsHookExA(WH_MOUSE, wheelHookProcedure, nullptr, GetCurrentThreadId());
    return true;
}

void unregisterChildClass(HINSTANCE instance, const std::string& className) {
    auto it = childClasses.find(className);
    if (it == childClasses.end() || --it->second > 0)
        return;
    childClasses.erase(it);
    UnregisterClassA(className.c_str(), instance);
    if (childClasses.empty() && wheelHook) {
        UnhookWindowsHookEx(wheelHook);
        wheelHook = nullptr;
    }
}

bool isChildClass(const char* className) {
    // The whole name, terminator included: a longer or shorter name is another class.
    for (const auto& [name, count] : childClasses)
        if (std::strcmp(name.c_str(), className) == 0)
            return true;
    return false;
}

int windowDpi(HWND handle) {
    // Windows 10 1607 and later know each window's monitor; older systems and Wine
    // builds without it answer for the screen.
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (dpiForWindow && handle)
        if (const UINT dpi = dpiForWindow(handle); dpi > 0)
            return static_cast<int>(dpi);
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}
