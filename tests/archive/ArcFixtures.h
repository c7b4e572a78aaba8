// Shared fixtures of the archive tests: hand-made gzip and TAR bytes, files
// in and out, and the system's archivers run as reference tools.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace arcfix {

// A gzip file of text with the given method, header flags and stored name,
// deflated by zlib. size overrides the trailer's size field (-1: the true
// size); mtime is the header's time.
QByteArray gzipOf(const QByteArray &text, const QByteArray &name, uint8_t method = 8, uint8_t extraFlags = 0,
                  int64_t size = -1, uint32_t mtime = 0x40000000);

// One TAR header block (ustar, mode 644) with its checksum, followed by the data padded to 512.
QByteArray tarEntry(const QByteArray &name, char type, const QByteArray &data, const QByteArray &link = {});

QByteArray readAll(const QString &path);
// Writes bytes to path; false when that failed.
bool writeAll(const QString &path, const QByteArray &data);
// Every regular file under dir, relative, "/" separated, sorted.
QStringList filesUnder(const QString &dir);

// Whether a program is on PATH.
bool haveTool(const QString &program);
// Runs program with args in workDir; its standard output, or a null array when it failed to run or
// exited with a status other than 0 (or than okStatus).
QByteArray runTool(const QString &program, const QStringList &args, const QString &workDir = {}, int okStatus = 0);

} // namespace arcfix
