// The backend's own one-line editor over a field of a window: the program's text,
// all selected; Enter commits, Escape abandons, a press elsewhere or the window
// losing the focus commits.
#include "X11Platform.h"

#include "X11State.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include <X11/Xatom.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

namespace {

constexpr int kMinWidth = 16, kMinHeight = 17; // room for a character and the border
constexpr int kMaxSide = 4096;
constexpr int kMaxPosition = 8000;             // page pixels: at scale 4 still an X coordinate
constexpr int kMaxLength = 1024;
constexpr int kMinFontHeight = 4, kMaxFontHeight = 200;
constexpr int kPadding = 1;                    // between the border and the text
constexpr uint64_t kPasteLimitMs = 1000;
constexpr long kMaxPasteBytes = 64 * 1024;
constexpr int kMaxTypedBytes = 4096;
constexpr unsigned kButtonLeft = 1, kButtonMiddle = 2, kButtonRight = 3;

constexpr uint32_t kBackground = 0xFFFFFF, kInk = 0x000000, kBorder = 0x000000;
constexpr uint32_t kHighlight = 0x0078D7, kHighlightInk = 0xFFFFFF;

uint32_t mix(uint32_t from, uint32_t to, unsigned amount) {
    uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const unsigned a = (from >> shift) & 0xFF, b = (to >> shift) & 0xFF;
        result |= uint32_t((a * (255 - amount) + b * amount + 127) / 255) << shift;
    }
    return result;
}

void inputMethodGone(XIM, XPointer client, XPointer) {
    auto* x = reinterpret_cast<X11State*>(client);
    x->inputMethod = nullptr; // Xlib has freed it and its contexts
    x->inputMethodTried = false;
    for (auto& entry : x->editPopups)
        entry.second->inputContext = nullptr;
}

XIC makeInputContext(X11State& x, Window window) {
    if (!x.inputMethodTried) {
        x.inputMethodTried = true;
        // The user's input method (XMODIFIERS) first, else Xlib's own.
        if (XSetLocaleModifiers(""))
            x.inputMethod = XOpenIM(x.display, nullptr, nullptr, nullptr);
        if (!x.inputMethod && XSetLocaleModifiers("@im=none"))
            x.inputMethod = XOpenIM(x.display, nullptr, nullptr, nullptr);
        if (x.inputMethod) {
            XIMCallback destroyed{reinterpret_cast<XPointer>(&x), inputMethodGone};
            XSetIMValues(x.inputMethod, XNDestroyCallback, &destroyed, nullptr);
        }
    }
    if (!x.inputMethod)
        return nullptr;
    XIMStyles* styles = nullptr;
    if (XGetIMValues(x.inputMethod, XNQueryInputStyle, &styles, nullptr) || !styles)
        return nullptr;
    // The popup draws no preedit: the input method shows its own, if any.
    XIMStyle chosen = 0;
    for (XIMStyle wanted : {XIMStyle(XIMPreeditNothing | XIMStatusNothing), XIMStyle(XIMPreeditNone | XIMStatusNone)})
        for (unsigned i = 0; !chosen && i < styles->count_styles; ++i)
            if (styles->supported_styles[i] == wanted)
                chosen = wanted;
    XFree(styles);
    if (!chosen)
        return nullptr;
    return XCreateIC(x.inputMethod, XNInputStyle, chosen, XNClientWindow, window, XNFocusWindow, window, nullptr);
}

void showPopup(X11State& x, const X11EditPopup& popup) {
    XPutImage(x.display, popup.id, popup.gc, popup.image, 0, 0, 0, 0, unsigned(popup.width * popup.scale),
              unsigned(popup.height * popup.scale));
    XFlush(x.display);
}

// Lays the text out (scrolled so that the caret shows), draws it in page pixels and
// shows it enlarged to the popup's scale.
void drawPopup(X11State& x, X11EditPopup& popup) {
    const EditLine& line = popup.line;
    const std::string shown = popup.password ? std::string(line.text().size(), '*') : line.text();
    const int boxHeight = popup.height - 2;
    RenderedLine text = x.textRenderer->renderLine(shown, popup.fontHeight, boxHeight);
    text.edges.resize(shown.size() + 1, text.edges.empty() ? 0 : text.edges.back());
    if (text.width < 0 || text.height < 0 || text.coverage.size() != size_t(text.width) * size_t(text.height))
        text.width = text.height = 0;
    popup.edges = text.edges;

    const int areaLeft = 1 + kPadding, area = popup.width - 2 * (1 + kPadding);
    const int content = popup.edges.back(), caretAt = popup.edges[line.caret()];
    if (content < area) {
        popup.scroll = 0;
        const int room = area - 1 - content; // the caret after the last character stays inside
        popup.textLeft = areaLeft + (popup.align == EditPopupRequest::Align::Left     ? 0
                                     : popup.align == EditPopupRequest::Align::Centre ? room / 2
                                                                                      : room);
    } else {
        popup.scroll = std::clamp(popup.scroll, caretAt - (area - 1), caretAt);
        popup.scroll = std::clamp(popup.scroll, 0, content - area + 1);
        popup.textLeft = areaLeft - popup.scroll;
    }

    const int width = popup.width, height = popup.height;
    std::vector<uint32_t> picture(size_t(width) * size_t(height), kBorder);
    const int selectedLeft = line.hasSelection() ? popup.textLeft + popup.edges[line.selectionStart()] : 0;
    const int selectedRight = line.hasSelection() ? popup.textLeft + popup.edges[line.selectionEnd()] : 0;
    for (int y = 1; y < height - 1; ++y)
        for (int x0 = 1; x0 < width - 1; ++x0) {
            const bool selected = x0 >= selectedLeft && x0 < selectedRight;
            const int inkX = x0 - popup.textLeft + text.origin, inkY = y - 1;
            const unsigned ink = inkX >= 0 && inkX < text.width && inkY < text.height
                                     ? text.coverage[size_t(inkY) * size_t(text.width) + size_t(inkX)]
                                     : 0;
            picture[size_t(y) * size_t(width) + size_t(x0)] =
                mix(selected ? kHighlight : kBackground, selected ? kHighlightInk : kInk, ink);
        }
    // The caret: one column at the pen position, inverted, a little taller than the text.
    const int caretX = std::clamp(popup.textLeft + caretAt, 1, width - 2);
    const int caretHeight = std::min(popup.fontHeight + 2, boxHeight);
    const int caretTop = 1 + (boxHeight - caretHeight) / 2;
    for (int y = caretTop; y < caretTop + caretHeight; ++y) {
        uint32_t& pixel = picture[size_t(y) * size_t(width) + size_t(caretX)];
        pixel = ~pixel & 0xFFFFFF;
    }

    const int s = popup.scale;
    for (int y = 0; y < height; ++y)
        for (int x0 = 0; x0 < width; ++x0) {
            const uint32_t rgb = picture[size_t(y) * size_t(width) + size_t(x0)];
            const unsigned long value = visualPixel(*popup.image, uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
            for (int dy = 0; dy < s; ++dy)
                for (int dx = 0; dx < s; ++dx)
                    XPutPixel(popup.image, x0 * s + dx, y * s + dy, value);
        }
    showPopup(x, popup);
}

// The caret position nearest to x (popup page pixels).
size_t positionAt(const X11EditPopup& popup, int x) {
    size_t best = 0;
    int bestDistance = INT_MAX;
    for (size_t i = 0; i < popup.edges.size(); ++i) {
        const int distance = std::abs(popup.textLeft + popup.edges[i] - x);
        if (distance < bestDistance)
            best = i, bestDistance = distance;
    }
    return best;
}

void requestPaste(X11State& x, X11EditPopup& popup, Atom selection, Time time) {
    const uint64_t now = x.nowMs();
    if (popup.pasting && now <= popup.pasteDeadline)
        return; // one at a time
    popup.pasting = true;
    popup.pasteSelection = selection;
    popup.pasteTarget = x.atoms.utf8String;
    popup.pasteTime = time;
    popup.pasteDeadline = now + kPasteLimitMs;
    XConvertSelection(x.display, selection, popup.pasteTarget, x.atoms.pasteProperty, popup.id, time);
    XFlush(x.display);
}

void pasteArrived(X11State& x, X11EditPopup& popup, const XSelectionEvent& answer) {
    Display* display = x.display;
    const bool late = x.nowMs() > popup.pasteDeadline;
    if (!popup.pasting || late || popup.ending || answer.selection != popup.pasteSelection ||
        answer.target != popup.pasteTarget) {
        if (answer.property)
            XDeleteProperty(display, popup.id, answer.property);
        if (late)
            popup.pasting = false;
        return;
    }
    if (!answer.property) {
        if (popup.pasteTarget == x.atoms.utf8String) { // an older owner may offer Latin-1 alone
            popup.pasteTarget = XA_STRING;
            XConvertSelection(display, popup.pasteSelection, XA_STRING, x.atoms.pasteProperty, popup.id,
                              popup.pasteTime);
            XFlush(display);
        } else {
            popup.pasting = false;
        }
        return;
    }
    popup.pasting = false;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    // The type first: an incremental transfer is far more than a field holds, and
    // deleting its property would start it.
    if (XGetWindowProperty(display, popup.id, answer.property, 0, 0, False, AnyPropertyType, &type, &format, &count,
                           &after, &data) != Success)
        return;
    if (data)
        XFree(data);
    data = nullptr;
    if (type == x.atoms.incr)
        return;
    if (format != 8 || (type != x.atoms.utf8String && type != XA_STRING)) {
        XDeleteProperty(display, popup.id, answer.property);
        return;
    }
    if (XGetWindowProperty(display, popup.id, answer.property, 0, kMaxPasteBytes / 4, True, type, &type, &format,
                           &count, &after, &data) != Success || !data)
        return;
    std::string bytes(reinterpret_cast<const char*>(data), format == 8 ? size_t(count) : 0);
    XFree(data);
    if (after)
        XDeleteProperty(display, popup.id, answer.property); // the part not read
    std::string text = type == x.atoms.utf8String ? latin1FromUtf8(bytes) : bytes;
    // Control characters stay as they came (the program makes them spaces); a NUL
    // would end the text early.
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    if (popup.line.insert(text))
        drawPopup(x, popup);
}

void popupKey(X11State& x, X11EditPopup& popup, XKeyEvent& key) {
    if (popup.ending)
        return;
    KeySym symbol = NoSymbol;
    std::string typed;
    char buffer[64];
    if (popup.inputContext) {
        Status status = 0;
        int length = Xutf8LookupString(popup.inputContext, &key, buffer, int(sizeof buffer), &symbol, &status);
        std::vector<char> larger;
        const char* chars = buffer;
        if (status == XBufferOverflow && length > 0 && length <= kMaxTypedBytes) {
            larger.resize(size_t(length));
            length = Xutf8LookupString(popup.inputContext, &key, larger.data(), length, &symbol, &status);
            chars = larger.data();
        }
        if ((status == XLookupChars || status == XLookupBoth) && length > 0)
            typed = latin1FromUtf8(std::string_view(chars, size_t(length))); // others are refused
        if (status != XLookupKeySym && status != XLookupBoth)
            symbol = NoSymbol;
    } else {
        // Without an input method: Latin-1 keys give their Latin-1 character.
        const int length = XLookupString(&key, buffer, int(sizeof buffer), &symbol, nullptr);
        typed.assign(buffer, size_t(std::clamp(length, 0, int(sizeof buffer))));
    }

    const bool shift = (key.state & ShiftMask) != 0, control = (key.state & ControlMask) != 0;
    using Move = EditLine::Move;
    EditLine& line = popup.line;
    bool changed = true;
    switch (symbol) {
    case XK_Return:
    case XK_KP_Enter:
        popup.ending = WindowEvent::EditEnding::Commit;
        return;
    case XK_Escape:
        popup.ending = WindowEvent::EditEnding::Abandon;
        return;
    case XK_Left:
    case XK_KP_Left:
        line.move(Move::Left, shift);
        break;
    case XK_Right:
    case XK_KP_Right:
        line.move(Move::Right, shift);
        break;
    case XK_Home:
    case XK_KP_Home:
        line.move(Move::Home, shift);
        break;
    case XK_End:
    case XK_KP_End:
        line.move(Move::End, shift);
        break;
    case XK_BackSpace:
        changed = line.eraseBackward();
        break;
    case XK_Delete:
    case XK_KP_Delete:
        changed = line.eraseForward();
        break;
    case XK_Insert:
    case XK_KP_Insert:
        if (shift)
            requestPaste(x, popup, x.atoms.clipboard, key.time);
        return;
    default:
        if (control) {
            if (symbol == XK_a || symbol == XK_A)
                line.selectAll();
            else if (symbol == XK_v || symbol == XK_V)
                requestPaste(x, popup, x.atoms.clipboard, key.time);
            changed = symbol == XK_a || symbol == XK_A;
            break;
        }
        // Tab and the like type nothing.
        typed.erase(std::remove_if(typed.begin(), typed.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; }),
                    typed.end());
        changed = !typed.empty() && line.insert(typed);
        break;
    }
    if (changed)
        drawPopup(x, popup);
}

void popupEvent(X11State& x, X11EditPopup& popup, XEvent& event) {
    switch (event.type) {
    case Expose:
        if (event.xexpose.count == 0)
            showPopup(x, popup);
        break;
    case KeyPress:
        popupKey(x, popup, event.xkey);
        break;
    case ButtonPress: {
        const XButtonEvent& press = event.xbutton;
        if (popup.ending || (press.button != kButtonLeft && press.button != kButtonMiddle))
            break;
        const size_t at = positionAt(popup, pageCoordinate(press.x, popup.scale));
        const bool left = press.button == kButtonLeft;
        popup.line.moveTo(at, left && (press.state & ShiftMask));
        popup.dragging = left;
        drawPopup(x, popup);
        if (!left) // the middle button pastes what is selected anywhere
            requestPaste(x, popup, XA_PRIMARY, press.time);
        break;
    }
    case MotionNotify:
        if (popup.dragging && !popup.ending) {
            const size_t at = positionAt(popup, pageCoordinate(event.xmotion.x, popup.scale));
            if (at != popup.line.caret()) {
                popup.line.moveTo(at, true);
                drawPopup(x, popup);
            }
        }
        break;
    case ButtonRelease:
        if (event.xbutton.button == kButtonLeft)
            popup.dragging = false;
        break;
    case SelectionNotify:
        pasteArrived(x, popup, event.xselection);
        break;
    default:
        break;
    }
}

} // namespace

bool X11State::editPopupEvent(XEvent& event) {
    if (editPopups.empty())
        return false;
    for (auto& entry : editPopups) {
        X11EditPopup& popup = *entry.second;
        if (popup.id != event.xany.window)
            continue;
        const bool pointer = event.type == ButtonPress || event.type == ButtonRelease || event.type == MotionNotify;
        if (!pointer || !captured || captured->id != popup.ownerId || popup.dragging) {
            if (event.type == ButtonPress && event.xbutton.button <= kButtonRight)
                for (auto& other : editPopups) // the focus moves into this one
                    if (other.second.get() != &popup && !other.second->ending)
                        other.second->ending = WindowEvent::EditEnding::FocusLost;
            popupEvent(*this, popup, event);
            return true;
        }
        // The program holds the mouse: the window it captured gets it, in its own coordinates.
        if (event.type == MotionNotify) {
            event.xmotion.window = popup.ownerId;
            event.xmotion.x += popup.offsetX, event.xmotion.y += popup.offsetY;
        } else {
            event.xbutton.window = popup.ownerId;
            event.xbutton.x += popup.offsetX, event.xbutton.y += popup.offsetY;
        }
        break;
    }

    switch (event.type) {
    case KeyPress:
    case KeyRelease:
        // The keys of a window with a popup are the popup's.
        for (auto& entry : editPopups)
            if (entry.second->ownerId == event.xany.window) {
                if (event.type == KeyPress)
                    popupKey(*this, *entry.second, event.xkey);
                return true;
            }
        break;
    case ButtonPress:
        if (event.xbutton.button >= kButtonLeft && event.xbutton.button <= kButtonRight) // not the wheel
            for (auto& entry : editPopups)
                if (!entry.second->ending)
                    entry.second->ending = WindowEvent::EditEnding::FocusLost;
        break;
    case FocusOut:
        if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab ||
            event.xfocus.detail == NotifyPointer || event.xfocus.detail == NotifyInferior)
            break;
        for (auto& entry : editPopups) {
            X11EditPopup& popup = *entry.second;
            if (popup.ownerId == event.xfocus.window && event.xfocus.serial >= popup.focusSerial && !popup.ending)
                popup.ending = WindowEvent::EditEnding::FocusLost;
        }
        break;
    default:
        break;
    }
    return false;
}

void X11State::deliverEditEndings() {
    std::vector<std::pair<X11Window*, WindowEvent>> ended;
    for (auto it = editPopups.begin(); it != editPopups.end();) {
        X11Window* owner = it->first;
        const std::optional<WindowEvent::EditEnding> how = it->second->ending;
        ++it; // dropping the popup below takes its entry
        if (!how)
            continue;
        WindowEvent event;
        event.kind = WindowEvent::Kind::EditEnded;
        event.editEnding = *how;
        event.text = dropEditPopup(owner).value_or(std::string());
        ended.emplace_back(owner, std::move(event));
    }
    // After the loop: a handler may open the next popup.
    for (const auto& [owner, event] : ended)
        deliver(owner, event);
}

std::optional<std::string> X11State::dropEditPopup(X11Window* owner) {
    const auto it = editPopups.find(owner);
    if (it == editPopups.end())
        return std::nullopt;
    const std::unique_ptr<X11EditPopup> popup = std::move(it->second);
    editPopups.erase(it);
    if (popup->inputContext) {
        XUnsetICFocus(popup->inputContext);
        XDestroyIC(popup->inputContext);
    }
    if (popup->image)
        XDestroyImage(popup->image); // and its pixels
    if (popup->gc)
        XFreeGC(display, popup->gc);
    XDestroyWindow(display, popup->id);
    XFlush(display);
    return popup->line.text();
}

bool X11Platform::openEditPopup(PlatformWindow* window, const EditPopupRequest& request) {
    X11Window* owner = x_->live(window);
    if (!owner || !x_->textRenderer)
        return false;
    x_->dropEditPopup(owner); // a second one ends the first unanswered
    X11Window* top = owner->parent ? owner->parent : owner;
    Display* display = x_->display;
    const int s = top->scale;
    const PixelRect& r = request.rect;
    // No larger than the window it edits in (the pixels are drawn one by one).
    const int width = int(std::clamp<int64_t>(int64_t(r.right) - r.left, kMinWidth,
                                              std::max(kMinWidth, std::min(top->request.width, kMaxSide))));
    const int height = int(std::clamp<int64_t>(int64_t(r.bottom) - r.top, kMinHeight,
                                               std::max(kMinHeight, std::min(top->request.height, kMaxSide))));
    const int left = std::clamp(r.left, -kMaxPosition, kMaxPosition) * s;
    const int topEdge = std::clamp(r.top, -kMaxPosition, kMaxPosition) * s;
    Window child = 0;
    int screenX = 0, screenY = 0;
    if (!XTranslateCoordinates(display, top->id, x_->root, left, topEdge, &screenX, &screenY, &child))
        return false;

    auto popup = std::make_unique<X11EditPopup>(request.text.substr(0, request.text.find('\0')),
                                                size_t(std::clamp(request.maxLength, 1, kMaxLength)));
    popup->ownerId = top->id;
    popup->offsetX = left, popup->offsetY = topEdge;
    popup->scale = s;
    popup->width = width, popup->height = height;
    popup->fontHeight = std::clamp(request.fontHeight, kMinFontHeight, kMaxFontHeight);
    popup->password = request.password;
    popup->align = request.align;

    if (!x_->textCursor)
        x_->textCursor = XCreateFontCursor(display, XC_xterm);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True; // no frame, no window manager's placement
    attributes.background_pixel = WhitePixel(display, x_->screen);
    attributes.border_pixel = 0;
    attributes.event_mask =
        ExposureMask | ButtonPressMask | ButtonReleaseMask | Button1MotionMask | KeyPressMask | KeyReleaseMask;
    attributes.cursor = x_->textCursor;
    const bool created = x_->trapErrors([&] {
        popup->id = XCreateWindow(display, x_->root, std::clamp(screenX, -32768, 32767),
                                  std::clamp(screenY, -32768, 32767), unsigned(width * s), unsigned(height * s), 0,
                                  CopyFromParent, InputOutput, CopyFromParent,
                                  CWOverrideRedirect | CWBackPixel | CWBorderPixel | CWEventMask | CWCursor,
                                  &attributes);
    });
    if (!created || !popup->id)
        return false;
    x_->markOwnProcess(popup->id);
    popup->gc = XCreateGC(display, popup->id, 0, nullptr);
    popup->image = XCreateImage(display, x_->visual, unsigned(x_->depth), ZPixmap, 0, nullptr, unsigned(width * s),
                                unsigned(height * s), 32, 0);
    if (popup->image) {
        popup->image->data = static_cast<char*>(
            std::calloc(size_t(popup->image->bytes_per_line), size_t(popup->image->height)));
        if (!popup->image->data) {
            XDestroyImage(popup->image);
            popup->image = nullptr;
        }
    }
    popup->inputContext = makeInputContext(*x_, top->id);
    X11EditPopup& opened = *popup;
    x_->editPopups[owner] = std::move(popup);
    if (!opened.image) {
        x_->dropEditPopup(owner);
        return false;
    }
    drawPopup(*x_, opened);
    XMapRaised(display, opened.id);
    // Typing goes to the owner's window, and on to the popup from there.
    opened.focusSerial = NextRequest(display);
    x_->trapErrors([&] { XSetInputFocus(display, top->id, RevertToParent, CurrentTime); });
    if (opened.inputContext)
        XSetICFocus(opened.inputContext);
    XFlush(display);
    return true;
}

std::optional<std::string> X11Platform::closeEditPopup(PlatformWindow* window) {
    return x_->dropEditPopup(x_->live(window));
}

std::optional<std::string> X11Platform::editPopupText(PlatformWindow* window) {
    const auto it = x_->editPopups.find(x_->live(window));
    if (it == x_->editPopups.end())
        return std::nullopt;
    return it->second->line.text();
}

void X11Platform::setTextRenderer(TextRenderer* renderer) {
    x_->textRenderer = renderer;
}

unsigned long X11Platform::editPopupWindow(PlatformWindow* window) const {
    const auto it = x_->editPopups.find(x_->live(window));
    return it == x_->editPopups.end() ? 0 : it->second->id;
}

bool X11Platform::readEditPopupPixels(PlatformWindow* window, std::vector<uint32_t>& pixels, int& width,
                                      int& height) {
    const auto it = x_->editPopups.find(x_->live(window));
    if (it == x_->editPopups.end())
        return false;
    const X11EditPopup& popup = *it->second;
    width = popup.width * popup.scale, height = popup.height * popup.scale;
    return x_->readPixels(popup.id, width, height, pixels);
}
