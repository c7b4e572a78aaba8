// The BH directory reader on hand-made archives (no BH file or BH tool could
// be found): the 37-byte header's fields, the end at a header without its
// signature or with a header size of 0, a self-extractor's archive behind its
// stub, hostile lengths, damage sweeps and the fuzz target's properties.
#include "archive/ArcLister.h"

#include "ArcFixtures.h"
#include "CabFixtures.h"
#include "Mutate.h"
#include "../../fuzz/ArchiveProperties.h"

#include <gtest/gtest.h>

#include <random>

using namespace arcfix;

namespace {

Listing listBh(const QByteArray &bytes, TArcType type = TArcType::BH)
{
    TArcLister lister;
    lister.setArchiveData(bytes, QStringLiteral("hand.bh"));
    EXPECT_EQ(lister.arcType(), type);
    return listArchive(lister);
}

const std::vector<BhMember> kTwo = {
    {.name = "DOCS\\README.TXT", .packed = "packed bytes", .original = 100, .crc = 0xCAFEF00D, .method = 2,
     .attr = 0x21},
    {.name = "a/b.dat", .packed = "xyz", .original = 3, .crc = 0x01020304, .method = 0, .dos = 0,
     .madeBy = 0x20, .needed = 0x12},
};

} // namespace

TEST(Bh, HeaderFields)
{
    const Listing got = listBh(bhOf(kTwo));
    ASSERT_TRUE(got.ok) << got.error;
    ASSERT_EQ(got.members.size(), 2u);
    EXPECT_EQ(got.members[0].name, QByteArray("DOCS\\README.TXT"));
    EXPECT_EQ(got.members[0].size, 100u);
    EXPECT_EQ(got.members[0].packed, 12u);
    EXPECT_EQ(got.members[0].crc, 0xCAFEF00Du);
    EXPECT_EQ(got.members[0].method, 2);
    EXPECT_EQ(got.members[0].attr, 0x21u);
    EXPECT_EQ(DosDateTimeToIso(got.members[0].dos), QStringLiteral("2003-03-12T11:20:52"));
    EXPECT_EQ(got.members[1].name, QByteArray("a\\b.dat"));
    EXPECT_EQ(DosDateTimeToIso(got.members[1].dos), QStringLiteral("1980-01-01T00:00:00")); // no date
    TArcLister lister;
    lister.setArchiveData(bhOf(kTwo), QStringLiteral("hand.bh"));
    uint8_t madeBy = 0, needed = 0;
    lister.OnRead = [&](TArcLister *s, int64_t, int n) {
        if (n == 2) {
            madeBy = s->VersionMadeBy;
            needed = s->VersionNeeded;
        }
    };
    EXPECT_TRUE(lister.activate());
    EXPECT_EQ(madeBy, 0x20);
    EXPECT_EQ(needed, 0x12);
}

TEST(Bh, EndsAndHostileLengths)
{
    struct Case {
        const char *what;
        QByteArray bytes;
        int error;
        size_t members;
    };
    std::vector<BhMember> zeroSize = kTwo;
    zeroSize[1].headerSize = 0;
    std::vector<BhMember> longName = kTwo;
    longName[1].nameLengthDelta = 60000;
    std::vector<BhMember> longData = kTwo;
    const QByteArray bigPacked = bhOf({kTwo[0]}).left(15);
    const Case cases[] = {
        {"trailing garbage ends the list", bhOf(kTwo) + QByteArray(64, 'g'), 0, 2},
        {"header size 0 ends the list", bhOf(zeroSize), 0, 1},
        {"name length past the end", bhOf(longName), ArcErrReadFile, 1},
        {"packed size past the end", [] {
             QByteArray b = bhOf(kTwo);
             put32(b, 15, 0xFFFFFFF0);
             return b;
         }(), ArcErrReadFile, 0},
        {"cut inside the name", bhOf(kTwo).left(37 + 5), ArcErrReadFile, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Listing got = listBh(c.bytes);
        EXPECT_EQ(got.error, c.error);
        EXPECT_EQ(got.members.size(), c.members);
    }
}

TEST(Bh, SelfExtractorStub)
{
    // An executable whose MZ header puts the end of its image where the archive starts.
    QByteArray exe(600, '\0');
    exe[0] = 'M';
    exe[1] = 'Z';
    put16(exe, 2, 600 % 512); // bytes on the last page
    put16(exe, 4, 2);         // pages
    const Listing got = listBh(exe + bhOf(kTwo), TArcType::BHExe);
    ASSERT_TRUE(got.ok) << got.error;
    EXPECT_EQ(got.members.size(), 2u);
}

TEST(Bh, DamageSweepsAndFuzzProperties)
{
    const QByteArray whole = bhOf(kTwo);
    for (qsizetype n = 6; n < whole.size(); ++n) {
        const Listing got = listBh(whole.left(n));
        EXPECT_TRUE(got.ok || got.error == ArcErrReadFile) << n;
    }
    std::mt19937 rng(1995);
    EXPECT_EQ(BhFinding(whole), QString());
    for (int round = 0; round < 300; ++round)
        EXPECT_EQ(BhFinding(MutateSeed(whole, rng)), QString()) << round;
}
