// The archive kit's common ground: the archive types, recognising a file's
// type from its bytes (self-extracting executables included), the numbered
// errors with their texts, a bounded
// random-access byte source, and the date conversions every format reader
// needs.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdint>
#include <stdexcept>
#include <string>

// The archive types; names and order are fixed (they are stored as one byte).
enum class TArcType : uint8_t {
    NA, Unsupported, FileError, Unknown, ARJ, ArjExe, ARC, ArcExe, BH, BHExe, CAB, GZip, HA, LHA, LhaExe,
    LZH, LzhExe, PAK, PakExe, RAR, RarExe, TAR, ZIP, ZipExe, Zip250, Zip250Exe, ZOO,
};

// The name of a type as the enumeration spells it ("ZipExe"); "?" for a value outside it.
const char *ArcTypeName(TArcType type);

// True for ZIP, ZipExe, Zip250 and Zip250Exe.
bool IsZipFamily(TArcType type);

// ---------------------------------------------------------------------------
// Errors

// The numbered errors of the archive kit.
enum ArcError : int {
    ArcErrReadOnly = 25102, ArcErrBadFileHeader = 25108, ArcErrCloseFile = 25115, ArcErrCrc = 25117,
    ArcErrOpenFile = 25134, ArcErrReadFile = 25135, ArcErrHeaderId = 25137, ArcErrInvalidArchive = 25138,
    ArcErrInvalidFileName = 25139, ArcErrBadLengths = 25140, ArcErrLocalHeader = 25145,
    ArcErrNoCentralHeader = 25157, ArcErrOnReadMissing = 25171, ArcErrSeek = 25191,
    ArcErrUnsupportedMethod = 25200, ArcErrUnknownType = 25202, ArcErrUnsupportedVersion = 25204,
    ArcErrNothingToDo = 26999,
};

// The text of an error code (empty for a number that is not one of them).
const char *ArcErrorText(int code);

// The exception raised for a numbered error; what() is the code's text.
class EArcError : public std::runtime_error
{
public:
    explicit EArcError(int code);
    int code() const { return m_code; }

private:
    int m_code;
};

// ---------------------------------------------------------------------------
// Byte sources

// Random access to an archive's bytes. Reads past the end fail, never wrap.
class TArcSource
{
public:
    virtual ~TArcSource() = default;
    // Total size in bytes.
    virtual int64_t size() const = 0;
    // Reads exactly n bytes at offset into buf; false when they are not all there.
    virtual bool readAt(int64_t offset, void *buf, int64_t n) = 0;
};

// A source over a memory block the caller keeps alive.
class TMemorySource : public TArcSource
{
public:
    // Keeps a (shared, not copied) reference to data, so a temporary may be passed.
    explicit TMemorySource(QByteArray data) : m_data(std::move(data)) {}
    int64_t size() const override { return m_data.size(); }
    bool readAt(int64_t offset, void *buf, int64_t n) override;

private:
    QByteArray m_data;
};

// A source over an open file (POSIX descriptor, read with pread); closes it on destruction.
class TFileSource : public TArcSource
{
public:
    // Opens path read-only; isOpen() says whether that worked.
    explicit TFileSource(const QString &path);
    ~TFileSource() override;
    TFileSource(const TFileSource &) = delete;
    TFileSource &operator=(const TFileSource &) = delete;
    bool isOpen() const { return m_fd >= 0; }
    int64_t size() const override { return m_size; }
    bool readAt(int64_t offset, void *buf, int64_t n) override;
    // The file's modification time (seconds since 1970, UTC); -1 when unknown.
    int64_t mtime() const { return m_mtime; }
    // Closes the file; false when closing failed.
    bool close();

private:
    int m_fd = -1;
    int64_t m_size = 0;
    int64_t m_mtime = -1;
};

// ---------------------------------------------------------------------------
// Type detection

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

// Detects the type of a file on disk: FileError when it cannot be opened or is
// below 6 bytes; NA for an empty path.
TArcDetection DetectArcTypeOfFile(const QString &path, int zipCmntBufSize);

// True when a 512-byte block is a TAR header by its checksum (the 8 checksum
// bytes counted as spaces, the field read as octal).
bool TarChecksumOk(QByteArrayView block);

// The numbers in an executable's string resources 1 to 4 as the stub's author
// left them (at most 5 characters each); stops at the first absent or empty one.
// Parses the PE resource directory; an image without one gives an empty list.
QList<QByteArray> PeStringResources(TArcSource &src, int firstId, int lastId);

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
// Unix time (UTC seconds) to local TDateTime.
TDateTime UnixToDateTime(int64_t unixTime);
// The local time zone's bias for now in seconds (UTC - local), as the platform reports it.
int64_t LocalBiasSeconds();

// ---------------------------------------------------------------------------
// Texts

