#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "baselib/timer.h"
#include "media/osgfx.h"
#include "resources/rama_ctrl.h"
#include "tests/resources/res_test_util.h"
#include "video/video_codec.h"
#include "video/videosys.h"

using namespace vorlane::video;

namespace {

vorlane::baselib::ManualClock g_tick;

// A decoder whose picture is one colour: the first byte of the frame data.
class FakeDecoder : public VideoDecoder {
  public:
    FakeDecoder(int w, int h) : picture_(size_t(w) * size_t(h)) {}
    bool DecodeFrame(const uint8_t* data, size_t size) override {
        if (size == 0)
            return false;
        std::fill(picture_.begin(), picture_.end(), 0xFF000000u | data[0]);
        return true;
    }
    const uint32_t* Picture() const override { return picture_.data(); }

  private:
    std::vector<uint32_t> picture_;
};

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A pvf stream whose frame n holds the single byte n.
std::vector<uint8_t> FakePvf(uint32_t frames, uint32_t fps, int w = 8, int h = 4) {
    std::vector<uint8_t> out(kPvfHeaderSize, 0);
    PutU32(out, 12, frames);
    PutU32(out, 16, uint32_t(w));
    PutU32(out, 20, uint32_t(h));
    PutU32(out, 24, fps);
    for (uint32_t i = 0; i < frames; ++i) {
        size_t at = out.size();
        out.resize(at + kPvfFrameHeadSize + 1, 0);
        PutU32(out, at + 8, 1);
        out.back() = uint8_t(i);
    }
    return out;
}

class VideoPacingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_tick.Set(10000);
        vorlane::baselib::SetAppClock(&g_tick);
        sys.SetDecoderFactory([](int w, int h) { return std::make_unique<FakeDecoder>(w, h); });
        surface.Create(8, 4);
    }
    void TearDown() override { vorlane::baselib::SetAppClock(nullptr); }
    int Open(const std::vector<uint8_t>& pvf) {
        int id = sys.OpenFromMemory(pvf.data(), pvf.size(), "test");
        if (id >= 0)
            sys.BindSurface(id, &surface);
        return id;
    }
    // Runs updates every `step` ms until the control is inactive; the time taken.
    uint32_t RunUntilInactive(int id, uint32_t step, uint32_t limit) {
        uint32_t start = g_tick.NowMs();
        while (sys.IsActive(id) && g_tick.NowMs() - start < limit) {
            g_tick.Advance(step);
            sys.Update();
        }
        return g_tick.NowMs() - start;
    }
    VIDEOSYS sys;
    vorlane::media::OSGFX surface;
};

TEST_F(VideoPacingTest, TenFramesAtTenFpsEndAfterOneSecond) {
    auto pvf = FakePvf(10, 10);
    int id = Open(pvf);
    ASSERT_GE(id, 0);
    EXPECT_TRUE(sys.IsActive(id));
    uint32_t took = RunUntilInactive(id, 10, 5000);
    EXPECT_GE(took, 1000u);
    EXPECT_LE(took, 1020u);
    EXPECT_EQ(sys.control(id)->decoded, 10u);
    EXPECT_EQ(surface.GetPixel(0, 0) & 0xFF, 9u);  // the last frame stays shown
}

TEST_F(VideoPacingTest, RateZeroMeansTwentyFive) {
    auto pvf = FakePvf(25, 0);
    int id = Open(pvf);
    uint32_t took = RunUntilInactive(id, 5, 5000);
    EXPECT_GE(took, 1000u);
    EXPECT_LE(took, 1010u);
}

TEST_F(VideoPacingTest, CatchesUpAtMostFourFramesAndShowsOnlyTheLast) {
    auto pvf = FakePvf(100, 25);
    int id = Open(pvf);
    const VideoControl* c = sys.control(id);
    uint32_t decoded = c->decoded, blits = c->blits;
    g_tick.Advance(1000);
    sys.Update();
    EXPECT_EQ(c->decoded - decoded, 4u);
    EXPECT_EQ(c->blits - blits, 1u);
    EXPECT_EQ(surface.GetPixel(0, 0) & 0xFF, 4u);
}

TEST_F(VideoPacingTest, LoopingReturnsToFrameZeroAndPlayRestartsAFinishedStream) {
    auto pvf = FakePvf(10, 10);
    int id = Open(pvf);
    sys.SetLoop(id, true);
    EXPECT_TRUE(sys.IsLooping(id));
    for (int i = 0; i < 101; ++i) {
        g_tick.Advance(10);
        sys.Update();
    }
    EXPECT_TRUE(sys.IsActive(id));
    EXPECT_EQ(surface.GetPixel(0, 0) & 0xFF, 0u);  // back at frame 0 after the tenth
    sys.SetLoop(id, false);
    RunUntilInactive(id, 10, 5000);
    EXPECT_FALSE(sys.IsActive(id));
    EXPECT_EQ(sys.Play(id), 1);
    EXPECT_TRUE(sys.IsActive(id));
    EXPECT_EQ(surface.GetPixel(0, 0) & 0xFF, 0u);
    // Play sets the next frame one millisecond into the past, so the first
    // update catches up from frame 0.
    g_tick.Advance(101);
    sys.Update();
    EXPECT_EQ(surface.GetPixel(0, 0) & 0xFF, 2u);
}

TEST_F(VideoPacingTest, PausedAndNonExclusiveControlsStandStill) {
    auto pvf = FakePvf(50, 10);
    int a = Open(pvf);
    int b = Open(pvf);
    sys.Pause(a, true);
    sys.SetExclusive(b);
    g_tick.Advance(500);
    sys.Update();
    EXPECT_EQ(sys.control(a)->decoded, 1u);
    sys.SetExclusive(a);
    sys.Pause(a, false);
    g_tick.Advance(50);
    sys.Update();
    EXPECT_EQ(sys.control(b)->decoded, 5u);  // four caught up while exclusive, then held
    EXPECT_EQ(sys.Close(a), 0);
    EXPECT_EQ(sys.Close(a), -1);
}

TEST_F(VideoPacingTest, DamagedStreamsAreRefusedOrEndEarly) {
    std::vector<uint8_t> tiny(100, 0);
    EXPECT_EQ(sys.OpenFromMemory(tiny.data(), tiny.size(), "x"), -1);
    auto zero_size = FakePvf(3, 10, 0, 4);
    EXPECT_EQ(sys.OpenFromMemory(zero_size.data(), zero_size.size(), "x"), -1);
    auto huge = FakePvf(3, 10, 100000, 4);
    EXPECT_EQ(sys.OpenFromMemory(huge.data(), huge.size(), "x"), -1);
    // The header promises 1000 frames; only 3 records exist, the last one cut.
    auto lying = FakePvf(3, 10);
    PutU32(lying, 12, 1000);
    PutU32(lying, lying.size() - kPvfFrameHeadSize - 1 + 8, 0xFFFFFFF0u);
    int id = Open(lying);
    ASSERT_GE(id, 0);
    uint32_t took = RunUntilInactive(id, 10, 5000);
    EXPECT_LT(took, 1000u);
}

TEST_F(VideoPacingTest, AControlWithoutDecoderStaysInactiveWhenPlayed) {
    sys.SetDecoderFactory([](int, int) { return std::unique_ptr<VideoDecoder>(); });
    auto pvf = FakePvf(10, 10);
    int id = Open(pvf);
    ASSERT_GE(id, 0);
    EXPECT_FALSE(sys.IsActive(id));
    sys.Play(id);
    g_tick.Advance(500);
    sys.Update();  // must not touch the missing decoder
    EXPECT_FALSE(sys.IsActive(id));
}

// "name.pvf" is read whole; a stream that asks to be streamed is refused.
TEST_F(VideoPacingTest, FilesAreReadWholeAndStreamingIsRefused) {
    vorlane::resources::testing::TempDir dir;
    vorlane::resources::testing::WriteBytes(dir / "clip.pvf", FakePvf(10, 10));
    const std::string name = dir / "clip";
    vorlane::testing::LogCapture log;
    const int id = sys.OpenFile(name.c_str());
    ASSERT_GE(id, 0);
    EXPECT_FALSE(sys.control(id)->stream->flags & kStreamArchiveData);
    EXPECT_EQ(sys.OpenFile((dir / "missing").c_str()), -1);
    EXPECT_EQ(sys.OpenFile(name.c_str(), VideoRead::kStreamed), -1);
    EXPECT_FALSE(log.Has("VIDEO_STREAM streaming not supported !!!"));
    EXPECT_EQ(sys.Open("lobby.video.logo", VideoRead::kStreamed), -1);
    EXPECT_TRUE(log.Has("VIDEO_STREAM streaming not supported !!!"));
}

// An archive stream reads the archive's bytes in place, and stops when its
// location is unloaded instead of reading what was freed.
TEST_F(VideoPacingTest, ArchiveStreamsReadInPlaceUntilTheirBytesGo) {
    using vorlane::resources::testing::TempDir;
    const std::vector<uint8_t> pvf = FakePvf(50, 10);
    TempDir dir;
    vorlane::resources::RAMA_CTRL rama;
    rama.SetRootDirectory(dir.path().c_str());
    ASSERT_EQ(
        rama.Init(vorlane::resources::testing::WriteArchive(
                      dir, {{1, "alltime", {{"clip", 3, std::string(pvf.begin(), pvf.end())}}}})
                      .c_str()),
        1);
    const int location = rama.GetLocationID("alltime");
    ASSERT_EQ(rama.LoadLocation(location), 1);
    VIDEOSYS archive(&rama);
    archive.SetDecoderFactory([](int w, int h) { return std::make_unique<FakeDecoder>(w, h); });
    const int id = archive.Open("clip");
    ASSERT_GE(id, 0);
    const VIDEOSTREAM& stream = *archive.control(id)->stream;
    EXPECT_TRUE(stream.flags & kStreamArchiveData);
    EXPECT_EQ(stream.bytes(), rama.GetResource("clip")->GetData(nullptr));
    g_tick.Advance(200);
    archive.Update();
    EXPECT_TRUE(archive.IsActive(id));
    rama.UnloadLocation(location);
    g_tick.Advance(200);
    archive.Update();
    EXPECT_FALSE(archive.IsActive(id));
    archive.Play(id);
    g_tick.Advance(200);
    archive.Update();
    EXPECT_FALSE(archive.IsActive(id));
}

TEST(VideoCodec, TheoraRoundTripWritesUprightPicturesIntoTheSurface) {
    const int w = 64, h = 48;
    std::vector<uint32_t> frame(size_t(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            frame[size_t(y * w + x)] = y < h / 2 ? 0xFFFF0000u : 0xFF0000FFu;
    auto pvf = BuildPvf({frame, frame, frame}, w, h, 10);
    ASSERT_FALSE(pvf.empty());
    g_tick.Set(0);
    vorlane::baselib::ScopedAppClock use_tick(g_tick);
    VIDEOSYS sys;
    vorlane::media::OSGFX surface;
    surface.Create(w, h);
    int id = sys.OpenFromMemory(pvf.data(), pvf.size(), "roundtrip");
    ASSERT_GE(id, 0);
    sys.BindSurface(id, &surface);
    sys.Restart(id);
    uint32_t top = surface.GetPixel(w / 2, 4);
    uint32_t bottom = surface.GetPixel(w / 2, h - 4);
    EXPECT_GT((top >> 16) & 0xFF, 200u);
    EXPECT_LT(top & 0xFF, 60u);
    EXPECT_GT(bottom & 0xFF, 200u);
    EXPECT_LT((bottom >> 16) & 0xFF, 60u);
}

}  // namespace
