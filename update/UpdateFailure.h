#pragma once

#include <cstdint>
#include <string>

// Why the last update attempt (or information query) failed, as the updater saw
// it. Written on the worker's thread; a copy travels with the worker's events.
struct UpdateFailure {
    enum class Kind {
        None,
        NoFile,              // neither a file nor an identity names a device
        FileForOtherDevice,  // the file's IDs are not the identity's
        NotConnected,        // no matching interface is present
        Busy,                // present, but another program holds it
        InUse,               // present, but another updater holds it
        PermissionDenied,    // present, but this user may not open it
        NoInfoReply,         // the information request went unanswered
        BlockSizeZero,       // the device reports block size 0
        BlockSizeTooLarge,   // value: the block size
        ImageNotWholeBlocks, // value: image length, other: block size
        TooManyBlocks,       // value: block count
        DeviceGone,          // at block: the interface went away
        ReportNotTaken,      // at block: a write failed while the device is still there
        NoReply,             // at block: no acknowledgement within 2 s
        BadChecksum,         // at block: only malformed replies came
        Refused,             // at block: value is the status the device answered
        Stopped,             // the run was cut short by the program
    };

    Kind kind = Kind::None;
    int block = -1; // the block being sent, -1 when not at a block
    uint32_t value = 0;
    uint32_t other = 0;

    bool atBlock() const { return block >= 0; }
    // One line for a person, for example "device gone at block 3".
    std::string text() const;
};
