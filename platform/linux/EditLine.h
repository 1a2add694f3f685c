#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The text of a one-line editor and what keys do to it: a caret, a selection from
// an anchor to the caret, and a length limit. Latin-1, one byte per character.
class EditLine {
public:
    // The text is cut to the limit (at least 1) and all selected, the caret at its end.
    EditLine(std::string text, size_t maxLength);

    const std::string& text() const { return text_; }
    size_t caret() const { return caret_; }
    size_t selectionStart() const { return caret_ < anchor_ ? caret_ : anchor_; }
    size_t selectionEnd() const { return caret_ < anchor_ ? anchor_ : caret_; }
    bool hasSelection() const { return caret_ != anchor_; }
    size_t maxLength() const { return maxLength_; }

    // Replaces the selection; what does not fit under the limit is dropped. False
    // when nothing changed.
    bool insert(std::string_view latin1);
    // Backspace and Delete: the selection, else one character before or after the caret.
    bool eraseBackward();
    bool eraseForward();

    enum class Move { Left, Right, Home, End };
    // extend (shift held) moves the caret alone, keeping the anchor. Without it a
    // selection collapses to the side moved to.
    void move(Move where, bool extend);
    void moveTo(size_t position, bool extend);
    void selectAll();

private:
    std::string text_;
    size_t maxLength_;
    size_t caret_ = 0;
    size_t anchor_ = 0;
};

// UTF-8 to Latin-1. Characters beyond U+00FF and malformed bytes are left out;
// refused counts them.
std::string latin1FromUtf8(std::string_view utf8, size_t* refused = nullptr);
