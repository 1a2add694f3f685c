#pragma once

#include "TextRenderer.h"
#include "UiPlatform.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct X11State;

// The user interface on an X11 display through Xlib alone: borderless windows cut to
// shape by the colour key, presenting through MIT-SHM where it can, one event loop
// with the window timers, XDND file drops, an edit popup of its own, and dialogs
// through zenity or kdialog (Open File through the desktop portal first).
// Its X types stay in its own files.
class X11Platform final : public UiPlatform {
public:

    explicit X11Platform(std::unique_ptr<X11State> state);
    ~X11Platform() override;

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
    // Both may be called from any thread; they wake the loop.
    void postClose(PlatformWindow* window) override;
    void requestPresent(PlatformWindow* window) override;
    bool dialogsAvailable() override;
    bool activateRunningInstance(const std::string& className) override;
    void runEventLoop() override;
    void postQuit() override;
    // The popup edits with the program's keys and shows its text through the
    // renderer; it opens only once one is set (not owned, outlives the platform).
    bool openEditPopup(PlatformWindow* window, const EditPopupRequest& request) override;
    std::optional<std::string> closeEditPopup(PlatformWindow* window) override;
    std::optional<std::string> editPopupText(PlatformWindow* window) override;
    void setTextRenderer(TextRenderer* renderer);

    // Handles what has arrived and due timers, waiting at most `milliseconds` for
    // something to happen first. For loops of the caller's own (and tests).
    void pumpEvents(int milliseconds);

    // What the server holds, for checks: the window's pixels as 0xRRGGBB, top-down.
    bool readWindowPixels(PlatformWindow* window, std::vector<uint32_t>& pixels);
    // The window's shape (bounding or input) as the server reports it.
    std::vector<PixelRect> windowShape(PlatformWindow* window, bool input);
    int shapeUpdates(PlatformWindow* window) const;
    bool usesSharedMemory() const;
    // Screen pixels per page pixel of the windows made now.
    int displayScale() const;
    unsigned long nativeWindow(PlatformWindow* window) const;
    // The window's open edit popup: its X window (0 without one) and its pixels.
    unsigned long editPopupWindow(PlatformWindow* window) const;
    bool readEditPopupPixels(PlatformWindow* window, std::vector<uint32_t>& pixels, int& width, int& height);

private:
    // Handles the events Xlib has queued; readSocket: also those waiting in the socket.
    void dispatchPending(bool readSocket = true);
    void fireDueTimers();
    void deliverPostedCloses();
    void serviceFileDialog();
    void closeFileDialog();

    std::unique_ptr<X11State> x_;
};

// Called when the connection to the display is lost (the server went away); it
// must end the process (Xlib cannot go on), and may first let work finish.
void setDisplayLostHandler(void (*handler)());

// The X11 user interface on $DISPLAY; null with `error` saying why when there is no
// display to open. `instanceName` is the program's name in its windows' WM_CLASS.
std::unique_ptr<X11Platform> openX11Platform(std::string& error,
                                             const std::string& instanceName = "quorix-updater");
