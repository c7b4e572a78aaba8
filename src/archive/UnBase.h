// The base of the extractors: where members go (ExtractDir, stored folders),
// which date they get, the passwords to try, how often progress is reported,
// and the extraction events. It also turns a stored member name into a safe
// relative output path: a name can never lead outside ExtractDir.
#pragma once

#include "archive/ArcLister.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <stdexcept>

// The numbered errors of extraction beyond those of the lister.
enum UnBaseError : int {
    ArcErrInvalidCode = 25111, ArcErrWriteFile = 25114, ArcErrAmbiguousTree = 25192,
    ArcErrOnPasswordMissing = 25172, ArcErrUserAborted = 25300, ArcErrInvalidPassword = 26517,
    ArcErrPasswordFailed = 26522,
};

// Whether extracted files get the member's date or the current date.
enum class TSetDate { OrigDate, CurDate };
// Progress events every 5, 10, 15, 20 or 25 percent.
enum class TProgressNotify { Five, Ten, Fifteen, Twenty, TwentyFive };

// The output file of one extracted member: written under a temporary name in
// the target's folder and renamed over the target once complete, so a member
// that fails leaves no half file and an existing file is only ever replaced by
// a whole one. Time and mode are set through the open descriptor, and nothing
// is synced: extracted files can be made again, and per-member path lookups
// and syncs are what made extracting thousands of small files slow. An
// uncommitted temporary file is removed when the object goes.
class TMemberWriter
{
public:
    explicit TMemberWriter(const QString &target);
    ~TMemberWriter();
    TMemberWriter(const TMemberWriter &) = delete;
    TMemberWriter &operator=(const TMemberWriter &) = delete;
    // Creates the temporary file (mode 0666 less the umask, as any new file); false when it cannot be made.
    bool open();
    // Appends n bytes; false on a write failure.
    bool write(const void *data, size_t n);
    // Moves the write position (the bytes passed over stay a hole); false on failure.
    bool seek(uint64_t pos);
    // Sets the file's length; false on failure.
    bool resize(uint64_t size);
    // Modification and access time (Unix seconds) and permission bits, applied at commit
    // (without them the file keeps the time of writing and the mode it was made with).
    void setTime(int64_t unixTime) { m_time = unixTime; }
    void setMode(unsigned mode) { m_mode = int(mode & 07777); }
    // Closes the file and renames it over the target; false (and the temporary removed) on failure.
    bool commit();
    // Drops what was written.
    void cancelWriting();

private:
    QByteArray m_target;
    QByteArray m_temp;
    int m_fd = -1;
    int64_t m_time = -1;
    int m_mode = -1;
};

// The silent abort an event handler raises to stop an extraction (a cancel by the user).
class EArcAbort : public std::runtime_error
{
public:
    explicit EArcAbort(const char *text = "Canceled by user") : std::runtime_error(text) {}
};

class TUnBase : public TZipCommon
{
public:
    QString ExtractDir;
    bool UseStoredDirs = false;
    TSetDate SetDateTo = TSetDate::OrigDate;
    QStringList Passwords;
    TProgressNotify ProgressNotify = TProgressNotify::Ten;
    // The most bytes one member may unpack to; a member that declares more, or
    // whose data runs on past it, is reported as damaged (25140) and nothing of
    // it is kept. The caller's guard against a small file that unpacks to a
    // huge one (a description member must not fill the temporary folder).
    static constexpr uint64_t kNoOutputLimit = UINT64_MAX;
    uint64_t OutputLimit = kNoOutputLimit;

    // A handler may raise EArcAbort to cancel; the member being written is discarded.
    std::function<void(TUnBase *Sender, const QString &FN, uint8_t Progress)> OnProgress;
    std::function<void(TUnBase *Sender, const QString &FN, QString &Password, bool &TryAgain)> OnGetPassword;
    std::function<void(TUnBase *Sender, const QString &FN, int RecNum, bool &Extract)> OnBegin;
    std::function<void(TUnBase *Sender, const QString &FN, bool CRC_PASS)> OnEnd;
    // Accept comes in false: an existing file is replaced only when the handler sets it.
    std::function<void(TUnBase *Sender, const QString &FN, bool &Accept)> OnFileExists;

    // Extracts the members matching FileSpec into ExtractDir. The frame is the same for
    // every format: the archive is opened (25139 without a name, 25134 when it cannot be
    // opened) and its detected type checked (25138), the format checks what it must before
    // anything is reported (checkArchive), OnActivate, the format's member loop
    // (extractMembers; 26999 when it extracted nothing), and OnDeactivate in every case.
    // Returns false when an error ended the extraction (it was reported through OnError and
    // lastError() says which); a cancel (EArcAbort from a handler) is recorded as 25300 and
    // passed on.
    bool Extract();
    // The code of the error that ended the last Extract (0 none).
    int lastError() const { return m_lastError; }

    // The progress step in percent for ProgressNotify.
    int progressStep() const;

    // Makes folder (with its parents) and checks that it lies inside root once
    // links are resolved; false when it cannot be made or leads outside. A
    // folder already checked in this extraction is not looked at again.
    bool prepareFolder(const QString &folder, const QString &root);

    // The safe relative output path ("/" separated) of a stored member name, or
    // an empty string when nothing usable is left. Drive parts, leading
    // separators, "." and ".." parts are removed; a leading ExtractDir is
    // dropped first; without useStoredDirs only the file name is kept.
    // altered says whether anything unsafe had to be removed.
    static QString SafeOutputPath(const QString &storedName, const QString &extractDir, bool useStoredDirs,
                                  bool *altered = nullptr);
    // The safe output path of a member to extract (SafeOutputPath with this
    // extraction's settings), or an empty string when the member is skipped:
    // no usable name is left (warned 25139) or the path does not match FileSpec.
    QString selectedOutputPath(const QString &storedName);

protected:
    // The format's parts of Extract. Each raises EArcError (raiseError) to end the extraction.
    // Whether this extractor reads archives of the detected type.
    virtual bool acceptsType(TArcType type) const = 0;
    // Checks the opened archive before OnActivate (the ZIP directory); nothing by default.
    virtual void checkArchive(TArcSource &src) { (void)src; }
    // Extracts the matching members of the opened archive into root (outputRoot()); returns
    // how many it extracted (0 ends the extraction with 26999).
    virtual int extractMembers(TArcSource &src, const QString &root) = 0;
    // The archive file's modification time (Unix seconds) during Extract; -1 when unknown or
    // the archive is held in memory.
    int64_t archiveFileTime() const { return m_fileTime; }

    // ExtractDir as an absolute folder path without a trailing "/": the
    // archive's folder (or the current one) when ExtractDir is empty. Called
    // at the start of every Extract; forgets the folders prepareFolder made.
    QString outputRoot();
    int m_lastError = 0;

private:
    QSet<QString> m_readyFolders;
    int64_t m_fileTime = -1;
};

// One output file of a stream extractor (GZip, TAR): the existence decision,
// OnBegin, the member writer's temporary file renamed into place, progress events and the
// running CRC-32. The folder is created and checked to lie inside root. No
// more than cap bytes are taken: the member's declared size or the owner's
// OutputLimit, whichever is smaller.
class TMemberFile
{
public:
    TMemberFile(TUnBase &owner, const QString &root, const QString &rel, uint64_t total,
                uint64_t cap = TUnBase::kNoOutputLimit);
    // Prepares the file; false when the member is skipped (kept existing file, refused by
    // OnBegin, or a folder or open failure, which is warned).
    bool open(int recNum);
    // Appends bytes; false on a write failure or when they would pass the cap (overCap() then
    // says so, and nothing of them is written). A progress handler's EArcAbort passes through.
    bool write(const char *data, int64_t n);
    bool overCap() const { return m_overCap; }
    // Whether open was refused by OnBegin (not by an existing file or a failure).
    bool refusedByBegin() const { return m_refusedByBegin; }
    // Moves the write position; the bytes skipped stay a hole. False on failure.
    bool seek(uint64_t pos);
    // Sets the file's length (a trailing hole); false on failure.
    bool resize(uint64_t size);
    // Renames the finished file into place with the Unix time mtime (unless SetDateTo is CurDate),
    // then reports OnEnd with crcPass; false (warned) when the rename fails.
    bool commit(int64_t mtime, bool crcPass);
    // Drops the temporary file.
    void discard() { m_file.cancelWriting(); }
    uint32_t crc() const { return m_crc; }
    uint64_t written() const { return m_written; }
    QString path() const { return m_path; }

private:
    TUnBase &m_owner;
    QString m_root;
    QString m_path;
    TMemberWriter m_file;
    uint64_t m_total;
    uint64_t m_cap;
    bool m_overCap = false;
    bool m_refusedByBegin = false;
    uint64_t m_written = 0;
    uint32_t m_crc = 0;
    int m_next = 0;
};

// Whether folder lies inside root once symbolic links are resolved (folder must exist).
bool FolderInsideRoot(const QString &folder, const QString &root);

// What is at an output path, looked at without following a link.
enum class TOutputEntry { None, File, Other };
TOutputEntry OutputEntry(const QString &path);
