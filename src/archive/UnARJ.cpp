// ARJ archives: the directory reader and the extractor. An archive is a main
// header followed by one header per member, each with the member's packed
// data after it, and an empty header at the end. A member too large for one
// volume goes on in the next volume file (X.ARJ, X.A01 .. X.A99, X.100 ..
// X.999), each part with its own header, sizes and CRC-32; the lister reports
// the member once with the sums, the extractor joins the parts.
#include "archive/ArcLister.h"
#include "archive/ArchiveTypes.h"
#include "archive/MemberInput.h"
#include "archive/UnBase.h"
#include "archive/decoders/Crc32.h"
#include "archive/decoders/Decoder.h"
#include "platform/ByteReader.h"
#include "platform/DosTime.h"
#include "platform/Texts.h"

#include <QDir>
#include <QFileInfo>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

namespace {

// Header (offsets from the id; the basic header runs from byte 4 for "size" bytes):
// +------+------+-------+-----+-----+------+-------+--------+------+------+------+
// | 0    | 2    | 4     | 5   | 6   | 7    | 8     | 9      | 10   | 12   | 16   |
// | 60EA | size | first | ver | min | host | flags | method | type | time | pack |
// +------+------+-------+-----+-----+------+-------+--------+------+------+------+
// | 20 orig | 24 crc32 | 28 entry pos | 30 mode | 32 host data | 34 ext pos ... |
// then at 4 + first: the name and the comment, each zero-terminated; after
// the basic header its CRC-32 (4 bytes); then extended headers, each a 16-bit
// size, that many bytes and a CRC-32, until a size of 0; then the data.
constexpr int kFixedSize = 34;        // id to host data: what the listing loop reads first
constexpr int kFirstPartMin = 30;     // the first part holds at least the fields up to host data
constexpr int kOffBasicSize = 2;
constexpr int kOffFirstSize = 4;
constexpr int kOffVersion = 5;
constexpr int kOffMinVersion = 6;
constexpr int kOffHost = 7;
constexpr int kOffFlags = 8;
constexpr int kOffMethod = 9;
constexpr int kOffFileType = 10;
constexpr int kOffTime = 12;
constexpr int kOffPacked = 16;
constexpr int kOffOriginal = 20;
constexpr int kOffCrc = 24;

constexpr uint8_t kId0 = 0x60;
constexpr uint8_t kId1 = 0xEA;
constexpr int kMaxBasicHeader = 2600;   // the format's largest basic header
constexpr int64_t kSearchLimit = 25000; // how far the extractor looks for the main header
constexpr int kCommentLimit = 2500;     // the longest comment taken
constexpr int kMaxVolume = 999;

constexpr uint8_t kFlagGarbled = 0x01;  // password protected
constexpr uint8_t kFlagVolume = 0x04;   // goes on in the next volume
constexpr uint8_t kFlagExtFile = 0x08;  // continued from the previous volume

constexpr uint8_t kTypeBinary = 0;
constexpr uint8_t kTypeText = 1;
constexpr uint8_t kTypeFolder = 3;

// Hosts whose archivers store the time as Unix seconds instead of a DOS date-time.
constexpr uint8_t kHostUnix = 2;
constexpr uint8_t kHostNext = 8;

// Methods 1 to 3 use 16 dictionary bits (and so 17 position codes).
constexpr int kArjDictBits = 16;

enum ArjErrors : int {
    ArcErrHeaderCrc = 25136, ArcErrFileNotFound = 25132, ArcErrMaxVolumes = 25150, ArcErrPassword = 25190,
    ArcErrVersion = 25302, ArcErrNextVolume = 25903,
};

struct ArjHeader {
    uint8_t version = 0, minVersion = 0, host = 0, flags = 0, method = 0, fileType = 0;
    uint32_t stamp = 0, packed = 0, original = 0, crc = 0;
    QByteArray name, comment; // as stored
    int64_t dataStart = 0;    // after the extended headers
};

enum class HeaderRead { Ok, End, BadId, BadHeader, BadCrc, Truncated };

// Reads the header at at. End: the empty header that closes an archive.
HeaderRead readArjHeader(TArcSource &src, int64_t at, ArjHeader &h)
{
    const int64_t size = src.size();
    uint8_t head[4];
    if (at < 0 || at > size - 4 || !src.readAt(at, head, 4))
        return HeaderRead::Truncated;
    if (head[0] != kId0 || head[1] != kId1)
        return HeaderRead::BadId;
    const int basicSize = head[2] | head[3] << 8;
    if (basicSize == 0)
        return HeaderRead::End;
    if (basicSize > kMaxBasicHeader)
        return HeaderRead::BadHeader;
    char buf[kMaxBasicHeader + 4];
    if (at + 4 + basicSize + 4 > size || !src.readAt(at + 4, buf, basicSize + 4))
        return HeaderRead::Truncated;
    const QByteArrayView basic(buf, basicSize);
    if (Crc32Update(0, buf, size_t(basicSize)) != TByteReader::u32At(QByteArrayView(buf, basicSize + 4), basicSize))
        return HeaderRead::BadCrc;
    const int first = uint8_t(buf[kOffFirstSize - 4]);
    if (first < kFirstPartMin || first > basicSize)
        return HeaderRead::BadHeader;
    auto byteAt = [&](int off) { return uint8_t(buf[off - 4]); };
    h.version = byteAt(kOffVersion);
    h.minVersion = byteAt(kOffMinVersion);
    h.host = byteAt(kOffHost);
    h.flags = byteAt(kOffFlags);
    h.method = byteAt(kOffMethod);
    h.fileType = byteAt(kOffFileType);
    h.stamp = TByteReader::u32At(basic, kOffTime - 4);
    h.packed = TByteReader::u32At(basic, kOffPacked - 4);
    h.original = TByteReader::u32At(basic, kOffOriginal - 4);
    h.crc = TByteReader::u32At(basic, kOffCrc - 4);
    // Name and comment: each up to its zero, or to the header's end when that is missing.
    const QByteArrayView texts = basic.sliced(first);
    const qsizetype nameEnd = texts.indexOf('\0');
    h.name = (nameEnd < 0 ? texts : texts.first(nameEnd)).toByteArray();
    h.comment.clear();
    if (nameEnd >= 0) {
        QByteArrayView rest = texts.sliced(nameEnd + 1);
        if (const qsizetype end = rest.indexOf('\0'); end >= 0)
            rest = rest.first(end);
        h.comment = rest.first(std::min<qsizetype>(rest.size(), kCommentLimit)).toByteArray();
    }
    // Extended headers are skipped; each takes at least 2 bytes, so the walk ends.
    int64_t pos = at + 4 + basicSize + 4;
    for (;;) {
        uint8_t len[2];
        if (pos > size - 2 || !src.readAt(pos, len, 2))
            return HeaderRead::Truncated;
        pos += 2;
        const int extSize = len[0] | len[1] << 8;
        if (extSize == 0)
            break;
        pos += extSize + 4;
        if (pos > size)
            return HeaderRead::Truncated;
    }
    h.dataStart = pos;
    return HeaderRead::Ok;
}

// A stored name or comment as UTF-8; names get "\" separators.
QByteArray storedText(const QByteArray &bytes, bool isName)
{
    QByteArray text = DosBytesToUtf8(bytes);
    if (isName)
        text.replace('/', '\\');
    return text;
}

// The member's time as a DOS date-time and as Unix seconds (-1 when it has none).
uint32_t memberDos(const ArjHeader &h)
{
    const bool unixTime = h.host == kHostUnix || h.host == kHostNext;
    return NormalizedDosDateTime(unixTime ? UnixToDosDateTime(int64_t(h.stamp)) : h.stamp);
}

int64_t memberUnixTime(const ArjHeader &h)
{
    if (h.host == kHostUnix || h.host == kHostNext)
        return int64_t(h.stamp);
    return DosToUnix(NormalizedDosDateTime(h.stamp)).value_or(-1);
}

// The path of the n-th volume of archive: the archive's path with the extension of volume n.
QString volumeName(const QString &archive, int n)
{
    const QString file = QFileInfo(archive).fileName();
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    return archive.left(archive.size() - file.size() + (dot > 0 ? dot : file.size())) + QLatin1Char('.') +
           ArjVolumeExtension(n);
}

// The n-th volume of archive, looked up by volumeName and then, on disk, without regard
// to case in the archive's folder (volumes come from FAT and ISO media, whose names may
// be stored in any case). Empty when missing.
QString findVolume(const QString &archive, int n, const std::function<bool(const QString &)> &exists, bool onDisk)
{
    const QString exact = volumeName(archive, n);
    if (exists(exact))
        return exact;
    const QString wanted = QFileInfo(exact).fileName();
    const QString folder = exact.left(exact.size() - wanted.size());
    if (!onDisk)
        return {};
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    for (const QString &entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (entry.compare(wanted, Qt::CaseInsensitive) == 0)
            return folder + entry;
    return {};
}

// Reads through a window of the archive, so that headers close together (small members)
// cost one read of the file between them instead of several each.
class WindowSource : public TArcSource
{
public:
    // Reads from src from now on, forgetting what was read before.
    void reset(TArcSource &src)
    {
        m_src = &src;
        m_len = 0;
    }
    int64_t size() const override { return m_src->size(); }
    bool readAt(int64_t offset, void *buf, int64_t n) override
    {
        if (offset < m_start || offset + n > m_start + m_len) {
            const int64_t len = std::min<int64_t>(kWindow, size() - offset);
            if (offset < 0 || n > len)
                return n > kWindow && m_src->readAt(offset, buf, n);
            m_len = 0;
            if (!m_src->readAt(offset, m_buf, len))
                return false;
            m_start = offset;
            m_len = len;
        }
        std::memcpy(buf, m_buf + (offset - m_start), size_t(n));
        return true;
    }

private:
    static constexpr int64_t kWindow = 16384;
    TArcSource *m_src = nullptr;
    int64_t m_start = 0;
    int64_t m_len = 0;
    char m_buf[kWindow];
};

class ArjListReader : public TArcListReader
{
public:
    int headerSize() const override { return kFixedSize; }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        lister.position = lister.startOffset() - 1;
        lister.endOfMembers = src.size();
        m_window.reset(src);
        ArjHeader main;
        const HeaderRead read = readArjHeader(m_window, lister.position, main);
        if (read == HeaderRead::BadId || read == HeaderRead::End) {
            lister.position = lister.endOfMembers;
            return;
        }
        if (read != HeaderRead::Ok)
            raise(lister, read);
        if (!main.comment.isEmpty())
            lister.ArchiveComment = storedText(main.comment, false);
        lister.position = main.dataStart;
    }

    Step step(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t headerOffset) override
    {
        if (uint8_t(fixed[0]) != kId0 || uint8_t(fixed[1]) != kId1 || TByteReader::u16At(fixed, kOffBasicSize) == 0)
            return Step::End;
        ArjHeader h;
        (void)src; // the window reads it
        const HeaderRead read = readArjHeader(m_window, headerOffset, h);
        if (read == HeaderRead::End || read == HeaderRead::BadId)
            return Step::End;
        if (read != HeaderRead::Ok)
            raise(lister, read);

        lister.MemberName = storedText(h.name, true);
        if (!h.comment.isEmpty())
            lister.MemberComment = storedText(h.comment, false);
        lister.VersionMadeBy = h.version;
        lister.VersionNeeded = h.minVersion;
        lister.MethodCode = h.method;
        // Folder entries are told apart from files; everything else has no attributes here.
        lister.MemberAttr = h.fileType == kTypeFolder ? 16 : 32;
        lister.MemberDosDate = memberDos(h);
        // A Unix time keeps its odd seconds; one outside the DOS range is 1 January 1980 as any other.
        const bool unixTime = (h.host == kHostUnix || h.host == kHostNext) && UnixToDos(int64_t(h.stamp)) != 0;
        lister.MemberDate = unixTime ? UnixToDateTime(int64_t(h.stamp)) : DosDateTimeToDateTime(lister.MemberDosDate);
        uint64_t packed = h.packed;
        uint64_t original = h.original;
        uint32_t crc = h.crc;
        ArjHeader part = h;
        while (part.flags & kFlagVolume) {
            ArjHeader next;
            nextVolume(lister, next);
            packed += next.packed;
            original += next.original;
            // The whole member's CRC-32 from those of its parts.
            crc = uint32_t(crc32_combine64(crc, next.crc, z_off64_t(next.original)));
            part = next;
        }
        lister.PackedSize = packed;
        lister.UnpackedSize = original;
        lister.MemberCRC = crc;
        lister.Ratio = TArcLister::ratioOf(packed, original);
        lister.position = part.dataStart + int64_t(part.packed);
        return Step::Report;
    }

private:
    [[noreturn]] static void raise(TArcLister &lister, HeaderRead read)
    {
        switch (read) {
        case HeaderRead::BadCrc:
            lister.raiseError(ArcErrHeaderCrc);
        case HeaderRead::Truncated:
            lister.raiseError(ArcErrReadFile);
        default:
            lister.raiseError(ArcErrBadFileHeader);
        }
    }

    // Moves the listing on to the next volume and reads the header of the member's next part there.
    void nextVolume(TArcLister &lister, ArjHeader &next)
    {
        if (++m_volume > kMaxVolume)
            lister.raiseError(ArcErrMaxVolumes);
        // An archive held in memory finds its volumes among those it was given, by exact name.
        const bool onDisk = QFileInfo(lister.archiveFile()).isFile();
        auto exists = [&lister](const QString &path) { return lister.volumeExists(path); };
        QString path = findVolume(lister.archiveFile(), m_volume, exists, onDisk);
        if (path.isEmpty()) {
            // The warning asks for the volume (a disk to insert); it is looked for once more.
            if (lister.OnError)
                lister.OnError(&lister, volumeName(lister.archiveFile(), m_volume), ArjVolumeExtension(m_volume),
                               ArcErrNextVolume);
            path = findVolume(lister.archiveFile(), m_volume, exists, onDisk);
            if (path.isEmpty())
                lister.raiseError(ArcErrFileNotFound);
        }
        if (!lister.openVolume(path))
            lister.raiseError(ArcErrReadFile);
        m_window.reset(lister.source());
        ArjHeader main;
        HeaderRead read = readArjHeader(m_window, 0, main);
        if (read != HeaderRead::Ok)
            raise(lister, read);
        read = readArjHeader(m_window, main.dataStart, next);
        if (read != HeaderRead::Ok)
            raise(lister, read == HeaderRead::End ? HeaderRead::BadHeader : read);
        if (!(next.flags & kFlagExtFile))
            lister.raiseError(ArcErrBadFileHeader);
    }

    int m_volume = 0;
    WindowSource m_window;
};

// The unpacked bytes of one part into the member's file, with the part's own CRC-32
// when the member has several parts.
class PartOutput : public DecodeOutput
{
public:
    PartOutput(TMemberFile &file, bool ownCrc) : m_file(file), m_ownCrc(ownCrc) {}
    bool Write(const uint8_t *data, size_t n) override
    {
        if (m_ownCrc)
            m_crc = Crc32Update(m_crc, data, n);
        return m_file.write(reinterpret_cast<const char *>(data), int64_t(n));
    }
    uint32_t crc() const { return m_ownCrc ? m_crc : m_file.crc(); }

private:
    TMemberFile &m_file;
    bool m_ownCrc;
    uint32_t m_crc = 0;
};

} // namespace

std::unique_ptr<TArcListReader> MakeArjListReader()
{
    return std::make_unique<ArjListReader>();
}

// The ARJ extractor.
class TUnARJ : public TUnBase
{
protected:
    bool acceptsType(TArcType type) const override { return type == TArcType::ARJ || type == TArcType::ArjExe; }
    void checkArchive(TArcSource &src) override;
    int extractMembers(TArcSource &src, const QString &root) override;

private:
    [[noreturn]] void raiseRead(HeaderRead read, bool first);
    // Switches to the next volume: cur and its owner change, next is the part's header there.
    void nextVolume(TArcSource *&cur, std::unique_ptr<TArcSource> &owned, ArjHeader &next);
    // The refusal code of a part's header, 0 when it can be extracted.
    static int refusal(const ArjHeader &h);

    int64_t m_mainAt = 0;
    int m_volume = 0;
};

void TUnARJ::raiseRead(HeaderRead read, bool first)
{
    switch (read) {
    case HeaderRead::BadId:
        raiseError(first ? ArcErrBadFileHeader : ArcErrInvalidArchive);
    case HeaderRead::BadCrc:
        raiseError(ArcErrHeaderCrc);
    case HeaderRead::Truncated:
        raiseError(ArcErrReadFile);
    default:
        raiseError(ArcErrBadFileHeader);
    }
}

// The main header is looked for: the first 60h EAh within the search limit whose
// basic header is of a possible size and matches its CRC-32. A self-extractor's
// archive starts where detection found it, so the limit counts from there.
void TUnARJ::checkArchive(TArcSource &src)
{
    m_volume = 0;
    const int64_t start = std::max<int64_t>(0, startOffset() - 1);
    const int64_t size = src.size();
    const int64_t last = m_det.type == TArcType::ArjExe ? std::min(size - 4, start + kSearchLimit)
                                                         : std::min(size - 4, std::min(size - 2, kSearchLimit));
    if (last < start)
        raiseError(ArcErrInvalidArchive);
    const int64_t span = std::min(size - start, last - start + 4 + kMaxBasicHeader + 4);
    QByteArray window(span, Qt::Uninitialized);
    if (!src.readAt(start, window.data(), span))
        raiseError(ArcErrSeek);
    const auto *bytes = reinterpret_cast<const uint8_t *>(window.constData());
    for (int64_t p = 0; p <= last - start; ++p) {
        const void *hit = std::memchr(bytes + p, kId0, size_t(last - start - p + 1));
        if (!hit)
            break;
        p = static_cast<const uint8_t *>(hit) - bytes;
        if (bytes[p + 1] != kId1)
            continue;
        const int basicSize = bytes[p + 2] | bytes[p + 3] << 8;
        if (basicSize == 0 || basicSize > kMaxBasicHeader || p + 4 + basicSize + 4 > span)
            continue;
        const QByteArrayView crcBytes(window.constData() + p + 4 + basicSize, 4);
        if (Crc32Update(0, bytes + p + 4, size_t(basicSize)) != TByteReader::u32At(crcBytes, 0))
            continue;
        ArjHeader main;
        if (readArjHeader(src, start + p, main) != HeaderRead::Ok)
            continue;
        m_mainAt = start + p;
        return;
    }
    raiseError(ArcErrInvalidArchive);
}

int TUnARJ::refusal(const ArjHeader &h)
{
    if (h.minVersion >= 4)
        return ArcErrVersion;
    if (h.flags & kFlagGarbled)
        return ArcErrPassword;
    // Method 4 did not exist in the first archiver version.
    if (h.method > 4 || (h.method == 4 && h.version == 1))
        return ArcErrUnsupportedMethod;
    if (h.fileType != kTypeBinary && h.fileType != kTypeText)
        return ArcErrUnknownType;
    return 0;
}

void TUnARJ::nextVolume(TArcSource *&cur, std::unique_ptr<TArcSource> &owned, ArjHeader &next)
{
    if (++m_volume > kMaxVolume)
        raiseError(ArcErrMaxVolumes);
    // An archive held in memory finds its volumes among those it was given.
    auto exists = [this](const QString &path) { return volumeExists(path); };
    const QString path = findVolume(m_archiveFile, m_volume, exists, !m_fromMemory);
    if (OnError)
        OnError(this, path.isEmpty() ? m_archiveFile : path, ArjVolumeExtension(m_volume), ArcErrNextVolume);
    if (path.isEmpty())
        raiseError(ArcErrFileNotFound);
    std::unique_ptr<TArcSource> file = openVolumeSource(path);
    if (!file)
        raiseError(ArcErrReadFile);
    if (!closeVolume(owned.get()))
        raiseError(ArcErrCloseFile);
    owned = std::move(file);
    cur = owned.get();
    ArjHeader main;
    HeaderRead read = readArjHeader(*cur, 0, main);
    if (read != HeaderRead::Ok)
        raiseRead(read, false);
    read = readArjHeader(*cur, main.dataStart, next);
    if (read != HeaderRead::Ok)
        raiseRead(read == HeaderRead::End ? HeaderRead::BadHeader : read, false);
    if (!(next.flags & kFlagExtFile))
        raiseError(ArcErrBadFileHeader);
}

int TUnARJ::extractMembers(TArcSource &src, const QString &root)
{
    TArcSource *cur = &src;
    std::unique_ptr<TArcSource> owned; // a later volume
    ArjHeader main;
    if (readArjHeader(src, m_mainAt, main) != HeaderRead::Ok)
        raiseError(ArcErrInvalidArchive);
    int64_t at = main.dataStart;
    // A mask without wildcards names one member: the extraction ends with it.
    const bool oneMember = !m_fileSpec.contains(QLatin1Char('*')) && !m_fileSpec.contains(QLatin1Char('?'));
    int recNum = 0;
    int extracted = 0;
    for (;;) {
        // A member cut short ended the archive; it was reported when its data ran out.
        if (at >= cur->size())
            break;
        ArjHeader h;
        const HeaderRead read = readArjHeader(*cur, at, h);
        if (read == HeaderRead::End)
            break;
        if (read != HeaderRead::Ok)
            raiseRead(read, false);
        at = h.dataStart + int64_t(h.packed);
        ++recNum;

        // Skips the rest of a member that is not extracted, through the volumes it spans.
        auto skipParts = [&](ArjHeader part) {
            while (part.flags & kFlagVolume) {
                nextVolume(cur, owned, part);
                at = part.dataStart + int64_t(part.packed);
            }
        };

        const QString stored = QString::fromUtf8(storedText(h.name, true));
        if (h.fileType == kTypeFolder) {
            // Folder entries make their folder when stored folders are kept; they hold no data.
            if (UseStoredDirs && MatchesFileSpec(m_fileSpec, stored)) {
                const QString rel = SafeOutputPath(stored, ExtractDir, true);
                if (!rel.isEmpty() && !prepareFolder(root + QLatin1Char('/') + rel, root))
                    warn(ArcErrOpenFile);
            }
            skipParts(h);
            continue;
        }
        const QString rel = selectedOutputPath(stored);
        if (rel.isEmpty()) {
            skipParts(h);
            continue;
        }
        // The start of a member whose first part lies in an earlier volume cannot be extracted alone.
        int refused = (h.flags & kFlagExtFile) ? int(ArcErrFileNotFound) : refusal(h);
        if (!refused && h.original > OutputLimit)
            refused = ArcErrBadLengths;
        if (refused) {
            warn(refused);
            skipParts(h);
            continue;
        }

        const bool multiPart = h.flags & kFlagVolume;
        TMemberFile out(*this, root, rel, h.original);
        if (!out.open(recNum)) {
            skipParts(h);
            continue;
        }
        bool crcPass = true;
        int failure = 0;
        ArjHeader part = h;
        for (;;) {
            if (part.dataStart + int64_t(part.packed) > cur->size()) {
                failure = ArcErrReadFile;
                break;
            }
            const TDecoderEntry *decoder = FindArjDecoder(part.method);
            if (!decoder) {
                failure = ArcErrUnsupportedMethod;
                break;
            }
            TMemberInput in(*cur, part.dataStart, part.packed);
            PartOutput sink(out, multiPart);
            DecodeParams params;
            params.method = part.method;
            params.packedSize = part.packed;
            params.unpackedSize = part.original;
            params.dictBits = kArjDictBits;
            const DecodeStatus status = decoder->decode(in, sink, params);
            if (status != DecodeStatus::Ok) {
                failure = status == DecodeStatus::Truncated     ? int(ArcErrReadFile)
                          : status == DecodeStatus::Unsupported ? int(ArcErrUnsupportedMethod)
                          : status == DecodeStatus::OutputError ? (out.overCap() ? int(ArcErrBadLengths)
                                                                                 : int(ArcErrWriteFile))
                                                                : int(ArcErrInvalidCode);
                break;
            }
            crcPass = crcPass && sink.crc() == part.crc;
            if (!(part.flags & kFlagVolume))
                break;
            nextVolume(cur, owned, part);
            at = part.dataStart + int64_t(part.packed);
            if (const int code = refusal(part)) {
                failure = code;
                break;
            }
        }
        if (failure) {
            out.discard();
            warn(failure);
            skipParts(part);
            continue;
        }
        if (out.commit(memberUnixTime(h), crcPass))
            ++extracted;
        if (oneMember && extracted > 0)
            break;
    }
    if (!closeVolume(owned.get()))
        raiseError(ArcErrCloseFile);
    return extracted;
}

std::unique_ptr<TUnBase> MakeUnARJ()
{
    return std::make_unique<TUnARJ>();
}
