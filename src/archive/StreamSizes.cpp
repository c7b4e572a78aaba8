// Sizes of plain compressed streams from their own records. xz: liblzma's
// file-info decoder reads the stream footers and indexes from the end of the
// file (concatenated streams and stream padding included) and seeks where it
// needs to. zstd: libzstd reads each frame's header; the frame's length is
// found by stepping over its block headers, so that concatenated frames are
// all counted and a frame without a recorded size falls back to decoding.
#include "archive/StreamSizes.h"

#include <lzma.h>
// ZSTD_getFrameHeader (header size, checksum flag, frame type) is in the
// library's advanced part; libzstd exports it and it has not changed since 1.3.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <algorithm>

namespace {

// An xz file's indexes hold a few bytes per block: 64 MiB is far beyond any real one and
// keeps a hostile file from making liblzma allocate without bound.
constexpr uint64_t kXzIndexMemLimit = 64u << 20;
constexpr int64_t kXzChunk = 8192;

std::optional<uint64_t> xzSize(TArcSource &src, int64_t base)
{
    const int64_t fileSize = src.size() - base;
    if (fileSize <= 0)
        return std::nullopt;
    lzma_stream strm = LZMA_STREAM_INIT;
    lzma_index *index = nullptr;
    if (lzma_file_info_decoder(&strm, &index, kXzIndexMemLimit, uint64_t(fileSize)) != LZMA_OK)
        return std::nullopt;
    uint8_t buf[kXzChunk];
    int64_t pos = 0;
    std::optional<uint64_t> size;
    for (;;) {
        if (strm.avail_in == 0 && pos < fileSize) {
            const int64_t n = std::min(kXzChunk, fileSize - pos);
            if (!src.readAt(base + pos, buf, n))
                break;
            strm.next_in = buf;
            strm.avail_in = size_t(n);
            pos += n;
        }
        const lzma_ret ret = lzma_code(&strm, strm.avail_in == 0 ? LZMA_FINISH : LZMA_RUN);
        if (ret == LZMA_SEEK_NEEDED) {
            // The decoder asks for the bytes from seek_pos on; what it was given is dropped.
            if (strm.seek_pos > uint64_t(fileSize))
                break;
            pos = int64_t(strm.seek_pos);
            strm.avail_in = 0;
            continue;
        }
        if (ret == LZMA_STREAM_END) {
            size = lzma_index_uncompressed_size(index);
            lzma_index_end(index, nullptr);
            break;
        }
        if (ret != LZMA_OK)
            break;
    }
    lzma_end(&strm);
    return size;
}

// A zstd block header: 3 bytes, little-endian; bit 0 last block, bits 1-2 the type, the rest the size.
constexpr int kZstdBlockHeader = 3;
constexpr int kZstdChecksum = 4;
constexpr uint32_t kZstdRleBlock = 1;
constexpr uint32_t kZstdReservedBlock = 3;

std::optional<uint64_t> zstdSize(TArcSource &src, int64_t base)
{
    const int64_t end = src.size();
    int64_t pos = base;
    uint64_t total = 0;
    if (pos >= end)
        return std::nullopt;
    while (pos < end) {
        uint8_t head[ZSTD_FRAMEHEADERSIZE_MAX];
        const int64_t n = std::min<int64_t>(sizeof head, end - pos);
        if (!src.readAt(pos, head, n))
            return std::nullopt;
        ZSTD_frameHeader frame;
        if (ZSTD_getFrameHeader(&frame, head, size_t(n)) != 0)
            return std::nullopt;   // not a frame, or its header is cut
        if (frame.frameType == ZSTD_skippableFrame) {
            // A skippable frame holds frameContentSize bytes of its own after its 8-byte
            // header (whose size the library leaves 0 for this kind of frame).
            pos += ZSTD_SKIPPABLEHEADERSIZE + int64_t(frame.frameContentSize);
            continue;
        }
        if (frame.frameContentSize == ZSTD_CONTENTSIZE_UNKNOWN || total + frame.frameContentSize < total)
            return std::nullopt;
        total += frame.frameContentSize;
        pos += frame.headerSize;
        for (bool last = false; !last;) {
            uint8_t b[kZstdBlockHeader];
            if (pos > end - kZstdBlockHeader || !src.readAt(pos, b, kZstdBlockHeader))
                return std::nullopt;
            const uint32_t header = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16;
            last = header & 1;
            const uint32_t type = (header >> 1) & 3;
            if (type == kZstdReservedBlock)
                return std::nullopt;
            // An RLE block stores its one byte, the others their size in bytes.
            pos += kZstdBlockHeader + (type == kZstdRleBlock ? 1 : int64_t(header >> 3));
        }
        if (frame.checksumFlag)
            pos += kZstdChecksum;
    }
    // Frames that run past the end of the file are damage.
    return pos == end ? std::optional<uint64_t>(total) : std::nullopt;
}

} // namespace

std::optional<uint64_t> RecordedStreamSize(TArcType type, TArcSource &src, int64_t base)
{
    switch (type) {
    case TArcType::XZ:
        return xzSize(src, base);
    case TArcType::Zstd:
        return zstdSize(src, base);
    default:
        return std::nullopt;
    }
}
