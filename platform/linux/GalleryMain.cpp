#include "GalleryProgram.h"
#include "SettingsFile.h"
#include "X11Platform.h"

#include <iostream>

int main(int argc, char** argv) {
    ProgramHost host;
    host.args.assign(argv + 1, argv + argc);
    host.out = &std::cout;
    host.err = &std::cerr;
    host.openWindowing = [](std::string& error) -> std::unique_ptr<UiPlatform> { return openX11Platform(error); };
    host.openSettings = [] {
        const std::string updater = SettingsFile::defaultPath();
        return std::make_unique<SettingsFile>(updater.empty() ? updater : updater + "-gallery");
    };
    return gallery::runGallery(host);
}
