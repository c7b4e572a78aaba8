// The base of the extractors: where members go (ExtractDir, stored folders),
// which date they get, the passwords to try, how often progress is reported,
// and the extraction events. It also turns a stored member name into a safe
// relative output path: a name can never lead outside ExtractDir.
#pragma once

#include "archive/ArcLister.h"

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

    // Extracts the members matching FileSpec; the base has no format and does nothing.
    // Returns false when an error ended the extraction (it was reported through OnError).
    virtual bool Extract() { return true; }
    // The code of the error that ended the last Extract (0 none).
    int lastError() const { return m_lastError; }

    // The progress step in percent for ProgressNotify.
    int progressStep() const;

    // The safe relative output path ("/" separated) of a stored member name, or
    // an empty string when nothing usable is left. Drive parts, leading
    // separators, "." and ".." parts are removed; a leading ExtractDir is
    // dropped first; without useStoredDirs only the file name is kept.
    // altered says whether anything unsafe had to be removed.
    static QString SafeOutputPath(const QString &storedName, const QString &extractDir, bool useStoredDirs,
                                  bool *altered = nullptr);

protected:
    // ExtractDir as an absolute folder path without a trailing "/": the
    // archive's folder (or the current one) when ExtractDir is empty.
    QString outputRoot();
    int m_lastError = 0;
};
