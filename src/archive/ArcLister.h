// The archive lister: TZipCommon (what every archive component shares: the
// archive file and its detected type, the member mask, the error event) and
// TArcLister, which walks an archive's member directory through the reader of
// its format and hands each member to OnRead. Each format is one reader
// behind TArcListReader; the listing loop itself is here.
#pragma once

#include "archive/ArcDetect.h"
#include "archive/ArcSources.h"
#include "archive/ArcTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

// FileSpec matching: "?" one character, "*" any run, case-insensitive, on the
// file-name parts of both (a name ending in "\" is a folder: its last part).
// A mask without "." matches names with an extension as mask + ".*"; a name
// without "." is taken as name + ".*" when the mask has one; a trailing "." is
// dropped. An empty mask or name never matches.
bool MatchesFileSpec(const QString &mask, const QString &name);

// The base of every archive component.
class TZipCommon
{
public:
    virtual ~TZipCommon() = default;

    // Sets the archive and detects its type; a missing file clears path, size and offsets (type NA).
    void setArchiveFile(const QString &path);
    // Detects the type of bytes held in memory as if they were the file fileName (for tests and fuzzing).
    void setArchiveData(const QByteArray &data, const QString &fileName);
    QString archiveFile() const { return m_archiveFile; }
    TArcType arcType() const { return m_det.type; }
    // The archive's start as offset + 1 (1 for a plain archive).
    int64_t startOffset() const { return m_det.startOffset; }
    bool sfxRelative() const { return m_det.sfxRelative; }
    int64_t archiveFileSize() const { return m_det.fileSize; }
    // The file's DOS date-time (the current one when it could not be read).
    uint32_t archiveFileDate() const { return m_fileDate; }

    // A further volume of an archive held in memory (setArchiveData), known by its path;
    // the listing and the extraction find it where they would open that file.
    void addMemoryVolume(const QString &path, const QByteArray &data);
    // Whether a volume file exists: on disk, or for an archive held in memory among
    // its memory volumes (paths compared without regard to case, as names on DOS media).
    bool volumeExists(const QString &path) const;
    // Opens a volume that volumeExists finds; null when it cannot be opened.
    std::unique_ptr<TArcSource> openVolumeSource(const QString &path) const;
    // Closes a volume openVolumeSource opened (null or held in memory: nothing to do); false
    // when closing the file fails.
    static bool closeVolume(TArcSource *volume);

    // Member mask; only the file-name part is kept, "/" turned into "\". Default "*.*".
    void setFileSpec(const QString &mask);
    QString fileSpec() const { return m_fileSpec; }
    // Comment buffer for the end-record search of executables, clamped to 0..32767.
    void setZipCmntBufSize(int size);
    int zipCmntBufSize() const { return m_zipCmntBufSize; }

    std::function<void(TZipCommon *Sender)> OnActivate;
    std::function<void(TZipCommon *Sender)> OnDeactivate;
    std::function<void(TZipCommon *Sender, const QString &FN, const QString &VolumeID, int ECode)> OnError;

    // Reports code through OnError and throws EArcError with the code's text.
    [[noreturn]] void raiseError(int code);
    // Reports code through OnError without raising.
    void warn(int code);

protected:
    QString m_archiveFile;
    QByteArray m_memoryData;   // shared with the caller, never a dangling view
    bool m_fromMemory = false;
    QList<std::pair<QString, QByteArray>> m_memoryVolumes; // path and bytes, for m_fromMemory

private:
    // The bytes of the memory volume at path; null when there is none.
    const QByteArray *memoryVolume(const QString &path) const;

protected:
    TArcDetection m_det;
    uint32_t m_fileDate = 0;
    QString m_fileSpec = QStringLiteral("*.*");
    int m_zipCmntBufSize = 0;
};

class TArcLister;

// One format's member directory: finds the first header and the archive
// comment, then decodes one header at a time. Errors are raised through the
// lister (raiseError); a header without its format's signature ends the list.
// A format whose archives span several files moves on to the next one with
// TArcLister::openVolume; from then on the lister's source() is that file (the
// src a call received is no longer valid after it).
class TArcListReader
{
public:
    enum class Step { Report, Skip, End };
    virtual ~TArcListReader() = default;
    // Size of the fixed part of a header.
    virtual int headerSize() const = 0;
    // Positions the lister at the first header, sets the end of the member area, reads the comment.
    virtual void prepare(TArcLister &lister, TArcSource &src) = 0;
    // Decodes the header whose fixed part was read at headerOffset; fills the member data and
    // moves the lister's position to the next header.
    virtual Step step(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t headerOffset) = 0;
    // Called after the loop (with the number of members decoded).
    virtual void finish(TArcLister &lister, int decoded) { (void)lister; (void)decoded; }
};

// Lists the members of an archive.
class TArcLister : public TZipCommon
{
public:
    // Lists every member matching FileSpec through OnReadBegin, OnRead, OnReadEnd, then OnTotals.
    // Returns false when an error ended the listing (what was reported stays reported); lastError() says which.
    bool activate();
    int lastError() const { return m_lastError; }

    std::function<void(TArcLister *Sender, int64_t Offset, int Filenum)> OnRead;
    std::function<void(TArcLister *Sender)> OnReadBegin;
    std::function<void(TArcLister *Sender)> OnReadEnd;
    std::function<void(TArcLister *Sender, int NumFiles)> OnTotals;
    // Asked now and then while one member takes long to list (a compressed stream
    // that records no size is decoded to count it); true ends the listing with
    // 25300. A window lets its event loop run here. Null: never asked.
    std::function<bool()> CancelRequested;

    // Current member (valid inside OnRead).
    QByteArray MemberName;       // UTF-8, "\" separators
    uint64_t PackedSize = 0;     // 64-bit so that ZIP64 members keep their sizes
    uint64_t UnpackedSize = 0;
    uint32_t MemberCRC = 0;
    TDateTime MemberDate = 0;
    uint32_t MemberDosDate = 0;  // the normalised DOS date-time behind MemberDate
    uint8_t VersionMadeBy = 0;
    uint8_t VersionNeeded = 0;
    int MethodCode = 0;
    uint16_t GeneralFlags = 0;
    int DeflateOption = 0;
    uint16_t InternalAttr = 0;
    uint32_t MemberAttr = 32;
    int Ratio = 0;
    QByteArray MemberComment;    // null when the member has none
    QByteArray ArchiveComment;   // null when the archive has none
    int64_t LocalHeaderOffset = 0;
    int64_t HeaderOffset = 0;
    int FileNum = 0;
    uint64_t TotalPacked = 0;
    uint64_t TotalUnpacked = 0;

    // Reader state: where the next header is and where the member area ends.
    int64_t position = 0;
    int64_t endOfMembers = 0;

    // The file the current member was read from: the archive file, or the volume of a
    // multi-volume archive the listing has moved on to (openVolume). Valid inside OnRead.
    QString CurrentFile;

    // The source the listing reads: the archive, or the volume openVolume opened last.
    TArcSource &source() { return *m_src; }
    // Moves the listing on to the volume file path: closes the current file (25115 when that
    // fails) and opens path in its place, which becomes CurrentFile, with the member area
    // reaching to its end. False, with the current file kept, when path does not exist or
    // cannot be opened (the format decides what that means). An archive held in memory
    // finds its volumes among those given to addMemoryVolume.
    bool openVolume(const QString &path);

    // Clears the member fields before a header is decoded.
    void clearMember();
    // Ratio from the two sizes: 100 - packed x 100 / unpacked rounded, at least 1 when packed < unpacked.
    static int ratioOf(uint64_t packed, uint64_t unpacked);

private:
    void list();
    int m_lastError = 0;
    std::unique_ptr<TArcSource> m_src;
};

// The reader for a type, or null when this build has none for it.
std::unique_ptr<TArcListReader> MakeListReader(TArcType type);
