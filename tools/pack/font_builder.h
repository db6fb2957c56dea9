// Font builder of the pack tool: a TrueType face rendered with FreeType at a
// pixel size into a bitmap font, that is a block container of glyph images
// (one per character 32..255, Latin-1) and its definition text.
//
// A source names the face and settings after a "?":
//   /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf?size=13&mono=1
// size is the pixel size (4..128, default 12); mono=1 renders hard-edged
// glyphs in the opaque image format instead of anti-aliased ones with alpha.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pack/builders.h"

namespace vorlane::pack {

constexpr int kFontFirstChar = 32;
constexpr int kFontLastChar = 255;

struct FontRecipe {
    std::string path;
    int size = 12;
    bool mono = false;
};

struct BitmapFont {
    std::vector<std::vector<uint8_t>> glyphs;  // image data, glyph i draws character 32 + i
    int height = 0;
    int error_glyph = 0;
};

bool ParseFontRecipe(const std::string& source, FontRecipe& recipe, std::string& error);
bool RenderBitmapFont(const FontRecipe& recipe, BitmapFont& font, std::string& error);
// The definition text of a rendered font.
std::string FontDefinitionText(const BitmapFont& font);

// The glyph container / the definition text for a source recipe.
bool BuildFontBcf(const std::string& source, std::vector<uint8_t>& out, std::string& error);
bool BuildFontDefinition(const std::string& source, std::vector<uint8_t>& out, std::string& error);

// The pack builders ("font" and "fontdef"); the face path is resolved against
// the manifest's directory unless absolute.
inline bool BuildFontResource(const BuildInput& input, std::vector<uint8_t>& out,
                              std::string& error) {
    return BuildFontBcf(input.SourcePath(), out, error);
}
inline bool BuildFontDefinitionResource(const BuildInput& input, std::vector<uint8_t>& out,
                                        std::string& error) {
    return BuildFontDefinition(input.SourcePath(), out, error);
}

}  // namespace vorlane::pack
