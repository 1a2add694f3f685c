#include "X11DropSource.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

struct X11DropSourceState {
    Display* display = nullptr;
    Window window = 0, target = 0;
    std::string data;
    Atom selection = 0, uriList = 0, copy = 0, typeList = 0;
    Atom enter = 0, position = 0, status = 0, dropped = 0, finished = 0;

    void send(Atom type, long l1, long l2, long l3, long l4) {
        XEvent message{};
        message.xclient.type = ClientMessage;
        message.xclient.window = target;
        message.xclient.message_type = type;
        message.xclient.format = 32;
        message.xclient.data.l[0] = long(window);
        message.xclient.data.l[1] = l1;
        message.xclient.data.l[2] = l2;
        message.xclient.data.l[3] = l3;
        message.xclient.data.l[4] = l4;
        XSendEvent(display, target, False, NoEventMask, &message);
        XFlush(display);
    }
};

std::unique_ptr<X11DropSource> X11DropSource::open() {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    auto state = std::make_unique<X11DropSourceState>();
    state->display = display;
    state->window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    auto atom = [display](const char* name) { return XInternAtom(display, name, False); };
    state->selection = atom("XdndSelection");
    state->uriList = atom("text/uri-list");
    state->copy = atom("XdndActionCopy");
    state->typeList = atom("XdndTypeList");
    state->enter = atom("XdndEnter");
    state->position = atom("XdndPosition");
    state->status = atom("XdndStatus");
    state->dropped = atom("XdndDrop");
    state->finished = atom("XdndFinished");
    return std::unique_ptr<X11DropSource>(new X11DropSource(std::move(state)));
}

X11DropSource::X11DropSource(std::unique_ptr<X11DropSourceState> state) : x_(std::move(state)) {}

X11DropSource::~X11DropSource() {
    XDestroyWindow(x_->display, x_->window);
    XCloseDisplay(x_->display);
}

void X11DropSource::enter(unsigned long target, const std::vector<std::string>& types, std::string data,
                          int rootX, int rootY) {
    x_->target = Window(target);
    x_->data = std::move(data);
    std::vector<Atom> atoms;
    for (const std::string& type : types)
        atoms.push_back(XInternAtom(x_->display, type.c_str(), False));
    XSetSelectionOwner(x_->display, x_->selection, x_->window, CurrentTime);
    const bool listed = atoms.size() > 3;
    if (listed)
        XChangeProperty(x_->display, x_->window, x_->typeList, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(atoms.data()), int(atoms.size()));
    atoms.resize(3, 0);
    x_->send(x_->enter, 5L << 24 | (listed ? 1 : 0), long(listed ? 0 : atoms[0]), long(listed ? 0 : atoms[1]),
             long(listed ? 0 : atoms[2]));
    x_->send(x_->position, 0, long(rootX) << 16 | rootY, CurrentTime, long(x_->copy));
}

void X11DropSource::drop() {
    x_->send(x_->dropped, 0, CurrentTime, 0, 0);
}

void X11DropSource::step() {
    Display* display = x_->display;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == ClientMessage && event.xclient.message_type == x_->status) {
            statusSeen = true;
            accepted = event.xclient.data.l[1] & 1;
            actionCopy = Atom(event.xclient.data.l[4]) == x_->copy;
        } else if (event.type == ClientMessage && event.xclient.message_type == x_->finished) {
            finished = true;
            finishedSuccess = event.xclient.data.l[1] & 1;
        } else if (event.type == SelectionRequest) {
            const XSelectionRequestEvent& request = event.xselectionrequest;
            XEvent reply{};
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = request.requestor;
            reply.xselection.selection = request.selection;
            reply.xselection.target = request.target;
            reply.xselection.time = request.time;
            reply.xselection.property = 0;
            if (request.target == x_->uriList) {
                XChangeProperty(display, request.requestor, request.property, x_->uriList, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(x_->data.data()), int(x_->data.size()));
                reply.xselection.property = request.property;
            }
            XSendEvent(display, request.requestor, False, NoEventMask, &reply);
            XFlush(display);
        }
    }
}
