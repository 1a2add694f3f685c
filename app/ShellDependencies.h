#pragma once

#include <memory>

class FadeClock;
class HidSystem;
class SignaturePolicy;
class WorkerClock;

// What the window program hands down to the editor and the update page: the
// devices it talks to (the system's, or the simulated one), the worker's clock
// (tests run it fast), the fades' clock (tests step them) and the trusted keys
// every loaded file is checked against (none: signatures are not looked at).
struct ShellDependencies {
    std::shared_ptr<HidSystem> hid;
    std::shared_ptr<WorkerClock> clock;
    FadeClock* fadeClock = nullptr; // the steady clock when null
    bool fadeThread = true;         // false: fades step only when a test says so
    std::shared_ptr<const SignaturePolicy> signatures = nullptr;
};
