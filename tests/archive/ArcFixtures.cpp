// Shared fixtures of the archive tests.
#include "ArcFixtures.h"

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

} // namespace arcfix
