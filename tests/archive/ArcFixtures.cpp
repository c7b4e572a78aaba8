// Shared fixtures of the archive tests.
#include "ArcFixtures.h"

#include "archive/decoders/Crc32.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

#include <zlib.h>

namespace arcfix {

namespace {

template <typename T>
void append(QByteArray &b, T v)
{
    char bytes[sizeof(T)];
    qToLittleEndian(v, bytes);
    b.append(bytes, qsizetype(sizeof(T)));
}

template <typename T>
void overwrite(QByteArray &b, qsizetype at, T v)
{
    Q_ASSERT(at >= 0 && at + qsizetype(sizeof(T)) <= b.size());
    qToLittleEndian(v, b.data() + at);
}

// Record signatures ("PK" and a type), written out here rather than taken from the reader under test.
constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kZip64EndSig = 0x06064B50;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;
constexpr uint32_t kEndSig = 0x06054B50;
// The ZIP64 end record's size field counts what follows it: 56 bytes in all, less 12.
constexpr uint64_t kZip64EndRest = 44;
// Version 4.5 is the first with ZIP64.
constexpr uint16_t kZip64Version = 45;
// The extra field tag of the ZIP64 sizes.
constexpr uint16_t kZip64ExtraId = 1;

} // namespace

void put16(QByteArray &b, uint16_t v)
{
    append(b, v);
}

void put32(QByteArray &b, uint32_t v)
{
    append(b, v);
}

void put64(QByteArray &b, uint64_t v)
{
    append(b, v);
}

void put16(QByteArray &b, qsizetype at, uint16_t v)
{
    overwrite(b, at, v);
}

void put32(QByteArray &b, qsizetype at, uint32_t v)
{
    overwrite(b, at, v);
}

QByteArray zipOf(const std::vector<ZipMember> &members, const ZipLayout &layout)
{
    QByteArray out, central;
    for (const ZipMember &m : members) {
        const QByteArray &body = m.method == 0 ? m.data : m.packed;
        const uint32_t crc = m.crc.value_or(
            uint32_t(crc32(0, reinterpret_cast<const Bytef *>(m.data.constData()), uInt(m.data.size()))));
        const uint64_t size = m.size.value_or(uint64_t(m.data.size()));
        const uint32_t offset = uint32_t(out.size() + layout.base);

        put32(out, kLocalSig);
        put16(out, m.versionNeeded);
        put16(out, m.flags);
        put16(out, m.method);
        put32(out, m.dos);
        put32(out, crc);
        put32(out, uint32_t(body.size()));
        put32(out, uint32_t(size));
        put16(out, uint16_t(m.name.size()));
        put16(out, 0);
        out += m.name;
        out += body;

        QByteArray extra = m.extra;
        put32(central, kCentralSig);
        put16(central, m.versionMadeBy);
        put16(central, m.versionNeeded);
        put16(central, m.flags);
        put16(central, m.method);
        put32(central, m.dos);
        put32(central, crc);
        if (layout.zip64) {
            put32(central, 0xFFFFFFFF); // both sizes are in the extra field
            put32(central, 0xFFFFFFFF);
            QByteArray sizes;
            put16(sizes, kZip64ExtraId);
            put16(sizes, 16);
            put64(sizes, size); // unpacked first
            put64(sizes, uint64_t(body.size()));
            extra.prepend(sizes);
        } else {
            put32(central, uint32_t(body.size()));
            put32(central, uint32_t(size));
        }
        put16(central, uint16_t(m.name.size()));
        put16(central, uint16_t(extra.size()));
        put16(central, uint16_t(m.comment.size()));
        put16(central, 0); // disk number
        put16(central, 0); // internal attributes
        put32(central, m.attr);
        put32(central, offset);
        central += m.name;
        central += extra;
        central += m.comment;
    }
    const int64_t cdStart = out.size();
    const int64_t cdSize = central.size();
    out += central;
    if (layout.zip64) {
        const int64_t end64 = out.size();
        put32(out, kZip64EndSig);
        put64(out, kZip64EndRest);
        put16(out, kZip64Version);
        put16(out, kZip64Version);
        put32(out, 0); // this disk
        put32(out, 0); // the disk of the central directory
        put64(out, members.size());
        put64(out, members.size());
        put64(out, uint64_t(cdSize));
        put64(out, uint64_t(cdStart + layout.base));
        put32(out, kZip64LocatorSig);
        put32(out, 0); // the disk of the ZIP64 end record
        put64(out, uint64_t(end64 + layout.base));
        put32(out, 1); // disks in all
    }
    put32(out, kEndSig);
    put16(out, 0); // this disk
    put16(out, 0); // the disk of the central directory
    put16(out, layout.zip64 ? 0xFFFF : uint16_t(members.size()));
    put16(out, layout.zip64 ? 0xFFFF : uint16_t(members.size()));
    put32(out, uint32_t(cdSize));
    put32(out, layout.zip64 ? 0xFFFFFFFF : uint32_t(cdStart + layout.base));
    put16(out, uint16_t(layout.comment.size()));
    out += layout.comment;
    return out;
}

QByteArray gzipOf(const QByteArray &text, const QByteArray &name, uint8_t method, uint8_t extraFlags, int64_t size,
                  uint32_t mtime)
{
    QByteArray out("\x1f\x8b", 2);
    out.append(char(method));
    out.append(char((name.isEmpty() ? 0 : 0x08) | extraFlags));
    for (int i = 0; i < 4; ++i)
        out.append(char((mtime >> (8 * i)) & 0xFF));
    out.append(QByteArray("\x00\x03", 2));
    if (!name.isEmpty())
        out.append(name).append('\0');
    const QByteArray z = qCompress(text, 9); // 4-byte size, then a zlib stream
    out.append(z.mid(4 + 2, z.size() - 4 - 2 - 4)); // the raw deflate data inside it
    const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef *>(text.constData()), uInt(text.size())));
    for (uint32_t v : {crc, uint32_t(size < 0 ? text.size() : size)})
        for (int i = 0; i < 4; ++i)
            out.append(char((v >> (8 * i)) & 0xFF));
    return out;
}

QByteArray tarEntry(const QByteArray &name, char type, const QByteArray &data, const QByteArray &link)
{
    QByteArray h(512, '\0');
    h.replace(0, name.size(), name);
    h.replace(100, 7, "0000644");
    h.replace(124, 11, QByteArray::number(data.size(), 8).rightJustified(11, '0'));
    h.replace(136, 11, "14000000000");
    h[156] = type;
    h.replace(157, link.size(), link);
    h.replace(257, 6, QByteArray("ustar\0", 6));
    h.replace(148, 8, "        ");
    unsigned sum = 0;
    for (char c : h)
        sum += uint8_t(c);
    h.replace(148, 7, QByteArray::number(sum, 8).rightJustified(6, '0') + '\0');
    QByteArray padded = data;
    padded.append(QByteArray((512 - data.size() % 512) % 512, '\0'));
    return h + padded;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QStringList filesUnder(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files;
}

bool haveTool(const QString &program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

QByteArray runTool(const QString &program, const QStringList &args, const QString &workDir, int okStatus)
{
    QProcess process;
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.start(program, args);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        (process.exitCode() != 0 && process.exitCode() != okStatus))
        return QByteArray();
    QByteArray out = process.readAllStandardOutput();
    if (out.isNull())
        out = QByteArray("");
    return out;
}

QByteArray LhaMember(const TLhaMember &m)
{
    QByteArray exts;
    for (size_t i = 0; i < m.exts.size(); ++i) {
        exts += char(m.exts[i].first);
        exts += m.exts[i].second;
        put16(exts, i + 1 < m.exts.size() ? uint16_t(m.exts[i + 1].second.size() + 3) : 0);
    }
    const uint16_t firstExt = m.exts.empty() ? 0 : uint16_t(m.exts[0].second.size() + 3);
    const uint16_t crc = Crc16ArcUpdate(0, m.data.constData(), size_t(m.data.size()));
    QByteArray h;
    if (m.level == 2) {
        put16(h, 0);
        h += m.method;
        put32(h, m.packed.value_or(uint32_t(m.data.size())));
        put32(h, m.original.value_or(uint32_t(m.data.size())));
        put32(h, 1013601600);   // 2002-02-13 12:00:00 UTC
        h += char(0x20);
        h += char(2);
        put16(h, crc);
        h += 'U';
        put16(h, firstExt);
        h += exts;
        put16(h, 0, uint16_t(h.size()));
        for (size_t i = 0, at = 26; i < m.exts.size(); at += m.exts[i].second.size() + 3, ++i)
            if (m.exts[i].first == 0x00)
                put16(h, qsizetype(at + 1), Crc16ArcUpdate(0, h.constData(), size_t(h.size())));
        return h + m.data;
    }
    h += '\0';
    h += '\0';
    h += m.method;
    put32(h, m.packed.value_or(uint32_t(m.data.size() + (m.level == 1 ? exts.size() : 0))));
    put32(h, m.original.value_or(uint32_t(m.data.size())));
    put32(h, m.dosTime);
    h += char(0x20);
    h += char(m.level);
    h += char(m.nameLength.value_or(int(m.name.size())));
    h += m.name;
    put16(h, crc);
    if (m.level == 1) {
        h += 'M';
        put16(h, firstExt);
    }
    h[0] = char(h.size() - 2);
    uint8_t sum = 0;
    for (qsizetype i = 2; i < h.size(); ++i)
        sum = uint8_t(sum + uint8_t(h[i]));
    h[1] = char(sum + m.checksumDelta);
    return h + (m.level == 1 ? exts : QByteArray()) + m.data;
}

QByteArray LhaArchive(const std::vector<TLhaMember> &members)
{
    QByteArray out;
    for (const TLhaMember &m : members)
        out += LhaMember(m);
    return out + '\0';
}

// The tag of every ZOO directory entry.
constexpr uint32_t kZooTag = 0xFDC4A7DC;
// The fixed part of a type 2 directory entry.
constexpr int kZooFixed = 56;

ZooLayout zooOf(const std::vector<ZooEntry> &entries, const QByteArray &archiveComment)
{
    ZooLayout z;
    QByteArray &b = z.bytes;
    b = QByteArray("ZOO 2.10 Archive.\x1A").leftJustified(20, '\0');
    put32(b, kZooTag);
    put32(b, 42);
    put32(b, uint32_t(-42));
    b.append('\x02').append('\x00').append('\x01');
    const qsizetype commentFields = b.size();
    put32(b, 0);
    put16(b, uint16_t(archiveComment.size()));
    b.append('\x03');
    for (const ZooEntry &e : entries) {
        const int at = int(b.size());
        z.entryAt.push_back(at);
        QByteArray var;
        if (e.type == 2) {
            const QByteArray ln = e.longName.isEmpty() ? QByteArray() : e.longName + '\0';
            const QByteArray dn = e.folder.isEmpty() ? QByteArray() : e.folder + '\0';
            var.append(char(ln.size())).append(char(dn.size())).append(ln).append(dn).append("\0\0", 2);
        }
        const QByteArray packed = e.method == 0 ? e.data : e.packed;
        const int fixedSize = e.type == 2 ? kZooFixed : 51;
        const int commentAt = at + fixedSize + int(var.size());
        const int dataAt = commentAt + int(e.comment.size());
        const int next = dataAt + int(packed.size());
        QByteArray h;
        put32(h, kZooTag);
        h.append(char(e.type)).append(char(e.method));
        put32(h, uint32_t(next));
        put32(h, uint32_t(dataAt));
        put16(h, (14 << 9) | (6 << 5) | 15);       // 1994-06-15
        put16(h, (12 << 11) | (34 << 5) | 28);     // 12:34:56
        put16(h, Crc16ArcUpdate(0, e.data.constData(), size_t(e.data.size())));
        put32(h, uint32_t(e.data.size()));
        put32(h, uint32_t(packed.size()));
        h.append('\x02').append('\x01').append(char(e.deleted ? 1 : 0)).append('\0');
        put32(h, e.comment.isEmpty() ? 0 : uint32_t(commentAt));
        put16(h, uint16_t(e.comment.size()));
        h.append(e.name.left(12).leftJustified(13, '\0'));
        if (e.type == 2) {
            put16(h, uint16_t(var.size()));
            h.append('\x7F').append("\0\0", 2);
        }
        b += h + var + e.comment + packed;
    }
    QByteArray last;
    put32(last, kZooTag);
    last.append('\x02');
    last.append(QByteArray(kZooFixed - 5, '\0'));
    if (!archiveComment.isEmpty())
        put32(b, commentFields, uint32_t(b.size() + last.size()));
    b += last + archiveComment;
    return z;
}

} // namespace arcfix
