// RAR: every corpus archive listed against its manifest and extracted
// against the consensus bytes (or refused with the code its decoder's limits
// give), members split over volumes under both naming schemes, the
// extraction rules of TUnRAR (version, one member, name list, data check,
// passwords, volume events), Unicode names, prefixes and byte flips of real
// archives, hostile block sizes, and the RAR fuzz target's properties.
//
// Names: the manifests hold what the tools decoded; RAR 1.5-4 names without
// the Unicode flag are DOS bytes, kept when they are UTF-8 and read as code
// page 437 otherwise (the corpus's are all ASCII or Unicode-flagged).
#include "ArcFixtures.h"
#include "Corpus.h"
#include "Mutate.h"
#include "RarFixtures.h"
#include "ScopedTimeZone.h"

#include "archive/Extract.h"
#include "archive/RarHeaders.h"
#include "archive/UnRAR.h"
#include "platform/DosTime.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTemporaryDir>

#include <random>

using namespace arcfix;

QString RarFinding(const QByteArray &bytes);

namespace {

struct Listed {
    QString name;
    uint64_t packed = 0, unpacked = 0;
    uint32_t crc = 0, dos = 0;
    uint32_t attr = 0;
};

struct Listing {
    bool ok = false;
    int error = 0;
    QByteArray comment;
    std::vector<Listed> members;
};

Listing listOf(TArcLister &lister)
{
    Listing out;
    lister.OnRead = [&](TArcLister *s, int64_t, int) {
        out.members.push_back({QString::fromUtf8(s->MemberName), s->PackedSize, s->UnpackedSize, s->MemberCRC,
                               s->MemberDosDate, s->MemberAttr});
        out.comment = s->ArchiveComment;
    };
    out.ok = lister.activate();
    out.error = lister.lastError();
    return out;
}

Listing listFile(const QString &path)
{
    TArcLister lister;
    lister.setArchiveFile(path);
    return listOf(lister);
}

Listing listBytes(const QByteArray &bytes, const QList<QByteArray> &more = {}, const QStringList &names = {})
{
    TArcLister lister;
    lister.setArchiveData(bytes, names.value(0, QStringLiteral("t.rar")));
    for (qsizetype i = 0; i < more.size(); ++i)
        lister.addMemoryVolume(names.value(i + 1), more[i]);
    return listOf(lister);
}

// The members of a manifest as one tool listed them (lsar, else 7z), and the consensus bytes.
struct Manifest {
    std::vector<QJsonObject> members;
    QMap<QString, QByteArray> sha; // path -> sha256 hex
};

Manifest readManifest(const QString &archive)
{
    Manifest m;
    QFile f(archive + QStringLiteral(".manifest.jsonl"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << archive.toStdString();
    std::vector<QJsonObject> lsar, sevenZ;
    while (!f.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(f.readLine()).object();
        const QString kind = o.value(QStringLiteral("kind")).toString();
        const QString tool = o.value(QStringLiteral("tool")).toString();
        if (kind == QLatin1String("member"))
            (tool == QLatin1String("lsar") ? lsar : sevenZ).push_back(o);
        if (kind == QLatin1String("consensus") && o.value(QStringLiteral("sha256")).isString())
            m.sha[o.value(QStringLiteral("path")).toString()] = o.value(QStringLiteral("sha256")).toString().toLatin1();
    }
    m.members = lsar.empty() ? sevenZ : lsar;
    return m;
}

// The corpus: every RAR file, and what extracting it gives with libarchive 3.6's decoders.
struct CorpusCase {
    const char *file;
    int extractCode;  // 0: every file matches the consensus; else the refusal's code
    bool comment = false; // an archive comment (a CMT sub-block): listed with the fixed text
};

const CorpusCase kCorpus[] = {
    {"la_rar.rar", 0}, {"la_rar5_stored.rar", 0}, {"la_rar_compress_normal.rar", 0},
    {"la_rar_subblock.rar", 0, true}, {"la_rar_unicode.rar", 0}, {"la_rar_windows.rar", 0}, {"la_rar_sfx.exe", 0},
    {"patool_t.rar", 0}, {"sc_Rar.none.rar", 0}, {"sc_Rar.rar", 0}, {"sc_Rar4.rar", 0},
    // solid RAR 3 archives: the first member only (libarchive 3.6 refuses the rest, bsdtar too)
    {"sc_Rar.solid.rar", 25200}, {"sc_Rar.comment.rar", 25200, true},
    // RAR 1.5 members: version error; RAR 2.0 compression: no decoder (bsdtar fails on it as well)
    {"sc_Rar15.rar", 25302}, {"sc_Rar2.rar", 25200}, {"sc_Rar2.multi/Rar2.multi.rar", 25200},
    // libarchive 3.6 decodes this file wrongly (bsdtar: "File CRC error"): reported, never silent
    {"la_rar_multi_lzss_blocks.rar", 25111},
};

TEST(RarCorpus, ListsAsTheManifests)
{
    QUILLON_NEED_CORPUS();
    ScopedTimeZone utc("UTC"); // the manifests' times are printed in UTC
    for (const CorpusCase &c : kCorpus) {
        const QString path = testcorpus::ArchiveFile("rar", QString::fromLatin1(c.file));
        SCOPED_TRACE(c.file);
        const Manifest manifest = readManifest(path);
        const Listing got = listFile(path);
        ASSERT_TRUE(got.ok) << got.error;
        ASSERT_EQ(got.members.size(), manifest.members.size());
        for (const QJsonObject &want : manifest.members) {
            const QString name = want.value(QStringLiteral("path")).toString().replace(QLatin1Char('/'), QLatin1Char('\\'));
            auto it = std::find_if(got.members.begin(), got.members.end(), [&](const Listed &l) { return l.name == name; });
            ASSERT_NE(it, got.members.end()) << name.toStdString();
            EXPECT_EQ(it->unpacked, uint64_t(want.value(QStringLiteral("size")).toInteger()));
            EXPECT_EQ(it->packed, uint64_t(want.value(QStringLiteral("packed")).toInteger()));
            if (want.contains(QStringLiteral("crc32"))) {
                EXPECT_EQ(it->crc, want.value(QStringLiteral("crc32")).toString().toUInt(nullptr, 16));
            }
            EXPECT_EQ((it->attr & 0x10) != 0, want.value(QStringLiteral("is_dir")).toBool()) << name.toStdString();
            // Unix modes are mapped, not cut to their low byte (0644 would read as hidden + system).
            EXPECT_EQ(it->attr & 0x06, 0u) << name.toStdString();
            // DOS times keep even seconds; the tools add the odd second from the extended times.
            const QDateTime t = QDateTime::fromString(want.value(QStringLiteral("mtime")).toString().left(19),
                                                      QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            const QDateTime ours = DosToDateTime(it->dos);
            EXPECT_LE(std::abs(ours.secsTo(t)), 1) << name.toStdString();
        }
        EXPECT_EQ(got.comment, c.comment ? QByteArray(kRarCommentText) : QByteArray());
    }
}

TEST(RarCorpus, ExtractsTheConsensusBytesOrRefuses)
{
    QUILLON_NEED_CORPUS();
    for (const CorpusCase &c : kCorpus) {
        const QString path = testcorpus::ArchiveFile("rar", QString::fromLatin1(c.file));
        SCOPED_TRACE(c.file);
        const Manifest manifest = readManifest(path);
        QTemporaryDir out;
        TUnRAR unit;
        unit.setArchiveFile(path);
        unit.ExtractDir = out.path();
        unit.UseStoredDirs = true;
        bool crcFailed = false;
        unit.OnEnd = [&](TUnBase *, const QString &, bool pass) { crcFailed = crcFailed || !pass; };
        const bool ok = unit.Extract();
        EXPECT_EQ(ok ? 0 : unit.lastError(), c.extractCode);
        EXPECT_EQ(crcFailed, c.extractCode == 25111);
        const QStringList files = filesUnder(out.path());
        for (const QString &rel : files) {
            if (c.extractCode == 25111)
                continue; // kept with its failed check, as ZIP members are
            ASSERT_TRUE(manifest.sha.contains(rel)) << rel.toStdString();
            EXPECT_EQ(QCryptographicHash::hash(readAll(out.filePath(rel)), QCryptographicHash::Sha256).toHex(),
                      manifest.sha[rel]) << rel.toStdString();
        }
        if (c.extractCode == 0) {
            // Every file with data is there (links are never made, and an empty file is
            // only absent when it is a link's record).
            for (auto it = manifest.sha.begin(); it != manifest.sha.end(); ++it) {
                if (!it.key().contains(QLatin1String("link")) && !it.key().endsWith(QLatin1String("ファイル"))) {
                    EXPECT_TRUE(files.contains(it.key())) << it.key().toStdString();
                }
            }
        }
    }
}

// One member picked by name, the members before it skipped. In a solid archive every
// earlier member would have to be decoded first; libarchive 3.6 refuses solid RAR 1.5-4
// entries after the first one outright ("RAR solid archive support unavailable", as
// `bsdtar -xOf` on the same file), so a later member is refused with 25200 and nothing
// is written, while the first one still extracts.
TEST(RarCorpus, ExtractsANamedMemberAfterSkippedOnes)
{
    QUILLON_NEED_CORPUS();
    const struct {
        const char *file;
        QString name;   // any case
        int code;
        QString written;   // the file written (stored folders off), its manifest path
        QString manifestPath;
    } cases[] = {
        {"sc_Rar4.rar", QStringLiteral("JPG\\TEST.JPG"), 0, QStringLiteral("test.jpg"), QStringLiteral("jpg/test.jpg")},
        {"sc_Rar.rar", QStringLiteral("jpg\\test.jpg"), 0, QStringLiteral("test.jpg"), QStringLiteral("jpg/test.jpg")},
        {"sc_Rar.solid.rar", QStringLiteral("тест.txt"), 0, QStringLiteral("тест.txt"),
         QStringLiteral("тест.txt")},
        {"sc_Rar.solid.rar", QStringLiteral("jpg\\test.jpg"), 25200, {}, {}},
    };
    const bool quiet = ExtractionState().quiet;
    ExtractionState().quiet = true;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file + (" " + c.name.toStdString()));
        const QString path = testcorpus::ArchiveFile("rar", QString::fromLatin1(c.file));
        QTemporaryDir out;
        const QStringList names{c.name};
        TExtractOptions options;
        EXPECT_EQ(ExtractFromArchive(8, path, out.path(), false, false, false, &names, QStringLiteral("*.*"), options),
                  c.code == 0);
        EXPECT_EQ(ExtractionState().lastError, c.code);
        if (c.code == 0) {
            ASSERT_EQ(filesUnder(out.path()), QStringList{c.written});
            EXPECT_EQ(QCryptographicHash::hash(readAll(out.filePath(c.written)), QCryptographicHash::Sha256).toHex(),
                      readManifest(path).sha[c.manifestPath]);
        } else {
            EXPECT_TRUE(filesUnder(out.path()).isEmpty());
            EXPECT_EQ(ExtractErrorMessage(c.code),
                      QStringLiteral("Archive file is using unknown or unsupported compression method."));
        }
    }
    ExtractionState().quiet = quiet;
}

// Hand-made archives -------------------------------------------------------

TEST(RarList, UnicodeNamesDecode)
{
    // Each field: the 8-bit name, a zero, then the packed UTF-16 name.
    const struct {
        QByteArray field;
        QByteArray want;
    } cases[] = {
        // high byte 04h; flags 01 01 01 01: four bytes with the high byte (Cyrillic "тест")
        {QByteArray("test\0\x04\x55\x42\x35\x41\x42", 11), "тест"},
        // a run of 3 + 2 bytes copied from the 8-bit name (order 3, length 3), then one full character
        {QByteArray("abcde\0\x00\xE0\x03\xAB\x30", 11), "abcdeカ"},
        // no zero: UTF-8 as it stands
        {"plain-ü.txt", "plain-ü.txt"},
        // a cut packed name keeps what was decoded
        {QByteArray("ab\0\x00\x80", 5), "ab"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DecodeRarUnicodeName(c.field), c.want) << c.field.toHex().toStdString();
}

TEST(RarList, FieldsCommentsAndFlags)
{
    RarMember plain{.name = "dir\\A.TXT", .data = "hello"};
    RarMember commented{.name = "B.TXT", .data = "x", .comment = "member note"};
    RarMember folder{.name = "dir", .flags = 0xE0, .attr = 0x10};
    RarMember unicode{.name = "x", .data = "yz", .flags = 0x200, .nameField = QByteArray("test\0\x04\x55\x42\x35\x41\x42", 11)};
    const Listing got = listBytes(rar4Of({plain, commented, folder, unicode}, 0x0002));
    ASSERT_TRUE(got.ok) << got.error;
    ASSERT_EQ(got.members.size(), 4u);
    EXPECT_EQ(got.comment, QByteArray(kRarCommentText));
    EXPECT_EQ(got.members[0].name, QStringLiteral("dir\\A.TXT"));
    EXPECT_EQ(got.members[0].crc, 0x3610A686u);
    EXPECT_EQ(got.members[0].dos, 0x3C8A6000u);
    EXPECT_EQ(got.members[2].attr, 0x10u);
    EXPECT_EQ(got.members[3].name, QStringLiteral("тест"));
    // A 14-byte main header (RAR 3's encryption version, flag 200h) holds no comment.
    QByteArray longMain = rar4Of({plain});
    longMain.insert(7 + 13, char(29));
    longMain[7 + 4] = char(0x02);
    longMain[7 + 5] = char(14);
    fixRar4Crc(longMain, 7, 14);
    const Listing plainMain = listBytes(longMain);
    ASSERT_TRUE(plainMain.ok) << plainMain.error;
    EXPECT_EQ(plainMain.members.size(), 1u);
    EXPECT_TRUE(plainMain.comment.isNull());

    TArcLister lister;
    lister.setArchiveData(rar4Of({commented}), QStringLiteral("t.rar"));
    QByteArray note;
    lister.OnRead = [&](TArcLister *s, int64_t, int) { note = s->MemberComment; };
    ASSERT_TRUE(lister.activate());
    EXPECT_EQ(note, QByteArray("member note"));
}

TEST(RarList, Rar5MembersAndSizes)
{
    ScopedTimeZone utc("UTC");
    const Listing got = listBytes(rar5Of({{.name = "a/b.txt", .data = "12345"}, {.name = "c", .data = ""}}));
    ASSERT_TRUE(got.ok) << got.error;
    ASSERT_EQ(got.members.size(), 2u);
    EXPECT_EQ(got.members[0].name, QStringLiteral("a\\b.txt"));
    EXPECT_EQ(got.members[0].unpacked, 5u);
    EXPECT_EQ(DosToIso(got.members[0].dos), QStringLiteral("2010-04-10T12:00:00"));
}

// Volume sets: each layout and naming scheme, listed as one member and extracted whole.
struct VolumeCase {
    const char *label;
    bool rar5;
    bool oldStyle;
    QStringList names;
};

const VolumeCase kVolumeCases[] = {
    {"rar4 old naming", false, false, {"set.rar", "set.r00", "set.r01", "set.r02"}},
    {"rar4 no end blocks", false, true, {"set.rar", "set.r00", "set.r01", "set.r02"}},
    {"rar4 part naming", false, false, {"set.part1.rar", "set.part2.rar", "set.part3.rar", "set.part4.rar"}},
    {"rar5 part naming", true, false, {"set.part01.rar", "set.part02.rar", "set.part03.rar", "set.part04.rar"}},
    {"rar4 other case", false, false, {"SET.RAR", "set.r00", "SET.R01", "set.R02"}},
};

QByteArray bigData()
{
    QByteArray d;
    for (int i = 0; i < 1000; ++i)
        d += QByteArray::number(i * 7919) + ' ';
    return d;
}

TEST(RarVolumes, SplitMembersAreOneMemberAndExtractWhole)
{
    const QByteArray data = bigData();
    for (const VolumeCase &c : kVolumeCases) {
        SCOPED_TRACE(c.label);
        const QList<QByteArray> volumes =
            rarVolumesOf({{.name = "first.txt", .data = "one"}}, {.name = "big.txt", .data = data},
                         int(data.size() / 3) + 1, c.rar5, c.oldStyle);
        ASSERT_EQ(volumes.size(), 3);
        QTemporaryDir dir;
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(writeAll(dir.filePath(c.names[i]), volumes[i]));
        const QString first = dir.filePath(c.names[0]);
        const Listing got = listFile(first);
        ASSERT_TRUE(got.ok) << got.error;
        ASSERT_EQ(got.members.size(), 2u);
        EXPECT_EQ(got.members[1].packed, uint64_t(data.size()));
        EXPECT_EQ(got.members[1].unpacked, uint64_t(data.size()));

        TUnRAR unit;
        unit.setArchiveFile(first);
        QTemporaryDir out;
        unit.ExtractDir = out.path();
        QStringList events;
        unit.OnError = [&](TZipCommon *, const QString &fn, const QString &, int code) {
            events << fn + QLatin1Char(' ') + QString::number(code);
        };
        ASSERT_TRUE(unit.Extract()) << unit.lastError();
        EXPECT_EQ(readAll(out.filePath(QStringLiteral("big.txt"))), data);
        EXPECT_EQ(events, QStringList({QStringLiteral("RAR New Volume 25903"), QStringLiteral("RAR New Volume 25903")}));

        // The same set held in memory: the extraction follows the volumes it was given.
        TUnRAR inMemory;
        inMemory.setArchiveData(volumes[0], c.names[0]);
        for (int i = 1; i < 3; ++i)
            inMemory.addMemoryVolume(c.names[i], volumes[i]);
        QTemporaryDir memoryOut;
        inMemory.ExtractDir = memoryOut.path();
        ASSERT_TRUE(inMemory.Extract()) << inMemory.lastError();
        EXPECT_EQ(readAll(memoryOut.filePath(QStringLiteral("big.txt"))), data);
    }
}

TEST(RarVolumes, MissingVolumeListsWhatThereIsAndRefusesTheMember)
{
    const QByteArray data = bigData();
    const QList<QByteArray> volumes = rarVolumesOf({}, {.name = "big.txt", .data = data}, 2000, false);
    QTemporaryDir dir;
    ASSERT_TRUE(writeAll(dir.filePath(QStringLiteral("set.rar")), volumes[0]));
    ASSERT_TRUE(writeAll(dir.filePath(QStringLiteral("set.r00")), volumes[1]));
    // A stub where the third volume should be is no volume; what came before is still listed.
    ASSERT_TRUE(writeAll(dir.filePath(QStringLiteral("set.r01")), "R"));
    const Listing got = listFile(dir.filePath(QStringLiteral("set.rar")));
    ASSERT_TRUE(got.ok);
    ASSERT_EQ(got.members.size(), 1u);
    EXPECT_EQ(got.members[0].packed, 4000u);
    TUnRAR unit;
    unit.setArchiveFile(dir.filePath(QStringLiteral("set.rar")));
    QTemporaryDir out;
    unit.ExtractDir = out.path();
    QStringList events;
    unit.OnError = [&](TZipCommon *, const QString &fn, const QString &, int code) { events << fn + QString::number(code); };
    EXPECT_FALSE(unit.Extract());
    EXPECT_EQ(unit.lastError(), 25134);
    EXPECT_TRUE(events.contains(QStringLiteral("RAR Insert Volume25903")));
    EXPECT_TRUE(filesUnder(out.path()).isEmpty());
}

// TUnRAR's rules on hand-made archives.
struct ExtractCase {
    const char *label;
    std::vector<RarMember> members;
    QString mask;
    QStringList names;
    int code;                 // lastError, 0 for success
    QStringList files;        // written, relative (stored folders off)
    int begins;               // OnBegin calls
};

TEST(RarExtract, Rules)
{
    const RarMember a{.name = "d1\\a.txt", .data = "first"};
    const RarMember a2{.name = "d2\\A.TXT", .data = "second"};
    const RarMember b{.name = "b.doc", .data = "bee"};
    const ExtractCase cases[] = {
        {"mask", {a, b}, QStringLiteral("*.txt"), {}, 0, {QStringLiteral("a.txt")}, 1},
        {"one named member stops after it", {a, a2, b}, QStringLiteral("a.txt"), {}, 0, {QStringLiteral("a.txt")}, 1},
        {"name list", {a, a2, b}, QStringLiteral("*.*"), {QStringLiteral("B.DOC")}, 0, {QStringLiteral("b.doc")}, 1},
        {"version below 2.0", {{.name = "old", .data = "x", .version = 15}}, QStringLiteral("*.*"), {}, 25302, {}, 0},
        {"data check fails", {{.name = "bad", .data = "x", .crc = 1}}, QStringLiteral("*.*"), {}, 25111,
         {QStringLiteral("bad")}, 1},
        {"encrypted", {{.name = "secret", .data = "x", .flags = 0x04}}, QStringLiteral("*.*"), {}, 25190, {}, 1},
        {"RAR 2.0 compression", {{.name = "c", .data = "x", .version = 20, .method = 0x33}}, QStringLiteral("*.*"), {},
         25200, {}, 1},
        {"nothing matches", {a}, QStringLiteral("*.zip"), {}, 26999, {}, 0},
        {"names outside the folder stay inside", {{.name = "..\\..\\up.txt", .data = "u"}}, QStringLiteral("*.*"), {}, 0,
         {QStringLiteral("up.txt")}, 1},
    };
    for (const ExtractCase &c : cases) {
        SCOPED_TRACE(c.label);
        TUnRAR unit;
        unit.setArchiveData(rar4Of(c.members), QStringLiteral("t.rar"));
        unit.setFileSpec(c.mask);
        unit.Names = c.names;
        QTemporaryDir out;
        unit.ExtractDir = out.path();
        int begins = 0;
        bool crcPass = true;
        unit.OnBegin = [&](TUnBase *, const QString &, int, bool &) { ++begins; };
        unit.OnEnd = [&](TUnBase *, const QString &, bool pass) { crcPass = pass; };
        EXPECT_EQ(unit.Extract() ? 0 : unit.lastError(), c.code);
        EXPECT_EQ(filesUnder(out.path()), c.files);
        EXPECT_EQ(begins, c.begins);
        EXPECT_EQ(crcPass, c.code != 25111);
    }
}

TEST(RarExtract, CurrentDateAndProgress)
{
    TUnRAR unit;
    unit.setArchiveData(rar5Of({{.name = "f.bin", .data = QByteArray(300000, 'q')}}), QStringLiteral("t.rar"));
    QTemporaryDir out;
    unit.ExtractDir = out.path();
    std::vector<int> progress;
    unit.OnProgress = [&](TUnBase *, const QString &, uint8_t p) { progress.push_back(p); };
    ASSERT_TRUE(unit.Extract());
    EXPECT_EQ(QFileInfo(out.filePath(QStringLiteral("f.bin"))).lastModified().toSecsSinceEpoch(), 1270900800);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    unit.SetDateTo = TSetDate::CurDate;
    unit.OnFileExists = [](TUnBase *, const QString &, bool &accept) { accept = true; };
    unit.OnProgress = [](TUnBase *, const QString &, uint8_t) { throw EArcAbort(); };
    EXPECT_THROW(unit.Extract(), EArcAbort);
    unit.OnProgress = nullptr;
    ASSERT_TRUE(unit.Extract());
    EXPECT_GT(QFileInfo(out.filePath(QStringLiteral("f.bin"))).lastModified().toSecsSinceEpoch(), 1600000000);
}

// Damage -------------------------------------------------------------------

// Headers whose sizes lie: the listing ends with a code (or quietly), quickly, never loops.
TEST(RarDamage, HostileHeadersEndTheListing)
{
    const QByteArray good = rar4Of({{.name = "a", .data = "abc"}, {.name = "b", .data = "de"}});
    constexpr int kFile = 20; // the first file header: after the 7-byte marker and 13-byte main header
    auto patched = [&](int at, QByteArray bytes, int headerSize) {
        QByteArray b = good;
        b.replace(at, bytes.size(), bytes);
        fixRar4Crc(b, kFile, headerSize);
        return b;
    };
    const struct {
        const char *label;
        QByteArray bytes;
        int code;
    } cases[] = {
        {"head size 0", patched(kFile + 5, QByteArray("\0\0", 2), 7), 25108},
        {"head size below a file header", patched(kFile + 5, QByteArray("\x10\0", 2), 16), 25108},
        {"name past the header", patched(kFile + 26, QByteArray("\xFF\x00", 2), 33), 25108},
        {"huge 64-bit packed size", [&] {
             QByteArray b = good;
             b[kFile + 3] = char(uint8_t(b[kFile + 3]) | 0x00); // flags low
             b[kFile + 4] = char(0x81);                        // 8000h | 100h: high sizes follow
             b.insert(kFile + 32, QByteArray("\xFF\xFF\xFF\x7F\0\0\0\0", 8));
             b[kFile + 5] = char(uint8_t(b[kFile + 5]) + 8);
             fixRar4Crc(b, kFile, 33 + 8);
             return b;
         }(), 25135},
        {"header CRC", [&] { QByteArray b = good; b[kFile + 20] = 'X'; return b; }(), 25136},
        {"encrypted headers", rar4Of({}, 0x0080), 25190},
        {"rar5 header size past 2 MB", QByteArray("Rar!\x1A\x07\x01\x00\0\0\0\0\xFF\xFF\xFF\x01", 16), 25108},
        {"rar5 size vint runs on", QByteArray("Rar!\x1A\x07\x01\x00\0\0\0\0\xFF\xFF\xFF", 15), 25108},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        const Listing got = listBytes(c.bytes);
        EXPECT_FALSE(got.ok);
        EXPECT_EQ(got.error, c.code);
        TUnRAR unit;
        unit.setArchiveData(c.bytes, QStringLiteral("t.rar"));
        QTemporaryDir out;
        unit.ExtractDir = out.path();
        EXPECT_FALSE(unit.Extract());
        EXPECT_NE(unit.lastError(), 0);
    }
}

// Every prefix and seeded flips of small archives: a clean end with a code, no crash or hang.
TEST(RarDamage, PrefixesAndFlips)
{
    std::vector<QByteArray> seeds = {rar4Of({{.name = "a.txt", .data = "hello"}, {.name = "d", .flags = 0xE0}}),
                                     rar5Of({{.name = "a.txt", .data = "hello"}})};
    if (testcorpus::Present())
        seeds.push_back(readAll(testcorpus::ArchiveFile("rar", QStringLiteral("la_rar.rar"))));
    std::mt19937 rng(4611);
    for (const QByteArray &seed : seeds) {
        for (qsizetype n = 0; n < seed.size(); ++n) {
            const Listing got = listBytes(seed.left(n));
            EXPECT_TRUE(got.ok || got.error != 0);
            EXPECT_EQ(RarFinding(seed.left(n)), QString()) << n;
        }
        for (int round = 0; round < 60; ++round)
            EXPECT_EQ(RarFinding(MutateSeed(seed, rng)), QString()) << round;
    }
}

TEST(RarFuzzReplay, CorpusFilesHoldTheProperties)
{
    QUILLON_NEED_CORPUS();
    std::mt19937 rng(977);
    for (const CorpusCase &c : kCorpus) {
        const QByteArray bytes = readAll(testcorpus::ArchiveFile("rar", QString::fromLatin1(c.file)));
        if (bytes.size() > 70000)
            continue; // the large ones add time, not coverage
        SCOPED_TRACE(c.file);
        EXPECT_EQ(RarFinding(bytes), QString());
        for (int round = 0; round < 4; ++round)
            EXPECT_EQ(RarFinding(MutateSeed(bytes, rng)), QString());
    }
}

} // namespace
