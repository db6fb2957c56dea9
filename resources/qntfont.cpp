#include "resources/qntfont.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "baselib/log_channel.h"
#include "baselib/scfg/scfg.h"
#include "media/gfxsys.h"
#include "resources/filectrl.h"

namespace vorlane::resources {
namespace {

using media::OSGFX;

constexpr uint32_t kGlyphLoadFlags = 0x09;
constexpr size_t kDefinitionPathMax = 250;

// A decimal value of the definition; missing or unreadable values read as 0.
long ReadNumber(const SCFG* cfg, const char* section, const char* key) {
    const char* text = SCFG_Get(cfg, section, key);
    return text ? std::strtol(text, nullptr, 10) : 0;
}

struct ScfgFree {
    void operator()(SCFG* cfg) const { SCFG_Free(cfg); }
};

}  // namespace

// [SECTION] glyph library

void* OSGFX_LIBRARY::CreateObject(const uint8_t* data, uint32_t size) {
    std::unique_ptr<OSGFX> surface =
        gfx_ ? gfx_->CreateOSGFX(0) : std::unique_ptr<OSGFX>(new (std::nothrow) OSGFX(0));
    if (!surface)
        return nullptr;
    int option = 0;
    if (graphics_flags_ & 0x2)
        option |= media::kLoadOption64;
    if (graphics_flags_ & 0x4)
        option |= media::kLoadOption128;
    if (surface->InitFromImage(data, size, option) != 0)
        return nullptr;
    return surface.release();
}

void OSGFX_LIBRARY::ReleaseObject(void* object) {
    delete static_cast<OSGFX*>(object);
}

// [SECTION] font

QNTFONT_BASE::QNTFONT_BASE(media::GFXSYS3D* gfx) : gfx_(gfx) {
    if (gfx_) {
        foreground = gfx_->ColorRGB(255, 255, 255);
        background = gfx_->ColorRGB(0, 0, 0);
    }
    valid = 1;
}

QNTFONT_BASE::~QNTFONT_BASE() = default;

int QNTFONT_BASE::Load(const char* bcf_path, const char* definition_path) {
    table_.fill(nullptr);
    error_glyph_ = nullptr;
    library_.reset(new (std::nothrow) OSGFX_LIBRARY(1, gfx_));
    if (!library_) {
        Log(kLogError, "QNTFONT_BASE: Cannot alloc font_lib.");
        return -1;
    }
    if (!bcf_path || library_->LoadFile(bcf_path, kGlyphLoadFlags) != 0) {
        Log(kLogError, "QNTFONT_BASE: Cannot load font_lib '%s'.", bcf_path ? bcf_path : "(null)");
        library_.reset();
        return -1;
    }
    std::unique_ptr<SCFG, ScfgFree> cfg(definition_path ? SCFG_Load(definition_path) : nullptr);
    if (!cfg) {
        library_.reset();
        Log(kLogError, "QNTFONT_BASE: Cannot load font_res.");
        return -1;
    }
    long count = ReadNumber(cfg.get(), "font_header", "char_count");
    long height = ReadNumber(cfg.get(), "font_header", "font_height");
    long error_char = ReadNumber(cfg.get(), "font_header", "error_char");
    font_height = uint16_t(height);
    if (error_char >= 0 && size_t(error_char) < library_->GetCount())
        error_glyph_ = library_->GetSurface(size_t(error_char));
    table_.fill(error_glyph_);
    // Only objects the library holds can be mapped; a larger count maps the
    // rest to nothing instead of reading past the list.
    long limit = std::min<long>(count, long(library_->GetCount()));
    for (long i = 0; i < limit; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "obj_%03ld", i);
        const char* text = SCFG_Get(cfg.get(), "character_table", key);
        long code = text ? std::strtol(text, nullptr, 10) : 0;
        if (code < 0 || code > 255)
            continue;
        table_[size_t(code)] = library_->GetSurface(size_t(i));
    }
    return 0;
}

const OSGFX* QNTFONT_BASE::Glyph(uint8_t character) const {
    return table_[character] ? table_[character] : error_glyph_;
}

int QNTFONT_BASE::CharWidth(uint8_t character) const {
    const OSGFX* glyph = Glyph(character);
    return glyph ? glyph->width() : 0;
}

int QNTFONT_BASE::TextWidth(const char* text, int spacing) const {
    if (!text)
        return 0;
    int width = 0;
    for (const char* p = text; *p; ++p) {
        const OSGFX* glyph = Glyph(uint8_t(*p));
        if (glyph)
            width += glyph->width() + spacing;
    }
    return width;
}

int QNTFONT_BASE::TextWidthMarkup(const char* text, int spacing) const {
    if (!text)
        return 0;
    int width = 0;
    for (const char* p = text; *p; ++p) {
        if (*p == '~') {
            // Skip the marker and up to 10 following characters, never past the end.
            for (int k = 0; k < 10 && p[1]; ++k) ++p;
            continue;
        }
        const OSGFX* glyph = Glyph(uint8_t(*p));
        if (glyph)
            width += glyph->width() + spacing;
    }
    return width;
}

uint16_t QNTFONT_BASE::DrawText(media::OSGFX* surface, int x, int y, const char* text,
                                int spacing) {
    return DrawTextEx(surface, x, y, 0, text, spacing);
}

uint16_t QNTFONT_BASE::DrawTextEx(media::OSGFX* surface, int x, int y, uint32_t option,
                                  const char* text, int spacing) {
    if (!text || !surface)
        return 0;
    bool lock = !surface->is_screen() && !surface->locked();
    if (lock)
        surface->BeginDraw();
    // Transparent glyphs are blended by their alpha: for glyphs whose pixels
    // are either clear or opaque that is the colour-key draw, and anti-aliased
    // glyphs keep their soft edges.
    uint32_t mode = option != 0        ? media::kPasteAlphaMask
                    : transparent == 1 ? media::kPasteAlpha
                                       : media::kPasteOpaque;
    uint32_t colour = option != 0 ? option : 0xFFFFFFFFu;
    int advance = 0;
    for (const char* p = text; *p; ++p) {
        const OSGFX* glyph = Glyph(uint8_t(*p));
        if (!glyph)
            continue;
        if (int64_t(x) + glyph->width() > surface->width())
            break;
        glyph->PasteAt(surface, x, y, mode, colour);
        x += glyph->width() + spacing;
        advance += glyph->width() + spacing;
    }
    if (lock)
        surface->EndDraw();
    return uint16_t(advance);
}

// [SECTION] font control

const uint16_t kProgramFontTable[1 + 2 * 10] = {10, 5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                                                15, 16, 17, 18, 19, 20, 21, 22, 23, 24};

QNTFONTCTRL_BASE::QNTFONTCTRL_BASE(int count, media::GFXSYS3D* gfx) : gfx_(gfx) {
    if (count < 0 || count > 0xFFFF) {
        Log(kLogError, "QNTFONTCTRL_BASE: Cannot alloc font_list.");
        return;
    }
    fonts_.resize(size_t(count));
    valid = 1;
}

QNTFONTCTRL_BASE::~QNTFONTCTRL_BASE() = default;

int QNTFONTCTRL_BASE::LoadFonts(FILECTRL& filectrl, const uint16_t* table) {
    if (!table)
        return 0;
    int pairs = table[0];
    size_t next = 0;
    for (int i = 0; i < pairs; ++i) {
        uint16_t bcf_number = table[1 + 2 * i];
        uint16_t definition_number = table[2 + 2 * i];
        // GetPath hands out one shared buffer: keep the first result.
        const char* definition = filectrl.GetPath(definition_number);
        if (!definition)
            continue;
        std::string definition_path(definition, strnlen(definition, kDefinitionPathMax));
        const char* bcf = filectrl.GetPath(bcf_number);
        auto font = std::unique_ptr<QNTFONT_BASE>(new (std::nothrow) QNTFONT_BASE(gfx_));
        if (!font || font->Load(bcf, definition_path.c_str()) != 0)
            continue;
        while (next < fonts_.size() && fonts_[next]) ++next;
        if (next >= fonts_.size())
            break;
        fonts_[next] = std::move(font);
    }
    return 0;
}

QNTFONT_BASE* QNTFONTCTRL_BASE::GetFont(int number) const {
    if (number < 0 || size_t(number) >= fonts_.size())
        return nullptr;
    return fonts_[size_t(number)].get();
}

void QNTFONTCTRL_BASE::RemoveFont(int number) {
    if (number >= 0 && size_t(number) < fonts_.size())
        fonts_[size_t(number)].reset();
}

void QNTFONTCTRL_BASE::RemoveAll() {
    for (auto& font : fonts_) font.reset();
}

}  // namespace vorlane::resources
