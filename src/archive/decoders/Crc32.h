// Checksums of the archive formats: CRC-32 (ZIP, ARJ, GZip; reflected
// polynomial EDB88320h) and CRC-16/ARC (LHA, ARC, ZOO; reflected A001h),
// both table-driven with tables built at compile time.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 of data continued from crc (0 to start); pre- and post-inverted.
uint32_t Crc32Update(uint32_t crc, const void *data, size_t n);

// One raw table step of CRC-32 without inversion (the key update of
// traditional PKWARE encryption).
uint32_t Crc32Step(uint32_t crc, uint8_t b);

// CRC-16/ARC of data continued from crc (0 to start); no inversion.
uint16_t Crc16ArcUpdate(uint16_t crc, const void *data, size_t n);
