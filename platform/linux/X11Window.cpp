#include "PlatformGraphics.h"
#include "X11Platform.h"
#include "X11State.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/extensions/shape.h>

namespace {

constexpr int kIconResource = 107;

// _NET_WM_ICON's cardinals (width, height, then ARGB rows top-down) from the
// embedded 32-bit icon bitmap; empty when it is missing or not what it should be.
std::vector<unsigned long> iconCardinals() {
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!findBitmapResource(kIconResource, data, size) || size < 40)
        return {};
    auto le32 = [data](size_t at) {
        return int32_t(uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
                       uint32_t(data[at + 3]) << 24);
    };
    const int width = le32(4), height = le32(8);
    const int bitCount = data[14] | data[15] << 8;
    if (width <= 0 || width > 256 || height <= 0 || height > 256 || bitCount != 32 ||
        size < 40 + size_t(width) * size_t(height) * 4)
        return {};
    std::vector<unsigned long> cardinals{static_cast<unsigned long>(width), static_cast<unsigned long>(height)};
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = data + 40 + size_t(height - 1 - y) * size_t(width) * 4;
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = row + size_t(x) * 4;
            cardinals.push_back(static_cast<unsigned long>(p[3]) << 24 | static_cast<unsigned long>(p[2]) << 16 |
                                static_cast<unsigned long>(p[1]) << 8 | p[0]);
        }
    }
    return cardinals;
}

int componentShift(unsigned long mask) {
    int shift = 0;
    while (mask && !((mask >> shift) & 1))
        ++shift;
    return shift;
}

// Scales an 8-bit channel into the visual's field.
unsigned long toField(uint8_t value, unsigned long mask) {
    if (!mask)
        return 0;
    const int shift = componentShift(mask);
    const unsigned long max = mask >> shift;
    return ((value * max + 127) / 255) << shift;
}

bool attachSharedImage(X11State& state, X11Window& window) {
    XImage* image = XShmCreateImage(state.display, state.visual, unsigned(state.depth), ZPixmap, nullptr,
                                    &window.shm, unsigned(window.request.width * window.scale),
                                    unsigned(window.request.height * window.scale));
    if (!image)
        return false;
    window.shm.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * size_t(image->height),
                              IPC_CREAT | 0600);
    if (window.shm.shmid < 0) {
        XDestroyImage(image);
        return false;
    }
    window.shm.shmaddr = image->data = static_cast<char*>(shmat(window.shm.shmid, nullptr, 0));
    window.shm.readOnly = False;
    bool attached = window.shm.shmaddr != reinterpret_cast<char*>(-1) &&
                    state.trapErrors([&] { XShmAttach(state.display, &window.shm); });
    // Marked for removal now, so it goes with the process whatever happens later.
    shmctl(window.shm.shmid, IPC_RMID, nullptr);
    if (!attached) {
        if (window.shm.shmaddr != reinterpret_cast<char*>(-1))
            shmdt(window.shm.shmaddr);
        image->data = nullptr;
        XDestroyImage(image);
        window.shm = XShmSegmentInfo{};
        return false;
    }
    window.image = image;
    window.shared = true;
    return true;
}

bool makeImage(X11State& state, X11Window& window) {
    if (state.sharedMemory && attachSharedImage(state, window))
        return true;
    state.sharedMemory = false; // the server refused once: it will again
    XImage* image = XCreateImage(state.display, state.visual, unsigned(state.depth), ZPixmap, 0, nullptr,
                                 unsigned(window.request.width * window.scale),
                                 unsigned(window.request.height * window.scale), 32, 0);
    if (!image)
        return false;
    image->data = static_cast<char*>(std::calloc(size_t(image->bytes_per_line), size_t(image->height)));
    if (!image->data) {
        XDestroyImage(image);
        return false;
    }
    window.image = image;
    return true;
}

void applyShape(X11State& state, X11Window& window) {
    ++window.shapeUpdates;
    const std::vector<PixelRect> solid = window.mask.solidRectangles();
    std::vector<XRectangle> rectangles;
    rectangles.reserve(solid.size());
    const int s = window.scale;
    for (const PixelRect& r : solid)
        rectangles.push_back(XRectangle{short(r.left * s), short(r.top * s),
                                        static_cast<unsigned short>((r.right - r.left) * s),
                                        static_cast<unsigned short>((r.bottom - r.top) * s)});
    // Holes let clicks through as well as showing what is behind.
    for (int kind : {ShapeBounding, ShapeInput})
        XShapeCombineRectangles(state.display, window.id, kind, 0, 0, rectangles.data(), int(rectangles.size()),
                                ShapeSet, YXBanded);
}

} // namespace

unsigned long visualPixel(const XImage& image, uint8_t red, uint8_t green, uint8_t blue) {
    return toField(red, image.red_mask) | toField(green, image.green_mask) | toField(blue, image.blue_mask);
}

void X11State::markOwnProcess(Window id) {
    char host[256] = {};
    // A pid means nothing without the machine it belongs to: both or neither.
    if (gethostname(host, sizeof host - 1) != 0 || !host[0])
        return;
    XChangeProperty(display, id, XA_WM_CLIENT_MACHINE, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(host), int(std::strlen(host)));
    const unsigned long pid = static_cast<unsigned long>(getpid());
    XChangeProperty(display, id, atoms.netWmPid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
}

X11Window* X11State::makeWindow(const WindowRequest& request, WindowHandler* handler) {
    if (request.width <= 0 || request.height <= 0 || request.width > 8192 || request.height > 8192)
        return nullptr;
    auto window = std::make_unique<X11Window>();
    window->request = request;
    window->handler = handler;
    if (request.parent) {
        X11Window* parent = live(request.parent);
        if (!parent || parent->parent || (parent->child && !parent->child->destroyed))
            return nullptr; // one child per top-level window
        window->parent = parent;
        window->id = parent->id;
        window->scale = parent->scale;
        window->request.colourKey = parent->request.colourKey;
        parent->child = window.get();
        windows.push_back(std::move(window));
        return windows.back().get();
    }

    XSetWindowAttributes attributes{};
    attributes.background_pixmap = 0; // keep what is there until the first present: no flash
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask;
    attributes.colormap = XCreateColormap(display, root, visual, AllocNone);
    window->scale = scale;
    const int screenWidth = request.width * scale, screenHeight = request.height * scale;
    bool created = trapErrors([&] {
        window->id = XCreateWindow(display, root, 0, 0, unsigned(screenWidth), unsigned(screenHeight), 0, depth,
                                   InputOutput, visual, CWBackPixmap | CWEventMask | CWColormap, &attributes);
    });
    if (!created || !window->id)
        return nullptr;
    window->gc = XCreateGC(display, window->id, 0, nullptr);

    XStoreName(display, window->id, request.title.c_str());
    XChangeProperty(display, window->id, atoms.netWmName, atoms.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(request.title.data()), int(request.title.size()));
    std::string instance = instanceName;
    XClassHint classHint{instance.data(), const_cast<char*>(request.className.c_str())};
    XSetClassHint(display, window->id, &classHint);
    markOwnProcess(window->id);
    Atom protocols[] = {atoms.wmDeleteWindow};
    XSetWMProtocols(display, window->id, protocols, 1);

    // Motif hints: flags = decorations, decorations = none.
    const long motif[5] = {2, 0, 0, 0, 0};
    XChangeProperty(display, window->id, atoms.motifWmHints, atoms.motifWmHints, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(motif), 5);
    // A fixed size; the position is the program's (it keeps the window on screen itself).
    XSizeHints* size = XAllocSizeHints();
    size->flags = PPosition | USPosition | PMinSize | PMaxSize;
    size->min_width = size->max_width = screenWidth;
    size->min_height = size->max_height = screenHeight;
    XSetWMNormalHints(display, window->id, size);
    XFree(size);
    XWMHints* hints = XAllocWMHints();
    hints->flags = InputHint | StateHint;
    hints->input = True;
    hints->initial_state = NormalState;
    XSetWMHints(display, window->id, hints);
    XFree(hints);

    const std::vector<unsigned long> icon = iconCardinals();
    if (!icon.empty())
        XChangeProperty(display, window->id, atoms.netWmIcon, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(icon.data()), int(icon.size()));
    if (request.acceptFiles) {
        const unsigned long version = 5;
        XChangeProperty(display, window->id, atoms.xdndAware, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&version), 1);
    }
    auto kind = cursors.find(cursorKind);
    if (cursorShown && kind != cursors.end())
        XDefineCursor(display, window->id, kind->second);
    else if (!cursorShown && invisibleCursor)
        XDefineCursor(display, window->id, invisibleCursor);

    window->mask.reset(request.width, request.height);
    XFreeColormap(display, attributes.colormap); // the window holds its own reference
    XFlush(display);
    windows.push_back(std::move(window));
    return windows.back().get();
}

void X11State::releaseWindow(X11Window& window) {
    // Its popups, and a child's, go with it unanswered.
    for (auto it = editPopups.begin(); it != editPopups.end();) {
        X11Window* owner = (it++)->first;
        if (owner == &window || owner->parent == &window)
            dropEditPopup(owner);
    }
    window.destroyed = true;
    window.handler = nullptr;
    {
        std::lock_guard<std::mutex> lock(postedLock);
        postedCloses.erase(std::remove(postedCloses.begin(), postedCloses.end(), &window), postedCloses.end());
    }
    if (window.parent) {
        if (window.parent->child == &window)
            window.parent->child = nullptr;
        return; // the OS window is the parent's
    }
    if (window.image) {
        if (window.shared) {
            XShmDetach(display, &window.shm);
            XSync(display, False);
            shmdt(window.shm.shmaddr);
            window.image->data = nullptr;
        }
        XDestroyImage(window.image);
        window.image = nullptr;
    }
    if (window.gc)
        XFreeGC(display, window.gc);
    XDestroyWindow(display, window.id);
    XFlush(display);
    window.gc = nullptr;
    window.mask = ShapeMask{};
}

void X11State::presentRect(X11Window& window, const PixelImage& image, const PixelRect& rect) {
    const PixelRect area =
        clipToImage(PixelRect{rect.left, rect.top, std::min(rect.right, window.request.width),
                              std::min(rect.bottom, window.request.height)},
                    image);
    if (area.right == 0)
        return;
    if (!window.image && !makeImage(*this, window))
        return;

    // At a scale above 1 the rectangle is enlarged first; then it is copied as is.
    const int s = window.scale;
    PixelImage source = image;
    PixelRect from = area; // in source pixels
    if (s > 1) {
        scaleImageRect(image, area, s, scaled);
        source = PixelImage{scaled.data(), (area.right - area.left) * s, (area.bottom - area.top) * s,
                            size_t(area.right - area.left) * size_t(s) * 4};
        from = PixelRect{0, 0, source.width, source.height};
    }
    const int left = area.left * s, top = area.top * s; // where it goes in the window
    const int width = from.right - from.left, height = from.bottom - from.top;

    XImage* target = window.image;
    // The DIB's B, G, R, A bytes are already the pixel of a little-endian 24/32-bit TrueColor visual.
    const bool direct = target->bits_per_pixel == 32 && target->byte_order == LSBFirst &&
                        target->red_mask == 0xFF0000 && target->green_mask == 0xFF00 && target->blue_mask == 0xFF;
    for (int row = 0; row < height; ++row) {
        const uint8_t* in = source.pixels + source.rowBytes * size_t(source.height - 1 - (from.top + row)) +
                            size_t(from.left) * 4;
        const int y = top + row;
        if (direct) {
            uint8_t* out = reinterpret_cast<uint8_t*>(target->data) + size_t(y) * size_t(target->bytes_per_line) +
                           size_t(left) * 4;
            std::memcpy(out, in, size_t(width) * 4);
            if (depth == 32) // an ARGB visual: the window is opaque
                for (int x = 0; x < width; ++x, out += 4)
                    out[3] = 0xFF;
            continue;
        }
        for (int x = 0; x < width; ++x, in += 4)
            XPutPixel(target, left + x, y, visualPixel(*target, in[2], in[1], in[0]));
    }

    if (shapes && window.mask.update(image, area, window.request.colourKey))
        applyShape(*this, window);

    if (window.shared) {
        XShmPutImage(display, window.id, window.gc, target, left, top, left, top, unsigned(width), unsigned(height),
                     False);
        XSync(display, False); // the server reads the segment before the next present writes it
    } else {
        XPutImage(display, window.id, window.gc, target, left, top, left, top, unsigned(width), unsigned(height));
        XFlush(display);
    }
}

// --- the platform's window operations ------------------------------------------

namespace {

constexpr int kButtonLeft = 1;

} // namespace

void X11Platform::moveWindow(PlatformWindow* window, int x, int y) {
    if (X11Window* target = x_->live(window)) {
        XMoveWindow(x_->display, target->id, x, y);
        XFlush(x_->display);
    }
}

void X11Platform::windowSize(PlatformWindow* window, int& width, int& height) {
    width = height = 0;
    if (X11Window* target = x_->live(window))
        width = target->request.width * target->scale, height = target->request.height * target->scale;
}

void X11Platform::windowPosition(PlatformWindow* window, int& x, int& y) {
    x = y = 0;
    clientToScreen(window, x, y);
}

PlatformWindow* X11Platform::createWindow(const WindowRequest& request, WindowHandler* handler) {
    return x_->makeWindow(request, handler);
}

void X11Platform::destroyWindow(PlatformWindow* window) {
    X11Window* target = x_->live(window);
    if (!target)
        return;
    if (target->child && !target->child->destroyed)
        destroyWindow(target->child);
    x_->timers.forget(target);
    if (x_->captured == target) {
        XUngrabPointer(x_->display, CurrentTime);
        x_->captured = nullptr;
    }
    if (x_->dragged == target)
        x_->dragged = nullptr;
    if (x_->fileDialogOwner == target) closeFileDialog(); // unanswered
    x_->releaseWindow(*target);
}

void X11Platform::showWindow(PlatformWindow* window, ShowCommand command) {
    X11Window* target = x_->live(window);
    if (!target || target->parent)
        return; // a child shows with its parent
    if (command == ShowCommand::Minimised) {
        XWMHints* hints = XAllocWMHints();
        hints->flags = InputHint | StateHint;
        hints->input = True;
        hints->initial_state = IconicState;
        XSetWMHints(x_->display, target->id, hints);
        XFree(hints);
    }
    if (command == ShowCommand::NoActivate)
        XMapWindow(x_->display, target->id);
    else
        XMapRaised(x_->display, target->id);
    XFlush(x_->display);
}

void X11Platform::setFocus(PlatformWindow* window) {
    X11Window* target = x_->live(window);
    if (!target)
        return;
    // Only a mapped window can take the focus; a refusal is no fault.
    x_->trapErrors([&] { XSetInputFocus(x_->display, target->id, RevertToParent, CurrentTime); });
}

void X11Platform::present(PlatformWindow* window, const PixelImage& image, const PixelRect& rect) {
    if (X11Window* target = x_->live(window))
        x_->presentRect(target->parent ? *target->parent : *target, image, rect);
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

// --- checks ------------------------------------------------------------------

bool X11Platform::readWindowPixels(PlatformWindow* window, std::vector<uint32_t>& pixels) {
    X11Window* target = x_->live(window);
    return target && x_->readPixels(target->id, target->request.width * target->scale,
                                    target->request.height * target->scale, pixels);
}

bool X11State::readPixels(Window id, int width, int height, std::vector<uint32_t>& pixels) {
    XImage* image = nullptr;
    trapErrors([&] { image = XGetImage(display, id, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap); });
    if (!image)
        return false;
    pixels.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
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
            pixels[size_t(y) * size_t(width) + size_t(x)] =
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

int X11Platform::displayScale() const {
    return x_->scale;
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
