// The normal search's walk over catalogs read from a file: what it finds and
// in which order, the counts and progress, which file lists and folder levels
// it reads and drops again, description-only searches, the scope, the hit
// limit, cancelling and a walk that fails inside.
#include "SearchSupport.h"
#include "TestCatalogs.h"

#include "catalog/CatalogOps.h"
#include "catalog/RecordLock.h"
#include "search/FoundList.h"
#include "search/Scope.h"
#include "search/SearchWalk.h"

#include <gtest/gtest.h>

#include <iterator>
#include <stdexcept>

using namespace testcat;

namespace {

class SearchWalkTest : public CatalogFixture
{
protected:
    SearchWalkTest() { m_catalog = openBytes(BuildCatalogBytes(SampleCatalog())); }

    TTreeNode *disk(int i) const { return m_catalog->child(i); }
    TTreeNode *find(const QByteArray &text) const
    {
        TTreeNode *found = nullptr;
        ForEachNode(m_catalog, [&](TTreeNode *n) {
            if (!found && n->text() == text)
                found = n;
        });
        return found;
    }
    static bool filesLoaded(const TTreeNode *node)
    {
        if (const TFolderRec *f = AsFolder(node->data()))
            return f->FilesLoaded != 0;
        return AsDisk(node->data())->FilesLoaded != 0;
    }
    // Runs one walk into m_list with a fresh walk object.
    TSearchWalk &run(const TSearchCriteria &criteria, bool wholeScope = true)
    {
        m_walk = std::make_unique<TSearchWalk>(m_forest, m_list, m_host);
        m_walk->runNormal(criteria, wholeScope);
        return *m_walk;
    }

    TTreeNode *m_catalog = nullptr;
    TFoundList m_list{ResultListId::Found};
    RecordingHost m_host;
    std::unique_ptr<TSearchWalk> m_walk;
};

TEST_F(SearchWalkTest, FindsInTreeOrderAndCountsEveryItem)
{
    TSearchWalk &walk = run(NameCriteria("txt"));
    EXPECT_EQ(FoundNames(m_list), QStringList({"readme.txt", "a1.txt", "b.txt", "docs/m1.txt", "m2.txt"}));
    EXPECT_TRUE(HintsMatchIndexes(m_list));
    EXPECT_EQ(walk.foundCount(), 5);
    EXPECT_EQ(walk.firstHitIndex(), 0);
    EXPECT_FALSE(walk.cancelled());
    // Disk One: itself, 8 folders, 8 files and 2 members; Photos: itself, 1 folder, 2 files.
    EXPECT_EQ(walk.totalCount(), 19 + 4);
    EXPECT_EQ(walk.checkedCount(), walk.totalCount());
    ASSERT_FALSE(m_host.progressCalls.empty());
    EXPECT_EQ(m_host.progressCalls.back().checked, 23);
    EXPECT_EQ(m_host.progressCalls.back().total, 23);
    EXPECT_EQ(m_host.progressCalls.back().found, 5);
    // After each disk the count is exactly the disk's share.
    ASSERT_EQ(m_host.progressCalls.size(), 2u);
    EXPECT_EQ(m_host.progressCalls.front().checked, 19);
}

TEST_F(SearchWalkTest, DropsFileListsThatGaveNothingAndKeepsTheOthers)
{
    run(NameCriteria("txt", nmPartOfName, true, false, false));
    for (const char *kept : {"Disk One", "Alpha", "Beta1", "pack.zip"}) {
        EXPECT_TRUE(filesLoaded(find(kept))) << kept;
        EXPECT_FALSE(Chain(find(kept)).empty()) << kept;
    }
    // Lists without a matching entry were looked at where the file holds
    // them and never read into records, so there is nothing to drop.
    for (const char *dropped : {"Alpha1", "Alpha1x", "2003"}) {
        EXPECT_FALSE(filesLoaded(find(dropped))) << dropped;
        EXPECT_TRUE(Chain(find(dropped)).empty()) << dropped;
        EXPECT_TRUE(m_host.steps.contains(QStringLiteral("load ") + dropped)) << dropped;
        EXPECT_FALSE(m_host.steps.contains(QStringLiteral("unload ") + dropped)) << dropped;
    }
    // Folders without files in the file cost no step.
    for (const char *empty : {"Alpha2", "Beta", "Gamma", "Photos"})
        EXPECT_FALSE(m_host.steps.contains(QStringLiteral("load ") + empty)) << empty;
    // Every folder level was read, one level at a time, each once.
    EXPECT_EQ(CountDescendants(m_catalog), 2 + 8 + 1);
    EXPECT_EQ(m_host.steps.count("subfolders Alpha"), 1);
    QStringList levels = m_host.steps.filter("subfolders ");
    EXPECT_EQ(levels.removeDuplicates(), 0);
    // A dropped list is read again by the next search.
    m_list.clear();
    m_host.steps.clear();
    run(NameCriteria("deep", nmPartOfName, true, false, false));
    EXPECT_EQ(FoundNames(m_list), QStringList({"deep.bin"}));
    EXPECT_TRUE(m_host.steps.contains("load Alpha1x"));
    EXPECT_FALSE(m_host.steps.contains("unload Alpha1x"));
    EXPECT_FALSE(m_host.steps.contains("load Alpha"));   // kept from the first search
}

TEST_F(SearchWalkTest, DamagedListIsReadForItsMessageAndDroppedWithoutAHit)
{
    // Alpha1's third entry holds a description longer than a stored text may
    // be: the list is read as browsing reads it (the whole entries, and the
    // damage said), gives no hit and is dropped again.
    HandCatalog sample = SampleCatalog();
    sample.disks[0].folders[1].files.push_back(SampleFile("z.dat", 1, QByteArray(5000, 'z')));
    DeleteCatalog(m_forest, m_catalog);
    m_catalog = openBytes(BuildCatalogBytes(sample), "damaged.ctf");
    m_prompter.messages.clear();
    run(NameCriteria("txt", nmPartOfName, true, false, false));
    EXPECT_EQ(FoundNames(m_list), QStringList({"readme.txt", "a1.txt", "b.txt", "docs/m1.txt", "m2.txt"}));
    ASSERT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].caption, QStringLiteral("Error Loading Catalog"));
    EXPECT_TRUE(m_host.steps.contains("unload Alpha1"));
    EXPECT_FALSE(filesLoaded(find("Alpha1")));
    EXPECT_EQ(m_walk->checkedCount(), m_walk->totalCount());
}

TEST_F(SearchWalkTest, ReadsNoFileListWhenFilesAreNotSearched)
{
    run(NameCriteria("Alpha", nmPartOfName, false, true, false));
    EXPECT_EQ(FoundNames(m_list), QStringList({"Alpha", "Alpha1", "Alpha1x", "Alpha2"}));
    EXPECT_TRUE(m_host.steps.filter("load ").isEmpty());
    EXPECT_EQ(m_walk->checkedCount(), 8 + 1);
}

TEST_F(SearchWalkTest, FoundDiskIsNoFirstHit)
{
    TSearchWalk &walk = run(NameCriteria("Photos"));
    EXPECT_EQ(FoundNames(m_list), QStringList({"Photos"}));
    EXPECT_EQ(walk.firstHitIndex(), -1);
    m_list.clear();
    run(NameCriteria("o"));   // "Disk One", then files and folders
    ASSERT_GT(m_list.count(), 2);
    EXPECT_EQ(FoundNames(m_list).front(), "Disk One");
    EXPECT_EQ(m_walk->firstHitIndex(), 1);
}

TEST_F(SearchWalkTest, CompressedFileFolderIsAFileCandidate)
{
    // pack.zip is found by a file search and not by a folder search.
    run(NameCriteria("pack", nmPartOfName, true, false, false));
    EXPECT_EQ(FoundNames(m_list), QStringList({"pack.zip"}));
    m_list.clear();
    run(NameCriteria("pack", nmPartOfName, false, true, false));
    EXPECT_TRUE(FoundNames(m_list).isEmpty());
}

TEST_F(SearchWalkTest, WithoutClearingFindsOnlyNewItems)
{
    run(NameCriteria("b.txt"));
    ASSERT_EQ(FoundNames(m_list), QStringList({"b.txt"}));
    TSearchWalk &walk = run(NameCriteria("txt"));
    EXPECT_EQ(FoundNames(m_list), QStringList({"b.txt", "readme.txt", "a1.txt", "docs/m1.txt", "m2.txt"}));
    EXPECT_EQ(walk.foundCount(), 4);
    EXPECT_EQ(walk.firstHitIndex(), 1);
    EXPECT_TRUE(HintsMatchIndexes(m_list));
}

TEST_F(SearchWalkTest, HitLimitStopsTheSearch)
{
    TSearchCriteria c = NameCriteria("txt");
    c.MaxFound = 2;
    TSearchWalk &walk = run(c);
    EXPECT_EQ(FoundNames(m_list), QStringList({"readme.txt", "a1.txt"}));
    EXPECT_TRUE(walk.cancelled());
    EXPECT_EQ(walk.foundCount(), 2);
    // Nothing after the limit: Beta's level was never read.
    EXPECT_FALSE(m_host.steps.contains("subfolders Beta"));
}

struct CancelCase {
    const char *atStep;         // the step before which Cancel is pressed
    QStringList found;          // what the list holds afterwards
    const char *neverStep;      // a later step that must not come
};

class SearchWalkCancelTest : public SearchWalkTest, public testing::WithParamInterface<CancelCase>
{
};

TEST_P(SearchWalkCancelTest, StopsBeforeTheNextItem)
{
    const CancelCase &c = GetParam();
    m_host.before = [&](const QString &step) {
        if (step == QLatin1String(c.atStep))
            m_walk->cancel();
    };
    TSearchWalk &walk = run(NameCriteria("t"));   // "Disk One" holds no t
    EXPECT_TRUE(walk.cancelled());
    EXPECT_EQ(FoundNames(m_list), c.found);
    EXPECT_FALSE(m_host.steps.contains(QLatin1String(c.neverStep)));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SearchWalkCancelTest,
    testing::Values(
        // Cancelled while Disk One's root files load: no file of it is tested.
        CancelCase{"load Disk One", {}, "load Alpha"},
        // While Alpha's list loads: none of its files, and its level is not read.
        CancelCase{"load Alpha", {"readme.txt", "setup.exe"}, "subfolders Alpha"},
        // While Beta's level loads: no child of Beta, and no other disk.
        CancelCase{"subfolders Beta", {"readme.txt", "setup.exe", "a1.txt", "x.dat", "y.dat", "Beta"},
                   "load Beta1"}));

TEST_F(SearchWalkTest, CancelBeforeTheStartWalksNothing)
{
    m_walk = std::make_unique<TSearchWalk>(m_forest, m_list, m_host);
    m_walk->cancel();
    m_walk->runNormal(NameCriteria("txt"), true);
    EXPECT_EQ(m_list.count(), 0);
    EXPECT_TRUE(m_host.steps.isEmpty());
}

TEST_F(SearchWalkTest, DescriptionOnlySearchReadsOnlyDescribedLists)
{
    // Only Disk One's root and Alpha1 hold files with descriptions; Photos
    // gets root files without any.
    HandCatalog sample = SampleCatalog();
    sample.disks[1].rootFiles = {SampleFile("root.jpg", 5)};
    sample.disks[1].totalFiles = 3;
    DeleteCatalog(m_forest, m_catalog);
    m_catalog = openBytes(BuildCatalogBytes(sample), "desc.ctf");
    const TSearchCriteria c = DescCriteria(dmAny);
    ASSERT_TRUE(c.DescOnly);
    run(c);
    EXPECT_EQ(m_host.steps.filter("load "), QStringList({"load Disk One", "load Alpha1"}));
    EXPECT_EQ(FoundNames(m_list), QStringList({"Disk One", "readme.txt", "Alpha", "y.dat"}));
    EXPECT_FALSE(filesLoaded(find("Photos")));
    EXPECT_FALSE(filesLoaded(find("2003")));
}

TEST_F(SearchWalkTest, ExcludedDiskIsLeftOutWithItsCounts)
{
    ToggleScopeNode(disk(1));
    ASSERT_EQ(ScopeOf(m_catalog), ssPartial);
    TSearchWalk &walk = run(NameCriteria("jpg"), false);
    EXPECT_TRUE(FoundNames(m_list).isEmpty());
    EXPECT_EQ(walk.totalCount(), 19);
    EXPECT_FALSE(m_host.steps.contains("load Photos"));
    // The whole scope ("Limit search" off) ignores the choice.
    run(NameCriteria("jpg"), true);
    EXPECT_EQ(FoundNames(m_list), QStringList({"img1.jpg", "img2.jpg"}));
}

TEST_F(SearchWalkTest, FailureInsideTheWalkEndsItKeepingTheHits)
{
    m_host.before = [](const QString &step) {
        if (step == QLatin1String("subfolders Beta"))
            throw std::runtime_error("unreadable");
    };
    TSearchWalk &walk = run(NameCriteria("txt"));
    EXPECT_EQ(FoundNames(m_list), QStringList({"readme.txt", "a1.txt"}));
    EXPECT_EQ(walk.foundCount(), 2);
    EXPECT_EQ(walk.currentNode(), nullptr);
    // The lock is free again: a change can be made.
    StoreDescription(AsFolder(find("Beta")->data())->Desc, "still writable");
}

TEST_F(SearchWalkTest, ChainIsNotDroppedBetweenItsLoadAndItsScan)
{
    // Another command drops file lists while the walk waits between steps;
    // the chain the walk has just had read stays until it is scanned.
    m_host.after = [&](const QString &step) {
        if (step == QLatin1String("load Alpha"))
            UnloadFileList(find("Alpha"));
    };
    run(NameCriteria("a1.txt"));
    EXPECT_EQ(FoundNames(m_list), QStringList({"a1.txt"}));
    // Once scanned it is no longer pinned.
    m_list.clear();
    UnloadFileList(find("Alpha"));
    EXPECT_TRUE(Chain(find("Alpha")).empty());
}

TEST_F(SearchWalkTest, NoChainIsDroppedWhileAllArePinned)
{
    TTreeNode *alpha = find("Alpha");
    LoadFileList(alpha);
    {
        TPinAllFileChains pinned;
        UnloadFileList(alpha);
        EXPECT_EQ(Chain(alpha).size(), 1u);
    }
    UnloadFileList(alpha);
    EXPECT_TRUE(Chain(alpha).empty());
}

TEST_F(SearchWalkTest, ListWithRecordsInAResultListIsNotDropped)
{
    run(NameCriteria("a1.txt"));
    ASSERT_EQ(m_list.count(), 1);
    TTreeNode *alpha = find("Alpha");
    UnloadFileList(alpha);
    EXPECT_EQ(Chain(alpha).size(), 1u);
    EXPECT_EQ(RecordName(m_list.at(0)), "a1.txt");
    m_list.clear();
    UnloadFileList(alpha);
    EXPECT_TRUE(Chain(alpha).empty());
}

TEST_F(SearchWalkTest, NoCriterionWalksNothing)
{
    TSearchWalk &walk = run(TSearchCriteria{});
    EXPECT_EQ(walk.totalCount(), 0);
    EXPECT_TRUE(m_host.steps.isEmpty());
}

TEST_F(SearchWalkTest, ProgressEvery128Items)
{
    // One folder of 300 files: progress at 128 and 256, then after the disk.
    HandCatalog big;
    HandDisk d;
    d.name = "Big";
    d.totalFiles = 300;
    d.totalFolders = 1;
    HandFolder f = SampleFolder(1, "Many");
    for (int i = 0; i < 300; ++i)
        f.files.push_back(SampleFile("f" + QByteArray::number(i), i));
    d.folders = {f};
    big.disks = {d};
    DeleteCatalog(m_forest, m_catalog);
    m_catalog = openBytes(BuildCatalogBytes(big), "big.ctf");
    run(NameCriteria("zzz"));
    ASSERT_EQ(m_host.progressCalls.size(), 3u);
    EXPECT_EQ(m_host.progressCalls[0].checked, 128);
    EXPECT_EQ(m_host.progressCalls[1].checked, 256);
    EXPECT_EQ(m_host.progressCalls[2].checked, 302);
    EXPECT_EQ(m_host.progressCalls[2].total, 302);
}

// Names a cold search (lists tested where the file holds them) must judge
// as the warm one (lists read into records) does: the needle at either end,
// near misses, names beyond ASCII whose upper case is ASCII ("ıtem", "ſ"),
// bytes that are no UTF-8, the longest name. Each comes first in one of the
// lists, so that it lies at the very start of the list's read buffer.
const QByteArray kTrickyNames[] = {
    "Data Report.txt",
    "xDATA RE",
    "data rx.txt",
    "\xC4\xB1tem.doc",
    "\xC5\xBF",
    "\xC3\xA9t\xC3\xA9 q.txt",
    "\xFF bad data re",
    "Q",
    "abcdefghijklmnop",
    "abcdefgXijklmnop.dat",
    "report 2024Xfinal",
    "REPORT 2024.FINAL.TXT",
    QByteArray(251, 'm') + "TaIl",
    "tai",
};

const char *const kTrickyPatterns[] = {
    "data re", "q", "IT", "s", "abcdefghijklmnop", "rePort 2024.finaL", "tail", "\xC3\xA9", "x",
};

TEST_F(SearchWalkTest, ColdSearchFindsWhatTheWarmOneFinds)
{
    HandCatalog tricky;
    HandDisk d;
    d.name = "D";
    const int lists = int(std::size(kTrickyNames));
    for (int first = 0; first < lists; ++first) {
        std::vector<HandFile> files;
        for (int i = 0; i < lists; ++i)
            files.push_back(SampleFile(kTrickyNames[(first + i) % lists], i));
        if (first == 0)
            d.rootFiles = files;
        d.folders.push_back(SampleFolder(1, "F" + QByteArray::number(first), files));
    }
    d.totalFiles = lists * (lists + 1);
    d.totalFolders = lists;
    tricky.disks = {d};
    const QByteArray bytes = BuildCatalogBytes(tricky);
    for (const char *typed : kTrickyPatterns) {
        const TSearchCriteria c = NameCriteria(QString::fromUtf8(typed), nmPartOfName, true, false, false);
        DeleteCatalog(m_forest, m_catalog);
        m_catalog = openBytes(bytes, "tricky.ctf");
        m_list.clear();
        run(c);
        const QStringList cold = FoundNames(m_list);
        EXPECT_TRUE(m_host.steps.contains("load F1")) << typed;   // the lists were tested cold
        DeleteCatalog(m_forest, m_catalog);
        m_catalog = openBytes(bytes, "tricky.ctf");
        LoadEverything(m_catalog);
        m_list.clear();
        run(c);
        const QStringList warm = FoundNames(m_list);
        EXPECT_FALSE(warm.isEmpty()) << typed;
        EXPECT_EQ(cold, warm) << typed;
    }
}

} // namespace
