// The ARC family (ARC, PAK and their self-extractors): the directory reader
// and TUnARC. An ARC file is a run of headers, each followed by its packed
// data; a header with method 0 ends the archive. PAK writes the same headers
// and adds methods of its own (10 crushed, 11 distilled), which are listed
// but not decoded.
#include "archive/ArchiveTypes.h"
#include "archive/Crc16Member.h"
#include "archive/UnBase.h"
#include "archive/decoders/ArcDecoders.h"
#include "platform/ByteReader.h"
#include "platform/Texts.h"

#include <algorithm>

namespace {

// Member header (29 bytes; method 1 has the older 25-byte header without the
// unpacked size, which equals the packed size):
// +-----+--------+----------+--------+------+------+-------+----------+
// | 0   | 1      | 2        | 15     | 19   | 21   | 23    | 25       |
// | 1Ah | method | name[13] | packed | date | time | crc16 | unpacked |
// +-----+--------+----------+--------+------+------+-------+----------+
// Name: zero-terminated within its 13 bytes. Date and time: DOS.
constexpr int kHeaderSize = 29;
constexpr int kOldHeaderSize = 25;
constexpr uint8_t kMark = 0x1A;
constexpr int kMethodAt = 1;
constexpr int kNameAt = 2;
constexpr int kNameSize = 13;
constexpr int kPackedAt = 15;
constexpr int kDateAt = 19;
constexpr int kTimeAt = 21;
constexpr int kCrcAt = 23;
constexpr int kUnpackedAt = 25;
constexpr int kOldStored = 1;
// Methods 20 to 31 are the records of later ARC versions (archive and file
// information, folders and their ends): not members; their data is passed over.
constexpr int kFirstInfoRecord = 20;
constexpr int kLastInfoRecord = 31;

struct TArcHeader {
    enum class Kind { Member, Record, End };
    Kind kind = Kind::End;
    int method = 0;
    QByteArray name; // UTF-8, "\" separators
    uint32_t packed = 0;
    uint32_t unpacked = 0;
    uint32_t dos = 0; // date in the high half
    uint16_t crc = 0;
    int64_t dataAt = 0;
};

// Decodes the fixed part read at at: a member, a record to pass over, or the
// end (method 0, or no header mark: the kit has always ended quietly there).
TArcHeader parseHeader(QByteArrayView fixed, int64_t at)
{
    TArcHeader h;
    if (fixed.size() < kOldHeaderSize || uint8_t(fixed[0]) != kMark || fixed[kMethodAt] == 0)
        return h;
    h.method = uint8_t(fixed[kMethodAt]);
    TByteReader r(fixed);
    r.seek(kNameAt);
    h.name = DosBytesToUtf8(r.fixedString(kNameSize));
    h.name.replace('/', '\\');
    h.packed = TByteReader::u32At(fixed, kPackedAt);
    h.dos = uint32_t(TByteReader::u16At(fixed, kDateAt)) << 16 | TByteReader::u16At(fixed, kTimeAt);
    h.crc = TByteReader::u16At(fixed, kCrcAt);
    if (h.method == kOldStored) {
        h.unpacked = h.packed;
        h.dataAt = at + kOldHeaderSize;
    } else {
        h.unpacked = TByteReader::u32At(fixed, kUnpackedAt);
        h.dataAt = at + kHeaderSize;
    }
    h.kind = h.method >= kFirstInfoRecord && h.method <= kLastInfoRecord ? TArcHeader::Kind::Record
                                                                          : TArcHeader::Kind::Member;
    return h;
}

class ArcListReader : public TArcListReader
{
public:
    int headerSize() const override { return kHeaderSize; }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        lister.position = lister.startOffset() - 1;
        // One past the end, so that a last header ending right at the end of the file is read.
        lister.endOfMembers = src.size() + 1;
        m_size = src.size();
    }

    Step step(TArcLister &lister, TArcSource &, QByteArrayView fixed, int64_t headerOffset) override
    {
        const TArcHeader h = parseHeader(fixed, headerOffset);
        if (h.kind == TArcHeader::Kind::End)
            return Step::End;
        lister.position = h.dataAt + int64_t(h.packed);
        if (lister.position > m_size)
            m_cutShort = true; // reported, then the listing fails: the data runs past the end
        if (h.kind == TArcHeader::Kind::Record)
            return Step::Skip;
        lister.MethodCode = h.method;
        lister.MemberName = h.name;
        lister.PackedSize = h.packed;
        lister.UnpackedSize = h.unpacked;
        lister.MemberCRC = h.crc;
        lister.MemberDosDate = NormalizedDosDateTime(h.dos);
        lister.MemberDate = DosDateTimeToDateTime(lister.MemberDosDate);
        lister.MemberAttr = 32;
        lister.InternalAttr = 32;
        lister.Ratio = TArcLister::ratioOf(h.packed, h.unpacked);
        return Step::Report;
    }

    void finish(TArcLister &lister, int) override
    {
        if (m_cutShort)
            lister.raiseError(ArcErrReadFile);
    }

private:
    int64_t m_size = 0;
    bool m_cutShort = false;
};

// The ARC extractor: every member matching FileSpec whose method is 1 to 9.
class TUnARC : public TUnBase
{
protected:
    // PAK files detected from their first method are read too: the catalog side
    // never hands a .PAK file to an extractor, but an .ARC may start with a PAK method.
    bool acceptsType(TArcType type) const override
    {
        return PlainArcType(type) == TArcType::ARC || PlainArcType(type) == TArcType::PAK;
    }

    int extractMembers(TArcSource &src, const QString &root) override
    {
        const int64_t size = src.size();
        int64_t pos = startOffset() - 1;
        int recNum = 0;
        int extracted = 0;
        char buf[kHeaderSize];
        while (pos >= 0 && pos + kOldHeaderSize <= size) {
            const int64_t n = std::min<int64_t>(kHeaderSize, size - pos);
            if (!src.readAt(pos, buf, n))
                raiseError(ArcErrReadFile);
            const TArcHeader h = parseHeader(QByteArrayView(buf, n), pos);
            if (h.kind == TArcHeader::Kind::End)
                break;
            if (h.method != kOldStored && n < kHeaderSize)
                raiseError(ArcErrReadFile);
            pos = h.dataAt + int64_t(h.packed);
            if (h.kind == TArcHeader::Kind::Record)
                continue;
            const QString rel = selectedOutputPath(QString::fromUtf8(h.name));
            if (rel.isEmpty())
                continue;
            ++recNum;
            if (pos > size) {
                // The data runs past the end of the file: nothing after it can be found either.
                warn(ArcErrReadFile);
                break;
            }
            TCrc16Member m;
            m.decoder = FindArcDecoder(h.method);
            m.rel = rel;
            m.recNum = recNum;
            m.dataAt = h.dataAt;
            m.packedSize = h.packed;
            m.unpackedSize = h.unpacked;
            m.crc = h.crc;
            m.dosTime = h.dos;
            m.params.method = h.method;
            m.dataErrorCode = h.method == 4 ? 25118 : int(ArcErrInvalidCode); // squeeze: invalid decode tree
            m.refusedCode = ArcErrSkippedFile;
            if (ExtractCrc16Member(*this, src, root, m))
                ++extracted;
        }
        return extracted;
    }
};

} // namespace

std::unique_ptr<TArcListReader> MakeArcListReader()
{
    return std::make_unique<ArcListReader>();
}

std::unique_ptr<TUnBase> MakeUnARC()
{
    return std::make_unique<TUnARC>();
}
