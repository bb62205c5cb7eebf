// CRC-32 (IEEE 802.3, as in zlib and PNG): the program's one check value.
#pragma once

#include <cstddef>
#include <cstdint>

// The CRC-32 of `size` bytes, continuing `crc` (0 to start).
uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
