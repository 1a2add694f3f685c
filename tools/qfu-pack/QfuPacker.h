#pragma once

#include "FirmwareVersion.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

// Writes and inspects update files. The updater itself only reads them; this code
// serves the qfu-pack tool, the build's demo file and the tests' fixtures.
namespace qfu {

struct PackOptions {
    uint16_t vendorId = 0x1209;
    uint16_t productId = 0x0001;
    std::string deviceName = "Quorix Demo Device"; // at most 31 characters
    FirmwareVersion version{1, 1, 0};
    std::vector<uint8_t> image;
};

constexpr size_t kMaxDeviceName = 31; // the field is 32 bytes and NUL-terminated

// A complete, valid update file.
std::vector<uint8_t> pack(const PackOptions& options);
// Recomputes the checksum field after a file's bytes were changed (tests use it
// to build files that are well-formed apart from one chosen fault).
void seal(std::vector<uint8_t>& file);
// Reproducible pseudo-random bytes for a test image.
std::vector<uint8_t> randomImage(size_t size, uint64_t seed);
// Marks an image (of at least 7 bytes) with its version: "QFWV", major, minor,
// build at its start, the way the simulated device learns its new version.
void stampVersion(std::vector<uint8_t>& image, const FirmwareVersion& version);

// Prints every header field and the checks; returns true when the file would load.
bool inspect(const std::vector<uint8_t>& file, std::ostream& out);

// The command line of the tool; returns the process exit code.
int runPacker(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace qfu
