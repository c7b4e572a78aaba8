// The LHA/LZH reader. An archive is a run of member headers, each followed by
// its packed data, ended by a zero byte (or the end of the file). Three
// header levels are read; level 3 (32-bit header fields) is refused.
//
// Level 0 and 1 (offsets from the header start; N = name length):
// +------+-----+--------+--------+----------+----------+------+-------+---------+------+-------+
// | 0    | 1   | 2      | 7      | 11       | 15       | 19   | 20    | 21      | 22   | 22+N  |
// | size | sum | method | packed | original | DOS time | attr | level | nameLen | name | CRC16 |
// +------+-----+--------+--------+----------+----------+------+-------+---------+------+-------+
//   size counts the bytes after the first two; sum is their 8-bit sum.
//   Level 0 may carry an OS extension after the CRC, up to size + 2.
//   Level 1: 24+N OS id, and the header's last two bytes give the size of
//   the first extended header; the extended headers follow the header and
//   are counted in the packed size.
//
// Level 2:
// +------------+--------+--------+----------+-----------+----------+-------+-------+----+----------+
// | 0          | 2      | 7      | 11       | 15        | 19       | 20    | 21    | 23 | 24       |
// | total size | method | packed | original | Unix time | reserved | level | CRC16 | OS | ext size |
// +------------+--------+--------+----------+-----------+----------+-------+-------+----+----------+
//   The extended headers follow at 26, inside the total size; packed counts the data only.
//
// An extended header: its size (given by the one before), a type byte, the
// content, and the size of the next one in its last two bytes (0 ends the
// chain). Each is read by its type, wherever it stands in the chain:
//   00h header CRC-16 (level 2: of the whole header with this field as 0)
//   01h file name      02h folder name, FFh between the parts
//   40h DOS attribute  42h 64-bit packed and original sizes
//   44h, 45h file and folder name in UTF-16LE
//   54h Unix time
// Names an archive declares UTF-8 (46h, code page 65001) need nothing of
// their own: stored names are kept as they are when they are valid UTF-8 and
// read as code page 437 otherwise, whatever code page the archive names.
#include "archive/UnLHA.h"

#include "archive/Crc16Member.h"
#include "archive/MemberInput.h"
#include "archive/decoders/Crc32.h"
#include "archive/decoders/LhaDecoders.h"
#include "platform/ByteReader.h"
#include "platform/DosTime.h"
#include "platform/Texts.h"

#include <QString>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kFixedSize = 22;    // what the listing loop reads of every header
constexpr int kMethodAt = 2;
constexpr int kMethodLength = 5;
constexpr int kPackedAt = 7;
constexpr int kOriginalAt = 11;
constexpr int kTimeAt = 15;
constexpr int kAttrAt = 19;
constexpr int kLevelAt = 20;
constexpr int kNameLengthAt = 21;
constexpr int kNameAt = 22;
constexpr int kChecksumAt = 1;
constexpr int kL2CrcAt = 21;
constexpr int kL2ExtSizeAt = 24;
constexpr int kL2FixedSize = 26;

constexpr uint8_t kExtCrc = 0x00;
constexpr uint8_t kExtName = 0x01;
constexpr uint8_t kExtFolder = 0x02;
constexpr uint8_t kExtAttr = 0x40;
constexpr uint8_t kExtSizes = 0x42;
constexpr uint8_t kExtUnicodeName = 0x44;
constexpr uint8_t kExtUnicodeFolder = 0x45;
constexpr uint8_t kExtUnixTime = 0x54;
constexpr int kExtMinSize = 3;    // type byte and the next size

constexpr uint8_t kAttrFolder = 0x10;
constexpr uint16_t kInternalAttr = 32;

constexpr int ArcErrHeaderCrc = 25136;

// One member header as read.
struct TLhaHeader
{
    int level = 0;
    char method[kMethodLength] = {};
    uint64_t packed = 0;    // the data only, without level 1's extended headers
    uint64_t original = 0;
    uint32_t dosTime = 0;
    int64_t unixTime = -1;  // -1 when the header keeps a DOS time only
    uint8_t attr = 0x20;
    uint16_t crc = 0;
    QByteArray name;        // stored bytes
    QByteArray folder;      // stored bytes, "\" between the parts
    QString unicodeName;    // from 44h/45h, when present
    QString unicodeFolder;
    bool hasUnicodeName = false;
    int64_t dataAt = 0;
    int64_t nextAt = 0;

    bool isFolder() const { return std::memcmp(method, "-lhd-", kMethodLength) == 0; }
};

// The header at `at`: 0 with h filled, -1 at the end of the archive (a zero
// byte, too few bytes for a header, or bytes that carry no method id), else
// the error code: 25108 for an inconsistent header, 25135 for one cut short,
// 25136 for a checksum or CRC that does not match, 25204 for level 3.
class THeaderReader
{
public:
    explicit THeaderReader(TArcSource &src) : m_src(src) {}

    int read(int64_t at, TLhaHeader &h)
    {
        h = TLhaHeader();
        const uint8_t *fixed = fetch(at, kFixedSize);
        if (!fixed || fixed[0] == 0)
            return -1;
        if (fixed[kMethodAt] != '-' || fixed[kMethodAt + 4] != '-')
            return -1;
        std::memcpy(h.method, fixed + kMethodAt, kMethodLength);
        h.level = fixed[kLevelAt];
        switch (h.level) {
        case 0:
        case 1:
            return readLevel01(at, h);
        case 2:
            return readLevel2(at, h);
        case 3:
            return ArcErrUnsupportedVersion;
        default:
            return ArcErrBadFileHeader;
        }
    }

private:
    int readLevel01(int64_t at, TLhaHeader &h)
    {
        const uint8_t *first = fetch(at, 1);
        const int total = first ? first[0] + 2 : 0;
        const uint8_t *b = first ? fetch(at, total) : nullptr;
        if (!b)
            return ArcErrReadFile;
        const QByteArrayView hv(reinterpret_cast<const char *>(b), total);
        const int nameLength = b[kNameLengthAt];
        const int crcAt = kNameAt + nameLength;
        // Level 0 ends with the CRC (and maybe an OS extension); level 1 adds an OS id and the first size.
        if (total < crcAt + 2 + (h.level == 1 ? 3 : 0))
            return ArcErrBadFileHeader;
        uint8_t sum = 0;
        for (int i = kMethodAt; i < total; ++i)
            sum = uint8_t(sum + b[i]);
        if (sum != b[kChecksumAt])
            return ArcErrHeaderCrc;
        h.packed = TByteReader::u32At(hv, kPackedAt);
        h.original = TByteReader::u32At(hv, kOriginalAt);
        h.dosTime = TByteReader::u32At(hv, kTimeAt);
        h.attr = b[kAttrAt];
        h.name = QByteArray(reinterpret_cast<const char *>(b + kNameAt), nameLength);
        h.crc = TByteReader::u16At(hv, crcAt);
        int64_t pos = at + total;
        if (h.level == 1) {
            // The extended headers stand in the data area and are counted in the packed size.
            uint32_t next = TByteReader::u16At(hv, total - 2);
            while (next != 0) {
                if (next < uint32_t(kExtMinSize) || next > h.packed)
                    return ArcErrBadFileHeader;
                const uint8_t *e = fetch(pos, int(next));
                if (!e)
                    return ArcErrReadFile;
                if (const int err = extension(h, e, int(next), nullptr))
                    return err;
                pos += next;
                h.packed -= next;
                next = uint32_t(e[next - 2] | (e[next - 1] << 8));
            }
        }
        return finish(h, pos);
    }

    int readLevel2(int64_t at, TLhaHeader &h)
    {
        const uint8_t *sizeBytes = fetch(at, 2);
        const int total = sizeBytes ? sizeBytes[0] | (sizeBytes[1] << 8) : 0;
        if (total < kL2FixedSize)
            return ArcErrBadFileHeader;
        const uint8_t *b = fetch(at, total);
        if (!b)
            return ArcErrReadFile;
        const QByteArrayView hv(reinterpret_cast<const char *>(b), total);
        h.packed = TByteReader::u32At(hv, kPackedAt);
        h.original = TByteReader::u32At(hv, kOriginalAt);
        h.unixTime = TByteReader::u32At(hv, kTimeAt);
        h.crc = TByteReader::u16At(hv, kL2CrcAt);
        int pos = kL2FixedSize;
        int crcField = -1;
        uint32_t next = TByteReader::u16At(hv, kL2ExtSizeAt);
        while (next != 0) {
            if (next < uint32_t(kExtMinSize) || next > uint32_t(total - pos))
                return ArcErrBadFileHeader;
            int crcAt = -1;
            if (const int err = extension(h, b + pos, int(next), &crcAt))
                return err;
            if (crcAt >= 0)
                crcField = pos + crcAt;
            pos += int(next);
            next = TByteReader::u16At(hv, pos - 2);
        }
        if (crcField >= 0) {
            // The CRC covers the whole header with its own two bytes as 0.
            const uint16_t stored = TByteReader::u16At(hv, crcField);
            const uint8_t zeros[2] = {0, 0};
            uint16_t crc = Crc16ArcUpdate(0, b, size_t(crcField));
            crc = Crc16ArcUpdate(crc, zeros, 2);
            crc = Crc16ArcUpdate(crc, b + crcField + 2, size_t(total - crcField - 2));
            if (crc != stored)
                return ArcErrHeaderCrc;
        }
        return finish(h, at + total);
    }

    // One extended header of n bytes at p (type, content, next size). For the
    // header CRC, *crcAt (when asked) gets the field's offset within it.
    static int extension(TLhaHeader &h, const uint8_t *p, int n, int *crcAt)
    {
        const QByteArrayView content(reinterpret_cast<const char *>(p + 1), n - kExtMinSize);
        switch (p[0]) {
        case kExtCrc:
            if (crcAt && content.size() >= 2)
                *crcAt = 1;
            break;
        case kExtName:
            h.name = content.toByteArray();
            break;
        case kExtFolder:
            h.folder = content.toByteArray();
            h.folder.replace('\xFF', '\\');
            break;
        case kExtAttr:
            if (!content.isEmpty())
                h.attr = uint8_t(content[0]);
            break;
        case kExtSizes:
            if (content.size() >= 16) {
                h.packed = TByteReader::u64At(content, 0);
                h.original = TByteReader::u64At(content, 8);
            }
            break;
        case kExtUnicodeName:
            h.unicodeName = utf16(content);
            h.hasUnicodeName = true;
            break;
        case kExtUnicodeFolder:
            h.unicodeFolder = utf16(content);
            h.unicodeFolder.replace(QChar(0xFFFF), QLatin1Char('\\'));
            h.hasUnicodeName = true;
            break;
        case kExtUnixTime:
            if (content.size() >= 4)
                h.unixTime = TByteReader::u32At(content, 0);
            break;
        default:
            break;
        }
        return 0;
    }

    static QString utf16(QByteArrayView bytes)
    {
        QString s;
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            s.append(QChar(char16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8))));
        return s;
    }

    int finish(TLhaHeader &h, int64_t dataAt)
    {
        if (h.packed > uint64_t(INT64_MAX - dataAt))
            return ArcErrBadFileHeader;
        h.dataAt = dataAt;
        h.nextAt = dataAt + int64_t(h.packed);
        return 0;
    }

    // The n bytes at `at` (n at most 65,536), or null when the archive ends
    // first. They are served from a window read ahead in one piece, so a run
    // of small headers costs one read per window rather than several each;
    // the pointer holds until the next call.
    const uint8_t *fetch(int64_t at, int n)
    {
        if (at < 0 || n < 0 || at > m_src.size() - n)
            return nullptr;
        if (at < m_winAt || at + n > m_winAt + m_winLength) {
            const int64_t length = std::min<int64_t>(kWindow, m_src.size() - at);
            if (!m_src.readAt(at, m_window, length))
                return nullptr;
            m_winAt = at;
            m_winLength = length;
        }
        return m_window + (at - m_winAt);
    }

    static constexpr int64_t kWindow = 131072;   // twice the largest header or extended header
    TArcSource &m_src;
    int64_t m_winAt = 0;
    int64_t m_winLength = 0;
    uint8_t m_window[kWindow];
};

// The member's path inside the archive: folder and name, "\" between parts,
// UTF-8 (the UTF-16 names when stored, else the stored bytes under the DOS
// rule); a folder entry ends in "\".
QByteArray memberName(const TLhaHeader &h)
{
    QByteArray name;
    if (h.hasUnicodeName) {
        QString folder = h.unicodeFolder;
        if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('\\')))
            folder += QLatin1Char('\\');
        name = (folder + (h.unicodeName.isEmpty() ? QString::fromUtf8(DosBytesToUtf8(h.name)) : h.unicodeName))
                   .toUtf8();
    } else {
        QByteArray bytes = h.folder;
        if (!bytes.isEmpty() && !bytes.endsWith('\\'))
            bytes += '\\';
        bytes += h.name;
        bytes.replace('\xFF', '\\');
        name = DosBytesToUtf8(bytes);
    }
    name.replace('/', '\\');
    if (h.isFolder() && !name.isEmpty() && !name.endsWith('\\'))
        name += '\\';
    return name;
}

// The method's digit (-lh5- gives 5), or the character's code for a letter (-lhd- gives 'd').
int methodCode(const TLhaHeader &h)
{
    const char c = h.method[3];
    return c >= '0' && c <= '9' ? c - '0' : uint8_t(c);
}

// The member's modification time: the Unix time when the header has one, else its DOS time.
void setDates(TArcLister &lister, const TLhaHeader &h)
{
    if (h.unixTime >= 0) {
        lister.MemberDosDate = NormalizedDosDateTime(UnixToDosDateTime(h.unixTime));
        lister.MemberDate = UnixToDateTime(h.unixTime);
    } else {
        lister.MemberDosDate = NormalizedDosDateTime(h.dosTime);
        lister.MemberDate = DosDateTimeToDateTime(lister.MemberDosDate);
    }
}

class LhaListReader : public TArcListReader
{
public:
    int headerSize() const override { return kFixedSize; }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        lister.position = lister.startOffset() - 1;
        lister.endOfMembers = src.size();
        m_reader = std::make_unique<THeaderReader>(src);
    }

    Step step(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t headerOffset) override
    {
        (void)src;
        (void)fixed;
        TLhaHeader h;
        const int result = m_reader->read(headerOffset, h);
        if (result < 0)
            return Step::End;
        if (result > 0)
            lister.raiseError(result);
        lister.MemberName = memberName(h);
        lister.PackedSize = h.packed;
        lister.UnpackedSize = h.original;
        lister.MemberCRC = h.crc;
        lister.MethodCode = methodCode(h);
        lister.MemberAttr = h.isFolder() ? h.attr | kAttrFolder : h.attr;
        lister.InternalAttr = kInternalAttr;
        setDates(lister, h);
        lister.Ratio = TArcLister::ratioOf(h.packed, h.original);
        lister.position = h.nextAt;
        return Step::Report;
    }

private:
    std::unique_ptr<THeaderReader> m_reader;
};

} // namespace

std::unique_ptr<TArcListReader> MakeLhaListReader()
{
    return std::make_unique<LhaListReader>();
}

bool TUnLHA::acceptsType(TArcType type) const
{
    return type == TArcType::LHA || type == TArcType::LhaExe || type == TArcType::LZH || type == TArcType::LzhExe;
}

int TUnLHA::extractMembers(TArcSource &src, const QString &root)
{
    auto reader = std::make_unique<THeaderReader>(src);
    int extracted = 0;
    int handled = 0;
    int refusal = 0;
    TLhaHeader h;
    for (int64_t at = startOffset() - 1;; at = h.nextAt) {
        const int result = reader->read(at, h);
        if (result < 0)
            break;
        if (result > 0)
            raiseError(result);

        const QString stored = QString::fromUtf8(memberName(h));
        const QString rel = SafeOutputPath(stored, ExtractDir, UseStoredDirs);
        if (rel.isEmpty()) {
            if (!h.isFolder())
                warn(ArcErrInvalidFileName);
            continue;
        }
        if (!MatchesFileSpec(m_fileSpec, stored))
            continue;
        const TLhaMethod *method = FindLhaMethod(h.method);
        if (!method) {
            warn(ArcErrUnsupportedMethod);
            refusal = ArcErrUnsupportedMethod;
            continue;
        }
        if (h.isFolder()) {
            // A folder entry makes its folder where stored folders are kept; it has no data.
            // One whose name holds "|" is a symbolic link ("name|target"): links are never made.
            if (UseStoredDirs && !stored.contains(QLatin1Char('|'))) {
                if (prepareFolder(root + QLatin1Char('/') + rel, root))
                    ++extracted;
                else
                    warn(ArcErrOpenFile);
            }
            continue;
        }
        if (h.original > OutputLimit) {
            warn(ArcErrBadLengths);
            refusal = ArcErrBadLengths;
            continue;
        }

        TMemberFile file(*this, root, rel, h.original, h.original);
        if (!file.open(++handled))
            continue;
        TMemberInput in(src, h.dataAt, h.packed);
        TCrc16Output out(file);
        DecodeParams params;
        params.packedSize = h.packed;
        params.unpackedSize = h.original;
        params.dictBits = method->dictBits;
        const DecodeStatus status = method->decode(in, out, params);
        if (status != DecodeStatus::Ok) {
            file.discard();
            const int code = status == DecodeStatus::Truncated     ? int(ArcErrReadFile)
                             : status == DecodeStatus::OutputError ? int(ArcErrWriteFile)
                             : status == DecodeStatus::Unsupported ? int(ArcErrUnsupportedMethod)
                                                                   : int(ArcErrInvalidCode);
            warn(code);
            refusal = code;
            continue;
        }
        const int64_t mtime = h.unixTime >= 0 ? h.unixTime : DosToUnix(NormalizedDosDateTime(h.dosTime)).value_or(-1);
        if (file.commit(mtime, out.crc() == h.crc))
            ++extracted;
    }
    if (extracted == 0 && refusal != 0)
        throw EArcError(refusal);   // already reported through OnError
    return extracted;
}

std::unique_ptr<TUnBase> MakeUnLHA()
{
    return std::make_unique<TUnLHA>();
}
