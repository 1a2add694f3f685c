#include "TextNumbers.h"

#include <cctype>

bool parseUnsignedText(const std::string& text, int base, uint64_t max, uint64_t& value) {
    if (text.empty())
        return false;
    uint64_t result = 0;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (!(base == 16 ? std::isxdigit(u) : std::isdigit(u)))
            return false;
        const uint64_t digit =
            static_cast<uint64_t>(std::isdigit(u) ? c - '0' : std::tolower(u) - 'a' + 10);
        if (digit > max || result > (max - digit) / static_cast<uint64_t>(base))
            return false; // beyond max, and never wrapping round
        result = result * static_cast<uint64_t>(base) + digit;
    }
    value = result;
    return true;
}

bool parseVersionText(const std::string& text, FirmwareVersion& version) {
    uint64_t parts[3];
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const size_t dot = i < 2 ? text.find('.', start) : text.size();
        if (dot == std::string::npos ||
            !parseUnsignedText(text.substr(start, dot - start), 10, 255, parts[i]))
            return false;
        start = dot + 1;
    }
    version = FirmwareVersion{static_cast<uint8_t>(parts[0]), static_cast<uint8_t>(parts[1]),
                              static_cast<uint8_t>(parts[2])};
    return true;
}
