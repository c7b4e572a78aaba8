// The found-list model: rows from the record pointers of a TFoundList, cells
// from the item texts the main list shows, row counts raised behind the
// search's appends, layout changes on sorting that keep the selection on its
// records.
#include "search/ui/FoundListModel.h"

#include "catalog/CatalogRec.h"
#include "catalog/ResultLists.h"
#include "platform/Texts.h"
#include "widgets/ui/Icons.h"

#include <QIcon>

#include <algorithm>

int FoundColumnTextKind(int foundColumn, bool disk)
{
    if (disk) {
        // A disk's texts are laid out for the disk columns of the main list.
        switch (foundColumn) {
        case fcName: return itName;
        case fcSize: return itExtra11;       // capacity
        case fcDate: return itAttributes;    // the scan's date and time
        case fcMediaType: return itExtension;
        case fcLocation: return itExtra10;   // its catalog
        case fcDescription: return itDescription;
        default: return -1;
        }
    }
    switch (foundColumn) {
    case fcName: return itName;
    case fcExt: return itExtension;
    case fcSize: return itSize;
    case fcDate: return itDate;
    case fcTime: return itTime;
    case fcMediaName: return itDiskName;
    case fcMediaType: return itMediaType;
    case fcLocation: return itPath;
    case fcDescription: return itDescription;
    default: return -1;
    }
}

TFoundListModel::TFoundListModel(QObject *parent) : QAbstractTableModel(parent) {}

void TFoundListModel::setList(TFoundList *list)
{
    beginResetModel();
    m_list = list;
    m_rows = list ? list->count() : 0;
    endResetModel();
}

TItemRec *TFoundListModel::recordOf(const QModelIndex &index) const
{
    if (!m_list || !index.isValid() || index.model() != this || index.row() >= m_rows)
        return nullptr;
    // The list may have shrunk under the rows (records freed with a catalog)
    // until the owner resyncs.
    return index.row() < m_list->count() ? m_list->at(index.row()) : nullptr;
}

QModelIndex TFoundListModel::indexOf(const TItemRec *rec, int column) const
{
    if (!m_list || !rec)
        return {};
    const int row = FindByHint(*m_list, rec, HintOf(const_cast<TItemRec *>(rec), m_list->id()));
    return row < 0 || row >= m_rows ? QModelIndex() : index(row, column);
}

std::vector<TItemRec *> TFoundListModel::recordsOf(const QModelIndexList &rows) const
{
    std::vector<int> numbers;
    numbers.reserve(size_t(rows.size()));
    for (const QModelIndex &i : rows)
        if (i.isValid() && i.model() == this)
            numbers.push_back(i.row());
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<TItemRec *> records;
    records.reserve(numbers.size());
    for (int row : numbers)
        if (TItemRec *rec = recordOf(index(row, 0)))
            records.push_back(rec);
    return records;
}

void TFoundListModel::setTextContext(const TItemTextContext &context)
{
    m_texts = context;
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, kFoundColumns - 1));
}

bool TFoundListModel::catchUp()
{
    if (!m_list)
        return false;
    const int count = m_list->count();
    if (count < m_rows) {
        resync();
        return true;
    }
    if (count == m_rows)
        return false;
    beginInsertRows({}, m_rows, count - 1);
    m_rows = count;
    endInsertRows();
    return true;
}

void TFoundListModel::resync()
{
    beginResetModel();
    m_rows = m_list ? m_list->count() : 0;
    endResetModel();
}

int TFoundListModel::removeRows(const std::vector<int> &rows)
{
    if (!m_list || rows.empty())
        return -1;
    beginResetModel();
    const int first = m_list->remove(rows);
    m_rows = m_list->count();
    endResetModel();
    return first;
}

void TFoundListModel::clearList()
{
    beginResetModel();
    if (m_list)
        m_list->clear();
    m_rows = 0;
    endResetModel();
}

bool TFoundListModel::clickColumn(int column, bool archivesAsFolders, const std::function<bool()> &stopKey,
                                  Prompter *prompter)
{
    if (!m_list)
        return true;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    std::vector<const TItemRec *> records;
    records.reserve(size_t(from.size()));
    for (const QModelIndex &i : from)
        records.push_back(recordOf(i));
    const bool done = ClickFoundColumn(*m_list, column, archivesAsFolders, stopKey, prompter);
    m_rows = m_list->count();
    QModelIndexList to;
    to.reserve(from.size());
    for (qsizetype k = 0; k < from.size(); ++k) {
        const QModelIndex row = indexOf(records[size_t(k)]);
        to << (row.isValid() ? index(row.row(), from[k].column()) : QModelIndex());
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return done;
}

int TFoundListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TFoundListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kFoundColumns;
}

QString TFoundListModel::cellText(const TItemRec *rec, int column) const
{
    const int kind = FoundColumnTextKind(column, ItemIs(rec->KindFlags, rkDisk));
    return kind < 0 ? QString() : ItemText(rec, kind, false, m_texts);
}

QVariant TFoundListModel::data(const QModelIndex &index, int role) const
{
    TItemRec *rec = recordOf(index);
    if (!rec)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return cellText(rec, index.column());
    case Qt::DecorationRole:
        return index.column() == fcName ? QVariant(RecordIcon(rec)) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == fcSize ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    case Qt::ToolTipRole: {
        if (!m_descTips)
            return {};
        const QString desc = ItemText(rec, itDescription, true, m_texts);
        return desc.isEmpty() ? QVariant() : QVariant(desc);
    }
    default:
        return {};
    }
}

QVariant TFoundListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kFoundColumns)
        return {};
    if (role == Qt::DisplayRole)
        return FoundColumnCaptions().value(section);
    if (role == Qt::TextAlignmentRole && section == fcSize)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags TFoundListModel::flags(const QModelIndex &index) const
{
    if (!recordOf(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (m_dragData)
        f |= Qt::ItemIsDragEnabled;
    return f;
}

void TFoundListModel::setDragData(TDragData make, QStringList mimeTypes)
{
    m_dragData = std::move(make);
    m_dragTypes = std::move(mimeTypes);
}

Qt::DropActions TFoundListModel::supportedDragActions() const
{
    return m_dragData ? Qt::MoveAction : Qt::IgnoreAction;
}

QStringList TFoundListModel::mimeTypes() const
{
    return m_dragTypes;
}

QMimeData *TFoundListModel::mimeData(const QModelIndexList &indexes) const
{
    return m_dragData ? m_dragData(recordsOf(indexes)) : nullptr;
}
