#include "X11Platform.h"

#include "KeyTranslation.h"
#include "X11Internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>

#include <X11/XKBlib.h>
#include <X11/keysym.h>
#include <X11/Xatom.h>
#include <X11/cursorfont.h>
#include <X11/extensions/shape.h>

namespace {

constexpr unsigned kDoubleClickMs = 500;
constexpr int kDoubleClickDistance = 4;
constexpr int kButtonLeft = 1, kButtonRight = 3, kWheelUp = 4, kWheelDown = 5;
constexpr int kDialogExitPollMs = 10;

std::atomic<int> lastXError{0};

// Xlib's own handler ends the process; a refused request (a window of another
// program that went away, an extension that refuses) is an answer here.
int recordXError(Display*, XErrorEvent* error) {
    lastXError = error->error_code;
    return 0;
}

std::atomic<void (*)()> displayLostHandler{nullptr};

// Xlib ends the process after this returns; the program's handler decides how.
int displayLost(Display*) {
    if (void (*handler)() = displayLostHandler.load())
        handler();
    _exit(1);
}

bool displayIsLocal(const char* name) {
    return name && (name[0] == ':' || std::string(name).rfind("unix:", 0) == 0);
}

WindowEvent mouseEvent(WindowEvent::Button button, int x, int y, int rootX, int rootY,
                       unsigned state) {
    WindowEvent event;
    event.kind = WindowEvent::Kind::Mouse;
    event.button = button;
    event.x = x, event.y = y;
    event.screenX = rootX, event.screenY = rootY;
    event.shift = (state & ShiftMask) != 0;
    event.control = (state & ControlMask) != 0;
    return event;
}

} // namespace

int takeXError() {
    return lastXError.exchange(0);
}

// --- state -------------------------------------------------------------------

X11State::~X11State() {
    fileDialog.reset(); // the program ends with us: the dialog goes too
    for (auto& window : windows)
        if (!window->destroyed)
            releaseWindow(*window);
    if (display) {
        for (auto& [kind, cursor] : cursors)
            XFreeCursor(display, cursor);
        if (invisibleCursor)
            XFreeCursor(display, invisibleCursor);
        XCloseDisplay(display);
    }
    if (wakeFd >= 0)
        ::close(wakeFd);
}

X11Window* X11State::live(PlatformWindow* window) const {
    for (const auto& candidate : windows)
        if (candidate.get() == window && !candidate->destroyed)
            return candidate.get();
    return nullptr;
}

X11Window* X11State::byId(Window id) const {
    for (const auto& candidate : windows)
        if (candidate->id == id && !candidate->destroyed)
            return candidate.get();
    return nullptr;
}

void X11State::deliver(X11Window* window, const WindowEvent& event) {
    if (window && !window->destroyed && window->handler)
        window->handler->onWindowEvent(window, event);
}

void X11State::wake() {
    const uint64_t one = 1;
    while (::write(wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool X11State::managerSupports(Atom feature) {
    // A window manager that has gone leaves its _NET_SUPPORTED behind: only trust it
    // while the check window it names is there and names itself.
    auto windowProperty = [this](Window window, Atom property, Window& value) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool found = false;
        trapErrors([&] {
            if (XGetWindowProperty(display, window, property, 0, 1, False, XA_WINDOW, &type, &format,
                                   &count, &after, &data) == Success &&
                data && format == 32 && count == 1) {
                value = Window(reinterpret_cast<unsigned long*>(data)[0]);
                found = true;
            }
        });
        if (data)
            XFree(data);
        return found;
    };
    Window check = 0, self = 0;
    if (!windowProperty(root, atoms.netSupportingWmCheck, check) ||
        !windowProperty(check, atoms.netSupportingWmCheck, self) || self != check)
        return false;

    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool supported = false;
    if (XGetWindowProperty(display, root, atoms.netSupported, 0, 1024, False, XA_ATOM, &type, &format,
                           &count, &after, &data) == Success &&
        data && format == 32) {
        const auto* list = reinterpret_cast<unsigned long*>(data);
        supported = std::find(list, list + count, feature) != list + count;
    }
    if (data)
        XFree(data);
    return supported;
}

// --- opening -----------------------------------------------------------------

std::unique_ptr<X11Platform> openX11Platform(std::string& error) {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        error = "no X display: DISPLAY is not set";
        return nullptr;
    }
    Display* display = XOpenDisplay(name);
    if (!display) {
        error = std::string("cannot open the X display ") + name;
        return nullptr;
    }
    XSetErrorHandler(recordXError);
    XSetIOErrorHandler(displayLost);
    const char* path = std::getenv("PATH");
    auto state = std::make_unique<X11State>(path ? path : "/usr/local/bin:/usr/bin:/bin");
    state->display = display;
    state->screen = DefaultScreen(display);
    state->root = RootWindow(display, state->screen);
    state->visual = DefaultVisual(display, state->screen);
    state->depth = DefaultDepth(display, state->screen);
    state->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (state->wakeFd < 0) {
        error = "cannot make the event loop's wake-up descriptor";
        return nullptr;
    }
    state->sharedMemory = displayIsLocal(name) && XShmQueryExtension(display);
    int shapeEvent = 0, shapeError = 0;
    state->shapes = XShapeQueryExtension(display, &shapeEvent, &shapeError);
    // Held keys repeat as presses alone, as on Windows, not release-press pairs.
    Bool detectable = False;
    XkbSetDetectableAutoRepeat(display, True, &detectable);

    X11Atoms& a = state->atoms;
    auto atom = [display](const char* atomName) { return XInternAtom(display, atomName, False); };
    a.wmProtocols = atom("WM_PROTOCOLS");
    a.wmDeleteWindow = atom("WM_DELETE_WINDOW");
    a.wmState = atom("WM_STATE");
    a.utf8String = atom("UTF8_STRING");
    a.netWmName = atom("_NET_WM_NAME");
    a.netWmIcon = atom("_NET_WM_ICON");
    a.motifWmHints = atom("_MOTIF_WM_HINTS");
    a.netWorkarea = atom("_NET_WORKAREA");
    a.netCurrentDesktop = atom("_NET_CURRENT_DESKTOP");
    a.netSupported = atom("_NET_SUPPORTED");
    a.netSupportingWmCheck = atom("_NET_SUPPORTING_WM_CHECK");
    a.netWmMoveResize = atom("_NET_WM_MOVERESIZE");
    a.netActiveWindow = atom("_NET_ACTIVE_WINDOW");
    a.xdndAware = atom("XdndAware");
    a.xdndEnter = atom("XdndEnter");
    a.xdndPosition = atom("XdndPosition");
    a.xdndStatus = atom("XdndStatus");
    a.xdndLeave = atom("XdndLeave");
    a.xdndDrop = atom("XdndDrop");
    a.xdndFinished = atom("XdndFinished");
    a.xdndSelection = atom("XdndSelection");
    a.xdndTypeList = atom("XdndTypeList");
    a.xdndActionCopy = atom("XdndActionCopy");
    a.textUriList = atom("text/uri-list");
    a.dropProperty = atom("QUORIX_DROP");
    return std::make_unique<X11Platform>(std::move(state));
}

X11Platform::X11Platform(std::unique_ptr<X11State> state) : x_(std::move(state)) {}

X11Platform::~X11Platform() = default;

// --- timers and the loop -----------------------------------------------------

void X11Platform::startTimer(PlatformWindow* window, uint32_t id, uint32_t milliseconds) {
    X11Window* target = x_->live(window);
    if (!target)
        return;
    // Starting a running timer restarts it; like Windows, no timer runs faster than 10 ms.
    milliseconds = std::max<uint32_t>(milliseconds, 10);
    x_->timers[{target, id}] =
        X11State::Timer{milliseconds, X11State::Clock::now() + std::chrono::milliseconds(milliseconds)};
}

void X11Platform::stopTimer(PlatformWindow* window, uint32_t id) {
    x_->timers.erase({static_cast<X11Window*>(x_->live(window)), id});
}

void X11Platform::fireDueTimers() {
    const auto now = X11State::Clock::now();
    std::vector<std::pair<X11State::Clock::time_point, std::pair<X11Window*, uint32_t>>> due;
    for (const auto& [key, timer] : x_->timers)
        if (timer.due <= now)
            due.emplace_back(timer.due, key);
    std::sort(due.begin(), due.end());
    // Each due timer fires once a turn; a handler may stop or restart any of them.
    for (const auto& [when, key] : due) {
        auto it = x_->timers.find(key);
        if (it == x_->timers.end() || it->second.due != when)
            continue;
        if (key.second < kFirstRepeatingTimer) {
            x_->timers.erase(it);
        } else {
            // After a stall the next tick is one interval away, not a burst of them.
            it->second.due = std::max(it->second.due + std::chrono::milliseconds(it->second.interval),
                                      now + std::chrono::milliseconds(1));
        }
        WindowEvent timer;
        timer.kind = WindowEvent::Kind::Timer;
        timer.timerId = key.second;
        x_->deliver(key.first, timer);
    }
}

void X11Platform::requestPresent(PlatformWindow* window) {
    {
        std::lock_guard<std::mutex> lock(x_->postedLock);
        if (std::find(x_->postedPresents.begin(), x_->postedPresents.end(), window) != x_->postedPresents.end())
            return;
        x_->postedPresents.push_back(window);
    }
    x_->wake();
}

void X11Platform::deliverPostedCloses() {
    std::vector<PlatformWindow*> presents, closes;
    {
        std::lock_guard<std::mutex> lock(x_->postedLock);
        presents.swap(x_->postedPresents);
        closes.swap(x_->postedCloses);
    }
    for (PlatformWindow* window : presents) {
        WindowEvent request;
        request.kind = WindowEvent::Kind::PresentRequest;
        x_->deliver(x_->live(window), request);
    }
    for (PlatformWindow* window : closes) {
        WindowEvent close;
        close.kind = WindowEvent::Kind::Close;
        x_->deliver(x_->live(window), close);
    }
}

void X11Platform::serviceFileDialog() {
    RunningProgram* dialog = x_->fileDialog.get();
    if (!dialog) return;
    dialog->readOutput();
    if (!dialog->finished()) return;
    const std::optional<std::string> answer = Dialogs::fileAnswer(dialog->result());
    X11Window* owner = x_->fileDialogOwner;
    closeFileDialog(); // answered: the handler may open the next one
    WindowEvent chosen;
    chosen.kind = WindowEvent::Kind::FileChosen;
    if (answer) chosen.paths.push_back(*answer);
    x_->deliver(owner, chosen);
}

void X11Platform::closeFileDialog() {
    x_->fileDialog.reset(); // kills and reaps a dialog still open
    x_->fileDialogOwner = nullptr;
}

void X11Platform::pumpEvents(int milliseconds) {
    deliverPostedCloses();
    serviceFileDialog();
    fireDueTimers();
    dispatchPending();
    if (x_->quit)
        return;
    XFlush(x_->display);
    // Handlers may have drawn events into Xlib's queue, where poll cannot see them.
    if (XEventsQueued(x_->display, QueuedAlready) > 0)
        return;

    int timeout = milliseconds;
    if (!x_->timers.empty()) {
        auto next = X11State::Clock::time_point::max();
        for (const auto& [key, timer] : x_->timers)
            next = std::min(next, timer.due);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - X11State::Clock::now());
        const int untilTimer = int(std::clamp<long long>(wait.count(), 0, 1 << 30));
        timeout = timeout < 0 ? untilTimer : std::min(timeout, untilTimer);
    }
    pollfd watched[3] = {
        {ConnectionNumber(x_->display), POLLIN, 0}, {x_->wakeFd, POLLIN, 0}, {-1, 0, 0}};
    nfds_t count = 2;
    if (x_->fileDialog) {
        const int output = x_->fileDialog->outputFd();
        if (output >= 0)
            watched[count++] = pollfd{output, POLLIN, 0};
        else // its output has ended; the exit follows closely
            timeout = timeout < 0 ? kDialogExitPollMs : std::min(timeout, kDialogExitPollMs);
    }
    if (::poll(watched, count, timeout) > 0 && (watched[1].revents & POLLIN)) {
        uint64_t wakes = 0;
        while (::read(x_->wakeFd, &wakes, sizeof wakes) > 0) {
        }
    }
    serviceFileDialog();
    deliverPostedCloses();
    dispatchPending();
    fireDueTimers();
    x_->dialogs.reap();
}

void X11Platform::runEventLoop() {
    while (!x_->quit)
        pumpEvents(1000); // the cap lets finished URL openers be reaped
    x_->quit = false; // taken, as GetMessage takes WM_QUIT
}

void X11Platform::postQuit() {
    x_->quit = true;
    x_->wake();
}

void X11Platform::postClose(PlatformWindow* window) {
    {
        std::lock_guard<std::mutex> lock(x_->postedLock);
        x_->postedCloses.push_back(window);
    }
    x_->wake();
}

// --- events ------------------------------------------------------------------

void X11Platform::dispatchPending() {
    Display* display = x_->display;
    const X11Atoms& atoms = x_->atoms;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        X11Window* window = x_->byId(event.xany.window);
        if (!window)
            continue;
        switch (event.type) {
        case Expose: {
            WindowEvent paint;
            paint.kind = WindowEvent::Kind::Paint;
            paint.paint = PixelRect{event.xexpose.x, event.xexpose.y,
                                    event.xexpose.x + event.xexpose.width,
                                    event.xexpose.y + event.xexpose.height};
            x_->deliver(window, paint);
            break;
        }
        case ButtonPress: {
            const XButtonEvent& press = event.xbutton;
            if (press.button == kWheelUp || press.button == kWheelDown) {
                WindowEvent wheel = mouseEvent(WindowEvent::Button::Wheel, press.x, press.y, 0, 0, press.state);
                wheel.wheelDelta = press.button == kWheelUp ? 120 : -120;
                x_->deliver(window, wheel);
                break;
            }
            if (press.button != kButtonLeft && press.button != kButtonRight)
                break;
            const bool isDouble = !window->lastPressWasDouble && press.button == window->lastPressButton &&
                                  press.time - window->lastPressTime <= kDoubleClickMs &&
                                  std::abs(press.x_root - window->lastPressX) <= kDoubleClickDistance &&
                                  std::abs(press.y_root - window->lastPressY) <= kDoubleClickDistance;
            window->lastPressButton = press.button;
            window->lastPressTime = press.time;
            window->lastPressX = press.x_root, window->lastPressY = press.y_root;
            window->lastPressWasDouble = isDouble;
            const bool left = press.button == kButtonLeft;
            const auto button = isDouble ? (left ? WindowEvent::Button::LeftDouble : WindowEvent::Button::RightDouble)
                                         : (left ? WindowEvent::Button::LeftDown : WindowEvent::Button::RightDown);
            x_->deliver(window, mouseEvent(button, press.x, press.y, press.x_root, press.y_root, press.state));
            break;
        }
        case ButtonRelease: {
            const XButtonEvent& release = event.xbutton;
            if (x_->dragged && release.button == kButtonLeft) {
                x_->dragged = nullptr; // the drag takes the release, as Windows' move loop does
                break;
            }
            if (release.button != kButtonLeft && release.button != kButtonRight)
                break;
            const auto button = release.button == kButtonLeft ? WindowEvent::Button::LeftUp
                                                              : WindowEvent::Button::RightUp;
            x_->deliver(window, mouseEvent(button, release.x, release.y, release.x_root, release.y_root,
                                           release.state));
            break;
        }
        case MotionNotify: {
            // Only the latest of a run of motions matters.
            while (XEventsQueued(display, QueuedAfterReading) > 0) {
                XEvent next;
                XPeekEvent(display, &next);
                if (next.type != MotionNotify || next.xmotion.window != event.xmotion.window)
                    break;
                XNextEvent(display, &event);
            }
            const XMotionEvent& motion = event.xmotion;
            if (x_->dragged) {
                if (!(motion.state & Button1Mask)) {
                    x_->dragged = nullptr; // the release went elsewhere
                    break;
                }
                XMoveWindow(display, x_->dragged->id, x_->dragOriginX + motion.x_root - x_->dragStartX,
                            x_->dragOriginY + motion.y_root - x_->dragStartY);
                break;
            }
            x_->deliver(window, mouseEvent(WindowEvent::Button::Move, motion.x, motion.y, motion.x_root,
                                           motion.y_root, motion.state));
            break;
        }
        case KeyPress:
        case KeyRelease: {
            XKeyEvent& key = event.xkey;
            KeySym symbol = XLookupKeysym(&key, 0);
            // Keypad keys follow Num Lock: the digit when it is on.
            if (symbol >= XK_KP_Space && symbol <= XK_KP_9) {
                KeySym locked = 0;
                char text[8];
                XLookupString(&key, text, sizeof text, &locked, nullptr);
                if (locked >= XK_KP_0 && locked <= XK_KP_9)
                    symbol = locked;
            }
            const uint32_t code = virtualKeyOfKeysym(symbol);
            if (!code)
                break;
            WindowEvent keyEvent;
            keyEvent.kind = WindowEvent::Kind::Key;
            keyEvent.keyDown = event.type == KeyPress;
            keyEvent.keyCode = code;
            keyEvent.shift = (key.state & ShiftMask) != 0;
            keyEvent.control = (key.state & ControlMask) != 0;
            x_->deliver(window, keyEvent);
            break;
        }
        case FocusIn:
        case FocusOut: {
            // Grabs (a window manager's move) pass focus around without a change of window.
            if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab ||
                event.xfocus.detail == NotifyPointer)
                break;
            WindowEvent activate;
            activate.kind = WindowEvent::Kind::Activate;
            activate.active = event.type == FocusIn;
            x_->deliver(window, activate);
            break;
        }
        case ClientMessage:
            if (event.xclient.message_type == atoms.wmProtocols && event.xclient.format == 32 &&
                Atom(event.xclient.data.l[0]) == atoms.wmDeleteWindow) {
                WindowEvent close;
                close.kind = WindowEvent::Kind::Close;
                x_->deliver(window, close);
            } else {
                x_->dropMessage(*window, event.xclient);
            }
            break;
        case SelectionNotify:
            x_->dropSelection(*window, event.xselection);
            break;
        default:
            break;
        }
    }
}

// --- cursor ------------------------------------------------------------------

bool X11Platform::setCursorKind(int kind) {
    unsigned shape;
    switch (kind) {
    case 0: shape = XC_left_ptr; break;
    case 304: shape = XC_sb_h_double_arrow; break;
    case 305: shape = XC_sb_v_double_arrow; break;
    case 306: shape = XC_hand2; break;
    default: return false;
    }
    Cursor& cursor = x_->cursors[kind];
    if (!cursor)
        cursor = XCreateFontCursor(x_->display, shape);
    x_->cursorKind = kind;
    if (x_->cursorShown)
        for (auto& window : x_->windows)
            if (!window->destroyed)
                XDefineCursor(x_->display, window->id, cursor);
    XFlush(x_->display);
    return true;
}

void X11Platform::showCursor(bool shown) {
    x_->cursorShown = shown;
    if (!shown && !x_->invisibleCursor) {
        static const char empty[1] = {0};
        const Pixmap blank = XCreateBitmapFromData(x_->display, x_->root, empty, 1, 1);
        XColor black{};
        x_->invisibleCursor = XCreatePixmapCursor(x_->display, blank, blank, &black, &black, 0, 0);
        XFreePixmap(x_->display, blank);
    }
    Cursor cursor = x_->invisibleCursor;
    if (shown) {
        auto it = x_->cursors.find(x_->cursorKind);
        cursor = it == x_->cursors.end() ? 0 : it->second; // 0: the parent's, the arrow
    }
    for (auto& window : x_->windows)
        if (!window->destroyed) {
            if (cursor)
                XDefineCursor(x_->display, window->id, cursor);
            else
                XUndefineCursor(x_->display, window->id);
        }
    XFlush(x_->display);
}

void X11Platform::clientToScreen(PlatformWindow* window, int& x, int& y) {
    X11Window* target = x_->live(window);
    if (!target)
        return;
    Window child = 0;
    int screenX = 0, screenY = 0;
    if (XTranslateCoordinates(x_->display, target->id, x_->root, x, y, &screenX, &screenY, &child))
        x = screenX, y = screenY;
}

void X11Platform::setCursorPosition(int screenX, int screenY) {
    XWarpPointer(x_->display, 0, x_->root, 0, 0, 0, 0, screenX, screenY);
    XFlush(x_->display);
}

// --- dialogs and shell -------------------------------------------------------

namespace {
// A dialog cannot take the mouse while this program holds it.
void letGoOfPointer(Display* display) {
    XUngrabPointer(display, CurrentTime);
    XFlush(display);
}
} // namespace

int X11Platform::trackPopupMenu(PlatformWindow*, const std::vector<PopupItem>& items, int, int) {
    letGoOfPointer(x_->display);
    x_->captured = nullptr;
    return x_->dialogs.popupMenu(items);
}

bool X11Platform::askYesNo(PlatformWindow*, const std::string& caption, const std::string& text) {
    letGoOfPointer(x_->display);
    x_->captured = nullptr;
    return x_->dialogs.askYesNo(caption, text);
}

std::optional<std::string> X11Platform::openFileDialog(PlatformWindow*, const FileDialogRequest& request) {
    letGoOfPointer(x_->display);
    x_->captured = nullptr;
    return x_->dialogs.openFile(request);
}

bool X11Platform::beginOpenFileDialog(PlatformWindow* owner, const FileDialogRequest& request) {
    X11Window* target = x_->live(owner);
    if (!target || x_->fileDialog)
        return false; // no window to answer, or one dialog is open already
    letGoOfPointer(x_->display);
    x_->captured = nullptr;
    x_->fileDialog = x_->dialogs.startOpenFile(request);
    if (!x_->fileDialog) return false;
    x_->fileDialogOwner = target;
    return true;
}

bool X11Platform::openWithShell(const std::string& address) {
    return x_->dialogs.openUrl(address);
}

// --- geometry ----------------------------------------------------------------

void X11Platform::screenSize(int& width, int& height) {
    width = DisplayWidth(x_->display, x_->screen);
    height = DisplayHeight(x_->display, x_->screen);
}

void X11Platform::workArea(int& width, int& height) {
    screenSize(width, height);
    auto cardinals = [this](Atom property, long count, std::vector<long>& values) {
        Atom type = 0;
        int format = 0;
        unsigned long got = 0, after = 0;
        unsigned char* data = nullptr;
        values.clear();
        if (XGetWindowProperty(x_->display, x_->root, property, 0, count, False, XA_CARDINAL, &type,
                               &format, &got, &after, &data) == Success &&
            data && format == 32)
            values.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + got);
        if (data)
            XFree(data);
    };
    std::vector<long> desktop, areas;
    cardinals(x_->atoms.netCurrentDesktop, 1, desktop);
    cardinals(x_->atoms.netWorkarea, 4 * 64, areas);
    // Xlib hands 32-bit values sign-extended: read them back as 32 bits, and take
    // an out-of-range desktop as no answer.
    const size_t index = desktop.empty() ? 0 : size_t(uint32_t(desktop[0]));
    if (index < areas.size() / 4 && areas[4 * index + 2] > 0 && areas[4 * index + 3] > 0) {
        width = int(areas[4 * index + 2]);
        height = int(areas[4 * index + 3]);
    }
}

void X11Platform::moveWindow(PlatformWindow* window, int x, int y) {
    if (X11Window* target = x_->live(window)) {
        XMoveWindow(x_->display, target->id, x, y);
        XFlush(x_->display);
    }
}

void X11Platform::windowSize(PlatformWindow* window, int& width, int& height) {
    width = height = 0;
    if (X11Window* target = x_->live(window))
        width = target->request.width, height = target->request.height;
}

void X11Platform::windowPosition(PlatformWindow* window, int& x, int& y) {
    x = y = 0;
    clientToScreen(window, x, y);
}

// --- windows -----------------------------------------------------------------

PlatformWindow* X11Platform::createWindow(const WindowRequest& request, WindowHandler* handler) {
    return x_->makeWindow(request, handler);
}

void X11Platform::destroyWindow(PlatformWindow* window) {
    X11Window* target = x_->live(window);
    if (!target)
        return;
    for (auto it = x_->timers.begin(); it != x_->timers.end();)
        it = it->first.first == target ? x_->timers.erase(it) : std::next(it);
    if (x_->captured == target) {
        XUngrabPointer(x_->display, CurrentTime);
        x_->captured = nullptr;
    }
    if (x_->dragged == target)
        x_->dragged = nullptr;
    if (x_->fileDialogOwner == target) closeFileDialog(); // unanswered
    x_->releaseWindow(*target);
}

void X11Platform::showWindow(PlatformWindow* window) {
    if (X11Window* target = x_->live(window)) {
        XMapRaised(x_->display, target->id);
        XFlush(x_->display);
    }
}

void X11Platform::present(PlatformWindow* window, const PixelImage& image, const PixelRect& rect) {
    if (X11Window* target = x_->live(window))
        x_->presentRect(*target, image, rect);
}

void X11Platform::captureMouse(PlatformWindow* window) {
    X11Window* target = x_->live(window);
    if (!target)
        return;
    XGrabPointer(x_->display, target->id, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                 GrabModeAsync, GrabModeAsync, 0, 0, CurrentTime);
    XFlush(x_->display);
    x_->captured = target;
}

void X11Platform::releaseMouse(PlatformWindow* window) {
    if (!window || x_->captured != window)
        return;
    XUngrabPointer(x_->display, CurrentTime);
    XFlush(x_->display);
    x_->captured = nullptr;
}

void X11Platform::startWindowDrag(PlatformWindow* window, int screenX, int screenY) {
    X11Window* target = x_->live(window);
    if (!target || x_->dragged)
        return;
    Display* display = x_->display;
    if (x_->managerSupports(x_->atoms.netWmMoveResize)) {
        // The press's implicit grab would keep the pointer from the window manager.
        XUngrabPointer(display, CurrentTime);
        x_->captured = nullptr;
        XEvent message{};
        message.xclient.type = ClientMessage;
        message.xclient.window = target->id;
        message.xclient.message_type = x_->atoms.netWmMoveResize;
        message.xclient.format = 32;
        message.xclient.data.l[0] = screenX;
        message.xclient.data.l[1] = screenY;
        message.xclient.data.l[2] = 8; // move
        message.xclient.data.l[3] = kButtonLeft;
        message.xclient.data.l[4] = 1; // from an application
        XSendEvent(display, x_->root, False, SubstructureRedirectMask | SubstructureNotifyMask, &message);
        XFlush(display);
        return;
    }

    // No window manager to ask: follow the pointer here until the button comes up,
    // running timers and painting meanwhile.
    Window rootReturn = 0, child = 0;
    int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
    unsigned buttons = 0;
    if (!XQueryPointer(display, target->id, &rootReturn, &child, &rootX, &rootY, &windowX, &windowY,
                       &buttons) ||
        !(buttons & Button1Mask))
        return; // already released: nothing to follow
    windowPosition(target, x_->dragOriginX, x_->dragOriginY);
    x_->dragStartX = screenX, x_->dragStartY = screenY;
    x_->dragged = target;
    XGrabPointer(display, target->id, False, ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                 GrabModeAsync, 0, 0, CurrentTime);
    while (x_->dragged && !x_->quit)
        pumpEvents(100);
    x_->dragged = nullptr;
    if (x_->captured)
        captureMouse(x_->captured); // the program's capture outlives the drag
    else
        XUngrabPointer(display, CurrentTime);
    XFlush(display);
}

// --- another instance --------------------------------------------------------

bool X11Platform::activateRunningInstance(const std::string& className) {
    Display* display = x_->display;
    auto hasClass = [&](Window window) {
        XClassHint hint{};
        bool match = false;
        x_->trapErrors([&] {
            if (XGetClassHint(display, window, &hint)) {
                match = hint.res_class && className == hint.res_class;
                XFree(hint.res_name);
                XFree(hint.res_class);
            }
        });
        return match;
    };
    auto children = [&](Window parent) {
        Window rootReturn = 0, parentReturn = 0;
        Window* list = nullptr;
        unsigned count = 0;
        std::vector<Window> result;
        x_->trapErrors([&] {
            if (XQueryTree(display, parent, &rootReturn, &parentReturn, &list, &count) && list)
                result.assign(list, list + count);
        });
        if (list)
            XFree(list);
        return result;
    };

    Window found = 0;
    for (Window top : children(x_->root)) {
        if (hasClass(top)) {
            found = top;
            break;
        }
        // Under a reparenting window manager the program's window is inside a frame.
        for (Window inner : children(top))
            if (hasClass(inner)) {
                found = inner;
                break;
            }
        if (found)
            break;
    }
    if (!found)
        return false;

    x_->trapErrors([&] { XMapRaised(display, found); }); // also brings it back from an icon
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = found;
    message.xclient.message_type = x_->atoms.netActiveWindow;
    message.xclient.format = 32;
    message.xclient.data.l[0] = 2; // as a pager asks: the user started us to bring it forward
    message.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, x_->root, False, SubstructureRedirectMask | SubstructureNotifyMask, &message);
    XFlush(display);
    return true;
}

bool X11Platform::dialogsAvailable() {
    return x_->dialogs.available();
}

void setDisplayLostHandler(void (*handler)()) {
    displayLostHandler.store(handler);
}

// --- checks ------------------------------------------------------------------

bool X11Platform::readWindowPixels(PlatformWindow* window, std::vector<uint32_t>& pixels) {
    X11Window* target = x_->live(window);
    if (!target)
        return false;
    XImage* image = nullptr;
    x_->trapErrors([&] {
        image = XGetImage(x_->display, target->id, 0, 0, unsigned(target->request.width),
                          unsigned(target->request.height), AllPlanes, ZPixmap);
    });
    if (!image)
        return false;
    pixels.resize(size_t(target->request.width) * size_t(target->request.height));
    for (int y = 0; y < target->request.height; ++y)
        for (int x = 0; x < target->request.width; ++x) {
            const unsigned long value = XGetPixel(image, x, y);
            auto channel = [value](unsigned long mask) {
                if (!mask)
                    return 0u;
                int shift = 0;
                while (!((mask >> shift) & 1))
                    ++shift;
                const unsigned long max = mask >> shift;
                return unsigned(((value & mask) >> shift) * 255 / max);
            };
            pixels[size_t(y) * size_t(target->request.width) + size_t(x)] =
                channel(image->red_mask) << 16 | channel(image->green_mask) << 8 | channel(image->blue_mask);
        }
    XDestroyImage(image);
    return true;
}

std::vector<PixelRect> X11Platform::windowShape(PlatformWindow* window, bool input) {
    std::vector<PixelRect> result;
    X11Window* target = x_->live(window);
    if (!target || !x_->shapes)
        return result;
    int count = 0, ordering = 0;
    XRectangle* rectangles =
        XShapeGetRectangles(x_->display, target->id, input ? ShapeInput : ShapeBounding, &count, &ordering);
    for (int i = 0; i < count; ++i)
        result.push_back(PixelRect{rectangles[i].x, rectangles[i].y, rectangles[i].x + rectangles[i].width,
                                   rectangles[i].y + rectangles[i].height});
    if (rectangles)
        XFree(rectangles);
    return result;
}

int X11Platform::shapeUpdates(PlatformWindow* window) const {
    X11Window* target = x_->live(window);
    return target ? target->shapeUpdates : 0;
}

bool X11Platform::usesSharedMemory() const {
    for (const auto& window : x_->windows)
        if (!window->destroyed && window->image)
            return window->shared;
    return x_->sharedMemory;
}

unsigned long X11Platform::nativeWindow(PlatformWindow* window) const {
    X11Window* target = x_->live(window);
    return target ? target->id : 0;
}
