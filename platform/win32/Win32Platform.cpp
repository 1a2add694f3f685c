#include "Win32Platform.h"

#include "DisplayScale.h"
#include "ResourceIds.h"
#include "Win32State.h"

#include <cstring>

namespace {

// The template application class: never instantiated, it carries the program's
// icons and menu for the system.
void registerApplicationClass(HINSTANCE instance) {
    char className[100] = {};
    if (LoadStringA(instance, IDS_APP_CLASS, className, sizeof className) <= 0)
        return;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP_SMALL));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_APP_MENU);
    windowClass.lpszClassName = className;
    RegisterClassExA(&windowClass); // a second platform in the process finds it there
}

void dispatch(MSG& message, HACCEL accelerators) {
    if (accelerators && TranslateAcceleratorA(message.hwnd, accelerators, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

} // namespace

// --- opening -----------------------------------------------------------------

std::unique_ptr<Win32Platform> openWin32Platform(std::string& error, int scale) {
    auto state = std::make_unique<Win32State>();
    state->instance = GetModuleHandleA(nullptr);
    state->uiThread = GetCurrentThreadId();
    state->forcedScale = scale >= 1 && scale <= kMaxDisplayScale ? scale : 0;
    // Under Wine without an X display every window creation fails: find out now,
    // while a command-line update can still go to the terminal.
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, state->instance, nullptr);
    if (!probe) {
        error = "no window can be made here";
        return nullptr;
    }
    DestroyWindow(probe);
    registerApplicationClass(state->instance);
    state->accelerators = LoadAcceleratorsA(state->instance, MAKEINTRESOURCEA(IDR_APP_ACCELERATORS));
    return std::make_unique<Win32Platform>(std::move(state));
}

ShowCommand showCommandFromWindows(int command) {
    switch (command) {
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
        return ShowCommand::Minimised;
    case SW_SHOWMAXIMIZED:
        return ShowCommand::Maximised;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA:
        return ShowCommand::NoActivate;
    default:
        return ShowCommand::Normal;
    }
}

Win32Platform::Win32Platform(std::unique_ptr<Win32State> state) : w_(std::move(state)) {}

Win32Platform::~Win32Platform() = default;

// --- timers and the loop -----------------------------------------------------

void Win32Platform::startTimer(PlatformWindow* window, uint32_t id, uint32_t milliseconds) {
    if (Win32Window* target = w_->live(window))
        SetTimer(target->handle, id, milliseconds, nullptr); // restarts a running one
}

void Win32Platform::stopTimer(PlatformWindow* window, uint32_t id) {
    if (Win32Window* target = w_->live(window))
        KillTimer(target->handle, id);
}

bool Win32Platform::pumpEvents(int milliseconds) {
    MSG message{};
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE))
        MsgWaitForMultipleObjectsEx(0, nullptr, DWORD(milliseconds), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            return false;
        dispatch(message, w_->accelerators);
    }
    return true;
}

void Win32Platform::runEventLoop() {
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        dispatch(message, w_->accelerators);
}

void Win32Platform::postQuit() {
    if (GetCurrentThreadId() == w_->uiThread)
        PostQuitMessage(0);
    else
        PostThreadMessageA(w_->uiThread, WM_QUIT, 0, 0);
}

void Win32Platform::postClose(PlatformWindow* window) {
    std::lock_guard<std::mutex> lock(w_->windowsLock);
    if (Win32Window* target = w_->live(window))
        PostMessageA(target->handle, WM_CLOSE, 0, 0);
}

void Win32Platform::requestPresent(PlatformWindow* window) {
    std::lock_guard<std::mutex> lock(w_->windowsLock);
    Win32Window* target = w_->live(window);
    if (!target || target->presentPosted.exchange(true))
        return; // one waiting already covers this one
    if (!PostMessageA(target->handle, kPresentMessage, 0, 0))
        target->presentPosted = false;
}

void Win32Platform::keyboardModifiers(bool& shift, bool& control) {
    shift = GetAsyncKeyState(VK_SHIFT) < 0;
    control = GetAsyncKeyState(VK_CONTROL) < 0;
}

// --- another instance --------------------------------------------------------

bool Win32Platform::activateRunningInstance(const std::string& className) {
    struct Search {
        const std::string* name;
        HWND found = nullptr;
    } search{&className};
    if (className.empty() || className.size() >= 2048)
        return false;
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto* s = reinterpret_cast<Search*>(parameter);
            char name[2048] = {};
            if (GetClassNameA(window, name, sizeof name) <= 0)
                return TRUE;
            // Terminator included: only the exact name counts.
            if (std::memcmp(name, s->name->c_str(), s->name->size() + 1) != 0)
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return false;
    SetForegroundWindow(search.found);
    // A hung instance does not hang this one.
    if (IsIconic(search.found))
        SendMessageTimeoutA(search.found, WM_SYSCOMMAND, SC_RESTORE, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    return true;
}
