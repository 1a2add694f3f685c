#include "GalleryProgram.h"

#include "CCPreference.h"
#include "EditorWindow.h"
#include "Framework.h"
#include "GalleryEditor.h"
#include "PlatformHelpers.h"

#include <mutex>
#include <ostream>

namespace gallery {

GalleryWindow::GalleryWindow(const ShellDependencies& dependencies, SettingsStore* settings)
    : dependencies_(dependencies), settings_(settings), preferenceStore_(settings) {}

GalleryWindow::~GalleryWindow() {
    close();
}

bool GalleryWindow::create(ShowCommand show) {
    window_ = createEditorWindow(kTitle, kClassName, this);
    if (!window_)
        return false;
    centreWindow(window_);
    editor_ = std::make_unique<GalleryEditor>(dependencies_);
    openEditorWindow(*editor_, window_, show);
    return true;
}

void GalleryWindow::close() {
    if (!window_)
        return;
    PlatformWindow* window = window_;
    window_ = nullptr;
    if (editor_) {
        editor_->savePreset();
        editor_->Close();
        editor_.reset();
    }
    uiPlatform().destroyWindow(window);
    uiPlatform().postQuit();
}

void GalleryWindow::onWindowEvent(PlatformWindow* window, const WindowEvent& event) {
    if (window != window_)
        return;
    if (event.kind == WindowEvent::Kind::Close) {
        // Not while the editor's window is inside a press (a window drag).
        if (editor_ && editor_->handlingEvent())
            editor_->closeAfterEvent();
        else
            close();
    } else if (event.kind == WindowEvent::Kind::Activate && editor_) {
        std::lock_guard<CCLock> guard(editor_->lock());
        editor_->setActive(event.active);
    }
}

int runGallery(const ProgramHost& host) {
    for (const std::string& arg : host.args) {
        if (arg == "--version") {
            *host.out << "quorix-gallery " << kProgramVersion << "\n";
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            *host.out << "Usage: quorix-gallery\n"
                         "Shows every control family of the framework, bound to parameters and\n"
                         "preferences; the values come back at the next start.\n";
            return 0;
        }
    }
    std::string error;
    std::unique_ptr<UiPlatform> windowing = host.openWindowing ? host.openWindowing(error) : nullptr;
    if (!windowing) {
        *host.err << "quorix-gallery: the window needs a display (" << error << ").\n";
        return 1;
    }
    setUiPlatform(windowing.get());
    if (host.windowingStarted)
        host.windowingStarted();
    startFramework();
    int code = 1;
    {
        const std::unique_ptr<SettingsStore> settings = host.openSettings ? host.openSettings() : nullptr;
        GalleryWindow gallery(ShellDependencies{}, settings.get());
        if (gallery.create(host.show)) {
            uiPlatform().runEventLoop();
            code = 0;
        }
    }
    setUiPlatform(nullptr);
    return code;
}

} // namespace gallery
