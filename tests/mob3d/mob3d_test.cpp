#include "frontend/mob3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "baselib/logsys.h"
#include "scripting/lua_glue.h"
#include "tests/support/log_capture.h"

using namespace vorlane::frontend;

namespace {

class Mob3dTest : public ::testing::Test {
  protected:
    void SetUp() override {
        lua_ = LUA_CreateState();
        ASSERT_NE(lua_, nullptr);
    }
    void TearDown() override { LUA_CloseState(lua_); }
    void Run(const std::string& script) {
        ASSERT_TRUE(ctrl_.InitFromBuffer(lua_, script.data(), script.size()));
    }
    static bool Logged(const std::string& text) { return vorlane::testing::LogCapture::Has(text); }
    vorlane::testing::LogCapture capture_;
    lua_State* lua_ = nullptr;
    MOB3D_CTRL ctrl_;
};

TEST_F(Mob3dTest, RegistersValidTypesAndOverwritesLaterOnes) {
    Run("MOB_Register{id=3, type=0, name='X', pst='models.ship', some_value=7}\n"
        "MOB_Register{id=255, type=0, pst='a'}\n"
        "MOB_Register{id=3, type=0, pst='models.other'}\n");
    EXPECT_TRUE(ctrl_.type(3).used);
    EXPECT_EQ(ctrl_.type(3).pst, "models.other");
    EXPECT_EQ(ctrl_.type(3).some_value, 0);
    EXPECT_TRUE(ctrl_.type(255).used);
    EXPECT_EQ(ctrl_.type(255).name, "");  // no text library: empty name
    EXPECT_TRUE(Logged("MOB3D_CTRL::LUA_RegisterType: parsing ID: 3"));
    EXPECT_TRUE(Logged("MOB3D_TYPE::LUA_Parse: type (0) name '' pst 'models.ship'"));
    EXPECT_EQ(ctrl_.object_count(), 0u);
}

TEST_F(Mob3dTest, RejectsBadIdsTypesAndArguments) {
    Run("MOB_Register{id=256, type=0, pst='a'}\n"
        "MOB_Register{type=0, pst='a'}\n"
        "MOB_Register{id=4, type=1, pst='a'}\n"
        "MOB_Register('no table')\n");
    EXPECT_TRUE(Logged("MOB3D_CTRL::LUA_RegisterType: invalid ID: 256"));
    EXPECT_TRUE(Logged("MOB3D_CTRL::LUA_RegisterType: invalid ID: -1"));
    EXPECT_TRUE(Logged("MOB3D_TYPE::LUA_Parse: invalid type: 1"));
    EXPECT_TRUE(Logged("MOB3D_CTRL::LUA_RegisterType: error parsing ID: 4"));
    EXPECT_TRUE(Logged("MOB3D_CTRL::LUA_RegisterType: no table"));
    EXPECT_FALSE(ctrl_.type(4).used);
}

TEST_F(Mob3dTest, MissingPstWarnsButRegisters) {
    Run("MOB_Register{id=9, type=0}\n");
    EXPECT_TRUE(Logged("MOB3D_TYPE::LUA_Parse: can't get pst address"));
    EXPECT_TRUE(ctrl_.type(9).used);
}

TEST_F(Mob3dTest, InitWithoutStateOrResourceFails) {
    EXPECT_FALSE(ctrl_.Init(nullptr, "x"));
    EXPECT_TRUE(Logged("MOB3D_CTRL::Init: invalid parameters"));
    EXPECT_FALSE(ctrl_.Init(lua_, "lobby.script.mob3d.types"));
    EXPECT_TRUE(Logged("MOB3D_CTRL::Init: no script resource: lobby.script.mob3d.types"));
}

TEST(Mob3dAngles, NormaliseIntoZeroTo360) {
    EXPECT_FLOAT_EQ(MOB3D_NormaliseAngle(-30), 330);
    EXPECT_FLOAT_EQ(MOB3D_NormaliseAngle(725), 5);
    EXPECT_FLOAT_EQ(MOB3D_NormaliseAngle(360), 0);
    EXPECT_FLOAT_EQ(MOB3D_NormaliseAngle(-720), 0);
    float huge = MOB3D_NormaliseAngle(1e30f);
    EXPECT_GE(huge, 0);
    EXPECT_LT(huge, 360);
    EXPECT_EQ(MOB3D_NormaliseAngle(std::numeric_limits<float>::infinity()), 0);
    EXPECT_EQ(MOB3D_NormaliseAngle(std::nanf("")), 0);
}

TEST(Mob3dDraw, DrawsOnlyVisibleObjectsWithModels) {
    MOB3D_CTRL ctrl;
    vorlane::media::ENGINE3D engine;
    auto a = std::make_unique<Mob3dObject>();
    a->model = std::make_unique<vorlane::media::MODEL3D>();
    a->rotation = {-30, 725, 10};
    auto hidden = std::make_unique<Mob3dObject>();
    hidden->model = std::make_unique<vorlane::media::MODEL3D>();
    hidden->visible = false;
    ctrl.AddObject(std::move(a));
    ctrl.AddObject(std::move(hidden));
    ctrl.AddObject(std::make_unique<Mob3dObject>());
    int before = engine.rendered();
    ctrl.DrawAll(engine);
    EXPECT_EQ(engine.rendered() - before, 1);
    ctrl.RemoveAll(true);
    EXPECT_EQ(ctrl.object_count(), 0u);
}

}  // namespace
