// Recognising an archive's type from its bytes: the signature table, the TAR
// checksum rule, and the archive inside a self-extracting executable.
#pragma once

#include "archive/ArcSources.h"
#include "archive/ArcTypes.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>

enum class TSigMode { Plain, Executable };

// The result of classifying 4 bytes: the type and, for the ARC stubs that
// hold their archive at a fixed place, that absolute offset (else -1).
struct TSignatureHit {
    TArcType type = TArcType::Unknown;
    int64_t fixedOffset = -1;
};

// Classifies the first 4 bytes of an archive (or of a candidate inside an executable).
TSignatureHit ClassifySignature(const uint8_t sig[4], TSigMode mode);

// What detection found.
struct TArcDetection {
    TArcType type = TArcType::NA;
    int64_t startOffset = 1;   // archive start + 1 (1 for a plain archive)
    bool sfxRelative = false;  // ZIP kinds: the start came from a string resource, stored offsets are relative
    int64_t fileSize = 0;
};

// Detects the type of the archive in src. fileName supplies the extension for
// the TAR rule; zipCmntBufSize bounds the end-record search of executables.
TArcDetection DetectArcType(TArcSource &src, const QString &fileName, int zipCmntBufSize);

// A ZIP behind a stub that is not a DOS executable (a shell script, an ELF
// program, any bytes): found through its end record in the last 32 KB and
// checked against its central and first local header; det comes back as
// ZipExe with the start at that local header, or unchanged.
TArcDetection FindZipBehindStub(TArcSource &src, TArcDetection det);

// An LHA archive behind a stub the table does not place (a .COM or Windows
// self-extractor): the first 64 KB are searched for a level 0 or 1 header
// whose checksum holds, or a level 2 header of a sane size; det comes back as
// LhaExe with the start at that header, or unchanged.
TArcDetection FindLhaBehindStub(TArcSource &src, TArcDetection det);

// Detects the type of a file on disk: FileError when it cannot be opened or is
// below 6 bytes; NA for an empty path.
TArcDetection DetectArcTypeOfFile(const QString &path, int zipCmntBufSize);

// True when a 512-byte block is a TAR header by its checksum (the 8 checksum
// bytes counted as spaces, the field read as octal).
bool TarChecksumOk(QByteArrayView block);
