#include "CommandLine.h"

std::optional<std::string> optionValue(const std::string& commandLine, const std::string& option) {
    const size_t at = commandLine.find(option);
    if (at == std::string::npos)
        return std::nullopt;
    const size_t begin = commandLine.find_first_not_of('"', at + option.size());
    if (begin == std::string::npos)
        return std::nullopt;
    const size_t end = commandLine.find('"', begin);
    return commandLine.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
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
