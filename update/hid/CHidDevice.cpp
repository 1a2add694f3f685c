#include "CHidDevice.h"

#include <cstring>

CHidDevice::CHidDevice(std::string path, std::unique_ptr<HidConnection> connection)
    : connection_(std::move(connection)) {
    where_.path = std::move(path);
}

CHidDevice::CHidDevice(HidInterface where, std::unique_ptr<HidConnection> connection)
    : where_(std::move(where)), connection_(std::move(connection)) {}

CHidDevice::CHidDevice(const CHidDevice& other)
    : where_(other.where_), connection_(other.connection_ ? other.connection_->duplicate() : nullptr) {
}

CHidDevice& CHidDevice::operator=(const CHidDevice& other) {
    if (this != &other) {
        CHidDevice copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void CHidDevice::close() {
    connection_.reset();
    where_ = HidInterface{};
}

bool CHidDevice::writeReport(const uint8_t (&report)[kReportSize], int timeoutMs) {
    if (!connection_)
        return false;
    uint8_t transfer[kHidTransferSize] = {0};
    std::memcpy(transfer + 1, report, kReportSize);
    return connection_->write(transfer, timeoutMs);
}

bool CHidDevice::readReport(uint8_t (&report)[kReportSize], int timeoutMs) {
    if (!connection_)
        return false;
    uint8_t transfer[kHidTransferSize] = {0};
    if (!connection_->read(transfer, timeoutMs))
        return false;
    std::memcpy(report, transfer + 1, kReportSize);
    return true;
}
