// The check's own choice of catalogs and disks.
#include "compare/CheckScope.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"

namespace {

std::vector<TTreeNode *> disksOf(const TTreeNode *catalog)
{
    std::vector<TTreeNode *> disks;
    for (TTreeNode *child : catalog->children())
        if (NodeIs(child, rkDisk))
            disks.push_back(child);
    return disks;
}

} // namespace

TCheckScope::TCheckScope(TForest &forest, const TTreeNode *selected)
{
    const TTreeNode *selectedCatalog = selected;
    while (selectedCatalog && selectedCatalog->parent())
        selectedCatalog = selectedCatalog->parent();
    for (TTreeNode *root : forest.roots()) {
        if (!NodeIs(root, rkCatalog))
            continue;
        const std::vector<TTreeNode *> disks = disksOf(root);
        if (disks.empty())
            continue;
        m_catalogs.push_back(root);
        if (root == selectedCatalog)
            m_included.insert(disks.begin(), disks.end());
    }
}

ScopeState TCheckScope::stateOf(const TTreeNode *node) const
{
    if (NodeIs(node, rkDisk))
        return m_included.count(node) ? ssIncluded : ssExcluded;
    if (!NodeIs(node, rkCatalog))
        return ssExcluded;
    int in = 0, all = 0;
    for (const TTreeNode *disk : disksOf(node)) {
        ++all;
        in += m_included.count(disk) ? 1 : 0;
    }
    if (in == 0)
        return ssExcluded;
    return in == all ? ssIncluded : ssPartial;
}

void TCheckScope::toggle(const TTreeNode *node)
{
    const bool include = stateOf(node) != ssIncluded;
    std::vector<TTreeNode *> disks;
    if (NodeIs(node, rkCatalog))
        disks = disksOf(node);
    else if (NodeIs(node, rkDisk))
        disks.push_back(const_cast<TTreeNode *>(node));
    for (TTreeNode *disk : disks) {
        if (include)
            m_included.insert(disk);
        else
            m_included.erase(disk);
    }
}

void TCheckScope::includeAll(bool include)
{
    m_included.clear();
    if (!include)
        return;
    for (const TTreeNode *catalog : m_catalogs)
        for (TTreeNode *disk : disksOf(catalog))
            m_included.insert(disk);
}

std::vector<TTreeNode *> TCheckScope::nodes() const
{
    std::vector<TTreeNode *> out;
    for (TTreeNode *catalog : m_catalogs) {
        const ScopeState state = stateOf(catalog);
        if (state == ssIncluded) {
            out.push_back(catalog);
        } else if (state == ssPartial) {
            for (TTreeNode *disk : disksOf(catalog))
                if (m_included.count(disk))
                    out.push_back(disk);
        }
    }
    return out;
}
