#include "Offscreen.h"
#include "X11Internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>

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
                                    &window.shm, unsigned(window.request.width), unsigned(window.request.height));
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
                                 unsigned(window.request.width), unsigned(window.request.height), 32, 0);
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
    for (const PixelRect& r : solid)
        rectangles.push_back(XRectangle{short(r.left), short(r.top), static_cast<unsigned short>(r.right - r.left),
                                        static_cast<unsigned short>(r.bottom - r.top)});
    // Holes let clicks through as well as showing what is behind.
    for (int kind : {ShapeBounding, ShapeInput})
        XShapeCombineRectangles(state.display, window.id, kind, 0, 0, rectangles.data(), int(rectangles.size()),
                                ShapeSet, YXBanded);
}

} // namespace

X11Window* X11State::makeWindow(const WindowRequest& request, WindowHandler* handler) {
    if (request.width <= 0 || request.height <= 0 || request.width > 8192 || request.height > 8192)
        return nullptr;
    auto window = std::make_unique<X11Window>();
    window->request = request;
    window->handler = handler;

    XSetWindowAttributes attributes{};
    attributes.background_pixmap = 0; // keep what is there until the first present: no flash
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask;
    attributes.colormap = XCreateColormap(display, root, visual, AllocNone);
    bool created = trapErrors([&] {
        window->id = XCreateWindow(display, root, 0, 0, unsigned(request.width), unsigned(request.height), 0, depth,
                                   InputOutput, visual, CWBackPixmap | CWEventMask | CWColormap, &attributes);
    });
    if (!created || !window->id)
        return nullptr;
    window->gc = XCreateGC(display, window->id, 0, nullptr);

    XStoreName(display, window->id, request.title.c_str());
    XChangeProperty(display, window->id, atoms.netWmName, atoms.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(request.title.data()), int(request.title.size()));
    std::string instanceName = "quorix-updater";
    XClassHint classHint{instanceName.data(), const_cast<char*>(request.className.c_str())};
    XSetClassHint(display, window->id, &classHint);
    Atom protocols[] = {atoms.wmDeleteWindow};
    XSetWMProtocols(display, window->id, protocols, 1);

    // Motif hints: flags = decorations, decorations = none.
    const long motif[5] = {2, 0, 0, 0, 0};
    XChangeProperty(display, window->id, atoms.motifWmHints, atoms.motifWmHints, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(motif), 5);
    // A fixed size; the position is the program's (it keeps the window on screen itself).
    XSizeHints* size = XAllocSizeHints();
    size->flags = PPosition | USPosition | PMinSize | PMaxSize;
    size->min_width = size->max_width = request.width;
    size->min_height = size->max_height = request.height;
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
    window.destroyed = true;
    window.handler = nullptr;
    {
        std::lock_guard<std::mutex> lock(postedLock);
        postedCloses.erase(std::remove(postedCloses.begin(), postedCloses.end(), &window), postedCloses.end());
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
    if (!image.pixels || image.width <= 0 || image.height <= 0)
        return;
    const int left = std::max(rect.left, 0), top = std::max(rect.top, 0);
    const int right = std::min({rect.right, image.width, window.request.width});
    const int bottom = std::min({rect.bottom, image.height, window.request.height});
    if (left >= right || top >= bottom)
        return;
    if (!window.image && !makeImage(*this, window))
        return;

    XImage* target = window.image;
    // The DIB's B, G, R, A bytes are already the pixel of a little-endian 24/32-bit TrueColor visual.
    const bool direct = target->bits_per_pixel == 32 && target->byte_order == LSBFirst &&
                        target->red_mask == 0xFF0000 && target->green_mask == 0xFF00 && target->blue_mask == 0xFF;
    for (int y = top; y < bottom; ++y) {
        const uint8_t* source = image.pixels + image.rowBytes * size_t(image.height - 1 - y) + size_t(left) * 4;
        if (direct) {
            uint8_t* out = reinterpret_cast<uint8_t*>(target->data) + size_t(y) * size_t(target->bytes_per_line) +
                           size_t(left) * 4;
            std::memcpy(out, source, size_t(right - left) * 4);
            if (depth == 32) // an ARGB visual: the window is opaque
                for (int x = left; x < right; ++x, out += 4)
                    out[3] = 0xFF;
            continue;
        }
        for (int x = left; x < right; ++x, source += 4)
            XPutPixel(target, x, y,
                      toField(source[2], target->red_mask) | toField(source[1], target->green_mask) |
                          toField(source[0], target->blue_mask));
    }

    if (shapes && window.mask.update(image, PixelRect{left, top, right, bottom}, window.request.colourKey))
        applyShape(*this, window);

    const unsigned width = unsigned(right - left), height = unsigned(bottom - top);
    if (window.shared) {
        XShmPutImage(display, window.id, window.gc, target, left, top, left, top, width, height, False);
        XSync(display, False); // the server reads the segment before the next present writes it
    } else {
        XPutImage(display, window.id, window.gc, target, left, top, left, top, width, height);
        XFlush(display);
    }
}
