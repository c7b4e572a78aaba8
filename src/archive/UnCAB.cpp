// The cabinet reader. A cabinet is a header with the links of its set (the
// previous and the next cabinet), a table of folders (each a compressed
// stream cut into data blocks) and a table of files, each a range of one
// folder's uncompressed stream. A folder may go on in the next cabinet; its
// last data block is then cut in two, the first part with an unpacked size
// of 0. The list reader walks the file entries and moves on to the next
// cabinet; the extractor joins a folder's blocks across cabinets and decodes
// it once, cutting its members out in order.
#include "archive/UnCAB.h"

#include "archive/decoders/Decoder.h"
#include "archive/decoders/RawInflater.h"
#include "platform/ByteReader.h"
#include "platform/DosTime.h"
#include "platform/Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Cabinet header (36 bytes):
// +--------+-----+------------+-----+-----------+-----+-------+-------+
// | 0      | 4   | 8          | 12  | 16        | 20  | 24    | 25    |
// | "MSCF" | 0   | cab size   | 0   | coffFiles | 0   | minor | major |
// +--------+-----+------------+-----+-----------+-----+-------+-------+
// | 26       | 28     | 30    | 32    | 34        |
// | cFolders | cFiles | flags | setID | iCabinet  |
// +----------+--------+-------+-------+-----------+
// then, with flag 4, the reserve sizes (header 16-bit, folder 8-bit, data
// 8-bit) and the header reserve; with flag 1 the previous cabinet's name and
// disk, with flag 2 the next cabinet's name and disk (zero-terminated); then
// the folder entries.
constexpr int kCabHeaderSize = 36;
constexpr int kHdrCabinetSize = 8;
constexpr int kHdrFilesAt = 16;
constexpr int kHdrMinor = 24;
constexpr int kHdrMajor = 25;
constexpr int kHdrFolderCount = 26;
constexpr int kHdrFileCount = 28;
constexpr int kHdrFlags = 30;
constexpr int kHdrSetId = 32;
constexpr int kHdrIndex = 34;
constexpr uint32_t kCabSignature = 0x4643534D; // "MSCF"
constexpr uint16_t kFlagPrevCabinet = 0x0001;
constexpr uint16_t kFlagNextCabinet = 0x0002;
constexpr uint16_t kFlagReserve = 0x0004;

// Folder entry (8 bytes, then the folder reserve):
// | 0 offset of the first data block | 4 block count (16-bit) | 6 compression (16-bit) |
constexpr int kFolderSize = 8;
// The low 4 bits of the compression field name the method; LZX and Quantum keep their window size above them.
constexpr uint16_t kMethodMask = 0x000F;
constexpr int kMethodStored = 0;
constexpr int kMethodMszip = 1;
constexpr int kMethodLzx = 3; // 2 is Quantum

// File entry (16 bytes, then the zero-terminated name):
// +------+------------------+--------+------+------+------------+------+
// | 0    | 4                | 8      | 10   | 12   | 14         | 16   |
// | size | offset in folder | folder | date | time | attributes | name |
// +------+------------------+--------+------+------+------------+------+
constexpr int kFileSize = 16;
constexpr int kFileOffsetAt = 4;
constexpr int kFileFolderAt = 8;
constexpr int kFileDateAt = 10;
constexpr int kFileTimeAt = 12;
constexpr int kFileAttrAt = 14;
// Folder numbers that say where a file goes on: from the previous cabinet (in this cabinet's
// first folder), into the next one (this cabinet's last folder), or both (its only folder).
constexpr uint16_t kFromPrevious = 0xFFFD;
constexpr uint16_t kToNext = 0xFFFE;
constexpr uint16_t kPreviousAndNext = 0xFFFF;
// Attribute bits that are no DOS attributes: the name is UTF-8, and run after extraction.
constexpr uint16_t kAttrNameUtf8 = 0x80;
constexpr uint16_t kAttrExecute = 0x40;

// Data block (8 bytes, then the data reserve and the packed data):
// | 0 checksum (0: none) | 4 packed size (16-bit) | 6 unpacked size (16-bit; 0: goes on in the next cabinet) |
constexpr int kBlockHeaderSize = 8;
// A block unpacks to at most 32 KiB (MSZIP's window).
constexpr int kMaxBlockUnpacked = 32768;
// An MSZIP block starts with "CK", then raw deflate data.
constexpr char kMszipTag[2] = {'C', 'K'};

// Names of files and of linked cabinets: at most 255 bytes before the terminator.
constexpr int kNameLimit = 255;

struct CabFolder {
    uint32_t firstBlock = 0;
    uint16_t blocks = 0;
    uint16_t compression = 0;
};

// What a cabinet's header says.
struct Cabinet {
    uint32_t size = 0; // the whole cabinet's size, as the header says
    uint32_t filesAt = 0;
    uint16_t fileCount = 0;
    uint16_t flags = 0;
    uint16_t setId = 0;
    uint16_t index = 0;
    uint8_t versionMajor = 0;
    uint8_t versionMinor = 0;
    uint8_t folderReserve = 0;
    uint8_t dataReserve = 0;
    QByteArray nextName;
    std::vector<CabFolder> folders;
};

enum class TextRead { Ok, TooLong, Truncated };

// The zero-terminated text at pos, of at most kNameLimit bytes; pos moves past its terminator.
TextRead readText(TArcSource &src, int64_t &pos, QByteArray &text)
{
    char buf[kNameLimit + 1];
    const int64_t n = std::min<int64_t>(src.size() - pos, sizeof buf);
    if (n <= 0 || !src.readAt(pos, buf, n))
        return TextRead::Truncated;
    const char *nul = static_cast<const char *>(std::memchr(buf, 0, size_t(n)));
    if (!nul)
        return n == int64_t(sizeof buf) ? TextRead::TooLong : TextRead::Truncated;
    text = QByteArray(buf, nul - buf);
    pos += (nul - buf) + 1;
    return TextRead::Ok;
}

// Reads the cabinet header and folder table at the start of src; 0, or the error code:
// 25108 when it is no cabinet header (or a link name is too long), 25135 when it is cut short.
int readCabinet(TArcSource &src, Cabinet &cab)
{
    char head[kCabHeaderSize];
    if (!src.readAt(0, head, kCabHeaderSize))
        return src.size() >= 4 ? ArcErrReadFile : ArcErrBadFileHeader;
    const QByteArrayView h(head, kCabHeaderSize);
    if (TByteReader::u32At(h, 0) != kCabSignature)
        return ArcErrBadFileHeader;
    cab.size = TByteReader::u32At(h, kHdrCabinetSize);
    cab.filesAt = TByteReader::u32At(h, kHdrFilesAt);
    cab.versionMinor = uint8_t(head[kHdrMinor]);
    cab.versionMajor = uint8_t(head[kHdrMajor]);
    const uint16_t folderCount = TByteReader::u16At(h, kHdrFolderCount);
    cab.fileCount = TByteReader::u16At(h, kHdrFileCount);
    cab.flags = TByteReader::u16At(h, kHdrFlags);
    cab.setId = TByteReader::u16At(h, kHdrSetId);
    cab.index = TByteReader::u16At(h, kHdrIndex);
    int64_t pos = kCabHeaderSize;
    if (cab.flags & kFlagReserve) {
        char sizes[4];
        if (!src.readAt(pos, sizes, 4))
            return ArcErrReadFile;
        const uint16_t headerReserve = TByteReader::u16At(QByteArrayView(sizes, 4), 0);
        cab.folderReserve = uint8_t(sizes[2]);
        cab.dataReserve = uint8_t(sizes[3]);
        pos += 4 + headerReserve;
    }
    QByteArray disk;
    const int links = ((cab.flags & kFlagPrevCabinet) ? 1 : 0) + ((cab.flags & kFlagNextCabinet) ? 1 : 0);
    for (int link = 0; link < links; ++link) {
        QByteArray name;
        for (QByteArray *text : {&name, &disk}) {
            const TextRead r = readText(src, pos, *text);
            if (r != TextRead::Ok)
                return r == TextRead::TooLong ? ArcErrBadFileHeader : ArcErrReadFile;
        }
        // The next cabinet's link comes last.
        if ((cab.flags & kFlagNextCabinet) && link == links - 1)
            cab.nextName = name;
    }
    const int64_t entrySize = kFolderSize + cab.folderReserve;
    if (pos > src.size() || int64_t(folderCount) * entrySize > src.size() - pos)
        return ArcErrReadFile;
    QByteArray table(folderCount * entrySize, Qt::Uninitialized);
    if (!src.readAt(pos, table.data(), table.size()))
        return ArcErrReadFile;
    cab.folders.resize(folderCount);
    for (int i = 0; i < folderCount; ++i) {
        const QByteArrayView entry = QByteArrayView(table).sliced(i * entrySize, kFolderSize);
        cab.folders[size_t(i)] = {TByteReader::u32At(entry, 0), TByteReader::u16At(entry, 4),
                                  TByteReader::u16At(entry, 6)};
    }
    return 0;
}

// The index of the folder a file entry's folder number stands for; -1 when there is none.
int folderIndex(const Cabinet &cab, uint16_t folder)
{
    const int count = int(cab.folders.size());
    if (count == 0)
        return -1;
    if (folder == kFromPrevious || folder == kPreviousAndNext)
        return 0;
    if (folder == kToNext)
        return count - 1;
    return folder < count ? folder : -1;
}

// A member name as the kit keeps it: UTF-8 (the bytes as they are when valid, else code page 437), "\" separated.
QByteArray memberName(QByteArrayView stored)
{
    QByteArray name = DosBytesToUtf8(stored);
    name.replace('/', '\\');
    return name;
}

// The path of the cabinet a set links to: its file-name part (a link never leaves the folder)
// beside current, found without regard to case when the exact spelling is not there.
// volumeExists says whether a path is a cabinet that can be read.
template <typename Exists>
QString linkedCabinet(const QString &current, const QByteArray &link, Exists volumeExists)
{
    QByteArray base = link;
    base.replace('\\', '/');
    base = base.mid(base.lastIndexOf('/') + 1);
    const QString dir = QFileInfo(current).path();
    const QString name = QFile::decodeName(base);
    const QString exact = dir + QLatin1Char('/') + name;
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || volumeExists(exact))
        return exact;
    const QStringList entries = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir + QLatin1Char('/') + entry;
    return exact;
}

// ---------------------------------------------------------------------------
// Listing

class CabListReader : public TArcListReader
{
public:
    int headerSize() const override { return kFileSize; }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        if (const int error = readCabinet(src, m_cab))
            lister.raiseError(error);
        begin(lister, src);
    }

    Step step(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t headerOffset) override
    {
        if (!m_nextPending)
            return entry(lister, src, fixed, headerOffset);
        // The previous cabinet's entries are done: its first entry comes from the next cabinet.
        m_nextPending = false;
        checkComplete(lister, src);
        openNext(lister);
        TArcSource &next = lister.source();
        if (m_left == 0)
            return Step::Skip;
        char buf[kFileSize];
        const int64_t at = lister.position;
        if (!next.readAt(at, buf, kFileSize))
            lister.raiseError(ArcErrReadFile);
        lister.position += kFileSize;
        lister.HeaderOffset = at;
        return entry(lister, next, QByteArrayView(buf, kFileSize), at);
    }

    void finish(TArcLister &lister, int decoded) override
    {
        (void)decoded;
        // The file ended before the entries the header counts.
        if (m_left > 0 && !m_nextPending)
            lister.raiseError(ArcErrReadFile);
        checkComplete(lister, lister.source());
    }

private:
    // A cabinet shorter than its header says has lost data its directory promises: that is
    // reported (25135) once its members are, so a catalog keeps what the directory lists.
    void checkComplete(TArcLister &lister, TArcSource &src)
    {
        if (m_cab.size > src.size())
            lister.raiseError(ArcErrReadFile);
    }

    // Starts on the file entries of the current cabinet.
    void begin(TArcLister &lister, TArcSource &src)
    {
        m_left = m_cab.fileCount;
        lister.position = m_cab.filesAt;
        lister.endOfMembers = src.size();
        if (m_left == 0)
            afterLast(lister);
    }

    // After a cabinet's last entry: the end, or the next cabinet. The loop reads one more
    // fixed part before it calls step again; the cabinet header (36 bytes, always there)
    // serves, and step then reads the next cabinet's first entry itself.
    void afterLast(TArcLister &lister)
    {
        if (m_cab.flags & kFlagNextCabinet) {
            m_nextPending = true;
            lister.position = 0;
        } else {
            lister.position = lister.endOfMembers;
        }
    }

    // Opens the next cabinet of the set (25903 then 25132 when it is missing, 25135 when it cannot
    // be read, 25108 when it is no cabinet, 25904 when it belongs to another set or out of order).
    void openNext(TArcLister &lister)
    {
        auto exists = [&lister](const QString &path) { return lister.volumeExists(path); };
        QString path = linkedCabinet(lister.CurrentFile, m_cab.nextName, exists);
        if (!lister.volumeExists(path)) {
            lister.warn(ArcErrNextCabinet);
            path = linkedCabinet(lister.CurrentFile, m_cab.nextName, exists);
            if (!lister.volumeExists(path))
                lister.raiseError(ArcErrFileNotFound);
        }
        if (!lister.openVolume(path))
            lister.raiseError(ArcErrReadFile);
        Cabinet next;
        if (const int error = readCabinet(lister.source(), next))
            lister.raiseError(error);
        if (next.setId != m_cab.setId || next.index != uint32_t(m_cab.index) + 1)
            lister.raiseError(ArcErrForeignCabinet);
        m_cab = std::move(next);
        begin(lister, lister.source());
    }

    Step entry(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t headerOffset)
    {
        int64_t pos = headerOffset + kFileSize;
        QByteArray stored;
        const TextRead r = readText(src, pos, stored);
        if (r != TextRead::Ok)
            lister.raiseError(r == TextRead::TooLong ? ArcErrBadFileHeader : ArcErrReadFile);
        lister.position = pos;
        const int folder = folderIndex(m_cab, TByteReader::u16At(fixed, kFileFolderAt));
        if (folder < 0)
            lister.raiseError(ArcErrBadFileHeader);
        const uint16_t attr = TByteReader::u16At(fixed, kFileAttrAt);
        lister.MemberName = memberName(stored);
        lister.UnpackedSize = lister.PackedSize = TByteReader::u32At(fixed, 0);
        lister.MemberCRC = 0;
        const uint32_t dos = uint32_t(TByteReader::u16At(fixed, kFileDateAt)) << 16 |
                             TByteReader::u16At(fixed, kFileTimeAt);
        lister.MemberDosDate = NormalizedDosDateTime(dos);
        lister.MemberDate = DosDateTimeToDateTime(lister.MemberDosDate);
        // Each member's own folder says its method (a cabinet may mix them).
        lister.MethodCode = m_cab.folders[size_t(folder)].compression & kMethodMask;
        // The name-encoding and run-after-extraction bits are no DOS attributes.
        lister.MemberAttr = attr & ~uint32_t(kAttrNameUtf8 | kAttrExecute);
        lister.VersionMadeBy = lister.VersionNeeded = uint8_t(m_cab.versionMajor * 10 + m_cab.versionMinor);
        lister.Ratio = 0;
        if (--m_left == 0)
            afterLast(lister);
        return Step::Report;
    }

    Cabinet m_cab;
    int m_left = 0;
    bool m_nextPending = false;
};

// ---------------------------------------------------------------------------
// Extraction

// The MS-CAB block checksum: the data as 32-bit little-endian words XORed together,
// the last 1 to 3 bytes taken as one word with the first of them highest.
uint32_t blockChecksum(const uint8_t *p, size_t n, uint32_t seed)
{
    uint32_t sum = seed;
    size_t i = 0;
    for (; i + 4 <= n; i += 4)
        sum ^= uint32_t(p[i]) | uint32_t(p[i + 1]) << 8 | uint32_t(p[i + 2]) << 16 | uint32_t(p[i + 3]) << 24;
    uint32_t last = 0;
    for (; i < n; ++i)
        last = last << 8 | p[i];
    return sum ^ last;
}

// One cabinet of the set being extracted.
struct SetCabinet {
    QString path;
    Cabinet cab;
    QByteArray fileTable; // the file entries, from the header's file offset on
};

// A folder's run of data blocks in one cabinet.
struct Segment {
    int cabinet = 0;
    uint32_t firstBlock = 0;
    uint16_t blocks = 0;
};

// A folder as one stream, its blocks perhaps spread over several cabinets.
struct StreamFolder {
    int method = 0;
    std::vector<Segment> segments;
};

struct Member {
    QString rel;        // the output path
    uint32_t size = 0;
    uint32_t offset = 0;
    int folder = 0;     // index into the stream folders
    uint32_t dos = 0;
    int recNum = 0;
};

// The cabinets of a set, read one at a time: the archive itself, and one other held open.
class CabinetSources
{
public:
    CabinetSources(TArcSource &first, const std::vector<SetCabinet> &set, const TZipCommon &volumes)
        : m_first(first), m_set(set), m_volumes(volumes)
    {
    }
    // The source of cabinet i, or null when it cannot be opened.
    TArcSource *source(int i)
    {
        if (i == 0)
            return &m_first;
        if (i != m_openIndex) {
            m_open.reset();
            m_openIndex = -1;
            if (i < 0 || size_t(i) >= m_set.size())
                return nullptr;
            m_open = m_volumes.openVolumeSource(m_set[size_t(i)].path);
            if (!m_open)
                return nullptr;
            m_openIndex = i;
        }
        return m_open.get();
    }

private:
    TArcSource &m_first;
    const std::vector<SetCabinet> &m_set;
    const TZipCommon &m_volumes;
    std::unique_ptr<TArcSource> m_open;
    int m_openIndex = -1;
};

// Reads a folder's uncompressed stream from its first byte on: one data block at a time is
// decoded (joined with its second part when it goes on in the next cabinet) and handed out.
// A block's output is checked against its unpacked size; a block whose checksum fails is
// remembered as a range of the stream. Every call returns Ok, DataError or Truncated (a
// block or cabinet that is not there); after an error the reader stays failed.
class FolderStream
{
public:
    FolderStream(CabinetSources &sources, const std::vector<SetCabinet> &set, const StreamFolder &folder)
        : m_sources(sources), m_set(set), m_folder(folder)
    {
        m_in.reserve(kMaxBlockUnpacked + 6144);
        m_out.resize(kMaxBlockUnpacked + 1);
    }

    uint64_t position() const { return m_pos; }

    // Copies the next n bytes of the stream to buf (buf null: passes over them).
    DecodeStatus read(char *buf, uint64_t n)
    {
        while (n > 0) {
            if (m_status != DecodeStatus::Ok)
                return m_status;
            if (m_outAt == m_outLen) {
                m_status = nextBlock();
                continue;
            }
            const uint64_t take = std::min<uint64_t>(n, uint64_t(m_outLen - m_outAt));
            if (buf) {
                std::memcpy(buf, m_out.data() + m_outAt, size_t(take));
                buf += take;
            }
            m_outAt += int(take);
            m_pos += take;
            n -= take;
        }
        return m_status;
    }

    // Whether a block with a failed checksum covers part of [from, to).
    bool checksumFailedIn(uint64_t from, uint64_t to) const
    {
        for (const auto &[start, end] : m_badRanges)
            if (start < to && from < end)
                return true;
        return false;
    }

private:
    // Reads the next block of the folder into m_in (appending); sets unpacked and checksum.
    DecodeStatus readBlock(uint16_t &unpacked, bool &checksumOk)
    {
        for (;;) {
            if (m_segment >= m_folder.segments.size())
                return DecodeStatus::Truncated;
            const Segment &seg = m_folder.segments[m_segment];
            if (m_blockInSegment == 0)
                m_blockAt = seg.firstBlock;
            if (m_blockInSegment < seg.blocks)
                break;
            ++m_segment;
            m_blockInSegment = 0;
        }
        const Segment &seg = m_folder.segments[m_segment];
        TArcSource *src = m_sources.source(seg.cabinet);
        if (!src)
            return DecodeStatus::Truncated;
        uint8_t head[kBlockHeaderSize];
        if (!src->readAt(m_blockAt, head, kBlockHeaderSize))
            return DecodeStatus::Truncated;
        const QByteArrayView hv(reinterpret_cast<const char *>(head), kBlockHeaderSize);
        const uint32_t sum = TByteReader::u32At(hv, 0);
        const uint16_t packed = TByteReader::u16At(hv, 4);
        unpacked = TByteReader::u16At(hv, 6);
        const int64_t dataAt = m_blockAt + kBlockHeaderSize + m_set[size_t(seg.cabinet)].cab.dataReserve;
        const size_t had = m_in.size();
        m_in.resize(had + packed);
        if (!src->readAt(dataAt, m_in.data() + had, packed))
            return DecodeStatus::Truncated;
        m_blockAt = dataAt + packed;
        ++m_blockInSegment;
        checksumOk = sum == 0 || blockChecksum(head + 4, 4, blockChecksum(m_in.data() + had, packed, 0)) == sum;
        return DecodeStatus::Ok;
    }

    DecodeStatus nextBlock()
    {
        m_in.clear();
        uint16_t unpacked = 0;
        bool checksumOk = true;
        DecodeStatus status = readBlock(unpacked, checksumOk);
        if (status != DecodeStatus::Ok)
            return status;
        if (unpacked == 0) {
            // Cut at the end of a cabinet: the rest is the next segment's first block, which
            // holds the unpacked size. The checksums of the two parts are not checked.
            if (m_segment + 1 >= m_folder.segments.size())
                return DecodeStatus::Truncated;
            ++m_segment;
            m_blockInSegment = 0;
            status = readBlock(unpacked, checksumOk);
            if (status != DecodeStatus::Ok)
                return status;
            checksumOk = true;
            if (unpacked == 0)
                return DecodeStatus::DataError;
        }
        if (unpacked > kMaxBlockUnpacked)
            return DecodeStatus::DataError;
        if (!checksumOk)
            m_badRanges.emplace_back(m_pos, m_pos + unpacked);

        if (m_folder.method == kMethodStored) {
            if (m_in.size() != unpacked)
                return DecodeStatus::DataError;
            std::memcpy(m_out.data(), m_in.data(), unpacked);
        } else {
            if (m_in.size() < 2 || std::memcmp(m_in.data(), kMszipTag, 2) != 0)
                return DecodeStatus::DataError;
            if (!inflateBlock(unpacked))
                return DecodeStatus::DataError;
        }
        m_outAt = 0;
        m_outLen = unpacked;
        return DecodeStatus::Ok;
    }

    // Inflates m_in (after its tag) into m_out: exactly unpacked bytes, with the last 32 KiB
    // of the folder's output as the window. Each block is a deflate stream of its own that
    // ends with a last block, or at the end of its input.
    bool inflateBlock(uint16_t unpacked)
    {
        if (!m_inflater) {
            m_inflater = std::make_unique<TRawInflater>();
            if (!m_inflater->ok())
                return false;
        }
        z_stream &zs = m_inflater->stream();
        if (inflateReset(&zs) != Z_OK)
            return false;
        if (!m_window.empty() &&
            inflateSetDictionary(&zs, m_window.data(), uInt(m_window.size())) != Z_OK)
            return false;
        zs.next_in = m_in.data() + 2;
        zs.avail_in = uInt(m_in.size() - 2);
        zs.next_out = m_out.data();
        zs.avail_out = uInt(m_out.size()); // one byte more than allowed: an overlong block shows
        int ret = Z_OK;
        while (ret == Z_OK) {
            const uInt before = zs.avail_in + zs.avail_out;
            ret = inflate(&zs, Z_NO_FLUSH);
            if (ret == Z_OK && zs.avail_in + zs.avail_out == before)
                break; // no progress: the input is used up
        }
        if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR)
            return false;
        if (m_out.size() - zs.avail_out != unpacked)
            return false;
        // The window: the last 32 KiB of output.
        m_window.insert(m_window.end(), m_out.begin(), m_out.begin() + unpacked);
        if (m_window.size() > size_t(kMaxBlockUnpacked))
            m_window.erase(m_window.begin(), m_window.end() - kMaxBlockUnpacked);
        return true;
    }

    CabinetSources &m_sources;
    const std::vector<SetCabinet> &m_set;
    const StreamFolder &m_folder;
    size_t m_segment = 0;
    uint32_t m_blockInSegment = 0;
    int64_t m_blockAt = 0;
    std::vector<uint8_t> m_in;
    std::vector<uint8_t> m_out;
    std::vector<uint8_t> m_window;
    int m_outAt = 0;
    int m_outLen = 0;
    uint64_t m_pos = 0;
    DecodeStatus m_status = DecodeStatus::Ok;
    std::vector<std::pair<uint64_t, uint64_t>> m_badRanges;
    std::unique_ptr<TRawInflater> m_inflater;
};

// The error a failed read of a member's data is reported with.
int decodeError(DecodeStatus status)
{
    return status == DecodeStatus::Truncated ? int(ArcErrReadFile) : int(ArcErrInvalidCode);
}

} // namespace

bool IsLaterCabinet(const QString &path)
{
    if (!path.endsWith(QLatin1String(".cab"), Qt::CaseInsensitive))
        return false;
    TFileSource src(path);
    char head[kCabHeaderSize];
    if (!src.isOpen() || !src.readAt(0, head, kCabHeaderSize))
        return false;
    const QByteArrayView h(head, kCabHeaderSize);
    return TByteReader::u32At(h, 0) == kCabSignature && (TByteReader::u16At(h, kHdrFlags) & kFlagPrevCabinet);
}

std::unique_ptr<TArcListReader> MakeCabListReader()
{
    return std::make_unique<CabListReader>();
}

int TUnCAB::extractMembers(TArcSource &src, const QString &root)
{
    // The set from this cabinet on: each next cabinet read while it is there and belongs.
    std::vector<SetCabinet> set(1);
    set[0].path = m_archiveFile;
    if (const int error = readCabinet(src, set[0].cab))
        raiseError(error);
    auto readFiles = [](TArcSource &from, SetCabinet &into) {
        const int64_t at = into.cab.filesAt;
        const int64_t n = std::max<int64_t>(0, from.size() - at);
        into.fileTable.resize(n);
        return at <= from.size() && from.readAt(at, into.fileTable.data(), n);
    };
    if (!readFiles(src, set[0]))
        raiseError(ArcErrReadFile);
    while (set.back().cab.flags & kFlagNextCabinet) {
        const Cabinet &last = set.back().cab;
        auto exists = [this](const QString &path) { return volumeExists(path); };
        const QString path = linkedCabinet(set.back().path, last.nextName, exists);
        if (!volumeExists(path)) {
            warn(ArcErrNextCabinet);
            break;
        }
        const std::unique_ptr<TArcSource> file = openVolumeSource(path);
        SetCabinet next;
        next.path = path;
        if (!file || readCabinet(*file, next.cab) != 0 || !readFiles(*file, next)) {
            warn(ArcErrReadFile);
            break;
        }
        if (next.cab.setId != last.setId || next.cab.index != uint32_t(last.index) + 1) {
            warn(ArcErrForeignCabinet);
            break;
        }
        set.push_back(std::move(next));
    }

    // The folders as streams, and the members that start in the given cabinets.
    std::vector<StreamFolder> folders;
    std::vector<Member> members;
    bool previousGoesOn = false; // the previous cabinet's last folder goes on in this one
    int recNum = 0;
    // A damaged file table ends the members there, as it ends the listing.
    bool tableEnds = false;
    for (size_t c = 0; c < set.size() && !tableEnds; ++c) {
        const Cabinet &cab = set[c].cab;
        std::vector<int> streamOf(cab.folders.size());
        for (size_t f = 0; f < cab.folders.size(); ++f) {
            const CabFolder &folder = cab.folders[f];
            const Segment seg{int(c), folder.firstBlock, folder.blocks};
            if (f == 0 && previousGoesOn && !folders.empty()) {
                folders.back().segments.push_back(seg);
            } else {
                folders.push_back({folder.compression & kMethodMask, {seg}});
            }
            streamOf[f] = int(folders.size()) - 1;
        }
        previousGoesOn = false;
        TByteReader entries(set[c].fileTable);
        for (int i = 0; i < cab.fileCount && !tableEnds; ++i) {
            const QByteArrayView fixed = entries.bytes(kFileSize);
            const qsizetype nameAt = entries.pos();
            const QByteArrayView stored = entries.zeroTerminated(kNameLimit);
            if (entries.failed()) {
                warn(ArcErrReadFile);
                tableEnds = true;
                break;
            }
            const uint16_t number = TByteReader::u16At(fixed, kFileFolderAt);
            if (number == kToNext || number == kPreviousAndNext)
                previousGoesOn = true;
            const int folder = folderIndex(cab, number);
            if (folder < 0 || entries.pos() - nameAt - 1 > kNameLimit) {
                warn(ArcErrBadFileHeader);
                tableEnds = true;
                break;
            }
            if (number == kFromPrevious || number == kPreviousAndNext) {
                // Listed in the previous cabinet already; its start is there.
                if (c == 0)
                    warn(ArcErrNeedFirstCabinet);
                continue;
            }
            ++recNum;
            const QString rel = selectedOutputPath(QString::fromUtf8(memberName(stored)));
            if (rel.isEmpty())
                continue;
            const uint32_t dos = uint32_t(TByteReader::u16At(fixed, kFileDateAt)) << 16 |
                                 TByteReader::u16At(fixed, kFileTimeAt);
            members.push_back({rel, TByteReader::u32At(fixed, 0), TByteReader::u32At(fixed, kFileOffsetAt),
                               streamOf[size_t(folder)], dos, recNum});
        }
    }

    // Folder by folder, members in the order of their data, each folder decoded once.
    std::stable_sort(members.begin(), members.end(), [](const Member &a, const Member &b) {
        return a.folder != b.folder ? a.folder < b.folder : a.offset < b.offset;
    });
    CabinetSources sources(src, set, *this);
    auto buffer = std::make_unique<char[]>(kArcBufferSize);
    int extracted = 0;
    size_t next = 0;
    while (next < members.size()) {
        const int folderNo = members[next].folder;
        size_t end = next;
        while (end < members.size() && members[end].folder == folderNo)
            ++end;
        const StreamFolder &folder = folders[size_t(folderNo)];
        if (folder.method != kMethodStored && folder.method != kMethodMszip) {
            for (size_t i = next; i < end; ++i)
                warn(folder.method == kMethodLzx ? int(ArcErrLzxMethod) : int(ArcErrUnsupportedMethod));
            next = end;
            continue;
        }
        FolderStream stream(sources, set, folder);
        for (; next < end; ++next) {
            const Member &m = members[next];
            if (m.size > OutputLimit) {
                warn(ArcErrBadLengths);
                continue;
            }
            // Members of one folder do not share bytes; one that would is damage.
            if (m.size > 0 && m.offset < stream.position()) {
                warn(ArcErrBadLengths);
                continue;
            }
            DecodeStatus status = DecodeStatus::Ok;
            if (m.size > 0)
                status = stream.read(nullptr, m.offset - stream.position());
            if (status != DecodeStatus::Ok) {
                warn(decodeError(status));
                continue;
            }
            TMemberFile out(*this, root, m.rel, m.size, m.size);
            if (!out.open(m.recNum))
                continue;
            for (uint64_t left = m.size; left > 0 && status == DecodeStatus::Ok;) {
                const uint64_t n = std::min<uint64_t>(left, uint64_t(kArcBufferSize));
                status = stream.read(buffer.get(), n);
                if (status == DecodeStatus::Ok && !out.write(buffer.get(), int64_t(n)))
                    status = DecodeStatus::OutputError;
                left -= n;
            }
            if (status != DecodeStatus::Ok) {
                out.discard();
                warn(status == DecodeStatus::OutputError ? int(ArcErrWriteFile) : decodeError(status));
                continue;
            }
            const bool crcPass = !stream.checksumFailedIn(m.offset, uint64_t(m.offset) + m.size);
            const int64_t mtime = DosToUnix(NormalizedDosDateTime(m.dos)).value_or(-1);
            if (out.commit(mtime, crcPass))
                ++extracted;
        }
    }
    return extracted;
}

std::unique_ptr<TUnBase> MakeUnCAB()
{
    return std::make_unique<TUnCAB>();
}
