#include "X11Platform.h"

#include "KeyTranslation.h"
#include "X11State.h"

#include <algorithm>
#include <cstdlib>

#include <X11/XKBlib.h>
#include <X11/keysym.h>
#include <X11/Xatom.h>

namespace {

constexpr unsigned kDoubleClickMs = 500;
constexpr int kDoubleClickDistance = 4;
constexpr int kButtonLeft = 1, kButtonRight = 3, kWheelUp = 4, kWheelDown = 5;

WindowEvent mouseEvent(const X11Window& window, WindowEvent::Button button, int x, int y, int rootX, int rootY,
                       unsigned state) {
    WindowEvent event;
    event.kind = WindowEvent::Kind::Mouse;
    event.button = button;
    event.x = pageCoordinate(x, window.scale), event.y = pageCoordinate(y, window.scale);
    event.screenX = rootX, event.screenY = rootY;
    event.shift = (state & ShiftMask) != 0;
    event.control = (state & ControlMask) != 0;
    return event;
}

} // namespace

void X11Platform::dispatchPending(bool readSocket) {
    Display* display = x_->display;
    const X11Atoms& atoms = x_->atoms;
    while ((readSocket ? XPending(display) : XEventsQueued(display, QueuedAlready)) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (x_->inputMethod && XFilterEvent(&event, 0))
            continue; // the input method's own, or part of a composed character
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping); // a changed layout: keys look up anew
            continue;
        }
        if (x_->editPopupEvent(event))
            continue;
        X11Window* window = x_->byId(event.xany.window);
        if (!window)
            continue;
        X11Window* input = X11State::inputOf(window); // the editor's window covers it all
        switch (event.type) {
        case Expose: {
            WindowEvent paint;
            paint.kind = WindowEvent::Kind::Paint;
            const int s = window->scale; // page pixels that cover the exposed screen pixels
            paint.paint = PixelRect{pageCoordinate(event.xexpose.x, s), pageCoordinate(event.xexpose.y, s),
                                    pageCoordinate(event.xexpose.x + event.xexpose.width + s - 1, s),
                                    pageCoordinate(event.xexpose.y + event.xexpose.height + s - 1, s)};
            x_->deliver(input, paint);
            break;
        }
        case ButtonPress: {
            const XButtonEvent& press = event.xbutton;
            if (press.button == kWheelUp || press.button == kWheelDown) {
                WindowEvent wheel = mouseEvent(*window, WindowEvent::Button::Wheel, press.x, press.y, 0, 0, press.state);
                wheel.wheelDelta = press.button == kWheelUp ? 120 : -120;
                x_->deliver(input, wheel);
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
            x_->deliver(input, mouseEvent(*window, button, press.x, press.y, press.x_root, press.y_root, press.state));
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
            x_->deliver(input, mouseEvent(*window, button, release.x, release.y, release.x_root, release.y_root,
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
            x_->deliver(input, mouseEvent(*window, WindowEvent::Button::Move, motion.x, motion.y, motion.x_root,
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
            x_->deliver(input, keyEvent);
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
