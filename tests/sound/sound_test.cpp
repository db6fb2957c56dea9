#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "baselib/timer.h"
#include "sound/ogg_encode.h"
#include "sound/sndapi.h"
#include "sound/sound_kernel.h"

using namespace vorlane::sound;

namespace {

vorlane::baselib::ManualClock g_tick{5000};

std::vector<uint8_t> Tone(double seconds, int channels, int rate, double hz = 440.0) {
    size_t frames = size_t(seconds * rate);
    std::vector<int16_t> pcm(frames * size_t(channels));
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            pcm[i * size_t(channels) + size_t(c)] =
                int16_t(8000 * std::sin(2 * M_PI * hz * double(i) / rate));
    return EncodeOggVorbis(pcm.data(), frames, channels, rate);
}

class SoundTest : public ::testing::Test {
  protected:
    void SetUp() override {
        vorlane::baselib::SetSteadyClock(&g_tick);
        ASSERT_EQ(api.InitSound(true), 0);
        ASSERT_EQ(api.StartKernel(-1, 16, 2, 44100), 0);
    }
    void TearDown() override { vorlane::baselib::SetSteadyClock(nullptr); }
    // Plays `frames` output frames through the mixer, as the device thread would.
    void Play(size_t frames) {
        std::vector<int16_t> out(frames * 2);
        api.kernel()->Mix(out.data(), frames);
    }
    SNDAPI api{MakeNullSoundDevice()};
};

TEST(SoundMapping, VolumeAndPanFollowTheDeviceScale) {
    EXPECT_EQ(VolumeToAttenuation(0), -10000);
    EXPECT_EQ(VolumeToAttenuation(1), -4900);
    EXPECT_EQ(VolumeToAttenuation(50), -1250);
    EXPECT_EQ(VolumeToAttenuation(100), 0);
    EXPECT_EQ(VolumeToAttenuation(-5), -10000);
    EXPECT_EQ(VolumeToAttenuation(150), 0);
    EXPECT_EQ(PanToDevicePan(-100), -10000);
    EXPECT_EQ(PanToDevicePan(250), 10000);
    EXPECT_FLOAT_EQ(AttenuationToGain(-10000), 0.0f);
    EXPECT_NEAR(AttenuationToGain(-600), 0.5f, 0.01f);
}

TEST(SoundMapping, MemoryReaderCopiesWholeItemsAndBoundsSeeks) {
    const uint8_t data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    MemoryReader r(data, sizeof data);
    uint8_t out[16];
    EXPECT_EQ(r.Read(out, 4, 3), 2u);  // 8 of 10 bytes: two whole items
    EXPECT_EQ(r.Tell(), 8);
    EXPECT_EQ(r.Read(out, 4, 1), 0u);
    EXPECT_EQ(r.Seek(-3, 2), 0);
    EXPECT_EQ(r.Tell(), 7);
    EXPECT_EQ(r.Seek(1, 2), -1);
    EXPECT_EQ(r.Seek(-11, 2), -1);
    EXPECT_EQ(r.Seek(4, 1), -1);  // would land at 11
    EXPECT_EQ(r.Seek(3, 1), 0);
    EXPECT_EQ(r.Tell(), 10);
    EXPECT_EQ(r.Seek(-1, 0), -1);
    EXPECT_EQ(r.Seek(0, 7), -1);
}

TEST(SoundStartUp, UnsupportedFormatsAreRefused) {
    SNDAPI api(MakeNullSoundDevice());
    ASSERT_EQ(api.InitSound(true), 0);
    EXPECT_EQ(api.StartKernel(-1, 32, 2, 44100), -1);
    EXPECT_EQ(api.StartKernel(-1, 16, 3, 44100), -1);
    EXPECT_EQ(api.StartKernel(-1, 16, 2, 48000), -1);
    EXPECT_FALSE(api.ready());
    // A system that did not start does nothing.
    auto ogg = Tone(0.1, 1, 22050);
    EXPECT_EQ(api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0), -1);
    EXPECT_EQ(api.PlayVoice(0, 100, 0, 0), -1);
    api.Process(0);
    EXPECT_EQ(api.StartKernel(-1, 8, 1, 8000), 0);
}

TEST(SoundStartUp, SdlDummyDriverStarts) {
    SNDAPI api;
    EXPECT_EQ(api.InitSound(), 0);
    EXPECT_TRUE(api.ready());
    api.Release();
    EXPECT_FALSE(api.ready());
}

TEST_F(SoundTest, DataThatIsNotOggIsRefused) {
    std::vector<uint8_t> junk(4096, 0x5A);
    EXPECT_EQ(api.LoadSoundFromMem(junk.data(), uint32_t(junk.size()), 0), -1);
    EXPECT_EQ(api.LoadSoundFromMem(nullptr, 0, 0), -1);
    auto ogg = Tone(0.1, 1, 22050);
    EXPECT_EQ(api.kernel()->LoadSoundMem(ogg.data(), uint32_t(ogg.size()), 100, kSoundTypeWave),
              -1);
    ogg.resize(ogg.size() / 3);  // cut inside the stream: loads or fails, never crashes
    int id = api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0);
    if (id >= 0) {
        api.PlayVoice(id, 100, 0, kVoiceLoop);
        api.Process(g_tick.NowMs());
        Play(50000);
        api.Process(g_tick.NowMs());
    }
}

TEST_F(SoundTest, ShortSoundPlaysOnceThenReportsDataEnded) {
    auto ogg = Tone(0.1, 1, 22050);
    int sound = api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0);
    ASSERT_GE(sound, 0);
    EXPECT_NEAR(double(api.kernel()->LengthMs(api.SoundBuffer(sound))), 100.0, 2.0);
    int handle = 0;
    int voice = api.PlayVoice(sound, 100, 0, kVoiceAutoRemove, 0, &handle);
    ASSERT_GE(voice, 0);
    EXPECT_EQ(handle, voice);
    int buffer = api.VoiceBuffer(voice);
    api.Process(g_tick.NowMs());
    uint32_t state = api.kernel()->State(buffer);
    EXPECT_TRUE(state & kStateDataEnded);
    EXPECT_FALSE(api.kernel()->Finished(buffer));
    api.Process(g_tick.NowMs());
    EXPECT_TRUE(api.kernel()->State(buffer) & kStatePlaying);
    // The end of the first block is silence after the data.
    auto block = api.kernel()->Block(buffer, 0);
    EXPECT_TRUE(std::all_of(block.end() - 1000, block.end(), [](uint8_t b) { return b == 0; }));
    Play(44100 / 20);  // 50 ms: still playing
    api.Process(g_tick.NowMs());
    EXPECT_TRUE(api.VoiceExists(voice));
    Play(44100 / 10);
    api.Process(g_tick.NowMs());
    EXPECT_FALSE(api.VoiceExists(voice));
    EXPECT_EQ(handle, -1);
}

TEST_F(SoundTest, LoopingSoundWrapsInsideTheBlock) {
    auto ogg = Tone(0.1, 2, 22050);
    std::vector<int16_t> pcm;
    int channels = 0, rate = 0;
    ASSERT_TRUE(DecodeOggVorbis(ogg.data(), ogg.size(), &pcm, &channels, &rate));
    ASSERT_EQ(channels, 2);
    size_t bytes = pcm.size() * 2;
    ASSERT_LT(bytes, kBlockBytes);
    int sound = api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0);
    int voice = api.PlayVoice(sound, 100, 0, kVoiceLoop | kVoiceAutoRemove);
    api.Process(g_tick.NowMs());
    int buffer = api.VoiceBuffer(voice);
    EXPECT_FALSE(api.kernel()->State(buffer) & kStateDataEnded);
    auto block = api.kernel()->Block(buffer, 0);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(pcm.data());
    size_t mismatches = 0;
    for (size_t i = 0; i < kBlockBytes; ++i)
        if (block[i] != raw[i % bytes])
            ++mismatches;
    EXPECT_EQ(mismatches, 0u);
    // Playing far past both blocks keeps the voice alive and refills blocks.
    for (int i = 0; i < 20; ++i) {
        Play(4410);
        api.Process(g_tick.NowMs());
    }
    EXPECT_TRUE(api.VoiceExists(voice));
    EXPECT_TRUE(api.kernel()->State(buffer) & kStatePlaying);
}

TEST_F(SoundTest, RemovingASoundRemovesItsVoices) {
    auto ogg = Tone(0.2, 1, 22050);
    int a = api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0);
    int b = api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0);
    int h1 = 0, h2 = 0, h3 = 0;
    api.PlayVoice(a, 100, 0, kVoiceLoop, 0, &h1);
    api.PlayVoice(a, 100, 0, 0, 0, &h2);
    api.PlayVoice(b, 100, 0, 0, 0, &h3);
    EXPECT_EQ(api.VoiceCount(), 3u);
    size_t buffers = api.kernel()->BufferCount();
    api.RemoveSound(a);
    EXPECT_EQ(h1, -1);
    EXPECT_EQ(h2, -1);
    EXPECT_GE(h3, 0);
    EXPECT_EQ(api.VoiceCount(), 1u);
    EXPECT_EQ(api.kernel()->BufferCount(), buffers - 3);
    api.StopAll();
    EXPECT_EQ(h3, -1);
    EXPECT_EQ(api.VoiceCount(), 0u);
    // The freed slot is used again.
    EXPECT_EQ(api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0), a);
}

TEST_F(SoundTest, PositionalVoicesFollowTheListener) {
    EXPECT_EQ(PositionalVolume(15, 0), 0);
    EXPECT_EQ(PositionalVolume(3, 0), 100);
    EXPECT_EQ(PositionalVolume(10, 0), 50);
    EXPECT_EQ(PositionalVolume(6, 8), 50);  // height counts in the distance
    EXPECT_EQ(PositionalPan(0, 10), 0);
    EXPECT_EQ(PositionalPan(0, -10), 0);
    EXPECT_EQ(PositionalPan(10, 0), 100);
    EXPECT_EQ(PositionalPan(-10, 0), -100);

    auto ogg = Tone(0.2, 1, 22050);
    int sound = api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0);
    int voice = api.PlayVoice(sound, 100, 0, kVoiceLoop | kVoicePositional);
    api.SetListener(true, 100, 100, 0);
    api.SetVoicePosition(voice, 115, 100, 0);
    api.Process(g_tick.NowMs());
    int buffer = api.VoiceBuffer(voice);
    EXPECT_EQ(api.kernel()->Attenuation(buffer), -10000);
    api.SetVoicePosition(voice, 110, 100, 0);
    api.Process(g_tick.NowMs());
    EXPECT_EQ(api.kernel()->Attenuation(buffer), VolumeToAttenuation(50));
    EXPECT_EQ(api.kernel()->DevicePan(buffer), 10000);
    EXPECT_EQ(api.VoiceCopy(voice).computed_volume, 50);
    // One distance model: the voice's own volume is not scaled by it twice.
    api.SetVoiceVolume(voice, 50);
    api.Process(g_tick.NowMs());
    EXPECT_EQ(api.kernel()->Attenuation(buffer), VolumeToAttenuation(25));
    // Turning to face the voice centres it; without the listener it plays plain.
    api.SetListener(true, 100, 100, 90);
    api.Process(g_tick.NowMs());
    EXPECT_EQ(api.kernel()->DevicePan(buffer), 0);
    api.SetListener(false, 100, 100, 90);
    api.Process(g_tick.NowMs());
    EXPECT_EQ(api.kernel()->Attenuation(buffer), VolumeToAttenuation(50));
}

TEST(SoundKernel3D, ListenerOrientationDistanceAndDoppler) {
    SOUNDKERNEL plain(MakeNullSoundDevice());
    ASSERT_EQ(plain.StartUp(-1, 16, 2, 44100, false), 0);
    auto ogg = Tone(0.5, 1, 44100);
    int flat = plain.LoadSoundMem(ogg.data(), uint32_t(ogg.size()), 100, kSoundTypeOgg);
    EXPECT_FALSE(plain.has_listener());
    EXPECT_EQ(plain.SetPosition(flat, {1, 0, 0}), -1);  // no 3D without the listener

    SOUNDKERNEL kernel(MakeNullSoundDevice());
    ASSERT_EQ(kernel.StartUp(-1, 16, 2, 44100, true), 0);
    int b = kernel.LoadSoundMem(ogg.data(), uint32_t(ogg.size()), 100, kSoundTypeOgg);
    ASSERT_EQ(kernel.SetPosition(b, {0, 0, 10}), 0);  // overhead: near, centred
    EXPECT_EQ(kernel.DistanceVolume(b), 50);
    EXPECT_EQ(kernel.DevicePan(b), 0);
    // A listener lying on its back, feet along +x: its right is -y.
    ASSERT_EQ(kernel.SetOrientation({0, 0, 1}, {-1, 0, 0}), 0);
    ASSERT_EQ(kernel.SetListenerPosition({0, 3, 0}), 0);
    EXPECT_EQ(kernel.SetPosition(b, {0, -7, 0}), 0);
    EXPECT_EQ(kernel.DevicePan(b), 10000);
    EXPECT_EQ(kernel.DistanceVolume(b), 50);
    EXPECT_EQ(kernel.SetOrientation({0, 0, 1}, {0, 0, 2}), -1);  // parallel
    EXPECT_EQ(kernel.SetPosition(b, {NAN, 0, 0}), -1);
    EXPECT_EQ(kernel.SetMode3D(b, false), 0);
    EXPECT_EQ(kernel.DistanceVolume(b), 100);

    // Doppler: a source closing at a third of the speed of sound plays 1.5
    // times as high; SetFrequency halves the pitch of the data.
    ASSERT_EQ(kernel.SetOrientation({0, 1, 0}, {0, 0, 1}), 0);
    ASSERT_EQ(kernel.SetListenerPosition({0, 0, 0}), 0);
    ASSERT_EQ(kernel.SetPosition(b, {0, 2, 0}), 0);
    auto crossings = [&] {
        kernel.PlayDirect(b, kPlayLoop);
        kernel.Process();
        std::vector<int16_t> out(2 * 8192);
        kernel.Mix(out.data(), 8192);
        int count = 0;
        for (size_t i = 2; i < out.size(); i += 2) count += (out[i - 2] < 0) != (out[i] < 0);
        return count;
    };
    int still = crossings();
    EXPECT_EQ(kernel.SetVelocity(b, {0, -kSpeedOfSound / 3, 0}), 0);
    EXPECT_NEAR(crossings(), still * 1.5, still * 0.05);
    EXPECT_EQ(kernel.SetVelocity(b, {0, 0, 0}), 0);
    EXPECT_EQ(kernel.SetFrequency(b, 22050), 0);
    EXPECT_NEAR(crossings(), still * 0.5, still * 0.05);
    EXPECT_EQ(kernel.SetFrequency(b, 0), 0);
    EXPECT_NEAR(crossings(), still, still * 0.05);
}

// Starting a buffer decodes two blocks; the audio callback (Mix) must keep
// running meanwhile instead of waiting for the decoding.
TEST(SoundKernelLock, MixerRunsWhilePlayDirectDecodes) {
    SOUNDKERNEL kernel(MakeNullSoundDevice());
    ASSERT_EQ(kernel.StartUp(-1, 16, 2, 44100, false), 0);
    auto ogg = Tone(1.0, 2, 44100);
    int buffer = kernel.LoadSoundMem(ogg.data(), uint32_t(ogg.size()), 100, kSoundTypeOgg);
    ASSERT_GE(buffer, 0);
    using Clock = std::chrono::steady_clock;
    std::atomic<bool> stop{false};
    std::atomic<int> mixes{0};
    std::atomic<int64_t> longest_gap{0};  // between two finished mixes, in ns
    std::thread mixer([&] {
        std::vector<int16_t> out(2 * 64);
        auto previous = Clock::now();
        while (!stop.load()) {
            kernel.Mix(out.data(), 64);
            auto now = Clock::now();
            int64_t gap = (now - previous).count();
            previous = now;
            if (gap > longest_gap.load())
                longest_gap.store(gap);
            mixes.fetch_add(1);
        }
    });
    // A mixer waiting for the decoding leaves a gap nearly as long as the
    // start itself. A busy machine may also starve the mixer now and then,
    // so one start that the mixer ran right through is enough.
    bool ran_through = false;
    int attempts = 0, overlapping = 0;
    double best = 1e9;  // smallest longest-gap / start time seen
    while (attempts < 1000 && !ran_through) {
        ++attempts;
        int before = mixes.load();
        longest_gap.store(0);
        auto start = Clock::now();
        kernel.PlayDirect(buffer, 0);
        int64_t took = (Clock::now() - start).count();
        // A mix that waited reports its gap once it is done.
        int after = mixes.load();
        while (mixes.load() < after + 2) std::this_thread::yield();
        if (after - before < 3)
            continue;  // the mixer was not running alongside
        ++overlapping;
        best = std::min(best, double(longest_gap.load()) / double(took));
        ran_through = best < 0.5;
    }
    stop.store(true);
    mixer.join();
    EXPECT_TRUE(ran_through) << attempts << " starts, " << overlapping
                             << " overlapped by the mixer, best gap/start " << best;
}

TEST_F(SoundTest, FadesRunOverTheClockAndMayStopTheVoice) {
    auto ogg = Tone(0.2, 1, 22050);
    int sound = api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0);
    int handle = 0;
    int voice = api.PlayVoice(sound, 80, 0, kVoiceLoop, 0, &handle);
    api.Process(g_tick.NowMs());
    api.FadeVoice(voice, 0, 1000, true);
    api.Process(g_tick.NowMs() + 500);
    EXPECT_EQ(api.VoiceCopy(voice).volume, 40);
    api.Process(g_tick.NowMs() + 999);
    EXPECT_TRUE(api.VoiceExists(voice));
    api.Process(g_tick.NowMs() + 1000);
    EXPECT_FALSE(api.VoiceExists(voice));
    EXPECT_EQ(handle, -1);

    voice = api.PlayVoice(sound, 0, 0, kVoiceLoop);
    g_tick.Set(0xFFFFFF00u);  // a fade across the wrap of the millisecond clock
    api.FadeVoice(voice, 100, 512, false);
    api.Process(0x00000000u);
    EXPECT_EQ(api.VoiceCopy(voice).volume, 50);
    api.Process(0x00000100u);
    EXPECT_EQ(api.VoiceCopy(voice).volume, 100);
    EXPECT_FALSE(api.VoiceCopy(voice).fading);
    EXPECT_TRUE(api.VoiceExists(voice));
    g_tick.Set(5000);
}

TEST_F(SoundTest, DelayedVoicesStartWhenTheirTimeComes) {
    auto ogg = Tone(0.2, 1, 22050);
    int sound = api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0);
    int voice = api.PlayVoice(sound, 100, 0, 0, 300);
    api.Process(g_tick.NowMs() + 100);
    EXPECT_TRUE(api.VoiceCopy(voice).start_pending);
    api.Process(g_tick.NowMs() + 300);
    EXPECT_FALSE(api.VoiceCopy(voice).start_pending);
}

TEST_F(SoundTest, MixedOutputIsAudibleAndScaledByVolume) {
    auto ogg = Tone(0.5, 2, 44100);
    int sound = api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0);
    int voice = api.PlayVoice(sound, 100, 0, kVoiceLoop);
    api.Process(g_tick.NowMs());
    api.Process(g_tick.NowMs());
    std::vector<int16_t> loud(2048);
    api.kernel()->Mix(loud.data(), 1024);
    api.SetVoiceVolume(voice, 0);
    std::vector<int16_t> quiet(2048);
    api.kernel()->Mix(quiet.data(), 1024);
    int peak_loud = 0, peak_quiet = 0;
    for (int16_t s : loud) peak_loud = std::max(peak_loud, std::abs(int(s)));
    for (int16_t s : quiet) peak_quiet = std::max(peak_quiet, std::abs(int(s)));
    EXPECT_GT(peak_loud, 4000);
    EXPECT_EQ(peak_quiet, 0);
}

}  // namespace
