#include "QfuPacker.h"

#include "ByteOrder.h"
#include "CFirmwareUpdater.h"
#include "Checksums.h"
#include "FirmwareHeader.h"
#include "SignaturePolicy.h"
#include "TerminalText.h"
#include "TextNumbers.h"
#include "UpdateFileCheck.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <ostream>
#include <sstream>

namespace qfu {

std::vector<uint8_t> pack(const PackOptions& options) {
    std::vector<uint8_t> file(FirmwareHeader::kSize + options.image.size(), 0);
    std::memcpy(file.data(), FirmwareHeader::kMagic, FirmwareHeader::kMagicSize);
    byteorder::writeLe16(&file[FirmwareHeader::kVendorOffset], options.vendorId);
    byteorder::writeLe16(&file[FirmwareHeader::kProductOffset], options.productId);
    const size_t nameLength = std::min(options.deviceName.size(), kMaxDeviceName);
    std::memcpy(&file[FirmwareHeader::kNameOffset], options.deviceName.data(), nameLength);
    file[FirmwareHeader::kVersionOffset] = options.version.major;
    file[FirmwareHeader::kVersionOffset + 1] = options.version.minor;
    file[FirmwareHeader::kVersionOffset + 2] = options.version.build;
    byteorder::writeLe32(&file[FirmwareHeader::kImageLengthOffset],
                         static_cast<uint32_t>(options.image.size()));
    std::copy(options.image.begin(), options.image.end(), file.begin() + FirmwareHeader::kSize);
    seal(file);
    return file;
}

void seal(std::vector<uint8_t>& file) {
    if (file.size() < FirmwareHeader::kChecksummedFrom)
        return;
    const size_t from = FirmwareHeader::kChecksummedFrom;
    byteorder::writeLe32(&file[FirmwareHeader::kChecksumOffset],
                         fileChecksum(file.data() + from, file.size() - from));
}

void stampVersion(std::vector<uint8_t>& image, const FirmwareVersion& version) {
    if (image.size() < 7)
        return;
    std::memcpy(image.data(), "QFWV", 4);
    image[4] = version.major;
    image[5] = version.minor;
    image[6] = version.build;
}

std::vector<uint8_t> randomImage(size_t size, uint64_t seed) {
    // splitmix64: tiny, and the same bytes on every platform.
    std::vector<uint8_t> image(size);
    uint64_t state = seed;
    for (size_t i = 0; i < size; i += 8) {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        for (size_t j = 0; j < 8 && i + j < size; ++j)
            image[i + j] = static_cast<uint8_t>(z >> (8 * j));
    }
    return image;
}

namespace {

std::string hex(uint32_t value, int digits) {
    std::ostringstream text;
    text << "0x" << std::hex << std::uppercase << std::setw(digits) << std::setfill('0') << value;
    return text.str();
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > kMaxUpdateFileSize + 1) {
        error = "cannot read " + path + " (unreadable or larger than 256 MiB)";
        return false;
    }
    in.seekg(0);
    bytes.resize(static_cast<size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

const char* kUsage =
    "usage: qfu-pack --vid HEX --pid HEX --name TEXT --version A.B.C\n"
    "                (--image FILE | --random BYTES [--seed N]) --out FILE\n"
    "       qfu-pack --inspect FILE [--signature SIG] [--trusted-key KEY.pub]...\n"
    "A --random image starts with \"QFWV\" and the version, as firmware images carry\n"
    "their own version; the simulated device reports it after an update.\n"
    "--inspect also shows the file's minisign signature (SIG, by default FILE.minisig)\n"
    "and whether the given trusted keys accept it.\n";

} // namespace

bool inspect(const std::vector<uint8_t>& file, std::ostream& out) {
    const UpdateFileCheck check = checkUpdateFile(file.data(), file.size());
    out << "file size:      " << file.size() << " bytes\n";
    if (check == UpdateFileCheck::TooShort || check == UpdateFileCheck::TooLarge)
        return false;

    FirmwareHeader header;
    header.assign(file.data());
    const size_t from = FirmwareHeader::kChecksummedFrom;
    const uint32_t computed = fileChecksum(file.data() + from, file.size() - from);
    const uint64_t imageEnd = FirmwareHeader::kSize + uint64_t{header.imageLength()};
    std::string magic(reinterpret_cast<const char*>(file.data()), FirmwareHeader::kMagicSize);
    for (char& c : magic)
        if (c < 0x20 || c > 0x7E)
            c = '.';

    out << "magic:          \"" << magic << "\" " << (header.magicMatches() ? "(ok)" : "(wrong)")
        << "\n"
        << "checksum:       " << hex(header.checksum(), 8) << " (computed " << hex(computed, 8)
        << (computed == header.checksum() ? ", ok)" : ", MISMATCH)") << "\n"
        << "vendor id:      " << hex(header.vendorId(), 4) << "\n"
        << "product id:     " << hex(header.productId(), 4) << "\n"
        << "device name:    \"" << terminalSafe(header.deviceName()) << "\"\n"
        << "byte 48:        " << hex(file[48], 2) << " (unused)\n"
        << "version:        " << header.version().text() << "\n"
        << "image length:   " << header.imageLength() << " bytes\n"
        << "size check:     "
        << (imageEnd <= file.size()
                ? "ok (" + std::to_string(file.size() - imageEnd) + " bytes after the image)"
                : "FAILED (image ends at " + std::to_string(imageEnd) + ")")
        << "\n";
    return check == UpdateFileCheck::Ok;
}

namespace {

// The signature lines of --inspect; false when the given keys refuse the file.
bool inspectSignature(const std::vector<uint8_t>& file, const std::string& path,
                      const std::string& signaturePath, const std::vector<std::string>& trustedKeys,
                      std::ostream& out, std::ostream& err) {
    SignaturePolicy policy;
    for (const std::string& key : trustedKeys)
        policy.addKeyFile(key);
    for (const std::string& problem : policy.problems())
        err << "qfu-pack: trusted key " << terminalSafe(problem) << "\n";
    if (!signaturePath.empty())
        policy.setSignatureFile(path, signaturePath);
    const std::string sigPath = policy.signaturePathFor(path);
    const SignatureCheck check = policy.checkFile(path, file.data(), file.size());
    if (check.cause == SignatureCause::NoSignature ||
        (check.status == SignatureStatus::None && check.cause == SignatureCause::None)) {
        out << "signature:      none (no " << terminalSafe(sigPath) << ")\n";
    } else {
        out << "signature:      " << terminalSafe(sigPath) << "\n";
        std::string error, text = readSmallFile(sigPath, error).value_or("");
        if (const auto parsed = minisign::parseSignature(text, error))
            out << "algorithm:      "
                << (parsed->prehashed ? "ED (BLAKE2b-512 of the file)" : "Ed (legacy: the file itself)")
                << "\n";
        if (!check.keyId.empty())
            out << "key id:         " << check.keyId << "\n"
                << "signed comment: \"" << terminalSafe(check.trustedComment) << "\"\n";
    }
    std::string verdict;
    switch (check.status) {
    case SignatureStatus::Trusted:
        verdict = "trusted (a given --trusted-key accepts it)";
        break;
    case SignatureStatus::Unknown:
        verdict = check.cause == SignatureCause::Malformed
                      ? "not checked (no --trusted-key given): " + check.causeText()
                      : "signed by an unknown key (no --trusted-key given)";
        break;
    case SignatureStatus::Refused:
        verdict = "refused by the given keys: " + check.causeText();
        break;
    case SignatureStatus::None:
        verdict = "unsigned";
        break;
    }
    out << "verdict:        " << terminalSafe(verdict) << "\n";
    return check.loads();
}

} // namespace

int runPacker(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    PackOptions options;
    std::string inspectPath, imagePath, outPath, signaturePath;
    std::vector<std::string> trustedKeys;
    uint64_t randomBytes = 0, seed = 1;
    bool haveVid = false, havePid = false, haveName = false, haveVersion = false,
         haveRandom = false;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--help" || option == "-h") {
            out << kUsage;
            return 0;
        }
        if (i + 1 >= args.size()) {
            err << "qfu-pack: " << option << " needs a value\n" << kUsage;
            return 2;
        }
        const std::string& value = args[++i];
        uint64_t number = 0;
        bool ok = true;
        if (option == "--vid") {
            ok = haveVid = parseUnsignedText(value, 16, 0xFFFF, number);
            options.vendorId = static_cast<uint16_t>(number);
        } else if (option == "--pid") {
            ok = havePid = parseUnsignedText(value, 16, 0xFFFF, number);
            options.productId = static_cast<uint16_t>(number);
        } else if (option == "--name") {
            ok = haveName = value.size() <= kMaxDeviceName;
            options.deviceName = value;
        } else if (option == "--version") {
            ok = haveVersion = parseVersionText(value, options.version);
        } else if (option == "--image") {
            imagePath = value;
        } else if (option == "--random") {
            ok = haveRandom = parseUnsignedText(value, 10, kMaxUpdateFileSize - FirmwareHeader::kSize,
                                          randomBytes);
        } else if (option == "--seed") {
            ok = parseUnsignedText(value, 10, UINT64_MAX, seed);
        } else if (option == "--out") {
            outPath = value;
        } else if (option == "--inspect") {
            inspectPath = value;
        } else if (option == "--signature") {
            signaturePath = value;
        } else if (option == "--trusted-key") {
            trustedKeys.push_back(value);
        } else {
            err << "qfu-pack: unknown option " << option << "\n" << kUsage;
            return 2;
        }
        if (!ok) {
            err << "qfu-pack: bad value for " << option << ": \"" << value << "\"\n";
            return 2;
        }
    }

    std::string error;
    if (!inspectPath.empty()) {
        std::vector<uint8_t> file;
        if (!readFile(inspectPath, file, error)) {
            err << "qfu-pack: " << error << "\n";
            return 1;
        }
        if (!inspect(file, out)) {
            err << "qfu-pack: " << inspectPath << " will not load: "
                << describeUpdateFileCheck(checkUpdateFile(file.data(), file.size())) << "\n";
            return 1;
        }
        if (!inspectSignature(file, inspectPath, signaturePath, trustedKeys, out, err)) {
            out << "result:         refused (signature)\n";
            return 1;
        }
        out << "result:         loads\n";
        return 0;
    }

    if (!haveVid || !havePid || !haveName || !haveVersion || outPath.empty() ||
        imagePath.empty() == !haveRandom) {
        err << "qfu-pack: --vid, --pid, --name, --version, --out and one of --image or --random "
               "are needed\n"
            << kUsage;
        return 2;
    }
    if (haveRandom) {
        options.image = randomImage(static_cast<size_t>(randomBytes), seed);
        stampVersion(options.image, options.version);
    } else {
        if (!readFile(imagePath, options.image, error)) {
            err << "qfu-pack: " << error << "\n";
            return 1;
        }
        if (options.image.size() > kMaxUpdateFileSize - FirmwareHeader::kSize) {
            err << "qfu-pack: " << imagePath << " is too large for an update file\n";
            return 1;
        }
    }
    if (!writeFile(outPath, pack(options))) {
        err << "qfu-pack: cannot write " << outPath << "\n";
        return 1;
    }
    return 0;
}

} // namespace qfu
