// Decoding costs of the sound and video paths beside the libraries' own decode
// of the same data without our layers.
//   BM_OggSecond_*: one second of 44.1 kHz stereo Ogg Vorbis (the counter
//     "x_realtime" says how many seconds of audio one second of CPU decodes).
//   BM_MixDuringPlayDirect: the longest a mixer call (the audio callback) waits
//     while voices are started; "mix_wait_max_us" is that wait, "slow_mix_share"
//     the share of mixer calls that took over 100 us.
//   BM_VideoFrame_*: one 640 x 480 frame.
#include <benchmark/benchmark.h>
#include <theora/theoradec.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisfile.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "baselib/timer.h"
#include "media/osgfx.h"
#include "sound/ogg_encode.h"
#include "sound/sndapi.h"
#include "sound/sound_kernel.h"
#include "video/video_codec.h"
#include "video/videosys.h"

using namespace vorlane;

namespace {

const std::vector<uint8_t>& OggSecond() {
    static std::vector<uint8_t> ogg = [] {
        const int rate = 44100;
        std::vector<int16_t> pcm(size_t(rate) * 2);
        for (int i = 0; i < rate; ++i) {
            pcm[size_t(i) * 2] = int16_t(9000 * std::sin(2 * M_PI * 440.0 * i / rate));
            pcm[size_t(i) * 2 + 1] = int16_t(9000 * std::sin(2 * M_PI * 660.0 * i / rate));
        }
        return sound::EncodeOggVorbis(pcm.data(), size_t(rate), 2, rate, 0.4f);
    }();
    return ogg;
}

// libvorbisfile straight over the bytes.
void BM_OggSecond_Vorbisfile(benchmark::State& state) {
    const auto& ogg = OggSecond();
    char buffer[4096];
    for (auto _ : state) {
        sound::MemoryReader reader(ogg.data(), ogg.size());
        OggVorbis_File file;
        sound::OpenOggMemory(&reader, &file);
        int section;
        long total = 0;
        for (long n; (n = ov_read(&file, buffer, sizeof buffer, 0, 2, 1, &section)) > 0;)
            total += n;
        benchmark::DoNotOptimize(total);
        ov_clear(&file);
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OggSecond_Vorbisfile)->Unit(benchmark::kMillisecond);

// The sound API: load, start a voice, stream every block of the second.
void BM_OggSecond_SoundApi(benchmark::State& state) {
    const auto& ogg = OggSecond();
    sound::SNDAPI api(sound::MakeNullSoundDevice());
    api.InitSound(true);
    api.StartKernel(-1, 16, 2, 44100);
    int id = api.LoadSoundFromMem(ogg.data(), uint32_t(ogg.size()), 0);
    std::vector<int16_t> out(2 * 8192);
    for (auto _ : state) {
        int voice = api.PlayVoice(id, 100, 0, 0);
        api.Process();
        while (api.VoiceExists(voice) && !api.kernel()->Finished(api.VoiceBuffer(voice))) {
            api.kernel()->Mix(out.data(), 8192);
            api.Process();
        }
        api.RemoveVoice(voice);
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OggSecond_SoundApi)->Unit(benchmark::kMillisecond);

// Starting a voice decodes its first two blocks; the audio callback must not
// wait for that decoding.
void BM_MixDuringPlayDirect(benchmark::State& state) {
    const auto& ogg = OggSecond();
    sound::SOUNDKERNEL kernel(sound::MakeNullSoundDevice());
    kernel.StartUp(-1, 16, 2, 44100, false);
    int buffer = kernel.LoadSoundMem(ogg.data(), uint32_t(ogg.size()), 100, sound::kSoundTypeOgg);
    std::atomic<bool> stop{false};
    std::atomic<int64_t> longest_ns{0};
    std::atomic<int64_t> mixes{0}, slow_mixes{0};
    std::thread mixer([&] {
        std::vector<int16_t> out(2 * 256);
        while (!stop.load()) {
            auto start = std::chrono::steady_clock::now();
            kernel.Mix(out.data(), 256);
            int64_t took = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
            if (took > longest_ns.load())
                longest_ns.store(took);
            mixes.fetch_add(1);
            if (took > 100000)
                slow_mixes.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (auto _ : state) kernel.PlayDirect(buffer, 0);
    stop.store(true);
    mixer.join();
    state.counters["mix_wait_max_us"] = double(longest_ns.load()) / 1000.0;
    // Share of mixer calls that took over 100 us (one call mixes 5.8 ms).
    state.counters["slow_mix_share"] = mixes.load() ? double(slow_mixes.load()) / mixes.load() : 0;
}
BENCHMARK(BM_MixDuringPlayDirect)->Unit(benchmark::kMillisecond);

struct VideoData {
    std::vector<uint8_t> pvf;
    std::vector<std::vector<uint8_t>> packets;
};

const VideoData& Video() {
    static VideoData data = [] {
        const int w = 640, h = 480;
        std::vector<std::vector<uint32_t>> frames;
        for (int f = 0; f < 8; ++f) {
            std::vector<uint32_t> px(size_t(w * h));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    px[size_t(y * w + x)] = 0xFF000000u | uint32_t(((x + f * 8) & 255) << 16) |
                                            uint32_t((y & 255) << 8) | uint32_t((x ^ y) & 255);
            frames.push_back(std::move(px));
        }
        VideoData d;
        d.pvf = video::BuildPvf(frames, w, h, 25);
        size_t at = video::kPvfHeaderSize;
        while (at + video::kPvfFrameHeadSize <= d.pvf.size()) {
            uint32_t len;
            std::memcpy(&len, &d.pvf[at + 8], 4);
            at += video::kPvfFrameHeadSize;
            d.packets.emplace_back(d.pvf.begin() + ptrdiff_t(at),
                                   d.pvf.begin() + ptrdiff_t(at + len));
            at += len;
        }
        return d;
    }();
    return data;
}

// libtheora alone: packet in, Y'CbCr out.
void BM_VideoFrame_Libtheora(benchmark::State& state) {
    const auto& v = Video();
    th_info info;
    th_comment comment;
    th_setup_info* setup = nullptr;
    th_info_init(&info);
    th_comment_init(&comment);
    info.frame_width = 640;
    info.frame_height = 480;
    info.pic_width = 640;
    info.pic_height = 480;
    info.pixel_fmt = TH_PF_420;
    info.fps_numerator = 25;
    info.fps_denominator = 1;
    info.quality = 48;
    info.keyframe_granule_shift = 6;
    th_enc_ctx* enc = th_encode_alloc(&info);
    int vp3 = 1;
    th_encode_ctl(enc, TH_ENCCTL_SET_VP3_COMPATIBLE, &vp3, sizeof vp3);
    th_comment ec;
    th_comment_init(&ec);
    ogg_packet op;
    th_info dinfo;
    th_info_init(&dinfo);
    while (th_encode_flushheader(enc, &ec, &op) > 0)
        th_decode_headerin(&dinfo, &comment, &setup, &op);
    th_dec_ctx* dec = th_decode_alloc(&dinfo, setup);
    th_setup_free(setup);
    size_t i = 0;
    int64_t packetno = 3;
    for (auto _ : state) {
        if (i == v.packets.size())
            i = 0;
        ogg_packet p{};
        p.packet = const_cast<unsigned char*>(v.packets[i].data());
        p.bytes = long(v.packets[i].size());
        p.packetno = packetno++;
        p.granulepos = -1;
        th_decode_packetin(dec, &p, nullptr);
        th_ycbcr_buffer buf;
        th_decode_ycbcr_out(dec, buf);
        benchmark::DoNotOptimize(buf[0].data);
        ++i;
    }
    th_decode_free(dec);
    th_encode_free(enc);
    th_comment_clear(&ec);
    th_comment_clear(&comment);
    th_info_clear(&info);
    th_info_clear(&dinfo);
}
BENCHMARK(BM_VideoFrame_Libtheora)->Unit(benchmark::kMicrosecond);

// The video system: pacing, decode, colour conversion and the bottom-up write.
baselib::ManualClock g_tick;

void BM_VideoFrame_Videosys(benchmark::State& state) {
    const auto& v = Video();
    baselib::ScopedAppClock use_tick(g_tick);
    video::VIDEOSYS sys;
    media::OSGFX surface;
    surface.Create(640, 480);
    int id = sys.OpenFromMemory(v.pvf.data(), v.pvf.size(), "bench");
    sys.BindSurface(id, &surface);
    sys.SetLoop(id, true);
    for (auto _ : state) {
        g_tick.Advance(40);  // exactly one frame per update
        sys.Update();
    }
    benchmark::DoNotOptimize(surface.GetPixel(1, 1));
}
BENCHMARK(BM_VideoFrame_Videosys)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
