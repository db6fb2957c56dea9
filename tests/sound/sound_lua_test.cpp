#include "sound/sound_lua.h"

#include <gtest/gtest.h>

#include <lua.hpp>

#include "sound/ogg_encode.h"
#include "sound/sndapi.h"
#include "tools/pack/sound_builder.h"

using namespace vorlane::sound;

namespace {

TEST(SoundLua, VrlsoundTableGetsItsFunctionsAndPlaysNothingWithoutContext) {
    lua_State* lua = luaL_newstate();
    luaL_openlibs(lua);
    luaL_dostring(lua, "vrlsound = { keep = 1 }");
    SOUND_RegisterLua(lua);
    ASSERT_EQ(luaL_dostring(lua,
                            "assert(vrlsound.keep == 1); h = vrlsound.play('lobby.sound.click'); "
                            "vrlsound.stop(3); vrlsound.fade(1, 0, 100, true); vrlsound.stopall();"
                            // Numbers that stand for no integer do nothing.
                            "vrlsound.play('lobby.sound.click', 0/0); vrlsound.stop(1e300);"
                            "vrlsound.fade(0/0, 1/0, -2^40)"),
              LUA_OK)
        << lua_tostring(lua, -1);
    lua_getglobal(lua, "h");
    EXPECT_TRUE(lua_isnil(lua, -1));
    lua_close(lua);
    EXPECT_EQ(SOUND_PlayResource("lobby.sound.click"), -1);
}

TEST(SoundBuilder, TonesEncodeToPlayableOgg) {
    for (const char* recipe : {"click", "menu", "music,seconds=1,volume=0.1"}) {
        std::vector<int16_t> pcm;
        int channels = 0, rate = 0;
        std::string error;
        ASSERT_TRUE(vorlane::pack::GenerateTone(recipe, pcm, channels, rate, error)) << error;
        auto ogg = EncodeOggVorbis(pcm.data(), pcm.size() / 2, channels, rate);
        std::vector<int16_t> back;
        int c = 0, r = 0;
        ASSERT_TRUE(DecodeOggVorbis(ogg.data(), ogg.size(), &back, &c, &r));
        EXPECT_EQ(c, 2);
        EXPECT_EQ(r, 44100);
        EXPECT_NEAR(double(back.size()), double(pcm.size()), 4096.0);
    }
    std::vector<int16_t> pcm;
    int channels = 0, rate = 0;
    std::string error;
    EXPECT_FALSE(vorlane::pack::GenerateTone("music,seconds=1000", pcm, channels, rate, error));
    EXPECT_FALSE(vorlane::pack::GenerateTone("nosuch", pcm, channels, rate, error));
}

TEST(SoundBuilder, WavReaderTakesPcm16AndRefusesTheRest) {
    auto wav = [](uint16_t format, uint16_t bits, uint32_t data_size, size_t data_present) {
        std::vector<uint8_t> b = {'R', 'I', 'F', 'F', 0,   0,   0,  0, 'W', 'A',
                                  'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0,   0};
        auto u16 = [&](uint16_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
        auto u32 = [&](uint32_t v) { u16(uint16_t(v)), u16(uint16_t(v >> 16)); };
        u16(format), u16(1), u32(22050), u32(44100), u16(2), u16(bits);
        b.insert(b.end(), {'d', 'a', 't', 'a'});
        u32(data_size);
        b.resize(b.size() + data_present, 0x11);
        return b;
    };
    std::vector<int16_t> samples;
    int channels = 0, rate = 0;
    std::string error;
    EXPECT_TRUE(vorlane::pack::ReadWav(wav(1, 16, 8, 8), samples, channels, rate, error));
    EXPECT_EQ(samples.size(), 4u);
    EXPECT_EQ(rate, 22050);
    EXPECT_FALSE(vorlane::pack::ReadWav(wav(3, 32, 8, 8), samples, channels, rate, error));
    EXPECT_FALSE(vorlane::pack::ReadWav(wav(1, 8, 8, 8), samples, channels, rate, error));
    // A data chunk claiming more bytes than the file holds is refused.
    EXPECT_FALSE(
        vorlane::pack::ReadWav(wav(1, 16, 0x7FFFFFF0u, 8), samples, channels, rate, error));
    EXPECT_FALSE(vorlane::pack::ReadWav({'R', 'I', 'F'}, samples, channels, rate, error));
}

}  // namespace
