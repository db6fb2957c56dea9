#include "scripting/text_multiline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Every character is 10 pixels wide.
class FixedFont : public TEXT_MEASURE {
  public:
    int16_t TextWidth(const char* text) const override {
        ++calls;
        return static_cast<int16_t>(10 * std::strlen(text));
    }
    mutable int calls = 0;
};

std::vector<std::string> Lines(const TEXT_MULTILINE& wrap) {
    std::vector<std::string> lines;
    for (uint32_t i = 0; i < wrap.GetLineCount(); ++i) lines.emplace_back(wrap.GetLine(i));
    return lines;
}

std::vector<std::string> Wrap(const char* text, uint32_t width) {
    static FixedFont font;
    TEXT_MULTILINE wrap;
    wrap.SetFont(&font);
    wrap.SetWidth(width);
    wrap.SetText(text, 0);
    return Lines(wrap);
}

using V = std::vector<std::string>;

TEST(TextMultiline, WordsFitStrictlyNarrowerThanWidth) {
    EXPECT_EQ(Wrap("ab cd", 50), (V{"ab", "cd"}));  // exactly 50 wide: breaks
    EXPECT_EQ(Wrap("ab cd", 51), (V{"ab cd"}));
    EXPECT_EQ(Wrap("one two three four", 100), (V{"one two", "three", "four"}));
    EXPECT_EQ(Wrap("a    b", 30), (V{"a", "b"}));   // blanks at the break are dropped
    EXPECT_EQ(Wrap("  lead", 100), (V{"  lead"}));  // only blanks after a break go
}

TEST(TextMultiline, OverlongWordIsCutAndContinues) {
    EXPECT_EQ(Wrap("abcdefgh", 35), (V{"abc", "def", "gh"}));
    EXPECT_EQ(Wrap("abcdefgh", 30), (V{"abc", "def", "gh"}));  // a cut line may be exactly width
    EXPECT_EQ(Wrap("xx abcdefgh", 35), (V{"xx", "abc", "def", "gh"}));
}

TEST(TextMultiline, ControlPairsBreakLines) {
    EXPECT_EQ(Wrap("a~nx", 100), (V{"a", "x"}));
    EXPECT_EQ(Wrap("~nfirst", 100), (V{"", "first"}));
    EXPECT_EQ(Wrap("one~n~ntwo", 100), (V{"one", "", "two"}));
    EXPECT_EQ(Wrap("a b~n c", 100), (V{"a b", "c"}));
    EXPECT_EQ(Wrap("abcdef~nx", 30), (V{"abc", "def", "x"}));
}

TEST(TextMultiline, AppendJoinsWithSeparator) {
    FixedFont font;
    TEXT_MULTILINE wrap;
    wrap.SetFont(&font);
    wrap.SetWidth(100);
    EXPECT_EQ(wrap.SetText("a", 1), 1);  // first text: flag ignored
    EXPECT_STREQ(wrap.GetText(), "a");
    EXPECT_EQ(wrap.SetText("x", 1), 1);
    EXPECT_STREQ(wrap.GetText(), "a~nx");
    EXPECT_EQ(Lines(wrap), (V{"a", "x"}));
    EXPECT_EQ(wrap.SetText("y", 0), 1);
    EXPECT_STREQ(wrap.GetText(), "a~nxy");
    EXPECT_EQ(wrap.SetText(nullptr, 1), 0);
    EXPECT_STREQ(wrap.GetText(), "a~nxy");
    EXPECT_EQ(wrap.GetLineWidth(1), 20);
    EXPECT_EQ(wrap.GetLineWidth(2), 0);
    EXPECT_EQ(wrap.GetLine(2), nullptr);
}

TEST(TextMultiline, NothingWrapsWithoutFontWidthOrText) {
    FixedFont font;
    TEXT_MULTILINE wrap;
    wrap.SetText("some words", 0);
    EXPECT_EQ(wrap.GetLineCount(), 0u);  // no font
    wrap.SetFont(&font);
    EXPECT_EQ(wrap.GetLineCount(), 0u);  // width 0
    wrap.SetWidth(200);
    EXPECT_EQ(Lines(wrap), (V{"some words"}));
    wrap.SetWidth(60);  // each change rewraps
    EXPECT_EQ(Lines(wrap), (V{"some", "words"}));
    wrap.Clear();
    EXPECT_EQ(wrap.GetLineCount(), 0u);
    EXPECT_EQ(wrap.GetText(), nullptr);
    wrap.SetText("", 0);
    EXPECT_EQ(wrap.GetLineCount(), 0u);
    wrap.SetFont(nullptr);
    EXPECT_EQ(wrap.GetLineWidth(0), 0);
}

// Inputs on which a wrapper that does not advance would never return.
TEST(TextMultiline, AlwaysAdvances) {
    EXPECT_EQ(Wrap("abc", 5), (V{"a", "b", "c"}));  // not one character fits
    EXPECT_EQ(Wrap("a b", 1), (V{"a", "b"}));
    EXPECT_EQ(Wrap("ab~", 100), (V{"ab~"}));  // a lone tilde at the end
    EXPECT_EQ(Wrap("~", 100), (V{"~"}));
    EXPECT_EQ(Wrap("~", 5), (V{"~"}));
    EXPECT_EQ(Wrap("x ~", 100), (V{"x ~"}));
    EXPECT_EQ(Wrap("~n", 5), (V{""}));
}

}  // namespace
