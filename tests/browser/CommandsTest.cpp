// The current item of a command and the enabling rules of every mask, on
// the sample catalog.
#include "browser/Commands.h"

#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"

#include "TestCatalogs.h"

#include <gtest/gtest.h>

using namespace testcat;

namespace {

class CommandsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_catalog = BuildForest(m_forest, SampleCatalog());
        m_disk = FindDisk(m_catalog, "Disk One");
        m_alpha = FindFolder(m_disk, "Alpha");
        m_pack = FindFolder(m_disk, "pack.zip");
        m_prev = NodeRec(FindFolder(m_disk, "Gamma"));   // stands for the list's "previous folder" row
    }
    void TearDown() override { DeleteCatalog(m_forest, m_catalog); }

    TForest m_forest;
    TTreeNode *m_catalog = nullptr, *m_disk = nullptr, *m_alpha = nullptr, *m_pack = nullptr;
    TItemRec *m_prev = nullptr;
};

TEST_F(CommandsTest, CurrentItem)
{
    TFileRec *readme = FindFile(m_disk, "readme.txt");
    struct Case {
        const char *what;
        TCommandSender sender;
        TItemRec *row;
        bool treeFocus;
        bool listFocus;
        TTreeNode *node;
        TFileRec *file;
        bool treeSide;
    };
    const Case cases[] = {
        {"tree menu", TCommandSender::TreeMenu, readme, false, true, m_disk, nullptr, true},
        {"toolbar, tree focused", TCommandSender::Global, readme, true, false, m_disk, nullptr, true},
        {"toolbar, no row", TCommandSender::Global, nullptr, false, false, m_disk, nullptr, true},
        {"toolbar, file row", TCommandSender::Global, readme, false, false, m_disk, readme, false},
        {"list menu, tree focused", TCommandSender::ListMenu, readme, true, false, m_disk, readme, false},
        {"folder row", TCommandSender::ListMenu, NodeRec(m_alpha), false, true, m_alpha, nullptr, false},
        {"previous folder row", TCommandSender::ListMenu, m_prev, false, true, m_catalog, nullptr, false},
        // The status bar's summary: the focused row only while the list has the focus.
        {"status bar, list focused", TCommandSender::StatusBar, readme, false, true, m_disk, readme, false},
        {"status bar, folder row", TCommandSender::StatusBar, NodeRec(m_alpha), false, true, m_alpha, nullptr, false},
        {"status bar, nothing focused", TCommandSender::StatusBar, readme, false, false, m_disk, nullptr, true},
        {"status bar, no row", TCommandSender::StatusBar, nullptr, false, true, m_disk, nullptr, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const TCurrentItem item = CurrentItem(c.sender, {m_disk, c.row, m_prev, c.treeFocus, c.listFocus});
        EXPECT_EQ(item.node, c.node);
        EXPECT_EQ(item.file, c.file);
        EXPECT_EQ(item.treeSide, c.treeSide);
    }
}

TEST_F(CommandsTest, ItemCommands)
{
    TFileRec *readme = FindFile(m_disk, "readme.txt");
    TFileRec *member = FindFile(m_pack, "m2.txt");
    struct Case {
        const char *what;
        TTreeNode *selected;
        TItemRec *row;   // focused and selected; null: the tree side
        bool inUserList;
        // back, export, explorer, compare, launch, view, add to list, category, extract
        std::array<bool, 9> states;
    };
    const Case cases[] = {
        {"catalog", m_catalog, nullptr, false, {false, false, false, false, false, false, false, false, false}},
        {"disk", m_disk, nullptr, false, {true, true, true, true, false, false, true, false, false}},
        {"folder in the user list", m_alpha, nullptr, true, {true, true, true, true, false, false, false, true, false}},
        {"compressed file", m_pack, nullptr, false, {true, true, true, false, true, false, true, true, true}},
        {"file row", m_disk, readme, false, {true, true, true, false, true, true, true, true, false}},
        {"member row", m_pack, member, false, {true, true, false, false, true, true, true, true, true}},
        {"previous folder row only", m_alpha, m_prev, false, {true, true, true, true, false, false, false, false, false}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TCommandInputs in;
        in.focus = {c.selected, c.row, m_prev, false};
        if (c.row)
            in.selectedRows = {c.row};
        in.inUserList = [&](const TItemRec *) { return c.inUserList; };
        const TCommandStates s = UpdateCommands(cmItemCommands, in);
        const std::array<bool, 9> got = {s.back, s.exportDescriptions, s.openExplorer, s.compare, s.launch,
                                         s.view, s.addToUserList, s.setCategory, s.extract};
        EXPECT_EQ(got, c.states);
    }
}

TEST_F(CommandsTest, MasksLeaveOtherStates)
{
    TCommandInputs in;
    in.focus = {m_catalog, nullptr, nullptr, true};
    in.catalogsOpen = 1;
    in.normalSearchRunning = true;
    in.listRows = 2;
    in.sortColumn = 4;
    in.viewStyle = 3;
    TCommandStates s = UpdateCommands(cmCatalogCommands, in);
    EXPECT_TRUE(s.catalogCommands);
    EXPECT_FALSE(s.scanDuplicates);
    EXPECT_EQ(s.renameCaption, QStringLiteral("&Rename Catalog"));
    EXPECT_TRUE(s.renameEnabled);
    EXPECT_FALSE(s.sortEnabled);   // not in the mask
    s = UpdateCommands(cmSortControls | cmViewStyles, in, s);
    EXPECT_TRUE(s.catalogCommands);
    EXPECT_TRUE(s.sortEnabled);
    EXPECT_EQ(s.pressedSortButton, -1);
    EXPECT_TRUE(s.viewStylesEnabled);
    EXPECT_EQ(s.checkedViewStyle, 3);
    in.busy = true;
    in.catalogsOpen = 0;
    EXPECT_TRUE(UpdateCommands(cmAllCommands, in, s).catalogCommands);   // busy: nothing changes
    in.busy = false;
    s = UpdateCommands(cmAllCommands, in, s);
    EXPECT_FALSE(s.catalogCommands);
    EXPECT_TRUE(s.hideSearchWindow);
}

} // namespace
