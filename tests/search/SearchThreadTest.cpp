// The search on its worker thread against a catalog read from a file, while
// this thread (the tree's owner) runs the walk's loading steps and goes on
// changing records: description edits on chains being searched, folders
// expanded and file lists dropped elsewhere, the found list read. Also
// cancel, the hit limit, the one-search rule, a list kept for the user list
// and a controller destroyed mid-search. Run under ThreadSanitizer in CI.
#include "SearchSupport.h"
#include "TestCatalogs.h"

#include "GenCatalog.h"
#include "catalog/CatalogOps.h"
#include "catalog/CatalogFiles.h"
#include "catalog/UserList.h"
#include "search/FoundList.h"
#include "search/SearchThread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>

#include <memory>

using namespace testcat;

namespace {

class SearchThreadTest : public CatalogFixture
{
protected:
    static void SetUpTestSuite()
    {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "search_tests";
            static char *argv[] = {name, nullptr};
            static QCoreApplication app(argc, argv);
        }
    }

    // A generated catalog of a few hundred folders and some ten thousand
    // files, saved and opened again: no file list and no folder level below
    // the first is in memory.
    TTreeNode *openGenerated(int depth = 3, int fanOut = 5, int filesPerFolder = 30)
    {
        GenOptions o;
        o.seed = 13;
        o.disks = 2;
        o.depth = depth;
        o.fanOut = fanOut;
        o.filesPerFolder = filesPerFolder;
        o.virtualRoots = false;
        TTreeNode *made = GenerateCatalog(m_forest, "Generated", o);
        const QString file = path("gen.ctf");
        save(made, file);
        closeCatalog(made);
        return open(file);
    }

    // Every node now in the tree below node (a copy: steps of the walk add nodes).
    static std::vector<TTreeNode *> nodesBelow(TTreeNode *node)
    {
        std::vector<TTreeNode *> nodes;
        ForEachNode(node, [&](TTreeNode *n) { nodes.push_back(n); });
        return nodes;
    }

    // Runs rounds of events and round() until the search has ended.
    void untilFinished(TSearchController &controller, const std::function<void()> &round = {})
    {
        while (controller.searching()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (round)
                round();
        }
    }

    // The same search run directly on this thread, for comparison.
    QStringList directNames(const TSearchCriteria &criteria)
    {
        TFoundList list(ResultListId::Duplicates);   // its own hints
        TDirectSearchHost host;
        TSearchWalk walk(m_forest, list, host);
        walk.runNormal(criteria, true);
        const QStringList names = FoundNames(list);
        list.clear();
        return names;
    }

    TFoundList m_list{ResultListId::Found};
};

TEST_F(SearchThreadTest, FindsWhatADirectWalkFindsWhileRecordsChange)
{
    TTreeNode *catalog = openGenerated();
    TSearchController controller(m_forest);
    int finishedCalls = 0, lastFound = -1, progressCalls = 0;
    bool lastCancelled = true;
    QObject::connect(&controller, &TSearchController::finished, [&](int found, bool cancelled) {
        ++finishedCalls;
        lastFound = found;
        lastCancelled = cancelled;
    });
    QObject::connect(&controller, &TSearchController::progress, [&](int, int, int) { ++progressCalls; });

    const TSearchCriteria criteria = NameCriteria("ab");
    ASSERT_TRUE(controller.startNormal(m_list, criteria, true));
    EXPECT_FALSE(controller.startNormal(m_list, criteria, true));   // one at a time
    int round = 0;
    untilFinished(controller, [&] {
        ++round;
        // The user reads the found list as it grows.
        const int n = m_list.count();
        for (int i = std::max(0, n - 8); i < n; ++i)
            EXPECT_NE(m_list.at(i), nullptr);
        // Expands folders and edits descriptions of files the worker may be
        // scanning; drops some lists again as other commands do.
        for (TTreeNode *node : nodesBelow(catalog)) {
            if (!AsFolder(node->data()) && !AsDisk(node->data()))
                continue;
            if ((round + node->index()) % 3 == 0) {
                LoadSubfolders(node, false, false);
                LoadFileList(node);
            }
            for (TFileRec *f : Chain(node))
                StoreDescription(f->Desc, QByteArray("edit ") + QByteArray::number(round));
            if (TFolderRec *folder = AsFolder(node->data()))
                StoreDescription(folder->Desc, QByteArray("folder ") + QByteArray::number(round));
            if ((round + node->index()) % 5 == 0 && !m_list.contains(node->data()))
                UnloadFileList(node);
        }
    });
    EXPECT_EQ(finishedCalls, 1);
    EXPECT_FALSE(lastCancelled);
    EXPECT_GT(progressCalls, 0);
    EXPECT_EQ(lastFound, m_list.count());
    EXPECT_GT(m_list.count(), 0);
    EXPECT_TRUE(HintsMatchIndexes(m_list));
    EXPECT_EQ(FoundNames(m_list), directNames(criteria));
    m_list.clear();
}

TEST_F(SearchThreadTest, DescriptionSearchWhileDescriptionsAreEdited)
{
    // Long chains, all in memory: the worker lets writers in every 128 files
    // of the chain it scans, and this thread edits that very chain meanwhile.
    TTreeNode *catalog = openGenerated(1, 3, 3000);
    LoadEverything(catalog);
    TSearchController controller(m_forest);
    ASSERT_TRUE(controller.startNormal(m_list, DescCriteria(dmContains, "edit"), true));
    int round = 0;
    while (controller.searching()) {
        QCoreApplication::processEvents();
        ++round;
        for (TTreeNode *node : nodesBelow(catalog)) {
            const std::vector<TFileRec *> chain = Chain(node);
            for (size_t i = size_t(round) % 7; i < chain.size(); i += 7)
                StoreDescription(chain[i]->Desc, round % 2 ? QByteArray("edited text") : QByteArray());
        }
    }
    // Whatever the worker saw, each entry is whole and in its place.
    EXPECT_EQ(controller.foundCount(), m_list.count());
    EXPECT_TRUE(HintsMatchIndexes(m_list));
    m_list.clear();
}

TEST_F(SearchThreadTest, CancelStopsTheWorkerAndKeepsItsHits)
{
    openGenerated();
    TSearchController controller(m_forest);
    bool cancelled = false;
    int finishedCalls = 0;
    QObject::connect(&controller, &TSearchController::finished, [&](int, bool c) {
        ++finishedCalls;
        cancelled = c;
    });
    ASSERT_TRUE(controller.startNormal(m_list, NameCriteria("a"), true));
    // The worker may be waiting for a loading step of this thread right now.
    EXPECT_TRUE(controller.cancelAndWait(60000));
    EXPECT_FALSE(controller.searching());
    EXPECT_EQ(finishedCalls, 1);
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(controller.wasCancelled());
    EXPECT_EQ(controller.foundCount(), m_list.count());
    EXPECT_TRUE(HintsMatchIndexes(m_list));
    // A new search may start after it.
    EXPECT_TRUE(controller.startNormal(m_list, NameCriteria("zz"), true));
    untilFinished(controller);
    EXPECT_FALSE(controller.wasCancelled());
    m_list.clear();
}

TEST_F(SearchThreadTest, HitLimitEndsAsACancel)
{
    openGenerated();
    TSearchController controller(m_forest);
    int found = -1;
    bool cancelled = false;
    QObject::connect(&controller, &TSearchController::finished, [&](int f, bool c) {
        found = f;
        cancelled = c;
    });
    TSearchCriteria c = NameCriteria("a");
    c.MaxFound = 3;
    ASSERT_TRUE(controller.startNormal(m_list, c, true));
    untilFinished(controller);
    EXPECT_EQ(found, 3);
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(m_list.count(), 3);
    EXPECT_EQ(controller.firstHitIndex(), 0);
    m_list.clear();
}

// Calls keepFileList for one node before every event this thread handles
// (the worker's wake-ups among them), as the user list does when it takes a
// record of the chain the walk is in.
class KeepWhileInNode : public QObject
{
public:
    KeepWhileInNode(TSearchController &controller, const TTreeNode *node) : m_controller(controller), m_node(node) {}
    bool eventFilter(QObject *, QEvent *) override
    {
        m_controller.keepFileList(m_node);
        return false;
    }

private:
    TSearchController &m_controller;
    const TTreeNode *m_node;
};

TEST_F(SearchThreadTest, ListsWithoutHitsAreDroppedUnlessKept)
{
    // A list without a matching entry is never read into records; Alpha1's
    // is read all the same, for the damage at its end (a description longer
    // than a stored text may be) to be reported, and then gives nothing.
    HandCatalog sample = SampleCatalog();
    sample.disks[0].folders[1].files.push_back(SampleFile("z.dat", 1, QByteArray(5000, 'z')));
    TTreeNode *catalog = openBytes(BuildCatalogBytes(sample));
    LoadSubfolders(catalog->child(0), true, false);
    TTreeNode *alpha1 = nullptr, *alpha1x = nullptr;
    ForEachNode(catalog, [&](TTreeNode *n) {
        if (n->text() == "Alpha1")
            alpha1 = n;
        if (n->text() == "Alpha1x")
            alpha1x = n;
    });
    ASSERT_TRUE(alpha1 && alpha1x);
    TSearchController controller(m_forest);
    KeepWhileInNode keeper(controller, alpha1);
    QCoreApplication::instance()->installEventFilter(&keeper);
    ASSERT_TRUE(controller.startNormal(m_list, NameCriteria("readme"), true));
    untilFinished(controller);
    EXPECT_EQ(FoundNames(m_list), QStringList({"readme.txt"}));
    // Alpha1 gave nothing but was kept; Alpha1x gave nothing and went.
    EXPECT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(Chain(alpha1).size(), 2u);
    EXPECT_TRUE(Chain(alpha1x).empty());
    EXPECT_EQ(AsFolder(alpha1x->data())->FilesLoaded, 0);
    // Disk One's root list gave the hit and stays.
    EXPECT_EQ(Chain(catalog->child(0)).size(), 2u);
    m_list.clear();
}

// Adds the first file of a node's chain to the user list as soon as the
// chain is in memory, from the events this thread handles while a search
// walks (what a user does who adds a row of the folder the search is in),
// and when asked takes it out again at once.
class AddWhenLoaded : public QObject
{
public:
    AddWhenLoaded(TUserList &list, TTreeNode *node, bool removeAgain)
        : m_list(list), m_node(node), m_removeAgain(removeAgain) {}
    bool eventFilter(QObject *, QEvent *) override
    {
        if (!m_added)
            if (TFileRec *first = NodeRec(m_node)->Next) {
                m_added = m_list.add(first);
                if (m_removeAgain)
                    m_list.remove({0});
            }
        return false;
    }
    bool added() const { return m_added; }

private:
    TUserList &m_list;
    TTreeNode *m_node;
    bool m_removeAgain;
    bool m_added = false;
};

TEST_F(SearchThreadTest, TheUserListKeepsTheChainItTookFromTheWalk)
{
    // Alpha1's list is read for its damage and gives no hit: the walk drops
    // it again with its next trip, unless the user list holds one of its
    // records by then. The hook tells the search only while the walk is on
    // that node; a record taken later (the walk has moved on, the drop is
    // still to come) is kept by the drop's own test of the result lists, so
    // the list stays either way while the record is listed.
    struct Case {
        bool hooked, removeAgain, kept;
    };
    const Case cases[] = {
        {true, false, true},
        {false, false, true},
        {false, true, false},   // listed no more: nothing holds the chain
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.hooked ? "hooked" : "without the hook") + (c.removeAgain ? ", removed" : ""));
        HandCatalog sample = SampleCatalog();
        sample.disks[0].folders[1].files.push_back(SampleFile("z.dat", 1, QByteArray(5000, 'z')));
        TTreeNode *catalog = openBytes(BuildCatalogBytes(sample));
        LoadSubfolders(catalog->child(0), true, false);
        TTreeNode *alpha1 = nullptr;
        ForEachNode(catalog, [&](TTreeNode *n) {
            if (n->text() == "Alpha1")
                alpha1 = n;
        });
        ASSERT_TRUE(alpha1);
        ASSERT_TRUE(Chain(alpha1).empty());
        TSearchController controller(m_forest);
        TUserList users;
        if (c.hooked)
            users.setKeepHook([&controller](const TTreeNode *owner) { controller.keepFileList(owner); });
        AddWhenLoaded adder(users, alpha1, c.removeAgain);
        QCoreApplication::instance()->installEventFilter(&adder);
        ASSERT_TRUE(controller.startNormal(m_list, NameCriteria("readme"), true));
        untilFinished(controller);
        QCoreApplication::instance()->removeEventFilter(&adder);
        ASSERT_TRUE(adder.added());
        EXPECT_EQ(FoundNames(m_list), QStringList({"readme.txt"}));
        EXPECT_EQ(Chain(alpha1).size(), c.kept ? 2u : 0u);
        if (c.removeAgain) {
            EXPECT_EQ(users.count(), 0);
        } else {
            // The entry still names the first record of the kept chain.
            ASSERT_EQ(users.count(), 1);
            ASSERT_FALSE(Chain(alpha1).empty());
            EXPECT_EQ(users.at(0), Chain(alpha1).front());
            EXPECT_EQ(users.at(0)->UserListPos, 0);
        }
        m_list.clear();
        users.clear();
        m_prompter.messages.clear();
        closeCatalog(catalog);
    }
}

TEST_F(SearchThreadTest, DuplicatesSearchOnTheWorker)
{
    // Grouping runs on the worker too, while this thread edits descriptions.
    TTreeNode *catalog = openGenerated();
    TSearchController controller(m_forest);
    TFoundList dupes(ResultListId::Duplicates);
    int finishedCalls = 0;
    QObject::connect(&controller, &TSearchController::finished, [&](int, bool) { ++finishedCalls; });
    TDupSettings settings;
    settings.name = true;
    settings.size = true;
    ASSERT_TRUE(controller.startDuplicates(dupes, TSearchCriteria{}, settings, true));
    EXPECT_FALSE(controller.startNormal(m_list, NameCriteria("a"), true));
    int round = 0;
    untilFinished(controller, [&] {
        ++round;
        for (TTreeNode *node : nodesBelow(catalog))
            for (TFileRec *f : Chain(node))
                StoreDescription(f->Desc, QByteArray("dup round ") + QByteArray::number(round));
    });
    EXPECT_EQ(finishedCalls, 1);
    EXPECT_FALSE(controller.collectingPhase());
    EXPECT_EQ(controller.foundCount(), dupes.count());
    EXPECT_TRUE(HintsMatchIndexes(dupes));
    dupes.clear();
}

TEST_F(SearchThreadTest, DestroyedWhileSearching)
{
    openGenerated();
    auto controller = std::make_unique<TSearchController>(m_forest);
    int finishedCalls = 0;
    QObject::connect(controller.get(), &TSearchController::finished, [&](int, bool) { ++finishedCalls; });
    ASSERT_TRUE(controller->startNormal(m_list, NameCriteria("a"), true));
    controller.reset();   // cancels, runs the steps it waits for, and waits
    QCoreApplication::processEvents();
    EXPECT_EQ(finishedCalls, 0);
    EXPECT_TRUE(HintsMatchIndexes(m_list));
    m_list.clear();
}

} // namespace
