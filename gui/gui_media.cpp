#include "gui/gui_media.h"

namespace vorlane::gui {

OsgfxCanvas::OsgfxCanvas(media::OSGFX& surface) : surface_(surface) {
    ptrdiff_t pitch = 0;
    uint32_t* pixels = surface_.BeginDraw(&pitch);
    Attach(pixels, surface_.width(), surface_.height(), pitch);
}

OsgfxCanvas::~OsgfxCanvas() {
    surface_.EndDraw();
}

std::shared_ptr<const GuiPicture> LoadPicture(const void* data, size_t size) {
    auto surface = std::make_unique<media::OSGFX>();
    if (surface->InitFromImage(data, size) != 0 || surface->empty())
        return nullptr;
    return std::make_shared<OsgfxPicture>(std::move(surface));
}

int QntGuiFont::CharWidth(uint8_t character) const {
    return font_ ? font_->CharWidth(character) : 0;
}

int QntGuiFont::Height() const {
    return font_ ? font_->font_height : 0;
}

int QntGuiFont::DrawText(GuiCanvas& target, int x, int y, std::string_view text,
                         uint32_t colour) const {
    auto* pixels = dynamic_cast<PixelCanvas*>(&target);
    if (!font_ || !pixels)
        return 0;
    int advance = 0;
    for (char c : text) {
        const media::OSGFX* glyph = font_->Glyph(static_cast<uint8_t>(c));
        if (!glyph)
            continue;
        // Like the font itself: stop before the first glyph that would cross
        // the right edge of the target.
        if (x + advance + glyph->width() > target.Width())
            break;
        pixels->DrawTinted(OsgfxPicture(glyph), x + advance, y, colour);
        advance += glyph->width();
    }
    return advance;
}

const GuiFont* QntFontSource::GetFont(int number) const {
    if (!control_ || number < 0 || number >= int(fonts_.size()))
        return nullptr;
    const resources::QNTFONT_BASE* font = control_->GetFont(number);
    if (!font)
        return nullptr;
    auto& slot = fonts_[size_t(number)];
    if (!slot || seen_[size_t(number)] != font) {
        slot = std::make_unique<QntGuiFont>(font);
        seen_[size_t(number)] = font;
    }
    return slot.get();
}

}  // namespace vorlane::gui
