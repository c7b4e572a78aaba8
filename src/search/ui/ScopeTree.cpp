// The scope tree: nodes built from the forest, state images from the
// records' rfInSearch through search/Scope.h, toggling through it.
#include "search/ui/ScopeTree.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "platform/Texts.h"
#include "widgets/ui/Icons.h"

namespace {

constexpr int kNodeRole = Qt::UserRole + 1;

Qt::CheckState checkStateOf(int state)
{
    switch (state) {
    case ssIncluded: return Qt::Checked;
    case ssPartial: return Qt::PartiallyChecked;
    default: return Qt::Unchecked;
    }
}

int stateOfCheck(Qt::CheckState check)
{
    switch (check) {
    case Qt::Checked: return ssIncluded;
    case Qt::PartiallyChecked: return ssPartial;
    default: return ssExcluded;
    }
}

} // namespace

TScopeTree::TScopeTree(TForest &forest, QWidget *parent) : QTreeWidget(parent), m_forest(forest)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemChanged, this, &TScopeTree::onItemChanged);
}

TTreeNode *TScopeTree::nodeOf(const QTreeWidgetItem *item)
{
    return item ? static_cast<TTreeNode *>(item->data(0, kNodeRole).value<void *>()) : nullptr;
}

void TScopeTree::forget()
{
    m_updating = true;
    clear();
    m_updating = false;
}

void TScopeTree::rebuild()
{
    m_updating = true;
    clear();
    if (!m_source.stateOf)
        RefreshScope(m_forest);
    for (TTreeNode *catalog : m_forest.roots()) {
        if (!NodeIs(catalog, rkCatalog) || catalog->childCount() == 0)
            continue;
        auto *top = new QTreeWidgetItem(this, {DecodeStored(catalog->text())});
        top->setIcon(0, TreeIcon(catalog->imageIndex(), catalog->selectedIndex()));
        top->setData(0, kNodeRole, QVariant::fromValue<void *>(catalog));
        top->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        for (TTreeNode *disk : catalog->children()) {
            if (!NodeIs(disk, rkDisk))
                continue;
            auto *child = new QTreeWidgetItem(top, {DecodeStored(disk->text())});
            child->setIcon(0, TreeIcon(disk->imageIndex(), disk->selectedIndex()));
            child->setData(0, kNodeRole, QVariant::fromValue<void *>(disk));
            child->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                            Qt::ItemNeverHasChildren);
        }
        top->setExpanded(true);
    }
    m_updating = false;
    showStates();
}

void TScopeTree::setState(QTreeWidgetItem *item, int state)
{
    if (item->checkState(0) != checkStateOf(state) || item->data(0, Qt::CheckStateRole).isNull())
        item->setCheckState(0, checkStateOf(state));
}

void TScopeTree::showStates()
{
    m_showingAll = false;
    m_updating = true;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = topLevelItem(i);
        const auto stateOf = [this](const TTreeNode *node) {
            return m_source.stateOf ? m_source.stateOf(node) : int(ScopeOf(node));
        };
        setState(top, stateOf(nodeOf(top)));
        for (int k = 0; k < top->childCount(); ++k)
            setState(top->child(k), stateOf(nodeOf(top->child(k))));
    }
    m_updating = false;
}

void TScopeTree::showEntireScope()
{
    m_showingAll = true;
    m_updating = true;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = topLevelItem(i);
        setState(top, ssIncluded);
        for (int k = 0; k < top->childCount(); ++k)
            setState(top->child(k), ssIncluded);
    }
    m_updating = false;
}

QTreeWidgetItem *TScopeTree::itemOf(const TTreeNode *node) const
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = topLevelItem(i);
        if (nodeOf(top) == node)
            return top;
        for (int k = 0; k < top->childCount(); ++k)
            if (nodeOf(top->child(k)) == node)
                return top->child(k);
    }
    return nullptr;
}

int TScopeTree::stateOf(const TTreeNode *node) const
{
    const QTreeWidgetItem *item = itemOf(node);
    return item ? stateOfCheck(item->checkState(0)) : 0;
}

void TScopeTree::toggle(TTreeNode *node)
{
    if (m_locked || !node || !itemOf(node))
        return;
    if (m_source.toggle)
        m_source.toggle(node);
    else
        ToggleScopeNode(node);
    showStates();
    emit scopeChanged();
}

void TScopeTree::onItemChanged(QTreeWidgetItem *item, int column)
{
    if (m_updating || column != 0)
        return;
    // The view has flipped the check box itself; the records decide what
    // every node shows, so the flip is replaced by the toggle's outcome.
    if (m_locked) {
        if (m_showingAll)
            showEntireScope();
        else
            showStates();
        return;
    }
    toggle(nodeOf(item));
}
