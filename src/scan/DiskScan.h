// The disk scan: turns the contents of a drive, or of one folder of it (a
// virtual root), into a new disk of a catalog: a folder record per folder, a
// file record per file, and for every compressed file whose type is enabled a
// folder record standing in for the archive with one file record per member.
// On the way it carries descriptions and categories over from the previous
// image of the disk (or from the whole catalog), imports descriptions from
// description files, counts files, folders and clusters, and finally replaces
// the old image when the scan was an update. The choices come in a plain
// TScanOptions (filled by the Add Disk dialog or the command line); the
// progress window is reached through the small ScanProgress interface.
#pragma once

#include "catalog/CatalogRec.h"
#include "platform/DosTime.h"
#include "archive/ArchiveTypes.h"
#include "settings/Options.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

class Prompter;
class TDrives;
class TTreeNode;

// Where descriptions are carried over from (the entries of ImportDescCombo).
enum TKeepSource : int {
    ksUpdatedDisk = 0,    // "disk you are updating"
    ksWholeCatalog = 1,   // "all disks in the catalog"
};

// Everything one scan is told: the Add Disk dialog's choices and the program
// settings the scan reads. Control names are those of the dialog and of the
// Program Settings dialog.
struct TScanOptions {
    // --- the Add Disk dialog
    QByteArray DiskName;                 // empty: "Disk X:"
    TTreeNode *DatabaseList = nullptr;   // the target catalog node
    TTreeNode *OldDiskNode = nullptr;    // the disk being updated; null when adding
    bool KeepCurrentCheck = false;       // carry descriptions and categories over
    int ImportDescCombo = ksUpdatedDisk; // from the updated disk or the whole catalog
    bool BrowseArchiveCheck = true;
    bool ArchiveDescOnly = false;
    bool ArchiveQuickScan = false;
    bool ImportDizCheck = false;
    bool ImportBBSCheck = false;
    bool Import4DOSCheck = false;
    bool ImportCommentCheck = false;
    bool EjectMediaCheck = false;
    bool ChangeSerial = false;           // the user agreed to a new serial number

    // --- the program settings
    bool IgnoreFoldersCheck = true;      // "Ignore hidden folders"
    bool IgnoreFilesCheck = true;        // "Ignore hidden files"
    bool IgnoreRecycleCheck = true;      // "Ignore Recycle Bin folder"
    std::array<bool, kArchiveTypeCount> ArchiveSupport = AllArchiveTypes();
    QString ExtractDir;                  // temporary folder for description files inside archives
    TImportDescList ImportDescList = InitialImportDescList();
    bool DescTruncCheck = false;
    int DescTruncEdit = 3;
};

// Fills the settings part of options from the program settings.
void ApplyScanSettings(TScanOptions &options, const TOptions &settings);
// Fills the dialog's defaults as the Add Disk dialog shows them: archive
// browsing, descriptions only, quick scan, eject, the four import checks (the
// marks of the description order), and carrying over in update mode. Also
// calls ApplyScanSettings.
void ApplyScanDefaults(TScanOptions &options, const TOptions &settings, bool updating);
// The dialog's enabling rules applied to the values: descriptions only needs
// archive browsing and an import check, quick scan an update with archive
// browsing, and the archive comment needs archive browsing.
void ApplyScanEnablingRules(TScanOptions &options);

// The progress window of a scan: four labels, a bar from 0 to 100, and the
// cancel flag that the scan polls before every directory entry. The window
// asks MsgAbortScanText() itself before it sets the flag. Every call has a
// do-nothing default.
class ScanProgress
{
public:
    virtual ~ScanProgress() = default;
    virtual void setTopLabel(const QString &text) { (void)text; }
    virtual void setBottomLabel(const QString &text) { (void)text; }
    virtual void setDirLabel(const QString &text) { (void)text; }
    virtual void setDescFoundLabel(const QString &text) { (void)text; }
    virtual void showProgressBar(bool visible) { (void)visible; }
    virtual void setPosition(int percent) { (void)percent; }
    // Called for every directory entry, so that a window can let its event
    // loop run (it should do so only now and then; the scan does not throttle).
    virtual void processEvents() {}

    bool cancelRequested() const { return m_cancel.load(std::memory_order_relaxed); }
    void requestCancel() { m_cancel.store(true, std::memory_order_relaxed); }
    void clearCancel() { m_cancel.store(false, std::memory_order_relaxed); }

private:
    std::atomic<bool> m_cancel{false};
};

// The messages around a scan.
QString MsgAbortScanCaption();    // "Abort Disk Scan"
QString MsgAbortScanText();       // "Do you really want to abort disk scan?"
QString MsgScanErrorCaption();    // "Error"
QString MsgScanErrorText();       // "The disk scan was terminated and canceled due to an error ..."
QString MsgScanningStatus();      // "Scanning disk for data..."

// What a scan ended with. Neither flag set means an error: the caller shows
// MsgScanErrorText() with MsgScanErrorCaption().
struct TScanOutcome {
    bool Success = false;
    bool Cancelled = false;
    TTreeNode *DiskNode = nullptr;   // the new disk on success
    QString Detail;                  // what failed (for logs and the command line); empty otherwise
    QString Note;                    // a line for the user on success, such as why nothing was ejected
};

// What ScanDisk reports to besides the options; every member may be left empty.
struct TScanHooks {
    ScanProgress *progress = nullptr;   // null: no window
    Prompter *prompter = nullptr;       // "drive not ready" and damaged catalog lists; null: the default
    std::function<void(const QString &)> status;   // the status bar; an empty text clears it
};

// Scans the drive letter (rootPath empty) or its virtual root rootPath ("\a\b\"
// form, the folder below the drive's root) into options.DatabaseList. A drive
// that is not ready (and the user gave up) is a cancel. On cancel or error the
// new disk is removed and an old image stays as it was; on success an old
// image is replaced by the new disk at the same place among the catalog's
// disks, and the new disk is marked changed.
TScanOutcome ScanDisk(TDrives &drives, QChar letter, const QByteArray &rootPath, const TScanOptions &options,
                      const TScanHooks &hooks = {});

// --- pieces of the scan, exposed for the windows and the tests -------------

// A name that holds no lower-case letter and has at least two characters is
// turned to lower case except its first character and every character after
// a backslash (README.TXT -> Readme.txt, DOCS\INDEX.HTM -> Docs\Index.htm);
// anything else is returned as it is. Bytes that are not UTF-8 are left alone.
QByteArray NormalizeNameCase(QByteArrayView name);
// The same without copying: returns name itself when nothing changes, else a
// view of storage, which receives the new name.
QByteArrayView NormalizeNameCase(QByteArrayView name, QByteArray &storage);

// Whether the scan keeps an archive type's member names in their case (the
// Unix and today's formats) instead of normalising them as DOS names.
bool KeepsMemberNameCase(TArcType type);

// The archive type index (1 to kArchiveTypeCount) of a file name as ArchiveExtensionIndex gives
// it, with a byte-level fast path for the names that are no archive.
int ArchiveIndexOfName(QByteArrayView name);

// Whether a folder name is a recycle bin: "Recycled" and "$RECYCLE.BIN" in any
// case, ".Trash" and ".Trash-<uid>".
bool IsRecycleBinName(QByteArrayView name);

// The records that carry descriptions and categories over from an old image
// to a new one: sorted by name without regard to case, with the first
// position of each initial letter a-z, searched by binary search within the
// initial letter's range. Holds copies, so the old records may go.
class TOldDescIndex
{
public:
    // Adds an old file when it has a description or category flags.
    void addFile(const TFileRec *file);
    // Adds an old folder when it has a description, a Reserved byte or category flags.
    void addFolder(QByteArrayView name, const TFolderRec *folder);
    // Sorts and indexes; call after the last add and before any look-up.
    void build();
    int count() const { return int(m_entries.size()); }
    bool empty() const { return m_entries.empty(); }

    // Gives a new file without a description what the first qualifying old
    // record of the same name (exact case) has. True when something was copied.
    bool apply(TFileRec *file) const;
    // The same for a new folder (or archive folder) of the given name.
    bool apply(QByteArrayView name, TFolderRec *folder) const;

private:
    struct Entry {
        QByteArray key;    // the name folded to lower case
        QByteArray name;
        QByteArray desc;
        int64_t size = 0;
        uint32_t modified = 0;
        uint8_t reserved = 0;
        uint8_t catFlags = 0;
        bool folder = false;
    };
    const Entry *find(QByteArrayView name, bool newIsFolder, int64_t size, uint32_t modified) const;

    std::vector<Entry> m_entries;
    std::array<int, 27> m_first{};   // first entry of each initial letter a-z, then the end
    bool m_built = false;
};

// The case-folded form the index sorts by: ASCII letters lowered, other
// letters through Unicode case folding (bytes that are not UTF-8 stay).
QByteArray FoldNameCase(QByteArrayView name);
