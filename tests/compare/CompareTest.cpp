// Tests of the compare to media and the check of files against catalogs:
// trees built in a temporary folder that a fake mount table presents as
// drive D:, scanned into a catalog, changed (files moved, grown, shrunk,
// re-dated, added, deleted, renamed, archives rewritten), and compared again;
// sizes past 32 bits, more folders than 16 bits count, virtual roots, a
// medium pulled mid-walk, cancel, and both run while a search walks.
#include "compare/CheckFiles.h"
#include "compare/CompareToMedia.h"
#include "compare/NameBuckets.h"

#include "GenTree.h"
#include "SearchSupport.h"
#include "TestCatalogs.h"
#include "catalog/CatalogFiles.h"
#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "platform/Drives.h"
#include "scan/DiskScan.h"
#include "search/FoundList.h"
#include "search/SearchThread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testcat;

namespace {

constexpr int64_t kTime1 = 981173106;   // 2001-02-03 04:05:06 UTC
constexpr int64_t kTime2 = kTime1 + 365 * 86400;

// A list as "folder\name" texts (the folder relative to the compared node,
// "" for its root), sorted, for comparing with a table.
using Names = std::set<std::string>;

// Progress that records steps and counts and can act after a number of entries.
class TestProgress : public TCompareProgress
{
public:
    void setStep(const QString &text) override { steps.push_back(text); }
    void setCounts(int64_t n, int64_t s, int64_t c, int64_t d) override
    {
        ++countCalls;
        lastCounts = {n, s, c, d};
    }
    void processEvents() override
    {
        ++events;
        if (onEvent)
            onEvent(events);
    }
    std::vector<QString> steps;
    int countCalls = 0;
    std::array<int64_t, 4> lastCounts{};
    int events = 0;
    std::function<void(int)> onEvent;
};

class CompareTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "compare_tests";
            static char *argv[] = {name, nullptr};
            static QCoreApplication app(argc, argv);
        }
    }
    void SetUp() override
    {
        ASSERT_TRUE(m_store.isValid());
        ASSERT_TRUE(m_work.isValid());
        QDir().mkpath(m_work.filePath(QStringLiteral("sys")));
        m_root = m_work.filePath(QStringLiteral("media"));
        ASSERT_TRUE(QFile::link(m_store.path(), m_root));
        m_drives = std::make_unique<TDrives>(sources());
        const auto letter = m_drives->driveOfPath(m_root);
        ASSERT_TRUE(letter.has_value());
        m_letter = *letter;
        m_catalog = NewCatalogNode(m_forest, "Compares");
    }
    void TearDown() override
    {
        while (!m_forest.roots().empty())
            DeleteCatalog(m_forest, m_forest.roots().front());
    }

    TDriveSources sources()
    {
        TDriveSources s;
        const QString mountPoint = m_root;
        s.mounts = [mountPoint] { return QList<TMountEntry>{{QStringLiteral("/dev/fake0"), mountPoint,
                                                              QStringLiteral("ext4"), QStringLiteral("rw")}}; };
        s.sysfsRoot = m_work.filePath(QStringLiteral("sys"));
        s.devDiskRoot = QString();
        s.readDevices = false;
        s.mayRun = [](const QString &) { return false; };
        s.now = [] { return QDateTime::fromSecsSinceEpoch(kTime2); };
        s.space = [](const QString &) -> std::optional<TFsSpace> { return TFsSpace{4096, 100000, 40000, 0x1234, 255}; };
        return s;
    }

public:
    QString media(const QString &rel) const { return m_root + QLatin1Char('/') + rel; }
    // Empties the medium.
    void clearMedia()
    {
        QDir dir(m_root);
        for (const QFileInfo &entry : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
            ASSERT_TRUE(entry.isDir() && !entry.isSymLink() ? QDir(entry.filePath()).removeRecursively()
                                                            : QFile::remove(entry.filePath()));
    }
    void file(const QString &rel, const QByteArray &content, int64_t mtime = kTime1)
    {
        QDir().mkpath(QFileInfo(media(rel)).absolutePath());
        ASSERT_TRUE(WriteFileBytes(media(rel), content)) << rel.toStdString();
        setTime(rel, mtime);
    }
    void sized(const QString &rel, int64_t size, int64_t mtime = kTime1)
    {
        QDir().mkpath(QFileInfo(media(rel)).absolutePath());
        QFile f(media(rel));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.resize(size));
        f.close();
        setTime(rel, mtime);
    }
    void setTime(const QString &rel, int64_t mtime)
    {
        const struct timespec times[2] = {{time_t(mtime), 0}, {time_t(mtime), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(media(rel)).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
    }
    void move(const QString &from, const QString &to)
    {
        QDir().mkpath(QFileInfo(media(to)).absolutePath());
        ASSERT_TRUE(QDir().rename(media(from), media(to))) << from.toStdString();
    }
    void remove(const QString &rel) { ASSERT_TRUE(QFile::remove(media(rel))) << rel.toStdString(); }

protected:
    TTreeNode *scan(const QByteArray &rootPath = {}, bool archives = true)
    {
        TScanOptions o;
        o.DatabaseList = m_catalog;
        o.BrowseArchiveCheck = archives;
        o.ExtractDir = m_work.filePath(QStringLiteral("extract")) + QLatin1Char('/');
        QDir().mkpath(o.ExtractDir);
        TScanHooks hooks;
        hooks.prompter = &m_prompter;
        const TScanOutcome outcome = ScanDisk(*m_drives, m_letter, rootPath, o, hooks);
        EXPECT_TRUE(outcome.Success) << outcome.Detail.toStdString();
        return outcome.DiskNode;
    }

    // The scan's default skip rules (hidden files and folders, recycle bins).
    static TWalkRules defaultRules()
    {
        TWalkRules rules;
        rules.SkipHiddenFiles = rules.SkipHiddenFolders = rules.SkipRecycleBins = true;
        return rules;
    }

    void compare(TCompareWork &work, TTreeNode *node, TCompareProgress *progress = nullptr)
    {
        const QByteArray root = CompareMediaRoot(*m_drives, m_letter, node);
        ASSERT_FALSE(root.isEmpty());
        // A disk's folder is the medium itself; a folder may be gone from it.
        CompareToMedia(work, node, root, AsDisk(NodeRec(node)) != nullptr, defaultRules(), progress);
    }

    // "folder\name" of a catalog record relative to the compared node.
    static std::string relName(TTreeNode *base, const TItemRec *rec)
    {
        const TCompareEntryView v = CompareEntryOf(rec);
        QByteArray path;
        for (TTreeNode *n = v.Folder; n && n != base && AsFolder(NodeRec(n)); n = n->parent())
            path.prepend(n->text() + '\\');
        return (path + v.Name.toByteArray()).toStdString();
    }
    static Names names(TTreeNode *base, const std::vector<TItemRec *> &list)
    {
        Names out;
        for (const TItemRec *rec : list)
            out.insert(relName(base, rec));
        return out;
    }
    // New files as "folder\name" relative to the medium's root folder.
    static Names newNames(const TCompareWork &work)
    {
        Names out;
        for (const TMediaFileEntry &e : work.NewFiles) {
            QByteArray folder = work.folderOf(e).mid(work.MediaRoot.size());
            folder.replace('/', '\\');
            while (folder.startsWith('\\'))
                folder.remove(0, 1);
            out.insert((folder + e.Name).toStdString());
        }
        return out;
    }

    // The medium's files live in memory where the machine offers a tmpfs, and
    // the mount table names a link to them (system places such as /dev are
    // never drives): the tests make tens of thousands of folders.
    static QString storeTemplate()
    {
        const QFileInfo shm(QStringLiteral("/dev/shm"));
        return (shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath()) +
               QStringLiteral("/quillon-compare-XXXXXX");
    }

    QTemporaryDir m_store{storeTemplate()};
    QTemporaryDir m_work;
    QString m_root;
    TForest m_forest;
    ScriptedPrompter m_prompter;
    ScopedDefaultPrompter m_prompterScope{&m_prompter};
    std::unique_ptr<TDrives> m_drives;
    QChar m_letter;
    TTreeNode *m_catalog = nullptr;
};

// ---- the lists of a compare, case by case ------------------------------------

struct ChangeCase {
    const char *what;
    std::function<void(CompareTest &)> change;
    Names newFiles, same, changed, deleted;
};

// The tree every case starts from.
void baseTree(CompareTest &t);

class CompareCases : public CompareTest
{
public:
    using CompareTest::file;
    using CompareTest::move;
    using CompareTest::remove;
    using CompareTest::setTime;
    using CompareTest::sized;
};

void baseTree(CompareTest &t)
{
    auto &c = static_cast<CompareCases &>(t);
    c.file(QStringLiteral("Readme.txt"), "read me");
    c.file(QStringLiteral("a.txt"), "aaaa");
    c.file(QStringLiteral("docs/a.txt"), "docs a");
    c.file(QStringLiteral("docs/guide.txt"), "guide");
    c.file(QStringLiteral("data/big.bin"), QByteArray(100, 'x'));
    c.file(QStringLiteral("data/small.bin"), QByteArray(50, 'y'));
    c.file(QStringLiteral(".hidden"), "not catalogued");
    std::vector<GenZipMember> members(2);
    members[0].name = "inner.txt";
    members[0].data = "inner";
    members[1].name = "sub/deep.txt";
    members[1].data = "deep";
    c.file(QStringLiteral("pack.zip"), MakeStoredZip(members));
}

const Names kAll = {"Readme.txt", "a.txt", "docs\\a.txt", "docs\\guide.txt", "data\\big.bin", "data\\small.bin",
                    "pack.zip"};

Names without(Names names, const std::vector<std::string> &gone)
{
    for (const auto &g : gone)
        names.erase(g);
    return names;
}

TEST_F(CompareCases, EveryKindOfChangeLandsInItsList)
{
    const std::vector<ChangeCase> cases = {
        {"nothing changed", [](CompareTest &) {}, {}, kAll, {}, {}},
        {"renamed", [](CompareTest &t) { static_cast<CompareCases &>(t).move("a.txt", "b.txt"); },
         {"b.txt"}, without(kAll, {"a.txt"}), {}, {"a.txt"}},
        {"moved to another folder (same name elsewhere stays)",
         [](CompareTest &t) { static_cast<CompareCases &>(t).move("docs/a.txt", "data/a.txt"); },
         {"data\\a.txt"}, without(kAll, {"docs\\a.txt"}), {}, {"docs\\a.txt"}},
        {"grown", [](CompareTest &t) { static_cast<CompareCases &>(t).file("data/big.bin", QByteArray(150, 'x')); },
         {}, without(kAll, {"data\\big.bin"}), {"data\\big.bin"}, {}},
        {"shrunk", [](CompareTest &t) { static_cast<CompareCases &>(t).file("data/small.bin", QByteArray(10, 'y')); },
         {}, without(kAll, {"data\\small.bin"}), {"data\\small.bin"}, {}},
        {"re-dated, same size",
         [](CompareTest &t) { static_cast<CompareCases &>(t).setTime("docs/guide.txt", kTime2); },
         {}, without(kAll, {"docs\\guide.txt"}), {"docs\\guide.txt"}, {}},
        {"attributes alone changed",
         [](CompareTest &t) {
             ASSERT_EQ(::chmod(QFile::encodeName(static_cast<CompareCases &>(t).media("a.txt")).constData(), 0444), 0);
         },
         {}, kAll, {}, {}},
        {"added", [](CompareTest &t) { static_cast<CompareCases &>(t).file("docs/new.txt", "new"); },
         {"docs\\new.txt"}, kAll, {}, {}},
        {"deleted", [](CompareTest &t) { static_cast<CompareCases &>(t).remove("docs/guide.txt"); },
         {}, without(kAll, {"docs\\guide.txt"}), {}, {"docs\\guide.txt"}},
        {"folder gone", [](CompareTest &t) { ASSERT_TRUE(QDir(static_cast<CompareCases &>(t).media("docs")).removeRecursively()); },
         {}, without(kAll, {"docs\\a.txt", "docs\\guide.txt"}), {}, {"docs\\a.txt", "docs\\guide.txt"}},
        {"upper-case 8.3 name on the medium",
         [](CompareTest &t) { static_cast<CompareCases &>(t).move("Readme.txt", "README.TXT"); },
         {}, kAll, {}, {}},
        {"archive rewritten: one changed file, no members",
         [](CompareTest &t) {
             std::vector<GenZipMember> members(1);
             members[0].name = "inner.txt";
             members[0].data = "inner, longer now";
             static_cast<CompareCases &>(t).file("pack.zip", MakeStoredZip(members));
         },
         {}, without(kAll, {"pack.zip"}), {"pack.zip"}, {}},
        {"archive re-dated", [](CompareTest &t) { static_cast<CompareCases &>(t).setTime("pack.zip", kTime2); },
         {}, without(kAll, {"pack.zip"}), {"pack.zip"}, {}},
        {"hidden file added: left out as the scan leaves it out",
         [](CompareTest &t) { static_cast<CompareCases &>(t).file(".another", "x"); }, {}, kAll, {}, {}},
    };
    for (const ChangeCase &c : cases) {
        SCOPED_TRACE(c.what);
        clearMedia();
        baseTree(*this);
        TTreeNode *disk = scan();
        ASSERT_NE(disk, nullptr);
        c.change(*this);
        TCompareWork work;
        compare(work, disk);
        ASSERT_EQ(work.Status, TCompareStatus::Done) << work.Message.toStdString();
        EXPECT_EQ(newNames(work), c.newFiles);
        EXPECT_EQ(names(disk, work.Lists[clSame]), c.same);
        EXPECT_EQ(names(disk, work.Lists[clChanged]), c.changed);
        EXPECT_EQ(names(disk, work.Lists[clDeleted]), c.deleted);
        EXPECT_EQ(work.noChanges(), c.newFiles.empty() && c.changed.empty() && c.deleted.empty());
        // Members of the compressed file never appear.
        for (int list = 1; list < 4; ++list)
            for (const TItemRec *rec : work.Lists[size_t(list)])
                EXPECT_NE(CompareEntryOf(rec).Name, QByteArrayView("inner.txt"));
        DeleteNodeWithRecords(disk);
    }
}

TEST_F(CompareCases, AFolderComparesItsOwnFilesAgainstTheSameFolderOnTheMedium)
{
    baseTree(*this);
    TTreeNode *disk = scan();
    TTreeNode *docs = nullptr;
    for (TTreeNode *child : disk->children())
        if (child->text() == "Docs" || child->text() == "docs")
            docs = child;
    ASSERT_NE(docs, nullptr);
    file("docs/more.txt", "more");
    file("elsewhere.txt", "not below docs");
    TCompareWork work;
    compare(work, docs);
    ASSERT_EQ(work.Status, TCompareStatus::Done);
    EXPECT_EQ(newNames(work), Names({"more.txt"}));
    EXPECT_EQ(names(docs, work.Lists[clSame]), Names({"a.txt", "guide.txt"}));
    EXPECT_TRUE(work.Lists[clDeleted].empty());
}

TEST_F(CompareCases, DeletedFilesAreInBucketOrderAndListsSortedByName)
{
    for (const char *name : {"zeta.txt", "Alpha.txt", "_under.txt", "9lives.txt", "beta.txt", "ALPHA2.TXT"})
        file(QString::fromLatin1(name), "x");
    TTreeNode *disk = scan();
    for (const char *name : {"zeta.txt", "Alpha.txt", "_under.txt", "9lives.txt", "beta.txt", "ALPHA2.TXT"})
        remove(QString::fromLatin1(name));
    TCompareWork work;
    compare(work, disk);
    std::vector<std::string> order;
    for (const TItemRec *rec : work.Lists[clDeleted])
        order.push_back(CompareEntryOf(rec).Name.toByteArray().toStdString());
    // Letters A-Z, then digits, then everything else; ASCII case ignored.
    EXPECT_EQ(order, (std::vector<std::string>{"Alpha.txt", "Alpha2.txt", "beta.txt", "zeta.txt", "9lives.txt",
                                               "_under.txt"}));
}

// A file that grows by exactly 4 GiB keeps its low 32 bits: only a 64-bit
// compare sees it (the wide catalog layout stores such sizes).
TEST_F(CompareCases, SizesCompareIn64Bits)
{
    const int64_t big = int64_t(5) << 30;
    sized(QStringLiteral("disc.iso"), big);
    TTreeNode *disk = scan();
    sized(QStringLiteral("disc.iso"), big + (int64_t(1) << 32));
    file(QStringLiteral("new.iso"), "n");
    sized(QStringLiteral("new.iso"), int64_t(3) << 30);
    TCompareWork work;
    compare(work, disk);
    EXPECT_EQ(names(disk, work.Lists[clChanged]), Names({"disc.iso"}));
    ASSERT_EQ(work.NewFiles.size(), 1u);
    EXPECT_EQ(work.NewFiles[0].Size, int64_t(3) << 30);
}

// The folder of a new file stays right past 32,767 folders, where a 16-bit
// index would wrap to a negative number.
TEST_F(CompareCases, FolderOfNewFilesStaysRightBeyondSixteenBits)
{
    file(QStringLiteral("keep.txt"), "k");
    TTreeNode *disk = scan();
    constexpr int kFolders = 33000;
    for (int i = 0; i < kFolders; ++i) {
        const QByteArray dir = QFile::encodeName(media(QStringLiteral("f%1").arg(i)));
        ASSERT_EQ(::mkdir(dir.constData(), 0755), 0);
        const int fd = ::open((dir + "/n" + QByteArray::number(i)).constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    TCompareWork work;
    compare(work, disk);
    ASSERT_EQ(work.NewFiles.size(), size_t(kFolders));
    EXPECT_EQ(work.FolderList.size(), size_t(kFolders));
    for (const TMediaFileEntry &e : work.NewFiles) {
        // Each new file "nI" sits in folder "fI".
        const QByteArray folder = work.folderOf(e);
        ASSERT_TRUE(folder.endsWith("/f" + e.Name.mid(1) + "/")) << folder.toStdString() << " " << e.Name.toStdString();
    }
}

// A disk catalogued from a folder of the drive compares with that folder,
// not with the drive's root.
TEST_F(CompareCases, VirtualRootDiskWalksItsFolder)
{
    file(QStringLiteral("outside.txt"), "o");
    file(QStringLiteral("Photos/one.jpg"), "1");
    file(QStringLiteral("Photos/trip/two.jpg"), "2");
    TTreeNode *disk = scan("\\Photos\\");
    ASSERT_TRUE(ItemIs(NodeRec(disk)->KindFlags, rfVirtualRoot));
    file(QStringLiteral("Photos/three.jpg"), "3");
    TCompareWork work;
    compare(work, disk);
    ASSERT_EQ(work.Status, TCompareStatus::Done);
    EXPECT_EQ(newNames(work), Names({"three.jpg"}));
    EXPECT_EQ(names(disk, work.Lists[clSame]), Names({"one.jpg", "trip\\two.jpg"}));
    EXPECT_TRUE(work.Lists[clDeleted].empty());
}

// A medium pulled out mid-walk ends with a message and no lists, never with
// a half list that looks complete.
TEST_F(CompareCases, MediumRemovedMidWalkFailsWithAMessage)
{
    for (int i = 0; i < 20; ++i)
        file(QStringLiteral("d%1/f.txt").arg(i), "x");
    TTreeNode *disk = scan();
    const QString away = m_root + QStringLiteral("-gone");
    TestProgress progress;
    bool pulled = false;
    int walked = 0;
    progress.onEvent = [&](int) {
        if (progress.steps.back() == MsgComparingToMedia() && ++walked == 5) {
            // The mount point's content goes elsewhere: open folders stay readable, the root is gone.
            pulled = QFile::rename(m_root, away);
        }
    };
    TCompareWork work;
    compare(work, disk, &progress);
    ASSERT_TRUE(pulled);
    EXPECT_EQ(work.Status, TCompareStatus::Failed);
    EXPECT_FALSE(work.Message.isEmpty());
    EXPECT_TRUE(work.NewFiles.empty());
    for (const auto &list : work.Lists)
        EXPECT_TRUE(list.empty());
    QFile::rename(away, m_root);
}

TEST_F(CompareCases, CancelStopsAtTheNextEntry)
{
    for (int i = 0; i < 200; ++i)
        file(QStringLiteral("f%1.txt").arg(i), "x");
    TTreeNode *disk = scan();
    TestProgress progress;
    int cancelledAt = -1;
    progress.onEvent = [&](int events) {
        if (events == 50) {
            progress.requestCancel();
            cancelledAt = events;
        }
    };
    TCompareWork work;
    compare(work, disk, &progress);
    EXPECT_EQ(work.Status, TCompareStatus::Cancelled);
    // Polled before every entry: nothing more was read after the request.
    EXPECT_EQ(progress.events, cancelledAt);
    EXPECT_TRUE(work.NewFiles.empty());
    for (const auto &list : work.Lists)
        EXPECT_TRUE(list.empty());
}

TEST_F(CompareCases, StepsAndCountsAreReported)
{
    baseTree(*this);
    TTreeNode *disk = scan();
    file(QStringLiteral("added.txt"), "x");
    remove(QStringLiteral("a.txt"));
    TestProgress progress;
    TCompareWork work;
    compare(work, disk, &progress);
    EXPECT_EQ(progress.steps, (std::vector<QString>{MsgLoadingCatalogData(), MsgComparingToMedia(), MsgSortingLists()}));
    EXPECT_GE(progress.countCalls, 1);
    EXPECT_EQ(progress.lastCounts, (std::array<int64_t, 4>{1, 6, 0, 1}));
}

TEST(CompareTexts, ListTextsFollowTheCounts)
{
    EXPECT_EQ(CompareComboText(TCompareMode::Media, clNew, 1), QStringLiteral("New files on media, not yet in the catalog (1 file)"));
    EXPECT_EQ(CompareComboText(TCompareMode::Media, clDeleted, 0), QStringLiteral("Deleted files since last cataloguing (0 files)"));
    EXPECT_EQ(CompareTabText(TCompareMode::Media, clSame, 12), QStringLiteral("  Same files (12)  "));
    EXPECT_EQ(CompareTabText(TCompareMode::Files, ckChanged, 2), QStringLiteral("  Found, but changed (2)  "));
    EXPECT_EQ(CompareComboText(TCompareMode::Files, ckFound, 2),
              QStringLiteral("Files found to be the same as in selected catalog (2 files)"));
}

TEST(NameBuckets, BucketsAndOrder)
{
    const std::vector<std::pair<QByteArray, int>> cases = {
        {"apple", 0}, {"Apple", 0}, {"zoo", 25}, {"Zoo", 25}, {"0day", 26}, {"9", 26},
        {"_x", 27}, {"\xC3\x89" "cole", 27}, {"", 27}, {"~", 27}};
    for (const auto &[name, bucket] : cases)
        EXPECT_EQ(NameBucket(name), bucket) << name.toStdString();
    EXPECT_EQ(CompareNamesAscii("README.TXT", "readme.txt"), 0);
    EXPECT_LT(CompareNamesAscii("a", "B"), 0);
    EXPECT_LT(CompareNamesAscii("ab", "abc"), 0);
    // Only ASCII letters fold: the UTF-8 bytes of É and é differ.
    EXPECT_NE(CompareNamesAscii("\xC3\x89", "\xC3\xA9"), 0);
}

// The prefix keys order names as the bucket and CompareNamesAscii do, so
// only names that tie on both keys need the byte comparison.
TEST(NameBuckets, PrefixKeysAgreeWithTheNameOrder)
{
    const std::vector<QByteArray> names = {"a", "A", "ab", "abc", "abcdefg", "ABCDEFG", "abcdefgh", "abcdefgz",
                                           "abcdefghijklmno", "abcdefghijklmnp", "abcdefghijklmnop", "Zoo", "zoo.txt",
                                           "0day", "9", "_x", "~", "\xC3\x89" "cole", "draft_26.log", "draft_27.log",
                                           "DRAFT_26.LOG", "draft_260.log"};
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const QByteArray &a : names) {
        for (const QByteArray &b : names) {
            const int bucket = sign(NameBucket(a) - NameBucket(b));
            const int expected = bucket != 0 ? bucket : sign(CompareNamesAscii(a, b));
            const uint64_t ka = NameKey(a), kb = NameKey(b), ka2 = NameKey2(a), kb2 = NameKey2(b);
            int byKeys = ka != kb ? (ka < kb ? -1 : 1) : ka2 != kb2 ? (ka2 < kb2 ? -1 : 1) : 0;
            if (byKeys == 0)
                byKeys = sign(CompareNamesAscii(a, b));
            EXPECT_EQ(byKeys, expected) << a.toStdString() << " / " << b.toStdString();
        }
    }
}

// ---- the check of files against catalogs ---------------------------------------

class CheckCases : public CompareCases
{
protected:
    QString source(const QString &rel = {}) const { return rel.isEmpty() ? m_source.path() : m_source.filePath(rel); }
    void sourceFile(const QString &rel, const QByteArray &content, int64_t mtime = kTime1)
    {
        QDir().mkpath(QFileInfo(source(rel)).absolutePath());
        ASSERT_TRUE(WriteFileBytes(source(rel), content));
        const struct timespec times[2] = {{time_t(mtime), 0}, {time_t(mtime), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(source(rel)).constData(), times, 0), 0);
    }
    void check(TCompareWork &work, bool subfolders = true, TSameChecks checks = {})
    {
        CheckFilesToCatalog(work, {m_catalog}, QFile::encodeName(source()), subfolders, checks, TWalkRules());
    }
    Names catalogNames(const std::vector<TItemRec *> &list)
    {
        Names out;
        for (const TItemRec *rec : list) {
            const TCompareEntryView v = CompareEntryOf(rec);
            TTreeNode *disk = DiskNodeOf(v.Folder);
            out.insert(disk->text().toStdString() + ":" + relName(disk, rec));
        }
        return out;
    }
    QTemporaryDir m_source;
};

TEST_F(CheckCases, SourceFilesSortIntoNewFoundAndChanged)
{
    baseTree(*this);
    file(QStringLiteral("copy/guide.txt"), "guide");   // a second catalogued copy of guide.txt
    TTreeNode *disk = scan();
    ASSERT_NE(disk, nullptr);
    sourceFile(QStringLiteral("guide.txt"), "guide");               // both copies the same
    sourceFile(QStringLiteral("sub/A.TXT"), "aaaa");                // found as a.txt (root) and changed as docs\a.txt
    sourceFile(QStringLiteral("other/a.txt"), "aaaa");              // the same records again: listed once
    sourceFile(QStringLiteral("inner.txt"), "inner");               // a member of pack.zip: never found
    sourceFile(QStringLiteral("pack.zip"), QByteArray("different")); // the compressed file itself is found
    sourceFile(QStringLiteral("fresh.txt"), "fresh");
    TCompareWork work;
    check(work);
    ASSERT_EQ(work.Status, TCompareStatus::Done) << work.Message.toStdString();
    EXPECT_EQ(work.Mode, TCompareMode::Files);
    EXPECT_EQ(newNames(work), Names({"inner.txt", "fresh.txt"}));
    const std::string d = disk->text().toStdString() + ":";
    EXPECT_EQ(catalogNames(work.Lists[ckFound]), Names({d + "docs\\guide.txt", d + "copy\\guide.txt", d + "a.txt"}));
    EXPECT_EQ(catalogNames(work.Lists[ckChanged]), Names({d + "docs\\a.txt", d + "pack.zip"}));
    EXPECT_EQ(work.Lists[ckFound].size(), 3u);   // each record once
    EXPECT_EQ(work.Lists[ckChanged].size(), 2u);
}

TEST_F(CheckCases, OptionsDecideWhatIsTheSame)
{
    file(QStringLiteral("doc.txt"), "12345");
    TTreeNode *disk = scan();
    ASSERT_NE(disk, nullptr);
    sourceFile(QStringLiteral("doc.txt"), "12345", kTime2);   // same size, another date
    struct Case {
        const char *what;
        TSameChecks checks;
        bool found;
    };
    const std::vector<Case> cases = {
        {"size and date", {true, true, false}, false},
        {"size only", {true, false, false}, true},
        {"name only", {false, false, false}, true},
        {"attributes (archive on both)", {false, false, true}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TCompareWork work;
        check(work, true, c.checks);
        EXPECT_EQ(work.Lists[ckFound].size(), c.found ? 1u : 0u);
        EXPECT_EQ(work.Lists[ckChanged].size(), c.found ? 0u : 1u);
    }
}

TEST_F(CheckCases, WithoutSubfoldersOnlyTheFolderItselfIsChecked)
{
    file(QStringLiteral("a.txt"), "a");
    scan();
    sourceFile(QStringLiteral("top.txt"), "t");
    sourceFile(QStringLiteral("deeper/a.txt"), "a");
    TCompareWork work;
    check(work, false);
    EXPECT_EQ(newNames(work), Names({"top.txt"}));
    EXPECT_TRUE(work.Lists[ckFound].empty());
    check(work, true);
    EXPECT_EQ(newNames(work), Names({"top.txt"}));
    EXPECT_EQ(work.Lists[ckFound].size(), 1u);
}

TEST_F(CheckCases, MissingSourceFolderFails)
{
    file(QStringLiteral("a.txt"), "a");
    scan();
    TCompareWork work;
    CheckFilesToCatalog(work, {m_catalog}, QFile::encodeName(source(QStringLiteral("nothing-here"))), true, {},
                        TWalkRules());
    EXPECT_EQ(work.Status, TCompareStatus::Failed);
    EXPECT_FALSE(work.Message.isEmpty());
}

TEST_F(CheckCases, CancelWhileLoadingEndsWithoutResults)
{
    file(QStringLiteral("a.txt"), "a");
    scan();
    sourceFile(QStringLiteral("a.txt"), "a");
    TestProgress progress;
    progress.requestCancel();
    TCompareWork work;
    CheckFilesToCatalog(work, {m_catalog}, QFile::encodeName(source()), true, {}, TWalkRules(), &progress);
    EXPECT_EQ(work.Status, TCompareStatus::Cancelled);
    EXPECT_TRUE(work.NewFiles.empty());
    EXPECT_TRUE(work.Lists[ckFound].empty());
}

// ---- with a search walking the same catalog ------------------------------------

// The catalog is saved and opened again, so the search reads and drops file
// lists while the compare and the check (on this thread, serving the
// search's steps between entries) hold records of those lists.
TEST_F(CheckCases, CompareAndCheckWhileASearchWalks)
{
    for (int d = 0; d < 40; ++d)
        for (int f = 0; f < 25; ++f)
            file(QStringLiteral("d%1/file%2.txt").arg(d).arg(f), QByteArray::number(d * 100 + f));
    scan();
    const QString catalogFile = m_work.filePath(QStringLiteral("c.ctf"));
    SaveCatalogTo(m_catalog, catalogFile);
    DeleteCatalog(m_forest, m_catalog);
    m_catalog = ReadCatalog(m_forest, catalogFile);
    ASSERT_NE(m_catalog, nullptr);
    TTreeNode *disk = m_catalog->child(0);
    for (int d = 0; d < 40; d += 4)
        file(QStringLiteral("d%1/file0.txt").arg(d), "changed content");
    sourceFile(QStringLiteral("file3.txt"), "3");   // the size of d0/file3.txt alone

    // Expected lists: the same runs without a search.
    TCompareWork quietCompare, quietCheck;
    compare(quietCompare, disk);
    check(quietCheck, true, {true, false, false});
    const Names same = names(disk, quietCompare.Lists[clSame]);
    const Names changed = names(disk, quietCompare.Lists[clChanged]);
    const Names found = catalogNames(quietCheck.Lists[ckFound]);
    const Names foundChanged = catalogNames(quietCheck.Lists[ckChanged]);
    ASSERT_EQ(changed.size(), 10u);
    ASSERT_EQ(found.size(), 1u);
    quietCompare.clear();
    quietCheck.clear();
    // Drop everything loaded, so the search and the compare both read.
    DeleteCatalog(m_forest, m_catalog);
    m_catalog = ReadCatalog(m_forest, catalogFile);
    disk = m_catalog->child(0);

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        TFoundList list(ResultListId::Found);
        TSearchController controller(m_forest);
        ASSERT_TRUE(controller.startNormal(list, NameCriteria("no such name"), true));
        TestProgress progress;
        int servedWhileSearching = 0;
        progress.onEvent = [&](int) {
            if (controller.searching())
                ++servedWhileSearching;
            QCoreApplication::processEvents();
        };
        TCompareWork work;
        if (round != 1)
            compare(work, disk, &progress);
        if (round == 1) {
            CheckFilesToCatalog(work, {m_catalog}, QFile::encodeName(source()), true, {true, false, false},
                                TWalkRules(), &progress);
            EXPECT_EQ(catalogNames(work.Lists[ckFound]), found);
            EXPECT_EQ(catalogNames(work.Lists[ckChanged]), foundChanged);
        } else {
            ASSERT_EQ(work.Status, TCompareStatus::Done);
            EXPECT_EQ(names(disk, work.Lists[clSame]), same);
            EXPECT_EQ(names(disk, work.Lists[clChanged]), changed);
            EXPECT_TRUE(work.NewFiles.empty());
        }
        while (controller.searching())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // Whatever the search (or any other command) drops now, the listed
        // records stay in their chains while the results live.
        std::vector<TTreeNode *> nodes;
        ForEachNode(m_catalog, [&](TTreeNode *n) { nodes.push_back(n); });
        for (TTreeNode *n : nodes)
            UnloadFileList(n);
        for (int l = 1; l < work.listCount(); ++l) {
            for (const TItemRec *rec : work.Lists[size_t(l)]) {
                bool inChain = false;
                for (const TFileRec *f = NodeRec(rec->Node)->Next; f && !inChain; f = f->Next)
                    inChain = f == rec;
                ASSERT_TRUE(inChain);
                EXPECT_TRUE(CompareEntryOf(rec).Name.startsWith("file"));
            }
        }
        list.clear();
        if (round != 1) {
            EXPECT_GT(servedWhileSearching, 0);
        }
    }
}

} // namespace
