#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

// One JSON object per line, for scripts. Texts from outside (paths, causes) may
// hold anything: they are escaped, and bytes that are not UTF-8 become U+FFFD
// instead of making the line invalid.
std::string jsonLine(const nlohmann::ordered_json& object);

// "1209": four lower-case hexadecimal digits, as in the device's identity text.
std::string hexId(uint16_t id);
