// The terminal's modes for scripts and production lines: options, the JSON lines,
// the cause lines, the device list and factory mode's once-per-plug rules.
#include "../support/FastWorkerClock.h"
#include "../support/TempDir.h"

#include "CUpdateWorker.h"
#include "DeviceListing.h"
#include "DeviceSearch.h"
#include "FactoryWatch.h"
#include "FileAccess.h"
#include "JsonLines.h"
#include "OneInterfaceHid.h"
#include "ProgramArguments.h"
#include "QfuPacker.h"
#include "RunReporter.h"
#include "SimulatedHid.h"
#include "StartCauses.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using nlohmann::json;

namespace {

std::vector<json> jsonLines(const std::string& text) {
    std::vector<json> objects;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        objects.push_back(json::parse(line)); // throws, failing the test, on a bad line
    return objects;
}

} // namespace

TEST(TerminalMode, OptionsForScripts) {
    struct Case {
        std::vector<std::string> args;
        const char* usageError; // "" for none
        bool terminalOnly;
        std::string device, log, udev;
    } cases[] = {
        {{"--json"}, "", true, "", "", ""},
        {{"--list", "-id:vid_1209&pid_0001"}, "", true, "", "", ""},
        {{"--device", "sim://hid1?vid_1209&pid_0001"}, "", true, "sim://hid1?vid_1209&pid_0001", "", ""},
        {{"--device=/dev/hidraw3"}, "", true, "/dev/hidraw3", "", ""},
        {{"--watch", "--force", "--log", "bench.log"}, "", true, "", "bench.log", ""},
        {{"--udev-rule", "vid_1209&pid_0001"}, "", true, "", "", "vid_1209&pid_0001"},
        {{"--device"}, "--device needs a value", false, "", "", ""},
        {{"--log="}, "--log needs a value", false, "", "", ""},
        {{"--force"}, "--force belongs to --watch", false, "", "", ""},
        {{"--log", "x.log"}, "--log belongs to --watch", false, "", "x.log", ""},
        {{"-path:a.qfu", "-id:vid_1209&pid_0001"}, "", false, "", "", ""},
    };
    for (const Case& c : cases) {
        const ProgramArguments parsed = parseProgramArguments(c.args);
        const std::string what = c.args.front();
        EXPECT_EQ(parsed.usageError, c.usageError) << what;
        EXPECT_EQ(parsed.terminalOnly(), c.terminalOnly) << what;
        EXPECT_EQ(parsed.devicePath, c.device) << what;
        EXPECT_EQ(parsed.logPath, c.log) << what;
        EXPECT_EQ(parsed.udevRule.value_or(""), c.udev) << what;
    }
}

TEST(TerminalMode, SignatureOptionsBelongToBothFrontEnds) {
    const ProgramArguments parsed =
        parseProgramArguments({"--trusted-key", "a.pub", "fw.qfu", "--trusted-key=b.pub",
                               "--signature", "fw.sig", "--require-signature"});
    EXPECT_EQ(parsed.trustedKeys, (std::vector<std::string>{"a.pub", "b.pub"}));
    EXPECT_EQ(parsed.signaturePath, "fw.sig");
    EXPECT_TRUE(parsed.requireSignature);
    EXPECT_EQ(parsed.bareFile, "fw.qfu"); // an option's value is never the file to load
    EXPECT_TRUE(parsed.usageError.empty() && parsed.unknownOption.empty());
    EXPECT_FALSE(parsed.terminalOnly()); // the window checks signatures too
    EXPECT_EQ(parseProgramArguments({"--trusted-key"}).usageError, "--trusted-key needs a value");
    EXPECT_EQ(parseProgramArguments({"--signature="}).usageError, "--signature needs a value");
}

TEST(TerminalMode, JsonLinesStayOneValidObjectWhateverTheTexts) {
    const std::string nasty[] = {"plain", "quote \" and backslash \\", "new\nline\ttab\r",
                                 std::string("nul \0 inside", 12), "\x01\x1f control",
                                 "not UTF-8 \xff\xfe end", "sim://hid0?vid_1209&pid_0001", "ü €"};
    for (const std::string& text : nasty) {
        const std::string line = jsonLine({{"event", "device"}, {"path", text}});
        ASSERT_EQ(line.back(), '\n');
        EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line only";
        const json parsed = json::parse(line);
        if (text.find('\xff') == std::string::npos)
            EXPECT_EQ(parsed["path"], text);
        else
            EXPECT_EQ(parsed["path"], "not UTF-8 \xEF\xBF\xBD\xEF\xBF\xBD end"); // U+FFFD each
    }
    EXPECT_EQ(hexId(0xABC), "0abc");
}

TEST(TerminalMode, CauseLinesAndResultEvents) {
    UpdateFailure gone{UpdateFailure::Kind::DeviceGone, 3};
    WorkerEvent ended;
    ended.kind = WorkerEvent::Kind::RunEnded;
    ended.attempt = 2;
    ended.ms = 15250;
    ended.failure = gone;
    ended.recovery.kind = UpdateFailure::Kind::NotConnected;
    struct Case {
        bool ok;
        int attempts;
        UpdateFailure failure, recovery;
        const char* line; // the final line on stderr
        json cause;
    } cases[] = {
        {true, 1, {}, {}, "quorix-updater: updated in 15.2 s (1 attempt)", nullptr},
        {true, 2, {UpdateFailure::Kind::Refused, 3, 2}, {},
         "quorix-updater: updated in 15.2 s (2 attempts; last failure: device answered status 2 at block 3)",
         "device answered status 2 at block 3"},
        {false, 1, gone, {UpdateFailure::Kind::NotConnected},
         "quorix-updater: update failed after 15.2 s (1 attempt): device gone at block 3; not back within 15 s",
         "device gone at block 3; not back within 15 s"},
        {false, 3, {UpdateFailure::Kind::NoReply, 0}, {UpdateFailure::Kind::Busy},
         "quorix-updater: update failed after 15.2 s (3 attempts): no reply within 2 s at block 0; then "
         "device busy (opened elsewhere)",
         "no reply within 2 s at block 0; then device busy (opened elsewhere)"},
        {false, 1, {UpdateFailure::Kind::BlockSizeZero}, {UpdateFailure::Kind::BlockSizeZero},
         "quorix-updater: update failed after 15.2 s (1 attempt): block size 0", "block size 0"},
    };
    for (const Case& c : cases) {
        ended.ok = c.ok;
        ended.attempt = c.attempts;
        ended.failure = c.failure;
        ended.recovery = c.recovery;
        std::ostringstream out, err;
        RunReporter reporter(out, err, true, RunReporter::Mode::Single);
        reporter.result("sim://hid0?vid_1209&pid_0001", outcomeOf(ended));
        EXPECT_EQ(err.str(), std::string(c.line) + "\n");
        const json event = json::parse(out.str());
        EXPECT_EQ(event["event"], "result");
        EXPECT_EQ(event["ok"], c.ok);
        EXPECT_EQ(event["cause"], c.cause) << c.line;
        EXPECT_EQ(event["seconds"], 15.25);
        EXPECT_EQ(event["attempts"], c.attempts);
    }

    std::ostringstream out, err;
    RunReporter reporter(out, err, false, RunReporter::Mode::Single);
    reporter.attemptFailed("p", 1, gone);
    reporter.retrying("p", 2, 13449, 15000);
    reporter.result("", RunOutcome{false, 0, 10.0, "no matching device within 10 s"});
    EXPECT_EQ(err.str(), "quorix-updater: attempt 1 failed: device gone at block 3\n"
                         "quorix-updater: retrying (attempt 2, 13.4 s left of 15)\n"
                         "quorix-updater: update failed: no matching device within 10 s\n");
    EXPECT_EQ(out.str(), ""); // the page's lines are the only ones on stdout
}

TEST(TerminalMode, WhyAFileIsRefused) {
    TempDir dir;
    qfu::PackOptions options;
    options.image = qfu::randomImage(256, 1);
    const std::vector<uint8_t> good = qfu::pack(options);
    auto changed = [&](size_t at, uint8_t value) {
        std::vector<uint8_t> bytes = good;
        bytes[at] = value;
        return bytes;
    };
    std::vector<uint8_t> outside = good;
    outside[52] = 0xFF; // the image length reaches past the end
    qfu::seal(outside);
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* problem;
    } cases[] = {
        {"good.qfu", good, ""},
        {"magic.qfu", changed(0, 'q'), "update file refused (magic): "},
        {"checksum.qfu", changed(100, good[100] ^ 1), "update file refused (checksum): "},
        {"short.qfu", std::vector<uint8_t>(good.begin(), good.begin() + 30), "update file refused (header): "},
        {"outside.qfu", outside, "update file refused (size): "},
    };
    for (const auto& c : cases) {
        const std::string problem = updateFileProblem(dir.write(c.name, c.bytes));
        EXPECT_EQ(problem.substr(0, std::string(c.problem).size()), c.problem) << c.name << ": " << problem;
        EXPECT_EQ(problem.empty(), std::string(c.problem).empty()) << c.name;
    }
    EXPECT_EQ(updateFileProblem(dir.file("none.qfu")), "update file not found: " + dir.file("none.qfu"));
    EXPECT_EQ(updateFileProblem(dir.file("")).rfind("update file refused: not a regular file", 0), 0u);
}

TEST(TerminalMode, OneInterfaceOfSeveralIdenticalOnes) {
    auto hid = std::make_shared<SimulatedHidSystem>(
        std::vector<SimulatedDeviceConfig>{SimulatedDeviceConfig{}, SimulatedDeviceConfig{}});
    OneInterfaceHid second(hid, "sim://hid1");
    std::vector<std::string> paths;
    ASSERT_TRUE(second.listPaths(paths));
    EXPECT_EQ(paths, std::vector<std::string>{"sim://hid1?vid_1209&pid_0001"});
    std::unique_ptr<HidConnection> connection;
    EXPECT_EQ(second.open("sim://hid0?vid_1209&pid_0001", connection), HidOpenStatus::Failed);
    EXPECT_EQ(second.open("sim://hid1?vid_1209&pid_0001", connection), HidOpenStatus::Opened);
    EXPECT_TRUE(OneInterfaceHid::names("/dev/hidraw3?vid_1209&pid_0001", "/dev/hidraw3"));
    EXPECT_FALSE(OneInterfaceHid::names("/dev/hidraw31?vid_1209&pid_0001", "/dev/hidraw3"));
    EXPECT_FALSE(OneInterfaceHid::names("/dev/hidraw3?vid_1209&pid_0001", ""));
    const std::string windowsPath = "\\\\?\\hid#vid_1209&pid_0001#7&1a2b&0&0000#{4d1e55b2}";
    EXPECT_FALSE(OneInterfaceHid::names(windowsPath, "\\\\")); // not every interface
    EXPECT_TRUE(OneInterfaceHid::names(windowsPath, "\\\\?\\HID#VID_1209&PID_0001#7&1A2B&0&0000#{4D1E55B2}"));
}

TEST(TerminalMode, TheListAsksOnlyTheDevicesTheIdentityNames) {
    std::vector<SimulatedDeviceConfig> configs;
    std::string error;
    ASSERT_TRUE(SimulatedDeviceConfig::parseList("pid=0001,hw=1.0.01;pid=0002,block=0;pid=0002,busy",
                                                 configs, error));
    auto hid = std::make_shared<SimulatedHidSystem>(configs);
    std::ostringstream out, err;
    EXPECT_EQ(runDeviceList(hid, std::string("vid_1209&pid_0002"), "", true, out, err), 0);
    const std::vector<json> lines = jsonLines(out.str());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_FALSE(lines[0].contains("hardware"));
    EXPECT_EQ(lines[1]["block_size"], 0); // answered, with an unusable block size
    EXPECT_EQ(lines[1]["hardware"], "1.0.00");
    EXPECT_EQ(lines[2]["cause"], "device busy (opened elsewhere)");
    EXPECT_EQ(openDeviceListPaths().size(), 0u); // nothing stays open after a list

    std::ostringstream none, noneErr;
    EXPECT_EQ(runDeviceList(hid, std::string("pid_0002"), "", false, none, noneErr), 1);
    EXPECT_NE(noneErr.str().find("names no device"), std::string::npos);
}

TEST(TerminalMode, ISOTimesInUtc) {
    using namespace std::chrono;
    const system_clock::time_point time = sys_days{year{2024} / 2 / 29} + hours{23} + minutes{5} +
                                          seconds{9} + milliseconds{42};
    EXPECT_EQ(isoUtcTime(time), "2024-02-29T23:05:09.042Z");
}

namespace {

// The worker clock, with a hand to move it on: with no worker waiting in it, it
// runs at real speed.
class BenchClock : public FastWorkerClock {
public:
    BenchClock() : FastWorkerClock(20) {}
    int64_t nowMs() override { return FastWorkerClock::nowMs() + advancedMs_.load(); }
    void advance(int64_t ms) { advancedMs_ += ms; }

private:
    std::atomic<int64_t> advancedMs_{0};
};

// A factory bench on simulated devices with the worker's waits twenty times faster:
// the 10 s restart window lasts half a second, so devices restart within 200 ms.
struct Bench {
    explicit Bench(const std::string& devices, bool force = false) {
        std::string error;
        EXPECT_TRUE(SimulatedDeviceConfig::parseList(devices, configs, error)) << error;
        hid = std::make_shared<SimulatedHidSystem>(configs);
        qfu::PackOptions options;
        options.version = FirmwareVersion{1, 1, 0};
        options.image = qfu::randomImage(1024, 3);
        settings.filePath = dir.write("fw.qfu", qfu::pack(options));
        settings.identity = "vid_1209&pid_0001";
        settings.force = force;
        settings.logPath = dir.file("bench.log");
        watch = std::make_unique<FactoryWatch>(hid, settings, reporter, clock);
    }
    ~Bench() {
        watch.reset();
        closeOpenDeviceList();
    }
    // Steps the watch until the condition holds or the (real-time) limit passed.
    bool stepUntil(const std::function<bool()>& condition, int limitMs = 20000) {
        const auto start = std::chrono::steady_clock::now();
        while (!condition()) {
            if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(limitMs))
                return false;
            watch->step();
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        return true;
    }
    void stepFor(int realMs) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
        stepUntil([&] { return std::chrono::steady_clock::now() >= until; });
    }
    int completedUpdates(size_t index) const {
        int count = 0;
        hid->withDevice(index, [&](const SimulatedDevice& device) { count = device.completedUpdates(); });
        return count;
    }
    std::vector<json> log() const {
        std::ifstream in(settings.logPath);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        return jsonLines(text);
    }
    int handled() const {
        const WatchSummary s = watch->summary();
        return s.updated + s.failed + s.skipped;
    }

    TempDir dir;
    std::vector<SimulatedDeviceConfig> configs;
    std::shared_ptr<SimulatedHidSystem> hid;
    std::shared_ptr<BenchClock> clock = std::make_shared<BenchClock>();
    WatchSettings settings;
    std::ostringstream out, err;
    RunReporter reporter{out, err, true, RunReporter::Mode::Watch};
    std::unique_ptr<FactoryWatch> watch;
};

} // namespace

TEST(TerminalMode, FactoryModeUpdatesEachDeviceOncePerPlug) {
    Bench bench("restart=200,new-fw=1.1.00;fw=1.1.00;appear=300,restart=200,new-fw=1.1.00");
    ASSERT_TRUE(bench.watch->begin());
    ASSERT_TRUE(bench.stepUntil([&] { return bench.handled() == 3 && bench.log().size() == 3; }))
        << bench.out.str() << bench.err.str();
    bench.stepFor(1500); // three restart windows: the restarted devices are not taken again
    EXPECT_EQ(bench.completedUpdates(0), 1);
    EXPECT_EQ(bench.completedUpdates(1), 0);
    EXPECT_EQ(bench.completedUpdates(2), 1);
    WatchSummary summary = bench.watch->summary();
    EXPECT_EQ(summary.updated, 2);
    EXPECT_EQ(summary.skipped, 1);
    EXPECT_EQ(summary.failed, 0);
    const std::vector<json> log = bench.log();
    ASSERT_EQ(log.size(), 3u);
    for (const json& entry : log) {
        const bool first = entry["path"] == bench.hid->path(1);
        EXPECT_EQ(entry["result"], first ? "skipped" : "updated") << entry;
        EXPECT_EQ(entry["before"], first ? "1.1.00" : "1.0.00") << entry;
        EXPECT_EQ(entry["after"], "1.1.00") << entry; // asked again once it restarted
    }

    // Still there when the windows closed: the same plug. Unplugged then and plugged
    // again: a new plug, now up to date.
    bench.clock->advance(bench.settings.restartWindowMs + CUpdateWorker::kRetryWindowMs);
    bench.stepFor(100);
    EXPECT_EQ(bench.handled(), 3);
    bench.hid->unplug(0, 300);
    ASSERT_TRUE(bench.stepUntil([&] { return bench.handled() == 4; })) << bench.out.str() << bench.err.str();
    EXPECT_EQ(bench.completedUpdates(0), 1);
    EXPECT_EQ(bench.watch->summary().skipped, 2);

    // Output: every event names its device; the summary comes with the end.
    bench.watch->finish();
    bench.reporter.summary(2, 0, 2);
    const std::vector<json> events = jsonLines(bench.out.str());
    EXPECT_EQ(events.front()["event"], "waiting");
    for (size_t i = 1; i + 1 < events.size(); ++i)
        EXPECT_TRUE(events[i]["path"].is_string()) << events[i];
    EXPECT_EQ(events.back(), (json{{"event", "summary"}, {"updated", 2}, {"failed", 0}, {"skipped", 2}}));
}

TEST(TerminalMode, FactoryModeForcesFailsAndStops) {
    {
        // --force updates a device at the file's version too.
        Bench bench("fw=1.1.00,restart=200", true);
        ASSERT_TRUE(bench.watch->begin());
        ASSERT_TRUE(bench.stepUntil([&] { return bench.handled() == 1; }));
        EXPECT_EQ(bench.watch->summary().updated, 1);
        EXPECT_EQ(bench.completedUpdates(0), 1);
    }
    {
        // A refusing device fails once, is reported, and is not taken again while plugged.
        Bench bench("nak-at=1");
        ASSERT_TRUE(bench.watch->begin());
        ASSERT_TRUE(bench.stepUntil([&] { return bench.handled() == 1; }));
        bench.stepFor(1000);
        EXPECT_EQ(bench.watch->summary().failed, 1);
        EXPECT_EQ(bench.handled(), 1);
        const std::vector<json> log = bench.log();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0]["result"], "failed");
        EXPECT_EQ(log[0]["cause"].get<std::string>().rfind("device answered status 2 at block 1", 0), 0u);
    }
    {
        // Stopping: nothing new is taken; a second stop ends a running update as failed.
        Bench bench("latency=2;appear=100");
        ASSERT_TRUE(bench.watch->begin());
        ASSERT_TRUE(bench.stepUntil([&] { return bench.watch->updating(); }));
        bench.watch->stopTaking();
        bench.watch->abortUpdates();
        EXPECT_FALSE(bench.watch->updating());
        bench.stepFor(300);
        EXPECT_EQ(bench.watch->summary().failed, 1);
        EXPECT_EQ(bench.handled(), 1); // the second device, plugged later, was left alone
    }
    {
        // A file for other IDs than -id: is refused before any device is touched.
        Bench bench("");
        bench.settings.identity = "vid_1209&pid_0002";
        FactoryWatch other(bench.hid, bench.settings, bench.reporter, bench.clock);
        EXPECT_FALSE(other.begin());
        EXPECT_NE(bench.err.str().find("the update file is for vid_1209&pid_0001, not vid_1209&pid_0002"),
                  std::string::npos);
    }
}

TEST(TerminalMode, TheProductionLogIsCheckedAtStartAndALostLineFailsTheWatch) {
    TempDir dir;
    std::filesystem::create_directory(pathFromUtf8(dir.file("folder")));
    const std::string kept = dir.write("kept.log", std::vector<uint8_t>{'{', '}', '\n'});
    struct Case {
        std::string path;
        const char* problem; // "" when the log can be kept
    } cases[] = {
        {kept, ""},
        {dir.file("new.log"), ""},
        {dir.file("folder"), "is not a regular file"},
        {dir.file("no-folder/x.log"), "cannot be opened for appending"},
    };
    for (const Case& c : cases) {
        const std::string problem = logFileProblem(c.path);
        EXPECT_EQ(problem.empty(), !*c.problem) << c.path << ": " << problem;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
    EXPECT_EQ(std::filesystem::file_size(pathFromUtf8(kept)), 3u); // appended to, never truncated
#ifndef _WIN32
    // Opening a FIFO with no reader for writing would block the start for good.
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_NE(logFileProblem(dir.file("fifo")).find("is not a regular file"), std::string::npos);
#endif

    // A line that cannot be written later is told at once and fails the watch.
    Bench bench("restart=200,new-fw=1.1.00");
    ASSERT_TRUE(bench.watch->begin());
    std::filesystem::create_directory(pathFromUtf8(bench.settings.logPath));
    ASSERT_TRUE(bench.stepUntil([&] {
        return bench.err.str().find("cannot write the log") != std::string::npos;
    })) << bench.out.str() << bench.err.str();
    const WatchSummary summary = bench.watch->summary();
    EXPECT_EQ(summary.updated, 1);
    EXPECT_TRUE(summary.logFailed);
    EXPECT_EQ(summary.exitCode(false), 1);
    const WatchSummary clean{1, 0, 1};
    EXPECT_EQ(clean.exitCode(false), 0);
    EXPECT_EQ(clean.exitCode(true), 1);
}
