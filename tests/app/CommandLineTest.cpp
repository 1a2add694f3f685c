#include "CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, FindsBothOptionsInEitherOrder) {
    const UpdateOptions options =
        parseUpdateOptions("\"C:\\q\\quorix-updater.exe\" -path:\"C:\\fw\\new 1.qfu\" "
                           "-id:\"vid_1209&pid_0001\"");
    ASSERT_TRUE(options.complete());
    EXPECT_EQ(*options.path, "C:\\fw\\new 1.qfu");
    EXPECT_EQ(*options.identity, "vid_1209&pid_0001");

    const UpdateOptions reversed = parseUpdateOptions("x.exe -id:\"vid_1209&pid_0001\" -path:\"a.qfu\"");
    EXPECT_EQ(*reversed.path, "a.qfu");
    EXPECT_EQ(*reversed.identity, "vid_1209&pid_0001");
}

TEST(CommandLine, ValuesAreQuoteDelimitedTokens) {
    // Without quotes the path runs to the next quote: blank and "-id:" included.
    const UpdateOptions unquoted = parseUpdateOptions("x.exe -path:a.qfu -id:\"vid_1209&pid_0001\"");
    EXPECT_EQ(*unquoted.path, "a.qfu -id:");
    EXPECT_EQ(*unquoted.identity, "vid_1209&pid_0001");
    // Leading quotes are skipped; a value may end with the text.
    EXPECT_EQ(optionValue("-path:\"\"\"a.qfu", "-path:"), "a.qfu");
    EXPECT_EQ(optionValue("-id:vid_1&pid_2", "-id:"), "vid_1&pid_2");
    // Nothing after the colon but quotes: no value.
    EXPECT_FALSE(optionValue("-path:\"\"", "-path:"));
    EXPECT_FALSE(optionValue("x -path:", "-path:"));
    // Only the first occurrence counts, and the option is case-sensitive.
    EXPECT_EQ(optionValue("-path:\"a\" -path:\"b\"", "-path:"), "a");
    EXPECT_FALSE(optionValue("-PATH:\"a\"", "-path:"));
}

TEST(CommandLine, OnlyOneOptionStartsNoUpdate) {
    EXPECT_FALSE(parseUpdateOptions("x.exe -path:\"a.qfu\"").complete());
    EXPECT_FALSE(parseUpdateOptions("x.exe -id:\"vid_1&pid_2\"").complete());
    EXPECT_FALSE(parseUpdateOptions("").complete());
}

TEST(CommandLine, ShellSplitArgumentsKeepTheirBounds) {
    const std::string line =
        quoteArguments({"--simulate", "-path:my file.qfu", "-id:vid_1209&pid_0001", "extra"});
    const UpdateOptions options = parseUpdateOptions(line);
    EXPECT_EQ(*options.path, "my file.qfu");
    EXPECT_EQ(*options.identity, "vid_1209&pid_0001");
}
