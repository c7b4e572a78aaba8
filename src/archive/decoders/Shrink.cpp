// Shrink (ZIP method 1): dynamic LZW with 9- to 13-bit codes read LSB first.
// Code 256 is an escape: followed by 1 the code size grows by one bit,
// followed by 2 every leaf of the dictionary (an entry that is no other
// entry's prefix) is freed; new entries go into the lowest free code.
#include "archive/decoders/BitReader.h"
#include "archive/decoders/Decoder.h"

#include <memory>

namespace {

constexpr int kMaxBits = 13;
constexpr int kCodes = 1 << kMaxBits;   // 8192
constexpr int kFirstFree = 257;

struct TShrinkState
{
    int16_t prefix[kCodes];
    uint8_t suffix[kCodes];
    bool used[kCodes];
    bool parent[kCodes];
    uint8_t stack[kCodes];
};

int nextFree(const TShrinkState &s, int from)
{
    while (from < kCodes && s.used[from])
        ++from;
    return from;
}

void partialClear(TShrinkState &s)
{
    std::fill(s.parent, s.parent + kCodes, false);
    for (int c = kFirstFree; c < kCodes; ++c)
        if (s.used[c])
            s.parent[s.prefix[c]] = true;
    for (int c = kFirstFree; c < kCodes; ++c)
        if (s.used[c] && !s.parent[c])
            s.used[c] = false;
}

// Spells code into the end of s.stack; the count of bytes, or -1 on a loop
// or a reference to a free entry.
int spell(TShrinkState &s, int code)
{
    int n = 0;
    while (code >= 256) {
        if (n >= kCodes - 1 || !s.used[code])
            return -1;
        s.stack[kCodes - 1 - n++] = s.suffix[code];
        code = s.prefix[code];
    }
    s.stack[kCodes - 1 - n++] = static_cast<uint8_t>(code);
    return n;
}

} // namespace

// Returns Ok; DataError (escape other than 1 or 2, code size past 13 bits,
// a first code that is not a byte, a code naming a free entry, a dictionary
// loop); Truncated (input ends early); OutputError.
DecodeStatus DecodeShrink(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    auto src = std::make_unique<TByteSource>(in, params.packedSize);
    auto sink = std::make_unique<TOutputBuffer>(out, params.unpackedSize);
    auto s = std::make_unique<TShrinkState>();
    TBitReaderLsb bits(*src);

    for (int c = 0; c < kCodes; ++c) {
        s->prefix[c] = 0;
        s->suffix[c] = static_cast<uint8_t>(c & 0xFF);
        s->used[c] = c < 256;
    }
    int codeSize = 9;
    int freeCode = kFirstFree;
    int prev = -1;

    while (!sink->Done()) {
        uint32_t code;
        if (!bits.Get(codeSize, code))
            return sink->Finish(DecodeStatus::Truncated);
        if (code == 256) {
            uint32_t sub;
            if (!bits.Get(codeSize, sub))
                return sink->Finish(DecodeStatus::Truncated);
            if (sub == 1) {
                if (codeSize == kMaxBits)
                    return sink->Finish(DecodeStatus::DataError);
                ++codeSize;
            } else if (sub == 2) {
                partialClear(*s);
                freeCode = nextFree(*s, kFirstFree);
            } else {
                return sink->Finish(DecodeStatus::DataError);
            }
            continue;
        }
        if (prev < 0) {
            if (code > 255)
                return sink->Finish(DecodeStatus::DataError);
            sink->Put(static_cast<uint8_t>(code));
            prev = static_cast<int>(code);
            continue;
        }
        // The new entry is prev + the first byte of this code's string; when
        // the code is the entry about to be made, that byte is prev's first.
        const bool known = s->used[code];
        if (!known && static_cast<int>(code) != freeCode)
            return sink->Finish(DecodeStatus::DataError);
        const int firstLen = spell(*s, known ? static_cast<int>(code) : prev);
        if (firstLen < 0)
            return sink->Finish(DecodeStatus::DataError);
        const uint8_t first = s->stack[kCodes - firstLen];
        if (freeCode < kCodes) {
            s->prefix[freeCode] = static_cast<int16_t>(prev);
            s->suffix[freeCode] = first;
            s->used[freeCode] = true;
            freeCode = nextFree(*s, freeCode + 1);
        }
        const int n = spell(*s, static_cast<int>(code));
        if (n < 0)
            return sink->Finish(DecodeStatus::DataError);
        sink->PutBlock(s->stack + kCodes - n, static_cast<uint64_t>(n));
        prev = static_cast<int>(code);
    }
    return sink->Finish(DecodeStatus::Ok);
}
