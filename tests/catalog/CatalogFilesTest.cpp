// Creating, opening, saving and closing catalogs as the user does it: the
// dialogs and questions come from a scripted host, the files are real.
#include "TestCatalogs.h"

#include "catalog/CatalogFiles.h"
#include "catalog/CatalogOps.h"
#include "catalog/NewCatalogFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <deque>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testcat;

namespace {

// A host whose dialogs answer from queues and whose free space can be set.
class ScriptedHost : public TCatalogHost
{
public:
    explicit ScriptedHost(Prompter &p) : m_prompter(p) {}
    Prompter &prompter() override { return m_prompter; }
    QStringList chooseOpenFiles(const QString &) override
    {
        ++openDialogs;
        if (openAnswers.empty())
            return {};
        QStringList a = openAnswers.front();
        openAnswers.pop_front();
        return a;
    }
    QString chooseSaveFile(const QString &title, const QString &folder, const QString &fileName) override
    {
        saveDialogs.push_back({title, folder, fileName});
        if (saveAnswers.empty())
            return {};
        QString a = saveAnswers.front();
        saveAnswers.pop_front();
        return a;
    }
    std::optional<QString> askText(const QString &caption, const QString &prompt, const QString &text) override
    {
        asked = caption + QLatin1Char('|') + prompt + QLatin1Char('|') + text;
        return textAnswer;
    }
    void catalogShown(TTreeNode *node, bool select) override
    {
        if (select)
            selected = node;
    }
    int64_t freeSpace(const QString &folder) override
    {
        return free >= 0 ? free : TCatalogHost::freeSpace(folder);
    }

    struct SaveDialog {
        QString title, folder, fileName;
    };
    std::deque<QStringList> openAnswers;
    std::deque<QString> saveAnswers;
    std::vector<SaveDialog> saveDialogs;
    std::optional<QString> textAnswer;
    QString asked;
    TTreeNode *selected = nullptr;
    int openDialogs = 0;
    int64_t free = -1;

private:
    Prompter &m_prompter;
};

// Records what the wait window would show.
class RecordingSink : public ProgressSink
{
public:
    void ShowWait(const QString &text, bool withBar, bool) override
    {
        texts.push_back(text);
        bar = withBar;
    }
    void AdvanceWait(int64_t amount) override { position += amount; }
    void SetWaitMax(int64_t m) override { max = m; }
    void HideWait() override {}
    void CloseWait() override { closed = true; }

    std::vector<QString> texts;
    bool bar = false, closed = false;
    int64_t position = 0, max = 0;
};

class CatalogFiles : public CatalogFixture
{
protected:
    CatalogFiles() : m_host(m_prompter) {}

    // A catalog with one disk, a folder and a file, saved to name.
    TTreeNode *makeSaved(const QString &name, const QByteArray &catalogName = "Cat")
    {
        TTreeNode *cat = NewCatalogNode(m_forest, catalogName);
        TTreeNode *disk = AddDiskNode(cat, "Disk");
        TTreeNode *folder = AddFolderNode(disk, "Docs");
        AppendFile(folder, "a.txt")->Size = 5;
        SetDiskDirty(disk, true);
        m_host.saveAnswers.push_back(path(name));
        EXPECT_TRUE(SaveCatalog(cat, false, m_host, m_settings));
        return cat;
    }
    std::vector<QString> captions() const
    {
        std::vector<QString> out;
        for (const auto &m : m_prompter.messages)
            out.push_back(m.caption);
        return out;
    }

    ScriptedHost m_host;
    TCatalogFileSettings m_settings;
};

} // namespace

TEST_F(CatalogFiles, NewCatalogProposesTheNextFreeName)
{
    m_host.textAnswer = QStringLiteral("");
    TTreeNode *first = NewCatalog(m_forest, m_host);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text(), "Catalog1");   // an emptied text keeps the proposal
    EXPECT_EQ(m_host.asked, "New Catalog|Enter a name for the new catalog:|Catalog1");
    EXPECT_EQ(m_host.selected, first);
    EXPECT_EQ(ProposedCatalogName(m_forest), "Catalog2");
    m_host.textAnswer = std::nullopt;
    EXPECT_EQ(NewCatalog(m_forest, m_host), nullptr);
    m_host.textAnswer = QStringLiteral("Music");
    TTreeNode *music = NewCatalog(m_forest, m_host);
    EXPECT_EQ(music->text(), "Music");
    EXPECT_FALSE(AsCatalog(music->data())->Stream);
    EXPECT_EQ(AsCatalog(music->data())->Dirty, 0);
}

TEST_F(CatalogFiles, FirstSaveProposesASafeNameThenSavesWithoutDialog)
{
    TTreeNode *cat = NewCatalogNode(m_forest, "a/b:c*?");
    SetCatalogDirty(cat, true);
    m_settings.CatalogPathEdit = m_dir.path();
    m_host.saveAnswers.push_back(path("first.ctf"));
    ASSERT_TRUE(SaveCatalog(cat, false, m_host, m_settings));
    ASSERT_EQ(m_host.saveDialogs.size(), 1u);
    EXPECT_EQ(m_host.saveDialogs[0].fileName, "a_b_c__");
    EXPECT_EQ(m_host.saveDialogs[0].folder, m_dir.path());
    EXPECT_EQ(m_host.saveDialogs[0].title, "Save Catalog \"a/b:c*?\" As ...");
    EXPECT_EQ(AsCatalog(cat->data())->FileName, path("first.ctf"));
    EXPECT_TRUE(AsCatalog(cat->data())->Stream);

    // Nothing changed: no dialog, no file written.
    const QDateTime stamp = QFileInfo(path("first.ctf")).lastModified();
    EXPECT_TRUE(SaveCatalog(cat, false, m_host, m_settings));
    EXPECT_EQ(m_host.saveDialogs.size(), 1u);
    // Changed: saved in place without a dialog; "Save As" always asks.
    SetCatalogDirty(cat, true);
    EXPECT_TRUE(SaveCatalog(cat, false, m_host, m_settings));
    EXPECT_EQ(m_host.saveDialogs.size(), 1u);
    EXPECT_FALSE(SaveCatalog(cat, true, m_host, m_settings));   // dialog cancelled
    EXPECT_EQ(m_host.saveDialogs.size(), 2u);
    EXPECT_EQ(m_host.saveDialogs[1].fileName, path("first.ctf"));
    (void)stamp;
}

TEST_F(CatalogFiles, BackupKeepsThePreviousFileAndReplacesAnOlderBackup)
{
    TTreeNode *cat = makeSaved("cat.ctf");
    const QByteArray firstBytes = ReadFileBytes(path("cat.ctf"));
    ASSERT_TRUE(WriteFileBytes(path("cat.BAK"), "old backup"));
    RenameDisk(cat->child(0), "Renamed");
    ASSERT_TRUE(SaveCatalog(cat, false, m_host, m_settings));
    EXPECT_EQ(ReadFileBytes(path("cat.BAK")), firstBytes);
    EXPECT_NE(ReadFileBytes(path("cat.ctf")), firstBytes);
    // No temporary files left beside it.
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), 2);

    // Backups off: the old file is simply replaced.
    QFile::remove(path("cat.BAK"));
    m_settings.CreateBakCheck = false;
    RenameDisk(cat->child(0), "Again");
    ASSERT_TRUE(SaveCatalog(cat, false, m_host, m_settings));
    EXPECT_FALSE(QFileInfo::exists(path("cat.BAK")));

    // The saved file opens with the new name and its unread folder.
    closeCatalog(cat);
    TTreeNode *reopened = open(path("cat.ctf"));
    ASSERT_EQ(reopened->childCount(), 1);
    EXPECT_EQ(reopened->child(0)->text(), "Again");
    EXPECT_EQ(reopened->child(0)->childCount(), 1);
}

TEST_F(CatalogFiles, TooLittleSpaceForABackupLeavesNone)
{
    TTreeNode *cat = makeSaved("cat.ctf");
    RenameDisk(cat->child(0), "Renamed");
    m_host.free = 10;   // not room for both files: no backup (and the file goes through the temporary folder)
    ASSERT_TRUE(SaveCatalog(cat, false, m_host, m_settings));
    EXPECT_FALSE(QFileInfo::exists(path("cat.BAK")));
}

TEST_F(CatalogFiles, NotEnoughSpaceAtTheTargetKeepsTheCatalogSavable)
{
    TTreeNode *cat = makeSaved("cat.ctf");
    const QByteArray before = ReadFileBytes(path("cat.ctf"));
    RenameDisk(cat->child(0), "Renamed");
    m_host.free = 0;
    m_host.saveAnswers.push_back(path("other.ctf"));
    EXPECT_FALSE(SaveCatalog(cat, true, m_host, m_settings));
    ASSERT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].caption, "Save error");
    EXPECT_EQ(m_prompter.messages[0].text, "There is not enough disk space on destination drive to save the catalog.");
    EXPECT_FALSE(QFileInfo::exists(path("other.ctf")));
    EXPECT_EQ(ReadFileBytes(path("cat.ctf")), before);
    // Still the old file's catalog, still modified, and savable once there is room.
    EXPECT_EQ(AsCatalog(cat->data())->FileName, path("cat.ctf"));
    EXPECT_EQ(AsCatalog(cat->data())->Dirty, 1);
    m_host.free = -1;
    m_host.saveAnswers.push_back(path("other.ctf"));
    ASSERT_TRUE(SaveCatalog(cat, true, m_host, m_settings));
    closeCatalog(cat);
    EXPECT_EQ(open(path("other.ctf"))->child(0)->text(), "Renamed");
}

TEST_F(CatalogFiles, SavingOverAnotherOpenCatalogIsRefused)
{
    makeSaved("one.ctf", "One");
    TTreeNode *two = makeSaved("two.ctf", "Two");
    m_host.saveAnswers.push_back(path("one.ctf"));
    m_host.saveAnswers.push_back(path("nodir/x.ctf"));
    EXPECT_FALSE(SaveCatalog(two, true, m_host, m_settings));   // third dialog cancelled
    EXPECT_EQ(captions(), (std::vector<QString>{"File create error", "File create error"}));
    EXPECT_EQ(m_prompter.messages[0].text,
              "This file already exists and is in use.\rEnter new file name or close this file in other applications.");
    EXPECT_EQ(m_prompter.messages[1].text, "Can not create this file for writing.\rPlease enter a valid file name and "
                                           "path, on write-enabled device.");
    // Its own file is accepted.
    m_host.saveAnswers.push_back(path("two.ctf"));
    EXPECT_TRUE(SaveCatalog(two, true, m_host, m_settings));
}

TEST_F(CatalogFiles, AFailedReplaceKeepsBothFilesAndTheCatalogUsable)
{
    TTreeNode *cat = makeSaved("cat.ctf");
    // A folder where the file should go: the rename over it fails.
    ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("blocked/inside")));
    RenameDisk(cat->child(0), "Renamed");
    m_settings.CreateBakCheck = false;
    m_host.saveAnswers.push_back(path("blocked"));
    m_prompter.answers = {MsgAnswer::Retry, MsgAnswer::Cancel};
    EXPECT_FALSE(SaveCatalog(cat, true, m_host, m_settings));
    ASSERT_EQ(m_prompter.messages.size(), 2u);
    EXPECT_EQ(m_prompter.messages[0].caption, "Save error");
    EXPECT_EQ(m_prompter.messages[0].buttons, MsgButtons::RetryCancel);
    EXPECT_TRUE(m_prompter.messages[0].text.startsWith("There was a problem while trying to replace old catalog file.\r"));
    // The new file was kept and the message says where.
    const QString text = m_prompter.messages[1].text;
    const int at = text.indexOf("kept as ");
    ASSERT_GE(at, 0);
    QString kept = text.mid(at + 8);
    kept.chop(1);
    EXPECT_TRUE(QFileInfo::exists(kept));
    // The catalog still reads its old file and saves normally.
    EXPECT_EQ(AsCatalog(cat->data())->FileName, path("cat.ctf"));
    EXPECT_EQ(AsCatalog(cat->data())->Dirty, 1);
    LoadFileList(cat->child(0)->child(0));
    ASSERT_TRUE(SaveCatalog(cat, false, m_host, m_settings));
    closeCatalog(cat);
    EXPECT_EQ(open(path("cat.ctf"))->child(0)->text(), "Renamed");
}

TEST_F(CatalogFiles, OpenTwiceAndMultiSelection)
{
    TTreeNode *cat = makeSaved("cat.ctf");
    (void)cat;
    QStringList one{path("cat.ctf")};
    TRecentFiles recent;
    EXPECT_TRUE(OpenCatalogs(m_forest, m_host, &one, false, m_settings, &recent).empty());
    ASSERT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].caption, "Catalog is opened");
    EXPECT_EQ(m_prompter.messages[0].text, "Catalog file \"" + path("cat.ctf") + "\" is already opened.");

    makeSaved("b.ctf", "B");
    closeCatalog(m_forest.roots().back());
    QStringList two{path("cat.ctf"), path("b.ctf")};
    const auto opened = OpenCatalogs(m_forest, m_host, &two, false, m_settings, &recent);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(m_prompter.messages.size(), 1u);   // skipped silently
    EXPECT_EQ(m_host.selected, opened[0]);
    EXPECT_EQ(recent.files(), QStringList{path("b.ctf")});
}

TEST_F(CatalogFiles, QuietListsReportEachFailureAndDropBadEntries)
{
    makeSaved("good1.ctf", "G1");
    makeSaved("good2.ctf", "G2");
    CloseAllCatalogs(m_forest, false, m_host, m_settings);
    ASSERT_TRUE(WriteFileBytes(path("bad.ctf"), "this is no catalog at all, just text"));
    QStringList autoload{path("bad.ctf"), path("good1.ctf"), path("missing.ctf"), path("good2.ctf")};
    bool changed = false;
    const auto opened = OpenCatalogs(m_forest, m_host, &autoload, true, m_settings, nullptr, &changed);
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_TRUE(changed);
    EXPECT_EQ(autoload, (QStringList{path("good1.ctf"), path("good2.ctf")}));
    EXPECT_EQ(captions(), (std::vector<QString>{"Catalog error", "Load error"}));
    EXPECT_TRUE(m_prompter.messages[0].text.startsWith(path("bad.ctf") + "\n\r"));
    EXPECT_EQ(m_prompter.messages[1].text,
              "Can't open catalog file " + path("missing.ctf") + ".\rThis file does not exist.");
}

TEST_F(CatalogFiles, OpenDialogAndRecentList)
{
    makeSaved("a.ctf", "A");
    CloseAllCatalogs(m_forest, false, m_host, m_settings);
    TRecentFiles recent;
    EXPECT_TRUE(OpenCatalogs(m_forest, m_host, nullptr, true, m_settings, &recent).empty());   // dialog cancelled
    EXPECT_EQ(m_host.openDialogs, 1);
    m_host.openAnswers.push_back({path("a.ctf")});
    ASSERT_EQ(OpenCatalogs(m_forest, m_host, nullptr, true, m_settings, &recent).size(), 1u);
    EXPECT_EQ(recent.files(), QStringList{path("a.ctf")});
    for (int i = 0; i < 6; ++i)
        recent.add(QStringLiteral("/x/%1.ctf").arg(i));
    EXPECT_EQ(recent.files().size(), TRecentFiles::kMax);
    EXPECT_EQ(recent.files().front(), "/x/5.ctf");
    recent.add(QStringLiteral("/x/3.ctf"));   // a reopened file moves first, the list keeps its size
    EXPECT_EQ(recent.files(), (QStringList{"/x/3.ctf", "/x/5.ctf", "/x/4.ctf", "/x/2.ctf"}));
    recent.setFiles({"/1.ctf", "/2.ctf", "/3.ctf", "/4.ctf", "/5.ctf"});
    EXPECT_EQ(recent.files(), (QStringList{"/1.ctf", "/2.ctf", "/3.ctf", "/4.ctf"}));
}

TEST_F(CatalogFiles, CloseAsksAndHonoursTheAnswer)
{
    TTreeNode *cat = makeSaved("cat.ctf");
    RenameDisk(cat->child(0), "Changed");
    m_prompter.answers = {MsgAnswer::Cancel};
    EXPECT_EQ(CloseCatalog(cat, true, m_host, m_settings), caCancel);
    ASSERT_EQ(m_forest.roots().size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].text, "Save changes to catalog \"Cat\" ?");
    EXPECT_EQ(m_prompter.messages[0].buttons, MsgButtons::YesNoCancel);

    m_prompter.answers = {MsgAnswer::No};
    EXPECT_EQ(CloseCatalog(cat, true, m_host, m_settings), caNo);
    EXPECT_TRUE(m_forest.roots().empty());
    EXPECT_EQ(open(path("cat.ctf"))->child(0)->text(), "Disk");   // the change was discarded

    TTreeNode *again = m_forest.roots().back();
    RenameDisk(again->child(0), "Kept");
    m_prompter.answers = {MsgAnswer::Yes};
    EXPECT_EQ(CloseCatalog(again, true, m_host, m_settings), caYes);
    EXPECT_EQ(open(path("cat.ctf"))->child(0)->text(), "Kept");
}

TEST_F(CatalogFiles, SaveModifiedAndAutoSave)
{
    TTreeNode *a = makeSaved("a.ctf", "A");
    TTreeNode *b = makeSaved("b.ctf", "B");
    EXPECT_EQ(SaveModifiedCatalogs(m_forest, m_host, m_settings), caYes);   // nothing modified, nothing asked
    EXPECT_TRUE(m_prompter.messages.empty());
    RenameDisk(a->child(0), "A2");
    RenameDisk(b->child(0), "B2");
    m_prompter.answers = {MsgAnswer::No, MsgAnswer::Cancel};
    EXPECT_EQ(SaveModifiedCatalogs(m_forest, m_host, m_settings), caCancel);
    EXPECT_EQ(m_prompter.messages.size(), 2u);
    AutoSave(m_forest, m_host, m_settings);
    EXPECT_EQ(AsCatalog(a->data())->Dirty, 0);
    EXPECT_EQ(AsCatalog(b->data())->Dirty, 0);
    CloseAllCatalogs(m_forest, true, m_host, m_settings);
    EXPECT_TRUE(m_forest.roots().empty());
    EXPECT_EQ(open(path("b.ctf"))->child(0)->text(), "B2");
}

TEST_F(CatalogFiles, SavingShowsProgressOverTheDisks)
{
    TTreeNode *cat = NewCatalogNode(m_forest, "P");
    for (int d = 0; d < 3; ++d) {
        TTreeNode *disk = AddDiskNode(cat, QByteArray("D") + QByteArray::number(d));
        AsFolder(AddFolderNode(disk, "F")->data())->TotalSize = int64_t(1000 + d) * 10000;
        SetDiskDirty(disk, true);
    }
    TTreeNode *empty = AddDiskNode(cat, "E");   // no folders: weighs its capacity
    TDiskRec *e = AsDisk(empty->data());
    e->TotalClusters = 10;
    e->BytesPerSector = 512;
    SetDiskDirty(empty, true);

    struct ProgressHost : ScriptedHost {
        using ScriptedHost::ScriptedHost;
        ProgressSink *progress() override { return &sink; }
        RecordingSink sink;
    } host(m_prompter);
    host.saveAnswers.push_back(path("p.ctf"));
    ASSERT_TRUE(SaveCatalog(cat, false, host, m_settings));
    EXPECT_EQ(host.sink.texts.front(), "Saving catalog, please wait...");
    EXPECT_TRUE(host.sink.bar);
    EXPECT_EQ(host.sink.max, 1000 + 1001 + 1002 + 5120);
    EXPECT_EQ(host.sink.position, host.sink.max);
    EXPECT_TRUE(host.sink.closed);
}

TEST_F(CatalogFiles, UniqueDiskNamesCountOnlyTheirOwnSuffix)
{
    TTreeNode *cat = NewCatalogNode(m_forest, "U");
    AddDiskNode(cat, "Backup");
    AddDiskNode(cat, "Backup (old) (2)");
    TTreeNode *other = AddDiskNode(cat, "Other");
    EXPECT_EQ(UniqueDiskName(cat, "Backup", other), "Backup (2)");
    EXPECT_EQ(UniqueDiskName(cat, "Backup (3)", other), "Backup (2)");
    EXPECT_EQ(UniqueDiskName(cat, "Backup (1)", other), "Backup (1)");   // (1) is no counter
    // The counter is the last " (n)"; the name before it is free, so it is taken.
    EXPECT_EQ(UniqueDiskName(cat, "Backup (old) (2)", other), "Backup (old)");
    AddDiskNode(cat, "Backup (old)");
    EXPECT_EQ(UniqueDiskName(cat, "Backup (old) (2)", other), "Backup (old) (3)");
    EXPECT_EQ(UniqueDiskName(cat, "Other", other), "Other");
}

// ---------------------------------------------------------------- the new file

namespace {

mode_t modeOf(const QString &file)
{
    struct stat st;
    return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

gid_t groupOf(const QString &file)
{
    struct stat st;
    return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? st.st_gid : gid_t(-1);
}

// A group other than the user's own that the user may give files: any group
// for the superuser, else a supplementary one; -1 when there is none.
gid_t otherGroup()
{
    if (::geteuid() == 0)
        return ::getegid() == 4242 ? 4343 : 4242;
    gid_t groups[64];
    const int n = ::getgroups(64, groups);
    for (int i = 0; i < n; ++i)
        if (groups[i] != ::getegid())
            return groups[i];
    return gid_t(-1);
}

// The names in a folder, hidden ones too.
QStringList folderEntries(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    return names;
}

class UmaskScope
{
public:
    explicit UmaskScope(mode_t mask) : m_old(::umask(mask)) {}
    ~UmaskScope() { ::umask(m_old); }

private:
    mode_t m_old;
};

class UnnamedScope
{
public:
    explicit UnnamedScope(bool allowed) { TNewCatalogFile::SetUnnamedAllowed(allowed); }
    ~UnnamedScope() { TNewCatalogFile::SetUnnamedAllowed(true); }
};

} // namespace

TEST_F(CatalogFiles, ASaveKeepsTheModeAndGroupOfTheFileItReplaces)
{
    struct Case {
        mode_t mode;
        bool backup;
        bool throughTemporaryFolder;
    };
    const Case cases[] = {
        {0664, true, false}, {0664, false, false}, {0640, true, false},
        {0600, false, false}, {0644, true, true},  {0660, false, true},
    };
    const gid_t group = otherGroup();
    for (const Case &k : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << k.mode << std::dec << " backup " << k.backup << " moved "
                                        << k.throughTemporaryFolder);
        TTreeNode *cat = makeSaved("shared.ctf");
        const QString file = path("shared.ctf");
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), k.mode), 0);
        if (group != gid_t(-1)) {
            ASSERT_EQ(::chown(QFile::encodeName(file).constData(), uid_t(-1), group), 0);
        }
        m_settings.CreateBakCheck = k.backup;
        m_host.free = k.throughTemporaryFolder ? 10 : -1;
        RenameDisk(cat->child(0), "Renamed");
        ASSERT_TRUE(SaveCatalog(cat, false, m_host, m_settings));
        EXPECT_EQ(modeOf(file), k.mode);
        if (group != gid_t(-1)) {
            EXPECT_EQ(groupOf(file), group);
        }
        closeCatalog(cat);
        EXPECT_EQ(open(file)->child(0)->text(), "Renamed");
        closeCatalog(m_forest.roots().back());
        QFile::remove(file);
        QFile::remove(path("shared.BAK"));
        m_host.free = -1;
    }
}

TEST_F(CatalogFiles, ANewCatalogFileGetsTheDefaultModeUnderTheUmask)
{
    const std::pair<mode_t, mode_t> cases[] = {{022, 0644}, {002, 0664}, {077, 0600}, {0, 0666}};
    int n = 0;
    for (const auto &[mask, expected] : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << mask);
        const UmaskScope umaskScope(mask);
        const QString name = QStringLiteral("new%1.ctf").arg(++n);
        makeSaved(name, "New" + QByteArray::number(n));
        EXPECT_EQ(modeOf(path(name)), expected);
        // Through SaveCatalogTo too.
        TTreeNode *cat = m_forest.roots().back();
        SaveCatalogTo(cat, path(QStringLiteral("to%1.ctf").arg(n)));
        EXPECT_EQ(modeOf(path(QStringLiteral("to%1.ctf").arg(n))), expected);
    }
}

namespace {

// A progress window that stops the save for good once the first disk is in
// the new file, after telling the parent process through a pipe.
class StoppingSink : public ProgressSink
{
public:
    explicit StoppingSink(int fd) : m_fd(fd) {}
    void ShowWait(const QString &, bool, bool) override {}
    void AdvanceWait(int64_t) override
    {
        const char c = 'x';
        if (::write(m_fd, &c, 1) == 1)
            for (;;)
                ::pause();
    }
    void SetWaitMax(int64_t) override {}
    void HideWait() override {}
    void CloseWait() override {}

private:
    int m_fd;
};

class StoppingHost : public TCatalogHost
{
public:
    explicit StoppingHost(int fd) : m_sink(fd) {}
    ProgressSink *progress() override { return &m_sink; }

private:
    StoppingSink m_sink;
};

} // namespace

TEST_F(CatalogFiles, ASaveKilledPartWayLeavesNothingBehind)
{
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed new file" : "named new file");
        const UnnamedScope scope(unnamed);
        // Three disks, so that the save is stopped with the second still to write.
        TTreeNode *cat = makeSaved("killed.ctf");
        for (const char *name : {"Second", "Third"}) {
            TTreeNode *disk = AddDiskNode(cat, name);
            AppendFile(AddFolderNode(disk, "Folder"), "file.txt")->Size = 7;
            SetDiskDirty(disk, true);
        }
        ASSERT_TRUE(SaveCatalog(cat, false, m_host, m_settings));
        closeCatalog(cat);
        const QByteArray before = ReadFileBytes(path("killed.ctf"));
        const QStringList entriesBefore = folderEntries(m_dir.path());

        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            TForest forest;
            TTreeNode *c = ReadCatalog(forest, path("killed.ctf"));
            RenameDisk(c->child(0), "Renamed in the killed save");
            StoppingHost host(pipeFds[1]);
            TCatalogFileSettings settings;
            SaveCatalog(c, false, host, settings);
            ::_exit(3);   // never reached: the sink stops the save
        }
        ::close(pipeFds[1]);
        char c = 0;
        const ssize_t got = ::read(pipeFds[0], &c, 1);
        ::close(pipeFds[0]);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_EQ(got, 1) << "the child stopped in the middle of its save";
        ASSERT_TRUE(WIFSIGNALED(status));

        EXPECT_EQ(ReadFileBytes(path("killed.ctf")), before) << "the catalog is whole";
        const QStringList left = folderEntries(m_dir.path());
        if (unnamed) {
            EXPECT_EQ(left, entriesBefore) << "nothing was left behind";
        } else {
            // The named file of the killed save is there and is recognisably its own...
            QStringList extra = left;
            for (const QString &e : entriesBefore)
                extra.removeAll(e);
            ASSERT_EQ(extra.size(), 1);
            EXPECT_TRUE(extra[0].startsWith(QStringLiteral(".killed.ctf.ctf"))) << extra[0].toStdString();
            // ...and the next open of the catalog removes it.
            QStringList list{path("killed.ctf")};
            ASSERT_EQ(OpenCatalogs(m_forest, m_host, &list, true, m_settings).size(), 1u);
            EXPECT_EQ(folderEntries(m_dir.path()), entriesBefore);
            closeCatalog(m_forest.roots().back());
        }
        QFile::remove(path("killed.ctf"));
        QFile::remove(path("killed.BAK"));
    }
}

TEST_F(CatalogFiles, StaleNewFilesGoButNotARunningSavesNorOthers)
{
    const QString target = path("cat.ctf");
    ASSERT_TRUE(WriteFileBytes(target, "old"));
    // Left by killed saves: go.
    ASSERT_TRUE(WriteFileBytes(path(".cat.ctf.ctfAb12Cd"), "stale"));
    ASSERT_TRUE(WriteFileBytes(path(".cat.ctf.ctfZZZZZZ"), "stale"));
    // Not ours: stay.
    const QStringList others{".cat.ctf.ctfAb12", ".cat.ctf.ctfAb12Cd3", ".dog.ctf.ctfAb12Cd", "ctfAb12Cd",
                             "cat.ctf.ctfAb12Cd", ".cat.ctf.ctf-b12Cd"};
    for (const QString &o : others)
        ASSERT_TRUE(WriteFileBytes(path(o), "other"));
    // A save of the catalog running right now (its file holds the lock): stays.
    const UnnamedScope scope(false);
    auto running = std::make_unique<TNewCatalogFile>(m_dir.path(), target);
    const QString runningName = running->name();
    ASSERT_FALSE(runningName.isEmpty());

    EXPECT_EQ(TNewCatalogFile::RemoveStale(target), 2);
    EXPECT_FALSE(QFileInfo::exists(path(".cat.ctf.ctfAb12Cd")));
    EXPECT_FALSE(QFileInfo::exists(path(".cat.ctf.ctfZZZZZZ")));
    for (const QString &o : others)
        EXPECT_TRUE(QFileInfo::exists(path(o))) << o.toStdString();
    EXPECT_TRUE(QFileInfo::exists(runningName));
    EXPECT_TRUE(QFileInfo::exists(target));
    running.reset();
    EXPECT_FALSE(QFileInfo::exists(runningName)) << "a save that ends without placing its file removes it";
}

TEST_F(CatalogFiles, StartUpFailuresLeaveTheRecentList)
{
    makeSaved("good.ctf", "Good");
    CloseAllCatalogs(m_forest, false, m_host, m_settings);
    ASSERT_TRUE(WriteFileBytes(path("bad.ctf"), "this is no catalog at all, just text"));
    TRecentFiles recent;
    for (const char *name : {"missing.ctf", "bad.ctf", "good.ctf"})
        recent.add(path(QString::fromLatin1(name)));
    recent.add(QStringLiteral("/elsewhere/kept.ctf"));
    // The command line's list and the autoload list are opened quietly.
    QStringList commandLine{path("bad.ctf"), path("good.ctf")};
    OpenCatalogs(m_forest, m_host, &commandLine, true, m_settings, &recent);
    QStringList autoload{path("missing.ctf")};
    OpenCatalogs(m_forest, m_host, &autoload, true, m_settings, &recent);
    EXPECT_EQ(recent.files(), (QStringList{QStringLiteral("/elsewhere/kept.ctf"), path("good.ctf")}))
        << "failed entries leave, opened ones keep their place";
}

TEST(CopyFileBytes, CopiesRangesBetweenFilesWithoutMovingThem)
{
    QTemporaryDir dir;
    QByteArray source;
    for (int i = 0; i < (3 << 20) + 17; ++i)
        source += char(i * 7 + (i >> 9));
    ASSERT_TRUE(WriteFileBytes(dir.filePath("in"), source));
    struct Case {
        int64_t from, to, count;
        bool ok;
    };
    const Case cases[] = {
        {0, 0, 0, true},
        {5, 0, 100, true},
        {1, 3, (3 << 20), true},
        {source.size() - 10, 20, 10, true},
        {source.size() - 10, 0, 11, false},   // the source ends early
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(testing::Message() << k.from << " " << k.to << " " << k.count);
        QFile in(dir.filePath("in")), out(dir.filePath("out"));
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        ASSERT_TRUE(out.open(QIODevice::ReadWrite | QIODevice::Truncate));
        ASSERT_TRUE(out.write(QByteArray(int(k.to), 'p')) == k.to && out.flush());
        EXPECT_EQ(CopyFileBytes(in.handle(), k.from, out.handle(), k.to, k.count), k.ok);
        EXPECT_EQ(::lseek(in.handle(), 0, SEEK_CUR), 0) << "positions stay";
        in.close();
        out.close();
        if (k.ok) {
            EXPECT_EQ(ReadFileBytes(dir.filePath("out")),
                      QByteArray(int(k.to), 'p') + source.mid(qsizetype(k.from), qsizetype(k.count)));
        }
    }
}
