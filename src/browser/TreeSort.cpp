// Sorting the tree's levels in memory: a check of each level with one
// comparer per level kind (its collation keys serve every level of that
// kind), and SortTreeChildren for the levels out of order.
#include "browser/TreeSort.h"

#include "catalog/Forest.h"

#include <algorithm>

namespace {

TCompareContext levelContext(const TTreeNode *node, const TSortState &sort, const TCompareContext &base)
{
    TCompareContext context = base;
    context.column = sort.columnFor(node);
    context.reverse = sort.reverse;
    context.prevFolder = nullptr;
    return context;
}

bool inOrder(const TTreeNode *node, TItemComparer &comparer)
{
    const std::vector<TTreeNode *> &children = node->children();
    return std::is_sorted(children.begin(), children.end(), [&](const TTreeNode *a, const TTreeNode *b) {
        const TItemRec *ra = a->data(), *rb = b->data();
        return ra && rb && comparer.compare(ra, rb) < 0;
    });
}

} // namespace

bool TreeLevelSorted(const TTreeNode *node, const TSortState &sort, const TCompareContext &base)
{
    if (!node || node->childCount() < 2)
        return true;
    TItemComparer comparer(levelContext(node, sort, base));
    return inOrder(node, comparer);
}

bool SortTreeLevel(TTreeNode *node, const TSortState &sort, const TCompareContext &base)
{
    if (TreeLevelSorted(node, sort, base))
        return false;
    SortTreeChildren(node, sort, base);
    return true;
}

int SortTreeLevels(TForest &forest, TTreeNode *node, const TSortState &sort, const TCompareContext &base,
                   const TLevelShown &shown)
{
    // One comparer for the disk levels, one for the folder levels (a
    // level's context differs only by its column).
    TCompareContext folderContext = base;
    folderContext.column = sort.folderColumn;
    folderContext.reverse = sort.reverse;
    folderContext.prevFolder = nullptr;
    TCompareContext diskContext = folderContext;
    diskContext.column = sort.catalogColumn;
    TItemComparer folders(folderContext);
    TItemComparer diskLevels(diskContext);

    std::vector<TTreeNode *> stack;
    if (node)
        stack.push_back(node);
    else
        stack.assign(forest.roots().begin(), forest.roots().end());
    int changed = 0;
    while (!stack.empty()) {
        TTreeNode *n = stack.back();
        stack.pop_back();
        if (n != node && shown && !shown(n))
            continue;
        if (n->childCount() >= 2 && !inOrder(n, NodeIs(n, rkCatalog) ? diskLevels : folders)) {
            SortTreeChildren(n, sort, base);
            ++changed;
        }
        for (TTreeNode *child : n->children())
            if (child->childCount() > 0)
                stack.push_back(child);
    }
    return changed;
}
