// Encoding of 16-bit PCM into Ogg Vorbis in memory (the data tool, tests and
// benchmarks make their sounds with it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorlane::sound {

// Interleaved samples of `channels` channels; quality -0.1..1. Empty on failure.
std::vector<uint8_t> EncodeOggVorbis(const int16_t* samples, size_t frames, int channels, int rate,
                                     float quality = 0.3f);

// Decodes a whole Ogg Vorbis stream to interleaved 16-bit samples; false when
// the data is not Ogg Vorbis. At most `max_frames` frames are kept.
bool DecodeOggVorbis(const uint8_t* data, size_t size, std::vector<int16_t>* samples, int* channels,
                     int* rate, size_t max_frames = size_t(1) << 26);

}  // namespace vorlane::sound
