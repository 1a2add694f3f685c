#include "PlatformConsole.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace {

// Lock-free, so the handler may touch them.
std::atomic<bool> deferring{false};
std::atomic<int> counted{0};

void onInterrupt(int signal) {
    if (!deferring.load()) {
        // What the signal does without us: the program ends at once.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    counted.fetch_add(1);
}

} // namespace

bool stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

void installInterruptCounter() {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr); // a dropped SSH session: as a termination request
    // A reader gone from a pipe (`| head`) must not cut a flash: the write fails
    // quietly instead and the run goes on to its own end.
    ::signal(SIGPIPE, SIG_IGN);
}

void deferInterrupts(bool deferred) {
    deferring = deferred;
}

int interruptsCounted() {
    return counted.load();
}
