#include "../support/TempDir.h"

#include "SimulatedDeviceConfig.h"
#include "SimulatedHid.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

TEST(SimulatedDeviceConfig, ParsesEveryKey) {
    SimulatedDeviceConfig config;
    std::string error;
    ASSERT_TRUE(SimulatedDeviceConfig::parse(
        "vid=abcd,pid=00FF,hw=2.1.03,fw=1.0.07,new-fw=1.1.00,block=48,latency=1,appear=50,"
        "restart=0,unplug-at=3,replug-after=1000,nak-at=4,bad-checksum-at=5,silent-at=6,once,busy,count=2",
        config, error))
        << error;
    EXPECT_EQ(config.vendorId, 0xABCD);
    EXPECT_EQ(config.productId, 0x00FF);
    EXPECT_EQ(config.hardware, (FirmwareVersion{2, 1, 3}));
    EXPECT_EQ(config.firmware, (FirmwareVersion{1, 0, 7}));
    EXPECT_EQ(config.newFirmware, (FirmwareVersion{1, 1, 0}));
    EXPECT_FALSE(config.noFirmware);
    EXPECT_EQ(config.blockSize, 48u);
    EXPECT_EQ(config.latencyMs, 1);
    EXPECT_EQ(config.appearMs, 50);
    EXPECT_EQ(config.restartMs, 0);
    EXPECT_EQ(config.unplugAt, 3);
    EXPECT_EQ(config.replugAfterMs, 1000);
    EXPECT_EQ(config.nakAt, 4);
    EXPECT_EQ(config.badChecksumAt, 5);
    EXPECT_EQ(config.silentAt, 6);
    EXPECT_TRUE(config.once);
    EXPECT_TRUE(config.busy);
    EXPECT_EQ(config.count, 2);

    SimulatedDeviceConfig defaults;
    ASSERT_TRUE(SimulatedDeviceConfig::parse("", defaults, error));
    EXPECT_EQ(defaults.vendorId, 0x1209);
    EXPECT_EQ(defaults.blockSize, 256u);
    EXPECT_EQ(defaults.unplugAt, -1);
    ASSERT_TRUE(SimulatedDeviceConfig::parse("fw=none", defaults, error));
    EXPECT_TRUE(defaults.noFirmware);
}

TEST(SimulatedDeviceConfig, RefusesUnknownKeysAndBadValues) {
    for (const char* bad : {"colour=red", "vid=12345", "vid=", "vid", "pid=xyz", "hw=1.2",
                            "fw=1.2.256", "block=-1", "latency=fast", "count=0", "count=17",
                            "once=1", "busy=yes", "unplug-at=", "nak-at=1.5", "new-fw=none"}) {
        SimulatedDeviceConfig config;
        std::string error;
        EXPECT_FALSE(SimulatedDeviceConfig::parse(bad, config, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    SimulatedDeviceConfig config;
    std::string error;
    SimulatedDeviceConfig::parse("block=64,colour=red", config, error);
    EXPECT_NE(error.find("unknown simulated-device key \"colour\""), std::string::npos) << error;
}

TEST(SimulatedDeviceConfig, SeveralDevicesAreEntriesSeparatedBySemicolons) {
    TempDir dir;
    const std::string folder = dir.file("");
    struct Case {
        std::string text;
        std::vector<uint16_t> productIds; // one per entry
        std::vector<int> counts;
        std::vector<std::string> savePaths;
    };
    const Case cases[] = {
        {"", {0x0001}, {1}, {""}},
        {"pid=0001,hw=1.0.01;pid=0002,hw=2.0.02", {0x0001, 0x0002}, {1, 1}, {"", ""}},
        {"pid=0003;", {0x0003}, {1}, {""}}, // a trailing ';' adds no device
        {";;pid=0004", {0x0004}, {1}, {""}},
        {"count=2;pid=0002,count=3", {0x0001, 0x0002}, {2, 3}, {"", ""}},
        {"save=" + folder + "a.bin;pid=0002,save=" + folder + "b.bin",
         {0x0001, 0x0002},
         {1, 1},
         {folder + "a.bin", folder + "b.bin"}},
        // Anything but ',' and ';' belongs to the path, '=' and spaces included.
        {"save=" + folder + "my image=1 (x).bin", {0x0001}, {1}, {folder + "my image=1 (x).bin"}},
    };
    for (const Case& c : cases) {
        std::vector<SimulatedDeviceConfig> configs;
        std::string error;
        ASSERT_TRUE(SimulatedDeviceConfig::parseList(c.text, configs, error)) << c.text << error;
        ASSERT_EQ(configs.size(), c.productIds.size()) << c.text;
        for (size_t i = 0; i < configs.size(); ++i) {
            EXPECT_EQ(configs[i].productId, c.productIds[i]) << c.text;
            EXPECT_EQ(configs[i].count, c.counts[i]) << c.text;
            EXPECT_EQ(configs[i].savePath, c.savePaths[i]) << c.text;
        }
    }

    std::vector<SimulatedDeviceConfig> configs;
    std::string error;
    ASSERT_TRUE(
        SimulatedDeviceConfig::parseList("pid=0001,hw=1.0.01;pid=0002,hw=2.0.02", configs, error));
    EXPECT_EQ(configs[0].hardware, (FirmwareVersion{1, 0, 1}));
    EXPECT_EQ(configs[1].hardware, (FirmwareVersion{2, 0, 2}));
}

TEST(SimulatedDeviceConfig, EveryDeviceOfEveryEntryHasItsOwnPath) {
    std::vector<SimulatedDeviceConfig> configs;
    std::string error;
    ASSERT_TRUE(
        SimulatedDeviceConfig::parseList("count=2;vid=ABCD,pid=00EF,count=2;", configs, error));
    SimulatedHidSystem hid(configs);
    ASSERT_EQ(hid.deviceCount(), 4u);
    std::set<std::string> paths;
    for (size_t i = 0; i < hid.deviceCount(); ++i)
        paths.insert(hid.path(i));
    EXPECT_EQ(paths.size(), 4u);
    EXPECT_NE(hid.path(1).find("vid_1209&pid_0001"), std::string::npos) << hid.path(1);
    EXPECT_NE(hid.path(2).find("vid_abcd&pid_00ef"), std::string::npos) << hid.path(2);
    std::vector<std::string> listed;
    ASSERT_TRUE(hid.listPaths(listed));
    EXPECT_EQ(listed.size(), 4u);
}

TEST(SimulatedDeviceConfig, RefusesBadEntriesAndSharedSavePaths) {
    TempDir dir;
    const std::string a = dir.file("a.bin");
    struct Case {
        std::string text;
        std::string reason; // part of the one-line error
    };
    const Case cases[] = {
        {"pid=0001;pid=xyz", "simulated device 2 (\"pid=xyz\"): bad simulated-device setting"},
        {"pid=0001;;colour=red",
         "simulated device 3 (\"colour=red\"): unknown simulated-device key"},
        {"save=" + a + ";pid=0002,save=" + a, "simulated devices 1 and 2 both write save path"},
        {"save=" + a + ";pid=0002,save=" + dir.file("./sub/../a.bin"), "both write save path"},
        {"save=" + a + ",count=2", "devices (count) would all write save path"},
        {"save=", "bad simulated-device setting \"save=\""},
        {"save=" + dir.file("missing/a.bin"), "does not exist"},
        {"save=" + dir.file(""), "is a folder"},
    };
    std::filesystem::create_directories(dir.file("sub"));
    for (const Case& c : cases) {
        std::vector<SimulatedDeviceConfig> configs;
        std::string error;
        EXPECT_FALSE(SimulatedDeviceConfig::parseList(c.text, configs, error)) << c.text;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << "\n" << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    // One device's settings cannot hide a second device.
    SimulatedDeviceConfig config;
    std::string error;
    EXPECT_FALSE(SimulatedDeviceConfig::parse("save=" + a + ";pid=0002", config, error));
}
