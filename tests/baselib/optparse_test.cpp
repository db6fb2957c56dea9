#include "baselib/optparse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

OptionEntry Entry(const char* name, uint32_t kinds, const char* help = nullptr) {
    OptionEntry entry;
    std::memcpy(entry.name, name, std::min(std::strlen(name), sizeof(entry.name)));
    entry.kinds = kinds;
    entry.help = help;
    return entry;
}

struct CommandLine {
    explicit CommandLine(std::vector<std::string> words) : words(std::move(words)) {
        for (auto& word : this->words) argv.push_back(word.c_str());
    }
    int argc() const { return static_cast<int>(argv.size()); }
    std::vector<std::string> words;
    std::vector<const char*> argv;
};

uint16_t Parse(const CommandLine& line, std::vector<OptionEntry>& table) {
    return PARSECOMMANDLINE(line.argc(), line.argv.data(), table.data(),
                            static_cast<int>(table.size()));
}

TEST(OptionParserTest, SwitchAndNumericVariable) {
    std::vector<OptionEntry> table = {Entry("debug", kOptSwitchOn | kOptSwitchOff),
                                      Entry("time", kOptVariable | kOptNumeric)};
    CommandLine line({"x.exe", "-debug", "time=25"});
    EXPECT_EQ(Parse(line, table), 2);
    EXPECT_STREQ(table[0].name, "DEBUG");  // upper-cased in place
    EXPECT_EQ(table[0].state, -1);
    EXPECT_EQ(table[0].value, nullptr);
    EXPECT_EQ(table[1].state, 1);
    EXPECT_EQ(table[1].number, 25);
    EXPECT_STREQ(table[1].value, "25");
}

TEST(OptionParserTest, EarlierWordWinsAndStatesReset) {
    std::vector<OptionEntry> table = {Entry("debug", kOptSwitchOn | kOptSwitchOff)};
    EXPECT_EQ(Parse(CommandLine({"x", "-debug", "+debug"}), table), 2);
    EXPECT_EQ(table[0].state, -1);
    EXPECT_EQ(Parse(CommandLine({"x", "+DEBUG", "-Debug"}), table), 2);
    EXPECT_EQ(table[0].state, 1);
    EXPECT_EQ(Parse(CommandLine({"x"}), table), 0);  // nothing given: state back to 0
    EXPECT_EQ(table[0].state, 0);
    EXPECT_EQ(PARSECOMMANDLINE(0, nullptr, table.data(), 1), 0);
}

TEST(OptionParserTest, MatchingIgnoresCaseButValuesKeepIt) {
    std::vector<OptionEntry> table = {Entry("Script", kOptVariable), Entry("window", kOptKeyword)};
    CommandLine line({"prog", "sCrIpT=tests/Autopilot.lua", "WINDOW"});
    EXPECT_EQ(Parse(line, table), 2);
    EXPECT_STREQ(table[0].value, "tests/Autopilot.lua");
    EXPECT_EQ(table[0].value, line.argv[1] + 7);  // points into the word
    EXPECT_EQ(table[1].state, 1);
    EXPECT_EQ(std::string(line.argv[1]), "sCrIpT=tests/Autopilot.lua");  // words untouched
}

TEST(OptionParserTest, FormsMustBeAccepted) {
    std::vector<OptionEntry> table = {Entry("help", kOptKeyword),
                                      Entry("time", kOptVariable | kOptNumeric),
                                      Entry("sound", kOptSwitchOn), Entry("x", kOptVariable)};
    CommandLine line({"p", "help=1", "time=abc", "-sound", "unknown", "+help", "x=a=b", "time"});
    EXPECT_EQ(Parse(line, table), 2);  // time=abc and x=a=b
    EXPECT_EQ(table[0].state, 0);      // a keyword is not a variable or a switch
    EXPECT_EQ(table[1].state, 1);
    EXPECT_EQ(table[1].number, 0);
    EXPECT_EQ(table[2].state, 0);         // only "+" accepted
    EXPECT_STREQ(table[3].value, "a=b");  // split at the first "="
}

TEST(OptionParserTest, NumbersAreSaturatedAndSigned) {
    std::vector<OptionEntry> table = {Entry("n", kOptVariable | kOptNumeric)};
    Parse(CommandLine({"p", "n=-17x"}), table);
    EXPECT_EQ(table[0].number, -17);
    Parse(CommandLine({"p", "n=99999999999999999999"}), table);
    EXPECT_EQ(table[0].number, INT32_MAX);
    Parse(CommandLine({"p", "n=-99999999999999999999"}), table);
    EXPECT_EQ(table[0].number, INT32_MIN);
}

TEST(OptionParserTest, DisabledEntriesAndFullLengthNames) {
    // The second name fills all 16 bytes of its field, with no terminator.
    std::vector<OptionEntry> table = {Entry("off", kOptKeyword),
                                      Entry("sixteencharsname", kOptKeyword)};
    table[0].disabled = kOptDisabled;
    table[1].id = 77;
    EXPECT_EQ(Parse(CommandLine({"p", "off", "sixteencharsname"}), table), 1);
    EXPECT_EQ(table[0].state, 0);
    EXPECT_EQ(table[1].state, 1);
    EXPECT_EQ(table[1].id, 77);
}

TEST(OptionParserTest, OptionListing) {
    std::vector<OptionEntry> table = {
        Entry("DEBUG", kOptSwitchOn | kOptSwitchOff, "debug output"),
        Entry("TIME", kOptVariable | kOptNumeric, "start time"),
        Entry("HIDDEN", kOptKeyword, "not listed"),
        Entry("WINDOW", kOptKeyword),
    };
    table[2].disabled = kOptDisabled;
    EXPECT_EQ(FormatOptions(table.data(), 4),
              "Switch DEBUG + (ON) - (OFF) : debug output\n"
              "Variable TIME=value : start time\n"
              "Keyword WINDOW\n");
    ::testing::internal::CaptureStdout();
    PrintOptions(table.data(), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Switch DEBUG + (ON) - (OFF) : debug output\n");
}

}  // namespace
