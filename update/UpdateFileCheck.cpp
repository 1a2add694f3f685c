#include "UpdateFileCheck.h"

#include "Checksums.h"
#include "FirmwareHeader.h"

UpdateFileCheck checkUpdateFile(const uint8_t* data, size_t size) {
    if (size > kMaxUpdateFileSize)
        return UpdateFileCheck::TooLarge;
    if (size < FirmwareHeader::kSize)
        return UpdateFileCheck::TooShort;
    FirmwareHeader header;
    header.assign(data);
    if (!header.magicMatches())
        return UpdateFileCheck::BadMagic;
    const size_t from = FirmwareHeader::kChecksummedFrom;
    if (fileChecksum(data + from, size - from) != header.checksum())
        return UpdateFileCheck::ChecksumMismatch;
    if (header.imageLength() > size - FirmwareHeader::kSize)
        return UpdateFileCheck::ImageOutsideFile;
    // An update that writes nothing would still end as "Update successful.".
    if (header.imageLength() == 0)
        return UpdateFileCheck::EmptyImage;
    return UpdateFileCheck::Ok;
}

const char* describeUpdateFileCheck(UpdateFileCheck check) {
    switch (check) {
    case UpdateFileCheck::Ok:
        return "the file loads";
    case UpdateFileCheck::TooLarge:
        return "the file is larger than 256 MiB";
    case UpdateFileCheck::TooShort:
        return "the file is shorter than the 56-byte header";
    case UpdateFileCheck::BadMagic:
        return "the file does not start with the magic \"QUORIXFW\"";
    case UpdateFileCheck::ChecksumMismatch:
        return "the checksum does not match the file's contents";
    case UpdateFileCheck::ImageOutsideFile:
        return "the image length reaches past the end of the file";
    case UpdateFileCheck::EmptyImage:
        return "the update file holds no image";
    }
    return "unknown check";
}
