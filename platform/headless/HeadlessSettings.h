#pragma once

#include "UiPlatform.h"

#include <map>
#include <string>
#include <utility>

// Settings kept in memory for the lifetime of the object. A name holds one value:
// a dword in `values`, or a text or binary value in `others`.
class HeadlessSettings : public SettingsStore {
public:
    bool readDword(const std::string& name, uint32_t& value) override {
        auto it = values.find(name);
        if (it == values.end())
            return false;
        value = it->second;
        return true;
    }
    bool writeDword(const std::string& name, uint32_t value) override {
        if (failWrites)
            return false;
        others.erase(name);
        values[name] = value;
        return true;
    }
    bool readValue(const std::string& name, Kind& kind, std::string& bytes, size_t limit) override {
        if (auto it = values.find(name); it != values.end()) {
            kind = Kind::Dword;
            bytes.assign(4, '\0');
            for (int i = 0; i < 4; ++i)
                bytes[size_t(i)] = char(it->second >> (8 * i) & 0xFF);
            return true;
        }
        auto it = others.find(name);
        if (it == others.end())
            return false;
        if (it->second.second.size() > kMaxValueBytes)
            return false; // as the file and the registry refuse it
        kind = it->second.first;
        bytes = it->second.second.substr(0, limit);
        return true;
    }
    bool writeText(const std::string& name, const std::string& text) override {
        return writeOther(name, Kind::Text, text);
    }
    bool writeBinary(const std::string& name, const std::string& bytes) override {
        return writeOther(name, Kind::Binary, bytes);
    }

    std::map<std::string, uint32_t> values;
    std::map<std::string, std::pair<Kind, std::string>> others;
    bool failWrites = false;
    int writes = 0;

private:
    bool writeOther(const std::string& name, Kind kind, const std::string& bytes) {
        ++writes;
        if (failWrites || bytes.size() > kMaxValueBytes)
            return false;
        values.erase(name);
        others[name] = {kind, bytes};
        return true;
    }
};
