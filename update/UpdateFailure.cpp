#include "UpdateFailure.h"

#include "HidSystem.h"

std::string UpdateFailure::text() const {
    const std::string at = atBlock() ? " at block " + std::to_string(block) : std::string();
    switch (kind) {
    case Kind::None:
        return "no failure";
    case Kind::NoFile:
        return "no update file loaded";
    case Kind::FileForOtherDevice:
        return "the update file is for another device";
    case Kind::NotConnected:
        return "device not connected";
    case Kind::Busy:
        return "device busy (opened elsewhere)";
    case Kind::InUse:
        return "device busy: in use by another updater";
    case Kind::PermissionDenied:
        return hidAccessDeniedCause();
    case Kind::NoInfoReply:
        return "no reply to the information request within 2 s";
    case Kind::BlockSizeZero:
        return "block size 0";
    case Kind::BlockSizeTooLarge:
        return "block size " + std::to_string(value) + " (more than 65535)";
    case Kind::ImageNotWholeBlocks:
        return "image not a whole number of the device's blocks (" + std::to_string(value) +
               " bytes, blocks of " + std::to_string(other) + ")";
    case Kind::TooManyBlocks:
        return "image of " + std::to_string(value) + " blocks (more than 65535)";
    case Kind::DeviceGone:
        return "device gone" + at;
    case Kind::ReportNotTaken:
        return "device took no report within 2 s" + at;
    case Kind::NoReply:
        return "no reply within 2 s" + at;
    case Kind::BadChecksum:
        return "bad reply checksum" + at;
    case Kind::Refused:
        return "device answered status " + std::to_string(value) + at;
    case Kind::Stopped:
        return "stopped before the end";
    }
    return "unknown failure";
}
