// The cabinet reader and extractor: every corpus cabinet listed against its
// reference listing and extracted against the consensus bytes (LZX and
// Quantum members refused), the two-cabinet set (listing across both files,
// a data block cut between them, a missing or foreign second cabinet, a
// start in the middle of the set), hand-made cabinets for the MSZIP window
// across blocks, checksums, reserves and hostile tables, damage sweeps, and
// the fuzz target's properties replayed.
#include "archive/UnCAB.h"

#include "ArcFixtures.h"
#include "CabFixtures.h"
#include "Corpus.h"
#include "Mutate.h"
#include "ScopedTimeZone.h"
#include "../../fuzz/ArchiveProperties.h"

#include "platform/Texts.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <map>
#include <random>
#include <set>

using namespace arcfix;

namespace {

struct Extraction {
    bool ok = false;
    int error = 0;
    std::vector<int> warnings;
    std::vector<std::pair<QString, bool>> ends; // OnEnd: file, CRC passed
};

Extraction extract(TUnCAB &unit, const QString &dest, const QString &mask = QStringLiteral("*.*"))
{
    Extraction r;
    unit.ExtractDir = dest;
    unit.UseStoredDirs = true;
    unit.setFileSpec(mask);
    unit.OnError = [&](TZipCommon *, const QString &, const QString &, int code) { r.warnings.push_back(code); };
    unit.OnEnd = [&](TUnBase *, const QString &fn, bool pass) { r.ends.emplace_back(fn, pass); };
    r.ok = unit.Extract();
    r.error = unit.lastError();
    return r;
}

Extraction extractFile(const QString &path, const QString &dest)
{
    TUnCAB unit;
    unit.setArchiveFile(path);
    return extract(unit, dest);
}

Extraction extractBytes(const QByteArray &bytes, const QString &dest)
{
    TUnCAB unit;
    unit.setArchiveData(bytes, QStringLiteral("hand.cab"));
    return extract(unit, dest);
}

Listing listBytes(const QByteArray &bytes)
{
    TArcLister lister;
    lister.setArchiveData(bytes, QStringLiteral("hand.cab"));
    EXPECT_EQ(lister.arcType(), TArcType::CAB);
    return listArchive(lister);
}

QString sha256Of(const QString &path)
{
    return QString::fromLatin1(QCryptographicHash::hash(readAll(path), QCryptographicHash::Sha256).toHex());
}

// The method code a reference tool's method name stands for.
int methodOf(const QString &name)
{
    if (name == QLatin1String("None"))
        return 0;
    if (name == QLatin1String("MSZIP"))
        return 1;
    return name.startsWith(QLatin1String("Quantum")) ? 2 : 3;
}

QString setDir()
{
    return testcorpus::ArchiveDir("cab") + QStringLiteral("/la_cab_multi");
}

const QString kSetFirst = QStringLiteral("test_read_format_cab_multi.p1.cab");
const QString kSetSecond = QStringLiteral("test_read_format_cab_multi.p2.cab");

} // namespace

// Names: the reference lister decoded names that are not UTF-8 in the code page it guessed
// (KOI8-R, Shift_JIS); our rule reads such bytes as code page 437. Each expected name is
// therefore turned back into those bytes and then read by our rule before it is compared.
TEST(Cab, CorpusListingMatchesReference)
{
    QUILLON_NEED_CORPUS();
    ScopedTimeZone utc("UTC");
    const QStringList archives = corpusArchives("cab");
    ASSERT_GE(archives.size(), 17);
    for (const QString &path : archives) {
        SCOPED_TRACE(path.toStdString());
        const std::vector<QJsonObject> lines = manifestLines(path);
        TArcLister lister;
        lister.setArchiveFile(path);
        ASSERT_EQ(lister.arcType(), TArcType::CAB);
        const Listing got = listArchive(lister);
        // The reference that lists every cabinet's entries; the truncated cabinet only 7z read.
        const bool damaged = manifestExpect(lines).startsWith(QLatin1String("damaged"));
        const std::vector<QJsonObject> want = manifestOf(lines, "member", damaged ? "7z" : "lsar");
        QString charset;
        for (const QJsonObject &info : manifestOf(lines, "archive_info", "lsar"))
            charset = info.value(QStringLiteral("encoding")).toString();
        // A cabinet shorter than its header says lists its directory, then reports the loss.
        EXPECT_EQ(got.ok, !damaged) << got.error;
        EXPECT_EQ(got.error, damaged ? int(ArcErrReadFile) : 0);
        ASSERT_EQ(got.members.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            const QString name = want[i].value(QStringLiteral("path")).toString();
            const bool plain = charset.isEmpty() || charset == QLatin1String("US-ASCII") ||
                               charset == QLatin1String("UTF-8");
            QByteArray expected = DosBytesToUtf8(plain ? name.toUtf8() : encodeAs(name, charset));
            expected.replace('/', '\\');
            EXPECT_EQ(got.members[i].name, expected) << i;
            EXPECT_EQ(got.members[i].size, uint64_t(want[i].value(QStringLiteral("size")).toInteger()));
            EXPECT_EQ(got.members[i].packed, got.members[i].size);
            EXPECT_EQ(got.members[i].crc, 0u);
            EXPECT_EQ(DosDateTimeToIso(got.members[i].dos),
                      want[i].value(QStringLiteral("mtime")).toString().left(19).replace(QLatin1Char(' '),
                                                                                         QLatin1Char('T')));
            if (!damaged) {
                EXPECT_EQ(got.members[i].method, methodOf(want[i].value(QStringLiteral("method")).toString()));
            }
            EXPECT_EQ(got.members[i].attr & 0xC0, 0u); // name encoding and run bits are no attributes
        }
    }
}

TEST(Cab, CorpusExtractionMatchesConsensus)
{
    QUILLON_NEED_CORPUS();
    for (const QString &path : corpusArchives("cab")) {
        SCOPED_TRACE(path.toStdString());
        const std::vector<QJsonObject> lines = manifestLines(path);
        TArcLister lister;
        lister.setArchiveFile(path);
        std::map<QString, int> methodOfName;
        const Listing listed = listArchive(lister);
        for (const ListedMember &m : listed.members)
            methodOfName[QString::fromUtf8(m.name).replace(QLatin1Char('\\'), QLatin1Char('/'))] = m.method;
        QTemporaryDir out;
        ASSERT_TRUE(out.isValid());
        const Extraction r = extractFile(path, out.path());
        const std::set<int> warned(r.warnings.begin(), r.warnings.end());
        if (manifestExpect(lines).startsWith(QLatin1String("damaged"))) {
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.error, ArcErrNothingToDo);
            EXPECT_TRUE(warned.count(ArcErrReadFile));
            EXPECT_TRUE(filesUnder(out.path()).isEmpty());
            continue;
        }
        int extracted = 0;
        bool extractable = false; // a stored or MSZIP member is there
        for (const ListedMember &m : listed.members)
            extractable = extractable || m.method < 2;
        for (const QJsonObject &c : manifestOf(lines, "consensus")) {
            const QString name = c.value(QStringLiteral("path")).toString();
            const auto method = methodOfName.find(name);
            if (method == methodOfName.end())
                continue; // a name in another code page: compared by listing only
            const QString file = out.path() + QLatin1Char('/') + name;
            if (method->second >= 2) {
                EXPECT_FALSE(QFile::exists(file)) << name.toStdString();
                EXPECT_TRUE(warned.count(method->second == 3 ? int(ArcErrLzxMethod) : int(ArcErrUnsupportedMethod)));
                continue;
            }
            ++extracted;
            EXPECT_EQ(sha256Of(file), c.value(QStringLiteral("sha256")).toString()) << name.toStdString();
        }
        EXPECT_EQ(r.ok, extractable) << r.error;
        EXPECT_EQ(!filesUnder(out.path()).isEmpty(), extractable);
        EXPECT_LE(extracted, int(filesUnder(out.path()).size()));
        for (const auto &[fn, pass] : r.ends)
            EXPECT_TRUE(pass) << fn.toStdString(); // every block checksum of the corpus holds
    }
}

TEST(Cab, SetListsBothCabinetsEachMemberWithItsFile)
{
    QUILLON_NEED_CORPUS();
    TArcLister lister;
    lister.setArchiveFile(setDir() + QLatin1Char('/') + kSetFirst);
    const Listing got = listArchive(lister);
    ASSERT_TRUE(got.ok) << got.error;
    ASSERT_EQ(got.members.size(), 2u);
    EXPECT_TRUE(got.members[0].file.endsWith(kSetFirst));
    EXPECT_TRUE(got.members[1].file.endsWith(kSetSecond));
    EXPECT_TRUE(got.warnings.empty());
}

// The set's cabinets as copies in a folder of their own, the second one changed by edit.
struct SetCopy {
    QTemporaryDir dir;
    QString first;
    explicit SetCopy(const std::function<void(QByteArray &)> &edit = {}, const QString &secondName = kSetSecond)
    {
        first = dir.path() + QLatin1Char('/') + kSetFirst;
        writeAll(first, readAll(setDir() + QLatin1Char('/') + kSetFirst));
        QByteArray second = readAll(setDir() + QLatin1Char('/') + kSetSecond);
        if (edit)
            edit(second);
        if (!secondName.isEmpty())
            writeAll(dir.path() + QLatin1Char('/') + secondName, second);
    }
};

TEST(Cab, SetAcrossCabinets)
{
    QUILLON_NEED_CORPUS();
    struct Case {
        const char *what;
        std::function<void(QByteArray &)> edit;
        QString secondName;
        int listError;           // 0: lists both
        std::vector<int> listWarnings;
        bool extracts;           // the member cut between the cabinets comes out whole
        int extractWarning;
    };
    const Case cases[] = {
        {"whole set", {}, kSetSecond, 0, {}, true, 0},
        // Names of linked cabinets are looked up without regard to case, as on the media they come from.
        {"other case", {}, kSetSecond.toUpper(), 0, {}, true, 0},
        {"second missing", {}, QString(), ArcErrFileNotFound, {ArcErrNextCabinet, ArcErrFileNotFound}, false,
         ArcErrNextCabinet},
        {"other set", [](QByteArray &b) { put16(b, 32, 0x4242); }, kSetSecond, ArcErrForeignCabinet,
         {ArcErrForeignCabinet}, false, ArcErrForeignCabinet},
        {"out of order", [](QByteArray &b) { put16(b, 34, 5); }, kSetSecond, ArcErrForeignCabinet,
         {ArcErrForeignCabinet}, false, ArcErrForeignCabinet},
        {"not a cabinet", [](QByteArray &b) { b[0] = 'X'; }, kSetSecond, ArcErrBadFileHeader,
         {ArcErrBadFileHeader}, false, ArcErrReadFile},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetCopy set(c.edit, c.secondName);
        TArcLister lister;
        lister.setArchiveFile(set.first);
        const Listing got = listArchive(lister);
        EXPECT_EQ(got.error, c.listError);
        EXPECT_EQ(got.warnings, c.listWarnings);
        EXPECT_EQ(got.members.size(), c.listError ? 1u : 2u); // the first cabinet's member stays reported
        // From the files, and from the same set held in memory: the extraction follows the cabinets alike.
        for (const bool inMemory : {false, true}) {
            SCOPED_TRACE(inMemory ? "in memory" : "files");
            QTemporaryDir out;
            TUnCAB unit;
            if (inMemory) {
                unit.setArchiveData(readAll(set.first), kSetFirst);
                if (!c.secondName.isEmpty())
                    unit.addMemoryVolume(c.secondName, readAll(set.dir.filePath(c.secondName)));
            } else {
                unit.setArchiveFile(set.first);
            }
            const Extraction r = extract(unit, out.path());
            EXPECT_EQ(r.ok, c.extracts);
            if (c.extracts) {
                EXPECT_EQ(sha256Of(out.path() + QStringLiteral("/ones")),
                          QStringLiteral("6caf38d537984e261527b8caef5f990fb91415a1db917198821a79ed28997973"));
            } else {
                EXPECT_TRUE(std::count(r.warnings.begin(), r.warnings.end(), c.extractWarning)) << r.warnings.size();
            }
        }
    }
}

TEST(Cab, StartInTheMiddleOfASet)
{
    QUILLON_NEED_CORPUS();
    // The second cabinet lists its part of the member, but cannot give its bytes.
    TArcLister lister;
    lister.setArchiveFile(setDir() + QLatin1Char('/') + kSetSecond);
    const Listing got = listArchive(lister);
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.members.size(), 1u);
    QTemporaryDir out;
    const Extraction r = extractFile(setDir() + QLatin1Char('/') + kSetSecond, out.path());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.warnings.front(), ArcErrNeedFirstCabinet);
    EXPECT_TRUE(filesUnder(out.path()).isEmpty());
}

TEST(Cab, HandMadeCabinets)
{
    // Text that repeats across 32 KiB blocks: the later blocks' matches reach back into earlier ones.
    QByteArray text;
    for (int i = 0; text.size() < 100000; ++i)
        text += "line " + QByteArray::number(i % 977) + " of a cabinet that spans blocks\n";
    const QByteArray tail = "the last file";
    struct Case {
        const char *what;
        std::function<CabSpec()> spec;
        std::vector<std::pair<QString, QByteArray>> files; // expected output
        std::vector<int> warnings;
        bool crcPass = true;
    };
    auto twoFiles = [&](bool mszip) {
        CabSpec s;
        s.folders.push_back(mszip ? mszipFolder(text + tail) : storedFolder(text + tail));
        s.files = {{"dir\\big.txt", uint32_t(text.size()), 0}, {"tail.txt", uint32_t(tail.size()), uint32_t(text.size())}};
        return s;
    };
    const std::vector<std::pair<QString, QByteArray>> both = {{QStringLiteral("dir/big.txt"), text},
                                                              {QStringLiteral("tail.txt"), tail}};
    const Case cases[] = {
        {"mszip window across blocks", [&] { return twoFiles(true); }, both, {}},
        {"stored", [&] { return twoFiles(false); }, both, {}},
        {"reserves", [&] {
             CabSpec s = twoFiles(true);
             s.reserve = true;
             s.headerReserve = 300;
             s.folderReserve = 7;
             s.dataReserve = 5;
             return s;
         }, both, {}},
        {"no checksums", [&] {
             CabSpec s = twoFiles(true);
             for (CabBlock &b : s.folders[0].blocks)
                 b.checksum = false;
             return s;
         }, both, {}},
        // A block whose checksum fails: its members are written and reported as failing the check.
        {"bad checksum", [&] {
             CabSpec s = twoFiles(false);
             s.folders[0].blocks.back().flipChecksum = 1;
             return s;
         }, both, {ArcErrCrc, ArcErrCrc}, false},
        {"members out of order", [&] {
             CabSpec s = twoFiles(true);
             std::swap(s.files[0], s.files[1]);
             return s;
         }, both, {}},
        {"overlapping members", [&] {
             CabSpec s = twoFiles(false);
             s.files[1].offset = 10;
             return s;
         }, {{QStringLiteral("dir/big.txt"), text}}, {ArcErrBadLengths}},
        {"member past the folder", [&] {
             CabSpec s = twoFiles(false);
             s.files[1].offset = 0xFFFFFF00;
             return s;
         }, {{QStringLiteral("dir/big.txt"), text}}, {ArcErrReadFile}},
        {"unpacked size says more", [&] {
             CabSpec s = twoFiles(true);
             s.folders[0].blocks[1].unpacked = 32000;
             return s;
         }, {}, {ArcErrInvalidCode, ArcErrInvalidCode, ArcErrNothingToDo}},
        {"no CK tag", [&] {
             CabSpec s = twoFiles(true);
             s.folders[0].blocks[0].packed[0] = 'X';
             return s;
         }, {}, {ArcErrInvalidCode, ArcErrInvalidCode, ArcErrNothingToDo}},
        {"quantum and lzx", [&] {
             CabSpec s = twoFiles(false);
             s.folders.push_back(s.folders[0]);
             s.folders[0].compression = 0x1202;
             s.folders[1].compression = 0x1503;
             s.files[1].folder = 1;
             return s;
         }, {}, {ArcErrUnsupportedMethod, ArcErrLzxMethod, ArcErrNothingToDo}},
        {"unknown folder", [&] {
             CabSpec s = twoFiles(false);
             s.files[0].folder = 9;
             return s;
         }, {}, {ArcErrBadFileHeader, ArcErrNothingToDo}}, // a damaged table ends there, as the listing does
        {"names that try to leave", [&] {
             CabSpec s = twoFiles(false);
             s.files[0].name = "..\\..\\up.txt";
             s.files[1].name = "C:\\abs.txt";
             return s;
         }, {{QStringLiteral("up.txt"), text}, {QStringLiteral("abs.txt"), tail}}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir out;
        const Extraction r = extractBytes(cabOf(c.spec()), out.path());
        EXPECT_EQ(r.ok, !c.files.empty()) << r.error;
        EXPECT_EQ(r.warnings, c.warnings);
        QStringList names;
        for (const auto &[name, bytes] : c.files) {
            names << name;
            EXPECT_EQ(readAll(out.path() + QLatin1Char('/') + name), bytes) << name.toStdString();
        }
        names.sort();
        EXPECT_EQ(filesUnder(out.path()), names);
        for (const auto &[fn, pass] : r.ends)
            EXPECT_EQ(pass, c.crcPass) << fn.toStdString();
    }
}

TEST(Cab, HandMadeListing)
{
    CabSpec s;
    s.folders = {storedFolder("abc"), mszipFolder("defg")};
    s.folders[1].compression = 0x1203; // an LZX folder's window bits above the method
    s.files = {{"a/b.txt", 3, 0, 0, 0x21}, {QByteArray("\xC3\xA9t\xC3\xA9.txt"), 4, 0, 1, 0xA0},
               {QByteArray("caf\x82.txt"), 0, 0, 0, 0x60}};
    const Listing got = listBytes(cabOf(s));
    ASSERT_TRUE(got.ok) << got.error;
    ASSERT_EQ(got.members.size(), 3u);
    EXPECT_EQ(got.members[0].name, QByteArray("a\\b.txt"));
    EXPECT_EQ(got.members[0].attr, 0x21u);
    EXPECT_EQ(got.members[0].method, 0);
    EXPECT_EQ(got.members[1].name, QByteArray("\xC3\xA9t\xC3\xA9.txt")); // the UTF-8 flag's name
    EXPECT_EQ(got.members[1].attr, 0x20u);
    EXPECT_EQ(got.members[1].method, 3); // each member by its own folder
    EXPECT_EQ(got.members[2].name, QByteArray("caf\xC3\xA9.txt")); // code page 437
    EXPECT_EQ(got.members[2].attr, 0x20u);
    EXPECT_EQ(DosDateTimeToIso(got.members[0].dos), QStringLiteral("2003-03-12T11:20:52"));
}

TEST(Cab, HostileHeaders)
{
    CabSpec base;
    base.folders = {storedFolder("abc")};
    base.files = {{"a.txt", 3, 0, 0}};
    struct Case {
        const char *what;
        std::function<QByteArray()> bytes;
        int error;
    };
    const Case cases[] = {
        {"file count past the end", [&] { QByteArray b = cabOf(base); put16(b, 28, 0xFFFF); return b; }, ArcErrReadFile},
        {"folder count past the end", [&] { QByteArray b = cabOf(base); put16(b, 26, 0xFFFF); return b; }, ArcErrReadFile},
        {"file table offset past the end", [&] { QByteArray b = cabOf(base); put32(b, 16, 0xFFFFFFF0); return b; }, ArcErrReadFile},
        {"no folders", [&] { QByteArray b = cabOf(base); put16(b, 26, 0); return b; }, ArcErrBadFileHeader},
        {"header reserve past the end", [&] {
             CabSpec s = base;
             s.reserve = true;
             QByteArray b = cabOf(s);
             put16(b, 36, 0xFFFF);
             return b;
         }, ArcErrReadFile},
        {"name too long", [&] {
             CabSpec s = base;
             s.files[0].name = QByteArray(300, 'n');
             return cabOf(s);
         }, ArcErrBadFileHeader},
        {"next cabinet link without end", [&] {
             CabSpec s = base;
             s.next = QByteArray(400, 'x');
             return cabOf(s);
         }, ArcErrBadFileHeader},
        {"next cabinet that is itself", [&] {
             CabSpec s = base;
             s.next = "hand.cab";
             return cabOf(s);
         }, ArcErrFileNotFound},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray bytes = c.bytes();
        const Listing got = listBytes(bytes);
        EXPECT_EQ(got.error, c.error);
        QTemporaryDir out;
        const Extraction r = extractBytes(bytes, out.path());
        EXPECT_TRUE(r.ok || r.error != 0);
    }
}

// Every prefix and seeded byte flips of small corpus cabinets: each ends with a listing or a
// numbered error, never a crash or a hang; extraction writes nothing it cannot vouch for.
TEST(Cab, DamageSweeps)
{
    QUILLON_NEED_CORPUS();
    const std::set<int> codes = {0, ArcErrReadFile, ArcErrBadFileHeader, ArcErrFileNotFound, ArcErrNothingToDo};
    std::mt19937 rng(8123);
    for (const char *name : {"mspack_mszip_lzx_qtm.cab", "la_cab_2.cab", "mspack_normal_2files_2folders.cab"}) {
        const QByteArray whole = readAll(testcorpus::ArchiveFile("cab", QString::fromLatin1(name)));
        ASSERT_FALSE(whole.isEmpty()) << name;
        std::vector<QByteArray> inputs;
        for (qsizetype n = 4; n < whole.size(); ++n)
            inputs.push_back(whole.left(n));
        for (int round = 0; round < 150; ++round)
            inputs.push_back(MutateSeed(whole, rng));
        for (const QByteArray &bytes : inputs) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(bytes.size()));
            TArcLister lister;
            lister.setArchiveData(bytes, QStringLiteral("hand.cab"));
            if (lister.arcType() != TArcType::CAB)
                continue;
            const Listing got = listArchive(lister);
            EXPECT_TRUE(codes.count(got.error)) << got.error;
            QTemporaryDir out;
            const Extraction r = extractBytes(bytes, out.path());
            EXPECT_TRUE(codes.count(r.error)) << r.error;
        }
    }
}

TEST(Cab, FuzzPropertiesHold)
{
    std::vector<QByteArray> seeds = {cabOfFiles({{"a.txt", "alpha"}, {"../b.txt", "beta"}}, true),
                                     cabOfFiles({{"/abs/c.txt", QByteArray(70000, 'c')}}, false)};
    if (testcorpus::Present())
        for (const QString &path : corpusArchives("cab"))
            seeds.push_back(readAll(path));
    std::mt19937 rng(5150);
    for (const QByteArray &seed : seeds) {
        EXPECT_EQ(CabFinding(seed), QString()) << seed.size();
        for (int round = 0; round < 6; ++round) {
            const QByteArray mutated = MutateSeed(seed, rng);
            EXPECT_EQ(CabFinding(mutated), QString()) << mutated.toHex().left(400).constData();
        }
    }
}
