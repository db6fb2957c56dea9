#include "baselib/checksum.h"

#include <zlib.h>

#include <cstddef>

uint8_t BL_XorChecksum(const void* data, int32_t count) {
    if (!data || count < 1)
        return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint8_t sum = 0;
    for (int32_t i = 0; i < count; ++i) sum ^= bytes[i];
    return sum;
}

uint32_t BL_Crc32(const void* data, uint32_t count) {
    if (!data || count == 0)
        return 0;
    // zlib inverts the register before and after; starting from all ones and
    // inverting the result gives the plain table CRC with initial value 0.
    const uLong crc = crc32_z(0xFFFFFFFFUL, static_cast<const Bytef*>(data), size_t(count));
    return uint32_t(crc ^ 0xFFFFFFFFUL);
}

int BL_CheckCrc32(const void* data, uint32_t count, uint32_t expected) {
    return BL_Crc32(data, count) == expected ? 1 : 0;
}
