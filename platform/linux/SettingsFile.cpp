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
constexpr std::string_view kDwordTag = "dword:0x";
constexpr std::string_view kTextTag = "text:";
constexpr std::string_view kBinaryTag = "binary:";

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool parseHex8(std::string_view text, uint32_t& value) {
    if (text.size() != 8)
        return false;
    uint32_t result = 0;
    for (char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0)
            return false;
        result = result << 4 | uint32_t(digit);
    }
    value = result;
    return true;
}

std::string dwordBytes(uint32_t value) {
    std::string bytes(4, '\0');
    for (size_t i = 0; i < 4; ++i)
        bytes[i] = char(value >> (8 * i) & 0xFF);
    return bytes;
}

uint32_t dwordOf(const std::string& bytes) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4 && i < bytes.size(); ++i)
        value |= uint32_t(uint8_t(bytes[i])) << (8 * i);
    return value;
}

// Texts stay one printable line: backslash, control and non-ASCII bytes are escaped.
std::string escapeText(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto byte = uint8_t(c);
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte < 0x20 || byte >= 0x7F) {
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

bool unescapeText(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = uint8_t(text[i]);
        if (byte < 0x20 || byte >= 0x7F)
            return false;
        if (byte != '\\') {
            out += char(byte);
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && hexDigit(text[i + 2]) >= 0 &&
                   hexDigit(text[i + 3]) >= 0) {
            out += char(hexDigit(text[i + 2]) << 4 | hexDigit(text[i + 3]));
            i += 3;
        } else {
            return false;
        }
    }
    return out.size() <= SettingsStore::kMaxValueBytes;
}

bool parseBinary(std::string_view text, std::string& out) {
    if (text.size() % 2 || text.size() / 2 > SettingsStore::kMaxValueBytes)
        return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out += char(high << 4 | low);
    }
    return true;
}

bool parseLine(std::string_view line, std::string& name, SettingsFile::Value& value) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return false;
    name.assign(line.substr(0, equals));
    if (!SettingsFile::validName(name))
        return false;
    const std::string_view rest = line.substr(equals + 1);
    if (rest.substr(0, kDwordTag.size()) == kDwordTag) {
        uint32_t dword = 0;
        if (!parseHex8(rest.substr(kDwordTag.size()), dword))
            return false;
        value = {SettingsStore::Kind::Dword, dwordBytes(dword)};
        return true;
    }
    if (rest.substr(0, kTextTag.size()) == kTextTag) {
        value.kind = SettingsStore::Kind::Text;
        return unescapeText(rest.substr(kTextTag.size()), value.bytes);
    }
    if (rest.substr(0, kBinaryTag.size()) == kBinaryTag) {
        value.kind = SettingsStore::Kind::Binary;
        return parseBinary(rest.substr(kBinaryTag.size()), value.bytes);
    }
    return false;
}

// Ours when the header is; then every well-formed line counts.
void parseSettings(std::string_view text, std::map<std::string, SettingsFile::Value>& values) {
    size_t end = text.find('\n');
    if (end == std::string_view::npos || text.substr(0, end) != kHeader)
        return;
    size_t start = end + 1;
    while (start < text.size()) {
        end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string name;
        SettingsFile::Value value;
        if (parseLine(text.substr(start, end - start), name, value))
            values.emplace(name, std::move(value));
        start = end + 1;
    }
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
    if (name.empty() || name.size() > kMaxNameLength || name.front() == ' ' || name.back() == ' ')
        return false;
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
              c == ' ' || c == '-' || c == '.'))
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
    if (it == values_.end() || it->second.kind != Kind::Dword)
        return false;
    value = dwordOf(it->second.bytes);
    return true;
}

bool SettingsFile::readValue(const std::string& name, Kind& kind, std::string& bytes, size_t limit) {
    load();
    auto it = values_.find(name);
    if (it == values_.end())
        return false;
    kind = it->second.kind;
    bytes = it->second.kind == Kind::Dword ? it->second.bytes : it->second.bytes.substr(0, limit);
    return true;
}

bool SettingsFile::writeDword(const std::string& name, uint32_t value) {
    return store(name, Value{Kind::Dword, dwordBytes(value)});
}

bool SettingsFile::writeText(const std::string& name, const std::string& text) {
    return store(name, Value{Kind::Text, text});
}

bool SettingsFile::writeBinary(const std::string& name, const std::string& bytes) {
    return store(name, Value{Kind::Binary, bytes});
}

bool SettingsFile::store(const std::string& name, Value value) {
    if (!validName(name) || path_.empty() || value.bytes.size() > kMaxValueBytes)
        return false;
    load();
    std::map<std::string, Value> next = values_;
    next[name] = std::move(value);
    if (!save(next))
        return false; // memory keeps what the file holds
    values_ = std::move(next);
    return true;
}

bool SettingsFile::save(const std::map<std::string, Value>& values) const {
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
        text += name;
        text += '=';
        switch (value.kind) {
        case Kind::Dword:
            std::snprintf(hex, sizeof hex, "%08X", dwordOf(value.bytes));
            text += kDwordTag;
            text += hex;
            break;
        case Kind::Text:
            text += kTextTag;
            text += escapeText(value.bytes);
            break;
        case Kind::Binary:
            text += kBinaryTag;
            for (char c : value.bytes) {
                std::snprintf(hex, sizeof hex, "%02x", unsigned(uint8_t(c)));
                text += hex;
            }
            break;
        }
        text += '\n';
    }
    // Never write what the next start would refuse to read.
    if (text.size() > kMaxFileBytes)
        return false;

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
