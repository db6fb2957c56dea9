// Video builder of the pack tool: a pvf stream of VP3-compatible Theora frames.
//
// Source form: "logo:width=W,height=H,frames=N,fps=F" generates the lobby's
// logo animation (a ring of light sweeping over a dark field with a bar that
// grows); all keys are optional.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pack/builders.h"

namespace vorlane::pack {

bool GenerateLogoFrames(int width, int height, int frames, std::vector<std::vector<uint32_t>>& out);
bool BuildVideoResource(const BuildInput& input, std::vector<uint8_t>& out, std::string& error);

}  // namespace vorlane::pack
