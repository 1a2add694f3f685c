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
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    if (!deferring.load())
        return FALSE;
    counted.fetch_add(1);
    return TRUE;
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
