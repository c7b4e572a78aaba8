// Implode (ZIP method 6): LZ77 over a 4 KB or 8 KB window (flag bit 1) with
// Shannon-Fano coded lengths and distance high bits, and with 3 trees (flag
// bit 2) Shannon-Fano coded literals too; all fields are read LSB first.
// Each tree is stored as a count byte and run-length pairs of bit lengths;
// codes are assigned from the longest lengths up, and because the stream is
// LSB first the first bit read is the code's most significant bit.
#include "archive/decoders/BitReader.h"
#include "archive/decoders/Decoder.h"

#include <algorithm>
#include <memory>

namespace {

constexpr int kMaxCodeBits = 16;

// A decoding table: for each code length, the first code value (its top
// bits) and the symbols of that length in code order.
struct TSFTree
{
    int firstCode[kMaxCodeBits + 1];
    int count[kMaxCodeBits + 1];
    int offset[kMaxCodeBits + 1];
    uint16_t symbols[256];
};

enum class TreeResult { Ok, Truncated, Bad };

// Reads one stored tree of n symbols (256 or 64) and builds its decoding table.
TreeResult readTree(TBitReaderLsb &bits, int n, TSFTree &tree)
{
    uint8_t lengths[256];
    uint32_t pairs;
    if (!bits.Get(8, pairs))
        return TreeResult::Truncated;
    int filled = 0;
    for (uint32_t i = 0; i <= pairs; ++i) {
        uint32_t b;
        if (!bits.Get(8, b))
            return TreeResult::Truncated;
        const int len = static_cast<int>(b & 0x0F) + 1;
        const int run = static_cast<int>(b >> 4) + 1;
        if (filled + run > n)
            return TreeResult::Bad;
        std::fill(lengths + filled, lengths + filled + run, static_cast<uint8_t>(len));
        filled += run;
    }
    if (filled != n)
        return TreeResult::Bad;

    // Symbols sorted by length, ties in symbol order; codes are handed out
    // from the end of that order, each one a step of 2^(16-len) above the last.
    uint16_t order[256];
    for (int i = 0; i < n; ++i)
        order[i] = static_cast<uint16_t>(i);
    std::stable_sort(order, order + n, [&](uint16_t a, uint16_t b) { return lengths[a] < lengths[b]; });
    uint32_t codes[256];
    uint32_t code = 0;
    uint32_t step = 0;
    int lastLen = 0;
    for (int i = n - 1; i >= 0; --i) {
        code += step;
        const int len = lengths[order[i]];
        if (len != lastLen) {
            lastLen = len;
            step = 1u << (kMaxCodeBits - len);
        }
        if (code + step > (1u << kMaxCodeBits) || (code & (step - 1)) != 0)
            return TreeResult::Bad;   // overfull or misaligned: the code is ambiguous
        codes[i] = code >> (kMaxCodeBits - len);
    }

    // Within one length the codes descend with the sorted index, so walking
    // the sorted order backwards lists each length's symbols in code order.
    std::fill(tree.count, tree.count + kMaxCodeBits + 1, 0);
    std::fill(tree.firstCode, tree.firstCode + kMaxCodeBits + 1, 0);
    for (int i = 0; i < n; ++i)
        ++tree.count[lengths[i]];
    int fill[kMaxCodeBits + 1];
    int pos = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        tree.offset[len] = fill[len] = pos;
        pos += tree.count[len];
    }
    for (int i = n - 1; i >= 0; --i) {
        const int len = lengths[order[i]];
        if (fill[len] == tree.offset[len])
            tree.firstCode[len] = static_cast<int>(codes[i]);
        tree.symbols[fill[len]++] = order[i];
    }
    return TreeResult::Ok;
}

// Decodes one symbol; -1 when the input ran out, -2 for a code not in the tree.
int decodeSymbol(TBitReaderLsb &bits, const TSFTree &tree)
{
    int code = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        uint32_t bit;
        if (!bits.Get(1, bit))
            return -1;
        code = (code << 1) | static_cast<int>(bit);
        const int k = code - tree.firstCode[len];
        if (tree.count[len] > 0 && k >= 0 && k < tree.count[len])
            return tree.symbols[tree.offset[len] + k];
    }
    return -2;
}

struct TImplodeState
{
    TSFTree literals;
    TSFTree lengths;
    TSFTree distances;
    TSlidingWindow<8192> window;
};

DecodeStatus TreeStatus(TreeResult r)
{
    return r == TreeResult::Truncated ? DecodeStatus::Truncated : DecodeStatus::DataError;
}

} // namespace

// Returns Ok; DataError (a tree whose run lengths do not cover its symbols
// or whose codes are ambiguous, a bit sequence that is no code); Truncated
// (input ends early); OutputError.
DecodeStatus DecodeImplode(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    const bool bigWindow = (params.flags & 0x0002) != 0;
    const bool literalTree = (params.flags & 0x0004) != 0;
    const int lowBits = bigWindow ? 7 : 6;
    const uint32_t minMatch = literalTree ? 3 : 2;

    auto src = std::make_unique<TByteSource>(in, params.packedSize);
    auto sink = std::make_unique<TOutputBuffer>(out, params.unpackedSize);
    auto s = std::make_unique<TImplodeState>();
    TBitReaderLsb bits(*src);

    if (params.unpackedSize == 0)
        return sink->Finish(DecodeStatus::Ok);
    TreeResult r;
    if (literalTree && (r = readTree(bits, 256, s->literals)) != TreeResult::Ok)
        return sink->Finish(TreeStatus(r));
    if ((r = readTree(bits, 64, s->lengths)) != TreeResult::Ok)
        return sink->Finish(TreeStatus(r));
    if ((r = readTree(bits, 64, s->distances)) != TreeResult::Ok)
        return sink->Finish(TreeStatus(r));

    while (!sink->Done()) {
        uint32_t flag;
        if (!bits.Get(1, flag))
            return sink->Finish(DecodeStatus::Truncated);
        if (flag) {
            uint32_t c;
            if (literalTree) {
                const int sym = decodeSymbol(bits, s->literals);
                if (sym < 0)
                    return sink->Finish(sym == -1 ? DecodeStatus::Truncated : DecodeStatus::DataError);
                c = static_cast<uint32_t>(sym);
            } else if (!bits.Get(8, c)) {
                return sink->Finish(DecodeStatus::Truncated);
            }
            s->window.Put(*sink, static_cast<uint8_t>(c));
            continue;
        }
        uint32_t low;
        if (!bits.Get(lowBits, low))
            return sink->Finish(DecodeStatus::Truncated);
        const int high = decodeSymbol(bits, s->distances);
        if (high < 0)
            return sink->Finish(high == -1 ? DecodeStatus::Truncated : DecodeStatus::DataError);
        const int lenSym = decodeSymbol(bits, s->lengths);
        if (lenSym < 0)
            return sink->Finish(lenSym == -1 ? DecodeStatus::Truncated : DecodeStatus::DataError);
        uint32_t length = static_cast<uint32_t>(lenSym);
        if (length == 63) {
            uint32_t extra;
            if (!bits.Get(8, extra))
                return sink->Finish(DecodeStatus::Truncated);
            length += extra;
        }
        length += minMatch;
        const uint32_t distance = ((static_cast<uint32_t>(high) << lowBits) | low) + 1;
        s->window.Copy(*sink, distance, length);
    }
    return sink->Finish(DecodeStatus::Ok);
}
