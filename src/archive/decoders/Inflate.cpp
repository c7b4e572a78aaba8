// Deflate (ZIP method 8, RFC 1951) through zlib's raw inflate, streamed in
// blocks of kArcBufferSize; the output is capped at the declared size.
#include "archive/decoders/BitReader.h"
#include "archive/decoders/Decoder.h"
#include "archive/decoders/RawInflater.h"

#include <memory>

// Returns Ok; DataError (zlib reports bad data, the stream ends before the
// declared size or would go on past it, or zlib cannot start); Truncated (the
// input ends before the declared size); OutputError.
DecodeStatus DecodeInflate(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    auto src = std::make_unique<TByteSource>(in, params.packedSize);
    auto buf = std::make_unique<uint8_t[]>(kArcBufferSize);
    TRawInflater inflater;
    if (!inflater.ok())
        return DecodeStatus::DataError;
    z_stream &zs = inflater.stream();
    uint64_t left = params.unpackedSize;
    bool inputEnded = false;

    for (;;) {
        if (zs.avail_in == 0 && !inputEnded) {
            const uint8_t *data = nullptr;
            const int64_t n = src->Take(data, kArcBufferSize);
            if (n == 0) {
                inputEnded = true;
            } else {
                zs.next_in = const_cast<Bytef *>(data);
                zs.avail_in = static_cast<uInt>(n);
            }
        }
        zs.next_out = buf.get();
        zs.avail_out = static_cast<uInt>(kArcBufferSize);
        const int ret = inflate(&zs, Z_NO_FLUSH);
        const uint64_t produced = static_cast<uint64_t>(kArcBufferSize) - zs.avail_out;
        if (produced > 0) {
            const uint64_t keep = std::min(produced, left);
            if (keep > 0 && !out.Write(buf.get(), static_cast<size_t>(keep)))
                return DecodeStatus::OutputError;
            left -= keep;
            if (keep < produced)
                return DecodeStatus::DataError;   // more data than the header declares
        }
        if (ret == Z_STREAM_END)
            return left == 0 ? DecodeStatus::Ok : DecodeStatus::DataError;
        if (ret != Z_OK && ret != Z_BUF_ERROR)
            return DecodeStatus::DataError;
        if (inputEnded && zs.avail_in == 0 && produced == 0)
            return left == 0 ? DecodeStatus::Ok : DecodeStatus::Truncated;
    }
}
