#include "../support/TempDir.h"

#include "ByteOrder.h"
#include "CFirmwareUpdater.h"
#include "Checksums.h"
#include "QfuPacker.h"
#include "UpdateFileCheck.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class UpdateFile : public ::testing::Test {
protected:
    static std::vector<uint8_t> demoFile(size_t imageSize = 64, uint64_t seed = 1) {
        qfu::PackOptions options;
        options.vendorId = 0x1234;
        options.productId = 0xABCD;
        options.deviceName = "Bench Unit";
        options.version = FirmwareVersion{1, 3, 0};
        options.image = qfu::randomImage(imageSize, seed);
        return qfu::pack(options);
    }

    std::string write(const std::vector<uint8_t>& bytes) {
        return dir.write("file" + std::to_string(fileCount++) + ".qfu", bytes);
    }

    bool loads(const std::vector<uint8_t>& bytes) {
        CFirmwareUpdater fresh;
        return fresh.loadFile(write(bytes).c_str());
    }

    TempDir dir;
    int fileCount = 0;
    CFirmwareUpdater updater;
};

} // namespace

TEST_F(UpdateFile, AValidFileLoadsAndAnswersEveryQuery) {
    const std::vector<uint8_t> file = demoFile(100);
    ASSERT_TRUE(updater.loadFile(write(file).c_str()));
    EXPECT_TRUE(updater.fileLoaded());
    EXPECT_EQ(updater.vendorId(), 0x1234);
    EXPECT_EQ(updater.productId(), 0xABCD);
    EXPECT_EQ(updater.deviceName(), "Bench Unit");
    EXPECT_EQ(updater.fileVersion().text(), "1.3.00");
    EXPECT_EQ(updater.imageLength(), 100u);
    ASSERT_NE(updater.imageStart(), nullptr);
    EXPECT_EQ(std::memcmp(updater.imageStart(), file.data() + 56, 100), 0);
    EXPECT_EQ(std::memcmp(updater.header().data(), file.data(), 56), 0);
}

TEST_F(UpdateFile, VersionsShowTwoBuildDigitsAndCompareByOrdinal) {
    EXPECT_EQ((FirmwareVersion{1, 3, 0}.text()), "1.3.00");
    EXPECT_EQ((FirmwareVersion{12, 255, 7}.text()), "12.255.07");
    EXPECT_LT((FirmwareVersion{1, 255, 255}.ordinal()), (FirmwareVersion{2, 0, 0}.ordinal()));
    EXPECT_LT((FirmwareVersion{1, 2, 255}.ordinal()), (FirmwareVersion{1, 3, 0}.ordinal()));
}

TEST_F(UpdateFile, MagicMustMatchExactly) {
    std::vector<uint8_t> file = demoFile();
    std::memcpy(file.data(), "quorixfw", 8);
    EXPECT_FALSE(loads(file));
    EXPECT_EQ(checkUpdateFile(file.data(), file.size()), UpdateFileCheck::BadMagic);
    for (size_t offset = 0; offset < 8; ++offset) {
        std::vector<uint8_t> changed = demoFile();
        changed[offset] ^= 0x01;
        EXPECT_EQ(checkUpdateFile(changed.data(), changed.size()), UpdateFileCheck::BadMagic)
            << "offset " << offset;
    }
}

TEST_F(UpdateFile, EveryByteFromOffset12OnIsCovered) {
    const std::vector<uint8_t> file = demoFile(24);
    ASSERT_TRUE(loads(file));
    for (size_t offset = 12; offset < file.size(); ++offset) {
        std::vector<uint8_t> changed = file;
        changed[offset] ^= 0x5A;
        EXPECT_EQ(checkUpdateFile(changed.data(), changed.size()),
                  UpdateFileCheck::ChecksumMismatch)
            << "offset " << offset;
    }
    std::vector<uint8_t> changed = file;
    changed[30] ^= 0x5A;
    EXPECT_FALSE(loads(changed));
}

TEST_F(UpdateFile, TheChecksumFieldIsNotCoveredByItself) {
    std::vector<uint8_t> file = demoFile();
    const uint32_t computed = fileChecksum(file.data() + 12, file.size() - 12);
    byteorder::writeLe32(&file[8], computed ^ 0x80000000u);
    EXPECT_EQ(fileChecksum(file.data() + 12, file.size() - 12), computed);
    EXPECT_EQ(checkUpdateFile(file.data(), file.size()), UpdateFileCheck::ChecksumMismatch);
    EXPECT_FALSE(loads(file));
}

TEST_F(UpdateFile, AFailedLoadAfterAGoodOneLeavesNoFileLoaded) {
    ASSERT_TRUE(updater.loadFile(write(demoFile()).c_str()));
    std::vector<uint8_t> bad = demoFile();
    bad[60] ^= 1;
    EXPECT_FALSE(updater.loadFile(write(bad).c_str()));
    EXPECT_EQ(updater.imageStart(), nullptr);
    EXPECT_EQ(updater.vendorId(), 0);
    EXPECT_EQ(updater.imageLength(), 0u);

    ASSERT_TRUE(updater.loadFile(write(demoFile()).c_str()));
    EXPECT_FALSE(updater.loadFile(dir.file("missing.qfu").c_str()));
    EXPECT_FALSE(updater.loadFile(nullptr));
}

TEST_F(UpdateFile, WithAnIdentityAFailedLoadLeavesEverythingAsItWas) {
    updater.setExplicitIdentity(0x1209, 0x0001);
    EXPECT_FALSE(updater.loadFile(dir.file("missing.qfu").c_str()));
    uint16_t vendorId = 0, productId = 0;
    ASSERT_TRUE(updater.targetIds(vendorId, productId));
    EXPECT_EQ(vendorId, 0x1209);
    EXPECT_EQ(productId, 0x0001);
    EXPECT_EQ(updater.vendorId(), 0); // the identity never goes into a header

    const std::vector<uint8_t> good = demoFile(80, 5);
    ASSERT_TRUE(updater.loadFile(write(good).c_str()));
    const uint8_t* image = updater.imageStart();
    EXPECT_EQ(updater.vendorId(), 0x1234); // the file's own IDs, whatever the identity says
    ASSERT_TRUE(updater.targetIds(vendorId, productId));
    EXPECT_EQ(vendorId, 0x1209); // while the search still follows the identity

    std::vector<uint8_t> bad = demoFile(80, 6);
    std::memcpy(bad.data(), "XXXXXXXX", 8);
    EXPECT_FALSE(updater.loadFile(write(bad).c_str()));
    EXPECT_TRUE(updater.fileLoaded());
    EXPECT_EQ(updater.imageStart(), image);
    EXPECT_EQ(std::memcmp(updater.header().data(), good.data(), 56), 0);
    EXPECT_EQ(std::memcmp(updater.imageStart(), good.data() + 56, 80), 0);

    // A good file replaces the loaded one even with the flag set.
    const std::vector<uint8_t> other = demoFile(16, 9);
    ASSERT_TRUE(updater.loadFile(write(other).c_str()));
    EXPECT_EQ(updater.imageLength(), 16u);
    EXPECT_EQ(std::memcmp(updater.imageStart(), other.data() + 56, 16), 0);
}

TEST_F(UpdateFile, AnEmptyImageIsRefused) {
    // Whole and checksummed, but an update from it would write nothing and still
    // end "successful"; a trailing byte outside the image changes nothing.
    std::vector<uint8_t> file = demoFile(0);
    ASSERT_EQ(file.size(), 56u);
    EXPECT_EQ(checkUpdateFile(file.data(), file.size()), UpdateFileCheck::EmptyImage);
    EXPECT_FALSE(loads(file));
    file.push_back(0x55);
    qfu::seal(file);
    EXPECT_EQ(checkUpdateFile(file.data(), file.size()), UpdateFileCheck::EmptyImage);
    EXPECT_FALSE(loads(file));
}

TEST_F(UpdateFile, ShortFilesAreRefused) {
    EXPECT_FALSE(loads({}));
    std::vector<uint8_t> magicOnly(FirmwareHeader::kMagic, FirmwareHeader::kMagic + 8);
    EXPECT_FALSE(loads(magicOnly));
    // Twelve bytes with the empty-range checksum would pass the checksum, but
    // have no header to speak of.
    std::vector<uint8_t> twelve = magicOnly;
    twelve.insert(twelve.end(), {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(fileChecksum(twelve.data() + 12, 0), 0xFFFFFFFFu);
    EXPECT_FALSE(loads(twelve));
    EXPECT_EQ(checkUpdateFile(twelve.data(), twelve.size()), UpdateFileCheck::TooShort);

    std::vector<uint8_t> header55 = demoFile(0);
    header55.pop_back();
    qfu::seal(header55);
    EXPECT_FALSE(loads(header55));
}

TEST_F(UpdateFile, AnImageReachingPastTheEndIsRefused) {
    std::vector<uint8_t> file = demoFile(64);
    file.resize(file.size() - 1); // truncated by one byte
    qfu::seal(file);
    EXPECT_EQ(checkUpdateFile(file.data(), file.size()), UpdateFileCheck::ImageOutsideFile);
    EXPECT_FALSE(loads(file));

    std::vector<uint8_t> huge = demoFile(64);
    byteorder::writeLe32(&huge[52], 0xFFFFFFFFu);
    qfu::seal(huge);
    EXPECT_EQ(checkUpdateFile(huge.data(), huge.size()), UpdateFileCheck::ImageOutsideFile);
    EXPECT_FALSE(loads(huge));

    // Bytes after the image are allowed, covered by the checksum and ignored.
    std::vector<uint8_t> trailing = demoFile(64);
    trailing.insert(trailing.end(), {1, 2, 3});
    qfu::seal(trailing);
    ASSERT_TRUE(updater.loadFile(write(trailing).c_str()));
    EXPECT_EQ(updater.imageLength(), 64u);
}

TEST_F(UpdateFile, TheDeviceNameStopsAtTheEndOfItsField) {
    std::vector<uint8_t> file = demoFile();
    std::memset(&file[16], 'N', 32);
    file[48] = 'X'; // the unused byte right after the name field
    qfu::seal(file);
    ASSERT_TRUE(updater.loadFile(write(file).c_str()));
    EXPECT_EQ(updater.deviceName(), std::string(32, 'N'));
}

TEST_F(UpdateFile, TeardownReleasesEverything) {
    updater.setExplicitIdentity(1, 2);
    ASSERT_TRUE(updater.loadFile(write(demoFile()).c_str()));
    updater.teardown();
    EXPECT_FALSE(updater.explicitIdentity());
    EXPECT_EQ(updater.imageStart(), nullptr);
    EXPECT_EQ(updater.vendorId(), 0);
    // Without the flag a failed load unloads again.
    ASSERT_TRUE(updater.loadFile(write(demoFile()).c_str()));
    EXPECT_FALSE(updater.loadFile(nullptr));
}
