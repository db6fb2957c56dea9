#include <gtest/gtest.h>

#include "resources/rama_ctrl.h"
#include "scripting/lua_glue.h"
#include "test_archive.h"
#include "tests/support/log_capture.h"

namespace {

using vorlane::testing::LogCapture;
using vorlane::testing::TestArchive;

class LuaRamaTest : public ::testing::Test {
  protected:
    LuaRamaTest()
        : archive_({{"scripts",
                     {{"script.ok", 1, "ran_ok = 1 return 'a', 'b'"},
                      {"script.broken", 1, "for"},
                      {"script.graphic", 13, "sound bytes are not handed out"}}}}) {}

    void SetUp() override {
        ASSERT_TRUE(archive_.ok());
        lua_ = LuaStatePtr(LUA_CreateState());
        LuaHost host;
        host.lua = lua_.get();
        host.rama = &archive_.rama();
        host.console_print = [this](const char* text) { console_.push_back(text); };
        LUA_SetHost(host);
    }
    void TearDown() override { LUA_ClearHost(); }

    TestArchive archive_;
    LuaStatePtr lua_;
    std::vector<std::string> console_;
};

TEST_F(LuaRamaTest, RunsArchiveScriptAndKeepsStack) {
    int top = lua_gettop(lua_.get());
    EXPECT_EQ(LUA_ExecuteRama("script.ok"), 1);
    EXPECT_EQ(lua_gettop(lua_.get()), top);
    lua_getglobal(lua_.get(), "ran_ok");
    EXPECT_EQ(lua_tointeger(lua_.get(), -1), 1);
    lua_pop(lua_.get(), 1);
}

TEST_F(LuaRamaTest, MissingAndUnreadableResourcesAreNotFound) {
    LogCapture log;
    int top = lua_gettop(lua_.get());
    EXPECT_EQ(LUA_ExecuteRama("script.nothere"), 0);
    EXPECT_TRUE(log.Has(kLogError, "::LUA_ExecuteRama: script not found 'script.nothere'!"));
    EXPECT_EQ(LUA_ExecuteRama("script.graphic"), 0);
    EXPECT_TRUE(log.Has(kLogError, "::LUA_ExecuteRama: script not found 'script.graphic'!"));
    EXPECT_EQ(lua_gettop(lua_.get()), top);
    size_t lines = LogCapture::Lines().size();
    EXPECT_EQ(LUA_ExecuteRama(nullptr), 0);
    EXPECT_EQ(LogCapture::Lines().size(), lines);  // nothing logged for null
    EXPECT_TRUE(console_.empty());
}

TEST_F(LuaRamaTest, SyntaxErrorReachesAlertLogAndConsole) {
    LogCapture log;
    EXPECT_EQ(LUA_ExecuteRama("script.broken"), 0);
    EXPECT_TRUE(log.HasPrefix(kLogError, "LUAERROR: [string \"script.broken\"]:1:"));
    EXPECT_TRUE(log.Has(kLogError, "::LUA_ExecuteRama: script execution error 'script.broken'!"));
    ASSERT_EQ(console_.size(), 1u);
    EXPECT_EQ(console_[0].find("LUAERROR"), std::string::npos);
}

TEST_F(LuaRamaTest, ResourceFieldReader) {
    lua_State* L = lua_.get();
    ASSERT_EQ(LUA_ExecuteString(L, "t = { s = 'script.ok', e = '', m = 'no.such', n = 5 }", "t"),
              1);
    lua_getglobal(L, "t");
    auto& rama = archive_.rama();
    EXPECT_EQ(LUA_GetResource(L, &rama, "s", -1), rama.GetResource("script.ok"));
    EXPECT_NE(LUA_GetResource(L, &rama, "s", -1), nullptr);
    EXPECT_EQ(LUA_GetResource(L, &rama, "e", -1), nullptr);
    EXPECT_EQ(LUA_GetResource(L, &rama, "m", -1), nullptr);
    EXPECT_EQ(LUA_GetResource(L, &rama, "n", -1), nullptr);
    EXPECT_EQ(LUA_GetResource(L, &rama, "absent", -1), nullptr);
    EXPECT_EQ(LUA_GetResource(L, nullptr, "s", -1), nullptr);
    EXPECT_EQ(lua_gettop(L), 1);
    lua_pop(L, 1);
}

}  // namespace
