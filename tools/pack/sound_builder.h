// Sound builder of the pack tool: an Ogg Vorbis sound (resource type 13) from a
// 16-bit PCM WAV file or generated from a recipe.
//
// Source forms:
//   path/to/file.wav
//   tone:click | tone:menu | tone:music   (built-in recipes), with optional
//   ",seconds=N,volume=V" after the name (volume 0..1).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pack/builders.h"

namespace vorlane::pack {

// Reads a RIFF WAVE file of 16-bit PCM; false with a message on anything else.
bool ReadWav(const std::vector<uint8_t>& bytes, std::vector<int16_t>& samples, int& channels,
             int& rate, std::string& error);
// Generates the samples of a built-in recipe.
bool GenerateTone(const std::string& recipe, std::vector<int16_t>& samples, int& channels,
                  int& rate, std::string& error);
bool BuildSoundResource(const BuildInput& input, std::vector<uint8_t>& out, std::string& error);

}  // namespace vorlane::pack
