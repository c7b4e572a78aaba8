// The tree generator. One splitmix64 stream per folder (seeded from the
// options' seed and the folder's number in creation order) decides names,
// sizes and times, so a folder's content does not depend on the timing or
// order of the file system. Files are made with open + ftruncate (sparse)
// and their times set with futimens; folder times are set once a folder is
// complete. ZIPs are written byte by byte with stored members.
#include "GenTree.h"
#include "GenRandom.h"

#include "archive/decoders/Crc32.h"

#include <QDir>
#include <QFile>

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::array<const char *, 16> kWords = {"report", "photo", "notes", "data",    "setup", "readme",
                                              "index",  "music", "backup", "draft", "invoice", "letter",
                                              "game",   "level", "track",  "scan"};
const std::array<const char *, 10> kExtensions = {"txt", "doc", "jpg", "png", "mp3", "dat", "bin", "cfg", "log", "htm"};
const std::array<const char *, 4> kUtf8Prefixes = {"caf\xC3\xA9_", "\xCE\xA9mega_", "\xE6\x97\xA5\xE6\x9C\xAC_",
                                                   "na\xC3\xAFve_"};

void PutU16(QByteArray &out, uint32_t v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

void PutU32(QByteArray &out, uint32_t v)
{
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

class TreeWriter
{
public:
    TreeWriter(const GenTreeOptions &options, GenTreeStats &stats, QString *error)
        : m_options(options), m_stats(stats), m_error(error) {}

    bool folder(const QByteArray &path, int level, bool inHidden);

private:
    bool fail(const QByteArray &path)
    {
        if (m_error)
            *m_error = QStringLiteral("%1: %2").arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    QByteArray name(TGenRandom &rng, int index, bool isFolder, bool hidden);
    bool writeFile(const QByteArray &path, const QByteArray &content, int64_t size, int64_t mtime, bool visible);
    int64_t time(TGenRandom &rng) { return m_options.timeBase + int64_t(rng.below(uint64_t(20) * 365 * 86400)); }

    const GenTreeOptions &m_options;
    GenTreeStats &m_stats;
    QString *m_error;
    uint64_t m_folderNumber = 0;
};

QByteArray TreeWriter::name(TGenRandom &rng, int index, bool isFolder, bool hidden)
{
    QByteArray base = kWords[size_t(rng.below(kWords.size()))];
    if (rng.percent(m_options.utf8Percent))
        base.prepend(kUtf8Prefixes[size_t(rng.below(kUtf8Prefixes.size()))]);
    base += '_' + QByteArray::number(index);
    if (!isFolder)
        base += QByteArray(".") + kExtensions[size_t(rng.below(kExtensions.size()))];
    if (rng.percent(m_options.upperPercent))
        base = base.toUpper();   // ASCII letters only: the UTF-8 bytes stay as they are
    if (hidden)
        base.prepend('.');
    return base;
}

bool TreeWriter::writeFile(const QByteArray &path, const QByteArray &content, int64_t size, int64_t mtime,
                           bool visible)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail(path);
    bool ok = true;
    if (!content.isEmpty()) {
        ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
        size = content.size();
    } else if (size > 0) {
        ok = ::ftruncate(fd, off_t(size)) == 0;
    }
    if (ok) {
        const struct timespec times[2] = {{time_t(mtime + 3600), 0}, {time_t(mtime), 0}};
        ok = ::futimens(fd, times) == 0;
    }
    if (::close(fd) != 0)
        ok = false;
    if (!ok)
        return fail(path);
    ++m_stats.files;
    if (visible)
        ++m_stats.visibleFiles;
    m_stats.bytes += size;
    return true;
}

bool TreeWriter::folder(const QByteArray &path, int level, bool inHidden)
{
    TGenRandom rng(m_options.seed * 0x9E3779B97F4A7C15ull + (++m_folderNumber) * 0xD1B54A32D192ED03ull);
    std::vector<QByteArray> plainNames;   // visible files that description files may describe

    for (int i = 0; i < m_options.filesPerFolder; ++i) {
        const bool hidden = rng.percent(m_options.hiddenPercent);
        const QByteArray fileName = name(rng, i, false, hidden);
        const int64_t size = int64_t(rng.below(uint64_t(std::max<int64_t>(m_options.maxFileSize, 0)) + 1));
        if (!writeFile(path + '/' + fileName, {}, size, time(rng), !inHidden && !hidden))
            return false;
        if (hidden && !inHidden)
            ++m_stats.hiddenItems;
        if (!hidden)
            plainNames.push_back(fileName);
    }

    if (rng.percent(m_options.descPercent) && !plainNames.empty()) {
        const int64_t when = time(rng);
        const QByteArray diz = "Generated folder " + QByteArray::number(m_folderNumber) + "\r\nlevel " +
                               QByteArray::number(level) + "\r\n";
        QByteArray ion, bbs;
        for (size_t k = 0; k < plainNames.size() && k < 3; ++k) {
            ion += plainNames[k] + " Description of " + plainNames[k] + "\r\n";
            bbs += (plainNames[k] + ' ').leftJustified(13, ' ') + "Listed " + plainNames[k] + "\r\n";
        }
        if (!writeFile(path + "/FILE_ID.DIZ", diz, 0, when, !inHidden) ||
            !writeFile(path + "/DESCRIPT.ION", ion, 0, when, !inHidden) ||
            !writeFile(path + "/FILES.BBS", bbs, 0, when, !inHidden))
            return false;
        m_stats.descFiles += 3;
    }

    if (rng.percent(m_options.zipPercent)) {
        std::vector<GenZipMember> members;
        for (int k = 0; k < m_options.zipMembers; ++k) {
            GenZipMember member;
            member.name = k == 0 ? QByteArray("DOCS/README.TXT") : "member_" + QByteArray::number(k) + ".txt";
            member.data = "Member " + QByteArray::number(k) + " of folder " + QByteArray::number(m_folderNumber) +
                          "\r\n";
            member.dosDateTime = 0x28210000u + (uint32_t(rng.below(20)) << 25);   // a year from 2000 to 2019
            members.push_back(member);
        }
        const QByteArray zipName = rng.percent(50) ? "ARCHIVE_" + QByteArray::number(m_folderNumber) + ".ZIP"
                                                   : "pack_" + QByteArray::number(m_folderNumber) + ".zip";
        if (!writeFile(path + '/' + zipName, MakeStoredZip(members, "Archive of folder " +
                                                                       QByteArray::number(m_folderNumber)),
                       0, time(rng), !inHidden))
            return false;
        ++m_stats.zips;
        m_stats.zipMembers += int64_t(members.size());
    }

    if (level < m_options.depth) {
        for (int i = 0; i < m_options.fanOut; ++i) {
            const bool hidden = rng.percent(m_options.hiddenPercent);
            const QByteArray sub = path + '/' + name(rng, i, true, hidden);
            if (::mkdir(sub.constData(), 0755) != 0)
                return fail(sub);
            ++m_stats.folders;
            if (!inHidden && !hidden)
                ++m_stats.visibleFolders;
            if (hidden && !inHidden)
                ++m_stats.hiddenItems;
            if (!folder(sub, level + 1, inHidden || hidden))
                return false;
        }
    }
    const int64_t when = time(rng);
    const struct timespec times[2] = {{time_t(when), 0}, {time_t(when), 0}};
    if (::utimensat(AT_FDCWD, path.constData(), times, 0) != 0)
        return fail(path);
    return true;
}

} // namespace

bool GenerateTree(const QString &root, const GenTreeOptions &options, GenTreeStats *stats, QString *error)
{
    GenTreeStats local;
    GenTreeStats &out = stats ? *stats : local;
    out = GenTreeStats{};
    if (!QDir().mkpath(root)) {
        if (error)
            *error = QStringLiteral("%1: cannot create the folder").arg(root);
        return false;
    }
    TreeWriter writer(options, out, error);
    QByteArray path = QFile::encodeName(QDir(root).absolutePath());
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return writer.folder(path, 0, false);
}

QByteArray MakeStoredZip(const std::vector<GenZipMember> &members, const QByteArray &comment)
{
    QByteArray out;
    QByteArray central;
    for (const GenZipMember &m : members) {
        const uint32_t crc = Crc32Update(0, m.data.constData(), size_t(m.data.size()));
        const uint32_t offset = uint32_t(out.size());
        // Local header: signature, version 10, flags 0, method 0 (stored), time, date, CRC, sizes, lengths.
        PutU32(out, 0x04034B50);
        PutU16(out, 10);
        PutU16(out, 0);
        PutU16(out, 0);
        PutU32(out, m.dosDateTime);
        PutU32(out, crc);
        PutU32(out, uint32_t(m.data.size()));
        PutU32(out, uint32_t(m.data.size()));
        PutU16(out, uint32_t(m.name.size()));
        PutU16(out, 0);
        out += m.name;
        out += m.data;
        // Central header: made by DOS 2.0, needs 1.0, the same fields, comment, attributes, offset.
        PutU32(central, 0x02014B50);
        PutU16(central, 20);
        PutU16(central, 10);
        PutU16(central, 0);
        PutU16(central, 0);
        PutU32(central, m.dosDateTime);
        PutU32(central, crc);
        PutU32(central, uint32_t(m.data.size()));
        PutU32(central, uint32_t(m.data.size()));
        PutU16(central, uint32_t(m.name.size()));
        PutU16(central, 0);
        PutU16(central, uint32_t(m.comment.size()));
        PutU16(central, 0);
        PutU16(central, 0);
        PutU32(central, m.externalAttr);
        PutU32(central, offset);
        central += m.name;
        central += m.comment;
    }
    const uint32_t centralOffset = uint32_t(out.size());
    out += central;
    // End record: signature, disk numbers, entry counts, directory size and offset, comment.
    PutU32(out, 0x06054B50);
    PutU16(out, 0);
    PutU16(out, 0);
    PutU16(out, uint32_t(members.size()));
    PutU16(out, uint32_t(members.size()));
    PutU32(out, uint32_t(central.size()));
    PutU32(out, centralOffset);
    PutU16(out, uint32_t(comment.size()));
    out += comment;
    return out;
}
