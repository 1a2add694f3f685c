#include "TerminalText.h"

#include <cstdint>

namespace {

void appendEscape(std::string& out, uint32_t value) {
    static const char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[(value >> 4) & 0xF];
    out += kDigits[value & 0xF];
}

// The length of the valid UTF-8 sequence at text[at] and its code point; 0 when
// the bytes there are not one (overlong forms and surrogates included).
size_t utf8Sequence(std::string_view text, size_t at, uint32_t& codePoint) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    size_t length = 0;
    uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (byte(at + i) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string terminalSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const auto lead = static_cast<uint8_t>(text[at]);
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7F)
                appendEscape(out, lead);
            else
                out += static_cast<char>(lead);
            ++at;
            continue;
        }
        uint32_t codePoint = 0;
        const size_t length = utf8Sequence(text, at, codePoint);
        if (length == 0) {
            appendEscape(out, lead); // a stray byte: 8-bit terminals read 0x9B as CSI
            ++at;
        } else if (codePoint <= 0x9F) {
            appendEscape(out, codePoint); // C1, U+0080 to U+009F
            at += length;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}
