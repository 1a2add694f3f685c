#pragma once

#include <string>
#include <string_view>
#include <vector>

// The local paths named by a text/uri-list (what a file manager drops): file:// URIs
// with an empty host or "localhost", percent-decoded, in the order given. Comments,
// other schemes, remote hosts and malformed entries are left out.
std::vector<std::string> parseUriList(std::string_view text);

// One file URI's path; empty when it is not a local file URI or is malformed.
std::string localPathOfUri(std::string_view uri);
