#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The two text files of the minisign tool, read by us (bounded, every field
// checked) and verified with libsodium: a public key file
//
//     untrusted comment: minisign public key 6F1C2D3E4A5B6C7D
//     RWR9bFtKPi0cb...            ("Ed", key id, Ed25519 public key)
//
// and the detached signature of a file, FILE.minisig
//
//     untrusted comment: signature from minisign secret key
//     RUR9bFtKPi0cb...            ("ED" or "Ed", key id, Ed25519 signature)
//     trusted comment: timestamp:1765000000	file:fw.qfu	hashed
//     AbCd...                     (Ed25519 signature of the signature and the
//                                  trusted comment)
//
// "ED" signs the BLAKE2b-512 hash of the file, the older "Ed" the file itself.
namespace minisign {

constexpr size_t kKeyIdSize = 8;
constexpr size_t kPublicKeySize = 32;
constexpr size_t kSignatureSize = 64;
// Far above what minisign writes (its comments stop at 8 KiB): a larger file is
// refused unread.
constexpr size_t kMaxFileSize = 16 * 1024;

using KeyId = std::array<uint8_t, kKeyIdSize>;

struct PublicKey {
    KeyId id{};
    std::array<uint8_t, kPublicKeySize> key{};
};

struct Signature {
    bool prehashed = true; // "ED": the file's BLAKE2b-512 hash is signed
    KeyId keyId{};
    std::array<uint8_t, kSignatureSize> signature{};
    std::string trustedComment; // the text after "trusted comment: "
    std::array<uint8_t, kSignatureSize> globalSignature{};
};

// Null with the reason in error when the text is not such a file. A public key
// file may also be just the key's line (as minisign -P takes it).
std::optional<PublicKey> parsePublicKey(std::string_view text, std::string& error);
std::optional<Signature> parseSignature(std::string_view text, std::string& error);

enum class Verification { Ok, BadSignature, BadGlobalSignature };

// The key id is the caller's to match; this checks the signature of the data and
// then the global signature, which binds the trusted comment to it.
Verification verify(const PublicKey& key, const Signature& signature, const uint8_t* data,
                    size_t size);

// The key id as minisign prints it: 16 upper-case hex digits.
std::string keyIdText(const KeyId& id);

} // namespace minisign
