// The RAR decompression component: the six operations the RAR extractor is
// written against (open, read header, process, close, and the volume and data
// callbacks) with the result codes it relies on. The headers come from the
// kit's own block walk (RarHeaders.h), the decompression from libarchive's
// RAR and RAR 5 readers, fed through callbacks that read the volumes the walk
// found, one after the other. libarchive never opens or writes a file itself:
// an extracted member goes to exactly the path the caller names, through the
// kit's member writer (a temporary file renamed into place), never past the
// size its header declares.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

class TZipCommon;

// Results of the operations, numbered as the library interface numbers them.
enum : int {
    ERAR_SUCCESS = 0,
    ERAR_END_ARCHIVE = 10,
    ERAR_NO_MEMORY = 11,
    ERAR_BAD_DATA = 12,         // the data failed its check (CRC or size), or could not be decoded
    ERAR_BAD_ARCHIVE = 13,
    ERAR_UNKNOWN_FORMAT = 14,
    ERAR_EOPEN = 15,            // the archive or a needed volume cannot be opened
    ERAR_ECREATE = 16,
    ERAR_ECLOSE = 17,
    ERAR_EREAD = 18,
    ERAR_EWRITE = 19,
    ERAR_SMALL_BUF = 20,
    ERAR_UNKNOWN = 21,
    ERAR_MISSING_PASSWORD = 22, // an encrypted member or encrypted headers: no password support
    ERAR_EREFERENCE = 23,
    ERAR_BAD_PASSWORD = 24,
    // Beyond the library's own numbers: a method this decoder cannot unpack
    // (the RAR 1.5 and 2.0 compression, members of solid RAR 1.5-4 archives).
    ERAR_UNSUPPORTED_METHOD = 30,
};

enum : int { RAR_OM_LIST = 0, RAR_OM_EXTRACT = 1 };
enum : int { RAR_SKIP = 0, RAR_TEST = 1, RAR_EXTRACT = 2 };
enum : int { RAR_VOL_ASK = 0, RAR_VOL_NOTIFY = 1 };

// Called with a volume's name: RAR_VOL_NOTIFY when it was opened, RAR_VOL_ASK when it is
// needed and missing. A result of -1 stops the operation.
using CHANGEVOLPROC = std::function<int(const QString &ArcName, int Mode)>;
// Called with every chunk of unpacked data of a member being tested or extracted; 0 stops.
using PROCESSDATAPROC = std::function<int(const uint8_t *Addr, int Size)>;

struct RAROpenArchiveData {
    QString ArcName;
    unsigned OpenMode = RAR_OM_EXTRACT;
    unsigned OpenResult = 0;
    char *CmtBuf = nullptr;
    unsigned CmtBufSize = 0;
    unsigned CmtSize = 0;
    unsigned CmtState = 0;
    // Beyond the library's record: an archive held in memory (ArcName then only names it;
    // further volumes through Volumes), and the offset of the archive in its first file (a
    // self-extractor).
    bool FromMemory = false;
    QByteArray ArcData;
    int64_t StartOffset = 0;
    // Where further volumes are found (on disk, or among an in-memory archive's volumes);
    // null: on disk, and none for an archive held in memory.
    const TZipCommon *Volumes = nullptr;
};

struct RARHeaderData {
    char ArcName[260] = {};
    char FileName[260] = {};   // the stored name, "\" separators, cut to 259 bytes
    unsigned Flags = 0;        // the RAR 1.5-4 file flags (RAR 5 members described with them)
    unsigned PackSize = 0;
    unsigned UnpSize = 0;
    unsigned HostOS = 0;
    unsigned FileCRC = 0;
    unsigned FileTime = 0;     // DOS date-time
    unsigned UnpVer = 0;       // 15 .. 36; 50 for RAR 5
    unsigned Method = 0;       // 30h .. 35h
    unsigned FileAttr = 0;
    char *CmtBuf = nullptr;
    unsigned CmtBufSize = 0;
    unsigned CmtSize = 0;
    unsigned CmtState = 0;
    // Beyond the library's record: the whole name and 64-bit sizes.
    QByteArray FileNameUtf8;
    uint64_t PackSize64 = 0;
    uint64_t UnpSize64 = 0;
    int64_t UnixTime = -1;     // modification time in Unix seconds; -1 when unknown
    bool Directory = false;
    bool Link = false;
};

class TUnrarArchive;
using HANDLE = TUnrarArchive *;

// Opens an archive (all its volumes are found by their names); null with
// OpenResult set when it cannot be read at all.
HANDLE RAROpenArchive(RAROpenArchiveData *ArchiveData);
// Frees everything of the archive; 0.
int RARCloseArchive(HANDLE hArcData);
// The next member's header: 0, ERAR_END_ARCHIVE after the last, or the error that ended the headers.
int RARReadHeader(HANDLE hArcData, RARHeaderData *HeaderData);
// Skips (RAR_SKIP), tests (RAR_TEST) or extracts (RAR_EXTRACT) the member whose header
// was read last. Extraction writes DestName (a full path the caller has made safe; DestPath
// is not used, so that no stored name decides where a file goes); the file gets the member's
// time. A member whose data fails its check is kept when all its bytes came (ERAR_BAD_DATA).
int RARProcessFile(HANDLE hArcData, int Operation, const char *DestPath, const char *DestName);
void RARSetChangeVolProc(HANDLE hArcData, CHANGEVOLPROC ChangeVolProc);
void RARSetProcessDataProc(HANDLE hArcData, PROCESSDATAPROC ProcessDataProc);
