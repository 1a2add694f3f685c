#pragma once

#include "Minisign.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the signature of an update file says about it.
enum class SignatureStatus {
    None,    // no signature, and none needed
    Trusted, // signed by a trusted key, the file and the trusted comment unchanged
    Unknown, // a signature no trusted key vouches for, while none is needed
    Refused, // a signature is needed and this one does not do
};

// Why a signature does not make a file trusted.
enum class SignatureCause {
    None,
    NoSignature,
    Malformed,          // the signature file does not parse, or cannot be read
    UnknownKey,         // no trusted key has the signature's key id
    BadSignature,       // the file is not the one that was signed
    BadGlobalSignature, // the trusted comment is not the one that was signed
};

struct SignatureCheck {
    SignatureStatus status = SignatureStatus::None;
    SignatureCause cause = SignatureCause::None;
    std::string keyId;          // of the signature, when it parsed
    std::string trustedComment; // of the signature, when it parsed
    std::string detail;         // what is wrong with a malformed signature file

    bool loads() const { return status != SignatureStatus::Refused; }
    // "no signature", "unknown key id", ... ; "" for no cause.
    std::string causeText() const;
};

// The trusted keys and the rule that follows from them: with at least one trusted
// key, or when a signature is required, a file loads only with a signature from a
// trusted key over exactly its bytes. A key file that does not parse is reported and
// its key left out; it never turns the rule off.
class SignaturePolicy {
  public:
    struct TrustedKey {
        minisign::PublicKey key;
        std::string source; // the file it came from
    };

    // Adds the key in the file; false (and a problem noted) when it cannot be used.
    bool addKeyFile(const std::string& path);
    // Every *.pub file in the folder, in name order; a missing folder is no problem,
    // one that cannot be read is.
    void addKeyFolder(const std::string& path);
    void addKey(const minisign::PublicKey& key, const std::string& source);
    void requireSignature() { required_ = true; }
    // The signature of the update file at updatePath is read from signaturePath
    // instead of updatePath + ".minisig".
    void setSignatureFile(const std::string& updatePath, const std::string& signaturePath);

    // A key file that could not be used still asks for signatures: a damaged key
    // must not let every file through.
    bool enforced() const { return required_ || !keys_.empty() || !problems_.empty(); }
    const std::vector<TrustedKey>& keys() const { return keys_; }
    // Key files that could not be used: "PATH: why", one per file.
    const std::vector<std::string>& problems() const { return problems_; }

    // The signature file that goes with an update file.
    std::string signaturePathFor(const std::string& updatePath) const;
    // Checks the bytes of a file against its signature file's text (none: no
    // signature file).
    SignatureCheck check(const uint8_t* data, size_t size,
                         const std::optional<std::string>& signatureText) const;
    // Reads the signature file that goes with the update file at updatePath (never
    // the update file itself: data holds its bytes as they will be written).
    SignatureCheck checkFile(const std::string& updatePath, const uint8_t* data, size_t size) const;

  private:
    // A signature not from a trusted key refuses the file only under the rule.
    SignatureStatus untrustedStatus() const {
        return enforced() ? SignatureStatus::Refused : SignatureStatus::Unknown;
    }

    std::vector<TrustedKey> keys_;
    std::vector<std::string> problems_;
    bool required_ = false;
    std::string overriddenUpdate_;
    std::string overridingSignature_;
};

// A small text file (a key or a signature) read whole, refused when larger than
// minisign::kMaxFileSize or not a regular file. Null when it does not exist; error
// set when it exists but cannot be used.
std::optional<std::string> readSmallFile(const std::string& path, std::string& error);
