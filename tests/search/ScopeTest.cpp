// The search scope kept in rfInSearch: the states a catalog shows, toggling,
// including and excluding all, and the disks a search walks.
#include "TestCatalogs.h"

#include "search/Scope.h"

#include <gtest/gtest.h>

using namespace testcat;

namespace {

class ScopeTest : public CatalogFixture
{
protected:
    ScopeTest()
    {
        HandCatalog two = SampleCatalog();
        two.name = "Second";
        m_first = BuildForest(m_forest, SampleCatalog());
        m_empty = NewCatalogNode(m_forest, "Empty");
        m_second = BuildForest(m_forest, two);
    }
    static bool inSearch(const TTreeNode *node) { return ItemIs(node->data()->KindFlags, rfInSearch); }

    TTreeNode *m_first = nullptr, *m_empty = nullptr, *m_second = nullptr;
};

TEST_F(ScopeTest, CatalogStateFollowsItsDisks)
{
    EXPECT_EQ(ScopeOf(m_first), ssIncluded);
    ToggleScopeNode(m_first->child(0));
    EXPECT_EQ(ScopeOf(m_first->child(0)), ssExcluded);
    EXPECT_EQ(ScopeOf(m_first), ssPartial);
    EXPECT_FALSE(inSearch(m_first));
    ToggleScopeNode(m_first->child(1));
    EXPECT_EQ(ScopeOf(m_first), ssExcluded);
    EXPECT_FALSE(inSearch(m_first));
    ToggleScopeNode(m_first->child(1));
    ToggleScopeNode(m_first->child(0));
    EXPECT_EQ(ScopeOf(m_first), ssIncluded);
    EXPECT_TRUE(inSearch(m_first));
}

TEST_F(ScopeTest, TogglingACatalogMovesAllItsDisks)
{
    ToggleScopeNode(m_first->child(0));   // partial
    ToggleScopeNode(m_first);             // anything but included becomes included
    EXPECT_EQ(ScopeOf(m_first), ssIncluded);
    EXPECT_TRUE(inSearch(m_first->child(0)));
    ToggleScopeNode(m_first);
    EXPECT_EQ(ScopeOf(m_first), ssExcluded);
    EXPECT_FALSE(inSearch(m_first->child(0)));
    EXPECT_FALSE(inSearch(m_first->child(1)));
    EXPECT_FALSE(inSearch(m_first));
}

TEST_F(ScopeTest, IncludeAndExcludeAll)
{
    EXPECT_FALSE(CanIncludeAll(m_forest));
    EXPECT_TRUE(CanExcludeAll(m_forest));
    ToggleScopeNode(m_second->child(1));
    EXPECT_TRUE(CanIncludeAll(m_forest));
    IncludeAll(m_forest, false);
    EXPECT_EQ(ScopeOf(m_first), ssExcluded);
    EXPECT_EQ(ScopeOf(m_second), ssExcluded);
    EXPECT_FALSE(CanExcludeAll(m_forest));
    EXPECT_TRUE(SearchScope(m_forest, false).empty());
    IncludeAll(m_forest, true);
    EXPECT_EQ(ScopeOf(m_second), ssIncluded);
    EXPECT_FALSE(CanIncludeAll(m_forest));
}

TEST_F(ScopeTest, RefreshSetsEachCatalogFromItsDisks)
{
    // Flags as a file may hold them: the catalog's own flag says nothing.
    SetItemFlag(m_first->data(), rfInSearch, true);
    SetItemFlag(m_first->child(1)->data(), rfInSearch, false);
    SetItemFlag(m_second->data(), rfInSearch, false);
    RefreshScope(m_forest);
    EXPECT_FALSE(inSearch(m_first));
    EXPECT_EQ(ScopeOf(m_first), ssPartial);
    EXPECT_TRUE(inSearch(m_second));
}

TEST_F(ScopeTest, SearchScopeListsIncludedDisksOfCatalogsWithDisks)
{
    ToggleScopeNode(m_first->child(0));
    const std::vector<TScopeDisks> limited = SearchScope(m_forest, false);
    ASSERT_EQ(limited.size(), 2u);
    EXPECT_EQ(limited[0].catalog, m_first);
    EXPECT_EQ(limited[0].disks, std::vector<TTreeNode *>({m_first->child(1)}));
    EXPECT_EQ(limited[1].catalog, m_second);
    EXPECT_EQ(limited[1].disks.size(), 2u);

    // The whole scope: every disk of every catalog with disks, whatever the flags.
    IncludeAll(m_forest, false);
    const std::vector<TScopeDisks> whole = SearchScope(m_forest, true);
    ASSERT_EQ(whole.size(), 2u);
    EXPECT_EQ(whole[0].disks, std::vector<TTreeNode *>({m_first->child(0), m_first->child(1)}));
    EXPECT_EQ(whole[1].catalog, m_second);
}

} // namespace
