// The real SDL output path, recorded with SDL's disk driver: each test writes
// its own file and reads back what the device played.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "sound/ogg_encode.h"
#include "sound/sndapi.h"
#include "tools/pack/sound_builder.h"

using namespace vorlane::sound;

namespace {

// Points SDL's audio at a file of the test's own for the life of the object.
class DiskAudio {
  public:
    explicit DiskAudio(const std::string& name)
        : path_(::testing::TempDir() + "vorlane_disk_" + name + ".raw") {
        std::remove(path_.c_str());
        const char* driver = std::getenv("SDL_AUDIODRIVER");
        old_driver_ = driver ? driver : "";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", path_.c_str(), 1);
        // Milliseconds per device buffer of 1024 frames: about ten times real time.
        setenv("SDL_DISKAUDIODELAY", "2", 1);
    }
    ~DiskAudio() {
        if (old_driver_.empty())
            unsetenv("SDL_AUDIODRIVER");
        else
            setenv("SDL_AUDIODRIVER", old_driver_.c_str(), 1);
        std::remove(path_.c_str());
    }
    // The interleaved stereo samples written so far.
    std::vector<int16_t> Samples() const {
        std::ifstream in(path_, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        std::vector<int16_t> samples(bytes.size() / 2);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = int16_t(uint8_t(bytes[2 * i]) | (uint8_t(bytes[2 * i + 1]) << 8));
        return samples;
    }

  private:
    std::string path_;
    std::string old_driver_;
};

std::vector<uint8_t> MonoTone() {
    const int rate = 44100;
    std::vector<int16_t> pcm(rate);
    for (int i = 0; i < rate; ++i)
        pcm[size_t(i)] = int16_t(9000 * std::sin(2 * M_PI * 440.0 * i / rate));
    return EncodeOggVorbis(pcm.data(), pcm.size(), 1, rate);
}

constexpr uint64_t kStepFrames = 8192;

struct Energy {
    double left = 0, right = 0;
};

// Plays a looping positional tone with the listener at the origin facing +y,
// calls `place` before each step and lets the device play kStepFrames frames
// of it. Returns the energy of each step, measured over the middle half of
// its frames (the file may start a device buffer or two before the first
// mixed frame).
std::vector<Energy> RecordSteps(const std::string& name, int steps,
                                const std::function<void(SNDAPI&, int voice, int step)>& place) {
    DiskAudio disk(name);
    auto ogg = MonoTone();
    std::vector<uint64_t> starts;
    {
        SNDAPI api;
        EXPECT_EQ(api.InitSound(), 0);
        int sound = api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0);
        int voice = api.PlayVoice(sound, 100, 0, kVoiceLoop | kVoicePositional);
        api.SetListener(true, 0, 0, 0);
        place(api, voice, 0);
        api.Process();
        api.Process();
        for (int step = 0; step < steps; ++step) {
            place(api, voice, step);
            api.Process();
            uint64_t start = api.kernel()->MixedFrames();
            starts.push_back(start);
            while (api.kernel()->MixedFrames() < start + kStepFrames) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                api.Process();
            }
        }
        api.Release();
    }
    std::vector<int16_t> samples = disk.Samples();
    std::vector<Energy> energies;
    for (uint64_t start : starts) {
        Energy e;
        for (uint64_t f = start + kStepFrames / 4; f < start + kStepFrames * 3 / 4; ++f) {
            if (2 * f + 1 >= samples.size())
                break;
            e.left += double(samples[2 * f]) * samples[2 * f];
            e.right += double(samples[2 * f + 1]) * samples[2 * f + 1];
        }
        energies.push_back(e);
    }
    return energies;
}

TEST(SoundDiskOutput, MusicReachesTheDiskDriverFile) {
    DiskAudio disk("music");
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
    std::vector<int16_t> samples = disk.Samples();
    ASSERT_GT(samples.size(), 2048u);
    int peak = 0;
    for (int16_t s : samples) peak = std::max(peak, std::abs(int(s)));
    EXPECT_GT(peak, 1000);
}

TEST(SoundDiskOutput, SourceMovedFromLeftToRightPansAcross) {
    // Along a line 6 units ahead, from far left through the centre to far
    // right; the pan law is steep, so most steps are near the centre.
    const float xs[] = {-12, -1, -0.3f, 0, 0.3f, 1, 12};
    const int steps = 7;
    auto energies = RecordSteps("pan", steps, [&](SNDAPI& api, int voice, int step) {
        api.SetVoicePosition(voice, xs[step], 6, 0);
    });
    ASSERT_EQ(energies.size(), size_t(steps));
    std::vector<double> balance;
    for (const Energy& e : energies) {
        ASSERT_GT(e.left + e.right, 0) << "silent step";
        balance.push_back((e.right - e.left) / (e.right + e.left));
    }
    EXPECT_LT(balance.front(), -0.9);
    EXPECT_NEAR(balance[steps / 2], 0.0, 0.05);
    EXPECT_GT(balance.back(), 0.9);
    for (int i = 1; i < steps; ++i) EXPECT_GT(balance[size_t(i)], balance[size_t(i - 1)]) << i;
}

TEST(SoundDiskOutput, SourceMovingAwayGetsQuieter) {
    // Straight ahead, from 4 units (full volume) to 14 (nearly silent).
    const int steps = 5;
    auto energies = RecordSteps("distance", steps, [](SNDAPI& api, int voice, int step) {
        api.SetVoicePosition(voice, 0, 4.0f + 2.5f * float(step), 0);
    });
    ASSERT_EQ(energies.size(), size_t(steps));
    ASSERT_GT(energies.front().left, 0);
    for (int i = 1; i < steps; ++i) {
        EXPECT_LT(energies[size_t(i)].left, energies[size_t(i - 1)].left * 0.9) << i;
        EXPECT_NEAR(energies[size_t(i)].left, energies[size_t(i)].right,
                    energies[size_t(i)].left * 0.01);  // straight ahead stays centred
    }
    EXPECT_LT(energies.back().left, energies.front().left * 0.01);
}

}  // namespace
