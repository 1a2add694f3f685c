#include "SimulatedDeviceConfig.h"

#include <gtest/gtest.h>

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
