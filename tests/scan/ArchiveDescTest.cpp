// Descriptions inside archives on a disk scan: for every family the catalog
// extracts from, an archive holding FILE_ID.DIZ and DESCRIPT.ION is put on
// a medium and scanned. The archive folder (or, when only descriptions are
// looked for, the archive's own file record) takes the FILE_ID.DIZ text and
// the member named in DESCRIPT.ION takes its line. The archives are made by
// the system's archivers where Debian has one that writes the format (zip,
// arj, arc, tar) and by the tests' own writers otherwise (LHA, ZOO, RAR), so the
// real readers and extractors run on them.
#include "scan/DiskScan.h"

#include "ArcFixtures.h"
#include "FakeMachine.h"
#include "RarFixtures.h"
#include "TestCatalogs.h"
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

using namespace testcat;

namespace {

const QByteArray kDiz = "Utilities for the weekend\r\n  second line  \r\n\x1A";
const QByteArray kDizText = "Utilities for the weekend\r\nsecond line";
const QByteArray kIon = "readme.txt Read me first\r\n\"long name.dat\" Data with a long name\r\n";
const QByteArray kReadme = "hello";
const QByteArray kLong = "data";

// How one family's archive is made from the folder holding the four files:
// the archive's bytes, or empty when its archiver is missing.
struct DescCase {
    const char *label;
    const char *fileName;   // the name on the medium
    std::function<QByteArray(const QString &folder)> make;
    bool longName = true;   // the archive holds "long name.dat"
};

// Runs an archiver in folder over the four files and returns what it wrote to out.
QByteArray ByTool(const QString &folder, const char *tool, const QStringList &args, const char *out)
{
    const QString program = testdrives::findTool(QString::fromLatin1(tool));
    if (program.isEmpty())
        return {};
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return {};
    return testdrives::readFile(folder + QLatin1Char('/') + QLatin1String(out));
}

const QStringList kNames{QStringLiteral("FILE_ID.DIZ"), QStringLiteral("DESCRIPT.ION"), QStringLiteral("readme.txt"),
                         QStringLiteral("long name.dat")};

QStringList ToolArgs(std::initializer_list<const char *> head, qsizetype files)
{
    QStringList args;
    for (const char *a : head)
        args << QString::fromLatin1(a);
    return args + kNames.mid(0, files);
}

const DescCase kCases[] = {
    {"ZIP", "desc.zip", [](const QString &f) { return ByTool(f, "zip", ToolArgs({"-q", "-X", "o.zip"}, 4), "o.zip"); }},
    {"ARJ", "desc.arj", [](const QString &f) { return ByTool(f, "arj", ToolArgs({"a", "-y", "o.arj"}, 4), "o.arj"); }},
    {"TAR", "desc.tar", [](const QString &f) { return ByTool(f, "tar", ToolArgs({"cf", "o.tar"}, 4), "o.tar"); }},
    // arc keeps DOS names: the long name is left out.
    {"ARC", "desc.arc", [](const QString &f) { return ByTool(f, "arc", ToolArgs({"a", "o.arc"}, 3), "o.arc"); },
     false},
    {"LHA", "desc.lzh",
     [](const QString &) {
         std::vector<arcfix::TLhaMember> members;
         for (const auto &[name, data] : {std::pair{QByteArray("FILE_ID.DIZ"), kDiz}, {QByteArray("DESCRIPT.ION"), kIon},
                                          {QByteArray("readme.txt"), kReadme}, {QByteArray("long name.dat"), kLong}})
             members.push_back({.level = 1, .name = name, .data = data});
         return arcfix::LhaArchive(members);
     }},
    {"ZOO", "desc.zoo",
     [](const QString &) {
         return arcfix::zooOf({{.name = "FILE_ID.DIZ", .data = kDiz}, {.name = "DESCRIPT.ION", .data = kIon},
                               {.name = "README.TXT", .data = kReadme},
                               {.name = "LONGNA~1.DAT", .data = kLong, .longName = "long name.dat"}})
             .bytes;
     }},
    {"RAR", "desc.rar",
     [](const QString &) {
         return arcfix::rar4Of({{.name = "FILE_ID.DIZ", .data = kDiz}, {.name = "DESCRIPT.ION", .data = kIon},
                                {.name = "readme.txt", .data = kReadme}, {.name = "long name.dat", .data = kLong}});
     }},
};

class ArchiveFamilyDescTest : public ::testing::TestWithParam<DescCase>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_media.isValid());
        ASSERT_TRUE(m_work.isValid());
        const QString mountPoint = QDir(m_media.path()).absolutePath();
        m_machine.m_mounts->append(testdrives::mount(QStringLiteral("/dev/fake0"), mountPoint, QStringLiteral("ext4")));
        m_machine.m_spaces->insert(mountPoint, testdrives::space(4096, 100000, 40000));
        m_drives = std::make_unique<TDrives>(m_machine.sources());
        const auto letter = m_drives->driveOfPath(mountPoint);
        ASSERT_TRUE(letter.has_value());
        m_letter = *letter;
        m_catalog = NewCatalogNode(m_forest, "Scans");
        QDir().mkpath(m_work.filePath(QStringLiteral("extract")));
        QDir().mkpath(m_work.filePath(QStringLiteral("src")));
    }
    void TearDown() override
    {
        while (!m_forest.roots().empty())
            DeleteCatalog(m_forest, m_forest.roots().front());
    }

    // Puts the family's archive on the medium; false (the test skipped) when its archiver is missing.
    bool putArchive()
    {
        const QString src = m_work.filePath(QStringLiteral("src"));
        testdrives::FakeMachine::writeFile(src + QStringLiteral("/FILE_ID.DIZ"), kDiz);
        testdrives::FakeMachine::writeFile(src + QStringLiteral("/DESCRIPT.ION"), kIon);
        testdrives::FakeMachine::writeFile(src + QStringLiteral("/readme.txt"), kReadme);
        testdrives::FakeMachine::writeFile(src + QStringLiteral("/long name.dat"), kLong);
        const QByteArray bytes = GetParam().make(src);
        if (bytes.isEmpty())
            return false;
        testdrives::FakeMachine::writeFile(m_media.filePath(QString::fromLatin1(GetParam().fileName)), bytes);
        return true;
    }

    TScanOptions options(bool descOnly) const
    {
        TScanOptions o;
        o.DatabaseList = m_catalog;
        o.ExtractDir = m_work.filePath(QStringLiteral("extract")) + QLatin1Char('/');
        o.ImportDizCheck = true;
        o.Import4DOSCheck = true;
        o.ArchiveDescOnly = descOnly;
        return o;
    }

    TTreeNode *scanOk(const TScanOptions &o)
    {
        TScanHooks hooks;
        hooks.prompter = &m_prompter;
        const TScanOutcome outcome = ScanDisk(*m_drives, m_letter, {}, o, hooks);
        EXPECT_TRUE(outcome.Success) << outcome.Detail.toStdString();
        return outcome.DiskNode;
    }

    static TTreeNode *Child(TTreeNode *node, const QByteArray &name)
    {
        for (TTreeNode *child : node->children())
            if (child->text() == name)
                return child;
        return nullptr;
    }
    // The file of node named name, whatever its case (archivers of DOS keep upper case).
    static TFileRec *FileOf(TTreeNode *node, const QByteArray &name)
    {
        for (TFileRec *f : Chain(node))
            if (f->name().toByteArray().compare(name, Qt::CaseInsensitive) == 0)
                return f;
        return nullptr;
    }
    static QByteArray DescOf(const char *desc) { return TextView(desc).toByteArray(); }

    testdrives::FakeMachine m_machine;
    QTemporaryDir m_media;
    QTemporaryDir m_work;
    std::unique_ptr<TDrives> m_drives;
    QChar m_letter;
    TForest m_forest;
    TTreeNode *m_catalog = nullptr;
    ScriptedPrompter m_prompter;
    ScopedDefaultPrompter m_prompterScope{&m_prompter};
};

TEST_P(ArchiveFamilyDescTest, ArchiveFolderAndMembersTakeTheirDescriptions)
{
    if (!putArchive())
        GTEST_SKIP() << "no archiver for " << GetParam().label;
    const QByteArray fileName(GetParam().fileName);
    TTreeNode *disk = scanOk(options(false));
    ASSERT_TRUE(disk);
    TTreeNode *arc = Child(disk, fileName);
    ASSERT_TRUE(arc) << "the archive is browsed as a folder";
    EXPECT_EQ(DescOf(AsFolder(NodeRec(arc))->Desc), kDizText);
    ASSERT_TRUE(FileOf(arc, "readme.txt"));
    EXPECT_EQ(DescOf(FileOf(arc, "readme.txt")->Desc), QByteArray("Read me first"));
    if (GetParam().longName) {
        ASSERT_TRUE(FileOf(arc, "long name.dat"));
        EXPECT_EQ(DescOf(FileOf(arc, "long name.dat")->Desc), QByteArray("Data with a long name"));
    }
    EXPECT_EQ(FileOf(arc, "FILE_ID.DIZ")->Desc, nullptr);
    // The description files were extracted to the temporary folder and removed again.
    EXPECT_TRUE(QDir(m_work.filePath(QStringLiteral("extract"))).isEmpty());
}

TEST_P(ArchiveFamilyDescTest, DescriptionsOnlyGiveTheArchiveFileItsFileIdDiz)
{
    if (!putArchive())
        GTEST_SKIP() << "no archiver for " << GetParam().label;
    TTreeNode *disk = scanOk(options(true));
    ASSERT_TRUE(disk);
    EXPECT_TRUE(disk->children().empty());
    ASSERT_TRUE(FileOf(disk, GetParam().fileName));
    EXPECT_EQ(DescOf(FileOf(disk, GetParam().fileName)->Desc), kDizText);
}

INSTANTIATE_TEST_SUITE_P(Families, ArchiveFamilyDescTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DescCase> &info) { return std::string(info.param.label); });

} // namespace
