// Item texts: sizes, counts, description lines, the column texts of each
// record kind and the status bar summaries, in a fixed locale.
#include "browser/Utils.h"

#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "catalog/LoadSave.h"

#include <gtest/gtest.h>

#include <QLocale>

// Readable failures.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

class EnglishLocale : public ::testing::Environment
{
public:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};
const auto *const kLocale = ::testing::AddGlobalTestEnvironment(new EnglishLocale);

uint32_t packed(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return DateTimeToDos(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
}

// A catalog "Cat" with disk "Disk1" (a folder "Docs" holding two files, and
// one root file) to ask texts of.
struct SmallCatalog {
    TForest forest;
    TTreeNode *catalog = nullptr;
    TTreeNode *disk = nullptr;
    TTreeNode *docs = nullptr;
    TFileRec *readme = nullptr;
    TFileRec *rootFile = nullptr;

    SmallCatalog()
    {
        catalog = NewCatalogNode(forest, "Cat");
        disk = AddDiskNode(catalog, "Disk1");
        TDiskRec *d = AsDisk(disk->data());
        d->MediaType = 10;
        d->BytesPerSector = 2048;
        d->SectorsPerCluster = 1;
        d->TotalClusters = 512;   // 1 MB
        d->FreeClusters = 0;
        d->VolumeLabel = "Backup";
        docs = AddFolderNode(disk, "Docs.old");
        TFolderRec *f = AsFolder(docs->data());
        f->DiskNode = disk;
        f->TotalSize = int64_t(1536) * 10000;
        f->Modified = packed(2001, 2, 3, 4, 5, 6);
        readme = AppendFile(docs, "Readme.txt");
        readme->Size = 1536;
        readme->Attr = faReadOnly | faArchive;
        readme->Modified = packed(1999, 12, 31, 23, 59, 58);
        f->FileCount = 1;
        rootFile = AppendFile(disk, "boot.ini");
        rootFile->Size = 10;
    }
};

} // namespace

// A size and the text FormatSize gives it.
struct SizeCase {
    const char *name;
    double bytes;
    const char *text;
};

class FormatSizeTable : public ::testing::TestWithParam<SizeCase>
{
};

TEST_P(FormatSizeTable, UnitsAndCutFractions)
{
    EXPECT_EQ(FormatSize(float(GetParam().bytes)), QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, FormatSizeTable,
    ::testing::Values(SizeCase{"Zero", 0, "0 B"}, SizeCase{"Thousand", 1000, "1000 B"},
                      SizeCase{"LargestInBytes", 1023, "1023 B"}, SizeCase{"OneKilobyte", 1024, "1 kB"},
                      SizeCase{"HalfKilobyte", 1536, "1.5 kB"}, SizeCase{"TwoDigitsBeforeTheSeparator", 10752, "10.5 kB"},
                      SizeCase{"OneMegabyte", 1048576, "1 MB"}, SizeCase{"MegabytesCut", 123456789, "117 MB"},
                      // 1.99 kB is cut, not rounded to 2.
                      SizeCase{"CutNotRounded", 2047, "1.99 kB"},
                      // Three digits before the separator leave room for none after it.
                      SizeCase{"ThreeDigitsNoFraction", 150 * 1024 + 700, "150 kB"},
                      SizeCase{"Terabytes", 5.0 * 1024 * 1024 * 1024 * 1024, "5 TB"},
                      // Nonsense in, a plain zero out.
                      SizeCase{"NegativeIsZero", -5, "0 B"}),
    [](const ::testing::TestParamInfo<SizeCase> &info) { return std::string(info.param.name); });

// A size column's value, whether sizes are formatted, and the text.
struct CountCase {
    const char *name;
    int64_t bytes;
    bool formatted;
    const char *text;
};

class FormatCountTable : public ::testing::TestWithParam<CountCase>
{
};

TEST_P(FormatCountTable, FormattedOrFullNumber)
{
    EXPECT_EQ(FormatCount(GetParam().bytes, GetParam().formatted), QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Counts, FormatCountTable,
    ::testing::Values(CountCase{"Formatted", 1536, true, "1.5 kB"},
                      CountCase{"FullNumberGrouped", 1234567, false, "1,234,567"},
                      CountCase{"FullZero", 0, false, "0"}),
    [](const ::testing::TestParamInfo<CountCase> &info) { return std::string(info.param.name); });

TEST(DescFirstLine, CutsAtBreakOrAfter69Characters)
{
    const QByteArray seventy(70, 'x');
    TText d = NewText(seventy);
    EXPECT_EQ(DescFirstLine(d), QString(70, QLatin1Char('x')));
    FreeText(d);
    d = NewText(QByteArray(71, 'y'));
    EXPECT_EQ(DescFirstLine(d), QString(69, QLatin1Char('y')) + " (more...)");
    FreeText(d);
    d = NewText("\r\n\r\nFirst line   \r\nsecond");
    EXPECT_EQ(DescFirstLine(d), "First line (more...)");
    FreeText(d);
    EXPECT_EQ(DescFirstLine(nullptr), "");
}

// The extension is the end of the name as the name column shows it: in a
// name that is not UTF-8 (code page 1252), a tail that would be valid UTF-8
// on its own is still code page 1252.
struct ExtensionCase {
    const char *label;
    const char *name;
    QString extension;
};

class ExtensionTable : public ::testing::TestWithParam<ExtensionCase>
{
};

TEST_P(ExtensionTable, ExtensionOfANameInCodePage1252)
{
    const ExtensionCase &k = GetParam();
    SmallCatalog c;
    TFileRec *file = AppendFile(c.docs, k.name);
    EXPECT_EQ(ExtensionOf(k.name), k.extension);
    EXPECT_EQ(ItemText(file, itExtension, false), k.extension);
    EXPECT_TRUE(ItemText(file, itName, false).endsWith(k.extension));
}

INSTANTIATE_TEST_SUITE_P(
    Names, ExtensionTable,
    ::testing::Values(ExtensionCase{"Plain", "Readme.txt", "txt"},
                      ExtensionCase{"LastDotOnly", "archive.tar.gz", "gz"},
                      ExtensionCase{"NoDot", "no extension", ""},
                      ExtensionCase{"TrailingDot", "trailing.", ""},
                      ExtensionCase{"Utf8", "caf\xc3\xa9.\xc3\xa9t\xc3\xa9", QStringLiteral("\u00e9t\u00e9")},
                      // The tail alone would be UTF-8; the whole name is not, so it is code page 1252.
                      ExtensionCase{"Cp1252WithUtf8Tail", "caf\xe9.\xc3\xa9t\xc3\xa9",
                                    QStringLiteral("\u00c3\u00a9t\u00c3\u00a9")},
                      ExtensionCase{"Cp1252AsciiTail", "caf\xe9.txt", "txt"}),
    [](const ::testing::TestParamInfo<ExtensionCase> &info) { return std::string(info.param.label); });

TEST(ItemText, FileFolderDiskCatalogColumns)
{
    SmallCatalog c;
    const TItemTextContext ctx;
    EXPECT_EQ(ItemText(c.readme, itName, false, ctx), "Readme.txt");
    EXPECT_EQ(ItemText(c.readme, itExtension, false, ctx), "txt");
    EXPECT_EQ(ItemText(c.readme, itSize, false, ctx), "1.5 kB");
    EXPECT_EQ(ItemText(c.readme, itDate, false, ctx), "12/31/99");
    EXPECT_EQ(ItemText(c.readme, itTime, false, ctx), "11:59:58 PM");
    EXPECT_EQ(ItemText(c.readme, itAttributes, false, ctx), "ra");
    EXPECT_EQ(ItemText(c.readme, itDiskName, false, ctx), "Disk1");
    EXPECT_EQ(ItemText(c.readme, itMediaType, false, ctx), "CD-ROM");
    EXPECT_EQ(ItemText(c.readme, itPath, false, ctx), "\\Docs.old");
    EXPECT_EQ(ItemText(c.rootFile, itDiskName, false, ctx), "Disk1");

    TFolderRec *docs = AsFolder(c.docs->data());
    EXPECT_EQ(ItemText(docs, itName, false, ctx), "Docs.old");
    EXPECT_EQ(ItemText(docs, itExtension, false, ctx), "old");
    EXPECT_EQ(ItemText(docs, itSize, false, ctx), "1.5 kB");
    EXPECT_EQ(ItemText(docs, itAttributes, false, ctx), "d");
    EXPECT_EQ(ItemText(docs, itExtra10, false, ctx), "1.5 kB");

    TDiskRec *disk = AsDisk(c.disk->data());
    EXPECT_EQ(ItemText(disk, itExtension, false, ctx), "CD-ROM");
    EXPECT_EQ(ItemText(disk, itSize, false, ctx), "Backup");
    EXPECT_EQ(ItemText(disk, itDate, false, ctx), "1 MB");
    EXPECT_EQ(ItemText(disk, itTime, false, ctx), "0 B");
    EXPECT_EQ(ItemText(disk, itExtra10, false, ctx), "Cat");

    TCatalogRec *catalog = AsCatalog(c.catalog->data());
    EXPECT_EQ(ItemText(catalog, itSize, false, ctx), "1 MB");
    EXPECT_EQ(ItemText(catalog, itExtra10, false, ctx), "1");
}

TEST(ItemText, EmptyDatesAndPreviousFolderSize)
{
    SmallCatalog c;
    c.readme->Modified = 0;
    EXPECT_EQ(ItemText(c.readme, itDate, false), "");
    EXPECT_EQ(ItemText(c.readme, itTime, false), "");
    TItemTextContext ctx;
    ctx.prevFolder = c.docs->data();
    EXPECT_EQ(ItemText(c.docs->data(), itSize, false, ctx), "");
}

TEST(ItemText, DescriptionWholeForReports)
{
    SmallCatalog c;
    StoreDescription(c.readme->Desc, "Line one\r\nLine two");
    EXPECT_EQ(ItemText(c.readme, itDescription, false), "Line one (more...)");
    EXPECT_EQ(ItemText(c.readme, itDescription, true), "Line one\r\nLine two");
}

TEST(UpdateTimeText, DateAndOptionalTime)
{
    EXPECT_EQ(UpdateTimeText(0), "");
    EXPECT_EQ(UpdateTimeText(DateTimeToUpdated(QDateTime(QDate(2005, 6, 7), QTime(0, 0)))), "6/7/05");
    EXPECT_EQ(UpdateTimeText(DateTimeToUpdated(QDateTime(QDate(2005, 6, 7), QTime(13, 45, 31)))),
              "6/7/05, 1:45 PM");
    // Years the packed form cannot hold.
    EXPECT_EQ(UpdateTimeText(DateTimeToUpdated(QDateTime(QDate(1970, 1, 2), QTime(1, 0)))), "(unknown)");
    EXPECT_EQ(UpdateTimeText(1e300), "(unknown)");
}

TEST(ItemSummary, EveryKind)
{
    SmallCatalog c;
    EXPECT_EQ(ItemSummary(c.readme), "Readme.txt, 1.5 kB, 12/31/99");
    SetItemFlag(c.readme, rfCompressed, true);
    EXPECT_EQ(ItemSummary(c.readme), "Readme.txt (compressed file), 1.5 kB, 12/31/99");

    // One subfolder and one compressed-file folder, which counts as a file.
    AddFolderNode(c.docs, "Sub");
    TTreeNode *zip = AddFolderNode(c.docs, "a.zip");
    SetItemFlag(zip->data(), rfCompressed, true);
    EXPECT_EQ(ItemSummary(c.docs->data()), "Docs.old (folder), 1.5 kB in 1 subfolder, 2 files");
    AsFolder(zip->data())->TotalSize = 30000;
    AsFolder(zip->data())->FileCount = 1;
    EXPECT_EQ(ItemSummary(zip->data()), "a.zip (compressed archive file), 3 B includes 0 subfolders, 1 file");
    AsFolder(zip->data())->TotalSize = 0;
    EXPECT_EQ(ItemSummary(zip->data()), "a.zip (compressed archive file), 0 B");

    EXPECT_EQ(ItemSummary(c.disk->data()), "Disk1 (CD-ROM), 1 MB, free 0 B");
    EXPECT_EQ(ItemSummary(c.catalog->data()), "Cat (no filename), total disks: 1");
    TForest other;
    TTreeNode *empty = NewCatalogNode(other, "Empty");
    AsCatalog(empty->data())->FileName = "/tmp/x.ctf";
    EXPECT_EQ(ItemSummary(empty->data()), "Empty (/tmp/x.ctf), total disks: 0");

    TItemTextContext ctx;
    ctx.prevFolder = c.docs->data();
    EXPECT_EQ(ItemSummary(c.docs->data(), ctx), "Previous folder...");
}

TEST(SelectionSummary, CountsAndSizes)
{
    SmallCatalog c;
    TItemTextContext ctx;
    ctx.prevFolder = c.docs->data();
    EXPECT_EQ(SelectionSummary({}, ctx), "");
    EXPECT_EQ(SelectionSummary({c.docs->data()}, ctx), "");
    EXPECT_EQ(SelectionSummary({c.readme}, ctx), "Selected: 1 item, 1.5 kB");
    EXPECT_EQ(SelectionSummary({c.docs->data(), c.readme, c.rootFile, c.disk->data()}),
              "Selected: 4 items, 1.00 MB");   // 1 MB + 3082 B: the cut fraction keeps its zeros
}

TEST(DescriptionTip, WrapsAt80AndCutsAfter15Lines)
{
    const QString word = QStringLiteral("abcdefghi ");   // 10 characters with the space
    struct Case {
        const char *what;
        QString desc;
        QString tip;
    } const cases[] = {
        {"empty", QString(), QString()},
        {"short lines keep their breaks", QStringLiteral("one\r\ntwo\nthree"), QStringLiteral("one\r\ntwo\r\nthree")},
        {"wrapped at a space", word.repeated(9).trimmed(),
         word.repeated(8).trimmed() + QStringLiteral("\r\n") + word.trimmed()},
        {"cut inside a long word", QString(100, QLatin1Char('x')),
         QString(80, QLatin1Char('x')) + QStringLiteral("\r\n") + QString(20, QLatin1Char('x'))},
        {"trailing empty lines dropped", QStringLiteral("a\r\n\r\n"), QStringLiteral("a")},
        {"fifteen lines whole", QStringLiteral("l\r\n").repeated(14) + QStringLiteral("l"),
         QStringLiteral("l\r\n").repeated(14) + QStringLiteral("l")},
        {"sixteen lines cut", QStringLiteral("l\r\n").repeated(15) + QStringLiteral("l"),
         QStringLiteral("l\r\n").repeated(15) + QStringLiteral("(more...)")},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DescriptionTip(c.desc), c.tip) << c.what;
}
