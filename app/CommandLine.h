#pragma once

#include <optional>
#include <string>
#include <vector>

// The -path: and -id: options. The command line is split into tokens first: blanks
// outside double quotes separate them, and the quotes themselves only group (they
// are dropped), so `-path:"my file.qfu"` and `"-path:my file.qfu"` are one token.
// An option is recognised only where a token starts, never inside another option's
// value; its value is the rest of that token. The first occurrence counts.
struct UpdateOptions {
    std::optional<std::string> path;
    std::optional<std::string> identity;
    bool complete() const { return path && identity; }
};

std::vector<std::string> commandLineTokens(const std::string& commandLine);
std::optional<std::string> optionValue(const std::string& commandLine, const std::string& option);
UpdateOptions parseUpdateOptions(const std::string& commandLine);

// A command line from arguments a shell already split (and unquoted): each is put
// back in quotes, so that a value ends where its argument ends.
std::string quoteArguments(const std::vector<std::string>& args);
