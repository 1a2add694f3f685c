#include "UpdateTexts.h"

#include "DeviceProtocol.h"

namespace updatetexts {

const char* const kUpdateError = "-- Update Error! --";
const char* const kConnectDevice = "Please connect the device you wish to update.";
const char* const kDeviceNotFound = "Device not found";
const char* const kFileNotLoadable = "Update file not found, or corrupt";
const char* const kUpdateSuccessful = "Update successful.";
const char* const kNoFileDialog = "No file dialog: drop the file here.";
const char* const kDropRefused = "Not loaded: an update is running.";
const char* const kNotSignedByTrustedKey = "Not loaded: the file is not signed by a trusted key.";
const char* const kSignatureMismatch = "Not loaded: its signature does not match the file.";
const char* const kFileForOtherDevice = "The update file is for another device";
const char* const kClosingAfterUpdate = "Closing when the update has finished.";

namespace {

std::string fileLine(const FirmwareVersion& version) {
    return "Firmware update ready (Version: " + version.text() + ")";
}

std::string deviceLine(const std::string& name) {
    return "Device: " + name;
}

} // namespace

std::vector<std::string> startLines() {
    return {"Please locate your firmware upgrade", "and load the file."};
}

std::string signatureRefusal(const SignatureCheck& check) {
    if (check.loads())
        return "";
    // A trusted key's signature that fails means a changed file (or comment);
    // everything else is a file no trusted key vouches for.
    return check.cause == SignatureCause::BadSignature ||
                   check.cause == SignatureCause::BadGlobalSignature
               ? kSignatureMismatch
               : kNotSignedByTrustedKey;
}

std::vector<std::string> commandLineStartLines() {
    return {"Update ready.", kConnectDevice};
}

std::vector<std::string> waitingLines(const FirmwareVersion& fileVersion,
                                      const std::string& deviceName) {
    return {fileLine(fileVersion), deviceLine(deviceName), kConnectDevice};
}

std::string advice(const FirmwareVersion& fileVersion, const FirmwareVersion& firmware) {
    if (firmware.major == kNoFirmwareMajor)
        return "Ready to update this firmware file";
    if (firmware.ordinal() < fileVersion.ordinal())
        return "Ready to update";
    return "Are you sure you want to update this firmware?";
}

std::vector<std::string> deviceLines(const FirmwareVersion& fileVersion,
                                     const std::string& deviceName,
                                     const FirmwareVersion& hardware,
                                     const FirmwareVersion& firmware) {
    return {fileLine(fileVersion), deviceLine(deviceName),
            "Hardware version: " + hardware.text(),
            firmware.major == kNoFirmwareMajor ? "-- No Firmware on the device! --"
                                               : "Firmware version: " + firmware.text(),
            advice(fileVersion, firmware)};
}

std::vector<std::string> updatingLines(const std::string& deviceName) {
    return {"Updating " + deviceName, "Please don't interrupt or unplug the device."};
}

std::vector<std::string> resultLines(bool success) {
    return {success ? kUpdateSuccessful : kUpdateError};
}

} // namespace updatetexts
