// Colour words of the graphics system: 32-bit A8R8G8B8.
#pragma once

#include <cstdint>

namespace vorlane::media {

// Opaque colour from red, green and blue.
constexpr uint32_t ColourFromRGB(uint8_t r, uint8_t g, uint8_t b) {
    return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}
// Colour from alpha, red, green and blue.
constexpr uint32_t ColourFromARGB(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}
// The colour with its alpha forced to 255.
constexpr uint32_t ColourForceOpaque(uint32_t colour) {
    return colour | 0xFF000000u;
}
// A mask for alpha-mask pastes: the alpha (1 when 0) over white.
constexpr uint32_t ColourAlphaMask(uint8_t alpha) {
    return uint32_t(alpha == 0 ? 1 : alpha) << 24 | 0x00FFFFFFu;
}

constexpr uint8_t AlphaOf(uint32_t c) {
    return uint8_t(c >> 24);
}
constexpr uint8_t RedOf(uint32_t c) {
    return uint8_t(c >> 16);
}
constexpr uint8_t GreenOf(uint32_t c) {
    return uint8_t(c >> 8);
}
constexpr uint8_t BlueOf(uint32_t c) {
    return uint8_t(c);
}

// A 5-bit channel value widened to 8 bits: round(v * 255 / 31).
constexpr uint8_t Expand5(uint32_t v) {
    return uint8_t((v * 255 + 15) / 31);
}

}  // namespace vorlane::media
