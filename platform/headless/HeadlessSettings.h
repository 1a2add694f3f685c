#pragma once

#include "UiPlatform.h"

#include <map>
#include <string>

// Settings kept in memory for the lifetime of the object.
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
        values[name] = value;
        return true;
    }
    std::map<std::string, uint32_t> values;
};
