// The catalog tree model: indexes over forest nodes, change notices turned
// into the model's signals, lazy folder levels, renaming and disk drags.
#include "browser/ui/CatalogTreeModel.h"

#include "browser/Utils.h"
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/LoadSave.h"
#include "catalog/ReadAhead.h"
#include "platform/Texts.h"
#include "widgets/ui/Icons.h"
#include "widgets/ui/ItemDrag.h"

#include <QDataStream>
#include <QFont>
#include <QIODevice>
#include <QMimeData>

#include <algorithm>

const QString TCatalogTreeModel::kDiskMimeType = QStringLiteral("application/x-quillon-disk-nodes");

namespace {

// A node whose next level is still in the catalog file.
bool levelUnread(const TTreeNode *node)
{
    const TItemRec *rec = node ? node->data() : nullptr;
    if (!rec)
        return false;
    if (ItemIs(rec->KindFlags, rkFolder))
        return static_cast<const TFolderRec *>(rec)->SubOffset > 0;
    if (ItemIs(rec->KindFlags, rkDisk))
        return !static_cast<const TDiskRec *>(rec)->SubfoldersRead;
    return false;
}

} // namespace

TCatalogTreeModel::TCatalogTreeModel(TForest &forest, QObject *parent) : QAbstractItemModel(parent), m_forest(forest)
{
    m_forest.addObserver(this);
}

TCatalogTreeModel::~TCatalogTreeModel()
{
    m_forest.removeObserver(this);
}

TTreeNode *TCatalogTreeModel::nodeOf(const QModelIndex &index)
{
    return index.isValid() ? static_cast<TTreeNode *>(index.internalPointer()) : nullptr;
}

const std::vector<TTreeNode *> &TCatalogTreeModel::siblings(TTreeNode *parent) const
{
    return parent ? parent->children() : m_forest.roots();
}

TTreeNode *TCatalogTreeModel::childAt(TTreeNode *parent, int row) const
{
    if (m_pending && parent == m_pendingParent && row >= m_pendingRow)
        ++row;
    const auto &list = siblings(parent);
    return row >= 0 && size_t(row) < list.size() ? list[size_t(row)] : nullptr;
}

int TCatalogTreeModel::rowOf(TTreeNode *node) const
{
    const int row = node->index();
    if (m_pending && node->parent() == m_pendingParent && row > m_pendingRow)
        return row - 1;
    return row;
}

QModelIndex TCatalogTreeModel::indexOf(TTreeNode *node) const
{
    if (!node || node == m_pending)
        return {};
    const int row = rowOf(node);
    return row < 0 ? QModelIndex() : createIndex(row, 0, node);
}

QModelIndex TCatalogTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0 || (parent.isValid() && parent.column() != 0))
        return {};
    TTreeNode *child = childAt(nodeOf(parent), row);
    if (!child || row >= rowCount(parent))
        return {};
    return createIndex(row, 0, child);
}

QModelIndex TCatalogTreeModel::parent(const QModelIndex &child) const
{
    TTreeNode *node = nodeOf(child);
    return node ? indexOf(node->parent()) : QModelIndex();
}

int TCatalogTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    TTreeNode *node = nodeOf(parent);
    const int n = int(siblings(node).size());
    return m_pending && node == m_pendingParent ? n - 1 : n;
}

int TCatalogTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool TCatalogTreeModel::hasChildren(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return rowCount(parent) > 0;
    if (parent.column() != 0)
        return false;
    return rowCount(parent) > 0 || levelUnread(nodeOf(parent));
}

QVariant TCatalogTreeModel::data(const QModelIndex &index, int role) const
{
    TTreeNode *node = nodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return DecodeStored(node->text());
    case Qt::DecorationRole:
        return TreeIcon(node->imageIndex(), node->selectedIndex());
    case Qt::FontRole:
        if (node->bold()) {
            QFont font;
            font.setBold(true);
            return font;
        }
        return {};
    case Qt::ToolTipRole: {
        if (!m_descTips)
            return {};
        TItemRec *rec = node->data();
        const char *desc = nullptr;
        if (const TCatalogRec *catalog = AsCatalog(rec))
            desc = catalog->Desc;
        else if (const TDiskRec *disk = AsDisk(rec))
            desc = disk->Desc;
        else if (const TFolderRec *folder = AsFolder(rec))
            desc = folder->Desc;
        const QString tip = DescriptionTip(DecodeStored(TextView(desc)));
        return tip.isEmpty() ? QVariant() : QVariant(PlainLineBreaks(tip));
    }
    default:
        return {};
    }
}

bool TCatalogTreeModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    TTreeNode *node = nodeOf(index);
    if (role != Qt::EditRole || !node)
        return false;
    // An emptied text keeps the old name; an unchanged one changes nothing.
    const QByteArray text = CutAtCharBoundary(EncodeStored(value.toString()), kMaxCountedText).toByteArray();
    if (text.isEmpty() || text == node->text())
        return false;
    if (NodeIs(node, rkCatalog)) {
        node->setText(text);
        SetCatalogDirty(node, true);
    } else if (NodeIs(node, rkDisk)) {
        RenameDisk(node, text);
    } else {
        return false;
    }
    emit nodeRenamed(node);
    return true;
}

Qt::ItemFlags TCatalogTreeModel::flags(const QModelIndex &index) const
{
    TTreeNode *node = nodeOf(index);
    if (!node)
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // Disks move onto other catalogs; every node below a catalog can be
    // dragged onto the user list.
    if (NodeIs(node, rkCatalog))
        f |= Qt::ItemIsEditable | Qt::ItemIsDropEnabled;
    else
        f |= Qt::ItemIsDragEnabled;
    if (NodeIs(node, rkDisk))
        f |= Qt::ItemIsEditable;
    return f;
}

bool TCatalogTreeModel::canFetchMore(const QModelIndex &parent) const
{
    return levelUnread(nodeOf(parent));
}

void TCatalogTreeModel::fetchMore(const QModelIndex &parent)
{
    TTreeNode *node = nodeOf(parent);
    if (!levelUnread(node))
        return;
    emit levelLoading(node);
    QString failure;
    try {
        LoadSubfolders(node, false, false);
    } catch (const EStreamError &e) {
        failure = e.message();
    }
    emit levelLoaded(node, failure);
}

// ---- renaming notices and drags ------------------------------------------------

Qt::DropActions TCatalogTreeModel::supportedDropActions() const
{
    return Qt::MoveAction;
}

Qt::DropActions TCatalogTreeModel::supportedDragActions() const
{
    return Qt::MoveAction;
}

QStringList TCatalogTreeModel::mimeTypes() const
{
    return {kDiskMimeType};
}

QMimeData *TCatalogTreeModel::diskMimeData(const std::vector<TTreeNode *> &disks)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << quint32(disks.size());
    for (TTreeNode *disk : disks)
        out << quint64(reinterpret_cast<quintptr>(disk));
    auto *data = new QMimeData;
    data->setData(kDiskMimeType, bytes);
    return data;
}

QMimeData *TCatalogTreeModel::mimeData(const QModelIndexList &indexes) const
{
    std::vector<TTreeNode *> disks;
    bool items = false;
    for (const QModelIndex &i : indexes) {
        TTreeNode *node = nodeOf(i);
        if (NodeIs(node, rkDisk))
            disks.push_back(node);
        items = items || (node && !NodeIs(node, rkCatalog));
    }
    if (!items)
        return nullptr;
    QMimeData *data = disks.empty() ? new QMimeData : diskMimeData(disks);
    SetDragSource(data, TDragSource::MainTree);
    return data;
}

std::vector<TTreeNode *> TCatalogTreeModel::disksOf(const QMimeData *data) const
{
    std::vector<TTreeNode *> out;
    if (!data || !data->hasFormat(kDiskMimeType))
        return out;
    QDataStream in(data->data(kDiskMimeType));
    quint32 count = 0;
    in >> count;
    // Only addresses that are disks of this forest right now are trusted.
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        quint64 address = 0;
        in >> address;
        if (in.status() != QDataStream::Ok)
            break;
        for (TTreeNode *catalog : m_forest.roots())
            for (TTreeNode *disk : catalog->children())
                if (reinterpret_cast<quintptr>(disk) == address && NodeIs(disk, rkDisk) &&
                    std::find(out.begin(), out.end(), disk) == out.end())
                    out.push_back(disk);
    }
    return out;
}

bool TCatalogTreeModel::canDropDisks(const std::vector<TTreeNode *> &disks, TTreeNode *target) const
{
    if (disks.empty() || !NodeIs(target, rkCatalog))
        return false;
    for (TTreeNode *disk : disks)
        if (disk->parent() == target)
            return false;
    return true;
}

bool TCatalogTreeModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int, int,
                                        const QModelIndex &parent) const
{
    return action == Qt::MoveAction && canDropDisks(disksOf(data), nodeOf(parent));
}

bool TCatalogTreeModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                                     const QModelIndex &parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    emit disksDropped(disksOf(data), nodeOf(parent));
    return true;
}

// ---- forest notices -------------------------------------------------------------

void TCatalogTreeModel::nodeInserted(TTreeNode *node)
{
    // The forest has inserted the node already; the views must hear of it
    // before they can see it, so it stays hidden until the notice is out.
    TTreeNode *parent = node->parent();
    const int row = node->index();
    m_pending = node;
    m_pendingParent = parent;
    m_pendingRow = row;
    beginInsertRows(indexOf(parent), row, row);
    m_pending = nullptr;
    m_pendingParent = nullptr;
    m_pendingRow = -1;
    endInsertRows();
}

void TCatalogTreeModel::nodeAboutToBeRemoved(TTreeNode *node)
{
    const int row = rowOf(node);
    beginRemoveRows(indexOf(node->parent()), row, row);
}

void TCatalogTreeModel::nodeRemoved(TTreeNode *, int)
{
    endRemoveRows();
}

void TCatalogTreeModel::holdNodeChanges(bool hold)
{
    if (hold == m_holdChanges)
        return;
    m_holdChanges = hold;
    if (!hold && m_changedWhileHeld) {
        m_changedWhileHeld = false;
        // Nothing moved: the views only fetch what they show again.
        emit layoutAboutToBeChanged({}, QAbstractItemModel::NoLayoutChangeHint);
        emit layoutChanged({}, QAbstractItemModel::NoLayoutChangeHint);
    }
}

void TCatalogTreeModel::nodeChanged(TTreeNode *node)
{
    if (m_holdChanges) {
        m_changedWhileHeld = true;
        return;
    }
    const QModelIndex i = indexOf(node);
    if (i.isValid())
        emit dataChanged(i, i);
}

void TCatalogTreeModel::childrenReordered(TTreeNode *parent)
{
    const QModelIndex p = indexOf(parent);
    QList<QPersistentModelIndex> parents;
    if (p.isValid())
        parents << QPersistentModelIndex(p);
    emit layoutAboutToBeChanged(parents, QAbstractItemModel::VerticalSortHint);
    // The nodes are in their new places already: every persistent index
    // moves to where its node is now.
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &i : from) {
        TTreeNode *node = nodeOf(i);
        to << (node ? createIndex(rowOf(node), i.column(), node) : QModelIndex());
    }
    changePersistentIndexList(from, to);
    emit layoutChanged(parents, QAbstractItemModel::VerticalSortHint);
}
