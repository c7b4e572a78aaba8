// The GZip family's directory reader. One member per file: the 10-byte header
// gives method, flags and the Unix time; the optional fields follow in the
// order extra, name, comment, header CRC, each checked against the file's end;
// the trailer (CRC-32, then the size modulo 2^32) is the file's last 8 bytes.
// Extraction inflates the member in a stream and checks the trailer that
// follows the deflate data.
#include "archive/UnGZIP.h"

#include "archive/decoders/Decoder.h"
#include "archive/decoders/RawInflater.h"
#include "platform/ByteReader.h"
#include "platform/Texts.h"

#include <QFileInfo>

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

// Header (10 bytes):
// +----+----+--------+-------+-------+-----+----+
// | 0  | 1  | 2      | 3     | 4     | 8   | 9  |
// | 1F | id | method | flags | mtime | xfl | os |
// +----+----+--------+-------+-------+-----+----+
// then, by flag: extra (16-bit length + data), name (zero-terminated),
// comment (zero-terminated), header CRC-16; trailer: CRC-32, size.
constexpr int kHeaderSize = 10;
constexpr int kTrailerSize = 8;
constexpr int kMethodAt = 2;
constexpr int kFlagsAt = 3;
constexpr int kMtimeAt = 4;
constexpr int kNameLimit = 255;

constexpr uint8_t kMagic = 0x1F;
constexpr uint8_t kIdGzip = 0x8B;
constexpr uint8_t kIdGzipOld = 0x9E;
constexpr uint8_t kIdPack = 0x1E;
constexpr uint8_t kIdCompress = 0x9D;
constexpr uint8_t kIdA0 = 0xA0;

bool isGzipProper(QByteArrayView header)
{
    return header.size() >= 2 && uint8_t(header[0]) == kMagic &&
           (uint8_t(header[1]) == kIdGzip || uint8_t(header[1]) == kIdGzipOld);
}

// The archive file's name without its last extension (the member name of a file that stores none).
QByteArray nameFromFile(const QString &archiveFile)
{
    const QString base = QFileInfo(archiveFile).fileName();
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    return (dot > 0 ? base.left(dot) : base).toUtf8();
}

// Reads the zero-terminated text at pos (a name or comment of the header), keeping at most
// limit of its bytes in text (when given); moves pos past its terminator. False when the
// file ends first. The text is looked for in pieces, as a comment may be of any length.
bool readZeroTerminated(TArcSource &src, int64_t &pos, QByteArray *text, int limit)
{
    char chunk[256];
    for (;;) {
        const int64_t n = std::min<int64_t>(src.size() - pos, sizeof chunk);
        if (n <= 0 || !src.readAt(pos, chunk, n))
            return false;
        const char *nul = static_cast<const char *>(std::memchr(chunk, 0, size_t(n)));
        const int64_t take = nul ? nul - chunk : n;
        if (text && text->size() < limit)
            text->append(chunk, std::min<int64_t>(take, limit - text->size()));
        pos += take;
        if (nul) {
            ++pos;
            return true;
        }
    }
}

class GzipListReader : public TArcListReader
{
public:
    int headerSize() const override { return m_headerSize; }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        lister.position = lister.startOffset() - 1;
        lister.endOfMembers = src.size();
        // A compress or pack file can be shorter than a gzip header; the listing loop needs
        // a byte beyond the fixed part, so such a file is read through a shorter one.
        const int64_t avail = src.size() - lister.position;
        m_headerSize = avail > kHeaderSize ? kHeaderSize : int(std::max<int64_t>(2, avail - 1));
    }

    Step step(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t headerOffset) override
    {
        if (m_done || uint8_t(fixed[0]) != kMagic)
            return Step::End;
        m_done = true;
        const int64_t size = src.size();
        lister.position = lister.endOfMembers; // one member per file
        lister.MethodCode = GzipMethodCode(fixed);
        lister.MemberAttr = 32;
        if (!isGzipProper(fixed)) {
            lister.PackedSize = lister.UnpackedSize = uint64_t(size);
            lister.MemberCRC = 0;
            lister.MemberDosDate = NormalizedDosDateTime(lister.archiveFileDate());
            lister.MemberDate = DosDateTimeToDateTime(lister.MemberDosDate);
            lister.MemberName = nameFromFile(lister.archiveFile());
            return Step::Report;
        }

        if (fixed.size() < kHeaderSize)
            lister.raiseError(ArcErrReadFile);
        const uint8_t flags = uint8_t(fixed[kFlagsAt]);
        int64_t pos = headerOffset + kHeaderSize;
        int64_t extraLen = 0;
        if (flags & kGzFlagExtra) {
            char len[2];
            if (!src.readAt(pos, len, 2))
                lister.raiseError(ArcErrReadFile);
            extraLen = TByteReader::u16At(QByteArrayView(len, 2), 0);
            pos += 2;
            if (extraLen > size - pos)
                lister.raiseError(ArcErrReadFile);
            pos += extraLen;
        }
        QByteArray name;
        if ((flags & kGzFlagName) && !readZeroTerminated(src, pos, &name, kNameLimit))
            lister.raiseError(ArcErrReadFile);
        if (flags & kGzFlagName)
            lister.MemberName = DosBytesToUtf8(name);
        if ((flags & kGzFlagComment) && !readZeroTerminated(src, pos, nullptr, 0))
            lister.raiseError(ArcErrReadFile);
        if (flags & kGzFlagHeaderCrc)
            pos += 2;
        // The header and the trailer must both fit: a file cut inside them is not a gzip file.
        if (pos > size - kTrailerSize)
            lister.raiseError(ArcErrReadFile);
        char trailer[kTrailerSize];
        if (!src.readAt(size - kTrailerSize, trailer, kTrailerSize))
            lister.raiseError(ArcErrReadFile);
        const QByteArrayView tv(trailer, kTrailerSize);
        lister.MemberCRC = TByteReader::u32At(tv, 0);
        lister.UnpackedSize = TByteReader::u32At(tv, 4);
        lister.PackedSize = uint64_t(size - extraLen - kTrailerSize);
        // A time of 0 means none was stored (RFC 1952): the member has the file's own date.
        const int64_t mtime = TByteReader::u32At(fixed, kMtimeAt);
        lister.MemberDosDate =
            NormalizedDosDateTime(mtime == 0 ? lister.archiveFileDate() : UnixToDosDateTime(mtime));
        lister.MemberDate = mtime == 0 ? DosDateTimeToDateTime(lister.MemberDosDate) : UnixToDateTime(mtime);
        if (lister.MemberName.isEmpty())
            lister.MemberName = nameFromFile(lister.archiveFile());
        lister.MemberName.replace('/', '\\');
        lister.Ratio = TArcLister::ratioOf(lister.PackedSize, lister.UnpackedSize);
        return Step::Report;
    }

private:
    bool m_done = false;
    int m_headerSize = kHeaderSize;
};

} // namespace

int GzipMethodCode(QByteArrayView header)
{
    if (header.size() < 3 || uint8_t(header[0]) != kMagic)
        return 10;
    switch (uint8_t(header[1])) {
    case kIdGzip:
    case kIdGzipOld: {
        const int method = uint8_t(header[kMethodAt]);
        return method == 0 || method == 8 ? method : 10;
    }
    case kIdPack:
        return 2;
    case kIdCompress:
        return 1;
    case kIdA0:
        return 3;
    default:
        return 10;
    }
}

int GzipRefusalCode(QByteArrayView header)
{
    if (header.size() < 2)
        return ArcErrReadFile;
    if (!isGzipProper(header))
        return ArcErrUnsupportedMethod;
    if (header.size() < kHeaderSize)
        return ArcErrReadFile;
    const int method = GzipMethodCode(header);
    if (method != 0 && method != 8)
        return ArcErrUnsupportedMethod;
    if (uint8_t(header[kFlagsAt]) & kGzFlagEncrypted)
        return 25190; // Password protected
    return 0;
}

std::unique_ptr<TArcListReader> MakeGzipListReader()
{
    return std::make_unique<GzipListReader>();
}

// GZip extraction

namespace {

// Deflate's greatest expansion: a 258-byte match costs at least 2 bits.
constexpr uint64_t kDeflateMaxRatio = 1032;

} // namespace

int TUnGZIP::extractMembers(TArcSource &src, const QString &root)
{
    const int64_t start = std::max<int64_t>(0, startOffset() - 1);
    const int64_t size = src.size();
    char head[kHeaderSize] = {};
    const int64_t headLen = std::min<int64_t>(kHeaderSize, size - start);
    if (headLen <= 0 || !src.readAt(start, head, headLen))
        raiseError(ArcErrReadFile);
    const QByteArrayView header(head, headLen);
    if (const int refusal = GzipRefusalCode(header))
        raiseError(refusal);

    // The optional fields, in their order.
    const uint8_t flags = uint8_t(head[kFlagsAt]);
    int64_t pos = start + kHeaderSize;
    QByteArray storedName;
    if (flags & kGzFlagExtra) {
        char len[2];
        if (size - pos < 2 || !src.readAt(pos, len, 2))
            raiseError(ArcErrReadFile);
        pos += 2 + TByteReader::u16At(QByteArrayView(len, 2), 0);
    }
    if ((flags & kGzFlagName) && !readZeroTerminated(src, pos, &storedName, kNameLimit))
        raiseError(ArcErrReadFile);
    if ((flags & kGzFlagComment) && !readZeroTerminated(src, pos, nullptr, 0))
        raiseError(ArcErrReadFile);
    if (flags & kGzFlagHeaderCrc)
        pos += 2;
    if (pos > size - kTrailerSize)
        raiseError(ArcErrReadFile);

    QByteArray name = storedName.isEmpty() ? nameFromFile(m_archiveFile) : DosBytesToUtf8(storedName);
    bool altered = false;
    const QString rel = SafeOutputPath(QString::fromUtf8(name), ExtractDir, UseStoredDirs, &altered);
    if (rel.isEmpty())
        raiseError(ArcErrInvalidFileName);
    if (!MatchesFileSpec(m_fileSpec, rel))
        raiseError(ArcErrNothingToDo);

    char tail[kTrailerSize];
    if (!src.readAt(size - kTrailerSize, tail, kTrailerSize))
        raiseError(ArcErrReadFile);
    const uint64_t claimed = TByteReader::u32At(QByteArrayView(tail, kTrailerSize), 4);
    const int64_t stamp = TByteReader::u32At(header, kMtimeAt);
    const int64_t mtime = stamp != 0 ? stamp : archiveFileTime(); // the file's own time when none is stored

    // The trailer keeps the size modulo 2^32 only. When the data cannot unpack to 4 GiB or
    // more (deflate makes at most kDeflateMaxRatio bytes of one), that is the exact size and
    // nothing beyond it is written; otherwise only the caller's limit holds.
    const bool stored = GzipMethodCode(header) == 0;
    const uint64_t packedLen = uint64_t(size - kTrailerSize - pos);
    const uint64_t most = packedLen * (stored ? 1 : kDeflateMaxRatio);
    const uint64_t cap = most < (uint64_t(1) << 32) ? claimed : kNoOutputLimit;

    TMemberFile out(*this, root, rel, claimed, cap);
    if (!out.open(1))
        raiseError(ArcErrNothingToDo);
    // More output than the caller allows ends the extraction at once. More than the trailer
    // says drops the file, and the data is read on (nothing written) to its end: a second
    // member there (whose trailer that was) is a multi-part file, else the member is damaged.
    bool overDeclared = false;
    auto put = [&](const char *data, int64_t n) {
        if (overDeclared || out.write(data, n))
            return;
        out.discard();
        if (!out.overCap())
            raiseError(ArcErrWriteFile);
        if (out.written() + uint64_t(n) > OutputLimit)
            raiseError(ArcErrBadLengths);
        overDeclared = true;
    };

    auto inBuf = std::make_unique<char[]>(kArcBufferSize);
    auto outBuf = std::make_unique<char[]>(kArcBufferSize);
    int64_t streamEnd = 0; // where the trailer starts
    if (stored) {
        // Stored: everything up to the trailer is the data.
        for (int64_t at = pos; at < size - kTrailerSize;) {
            const int64_t n = std::min(kArcBufferSize, size - kTrailerSize - at);
            if (!src.readAt(at, inBuf.get(), n))
                raiseError(ArcErrReadFile);
            put(inBuf.get(), n);
            at += n;
        }
        streamEnd = size - kTrailerSize;
    } else {
        TRawInflater inflater;
        if (!inflater.ok())
            raiseError(ArcErrInvalidCode);
        z_stream &zs = inflater.stream();
        int64_t at = pos;
        for (;;) {
            if (zs.avail_in == 0) {
                const int64_t n = std::min(kArcBufferSize, size - at);
                if (n <= 0)
                    raiseError(ArcErrReadFile); // the deflate data ends before its last block
                if (!src.readAt(at, inBuf.get(), n))
                    raiseError(ArcErrReadFile);
                at += n;
                zs.next_in = reinterpret_cast<Bytef *>(inBuf.get());
                zs.avail_in = uInt(n);
            }
            zs.next_out = reinterpret_cast<Bytef *>(outBuf.get());
            zs.avail_out = uInt(kArcBufferSize);
            const int ret = inflate(&zs, Z_NO_FLUSH);
            const int64_t produced = kArcBufferSize - int64_t(zs.avail_out);
            put(outBuf.get(), produced);
            if (ret == Z_STREAM_END)
                break;
            if (ret != Z_OK && ret != Z_BUF_ERROR)
                raiseError(ArcErrInvalidCode);
        }
        streamEnd = at - int64_t(zs.avail_in);
    }

    // The member's own trailer follows its data; a second member after it is a multi-part file.
    char trailer[kTrailerSize];
    if (streamEnd > size - kTrailerSize || !src.readAt(streamEnd, trailer, kTrailerSize))
        raiseError(ArcErrReadFile);
    const int64_t after = streamEnd + kTrailerSize;
    char next[2];
    if (size - after >= 2 && src.readAt(after, next, 2) && uint8_t(next[0]) == kMagic &&
        (uint8_t(next[1]) == kIdGzip || uint8_t(next[1]) == kIdGzipOld))
        raiseError(ArcErrMultiPart);
    if (overDeclared)
        raiseError(ArcErrBadLengths);
    const QByteArrayView tv(trailer, kTrailerSize);
    const bool crcPass = out.crc() == TByteReader::u32At(tv, 0) &&
                         uint32_t(out.written()) == TByteReader::u32At(tv, 4);
    out.commit(mtime, crcPass);
    return 1; // handled: a failed rename was warned and does not make it "nothing to do"
}

std::unique_ptr<TUnBase> MakeUnGZIP()
{
    return std::make_unique<TUnGZIP>();
}
