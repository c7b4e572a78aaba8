// The choice of catalogs and disks a check of files looks in. It has the
// states and toggling of the search's scope (search/Scope.h) but is kept
// here, for one check, and never written into the records: the search's
// own choice stays as the user left it.
#pragma once

#include "search/Scope.h"

#include <unordered_set>
#include <vector>

class TForest;
class TTreeNode;

class TCheckScope
{
public:
    // Every catalog of forest with disks; the disks of the catalog holding
    // selected (any node of it; null: none) start included, all others excluded.
    TCheckScope(TForest &forest, const TTreeNode *selected);

    // The catalogs with at least one disk, in tree order.
    const std::vector<TTreeNode *> &catalogs() const { return m_catalogs; }
    // A disk's state; a catalog's from its disks (partly when some are in).
    ScopeState stateOf(const TTreeNode *catalogOrDisk) const;
    // A click on a node's state image: included becomes excluded, anything
    // else included; a catalog's disks follow it.
    void toggle(const TTreeNode *catalogOrDisk);
    // "&Include All" (true) and "E&xclude All".
    void includeAll(bool include);
    // "Search" is enabled while some catalog is not fully excluded.
    bool anyIncluded() const { return !m_included.empty(); }
    // What CheckFilesToCatalog takes: a fully included catalog as itself,
    // otherwise its included disks, in tree order.
    std::vector<TTreeNode *> nodes() const;

private:
    std::vector<TTreeNode *> m_catalogs;
    std::unordered_set<const TTreeNode *> m_included;   // disks
};
