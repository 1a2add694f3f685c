#include "StartCauses.h"

#include "DeviceSearch.h"
#include "FileAccess.h"
#include "UpdateFileCheck.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* checkName(UpdateFileCheck check) {
    switch (check) {
    case UpdateFileCheck::BadMagic:
        return "magic";
    case UpdateFileCheck::ChecksumMismatch:
        return "checksum";
    case UpdateFileCheck::TooShort:
        return "header";
    case UpdateFileCheck::TooLarge:
    case UpdateFileCheck::ImageOutsideFile:
        return "size";
    case UpdateFileCheck::EmptyImage:
        return "empty";
    case UpdateFileCheck::Ok:
        break;
    }
    return "ok";
}

} // namespace

std::string signatureProblem(const SignatureCheck& check) {
    return "update file refused (signature): " + check.causeText();
}

std::string updateFileProblem(const std::string& path, const SignaturePolicy* policy,
                              std::optional<SignatureCheck>* signature) {
    std::error_code error;
    const fs::path file = pathFromUtf8(path);
    const fs::file_status status = fs::status(file, error);
    if (error || !fs::exists(status))
        return "update file not found: " + path;
    if (!fs::is_regular_file(status))
        return "update file refused: not a regular file: " + path;
    const uintmax_t size = fs::file_size(file, error);
    if (error)
        return "update file unreadable: " + path;
    std::vector<uint8_t> bytes;
    if (size <= kMaxUpdateFileSize) {
        std::ifstream in(file, std::ios::binary);
        bytes.resize(static_cast<size_t>(size));
        if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
            return "update file unreadable: " + path;
    }
    // Oversized files are judged on their size alone, never read.
    const UpdateFileCheck check = size > kMaxUpdateFileSize ? UpdateFileCheck::TooLarge
                                                            : checkUpdateFile(bytes.data(), bytes.size());
    if (check == UpdateFileCheck::Ok) {
        if (!policy)
            return "";
        const SignatureCheck checked = policy->checkFile(path, bytes.data(), bytes.size());
        if (signature)
            *signature = checked;
        return checked.loads() ? "" : signatureProblem(checked);
    }
    return std::string("update file refused (") + checkName(check) +
           "): " + describeUpdateFileCheck(check);
}

std::string logFileProblem(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(pathFromUtf8(path), error);
    if (!error && fs::exists(status) && !fs::is_regular_file(status))
        return "the log " + path + " is not a regular file";
    std::FILE* file = openFile(path, "ab");
    if (!file)
        return "the log " + path + " cannot be opened for appending";
    std::fclose(file);
    return "";
}

std::optional<UnopenedInterface> findUnopenedInterface(HidSystem& hid, const std::string& pattern) {
    std::vector<std::string> paths;
    if (!hid.listPaths(paths))
        return std::nullopt;
    std::optional<UnopenedInterface> found;
    for (const std::string& path : paths) {
        if (!pathMatchesPattern(path, pattern))
            continue;
        std::unique_ptr<HidConnection> connection;
        const HidOpenStatus status = hid.open(path, connection);
        if (status == HidOpenStatus::PermissionDenied)
            return UnopenedInterface{path, status}; // the one the user can do something about
        if ((status == HidOpenStatus::Busy || status == HidOpenStatus::Failed) && !found)
            found = UnopenedInterface{path, status};
        else if (status == HidOpenStatus::Opened && connection && !connection->claimExclusive() && !found)
            found = UnopenedInterface{path, status, true};
    }
    return found;
}
