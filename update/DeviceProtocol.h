#pragma once

#include <cstddef>
#include <cstdint>

// The report protocol spoken with the device: 64-byte reports framed as
// [0xFF][length][data...][zeros][checksum], both directions.

constexpr size_t kReportSize = 64;
constexpr uint8_t kReportMarker = 0xFF;
constexpr size_t kReportDataOffset = 2;
constexpr size_t kReportChecksumOffset = 63;
constexpr size_t kMaxReportData = kReportChecksumOffset - kReportDataOffset; // 61

constexpr uint8_t CMD_GET_INFO = 0x15;
constexpr uint8_t CMD_BLOCK_START = 0x03;
constexpr uint8_t CMD_BLOCK_DATA = 0x01;
constexpr uint8_t CMD_CLOSE = 0x80;

// Request data offsets (the report offset is 2 more).
constexpr size_t kRequestVendor = 0;
constexpr size_t kRequestProduct = 2;
constexpr size_t kRequestFixed = 4; // always 0x02
constexpr uint8_t kRequestFixedValue = 0x02;
constexpr size_t kRequestPayloadLength = 5;
constexpr size_t kRequestCommand = 6;
constexpr size_t kRequestHeaderLength = 11; // L of every request without payload
constexpr size_t kRequestBlockIndex = 11;
constexpr size_t kRequestLastBlockIndex = 13;
constexpr size_t kRequestBlockCrc = 15;
constexpr size_t kBlockStartLength = 19;
constexpr size_t kRequestPacketIndex = 7;
constexpr size_t kRequestPayload = 11;

constexpr size_t kMaxPacketPayload = 48;
constexpr uint16_t kFinalPacketIndex = 0x3FFF;

// Response report offsets.
constexpr size_t kResponseStatus = 6;
constexpr uint8_t kStatusAccepted = 3;
constexpr size_t kResponseHardwareBuild = 13; // then minor, major
constexpr size_t kResponseFirmwareBuild = 17; // then minor, major
constexpr size_t kResponseBlockSize = 21;
constexpr uint8_t kNoFirmwareMajor = 0xFF;

// (0 - sum of bytes 0 to 62) mod 256: all 64 bytes then add up to 0.
uint8_t reportChecksum(const uint8_t (&report)[kReportSize]);
// Clears the report and frames length bytes of data (at most 61).
void frameReport(uint8_t (&report)[kReportSize], const uint8_t* data, size_t length);
// Marker and checksum are right.
bool reportWellFormed(const uint8_t (&report)[kReportSize]);
