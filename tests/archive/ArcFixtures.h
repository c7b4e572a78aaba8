// Shared fixtures of the archive tests: little-endian writers, hand-made
// ZIP, gzip and TAR bytes, files in and out, and the system's archivers run
// as reference tools.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace arcfix {

// Appends v to b, least significant byte first.
void put16(QByteArray &b, uint16_t v);
void put32(QByteArray &b, uint32_t v);
void put64(QByteArray &b, uint64_t v);
// Writes v over the bytes of b at offset at, least significant byte first; b must already hold them.
void put16(QByteArray &b, qsizetype at, uint16_t v);
void put32(QByteArray &b, qsizetype at, uint32_t v);

// One member of a hand-made ZIP. The defaults give a stored file of version 1.0
// from an MS-DOS host with its true CRC; every field the tests vary is here.
struct ZipMember {
    QByteArray name{};
    QByteArray data{};                 // the unpacked bytes
    uint16_t method = 0;               // 0: stored, data is written as it is
    QByteArray packed{};               // method other than 0: the bytes written instead of data
    uint16_t flags = 0;                // general purpose bits (bit 11: UTF-8 name)
    uint32_t dos = 0x2C4D6000;         // MS-DOS time in the low half, date in the high half: 2002-02-13 12:00:00
    std::optional<uint32_t> crc{};     // the CRC written; none: the CRC-32 of data
    std::optional<uint64_t> size{};    // the unpacked size declared; none: the size of data
    QByteArray extra{};                // extra field, in the central directory only
    QByteArray comment{};              // member comment, in the central directory
    uint16_t versionNeeded = 10;
    uint16_t versionMadeBy = 20;       // high byte the host (0 MS-DOS, 3 Unix), low byte the version
    uint32_t attr = 0x20;              // external attributes: the MS-DOS archive bit
};

// The archive-wide parts of a hand-made ZIP.
struct ZipLayout {
    QByteArray comment{}; // the archive comment, after the end record
    int64_t base = 0;     // added to every offset written, as in an archive behind a stub of that many bytes
    bool zip64 = false;   // sizes in a ZIP64 extra field before the member's own, and a ZIP64 end record
};

// A ZIP of the members in order: local headers (without extra fields) and data, the central
// directory, then the end record. Lengths are written as given, so a test can build hostile ones.
// With zip64 the local headers keep the low 32 bits of the sizes.
QByteArray zipOf(const std::vector<ZipMember> &members, const ZipLayout &layout = {});

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

// One member as a test writes it; the checksum, the CRC-16 of the data and
// the level 2 header CRC (when a 00h extension is given) are made right
// unless a field overrides them.
struct TLhaMember
{
    int level = 1;
    QByteArray method = "-lh0-";
    QByteArray name{};
    QByteArray data{};
    std::vector<std::pair<uint8_t, QByteArray>> exts{};   // type and content, in chain order
    uint32_t dosTime = 0x2C4D6000;                        // 2002-02-13 12:00:00
    std::optional<uint32_t> packed{};                     // the packed size field
    std::optional<uint32_t> original{};
    std::optional<int> nameLength{};
    int checksumDelta = 0;                                // added to the level 0/1 checksum
};

// One LHA member header (level 0, 1 or 2) followed by its data.
QByteArray LhaMember(const TLhaMember &m);
// An LHA archive of the members and its end byte.
QByteArray LhaArchive(const std::vector<TLhaMember> &members);

// One member of a hand-made ZOO archive.
struct ZooEntry {
    QByteArray name; // the 13-byte short name
    QByteArray data;
    QByteArray longName{};
    QByteArray folder{};
    int type = 2;
    int method = 0;          // 0: data is stored as it is; otherwise packed is written
    QByteArray packed{};
    bool deleted = false;
    QByteArray comment{};
};

// Where the hand-made archive's entries start, for tests that patch them.
struct ZooLayout {
    QByteArray bytes;
    std::vector<int> entryAt;
};

// A ZOO archive: the 42-byte header, then per entry its directory entry, its comment and its
// data, then the chain's last entry (next offset 0).
ZooLayout zooOf(const std::vector<ZooEntry> &entries, const QByteArray &archiveComment = {});

} // namespace arcfix
