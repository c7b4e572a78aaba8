// The LHA method table: the five-character method id of every method the
// LHA extractor unpacks, with its decoder and dictionary bits, and the LHA
// decoders that are not shared with other formats.
#pragma once

#include "archive/decoders/Decoder.h"

// One row: id ("-lh5-"), decoder (null for a folder entry, which has no
// data), dictionary bits for the static-Huffman decoder (0 for the others).
struct TLhaMethod
{
    char id[6];
    DecodeFn decode;
    int dictBits;
};

// The row of a method id (5 bytes, not terminated), or null when the method
// is not unpacked.
const TLhaMethod *FindLhaMethod(const char *id);

// LZ77 with adaptive Huffman coding of literals and lengths and a fixed code
// for the upper 6 bits of positions, 4 KB window (-lh1-).
DecodeStatus DecodeLh1(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
// LArc's LZSS with bit flags, 2 KB window (-lzs-).
DecodeStatus DecodeLzs(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
// LArc's LZSS with byte flags and a prefilled 4 KB window (-lz5-).
DecodeStatus DecodeLz5(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
