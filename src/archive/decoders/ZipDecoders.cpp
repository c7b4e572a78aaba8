// The ZIP method table: method number, name and decoder of every method the
// kit unpacks. Methods not listed (PPMd 98, AES 99, ...) are refused.
// Also the stored decoder, which needs no file of its own.
#include "archive/decoders/Decoder.h"

#include "archive/decoders/BitReader.h"
#include "archive/UnZipMethods.h"

#include <memory>

namespace {

constexpr TDecoderEntry kZipDecoders[] = {
    {0, "Stored", DecodeStored},
    {1, "Shrunk", DecodeShrink},
    {2, "Reduced1", DecodeReduce},
    {3, "Reduced2", DecodeReduce},
    {4, "Reduced3", DecodeReduce},
    {5, "Reduced4", DecodeReduce},
    {6, "Imploded", DecodeImplode},
    {8, "Deflated", DecodeInflate},
    {9, "Deflate64", DecodeInflate64},
    {12, "BZip2", DecodeZipLibraryMethod},
    {14, "LZMA", DecodeZipLibraryMethod},
    {93, "Zstandard", DecodeZipLibraryMethod},
    {95, "XZ", DecodeZipLibraryMethod},
};

} // namespace

const TDecoderEntry *FindZipDecoder(int method)
{
    for (const TDecoderEntry &entry : kZipDecoders)
        if (entry.method == method)
            return &entry;
    return nullptr;
}

// Stored (method 0): the packed bytes are the data.
// Returns Ok, Truncated (fewer than unpackedSize bytes of input), OutputError.
DecodeStatus DecodeStored(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    auto src = std::make_unique<TByteSource>(in, params.packedSize);
    uint64_t left = params.unpackedSize;
    while (left > 0) {
        const uint8_t *data = nullptr;
        const int64_t n = src->Take(data, static_cast<int64_t>(std::min<uint64_t>(left, kArcBufferSize)));
        if (n == 0)
            return DecodeStatus::Truncated;
        if (!out.Write(data, static_cast<size_t>(n)))
            return DecodeStatus::OutputError;
        left -= static_cast<uint64_t>(n);
    }
    return DecodeStatus::Ok;
}
