// Shared fixtures of the archive tests.
#include "ArcFixtures.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <zlib.h>

namespace arcfix {

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
