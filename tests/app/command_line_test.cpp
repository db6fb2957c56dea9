#include "app/command_line.h"

#include <gtest/gtest.h>

using vorlane::MAIN_SplitCommandLine;

TEST(CommandLine, SplitsAtBlankRunsAndKeepsQuotedWordsWhole) {
    auto split = MAIN_SplitCommandLine(
        "\"C:\\Program Files\\x\\front.exe\"   +lan\t-continue  script=\"a b.lua\"", "");
    ASSERT_EQ(split.words.size(), 5u);
    EXPECT_EQ(split.words[0], "C:\\Program Files\\x\\front.exe");
    EXPECT_EQ(split.words[1], "+lan");
    EXPECT_EQ(split.words[2], "-continue");
    // A quote inside a word does not start a quoted word.
    EXPECT_EQ(split.words[3], "script=\"a");
    EXPECT_EQ(split.words[4], "b.lua\"");
    EXPECT_EQ(split.program_directory, "C:\\Program Files\\x");
}

TEST(CommandLine, ProgramDirectoryFallsBackToTheModulePath) {
    auto split = MAIN_SplitCommandLine("front.exe +demo", "/opt/vorlane/bin/vorlane-lobby");
    EXPECT_EQ(split.program_directory, "/opt/vorlane/bin");
    auto unix_path = MAIN_SplitCommandLine("./build/app/vorlane-lobby", "/elsewhere/x");
    EXPECT_EQ(unix_path.program_directory, "./build/app");
}

TEST(CommandLine, UnclosedQuoteRunsToTheEndAndWordsAreCapped) {
    auto split = MAIN_SplitCommandLine("prog \"never closed", "");
    ASSERT_EQ(split.words.size(), 2u);
    EXPECT_EQ(split.words[1], "never closed");

    std::string many = "prog";
    for (int i = 0; i < 300; ++i) many += " w";
    EXPECT_EQ(MAIN_SplitCommandLine(many, "").words.size(), vorlane::kMaxCommandLineWords);
    EXPECT_TRUE(MAIN_SplitCommandLine("   ", "").words.empty());
}

TEST(CommandLine, ArgumentVectorKeepsItsWordsUnderTheSameRules) {
    std::vector<const char*> argv = {"./build/app/vorlane-lobby", "script=a b.lua"};
    auto split = MAIN_SplitCommandLine(int(argv.size()), argv.data(), "/elsewhere/x");
    EXPECT_EQ(split.words,
              (std::vector<std::string>{"./build/app/vorlane-lobby", "script=a b.lua"}));
    EXPECT_EQ(split.program_directory, "./build/app");
    argv.assign(300, "w");
    split = MAIN_SplitCommandLine(int(argv.size()), argv.data(), "/opt/vorlane/bin/vorlane-lobby");
    EXPECT_EQ(split.words.size(), vorlane::kMaxCommandLineWords);
    EXPECT_EQ(split.program_directory, "/opt/vorlane/bin");
}
