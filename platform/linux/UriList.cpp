#include "UriList.h"

#include "TextLines.h"

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

} // namespace

std::string localPathOfUri(std::string_view uri) {
    if (!startsWithNoCase(uri, "file://"))
        return {};
    std::string_view rest = uri.substr(7);
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos)
        return {};
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !(host.size() == 9 && startsWithNoCase(host, "localhost")))
        return {};
    const std::string_view encoded = rest.substr(slash);
    std::string path;
    path.reserve(encoded.size());
    for (size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '%') {
            if (i + 2 >= encoded.size())
                return {};
            const int high = hexValue(encoded[i + 1]), low = hexValue(encoded[i + 2]);
            if (high < 0 || low < 0)
                return {};
            const char decoded = char(high * 16 + low);
            if (decoded == '\0') // would cut the path short in every C call after
                return {};
            path += decoded;
            i += 2;
        } else if (c == '\0' || c == '?' || c == '#') {
            return {}; // a query or fragment has no place in a file path
        } else {
            path += c;
        }
    }
    return path;
}

std::vector<std::string> parseUriList(std::string_view text) {
    std::vector<std::string> paths;
    for (std::string_view line : splitLines(text)) {
        if (line.empty() || line.front() == '#')
            continue;
        std::string path = localPathOfUri(line);
        if (!path.empty())
            paths.push_back(std::move(path));
    }
    return paths;
}
