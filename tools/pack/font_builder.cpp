#include "tools/pack/font_builder.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "media/image_data.h"
#include "resources/bcf_library.h"

namespace vorlane::pack {

bool ParseFontRecipe(const std::string& source, FontRecipe& recipe, std::string& error) {
    recipe = FontRecipe{};
    size_t query = source.find('?');
    recipe.path = source.substr(0, query);
    if (recipe.path.empty()) {
        error = "font source names no face file";
        return false;
    }
    if (query == std::string::npos)
        return true;
    std::string rest = source.substr(query + 1);
    size_t start = 0;
    for (;;) {
        size_t end = rest.find('&', start);
        std::string pair =
            rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
        size_t eq = pair.find('=');
        std::string key = pair.substr(0, eq),
                    value = eq == std::string::npos ? "" : pair.substr(eq + 1);
        char* tail = nullptr;
        long number = std::strtol(value.c_str(), &tail, 10);
        bool numeric = !value.empty() && *tail == 0;
        bool ok = true;
        if (key == "size") {
            ok = numeric && number >= 4 && number <= 128;
            if (ok)
                recipe.size = int(number);
        } else if (key == "mono") {
            ok = numeric && (number == 0 || number == 1);
            if (ok)
                recipe.mono = number == 1;
        } else if (!pair.empty()) {
            ok = false;
        }
        if (!ok) {
            error = "bad font setting '" + pair + "' (size=4..128, mono=0|1)";
            return false;
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return true;
}

namespace {

struct Library {
    FT_Library handle = nullptr;
    ~Library() {
        if (handle)
            FT_Done_FreeType(handle);
    }
};
struct Face {
    FT_Face handle = nullptr;
    ~Face() {
        if (handle)
            FT_Done_Face(handle);
    }
};

// Coverage of bitmap pixel (x, y): 0..255 for gray bitmaps, 0 or 255 for mono.
uint8_t Coverage(const FT_Bitmap& bitmap, int x, int y) {
    const uint8_t* row = bitmap.buffer + ptrdiff_t(y) * bitmap.pitch;
    if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
        return (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    return row[x];
}

}  // namespace

bool RenderBitmapFont(const FontRecipe& recipe, BitmapFont& font, std::string& error) {
    Library library;
    Face face;
    if (FT_Init_FreeType(&library.handle) != 0) {
        error = "cannot start FreeType";
        return false;
    }
    if (FT_New_Face(library.handle, recipe.path.c_str(), 0, &face.handle) != 0) {
        error = "cannot read font face '" + recipe.path + "'";
        return false;
    }
    if (FT_Set_Pixel_Sizes(face.handle, 0, FT_UInt(recipe.size)) != 0) {
        error = "font face '" + recipe.path + "' has no size " + std::to_string(recipe.size);
        return false;
    }
    const FT_Size_Metrics& metrics = face.handle->size->metrics;
    int ascender = int((metrics.ascender + 63) >> 6);
    int descender = int(metrics.descender >> 6);  // negative below the baseline
    font.height = std::clamp(ascender - descender, 1, 512);
    font.glyphs.clear();
    font.error_glyph = '?' - kFontFirstChar;
    FT_Int32 load = FT_LOAD_RENDER | (recipe.mono ? FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME : 0);
    for (int c = kFontFirstChar; c <= kFontLastChar; ++c) {
        if (FT_Load_Char(face.handle, FT_ULong(c), load) != 0) {
            error = "cannot render character " + std::to_string(c) + " of '" + recipe.path + "'";
            return false;
        }
        FT_GlyphSlot slot = face.handle->glyph;
        int width = std::clamp(int((slot->advance.x + 32) >> 6), 1, 512);
        std::vector<uint32_t> pixels(size_t(width) * size_t(font.height), 0);
        const FT_Bitmap& bitmap = slot->bitmap;
        int left = slot->bitmap_left, top = ascender - slot->bitmap_top;
        for (int y = 0; y < int(bitmap.rows); ++y) {
            int ty = top + y;
            if (ty < 0 || ty >= font.height)
                continue;
            for (int x = 0; x < int(bitmap.width); ++x) {
                int tx = left + x;
                if (tx < 0 || tx >= width)
                    continue;
                uint8_t a = Coverage(bitmap, x, y);
                if (a)
                    pixels[size_t(ty) * width + tx] = uint32_t(a) << 24 | 0xFFFFFFu;
            }
        }
        font.glyphs.push_back(media::EncodeImageData(
            pixels.data(), width, font.height,
            recipe.mono ? media::kImageFormat32 : media::kImageFormat32Alpha));
    }
    return true;
}

std::string FontDefinitionText(const BitmapFont& font) {
    std::string text = "[font_header]\n";
    text += "char_count = " + std::to_string(font.glyphs.size()) + "\n";
    text += "font_height = " + std::to_string(font.height) + "\n";
    text += "error_char = " + std::to_string(font.error_glyph) + "\n";
    text += "[character_table]\n";
    for (size_t i = 0; i < font.glyphs.size(); ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "obj_%03zu = %zu\n", i, i + kFontFirstChar);
        text += line;
    }
    return text;
}

bool BuildFontBcf(const std::string& source, std::vector<uint8_t>& out, std::string& error) {
    FontRecipe recipe;
    BitmapFont font;
    if (!ParseFontRecipe(source, recipe, error) || !RenderBitmapFont(recipe, font, error))
        return false;
    std::vector<resources::BcfObjectSource> objects(font.glyphs.size());
    for (size_t i = 0; i < font.glyphs.size(); ++i) objects[i].bytes = font.glyphs[i];
    out.clear();
    if (!resources::BuildBcfImage(objects, out)) {
        error = "font '" + recipe.path + "' does not fit a block container";
        return false;
    }
    return true;
}

bool BuildFontDefinition(const std::string& source, std::vector<uint8_t>& out, std::string& error) {
    FontRecipe recipe;
    BitmapFont font;
    if (!ParseFontRecipe(source, recipe, error) || !RenderBitmapFont(recipe, font, error))
        return false;
    std::string text = FontDefinitionText(font);
    out.assign(text.begin(), text.end());
    return true;
}

}  // namespace vorlane::pack
