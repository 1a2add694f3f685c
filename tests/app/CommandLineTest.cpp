#include "CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, OptionsAreTokensWhereverTheyStand) {
    struct Case {
        const char* line;
        const char* path;     // nullptr: none
        const char* identity; // nullptr: none
    } cases[] = {
        {"\"C:\\q\\quorix-updater.exe\" -path:\"C:\\fw\\new 1.qfu\" -id:\"vid_1209&pid_0001\"",
         "C:\\fw\\new 1.qfu", "vid_1209&pid_0001"},
        {"x.exe -id:\"vid_1209&pid_0001\" -path:\"a.qfu\"", "a.qfu", "vid_1209&pid_0001"},
        // Unquoted, as PowerShell passes them: each value ends at the next blank.
        {"x.exe -path:fw.qfu -id:vid_1209&pid_0001", "fw.qfu", "vid_1209&pid_0001"},
        {"x.exe\t-path:fw.qfu   -id:\"vid_1209&pid_0001\"", "fw.qfu", "vid_1209&pid_0001"},
        // An option's name inside another's value is part of that value.
        {"x.exe -path:\"v-id:2/fw.qfu\" -id:vid_1209&pid_0001", "v-id:2/fw.qfu", "vid_1209&pid_0001"},
        {"x.exe -path:\"v-id:2/fw.qfu\"", "v-id:2/fw.qfu", nullptr},
        {"x.exe -path:a-path:b.qfu -id:x", "a-path:b.qfu", "x"},
        // Whole arguments in quotes (a shell's split put back) and quotes mid-token.
        {"\"-path:my file.qfu\" \"-id:vid_1209&pid_0001\" \"extra\"", "my file.qfu", "vid_1209&pid_0001"},
        {"-path:C:\\\"my fw\"\\x.qfu -id:y", "C:\\my fw\\x.qfu", "y"},
        // An unclosed quote runs to the end; only the first occurrence counts.
        {"-id:y -path:\"a b.qfu", "a b.qfu", "y"},
        {"-path:\"a\" -path:\"b\" -id:y", "a", "y"},
        // Not options: nothing after the colon, another letter case, a later start.
        {"-path:\"\" -id:", nullptr, nullptr},
        {"-PATH:a -ID:b", nullptr, nullptr},
        {"x-path:a --id:b", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const UpdateOptions options = parseUpdateOptions(c.line);
        EXPECT_EQ(options.path.value_or("(none)"), c.path ? c.path : "(none)") << c.line;
        EXPECT_EQ(options.identity.value_or("(none)"), c.identity ? c.identity : "(none)") << c.line;
        EXPECT_EQ(options.complete(), c.path && c.identity) << c.line;
    }
}

TEST(CommandLine, ShellSplitArgumentsKeepTheirBounds) {
    const std::vector<std::string> args = {"--simulate", "-path:my file.qfu", "-id:vid_1209&pid_0001",
                                           "two  blanks", ""};
    EXPECT_EQ(commandLineTokens(quoteArguments(args)), args);
    const UpdateOptions options = parseUpdateOptions(quoteArguments(args));
    EXPECT_EQ(*options.path, "my file.qfu");
    EXPECT_EQ(*options.identity, "vid_1209&pid_0001");
}
