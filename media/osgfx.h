// OSGFX: a drawing surface of the software renderer.
//
// A surface is an A8R8G8B8 pixel buffer with a position (where Paste puts it by
// default) and a reference point, both taken from the image data it was loaded
// from. Every drawing operation clips against both surfaces: nothing is ever
// written outside a surface. Results follow the program's convention: 0 success,
// -1 failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorlane::media {

// Paste modes. kPasteAlphaMask multiplies the source channel-wise by the
// paste's colour parameter (a ColourAlphaMask word fades it; any other colour
// tints it) and then blends by the resulting alpha.
enum PasteMode : uint32_t {
    kPasteOpaque = 0,       // copy every pixel
    kPasteTransparent = 1,  // skip pixels whose alpha is 0 (black of 16/32-bit images)
    kPasteAlpha = 2,        // blend by the source alpha
    kPasteAlphaMask = 3,    // modulate by the colour parameter, then blend
};

// Creation flags of a surface (CreateOSGFX's flag).
enum OsgfxFlag : int {
    kOsgfxTextureFlag = 0x4,  // the surface is a texture (kind 4)
};

// Load options of InitFromImage (glyph libraries pass them through; the
// software renderer keeps them for callers that ask).
enum OsgfxLoadOption : int {
    kLoadOption64 = 64,
    kLoadOption128 = 128,
};

class OSGFX {
  public:
    static constexpr int kKindSurface = 3;
    static constexpr int kKindTexture = 4;
    // Largest side of a surface created by size.
    static constexpr int kMaxSide = 16384;

    explicit OSGFX(int flags = 0);
    OSGFX(const OSGFX&) = delete;
    OSGFX& operator=(const OSGFX&) = delete;

    // Sizes the surface to width x height, cleared to 0 (transparent black).
    int Create(int width, int height);
    // Loads a picture in the image data format; on failure the surface is empty.
    int InitFromImage(std::span<const uint8_t> bytes, int load_option = 0);
    int InitFromImage(const void* data, size_t size, int load_option = 0) {
        return InitFromImage(std::span(static_cast<const uint8_t*>(data), data ? size : 0),
                             load_option);
    }
    // Frees the pixels; the object stays usable.
    void Release();

    int width() const { return width_; }
    int height() const { return height_; }
    // Row distance in pixels.
    ptrdiff_t pitch() const { return width_; }
    const uint32_t* pixels() const { return pixels_.data(); }
    uint32_t* pixels() { return pixels_.data(); }
    bool empty() const { return pixels_.empty(); }
    int kind() const { return (flags_ & kOsgfxTextureFlag) ? kKindTexture : kKindSurface; }
    int flags() const { return flags_; }
    int load_option() const { return load_option_; }

    void SetPos(int x, int y) { x_ = x, y_ = y; }
    int x() const { return x_; }
    int y() const { return y_; }
    int ref_x() const { return ref_x_; }
    int ref_y() const { return ref_y_; }
    int texture_id() const { return texture_id_; }
    void set_texture_id(int id) { texture_id_ = id; }
    // Marks the surface as the screen's back buffer.
    void set_screen(bool screen) { screen_ = screen; }
    bool is_screen() const { return screen_; }

    // Draws this surface onto `target` at this surface's position.
    int Paste(OSGFX* target, uint32_t mode = kPasteOpaque, uint32_t colour = 0xFFFFFFFFu) const {
        return PasteAt(target, x_, y_, mode, colour);
    }
    // Draws this surface onto `target` with its top-left corner at (x, y).
    int PasteAt(OSGFX* target, int x, int y, uint32_t mode = kPasteOpaque,
                uint32_t colour = 0xFFFFFFFFu) const;
    // Draws this surface stretched (nearest pixel) into the w x h box at (x, y).
    int PasteScaled(OSGFX* target, int x, int y, int w, int h, uint32_t mode = kPasteOpaque,
                    uint32_t colour = 0xFFFFFFFFu) const;
    // Makes this surface a copy of `source` (size, pixels, position).
    int Copy(const OSGFX& source);
    // Copies the w x h rectangle at (sx, sy) of `source` to (dx, dy) of this surface.
    int CopyPart(const OSGFX& source, int sx, int sy, int w, int h, int dx, int dy);
    // Fills a rectangle (clipped) with a colour.
    int DirectFill(int x, int y, int w, int h, uint32_t colour);
    int Clear(uint32_t colour = 0) { return DirectFill(0, 0, width_, height_, colour); }
    // A one-pixel line from (x0, y0) to (x1, y1), both ends included, clipped.
    int DrawLine(int x0, int y0, int x1, int y1, uint32_t colour);
    // One pixel (0 outside the surface).
    uint32_t GetPixel(int x, int y) const;
    void PutPixel(int x, int y, uint32_t colour);

    // Locks the pixels for direct access (nests); null for an empty surface.
    uint32_t* BeginDraw(ptrdiff_t* pitch = nullptr);
    void EndDraw();
    bool locked() const { return lock_count_ > 0; }

    // Writes the surface as a 24-bit BMP; numbered: "<name without ext>NNNN.bmp"
    // with the first free number 0..999.
    int SaveBMP(const std::string& name, bool numbered) const;

    // Operations of the DirectDraw-era surfaces that 3D surfaces never did.
    int SetTransCol(uint32_t colour);
    int ReplaceColor(uint32_t from, uint32_t to);
    int ScaleSet(int sx, int sy);
    int ScaleGet(int* sx, int* sy) const;
    int DrawPutLine(int y, const uint32_t* line);
    int DrawGetLine(int y, uint32_t* line) const;
    int DirectSimpleText(int x, int y, const char* text, uint32_t colour);
    int RestoreLostDDSurface();

  private:
    std::vector<uint32_t> pixels_;
    int width_ = 0;
    int height_ = 0;
    int x_ = 0;
    int y_ = 0;
    int ref_x_ = 0;
    int ref_y_ = 0;
    int flags_ = 0;
    int load_option_ = 0;
    int lock_count_ = 0;
    int texture_id_ = -1;
    bool screen_ = false;
};

// The part of a w x h box at (x, y) that lies inside a width x height surface,
// with the offset into the box where it starts. Empty when w or h end up <= 0.
struct ClipResult {
    int x, y, w, h;    // on the surface
    int off_x, off_y;  // into the box
    bool empty() const { return w <= 0 || h <= 0; }
};
ClipResult ClipBox(int x, int y, int w, int h, int width, int height);

}  // namespace vorlane::media
