// The catalog tree as a Qt model: a view of the forest that follows the
// forest's change notices. Each index carries its node; folder levels that
// are not read yet are fetched (one level, no files) when a view expands
// them. Catalogs and disks take new names in place; disks can be dragged
// onto another catalog.
#pragma once

#include "catalog/Forest.h"

#include <QAbstractItemModel>
#include <QStringList>

#include <vector>

class TCatalogTreeModel : public QAbstractItemModel, private ForestObserver
{
    Q_OBJECT
public:
    // Descriptions as the nodes' tool-tips ("Show descriptions as tips").
    void setDescTips(bool on) { m_descTips = on; }
    // The drag data of disks: their node addresses, for this process only.
    static const QString kDiskMimeType;

    explicit TCatalogTreeModel(TForest &forest, QObject *parent = nullptr);
    ~TCatalogTreeModel() override;

    TForest &forest() const { return m_forest; }
    // The node of an index; null for the invisible root.
    static TTreeNode *nodeOf(const QModelIndex &index);
    QModelIndex indexOf(TTreeNode *node) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // While held (a search walks the forest), a changed node is not announced
    // on its own, which has each view repaint that node's row: the search's
    // folder levels would repaint the tree node by node. Releasing after
    // changes lays the views out once, which shows every change.
    void holdNodeChanges(bool hold);
    bool nodeChangesHeld() const { return m_holdChanges; }

    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

    // Drag data for disk nodes, and the disks named by drag data that are
    // still disks of this forest (stale or foreign addresses are dropped).
    static QMimeData *diskMimeData(const std::vector<TTreeNode *> &disks);
    std::vector<TTreeNode *> disksOf(const QMimeData *data) const;
    // Whether disks may be dropped on target: a catalog that is not the
    // catalog of any of them.
    bool canDropDisks(const std::vector<TTreeNode *> &disks, TTreeNode *target) const;

signals:
    // A catalog or disk took a new name in place (the catalog is marked modified).
    void nodeRenamed(TTreeNode *node);
    // A folder level is about to be read, and was read; failure carries the message.
    void levelLoading(TTreeNode *node);
    void levelLoaded(TTreeNode *node, const QString &failure);
    // Disks were dropped on a catalog; the window moves them.
    void disksDropped(const std::vector<TTreeNode *> &disks, TTreeNode *targetCatalog);

private:
    // ForestObserver
    void nodeInserted(TTreeNode *node) override;
    void nodeAboutToBeRemoved(TTreeNode *node) override;
    void nodeRemoved(TTreeNode *parent, int index) override;
    void nodeChanged(TTreeNode *node) override;
    void childrenReordered(TTreeNode *parent) override;

    const std::vector<TTreeNode *> &siblings(TTreeNode *parent) const;
    TTreeNode *childAt(TTreeNode *parent, int row) const;
    int rowOf(TTreeNode *node) const;

    TForest &m_forest;
    // A node the forest has inserted already but the views are told about
    // only now: hidden from rowCount and index until endInsertRows.
    bool m_holdChanges = false;
    bool m_changedWhileHeld = false;
    TTreeNode *m_pending = nullptr;
    TTreeNode *m_pendingParent = nullptr;
    int m_pendingRow = -1;
    bool m_descTips = true;
};
