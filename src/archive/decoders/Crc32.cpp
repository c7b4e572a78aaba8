// CRC-32 (zlib's for runs of bytes, a table for single steps) and CRC-16/ARC;
// the tables are constexpr, built from the reflected polynomials at compile time.
#include "archive/decoders/Crc32.h"

#include <zlib.h>

#include <algorithm>
#include <array>

namespace {

template <typename T, T Poly>
constexpr std::array<T, 256> makeTable()
{
    std::array<T, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        T c = static_cast<T>(i);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? static_cast<T>((c >> 1) ^ Poly) : static_cast<T>(c >> 1);
        table[i] = c;
    }
    return table;
}

constexpr auto kCrc32Table = makeTable<uint32_t, 0xEDB88320u>();
constexpr auto kCrc16Table = makeTable<uint16_t, 0xA001u>();

} // namespace

uint32_t Crc32Step(uint32_t crc, uint8_t b)
{
    return kCrc32Table[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

uint32_t Crc32Update(uint32_t crc, const void *data, size_t n)
{
    // zlib's CRC-32 is the same function, computed several bytes at a time.
    const auto *p = static_cast<const Bytef *>(data);
    uLong c = crc;
    while (n > 0) {
        const uInt chunk = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
        c = crc32(c, p, chunk);
        p += chunk;
        n -= chunk;
    }
    return static_cast<uint32_t>(c);
}

uint16_t Crc16ArcUpdate(uint16_t crc, const void *data, size_t n)
{
    const auto *p = static_cast<const uint8_t *>(data);
    uint16_t c = crc;
    for (size_t i = 0; i < n; ++i)
        c = static_cast<uint16_t>(kCrc16Table[(c ^ p[i]) & 0xFF] ^ (c >> 8));
    return c;
}
