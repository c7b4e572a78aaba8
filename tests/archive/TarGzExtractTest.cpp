// Extracting TAR and GZip files: every corpus file byte-exact against its
// manifest's consensus (a gzip holding a TAR is unpacked in two steps), the
// refusals of damaged, multi-part, compress and pack files with their codes,
// and a hand-made TAR whose hostile names and links must stay inside the
// extraction folder.
#include "archive/ArcLister.h"
#include "archive/Extract.h"
#include "archive/UnGZIP.h"
#include "archive/UnTar.h"

#include "ArcFixtures.h"

#include "Corpus.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

using arcfix::gzipOf;
using arcfix::tarEntry;

QString corpus(const char *sub)
{
    return testcorpus::ArchiveDir(sub);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString sha256(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

struct Expected {
    QString path, sha;
    qint64 size = 0;
};

std::vector<Expected> consensus(const QString &archive)
{
    std::vector<Expected> out;
    QFile f(archive + QStringLiteral(".manifest.jsonl"));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    while (!f.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(f.readLine()).object();
        if (o.value(QStringLiteral("kind")).toString() == QLatin1String("consensus") && o.contains(QStringLiteral("sha256")))
            out.push_back({o.value(QStringLiteral("path")).toString(), o.value(QStringLiteral("sha256")).toString(),
                           qint64(o.value(QStringLiteral("size")).toDouble())});
    }
    return out;
}

// The folders the reference tar tool created for an archive.
QStringList folders(const QString &archive)
{
    QStringList out;
    QFile f(archive + QStringLiteral(".manifest.jsonl"));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    while (!f.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(f.readLine()).object();
        if (o.value(QStringLiteral("kind")).toString() == QLatin1String("extracted") &&
            o.value(QStringLiteral("tool")).toString() == QLatin1String("tar") &&
            o.value(QStringLiteral("type")).toString() == QLatin1String("dir"))
            out << o.value(QStringLiteral("path")).toString();
    }
    return out;
}

using arcfix::filesUnder;

struct ExtractRun {
    bool ok = false;
    int code = 0;
    std::vector<int> warnings;
};

ExtractRun extractWith(TUnBase &unit, const QString &archive, const QString &dest, bool dirs)
{
    ExtractRun run;
    unit.setArchiveFile(archive);
    unit.ExtractDir = dest;
    unit.UseStoredDirs = dirs;
    unit.OnError = [&run](TZipCommon *, const QString &, const QString &, int code) { run.warnings.push_back(code); };
    run.ok = unit.Extract();
    run.code = unit.lastError();
    return run;
}

// The number of gzip members the reference walk found in a file.
int gzipMembers(const QString &archive)
{
    int n = 0;
    QFile f(archive + QStringLiteral(".manifest.jsonl"));
    if (!f.open(QIODevice::ReadOnly))
        return n;
    while (!f.atEnd()) {
        if (QJsonDocument::fromJson(f.readLine()).object().value(QStringLiteral("kind")).toString() ==
            QLatin1String("gzip_member"))
            ++n;
    }
    return n;
}

// The code a corpus file must be refused with, or 0.
int expectedRefusal(const QString &archive)
{
    const QString fileName = QFileInfo(archive).fileName();
    if (fileName.endsWith(QLatin1String(".Z")) || fileName.endsWith(QLatin1String(".z")))
        return 25200; // compress and pack
    if (gzipMembers(archive) > 1)
        return 25162; // multi-part
    if (fileName.startsWith(QLatin1String("damaged_truncated")))
        return 25135;
    return 0;
}

void checkAgainstConsensus(const QString &dest, const std::vector<Expected> &want, const QString &what)
{
    for (const Expected &e : want) {
        const QByteArray got = readAll(dest + QLatin1Char('/') + e.path);
        EXPECT_TRUE(QFileInfo::exists(dest + QLatin1Char('/') + e.path)) << what.toStdString() << ": " << e.path.toStdString();
        EXPECT_EQ(got.size(), e.size) << what.toStdString() << ": " << e.path.toStdString();
        EXPECT_EQ(sha256(got), e.sha) << what.toStdString() << ": " << e.path.toStdString();
    }
}

TEST(TarGzExtract, CorpusByteExactOrRefused)
{
    QUILLON_NEED_CORPUS();
    int checked = 0, refused = 0;
    for (const char *sub : {"tar", "gz"}) {
        const QDir dir(corpus(sub));
        for (const QFileInfo &fi : dir.entryInfoList(QDir::Files, QDir::Name)) {
            if (fi.fileName().endsWith(QLatin1String(".manifest.jsonl")))
                continue;
            const QString what = fi.fileName();
            const std::vector<Expected> want = consensus(fi.filePath());
            const int refusal = expectedRefusal(fi.filePath());
            QTemporaryDir tmp;
            ASSERT_TRUE(tmp.isValid());
            TUnGZIP probe;
            probe.setArchiveFile(fi.filePath());
            if (probe.arcType() == TArcType::GZip) {
                TUnGZIP gz;
                const ExtractRun r = extractWith(gz, fi.filePath(), tmp.path() + QStringLiteral("/g"), false);
                if (refusal) {
                    EXPECT_FALSE(r.ok) << what.toStdString();
                    EXPECT_EQ(r.code, refusal) << what.toStdString();
                    EXPECT_TRUE(filesUnder(tmp.path()).isEmpty()) << what.toStdString();
                    ++refused;
                    continue;
                }
                ASSERT_TRUE(r.ok) << what.toStdString() << " code " << r.code;
                const QStringList out = filesUnder(tmp.path() + QStringLiteral("/g"));
                ASSERT_EQ(out.size(), 1) << what.toStdString();
                // TAR detection goes by the ".tar" extension, which the gzip member's name may lack.
                const QString member = tmp.path() + QStringLiteral("/inner.tar");
                ASSERT_TRUE(QFile::copy(tmp.path() + QStringLiteral("/g/") + out.first(), member));
                TUnTar inner;
                inner.setArchiveFile(member);
                // The gzip member itself is one consensus entry; the rest are the files of the TAR inside.
                const QString gotSha = sha256(readAll(member));
                std::vector<Expected> rest;
                bool matched = false;
                for (const Expected &e : want) {
                    if (e.sha == gotSha)
                        matched = true;
                    else
                        rest.push_back(e);
                }
                // Where the tools disagreed on the gzip member itself, its TAR contents still decide.
                EXPECT_TRUE(matched || inner.arcType() == TArcType::TAR) << what.toStdString();
                if (!rest.empty()) {
                    ASSERT_EQ(inner.arcType(), TArcType::TAR) << what.toStdString();
                    const ExtractRun t = extractWith(inner, member, tmp.path() + QStringLiteral("/t"), true);
                    EXPECT_TRUE(t.ok) << what.toStdString() << " code " << t.code;
                    checkAgainstConsensus(tmp.path() + QStringLiteral("/t"), rest, what);
                }
                ++checked;
                continue;
            }
            ASSERT_EQ(probe.arcType(), TArcType::TAR) << what.toStdString();
            TUnTar tar;
            const ExtractRun r = extractWith(tar, fi.filePath(), tmp.path(), true);
            if (refusal) {
                EXPECT_FALSE(r.ok) << what.toStdString();
                EXPECT_EQ(r.code, refusal) << what.toStdString();
                ++refused;
                continue;
            }
            EXPECT_TRUE(r.ok) << what.toStdString() << " code " << r.code;
            ASSERT_FALSE(want.empty() && folders(fi.filePath()).isEmpty()) << what.toStdString();
            checkAgainstConsensus(tmp.path(), want, what);
            for (const QString &folder : folders(fi.filePath()))
                EXPECT_TRUE(QFileInfo(tmp.path() + QLatin1Char('/') + folder).isDir()) << what.toStdString() << ": "
                                                                                      << folder.toStdString();
            ++checked;
        }
    }
    EXPECT_GE(checked, 15) << testcorpus::ArchiveDir().toStdString();
    EXPECT_GE(refused, 10);
}


TEST(TarGzExtract, HostileNamesAndLinksStayInside)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString dest = tmp.path() + QStringLiteral("/dest");
    ASSERT_TRUE(QDir().mkpath(dest));
    QByteArray tar = tarEntry("../x", '0', "up") + tarEntry("/abs", '0', "abs") +
                     tarEntry("link", '2', {}, "/etc/passwd") + tarEntry("sub/../../y", '0', "deep") +
                     tarEntry("hard", '1', {}, "../x") + tarEntry("dev", '3', {});
    tar.append(QByteArray(1024, '\0'));
    const QString archive = tmp.path() + QStringLiteral("/hostile.tar");
    {
        QFile f(archive);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(tar);
    }
    TUnTar unit;
    const ExtractRun r = extractWith(unit, archive, dest, true);
    EXPECT_TRUE(r.ok) << r.code;
    // ".." parts are dropped, so "sub/../../y" lands in sub/y.
    EXPECT_EQ(filesUnder(dest), (QStringList{"abs", "hard", "sub/y", "x"}));
    EXPECT_EQ(readAll(dest + QStringLiteral("/sub/y")), "deep");
    EXPECT_EQ(readAll(dest + QStringLiteral("/x")), "up");
    EXPECT_EQ(readAll(dest + QStringLiteral("/hard")), "up");
    EXPECT_EQ(readAll(dest + QStringLiteral("/abs")), "abs");
    EXPECT_FALSE(QFileInfo(dest + QStringLiteral("/link")).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(dest + QStringLiteral("/link")));
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + QStringLiteral("/x")));
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + QStringLiteral("/y")));
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + QStringLiteral("/abs")));
    // Only the outer test folder and dest exist beside the archive.
    EXPECT_EQ(filesUnder(tmp.path()).size(), 5);
}

TEST(TarGzExtract, ExistingFileKeptWithoutDecision)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    QByteArray tar = tarEntry("a.txt", '0', "new") + QByteArray(1024, '\0');
    const QString archive = tmp.path() + QStringLiteral("/a.tar");
    QFile f(archive);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(tar);
    f.close();
    const QString dest = tmp.path() + QStringLiteral("/d");
    QDir().mkpath(dest);
    QFile old(dest + QStringLiteral("/a.txt"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    TUnTar keep;
    extractWith(keep, archive, dest, false);
    EXPECT_EQ(readAll(dest + QStringLiteral("/a.txt")), "old");
    TUnTar replace;
    replace.OnFileExists = [](TUnBase *, const QString &, bool &accept) { accept = true; };
    EXPECT_TRUE(extractWith(replace, archive, dest, false).ok);
    EXPECT_EQ(readAll(dest + QStringLiteral("/a.txt")), "new");
}


ExtractRun extractBytes(const QByteArray &data, const QString &name, const QString &dest,
                        std::vector<std::pair<QString, bool>> *ends = nullptr)
{
    ExtractRun run;
    TUnGZIP unit;
    unit.setArchiveData(data, name);
    unit.ExtractDir = dest;
    unit.OnError = [&run](TZipCommon *, const QString &, const QString &, int code) { run.warnings.push_back(code); };
    if (ends)
        unit.OnEnd = [ends](TUnBase *, const QString &fn, bool pass) { ends->push_back({fn, pass}); };
    run.ok = unit.Extract();
    run.code = unit.lastError();
    return run;
}

TEST(TarGzExtract, CraftedGzipChecksAndRefusals)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QByteArray text = QByteArray("hello gzip world, ").repeated(500);
    const QByteArray good = gzipOf(text, "../../evil.txt");
    const QString dir = tmp.path() + QStringLiteral("/d");
    QDir().mkpath(dir);

    std::vector<std::pair<QString, bool>> ends;
    ExtractRun r = extractBytes(good, tmp.path() + QStringLiteral("/x.gz"), dir, &ends);
    EXPECT_TRUE(r.ok) << r.code;
    EXPECT_EQ(filesUnder(dir), QStringList{"evil.txt"});
    EXPECT_EQ(readAll(dir + QStringLiteral("/evil.txt")), text);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_TRUE(ends.front().second);

    // A wrong trailer CRC: the file is written, OnEnd says so and 25117 is reported.
    QByteArray badCrc = good;
    badCrc[badCrc.size() - 8] = char(badCrc[badCrc.size() - 8] ^ 0x55);
    const QString dir2 = tmp.path() + QStringLiteral("/crc");
    QDir().mkpath(dir2);
    ends.clear();
    r = extractBytes(badCrc, tmp.path() + QStringLiteral("/x.gz"), dir2, &ends);
    EXPECT_EQ(readAll(dir2 + QStringLiteral("/evil.txt")), text);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_FALSE(ends.front().second);
    EXPECT_NE(std::find(r.warnings.begin(), r.warnings.end(), 25117), r.warnings.end());

    const struct { QByteArray data; int code; } refusals[] = {
        {gzipOf(text, "m.txt", 7), 25200},                 // unknown method
        {gzipOf(text, "e.txt", 8, 0x20), 25190},           // encrypted
        {good + gzipOf(text, "second.txt"), 25162},        // a second member
        {good.left(good.size() / 2), 25135},               // cut inside the data
        {good.left(good.size() - 3), 25135},               // cut inside the trailer
        {gzipOf(text, "t.txt", 8, 0x04), 25135},           // an extra field running past the end
    };
    for (const auto &refusal : refusals) {
        QTemporaryDir out;
        ASSERT_TRUE(out.isValid());
        r = extractBytes(refusal.data, tmp.path() + QStringLiteral("/r.gz"), out.path());
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.code, refusal.code);
        EXPECT_TRUE(filesUnder(out.path()).isEmpty()) << refusal.code;
    }
}

TEST(TarGzExtract, DriverReportsGzipCodes)
{
    QUILLON_NEED_CORPUS();
    TExtractState &state = ExtractionState();
    state.quiet = true;
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    EXPECT_TRUE(ExtractFromArchive(13, corpus("gz") + QStringLiteral("/GPL2.TXT.gz"), tmp.path(), false, false, false,
                                   nullptr, QString()));
    EXPECT_EQ(state.lastError, 0);
    EXPECT_TRUE(QFileInfo::exists(tmp.path() + QStringLiteral("/GPL2.TXT")));
    EXPECT_FALSE(ExtractFromArchive(13, corpus("gz") + QStringLiteral("/multimember.gz"), tmp.path(), false, false,
                                    false, nullptr, QString()));
    EXPECT_EQ(state.lastError, 25162);
    EXPECT_FALSE(ExtractFromArchive(13, corpus("gz") + QStringLiteral("/GPL2.TXT.Z"), tmp.path(), false, false, false,
                                    nullptr, QString()));
    EXPECT_EQ(state.lastError, 25200);
    EXPECT_EQ(ExtractErrorMessage(25200),
              QStringLiteral("Archive file is using unknown or unsupported compression method."));
    state.quiet = false;
}

TEST(TarGzExtract, SeededByteFlipsNeverEscapeOrCrash)
{
    QUILLON_NEED_CORPUS();
    const QString sources[] = {corpus("tar") + QStringLiteral("/gnutar_pax_longname.tar"),
                               corpus("tar") + QStringLiteral("/gnutar_ustar.tar"),
                               corpus("gz") + QStringLiteral("/GPL2.TXT.gz")};
    std::mt19937 random(4242);
    int runs = 0;
    for (const QString &path : sources) {
        const QByteArray original = readAll(path);
        ASSERT_FALSE(original.isEmpty()) << path.toStdString();
        for (int round = 0; round < 60; ++round) {
            QByteArray data = original;
            const int flips = 1 + int(random() % 8);
            for (int i = 0; i < flips; ++i) {
                // Mostly the header area, where the lengths and names are.
                const qsizetype at = qsizetype(random() % uint32_t(random() % 2 ? std::min<qsizetype>(data.size(), 2048) : data.size()));
                data[at] = char(random());
            }
            QTemporaryDir tmp;
            ASSERT_TRUE(tmp.isValid());
            const QString dest = tmp.path() + QStringLiteral("/dest");
            QDir().mkpath(dest);
            const QString name = tmp.path() + QLatin1Char('/') + QFileInfo(path).fileName();
            std::unique_ptr<TUnBase> unit;
            if (path.endsWith(QLatin1String(".gz")))
                unit = std::make_unique<TUnGZIP>();
            else
                unit = std::make_unique<TUnTar>();
            unit->setArchiveData(data, name);
            unit->UseStoredDirs = true;
            unit->ExtractDir = dest;
            unit->Extract();
            // Nothing may appear beside dest.
            const QStringList outside = QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
            EXPECT_EQ(outside, QStringList{QStringLiteral("dest")}) << path.toStdString() << " round " << round;
            ++runs;
        }
    }
    EXPECT_EQ(runs, 180);
}

TEST(TarGzExtract, DriverPicksTarAndGzip)
{
    EXPECT_NE(dynamic_cast<TUnTar *>(MakeExtractor(12).get()), nullptr);
    EXPECT_NE(dynamic_cast<TUnGZIP *>(MakeExtractor(13).get()), nullptr);
}

} // namespace

// A gzip member whose header time is 0 stores no time: it gets the archive file's own
// date, when listed and when extracted; a stored time is kept.
TEST(TarGzExtract, MemberWithoutTimeTakesTheFileDate)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const int64_t fileTime = 1000000000; // 2001-09-09, any time far from today
    const struct {
        uint32_t stamp;
        int64_t want;
    } cases[] = {{0, fileTime}, {0x40000000, 0x40000000}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stamp);
        const QString archive = tmp.filePath(QStringLiteral("changelog.gz"));
        ASSERT_TRUE(arcfix::writeAll(archive, gzipOf("a change\n", {}, 8, 0, -1, c.stamp)));
        struct timespec times[2] = {{time_t(fileTime), 0}, {time_t(fileTime), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(archive).constData(), times, 0), 0);

        TArcLister lister;
        lister.setArchiveFile(archive);
        uint32_t listed = 0;
        lister.OnRead = [&listed](TArcLister *s, int64_t, int) { listed = s->MemberDosDate; };
        ASSERT_TRUE(lister.activate());
        EXPECT_EQ(listed, UnixToDosDateTime(c.want));

        const QString dest = tmp.filePath(QStringLiteral("out%1").arg(c.stamp));
        QDir().mkpath(dest);
        TUnGZIP unit;
        EXPECT_TRUE(extractWith(unit, archive, dest, false).ok);
        EXPECT_EQ(QFileInfo(dest + QStringLiteral("/changelog")).lastModified().toSecsSinceEpoch(), c.want);
    }
}
