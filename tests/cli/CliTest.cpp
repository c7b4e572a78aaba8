// Tests of quillon-cli as a user runs it: the built program and the catalog
// generator run as separate processes on catalogs in a temporary folder, and
// the tests read their exit status, stdout (text and JSON Lines) and stderr.
#include "ArcFixtures.h"
#include "Corpus.h"
#include "GenTree.h"
#include "ProgramRun.h"
#include "TestCatalogs.h"

#include "settings/Options.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <map>
#include <ostream>
#include <set>
#include <vector>

// Readable failure messages for the Qt types the tests compare.
void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
void PrintTo(const QJsonObject &object, std::ostream *os)
{
    *os << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

namespace {

using testcat::BuildCatalogBytes;
using testcat::HandCatalog;
using testcat::HandDisk;
using testcat::HandFile;
using testcat::HandFolder;
using testcat::HandLayout;
using testcat::PatchU16;
using testcat::ReadFileBytes;
using testcat::WriteFileBytes;

using ProcessResult = testcat::ProgramRun;
using testcat::RunProgram;

// Each line of a JSON Lines output as an object; a line that does not parse
// fails the test.
std::vector<QJsonObject> JsonLines(const QString &out)
{
    std::vector<QJsonObject> objects;
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        EXPECT_TRUE(doc.isObject()) << line.toStdString();
        objects.push_back(doc.object());
    }
    return objects;
}

QString Str(const QJsonObject &o, const char *key)
{
    return o.value(QLatin1String(key)).toString();
}

std::string Dump(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

// The folder path above a folder path ("\A\B" -> "\A", "\A" -> "\").
QString ParentPath(const QString &path)
{
    const qsizetype cut = path.lastIndexOf(QLatin1Char('\\'));
    return cut <= 0 ? QStringLiteral("\\") : path.left(cut);
}

// The folder or disk root an item of a listing lies in.
QString HolderPath(const QJsonObject &item)
{
    return Str(item, "kind") == QLatin1String("folder") ? ParentPath(Str(item, "path")) : Str(item, "path");
}

// The argument that names a disk's folder: DISK\PATH (a disk root: DISK).
QString ItemArg(const QString &disk, const QString &path)
{
    return path == QLatin1String("\\") ? disk : disk + path;
}

bool IsIsoTimeOrNull(const QJsonValue &v)
{
    if (v.isNull())
        return true;
    return v.isString() && QDateTime::fromString(v.toString(), Qt::ISODate).isValid();
}

class CliTest : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    ProcessResult cli(const QStringList &args) const
    {
        const ProcessResult run = RunProgram(QStringLiteral(QUILLON_CLI_PATH), args);
        EXPECT_FALSE(run.crashed) << "quillon-cli " << args.join(' ').toStdString() << ": " << run.err.toStdString();
        return run;
    }

    // Runs a command that must succeed and returns its stdout.
    QString ok(const QStringList &args) const
    {
        const ProcessResult run = cli(args);
        EXPECT_EQ(run.exitCode, 0) << "quillon-cli " << args.join(' ').toStdString() << ": " << run.err.toStdString();
        return run.out;
    }

    std::vector<QJsonObject> json(const QStringList &args) const { return JsonLines(ok(args)); }

    // Writes a generated catalog; returns its path and the file count the generator reports.
    QString generate(const QString &name, const QStringList &options, qint64 *fileCount = nullptr) const
    {
        const QString file = path(name);
        const ProcessResult run = RunProgram(QStringLiteral(QUILLON_GEN_PATH), QStringList(options) << file);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^(\\d+) files")).match(run.out);
        EXPECT_TRUE(match.hasMatch()) << run.out.toStdString();
        if (fileCount)
            *fileCount = match.captured(1).toLongLong();
        return file;
    }

    QString writeHand(const QString &name, const HandCatalog &catalog, HandLayout *layout = nullptr) const
    {
        const QString file = path(name);
        EXPECT_TRUE(WriteFileBytes(file, BuildCatalogBytes(catalog, layout)));
        return file;
    }

    QTemporaryDir m_dir;
};

const QStringList kSmallCatalog = {
    QStringLiteral("--seed"), QStringLiteral("7"), QStringLiteral("--disks"), QStringLiteral("3"),
    QStringLiteral("--depth"), QStringLiteral("2"), QStringLiteral("--fanout"), QStringLiteral("2"),
    QStringLiteral("--files"), QStringLiteral("4"), QStringLiteral("--archives"), QStringLiteral("2"),
    QStringLiteral("--members"), QStringLiteral("3"), QStringLiteral("--categories"), QStringLiteral("4"),
    QStringLiteral("--flag-names"), QStringLiteral("2"),
};

TEST_F(CliTest, RecursiveJsonListingAgreesWithTheGeneratedCatalog)
{
    qint64 generatedFiles = 0;
    const QString catalog = generate(QStringLiteral("small.ctf"), kSmallCatalog, &generatedFiles);
    const std::vector<QJsonObject> items = json({QStringLiteral("ls"), QStringLiteral("--recursive"),
                                                 QStringLiteral("--json"), catalog});
    ASSERT_GT(items.size(), 4u);

    const QJsonObject head = items[0];
    EXPECT_EQ(Str(head, "kind"), QStringLiteral("catalog"));
    EXPECT_EQ(Str(head, "name"), QStringLiteral("small"));
    EXPECT_EQ(Str(head, "variant"), QStringLiteral("narrow"));
    EXPECT_TRUE(Str(head, "file").endsWith(QStringLiteral("small.ctf")));
    const QJsonArray categories = head.value(QStringLiteral("categories")).toArray();
    ASSERT_EQ(categories.size(), 4);
    std::map<int, QString> categoryByCode;
    for (const QJsonValue &c : categories) {
        const int code = c.toObject().value(QStringLiteral("code")).toInt();
        EXPECT_GE(code, 1);
        EXPECT_LE(code, 31);
        EXPECT_FALSE(c.toObject().value(QStringLiteral("name")).toString().isEmpty());
        categoryByCode[code] = c.toObject().value(QStringLiteral("name")).toString();
    }
    const QJsonArray flagNames = head.value(QStringLiteral("flag_names")).toArray();
    ASSERT_EQ(flagNames.size(), 3);
    EXPECT_TRUE(flagNames[0].isString());
    EXPECT_TRUE(flagNames[1].isString());
    EXPECT_TRUE(flagNames[2].isNull());

    // The disks come right after the catalog, then their contents.
    std::vector<QJsonObject> disks;
    for (size_t i = 1; i < items.size() && Str(items[i], "kind") == QLatin1String("disk"); ++i)
        disks.push_back(items[i]);
    ASSERT_EQ(disks.size(), 3u);
    EXPECT_EQ(head.value(QStringLiteral("disks")).toInt(), 3);

    struct Counts {
        qint64 plainFiles = 0, members = 0, folders = 0, archives = 0;
    };
    std::map<QString, Counts> counts;
    std::map<QString, std::set<QString>> folderPaths;   // per disk, "\" for the root
    qint64 fileLines = 0;
    for (size_t i = 1 + disks.size(); i < items.size(); ++i) {
        const QJsonObject &item = items[i];
        const QString kind = Str(item, "kind");
        const QString disk = Str(item, "disk");
        SCOPED_TRACE(Dump(item));
        ASSERT_TRUE(kind == QLatin1String("folder") || kind == QLatin1String("file"));
        EXPECT_FALSE(Str(item, "name").isEmpty());
        EXPECT_GE(item.value(QStringLiteral("size")).toDouble(), 0);
        EXPECT_TRUE(IsIsoTimeOrNull(item.value(QStringLiteral("modified"))));
        const bool compressed = item.value(QStringLiteral("compressed")).toBool();

        // Category and flags say the same as catflags.
        const int catFlags = item.value(QStringLiteral("catflags")).toInt();
        const int code = catFlags & 31;
        if (code == 0) {
            EXPECT_TRUE(item.value(QStringLiteral("category")).isNull());
        } else {
            EXPECT_EQ(Str(item, "category"), categoryByCode[code]);
        }
        QJsonArray expectedFlags;
        for (int k = 1; k <= 3; ++k)
            if (catFlags & (1 << (k + 4)))
                expectedFlags.append(k);
        EXPECT_EQ(item.value(QStringLiteral("flags")).toArray(), expectedFlags);

        if (kind == QLatin1String("folder")) {
            EXPECT_TRUE(Str(item, "path").endsWith(QLatin1Char('\\') + Str(item, "name")));
            EXPECT_TRUE(Str(item, "attr").contains(QLatin1Char('d')) || compressed);
            EXPECT_TRUE(IsIsoTimeOrNull(item.value(QStringLiteral("created"))));
            folderPaths[disk].insert(Str(item, "path"));
            ++(compressed ? counts[disk].archives : counts[disk].folders);
            continue;
        }
        ++fileLines;
        // Files lie in the root or in a folder listed before them.
        EXPECT_TRUE(Str(item, "path") == QLatin1String("\\") || folderPaths[disk].count(Str(item, "path")));
        if (compressed) {
            ++counts[disk].members;
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8}$")).match(Str(item, "crc")).hasMatch());
            EXPECT_TRUE(item.value(QStringLiteral("packed")).isDouble());
            EXPECT_LE(item.value(QStringLiteral("packed")).toDouble(), item.value(QStringLiteral("size")).toDouble());
            EXPECT_FALSE(item.contains(QStringLiteral("created")));
            EXPECT_FALSE(item.contains(QStringLiteral("accessed")));
        } else {
            ++counts[disk].plainFiles;
            EXPECT_TRUE(IsIsoTimeOrNull(item.value(QStringLiteral("created"))));
            EXPECT_TRUE(IsIsoTimeOrNull(item.value(QStringLiteral("accessed"))));
            EXPECT_FALSE(item.contains(QStringLiteral("crc")));
        }
    }
    EXPECT_EQ(fileLines, generatedFiles);

    // The disk summaries count what the listing shows: a compressed file is
    // one file of the disk, its members are archive files.
    for (const QJsonObject &disk : disks) {
        SCOPED_TRACE(Dump(disk));
        const Counts &c = counts[Str(disk, "name")];
        EXPECT_EQ(Str(disk, "disk"), Str(disk, "name"));
        EXPECT_EQ(Str(disk, "path"), QStringLiteral("\\"));
        EXPECT_EQ(disk.value(QStringLiteral("files")).toInteger(), c.plainFiles + c.archives);
        EXPECT_EQ(disk.value(QStringLiteral("archive_files")).toInteger(), c.members);
        EXPECT_EQ(disk.value(QStringLiteral("folders")).toInteger(), c.folders);
        EXPECT_EQ(c.archives, 2);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{4}-[0-9A-F]{4}$")).match(Str(disk, "serial")).hasMatch());
        EXPECT_FALSE(Str(disk, "media_text").isEmpty());
        const bool virtualRoot = disk.value(QStringLiteral("virtual_root")).toBool();
        EXPECT_EQ(virtualRoot, Str(disk, "media_text").startsWith(QStringLiteral("Virtual ")));
        EXPECT_EQ(virtualRoot, disk.value(QStringLiteral("root_path")).isString());
        if (virtualRoot) {
            EXPECT_EQ(disk.value(QStringLiteral("free")).toInteger(), 0);
        }
        EXPECT_GE(disk.value(QStringLiteral("capacity")).toInteger(), disk.value(QStringLiteral("free")).toInteger());
        EXPECT_TRUE(disk.value(QStringLiteral("updated")).isString());
        EXPECT_TRUE(IsIsoTimeOrNull(disk.value(QStringLiteral("updated"))));
    }

    // info --json gives the same catalog and disk objects; the text forms name them.
    const std::vector<QJsonObject> info = json({QStringLiteral("info"), QStringLiteral("--json"), catalog});
    ASSERT_EQ(info.size(), 1 + disks.size());
    EXPECT_EQ(info[0], head);
    for (size_t i = 0; i < disks.size(); ++i)
        EXPECT_EQ(info[i + 1], disks[i]);
    const QString infoText = ok({QStringLiteral("info"), catalog});
    const QString lsText = ok({QStringLiteral("ls"), catalog});
    EXPECT_TRUE(infoText.contains(QStringLiteral("Catalog 1.00")));
    EXPECT_TRUE(infoText.contains(flagNames[0].toString()));
    EXPECT_EQ(lsText.count(QLatin1Char('\n')), qsizetype(disks.size()));
    for (const QJsonObject &disk : disks) {
        EXPECT_TRUE(infoText.contains(Str(disk, "name"))) << Str(disk, "name").toStdString();
        EXPECT_TRUE(infoText.contains(Str(disk, "serial")));
        EXPECT_TRUE(lsText.contains(Str(disk, "name")));
    }
}

TEST_F(CliTest, ListsOneFolderLevelWithFoldersFirst)
{
    const QString catalog = generate(QStringLiteral("small.ctf"), kSmallCatalog);
    const std::vector<QJsonObject> all = json({QStringLiteral("ls"), QStringLiteral("-r"), QStringLiteral("--json"),
                                               catalog});
    const QString disk = Str(all[1], "name");

    // Everything of the first disk below the catalog and disk lines, in order.
    std::vector<QJsonObject> ofDisk;
    std::map<QString, std::vector<QJsonObject>> byHolder;
    for (const QJsonObject &item : all)
        if ((Str(item, "kind") == QLatin1String("folder") || Str(item, "kind") == QLatin1String("file"))
            && Str(item, "disk") == disk) {
            ofDisk.push_back(item);
            byHolder[HolderPath(item)].push_back(item);
        }
    ASSERT_GT(byHolder.size(), 3u);

    EXPECT_EQ(json({QStringLiteral("ls"), QStringLiteral("--recursive"), QStringLiteral("--json"), catalog, disk}),
              ofDisk);

    int foldersWithSubfolders = 0;
    for (const auto &[holder, expected] : byHolder) {
        SCOPED_TRACE(holder.toStdString());
        const std::vector<QJsonObject> listed = json({QStringLiteral("ls"), QStringLiteral("--json"), catalog,
                                                      ItemArg(disk, holder)});
        EXPECT_EQ(listed, expected);
        bool seenFile = false;
        for (const QJsonObject &item : listed) {
            const bool isFolder = Str(item, "kind") == QLatin1String("folder");
            seenFile = seenFile || !isFolder;
            EXPECT_FALSE(isFolder && seenFile) << "folder after a file: " << Dump(item);
            foldersWithSubfolders += isFolder && holder != QLatin1String("\\") ? 1 : 0;
        }
        if (holder != QLatin1String("\\")) {
            // The same folder named with "/" separators.
            const QString slashed = disk + QString(holder).replace(QLatin1Char('\\'), QLatin1Char('/'));
            EXPECT_EQ(json({QStringLiteral("ls"), QStringLiteral("--json"), catalog, slashed}), expected);
        }
    }
    EXPECT_GT(foldersWithSubfolders, 0) << "the catalog should have folders below folders";

    // The text form shows one line per item, names at the end.
    const QString holder = byHolder.rbegin()->first;
    const QStringList lines = ok({QStringLiteral("ls"), catalog, ItemArg(disk, holder)}).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(size_t(lines.size()), byHolder[holder].size());
    for (int i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].endsWith(QStringLiteral("  ") + Str(byHolder[holder][size_t(i)], "name")))
            << lines[i].toStdString();

    // A member of a compressed file is named by its path inside the archive,
    // which may hold "\" itself.
    const QJsonObject *member = nullptr;
    for (const QJsonObject &item : ofDisk)
        if (Str(item, "kind") == QLatin1String("file") && item.value(QStringLiteral("compressed")).toBool()
            && (!member || Str(item, "name").contains('\\')))
            member = &item;
    ASSERT_TRUE(member);
    const QString memberArg = ItemArg(disk, Str(*member, "path")) + QLatin1Char('\\') + Str(*member, "name");
    const std::vector<QJsonObject> one = json({QStringLiteral("ls"), QStringLiteral("--json"), catalog, memberArg});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], *member);
}

TEST_F(CliTest, MissingItemsAndBadFilesFailWithTheSystemsMessages)
{
    const QString catalog = generate(QStringLiteral("small.ctf"), kSmallCatalog);
    const QString disk = Str(json({QStringLiteral("ls"), QStringLiteral("--json"), catalog})[1], "name");
    const QByteArray before = ReadFileBytes(catalog);

    ProcessResult run = cli({QStringLiteral("ls"), catalog, QStringLiteral("No such disk\\folder")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.trimmed(), QStringLiteral("Disk not found: No such disk"));
    EXPECT_TRUE(run.out.isEmpty());

    const QString missingPath = disk + QStringLiteral("\\no such folder\\x");
    run = cli({QStringLiteral("ls"), QStringLiteral("--json"), catalog, missingPath});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.trimmed(), QStringLiteral("Path not found: ") + missingPath);

    run = cli({QStringLiteral("describe"), catalog, missingPath, QStringLiteral("text")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.trimmed(), QStringLiteral("Path not found: ") + missingPath);
    run = cli({QStringLiteral("rename-disk"), catalog, QStringLiteral("No such disk"), QStringLiteral("New")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.trimmed(), QStringLiteral("Disk not found: No such disk"));
    EXPECT_EQ(ReadFileBytes(catalog), before) << "a failed edit must leave the file alone";

    const QString text = path(QStringLiteral("notes.txt"));
    ASSERT_TRUE(WriteFileBytes(text, "These are just some notes, not a catalog.\n"));
    const QString missing = path(QStringLiteral("missing.ctf"));
    for (const QString &command : {QStringLiteral("info"), QStringLiteral("ls")}) {
        run = cli({command, text});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err.trimmed(), QStringLiteral("This is not a valid catalog file!"));
        run = cli({command, missing});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err.trimmed(), QStringLiteral("File open error"));
    }
    run = cli({QStringLiteral("save-as"), missing, path(QStringLiteral("copy.ctf"))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.trimmed(), QStringLiteral("File open error"));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("copy.ctf"))));

    // A catalog cut short anywhere is refused or listed as far as it goes,
    // never a crash; a refusal comes with a message.
    for (const qsizetype cut : {qsizetype(13), qsizetype(40), before.size() / 3, before.size() / 2,
                                before.size() - 200, before.size() - 1}) {
        SCOPED_TRACE(cut);
        const QString cutFile = path(QStringLiteral("cut%1.ctf").arg(cut));
        ASSERT_TRUE(WriteFileBytes(cutFile, before.left(cut)));
        run = cli({QStringLiteral("ls"), QStringLiteral("-r"), QStringLiteral("--json"), cutFile});
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << run.exitCode;
        if (run.exitCode == 1) {
            EXPECT_FALSE(run.err.trimmed().isEmpty());
        }
    }
}

TEST_F(CliTest, DamagedFileListIsReportedAndTheListingGoesOn)
{
    HandCatalog hand;
    HandDisk disk;
    disk.name = "Damaged";
    disk.totalFolders = 2;
    HandFolder docs;
    docs.name = "Docs";
    for (const char *name : {"first.txt", "second.txt", "third.txt"}) {
        HandFile f;
        f.name = name;
        f.size = 11;
        docs.files.push_back(f);
    }
    HandFolder other;
    other.name = "Other";
    HandFile kept;
    kept.name = "kept.txt";
    other.files.push_back(kept);
    disk.folders = {docs, other};
    hand.disks = {disk};
    HandLayout layout;
    const QString file = writeHand(QStringLiteral("damaged.ctf"), hand, &layout);

    // The second file's description claims 5000 bytes.
    QByteArray bytes = ReadFileBytes(file);
    const int64_t second = layout.disks[0].folders[0].list.entries[1];
    PatchU16(bytes, second + 1 + QByteArray("second.txt").size() + 18, 5000);
    ASSERT_TRUE(WriteFileBytes(file, bytes));

    // Only what is shown is read: the damaged list stays unread while the
    // catalog, the disk's root or another folder is listed.
    for (const QStringList &args : {QStringList{QStringLiteral("info"), file},
                                    QStringList{QStringLiteral("ls"), QStringLiteral("--json"), file},
                                    QStringList{QStringLiteral("ls"), file, QStringLiteral("Damaged")},
                                    QStringList{QStringLiteral("ls"), file, QStringLiteral("Damaged\\Other")}}) {
        const ProcessResult lazy = cli(args);
        EXPECT_EQ(lazy.exitCode, 0);
        EXPECT_TRUE(lazy.err.isEmpty()) << args.join(' ').toStdString() << ": " << lazy.err.toStdString();
    }

    const ProcessResult run = cli({QStringLiteral("ls"), QStringLiteral("-r"), QStringLiteral("--json"), file});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("Error Loading Catalog")));
    EXPECT_TRUE(run.err.contains(QStringLiteral("Program detected an error while trying to load files in folder \"\\Docs\". "
                                                "Catalog file may be damaged.")))
        << run.err.toStdString();
    QStringList names;
    for (const QJsonObject &item : JsonLines(run.out))
        if (Str(item, "kind") == QLatin1String("file"))
            names << Str(item, "path") + QLatin1Char('\\') + Str(item, "name");
    EXPECT_EQ(names, QStringList({QStringLiteral("\\Docs\\first.txt"), QStringLiteral("\\Other\\kept.txt")}));
}

TEST_F(CliTest, BadUsageExitsWith2AndHelpListsTheCommands)
{
    const QString catalog = generate(QStringLiteral("small.ctf"), kSmallCatalog);
    const std::vector<QStringList> badLines = {
        {},
        {QStringLiteral("frobnicate"), catalog},
        {QStringLiteral("ls")},
        {QStringLiteral("ls"), QStringLiteral("--bogus"), catalog},
        {QStringLiteral("ls"), catalog, QStringLiteral("a"), QStringLiteral("b")},
        {QStringLiteral("info"), catalog, catalog},
        {QStringLiteral("info"), QStringLiteral("--recursive"), catalog},
        {QStringLiteral("save-as"), catalog},
        {QStringLiteral("save-as"), QStringLiteral("--json"), catalog, path(QStringLiteral("x.ctf"))},
        {QStringLiteral("rename-disk"), catalog, QStringLiteral("A")},
        {QStringLiteral("rename-disk"), catalog, QStringLiteral("A"), QString()},
        {QStringLiteral("describe"), catalog, QStringLiteral("A")},
    };
    for (const QStringList &args : badLines) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const ProcessResult run = cli(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.contains(QStringLiteral("Usage: quillon-cli"))) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("x.ctf"))));

    const ProcessResult help = cli({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    for (const char *command : {"info", "ls", "save-as", "rename-disk", "describe", "--recursive", "--json"})
        EXPECT_TRUE(help.out.contains(QLatin1String(command))) << command;
}

TEST_F(CliTest, RenameDiskTakesUniqueNamesAndPersists)
{
    HandCatalog hand;
    for (const char *name : {"Disk", "A", "B", "X (3)", "C"}) {
        HandDisk disk;
        disk.name = name;
        hand.disks.push_back(disk);
    }
    const QString file = writeHand(QStringLiteral("names.ctf"), hand);
    QString target = file;
    const auto rename = [&](const QString &from, const QString &to) {
        return ok({QStringLiteral("rename-disk"), target, from, to}).trimmed();
    };
    EXPECT_EQ(rename(QStringLiteral("A"), QStringLiteral("Disk")), QStringLiteral("Disk (2)"));
    EXPECT_EQ(rename(QStringLiteral("B"), QStringLiteral("Disk (2)")), QStringLiteral("Disk (3)"));
    // " (3)" is cut even though a disk has that name; "X" itself is free.
    EXPECT_EQ(rename(QStringLiteral("C"), QStringLiteral("X (3)")), QStringLiteral("X"));
    // " (1)" and " (x)" are not made by the rule, so they stay.
    EXPECT_EQ(rename(QStringLiteral("X (3)"), QStringLiteral("X (1)")), QStringLiteral("X (1)"));
    EXPECT_EQ(rename(QStringLiteral("Disk"), QStringLiteral("Disk (x)")), QStringLiteral("Disk (x)"));
    EXPECT_EQ(rename(QStringLiteral("Disk (x)"), QStringLiteral("Disk")), QStringLiteral("Disk"));
    // A disk keeps its own name; other names count with their case.
    EXPECT_EQ(rename(QStringLiteral("Disk"), QStringLiteral("Disk")), QStringLiteral("Disk"));
    EXPECT_EQ(rename(QStringLiteral("X"), QStringLiteral("Disk (7)")), QStringLiteral("Disk (4)"));
    EXPECT_EQ(rename(QStringLiteral("Disk (4)"), QStringLiteral("disk")), QStringLiteral("disk"));

    QStringList names;
    for (const QJsonObject &item : json({QStringLiteral("ls"), QStringLiteral("--json"), file}))
        if (Str(item, "kind") == QLatin1String("disk"))
            names << Str(item, "name");
    EXPECT_EQ(names, QStringList({QStringLiteral("Disk"), QStringLiteral("Disk (2)"), QStringLiteral("Disk (3)"),
                                  QStringLiteral("X (1)"), QStringLiteral("disk")}));

    // A renamed disk keeps its content; only its name changes.
    const QString catalog = generate(QStringLiteral("small.ctf"), kSmallCatalog);
    target = catalog;
    const std::vector<QJsonObject> before = json({QStringLiteral("ls"), QStringLiteral("-r"), QStringLiteral("--json"),
                                                  catalog});
    const QString first = Str(before[1], "name");
    const QString second = Str(before[2], "name");
    EXPECT_EQ(rename(second, first), first + QStringLiteral(" (2)"));
    const std::vector<QJsonObject> after = json({QStringLiteral("ls"), QStringLiteral("-r"), QStringLiteral("--json"),
                                                 catalog});
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        QJsonObject expected = before[i];
        if (Str(expected, "disk") == second) {
            expected.insert(QStringLiteral("disk"), first + QStringLiteral(" (2)"));
            if (Str(expected, "kind") == QLatin1String("disk"))
                expected.insert(QStringLiteral("name"), first + QStringLiteral(" (2)"));
        }
        EXPECT_EQ(after[i], expected) << Dump(after[i]);
    }
}

TEST_F(CliTest, DescriptionsPersistAndAnEmptyTextRemovesThem)
{
    QStringList options = kSmallCatalog;
    options << QStringLiteral("--desc-percent") << QStringLiteral("0");
    const QString catalog = generate(QStringLiteral("plain.ctf"), options);
    const QStringList listAll = {QStringLiteral("ls"), QStringLiteral("-r"), QStringLiteral("--json"), catalog};
    const std::vector<QJsonObject> original = json(listAll);
    const QString disk = Str(original[1], "name");

    // A folder with files, a root file and an archive member of the first disk.
    QString folder, folderFile, rootFile, archive, member;
    for (const QJsonObject &item : original) {
        if (Str(item, "disk") != disk)
            continue;
        EXPECT_TRUE(item.value(QStringLiteral("desc")).isNull()) << Dump(item);
        const bool compressed = item.value(QStringLiteral("compressed")).toBool();
        if (Str(item, "kind") == QLatin1String("folder") && !compressed && folder.isEmpty())
            folder = Str(item, "path");
        if (Str(item, "kind") != QLatin1String("file"))
            continue;
        if (compressed && member.isEmpty()) {
            archive = Str(item, "path");
            member = Str(item, "name");
        } else if (!compressed && Str(item, "path") == QLatin1String("\\") && rootFile.isEmpty()) {
            rootFile = Str(item, "name");
        } else if (!compressed && Str(item, "path") == folder && folderFile.isEmpty()) {
            folderFile = Str(item, "name");
        }
    }
    ASSERT_FALSE(folder.isEmpty() || folderFile.isEmpty() || rootFile.isEmpty() || member.isEmpty());

    const QString folderArg = ItemArg(disk, folder);
    const QString folderFileArg = folderArg + QLatin1Char('\\') + folderFile;
    const QString rootFileArg = disk + QLatin1Char('\\') + rootFile;
    const QString memberArg = ItemArg(disk, archive) + QLatin1Char('\\') + member;
    const QString longText(5000, QLatin1Char('x'));
    // A text that starts with "-" follows "--".
    const auto describe = [&](const QString &itemArg, const QString &text) {
        if (text.startsWith(QLatin1Char('-')))
            ok({QStringLiteral("describe"), catalog, itemArg, QStringLiteral("--"), text});
        else
            ok({QStringLiteral("describe"), catalog, itemArg, text});
    };
    describe(disk, QStringLiteral("Disk text"));
    describe(folderArg, QStringLiteral("  line one  \n\tline two\t\n\n"));
    describe(folderFileArg, QStringLiteral("Grüße, ☃"));
    describe(rootFileArg, longText);
    describe(memberArg, QStringLiteral("-- a member"));

    // Each edit is in the file: a fresh process reads it back.
    const auto find = [&](const std::vector<QJsonObject> &items, const QString &kind, const QString &holder,
                          const QString &name) {
        for (const QJsonObject &item : items)
            if (Str(item, "disk") == disk && Str(item, "kind") == kind && HolderPath(item) == holder
                && Str(item, "name") == name)
                return item;
        ADD_FAILURE() << "not listed: " << kind.toStdString() << " " << holder.toStdString() << " "
                      << name.toStdString();
        return QJsonObject();
    };
    const QString folderName = folder.mid(folder.lastIndexOf('\\') + 1);
    const QString archiveName = archive.mid(archive.lastIndexOf('\\') + 1);
    std::vector<QJsonObject> described = json(listAll);
    ASSERT_EQ(described.size(), original.size());
    EXPECT_EQ(Str(find(described, QStringLiteral("disk"), QStringLiteral("\\"), disk), "desc"), QStringLiteral("Disk text"));
    const QJsonObject folderItem = find(described, QStringLiteral("folder"), ParentPath(folder), folderName);
    EXPECT_EQ(Str(folderItem, "desc"), QStringLiteral("line one\r\nline two"));
    EXPECT_TRUE(folderItem.value(QStringLiteral("has_desc")).toBool());
    EXPECT_EQ(Str(find(described, QStringLiteral("file"), folder, folderFile), "desc"), QStringLiteral("Grüße, ☃"));
    EXPECT_EQ(Str(find(described, QStringLiteral("file"), QStringLiteral("\\"), rootFile), "desc"),
              QString(4096, QLatin1Char('x')));
    EXPECT_TRUE(find(described, QStringLiteral("disk"), QStringLiteral("\\"), disk).value(QStringLiteral("has_desc")).toBool());
    EXPECT_EQ(Str(find(described, QStringLiteral("file"), archive, member), "desc"), QStringLiteral("-- a member"));
    EXPECT_TRUE(find(described, QStringLiteral("folder"), ParentPath(archive), archiveName)
                    .value(QStringLiteral("has_desc")).toBool());

    // Emptying every one of them gives back the catalog as it was.
    for (const QString &itemArg : {disk, folderArg, folderFileArg, rootFileArg, memberArg})
        describe(itemArg, QString());
    const std::vector<QJsonObject> cleared = json(listAll);
    ASSERT_EQ(cleared.size(), original.size());
    for (size_t i = 0; i < original.size(); ++i)
        EXPECT_EQ(cleared[i], original[i]) << Dump(cleared[i]);
}

TEST_F(CliTest, WideLayoutShowsFilesOf4GiBAndMore)
{
    qint64 generatedFiles = 0;
    const QString catalog = generate(QStringLiteral("wide.ctf"),
                                     {QStringLiteral("--seed"), QStringLiteral("2"), QStringLiteral("--disks"),
                                      QStringLiteral("2"), QStringLiteral("--depth"), QStringLiteral("1"),
                                      QStringLiteral("--files"), QStringLiteral("5"), QStringLiteral("--huge-every"),
                                      QStringLiteral("4")},
                                     &generatedFiles);
    const std::vector<QJsonObject> items = json({QStringLiteral("ls"), QStringLiteral("-r"), QStringLiteral("--json"),
                                                 catalog});
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(Str(items[0], "variant"), QStringLiteral("wide"));
    EXPECT_TRUE(ok({QStringLiteral("info"), catalog}).contains(QStringLiteral("Catalog 2.00 (wide)")));
    qint64 files = 0, huge = 0;
    for (const QJsonObject &item : items) {
        if (Str(item, "kind") != QLatin1String("file"))
            continue;
        ++files;
        // JSON numbers are exact up to 2^53, far above these sizes.
        if (item.value(QStringLiteral("size")).toInteger() >= (qint64(4) << 30))
            ++huge;
    }
    EXPECT_EQ(files, generatedFiles);
    EXPECT_GE(huge, generatedFiles / 4 - 2);

    const QString copy = path(QStringLiteral("copy.ctf"));
    ok({QStringLiteral("save-as"), catalog, copy});
    std::vector<QJsonObject> copied = json({QStringLiteral("ls"), QStringLiteral("-r"), QStringLiteral("--json"), copy});
    ASSERT_EQ(copied.size(), items.size());
    copied[0].insert(QStringLiteral("file"), Str(items[0], "file"));
    EXPECT_EQ(copied, items);
}

TEST_F(CliTest, ADiskNameWithABackslashIsMatchedWhole)
{
    HandCatalog hand;
    HandDisk backup;
    backup.name = "Backup";
    backup.totalFolders = 1;
    HandFolder year;
    year.name = "2024";
    HandFile inFolder;
    inFolder.name = "in-folder.txt";
    year.files.push_back(inFolder);
    backup.folders.push_back(year);
    HandDisk named;
    named.name = "Backup\\2024";
    HandFile inRoot;
    inRoot.name = "in-root.txt";
    named.rootFiles.push_back(inRoot);
    hand.disks = {backup, named};
    const QString file = writeHand(QStringLiteral("backslash.ctf"), hand);

    const auto names = [&](const QString &itemArg) {
        QStringList listed;
        for (const QJsonObject &item : json({QStringLiteral("ls"), QStringLiteral("--json"), file, itemArg}))
            listed << Str(item, "disk") + QLatin1Char('|') + Str(item, "path") + QLatin1Char('|') + Str(item, "name");
        return listed;
    };
    // The longest disk name that fits wins; the shorter one is reached by a path that only it has.
    EXPECT_EQ(names(QStringLiteral("Backup\\2024")), QStringList{QStringLiteral("Backup\\2024|\\|in-root.txt")});
    EXPECT_EQ(names(QStringLiteral("Backup\\2024\\in-root.txt")),
              QStringList{QStringLiteral("Backup\\2024|\\|in-root.txt")});
    EXPECT_EQ(names(QStringLiteral("Backup")), QStringList{QStringLiteral("Backup|\\2024|2024")});
    EXPECT_EQ(names(QStringLiteral("Backup/2024")), QStringList{QStringLiteral("Backup|\\2024|in-folder.txt")});
}

TEST_F(CliTest, SaveAsWritesACatalogThatListsTheSame)
{
    const QString catalog = generate(QStringLiteral("small.ctf"), kSmallCatalog);
    const QString copy = path(QStringLiteral("copy.ctf"));
    EXPECT_TRUE(ok({QStringLiteral("save-as"), catalog, copy}).isEmpty());
    // Unchanged disks are copied as they are, so the copy has the same bytes.
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(catalog));

    const auto listing = [&](const QString &file) {
        std::vector<QJsonObject> items = json({QStringLiteral("ls"), QStringLiteral("-r"), QStringLiteral("--json"), file});
        if (!items.empty()) {
            EXPECT_TRUE(Str(items[0], "file").endsWith(QFileInfo(file).fileName()));
            items[0].remove(QStringLiteral("file"));
        }
        return items;
    };
    const std::vector<QJsonObject> original = listing(catalog);
    EXPECT_EQ(listing(copy), original);

    // After an edit the copy of the edited catalog still lists the same.
    const QString disk = Str(original[1], "name");
    ok({QStringLiteral("describe"), catalog, disk, QStringLiteral("Edited")});
    const QString second = path(QStringLiteral("second.ctf"));
    ok({QStringLiteral("save-as"), catalog, second});
    EXPECT_EQ(listing(second), listing(catalog));

    const ProcessResult run = cli({QStringLiteral("save-as"), catalog, path(QStringLiteral("no such folder/x.ctf"))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(run.err.trimmed().isEmpty());
}

TEST_F(CliTest, MessagesShowTheSystemsLineBreaksAsLineBreaks)
{
    const QString catalog = generate(QStringLiteral("small.ctf"), kSmallCatalog);
    ASSERT_TRUE(WriteFileBytes(path(QStringLiteral("plain")), "a file, not a folder"));
    // "Can not create this file for writing.\rPlease enter ..." and the save's refusal.
    const ProcessResult run = cli({QStringLiteral("save-as"), catalog, path(QStringLiteral("plain/x.ctf"))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(run.err.contains(QLatin1Char('\r'))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("Can not create this file for writing.\nPlease enter a valid file name")))
        << run.err.toStdString();
}

// The settings commands, with XDG_CONFIG_HOME moved to a folder of the test.
class CliSettingsTest : public CliTest
{
protected:
    void SetUp() override
    {
        m_hadOld = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        m_old = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", path(QStringLiteral("config")).toUtf8());
    }
    void TearDown() override
    {
        if (m_hadOld)
            qputenv("XDG_CONFIG_HOME", m_old);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    QString settingsFile() const { return path(QStringLiteral("config/Orvanta/Quillon.conf")); }
    void writeSettingsFile(const QByteArray &bytes) const
    {
        QDir().mkpath(QFileInfo(settingsFile()).absolutePath());
        EXPECT_TRUE(WriteFileBytes(settingsFile(), bytes));
    }
    // The settings listing by name.
    std::map<QString, QJsonObject> settings() const
    {
        std::map<QString, QJsonObject> byName;
        for (const QJsonObject &o : json({QStringLiteral("settings"), QStringLiteral("--json")})) {
            EXPECT_EQ(o.keys(), (QStringList{QStringLiteral("name"), QStringLiteral("source"), QStringLiteral("value")}))
                << Dump(o);
            EXPECT_TRUE(byName.emplace(Str(o, "name"), o).second) << Dump(o);
        }
        return byName;
    }

    bool m_hadOld = false;
    QByteArray m_old;
};

TEST_F(CliSettingsTest, SettingsListsEveryControlWithItsInitialValue)
{
    const std::map<QString, QJsonObject> all = settings();
    EXPECT_EQ(all.size(), size_t(TOptions::SettingNames().size()));
    EXPECT_GE(all.size(), 78u);
    for (const auto &[name, o] : all)
        EXPECT_EQ(Str(o, "source"), QStringLiteral("initial")) << name.toStdString();
    EXPECT_EQ(all.at(QStringLiteral("InsideZipCheck")).value(QStringLiteral("value")), QJsonValue(true));
    EXPECT_EQ(all.at(QStringLiteral("RestoreDirCheck")).value(QStringLiteral("value")), QJsonValue(false));
    EXPECT_EQ(all.at(QStringLiteral("AutoSaveEdit")).value(QStringLiteral("value")), QJsonValue(15));
    EXPECT_EQ(all.at(QStringLiteral("FileDoubleClickCombo")).value(QStringLiteral("value")), QJsonValue(-1));
    EXPECT_EQ(all.at(QStringLiteral("DescList")).value(QStringLiteral("value")),
              QJsonValue(QJsonArray{QStringLiteral("FILE_ID.DIZ"), QStringLiteral("DESCRIPT.ION"),
                                    QStringLiteral("*.NFO"), QStringLiteral("*.TXT")}));
    EXPECT_EQ(all.at(QStringLiteral("AutoloadList")).value(QStringLiteral("value")), QJsonValue(QJsonArray()));
    EXPECT_TRUE(Str(all.at(QStringLiteral("ExtractDir")), "value").endsWith(QLatin1Char('/')));
    EXPECT_EQ(all.at(QStringLiteral("Font2")).value(QStringLiteral("value")).toObject().value(QStringLiteral("name")),
              QJsonValue(QStringLiteral("Courier New")));
    EXPECT_EQ(all.at(QStringLiteral("ImportDescList")).value(QStringLiteral("value")).toArray().size(), 4);
    // Listing writes nothing.
    EXPECT_FALSE(QFile::exists(settingsFile()));

    const QString text = ok({QStringLiteral("settings")});
    EXPECT_TRUE(QRegularExpression(QStringLiteral("(^|\n)InsideZipCheck +initial +true\n")).match(text).hasMatch())
        << text.toStdString();
    EXPECT_TRUE(cli({QStringLiteral("--help")}).out.contains(QLatin1String("settings set NAME VALUE")));
}

TEST_F(CliSettingsTest, SettingsSetChangesOneValueAndSavesThemAll)
{
    EXPECT_EQ(ok({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("AutoSaveEdit"), QStringLiteral("240")}),
              QStringLiteral("AutoSaveEdit 240\n"));
    ASSERT_TRUE(QFile::exists(settingsFile()));
    std::map<QString, QJsonObject> all = settings();
    EXPECT_EQ(all.at(QStringLiteral("AutoSaveEdit")).value(QStringLiteral("value")), QJsonValue(240));
    for (const auto &[name, o] : all)
        EXPECT_EQ(Str(o, "source"), QStringLiteral("stored")) << name.toStdString();

    // Out of range, not a number, unknown: refused, nothing changes.
    const std::vector<std::pair<QStringList, QString>> refused = {
        {{QStringLiteral("AutoSaveEdit"), QStringLiteral("241")}, QStringLiteral("out of range (2 to 240)")},
        {{QStringLiteral("ButtonSizeBar"), QStringLiteral("eight")}, QStringLiteral("not a whole number")},
        {{QStringLiteral("InsideZipCheck"), QStringLiteral("maybe")}, QStringLiteral("not true or false")},
        {{QStringLiteral("Toolbar1"), QStringLiteral("false")}, QStringLiteral("Toolbar1 to Toolbar4")},
        {{QStringLiteral("ExtractDir"), path(QStringLiteral("no such folder"))}, QStringLiteral("not an existing folder")},
        {{QStringLiteral("NoSuchCheck"), QStringLiteral("1")}, QStringLiteral("Unknown setting: NoSuchCheck")},
    };
    const QByteArray before = ReadFileBytes(settingsFile());
    for (const auto &[args, message] : refused) {
        const ProcessResult run = cli(QStringList{QStringLiteral("settings"), QStringLiteral("set")} + args);
        EXPECT_EQ(run.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(message)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_EQ(ReadFileBytes(settingsFile()), before);

    ok({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("InsideZipCheck"), QStringLiteral("false")});
    ok({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("Toolbar3"), QStringLiteral("true")});
    ok({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("DescList"),
        QStringLiteral("A.TXT,\"B C.TXT\"")});
    ok({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("--"), QStringLiteral("FileDoubleClickCombo"),
        QStringLiteral("-1")});
    ok({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("ExtractDir"), path(QString())});
    // A delay the settings cannot store is kept as the longest one, with a note.
    const ProcessResult wait = cli({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("DescWaitBar"),
                                    QStringLiteral("18")});
    EXPECT_EQ(wait.exitCode, 0);
    EXPECT_EQ(wait.out, QStringLiteral("DescWaitBar 15\n"));
    EXPECT_TRUE(wait.err.contains(QLatin1String("kept as 15"))) << wait.err.toStdString();

    all = settings();
    EXPECT_EQ(all.at(QStringLiteral("InsideZipCheck")).value(QStringLiteral("value")), QJsonValue(false));
    EXPECT_EQ(all.at(QStringLiteral("Toolbar3")).value(QStringLiteral("value")), QJsonValue(true));
    EXPECT_EQ(all.at(QStringLiteral("Toolbar1")).value(QStringLiteral("value")), QJsonValue(false));
    EXPECT_EQ(all.at(QStringLiteral("DescList")).value(QStringLiteral("value")),
              QJsonValue(QJsonArray{QStringLiteral("A.TXT"), QStringLiteral("B C.TXT")}));
    EXPECT_EQ(all.at(QStringLiteral("FileDoubleClickCombo")).value(QStringLiteral("value")), QJsonValue(-1));
    EXPECT_EQ(Str(all.at(QStringLiteral("ExtractDir")), "value"), path(QString()) + QLatin1Char('/'));
    EXPECT_EQ(all.at(QStringLiteral("DescWaitBar")).value(QStringLiteral("value")), QJsonValue(15));
    EXPECT_EQ(all.at(QStringLiteral("AutoSaveEdit")).value(QStringLiteral("value")), QJsonValue(240));

    for (const QStringList &args : std::vector<QStringList>{
             {QStringLiteral("settings"), QStringLiteral("extra")},
             {QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("AutoSaveEdit")},
             {QStringLiteral("settings"), QStringLiteral("--json"), QStringLiteral("set"), QStringLiteral("AutoSaveEdit"),
              QStringLiteral("20")},
             {QStringLiteral("settings"), QStringLiteral("--recursive")}}) {
        const ProcessResult run = cli(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Usage: quillon-cli"))) << run.err.toStdString();
    }
}

TEST_F(CliSettingsTest, DamagedOrOutdatedSettingsNeverStopTheCommands)
{
    // Settings of another layout revision are shown as the initial ones and
    // left alone by a listing; a change replaces them with a full set.
    writeSettingsFile("[General]\nRevisionMarker=\"@ByteArray(\\x1)\"\nSettings=\"@ByteArray(\\0\\0\\0\\0)\"\n"
                      "[Columns]\nList1=\"@ByteArray(\\x1)\"\n");
    const QByteArray outdated = ReadFileBytes(settingsFile());
    std::map<QString, QJsonObject> all = settings();
    EXPECT_EQ(all.at(QStringLiteral("TipsCheck")).value(QStringLiteral("value")), QJsonValue(true));
    EXPECT_EQ(Str(all.at(QStringLiteral("TipsCheck")), "source"), QStringLiteral("initial"));
    EXPECT_EQ(ReadFileBytes(settingsFile()), outdated);
    EXPECT_EQ(cli({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("DescHideBar"), QStringLiteral("16")})
                  .exitCode, 1);
    EXPECT_EQ(ReadFileBytes(settingsFile()), outdated);
    ok({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("TipsCheck"), QStringLiteral("false")});
    EXPECT_FALSE(ReadFileBytes(settingsFile()).contains("[Columns]"));
    all = settings();
    EXPECT_EQ(all.at(QStringLiteral("TipsCheck")).value(QStringLiteral("value")), QJsonValue(false));
    EXPECT_EQ(all.at(QStringLiteral("ShowPrevCheck")).value(QStringLiteral("value")), QJsonValue(true));

    // Garbage, or a file cut short: the commands run on what can be read.
    QByteArray garbage;
    for (int i = 0; i < 3000; ++i)
        garbage += char((i * 7919) & 0xFF);
    const QByteArray saved = ReadFileBytes(settingsFile());
    for (const QByteArray &bytes : {garbage, saved.left(saved.size() / 2), saved.left(saved.size() - 2)}) {
        writeSettingsFile(bytes);
        const std::map<QString, QJsonObject> listed = settings();
        EXPECT_EQ(listed.size(), all.size());
        ok({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("AutoSaveEdit"), QStringLiteral("30")});
        EXPECT_EQ(settings().at(QStringLiteral("AutoSaveEdit")).value(QStringLiteral("value")), QJsonValue(30));
    }
}

} // namespace

// quillon-cli arc list over real archives: the listing agrees with the
// reference tools' manifest beside each file.
TEST(CliArcTest, ArcListMatchesTheReferenceListing)
{
    QUILLON_NEED_CORPUS();
    const QString corpus = testcorpus::ArchiveDir("zip") + QLatin1Char('/');
    for (const char *name : {"izip_comments.zip", "cc_SHRUNK.ZIP", "izip_deflate_tree.zip"}) {
        SCOPED_TRACE(name);
        const QString archive = corpus + QLatin1String(name);
        // Expected members: the zipinfo lines of the manifest, keyed by path.
        std::map<QString, QJsonObject> expected;
        QFile manifest(archive + QStringLiteral(".manifest.jsonl"));
        ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
        for (const QByteArray &line : manifest.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.value(QStringLiteral("kind")).toString() == QStringLiteral("member") &&
                o.value(QStringLiteral("tool")).toString() == QStringLiteral("zipinfo"))
                expected[o.value(QStringLiteral("path")).toString().replace(QLatin1Char('/'), QLatin1Char('\\'))] = o;
        }
        ASSERT_FALSE(expected.empty());

        const ProcessResult run = RunProgram(QStringLiteral(QUILLON_CLI_PATH),
                                             {QStringLiteral("arc"), QStringLiteral("list"), QStringLiteral("--json"), archive});
        ASSERT_FALSE(run.crashed);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const std::vector<QJsonObject> lines = JsonLines(run.out);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].value(QStringLiteral("kind")).toString(), QStringLiteral("archive"));
        EXPECT_EQ(lines[0].value(QStringLiteral("type")).toString(), QStringLiteral("ZIP"));
        size_t members = 0;
        for (size_t i = 1; i < lines.size(); ++i) {
            const QJsonObject &m = lines[i];
            const QString path = m.value(QStringLiteral("name")).toString();
            if (path.endsWith(QLatin1Char('\\')))
                continue;   // folder entries
            ++members;
            ASSERT_TRUE(expected.count(path)) << path.toStdString();
            const QJsonObject &e = expected[path];
            EXPECT_EQ(m.value(QStringLiteral("size")).toInteger(), e.value(QStringLiteral("size")).toInteger());
            EXPECT_EQ(m.value(QStringLiteral("packed")).toInteger(), e.value(QStringLiteral("packed")).toInteger());
            EXPECT_EQ(m.value(QStringLiteral("crc")).toString(), e.value(QStringLiteral("crc32")).toString());
        }
        size_t expectedFiles = 0;
        for (const auto &[path, o] : expected)
            expectedFiles += !path.endsWith(QLatin1Char('\\'));
        EXPECT_EQ(members, expectedFiles);
    }
}

namespace {

// The corpus folder of ZIP files, with a trailing slash.
QString ZipCorpus()
{
    return testcorpus::ArchiveDir("zip") + QLatin1Char('/');
}

// The manifest's agreed bytes per member path ("/" separated): path -> sha256 (hex).
std::map<QString, QString> ConsensusSha256(const QString &archive)
{
    std::map<QString, QString> sums;
    QFile manifest(archive + QStringLiteral(".manifest.jsonl"));
    EXPECT_TRUE(manifest.open(QIODevice::ReadOnly)) << archive.toStdString();
    for (const QByteArray &line : manifest.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (Str(o, "kind") == QLatin1String("consensus") && o.value(QStringLiteral("sha256")).isString())
            sums[Str(o, "path")] = Str(o, "sha256");
    }
    return sums;
}

// Every file below dir: relative path ("/" separated) -> sha256 (hex) of its bytes.
std::map<QString, QString> FilesWithSha256(const QString &dir)
{
    std::map<QString, QString> sums;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        sums[QDir(dir).relativeFilePath(path)] =
            QString::fromLatin1(QCryptographicHash::hash(ReadFileBytes(path), QCryptographicHash::Sha256).toHex());
    }
    return sums;
}

ProcessResult RunCli(const QStringList &args)
{
    return RunProgram(QStringLiteral(QUILLON_CLI_PATH), args);
}

} // namespace

// arc extract --dirs writes every member of a deflated ZIP with folders under
// its stored path, byte for byte as the reference tools agree; without --dirs
// only the file names are kept.
TEST(CliArcTest, ArcExtractWritesTheReferenceBytes)
{
    QUILLON_NEED_CORPUS();
    const QString archive = ZipCorpus() + QStringLiteral("izip_deflate_tree.zip");
    const std::map<QString, QString> expected = ConsensusSha256(archive);
    ASSERT_EQ(expected.size(), 8u);
    ASSERT_TRUE(expected.count(QStringLiteral("SUBDIR/DEEP/LEAF.TXT")));

    QTemporaryDir dest;
    ASSERT_TRUE(dest.isValid());
    ProcessResult run = RunCli({QStringLiteral("arc"), QStringLiteral("extract"), QStringLiteral("--dirs"), archive,
                                dest.path()});
    ASSERT_FALSE(run.crashed);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(FilesWithSha256(dest.path()), expected);

    // Flat: the same bytes under the bare file names.
    QTemporaryDir flat;
    ASSERT_TRUE(flat.isValid());
    run = RunCli({QStringLiteral("arc"), QStringLiteral("extract"), archive, flat.path()});
    ASSERT_FALSE(run.crashed);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::map<QString, QString> flatExpected;
    for (const auto &[path, sum] : expected)
        flatExpected[path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)] = sum;
    EXPECT_EQ(FilesWithSha256(flat.path()), flatExpected);

    // A mask picks members by name.
    QTemporaryDir masked;
    ASSERT_TRUE(masked.isValid());
    run = RunCli({QStringLiteral("arc"), QStringLiteral("extract"), archive, masked.path(), QStringLiteral("*.BIN")});
    ASSERT_FALSE(run.crashed);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const std::map<QString, QString> bins{{QStringLiteral("RANDOM.BIN"), expected.at(QStringLiteral("RANDOM.BIN"))},
                                          {QStringLiteral("ZEROS.BIN"), expected.at(QStringLiteral("ZEROS.BIN"))}};
    EXPECT_EQ(FilesWithSha256(masked.path()), bins);
}

// Self-extractors extract by the archive their bytes hold, whatever their extension
// (.sfx, .exe, .com), with the bytes the reference tools agree on.
TEST(CliArcTest, ArcExtractFollowsTheDetectedTypeOfASelfExtractor)
{
    QUILLON_NEED_CORPUS();
    const struct {
        const char *format;
        const char *file;
    } cases[] = {
        {"zip", "izip_unzipsfx_elf.sfx"},        {"arj", "arj_sfx_elf.sfx"},
        {"lha", "lhasa_lharc113_sfx.com"},       {"lha", "lhasa_lha213_sfx.exe"},
        {"lha", "lhasa_lha255e_sfx.exe"},        {"lha", "lhasa_lhmelt_16536_sfx_winsfx_213.exe"},
        {"rar", "la_rar_sfx.exe"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const QString archive = testcorpus::ArchiveFile(c.format, QString::fromLatin1(c.file));
        const std::map<QString, QString> expected = ConsensusSha256(archive);
        ASSERT_FALSE(expected.empty());
        QTemporaryDir dest;
        ASSERT_TRUE(dest.isValid());
        const ProcessResult run = RunCli({QStringLiteral("arc"), QStringLiteral("extract"), QStringLiteral("--dirs"),
                                          archive, dest.path()});
        ASSERT_FALSE(run.crashed);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(FilesWithSha256(dest.path()), expected);
    }
}

// An encrypted ZIP extracts with the password given by --password.
TEST(CliArcTest, ArcExtractDecryptsWithThePassword)
{
    QUILLON_NEED_CORPUS();
    const QString archive = ZipCorpus() + QStringLiteral("izip_encrypted_pw_corpus123.zip");
    const std::map<QString, QString> expected = ConsensusSha256(archive);
    ASSERT_FALSE(expected.empty());

    QTemporaryDir dest;
    ASSERT_TRUE(dest.isValid());
    const ProcessResult run = RunCli({QStringLiteral("arc"), QStringLiteral("extract"), QStringLiteral("--dirs"),
                                      QStringLiteral("--password"), QStringLiteral("corpus123"), archive, dest.path()});
    ASSERT_FALSE(run.crashed);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(FilesWithSha256(dest.path()), expected);

    // A wrong password fails the command and writes nothing.
    QTemporaryDir wrong;
    ASSERT_TRUE(wrong.isValid());
    const ProcessResult bad = RunCli({QStringLiteral("arc"), QStringLiteral("extract"), QStringLiteral("--password"),
                                      QStringLiteral("not-the-password"), archive, wrong.path()});
    ASSERT_FALSE(bad.crashed);
    EXPECT_NE(bad.exitCode, 0);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("Extract Error"))) << bad.err.toStdString();
    EXPECT_TRUE(FilesWithSha256(wrong.path()).empty());
}

// A member in a method outside the supported set fails the command with the
// driver's message, and no partial file is left behind.
TEST(CliArcTest, ArcExtractRefusesAnUnsupportedMethod)
{
    // PPMd (method 98), which no decoder of this build reads.
    QTemporaryDir source;
    ASSERT_TRUE(source.isValid());
    const QString archive = source.filePath(QStringLiteral("ppmd.zip"));
    ASSERT_TRUE(arcfix::writeAll(archive, arcfix::zipOf({arcfix::ZipMember{"a.txt", "data", 98, "packed"}})));
    QTemporaryDir dest;
    ASSERT_TRUE(dest.isValid());
    const ProcessResult run = RunCli({QStringLiteral("arc"), QStringLiteral("extract"), archive, dest.path()});
    ASSERT_FALSE(run.crashed);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains(QStringLiteral("Archive file is using unknown or unsupported compression method.")))
        << run.err.toStdString();
    EXPECT_TRUE(FilesWithSha256(dest.path()).empty());
}

// arc extract without its arguments, or with options it does not take, is bad usage.
TEST(CliArcTest, ArcExtractBadUsageExitsWith2)
{
    const QString archive = ZipCorpus() + QStringLiteral("izip_deflate_tree.zip");
    QTemporaryDir dest;
    ASSERT_TRUE(dest.isValid());
    const std::vector<QStringList> badCalls{
        {QStringLiteral("arc"), QStringLiteral("extract")},
        {QStringLiteral("arc"), QStringLiteral("extract"), archive},
        {QStringLiteral("arc"), QStringLiteral("extract"), QStringLiteral("--password")},
        {QStringLiteral("arc"), QStringLiteral("extract"), QStringLiteral("--json"), archive, dest.path()},
        {QStringLiteral("arc"), QStringLiteral("unpack"), archive, dest.path()},
    };
    for (const QStringList &args : badCalls) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const ProcessResult run = RunCli(args);
        ASSERT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
    EXPECT_TRUE(FilesWithSha256(dest.path()).empty());
}

// ---------------------------------------------------------------- scan and drives

// Scans of a folder of this machine (a virtual root of the drive that holds
// the temporary folder; only the folder is read), with the settings moved
// to the test's folder.
class CliScanTest : public CliSettingsTest
{
protected:
    void SetUp() override
    {
        CliSettingsTest::SetUp();
        put(QStringLiteral("media/README.TXT"), "hello");
        put(QStringLiteral("media/Docs/FILE_ID.DIZ"), "The docs folder");
        put(QStringLiteral("media/Docs/a.txt"), "a");
        put(QStringLiteral("media/.hidden"), "h");
        std::vector<GenZipMember> members(2);
        members[0].name = "DOCS/INDEX.HTM";
        members[0].data = "<html>";
        members[1].name = "notes.txt";
        members[1].data = "notes";
        put(QStringLiteral("media/pack.zip"), MakeStoredZip(members));
    }
    void put(const QString &rel, const QByteArray &bytes) const
    {
        QDir().mkpath(QFileInfo(path(rel)).absolutePath());
        ASSERT_TRUE(WriteFileBytes(path(rel), bytes));
    }
    QString catalog() const { return path(QStringLiteral("scans.ctf")); }
    QString media() const { return path(QStringLiteral("media")); }

    // Every item of a recursive JSON listing by "path\name" below the disk.
    std::map<QString, QJsonObject> items() const
    {
        std::map<QString, QJsonObject> byPath;
        for (const QJsonObject &o : json({QStringLiteral("ls"), QStringLiteral("--recursive"), QStringLiteral("--json"),
                                          catalog()})) {
            if (Str(o, "kind") == QLatin1String("file"))
                byPath[Str(o, "path") + QLatin1Char('|') + Str(o, "name")] = o;
            else if (Str(o, "kind") == QLatin1String("folder"))
                byPath[Str(o, "path")] = o;
        }
        return byPath;
    }
};

TEST_F(CliScanTest, ScansAFolderIntoANewCatalogThatListsWhatItHolds)
{
    EXPECT_FALSE(QFileInfo::exists(catalog()));
    const QString out = ok({QStringLiteral("scan"), QStringLiteral("--name"), QStringLiteral("Media"),
                            QStringLiteral("--import"), QStringLiteral("diz"), catalog(), media()});
    EXPECT_TRUE(out.contains(QStringLiteral("Media"))) << out.toStdString();
    ASSERT_TRUE(QFileInfo::exists(catalog()));

    const std::vector<QJsonObject> info = json({QStringLiteral("info"), QStringLiteral("--json"), catalog()});
    ASSERT_EQ(info.size(), 2u);
    EXPECT_EQ(Str(info[0], "name"), QStringLiteral("scans"));
    EXPECT_EQ(Str(info[1], "name"), QStringLiteral("Media"));
    EXPECT_TRUE(info[1].value(QStringLiteral("virtual_root")).toBool());
    EXPECT_TRUE(Str(info[1], "root_path").endsWith(QDir::toNativeSeparators(QStringLiteral("\\media\\"))))
        << Dump(info[1]);
    EXPECT_EQ(info[1].value(QStringLiteral("files")).toInt(), 4);   // Readme.txt, File_id.diz, a.txt, pack.zip
    EXPECT_EQ(info[1].value(QStringLiteral("folders")).toInt(), 1);
    EXPECT_EQ(info[1].value(QStringLiteral("archive_files")).toInt(), 2);

    const std::map<QString, QJsonObject> all = items();
    EXPECT_TRUE(all.count(QStringLiteral("\\|Readme.txt")));
    EXPECT_FALSE(all.count(QStringLiteral("\\|.hidden")));
    ASSERT_TRUE(all.count(QStringLiteral("\\Docs")));
    EXPECT_EQ(Str(all.at(QStringLiteral("\\Docs")), "desc"), QStringLiteral("The docs folder"));
    ASSERT_TRUE(all.count(QStringLiteral("\\pack.zip")));
    EXPECT_TRUE(all.at(QStringLiteral("\\pack.zip")).value(QStringLiteral("compressed")).toBool());
    EXPECT_TRUE(all.count(QStringLiteral("\\pack.zip|Docs\\Index.htm")));
    EXPECT_TRUE(all.count(QStringLiteral("\\pack.zip|notes.txt")));
}

TEST_F(CliScanTest, ADiskWhoseHeaderGrowsSavesWithItsLevelsUnread)
{
    put(QStringLiteral("t/Documents/Letters/a.txt"), "a");
    const QString c = path(QStringLiteral("c.ctf"));
    ok({QStringLiteral("scan"), QStringLiteral("--name"), QStringLiteral("Backup"), c, path(QStringLiteral("t"))});
    // Every edit is a fresh open (levels unread) and a save of the changed disk.
    QString name = QStringLiteral("Backup");
    for (const QString &next : {QStringLiteral("Backup 2"), QStringLiteral("B"),
                                QStringLiteral("A much longer name for the backup disk than it had before")}) {
        SCOPED_TRACE(next.toStdString());
        EXPECT_EQ(ok({QStringLiteral("rename-disk"), c, name, next}).trimmed(), next);
        name = next;
    }
    for (const int length : {120, 300, 0, 4000}) {
        SCOPED_TRACE(length);
        const QString text = length ? QString(length, QLatin1Char('d')) : QString();
        ok({QStringLiteral("describe"), c, name, text});
    }
    const std::vector<QJsonObject> listed =
        json({QStringLiteral("ls"), QStringLiteral("-r"), QStringLiteral("--json"), c});
    bool found = false;
    for (const QJsonObject &o : listed)
        found = found || (Str(o, "kind") == QLatin1String("file") && Str(o, "name") == QLatin1String("a.txt") &&
                          Str(o, "path").endsWith(QStringLiteral("\\Documents\\Letters")));
    EXPECT_TRUE(found) << "the unread levels came through every save";
}

TEST_F(CliScanTest, AnUpdateReplacesTheDiskAndKeepsDescriptionsWhenAsked)
{
    ok({QStringLiteral("scan"), QStringLiteral("--name=Media"), catalog(), media()});
    ok({QStringLiteral("describe"), catalog(), QStringLiteral("Media\\Readme.txt"), QStringLiteral("my text")});
    put(QStringLiteral("media/new.txt"), "new");

    ok({QStringLiteral("scan"), QStringLiteral("--update"), QStringLiteral("Media"), QStringLiteral("--keep-descriptions"),
        QStringLiteral("disk"), QStringLiteral("--quick-scan"), catalog(), media()});
    std::vector<QJsonObject> info = json({QStringLiteral("info"), QStringLiteral("--json"), catalog()});
    ASSERT_EQ(info.size(), 2u);
    EXPECT_EQ(Str(info[1], "name"), QStringLiteral("Media"));
    EXPECT_EQ(info[1].value(QStringLiteral("files")).toInt(), 5);
    std::map<QString, QJsonObject> all = items();
    ASSERT_TRUE(all.count(QStringLiteral("\\|Readme.txt")));
    EXPECT_EQ(Str(all.at(QStringLiteral("\\|Readme.txt")), "desc"), QStringLiteral("my text"));
    EXPECT_TRUE(all.count(QStringLiteral("\\|new.txt")));

    ok({QStringLiteral("scan"), QStringLiteral("--update"), QStringLiteral("Media"), QStringLiteral("--keep-descriptions"),
        QStringLiteral("none"), catalog(), media()});
    all = items();
    ASSERT_TRUE(all.count(QStringLiteral("\\|Readme.txt")));
    EXPECT_TRUE(all.at(QStringLiteral("\\|Readme.txt")).value(QStringLiteral("desc")).isNull());
    info = json({QStringLiteral("info"), QStringLiteral("--json"), catalog()});
    EXPECT_EQ(info.size(), 2u);

    // A second disk of the same name is made unique.
    const QString out = ok({QStringLiteral("scan"), QStringLiteral("--name"), QStringLiteral("Media"), catalog(), media()});
    EXPECT_TRUE(out.contains(QStringLiteral("Media (2)"))) << out.toStdString();
}

TEST_F(CliScanTest, OptionsIncludeHiddenItemsLeaveArchivesClosedAndPrintJson)
{
    const std::vector<QJsonObject> printed =
        json({QStringLiteral("scan"), QStringLiteral("--json"), QStringLiteral("--hidden"), QStringLiteral("--no-archives"),
              QStringLiteral("--name"), QStringLiteral("All"), catalog(), media()});
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(Str(printed[0], "kind"), QStringLiteral("disk"));
    EXPECT_EQ(Str(printed[0], "name"), QStringLiteral("All"));
    EXPECT_EQ(printed[0].value(QStringLiteral("files")).toInt(), 5);
    EXPECT_EQ(printed[0].value(QStringLiteral("archive_files")).toInt(), 0);
    const std::map<QString, QJsonObject> all = items();
    EXPECT_TRUE(all.count(QStringLiteral("\\|.hidden")));
    EXPECT_TRUE(all.count(QStringLiteral("\\|pack.zip")));
    EXPECT_FALSE(all.count(QStringLiteral("\\pack.zip")));
}

TEST_F(CliScanTest, BadScanCallsFailAndWriteNoCatalog)
{
    const std::vector<QStringList> usage{
        {QStringLiteral("scan"), catalog()},
        {QStringLiteral("scan"), QStringLiteral("--keep-descriptions"), QStringLiteral("some"), catalog(), media()},
        {QStringLiteral("scan"), QStringLiteral("--keep-descriptions"), QStringLiteral("disk"), catalog(), media()},
        {QStringLiteral("scan"), QStringLiteral("--import"), QStringLiteral("diz,txt"), catalog(), media()},
        {QStringLiteral("scan"), QStringLiteral("--quick-scan"), catalog(), media()},
        {QStringLiteral("scan"), QStringLiteral("--archive-desc-only"), QStringLiteral("--import"), QStringLiteral("none"),
         catalog(), media()},
        {QStringLiteral("scan"), catalog(), media(), QStringLiteral("--name")},
        {QStringLiteral("ls"), QStringLiteral("--hidden"), catalog()},
        {QStringLiteral("drives"), QStringLiteral("extra")},
    };
    for (const QStringList &args : usage) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const ProcessResult run = cli(args);
        EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
    }
    const std::vector<QStringList> failing{
        {QStringLiteral("scan"), QStringLiteral("--update"), QStringLiteral("Nothing"), catalog(), media()},
        {QStringLiteral("scan"), catalog(), path(QStringLiteral("no-such-folder"))},
        {QStringLiteral("scan"), catalog(), path(QStringLiteral("media/README.TXT"))},
    };
    for (const QStringList &args : failing) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const ProcessResult run = cli(args);
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_FALSE(run.err.trimmed().isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(catalog()));
}

TEST_F(CliScanTest, DrivesListsTheDriveThatHoldsTheScannedFolder)
{
    const std::vector<QJsonObject> drives = json({QStringLiteral("drives"), QStringLiteral("--json")});
    ASSERT_FALSE(drives.empty());
    const QString folder = QFileInfo(media()).canonicalFilePath();
    bool holder = false;
    for (const QJsonObject &d : drives) {
        const QString mountPoint = Str(d, "mount_point");
        if (!mountPoint.isEmpty() && (mountPoint == QLatin1String("/") || folder.startsWith(mountPoint + QLatin1Char('/'))))
            holder = true;
    }
    EXPECT_TRUE(holder);
}

// ---------------------------------------------------------------- argument errors of every command

namespace {

// A command as a user calls it: its words, the options it takes as spelled,
// which of them take a value, and how many arguments it takes.
struct CommandCase {
    QStringList words;
    QStringList options;
    QStringList valueOptions;
    int required = 0;
    int most = 0;   // -1: any number
};

std::ostream &operator<<(std::ostream &os, const CommandCase &c)
{
    return os << c.words.join(' ').toStdString();
}

const std::vector<CommandCase> &CommandCases()
{
    static const std::vector<CommandCase> cases{
        {{"info"}, {"--json"}, {}, 1, 1},
        {{"ls"}, {"-r", "-R", "--recursive", "--json"}, {}, 1, 2},
        {{"save-as"}, {}, {}, 2, 2},
        {{"rename-disk"}, {}, {}, 3, 3},
        {{"describe"}, {}, {}, 3, 3},
        {{"settings"}, {"--json"}, {}, 0, 0},
        {{"settings", "set"}, {}, {}, 2, 2},
        {{"arc", "list"}, {"--json"}, {}, 1, 1},
        {{"arc", "extract"}, {"--dirs", "--password"}, {"--password"}, 2, -1},
        {{"scan"},
         {"--name", "--update", "--archives", "--no-archives", "--archive-desc-only", "--quick-scan", "--import",
          "--keep-descriptions", "--hidden", "--recycle", "--eject", "--json"},
         {"--name", "--update", "--import", "--keep-descriptions"},
         2,
         2},
        {{"drives"}, {"--json"}, {}, 0, 0},
        {{"search"},
         {"--name", "--name-mode", "--case", "--attr", "--desc-any", "--desc", "--desc-none", "--desc-case",
          "--category", "--flag", "--size-op", "--size", "--size2", "--size-tol", "--date-kind", "--date-op", "--date",
          "--date2", "--date-tol", "--time-kind", "--time-op", "--time", "--time2", "--time-tol", "--any", "--max",
          "--files", "--folders", "--disks", "--disk", "--json"},
         {"--name", "--name-mode", "--attr", "--desc", "--category", "--flag", "--size-op", "--size", "--size2",
          "--size-tol", "--date-kind", "--date-op", "--date", "--date2", "--date-tol", "--time-kind", "--time-op",
          "--time", "--time2", "--time-tol", "--max", "--disk"},
         1,
         -1},
        {{"dupes"},
         {"--by", "--include-archives", "--single-copy", "--name", "--name-mode", "--case", "--files", "--folders",
          "--disks", "--disk", "--json"},
         {"--by", "--name", "--name-mode", "--disk"},
         1,
         -1},
        {{"compare"}, {"--json"}, {}, 2, 3},
        {{"check"}, {"--json", "--subfolders", "--same", "--disk"}, {"--same", "--disk"}, 1, -1},
        {{"categories"}, {"--json"}, {}, 1, -1},
        {{"set-category"}, {"--category", "--no-category", "--flag"}, {"--category", "--flag"}, 2, -1},
        {{"copy-disk"}, {}, {}, 3, 3},
        {{"move-disk"}, {}, {}, 3, 3},
        {{"props"}, {"--json"}, {}, 1, 2},
        {{"extract"}, {"--dirs", "--medium"}, {"--medium"}, 2, -1},
    };
    return cases;
}

template <typename Keep>
std::vector<CommandCase> CasesWhere(Keep keep)
{
    std::vector<CommandCase> kept;
    for (const CommandCase &c : CommandCases())
        if (keep(c))
            kept.push_back(c);
    return kept;
}

std::string CaseName(const ::testing::TestParamInfo<CommandCase> &info)
{
    return info.param.words.join('_').replace('-', '_').toStdString();
}

// The settings are moved to the test's folder, so that a command that ran
// where it should have been refused could not change the user's.
class CliArgumentsTest : public CliSettingsTest, public ::testing::WithParamInterface<CommandCase>
{
protected:
    // count arguments naming files of the test's folder that do not exist.
    QStringList arguments(int count) const
    {
        QStringList args;
        for (int i = 0; i < count; ++i)
            args << path(QStringLiteral("missing-%1").arg(i));
        return args;
    }
    // Runs a command line that must be refused as wrong usage; returns stderr's first line.
    QString refused(const QStringList &args) const
    {
        const ProcessResult run = cli(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString() << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        // After the message comes the command's own usage.
        EXPECT_TRUE(run.err.contains(QStringLiteral("\n\nUsage: quillon-cli ") + GetParam().words.join(' ') + ' '))
            << run.err.toStdString();
        return run.err.section(QLatin1Char('\n'), 0, 0);
    }
};

TEST_P(CliArgumentsTest, AnUnknownOptionIsWrongUsage)
{
    const CommandCase &c = GetParam();
    EXPECT_EQ(refused(c.words + QStringList{QStringLiteral("--no-such-option")} + arguments(c.required)),
              QStringLiteral("Unknown option: --no-such-option"));
    EXPECT_EQ(refused(c.words + arguments(c.required) + QStringList{QStringLiteral("-x")}),
              QStringLiteral("Unknown option: -x"));
}

TEST_P(CliArgumentsTest, AnOptionOfAnotherCommandIsRefusedByName)
{
    const CommandCase &c = GetParam();
    const QString other = c.options.contains(QStringLiteral("--dirs")) ? QStringLiteral("--recursive")
                                                                        : QStringLiteral("--dirs");
    EXPECT_EQ(refused(c.words + arguments(c.required) + QStringList{other}),
              c.words.join(' ') + QStringLiteral(" does not take ") + other);
}

TEST_P(CliArgumentsTest, HelpExitsWith0AndNamesEveryOption)
{
    const CommandCase &c = GetParam();
    // --help counts before the command's words as after them, and needs no arguments.
    for (const QStringList &args : {c.words + QStringList{QStringLiteral("--help")},
                                    c.words + QStringList{QStringLiteral("-h")},
                                    QStringList{QStringLiteral("--help")} + c.words}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const ProcessResult run = cli(args);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith(QStringLiteral("Usage: quillon-cli ") + c.words.join(' ') + ' '))
            << run.out.toStdString();
        for (const QString &option : c.options)
            EXPECT_TRUE(QRegularExpression(QStringLiteral("\n  (-.*, )?%1[ ,]").arg(QRegularExpression::escape(option)))
                            .match(run.out)
                            .hasMatch())
                << option.toStdString() << " in " << run.out.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, CliArgumentsTest, ::testing::ValuesIn(CommandCases()), CaseName);

class CliMissingArgumentTest : public CliArgumentsTest
{
};

TEST_P(CliMissingArgumentTest, AMissingArgumentIsWrongUsage)
{
    const CommandCase &c = GetParam();
    EXPECT_EQ(refused(c.words + arguments(c.required - 1)), c.words.join(' ') + QStringLiteral(": missing arguments"));
}

INSTANTIATE_TEST_SUITE_P(CommandsWithArguments, CliMissingArgumentTest,
                         ::testing::ValuesIn(CasesWhere([](const CommandCase &c) { return c.required > 0; })),
                         CaseName);

class CliTooManyArgumentsTest : public CliArgumentsTest
{
};

TEST_P(CliTooManyArgumentsTest, OneArgumentTooManyIsWrongUsage)
{
    const CommandCase &c = GetParam();
    EXPECT_EQ(refused(c.words + arguments(c.most + 1)), c.words.join(' ') + QStringLiteral(": too many arguments"));
}

INSTANTIATE_TEST_SUITE_P(CommandsWithAFixedCount, CliTooManyArgumentsTest,
                         ::testing::ValuesIn(CasesWhere([](const CommandCase &c) { return c.most >= 0; })),
                         CaseName);

class CliOptionValueTest : public CliArgumentsTest
{
};

TEST_P(CliOptionValueTest, AnOptionThatEndsTheLineWithoutItsValueIsWrongUsage)
{
    const CommandCase &c = GetParam();
    for (const QString &option : c.valueOptions)
        EXPECT_EQ(refused(c.words + arguments(c.required) + QStringList{option}), option + QStringLiteral(" needs a value"));
}

INSTANTIATE_TEST_SUITE_P(CommandsWithValueOptions, CliOptionValueTest,
                         ::testing::ValuesIn(CasesWhere([](const CommandCase &c) { return !c.valueOptions.isEmpty(); })),
                         CaseName);

// Options may come before the command's words and in any of their spellings;
// the output is the same as in the usual order.
TEST_F(CliTest, OptionsBeforeTheCommandAndEverySpellingGiveTheSameOutput)
{
    const QString catalog = generate(QStringLiteral("small.ctf"), kSmallCatalog);
    const QString listing = ok({QStringLiteral("ls"), QStringLiteral("--recursive"), QStringLiteral("--json"), catalog});
    ASSERT_FALSE(listing.isEmpty());
    for (const QStringList &args : std::vector<QStringList>{
             {QStringLiteral("--json"), QStringLiteral("ls"), QStringLiteral("-r"), catalog},
             {QStringLiteral("--recursive"), QStringLiteral("--json"), QStringLiteral("ls"), catalog},
             {QStringLiteral("ls"), catalog, QStringLiteral("-R"), QStringLiteral("--json")},
             {QStringLiteral("ls"), QStringLiteral("-rR"), QStringLiteral("--json"), QStringLiteral("--"), catalog}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        EXPECT_EQ(ok(args), listing);
    }
    EXPECT_EQ(ok({QStringLiteral("help")}), ok({QStringLiteral("--help")}));
    EXPECT_EQ(ok({QStringLiteral("-h")}), ok({QStringLiteral("--help")}));
}

// The top-level help lists the commands from the program's own table: one
// entry per command, each starting with the command's words.
TEST_F(CliTest, TopLevelHelpListsEveryCommandOnce)
{
    const QString help = ok({QStringLiteral("--help")});
    const QString commands = help.section(QStringLiteral("Commands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
    QStringList entries;
    for (const QString &line : commands.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("  ")) && !line.startsWith(QLatin1String("   ")))
            entries << line.mid(2);
    ASSERT_EQ(entries.size(), qsizetype(CommandCases().size())) << help.toStdString();
    for (std::size_t i = 0; i < CommandCases().size(); ++i)
        EXPECT_TRUE(entries[qsizetype(i)].startsWith(CommandCases()[i].words.join(' ') + ' '))
            << entries[qsizetype(i)].toStdString();
}

} // namespace
