// ARJ archives: every corpus archive listed against its manifest and
// extracted against the manifest's checked hashes; hand-made archives for the
// refusals, header damage, the header search, volumes and their limits, names
// and text members; the fastest method's decoder on hand-made streams; damage
// sweeps (every prefix, seeded mutations) and the fuzz target's properties.
// Listing times are compared with the manifests' UTC times in UTC. Names in
// the corpus are ASCII; a name in another code page is read as code page 437.
#include "archive/ArcErrors.h"
#include "archive/ArcLister.h"
#include "archive/ArchiveTypes.h"
#include "archive/Extract.h"
#include "archive/UnBase.h"
#include "archive/decoders/Crc32.h"
#include "archive/decoders/Decoder.h"

#include "../../fuzz/ArjProperties.h"
#include "ArcFixtures.h"
#include "Corpus.h"
#include "MemoryCodec.h"
#include "Mutate.h"
#include "ScopedTimeZone.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace arcfix;

namespace {

// ---- hand-made archives ------------------------------------------------------------------

struct ArjEntry {
    QByteArray name;
    QByteArray data;                 // written as the packed data
    uint8_t method = 0;
    uint8_t version = 11, minVersion = 1, host = 0, flags = 0, fileType = 0;
    uint32_t dos = 0x2C4D6000;       // 2002-02-13 12:00:00
    std::optional<uint32_t> original{}, crc{};   // default: the data's size and CRC-32
    std::optional<uint32_t> packed{};            // default: the data's size
    QByteArray comment{};
    QByteArray ext{};                // one extended header when not empty
    int basicSizeOverride = -1;      // a size written instead of the true one
    bool badCrc = false;
};

QByteArray arjHeader(const ArjEntry &e)
{
    QByteArray basic;
    basic.append(char(30)); // the first part: the fields up to the host data
    for (uint8_t b : {e.version, e.minVersion, e.host, e.flags, e.method, e.fileType, uint8_t(0)})
        basic.append(char(b));
    put32(basic, e.dos);
    put32(basic, e.packed.value_or(uint32_t(e.data.size())));
    put32(basic, e.original.value_or(uint32_t(e.data.size())));
    put32(basic, e.crc.value_or(Crc32Update(0, e.data.constData(), size_t(e.data.size()))));
    put16(basic, 0);
    put16(basic, 0);
    put16(basic, 0);
    basic += e.name + '\0' + e.comment + '\0';
    QByteArray out("\x60\xEA", 2);
    put16(out, uint16_t(e.basicSizeOverride >= 0 ? e.basicSizeOverride : basic.size()));
    out += basic;
    put32(out, Crc32Update(0, basic.constData(), size_t(basic.size())) ^ (e.badCrc ? 1u : 0u));
    if (!e.ext.isEmpty()) {
        put16(out, uint16_t(e.ext.size()));
        out += e.ext;
        put32(out, Crc32Update(0, e.ext.constData(), size_t(e.ext.size())));
    }
    put16(out, 0);
    return out;
}

// A whole archive: main header (with comment), the members with their data, the end header.
QByteArray arjOf(const std::vector<ArjEntry> &members, const QByteArray &comment = {})
{
    ArjEntry main{.name = "t.arj", .data = {}, .fileType = 2, .comment = comment};
    QByteArray out = arjHeader(main);
    for (const ArjEntry &e : members)
        out += arjHeader(e) + e.data;
    return out + QByteArray("\x60\xEA\0\0", 4);
}

struct Listed {
    QByteArray name, comment;
    uint64_t size = 0, packed = 0;
    uint32_t crc = 0, attr = 0;
    TDateTime date = 0;
};

struct ListResult {
    bool ok = false;
    int error = 0;
    std::vector<int> events;
    std::vector<Listed> members;
    QByteArray archiveComment;
};

ListResult listArj(TArcLister &lister)
{
    ListResult r;
    lister.OnRead = [&](TArcLister *s, int64_t, int) {
        r.members.push_back({s->MemberName, s->MemberComment, s->UnpackedSize, s->PackedSize, s->MemberCRC,
                             s->MemberAttr, s->MemberDate});
        r.archiveComment = s->ArchiveComment;
    };
    lister.OnError = [&](TZipCommon *, const QString &, const QString &, int code) { r.events.push_back(code); };
    r.ok = lister.activate();
    r.error = lister.lastError();
    return r;
}

ListResult listBytes(const QByteArray &bytes, const QString &name = QStringLiteral("t.arj"))
{
    TArcLister lister;
    lister.setArchiveData(bytes, name);
    return listArj(lister);
}

struct ExtractResult {
    bool ok = false;
    int error = 0;
    std::vector<int> events;
    std::map<QString, QByteArray> files; // relative path -> bytes
};

// Extracts into a fresh folder (with stored folders); the archive from memory or from path.
// Extracts the file at path, or bytes held in memory as "t.arj" with the further volumes given.
ExtractResult extract(const QByteArray &bytes, const QString &path = {}, const QString &mask = QStringLiteral("*.*"),
                      const std::vector<std::pair<QString, QByteArray>> &volumes = {})
{
    ExtractResult r;
    QTemporaryDir out;
    std::unique_ptr<TUnBase> unit = MakeExtractor(2);
    if (path.isEmpty())
        unit->setArchiveData(bytes, QStringLiteral("t.arj"));
    else
        unit->setArchiveFile(path);
    for (const auto &[name, volume] : volumes)
        unit->addMemoryVolume(name, volume);
    unit->ExtractDir = out.path();
    unit->UseStoredDirs = true;
    unit->setFileSpec(mask);
    unit->OnError = [&](TZipCommon *, const QString &, const QString &, int code) { r.events.push_back(code); };
    r.ok = unit->Extract();
    r.error = unit->lastError();
    for (const QString &rel : filesUnder(out.path()))
        r.files[rel] = readAll(out.filePath(rel));
    return r;
}

bool has(const std::vector<int> &codes, int code)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// ---- the corpus --------------------------------------------------------------------------

std::vector<QJsonObject> manifest(const QString &archive)
{
    std::vector<QJsonObject> lines;
    QFile f(archive + QStringLiteral(".manifest.jsonl"));
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            lines.push_back(QJsonDocument::fromJson(line).object());
    return lines;
}

// Every ARJ of the corpus (an ELF self-extractor among them), the multi-volume set by its first volume.
QStringList corpusArchives()
{
    const QDir dir(testcorpus::ArchiveDir("arj"));
    QStringList out;
    for (const QString &name : dir.entryList({QStringLiteral("*.arj"), QStringLiteral("*.sfx")}, QDir::Files, QDir::Name))
        out << dir.filePath(name);
    out << dir.filePath(QStringLiteral("arj_multivol_m1/arj_multivol_m1.arj"));
    return out;
}

// A manifest's UTC time "YYYY-MM-DD hh:mm:ss" as a TDateTime, in UTC.
TDateTime manifestTime(const QString &text)
{
    const QDateTime t = QDateTime::fromString(text.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return TDateTime(QDateTime(t.date(), t.time(), Qt::UTC).toSecsSinceEpoch()) / 86400.0 + 25569.0;
}

struct Expected {
    uint64_t size = 0, packed = 0;
    std::optional<uint32_t> crc;
    std::optional<TDateTime> date;
};

// The members as the native archiver lists them (a split member once per part: summed),
// with the CRC and time from the other listing or the checked consensus.
std::map<QByteArray, Expected> expectedMembers(const std::vector<QJsonObject> &lines, std::vector<QByteArray> &order)
{
    std::map<QByteArray, Expected> out;
    for (const QJsonObject &o : lines) {
        if (o[QStringLiteral("kind")].toString() != QLatin1String("member") ||
            o[QStringLiteral("tool")].toString() != QLatin1String("arj"))
            continue;
        const QByteArray path = o[QStringLiteral("path")].toString().toUtf8().replace('/', '\\');
        if (!out.count(path))
            order.push_back(path);
        Expected &e = out[path];
        e.size += uint64_t(o[QStringLiteral("size")].toDouble());
        e.packed += uint64_t(o[QStringLiteral("packed")].toDouble());
    }
    for (const QJsonObject &o : lines) {
        const QString kind = o[QStringLiteral("kind")].toString();
        const QByteArray path = o[QStringLiteral("path")].toString().toUtf8().replace('/', '\\');
        auto it = out.find(path);
        if (it == out.end())
            continue;
        const QString crc = o[QStringLiteral("crc32")].toString();
        if (kind == QLatin1String("consensus") && !crc.isEmpty())
            it->second.crc = crc.toUInt(nullptr, 16);
        if (kind == QLatin1String("member") && o[QStringLiteral("tool")].toString() == QLatin1String("lsar")) {
            if (!it->second.crc && !crc.isEmpty() && uint64_t(o[QStringLiteral("size")].toDouble()) == it->second.size)
                it->second.crc = crc.toUInt(nullptr, 16);
            if (!it->second.date)
                it->second.date = manifestTime(o[QStringLiteral("mtime")].toString());
        }
    }
    return out;
}

TEST(ArjCorpus, ListingsMatchTheManifests)
{
    QUILLON_NEED_CORPUS();
    ScopedTimeZone utc("UTC");
    const QStringList archives = corpusArchives();
    ASSERT_EQ(archives.size(), 22);
    for (const QString &path : archives) {
        SCOPED_TRACE(path.toStdString());
        const std::vector<QJsonObject> lines = manifest(path);
        ASSERT_FALSE(lines.empty());
        std::vector<QByteArray> order;
        const std::map<QByteArray, Expected> expected = expectedMembers(lines, order);
        ASSERT_FALSE(expected.empty());
        TArcLister lister;
        lister.setArchiveFile(path);
        EXPECT_EQ(lister.arcType(), path.endsWith(QLatin1String(".sfx")) ? TArcType::ArjExe : TArcType::ARJ);
        const ListResult r = listArj(lister);
        EXPECT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.members.size(), order.size());
        for (size_t i = 0; i < order.size(); ++i) {
            const Listed &m = r.members[i];
            const Expected &e = expected.at(order[i]);
            EXPECT_EQ(m.name, order[i]);
            EXPECT_EQ(m.size, e.size) << m.name.constData();
            EXPECT_EQ(m.packed, e.packed) << m.name.constData();
            if (e.crc) {
                EXPECT_EQ(m.crc, *e.crc) << m.name.constData();
            }
            if (e.date) {
                EXPECT_NEAR(m.date, *e.date, 0.5 / 86400) << m.name.constData();
            }
        }
        for (const QJsonObject &o : lines) {
            const QString comment = o[QStringLiteral("XADComment")].toString();
            if (o[QStringLiteral("tool")].toString() == QLatin1String("lsar") && !comment.isEmpty()) {
                EXPECT_EQ(QString::fromUtf8(r.archiveComment), comment);
            }
        }
    }
}

TEST(ArjCorpus, ExtractionsMatchTheCheckedHashes)
{
    QUILLON_NEED_CORPUS();
    for (const QString &path : corpusArchives()) {
        SCOPED_TRACE(path.toStdString());
        const std::vector<QJsonObject> lines = manifest(path);
        const bool garbled = path.contains(QLatin1String("garbled"));
        const bool truncated = path.contains(QLatin1String("truncated"));
        std::vector<QByteArray> order;
        const std::map<QByteArray, Expected> listed = expectedMembers(lines, order);
        const ExtractResult r = extract({}, path);
        int checked = 0;
        for (const QJsonObject &o : lines) {
            const QString member = o[QStringLiteral("path")].toString();
            const QString sha = o[QStringLiteral("sha256")].toString();
            // Consensus entries of names the archive holds (another tool's flattened names are not).
            if (o[QStringLiteral("kind")].toString() != QLatin1String("consensus") || sha.isEmpty() ||
                !listed.count(member.toUtf8().replace('/', '\\')))
                continue;
            if (garbled || (truncated && member == QLatin1String("GPL2.TXT"))) {
                EXPECT_FALSE(r.files.count(member)) << member.toStdString();
                continue;
            }
            ++checked;
            ASSERT_TRUE(r.files.count(member)) << member.toStdString();
            EXPECT_EQ(QCryptographicHash::hash(r.files.at(member), QCryptographicHash::Sha256).toHex(), sha.toLatin1())
                << member.toStdString();
        }
        if (garbled) {
            EXPECT_TRUE(has(r.events, 25190));
            EXPECT_FALSE(r.ok);
        } else if (truncated) {
            EXPECT_TRUE(has(r.events, ArcErrReadFile));
        } else {
            EXPECT_TRUE(r.ok) << r.error;
            EXPECT_GT(checked, 0);
            EXPECT_TRUE(r.events.empty() || (r.events.size() == 1 && r.events[0] == 25903));
        }
    }
}

// ---- hand-made cases ---------------------------------------------------------------------

TEST(ArjList, NamesCommentsFoldersAndCodePage)
{
    const QByteArray bytes = arjOf(
        {{.name = "DOCS/READ.ME", .data = "hello", .comment = "member note"},
         {.name = "SUB", .data = {}, .fileType = 3},
         {.name = "CAF\x82.TXT", .data = "x", .ext = "extended header bytes"}},
        "archive note\n");
    const ListResult r = listBytes(bytes);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.members.size(), 3u);
    EXPECT_EQ(r.members[0].name, QByteArray("DOCS\\READ.ME"));
    EXPECT_EQ(r.members[0].comment, QByteArray("member note"));
    EXPECT_EQ(r.members[0].attr, 32u);
    EXPECT_EQ(r.members[1].attr, 16u);   // a folder entry
    EXPECT_TRUE(r.members[1].comment.isNull());
    EXPECT_EQ(r.members[2].name, QByteArray("CAF\xC3\xA9.TXT"));   // 82h is "é" in code page 437
    EXPECT_EQ(r.archiveComment, QByteArray("archive note\n"));
}

// Unix hosts store Unix seconds; no time at all (0 in either kind) is 1 January 1980.
TEST(ArjList, TimesOfDosAndUnixHosts)
{
    ScopedTimeZone utc("UTC");
    const TDateTime y1980 = DosDateTimeToDateTime(NormalizedDosDateTime(0));
    const struct {
        uint8_t host;
        uint32_t stamp;
        TDateTime date;
    } cases[] = {
        {0, 0x2C4D6000, DosDateTimeToDateTime(0x2C4D6000)},
        {2, 771676497, 771676497 / 86400.0 + 25569.0},   // 1994-06-15 12:34:57, an odd second
        {0, 0, y1980},
        {2, 0, y1980},
    };
    for (const auto &c : cases) {
        const ListResult r = listBytes(arjOf({{.name = "T", .data = "t", .host = c.host, .dos = c.stamp}}));
        ASSERT_EQ(r.members.size(), 1u);
        EXPECT_NEAR(r.members[0].date, c.date, 0.5 / 86400) << int(c.host) << " " << c.stamp;
    }
}

// Header damage ends the listing with its code; what came before stays listed.
TEST(ArjList, HeaderDamageEndsTheListingWithItsCode)
{
    const struct {
        const char *what;
        ArjEntry second;
        int code;
    } cases[] = {
        {"header CRC", {.name = "B", .data = "b", .badCrc = true}, 25136},
        {"basic header above 2600 bytes", {.name = "B", .data = "b", .basicSizeOverride = 2601}, 25108},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const ListResult r = listBytes(arjOf({{.name = "A", .data = "a"}, c.second}));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, c.code);
        ASSERT_EQ(r.members.size(), 1u);
        EXPECT_EQ(r.members[0].name, QByteArray("A"));
    }
}

// Members that cannot be extracted are refused with their code and the others still come out.
TEST(ArjExtract, RefusalsByVersionFlagsMethodAndType)
{
    const struct {
        const char *what;
        ArjEntry entry;
        int code;
    } cases[] = {
        {"minimum version 4", {.name = "R", .data = "r", .minVersion = 4}, 25302},
        {"garbled", {.name = "R", .data = "r", .flags = 0x01}, 25190},
        {"method 5", {.name = "R", .data = "r", .method = 5}, 25200},
        {"method 4 by version 1", {.name = "R", .data = "r", .method = 4, .version = 1}, 25200},
        {"volume label", {.name = "R", .data = "r", .fileType = 4}, 25202},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const ExtractResult r = extract(arjOf({c.entry, {.name = "OK.TXT", .data = "fine"}}));
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.events, std::vector<int>{c.code});
        EXPECT_EQ(r.files, (std::map<QString, QByteArray>{{QStringLiteral("OK.TXT"), "fine"}}));
    }
}

TEST(ArjExtract, TextMembersAreWrittenByteForByteAndCrcFailuresAreWarned)
{
    const QByteArray text("line one\r\nline two\nend\r");
    ExtractResult r = extract(arjOf({{.name = "T.TXT", .data = text, .fileType = 1}}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.files[QStringLiteral("T.TXT")], text);
    r = extract(arjOf({{.name = "C.TXT", .data = "data", .crc = 1234}}));
    EXPECT_EQ(r.events, std::vector<int>{25117});
    EXPECT_EQ(r.files[QStringLiteral("C.TXT")], QByteArray("data"));
}

// Stored names never lead out of the extraction folder; folder entries make folders.
TEST(ArjExtract, NamesStayInsideTheFolder)
{
    const ExtractResult r = extract(arjOf({{.name = "../../ESCAPED.TXT", .data = "1"},
                                           {.name = "/ABS/ROOT.TXT", .data = "2"},
                                           {.name = "C:\\DOS\\X.TXT", .data = "3"},
                                           {.name = "EMPTYDIR", .data = {}, .fileType = 3}}));
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.files, (std::map<QString, QByteArray>{{QStringLiteral("ESCAPED.TXT"), "1"},
                                                      {QStringLiteral("ABS/ROOT.TXT"), "2"},
                                                      {QStringLiteral("DOS/X.TXT"), "3"}}));
}

// A mask without wildcards names one member: the first of that name is the one extracted.
TEST(ArjExtract, AMaskWithoutWildcardsExtractsOneMember)
{
    const QByteArray bytes =
        arjOf({{.name = "A.TXT", .data = "first"}, {.name = "B.TXT", .data = "b"}, {.name = "A.TXT", .data = "second"}});
    ExtractResult r = extract(bytes, {}, QStringLiteral("A.TXT"));
    EXPECT_EQ(r.files, (std::map<QString, QByteArray>{{QStringLiteral("A.TXT"), "first"}}));
    r = extract(bytes, {}, QStringLiteral("?.TXT"));
    EXPECT_EQ(r.files.size(), 2u);
}

// The header search: a damaged header before the archive is passed over, and a
// self-extractor's stub longer than the search limit does not hide its archive.
TEST(ArjExtract, TheHeaderSearchSkipsDamageAndStartsAtTheDetectedOffset)
{
    const QByteArray archive = arjOf({{.name = "IN.TXT", .data = "found"}});
    QByteArray damaged = arjHeader({.name = "X", .data = "x", .badCrc = true});
    damaged += QByteArray(100 - damaged.size(), 'j');
    ExtractResult r = extract(damaged + archive);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.files[QStringLiteral("IN.TXT")], QByteArray("found"));

    // An MZ stub of 30000 bytes whose header gives its image's end: the archive after it.
    QByteArray stub(30000, '\0');
    stub[0] = 'M';
    stub[1] = 'Z';
    put16(stub, 2, uint16_t(30000 % 512));
    put16(stub, 4, uint16_t(30000 / 512 + 1));
    TArcLister lister;
    lister.setArchiveData(stub + archive, QStringLiteral("t.exe"));
    EXPECT_EQ(lister.arcType(), TArcType::ArjExe);
    const ListResult listed = listArj(lister);
    ASSERT_EQ(listed.members.size(), 1u);
    std::unique_ptr<TUnBase> unit = MakeExtractor(2);
    QTemporaryDir out;
    unit->setArchiveData(stub + archive, QStringLiteral("t.exe"));
    unit->ExtractDir = out.path();
    EXPECT_TRUE(unit->Extract()) << unit->lastError();
    EXPECT_EQ(readAll(out.filePath(QStringLiteral("IN.TXT"))), QByteArray("found"));
}

// ---- volumes -----------------------------------------------------------------------------

// Volume n of "v.arj": a main header and one part of a member going on further when more.
QByteArray volumeOf(const QByteArray &part, bool more)
{
    return arjOf({{.name = "BIG.BIN", .data = part, .flags = uint8_t(0x08 | (more ? 0x04 : 0))}});
}

TEST(ArjVolumes, AMissingVolumeIsAskedForThenReported)
{
    const QByteArray first = arjOf({{.name = "A.TXT", .data = "a"}, {.name = "BIG.BIN", .data = "12", .flags = 0x04}});
    TArcLister lister;
    lister.setArchiveData(first, QStringLiteral("v.arj"));
    ListResult r = listArj(lister);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, 25132);
    EXPECT_EQ(r.events, (std::vector<int>{25903, 25132}));
    ASSERT_EQ(r.members.size(), 1u);

    // With its volume the member is listed once, sizes summed, the CRC-32 that of the whole.
    TArcLister joined;
    joined.setArchiveData(first, QStringLiteral("v.arj"));
    joined.addMemoryVolume(QStringLiteral("v.A01"), volumeOf("345", false));
    r = listArj(joined);
    EXPECT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.members.size(), 2u);
    EXPECT_EQ(r.members[1].size, 5u);
    EXPECT_EQ(r.members[1].crc, Crc32Update(0, "12345", 5));
    EXPECT_EQ(joined.CurrentFile, QStringLiteral("v.A01"));

    // A volume whose first member does not go on from the previous one is not part of the set.
    TArcLister wrong;
    wrong.setArchiveData(first, QStringLiteral("v.arj"));
    wrong.addMemoryVolume(QStringLiteral("v.A01"), arjOf({{.name = "OTHER", .data = "x"}}));
    EXPECT_EQ(listArj(wrong).error, 25108);

    const ExtractResult x = extract(first);
    EXPECT_EQ(x.error, 25132);
    EXPECT_EQ(x.files, (std::map<QString, QByteArray>{{QStringLiteral("A.TXT"), "a"}}));
    // Held in memory with its volume, the extraction follows it as the listing does.
    const ExtractResult whole = extract(first, {}, QStringLiteral("*.*"), {{QStringLiteral("T.A01"), volumeOf("345", false)}});
    EXPECT_TRUE(whole.ok) << whole.error;
    EXPECT_EQ(whole.files, (std::map<QString, QByteArray>{{QStringLiteral("A.TXT"), "a"}, {QStringLiteral("BIG.BIN"), "12345"}}));
}

TEST(ArjVolumes, NoMoreThan999Volumes)
{
    TArcLister lister;
    lister.setArchiveData(arjOf({{.name = "BIG.BIN", .data = "x", .flags = 0x04}}), QStringLiteral("v.arj"));
    for (int n = 1; n <= 999; ++n)
        lister.addMemoryVolume(QStringLiteral("v.") + ArjVolumeExtension(n), volumeOf("x", true));
    const ListResult r = listArj(lister);
    EXPECT_EQ(r.error, 25150);
    EXPECT_EQ(lister.CurrentFile, QStringLiteral("v.999"));
}

// Extraction joins the parts from the volume files, found whatever their case.
TEST(ArjVolumes, ExtractionJoinsThePartsFromTheVolumeFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeAll(dir.filePath(QStringLiteral("SET.ARJ")),
                         arjOf({{.name = "BIG.BIN", .data = "part one,", .flags = 0x04}})));
    ASSERT_TRUE(writeAll(dir.filePath(QStringLiteral("set.a01")), volumeOf(" part two,", true)));
    ASSERT_TRUE(writeAll(dir.filePath(QStringLiteral("Set.A02")), volumeOf(" three", false)));
    ExtractResult r = extract({}, dir.filePath(QStringLiteral("SET.ARJ")));
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.files[QStringLiteral("BIG.BIN")], QByteArray("part one, part two, three"));
    EXPECT_EQ(r.events, (std::vector<int>{25903, 25903}));   // each volume named before it is opened
    TArcLister lister;
    lister.setArchiveFile(dir.filePath(QStringLiteral("SET.ARJ")));
    const ListResult listed = listArj(lister);
    ASSERT_EQ(listed.members.size(), 1u);
    EXPECT_EQ(listed.members[0].size, 25u);
    EXPECT_EQ(lister.CurrentFile, dir.filePath(QStringLiteral("Set.A02")));

    // A part whose CRC-32 is wrong fails the member's check.
    ASSERT_TRUE(writeAll(dir.filePath(QStringLiteral("set.a01")),
                         arjOf({{.name = "BIG.BIN", .data = " part two,", .flags = 0x0C, .crc = 7}})));
    r = extract({}, dir.filePath(QStringLiteral("SET.ARJ")));
    EXPECT_TRUE(has(r.events, 25117));
}

// ---- the fastest method --------------------------------------------------------------------

// Writes value in the method's prefix code: runs of ones starting at start bits, at most stop - start.
void putPrefixed(testcodec::TBitWriterMsb &w, uint32_t value, int start, int stop)
{
    int n = 0;
    uint32_t base = 0;
    while (start + n < stop && value >= base + (1u << (start + n))) {
        base += 1u << (start + n);
        ++n;
    }
    for (int i = 0; i < n; ++i)
        w.put(1, 1);
    if (start + n < stop)
        w.put(0, 1);
    w.put(value - base, start + n);
}

DecodeStatus fastest(const std::vector<uint8_t> &packed, size_t size, std::vector<uint8_t> &out)
{
    testcodec::TMemoryInput in(packed.data(), packed.size());
    testcodec::TMemoryOutput sink;
    DecodeParams p;
    p.method = 4;
    p.packedSize = packed.size();
    p.unpackedSize = size;
    const DecodeStatus status = DecodeArjFastest(in, sink, p);
    out = sink.bytes;
    return status;
}

TEST(ArjFastest, LiteralsMatchesAndErrors)
{
    testcodec::TBitWriterMsb w;
    for (char c : std::string("abc")) {
        putPrefixed(w, 0, 0, 7);
        w.put(uint8_t(c), 8);
    }
    putPrefixed(w, 6 - 2, 0, 7);      // a match of 6 bytes
    putPrefixed(w, 3 - 1, 9, 13);     // 3 bytes back
    putPrefixed(w, 254, 0, 7);        // the longest match, 256 bytes, 1 byte back
    putPrefixed(w, 0, 9, 13);
    std::vector<uint8_t> out;
    ASSERT_EQ(fastest(w.bytes, 9 + 256, out), DecodeStatus::Ok);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 9), "abcabcabc");
    EXPECT_EQ(std::string(out.begin() + 9, out.end()), std::string(256, 'c'));
    // The output stops at the declared size, in the middle of a match too.
    ASSERT_EQ(fastest(w.bytes, 7, out), DecodeStatus::Ok);
    EXPECT_EQ(out.size(), 7u);
    // More declared than the stream holds; a distance before the first byte.
    EXPECT_EQ(fastest(w.bytes, 9 + 256 + 50, out), DecodeStatus::Truncated);
    testcodec::TBitWriterMsb far;
    putPrefixed(far, 0, 0, 7);
    far.put('x', 8);
    putPrefixed(far, 1, 0, 7);
    putPrefixed(far, 15871, 9, 13);   // the farthest distance there is, 15872 bytes back
    EXPECT_EQ(fastest(far.bytes, 4, out), DecodeStatus::DataError);
}

// ---- damage ------------------------------------------------------------------------------

bool cleanCode(int code)
{
    return code == 0 || *ArcErrorText(code) != '\0';
}

// Every prefix of a small archive and seeded mutations of real ones: no crash, no hang,
// a clean result with a known code, and the fuzz target's properties.
TEST(ArjDamage, PrefixesAndMutationsEndCleanly)
{
    QUILLON_NEED_CORPUS();
    const QByteArray small = readAll(testcorpus::ArchiveFile("arj", QStringLiteral("cc_bla.arj")));
    ASSERT_EQ(small.size(), 252);
    for (qsizetype n = 0; n < small.size(); ++n) {
        SCOPED_TRACE(n);
        const QByteArray cut = small.left(n);
        const ListResult l = listBytes(cut);
        EXPECT_TRUE(cleanCode(l.error)) << l.error;
        const ExtractResult x = extract(cut);
        EXPECT_TRUE(cleanCode(x.error)) << x.error;
        if (n % 16 == 0) {
            EXPECT_EQ(ArjFinding(cut), QString());
        }
    }
    std::mt19937 rng(20261210);
    for (const char *name : {"arj_m1.arj", "arj_m4.arj", "sc_Arj.method3.arj", "sc_Arj.method4.arj", "cc_bla.arj"}) {
        const QByteArray seed = readAll(testcorpus::ArchiveFile("arj", QLatin1String(name)));
        ASSERT_FALSE(seed.isEmpty()) << name;
        EXPECT_EQ(ArjFinding(seed), QString()) << name;
        for (int round = 0; round < 40; ++round) {
            SCOPED_TRACE(std::string(name) + " round " + std::to_string(round));
            const QByteArray mutated = MutateSeed(seed, rng);
            EXPECT_EQ(ArjFinding(mutated), QString());
            const ExtractResult x = extract(mutated);
            EXPECT_TRUE(cleanCode(x.error)) << x.error;
            for (int code : x.events)
                EXPECT_TRUE(cleanCode(code)) << code;
        }
    }
}

// Hand-made hostile headers: huge sizes, names past the end, extended headers past the end.
TEST(ArjDamage, HostileHeadersAreRefused)
{
    const std::vector<std::pair<const char *, QByteArray>> inputs = {
        {"huge packed size", arjOf({{.name = "A", .data = "abc", .packed = 0xFFFFFFF0u}})},
        {"huge original size", arjOf({{.name = "A", .data = "abc", .method = 1, .original = 0xFFFFFFFFu}})},
        {"extended header past the end", [] {
             QByteArray b = arjOf({{.name = "A", .data = "a", .ext = "xx"}});
             return b.left(b.size() - 8);
         }()},
    };
    for (const auto &[what, bytes] : inputs) {
        SCOPED_TRACE(what);
        EXPECT_EQ(ArjFinding(bytes), QString());
        const ExtractResult x = extract(bytes);
        EXPECT_TRUE(x.files.empty() || x.files.begin()->second.size() <= 3);
        EXPECT_TRUE(cleanCode(x.error));
    }
}

} // namespace
