#pragma once

#include "UiPlatform.h"

#include <cstdint>
#include <string>
#include <utility>

// The program's key under HKEY_CURRENT_USER.
constexpr const char* kRegistryKey = "SOFTWARE\\Quorix\\Firmware Updater\\1.00";

// A 32-bit REG_DWORD under the program's key (or another under HKEY_CURRENT_USER),
// creating the key when needed. True only when it was stored.
bool WriteRegistryDword(const char* name, uint32_t value, const char* key = kRegistryKey);
// True only when the value is there and is a REG_DWORD of 4 bytes.
bool ReadRegistryDword(const char* name, uint32_t& value, const char* key = kRegistryKey);

// The settings that outlive the process, in the registry under one key.
class Win32Settings : public SettingsStore {
public:
    explicit Win32Settings(std::string key = kRegistryKey) : key_(std::move(key)) {}
    bool readDword(const std::string& name, uint32_t& value) override {
        return ReadRegistryDword(name.c_str(), value, key_.c_str());
    }
    bool writeDword(const std::string& name, uint32_t value) override {
        return WriteRegistryDword(name.c_str(), value, key_.c_str());
    }
    // REG_SZ is a text, REG_BINARY binary, REG_DWORD a dword; other types are not read.
    bool readValue(const std::string& name, Kind& kind, std::string& bytes, size_t limit) override;
    bool writeText(const std::string& name, const std::string& text) override;
    bool writeBinary(const std::string& name, const std::string& bytes) override;

private:
    std::string key_;
};
