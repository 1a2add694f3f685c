#pragma once

#include "FirmwareVersion.h"
#include "SignaturePolicy.h"

#include <string>
#include <vector>

// The lines the update page shows, built from the file and the device.
namespace updatetexts {

extern const char* const kUpdateError;   // "-- Update Error! --"
extern const char* const kConnectDevice; // "Please connect the device you wish to update."
extern const char* const kDeviceNotFound;
extern const char* const kFileNotLoadable;
extern const char* const kUpdateSuccessful;
// Added to the page's lines when the open-file button finds no file dialog.
extern const char* const kNoFileDialog;
// Added under the running update's lines when a file is dropped or chosen during it.
extern const char* const kDropRefused;
// A file refused for its signature: not from a trusted key (or none at all), or
// one that does not match the file.
extern const char* const kNotSignedByTrustedKey;
extern const char* const kSignatureMismatch;
// A command-line file whose IDs are not those of -id:.
extern const char* const kFileForOtherDevice;
// Added under the running update's lines when the window is closed or the program
// interrupted during it.
extern const char* const kClosingAfterUpdate;

std::vector<std::string> startLines();
// The page's line for a file its signature keeps from loading ("" when it loads).
std::string signatureRefusal(const SignatureCheck& check);
std::vector<std::string> commandLineStartLines();
// File loaded, no device present.
std::vector<std::string> waitingLines(const FirmwareVersion& fileVersion,
                                      const std::string& deviceName);
// File (or identity) and device: versions and the advice.
std::vector<std::string> deviceLines(const FirmwareVersion& fileVersion,
                                     const std::string& deviceName,
                                     const FirmwareVersion& hardware,
                                     const FirmwareVersion& firmware);
std::vector<std::string> updatingLines(const std::string& deviceName);
std::vector<std::string> resultLines(bool success);

// What to tell the user about updating firmware of this version with the file's.
std::string advice(const FirmwareVersion& fileVersion, const FirmwareVersion& firmware);

} // namespace updatetexts
