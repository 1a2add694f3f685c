// raw-launch "PROGRAM ARGUMENTS...": starts a program with exactly this command
// line and returns its exit code. Tests use it to hand a Windows program a command
// line with literal quotes, which a Unix shell and Wine would otherwise escape.
// Wide throughout, so that file names in any language pass unchanged.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

int main() {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words || count != 2) {
        std::fprintf(stderr, "usage: raw-launch \"COMMAND LINE\"\n");
        return 2;
    }
    std::wstring commandLine = words[1];
    LocalFree(words);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "raw-launch: cannot start: %lu\n", GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 2;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
