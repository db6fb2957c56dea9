#include "app/lua_globals.h"

#include <gtest/gtest.h>

#include <lua.hpp>
#include <string>
#include <vector>

#include "scripting/lua_glue.h"
#include "shell/global_data.h"

using namespace vorlane;

namespace {

class LuaGlobals : public ::testing::Test {
  protected:
    void SetUp() override {
        lua_ = LUA_CreateState();
        ASSERT_NE(lua_, nullptr);
        MAIN_RegisterLuaGlobals(lua_);
        MAIN_SetConsoleSink([this](const std::string& line) { lines_.push_back(line); });
        g_settings = new GlobalSettings{};
    }
    void TearDown() override {
        MAIN_SetConsoleSink(nullptr);
        LUA_CloseState(lua_);
        delete g_settings;
        g_settings = nullptr;
    }
    void Run(const char* chunk) { ASSERT_EQ(LUA_ExecuteString(lua_, chunk, "test"), 1); }

    lua_State* lua_ = nullptr;
    std::vector<std::string> lines_;
};

}  // namespace

TEST_F(LuaGlobals, PrintPutsEachArgumentOnItsOwnLine) {
    Run("print(1, nil, 'a', 2.5, {})");
    EXPECT_EQ(lines_, (std::vector<std::string>{"1", "nil", "a", "2.5", "table"}));
}

TEST_F(LuaGlobals, ResetGfxKeepsWhatItGotAndFailsWithoutAllThree) {
    g_settings->color_depth = 32;
    Run("resetgfx(800, 600)");
    EXPECT_EQ(g_settings->screen_width, 800);
    EXPECT_EQ(g_settings->screen_height, 600);
    EXPECT_EQ(g_settings->color_depth, 32);
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_EQ(lines_[0], "Reset graphics failed!");
    // Without a graphics system even a full call cannot change the mode.
    Run("resetgfx(640.7, 480, 16)");
    EXPECT_EQ(g_settings->screen_width, 640);
    EXPECT_EQ(g_settings->color_depth, 16);
    EXPECT_EQ(lines_.size(), 2u);
}

TEST_F(LuaGlobals, ResetGfxStoresNoNumberThatStandsForNoInteger) {
    g_settings->screen_width = 800;
    g_settings->screen_height = 600;
    Run("resetgfx(0/0, 1e300, 16)");
    EXPECT_EQ(g_settings->screen_width, 800);
    EXPECT_EQ(g_settings->screen_height, 600);
    EXPECT_EQ(g_settings->color_depth, 16);
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_EQ(lines_[0], "Reset graphics failed!");
}

TEST_F(LuaGlobals, ToggleWindowFlipsTheWindowedSetting) {
    Run("togglewindow()");
    EXPECT_EQ(g_settings->windowed_mode, 1);
    Run("togglewindow()");
    EXPECT_EQ(g_settings->windowed_mode, 0);
}
