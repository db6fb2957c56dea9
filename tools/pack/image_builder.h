// Image builder of the pack tool: SVG (librsvg and cairo) or PNG (cairo) art
// into the image data format.
//
// A source names the file and optional settings after a "?":
//   art/logo.svg?width=200&height=80&format=5
// width / height scale the picture (an SVG renders at its own size, a PNG is
// scaled only when both are given); format is 5 (alpha, the default) or 4
// (opaque, black transparent: pixels with alpha below 128 become black).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pack/builders.h"

namespace vorlane::pack {

struct ImageRecipe {
    std::string path;
    int width = 0;  // 0 = the picture's own
    int height = 0;
    int format = 5;
};

// Splits "path?key=value&..."; false with a message for an unknown key or value.
bool ParseImageRecipe(const std::string& source, ImageRecipe& recipe, std::string& error);

// Renders the picture into A8R8G8B8 pixels (not premultiplied).
bool RenderImageFile(const ImageRecipe& recipe, std::vector<uint32_t>& pixels, int& width,
                     int& height, std::string& error);

// The image data bytes for a source recipe (path relative to the working directory).
bool BuildImageData(const std::string& source, std::vector<uint8_t>& out, std::string& error);

// The pack builder: the source is resolved against the manifest's directory.
inline bool BuildImageResource(const BuildInput& input, std::vector<uint8_t>& out,
                               std::string& error) {
    // The settings after "?" stay at the end of the joined path.
    return BuildImageData(input.SourcePath(), out, error);
}

}  // namespace vorlane::pack
