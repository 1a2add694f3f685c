#include "../support/TempDir.h"

#include "CFirmwareUpdater.h"
#include "QfuPacker.h"
#include "UpdateFileCheck.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct PackerRun {
    int exitCode;
    std::string out;
    std::string err;
};

PackerRun runPacker(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = qfu::runPacker(args, out, err);
    return {code, out.str(), err.str()};
}

} // namespace

TEST(QfuPacker, RandomImagesAreReproducible) {
    EXPECT_EQ(qfu::randomImage(100, 1), qfu::randomImage(100, 1));
    EXPECT_NE(qfu::randomImage(100, 1), qfu::randomImage(100, 2));
    EXPECT_EQ(qfu::randomImage(13, 1).size(), 13u);
    const std::vector<uint8_t> longer = qfu::randomImage(64, 4);
    const std::vector<uint8_t> shorter = qfu::randomImage(61, 4);
    EXPECT_TRUE(std::equal(shorter.begin(), shorter.end(), longer.begin()));
}

TEST(QfuPacker, WritesAFileTheUpdaterLoads) {
    TempDir dir;
    const std::string out = dir.file("x.qfu");
    const PackerRun run = runPacker({"--vid", "1209", "--pid", "0001", "--name",
                                     "Quorix Demo Device", "--version", "1.1.0", "--random",
                                     "1000", "--seed", "9", "--out", out});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    CFirmwareUpdater updater;
    ASSERT_TRUE(updater.loadFile(out.c_str()));
    EXPECT_EQ(updater.vendorId(), 0x1209);
    EXPECT_EQ(updater.productId(), 0x0001);
    EXPECT_EQ(updater.deviceName(), "Quorix Demo Device");
    EXPECT_EQ(updater.fileVersion().text(), "1.1.00");
    EXPECT_EQ(updater.imageLength(), 1000u);

    // An image taken from a file is carried unchanged.
    const std::vector<uint8_t> image = qfu::randomImage(77, 3);
    const std::string imagePath = dir.write("image.bin", image);
    ASSERT_EQ(runPacker({"--vid", "abcd", "--pid", "FFFF", "--name", "", "--version", "0.0.1",
                         "--image", imagePath, "--out", out})
                  .exitCode,
              0);
    ASSERT_TRUE(updater.loadFile(out.c_str()));
    EXPECT_EQ(updater.vendorId(), 0xABCD);
    EXPECT_EQ(updater.productId(), 0xFFFF);
    EXPECT_EQ(std::vector<uint8_t>(updater.imageStart(), updater.imageStart() + 77), image);
}

TEST(QfuPacker, RefusesBadCommandLines) {
    const std::vector<std::string> good = {"--vid", "1209", "--pid", "1", "--name", "n",
                                           "--version", "1.0.0", "--random", "4", "--out", "o"};
    auto with = [&](const std::string& option, const std::string& value) {
        std::vector<std::string> args = good;
        for (size_t i = 0; i < args.size(); i += 2)
            if (args[i] == option)
                args[i + 1] = value;
        return runPacker(args);
    };
    EXPECT_EQ(with("--vid", "10000").exitCode, 2);
    EXPECT_EQ(with("--vid", "xyz").exitCode, 2);
    EXPECT_EQ(with("--pid", "").exitCode, 2);
    EXPECT_EQ(with("--name", std::string(32, 'n')).exitCode, 2);
    EXPECT_EQ(with("--version", "1.0").exitCode, 2);
    EXPECT_EQ(with("--random", "-5").exitCode, 2);
    EXPECT_EQ(runPacker({"--vid", "1209"}).exitCode, 2);
    EXPECT_EQ(runPacker({"--vid"}).exitCode, 2);
    const PackerRun unknown = runPacker({"--frobnicate", "1"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("unknown option --frobnicate"), std::string::npos);
    std::vector<std::string> both = good;
    both.insert(both.end(), {"--image", "img.bin"});
    EXPECT_EQ(runPacker(both).exitCode, 2);
}

TEST(QfuPacker, InspectNamesEveryFieldAndTheFailedCheck) {
    TempDir dir;
    qfu::PackOptions options;
    options.image = qfu::randomImage(256, 1);
    std::vector<uint8_t> file = qfu::pack(options);
    const std::string path = dir.write("a.qfu", file);

    const PackerRun good = runPacker({"--inspect", path});
    EXPECT_EQ(good.exitCode, 0) << good.err;
    for (const char* expected : {"magic:          \"QUORIXFW\" (ok)", "vendor id:      0x1209",
                                 "product id:     0x0001",
                                 "device name:    \"Quorix Demo Device\"",
                                 "version:        1.1.00", "image length:   256 bytes",
                                 "result:         loads"})
        EXPECT_NE(good.out.find(expected), std::string::npos) << expected << "\n" << good.out;

    file[100] ^= 1;
    const PackerRun corrupt = runPacker({"--inspect", dir.write("b.qfu", file)});
    EXPECT_EQ(corrupt.exitCode, 1);
    EXPECT_NE(corrupt.err.find("checksum does not match"), std::string::npos) << corrupt.err;
    EXPECT_NE(corrupt.out.find("MISMATCH"), std::string::npos);

    file.resize(300);
    qfu::seal(file);
    const PackerRun truncated = runPacker({"--inspect", dir.write("c.qfu", file)});
    EXPECT_EQ(truncated.exitCode, 1);
    EXPECT_NE(truncated.err.find("reaches past the end"), std::string::npos) << truncated.err;

    const PackerRun tiny = runPacker({"--inspect", dir.write("d.qfu", {'Q', 'U'})});
    EXPECT_EQ(tiny.exitCode, 1);
    EXPECT_NE(tiny.err.find("shorter than the 56-byte header"), std::string::npos);

    const PackerRun missing = runPacker({"--inspect", dir.file("none.qfu")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
}
