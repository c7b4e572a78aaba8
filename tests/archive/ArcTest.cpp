// The ARC family (ARC, PAK): every corpus file listed and extracted against
// its manifest, hand-made headers (method 1's short header, information
// records, sizes past the end), the decoders' answers to hostile data, damage
// sweeps, and the fuzz target's properties replayed.
#include "archive/ArcErrors.h"
#include "archive/ArcSources.h"
#include "archive/ArchiveTypes.h"
#include "archive/Extract.h"
#include "archive/decoders/ArcDecoders.h"
#include "archive/decoders/Crc32.h"

#include "ArcFixtures.h"
#include "Corpus.h"
#include "Crc16Fixtures.h"
#include "Manifest.h"
#include "Mutate.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <random>
#include <string>

QString ArcFuzzFinding(const QByteArray &bytes); // fuzz/ArcFuzz.cpp

namespace {

using namespace crc16fix;

const MakeUnit kMakeUnARC = [] { return MakeUnARC(); };

// 1994-06-15 12:34:56 as DOS date and time.
constexpr uint16_t kDate = (14 << 9) | (6 << 5) | 15;
constexpr uint16_t kTime = (12 << 11) | (34 << 5) | 28;

// One ARC header and its data. unpacked < 0: the size of data; method 1 writes the short header.
QByteArray arcMember(int method, const QByteArray &name, const QByteArray &packed, const QByteArray &data,
                     int64_t unpacked = -1)
{
    QByteArray b;
    b.append('\x1A').append(char(method));
    b.append(name.left(13).leftJustified(13, '\0', true));
    arcfix::put32(b, uint32_t(packed.size()));
    arcfix::put16(b, kDate);
    arcfix::put16(b, kTime);
    arcfix::put16(b, Crc16ArcUpdate(0, data.constData(), size_t(data.size())));
    if (method != 1)
        arcfix::put32(b, uint32_t(unpacked < 0 ? data.size() : unpacked));
    return b + packed;
}

const QByteArray kEnd("\x1A\x00", 2);

TEST(ArcList, CorpusMatchesManifests)
{
    QUILLON_NEED_CORPUS();
    const QStringList archives = testcorpus::ManifestArchives("arc");
    ASSERT_EQ(archives.size(), 14);
    for (const QString &path : archives) {
        SCOPED_TRACE(path.toStdString());
        const testcorpus::Manifest manifest = testcorpus::LoadManifest(path);
        const ListResult got = listFile(path);
        // lsar lists every header, the damaged file's cut-off member included, as this reader does.
        expectListingMatches(got, manifest.listedBy(QStringLiteral("lsar")), "ARCMethod");
        if (manifest.expect.startsWith(QLatin1String("damaged"))) {
            EXPECT_FALSE(got.ok);
            EXPECT_EQ(got.error, ArcErrReadFile);
        } else {
            EXPECT_TRUE(got.ok) << got.error;
            EXPECT_TRUE(got.archiveComment.isNull());
        }
    }
}

TEST(ArcExtract, CorpusMatchesManifests)
{
    QUILLON_NEED_CORPUS();
    for (const QString &path : testcorpus::ManifestArchives("arc")) {
        SCOPED_TRACE(path.toStdString());
        const testcorpus::Manifest manifest = testcorpus::LoadManifest(path);
        const ExtractResult got = extract(kMakeUnARC, path);
        if (manifest.expect.contains(QLatin1String("refuse"))) {
            // PAK's crushing: listed, never decoded.
            EXPECT_EQ(got.events, std::vector<int>({ArcErrUnsupportedMethod, ArcErrNothingToDo}));
            EXPECT_TRUE(got.files.empty());
            continue;
        }
        expectExtractionMatches(got, manifest);
        if (manifest.expect.startsWith(QLatin1String("damaged")))
            EXPECT_EQ(got.events, std::vector<int>({ArcErrReadFile}));
        else
            EXPECT_TRUE(got.events.empty()) << got.events.front();
    }
}

TEST(ArcExtract, DriverExtractsArcAndLeavesPakAlone)
{
    QUILLON_NEED_CORPUS();
    QTemporaryDir dir;
    const QString pak = testcorpus::ArchiveFile("arc", QStringLiteral("unarc_pak_license_crunched.pak"));
    EXPECT_TRUE(ExtractFromArchive(7, pak, dir.path(), false, false, false, nullptr, QStringLiteral("*.*")));
    EXPECT_TRUE(arcfix::filesUnder(dir.path()).isEmpty());
    const QString arc = testcorpus::ArchiveFile("arc", QStringLiteral("arc_auto.arc"));
    EXPECT_TRUE(ExtractFromArchive(1, arc, dir.path(), false, false, false, nullptr, QStringLiteral("*.TXT")));
    EXPECT_EQ(arcfix::filesUnder(dir.path()), QStringList({"GPL2.TXT", "ODDSEC.TXT", "README.TXT"}));
}

struct HeaderCase {
    const char *name;
    QByteArray archive;
    std::vector<QByteArray> names; // listed, in order
    int listError;                 // 0: the listing succeeds
    std::map<QString, QByteArray> files;
    std::vector<int> extractEvents;
    QString refused{};             // the member OnBegin refuses
};

std::vector<HeaderCase> headerCases()
{
    const QByteArray text("Hello, ARC world\n");
    const QByteArray stored2 = arcMember(2, "TWO.TXT", text, text);
    return {
        {"method 1's short header", arcMember(1, "ONE.TXT", text, text) + stored2 + kEnd,
         {"ONE.TXT", "TWO.TXT"}, 0, {{"ONE.TXT", text}, {"TWO.TXT", text}}, {}},
        {"information record passed over", stored2 + arcMember(20, "", "info", {}) + kEnd, {"TWO.TXT"}, 0,
         {{"TWO.TXT", text}}, {}},
        {"no end mark", stored2, {"TWO.TXT"}, 0, {{"TWO.TXT", text}}, {}},
        {"bytes after the end mark", stored2 + kEnd + "PAK's extra records", {"TWO.TXT"}, 0, {{"TWO.TXT", text}}, {}},
        {"a name of 13 bytes without end", arcMember(2, "THIRTEEN.CHRS", text, text) + kEnd, {"THIRTEEN.CHRS"}, 0,
         {{"THIRTEEN.CHRS", text}}, {}},
        {"code page 437 and a folder", arcMember(2, "DIR/\x81.TXT", text, text) + kEnd, {"DIR\\\xC3\xBC.TXT"}, 0,
         {{"DIR/\xC3\xBC.TXT", text}}, {}},
        {"a name leading up", arcMember(2, "../UP.TXT", text, text) + kEnd, {"..\\UP.TXT"}, 0,
         {{"UP.TXT", text}}, {}},
        {"packed size past the end", arcMember(2, "BIG.TXT", text, text).replace(15, 4, "\xFF\xFF\xFF\x7F"),
         {"BIG.TXT"}, ArcErrReadFile, {}, {ArcErrReadFile, ArcErrNothingToDo}},
        {"unknown method", stored2 + arcMember(12, "NEW.TXT", text, text) + kEnd, {"TWO.TXT", "NEW.TXT"}, 0,
         {{"TWO.TXT", text}}, {ArcErrUnsupportedMethod}},
        {"a wrong CRC is kept and warned", stored2.left(23) + QByteArray(2, '\0') + stored2.mid(25) + kEnd, {"TWO.TXT"}, 0,
         {{"TWO.TXT", text}}, {ArcErrCrc}},
        {"unpacked size beyond the data", arcMember(2, "LONG.TXT", text, text, 1000) + kEnd, {"LONG.TXT"}, 0, {},
         {ArcErrReadFile, ArcErrNothingToDo}},
        {"a member refused by OnBegin is a skipped file", stored2 + arcMember(2, "ONE.TXT", text, text) + kEnd,
         {"TWO.TXT", "ONE.TXT"}, 0, {{"ONE.TXT", text}}, {ArcErrSkippedFile}, QStringLiteral("TWO.TXT")},
        {"the only member refused", stored2 + kEnd, {"TWO.TXT"}, 0, {}, {ArcErrSkippedFile, ArcErrNothingToDo},
         QStringLiteral("TWO.TXT")},
    };
}

TEST(ArcList, HandMadeHeaders)
{
    for (const HeaderCase &c : headerCases()) {
        SCOPED_TRACE(c.name);
        const ListResult listed = listBytes(c.archive, QStringLiteral("case.arc"));
        EXPECT_EQ(listed.ok, c.listError == 0);
        EXPECT_EQ(listed.error, c.listError);
        std::vector<QByteArray> names;
        for (const Listed &m : listed.members)
            names.push_back(m.name);
        EXPECT_EQ(names, c.names);
        const ExtractResult out = extract(kMakeUnARC, QStringLiteral("case.arc"), c.archive, c.refused);
        EXPECT_EQ(out.files, c.files);
        EXPECT_EQ(out.events, c.extractEvents);
    }
}

// An ARC behind a DOS stub whose MZ header gives the stub's length: listed and extracted
// from where the stub ends.
TEST(ArcList, BehindAnExecutableStub)
{
    QByteArray stub(512, '\0');
    stub[0] = 'M';
    stub[1] = 'Z';
    stub[4] = 2; // two pages of 512 bytes, the last one full: the archive starts at 512
    const QByteArray text("inside the stub\n");
    const QByteArray bytes = stub + arcMember(2, "IN.TXT", text, text) + kEnd;
    const ListResult listed = listBytes(bytes, QStringLiteral("sfx.exe"));
    ASSERT_TRUE(listed.ok) << listed.error;
    ASSERT_EQ(listed.members.size(), 1u);
    EXPECT_EQ(listed.members[0].name, QByteArray("IN.TXT"));
    const ExtractResult out = extract(kMakeUnARC, QStringLiteral("sfx.exe"), bytes);
    EXPECT_EQ(out.files, (std::map<QString, QByteArray>{{"IN.TXT", text}}));
}

// The file source serves the many small header reads of a listing from a read-ahead window;
// reads of every size at every kind of offset give the file's bytes, and none past the end.
TEST(ArcList, FileSourceReadsThroughItsWindow)
{
    QTemporaryDir dir;
    std::mt19937 rng(64);
    QByteArray bytes(200000, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(rng());
    const QString path = dir.filePath(QStringLiteral("bytes.bin"));
    ASSERT_TRUE(arcfix::writeAll(path, bytes));
    TFileSource src(path);
    ASSERT_TRUE(src.isOpen());
    for (int i = 0; i < 3000; ++i) {
        const int64_t n = i % 10 == 0 ? int64_t(rng() % 70000) : int64_t(rng() % 300);
        const int64_t at = int64_t(rng() % uint32_t(bytes.size() + 100));
        QByteArray got(n, '\0');
        const bool inside = at + n <= bytes.size();
        ASSERT_EQ(src.readAt(at, got.data(), n), inside) << at << " " << n;
        if (inside) {
            ASSERT_EQ(got, bytes.mid(at, n)) << at << " " << n;
        }
    }
}

struct DecodeCase {
    const char *name;
    int method;
    QByteArray packed;
    uint64_t size;
    DecodeStatus status;
    QByteArray output; // checked when the status is Ok
};

std::vector<DecodeCase> decodeCases()
{
    using S = DecodeStatus;
    const QByteArray crunch8("\x0C");
    // Squeeze trees: node count, then (left, right) per node; leaves are -(byte + 1), -257 ends.
    const QByteArray treeAEnd("\x01\x00\xBE\xFF\xFF\xFE", 6); // 0: 'A', 1: end
    return {
        {"packed: a run", 3, QByteArray("A\x90\x05", 3), 5, S::Ok, "AAAAA"},
        {"packed: the marker itself", 3, QByteArray("\x90\x00\x90\x03", 4), 3, S::Ok, "\x90\x90\x90"},
        {"packed: a run capped at the size", 3, QByteArray("A\x90\xFF", 3), 10, S::Ok, "AAAAAAAAAA"},
        {"packed: input ends", 3, "A", 3, S::Truncated, {}},
        {"squeezed: two bytes", 4, treeAEnd + QByteArray("\x04", 1), 2, S::Ok, "AA"},
        {"squeezed: end before the size", 4, treeAEnd + QByteArray("\x04", 1), 3, S::DataError, {}},
        {"squeezed: 257 nodes", 4, QByteArray("\x01\x01", 2), 1, S::DataError, {}},
        {"squeezed: a child past the nodes", 4, QByteArray("\x01\x00\x05\x00\xBE\xFF", 6), 1, S::DataError, {}},
        {"squeezed: a leaf past the end mark", 4, QByteArray("\x01\x00\xFD\xFE\xBE\xFF", 6), 1, S::DataError, {}},
        {"squeezed: a node that is its own child", 4, QByteArray("\x01\x00\x00\x00\x00\x00\xFF\xFF", 8), 1,
         S::Truncated, {}},
        {"squeezed: no nodes", 4, QByteArray("\x00\x00", 2), 1, S::DataError, {}},
        {"crunched: a repeated string", 8, crunch8 + lzwCodes({'A', 'B', 257, 259}), 7, S::Ok, "ABABABA"},
        {"crunched: code size other than 12", 8, QByteArray("\x0B") + lzwCodes({'A'}), 1, S::DataError, {}},
        {"crunched: first code no byte", 8, crunch8 + lzwCodes({300}), 1, S::DataError, {}},
        {"crunched: code past the next free", 8, crunch8 + lzwCodes({'A', 300}), 3, S::DataError, {}},
        {"crunched: input ends", 8, crunch8 + lzwCodes({'A'}), 5, S::Truncated, {}},
        {"squashed: a repeated string", 9, lzwCodes({'A', 'B', 257}), 4, S::Ok, "ABAB"},
        {"squashed: no run-length stage", 9, lzwCodes({'A', 0x90, 3}), 3, S::Ok, "A\x90\x03"},
        {"crunched (hashed): input ends", 5, "\x41", 1, S::Truncated, {}},
    };
}

TEST(ArcDecoders, HostileAndHandMadeData)
{
    for (const DecodeCase &c : decodeCases()) {
        SCOPED_TRACE(c.name);
        QByteArray got;
        EXPECT_EQ(decodeBytes(*FindArcDecoder(c.method), c.method, c.packed, c.size, &got), c.status);
        if (c.status == DecodeStatus::Ok) {
            EXPECT_EQ(got, c.output);
        }
    }
}

// Random bytes through every method: each decode ends with one of its outcomes.
TEST(ArcDecoders, RandomDataEnds)
{
    std::mt19937 rng(1985);
    for (int method = 1; method <= 9; ++method) {
        const TDecoderEntry *entry = FindArcDecoder(method);
        ASSERT_NE(entry, nullptr);
        for (int round = 0; round < 200; ++round) {
            QByteArray packed(int(rng() % 600), Qt::Uninitialized);
            for (char &b : packed)
                b = char(rng());
            const DecodeStatus s = decodeBytes(*entry, method, packed, rng() % 100000);
            EXPECT_TRUE(s == DecodeStatus::Ok || s == DecodeStatus::DataError || s == DecodeStatus::Truncated);
        }
    }
    EXPECT_EQ(FindArcDecoder(10), nullptr); // PAK's crushing
    EXPECT_EQ(FindArcDecoder(0), nullptr);
}

TEST(ArcDamage, PrefixesAndMutations)
{
    QUILLON_NEED_CORPUS();
    struct Sweep {
        const char *file;
        int prefixStep;
        int flips;
    };
    for (const Sweep &s : {Sweep{"patool_t.arc", 1, 200}, Sweep{"unarc_arc_crunch.arc", 53, 120},
                           Sweep{"arc_squash.arc", 101, 120}, Sweep{"sc_Arc.squeezed.arc", 997, 60}}) {
        SCOPED_TRACE(s.file);
        const QByteArray bytes = arcfix::readAll(testcorpus::ArchiveFile("arc", QString::fromLatin1(s.file)));
        ASSERT_FALSE(bytes.isEmpty());
        sweepDamage(bytes, QStringLiteral("damage.arc"), kMakeUnARC, s.prefixStep, s.flips);
    }
}

TEST(ArcFuzzReplay, CorpusAndMutationsHoldTheProperties)
{
    QUILLON_NEED_CORPUS();
    std::mt19937 rng(20261210);
    for (const QString &path : testcorpus::ManifestArchives("arc")) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray bytes = arcfix::readAll(path);
        EXPECT_EQ(ArcFuzzFinding(bytes), QString());
        for (int round = 0; round < 8; ++round)
            EXPECT_EQ(ArcFuzzFinding(MutateSeed(bytes, rng)), QString());
    }
    for (const HeaderCase &c : headerCases())
        EXPECT_EQ(ArcFuzzFinding(c.archive), QString()) << c.name;
}

} // namespace
