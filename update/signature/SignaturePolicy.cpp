#include "SignaturePolicy.h"

#include "FileAccess.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

std::string SignatureCheck::causeText() const {
    switch (cause) {
    case SignatureCause::None:
        return "";
    case SignatureCause::NoSignature:
        return "no signature";
    case SignatureCause::Malformed:
        return detail.empty() ? "malformed signature file" : "malformed signature file: " + detail;
    case SignatureCause::UnknownKey:
        return "unknown key id " + keyId;
    case SignatureCause::BadSignature:
        return "bad signature";
    case SignatureCause::BadGlobalSignature:
        return "bad global signature (trusted comment changed)";
    }
    return "";
}

std::optional<std::string> readSmallFile(const std::string& path, std::string& error) {
    std::error_code code;
    const fs::path file = pathFromUtf8(path);
    const fs::file_status status = fs::status(file, code);
    if (code || !fs::exists(status))
        return std::nullopt;
    // Opening a FIFO or a device could block for good.
    if (!fs::is_regular_file(status)) {
        error = "not a regular file";
        return "";
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(openFile(path, "rb"), &std::fclose);
    if (!stream) {
        error = "cannot be read";
        return "";
    }
    std::string text(minisign::kMaxFileSize + 1, '\0');
    const size_t got = std::fread(text.data(), 1, text.size(), stream.get());
    if (std::ferror(stream.get())) {
        error = "cannot be read";
        return "";
    }
    if (got > minisign::kMaxFileSize) {
        error = "larger than " + std::to_string(minisign::kMaxFileSize) + " bytes";
        return "";
    }
    text.resize(got);
    return text;
}

bool SignaturePolicy::addKeyFile(const std::string& path) {
    std::string error;
    const std::optional<std::string> text = readSmallFile(path, error);
    if (!text) {
        problems_.push_back(path + ": not found");
        return false;
    }
    std::optional<minisign::PublicKey> key;
    if (error.empty())
        key = minisign::parsePublicKey(*text, error);
    if (!key) {
        problems_.push_back(path + ": " + error);
        return false;
    }
    addKey(*key, path);
    return true;
}

namespace {

// "KEY.PUB" is a key file too: names are compared without case where the system does.
bool isKeyFileName(const fs::path& file) {
    std::string extension = utf8FromPath(file.extension());
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".pub";
}

} // namespace

void SignaturePolicy::addKeyFolder(const std::string& path) {
    const fs::path folder = pathFromUtf8(path);
    std::error_code code;
    // Only a folder that is not there at all means "no keys here": one that cannot be
    // read may hold the key that was meant to be trusted.
    if (fs::status(folder, code).type() == fs::file_type::not_found)
        return;
    std::vector<fs::path> files;
    fs::directory_iterator it(folder, code);
    for (fs::directory_iterator end; !code && it != end; it.increment(code))
        if (isKeyFileName(it->path()))
            files.push_back(it->path());
    if (code) {
        problems_.push_back(path + ": the folder cannot be read (" + code.message() + ")");
        return;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files)
        addKeyFile(utf8FromPath(file));
}

void SignaturePolicy::addKey(const minisign::PublicKey& key, const std::string& source) {
    keys_.push_back(TrustedKey{key, source});
}

void SignaturePolicy::setSignatureFile(const std::string& updatePath,
                                       const std::string& signaturePath) {
    overriddenUpdate_ = updatePath;
    overridingSignature_ = signaturePath;
}

std::string SignaturePolicy::signaturePathFor(const std::string& updatePath) const {
    if (!overridingSignature_.empty() && updatePath == overriddenUpdate_)
        return overridingSignature_;
    return updatePath + ".minisig";
}

SignatureCheck SignaturePolicy::check(const uint8_t* data, size_t size,
                                      const std::optional<std::string>& signatureText) const {
    SignatureCheck result;
    const SignatureStatus untrusted = untrustedStatus();
    if (!signatureText) {
        if (enforced()) {
            result.status = SignatureStatus::Refused;
            result.cause = SignatureCause::NoSignature;
        }
        return result;
    }
    std::string error;
    const std::optional<minisign::Signature> signature =
        minisign::parseSignature(*signatureText, error);
    if (!signature) {
        result.status = untrusted;
        result.cause = SignatureCause::Malformed;
        result.detail = error;
        return result;
    }
    result.keyId = minisign::keyIdText(signature->keyId);
    result.trustedComment = signature->trustedComment;
    result.status = untrusted;
    result.cause = SignatureCause::UnknownKey;
    // Several trusted keys may share an id; any one that verifies will do, else the
    // first one's verdict is told.
    bool first = true;
    for (const TrustedKey& trusted : keys_) {
        if (trusted.key.id != signature->keyId)
            continue;
        const minisign::Verification verdict =
            minisign::verify(trusted.key, *signature, data, size);
        if (verdict == minisign::Verification::Ok) {
            result.status = SignatureStatus::Trusted;
            result.cause = SignatureCause::None;
            return result;
        }
        if (first)
            result.cause = verdict == minisign::Verification::BadSignature
                               ? SignatureCause::BadSignature
                               : SignatureCause::BadGlobalSignature;
        first = false;
    }
    return result;
}

SignatureCheck SignaturePolicy::checkFile(const std::string& updatePath, const uint8_t* data,
                                          size_t size) const {
    std::string error;
    std::optional<std::string> text = readSmallFile(signaturePathFor(updatePath), error);
    if (text && !error.empty()) {
        SignatureCheck result;
        result.status = untrustedStatus();
        result.cause = SignatureCause::Malformed;
        result.detail = "the signature file " + error;
        return result;
    }
    return check(data, size, text);
}
