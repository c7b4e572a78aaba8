// Tests of the compare window's core pieces: which item a compare command
// compares, and the check's own choice of catalogs and disks, over the
// sample catalog built in memory.
#include "compare/CheckScope.h"
#include "compare/CompareList.h"

#include "TestCatalogs.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testcat;

namespace {

class CompareListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_catalog = BuildForest(m_forest, SampleCatalog());
        LoadEverything(m_catalog);
        m_disk = m_catalog->child(0);
    }
    void TearDown() override
    {
        while (!m_forest.roots().empty())
            DeleteCatalog(m_forest, m_forest.roots().front());
    }
    // A node below the first disk by its texts.
    TTreeNode *at(std::initializer_list<const char *> path) const
    {
        TTreeNode *node = m_disk;
        for (const char *name : path) {
            TTreeNode *next = nullptr;
            for (TTreeNode *child : node->children())
                if (child->text() == name)
                    next = child;
            if (!next)
                return nullptr;
            node = next;
        }
        return node;
    }
    TFileRec *fileIn(TTreeNode *node) const { return NodeRec(node)->Next; }

    TForest m_forest;
    TTreeNode *m_catalog = nullptr;
    TTreeNode *m_disk = nullptr;
};

TEST_F(CompareListTest, TheCommandComparesADiskOrAPlainFolder)
{
    TTreeNode *alpha1 = at({"Alpha", "Alpha1"});
    TTreeNode *pack = at({"pack.zip"});
    ASSERT_NE(alpha1, nullptr);
    ASSERT_NE(pack, nullptr);
    struct Case {
        const char *what;
        std::function<TItemRec *()> rec;
        TTreeNode *selected;
        bool prevRow;
        TTreeNode *expected;
    };
    const std::vector<Case> cases = {
        {"the tree's disk", [] { return nullptr; }, m_disk, false, m_disk},
        {"the tree's folder", [] { return nullptr; }, alpha1, false, alpha1},
        {"the tree's compressed file: its folder", [] { return nullptr; }, pack, false, m_disk},
        {"the tree's catalog: nothing", [] { return nullptr; }, m_catalog, false, nullptr},
        {"a focused file: its folder", [&] { return fileIn(alpha1); }, m_disk, false, alpha1},
        {"a focused folder row", [&] { return NodeRec(alpha1); }, m_disk, false, alpha1},
        {"a focused compressed file row", [&] { return NodeRec(pack); }, m_disk, false, m_disk},
        {"a member inside the compressed file", [&] { return fileIn(pack); }, pack, false, m_disk},
        {"the row one level up", [&] { return NodeRec(m_disk); }, alpha1, true, alpha1->parent()},
        {"a disk row of the catalog's list", [&] { return NodeRec(m_disk); }, m_catalog, false, m_disk},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CompareTargetNode(c.rec(), c.selected, c.prevRow), c.expected);
    }
}

// Extract needs a selected member of a compressed file whose kind the
// extraction takes members out of, and the medium.
TEST_F(CompareListTest, ExtractNeedsAMemberOfAnExtractableArchive)
{
    TTreeNode *alpha1 = at({"Alpha", "Alpha1"});
    TTreeNode *pack = at({"pack.zip"});
    ASSERT_NE(alpha1, nullptr);
    ASSERT_NE(pack, nullptr);
    TCompareWork work;
    const auto allowed = [&](int list, std::vector<TItemRec *> selected) {
        return CompareCommandAllowed(TCompareCommand::Extract, work, list, selected.front(), selected);
    };
    EXPECT_TRUE(allowed(clSame, {fileIn(pack)}));
    EXPECT_TRUE(allowed(clSame, {fileIn(alpha1), fileIn(pack)}));
    EXPECT_FALSE(allowed(clDeleted, {fileIn(pack)})) << "a deleted member is not on the medium";
    EXPECT_FALSE(allowed(clSame, {fileIn(alpha1)}));
    EXPECT_FALSE(allowed(clSame, {NodeRec(pack)})) << "the compressed file itself is no member";
    // The same member in a kind of archive that is only listed.
    pack->setText("pack.ha");
    EXPECT_FALSE(allowed(clSame, {fileIn(pack)}));
    pack->setText("pack.zip");
}

TEST_F(CompareListTest, CheckScopeStartsWithTheSelectedCatalogAndLeavesTheRecordsAlone)
{
    HandCatalog other = SampleCatalog();
    other.name = "Other";
    TTreeNode *second = BuildForest(m_forest, other);
    TTreeNode *photos = m_catalog->child(1);
    const uint8_t kindBefore = NodeRec(photos)->KindFlags;

    TCheckScope scope(m_forest, at({"Alpha", "Alpha1"}));
    EXPECT_EQ(scope.catalogs(), (std::vector<TTreeNode *>{m_catalog, second}));
    struct Step {
        const char *what;
        std::function<void()> act;
        ScopeState first, second, photos;
        std::vector<TTreeNode *> nodes;
        bool any;
    };
    const std::vector<Step> steps = {
        {"start", [] {}, ssIncluded, ssExcluded, ssIncluded, {m_catalog}, true},
        {"one disk out", [&] { scope.toggle(photos); }, ssPartial, ssExcluded, ssExcluded, {m_disk}, true},
        {"partial catalog clicked: all in", [&] { scope.toggle(m_catalog); }, ssIncluded, ssExcluded, ssIncluded,
         {m_catalog}, true},
        {"exclude all", [&] { scope.includeAll(false); }, ssExcluded, ssExcluded, ssExcluded, {}, false},
        {"a disk of the other", [&] { scope.toggle(second->child(0)); }, ssExcluded, ssPartial, ssExcluded,
         {second->child(0)}, true},
        {"include all", [&] { scope.includeAll(true); }, ssIncluded, ssIncluded, ssIncluded, {m_catalog, second},
         true},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        EXPECT_EQ(scope.stateOf(m_catalog), s.first);
        EXPECT_EQ(scope.stateOf(second), s.second);
        EXPECT_EQ(scope.stateOf(photos), s.photos);
        EXPECT_EQ(scope.nodes(), s.nodes);
        EXPECT_EQ(scope.anyIncluded(), s.any);
        EXPECT_EQ(NodeRec(photos)->KindFlags, kindBefore);
    }
}

} // namespace
