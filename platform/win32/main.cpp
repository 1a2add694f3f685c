#include "PlatformConsole.h"
#include "ProgramStart.h"
#include "Win32Platform.h"
#include "Win32Settings.h"
#include "WideText.h"

#include <shellapi.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

// Started from a console, a windowed program has no standard handles of its own:
// it borrows its caller's console, so help and terminal runs print there. Handles
// it was given (a pipe, a file) stay as they are.
void useCallersConsole() {
    auto missing = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return !handle || handle == INVALID_HANDLE_VALUE;
    };
    const bool noOut = missing(STD_OUTPUT_HANDLE), noErr = missing(STD_ERROR_HANDLE);
    if ((!noOut && !noErr) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    FILE* stream = nullptr;
    if (noOut && freopen_s(&stream, "CONOUT$", "w", stdout) == 0)
        std::cout.clear();
    if (noErr && freopen_s(&stream, "CONOUT$", "w", stderr) == 0)
        std::cerr.clear();
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    // The shell's calls (opening a link, the file dialog's extensions) expect COM on
    // the thread that makes them: once, here, for the whole run.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    useCallersConsole();
    ProgramHost host;
    // Both in UTF-8 from the wide command line: in the code page a file name in
    // another language would be lost.
    int count = 0;
    if (LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            host.args.push_back(utf8FromWide(words[i], wcslen(words[i])));
        LocalFree(words);
    }
    // The options are searched in the command line exactly as the caller wrote it.
    host.commandLine = utf8FromWide(GetCommandLineW(), wcslen(GetCommandLineW()));
    host.out = &std::cout;
    host.err = &std::cerr;
    host.stdoutTerminal = stdoutIsTerminal();
    host.openWindowing = [](std::string& error) -> std::unique_ptr<UiPlatform> { return openWin32Platform(error); };
    host.openSettings = [] { return std::make_unique<Win32Settings>(); };
    host.show = showCommandFromWindows(show);
    const int code = runProgram(host);
    if (SUCCEEDED(com))
        CoUninitialize();
    return code;
}
