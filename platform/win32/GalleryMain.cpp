#include "GalleryProgram.h"
#include "Win32Platform.h"
#include "Win32Settings.h"

#include <windows.h>

#include <iostream>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    ProgramHost host;
    host.args.assign(__argv + 1, __argv + __argc);
    host.out = &std::cout;
    host.err = &std::cerr;
    host.openWindowing = [](std::string& error) -> std::unique_ptr<UiPlatform> { return openWin32Platform(error); };
    host.openSettings = [] { return std::make_unique<Win32Settings>("SOFTWARE\\Quorix\\Gallery\\1.00"); };
    host.show = showCommandFromWindows(show);
    return gallery::runGallery(host);
}
