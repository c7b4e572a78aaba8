// ZOO archives: the directory reader (the archive header, then a chain of
// directory entries linked by their next-entry offsets) and TUnZOO. Entries
// marked deleted stay in the chain and are passed over; the chain ends at an
// entry whose next offset is 0. Since every offset is a position in the
// file, a damaged chain could point back at an entry already read: the
// chain must move forward, or the listing fails.
#include "archive/ArchiveTypes.h"
#include "archive/Crc16Member.h"
#include "archive/UnBase.h"
#include "archive/decoders/ArcDecoders.h"
#include "platform/ByteReader.h"
#include "platform/Texts.h"

#include <algorithm>

namespace {

// Archive header (42 bytes; archives of the first version stop after the
// versions, at 34, and have no comment):
// +---------+-----+-------+----------+-------+-------+------+----------+----------+-------+
// | 0       | 20  | 24    | 28       | 32    | 33    | 34   | 35       | 39       | 41    |
// | text[20]| tag | start | -start   | major | minor | type | cmt pos  | cmt len  | vdata |
// +---------+-----+-------+----------+-------+-------+------+----------+----------+-------+
constexpr int kArchiveHeaderSize = 42;
constexpr int kOldArchiveHeaderSize = 34;
constexpr uint32_t kTag = 0xFDC4A7DC;
constexpr int kHdrTagAt = 20;
constexpr int kHdrStartAt = 24;
constexpr int kHdrMinusAt = 28;
constexpr int kHdrCommentAt = 35;
constexpr int kHdrCommentLenAt = 39;

// Directory entry (51 bytes for type 1; type 2 adds five, then a variable part):
// +-----+------+--------+------+--------+------+------+-------+----------+--------+
// | 0   | 4    | 5      | 6    | 10     | 14   | 16   | 18    | 20       | 24     |
// | tag | type | method | next | offset | date | time | crc16 | unpacked | packed |
// +-----+------+--------+------+--------+------+------+-------+----------+--------+
// | 28    | 29    | 30      | 31    | 32      | 36      | 38       | 51     | 53 | 54      |
// | major | minor | deleted | struc | cmt pos | cmt len | name[13] | varLen | tz | dir crc |
// +-------+-------+---------+-------+---------+---------+----------+--------+----+---------+
// Variable part (varLen bytes from 56): long-name length, folder length, the
// long name, the folder (each zero-terminated within its length), then
// system, attributes and version fields not read here.
constexpr int kEntrySize = 58; // what the lister reads: type 2 up to the two lengths
constexpr int kEntryTypeAt = 4;
constexpr int kMethodAt = 5;
constexpr int kNextAt = 6;
constexpr int kOffsetAt = 10;
constexpr int kDateAt = 14;
constexpr int kTimeAt = 16;
constexpr int kCrcAt = 18;
constexpr int kUnpackedAt = 20;
constexpr int kPackedAt = 24;
constexpr int kMajorAt = 28;
constexpr int kMinorAt = 29;
constexpr int kDeletedAt = 30;
constexpr int kCommentAt = 32;
constexpr int kCommentLenAt = 36;
constexpr int kNameAt = 38;
constexpr int kNameSize = 13;
constexpr int kVarLenAt = 51;
constexpr int kVarPartAt = 56;
constexpr int kLongEntryType = 2;

// The first entry's offset from the archive header, with the header's checks.
// Returns -1 when the bytes are no ZOO header (the tag, or an offset whose
// stored complement does not add up to 0).
int64_t firstEntry(QByteArrayView header)
{
    if (header.size() < kOldArchiveHeaderSize || TByteReader::u32At(header, kHdrTagAt) != kTag)
        return -1;
    const int32_t start = int32_t(TByteReader::u32At(header, kHdrStartAt));
    const int32_t minus = int32_t(TByteReader::u32At(header, kHdrMinusAt));
    if (start <= 0 || int64_t(start) + minus != 0)
        return -1;
    return start;
}

// Reads n bytes at at, clipped to the end of the source.
QByteArray readClipped(TArcSource &src, int64_t at, int64_t n)
{
    if (at < 0 || at >= src.size() || n <= 0)
        return {};
    n = std::min(n, src.size() - at);
    QByteArray bytes(n, Qt::Uninitialized);
    return src.readAt(at, bytes.data(), n) ? bytes : QByteArray();
}

struct TZooEntry {
    enum class Kind { Member, Deleted, End };
    Kind kind = Kind::End;
    int method = 0;
    QByteArray name; // UTF-8, "\" separators, with the folder in front
    int64_t next = 0;
    int64_t dataAt = 0;
    uint32_t packed = 0;
    uint32_t unpacked = 0;
    uint32_t dos = 0;
    uint16_t crc = 0;
    uint8_t major = 0;
    uint8_t minor = 0;
    int64_t commentAt = 0;
    int commentLen = 0;
};

// Decodes the entry whose fixed part was read at at, reading its variable
// part from src. End for a bad tag or the chain's last entry (next offset 0).
// Raises 25135 through owner when the variable part runs past the file.
TZooEntry parseEntry(TZipCommon &owner, TArcSource &src, QByteArrayView fixed, int64_t at)
{
    TZooEntry e;
    if (fixed.size() < kEntrySize || TByteReader::u32At(fixed, 0) != kTag)
        return e;
    e.next = int32_t(TByteReader::u32At(fixed, kNextAt));
    if (e.next == 0)
        return e;
    e.kind = fixed[kDeletedAt] == 1 ? TZooEntry::Kind::Deleted : TZooEntry::Kind::Member;
    e.method = uint8_t(fixed[kMethodAt]);
    e.dataAt = int32_t(TByteReader::u32At(fixed, kOffsetAt));
    e.dos = uint32_t(TByteReader::u16At(fixed, kDateAt)) << 16 | TByteReader::u16At(fixed, kTimeAt);
    e.crc = TByteReader::u16At(fixed, kCrcAt);
    e.unpacked = TByteReader::u32At(fixed, kUnpackedAt);
    e.packed = TByteReader::u32At(fixed, kPackedAt);
    e.major = uint8_t(fixed[kMajorAt]);
    e.minor = uint8_t(fixed[kMinorAt]);
    e.commentAt = int32_t(TByteReader::u32At(fixed, kCommentAt));
    e.commentLen = TByteReader::u16At(fixed, kCommentLenAt);

    TByteReader r(fixed);
    r.seek(kNameAt);
    QByteArray name = r.fixedString(kNameSize).toByteArray();
    QByteArray folder;
    const int varLen = int16_t(TByteReader::u16At(fixed, kVarLenAt));
    if (uint8_t(fixed[kEntryTypeAt]) == kLongEntryType && varLen > 2) {
        const int nameLen = uint8_t(fixed[kVarPartAt]);
        const int folderLen = uint8_t(fixed[kVarPartAt + 1]);
        if (nameLen + folderLen + 2 > varLen)
            owner.raiseError(ArcErrBadFileHeader);
        if (nameLen + folderLen > 0) {
            QByteArray var(nameLen + folderLen, Qt::Uninitialized);
            if (!src.readAt(at + kEntrySize, var.data(), var.size()))
                owner.raiseError(ArcErrReadFile);
            TByteReader v(var);
            const QByteArray longName = v.fixedString(nameLen).toByteArray();
            folder = v.fixedString(folderLen).toByteArray();
            if (!longName.isEmpty())
                name = longName;
        }
    }
    if (!folder.isEmpty()) {
        if (!folder.endsWith('/') && !folder.endsWith('\\'))
            folder += '/';
        name = folder + name;
    }
    e.name = DosBytesToUtf8(name);
    e.name.replace('/', '\\');
    return e;
}

class ZooListReader : public TArcListReader
{
    // Whether the chain's last entry, which may be shorter than a whole fixed part, is at at.
    static bool lastEntryAt(TArcSource &src, int64_t at)
    {
        char head[kNextAt + 4];
        return src.readAt(at, head, sizeof head) && TByteReader::u32At(QByteArrayView(head, sizeof head), 0) == kTag &&
               TByteReader::u32At(QByteArrayView(head, sizeof head), kNextAt) == 0;
    }

public:
    int headerSize() const override { return kEntrySize; }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        const int64_t base = lister.startOffset() - 1;
        char header[kArchiveHeaderSize] = {};
        const int64_t n = std::min<int64_t>(kArchiveHeaderSize, src.size() - base);
        if (n < kOldArchiveHeaderSize || !src.readAt(base, header, n))
            lister.raiseError(ArcErrReadFile);
        const QByteArrayView hv(header, n);
        const int64_t first = firstEntry(hv);
        if (first < 0)
            lister.raiseError(ArcErrHeaderId);
        // The comment fields are there when the first entry comes after them.
        if (first >= kArchiveHeaderSize && n == kArchiveHeaderSize) {
            const int64_t at = int32_t(TByteReader::u32At(hv, kHdrCommentAt));
            const int len = TByteReader::u16At(hv, kHdrCommentLenAt);
            if (at > 0 && len > 0)
                lister.ArchiveComment = DosBytesToUtf8(readClipped(src, base + at, len));
        }
        m_base = base;
        m_size = src.size();
        lister.position = base + first;
        // One past the end, so that an entry ending right at the end of the file is read.
        lister.endOfMembers = src.size() + 1;
        // An archive without members holds only the chain's last entry, which may be short.
        if (lister.position + kEntrySize >= lister.endOfMembers)
            m_ended = lastEntryAt(src, lister.position);
    }

    Step step(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t headerOffset) override
    {
        const TZooEntry e = parseEntry(lister, src, fixed, headerOffset);
        if (e.kind == TZooEntry::Kind::End) {
            m_ended = true;
            return Step::End;
        }
        // The chain must run forward: an entry pointing back ends the listing as damaged.
        if (m_base + e.next <= headerOffset)
            lister.raiseError(ArcErrBadFileHeader);
        lister.position = m_base + e.next;
        if (e.dataAt < 0 || m_base + e.dataAt + int64_t(e.packed) > m_size)
            m_cutShort = true;
        if (lister.position + kEntrySize >= lister.endOfMembers)
            m_ended = lastEntryAt(src, lister.position);
        if (e.kind == TZooEntry::Kind::Deleted)
            return Step::Skip;
        lister.MethodCode = e.method;
        lister.MemberName = e.name;
        lister.PackedSize = e.packed;
        lister.UnpackedSize = e.unpacked;
        lister.MemberCRC = e.crc;
        lister.MemberDosDate = NormalizedDosDateTime(e.dos);
        lister.MemberDate = DosDateTimeToDateTime(lister.MemberDosDate);
        lister.VersionMadeBy = e.major;
        lister.VersionNeeded = e.minor;
        lister.MemberAttr = 32;
        if (e.commentAt > 0 && e.commentLen > 0)
            lister.MemberComment = DosBytesToUtf8(readClipped(src, m_base + e.commentAt, e.commentLen));
        lister.Ratio = TArcLister::ratioOf(e.packed, e.unpacked);
        return Step::Report;
    }

    void finish(TArcLister &lister, int) override
    {
        // A chain that leaves the file before its last entry, or data past the end: cut short.
        if (m_cutShort || !m_ended)
            lister.raiseError(ArcErrReadFile);
    }

private:
    int64_t m_base = 0;
    int64_t m_size = 0;
    bool m_cutShort = false;
    bool m_ended = false;
};

// The ZOO extractor: stored, LZW and LZH members matching FileSpec.
class TUnZOO : public TUnBase
{
protected:
    bool acceptsType(TArcType type) const override { return type == TArcType::ZOO; }

    int extractMembers(TArcSource &src, const QString &root) override
    {
        const int64_t base = startOffset() - 1;
        const int64_t size = src.size();
        char header[kArchiveHeaderSize] = {};
        const int64_t hn = std::min<int64_t>(kArchiveHeaderSize, size - base);
        if (hn < kOldArchiveHeaderSize || !src.readAt(base, header, hn))
            raiseError(ArcErrReadFile);
        const int64_t first = firstEntry(QByteArrayView(header, hn));
        if (first < 0)
            raiseError(ArcErrHeaderId);
        int64_t pos = base + first;
        int recNum = 0;
        int extracted = 0;
        char buf[kEntrySize];
        while (pos + kEntrySize <= size) {
            if (!src.readAt(pos, buf, kEntrySize))
                raiseError(ArcErrReadFile);
            const TZooEntry e = parseEntry(*this, src, QByteArrayView(buf, kEntrySize), pos);
            if (e.kind == TZooEntry::Kind::End)
                break;
            if (base + e.next <= pos) {
                warn(ArcErrBadFileHeader);
                break;
            }
            pos = base + e.next;
            if (e.kind == TZooEntry::Kind::Deleted)
                continue;
            const QString rel = selectedOutputPath(QString::fromUtf8(e.name));
            if (rel.isEmpty())
                continue;
            ++recNum;
            const int64_t dataAt = base + e.dataAt;
            if (e.dataAt < 0 || dataAt > size || int64_t(e.packed) > size - dataAt) {
                warn(ArcErrReadFile);
                continue;
            }
            TCrc16Member m;
            m.decoder = FindZooDecoder(e.method);
            m.rel = rel;
            m.recNum = recNum;
            m.dataAt = dataAt;
            m.packedSize = e.packed;
            m.unpackedSize = e.unpacked;
            m.crc = e.crc;
            m.dosTime = e.dos;
            m.params.method = e.method;
            m.params.dictBits = 13; // ZOO's LZH uses an 8 KB dictionary
            if (ExtractCrc16Member(*this, src, root, m))
                ++extracted;
        }
        return extracted;
    }
};

} // namespace

std::unique_ptr<TArcListReader> MakeZooListReader()
{
    return std::make_unique<ZooListReader>();
}

std::unique_ptr<TUnBase> MakeUnZOO()
{
    return std::make_unique<TUnZOO>();
}
