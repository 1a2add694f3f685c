#include "Win32Platform.h"

#include "PlatformHelpers.h"
#include "Win32State.h"
#include "WideText.h"

#include <cstring>

#include <commdlg.h>
#include <shellapi.h>

namespace {

constexpr DWORD kOpenFlags = OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                             OFN_SHAREAWARE | OFN_EXPLORER | OFN_ENABLESIZING;
constexpr int kFileNameBox = 1152;      // edt1
constexpr int kFileNameCombo = 1148;    // cmb13, where the system puts the name in a combo box
// Long paths (past MAX_PATH) come back whole from the wide dialog.
constexpr size_t kFileBufferSize = 32768;

HWND rootOf(Win32Window* window) {
    return window && !window->destroyed ? GetAncestor(window->handle, GA_ROOT) : nullptr;
}

// A dialog takes the mouse only once this program lets go of it.
void letGoOfMouse(Win32State& state) {
    if (state.captured) {
        state.captured = nullptr;
        ReleaseCapture();
    }
}

// Text number 2n of the filter list (counting from 1): entry n's pattern.
std::string filterPattern(const wchar_t* filter, DWORD entry) {
    if (!filter || entry == 0)
        return {};
    const wchar_t* text = filter;
    for (DWORD number = 1; *text; ++number) {
        if (number == 2 * entry)
            return utf8FromWide(text, wcslen(text));
        text += wcslen(text) + 1;
    }
    return {};
}

void centreOnScreen(HWND window) {
    RECT r{};
    if (!GetWindowRect(window, &r))
        return;
    const int width = r.right - r.left, height = r.bottom - r.top;
    SetWindowPos(window, nullptr, GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2,
                 GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

UINT_PTR CALLBACK fileDialogHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    HWND dialog = GetParent(hook); // the hook's window is a child of the dialog
    if (message == WM_INITDIALOG) {
        const auto* request = reinterpret_cast<const OPENFILENAMEW*>(lParam);
        if (auto* state = reinterpret_cast<Win32State*>(request->lCustData))
            state->fileDialogWindow = dialog;
        centreOnScreen(dialog);
        return 1;
    }
    if (message == WM_NOTIFY) {
        const auto* notify = reinterpret_cast<const OFNOTIFYW*>(lParam);
        if (notify->hdr.code == UINT(CDN_INITDONE)) {
            centreOnScreen(dialog); // again: the system sizes the dialog after its start
            return 0;
        }
        if (notify->hdr.code != UINT(CDN_TYPECHANGE) || !notify->lpOFN->lpstrDefExt || !*notify->lpOFN->lpstrDefExt)
            return 0;
        const std::string pattern = filterPattern(notify->lpOFN->lpstrFilter, notify->lpOFN->nFilterIndex);
        const int box = GetDlgItem(dialog, kFileNameBox) ? kFileNameBox : kFileNameCombo;
        std::wstring typed(kFileBufferSize, L'\0');
        typed.resize(GetDlgItemTextW(dialog, box, typed.data(), int(typed.size())));
        const std::string name = utf8FromWide(typed);
        const std::string renamed = fileNameForFilter(name, pattern);
        if (renamed != name)
            SetDlgItemTextW(dialog, box, wideFromUtf8(renamed).c_str());
    }
    return 0;
}

HMENU buildMenu(const std::vector<PopupItem>& items) {
    HMENU menu = CreatePopupMenu();
    for (const PopupItem& item : items) {
        if (item.separator)
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        else if (!item.submenu.empty())
            AppendMenuA(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(buildMenu(item.submenu)),
                        item.text.c_str());
        else
            AppendMenuA(menu, MF_STRING | (item.checked ? MF_CHECKED : 0), UINT_PTR(item.id), item.text.c_str());
    }
    return menu;
}

} // namespace

std::optional<std::string> Win32State::runOpenFileDialog(Win32Window* owner, const FileDialogRequest& request) {
    // Wide throughout: the answer may name a file in any language.
    std::wstring filter;
    for (const auto& [entry, pattern] : request.filters) {
        filter += wideFromUtf8(entry);
        filter.push_back(L'\0');
        filter += wideFromUtf8(pattern);
        filter.push_back(L'\0');
    }
    filter.push_back(L'\0');
    std::wstring file(kFileBufferSize, L'\0');
    const std::wstring initialFile = wideFromUtf8(request.initialFile);
    initialFile.copy(file.data(), kFileBufferSize - 1);
    const std::wstring initialDirectory = wideFromUtf8(request.initialDirectory);
    const std::wstring title = wideFromUtf8(request.title);
    const std::wstring defaultExtension = wideFromUtf8(request.defaultExtension);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = rootOf(owner);
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = DWORD(kFileBufferSize);
    dialog.lpstrInitialDir = initialDirectory.empty() ? nullptr : initialDirectory.c_str();
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
    dialog.lpfnHook = fileDialogHook;
    dialog.lCustData = reinterpret_cast<LPARAM>(this);
    dialog.Flags = kOpenFlags;
    letGoOfMouse(*this);
    const BOOL chosen = GetOpenFileNameW(&dialog);
    fileDialogWindow = nullptr;
    if (!chosen)
        return std::nullopt;
    return utf8FromWide(file.c_str(), wcslen(file.c_str()));
}

void Win32State::runPendingFileDialog(Win32Window& window) {
    if (fileDialogOwner != &window || fileDialogRunning)
        return;
    fileDialogRunning = true;
    const FileDialogRequest request = fileDialogRequest;
    // Its own loop runs meanwhile: the window paints and its timers fire.
    const std::optional<std::string> answer = runOpenFileDialog(&window, request);
    fileDialogRunning = false;
    fileDialogOwner = nullptr; // answered: the handler may open the next one
    if (window.destroyed)
        return; // closed unanswered with its owner
    WindowEvent chosen;
    chosen.kind = WindowEvent::Kind::FileChosen;
    if (answer)
        chosen.paths.push_back(*answer);
    deliver(&window, chosen);
}

int Win32Platform::trackPopupMenu(PlatformWindow* owner, const std::vector<PopupItem>& items, int screenX,
                                  int screenY) {
    HWND window = rootOf(w_->live(owner));
    if (!window || items.empty())
        return 0;
    letGoOfMouse(*w_);
    HMENU menu = buildMenu(items);
    SetForegroundWindow(window); // so that a click elsewhere closes the menu
    const int chosen = static_cast<int>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN |
                                                                 TPM_TOPALIGN | TPM_RIGHTBUTTON,
                                                       screenX, screenY, 0, window, nullptr));
    DestroyMenu(menu); // its submenus with it
    return chosen;
}

bool Win32Platform::askYesNo(PlatformWindow* owner, const std::string& caption, const std::string& text) {
    letGoOfMouse(*w_);
    return MessageBoxA(rootOf(w_->live(owner)), text.c_str(), caption.c_str(), MB_ICONINFORMATION | MB_YESNO) ==
           IDYES;
}

std::optional<std::string> Win32Platform::openFileDialog(PlatformWindow* owner, const FileDialogRequest& request) {
    return w_->runOpenFileDialog(w_->live(owner), request);
}

bool Win32Platform::beginOpenFileDialog(PlatformWindow* owner, const FileDialogRequest& request) {
    Win32Window* target = w_->live(owner);
    if (!target || w_->fileDialogOwner)
        return false; // no window to answer, or one dialog is open already
    w_->fileDialogOwner = target;
    w_->fileDialogRequest = request;
    if (!PostMessageA(target->handle, kFileDialogMessage, 0, 0)) {
        w_->fileDialogOwner = nullptr;
        return false;
    }
    letGoOfMouse(*w_);
    return true;
}

bool Win32Platform::openWithShell(const std::string& address) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32; // smaller values are errors
}
