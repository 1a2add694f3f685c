#include "TerminalProgram.h"

#include "CUpdatePresenter.h"
#include "CUpdateWorker.h"
#include "DeviceListing.h"
#include "DeviceSearch.h"
#include "FactoryWatch.h"
#include "HidSystem.h"
#include "OneInterfaceHid.h"
#include "PlatformConsole.h"
#include "RunReporter.h"
#include "StartCauses.h"
#include "TerminalText.h"
#include "UpdateTexts.h"
#include "UpdateView.h"

#include <algorithm>
#include <chrono>
#include <ostream>
#include <thread>


namespace {

const char* kUsage =
    "usage: quorix-updater [FILE.qfu] [--simulate[=SETTINGS]]\n"
    "       quorix-updater -path:\"FILE.qfu\" -id:\"vid_XXXX&pid_YYYY\" [--simulate[=SETTINGS]] [--terminal]\n"
    "       quorix-updater -path:\"FILE.qfu\" -id:\"vid_XXXX&pid_YYYY\" --watch [--force] [--log LOG]\n"
    "                      [--restart-window SECONDS]\n"
    "       quorix-updater --list [-id:\"vid_XXXX&pid_YYYY\"]\n"
    "       quorix-updater --udev-rule \"vid_XXXX&pid_YYYY\"\n"
    "       quorix-updater --help | --version\n"
    "\n"
    "Without -path: and -id: the program opens its window (a file named alone is loaded\n"
    "as if it had been dropped on it). With both it updates the device named by -id:\n"
    "with the update file named by -path:, showing the progress, and exits with 0 only\n"
    "after a successful update: in the window, or in the terminal with --terminal or\n"
    "when there is no display. Why an attempt failed, its retries and the outcome are\n"
    "told on stderr.\n"
    "\n"
    "  --json                 one JSON object per line on stdout (events: waiting, device,\n"
    "                         progress, attempt-failed, retrying, result; with --watch also\n"
    "                         skipped and summary; with --list interface)\n"
    "  --device PATH          use only this interface (as --list shows it) when several\n"
    "                         identical devices are connected\n"
    "  --list                 the HID interfaces present; with -id: the matching ones are\n"
    "                         asked for their versions and block size\n"
    "  --watch                factory mode: update every matching unit as it is plugged,\n"
    "                         several at once, each once per plug, all with the file as\n"
    "                         read and checked at the start (a file changed later is not\n"
    "                         used); a unit is its serial number, or its USB port; Ctrl-C\n"
    "                         ends after the running updates with\n"
    "                         \"updated N, failed M, skipped K\" (each unit counted once)\n"
    "  --force                with --watch: also units that have the file's version\n"
    "  --log LOG              with --watch: append one JSON line per unit to LOG\n"
    "  --restart-window SECONDS  with --watch: a unit back this soon after its update\n"
    "                         with the file's version is restarting, not a new plug\n"
    "                         (default 60)\n"
    "  --udev-rule ID         print the udev rule that lets users open the device (Linux)\n"
    "\n"
    "  --trusted-key KEY.pub  trust this minisign public key besides the installed ones\n"
    "                         (repeatable); with any trusted key a file loads only with\n"
    "                         a signature (FILE.minisig) from one of them\n"
    "  --require-signature    the same even when no key is installed\n"
    "  --signature SIG        the signature of the -path: file instead of FILE.minisig\n"
    "\n"
    "  --simulate[=SETTINGS]  use a built-in simulated device instead of real ones;\n"
    "                         SETTINGS is a comma-separated list of\n"
    "                         vid=HEX,pid=HEX,hw=A.B.CC,fw=A.B.CC|none,new-fw=A.B.CC,\n"
    "                         block=BYTES,latency=MS,appear=MS,restart=MS,unplug-at=BLOCK,\n"
    "                         replug-after=MS,nak-at=BLOCK,bad-checksum-at=BLOCK,\n"
    "                         silent-at=BLOCK,once,busy,count=N,interfaces=N,leave=MS,\n"
    "                         serial=TEXT,port=TEXT,save=PATH;\n"
    "                         several devices: such lists separated by ';', e.g.\n"
    "                         \"pid=0001,hw=1.0.01;pid=0002,hw=2.0.02\". save=PATH: the\n"
    "                         device writes the image of its last complete update to\n"
    "                         PATH (replacing the file; PATH may hold any character but\n"
    "                         ',' and ';'; no two devices may share one). serial= and\n"
    "                         port= name the unit (by default each device has a port of\n"
    "                         its own and no serial); interfaces=N shows N interfaces of\n"
    "                         one unit, only the first of which answers; leave=MS\n"
    "                         unplugs the device MS after the start\n"
    "\n"
    "Exit status: 0 after a successful update (and for --help and --version),\n"
    "1 when the update failed or could not start, 2 for an unknown option, a bad\n"
    "--simulate setting or a --log that cannot be written.\n"
    "With --watch: 0 when no update failed and every log line was written.\n";

// Prints what the update page shows: each new list of lines, and the progress as
// a live bar on a terminal or as "NN%" lines every 10 % otherwise.
class TerminalView : public UpdateView {
public:
    TerminalView(std::ostream& out, bool terminal, bool showProgress = true)
        : out_(out), terminal_(terminal), showProgress_(showProgress) {}

    void showLines(const std::vector<std::string>& lines) override {
        if (lines == lastLines_)
            return;
        endProgressLine();
        for (const std::string& line : lines)
            out_ << terminalSafe(line) << "\n";
        out_.flush();
        lastLines_ = lines;
    }
    void appendLine(const std::string& line) override {
        if (!lastLines_.empty() && lastLines_.back() == line)
            return;
        endProgressLine();
        out_ << terminalSafe(line) << "\n" << std::flush;
        lastLines_.push_back(line);
    }
    void setProgressValue(int percent) override {
        // A terminal line only moves forward: the page's reset to 0 at the end of a
        // run is not worth a line of its own.
        percent = std::clamp(percent, 0, 100);
        if (!showProgress_ || !progressShown_ || percent <= lastPercent_)
            return;
        lastPercent_ = percent;
        if (terminal_) {
            const int filled = percent * kBarWidth / 100;
            out_ << "\r[" << std::string(static_cast<size_t>(filled), '#')
                 << std::string(static_cast<size_t>(kBarWidth - filled), '.') << "] " << percent
                 << "%" << std::flush;
            barOnLine_ = true;
        } else if (percent / 10 > lastDecile_) {
            lastDecile_ = percent / 10;
            out_ << percent << "%\n" << std::flush;
        }
    }
    void setProgressEnabled(bool enabled) override {
        if (enabled && !progressShown_) {
            lastPercent_ = -1;
            lastDecile_ = -1;
        }
        if (!enabled)
            endProgressLine();
        progressShown_ = enabled;
    }
    void setUpdateEnabled(bool) override {}
    void setCloseEnabled(bool) override {}
    void setOpenEnabled(bool) override {}
    void requestClose() override { closeRequested_ = true; }
    bool beginChooseFile() override { return false; }

    bool closeRequested() const { return closeRequested_.load(); }

private:
    static constexpr int kBarWidth = 40;

    void endProgressLine() {
        if (barOnLine_)
            out_ << "\n";
        barOnLine_ = false;
    }

    std::ostream& out_;
    const bool terminal_;
    const bool showProgress_;
    std::vector<std::string> lastLines_;
    bool progressShown_ = false;
    bool barOnLine_ = false;
    int lastPercent_ = -1;
    int lastDecile_ = -1;
    std::atomic<bool> closeRequested_{false};
};

} // namespace

std::optional<std::string> findInaccessibleInterface(HidSystem& hid, const std::string& pattern) {
    std::vector<std::string> paths;
    if (!hid.listPaths(paths))
        return std::nullopt;
    for (const std::string& path : paths) {
        if (!pathMatchesPattern(path, pattern))
            continue;
        std::unique_ptr<HidConnection> connection;
        if (hid.open(path, connection) == HidOpenStatus::PermissionDenied)
            return path;
    }
    return std::nullopt;
}

namespace {

// Nothing reaches it: for callers that do not want the causes.
std::ostream& nowhere() {
    static std::ostream stream(nullptr);
    return stream;
}

// Why the command-line run could not start, for the final line.
std::string startFailureCause(HidSystem& hid, CUpdateWorker& worker, const UpdateOptions& options,
                              const TerminalRunOptions& run, bool& permissionDenied,
                              std::string& deniedPath) {
    uint16_t vendorId = 0, productId = 0;
    if (!CFirmwareUpdater::parseIdentity(options.identity->c_str(), vendorId, productId))
        return "-id: \"" + *options.identity + "\" names no device (vid_XXXX&pid_YYYY)";
    const std::string pattern = devicePattern(vendorId, productId);
    if (!worker.present()) {
        if (const auto unopened = findUnopenedInterface(hid, pattern)) {
            if (unopened->status == HidOpenStatus::PermissionDenied) {
                permissionDenied = true;
                deniedPath = unopened->path;
                return std::string(hidAccessDeniedCause()) + ": " + unopened->path;
            }
            if (unopened->inUse)
                return UpdateFailure{UpdateFailure::Kind::InUse}.text() + ": " + unopened->path;
            return "device busy (opened elsewhere): " + unopened->path;
        }
        return "no matching device within 10 s" +
               (run.devicePath.empty() ? std::string() : " (--device " + run.devicePath + ")");
    }
    if (!worker.updater().fileLoaded()) {
        if (!worker.updater().lastSignature().loads())
            return signatureProblem(worker.updater().lastSignature());
        const std::string problem = updateFileProblem(*options.path);
        return problem.empty() ? "update file not loadable: " + *options.path : problem;
    }
    return "the update file is for " +
           devicePattern(worker.updater().vendorId(), worker.updater().productId()) + ", not " +
           pattern;
}

} // namespace

int runCommandLineUpdate(std::shared_ptr<HidSystem> hid, const UpdateOptions& options,
                         std::ostream& out, bool terminal, std::shared_ptr<WorkerClock> clock,
                         const TerminalRunOptions& run) {
    // Set to 1 by the worker when the update succeeded; outlives the worker.
    std::atomic<uint8_t> exitResult{0};
    if (!hid || !options.complete())
        return 1; // nothing to update: a failure, as the command line reports it
    std::ostream& err = run.err ? *run.err : nowhere();
    RunReporter reporter(out, err, run.json, RunReporter::Mode::Single);
    // With JSON, stdout carries nothing else: the page's lines go to stderr.
    TerminalView view(run.json ? err : out, terminal && !run.json, !run.json);
    std::shared_ptr<HidSystem> deviceHid =
        run.devicePath.empty() ? hid : std::make_shared<OneInterfaceHid>(hid, run.devicePath);
    const auto startedAt = std::chrono::steady_clock::now();
    // The file first: a file that cannot be flashed never reaches a device, not even
    // as a request for its information or a close request.
    std::optional<SignatureCheck> signature;
    const std::string problem = updateFileProblem(*options.path, run.signatures.get(), &signature);
    if (signature)
        reporter.signature(*signature);
    if (!problem.empty()) {
        reporter.waiting(*options.identity, run.devicePath, CUpdateWorker::kDeviceWaitMs / 1000);
        const std::string refusal = updatetexts::signatureRefusal(signature.value_or(SignatureCheck{}));
        view.showLines({updatetexts::kUpdateError,
                        refusal.empty() ? std::string(updatetexts::kFileNotLoadable) : refusal});
        reporter.result("", RunOutcome{false, 0, 0, problem});
        return 1;
    }
    bool stopped = false;
    {
        CUpdateWorker worker(deviceHid, std::move(clock));
        worker.enableEvents();
        worker.updater().setSignaturePolicy(run.signatures);
        CUpdatePresenter presenter(worker, view);
        reporter.waiting(*options.identity, run.devicePath, CUpdateWorker::kDeviceWaitMs / 1000);
        presenter.prepareCommandLine(&exitResult);
        const bool started =
            presenter.startCommandLineUpdate(options.path->c_str(), options.identity->c_str());

        std::optional<WorkerEvent> ended;
        std::string devicePath; // the interface the worker took, once it found one
        auto follow = [&] {
            const int state = worker.displayState();
            for (const WorkerEvent& event : worker.takeEvents()) {
                switch (event.kind) {
                case WorkerEvent::Kind::Device: {
                    DeviceReport report;
                    report.failure = event.failure;
                    report.answered = event.failure.kind == UpdateFailure::Kind::None ||
                                      event.failure.kind == UpdateFailure::Kind::BlockSizeZero ||
                                      event.failure.kind == UpdateFailure::Kind::BlockSizeTooLarge;
                    report.hardware = event.hardware;
                    report.firmware = event.firmware;
                    report.blockSize = event.blockSize;
                    devicePath = event.path;
                    reporter.device(HidInterface{event.path, event.serial, event.location}, report);
                    // One path per unit: the other interfaces of the unit in use are not
                    // other devices.
                    std::vector<HidInterface> interfaces;
                    std::vector<std::string> matching, units;
                    if (run.devicePath.empty() && hid->listInterfaces(interfaces)) {
                        uint16_t vendorId = 0, productId = 0;
                        worker.updater().targetIds(vendorId, productId);
                        const std::string pattern = devicePattern(vendorId, productId);
                        for (const HidInterface& entry : interfaces)
                            if (pathMatchesPattern(entry.path, pattern) && entry.carriesUpdates() &&
                                std::find(units.begin(), units.end(), entry.unitKey()) == units.end()) {
                                units.push_back(entry.unitKey());
                                matching.push_back(entry.path);
                            }
                    }
                    if (matching.size() > 1) {
                        std::string names;
                        for (const std::string& path : matching)
                            names += (names.empty() ? "" : ", ") + path;
                        reporter.note(std::to_string(matching.size()) + " devices match: " + names +
                                      "; using " + event.path + " (choose one with --device PATH)");
                    }
                    break;
                }
                case WorkerEvent::Kind::AttemptFailed:
                    reporter.attemptFailed(devicePath, event.attempt, event.failure);
                    break;
                case WorkerEvent::Kind::Retrying:
                    reporter.retrying(devicePath, event.attempt, event.msLeft,
                                      CUpdateWorker::kRetryWindowMs);
                    break;
                case WorkerEvent::Kind::RunEnded:
                    ended = event;
                    if (run.json && event.ok) {
                        // Its last step can fall between two looks at the progress.
                        const uint32_t blocks = worker.updater().blocksDone();
                        reporter.progress(devicePath, 100, blocks, blocks);
                    }
                    break;
                }
            }
            if (run.json && (state == SHOW_STARTED || state == SHOW_PROGRESS || state == SHOW_RESULT)) {
                const uint32_t size = worker.updater().blockSize();
                reporter.progress(devicePath, worker.progress(), worker.updater().blocksDone(),
                                  size ? worker.updater().imageLength() / size : 0);
            }
        };

        // A first interrupt lets a started run end (a half-written image is worse
        // than waiting); a second one stops it.
        const int interruptsBefore = interruptsCounted();
        int interruptsSeen = 0;
        deferInterrupts(started);
        while (!view.closeRequested()) {
            const int interrupts = interruptsCounted() - interruptsBefore;
            if (interrupts > interruptsSeen) {
                interruptsSeen = interrupts;
                stopped = interrupts >= 2;
                if (stopped || !presenter.deferClose())
                    break;
            }
            follow();
            presenter.onTick();
            std::this_thread::sleep_for(std::chrono::milliseconds(CUpdatePresenter::kTickMs));
        }
        follow();
        if (started) {
            RunOutcome outcome;
            if (ended && !stopped) {
                outcome = outcomeOf(*ended);
            } else {
                outcome.cause = "stopped by an interrupt";
                outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                                                startedAt).count();
            }
            reporter.result(devicePath, outcome);
        } else {
            bool denied = false;
            std::string deniedPath;
            const std::string cause =
                startFailureCause(*deviceHid, worker, options, run, denied, deniedPath);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt).count();
            if (denied) {
                // Say how to get access where the OS can tell (with JSON: on stderr).
                uint16_t vendorId = 0, productId = 0;
                worker.updater().targetIds(vendorId, productId);
                std::ostream& advice = run.json ? err : out;
                for (const std::string& line : hidAccessAdvice(deniedPath, vendorId, productId))
                    advice << terminalSafe(line) << "\n";
                advice.flush();
            }
            reporter.result("", RunOutcome{false, 0, seconds, cause});
        }
    } // the worker stops a run still going, closes the device and ends here
    // Only now: a console closed meanwhile waits for the close request sent above.
    deferInterrupts(false);
    closeOpenDeviceList();
    return exitResult != 0 && !stopped ? 0 : 1;
}

int runFactoryMode(std::shared_ptr<HidSystem> hid, const UpdateOptions& options,
                   const ProgramArguments& arguments, std::ostream& out, std::ostream& err,
                   std::shared_ptr<WorkerClock> clock) {
    if (!hid || !options.complete())
        return 1;
    // The production record is checked before any unit is taken: a shift must not
    // run with its record lost.
    if (!arguments.logPath.empty()) {
        const std::string problem = logFileProblem(arguments.logPath);
        if (!problem.empty()) {
            err << "quorix-updater: " << terminalSafe(problem) << "; the watch does not start\n";
            return 2;
        }
    }
    RunReporter reporter(out, err, arguments.json, RunReporter::Mode::Watch);
    WatchSettings settings;
    settings.filePath = *options.path;
    settings.identity = *options.identity;
    settings.force = arguments.force;
    settings.logPath = arguments.logPath;
    settings.signatures = signaturePolicyFor(arguments, *options.path);
    reportKeyProblems(*settings.signatures, err);
    if (arguments.restartWindowSeconds)
        settings.restartWindowMs = *arguments.restartWindowSeconds * 1000;
    if (!arguments.devicePath.empty())
        hid = std::make_shared<OneInterfaceHid>(hid, arguments.devicePath);
    bool aborted = false;
    WatchSummary summary;
    {
        FactoryWatch watch(hid, settings, reporter, std::move(clock));
        if (!watch.begin())
            return 1;
        // Every interrupt is ours to act on: the first ends the watch once the running
        // updates are done, a second one stops them.
        const int interruptsBefore = interruptsCounted();
        bool stopping = false;
        deferInterrupts(true);
        for (;;) {
            const int interrupts = interruptsCounted() - interruptsBefore;
            if (interrupts >= 1 && !stopping) {
                stopping = true;
                watch.stopTaking();
                if (watch.updating())
                    reporter.note("ending after the running updates (Ctrl-C again stops them)");
            }
            if (interrupts >= 2) {
                aborted = true;
                watch.abortUpdates();
                break;
            }
            watch.step();
            if (stopping && !watch.updating())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(CUpdatePresenter::kTickMs));
        }
        watch.finish();
        summary = watch.summary();
    }
    deferInterrupts(false);
    closeOpenDeviceList();
    reporter.summary(summary.updated, summary.failed, summary.skipped);
    return summary.exitCode(aborted);
}

int runTerminalProgram(const std::string& commandLine, const std::vector<std::string>& args,
                       std::ostream& out, std::ostream& err, bool terminal) {
    return runTerminalProgram(commandLine, parseProgramArguments(args), out, err, terminal);
}

int runTerminalProgram(const std::string& commandLine, const ProgramArguments& arguments,
                       std::ostream& out, std::ostream& err, bool terminal) {
    if (!arguments.unknownOption.empty()) {
        err << "quorix-updater: unknown option " << terminalSafe(arguments.unknownOption) << "\n" << kUsage;
        return 2;
    }
    if (!arguments.error.empty()) {
        err << "quorix-updater: " << terminalSafe(arguments.error) << "\n";
        return 2;
    }
    if (arguments.help) {
        out << kUsage;
        return 0;
    }
    if (arguments.version) {
        out << kProgramVersion << "\n";
        return 0;
    }
    if (!arguments.usageError.empty()) {
        err << "quorix-updater: " << terminalSafe(arguments.usageError) << "\n" << kUsage;
        return 1;
    }
    if (arguments.udevRule) {
        uint16_t vendorId = 0, productId = 0;
        if (!CFirmwareUpdater::parseIdentity(arguments.udevRule->c_str(), vendorId, productId)) {
            err << "quorix-updater: --udev-rule needs an identity such as \"vid_1209&pid_0001\"\n";
            return 1;
        }
        out << udevRule(vendorId, productId) << "\n";
        return 0;
    }
    const UpdateOptions options = parseUpdateOptions(commandLine);
    if (arguments.list)
        return runDeviceList(hidSystemFor(arguments), options.identity, arguments.devicePath,
                             arguments.json, out, err);
    if (!options.complete()) {
        err << "quorix-updater: both -path:\"FILE\" and -id:\"vid_XXXX&pid_YYYY\" are needed\n"
            << kUsage;
        return 1;
    }

    installInterruptCounter();
    if (arguments.watch)
        return runFactoryMode(hidSystemFor(arguments), options, arguments, out, err);
    TerminalRunOptions run;
    run.signatures = signaturePolicyFor(arguments, *options.path);
    reportKeyProblems(*run.signatures, err);
    run.err = &err;
    run.json = arguments.json;
    run.devicePath = arguments.devicePath;
    return runCommandLineUpdate(hidSystemFor(arguments), options, out, terminal, nullptr, run);
}
