// The LHA method table: the methods the LHA extractor unpacks, by id. The
// static-Huffman methods share one decoder and differ in dictionary bits;
// stored data is ZIP's stored decoder, for LHA's -lh0- as for LArc's -lz4-
// (LArc's name for members it kept as they were). Folder entries (-lhd-)
// have no data. Methods not listed (-lh2-, -lh3-, -lzx-, -pm0-, ...) are
// refused.
#include "archive/decoders/LhaDecoders.h"

#include <cstring>

namespace {

constexpr TLhaMethod kLhaMethods[] = {
    {"-lh0-", DecodeStored, 0},
    {"-lh1-", DecodeLh1, 0},
    {"-lh4-", DecodeLzhStatic, 12},
    {"-lh5-", DecodeLzhStatic, 13},
    {"-lh6-", DecodeLzhStatic, 15},
    {"-lh7-", DecodeLzhStatic, 16},
    {"-lzs-", DecodeLzs, 0},
    {"-lz5-", DecodeLz5, 0},
    {"-lz4-", DecodeStored, 0},
    {"-lhd-", nullptr, 0},
};

} // namespace

const TLhaMethod *FindLhaMethod(const char *id)
{
    for (const TLhaMethod &m : kLhaMethods)
        if (std::memcmp(m.id, id, 5) == 0)
            return &m;
    return nullptr;
}
