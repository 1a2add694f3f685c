#pragma once

#include <windows.h>

#include <string>

// The program's texts are UTF-8; the system's wide calls take UTF-16. Both ways
// are exact, so a file name in any language reaches the file.
inline std::wstring wideFromUtf8(const std::string& text) {
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

inline std::string utf8FromWide(const wchar_t* text, size_t size) {
    if (!text || size == 0)
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, int(size), nullptr, 0, nullptr, nullptr);
    std::string narrow(size_t(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, int(size), narrow.data(), length, nullptr, nullptr);
    return narrow;
}

inline std::string utf8FromWide(const std::wstring& text) { return utf8FromWide(text.data(), text.size()); }
