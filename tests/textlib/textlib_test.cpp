#include "resources/textlib.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "resources/rama_ctrl.h"
#include "resources/text_source.h"
#include "scripting/lua_glue.h"
#include "tests/scripting/test_archive.h"
#include "tests/support/log_capture.h"

namespace {

using vorlane::resources::CompileTextSource;
using vorlane::resources::TEXTLIB;
using vorlane::testing::BcfImage;
using vorlane::testing::LogCapture;
using vorlane::testing::TestArchive;

std::string Image(const std::vector<std::string>& objects) {
    std::vector<uint8_t> image = BcfImage(objects);
    return std::string(image.begin(), image.end());
}

std::string Source(const char* text) {
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_TRUE(CompileTextSource(text, image, &error)) << error;
    return std::string(image.begin(), image.end());
}

class TextlibTest : public ::testing::Test {
  protected:
    TextlibTest()
        : archive_(
              {{"texts",
                {{"text.global", 11,
                  Source("HELLO = Hello\nBOTH = from global\nONLY_GLOBAL = old, \"quoted\"\n")},
                 {"lobby.global.text", 11,
                  Source("BOTH = from lobby\nCOMMA = A#B\nLATIN = \xE9t\xE9\n")},
                 {"text.sound", 13, "not text"},
                 {"text.raw", 1, Source("X = raw")},
                 {"text.badlua", 11, Image({"application_text_ids = {", "text"})},
                 {"text.notable", 11, Image({"application_text_ids = 'x'", "text"})},
                 {"text.noobj0", 11, Image({"", "text"})},
                 {"text.garbage", 11, "not a bcf image"},
                 {"text.odd", 11,
                  Image({"application_text_ids = { HELLO = 'one', BIG = 1e300, NEG = -1, FAR = 99, "
                         "FRACTION = 2.7, HOLE = 2 }",
                         "first", ""})}}}}) {}

    void SetUp() override {
        ASSERT_TRUE(archive_.ok());
        lua_ = LuaStatePtr(LUA_CreateState());
        ASSERT_EQ(texts_.Init(lua_.get(), &archive_.rama()), 1);
    }

    // The global of library `id`'s names table is a table.
    bool HasTable(uint32_t number) {
        std::string name = "application_text_ids" + std::to_string(number);
        lua_getglobal(lua_.get(), name.c_str());
        bool is_table = lua_istable(lua_.get(), -1);
        lua_pop(lua_.get(), 1);
        return is_table;
    }

    TestArchive archive_;
    LuaStatePtr lua_;
    TEXTLIB texts_;
};

TEST_F(TextlibTest, LaterResourcesOverrideEarlierOnes) {
    EXPECT_EQ(texts_.AddTextResource("text.global"), 1u);
    EXPECT_EQ(texts_.AddTextResource("lobby.global.text"), 2u);
    EXPECT_STREQ(texts_.GetTextC("BOTH"), "from lobby");
    EXPECT_STREQ(texts_.GetTextC("HELLO"), "Hello");
    EXPECT_STREQ(texts_.GetTextC("ONLY_GLOBAL"), "old, \"quoted\"");
    EXPECT_STREQ(texts_.GetTextC("COMMA"), "A,B");
    EXPECT_STREQ(texts_.GetTextC("LATIN"), "\xE9t\xE9");
    EXPECT_EQ(texts_.GetText("MISSING"), nullptr);
    EXPECT_EQ(texts_.GetText(nullptr), nullptr);
    // Cached texts come back as the same object.
    EXPECT_EQ(texts_.GetText("COMMA"), texts_.GetText("COMMA"));
    // The loading global is cleared again.
    lua_getglobal(lua_.get(), "application_text_ids");
    EXPECT_TRUE(lua_isnil(lua_.get(), -1));
    lua_pop(lua_.get(), 1);
    EXPECT_EQ(lua_gettop(lua_.get()), 0);
}

TEST_F(TextlibTest, ValuesThatAreNotTextNumbersGiveNoText) {
    ASSERT_EQ(texts_.AddTextResource("text.global"), 1u);
    ASSERT_EQ(texts_.AddTextResource("text.odd"), 2u);
    auto* odd = texts_.GetLibrary(2);
    EXPECT_EQ(odd->GetID("HELLO"), 0u);
    EXPECT_STREQ(texts_.GetTextC("HELLO"), "Hello");  // found in the older library
    EXPECT_EQ(odd->GetID("BIG"), 0u);
    EXPECT_EQ(odd->GetID("NEG"), 0u);
    EXPECT_EQ(odd->GetID("FAR"), 99u);
    EXPECT_EQ(odd->GetText(99), nullptr);
    EXPECT_EQ(odd->GetID("FRACTION"), 2u);
    ASSERT_NE(odd->GetText(2), nullptr);
    EXPECT_EQ(*odd->GetText(2), "");  // an empty text is still a text
    EXPECT_EQ(odd->GetText(0), nullptr);
    EXPECT_EQ(texts_.GetText("BIG"), nullptr);
}

TEST_F(TextlibTest, BrokenResourcesAreRefusedCleanly) {
    LogCapture log;
    EXPECT_EQ(texts_.AddTextResource("text.sound"), 0u);
    EXPECT_TRUE(
        log.Has(kLogError, "TEXTLIB::AddTextResource: RAMA resource is no TEXTLIB: text.sound"));
    EXPECT_EQ(texts_.AddTextResource("text.raw"), 0u);
    EXPECT_EQ(texts_.AddTextResource("no.such.text"), 0u);
    EXPECT_EQ(texts_.AddTextResource(nullptr), 0u);
    EXPECT_TRUE(log.Has(kLogError, "TEXTLIB::AddTextResource: no address"));

    EXPECT_EQ(texts_.AddTextResource("text.badlua"), 0u);
    EXPECT_TRUE(log.Has(kLogError, "TEXTLIB_LIB::Init: lua parsing failed"));
    EXPECT_TRUE(log.Has(kLogError, "TEXTLIB::AddTextResource: textlib can't init"));
    EXPECT_EQ(texts_.AddTextResource("text.notable"), 0u);
    EXPECT_EQ(texts_.AddTextResource("text.noobj0"), 0u);
    EXPECT_TRUE(log.Has(kLogError, "TEXTLIB_LIB::Init: failed loading definition"));
    EXPECT_EQ(texts_.AddTextResource("text.garbage"), 0u);
    EXPECT_TRUE(log.Has(kLogError, "TEXTLIB_LIB::Init: can't load text BCF"));
    EXPECT_EQ(texts_.GetCount(), 0u);
    EXPECT_EQ(lua_gettop(lua_.get()), 0);

    // A chunk that never ends is stopped.
    std::string endless = Image({"while true do end", "x"});
    EXPECT_EQ(texts_.AddTextData(reinterpret_cast<const uint8_t*>(endless.data()), endless.size()),
              0u);
    EXPECT_EQ(texts_.AddTextData(nullptr, 0), 0u);
    EXPECT_TRUE(log.Has(kLogError, "TEXTLIB_LIB::Init: invalid parameter (no block)"));

    // A failed load does not leave a table behind for the next one.
    std::string leaves_table = Image({"application_text_ids = { A = 1 } error('late')", "a"});
    EXPECT_EQ(texts_.AddTextData(reinterpret_cast<const uint8_t*>(leaves_table.data()),
                                 leaves_table.size()),
              1u);
    EXPECT_EQ(texts_.AddTextResource("text.notable"), 0u);
}

TEST_F(TextlibTest, ReleaseClearsTheNamesTable) {
    ASSERT_EQ(texts_.AddTextResource("text.global"), 1u);
    ASSERT_EQ(texts_.AddTextResource("lobby.global.text"), 2u);
    uint32_t first = texts_.GetLibrary(1)->GetNumber();
    uint32_t second = texts_.GetLibrary(2)->GetNumber();
    EXPECT_EQ(second, first + 1);
    EXPECT_TRUE(HasTable(first));
    EXPECT_TRUE(HasTable(second));
    texts_.RemoveAll();
    EXPECT_FALSE(HasTable(first));
    EXPECT_FALSE(HasTable(second));
    EXPECT_EQ(texts_.GetText("HELLO"), nullptr);
    EXPECT_EQ(texts_.Init(nullptr), 0);
    EXPECT_EQ(texts_.AddTextResource("text.global"), 0u);
}

// A script may give the globals a metatable that raises errors; the library
// must still load, look up and release without an unprotected Lua error.
TEST_F(TextlibTest, HostileGlobalsMetatableDoesNotEscape) {
    ASSERT_EQ(texts_.AddTextResource("text.global"), 1u);
    ASSERT_EQ(LUA_ExecuteString(lua_.get(),
                                "setmetatable(_G, { __index = function() error('read') end,"
                                " __newindex = function() error('write') end })",
                                "hostile"),
              1);
    EXPECT_EQ(texts_.AddTextResource("lobby.global.text"), 0u);  // its chunk cannot set the table
    EXPECT_STREQ(texts_.GetTextC("HELLO"), "Hello");
    texts_.RemoveAll();
    EXPECT_EQ(lua_gettop(lua_.get()), 0);
}

TEST(TextSource, ParsesNamesTextsAndComments) {
    std::vector<vorlane::resources::TextSourceEntry> entries;
    std::string error;
    ASSERT_TRUE(vorlane::resources::ParseTextSource(
        "; comment\r\n\r\nA_1 =  one, two  \r\n  end = \"q\" = x\nEMPTY =\n", entries, &error));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "A_1");
    EXPECT_EQ(entries[0].text, "one, two");
    EXPECT_EQ(entries[1].name, "end");
    EXPECT_EQ(entries[1].text, "\"q\" = x");
    EXPECT_EQ(entries[2].text, "");

    EXPECT_FALSE(vorlane::resources::ParseTextSource("A = 1\nA = 2\n", entries, &error));
    EXPECT_EQ(error, "line 2: text name 'A' defined twice");
    EXPECT_FALSE(vorlane::resources::ParseTextSource("no equals\n", entries, &error));
    EXPECT_EQ(error, "line 1: \"=\" expected");
    EXPECT_FALSE(vorlane::resources::ParseTextSource("1A = x\n", entries, &error));
    EXPECT_FALSE(vorlane::resources::ParseTextSource("A B = x\n", entries, &error));
    EXPECT_FALSE(
        vorlane::resources::ParseTextSource(std::string_view("A = x\0y", 7), entries, &error));

    ASSERT_TRUE(
        vorlane::resources::ParseTextSource("\xEF\xBB\xBFN = \xC3\xA9t\xC3\xA9", entries, &error));
    EXPECT_EQ(entries[0].text, "\xE9t\xE9");
    EXPECT_FALSE(
        vorlane::resources::ParseTextSource("\xEF\xBB\xBFN = \xE2\x82\xAC", entries, &error));
}

TEST(TextSource, CompiledImageLoadsWithKeywordNames) {
    LuaStatePtr lua(LUA_CreateState());
    TEXTLIB texts;
    texts.Init(lua.get());
    std::string image = Source("end = keyword\nnil = other\nPLAIN = a, b\n");
    ASSERT_EQ(texts.AddTextData(reinterpret_cast<const uint8_t*>(image.data()), image.size()), 1u);
    EXPECT_STREQ(texts.GetTextC("end"), "keyword");
    EXPECT_STREQ(texts.GetTextC("nil"), "other");
    EXPECT_STREQ(texts.GetTextC("PLAIN"), "a, b");
}

}  // namespace
