#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

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
