// Reduce (ZIP methods 2 to 5, compression factors 1 to 4). Two stages: the
// bytes are first coded through per-byte follower sets (up to 32 likely
// successors of the previous byte, indexed with few bits), then the byte
// stream is a run/copy language with escape byte 90h: 90h 00h is a literal
// 90h, 90h V [extra] D copies (length part of V) + 3 bytes from a distance
// built from the high bits of V and D.
#include "archive/decoders/BitReader.h"
#include "archive/decoders/Decoder.h"

#include <memory>

namespace {

constexpr uint8_t kDle = 0x90;

struct TFollowers
{
    uint8_t count[256];
    uint8_t byte[256][64];
};

// Bits needed for an index into a follower set of n entries.
int indexBits(int n)
{
    int bits = 1;
    while ((1 << bits) < n)
        ++bits;
    return bits;
}

} // namespace

// Returns Ok; DataError (a follower set longer than 32, a follower index
// past its set, a method outside 2..5); Truncated (input ends early);
// OutputError.
DecodeStatus DecodeReduce(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    if (params.method < 2 || params.method > 5)
        return DecodeStatus::Unsupported;
    const int factor = params.method - 1;
    const uint32_t lengthMask = 0xFFu >> factor;

    auto src = std::make_unique<TByteSource>(in, params.packedSize);
    auto sink = std::make_unique<TOutputBuffer>(out, params.unpackedSize);
    auto sets = std::make_unique<TFollowers>();
    auto window = std::make_unique<TSlidingWindow<8192>>();
    TBitReaderLsb bits(*src);

    if (params.unpackedSize == 0)
        return sink->Finish(DecodeStatus::Ok);

    for (int j = 255; j >= 0; --j) {
        uint32_t n;
        if (!bits.Get(6, n))
            return sink->Finish(DecodeStatus::Truncated);
        if (n > 32)
            return sink->Finish(DecodeStatus::DataError);
        sets->count[j] = static_cast<uint8_t>(n);
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t b;
            if (!bits.Get(8, b))
                return sink->Finish(DecodeStatus::Truncated);
            sets->byte[j][i] = static_cast<uint8_t>(b);
        }
    }

    uint8_t last = 0;
    int state = 0;
    uint32_t v = 0;
    uint32_t length = 0;
    while (!sink->Done()) {
        // Stage 1: the next byte through the follower set of the last one.
        uint32_t c;
        const int n = sets->count[last];
        if (n == 0) {
            if (!bits.Get(8, c))
                return sink->Finish(DecodeStatus::Truncated);
        } else {
            uint32_t flag;
            if (!bits.Get(1, flag))
                return sink->Finish(DecodeStatus::Truncated);
            if (flag) {
                if (!bits.Get(8, c))
                    return sink->Finish(DecodeStatus::Truncated);
            } else {
                uint32_t index;
                if (!bits.Get(indexBits(n), index))
                    return sink->Finish(DecodeStatus::Truncated);
                if (index >= static_cast<uint32_t>(n))
                    return sink->Finish(DecodeStatus::DataError);
                c = sets->byte[last][index];
            }
        }
        last = static_cast<uint8_t>(c);

        // Stage 2: escapes, lengths and distances.
        switch (state) {
        case 0:
            if (c == kDle)
                state = 1;
            else
                window->Put(*sink, static_cast<uint8_t>(c));
            break;
        case 1:
            if (c == 0) {
                window->Put(*sink, kDle);
                state = 0;
            } else {
                v = c;
                length = v & lengthMask;
                state = length == lengthMask ? 2 : 3;
            }
            break;
        case 2:
            length += c;
            state = 3;
            break;
        default: {
            const uint32_t distance = ((v >> (8 - factor)) << 8) + c + 1;
            window->Copy(*sink, distance, length + 3);
            state = 0;
            break;
        }
        }
    }
    return sink->Finish(DecodeStatus::Ok);
}
