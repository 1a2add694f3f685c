#pragma once

#include "CCPreference.h"
#include "ProgramStart.h"
#include "ShellDependencies.h"
#include "UiPlatform.h"

#include <memory>

class SettingsStore;

namespace gallery {

class GalleryEditor;

// The gallery's window: borderless, the size of the editor, closing with its X.
// The parameters' preset is kept in the settings when it closes.
class GalleryWindow : public WindowHandler {
public:
    static constexpr const char* kClassName = "Quorix-Gallery-Main";
    static constexpr const char* kTitle = "Quorix Gallery";

    GalleryWindow(const ShellDependencies& dependencies, SettingsStore* settings);
    ~GalleryWindow() override;
    GalleryWindow(const GalleryWindow&) = delete;
    GalleryWindow& operator=(const GalleryWindow&) = delete;

    bool create(ShowCommand show = ShowCommand::Normal);
    void onWindowEvent(PlatformWindow* window, const WindowEvent& event) override;
    void close();

    PlatformWindow* window() const { return window_; }
    GalleryEditor* editor() const { return editor_.get(); }
    bool closed() const { return window_ == nullptr; }

private:
    ShellDependencies dependencies_;
    SettingsStore* settings_;
    CCPreferenceManager::ScopedProcessStore preferenceStore_; // the gallery's settings while it lives
    PlatformWindow* window_ = nullptr;
    std::unique_ptr<GalleryEditor> editor_;
};

// The gallery program: --help, --version, else its window until it closes.
int runGallery(const ProgramHost& host);

} // namespace gallery
