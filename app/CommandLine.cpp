#include "CommandLine.h"

std::vector<std::string> commandLineTokens(const std::string& commandLine) {
    std::vector<std::string> tokens;
    std::string token;
    bool inToken = false, quoted = false;
    for (const char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inToken = true; // "" is an empty token of its own
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inToken)
                tokens.push_back(token);
            token.clear();
            inToken = false;
        } else {
            token += c;
            inToken = true;
        }
    }
    if (inToken)
        tokens.push_back(token); // an unclosed quote runs to the end
    return tokens;
}

std::optional<std::string> optionValue(const std::string& commandLine, const std::string& option) {
    for (const std::string& token : commandLineTokens(commandLine))
        if (token.compare(0, option.size(), option) == 0) {
            if (token.size() == option.size())
                return std::nullopt;
            return token.substr(option.size());
        }
    return std::nullopt;
}

UpdateOptions parseUpdateOptions(const std::string& commandLine) {
    return UpdateOptions{optionValue(commandLine, "-path:"), optionValue(commandLine, "-id:")};
}

std::string quoteArguments(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& arg : args) {
        if (!line.empty())
            line += ' ';
        line += '"' + arg + '"';
    }
    return line;
}
