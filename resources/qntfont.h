// Bitmap fonts. A font is a glyph library (a block container whose objects are
// glyph images, each made an OSGFX surface) and a definition text:
//
//   [font_header]
//   char_count  = 2      glyph objects to map
//   font_height = 14     line height in pixels
//   error_char  = 0      glyph shown for every unmapped character
//   [character_table]
//   obj_000 = 65         glyph object 0 draws character 65
//   obj_001 = 66
//
// QNTFONT_BASE is one font; QNTFONTCTRL_BASE holds the program's fonts by number.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/osgfx.h"
#include "resources/bcf_library.h"
#include "resources/text_measure.h"

namespace vorlane::media {
class GFXSYS3D;
}

namespace vorlane::resources {

class FILECTRL;

// A block-container library whose objects are OSGFX surfaces made from the
// objects' image bytes. Graphics flag 0x2 selects load option 64, 0x4 load
// option 128.
class OSGFX_LIBRARY : public BCF_LIBRARY {
  public:
    explicit OSGFX_LIBRARY(uint32_t graphics_flags, media::GFXSYS3D* gfx = nullptr)
        : graphics_flags_(graphics_flags), gfx_(gfx) {}
    ~OSGFX_LIBRARY() override { Clear(); }

    void* CreateObject(const uint8_t* data, uint32_t size) override;
    void* CreateFirstObject(const uint8_t* data, uint32_t size) override {
        return CreateObject(data, size);
    }
    void ReleaseObject(void* object) override;

    media::OSGFX* GetSurface(size_t i) const { return static_cast<media::OSGFX*>(GetAt(i)); }

  private:
    uint32_t graphics_flags_;
    media::GFXSYS3D* gfx_;
};

class QNTFONT_BASE : public TEXT_MEASURE {
  public:
    // Surfaces come from `gfx` when given, else they are made directly.
    explicit QNTFONT_BASE(media::GFXSYS3D* gfx = nullptr);
    virtual ~QNTFONT_BASE();
    QNTFONT_BASE(const QNTFONT_BASE&) = delete;
    QNTFONT_BASE& operator=(const QNTFONT_BASE&) = delete;

    // Loads the glyph library and the definition; 0 or -1.
    int Load(const char* bcf_path, const char* definition_path);
    // Draws text at (x, y); the advance in pixels.
    uint16_t DrawText(media::OSGFX* surface, int x, int y, const char* text, int spacing);
    // As DrawText; a non-zero option is a colour each glyph is multiplied by
    // (white glyphs take the colour), blended by the glyph's alpha.
    uint16_t DrawTextEx(media::OSGFX* surface, int x, int y, uint32_t option, const char* text,
                        int spacing);
    // Sum of (glyph width + spacing) over the characters.
    int TextWidth(const char* text, int spacing) const;
    // The width without spacing, for text layouts.
    int16_t TextWidth(const char* text) const override { return int16_t(TextWidth(text, 0)); }
    // As TextWidth; "~" and the 10 characters after it measure nothing.
    int TextWidthMarkup(const char* text, int spacing) const;
    // The width of a character's glyph (or the error glyph's; 0 without either).
    int CharWidth(uint8_t character) const;
    // The glyph drawn for a character, or null.
    const media::OSGFX* Glyph(uint8_t character) const;

    uint8_t valid = 0;
    uint16_t font_height = 0;
    uint16_t reserved = 0;
    uint8_t transparent = 1;
    uint32_t foreground = 0xFFFFFFFFu;
    uint32_t background = 0xFF000000u;

  private:
    media::GFXSYS3D* gfx_;
    std::unique_ptr<OSGFX_LIBRARY> library_;
    media::OSGFX* error_glyph_ = nullptr;
    std::array<media::OSGFX*, 256> table_{};  // not owning: glyphs belong to the library
};

// The program's fonts: number -> (glyph file number, definition file number).
// Stored as a count followed by the pairs.
extern const uint16_t kProgramFontTable[1 + 2 * 10];

class QNTFONTCTRL_BASE {
  public:
    explicit QNTFONTCTRL_BASE(int count, media::GFXSYS3D* gfx = nullptr);
    virtual ~QNTFONTCTRL_BASE();
    QNTFONTCTRL_BASE(const QNTFONTCTRL_BASE&) = delete;
    QNTFONTCTRL_BASE& operator=(const QNTFONTCTRL_BASE&) = delete;

    // Loads every pair of `table` through the file control; fonts that load
    // take the next free numbers. 0.
    int LoadFonts(FILECTRL& filectrl, const uint16_t* table);
    // The font with that number, or null.
    QNTFONT_BASE* GetFont(int number) const;
    void RemoveFont(int number);
    void RemoveAll();
    int capacity() const { return int(fonts_.size()); }

    uint8_t valid = 0;

  private:
    media::GFXSYS3D* gfx_;
    std::vector<std::unique_ptr<QNTFONT_BASE>> fonts_;
};

}  // namespace vorlane::resources
