// The order of items: kinds, every column of files, folders and disks,
// compressed-file folders sorted as files, the previous-folder row, stability,
// stopping a sort, and reversing.
#include "browser/ItemSort.h"

#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "catalog/LoadSave.h"

#include <gtest/gtest.h>

#include <QLocale>

// Readable failures.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

#include <random>

namespace {

class EnglishLocale : public ::testing::Environment
{
public:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};
const auto *const kLocale = ::testing::AddGlobalTestEnvironment(new EnglishLocale);

class AnswerPrompter : public Prompter
{
public:
    explicit AnswerPrompter(MsgAnswer a) : answer(a) {}
    MsgAnswer ask(const QString &caption, const QString &text, MsgIcon, MsgButtons) override
    {
        asked.push_back(caption + QLatin1Char('|') + text);
        return answer;
    }
    MsgAnswer answer;
    std::vector<QString> asked;
};

struct Folder {
    TForest forest;
    TTreeNode *catalog = NewCatalogNode(forest, "C");
    TTreeNode *disk = AddDiskNode(catalog, "D");
    TTreeNode *folder = AddFolderNode(disk, "F");

    TFileRec *file(const char *name, int64_t size = 0, uint32_t modified = 0)
    {
        TFileRec *f = AppendFile(folder, name);
        f->Size = size;
        f->Modified = modified;
        return f;
    }
    TFolderRec *sub(const char *name, int64_t bytes = 0, bool archive = false)
    {
        TTreeNode *n = AddFolderNode(folder, name);
        TFolderRec *rec = AsFolder(n->data());
        rec->TotalSize = bytes * 10000;
        SetItemFlag(rec, rfCompressed, archive);
        return rec;
    }
};

std::vector<QString> names(const std::vector<TItemRec *> &items)
{
    std::vector<QString> out;
    for (const TItemRec *rec : items)
        out.push_back(ItemText(rec, itName, false));
    return out;
}

using Names = std::vector<QString>;

} // namespace

TEST(CompareItems, KindsOrderDisksFoldersFiles)
{
    Folder f;
    TFileRec *file = f.file("a.txt");
    TFolderRec *folder = f.sub("z");
    TItemRec *disk = f.disk->data();
    TCompareContext ctx;
    ctx.column = 0;
    EXPECT_GT(CompareItems(file, folder, ctx), 0);
    EXPECT_LT(CompareItems(folder, file, ctx), 0);
    EXPECT_GT(CompareItems(folder, disk, ctx), 0);
    EXPECT_LT(CompareItems(disk, file, ctx), 0);
    ctx.reverse = true;
    EXPECT_LT(CompareItems(file, folder, ctx), 0);
}

TEST(CompareItems, FileColumns)
{
    Folder f;
    const uint32_t morning = DateTimeToDos(QDateTime(QDate(2020, 1, 2), QTime(8, 0)));
    const uint32_t evening = DateTimeToDos(QDateTime(QDate(2019, 1, 2), QTime(20, 0)));
    TFileRec *a = f.file("b.TXT", 100, morning);
    TFileRec *b = f.file("a.doc", 5, evening);
    a->Attr = faArchive;
    b->Attr = faReadOnly;
    TCompareContext ctx;
    ctx.column = 0;
    EXPECT_GT(CompareItems(a, b, ctx), 0);   // a.doc before b.TXT, case ignored
    ctx.column = 1;
    EXPECT_GT(CompareItems(a, b, ctx), 0);   // doc before TXT
    ctx.column = 2;
    EXPECT_GT(CompareItems(a, b, ctx), 0);
    ctx.column = 3;
    EXPECT_GT(CompareItems(a, b, ctx), 0);   // 2020 after 2019
    ctx.column = 4;
    EXPECT_LT(CompareItems(a, b, ctx), 0);   // 8:00 before 20:00, whatever the day
    ctx.column = 5;
    EXPECT_GT(CompareItems(a, b, ctx), 0);
    StoreDescription(a->Desc, "apple");
    StoreDescription(b->Desc, "Banana");
    ctx.column = 6;
    EXPECT_LT(CompareItems(a, b, ctx), 0);
    FreeText(a->Desc);
    EXPECT_LT(CompareItems(a, b, ctx), 0);   // none counts as empty
    // Same extension: by name.
    TFileRec *c = f.file("c.doc");
    ctx.column = 1;
    EXPECT_LT(CompareItems(b, c, ctx), 0);
}

TEST(CompareItems, FolderAndDiskColumns)
{
    Folder f;
    TFolderRec *big = f.sub("big", int64_t(1) << 40);
    TFolderRec *small = f.sub("small", 1);
    TCompareContext ctx;
    ctx.column = 2;
    EXPECT_GT(CompareItems(big, small, ctx), 0);   // 64-bit totals, only the sign counts

    TTreeNode *d2 = AddDiskNode(f.catalog, "E");
    TDiskRec *one = AsDisk(f.disk->data());
    TDiskRec *two = AsDisk(d2->data());
    one->MediaType = 10;
    two->MediaType = 5;
    one->VolumeLabel = "beta";
    two->VolumeLabel = "Alpha";
    one->TotalClusters = 100;
    two->TotalClusters = 200;
    one->Updated = 2;
    two->Updated = 1;
    ctx.column = 1;
    EXPECT_GT(CompareItems(one, two, ctx), 0);
    ctx.column = 2;
    EXPECT_GT(CompareItems(one, two, ctx), 0);
    ctx.column = 3;
    EXPECT_LT(CompareItems(one, two, ctx), 0);
    ctx.column = 5;
    EXPECT_GT(CompareItems(one, two, ctx), 0);
    ctx.column = 9;
    EXPECT_EQ(CompareItems(one, two, ctx), 0);
    EXPECT_EQ(CompareItems(f.catalog->data(), f.catalog->data(), ctx), 0);
}

TEST(SortItems, BySizeFoldersFirstAndReversedWithPreviousRowOnTop)
{
    Folder f;
    TFolderRec prev;
    std::vector<TItemRec *> items{&prev, f.file("x", 30), f.sub("s1", 500), f.file("y", 10), f.sub("s2", 100),
                                  f.file("z", 20)};
    TCompareContext ctx;
    ctx.column = 2;
    ctx.prevFolder = &prev;
    EXPECT_TRUE(SortItems(items, ctx));
    EXPECT_EQ(items[0], &prev);
    items.erase(items.begin());
    EXPECT_EQ(names(items), (Names{"s2", "s1", "y", "z", "x"}));
    items.insert(items.begin(), &prev);
    ReverseItems(items, &prev);
    EXPECT_EQ(items[0], &prev);
    items.erase(items.begin());
    EXPECT_EQ(names(items), (Names{"x", "z", "y", "s1", "s2"}));

    // A full sort in reverse gives the same order as the reversal.
    std::vector<TItemRec *> again = items;
    again.insert(again.begin(), &prev);
    ctx.reverse = true;
    SortItems(again, ctx);
    EXPECT_EQ(again[0], &prev);
}

TEST(SortItems, ArchivesAsFilesWhenTheOptionIsOff)
{
    Folder f;
    std::vector<TItemRec *> items{f.file("c.txt"), f.sub("b.zip", 0, true), f.file("a.txt"), f.sub("folder")};
    TCompareContext ctx;
    ctx.column = 0;
    ctx.archivesAsFolders = false;
    SortItems(items, ctx);
    EXPECT_EQ(names(items), (Names{"folder", "a.txt", "b.zip", "c.txt"}));
    ctx.archivesAsFolders = true;
    SortItems(items, ctx);
    EXPECT_EQ(names(items), (Names{"b.zip", "folder", "a.txt", "c.txt"}));
}

TEST(SortItems, StableForEqualKeys)
{
    Folder f;
    std::vector<TItemRec *> items;
    std::mt19937 rng(5);
    for (int i = 0; i < 3000; ++i)
        items.push_back(f.file(QByteArray::number(i).constData(), int64_t(rng() % 7)));
    std::vector<TItemRec *> expected = items;
    std::stable_sort(expected.begin(), expected.end(), [](TItemRec *a, TItemRec *b) {
        return static_cast<TFileRec *>(a)->Size < static_cast<TFileRec *>(b)->Size;
    });
    TCompareContext ctx;
    ctx.column = 2;
    EXPECT_TRUE(SortItems(items, ctx));
    EXPECT_EQ(items, expected);
}

TEST(SortItems, StopKeyAsksAndKeepsASortedFront)
{
    Folder f;
    std::vector<TItemRec *> items;
    for (int i = 0; i < 5000; ++i)
        items.push_back(f.file("n", 5000 - i));
    const std::vector<TItemRec *> original = items;
    TCompareContext ctx;
    ctx.column = 2;

    // No: the question comes and the sort goes on to the end.
    AnswerPrompter no(MsgAnswer::No);
    int probes = 0;
    std::vector<TItemRec *> all = items;
    EXPECT_TRUE(SortItems(all, ctx, [&] { return ++probes == 2; }, &no));
    ASSERT_EQ(no.asked.size(), 1u);
    EXPECT_EQ(no.asked[0], "Cancel sort|Sorting was temporarily halted by user.\rWould you like to cancel sort and "
                           "proceed with partial results?");
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end(), [](TItemRec *a, TItemRec *b) {
        return static_cast<TFileRec *>(a)->Size < static_cast<TFileRec *>(b)->Size;
    }));

    // Yes: a sorted front, the rest exactly as it was.
    AnswerPrompter yes(MsgAnswer::Yes);
    probes = 0;
    EXPECT_FALSE(SortItems(items, ctx, [&] { return ++probes == 3; }, &yes));
    size_t front = 1;
    while (front < items.size() && static_cast<TFileRec *>(items[front - 1])->Size <=
                                       static_cast<TFileRec *>(items[front])->Size)
        ++front;
    ASSERT_GT(front, 1u);
    ASSERT_LT(front, items.size());
    EXPECT_TRUE(std::equal(items.begin() + std::ptrdiff_t(front), items.end(),
                           original.begin() + std::ptrdiff_t(front)));
}

TEST(SortItems, DisksByCapacityUseVirtualRootContent)
{
    Folder f;
    TDiskRec *whole = AsDisk(f.disk->data());
    whole->TotalClusters = 1000;
    whole->FreeClusters = 900;
    TDiskRec *virt = AsDisk(AddDiskNode(f.catalog, "V")->data());
    SetItemFlag(virt, rfVirtualRoot, true);
    virt->TotalClusters = 100000;   // the drive is large, the folder's content is not
    virt->FreeClusters = 99950;
    std::vector<TItemRec *> items{virt, whole};
    TCompareContext ctx;
    ctx.column = 3;
    SortItems(items, ctx);
    EXPECT_EQ(items[0], virt);
}
