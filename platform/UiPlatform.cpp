#include "UiPlatform.h"

#include <atomic>

namespace {

// Before a backend is installed: nothing happens and every question is answered "no".
class InertPlatform : public UiPlatform {
public:
    void startTimer(PlatformWindow*, uint32_t, uint32_t) override {}
    void stopTimer(PlatformWindow*, uint32_t) override {}
    bool setCursorKind(int) override { return false; }
    void showCursor(bool) override {}
    void clientToScreen(PlatformWindow*, int&, int&) override {}
    void setCursorPosition(int, int) override {}
    int trackPopupMenu(PlatformWindow*, const std::vector<PopupItem>&, int, int) override { return 0; }
    bool askYesNo(PlatformWindow*, const std::string&, const std::string&) override { return false; }
    std::optional<std::string> openFileDialog(PlatformWindow*, const FileDialogRequest&) override {
        return std::nullopt;
    }
    bool beginOpenFileDialog(PlatformWindow*, const FileDialogRequest&) override { return false; }
    bool openWithShell(const std::string&) override { return false; }
    void screenSize(int& width, int& height) override { width = height = 0; }
    void moveWindow(PlatformWindow*, int, int) override {}
    void windowSize(PlatformWindow*, int& width, int& height) override { width = height = 0; }
    PlatformWindow* createWindow(const WindowRequest&, WindowHandler*) override { return nullptr; }
    void destroyWindow(PlatformWindow*) override {}
    void showWindow(PlatformWindow*, ShowCommand) override {}
    void windowPosition(PlatformWindow*, int& x, int& y) override { x = y = 0; }
    void workArea(int& width, int& height) override { width = height = 0; }
    void captureMouse(PlatformWindow*) override {}
    void releaseMouse(PlatformWindow*) override {}
    void startWindowDrag(PlatformWindow*, int, int) override {}
    void present(PlatformWindow*, const PixelImage&, const PixelRect&) override {}
    void postClose(PlatformWindow*) override {}
    void requestPresent(PlatformWindow*) override {}
    bool activateRunningInstance(const std::string&) override { return false; }
    void runEventLoop() override {}
    void postQuit() override {}
};

InertPlatform inert;
std::atomic<UiPlatform*> installed{&inert};

} // namespace

UiPlatform& uiPlatform() {
    return *installed.load();
}

UiPlatform* setUiPlatform(UiPlatform* platform) {
    UiPlatform* previous = installed.exchange(platform ? platform : &inert);
    return previous == &inert ? nullptr : previous;
}
