#pragma once

#include <cstddef>
#include <cstdint>

// The TrueType files carried inside the program.
enum class FontRole { Regular, Italic, Bold, BoldItalic, TondoRegular, TondoBold };

struct FontData {
    const uint8_t* data;
    size_t size;
};

FontData embeddedFont(FontRole role);
