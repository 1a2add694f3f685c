#pragma once

// The X11 backend's state, shared by its files only. The program's own headers come
// before the X ones: Xlib defines macros (None, Bool, Status) that would rewrite them.
#include "Dialogs.h"
#include "DisplayScale.h"
#include "PortalFileChooser.h"
#include "ShapeMask.h"
#include "TextRenderer.h"
#include "TimerQueue.h"
#include "UiPlatform.h"
#include "X11EditPopup.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

// A top-level window, or the child window inside one. The child has no OS window of
// its own: it shares its parent's (same id), receives its input, paint and present
// events, and presents through the parent's image and shape.
struct X11Window : PlatformWindow {
    Window id = 0;
    X11Window* parent = nullptr;
    X11Window* child = nullptr;
    GC gc = nullptr;
    WindowRequest request;   // its size in page pixels
    WindowHandler* handler = nullptr;
    bool destroyed = false;
    int scale = 1;           // screen pixels per page pixel, for the window's life

    // What present copies into, window-sized; in shared memory where the server has it.
    XImage* image = nullptr;
    XShmSegmentInfo shm{};
    bool shared = false;
    ShapeMask mask;
    int shapeUpdates = 0; // how often the server was sent a new shape

    // The last press, for telling a double click.
    Time lastPressTime = 0;
    unsigned lastPressButton = 0;
    int lastPressX = 0, lastPressY = 0;
    bool lastPressWasDouble = false;

    // A drag from another program over the window.
    Window dropSource = 0;
    bool dropAcceptable = false;
    bool dropRequested = false;
    int dropRootX = 0, dropRootY = 0;
};

struct X11Atoms {
    Atom wmProtocols, wmDeleteWindow, wmState, utf8String, netWmName, netWmIcon, netWmPid, motifWmHints,
        netWorkarea, netCurrentDesktop, netSupported, netSupportingWmCheck, netWmMoveResize,
        netActiveWindow, xdndAware, xdndEnter, xdndPosition, xdndStatus, xdndLeave, xdndDrop,
        xdndFinished, xdndSelection, xdndTypeList, xdndActionCopy, textUriList, dropProperty, clipboard,
        incr, pasteProperty;
};

struct X11State {
    using Clock = std::chrono::steady_clock;

    Display* display = nullptr;
    int screen = 0;
    Window root = 0;
    Visual* visual = nullptr;
    int depth = 0;
    bool sharedMemory = false; // MIT-SHM usable: the extension is there and the display is local
    int scale = 1;             // for windows made from now on: GDK_SCALE, else Xft.dpi
    std::vector<uint8_t> scaled; // a presented rectangle enlarged, reused
    bool shapes = false;
    X11Atoms atoms{};
    std::string instanceName; // WM_CLASS's first part: which program made the window
    int wakeFd = -1;

    std::vector<std::unique_ptr<X11Window>> windows; // kept after destroy: stale pointers stay harmless

    TimerQueue timers;
    // The timers' clock: milliseconds of the steady clock.
    uint64_t nowMs() const {
        return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
    }

    std::mutex postedLock;
    std::vector<PlatformWindow*> postedCloses; // guarded by postedLock
    std::vector<PlatformWindow*> postedPresents; // guarded by postedLock
    std::atomic<bool> quit{false};

    std::map<int, Cursor> cursors; // by kind
    Cursor invisibleCursor = 0;
    int cursorKind = 0;
    bool cursorShown = true;
    X11Window* captured = nullptr;

    // A window drag the program runs itself (no window manager to do it).
    X11Window* dragged = nullptr;
    int dragOriginX = 0, dragOriginY = 0, dragStartX = 0, dragStartY = 0;

    Dialogs dialogs;
    // The open-file dialog running beside the loop (the desktop portal's, else a
    // dialog program), and the window its answer is for.
    std::unique_ptr<PortalFileChooser> portalDialog;
    std::unique_ptr<RunningProgram> fileDialog;
    X11Window* fileDialogOwner = nullptr;

    // The open edit popups, by the window that opened each; what draws their text;
    // the input method their keys go through (opened with the first popup).
    std::map<X11Window*, std::unique_ptr<X11EditPopup>> editPopups;
    TextRenderer* textRenderer = nullptr;
    XIM inputMethod = nullptr;
    bool inputMethodTried = false;
    Cursor textCursor = 0;

    explicit X11State(std::string searchPath) : dialogs(std::move(searchPath)) {}
    ~X11State();

    X11Window* live(PlatformWindow* window) const;
    // The top-level window of an OS window.
    X11Window* byId(Window id) const;
    // Where a window's input goes: its live child, else itself.
    static X11Window* inputOf(X11Window* window);
    void deliver(X11Window* window, const WindowEvent& event);
    void wake();
    // The window manager is running and does this (an atom of _NET_SUPPORTED).
    bool managerSupports(Atom feature);
    // Runs `request` and reports whether the server refused it, without Xlib's exit.
    template <class Request> bool trapErrors(Request request);

    // X11Window.cpp
    X11Window* makeWindow(const WindowRequest& request, WindowHandler* handler);
    // Ties a top-level window to this process (_NET_WM_PID with WM_CLIENT_MACHINE),
    // for the desktop's "force quit" and its launcher's grouping.
    void markOwnProcess(Window id);
    void releaseWindow(X11Window& window);
    void presentRect(X11Window& window, const PixelImage& image, const PixelRect& rect);
    // The pixels of an OS window as 0xRRGGBB, top-down.
    bool readPixels(Window id, int width, int height, std::vector<uint32_t>& pixels);
    // X11EditPopup.cpp
    // True when the event was a popup's: nothing else handles it then. Presses
    // elsewhere and a lost focus end popups and go on to their windows.
    bool editPopupEvent(XEvent& event);
    // Destroys the popups the user ended and tells their owners, from the loop.
    void deliverEditEndings();
    // Destroys the window's popup without a word; its text.
    std::optional<std::string> dropEditPopup(X11Window* owner);
    // X11Dnd.cpp
    void dropMessage(X11Window& window, const XClientMessageEvent& message);
    void dropSelection(X11Window& window, const XSelectionEvent& selection);
};

// A pixel of the image's visual from 8-bit red, green and blue.
unsigned long visualPixel(const XImage& image, uint8_t red, uint8_t green, uint8_t blue);

// Records a refused request instead of ending the process, as Xlib's own handler
// would; the error handler of every display the backend opens.
int recordXError(Display* display, XErrorEvent* error);
// The last error code the handler saw since the previous call; 0 for none.
int takeXError();

template <class Request> bool X11State::trapErrors(Request request) {
    XSync(display, False);
    takeXError();
    request();
    XSync(display, False);
    return takeXError() == 0;
}
