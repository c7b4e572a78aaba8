// The search scope kept in the records' rfInSearch.
#include "search/Scope.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/RecordLock.h"

namespace {

bool isCatalogNode(const TTreeNode *node)
{
    return node && AsCatalog(node->data());
}

bool isDiskNode(const TTreeNode *node)
{
    return node && AsDisk(node->data());
}

bool hasDisk(const TTreeNode *catalog)
{
    for (const TTreeNode *child : catalog->children())
        if (isDiskNode(child))
            return true;
    return false;
}

void setInSearch(TTreeNode *node, bool on)
{
    if (TItemRec *rec = node ? node->data() : nullptr)
        SetItemFlag(rec, rfInSearch, on);
}

// A catalog's flag after its disks changed: set only when all are included.
void recomputeCatalog(TTreeNode *catalog)
{
    setInSearch(catalog, ScopeOf(catalog) == ssIncluded);
}

} // namespace

ScopeState ScopeOf(const TTreeNode *node)
{
    const TItemRec *rec = node ? node->data() : nullptr;
    if (!rec)
        return ssExcluded;
    if (!isCatalogNode(node))
        return ItemIs(rec->KindFlags, rfInSearch) ? ssIncluded : ssExcluded;
    int included = 0, excluded = 0;
    for (const TTreeNode *child : node->children()) {
        if (!isDiskNode(child))
            continue;
        if (ItemIs(child->data()->KindFlags, rfInSearch))
            ++included;
        else
            ++excluded;
    }
    if (included == 0 && excluded == 0)
        return ItemIs(rec->KindFlags, rfInSearch) ? ssIncluded : ssExcluded;
    if (excluded == 0)
        return ssIncluded;
    return included == 0 ? ssExcluded : ssPartial;
}

void RefreshScope(TForest &forest)
{
    for (TTreeNode *root : forest.roots()) {
        if (!isCatalogNode(root))
            continue;
        if (hasDisk(root))
            recomputeCatalog(root);
        else
            setInSearch(root, true);
    }
}

void ToggleScopeNode(TTreeNode *node)
{
    if (!node || !node->data())
        return;
    const bool include = ScopeOf(node) != ssIncluded;
    if (isCatalogNode(node)) {
        setInSearch(node, include);
        for (TTreeNode *child : node->children())
            if (isDiskNode(child))
                setInSearch(child, include);
    } else if (isDiskNode(node)) {
        setInSearch(node, include);
        if (TTreeNode *catalog = CatalogNodeOf(node))
            recomputeCatalog(catalog);
    }
}

void IncludeAll(TForest &forest, bool include)
{
    for (TTreeNode *root : forest.roots()) {
        if (!isCatalogNode(root))
            continue;
        setInSearch(root, include);
        for (TTreeNode *child : root->children())
            if (isDiskNode(child))
                setInSearch(child, include);
    }
}

static bool someCatalogNot(const TForest &forest, ScopeState state)
{
    for (const TTreeNode *root : forest.roots())
        if (isCatalogNode(root) && hasDisk(root) && ScopeOf(root) != state)
            return true;
    return false;
}

bool CanIncludeAll(const TForest &forest)
{
    return someCatalogNot(forest, ssIncluded);
}

bool CanExcludeAll(const TForest &forest)
{
    return someCatalogNot(forest, ssExcluded);
}

std::vector<TScopeDisks> SearchScope(TForest &forest, bool wholeScope)
{
    // A search worker asks too, while the tree's owner may be loading file
    // lists (which changes the kind bytes read here).
    TRecordReadScope reading;
    std::vector<TScopeDisks> scope;
    for (TTreeNode *root : forest.roots()) {
        if (!isCatalogNode(root))
            continue;
        TScopeDisks entry;
        entry.catalog = root;
        for (TTreeNode *child : root->children())
            if (isDiskNode(child) && (wholeScope || ItemIs(child->data()->KindFlags, rfInSearch)))
                entry.disks.push_back(child);
        if (!entry.disks.empty())
            scope.push_back(std::move(entry));
    }
    return scope;
}
