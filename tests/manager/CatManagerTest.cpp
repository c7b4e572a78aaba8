// Tests of moving and copying disks between catalogs: a disk read lazily
// from its file arrives complete, survives saving and reopening both
// catalogs, takes a unique name, keeps its result-list entries when moved,
// owns its records when copied, and a damaged source changes nothing.
#include "manager/CatManager.h"

#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "catalog/ReadAhead.h"
#include "catalog/ResultLists.h"

#include "GenCatalog.h"
#include "TestCatalogs.h"

#include <gtest/gtest.h>

using namespace testcat;

// Readable failures.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << s.toStdString();
}

namespace {

// The sample catalog with a description and category flags three folder
// levels down and a second folder under the virtual root; both disks are only
// partly read when opened.
HandCatalog sourceCatalog()
{
    HandCatalog c = SampleCatalog();
    c.name = "Source";
    HandFolder &deep = c.disks[0].folders[2];
    deep.desc = "three levels down";
    deep.files[0].catFlags = 0xE3;
    HandDisk &photos = c.disks[1];
    photos.folders.push_back(SampleFolder(2, "raw", {SampleFile("img1.cr2", 900000)}));
    photos.totalFolders = 2;
    return c;
}

// Its vocabulary is the source's, so that items arrive with the same bytes;
// transfers between differing vocabularies are tested with the categories.
HandCatalog targetCatalog()
{
    HandCatalog c;
    c.name = "Target";
    const HandCatalog source = SampleCatalog();
    c.categories = source.categories;
    for (int k = 0; k < 3; ++k)
        c.flagNames[k] = source.flagNames[k];
    HandDisk d;
    d.name = "Other";
    d.rootFiles = {SampleFile("other.txt", 5)};
    d.folders = {SampleFolder(1, "Stuff", {SampleFile("s.txt", 6)}), SampleFolder(2, "More", {SampleFile("m.txt", 7)})};
    c.disks.push_back(d);
    return c;
}

class TransferDiskTest : public CatalogFixture
{
protected:
    void SetUp() override
    {
        HandCatalog source = sourceCatalog();
        m_sourceBytes = BuildCatalogBytes(source, &m_sourceLayout);
        ASSERT_TRUE(WriteFileBytes(path("source.ctf"), m_sourceBytes));
        ASSERT_TRUE(WriteFileBytes(path("target.ctf"), BuildCatalogBytes(targetCatalog())));
    }

    // The stored content of a disk of a catalog file, every level read, as
    // a separate opening sees it.
    static QString expectedDisk(const QString &file, const QByteArray &diskName)
    {
        TForest forest;
        TTreeNode *catalog = ReadCatalog(forest, file);
        TTreeNode *disk = FindDisk(catalog, diskName);
        return disk ? DumpNode(disk, DumpLoad) : QString();
    }

    static bool anythingUnread(TTreeNode *diskNode)
    {
        bool unread = false;
        ForEachNode(diskNode, [&](TTreeNode *n) {
            if (const TFolderRec *f = AsFolder(n->data()))
                unread = unread || f->SubOffset > 0 || !f->FilesLoaded;
            else if (const TDiskRec *d = AsDisk(n->data()))
                unread = unread || !d->FilesLoaded;
        });
        return unread;
    }

    QByteArray m_sourceBytes;
    HandLayout m_sourceLayout;
};

TEST_F(TransferDiskTest, CopyOfLazilyReadDiskArrivesCompleteAndSurvivesSaveAndReopen)
{
    const QString expected = expectedDisk(path("source.ctf"), "Disk One");
    ASSERT_FALSE(expected.isEmpty());

    TTreeNode *source = open(path("source.ctf"));
    TTreeNode *target = open(path("target.ctf"));
    TTreeNode *disk = FindDisk(source, "Disk One");
    ASSERT_TRUE(disk);
    ASSERT_TRUE(anythingUnread(disk));   // the point of the test: levels and lists not read yet

    TTreeNode *copy = TransferDisk(disk, target, false);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->parent(), target);
    EXPECT_EQ(copy, target->children().back());
    EXPECT_EQ(copy->text(), QByteArray("Disk One"));
    EXPECT_FALSE(anythingUnread(copy));
    // It describes no place in any file: the target's next save writes it
    // from memory, never from offsets that belong to the source's file.
    EXPECT_EQ(AsDisk(copy->data())->FileOffset, 0);
    // Complete in memory: the dump without reading anything is the file's content.
    EXPECT_EQ(DumpNode(copy, 0), expected);
    EXPECT_EQ(AsCatalog(target->data())->Dirty, 1);
    EXPECT_EQ(AsDisk(copy->data())->Dirty, 1);
    EXPECT_EQ(AsCatalog(source->data())->Dirty, 0);   // a copy leaves the source as it was
    EXPECT_EQ(source->childCount(), 2);

    // The copy needs nothing of the source any more.
    closeCatalog(source);
    EXPECT_EQ(DumpNode(copy, 0), expected);

    save(target, path("target.ctf"));
    closeCatalog(target);
    EXPECT_EQ(expectedDisk(path("target.ctf"), "Disk One"), expected);
    EXPECT_FALSE(expectedDisk(path("target.ctf"), "Other").isEmpty());
    EXPECT_EQ(expectedDisk(path("source.ctf"), "Disk One"), expected);
}

TEST_F(TransferDiskTest, MoveCarriesTheDiskAndMarksBothCatalogs)
{
    const QString expected = expectedDisk(path("source.ctf"), "Photos");
    TTreeNode *source = open(path("source.ctf"));
    TTreeNode *target = open(path("target.ctf"));
    TTreeNode *disk = FindDisk(source, "Photos");
    ASSERT_TRUE(disk);

    TTreeNode *moved = TransferDisk(disk, target, true);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->parent(), target);
    EXPECT_FALSE(FindDisk(source, "Photos"));
    EXPECT_EQ(source->childCount(), 1);
    EXPECT_EQ(AsCatalog(source->data())->Dirty, 1);
    EXPECT_EQ(AsCatalog(target->data())->Dirty, 1);
    EXPECT_EQ(DumpNode(moved, 0), expected);
    EXPECT_EQ(AsDisk(moved->data())->FileOffset, 0);

    save(source, path("source.ctf"));
    save(target, path("target.ctf"));
    closeCatalog(source);
    closeCatalog(target);
    EXPECT_TRUE(expectedDisk(path("source.ctf"), "Photos").isEmpty());
    EXPECT_FALSE(expectedDisk(path("source.ctf"), "Disk One").isEmpty());
    EXPECT_EQ(expectedDisk(path("target.ctf"), "Photos"), expected);
}

TEST_F(TransferDiskTest, MovedRecordsStayInTheResultLists)
{
    VectorResultList found(ResultListId::Found);
    ScopedResultList registered(found);
    TTreeNode *source = open(path("source.ctf"));
    TTreeNode *target = open(path("target.ctf"));
    TTreeNode *disk = FindDisk(source, "Disk One");
    TTreeNode *alpha1 = FindFolder(disk, "Alpha\\Alpha1");
    ASSERT_TRUE(alpha1);
    TFileRec *why = FindFile(alpha1, "y.dat");
    ASSERT_TRUE(why);
    found.add(why);
    found.add(alpha1->data());
    found.add(disk->data());

    TTreeNode *moved = TransferDisk(disk, target, true);
    ASSERT_TRUE(moved);
    ASSERT_EQ(found.count(), 3);
    EXPECT_EQ(found.at(0), why);
    EXPECT_EQ(found.at(1)->Node, alpha1);
    EXPECT_EQ(found.at(2), moved->data());
    EXPECT_EQ(CatalogNodeOf(why->Node), target);
    EXPECT_EQ(CatalogNodeOf(found.at(1)->Node), target);
    EXPECT_EQ(DiskNodeOf(why->Node), moved);

    // Closing the source no longer touches them.
    closeCatalog(source);
    EXPECT_EQ(found.count(), 3);
    EXPECT_EQ(found.setNullCalls, 0);
    // Closing the target removes them.
    closeCatalog(target);
    found.compact();
    EXPECT_EQ(found.count(), 0);
}

TEST_F(TransferDiskTest, CopiedRecordsAreNotInTheResultLists)
{
    VectorResultList found(ResultListId::Found);
    ScopedResultList registered(found);
    TTreeNode *source = open(path("source.ctf"));
    TTreeNode *target = open(path("target.ctf"));
    TTreeNode *disk = FindDisk(source, "Disk One");
    TFileRec *readme = FindFile(disk, "readme.txt");
    ASSERT_TRUE(readme);
    found.add(readme);

    TTreeNode *copy = TransferDisk(disk, target, false);
    ASSERT_TRUE(copy);
    TFileRec *copied = FindFile(copy, "readme.txt");
    ASSERT_TRUE(copied);
    EXPECT_NE(copied, readme);
    EXPECT_EQ(copied->Node, copy);
    EXPECT_EQ(copied->SearchListPos, -1);
    EXPECT_EQ(found.at(0), readme);
    ForEachNode(copy, [&](TTreeNode *n) {
        EXPECT_EQ(n->data()->Node, n);
        if (const TFolderRec *f = AsFolder(n->data())) {
            EXPECT_EQ(f->DiskNode, copy);
        }
        for (const TFileRec *f : Chain(n))
            EXPECT_EQ(f->Node, n);
    });
    // Deleting the copy leaves the source's entry alone.
    DeleteNodeWithRecords(copy);
    EXPECT_EQ(found.count(), 1);
    EXPECT_EQ(found.at(0), readme);
}

TEST_F(TransferDiskTest, NamesAreMadeUniqueInTheTarget)
{
    TTreeNode *source = open(path("source.ctf"));
    TTreeNode *target = open(path("target.ctf"));
    TTreeNode *disk = FindDisk(source, "Disk One");

    TTreeNode *first = TransferDisk(disk, target, false);
    TTreeNode *second = TransferDisk(disk, target, false);
    TTreeNode *third = TransferDisk(disk, target, false);
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(first->text(), QByteArray("Disk One"));
    EXPECT_EQ(second->text(), QByteArray("Disk One (2)"));
    EXPECT_EQ(third->text(), QByteArray("Disk One (3)"));

    // A counter made by the rule is dropped first: "Disk One (3)" into a
    // catalog without "Disk One" is plain "Disk One" again.
    TTreeNode *back = TransferDisk(third, source, true);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->text(), QByteArray("Disk One (2)"));   // the source still has "Disk One"
    TTreeNode *fresh = NewCatalogNode(m_forest, "Fresh");
    TTreeNode *again = TransferDisk(second, fresh, true);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->text(), QByteArray("Disk One"));
}

TEST_F(TransferDiskTest, MoveOntoItsOwnCatalogChangesNothing)
{
    TTreeNode *source = open(path("source.ctf"));
    TTreeNode *disk = FindDisk(source, "Photos");
    EXPECT_EQ(TransferDisk(disk, source, true), disk);
    EXPECT_EQ(disk->parent(), source);
    EXPECT_EQ(disk->text(), QByteArray("Photos"));
    EXPECT_EQ(AsCatalog(source->data())->Dirty, 0);
    EXPECT_EQ(source->childCount(), 2);
}

TEST_F(TransferDiskTest, WrongArgumentsAreRefused)
{
    TTreeNode *source = open(path("source.ctf"));
    TTreeNode *target = open(path("target.ctf"));
    TTreeNode *disk = FindDisk(source, "Disk One");
    TTreeNode *alpha = FindFolder(disk, "Alpha");
    EXPECT_EQ(TransferDisk(nullptr, target, false), nullptr);
    EXPECT_EQ(TransferDisk(disk, nullptr, true), nullptr);
    EXPECT_EQ(TransferDisk(alpha, target, false), nullptr);   // a folder is no disk
    EXPECT_EQ(TransferDisk(disk, FindDisk(target, "Other"), false), nullptr);   // nor a disk a catalog
    EXPECT_EQ(target->childCount(), 1);
    EXPECT_EQ(AsCatalog(target->data())->Dirty, 0);
}

TEST_F(TransferDiskTest, DamagedSourceLeavesBothCatalogsAsTheyWere)
{
    // The third-level folder's file list points far outside its disk: the
    // first level opens, reading the third fails.
    QByteArray bytes = m_sourceBytes;
    PatchI32(bytes, m_sourceLayout.disks[0].folders[2].block + kFbListOffset, 0x7FFFFF00);
    ASSERT_TRUE(WriteFileBytes(path("damaged.ctf"), bytes));

    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        TTreeNode *source = open(path("damaged.ctf"));
        TTreeNode *target = open(path("target.ctf"));
        TTreeNode *disk = FindDisk(source, "Disk One");
        EXPECT_THROW(TransferDisk(disk, target, move), EInvalidCatalog);
        EXPECT_EQ(target->childCount(), 1);
        EXPECT_EQ(AsCatalog(target->data())->Dirty, 0);
        EXPECT_EQ(FindDisk(source, "Disk One"), disk);
        EXPECT_EQ(AsCatalog(source->data())->Dirty, 0);
        // The other disk of the damaged catalog still moves.
        TTreeNode *photos = TransferDisk(FindDisk(source, "Photos"), target, move);
        ASSERT_TRUE(photos);
        EXPECT_EQ(target->childCount(), 2);
        closeCatalog(source);
        closeCatalog(target);
    }
}

TEST_F(TransferDiskTest, DiskOfANeverSavedCatalogIsCopiedWithOwnRecords)
{
    GenOptions options;
    options.seed = 11;
    options.disks = 2;
    options.depth = 3;
    options.fanOut = 2;
    options.filesPerFolder = 4;
    options.descPercent = 40;
    TTreeNode *generated = GenerateCatalog(m_forest, "Generated", options);
    TTreeNode *target = open(path("target.ctf"));
    // The same vocabulary on both sides, so the items arrive byte for byte.
    TCatalogRec *from = AsCatalog(generated->data());
    TCatalogRec *to = AsCatalog(target->data());
    to->Categories = from->Categories;
    for (int k = 0; k < 3; ++k) {
        FreeText(to->FlagNames[k]);
        to->FlagNames[k] = NewText(TextView(from->FlagNames[k]));
    }
    TTreeNode *disk = generated->child(1);
    const QByteArray name = disk->text();
    const QString before = DumpNode(disk, DumpLoad);

    TTreeNode *copy = TransferDisk(disk, target, false);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->text(), name);
    closeCatalog(generated);
    EXPECT_EQ(DumpNode(copy, 0), before);

    save(target, path("target.ctf"));
    closeCatalog(target);
    EXPECT_EQ(expectedDisk(path("target.ctf"), name), before);
}

TEST_F(TransferDiskTest, CopyInsideOneCatalogIsAllowed)
{
    TTreeNode *source = open(path("source.ctf"));
    TTreeNode *disk = FindDisk(source, "Photos");
    const QString expected = DumpNode(disk, DumpLoad);
    TTreeNode *copy = TransferDisk(disk, source, false);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->text(), QByteArray("Photos (2)"));
    EXPECT_EQ(source->childCount(), 3);
    EXPECT_EQ(AsCatalog(source->data())->Dirty, 1);

    save(source, path("source.ctf"));
    closeCatalog(source);
    QString copied = expectedDisk(path("source.ctf"), "Photos (2)");
    copied.replace(QStringLiteral("disk \"Photos (2)\""), QStringLiteral("disk \"Photos\""));
    EXPECT_EQ(copied, expected);
    EXPECT_EQ(expectedDisk(path("source.ctf"), "Photos"), expected);
}

} // namespace
