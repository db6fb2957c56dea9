// The data set's logo sequence played headless from its own scripts, with the
// logo video generated as the pack tool makes it; a frame is saved as a BMP.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <lua.hpp>
#include <sstream>

#include "baselib/timer.h"
#include "media/osgfx.h"
#include "scripting/lua_glue.h"
#include "tools/pack/video_builder.h"
#include "video/seq_ctrl.h"
#include "video/video_codec.h"
#include "video/videosys.h"

using namespace vorlane::video;

namespace {

vorlane::baselib::ManualClock g_tick;

std::string ReadSource(const std::string& relative) {
    const char* root = std::getenv("VORLANE_SOURCE_DIR");
    std::ifstream in(std::string(root ? root : ".") + "/" + relative);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(LogoSequence, PlaysTheVideoOverTheScreenAndEnds) {
    std::string internal = ReadSource("assets/av/scripts/seq_internal.lua");
    std::string defines = ReadSource("assets/av/scripts/seq_defines.lua");
    ASSERT_FALSE(internal.empty());
    vorlane::baselib::ScopedAppClock use_tick(g_tick);
    std::vector<std::vector<uint32_t>> frames;
    ASSERT_TRUE(vorlane::pack::GenerateLogoFrames(256, 128, 30, frames));
    VIDEOSYS videos;
    videos.AddNamedStream("lobby.video.logo", BuildPvf(frames, 256, 128, 15));
    SEQ_CTRL seq(nullptr, nullptr, nullptr, &videos);
    lua_State* lua = LUA_CreateState();
    seq.RegisterFunctions(lua);
    ASSERT_EQ(LUA_ExecuteString(lua, internal.c_str(), "script.seq.internal"), 1);
    ASSERT_EQ(LUA_ExecuteString(lua, defines.c_str(), "script.seq.defines"), 1);
    ASSERT_GT(seq.Sequence_Execute("logo", "1024, 768"), 0);

    vorlane::media::OSGFX screen;
    screen.Create(1024, 768);
    bool saved = false;
    uint32_t t = 0;
    for (; t < 20000 && seq.AnyPlaying(); t += 20) {
        g_tick.Set(t);
        videos.Update();
        seq.Update(t);
        screen.Clear(0xFF000000u);
        seq.DrawElements(&screen);
        // Mid-way through the video: its pictures are on the screen.
        if (!saved && t == 1600) {
            uint32_t centre = screen.GetPixel(512, 56 + 64);
            EXPECT_NE(centre, 0xFF000000u);
            screen.SaveBMP(::testing::TempDir() + "logo_sequence.bmp", false);
            saved = true;
        }
    }
    EXPECT_TRUE(saved);
    EXPECT_FALSE(seq.AnyPlaying());
    EXPECT_LT(t, 8000u);
    seq.Update(t + 20);
    EXPECT_EQ(seq.sequence_count(), 0u);
    LUA_CloseState(lua);
}

}  // namespace
