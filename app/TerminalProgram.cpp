#include "TerminalProgram.h"

#include "CUpdatePresenter.h"
#include "CUpdateWorker.h"
#include "PlatformConsole.h"
#include "DeviceSearch.h"
#include "HidSystem.h"
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
    "       quorix-updater --help | --version\n"
    "\n"
    "Without -path: and -id: the program opens its window (a file named alone is loaded\n"
    "as if it had been dropped on it). With both it updates the device named by -id:\n"
    "with the update file named by -path:, showing the progress, and exits with 0 only\n"
    "after a successful update: in the window, or in the terminal with --terminal or\n"
    "when there is no display.\n"
    "\n"
    "  --simulate[=SETTINGS]  use a built-in simulated device instead of real ones;\n"
    "                         SETTINGS is a comma-separated list of\n"
    "                         vid=HEX,pid=HEX,hw=A.B.CC,fw=A.B.CC|none,new-fw=A.B.CC,\n"
    "                         block=BYTES,latency=MS,appear=MS,restart=MS,unplug-at=BLOCK,\n"
    "                         replug-after=MS,nak-at=BLOCK,bad-checksum-at=BLOCK,\n"
    "                         silent-at=BLOCK,once,busy,count=N,save=PATH;\n"
    "                         several devices: such lists separated by ';', e.g.\n"
    "                         \"pid=0001,hw=1.0.01;pid=0002,hw=2.0.02\". save=PATH: the\n"
    "                         device writes the image of its last complete update to\n"
    "                         PATH (replacing the file; PATH may hold any character but\n"
    "                         ',' and ';'; no two devices may share one)\n"
    "\n"
    "Exit status: 0 after a successful update (and for --help and --version),\n"
    "1 when the update failed or could not start, 2 for a bad --simulate setting.\n";

// Prints what the update page shows: each new list of lines, and the progress as
// a live bar on a terminal or as "NN%" lines every 10 % otherwise.
class TerminalView : public UpdateView {
public:
    TerminalView(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

    void showLines(const std::vector<std::string>& lines) override {
        if (lines == lastLines_)
            return;
        endProgressLine();
        for (const std::string& line : lines)
            out_ << line << "\n";
        out_.flush();
        lastLines_ = lines;
    }
    void appendLine(const std::string& line) override {
        if (!lastLines_.empty() && lastLines_.back() == line)
            return;
        endProgressLine();
        out_ << line << "\n" << std::flush;
        lastLines_.push_back(line);
    }
    void setProgressValue(int percent) override {
        // A terminal line only moves forward: the page's reset to 0 at the end of a
        // run is not worth a line of its own.
        percent = std::clamp(percent, 0, 100);
        if (!progressShown_ || percent <= lastPercent_)
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
    if (!hid.listInterfaces(paths))
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

int runCommandLineUpdate(std::shared_ptr<HidSystem> hid, const UpdateOptions& options,
                         std::ostream& out, bool terminal, std::shared_ptr<WorkerClock> clock) {
    ExitResult = 0;
    if (!hid || !options.complete())
        return 1; // nothing to update: a failure, as the command line reports it
    TerminalView view(out, terminal);
    bool stopped = false;
    {
        CUpdateWorker worker(hid, std::move(clock));
        CUpdatePresenter presenter(worker, view);
        presenter.prepareCommandLine(&ExitResult);
        const bool started =
            presenter.startCommandLineUpdate(options.path->c_str(), options.identity->c_str());
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
            presenter.onTick();
            std::this_thread::sleep_for(std::chrono::milliseconds(CUpdatePresenter::kTickMs));
        }
        deferInterrupts(false);
        if (!started && !worker.present()) {
            // Say why a device that is there could not be used, where the OS can tell.
            const FirmwareHeader header = worker.updater().header();
            if (worker.updater().explicitIdentity())
                if (const auto path = findInaccessibleInterface(
                        *hid, devicePattern(header.vendorId(), header.productId())))
                    for (const std::string& line :
                         hidAccessAdvice(*path, header.vendorId(), header.productId()))
                        out << line << "\n";
        }
    } // the worker stops a run still going, closes the device and ends here
    closeOpenDeviceList();
    return ExitResult != 0 && !stopped ? 0 : 1;
}

int runTerminalProgram(const std::string& commandLine, const std::vector<std::string>& args,
                       std::ostream& out, std::ostream& err, bool terminal) {
    return runTerminalProgram(commandLine, parseProgramArguments(args), out, err, terminal);
}

int runTerminalProgram(const std::string& commandLine, const ProgramArguments& arguments,
                       std::ostream& out, std::ostream& err, bool terminal) {
    if (!arguments.error.empty()) {
        err << "quorix-updater: " << arguments.error << "\n";
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
    const UpdateOptions options = parseUpdateOptions(commandLine);
    if (!options.complete()) {
        err << "quorix-updater: both -path:\"FILE\" and -id:\"vid_XXXX&pid_YYYY\" are needed\n"
            << kUsage;
        return 1;
    }

    installInterruptCounter();
    return runCommandLineUpdate(hidSystemFor(arguments), options, out, terminal);
}
