#pragma once

#include <cstddef>
#include <cstdint>

// The checks an update file must pass before the program will load it, in the
// order they are made. Shared by the loader and by the packer's --inspect.
enum class UpdateFileCheck {
    Ok,
    TooLarge,         // larger than any update the program accepts
    TooShort,         // no complete 56-byte header
    BadMagic,         // does not start with "QUORIXFW"
    ChecksumMismatch, // the checksum field does not match bytes 12 to the end
    ImageOutsideFile, // the header's image length reaches past the end of the file
    EmptyImage,       // an image length of 0: nothing that could be written
};

// Files above this size are refused before anything is allocated for them; a real
// image is far smaller (a HID transfer moves some tens of kilobytes a second).
constexpr uint64_t kMaxUpdateFileSize = 256ull * 1024 * 1024;

UpdateFileCheck checkUpdateFile(const uint8_t* data, size_t size);

// One line for a person: what is wrong with the file.
const char* describeUpdateFileCheck(UpdateFileCheck check);
