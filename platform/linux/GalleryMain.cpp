#include "CCLineRenderer.h"
#include "GalleryProgram.h"
#include "SettingsFile.h"
#include "X11Platform.h"

#include <iostream>

int main(int argc, char** argv) {
    ProgramHost host;
    host.args.assign(argv + 1, argv + argc);
    host.out = &std::cout;
    host.err = &std::cerr;
    host.openWindowing = [](std::string& error) -> std::unique_ptr<UiPlatform> {
        static CCLineRenderer editText; // the edit popup's text, in the program's own fonts
        std::unique_ptr<X11Platform> platform = openX11Platform(error, "quorix-gallery");
        if (platform)
            platform->setTextRenderer(&editText);
        return platform;
    };
    host.openSettings = [] {
        const std::string updater = SettingsFile::defaultPath();
        return std::make_unique<SettingsFile>(updater.empty() ? updater : updater + "-gallery");
    };
    return gallery::runGallery(host);
}
