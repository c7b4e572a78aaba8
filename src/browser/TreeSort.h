// The order of the catalog tree: every level that has been read follows the
// sort of the main list, the disks of a catalog by the catalog-level column
// and the folders of a disk or folder by the folder-level column. Levels
// already in order are left alone, so their views hear of no change.
#pragma once

#include "browser/ItemList.h"

#include <functional>

class TForest;
class TTreeNode;

// Whether a node's children are on show (expanded in a view).
using TLevelShown = std::function<bool(const TTreeNode *)>;

// Orders node's children and the children of the nodes below it (levels in
// memory; nothing is read from the catalog file). A null node stands for
// every catalog of forest. With shown, only the levels on show are ordered
// (node's own always), and nothing below a level that is not: the rest is
// for when it shows (a large tree in memory costs nothing then). base
// supplies the options (archives as folders). Returns the number of levels
// whose order changed.
int SortTreeLevels(TForest &forest, TTreeNode *node, const TSortState &sort, const TCompareContext &base = {},
                   const TLevelShown &shown = {});

// Orders node's children alone (a level just read); false when they were in
// order already.
bool SortTreeLevel(TTreeNode *node, const TSortState &sort, const TCompareContext &base = {});

// Whether node's children are in the order of their level.
bool TreeLevelSorted(const TTreeNode *node, const TSortState &sort, const TCompareContext &base = {});
