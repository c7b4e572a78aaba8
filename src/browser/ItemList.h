// The item list of the main window: the records one tree node shows (the
// disks of a catalog; the folders and files of a disk or folder, led by the
// "previous folder" row), in the order of the current sort. It holds record
// pointers only; the views ask for the texts of the rows they draw. Also the
// sort state of the main window, the column sets with their captions, the
// type-ahead search and the ordering of a tree node's children.
#pragma once

#include "browser/ItemSort.h"
#include "browser/Utils.h"
#include "catalog/CatalogRec.h"

#include <QString>
#include <Qt>

#include <cstdint>
#include <memory>
#include <vector>

class TForest;
class TTreeNode;

// The two column sets of the list: disks while a catalog is shown, files
// while a disk or folder is shown.
enum class TColumnSet { None, Disks, Files };
inline constexpr int kListColumns = 7;

struct TColumnInfo {
    QString caption;
    Qt::Alignment alignment;
};
// Captions and alignments of a set (empty for None); column i shows text kind i.
const std::vector<TColumnInfo> &ColumnsOf(TColumnSet set);
// The set a node's contents need; None for no node.
TColumnSet ColumnSetFor(const TTreeNode *node);

// The sort of the main list: one column for catalog views (disk rows), one
// for disk and folder views, and the reverse flag. Stored as one byte:
// catalog-level column in bits 0-2, folder-level column in bits 3-5, reverse
// in bit 7.
struct TSortState {
    int catalogColumn = 1;
    int folderColumn = 1;
    bool reverse = false;

    uint8_t toByte() const;
    static TSortState fromByte(uint8_t byte);
    // The column of the level a node's contents belong to (catalog level
    // when the node is a catalog).
    int columnFor(const TTreeNode *node) const;
    void setColumnFor(const TTreeNode *node, int column);
    bool operator==(const TSortState &) const = default;
};

// Orders a node's children in the tree by the sort of their level: the disks
// of a catalog by the catalog-level column, the folders of a disk or folder by
// the folder-level column. base supplies the options (archives as folders).
// A null node (the catalogs themselves) is left as it is.
void SortTreeChildren(TTreeNode *node, const TSortState &sort, const TCompareContext &base = {});

class TItemList
{
public:
    TItemList();
    ~TItemList();
    TItemList(const TItemList &) = delete;
    TItemList &operator=(const TItemList &) = delete;

    // --- options
    // "Show '..' folders": switching it adds or removes the row in the
    // current list at once.
    void setShowPrevFolder(bool on);
    bool showPrevFolder() const { return m_showPrev; }
    void setArchivesAsFolders(bool on) { m_archivesAsFolders = on; }
    bool archivesAsFolders() const { return m_archivesAsFolders; }
    void setFormattedSizes(bool on) { m_formattedSizes = on; }
    bool formattedSizes() const { return m_formattedSizes; }
    TSortState &sortState() { return m_sort; }
    const TSortState &sortState() const { return m_sort; }

    // --- filling
    // Rebuilds the list for node unless it is the displayed node already
    // (false then). Reads the node's child level and file list first; when
    // the catalog file is damaged the rows are what could be read and
    // lastError() tells why. A null node empties the list.
    bool fill(TTreeNode *node);
    // Forgets the displayed node, so that the next fill rebuilds even for it.
    void forget() { m_displayed = nullptr; }
    // Empties the list; no node is displayed.
    void clear();
    // The message of the last fill's reading failure; empty when none.
    const QString &lastError() const { return m_lastError; }

    TTreeNode *displayedNode() const { return m_displayed; }
    TColumnSet columnSet() const { return m_columnSet; }
    const std::vector<TItemRec *> &items() const { return m_items; }
    int count() const { return int(m_items.size()); }
    TItemRec *at(int row) const;   // null outside the list
    int indexOf(const TItemRec *rec) const;   // -1 when not in the list
    // Takes a record out of the list (a disk deleted from the list); false
    // when it is not there.
    bool removeRecord(const TItemRec *rec);

    // The "previous folder" row's record; it belongs to this list.
    TItemRec *prevFolder() const;
    bool isPrevFolder(const TItemRec *rec) const { return rec && rec == prevFolder(); }

    // --- texts and order
    TItemTextContext textContext() const;
    // The compare context of the main list for the displayed level.
    TCompareContext compareContext() const;
    // The text of a row for a column (text kind); empty outside the list.
    QString text(int row, int column) const;
    // Sorts the whole list (stable); false when the user stopped it through
    // stopKey and chose the partial result.
    bool sort(const TStopKeyProbe &stopKey = {}, Prompter *prompter = nullptr);
    // Reverses the list in place (the previous-folder row stays first).
    void reverse();

    // Type-ahead: from row start on, wrapping to the top once, the first row
    // whose name begins with prefix without regard to case; -1 when none.
    int findItemByPrefix(const QString &prefix, int start) const;

private:
    void preparePrevFolder(TTreeNode *folderNode);

    std::unique_ptr<TForest> m_prevForest;   // holds the ".." node, never part of a catalog
    TTreeNode *m_prevNode = nullptr;
    std::vector<TItemRec *> m_items;
    TTreeNode *m_displayed = nullptr;
    TColumnSet m_columnSet = TColumnSet::None;
    TSortState m_sort;
    bool m_showPrev = true;
    bool m_archivesAsFolders = true;
    bool m_formattedSizes = true;
    QString m_lastError;
};

// The name a row is found by: a file's name, otherwise its node's text.
QByteArrayView ItemName(const TItemRec *rec);
