// Loads arbitrary bytes as an update file through the real stream loader and reads
// everything a loaded file offers, the way an update run would.
#include "CFirmwareUpdater.h"
#include "Checksums.h"
#include "UpdateFileCheck.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::FILE* streamOver(std::vector<uint8_t>& bytes) {
    // fmemopen wants a non-empty buffer; an empty file is a zero-length read.
    return bytes.empty() ? std::tmpfile() : fmemopen(bytes.data(), bytes.size(), "rb");
}

void require(bool condition) {
    if (!condition)
        std::abort();
}

uint32_t walkImage(const CFirmwareUpdater& updater) {
    // Block CRCs over whole words of the image, as a 256-byte-block update reads it.
    uint32_t sum = 0;
    const uint8_t* image = updater.imageStart();
    const uint32_t length = updater.imageLength();
    for (uint32_t offset = 0; offset < length; offset += 256) {
        const uint32_t block = length - offset < 256 ? length - offset : 256;
        sum ^= blockCrc(image + offset, block / 4);
    }
    return sum + static_cast<uint32_t>(updater.deviceName().size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    // Mutations almost never keep the checksum right, so inputs whose unused header
    // byte 48 is odd get a correct one: that lets the fuzzer reach the checks behind it.
    if (bytes.size() >= 56 && (bytes[48] & 1)) {
        const uint32_t sum = fileChecksum(bytes.data() + 12, bytes.size() - 12);
        for (int i = 0; i < 4; ++i)
            bytes[8 + i] = static_cast<uint8_t>(sum >> (8 * i));
    }
    const bool valid = checkUpdateFile(bytes.data(), bytes.size()) == UpdateFileCheck::Ok;

    CFirmwareUpdater plain;
    const bool loaded = plain.loadFromStream(streamOver(bytes));
    require(loaded == valid);
    require(plain.fileLoaded() == loaded);
    if (loaded) {
        require(plain.fileSize() == bytes.size());
        require(56u + uint64_t{plain.imageLength()} <= bytes.size());
        volatile uint32_t sink = walkImage(plain);
        (void)sink;
    }

    // With an identity set, a failed load must keep the IDs the device is searched with.
    CFirmwareUpdater byIdentity;
    byIdentity.setExplicitIdentity(0x1209, 0x0001);
    const bool loadedAgain = byIdentity.loadFromStream(streamOver(bytes));
    require(loadedAgain == valid);
    uint16_t vendorId = 0, productId = 0;
    require(byIdentity.targetIds(vendorId, productId) && vendorId == 0x1209 && productId == 0x0001);
    return 0;
}
