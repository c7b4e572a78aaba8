// The ZIP family's directory reader. The member list is the central
// directory: found through the end record at the end of the file (ZIP64 end
// record when the 32-bit fields are saturated), then one central header per
// member. Local headers are not read here; extraction checks them.
#include "archive/UnZIP.h"

#include <algorithm>

namespace {

// End of central directory record (22 bytes + comment):
// +------+------+--------+---------+---------+--------+----------+---------+---------+
// | 0    | 4    | 6      | 8       | 10      | 12     | 16       | 20      | 22      |
// | sig  | disk | cdDisk | entries | total   | cdSize | cdOffset | cmntLen | comment |
// |      |      |        | on disk | entries |        |          |         |         |
// +------+------+--------+---------+---------+--------+----------+---------+---------+
constexpr int kEndSize = 22;
constexpr int kEndTotalEntries = 10;
constexpr int kEndCdSize = 12;
constexpr int kEndCdOffset = 16;
constexpr int kEndCommentLen = 20;

// ZIP64 end of central directory locator (20 bytes, right before the end record):
// | 0 sig | 4 disk of ZIP64 end | 8 offset of ZIP64 end (64-bit) | 16 disks |
constexpr int kLocatorSize = 20;
constexpr int kLocatorEndOffset = 8;

// ZIP64 end of central directory record (56 bytes fixed):
// | 0 sig | 4 size | 12 made by | 14 needed | 16 disk | 20 cdDisk | 24 entries on disk |
// | 32 total entries | 40 cdSize | 48 cdOffset (64-bit) |
constexpr int kZip64EndSize = 56;
constexpr int kZip64EndCdOffset = 48;

// Central file header (46 bytes + name + extra + comment):
// +-----+--------+--------+-------+--------+------+------+-----+--------+----------+
// | 0   | 4      | 6      | 8     | 10     | 12   | 14   | 16  | 20     | 24       |
// | sig | madeBy | needed | flags | method | time | date | crc | packed | unpacked |
// +-----+--------+--------+-------+--------+------+------+-----+--------+----------+
// | 28      | 30       | 32      | 34        | 36      | 38      | 42          | 46    |
// | nameLen | extraLen | cmntLen | diskStart | intAttr | extAttr | localOffset | name… |
// +---------+----------+---------+-----------+---------+---------+-------------+-------+
constexpr int kCentralSize = 46;
constexpr int kCenMadeBy = 4;
constexpr int kCenNeeded = 6;
constexpr int kCenFlags = 8;
constexpr int kCenMethod = 10;
constexpr int kCenDosTime = 12; // time and date read together as one DOS date-time
constexpr int kCenCrc = 16;
constexpr int kCenPacked = 20;
constexpr int kCenUnpacked = 24;
constexpr int kCenNameLen = 28;
constexpr int kCenExtraLen = 30;
constexpr int kCenCommentLen = 32;
constexpr int kCenIntAttr = 36;
constexpr int kCenExtAttr = 38;
constexpr int kCenLocalOffset = 42;

// Extra field blocks: 16-bit id, 16-bit data size, data. Id 1 holds the ZIP64
// values, in this order and only for the fields that say 0xFFFFFFFF:
// unpacked size, packed size, local header offset (each 64-bit), disk (32-bit).
constexpr uint16_t kExtraZip64 = 0x0001;

constexpr uint32_t kSaturated32 = 0xFFFFFFFFu;
constexpr uint16_t kSaturated16 = 0xFFFFu;

// The end-record search looks at the last 32 KB only (an archive comment is at most 64 KB,
// but the earlier readers never looked further; a longer comment hides the record).
constexpr int64_t kEndSearch = 32768;

constexpr uint16_t kFlagUtf8 = 0x0800; // general-purpose bit 11: name and comment are UTF-8

class ZipListReader : public TArcListReader
{
public:
    int headerSize() const override { return kCentralSize; }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        const int64_t size = src.size();
        m_base = lister.sfxRelative() ? lister.startOffset() - 1 : 0;
        const int64_t length = std::min<int64_t>(size - 1, kEndSearch);
        if (length < 4)
            lister.raiseError(ArcErrHeaderId);
        QByteArray tail(length, Qt::Uninitialized);
        if (!src.readAt(size - length, tail.data(), length))
            lister.raiseError(ArcErrReadFile);
        int64_t endAt = -1;
        for (int64_t i = length - 4; i >= 0; --i) {
            if (TRecordReader::u32At(tail, i) == kZipEndSig) {
                endAt = size - length + i;
                break;
            }
        }
        if (endAt < 0)
            lister.raiseError(ArcErrHeaderId);
        char end[kEndSize];
        if (endAt + kEndSize > size || !src.readAt(endAt, end, kEndSize))
            lister.raiseError(ArcErrReadFile);
        const QByteArrayView ev(end, kEndSize);

        const int commentLen = TRecordReader::u16At(ev, kEndCommentLen);
        if (commentLen != 0) {
            const int64_t take = std::min<int64_t>(commentLen, size - (endAt + kEndSize));
            QByteArray comment(take, Qt::Uninitialized);
            if (!src.readAt(endAt + kEndSize, comment.data(), take))
                lister.raiseError(ArcErrReadFile);
            lister.ArchiveComment = ArcTextToUtf8(comment);
        }

        int64_t cdOffset = TRecordReader::u32At(ev, kEndCdOffset);
        const bool saturated = cdOffset == kSaturated32 || TRecordReader::u32At(ev, kEndCdSize) == kSaturated32 ||
                               TRecordReader::u16At(ev, kEndTotalEntries) == kSaturated16;
        if (saturated && endAt >= kLocatorSize) {
            char loc[kLocatorSize];
            if (src.readAt(endAt - kLocatorSize, loc, kLocatorSize) &&
                TRecordReader::u32At(QByteArrayView(loc, kLocatorSize), 0) == kZip64LocatorSig) {
                const uint64_t at64 = TRecordReader::u64At(QByteArrayView(loc, kLocatorSize), kLocatorEndOffset);
                char rec[kZip64EndSize];
                if (at64 < uint64_t(size) && src.readAt(int64_t(at64) + m_base, rec, kZip64EndSize) &&
                    TRecordReader::u32At(QByteArrayView(rec, kZip64EndSize), 0) == kZip64EndSig) {
                    const uint64_t cd64 = TRecordReader::u64At(QByteArrayView(rec, kZip64EndSize), kZip64EndCdOffset);
                    cdOffset = cd64 < uint64_t(size) ? int64_t(cd64) : -1;
                }
            }
        }

        auto centralAt = [&](int64_t at) {
            char first[4];
            return at >= 0 && at + kCentralSize <= size && src.readAt(at, first, 4) &&
                   TRecordReader::u32At(QByteArrayView(first, 4), 0) == kZipCentralSig;
        };
        int64_t cdStart = cdOffset < 0 ? -1 : cdOffset + m_base;
        if (!centralAt(cdStart) && cdOffset >= 0 && !saturated) {
            // Bytes put in front of an archive without adjusting its offsets: the directory
            // ends right before the end record, so the shift is what is missing.
            const int64_t shift = endAt - int64_t(TRecordReader::u32At(ev, kEndCdSize)) - cdOffset;
            if (shift > 0 && centralAt(cdOffset + shift)) {
                m_base = shift;
                cdStart = cdOffset + shift;
            }
        }
        if (!centralAt(cdStart))
            lister.raiseError(ArcErrHeaderId);
        lister.position = cdStart;
        lister.endOfMembers = size;
    }

    Step step(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t) override
    {
        if (TRecordReader::u32At(fixed, 0) != kZipCentralSig)
            return Step::End;
        const int64_t size = src.size();
        const uint16_t flags = TRecordReader::u16At(fixed, kCenFlags);
        lister.VersionMadeBy = uint8_t(fixed[kCenMadeBy]);
        lister.VersionNeeded = uint8_t(fixed[kCenNeeded]);
        lister.GeneralFlags = flags;
        lister.MethodCode = TRecordReader::u16At(fixed, kCenMethod);
        lister.MemberDosDate = NormalizedDosDateTime(TRecordReader::u32At(fixed, kCenDosTime));
        lister.MemberDate = DosDateTimeToDateTime(lister.MemberDosDate);
        lister.MemberCRC = TRecordReader::u32At(fixed, kCenCrc);
        lister.PackedSize = TRecordReader::u32At(fixed, kCenPacked);
        lister.UnpackedSize = TRecordReader::u32At(fixed, kCenUnpacked);
        lister.InternalAttr = TRecordReader::u16At(fixed, kCenIntAttr);
        lister.MemberAttr = TRecordReader::u32At(fixed, kCenExtAttr);
        lister.LocalHeaderOffset = TRecordReader::u32At(fixed, kCenLocalOffset);
        const int nameLen = TRecordReader::u16At(fixed, kCenNameLen);
        const int extraLen = TRecordReader::u16At(fixed, kCenExtraLen);
        const int commentLen = TRecordReader::u16At(fixed, kCenCommentLen);

        if (lister.MethodCode == 8 && flags > 1) {
            const bool bit1 = flags & 2, bit2 = flags & 4;
            lister.DeflateOption = bit1 && bit2 ? 6 : bit2 ? 4 : bit1 ? 2 : 0;
        }

        // Name and extra field must lie inside the file: a length past the end means the archive is cut off.
        int64_t pos = lister.position;
        if (int64_t(nameLen) + extraLen > size - pos)
            lister.raiseError(ArcErrReadFile);
        QByteArray varPart(nameLen + extraLen, Qt::Uninitialized);
        if (!src.readAt(pos, varPart.data(), varPart.size()))
            lister.raiseError(ArcErrReadFile);
        const QByteArrayView name = QByteArrayView(varPart).first(nameLen);
        const QByteArrayView extra = QByteArrayView(varPart).sliced(nameLen);
        pos += nameLen + extraLen;
        // Bit 11 promises UTF-8; other names are UTF-8 when they are valid, else code page 437.
        (void)kFlagUtf8;
        lister.MemberName = ArcTextToUtf8(name);
        lister.MemberName.replace('/', '\\');
        applyZip64(lister, extra, fixed);

        if (commentLen != 0) {
            const int64_t take = std::min<int64_t>(commentLen, size - pos);
            QByteArray comment(take, Qt::Uninitialized);
            if (!src.readAt(pos, comment.data(), take))
                lister.raiseError(ArcErrReadFile);
            lister.MemberComment = ArcTextToUtf8(comment);
        }
        pos += commentLen;
        lister.position = pos;
        lister.Ratio = TArcLister::ratioOf(lister.PackedSize, lister.UnpackedSize);
        return Step::Report;
    }

    void finish(TArcLister &lister, int decoded) override
    {
        if (decoded == 0)
            lister.raiseError(ArcErrBadFileHeader);
    }

private:
    // Replaces saturated 32-bit fields by the ZIP64 extra field's 64-bit values.
    static void applyZip64(TArcLister &lister, QByteArrayView extra, QByteArrayView fixed)
    {
        const bool bigUnpacked = TRecordReader::u32At(fixed, kCenUnpacked) == kSaturated32;
        const bool bigPacked = TRecordReader::u32At(fixed, kCenPacked) == kSaturated32;
        const bool bigOffset = TRecordReader::u32At(fixed, kCenLocalOffset) == kSaturated32;
        if (!bigUnpacked && !bigPacked && !bigOffset)
            return;
        TRecordReader r(extra);
        while (r.left() >= 4) {
            const uint16_t id = r.u16le();
            const uint16_t len = r.u16le();
            QByteArrayView data = r.bytes(len);
            if (r.failed())
                return;
            if (id != kExtraZip64)
                continue;
            TRecordReader z(data);
            if (bigUnpacked) {
                const uint64_t v = z.u64le();
                if (!z.failed())
                    lister.UnpackedSize = v;
            }
            if (bigPacked) {
                const uint64_t v = z.u64le();
                if (!z.failed())
                    lister.PackedSize = v;
            }
            if (bigOffset) {
                const uint64_t v = z.u64le();
                if (!z.failed() && v <= uint64_t(INT64_MAX))
                    lister.LocalHeaderOffset = int64_t(v);
            }
            return;
        }
    }

    int64_t m_base = 0;
};

} // namespace

std::unique_ptr<TArcListReader> MakeZipListReader()
{
    return std::make_unique<ZipListReader>();
}
