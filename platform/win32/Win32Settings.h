#pragma once

#include "UiPlatform.h"

#include <cstdint>
#include <string>
#include <utility>

// The program's key under HKEY_CURRENT_USER.
constexpr const char* kRegistryKey = "SOFTWARE\\Quorix\\Firmware Updater\\1.00";

// A 32-bit REG_DWORD under a key of HKEY_CURRENT_USER (the program's unless told),
// creating the key when needed. True only when it was stored.
bool WriteRegistryDword(const char* name, uint32_t value, const char* key = kRegistryKey);
// True only when the value is there and is a REG_DWORD of 4 bytes.
bool ReadRegistryDword(const char* name, uint32_t& value, const char* key = kRegistryKey);

// The settings that outlive the process, in the registry: under the program's key,
// or another one (tests keep theirs apart).
class Win32Settings : public SettingsStore {
public:
    explicit Win32Settings(std::string key = kRegistryKey) : key_(std::move(key)) {}
    bool readDword(const std::string& name, uint32_t& value) override {
        return ReadRegistryDword(name.c_str(), value, key_.c_str());
    }
    bool writeDword(const std::string& name, uint32_t value) override {
        return WriteRegistryDword(name.c_str(), value, key_.c_str());
    }

private:
    std::string key_;
};
