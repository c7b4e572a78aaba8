// A found list of the search window as a Qt model: one row per record of the
// list, nine columns, texts and icons made per row as the main item list
// makes them. A search appends to the list on its own thread; the model
// shows only the rows it has caught up with (catchUp), so a view never asks
// for an entry that is not in place yet.
#pragma once

#include "browser/Utils.h"
#include "platform/Prompter.h"
#include "search/FoundList.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <functional>
#include <vector>

class TFoundListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TFoundListModel(QObject *parent = nullptr);

    // The list shown (not owned; null: no rows). Resets the rows.
    void setList(TFoundList *list);
    TFoundList *list() const { return m_list; }

    TItemRec *recordOf(const QModelIndex &index) const;
    // The row of a record, found through its position hint; invalid when the
    // record is not among the rows shown.
    QModelIndex indexOf(const TItemRec *rec, int column = 0) const;
    // Records of the rows, in row order (null rows left out).
    std::vector<TItemRec *> recordsOf(const QModelIndexList &rows) const;

    // What a drag of rows carries: made by the program around the window
    // from the dragged records (null: nothing to drag). mimeTypes lists what
    // it makes.
    using TDragData = std::function<QMimeData *(const std::vector<TItemRec *> &records)>;
    void setDragData(TDragData make, QStringList mimeTypes);

    // Texts depend on the sizes option; descriptions as tips on the tips option.
    void setTextContext(const TItemTextContext &context);
    void setDescriptionTips(bool on) { m_descTips = on; }

    // Raises the row count to the list's count (what a search appended).
    // Returns whether rows were added.
    bool catchUp();
    // Starts over from the list (after removals, a clear or a compaction).
    void resync();
    // Removes the entries at rows; returns the first removed row or -1.
    int removeRows(const std::vector<int> &rows);
    // Empties the list.
    void clearList();
    // A click on a column header: sorts or reverses (ClickFoundColumn),
    // keeping every selected and the current row on its record. False when
    // the user stopped the sort.
    bool clickColumn(int column, bool archivesAsFolders, const std::function<bool()> &stopKey = {},
                     Prompter *prompter = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    Qt::DropActions supportedDragActions() const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;

private:
    QString cellText(const TItemRec *rec, int column) const;

    TFoundList *m_list = nullptr;
    int m_rows = 0;
    TItemTextContext m_texts;
    bool m_descTips = true;
    TDragData m_dragData;
    QStringList m_dragTypes;
};

// The text kind of browser/Utils.h ItemText that a found-list column shows
// for files and folders; -1 for none.
int FoundColumnTextKind(int foundColumn, bool disk);
