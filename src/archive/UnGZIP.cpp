// The GZip family's directory reader. One member per file: the 10-byte header
// gives method, flags and the Unix time; the optional fields follow in the
// order extra, name, comment, header CRC, each checked against the file's end;
// the trailer (CRC-32, then the size modulo 2^32) is the file's last 8 bytes.
#include "archive/UnGZIP.h"

#include <QFileInfo>

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
constexpr int kCommentLimit = 65535;

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

// Reads a zero-terminated text of at most limit bytes at pos; moves pos past its terminator.
// A text longer than the limit is cut there and the rest is skipped up to the terminator.
QByteArray readZeroTerminated(TArcLister &lister, TArcSource &src, int64_t &pos, int limit)
{
    QByteArray text;
    char chunk[256];
    for (;;) {
        const int64_t left = src.size() - pos;
        if (left <= 0)
            lister.raiseError(ArcErrReadFile);
        const int64_t n = std::min<int64_t>(left, sizeof chunk);
        if (!src.readAt(pos, chunk, n))
            lister.raiseError(ArcErrReadFile);
        const char *nul = static_cast<const char *>(std::memchr(chunk, 0, size_t(n)));
        const int64_t take = nul ? nul - chunk : n;
        if (text.size() < limit)
            text.append(chunk, std::min<int64_t>(take, limit - text.size()));
        pos += take;
        if (nul) {
            ++pos;
            return text;
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
            extraLen = TRecordReader::u16At(QByteArrayView(len, 2), 0);
            pos += 2;
            if (extraLen > size - pos)
                lister.raiseError(ArcErrReadFile);
            pos += extraLen;
        }
        if (flags & kGzFlagName)
            lister.MemberName = ArcTextToUtf8(readZeroTerminated(lister, src, pos, kNameLimit));
        if (flags & kGzFlagComment)
            readZeroTerminated(lister, src, pos, kCommentLimit);
        if (flags & kGzFlagHeaderCrc)
            pos += 2;
        // The header and the trailer must both fit: a file cut inside them is not a gzip file.
        if (pos > size - kTrailerSize)
            lister.raiseError(ArcErrReadFile);
        char trailer[kTrailerSize];
        if (!src.readAt(size - kTrailerSize, trailer, kTrailerSize))
            lister.raiseError(ArcErrReadFile);
        const QByteArrayView tv(trailer, kTrailerSize);
        lister.MemberCRC = TRecordReader::u32At(tv, 0);
        lister.UnpackedSize = TRecordReader::u32At(tv, 4);
        lister.PackedSize = uint64_t(size - extraLen - kTrailerSize);
        const int64_t mtime = TRecordReader::u32At(fixed, kMtimeAt);
        lister.MemberDosDate = NormalizedDosDateTime(UnixToDosDateTime(mtime));
        lister.MemberDate = UnixToDateTime(mtime);
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
