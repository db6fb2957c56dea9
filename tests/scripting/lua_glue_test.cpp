#include "scripting/lua_glue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "baselib/mstring.h"
#include "tests/support/log_capture.h"

namespace {

using vorlane::testing::LogCapture;

class LuaGlueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        lua_ = LuaStatePtr(LUA_CreateState());
        ASSERT_NE(lua_, nullptr);
        LuaHost host;
        host.lua = lua_.get();
        host.console_print = [this](const char* text) { console_.push_back(text); };
        LUA_SetHost(host);
    }
    void TearDown() override { LUA_ClearHost(); }

    lua_State* L() { return lua_.get(); }
    void Run(const char* code) { ASSERT_EQ(LUA_ExecuteString(L(), code, "test"), 1) << code; }
    std::string Eval(const char* expression) {
        std::string code = std::string("result = ") + expression;
        Run(code.c_str());
        lua_getglobal(L(), "result");
        std::string text = lua_tostring(L(), -1) ? lua_tostring(L(), -1) : "<nil>";
        lua_pop(L(), 1);
        return text;
    }
    // Leaves the table `t` made by `code` on the stack.
    void PushTable(const char* code) {
        Run(code);
        lua_getglobal(L(), "t");
    }

    LuaStatePtr lua_;
    std::vector<std::string> console_;
};

TEST_F(LuaGlueTest, OpensTheProgramsLibrariesOnly) {
    EXPECT_EQ(Eval("type(coroutine.create)"), "function");
    EXPECT_EQ(Eval("type(table.insert)"), "function");
    EXPECT_EQ(Eval("type(io.open)"), "function");
    EXPECT_EQ(Eval("type(os.time)"), "function");
    EXPECT_EQ(Eval("type(string.format)"), "function");
    EXPECT_EQ(Eval("type(math.floor)"), "function");
    EXPECT_EQ(Eval("type(debug)"), "nil");
    EXPECT_EQ(Eval("type(package)"), "nil");
    EXPECT_EQ(Eval("type(require)"), "nil");
    EXPECT_EQ(Eval("type(_ALERT)"), "function");
}

TEST_F(LuaGlueTest, IntegralNumbersReadWithoutFraction) {
    EXPECT_EQ(Eval("tostring(6 / 2)"), "3");
    EXPECT_EQ(Eval("tostring(2.5)"), "2.5");
    EXPECT_EQ(Eval("tostring(-0.0 + 7)"), "7");
    EXPECT_EQ(Eval("tostring(1e15)"), "1e+15");
    EXPECT_EQ(Eval("tostring('x')"), "x");
    EXPECT_EQ(Eval("table.getn({1, 2, 3})"), "3");
}

TEST_F(LuaGlueTest, ChunkResultsAreDroppedAndStackKept) {
    lua_pushinteger(L(), 7);
    int top = lua_gettop(L());
    EXPECT_EQ(LUA_ExecuteString(L(), "return 1, 2, 3", "results"), 1);
    EXPECT_EQ(lua_gettop(L()), top);
    EXPECT_EQ(LUA_ExecuteString(L(), "error('boom')", "fails"), 0);
    EXPECT_EQ(lua_gettop(L()), top);
    EXPECT_EQ(LUA_ExecuteString(L(), nullptr, "none"), 0);
    EXPECT_EQ(LUA_ExecuteBuffer(nullptr, "x=1", 3, "none"), 0);
}

TEST_F(LuaGlueTest, SyntaxErrorInFileReachesAlertLogAndConsole) {
    const char* path = "lua_glue_test_syntax.lua";
    std::FILE* file = std::fopen(path, "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("x = = 1\n", file);
    std::fclose(file);

    LogCapture log;
    int top = lua_gettop(L());
    EXPECT_EQ(LUA_ExecuteFile(path), 0);
    EXPECT_EQ(lua_gettop(L()), top);
    EXPECT_TRUE(log.HasPrefix(kLogError, "LUAERROR: [string \"lua_glue_test_syntax.lua\"]:1:"));
    EXPECT_TRUE(log.Has(kLogError,
                        "::LUA_ExecuteFile: script execution error 'lua_glue_test_syntax.lua'!"));
    ASSERT_EQ(console_.size(), 1u);
    EXPECT_EQ(console_[0].rfind("[string \"lua_glue_test_syntax.lua\"]:1:", 0), 0u);
    std::remove(path);
}

TEST_F(LuaGlueTest, RunErrorAndMissingFileAreReported) {
    LogCapture log;
    EXPECT_EQ(LUA_ExecuteFile("no/such/script.lua"), 0);
    EXPECT_TRUE(log.Has(kLogError, "::LUA_ExecuteFile: script not found 'no/such/script.lua'!"));
    EXPECT_TRUE(console_.empty());
    EXPECT_EQ(LUA_ExecuteFile(nullptr), 0);

    EXPECT_EQ(LUA_ExecuteString(L(), "error('went wrong')", "chunk"), 0);
    EXPECT_TRUE(log.Has(kLogError, "LUAERROR: [string \"chunk\"]:1: went wrong"));
    ASSERT_EQ(console_.size(), 1u);
    EXPECT_EQ(console_[0], "[string \"chunk\"]:1: went wrong");
}

TEST_F(LuaGlueTest, FileWithBackslashPathRuns) {
    std::FILE* file = std::fopen("lua_glue_test_ok.lua", "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("ran_from_file = 42\n", file);
    std::fclose(file);
    EXPECT_EQ(LUA_ExecuteFile(".\\lua_glue_test_ok.lua"), 1);
    EXPECT_EQ(Eval("ran_from_file"), "42");
    std::remove("lua_glue_test_ok.lua");
}

TEST_F(LuaGlueTest, NumberReaderConvertsTruncatesAndDefaults) {
    PushTable(
        "t = { s = '12', f = 3.9, n = -3.9, b = true, x = 'abc', big = 1e12, tiny = -1e12, nan = "
        "0/0 }");
    int top = lua_gettop(L());
    EXPECT_EQ(LUA_GetNumber(L(), "s", -1, 5), 12);
    EXPECT_EQ(LUA_GetNumber(L(), "f", -1, 5), 3);
    EXPECT_EQ(LUA_GetNumber(L(), "n", -1, 5), -3);
    EXPECT_EQ(LUA_GetNumber(L(), "b", -1, 5), 5);
    EXPECT_EQ(LUA_GetNumber(L(), "x", -1, 5), 5);
    EXPECT_EQ(LUA_GetNumber(L(), "missing", -1, 5), 5);
    EXPECT_EQ(LUA_GetNumber(L(), "big", -1, 5), INT32_MAX);
    EXPECT_EQ(LUA_GetNumber(L(), "tiny", -1, 5), INT32_MIN);
    EXPECT_EQ(LUA_GetNumber(L(), "nan", -1, 5), 0);
    EXPECT_EQ(LUA_GetNumber(L(), "s", top, 5), 12);  // positive index
    lua_pushnil(L());
    EXPECT_EQ(LUA_GetNumber(L(), "s", -2, 5), 12);  // table below another value
    EXPECT_EQ(LUA_GetNumber(L(), "s", -1, 5), 5);   // not a table
    lua_pop(L(), 1);
    EXPECT_EQ(lua_gettop(L()), top);
}

TEST_F(LuaGlueTest, BoolReaderTakesOnlyBooleans) {
    PushTable("t = { yes = true, no = false, one = 1, word = 'true' }");
    int top = lua_gettop(L());
    EXPECT_EQ(LUA_GetBool(L(), "yes", -1, 0), 1);
    EXPECT_EQ(LUA_GetBool(L(), "no", -1, 1), 0);
    EXPECT_EQ(LUA_GetBool(L(), "one", -1, 0), 0);
    EXPECT_EQ(LUA_GetBool(L(), "one", -1, 7), 7);
    EXPECT_EQ(LUA_GetBool(L(), "word", -1, 0), 0);
    EXPECT_EQ(LUA_GetBool(L(), "missing", -1, 1), 1);
    EXPECT_EQ(lua_gettop(L()), top);
}

TEST_F(LuaGlueTest, StringReaderTakesStringsAndNumbers) {
    PushTable("t = { s = 'text', i = 3, f = 6 / 2, h = 0.25, b = true, z = 'a\\0b' }");
    int top = lua_gettop(L());
    std::string out;
    EXPECT_EQ(LUA_GetString(L(), "s", -1, &out, "def"), 1);
    EXPECT_EQ(out, "text");
    EXPECT_EQ(LUA_GetString(L(), "i", -1, &out, "def"), 1);
    EXPECT_EQ(out, "3");
    EXPECT_EQ(LUA_GetString(L(), "f", -1, &out, "def"), 1);
    EXPECT_EQ(out, "3");
    EXPECT_EQ(LUA_GetString(L(), "h", -1, &out, "def"), 1);
    EXPECT_EQ(out, "0.25");
    EXPECT_EQ(LUA_GetString(L(), "b", -1, &out, "def"), 0);
    EXPECT_EQ(out, "def");
    EXPECT_EQ(LUA_GetString(L(), "missing", -1, &out, nullptr), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(LUA_GetString(L(), "z", -1, &out, "def"), 1);
    EXPECT_EQ(out, std::string("a\0b", 3));
    EXPECT_EQ(LUA_GetString(L(), "s", -1, static_cast<std::string*>(nullptr), "def"), 1);
    mstring short_text(3);  // room for two characters and the terminator
    EXPECT_EQ(LUA_GetString(L(), "s", -1, &short_text, "def"), 1);
    EXPECT_STREQ(short_text.c_str(), "te");
    EXPECT_EQ(lua_gettop(L()), top);
}

TEST_F(LuaGlueTest, ReadersIgnoreMetamethods) {
    PushTable("t = setmetatable({}, { __index = function() return 99 end })");
    EXPECT_EQ(LUA_GetNumber(L(), "anything", -1, 1), 1);
    lua_pop(L(), 1);
}

TEST_F(LuaGlueTest, UserdataTagsRoundTripThroughMetatable) {
    LogCapture log;
    lua_newuserdatauv(L(), 8, 0);
    int top = lua_gettop(L());
    EXPECT_EQ(LUA_SetUserDataTag(L(), -1, 5), 0);
    EXPECT_TRUE(log.Has(kLogWarning, "LUA_SetUserDataTag: no metatable"));
    EXPECT_EQ(LUA_GetUserDataTag(L(), -1), 0u);
    EXPECT_TRUE(log.Has(kLogWarning, "LUA_GetUserDataTag: no metatable"));

    lua_newtable(L());
    lua_setmetatable(L(), -2);
    EXPECT_EQ(LUA_GetUserDataTag(L(), -1), 0u);  // metatable without a tag
    EXPECT_EQ(LUA_SetUserDataTag(L(), -1, 0xFFFFFFFFu), 1);
    EXPECT_EQ(LUA_GetUserDataTag(L(), -1), 0xFFFFFFFFu);
    EXPECT_EQ(LUA_SetUserDataTag(L(), -1, static_cast<uint32_t>(-2)), 1);
    EXPECT_EQ(LUA_GetUserDataTag(L(), top), 4294967294u);
    EXPECT_EQ(lua_gettop(L()), top);

    // A tag a script wrote as a float or a string.
    lua_getmetatable(L(), -1);
    lua_pushnumber(L(), 1234.75);
    lua_setfield(L(), -2, "_Tag_ID_");
    lua_pop(L(), 1);
    EXPECT_EQ(LUA_GetUserDataTag(L(), -1), 1234u);
    lua_getmetatable(L(), -1);
    lua_pushstring(L(), "17");
    lua_setfield(L(), -2, "_Tag_ID_");
    lua_pop(L(), 1);
    EXPECT_EQ(LUA_GetUserDataTag(L(), -1), 0u);
    lua_pop(L(), 1);
}

}  // namespace
