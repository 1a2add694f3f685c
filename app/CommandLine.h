#pragma once

#include <optional>
#include <string>
#include <vector>

// The -path: and -id: options. Each is found at its first occurrence in the whole
// command line, independently of the other, and its value is the first token
// after the colon with the double quote as the only delimiter: leading quotes are
// skipped and the value ends at the next quote or at the end of the text.
struct UpdateOptions {
    std::optional<std::string> path;
    std::optional<std::string> identity;
    bool complete() const { return path && identity; }
};

std::optional<std::string> optionValue(const std::string& commandLine, const std::string& option);
UpdateOptions parseUpdateOptions(const std::string& commandLine);

// A command line from arguments a shell already split (and unquoted): each is put
// back in quotes, so that a value ends where its argument ends.
std::string quoteArguments(const std::vector<std::string>& args);
