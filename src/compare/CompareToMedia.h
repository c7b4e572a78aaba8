// Compare to Media: the files of a catalogued disk or folder set against the
// files on its medium, sorted into four lists (new on the medium, the same,
// changed, and deleted from the medium). TCompareWork is the whole state of a
// comparison without a window: the lists, the new files and their folders,
// and how it ended, so that the compare window only mirrors it and the
// command line and the tests drive it directly. Files Check (CheckFiles.h)
// fills the same state in its own mode.
//
// Both run in the main thread while a search may walk the catalogs: they
// only ever read folder levels and file lists into the tree (never drop or
// move one), and a TCompareWork pins every file chain while it holds
// pointers into them, so the search's drops leave those chains alone.
#pragma once

#include "catalog/CatalogRec.h"
#include "catalog/RecordLock.h"
#include "compare/MediaWalk.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QChar>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class TDrives;
class TOptions;
class TTreeNode;

enum class TCompareMode { Media, Files };

// The lists of the media mode.
enum TCompareList : int { clNew = 0, clSame = 1, clChanged = 2, clDeleted = 3 };
// The lists of the files mode.
enum TCheckList : int { ckNew = 0, ckFound = 1, ckChanged = 2 };

// A file found only on the medium (or a source file not in the catalog).
struct TMediaFileEntry {
    uint8_t Attr = 0;
    uint32_t Time = 0;        // last-write time, packed DOS date-time
    int64_t Size = 0;         // 64 bits: files over 2 GiB are common
    int16_t IconIndex = -1;   // memory only, -1 until first shown
    int32_t FolderIndex = 0;  // into TCompareWork::FolderList; 32 bits, so it never wraps
    QByteArray Name;
};

// A catalog entry the compare looks at: a file record, or the folder record
// of a compressed file, which stands for the compressed file as one file.
struct TCompareEntryView {
    QByteArrayView Name;
    int64_t Size = 0;         // bytes (a compressed file's TotalSize in whole bytes)
    uint32_t Modified = 0;
    uint8_t Attr = 0;
    TTreeNode *Folder = nullptr;   // the node of the folder or disk holding it
};
// The view of rec (a file record or a compressed-file folder record).
TCompareEntryView CompareEntryOf(const TItemRec *rec);

// How a compare or a check ended.
enum class TCompareStatus { Done, Cancelled, Failed };

// The whole state of one comparison.
class TCompareWork
{
public:
    TCompareWork();
    ~TCompareWork();
    TCompareWork(const TCompareWork &) = delete;
    TCompareWork &operator=(const TCompareWork &) = delete;

    TCompareMode Mode = TCompareMode::Media;
    TCompareStatus Status = TCompareStatus::Done;
    QString Message;                        // why it failed
    TTreeNode *Node = nullptr;              // media mode: the compared disk or folder
    QByteArray MediaRoot;                   // the folder walked, native path
    std::vector<TMediaFileEntry> NewFiles;  // list 0
    std::vector<QByteArray> FolderList;     // native folder paths with a trailing "/"
    std::array<std::vector<TItemRec *>, 4> Lists;   // catalog records of lists 1 to 3 (index 0 unused)

    int listCount() const { return Mode == TCompareMode::Media ? 4 : 3; }
    int64_t count(int list) const;
    // Media mode: lists 0, 2 and 3 are empty (the same files do not count).
    bool noChanges() const;
    // The folder path of a new file ("" for an index out of range).
    QByteArray folderOf(const TMediaFileEntry &entry) const;
    // Drops every result (and keeps the pin).
    void clear();

private:
    TPinAllFileChains m_pin;   // the lists point into file chains: none may be dropped while they live
};

// ---- texts -------------------------------------------------------------------

QString CompareCaption(TCompareMode mode);   // "Compare to Media" / "Compare Files To Catalog"
// The tab text of a list ("New files", ...) and its combo text ("New files on media, not yet in the catalog").
QString CompareTabName(TCompareMode mode, int list);
QString CompareListTypeName(TCompareMode mode, int list);
// Combo item: type text + " (" + count + " file" + "s" unless 1 + ")".
QString CompareComboText(TCompareMode mode, int list, int64_t count);
// Tab: two spaces + tab text + " (" + count + ")" + two spaces.
QString CompareTabText(TCompareMode mode, int list, int64_t count);
QString MsgCompareConfirmCaption();          // "Compare to media"
QString MsgCompareConfirmText(const QString &word, const QString &nodeText);
QString MsgNoChangesCaption();               // "No changes detected"
QString MsgNoChangesText(const QString &word, const QString &nodeText);
QString MsgComparingStatus();                // "Comparing data in catalog to media, please wait"
QString MsgLoadingCatalogData();             // "Loading catalog data, please wait..."
QString MsgComparingToMedia();               // "Comparing to media, please wait..."
QString MsgSortingLists();                   // "Sorting lists, please wait..."
// The word of the confirmation: a disk's media type name in lower case
// ("CD-ROM" and "RAM disk" keep theirs), "folder" otherwise.
QString CompareWord(TTreeNode *node);

// ---- the comparison ------------------------------------------------------------

// The compare's walk rules from the program settings: the scan's skip options,
// so that what the scan leaves out of a catalog is not reported as new.
TWalkRules CompareWalkRules(const TOptions &settings);
// The DOS attributes reader of the drive holding letter (as the scan takes it).
TDosAttrReader MediaAttributeReader(TDrives &drives, QChar letter);

// The native folder on drive letter that stands for node (a disk or a folder
// of a disk): the drive's root, below it the disk's virtual root folder when
// it has one, then the node's folders, each found without regard to case
// as on the media catalogs come from. Empty when the drive has no root; a
// folder missing on the medium gives its path as stored (it lists nothing).
QByteArray CompareMediaRoot(TDrives &drives, QChar letter, TTreeNode *node);

// Compares node (a disk, or a folder that is not a compressed file) with the
// folder mediaRoot into work (cleared first). rootMustExist: a missing
// mediaRoot fails the compare instead of listing everything as deleted.
// Reading a damaged catalog, a medium that fails or goes away during the
// walk, and a cancel end it with Status set and the lists cleared.
void CompareToMedia(TCompareWork &work, TTreeNode *node, const QByteArray &mediaRoot, bool rootMustExist,
                    const TWalkRules &rules, TCompareProgress *progress = nullptr);

// Sorts list 0 by name (ASCII letters without regard to case), stably.
void SortNewFiles(TCompareWork &work);
