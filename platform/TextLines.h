#pragma once

#include <string_view>
#include <vector>

// The lines of a text file or a pasted list, without their line ends ("\n" or
// "\r\n"): a last line without a line end counts, an empty one after the last
// line end does not. The views point into `text`.
inline std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}
