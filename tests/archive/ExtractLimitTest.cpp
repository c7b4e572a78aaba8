// The output cap of every extractor: a member stops at the size its caller
// allows (OutputLimit, the driver's outputLimit) and at the size its format
// declares; such a member is reported as damaged (25140) and leaves no file.
#include "ArcFixtures.h"

#include "archive/Extract.h"
#include "archive/UnGZIP.h"
#include "archive/UnTar.h"
#include "archive/UnZIP.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace arcfix;

namespace {

constexpr int64_t kMiB = 1024 * 1024;

struct LimitRun {
    bool ok = false;
    int code = 0;
    std::vector<int> warnings;
    bool warned(int c) const { return std::find(warnings.begin(), warnings.end(), c) != warnings.end(); }
};

LimitRun extract(TUnBase &unit, const QString &archive, const QString &dest, uint64_t limit)
{
    LimitRun run;
    unit.setArchiveFile(archive);
    unit.ExtractDir = dest;
    unit.OutputLimit = limit;
    unit.OnError = [&run](TZipCommon *, const QString &, const QString &, int code) { run.warnings.push_back(code); };
    run.ok = unit.Extract();
    run.code = unit.lastError();
    return run;
}

} // namespace

// A gzip file whose trailer understates its size: the deflate data of a few
// kilobytes cannot make 4 GiB, so the trailer's size is exact and the 20 MiB
// the data really holds are never written.
TEST(ExtractLimit, GzipStopsAtItsDeclaredSize)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QByteArray zeros(20 * kMiB, '\0');
    const QString archive = tmp.filePath(QStringLiteral("FILE_ID.DIZ.gz"));
    ASSERT_TRUE(writeAll(archive, gzipOf(zeros, "FILE_ID.DIZ", 8, 0, 100)));
    ASSERT_LT(QFileInfo(archive).size(), 64 * 1024);
    const QString dest = tmp.filePath(QStringLiteral("out"));
    QDir().mkpath(dest);
    TUnGZIP unit;
    const LimitRun run = extract(unit, archive, dest, TUnBase::kNoOutputLimit);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.code, 25140);
    EXPECT_TRUE(filesUnder(dest).isEmpty()) << filesUnder(dest).join(' ').toStdString();
}

// The caller's limit, member by member, for each extractor: a member larger
// than it is refused as damaged and leaves nothing; the others are written.
TEST(ExtractLimit, EveryExtractorStopsAtTheCallersLimit)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QByteArray big(17 * kMiB, 'x');
    const QByteArray small("a small description\n");

    // TAR: a big member and a small one.
    const QString tar = tmp.filePath(QStringLiteral("two.tar"));
    ASSERT_TRUE(writeAll(tar, tarEntry("big.txt", '0', big) + tarEntry("small.txt", '0', small) + QByteArray(1024, '\0')));
    // GZip: one honest member of 17 MiB.
    const QString gz = tmp.filePath(QStringLiteral("big.txt.gz"));
    ASSERT_TRUE(writeAll(gz, gzipOf(big, "big.txt")));
    // ZIP: the same two members, written by the system's zip when it is there.
    QString zip;
    if (haveTool(QStringLiteral("zip"))) {
        const QString src = tmp.filePath(QStringLiteral("zipsrc"));
        QDir().mkpath(src);
        ASSERT_TRUE(writeAll(src + QStringLiteral("/big.txt"), big));
        ASSERT_TRUE(writeAll(src + QStringLiteral("/small.txt"), small));
        zip = tmp.filePath(QStringLiteral("two.zip"));
        ASSERT_FALSE(runTool(QStringLiteral("zip"), {QStringLiteral("-q"), zip, QStringLiteral("big.txt"),
                                                     QStringLiteral("small.txt")}, src).isNull());
    }

    struct Case {
        const char *what;
        std::function<std::unique_ptr<TUnBase>()> make;
        QString archive;
        QStringList keptUnderLimit; // what a 16 MiB limit leaves
        bool endsInError;           // the only member refused: the extraction fails with 25140
    };
    const std::vector<Case> cases = {
        {"tar", [] { return std::make_unique<TUnTar>(); }, tar, {QStringLiteral("small.txt")}, false},
        {"gzip", [] { return std::make_unique<TUnGZIP>(); }, gz, {}, true},
        {"zip", [] { return std::make_unique<TUnZIP>(); }, zip, {QStringLiteral("small.txt")}, false},
    };
    for (const Case &c : cases) {
        if (c.archive.isEmpty()) {
            std::printf("zip is missing: the ZIP case is skipped\n");
            continue;
        }
        SCOPED_TRACE(c.what);
        const QString capped = tmp.filePath(QStringLiteral("capped-") + QLatin1String(c.what));
        const QString free = tmp.filePath(QStringLiteral("free-") + QLatin1String(c.what));
        QDir().mkpath(capped);
        QDir().mkpath(free);
        std::unique_ptr<TUnBase> unit = c.make();
        const LimitRun run = extract(*unit, c.archive, capped, 16 * kMiB);
        EXPECT_TRUE(run.warned(25140));
        EXPECT_EQ(filesUnder(capped), c.keptUnderLimit);
        if (c.endsInError) {
            EXPECT_FALSE(run.ok);
            EXPECT_EQ(run.code, 25140);
        } else {
            EXPECT_TRUE(run.ok) << run.code;
            EXPECT_EQ(readAll(capped + QStringLiteral("/small.txt")), small);
        }
        // Without the limit the big member is whole.
        std::unique_ptr<TUnBase> again = c.make();
        const LimitRun freeRun = extract(*again, c.archive, free, TUnBase::kNoOutputLimit);
        EXPECT_TRUE(freeRun.ok) << freeRun.code;
        EXPECT_EQ(QFileInfo(free + QStringLiteral("/big.txt")).size(), big.size());
    }
}

// The driver hands its caller's limit to the extractor and reports the member as damaged.
TEST(ExtractLimit, DriverPassesTheLimit)
{
    TExtractState &state = ExtractionState();
    const bool quiet = state.quiet;
    state.quiet = true;
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString gz = tmp.filePath(QStringLiteral("FILES.BBS.gz"));
    ASSERT_TRUE(writeAll(gz, gzipOf(QByteArray(2 * kMiB, ' '), "FILES.BBS")));
    const QString dest = tmp.filePath(QStringLiteral("out"));
    QDir().mkpath(dest);
    TExtractOptions options;
    options.outputLimit = kMiB;
    EXPECT_FALSE(ExtractFromArchive(13, gz, dest, false, false, false, nullptr, QString(), options));
    EXPECT_EQ(state.lastError, 25140);
    EXPECT_EQ(ExtractErrorMessage(25140), QStringLiteral("An error was encountered while trying to extract files "
                                                         "from \rarchive. The archive file is not supported or damaged."));
    EXPECT_TRUE(filesUnder(dest).isEmpty());
    options.outputLimit = 2 * kMiB;
    EXPECT_TRUE(ExtractFromArchive(13, gz, dest, false, false, false, nullptr, QString(), options));
    EXPECT_EQ(filesUnder(dest), QStringList{QStringLiteral("FILES.BBS")});
    state.quiet = quiet;
}
