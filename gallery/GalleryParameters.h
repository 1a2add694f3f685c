#pragma once

#include "CParameterManager.h"

#include <cstdint>

// The gallery's parameters: what its controls show and set.
namespace gallery {

enum Parameter : int32_t { kLevel = 0, kPower = 1, kMeter = 2, kParameterCount = 3 };

// Ids of its preferences, above every parameter index.
constexpr uint16_t kOptionPreference = 100;
constexpr uint16_t kPresetPreference = 101;

// 0..1 shown as "Level 0.50"; typed text ("0.8", "80%") read back, held to 0..1.
class LevelParameter : public PARAMETER {
public:
    LevelParameter(int32_t index, CParameterManager* manager, float defaultValue);
    void Format(char* text, size_t length, int32_t steps) override;
    float TextToValue(const char* text) override;
};

// Off or on, shown as "Off" / "On".
class SwitchParameter : public PARAMETER {
public:
    SwitchParameter(int32_t index, CParameterManager* manager);
    void Format(char* text, size_t length, int32_t steps) override;
    float TextToValue(const char* text) override;
};

// The parameter table with the gallery's three parameters registered.
class GalleryParameters {
public:
    GalleryParameters();
    CParameterManager& manager() { return manager_; }
    PARAMETER& at(int32_t index);

private:
    CParameterManager manager_{kParameterCount};
    LevelParameter level_{kLevel, &manager_, 0.5f};
    SwitchParameter power_{kPower, &manager_};
    LevelParameter meter_{kMeter, &manager_, 0.5f};
};

} // namespace gallery
