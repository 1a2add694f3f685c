#pragma once

#include <cstdint>
#include <optional>
#include <cstddef>
#include <string>
#include <utility>
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

// A rectangle of window pixels: right and bottom exclusive.
struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// 32-bit pixels (B, G, R, A), rows bottom-up as in a DIB: what the page framework
// draws into and a window presents.
struct PixelImage {
    const uint8_t* pixels = nullptr;
    int width = 0, height = 0;
    size_t rowBytes = 0;
};

// What happens to a window, as the OS reports it, in the program's own terms.
struct WindowEvent {
    // PresentRequest: asked for with requestPresent, from any thread. FileChosen: the
    // answer of beginOpenFileDialog (paths: the chosen file, or none when cancelled).
    // EditEnded: the edit popup of the window ended (editEnding says how, text holds
    // what was in it); the popup is gone by then.
    enum class Kind { Mouse, Key, Timer, Paint, Drop, Close, Activate, PresentRequest, FileChosen, EditEnded };
    enum class EditEnding { Commit, Abandon, FocusLost };
    enum class Button { None, LeftDown, LeftUp, LeftDouble, RightDown, RightUp, RightDouble, Move, Wheel };
    Kind kind = Kind::Paint;
    Button button = Button::None;
    int x = 0, y = 0;             // client coordinates
    int screenX = 0, screenY = 0; // 0 for the wheel
    bool shift = false, control = false;
    int wheelDelta = 0;           // ±120 per notch
    bool keyDown = false;
    uint32_t keyCode = 0;         // Windows virtual-key codes; keypad digits as "0".."9"
    uint32_t timerId = 0;
    PixelRect paint;              // empty: the whole window
    std::vector<std::string> paths; // dropped files, in the order given
    bool active = false;
    EditEnding editEnding = EditEnding::Commit;
    std::string text;
};

// The portable side of a window: every event of the window reaches it on the
// user-interface thread.
class WindowHandler {
public:
    virtual ~WindowHandler() = default;
    virtual void onWindowEvent(PlatformWindow* window, const WindowEvent& event) = 0;
};

struct WindowRequest {
    std::string title;
    std::string className;   // how a second start finds this one
    int width = 0, height = 0;
    uint32_t colourKey = 0xFF00FF; // R G B: pixels of this colour are cut out of the window
    bool acceptFiles = true;
    // Set: a child window at (0, 0) of this window, shown with it, that gets the
    // parent's mouse, key, paint and present events; drops, closes and activation
    // stay the parent's. Destroyed with its parent at the latest.
    PlatformWindow* parent = nullptr;
    // Timers with ids below 4097 fire once on this window (the editor's); on other
    // windows every timer repeats.
    bool oneShotTimers = false;
};

// How the start asks for the first window to be shown (the show command a
// Windows program gets at its start).
enum class ShowCommand { Normal, Minimised, Maximised, NoActivate };

// A one-line text editor of the OS over a field of the window, pre-filled and all
// selected. Enter commits, Escape abandons, losing the focus commits.
struct EditPopupRequest {
    PixelRect rect;           // client coordinates of the owner window
    std::string text;         // Latin-1
    int maxLength = 255;
    bool password = false;
    enum class Align { Left, Centre, Right } align = Align::Left;
    int fontHeight = 12;      // pixels, of the framework's Arial role
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

    // The window turns each expiry into a timer event. On a window made with
    // oneShotTimers ids below 4097 fire once; otherwise timers repeat until stopped.
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
    // Whether dialogs can be shown at all (on Linux a dialog program is installed, or
    // the session bus offers the desktop portal's file chooser).
    virtual bool dialogsAvailable() { return true; }
    // The chosen file's path; nothing when cancelled. Modal: returns when the user
    // answered.
    virtual std::optional<std::string> openFileDialog(PlatformWindow* owner,
                                                      const FileDialogRequest& request) = 0;
    // Opens the dialog and returns at once, so the event loop goes on (repaints,
    // timers) while it is open; the answer reaches the owner's handler later as one
    // FileChosen event from the event loop. False when no dialog could be opened, or
    // one is open already: no answer follows then. Destroying the owner closes the
    // dialog unanswered.
    virtual bool beginOpenFileDialog(PlatformWindow* owner, const FileDialogRequest& request) = 0;
    virtual bool openWithShell(const std::string& address) = 0;

    virtual void screenSize(int& width, int& height) = 0;
    // Keeps the size; no repaint.
    virtual void moveWindow(PlatformWindow* window, int x, int y) = 0;
    // In screen pixels: the page's size times the display scale.
    virtual void windowSize(PlatformWindow* window, int& width, int& height) = 0;

    // Windows. A borderless top-level window of that size, not yet shown, at
    // (0, 0) until moved; or the child window the request names a parent for.
    // Null when it cannot be made.
    virtual PlatformWindow* createWindow(const WindowRequest& request, WindowHandler* handler) = 0;
    // No event reaches the handler afterwards; a top-level window takes its
    // children with it.
    virtual void destroyWindow(PlatformWindow* window) = 0;
    // Shows and raises a top-level window.
    virtual void showWindow(PlatformWindow* window, ShowCommand command = ShowCommand::Normal) = 0;
    // Keyboard input goes to this window from now on (a press in it asks for that).
    virtual void setFocus(PlatformWindow*) {}
    virtual void windowPosition(PlatformWindow* window, int& x, int& y) = 0;
    // The area a window may use (the maximised size), for keeping it on screen.
    virtual void workArea(int& width, int& height) = 0;
    // While captured, every mouse event goes to this window.
    virtual void captureMouse(PlatformWindow* window) = 0;
    virtual void releaseMouse(PlatformWindow* window) = 0;
    // Lets the user move the window with the button that is down.
    virtual void startWindowDrag(PlatformWindow* window, int screenX, int screenY) = 0;
    // Copies a rectangle of the image to the same place in the window; the pixels
    // of the colour key become holes (and let clicks through). On a high-DPI screen
    // each pixel is shown as a whole-number block (DisplayScale.h), and mouse and
    // paint coordinates arrive in image pixels again.
    virtual void present(PlatformWindow* window, const PixelImage& image, const PixelRect& rect) = 0;
    // A Close event reaches the handler from the event loop, not from inside this call.
    virtual void postClose(PlatformWindow* window) = 0;
    // Safe from any thread: a PresentRequest event reaches the window's handler on
    // the user-interface thread soon. Requests not yet delivered are merged.
    virtual void requestPresent(PlatformWindow* window) = 0;
    // Finds a running instance's window by class name; raises and restores it.
    virtual bool activateRunningInstance(const std::string& className) = 0;
    // Runs events until quit is posted; the loop then returns.
    virtual void runEventLoop() = 0;
    virtual void postQuit() = 0;
    // Whether shift and control are down now, wherever the focus is.
    virtual void keyboardModifiers(bool& shift, bool& control) { shift = control = false; }

    // The edit popup over a field of the window; one per window, opening a second
    // ends the first unanswered. False when none could be opened: no EditEnded follows.
    virtual bool openEditPopup(PlatformWindow*, const EditPopupRequest&) { return false; }
    // Ends the window's popup from the program's side, without an EditEnded event;
    // the text in it, when one was open.
    virtual std::optional<std::string> closeEditPopup(PlatformWindow*) { return std::nullopt; }
    // The text in the window's open popup now, leaving it open; none without one.
    virtual std::optional<std::string> editPopupText(PlatformWindow*) { return std::nullopt; }
};

// Small named values that outlive the process (the window position, preferences):
// the registry on Windows, a settings file elsewhere.
class SettingsStore {
public:
    enum class Kind : uint8_t { Dword, Text, Binary };
    // Names longer than this are refused by every store.
    static constexpr size_t kMaxNameLength = 64;
    // Values longer than this are refused by writes and not read back.
    static constexpr size_t kMaxValueBytes = 4096;

    virtual ~SettingsStore() = default;
    virtual bool readDword(const std::string& name, uint32_t& value) = 0;
    virtual bool writeDword(const std::string& name, uint32_t value) = 0;
    // Any value with its kind (a Dword as its 4 bytes, little-endian); a text or
    // binary value longer than limit is cut to limit bytes. Every store refuses
    // a value longer than kMaxValueBytes (a preference keeps its default).
    virtual bool readValue(const std::string& name, Kind& kind, std::string& bytes, size_t limit) = 0;
    virtual bool writeText(const std::string& name, const std::string& text) = 0;
    virtual bool writeBinary(const std::string& name, const std::string& bytes) = 0;
};

// The installed backend. Until one is installed, a backend that does nothing and
// answers "no" (no timers fire, no dialog opens).
UiPlatform& uiPlatform();
// Returns the previous one; null restores the inert backend.
UiPlatform* setUiPlatform(UiPlatform* platform);
