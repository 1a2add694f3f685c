#include "SettingsFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::string_view kHeader = "quorix-settings 1";
constexpr std::string_view kDwordTag = "=dword:0x";
constexpr size_t kMaxNameLength = 64;

bool parseHex8(std::string_view text, uint32_t& value) {
    if (text.size() != 8)
        return false;
    uint32_t result = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        result = result << 4 | uint32_t(digit);
    }
    value = result;
    return true;
}

// The whole text, or nothing when any part of it is not ours.
bool parseSettings(std::string_view text, std::map<std::string, uint32_t>& values) {
    std::map<std::string, uint32_t> parsed;
    bool first = true;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (first) {
            if (line != kHeader)
                return false;
            first = false;
            continue;
        }
        const size_t tag = line.find(kDwordTag);
        if (tag == std::string_view::npos)
            return false;
        const std::string name(line.substr(0, tag));
        uint32_t value = 0;
        if (!SettingsFile::validName(name) || !parseHex8(line.substr(tag + kDwordTag.size()), value) ||
            !parsed.emplace(name, value).second)
            return false;
    }
    if (first)
        return false;
    values = std::move(parsed);
    return true;
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += size_t(written);
    }
    return true;
}

// Creates the folder and any missing parents, private to the user.
bool makeFolders(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    const size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {}

std::string SettingsFile::defaultPath(const char* xdgConfigHome, const char* home) {
    // Relative values are invalid by the base-directory rules: ignored.
    if (xdgConfigHome && xdgConfigHome[0] == '/')
        return std::string(xdgConfigHome) + "/quorix/settings";
    if (home && home[0] == '/')
        return std::string(home) + "/.config/quorix/settings";
    return {};
}

std::string SettingsFile::defaultPath() {
    return defaultPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

bool SettingsFile::validName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
}

void SettingsFile::load() {
    if (loaded_)
        return;
    loaded_ = true;
    if (path_.empty())
        return;
    // Non-blocking: a FIFO in its place must not hang the start (it is no file of ours).
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat info {};
    std::string text;
    // A settings file is a few hundred bytes: anything large is not ours.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && size_t(info.st_size) <= kMaxFileBytes) {
        text.resize(kMaxFileBytes + 1);
        size_t have = 0;
        for (;;) {
            const ssize_t got = ::read(fd, text.data() + have, text.size() - have);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            have += size_t(got);
            if (have == text.size())
                break;
        }
        text.resize(have);
    }
    ::close(fd);
    if (text.size() <= kMaxFileBytes)
        parseSettings(text, values_);
}

bool SettingsFile::readDword(const std::string& name, uint32_t& value) {
    load();
    auto it = values_.find(name);
    if (it == values_.end())
        return false;
    value = it->second;
    return true;
}

bool SettingsFile::writeDword(const std::string& name, uint32_t value) {
    if (!validName(name) || path_.empty())
        return false;
    load();
    std::map<std::string, uint32_t> next = values_;
    next[name] = value;
    if (!save(next))
        return false; // memory keeps what the file holds
    values_ = std::move(next);
    return true;
}

bool SettingsFile::save(const std::map<std::string, uint32_t>& values) const {
    const size_t slash = path_.find_last_of('/');
    if (slash == std::string::npos)
        return false;
    const std::string folder = slash == 0 ? "/" : path_.substr(0, slash);
    if (!makeFolders(folder))
        return false;

    std::string text(kHeader);
    text += '\n';
    char hex[16];
    for (const auto& [name, value] : values) {
        std::snprintf(hex, sizeof hex, "%08X", value);
        text += name;
        text += kDwordTag;
        text += hex;
        text += '\n';
    }

    std::string temp = path_ + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, text) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path_.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}
