// The BH directory reader. A BH archive is a run of members, each a 37-byte
// header with its signature, the member's name, then its packed data; the
// members are listed only (the fused and ionized methods are not decoded).
#include "archive/ArchiveTypes.h"
#include "archive/ArcLister.h"

#include "platform/ByteReader.h"
#include "platform/Texts.h"

namespace {

// Member header (37 bytes, then the name and the packed data):
// +-----------+-------------+---+---------+--------+---+--------+---------------+--------+
// | 0         | 4           | 6 | 7       | 8      | 9 | 10     | 11            | 15     |
// | 42 48 05 07 | header size | - | made by | needed | - | method | DOS date-time | packed |
// +-----------+-------------+---+---------+--------+---+--------+---------------+--------+
// | 19       | 23     | 27         | 29 | 33          | 35 | 37   |
// | original | CRC-32 | attributes | -  | name length | -  | name |
// +----------+--------+------------+----+-------------+----+------+
// Fields marked "-" are not read. The header size must not be 0.
constexpr int kHeaderSize = 37;
constexpr uint32_t kSignature = 0x07054842;
constexpr int kHeaderSizeAt = 4;
constexpr int kMadeByAt = 7;
constexpr int kNeededAt = 8;
constexpr int kMethodAt = 10;
constexpr int kDosTimeAt = 11; // time in the low half, date in the high half
constexpr int kPackedAt = 15;
constexpr int kOriginalAt = 19;
constexpr int kCrcAt = 23;
constexpr int kAttrAt = 27;
constexpr int kNameLengthAt = 33;

class BhListReader : public TArcListReader
{
public:
    int headerSize() const override { return kHeaderSize; }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        lister.position = lister.startOffset() - 1;
        lister.endOfMembers = src.size();
    }

    Step step(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t headerOffset) override
    {
        if (TByteReader::u32At(fixed, 0) != kSignature || TByteReader::u16At(fixed, kHeaderSizeAt) == 0)
            return Step::End;
        const int64_t nameAt = headerOffset + kHeaderSize;
        const uint16_t nameLength = TByteReader::u16At(fixed, kNameLengthAt);
        const uint32_t packed = TByteReader::u32At(fixed, kPackedAt);
        const int64_t size = src.size();
        if (nameLength > size - nameAt || packed > size - nameAt - nameLength)
            lister.raiseError(ArcErrReadFile);
        QByteArray name(nameLength, Qt::Uninitialized);
        if (!src.readAt(nameAt, name.data(), nameLength))
            lister.raiseError(ArcErrReadFile);
        lister.position = nameAt + nameLength + packed;

        lister.MemberName = DosBytesToUtf8(name);
        lister.MemberName.replace('/', '\\');
        lister.VersionMadeBy = uint8_t(fixed[kMadeByAt]);
        lister.VersionNeeded = uint8_t(fixed[kNeededAt]);
        lister.MethodCode = uint8_t(fixed[kMethodAt]);
        lister.MemberDosDate = NormalizedDosDateTime(TByteReader::u32At(fixed, kDosTimeAt));
        lister.MemberDate = DosDateTimeToDateTime(lister.MemberDosDate);
        lister.PackedSize = packed;
        lister.UnpackedSize = TByteReader::u32At(fixed, kOriginalAt);
        lister.MemberCRC = TByteReader::u32At(fixed, kCrcAt);
        lister.MemberAttr = TByteReader::u16At(fixed, kAttrAt);
        lister.Ratio = TArcLister::ratioOf(lister.PackedSize, lister.UnpackedSize);
        return Step::Report;
    }
};

} // namespace

std::unique_ptr<TArcListReader> MakeBhListReader()
{
    return std::make_unique<BhListReader>();
}
