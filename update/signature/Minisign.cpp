#include "Minisign.h"

#include "TextLines.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace minisign {

namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment:";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr size_t kAlgorithmSize = 2;

// The file's lines; blank lines at the end (an editor's extra line end) are not
// part of the format.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines = splitLines(text);
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

// Exactly `size` bytes of standard Base64 (with padding), nothing before or after.
bool decodeExactly(std::string_view text, uint8_t* out, size_t size) {
    if (text.empty() || text.size() > 4 * ((size + 2) / 3))
        return false;
    size_t decoded = 0;
    const char* end = nullptr;
    if (sodium_base642bin(out, size, text.data(), text.size(), nullptr, &decoded, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0)
        return false;
    return decoded == size && end == text.data() + text.size();
}

bool ready() {
    static const bool initialised = sodium_init() >= 0;
    return initialised;
}

} // namespace

std::optional<PublicKey> parsePublicKey(std::string_view text, std::string& error) {
    if (text.size() > kMaxFileSize) {
        error = "larger than any public key file";
        return std::nullopt;
    }
    std::vector<std::string_view> lines = linesOf(text);
    if (!lines.empty() && lines.front().substr(0, kUntrustedPrefix.size()) == kUntrustedPrefix)
        lines.erase(lines.begin());
    if (lines.size() != 1) {
        error = lines.empty() ? "no key line" : "more than one key line";
        return std::nullopt;
    }
    uint8_t raw[kAlgorithmSize + kKeyIdSize + kPublicKeySize];
    if (!decodeExactly(lines.front(), raw, sizeof raw)) {
        error = "the key line is not a minisign public key (Base64 of 42 bytes)";
        return std::nullopt;
    }
    if (raw[0] != 'E' || raw[1] != 'd') {
        error = "not an Ed25519 key";
        return std::nullopt;
    }
    PublicKey key;
    std::memcpy(key.id.data(), raw + kAlgorithmSize, kKeyIdSize);
    std::memcpy(key.key.data(), raw + kAlgorithmSize + kKeyIdSize, kPublicKeySize);
    return key;
}

std::optional<Signature> parseSignature(std::string_view text, std::string& error) {
    if (text.size() > kMaxFileSize) {
        error = "larger than any signature file";
        return std::nullopt;
    }
    const std::vector<std::string_view> lines = linesOf(text);
    if (lines.size() != 4) {
        error = "not the four lines of a signature file";
        return std::nullopt;
    }
    if (lines[0].substr(0, kUntrustedPrefix.size()) != kUntrustedPrefix) {
        error = "no untrusted comment line";
        return std::nullopt;
    }
    uint8_t raw[kAlgorithmSize + kKeyIdSize + kSignatureSize];
    if (!decodeExactly(lines[1], raw, sizeof raw)) {
        error = "the signature line is not Base64 of 74 bytes";
        return std::nullopt;
    }
    Signature signature;
    if (raw[0] == 'E' && raw[1] == 'D') {
        signature.prehashed = true;
    } else if (raw[0] == 'E' && raw[1] == 'd') {
        signature.prehashed = false;
    } else {
        error = "an unknown signature algorithm";
        return std::nullopt;
    }
    std::memcpy(signature.keyId.data(), raw + kAlgorithmSize, kKeyIdSize);
    std::memcpy(signature.signature.data(), raw + kAlgorithmSize + kKeyIdSize, kSignatureSize);
    if (lines[2].substr(0, kTrustedPrefix.size()) != kTrustedPrefix) {
        error = "no trusted comment line";
        return std::nullopt;
    }
    signature.trustedComment = std::string(lines[2].substr(kTrustedPrefix.size()));
    if (!decodeExactly(lines[3], signature.globalSignature.data(), kSignatureSize)) {
        error = "the global signature line is not Base64 of 64 bytes";
        return std::nullopt;
    }
    return signature;
}

Verification verify(const PublicKey& key, const Signature& signature, const uint8_t* data,
                    size_t size) {
    if (!ready())
        return Verification::BadSignature;
    static const uint8_t kNothing = 0;
    if (!data) data = &kNothing; // an empty file still has a signature to check
    int checked = -1;
    if (signature.prehashed) {
        uint8_t hash[crypto_generichash_BYTES_MAX];
        crypto_generichash(hash, sizeof hash, data, size, nullptr, 0);
        checked = crypto_sign_verify_detached(signature.signature.data(), hash, sizeof hash,
                                              key.key.data());
    } else {
        checked =
            crypto_sign_verify_detached(signature.signature.data(), data, size, key.key.data());
    }
    if (checked != 0)
        return Verification::BadSignature;
    std::vector<uint8_t> global(signature.signature.begin(), signature.signature.end());
    global.insert(global.end(), signature.trustedComment.begin(), signature.trustedComment.end());
    if (crypto_sign_verify_detached(signature.globalSignature.data(), global.data(), global.size(),
                                    key.key.data()) != 0)
        return Verification::BadGlobalSignature;
    return Verification::Ok;
}

std::string keyIdText(const KeyId& id) {
    // minisign prints the id as a little-endian 64-bit number, without leading zeros
    // (as in the comment of its public key file).
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = kKeyIdSize; i-- > 0;) {
        text += kDigits[id[i] >> 4];
        text += kDigits[id[i] & 0x0F];
    }
    return text.substr(std::min(text.find_first_not_of('0'), text.size() - 1));
}

} // namespace minisign
