// The item list as a Qt model: a flat table over the main window's item
// list, one row per record pointer, seven columns whose captions depend on
// the column set. Texts and icons are made per row when a view asks, so a
// folder of a hundred thousand files costs no more than its pointers. Sorts
// keep the views' selection and current row on their records.
#pragma once

#include "browser/ItemList.h"

#include <QAbstractTableModel>
#include <QStringList>

class TItemListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TItemListModel(TItemList &list, QObject *parent = nullptr);

    TItemList &list() const { return m_list; }
    TItemRec *recordOf(const QModelIndex &index) const;
    QModelIndex indexOf(const TItemRec *rec, int column = 0) const;

    // Rebuilds the rows for node (TItemList::fill); forced forgets the
    // displayed node first. False when node was displayed already.
    bool refill(TTreeNode *node, bool forced);
    // Empties the list.
    void clear();
    // Sorts all rows (full) or reverses them; selection and current row stay
    // on their records. False when the user stopped the sort.
    bool sortRows(bool full, const TStopKeyProbe &stopKey = {}, Prompter *prompter = nullptr);
    // Takes a record's row out (a disk deleted from the list).
    bool removeRecord(const TItemRec *rec);
    // Adds or removes the previous-folder row at once.
    void setShowPrevFolder(bool on);
    // Descriptions as the rows' tool-tips ("Show descriptions as tips").
    void setDescTips(bool on) { m_descTips = on; }
    // Texts changed (sizes option, a rename): every row is repainted.
    void refreshTexts();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Type-ahead of the views (starts-with searches of column 0) goes through
    // the list's own prefix search.
    QModelIndexList match(const QModelIndex &start, int role, const QVariant &value, int hits = 1,
                          Qt::MatchFlags flags = Qt::MatchFlags(Qt::MatchStartsWith | Qt::MatchWrap)) const override;

    Qt::DropActions supportedDragActions() const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;

signals:
    // A disk row took a new name in place.
    void diskRenamed(TTreeNode *diskNode);

private:
    TItemList &m_list;
    TColumnSet m_shownSet = TColumnSet::None;
    bool m_descTips = true;
};

// The icon of an item list row.
QIcon ItemIcon(TItemRec *rec, const TItemList &list);
