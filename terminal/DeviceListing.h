#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

class HidSystem;

// --list: every HID interface present, with its vendor and product ID; those the
// identity names (if given) are also asked for their versions and block size.
// One line each, or one JSON object each. Returns the exit code: 1 when the
// interfaces cannot be listed, the identity names no device or nothing matches it.
int runDeviceList(const std::shared_ptr<HidSystem>& hid, const std::optional<std::string>& identity,
                  const std::string& devicePath, bool json, std::ostream& out, std::ostream& err);
