#pragma once

#include "FirmwareHeader.h"
#include "FirmwareVersion.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Holds the loaded update file, the device in use and the state of an update run.
// One per update page: files are loaded on the user-interface thread, the device
// work happens on the update worker.
class CFirmwareUpdater {
public:
    CFirmwareUpdater();
    ~CFirmwareUpdater();
    CFirmwareUpdater(const CFirmwareUpdater&) = delete;
    CFirmwareUpdater& operator=(const CFirmwareUpdater&) = delete;

    // Loads and checks an update file. On failure no file is loaded afterwards,
    // unless the IDs came from an identity text: then everything stays as it was.
    bool loadFile(const char* path);
    // The same from an already opened stream, which the updater takes over
    // (null counts as a file that could not be opened).
    bool loadFromStream(std::FILE* stream);
    void unloadFile();
    // Releases everything: file, device information, device.
    void teardown();

    bool fileLoaded() const { return stream_ != nullptr; }
    const FirmwareHeader& header() const { return header_; }
    uint16_t vendorId() const { return header_.vendorId(); }
    uint16_t productId() const { return header_.productId(); }
    std::string deviceName() const { return header_.deviceName(); }
    FirmwareVersion fileVersion() const { return header_.version(); }
    uint32_t imageLength() const { return header_.imageLength(); }
    // Null when no file is loaded. A loaded file always holds its whole image.
    const uint8_t* imageStart() const;
    size_t fileSize() const { return fileSize_; }
    bool explicitIdentity() const { return explicitIdentity_; }
    // Search IDs taken from an identity text instead of a file: written into the
    // header's ID fields, and from now on a failed load keeps what is loaded.
    void setExplicitIdentity(uint16_t vendorId, uint16_t productId);

    // Checksum of the whole file (bytes 12 to the end): CRC-32 polynomial
    // 0x04C11DB7 run through a right-shifting loop, initial 0, inverted at the end.
    static uint32_t fileChecksum(const uint8_t* bytes, size_t count);
    // Block CRC sent to the device: CRC-32/MPEG-2 over 32-bit little-endian words,
    // each fed from its most significant byte.
    static uint32_t blockCrc(const uint8_t* words, size_t wordCount);

private:
    bool failLoad();
    void resetDeviceInfo();

    std::FILE* stream_ = nullptr;
    std::unique_ptr<uint8_t[]> fileBuffer_;
    size_t fileSize_ = 0;

    // Update run counters, set at the start of every run.
    uint16_t blockIndex_ = 0;
    uint16_t lastBlockIndex_ = 0;
    uint32_t blockCrc_ = 0;
    uint32_t totalLength_ = 0;
    uint32_t remaining_ = 0;
    uint16_t leftInBlock_ = 0;
    uint16_t packetIndex_ = 0;
    const uint8_t* imageCursor_ = nullptr;

    FirmwareHeader header_;

    // What the device reported; 0xFF / 0 until it answers.
    FirmwareVersion hardwareVersion_{0xFF, 0xFF, 0xFF};
    FirmwareVersion firmwareVersion_{0xFF, 0xFF, 0xFF};
    uint32_t blockSize_ = 0;
    std::unique_ptr<uint8_t[]> staging_;
    size_t stagingSize_ = 0;

    bool explicitIdentity_ = false;
};
