// In-memory drawing: canvas helpers, pictures, the pixel canvas with its fills,
// lines and picture blits, the owning canvas with BMP output, the built-in font.
//
// [SECTION] Canvas helpers
// [SECTION] MemoryPicture
// [SECTION] PixelCanvas
// [SECTION] MemoryCanvas
// [SECTION] BuiltinFont
#include "gui/gui_canvas.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace vorlane::gui {

// [SECTION] Canvas helpers

void GuiCanvas::FrameRect(int x, int y, int w, int h, uint32_t colour) {
    Bevel(x, y, w, h, colour, colour);
}

void GuiCanvas::Bevel(int x, int y, int w, int h, uint32_t top_left, uint32_t bottom_right) {
    if (w <= 0 || h <= 0)
        return;
    HLine(x, y, w, top_left);
    VLine(x, y, h, top_left);
    HLine(x + 1, y + h - 1, w - 1, bottom_right);
    VLine(x + w - 1, y + 1, h - 1, bottom_right);
}

int GuiFont::TextWidth(std::string_view text) const {
    int width = 0;
    for (char c : text) width += CharWidth(static_cast<uint8_t>(c));
    return width;
}

namespace {

// Translucent pixels are most of what a menu frame costs, so red and blue are
// blended together in the two 16-bit halves of one word (no sum reaches 2^16,
// so the halves never carry into each other). Each channel is rounded exactly:
// round(t / 255) == (t + 128 + ((t + 128) >> 8)) >> 8 for t up to 255 * 255.
// One source colour over many pixels: its share is worked out once.
struct TranslucentColour {
    TranslucentColour(uint32_t src, uint32_t a)
        : rb((src & 0xFF00FFu) * a + 0x800080u), g(((src >> 8) & 0xFFu) * a + 128), na(255 - a) {}
    uint32_t Over(uint32_t dst) const {
        uint32_t sum_rb = rb + (dst & 0xFF00FFu) * na;
        sum_rb = ((sum_rb + ((sum_rb >> 8) & 0xFF00FFu)) >> 8) & 0xFF00FFu;
        uint32_t sum_g = g + ((dst >> 8) & 0xFFu) * na;
        sum_g = (sum_g + (sum_g >> 8)) >> 8;
        return 0xFF000000u | sum_rb | sum_g << 8;
    }
    uint32_t rb, g, na;
};

inline uint32_t BlendTranslucent(uint32_t dst, uint32_t src, uint32_t a) {
    return TranslucentColour(src, a).Over(dst);
}

}  // namespace

uint32_t BlendOver(uint32_t dst, uint32_t src) {
    const uint32_t a = src >> 24;
    if (a == 255)
        return src;
    if (a == 0)
        return dst | 0xFF000000u;
    return BlendTranslucent(dst, src, a);
}

namespace {

// BlendOver with its two common cases (opaque and fully transparent source)
// decided inline, so picture loops only call out for real blending.
inline uint32_t BlendPixel(uint32_t dst, uint32_t src) {
    const uint32_t a = src >> 24;
    if (a == 255)
        return src;
    if (a == 0)
        return dst | 0xFF000000u;
    return BlendTranslucent(dst, src, a);
}

}  // namespace

// [SECTION] MemoryPicture

MemoryPicture::MemoryPicture(int w, int h, uint32_t fill)
    : w_(std::max(w, 0)), h_(std::max(h, 0)), pixels_(size_t(w_) * size_t(h_), fill) {}

uint32_t MemoryPicture::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= w_ || y >= h_)
        return 0;
    return pixels_[size_t(y) * w_ + x];
}

void MemoryPicture::SetPixel(int x, int y, uint32_t colour) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_)
        return;
    pixels_[size_t(y) * w_ + x] = colour;
}

// [SECTION] PixelCanvas

void PixelCanvas::Attach(uint32_t* pixels, int w, int h, ptrdiff_t pitch) {
    pixels_ = pixels;
    w_ = pixels ? std::max(w, 0) : 0;
    h_ = pixels ? std::max(h, 0) : 0;
    pitch_ = pitch;
}

uint32_t PixelCanvas::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= w_ || y >= h_)
        return 0;
    return Row(y)[x];
}

void PixelCanvas::Plot(int x, int y, uint32_t colour) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_)
        return;
    Row(y)[x] = colour | 0xFF000000u;
}

void PixelCanvas::FillRect(int x, int y, int w, int h, uint32_t colour) {
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = int(std::min<int64_t>(int64_t(x) + w, w_));
    const int y1 = int(std::min<int64_t>(int64_t(y) + h, h_));
    if (x0 >= x1 || y0 >= y1)
        return;
    const uint32_t alpha = colour >> 24;
    if (alpha == 0)
        return;
    const TranslucentColour fill(colour, alpha);
    for (int row = y0; row < y1; ++row) {
        uint32_t* p = Row(row);
        if (alpha == 255) {
            std::fill(p + x0, p + x1, colour);
        } else {
            for (int col = x0; col < x1; ++col) p[col] = fill.Over(p[col]);
        }
    }
}

void PixelCanvas::HLine(int x, int y, int length, uint32_t colour) {
    if (y < 0 || y >= h_ || length <= 0)
        return;
    const int x0 = std::max(x, 0);
    const int x1 = int(std::min<int64_t>(int64_t(x) + length, w_));
    if (x0 >= x1)
        return;
    uint32_t* p = Row(y);
    std::fill(p + x0, p + x1, colour | 0xFF000000u);
}

void PixelCanvas::VLine(int x, int y, int length, uint32_t colour) {
    if (x < 0 || x >= w_ || length <= 0)
        return;
    const int y0 = std::max(y, 0);
    const int y1 = int(std::min<int64_t>(int64_t(y) + length, h_));
    for (int row = y0; row < y1; ++row) Row(row)[x] = colour | 0xFF000000u;
}

void PixelCanvas::Line(int x0, int y0, int x1, int y1, uint32_t colour) {
    // Bresenham; the end point is included.
    int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        Plot(x0, y0, colour);
        if (x0 == x1 && y0 == y1)
            break;
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void PixelCanvas::DrawPicture(const GuiPicture& picture, int x, int y, int w, int h) {
    const int pw = picture.Width(), ph = picture.Height();
    const uint32_t* source = picture.Pixels();
    if (!source || pw <= 0 || ph <= 0 || w <= 0 || h <= 0)
        return;
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = int(std::min<int64_t>(int64_t(x) + w, w_));
    const int y1 = int(std::min<int64_t>(int64_t(y) + h, h_));
    for (int row = y0; row < y1; ++row) {
        const int sy = int(int64_t(row - y) * ph / h);
        const uint32_t* src = source + ptrdiff_t(sy) * picture.Pitch();
        uint32_t* dst = Row(row);
        if (w == pw) {
            for (int col = x0; col < x1; ++col) dst[col] = BlendPixel(dst[col], src[col - x]);
        } else {
            // Source column (col - x) * pw / w, stepped exactly without a
            // division per pixel: quotient and remainder advance by pw / w.
            const int64_t start = int64_t(x0 - x) * pw;
            int64_t column = start / w, remainder = start % w;
            const int64_t step = pw / w, step_remainder = pw % w;
            for (int col = x0; col < x1; ++col) {
                dst[col] = BlendPixel(dst[col], src[column]);
                column += step;
                remainder += step_remainder;
                if (remainder >= w) {
                    remainder -= w;
                    ++column;
                }
            }
        }
    }
}

void PixelCanvas::DrawTinted(const GuiPicture& picture, int x, int y, uint32_t colour) {
    const int pw = picture.Width(), ph = picture.Height();
    const uint32_t* source = picture.Pixels();
    if (!source || pw <= 0 || ph <= 0)
        return;
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + pw, w_), y1 = std::min(y + ph, h_);
    auto mul = [](uint32_t a, uint32_t b) { return (a * b + 127) / 255; };
    for (int row = y0; row < y1; ++row) {
        const uint32_t* src = source + ptrdiff_t(row - y) * picture.Pitch();
        uint32_t* dst = Row(row);
        for (int col = x0; col < x1; ++col) {
            const uint32_t p = src[col - x];
            const uint32_t tinted = mul(p >> 24, colour >> 24) << 24 |
                                    mul((p >> 16) & 0xFF, (colour >> 16) & 0xFF) << 16 |
                                    mul((p >> 8) & 0xFF, (colour >> 8) & 0xFF) << 8 |
                                    mul(p & 0xFF, colour & 0xFF);
            dst[col] = BlendOver(dst[col], tinted);
        }
    }
}

// [SECTION] MemoryCanvas

MemoryCanvas::MemoryCanvas(int w, int h, uint32_t fill)
    : storage_(size_t(std::max(w, 0)) * size_t(std::max(h, 0)), fill) {
    Attach(storage_.data(), w, h, std::max(w, 0));
}

MemoryCanvas::MemoryCanvas(const MemoryCanvas& other) : PixelCanvas(), storage_(other.storage_) {
    Attach(storage_.data(), other.Width(), other.Height(), other.Width());
}

MemoryCanvas& MemoryCanvas::operator=(const MemoryCanvas& other) {
    if (this != &other) {
        storage_ = other.storage_;
        Attach(storage_.data(), other.Width(), other.Height(), other.Width());
    }
    return *this;
}

void MemoryCanvas::Clear(uint32_t colour) {
    std::fill(storage_.begin(), storage_.end(), colour);
}

void MemoryCanvas::CopyFrom(const MemoryCanvas& other) {
    if (other.storage_.size() == storage_.size()) {
        std::copy(other.storage_.begin(), other.storage_.end(), storage_.begin());
    }
}

bool MemoryCanvas::SaveBmp(const char* path) const {
    FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    const int width = Width(), height = Height();
    const uint32_t row_bytes = (uint32_t(width) * 3 + 3) & ~3u;
    const uint32_t image_bytes = row_bytes * uint32_t(height);
    uint8_t header[54] = {'B', 'M'};
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) header[at + i] = uint8_t(v >> (8 * i));
    };
    put32(2, 54 + image_bytes);
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    header[26] = 1;
    header[28] = 24;
    put32(34, image_bytes);
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
    std::vector<uint8_t> row(row_bytes, 0);
    for (int r = height - 1; ok && r >= 0; --r) {
        for (int c = 0; c < width; ++c) {
            uint32_t p = storage_[size_t(r) * size_t(width) + size_t(c)];
            row[c * 3 + 0] = uint8_t(p);
            row[c * 3 + 1] = uint8_t(p >> 8);
            row[c * 3 + 2] = uint8_t(p >> 16);
        }
        ok = std::fwrite(row.data(), 1, row.size(), file) == row.size();
    }
    return std::fclose(file) == 0 && ok;
}

// [SECTION] BuiltinFont

namespace {

// 5 x 7 glyphs, one byte per row (bit 4 = leftmost column), for ' ' to 'Z';
// lower-case letters are drawn upper-case and other characters as a box.
constexpr uint8_t kGlyphs[][7] = {
    {0, 0, 0, 0, 0, 0, 0},         // space
    {4, 4, 4, 4, 4, 0, 4},         // !
    {10, 10, 0, 0, 0, 0, 0},       // "
    {10, 31, 10, 10, 10, 31, 10},  // #
    {4, 15, 20, 14, 5, 30, 4},     // $
    {24, 25, 2, 4, 8, 19, 3},      // %
    {12, 18, 20, 8, 21, 18, 13},   // &
    {4, 4, 0, 0, 0, 0, 0},         // '
    {2, 4, 8, 8, 8, 4, 2},         // (
    {8, 4, 2, 2, 2, 4, 8},         // )
    {0, 4, 21, 14, 21, 4, 0},      // *
    {0, 4, 4, 31, 4, 4, 0},        // +
    {0, 0, 0, 0, 12, 4, 8},        // ,
    {0, 0, 0, 31, 0, 0, 0},        // -
    {0, 0, 0, 0, 0, 12, 12},       // .
    {0, 1, 2, 4, 8, 16, 0},        // /
    {14, 17, 19, 21, 25, 17, 14},  // 0
    {4, 12, 4, 4, 4, 4, 14},       // 1
    {14, 17, 1, 2, 4, 8, 31},      // 2
    {31, 2, 4, 2, 1, 17, 14},      // 3
    {2, 6, 10, 18, 31, 2, 2},      // 4
    {31, 16, 30, 1, 1, 17, 14},    // 5
    {6, 8, 16, 30, 17, 17, 14},    // 6
    {31, 1, 2, 4, 8, 8, 8},        // 7
    {14, 17, 17, 14, 17, 17, 14},  // 8
    {14, 17, 17, 15, 1, 2, 12},    // 9
    {0, 12, 12, 0, 12, 12, 0},     // :
    {0, 12, 12, 0, 12, 4, 8},      // ;
    {2, 4, 8, 16, 8, 4, 2},        // <
    {0, 0, 31, 0, 31, 0, 0},       // =
    {8, 4, 2, 1, 2, 4, 8},         // >
    {14, 17, 1, 2, 4, 0, 4},       // ?
    {14, 17, 1, 13, 21, 21, 14},   // @
    {14, 17, 17, 31, 17, 17, 17},  // A
    {30, 17, 17, 30, 17, 17, 30},  // B
    {14, 17, 16, 16, 16, 17, 14},  // C
    {28, 18, 17, 17, 17, 18, 28},  // D
    {31, 16, 16, 30, 16, 16, 31},  // E
    {31, 16, 16, 30, 16, 16, 16},  // F
    {14, 17, 16, 23, 17, 17, 15},  // G
    {17, 17, 17, 31, 17, 17, 17},  // H
    {14, 4, 4, 4, 4, 4, 14},       // I
    {7, 2, 2, 2, 2, 18, 12},       // J
    {17, 18, 20, 24, 20, 18, 17},  // K
    {16, 16, 16, 16, 16, 16, 31},  // L
    {17, 27, 21, 21, 17, 17, 17},  // M
    {17, 17, 25, 21, 19, 17, 17},  // N
    {14, 17, 17, 17, 17, 17, 14},  // O
    {30, 17, 17, 30, 16, 16, 16},  // P
    {14, 17, 17, 17, 21, 18, 13},  // Q
    {30, 17, 17, 30, 20, 18, 17},  // R
    {15, 16, 16, 14, 1, 1, 30},    // S
    {31, 4, 4, 4, 4, 4, 4},        // T
    {17, 17, 17, 17, 17, 17, 14},  // U
    {17, 17, 17, 17, 17, 10, 4},   // V
    {17, 17, 17, 21, 21, 21, 10},  // W
    {17, 17, 10, 4, 10, 17, 17},   // X
    {17, 17, 17, 10, 4, 4, 4},     // Y
    {31, 1, 2, 4, 8, 16, 31},      // Z
    {14, 8, 8, 8, 8, 8, 14},       // [
    {0, 16, 8, 4, 2, 1, 0},        // backslash
    {14, 2, 2, 2, 2, 2, 14},       // ]
    {4, 10, 17, 0, 0, 0, 0},       // ^
    {0, 0, 0, 0, 0, 0, 31},        // _
};
constexpr uint8_t kBox[7] = {31, 17, 17, 17, 17, 17, 31};

const uint8_t* GlyphFor(uint8_t c) {
    if (c >= 'a' && c <= 'z')
        c = uint8_t(c - 'a' + 'A');
    if (c >= 32 && c < 32 + sizeof kGlyphs / sizeof kGlyphs[0])
        return kGlyphs[c - 32];
    return kBox;
}

}  // namespace

int BuiltinFont::CharWidth(uint8_t) const {
    return advance_;
}

int BuiltinFont::DrawText(GuiCanvas& target, int x, int y, std::string_view text,
                          uint32_t colour) const {
    const int top = y + (height_ - 7) / 2;
    int advance = 0;
    for (char ch : text) {
        const uint8_t* rows = GlyphFor(static_cast<uint8_t>(ch));
        for (int r = 0; r < 7; ++r) {
            // Runs of set bits become one line each.
            for (int c = 0; c < 5;) {
                if (!(rows[r] & (16 >> c))) {
                    ++c;
                    continue;
                }
                int run = 1;
                while (c + run < 5 && (rows[r] & (16 >> (c + run)))) ++run;
                target.HLine(x + advance + c, top + r, run, colour);
                c += run;
            }
        }
        advance += advance_;
    }
    return advance;
}

}  // namespace vorlane::gui
