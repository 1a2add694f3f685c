#include "../support/RefusingHid.h"
#include "../support/NoInstalledKeys.h"
#include "../support/TempDir.h"

#include "CFirmwareUpdater.h"
#include "DeviceSearch.h"
#include "DeviceListing.h"
#include "FastWorkerClock.h"
#include "QfuPacker.h"
#include "SimulatedHid.h"
#include "TerminalProgram.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

struct ProgramRun {
    int exitCode;
    std::string out;
    std::string err;
};

ProgramRun run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = runTerminalProgram(quoteArguments(args), args, out, err, false);
    return {code, out.str(), err.str()};
}

std::string demoFile(TempDir& dir) {
    qfu::PackOptions options;
    options.image = qfu::randomImage(8192, 1);
    qfu::stampVersion(options.image, options.version);
    return dir.write("demo.qfu", qfu::pack(options));
}

} // namespace

TEST(TerminalProgram, UpdatesTheSimulatedDeviceAndExitsZero) {
    TempDir dir;
    const ProgramRun result =
        run({"--simulate=block=64,latency=1", "-path:" + demoFile(dir), "-id:vid_1209&pid_0001"});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    const std::string expected[] = {"Update ready.\n",
                                    "Please connect the device you wish to update.\n",
                                    "Updating Quorix Demo Device\n",
                                    "Please don't interrupt or unplug the device.\n",
                                    "Update successful.\n"};
    size_t at = 0;
    for (const std::string& line : expected) {
        const size_t found = result.out.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "in\n" << result.out;
        at = found + line.size();
    }
    // Plain progress lines, rising, at most one per 10 %.
    std::istringstream lines(result.out);
    std::string line;
    int lastDecile = -1, progressLines = 0;
    while (std::getline(lines, line)) {
        if (line.empty() || line.back() != '%')
            continue;
        const int percent = std::stoi(line);
        EXPECT_GT(percent / 10, lastDecile) << result.out;
        lastDecile = percent / 10;
        ++progressLines;
    }
    EXPECT_GE(progressLines, 3) << result.out;
}

TEST(TerminalProgram, ABadFileOrBadOptionsExitNonZero) {
    TempDir dir;
    std::vector<uint8_t> bad = TempDir::read(demoFile(dir));
    bad[100] ^= 1;
    const std::string badPath = dir.write("bad.qfu", bad);
    const ProgramRun corrupt = run({"--simulate", "-id:vid_1209&pid_0001", "-path:" + badPath});
    EXPECT_EQ(corrupt.exitCode, 1);
    EXPECT_NE(corrupt.out.find("-- Update Error! --\nUpdate file not found, or corrupt\n"),
              std::string::npos)
        << corrupt.out;

    const ProgramRun badSimulation = run({"--simulate=colour=red", "-path:a", "-id:vid_1&pid_1"});
    EXPECT_EQ(badSimulation.exitCode, 2);
    EXPECT_NE(badSimulation.err.find("unknown simulated-device key \"colour\""), std::string::npos);
    const ProgramRun badEntry = run({"--simulate=pid=0001;pid=xyz", "-path:a", "-id:vid_1&pid_1"});
    EXPECT_EQ(badEntry.exitCode, 2);
    EXPECT_EQ(badEntry.err, "quorix-updater: simulated device 2 (\"pid=xyz\"): bad "
                            "simulated-device setting \"pid=xyz\"\n");

    EXPECT_EQ(run({"-path:a.qfu"}).exitCode, 1); // no update without both options
    std::ostringstream out;
    EXPECT_EQ(runCommandLineUpdate(std::make_shared<SimulatedHidSystem>(SimulatedDeviceConfig{}),
                                   parseUpdateOptions("-path:a.qfu"), out, false),
              1);
    const ProgramRun help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("2 for an unknown option"), std::string::npos);
    const ProgramRun version = run({"--version"});
    EXPECT_EQ(version.out, "1.3.00\n");
}

TEST(TerminalProgram, AnUnreachableDeviceIsExplained) {
    RefusingHid hid;
    EXPECT_EQ(findInaccessibleInterface(hid, "vid_1209&pid_0001"),
              "/dev/hidraw5?vid_1209&pid_0001");
    EXPECT_FALSE(findInaccessibleInterface(hid, "vid_1209&pid_0002"));

}

TEST(TerminalProgram, ADeviceAnotherUpdaterHoldsIsNeverWritten) {
    TempDir dir;
    auto hid = std::make_shared<SimulatedHidSystem>(SimulatedDeviceConfig{});
    CFirmwareUpdater holder(hid); // another updater's worker, in the middle of its run
    ASSERT_TRUE(holder.findById("vid_1209&pid_0001"));
    auto requests = [&] {
        size_t count = 0;
        hid->withDevice(0, [&](const SimulatedDevice& device) { count = device.requests().size(); });
        return count;
    };
    const size_t before = requests();

    std::ostringstream out, err;
    TerminalRunOptions options;
    options.err = &err;
    const int code = runCommandLineUpdate(
        hid, parseUpdateOptions("-path:\"" + demoFile(dir) + "\" -id:\"vid_1209&pid_0001\""), out, false,
        std::make_shared<FastWorkerClock>(50), options);
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.str().find("device busy: in use by another updater: sim://hid0?vid_1209&pid_0001"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(requests(), before);
    closeOpenDeviceList();
}

TEST(TerminalProgram, AFileThatCannotBeFlashedNeverReachesTheDevice) {
    TempDir dir;
    qfu::PackOptions empty;
    empty.image.clear();
    struct Case {
        std::string path, cause;
    } cases[] = {
        {dir.file("missing.qfu"), "update file not found: " + dir.file("missing.qfu")},
        {dir.write("empty.qfu", qfu::pack(empty)),
         "update file refused (empty): the update file holds no image"},
        {dir.write("short.qfu", std::vector<uint8_t>(20, 'Q')), "update file refused (header)"},
    };
    for (const Case& c : cases) {
        auto hid = std::make_shared<SimulatedHidSystem>(SimulatedDeviceConfig{});
        std::ostringstream out, err;
        TerminalRunOptions options;
        options.err = &err;
        const int code = runCommandLineUpdate(
            hid, parseUpdateOptions("-path:\"" + c.path + "\" -id:\"vid_1209&pid_0001\""), out, false,
            std::make_shared<FastWorkerClock>(50), options);
        EXPECT_EQ(code, 1) << c.path;
        EXPECT_NE(err.str().find("update failed: " + c.cause), std::string::npos) << err.str();
        EXPECT_NE(out.str().find("Update file not found, or corrupt"), std::string::npos) << out.str();
        hid->withDevice(0, [&](const SimulatedDevice& device) {
            EXPECT_TRUE(device.requests().empty()) << c.path; // not even asked for its versions
        });
        closeOpenDeviceList();
    }
}

TEST(TerminalProgram, AnUnknownOptionIsRefusedBeforeAnythingElse) {
    TempDir dir;
    const std::string saved = dir.file("saved.bin");
    for (const std::string option : {"--no-such-option", "--forse=1", "--Watch"}) {
        const ProgramRun result = run({"--simulate=save=" + saved, option, "-path:" + demoFile(dir),
                                       "-id:vid_1209&pid_0001", "--help"});
        EXPECT_EQ(result.exitCode, 2) << option;
        EXPECT_EQ(result.err.rfind("quorix-updater: unknown option " + option.substr(0, option.find('=')) +
                                       "\nusage:",
                                   0),
                  0u)
            << result.err;
        EXPECT_FALSE(std::filesystem::exists(saved)) << option;
    }
}

TEST(TerminalProgram, CollectionsOfOtherReportsAreListedMarkedAndNeverAsked) {
    // One unit with three collections; only the first has 65-byte reports both ways.
    class Collections : public HidSystem {
    public:
        Collections() {
            SimulatedDeviceConfig config;
            config.interfaces = 3;
            simulated_ = std::make_shared<SimulatedHidSystem>(config);
        }
        bool listInterfaces(std::vector<HidInterface>& interfaces) override {
            if (!simulated_->listInterfaces(interfaces))
                return false;
            for (size_t i = 0; i < interfaces.size(); ++i) {
                interfaces[i].inputReportLength = i == 0 ? 65 : 9;
                interfaces[i].outputReportLength = i == 0 ? 65 : 2;
            }
            return true;
        }
        HidOpenStatus open(const std::string& path, std::unique_ptr<HidConnection>& connection) override {
            ++opens;
            return simulated_->open(path, connection);
        }
        std::shared_ptr<SimulatedHidSystem> simulated_;
        int opens = 0;
    };
    auto hid = std::make_shared<Collections>();
    std::ostringstream out, err;
    EXPECT_EQ(runDeviceList(hid, std::string("vid_1209&pid_0001"), "", false, out, err), 0) << err.str();
    const std::string text = out.str();
    EXPECT_NE(text.find("sim://hid0?vid_1209&pid_0001  vid_1209&pid_0001  port sim-0  hardware 1.0.00"),
              std::string::npos) << text;
    for (const char* other : {"sim://hid1", "sim://hid2"})
        EXPECT_NE(text.find(std::string(other) + "?vid_1209&pid_0001  vid_1209&pid_0001  port sim-0  "
                                                 "(reports of 9/2 bytes: not for updates)\n"),
                  std::string::npos) << text;
    EXPECT_EQ(hid->opens, 1); // only the first was asked
    closeOpenDeviceList();
}
