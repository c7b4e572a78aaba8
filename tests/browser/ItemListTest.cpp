// Tests of the main window's item list: rows for a catalog, a disk and a
// folder, the previous-folder row and its option, lazy reading before a
// fill, the displayed node, sorting and reversing, type-ahead, the sort
// state byte, the column sets and the order of a node's children.
#include "browser/ItemList.h"

#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include "TestCatalogs.h"

#include <gtest/gtest.h>

namespace {

using Names = std::vector<QString>;

Names rowNames(const TItemList &list)
{
    Names out;
    for (int i = 0; i < list.count(); ++i)
        out.push_back(list.text(i, itName));
    return out;
}

// A catalog in memory: two disks, one with folders and files.
struct Tree {
    TForest forest;
    TTreeNode *catalog = NewCatalogNode(forest, "Cat");
    TTreeNode *disk = AddDiskNode(catalog, "Disk");
    TTreeNode *other = AddDiskNode(catalog, "Another");
    TTreeNode *docs = AddFolderNode(disk, "docs");
    TTreeNode *empty = AddFolderNode(disk, "empty");
    TTreeNode *sub = AddFolderNode(docs, "sub");

    Tree()
    {
        file(disk, "root.txt", 5);
        file(docs, "Readme.txt", 300);
        file(docs, "a.bin", 100);
        file(docs, "README", 200);
        file(docs, "zeta.txt", 50);
        AsFolder(docs->data())->Modified = 0x2F215C3Eu;
        AsFolder(docs->data())->TotalSize = 650 * 10000;
        AsFolder(sub->data())->TotalSize = 1 * 10000;
        AsDisk(disk->data())->MediaType = 10;
        AsDisk(other->data())->MediaType = 2;
    }
    TFileRec *file(TTreeNode *node, const char *name, int64_t size)
    {
        TFileRec *f = AppendFile(node, name);
        f->Size = size;
        return f;
    }
};

TEST(SortState, ByteLayout)
{
    const TSortState defaults;
    EXPECT_EQ(defaults.catalogColumn, 1);
    EXPECT_EQ(defaults.folderColumn, 1);
    EXPECT_FALSE(defaults.reverse);
    EXPECT_EQ(defaults.toByte(), 0x09);

    TSortState s;
    s.catalogColumn = 5;
    s.folderColumn = 2;
    s.reverse = true;
    EXPECT_EQ(s.toByte(), 0x80 | (2 << 3) | 5);
    EXPECT_EQ(TSortState::fromByte(s.toByte()), s);

    // Bit 6 means nothing; column 7 names no column and falls back to 1.
    const TSortState odd = TSortState::fromByte(0x40 | (7 << 3) | 0);
    EXPECT_EQ(odd.catalogColumn, 0);
    EXPECT_EQ(odd.folderColumn, 1);
    EXPECT_FALSE(odd.reverse);
    for (int b = 0; b < 256; ++b) {
        const TSortState r = TSortState::fromByte(uint8_t(b));
        EXPECT_EQ(TSortState::fromByte(r.toByte()), r) << b;
    }
}

TEST(SortState, LevelOfANode)
{
    Tree t;
    TSortState s;
    s.setColumnFor(t.catalog, 4);
    s.setColumnFor(t.docs, 3);
    EXPECT_EQ(s.catalogColumn, 4);
    EXPECT_EQ(s.folderColumn, 3);
    EXPECT_EQ(s.columnFor(t.catalog), 4);
    EXPECT_EQ(s.columnFor(t.disk), 3);
    EXPECT_EQ(s.columnFor(nullptr), 3);
    s.setColumnFor(t.disk, 99);   // out of range: the default column
    EXPECT_EQ(s.folderColumn, 1);
}

TEST(ColumnSets, CaptionsAndAlignments)
{
    const auto &disks = ColumnsOf(TColumnSet::Disks);
    const auto &files = ColumnsOf(TColumnSet::Files);
    ASSERT_EQ(disks.size(), size_t(kListColumns));
    ASSERT_EQ(files.size(), size_t(kListColumns));
    const QStringList diskCaptions{"Disk name", "Media type", "Volume Name", "Capacity", "Free space",
                                   "Last Updated", "Description"};
    const QStringList fileCaptions{"Filename", "Ext", "Size", "Date", "Time", "Attr", "Description"};
    for (int i = 0; i < kListColumns; ++i) {
        EXPECT_EQ(disks[size_t(i)].caption, diskCaptions[i]);
        EXPECT_EQ(files[size_t(i)].caption, fileCaptions[i]);
    }
    EXPECT_TRUE(disks[3].alignment & Qt::AlignRight);
    EXPECT_TRUE(disks[0].alignment & Qt::AlignLeft);
    EXPECT_TRUE(files[2].alignment & Qt::AlignRight);
    EXPECT_TRUE(files[5].alignment & Qt::AlignHCenter);
    EXPECT_TRUE(files[6].alignment & Qt::AlignLeft);
    EXPECT_TRUE(ColumnsOf(TColumnSet::None).empty());

    Tree t;
    EXPECT_EQ(ColumnSetFor(t.catalog), TColumnSet::Disks);
    EXPECT_EQ(ColumnSetFor(t.disk), TColumnSet::Files);
    EXPECT_EQ(ColumnSetFor(t.docs), TColumnSet::Files);
    EXPECT_EQ(ColumnSetFor(nullptr), TColumnSet::None);
}

TEST(ItemListFill, CatalogShowsItsDisks)
{
    Tree t;
    TItemList list;
    list.sortState().catalogColumn = 1;   // media type: 3.5-inch (2) before CD (10)
    EXPECT_TRUE(list.fill(t.catalog));
    EXPECT_EQ(list.columnSet(), TColumnSet::Disks);
    EXPECT_EQ(rowNames(list), (Names{"Another", "Disk"}));
    list.sortState().catalogColumn = 0;
    list.sort();
    EXPECT_EQ(rowNames(list), (Names{"Another", "Disk"}));
    EXPECT_EQ(list.displayedNode(), t.catalog);
}

TEST(ItemListFill, DiskShowsFoldersThenRootFilesWithoutPreviousRow)
{
    Tree t;
    TItemList list;
    list.sortState().folderColumn = 0;
    list.fill(t.disk);
    EXPECT_EQ(list.columnSet(), TColumnSet::Files);
    EXPECT_EQ(rowNames(list), (Names{"docs", "empty", "root.txt"}));
    EXPECT_EQ(list.indexOf(list.prevFolder()), -1);
}

TEST(ItemListFill, FolderLedByPreviousRow)
{
    Tree t;
    TItemList list;
    list.sortState().folderColumn = 0;
    list.fill(t.docs);
    EXPECT_EQ(rowNames(list), (Names{"..", "sub", "a.bin", "README", "Readme.txt", "zeta.txt"}));
    TItemRec *prev = list.at(0);
    ASSERT_TRUE(list.isPrevFolder(prev));
    EXPECT_EQ(list.text(0, itDescription), QString("Back to root of Disk"));
    EXPECT_EQ(AsFolder(prev)->Modified, 0x2F215C3Eu);
    EXPECT_EQ(list.text(0, itSize), QString());   // no size for the row
    EXPECT_EQ(list.text(0, itAttributes), QString("d"));

    list.fill(t.sub);
    EXPECT_EQ(rowNames(list), (Names{".."}));
    EXPECT_EQ(list.text(0, itDescription), QString("Back to docs (folder)"));
    EXPECT_EQ(AsFolder(list.at(0))->Modified, 0u);
}

TEST(ItemListFill, EmptyFolderShowsOnlyThePreviousRowAndNothingWithoutIt)
{
    Tree t;
    TItemList list;
    list.fill(t.empty);
    EXPECT_EQ(rowNames(list), (Names{".."}));
    list.setShowPrevFolder(false);
    EXPECT_EQ(list.count(), 0);
    list.setShowPrevFolder(true);
    EXPECT_EQ(rowNames(list), (Names{".."}));
}

TEST(ItemListFill, SwitchingThePreviousRowActsOnTheCurrentList)
{
    Tree t;
    TItemList list;
    list.sortState().folderColumn = 2;   // by size: folders first, then files
    list.fill(t.docs);
    ASSERT_EQ(list.count(), 6);
    list.setShowPrevFolder(false);
    EXPECT_EQ(rowNames(list), (Names{"sub", "zeta.txt", "a.bin", "README", "Readme.txt"}));
    list.setShowPrevFolder(true);
    EXPECT_EQ(rowNames(list), (Names{"..", "sub", "zeta.txt", "a.bin", "README", "Readme.txt"}));
    // On a disk the switch adds nothing.
    list.fill(t.disk);
    list.setShowPrevFolder(false);
    list.setShowPrevFolder(true);
    EXPECT_EQ(list.indexOf(list.prevFolder()), -1);
    // A fill with the option off has no row.
    list.setShowPrevFolder(false);
    list.fill(t.docs);
    EXPECT_EQ(list.indexOf(list.prevFolder()), -1);
    EXPECT_EQ(list.count(), 5);
}

TEST(ItemListFill, DisplayedNodeIsNotFilledTwiceUntilForgotten)
{
    Tree t;
    TItemList list;
    EXPECT_TRUE(list.fill(t.docs));
    // A file appended behind the list's back shows only after a forced fill.
    t.file(t.docs, "late.txt", 1);
    EXPECT_FALSE(list.fill(t.docs));
    EXPECT_EQ(list.count(), 6);
    list.forget();
    EXPECT_TRUE(list.fill(t.docs));
    EXPECT_EQ(list.count(), 7);
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.displayedNode(), nullptr);
    EXPECT_TRUE(list.fill(nullptr));
    EXPECT_EQ(list.columnSet(), TColumnSet::None);
}

TEST(ItemListFill, RemovingARecord)
{
    Tree t;
    TItemList list;
    list.fill(t.catalog);
    EXPECT_TRUE(list.removeRecord(t.other->data()));
    EXPECT_FALSE(list.removeRecord(t.other->data()));
    EXPECT_EQ(rowNames(list), (Names{"Disk"}));
    EXPECT_EQ(list.at(5), nullptr);
    EXPECT_EQ(list.at(-1), nullptr);
    EXPECT_EQ(list.text(9, 0), QString());
}

TEST(ItemListSort, BySizeFoldersFirstAndReversedWithPreviousRowOnTop)
{
    Tree t;
    AddFolderNode(t.docs, "big");
    AsFolder(t.docs->child(1)->data())->TotalSize = 99999 * 10000;
    TItemList list;
    list.sortState().folderColumn = 2;
    list.fill(t.docs);
    EXPECT_EQ(rowNames(list), (Names{"..", "sub", "big", "zeta.txt", "a.bin", "README", "Readme.txt"}));
    list.sortState().reverse = true;
    list.reverse();
    EXPECT_EQ(rowNames(list), (Names{"..", "Readme.txt", "README", "a.bin", "zeta.txt", "big", "sub"}));
    // A full sort with the flag set gives the same order.
    list.sort();
    EXPECT_EQ(rowNames(list), (Names{"..", "Readme.txt", "README", "a.bin", "zeta.txt", "big", "sub"}));
}

TEST(ItemListSort, ArchivesAsFilesOption)
{
    Tree t;
    TTreeNode *zip = AddFolderNode(t.docs, "b.zip");
    SetItemFlag(zip->data(), rfCompressed, true);
    TItemList list;
    list.sortState().folderColumn = 0;
    list.fill(t.docs);
    EXPECT_EQ(rowNames(list), (Names{"..", "b.zip", "sub", "a.bin", "README", "Readme.txt", "zeta.txt"}));
    list.setArchivesAsFolders(false);
    list.sort();
    EXPECT_EQ(rowNames(list), (Names{"..", "sub", "a.bin", "b.zip", "README", "Readme.txt", "zeta.txt"}));
}

TEST(ItemListFind, PrefixWithoutRegardToCaseWrapping)
{
    Tree t;
    TItemList list;
    list.sortState().folderColumn = 0;
    list.fill(t.docs);   // .., sub, a.bin, README, Readme.txt, zeta.txt
    EXPECT_EQ(list.findItemByPrefix("rea", 0), 3);
    EXPECT_EQ(list.findItemByPrefix("rea", 4), 4);
    EXPECT_EQ(list.findItemByPrefix("REA", 5), 3);   // wraps to the top
    EXPECT_EQ(list.findItemByPrefix("Z", 0), 5);
    EXPECT_EQ(list.findItemByPrefix("readme.txt", 0), 4);
    EXPECT_EQ(list.findItemByPrefix("readme.txt2", 0), -1);
    EXPECT_EQ(list.findItemByPrefix("q", 0), -1);
    EXPECT_EQ(list.findItemByPrefix("", 0), -1);
    EXPECT_EQ(list.findItemByPrefix("..", 0), 0);
    EXPECT_EQ(list.findItemByPrefix("su", 99), 1);   // a start outside the list starts at the top
    EXPECT_EQ(list.findItemByPrefix("su", -4), 1);

    // Names beyond ASCII compare through Unicode case mapping.
    t.file(t.docs, "\xC3\xA9t\xC3\xA9.txt", 1);   // "été.txt"
    list.forget();
    list.fill(t.docs);
    const int row = list.findItemByPrefix(QString::fromUtf8("\xC3\x89T"), 0);   // "ÉT"
    ASSERT_GE(row, 0);
    EXPECT_EQ(list.text(row, itName), QString::fromUtf8("\xC3\xA9t\xC3\xA9.txt"));
    TItemList empty;
    EXPECT_EQ(empty.findItemByPrefix("a", 0), -1);
}

TEST(SortTreeChildrenTest, DisksByCatalogLevelFoldersByFolderLevel)
{
    Tree t;
    AddDiskNode(t.catalog, "Middle");
    AsDisk(t.catalog->child(2)->data())->MediaType = 6;
    TSortState s;
    s.catalogColumn = 0;
    s.folderColumn = 2;
    SortTreeChildren(t.catalog, s);
    EXPECT_EQ(t.catalog->child(0)->text(), QByteArray("Another"));
    EXPECT_EQ(t.catalog->child(1)->text(), QByteArray("Disk"));
    EXPECT_EQ(t.catalog->child(2)->text(), QByteArray("Middle"));
    s.catalogColumn = 1;   // media type 2, 6, 10
    s.reverse = true;
    SortTreeChildren(t.catalog, s);
    EXPECT_EQ(t.catalog->child(0)->text(), QByteArray("Disk"));
    EXPECT_EQ(t.catalog->child(1)->text(), QByteArray("Middle"));
    EXPECT_EQ(t.catalog->child(2)->text(), QByteArray("Another"));

    // Folders of the disk by size (folder level): empty (0) before docs (650).
    s.reverse = false;
    AsFolder(t.empty->data())->TotalSize = 0;
    SortTreeChildren(t.disk, s);
    EXPECT_EQ(t.disk->child(0), t.empty);
    EXPECT_EQ(t.disk->child(1), t.docs);
    SortTreeChildren(nullptr, s);   // the catalogs themselves stay as they are
}

// Lazy reading: a fill reads the level and the file list it shows.
class ItemListFileTest : public testcat::CatalogFixture
{
};

TEST_F(ItemListFileTest, FillReadsTheLevelAndTheFilesFirst)
{
    testcat::HandCatalog c;
    testcat::HandDisk d;
    d.name = "D";
    testcat::HandFolder top;
    top.depth = 1;
    top.name = "top";
    testcat::HandFolder inner;
    inner.depth = 2;
    inner.name = "inner";
    testcat::HandFile deep, deeper;
    deep.name = "deep.txt";
    deeper.name = "deeper.txt";
    inner.files = {deep, deeper};
    testcat::HandFolder innermost;
    innermost.depth = 3;
    innermost.name = "innermost";
    d.folders = {top, inner, innermost};
    c.disks.push_back(d);
    testcat::HandLayout layout;
    const QByteArray bytes = testcat::BuildCatalogBytes(c, &layout);
    TTreeNode *catalog = openBytes(bytes);
    TTreeNode *topNode = catalog->child(0)->child(0);
    ASSERT_EQ(topNode->childCount(), 0);   // not read yet

    TItemList list;
    list.sortState().folderColumn = 0;
    list.fill(topNode);
    EXPECT_EQ(rowNames(list), (Names{"..", "inner"}));
    TTreeNode *innerNode = topNode->child(0);
    list.fill(innerNode);
    EXPECT_EQ(rowNames(list), (Names{"..", "innermost", "deep.txt", "deeper.txt"}));
    EXPECT_TRUE(list.lastError().isEmpty());

    // A damaged level: the rows are what could be read, and the list says why.
    QByteArray damaged = bytes;
    testcat::PatchI32(damaged, layout.disks[0].folders[2].block + testcat::kFbListOffset, 0x7FFFFF00);
    TTreeNode *second = openBytes(damaged, "damaged.ctf");
    TTreeNode *secondInner = FindFolder(second->child(0), "top\\inner");
    ASSERT_TRUE(secondInner);
    list.fill(second->child(0)->child(0));
    EXPECT_TRUE(list.lastError().isEmpty());
    list.fill(secondInner);
    EXPECT_FALSE(list.lastError().isEmpty());
    EXPECT_EQ(rowNames(list), (Names{"..", "deep.txt", "deeper.txt"}));
}

} // namespace
