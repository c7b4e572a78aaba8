// Tests of the catalog file type's registration: Exec-line quoting checked by
// reading it back the way the desktop entry rules read it, the desktop entry
// and MIME package checked by the desktop's own tools (desktop-file-validate,
// update-mime-database, update-desktop-database) when they are installed,
// writing only what changed through a rename, and whole registrations into a
// data folder in a temporary folder, with the helper programs recorded
// instead of started or run for real.
#include "platform/FileTypes.h"

#include "GenCatalog.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <optional>

#include <sys/stat.h>

namespace {

// The signatures the program registers: those of the catalogs it writes.
QList<QByteArray> catalogSignatures()
{
    return {kSignatureNarrow, kSignatureWide};
}

QByteArray readAll(const QString &fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString &fileName, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QFile f(fileName);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

ino_t inodeOf(const QString &fileName)
{
    struct stat st {};
    return ::stat(QFile::encodeName(fileName).constData(), &st) == 0 ? st.st_ino : 0;
}

// Reads an Exec argument back as a launcher does: first the string escapes
// of the value, then the quoting rules, then the field code "%%". Nothing
// when the text breaks the rules.
std::optional<QString> readExecArgument(const QString &value)
{
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\')) {
            unescaped += value[i];
            continue;
        }
        if (++i >= value.size())
            return std::nullopt;
        const QChar e = value[i];
        if (e == QLatin1Char('\\'))
            unescaped += QLatin1Char('\\');
        else if (e == QLatin1Char('s'))
            unescaped += QLatin1Char(' ');
        else
            return std::nullopt;
    }
    QString arg;
    if (unescaped.startsWith(QLatin1Char('"'))) {
        if (unescaped.size() < 2 || !unescaped.endsWith(QLatin1Char('"')))
            return std::nullopt;
        const QString inner = unescaped.mid(1, unescaped.size() - 2);
        for (qsizetype i = 0; i < inner.size(); ++i) {
            QChar c = inner[i];
            if (c == QLatin1Char('\\')) {
                if (++i >= inner.size())
                    return std::nullopt;
                c = inner[i];
                if (c != QLatin1Char('"') && c != QLatin1Char('`') && c != QLatin1Char('$') && c != QLatin1Char('\\'))
                    return std::nullopt;
            } else if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$')) {
                return std::nullopt;   // must have been escaped
            }
            arg += c;
        }
    } else {
        for (const QChar c : unescaped)
            if (QStringLiteral(" \t\"'\\><~|&;$*?#()`").contains(c))
                return std::nullopt;   // must have been quoted
        arg = unescaped;
    }
    QString out;
    for (qsizetype i = 0; i < arg.size(); ++i) {
        if (arg[i] == QLatin1Char('%')) {
            if (i + 1 >= arg.size() || arg[i + 1] != QLatin1Char('%'))
                return std::nullopt;   // a field code where a literal was meant
            ++i;
        }
        out += arg[i];
    }
    return out;
}

QString execLine(const QByteArray &entry)
{
    for (const QByteArray &line : entry.split('\n'))
        if (line.startsWith("Exec="))
            return QString::fromUtf8(line.mid(5));
    return {};
}

// Runs a tool and waits for it; the exit code, or -1 when it did not run.
int runTool(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForFinished(120000))
        return -1;
    if (output)
        *output = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const std::optional<QByteArray> &value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

const QStringList kHostilePaths = {
    QStringLiteral("/usr/bin/quillon"),
    QStringLiteral("/opt/My Programs/quillon"),
    QStringLiteral("/home/a\"b/quillon"),
    QStringLiteral("/home/$HOME/`id`/quillon"),
    QStringLiteral("/home/back\\slash/quillon"),
    QStringLiteral("/home/100%/%F/quillon"),
    QStringLiteral("/home/it's (new) & <odd>;|*?#~/quillon"),
    QString::fromUtf8("/home/\xC3\xA9t\xC3\xA9 \xE2\x82\xAC/quillon"),
    QStringLiteral("/x\\s\\\\\\\"y/quillon"),
};

} // namespace

// ---- Exec quoting -------------------------------------------------------------------------

TEST(DesktopExec, PlainPathsStayAsTheyAre)
{
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/usr/bin/quillon")), QStringLiteral("/usr/bin/quillon"));
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/a-b_c.d/e=f+g,h@i")), QStringLiteral("/a-b_c.d/e=f+g,h@i"));
}

TEST(DesktopExec, ReservedCharactersAreQuotedAndEscaped)
{
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/opt/My Programs/q")), QStringLiteral("\"/opt/My Programs/q\""));
    // Inside quotes: \" \` \$ and \\, then the string level doubles each backslash.
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/a\"b")), QStringLiteral("\"/a\\\\\"b\""));
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/a$b")), QStringLiteral("\"/a\\\\$b\""));
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/a\\b")), QStringLiteral("\"/a\\\\\\\\b\""));
    // A percent sign is a field code unless doubled, quoted or not.
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/100%/q")), QStringLiteral("/100%%/q"));
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/1 %F")), QStringLiteral("\"/1 %%F\""));
}

TEST(DesktopExec, EveryPathReadsBackUnchanged)
{
    for (const QString &path : kHostilePaths) {
        const QString quoted = DesktopExecArgument(path);
        ASSERT_FALSE(quoted.isEmpty()) << path.toStdString();
        const std::optional<QString> back = readExecArgument(quoted);
        ASSERT_TRUE(back.has_value()) << quoted.toStdString();
        EXPECT_EQ(*back, path) << quoted.toStdString();
    }
}

TEST(DesktopExec, UnwritableTextsAreRefused)
{
    EXPECT_TRUE(DesktopExecArgument(QString()).isEmpty());
    EXPECT_TRUE(DesktopExecArgument(QStringLiteral("/a\nb")).isEmpty());
    EXPECT_TRUE(DesktopExecArgument(QStringLiteral("/a\rb")).isEmpty());
    EXPECT_TRUE(DesktopExecArgument(QStringLiteral("/a") + QChar(0) + QStringLiteral("b")).isEmpty());
    EXPECT_TRUE(CatalogDesktopEntry(QStringLiteral("/a\nExec=/bin/evil")).isEmpty());
}

// ---- the desktop entry and the MIME package ---------------------------------------------------

TEST(CatalogDesktopEntry, NamesTheProgramTheTypeAndTheFiles)
{
    const QByteArray entry = CatalogDesktopEntry(QStringLiteral("/opt/My Programs/quillon"));
    const QList<QByteArray> lines = entry.split('\n');
    EXPECT_EQ(lines.value(0), QByteArray("[Desktop Entry]"));
    EXPECT_TRUE(lines.contains("Type=Application"));
    EXPECT_TRUE(lines.contains("Name=Quillon"));
    EXPECT_TRUE(lines.contains("Icon=quillon"));
    EXPECT_TRUE(lines.contains("MimeType=application/x-quillon-catalog;"));
    EXPECT_EQ(execLine(entry), QStringLiteral("\"/opt/My Programs/quillon\" %F"));
    EXPECT_EQ(entry.count("Exec="), 1);
}

TEST(CatalogDesktopEntry, PassesTheDesktopValidator)
{
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    int n = 0;
    for (const QString &path : kHostilePaths) {
        const QString file = dir.filePath(QStringLiteral("quillon%1.desktop").arg(++n));
        writeBytes(file, CatalogDesktopEntry(path));
        QByteArray output;
        EXPECT_EQ(runTool(validator, {file}, &output), 0) << path.toStdString() << "\n" << output.toStdString();
        EXPECT_FALSE(output.contains("error")) << output.toStdString();
    }
}

TEST(CatalogMimePackage, IsReadByUpdateMimeDatabase)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    if (tool.isEmpty())
        GTEST_SKIP() << "update-mime-database is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString mime = dir.filePath(QStringLiteral("mime"));
    writeBytes(mime + QStringLiteral("/packages/quillon-catalog.xml"), CatalogMimePackage(catalogSignatures()));
    ASSERT_EQ(runTool(tool, {mime}), 0);

    const QByteArray type = readAll(mime + QStringLiteral("/application/x-quillon-catalog.xml"));
    EXPECT_TRUE(type.contains("<comment>Quillon Catalog File</comment>")) << type.toStdString();
    EXPECT_TRUE(readAll(mime + QStringLiteral("/globs2")).contains("application/x-quillon-catalog:*.ctf"));
    // The magic holds both signatures with their terminating zero: 13 bytes each.
    const QByteArray magic = readAll(mime + QStringLiteral("/magic"));
    EXPECT_TRUE(magic.contains(QByteArray("[50:application/x-quillon-catalog]")));
    EXPECT_TRUE(magic.contains(QByteArray(">0=\0\x0d" "Catalog 1.00\0", 17)));
    EXPECT_TRUE(magic.contains(QByteArray(">0=\0\x0d" "Catalog 2.00\0", 17)));

    // A catalog the program writes begins with one of them.
    TForest forest;
    GenOptions shape;
    shape.disks = 1;
    shape.depth = 1;
    TTreeNode *catalog = GenerateCatalog(forest, "Typed", shape);
    const QString ctf = dir.filePath(QStringLiteral("typed.ctf"));
    SaveCatalogTo(catalog, ctf);
    const QByteArray head = readAll(ctf).left(13);
    EXPECT_TRUE(head == QByteArray("Catalog 1.00\0", 13) || head == QByteArray("Catalog 2.00\0", 13));
}

TEST(CatalogMimePackage, WithoutSignaturesOnlyTheName)
{
    const QByteArray package = CatalogMimePackage({});
    EXPECT_FALSE(package.contains("<magic"));
    EXPECT_TRUE(package.contains("<glob pattern=\"*.ctf\"/>"));
    const QByteArray one = CatalogMimePackage({QByteArray("Catalog 9.99")});
    EXPECT_TRUE(one.contains("<match type=\"string\" offset=\"0\" value=\"Catalog 9.99\\0\"/>"));
    EXPECT_FALSE(one.contains("Catalog 1.00"));
}

// ---- writing only what changed -------------------------------------------------------------

TEST(WriteFileIfChanged, CreatesFoldersReplacesThroughARenameAndSkipsEqualContent)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("a/b/c.txt"));
    EXPECT_EQ(WriteFileIfChanged(file, "one\n"), TWriteResult::Written);
    EXPECT_EQ(readAll(file), QByteArray("one\n"));

    const ino_t first = inodeOf(file);
    ASSERT_NE(first, ino_t(0));
    EXPECT_EQ(WriteFileIfChanged(file, "one\n"), TWriteResult::Unchanged);
    EXPECT_EQ(inodeOf(file), first);   // not touched at all

    // Same size, other bytes; then another size: a new file takes the place.
    EXPECT_EQ(WriteFileIfChanged(file, "two\n"), TWriteResult::Written);
    EXPECT_EQ(readAll(file), QByteArray("two\n"));
    EXPECT_NE(inodeOf(file), first);
    EXPECT_EQ(WriteFileIfChanged(file, "three\n"), TWriteResult::Written);
    EXPECT_EQ(readAll(file), QByteArray("three\n"));
    // Nothing but the file is left in its folder.
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("a/b"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("c.txt")});
}

TEST(WriteFileIfChanged, FailuresLeaveWhatWasThere)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A folder where the file should be.
    const QString folder = dir.filePath(QStringLiteral("taken"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/inside")));
    EXPECT_EQ(WriteFileIfChanged(folder, "x"), TWriteResult::Failed);
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/inside")).isDir());
    // A file where a folder should be.
    const QString plain = dir.filePath(QStringLiteral("plain"));
    writeBytes(plain, "keep");
    EXPECT_EQ(WriteFileIfChanged(plain + QStringLiteral("/sub/file"), "x"), TWriteResult::Failed);
    EXPECT_EQ(readAll(plain), QByteArray("keep"));
}

// ---- whole registrations ---------------------------------------------------------------------

namespace {

// A registration into a temporary data folder whose helper programs are
// recorded; tools named in missing are not found, refused ones do not start.
struct FakeDesktop {
    QTemporaryDir dir;
    QStringList started;
    QStringList missing;
    QStringList refused;

    TFileTypeRegistration registration(const QString &program = QStringLiteral("/usr/bin/quillon"))
    {
        TFileTypeRegistration r;
        r.Signatures = catalogSignatures();
        r.ProgramPath = program;
        r.IconSvg = "<svg xmlns=\"http://www.w3.org/2000/svg\"/>";
        r.DataHome = dir.path();
        r.FindProgram = [this](const QString &name) {
            return missing.contains(name) ? QString() : QStringLiteral("/fake/bin/") + name;
        };
        r.StartProgram = [this](const QString &program, const QStringList &arguments) {
            if (refused.contains(QFileInfo(program).fileName()))
                return false;
            started << program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
            return true;
        };
        return r;
    }
    QString path(const char *relative) const { return dir.filePath(QLatin1String(relative)); }
    // What the tools would have built.
    void buildCaches()
    {
        writeBytes(path("mime/application/x-quillon-catalog.xml"), "built");
        writeBytes(path("applications/mimeinfo.cache"), "built");
    }
};

} // namespace

TEST(RegisterCatalogFileType, FirstStartWritesEverythingAndRebuildsBothCaches)
{
    FakeDesktop desk;
    ASSERT_TRUE(desk.dir.isValid());
    const TFileTypeResult r = RegisterCatalogFileType(desk.registration());
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.Written.size(), 4);
    EXPECT_EQ(readAll(desk.path("applications/quillon.desktop")), CatalogDesktopEntry(QStringLiteral("/usr/bin/quillon")));
    EXPECT_EQ(readAll(desk.path("mime/packages/quillon-catalog.xml")), CatalogMimePackage(catalogSignatures()));
    EXPECT_TRUE(QFileInfo::exists(desk.path("icons/hicolor/scalable/apps/quillon.svg")));
    EXPECT_TRUE(QFileInfo::exists(desk.path("icons/hicolor/scalable/mimetypes/application-x-quillon-catalog.svg")));
    EXPECT_EQ(desk.started, (QStringList{QStringLiteral("/fake/bin/update-mime-database ") + desk.path("mime"),
                                         QStringLiteral("/fake/bin/update-desktop-database ") + desk.path("applications")}));
    EXPECT_EQ(r.Started.size(), 2);
}

TEST(RegisterCatalogFileType, LaterStartsWriteAndRunOnlyWhatChanged)
{
    FakeDesktop desk;
    ASSERT_TRUE(desk.dir.isValid());
    RegisterCatalogFileType(desk.registration());
    desk.started.clear();

    // Same program, caches built: nothing is written, nothing runs.
    desk.buildCaches();
    TFileTypeResult r = RegisterCatalogFileType(desk.registration());
    EXPECT_TRUE(r.Written.isEmpty());
    EXPECT_EQ(r.Unchanged.size(), 4);
    EXPECT_TRUE(desk.started.isEmpty());

    // The program moved: only the desktop entry and its cache.
    r = RegisterCatalogFileType(desk.registration(QStringLiteral("/opt/quillon/bin/quillon")));
    EXPECT_EQ(r.Written, QStringList{desk.path("applications/quillon.desktop")});
    EXPECT_EQ(desk.started, QStringList{QStringLiteral("/fake/bin/update-desktop-database ") + desk.path("applications")});

    // A cache that went missing is built again though nothing changed.
    desk.started.clear();
    QFile::remove(desk.path("mime/application/x-quillon-catalog.xml"));
    r = RegisterCatalogFileType(desk.registration(QStringLiteral("/opt/quillon/bin/quillon")));
    EXPECT_TRUE(r.Written.isEmpty());
    EXPECT_EQ(desk.started, QStringList{QStringLiteral("/fake/bin/update-mime-database ") + desk.path("mime")});
}

TEST(RegisterCatalogFileType, MissingOrFailingToolsAndUnwritableFilesAreNotFatal)
{
    FakeDesktop desk;
    ASSERT_TRUE(desk.dir.isValid());
    desk.missing = {QStringLiteral("update-desktop-database")};
    desk.refused = {QStringLiteral("update-mime-database")};
    TFileTypeResult r = RegisterCatalogFileType(desk.registration());
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(desk.started.isEmpty());
    EXPECT_TRUE(r.Started.isEmpty());

    // A program path that cannot stand in an Exec line: no entry, the type still.
    FakeDesktop odd;
    ASSERT_TRUE(odd.dir.isValid());
    r = RegisterCatalogFileType(odd.registration(QStringLiteral("/a\nb/quillon")));
    EXPECT_EQ(r.Failed, QStringList{odd.path("applications/quillon.desktop")});
    EXPECT_FALSE(QFileInfo::exists(odd.path("applications/quillon.desktop")));
    EXPECT_TRUE(QFileInfo::exists(odd.path("mime/packages/quillon-catalog.xml")));
    EXPECT_EQ(odd.started, QStringList{QStringLiteral("/fake/bin/update-mime-database ") + odd.path("mime")});

    // A data folder that cannot hold anything: every file fails, nothing runs.
    FakeDesktop blocked;
    ASSERT_TRUE(blocked.dir.isValid());
    writeBytes(blocked.path("applications"), "a file, not a folder");
    writeBytes(blocked.path("mime"), "a file, not a folder");
    writeBytes(blocked.path("icons"), "a file, not a folder");
    r = RegisterCatalogFileType(blocked.registration());
    EXPECT_EQ(r.Failed.size(), 4);
    EXPECT_TRUE(r.Written.isEmpty());
    EXPECT_TRUE(blocked.started.isEmpty());
    EXPECT_EQ(readAll(blocked.path("mime")), QByteArray("a file, not a folder"));

    // Without an icon no icon files are written.
    FakeDesktop plain;
    ASSERT_TRUE(plain.dir.isValid());
    TFileTypeRegistration noIcon = plain.registration();
    noIcon.IconSvg.clear();
    r = RegisterCatalogFileType(noIcon);
    EXPECT_EQ(r.Written.size(), 2);
    EXPECT_FALSE(QFileInfo::exists(plain.path("icons")));
}

TEST(RegisterCatalogFileType, DataFolderFollowsXdgDataHome)
{
    QTemporaryDir home, data;
    ASSERT_TRUE(home.isValid() && data.isValid());
    const ScopedEnv homeVar("HOME", home.path().toLocal8Bit());
    {
        const ScopedEnv dataVar("XDG_DATA_HOME", data.path().toLocal8Bit());
        EXPECT_EQ(XdgDataHome(), QDir::cleanPath(data.path()));
    }
    {
        // A relative value is not a data folder and is ignored.
        const ScopedEnv dataVar("XDG_DATA_HOME", QByteArray("relative/share"));
        EXPECT_EQ(XdgDataHome(), QDir::cleanPath(home.path() + QStringLiteral("/.local/share")));
    }
    {
        const ScopedEnv dataVar("XDG_DATA_HOME", std::nullopt);
        EXPECT_EQ(XdgDataHome(), QDir::cleanPath(home.path() + QStringLiteral("/.local/share")));
    }
    // With no data folder given the registration goes to $XDG_DATA_HOME.
    const ScopedEnv dataVar("XDG_DATA_HOME", data.path().toLocal8Bit());
    TFileTypeRegistration r;
    r.Signatures = catalogSignatures();
    r.ProgramPath = QStringLiteral("/usr/bin/quillon");
    r.FindProgram = [](const QString &) { return QString(); };
    EXPECT_TRUE(RegisterCatalogFileType(r).ok());
    EXPECT_TRUE(QFileInfo::exists(data.filePath(QStringLiteral("applications/quillon.desktop"))));
    EXPECT_FALSE(QFileInfo::exists(home.filePath(QStringLiteral(".local"))));
}

TEST(RegisterCatalogFileType, TheDesktopToolsAcceptTheRegistration)
{
    const QString mimeTool = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    const QString desktopTool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (mimeTool.isEmpty() || desktopTool.isEmpty())
        GTEST_SKIP() << "update-mime-database or update-desktop-database is not installed";
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    TFileTypeRegistration r;
    r.Signatures = catalogSignatures();
    r.ProgramPath = QStringLiteral("/opt/My Programs/quillon");
    r.DataHome = data.path();
    // The real tools, waited for, so their results can be read.
    QStringList failures;
    r.StartProgram = [&](const QString &program, const QStringList &arguments) {
        QByteArray output;
        if (runTool(program, arguments, &output) != 0)
            failures << program + QStringLiteral(": ") + QString::fromLocal8Bit(output);
        return true;
    };
    const TFileTypeResult result = RegisterCatalogFileType(r);
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(result.Started.size(), 2);
    EXPECT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(QFileInfo::exists(data.filePath(QStringLiteral("mime/application/x-quillon-catalog.xml"))));
    const QByteArray cache = readAll(data.filePath(QStringLiteral("applications/mimeinfo.cache")));
    EXPECT_TRUE(cache.contains("application/x-quillon-catalog=quillon.desktop;")) << cache.toStdString();
    // Built once, a second start leaves them alone.
    EXPECT_TRUE(RegisterCatalogFileType(r).Started.isEmpty());
}
