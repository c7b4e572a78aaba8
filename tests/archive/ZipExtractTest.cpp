// Extracting ZIP archives: every ZIP of the corpus against the reference
// checksums (implode, shrink, reduce, deflate, stored, traditional
// encryption), refusals with the error codes and the driver's messages,
// hostile member names that must stay inside the destination, the
// existing-file decision, passwords, cancel and damaged members that must
// leave no half-written file.
#include "archive/Extract.h"
#include "archive/UnZIP.h"
#include "archive/decoders/Crc32.h"

#include "ArcFixtures.h"
#include "Corpus.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <map>
#include <random>
#include <set>
#include <vector>

namespace {

using arcfix::readAll;
using arcfix::ZipMember;
using arcfix::zipOf;

// Writes a test archive; the test stops when that fails.
void writeAll(const QString &path, const QByteArray &data)
{
    ASSERT_TRUE(arcfix::writeAll(path, data)) << qPrintable(path);
}

QString corpusDir()
{
    return testcorpus::ArchiveDir("zip");
}

// Every regular file below dir, relative, with its contents.
std::map<QString, QByteArray> filesBelow(const QString &dir)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(dir).relativeFilePath(path)] = readAll(path);
    }
    return files;
}

QString sha256(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

struct Consensus {
    QString path;
    QString sha;
    qint64 size = 0;
};

struct Manifest {
    QString password;
    std::vector<Consensus> files;
};

Manifest readManifest(const QString &archive)
{
    Manifest m;
    QFile f(archive + QStringLiteral(".manifest.jsonl"));
    if (!f.open(QIODevice::ReadOnly))
        return m;
    while (!f.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(f.readLine()).object();
        const QString kind = o.value(QStringLiteral("kind")).toString();
        if (kind == QLatin1String("archive"))
            m.password = o.value(QStringLiteral("password")).toString();
        if (kind == QLatin1String("consensus") && o.contains(QStringLiteral("sha256")) &&
            o.value(QStringLiteral("type")).toString() != QLatin1String("dir"))
            m.files.push_back({o.value(QStringLiteral("path")).toString(), o.value(QStringLiteral("sha256")).toString(),
                               qint64(o.value(QStringLiteral("size")).toDouble())});
    }
    return m;
}

struct ExtractRun {
    bool ok = false;
    int lastError = 0;
    std::vector<int> events;
    std::vector<std::pair<QString, bool>> ends;
};

void attach(TUnZIP &unzip, ExtractRun &run)
{
    unzip.OnError = [&run](TZipCommon *, const QString &, const QString &, int code) { run.events.push_back(code); };
    unzip.OnEnd = [&run](TUnBase *, const QString &fn, bool pass) { run.ends.push_back({fn, pass}); };
}

ExtractRun extractFile(const QString &archive, const QString &dest, bool dirs, const QStringList &passwords = {})
{
    TUnZIP unzip;
    ExtractRun run;
    attach(unzip, run);
    unzip.setArchiveFile(archive);
    unzip.ExtractDir = dest;
    unzip.UseStoredDirs = dirs;
    unzip.Passwords = passwords;
    run.ok = unzip.Extract();
    run.lastError = unzip.lastError();
    return run;
}

bool hasEvent(const ExtractRun &run, int code)
{
    return std::find(run.events.begin(), run.events.end(), code) != run.events.end();
}

// ---- hand-made archives -------------------------------------------------------------

// A member as these tests make it: version 2.0, dated 1994-06-15 12:34:56; packed holds the
// bytes of a method other than 0.
ZipMember member(QByteArray name, QByteArray data, uint16_t method = 0, QByteArray packed = {})
{
    return {.name = std::move(name),
            .data = std::move(data),
            .method = method,
            .packed = std::move(packed),
            .dos = 0x1CCF645C,
            .versionNeeded = 20};
}

class ScriptedPrompter : public Prompter
{
public:
    MsgAnswer ask(const QString &caption, const QString &text, MsgIcon, MsgButtons) override
    {
        shown.push_back({caption, text});
        return answer;
    }
    std::vector<std::pair<QString, QString>> shown;
    MsgAnswer answer = MsgAnswer::Ok;
};

class NullSink : public ProgressSink
{
public:
    void ShowWait(const QString &text, bool, bool) override { texts << text; }
    void AdvanceWait(int64_t amount) override
    {
        advanced += amount;
        if (cancelOnAdvance)
            cancel(); // as if Cancel were pressed while the bar moves
    }
    void SetWaitMax(int64_t) override {}
    void HideWait() override {}
    void CloseWait() override { closed = true; }
    QStringList texts;
    int64_t advanced = 0;
    bool closed = false;
    bool cancelOnAdvance = false;
};

// Archives the kit refuses on purpose, with the code that refuses them.
// The code each refused archive reports, and the one that ends its extraction.
const std::map<QString, std::pair<int, int>> kRefused = {
    // AES (method 99): each member refused with the password message, so nothing is left to do
    {QStringLiteral("sc_Zip.none.encrypted.zip"), {25190, ArcErrNothingToDo}},
    {QStringLiteral("damaged_truncated_izip_deflate_tree.zip"), {ArcErrUnknownType, ArcErrUnknownType}}, // no end record
    {QStringLiteral("la_zip_extra_padding.zip"), {ArcErrUnknownType, ArcErrUnknownType}}, // end record signature damaged
};

} // namespace

// ---- the corpus ---------------------------------------------------------------------

TEST(ZipExtract, CorpusByteExact)
{
    QUILLON_NEED_CORPUS();
    QDir corpus(corpusDir());
    const QStringList archives = corpus.entryList({QStringLiteral("*.zip"), QStringLiteral("*.ZIP"),
                                                   QStringLiteral("*.sfx")}, QDir::Files, QDir::Name);
    ASSERT_GE(archives.size(), 30) << corpusDir().toStdString();
    int compared = 0;
    for (const QString &name : archives) {
        if (kRefused.count(name))
            continue;
        SCOPED_TRACE(name.toStdString());
        const QString path = corpus.filePath(name);
        const Manifest manifest = readManifest(path);
        QTemporaryDir dest;
        const ExtractRun run = extractFile(path, dest.path(), true,
                                    manifest.password.isEmpty() ? QStringList() : QStringList{manifest.password});
        const auto files = filesBelow(dest.path());
        if (manifest.files.empty()) {
            EXPECT_FALSE(run.ok);
            EXPECT_EQ(run.lastError, ArcErrNothingToDo);
            EXPECT_TRUE(files.empty());
            continue;
        }
        EXPECT_TRUE(run.ok) << run.lastError;
        for (const auto &[end, pass] : run.ends)
            EXPECT_TRUE(pass) << end.toStdString();
        // Where a reference name is ours, the bytes must be the reference's.
        std::set<std::pair<QString, qint64>> ours;
        for (const auto &[rel, data] : files)
            ours.insert({sha256(data), data.size()});
        for (const Consensus &c : manifest.files) {
            const auto it = files.find(c.path);
            if (it != files.end()) {
                EXPECT_EQ(sha256(it->second), c.sha) << c.path.toStdString();
                ++compared;
            }
            // Names differ between tools for non-ASCII names; the contents never do.
            EXPECT_TRUE(ours.count({c.sha, c.size})) << "content of " << c.path.toStdString() << " missing";
        }
    }
    EXPECT_GT(compared, 60);
}

TEST(ZipExtract, MethodsOfTheCorpus)
{
    QUILLON_NEED_CORPUS();
    // One archive per decoder, compared by name.
    const std::vector<std::pair<QString, QString>> cases = {
        {QStringLiteral("cc_SHRUNK.ZIP"), QStringLiteral("TEST1.XML")},
        {QStringLiteral("sc_Zip.reduce1.zip"), QString()},
        {QStringLiteral("sc_Zip.reduce4.zip"), QString()},
        {QStringLiteral("cc_imploding-4Kdict-2trees.zip"), QString()},
        {QStringLiteral("cc_imploding-8Kdict-3trees.zip"), QString()},
        {QStringLiteral("izip_deflate_tree.zip"), QStringLiteral("GPL2.TXT")},
        {QStringLiteral("izip_stored_tree.zip"), QString()},
        {QStringLiteral("izip_encrypted_pw_corpus123.zip"), QStringLiteral("GPL2.TXT")},
    };
    for (const auto &[name, member] : cases) {
        SCOPED_TRACE(name.toStdString());
        const QString path = corpusDir() + QLatin1Char('/') + name;
        const Manifest manifest = readManifest(path);
        ASSERT_FALSE(manifest.files.empty());
        QTemporaryDir dest;
        const ExtractRun run = extractFile(path, dest.path(), true, {QStringLiteral("corpus123")});
        ASSERT_TRUE(run.ok) << run.lastError;
        const Consensus *want = &manifest.files.front();
        for (const Consensus &c : manifest.files)
            if (c.path == member)
                want = &c;
        const QByteArray got = readAll(dest.path() + QLatin1Char('/') + want->path);
        EXPECT_EQ(got.size(), want->size);
        EXPECT_EQ(sha256(got), want->sha);
    }
}

TEST(ZipExtract, DateAndFlatOutput)
{
    QUILLON_NEED_CORPUS();
    const QString path = corpusDir() + QStringLiteral("/izip_encrypted_pw_corpus123.zip");
    QTemporaryDir dest;
    const ExtractRun run = extractFile(path, dest.path(), false, {QStringLiteral("corpus123")});
    ASSERT_TRUE(run.ok);
    const QDateTime mtime = QFileInfo(dest.path() + QStringLiteral("/README.TXT")).lastModified();
    EXPECT_EQ(mtime, QDateTime(QDate(1994, 6, 15), QTime(12, 34, 56)));

    TUnZIP unzip;
    unzip.setArchiveFile(path);
    QTemporaryDir now;
    unzip.ExtractDir = now.path();
    unzip.Passwords = {QStringLiteral("corpus123")};
    unzip.SetDateTo = TSetDate::CurDate;
    ASSERT_TRUE(unzip.Extract());
    EXPECT_GT(QFileInfo(now.path() + QStringLiteral("/README.TXT")).lastModified().date().year(), 2020);
}

TEST(ZipExtract, StoredFoldersOnlyWithDirs)
{
    QUILLON_NEED_CORPUS();
    const QString path = corpusDir() + QStringLiteral("/izip_deflate_tree.zip");
    QTemporaryDir flat, tree;
    ASSERT_TRUE(extractFile(path, flat.path(), false).ok);
    ASSERT_TRUE(extractFile(path, tree.path(), true).ok);
    for (const auto &[rel, data] : filesBelow(flat.path()))
        EXPECT_FALSE(rel.contains(QLatin1Char('/'))) << rel.toStdString();
    bool nested = false;
    for (const auto &[rel, data] : filesBelow(tree.path()))
        nested = nested || rel.contains(QLatin1Char('/'));
    EXPECT_TRUE(nested);
}

TEST(ZipExtract, MaskSelectsMembers)
{
    QUILLON_NEED_CORPUS();
    const QString path = corpusDir() + QStringLiteral("/izip_encrypted_pw_corpus123.zip");
    TUnZIP unzip;
    unzip.setArchiveFile(path);
    QTemporaryDir dest;
    unzip.ExtractDir = dest.path();
    unzip.Passwords = {QStringLiteral("corpus123")};
    unzip.setFileSpec(QStringLiteral("*.txt"));
    ASSERT_TRUE(unzip.Extract());
    const auto files = filesBelow(dest.path());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(files.count(QStringLiteral("README.TXT")));
    EXPECT_TRUE(files.count(QStringLiteral("GPL2.TXT")));
}

// ---- refusals ---------------------------------------------------------------------

TEST(ZipExtract, RefusedArchivesGiveTheirCodes)
{
    QUILLON_NEED_CORPUS();
    for (const auto &[name, codes] : kRefused) {
        SCOPED_TRACE(name.toStdString());
        QTemporaryDir dest;
        const ExtractRun run = extractFile(corpusDir() + QLatin1Char('/') + name, dest.path(), true);
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.lastError, codes.second);
        EXPECT_TRUE(hasEvent(run, codes.first));
        EXPECT_TRUE(filesBelow(dest.path()).empty());
    }
}

TEST(ZipExtract, DriverMessages)
{
    QUILLON_NEED_CORPUS();
    ScriptedPrompter prompter;
    TExtractOptions options;
    options.prompter = &prompter;
    ExtractionState().quiet = false;
    QTemporaryDir dest;
    // PPMd (method 98), which no decoder of this build reads.
    QTemporaryDir source;
    const QString ppmd = source.filePath(QStringLiteral("ppmd.zip"));
    ASSERT_TRUE(arcfix::writeAll(ppmd, arcfix::zipOf({ZipMember{"a.txt", "data", 98, "packed"}})));
    EXPECT_FALSE(ExtractFromArchive(9, ppmd, dest.path(), false, true, false, nullptr, QStringLiteral("*.*"), options));
    EXPECT_EQ(ExtractionState().lastError, ArcErrUnsupportedMethod);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].first, QStringLiteral("Extract Error"));
    EXPECT_EQ(prompter.shown[0].second,
              QStringLiteral("Archive file is using unknown or unsupported compression method."));

    prompter.shown.clear();
    EXPECT_FALSE(ExtractFromArchive(9, corpusDir() + QStringLiteral("/damaged_truncated_izip_deflate_tree.zip"),
                                    dest.path(), false, true, false, nullptr, QString(), options));
    EXPECT_EQ(ExtractionState().lastError, ArcErrUnknownType);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].second, QStringLiteral("Unknown file type, file is not a supported archive file."));

    // Quiet: the code is kept, nothing is shown.
    prompter.shown.clear();
    ExtractionState().quiet = true;
    EXPECT_FALSE(ExtractFromArchive(9, dest.path() + QStringLiteral("/gone.zip"), dest.path(), false, true, false,
                                    nullptr, QString(), options));
    EXPECT_EQ(ExtractionState().lastError, ArcErrInvalidFileName);
    EXPECT_TRUE(prompter.shown.empty());
    ExtractionState().quiet = false;

    // No extractor for a CAB: nothing to do, success.
    EXPECT_TRUE(ExtractFromArchive(3, QStringLiteral("x.cab"), dest.path(), false, false, false, nullptr,
                                   QString(), options));
    EXPECT_TRUE(filesBelow(dest.path()).empty());

    EXPECT_EQ(ExtractErrorMessage(25145), QStringLiteral("An error was encountered while trying to extract files from "
                                                         "\rarchive. The archive file is not supported or damaged."));
    EXPECT_EQ(ExtractErrorMessage(-3), QStringLiteral("Unknown error has occoured while uncompressing file(s)."));
}

TEST(ZipExtract, DriverProgressAndTemporaryList)
{
    QUILLON_NEED_CORPUS();
    ScriptedPrompter prompter;
    NullSink sink;
    TExtractOptions options;
    options.prompter = &prompter;
    options.progress = &sink;
    options.passwords = {QStringLiteral("corpus123")};
    ExtractionState().temporaryFiles.clear();
    QTemporaryDir dest;
    ASSERT_TRUE(ExtractFromArchive(9, corpusDir() + QStringLiteral("/izip_encrypted_pw_corpus123.zip"), dest.path(),
                                   true, false, true, nullptr, QStringLiteral("GPL2.TXT"), options));
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_TRUE(sink.texts.contains(QStringLiteral("Extracting file(s), please wait")));
    EXPECT_TRUE(sink.texts.contains(QStringLiteral("Extracting GPL2.TXT")));
    EXPECT_EQ(sink.advanced, 100);
    EXPECT_TRUE(sink.closed);
    const QString extracted = QFileInfo(dest.path() + QStringLiteral("/GPL2.TXT")).absoluteFilePath();
    EXPECT_EQ(ExtractionState().temporaryFiles, QStringList{extracted});

    // Without remember the same file leaves the list again.
    options.overwrite = [](const QString &) { return true; };
    ASSERT_TRUE(ExtractFromArchive(9, corpusDir() + QStringLiteral("/izip_encrypted_pw_corpus123.zip"), dest.path(),
                                   false, false, false, nullptr, QStringLiteral("GPL2.TXT"), options));
    EXPECT_TRUE(ExtractionState().temporaryFiles.isEmpty());
}

TEST(ZipExtract, DriverCancelStopsAndLeavesNoFile)
{
    QByteArray big(400000, 'q');
    QTemporaryDir work;
    const QString zip = work.path() + QStringLiteral("/big.zip");
    writeAll(zip, zipOf({member("big.bin", big)}));
    ScriptedPrompter prompter;
    prompter.answer = MsgAnswer::Yes;
    NullSink sink;
    sink.cancelOnAdvance = true;
    TExtractOptions options;
    options.prompter = &prompter;
    options.progress = &sink;
    const QString dest = work.path() + QStringLiteral("/out");
    EXPECT_FALSE(ExtractFromArchive(9, zip, dest, true, false, false, nullptr, QString(), options));
    EXPECT_EQ(ExtractionState().lastError, kExtractCancelled);
    // The cancel question is the only message: a cancel is not reported as an error.
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].first, QStringLiteral("Cancel extract"));
    EXPECT_TRUE(filesBelow(dest).empty());

    // Answering No goes on.
    prompter.shown.clear();
    prompter.answer = MsgAnswer::No;
    EXPECT_TRUE(ExtractFromArchive(9, zip, dest, true, false, false, nullptr, QString(), options));
    EXPECT_GE(prompter.shown.size(), 1u);
    EXPECT_EQ(readAll(dest + QStringLiteral("/big.bin")), big);
}

// ---- unsafe input -------------------------------------------------------------------

TEST(ZipExtract, SafeOutputPath)
{
    bool altered = false;
    EXPECT_EQ(TUnBase::SafeOutputPath(QStringLiteral("..\\evil"), QString(), true, &altered), QStringLiteral("evil"));
    EXPECT_TRUE(altered);
    EXPECT_EQ(TUnBase::SafeOutputPath(QStringLiteral("\\abs\\f"), QString(), true, &altered), QStringLiteral("abs/f"));
    EXPECT_TRUE(altered);
    EXPECT_EQ(TUnBase::SafeOutputPath(QStringLiteral("C:\\x"), QString(), true, &altered), QStringLiteral("x"));
    EXPECT_TRUE(altered);
    EXPECT_EQ(TUnBase::SafeOutputPath(QStringLiteral("a\\..\\..\\b"), QString(), true), QStringLiteral("a/b"));
    EXPECT_EQ(TUnBase::SafeOutputPath(QStringLiteral("a\\.\\b"), QString(), false), QStringLiteral("b"));
    EXPECT_EQ(TUnBase::SafeOutputPath(QStringLiteral(".."), QString(), true), QString());
    EXPECT_EQ(TUnBase::SafeOutputPath(QStringLiteral("docs\\readme.txt"), QString(), true, &altered),
              QStringLiteral("docs/readme.txt"));
    EXPECT_FALSE(altered);
    EXPECT_EQ(TUnBase::SafeOutputPath(QStringLiteral("/tmp/d/sub/f"), QStringLiteral("/tmp/d"), true),
              QStringLiteral("sub/f"));
}

TEST(ZipExtract, HostileNamesStayInside)
{
    const QByteArray zip = zipOf({member("../evil", "e"),
                                  member("/abs", "a"),
                                  member("C:\\x", "c"),
                                  member("a/../../../b", "b"),
                                  member("..\\..\\win", "w"),
                                  member("..", "dots")});
    for (const bool dirs : {true, false}) {
        SCOPED_TRACE(dirs);
        QTemporaryDir work;
        const QString dest = work.path() + QStringLiteral("/sub/dest");
        writeAll(work.path() + QStringLiteral("/hostile.zip"), zip);
        const ExtractRun run = extractFile(work.path() + QStringLiteral("/hostile.zip"), dest, dirs);
        EXPECT_TRUE(run.ok);
        EXPECT_TRUE(hasEvent(run, ArcErrInvalidFileName)); // the member named ".." is refused
        const auto inside = filesBelow(dest);
        EXPECT_EQ(readAll(dest + QStringLiteral("/evil")), QByteArray("e"));
        EXPECT_EQ(readAll(dest + QStringLiteral("/abs")), QByteArray("a"));
        EXPECT_EQ(readAll(dest + QStringLiteral("/x")), QByteArray("c"));
        EXPECT_EQ(readAll(dest + QStringLiteral("/win")), QByteArray("w"));
        EXPECT_EQ(readAll(dest + (dirs ? QStringLiteral("/a/b") : QStringLiteral("/b"))), QByteArray("b"));
        EXPECT_EQ(inside.size(), 5u);
        // Nothing at all outside the destination.
        const auto all = filesBelow(work.path());
        EXPECT_EQ(all.size(), inside.size() + 1); // + the archive itself
        EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/abs")));
    }
}

TEST(ZipExtract, SymlinkedFolderIsNotFollowedOutside)
{
    QTemporaryDir work;
    const QString dest = work.path() + QStringLiteral("/dest");
    const QString outside = work.path() + QStringLiteral("/outside");
    ASSERT_TRUE(QDir().mkpath(dest));
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QFile::link(outside, dest + QStringLiteral("/link")));
    writeAll(work.path() + QStringLiteral("/l.zip"), zipOf({member("link/f", "x")}));
    const ExtractRun run = extractFile(work.path() + QStringLiteral("/l.zip"), dest, true);
    EXPECT_FALSE(run.ok);
    EXPECT_TRUE(filesBelow(outside).empty());
}

TEST(ZipExtract, ExistingFileNeedsTheDecision)
{
    QUILLON_NEED_CORPUS();
    const QString path = corpusDir() + QStringLiteral("/izip_encrypted_pw_corpus123.zip");
    QTemporaryDir dest;
    const QString target = dest.path() + QStringLiteral("/README.TXT");
    writeAll(target, "keep");

    // No handler: kept.
    {
        TUnZIP unzip;
        unzip.setArchiveFile(path);
        unzip.ExtractDir = dest.path();
        unzip.Passwords = {QStringLiteral("corpus123")};
        unzip.setFileSpec(QStringLiteral("README.TXT"));
        EXPECT_FALSE(unzip.Extract());
        EXPECT_EQ(unzip.lastError(), ArcErrNothingToDo);
        EXPECT_EQ(readAll(target), QByteArray("keep"));
    }
    // The handler says no: kept, and asked with the output path.
    {
        TUnZIP unzip;
        unzip.setArchiveFile(path);
        unzip.ExtractDir = dest.path();
        unzip.Passwords = {QStringLiteral("corpus123")};
        QStringList asked;
        unzip.OnFileExists = [&](TUnBase *, const QString &fn, bool &accept) {
            asked << fn;
            accept = false;
        };
        EXPECT_TRUE(unzip.Extract()); // the other members are written
        EXPECT_EQ(asked, QStringList{target});
        EXPECT_EQ(readAll(target), QByteArray("keep"));
        EXPECT_EQ(readAll(dest.path() + QStringLiteral("/GPL2.TXT")).size(), 18092);
    }
    // The handler says yes: replaced.
    {
        TUnZIP unzip;
        unzip.setArchiveFile(path);
        unzip.ExtractDir = dest.path();
        unzip.Passwords = {QStringLiteral("corpus123")};
        unzip.OnFileExists = [](TUnBase *, const QString &, bool &accept) { accept = true; };
        EXPECT_TRUE(unzip.Extract());
        EXPECT_EQ(readAll(target).size(), 4320);
    }
}

TEST(ZipExtract, BeginCanSkip)
{
    QUILLON_NEED_CORPUS();
    TUnZIP unzip;
    unzip.setArchiveFile(corpusDir() + QStringLiteral("/izip_encrypted_pw_corpus123.zip"));
    QTemporaryDir dest;
    unzip.ExtractDir = dest.path();
    unzip.Passwords = {QStringLiteral("corpus123")};
    std::vector<int> recs;
    unzip.OnBegin = [&](TUnBase *, const QString &fn, int rec, bool &extract) {
        recs.push_back(rec);
        extract = fn.endsWith(QLatin1String("RANDOM.BIN"));
    };
    EXPECT_TRUE(unzip.Extract());
    EXPECT_EQ(recs, (std::vector<int>{1, 2, 3, 4}));
    const auto files = filesBelow(dest.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files.count(QStringLiteral("RANDOM.BIN")));
}

// ---- passwords ----------------------------------------------------------------------

TEST(ZipExtract, PasswordOrder)
{
    QUILLON_NEED_CORPUS();
    const QString path = corpusDir() + QStringLiteral("/izip_encrypted_pw_corpus123.zip");
    // Asked: a wrong answer, then the right one; asked only once for the right one (kept for the rest).
    {
        TUnZIP unzip;
        ExtractRun run;
        attach(unzip, run);
        unzip.setArchiveFile(path);
        QTemporaryDir dest;
        unzip.ExtractDir = dest.path();
        unzip.Passwords = {QStringLiteral("wrong1")};
        int asks = 0;
        unzip.OnGetPassword = [&](TUnBase *, const QString &, QString &pw, bool &again) {
            pw = asks++ == 0 ? QStringLiteral("nope") : QStringLiteral("corpus123");
            again = true;
        };
        EXPECT_TRUE(unzip.Extract());
        EXPECT_EQ(asks, 2);
        EXPECT_TRUE(hasEvent(run, ArcErrInvalidPassword));
        EXPECT_EQ(unzip.Passwords.value(0), QStringLiteral("corpus123"));
        EXPECT_EQ(filesBelow(dest.path()).size(), 4u);
    }
    // No event and no fitting password: 25172, nothing written.
    {
        QTemporaryDir dest;
        const ExtractRun run = extractFile(path, dest.path(), false, {QStringLiteral("bad")});
        EXPECT_FALSE(run.ok);
        EXPECT_TRUE(hasEvent(run, ArcErrOnPasswordMissing));
        EXPECT_TRUE(filesBelow(dest.path()).empty());
    }
    // The event gives up: 26522 and the walk ends.
    {
        TUnZIP unzip;
        ExtractRun run;
        attach(unzip, run);
        unzip.setArchiveFile(path);
        QTemporaryDir dest;
        unzip.ExtractDir = dest.path();
        int asks = 0;
        unzip.OnGetPassword = [&](TUnBase *, const QString &, QString &pw, bool &again) {
            ++asks;
            pw = QStringLiteral("nope");
            again = true;
        };
        EXPECT_FALSE(unzip.Extract());
        EXPECT_EQ(asks, 3);
        EXPECT_TRUE(hasEvent(run, ArcErrPasswordFailed));
        EXPECT_TRUE(filesBelow(dest.path()).empty());
    }
}

// ---- damaged members ----------------------------------------------------------------

TEST(ZipExtract, CrcMismatchIsWrittenAndWarned)
{
    QTemporaryDir work;
    const QString zip = work.path() + QStringLiteral("/crc.zip");
    ZipMember bad = member("bad.txt", "hello");
    bad.crc = Crc32Update(0, "hello", 5) + 1; // one off the true CRC
    writeAll(zip, zipOf({bad, member("good.txt", "fine")}));
    const ExtractRun run = extractFile(zip, work.path() + QStringLiteral("/out"), false);
    EXPECT_TRUE(run.ok);
    EXPECT_TRUE(hasEvent(run, ArcErrCrc));
    ASSERT_EQ(run.ends.size(), 2u);
    EXPECT_FALSE(run.ends[0].second);
    EXPECT_TRUE(run.ends[1].second);
    EXPECT_EQ(readAll(work.path() + QStringLiteral("/out/bad.txt")), QByteArray("hello"));

    ScriptedPrompter prompter;
    TExtractOptions options;
    options.prompter = &prompter;
    EXPECT_FALSE(ExtractFromArchive(9, zip, work.path() + QStringLiteral("/out2"), false, false, false, nullptr,
                                    QString(), options));
    EXPECT_EQ(ExtractionState().lastError, ArcErrCrc);
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0], std::make_pair(QStringLiteral("Warning"),
                                                QStringLiteral("CRC check failed on extracting bad.txt")));
    EXPECT_EQ(prompter.shown[1].second, QStringLiteral("CRC check has failed. Archive file may be damaged."));
}

TEST(ZipExtract, BrokenMemberLeavesNoHalfFile)
{
    // A deflate stream cut short and one with an invalid block type.
    const QByteArray cut = QByteArray::fromHex("4b4c4a4e4905");
    const QByteArray invalid = QByteArray::fromHex("ffffffff");
    QTemporaryDir work;
    const QString zip = work.path() + QStringLiteral("/broken.zip");
    writeAll(zip, zipOf({member("cut.txt", QByteArray(5000, 'a'), 8, cut),
                         member("invalid.txt", "abc", 8, invalid),
                         member("ok.txt", "ok")}));
    const QString dest = work.path() + QStringLiteral("/out");
    const ExtractRun run = extractFile(zip, dest, false);
    EXPECT_TRUE(run.ok);
    const auto files = filesBelow(dest);
    ASSERT_EQ(files.size(), 1u); // no temporary file left either
    EXPECT_TRUE(files.count(QStringLiteral("ok.txt")));
    EXPECT_GE(run.events.size(), 2u);
}

TEST(ZipExtract, EveryPrefixFailsCleanly)
{
    QUILLON_NEED_CORPUS();
    const QByteArray whole = readAll(corpusDir() + QStringLiteral("/izip_deflate_tree.zip"));
    ASSERT_FALSE(whole.isEmpty());
    QTemporaryDir work;
    for (qsizetype n = 0; n < whole.size(); n += 97) {
        const QString zip = work.path() + QStringLiteral("/p.zip");
        writeAll(zip, whole.left(n));
        const QString dest = work.path() + QStringLiteral("/out");
        const ExtractRun run = extractFile(zip, dest, true);
        EXPECT_FALSE(run.ok) << n;
        QDir(dest).removeRecursively();
    }
}

TEST(ZipExtract, SeededByteFlipsNeverEscapeOrCrash)
{
    QUILLON_NEED_CORPUS();
    const QByteArray whole = readAll(corpusDir() + QStringLiteral("/izip_deflate_tree.zip"));
    ASSERT_FALSE(whole.isEmpty());
    std::mt19937 rng(20261209);
    QTemporaryDir work;
    const QString zip = work.path() + QStringLiteral("/f.zip");
    const QString dest = work.path() + QStringLiteral("/out");
    int failed = 0;
    for (int round = 0; round < 300; ++round) {
        QByteArray data = whole;
        const int flips = 1 + int(rng() % 4);
        for (int i = 0; i < flips; ++i)
            data[qsizetype(rng() % uint32_t(data.size()))] = char(rng() & 0xFF);
        writeAll(zip, data);
        TUnZIP unzip;
        unzip.setArchiveFile(zip);
        unzip.ExtractDir = dest;
        unzip.UseStoredDirs = true;
        unzip.OnFileExists = [](TUnBase *, const QString &, bool &accept) { accept = true; };
        if (!unzip.Extract())
            ++failed;
        for (const auto &[rel, bytes] : filesBelow(work.path()))
            ASSERT_TRUE(rel == QLatin1String("f.zip") || rel.startsWith(QLatin1String("out/"))) << rel.toStdString();
        QDir(dest).removeRecursively();
    }
    // Most flips land in member data (CRC warnings only); some must break the directory.
    EXPECT_GT(failed, 0);
}

TEST(ZipExtract, FromMemory)
{
    const QByteArray zip = zipOf({member("dir/one.txt", "first"), member("two.txt", "second")});
    TUnZIP unzip;
    unzip.setArchiveData(zip, QStringLiteral("mem.zip"));
    QTemporaryDir dest;
    unzip.ExtractDir = dest.path();
    unzip.UseStoredDirs = true;
    ASSERT_TRUE(unzip.Extract());
    EXPECT_EQ(readAll(dest.path() + QStringLiteral("/dir/one.txt")), QByteArray("first"));
    EXPECT_EQ(readAll(dest.path() + QStringLiteral("/two.txt")), QByteArray("second"));
}
