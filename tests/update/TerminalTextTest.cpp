#include "TerminalText.h"

#include <gtest/gtest.h>

TEST(TerminalText, ControlsAndBrokenBytesAreShownAndTheRestIsKept) {
    struct Case {
        std::string text, shown;
    } cases[] = {
        {"Quorix Demo Device C:\\fw\\a.qfu 100%", "Quorix Demo Device C:\\fw\\a.qfu 100%"},
        {"X\x1b]2;pwned\x07\x1b[2J", "X\\x1b]2;pwned\\x07\\x1b[2J"},
        {std::string("a\0b\tc\nd\re\x7f", 10), "a\\x00b\\x09c\\x0ad\\x0de\\x7f"},
        // Other languages stay readable, also where their bytes look like C1.
        {"прошивка 固件 fw–1 ü 😀", "прошивка 固件 fw–1 ü 😀"},
        // C1 written as UTF-8 (U+009B is CSI) and as single bytes of 8-bit terminals.
        {"a\xc2\x9b" "2Jb\xc2\x85", "a\\x9b2Jb\\x85"},
        {"a\x9b" "2J\x80", "a\\x9b2J\\x80"},
        // Not UTF-8: overlong, surrogate, cut short, beyond U+10FFFF, a lone lead.
        {"\xc0\x80", "\\xc0\\x80"},
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"ok\xe2\x80", "ok\\xe2\\x80"},
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"\xff\xfe", "\\xff\\xfe"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(terminalSafe(c.text), c.shown) << c.shown;
}
