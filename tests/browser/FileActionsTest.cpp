// The file actions against a temporary folder standing for a disk's
// medium: paths found without regard to case, members of a ZIP file
// extracted byte-exact (also beside a member of the same file name), the
// question about programs taken out of compressed files, the launch error
// table, the file manager's folder, the viewers, and the temporary files
// removed at exit.
#include "browser/FileActions.h"

#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

using namespace testcat;

namespace {

// The archive's members: two of the same file name in different folders.
const std::vector<std::pair<QByteArray, QByteArray>> kMembers = {
    {"docs/readme.txt", "the docs readme\n"},
    {"other/readme.txt", "ANOTHER readme, longer than the first\n"},
    {"setup.exe", "MZ installer"},
    {"tool.exe", "MZ tool"},
    {"runme", QByteArray("\x7F" "ELF\x02\x01\x01", 7) + QByteArray(100, '\0')},
    {"data.xyz", QByteArray(70000, 'z')},
};

class FakeDesktop : public TDesktop
{
public:
    bool openFile(const QString &path) override
    {
        opened << path;
        return canOpen;
    }
    bool hasHandler(const QString &) override { return canOpen; }
    bool showFolder(const QString &folder, const QString &item) override
    {
        shown << folder + QStringLiteral(" | ") + item;
        return true;
    }
    bool startProgram(const QString &program, const QStringList &args, const QString &) override
    {
        started << program + QLatin1Char(' ') + args.join(QLatin1Char(' '));
        return programStarts;
    }
    bool chooseExtractFolder(const QString &caption, QString &folder, bool &keepDirs) override
    {
        captions << caption;
        if (chosenFolder.isEmpty())
            return false;
        folder = chosenFolder;
        keepDirs = chosenKeepDirs;
        return true;
    }
    void viewText(const QString &path) override { viewed << path; }

    bool canOpen = true;
    bool programStarts = false;
    QString chosenFolder;
    bool chosenKeepDirs = false;
    QStringList opened, shown, started, captions, viewed;
};

class FileActionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        // The medium: top.txt and Sub/Pack.zip (the catalog spells them in other cases).
        ASSERT_TRUE(QDir().mkpath(media("Sub/zipsrc")));
        ASSERT_TRUE(WriteFileBytes(media("top.txt"), "top file\n"));
        for (const auto &[name, bytes] : kMembers) {
            const QString path = media("Sub/zipsrc/") + QString::fromUtf8(name);
            QDir().mkpath(QFileInfo(path).absolutePath());
            ASSERT_TRUE(WriteFileBytes(path, bytes));
        }
        QFile::setPermissions(media("Sub/zipsrc/runme"), QFile::permissions(media("Sub/zipsrc/runme")) | QFile::ExeOwner);
        QStringList args{QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("../Pack.zip")};
        for (const auto &m : kMembers)
            args << QString::fromUtf8(m.first);
        QProcess zip;
        zip.setWorkingDirectory(media("Sub/zipsrc"));
        zip.start(QStringLiteral("zip"), args);
        ASSERT_TRUE(zip.waitForFinished(60000));
        ASSERT_EQ(zip.exitCode(), 0) << zip.readAllStandardError().toStdString();
        QDir(media("Sub/zipsrc")).removeRecursively();

        HandCatalog c;
        HandDisk d;
        d.name = "Media";
        d.rootFiles = {SampleFile("TOP.TXT", 9), SampleFile("gone.xyz", 3)};
        std::vector<HandFile> members;
        for (const auto &m : kMembers)
            members.push_back(SampleFile(m.first, m.second.size()));
        d.folders = {SampleFolder(1, "sub", {SampleFile("missing.txt", 1)}),
                     SampleFolder(2, "pack.zip", members, rfCompressed), SampleFolder(1, "Gone")};
        c.disks.push_back(d);
        m_catalog = BuildForest(m_forest, c);
        m_disk = FindDisk(m_catalog, "Media");
        m_pack = FindFolder(m_disk, "sub\\pack.zip");
        ASSERT_NE(m_pack, nullptr);
        ExtractionState().temporaryFiles.clear();
    }
    void TearDown() override
    {
        DeleteCatalog(m_forest, m_catalog);
        ExtractionState().temporaryFiles.clear();
    }

    QString media(const QString &rel = {}) const { return m_dir.filePath(QStringLiteral("media/") + rel); }
    QString extractDir() const { return m_dir.filePath(QStringLiteral("tmp")); }

    TFileActions actions()
    {
        TFileActionSettings settings;
        settings.extractDir = extractDir();
        settings.externalViewer = !m_viewer.isEmpty();
        settings.viewerProgram = m_viewer;
        return TFileActions(m_desktop, m_prompter, [this](TTreeNode *) { return m_mediumAvailable ? media() : QString(); },
                            settings);
    }
    TCurrentItem member(const char *name) { return {m_pack, FindFile(m_pack, name), false}; }
    QStringList captions() const
    {
        QStringList list;
        for (const auto &m : m_prompter.messages)
            list << m.caption;
        return list;
    }

    QTemporaryDir m_dir;
    TForest m_forest;
    TTreeNode *m_catalog = nullptr, *m_disk = nullptr, *m_pack = nullptr;
    FakeDesktop m_desktop;
    ScriptedPrompter m_prompter;
    QString m_viewer;
    bool m_mediumAvailable = true;
};

TEST_F(FileActionsTest, FindPathBelow)
{
    struct Case {
        QByteArray stored;
        QString found;   // relative to the medium; "-" for none
    } const cases[] = {
        {"\\", QString()},
        {"\\top.txt", QStringLiteral("top.txt")},
        {"\\TOP.TXT", QStringLiteral("top.txt")},
        {"\\sub\\pack.zip", QStringLiteral("Sub/Pack.zip")},
        {"\\SUB\\", QStringLiteral("Sub")},
        {"\\sub\\nothing", QStringLiteral("-")},
        {"\\..\\media\\top.txt", QStringLiteral("-")},
        {"\\sub\\..", QStringLiteral("-")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored.constData());
        const QString expected = c.found == QLatin1String("-") ? QString()
                                 : c.found.isEmpty()          ? media().chopped(1)
                                                              : media(c.found);
        QString got = FindPathBelow(media().chopped(1), c.stored);
        EXPECT_EQ(got, expected);
    }
}

TEST_F(FileActionsTest, MembersComeBackByteExact)
{
    struct Case {
        QList<QByteArray> members;
        bool keepDirs;
        QStringList written;   // relative to the destination
    } const cases[] = {
        {{"other/readme.txt"}, false, {QStringLiteral("readme.txt")}},
        {{"docs/readme.txt"}, false, {QStringLiteral("readme.txt")}},
        // The catalog's case may differ from the archive's; the archive's spelling is written.
        {{"DOCS/README.TXT", "other/readme.txt", "data.xyz"}, true,
         {QStringLiteral("docs/readme.txt"), QStringLiteral("other/readme.txt"), QStringLiteral("data.xyz")}},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.members.join(' ').constData());
        const QString dest = m_dir.filePath(QStringLiteral("out%1").arg(++n));
        const TExtractResult r = ExtractMembers(9, media("Sub/Pack.zip"), c.members, dest, c.keepDirs, false, false);
        ASSERT_TRUE(r.ok);
        ASSERT_EQ(r.written.size(), c.written.size());
        for (qsizetype i = 0; i < c.written.size(); ++i) {
            EXPECT_EQ(r.written[i], dest + QLatin1Char('/') + c.written[i]);
            QByteArray expected;
            for (const auto &[name, bytes] : kMembers)
                if (QString::fromUtf8(name).compare(QString::fromUtf8(c.members[i]), Qt::CaseInsensitive) == 0)
                    expected = bytes;
            EXPECT_EQ(ReadFileBytes(r.written[i]), expected);
        }
        // Nothing else is left in the destination.
        int files = 0;
        for (QDirIterator it(dest, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext(); it.next())
            ++files;
        EXPECT_EQ(files, c.written.size());
    }
    TExtractOptions quiet;
    quiet.prompter = &m_prompter;
    const TExtractResult missing = ExtractMembers(9, media("Sub/Pack.zip"), {"nothere.txt"}, m_dir.filePath("x"),
                                                  false, false, false, quiet);
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.written.front().isEmpty());
}

TEST_F(FileActionsTest, LaunchingMembers)
{
    struct Case {
        const char *member;
        std::vector<MsgAnswer> answers;
        QStringList captions;
        QString opened;   // relative to the chosen or extract folder; empty: nothing opened
        bool chooses;     // the extract dialog is shown
    } const cases[] = {
        {"data.xyz", {}, {}, QStringLiteral("tmp/data.xyz"), false},
        {"setup.exe", {MsgAnswer::Cancel}, {QStringLiteral("Launching installation File")}, QString(), false},
        {"tool.exe", {MsgAnswer::No}, {QStringLiteral("Launching executable File")}, QStringLiteral("tmp/tool.exe"),
         false},
        {"setup.exe", {MsgAnswer::Yes}, {QStringLiteral("Launching installation File")},
         QStringLiteral("whole/setup.exe"), true},
        {"runme", {MsgAnswer::No}, {QStringLiteral("Launching executable File")}, QStringLiteral("tmp/runme"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.member);
        m_prompter.messages.clear();
        m_prompter.answers = c.answers;
        m_desktop.opened.clear();
        m_desktop.captions.clear();
        m_desktop.chosenFolder = m_dir.filePath(QStringLiteral("whole"));
        EXPECT_EQ(actions().launch(member(c.member)), !c.opened.isEmpty());
        EXPECT_EQ(captions(), c.captions);
        EXPECT_EQ(m_desktop.opened, c.opened.isEmpty() ? QStringList() : QStringList{m_dir.filePath(c.opened)});
        EXPECT_EQ(m_desktop.captions,
                  c.chooses ? QStringList{QStringLiteral("Extract \"Pack.zip\" to:")} : QStringList());
    }
    // The whole archive went to the chosen folder, the single members to the temporary list.
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath(QStringLiteral("whole/data.xyz"))));
    EXPECT_TRUE(ExtractionState().temporaryFiles.contains(m_dir.filePath(QStringLiteral("tmp/data.xyz"))));
    EXPECT_FALSE(ExtractionState().temporaryFiles.contains(m_dir.filePath(QStringLiteral("whole/data.xyz"))));
}

TEST_F(FileActionsTest, LaunchErrors)
{
    struct Case {
        const char *what;
        TCurrentItem item;
        bool canOpen;
        QString caption, text;
    };
    const Case cases[] = {
        {"plain file", {m_disk, FindFile(m_disk, "TOP.TXT"), false}, true, QString(), QString()},
        {"no program", {m_disk, FindFile(m_disk, "TOP.TXT"), false}, false, QStringLiteral("Can't launch file"),
         QStringLiteral("No program is associated with this file type (TXT).")},
        {"file gone", {m_disk, FindFile(m_disk, "gone.xyz"), false}, true, QStringLiteral("File not found"),
         QStringLiteral("Sorry, selected file does not exist any more on the media.\rPlease update data for this "
                        "media.")},
        {"compressed file", {m_pack, nullptr, true}, true, QString(), QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        m_prompter.messages.clear();
        m_desktop.canOpen = c.canOpen;
        actions().launch(c.item);
        if (c.caption.isEmpty()) {
            EXPECT_TRUE(m_prompter.messages.empty());
        } else {
            ASSERT_EQ(m_prompter.messages.size(), 1u);
            EXPECT_EQ(m_prompter.messages[0].caption, c.caption);
            EXPECT_EQ(m_prompter.messages[0].text, c.text);
        }
    }
    // No medium: nothing happens beyond the medium's own question.
    m_mediumAvailable = false;
    m_prompter.messages.clear();
    m_desktop.opened.clear();
    EXPECT_FALSE(actions().launch({m_disk, FindFile(m_disk, "TOP.TXT"), false}));
    EXPECT_TRUE(m_desktop.opened.isEmpty());
    EXPECT_TRUE(m_prompter.messages.empty());
}

TEST_F(FileActionsTest, OpenInExplorer)
{
    struct Case {
        const char *what;
        TCurrentItem item;
        QString shown;   // "" when the folder is reported missing
    };
    const Case cases[] = {
        {"member", member("tool.exe"), media("Sub") + QStringLiteral(" | ") + media("Sub/Pack.zip")},
        {"compressed file", {m_pack, nullptr, true}, media("Sub") + QStringLiteral(" | ") + media("Sub/Pack.zip")},
        {"disk root", {m_disk, nullptr, true}, media().chopped(1) + QStringLiteral(" | ")},
        {"file", {m_disk, FindFile(m_disk, "TOP.TXT"), false}, media().chopped(1) + QStringLiteral(" | ") + media("top.txt")},
        {"missing folder", {FindFolder(m_disk, "Gone"), nullptr, true}, QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        m_prompter.messages.clear();
        m_desktop.shown.clear();
        actions().openInExplorer(c.item);
        if (c.shown.isEmpty()) {
            ASSERT_EQ(captions(), QStringList{QStringLiteral("Folder not found")});
            EXPECT_TRUE(m_desktop.shown.isEmpty());
        } else {
            EXPECT_TRUE(m_prompter.messages.empty());
            EXPECT_EQ(m_desktop.shown, QStringList{c.shown});
        }
    }
}

TEST_F(FileActionsTest, ViewersAndTemporaryFiles)
{
    // A viewer that does not start gives way to the built-in one; a member is
    // taken out without the question about programs.
    m_viewer = QStringLiteral("/no/such/viewer");
    EXPECT_TRUE(actions().view(member("tool.exe")));
    EXPECT_TRUE(m_prompter.messages.empty());
    EXPECT_EQ(m_desktop.viewed, QStringList{extractDir() + QStringLiteral("/tool.exe")});
    m_desktop.programStarts = true;
    EXPECT_TRUE(actions().view({m_disk, FindFile(m_disk, "TOP.TXT"), false}));
    ASSERT_EQ(m_desktop.started.size(), 2);
    EXPECT_EQ(m_desktop.started.back(), QStringLiteral("/no/such/viewer ") + media("top.txt"));
    EXPECT_EQ(m_desktop.viewed.size(), 1);
    EXPECT_FALSE(actions().view({m_pack, nullptr, true}));   // folders are not viewed

    const QString extracted = extractDir() + QStringLiteral("/tool.exe");
    ASSERT_EQ(ExtractionState().temporaryFiles, QStringList{extracted});
    ScriptedPrompter no;
    no.answers = {MsgAnswer::No};
    EXPECT_EQ(CleanTemporaryFiles(TTempExitAction::Ask, no), 0);
    EXPECT_TRUE(QFileInfo::exists(extracted));
    EXPECT_EQ(CleanTemporaryFiles(TTempExitAction::Leave, no), 0);
    ScriptedPrompter yes;
    yes.answers = {MsgAnswer::Yes};
    EXPECT_EQ(CleanTemporaryFiles(TTempExitAction::Ask, yes), 1);
    EXPECT_FALSE(QFileInfo::exists(extracted));
    EXPECT_TRUE(ExtractionState().temporaryFiles.isEmpty());
}

TEST_F(FileActionsTest, ExtractTo)
{
    m_desktop.chosenFolder = m_dir.filePath(QStringLiteral("chosen"));
    m_desktop.chosenKeepDirs = true;
    EXPECT_TRUE(actions().extractTo({member("docs/readme.txt"), member("other/readme.txt"),
                                     {m_disk, FindFile(m_disk, "TOP.TXT"), false}}));
    EXPECT_EQ(m_desktop.captions, QStringList{QStringLiteral("Extract \"3 selected items\" to:")});
    EXPECT_EQ(ReadFileBytes(m_desktop.chosenFolder + QStringLiteral("/docs/readme.txt")), kMembers[0].second);
    EXPECT_EQ(ReadFileBytes(m_desktop.chosenFolder + QStringLiteral("/other/readme.txt")), kMembers[1].second);
    EXPECT_FALSE(QFileInfo::exists(m_desktop.chosenFolder + QStringLiteral("/top.txt")));   // not in an archive
    EXPECT_TRUE(ExtractionState().temporaryFiles.isEmpty());

    m_desktop.captions.clear();
    m_desktop.chosenFolder.clear();   // cancelled
    EXPECT_FALSE(actions().extractTo({{m_pack, nullptr, true}}));
    EXPECT_EQ(m_desktop.captions, QStringList{QStringLiteral("Extract \"pack.zip\" to:")});
}

TEST(ExeKinds, ByNameAndContent)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain")), elf = dir.filePath(QStringLiteral("elf")),
                  script = dir.filePath(QStringLiteral("script"));
    WriteFileBytes(plain, "text");
    WriteFileBytes(elf, QByteArray("\x7F" "ELF", 4));
    WriteFileBytes(script, "#!/bin/sh\n");
    QFile::setPermissions(script, QFile::permissions(script) | QFile::ExeOwner);
    struct Case {
        QString path, name;
        TExeKind kind;
    } const cases[] = {
        {plain, QStringLiteral("SETUP.EXE"), TExeKind::Installation},
        {plain, QStringLiteral("dir/Install.exe"), TExeKind::Installation},
        {plain, QStringLiteral("tool.EXE"), TExeKind::Executable},
        {plain, QStringLiteral("readme.txt"), TExeKind::None},
        {elf, QStringLiteral("tool"), TExeKind::Executable},
        {elf, QStringLiteral("setup"), TExeKind::Installation},
        {script, QStringLiteral("install.sh"), TExeKind::Installation},
        {script, QStringLiteral("run.sh"), TExeKind::Executable},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ExeKindOfFile(c.path, c.name), c.kind) << c.name.toStdString();
}

} // namespace
