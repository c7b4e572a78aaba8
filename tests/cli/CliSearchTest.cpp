// quillon-cli search and dupes as a user runs them: the built program on
// hand-built catalogs in a temporary folder, each option checked by what it
// finds, in the order the search finds it, and each refusal by its message
// and exit status.
#include "ProgramRun.h"
#include "TestCatalogs.h"

#include "platform/DosTime.h"
#include "search/RegisteredTypes.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace {

using testcat::HandCatalog;
using testcat::HandDisk;
using testcat::HandFile;
using testcat::HandFolder;

using CliRun = testcat::ProgramRun;

uint32_t Dos(int year, int month, int day, int hour, int minute, int second)
{
    TDosFields fields;
    fields.year = year;
    fields.month = month;
    fields.day = day;
    fields.hour = hour;
    fields.minute = minute;
    fields.second = second;
    return PackDos(fields);
}

HandFile File(const QByteArray &name, int64_t size, uint32_t modified, uint8_t attr = faArchive,
              const QByteArray &desc = {}, uint8_t catFlags = 0)
{
    HandFile f;
    f.name = name;
    f.size = size;
    f.created = modified;
    f.modified = modified;
    f.accessed = modified;
    f.attr = attr;
    f.desc = desc;
    f.catFlags = catFlags;
    return f;
}

HandFolder Folder(const QByteArray &name, std::vector<HandFile> files, uint8_t flags = 0)
{
    HandFolder f;
    f.kind = uint8_t(rkFolder | flags);
    f.name = name;
    f.files = std::move(files);
    for (const HandFile &file : f.files) {
        f.totalSize += file.size * 10000;
        if (!file.desc.isEmpty())
            f.kind |= rfHasDesc;   // as a scan marks it
    }
    f.modified = Dos(2009, 1, 1, 0, 0, 0);
    return f;
}

HandDisk Disk(const QByteArray &name, uint32_t serial, std::vector<HandFile> rootFiles,
              std::vector<HandFolder> folders = {})
{
    HandDisk d;
    d.name = name;
    d.serial = serial;
    d.volumeLabel = name;
    d.rootFiles = std::move(rootFiles);
    d.folders = std::move(folders);
    for (const HandFile &file : d.rootFiles)
        if (!file.desc.isEmpty())
            d.kind |= rfHasDesc;   // as a scan marks it
    d.totalFiles = int32_t(d.rootFiles.size());
    d.totalFolders = int32_t(d.folders.size());
    for (const HandFolder &folder : d.folders)
        (folder.kind & rfCompressed ? d.archiveFiles : d.totalFiles) += int32_t(folder.files.size());
    return d;
}

constexpr uint8_t kGames = 1;          // category code
constexpr uint8_t kFirstFlag = 0x20;   // flag 1 of the CatFlags byte

// one.ctf: two disks; two.ctf: a backup of some of the first disk's files.
HandCatalog CatalogOne()
{
    HandCatalog c;
    c.name = "One";
    c.categories = {{"Games", kGames}, {"Work", 7}};
    c.flagNames[0] = "Keep";
    const uint32_t setupTime = Dos(2020, 5, 17, 10, 30, 0);
    c.disks.push_back(Disk(
        "CD1", 0x1111,
        {File("Setup.exe", 100, setupTime, faArchive, "Installer program", kGames),
         File("readme.txt", 2048, Dos(2019, 1, 1, 8, 0, 0), faReadOnly),
         File("photo.JPG", 3145728, Dos(2021, 3, 3, 23, 59, 0), faArchive | faHidden, {}, kFirstFlag)},
        {Folder("Docs", {File("manual.pdf", 5000, Dos(2018, 6, 6, 12, 0, 0)),
                         File("notes.txt", 10, Dos(2018, 6, 7, 12, 0, 0)),
                         File("notes.bak", 10, Dos(2018, 6, 7, 12, 0, 0))}),
         Folder("pack.zip", {File("inner.txt", 10, Dos(2023, 1, 1, 0, 0, 0))}, rfCompressed)}));
    c.disks.push_back(Disk("CD2", 0x2222,
                           {File("SETUP.EXE", 100, setupTime),
                            File("other.bin", 7, Dos(2022, 2, 2, 2, 2, 2), faArchive | faSystem),
                            File("inner.txt", 10, Dos(2023, 1, 1, 0, 0, 0))}));
    return c;
}

HandCatalog CatalogTwo()
{
    HandCatalog c;
    c.name = "Two";
    c.disks.push_back(Disk("Backup", 0x3333,
                           {File("readme.txt", 2048, Dos(2019, 1, 1, 8, 0, 0), faReadOnly),
                            File("manual.pdf", 5000, Dos(2018, 6, 6, 12, 0, 0))}));
    return c;
}

class CliSearchTest : public ::testing::Test
{
protected:
    CliSearchTest()
    {
        EXPECT_TRUE(testcat::WriteFileBytes(m_dir.filePath(QStringLiteral("one.ctf")),
                                            testcat::BuildCatalogBytes(CatalogOne())));
        EXPECT_TRUE(testcat::WriteFileBytes(m_dir.filePath(QStringLiteral("two.ctf")),
                                            testcat::BuildCatalogBytes(CatalogTwo())));
    }

    QString one() const { return m_dir.filePath(QStringLiteral("one.ctf")); }
    QString two() const { return m_dir.filePath(QStringLiteral("two.ctf")); }

    // Runs quillon-cli with settings of its own (none stored: the initial ones).
    CliRun cli(const QStringList &args) const
    {
        const CliRun run = testcat::RunProgram(QStringLiteral(QUILLON_CLI_PATH), args, m_dir.filePath(QStringLiteral("config")));
        EXPECT_FALSE(run.crashed) << args.join(QLatin1Char(' ')).toStdString() << ": " << run.err.toStdString();
        return run;
    }

    // The items of a JSON Lines output as "DISK:NAME", with "#GROUP" when
    // the object has a group number.
    static QStringList Items(const QString &out)
    {
        QStringList items;
        for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            EXPECT_FALSE(o.isEmpty()) << line.toStdString();
            QString item = o.value(QStringLiteral("kind")).toString() == QLatin1String("disk")
                ? QStringLiteral("disk:") + o.value(QStringLiteral("name")).toString()
                : o.value(QStringLiteral("disk")).toString() + QLatin1Char(':') + o.value(QStringLiteral("name")).toString();
            if (o.contains(QStringLiteral("group")))
                item += QStringLiteral("#%1").arg(o.value(QStringLiteral("group")).toInt());
            items << item;
        }
        return items;
    }

    QTemporaryDir m_dir;
};

TEST_F(CliSearchTest, EachCriterionFindsItsItemsInWalkOrder)
{
    const struct {
        std::vector<const char *> args;
        const char *found;   // "DISK:NAME" joined by spaces
    } cases[] = {
        {{"--name", "setup"}, "CD1:Setup.exe CD2:SETUP.EXE"},
        {{"--name", "Setup", "--case"}, "CD1:Setup.exe"},
        {{"--name-mode", "mask", "--name", "*.txt"}, "CD1:readme.txt CD1:notes.txt CD1:inner.txt CD2:inner.txt"},
        {{"--name", "*.bak"}, "CD1:notes.bak"},   // wildcards make a mask
        {{"--name-mode", "exact", "--name", "README.TXT"}, "CD1:readme.txt"},
        {{"--name-mode", "ext", "--name", "jpg, *.pdf"}, "CD1:photo.JPG CD1:manual.pdf"},
        {{"--name-mode", "regex", "--name", "^notes\\.(txt|bak)$"}, "CD1:notes.txt CD1:notes.bak"},
        {{"--name-mode", "regex", "--name", "^S", "--case"}, "CD1:Setup.exe CD2:SETUP.EXE"},
        {{"--name-mode", "regex", "--name", "^s"}, "CD1:Setup.exe CD2:SETUP.EXE"},
        {{"--attr", "h=1", "--files"}, "CD1:photo.JPG"},
        {{"--attr", "a=0,r=1", "--files"}, "CD1:readme.txt"},
        {{"--attr", "s=1", "--files"}, "CD2:other.bin"},
        {{"--desc", "installer"}, "CD1:Setup.exe"},
        {{"--desc-any", "--files"}, "CD1:Setup.exe"},
        {{"--category", "Games"}, "CD1:Setup.exe"},
        {{"--flag", "Keep"}, "CD1:photo.JPG"},
        {{"--size-op", "gt", "--size", "1MB", "--files"}, "CD1:photo.JPG"},
        {{"--size", "2KB", "--files"}, "CD1:readme.txt"},
        {{"--size-op", "lt", "--size", "10", "--files"}, "CD2:other.bin"},
        {{"--size-op", "between", "--size", "5000", "--size2", "4MB", "--files"}, "CD1:photo.JPG CD1:manual.pdf"},
        {{"--date", "2020-05-17", "--files"}, "CD1:Setup.exe CD2:SETUP.EXE"},
        {{"--date-op", "before", "--date", "2019-01-01", "--files"},
         "CD1:manual.pdf CD1:notes.txt CD1:notes.bak CD1:pack.zip"},   // a compressed file is a file
        {{"--date-op", "on", "--date", "2018-06-05", "--date-tol", "1", "--files"}, "CD1:manual.pdf"},
        {{"--time-op", "after", "--time", "23:00:00", "--files"}, "CD1:photo.JPG"},
        {{"--time", "02:02:02", "--files"}, "CD2:other.bin"},
        {{"--name", "CD", "--disks"}, "disk:CD1 disk:CD2"},
        {{"--name", "o", "--folders"}, "CD1:Docs"},
        {{"--name", "pack", "--files"}, "CD1:pack.zip"},
        {{"--any", "--name", "setup", "--size", "7", "--files"}, "CD1:Setup.exe CD2:SETUP.EXE CD2:other.bin"},
        {{"--name", "setup", "--size", "7", "--files"}, ""},
        {{"--max", "1", "--name", "e"}, "CD1:Setup.exe"},
        {{"--disk", "CD2", "--name", "setup"}, "CD2:SETUP.EXE"},
        {{"--disk", "CD2", "--disk", "CD1", "--name", "inner"}, "CD1:inner.txt CD2:inner.txt"},
    };
    for (const auto &c : cases) {
        QStringList args{QStringLiteral("search"), QStringLiteral("--json")};
        for (const char *word : c.args)
            args << QString::fromUtf8(word);
        args << one();
        const CliRun run = cli(args);
        const QString expected = QString::fromUtf8(c.found);
        EXPECT_EQ(run.exitCode, expected.isEmpty() ? 1 : 0) << args.join(' ').toStdString() << "\n"
                                                            << run.err.toStdString();
        EXPECT_EQ(Items(run.out).join(' ').toStdString(), expected.toStdString()) << args.join(' ').toStdString();
    }
}

TEST_F(CliSearchTest, FileTypeByItsDescription)
{
    // The desktop's own description of PDF documents, whatever this
    // machine's MIME database calls it.
    QString pdf;
    for (const TFileType &type : RegisteredFileTypes())
        if (type.extensions.contains(QStringLiteral(".pdf"), Qt::CaseInsensitive))
            pdf = type.description;
    if (pdf.isEmpty())
        GTEST_SKIP() << "no file type with the extension pdf is registered here";
    const CliRun run = cli(QStringList{QStringLiteral("search"), QStringLiteral("--json"), QStringLiteral("--name-mode"),
                                       QStringLiteral("type"), QStringLiteral("--name"), pdf.toUpper(), one(), two()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Items(run.out), (QStringList{QStringLiteral("CD1:manual.pdf"), QStringLiteral("Backup:manual.pdf")}));
}

TEST_F(CliSearchTest, SearchesSeveralCatalogsTogether)
{
    const CliRun run = cli(QStringList{QStringLiteral("search"), QStringLiteral("--json"), QStringLiteral("--name"),
                                    QStringLiteral("readme"), one(), two()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Items(run.out), (QStringList{QStringLiteral("CD1:readme.txt"), QStringLiteral("Backup:readme.txt")}));
    // Each object says which catalog it came from, besides what ls shows.
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    const QJsonObject second = QJsonDocument::fromJson(lines[1].toUtf8()).object();
    EXPECT_EQ(second.value(QStringLiteral("catalog")).toString(), two());
    EXPECT_EQ(second.value(QStringLiteral("path")).toString(), QStringLiteral("\\"));
    EXPECT_EQ(second.value(QStringLiteral("size")).toInteger(), 2048);
    EXPECT_EQ(second.value(QStringLiteral("attr")).toString(), QStringLiteral("r"));
}

TEST_F(CliSearchTest, TextLinesNameWhereEachItemIs)
{
    const CliRun run = cli(QStringList{QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("n"), one()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6) << run.out.toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("  CD1\\Docs\\manual.pdf"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("- a     2018-06-06 12:00:00"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("  CD1\\Docs\\notes.txt"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral("  CD1\\pack.zip\\inner.txt"))) << lines[3].toStdString();
}

TEST_F(CliSearchTest, RefusalsAndEmptyResults)
{
    const struct {
        std::vector<const char *> args;
        int exitCode;
        const char *message;   // a line of stderr
    } cases[] = {
        {{"--name", "zzz"}, 1, "Sorry, no items were found to match your criteria."},
        {{}, 2, "quillon-cli: note: No criteria defined: There is no criteria left to search by."},
        {{"--name-mode", "mask", "--name", "//,"}, 2, "The DOS File Mask is not valid."},
        {{"--name-mode", "regex", "--name", "(unclosed"}, 2, "Invalid"},
        {{"--name-mode", "exact"}, 2, "You did not enter what name are you searching for."},
        {{"--name-mode", "nonsense", "--name", "x"}, 2, "--name-mode: \"nonsense\" is not one of"},
        {{"--name-mode", "type", "--name", "No such type of file"}, 2,
         "--name: no registered file type is described as \"No such type of file\""},
        {{"--name-mode", "type"}, 2, "You did not enter what file type are you searching for."},
        {{"--size-op", "huge", "--size", "1"}, 2, "--size-op"},
        {{"--size", "12XB"}, 2, "--size: \"12XB\" is not a size"},
        {{"--date", "2020-13-01"}, 2, "--date: \"2020-13-01\" is not a date"},
        {{"--time", "25:00:00"}, 2, "--time: \"25:00:00\" is not a time"},
        {{"--date-tol", "100", "--date", "2020-01-01"}, 2, "--date-tol"},
        {{"--max", "0", "--name", "e"}, 2, "--max"},
        {{"--attr", "x=1"}, 2, "--attr: \"x=1\""},
        {{"--desc-any", "--desc-none"}, 2, "exclude each other"},
        {{"--disk", "Nope", "--name", "e"}, 1, "Disk not found: Nope"},
    };
    for (const auto &c : cases) {
        QStringList args{QStringLiteral("search")};
        for (const char *word : c.args)
            args << QString::fromUtf8(word);
        args << one();
        const CliRun run = cli(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << args.join(' ').toStdString() << "\n" << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << args.join(' ').toStdString() << "\n" << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.message))) << args.join(' ').toStdString() << "\n"
                                                                     << run.err.toStdString();
    }
    // The no-hits sentence is all that is said.
    const CliRun none = cli(QStringList{QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("zzz"), one()});
    EXPECT_EQ(none.err, QStringLiteral("Sorry, no items were found to match your criteria.\n"));
}

TEST_F(CliSearchTest, DupesPrintsGroupsInOrderWithTheirNumbers)
{
    const struct {
        std::vector<const char *> args;
        const char *found;
    } cases[] = {
        {{}, "CD1:manual.pdf#1 Backup:manual.pdf#1 CD1:readme.txt#2 Backup:readme.txt#2 CD1:Setup.exe#3 "
             "CD2:SETUP.EXE#3"},
        // Sizes and first letters always agree; here only they do.
        {{"--by", "size", "--files"}, "CD1:manual.pdf#1 Backup:manual.pdf#1 CD1:notes.txt#2 CD1:notes.bak#2 "
                                      "CD1:readme.txt#3 Backup:readme.txt#3 CD1:Setup.exe#4 CD2:SETUP.EXE#4"},
        {{"--by", "name,size,date,attr", "--files"}, "CD1:manual.pdf#1 Backup:manual.pdf#1 CD1:readme.txt#2 "
                                                     "Backup:readme.txt#2 CD1:Setup.exe#3 CD2:SETUP.EXE#3"},
        {{"--include-archives", "--name", "i*"}, "CD1:inner.txt#1 CD2:inner.txt#1"},
        {{"--name", "i*"}, ""},
        {{"--name", "re*"}, "CD1:readme.txt#1 Backup:readme.txt#1"},
        {{"--disk", "CD1", "--disk", "CD2"}, "CD1:Setup.exe#1 CD2:SETUP.EXE#1"},
    };
    for (const auto &c : cases) {
        QStringList args{QStringLiteral("dupes"), QStringLiteral("--json")};
        for (const char *word : c.args)
            args << QString::fromUtf8(word);
        args << one() << two();
        const CliRun run = cli(args);
        const QString expected = QString::fromUtf8(c.found);
        EXPECT_EQ(run.exitCode, expected.isEmpty() ? 1 : 0) << args.join(' ').toStdString() << "\n"
                                                            << run.err.toStdString();
        EXPECT_EQ(Items(run.out).join(' ').toStdString(), expected.toStdString()) << args.join(' ').toStdString();
        if (expected.isEmpty()) {
            EXPECT_EQ(run.err, QStringLiteral("Sorry, no items were found to match your criteria.\n"));
        }
    }
}

TEST_F(CliSearchTest, DupesTextShowsEachGroupUnderItsNumber)
{
    const CliRun run = cli(QStringList{QStringLiteral("dupes"), QStringLiteral("--name"), QStringLiteral("*.pdf"), one(),
                                    two()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("Group 1:"));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("  CD1\\Docs\\manual.pdf"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("  Backup\\manual.pdf"))) << lines[2].toStdString();
}

TEST_F(CliSearchTest, DupesNeedsAProperty)
{
    const CliRun run = cli(QStringList{QStringLiteral("dupes"), QStringLiteral("--by="), one()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.err, QStringLiteral("quillon-cli: warning: Error: Please select at least one criteria for duplicate "
                                      "files.\n"));
    const CliRun bad = cli(QStringList{QStringLiteral("dupes"), QStringLiteral("--by"), QStringLiteral("colour"), one()});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("--by: \"colour\" is not one of name, size, date, attr")));
    const CliRun attr = cli(QStringList{QStringLiteral("dupes"), QStringLiteral("--attr"), QStringLiteral("a=1"), one()});
    EXPECT_EQ(attr.exitCode, 2);
    EXPECT_TRUE(attr.err.contains(QStringLiteral("dupes does not take --attr"))) << attr.err.toStdString();
}

TEST_F(CliSearchTest, SingleCopiesOfTheChosenDisks)
{
    // CD1's files that neither CD2 nor Backup holds (the compressed file
    // counts as a file), in the order they are met.
    const CliRun run = cli(QStringList{QStringLiteral("dupes"), QStringLiteral("--json"), QStringLiteral("--single-copy"),
                                    QStringLiteral("--disk"), QStringLiteral("CD1"), one(), two()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Items(run.out).join(' ').toStdString(),
              "CD1:photo.JPG CD1:notes.txt CD1:notes.bak CD1:pack.zip");
    // With the members compared, CD2's inner.txt has its copy inside CD1's
    // compressed file.
    const CliRun cd2 = cli(QStringList{QStringLiteral("dupes"), QStringLiteral("--json"), QStringLiteral("--single-copy"),
                                    QStringLiteral("--include-archives"), QStringLiteral("--disk"),
                                    QStringLiteral("CD2"), one(), two()});
    EXPECT_EQ(cd2.exitCode, 0) << cd2.err.toStdString();
    EXPECT_EQ(Items(cd2.out).join(' ').toStdString(), "CD2:other.bin");
    // Everything has a copy: nothing to list.
    const CliRun backup = cli(QStringList{QStringLiteral("dupes"), QStringLiteral("--single-copy"), QStringLiteral("--disk"),
                                       QStringLiteral("Backup"), one(), two()});
    EXPECT_EQ(backup.exitCode, 1);
    EXPECT_EQ(backup.err, QStringLiteral("Sorry, no items were found to match your criteria.\n"));
}

} // namespace
