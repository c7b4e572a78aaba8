// The catalog manager's core: carrying a disk with everything below it from
// one open catalog into another, by copy or by move. The main window's drag
// and drop of disks between catalogs and the catalog manager window both use
// it; neither saves anything, the catalogs reach their files when saved.
#pragma once

#include <QString>

#include <functional>
#include <vector>

class TTreeNode;

// What a transfer had to leave out: every catalog names its own categories
// and flags, so items keep them by name, and a name the target lacks joins
// its vocabulary while there is room (31 categories, 3 flags).
struct TTransferNotes {
    int addedNames = 0;   // category and flag names the target took on
    int lostItems = 0;    // items that lost a category or a flag for lack of room
};

// "N item(s) lost their category or flags ..." for the one message after a transfer.
QString MsgCategoriesLost(int items);

// Copies (move false) or moves (move true) sourceDisk with its whole subtree
// into targetCatalog as its last disk, under the unique form of its name in
// that catalog. Every folder level and file list of the source that is not in
// memory yet is read first, from the source catalog's file; when that fails
// (EStreamError) nothing is changed in the target and the exception passes on.
// The new disk keeps descriptions, attributes and the virtual-root data, and
// its items keep their categories and flags by name (notes, when given,
// adds up what that took and what was lost); it is written in full at the next save of the target, and
// the target is marked modified. A copy owns records of its own; a move hands
// the records themselves over (so the result lists keep showing them) and
// marks the source catalog modified. Moving a disk onto its own catalog
// changes nothing. Returns the disk node under targetCatalog; null when the
// arguments are not a disk and a catalog.
TTreeNode *TransferDisk(TTreeNode *sourceDisk, TTreeNode *targetCatalog, bool move,
                        TTransferNotes *notes = nullptr);

// The outcome of transferring several disks.
struct TTransferResult {
    std::vector<TTreeNode *> transferred;   // the new disk nodes, in order
    int failedIndex = -1;                   // the disk that could not be read; -1 when none failed
    QString error;                          // its message
    TTransferNotes notes;
};

// Copies or moves the disks into targetCatalog one after the other, in
// order, and stops at the first that cannot be read. A move takes each disk
// out of its catalog only once it has arrived in the target, so a failure
// part way leaves that disk and every later one where they were. starting,
// when given, hears of each disk before it is transferred (the window's
// status text). The caller re-sorts the target's disks and shows the notes
// once.
TTransferResult TransferDisks(const std::vector<TTreeNode *> &sourceDisks, TTreeNode *targetCatalog, bool move,
                              const std::function<void(TTreeNode *disk)> &starting = {});

// The manager's status text for a pane: "Left pane: 3 disks, total capacity
// 4.21 MB (1 selected, 1.40 MB)" ("Right pane: " for the right one).
QString CatManagerStatusText(bool leftPane, const std::vector<TTreeNode *> &disks,
                             const std::vector<TTreeNode *> &selected);
// "Copy" or "Mov" + "ing disks between catalogs, please wait" and the like.
QString MsgTransferStatus(bool move);     // the main window's status
QString MsgTransferProgress(bool move);   // "...ing disks to other catalog..."
QString MsgTransferDisk(bool move, const QString &disk);   // "...ing data for disk \"D\"..."
QString MsgConfirmDeleteDisks();          // "Please confirm deleting selected disk(s) from catalog."
QString MsgDeletingDisks();               // "Deleting selected disks, please wait..."
