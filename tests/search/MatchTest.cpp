// The item tests: every condition for files, folders and disks, the verdict
// rules, and the byte fast path held to the decoded comparison.
#include "search/Criteria.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "platform/ByteTotals.h"
#include "platform/DosTime.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QTime>

#include <memory>
#include <thread>

namespace {

// A file record freed at the end of its scope.
struct FileDeleter {
    void operator()(TFileRec *rec) const { FreeFileRec(rec); }
};
using FilePtr = std::unique_ptr<TFileRec, FileDeleter>;

FilePtr MakeFile(const QByteArray &name)
{
    FilePtr f(NewFileRec(name));
    f->Attr = faArchive;
    return f;
}

uint32_t Packed(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return PackDos(TDosFields{y, mo, d, h, mi, s});
}

// The criteria as Find takes them from the window's state.
TSearchCriteria Take(const TSearchWork &work, const std::vector<TFileType> &types = {})
{
    bool active = false;
    std::optional<TSearchCriteria> c = TakeCriteriaSnapshot(work, types, &active);
    EXPECT_TRUE(c.has_value());
    return c.value_or(TSearchCriteria());
}

TSearchWork NewWork()
{
    TSearchWork work;
    ResetCriteria(work, QDate(2024, 5, 17));
    work.time1 = work.time2 = QTime(12, 0);
    return work;
}

TSearchWork NameWork(int mode, const QString &text, bool caseSensitive = false)
{
    TSearchWork work = NewWork();
    work.byName = true;
    work.setNameMode(mode);
    work.setNameText(text);
    work.fileCase = caseSensitive;
    return work;
}

// A catalog record with categories and flag names, and a forest holding a
// disk and a folder node for the folder and disk tests.
class MatchFixture : public ::testing::Test
{
protected:
    MatchFixture()
    {
        m_catalog = new TCatalogRec;
        m_catalog->Categories = {TCategory{"Games", 1}, TCategory{"Work", 2}, TCategory{"Mus\xC3\xADk", 3}};
        m_catalog->FlagNames[0] = NewText("Backup");
        m_catalog->FlagNames[1] = NewText("Todo");
        m_catalogNode = m_forest.addChild(nullptr, "Catalog");
        m_catalogNode->setData(m_catalog);
        m_disk = new TDiskRec;
        m_diskNode = m_forest.addChild(m_catalogNode, "DISK1");
        m_diskNode->setData(m_disk);
        m_disk->Node = m_diskNode;
        m_folder = new TFolderRec;
        m_folderNode = m_forest.addChild(m_diskNode, "Folder");
        m_folderNode->setData(m_folder);
        m_folder->Node = m_folderNode;
    }

    bool folderMatches(const TSearchCriteria &c, const QByteArray &name)
    {
        m_folderNode->setText(name);
        return MatchFolder(c, m_folderNode, m_folder, m_catalog);
    }
    bool diskMatches(const TSearchCriteria &c, const QByteArray &name = "DISK1")
    {
        m_diskNode->setText(name);
        return MatchDisk(c, m_diskNode, m_disk);
    }

    TForest m_forest;
    TCatalogRec *m_catalog;
    TTreeNode *m_catalogNode;
    TDiskRec *m_disk;
    TTreeNode *m_diskNode;
    TFolderRec *m_folder;
    TTreeNode *m_folderNode;
};

// ---------------------------------------------------------------- names

struct NameCase {
    int mode;
    const char *text;
    bool caseSensitive;
    const char *name;   // stored bytes
    bool expected;
};

void PrintTo(const NameCase &c, std::ostream *os)
{
    *os << "mode " << c.mode << " \"" << c.text << "\" name \"" << c.name << "\"";
}

class NameMatchTest : public MatchFixture, public ::testing::WithParamInterface<NameCase>
{
};

TEST_P(NameMatchTest, FileFolderDiskAndFilterAgree)
{
    const NameCase &p = GetParam();
    const TSearchCriteria c = Take(NameWork(p.mode, QString::fromUtf8(p.text), p.caseSensitive));
    const QByteArray name(p.name);
    FilePtr file = MakeFile(name);

    EXPECT_EQ(MatchFile(c, file.get(), m_catalog), p.expected);
    EXPECT_EQ(NameMatches(c, name), p.expected);
    EXPECT_EQ(folderMatches(c, name), p.expected);
    EXPECT_EQ(diskMatches(c, name), p.expected);

    // Criteria without their stored forms take the decoded path: same answer.
    TSearchCriteria slow = c;
    slow.Prepared = false;
    EXPECT_EQ(MatchFile(slow, file.get(), m_catalog), p.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameMatchTest,
    ::testing::Values(
        // Part of Filename.
        NameCase{nmPartOfName, "read", false, "README.TXT", true}, NameCase{nmPartOfName, "READ", false, "myreadme", true},
        NameCase{nmPartOfName, "xyz", false, "README.TXT", false}, NameCase{nmPartOfName, "Read", true, "README", false},
        NameCase{nmPartOfName, "Read", true, "Readme", true}, NameCase{nmPartOfName, "me.txt", false, "readme.TXT", true},
        NameCase{nmPartOfName, "README.TXTX", false, "README.TXT", false},
        // Names beyond ASCII: UTF-8 and bytes of a catalog written with code page 1252.
        NameCase{nmPartOfName, "stra\xC3\x9F", false, "Stra\xC3\x9F" "e.doc", true},
        NameCase{nmPartOfName, "\xC3\xA4rger", false, "\xC3\x84RGER.TXT", true},
        NameCase{nmPartOfName, "\xC3\xA4rger", false, "\xC4rger.txt", true},
        NameCase{nmPartOfName, "\xC3\xA4rger", true, "\xC3\x84rger.txt", false},
        NameCase{nmPartOfName, "\xC3\x84rger", true, "x\xC3\x84rger.txt", true},
        NameCase{nmPartOfName, "\xC3\xA9", false, "cafe", false},
        // An ASCII needle in a name with other bytes before, after or inside
        // the place: found in the bytes, or only in the decoded upper case.
        NameCase{nmPartOfName, "report", false, "Report \xC3\xA4.txt", true},
        NameCase{nmPartOfName, "REPORT", false, "\xC3\xA4 report.txt", true},
        NameCase{nmPartOfName, "xyz", false, "\xC3\xA4rger.txt", false},
        NameCase{nmPartOfName, "asse", false, "Stra\xC3\x9F" "e.doc", true},
        NameCase{nmPartOfName, "file", false, "f\xC4\xB1le.txt", true},
        NameCase{nmPartOfName, "ab", false, "\xC3\xA1" "b", false},
        // Upper cases longer than the character: the ligature "fi", "ß".
        NameCase{nmPartOfName, "file", false, "\xEF\xAC\x81le.txt", true},
        NameCase{nmExactName, "STRASSE.DOC", false, "stra\xC3\x9F" "e.doc", true},
        NameCase{nmExtension, "\xC3\x9F", false, "a.SS", true},
        NameCase{nmFileMask, "strass.*", false, "Stra\xC3\x9F.txt", true},
        // Cyrillic, Greek and a character beyond the first plane, upper-cased in place.
        NameCase{nmPartOfName, "\xD0\xBF\xD1\x80\xD0\xB8", false, "\xD0\x9F\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2", true},
        NameCase{nmExactName, "\xCF\x89", false, "\xCE\xA9", true},
        NameCase{nmPartOfName, "\xF0\x90\x90\xA8", false, "x\xF0\x90\x90\x80y", true},
        // File masks: linear, no backtracking.
        NameCase{nmFileMask, "*.*", false, "README", true}, NameCase{nmFileMask, "*.*", false, "A.TXT", true},
        NameCase{nmFileMask, "*.txt", false, "A.B.TXT", false}, NameCase{nmFileMask, "*.TXT", false, "a.txt", true},
        NameCase{nmFileMask, "data?.zip", false, "DATA1.ZIP", true},
        NameCase{nmFileMask, "DATA?.ZIP", false, "DATA10.ZIP", false},
        NameCase{nmFileMask, "A*B", false, "AXBYB", false}, NameCase{nmFileMask, "*", false, "anything", true},
        NameCase{nmFileMask, "*.", false, "README", true}, NameCase{nmFileMask, "*.txt", true, "a.txt", true},
        // Exact names.
        NameCase{nmExactName, "readme.txt", false, "README.TXT", true},
        NameCase{nmExactName, "readme", false, "README.TXT", false},
        NameCase{nmExactName, "README.TXT", false, "README.TX", false},
        NameCase{nmExactName, "ReadMe", true, "README", false}, NameCase{nmExactName, "ReadMe", true, "ReadMe", true},
        NameCase{nmExactName, "\xC3\xA4.txt", false, "\xC3\x84.TXT", true},
        // Extensions: the key is closed, so ".TX" is not found inside ".TXT".
        NameCase{nmExtension, "txt,DOC", false, "a.TXT", true}, NameCase{nmExtension, "txt,DOC", false, "b.doc", true},
        NameCase{nmExtension, "txt,DOC", false, "README", false},
        NameCase{nmExtension, "tx", false, "a.txt", false}, NameCase{nmExtension, "txt", false, "a.tx", false},
        NameCase{nmExtension, "zip", false, "DATA.ZIP", true}, NameCase{nmExtension, "gz", false, "a.tar.gz", true},
        NameCase{nmExtension, "tar", false, "a.tar.gz", false}, NameCase{nmExtension, "txt", false, "a.", false},
        NameCase{nmExtension, "*.txt, .Doc", false, "x.DOC", true},
        NameCase{nmExtension, "\xC3\xA4x,txt", false, "a.txt", true},
        NameCase{nmExtension, "\xC3\xA4x", false, "a.\xC3\x84X", true},
        // Regular expressions: found anywhere in the name, case as Part of Filename.
        NameCase{nmRegex, "^re.*\\.txt$", false, "README.TXT", true},
        NameCase{nmRegex, "^re.*\\.txt$", true, "README.TXT", false},
        NameCase{nmRegex, "[0-9]{5}", false, "IMG_0042.JPG", false},
        NameCase{nmRegex, "[0-9]{4}", false, "IMG_0042.JPG", true},
        NameCase{nmRegex, "^\xC3\xA4", false, "\xC3\x84rger", true}));

TEST_F(MatchFixture, FileTypeModeUsesTheTypesExtensions)
{
    const std::vector<TFileType> types = {{"(none)", {}}, {"Plain text", QStringLiteral(".txt\1.Text\1")}};
    TSearchWork work = NameWork(nmFileType, {});
    work.fileType = 1;
    const TSearchCriteria c = Take(work, types);
    EXPECT_TRUE(MatchFile(c, MakeFile("notes.TEXT").get(), m_catalog));
    EXPECT_TRUE(MatchFile(c, MakeFile("a.txt").get(), m_catalog));
    EXPECT_FALSE(MatchFile(c, MakeFile("a.doc").get(), m_catalog));
    EXPECT_FALSE(MatchFile(c, MakeFile("txt").get(), m_catalog));
}

TEST_F(MatchFixture, LongAndOddNamesAreComparedSafely)
{
    // A name of 255 bytes, the most a record holds, with its extension at the end.
    const QByteArray longName = QByteArray(251, 'a') + ".txt";
    const TSearchCriteria ext = Take(NameWork(nmExtension, "txt"));
    EXPECT_TRUE(MatchFile(ext, MakeFile(longName).get(), m_catalog));
    // A folder node's text is not limited to 255 bytes: the decoded path takes it.
    EXPECT_TRUE(folderMatches(ext, QByteArray(300, 'b') + ".TXT"));
    const TSearchCriteria part = Take(NameWork(nmPartOfName, "bbb.t"));
    EXPECT_TRUE(folderMatches(part, QByteArray(300, 'b') + ".TXT"));
    EXPECT_FALSE(MatchFile(part, MakeFile("").get(), m_catalog));
}

TEST_F(MatchFixture, NameFilterWithoutPatternLetsEveryNameThrough)
{
    // Attributes alone: the name takes no part, so the duplicates' name
    // filter passes every name.
    TSearchWork work = NameWork(nmPartOfName, {});
    work.attrReadOnly = asSet;
    const TSearchCriteria c = Take(work);
    EXPECT_TRUE(NameMatches(c, "anything"));
    EXPECT_TRUE(NameMatches(c, ""));
}

TEST_F(MatchFixture, SeveralThreadsMatchAsOne)
{
    // Each searching thread has its own copy of the snapshot and its own
    // decoding buffers; the answers do not depend on what the others test.
    const std::vector<QByteArray> names = {"readme.txt", "Stra\xC3\x9F" "e", "\xC3\x84rger.TXT", "\xC4rger.txt",
                                           "notes", "DATA1.ZIP", "\xD0\x9F\xD1\x80\xD0\xB8"};
    std::vector<TSearchCriteria> criteria = {Take(NameWork(nmPartOfName, QString::fromUtf8("\xC3\xA4r"))),
                                             Take(NameWork(nmFileMask, "*.txt")),
                                             Take(NameWork(nmExtension, "txt,zip")),
                                             Take(NameWork(nmRegex, "^[a-z]"))};
    std::vector<FilePtr> files;
    for (const QByteArray &name : names)
        files.push_back(MakeFile(name));
    std::vector<int> expected;
    for (const TSearchCriteria &c : criteria)
        for (const FilePtr &f : files)
            expected.push_back(MatchFile(c, f.get(), m_catalog));

    std::vector<std::vector<int>> results(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&, t] {
            const std::vector<TSearchCriteria> own = criteria;
            for (int round = 0; round < 200; ++round) {
                std::vector<int> got;
                for (const TSearchCriteria &c : own)
                    for (const FilePtr &f : files)
                        got.push_back(MatchFile(c, f.get(), m_catalog));
                if (round == 0 || got != expected)
                    results[t] = got;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (const std::vector<int> &got : results)
        EXPECT_EQ(got, expected);
}

// ---------------------------------------------------------------- attributes

struct AttrCase {
    int archive, hidden, system, readOnly;
    uint8_t attr;
    bool all;   // verdict with "All conditions"
    bool any;   // with "At least one"
};

class AttrMatchTest : public MatchFixture, public ::testing::WithParamInterface<AttrCase>
{
};

TEST_P(AttrMatchTest, EachBoxIsOneCondition)
{
    const AttrCase &p = GetParam();
    TSearchWork work = NameWork(nmFileMask, "*");
    work.attrArchive = p.archive;
    work.attrHidden = p.hidden;
    work.attrSystem = p.system;
    work.attrReadOnly = p.readOnly;
    // The name left empty: the attributes alone decide.
    work.setNameText({});
    FilePtr file = MakeFile("x.bin");
    file->Attr = p.attr;
    m_folder->Attr = p.attr;

    TSearchCriteria all = Take(work);
    EXPECT_EQ(MatchFile(all, file.get(), m_catalog), p.all);
    EXPECT_EQ(folderMatches(all, "x.bin"), p.all);
    work.searchType = 1;
    const TSearchCriteria any = Take(work);
    EXPECT_EQ(MatchFile(any, file.get(), m_catalog), p.any);
    // Disks have no attributes: nothing applies, so no disk is found.
    EXPECT_FALSE(diskMatches(all));
    EXPECT_FALSE(diskMatches(any));
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, AttrMatchTest,
    ::testing::Values(AttrCase{asSet, asIgnored, asIgnored, asIgnored, faArchive, true, true},
                      AttrCase{asSet, asIgnored, asIgnored, asIgnored, 0, false, false},
                      AttrCase{asClear, asIgnored, asIgnored, asIgnored, 0, true, true},
                      AttrCase{asIgnored, asSet, asIgnored, asIgnored, faHidden, true, true},
                      AttrCase{asIgnored, asIgnored, asSet, asIgnored, faSystem | faHidden, true, true},
                      AttrCase{asIgnored, asIgnored, asIgnored, asSet, faArchive, false, false},
                      AttrCase{asIgnored, asIgnored, asIgnored, asClear, faReadOnly, false, false},
                      AttrCase{asSet, asSet, asClear, asClear, faArchive | faHidden, true, true},
                      AttrCase{asSet, asSet, asClear, asClear, faArchive | faReadOnly, false, true},
                      AttrCase{asSet, asSet, asSet, asSet, 0, false, false}));

TEST_F(MatchFixture, NameAndAttributesCountSeparately)
{
    TSearchWork work = NameWork(nmPartOfName, "read");
    work.attrHidden = asSet;
    FilePtr plain = MakeFile("readme");
    FilePtr hidden = MakeFile("readme");
    hidden->Attr = faHidden;
    FilePtr other = MakeFile("other");
    other->Attr = faHidden;
    const TSearchCriteria all = Take(work);
    EXPECT_FALSE(MatchFile(all, plain.get(), m_catalog));
    EXPECT_TRUE(MatchFile(all, hidden.get(), m_catalog));
    EXPECT_FALSE(MatchFile(all, other.get(), m_catalog));
    work.searchType = 1;
    const TSearchCriteria any = Take(work);
    EXPECT_TRUE(MatchFile(any, plain.get(), m_catalog));
    EXPECT_TRUE(MatchFile(any, other.get(), m_catalog));
    // In duplicates mode the attribute boxes are not shown and take no part.
    work.searchType = 0;
    work.duplicatesMode = true;
    const TSearchCriteria dup = Take(work);
    EXPECT_TRUE(MatchFile(dup, plain.get(), m_catalog));
}

// ---------------------------------------------------------------- descriptions

struct DescCase {
    int mode;
    const char *text;
    bool caseSensitive;
    const char *desc;   // null: no description
    bool expected;
};

class DescMatchTest : public MatchFixture, public ::testing::WithParamInterface<DescCase>
{
};

TEST_P(DescMatchTest, FilesFoldersAndDisks)
{
    const DescCase &p = GetParam();
    TSearchWork work = NewWork();
    work.byDesc = true;
    work.descMode = p.mode;
    work.descText = QString::fromUtf8(p.text);
    work.descCase = p.caseSensitive;
    const TSearchCriteria c = Take(work);

    FilePtr file = MakeFile("f");
    file->Desc = p.desc ? NewText(p.desc) : nullptr;
    m_folder->Desc = p.desc ? NewText(p.desc) : nullptr;
    m_disk->Desc = p.desc ? NewText(p.desc) : nullptr;
    EXPECT_EQ(MatchFile(c, file.get(), m_catalog), p.expected);
    EXPECT_EQ(folderMatches(c, "f"), p.expected);
    EXPECT_EQ(diskMatches(c), p.expected);
    TSearchCriteria slow = c;
    slow.Prepared = false;
    EXPECT_EQ(MatchFile(slow, file.get(), m_catalog), p.expected);
    FreeText(file->Desc);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, DescMatchTest,
    ::testing::Values(DescCase{dmContains, "hello world", false, "Hello, World.", true},
                      DescCase{dmContains, "HelloWorld", false, "Hello, World.", true},
                      DescCase{dmContains, "helloworld", false, "Hello,\r\nWorld", true},
                      DescCase{dmContains, "hello world", true, "Hello, World.", false},
                      DescCase{dmContains, "Hello World", true, "Hello, World.", true},
                      DescCase{dmContains, "world!", false, "Hello, World.", false},
                      DescCase{dmContains, "hello", false, nullptr, false},
                      DescCase{dmContains, "\xC3\xA4rger", false, "Viel \xC3\x84rger.", true},
                      DescCase{dmContains, "\xC3\xA4rger", false, "Viel \xC4rger", true},
                      DescCase{dmAny, "", false, "x", true}, DescCase{dmAny, "", false, nullptr, false},
                      DescCase{dmNone, "", false, nullptr, true}, DescCase{dmNone, "", false, "x", false}));

TEST(DescTextTest, PreparationRemovesBreaksSpacesCommasAndPeriods)
{
    EXPECT_EQ(PrepareDescText(QStringLiteral("Hello, World.\r\n x"), false), QStringLiteral("HELLOWORLDX"));
    EXPECT_EQ(PrepareDescText(QStringLiteral("a.b,c d"), true), QStringLiteral("abcd"));
}

// ---------------------------------------------------------------- categories and flags

struct CategoryCase {
    const char *checkedCategory;   // null: none
    const char *checkedFlag;
    uint8_t catFlags;
    bool expected;
};

class CategoryMatchTest : public MatchFixture, public ::testing::WithParamInterface<CategoryCase>
{
};

TEST_P(CategoryMatchTest, NamesAreLookedUpExactly)
{
    const CategoryCase &p = GetParam();
    TSearchWork work = NewWork();
    work.byCategory = true;
    if (p.checkedCategory)
        work.checkedCategories << QString::fromUtf8(p.checkedCategory);
    if (p.checkedFlag)
        work.checkedFlags << QString::fromUtf8(p.checkedFlag);
    const TSearchCriteria c = Take(work);
    FilePtr file = MakeFile("f");
    file->CatFlags = p.catFlags;
    m_folder->CatFlags = p.catFlags;
    EXPECT_EQ(MatchFile(c, file.get(), m_catalog), p.expected);
    EXPECT_EQ(folderMatches(c, "f"), p.expected);
    // Disks are never found by categories; with only this criterion and
    // "All conditions" no disk matches.
    EXPECT_FALSE(diskMatches(c));
    TSearchCriteria slow = c;
    slow.Prepared = false;
    EXPECT_EQ(MatchFile(slow, file.get(), m_catalog), p.expected);
}

INSTANTIATE_TEST_SUITE_P(Categories, CategoryMatchTest,
                         ::testing::Values(CategoryCase{"Games", nullptr, 1, true},
                                           CategoryCase{"games", nullptr, 1, false},
                                           CategoryCase{"Games", nullptr, 2, false},
                                           CategoryCase{"Games", nullptr, 0, false},
                                           CategoryCase{"Mus\xC3\xADk", nullptr, 3, true},
                                           CategoryCase{nullptr, "Backup", 0x20, true},
                                           CategoryCase{nullptr, "Backup", 0x40, false},
                                           CategoryCase{nullptr, "Todo", 0x40 | 2, true},
                                           CategoryCase{"Work", "Todo", 0x20 | 1, false},
                                           CategoryCase{nullptr, "Backup", 0x80, false},
                                           CategoryCase{"Games", nullptr, 9, false},
                                           CategoryCase{nullptr, nullptr, 1, false}));

TEST_F(MatchFixture, LegacyCategoryBytesAreDecoded)
{
    // A catalog written with code page 1252: "Musík" in one byte per letter.
    m_catalog->Categories.push_back(TCategory{"Mus\xEDk", 4});
    TSearchWork work = NewWork();
    work.byCategory = true;
    work.checkedCategories << QString::fromUtf8("Mus\xC3\xADk");
    FilePtr file = MakeFile("f");
    file->CatFlags = 4;
    EXPECT_TRUE(MatchFile(Take(work), file.get(), m_catalog));
}

// ---------------------------------------------------------------- sizes

struct SizeCase {
    int op;
    const char *v1;
    SizeUnit u1;
    const char *v2;
    SizeUnit u2;
    const char *tolerance;   // null: no tolerance
    SizeUnit tu;
    int64_t size;
    bool expected;
};

class SizeMatchTest : public MatchFixture, public ::testing::WithParamInterface<SizeCase>
{
};

TEST_P(SizeMatchTest, FilesFoldersAndDisksInBytes)
{
    const SizeCase &p = GetParam();
    TSearchWork work = NewWork();
    work.bySize = true;
    work.sizeOp = p.op;
    work.size1 = TSizeField{QString::fromLatin1(p.v1), p.u1};
    work.size2 = TSizeField{QString::fromLatin1(p.v2), p.u2};
    if (p.tolerance) {
        work.sizeTolerance = true;
        work.size3 = TSizeField{QString::fromLatin1(p.tolerance), p.tu};
    }
    const TSearchCriteria c = Take(work);
    FilePtr file = MakeFile("f");
    file->Size = p.size;
    EXPECT_EQ(MatchFile(c, file.get(), m_catalog), p.expected);
    // A folder's total is kept as bytes x 10000; a fraction of a byte is cut.
    m_folder->TotalSize = p.size * kByteTotalScale + 1234;
    EXPECT_EQ(folderMatches(c, "f"), p.expected);
}

constexpr SizeUnit B = SizeUnit::Bytes, K = SizeUnit::KB, M = SizeUnit::MB, G = SizeUnit::GB, T = SizeUnit::TB;

INSTANTIATE_TEST_SUITE_P(
    Sizes, SizeMatchTest,
    ::testing::Values(
        // "Equal To" 1 KB with a tolerance of 10 bytes: 1014 to 1034.
        SizeCase{soEqual, "1", K, "0", B, "10", B, 1013, false}, SizeCase{soEqual, "1", K, "0", B, "10", B, 1014, true},
        SizeCase{soEqual, "1", K, "0", B, "10", B, 1034, true}, SizeCase{soEqual, "1", K, "0", B, "10", B, 1035, false},
        SizeCase{soEqual, "1024", B, "0", B, nullptr, B, 1024, true},
        SizeCase{soEqual, "1024", B, "0", B, nullptr, B, 1025, false},
        SizeCase{soEqual, "1.5", M, "0", B, nullptr, B, 1536 * 1024, true},
        SizeCase{soSmaller, "100", B, "0", B, nullptr, B, 99, true},
        SizeCase{soSmaller, "100", B, "0", B, nullptr, B, 100, false},
        SizeCase{soSmaller, "100", B, "0", B, "5", B, 104, true},
        SizeCase{soLarger, "100", B, "0", B, nullptr, B, 101, true},
        SizeCase{soLarger, "100", B, "0", B, nullptr, B, 100, false},
        SizeCase{soLarger, "100", B, "0", B, "5", B, 96, true},
        SizeCase{soBetween, "1", M, "5", M, nullptr, B, 1048576, true},
        SizeCase{soBetween, "1", M, "5", M, nullptr, B, 5242880, true},
        SizeCase{soBetween, "1", M, "5", M, nullptr, B, 5242881, false},
        SizeCase{soBetween, "1", M, "5", M, nullptr, B, 1048575, false},
        SizeCase{soNotBetween, "1", M, "5", M, nullptr, B, 1048575, true},
        SizeCase{soNotBetween, "1", M, "5", M, nullptr, B, 3000000, false},
        SizeCase{soBetween, "1", M, "5", M, "1", K, 1047552, true},
        // Sizes are 64-bit: 3 GB is a bound like any other.
        SizeCase{soLarger, "3", G, "0", B, nullptr, B, int64_t(5) << 30, true},
        SizeCase{soLarger, "3", G, "0", B, nullptr, B, int64_t(2) << 30, false},
        SizeCase{soSmaller, "3", G, "0", B, nullptr, B, int64_t(2) << 30, true},
        SizeCase{soEqual, "4", G, "0", B, nullptr, B, int64_t(4) << 30, true},
        SizeCase{soBetween, "0", B, "1", G, "2", T, int64_t(1) << 40, true}));

TEST_F(MatchFixture, DiskSizeIsItsCapacity)
{
    m_disk->BytesPerSector = 512;
    m_disk->SectorsPerCluster = 8;
    m_disk->TotalClusters = 1000000;   // 4 096 000 000 bytes, past 32 bits
    const int64_t capacity = WholeBytes(DiskSpace(m_disk, 0));
    ASSERT_EQ(capacity, int64_t(4096000000));
    TSearchWork work = NewWork();
    work.bySize = true;
    work.sizeOp = soEqual;
    work.size1 = TSizeField{QString::number(capacity), SizeUnit::Bytes};
    EXPECT_TRUE(diskMatches(Take(work)));
    work.size1 = TSizeField{QString::number(capacity - 1), SizeUnit::Bytes};
    EXPECT_FALSE(diskMatches(Take(work)));
}

// ---------------------------------------------------------------- dates

struct DateCase {
    int kind;
    int op;
    QDate d1, d2;
    int tolerance;   // days; negative: box clear
    uint32_t value;  // the item's time of that kind
    bool compressed;
    bool expected;
};

class DateMatchTest : public MatchFixture, public ::testing::WithParamInterface<DateCase>
{
};

TEST_P(DateMatchTest, FilesAndFolders)
{
    const DateCase &p = GetParam();
    TSearchWork work = NewWork();
    work.byDate = true;
    work.dateKind = p.kind;
    work.dateOp = p.op;
    work.date1 = p.d1;
    work.date2 = p.d2;
    work.dateTolerance = p.tolerance >= 0;
    work.dateToleranceDays = std::max(p.tolerance, 0);
    const TSearchCriteria c = Take(work);

    FilePtr file = MakeFile("f");
    // The other two times hold values that would decide otherwise.
    const uint32_t other = Packed(1999, 1, 1, 1, 1, 2);
    file->Created = p.kind == dkCreated ? p.value : other;
    file->Modified = p.kind == dkModified ? p.value : other;
    file->Accessed = p.kind == dkAccessed ? p.value : other;
    if (p.compressed)
        file->KindFlags |= rfCompressed;
    EXPECT_EQ(MatchFile(c, file.get(), m_catalog), p.expected);
    m_folder->Created = file->Created;
    m_folder->Modified = file->Modified;
    m_folder->Accessed = file->Accessed;
    SetItemFlag(m_folder, rfCompressed, p.compressed);
    EXPECT_EQ(folderMatches(c, "f"), p.expected);
}

const QDate D(2024, 5, 17);
const QDate D2(2024, 5, 20);

INSTANTIATE_TEST_SUITE_P(
    Dates, DateMatchTest,
    ::testing::Values(
        // "On" a day: any time of that day.
        DateCase{dkModified, doOn, D, D, -1, Packed(2024, 5, 17, 0, 0, 0), false, true},
        DateCase{dkModified, doOn, D, D, -1, Packed(2024, 5, 17, 23, 59, 58), false, true},
        DateCase{dkModified, doOn, D, D, -1, Packed(2024, 5, 18, 0, 0, 0), false, false},
        DateCase{dkModified, doOn, D, D, -1, Packed(2024, 5, 16, 23, 59, 58), false, false},
        // "Before" the day excludes it; "After" includes it unless stamped at midnight.
        DateCase{dkModified, doBefore, D, D, -1, Packed(2024, 5, 16, 23, 59, 58), false, true},
        DateCase{dkModified, doBefore, D, D, -1, Packed(2024, 5, 17, 0, 0, 0), false, false},
        DateCase{dkModified, doAfter, D, D, -1, Packed(2024, 5, 17, 0, 0, 2), false, true},
        DateCase{dkModified, doAfter, D, D, -1, Packed(2024, 5, 17, 0, 0, 0), false, false},
        DateCase{dkModified, doAfter, D, D, -1, Packed(2024, 5, 16, 12, 0, 0), false, false},
        // Between, both days whole; Not Between its negation.
        DateCase{dkCreated, doBetween, D, D2, -1, Packed(2024, 5, 20, 23, 0, 0), false, true},
        DateCase{dkCreated, doBetween, D, D2, -1, Packed(2024, 5, 21, 0, 0, 0), false, false},
        DateCase{dkAccessed, doNotBetween, D, D2, -1, Packed(2024, 5, 21, 0, 0, 0), false, true},
        DateCase{dkAccessed, doNotBetween, D, D2, -1, Packed(2024, 5, 18, 0, 0, 0), false, false},
        // The tolerance moves both bounds by whole days.
        DateCase{dkModified, doOn, D, D, 2, Packed(2024, 5, 15, 0, 0, 0), false, true},
        DateCase{dkModified, doOn, D, D, 2, Packed(2024, 5, 19, 23, 0, 0), false, true},
        DateCase{dkModified, doOn, D, D, 2, Packed(2024, 5, 20, 0, 0, 0), false, false},
        DateCase{dkModified, doOn, D, D, 0, Packed(2024, 5, 18, 0, 0, 0), false, false},
        // An unknown time fails every operator.
        DateCase{dkModified, doOn, D, D, -1, 0, false, false},
        DateCase{dkModified, doNotBetween, D, D2, -1, 0, false, false},
        DateCase{dkModified, doAfter, QDate(1970, 1, 1), D, -1, 0, false, false},
        // Bounds outside the packed range.
        DateCase{dkModified, doAfter, QDate(1970, 1, 1), D, -1, Packed(1980, 1, 1, 0, 0, 2), false, true},
        DateCase{dkModified, doBefore, QDate(2150, 1, 1), D, -1, Packed(2099, 12, 31, 23, 0, 0), false, true},
        DateCase{dkModified, doBetween, QDate(1970, 1, 1), QDate(2150, 1, 1), -1, Packed(2000, 1, 1), false, true},
        DateCase{dkModified, doOn, QDate(2150, 1, 1), QDate(2150, 1, 1), -1, Packed(2099, 12, 31), false, false},
        // Compressed members: only "Modified" is tested, otherwise nothing applies.
        DateCase{dkCreated, doOn, D, D, -1, 0x12345678, true, true},
        DateCase{dkAccessed, doOn, D, D, -1, 4096, true, true},
        DateCase{dkModified, doOn, D, D, -1, Packed(2020, 1, 1), true, false},
        DateCase{dkModified, doOn, D, D, -1, Packed(2024, 5, 17, 8), true, true}));

TEST_F(MatchFixture, DiskDateIsItsUpdateWhateverTheKind)
{
    m_disk->Updated = DateTimeToUpdated(QDateTime(QDate(2024, 5, 17), QTime(14, 30, 0)));
    TSearchWork work = NewWork();
    work.byDate = true;
    work.dateKind = dkCreated;
    work.dateOp = doOn;
    work.date1 = QDate(2024, 5, 17);
    EXPECT_TRUE(diskMatches(Take(work)));
    work.date1 = QDate(2024, 5, 18);
    EXPECT_FALSE(diskMatches(Take(work)));
    work.dateOp = doBefore;
    EXPECT_TRUE(diskMatches(Take(work)));
    // Never updated: unknown, so nothing holds and the disk is not found.
    m_disk->Updated = 0;
    EXPECT_FALSE(diskMatches(Take(work)));
    work.dateOp = doNotBetween;
    EXPECT_FALSE(diskMatches(Take(work)));
}

// ---------------------------------------------------------------- times

struct TimeCase {
    int kind;
    int op;
    QTime t1, t2;
    int tolerance;   // minutes; negative: box clear
    uint32_t value;
    bool compressed;
    bool expected;
};

class TimeMatchTest : public MatchFixture, public ::testing::WithParamInterface<TimeCase>
{
};

TEST_P(TimeMatchTest, TimeOfDay)
{
    const TimeCase &p = GetParam();
    TSearchWork work = NewWork();
    work.byDate = true;
    work.timeKind = p.kind;
    work.timeOp = p.op;
    work.time1 = p.t1;
    work.time2 = p.t2;
    work.timeTolerance = p.tolerance >= 0;
    work.timeToleranceMinutes = std::max(p.tolerance, 0);
    const TSearchCriteria c = Take(work);
    FilePtr file = MakeFile("f");
    const uint32_t other = Packed(1999, 1, 1, 3, 3, 2);
    file->Created = p.kind == dkCreated ? p.value : other;
    file->Modified = p.kind == dkModified ? p.value : other;
    if (p.compressed)
        file->KindFlags |= rfCompressed;
    EXPECT_EQ(MatchFile(c, file.get(), m_catalog), p.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Times, TimeMatchTest,
    ::testing::Values(
        TimeCase{dkModified, doOn, QTime(12, 0), QTime(), -1, Packed(2001, 2, 3, 12, 0, 0), false, true},
        TimeCase{dkModified, doOn, QTime(12, 0), QTime(), -1, Packed(2001, 2, 3, 12, 0, 2), false, false},
        TimeCase{dkModified, doOn, QTime(12, 0), QTime(), 5, Packed(2001, 2, 3, 12, 5, 0), false, true},
        TimeCase{dkModified, doOn, QTime(12, 0), QTime(), 5, Packed(2001, 2, 3, 11, 55, 0), false, true},
        TimeCase{dkModified, doOn, QTime(12, 0), QTime(), 5, Packed(2001, 2, 3, 12, 5, 2), false, false},
        TimeCase{dkModified, doBefore, QTime(12, 0), QTime(), -1, Packed(2001, 2, 3, 11, 59, 58), false, true},
        TimeCase{dkModified, doBefore, QTime(12, 0), QTime(), -1, Packed(2001, 2, 3, 12, 0, 0), false, false},
        TimeCase{dkCreated, doAfter, QTime(12, 0), QTime(), -1, Packed(2001, 2, 3, 12, 0, 2), false, true},
        TimeCase{dkCreated, doAfter, QTime(12, 0), QTime(), -1, Packed(2001, 2, 3, 12, 0, 0), false, false},
        TimeCase{dkCreated, doBetween, QTime(8, 0), QTime(17, 0), -1, Packed(2001, 2, 3, 17, 0, 0), false, true},
        TimeCase{dkCreated, doBetween, QTime(8, 0), QTime(17, 0), -1, Packed(2001, 2, 3, 7, 59, 58), false, false},
        TimeCase{dkCreated, doNotBetween, QTime(8, 0), QTime(17, 0), -1, Packed(2001, 2, 3, 7, 59, 58), false, true},
        // A tolerance past midnight does not wrap: the bounds are plain seconds.
        TimeCase{dkModified, doOn, QTime(0, 2), QTime(), 5, Packed(2001, 2, 3, 23, 58, 0), false, false},
        TimeCase{dkModified, doOn, QTime(0, 2), QTime(), 5, Packed(2001, 2, 3, 0, 0, 0), false, true},
        // Unknown times fail; a compressed member's Created is no time and is not tested.
        TimeCase{dkModified, doNotBetween, QTime(8, 0), QTime(17, 0), -1, 0, false, false},
        TimeCase{dkCreated, doOn, QTime(12, 0), QTime(), -1, 0xDEADBEEF, true, true},
        TimeCase{dkModified, doOn, QTime(12, 0), QTime(), -1, Packed(2001, 2, 3, 13, 0, 0), true, false}));

TEST_F(MatchFixture, DiskTimeIsTheTimeOfItsUpdate)
{
    m_disk->Updated = DateTimeToUpdated(QDateTime(QDate(2024, 5, 17), QTime(14, 30, 1)));
    TSearchWork work = NewWork();
    work.byDate = true;
    work.timeKind = dkCreated;
    work.timeOp = doOn;
    work.time1 = QTime(14, 30, 1);
    EXPECT_TRUE(diskMatches(Take(work)));
    work.timeOp = doAfter;
    EXPECT_FALSE(diskMatches(Take(work)));
    m_disk->Updated = 0;
    work.timeOp = doNotBetween;
    EXPECT_FALSE(diskMatches(Take(work)));
}

// ---------------------------------------------------------------- verdicts

TEST_F(MatchFixture, AllAndAtLeastOneForFilesAndDisks)
{
    TSearchWork work = NameWork(nmPartOfName, "disk");
    work.bySize = true;
    work.sizeOp = soLarger;
    work.size1 = TSizeField{QStringLiteral("10"), SizeUnit::Bytes};
    FilePtr smallDisk = MakeFile("disk.txt");
    smallDisk->Size = 5;
    FilePtr bigOther = MakeFile("other.txt");
    bigOther->Size = 50;
    m_disk->TotalClusters = 100;

    const TSearchCriteria all = Take(work);
    EXPECT_FALSE(MatchFile(all, smallDisk.get(), m_catalog));
    EXPECT_FALSE(MatchFile(all, bigOther.get(), m_catalog));
    EXPECT_TRUE(diskMatches(all, "DISK1"));
    EXPECT_FALSE(diskMatches(all, "CD"));
    work.searchType = 1;
    const TSearchCriteria any = Take(work);
    EXPECT_TRUE(MatchFile(any, smallDisk.get(), m_catalog));
    EXPECT_TRUE(MatchFile(any, bigOther.get(), m_catalog));
    EXPECT_TRUE(diskMatches(any, "CD"));
}

TEST_F(MatchFixture, CompressedMembersWithOnlyACreatedDateMatchAll)
{
    // Nothing applies to a compressed member: "All conditions" finds it,
    // "At least one" does not.
    TSearchWork work = NewWork();
    work.byDate = true;
    work.dateKind = dkCreated;
    FilePtr member = MakeFile("m.txt");
    member->KindFlags |= rfCompressed;
    member->Created = 0xCAFEF00D;
    EXPECT_TRUE(MatchFile(Take(work), member.get(), m_catalog));
    work.searchType = 1;
    EXPECT_FALSE(MatchFile(Take(work), member.get(), m_catalog));
}

} // namespace
