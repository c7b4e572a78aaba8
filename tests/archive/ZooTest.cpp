// ZOO archives: every corpus file listed and extracted against its manifest,
// the archive and member comments, hand-made entry chains (deleted entries,
// long names and folders, chains that loop or run backwards, damaged
// headers), ZOO's LZW on hand-made codes, damage sweeps, and the fuzz
// target's properties replayed.
#include "archive/ArcErrors.h"
#include "archive/ArchiveTypes.h"
#include "archive/decoders/ArcDecoders.h"
#include "archive/decoders/Crc32.h"

#include "ArcFixtures.h"
#include "Corpus.h"
#include "Crc16Fixtures.h"
#include "Manifest.h"
#include "Mutate.h"

#include <gtest/gtest.h>

#include <random>

QString ZooFuzzFinding(const QByteArray &bytes); // fuzz/ZooFuzz.cpp

namespace {

using namespace crc16fix;

const MakeUnit kMakeUnZOO = [] { return MakeUnZOO(); };

using arcfix::ZooEntry;
using arcfix::ZooLayout;
using arcfix::zooOf;

// Sets the next-entry offset of entry i.
QByteArray withNext(ZooLayout z, size_t i, uint32_t next)
{
    arcfix::put32(z.bytes, z.entryAt[i] + 6, next);
    return z.bytes;
}

TEST(ZooList, CorpusMatchesManifests)
{
    QUILLON_NEED_CORPUS();
    const QStringList archives = testcorpus::ManifestArchives("zoo");
    ASSERT_EQ(archives.size(), 10);
    for (const QString &path : archives) {
        SCOPED_TRACE(path.toStdString());
        const testcorpus::Manifest manifest = testcorpus::LoadManifest(path);
        const ListResult got = listFile(path);
        const std::vector<testcorpus::ManifestMember> want = manifest.listedBy(QStringLiteral("lsar"));
        expectListingMatches(got, want, "ZooMethod");
        EXPECT_EQ(got.ok, !manifest.expect.startsWith(QLatin1String("damaged")));
        if (!got.ok) {
            EXPECT_EQ(got.error, ArcErrReadFile);
        }
        for (size_t i = 0; i < std::min(want.size(), got.members.size()); ++i)
            EXPECT_EQ(got.members[i].comment, want[i].json.value(QStringLiteral("comment")).toString().toUtf8());
    }
}

TEST(ZooList, ArchiveComment)
{
    QUILLON_NEED_CORPUS();
    const ListResult got = listFile(testcorpus::ArchiveFile("zoo", QStringLiteral("zoo_comments.zoo")));
    ASSERT_TRUE(got.ok);
    EXPECT_EQ(got.archiveComment, QByteArray("zoo archive comment\n"));
    EXPECT_TRUE(listFile(testcorpus::ArchiveFile("zoo", QStringLiteral("zoo_lzw.zoo"))).archiveComment.isNull());
}

TEST(ZooExtract, CorpusMatchesManifests)
{
    QUILLON_NEED_CORPUS();
    for (const QString &path : testcorpus::ManifestArchives("zoo")) {
        SCOPED_TRACE(path.toStdString());
        const testcorpus::Manifest manifest = testcorpus::LoadManifest(path);
        const ExtractResult got = extract(kMakeUnZOO, path);
        expectExtractionMatches(got, manifest);
        if (manifest.expect.startsWith(QLatin1String("damaged")))
            EXPECT_EQ(got.events, std::vector<int>({ArcErrReadFile}));
        else
            EXPECT_TRUE(got.events.empty()) << got.events.front();
    }
}

struct ChainCase {
    const char *name;
    QByteArray archive;
    std::vector<QByteArray> names; // listed, in order
    int listError;
    std::map<QString, QByteArray> files;
    std::vector<int> extractEvents;
};

std::vector<ChainCase> chainCases()
{
    const QByteArray text("Hello, ZOO world\n");
    const ZooEntry one{"ONE.TXT", text};
    const ZooEntry two{"TWO.TXT", "second\n"};
    const ZooLayout plain = zooOf({one, two});
    QByteArray badMinus = plain.bytes;
    arcfix::put32(badMinus, 28, uint32_t(-40));
    QByteArray badTag = plain.bytes;
    badTag[20] = 0;
    ZooEntry longer = one;
    longer.longName = "a long name.text";
    longer.folder = "dir/sub";
    ZooEntry old = two;
    old.type = 1;
    ZooEntry up = one;
    up.folder = "..";
    ZooEntry gone = two;
    gone.deleted = true;
    ZooEntry unknown = two;
    unknown.method = 7;
    unknown.packed = "????";
    QByteArray badVar = zooOf({longer}).bytes;
    badVar[42 + 51] = 3; // the variable part's length, shorter than its two names
    const std::map<QString, QByteArray> both{{"ONE.TXT", text}, {"TWO.TXT", "second\n"}};
    return {
        {"two members", plain.bytes, {"ONE.TXT", "TWO.TXT"}, 0, both, {}},
        {"no members", zooOf({}).bytes, {}, 0, {}, {ArcErrNothingToDo}},
        {"a deleted entry is passed over", zooOf({one, gone, two}).bytes, {"ONE.TXT", "TWO.TXT"}, 0, both, {}},
        {"long name and folder", zooOf({longer}).bytes, {"dir\\sub\\a long name.text"}, 0,
         {{"dir/sub/a long name.text", text}}, {}},
        {"an entry of the first type", zooOf({one, old}).bytes, {"ONE.TXT", "TWO.TXT"}, 0, both, {}},
        {"a folder leading up", zooOf({up}).bytes, {"..\\ONE.TXT"}, 0, {{"ONE.TXT", text}}, {}},
        {"unknown method", zooOf({unknown, one}).bytes, {"TWO.TXT", "ONE.TXT"}, 0, {{"ONE.TXT", text}},
         {ArcErrUnsupportedMethod}},
        {"a chain pointing at itself", withNext(plain, 1, uint32_t(plain.entryAt[1])), {"ONE.TXT"},
         ArcErrBadFileHeader, {{"ONE.TXT", text}}, {ArcErrBadFileHeader}},
        {"a chain running back", withNext(plain, 1, uint32_t(plain.entryAt[0])), {"ONE.TXT"}, ArcErrBadFileHeader,
         {{"ONE.TXT", text}}, {ArcErrBadFileHeader}},
        {"a chain leaving the file", withNext(plain, 0, 1u << 30), {"ONE.TXT"}, ArcErrReadFile, {{"ONE.TXT", text}},
         {}},
        {"data past the end", withNext(plain, 1, uint32_t(plain.bytes.size())).replace(plain.entryAt[1] + 24, 4,
                                                                                      QByteArray("\xFF\xFF\0\0", 4)),
         {"ONE.TXT", "TWO.TXT"}, ArcErrReadFile, {{"ONE.TXT", text}}, {ArcErrReadFile}},
        {"the start offset without its complement", badMinus, {}, ArcErrHeaderId, {}, {ArcErrHeaderId}},
        {"no tag in the archive header", badTag, {}, ArcErrHeaderId, {}, {ArcErrHeaderId}},
        {"names longer than the variable part", badVar, {}, ArcErrBadFileHeader, {}, {ArcErrBadFileHeader}},
    };
}

TEST(ZooList, HandMadeChains)
{
    for (const ChainCase &c : chainCases()) {
        SCOPED_TRACE(c.name);
        const ListResult listed = listBytes(c.archive, QStringLiteral("case.zoo"));
        EXPECT_EQ(listed.ok, c.listError == 0);
        EXPECT_EQ(listed.error, c.listError);
        std::vector<QByteArray> names;
        for (const Listed &m : listed.members)
            names.push_back(m.name);
        EXPECT_EQ(names, c.names);
        const ExtractResult out = extract(kMakeUnZOO, QStringLiteral("case.zoo"), c.archive);
        EXPECT_EQ(out.files, c.files);
        EXPECT_EQ(out.events, c.extractEvents);
    }
}

TEST(ZooList, CommentsOfHandMadeArchive)
{
    ZooEntry one{"ONE.TXT", "1"};
    one.comment = "first\r\n\x81";
    const ListResult got = listBytes(zooOf({one, {"TWO.TXT", "2"}}, "archive\n").bytes, QStringLiteral("c.zoo"));
    ASSERT_TRUE(got.ok);
    EXPECT_EQ(got.archiveComment, QByteArray("archive\n"));
    ASSERT_EQ(got.members.size(), 2u);
    EXPECT_EQ(got.members[0].comment, QByteArray("first\r\n\xC3\xBC")); // code page 437
    EXPECT_TRUE(got.members[1].comment.isNull());
}

TEST(ZooDecoders, LzwOnHandMadeCodes)
{
    using S = DecodeStatus;
    struct Case {
        const char *name;
        QByteArray packed;
        uint64_t size;
        S status;
        QByteArray output;
    };
    const Case cases[] = {
        {"clear, byte, the string being made", lzwCodes({256, 'A', 258, 257}), 3, S::Ok, "AAA"},
        {"no clear in front", lzwCodes({'A', 'B', 258, 257}), 4, S::Ok, "ABAB"},
        {"clear in the middle", lzwCodes({'A', 'B', 256, 'C', 'D', 258, 257}), 6, S::Ok, "ABCDCD"},
        {"end before the size", lzwCodes({256, 'A', 257}), 2, S::DataError, {}},
        {"code past the next free", lzwCodes({256, 'A', 300}), 3, S::DataError, {}},
        {"first code no byte", lzwCodes({300}), 1, S::DataError, {}},
        {"input ends", lzwCodes({256, 'A'}), 5, S::Truncated, {}},
    };
    const TDecoderEntry *entry = FindZooDecoder(1);
    ASSERT_NE(entry, nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray got;
        EXPECT_EQ(decodeBytes(*entry, 1, c.packed, c.size, &got), c.status);
        if (c.status == S::Ok) {
            EXPECT_EQ(got, c.output);
        }
    }
    EXPECT_EQ(FindZooDecoder(3), nullptr);
}

TEST(ZooDamage, PrefixesAndMutations)
{
    QUILLON_NEED_CORPUS();
    struct Sweep {
        const char *file;
        int prefixStep;
        int flips;
    };
    for (const Sweep &s : {Sweep{"patool_t.zoo", 1, 200}, Sweep{"zoo_tree.zoo", 17, 150},
                           Sweep{"trogzoo_sample.zoo", 3, 150}, Sweep{"zoo_lzw.zoo", 211, 80}}) {
        SCOPED_TRACE(s.file);
        const QByteArray bytes = arcfix::readAll(testcorpus::ArchiveFile("zoo", QString::fromLatin1(s.file)));
        ASSERT_FALSE(bytes.isEmpty());
        sweepDamage(bytes, QStringLiteral("damage.zoo"), kMakeUnZOO, s.prefixStep, s.flips);
    }
}

TEST(ZooFuzzReplay, CorpusAndMutationsHoldTheProperties)
{
    QUILLON_NEED_CORPUS();
    std::mt19937 rng(19910709);
    for (const QString &path : testcorpus::ManifestArchives("zoo")) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray bytes = arcfix::readAll(path);
        EXPECT_EQ(ZooFuzzFinding(bytes), QString());
        for (int round = 0; round < 8; ++round)
            EXPECT_EQ(ZooFuzzFinding(MutateSeed(bytes, rng)), QString());
    }
    for (const ChainCase &c : chainCases())
        EXPECT_EQ(ZooFuzzFinding(c.archive), QString()) << c.name;
}

} // namespace
