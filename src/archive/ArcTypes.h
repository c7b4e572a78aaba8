// The archive kit's common ground: the archive types and the date
// conversions every format reader needs. The kit's numbered errors
// (ArcErrors.h) and byte sources (ArcSources.h) come with it, as every reader
// uses them; recognising a type from its bytes is in ArcDetect.h.
#pragma once

#include "archive/ArcErrors.h"
#include "archive/ArcSources.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

// The archive types; names and order are fixed (they are stored as one byte).
enum class TArcType : uint8_t {
    NA, Unsupported, FileError, Unknown, ARJ, ArjExe, ARC, ArcExe, BH, BHExe, CAB, GZip, HA, LHA, LhaExe,
    LZH, LzhExe, PAK, PakExe, RAR, RarExe, TAR, ZIP, ZipExe, Zip250, Zip250Exe, ZOO,
    // read through libarchive: 7z, the xz, bzip2 and zstd streams (a tarball or one file), ISO 9660 images
    SevenZip, XZ, BZip2, Zstd, ISO,
};

// The name of a type as the enumeration spells it ("ZipExe"); "?" for a value outside it.
const char *ArcTypeName(TArcType type);

// True for ZIP, ZipExe, Zip250 and Zip250Exe.
bool IsZipFamily(TArcType type);

// ---------------------------------------------------------------------------
// Dates

// Days since 1899-12-30 with the time of day as fraction.
using TDateTime = double;
// A packed DOS date-time (date in the high 16 bits) as TDateTime; zero or
// invalid gives 1 January 1980 0:00.
TDateTime DosDateTimeToDateTime(uint32_t dosDateTime);
// The DOS date-time if it is one (DosTimeValid); anything else, zero among it,
// becomes 1980-01-01 0:00 (0x00210000).
uint32_t NormalizedDosDateTime(uint32_t dosDateTime);
// The DOS date-time as ISO 8601 text ("1994-06-15T12:34:56"), after normalising.
QString DosDateTimeToIso(uint32_t dosDateTime);
// Unix time (UTC seconds) to the packed local time of that instant (UnixToDos);
// times outside 1980-2099 are clamped to the nearest end.
uint32_t UnixToDosDateTime(int64_t unixTime);
// Unix time (UTC seconds) to the local TDateTime of that instant (the zone's
// offset of that day, as UnixToDosDateTime).
TDateTime UnixToDateTime(int64_t unixTime);
