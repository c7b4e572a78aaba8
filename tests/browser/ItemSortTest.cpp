// The order of items: kinds, every column of files, folders and disks,
// compressed-file folders sorted as files, the previous-folder row, stability,
// stopping a sort, reversing, and names in the collator's order (ASCII and
// other names mixed, several locales, the C locale without regard to case).
#include "browser/ItemSort.h"

#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "catalog/LoadSave.h"
#include "platform/Texts.h"

#include <gtest/gtest.h>

#include <QCollator>
#include <QLocale>

// Readable failures.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

#include <memory>
#include <random>

namespace {

class EnglishLocale : public ::testing::Environment
{
public:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};
const auto *const kLocale = ::testing::AddGlobalTestEnvironment(new EnglishLocale);

class AnswerPrompter : public Prompter
{
public:
    explicit AnswerPrompter(MsgAnswer a) : answer(a) {}
    MsgAnswer ask(const QString &caption, const QString &text, MsgIcon, MsgButtons) override
    {
        asked.push_back(caption + QLatin1Char('|') + text);
        return answer;
    }
    MsgAnswer answer;
    std::vector<QString> asked;
};

struct Folder {
    TForest forest;
    TTreeNode *catalog = NewCatalogNode(forest, "C");
    TTreeNode *disk = AddDiskNode(catalog, "D");
    TTreeNode *folder = AddFolderNode(disk, "F");

    TFileRec *file(const char *name, int64_t size = 0, uint32_t modified = 0)
    {
        TFileRec *f = AppendFile(folder, name);
        f->Size = size;
        f->Modified = modified;
        return f;
    }
    TFolderRec *sub(const char *name, int64_t bytes = 0, bool archive = false)
    {
        TTreeNode *n = AddFolderNode(folder, name);
        TFolderRec *rec = AsFolder(n->data());
        rec->TotalSize = bytes * 10000;
        SetItemFlag(rec, rfCompressed, archive);
        return rec;
    }
};

std::vector<QString> names(const std::vector<TItemRec *> &items)
{
    std::vector<QString> out;
    for (const TItemRec *rec : items)
        out.push_back(ItemText(rec, itName, false));
    return out;
}

using Names = std::vector<QString>;

} // namespace

TEST(CompareItems, KindsOrderDisksFoldersFiles)
{
    Folder f;
    TFileRec *file = f.file("a.txt");
    TFolderRec *folder = f.sub("z");
    TItemRec *disk = f.disk->data();
    TCompareContext ctx;
    ctx.column = 0;
    EXPECT_GT(CompareItems(file, folder, ctx), 0);
    EXPECT_LT(CompareItems(folder, file, ctx), 0);
    EXPECT_GT(CompareItems(folder, disk, ctx), 0);
    EXPECT_LT(CompareItems(disk, file, ctx), 0);
    ctx.reverse = true;
    EXPECT_LT(CompareItems(file, folder, ctx), 0);
}

TEST(CompareItems, FileColumns)
{
    Folder f;
    const uint32_t morning = DateTimeToDos(QDateTime(QDate(2020, 1, 2), QTime(8, 0)));
    const uint32_t evening = DateTimeToDos(QDateTime(QDate(2019, 1, 2), QTime(20, 0)));
    TFileRec *a = f.file("b.TXT", 100, morning);
    TFileRec *b = f.file("a.doc", 5, evening);
    a->Attr = faArchive;
    b->Attr = faReadOnly;
    TCompareContext ctx;
    ctx.column = 0;
    EXPECT_GT(CompareItems(a, b, ctx), 0);   // a.doc before b.TXT, case ignored
    ctx.column = 1;
    EXPECT_GT(CompareItems(a, b, ctx), 0);   // doc before TXT
    ctx.column = 2;
    EXPECT_GT(CompareItems(a, b, ctx), 0);
    ctx.column = 3;
    EXPECT_GT(CompareItems(a, b, ctx), 0);   // 2020 after 2019
    ctx.column = 4;
    EXPECT_LT(CompareItems(a, b, ctx), 0);   // 8:00 before 20:00, whatever the day
    ctx.column = 5;
    EXPECT_GT(CompareItems(a, b, ctx), 0);
    StoreDescription(a->Desc, "apple");
    StoreDescription(b->Desc, "Banana");
    ctx.column = 6;
    EXPECT_LT(CompareItems(a, b, ctx), 0);
    FreeText(a->Desc);
    EXPECT_LT(CompareItems(a, b, ctx), 0);   // none counts as empty
    // Same extension: by name.
    TFileRec *c = f.file("c.doc");
    ctx.column = 1;
    EXPECT_LT(CompareItems(b, c, ctx), 0);
}

TEST(CompareItems, FolderAndDiskColumns)
{
    Folder f;
    TFolderRec *big = f.sub("big", int64_t(1) << 40);
    TFolderRec *small = f.sub("small", 1);
    TCompareContext ctx;
    ctx.column = 2;
    EXPECT_GT(CompareItems(big, small, ctx), 0);   // 64-bit totals, only the sign counts

    TTreeNode *d2 = AddDiskNode(f.catalog, "E");
    TDiskRec *one = AsDisk(f.disk->data());
    TDiskRec *two = AsDisk(d2->data());
    one->MediaType = 10;
    two->MediaType = 5;
    one->VolumeLabel = "beta";
    two->VolumeLabel = "Alpha";
    one->TotalClusters = 100;
    two->TotalClusters = 200;
    one->Updated = 2;
    two->Updated = 1;
    ctx.column = 1;
    EXPECT_GT(CompareItems(one, two, ctx), 0);
    ctx.column = 2;
    EXPECT_GT(CompareItems(one, two, ctx), 0);
    ctx.column = 3;
    EXPECT_LT(CompareItems(one, two, ctx), 0);
    ctx.column = 5;
    EXPECT_GT(CompareItems(one, two, ctx), 0);
    ctx.column = 9;
    EXPECT_EQ(CompareItems(one, two, ctx), 0);
    EXPECT_EQ(CompareItems(f.catalog->data(), f.catalog->data(), ctx), 0);
}

TEST(SortItems, BySizeFoldersFirstAndReversedWithPreviousRowOnTop)
{
    Folder f;
    TFolderRec prev;
    std::vector<TItemRec *> items{&prev, f.file("x", 30), f.sub("s1", 500), f.file("y", 10), f.sub("s2", 100),
                                  f.file("z", 20)};
    TCompareContext ctx;
    ctx.column = 2;
    ctx.prevFolder = &prev;
    EXPECT_TRUE(SortItems(items, ctx));
    EXPECT_EQ(items[0], &prev);
    items.erase(items.begin());
    EXPECT_EQ(names(items), (Names{"s2", "s1", "y", "z", "x"}));
    items.insert(items.begin(), &prev);
    ReverseItems(items, &prev);
    EXPECT_EQ(items[0], &prev);
    items.erase(items.begin());
    EXPECT_EQ(names(items), (Names{"x", "z", "y", "s1", "s2"}));

    // A full sort in reverse gives the same order as the reversal.
    std::vector<TItemRec *> again = items;
    again.insert(again.begin(), &prev);
    ctx.reverse = true;
    SortItems(again, ctx);
    EXPECT_EQ(again[0], &prev);
}

TEST(SortItems, ArchivesAsFilesWhenTheOptionIsOff)
{
    Folder f;
    std::vector<TItemRec *> items{f.file("c.txt"), f.sub("b.zip", 0, true), f.file("a.txt"), f.sub("folder")};
    TCompareContext ctx;
    ctx.column = 0;
    ctx.archivesAsFolders = false;
    SortItems(items, ctx);
    EXPECT_EQ(names(items), (Names{"folder", "a.txt", "b.zip", "c.txt"}));
    ctx.archivesAsFolders = true;
    SortItems(items, ctx);
    EXPECT_EQ(names(items), (Names{"b.zip", "folder", "a.txt", "c.txt"}));
}

TEST(SortItems, StableForEqualKeys)
{
    Folder f;
    std::vector<TItemRec *> items;
    std::mt19937 rng(5);
    for (int i = 0; i < 3000; ++i)
        items.push_back(f.file(QByteArray::number(i).constData(), int64_t(rng() % 7)));
    std::vector<TItemRec *> expected = items;
    std::stable_sort(expected.begin(), expected.end(), [](TItemRec *a, TItemRec *b) {
        return static_cast<TFileRec *>(a)->Size < static_cast<TFileRec *>(b)->Size;
    });
    TCompareContext ctx;
    ctx.column = 2;
    EXPECT_TRUE(SortItems(items, ctx));
    EXPECT_EQ(items, expected);
}

TEST(SortItems, StopKeyAsksAndKeepsASortedFront)
{
    Folder f;
    std::vector<TItemRec *> items;
    for (int i = 0; i < 5000; ++i)
        items.push_back(f.file("n", 5000 - i));
    const std::vector<TItemRec *> original = items;
    TCompareContext ctx;
    ctx.column = 2;

    // No: the question comes and the sort goes on to the end.
    AnswerPrompter no(MsgAnswer::No);
    int probes = 0;
    std::vector<TItemRec *> all = items;
    EXPECT_TRUE(SortItems(all, ctx, [&] { return ++probes == 2; }, &no));
    ASSERT_EQ(no.asked.size(), 1u);
    EXPECT_EQ(no.asked[0], "Cancel sort|Sorting was temporarily halted by user.\rWould you like to cancel sort and "
                           "proceed with partial results?");
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end(), [](TItemRec *a, TItemRec *b) {
        return static_cast<TFileRec *>(a)->Size < static_cast<TFileRec *>(b)->Size;
    }));

    // Yes: a sorted front, the rest exactly as it was.
    AnswerPrompter yes(MsgAnswer::Yes);
    probes = 0;
    EXPECT_FALSE(SortItems(items, ctx, [&] { return ++probes == 3; }, &yes));
    size_t front = 1;
    while (front < items.size() && static_cast<TFileRec *>(items[front - 1])->Size <=
                                       static_cast<TFileRec *>(items[front])->Size)
        ++front;
    ASSERT_GT(front, 1u);
    ASSERT_LT(front, items.size());
    EXPECT_TRUE(std::equal(items.begin() + std::ptrdiff_t(front), items.end(),
                           original.begin() + std::ptrdiff_t(front)));
}

// A long sort also asks its stop key inside a step, so an Esc is answered
// soon; a stop there keeps the front sorted before the step and the rest
// as it was, and no entry is lost or doubled.
TEST(SortItems, StopKeyInsideAStepKeepsTheFrontBeforeIt)
{
    // Records of their own (a folder's chain grows one walk per file).
    struct FreeFile {
        void operator()(TFileRec *rec) const { FreeFileRec(rec); }
    };
    std::vector<std::unique_ptr<TFileRec, FreeFile>> files;
    std::vector<TItemRec *> items;
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        files.emplace_back(NewFileRec("n"));
        files.back()->Size = (int64_t(i) * 7919) % n;
        items.push_back(files.back().get());
    }
    const std::vector<TItemRec *> original = items;
    TCompareContext ctx;
    ctx.column = 2;
    const auto bySize = [](TItemRec *a, TItemRec *b) {
        return static_cast<TFileRec *>(a)->Size < static_cast<TFileRec *>(b)->Size;
    };
    const auto sameEntries = [&](std::vector<TItemRec *> a) {
        std::vector<TItemRec *> b = original;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        return a == b;
    };
    // Twenty-five probes come only from inside the steps (a list of 200000
    // takes eleven steps).
    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        AnswerPrompter prompter(answer);
        int probes = 0;
        std::vector<TItemRec *> sorted = items;
        EXPECT_EQ(SortItems(sorted, ctx, [&] { return ++probes == 25; }, &prompter), answer == MsgAnswer::No);
        EXPECT_GE(probes, 25);
        ASSERT_EQ(prompter.asked.size(), 1u);
        EXPECT_TRUE(sameEntries(sorted));
        if (answer == MsgAnswer::No) {
            EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), bySize));
            continue;
        }
        size_t front = 1;
        while (front < sorted.size() && !bySize(sorted[front], sorted[front - 1]))
            ++front;
        EXPECT_GT(front, 256u);
        EXPECT_LT(front, sorted.size());
        // The front is a whole number of steps: everything from it on is
        // where it was.
        const size_t stepEnd = std::mismatch(sorted.rbegin(), sorted.rend(), original.rbegin()).first.base() -
                               sorted.begin();
        EXPECT_LE(stepEnd, front);
        EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.begin() + std::ptrdiff_t(stepEnd), bySize));
    }
}

TEST(SortItems, DisksByCapacityUseVirtualRootContent)
{
    Folder f;
    TDiskRec *whole = AsDisk(f.disk->data());
    whole->TotalClusters = 1000;
    whole->FreeClusters = 900;
    TDiskRec *virt = AsDisk(AddDiskNode(f.catalog, "V")->data());
    SetItemFlag(virt, rfVirtualRoot, true);
    virt->TotalClusters = 100000;   // the drive is large, the folder's content is not
    virt->FreeClusters = 99950;
    std::vector<TItemRec *> items{virt, whole};
    TCompareContext ctx;
    ctx.column = 3;
    SortItems(items, ctx);
    EXPECT_EQ(items[0], virt);
}

namespace {

// Sets the default locale for one test and puts the suite's back.
class LocaleScope
{
public:
    explicit LocaleScope(const QLocale &locale) : m_saved(QLocale()) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

// Seeded names, ASCII and not (UTF-8 and code page 1252 bytes), with
// extensions, equal names in another case and names without an extension.
std::vector<QByteArray> mixedNames(uint32_t seed, int count)
{
    static const char *const kPieces[] = {"a", "B", "img", "IMG", "_", "-", " ", ".", "0", "1", "10", "z", "Z",
                                          "ch", "aa", "\xc3\xa9", "\xc3\x89", "\xc3\xa5", "\xc3\xb6", "\xc3\x9f",
                                          "\xd0\xb6", "\xe6\x97\xa5", "\xf0\x9f\x98\x80", "\xe9", "~", "(", "'"};
    static const char *const kExtensions[] = {"", ".txt", ".TXT", ".jpg", ".JPG", ".tar.gz", ".\xc3\xa9t\xc3\xa9",
                                              ".", ".Txt"};
    std::mt19937 rng(seed);
    std::vector<QByteArray> names;
    for (int i = 0; i < count; ++i) {
        QByteArray name;
        const int pieces = 1 + int(rng() % 5);
        for (int j = 0; j < pieces; ++j)
            name += kPieces[rng() % std::size(kPieces)];
        name += kExtensions[rng() % std::size(kExtensions)];
        if (i % 7 == 3 && !names.empty())
            name = names.back().toUpper();
        names.push_back(name);
    }
    return names;
}

// The expected order: a stable sort by the collator's keys (case ignored),
// by name, or by extension and then name.
Names collatorOrder(const std::vector<QByteArray> &bytes, const QLocale &locale, bool byExtension)
{
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    const bool cLocale = locale.language() == QLocale::C;
    auto order = [&](const QString &a, const QString &b) {
        // The C locale's sort keys are plain bytes; its compare ignores case.
        return cLocale ? collator.compare(a, b) : collator.sortKey(a).compare(collator.sortKey(b));
    };
    std::vector<QString> texts;
    for (const QByteArray &b : bytes)
        texts.push_back(DecodeStored(b));
    auto extension = [](const QString &name) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        return dot < 0 ? QString() : name.mid(dot + 1);
    };
    Names sorted = texts;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const QString &a, const QString &b) {
        if (byExtension) {
            const int e = order(extension(a), extension(b));
            if (e)
                return e < 0;
        }
        return order(a, b) < 0;
    });
    return sorted;
}

class SortByLocale : public ::testing::TestWithParam<const char *>
{};

} // namespace

// ASCII names take keys from the locale's table, the others the collator's
// keys; in one list both must give the collator's order over the whole list
// (a strict weak order), and equal names keep their places.
TEST_P(SortByLocale, MixedNamesInTheCollatorsOrder)
{
    const QLocale locale(QString::fromLatin1(GetParam()));
    const LocaleScope scope(locale);
    for (const bool allAscii : {true, false}) {
        Folder f;
        std::vector<QByteArray> bytes = mixedNames(allAscii ? 11 : 12, 2500);
        if (allAscii)
            std::erase_if(bytes, [](const QByteArray &b) { return !AsciiOnly(b); });
        std::vector<TItemRec *> items;
        for (const QByteArray &b : bytes)
            items.push_back(f.file(b.constData()));
        for (const int column : {0, 1}) {
            std::vector<TItemRec *> sorted = items;
            TCompareContext ctx;
            ctx.column = column;
            EXPECT_TRUE(SortItems(sorted, ctx));
            const Names got = names(sorted);
            const Names expected = collatorOrder(bytes, locale, column == 1);
            ASSERT_EQ(got.size(), expected.size());
            const auto [gotAt, expectedAt] = std::mismatch(got.begin(), got.end(), expected.begin());
            EXPECT_TRUE(gotAt == got.end())
                << "column " << column << (allAscii ? ", ASCII names" : ", mixed names") << ", at "
                << (gotAt - got.begin()) << ": " << gotAt->toStdString() << " where the collator has "
                << expectedAt->toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, SortByLocale,
                         ::testing::Values("C", "en_US", "de_DE", "fr_FR", "sv_SE", "tr_TR", "da_DK"));

// The C locale's collator keys are the names' bytes, upper case first: the
// sort took them and put "B.txt" before "a.txt". Names ignore case there too.
TEST(SortItems, CLocaleIgnoresCase)
{
    const LocaleScope scope{QLocale::c()};
    Folder f;
    std::vector<TItemRec *> items{f.file("b.txt"), f.file("B.doc"), f.file("a.TXT"), f.file("A.doc"),
                                  f.file("_x"), f.file("Z")};
    TCompareContext ctx;
    ctx.column = 0;
    SortItems(items, ctx);
    EXPECT_EQ(names(items), (Names{"_x", "A.doc", "a.TXT", "B.doc", "b.txt", "Z"}));
    ctx.column = 1;
    SortItems(items, ctx);
    EXPECT_EQ(names(items), (Names{"_x", "Z", "A.doc", "B.doc", "a.TXT", "b.txt"}));
}

// Disks by name and by volume label, ASCII and not, through the same keys.
TEST(SortItems, DisksByNameAndLabel)
{
    Folder f;
    TTreeNode *second = AddDiskNode(f.catalog, "\xc3\x89t\xc3\xa9");
    TTreeNode *third = AddDiskNode(f.catalog, "b");
    AsDisk(f.disk->data())->VolumeLabel = "zeta";
    AsDisk(second->data())->VolumeLabel = "ALPHA";
    AsDisk(third->data())->VolumeLabel = "\xc3\xa9t\xc3\xa9";
    std::vector<TItemRec *> items{f.disk->data(), second->data(), third->data()};
    TCompareContext ctx;
    ctx.column = 0;
    SortItems(items, ctx);
    EXPECT_EQ(names(items), (Names{"b", "D", QStringLiteral("\u00c9t\u00e9")}));
    ctx.column = 2;
    SortItems(items, ctx);
    EXPECT_EQ(names(items), (Names{QStringLiteral("\u00c9t\u00e9"), "b", "D"}));
}

// A sort run decides most compares from what it keeps beside each record
// (kind rank, the first key bytes or the compared field); every column,
// direction and archive option must give the order of the plain compare:
// a mix of files, folders, compressed-file folders, disks and the
// previous-folder row, with names sharing long prefixes and extensions.
TEST(SortItems, RunOrderIsThePlainCompareOrder)
{
    Folder f;
    TFolderRec prev;
    std::mt19937 rng(77);
    static const char *const kStems[] = {"photo", "PHOTO", "photograph", "photographs-2024", "a", "", "b c",
                                         "\xc3\xa9t\xc3\xa9", "zz", "report_final_final"};
    static const char *const kExtensions[] = {"", ".jpg", ".JPG", ".jpeg", ".tar.gz", ".longextension",
                                              ".longextensions", ".txt", "."};
    std::vector<TItemRec *> items{&prev};
    for (int i = 0; i < 1200; ++i) {
        const QByteArray name = QByteArray(kStems[rng() % std::size(kStems)]) +
                                (rng() % 3 ? QByteArray::number(int(rng() % 20)) : QByteArray()) +
                                kExtensions[rng() % std::size(kExtensions)];
        const uint32_t modified = uint32_t(rng() % 4) << 16 | uint32_t(rng() % 3);
        switch (rng() % 6) {
        case 0:
            items.push_back(f.sub(name.constData(), int64_t(rng() % 5), rng() % 2 == 0));
            break;
        case 1:
            items.push_back(AddDiskNode(f.catalog, name)->data());
            break;
        default: {
            TFileRec *file = f.file(name.constData(), int64_t(rng() % 5) - 2, modified);
            file->Attr = uint8_t(rng() % 3);
            items.push_back(file);
        }
        }
    }
    std::shuffle(items.begin(), items.end(), rng);
    for (int column = 0; column <= 7; ++column)
        for (const bool reverse : {false, true})
            for (const bool archivesAsFolders : {true, false}) {
                TCompareContext ctx;
                ctx.column = column;
                ctx.reverse = reverse;
                ctx.archivesAsFolders = archivesAsFolders;
                ctx.prevFolder = &prev;
                std::vector<TItemRec *> expected = items;
                TItemComparer plain(ctx);
                std::stable_sort(expected.begin(), expected.end(),
                                 [&](const TItemRec *a, const TItemRec *b) { return plain.compare(a, b) < 0; });
                std::vector<TItemRec *> sorted = items;
                EXPECT_TRUE(SortItems(sorted, ctx));
                EXPECT_TRUE(sorted == expected) << "column " << column << (reverse ? " reversed" : "")
                                                << (archivesAsFolders ? "" : ", archives as files");
            }
}
