#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The OS window that a page manager draws into. Each backend derives its own
// (an HWND, an X11 window, a record in memory); the portable code only passes the
// pointer back to the backend that made it.
struct PlatformWindow {
    virtual ~PlatformWindow() = default;
};

// One entry of a popup menu. A separator has no text and id 0; an item with a
// submenu opens it instead of being chosen.
struct PopupItem {
    int id = 0;
    std::string text;
    bool checked = false;
    bool separator = false;
    std::vector<PopupItem> submenu;
};

// An open-file dialog as the portable side asks for it.
struct FileDialogRequest {
    std::string title;
    // Pairs of (entry text, pattern), e.g. {"qfu (*.qfu)", "*.qfu"}.
    std::vector<std::pair<std::string, std::string>> filters;
    std::string defaultExtension;
    std::string initialDirectory; // empty: the system's choice
    std::string initialFile;      // empty: no name proposed
};

// What the page framework needs of the OS's user interface outside drawing: window
// timers, the mouse cursor, popup menus, message boxes, the file dialog and the
// shell. Exactly one backend is installed at start (Win32, X11 or the headless one
// of the tests). Called on the user-interface thread only.
class UiPlatform {
public:
    virtual ~UiPlatform() = default;

    // The window turns each expiry into a timer message; ids below 4097 fire once.
    virtual void startTimer(PlatformWindow* window, uint32_t id, uint32_t milliseconds) = 0;
    virtual void stopTimer(PlatformWindow* window, uint32_t id) = 0;

    // 0 arrow, 304 west-east, 305 north-south, 306 hand; other kinds are the
    // program's own cursors. False (cursor unchanged) when the kind is unknown.
    virtual bool setCursorKind(int kind) = 0;
    virtual void showCursor(bool shown) = 0;
    // Client coordinates of the window to screen coordinates.
    virtual void clientToScreen(PlatformWindow* window, int& x, int& y) = 0;
    virtual void setCursorPosition(int screenX, int screenY) = 0;

    // Modal: returns the chosen item's id, 0 when nothing was chosen.
    virtual int trackPopupMenu(PlatformWindow* owner, const std::vector<PopupItem>& items,
                               int screenX, int screenY) = 0;
    // True for Yes.
    virtual bool askYesNo(PlatformWindow* owner, const std::string& caption,
                          const std::string& text) = 0;
    // The chosen file's path; nothing when cancelled.
    virtual std::optional<std::string> openFileDialog(PlatformWindow* owner,
                                                      const FileDialogRequest& request) = 0;
    virtual bool openWithShell(const std::string& address) = 0;

    virtual void screenSize(int& width, int& height) = 0;
    // Keeps the size; no repaint.
    virtual void moveWindow(PlatformWindow* window, int x, int y) = 0;
    virtual void windowSize(PlatformWindow* window, int& width, int& height) = 0;
};

// The installed backend. Until one is installed, a backend that does nothing and
// answers "no" (no timers fire, no dialog opens).
UiPlatform& uiPlatform();
// Returns the previous one; null restores the inert backend.
UiPlatform* setUiPlatform(UiPlatform* platform);
