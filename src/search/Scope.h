// Which disks a search walks: the "Limit Search" choice kept in the records
// as rfInSearch, the three states a catalog shows (all, none or some of its
// disks included), toggling and "Include All" / "Exclude All".
#pragma once

#include <vector>

class TForest;
class TTreeNode;

enum ScopeState : int { ssExcluded = 1, ssIncluded = 2, ssPartial = 3 };

// A disk's state from its rfInSearch; a catalog's from its disks.
ScopeState ScopeOf(const TTreeNode *catalogOrDisk);
// Sets the rfInSearch of each catalog from its disks (clear when partial):
// what rebuilding the scope tree does.
void RefreshScope(TForest &forest);
// A click on a node's state image: included becomes excluded, anything else
// included; a catalog's disks follow it, a disk's catalog is recomputed.
void ToggleScopeNode(TTreeNode *catalogOrDisk);
// Every catalog and disk included (true) or excluded.
void IncludeAll(TForest &forest, bool include);
// "Include All" / "Exclude All" enabled: some catalog not included / not excluded.
bool CanIncludeAll(const TForest &forest);
bool CanExcludeAll(const TForest &forest);

// The catalogs (with at least one disk) and disks a search walks, in tree
// order: every one with wholeScope ("Limit search" off), else the included ones.
struct TScopeDisks {
    TTreeNode *catalog = nullptr;
    std::vector<TTreeNode *> disks;
};
std::vector<TScopeDisks> SearchScope(TForest &forest, bool wholeScope);
