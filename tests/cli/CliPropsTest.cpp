// quillon-cli extract and props, run as separate processes: a tree with a
// ZIP file built in a temporary folder is scanned as a virtual-root disk;
// files, whole compressed files and members come back byte-exact from the
// folder standing for the medium, with the exit statuses of every failure;
// props prints the pages the dialog shows.
#include "ProgramRun.h"
#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <zlib.h>

#include <map>

namespace {

using CliRun = testcat::ProgramRun;

// The archive's members: two of one file name, and bytes that are not text.
QByteArray blob()
{
    QByteArray b;
    for (int i = 0; i < 200000; ++i)
        b += char((i * 7919) ^ (i >> 5));
    return b;
}
const std::vector<std::pair<QString, QByteArray>> kMembers = {
    {QStringLiteral("docs/readme.txt"), "docs readme\n"},
    {QStringLiteral("other/readme.txt"), "the other readme\n"},
    {QStringLiteral("blob.bin"), blob()},
};

class CliPropsTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        write(media(QStringLiteral("Docs/NOTES.TXT")), "notes\r\nsecond line\r\n");
        write(media(QStringLiteral("top.bin")), blob().left(5000));
        const QString src = m_dir.filePath(QStringLiteral("zipsrc"));
        QStringList args{QStringLiteral("-q"), QStringLiteral("-r"), media(QStringLiteral("Docs/Pack.zip"))};
        for (const auto &[name, bytes] : kMembers) {
            write(src + QLatin1Char('/') + name, bytes);
            args << name;
        }
        QProcess zip;
        zip.setWorkingDirectory(src);
        zip.start(QStringLiteral("zip"), args);
        ASSERT_TRUE(zip.waitForFinished(60000));
        ASSERT_EQ(zip.exitCode(), 0);
        const CliRun run = cli({QStringLiteral("scan"), QStringLiteral("--name"), QStringLiteral("Media"), catalog(),
                                media()});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    }

    QString media(const QString &rel = {}) const
    {
        return m_dir.filePath(QStringLiteral("media")) + (rel.isEmpty() ? QString() : QLatin1Char('/') + rel);
    }
    QString out(const QString &rel = {}) const
    {
        return m_dir.filePath(QStringLiteral("out")) + (rel.isEmpty() ? QString() : QLatin1Char('/') + rel);
    }
    QString catalog() const { return m_dir.filePath(QStringLiteral("c.ctf")); }

    static void write(const QString &path, const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        ASSERT_TRUE(testcat::WriteFileBytes(path, content)) << path.toStdString();
    }

    // Runs quillon-cli with settings of its own (none stored: the initial ones).
    CliRun cli(const QStringList &args) const
    {
        const CliRun run = testcat::RunProgram(QStringLiteral(QUILLON_CLI_PATH), args, m_dir.filePath(QStringLiteral("config")));
        EXPECT_FALSE(run.crashed) << args.join(QLatin1Char(' ')).toStdString() << ": " << run.err.toStdString();
        return run;
    }

    // Every file below a folder with its bytes, by relative path.
    static std::map<QString, QByteArray> filesBelow(const QString &folder)
    {
        std::map<QString, QByteArray> files;
        for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            files[QDir(folder).relativeFilePath(path)] = testcat::ReadFileBytes(path);
        }
        return files;
    }

    QTemporaryDir m_dir;
};

TEST_F(CliPropsTest, ExtractBringsItemsBackByteExact)
{
    const QString pack = QStringLiteral("Media\\Docs\\Pack.zip");
    struct Case {
        const char *what;
        QStringList items;
        bool dirs;
        std::map<QString, QByteArray> files;
    };
    const std::vector<Case> cases = {
        {"a member beside another of its file name", {pack + QStringLiteral("\\other\\readme.txt")}, false,
         {{QStringLiteral("readme.txt"), kMembers[1].second}}},
        {"members with their folders, and plain files (names in the catalog's case)",
         {pack + QStringLiteral("\\docs\\readme.txt"), pack + QStringLiteral("\\blob.bin"),
          QStringLiteral("Media\\Docs\\Notes.txt"), QStringLiteral("Media\\top.bin")},
         true,
         {{QStringLiteral("docs/readme.txt"), kMembers[0].second},
          {QStringLiteral("blob.bin"), kMembers[2].second},
          {QStringLiteral("NOTES.TXT"), "notes\r\nsecond line\r\n"},
          {QStringLiteral("top.bin"), blob().left(5000)}}},
        {"a whole compressed file", {pack}, true,
         {{QStringLiteral("docs/readme.txt"), kMembers[0].second},
          {QStringLiteral("other/readme.txt"), kMembers[1].second},
          {QStringLiteral("blob.bin"), kMembers[2].second}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(out()).removeRecursively();
        QStringList args{QStringLiteral("extract"), QStringLiteral("--medium"), media(), catalog()};
        args << c.items << out();
        if (c.dirs)
            args << QStringLiteral("--dirs");
        const CliRun run = cli(args);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        EXPECT_EQ(filesBelow(out()), c.files);
        EXPECT_EQ(run.out.count(QLatin1Char('\n')), qsizetype(c.files.size())) << run.out.toStdString();
    }
}

TEST_F(CliPropsTest, ExtractExitStatuses)
{
    const QString member = QStringLiteral("Media\\Docs\\Pack.zip\\blob.bin");
    struct Case {
        const char *what;
        std::function<void(CliPropsTest &)> change;
        QStringList args;   // after "extract"; OUT stands for the destination
        int exitCode;
        QString message;    // a part of stderr
    };
    const QString medium = media();
    const std::vector<Case> cases = {
        {"too few arguments", {}, {catalog(), out()}, 2, QStringLiteral("extract needs")},
        {"no such item", {}, {QStringLiteral("--medium"), medium, catalog(), QStringLiteral("Media\\nothing"), out()}, 1,
         QStringLiteral("Path not found")},
        {"a folder", {}, {QStringLiteral("--medium"), medium, catalog(), QStringLiteral("Media\\Docs"), out()}, 1,
         QStringLiteral("Only files")},
        {"two members of one file name", {},
         {QStringLiteral("--medium"), medium, catalog(), QStringLiteral("Media\\Docs\\Pack.zip\\docs\\readme.txt"),
          QStringLiteral("Media\\Docs\\Pack.zip\\other\\readme.txt"), out()},
         2, QStringLiteral("would both be written as readme.txt; extract them one at a time or with --dirs")},
        {"medium not a folder", {}, {QStringLiteral("--medium"), catalog(), catalog(), member, out()}, 1,
         QStringLiteral("Not a folder")},
        {"file gone from the medium",
         [](CliPropsTest &t) { QFile::remove(t.media(QStringLiteral("Docs/NOTES.TXT"))); },
         {QStringLiteral("--medium"), medium, catalog(), QStringLiteral("Media\\Docs\\Notes.txt"), out()}, 1,
         QStringLiteral("File not found")},
        {"damaged compressed file",
         [](CliPropsTest &t) { write(t.media(QStringLiteral("Docs/Pack.zip")), "PK\x03\x04 not really"); },
         {QStringLiteral("--medium"), medium, catalog(), member, out()}, 1, QStringLiteral("Extract Error")},
        {"medium in no drive", [](CliPropsTest &t) {
             QDir().rename(t.media(), t.m_dir.filePath(QStringLiteral("moved")));
         },
         {catalog(), member, out()}, 1, QStringLiteral("is in no drive")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.change)
            c.change(*this);
        const CliRun run = cli(QStringList{QStringLiteral("extract")} + c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
        EXPECT_TRUE(filesBelow(out()).empty()) << "a failed extraction wrote nothing here";
    }
}

TEST_F(CliPropsTest, PropsOfEveryKind)
{
    auto props = [&](const QString &item) {
        QStringList args{QStringLiteral("props"), QStringLiteral("--json"), catalog()};
        if (!item.isEmpty())
            args << item;
        const CliRun run = cli(args);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return QJsonDocument::fromJson(run.out.toUtf8()).object();
    };
    auto row = [](const QJsonObject &page, const QString &caption) {
        for (const QJsonValue &r : page.value(QStringLiteral("rows")).toArray())
            if (r.toObject().value(QStringLiteral("caption")).toString() == caption)
                return r.toObject().value(QStringLiteral("value")).toString();
        return QStringLiteral("(no row)");
    };
    auto kinds = [](const QJsonObject &o) {
        QStringList list;
        for (const QJsonValue &p : o.value(QStringLiteral("pages")).toArray())
            list << p.toObject().value(QStringLiteral("page")).toString();
        return list;
    };

    const QJsonObject member = props(QStringLiteral("Media\\Docs\\Pack.zip\\blob.bin"));
    EXPECT_EQ(kinds(member), (QStringList{"file", "folder", "disk"}));
    const QJsonObject filePage = member.value(QStringLiteral("pages")).toArray()[0].toObject();
    const QByteArray bytes = kMembers[2].second;
    const uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(bytes.constData()), uInt(bytes.size()));
    EXPECT_EQ(row(filePage, QStringLiteral("File CRC:")), QString::number(crc, 16).toUpper());
    EXPECT_TRUE(row(filePage, QStringLiteral("Compressed Size:")).contains(QStringLiteral("(ratio: ")));
    EXPECT_EQ(row(filePage, QStringLiteral("File Size:")), QStringLiteral("195 kB  (200000 Bytes)"));
    EXPECT_EQ(row(member.value(QStringLiteral("pages")).toArray()[1].toObject(), QStringLiteral("Type:")),
              QStringLiteral("Compressed file (ZIP)"));

    ASSERT_EQ(cli({QStringLiteral("describe"), catalog(), QStringLiteral("Media\\Docs"), QStringLiteral("About docs")})
                  .exitCode,
              0);
    const QJsonObject folder = props(QStringLiteral("Media\\Docs"));
    EXPECT_EQ(kinds(folder), (QStringList{"folder", "disk"}));
    EXPECT_EQ(folder.value(QStringLiteral("pages")).toArray()[0].toObject().value(QStringLiteral("desc")).toString(),
              QStringLiteral("About docs"));

    const QJsonObject disk = props(QStringLiteral("Media"));
    EXPECT_EQ(kinds(disk), QStringList{"disk"});
    const QJsonObject adv = disk.value(QStringLiteral("advanced")).toObject();
    int sum = 0;
    for (const QJsonValue &s : adv.value(QStringLiteral("slices")).toArray())
        sum += s.toObject().value(QStringLiteral("percent")).toInt();
    EXPECT_EQ(sum, 100);
    EXPECT_TRUE(adv.value(QStringLiteral("footer")).toString().startsWith(QStringLiteral("Total capacity: ")));
    EXPECT_EQ(row(disk.value(QStringLiteral("pages")).toArray()[0].toObject(), QStringLiteral("Virtual Root Folder:"))
                  .isEmpty(),
              false);

    const QJsonObject cat = props(QString());
    EXPECT_EQ(kinds(cat), QStringList{"catalog"});
    EXPECT_EQ(row(cat.value(QStringLiteral("pages")).toArray()[0].toObject(), QStringLiteral("Virtual disks:"))
                  .left(1),
              QStringLiteral("1"));

    // Text form: the pages and the chart's slices.
    const CliRun text = cli({QStringLiteral("props"), catalog(), QStringLiteral("Media")});
    EXPECT_TRUE(text.out.contains(QStringLiteral("[Disk info] Media"))) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("[Advanced Disk Info] Media")));
    EXPECT_EQ(cli({QStringLiteral("props"), catalog(), QStringLiteral("Nothing")}).exitCode, 1);
}

} // namespace
