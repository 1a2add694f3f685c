#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// Files named by the program's own texts. Every path the program holds is UTF-8,
// whatever the system's code page: a path for the standard library is made with
// pathFromUtf8, and a C stream with openFile, never from the raw `char` text (on
// Windows the runtime would decode it in a code page and miss the file).

inline std::filesystem::path pathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// fopen for a UTF-8 path; nullptr when it cannot be opened.
std::FILE* openFile(const std::string& path, const char* mode);

// Where trusted public keys of update-file signers are looked for, system-wide
// first. QUORIX_TRUSTED_KEY_DIRS, when set, replaces them (folders separated by the
// system's path list separator; empty: none), for sandboxes and tests.
std::vector<std::string> trustedKeyFolders();

// The folders of a list such as QUORIX_TRUSTED_KEY_DIRS, empty entries left out.
inline std::vector<std::string> splitFolderList(const std::string& list, char separator) {
    std::vector<std::string> folders;
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find(separator, start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            folders.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return folders;
}
