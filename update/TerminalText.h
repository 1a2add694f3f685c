#pragma once

#include <string>
#include <string_view>

// Text from a file, a device or the command line, made safe for a terminal or a
// plain log: every control character (C0, DEL, C1 and so ESC) and every byte that
// is not part of valid UTF-8 is shown as \xNN, so nothing it carries can move the
// cursor, retitle the window or clear the screen. Other characters are kept as
// they are. JSON output has its own escaping and does not need this.
std::string terminalSafe(std::string_view text);
