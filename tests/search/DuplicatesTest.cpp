// The duplicates search's rules on records built in memory: the buckets by
// first character, the compare of two candidates by the checked properties,
// and the grouping of a bucket into runs and groups.
#include "search/Duplicates.h"

#include "TestCatalogs.h"

#include "catalog/Forest.h"
#include "platform/MediaTypes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testcat::HandCatalog;
using testcat::HandDisk;
using testcat::HandFile;
using testcat::HandFolder;

HandFile File(const QByteArray &name, int64_t size, uint32_t modified = 0x3A000000u, uint8_t attr = faArchive)
{
    HandFile f;
    f.name = name;
    f.size = size;
    f.modified = modified;
    f.attr = attr;
    return f;
}

HandFolder Folder(const QByteArray &name, int64_t totalBytes, uint8_t flags = 0, std::vector<HandFile> files = {})
{
    HandFolder f;
    f.kind = uint8_t(rkFolder | flags);
    f.name = name;
    f.totalSize = totalBytes * 10000;
    f.modified = 0x3A000000u;
    f.files = std::move(files);
    return f;
}

HandDisk Disk(const QByteArray &name, std::vector<HandFile> rootFiles = {}, std::vector<HandFolder> folders = {})
{
    HandDisk d;
    d.name = name;
    d.volumeLabel = "LABEL";
    d.rootFiles = std::move(rootFiles);
    d.folders = std::move(folders);
    return d;
}

// A forest of one catalog built from disks, and look-ups of its records.
class DupFixture : public ::testing::Test
{
protected:
    ~DupFixture() override
    {
        m_forest.deleteAll([](TTreeNode *node) { FreeItemData(node, true, true); });
    }

    void build(std::vector<HandDisk> disks)
    {
        HandCatalog catalog;
        catalog.disks = std::move(disks);
        m_catalog = testcat::BuildForest(m_forest, catalog);
    }

    TTreeNode *diskNode(int index) const { return m_catalog->child(index); }
    TDiskRec *disk(int index) const { return AsDisk(NodeRec(diskNode(index))); }

    // The file of that name anywhere on the disk.
    TItemRec *file(int diskIndex, const QByteArray &name) const
    {
        TItemRec *found = nullptr;
        testcat::ForEachNode(diskNode(diskIndex), [&](TTreeNode *node) {
            for (TFileRec *f : testcat::Chain(node))
                if (!found && f->name() == name)
                    found = f;
        });
        EXPECT_TRUE(found) << name.constData();
        return found;
    }

    // The folder of that name anywhere on the disk.
    TItemRec *folder(int diskIndex, const QByteArray &name) const
    {
        TItemRec *found = nullptr;
        testcat::ForEachNode(diskNode(diskIndex), [&](TTreeNode *node) {
            if (!found && node != diskNode(diskIndex) && node->text() == name)
                found = NodeRec(node);
        });
        EXPECT_TRUE(found) << name.constData();
        return found;
    }

    TForest m_forest;
    TTreeNode *m_catalog = nullptr;
};

TDupSettings Checked(bool name, bool size, bool date, bool attr)
{
    TDupSettings s;
    s.name = name;
    s.size = size;
    s.date = date;
    s.attr = attr;
    return s;
}

// Groups a bucket and returns its groups.
std::vector<std::vector<TItemRec *>> Groups(std::vector<TItemRec *> bucket, const TDupSettings &settings)
{
    std::vector<std::vector<TItemRec *>> groups;
    GroupDuplicates(bucket, settings, [&](const std::vector<TItemRec *> &group) { groups.push_back(group); });
    return groups;
}

TEST(DupBucket, FirstCharacterPicksTheBucket)
{
    const struct {
        const char *name;
        int bucket;
    } cases[] = {
        {"A", 0},       {"apple", 0},  {"Zeta", 25}, {"zz", 25},     {"0day", 26},  {"9", 26},
        {"_x", 27},     {"", 27},      {"~a", 27},   {" a", 27},     {"@", 27},     {"[", 27},
        {"`", 27},      {"{", 27},     {"/", 27},    {":", 27},
        {"\xC3\x84pfel", 27},   // a letter outside A-Z (UTF-8)
        {"\xC4pfel", 27},       // the same letter in CP1252
    };
    for (const auto &c : cases)
        EXPECT_EQ(DupBucketOf(QByteArrayView(c.name)), c.bucket) << c.name;
}

TEST_F(DupFixture, FilesCompareByTheCheckedProperties)
{
    build({Disk("CD1", {File("Setup.exe", 100, 0x3A000000u), File("attr.dat", 5, 1, faArchive),
                        File("\xC3\xA4.txt", 7), File("\xE4.txt", 7), File("same.bin", 9, 1, faArchive)}),
           Disk("CD2", {File("SETUP.EXE", 100, 0x3A000000u), File("ATTR.DAT", 5, 2, faArchive | faReadOnly),
                        File("\xC3\x84.txt", 7), File("\xC4.txt", 7), File("same.bin", 10, 2, faHidden)}),
           Disk("CD3", {File("Setup.exe", 100, 0x3A000001u)})});
    const struct {
        const char *a;
        int diskA;
        const char *b;
        int diskB;
        TDupSettings settings;
        bool equal;
    } cases[] = {
        {"Setup.exe", 0, "SETUP.EXE", 1, Checked(true, true, false, false), true},
        {"Setup.exe", 0, "SETUP.EXE", 1, Checked(true, true, true, false), true},
        {"Setup.exe", 0, "Setup.exe", 2, Checked(true, true, false, false), true},
        {"Setup.exe", 0, "Setup.exe", 2, Checked(true, true, true, false), false},   // two seconds apart
        {"attr.dat", 0, "ATTR.DAT", 1, Checked(true, true, true, false), false},     // dates differ
        {"attr.dat", 0, "ATTR.DAT", 1, Checked(true, true, false, true), false},     // attributes differ
        {"attr.dat", 0, "ATTR.DAT", 1, Checked(true, true, false, false), true},
        // Only A-Z fold: the UTF-8 and the CP1252 a-umlaut differ from their capitals.
        {"\xC3\xA4.txt", 0, "\xC3\x84.txt", 1, Checked(true, true, false, false), false},
        {"\xE4.txt", 0, "\xC4.txt", 1, Checked(true, true, false, false), false},
        {"\xC3\xA4.txt", 0, "\xC3\x84.txt", 1, Checked(false, true, false, false), true},
        {"same.bin", 0, "same.bin", 1, Checked(true, false, false, false), true},
        {"same.bin", 0, "same.bin", 1, Checked(true, true, false, false), false},
        {"same.bin", 0, "same.bin", 1, Checked(false, false, true, false), false},
        {"same.bin", 0, "same.bin", 1, Checked(false, false, false, true), false},
        {"Setup.exe", 0, "attr.dat", 0, Checked(true, false, false, false), false},
        {"Setup.exe", 0, "attr.dat", 0, Checked(false, false, false, false), true},   // nothing asked
    };
    for (const auto &c : cases) {
        const TItemRec *a = file(c.diskA, c.a), *b = file(c.diskB, c.b);
        EXPECT_EQ(DupEqual(a, b, c.settings), c.equal) << c.a << " / " << c.b;
        EXPECT_EQ(DupEqual(b, a, c.settings), c.equal) << c.b << " / " << c.a;
    }
}

TEST_F(DupFixture, FoldersCompareByNodeTextTotalDateAndAttributes)
{
    HandFolder later = Folder("DOCS", 300);
    later.modified = 0x3A000002u;
    HandFolder hidden = Folder("Docs", 300);
    hidden.attr = faDirectory | faHidden;
    build({Disk("A", {File("docs", 300), File("Docs", 301)}, {Folder("Docs", 300), Folder("Other", 300)}),
           Disk("B", {}, {later, Folder("docs", 300)}), Disk("C", {}, {hidden})});
    const TDupSettings nameSize = Checked(true, true, false, false);
    EXPECT_TRUE(DupEqual(folder(0, "Docs"), folder(1, "docs"), nameSize));
    EXPECT_FALSE(DupEqual(folder(0, "Docs"), folder(0, "Other"), nameSize));
    EXPECT_TRUE(DupEqual(folder(0, "Docs"), folder(0, "Other"), Checked(false, true, true, true)));
    EXPECT_TRUE(DupEqual(folder(0, "Docs"), folder(1, "DOCS"), nameSize));
    EXPECT_FALSE(DupEqual(folder(0, "Docs"), folder(1, "DOCS"), Checked(true, true, true, false)));
    EXPECT_TRUE(DupEqual(folder(0, "Docs"), folder(2, "Docs"), Checked(true, true, true, false)));
    EXPECT_FALSE(DupEqual(folder(0, "Docs"), folder(2, "Docs"), Checked(true, true, false, true)));

    // A file and a folder: the file's size against the folder's total in
    // bytes, whichever comes first.
    const TItemRec *docsFile = file(0, "docs");
    const TItemRec *docsFolder = folder(0, "Docs");
    EXPECT_TRUE(DupEqual(docsFile, docsFolder, nameSize));
    EXPECT_TRUE(DupEqual(docsFolder, docsFile, nameSize));
    EXPECT_FALSE(DupEqual(file(0, "Docs"), docsFolder, nameSize));
    EXPECT_TRUE(DupEqual(file(0, "Docs"), docsFolder, Checked(true, false, false, false)));
    // Folders carry the directory attribute, files do not.
    EXPECT_FALSE(DupEqual(docsFile, docsFolder, Checked(true, true, false, true)));
}

TEST_F(DupFixture, DisksCompareBySerialLabelMediaAndCapacityWhateverIsChecked)
{
    std::vector<HandDisk> disks;
    for (const char *name : {"Base", "Twin", "Serial", "Label", "Cartridge", "Floppy", "Capacity"})
        disks.push_back(Disk(name, {File("f", 1)}));
    disks[2].serial = 0x11111111u;
    disks[3].volumeLabel = "label";   // labels are compared exactly
    disks[0].mediaType = kMediaRemovable;
    disks[1].mediaType = kMediaRemovable;
    disks[4].mediaType = kMediaZip100;        // a cartridge goes with a generic removable medium
    disks[5].mediaType = kMediaFloppy35EHD;   // a floppy does not
    disks[6].totalClusters = 100001;
    build(disks);

    const struct {
        int other;
        bool equal;
    } cases[] = {{1, true}, {2, false}, {3, false}, {4, true}, {5, false}, {6, false}};
    for (const TDupSettings &settings : {Checked(true, true, false, false), Checked(false, false, false, false),
                                         Checked(false, false, true, true), Checked(true, true, true, true)}) {
        for (const auto &c : cases) {
            EXPECT_EQ(DupEqual(disk(0), disk(c.other), settings), c.equal) << c.other;
            EXPECT_EQ(DupEqual(disk(c.other), disk(0), settings), c.equal) << c.other;
        }
    }
    // A disk never equals a file or folder, even one of its own name.
    build({Disk("Base", {File("Base", 0)}, {Folder("Base", 0)})});
    TDiskRec *base = AsDisk(NodeRec(m_catalog->child(0)));
    EXPECT_FALSE(DupEqual(base, file(0, "Base"), Checked(false, false, false, false)));
    EXPECT_FALSE(DupEqual(folder(0, "Base"), base, Checked(false, false, false, false)));
}

TEST_F(DupFixture, EqualNamesOfEqualSizeOnTwoDisksFormOneGroup)
{
    build({Disk("CD1", {File("Setup.exe", 100, 0x3A000000u)}), Disk("CD2", {File("SETUP.EXE", 100, 0x3A000000u)}),
           Disk("CD3", {File("setup.exe", 100, 0x3A000009u)})});
    TItemRec *a = file(0, "Setup.exe"), *b = file(1, "SETUP.EXE"), *c = file(2, "setup.exe");
    EXPECT_EQ(Groups({a, b, c}, Checked(true, true, false, false)), (std::vector<std::vector<TItemRec *>>{{a, b, c}}));
    EXPECT_EQ(Groups({a, b, c}, Checked(true, true, true, false)), (std::vector<std::vector<TItemRec *>>{{a, b}}));
}

TEST_F(DupFixture, DifferentSizesNeverGroup)
{
    build({Disk("CD1", {File("readme.txt", 100), File("a.txt", 5), File("b.txt", 5), File("abc.doc", 5)}),
           Disk("CD2", {File("readme.txt", 101)})});
    TItemRec *r1 = file(0, "readme.txt"), *r2 = file(1, "readme.txt");
    EXPECT_TRUE(Groups({r1, r2}, Checked(true, false, false, false)).empty());

    // Only "Size": a.txt and b.txt lie in different buckets, a.txt and
    // abc.doc in one.
    TItemRec *a = file(0, "a.txt"), *abc = file(0, "abc.doc");
    EXPECT_NE(DupBucketOf(static_cast<TFileRec *>(a)->name()),
              DupBucketOf(static_cast<TFileRec *>(file(0, "b.txt"))->name()));
    EXPECT_EQ(DupBucketOf(static_cast<TFileRec *>(a)->name()), DupBucketOf(static_cast<TFileRec *>(abc)->name()));
    EXPECT_EQ(Groups({a, abc}, Checked(false, true, false, false)), (std::vector<std::vector<TItemRec *>>{{a, abc}}));
}

TEST_F(DupFixture, GroupsComeBySizeWithThePivotFirstAndTheExchangeRule)
{
    build({Disk("D1", {File("p", 7), File("q", 7), File("r", 7), File("big", 50), File("s", 1)}),
           Disk("D2", {File("P", 7), File("Q", 7), File("BIG", 50), File("S", 1), File("s", 1)})});
    TItemRec *p = file(0, "p"), *q = file(0, "q"), *r = file(0, "r"), *big = file(0, "big"), *s = file(0, "s");
    TItemRec *p2 = file(1, "P"), *q2 = file(1, "Q"), *big2 = file(1, "BIG"), *s2 = file(1, "S"), *s3 = file(1, "s");
    // Not one bucket by name, but grouping trusts what it is given: with
    // only "Name" the names decide inside each run of one size.
    std::vector<TItemRec *> bucket{big, p, q, r, s, p2, big2, q2, s2, s3};
    const auto groups = Groups(bucket, Checked(true, false, false, false));
    // Size 1 first: s, S, s in collection order; then size 7: p with P
    // (exchanged forward past q and r), then q with Q; then size 50.
    EXPECT_EQ(groups, (std::vector<std::vector<TItemRec *>>{{s, s2, s3}, {p, p2}, {q, q2}, {big, big2}}));

    GroupDuplicates(bucket, Checked(true, false, false, false), [](const std::vector<TItemRec *> &) {});
    // The bucket is left sorted by size, each group's members together.
    EXPECT_EQ(bucket, (std::vector<TItemRec *>{s, s2, s3, p, p2, r, q, q2, big, big2}));
}

TEST_F(DupFixture, ThreeEqualFilesAreThreeConsecutiveRowsInCollectionOrder)
{
    build({Disk("D1", {File("A1", 10)}), Disk("D2", {File("a1", 10)}), Disk("D3", {File("A1", 10)})});
    TItemRec *first = file(2, "A1"), *second = file(0, "A1"), *third = file(1, "a1");
    EXPECT_EQ(Groups({first, second, third}, Checked(true, true, false, false)),
              (std::vector<std::vector<TItemRec *>>{{first, second, third}}));
}

TEST_F(DupFixture, DisksComeFirstThenFoldersThenFiles)
{
    HandDisk d1 = Disk("Docs", {File("Docs", 300)}, {Folder("Docs", 300), Folder("docs2", 1)});
    HandDisk d2 = Disk("Docs", {File("DOCS", 300)}, {Folder("DOCS", 300), Folder("DOCS2", 1)});
    build({d1, d2});
    TItemRec *file1 = file(0, "Docs"), *file2 = file(1, "DOCS");
    TItemRec *folder1 = folder(0, "Docs"), *folder2 = folder(1, "DOCS");
    TItemRec *small1 = folder(0, "docs2"), *small2 = folder(1, "DOCS2");
    const auto groups = Groups({file1, folder1, disk(0), small1, file2, folder2, disk(1), small2},
                               Checked(true, true, false, false));
    EXPECT_EQ(groups, (std::vector<std::vector<TItemRec *>>{
                          {disk(0), disk(1)}, {small1, small2}, {folder1, folder2}, {file1, file2}}));
}

TEST_F(DupFixture, DisksSortByCapacity)
{
    HandDisk big = Disk("Big");
    big.totalClusters = 200000;
    HandDisk bigTwin = big;
    HandDisk small = Disk("Small");
    small.serial = 0x55;
    HandDisk smallTwin = small;
    build({big, small, bigTwin, smallTwin});
    EXPECT_EQ(Groups({disk(0), disk(1), disk(2), disk(3)}, Checked(true, true, false, false)),
              (std::vector<std::vector<TItemRec *>>{{disk(1), disk(3)}, {disk(0), disk(2)}}));
}

TEST_F(DupFixture, CompressedFileFoldersMeetFilesOnlyWhenSortedAsFiles)
{
    build({Disk("D1", {}, {Folder("pack.zip", 100, rfCompressed, {File("m.txt", 100)})}),
           Disk("D2", {File("PACK.ZIP", 100)})});
    TItemRec *archive = folder(0, "pack.zip"), *plain = file(1, "PACK.ZIP");
    TDupSettings settings = Checked(true, true, false, false);
    EXPECT_TRUE(Groups({archive, plain}, settings).empty());
    settings.archivesAsFolders = false;
    EXPECT_EQ(Groups({plain, archive}, settings), (std::vector<std::vector<TItemRec *>>{{plain, archive}}));
}

TEST_F(DupFixture, EmptyAndSingleBucketsGiveNothing)
{
    build({Disk("D1", {File("x", 1)})});
    EXPECT_TRUE(Groups({}, Checked(true, true, false, false)).empty());
    EXPECT_TRUE(Groups({file(0, "x")}, Checked(true, true, false, false)).empty());
}

} // namespace
