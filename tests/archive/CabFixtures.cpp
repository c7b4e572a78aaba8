// Fixtures of the CAB, HA and BH tests.
#include "CabFixtures.h"

#include "ArcFixtures.h"
#include "Corpus.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <zlib.h>

#include <iconv.h>

namespace arcfix {

std::vector<QJsonObject> manifestLines(const QString &archive)
{
    std::vector<QJsonObject> lines;
    QFile f(archive + QStringLiteral(".manifest.jsonl"));
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            lines.push_back(QJsonDocument::fromJson(line).object());
    return lines;
}

std::vector<QJsonObject> manifestOf(const std::vector<QJsonObject> &lines, const char *kind, const char *tool)
{
    std::vector<QJsonObject> out;
    for (const QJsonObject &o : lines)
        if (o.value(QStringLiteral("kind")).toString() == QLatin1String(kind) &&
            (!tool || o.value(QStringLiteral("tool")).toString() == QLatin1String(tool)))
            out.push_back(o);
    return out;
}

QString manifestExpect(const std::vector<QJsonObject> &lines)
{
    const std::vector<QJsonObject> archive = manifestOf(lines, "archive");
    return archive.empty() ? QString() : archive.front().value(QStringLiteral("expect")).toString();
}

QStringList corpusArchives(const char *family)
{
    QStringList out;
    const QString dir = testcorpus::ArchiveDir(family);
    const QStringList manifests = QDir(dir).entryList({QStringLiteral("*.manifest.jsonl")}, QDir::Files);
    for (const QString &m : manifests)
        out << dir + QLatin1Char('/') + m.chopped(int(qstrlen(".manifest.jsonl")));
    const QStringList sets = QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &set : sets)
        for (const QString &m : QDir(dir + QLatin1Char('/') + set).entryList({QStringLiteral("*.manifest.jsonl")}))
            out << dir + QLatin1Char('/') + set + QLatin1Char('/') + m.chopped(int(qstrlen(".manifest.jsonl")));
    out.sort();
    return out;
}

QByteArray encodeAs(const QString &text, const QString &charset)
{
    const QByteArray utf8 = text.toUtf8();
    iconv_t cd = iconv_open(charset.toLatin1().constData(), "UTF-8");
    if (cd == iconv_t(-1))
        return {};
    QByteArray out(utf8.size() * 4 + 16, '\0');
    char *in = const_cast<char *>(utf8.constData());
    size_t inLeft = size_t(utf8.size());
    char *o = out.data();
    size_t outLeft = size_t(out.size());
    const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (r == size_t(-1))
        return {};
    out.truncate(out.size() - qsizetype(outLeft));
    return out;
}

Listing listArchive(TArcLister &lister)
{
    Listing result;
    lister.OnRead = [&](TArcLister *s, int64_t, int) {
        result.members.push_back({s->MemberName, s->UnpackedSize, s->PackedSize, s->MemberCRC, s->MemberDosDate,
                                  s->MethodCode, s->MemberAttr, s->CurrentFile});
    };
    lister.OnError = [&](TZipCommon *, const QString &, const QString &, int code) { result.warnings.push_back(code); };
    result.ok = lister.activate();
    result.error = lister.lastError();
    return result;
}

namespace {

// The MS-CAB block checksum, written out here rather than taken from the reader under test.
uint32_t cabSum(const QByteArray &data, uint32_t seed)
{
    const auto *p = reinterpret_cast<const uint8_t *>(data.constData());
    const qsizetype n = data.size();
    uint32_t sum = seed;
    qsizetype i = 0;
    for (; i + 4 <= n; i += 4)
        sum ^= uint32_t(p[i]) | uint32_t(p[i + 1]) << 8 | uint32_t(p[i + 2]) << 16 | uint32_t(p[i + 3]) << 24;
    uint32_t last = 0;
    for (; i < n; ++i)
        last = last << 8 | p[i];
    return sum ^ last;
}

QByteArray zeroTerminated(const QByteArray &text)
{
    return text + QByteArray(1, '\0');
}

} // namespace

QByteArray cabOf(const CabSpec &spec)
{
    const uint16_t flags = uint16_t((spec.previous.isEmpty() ? 0 : 1) | (spec.next.isEmpty() ? 0 : 2) |
                                    (spec.reserve ? 4 : 0));
    QByteArray links;
    if (spec.reserve) {
        put16(links, spec.headerReserve);
        links.append(char(spec.folderReserve));
        links.append(char(spec.dataReserve));
        links.append(QByteArray(spec.headerReserve, 'r'));
    }
    if (!spec.previous.isEmpty())
        links += zeroTerminated(spec.previous) + zeroTerminated("DISK");
    if (!spec.next.isEmpty())
        links += zeroTerminated(spec.next) + zeroTerminated("DISK");
    const int folderEntry = 8 + spec.folderReserve;
    QByteArray fileTable;
    for (const CabFileSpec &f : spec.files) {
        put32(fileTable, f.size);
        put32(fileTable, f.offset);
        put16(fileTable, f.folder);
        put16(fileTable, uint16_t(f.dos >> 16));
        put16(fileTable, uint16_t(f.dos));
        put16(fileTable, f.attr);
        fileTable += zeroTerminated(f.name);
    }
    const int64_t filesAt = 36 + links.size() + int64_t(spec.folders.size()) * folderEntry;
    int64_t dataAt = filesAt + fileTable.size();
    QByteArray folders, data;
    for (const CabFolderSpec &folder : spec.folders) {
        put32(folders, uint32_t(dataAt + data.size()));
        put16(folders, uint16_t(folder.blocks.size()));
        put16(folders, folder.compression);
        folders.append(QByteArray(spec.folderReserve, 'f'));
        for (const CabBlock &block : folder.blocks) {
            QByteArray sizes;
            put16(sizes, uint16_t(block.packed.size()));
            put16(sizes, block.unpacked);
            const uint32_t sum = block.checksum ? cabSum(sizes, cabSum(block.packed, 0)) : 0;
            put32(data, sum ^ block.flipChecksum);
            data += sizes + QByteArray(spec.dataReserve, 'd') + block.packed;
        }
    }
    QByteArray cab("MSCF", 4);
    put32(cab, 0);
    put32(cab, uint32_t(dataAt + data.size() + spec.sizeDelta));
    put32(cab, 0);
    put32(cab, uint32_t(filesAt));
    put32(cab, 0);
    cab.append(char(3)); // version 1.3
    cab.append(char(1));
    put16(cab, uint16_t(spec.folders.size()));
    put16(cab, uint16_t(spec.files.size()));
    put16(cab, flags);
    put16(cab, spec.setId);
    put16(cab, spec.index);
    return cab + links + folders + fileTable + data;
}

CabFolderSpec storedFolder(const QByteArray &data)
{
    CabFolderSpec folder;
    for (qsizetype at = 0; at < data.size(); at += 32768) {
        const QByteArray part = data.mid(at, 32768);
        folder.blocks.push_back({part, uint16_t(part.size())});
    }
    return folder;
}

CabFolderSpec mszipFolder(const QByteArray &data)
{
    CabFolderSpec folder;
    folder.compression = 1;
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    for (qsizetype at = 0; at < data.size(); at += 32768) {
        const QByteArray part = data.mid(at, 32768);
        QByteArray out(int(deflateBound(&zs, uLong(part.size()))) + 64, '\0');
        zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(part.constData()));
        zs.avail_in = uInt(part.size());
        zs.next_out = reinterpret_cast<Bytef *>(out.data());
        zs.avail_out = uInt(out.size());
        deflate(&zs, Z_SYNC_FLUSH);
        out.truncate(out.size() - qsizetype(zs.avail_out));
        folder.blocks.push_back({QByteArray("CK") + out, uint16_t(part.size())});
    }
    deflateEnd(&zs);
    return folder;
}

QByteArray cabOfFiles(const std::vector<std::pair<QByteArray, QByteArray>> &files, bool mszip)
{
    CabSpec spec;
    QByteArray all;
    for (const auto &[name, bytes] : files) {
        spec.files.push_back({name, uint32_t(bytes.size()), uint32_t(all.size())});
        all += bytes;
    }
    spec.folders.push_back(mszip ? mszipFolder(all) : storedFolder(all));
    return cabOf(spec);
}

QByteArray bhOf(const std::vector<BhMember> &members)
{
    QByteArray out;
    for (const BhMember &m : members) {
        QByteArray h("BH\x05\x07", 4);
        put16(h, m.headerSize);
        h.append('\0');
        h.append(char(m.madeBy));
        h.append(char(m.needed));
        h.append('\0');
        h.append(char(m.method));
        put32(h, m.dos);
        put32(h, uint32_t(m.packed.size()));
        put32(h, m.original);
        put32(h, m.crc);
        put16(h, m.attr);
        put32(h, 0);
        put16(h, uint16_t(m.name.size() + m.nameLengthDelta));
        put16(h, 0);
        out += h + m.name + m.packed;
    }
    return out;
}

} // namespace arcfix
