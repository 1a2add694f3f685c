#include "X11Platform.h"

#include "X11State.h"

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

bool X11Platform::dialogsAvailable() {
    return x_->dialogs.available();
}
