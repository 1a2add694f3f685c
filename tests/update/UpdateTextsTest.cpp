#include "UpdateTexts.h"

#include <gtest/gtest.h>

using updatetexts::advice;

TEST(UpdateTexts, AdviceComparesWholeVersions) {
    EXPECT_EQ(advice({1, 2, 5}, {1, 2, 5}), "Are you sure you want to update this firmware?");
    EXPECT_EQ(advice({1, 2, 5}, {1, 2, 4}), "Ready to update");
    EXPECT_EQ(advice({1, 9, 99}, {2, 0, 0}), "Are you sure you want to update this firmware?");
    EXPECT_EQ(advice({1, 0, 0}, {0, 255, 255}), "Ready to update");
    EXPECT_EQ(advice({1, 0, 0}, {0xFF, 0, 0}), "Ready to update this firmware file");
    EXPECT_EQ(advice({1, 0, 0}, {0xFF, 0xFF, 0xFF}), "Ready to update this firmware file");
}

TEST(UpdateTexts, LinesReadAsThePageShowsThem) {
    EXPECT_EQ(updatetexts::waitingLines({1, 0, 7}, "Pad"),
              (std::vector<std::string>{"Firmware update ready (Version: 1.0.07)", "Device: Pad",
                                        "Please connect the device you wish to update."}));
    EXPECT_EQ(updatetexts::deviceLines({1, 1, 0}, "Pad", {2, 0, 1}, {1, 0, 0}),
              (std::vector<std::string>{"Firmware update ready (Version: 1.1.00)", "Device: Pad",
                                        "Hardware version: 2.0.01", "Firmware version: 1.0.00",
                                        "Ready to update"}));
    // A failed information query shows unreported versions.
    EXPECT_EQ(updatetexts::deviceLines({1, 1, 0}, "Pad", {255, 255, 255}, {255, 255, 255})[2],
              "Hardware version: 255.255.255");
    EXPECT_EQ(updatetexts::deviceLines({1, 1, 0}, "Pad", {1, 0, 0}, {0xFF, 3, 4})[3],
              "-- No Firmware on the device! --");
    EXPECT_EQ(updatetexts::updatingLines("Pad"),
              (std::vector<std::string>{"Updating Pad",
                                        "Please don't interrupt or unplug the device."}));
    EXPECT_EQ(updatetexts::resultLines(false), (std::vector<std::string>{"-- Update Error! --"}));
}
