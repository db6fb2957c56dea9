#include "media/bmp.h"

#include <cstdio>

#include "baselib/byte_reader.h"

namespace vorlane::media {

std::vector<uint8_t> EncodeBMP24(const uint32_t* pixels, int width, int height, ptrdiff_t pitch) {
    std::vector<uint8_t> out;
    if (width < 0 || height < 0)
        return out;
    uint32_t row_size = (uint32_t(width) * 3 + 3) & ~3u;
    uint32_t image_size = row_size * uint32_t(height);
    out.reserve(54 + image_size);
    ByteWriter w(out);
    w.U8('B');
    w.U8('M');
    w.U32(54 + image_size);
    w.U32(0);
    w.U32(54);
    w.U32(40);
    w.I32(width);
    w.I32(height);
    w.U16(1);
    w.U16(24);
    w.U32(0);  // no compression
    w.U32(image_size);
    w.I32(2835);  // 72 dpi
    w.I32(2835);
    w.U32(0);
    w.U32(0);
    for (int y = height - 1; y >= 0; --y) {
        const uint32_t* row = pixels + y * pitch;
        for (int x = 0; x < width; ++x) {
            w.U8(uint8_t(row[x]));
            w.U8(uint8_t(row[x] >> 8));
            w.U8(uint8_t(row[x] >> 16));
        }
        w.Zeros(row_size - uint32_t(width) * 3);
    }
    return out;
}

std::string NumberedBMPName(const std::string& name,
                            const std::function<bool(const std::string&)>& exists) {
    std::string stem = name;
    size_t dot = stem.rfind('.');
    size_t slash = stem.find_last_of("/\\");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        stem.resize(dot);
    for (int n = 0; n < 1000; ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%04d.bmp", n);
        std::string candidate = stem + suffix;
        if (!exists(candidate))
            return candidate;
    }
    return {};
}

}  // namespace vorlane::media
