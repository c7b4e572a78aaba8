// The LArc methods: LZSS over a ring buffer whose matches name an absolute
// ring position (not a distance) and a length.
//   -lzs-  2 KB ring of spaces, writing from 2048 - 17. Per item one flag bit
//          (MSB first): 1 = a literal of 8 bits, 0 = an 11-bit position and
//          a 4-bit length (2 to 17 bytes).
//   -lz5-  4 KB ring prefilled with runs and ramps of every byte value (see
//          fillLz5Ring), writing from 4096 - 18. A flag byte covers the next
//          eight items, lowest bit first: 1 = a literal byte, 0 = two bytes
//          giving a 12-bit position (low byte, then the upper 4 bits in the
//          high half of the second byte) and a length of 3 to 18.
// Every position is valid, so only running out of input ends a decode early.
#include "archive/decoders/LhaDecoders.h"

#include "archive/decoders/BitReader.h"

#include <array>
#include <memory>

namespace {

// A ring of Size bytes whose bytes also go to the output.
template <uint32_t Size>
struct TRing
{
    TRing(DecodeInput &in, DecodeOutput &out, const DecodeParams &p, uint32_t start)
        : src(in, p.packedSize), output(out, p.unpackedSize), pos(start)
    {
    }
    void put(uint8_t b)
    {
        data[pos] = b;
        pos = (pos + 1) & (Size - 1);
        output.Put(b);
    }
    // Copies length bytes from ring position from (bytes written on the way may be read again).
    void copy(uint32_t from, uint32_t length)
    {
        while (length-- > 0 && !output.Done()) {
            put(data[from & (Size - 1)]);
            ++from;
        }
    }
    TByteSource src;
    TOutputBuffer output;
    std::array<uint8_t, Size> data;
    uint32_t pos;
};

constexpr uint32_t kLzsSize = 2048;
constexpr uint32_t kLz5Size = 4096;

// The -lz5- ring's first contents: 13 copies of each byte value, the values
// rising, then falling, 128 zeros, 110 spaces and 18 zeros.
void fillLz5Ring(std::array<uint8_t, kLz5Size> &ring)
{
    size_t p = 0;
    for (int v = 0; v < 256; ++v)
        for (int k = 0; k < 13; ++k)
            ring[p++] = uint8_t(v);
    for (int v = 0; v < 256; ++v)
        ring[p++] = uint8_t(v);
    for (int v = 255; v >= 0; --v)
        ring[p++] = uint8_t(v);
    for (int k = 0; k < 128; ++k)
        ring[p++] = 0;
    for (int k = 0; k < 128 - 18; ++k)
        ring[p++] = ' ';
    while (p < kLz5Size)
        ring[p++] = 0;
}

} // namespace

// Returns Ok, Truncated (input used up first), OutputError.
DecodeStatus DecodeLzs(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    auto ring = std::make_unique<TRing<kLzsSize>>(in, out, params, kLzsSize - 17);
    ring->data.fill(' ');
    TBitReaderMsb bits(ring->src);
    while (!ring->output.Done()) {
        if (bits.Get(1)) {
            const uint32_t b = bits.Get(8);
            if (bits.Overrun())
                return ring->output.Finish(DecodeStatus::Truncated);
            ring->put(uint8_t(b));
        } else {
            const uint32_t from = bits.Get(11);
            const uint32_t length = bits.Get(4) + 2;
            if (bits.Overrun())
                return ring->output.Finish(DecodeStatus::Truncated);
            ring->copy(from, length);
        }
    }
    return ring->output.Finish(DecodeStatus::Ok);
}

// Returns Ok, Truncated (input used up first), OutputError.
DecodeStatus DecodeLz5(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    auto ring = std::make_unique<TRing<kLz5Size>>(in, out, params, kLz5Size - 18);
    fillLz5Ring(ring->data);
    TByteSource &src = ring->src;
    while (!ring->output.Done()) {
        uint8_t flags;
        if (!src.Next(flags))
            return ring->output.Finish(DecodeStatus::Truncated);
        for (int bit = 0; bit < 8 && !ring->output.Done(); ++bit, flags >>= 1) {
            uint8_t b1, b2;
            if (!src.Next(b1))
                return ring->output.Finish(DecodeStatus::Truncated);
            if (flags & 1) {
                ring->put(b1);
                continue;
            }
            if (!src.Next(b2))
                return ring->output.Finish(DecodeStatus::Truncated);
            ring->copy(b1 | (uint32_t(b2 & 0xF0) << 4), (b2 & 0x0F) + 3u);
        }
    }
    return ring->output.Finish(DecodeStatus::Ok);
}
