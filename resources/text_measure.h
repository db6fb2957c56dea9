// TEXT_MEASURE: what a text layout needs of a font, the width of a text.
#pragma once

#include <cstdint>

class TEXT_MEASURE {
  public:
    virtual ~TEXT_MEASURE() = default;
    // The width of `text` in pixels, as a signed 16-bit value.
    virtual int16_t TextWidth(const char* text) const = 0;
};
