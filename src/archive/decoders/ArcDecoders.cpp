// The ARC and ZOO method tables, and the two ARC decoders that are not LZW:
// packed (run-length alone) and squeezed (Huffman codes over a node table
// stored in front of the data, then run-length).
#include "archive/decoders/ArcDecoders.h"

#include "archive/decoders/ArcRunLength.h"
#include "archive/decoders/BitReader.h"

#include <memory>

namespace {

// Methods 1 and 2 differ only in their header (method 1's lacks the unpacked size).
constexpr TDecoderEntry kArcDecoders[] = {
    {1, "Stored", DecodeStored},
    {2, "Stored", DecodeStored},
    {3, "Packed", DecodeArcPacked},
    {4, "Squeezed", DecodeArcSqueezed},
    {5, "Crunched", DecodeArcCrunchedOld},
    {6, "Crunched", DecodeArcCrunchedOld},
    {7, "Crunched", DecodeArcCrunchedOld},
    {8, "Crunched", DecodeArcCrunched},
    {9, "Squashed", DecodeArcCrunched},
};

constexpr TDecoderEntry kZooDecoders[] = {
    {0, "Stored", DecodeStored},
    {1, "LZW", DecodeZooLzw},
    {2, "LZH", DecodeLzhStatic},
};

template <size_t N>
const TDecoderEntry *find(const TDecoderEntry (&table)[N], int method)
{
    for (const TDecoderEntry &entry : table)
        if (entry.method == method)
            return &entry;
    return nullptr;
}

// The squeeze tree: at most 256 inner nodes (one fewer than the 257 leaves:
// the bytes and the end mark); a child is an inner node (>= 0) or a leaf
// -(value + 1).
constexpr int kMaxNodes = 256;
constexpr int kEndLeaf = 256;

} // namespace

const TDecoderEntry *FindArcDecoder(int method)
{
    return find(kArcDecoders, method);
}

const TDecoderEntry *FindZooDecoder(int method)
{
    return find(kZooDecoders, method);
}

// Returns Ok, Truncated (input ends first), OutputError.
DecodeStatus DecodeArcPacked(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    auto src = std::make_unique<TByteSource>(in, params.packedSize);
    auto sink = std::make_unique<TOutputBuffer>(out, params.unpackedSize);
    TArcRunLength rle(*sink);
    while (!rle.Done()) {
        const uint8_t *data = nullptr;
        const int64_t n = src->Take(data, kArcBufferSize);
        if (n == 0)
            return sink->Finish(DecodeStatus::Truncated);
        for (int64_t i = 0; i < n && !rle.Done(); ++i)
            rle.Put(data[i]);
    }
    return sink->Finish(DecodeStatus::Ok);
}

// Layout: node count (16-bit), then per node its two children (16-bit
// signed each, bit 0 first), then the codes, each bit taken from the low end
// of its byte first. The end leaf stops the data.
// Returns Ok; DataError (more than 256 nodes, a child out of range, the end
// leaf before unpackedSize bytes); Truncated; OutputError.
DecodeStatus DecodeArcSqueezed(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    auto src = std::make_unique<TByteSource>(in, params.packedSize);
    auto sink = std::make_unique<TOutputBuffer>(out, params.unpackedSize);
    if (sink->Done())
        return sink->Finish(DecodeStatus::Ok);
    TArcRunLength rle(*sink);
    auto next16 = [&](int &value) {
        uint8_t lo, hi;
        if (!src->Next(lo) || !src->Next(hi))
            return false;
        value = int(int16_t(uint16_t(lo | (hi << 8))));
        return true;
    };
    int count = 0;
    if (!next16(count))
        return sink->Finish(DecodeStatus::Truncated);
    if (count < 0 || count > kMaxNodes)
        return sink->Finish(DecodeStatus::DataError);
    int16_t child[kMaxNodes][2];
    for (int node = 0; node < count; ++node) {
        for (int side = 0; side < 2; ++side) {
            int v = 0;
            if (!next16(v))
                return sink->Finish(DecodeStatus::Truncated);
            if (v >= count || v < -(kEndLeaf + 1))
                return sink->Finish(DecodeStatus::DataError);
            child[node][side] = int16_t(v);
        }
    }
    if (count == 0)
        return sink->Finish(DecodeStatus::DataError); // an empty tree codes nothing, yet bytes are due

    // Every step of the walk takes one bit, so a tree with a cycle only runs out of input.
    uint32_t bits = 0;
    int left = 0;
    while (!rle.Done()) {
        int node = 0;
        do {
            if (left == 0) {
                uint8_t b;
                if (!src->Next(b))
                    return sink->Finish(DecodeStatus::Truncated);
                bits = b;
                left = 8;
            }
            node = child[node][bits & 1];
            bits >>= 1;
            --left;
        } while (node >= 0);
        const int leaf = -(node + 1);
        if (leaf == kEndLeaf)
            return sink->Finish(DecodeStatus::DataError);
        rle.Put(uint8_t(leaf));
    }
    return sink->Finish(DecodeStatus::Ok);
}
