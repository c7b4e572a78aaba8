// Recognising an archive's type from its bytes: the signature table, the
// TAR checksum rule, and the search for the archive inside a self-extractor
// (the stub's string resources, the end of its DOS image, the ZIP end record).
#include "archive/ArcDetect.h"

#include "archive/PeResources.h"
#include "archive/UnZIP.h"
#include "archive/decoders/Crc32.h"

#include "platform/ByteReader.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>

TSignatureHit ClassifySignature(const uint8_t sig[4], TSigMode mode)
{
    const bool exe = mode == TSigMode::Executable;
    const uint32_t s = TByteReader::u32At(QByteArrayView(sig, 4), 0);
    const uint16_t w = uint16_t(s & 0xFFFF);
    const uint16_t h = uint16_t(s >> 16);
    auto pick = [exe](TArcType plain, TArcType inExe) { return TSignatureHit{exe ? inExe : plain, -1}; };
    if (s == 0x04034B50)
        return pick(TArcType::ZIP, TArcType::ZipExe);
    if (s == 0x4643534D) // "MSCF"
        return pick(TArcType::CAB, TArcType::NA);
    if (s == 0x50000000) // the local header signature of the 2.50 writers
        return pick(TArcType::Zip250, TArcType::Zip250Exe);
    if (s == 0x07054842)
        return pick(TArcType::BH, TArcType::BHExe);
    if (w == 0x4148) // "HA"
        return pick(TArcType::HA, TArcType::NA);
    if (w == 0x8B1F || w == 0x9D1F || w == 0x9E1F || w == 0x1E1F || w == 0xA01F) // gzip, compress, pack family
        return pick(TArcType::GZip, TArcType::NA);
    if (w == 0xEA60) // ARJ header id
        return pick(TArcType::ARJ, TArcType::ArjExe);
    if (w == 0x4F5A) // "ZO"
        return pick(TArcType::ZOO, TArcType::NA);
    if (h == 0x6C2D) // "-l" of "-lh5-" at bytes 2 and 3
        return pick(TArcType::LHA, TArcType::LhaExe);
    if (w == 0x6152) // "Ra"
        return pick(TArcType::RAR, TArcType::RarExe);
    if (w == 0x0A1A || w == 0x0B1A)
        return pick(TArcType::PAK, TArcType::PakExe);
    // An ARC file starts with its first member's header: the mark 1Ah, then that member's
    // method, any of 1 to 9 (an archive whose first file was stored or squeezed is an ARC too).
    if ((w & 0xFF) == 0x1A && (w >> 8) >= 0x01 && (w >> 8) <= 0x09)
        return pick(TArcType::ARC, TArcType::ArcExe);
    if (w == 0x92B7 || w == 0xDFB7) // ARC self-extractor stubs whose archive sits at byte 7717
        return TSignatureHit{TArcType::ArcExe, 7717};
    // Today's formats, only as plain files: "7z" BCh AFh, xz FDh "7zX", "BZh" and a block
    // size digit, the zstd frame magic FD2FB528h.
    if (s == 0xAFBC7A37)
        return pick(TArcType::SevenZip, TArcType::NA);
    if (s == 0x587A37FD)
        return pick(TArcType::XZ, TArcType::NA);
    if (w == 0x5A42 && (s >> 16 & 0xFF) == 'h' && (s >> 24) >= '1' && (s >> 24) <= '9')
        return pick(TArcType::BZip2, TArcType::NA);
    if (s == 0xFD2FB528)
        return pick(TArcType::Zstd, TArcType::NA);
    return TSignatureHit{};
}

bool TarChecksumOk(QByteArrayView block)
{
    // +-----+------+-----+-----+-----+------+-------+------+ ...
    // | 0   | 100  | 108 | 116 | 124 | 136  | 148   | 156  |
    // | name| mode | uid | gid | size| mtime| chksum| type |
    // +-----+------+-----+-----+-----+------+-------+------+ ...
    constexpr int kBlock = 512, kChecksumOffset = 148, kChecksumLength = 8;
    if (block.size() < kBlock)
        return false;
    uint32_t sum = 0;
    for (int i = 0; i < kBlock; ++i) {
        const bool inField = i >= kChecksumOffset && i < kChecksumOffset + kChecksumLength;
        sum += inField ? 32u : uint8_t(block[i]);
    }
    // The field: optional leading blanks, octal digits, then NUL or blanks.
    int i = kChecksumOffset;
    const int end = kChecksumOffset + kChecksumLength;
    while (i < end && block[i] == ' ')
        ++i;
    uint32_t value = 0;
    int digits = 0;
    while (i < end && block[i] >= '0' && block[i] <= '7') {
        value = value * 8 + uint32_t(block[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0)
        return false;
    for (; i < end; ++i) {
        if (block[i] != ' ' && block[i] != '\0')
            return false;
    }
    return value == sum;
}

// An ARJ archive behind an ELF self-extractor stub: the stub's image ends with its
// section header table (offset and size from the ELF header, 32- or 64-bit,
// little-endian), and the archive's main header (id 60h EAh, a basic header of a
// possible size with its CRC-32, file type 2) follows within the header search's
// 25000 bytes. det is returned unchanged when there is none.
static TArcDetection FindArjBehindElf(TArcSource &src, TArcDetection det)
{
    constexpr int64_t kSearch = 25000, kMaxBasic = 2600;
    char elf[64];
    if (!src.readAt(0, elf, sizeof elf) || QByteArrayView(elf, 4) != QByteArrayView("\x7f" "ELF", 4) || elf[5] != 1)
        return det;
    const QByteArrayView e(elf, sizeof elf);
    const bool wide = elf[4] == 2;
    const uint64_t shoff = wide ? TByteReader::u64At(e, 0x28) : TByteReader::u32At(e, 0x20);
    const uint64_t table = uint64_t(TByteReader::u16At(e, wide ? 0x3A : 0x2E)) * TByteReader::u16At(e, wide ? 0x3C : 0x30);
    if (shoff >= uint64_t(det.fileSize) || table > uint64_t(det.fileSize) - shoff)
        return det;
    const int64_t from = int64_t(shoff + table);
    const int64_t span = std::min(det.fileSize - from, kSearch + 4 + kMaxBasic + 4);
    QByteArray window(span, Qt::Uninitialized);
    if (span < 12 || !src.readAt(from, window.data(), span))
        return det;
    const auto *w = reinterpret_cast<const uint8_t *>(window.constData());
    for (int64_t p = 0; p + 12 <= span && p < kSearch; ++p) {
        if (w[p] != 0x60 || w[p + 1] != 0xEA)
            continue;
        const int64_t size = w[p + 2] | w[p + 3] << 8;
        if (size < 30 || size > kMaxBasic || p + 8 + size > span || w[p + 10] != 2)
            continue;
        if (Crc32Update(0, w + p + 4, size_t(size)) != TByteReader::u32At(window, qsizetype(p + 4 + size)))
            continue;
        det.type = TArcType::ArjExe;
        det.startOffset = from + p + 1;
        return det;
    }
    return det;
}

TArcDetection FindZipBehindStub(TArcSource &src, TArcDetection det)
{
    // The end record is looked for where the lister looks for it (the last 32 KB, so an
    // archive comment up to that size). Stored offsets either count from the file's start
    // (adjusted, as `zip -A` leaves them) or from the archive's (a stub put in front):
    // the central directory ends right before the end record, which gives the shift. A
    // hit counts only when the central header and the first local header are both
    // where the offsets say, so stray bytes in a file do not make it a ZIP.
    constexpr int kCentralSize = 46, kCentralLocal = 42;
    const std::optional<TZipEndRecord> end = FindZipEndRecord(src);
    if (!end)
        return det;
    const int64_t cd = end->cdOffset;
    const int64_t shift = end->offset - int64_t(end->cdSize) - cd;
    for (const int64_t add : {int64_t(0), shift}) {
        if (add < 0)
            continue;
        char central[kCentralSize];
        char local[4];
        if (!src.readAt(cd + add, central, kCentralSize) ||
            TByteReader::u32At(QByteArrayView(central, kCentralSize), 0) != kZipCentralSig)
            continue;
        const int64_t localAt = int64_t(TByteReader::u32At(QByteArrayView(central, kCentralSize), kCentralLocal)) + add;
        if (!src.readAt(localAt, local, 4))
            continue;
        const uint32_t localSig = TByteReader::u32At(QByteArrayView(local, 4), 0);
        if (localSig != kZipLocalSig && localSig != kZip250LocalSig)
            continue;
        det.type = TArcType::ZipExe;
        det.startOffset = localAt + 1;
        return det;
    }
    return det;
}

// Where an ISO 9660 image's first volume descriptor lies: after the 16 sectors of 2048 bytes of its system area.
constexpr int64_t kIsoDescriptorAt = 16 * 2048;

TArcDetection DetectArcType(TArcSource &src, const QString &fileName, int zipCmntBufSize)
{
    TArcDetection det;
    det.fileSize = src.size();
    uint8_t head[6];
    if (det.fileSize < 6 || !src.readAt(0, head, 6)) {
        det.type = TArcType::FileError;
        return det;
    }
    det.type = TArcType::Unknown;
    const bool isMz = head[0] == 'M' && head[1] == 'Z';
    if (!isMz) {
        const TSignatureHit hit = ClassifySignature(head, TSigMode::Plain);
        det.type = hit.type;
        if (hit.fixedOffset >= 0)
            det.startOffset = hit.fixedOffset + 1;
        if (det.type == TArcType::Unknown && det.fileSize > 512 &&
            QFileInfo(fileName).suffix().compare(QLatin1String("TAR"), Qt::CaseInsensitive) == 0) {
            constexpr int kBlock = 512, kTypeFlag = 156;
            char block[kBlock];
            int64_t at = 0;
            if (src.readAt(0, block, kBlock)) {
                if (block[kTypeFlag] == 'V') { // a volume label header: the first member follows
                    at = kBlock;
                    det.startOffset = kBlock + 1;
                }
                if (src.readAt(at, block, kBlock) && TarChecksumOk(QByteArrayView(block, kBlock)))
                    det.type = TArcType::TAR;
                else
                    det.startOffset = 1;
            }
        }
        // An ISO 9660 image: the first volume descriptor in sector 16 (byte 32768), type byte then
        // "CD001". A UDF-only image has other descriptors there and stays unknown.
        if (det.type == TArcType::Unknown && det.fileSize > kIsoDescriptorAt + 6) {
            char id[6];
            if (src.readAt(kIsoDescriptorAt, id, 6) && QByteArrayView(id + 1, 5) == QByteArrayView("CD001"))
                det.type = TArcType::ISO;
        }
        // Still unknown: a ZIP behind other bytes (a shell-script or ELF self-extractor stub,
        // padding) is found through its end record, as for a DOS stub (step c).
        if (det.type != TArcType::Unknown)
            return det;
        det = FindZipBehindStub(src, det);
        return FindLhaBehindStub(src, det.type == TArcType::Unknown ? FindArjBehindElf(src, det) : det);
    }

    auto classifyAt = [&](int64_t offset) {
        uint8_t sig[4];
        if (!src.readAt(offset, sig, 4))
            return TSignatureHit{};
        return ClassifySignature(sig, TSigMode::Executable);
    };

    if (isMz) {
        // a. The stub's string resources 1 to 4 name where the archive starts.
        for (const QByteArray &text : PeStringResources(src, 1, 4)) {
            bool numeric = true;
            for (char c : text)
                numeric = numeric && c >= '0' && c <= '9';
            const int64_t offset = numeric ? text.toLongLong() : -1;
            if (!numeric || offset >= det.fileSize)
                break;
            const TSignatureHit hit = classifyAt(offset);
            if (hit.type != TArcType::Unknown) {
                det.type = hit.type;
                det.startOffset = (hit.fixedOffset >= 0 ? hit.fixedOffset : offset) + 1;
                det.sfxRelative = IsZipFamily(hit.type);
                return det;
            }
        }
        // b. The end of the DOS image from the MZ header: pages at 4, bytes on the last page at 2.
        const QByteArrayView mz(reinterpret_cast<const char *>(head), sizeof head);
        const int64_t pages = TByteReader::u16At(mz, 4);
        const int64_t lastPage = TByteReader::u16At(mz, 2);
        int64_t offset = (pages - 1) * 512 + lastPage;
        if (offset >= 0 && offset < det.fileSize) {
            uint8_t sig[4];
            if (src.readAt(offset, sig, 4) && sig[2] == 0x60 && sig[3] == 0xEA)
                offset += 2; // an ARJ header after a 2-byte gap
            const TSignatureHit hit = classifyAt(offset);
            det.type = hit.type;
            if (hit.type != TArcType::Unknown)
                det.startOffset = (hit.fixedOffset >= 0 ? hit.fixedOffset : offset) + 1;
        }
    }

    // The end of a Windows image, where today's self-extractors (RAR among them) append their
    // archive and where neither string resources nor the DOS header point.
    if (det.type == TArcType::Unknown) {
        const int64_t offset = PeImageEnd(src);
        const TSignatureHit hit = offset > 0 ? classifyAt(offset) : TSignatureHit{};
        if (hit.type == TArcType::RarExe) {
            det.type = hit.type;
            det.startOffset = offset + 1;
        }
    }

    // c. A ZIP end record at the end of the file.
    if (det.type == TArcType::Unknown) {
        // The window is the comment buffer the caller allows plus the record and one byte.
        constexpr int kCentralSize = 46, kCentralLocal = 42;
        const std::optional<TZipEndRecord> end = FindZipEndRecord(src, int64_t(zipCmntBufSize) + 23);
        if (end) {
            const int64_t cd = end->cdOffset;
            // Offsets not adjusted for the bytes in front: the directory still ends
            // right before the end record, which gives the shift.
            const int64_t shift = end->offset - int64_t(end->cdSize) - cd;
            for (const int64_t add : {int64_t(0), shift}) {
                char central[kCentralSize];
                if (add < 0 || (add > 0 && shift == 0))
                    continue;
                if (src.readAt(cd + add, central, kCentralSize) &&
                    TByteReader::u32At(QByteArrayView(central, kCentralSize), 0) == kZipCentralSig) {
                    det.type = TArcType::ZipExe;
                    det.startOffset =
                        int64_t(TByteReader::u32At(QByteArrayView(central, kCentralSize), kCentralLocal)) + add + 1;
                    break;
                }
            }
        }
    }
    return det.type == TArcType::Unknown ? FindLhaBehindStub(src, det) : det;
}

TArcDetection FindLhaBehindStub(TArcSource &src, TArcDetection det)
{
    if (det.type != TArcType::Unknown)
        return det;
    // A header: size, checksum, "-l??-" method id at 2, level at 20; the
    // window is what self-extractors of the DOS and Windows eras put in front.
    constexpr int64_t kWindow = 65536;
    constexpr int kMinHeader = 24;
    const int64_t n = std::min(det.fileSize, kWindow);
    QByteArray buf(n, Qt::Uninitialized);
    if (n < kMinHeader || !src.readAt(0, buf.data(), n))
        return det;
    const auto *b = reinterpret_cast<const uint8_t *>(buf.constData());
    for (int64_t at = 0; at + kMinHeader <= n; ++at) {
        if (b[at + 2] != '-' || b[at + 3] != 'l' || b[at + 6] != '-')
            continue;
        const int level = b[at + 20];
        bool found = false;
        if (level == 0 || level == 1) {
            const int total = b[at] + 2;
            if (total >= kMinHeader && at + total <= n) {
                uint8_t sum = 0;
                for (int i = 2; i < total; ++i)
                    sum = uint8_t(sum + b[at + i]);
                found = sum == b[at + 1];
            }
        } else if (level == 2) {
            const int total = b[at] | (b[at + 1] << 8);
            found = total >= 26 && at + total <= det.fileSize;
        }
        if (found) {
            det.type = TArcType::LhaExe;
            det.startOffset = at + 1;
            return det;
        }
    }
    return det;
}

TArcDetection DetectArcTypeOfFile(const QString &path, int zipCmntBufSize)
{
    TArcDetection det;
    if (path.isEmpty())
        return det;
    TFileSource src(path);
    if (!src.isOpen()) {
        det.type = TArcType::FileError;
        return det;
    }
    det = DetectArcType(src, path, zipCmntBufSize);
    if (!src.close())
        throw EArcError(ArcErrCloseFile);
    return det;
}
