// The log-in music through the real SDL output path with SDL's disk driver:
// the written file must hold audible samples.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "sound/ogg_encode.h"
#include "sound/sndapi.h"
#include "tools/pack/sound_builder.h"

using namespace vorlane::sound;

TEST(SoundDiskOutput, MusicReachesTheDiskDriverFile) {
    std::string path = ::testing::TempDir() + "vorlane_disk_audio.raw";
    std::remove(path.c_str());
    std::string old_driver = std::getenv("SDL_AUDIODRIVER") ? std::getenv("SDL_AUDIODRIVER") : "";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);

    std::vector<int16_t> pcm;
    int channels = 0, rate = 0;
    std::string error;
    ASSERT_TRUE(vorlane::pack::GenerateTone("music,seconds=1", pcm, channels, rate, error));
    auto ogg = EncodeOggVorbis(pcm.data(), pcm.size() / 2, channels, rate);
    {
        SNDAPI api;
        ASSERT_EQ(api.InitSound(), 0);
        int sound = api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0);
        ASSERT_GE(sound, 0);
        api.PlayVoice(sound, 100, 0, kVoiceLoop);
        for (int i = 0; i < 40; ++i) {  // 0.8 s of the 20 ms service
            api.Process();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        api.Release();
    }
    if (old_driver.empty())
        unsetenv("SDL_AUDIODRIVER");
    else
        setenv("SDL_AUDIODRIVER", old_driver.c_str(), 1);

    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 4096u);
    int peak = 0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        int16_t s = int16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8));
        peak = std::max(peak, std::abs(int(s)));
    }
    EXPECT_GT(peak, 1000);
    std::remove(path.c_str());
}
