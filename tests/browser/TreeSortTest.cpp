// Tests of the tree's order: every level in memory follows the sort of its
// kind (disks by the catalog-level column, folders by the folder-level
// column, reversed or not), levels already in order are left alone (their
// views hear nothing), and a subtree can be sorted without the rest.
#include "browser/TreeSort.h"

#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include "GenCatalog.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

// Counts the reorder notices of a forest.
class ReorderCounter : public ForestObserver
{
public:
    explicit ReorderCounter(TForest &forest) : m_forest(forest) { m_forest.addObserver(this); }
    ~ReorderCounter() override { m_forest.removeObserver(this); }
    void childrenReordered(TTreeNode *) override { ++count; }
    int count = 0;

private:
    TForest &m_forest;
};

GenOptions shape(uint64_t seed)
{
    GenOptions o;
    o.seed = seed;
    o.disks = 5;
    o.depth = 2;
    o.fanOut = 4;
    o.filesPerFolder = 2;
    o.archivesPerDisk = 2;
    return o;
}

// A generated catalog whose levels are in the reverse of an order (as a
// scan or another program may have written them).
TTreeNode *scrambled(TForest &forest, const QByteArray &name, uint64_t seed, const TSortState &against)
{
    TTreeNode *catalog = GenerateCatalog(forest, name, shape(seed));
    TSortState reversed = against;
    reversed.reverse = !against.reverse;
    SortTreeLevels(forest, catalog, reversed);
    return catalog;
}

// Every level below node (node's own included) in the order of its kind.
void expectLevelsSorted(TTreeNode *node, const TSortState &sort, const TCompareContext &base)
{
    ASSERT_TRUE(TreeLevelSorted(node, sort, base)) << node->text().constData();
    TCompareContext context = base;
    context.column = sort.columnFor(node);
    context.reverse = sort.reverse;
    for (int i = 1; i < node->childCount(); ++i)
        ASSERT_LE(CompareItems(node->child(i - 1)->data(), node->child(i)->data(), context), 0)
            << node->text().constData() << " row " << i;
    for (TTreeNode *child : node->children())
        expectLevelsSorted(child, sort, base);
}

int levelsOutOfOrder(TTreeNode *node, const TSortState &sort, const TCompareContext &base)
{
    int n = TreeLevelSorted(node, sort, base) ? 0 : 1;
    for (TTreeNode *child : node->children())
        n += levelsOutOfOrder(child, sort, base);
    return n;
}

} // namespace

class TreeSortByColumns : public ::testing::TestWithParam<std::tuple<int, int, bool, bool>>
{
};

TEST_P(TreeSortByColumns, EveryLevelFollowsItsKind)
{
    const auto [catalogColumn, folderColumn, reverse, archivesAsFolders] = GetParam();
    TSortState sort;
    sort.catalogColumn = catalogColumn;
    sort.folderColumn = folderColumn;
    sort.reverse = reverse;
    TCompareContext base;
    base.archivesAsFolders = archivesAsFolders;
    TForest forest;
    TTreeNode *first = scrambled(forest, "First", 21, sort);
    TTreeNode *second = scrambled(forest, "Second", 22, sort);
    const int before = levelsOutOfOrder(first, sort, base) + levelsOutOfOrder(second, sort, base);
    ASSERT_GT(before, 0);

    ReorderCounter notices(forest);
    EXPECT_EQ(SortTreeLevels(forest, nullptr, sort, base), before);
    EXPECT_EQ(notices.count, before);
    expectLevelsSorted(first, sort, base);
    expectLevelsSorted(second, sort, base);

    // Sorted levels stay as they are, without a notice.
    EXPECT_EQ(SortTreeLevels(forest, nullptr, sort, base), 0);
    EXPECT_EQ(notices.count, before);
}

INSTANTIATE_TEST_SUITE_P(Columns, TreeSortByColumns,
                         ::testing::Values(std::make_tuple(1, 1, false, true), std::make_tuple(0, 0, false, true),
                                           std::make_tuple(0, 1, true, true), std::make_tuple(3, 2, false, true),
                                           std::make_tuple(2, 3, true, false), std::make_tuple(5, 0, false, false),
                                           std::make_tuple(4, 5, true, true), std::make_tuple(1, 6, false, true)));

TEST(TreeSort, ASubtreeAloneLeavesTheRest)
{
    TSortState byName;
    byName.catalogColumn = 0;
    byName.folderColumn = 0;
    TForest forest;
    TTreeNode *catalog = scrambled(forest, "Cat", 5, byName);
    TTreeNode *disk = nullptr;
    for (TTreeNode *d : catalog->children())
        if (levelsOutOfOrder(d, byName, {}) > 0)
            disk = d;
    ASSERT_NE(disk, nullptr);
    const int elsewhere = levelsOutOfOrder(catalog, byName, {}) - levelsOutOfOrder(disk, byName, {});
    ASSERT_GT(elsewhere, 0);

    SortTreeLevels(forest, disk, byName);
    expectLevelsSorted(disk, byName, {});
    EXPECT_EQ(levelsOutOfOrder(catalog, byName, {}), elsewhere);

    // A changed sort order: the same levels come into the new order.
    TSortState bySize = byName;
    bySize.folderColumn = 2;
    bySize.reverse = true;
    SortTreeLevels(forest, catalog, bySize);
    expectLevelsSorted(catalog, bySize, {});
}

TEST(TreeSort, OneLevelJustRead)
{
    const TSortState sort;   // by extension, as the window starts
    TForest forest;
    TTreeNode *catalog = scrambled(forest, "Cat", 9, sort);
    TTreeNode *disk = nullptr;
    for (TTreeNode *d : catalog->children())
        if (!TreeLevelSorted(d, sort))
            disk = d;
    ASSERT_NE(disk, nullptr);
    const int below = levelsOutOfOrder(disk, sort, {}) - 1;
    ReorderCounter notices(forest);
    EXPECT_TRUE(SortTreeLevel(disk, sort));
    EXPECT_TRUE(TreeLevelSorted(disk, sort));
    EXPECT_EQ(levelsOutOfOrder(disk, sort, {}), below);
    EXPECT_FALSE(SortTreeLevel(disk, sort));
    EXPECT_EQ(notices.count, 1);
}

TEST(TreeSort, OnlyTheLevelsOnShow)
{
    const TSortState sort;
    TForest forest;
    TTreeNode *catalog = scrambled(forest, "Cat", 13, sort);
    // On show: the catalog's disks and the first disk's folders; the other
    // disks are closed, and so is everything below the first disk's folders.
    TTreeNode *open = nullptr;
    for (TTreeNode *d : catalog->children())
        if (!open && !TreeLevelSorted(d, sort))
            open = d;
    ASSERT_NE(open, nullptr);
    const auto shown = [&](const TTreeNode *n) { return n == catalog || n == open; };
    int closedBefore = 0;
    for (TTreeNode *d : catalog->children())
        closedBefore += d == open ? levelsOutOfOrder(d, sort, {}) - 1 : levelsOutOfOrder(d, sort, {});
    ASSERT_GT(closedBefore, 0);

    SortTreeLevels(forest, nullptr, sort, {}, shown);
    EXPECT_TRUE(TreeLevelSorted(catalog, sort));
    EXPECT_TRUE(TreeLevelSorted(open, sort));
    int closedAfter = 0;
    for (TTreeNode *d : catalog->children())
        closedAfter += d == open ? levelsOutOfOrder(d, sort, {}) : levelsOutOfOrder(d, sort, {});
    EXPECT_EQ(closedAfter, closedBefore);

    // The node asked for is ordered even when it is not on show (it is
    // about to be), the levels below it only where they show.
    TTreeNode *closed = nullptr;
    for (TTreeNode *d : catalog->children())
        if (d != open && !TreeLevelSorted(d, sort))
            closed = d;
    ASSERT_NE(closed, nullptr);
    const int below = levelsOutOfOrder(closed, sort, {}) - 1;
    SortTreeLevels(forest, closed, sort, {}, shown);
    EXPECT_TRUE(TreeLevelSorted(closed, sort));
    EXPECT_EQ(levelsOutOfOrder(closed, sort, {}), below);
}

TEST(TreeSort, LevelsOfOneChildOrNoneNeedNothing)
{
    TForest forest;
    TTreeNode *catalog = NewCatalogNode(forest, "Cat");
    TTreeNode *disk = AddDiskNode(catalog, "Only");
    AddFolderNode(disk, "lonely");
    ReorderCounter notices(forest);
    EXPECT_EQ(SortTreeLevels(forest, nullptr, TSortState{}), 0);
    EXPECT_EQ(SortTreeLevels(forest, catalog, TSortState{}), 0);
    EXPECT_EQ(notices.count, 0);
    EXPECT_TRUE(TreeLevelSorted(nullptr, TSortState{}));
}
