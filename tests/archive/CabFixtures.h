// Fixtures of the CAB, HA and BH tests: the corpus manifests read as the
// tests compare against them, a listing run that keeps what each member
// said, names re-encoded in the code page a reference tool decoded them
// from, and hand-made cabinets and BH archives.
#pragma once

#include "archive/ArcLister.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace arcfix {

// One line per JSON object of archive + ".manifest.jsonl"; empty when there is none.
std::vector<QJsonObject> manifestLines(const QString &archive);
// The objects of one kind ("member", "consensus", ...), of one tool when tool is given.
std::vector<QJsonObject> manifestOf(const std::vector<QJsonObject> &lines, const char *kind,
                                    const char *tool = nullptr);
// The archive line's "expect" text (empty when the archive is sound).
QString manifestExpect(const std::vector<QJsonObject> &lines);
// The archives of a corpus family that have a manifest (a set by its first volume), sorted.
QStringList corpusArchives(const char *family);

// The bytes a name had in charset (an iconv name such as "KOI8-R" or "Shift_JIS"), as
// a tool that decoded the name from that code page printed it; empty when it cannot be encoded.
QByteArray encodeAs(const QString &text, const QString &charset);

struct ListedMember {
    QByteArray name;
    uint64_t size = 0, packed = 0;
    uint32_t crc = 0;
    uint32_t dos = 0;
    int method = -1;
    uint32_t attr = 0;
    QString file; // the lister's CurrentFile
};

struct Listing {
    bool ok = false;
    int error = 0;
    std::vector<ListedMember> members;
    std::vector<int> warnings; // codes reported through OnError (the error that ended it among them)
};

// Lists lister's archive (already set) and keeps what was reported.
Listing listArchive(TArcLister &lister);

// A hand-made cabinet: folders of data blocks, files that point into them.
struct CabBlock {
    QByteArray packed;              // the block's bytes as stored (for MSZIP with their "CK")
    uint16_t unpacked = 0;
    bool checksum = true;           // write the block's true checksum (else 0: none)
    uint32_t flipChecksum = 0;      // XORed into the checksum written
};
struct CabFolderSpec {
    uint16_t compression = 0;       // 0 stored, 1 MSZIP, 2 Quantum, 3 LZX (window bits above)
    std::vector<CabBlock> blocks;
};
struct CabFileSpec {
    QByteArray name;
    uint32_t size = 0;
    uint32_t offset = 0;            // in the folder's uncompressed stream
    uint16_t folder = 0;
    uint16_t attr = 0x20;
    uint32_t dos = 0x2E6C5A9A;      // date in the high half: 2003-03-12 11:20:52
};
struct CabSpec {
    std::vector<CabFolderSpec> folders;
    std::vector<CabFileSpec> files;
    QByteArray previous, next;      // linked cabinet names (flags 1 and 2 when not empty)
    uint16_t setId = 0x1234;
    uint16_t index = 0;
    bool reserve = false;           // flag 4 with the three reserve sizes below
    uint16_t headerReserve = 0;
    uint8_t folderReserve = 0, dataReserve = 0;
    int64_t sizeDelta = 0;          // added to the cabinet size the header declares
};
QByteArray cabOf(const CabSpec &spec);

// A stored folder of data in blocks of at most 32 KiB.
CabFolderSpec storedFolder(const QByteArray &data);
// An MSZIP folder of data: one deflate stream cut into blocks of 32 KiB of input each
// (flushed, so that each block's matches may reach into the blocks before it).
CabFolderSpec mszipFolder(const QByteArray &data);
// A cabinet of one stored or MSZIP folder holding the named files one after the other.
QByteArray cabOfFiles(const std::vector<std::pair<QByteArray, QByteArray>> &files, bool mszip);

// A hand-made BH member: the 37-byte header, the name and the packed bytes.
struct BhMember {
    QByteArray name;
    QByteArray packed;
    uint32_t original = 0;
    uint32_t crc = 0;
    uint8_t method = 0;
    uint32_t dos = 0x2E6C5A9A;
    uint16_t attr = 0x20;
    uint16_t headerSize = 37;
    uint8_t madeBy = 0x11, needed = 0x10;
    int nameLengthDelta = 0;        // added to the name length written
};
QByteArray bhOf(const std::vector<BhMember> &members);

} // namespace arcfix
