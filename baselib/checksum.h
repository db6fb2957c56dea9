// Checksums of byte runs: a one-byte XOR and the CRC-32 used by files and the
// network envelopes (reflected polynomial 0xEDB88320, initial value 0, no final
// inversion).
#pragma once

#include <cstdint>

// XOR of all bytes; 0 for a count below 1 or no data.
uint8_t BL_XorChecksum(const void* data, int32_t count);
// CRC of `count` bytes; 0 for no bytes.
uint32_t BL_Crc32(const void* data, uint32_t count);
// 1 when the CRC of the bytes equals `expected`, else 0.
int BL_CheckCrc32(const void* data, uint32_t count, uint32_t expected);
