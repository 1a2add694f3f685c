#include "X11Platform.h"

#include "X11State.h"

#include <cstdio>

namespace {
// A dialog cannot take the mouse while this program holds it.
void letGoOfPointer(Display* display) {
    XUngrabPointer(display, CurrentTime);
    XFlush(display);
}
// How the portal names the window its dialog belongs to.
std::string portalParent(const X11Window* window) {
    if (!window) return "";
    char text[32];
    std::snprintf(text, sizeof text, "x11:%lx", static_cast<unsigned long>(window->id));
    return text;
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

std::optional<std::string> X11Platform::openFileDialog(PlatformWindow* owner, const FileDialogRequest& request) {
    letGoOfPointer(x_->display);
    x_->captured = nullptr;
    if (auto portal = PortalFileChooser::open(portalParent(x_->live(owner)), request)) {
        portal->wait();
        return portal->answer();
    }
    return x_->dialogs.openFile(request);
}

bool X11Platform::beginOpenFileDialog(PlatformWindow* owner, const FileDialogRequest& request) {
    X11Window* target = x_->live(owner);
    if (!target || x_->fileDialog || x_->portalDialog)
        return false; // no window to answer, or one dialog is open already
    letGoOfPointer(x_->display);
    x_->captured = nullptr;
    x_->portalDialog = PortalFileChooser::open(portalParent(target), request);
    if (x_->portalDialog) {
        x_->fileDialogOwner = target;
        return true;
    }
    x_->fileDialog = x_->dialogs.startOpenFile(request);
    if (!x_->fileDialog) return false;
    x_->fileDialogOwner = target;
    return true;
}

bool X11Platform::openWithShell(const std::string& address) {
    return x_->dialogs.openUrl(address);
}

bool X11Platform::dialogsAvailable() {
    // Asked before Open File, the one dialog the portal offers: on a portal-only
    // desktop it is the way to open a file.
    return x_->dialogs.available() || PortalFileChooser::available();
}
