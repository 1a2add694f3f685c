#include "EditLine.h"

#include <algorithm>

EditLine::EditLine(std::string text, size_t maxLength)
    : text_(std::move(text)), maxLength_(std::max<size_t>(maxLength, 1)) {
    if (text_.size() > maxLength_)
        text_.resize(maxLength_);
    selectAll();
}

bool EditLine::insert(std::string_view latin1) {
    const size_t start = selectionStart(), end = selectionEnd();
    const size_t kept = text_.size() - (end - start);
    const std::string_view fitting = latin1.substr(0, maxLength_ - std::min(kept, maxLength_));
    if (fitting.empty() && start == end)
        return false;
    text_.replace(start, end - start, fitting);
    caret_ = anchor_ = start + fitting.size();
    return true;
}

bool EditLine::eraseBackward() {
    if (!hasSelection()) {
        if (caret_ == 0)
            return false;
        anchor_ = caret_ - 1;
    }
    return insert({});
}

bool EditLine::eraseForward() {
    if (!hasSelection()) {
        if (caret_ >= text_.size())
            return false;
        anchor_ = caret_ + 1;
    }
    return insert({});
}

void EditLine::move(Move where, bool extend) {
    size_t to = caret_;
    switch (where) {
    case Move::Left:
        to = !extend && hasSelection() ? selectionStart() : caret_ > 0 ? caret_ - 1 : 0;
        break;
    case Move::Right:
        to = !extend && hasSelection() ? selectionEnd() : std::min(caret_ + 1, text_.size());
        break;
    case Move::Home:
        to = 0;
        break;
    case Move::End:
        to = text_.size();
        break;
    }
    moveTo(to, extend);
}

void EditLine::moveTo(size_t position, bool extend) {
    caret_ = std::min(position, text_.size());
    if (!extend)
        anchor_ = caret_;
}

void EditLine::selectAll() {
    anchor_ = 0;
    caret_ = text_.size();
}

std::string latin1FromUtf8(std::string_view utf8, size_t* refused) {
    std::string out;
    size_t dropped = 0;
    for (size_t at = 0; at < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        const size_t length = lead < 0x80 ? 1
                              : (lead & 0xE0) == 0xC0 ? 2
                              : (lead & 0xF0) == 0xE0 ? 3
                              : (lead & 0xF8) == 0xF0 ? 4
                                                      : 0;
        bool wellFormed = length != 0 && at + length <= utf8.size();
        for (size_t i = 1; wellFormed && i < length; ++i)
            wellFormed = (static_cast<unsigned char>(utf8[at + i]) & 0xC0) == 0x80;
        if (!wellFormed) {
            ++dropped;
            ++at;
            continue;
        }
        unsigned code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (size_t i = 1; i < length; ++i)
            code = code << 6 | (static_cast<unsigned char>(utf8[at + i]) & 0x3Fu);
        // Only U+0080..U+00FF take two bytes; longer forms of them are malformed.
        if (code <= 0xFF && (length == 1 || (length == 2 && code >= 0x80)))
            out += static_cast<char>(code);
        else
            ++dropped;
        at += length;
    }
    if (refused)
        *refused = dropped;
    return out;
}
