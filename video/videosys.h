// VIDEOSYS and VIDEOSTREAM: pvf video streams read from the archive, paced by
// the frame clock and decoded into a bound drawing surface.
//
// pvf layout (little-endian): a 128-byte header (frame count at 12, width at
// 16, height at 20, frames per second at 24, 0 meaning 25), then frame records
// of a 20-byte head (compressed length at 8) and the compressed frame.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "video/video_codec.h"

namespace vorlane::media {
class OSGFX;
}
namespace vorlane::resources {
class RAMA_CTRL;
}

namespace vorlane::video {

// Stream flags.
constexpr uint32_t kStreamOpen = 0x2;
constexpr uint32_t kStreamArchiveData = 0x8;

// Control flags.
constexpr uint32_t kVideoAdvancing = 0x1;
constexpr uint32_t kVideoActive = 0x2;
constexpr uint32_t kVideoLoop = 0x8;
constexpr uint32_t kVideoTexturePair = 0x10;
constexpr uint32_t kVideoPaused = 0x20;

constexpr int kMaxCatchUpFrames = 4;

class VIDEOSTREAM {
  public:
    // Reads the stream from bytes (copied); false when the header is unusable.
    bool InitFromMemory(const uint8_t* data, size_t size, const char* name);
    // Reads the stream in place from bytes the archive keeps (flag 0x8): no
    // copy, and nothing to free.
    bool InitFromArchive(const uint8_t* data, size_t size, const char* name);
    // Lets go of archive bytes that are no longer there; the stream is closed.
    void Detach();
    void Rewind();
    // The compressed bytes of the current record, or false when the record does
    // not fit inside the data.
    bool CurrentFrame(const uint8_t** data, size_t* size) const;
    // Moves to the next record; false past the data.
    bool Next();
    const uint8_t* bytes() const { return bytes_; }
    size_t size() const { return size_; }

    uint32_t flags = 0;
    std::string name;
    uint8_t header[kPvfHeaderSize] = {};
    uint32_t frame_count = 0;
    int width = 0;
    int height = 0;
    uint32_t fps = 0;
    uint32_t frame_index = 0;
    // The archive's count of freed bytes when the bytes were last known good.
    uint64_t archive_checked = 0;

  private:
    bool ReadHeader(const uint8_t* data, size_t size, const char* name);

    std::vector<uint8_t> owned_;
    const uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
    size_t frame_offset_ = kPvfHeaderSize;
};

// Largest pvf file read into memory.
constexpr size_t kMaxVideoFileBytes = size_t(256) << 20;

// How a stream is read: whole into memory, or streamed (not supported).
enum class VideoRead { kWhole, kStreamed };

// Makes a decoder for a frame size (tests replace libtheora with a fake).
using DecoderFactory = std::function<std::unique_ptr<VideoDecoder>(int width, int height)>;

struct VideoControl {
    int id = -1;
    uint32_t flags = 0;
    media::OSGFX* target = nullptr;
    int texture_ids[2] = {-1, -1};
    std::unique_ptr<VIDEOSTREAM> stream;
    uint32_t next_frame_time = 0;
    std::unique_ptr<VideoDecoder> decoder;
    bool output_ready = false;
    uint32_t blits = 0;    // pictures written to the target (diagnostics)
    uint32_t decoded = 0;  // frames given to the decoder
};

class VIDEOSYS {
  public:
    explicit VIDEOSYS(resources::RAMA_CTRL* rama = nullptr, int max_count = 16);
    ~VIDEOSYS();
    VIDEOSYS(const VIDEOSYS&) = delete;
    VIDEOSYS& operator=(const VIDEOSYS&) = delete;

    // Codec set-up (the value is the codec's option word; kept for the caller).
    int InitCodec(int value);
    void SetDecoderFactory(DecoderFactory factory) { factory_ = std::move(factory); }

    // Opens the archive resource `name`, read in place; the control id or -1.
    int Open(const char* name, VideoRead read = VideoRead::kWhole);
    // Opens the file "`name`.pvf", read whole into memory; the control id or -1.
    int OpenFile(const char* name, VideoRead read = VideoRead::kWhole);
    int OpenFromMemory(const uint8_t* data, size_t size, const char* name);
    // Makes `name` open these bytes instead of the archive resource (tools
    // and tests that run without an archive).
    void AddNamedStream(const std::string& name, std::vector<uint8_t> bytes);
    int BindSurface(int id, media::OSGFX* surface);
    int Play(int id);
    int Restart(int id);
    int SetLoop(int id, bool loop);
    bool IsLooping(int id) const;
    bool IsActive(int id) const;
    int Pause(int id, bool paused);
    int Close(int id);
    void SetExclusive(int id) { exclusive_ = id; }
    void Update();
    // True while a video advances on its own (active and not paused).
    bool AnyPlaying() const;
    void Shutdown();

    const VideoControl* control(int id) const;

  private:
    VideoControl* Get(int id) const;
    int AddControl(std::unique_ptr<VIDEOSTREAM> stream);
    void Start(VideoControl& control);
    // False once the archive bytes a stream reads in place are gone.
    bool StillReadable(VIDEOSTREAM& stream) const;
    void FrameStep(VideoControl& control, uint32_t now);
    void WritePicture(VideoControl& control);

    resources::RAMA_CTRL* rama_;
    int max_count_;
    std::vector<std::unique_ptr<VideoControl>> controls_;
    int exclusive_ = -1;
    DecoderFactory factory_;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> named_;
};

VIDEOSYS* VIDEOSYS_Get();
void VIDEOSYS_Set(VIDEOSYS* system);

}  // namespace vorlane::video
