// One list of a comparison as a Qt model: a row per entry of the list shown
// (the new files, or catalog records), the compare columns' texts from
// compare/CompareList.h, icons as the main list shows them. Sorting goes
// through the core and keeps the view's selection on its rows.
#pragma once

#include "browser/Utils.h"
#include "compare/CompareToMedia.h"

#include <QAbstractTableModel>

#include <vector>

class TCompareListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // work stays the caller's and outlives the model.
    explicit TCompareListModel(TCompareWork &work, QObject *parent = nullptr);

    // The list shown (0 to listCount() - 1); resets the rows.
    void setList(int list);
    int list() const { return m_list; }
    void setTextContext(const TItemTextContext &context);
    const TItemTextContext &textContext() const { return m_texts; }

    // The catalog record of a row (null on the new files list).
    TItemRec *recordOf(const QModelIndex &index) const;
    const TMediaFileEntry *newFileOf(const QModelIndex &index) const;

    // A click on a column header: sorts the list by column, or reverses it
    // when it is sorted by that column already. The sort column is kept per list.
    void clickColumn(int column);
    // The list's sort column; -1 when unsorted since the compare.
    int sortColumn(int list) const { return list >= 0 && list < 4 ? m_sortColumn[list] : -1; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void applyOrder(const std::vector<int64_t> &order);

    TCompareWork &m_work;
    int m_list = 0;
    int m_sortColumn[4] = {-1, -1, -1, -1};
    TItemTextContext m_texts;
};
