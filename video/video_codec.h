// The frame codec of pvf video streams: VP3-compatible Theora through libtheora.
// The decoder is set up from the stream's width and height alone (the headers
// of a VP3-compatible encoder are fixed), so each frame record is one packet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vorlane::video {

class VideoDecoder {
  public:
    virtual ~VideoDecoder() = default;
    // Decodes one compressed frame; false when the data cannot be decoded (the
    // previous picture stays).
    virtual bool DecodeFrame(const uint8_t* data, size_t size) = 0;
    // The picture as 32-bit ARGB pixels, width x height, stored bottom-up
    // (the last picture row first in memory).
    virtual const uint32_t* Picture() const = 0;
};

// A Theora decoder for frames of `width` x `height`; null when libtheora
// cannot be set up for that size.
std::unique_ptr<VideoDecoder> CreateTheoraDecoder(int width, int height);

// Encodes ARGB frames (top-down rows, width x height each) with libtheora in
// VP3-compatible mode; each packet is one frame's compressed bytes.
class VideoEncoder {
  public:
    static std::unique_ptr<VideoEncoder> Create(int width, int height, int fps, int quality = 48);
    virtual ~VideoEncoder() = default;
    virtual bool EncodeFrame(const uint32_t* argb, std::vector<uint8_t>* packet) = 0;
};

// A whole pvf stream from frames of ARGB pixels (top-down), or empty on failure.
std::vector<uint8_t> BuildPvf(const std::vector<std::vector<uint32_t>>& frames, int width,
                              int height, int fps);

constexpr size_t kPvfHeaderSize = 128;
constexpr size_t kPvfFrameHeadSize = 20;
constexpr int kMaxVideoSide = 4096;

}  // namespace vorlane::video
