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

// CRC-16 eight bytes at a time: table k gives a byte's contribution when k
// more bytes follow it, so the eight lookups of a block are independent (the
// byte-at-a-time loop, one dependent lookup per byte, was slower than the
// LHA decoders whose output it checks).
constexpr std::array<std::array<uint16_t, 256>, 8> makeCrc16Slices()
{
    std::array<std::array<uint16_t, 256>, 8> t{};
    t[0] = makeTable<uint16_t, 0xA001u>();
    for (size_t k = 1; k < 8; ++k)
        for (size_t i = 0; i < 256; ++i)
            t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
}

constexpr auto kCrc16 = makeCrc16Slices();

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
    for (; n >= 8; n -= 8, p += 8)
        c = static_cast<uint16_t>(kCrc16[7][(c ^ p[0]) & 0xFF] ^ kCrc16[6][((c >> 8) ^ p[1]) & 0xFF] ^
                                  kCrc16[5][p[2]] ^ kCrc16[4][p[3]] ^ kCrc16[3][p[4]] ^ kCrc16[2][p[5]] ^
                                  kCrc16[1][p[6]] ^ kCrc16[0][p[7]]);
    for (; n > 0; --n, ++p)
        c = static_cast<uint16_t>(kCrc16[0][(c ^ *p) & 0xFF] ^ (c >> 8));
    return c;
}
