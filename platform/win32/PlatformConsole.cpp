#include "PlatformConsole.h"

#include <atomic>
#include <cstdio>
#include <io.h>
#include <windows.h>

namespace {

std::atomic<bool> deferring{false};
std::atomic<int> counted{0};

// Runs on a thread of its own; FALSE hands the event on to the default handler,
// which ends the process.
BOOL WINAPI onControlEvent(DWORD event) {
    if (!deferring.load())
        return FALSE;
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        counted.fetch_add(1);
        return TRUE;
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends when this returns (after 5 s at most): no time to let
        // the run finish, so it is stopped now and the device sent its close request.
        counted.fetch_add(2);
        for (int waited = 0; waited < 4500 && deferring.load(); waited += 50)
            Sleep(50);
        return TRUE;
    }
    return FALSE;
}

} // namespace

bool stdoutIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

void installInterruptCounter() {
    SetConsoleCtrlHandler(onControlEvent, TRUE);
}

void deferInterrupts(bool deferred) {
    deferring = deferred;
}

int interruptsCounted() {
    return counted.load();
}
