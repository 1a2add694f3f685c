#pragma once

#include "TempDir.h"

#include "CFirmwareUpdater.h"
#include "QfuPacker.h"
#include "SimulatedHid.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// An updater wired to simulated devices configured by text (several devices
// separated by ';'), plus a place for files.
struct SimulatedSetup {
    explicit SimulatedSetup(const std::string& configText = "") {
        std::string error;
        EXPECT_TRUE(SimulatedDeviceConfig::parseList(configText, configs, error)) << error;
        if (!configs.empty()) config = configs.front();
        hid = std::make_shared<SimulatedHidSystem>(configs);
        updater = std::make_unique<CFirmwareUpdater>(hid);
    }

    // Packs an image for the (first) configured device and writes it to a file.
    std::string makeFile(const std::vector<uint8_t>& imageBytes,
                         FirmwareVersion version = {1, 1, 0}) {
        return makeFileFor(config, imageBytes, version);
    }
    std::string makeFileFor(const SimulatedDeviceConfig& target,
                            const std::vector<uint8_t>& imageBytes,
                            FirmwareVersion version = {1, 1, 0}) {
        qfu::PackOptions options;
        options.vendorId = target.vendorId;
        options.productId = target.productId;
        options.version = version;
        options.image = imageBytes;
        return dir.write("update" + std::to_string(files++) + ".qfu", qfu::pack(options));
    }

    bool load(size_t imageSize, uint64_t seed = 1) {
        image = qfu::randomImage(imageSize, seed);
        return updater->loadFile(makeFile(image).c_str());
    }

    std::vector<SimulatedDevice::Request> requests(size_t index = 0) const {
        std::vector<SimulatedDevice::Request> copy;
        hid->withDevice(index, [&](const SimulatedDevice& device) { copy = device.requests(); });
        return copy;
    }

    std::vector<uint8_t> storedImage(size_t index = 0) const {
        std::vector<uint8_t> copy;
        hid->withDevice(index, [&](const SimulatedDevice& device) { copy = device.image(); });
        return copy;
    }

    std::vector<SimulatedDeviceConfig> configs;
    SimulatedDeviceConfig config; // the first
    std::shared_ptr<SimulatedHidSystem> hid;
    std::unique_ptr<CFirmwareUpdater> updater;
    std::vector<uint8_t> image;
    TempDir dir;
    int files = 0;
};
