#include "Win32Settings.h"

#include <windows.h>

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
