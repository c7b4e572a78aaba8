// The RAR block walk: both header layouts, the Unicode name encoding of RAR
// 1.5-4, members split over volumes, and the names of later volumes.
#include "archive/RarHeaders.h"

#include "archive/ArcErrors.h"
#include "archive/decoders/Crc32.h"
#include "platform/ByteReader.h"
#include "platform/Texts.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>


namespace {

// RAR 1.5-4 blocks. Every block starts with the same 7 bytes; bit 8000h of the
// flags says that a 32-bit size of data after the header follows them:
//
// +-----------+------+-------+-----------+--------------------+
// | 0         | 2    | 3     | 5         | 7 (flags & 8000h)  |
// | head CRC  | type | flags | head size | added data size    |
// +-----------+------+-------+-----------+--------------------+
//
// The head CRC is the low 16 bits of the CRC-32 of the header from offset 2.
// File header (type 74h), 32 bytes before the name:
// 7 packed size, 11 unpacked size, 15 host OS, 16 file CRC, 20 DOS time,
// 24 version, 25 method, 26 name size, 28 attributes; then (flag 100h) the
// high halves of packed and unpacked size; then the name; then (flag 08h,
// RAR 1.5-2) a 13-byte comment block and its bytes.
constexpr char kMarker4[] = "Rar!\x1A\x07\x00";
constexpr char kMarker5[] = "Rar!\x1A\x07\x01\x00";
constexpr int kMarker4Size = 7;
constexpr int kMarker5Size = 8;
constexpr int kBaseSize = 7;
constexpr int kMainSize = 13;
constexpr int kFileSize = 32;
constexpr int kCommentBlockSize = 13;

constexpr int B_TYPE = 2;
constexpr int B_FLAGS = 3;
constexpr int B_SIZE = 5;
constexpr int B_ADD_SIZE = 7;
constexpr int F_PACK = 7;
constexpr int F_UNP = 11;
constexpr int F_HOST = 15;
constexpr int F_CRC = 16;
constexpr int F_TIME = 20;
constexpr int F_VER = 24;
constexpr int F_METHOD = 25;
constexpr int F_NAME_SIZE = 26;
constexpr int F_ATTR = 28;
constexpr int F_HIGH_PACK = 32;
constexpr int F_HIGH_UNP = 36;
constexpr int C_SIZE = 5;
constexpr int C_METHOD = 10;

constexpr uint8_t kTypeMain = 0x73;
constexpr uint8_t kTypeFile = 0x74;
constexpr uint8_t kTypeSub = 0x7A;
constexpr uint8_t kTypeEnd = 0x7B;
constexpr uint8_t kTypeFirst = 0x72;

constexpr uint16_t kLongBlock = 0x8000;
constexpr uint16_t kMainVolume = 0x0001;
constexpr uint16_t kMainComment = 0x0002;
constexpr uint16_t kMainSolid = 0x0008;
constexpr uint16_t kMainNewNaming = 0x0010;
constexpr uint16_t kMainEncryptedHeaders = 0x0080;
constexpr uint16_t kEndNextVolume = 0x0001;

constexpr uint8_t kHostUnix4 = 3;
constexpr uint8_t kHostUnix5 = 1;

// RAR 5 blocks: CRC-32 (of what follows it up to the header's end), the
// header size as a variable-length integer (counting from the type on), then
// type, flags, the extra area size (flag 1), the data size (flag 2), the
// type's own fields and the extra area at the end of the header.
constexpr int64_t kRar5MaxHeader = 2 * 1024 * 1024; // the format's own limit
constexpr uint64_t kHead5Main = 1, kHead5File = 2, kHead5Service = 3, kHead5Crypt = 4, kHead5End = 5;
constexpr uint64_t kFlag5Extra = 0x01, kFlag5Data = 0x02, kFlag5SplitBefore = 0x08, kFlag5SplitAfter = 0x10;
constexpr uint64_t kMain5Volume = 0x01, kMain5VolumeNumber = 0x02, kMain5Solid = 0x04;
constexpr uint64_t kFile5Directory = 0x01, kFile5Time = 0x02, kFile5Crc = 0x04;
constexpr uint64_t kExtra5Crypt = 1, kExtra5Time = 3, kExtra5Redirection = 5;
constexpr uint64_t kTime5Unix = 0x01, kTime5Mtime = 0x02;
constexpr uint64_t kEnd5More = 0x01;
// Seconds from 1601-01-01 (Windows file times) to 1970-01-01.
constexpr int64_t kFileTimeEpoch = 11644473600LL;

// A RAR 5 variable-length integer: 7 bits per byte, low first, at most 10 bytes.
uint64_t vint(TByteReader &r)
{
    uint64_t v = 0;
    for (int shift = 0; shift < 70; shift += 7) {
        const uint8_t b = r.u8();
        if (r.failed())
            return 0;
        if (shift < 64)
            v |= uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80))
            return v;
    }
    r.skip(-1); // more than 10 bytes: fail the reader
    return 0;
}

uint32_t unixModeToDos(uint32_t mode, bool directory)
{
    constexpr uint32_t kTypeMask = 0170000, kTypeDir = 0040000, kOwnerWrite = 0200;
    uint32_t dos = directory || (mode & kTypeMask) == kTypeDir ? 0x10 : 0x20;
    if (!(mode & kOwnerWrite))
        dos |= 0x01;
    return dos;
}

class Walker
{
public:
    Walker(const QString &firstName, const TRarOpenVolume &open) : m_name(firstName), m_open(open) {}

    TRarArchive run(TArcSource &first, int64_t start)
    {
        m_src = &first;
        m_ar.volumes << m_name;
        try {
            int64_t pos = openHead(start);
            while (pos >= 0)
                pos = m_ar.rar5 ? block5(pos) : block4(pos);
        } catch (const EArcError &e) {
            m_ar.error = e.code();
        }
        flushPending();
        return std::move(m_ar);
    }

private:
    [[noreturn]] static void fail(int code) { throw EArcError(code); }

    // n bytes at pos, served from a window of the file read ahead: headers are small and
    // close together, and a read from the system per header would cost more than the parsing.
    QByteArray readAt(int64_t pos, int64_t n)
    {
        if (pos < 0 || n < 0 || n > m_src->size() - pos)
            fail(ArcErrReadFile);
        if (m_windowSrc != m_src || pos < m_windowAt || pos + n > m_windowAt + m_window.size()) {
            const int64_t len = std::min<int64_t>(std::max<int64_t>(n, kWindow), m_src->size() - pos);
            m_window.resize(qsizetype(len));
            m_windowSrc = nullptr;
            if (!m_src->readAt(pos, m_window.data(), len))
                fail(ArcErrReadFile);
            m_windowSrc = m_src;
            m_windowAt = pos;
        }
        return m_window.mid(qsizetype(pos - m_windowAt), qsizetype(n));
    }

    // Reads the signature and the main header of the volume in m_src at start; the first block after them.
    int64_t openHead(int64_t start)
    {
        const QByteArray sig = readAt(start, std::min<int64_t>(kMarker5Size, m_src->size() - start));
        if (sig.startsWith(QByteArrayView(kMarker5, kMarker5Size))) {
            m_ar.rar5 = true;
            return start + kMarker5Size; // the main header is the first block
        }
        if (!sig.startsWith(QByteArrayView(kMarker4, kMarker4Size)))
            fail(ArcErrInvalidArchive);
        m_ar.rar5 = false;
        const int64_t at = start + kMarker4Size;
        const QByteArray base = readAt(at, kBaseSize);
        const uint16_t size = TByteReader::u16At(base, B_SIZE);
        if (uint8_t(base[B_TYPE]) != kTypeMain || size < kMainSize)
            fail(ArcErrBadFileHeader);
        const QByteArray head = readAt(at, size);
        checkCrc4(head);
        const uint16_t flags = TByteReader::u16At(head, B_FLAGS);
        if (flags & kMainEncryptedHeaders)
            fail(25190); // Password protected: the headers themselves are encrypted
        m_ar.volume = m_ar.volume || (flags & kMainVolume);
        m_ar.newNaming = m_ar.newNaming || (flags & kMainNewNaming);
        m_ar.solid = m_ar.solid || (flags & kMainSolid);
        // Only the flag tells of an inline comment: a 14-byte header (the version of its
        // encryption) has no comment, and RAR 3 keeps comments in a sub-block.
        if (flags & kMainComment)
            m_ar.hasComment = true;
        return at + size;
    }

    static void checkCrc4(QByteArrayView head)
    {
        const uint16_t stored = TByteReader::u16At(head, 0);
        const uint32_t crc = Crc32Update(0, head.data() + 2, size_t(head.size() - 2));
        if (uint16_t(crc) != stored)
            fail(25136); // Header CRC error
    }

    // One RAR 1.5-4 block at pos; the position of the next, or -1 at the end.
    int64_t block4(int64_t pos)
    {
        const int64_t size = m_src->size();
        if (pos >= size)
            return atVolumeEnd(false);
        if (size - pos < kBaseSize)
            fail(ArcErrReadFile);
        const QByteArray base = readAt(pos, kBaseSize);
        const uint8_t type = uint8_t(base[B_TYPE]);
        const uint16_t flags = TByteReader::u16At(base, B_FLAGS);
        const uint16_t headSize = TByteReader::u16At(base, B_SIZE);
        if (type < kTypeFirst || type > kTypeEnd) {
            // Not a block: whatever follows the archive (a tail some writers leave) ends it.
            return atVolumeEnd(false);
        }
        if (headSize < kBaseSize || ((flags & kLongBlock) && headSize < kBaseSize + 4))
            fail(ArcErrBadFileHeader);
        const QByteArray head = readAt(pos, headSize);
        if (type == kTypeEnd) {
            checkCrc4(head);
            return atVolumeEnd(true, flags & kEndNextVolume);
        }
        if (type == kTypeFile) {
            if (headSize < kFileSize)
                fail(ArcErrBadFileHeader);
            checkCrc4(head);
            TRarMember m = file4(head, pos);
            const uint64_t next = uint64_t(pos) + headSize + m.packedSize;
            addPart(std::move(m));
            return afterData(next);
        }
        uint64_t added = (flags & kLongBlock) ? TByteReader::u32At(head, B_ADD_SIZE) : 0;
        if (type == kTypeSub) {
            // RAR 3 sub-blocks have a file header's layout; "CMT" is the archive comment.
            if (headSize >= kFileSize) {
                const uint16_t flags4 = TByteReader::u16At(head, B_FLAGS);
                if ((flags4 & kRarLarge) && headSize >= kFileSize + 8)
                    added |= uint64_t(TByteReader::u32At(head, F_HIGH_PACK)) << 32;
                const uint16_t nameSize = TByteReader::u16At(head, F_NAME_SIZE);
                const int nameAt = (flags4 & kRarLarge) ? kFileSize + 8 : kFileSize;
                if (head.mid(nameAt, nameSize) == "CMT")
                    m_ar.hasComment = true;
            }
        }
        return afterData(uint64_t(pos) + headSize + added);
    }

    TRarMember file4(const QByteArray &head, int64_t pos)
    {
        TRarMember m;
        m.volume = m_name;
        m.headerOffset = pos;
        m.flags = TByteReader::u16At(head, B_FLAGS);
        m.packedSize = TByteReader::u32At(head, F_PACK);
        m.unpackedSize = TByteReader::u32At(head, F_UNP);
        m.hostOs = uint8_t(head[F_HOST]);
        m.crc = TByteReader::u32At(head, F_CRC);
        m.dosTime = TByteReader::u32At(head, F_TIME);
        m.version = uint8_t(head[F_VER]);
        m.method = uint8_t(head[F_METHOD]);
        m.attr = TByteReader::u32At(head, F_ATTR);
        int nameAt = kFileSize;
        if (m.flags & kRarLarge) {
            if (head.size() < kFileSize + 8)
                fail(ArcErrBadFileHeader);
            m.packedSize |= uint64_t(TByteReader::u32At(head, F_HIGH_PACK)) << 32;
            m.unpackedSize |= uint64_t(TByteReader::u32At(head, F_HIGH_UNP)) << 32;
            nameAt += 8;
        }
        const int nameSize = TByteReader::u16At(head, F_NAME_SIZE);
        if (nameSize > head.size() - nameAt)
            fail(ArcErrBadFileHeader);
        const QByteArrayView field = QByteArrayView(head).sliced(nameAt, nameSize);
        m.name = (m.flags & kRarUnicode) ? DecodeRarUnicodeName(field) : DosBytesToUtf8(field);
        m.name.replace('/', '\\');
        m.directory = (m.flags & kRarDirectoryMask) == kRarDirectoryMask;
        const bool unixHost = m.hostOs == kHostUnix4;
        m.link = unixHost && (m.attr & 0170000) == 0120000;
        m.dosAttr = RarDosAttributes(m.attr, unixHost, m.directory);
        // An old-style member comment: a comment block after the name, inside the header.
        const int commentAt = nameAt + nameSize;
        if ((m.flags & kRarComment) && head.size() >= commentAt + kCommentBlockSize) {
            const QByteArrayView block = QByteArrayView(head).sliced(commentAt);
            const int blockSize = TByteReader::u16At(block, C_SIZE);
            const int n = std::min<int>(blockSize - kCommentBlockSize, int(block.size()) - kCommentBlockSize);
            // Only a stored comment is text; a packed one would need the decoder.
            if (n > 0 && uint8_t(block[C_METHOD]) == kRarMethodStored)
                m.comment = DosBytesToUtf8(block.sliced(kCommentBlockSize, n));
        }
        return m;
    }

    // One RAR 5 block at pos; the position of the next, or -1 at the end.
    int64_t block5(int64_t pos)
    {
        const int64_t size = m_src->size();
        if (pos >= size)
            return atVolumeEnd(false);
        // CRC, then the size: at most 3 bytes for the format's 2 MB limit.
        const QByteArray lead = readAt(pos, std::min<int64_t>(7, size - pos));
        TByteReader lr(lead);
        const uint32_t crc = lr.u32le();
        const uint64_t headSize = vint(lr);
        if (lr.failed() || headSize == 0 || int64_t(headSize) > kRar5MaxHeader)
            fail(ArcErrBadFileHeader);
        const int64_t sizeLen = lr.pos() - 4;
        const QByteArray head = readAt(pos + 4, sizeLen + int64_t(headSize));
        if (Crc32Update(0, head.constData(), size_t(head.size())) != crc)
            fail(25136); // Header CRC error
        TByteReader r(head);
        r.skip(sizeLen);
        const uint64_t type = vint(r);
        const uint64_t flags = vint(r);
        const uint64_t extraSize = (flags & kFlag5Extra) ? vint(r) : 0;
        const uint64_t dataSize = (flags & kFlag5Data) ? vint(r) : 0;
        if (r.failed() || extraSize > headSize)
            fail(ArcErrBadFileHeader);
        const int64_t headEnd = pos + 4 + head.size();
        const QByteArrayView extra = QByteArrayView(head).last(qsizetype(extraSize));
        switch (type) {
        case kHead5Main: {
            const uint64_t arcFlags = vint(r);
            if (arcFlags & kMain5VolumeNumber)
                vint(r);
            if (r.failed())
                fail(ArcErrBadFileHeader);
            m_ar.volume = m_ar.volume || (arcFlags & kMain5Volume);
            m_ar.solid = m_ar.solid || (arcFlags & kMain5Solid);
            break;
        }
        case kHead5Crypt:
            fail(25190); // Password protected: the headers themselves are encrypted
        case kHead5End: {
            const uint64_t endFlags = vint(r);
            return atVolumeEnd(true, !r.failed() && (endFlags & kEnd5More));
        }
        case kHead5File:
        case kHead5Service: {
            TRarMember m = file5(r, extra, flags, pos);
            if (r.failed())
                fail(ArcErrBadFileHeader);
            m.packedSize = dataSize;
            if (type == kHead5File) {
                addPart(std::move(m));
            } else if (m.name == "CMT") {
                m_ar.hasComment = true;
            }
            break;
        }
        default:
            break; // unknown blocks are passed over by their sizes
        }
        return afterData(uint64_t(headEnd) + dataSize);
    }

    TRarMember file5(TByteReader &r, QByteArrayView extra, uint64_t headFlags, int64_t pos)
    {
        TRarMember m;
        m.volume = m_name;
        m.headerOffset = pos;
        const uint64_t fileFlags = vint(r);
        m.unpackedSize = vint(r);
        m.attr = uint32_t(vint(r));
        if (fileFlags & kFile5Time)
            m.unixTime = int64_t(r.u32le());
        m.hasCrc = fileFlags & kFile5Crc;
        if (m.hasCrc)
            m.crc = r.u32le();
        const uint64_t comp = vint(r);
        m.hostOs = uint8_t(vint(r));
        const uint64_t nameLen = vint(r);
        // A length past the header fails the reader (bytes() checks the rest).
        const QByteArrayView name = r.bytes(nameLen > uint64_t(r.remaining()) ? -1 : qsizetype(nameLen));
        m.name = DosBytesToUtf8(name);
        m.name.replace('/', '\\');
        m.version = kRar5Version;
        m.method = uint8_t(kRarMethodStored + ((comp >> 7) & 7));
        m.directory = fileFlags & kFile5Directory;
        if (headFlags & kFlag5SplitBefore)
            m.flags |= kRarSplitBefore;
        if (headFlags & kFlag5SplitAfter)
            m.flags |= kRarSplitAfter;
        if (comp & 0x40)
            m.flags |= kRarSolid;
        if (m.directory)
            m.flags |= kRarDirectoryMask;
        const bool unixHost = m.hostOs == kHostUnix5;
        m.link = unixHost && (m.attr & 0170000) == 0120000;
        extra5(extra, m);
        m.dosAttr = RarDosAttributes(m.attr, unixHost, m.directory);
        return m;
    }

    // The extra records of a RAR 5 file header: encryption, times, links.
    static void extra5(QByteArrayView extra, TRarMember &m)
    {
        TByteReader r(extra);
        while (!r.atEnd()) {
            const uint64_t size = vint(r);
            if (r.failed() || size == 0 || size > uint64_t(r.remaining()))
                return;
            const QByteArrayView record = r.bytes(qsizetype(size));
            TByteReader rr(record);
            const uint64_t type = vint(rr);
            if (type == kExtra5Crypt) {
                m.flags |= kRarEncrypted;
            } else if (type == kExtra5Redirection) {
                m.link = true;
            } else if (type == kExtra5Time) {
                const uint64_t tf = vint(rr);
                if (tf & kTime5Mtime) {
                    const int64_t t = (tf & kTime5Unix) ? int64_t(rr.u32le())
                                                        : int64_t(rr.u64le() / 10000000) - kFileTimeEpoch;
                    if (!rr.failed() && !m.unixTime)
                        m.unixTime = t;
                }
            }
        }
    }

    // Where the next block is, after a header and its data ending at next.
    int64_t afterData(uint64_t next)
    {
        if (next > uint64_t(m_src->size())) {
            // The data runs past the file: the end of this volume, or a cut archive.
            if (m_pending && (m_pending->flags & kRarSplitAfter))
                return atVolumeEnd(false);
            fail(ArcErrReadFile);
        }
        return int64_t(next);
    }

    // A part of a member: the first, a continuation of the pending one, or a whole member.
    void addPart(TRarMember &&m)
    {
        if (m_pending && (m.flags & kRarSplitBefore)) {
            m_pending->packedSize += m.packedSize;
            m_pending->crc = m.crc;
            m_pending->hasCrc = m.hasCrc;
            m_pending->flags = uint16_t((m_pending->flags & ~kRarSplitAfter) | (m.flags & kRarSplitAfter));
        } else {
            flushPending();
            m_pending.emplace(std::move(m));
        }
        if (!(m_pending->flags & kRarSplitAfter))
            flushPending();
    }

    void flushPending()
    {
        if (!m_pending)
            return;
        if (m_pending->flags & kRarSplitAfter)
            m_pending->complete = false;
        m_ar.members.push_back(std::move(*m_pending));
        m_pending.reset();
    }

    // The end of a volume: moves on to the next one when the set goes on (an end block
    // saying so, a member continuing, or, for old sets that have no end block, a next
    // volume that exists); -1 when the archive ends here.
    int64_t atVolumeEnd(bool endBlock, bool more = false)
    {
        const bool continuing = m_pending && (m_pending->flags & kRarSplitAfter);
        if (!m_open || !m_ar.volume || !(more || continuing || !endBlock))
            return -1;
        if (m_ar.volumes.size() >= kRarMaxVolumes)
            return -1;
        for (const QString &candidate : RarNextVolumeNames(m_name, m_ar.newNaming)) {
            QString opened = candidate;
            TArcSource *next = m_open(candidate, opened);
            if (!next)
                continue;
            m_src = next;
            m_name = opened;
            m_ar.volumes << opened;
            return openHead(0);
        }
        return -1; // the rest of the set is missing: what was read is what there is
    }

    static constexpr int64_t kWindow = 64 * 1024;
    QString m_name;
    const TRarOpenVolume &m_open;
    TArcSource *m_src = nullptr;
    TArcSource *m_windowSrc = nullptr; // the source m_window holds bytes of
    int64_t m_windowAt = 0;
    QByteArray m_window;
    TRarArchive m_ar;
    std::optional<TRarMember> m_pending;
};

} // namespace

TRarArchive WalkRarArchive(TArcSource &first, int64_t start, const QString &firstName,
                           const TRarOpenVolume &openVolume)
{
    Walker walker(firstName, openVolume);
    return walker.run(first, start);
}

QStringList RarNextVolumeNames(const QString &volumeName, bool newNaming)
{
    QStringList out;
    const qsizetype slash = volumeName.lastIndexOf(QLatin1Char('/'));
    const QString folder = volumeName.left(slash + 1);
    const QString base = volumeName.mid(slash + 1);
    static const QRegularExpression partForm(QStringLiteral("^(.*\\.part)([0-9]+)(\\.rar)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch part = partForm.match(base);
    QString partName;
    if (part.hasMatch()) {
        const QString digits = part.captured(2);
        const qulonglong n = digits.toULongLong() + 1;
        partName = folder + part.captured(1) + QStringLiteral("%1").arg(n, digits.size(), 10, QLatin1Char('0')) +
                   part.captured(3);
    }
    // The old scheme: .rar (or any other extension) -> .r00 .. .r99 -> .s00 ...
    QString oldName;
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    const QString stem = folder + (dot >= 0 ? base.left(dot) : base);
    const QString ext = dot >= 0 ? base.mid(dot + 1) : QString();
    if (ext.size() == 3 && ext[0].isLetter() && ext[1].isDigit() && ext[2].isDigit() && ext[0].unicode() < 128 &&
        ext[1].unicode() < 128 && ext[2].unicode() < 128) {
        int n = ext.mid(1).toInt() + 1;
        QChar letter = ext[0];
        if (n > 99) {
            n = 0;
            letter = QChar(letter.unicode() + 1);
        }
        if (letter.isLetter())
            oldName = stem + QLatin1Char('.') + letter + QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
    } else {
        const bool lower = !ext.isEmpty() && ext[0].isLower();
        oldName = stem + (lower ? QStringLiteral(".r00") : QStringLiteral(".R00"));
    }
    if (!partName.isEmpty() && newNaming)
        out << partName;
    if (!oldName.isEmpty())
        out << oldName;
    if (!partName.isEmpty() && !newNaming)
        out << partName;
    return out;
}

QString FindVolumeFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.isFile())
        return path;
    const QDir dir = info.dir();
    const QString name = info.fileName();
    for (const QString &entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return {};
}

QByteArray DecodeRarUnicodeName(QByteArrayView field)
{
    const qsizetype nul = field.indexOf('\0');
    if (nul < 0)
        return DosBytesToUtf8(field);
    const QByteArrayView ascii = field.first(nul);
    const QByteArrayView enc = field.sliced(nul + 1);
    // The packed name: a high byte, then flag bytes, each giving four 2-bit
    // orders: 0 a byte (high 0), 1 a byte with the high byte, 2 a full 16-bit
    // character, 3 a run copied from the 8-bit name (with a correction added).
    constexpr qsizetype kMaxChars = 1024;
    std::u16string out;
    qsizetype pos = 0;
    auto full = [&] { return qsizetype(out.size()) >= kMaxChars; };
    auto asciiAt = [&](qsizetype i) -> int { return i < ascii.size() ? uint8_t(ascii[i]) : 0; };
    // The next packed byte; false (the name ends there) when none is left.
    auto next = [&](int &b) {
        if (pos >= enc.size())
            return false;
        b = uint8_t(enc[pos++]);
        return true;
    };
    int high = 0, flags = 0, flagBits = 0;
    bool more = next(high);
    while (more && pos < enc.size() && !full()) {
        if (flagBits == 0) {
            more = next(flags);
            flagBits = 8;
        }
        int a = 0, b = 0;
        switch (flags >> 6) {
        case 0:
            if ((more = next(a)))
                out.push_back(char16_t(a));
            break;
        case 1:
            if ((more = next(a)))
                out.push_back(char16_t(a + (high << 8)));
            break;
        case 2:
            if ((more = next(a) && next(b)))
                out.push_back(char16_t(a + (b << 8)));
            break;
        default:
            if (!(more = next(a)))
                break;
            if (a & 0x80) {
                if (!(more = next(b)))
                    break;
                for (int length = (a & 0x7F) + 2; length > 0 && !full(); --length)
                    out.push_back(char16_t(((asciiAt(qsizetype(out.size())) + b) & 0xFF) + (high << 8)));
            } else {
                for (int length = a + 2; length > 0 && !full(); --length)
                    out.push_back(char16_t(asciiAt(qsizetype(out.size()))));
            }
            break;
        }
        flags = (flags << 2) & 0xFF;
        flagBits -= 2;
    }
    // A zero ends the name; lone surrogates become replacement characters in the UTF-8.
    const size_t end = out.find(u'\0');
    if (end != std::u16string::npos)
        out.resize(end);
    if (out.empty())
        return DosBytesToUtf8(ascii);
    return QString::fromUtf16(out.data(), qsizetype(out.size())).toUtf8();
}

uint32_t RarDosAttributes(uint32_t attr, bool unixHost, bool directory)
{
    if (unixHost)
        return unixModeToDos(attr, directory);
    return directory ? (attr | 0x10) : attr;
}
