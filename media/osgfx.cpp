#include "media/osgfx.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "baselib/log_channel.h"
#include "media/blit.h"
#include "media/bmp.h"
#include "media/image_data.h"

namespace vorlane::media {
namespace {

BlitOp OpForMode(uint32_t mode) {
    switch (mode) {
        case kPasteTransparent:
            return BlitOp::kKey;
        case kPasteAlpha:
            return BlitOp::kAlpha;
        case kPasteAlphaMask:
            return BlitOp::kModulate;
        default:
            return BlitOp::kCopy;
    }
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

int NotImplemented(const char* operation) {
    Log(kLogWarning, "OSGFX3D::%s: not implemented !", operation);
    return -1;
}

}  // namespace

ClipResult ClipBox(int x, int y, int w, int h, int width, int height) {
    // 64-bit edges: a box near INT_MAX must not wrap round into the surface.
    int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    int64_t x1 = std::min<int64_t>(int64_t(x) + w, width);
    int64_t y1 = std::min<int64_t>(int64_t(y) + h, height);
    ClipResult r{int(x0),
                 int(y0),
                 int(std::max<int64_t>(x1 - x0, 0)),
                 int(std::max<int64_t>(y1 - y0, 0)),
                 int(x0 - x),
                 int(y0 - y)};
    return r;
}

OSGFX::OSGFX(int flags) : flags_(flags) {}

int OSGFX::Create(int width, int height) {
    Release();
    if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide)
        return -1;
    try {
        pixels_.assign(size_t(width) * size_t(height), 0u);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    width_ = width;
    height_ = height;
    return 0;
}

int OSGFX::InitFromImage(std::span<const uint8_t> bytes, int load_option) {
    Release();
    ImageHeader header;
    ImageError error = ParseImageHeader(bytes, header);
    if (error == ImageError::kUnsupportedFormat) {
        Log(kLogError, "OSGFX3D::Paste, Unsupported mode %d", header.pixel_format);
        return -1;
    }
    if (error != ImageError::kNone) {
        Log(kLogError, "OSGFX3D::InitFromImage: bad image data (%d)", int(error));
        return -1;
    }
    if (Create(header.width, header.height) != 0)
        return -1;
    DecodeImagePixels(bytes, header, pixels_.data(), width_);
    x_ = header.x;
    y_ = header.y;
    ref_x_ = header.ref_x;
    ref_y_ = header.ref_y;
    load_option_ = load_option;
    return 0;
}

void OSGFX::Release() {
    std::vector<uint32_t>().swap(pixels_);
    width_ = height_ = 0;
}

int OSGFX::PasteAt(OSGFX* target, int x, int y, uint32_t mode, uint32_t colour) const {
    if (!target || empty() || target->empty())
        return -1;
    ClipResult c = ClipBox(x, y, width_, height_, target->width_, target->height_);
    if (c.empty())
        return 0;
    BlitOp op = OpForMode(mode);
    const uint32_t* src = pixels_.data() + ptrdiff_t(c.off_y) * width_ + c.off_x;
    std::vector<uint32_t> staged;
    if (target == this && op != BlitOp::kCopy) {
        // Blending a surface onto itself: read from a snapshot of the source.
        staged.assign(pixels_.begin(), pixels_.end());
        src = staged.data() + ptrdiff_t(c.off_y) * width_ + c.off_x;
    }
    BlitRect rect{target->pixels_.data() + ptrdiff_t(c.y) * target->width_ + c.x,
                  target->width_,
                  src,
                  width_,
                  c.w,
                  c.h};
    Blit(op, rect, colour);
    return 0;
}

int OSGFX::PasteScaled(OSGFX* target, int x, int y, int w, int h, uint32_t mode,
                       uint32_t colour) const {
    if (!target || empty() || target->empty() || w <= 0 || h <= 0)
        return -1;
    ClipResult c = ClipBox(x, y, w, h, target->width_, target->height_);
    if (c.empty())
        return 0;
    BlitOp op = OpForMode(mode);
    // Stretching a surface onto itself reads from a snapshot of it.
    std::vector<uint32_t> staged;
    const uint32_t* source = pixels_.data();
    if (target == this) {
        staged = pixels_;
        source = staged.data();
    }
    std::vector<uint32_t> row(size_t(c.w));
    std::vector<int> columns(size_t(c.w));
    for (int i = 0; i < c.w; ++i) columns[i] = int(int64_t(c.off_x + i) * width_ / w);
    for (int j = 0; j < c.h; ++j) {
        int sy = int(int64_t(c.off_y + j) * height_ / h);
        const uint32_t* src_row = source + ptrdiff_t(sy) * width_;
        for (int i = 0; i < c.w; ++i) row[i] = src_row[columns[i]];
        BlitRow(op, target->pixels_.data() + ptrdiff_t(c.y + j) * target->width_ + c.x, row.data(),
                c.w, colour);
    }
    return 0;
}

int OSGFX::Copy(const OSGFX& source) {
    if (&source == this)
        return 0;
    if (Create(source.width_, source.height_) != 0)
        return -1;
    pixels_ = source.pixels_;
    x_ = source.x_;
    y_ = source.y_;
    ref_x_ = source.ref_x_;
    ref_y_ = source.ref_y_;
    return 0;
}

int OSGFX::CopyPart(const OSGFX& source, int sx, int sy, int w, int h, int dx, int dy) {
    if (source.empty() || empty())
        return -1;
    // Clip the rectangle against the source, then the moved result against us.
    ClipResult s = ClipBox(sx, sy, w, h, source.width_, source.height_);
    if (s.empty())
        return 0;
    ClipResult d = ClipBox(dx + s.off_x, dy + s.off_y, s.w, s.h, width_, height_);
    if (d.empty())
        return 0;
    BlitRect rect{pixels_.data() + ptrdiff_t(d.y) * width_ + d.x,
                  width_,
                  source.pixels_.data() + ptrdiff_t(s.y + d.off_y) * source.width_ + s.x + d.off_x,
                  source.width_,
                  d.w,
                  d.h};
    Blit(BlitOp::kCopy, rect);
    return 0;
}

int OSGFX::DirectFill(int x, int y, int w, int h, uint32_t colour) {
    if (empty())
        return -1;
    ClipResult c = ClipBox(x, y, w, h, width_, height_);
    if (c.empty())
        return 0;
    Fill(pixels_.data() + ptrdiff_t(c.y) * width_ + c.x, width_, c.w, c.h, colour);
    return 0;
}

int OSGFX::DrawLine(int x0, int y0, int x1, int y1, uint32_t colour) {
    if (empty())
        return -1;
    // Bresenham; pixels outside the surface are skipped one by one, which is
    // cheap for the short bevel and cross lines the GUI draws. Ends far outside
    // are refused so a stray coordinate cannot make a walk of billions of steps.
    constexpr int kFar = 1 << 20;
    for (int v : {x0, y0, x1, y1})
        if (v < -kFar || v > kFar)
            return -1;
    int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    int x = x0, y = y0;
    for (;;) {
        if (x >= 0 && y >= 0 && x < width_ && y < height_)
            pixels_[size_t(y) * width_ + x] = colour;
        if (x == x1 && y == y1)
            break;
        int e2 = 2 * err;
        if (e2 >= dy)
            err += dy, x += sx;
        if (e2 <= dx)
            err += dx, y += sy;
    }
    return 0;
}

uint32_t OSGFX::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return 0;
    return pixels_[size_t(y) * width_ + x];
}

void OSGFX::PutPixel(int x, int y, uint32_t colour) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return;
    pixels_[size_t(y) * width_ + x] = colour;
}

uint32_t* OSGFX::BeginDraw(ptrdiff_t* pitch) {
    if (pitch)
        *pitch = width_;
    if (empty())
        return nullptr;
    ++lock_count_;
    return pixels_.data();
}

void OSGFX::EndDraw() {
    if (lock_count_ > 0)
        --lock_count_;
}

int OSGFX::SaveBMP(const std::string& name, bool numbered) const {
    std::string path = numbered ? NumberedBMPName(name, FileExists) : name;
    if (path.empty())
        return -1;
    std::vector<uint8_t> bytes = EncodeBMP24(pixels_.data(), width_, height_, width_);
    FILE* file = std::fopen(path.c_str(), "w+b");
    if (!file)
        return -1;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    return ok ? 0 : -1;
}

int OSGFX::SetTransCol(uint32_t) {
    return NotImplemented("SetTransCol");
}
int OSGFX::ReplaceColor(uint32_t, uint32_t) {
    return NotImplemented("ReplaceColor");
}
int OSGFX::ScaleSet(int, int) {
    return NotImplemented("ScaleSet");
}
int OSGFX::ScaleGet(int*, int*) const {
    return NotImplemented("ScaleGet");
}
int OSGFX::DrawPutLine(int, const uint32_t*) {
    return NotImplemented("DrawPutLine");
}
int OSGFX::DrawGetLine(int, uint32_t*) const {
    return NotImplemented("DrawGetLine");
}
int OSGFX::DirectSimpleText(int, int, const char*, uint32_t) {
    return NotImplemented("DirectSimpleText");
}
int OSGFX::RestoreLostDDSurface() {
    Log(kLogWarning, "OSGFX3D::RestoreLostDDSurface: DO NOT USE THIS FOR DIRECTX >= 8.0 !");
    return -1;
}

}  // namespace vorlane::media
