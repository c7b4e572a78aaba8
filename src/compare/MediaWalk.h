// The walk of a folder on a medium that the compare and the check run: the
// scan's own reading of every entry (statx on the open folder, links never
// followed, attributes and times as the scan stores them, names after the
// scan's case rule), a progress object polled before every entry, and the
// difference between a folder that is simply gone (it lists nothing) and a
// medium that went away under the walk (the walk fails, so that a half list
// is never shown as complete).
#pragma once

#include "platform/DosAttributes.h"
#include "scan/MediaEntry.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>

// Progress of a compare or a check. The core calls these from the thread it
// runs on; every call has a do-nothing default. The cancel flag may be set
// from anywhere and is polled before every directory entry and between the
// catalog's folders.
class TCompareProgress
{
public:
    virtual ~TCompareProgress() = default;
    // The step text ("Loading catalog data, please wait...", ...).
    virtual void setStep(const QString &text) { (void)text; }
    // The live counts of the lists (new, same or found, changed, deleted);
    // called at most every 100 ms while the medium is walked, and once at the end.
    virtual void setCounts(int64_t newFiles, int64_t same, int64_t changed, int64_t deleted)
    {
        (void)newFiles, (void)same, (void)changed, (void)deleted;
    }
    // A progress bar: its maximum, and the amount done so far.
    virtual void setMaximum(int64_t max) { (void)max; }
    virtual void setPosition(int64_t done) { (void)done; }
    // Called before every directory entry so that a window can let its event
    // loop run (only now and then; the walk does not throttle).
    virtual void processEvents() {}

    bool cancelRequested() const { return m_cancel.load(std::memory_order_relaxed); }
    void requestCancel() { m_cancel.store(true, std::memory_order_relaxed); }
    void clearCancel() { m_cancel.store(false, std::memory_order_relaxed); }

private:
    std::atomic<bool> m_cancel{false};
};

// How a walk ended.
enum class TWalkStatus { Done, Cancelled, Failed };

struct TWalkOutcome {
    TWalkStatus Status = TWalkStatus::Done;
    QString Message;   // why it failed; empty otherwise
};

// What the walk leaves out, as the scan leaves it out of a catalog, so that
// what the scan never stored is not reported as new.
struct TWalkRules {
    bool Subfolders = true;          // walk below the root folder
    bool SkipHiddenFiles = false;    // the scan's "Ignore hidden files"
    bool SkipHiddenFolders = false;  // "Ignore hidden folders"
    bool SkipRecycleBins = false;    // "Ignore Recycle Bin folder"
    bool StayOnFileSystem = true;    // another file system mounted inside is another drive
    TDosAttrReader DosAttributes;    // the file system's DOS attributes; empty where it keeps none
};

// One file found by the walk. The views are valid only during the call.
struct TWalkFile {
    QByteArrayView Folder;        // the folder below the root, "\" separated, no leading or trailing "\"
    QByteArrayView NativeFolder;  // the folder's path on this system with a trailing "/"
    QByteArrayView Name;          // the name after the scan's case rule
    const EntryInfo *Info = nullptr;
};

// Walks the folder nativeRoot (a path on this system). onFolder is told of
// every folder it enters (the root with an empty Folder) before its files;
// onFile of every entry that is not a folder. A missing root lists nothing
// unless rootMustExist; a missing or unreadable subfolder lists nothing; any
// other failure to read, and a root that is gone or holds another file system
// at the end, fail the walk with a message naming the path.
class TMediaWalk
{
public:
    using FolderFn = std::function<void(QByteArrayView folder)>;
    using FileFn = std::function<void(const TWalkFile &file)>;

    TMediaWalk(const TWalkRules &rules, TCompareProgress &progress) : m_rules(rules), m_progress(progress) {}
    TWalkOutcome run(const QByteArray &nativeRoot, bool rootMustExist, const FolderFn &onFolder,
                     const FileFn &onFile);

private:
    void walkFolder(int dirFd, int depth);

    const TWalkRules &m_rules;
    TCompareProgress &m_progress;
    FolderFn m_onFolder;
    FileFn m_onFile;
    TDosTimeConverter m_times;
    QByteArray m_folder;   // "\" form below the root
    QByteArray m_native;   // native path with a trailing "/"
    uint64_t m_rootMountId = 0;
};

// The message of a medium that went away while it was walked.
QString MsgMediaRemoved(const QString &path);
