// The archive fuzz targets' own seeds, replayed as a plain test: each is
// listed and extracted as the targets do (as .zip, .tar and .gz), and what
// they hold is checked where the seed stands for a case: the sparse forms
// list their real size, the self-extractors list their member, the gzip with
// an understated size is refused as damaged, the Deflate64 member extracts. Every name listed is relative
// and leads nowhere up.
#include "ArcFixtures.h"

#include "archive/ArcLister.h"
#include "archive/Extract.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace arcfix;

TEST(ArcSeeds, ListAndExtractAsTheFuzzTargetsDo)
{
    const QDir seeds(QStringLiteral(QUILLON_ARC_SEEDS));
    const QStringList names = seeds.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 8) << seeds.path().toStdString();
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = readAll(seeds.filePath(name));
        ASSERT_FALSE(bytes.isEmpty());
        const QString ext = QFileInfo(name).suffix();

        TArcLister lister;
        lister.setArchiveData(bytes, QStringLiteral("seed.") + ext);
        QList<QPair<QByteArray, uint64_t>> members;
        lister.OnRead = [&members](TArcLister *s, int64_t, int) { members.append({s->MemberName, s->UnpackedSize}); };
        EXPECT_TRUE(lister.activate()) << lister.lastError();
        // Our own seeds store sane names: relative, and no part leads up.
        for (const auto &member : std::as_const(members)) {
            const QByteArray &memberName = member.first;
            EXPECT_FALSE(memberName.startsWith('\\') || memberName.startsWith('/')) << memberName.constData();
            EXPECT_FALSE(memberName.split('\\').contains("..")) << memberName.constData();
        }
        if (name.startsWith(QLatin1String("sparse-"))) {
            ASSERT_FALSE(members.isEmpty());
            EXPECT_EQ(members.front(), qMakePair(QByteArray("holes.bin"), uint64_t(60000)));
        } else if (name.startsWith(QLatin1String("sfx-"))) {
            EXPECT_EQ(lister.arcType(), TArcType::ZipExe);
            EXPECT_EQ(members, (QList<QPair<QByteArray, uint64_t>>{{QByteArray("plain.txt"), 6}}));
        }

        QTemporaryDir out;
        ASSERT_TRUE(out.isValid());
        std::unique_ptr<TUnBase> unit = MakeExtractor(ArchiveExtensionIndex(QStringLiteral("seed.") + ext));
        ASSERT_TRUE(unit);
        unit->setArchiveData(bytes, QStringLiteral("seed.") + ext);
        unit->ExtractDir = out.path();
        unit->UseStoredDirs = true;
        const bool ok = unit->Extract();
        if (name == QLatin1String("gzip-understated-size.gz")) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(unit->lastError(), 25140);
            EXPECT_TRUE(filesUnder(out.path()).isEmpty());
        } else {
            EXPECT_TRUE(ok) << unit->lastError();
            EXPECT_FALSE(filesUnder(out.path()).isEmpty());
        }
        if (name == QLatin1String("zip-deflate64.zip")) {
            // Deflate64: 34,000 bytes of text, a line break and the same text again, 34,001 bytes
            // back (a distance code of Deflate64's own).
            const QByteArray far = readAll(out.filePath(QStringLiteral("far.txt")));
            ASSERT_EQ(far.size(), 68001);
            EXPECT_EQ(far.left(34000), far.mid(34001));
            EXPECT_EQ(far[34000], '\n');
        }
    }
}
