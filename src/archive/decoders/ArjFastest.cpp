// ARJ method 4, the fastest method: LZ77 without Huffman tables. Every item
// starts with a match-length prefix code (bits MSB first):
//   a run of up to 7 one-bits ended by a zero bit (no zero after 7 ones);
//   n ones give a base of 2^n - 1 and n more bits are added to it;
//   0 is a literal (8 bits follow), any other value v is a match of
//   v + 2 bytes whose distance - 1 follows coded the same way with runs of
//   up to 4 ones starting at 9 bits (base 2^9 x (2^n - 1), 9 + n more bits).
// So a match is 3 to 256 bytes long and reaches at most 15872 bytes back,
// within the 26624-byte window the format was made for. Also the ARJ method
// table.
#include "archive/decoders/Decoder.h"

#include "archive/decoders/BitReader.h"

#include <bit>
#include <memory>

namespace {

constexpr int kLenStartBits = 0;    // the length prefix starts at 0 extra bits
constexpr int kLenStopBits = 7;     // and stops growing at 7
constexpr int kPosStartBits = 9;    // the distance prefix starts at 9 extra bits
constexpr int kPosStopBits = 13;    // and stops growing at 13
constexpr int kThreshold = 3;       // shortest match
constexpr uint32_t kWindow = 1u << 15;   // a power of two above the largest distance (15872)
constexpr uint32_t kWindowMask = kWindow - 1;

// The prefix code of both fields: a unary run of at most stop - start one-bits, then
// (start + run) bits added to the run's base, (2^run - 1) << start. The run is
// counted from one peek at the longest it can be.
uint32_t readPrefixed(TBitReaderMsb &bits, int start, int stop)
{
    const int most = stop - start;
    const uint32_t peek = bits.Peek(most) << (32 - most);
    const int run = std::countl_one(peek);
    bits.Consume(run < most ? run + 1 : most);
    return (((1u << run) - 1) << start) + bits.Get(start + run);
}

struct FastestState {
    TByteSource src;
    TBitReaderMsb bits{src};
    TOutputBuffer out;
    uint8_t window[kWindow];
    FastestState(DecodeInput &in, DecodeOutput &sink, const DecodeParams &p)
        : src(in, p.packedSize), out(sink, p.unpackedSize)
    {
    }
};

constexpr TDecoderEntry kArjDecoders[] = {
    {0, "Stored", DecodeStored},
    {1, "Most", DecodeLzhStatic},
    {2, "Medium", DecodeLzhStatic},
    {3, "Fast", DecodeLzhStatic},
    {4, "Fastest", DecodeArjFastest},
};

} // namespace

const TDecoderEntry *FindArjDecoder(int method)
{
    for (const TDecoderEntry &entry : kArjDecoders)
        if (entry.method == method)
            return &entry;
    return nullptr;
}

// Returns Ok, Truncated (the input ends first), DataError (a distance before
// the first byte), OutputError.
DecodeStatus DecodeArjFastest(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    auto state = std::make_unique<FastestState>(in, out, params);
    TBitReaderMsb &bits = state->bits;
    TOutputBuffer &sink = state->out;
    uint8_t *window = state->window;
    uint64_t produced = 0;
    uint32_t pos = 0;
    // Every item consumes at least one bit and makes at least one byte, so the loop ends.
    while (!sink.Done()) {
        const uint32_t code = readPrefixed(bits, kLenStartBits, kLenStopBits);
        if (code == 0) {
            const uint8_t b = uint8_t(bits.Get(8));
            if (bits.Overrun())
                return sink.Finish(DecodeStatus::Truncated);
            window[pos] = b;
            pos = (pos + 1) & kWindowMask;
            sink.Put(b);
            ++produced;
            continue;
        }
        uint32_t length = code - 1 + kThreshold;
        const uint32_t distance = readPrefixed(bits, kPosStartBits, kPosStopBits) + 1;
        if (bits.Overrun())
            return sink.Finish(DecodeStatus::Truncated);
        if (distance > produced)
            return sink.Finish(DecodeStatus::DataError);
        uint32_t from = (pos - distance) & kWindowMask;
        const uint64_t left = sink.Left();
        if (length > left)
            length = uint32_t(left);
        produced += length;
        while (length-- > 0) {
            const uint8_t b = window[from];
            from = (from + 1) & kWindowMask;
            window[pos] = b;
            pos = (pos + 1) & kWindowMask;
            sink.Put(b);
        }
    }
    return sink.Finish(DecodeStatus::Ok);
}
