// Checksums of the archive formats: CRC-32 (ZIP, ARJ, GZip; reflected
// polynomial EDB88320h) through zlib's crc32(), with only the single raw step
// zlib lacks kept here, and CRC-16/ARC (LHA, ARC, ZOO; reflected A001h), which
// zlib does not offer; the tables are built at compile time.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 of data continued from crc (0 to start); pre- and post-inverted.
uint32_t Crc32Update(uint32_t crc, const void *data, size_t n);

// One raw table step of CRC-32 without inversion (the key update of
// traditional PKWARE encryption). zlib has no such call: its crc32() inverts
// before and after, and going through it per byte would cost a call and two
// inversions on every step of a decryption, so this one step keeps a table.
uint32_t Crc32Step(uint32_t crc, uint8_t b);

// CRC-16/ARC of data continued from crc (0 to start); no inversion.
uint16_t Crc16ArcUpdate(uint16_t crc, const void *data, size_t n);
