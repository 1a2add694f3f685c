#include "DeviceProtocol.h"

#include <cstring>

uint8_t reportChecksum(const uint8_t (&report)[kReportSize]) {
    unsigned sum = 0;
    for (size_t i = 0; i < kReportChecksumOffset; ++i)
        sum += report[i];
    return static_cast<uint8_t>(0u - sum);
}

void frameReport(uint8_t (&report)[kReportSize], const uint8_t* data, size_t length) {
    if (length > kMaxReportData)
        length = kMaxReportData;
    std::memset(report, 0, kReportSize);
    report[0] = kReportMarker;
    report[1] = static_cast<uint8_t>(length);
    if (length)
        std::memcpy(report + kReportDataOffset, data, length);
    report[kReportChecksumOffset] = reportChecksum(report);
}

bool reportWellFormed(const uint8_t (&report)[kReportSize]) {
    return report[0] == kReportMarker && report[kReportChecksumOffset] == reportChecksum(report);
}
