// Bindings of the toolkit to the graphics layer and the fonts: a canvas over an
// OSGFX surface, pictures made of surfaces, and the program's bitmap fonts as
// GUI fonts (font numbers resolve through the font control).
#pragma once

#include <array>
#include <memory>

#include "gui/gui_canvas.h"
#include "media/osgfx.h"
#include "resources/qntfont.h"

namespace vorlane::gui {

// A canvas over a surface; the surface stays locked while the canvas lives and
// must not be resized meanwhile.
class OsgfxCanvas : public PixelCanvas {
  public:
    explicit OsgfxCanvas(media::OSGFX& surface);
    ~OsgfxCanvas() override;
    OsgfxCanvas(const OsgfxCanvas&) = delete;
    OsgfxCanvas& operator=(const OsgfxCanvas&) = delete;
    media::OSGFX& surface() const { return surface_; }

  private:
    media::OSGFX& surface_;
};

// A picture over a surface, sharing it (an archive's picture is shared by all
// its users) or borrowing it.
class OsgfxPicture : public GuiPicture {
  public:
    explicit OsgfxPicture(std::shared_ptr<const media::OSGFX> shared)
        : owned_(std::move(shared)), surface_(owned_.get()) {}
    explicit OsgfxPicture(const media::OSGFX* borrowed) : surface_(borrowed) {}
    int Width() const override { return surface_ ? surface_->width() : 0; }
    int Height() const override { return surface_ ? surface_->height() : 0; }
    const uint32_t* Pixels() const override { return surface_ ? surface_->pixels() : nullptr; }
    ptrdiff_t Pitch() const override { return surface_ ? surface_->pitch() : 0; }

  private:
    std::shared_ptr<const media::OSGFX> owned_;
    const media::OSGFX* surface_;
};

// Loads a picture from image data bytes (the archive's graphic resources);
// null when the bytes are no picture.
std::shared_ptr<const GuiPicture> LoadPicture(const void* data, size_t size);

// One bitmap font as a GUI font. Glyphs are drawn multiplied by the text colour.
class QntGuiFont : public GuiFont {
  public:
    explicit QntGuiFont(const resources::QNTFONT_BASE* font) : font_(font) {}
    int CharWidth(uint8_t character) const override;
    int Height() const override;
    int DrawText(GuiCanvas& target, int x, int y, std::string_view text,
                 uint32_t colour) const override;

  private:
    const resources::QNTFONT_BASE* font_;
};

// The font control's fonts by number (0..9) as GUI fonts.
class QntFontSource : public GuiFontSource {
  public:
    explicit QntFontSource(const resources::QNTFONTCTRL_BASE* control) : control_(control) {}
    const GuiFont* GetFont(int number) const override;

  private:
    const resources::QNTFONTCTRL_BASE* control_;
    mutable std::array<std::unique_ptr<QntGuiFont>, 16> fonts_;
    mutable std::array<const resources::QNTFONT_BASE*, 16> seen_{};
};

}  // namespace vorlane::gui
