// The TAR directory reader and extractor. Each header's checksum is its signature: a header
// that fails it ends the list quietly, as does an empty name (the archive's end
// blocks). An entry whose data runs past the end of the file, or a size field
// that is not a number, ends the listing with an error. GNU long-name entries
// ('L') and pax records ('x', keys path and size) apply to the next entry; they
// are bounded so that a hostile header cannot demand a huge allocation. GNU
// sparse members (old 'S' headers and the pax 0.0, 0.1 and 1.0 forms) list with
// the size of the file they stand for and extract with their holes. One header
// walk serves the lister and the extractor; extraction never creates a link or a
// device.
#include "archive/UnTar.h"

#include "platform/Texts.h"

#include <QDir>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace {

// Header (512 bytes):
// +------+------+-----+-----+------+-------+--------+------+----------+-------+
// | 0    | 100  | 108 | 116 | 124  | 136   | 148    | 156  | 157      | 257   |
// | name | mode | uid | gid | size | mtime | chksum | type | linkname | magic |
// +------+------+-----+-----+------+-------+--------+------+----------+-------+
// | 263     | 265   | 297   | 329      | 337      | 345    | 500 |
// | version | uname | gname | devmajor | devminor | prefix | pad |
// +---------+-------+-------+----------+----------+--------+-----+
constexpr int kBlock = 512;
constexpr int kNameAt = 0, kNameLen = 100;
constexpr int kSizeAt = 124, kSizeLen = 12;
constexpr int kMtimeAt = 136, kMtimeLen = 12;
constexpr int kChecksumAt = 148, kChecksumLen = 8;
constexpr int kTypeAt = 156;
constexpr int kMagicAt = 257;
constexpr int kPrefixAt = 345, kPrefixLen = 155;

// Long names and pax records larger than this are refused (paths are far shorter).
constexpr int64_t kMetaLimit = 1 << 20;

// The text of a fixed field up to its first NUL.
QByteArray fieldText(QByteArrayView block, int at, int len)
{
    QByteArrayView f = block.sliced(at, len);
    const qsizetype nul = f.indexOf('\0');
    return (nul >= 0 ? f.first(nul) : f).toByteArray();
}

// Whether the checksum field matches the header's byte sum (unsigned, or signed as some old writers summed).
bool checksumMatches(QByteArrayView block, uint64_t stored)
{
    int64_t unsignedSum = 0, signedSum = 0;
    for (int i = 0; i < kBlock; ++i) {
        const bool inField = i >= kChecksumAt && i < kChecksumAt + kChecksumLen;
        unsignedSum += inField ? 32 : uint8_t(block[i]);
        signedSum += inField ? 32 : int8_t(block[i]);
    }
    return int64_t(stored) == unsignedSum || int64_t(stored) == signedSum;
}

// A decimal number of a pax record; nothing when it is not one.
std::optional<uint64_t> decimal(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + uint64_t(c - '0');
    }
    return v;
}

// A sparse member's map beyond this many pieces is refused (a real map of that size
// would describe a file of a million holes; the bound keeps a hostile map small).
constexpr size_t kMaxSparsePieces = 1 << 20;

// What pax records say about the next entry. The GNU sparse forms: 0.0 gives the
// map as repeated offset / numbytes records, 0.1 as one comma-separated map record,
// 1.0 keeps the map at the start of the data; 0.1 and 1.0 name the file in
// GNU.sparse.name (the header holds a made-up name).
struct TarPax {
    QByteArray path;
    int64_t size = -1;           // stored data size; -1: none
    QByteArray sparseName;
    int64_t sparseRealSize = -1; // GNU.sparse.size (0.x) or GNU.sparse.realsize (1.0)
    int sparseMajor = -1;
    std::vector<uint64_t> sparseNumbers; // offset, length, offset, length ... (0.0 and 0.1)
    bool sparseBad = false;

    bool sparse() const { return sparseRealSize >= 0 || sparseMajor >= 0 || !sparseNumbers.empty(); }
    void addSparseNumber(std::optional<uint64_t> v)
    {
        if (!v || sparseNumbers.size() >= 2 * kMaxSparsePieces)
            sparseBad = true;
        else
            sparseNumbers.push_back(*v);
    }
};

// Takes the records this reader uses from pax data ("LEN key=value\n"); a malformed record
// ends the parse. A size record that is not a number leaves size as it was.
void parsePaxRecords(QByteArrayView data, TarPax &pax)
{
    qsizetype at = 0;
    while (at < data.size()) {
        const qsizetype space = data.indexOf(' ', at);
        if (space < 0)
            return;
        const std::optional<uint64_t> len = decimal(data.sliced(at, space - at));
        if (!len || *len <= uint64_t(space - at) || *len > uint64_t(data.size() - at))
            return;
        const QByteArrayView record = data.sliced(space + 1, qsizetype(*len) - (space - at) - 1);
        at += qsizetype(*len);
        if (record.isEmpty() || record.back() != '\n')
            return;
        const QByteArrayView body = record.chopped(1);
        const qsizetype eq = body.indexOf('=');
        if (eq < 0)
            return;
        const QByteArrayView key = body.first(eq);
        const QByteArrayView value = body.sliced(eq + 1);
        const std::optional<uint64_t> number = decimal(value);
        const bool bigNumber = number && *number <= uint64_t(INT64_MAX);
        if (key == "path") {
            pax.path = value.toByteArray();
        } else if (key == "size") {
            if (bigNumber)
                pax.size = int64_t(*number);
        } else if (key == "GNU.sparse.name") {
            pax.sparseName = value.toByteArray();
        } else if (key == "GNU.sparse.size" || key == "GNU.sparse.realsize") {
            if (bigNumber)
                pax.sparseRealSize = int64_t(*number);
            else
                pax.sparseBad = true;
        } else if (key == "GNU.sparse.major") {
            pax.sparseMajor = number && *number < 100 ? int(*number) : 99;
        } else if (key == "GNU.sparse.offset" || key == "GNU.sparse.numbytes") {
            pax.addSparseNumber(number);
        } else if (key == "GNU.sparse.map") {
            for (QByteArrayView rest = value; !rest.isEmpty();) {
                const qsizetype comma = rest.indexOf(',');
                pax.addSparseNumber(decimal(comma < 0 ? rest : rest.first(comma)));
                rest = comma < 0 ? QByteArrayView() : rest.sliced(comma + 1);
            }
        }
    }
}

// Where the stored pieces of a sparse member go in the file it stands for.
struct TarSparseMap {
    std::vector<std::pair<uint64_t, uint64_t>> pieces; // offset in the file, length
    uint64_t realSize = 0;
};

// Old GNU sparse header ('S'), in the 512-byte header past the ustar fields:
// +-----+-------------------------------------+------------+----------+
// | 386 | 4 x (offset[12], numbytes[12])      | 482        | 483      |
// |     |                                     | isextended | realsize |
// +-----+-------------------------------------+------------+----------+
// then, while isextended is set, 512-byte blocks of 21 entries with their own
// isextended byte at 504; the stored data follows the last of them.
constexpr int kOldSparseAt = 386, kOldSparseEntries = 4, kOldIsExtendedAt = 482, kOldRealSizeAt = 483;
constexpr int kSparseEntrySize = 24, kExtEntries = 21, kExtIsExtendedAt = 504;

// Reads entries of an old GNU map; false on a field that is not a number. An entry
// whose offset field is empty ends the map.
bool oldSparseEntries(QByteArrayView block, int at, int count, TarSparseMap &map)
{
    for (int i = 0; i < count; ++i) {
        const QByteArrayView entry = block.sliced(at + i * kSparseEntrySize, kSparseEntrySize);
        if (entry[0] == '\0')
            return true;
        const std::optional<uint64_t> offset = TarNumber(entry.first(12));
        const std::optional<uint64_t> length = TarNumber(entry.sliced(12, 12));
        if (!offset || !length || map.pieces.size() >= kMaxSparsePieces)
            return false;
        map.pieces.emplace_back(*offset, *length);
    }
    return true;
}

// Whether every piece lies inside the file and the pieces add up to the stored bytes.
bool sparseMapFits(const TarSparseMap &map, uint64_t stored)
{
    uint64_t sum = 0;
    for (const auto &[offset, length] : map.pieces) {
        if (offset > map.realSize || length > map.realSize - offset || length > stored - std::min(sum, stored))
            return false;
        sum += length;
    }
    return sum == stored;
}

// One entry of a TAR file as the header walk decodes it.
struct TarEntry {
    QByteArray name;             // after long names and pax records, trimmed, "/" separated
    char type = '0';
    uint64_t checksum = 0;
    int64_t dataAt = 0;          // the stored data (past a sparse map)
    int64_t dataLen = 0;         // stored bytes
    std::optional<uint64_t> mtime;
    QByteArray linkName;
    std::shared_ptr<const TarSparseMap> sparse; // null: an ordinary member
    bool folder = false;
    // The size of the file the entry stands for.
    uint64_t realSize() const { return sparse ? sparse->realSize : uint64_t(dataLen); }
};

// Decodes one header block at a time for both the lister and the extractor,
// keeping what long-name and pax entries say about the entry that follows.
// Errors are raised through the component (it throws): 25108 for a size that is
// not a number or a broken sparse map, 25135 for data past the file's end, 25140
// for an oversized long name or pax block.
class TarHeaderWalk
{
public:
    enum class Kind { Meta, Entry, End };

    // Decodes the header block read at headerAt (so its data starts at headerAt + 512), raising
    // errors through owner. Sets next to where the following header lies.
    Kind decode(TZipCommon &owner, TArcSource &src, QByteArrayView fixed, int64_t headerAt, TarEntry &e,
                int64_t &next)
    {
        if (fixed[kNameAt] == '\0')
            return Kind::End;
        const std::optional<uint64_t> checksum = TarNumber(fixed.sliced(kChecksumAt, kChecksumLen));
        if (!checksum || !checksumMatches(fixed, *checksum))
            return Kind::End;
        std::optional<uint64_t> size = TarNumber(fixed.sliced(kSizeAt, kSizeLen));
        if (!size)
            owner.raiseError(ArcErrBadFileHeader);
        const char type = fixed[kTypeAt];
        const bool meta = type == 'L' || type == 'K' || type == 'x' || type == 'g';
        if (!meta && m_pax.size >= 0)
            size = uint64_t(m_pax.size);
        // Links, devices, folders and fifos have no data in the archive whatever their size field
        // says (old writers put the target's size into a hard link's header).
        if (type >= '1' && type <= '6')
            size = 0;

        const int64_t fileSize = src.size();
        int64_t dataAt = headerAt + kBlock;
        auto sparse = std::make_shared<TarSparseMap>();
        if (type == 'S') {
            // The old GNU map: in the header, then in extension blocks before the data.
            bool ok = oldSparseEntries(fixed, kOldSparseAt, kOldSparseEntries, *sparse);
            const std::optional<uint64_t> real = TarNumber(fixed.sliced(kOldRealSizeAt, 12));
            ok = ok && real;
            sparse->realSize = real ? *real : 0;
            for (bool more = fixed[kOldIsExtendedAt] != '\0'; ok && more;) {
                char ext[kBlock];
                if (dataAt + kBlock > fileSize || !src.readAt(dataAt, ext, kBlock))
                    owner.raiseError(ArcErrReadFile);
                dataAt += kBlock;
                ok = oldSparseEntries(QByteArrayView(ext, kBlock), 0, kExtEntries, *sparse);
                more = ext[kExtIsExtendedAt] != '\0';
            }
            if (!ok)
                owner.raiseError(ArcErrBadFileHeader);
        }
        if (*size > uint64_t(fileSize - dataAt))
            owner.raiseError(ArcErrReadFile);
        const int64_t dataLen = int64_t(*size);
        next = std::min<int64_t>(dataAt + dataLen + (kBlock - dataLen % kBlock) % kBlock, fileSize);

        if (meta) {
            if (type == 'K' || type == 'g')
                return Kind::Meta;
            if (dataLen > kMetaLimit)
                owner.raiseError(ArcErrBadLengths);
            QByteArray data(dataLen, Qt::Uninitialized);
            if (!src.readAt(dataAt, data.data(), dataLen))
                owner.raiseError(ArcErrReadFile);
            if (type == 'L') {
                const qsizetype nul = data.indexOf('\0');
                m_longName = nul >= 0 ? data.left(nul) : data;
            } else {
                parsePaxRecords(data, m_pax);
            }
            return Kind::Meta;
        }

        e = TarEntry{};
        if (!m_pax.sparseName.isEmpty()) {
            e.name = m_pax.sparseName;
        } else if (!m_pax.path.isEmpty()) {
            e.name = m_pax.path;
        } else if (!m_longName.isEmpty()) {
            e.name = m_longName;
        } else {
            e.name = fieldText(fixed, kNameAt, kNameLen);
            // POSIX ustar keeps the front of a long path in the prefix field (GNU's own magic does not).
            if (fixed.sliced(kMagicAt, 6) == QByteArrayView("ustar\0", 6)) {
                const QByteArray prefix = fieldText(fixed, kPrefixAt, kPrefixLen);
                if (!prefix.isEmpty())
                    e.name = prefix + '/' + e.name;
            }
        }
        const TarPax pax = std::move(m_pax);
        m_pax = TarPax();
        m_longName.clear();
        e.name = e.name.trimmed();
        e.type = type;
        e.checksum = *checksum;
        e.dataAt = dataAt;
        e.dataLen = dataLen;
        e.linkName = fieldText(fixed, 157, 100).trimmed();
        if (const std::optional<uint64_t> mtime = TarNumber(fixed.sliced(kMtimeAt, kMtimeLen));
            mtime && *mtime <= uint64_t(INT64_MAX / 2))
            e.mtime = mtime;
        if (e.name.isEmpty())
            return Kind::End;
        // Old writers store folders as plain entries whose name ends in "/"; such a folder has no
        // data in the archive even when its size field says otherwise.
        if ((type == '0' || type == '\0') && e.name.endsWith('/')) {
            e.folder = true;
            e.dataLen = 0;
            next = dataAt;
            return Kind::Entry;
        }
        e.folder = type == '5' || type == 'D';

        if (type == 'S') {
            if (!sparseMapFits(*sparse, uint64_t(dataLen)))
                owner.raiseError(ArcErrBadFileHeader);
            e.sparse = std::move(sparse);
        } else if ((type == '0' || type == '\0' || type == '7') && pax.sparse()) {
            if (pax.sparseBad || pax.sparseRealSize < 0)
                owner.raiseError(ArcErrBadFileHeader);
            sparse->realSize = uint64_t(pax.sparseRealSize);
            if (pax.sparseMajor >= 1) {
                if (pax.sparseMajor != 1 || !readDataMap(src, e, *sparse))
                    owner.raiseError(ArcErrBadFileHeader);
            } else {
                if (pax.sparseNumbers.size() % 2 != 0)
                    owner.raiseError(ArcErrBadFileHeader);
                for (size_t i = 0; i < pax.sparseNumbers.size(); i += 2)
                    sparse->pieces.emplace_back(pax.sparseNumbers[i], pax.sparseNumbers[i + 1]);
            }
            if (!sparseMapFits(*sparse, uint64_t(e.dataLen)))
                owner.raiseError(ArcErrBadFileHeader);
            e.sparse = std::move(sparse);
        }
        return Kind::Entry;
    }

private:
    // The 1.0 map at the start of the data: decimal numbers, each ended by a newline (the
    // count of pieces, then offset and length of each), padded to a whole block. Moves
    // the entry's data past it; false when it is damaged.
    static bool readDataMap(TArcSource &src, TarEntry &e, TarSparseMap &map)
    {
        int64_t at = e.dataAt;
        const int64_t end = e.dataAt + e.dataLen;
        QByteArray line;
        std::optional<uint64_t> count;
        std::vector<uint64_t> numbers;
        char block[kBlock];
        while (!count || numbers.size() < 2 * *count) {
            if (at + kBlock > end || !src.readAt(at, block, kBlock))
                return false;
            at += kBlock;
            for (char c : QByteArrayView(block, kBlock)) {
                if (c != '\n') {
                    if (line.size() > 20)
                        return false;
                    line.append(c);
                    continue;
                }
                const std::optional<uint64_t> v = decimal(line);
                line.clear();
                if (!v)
                    return false;
                if (!count) {
                    if (*v > kMaxSparsePieces || *v > uint64_t(e.dataLen / 4))
                        return false;
                    count = v;
                } else if (numbers.size() < 2 * *count) {
                    numbers.push_back(*v);
                }
                if (numbers.size() == 2 * *count)
                    break;
            }
        }
        for (size_t i = 0; i < numbers.size(); i += 2)
            map.pieces.emplace_back(numbers[i], numbers[i + 1]);
        e.dataLen = end - at;
        e.dataAt = at;
        return true;
    }

    QByteArray m_longName;
    TarPax m_pax;
};

class TarListReader : public TArcListReader
{
public:
    int headerSize() const override { return kBlock; }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        lister.position = lister.startOffset() - 1;
        // One past the file's end, so that the loop also reads a header whose block ends the file
        // (writers that leave out the end blocks); reads are checked against the real size.
        lister.endOfMembers = src.size() + 1;
    }

    Step step(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t headerOffset) override
    {
        TarEntry e;
        int64_t next = 0;
        const TarHeaderWalk::Kind kind = m_walk.decode(lister, src, fixed, headerOffset, e, next);
        if (kind == TarHeaderWalk::Kind::End)
            return Step::End;
        lister.position = next;
        if (kind == TarHeaderWalk::Kind::Meta || e.folder)
            return Step::Skip;
        // Files, hard links and sparse files are listed; links, devices and fifos are not.
        if (e.type != '0' && e.type != '1' && e.type != '\0' && e.type != 'S')
            return Step::Skip;

        lister.MemberName = DosBytesToUtf8(e.name);
        lister.MemberName.replace('/', '\\');
        lister.PackedSize = uint64_t(e.dataLen);
        lister.UnpackedSize = e.realSize();
        lister.MemberCRC = uint32_t(e.checksum);
        lister.MethodCode = 0;
        lister.MemberAttr = 0;
        if (e.mtime) {
            lister.MemberDosDate = NormalizedDosDateTime(UnixToDosDateTime(int64_t(*e.mtime)));
            lister.MemberDate = UnixToDateTime(int64_t(*e.mtime));
        }
        lister.Ratio = 0;
        return Step::Report;
    }

private:
    TarHeaderWalk m_walk;
};

} // namespace

std::optional<uint64_t> TarNumber(QByteArrayView field)
{
    if (field.isEmpty())
        return uint64_t(0);
    const uint8_t first = uint8_t(field[0]);
    if (first & 0x80) {
        // Base-256: bit 6 of the first byte set means negative, which no size or time here may be.
        if (first & 0x40)
            return std::nullopt;
        uint64_t v = first & 0x3F;
        for (qsizetype i = 1; i < field.size(); ++i) {
            if (v >> 55)
                return std::nullopt;
            v = (v << 8) | uint8_t(field[i]);
        }
        return v;
    }
    qsizetype i = 0;
    while (i < field.size() && field[i] == ' ')
        ++i;
    uint64_t v = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '7'; ++i) {
        if (v >> 60)
            return std::nullopt;
        v = v * 8 + uint64_t(field[i] - '0');
    }
    for (; i < field.size(); ++i) {
        if (field[i] != ' ' && field[i] != '\0')
            return std::nullopt;
    }
    return v;
}

std::unique_ptr<TArcListReader> MakeTarListReader()
{
    return std::make_unique<TarListReader>();
}

// Extraction

namespace {

constexpr int64_t kCopyBuffer = 32768;

// Where a regular member's data lies, for hard links to it.
struct TarData {
    int64_t at = 0;
    int64_t size = 0;
    std::shared_ptr<const TarSparseMap> sparse;
};

} // namespace

int TUnTar::extractMembers(TArcSource &src, const QString &root)
{
    const int64_t fileSize = src.size();
    int64_t pos = std::max<int64_t>(0, startOffset() - 1);
    TarHeaderWalk walk;
    std::map<QByteArray, TarData> regular;
    auto buffer = std::make_unique<char[]>(kCopyBuffer);
    int count = 0, extracted = 0;

    while (pos + kBlock <= fileSize) {
        char block[kBlock];
        if (!src.readAt(pos, block, kBlock))
            raiseError(ArcErrReadFile);
        TarEntry e;
        int64_t next = 0;
        const TarHeaderWalk::Kind kind = walk.decode(*this, src, QByteArrayView(block, kBlock), pos, e, next);
        if (kind == TarHeaderWalk::Kind::End)
            break;
        pos = next;
        if (kind == TarHeaderWalk::Kind::Meta)
            continue;

        const QString stored = QString::fromUtf8(DosBytesToUtf8(e.name));
        if (e.folder) {
            if (!UseStoredDirs)
                continue;
            const QString rel = SafeOutputPath(stored, ExtractDir, true);
            if (rel.isEmpty())
                continue;
            const QString path = root + QLatin1Char('/') + rel;
            if (!prepareFolder(path, root))
                warn(ArcErrOpenFile);
            else
                ++extracted;
            continue;
        }
        TarData data{e.dataAt, e.dataLen, e.sparse};
        if (e.type == '1') {
            // A hard link: a copy of the earlier member it names, never a link on disk.
            const auto it = regular.find(e.linkName);
            if (it == regular.end())
                continue;
            data = it->second;
        } else if (e.type != '0' && e.type != '\0' && e.type != '7' && e.type != 'S') {
            // Symbolic links, devices, fifos and anything unknown: nothing is written.
            continue;
        } else {
            regular[e.name] = data;
        }

        const QString rel = SafeOutputPath(stored, ExtractDir, UseStoredDirs);
        if (rel.isEmpty()) {
            warn(ArcErrInvalidFileName);
            continue;
        }
        if (!MatchesFileSpec(m_fileSpec, rel))
            continue;
        ++count;
        const uint64_t realSize = data.sparse ? data.sparse->realSize : uint64_t(data.size);
        if (realSize > OutputLimit) {
            warn(ArcErrBadLengths);
            continue;
        }
        TMemberFile out(*this, root, rel, uint64_t(data.size), uint64_t(data.size));
        if (!out.open(count))
            continue;
        // The stored bytes in order; a sparse member's pieces each at their own offset,
        // with holes between them and up to the file's size.
        const std::vector<std::pair<uint64_t, uint64_t>> whole{{0, uint64_t(data.size)}};
        const auto &pieces = data.sparse ? data.sparse->pieces : whole;
        bool ok = true;
        int64_t from = data.at;
        for (const auto &[offset, length] : pieces) {
            ok = ok && (!data.sparse || out.seek(offset));
            for (int64_t at = 0; at < int64_t(length) && ok;) {
                const int64_t n = std::min(kCopyBuffer, int64_t(length) - at);
                if (!src.readAt(from, buffer.get(), n)) {
                    out.discard();
                    raiseError(ArcErrReadFile);
                }
                ok = out.write(buffer.get(), n);
                at += n;
                from += n;
            }
        }
        ok = ok && (!data.sparse || out.resize(realSize));
        if (!ok) {
            warn(ArcErrWriteFile);
            out.discard();
            continue;
        }
        // The format keeps no checksum of the data: what was read is what was stored.
        if (out.commit(e.mtime ? int64_t(*e.mtime) : -1, true))
            ++extracted;
    }
    return extracted;
}

std::unique_ptr<TUnBase> MakeUnTar()
{
    return std::make_unique<TUnTar>();
}
