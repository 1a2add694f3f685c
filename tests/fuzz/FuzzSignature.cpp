// Arbitrary bytes as a minisign public key file and as a signature file: the parsers
// must refuse what is not one, never read out of bounds, and a signature they accept
// goes through the whole check (a key of the same id trusted, the input as the
// signed file) without a fault. Nothing random can be trusted.
#include "Minisign.h"
#include "SignaturePolicy.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (const auto key = minisign::parsePublicKey(text, error)) {
        const std::string id = minisign::keyIdText(key->id);
        require(!id.empty() && id.size() <= 16 && (id.size() == 1 || id[0] != '0'));
    } else {
        require(!error.empty());
    }

    error.clear();
    const auto signature = minisign::parseSignature(text, error);
    require(signature.has_value() == error.empty());
    if (!signature)
        return 0;
    require(signature->trustedComment.size() < size);
    // A key with the signature's id, so that both signatures are really checked.
    minisign::PublicKey key;
    key.id = signature->keyId;
    for (size_t i = 0; i < key.key.size(); ++i)
        key.key[i] = static_cast<uint8_t>(i * 7 + 1);
    SignaturePolicy policy;
    policy.addKey(key, "fuzz");
    const SignatureCheck check = policy.check(data, size, std::string(text));
    require(check.status == SignatureStatus::Refused);
    require(check.cause == SignatureCause::BadSignature ||
            check.cause == SignatureCause::BadGlobalSignature);
    return 0;
}
