#include "X11Platform.h"

#include "X11State.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/shape.h>

namespace {

constexpr int kDialogExitPollMs = 10;

std::atomic<void (*)()> displayLostHandler{nullptr};

// Xlib ends the process after this returns; the program's handler decides how.
int displayLost(Display*) {
    if (void (*handler)() = displayLostHandler.load())
        handler();
    _exit(1);
}

// "Xft.dpi:\t192" among the server's resources (what desktops set for their
// scaling); 0 when absent.
int resourceDpi(Display* display) {
    const char* resources = XResourceManagerString(display);
    if (!resources)
        return 0;
    const std::string text(resources);
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.rfind("Xft.dpi:", 0) != 0)
            continue;
        const long dpi = std::strtol(line.c_str() + 8, nullptr, 10); // "192" or "192.0"
        return dpi > 0 && dpi < 10000 ? int(dpi) : 0;
    }
    return 0;
}

bool displayIsLocal(const char* name) {
    return name && (name[0] == ':' || std::string(name).rfind("unix:", 0) == 0);
}

} // namespace

// --- opening -----------------------------------------------------------------

std::unique_ptr<X11Platform> openX11Platform(std::string& error, const std::string& instanceName) {
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
    state->instanceName = instanceName;
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
    const char* asked = std::getenv("GDK_SCALE");
    const int askedScale = asked ? parseDisplayScale(asked) : 0;
    state->scale = askedScale ? askedScale : displayScaleForDpi(resourceDpi(display));
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
    a.netWmPid = atom("_NET_WM_PID");
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
    a.clipboard = atom("CLIPBOARD");
    a.incr = atom("INCR");
    a.pasteProperty = atom("QUORIX_PASTE");
    return std::make_unique<X11Platform>(std::move(state));
}

X11Platform::X11Platform(std::unique_ptr<X11State> state) : x_(std::move(state)) {}

X11Platform::~X11Platform() = default;

// --- timers and the loop -----------------------------------------------------

void X11Platform::startTimer(PlatformWindow* window, uint32_t id, uint32_t milliseconds) {
    if (X11Window* target = x_->live(window))
        x_->timers.start(target, id, milliseconds, x_->nowMs(), target->request.oneShotTimers);
}

void X11Platform::stopTimer(PlatformWindow* window, uint32_t id) {
    x_->timers.stop(x_->live(window), id);
}

void X11Platform::fireDueTimers() {
    const uint64_t now = x_->nowMs();
    PlatformWindow* window = nullptr;
    uint32_t id = 0;
    while (x_->timers.takeDue(now, window, id)) {
        WindowEvent timer;
        timer.kind = WindowEvent::Kind::Timer;
        timer.timerId = id;
        x_->deliver(static_cast<X11Window*>(window), timer);
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
    std::optional<std::string> answer;
    if (PortalFileChooser* portal = x_->portalDialog.get()) {
        if (!portal->service()) return;
        answer = portal->answer();
    } else if (RunningProgram* dialog = x_->fileDialog.get()) {
        dialog->readOutput();
        if (!dialog->finished()) return;
        answer = Dialogs::fileAnswer(dialog->result());
    } else {
        return;
    }
    X11Window* owner = x_->fileDialogOwner;
    closeFileDialog(); // answered: the handler may open the next one
    WindowEvent chosen;
    chosen.kind = WindowEvent::Kind::FileChosen;
    if (answer) chosen.paths.push_back(*answer);
    x_->deliver(owner, chosen);
}

void X11Platform::closeFileDialog() {
    x_->portalDialog.reset(); // closes a dialog still open
    x_->fileDialog.reset();   // kills and reaps a dialog still open
    x_->fileDialogOwner = nullptr;
}

void X11Platform::pumpEvents(int milliseconds) {
    deliverPostedCloses();
    serviceFileDialog();
    fireDueTimers();
    dispatchPending();
    x_->deliverEditEndings();
    if (x_->quit)
        return;
    XFlush(x_->display);
    // Handlers may have drawn events into Xlib's queue, where poll cannot see them.
    if (XEventsQueued(x_->display, QueuedAlready) > 0)
        return;

    int timeout = milliseconds;
    if (const std::optional<uint64_t> next = x_->timers.nextDeadline()) {
        const uint64_t now = x_->nowMs();
        const int untilTimer = int(std::min<uint64_t>(*next > now ? *next - now : 0, 1 << 30));
        timeout = timeout < 0 ? untilTimer : std::min(timeout, untilTimer);
    }
    pollfd watched[3] = {
        {ConnectionNumber(x_->display), POLLIN, 0}, {x_->wakeFd, POLLIN, 0}, {-1, 0, 0}};
    nfds_t count = 2;
    if (x_->portalDialog) {
        watched[count++] = pollfd{x_->portalDialog->fd(), x_->portalDialog->events(), 0};
        const int untilBus = x_->portalDialog->timeoutMs();
        if (untilBus >= 0) timeout = timeout < 0 ? untilBus : std::min(timeout, untilBus);
    } else if (x_->fileDialog) {
        const int output = x_->fileDialog->outputFd();
        if (output >= 0)
            watched[count++] = pollfd{output, POLLIN, 0};
        else // its output has ended; the exit follows closely
            timeout = timeout < 0 ? kDialogExitPollMs : std::min(timeout, kDialogExitPollMs);
    }
    const bool ready = ::poll(watched, count, timeout) > 0;
    if (ready && (watched[1].revents & POLLIN)) {
        uint64_t wakes = 0;
        while (::read(x_->wakeFd, &wakes, sizeof wakes) > 0) {
        }
    }
    serviceFileDialog();
    deliverPostedCloses();
    // A wake-up for a timer alone reads nothing from the server: nothing came.
    dispatchPending(ready && watched[0].revents != 0);
    x_->deliverEditEndings();
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

void setDisplayLostHandler(void (*handler)()) {
    displayLostHandler.store(handler);
}
