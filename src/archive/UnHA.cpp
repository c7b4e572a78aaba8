// The HA directory reader. An HA archive is "HA", a 16-bit member count and
// the members one after the other, each a header followed by its packed data.
// Members are listed only: their methods (HSC's context modelling and ASC's
// arithmetic coder) are not decoded here.
#include "archive/ArchiveTypes.h"
#include "archive/ArcLister.h"

#include "platform/ByteReader.h"
#include "platform/Texts.h"

#include <algorithm>
#include <cstring>

namespace {

// Archive header (4 bytes): | 0 "HA" | 2 member count (16-bit) |; the first member header follows.
constexpr int kArchiveHeaderSize = 4;

// Member header (17 bytes, then the texts):
// +-------------------+--------+----------+--------+-----------+------+------+-----------+-----------+
// | 0                 | 1      | 5        | 9      | 13        | 17   |      |           |           |
// | version << 4 |    | packed | original | CRC-32 | Unix time | path | name | info size | info ...  |
// |   method          | size   | size     |        | (UTC)     | \0   | \0   | (8-bit)   |           |
// +-------------------+--------+----------+--------+-----------+------+------+-----------+-----------+
// The path's folders end with FFh each (HA's own separator). The system-specific info after the
// names (DOS: a type byte and the attributes; Unix: a type byte, the mode, owner and group) has
// the size its first byte says; the packed data follows it.
constexpr int kFixedSize = 17;
// The lister reads the fixed part and the first byte of the path, which every header has.
constexpr int kHeaderSize = kFixedSize + 1;
constexpr int kPackedAt = 1;
constexpr int kOriginalAt = 5;
constexpr int kCrcAt = 9;
constexpr int kTimeAt = 13;
constexpr uint8_t kPathSeparator = 0xFF;

// Methods (the low nibble of the first byte).
constexpr int kMethodCpy = 0;
constexpr int kMethodAsc = 1;
constexpr int kMethodHsc = 2;
constexpr int kMethodDir = 14;
constexpr int kMethodSpecial = 15;

// A path or name longer than this is no HA header (HA itself keeps paths of a few hundred bytes).
constexpr int kTextLimit = 4095;

constexpr uint32_t kAttrFolder = 0x10;

// Reads the zero-terminated text at pos (at most kTextLimit bytes); pos moves past its terminator.
// 0, or the error: 25135 when the file ends first, 25108 when the text is too long.
int readText(TArcSource &src, int64_t &pos, QByteArray &text)
{
    text.clear();
    char chunk[512];
    for (;;) {
        const int64_t n = std::min<int64_t>(src.size() - pos, sizeof chunk);
        if (n <= 0 || !src.readAt(pos, chunk, n))
            return ArcErrReadFile;
        const char *nul = static_cast<const char *>(std::memchr(chunk, 0, size_t(n)));
        const int64_t take = nul ? nul - chunk : n;
        if (text.size() + take > kTextLimit)
            return ArcErrBadFileHeader;
        text.append(chunk, take);
        pos += take;
        if (nul) {
            ++pos;
            return 0;
        }
    }
}

class HaListReader : public TArcListReader
{
public:
    int headerSize() const override { return kHeaderSize; }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        lister.position = lister.startOffset() - 1 + kArchiveHeaderSize;
        lister.endOfMembers = src.size();
    }

    Step step(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t headerOffset) override
    {
        const int method = uint8_t(fixed[0]) & 0x0F;
        if (method != kMethodCpy && method != kMethodAsc && method != kMethodHsc && method != kMethodDir &&
            method != kMethodSpecial)
            return Step::End; // no member header: the end of what can be read
        int64_t pos = headerOffset + kFixedSize;
        QByteArray path, name;
        for (QByteArray *text : {&path, &name})
            if (const int error = readText(src, pos, *text))
                lister.raiseError(error);
        char infoSize = 0;
        if (!src.readAt(pos, &infoSize, 1))
            lister.raiseError(ArcErrReadFile);
        pos += 1 + uint8_t(infoSize);
        const uint32_t packed = TByteReader::u32At(fixed, kPackedAt);
        if (pos > src.size() || packed > src.size() - pos)
            lister.raiseError(ArcErrReadFile);
        lister.position = pos + packed;

        path.replace(char(kPathSeparator), '\\');
        lister.MemberName = DosBytesToUtf8(path + name);
        lister.MemberName.replace('/', '\\');
        lister.PackedSize = packed;
        lister.UnpackedSize = TByteReader::u32At(fixed, kOriginalAt);
        lister.MemberCRC = TByteReader::u32At(fixed, kCrcAt);
        // The stored time (the moment, in UTC), not the time of listing: it keeps a catalog's
        // dates what the archive says.
        const int64_t time = TByteReader::u32At(fixed, kTimeAt);
        lister.MemberDosDate = NormalizedDosDateTime(UnixToDosDateTime(time));
        lister.MemberDate = UnixToDateTime(time);
        lister.MethodCode = method;
        lister.VersionMadeBy = lister.VersionNeeded = uint8_t(fixed[0]) >> 4;
        // A folder entry is a folder, so that the catalog does not take it for an empty file.
        lister.MemberAttr = method == kMethodDir ? kAttrFolder : 32;
        lister.Ratio = TArcLister::ratioOf(lister.PackedSize, lister.UnpackedSize);
        return Step::Report;
    }
};

} // namespace

std::unique_ptr<TArcListReader> MakeHaListReader()
{
    return std::make_unique<HaListReader>();
}
