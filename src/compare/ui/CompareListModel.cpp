// The compare list model.
#include "compare/ui/CompareListModel.h"

#include "compare/CompareList.h"
#include "widgets/ui/Icons.h"

#include <QFile>
#include <QIcon>

TCompareListModel::TCompareListModel(TCompareWork &work, QObject *parent) : QAbstractTableModel(parent), m_work(work)
{
}

void TCompareListModel::setList(int list)
{
    beginResetModel();
    m_list = list >= 0 && list < m_work.listCount() ? list : 0;
    endResetModel();
}

void TCompareListModel::setTextContext(const TItemTextContext &context)
{
    m_texts = context;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, kCompareColumns - 1));
}

TItemRec *TCompareListModel::recordOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return CompareRecordAt(m_work, m_list, index.row());
}

const TMediaFileEntry *TCompareListModel::newFileOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || m_list != 0)
        return nullptr;
    return CompareNewFileAt(m_work, index.row());
}

void TCompareListModel::applyOrder(const std::vector<int64_t> &order)
{
    // order maps new rows to old ones; persistent indexes follow their entries.
    std::vector<int> newRowOf(order.size());
    for (size_t to = 0; to < order.size(); ++to)
        newRowOf[size_t(order[to])] = int(to);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &i : from)
        to << (i.row() < int(newRowOf.size()) ? index(newRowOf[size_t(i.row())], i.column()) : QModelIndex());
    changePersistentIndexList(from, to);
}

void TCompareListModel::clickColumn(int column)
{
    if (column < 0 || column >= kCompareColumns)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int64_t> order;
    if (m_sortColumn[m_list] == column) {
        order = ReverseCompareList(m_work, m_list);
    } else {
        order = SortCompareList(m_work, m_list, column, m_texts);
        m_sortColumn[m_list] = column;
    }
    applyOrder(order);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int TCompareListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_work.count(m_list));
}

int TCompareListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kCompareColumns;
}

QVariant TCompareListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this || index.row() >= rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return CompareCellText(m_work, m_list, index.row(), index.column(), m_texts);
    case Qt::DecorationRole:
        if (index.column() != ccName)
            return {};
        if (TItemRec *rec = recordOf(index))
            return RecordIcon(rec);
        if (const TMediaFileEntry *e = newFileOf(index))
            return FileTypes().iconFor(QFile::decodeName(e->Name));
        return {};
    case Qt::TextAlignmentRole:
        return index.column() == ccSize ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    default:
        return {};
    }
}

QVariant TCompareListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kCompareColumns)
        return {};
    if (role == Qt::DisplayRole)
        return CompareColumnCaptions().value(section);
    if (role == Qt::TextAlignmentRole && section == ccSize)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags TCompareListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
