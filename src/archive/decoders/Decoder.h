// The decoder interface of the archive kit: a member's packed bytes come in
// through a DecodeInput, the unpacked bytes go out through a DecodeOutput, and
// a decoder is one function picked from a const table by its method number.
// Every decoder writes at most DecodeParams::unpackedSize bytes and reads at
// most DecodeParams::packedSize bytes; none keeps state between calls.
#pragma once

#include <cstddef>
#include <cstdint>

// Outcome of one decode call.
//   Ok          all unpackedSize bytes were written
//   DataError   the packed data is inconsistent (bad code, bad tree, wrong length)
//   Truncated   the input ended before unpackedSize bytes were produced
//   OutputError DecodeOutput::Write returned false (a write failure or a cancel;
//               the output's owner knows which)
//   Cancelled   reserved for callers that stop a decode on their own
//   Unsupported the method or one of its options is not handled
enum class DecodeStatus { Ok, DataError, Truncated, OutputError, Cancelled, Unsupported };

// The block in which the kit reads packed bytes and hands unpacked bytes on:
// 32 KiB, the largest window of the ZIP methods (deflate's), plus 2 bytes, the
// size the kit's input and output buffers have always had. Progress events
// fall on its boundaries, so a different size would move them.
inline constexpr int64_t kArcBufferSize = 32770;

// Source of packed bytes. Read returns the number of bytes put into buf
// (at most max); 0 (or a negative value) means no more input.
class DecodeInput
{
public:
    virtual ~DecodeInput() = default;
    virtual int64_t Read(uint8_t *buf, int64_t max) = 0;
};

// Sink of unpacked bytes. Write returns false to stop the decode.
class DecodeOutput
{
public:
    virtual ~DecodeOutput() = default;
    virtual bool Write(const uint8_t *data, size_t n) = 0;
};

// What a decoder needs to know about a member. flags are the ZIP
// general-purpose flags (implode: bit 1 = 8 KB dictionary, bit 2 = 3 trees).
// For an encrypted member packedSize excludes the 12-byte encryption header.
struct DecodeParams
{
    int method = 0;
    uint16_t flags = 0;
    uint64_t packedSize = 0;
    uint64_t unpackedSize = 0;
    // Dictionary bits of the LZ77 + static Huffman family (LHA -lh4- 12, -lh5- and ZOO LZH 13,
    // -lh6- 15, -lh7- 16, ARJ methods 1 to 3 16); they also fix the position-code table's size.
    int dictBits = 0;
};

using DecodeFn = DecodeStatus (*)(DecodeInput &, DecodeOutput &, const DecodeParams &);

// One row of a format's decoder table.
struct TDecoderEntry
{
    int method;
    const char *name;
    DecodeFn decode;
};

// The ZIP decoder for a method number, or null when the method is not supported.
const TDecoderEntry *FindZipDecoder(int method);
// The ARJ decoder for a method number (0 to 4), or null (decoders/ArjFastest.cpp).
const TDecoderEntry *FindArjDecoder(int method);

// The decoders themselves (ZipDecoders.cpp lists them by method).
DecodeStatus DecodeStored(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
DecodeStatus DecodeShrink(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
DecodeStatus DecodeReduce(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
DecodeStatus DecodeImplode(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
DecodeStatus DecodeInflate(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
// Deflate64 (ZIP method 9): deflate with a 64 KiB window (decoders/Inflate64.cpp).
DecodeStatus DecodeInflate64(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
// LZ77 with static Huffman coding in blocks (LHA -lh4- to -lh7-, ARJ methods 1 to 3, ZOO LZH),
// with params.dictBits; shared by the three formats' tables (decoders/LzhStatic.cpp).
DecodeStatus DecodeLzhStatic(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
// ARJ method 4, LZ77 with prefix-coded lengths and distances (decoders/ArjFastest.cpp).
DecodeStatus DecodeArjFastest(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
