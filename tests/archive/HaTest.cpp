// The HA directory reader: every corpus archive against HA's own listing
// (names with their folders, sizes, CRC-32, method, the stored time), the
// truncated archive against its error, hand-made headers with hostile
// lengths, damage sweeps, and the fuzz target's properties replayed.
#include "archive/ArcLister.h"

#include "ArcFixtures.h"
#include "CabFixtures.h"
#include "Corpus.h"
#include "Mutate.h"
#include "ScopedTimeZone.h"
#include "../../fuzz/ArchiveProperties.h"

#include <gtest/gtest.h>

#include <random>

using namespace arcfix;

namespace {

const std::map<QString, int> kMethods = {{QStringLiteral("CPY"), 0}, {QStringLiteral("ASC"), 1},
                                         {QStringLiteral("HSC"), 2}, {QStringLiteral("DIR"), 14}};

// One member header: version 2 and method, sizes, CRC, Unix time, path, name, Unix info, data.
QByteArray haMember(int method, const QByteArray &path, const QByteArray &name, const QByteArray &data,
                    uint32_t time = 0x2DFEF570, int64_t packedDelta = 0)
{
    QByteArray b;
    b.append(char(0x20 | method));
    put32(b, uint32_t(data.size() + packedDelta));
    put32(b, uint32_t(data.size()));
    put32(b, 0x12345678);
    put32(b, time);
    b += path + '\0' + name + '\0';
    b += QByteArray("\x07\x02\xa4\x01\0\0\0\0", 8);
    return b + data;
}

QByteArray haOf(const QByteArray &members, uint16_t count = 1)
{
    QByteArray b("HA");
    put16(b, count);
    return b + members;
}

Listing listHa(const QByteArray &bytes)
{
    TArcLister lister;
    lister.setArchiveData(bytes, QStringLiteral("hand.ha"));
    EXPECT_EQ(lister.arcType(), TArcType::HA);
    return listArchive(lister);
}

} // namespace

// The time is the one HA stores (Unix, UTC), not the time of listing; HA's listing prints it
// in the local zone, UTC here as when the manifests were made.
TEST(Ha, CorpusListingMatchesReference)
{
    QUILLON_NEED_CORPUS();
    ScopedTimeZone utc("UTC");
    const QStringList archives = corpusArchives("ha");
    ASSERT_GE(archives.size(), 8);
    for (const QString &path : archives) {
        SCOPED_TRACE(path.toStdString());
        const std::vector<QJsonObject> lines = manifestLines(path);
        TArcLister lister;
        lister.setArchiveFile(path);
        ASSERT_EQ(lister.arcType(), TArcType::HA);
        const Listing got = listArchive(lister);
        const std::vector<QJsonObject> want = manifestOf(lines, "member", "ha");
        if (manifestExpect(lines).startsWith(QLatin1String("damaged"))) {
            // HA lists nothing of it; we keep the whole members before the cut.
            EXPECT_FALSE(got.ok);
            EXPECT_EQ(got.error, ArcErrReadFile);
            EXPECT_EQ(got.members.size(), 1u);
            continue;
        }
        ASSERT_TRUE(got.ok) << got.error;
        ASSERT_EQ(got.members.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            const QJsonObject &w = want[i];
            EXPECT_EQ(got.members[i].name, w.value(QStringLiteral("path")).toString().replace(QLatin1Char('/'), QLatin1Char('\\')).toUtf8());
            EXPECT_EQ(got.members[i].size, uint64_t(w.value(QStringLiteral("size")).toInteger()));
            EXPECT_EQ(got.members[i].packed, uint64_t(w.value(QStringLiteral("packed")).toInteger()));
            EXPECT_EQ(got.members[i].crc, w.value(QStringLiteral("crc32")).toString().toUInt(nullptr, 16));
            const QString method = w.value(QStringLiteral("method")).toString();
            EXPECT_EQ(got.members[i].method, kMethods.at(method));
            EXPECT_EQ(got.members[i].attr, method == QLatin1String("DIR") ? 0x10u : 0x20u);
            // HA prints the minute: "1994-06-15  12:34".
            EXPECT_EQ(DosDateTimeToIso(got.members[i].dos).left(16),
                      w.value(QStringLiteral("mtime_min")).toString().replace(QStringLiteral("  "), QStringLiteral("T")));
        }
    }
}

TEST(Ha, HandMadeHeaders)
{
    ScopedTimeZone utc("UTC");
    struct Case {
        const char *what;
        QByteArray bytes;
        int error;
        std::vector<QByteArray> names;
    };
    const Case cases[] = {
        {"folder path with HA's separators", haOf(haMember(0, "A\xff" "B\xff", "C.TXT", "data")), 0, {"A\\B\\C.TXT"}},
        {"special entry listed", haOf(haMember(15, "", "fifo", "")), 0, {"fifo"}},
        {"code page 437 name", haOf(haMember(0, "", "caf\x82", "x")), 0, {"caf\xC3\xA9"}},
        {"packed size past the end", haOf(haMember(2, "", "big", "x", 0, 1000)), ArcErrReadFile, {}},
        {"path without end", haOf(QByteArray(1, 0x20) + QByteArray(16, '\1') + QByteArray(40, 'p')), ArcErrReadFile, {}},
        {"path too long", haOf(haMember(0, QByteArray(5000, 'p'), "n", "")), ArcErrBadFileHeader, {}},
        {"no member header: the end", haOf(haMember(0, "", "one", "1") + QByteArray(40, '\x07')), 0, {"one"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Listing got = listHa(c.bytes);
        EXPECT_EQ(got.error, c.error);
        std::vector<QByteArray> names;
        for (const ListedMember &m : got.members)
            names.push_back(m.name);
        EXPECT_EQ(names, c.names);
    }
    // The stored time: 0x2DFEF570 is 1994-06-15 12:34:56 UTC.
    const Listing dated = listHa(haOf(haMember(1, "", "t", "x")));
    ASSERT_EQ(dated.members.size(), 1u);
    EXPECT_EQ(DosDateTimeToIso(dated.members[0].dos), QStringLiteral("1994-06-15T12:34:56"));
}

TEST(Ha, DamageSweepsAndFuzzProperties)
{
    QUILLON_NEED_CORPUS();
    std::mt19937 rng(4711);
    for (const char *name : {"ha_tree_dirs.ha", "unarc_ha_copy.ha"}) {
        const QByteArray whole = readAll(testcorpus::ArchiveFile("ha", QString::fromLatin1(name)));
        ASSERT_FALSE(whole.isEmpty());
        for (qsizetype n = 6; n < std::min<qsizetype>(whole.size(), 2000); ++n) {
            const Listing got = listHa(whole.left(n));
            EXPECT_TRUE(got.ok || got.error == ArcErrReadFile || got.error == ArcErrBadFileHeader) << n;
        }
        EXPECT_EQ(HaFinding(whole), QString());
        for (int round = 0; round < 100; ++round)
            EXPECT_EQ(HaFinding(MutateSeed(whole, rng)), QString()) << round;
    }
}
