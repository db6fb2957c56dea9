// BMP screenshots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vorlane::media {

// A bottom-up 24-bit BMP of A8R8G8B8 rows (alpha dropped).
std::vector<uint8_t> EncodeBMP24(const uint32_t* pixels, int width, int height, ptrdiff_t pitch);

// The first of "<stem>0000.bmp" .. "<stem>0999.bmp" for which `exists` is false,
// where stem is `name` cut at its last "." (a "." inside a directory part is
// not cut). Empty when all 1000 exist.
std::string NumberedBMPName(const std::string& name,
                            const std::function<bool(const std::string&)>& exists);

}  // namespace vorlane::media
