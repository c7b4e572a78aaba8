// The item list model: rows made on request from the record pointers, resets
// on refill, layout changes on sorting that keep the selection on its records.
#include "browser/ui/ItemListModel.h"

#include "browser/ui/CatalogTreeModel.h"
#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "platform/Texts.h"
#include "widgets/ui/Icons.h"
#include "widgets/ui/ItemDrag.h"

#include <QIcon>
#include <QMimeData>

QIcon ItemIcon(TItemRec *rec, const TItemList &list)
{
    if (rec && list.isPrevFolder(rec))
        return AppIcon(TAppImage::Back);
    return RecordIcon(rec);
}

TItemListModel::TItemListModel(TItemList &list, QObject *parent) : QAbstractTableModel(parent), m_list(list)
{
    m_shownSet = list.columnSet();
}

TItemRec *TItemListModel::recordOf(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this ? m_list.at(index.row()) : nullptr;
}

QModelIndex TItemListModel::indexOf(const TItemRec *rec, int column) const
{
    const int row = rec ? m_list.indexOf(rec) : -1;
    return row < 0 ? QModelIndex() : index(row, column);
}

bool TItemListModel::refill(TTreeNode *node, bool forced)
{
    if (!forced && node && node == m_list.displayedNode())
        return false;
    beginResetModel();
    if (forced)
        m_list.forget();
    m_list.fill(node);
    endResetModel();
    const TColumnSet set = m_list.columnSet();
    if (set != m_shownSet && set != TColumnSet::None) {
        m_shownSet = set;
        emit headerDataChanged(Qt::Horizontal, 0, kListColumns - 1);
    }
    return true;
}

void TItemListModel::clear()
{
    beginResetModel();
    m_list.clear();
    endResetModel();
}

bool TItemListModel::sortRows(bool full, const TStopKeyProbe &stopKey, Prompter *prompter)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    std::vector<const TItemRec *> records;
    records.reserve(size_t(from.size()));
    for (const QModelIndex &i : from)
        records.push_back(m_list.at(i.row()));
    bool done = true;
    if (full)
        done = m_list.sort(stopKey, prompter);
    else
        m_list.reverse();
    // Records are found again through one pass over the list.
    QHash<const TItemRec *, int> rows;
    rows.reserve(qsizetype(from.size()));
    for (const TItemRec *rec : records)
        if (rec)
            rows.insert(rec, -1);
    if (!rows.isEmpty())
        for (int r = 0; r < m_list.count(); ++r) {
            auto it = rows.find(m_list.at(r));
            if (it != rows.end())
                *it = r;
        }
    QModelIndexList to;
    to.reserve(from.size());
    for (qsizetype k = 0; k < from.size(); ++k) {
        const int row = records[size_t(k)] ? rows.value(records[size_t(k)], -1) : -1;
        to << (row < 0 ? QModelIndex() : index(row, from[k].column()));
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return done;
}

bool TItemListModel::removeRecord(const TItemRec *rec)
{
    const int row = m_list.indexOf(rec);
    if (row < 0)
        return false;
    beginRemoveRows({}, row, row);
    m_list.removeRecord(rec);
    endRemoveRows();
    return true;
}

void TItemListModel::setShowPrevFolder(bool on)
{
    if (on == m_list.showPrevFolder())
        return;
    beginResetModel();
    m_list.setShowPrevFolder(on);
    endResetModel();
}

void TItemListModel::refreshTexts()
{
    if (m_list.count() > 0)
        emit dataChanged(index(0, 0), index(m_list.count() - 1, kListColumns - 1));
}

int TItemListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_list.count();
}

int TItemListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kListColumns;
}

QVariant TItemListModel::data(const QModelIndex &index, int role) const
{
    TItemRec *rec = recordOf(index);
    if (!rec)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return m_list.text(index.row(), index.column());
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(ItemIcon(rec, m_list)) : QVariant();
    case Qt::TextAlignmentRole: {
        const auto &columns = ColumnsOf(m_list.columnSet());
        return size_t(index.column()) < columns.size() ? QVariant(int(columns[size_t(index.column())].alignment))
                                                       : QVariant();
    }
    case Qt::ToolTipRole: {
        if (!m_descTips || m_list.isPrevFolder(rec))
            return {};
        const QString tip = DescriptionTip(ItemText(rec, itDescription, true, m_list.textContext()));
        return tip.isEmpty() ? QVariant() : QVariant(PlainLineBreaks(tip));
    }
    default:
        return {};
    }
}

QVariant TItemListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kListColumns)
        return {};
    // Until something is shown the list has the files set (as the window starts).
    const TColumnSet set = m_list.columnSet() == TColumnSet::None ? TColumnSet::Files : m_list.columnSet();
    const TColumnInfo &column = ColumnsOf(set)[size_t(section)];
    if (role == Qt::DisplayRole)
        return column.caption;
    if (role == Qt::TextAlignmentRole)
        return int(column.alignment);
    return {};
}

bool TItemListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    TItemRec *rec = recordOf(index);
    if (role != Qt::EditRole || index.column() != 0 || !rec || !ItemIs(rec->KindFlags, rkDisk) || !rec->Node)
        return false;
    const QByteArray text = CutAtCharBoundary(EncodeStored(value.toString()), kMaxCountedText).toByteArray();
    if (text.isEmpty() || text == rec->Node->text())
        return false;
    RenameDisk(rec->Node, text);
    emit dataChanged(index, index);
    emit diskRenamed(rec->Node);
    return true;
}

Qt::ItemFlags TItemListModel::flags(const QModelIndex &index) const
{
    const TItemRec *rec = recordOf(index);
    if (!rec)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    // Every row but the one leading a level up can be dragged (disks onto
    // another catalog, anything onto the user list).
    if (!m_list.isPrevFolder(rec))
        f |= Qt::ItemIsDragEnabled;
    if (ItemIs(rec->KindFlags, rkDisk) && index.column() == 0)
        f |= Qt::ItemIsEditable;
    return f;
}

QModelIndexList TItemListModel::match(const QModelIndex &start, int role, const QVariant &value, int hits,
                                      Qt::MatchFlags flags) const
{
    const Qt::MatchFlags type = flags & Qt::MatchTypeMask;
    if (role == Qt::DisplayRole && hits == 1 && type == Qt::MatchStartsWith && (flags & Qt::MatchWrap) &&
        !(flags & Qt::MatchCaseSensitive) && start.isValid() && start.model() == this) {
        const int row = m_list.findItemByPrefix(value.toString(), start.row());
        return row < 0 ? QModelIndexList() : QModelIndexList{index(row, start.column())};
    }
    return QAbstractTableModel::match(start, role, value, hits, flags);
}

Qt::DropActions TItemListModel::supportedDragActions() const
{
    return Qt::MoveAction;
}

QStringList TItemListModel::mimeTypes() const
{
    return {TCatalogTreeModel::kDiskMimeType};
}

QMimeData *TItemListModel::mimeData(const QModelIndexList &indexes) const
{
    std::vector<TTreeNode *> disks;
    bool items = false;
    for (const QModelIndex &i : indexes) {
        TItemRec *rec = recordOf(i);
        if (!rec || m_list.isPrevFolder(rec))
            continue;
        items = true;
        if (ItemIs(rec->KindFlags, rkDisk) && rec->Node &&
            std::find(disks.begin(), disks.end(), rec->Node) == disks.end())
            disks.push_back(rec->Node);
    }
    if (!items)
        return nullptr;
    QMimeData *data = disks.empty() ? new QMimeData : TCatalogTreeModel::diskMimeData(disks);
    SetDragSource(data, TDragSource::MainList);
    return data;
}
