// The ZIP methods of today's writers that the system's libraries decode:
// bzip2 (12), LZMA (14), Zstandard (93) and xz (95). The bzip2, zstd and xz
// members are whole streams, handed to libarchive's stream filters (libbz2,
// libzstd, liblzma behind them); an LZMA member is a raw LZMA stream behind a
// small header of ZIP's own, decoded by liblzma's raw decoder. The output is
// capped at the member's declared size and the input at its packed size, like
// every kit decoder.
#include "archive/UnZipMethods.h"

#include <archive.h>
#include <archive_entry.h>
#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr size_t kChunk = 64 * 1024;

// The member's packed bytes as libarchive's client: never more than packedSize.
struct PackedFeed {
    DecodeInput *in = nullptr;
    uint64_t left = 0;
    std::vector<uint8_t> buffer;

    static la_ssize_t read(struct archive *, void *data, const void **out)
    {
        auto *f = static_cast<PackedFeed *>(data);
        f->buffer.resize(kChunk);
        const int64_t want = int64_t(std::min<uint64_t>(f->left, kChunk));
        const int64_t n = want > 0 ? f->in->Read(f->buffer.data(), want) : 0;
        if (n <= 0)
            return 0;
        f->left -= uint64_t(n);
        *out = f->buffer.data();
        return la_ssize_t(n);
    }
};

// ZIP's LZMA member: version (2 bytes), size of the properties (2 bytes, always 5), the
// properties (lc/lp/pb byte, dictionary size), then the raw LZMA data, ended by its end
// marker or by the declared size.
constexpr int kLzmaZipHeader = 4;
constexpr int kLzmaProps = 5;

// Reads exactly n bytes; false when the input ends first.
bool readExactly(DecodeInput &in, uint8_t *buf, size_t n)
{
    for (size_t got = 0; got < n;) {
        const int64_t r = in.Read(buf + got, int64_t(n - got));
        if (r <= 0)
            return false;
        got += size_t(r);
    }
    return true;
}

// Decodes an LZMA member; see Decoder.h for the outcomes.
DecodeStatus decodeLzma(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    uint8_t head[kLzmaZipHeader + kLzmaProps];
    if (params.packedSize < sizeof head || !readExactly(in, head, sizeof head))
        return DecodeStatus::Truncated;
    if (head[2] != kLzmaProps || head[3] != 0)
        return DecodeStatus::DataError;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, head + kLzmaZipHeader, kLzmaProps) != LZMA_OK)
        return DecodeStatus::DataError;
    lzma_stream strm = LZMA_STREAM_INIT;
    const lzma_ret init = lzma_raw_decoder(&strm, filters);
    free(filters[0].options);
    if (init != LZMA_OK)
        return DecodeStatus::DataError;
    std::vector<uint8_t> inBuf(kChunk), outBuf(kChunk);
    uint64_t left = params.packedSize - sizeof head;
    uint64_t done = 0;
    DecodeStatus status = DecodeStatus::Ok;
    while (done < params.unpackedSize) {
        if (strm.avail_in == 0 && left > 0) {
            const int64_t n = in.Read(inBuf.data(), int64_t(std::min<uint64_t>(left, kChunk)));
            if (n > 0) {
                left -= uint64_t(n);
                strm.next_in = inBuf.data();
                strm.avail_in = size_t(n);
            } else {
                left = 0;
            }
        }
        // Never more than the declared size: the stream may have no end marker.
        strm.next_out = outBuf.data();
        strm.avail_out = size_t(std::min<uint64_t>(kChunk, params.unpackedSize - done));
        const lzma_ret ret = lzma_code(&strm, strm.avail_in == 0 && left == 0 ? LZMA_FINISH : LZMA_RUN);
        const size_t produced = size_t(strm.next_out - outBuf.data());
        if (produced > 0 && !out.Write(outBuf.data(), produced)) {
            status = DecodeStatus::OutputError;
            break;
        }
        done += produced;
        if (ret == LZMA_STREAM_END)
            break;
        if (ret == LZMA_BUF_ERROR) {
            status = DecodeStatus::Truncated;
            break;
        }
        if (ret != LZMA_OK) {
            status = DecodeStatus::DataError;
            break;
        }
    }
    lzma_end(&strm);
    if (status == DecodeStatus::Ok && done < params.unpackedSize)
        status = DecodeStatus::Truncated;
    return status;
}

// Decodes one member through the libarchive filter of method; see Decoder.h for the outcomes.
DecodeStatus decodeThroughFilter(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    PackedFeed feed;
    feed.in = &in;
    feed.left = params.packedSize;
    struct archive *a = archive_read_new();
    if (!a)
        return DecodeStatus::OutputError;
    switch (params.method) {
    case 12:
        archive_read_support_filter_bzip2(a);
        break;
    case 93:
        archive_read_support_filter_zstd(a);
        break;
    default:
        archive_read_support_filter_xz(a);
        break;
    }
    archive_read_support_format_raw(a);
    DecodeStatus status = DecodeStatus::DataError;
    archive_entry *entry = nullptr;
    if (archive_read_open(a, &feed, nullptr, PackedFeed::read, nullptr) == ARCHIVE_OK &&
        archive_read_next_header(a, &entry) == ARCHIVE_OK) {
        // Only the filter of the member's own method may have taken the stream.
        const bool filtered = archive_filter_count(a) > 1;
        std::vector<uint8_t> buf(kChunk);
        uint64_t done = 0;
        status = filtered ? DecodeStatus::Ok : DecodeStatus::DataError;
        while (status == DecodeStatus::Ok) {
            const la_ssize_t n = archive_read_data(a, buf.data(), buf.size());
            if (n == 0)
                break;
            if (n < 0 || uint64_t(n) > params.unpackedSize - done)
                status = DecodeStatus::DataError;
            else if (!out.Write(buf.data(), size_t(n)))
                status = DecodeStatus::OutputError;
            else
                done += uint64_t(n);
        }
        if (status == DecodeStatus::Ok && done < params.unpackedSize)
            status = DecodeStatus::Truncated;
    }
    archive_read_free(a);
    return status;
}

} // namespace

DecodeStatus DecodeZipLibraryMethod(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    switch (params.method) {
    case 12:
    case 93:
    case 95:
        return decodeThroughFilter(in, out, params);
    case 14:
        return decodeLzma(in, out, params);
    default:
        return DecodeStatus::Unsupported;
    }
}
