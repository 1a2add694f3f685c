#pragma once

#include <cstddef>
#include <cstdint>

// The two checksums of an update: the file's own and the one the device checks per
// block. The updater and the simulated device must compute them alike.

// Checksum of the whole file (bytes 12 to the end): CRC-32 polynomial 0x04C11DB7
// run through a right-shifting loop, initial 0, inverted at the end.
uint32_t fileChecksum(const uint8_t* bytes, size_t count);

// Block CRC sent to the device: CRC-32/MPEG-2 over 32-bit little-endian words, each
// fed from its most significant byte.
uint32_t blockCrc(const uint8_t* words, size_t wordCount);
