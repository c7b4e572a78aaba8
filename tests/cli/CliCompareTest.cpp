// quillon-cli compare and check, run as separate processes: a tree built in
// a temporary folder is scanned with quillon-cli scan, changed, and compared
// with the folder named on the command line; the lists of the JSON Lines
// output, their fields and the exit statuses are checked.
#include "ProgramRun.h"
#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <functional>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int64_t kTime1 = 981173106;   // 2001-02-03 04:05:06 UTC
constexpr int64_t kTime2 = kTime1 + 86400;

using CliRun = testcat::ProgramRun;

using Items = std::set<std::string>;

class CliCompareTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir().mkpath(media());
        QDir().mkpath(source());
    }

    QString media(const QString &rel = {}) const
    {
        return m_dir.filePath(QStringLiteral("media")) + (rel.isEmpty() ? QString() : QLatin1Char('/') + rel);
    }
    QString source(const QString &rel = {}) const
    {
        return m_dir.filePath(QStringLiteral("source")) + (rel.isEmpty() ? QString() : QLatin1Char('/') + rel);
    }
    QString catalog() const { return m_dir.filePath(QStringLiteral("c.ctf")); }

    static void write(const QString &path, const QByteArray &content, int64_t mtime = kTime1)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        ASSERT_TRUE(testcat::WriteFileBytes(path, content)) << path.toStdString();
        const struct timespec times[2] = {{time_t(mtime), 0}, {time_t(mtime), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }

    // Runs quillon-cli with settings of its own (none stored: the initial ones).
    CliRun cli(const QStringList &args) const
    {
        const CliRun run = testcat::RunProgram(QStringLiteral(QUILLON_CLI_PATH), args, m_dir.filePath(QStringLiteral("config")));
        EXPECT_FALSE(run.crashed) << args.join(QLatin1Char(' ')).toStdString() << ": " << run.err.toStdString();
        return run;
    }

    // Scans the media folder into a new catalog; the disk's name.
    QString scan()
    {
        QFile::remove(catalog());
        const CliRun run = cli({QStringLiteral("scan"), QStringLiteral("--name"), QStringLiteral("Media"), catalog(),
                                media()});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return QStringLiteral("Media");
    }

    // The JSON Lines as "list:path\name" (the catalog too, when given), with
    // every object's fields checked against the ls --json form.
    static Items items(const QString &out, bool withCatalog = false)
    {
        Items result;
        for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            EXPECT_FALSE(o.isEmpty()) << line.toStdString();
            for (const char *key : {"kind", "disk", "path", "name", "size", "attr", "modified", "desc", "list"})
                EXPECT_TRUE(o.contains(QLatin1String(key))) << key << " in " << line.toStdString();
            const QString list = o.value(QStringLiteral("list")).toString();
            if (list == QLatin1String("new")) {
                EXPECT_TRUE(o.value(QStringLiteral("media_path")).toString().endsWith(o.value(QStringLiteral("name")).toString()));
            }
            QString path = o.value(QStringLiteral("path")).toString();
            if (!path.endsWith(QLatin1Char('\\')))
                path += QLatin1Char('\\');
            QString item = list + QLatin1Char(':');
            if (withCatalog && list != QLatin1String("new"))
                item += o.value(QStringLiteral("catalog")).toString() + QLatin1Char('/') +
                        o.value(QStringLiteral("disk")).toString() + QLatin1Char('/');
            item += (list == QLatin1String("new") && o.value(QStringLiteral("path")).isNull()
                         ? QString()
                         : path) +
                    o.value(QStringLiteral("name")).toString();
            result.insert(item.toStdString());
        }
        return result;
    }

    QTemporaryDir m_dir;
};

TEST_F(CliCompareTest, CompareListsEveryChangeWithItsExitStatus)
{
    struct Case {
        const char *what;
        std::function<void(CliCompareTest &)> change;
        Items expected;
        int exitCode;
    };
    const Items base = {"same:\\a.txt", "same:\\docs\\b.txt", "same:\\docs\\c.txt"};
    const std::vector<Case> cases = {
        {"nothing", [](CliCompareTest &) {}, base, 0},
        {"grown", [](CliCompareTest &t) { write(t.media(QStringLiteral("a.txt")), "aaaaaa"); },
         {"changed:\\a.txt", "same:\\docs\\b.txt", "same:\\docs\\c.txt"}, 1},
        {"re-dated", [](CliCompareTest &t) { write(t.media(QStringLiteral("docs/b.txt")), "bb", kTime2); },
         {"same:\\a.txt", "changed:\\docs\\b.txt", "same:\\docs\\c.txt"}, 1},
        {"moved", [](CliCompareTest &t) {
             QDir().rename(t.media(QStringLiteral("docs/c.txt")), t.media(QStringLiteral("c.txt")));
         },
         {"same:\\a.txt", "same:\\docs\\b.txt", "deleted:\\docs\\c.txt", "new:\\c.txt"}, 1},
        {"added and deleted", [](CliCompareTest &t) {
             QFile::remove(t.media(QStringLiteral("a.txt")));
             write(t.media(QStringLiteral("docs/new.txt")), "n");
         },
         {"deleted:\\a.txt", "same:\\docs\\b.txt", "same:\\docs\\c.txt", "new:\\docs\\new.txt"}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(media()).removeRecursively();
        write(media(QStringLiteral("a.txt")), "a");
        write(media(QStringLiteral("docs/b.txt")), "bb");
        write(media(QStringLiteral("docs/c.txt")), "ccc");
        const QString disk = scan();
        c.change(*this);
        const CliRun run = cli({QStringLiteral("compare"), QStringLiteral("--json"), catalog(), disk, media()});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_EQ(items(run.out), c.expected);
    }
}

TEST_F(CliCompareTest, CompareOfAFolderAndItsErrors)
{
    write(media(QStringLiteral("a.txt")), "a");
    write(media(QStringLiteral("docs/b.txt")), "bb");
    const QString disk = scan();
    write(media(QStringLiteral("docs/new.txt")), "n");
    CliRun run = cli({QStringLiteral("compare"), QStringLiteral("--json"), catalog(), disk + QStringLiteral("\\docs"),
                      media(QStringLiteral("docs"))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(items(run.out), Items({"same:\\docs\\b.txt", "new:\\docs\\new.txt"}));

    // Text lines name the list and where the file is.
    run = cli({QStringLiteral("compare"), catalog(), disk, media()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.contains(QStringLiteral("same     Media\\a.txt"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("new      ") + media(QStringLiteral("docs/new.txt"))));

    const std::vector<std::pair<QStringList, int>> errors = {
        {{QStringLiteral("compare"), catalog(), QStringLiteral("No such disk"), media()}, 2},
        {{QStringLiteral("compare"), catalog(), disk, media(QStringLiteral("missing"))}, 2},
        {{QStringLiteral("compare"), m_dir.filePath(QStringLiteral("none.ctf")), disk, media()}, 2},
        {{QStringLiteral("compare"), catalog()}, 2},
    };
    for (const auto &[args, code] : errors) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        run = cli(args);
        EXPECT_EQ(run.exitCode, code);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_FALSE(run.err.isEmpty());
    }
}

TEST_F(CliCompareTest, CheckGivesNewFoundAndChangedWithWhereTheCopyIs)
{
    write(media(QStringLiteral("a.txt")), "a");
    write(media(QStringLiteral("docs/b.txt")), "bb");
    write(media(QStringLiteral("docs/A.TXT")), "other");
    const QString disk = scan();
    write(source(QStringLiteral("a.txt")), "a");
    write(source(QStringLiteral("sub/b.txt")), "bb", kTime2);
    write(source(QStringLiteral("fresh.txt")), "f");
    const QString cat = QFileInfo(catalog()).completeBaseName();
    const QString where = cat + QStringLiteral("/Media/");

    struct Case {
        QStringList options;
        Items expected;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {{}, {"found:" + where.toStdString() + "\\a.txt", "changed:" + where.toStdString() + "\\docs\\A.txt",
              "new:fresh.txt"}, 1},
        {{QStringLiteral("--subfolders")},
         {"found:" + where.toStdString() + "\\a.txt", "changed:" + where.toStdString() + "\\docs\\A.txt",
          "changed:" + where.toStdString() + "\\docs\\b.txt", "new:fresh.txt"}, 1},
        {{QStringLiteral("--subfolders"), QStringLiteral("--same"), QStringLiteral("size")},
         {"found:" + where.toStdString() + "\\a.txt", "changed:" + where.toStdString() + "\\docs\\A.txt",
          "found:" + where.toStdString() + "\\docs\\b.txt", "new:fresh.txt"}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options.join(QLatin1Char(' ')).toStdString());
        const CliRun run = cli(QStringList{QStringLiteral("check"), QStringLiteral("--json")} + c.options +
                               QStringList{catalog(), source()});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_EQ(items(run.out, true), c.expected);
    }

    // Everything found the same (b.txt has one catalogued copy): status 0.
    QDir(source()).removeRecursively();
    write(source(QStringLiteral("b.txt")), "bb");
    CliRun run = cli({QStringLiteral("check"), QStringLiteral("--json"), catalog(), source()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();

    const std::vector<QStringList> errors = {
        {QStringLiteral("check"), catalog(), source(QStringLiteral("missing"))},
        {QStringLiteral("check"), QStringLiteral("--disk"), QStringLiteral("Nope"), catalog(), source()},
        {QStringLiteral("check"), QStringLiteral("--same"), QStringLiteral("colour"), catalog(), source()},
        {QStringLiteral("check"), source()},
    };
    for (const QStringList &args : errors) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        run = cli(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_FALSE(run.err.isEmpty());
    }
}

} // namespace
