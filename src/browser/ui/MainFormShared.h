// What the main window's source files share and nothing else includes: the
// delay that holds the list back while the keyboard walks the tree, the
// kind tests on tree nodes, the count of the window's running operations,
// and the refusals of a running search.
#pragma once

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"

namespace mainform {

// How long keyboard navigation in the tree holds back the list.
inline constexpr int kListUpdateDelayMs = 500;
// How often held-back idle work (and a command deferred while the window is
// busy) looks again whether the dialog or operation that held it is gone
// (cheaper than a hook in every dialog).
inline constexpr int kIdleRetryMs = 250;

// Whether node is ancestor or lies below it.
inline bool isBelow(const TTreeNode *node, const TTreeNode *ancestor)
{
    for (const TTreeNode *n = node; n; n = n->parent())
        if (n == ancestor)
            return true;
    return false;
}

// How a running search refuses a command: the message's caption and text.
struct TSearchRefusal {
    const char *caption;
    QString (*text)();
};

// Moving disks between catalogs (dragging them in the tree, the catalog
// manager) changes the disk levels a search walks.
inline constexpr TSearchRefusal kMoveDiskRefusal = {"Can't move disk", [] {
    return QStringLiteral("Sorry, moving disks is not possible while search is in progress.\r"
                          "Please cancel the search or wait for search to finish.");
}};

// Counts one of the window's operations while it runs.
class OperationScope
{
public:
    explicit OperationScope(int &count) : m_count(count) { ++m_count; }
    ~OperationScope() { --m_count; }
    OperationScope(const OperationScope &) = delete;
    OperationScope &operator=(const OperationScope &) = delete;

private:
    int &m_count;
};

} // namespace mainform
