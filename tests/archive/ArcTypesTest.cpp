// Type detection (signature table, TAR checksum rule, self-extractor search
// through PE string resources, the MZ header and the ZIP end record), the
// catalog-side extension table, mask matching, error texts and dates; plus
// detection over the whole archive corpus against its index.
#include "archive/ArcDetect.h"
#include "archive/ArcLister.h"
#include "archive/ArcTypes.h"
#include "archive/ArchiveTypes.h"
#include "archive/Extract.h"
#include "archive/UnGZIP.h"
#include "archive/UnTar.h"
#include "archive/UnZIP.h"
#include "archive/PeResources.h"

#include "ArcFixtures.h"
#include "Corpus.h"
#include "ScopedTimeZone.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace {

using arcfix::put16;
using arcfix::put32;
using arcfix::zipOf;

TArcType detectBytes(const QByteArray &data, const QString &name = QStringLiteral("file.bin"))
{
    TMemorySource src(data);
    return DetectArcType(src, name, 0).type;
}

QByteArray tarBlock(char typeFlag = '0')
{
    QByteArray b(512, '\0');
    memcpy(b.data(), "README.TXT", 10);
    memcpy(b.data() + 100, "0000644", 7);
    memcpy(b.data() + 124, "00000000005", 11);
    b[156] = typeFlag;
    memcpy(b.data() + 257, "ustar", 5);
    unsigned sum = 0;
    for (int i = 0; i < 512; ++i)
        sum += (i >= 148 && i < 156) ? 32u : uint8_t(b[i]);
    const QByteArray field = QByteArray::number(sum, 8).rightJustified(6, '0');
    memcpy(b.data() + 148, field.constData(), 6);
    b[154] = '\0';
    b[155] = ' ';
    return b;
}

TEST(ArcTypes, NamesAndOrder)
{
    EXPECT_EQ(int(TArcType::NA), 0);
    EXPECT_EQ(int(TArcType::ARJ), 4);
    EXPECT_EQ(int(TArcType::GZip), 11);
    EXPECT_EQ(int(TArcType::TAR), 21);
    EXPECT_EQ(int(TArcType::ZipExe), 23);
    EXPECT_EQ(int(TArcType::ZOO), 26);
    EXPECT_STREQ(ArcTypeName(TArcType::Zip250Exe), "Zip250Exe");
    EXPECT_STREQ(ArcTypeName(TArcType::LzhExe), "LzhExe");
}

// One row of the signature table: the first four bytes, and the type they
// give in a plain file and inside an executable.
struct SignatureCase {
    const char *name;
    std::string bytes;
    TArcType plain;
    TArcType inExe;
    int64_t fixedOffset = -1;
};

class SignatureTable : public testing::TestWithParam<SignatureCase>
{
};

TEST_P(SignatureTable, ClassifiesPlainAndInsideAnExecutable)
{
    const SignatureCase &c = GetParam();
    ASSERT_EQ(c.bytes.size(), 4u);
    const auto *bytes = reinterpret_cast<const uint8_t *>(c.bytes.data());
    const TSignatureHit plain = ClassifySignature(bytes, TSigMode::Plain);
    const TSignatureHit inExe = ClassifySignature(bytes, TSigMode::Executable);
    EXPECT_EQ(plain.type, c.plain) << ArcTypeName(plain.type);
    EXPECT_EQ(inExe.type, c.inExe) << ArcTypeName(inExe.type);
    EXPECT_EQ(plain.fixedOffset, c.fixedOffset);
    EXPECT_EQ(inExe.fixedOffset, c.fixedOffset);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SignatureTable,
    testing::Values(SignatureCase{"zip", {"PK\x03\x04", 4}, TArcType::ZIP, TArcType::ZipExe},
                    SignatureCase{"cab", {"MSCF", 4}, TArcType::CAB, TArcType::NA},
                    SignatureCase{"zip250", {"\0\0\0P", 4}, TArcType::Zip250, TArcType::Zip250Exe},
                    SignatureCase{"bh", {"BH\x05\x07", 4}, TArcType::BH, TArcType::BHExe},
                    SignatureCase{"ha", {"HA\x02\x00", 4}, TArcType::HA, TArcType::NA},
                    SignatureCase{"gzip", {"\x1F\x8B\x08\x00", 4}, TArcType::GZip, TArcType::NA},
                    SignatureCase{"compress", {"\x1F\x9D\x90\x00", 4}, TArcType::GZip, TArcType::NA},
                    SignatureCase{"gzipOld", {"\x1F\x9E\x00\x00", 4}, TArcType::GZip, TArcType::NA},
                    SignatureCase{"pack", {"\x1F\x1E\x00\x00", 4}, TArcType::GZip, TArcType::NA},
                    SignatureCase{"lzhA0", {"\x1F\xA0\x00\x00", 4}, TArcType::GZip, TArcType::NA},
                    SignatureCase{"arj", {"\x60\xEA\x20\x00", 4}, TArcType::ARJ, TArcType::ArjExe},
                    SignatureCase{"zoo", {"ZOO ", 4}, TArcType::ZOO, TArcType::NA},
                    SignatureCase{"lha", {"\x20\x10-l", 4}, TArcType::LHA, TArcType::LhaExe},
                    SignatureCase{"rar", {"Rar!", 4}, TArcType::RAR, TArcType::RarExe},
                    SignatureCase{"pak0A", {"\x1A\x0A\x41\x00", 4}, TArcType::PAK, TArcType::PakExe},
                    SignatureCase{"pak0B", {"\x1A\x0B\x41\x00", 4}, TArcType::PAK, TArcType::PakExe},
                    SignatureCase{"arc08", {"\x1A\x08\x41\x00", 4}, TArcType::ARC, TArcType::ArcExe},
                    SignatureCase{"arc09", {"\x1A\x09\x41\x00", 4}, TArcType::ARC, TArcType::ArcExe},
                    SignatureCase{"arc01", {"\x1A\x01\x41\x00", 4}, TArcType::ARC, TArcType::ArcExe},
                    SignatureCase{"arc02", {"\x1A\x02\x41\x00", 4}, TArcType::ARC, TArcType::ArcExe},
                    SignatureCase{"arc04", {"\x1A\x04\x41\x00", 4}, TArcType::ARC, TArcType::ArcExe},
                    SignatureCase{"arc07", {"\x1A\x07\x41\x00", 4}, TArcType::ARC, TArcType::ArcExe},
                    SignatureCase{"arcEnd", {"\x1A\x00\x41\x00", 4}, TArcType::Unknown, TArcType::Unknown},
                    // ARC self-extractor stubs whose archive sits at a fixed offset
                    SignatureCase{"arcStubB792", {"\xB7\x92\x00\x00", 4}, TArcType::ArcExe, TArcType::ArcExe, 7717},
                    SignatureCase{"arcStubB7DF", {"\xB7\xDF\x00\x00", 4}, TArcType::ArcExe, TArcType::ArcExe, 7717},
                    SignatureCase{"text", {"abcd", 4}, TArcType::Unknown, TArcType::Unknown}),
    [](const testing::TestParamInfo<SignatureCase> &info) { return std::string(info.param.name); });

TEST(ArcTypes, SmallEmptyAndTextFiles)
{
    EXPECT_EQ(detectBytes(QByteArray("PK\x03\x04\x00", 5)), TArcType::FileError);
    EXPECT_EQ(DetectArcTypeOfFile(QString(), 0).type, TArcType::NA);
    EXPECT_EQ(DetectArcTypeOfFile(QStringLiteral("/nonexistent/x.zip"), 0).type, TArcType::FileError);
    EXPECT_EQ(detectBytes("This is a plain text file.\n"), TArcType::Unknown);
    TArcLister lister;
    lister.setArchiveFile(QStringLiteral("/nonexistent/x.zip"));
    EXPECT_EQ(lister.arcType(), TArcType::NA);
    EXPECT_TRUE(lister.archiveFile().isEmpty());
}

TEST(ArcTypes, TarNeedsChecksumAndExtension)
{
    QByteArray tar = tarBlock() + QByteArray(1024, '\0');
    EXPECT_TRUE(TarChecksumOk(tar.first(512)));
    EXPECT_EQ(detectBytes(tar, QStringLiteral("X.TAR")), TArcType::TAR);
    EXPECT_EQ(detectBytes(tar, QStringLiteral("x.tar")), TArcType::TAR);
    EXPECT_EQ(detectBytes(tar, QStringLiteral("x.bin")), TArcType::Unknown);
    QByteArray bad = tar;
    bad[0] = 'r';
    EXPECT_FALSE(TarChecksumOk(bad.first(512)));
    EXPECT_EQ(detectBytes(bad, QStringLiteral("X.TAR")), TArcType::Unknown);
    // A volume label first: the member header is the next block and the archive starts there.
    const QByteArray labelled = tarBlock('V') + tarBlock() + QByteArray(1024, '\0');
    TMemorySource src(labelled);
    const TArcDetection det = DetectArcType(src, QStringLiteral("v.tar"), 0);
    EXPECT_EQ(det.type, TArcType::TAR);
    EXPECT_EQ(det.startOffset, 513);
}

// A minimal PE image whose string table block 1 holds strings (ids 0-15).
QByteArray peWithStrings(const QStringList &strings, int imageSize)
{
    QByteArray pe(imageSize, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    put32(pe, 0x3C, 0x40);
    memcpy(pe.data() + 0x40, "PE\0\0", 4);
    put16(pe, 0x44, 0x14C);
    put16(pe, 0x46, 1);     // one section
    put16(pe, 0x54, 224);   // size of optional header
    const int opt = 0x58;
    put16(pe, opt, 0x10B);
    put32(pe, opt + 112, 0x1000); // resource directory RVA
    put32(pe, opt + 116, 0x100);
    const int sec = opt + 224;
    memcpy(pe.data() + sec, ".rsrc", 5);
    put32(pe, sec + 8, 0x200);
    put32(pe, sec + 12, 0x1000);
    put32(pe, sec + 16, 0x200);
    put32(pe, sec + 20, 0x200);
    const int r = 0x200;
    put16(pe, r + 14, 1);
    put32(pe, r + 16, 6);                      // RT_STRING
    put32(pe, r + 20, 0x80000000u | 0x18);
    put16(pe, r + 0x18 + 14, 1);
    put32(pe, r + 0x18 + 16, 1);               // block 1: ids 0-15
    put32(pe, r + 0x18 + 20, 0x80000000u | 0x30);
    put16(pe, r + 0x30 + 14, 1);
    put32(pe, r + 0x30 + 16, 0x409);
    put32(pe, r + 0x30 + 20, 0x48);            // data entry
    put32(pe, r + 0x48, 0x1000 + 0x58);
    int at = r + 0x58;
    for (int id = 0; id < 16; ++id) {
        const QString s = id < strings.size() ? strings[id] : QString();
        put16(pe, at, uint16_t(s.size()));
        at += 2;
        for (QChar c : s) {
            put16(pe, at, c.unicode());
            at += 2;
        }
    }
    put32(pe, r + 0x48 + 4, uint32_t(at - (r + 0x58)));
    return pe;
}

// A stored ZIP of one member, offsets counted from its own first byte.
QByteArray storedZip(const QByteArray &name, const QByteArray &data)
{
    return zipOf({{.name = name, .data = data, .crc = 0xCAFEBABE}});
}

TEST(ArcTypes, PeStringResourceGivesRelativeStart)
{
    const QByteArray pe = peWithStrings({QString(), QStringLiteral("1024")}, 1024);
    TMemorySource peSrc(pe);
    const QList<QByteArray> found = PeStringResources(peSrc, 1, 4);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0], QByteArray("1024"));

    const QByteArray file = pe + storedZip("INSIDE.TXT", "payload"); // offsets relative to the archive
    TArcLister lister;
    lister.setArchiveData(file, QStringLiteral("setup.exe"));
    EXPECT_EQ(lister.arcType(), TArcType::ZipExe);
    EXPECT_EQ(lister.startOffset(), 1025);
    EXPECT_TRUE(lister.sfxRelative());
    QByteArray name;
    lister.OnRead = [&](TArcLister *s, int64_t, int) { name = s->MemberName; };
    ASSERT_TRUE(lister.activate()) << lister.lastError();
    EXPECT_EQ(name, QByteArray("INSIDE.TXT"));
}

TEST(ArcTypes, PeStringResourceRules)
{
    // Not a number, or past the end of the file: the search goes on to the MZ header and
    // the end record, which finds the archive with offsets taken as absolute (shifted).
    for (const char *text : {"12x", "99999"}) {
        const QByteArray file = peWithStrings({QString(), QString::fromLatin1(text)}, 1024) + storedZip("A", "b");
        TMemorySource src(file);
        const TArcDetection det = DetectArcType(src, QStringLiteral("a.exe"), 0);
        EXPECT_EQ(det.type, TArcType::ZipExe) << text;
        EXPECT_EQ(det.startOffset, 1025) << text;
        EXPECT_FALSE(det.sfxRelative) << text;
    }
    // A CAB inside an executable is not accepted.
    QByteArray cab = peWithStrings({QString(), QStringLiteral("1024")}, 1024) + QByteArray("MSCF\0\0\0\0", 8);
    EXPECT_EQ(detectBytes(cab), TArcType::NA);
    // The string limit is 5 characters.
    TMemorySource src(peWithStrings({QString(), QStringLiteral("1234567")}, 1024));
    EXPECT_EQ(PeStringResources(src, 1, 4).value(0), QByteArray("12345"));
}

TEST(ArcTypes, MzHeaderOffset)
{
    QByteArray exe(2048, '\0');
    exe[0] = 'M';
    exe[1] = 'Z';
    put16(exe, 2, 0x100); // bytes on last page
    put16(exe, 4, 2);     // pages: offset (2 - 1) * 512 + 256 = 768
    memcpy(exe.data() + 768, "\x60\xEA\x20\x00", 4);
    TMemorySource src(exe);
    TArcDetection det = DetectArcType(src, QStringLiteral("a.exe"), 0);
    EXPECT_EQ(det.type, TArcType::ArjExe);
    EXPECT_EQ(det.startOffset, 769);
    // An ARJ header after a 2-byte gap.
    memcpy(exe.data() + 768, "\0\0\x60\xEA", 4);
    memcpy(exe.data() + 772, "\x20\x00", 2);
    TMemorySource gap(exe);
    det = DetectArcType(gap, QStringLiteral("a.exe"), 0);
    EXPECT_EQ(det.type, TArcType::ArjExe);
    EXPECT_EQ(det.startOffset, 771);
    // GZip inside an executable: NA.
    memcpy(exe.data() + 768, "\x1F\x8B\x08\x00", 4);
    EXPECT_EQ(detectBytes(exe), TArcType::NA);
}

TEST(ArcTypes, ExtensionTable)
{
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("a.arc")), 1);
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("A.ARJ")), 2);
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("A.A01")), 2);
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("A.R00")), 8);
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("dir.x/A.z01")), 9);
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("A.Z")), 14);
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("A.gz")), 13);
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("A.exe")), 11);
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("A.C01")), 0);
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("A.A1")), 0);
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("A.A1X")), 0);
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("README")), 0);
    EXPECT_TRUE(ArchiveIndexListsComment(9));
    EXPECT_TRUE(ArchiveIndexListsComment(10));
    EXPECT_FALSE(ArchiveIndexListsComment(12));
    EXPECT_TRUE(ArchiveIndexCanExtract(13));
    EXPECT_FALSE(ArchiveIndexCanExtract(14));
    EXPECT_FALSE(ArchiveIndexCanExtract(0));
    EXPECT_EQ(ArjVolumeExtension(1), QStringLiteral("A01"));
    EXPECT_EQ(ArjVolumeExtension(99), QStringLiteral("A99"));
    EXPECT_EQ(ArjVolumeExtension(100), QStringLiteral("100"));
    EXPECT_EQ(ArjVolumeExtension(1000), QString());
}

TEST(ArcTypes, LaterVolumeNames)
{
    const std::pair<const char *, bool> cases[] = {
        {"x.a01", true}, {"X.R00", true}, {"x.Z99", true}, {"x.arj", false}, {"x.rar", false},
        {"x.c01", false}, {".a01", false}, {"a01", false}, {"x.a1", false},
        {"x.part2.rar", true}, {"x.PART02.RAR", true}, {"x.part1.rar", false}, {"x.part01.rar", false},
        {"x.part.rar", false}, {".part2.rar", false}, {"xpart2.rar", false}, {"x.part2.zip", false},
    };
    for (const auto &[name, later] : cases)
        EXPECT_EQ(IsLaterVolumeName(QByteArrayView(name)), later) << name;
}

TEST(ArcTypes, TypeTableReadersAndExtractors)
{
    // The extractors of this build: every type but HA, PAK, EXE and Z (CAB's for the command line only).
    for (int index = 0; index <= kArchiveTypeCount + 1; ++index) {
        const std::unique_ptr<TUnBase> unit = MakeExtractor(index);
        const bool expected = index >= 1 && index <= kArchiveTypeCount && index != 4 && index != 7 && index != 11 &&
                              index != 14;
        EXPECT_EQ(unit != nullptr, expected) << index;
    }
    EXPECT_NE(dynamic_cast<TUnZIP *>(MakeExtractor(9).get()), nullptr);
    EXPECT_NE(dynamic_cast<TUnTar *>(MakeExtractor(12).get()), nullptr);
    EXPECT_NE(dynamic_cast<TUnGZIP *>(MakeExtractor(13).get()), nullptr);
    // Directory readers by detected type: self-extractors and ZIP variants read as their plain kind.
    for (TArcType type : {TArcType::ZIP, TArcType::ZipExe, TArcType::Zip250, TArcType::Zip250Exe, TArcType::GZip,
                          TArcType::TAR, TArcType::RAR, TArcType::RarExe, TArcType::ARC, TArcType::ArcExe,
                          TArcType::PAK, TArcType::PakExe, TArcType::ZOO, TArcType::ARJ, TArcType::ArjExe,
                          TArcType::CAB, TArcType::HA, TArcType::BH, TArcType::BHExe})
        EXPECT_NE(MakeListReader(type), nullptr) << ArcTypeName(type);
    for (TArcType type : {TArcType::NA, TArcType::Unknown})
        EXPECT_EQ(MakeListReader(type), nullptr) << ArcTypeName(type);
    EXPECT_EQ(PlainArcType(TArcType::LhaExe), TArcType::LHA);
    EXPECT_EQ(PlainArcType(TArcType::Zip250Exe), TArcType::ZIP);
    EXPECT_EQ(PlainArcType(TArcType::TAR), TArcType::TAR);
    // The row a detected type is extracted by: a self-extractor by its archive kind.
    for (const auto &[type, index] : std::initializer_list<std::pair<TArcType, int>>{
             {TArcType::ArjExe, 2}, {TArcType::LhaExe, 5}, {TArcType::LzhExe, 6}, {TArcType::RarExe, 8},
             {TArcType::Zip250Exe, 9}, {TArcType::ZIP, 9}, {TArcType::GZip, 13}, {TArcType::BHExe, 0},
             {TArcType::Unknown, 0}, {TArcType::NA, 0}})
        EXPECT_EQ(ArchiveTypeIndex(type), index) << ArcTypeName(type);
    // The settings keep each type's switch under "Arc" and a name of its own.
    EXPECT_STREQ(ArchiveTypeRow(13)->settingName, "ArcGZIP");
    EXPECT_STREQ(ArchiveTypeRow(1)->settingName, "ArcARC");
    EXPECT_EQ(ArchiveTypeRow(0), nullptr);
    EXPECT_EQ(ArchiveTypeRow(kArchiveTypeCount + 1), nullptr);
    for (const TArchiveTypeRow &row : kArchiveTypes)
        EXPECT_EQ(QByteArray(row.settingName).startsWith("Arc"), true) << row.extension;
}

TEST(ArcTypes, FileSpecMatching)
{
    EXPECT_TRUE(MatchesFileSpec(QStringLiteral("*.TXT"), QStringLiteral("docs\\readme.txt")));
    EXPECT_TRUE(MatchesFileSpec(QStringLiteral("README"), QStringLiteral("README.TXT")));
    EXPECT_TRUE(MatchesFileSpec(QStringLiteral("*.*"), QStringLiteral("NOEXT")));
    EXPECT_TRUE(MatchesFileSpec(QStringLiteral("*.*"), QStringLiteral("TOP\\SUB1\\")));
    EXPECT_TRUE(MatchesFileSpec(QStringLiteral("R?ADME.T*"), QStringLiteral("a/readme.txt")));
    EXPECT_TRUE(MatchesFileSpec(QStringLiteral("A*"), QStringLiteral("A")));
    EXPECT_FALSE(MatchesFileSpec(QStringLiteral("*.TXT"), QStringLiteral("README")));
    EXPECT_FALSE(MatchesFileSpec(QStringLiteral("*.TXT"), QStringLiteral("readme.doc")));
    EXPECT_FALSE(MatchesFileSpec(QString(), QStringLiteral("A.TXT")));
    EXPECT_FALSE(MatchesFileSpec(QStringLiteral("*.*"), QString()));
    EXPECT_FALSE(MatchesFileSpec(QStringLiteral("?.TXT"), QStringLiteral("AB.TXT")));
    // A name ending in "." has no extension: every member matches the default mask.
    EXPECT_TRUE(MatchesFileSpec(QStringLiteral("*.*"), QStringLiteral("YES.")));
    EXPECT_TRUE(MatchesFileSpec(QStringLiteral("YES"), QStringLiteral("YES.")));
    EXPECT_FALSE(MatchesFileSpec(QStringLiteral("*.TXT"), QStringLiteral("YES.")));
}

TEST(ArcTypes, ErrorTexts)
{
    EXPECT_STREQ(ArcErrorText(25137), "Header ID error");
    EXPECT_STREQ(ArcErrorText(25145), "Inconsistant local header");
    EXPECT_STREQ(ArcErrorText(25111), "Invalid code incountered");
    EXPECT_STREQ(ArcErrorText(26999), "Nothing to do");
    EXPECT_STREQ(ArcErrorText(1), "");
    const EArcError e(25202);
    EXPECT_EQ(e.code(), 25202);
    EXPECT_STREQ(e.what(), "Unknown file type");
}

TEST(ArcTypes, Dates)
{
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(0), 29221.0); // 1980-01-01
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(0x00FF00FF), 29221.0); // month 0: invalid
    // 1994-06-15 12:34:56
    const uint32_t dt = (14u << 25) | (6u << 21) | (15u << 16) | (12u << 11) | (34u << 5) | 28u;
    EXPECT_EQ(DosDateTimeToIso(dt), QStringLiteral("1994-06-15T12:34:56"));
    EXPECT_NEAR(DosDateTimeToDateTime(dt), 34500.0 + (12 * 3600 + 34 * 60 + 56) / 86400.0, 1e-9);
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "UTC");
    tzset();
    EXPECT_EQ(UnixToDosDateTime(771683696), dt); // 1994-06-15 12:34:56 UTC
    EXPECT_EQ(UnixToDosDateTime(0), 0x00210000u);
    EXPECT_NEAR(UnixToDateTime(0), 25569.0, 1e-9);
    qputenv("TZ", "EST5");
    tzset();
    EXPECT_NEAR(UnixToDateTime(0), 25569.0 - 5.0 / 24, 1e-9);
    EXPECT_EQ(UnixToDosDateTime(771683696 + 5 * 3600), dt);
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
}

// Member dates take the local offset of their own instant, not today's (a
// summer date read in winter was an hour off), and follow the one range of
// packed times: past 2099 is clamped to its last second, and a stored word of
// 2100-2107 is no time, so it lists as 1980-01-01 like any other bad word.
TEST(ArcTypes, DatesTakeTheirOwnOffsetAndTheOneRange)
{
    {
        const ScopedTimeZone berlin("Europe/Berlin");
        const struct {
            int64_t unixTime;
            uint32_t dos;
            double localHours; // hours after midnight of the day, local time
        } cases[] = {
            {1577836800, (40u << 25) | (1u << 21) | (1u << 16) | (1u << 11), 1}, // 2020-01-01 01:00 CET
            {1593561600, (40u << 25) | (7u << 21) | (1u << 16) | (2u << 11), 2}, // 2020-07-01 02:00 CEST
            {0, 0x00210000u, 1},
            {4102444800 + 86400 * 400, (119u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u,
             -1},
        };
        for (const auto &c : cases) {
            EXPECT_EQ(UnixToDosDateTime(c.unixTime), c.dos) << c.unixTime;
            if (c.localHours < 0)
                continue;
            const double day = double(25569 + c.unixTime / 86400);
            EXPECT_NEAR(UnixToDateTime(c.unixTime), day + c.localHours / 24, 1e-9) << c.unixTime;
        }
    }

    const uint32_t in2105 = (125u << 25) | (6u << 21) | (15u << 16);
    EXPECT_EQ(NormalizedDosDateTime(in2105), 0x00210000u);
    EXPECT_EQ(DosDateTimeToIso(in2105), QStringLiteral("1980-01-01T00:00:00"));
}

// The type every corpus file must be detected as, from index.json's format field,
// with the files the signature rules cannot see written out below:
// - .pak files whose first member is crunched or squashed carry 1A 08/1A 09: ARC;
// - self-extractors whose archive neither a string resource 1-4, the MZ header nor a
//   ZIP end record points at (a DOS .com without MZ header, an NE stub, a PE stub
//   without string resources, the ARJ ELF stub) are Unknown, except a RAR archive
//   right after a PE image's last section (RarExe) and LHA ones: their first header
//   is searched for in the first 64 KB;
// - ZIPs behind leading bytes are found through the end record: ZipExe.
TEST(ArcTypes, CorpusDetection)
{
    QUILLON_NEED_CORPUS();
    const QString root = testcorpus::ArchiveDir();
    QFile index(root + QStringLiteral("/index.json"));
    ASSERT_TRUE(index.open(QIODevice::ReadOnly)) << root.toStdString();
    const QJsonArray entries = QJsonDocument::fromJson(index.readAll()).array();
    ASSERT_GE(entries.size(), 200);
    const std::map<QString, TArcType> byFormat = {
        {QStringLiteral("zip"), TArcType::ZIP},     {QStringLiteral("sfx-zip"), TArcType::ZipExe},
        {QStringLiteral("arj"), TArcType::ARJ},     {QStringLiteral("sfx-arj"), TArcType::ArjExe},
        {QStringLiteral("lha"), TArcType::LHA},     {QStringLiteral("sfx-lha"), TArcType::LhaExe},
        {QStringLiteral("cab"), TArcType::CAB},     {QStringLiteral("rar"), TArcType::RAR},
        {QStringLiteral("sfx-rar"), TArcType::RarExe}, {QStringLiteral("arc"), TArcType::ARC},
        {QStringLiteral("zoo"), TArcType::ZOO},     {QStringLiteral("ha"), TArcType::HA},
        {QStringLiteral("tar"), TArcType::TAR},     {QStringLiteral("tgz"), TArcType::GZip},
        {QStringLiteral("taz"), TArcType::GZip},    {QStringLiteral("gz"), TArcType::GZip},
        {QStringLiteral("Z"), TArcType::GZip},      {QStringLiteral("pack"), TArcType::GZip},
    };
    int checked = 0;
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        const QString id = entry.value(QStringLiteral("id")).toString();
        const QString format = entry.value(QStringLiteral("format")).toString();
        SCOPED_TRACE(id.toStdString());
        auto it = byFormat.find(format);
        ASSERT_NE(it, byFormat.end()) << format.toStdString();
        TArcType want = it->second;
        static const std::map<QString, TArcType> exceptions = {
            {QStringLiteral("arc/unarc_pak_license_crushed.pak"), TArcType::PAK},
            {QStringLiteral("zip/la_zip_padded1.zip"), TArcType::ZipExe},
            {QStringLiteral("zip/la_compat_zip_4.zip"), TArcType::ZipExe},
        };
        if (auto ex = exceptions.find(id); ex != exceptions.end())
            want = ex->second;
        const TArcDetection det = DetectArcTypeOfFile(root + QLatin1Char('/') + id, 0);
        EXPECT_STREQ(ArcTypeName(det.type), ArcTypeName(want));
        ++checked;
    }
    EXPECT_EQ(checked, int(entries.size()));
}

} // namespace
