// ZIP archives behind a stub that is not a DOS executable: a shell script or
// an ELF program in front of an archive, with the offsets left as they were
// (the stub simply put in front) or adjusted by `zip -A`, with and without an
// archive comment. Made in the test with the system's zip; listed and
// extracted as unzip lists and extracts them.
#include "ArcFixtures.h"

#include "archive/ArcLister.h"
#include "archive/UnZIP.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <map>
#include <random>

using namespace arcfix;

namespace {

// name -> size as unzip -l lists an archive (folders left out).
std::map<QString, int64_t> unzipListing(const QString &archive)
{
    std::map<QString, int64_t> out;
    // Status 1: a warning, such as the stub's "extra bytes at beginning".
    const QByteArray text = runTool(QStringLiteral("unzip"), {QStringLiteral("-l"), archive}, {}, 1);
    static const QRegularExpression row(QStringLiteral("^\\s*(\\d+)\\s+\\S+\\s+\\S+\\s+(.+)$"));
    for (const QString &line : QString::fromUtf8(text).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = row.match(line);
        if (m.hasMatch() && !m.captured(2).endsWith(QLatin1Char('/')) && !line.contains(QLatin1String("files")))
            out[m.captured(2)] = m.captured(1).toLongLong();
    }
    return out;
}

class ZipSfx : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!haveTool(QStringLiteral("zip")) || !haveTool(QStringLiteral("unzip")))
            GTEST_SKIP() << "zip or unzip is missing";
        ASSERT_TRUE(m_tmp.isValid());
        const QString src = m_tmp.filePath(QStringLiteral("src"));
        QDir().mkpath(src + QStringLiteral("/sub"));
        std::mt19937 random(99);
        QByteArray noise(100000, Qt::Uninitialized);
        for (char &c : noise)
            c = char('a' + random() % 4);
        ASSERT_TRUE(writeAll(src + QStringLiteral("/README.TXT"), "Run me.\n"));
        ASSERT_TRUE(writeAll(src + QStringLiteral("/sub/data.bin"), noise));
        ASSERT_TRUE(writeAll(src + QStringLiteral("/sub/empty.txt"), {}));
        m_zip = m_tmp.filePath(QStringLiteral("plain.zip"));
        ASSERT_FALSE(runTool(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-r"), m_zip,
                                                     QStringLiteral("README.TXT"), QStringLiteral("sub")}, src).isNull());
    }

    QTemporaryDir m_tmp;
    QString m_zip;
};

TEST_F(ZipSfx, ListedAndExtractedAsUnzipDoes)
{
    const QByteArray script("#!/bin/sh\n# self-extracting archive\nexec unzip -o \"$0\"\nexit 0\n");
    const QByteArray elf = readAll(QStringLiteral("/bin/true"));
    const QByteArray zip = readAll(m_zip);
    ASSERT_FALSE(zip.isEmpty());
    const struct {
        const char *what;
        QByteArray stub;
    } stubs[] = {{"script", script}, {"elf", elf}};
    for (const auto &stub : stubs) {
        if (stub.stub.isEmpty())
            continue; // no /bin/true to stand for an ELF stub
        for (const bool adjusted : {false, true}) {
            for (const bool comment : {false, true}) {
                const QString what = QStringLiteral("%1%2%3").arg(QLatin1String(stub.what),
                                                                  adjusted ? QStringLiteral("-adjusted") : QString(),
                                                                  comment ? QStringLiteral("-comment") : QString());
                SCOPED_TRACE(what.toStdString());
                // The comment goes into the archive before the stub is put in front (zip cannot
                // rewrite an archive whose offsets are off).
                QByteArray archive = zip;
                if (comment) {
                    const QString commented = m_tmp.filePath(what + QStringLiteral(".zip"));
                    EXPECT_TRUE(writeAll(commented, zip));
                    QProcess z;
                    z.start(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-z"), commented});
                    z.write("made for the test\n");
                    z.closeWriteChannel();
                    ASSERT_TRUE(z.waitForFinished(-1) && z.exitCode() == 0);
                    archive = readAll(commented);
                    ASSERT_GT(archive.size(), zip.size());
                }
                const QString sfx = m_tmp.filePath(what + QStringLiteral(".run"));
                ASSERT_TRUE(writeAll(sfx, stub.stub + archive));
                if (adjusted) {
                    ASSERT_FALSE(runTool(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-A"), sfx}).isNull());
                }

                TArcLister lister;
                lister.setArchiveFile(sfx);
                EXPECT_EQ(lister.arcType(), TArcType::ZipExe);
                EXPECT_EQ(lister.startOffset() - 1, stub.stub.size());
                std::map<QString, int64_t> ours;
                lister.OnRead = [&ours](TArcLister *s, int64_t, int) {
                    if (!s->MemberName.endsWith('\\'))
                        ours[QString::fromUtf8(s->MemberName).replace(QLatin1Char('\\'), QLatin1Char('/'))] =
                            int64_t(s->UnpackedSize);
                };
                EXPECT_TRUE(lister.activate()) << lister.lastError();
                const std::map<QString, int64_t> theirs = unzipListing(sfx);
                EXPECT_EQ(theirs.size(), 3u);
                EXPECT_EQ(ours, theirs);

                const QString mine = m_tmp.filePath(what + QStringLiteral("-ours"));
                const QString other = m_tmp.filePath(what + QStringLiteral("-unzip"));
                QDir().mkpath(mine);
                ASSERT_FALSE(runTool(QStringLiteral("unzip"), {QStringLiteral("-o"), QStringLiteral("-qq"), sfx,
                                                               QStringLiteral("-d"), other}, {}, 1).isNull());
                TUnZIP unit;
                unit.setArchiveFile(sfx);
                unit.ExtractDir = mine;
                unit.UseStoredDirs = true;
                EXPECT_TRUE(unit.Extract()) << unit.lastError();
                EXPECT_EQ(filesUnder(mine), filesUnder(other));
                for (const QString &file : filesUnder(other))
                    EXPECT_TRUE(readAll(mine + QLatin1Char('/') + file) == readAll(other + QLatin1Char('/') + file))
                        << file.toStdString();
            }
        }
    }
}

// Bytes that only look like an end record at the end of a file are no ZIP.
TEST_F(ZipSfx, StrayEndRecordIsNoArchive)
{
    QByteArray fake("#!/bin/sh\necho no archive here\n");
    fake += QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0');
    const QString path = m_tmp.filePath(QStringLiteral("fake.run"));
    ASSERT_TRUE(writeAll(path, fake));
    TArcLister lister;
    lister.setArchiveFile(path);
    EXPECT_EQ(lister.arcType(), TArcType::Unknown);
}

} // namespace
