// The ZIP methods of today's writers that the system's libraries decode:
// bzip2 (12), LZMA (14), Zstandard (93) and xz (95). Each member's packed
// bytes are handed to libarchive's stream filters (libbz2, liblzma, libzstd
// behind them) as one raw stream; the output is capped at the member's
// declared size and the input at its packed size, like every kit decoder.
#include "archive/UnZipMethods.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kChunk = 64 * 1024;

// The member's packed bytes as libarchive's client: never more than packedSize, with an
// optional prefix put in front (the header libarchive's LZMA reader expects).
struct PackedFeed {
    DecodeInput *in = nullptr;
    uint64_t left = 0;
    std::vector<uint8_t> prefix;
    std::vector<uint8_t> buffer;

    static la_ssize_t read(struct archive *, void *data, const void **out)
    {
        auto *f = static_cast<PackedFeed *>(data);
        if (!f->prefix.empty()) {
            f->buffer.swap(f->prefix);
            f->prefix.clear();
            *out = f->buffer.data();
            return la_ssize_t(f->buffer.size());
        }
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

// ZIP's LZMA member (APPNOTE 5.8.8): version (2 bytes), size of the properties (2 bytes,
// always 5), the properties (lc/lp/pb byte, dictionary size), then the raw LZMA data. The
// .lzma file header libarchive reads is the same 5 properties and the unpacked size (8 bytes).
constexpr int kLzmaZipHeader = 4;
constexpr int kLzmaProps = 5;

// Decodes one member through the libarchive filter of method; see Decoder.h for the outcomes.
DecodeStatus decodeThroughFilter(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    PackedFeed feed;
    feed.in = &in;
    feed.left = params.packedSize;
    if (params.method == 14) {
        uint8_t head[kLzmaZipHeader + kLzmaProps];
        if (feed.left < sizeof head)
            return DecodeStatus::Truncated;
        for (size_t got = 0; got < sizeof head;) {
            const int64_t n = in.Read(head + got, int64_t(sizeof head - got));
            if (n <= 0)
                return DecodeStatus::Truncated;
            got += size_t(n);
        }
        feed.left -= sizeof head;
        if (head[2] != kLzmaProps || head[3] != 0)
            return DecodeStatus::DataError;
        feed.prefix.assign(head + kLzmaZipHeader, head + sizeof head);
        for (int i = 0; i < 8; ++i)
            feed.prefix.push_back(uint8_t(params.unpackedSize >> (8 * i)));
    }

    struct archive *a = archive_read_new();
    if (!a)
        return DecodeStatus::OutputError;
    switch (params.method) {
    case 12:
        archive_read_support_filter_bzip2(a);
        break;
    case 14:
        archive_read_support_filter_lzma(a);
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
    case 14:
    case 93:
    case 95:
        return decodeThroughFilter(in, out, params);
    default:
        return DecodeStatus::Unsupported;
    }
}
