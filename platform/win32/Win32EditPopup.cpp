// The system's one-line editor over a field of a window: the program's text,
// all selected; Enter commits, Escape abandons, losing the focus commits.
#include "Win32Platform.h"

#include "Win32State.h"

#include <algorithm>

namespace {

constexpr const char* kPopupProperty = "Quorix.EditPopup";

LRESULT CALLBACK editProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* popup = static_cast<EditPopup*>(GetPropA(edit, kPopupProperty));
    if (!popup)
        return DefWindowProcA(edit, message, wParam, lParam);
    // Ended from the loop, not from inside the edit's own message.
    auto end = [popup](WindowEvent::EditEnding how) {
        if (popup->ending)
            return;
        popup->ending = true;
        popup->how = how;
        PostMessageA(popup->owner->handle, kEditEndMessage, 0, static_cast<LPARAM>(popup->serial));
    };
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS | CallWindowProcA(popup->original, edit, message, wParam, lParam);
    case WM_KEYDOWN:
        if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
            end(wParam == VK_RETURN ? WindowEvent::EditEnding::Commit : WindowEvent::EditEnding::Abandon);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == '\r' || wParam == 27)
            return 0; // handled as keys: no beep
        break;
    case WM_KILLFOCUS:
        end(WindowEvent::EditEnding::FocusLost);
        break;
    default:
        break;
    }
    return CallWindowProcA(popup->original, edit, message, wParam, lParam);
}

} // namespace

std::optional<std::string> Win32State::removeEditPopup(Win32Window* window) {
    auto it = editPopups.find(window);
    if (it == editPopups.end())
        return std::nullopt;
    std::unique_ptr<EditPopup> popup = std::move(it->second);
    editPopups.erase(it);
    popup->ending = true; // its losing the focus now is no answer
    std::string text(size_t(std::max(GetWindowTextLengthA(popup->edit), 0)) + 1, '\0');
    text.resize(size_t(std::max(GetWindowTextA(popup->edit, text.data(), int(text.size())), 0)));
    if (GetFocus() == popup->edit && !window->destroyed)
        SetFocus(window->handle);
    SetWindowLongPtrA(popup->edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(popup->original));
    RemovePropA(popup->edit, kPopupProperty);
    DestroyWindow(popup->edit);
    DeleteObject(popup->font);
    return text;
}

void Win32State::endEditPopup(Win32Window& window, uintptr_t serial) {
    auto it = editPopups.find(&window);
    if (it == editPopups.end() || it->second->serial != serial)
        return; // ended already, or closed by the program
    const WindowEvent::EditEnding how = it->second->how;
    const std::optional<std::string> text = removeEditPopup(&window);
    WindowEvent ended;
    ended.kind = WindowEvent::Kind::EditEnded;
    ended.editEnding = how;
    ended.text = text.value_or(std::string());
    deliver(&window, ended);
}

bool Win32Platform::openEditPopup(PlatformWindow* window, const EditPopupRequest& request) {
    Win32Window* owner = w_->live(window);
    if (!owner)
        return false;
    w_->removeEditPopup(owner); // a second one ends the first unanswered
    const int s = owner->scale;
    // Room for a character and the border, however small the field.
    const int width = std::max(request.rect.right - request.rect.left, 16) * s;
    const int height = std::max(request.rect.bottom - request.rect.top, 17) * s;
    POINT topLeft{request.rect.left * s, request.rect.top * s};
    ClientToScreen(owner->handle, &topLeft);
    DWORD style = WS_POPUP | WS_BORDER | ES_AUTOHSCROLL | ES_NOHIDESEL | (request.password ? ES_PASSWORD : 0);
    if (request.align == EditPopupRequest::Align::Centre)
        style |= ES_CENTER;
    else if (request.align == EditPopupRequest::Align::Right)
        style |= ES_RIGHT;
    HWND edit = CreateWindowExA(WS_EX_TOOLWINDOW, "EDIT", "", style, topLeft.x, topLeft.y, width, height,
                                GetAncestor(owner->handle, GA_ROOT), nullptr, w_->instance, nullptr);
    if (!edit)
        return false;
    auto popup = std::make_unique<EditPopup>();
    popup->edit = edit;
    popup->owner = owner;
    popup->serial = w_->nextPopupSerial++;
    popup->font = CreateFontA(-request.fontHeight * s, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                              "Arial");
    SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(popup->font), FALSE);
    const int limit = std::max(request.maxLength, 1);
    SendMessageA(edit, EM_LIMITTEXT, WPARAM(limit), 0);
    if (request.password)
        SendMessageA(edit, EM_SETPASSWORDCHAR, '*', 0);
    // The limit holds for typing only: a longer text is cut here.
    SetWindowTextA(edit, request.text.substr(0, size_t(limit)).c_str());
    SetPropA(edit, kPopupProperty, popup.get());
    popup->original =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editProcedure)));
    SendMessageA(edit, EM_SETSEL, 0, -1);
    ShowWindow(edit, SW_SHOW);
    SetFocus(edit);
    w_->editPopups[owner] = std::move(popup);
    return true;
}

std::optional<std::string> Win32Platform::closeEditPopup(PlatformWindow* window) {
    return w_->removeEditPopup(w_->live(window));
}

std::optional<std::string> Win32Platform::editPopupText(PlatformWindow* window) {
    auto it = w_->editPopups.find(w_->live(window));
    if (it == w_->editPopups.end())
        return std::nullopt;
    char text[256] = {};
    GetWindowTextA(it->second->edit, text, int(sizeof text));
    return std::string(text);
}

bool Win32Platform::editPopupOpen(PlatformWindow* window) const {
    return w_->editPopups.count(w_->live(window)) != 0;
}

void* Win32Platform::editPopupWindow(PlatformWindow* window) const {
    auto it = w_->editPopups.find(w_->live(window));
    return it == w_->editPopups.end() ? nullptr : it->second->edit;
}
