#include "console/console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "baselib/bl_file.h"
#include "baselib/ioeve.h"
#include "baselib/timer.h"
#include "media/keycodes.h"

using namespace vorlane::console;

namespace {

vorlane::baselib::ManualClock g_tick{1000};

class ConsoleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        vorlane::baselib::SetSteadyClock(&g_tick);
        bl_started_ = InitBL() == 0;
        ASSERT_TRUE(console.Init(640, 128, nullptr, nullptr, nullptr, 0));
        CONSOLE_Set(&console);
        console.SetOpen(true);
    }
    void TearDown() override {
        CONSOLE_Set(nullptr);
        vorlane::baselib::SetSteadyClock(nullptr);
        if (bl_started_)
            FreeBL();
    }
    void Type(const std::string& text) {
        for (char c : text) {
            IOEVE e;
            e.class_flags = kEveChar;
            e.character = uint8_t(c);
            console.ProcessInput(e);
        }
    }
    bool Key(uint32_t code) {
        g_tick.Advance(200);  // past the key-repeat pause
        IOEVE e;
        e.class_flags = kEveKeyDown;
        e.value = code;
        return console.ProcessInput(e);
    }
    std::string Last() const { return console.lines().empty() ? "" : console.lines().back(); }
    bool Printed(const std::string& text) const {
        for (const auto& l : console.lines())
            if (l == text)
                return true;
        return false;
    }
    CONSOLE console;
    bool bl_started_ = false;
};

TEST_F(ConsoleTest, InitPrintsBannerAndSizesOutput) {
    EXPECT_TRUE(Printed("Lathe, console v1.3"));
    EXPECT_TRUE(Printed("type <list> to get a list of all known symbols"));
    EXPECT_EQ(console.max_lines(), 128 / 8);
    for (int i = 0; i < 40; ++i) console.Printf("line %d", i);
    EXPECT_EQ(console.lines().size(), console.max_lines());
    EXPECT_EQ(console.lines().back(), "line 39");
}

TEST_F(ConsoleTest, LongTextsSplitOnceAtABlankOrAtEighty) {
    console.Print(std::string(100, 'x').c_str());
    auto it = console.lines().rbegin();
    EXPECT_EQ(*it++, std::string(20, 'x'));
    EXPECT_EQ(*it, std::string(80, 'x'));

    std::string first, second;
    ConsoleSplit(std::string(80, 'a') + " " + std::string(10, 'b'), &first, &second);
    EXPECT_EQ(first, std::string(80, 'a'));
    EXPECT_EQ(second, std::string(10, 'b'));
    ConsoleSplit(std::string(50, 'a') + " " + std::string(50, 'b'), &first, &second);
    EXPECT_EQ(first, std::string(50, 'a'));
    EXPECT_EQ(second, std::string(50, 'b'));
    ConsoleSplit(std::string(300, 'c'), &first, &second);
    EXPECT_EQ(second.size(), 80u);  // anything beyond two lines is not shown
}

TEST_F(ConsoleTest, TypingEdgesOverwriteInsertAndApostrophe) {
    Type(std::string(78, 'a'));
    EXPECT_EQ(console.cursor(), 78);
    Type("b");  // 78 characters before the cursor: nothing happens
    EXPECT_EQ(std::string(console.input()), std::string(78, 'a'));

    Key(vorlane::media::kKeyPageDown);
    EXPECT_STREQ(console.input(), "");
    Type("it's");
    EXPECT_STREQ(console.input(), "its");

    Key(vorlane::media::kKeyHome);
    Type("X");
    EXPECT_STREQ(console.input(), "Xts");  // overwrite, not insert
    Key(vorlane::media::kKeyInsert);
    Type("Y");
    EXPECT_STREQ(console.input(), "XYts");
    Key(vorlane::media::kKeyDelete);
    EXPECT_STREQ(console.input(), "XYs");
    IOEVE bs;
    bs.class_flags = kEveChar;
    bs.character = 8;
    console.ProcessInput(bs);
    EXPECT_STREQ(console.input(), "Xs");
    EXPECT_EQ(console.cursor(), 1);
}

TEST_F(ConsoleTest, KeyRecordsObeyOpenStateAndRepeatPause) {
    IOEVE up;
    up.class_flags = kEveKeyUp;
    EXPECT_TRUE(console.ProcessInput(up));
    EXPECT_TRUE(Key(vorlane::media::kKeyLeft));
    IOEVE down;
    down.class_flags = kEveKeyDown;
    down.value = vorlane::media::kKeyLeft;
    EXPECT_FALSE(console.ProcessInput(down));  // within 110 ms of the last accepted key
    console.SetOpen(false);
    EXPECT_FALSE(Key(vorlane::media::kKeyLeft));
    IOEVE mouse;
    mouse.class_flags = kEveMouseInput;
    EXPECT_FALSE(console.ProcessInput(mouse));
}

TEST_F(ConsoleTest, HistoryKeepsFortyAndRecalls) {
    for (int i = 0; i < 41; ++i) {
        Type("h" + std::to_string(i) + "\r");
    }
    ASSERT_EQ(console.history().size(), 40u);
    EXPECT_EQ(console.history().front(), "h1");
    EXPECT_TRUE(Printed("<h40> is not a known command/variable/alias"));
    Key(vorlane::media::kKeyUp);
    EXPECT_STREQ(console.input(), "h40");
    EXPECT_EQ(console.cursor(), 3);
    Key(vorlane::media::kKeyUp);
    EXPECT_STREQ(console.input(), "h39");
    Key(vorlane::media::kKeyDown);
    EXPECT_STREQ(console.input(), "h40");
    Key(vorlane::media::kKeyDown);
    EXPECT_STREQ(console.input(), "");
    for (int i = 0; i < 45; ++i) Key(vorlane::media::kKeyUp);
    EXPECT_STREQ(console.input(), "h1");  // the oldest stays
}

TEST_F(ConsoleTest, VariablesShowAndSetByType) {
    int16_t s16 = -5;
    float f = 1.5f;
    char name[8] = "abc";
    uint8_t flag = 0;
    int changes = 0;
    static int* change_counter;
    change_counter = &changes;
    ASSERT_TRUE(console.AddVariable("s16", &s16, kVarInt16, 0, nullptr));
    ASSERT_TRUE(console.AddVariable("f", &f, kVarFloat, 0, nullptr));
    ASSERT_TRUE(console.AddVariable("name", name, kVarString, sizeof name, nullptr));
    ASSERT_TRUE(console.AddVariable("flag", &flag, kVarBool, 0, [] { ++*change_counter; }));
    console.Execute("s16");
    EXPECT_EQ(Last(), "s16 -5");
    console.Execute("s16 42");
    EXPECT_EQ(s16, 42);
    console.Execute("f");
    EXPECT_EQ(Last(), "f 1.500000");
    console.Execute("name averyveryverylongname");
    EXPECT_STREQ(name, "averyve");  // cut to the storage, terminated
    console.Execute("flag TrUe");
    EXPECT_EQ(flag, 1);
    console.Execute("flag 0");
    EXPECT_EQ(flag, 0);
    console.Execute("flag 1x");
    EXPECT_EQ(flag, 1);
    console.Execute("flag maybe");
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(changes, 4);
    console.Execute("flag");
    EXPECT_EQ(Last(), "flag false");
}

TEST_F(ConsoleTest, NamesAreUniqueAcrossKinds) {
    int v = 0;
    ASSERT_TRUE(console.AddVariable("fps", &v, kVarInt32, 0, nullptr));
    console.Execute("alias fps list");
    EXPECT_EQ(Last(), "<fps> already exists");
    EXPECT_FALSE(console.AddCommand("list", nullptr, 1));
    console.Execute("alias go fps 7");
    EXPECT_EQ(Last(), "alias <go> created");
    console.Execute("go");
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(Printed("alias<go>: fps 7"));
    console.Execute("alias go");
    EXPECT_EQ(Last(), "alias removed");
    console.Execute("alias go");
    EXPECT_EQ(Last(), "could not remove: alias not found");
}

TEST_F(ConsoleTest, SelfReferringAliasStops) {
    console.Execute("alias loop loop");
    console.Execute("loop");  // must return instead of recursing forever
    EXPECT_EQ(Last(), "<loop> nested too deeply, not run");
}

TEST_F(ConsoleTest, ListPrintsSectionsAndWraps) {
    size_t before = console.lines().size();
    console.Execute("list bogus");
    EXPECT_EQ(console.lines().size(), before);
    console.Execute("list cmd");
    EXPECT_EQ(Last(), "CMDS:  alias list save exec");
    console.AddCommand("hidden", nullptr, 0);
    console.Execute("list cmd");
    EXPECT_EQ(Last(), "CMDS:  alias list save exec");
    console.Execute("list alias nothing");
    EXPECT_EQ(Last(), "alias<nothing>: not found");
    static int storage[20];
    for (int i = 0; i < 20; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "variable_%02d", i);
        console.AddVariable(name, &storage[i], kVarInt32, 0, nullptr);
    }
    console.Execute("list var");
    for (const auto& l : console.lines()) EXPECT_LT(l.size(), 80u);
}

TEST_F(ConsoleTest, SaveThenExecRestoresAliasesAndVariables) {
    int32_t number = 12;
    uint8_t flag = 1;
    double d = 2.25;
    console.AddVariable("number", &number, kVarInt32, 0, nullptr);
    console.AddVariable("flag", &flag, kVarBool, 0, nullptr);
    console.AddVariable("d", &d, kVarDouble, 0, nullptr);
    console.Execute("alias shot number 99");
    std::string path = ::testing::TempDir() + "console_save.txt";
    console.Execute(("save " + path).c_str());
    EXPECT_EQ(Last(), "data saved to <" + path + ">");
    number = 0;
    flag = 0;
    d = 0;
    console.Execute("alias shot");
    console.Execute(("exec " + path).c_str());
    EXPECT_EQ(Last(), "all data restored<" + path + ">");
    EXPECT_EQ(number, 12);
    EXPECT_EQ(flag, 1);
    EXPECT_DOUBLE_EQ(d, 2.25);
    console.Execute("list alias shot");
    EXPECT_EQ(Last(), "alias<shot>: number 99");
    console.Execute("exec /nonexistent/dir/file");
    EXPECT_EQ(Last(), "unable to open </nonexistent/dir/file>");
    console.Execute("save");
    EXPECT_EQ(Last(), "save <filename>: writes all variables/aliases to <filename>");
    std::remove(path.c_str());
}

TEST_F(ConsoleTest, SlidesOpenAndClosed) {
    console.Update();
    EXPECT_EQ(console.shown_height(), 128 / 14 + 2);
    for (int i = 0; i < 200; ++i) console.Update();
    EXPECT_EQ(console.shown_height(), 128);
    console.SetOpen(false);
    console.Update();
    EXPECT_EQ(console.shown_height(), 128 - (128 / 14 + 2));
    for (int i = 0; i < 200; ++i) console.Update();
    EXPECT_EQ(console.shown_height(), 0);
}

}  // namespace

#include "console/console_setup.h"
#include "media/keycodes.h"

namespace {

TEST_F(ConsoleTest, DefaultsRegisterProgramHooksAndTheToggleKey) {
    uint32_t fps = 60;
    uint8_t trace = 0;
    static std::string last_lua, last_shot;
    ConsoleHooks hooks;
    hooks.fps = &fps;
    hooks.gui_trace = &trace;
    hooks.lua = [](const char* code) { last_lua = code; };
    hooks.screenshot = [](const char* name) { last_shot = name; };
    ASSERT_TRUE(CONSOLE_RegisterDefaults(console, hooks));
    console.Execute("fps");
    EXPECT_EQ(Last(), "fps 60");
    console.Execute("gui_trace true");
    EXPECT_EQ(trace, 1);
    console.Execute("lua print('x y')");
    EXPECT_EQ(last_lua, "print('x y')");
    EXPECT_EQ(Last(), "print('x y')");
    console.Execute("screenshot");
    EXPECT_EQ(last_shot, "screenshot");

    console.SetOpen(false);
    IOEVE key;
    key.class_flags = kEveKeyDown;
    key.value = uint32_t(vorlane::media::EngineKeyCode(vorlane::media::kDikF12));
    ASSERT_TRUE(CONSOLE_HandleToggle(console, key));
    EXPECT_TRUE(console.open);
    key.class_flags = kEveKeyUp;
    EXPECT_TRUE(CONSOLE_HandleToggle(console, key));
    EXPECT_TRUE(console.open);
    key.class_flags = kEveKeyDown;
    key.value = vorlane::media::kKeyLeft;
    EXPECT_FALSE(CONSOLE_HandleToggle(console, key));
}

}  // namespace
