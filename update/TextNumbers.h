#pragma once

#include "FirmwareVersion.h"

#include <cstdint>
#include <string>

// Numbers and versions typed by people (tool options, simulated-device settings):
// digits only, no sign or blanks, and never above max.
bool parseUnsignedText(const std::string& text, int base, uint64_t max, uint64_t& value);

// "1.1.0" or "1.1.00": three numbers 0 to 255.
bool parseVersionText(const std::string& text, FirmwareVersion& version);
