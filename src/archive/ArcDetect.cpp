// Type detection, error texts, byte sources and date
// conversions shared by every archive format reader.
#include "archive/ArcTypes.h"

#include "archive/UnZIP.h"

#include "platform/ByteReader.h"
#include "platform/DosTime.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const kTypeNames[] = {
    "NA", "Unsupported", "FileError", "Unknown", "ARJ", "ArjExe", "ARC", "ArcExe", "BH", "BHExe", "CAB",
    "GZip", "HA", "LHA", "LhaExe", "LZH", "LzhExe", "PAK", "PakExe", "RAR", "RarExe", "TAR", "ZIP", "ZipExe",
    "Zip250", "Zip250Exe", "ZOO",
};

struct ErrorText {
    int code;
    const char *text;
};

// The kit's messages, spelled as the users of the earlier versions know them.
const ErrorText kErrorTexts[] = {
    {25102, "File is read-only"}, {25103, "File is hidden"}, {25104, "File is a SysFile"},
    {25105, "File is a directory"}, {25106, "File is a VolumeID"}, {25108, "Bad file header"},
    {25109, "Bad block"}, {25110, "Bad Huffman code"}, {25111, "Invalid code incountered"},
    {25112, "Invalid comment header"}, {25113, "Incorrect number of bits"}, {25114, "Error writing to file"},
    {25115, "Error closing file"}, {25116, "Incomplete code set"}, {25117, "File fails CRC check"},
    {25118, "File contains invalid decode tree"}, {25119, "Invalid directory"},
    {25120, "Invalid directory... defaulting to current"}, {25125, "Disk full"},
    {25128, "Error deleting file(s)"}, {25129, "Command exec failed"}, {25132, "File not found"},
    {25133, "Warning, unknown flags"}, {25134, "Error opening file"},
    {25135, "Error reading file or unexpected end of file"}, {25136, "Header CRC error"},
    {25137, "Header ID error"}, {25138, "Invalid archive"}, {25139, "Invalid file name"},
    {25140, "Bad lengths"}, {25145, "Inconsistant local header"}, {25148, "LZX method not supported"},
    {25150, "Maximum volumes 999"}, {25153, "Out of memory"}, {25155, "Uninitialized TMemoryStream object"},
    {25157, "No central header. File may be corrupt"}, {25162, "Multi-Part GZIP files not supported"},
    {25163, "Too many nested dirs"}, {25170, "OnGetFiles event not assigned"},
    {25171, "OnRead event not assigned"}, {25172, "OnPassword event not assigned"},
    {25173, "OnNextVolume event not assigned"}, {25190, "Password protected"}, {25191, "Seek error"},
    {25192, "Ambiguous Shannon-Fano decode tree encountered"}, {25196, "Stack overflow"},
    {25197, "Stream read/write error"}, {25200, "Unsupported compression method"},
    {25202, "Unknown file type"}, {25204, "Unsupported version"}, {25210, "Error updating archive"},
    {25300, "User Aborted"}, {25302, "Version error"}, {25350, "Requires Win32 api"},
    {25901, "Extraction of this cabinet requires first disk of set"}, {25902, "Previous volume in set"},
    {25903, "Next volume in set"}, {25904, "Cabinet does not belong with this set"},
    {26517, "Invalid password"}, {26522, "Password failed"}, {26900, "Skipped File"}, {26999, "Nothing to do"},
};

bool readBytes(TArcSource &src, int64_t offset, void *buf, int64_t n)
{
    return offset >= 0 && n >= 0 && offset <= src.size() && n <= src.size() - offset && src.readAt(offset, buf, n);
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

// Days between 1899-12-30 (day 0 of TDateTime) and 1970-01-01.
constexpr int64_t kUnixEpochDays = 25569;

constexpr uint32_t kDos1980 = 0x00210000; // 1980-01-01 0:00: year 0, month 1, day 1

// 2000-01-01 0:00 UTC, well inside the range: tells which end an unpackable time is beyond.
constexpr int64_t kUnixMidRange = 946684800;

} // namespace

const char *ArcTypeName(TArcType type)
{
    const auto index = size_t(type);
    return index < std::size(kTypeNames) ? kTypeNames[index] : "?";
}

bool IsZipFamily(TArcType type)
{
    return type == TArcType::ZIP || type == TArcType::ZipExe || type == TArcType::Zip250 ||
           type == TArcType::Zip250Exe;
}

const char *ArcErrorText(int code)
{
    for (const ErrorText &entry : kErrorTexts) {
        if (entry.code == code)
            return entry.text;
    }
    return "";
}

EArcError::EArcError(int code) : std::runtime_error(ArcErrorText(code)), m_code(code) {}

// ---------------------------------------------------------------------------

bool TMemorySource::readAt(int64_t offset, void *buf, int64_t n)
{
    if (offset < 0 || n < 0 || offset > m_data.size() || n > m_data.size() - offset)
        return false;
    if (n > 0)
        std::memcpy(buf, m_data.data() + offset, size_t(n));
    return true;
}

TFileSource::TFileSource(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    m_fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    struct stat st;
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_size = st.st_size;
    m_mtime = st.st_mtime;
}

TFileSource::~TFileSource()
{
    close();
}

bool TFileSource::close()
{
    if (m_fd < 0)
        return true;
    const int rc = ::close(m_fd);
    m_fd = -1;
    return rc == 0;
}

bool TFileSource::readAt(int64_t offset, void *buf, int64_t n)
{
    if (m_fd < 0 || offset < 0 || n < 0 || offset > m_size || n > m_size - offset)
        return false;
    auto *out = static_cast<char *>(buf);
    while (n > 0) {
        const ssize_t got = ::pread(m_fd, out, size_t(n), off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        offset += got;
        n -= got;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Type detection

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
    if (w == 0x081A || w == 0x091A)
        return pick(TArcType::ARC, TArcType::ArcExe);
    if (w == 0x92B7 || w == 0xDFB7) // ARC self-extractor stubs whose archive sits at byte 7717
        return TSignatureHit{TArcType::ArcExe, 7717};
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

namespace {

// The file offset of a relative virtual address through the section table; -1 when no section holds it.
int64_t peRvaToOffset(TArcSource &src, int64_t sectionTable, int sectionCount, uint32_t rva)
{
    // Section header (40 bytes): VirtualSize at 8, VirtualAddress at 12,
    // SizeOfRawData at 16, PointerToRawData at 20.
    constexpr int kSectionSize = 40, kVirtSize = 8;
    for (int i = 0; i < sectionCount; ++i) {
        char sec[kSectionSize];
        if (!readBytes(src, sectionTable + int64_t(i) * kSectionSize, sec, kSectionSize))
            return -1;
        TByteReader r(QByteArrayView(sec, kSectionSize));
        r.skip(kVirtSize);
        const uint32_t virtSize = r.u32le();
        const uint32_t va = r.u32le();
        const uint32_t rawSize = r.u32le();
        const uint32_t rawPtr = r.u32le();
        const uint32_t vsize = std::max(virtSize, rawSize);
        if (rva >= va && uint64_t(rva) < uint64_t(va) + vsize) {
            const int64_t off = int64_t(rawPtr) + (rva - va);
            return off < src.size() ? off : -1;
        }
    }
    return -1;
}

// Looks up an id entry in a resource directory at dirOffset (inside the resource section at base).
// Returns the entry's target field, or 0 when absent. firstAny takes the first id entry.
bool peFindEntry(TArcSource &src, int64_t base, uint32_t dirRel, uint32_t id, bool firstAny, uint32_t &target)
{
    // IMAGE_RESOURCE_DIRECTORY (16 bytes): NumberOfNamedEntries at 12, NumberOfIdEntries at 14,
    // then 8-byte entries (name or id, offset to data; high bit = subdirectory), named ones first.
    constexpr int kDirHeader = 16, kEntrySize = 8, kNamedCount = 12;
    char header[kDirHeader];
    if (!readBytes(src, base + dirRel, header, kDirHeader))
        return false;
    TByteReader hr(QByteArrayView(header, kDirHeader));
    hr.skip(kNamedCount);
    const int named = hr.u16le();
    const int ids = hr.u16le();
    for (int i = 0; i < ids; ++i) {
        char entry[kEntrySize];
        if (!readBytes(src, base + dirRel + kDirHeader + int64_t(named + i) * kEntrySize, entry, kEntrySize))
            return false;
        TByteReader er(QByteArrayView(entry, kEntrySize));
        const uint32_t entryId = er.u32le();
        const uint32_t entryTarget = er.u32le();
        if (firstAny || entryId == id) {
            target = entryTarget;
            return true;
        }
    }
    return false;
}

} // namespace

QList<QByteArray> PeStringResources(TArcSource &src, int firstId, int lastId)
{
    QList<QByteArray> result;
    // MZ header: e_lfanew (the PE header's offset) at 3Ch.
    constexpr int kLfanew = 0x3C;
    // COFF header after "PE\0\0": NumberOfSections at 2, SizeOfOptionalHeader at 16 (20 bytes).
    constexpr int kCoffSize = 20, kSectionCount = 2, kOptSize = 16;
    // Optional header: magic 10Bh (PE32) or 20Bh (PE32+); the resource data directory
    // (entry 2) at 112 or 128.
    constexpr uint16_t kPe32 = 0x10B, kPe32Plus = 0x20B;
    constexpr uint32_t kRtString = 6;
    // A string block is 16 strings of at most 65535 UTF-16 units, each after its 16-bit length.
    constexpr int64_t kStringBlockMost = 16 * (2 + 2 * 65535);
    char mz[0x40];
    if (!readBytes(src, 0, mz, sizeof mz))
        return result;
    const uint32_t peOff = TByteReader::u32At(QByteArrayView(mz, sizeof mz), kLfanew);
    char pe[4 + kCoffSize];
    if (!readBytes(src, peOff, pe, sizeof pe) || std::memcmp(pe, "PE\0\0", 4) != 0)
        return result;
    TByteReader coff(QByteArrayView(pe + 4, kCoffSize));
    coff.skip(kSectionCount);
    const int sections = coff.u16le();
    coff.seek(kOptSize);
    const int optSize = coff.u16le();
    const int64_t optOff = int64_t(peOff) + 4 + kCoffSize;
    char opt[136];
    const int optRead = std::min<int>(optSize, sizeof opt);
    if (optRead < 2 || !readBytes(src, optOff, opt, optRead))
        return result;
    const QByteArrayView ov(opt, optRead);
    const uint16_t magic = TByteReader::u16At(ov, 0);
    const int dirAt = magic == kPe32 ? 112 : magic == kPe32Plus ? 128 : -1;
    if (dirAt < 0 || dirAt + 8 > optRead)
        return result;
    const uint32_t resRva = TByteReader::u32At(ov, dirAt);
    if (resRva == 0)
        return result;
    const int64_t sectionTable = optOff + optSize;
    const int64_t base = peRvaToOffset(src, sectionTable, std::min(sections, 96), resRva);
    if (base < 0)
        return result;
    constexpr uint32_t kSubdir = 0x80000000u;
    // Level 1: type RT_STRING; level 2: block id (strings 16(n-1) .. 16n-1 live in block n);
    // level 3: the first language; then the data entry (RVA, size).
    for (int id = firstId; id <= lastId; ++id) {
        uint32_t t1 = 0, t2 = 0, t3 = 0;
        const uint32_t block = uint32_t(id / 16 + 1);
        if (!peFindEntry(src, base, 0, kRtString, false, t1) || !(t1 & kSubdir))
            break;
        if (!peFindEntry(src, base, t1 & ~kSubdir, block, false, t2) || !(t2 & kSubdir))
            break;
        if (!peFindEntry(src, base, t2 & ~kSubdir, 0, true, t3) || (t3 & kSubdir))
            break;
        char dataEntry[8];
        if (!readBytes(src, base + t3, dataEntry, sizeof dataEntry))
            break;
        TByteReader de(QByteArrayView(dataEntry, sizeof dataEntry));
        const uint32_t dataRva = de.u32le();
        const int64_t dataSize = de.u32le();
        const int64_t dataOff = peRvaToOffset(src, sectionTable, std::min(sections, 96), dataRva);
        if (dataOff < 0)
            break;
        // The block as far as the file holds it; the reader stops at whichever end comes first.
        const int64_t have = std::min({dataSize, src.size() - dataOff, kStringBlockMost});
        QByteArray data(have, Qt::Uninitialized);
        if (!readBytes(src, dataOff, data.data(), have))
            break;
        TByteReader r(data);
        QByteArray text;
        for (int index = 0; index < id % 16; ++index)
            r.skip(2 * qsizetype(r.u16le()));
        const int len = r.u16le();
        const int take = std::min(len, 5); // the stubs store at most 5 digits
        for (int k = 0; k < take && !r.failed(); ++k) {
            const uint16_t ch = r.u16le();
            text.append(ch < 0x80 ? char(ch) : '?');
        }
        if (r.failed() || text.isEmpty())
            break;
        result.append(text);
    }
    return result;
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
        if (!readBytes(src, cd + add, central, kCentralSize) ||
            TByteReader::u32At(QByteArrayView(central, kCentralSize), 0) != kZipCentralSig)
            continue;
        const int64_t localAt = int64_t(TByteReader::u32At(QByteArrayView(central, kCentralSize), kCentralLocal)) + add;
        if (!readBytes(src, localAt, local, 4))
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

TArcDetection DetectArcType(TArcSource &src, const QString &fileName, int zipCmntBufSize)
{
    TArcDetection det;
    det.fileSize = src.size();
    uint8_t head[6];
    if (det.fileSize < 6 || !readBytes(src, 0, head, 6)) {
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
            if (readBytes(src, 0, block, kBlock)) {
                if (block[kTypeFlag] == 'V') { // a volume label header: the first member follows
                    at = kBlock;
                    det.startOffset = kBlock + 1;
                }
                if (readBytes(src, at, block, kBlock) && TarChecksumOk(QByteArrayView(block, kBlock)))
                    det.type = TArcType::TAR;
                else
                    det.startOffset = 1;
            }
        }
        // Still unknown: a ZIP behind other bytes (a shell-script or ELF self-extractor stub,
        // padding) is found through its end record, as for a DOS stub (step c).
        if (det.type != TArcType::Unknown)
            return det;
        return FindZipBehindStub(src, det);
    }

    auto classifyAt = [&](int64_t offset) {
        uint8_t sig[4];
        if (!readBytes(src, offset, sig, 4))
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
            if (readBytes(src, offset, sig, 4) && sig[2] == 0x60 && sig[3] == 0xEA)
                offset += 2; // an ARJ header after a 2-byte gap
            const TSignatureHit hit = classifyAt(offset);
            det.type = hit.type;
            if (hit.type != TArcType::Unknown)
                det.startOffset = (hit.fixedOffset >= 0 ? hit.fixedOffset : offset) + 1;
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
                if (readBytes(src, cd + add, central, kCentralSize) &&
                    TByteReader::u32At(QByteArrayView(central, kCentralSize), 0) == kZipCentralSig) {
                    det.type = TArcType::ZipExe;
                    det.startOffset =
                        int64_t(TByteReader::u32At(QByteArrayView(central, kCentralSize), kCentralLocal)) + add + 1;
                    break;
                }
            }
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

// ---------------------------------------------------------------------------
// Dates

uint32_t NormalizedDosDateTime(uint32_t dosDateTime)
{
    return DosTimeValid(dosDateTime) ? dosDateTime : kDos1980;
}

TDateTime DosDateTimeToDateTime(uint32_t dosDateTime)
{
    const TDosFields f = UnpackDos(NormalizedDosDateTime(dosDateTime)).value_or(TDosFields{});
    const int64_t days = daysFromCivil(f.year, unsigned(f.month), unsigned(f.day)) + kUnixEpochDays;
    const double secs = f.hour * 3600.0 + f.minute * 60.0 + f.second;
    return double(days) + secs / 86400.0;
}

QString DosDateTimeToIso(uint32_t dosDateTime)
{
    return DosToIso(NormalizedDosDateTime(dosDateTime));
}

int64_t LocalBiasSeconds()
{
    const time_t now = std::time(nullptr);
    struct tm local;
    if (!localtime_r(&now, &local))
        return 0;
    return -int64_t(local.tm_gmtoff);
}

uint32_t UnixToDosDateTime(int64_t unixTime)
{
    const uint32_t packed = UnixToDos(unixTime);
    if (packed != 0)
        return packed;
    return unixTime < kUnixMidRange ? kDos1980 : PackDos({2099, 12, 31, 23, 59, 58});
}

TDateTime UnixToDateTime(int64_t unixTime)
{
    const int64_t local = unixTime - LocalBiasSeconds();
    return double(kUnixEpochDays) + double(local) / 86400.0;
}
