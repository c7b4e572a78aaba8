// The search: the item tests alone over a million file records in memory
// (each name mode and the other conditions, against a plain memmem over the
// same names), and a name search through the walk over generated catalogs of
// 1 M (and 10 M with --large) files, cold and warm, against grep over a text
// file of the same names.
#include "BenchSupport.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "search/Criteria.h"

#include <QDate>
#include <QFile>

#include <cstdio>
#include <cstring>

namespace {

// The generator's shape for the search: about 100 files per folder, 8 disks,
// 10 folders per folder (3 levels for 1 M files, 4 for 10 M), names of plain
// ASCII as most names are (utf8 puts a multi-byte word in about half the
// names, the worst case of the name test).
GenOptions SearchShape(int64_t totalFiles, bool utf8)
{
    GenOptions o;
    o.seed = 7;
    o.disks = 8;
    o.fanOut = 10;
    o.depth = totalFiles > 2'000'000 ? 4 : 3;
    int64_t lists = 1, level = 1;
    for (int d = 0; d < o.depth; ++d) {
        level *= o.fanOut;
        lists += level;
    }
    lists *= o.disks;
    o.filesPerFolder = int(std::max<int64_t>(1, totalFiles / lists));
    o.maxNameLen = 64;
    o.utf8Names = utf8;
    o.descPercent = 5;
    return o;
}

// Every file record below a catalog whose lists are all in memory.
std::vector<const TFileRec *> AllFiles(TTreeNode *catalogNode)
{
    std::vector<const TFileRec *> files;
    for (TTreeNode *node : ContainerNodes(catalogNode))
        for (const TFileRec *f = node->data()->Next; f; f = f->Next)
            files.push_back(f);
    return files;
}

TSearchCriteria Snapshot(const TSearchWork &work)
{
    std::optional<TSearchCriteria> c = TakeCriteriaSnapshot(work, {}, nullptr);
    if (!c) {
        std::fprintf(stderr, "criteria not taken\n");
        std::exit(1);
    }
    return *c;
}

TSearchWork NameWork(int mode, const QString &text)
{
    TSearchWork work;
    ResetCriteria(work, QDate(2024, 5, 17));
    work.byName = true;
    work.setNameMode(mode);
    work.setNameText(text);
    return work;
}

void RunMatchBench(const BenchArgs &args, const BenchWorkDir &dir, bool utf8)
{
    const GenOptions options = SearchShape(1'000'000, utf8);
    const QString path = EnsureCatalog(dir, options);
    TForest forest;
    TTreeNode *catalogNode = OpenCatalog(forest, path);
    for (TTreeNode *diskNode : catalogNode->children())
        LoadSubfolders(diskNode, true, true);
    const std::vector<const TFileRec *> files = AllFiles(catalogNode);
    const TCatalogRec *catalog = AsCatalog(catalogNode->data());
    int64_t ascii = 0;
    for (const TFileRec *f : files)
        ascii += std::all_of(f->name().begin(), f->name().end(), [](char c) { return uchar(c) < 0x80; });

    PrintHeading(QStringLiteral("MatchFile over %1 file records in memory (%2% of the names plain ASCII)")
                     .arg(Count(int64_t(files.size())))
                     .arg(100.0 * double(ascii) / double(files.size()), 0, 'f', 1));

    struct Case {
        QString label;
        TSearchCriteria criteria;
    };
    std::vector<Case> cases;
    cases.push_back({"Part of Filename \"summer\"", Snapshot(NameWork(nmPartOfName, "summer"))});
    cases.push_back({"File Mask \"*data*.txt\"", Snapshot(NameWork(nmFileMask, "*data*.txt"))});
    cases.push_back({"Exact Filename \"readme.txt\"", Snapshot(NameWork(nmExactName, "readme.txt"))});
    cases.push_back({"File Extension \"txt,doc,jpg\"", Snapshot(NameWork(nmExtension, "txt,doc,jpg"))});
    cases.push_back({"regular expression \"^1[0-9]_.*photo\"", Snapshot(NameWork(nmRegex, "^1[0-9]_.*photo"))});
    {
        TSearchWork work;
        ResetCriteria(work, QDate(2024, 5, 17));
        work.byDesc = true;
        work.descText = QStringLiteral("summer holiday");
        cases.push_back({"description \"summer holiday\"", Snapshot(work)});
        work = TSearchWork();
        ResetCriteria(work, QDate(2024, 5, 17));
        work.bySize = true;
        work.sizeOp = soBetween;
        work.size1 = TSizeField{QStringLiteral("1"), SizeUnit::MB};
        work.size2 = TSizeField{QStringLiteral("5"), SizeUnit::MB};
        work.byDate = true;
        work.dateKind = dkModified;
        work.dateOp = doAfter;
        work.date1 = QDate(2000, 1, 1);
        cases.push_back({"size between 1 and 5 MB, modified after 2000-01-01", Snapshot(work)});
    }

    // Baseline: memmem of a fixed needle over each name, as bytes.
    volatile int64_t sink = 0;
    std::vector<TimedCase> timed;
    timed.push_back({[&] {
                         int64_t n = 0;
                         for (const TFileRec *f : files)
                             n += memmem(f->NameBytes, f->NameLen, "summer", 6) != nullptr;
                         sink = n;
                     },
                     {}});
    std::vector<int64_t> hits(cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        timed.push_back({[&, i] {
                             int64_t n = 0;
                             for (const TFileRec *f : files)
                                 n += MatchFile(cases[i].criteria, f, catalog);
                             hits[i] = n;
                         },
                         {}});
    }
    const std::vector<int64_t> times = InterleavedMedians(args.runs, timed);
    const double perFile = 1.0 / double(files.size());
    PrintLine(QStringLiteral("baseline memmem over the names: %1 (%2 ns per name)")
                  .arg(Millis(times[0]))
                  .arg(double(times[0]) * perFile, 0, 'f', 1));
    for (size_t i = 0; i < cases.size(); ++i)
        PrintLine(QStringLiteral("%1: %2 (%3 ns per file, %4 vs memmem), %5 hits")
                      .arg(cases[i].label, Millis(times[i + 1]))
                      .arg(double(times[i + 1]) * perFile, 0, 'f', 1)
                      .arg(Ratio(double(times[i + 1]) / double(times[0])))
                      .arg(Count(hits[i])));
    CloseCatalog(forest, catalogNode);
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv, "Search: item tests, name search cold and warm, duplicates.");
    BenchWorkDir dir(args.workDir);
    std::printf("work folder: %s\n", qPrintable(dir.path()));
    RunMatchBench(args, dir, false);
    RunMatchBench(args, dir, true);
    return 0;
}
