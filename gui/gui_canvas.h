// The drawing seam of the toolkit: a target surface (GuiCanvas), pictures and
// fonts as interfaces, plus in-memory ARGB implementations used headless (tests,
// benchmarks, screenshots). Colours are 32-bit A8R8G8B8 words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vorlane::gui {

// A picture that can be drawn onto a canvas (a graphics-layer surface): ARGB
// pixels, `Pitch` pixels from one row to the next.
class GuiPicture {
  public:
    virtual ~GuiPicture() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual const uint32_t* Pixels() const = 0;
    virtual ptrdiff_t Pitch() const = 0;
};

// A drawing target. Coordinates are screen pixels; everything is clipped to the
// target. Fills blend by the colour's alpha; lines are drawn solid.
class GuiCanvas {
  public:
    virtual ~GuiCanvas() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void FillRect(int x, int y, int w, int h, uint32_t colour) = 0;
    virtual void HLine(int x, int y, int length, uint32_t colour) = 0;
    virtual void VLine(int x, int y, int length, uint32_t colour) = 0;
    virtual void Line(int x0, int y0, int x1, int y1, uint32_t colour) = 0;
    // Draws `picture` over the rectangle (stretched when the sizes differ).
    virtual void DrawPicture(const GuiPicture& picture, int x, int y, int w, int h) = 0;
    // Outline of a rectangle, solid.
    void FrameRect(int x, int y, int w, int h, uint32_t colour);
    // Bevel: top and left edges in `top_left`, bottom and right in `bottom_right`.
    void Bevel(int x, int y, int w, int h, uint32_t top_left, uint32_t bottom_right);
};

// A bitmap font as the toolkit needs it: byte characters, fixed line height.
class GuiFont {
  public:
    virtual ~GuiFont() = default;
    virtual int CharWidth(uint8_t character) const = 0;
    virtual int Height() const = 0;
    // Draws the characters from (x, y) (top left) in `colour`; returns the advance.
    virtual int DrawText(GuiCanvas& target, int x, int y, std::string_view text,
                         uint32_t colour) const = 0;
    int TextWidth(std::string_view text) const;
};

// Where fonts by number come from (the font control of the program).
class GuiFontSource {
  public:
    virtual ~GuiFontSource() = default;
    virtual const GuiFont* GetFont(int number) const = 0;
};

// An ARGB picture held in memory.
class MemoryPicture : public GuiPicture {
  public:
    MemoryPicture(int w, int h, uint32_t fill = 0);
    int Width() const override { return w_; }
    int Height() const override { return h_; }
    const uint32_t* Pixels() const override { return pixels_.data(); }
    ptrdiff_t Pitch() const override { return w_; }
    uint32_t Pixel(int x, int y) const;
    void SetPixel(int x, int y, uint32_t colour);

  private:
    int w_, h_;
    std::vector<uint32_t> pixels_;
};

// A canvas over ARGB pixels owned elsewhere (a graphics surface, a buffer).
class PixelCanvas : public GuiCanvas {
  public:
    int Width() const override { return w_; }
    int Height() const override { return h_; }
    void FillRect(int x, int y, int w, int h, uint32_t colour) override;
    void HLine(int x, int y, int length, uint32_t colour) override;
    void VLine(int x, int y, int length, uint32_t colour) override;
    void Line(int x0, int y0, int x1, int y1, uint32_t colour) override;
    void DrawPicture(const GuiPicture& picture, int x, int y, int w, int h) override;
    // Draws a picture at its own size, each pixel multiplied channel-wise by
    // `colour` and blended by the resulting alpha (white glyphs take the colour).
    void DrawTinted(const GuiPicture& picture, int x, int y, uint32_t colour);
    uint32_t Pixel(int x, int y) const;

  protected:
    void Attach(uint32_t* pixels, int w, int h, ptrdiff_t pitch);
    uint32_t* Row(int y) const { return pixels_ + ptrdiff_t(y) * pitch_; }

  private:
    void Plot(int x, int y, uint32_t colour);
    uint32_t* pixels_ = nullptr;
    int w_ = 0, h_ = 0;
    ptrdiff_t pitch_ = 0;
};

// A canvas that owns its ARGB buffer.
class MemoryCanvas : public PixelCanvas {
  public:
    MemoryCanvas(int w, int h, uint32_t fill = 0xFF000000);
    MemoryCanvas(const MemoryCanvas& other);
    MemoryCanvas& operator=(const MemoryCanvas& other);

    void Clear(uint32_t colour);
    // Copies another canvas of the same size opaquely (the baseline of the benchmark).
    void CopyFrom(const MemoryCanvas& other);
    uint32_t* Data() { return storage_.data(); }
    const uint32_t* Data() const { return storage_.data(); }
    // Writes a 24-bit BMP; false when the file cannot be written.
    bool SaveBmp(const char* path) const;

  private:
    std::vector<uint32_t> storage_;
};

// Blends `src` over `dst` by the source alpha (result opaque).
uint32_t BlendOver(uint32_t dst, uint32_t src);

// A font without files: every glyph is a small 5 x 7 pattern in a cell of
// `advance` x `height` pixels. Used where no font files are loaded (tests,
// benchmarks, headless screens).
class BuiltinFont : public GuiFont {
  public:
    explicit BuiltinFont(int advance = 7, int height = 10) : advance_(advance), height_(height) {}
    int CharWidth(uint8_t character) const override;
    int Height() const override { return height_; }
    int DrawText(GuiCanvas& target, int x, int y, std::string_view text,
                 uint32_t colour) const override;

  private:
    int advance_, height_;
};

}  // namespace vorlane::gui
