#include "DeviceProbe.h"

#include "CFirmwareUpdater.h"
#include "DeviceProtocol.h"
#include "OneInterfaceHid.h"

bool idsInPath(const std::string& path, uint16_t& vendorId, uint16_t& productId) {
    return CFirmwareUpdater::parseIdentity(path.c_str(), vendorId, productId);
}

DeviceReport probeDevice(const std::shared_ptr<HidSystem>& hid, const std::string& path) {
    DeviceReport report;
    uint16_t vendorId = 0, productId = 0;
    if (!idsInPath(path, vendorId, productId)) {
        report.failure.kind = UpdateFailure::Kind::NotConnected;
        return report;
    }
    CFirmwareUpdater updater(std::make_shared<OneInterfaceHid>(hid, path));
    updater.setExplicitIdentity(vendorId, productId);
    const bool known = updater.queryInfo();
    report.failure = known ? UpdateFailure{} : updater.lastFailure();
    // A block size the updater cannot use still came in a valid answer.
    report.answered = known || report.failure.kind == UpdateFailure::Kind::BlockSizeZero ||
                      report.failure.kind == UpdateFailure::Kind::BlockSizeTooLarge;
    if (report.answered) {
        report.hardware = updater.hardwareVersion();
        report.firmware = updater.firmwareVersion();
        report.blockSize = updater.blockSize();
    }
    return report; // the updater closes the device without a close request
}

std::string firmwareText(const DeviceReport& report) {
    if (!report.answered)
        return "";
    return report.firmware.major == kNoFirmwareMajor ? "none" : report.firmware.text();
}
