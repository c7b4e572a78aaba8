// The found lists: growth steps, position hints through appends, removal,
// compaction and reordering, the registration that lets freed records leave
// the list, the column tables and sorting by a column click, and a list read
// and changed by one thread while another appends.
#include "SearchSupport.h"
#include "TestCatalogs.h"

#include "browser/ItemSort.h"
#include "search/FoundList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace testcat;

namespace {

class FoundListTest : public CatalogFixture
{
protected:
    FoundListTest()
    {
        m_catalog = BuildForest(m_forest, SampleCatalog());
        ForEachNode(m_catalog, [&](TTreeNode *n) {
            if (n != m_catalog)
                m_nodes.push_back(n->data());
            for (TFileRec *f : Chain(n))
                m_files.push_back(f);
        });
    }
    TItemRec *file(const char *name) const
    {
        for (TFileRec *f : m_files)
            if (f->name() == QByteArrayView(name))
                return f;
        return nullptr;
    }
    TItemRec *node(const char *text) const
    {
        for (TItemRec *r : m_nodes)
            if (r->Node->text() == text)
                return r;
        return nullptr;
    }

    TTreeNode *m_catalog = nullptr;
    std::vector<TItemRec *> m_nodes;   // disks and folders in tree order
    std::vector<TFileRec *> m_files;
};

TEST(FoundListGrowth, StepsOf128To2048)
{
    // Records are only pointed to; growth is what is looked at.
    std::vector<TFolderRec> recs(7000);
    TFoundList list(ResultListId::Found);
    EXPECT_EQ(list.capacity(), 0);
    std::vector<int> capacities;
    for (TFolderRec &r : recs) {
        const int before = list.capacity();
        list.append(&r);
        if (list.capacity() != before)
            capacities.push_back(list.capacity());
    }
    // 128 while empty, then the list's own size, capped at 2048.
    EXPECT_EQ(capacities, std::vector<int>({128, 256, 512, 1024, 2048, 4096, 6144, 8192}));
    EXPECT_EQ(recs[6999].SearchListPos, 6999);
    list.clear();
}

TEST(FoundListHints, WrapAt32768)
{
    std::vector<TFolderRec> recs(32770);
    TFoundList list(ResultListId::Duplicates);
    for (TFolderRec &r : recs)
        EXPECT_EQ(list.at(list.append(&r)), &r);
    EXPECT_EQ(recs[32767].DupListPos, 32767);
    EXPECT_EQ(recs[32768].DupListPos, 0);
    EXPECT_EQ(recs[32769].DupListPos, 1);
    EXPECT_EQ(recs[32769].SearchListPos, -1);   // the other list's hint untouched
    EXPECT_EQ(FindByHint(list, &recs[32769], recs[32769].DupListPos), 32769);
    list.clear();
    EXPECT_EQ(recs[32769].DupListPos, -1);
    EXPECT_EQ(list.count(), 0);
}

TEST_F(FoundListTest, RemovingRowsRenumbersTheRest)
{
    TFoundList list(ResultListId::Found);
    for (int i = 0; i < 10; ++i)
        list.append(m_files[size_t(i)]);
    EXPECT_EQ(list.remove({5, 3, 3, 42, -1}), 3);
    EXPECT_EQ(list.count(), 8);
    EXPECT_TRUE(HintsMatchIndexes(list));
    EXPECT_EQ(m_files[3]->SearchListPos, -1);
    EXPECT_EQ(m_files[5]->SearchListPos, -1);
    EXPECT_FALSE(list.contains(m_files[3]));
    EXPECT_TRUE(list.contains(m_files[4]));
    EXPECT_EQ(list.at(3), m_files[4]);
    EXPECT_EQ(list.remove({}), -1);
    list.clear();
}

TEST_F(FoundListTest, FreedRecordsLeaveTheRegisteredList)
{
    auto list = std::make_unique<TFoundList>(ResultListId::Found);
    EXPECT_EQ(ResultList(ResultListId::Found), list.get());
    int compacted = 0;
    list->setCompactedHook([&] { ++compacted; });
    for (TFileRec *f : m_files)
        list->append(f);
    ClearResultListNotes();
    RemoveFromResultLists(file("x.dat"));
    RemoveFromResultLists(file("readme.txt"));
    CompactChangedResultLists();
    EXPECT_EQ(compacted, 1);
    EXPECT_EQ(list->count(), int(m_files.size()) - 2);
    EXPECT_TRUE(HintsMatchIndexes(*list));
    list->clear();
    list.reset();
    EXPECT_EQ(ResultList(ResultListId::Found), nullptr);
}

struct ColumnCase {
    int column;
    int itemColumn;
    int diskColumn;
};

class FoundColumnTable : public testing::TestWithParam<ColumnCase>
{
};

TEST_P(FoundColumnTable, MapsToTheItemCompare)
{
    const ColumnCase &c = GetParam();
    EXPECT_EQ(CompareColumnOf(c.column, false), c.itemColumn);
    EXPECT_EQ(CompareColumnOf(c.column, true), c.diskColumn);
}

INSTANTIATE_TEST_SUITE_P(Columns, FoundColumnTable,
                         testing::Values(ColumnCase{fcName, 0, 0}, ColumnCase{fcExt, 1, 255},
                                         ColumnCase{fcSize, 2, 3}, ColumnCase{fcDate, 3, 5},
                                         ColumnCase{fcTime, 4, 255}, ColumnCase{fcMediaName, 7, 255},
                                         ColumnCase{fcMediaType, 8, 1}, ColumnCase{fcLocation, 9, 10},
                                         ColumnCase{fcDescription, 6, 7}));

TEST(FoundColumns, Captions)
{
    EXPECT_EQ(FoundColumnCaptions(),
              QStringList({"File, Folder or Disk", "Ext", "Item Size", "Item Date", "Item Time", "Media Name",
                           "Media Type", "Location", "Description"}));
}

TEST_F(FoundListTest, SecondClickReversesWithoutSorting)
{
    TFoundList list(ResultListId::Found);
    for (const char *name : {"x.dat", "setup.exe", "a1.txt", "img2.jpg", "y.dat"})
        list.append(file(name));
    EXPECT_TRUE(ClickFoundColumn(list, fcSize, true));
    EXPECT_EQ(FoundNames(list), QStringList({"a1.txt", "x.dat", "y.dat", "setup.exe", "img2.jpg"}));
    EXPECT_EQ(list.sortColumn, fcSize);
    EXPECT_FALSE(list.sortDescending);
    EXPECT_TRUE(ClickFoundColumn(list, fcSize, true));
    EXPECT_EQ(FoundNames(list), QStringList({"img2.jpg", "setup.exe", "y.dat", "x.dat", "a1.txt"}));
    EXPECT_TRUE(list.sortDescending);
    // The third click turns the list round again; an order changed meanwhile
    // shows that nothing is compared.
    list.reorder({file("y.dat"), file("a1.txt")});
    EXPECT_TRUE(ClickFoundColumn(list, fcSize, true));
    EXPECT_EQ(FoundNames(list), QStringList({"a1.txt", "y.dat"}));
    EXPECT_FALSE(list.sortDescending);
    EXPECT_TRUE(HintsMatchIndexes(list));
    // Entries left out of a new order are no longer in the list.
    EXPECT_EQ(file("x.dat")->SearchListPos, -1);
    EXPECT_FALSE(list.contains(file("img2.jpg")));
    list.clear();
}

TEST_F(FoundListTest, DisksKeepTheirPlaceUnderColumnsWithoutDiskKey)
{
    TFoundList list(ResultListId::Found);
    // Photos before Disk One, files and folders mixed in.
    list.append(file("m2.txt"));
    list.append(node("Photos"));
    list.append(node("Alpha"));
    list.append(file("a1.txt"));
    list.append(node("Disk One"));
    for (int column : {fcExt, fcTime, fcMediaName, fcLocation, fcDescription}) {
        list.sortColumn = kUnsorted;
        ASSERT_TRUE(ClickFoundColumn(list, column, true));
        const QStringList names = FoundNames(list);
        // Disks first in their arrival order, then the folder, then files.
        EXPECT_EQ(names.mid(0, 3), QStringList({"Photos", "Disk One", "Alpha"})) << column;
        EXPECT_TRUE(HintsMatchIndexes(list));
    }
    // A column with a disk key sorts the disks by it: capacity.
    list.sortColumn = kUnsorted;
    ASSERT_TRUE(ClickFoundColumn(list, fcSize, true));
    EXPECT_EQ(FoundNames(list).mid(0, 2), QStringList({"Photos", "Disk One"}));
    list.sortColumn = kUnsorted;
    ASSERT_TRUE(ClickFoundColumn(list, fcName, true));
    EXPECT_EQ(FoundNames(list), QStringList({"Disk One", "Photos", "Alpha", "a1.txt", "m2.txt"}));
    list.clear();
}

TEST_F(FoundListTest, StoppedSortKeepsAPartlySortedList)
{
    TFoundList list(ResultListId::Found);
    for (TFileRec *f : m_files)
        list.append(f);
    ScriptedPrompter prompter;
    prompter.answers = {MsgAnswer::Yes};
    EXPECT_FALSE(ClickFoundColumn(list, fcName, true, [] { return true; }, &prompter));
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(list.count(), int(m_files.size()));
    EXPECT_TRUE(HintsMatchIndexes(list));
    list.clear();
}

TEST(FoundListThreads, ReadAndRemoveWhileAnotherThreadAppends)
{
    // The window's side reads counts, entries and copies and removes rows
    // while the worker appends; every entry seen is whole and every hint
    // matches its place once both are done.
    constexpr int kRecords = 20000;
    std::vector<TFolderRec> recs(kRecords);
    TFoundList list(ResultListId::Found);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (TFolderRec &r : recs)
            if (!list.contains(&r))
                list.append(&r);
        done = true;
    });
    int removed = 0;
    while (!done) {
        const int n = list.count();
        if (n > 0) {
            EXPECT_NE(list.at(n - 1), nullptr);
            const std::vector<TItemRec *> copy = list.items();
            EXPECT_GE(int(copy.size()), n);
            if (n % 7 == 0 && list.remove({n / 2}) >= 0)
                ++removed;
        }
    }
    worker.join();
    EXPECT_EQ(list.count(), kRecords - removed);
    EXPECT_TRUE(HintsMatchIndexes(list));
    list.clear();
}

} // namespace
