// Tests of quillon-cli categories, set-category, copy-disk and move-disk,
// run as separate processes on hand-built catalogs: every edit is saved and
// read back by the next run, categories travel by name between catalogs
// with different vocabularies, and failures leave the files as they were.
#include "ProgramRun.h"
#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <map>

#include <ostream>

// Readable failure messages.
void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace testcat;

namespace {

using CliRun = testcat::ProgramRun;

// Disk "CD" with files in the root and in two folders; Games (1), Work (7),
// flags Keep and Burn, flag 2 unnamed.
HandCatalog SourceCatalog()
{
    HandCatalog c;
    c.name = "Source";
    c.categories = {{"Games", 1}, {"Work", 7}};
    c.flagNames[0] = "Keep";
    c.flagNames[2] = "Burn";
    HandDisk d;
    d.name = "CD";
    d.rootFiles = {SampleFile("setup.exe", 10, {}, faArchive, 0x21), SampleFile("readme.txt", 20)};
    d.folders = {SampleFolder(1, "games", {SampleFile("doom.exe", 30, {}, faArchive, 0x81)}),
                 SampleFolder(1, "work", {SampleFile("plan.doc", 40, {}, faArchive, 0x07)})};
    d.totalFolders = 2;
    c.disks.push_back(d);
    return c;
}

// Other codes for other names: Work is 1 here, and Burn is flag 1.
HandCatalog TargetCatalog()
{
    HandCatalog c;
    c.name = "Target";
    c.categories = {{"Work", 1}, {"Other", 2}};
    c.flagNames[0] = "Burn";
    HandDisk d;
    d.name = "CD";
    d.rootFiles = {SampleFile("x.txt", 1, {}, faArchive, 0x22)};
    c.disks.push_back(d);
    return c;
}

class CliCategoriesTest : public ::testing::Test
{
protected:
    CliCategoriesTest()
    {
        EXPECT_TRUE(WriteFileBytes(source(), BuildCatalogBytes(SourceCatalog())));
        EXPECT_TRUE(WriteFileBytes(target(), BuildCatalogBytes(TargetCatalog())));
    }

    QString source() const { return m_dir.filePath(QStringLiteral("source.ctf")); }
    QString target() const { return m_dir.filePath(QStringLiteral("target.ctf")); }

    // Runs quillon-cli with settings of its own (none stored: the initial ones).
    CliRun cli(const QStringList &args) const
    {
        const CliRun run = testcat::RunProgram(QStringLiteral(QUILLON_CLI_PATH), args, m_dir.filePath(QStringLiteral("config")));
        EXPECT_FALSE(run.crashed) << args.join(QLatin1Char(' ')).toStdString() << ": " << run.err.toStdString();
        return run;
    }
    QString ok(const QStringList &args) const
    {
        const CliRun run = cli(args);
        EXPECT_EQ(run.exitCode, 0) << args.join(' ').toStdString() << ": " << run.err.toStdString();
        return run.out;
    }

    // Every file and folder of a catalog as "DISK\PATH\NAME" -> "category|flag,flag,"
    // (flag names as ls --json shows them), read by a new run.
    std::map<QString, QString> shown(const QString &catalog) const
    {
        std::map<QString, QString> items;
        for (const QString &line : ok({QStringLiteral("ls"), QStringLiteral("-r"), QStringLiteral("--json"), catalog})
                                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            const QString kind = o.value(QStringLiteral("kind")).toString();
            if (kind != QLatin1String("file") && kind != QLatin1String("folder"))
                continue;
            QString text = o.value(QStringLiteral("category")).toString() + QLatin1Char('|');
            const QJsonArray names = o.value(QStringLiteral("flag_names")).toArray();
            EXPECT_EQ(names.size(), o.value(QStringLiteral("flags")).toArray().size());
            for (const QJsonValue &name : names)
                text += (name.isNull() ? QStringLiteral("(unnamed)") : name.toString()) + QLatin1Char(',');
            QString path = o.value(QStringLiteral("path")).toString();
            if (kind == QLatin1String("file"))
                path += (path.endsWith(QLatin1Char('\\')) ? QString() : QStringLiteral("\\"))
                    + o.value(QStringLiteral("name")).toString();
            items[o.value(QStringLiteral("disk")).toString() + path] = text;
        }
        return items;
    }

    QTemporaryDir m_dir;
};

TEST_F(CliCategoriesTest, ListsCategoriesWithCodesAndFlagNames)
{
    EXPECT_EQ(ok({"categories", source()}),
              QStringLiteral(" 1  Games\n 7  Work\nflag 1  Keep\nflag 2  (unnamed)\nflag 3  Burn\n"));
    const QStringList json = ok({"categories", "--json", source()}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(json.size(), 5);
    EXPECT_EQ(QJsonDocument::fromJson(json[1].toUtf8()).object(),
              (QJsonObject{{"kind", "category"}, {"code", 7}, {"name", "Work"}}));
    EXPECT_EQ(QJsonDocument::fromJson(json[3].toUtf8()).object(),
              (QJsonObject{{"kind", "flag"}, {"number", 2}, {"name", QJsonValue::Null}}));
}

TEST_F(CliCategoriesTest, EveryEditIsSavedAndReadBackByTheNextRun)
{
    const std::map<QString, QString> before = shown(source());
    EXPECT_EQ(before.at("CD\\setup.exe"), "Games|Keep,");
    EXPECT_EQ(before.at("CD\\games\\doom.exe"), "Games|Burn,");
    EXPECT_EQ(before.at("CD\\work\\plan.doc"), "Work|");

    // add takes the lowest free code; rename keeps every item's category.
    EXPECT_EQ(ok({"categories", source(), "add", "Music"}), QStringLiteral(" 2  Music\n"));
    ok({"categories", source(), "rename", "work", "Office"});
    EXPECT_EQ(shown(source()).at("CD\\work\\plan.doc"), "Office|");
    // delete takes the category from its items; their flags stay.
    ok({"categories", source(), "delete", "Games"});
    std::map<QString, QString> after = shown(source());
    EXPECT_EQ(after.at("CD\\setup.exe"), "|Keep,");
    EXPECT_EQ(after.at("CD\\games\\doom.exe"), "|Burn,");
    // flag N NAME names a flag; an empty NAME clears it from every item.
    ok({"categories", source(), "flag", "2", "Copy"});
    ok({"categories", source(), "flag", "3", ""});
    after = shown(source());
    EXPECT_EQ(after.at("CD\\games\\doom.exe"), "|");
    EXPECT_EQ(after.at("CD\\setup.exe"), "|Keep,");
    EXPECT_EQ(ok({"categories", source()}),
              QStringLiteral(" 2  Music\n 7  Office\nflag 1  Keep\nflag 2  Copy\nflag 3  (unnamed)\n"));
    // The file is still a catalog the store reads whole.
    TForest forest;
    TTreeNode *catalog = ReadCatalog(forest, source());
    ASSERT_TRUE(catalog);
    LoadEverything(catalog);
    EXPECT_EQ(CountDescendants(catalog), 3);
}

TEST_F(CliCategoriesTest, SetCategoryGivesNamesToItemsAndSaves)
{
    EXPECT_EQ(ok({"set-category", source(), "CD\\readme.txt", "CD/work", "--category", "games", "--flag", "Keep=on",
                  "--flag", "burn=on"}),
              QStringLiteral("2 of 2 items changed\n"));
    std::map<QString, QString> items = shown(source());
    EXPECT_EQ(items.at("CD\\readme.txt"), "Games|Keep,Burn,");
    EXPECT_EQ(items.at("CD\\work"), "Games|Keep,Burn,");
    EXPECT_EQ(items.at("CD\\work\\plan.doc"), "Work|");
    // Only the flag: the category stays.
    ok({"set-category", source(), "CD\\readme.txt", "--flag", "Keep=off"});
    EXPECT_EQ(shown(source()).at("CD\\readme.txt"), "Games|Burn,");
    ok({"set-category", source(), "CD\\readme.txt", "--no-category"});
    EXPECT_EQ(shown(source()).at("CD\\readme.txt"), "|Burn,");
    EXPECT_EQ(ok({"set-category", source(), "CD\\readme.txt", "--no-category"}),
              QStringLiteral("0 of 1 item changed\n"));

    struct Refused {
        QStringList args;
        int exitCode;
        const char *message;
    };
    const Refused refused[] = {
        {{"CD\\readme.txt", "--category", "Music"}, 1, "Category not found: Music"},
        {{"CD\\readme.txt", "--flag", "Copy=on"}, 1, "Flag not found: Copy"},
        {{"CD\\readme.txt", "--flag", "Keep"}, 2, "--flag takes NAME=on or NAME=off"},
        {{"CD\\readme.txt", "--flag", "Keep=yes"}, 2, "--flag takes NAME=on or NAME=off"},
        {{"CD\\readme.txt"}, 2, "nothing to set"},
        {{"CD\\readme.txt", "--category", "Work", "--no-category"}, 2, "exclude each other"},
        {{"CD", "--category", "Work"}, 1, "Only files and folders have a category and flags: CD"},
        {{"CD\\nothing", "--category", "Work"}, 1, "Path not found"},
    };
    const QByteArray bytes = ReadFileBytes(source());
    for (const Refused &r : refused) {
        const CliRun run = cli(QStringList{"set-category", source()} + r.args);
        EXPECT_EQ(run.exitCode, r.exitCode) << r.args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(r.message))) << run.err.toStdString();
        EXPECT_EQ(ReadFileBytes(source()), bytes);
    }
}

TEST_F(CliCategoriesTest, WrongCategoryCommandsChangeNothing)
{
    HandCatalog full = SourceCatalog();
    full.categories.clear();
    for (int i = 1; i <= 31; ++i)
        full.categories.push_back({"c" + QByteArray::number(i), uint8_t(i)});
    const QString fullFile = m_dir.filePath(QStringLiteral("full.ctf"));
    ASSERT_TRUE(WriteFileBytes(fullFile, BuildCatalogBytes(full)));

    struct Refused {
        QStringList args;
        int exitCode;
        const char *message;
    };
    const Refused refused[] = {
        {{fullFile, "add", "One more"}, 1, "(max. number of categories reached)"},
        {{source(), "bogus"}, 2, "unknown action"},
        {{source(), "add"}, 2, "expected NAME"},
        {{source(), "add", ""}, 2, "the name is empty"},
        {{source(), "rename", "Nothing", "X"}, 1, "Category not found: Nothing"},
        {{source(), "rename", "Games", ""}, 2, "the new name is empty"},
        {{source(), "delete", "Nothing"}, 1, "Category not found: Nothing"},
        {{source(), "flag", "4", "X"}, 2, "N is 1, 2 or 3"},
        {{source(), "flag", "1"}, 2, "expected N NAME"},
    };
    for (const Refused &r : refused) {
        const QString file = r.args[0];
        const QByteArray bytes = ReadFileBytes(file);
        const CliRun run = cli(QStringList{"categories"} + r.args);
        EXPECT_EQ(run.exitCode, r.exitCode) << r.args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(r.message))) << run.err.toStdString();
        EXPECT_EQ(ReadFileBytes(file), bytes);
    }
}

TEST_F(CliCategoriesTest, CopyAndMoveKeepCategoriesByNameBetweenVocabularies)
{
    const std::map<QString, QString> before = shown(source());
    EXPECT_EQ(ok({"copy-disk", source(), "CD", target()}), QStringLiteral("CD (2)\n"));
    std::map<QString, QString> copied = shown(target());
    for (const auto &[path, text] : before)
        EXPECT_EQ(copied[QStringLiteral("CD (2)") + path.mid(2)], text) << path.toStdString();
    EXPECT_EQ(copied.at("CD\\x.txt"), "Other|Burn,");   // the target's own items are untouched
    EXPECT_EQ(ok({"categories", target()}),
              QStringLiteral(" 3  Games\n 1  Work\n 2  Other\nflag 1  Burn\nflag 2  Keep\nflag 3  (unnamed)\n"));
    EXPECT_EQ(shown(source()), before);   // a copy leaves the source as it was

    // A move into a new catalog file.
    const QString fresh = m_dir.filePath(QStringLiteral("fresh.ctf"));
    EXPECT_EQ(ok({"move-disk", source(), "CD", fresh}), QStringLiteral("CD\n"));
    EXPECT_EQ(shown(fresh), before);
    EXPECT_TRUE(shown(source()).empty());
    EXPECT_EQ(ok({"ls", source()}), QString());
}

TEST_F(CliCategoriesTest, ATargetWithoutRoomIsToldOnceWithTheCount)
{
    HandCatalog full = TargetCatalog();
    full.categories.clear();
    for (int i = 1; i <= 31; ++i)
        full.categories.push_back({i == 5 ? QByteArray("WORK") : "c" + QByteArray::number(i), uint8_t(i)});
    full.flagNames[1] = "Spare";
    full.flagNames[2] = "Keep";
    ASSERT_TRUE(WriteFileBytes(target(), BuildCatalogBytes(full)));
    const CliRun run = cli({"copy-disk", source(), "CD", target()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.count(QStringLiteral("lost")), 1);
    // setup.exe and doom.exe lose Games.
    EXPECT_TRUE(run.err.contains(QStringLiteral("2 items lost their category or flags"))) << run.err.toStdString();
    const std::map<QString, QString> copied = shown(target());
    EXPECT_EQ(copied.at("CD (2)\\setup.exe"), "|Keep,");
    EXPECT_EQ(copied.at("CD (2)\\games\\doom.exe"), "|Burn,");
    EXPECT_EQ(copied.at("CD (2)\\work\\plan.doc"), "WORK|");
}

TEST_F(CliCategoriesTest, FailedTransfersLeaveBothFilesAsTheyWere)
{
    HandCatalog damaged = SourceCatalog();
    damaged.disks[0].folders.push_back(SampleFolder(2, "deeper", {SampleFile("x", 1)}));
    damaged.disks[0].totalFolders = 3;
    HandLayout layout;
    QByteArray bytes = BuildCatalogBytes(damaged, &layout);
    // The second folder level lies outside its disk: opening works, reading it all fails.
    PatchI32(bytes, layout.disks[0].folders[2].block + kFbListOffset, 0x7FFFFF00);
    ASSERT_TRUE(WriteFileBytes(source(), bytes));
    const QByteArray targetBytes = ReadFileBytes(target());

    struct Refused {
        QStringList args;
        int exitCode;
        const char *message;
    };
    const Refused refused[] = {
        {{"move-disk", source(), "CD", target()}, 1, ""},
        {{"copy-disk", source(), "CD", target()}, 1, ""},
        {{"move-disk", source(), "Nope", target()}, 1, "Disk not found: Nope"},
        {{"move-disk", source(), "CD\\games", target()}, 1, "Not a disk"},
        {{"move-disk", source(), "CD", source()}, 1, "in that catalog already"},
        {{"copy-disk", source(), "CD"}, 2, "missing arguments"},
    };
    for (const Refused &r : refused) {
        const CliRun run = cli(r.args);
        EXPECT_EQ(run.exitCode, r.exitCode) << r.args.join(' ').toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(r.message))) << run.err.toStdString();
        EXPECT_EQ(ReadFileBytes(source()), bytes);
        EXPECT_EQ(ReadFileBytes(target()), targetBytes);
    }
}

TEST_F(CliCategoriesTest, CopyIntoTheSameCatalogTakesAUniqueName)
{
    EXPECT_EQ(ok({"copy-disk", source(), "CD", source()}), QStringLiteral("CD (2)\n"));
    const std::map<QString, QString> items = shown(source());
    EXPECT_EQ(items.at("CD (2)\\setup.exe"), "Games|Keep,");
    EXPECT_EQ(items.at("CD\\setup.exe"), "Games|Keep,");
}

} // namespace
