#pragma once

#include "HidSystem.h"
#include "SignaturePolicy.h"

#include <cstdint>
#include <optional>
#include <string>

// Why a command-line update could not start, in the words the final line uses.

// Empty when the file at path loads; otherwise what is wrong with it: missing,
// unreadable, or which check it failed (magic, checksum, header, size), or with a
// policy its signature (what the signature says goes to signature when given, only
// once the file passed its other checks).
std::string updateFileProblem(const std::string& path, const SignaturePolicy* policy = nullptr,
                              std::optional<SignatureCheck>* signature = nullptr);
// The cause a signature refusal is told with.
std::string signatureProblem(const SignatureCheck& check);

// Empty when path names a regular file that can be opened for appending (it is
// created if missing); otherwise why a factory log cannot be kept there. A FIFO or a
// device is refused without being opened: opening it could block for good.
std::string logFileProblem(const std::string& path);

// A matching interface that is present but could not be opened, and why.
struct UnopenedInterface {
    std::string path;
    HidOpenStatus status = HidOpenStatus::Failed;
    bool inUse = false; // it opens, but another updater holds it
};
std::optional<UnopenedInterface> findUnopenedInterface(HidSystem& hid, const std::string& pattern);
