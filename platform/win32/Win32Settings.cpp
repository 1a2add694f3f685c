#include "Win32Settings.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

bool setValue(const char* keyName, const std::string& name, DWORD type, const std::string& bytes) {
    if (name.empty() || name.size() > SettingsStore::kMaxNameLength || bytes.size() > SettingsStore::kMaxValueBytes)
        return false;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    // A text is stored without its terminator, as long as the text itself.
    const LONG result = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                       DWORD(bytes.size()));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

} // namespace

bool WriteRegistryDword(const char* name, uint32_t value, const char* keyName) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const DWORD stored = value;
    const LONG result =
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored), sizeof stored);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool ReadRegistryDword(const char* name, uint32_t& value, const char* keyName) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, stored = 0, size = sizeof stored;
    const LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size);
    RegCloseKey(key);
    // A shorter value of the right type would leave bytes of no one's choosing.
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof stored)
        return false;
    value = stored;
    return true;
}

bool Win32Settings::readValue(const std::string& name, Kind& kind, std::string& bytes, size_t limit) {
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = 0;
    LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> buffer;
    if (result == ERROR_SUCCESS && size <= kMaxValueBytes) {
        buffer.resize(size_t(size) + 1);
        DWORD got = size;
        result = RegQueryValueExA(key, name.c_str(), nullptr, &type, buffer.data(), &got);
        size = got;
    } else if (result == ERROR_SUCCESS) {
        result = ERROR_MORE_DATA; // larger than any value of ours
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || size > buffer.size())
        return false;
    switch (type) {
    case REG_SZ: {
        kind = Kind::Text;
        // A stored terminator, if any, is not part of the text.
        size_t length = 0;
        while (length < size && buffer[length] != 0)
            ++length;
        bytes.assign(reinterpret_cast<const char*>(buffer.data()), std::min<size_t>(length, limit));
        return true;
    }
    case REG_BINARY:
        kind = Kind::Binary;
        bytes.assign(reinterpret_cast<const char*>(buffer.data()), std::min<size_t>(size, limit));
        return true;
    case REG_DWORD:
        if (size != 4)
            return false;
        kind = Kind::Dword;
        bytes.assign(reinterpret_cast<const char*>(buffer.data()), 4);
        return true;
    default:
        return false;
    }
}

bool Win32Settings::writeText(const std::string& name, const std::string& text) {
    return setValue(key_.c_str(), name, REG_SZ, text);
}

bool Win32Settings::writeBinary(const std::string& name, const std::string& bytes) {
    return setValue(key_.c_str(), name, REG_BINARY, bytes);
}
