#pragma once

#include "UiPlatform.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Win32State;

// The user interface on Windows: a layered borderless window with the colour key
// cut out, the editor's child window of its own class inside it, presents with
// SetDIBitsToDevice, window timers, the system's dialogs and the message loop with
// the program's accelerators. Its Windows types stay in its own files.
class Win32Platform final : public UiPlatform {
public:
    explicit Win32Platform(std::unique_ptr<Win32State> state);
    ~Win32Platform() override;

    void startTimer(PlatformWindow* window, uint32_t id, uint32_t milliseconds) override;
    void stopTimer(PlatformWindow* window, uint32_t id) override;
    bool setCursorKind(int kind) override;
    void showCursor(bool shown) override;
    void clientToScreen(PlatformWindow* window, int& x, int& y) override;
    void setCursorPosition(int screenX, int screenY) override;
    int trackPopupMenu(PlatformWindow* owner, const std::vector<PopupItem>& items, int screenX,
                       int screenY) override;
    bool askYesNo(PlatformWindow* owner, const std::string& caption, const std::string& text) override;
    std::optional<std::string> openFileDialog(PlatformWindow* owner,
                                              const FileDialogRequest& request) override;
    bool beginOpenFileDialog(PlatformWindow* owner, const FileDialogRequest& request) override;
    bool openWithShell(const std::string& address) override;
    void screenSize(int& width, int& height) override;
    void moveWindow(PlatformWindow* window, int x, int y) override;
    // In screen pixels: the page size times the window's display scale.
    void windowSize(PlatformWindow* window, int& width, int& height) override;
    PlatformWindow* createWindow(const WindowRequest& request, WindowHandler* handler) override;
    void destroyWindow(PlatformWindow* window) override;
    void showWindow(PlatformWindow* window, ShowCommand command) override;
    void setFocus(PlatformWindow* window) override;
    void windowPosition(PlatformWindow* window, int& x, int& y) override;
    void workArea(int& width, int& height) override;
    void captureMouse(PlatformWindow* window) override;
    void releaseMouse(PlatformWindow* window) override;
    void startWindowDrag(PlatformWindow* window, int screenX, int screenY) override;
    void present(PlatformWindow* window, const PixelImage& image, const PixelRect& rect) override;
    // All three may be called from any thread.
    void postClose(PlatformWindow* window) override;
    void requestPresent(PlatformWindow* window) override;
    void postQuit() override;
    bool activateRunningInstance(const std::string& className) override;
    void runEventLoop() override;
    void keyboardModifiers(bool& shift, bool& control) override;
    bool openEditPopup(PlatformWindow* window, const EditPopupRequest& request) override;
    std::optional<std::string> closeEditPopup(PlatformWindow* window) override;
    std::optional<std::string> editPopupText(PlatformWindow* window) override;

    // Handles what has arrived, waiting at most `milliseconds` for something first.
    // For loops of the caller's own (and tests); false once a quit was seen.
    bool pumpEvents(int milliseconds);
    // The window's HWND, for checks and test drivers.
    void* nativeWindow(PlatformWindow* window) const;
    int displayScale(PlatformWindow* window) const;
    bool editPopupOpen(PlatformWindow* window) const;
    void* editPopupWindow(PlatformWindow* window) const; // its HWND, for test drivers

private:
    std::unique_ptr<Win32State> w_;
};

// The Win32 user interface, or null with `error` saying why no window can be made
// (under Wine, no X display). scale: 1 to 4 forces a display scale; 0 takes it from
// each window's dpi.
std::unique_ptr<Win32Platform> openWin32Platform(std::string& error, int scale = 0);

// The show command WinMain is given, in the program's terms.
ShowCommand showCommandFromWindows(int command);
