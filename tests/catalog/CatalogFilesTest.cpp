// Creating, opening, saving and closing catalogs as the user does it: the
// dialogs and questions come from a scripted host, the files are real.
#include "TestCatalogs.h"

#include "catalog/CatalogFiles.h"
#include "catalog/CatalogOps.h"
#include "settings/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <deque>

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

    Registry store(path("settings.conf"));
    ASSERT_TRUE(recent.save(store));
    TRecentFiles back;
    Registry again(path("settings.conf"));
    back.load(again);
    EXPECT_EQ(back.files(), recent.files());
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
