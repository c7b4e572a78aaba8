// Tests of the record functions of the catalog forest: kind and flag tests,
// disk space arithmetic, folder paths and their cache, the has-description
// mark, change marks, the size estimate, file records, the forest itself, and
// freeing records with their result-list entries found by position hints.
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "catalog/LoadSave.h"
#include "catalog/ResultLists.h"

#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <limits>

using namespace testcat;

namespace {

// ---------------------------------------------------------------- kind byte

TEST(KindByteTest, ItemIsComparesKindsAndTestsFlags)
{
    struct Case {
        uint8_t kind;
        uint8_t v;
        bool expected;
    };
    const Case cases[] = {
        {0x24, 4, true},     {0x24, 0x20, true},  {0x24, 3, false},   {0x24, 0x08, false},
        {0x93, 3, true},     {0x93, 0x80, true},  {0x93, 0x10, true},  {0x93, 0x90, true},
        {0x93, 0x48, false}, {0x93, 1, false},    {0x02, 2, true},     {0x02, 0, false},
        {0x00, 0, true},     {0xF8, 0, true},     {0x07, 7, true},     {0x0F, 7, true},
        {0x07, 0xFF, true},  {0x40, 0x40, true},  {0x40, 0x41, true},  {0x3F, 0x08, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ItemIs(c.kind, c.v), c.expected) << std::hex << int(c.kind) << " " << int(c.v);
    EXPECT_EQ(ItemKind(0x93), rkDisk);
    EXPECT_EQ(ItemKind(0x24), rkCatalog);
}

TEST(KindByteTest, SetItemFlagReplacesKindOrSwitchesFlags)
{
    struct Case {
        uint8_t before;
        uint8_t v;
        bool on;
        uint8_t after;
    };
    const Case cases[] = {
        {0x93, 2, true, 0x92},    {0x93, 2, false, 0x92},   // the switch is not used for kinds
        {0x93, 0x10, false, 0x83}, {0x83, 0x10, true, 0x93},
        {0x93, 0x10, true, 0x93},  {0x02, 0x48, true, 0x4A},
        {0x4A, 0x48, false, 0x02}, {0xFF, 0, true, 0xF8},
        {0x01, 0x80, true, 0x81},  {0xF9, 7, false, 0xFF},
    };
    for (const Case &c : cases) {
        TFolderRec rec;
        rec.KindFlags = c.before;
        SetItemFlag(&rec, c.v, c.on);
        EXPECT_EQ(int(rec.KindFlags), int(c.after)) << std::hex << int(c.before) << " " << int(c.v) << " " << c.on;
    }
}

TEST(KindByteTest, NewRecordsStartWithTheirKindAndNoHints)
{
    TFolderRec folder;
    TDiskRec disk;
    TCatalogRec catalog;
    EXPECT_EQ(ItemKind(folder.KindFlags), rkFolder);
    EXPECT_EQ(ItemKind(disk.KindFlags), rkDisk);
    EXPECT_TRUE(ItemIs(disk.KindFlags, rfInSearch)) << "every new disk is in the search scope";
    EXPECT_EQ(int(catalog.KindFlags), 4) << "a new catalog record has the kind byte 4";
    for (const TItemRec *rec : {static_cast<const TItemRec *>(&folder), static_cast<const TItemRec *>(&disk),
                                static_cast<const TItemRec *>(&catalog)}) {
        EXPECT_EQ(rec->SearchListPos, -1);
        EXPECT_EQ(rec->UserListPos, -1);
        EXPECT_EQ(rec->DupListPos, -1);
    }
}

// ---------------------------------------------------------------- disk space

int64_t bytesOf(int64_t clusters, const TDiskRec &d)
{
    return clusters * 10000 * d.BytesPerSector * d.SectorsPerCluster;
}

TEST(DiskSpaceTest, NormalDisk)
{
    TDiskRec d;
    d.BytesPerSector = 512;
    d.SectorsPerCluster = 8;
    d.TotalClusters = 100000;
    d.FreeClusters = 30000;
    d.OutsideClusters = 1234;   // present in memory, but a normal disk counts it only as "outside"
    EXPECT_EQ(DiskSpace(&d, 0), bytesOf(100000, d));
    EXPECT_EQ(DiskSpace(&d, 1), bytesOf(30000, d));
    EXPECT_EQ(DiskSpace(&d, 2), bytesOf(100000 - 30000 - 1234, d));
    EXPECT_EQ(DiskSpace(&d, 3), bytesOf(1234, d));
    for (int which : {-1, 4, 5, 100})
        EXPECT_EQ(DiskSpace(&d, which), 0) << which;
}

TEST(DiskSpaceTest, VirtualRootIsAFullDiskOfItsContent)
{
    TDiskRec d;
    d.KindFlags = rkDisk | rfInSearch | rfVirtualRoot;
    d.BytesPerSector = 2048;
    d.SectorsPerCluster = 4;
    d.TotalClusters = 500000;
    d.FreeClusters = 120000;
    d.OutsideClusters = 300000;
    const int64_t used = bytesOf(500000 - 120000 - 300000, d);
    EXPECT_EQ(DiskSpace(&d, 0), used);
    EXPECT_EQ(DiskSpace(&d, 1), 0) << "a virtual root has no free space, whatever FreeClusters says";
    EXPECT_EQ(DiskSpace(&d, 2), used);
    EXPECT_EQ(DiskSpace(&d, 3), bytesOf(300000, d));
    EXPECT_EQ(DiskSpace(&d, 7), 0);
}

TEST(DiskSpaceTest, LargeCountsDoNotOverflowAndDamagedCountsGoNegative)
{
    TDiskRec d;
    d.BytesPerSector = 4096;
    d.SectorsPerCluster = 64;
    d.TotalClusters = std::numeric_limits<int32_t>::max();
    d.FreeClusters = 1;
    EXPECT_EQ(DiskSpace(&d, 0), bytesOf(std::numeric_limits<int32_t>::max(), d));
    EXPECT_EQ(DiskSpace(&d, 1), bytesOf(1, d));

    TDiskRec bad;
    bad.BytesPerSector = 512;
    bad.SectorsPerCluster = 1;
    bad.TotalClusters = 10;
    bad.FreeClusters = 25;
    EXPECT_EQ(DiskSpace(&bad, 2), bytesOf(-15, bad));
}

// ---------------------------------------------------------------- forest fixture

// A catalog "C" with disk "D" holding folders built by the tests.
class ForestTest : public CatalogFixture
{
protected:
    void SetUp() override
    {
        m_cat = NewCatalogNode(m_forest, "C");
        m_disk = AddDiskNode(m_cat, "D");
    }
    TDiskRec *disk() { return AsDisk(NodeRec(m_disk)); }
    TTreeNode *folder(TTreeNode *parent, const QByteArray &name, uint8_t flags = 0)
    {
        TTreeNode *n = AddFolderNode(parent, name);
        if (flags)
            SetItemFlag(NodeRec(n), flags, true);
        return n;
    }

    TTreeNode *m_cat = nullptr;
    TTreeNode *m_disk = nullptr;
};

// ---------------------------------------------------------------- paths

TEST_F(ForestTest, NodePathOfDisksAndFolders)
{
    TTreeNode *a = folder(m_disk, "Alpha");
    TTreeNode *b = folder(a, "Beta");
    TTreeNode *c = folder(b, "Gamma Delta");
    EXPECT_EQ(NodePath(m_disk, true, false), QByteArray("\\"));
    EXPECT_EQ(NodePath(m_disk, true, true), QByteArray("\\")) << "a normal disk has no root path";
    EXPECT_EQ(NodePath(a, true, false), QByteArray("\\Alpha"));
    EXPECT_EQ(NodePath(c, true, false), QByteArray("\\Alpha\\Beta\\Gamma Delta"));
    EXPECT_EQ(NodePath(c, false, true), QByteArray("\\Alpha\\Beta\\Gamma Delta")) << "not compressed: nothing cut";
    EXPECT_EQ(NodePath(m_cat, true, true), QByteArray()) << "other kinds yield an empty text";
}

TEST_F(ForestTest, NodePathCutsTheCompressedFilesOwnName)
{
    TTreeNode *pack = folder(m_disk, "pack.zip", rfCompressed);
    TTreeNode *docs = folder(pack, "Docs", rfCompressed);
    TTreeNode *sub = folder(m_disk, "Sub");
    TTreeNode *inner = folder(sub, "inner.arj", rfCompressed);

    EXPECT_EQ(NodePath(docs, false, false), QByteArray("\\pack.zip"));
    EXPECT_EQ(NodePath(pack, false, false), QByteArray("\\")) << "a one-character result keeps its backslash";
    EXPECT_EQ(NodePath(docs, true, false), QByteArray("\\pack.zip\\Docs"));
    EXPECT_EQ(NodePath(pack, true, false), QByteArray("\\pack.zip"));
    EXPECT_EQ(NodePath(inner, false, false), QByteArray("\\Sub"));
    EXPECT_EQ(NodePath(inner, true, false), QByteArray("\\Sub\\inner.arj"));
}

TEST_F(ForestTest, NodePathOfAVirtualRootStartsAtItsRootPath)
{
    SetItemFlag(disk(), rfVirtualRoot, true);
    disk()->RootPath = NewText("\\Data\\Photos\\");
    TTreeNode *sub = folder(m_disk, "2003");
    TTreeNode *pack = folder(sub, "raw.zip", rfCompressed);

    EXPECT_EQ(NodePath(m_disk, true, true), QByteArray("\\Data\\Photos"));
    EXPECT_EQ(NodePath(m_disk, true, false), QByteArray("\\"));
    EXPECT_EQ(NodePath(sub, true, true), QByteArray("\\Data\\Photos\\2003"));
    EXPECT_EQ(NodePath(sub, true, false), QByteArray("\\2003"));
    EXPECT_EQ(NodePath(pack, false, true), QByteArray("\\Data\\Photos\\2003"));
}

TEST_F(ForestTest, NodePathIsCachedUntilTheCacheIsCleared)
{
    TTreeNode *a = folder(m_disk, "Old");
    TTreeNode *b = folder(a, "Child");
    TTreeNode *other = folder(m_disk, "Other");
    EXPECT_EQ(NodePath(b, true, false), QByteArray("\\Old\\Child"));
    EXPECT_EQ(NodePath(other, true, false), QByteArray("\\Other"));
    ASSERT_NE(AsFolder(NodeRec(b))->PathCache, nullptr);
    EXPECT_EQ(TextView(AsFolder(NodeRec(b))->PathCache), QByteArrayView("\\Old\\Child"));

    a->setText("New");
    EXPECT_EQ(NodePath(b, true, false), QByteArray("\\Old\\Child")) << "the cache is used while it is set";
    ClearPathCache(a);
    EXPECT_EQ(AsFolder(NodeRec(b))->PathCache, nullptr);
    EXPECT_NE(AsFolder(NodeRec(other))->PathCache, nullptr) << "only the subtree is cleared";
    EXPECT_EQ(NodePath(b, true, false), QByteArray("\\New\\Child"));
    EXPECT_EQ(NodePath(a, true, false), QByteArray("\\New"));
}

// ---------------------------------------------------------------- descriptions and marks

TEST_F(ForestTest, UpdateHasDescFollowsTheChain)
{
    TTreeNode *f = folder(m_disk, "F");
    TFolderRec *rec = AsFolder(NodeRec(f));

    // An empty chain leaves the flag as it was, set or not.
    SetItemFlag(rec, rfHasDesc, true);
    UpdateHasDesc(rec);
    EXPECT_TRUE(ItemIs(rec->KindFlags, rfHasDesc));
    SetItemFlag(rec, rfHasDesc, false);
    UpdateHasDesc(rec);
    EXPECT_FALSE(ItemIs(rec->KindFlags, rfHasDesc));

    AppendFile(f, "one");
    AppendFile(f, "two");
    TFileRec *last = AppendFile(f, "three");
    EXPECT_EQ(rec->FileCount, 3);
    EXPECT_EQ(ChainLength(rec->Next), 3);
    SetItemFlag(rec, rfHasDesc, true);
    UpdateHasDesc(rec);
    EXPECT_FALSE(ItemIs(rec->KindFlags, rfHasDesc)) << "no file has a description";

    last->Desc = NewText("only the last one");
    UpdateHasDesc(rec);
    EXPECT_TRUE(ItemIs(rec->KindFlags, rfHasDesc));
    EXPECT_EQ(ItemKind(rec->KindFlags), rkFolder);
    FreeText(last->Desc);
    EXPECT_EQ(last->Desc, nullptr);
    UpdateHasDesc(rec);
    EXPECT_FALSE(ItemIs(rec->KindFlags, rfHasDesc));
}

TEST_F(ForestTest, SetDiskDirtyMarksDiskAndCatalogButNothingAboveDiskLevel)
{
    std::vector<TTreeNode *> hookCalls;
    struct HookGuard {
        ~HookGuard() { SetCatalogDirtyHook({}); }
    } guard;
    SetCatalogDirtyHook([&](TTreeNode *n) { hookCalls.push_back(n); });
    TTreeNode *a = folder(m_disk, "A");
    TTreeNode *b = folder(a, "B");
    TCatalogRec *cat = AsCatalog(NodeRec(m_cat));
    disk()->Dirty = 0;
    cat->Dirty = 0;

    SetDiskDirty(m_cat, true);
    EXPECT_EQ(disk()->Dirty, 0);
    EXPECT_EQ(cat->Dirty, 0);
    EXPECT_TRUE(hookCalls.empty()) << "a catalog node is left alone";

    SetDiskDirty(b, true);
    EXPECT_EQ(disk()->Dirty, 1);
    EXPECT_EQ(cat->Dirty, 1);
    ASSERT_EQ(hookCalls.size(), 1u);
    EXPECT_EQ(hookCalls[0], m_cat);

    SetDiskDirty(m_disk, false);
    EXPECT_EQ(disk()->Dirty, 0);
    EXPECT_EQ(cat->Dirty, 0);

    SetCatalogDirty(b, true);
    EXPECT_EQ(cat->Dirty, 1);
    EXPECT_EQ(disk()->Dirty, 0) << "the catalog mark alone does not touch the disk";
    EXPECT_EQ(hookCalls.size(), 3u);
    SetCatalogDirtyHook({});
    SetCatalogDirty(m_cat, false);
    EXPECT_EQ(hookCalls.size(), 3u) << "the hook was removed";
}

TEST_F(ForestTest, TreeWalksFindDiskAndCatalog)
{
    TTreeNode *a = folder(m_disk, "A");
    TTreeNode *b = folder(a, "B");
    EXPECT_EQ(DiskNodeOf(b), m_disk);
    EXPECT_EQ(CatalogNodeOf(b), m_cat);
    EXPECT_EQ(DiskNodeOf(m_disk), m_disk);
    EXPECT_EQ(DiskNodeOf(m_cat), nullptr);
    EXPECT_EQ(AsFolder(NodeRec(b))->DiskNode, m_disk);
    TFileRec *f = AppendFile(b, "x");
    EXPECT_EQ(f->Node, b) << "a file's Node is its folder";
}

TEST_F(ForestTest, CatalogSizeEstimateCountsDisksFilesAndFolders)
{
    EXPECT_EQ(CatalogSizeEstimate(m_cat), 38 + 102);
    disk()->TotalFiles = 1000;
    disk()->TotalFolders = 70;
    disk()->ArchiveFiles = 5000;   // members of compressed files are not counted
    TTreeNode *d2 = AddDiskNode(m_cat, "D2");
    AsDisk(NodeRec(d2))->TotalFiles = 3;
    AsDisk(NodeRec(d2))->TotalFolders = 70000;
    EXPECT_EQ(CatalogSizeEstimate(m_cat), 38 + 2 * 102 + 31 * 1003 + 39 * 70070);
}

// ---------------------------------------------------------------- file records

TEST(FileRecTest, NamesUpTo255BytesAndNothingReserved)
{
    const QByteArray longName(255, 'n');
    TFileRec *rec = NewFileRec(longName);
    EXPECT_EQ(rec->name(), longName);
    EXPECT_EQ(rec->NameLen, 255);
    EXPECT_EQ(ItemKind(rec->KindFlags), rkFile);
    EXPECT_EQ(rec->IconIndex, -1);
    EXPECT_EQ(rec->SearchListPos, -1);
    EXPECT_EQ(rec->UserListPos, -1);
    EXPECT_EQ(rec->DupListPos, -1);
    EXPECT_EQ(rec->Desc, nullptr);
    EXPECT_EQ(rec->Next, nullptr);
    FreeFileRec(rec);

    // The record grows by exactly the name's length; padding between records
    // of a list block stays below one alignment unit.
    EXPECT_EQ(FileRecSize(255) - FileRecSize(0), size_t(255));
    for (int len : {0, 1, 7, 8, 100, 255}) {
        EXPECT_GE(FileRecStride(len), FileRecSize(len));
        EXPECT_LT(FileRecStride(len) - FileRecSize(len), alignof(TFileRec));
        EXPECT_EQ(FileRecStride(len) % alignof(TFileRec), 0u);
    }
}

TEST(FileRecTest, LongerNamesAreCutAtACharacterBoundary)
{
    TFileRec *plain = NewFileRec(QByteArray(300, 'x'));
    EXPECT_EQ(plain->name(), QByteArray(255, 'x'));
    FreeFileRec(plain);

    // 254 ASCII bytes and a two-byte character: the character does not fit.
    const QByteArray utf8 = QByteArray(254, 'a') + QByteArray("\xC3\xA9") + "tail";
    TFileRec *cut = NewFileRec(utf8);
    EXPECT_EQ(cut->name(), QByteArray(254, 'a'));
    FreeFileRec(cut);

    TFileRec *empty = NewFileRec("");
    EXPECT_EQ(empty->NameLen, 0);
    FreeFileRec(empty);
}

TEST(TextTest, EmptyTextsAreNull)
{
    EXPECT_EQ(NewText(""), nullptr);
    EXPECT_EQ(TextLength(nullptr), 0);
    EXPECT_TRUE(TextView(nullptr).isEmpty());
    TText t = NewText(QByteArray(4096, 'd'));
    EXPECT_EQ(TextLength(t), 4096);
    EXPECT_EQ(TextView(t), QByteArray(4096, 'd'));
    FreeText(t);
    EXPECT_EQ(t, nullptr);
}

// ---------------------------------------------------------------- forest

class RecordingObserver : public ForestObserver
{
public:
    void nodeInserted(TTreeNode *node) override { events << "ins " + node->text(); }
    void nodeAboutToBeRemoved(TTreeNode *node) override { events << "rm " + node->text(); }
    void nodeChanged(TTreeNode *node) override { events << "chg " + node->text(); }
    QList<QByteArray> events;
};

TEST(ForestStructureTest, ChildrenKeepTheirOrderAndDeletionVisitsChildrenFirst)
{
    TForest forest;
    RecordingObserver obs;
    forest.addObserver(&obs);
    TTreeNode *root = forest.addChild(nullptr, "root");
    TTreeNode *b = forest.addChild(root, "b");
    TTreeNode *d = forest.addChild(root, "d");
    TTreeNode *a = forest.addChild(root, "a", 0);
    TTreeNode *c = forest.addChild(root, "c", 2);
    TTreeNode *b1 = forest.addChild(b, "b1");
    ASSERT_EQ(root->childCount(), 4);
    EXPECT_EQ(root->child(0), a);
    EXPECT_EQ(root->child(1), b);
    EXPECT_EQ(root->child(2), c);
    EXPECT_EQ(root->child(3), d);
    EXPECT_EQ(b->index(), 1);
    EXPECT_EQ(b->nextSibling(), c);
    EXPECT_EQ(d->nextSibling(), nullptr);
    EXPECT_EQ(b1->parent(), b);
    EXPECT_EQ(root->parent(), nullptr);
    EXPECT_EQ(obs.events.size(), 6);

    b->setText("B");
    EXPECT_EQ(obs.events.last(), QByteArray("chg B"));

    std::vector<QByteArray> order;
    forest.deleteNode(b, [&](TTreeNode *n) {
        order.push_back(n->text());
        EXPECT_EQ(n->forest(), &forest);
    });
    EXPECT_EQ(order, (std::vector<QByteArray>{"b1", "B"}));
    ASSERT_EQ(root->childCount(), 3);
    EXPECT_EQ(root->child(1), c);
    EXPECT_EQ(c->index(), 1);
    EXPECT_TRUE(obs.events.contains("rm B"));

    forest.moveNode(a, c);
    EXPECT_EQ(a->parent(), c);
    EXPECT_EQ(root->childCount(), 2);
    forest.removeObserver(&obs);
    forest.deleteAll([](TTreeNode *) {});
    EXPECT_TRUE(forest.roots().empty());
}

// ---------------------------------------------------------------- result lists and freeing

TEST(PositionHintTest, ProbesHintThenEvery32768)
{
    std::vector<TFolderRec> filler(40000);
    TFolderRec target;
    target.SearchListPos = 5;
    VectorResultList real(ResultListId::Found);
    for (int i = 0; i < 40000; ++i)
        real.addRaw(i == 32773 ? static_cast<TItemRec *>(&target) : &filler[size_t(i)]);

    int probes = 0;
    EXPECT_EQ(FindByHint(real, &target, 5, &probes), 32773);
    EXPECT_EQ(probes, 2) << "found at the second probe";
    EXPECT_EQ(PositionHint(32773), 5);
    EXPECT_EQ(PositionHint(40000), int16_t(40000 - 32768));

    probes = 0;
    EXPECT_EQ(FindByHint(real, &filler[17], 17, &probes), 17);
    EXPECT_EQ(probes, 1);

    // Not where the hint says: every probe inside the list, then not found.
    TFolderRec absent;
    probes = 0;
    EXPECT_EQ(FindByHint(real, &absent, 100, &probes), -1);
    EXPECT_EQ(probes, 2) << "100 and 32868 are inside a list of 40000; 65636 is not";
    probes = 0;
    EXPECT_EQ(FindByHint(real, &absent, 20000, &probes), -1);
    EXPECT_EQ(probes, 1);

    VectorResultList small(ResultListId::Found);
    small.addRaw(&filler[0]);
    probes = 0;
    EXPECT_EQ(FindByHint(small, &absent, 3, &probes), -1) << "a hint past the list's end";
    EXPECT_EQ(probes, 0);
}

// A catalog with a disk, a folder and files, and three registered lists.
class FreeingTest : public ForestTest
{
protected:
    void SetUp() override
    {
        ForestTest::SetUp();
        m_folder = folder(m_disk, "F");
        for (const char *n : {"f1", "f2", "f3"})
            m_files.push_back(AppendFile(m_folder, n));
        m_rootFile = AppendFile(m_disk, "root.txt");
        for (TFolderRec &f : m_filler) {
            m_found.addRaw(&f);
            m_dups.addRaw(&f);
            m_user.addRaw(&f);
        }
    }

    VectorResultList m_found{ResultListId::Found};
    VectorResultList m_user{ResultListId::User};
    VectorResultList m_dups{ResultListId::Duplicates};
    ScopedResultList m_r1{m_found}, m_r2{m_user}, m_r3{m_dups};
    std::vector<TFolderRec> m_filler = std::vector<TFolderRec>(10);
    TTreeNode *m_folder = nullptr;
    std::vector<TFileRec *> m_files;
    TFileRec *m_rootFile = nullptr;
};

TEST_F(FreeingTest, FreeingNullsTheEntriesAndNotesWhichListsChanged)
{
    const int i1 = m_found.add(m_files[0]);
    const int i3 = m_found.add(m_files[2]);
    const int iFolder = m_found.add(NodeRec(m_folder));
    const int iDup = m_dups.add(m_files[1]);
    const int iRoot = m_found.add(m_rootFile);

    ClearResultListNotes();
    m_forest.deleteNode(m_folder, [](TTreeNode *n) { FreeItemData(n, true, false); });
    EXPECT_EQ(m_found.at(i1), nullptr);
    EXPECT_EQ(m_found.at(i3), nullptr);
    EXPECT_EQ(m_found.at(iFolder), nullptr);
    EXPECT_EQ(m_dups.at(iDup), nullptr);
    EXPECT_EQ(m_found.at(iRoot), m_rootFile) << "the disk's own files were not freed";
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(m_found.at(i), &m_filler[size_t(i)]);
        EXPECT_EQ(m_dups.at(i), &m_filler[size_t(i)]);
    }
    EXPECT_EQ(m_found.count(), 14) << "entries are nulled, not deleted";
    EXPECT_TRUE(ResultListChanged(ResultListId::Found));
    EXPECT_TRUE(ResultListChanged(ResultListId::Duplicates));
    EXPECT_FALSE(ResultListChanged(ResultListId::User));

    CompactChangedResultLists();
    EXPECT_EQ(m_found.compactCalls, 1);
    EXPECT_EQ(m_dups.compactCalls, 1);
    EXPECT_EQ(m_user.compactCalls, 0) << "only lists whose note is set are compacted";
    EXPECT_EQ(m_found.count(), 11);
    EXPECT_EQ(m_found.at(10), m_rootFile);
    EXPECT_EQ(m_rootFile->SearchListPos, 10);
}

TEST_F(FreeingTest, AnEntryBeyond32768IsFoundThroughItsHint)
{
    std::vector<TFolderRec> more(40000);
    // Index 32773 in the list, hint 5.
    VectorResultList big(ResultListId::Found);
    for (int i = 0; i < 40000; ++i)
        big.addRaw(i == 32773 ? static_cast<TItemRec *>(m_files[1]) : &more[size_t(i)]);
    m_files[1]->SearchListPos = 5;
    RegisterResultList(ResultListId::Found, &big);

    ClearResultListNotes();
    m_forest.deleteNode(m_folder, [](TTreeNode *n) { FreeItemData(n, true, false); });
    EXPECT_EQ(big.at(32773), nullptr);
    EXPECT_EQ(big.at(5), &more[5]);
    EXPECT_EQ(big.setNullCalls, 1);
    RegisterResultList(ResultListId::Found, &m_found);
}

TEST_F(FreeingTest, AWrongHintLeavesTheListAlone)
{
    // The file sits at 12 but its hint says 3; the hint says 20 for another,
    // past the end of the list.
    m_found.addRaw(&m_filler[0]);
    m_found.addRaw(&m_filler[1]);
    const int at = m_found.addRaw(m_files[0]);
    ASSERT_EQ(at, 12);
    m_files[0]->SearchListPos = 3;
    m_files[1]->UserListPos = 20;
    ClearResultListNotes();
    m_forest.deleteNode(m_folder, [](TTreeNode *n) { FreeItemData(n, true, false); });
    EXPECT_EQ(m_found.at(at), m_files[0]) << "not found where the hint says: left alone";
    EXPECT_EQ(m_found.at(3), &m_filler[3]);
    EXPECT_EQ(m_found.setNullCalls, 0);
    EXPECT_EQ(m_user.setNullCalls, 0);
}

TEST_F(FreeingTest, KeepListRefsAndShuttingDownSkipTheLists)
{
    const int i1 = m_found.add(m_files[0]);
    ClearResultListNotes();
    FreeItemData(m_folder, false, true);   // the unload form
    EXPECT_EQ(m_found.at(i1), m_files[0]);
    EXPECT_FALSE(ResultListChanged(ResultListId::Found));
    EXPECT_EQ(AsFolder(NodeRec(m_folder))->FilesLoaded, 0);
    EXPECT_EQ(NodeRec(m_folder)->Next, nullptr) << "the chain was freed";
    EXPECT_NE(NodeRec(m_folder), nullptr) << "the record itself stays";

    const int iRoot = m_found.add(m_rootFile);
    SetShuttingDown(true);
    m_forest.deleteNode(m_disk, [](TTreeNode *n) { FreeItemData(n, true, false); });
    SetShuttingDown(false);
    EXPECT_EQ(m_found.at(iRoot), m_rootFile);
    EXPECT_FALSE(ResultListChanged(ResultListId::Found));
}

TEST_F(FreeingTest, ACatalogRecordLeavesOnlyTheUserList)
{
    TItemRec *cat = NodeRec(m_cat);
    const int iUser = m_user.add(cat);
    const int iFound = m_found.add(cat);
    const int iDisk = m_user.add(NodeRec(m_disk));
    const int iFile = m_dups.add(m_files[2]);
    ClearResultListNotes();
    DeleteCatalog(m_forest, m_cat);
    m_cat = nullptr;
    EXPECT_EQ(m_user.count(), 10) << "compacted after the batch: both entries were nulled";
    EXPECT_EQ(m_found.at(iFound), cat) << "a catalog is looked up in the user list only";
    (void)iUser;
    (void)iDisk;
    EXPECT_EQ(m_dups.count(), 10) << "the folder's file was removed too";
    (void)iFile;
}

// ---------------------------------------------------------------- texts of fields

TEST(ItemFormatTest, MediaTypeTexts)
{
    const char *texts[] = {
        "Floppy 5.25\" DD", "Floppy 5.25\" HD", "Floppy 3.5\" DD", "Floppy 8\" SD", "Floppy 8\" DD",
        "Hard disk",        "Tape drive",       "Floppy 3.5\" HD", "Optical drive", "Floppy 3.5\" EHD",
        "CD-ROM",           "Network drive",    "RAM disk",        "Removable drive", "iomega ZIP 100",
        "iomega JAZ 1GB",
    };
    for (int code = 0; code < 16; ++code) {
        EXPECT_EQ(MediaTypeText(code), QString::fromLatin1(texts[code])) << code;
        EXPECT_EQ(MediaTypeText(code, true), QStringLiteral("Virtual ") + QString::fromLatin1(texts[code]));
    }
    EXPECT_EQ(MediaTypeText(16), QStringLiteral("Unknown"));
    EXPECT_EQ(MediaTypeText(255), QStringLiteral("Unknown"));
    EXPECT_EQ(SerialText(0x1234ABCDu), QStringLiteral("1234-ABCD"));
    EXPECT_EQ(SerialText(0x000F00A0u), QStringLiteral("000F-00A0"));
}

TEST(ItemFormatTest, PackedDateTimes)
{
    const QDateTime dt(QDate(2003, 7, 14), QTime(13, 45, 58));
    const uint32_t packed = DateTimeToDos(dt);
    const uint32_t expected = (uint32_t(2003 - 1980) << 25) | (7u << 21) | (14u << 16) | (13u << 11) | (45u << 5) | 29u;
    EXPECT_EQ(packed, expected);
    EXPECT_EQ(DosToDateTime(packed), dt);
    EXPECT_EQ(DateTimeToDos(QDateTime(QDate(1979, 12, 31), QTime(23, 59, 58))), 0u);
    EXPECT_EQ(DateTimeToDos(QDateTime(QDate(2100, 1, 1), QTime(0, 0))), 0u);
    EXPECT_NE(DateTimeToDos(QDateTime(QDate(2099, 12, 31), QTime(23, 59, 58))), 0u);
    EXPECT_NE(DateTimeToDos(QDateTime(QDate(1980, 1, 1), QTime(0, 0))), 0u);
    EXPECT_FALSE(DosToDateTime(0).isValid()) << "0 means no date";
    EXPECT_EQ(DateTimeToDos(QDateTime()), 0u);

    const QDateTime upd(QDate(1899, 12, 31), QTime(12, 0));
    EXPECT_DOUBLE_EQ(DateTimeToUpdated(upd), 1.5);
    EXPECT_EQ(UpdatedToDateTime(1.5), upd);
}

} // namespace
