// Listing ZIP archives: every ZIP of the corpus against its reference
// listing (names, sizes, CRCs, dates), damaged copies against the error codes,
// hand-made archives for comments, ZIP64, self-extractor offsets and hostile
// lengths, and a damage sweep (every prefix, seeded byte flips).
#include "archive/ArcLister.h"
#include "archive/UnZIP.h"

#include "ArcFixtures.h"
#include "Corpus.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using arcfix::ZipMember;
using arcfix::zipOf;

struct Listed {
    QByteArray name;
    uint64_t size = 0, packed = 0;
    uint32_t crc = 0;
    uint32_t dos = 0;
    int method = 0;
    QByteArray comment;
    bool hasComment = false;
};

struct ListResult {
    bool ok = false;
    int error = 0;
    std::vector<int> errorEvents;
    std::vector<Listed> members;
    QByteArray archiveComment;
    int totals = -1;
};

ListResult listLister(TArcLister &lister)
{
    ListResult result;
    lister.OnRead = [&](TArcLister *s, int64_t, int) {
        result.members.push_back({s->MemberName, s->UnpackedSize, s->PackedSize, s->MemberCRC, s->MemberDosDate,
                                  s->MethodCode, s->MemberComment, !s->MemberComment.isNull()});
        result.archiveComment = s->ArchiveComment;
    };
    lister.OnTotals = [&](TArcLister *, int n) { result.totals = n; };
    lister.OnError = [&](TZipCommon *, const QString &, const QString &, int code) {
        result.errorEvents.push_back(code);
    };
    result.ok = lister.activate();
    result.error = lister.lastError();
    return result;
}

ListResult listBytes(const QByteArray &data, const QString &name = QStringLiteral("test.zip"))
{
    TArcLister lister;
    lister.setArchiveData(data, name);
    return listLister(lister);
}

QString corpusDir()
{
    return testcorpus::ArchiveDir("zip");
}

// ---- hand-made archives --------------------------------------------------------------

// A member as these tests make it: from a Unix host (version 3.0) and with a CRC that the
// lister only reports, never checks.
ZipMember listed(QByteArray name, QByteArray data, QByteArray comment = {}, QByteArray extra = {},
                 uint32_t crc = 0x12345678, uint16_t flags = 0)
{
    return {.name = std::move(name),
            .data = std::move(data),
            .flags = flags,
            .crc = crc,
            .extra = std::move(extra),
            .comment = std::move(comment),
            .versionMadeBy = 0x031E};
}

// ---- the corpus -------------------------------------------------------------------------

struct Reference {
    QString file;
    QString expect;
    std::vector<Listed> members;
    QString tool;
};

Reference loadReference(const QString &manifestPath)
{
    Reference ref;
    QFile f(manifestPath);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << manifestPath.toStdString();
    std::vector<std::pair<QString, QJsonObject>> members;
    while (!f.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(f.readLine()).object();
        const QString kind = o.value(QStringLiteral("kind")).toString();
        if (kind == QLatin1String("archive"))
            ref.expect = o.value(QStringLiteral("expect")).toString();
        else if (kind == QLatin1String("member"))
            members.emplace_back(o.value(QStringLiteral("tool")).toString(), o);
    }
    // python-zipfile reads the central directory and decodes names as this program
    // does (code page 437 unless UTF-8 is flagged); 7z where it is missing.
    for (const char *tool : {"python-zipfile", "7z"}) {
        for (const auto &[name, o] : members) {
            if (name != QLatin1String(tool))
                continue;
            Listed m;
            m.name = o.value(QStringLiteral("path")).toString().toUtf8();
            m.name.replace('/', '\\');
            m.size = uint64_t(o.value(QStringLiteral("size")).toDouble());
            m.packed = uint64_t(o.value(QStringLiteral("packed")).toDouble());
            m.crc = o.value(QStringLiteral("crc32")).toString().toUInt(nullptr, 16);
            m.method = o.value(QStringLiteral("method_id")).toInt(-1);
            m.comment = o.value(QStringLiteral("dos_datetime_decoded")).toString().toUtf8();
            ref.members.push_back(m);
        }
        if (!ref.members.empty()) {
            ref.tool = QLatin1String(tool);
            break;
        }
    }
    return ref;
}

TEST(ZipList, CorpusMatchesReferenceListings)
{
    QUILLON_NEED_CORPUS();
    QDir dir(corpusDir());
    const QStringList manifests = dir.entryList({QStringLiteral("*.manifest.jsonl")}, QDir::Files, QDir::Name);
    ASSERT_GE(manifests.size(), 38) << "corpus not found at " << corpusDir().toStdString();
    int listed = 0, damaged = 0;
    for (const QString &manifest : manifests) {
        const QString archive = dir.filePath(manifest.chopped(int(strlen(".manifest.jsonl"))));
        SCOPED_TRACE(archive.toStdString());
        const Reference ref = loadReference(dir.filePath(manifest));
        TArcLister lister;
        lister.setArchiveFile(archive);
        ASSERT_TRUE(IsZipFamily(lister.arcType())) << ArcTypeName(lister.arcType());
        const ListResult result = listLister(lister);
        // la_zip_extra_padding.zip has no end record (its reference tools read local
        // headers only); the directory reader refuses it as a cut-off archive.
        if (ref.expect.startsWith(QLatin1String("damaged")) || manifest.startsWith(QLatin1String("la_zip_extra_padding"))) {
            ++damaged;
            EXPECT_FALSE(result.ok);
            EXPECT_EQ(result.error, ArcErrHeaderId); // the central directory was cut off with the end record
            ASSERT_EQ(result.errorEvents.size(), 1u);
            EXPECT_EQ(result.errorEvents[0], ArcErrHeaderId);
            continue;
        }
        ASSERT_TRUE(result.ok) << result.error;
        ++listed;
        ASSERT_EQ(result.members.size(), ref.members.size()) << ref.tool.toStdString();
        EXPECT_EQ(result.totals, int(ref.members.size()));
        for (size_t i = 0; i < ref.members.size(); ++i) {
            const Listed &got = result.members[i];
            const Listed &want = ref.members[i];
            EXPECT_EQ(got.name, want.name);
            EXPECT_EQ(got.size, want.size) << want.name.constData();
            EXPECT_EQ(got.packed, want.packed) << want.name.constData();
            EXPECT_EQ(got.crc, want.crc) << want.name.constData();
            if (want.method >= 0) {
                EXPECT_EQ(got.method, want.method) << want.name.constData();
            }
            if (!want.comment.isEmpty()) { // python's decoded DOS date-time
                EXPECT_EQ(DosDateTimeToIso(got.dos).replace(QLatin1Char('T'), QLatin1Char(' ')).toUtf8(),
                          want.comment)
                    << want.name.constData();
            }
        }
    }
    EXPECT_EQ(damaged, 2);
    EXPECT_GE(listed, 37);
}

TEST(ZipList, CommentsFromCorpus)
{
    QUILLON_NEED_CORPUS();
    TArcLister lister;
    lister.setArchiveFile(corpusDir() + QStringLiteral("/izip_comments.zip"));
    const ListResult result = listLister(lister);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.archiveComment, QByteArray("Archive comment line 1\r\nArchive comment line 2 (zip -z)"));
    ASSERT_EQ(result.members.size(), 3u);
    EXPECT_EQ(result.members[0].comment, QByteArray("member comment for README.TXT"));
    EXPECT_EQ(result.members[2].comment, QByteArray("member comment for ZEROS.BIN"));
}

TEST(ZipList, SelfExtractorFoundByEndRecord)
{
    QUILLON_NEED_CORPUS();
    TArcLister lister;
    lister.setArchiveFile(corpusDir() + QStringLiteral("/izip_unzipsfx_elf.sfx"));
    EXPECT_EQ(lister.arcType(), TArcType::ZipExe);
    EXPECT_GT(lister.startOffset(), 1);
    EXPECT_FALSE(lister.sfxRelative());
    const ListResult result = listLister(lister);
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.members.size(), 2u);
    EXPECT_EQ(result.members[0].name, QByteArray("README.TXT"));
}

TEST(ZipList, FoldersOnlyAreListed)
{
    QUILLON_NEED_CORPUS();
    TArcLister lister;
    lister.setArchiveFile(corpusDir() + QStringLiteral("/izip_folders_only.zip"));
    const ListResult result = listLister(lister);
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.members.size(), 4u);
    for (const Listed &m : result.members)
        EXPECT_TRUE(m.name.endsWith('\\')) << m.name.constData();
}

TEST(ZipList, MemberCommentAndExtraOnSameMember)
{
    const ZipMember a = listed("DIR/A.TXT", "hello", "comment A",
                               QByteArray("\x55\x54\x05\x00\x01\x00\x00\x00\x00", 9));
    const ZipMember b = listed("B.TXT", "world");
    const ListResult result = listBytes(zipOf({a, b}, {.comment = "the archive"}));
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.members.size(), 2u);
    EXPECT_EQ(result.members[0].name, QByteArray("DIR\\A.TXT"));
    EXPECT_EQ(result.members[0].comment, QByteArray("comment A"));
    EXPECT_TRUE(result.members[0].hasComment);
    EXPECT_EQ(result.members[1].name, QByteArray("B.TXT"));
    EXPECT_FALSE(result.members[1].hasComment);
    EXPECT_EQ(result.archiveComment, QByteArray("the archive"));
}

TEST(ZipList, Cp437AndUtf8Names)
{
    const ZipMember dos = listed(QByteArray("\x80\x94.TXT"), "x");                         // Ç ö in code page 437
    const ZipMember utf = listed(QByteArray("\xC3\xA9t\xC3\xA9.TXT"), "y", {}, {}, 1, 0x0800); // été, bit 11
    const ListResult result = listBytes(zipOf({dos, utf}));
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.members.size(), 2u);
    EXPECT_EQ(result.members[0].name, QByteArray("\xC3\x87\xC3\xB6.TXT"));
    EXPECT_EQ(result.members[1].name, QByteArray("\xC3\xA9t\xC3\xA9.TXT"));
}

TEST(ZipList, Zip64EndRecordAndSizes)
{
    ZipMember a = listed("BIG.BIN", "0123456789");
    a.size = 10 + 0x100000000ull; // more than 32 bits can hold
    const ListResult result = listBytes(zipOf({a}, {.zip64 = true}));
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.members.size(), 1u);
    EXPECT_EQ(result.members[0].size, 10u + 0x100000000ull);
    EXPECT_EQ(result.members[0].packed, 10u);
}

TEST(ZipList, AdjustedOffsetsAfterStubFoundByEndRecord)
{
    // An MZ stub of 300 bytes before an archive. With offsets counted from the archive's
    // own start and no string resource, the end record gives the shift; with adjusted
    // (absolute) offsets it is used as it stands.
    const ZipMember a = listed("A.TXT", "abc");
    QByteArray stub(300, 'S');
    stub[0] = 'M';
    stub[1] = 'Z';
    TArcLister relative;
    relative.setArchiveData(stub + zipOf({a}), QStringLiteral("sfx.exe"));
    EXPECT_EQ(relative.arcType(), TArcType::ZipExe);
    EXPECT_EQ(relative.startOffset(), 301);
    const ListResult shifted = listLister(relative);
    ASSERT_TRUE(shifted.ok) << shifted.error;
    ASSERT_EQ(shifted.members.size(), 1u);

    TArcLister lister;
    lister.setArchiveData(stub + zipOf({a}, {.base = 300}), QStringLiteral("sfx.exe"));
    EXPECT_EQ(lister.arcType(), TArcType::ZipExe);
    EXPECT_EQ(lister.startOffset(), 301);
    EXPECT_FALSE(lister.sfxRelative());
    const ListResult result = listLister(lister);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.members.size(), 1u);
    EXPECT_EQ(result.members[0].name, QByteArray("A.TXT"));
}

TEST(ZipList, FileSpecSelectsMembers)
{
    const QByteArray zip = zipOf({listed("docs/readme.txt", "1"), listed("A.BIN", "2"), listed("NOEXT", "3")});
    TArcLister lister;
    lister.setFileSpec(QStringLiteral("some/where/*.TXT"));
    EXPECT_EQ(lister.fileSpec(), QStringLiteral("*.TXT"));
    lister.setArchiveData(zip, QStringLiteral("a.zip"));
    ListResult result = listLister(lister);
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.members.size(), 1u);
    EXPECT_EQ(result.members[0].name, QByteArray("docs\\readme.txt"));
    EXPECT_EQ(result.totals, 1);
}

TEST(ZipList, NoEndRecordIsHeaderIdError)
{
    const ListResult result = listBytes(QByteArrayLiteral("PK\x03\x04 plain bytes, no directory at all"));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, ArcErrHeaderId);
}

TEST(ZipList, NameLengthPastEndIsReadError)
{
    QByteArray zip = zipOf({listed("A.TXT", "abc")});
    const int cd = zip.indexOf("PK\x01\x02");
    ASSERT_GT(cd, 0);
    zip[cd + 28] = char(0xFF); // name length 0xFF05 runs past the end
    zip[cd + 29] = char(0xFF);
    const ListResult result = listBytes(zip);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, ArcErrReadFile);
}

TEST(ZipList, CentralOffsetOutsideFileIsHeaderIdError)
{
    QByteArray zip = zipOf({listed("A.TXT", "abc")});
    const int end = zip.lastIndexOf("PK\x05\x06");
    zip[end + 19] = char(0x7F); // central directory offset far past the end
    EXPECT_EQ(listBytes(zip).error, ArcErrHeaderId);
}

TEST(ZipList, HugeCountsAreNotTrusted)
{
    QByteArray zip = zipOf({listed("A.TXT", "abc")});
    const int end = zip.lastIndexOf("PK\x05\x06");
    zip[end + 8] = zip[end + 9] = zip[end + 10] = zip[end + 11] = char(0xFE);
    const ListResult result = listBytes(zip);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.members.size(), 1u);
}

TEST(ZipList, OnReadRequired)
{
    TArcLister lister;
    lister.setArchiveData(zipOf({listed("A.TXT", "abc")}), QStringLiteral("a.zip"));
    EXPECT_FALSE(lister.activate());
    EXPECT_EQ(lister.lastError(), ArcErrOnReadMissing);
}

TEST(ZipList, RatioRule)
{
    EXPECT_EQ(TArcLister::ratioOf(0, 10), 0);
    EXPECT_EQ(TArcLister::ratioOf(10, 0), 0);
    EXPECT_EQ(TArcLister::ratioOf(10, 10), 0);
    EXPECT_EQ(TArcLister::ratioOf(12, 10), 0);
    EXPECT_EQ(TArcLister::ratioOf(999, 1000), 1); // 0.1 rounds to 0, but packed < unpacked
    EXPECT_EQ(TArcLister::ratioOf(25, 100), 75);
    EXPECT_EQ(TArcLister::ratioOf(1, 3), 67);
}

// Every prefix and seeded byte flips of a real archive: the listing ends (maybe with an error), never crashes.
TEST(ZipList, DamageSweep)
{
    QUILLON_NEED_CORPUS();
    QFile f(corpusDir() + QStringLiteral("/izip_comments.zip"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray whole = f.readAll();
    int failures = 0;
    for (qsizetype n = 0; n < whole.size(); ++n) {
        const ListResult result = listBytes(whole.first(n));
        if (!result.ok)
            ++failures;
        else
            EXPECT_LE(result.members.size(), 3u);
    }
    EXPECT_GT(failures, 0);
    std::mt19937 rng(4);
    for (int round = 0; round < 2000; ++round) {
        QByteArray copy = whole;
        for (int k = 0; k < 4; ++k)
            copy[rng() % copy.size()] = char(rng());
        const ListResult result = listBytes(copy);
        EXPECT_LE(result.members.size(), size_t(copy.size() / 46));
    }
}

} // namespace

namespace {

// Where the one end-record search finds the record: the last whole record within
// the window at the end, whatever follows it inside its comment.
struct EndCase {
    const char *name;
    QByteArray comment;   // the archive comment
    QByteArray trailing;  // bytes after the comment (not counted in its length)
    int64_t window;
    bool found;
};

class ZipEndRecordSearch : public testing::TestWithParam<EndCase>
{
};

TEST_P(ZipEndRecordSearch, FindsTheLastWholeRecordInTheWindow)
{
    const EndCase &c = GetParam();
    const QByteArray zip = zipOf({listed("A.TXT", "abc")}, {.comment = c.comment});
    const int64_t recordAt = zip.size() - 22 - c.comment.size();
    TMemorySource src(zip + c.trailing);
    const std::optional<TZipEndRecord> end = FindZipEndRecord(src, c.window);
    ASSERT_EQ(end.has_value(), c.found);
    if (!c.found)
        return;
    EXPECT_EQ(end->offset, recordAt);
    EXPECT_EQ(end->commentLen, c.comment.size());
    EXPECT_EQ(end->totalEntries, 1u);
    EXPECT_EQ(int64_t(end->cdOffset) + end->cdSize, recordAt);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, ZipEndRecordSearch,
    testing::Values(
        EndCase{"plain", {}, {}, kZipEndSearch, true},
        EndCase{"withComment", "an archive comment", {}, kZipEndSearch, true},
        // A signature too near the end to hold a whole record is none.
        EndCase{"cutSignatureAfter", {}, QByteArray("PK\x05\x06\0\0", 6), kZipEndSearch, true},
        // The record ends the window exactly, and one byte short of it.
        EndCase{"windowJustHolds", {}, {}, 22, true},
        EndCase{"windowTooShort", {}, QByteArray(1, 'x'), 22, false},
        // A comment longer than the search reaches hides the record.
        EndCase{"beyondTheSearch", QByteArray(kZipEndSearch, 'c'), {}, kZipEndSearch, false}),
    [](const testing::TestParamInfo<EndCase> &info) { return std::string(info.param.name); });

TEST(ZipList, CutEndSignatureBehindTheRecordIsPassedOver)
{
    // The lister once stopped at any end signature in the window and failed to read the
    // record behind it; a signature without room for its record is stray bytes.
    const ListResult result = listBytes(zipOf({listed("A.TXT", "abc")}) + QByteArray("PK\x05\x06\0\0", 6));
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.members.size(), 1u);
    EXPECT_EQ(result.members[0].name, QByteArray("A.TXT"));
}

} // namespace
