// Signatures made once by the minisign tool (tests/update/signature-data: two public
// keys, an update file and its signatures), checked the same way on both targets.
#include "CFirmwareUpdater.h"
#include "FileAccess.h"
#include "Minisign.h"
#include "QfuPacker.h"
#include "SignaturePolicy.h"
#include "TempDir.h"
#include "UpdateTexts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

const std::string kData = QUORIX_SIGNATURE_DATA;
constexpr const char* kMakerKeyId = "7C1BA6C3779B5E79";

std::string readText(const std::string& name) {
    std::ifstream in(kData + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> readBytes(const std::string& name) {
    const std::string text = readText(name);
    return std::vector<uint8_t>(text.begin(), text.end());
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(pathFromUtf8(path), std::ios::binary) << text;
}

std::shared_ptr<SignaturePolicy> policyTrusting(std::initializer_list<const char*> keys) {
    auto policy = std::make_shared<SignaturePolicy>();
    for (const char* key : keys)
        EXPECT_TRUE(policy->addKeyFile(kData + "/" + key)) << key;
    return policy;
}

// The line of the signature file that starts with prefix, changed by change.
std::string withLineChanged(std::string text, const std::string& prefix, size_t offset, char to) {
    const size_t line = text.find("\n" + prefix);
    const size_t at = line == std::string::npos ? offset : line + 1 + offset;
    text[at] = text[at] == to ? char(to + 1) : to;
    return text;
}

TEST(Signature, MinisignKnownAnswers) {
    std::string error;
    const auto key = minisign::parsePublicKey(readText("maker.pub"), error);
    ASSERT_TRUE(key) << error;
    EXPECT_EQ(minisign::keyIdText(key->id), kMakerKeyId); // as minisign printed it
    // Leading zeros are not printed, as in minisign's own public key comment.
    const std::pair<minisign::KeyId, const char*> ids[] = {
        {{0x36, 0x5E, 0xFA, 0x75, 0xC5, 0x90, 0x86, 0x09}, "98690C575FA5E36"},
        {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10}, "1000000000000000"},
        {{0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, "1"},
        {{}, "0"},
    };
    for (const auto& [id, text] : ids)
        EXPECT_EQ(minisign::keyIdText(id), text);

    const std::vector<uint8_t> file = readBytes("fw.qfu");
    const auto prehashed = minisign::parseSignature(readText("fw.qfu.minisig"), error);
    const auto legacy = minisign::parseSignature(readText("fw.qfu.legacy.minisig"), error);
    ASSERT_TRUE(prehashed && legacy) << error;
    EXPECT_TRUE(prehashed->prehashed);
    EXPECT_FALSE(legacy->prehashed);
    EXPECT_EQ(prehashed->trustedComment, "release 1.2.03 for the line");
    EXPECT_EQ(legacy->trustedComment, "legacy signature");
    EXPECT_EQ(minisign::verify(*key, *prehashed, file.data(), file.size()), minisign::Verification::Ok);
    EXPECT_EQ(minisign::verify(*key, *legacy, file.data(), file.size()), minisign::Verification::Ok);
    // Each algorithm signs something else: swapping them must not verify.
    minisign::Signature swapped = *legacy;
    swapped.prehashed = true;
    EXPECT_EQ(minisign::verify(*key, swapped, file.data(), file.size()),
              minisign::Verification::BadSignature);
}

TEST(Signature, EveryChangeIsRefusedWithItsCause) {
    const std::vector<uint8_t> file = readBytes("fw.qfu");
    const std::string signature = readText("fw.qfu.minisig");
    const auto policy = policyTrusting({"maker.pub"});

    struct Case {
        const char* what;
        size_t fileByte; // flipped in the file (SIZE_MAX: none)
        std::string signatureText;
        SignatureCause cause;
    };
    const size_t none = SIZE_MAX;
    const Case cases[] = {
        {"untouched", none, signature, SignatureCause::None},
        {"a byte of the image", file.size() - 3, signature, SignatureCause::BadSignature},
        {"a byte of the header", 20, signature, SignatureCause::BadSignature},
        {"the signature", none, withLineChanged(signature, "RUR", 40, 'A'), SignatureCause::BadSignature},
        {"the trusted comment", none, withLineChanged(signature, "trusted comment: ", 20, 'X'),
         SignatureCause::BadGlobalSignature},
        {"the global signature", none,
         withLineChanged(signature, "trusted comment: ", std::string("trusted comment: release 1.2.03 for the line\n").size() + 5, 'A'),
         SignatureCause::BadGlobalSignature},
        {"the key id", none, withLineChanged(signature, "RUR", 5, 'A'), SignatureCause::UnknownKey},
        {"another key's signature", none, readText("fw.qfu.other.minisig"), SignatureCause::UnknownKey},
        {"a signature of another algorithm", none, withLineChanged(signature, "RUR", 2, 'X'),
         SignatureCause::Malformed},
        {"no signature at all", none, "", SignatureCause::NoSignature},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = file;
        if (c.fileByte != none)
            bytes[c.fileByte] ^= 0x01;
        const std::optional<std::string> text =
            c.cause == SignatureCause::NoSignature ? std::nullopt : std::optional(c.signatureText);
        const SignatureCheck check = policy->check(bytes.data(), bytes.size(), text);
        EXPECT_EQ(check.cause, c.cause) << c.what << ": " << check.causeText();
        EXPECT_EQ(check.loads(), c.cause == SignatureCause::None) << c.what;
        EXPECT_EQ(check.status, c.cause == SignatureCause::None ? SignatureStatus::Trusted
                                                                : SignatureStatus::Refused)
            << c.what;
    }
}

TEST(Signature, MalformedFilesAreRefusedNotTrusted) {
    const std::string good = readText("fw.qfu.minisig");
    std::string crlf;
    for (char c : good)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::vector<uint8_t> file = readBytes("fw.qfu");
    const auto policy = policyTrusting({"maker.pub"});
    const struct {
        std::string text;
        bool trusted;
    } cases[] = {
        {crlf, true},               // edited on Windows
        {good + "\n\n", true},      // an editor's extra line ends
        {good.substr(0, good.size() - 1), true}, // no last line end
        {"", false},
        {good.substr(0, good.find("trusted comment")), false},
        {good.substr(good.find('\n') + 1), false}, // no untrusted comment
        {withLineChanged(good, "RUR", 10, '*'), false}, // not Base64
        {withLineChanged(good, "RUR", 99, 'A'), false}, // padding replaced: one byte too many
        {good.substr(0, good.find("=\n")) + good.substr(good.find("=\n") + 1), false}, // none
        {"untrusted comment: x\nRUR5\ntrusted comment: y\nAAAA\n", false}, // too short
        {good + "extra line\n", false},
        {std::string(minisign::kMaxFileSize + 1, 'A'), false},
        {std::string("untrusted comment: \0\n", 21) + good.substr(good.find('\n') + 1), true},
    };
    for (const auto& c : cases) {
        const SignatureCheck check = policy->check(file.data(), file.size(), c.text);
        EXPECT_EQ(check.status == SignatureStatus::Trusted, c.trusted) << c.text.substr(0, 80);
        EXPECT_EQ(check.cause == SignatureCause::None, c.trusted);
    }

    std::string error;
    EXPECT_FALSE(minisign::parsePublicKey("untrusted comment: k\n", error));
    EXPECT_FALSE(minisign::parsePublicKey(readText("fw.qfu.minisig"), error));
    const std::string keyLine = readText("maker.pub").substr(readText("maker.pub").find('\n') + 1);
    EXPECT_TRUE(minisign::parsePublicKey(keyLine, error)) << "a key alone, as minisign -P takes it";
}

TEST(Signature, ThePolicyFollowsTheTrustedKeys) {
    const std::vector<uint8_t> file = readBytes("fw.qfu");
    const std::string signature = readText("fw.qfu.minisig");

    SignaturePolicy none;
    EXPECT_FALSE(none.enforced());
    EXPECT_EQ(none.check(file.data(), file.size(), std::nullopt).status, SignatureStatus::None);
    // With no trusted key a signature is told, never judged.
    const SignatureCheck unknown = none.check(file.data(), file.size(), signature);
    EXPECT_EQ(unknown.status, SignatureStatus::Unknown);
    EXPECT_EQ(unknown.keyId, kMakerKeyId);
    EXPECT_TRUE(unknown.loads());

    SignaturePolicy required;
    required.requireSignature();
    EXPECT_EQ(required.check(file.data(), file.size(), signature).cause, SignatureCause::UnknownKey);

    // Both keys trusted: each one's signature does.
    const auto both = policyTrusting({"other.pub", "maker.pub"});
    EXPECT_TRUE(both->check(file.data(), file.size(), readText("fw.qfu.other.minisig")).loads());
    EXPECT_TRUE(both->check(file.data(), file.size(), signature).loads());

    // A key folder: "*.pub" in any letter case; other files and a missing folder
    // are nothing, a damaged key file or a folder that cannot be read are told and
    // still ask for signatures.
    TempDir dir;
    writeFile(dir.file("MAKER.PUB"), readText("maker.pub"));
    writeFile(dir.file("notes.txt"), readText("other.pub"));
    SignaturePolicy folder;
    folder.addKeyFolder(dir.file(""));
    folder.addKeyFolder(dir.file("missing-folder"));
    EXPECT_TRUE(folder.problems().empty());
    ASSERT_EQ(folder.keys().size(), 1u);
    EXPECT_TRUE(folder.check(file.data(), file.size(), signature).loads());

    writeFile(dir.file("broken.pub"), "untrusted comment: k\nnot a key\n");
    for (const std::string& where : {dir.file(""), dir.file("notes.txt")}) {
        SignaturePolicy damaged;
        damaged.addKeyFolder(where);
        ASSERT_EQ(damaged.problems().size(), 1u) << where;
        EXPECT_TRUE(damaged.enforced()) << where;
        EXPECT_FALSE(damaged.check(file.data(), file.size(), readText("fw.qfu.other.minisig")).loads());
    }
}

TEST(Signature, TheUpdaterChecksTheCopyItLoads) {
    TempDir dir;
    const std::string path = dir.file("fw.qfu");
    writeFile(path, readText("fw.qfu"));
    CFirmwareUpdater updater;
    updater.setSignaturePolicy(policyTrusting({"maker.pub"}));

    EXPECT_FALSE(updater.loadFile(path.c_str()));
    EXPECT_EQ(updater.lastSignature().cause, SignatureCause::NoSignature);
    EXPECT_EQ(updatetexts::signatureRefusal(updater.lastSignature()), updatetexts::kNotSignedByTrustedKey);

    writeFile(path + ".minisig", readText("fw.qfu.minisig"));
    ASSERT_TRUE(updater.loadFile(path.c_str()));
    EXPECT_EQ(updater.lastSignature().status, SignatureStatus::Trusted);
    EXPECT_EQ(updater.lastSignature().trustedComment, "release 1.2.03 for the line");

    // A file changed under its signature (its checksum mended) is refused, and the
    // one loaded before goes.
    std::vector<uint8_t> changed = readBytes("fw.qfu");
    changed.back() ^= 0x40;
    qfu::seal(changed);
    writeFile(path, std::string(changed.begin(), changed.end()));
    EXPECT_FALSE(updater.loadFile(path.c_str()));
    EXPECT_FALSE(updater.fileLoaded());
    EXPECT_EQ(updatetexts::signatureRefusal(updater.lastSignature()), updatetexts::kSignatureMismatch);

    // A signature named on the command line replaces the one beside the file.
    writeFile(path, readText("fw.qfu"));
    writeFile(dir.file("elsewhere.minisig"), readText("fw.qfu.legacy.minisig"));
    writeFile(path + ".minisig", readText("fw.qfu.other.minisig"));
    auto policy = policyTrusting({"maker.pub"});
    policy->setSignatureFile(path, dir.file("elsewhere.minisig"));
    updater.setSignaturePolicy(policy);
    ASSERT_TRUE(updater.loadFile(path.c_str()));
    EXPECT_EQ(updater.lastSignature().trustedComment, "legacy signature");

    // A nameless stream has no signature beside it.
    EXPECT_FALSE(updater.loadFromStream(openFile(path, "rb")));
}

} // namespace
