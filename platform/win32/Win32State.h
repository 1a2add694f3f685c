#pragma once

// The Win32 backend's state, shared by its files only.
#include "UiPlatform.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

struct Win32State;

// Messages the backend posts to its own windows.
constexpr UINT kPresentMessage = WM_APP + 1;    // a present asked for from any thread
constexpr UINT kFileDialogMessage = WM_APP + 2; // run the open-file dialog from the loop
constexpr UINT kEditEndMessage = WM_APP + 3;    // the edit popup ended (wParam: how, lParam: which)

// One window of the backend: a top-level one (CBaseWindow) or the editor's child
// window of its own class inside it. Kept after destruction, so stale pointers
// stay harmless.
struct Win32Window : PlatformWindow {
    Win32State* state = nullptr;
    HWND handle = nullptr;
    Win32Window* parent = nullptr;
    Win32Window* child = nullptr;
    WindowRequest request;
    WindowHandler* handler = nullptr;
    bool destroyed = false; // written under the state's windows lock
    int scale = 1;          // each page pixel is scale × scale window pixels
    std::atomic<bool> presentPosted{false};
};

// The native edit popup over a field of a window.
struct EditPopup {
    HWND edit = nullptr;
    HFONT font = nullptr;
    WNDPROC original = nullptr;
    Win32Window* owner = nullptr;
    uintptr_t serial = 0;
    bool ending = false; // the first ending counts; later ones are echoes of it
    WindowEvent::EditEnding how = WindowEvent::EditEnding::Commit;
};

struct Win32State {
    HINSTANCE instance = nullptr;
    DWORD uiThread = 0;
    HACCEL accelerators = nullptr;
    int forcedScale = 0; // 0: from the screen's dpi

    // Other threads find windows here (requestPresent, postClose): only the
    // user-interface thread changes the list, always under the lock.
    mutable std::mutex windowsLock;
    std::vector<std::unique_ptr<Win32Window>> windows;

    Win32Window* captured = nullptr;
    // While a window paints, presents to it draw on the paint context.
    Win32Window* painting = nullptr;
    HDC paintContext = nullptr;
    std::vector<uint8_t> scaled; // the enlarged rectangle of a present

    // The asynchronous open-file dialog: asked for, then running from the loop.
    Win32Window* fileDialogOwner = nullptr;
    FileDialogRequest fileDialogRequest;
    bool fileDialogRunning = false;
    HWND fileDialogWindow = nullptr; // the dialog itself, once it is up

    std::map<Win32Window*, std::unique_ptr<EditPopup>> editPopups;
    uintptr_t nextPopupSerial = 1;

    bool quit = false; // WM_QUIT seen by pumpEvents

    ~Win32State();

    Win32Window* live(PlatformWindow* window) const;
    // The object of one of our windows; null for any other window.
    static Win32Window* fromHandle(HWND handle);
    // Where a top-level window's input goes: its live child, else itself.
    static Win32Window* inputOf(Win32Window* window);
    void deliver(Win32Window* window, const WindowEvent& event);
    // What every window of the backend does with timers and the backend's own
    // messages; false for any other message.
    bool commonMessage(Win32Window& window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The OS window is gone (or going): nothing reaches the handler any more.
    void released(Win32Window& window);
    void paint(Win32Window& window);

    // Win32Window.cpp
    Win32Window* makeChild(const WindowRequest& request, WindowHandler* handler);
    void presentRect(Win32Window& window, const PixelImage& image, const PixelRect& rect);
    void applyScale(Win32Window& window, int scale);
    // Win32Dialogs.cpp
    std::optional<std::string> runOpenFileDialog(Win32Window* owner, const FileDialogRequest& request);
    void runPendingFileDialog(Win32Window& window);
    // Win32EditPopup.cpp
    void endEditPopup(Win32Window& window, uintptr_t serial);
    std::optional<std::string> removeEditPopup(Win32Window* window);
};

// Win32Events.cpp
WindowEvent mouseEvent(const Win32Window& window, WindowEvent::Button button, WPARAM wParam, LPARAM lParam);
WindowEvent keyEvent(UINT message, WPARAM wParam);
// Mouse and key messages of any of our windows, to the window that takes its input.
bool inputMessage(Win32Window& window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
LRESULT CALLBACK childWindowProcedure(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
// The thread's wheel hook and the child class come with the first child window
// and go with the last.
bool registerChildClass(HINSTANCE instance, const std::string& className);
void unregisterChildClass(HINSTANCE instance, const std::string& className);
bool isChildClass(const char* className);
// The window's dpi: from the window where the system can tell, else the screen's.
int windowDpi(HWND handle);
