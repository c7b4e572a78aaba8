// The main window's item list on large data: filling and sorting a folder of
// 100,000 files through the item list (its file list read, the rows sorted by
// the compare every list uses), against a plain std::stable_sort of the same
// pointers by a byte compare of the names; sorting a folder of a million
// files by name and by extension in the system's locale and in a common one,
// with ASCII names and with mixed ones, against the same baseline; and
// opening the catalog tree of a million-file catalog with the tree model
// attached (every notice of a new node passing through it), against
// ReadCatalog alone.
#include "BenchSupport.h"

#include "browser/ItemList.h"
#include "browser/ItemSort.h"
#include "browser/ui/CatalogTreeModel.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "platform/Texts.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// One disk whose root holds every file: the largest folder a list shows.
GenOptions FolderShape(int files, bool utf8Names = true)
{
    GenOptions o;
    o.seed = 7;
    o.disks = 1;
    o.depth = 0;
    o.fanOut = 0;
    o.filesPerFolder = files;
    o.maxNameLen = 64;
    o.descPercent = 5;
    o.archivesPerDisk = 0;
    o.virtualRoots = false;
    o.utf8Names = utf8Names;
    return o;
}

bool ByteLess(const TItemRec *a, const TItemRec *b)
{
    const QByteArrayView na = static_cast<const TFileRec *>(a)->name();
    const QByteArrayView nb = static_cast<const TFileRec *>(b)->name();
    const int c = std::memcmp(na.data(), nb.data(), size_t(std::min(na.size(), nb.size())));
    return c < 0 || (c == 0 && na.size() < nb.size());
}

// The records of the one folder of a generated catalog, in their stored order.
std::vector<TItemRec *> FolderRecords(TTreeNode *disk)
{
    LoadFileList(disk);
    std::vector<TItemRec *> chain;
    for (TFileRec *f = disk->data()->Next; f; f = f->Next)
        chain.push_back(f);
    return chain;
}

void FolderFigures(const BenchWorkDir &dir, int runs)
{
    constexpr int kFiles = 100000;
    const QString file = EnsureCatalog(dir, FolderShape(kFiles));
    TForest forest;
    TTreeNode *catalog = OpenCatalog(forest, file);
    TTreeNode *disk = catalog->child(0);
    const std::vector<TItemRec *> chain = FolderRecords(disk);

    std::vector<TItemRec *> work;
    auto fresh = [&] { work = chain; };
    auto sortBy = [&](int column) {
        TCompareContext c;
        c.column = column;
        return TimedCase{[&work, c] { SortItems(work, c); }, fresh};
    };
    TItemList list;
    list.sortState().folderColumn = 1;
    // A second opening of the same file, whose list is dropped and read
    // again for each run (the first one's records stay for the sorts).
    TForest rereadForest;
    TTreeNode *rereadCatalog = OpenCatalog(rereadForest, file);
    TTreeNode *rereadDisk = rereadCatalog->child(0);
    TItemList rereadList;
    const std::vector<TimedCase> cases{
        {[&] { std::stable_sort(work.begin(), work.end(), ByteLess); }, fresh},
        sortBy(0),
        sortBy(1),
        sortBy(2),
        {[&] { list.fill(disk); }, [&] { list.clear(); }},
        {[&] { rereadList.fill(rereadDisk); }, [&] { rereadList.clear(); UnloadFileList(rereadDisk); }},
        {[&] { ReverseItems(work, nullptr); }, fresh},
        {[&] { (void)list.findItemByPrefix(QStringLiteral("no such name"), 0); },
         [&] { if (list.displayedNode() != disk) list.fill(disk); }},
    };
    const std::vector<int64_t> ns = InterleavedMedians(runs, cases, 20'000'000);
    const double base = double(ns[0]);
    PrintHeading(QStringLiteral("A folder of %1 files (%2 MB catalog); baseline: std::stable_sort of the same "
                                "pointers by a byte compare of the names")
                     .arg(Count(int64_t(chain.size())))
                     .arg(double(QFileInfo(file).size()) / 1e6, 0, 'f', 1));
    const char *labels[] = {
        "baseline, byte-compare stable_sort",
        "SortItems by name (locale, case-blind)",
        "SortItems by extension, then name",
        "SortItems by size",
        "fill (rows + sort by extension), list in memory",
        "fill with the file list read from the catalog",
        "ReverseItems",
        "type-ahead over every row (no match)",
    };
    for (size_t i = 0; i < cases.size(); ++i)
        PrintLine(QStringLiteral("%1: %2 (%3 of the baseline)")
                      .arg(QLatin1String(labels[i]), Millis(ns[i]), Ratio(double(ns[i]) / base)));
    CloseCatalog(forest, catalog);
    rereadList.clear();
    CloseCatalog(rereadForest, rereadCatalog);
}

// Sorting a folder of a million files (a flat photo or log archive): by name
// and by extension, in the system's locale and in en_US, ASCII names and
// names of which some hold other characters (the collator's own keys).
void MillionFigures(const BenchWorkDir &dir, int runs)
{
    constexpr int kFiles = 1'000'000;
    struct Shape {
        bool utf8;
        const char *what;
    };
    for (const Shape shape : {Shape{false, "ASCII names"}, Shape{true, "mixed names (some not ASCII)"}}) {
        const QString file = EnsureCatalog(dir, FolderShape(kFiles, shape.utf8));
        TForest forest;
        TTreeNode *catalog = OpenCatalog(forest, file);
        const std::vector<TItemRec *> chain = FolderRecords(catalog->child(0));
        int64_t ascii = 0;
        for (const TItemRec *rec : chain)
            ascii += AsciiOnly(static_cast<const TFileRec *>(rec)->name()) ? 1 : 0;

        std::vector<TItemRec *> work;
        auto fresh = [&] { work = chain; };
        const QLocale system = QLocale::system();
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        auto sortBy = [&](int column, const QLocale &locale) {
            TCompareContext c;
            c.column = column;
            return TimedCase{[&work, c, locale] {
                                 QLocale::setDefault(locale);
                                 SortItems(work, c);
                             },
                             fresh};
        };
        const std::vector<TimedCase> cases{
            {[&] { std::stable_sort(work.begin(), work.end(), ByteLess); }, fresh},
            sortBy(0, system),
            sortBy(1, system),
            sortBy(0, english),
            sortBy(1, english),
            sortBy(2, system),
        };
        const std::vector<int64_t> ns = InterleavedMedians(runs, cases);
        QLocale::setDefault(system);
        const double base = double(ns[0]);
        PrintHeading(QStringLiteral("A folder of %1 files, %2 (%3% ASCII); system locale %4; baseline: "
                                    "std::stable_sort of the same pointers by a byte compare of the names")
                         .arg(Count(int64_t(chain.size())), QLatin1String(shape.what))
                         .arg(double(ascii) * 100.0 / double(std::max<size_t>(1, chain.size())), 0, 'f', 1)
                         .arg(system.name()));
        const char *labels[] = {
            "baseline, byte-compare stable_sort",
            "SortItems by name, system locale",
            "SortItems by extension, then name, system locale",
            "SortItems by name, en_US",
            "SortItems by extension, then name, en_US",
            "SortItems by size",
        };
        for (size_t i = 0; i < cases.size(); ++i)
            PrintLine(QStringLiteral("%1: %2 (%3 of the baseline)")
                          .arg(QLatin1String(labels[i]), Millis(ns[i]), Ratio(double(ns[i]) / base)));
        CloseCatalog(forest, catalog);
    }
}

void TreeFigures(const BenchWorkDir &dir, int runs)
{
    const GenOptions shape = StandardShape(1'000'000);
    const QString file = EnsureCatalog(dir, shape);
    TForest forest;
    TTreeNode *catalog = nullptr;
    auto close = [&] {
        if (catalog)
            CloseCatalog(forest, catalog);
        catalog = nullptr;
    };
    // Every folder level below each disk, without file lists: a fully expanded tree.
    auto readAllLevels = [&] {
        for (TTreeNode *disk : catalog->children())
            LoadSubfolders(disk, true, false);
    };
    TItemList list;
    const std::vector<TimedCase> cases{
        {[&] { catalog = OpenCatalog(forest, file); }, close},
        {[&] {
             TCatalogTreeModel model(forest);
             catalog = OpenCatalog(forest, file);
             list.fill(catalog);
         },
         [&] { close(); list.clear(); }},
        {[&] {
             catalog = OpenCatalog(forest, file);
             readAllLevels();
         },
         close},
        {[&] {
             TCatalogTreeModel model(forest);
             catalog = OpenCatalog(forest, file);
             readAllLevels();
         },
         close},
    };
    const std::vector<int64_t> ns = InterleavedMedians(runs, cases, 20'000'000);
    close();
    TTreeNode *counted = OpenCatalog(forest, file);
    int64_t top = 0;
    for (TTreeNode *disk : counted->children())
        top += disk->childCount();
    int64_t folders = 0;
    for (TTreeNode *disk : counted->children())
        folders += AsDisk(disk->data())->TotalFolders;
    CloseCatalog(forest, counted);

    const double base = double(ns[0]);
    PrintHeading(QStringLiteral("The tree of a catalog of %1 files (%2 disks, %3 top-level folders, %4 folders); "
                                "baseline: ReadCatalog alone")
                     .arg(Count(GeneratedFileCount(shape)))
                     .arg(shape.disks)
                     .arg(top)
                     .arg(folders));
    const char *labels[] = {
        "baseline, ReadCatalog",
        "open with the tree model attached, catalog's disks in the list",
        "open and read every folder level (no model)",
        "open and read every folder level with the tree model attached",
    };
    for (size_t i = 0; i < cases.size(); ++i)
        PrintLine(QStringLiteral("%1: %2 (%3 of the baseline)")
                      .arg(QLatin1String(labels[i]), Millis(ns[i]), Ratio(double(ns[i]) / base)));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const BenchArgs args = ParseBenchArgs(argc, argv, "The item list and the catalog tree on large catalogs.");
    const BenchWorkDir dir(args.workDir);
    FolderFigures(dir, args.runs);
    MillionFigures(dir, args.runs);
    TreeFigures(dir, args.runs);
    return 0;
}
