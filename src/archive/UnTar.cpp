// The TAR directory reader and extractor. Each header's checksum is its signature: a header
// that fails it ends the list quietly, as does an empty name (the archive's end
// blocks). An entry whose data runs past the end of the file, or a size field
// that is not a number, ends the listing with an error. GNU long-name entries
// ('L') and pax records ('x', keys path and size) apply to the next entry; they
// are bounded so that a hostile header cannot demand a huge allocation.
// Extraction walks the same headers and never creates a link or a device.
#include "archive/UnTar.h"

#include "archive/UnGZIP.h"

#include <QDir>

#include <algorithm>
#include <map>

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

// Takes path and size from pax records ("LEN key=value\n"); a malformed record ends the parse.
// A size record that is not a number leaves size as it was (-1: none).
void parsePaxRecords(QByteArrayView data, QByteArray &path, int64_t &size)
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
        if (key == "path")
            path = value.toByteArray();
        else if (key == "size") {
            if (const std::optional<uint64_t> v = decimal(value); v && *v <= uint64_t(INT64_MAX))
                size = int64_t(*v);
        }
    }
}

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

    Step step(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t) override
    {
        if (fixed[kNameAt] == '\0')
            return Step::End;
        const std::optional<uint64_t> checksum = TarNumber(fixed.sliced(kChecksumAt, kChecksumLen));
        if (!checksum || !checksumMatches(fixed, *checksum))
            return Step::End;
        std::optional<uint64_t> size = TarNumber(fixed.sliced(kSizeAt, kSizeLen));
        if (!size)
            lister.raiseError(ArcErrBadFileHeader);
        const char type = fixed[kTypeAt];
        const bool meta = type == 'L' || type == 'K' || type == 'x' || type == 'g';
        if (!meta && m_paxSize)
            size = m_paxSize;
        // Links, devices, folders and fifos have no data in the archive whatever their size field says
        // (old writers put the target's size into a hard link's header).
        if (type >= '1' && type <= '6')
            size = 0;

        const int64_t dataAt = lister.position;
        const int64_t fileSize = src.size();
        if (*size > uint64_t(fileSize - dataAt))
            lister.raiseError(ArcErrReadFile);
        const int64_t dataLen = int64_t(*size);
        const int64_t padded = dataLen + (kBlock - dataLen % kBlock) % kBlock;
        lister.position = std::min<int64_t>(dataAt + padded, fileSize);

        if (meta) {
            if (type == 'K' || type == 'g')
                return Step::Skip;
            if (dataLen > kMetaLimit)
                lister.raiseError(ArcErrBadLengths);
            QByteArray data(dataLen, Qt::Uninitialized);
            if (!src.readAt(dataAt, data.data(), dataLen))
                lister.raiseError(ArcErrReadFile);
            if (type == 'L') {
                const qsizetype nul = data.indexOf('\0');
                m_longName = nul >= 0 ? data.left(nul) : data;
            } else {
                parsePax(data);
            }
            return Step::Skip;
        }

        QByteArray name;
        if (!m_paxPath.isEmpty()) {
            name = m_paxPath;
        } else if (!m_longName.isEmpty()) {
            name = m_longName;
        } else {
            name = fieldText(fixed, kNameAt, kNameLen);
            // POSIX ustar keeps the front of a long path in the prefix field (GNU's own magic does not).
            if (fixed.sliced(kMagicAt, 6) == QByteArrayView("ustar\0", 6)) {
                const QByteArray prefix = fieldText(fixed, kPrefixAt, kPrefixLen);
                if (!prefix.isEmpty())
                    name = prefix + '/' + name;
            }
        }
        m_paxPath.clear();
        m_longName.clear();
        m_paxSize.reset();
        name = name.trimmed();
        if (name.isEmpty())
            return Step::End;
        if (type != '0' && type != '1' && type != '\0')
            return Step::Skip;
        // Old writers store folders as plain entries whose name ends in "/"; a folder has no data
        // in the archive even when its size field says otherwise.
        if (name.endsWith('/')) {
            lister.position = dataAt;
            return Step::Skip;
        }

        lister.MemberName = ArcTextToUtf8(name);
        lister.MemberName.replace('/', '\\');
        lister.PackedSize = lister.UnpackedSize = *size;
        lister.MemberCRC = uint32_t(*checksum);
        lister.MethodCode = 0;
        lister.MemberAttr = 0;
        if (const std::optional<uint64_t> mtime = TarNumber(fixed.sliced(kMtimeAt, kMtimeLen));
            mtime && *mtime <= uint64_t(INT64_MAX / 2)) {
            lister.MemberDosDate = NormalizedDosDateTime(UnixToDosDateTime(int64_t(*mtime)));
            lister.MemberDate = UnixToDateTime(int64_t(*mtime));
        }
        lister.Ratio = 0;
        return Step::Report;
    }

private:
    // Takes path and size from the pax records of the next entry.
    void parsePax(QByteArrayView data)
    {
        int64_t size = m_paxSize ? int64_t(*m_paxSize) : -1;
        parsePaxRecords(data, m_paxPath, size);
        if (size >= 0)
            m_paxSize = uint64_t(size);
    }

    QByteArray m_longName;
    QByteArray m_paxPath;
    std::optional<uint64_t> m_paxSize;
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
};

} // namespace

bool TUnTar::Extract()
{
    m_lastError = 0;
    std::unique_ptr<TArcSource> source;
    try {
        if (m_archiveFile.isEmpty())
            raiseError(ArcErrInvalidFileName);
        if (m_fromMemory) {
            source = std::make_unique<TMemorySource>(m_memoryData);
        } else {
            auto file = std::make_unique<TFileSource>(m_archiveFile);
            if (!file->isOpen())
                raiseError(ArcErrOpenFile);
            source = std::move(file);
        }
        TArcSource &src = *source;
        if (m_det.type != TArcType::TAR)
            raiseError(ArcErrInvalidArchive);
        if (OnActivate)
            OnActivate(this);

        const QString root = outputRoot();
        const int64_t fileSize = src.size();
        int64_t pos = std::max<int64_t>(0, startOffset() - 1);
        QByteArray longName, paxPath;
        int64_t paxSize = -1;
        std::map<QByteArray, TarData> regular;
        auto buffer = std::make_unique<char[]>(kCopyBuffer);
        int count = 0, extracted = 0;

        while (pos + kBlock <= fileSize) {
            char block[kBlock];
            if (!src.readAt(pos, block, kBlock))
                raiseError(ArcErrReadFile);
            const QByteArrayView fixed(block, kBlock);
            pos += kBlock;
            if (fixed[kNameAt] == '\0')
                break;
            const std::optional<uint64_t> checksum = TarNumber(fixed.sliced(kChecksumAt, kChecksumLen));
            if (!checksum || !checksumMatches(fixed, *checksum))
                break;
            const std::optional<uint64_t> sizeField = TarNumber(fixed.sliced(kSizeAt, kSizeLen));
            if (!sizeField)
                raiseError(ArcErrBadFileHeader);
            uint64_t size = *sizeField;
            const char type = fixed[kTypeAt];
            const bool meta = type == 'L' || type == 'K' || type == 'x' || type == 'g';
            if (!meta && paxSize >= 0)
                size = uint64_t(paxSize);
            if (type >= '1' && type <= '6')
                size = 0;
            const int64_t dataAt = pos;
            if (size > uint64_t(fileSize - dataAt))
                raiseError(ArcErrReadFile);
            const int64_t dataLen = int64_t(size);
            pos = std::min<int64_t>(dataAt + dataLen + (kBlock - dataLen % kBlock) % kBlock, fileSize);

            if (meta) {
                if (type == 'K' || type == 'g')
                    continue;
                if (dataLen > kMetaLimit)
                    raiseError(ArcErrBadLengths);
                QByteArray data(dataLen, Qt::Uninitialized);
                if (!src.readAt(dataAt, data.data(), dataLen))
                    raiseError(ArcErrReadFile);
                if (type == 'L') {
                    const qsizetype nul = data.indexOf('\0');
                    longName = nul >= 0 ? data.left(nul) : data;
                } else {
                    parsePaxRecords(data, paxPath, paxSize);
                }
                continue;
            }

            QByteArray name;
            if (!paxPath.isEmpty()) {
                name = paxPath;
            } else if (!longName.isEmpty()) {
                name = longName;
            } else {
                name = fieldText(fixed, kNameAt, kNameLen);
                if (fixed.sliced(kMagicAt, 6) == QByteArrayView("ustar\0", 6)) {
                    const QByteArray prefix = fieldText(fixed, kPrefixAt, kPrefixLen);
                    if (!prefix.isEmpty())
                        name = prefix + '/' + name;
                }
            }
            paxPath.clear();
            longName.clear();
            paxSize = -1;
            name = name.trimmed();
            if (name.isEmpty())
                break;

            const bool folder = type == '5' || type == 'D' || ((type == '0' || type == '\0') && name.endsWith('/'));
            const QString stored = QString::fromUtf8(ArcTextToUtf8(name));
            if (folder) {
                pos = dataAt; // a folder has no data whatever its size field says
                if (!UseStoredDirs)
                    continue;
                const QString rel = SafeOutputPath(stored, ExtractDir, true);
                if (rel.isEmpty())
                    continue;
                const QString path = root + QLatin1Char('/') + rel;
                if (!QDir().mkpath(path) || !FolderInsideRoot(path, root))
                    warn(ArcErrOpenFile);
                else
                    ++extracted;
                continue;
            }
            TarData data{dataAt, dataLen};
            if (type == '1') {
                // A hard link: a copy of the earlier member it names, never a link on disk.
                const QByteArray target = fieldText(fixed, 157, 100).trimmed();
                const auto it = regular.find(target);
                if (it == regular.end())
                    continue;
                data = it->second;
            } else if (type != '0' && type != '\0' && type != '7') {
                // Symbolic links, devices, fifos and anything unknown: nothing is written.
                continue;
            } else {
                regular[name] = data;
            }

            const QString rel = SafeOutputPath(stored, ExtractDir, UseStoredDirs);
            if (rel.isEmpty()) {
                warn(ArcErrInvalidFileName);
                continue;
            }
            if (!MatchesFileSpec(m_fileSpec, rel))
                continue;
            ++count;
            if (uint64_t(data.size) > OutputLimit) {
                warn(ArcErrBadLengths);
                continue;
            }
            TMemberFile out(*this, root, rel, uint64_t(data.size), uint64_t(data.size));
            if (!out.open(count))
                continue;
            bool ok = true;
            for (int64_t at = 0; at < data.size && ok;) {
                const int64_t n = std::min(kCopyBuffer, data.size - at);
                if (!src.readAt(data.at + at, buffer.get(), n)) {
                    out.discard();
                    raiseError(ArcErrReadFile);
                }
                if (!out.write(buffer.get(), n)) {
                    warn(ArcErrWriteFile);
                    ok = false;
                }
                at += n;
            }
            if (!ok) {
                out.discard();
                continue;
            }
            // The format keeps no checksum of the data: what was read is what was stored.
            const std::optional<uint64_t> mtime = TarNumber(fixed.sliced(kMtimeAt, kMtimeLen));
            if (out.commit(mtime && *mtime <= uint64_t(INT64_MAX / 2) ? int64_t(*mtime) : -1, true))
                ++extracted;
        }
        if (extracted == 0)
            raiseError(ArcErrNothingToDo);
        if (OnDeactivate)
            OnDeactivate(this);
    } catch (const EArcError &e) {
        m_lastError = e.code();
        if (OnDeactivate)
            OnDeactivate(this);
        return false;
    } catch (const EArcAbort &) {
        m_lastError = ArcErrUserAborted;
        if (OnDeactivate)
            OnDeactivate(this);
        throw;
    }
    return true;
}
