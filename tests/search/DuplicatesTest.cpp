// The duplicates search: its rules on records built in memory (the buckets
// by first character, the compare of two candidates by the checked
// properties, the grouping of a bucket into runs and groups), and the walk
// over saved catalogs whose folder levels and file lists it reads on demand.
#include "search/Duplicates.h"

#include "TestCatalogs.h"

#include "catalog/Forest.h"
#include "catalog/CatalogOps.h"
#include "catalog/LoadSave.h"
#include "platform/MediaTypes.h"
#include "search/Criteria.h"
#include "search/FoundList.h"
#include "search/Scope.h"

#include "SearchSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
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

// The grouping as the rule states it, compare by compare, for checking the
// one that passes over pivots nothing else matches.
std::vector<std::vector<TItemRec *>> PlainGroups(std::vector<TItemRec *> items, const TDupSettings &settings)
{
    TCompareContext context;
    context.column = 2;
    context.archivesAsFolders = settings.archivesAsFolders;
    SortItems(items, context);
    std::vector<std::vector<TItemRec *>> groups;
    const size_t n = items.size();
    for (size_t last = 0, first = 0; first < n; first = last + 1) {
        last = first;
        while (last + 1 < n && CompareItems(items[first], items[last + 1], context) == 0)
            ++last;
        for (size_t start = first; start < last;) {
            size_t j = start;
            for (size_t k = start + 1; k <= last; ++k)
                if (DupEqual(items[start], items[k], settings))
                    std::swap(items[++j], items[k]);
            if (j > start)
                groups.emplace_back(items.begin() + std::ptrdiff_t(start), items.begin() + std::ptrdiff_t(j + 1));
            start = j + 1;
        }
    }
    return groups;
}

TEST_F(DupFixture, LongRunsGroupAsTheRuleSays)
{
    // Few sizes, names, dates and attributes, so that runs are long and
    // groups interleave; every combination of the four boxes.
    const char *names[] = {"a1", "A1", "a2", "ab", "AB", "aB", "a", "a\xC3\xA4", "a\xC3\x84"};
    std::vector<HandFile> files;
    uint64_t seed = 12345;
    const auto next = [&](uint64_t below) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return (seed >> 33) % below;
    };
    for (int i = 0; i < 400; ++i)
        files.push_back(File(names[next(9)], int64_t(next(3)), 0x3A000000u + uint32_t(next(2)),
                             next(2) ? uint8_t(faArchive) : uint8_t(faArchive | faHidden)));
    build({Disk("D", files)});
    std::vector<TItemRec *> bucket;
    for (TFileRec *f : testcat::Chain(diskNode(0)))
        bucket.push_back(f);
    for (int mask = 0; mask < 16; ++mask) {
        const TDupSettings settings = Checked(mask & 1, mask & 2, mask & 4, mask & 8);
        EXPECT_EQ(Groups(bucket, settings), PlainGroups(bucket, settings)) << "boxes " << mask;
    }
}

// ---------------------------------------------------------------- the walk

// Runs the walk's steps on the tree directly, counting them and noting the
// phase of each progress report.
class DirectHost : public TDirectSearchHost
{
public:
    void loadSubfolders(TTreeNode *node) override
    {
        ++folderLoads;
        TDirectSearchHost::loadSubfolders(node);
    }
    void loadFileList(TTreeNode *node, TFileListFilter *filter) override
    {
        ++fileLoads;
        TDirectSearchHost::loadFileList(node, filter);
        if (afterFileLoad)
            afterFileLoad(node);
    }
    void unloadFileListIfUnused(TTreeNode *node) override
    {
        ++unloads;
        TDirectSearchHost::unloadFileListIfUnused(node);
    }
    void showProgress(int checked, int total, int found) override
    {
        progress.emplace_back(checked, total, found, walk ? walk->collectingPhase() : false);
    }

    int folderLoads = 0, fileLoads = 0, unloads = 0;
    std::vector<std::tuple<int, int, int, bool>> progress;   // checked, total, found, collecting
    std::function<void(TTreeNode *)> afterFileLoad;
    const TSearchWalk *walk = nullptr;
};

// The name filter and the three kinds of a duplicates search, through the
// snapshot the window takes; mask empty: no name group.
TSearchCriteria Filter(bool files, bool folders, bool disks, const QString &mask = {})
{
    TSearchWork work;
    work.duplicatesMode = true;
    work.files = files;
    work.folders = folders;
    work.disks = disks;
    if (!mask.isEmpty()) {
        work.byName = true;
        work.setNameMode(nmFileMask);
        work.setNameText(mask);
    }
    bool active = false;
    const std::optional<TSearchCriteria> criteria = TakeCriteriaSnapshot(work, {}, &active);
    EXPECT_TRUE(criteria.has_value());
    return criteria ? *criteria : TSearchCriteria{};
}

// Fills the counts a scan would have stored, so progress totals are right.
HandDisk Counted(HandDisk disk)
{
    disk.totalFiles = int32_t(disk.rootFiles.size());
    disk.archiveFiles = 0;
    disk.totalFolders = int32_t(disk.folders.size());
    for (const HandFolder &folder : disk.folders)
        (folder.kind & rfCompressed ? disk.archiveFiles : disk.totalFiles) += int32_t(folder.files.size());
    return disk;
}

// Saved catalogs reopened, so that nothing below the first folder level
// and no file list is in memory.
class DupWalkFixture : public testcat::CatalogFixture
{
protected:
    TTreeNode *openCatalog(const QString &file, std::vector<HandDisk> disks)
    {
        HandCatalog catalog;
        catalog.name = file.toUtf8();
        for (HandDisk &disk : disks)
            catalog.disks.push_back(Counted(std::move(disk)));
        return openBytes(testcat::BuildCatalogBytes(catalog), file);
    }

    // Runs a duplicates search into m_list and returns the names of the
    // hits in list order, each group in brackets: "[a b] [c d]".
    std::string run(const TSearchCriteria &filter, const TDupSettings &settings, bool wholeScope = true)
    {
        TSearchWalk walk(m_forest, m_list, m_host);
        m_host.walk = &walk;
        m_groupStarts.clear();
        RunDuplicateSearch(walk, filter, settings, wholeScope, &m_groupStarts);
        m_host.walk = nullptr;
        m_found = walk.foundCount();
        m_checked = walk.checkedCount();
        m_total = walk.totalCount();
        m_firstHit = walk.firstHitIndex();
        m_collecting = walk.collectingPhase();
        return rows();
    }

    std::string rows() const
    {
        QStringList parts;
        const std::vector<TItemRec *> items = m_list.items();
        for (size_t i = 0; i < items.size(); ++i) {
            QString text = describe(items[i]);
            if (std::find(m_groupStarts.begin(), m_groupStarts.end(), int(i)) != m_groupStarts.end())
                text.prepend(QLatin1Char('['));
            const bool last = i + 1 == items.size()
                || std::find(m_groupStarts.begin(), m_groupStarts.end(), int(i + 1)) != m_groupStarts.end();
            if (last && !m_groupStarts.empty())
                text.append(QLatin1Char(']'));
            parts << text;
        }
        return parts.join(QLatin1Char(' ')).toStdString();
    }

    // DISK:NAME of a record.
    static QString describe(const TItemRec *rec)
    {
        if (!rec)
            return QStringLiteral("(null)");
        const TTreeNode *disk = DiskNodeOf(rec->Node);
        const QByteArray name = ItemIs(rec->KindFlags, rkFile) ? static_cast<const TFileRec *>(rec)->name().toByteArray()
                                                               : rec->Node->text();
        if (ItemIs(rec->KindFlags, rkDisk))
            return QStringLiteral("disk:") + QString::fromUtf8(name);
        return QString::fromUtf8(disk->text()) + QLatin1Char(':') + QString::fromUtf8(name);
    }

    TFoundList m_list{ResultListId::Duplicates};
    DirectHost m_host;
    std::vector<int> m_groupStarts;
    int m_found = 0, m_checked = 0, m_total = 0, m_firstHit = -2;
    bool m_collecting = true;
};

TEST_F(DupWalkFixture, FindsGroupsAcrossCatalogsAndKeepsTheListsItRead)
{
    openCatalog(QStringLiteral("one.ctf"),
                {Disk("CD1", {File("Setup.exe", 100), File("readme.txt", 5)},
                      {Folder("Tools", 0, 0, {File("tool.exe", 7), File("setup.exe", 100)})})});
    openCatalog(QStringLiteral("two.ctf"), {Disk("CD2", {File("SETUP.EXE", 100), File("README.TXT", 6)}),
                                            Disk("CD3", {}, {Folder("tools", 0, 0, {File("TOOL.EXE", 7)})})});
    EXPECT_EQ(run(Filter(true, false, false), Checked(true, true, false, false)),
              "[CD1:Setup.exe CD1:setup.exe CD2:SETUP.EXE] [CD1:tool.exe CD3:TOOL.EXE]");
    EXPECT_EQ(m_groupStarts, (std::vector<int>{0, 3}));
    EXPECT_EQ(m_found, 5);
    EXPECT_EQ(m_firstHit, 0);
    EXPECT_FALSE(m_collecting);
    // Grouping counts every collected candidate once.
    EXPECT_EQ(m_total, 7);
    EXPECT_EQ(m_checked, m_total);
    // Every hit's hint is its place in the list.
    const std::vector<TItemRec *> items = m_list.items();
    for (size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(items[i]->DupListPos, int16_t(i));
    // The lists read for the search stay: the candidates point into them.
    EXPECT_EQ(m_host.unloads, 0);
    EXPECT_GT(m_host.fileLoads, 0);
    for (TTreeNode *root : m_forest.roots())
        testcat::ForEachNode(root, [](TTreeNode *node) {
            if (TFolderRec *folder = AsFolder(NodeRec(node))) {
                EXPECT_EQ(folder->FilesLoaded, 1) << node->text().constData();
            } else if (TDiskRec *disk = AsDisk(NodeRec(node))) {
                EXPECT_EQ(disk->FilesLoaded, 1) << node->text().constData();
            }
        });
}

TEST_F(DupWalkFixture, ListsDroppedByOtherCommandsMidWalkKeepTheCandidates)
{
    openCatalog(QStringLiteral("one.ctf"), {Disk("CD1", {}, {Folder("A", 0, 0, {File("same.bin", 40)})})});
    openCatalog(QStringLiteral("two.ctf"), {Disk("CD2", {}, {Folder("B", 0, 0, {File("SAME.BIN", 40)})})});
    // Another command drops every list read so far whenever the walk loads
    // one: the chains the candidates point into must stay.
    std::vector<TTreeNode *> loaded;
    m_host.afterFileLoad = [&loaded](TTreeNode *node) {
        for (TTreeNode *earlier : loaded)
            UnloadFileList(earlier);
        loaded.push_back(node);
    };
    EXPECT_EQ(run(Filter(true, false, false), Checked(true, true, false, false)), "[CD1:same.bin CD2:SAME.BIN]");
}

TEST_F(DupWalkFixture, ProgressCountsCandidatesWhileCollectingThenGroupedItems)
{
    openCatalog(QStringLiteral("one.ctf"), {Disk("CD1", {File("a", 1), File("b", 2)}), Disk("CD2", {File("A", 1)})});
    run(Filter(true, false, false), Checked(true, true, false, false));
    ASSERT_FALSE(m_host.progress.empty());
    bool sawCollecting = false, sawGrouping = false;
    for (const auto &[checked, total, found, collecting] : m_host.progress) {
        if (collecting) {
            sawCollecting = true;
            EXPECT_EQ(total, 3);        // the scope's files
            EXPECT_LE(found, 3);        // candidates so far
        } else {
            sawGrouping = true;
            EXPECT_EQ(total, 3);        // the candidates collected
        }
        EXPECT_LE(checked, total);
    }
    EXPECT_TRUE(sawCollecting);
    EXPECT_TRUE(sawGrouping);
    EXPECT_FALSE(std::get<3>(m_host.progress.back()));
    EXPECT_EQ(m_checked, 3);
}

TEST_F(DupWalkFixture, MembersOfCompressedFilesOnlyWhenAsked)
{
    openCatalog(QStringLiteral("one.ctf"),
                {Disk("CD1", {File("m1.txt", 10)}, {Folder("pack.zip", 10, rfCompressed, {File("m1.txt", 10)})}),
                 Disk("CD2", {File("PACK.ZIP", 10)})});
    TDupSettings settings = Checked(true, true, false, false);
    EXPECT_EQ(run(Filter(true, false, false), settings), "");
    // The skipped members were not even read.
    const TFolderRec *pack = AsFolder(NodeRec(m_forest.roots().front()->child(0)->child(0)));
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->FilesLoaded, 0);
    m_list.clear();
    settings.skipArchives = false;
    EXPECT_EQ(run(Filter(true, false, false), settings), "[CD1:m1.txt CD1:m1.txt]");
    // A compressed file meets a plain file of its name only when the two sort alike.
    m_list.clear();
    settings.archivesAsFolders = false;
    EXPECT_EQ(run(Filter(true, false, false), settings),
              "[CD1:m1.txt CD1:m1.txt] [CD1:pack.zip CD2:PACK.ZIP]");
}

TEST_F(DupWalkFixture, SkippedMembersAreCountedAsExamined)
{
    openCatalog(QStringLiteral("one.ctf"),
                {Disk("CD1", {}, {Folder("pack.zip", 30, rfCompressed, {File("x", 10), File("y", 20)})})});
    run(Filter(true, false, false), Checked(true, true, false, false));
    // The compressed file is one candidate; its two members are counted as examined.
    ASSERT_FALSE(m_host.progress.empty());
    bool sawThree = false;
    for (const auto &[checked, total, found, collecting] : m_host.progress)
        if (collecting && checked == 3)
            sawThree = true;
    EXPECT_TRUE(sawThree);
}

TEST_F(DupWalkFixture, NameFilterKindsAndDisks)
{
    HandDisk cd1 = Disk("Backup", {File("alpha.txt", 1), File("beta.txt", 2)}, {Folder("Alpha", 50)});
    HandDisk cd2 = Disk("Backup", {File("ALPHA.TXT", 1), File("BETA.TXT", 2)}, {Folder("ALPHA", 50)});
    openCatalog(QStringLiteral("one.ctf"), {cd1});
    openCatalog(QStringLiteral("two.ctf"), {cd2});
    const TDupSettings settings = Checked(true, true, false, false);
    // Disks are not subject to the name filter; equal disks always group.
    // In bucket order: "A..." (folders before files), then "B..." (the disks).
    EXPECT_EQ(run(Filter(true, true, true, QStringLiteral("a*")), settings),
              "[Backup:Alpha Backup:ALPHA] [Backup:alpha.txt Backup:ALPHA.TXT] [disk:Backup disk:Backup]");
    m_list.clear();
    EXPECT_EQ(run(Filter(false, true, false), settings), "[Backup:Alpha Backup:ALPHA]");
    m_list.clear();
    EXPECT_EQ(run(Filter(true, false, false, QStringLiteral("b*")), settings),
              "[Backup:beta.txt Backup:BETA.TXT]");
}

TEST_F(DupWalkFixture, OnlySizeStillKeepsFirstLettersApart)
{
    openCatalog(QStringLiteral("one.ctf"),
                {Disk("CD1", {File("a.txt", 5), File("b.txt", 5)}), Disk("CD2", {File("abc.doc", 5)})});
    EXPECT_EQ(run(Filter(true, false, false), Checked(false, true, false, false)), "[CD1:a.txt CD2:abc.doc]");
}

TEST_F(DupWalkFixture, ASecondSearchAddsOnlyNewGroups)
{
    openCatalog(QStringLiteral("one.ctf"),
                {Disk("CD1", {File("a.txt", 1), File("b.txt", 2)}), Disk("CD2", {File("a.txt", 1), File("b.txt", 2)})});
    const TDupSettings settings = Checked(true, true, false, false);
    EXPECT_EQ(run(Filter(true, false, false, QStringLiteral("a*")), settings), "[CD1:a.txt CD2:a.txt]");
    run(Filter(true, false, false), settings);
    EXPECT_EQ(m_list.count(), 4);
    EXPECT_EQ(m_groupStarts, (std::vector<int>{2}));
    EXPECT_EQ(m_firstHit, 2);
    EXPECT_EQ(m_found, 2);
}

TEST_F(DupWalkFixture, ExcludedDisksAreLeftOut)
{
    openCatalog(QStringLiteral("one.ctf"),
                {Disk("CD1", {File("a", 1)}), Disk("CD2", {File("a", 1)}), Disk("CD3", {File("a", 1)})});
    TTreeNode *catalog = m_forest.roots().front();
    ToggleScopeNode(catalog->child(1));
    const TDupSettings settings = Checked(true, true, false, false);
    EXPECT_EQ(run(Filter(true, false, false), settings, false), "[CD1:a CD3:a]");
    EXPECT_EQ(m_total, 2);
    m_list.clear();
    EXPECT_EQ(run(Filter(true, false, false), settings, true), "[CD1:a CD2:a CD3:a]");
}

TEST_F(DupWalkFixture, CancelStopsCollectingButGroupsWhatWasCollected)
{
    openCatalog(QStringLiteral("one.ctf"), {Disk("CD1", {File("a", 1), File("b", 2)}),
                                            Disk("CD2", {File("A", 1), File("B", 2)}), Disk("CD3", {File("b", 2)})});
    TSearchWalk *running = nullptr;
    int loads = 0;
    m_host.afterFileLoad = [&](TTreeNode *) {
        if (++loads == 3 && running)
            running->cancel();
    };
    TSearchWalk walk(m_forest, m_list, m_host);
    running = &walk;
    m_groupStarts.clear();
    RunDuplicateSearch(walk, Filter(true, false, false), Checked(true, true, false, false), true, &m_groupStarts);
    // The cancel came as CD3's list was read: its file is not collected.
    EXPECT_EQ(rows(), "[CD1:a CD2:A] [CD1:b CD2:B]");
    EXPECT_TRUE(walk.cancelled());
}

TEST_F(DupWalkFixture, AnErrorWhileCollectingStillGroupsWhatWasCollected)
{
    openCatalog(QStringLiteral("one.ctf"), {Disk("CD1", {File("a", 1), File("b", 2)}),
                                            Disk("CD2", {File("A", 1), File("B", 2)}), Disk("CD3", {File("b", 2)})});
    int loads = 0;
    m_host.afterFileLoad = [&](TTreeNode *) {
        if (++loads == 3)
            throw std::runtime_error("unreadable record");
    };
    EXPECT_EQ(run(Filter(true, false, false), Checked(true, true, false, false)), "[CD1:a CD2:A] [CD1:b CD2:B]");
    EXPECT_FALSE(m_collecting);
}

// The walk on threads: a suite of its own, so that the ThreadSanitizer
// run of the search's thread tests can pick it.
class DupWalkThreads : public DupWalkFixture
{
};

TEST_F(DupWalkThreads, RunsBesideTheTreesOwnerEditingAndExpanding)
{
    // The walk on a thread of its own (its steps run there, under the write
    // lock they take), while this thread edits descriptions of files the
    // walk collects and reads whole folder trees of the disks it walks.
    std::vector<HandDisk> disks;
    for (int d = 0; d < 4; ++d) {
        std::vector<HandFolder> folders;
        for (int f = 0; f < 6; ++f) {
            std::vector<HandFile> files;
            for (int i = 0; i < 40; ++i)
                files.push_back(File(QByteArray("file") + QByteArray::number(i), 100 + i));
            HandFolder folder = Folder(QByteArray("folder") + QByteArray::number(f), 0, 0, files);
            folder.depth = 1 + f % 3;
            folders.push_back(folder);
        }
        disks.push_back(Disk(QByteArray("Disk") + QByteArray::number(d), {File("root.txt", 7)}, folders));
    }
    openCatalog(QStringLiteral("one.ctf"), disks);
    TTreeNode *catalog = m_forest.roots().front();
    LoadFileList(catalog->child(0));
    std::vector<TFileRec *> edited = testcat::Chain(catalog->child(0));
    ASSERT_FALSE(edited.empty());

    TSearchWalk walk(m_forest, m_list, m_host);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        RunDuplicateSearch(walk, Filter(true, true, true), Checked(true, true, false, false), true, &m_groupStarts);
        done.store(true);
    });
    int round = 0;
    while (!done.load()) {
        for (TFileRec *file : edited)
            StoreDescription(file->Desc, round % 2 ? QByteArrayView("edited") : QByteArrayView("again"));
        LoadSubfolders(catalog->child(1 + round % 3), true, true);
        ++round;
    }
    worker.join();
    const std::string concurrent = rows();

    // The same search alone finds the same groups.
    m_list.clear();
    EXPECT_EQ(run(Filter(true, true, true), Checked(true, true, false, false)), concurrent);
    // On each of the four disks: root.txt, each folder's files, the folders
    // themselves (equal names, no total), and the disk (equal serial, label
    // and capacity).
    EXPECT_EQ(m_list.count(), 4 * (1 + 6 * 40 + 6 + 1));
}

TEST_F(DupWalkThreads, EntriesRemovedWhileTheWalkCollects)
{
    std::vector<HandDisk> disks;
    for (int d = 0; d < 3; ++d) {
        std::vector<HandFile> files;
        for (int i = 0; i < 200; ++i)
            files.push_back(File(QByteArray("f") + QByteArray::number(i), i));
        HandDisk disk = Disk(QByteArray("Disk") + QByteArray::number(d), files);
        disk.serial = uint32_t(d);
        disks.push_back(disk);
    }
    openCatalog(QStringLiteral("one.ctf"), disks);
    // Two searches leave 3 x 20 entries that the third must skip while
    // this thread removes them one by one.
    run(Filter(true, false, false, QStringLiteral("f1?")), Checked(true, true, false, false));
    run(Filter(true, false, false, QStringLiteral("f2?")), Checked(true, true, false, false));
    ASSERT_EQ(m_list.count(), 3 * 20);

    TSearchWalk walk(m_forest, m_list, m_host);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        RunDuplicateSearch(walk, Filter(true, false, false), Checked(true, true, false, false), true, nullptr);
        done.store(true);
    });
    while (!done.load())
        if (m_list.count() > 0)
            m_list.remove({0});
    worker.join();
    // Every record at most once, every hint its place.
    const std::vector<TItemRec *> items = m_list.items();
    std::set<const TItemRec *> seen(items.begin(), items.end());
    EXPECT_EQ(seen.size(), items.size());
    EXPECT_TRUE(testcat::HintsMatchIndexes(m_list));
}

TEST_F(DupWalkFixture, NoPropertyChosenSearchesNothing)
{
    openCatalog(QStringLiteral("one.ctf"), {Disk("CD1", {File("a", 1)}), Disk("CD2", {File("a", 1)})});
    EXPECT_FALSE(DupPropertyChosen(Checked(false, false, false, false)));
    EXPECT_EQ(MsgNoDupProperty(), QStringLiteral("Please select at least one criteria for duplicate files."));
    EXPECT_EQ(MsgNoDupPropertyCaption(), QStringLiteral("Error"));
    EXPECT_EQ(run(Filter(true, true, true), Checked(false, false, false, false)), "");
    EXPECT_EQ(m_host.fileLoads, 0);
}

TEST_F(DupWalkFixture, SingleCopiesAreTheFilesNoOtherDiskHas)
{
    openCatalog(QStringLiteral("one.ctf"),
                {Disk("Main", {File("kept.doc", 10), File("only.doc", 11), File("twice.doc", 12)},
                      {Folder("Sub", 0, 0, {File("twice.doc", 12), File("other.doc", 13)})}),
                 Disk("Backup", {File("KEPT.DOC", 10), File("other.doc", 14)})});
    openCatalog(QStringLiteral("two.ctf"), {Disk("Old", {File("gone.doc", 5), File("only.doc", 99)})});
    // Only the disk Main is chosen: its files are listed when no other disk
    // (Backup, or Old of the other catalog) has them; a second copy on Main
    // itself does not count. Sizes must agree (other.doc, only.doc).
    for (TTreeNode *catalog : m_forest.roots())
        for (TTreeNode *disk : catalog->children())
            SetItemFlag(NodeRec(disk), rfInSearch, disk->text() == "Main");
    RefreshScope(m_forest);
    TDupSettings settings = Checked(true, true, false, false);
    settings.singleCopy = true;
    EXPECT_EQ(run(Filter(true, true, true), settings, false),
              "Main:only.doc Main:twice.doc Main:twice.doc Main:other.doc");
    EXPECT_TRUE(m_groupStarts.empty());
    EXPECT_EQ(m_found, 4);

    // The whole scope: every disk against the others.
    m_list.clear();
    EXPECT_EQ(run(Filter(true, false, false), settings, true),
              "Main:only.doc Main:twice.doc Main:twice.doc Main:other.doc Backup:other.doc Old:gone.doc "
              "Old:only.doc");

    // Without "Size" the names decide, but sizes still have to agree.
    m_list.clear();
    settings.size = false;
    EXPECT_EQ(run(Filter(true, false, false, QStringLiteral("o*")), settings, true),
              "Main:only.doc Main:other.doc Backup:other.doc Old:only.doc");
}

TEST_F(DupWalkFixture, SingleCopiesCountCompressedCopiesWhenMembersAreCompared)
{
    openCatalog(QStringLiteral("one.ctf"),
                {Disk("Main", {File("data.bin", 40), File("pack.zip", 40)}),
                 Disk("Archive", {}, {Folder("pack.zip", 40, rfCompressed, {File("data.bin", 40)})})});
    for (TTreeNode *disk : m_forest.roots().front()->children())
        SetItemFlag(NodeRec(disk), rfInSearch, disk->text() == "Main");
    RefreshScope(m_forest);
    TDupSettings settings = Checked(true, true, false, false);
    settings.singleCopy = true;
    // The compressed file on Archive is a copy of Main's pack.zip; its
    // member counts only when members are compared.
    EXPECT_EQ(run(Filter(true, false, false), settings, false), "Main:data.bin");
    m_list.clear();
    settings.skipArchives = false;
    EXPECT_EQ(run(Filter(true, false, false), settings, false), "");
}

} // namespace

