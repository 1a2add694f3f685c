#include "GalleryParameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace gallery {

LevelParameter::LevelParameter(int32_t index, CParameterManager* manager, float defaultValue)
    : PARAMETER(index, manager, defaultValue, 0, 100, 0, 0) {}

void LevelParameter::Format(char* text, size_t length, int32_t) {
    std::snprintf(text, length, "Level %.2f", double(GetValue()));
}

float LevelParameter::TextToValue(const char* text) {
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end != text && *end == '%')
        value /= 100.0;
    if (end == text || !std::isfinite(value))
        return GetValue(); // not a number: unchanged
    return float(std::clamp(value, 0.0, 1.0));
}

SwitchParameter::SwitchParameter(int32_t index, CParameterManager* manager)
    : PARAMETER(index, manager, 0.0f, 0, 1, 0, 0) {}

void SwitchParameter::Format(char* text, size_t length, int32_t) {
    std::snprintf(text, length, "%s", GetValue() >= 0.5f ? "On" : "Off");
}

float SwitchParameter::TextToValue(const char* text) {
    return std::strcmp(text, "On") == 0 || std::strcmp(text, "1") == 0 ? 1.0f : 0.0f;
}

GalleryParameters::GalleryParameters() = default;

PARAMETER& GalleryParameters::at(int32_t index) {
    return *manager_.parameterAt(std::clamp(index, 0, kParameterCount - 1));
}

} // namespace gallery
