// The search: the item tests alone over a million file records in memory
// (each name mode and the other conditions, against a plain memmem over the
// same names); a "Part of Filename" search through the walk over generated
// catalogs of 1 M (and 10 M with --large) files, cold (no file list in
// memory, the file out of the page cache), with the file cached, and with
// every list in memory, against grep over a text file of the same names; a
// duplicates search by name and size against sort; and sorting 100 k and a
// million hits by name (and the million by location) against a plain sort
// of their names.
#include "BenchSupport.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "search/Criteria.h"
#include "search/Duplicates.h"
#include "search/FoundList.h"
#include "search/SearchWalk.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
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

// Runs a shell command and returns its first output line (grep -c's count).
QByteArray RunCommand(const QByteArray &command)
{
    FILE *pipe = ::popen(command.constData(), "r");
    if (!pipe) {
        std::perror("popen");
        std::exit(1);
    }
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    ::pclose(pipe);
    return got ? QByteArray(line).trimmed() : QByteArray();
}

QByteArray ShellQuote(const QString &path)
{
    return "'" + QFile::encodeName(path).replace("'", "'\\''") + "'";
}

// Every name a search for files tests, one per line: the file records
// (members of compressed files among them) and the compressed files shown
// as folders. Returns how many.
int64_t WriteNames(TTreeNode *catalogNode, const QString &fileName, std::vector<QByteArray> *sample)
{
    QFile out(fileName);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(fileName));
        std::exit(1);
    }
    QByteArray buffer;
    int64_t n = 0;
    const auto add = [&](QByteArrayView name) {
        buffer.append(name).append('\n');
        if (sample && n % 10 == 0)
            sample->push_back(name.toByteArray().toUpper());
        ++n;
        if (buffer.size() > (1 << 20)) {
            out.write(buffer);
            buffer.clear();
        }
    };
    for (TTreeNode *node : ContainerNodes(catalogNode)) {
        if (ItemIs(node->data()->KindFlags, rkFolder) && ItemIs(node->data()->KindFlags, rfCompressed))
            add(node->text());
        for (const TFileRec *f = node->data()->Next; f; f = f->Next)
            add(f->name());
    }
    out.write(buffer);
    return n;
}

// A pattern that comes nearest to one name in a thousand in the sample: a
// word of the generator, a blank and the start of another, or a word and an
// extension.
QString PickPattern(const std::vector<QByteArray> &sample)
{
    static const char *const kWords[] = {"report", "photo", "backup", "draft", "music", "track",
                                         "summer", "holiday", "project", "final", "notes", "data"};
    static const char *const kExtensions[] = {".txt", ".doc", ".jpg", ".mp3", ".exe", ".pdf"};
    QStringList candidates;
    for (const char *first : kWords) {
        for (const char *second : kWords)
            candidates << QString::fromLatin1(first) + QLatin1Char(' ') + QString::fromLatin1(second).left(2);
        for (const char *ext : kExtensions)
            candidates << QString::fromLatin1(first) + QString::fromLatin1(ext);
    }
    QString best;
    double bestDistance = 1e9;
    for (const QString &candidate : candidates) {
        const QByteArray pattern = candidate.toLatin1().toUpper();
        int64_t hits = 0;
        for (const QByteArray &name : sample)
            hits += name.contains(pattern);
        const double distance = std::abs(double(hits) / double(sample.size()) - 0.001);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
        }
    }
    return best;
}

void RunWalkBench(const BenchArgs &args, const BenchWorkDir &dir, int64_t size, QString &pattern)
{
    const GenOptions options = SearchShape(size, false);
    const QString path = EnsureCatalog(dir, options);
    const QString namesPath = dir.file(QFileInfo(path).completeBaseName() + QStringLiteral("-names.txt"));

    // The names file, written from a fully loaded copy of the catalog.
    int64_t names = 0;
    {
        TForest forest;
        TTreeNode *catalogNode = OpenCatalog(forest, path);
        for (TTreeNode *diskNode : catalogNode->children())
            LoadSubfolders(diskNode, true, true);
        std::vector<QByteArray> sample;
        names = WriteNames(catalogNode, namesPath, pattern.isEmpty() ? &sample : nullptr);
        if (pattern.isEmpty())
            pattern = PickPattern(sample);
        CloseCatalog(forest, catalogNode);
    }

    PrintHeading(QStringLiteral("\"Part of Filename\" \"%1\" over %2 files (%3 MB catalog, %4 file lists)")
                     .arg(pattern, Count(names))
                     .arg(double(QFileInfo(path).size()) / 1e6, 0, 'f', 1)
                     .arg(Count(int64_t(options.disks) *
                                (options.depth == 4 ? 11111 : 1111))));

    TSearchWork work = NameWork(nmPartOfName, pattern);
    work.folders = work.disks = false;
    const TSearchCriteria criteria = Snapshot(work);

    const QByteArray grepCommand = "LC_ALL=C grep -F -c -- " + ShellQuote(pattern) + " " + ShellQuote(namesPath);
    const QByteArray grepCaseCommand =
        "LC_ALL=C grep -F -i -c -- " + ShellQuote(pattern) + " " + ShellQuote(namesPath);
    QByteArray grepCount, grepCaseCount;

    TForest forest;
    TFoundList list(ResultListId::Found);
    TDirectSearchHost host;
    TTreeNode *catalogNode = nullptr;
    int found = 0;
    const auto reopen = [&] {
        list.clear();
        if (catalogNode)
            CloseCatalog(forest, catalogNode);
        catalogNode = OpenCatalog(forest, path);
    };
    const auto search = [&] {
        TSearchWalk walk(forest, list, host);
        walk.runNormal(criteria, true);
        found = walk.foundCount();
    };

    // Cold: a freshly opened catalog (no folder level below the disks, no
    // file list) whose file is out of the page cache, against grep of the
    // names file out of the page cache.
    const std::vector<int64_t> cold = InterleavedMedians(
        args.runs, {{[&] { grepCount = RunCommand(grepCommand); }, [&] { DropFromPageCache(namesPath); }},
                    {search, [&] {
                         reopen();
                         DropFromPageCache(path);
                     }}});
    const int coldFound = found;
    // The file in the page cache, still nothing loaded.
    const std::vector<int64_t> cached = InterleavedMedians(
        args.runs, {{[&] { grepCount = RunCommand(grepCommand); }, {}},
                    {[&] { grepCaseCount = RunCommand(grepCaseCommand); }, {}},
                    {search, reopen}});
    // Warm: every folder level and file list in memory.
    reopen();
    for (TTreeNode *diskNode : catalogNode->children())
        LoadSubfolders(diskNode, true, true);
    const std::vector<int64_t> warm =
        InterleavedMedians(args.runs, {{[&] { grepCount = RunCommand(grepCommand); }, {}},
                                       {search, [&] { list.clear(); }}});
    list.clear();
    CloseCatalog(forest, catalogNode);

    PrintLine(QStringLiteral("hits: search %1 (%2 of the names), grep -F -c %3, grep -F -i -c %4 (cold run: %5)")
                  .arg(Count(found))
                  .arg(QString::number(100.0 * found / double(names), 'f', 3) + QLatin1Char('%'))
                  .arg(QString::fromLatin1(grepCount), QString::fromLatin1(grepCaseCount))
                  .arg(Count(coldFound)));
    PrintLine(QStringLiteral("cold (nothing loaded, out of the page cache): %1; grep -F -c cold %2; %3 vs grep")
                  .arg(Millis(cold[1]), Millis(cold[0]), Ratio(double(cold[1]) / double(cold[0]))));
    PrintLine(QStringLiteral("file cached, nothing loaded: %1; grep -F -c %2 (-i %3); %4 vs grep")
                  .arg(Millis(cached[2]), Millis(cached[0]), Millis(cached[1]))
                  .arg(Ratio(double(cached[2]) / double(cached[0]))));
    PrintLine(QStringLiteral("warm (every list in memory): %1; grep -F -c %2; %3 vs grep")
                  .arg(Millis(warm[1]), Millis(warm[0]), Ratio(double(warm[1]) / double(warm[0]))));
}

// The found list filled with hits file records (100 k: every ninth file of
// the catalog; a million: every file, in walk order) and sorted by name with
// a click on the Name column, against a plain sort of the same records by
// their name bytes; the million also by Location, the slowest key.
void RunFoundListBench(const BenchArgs &args, const BenchWorkDir &dir, int64_t wanted)
{
    const GenOptions options = SearchShape(1'000'000, false);
    const QString path = EnsureCatalog(dir, options);
    TForest forest;
    TTreeNode *catalogNode = OpenCatalog(forest, path);
    for (TTreeNode *diskNode : catalogNode->children())
        LoadSubfolders(diskNode, true, true);
    const int every = wanted >= 1'000'000 ? 1 : 9;
    std::vector<TItemRec *> hits;
    int64_t seen = 0;
    for (TTreeNode *node : ContainerNodes(catalogNode))
        for (TFileRec *f = node->data()->Next; f; f = f->Next)
            if (int64_t(hits.size()) < wanted && seen++ % every == 0)
                hits.push_back(f);
    PrintHeading(QStringLiteral("Found list: %1 hits appended, then sorted by name (a click on \"Name\")")
                     .arg(Count(int64_t(hits.size()))));

    TFoundList list(ResultListId::Found);
    std::vector<TItemRec *> plain;
    // The Esc probe as the window asks it, never pressed: the longest time
    // between two of its calls (or the sort's start or end) is how long an
    // Esc may wait for its answer.
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastProbe;
    int64_t longestWait = 0, probes = 0;
    const std::function<bool()> stopProbe = [&] {
        const Clock::time_point now = Clock::now();
        if (probes++ > 0)
            longestWait = std::max<int64_t>(
                longestWait, std::chrono::duration_cast<std::chrono::nanoseconds>(now - lastProbe).count());
        lastProbe = now;
        return false;
    };
    const auto refill = [&] {
        probes = 0;   // the gap from the previous sort's last probe is no wait
        list.clear();
        for (TItemRec *rec : hits)
            list.append(rec);
        list.sortColumn = kUnsorted;
    };
    std::vector<TimedCase> cases = {
        {[&] {
             std::stable_sort(plain.begin(), plain.end(), [](const TItemRec *a, const TItemRec *b) {
                 return static_cast<const TFileRec *>(a)->name() < static_cast<const TFileRec *>(b)->name();
             });
         },
         [&] { plain = hits; }},
        {[&] {
             for (TItemRec *rec : hits)
                 list.append(rec);
         },
         [&] { list.clear(); }},
        {[&] {
             stopProbe();   // the start
             ClickFoundColumn(list, fcName, true, stopProbe);
             stopProbe();   // the end of the sort answers an Esc too
         },
         refill}};
    const bool byLocation = wanted >= 1'000'000;
    if (byLocation)
        cases.push_back({[&] {
                             stopProbe();
                             ClickFoundColumn(list, fcLocation, true, stopProbe);
                             stopProbe();
                         },
                         refill});
    const std::vector<int64_t> times = InterleavedMedians(args.runs, cases);
    PrintLine(QStringLiteral("baseline std::stable_sort by name bytes: %1").arg(Millis(times[0])));
    PrintLine(QStringLiteral("append %1 hits: %2").arg(Count(int64_t(hits.size())), Millis(times[1])));
    PrintLine(QStringLiteral("sort by name (ClickFoundColumn, the user's collation): %1, %2 vs the plain sort")
                  .arg(Millis(times[2]), Ratio(double(times[2]) / double(times[0]))));
    if (byLocation)
        PrintLine(QStringLiteral("sort by location: %1, %2 vs the plain sort by name")
                      .arg(Millis(times[3]), Ratio(double(times[3]) / double(times[0]))));
    PrintLine(QStringLiteral("filled and sorted: %1").arg(Millis(times[1] + times[2])));
    PrintLine(QStringLiteral("longest time between two polls of the Esc probe during a sort: %1")
                  .arg(Millis(longestWait)));
    list.clear();
    CloseCatalog(forest, catalogNode);
}

// A duplicates search by name and size over every file, folder and disk of
// the million-file catalog, freshly opened (file cached) and with every
// list in memory, against sort and uniq over lines of name and size.
void RunDuplicatesBench(const BenchArgs &args, const BenchWorkDir &dir)
{
    const GenOptions options = SearchShape(1'000'000, false);
    const QString path = EnsureCatalog(dir, options);
    const QString linesPath = dir.file(QFileInfo(path).completeBaseName() + QStringLiteral("-name-size.txt"));
    int64_t files = 0;
    {
        TForest forest;
        TTreeNode *catalogNode = OpenCatalog(forest, path);
        for (TTreeNode *diskNode : catalogNode->children())
            LoadSubfolders(diskNode, true, true);
        QFile out(linesPath);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::exit(1);
        QByteArray buffer;
        for (TTreeNode *node : ContainerNodes(catalogNode)) {
            // Members of compressed files are left out, as the search leaves them.
            if (ItemIs(node->data()->KindFlags, rfCompressed))
                continue;
            for (const TFileRec *f = node->data()->Next; f; f = f->Next) {
                buffer.append(f->name()).append('\t').append(QByteArray::number(f->Size)).append('\n');
                ++files;
            }
            if (buffer.size() > (1 << 20)) {
                out.write(buffer);
                buffer.clear();
            }
        }
        out.write(buffer);
        CloseCatalog(forest, catalogNode);
    }
    PrintHeading(QStringLiteral("Duplicates by name and size over %1 files (and the folders and disks)")
                     .arg(Count(files)));

    TSearchWork work;
    ResetCriteria(work, QDate(2024, 5, 17));
    work.duplicatesMode = true;
    const TSearchCriteria filter = Snapshot(work);
    TDupSettings settings;
    settings.name = settings.size = true;
    settings.date = settings.attr = false;

    const QByteArray sortCommand = "LC_ALL=C sort -f " + ShellQuote(linesPath) + " | LC_ALL=C uniq -d -i | wc -l";
    QByteArray groupsBySort;
    TForest forest;
    TFoundList list(ResultListId::Duplicates);
    TDirectSearchHost host;
    TTreeNode *catalogNode = nullptr;
    int found = 0;
    const auto reopen = [&] {
        list.clear();
        if (catalogNode)
            CloseCatalog(forest, catalogNode);
        catalogNode = OpenCatalog(forest, path);
    };
    const auto search = [&] {
        TSearchWalk walk(forest, list, host);
        walk.runDuplicates(filter, settings, true);
        found = walk.foundCount();
    };
    const std::vector<int64_t> fresh = InterleavedMedians(
        args.runs, {{[&] { groupsBySort = RunCommand(sortCommand); }, {}}, {search, reopen}});
    reopen();
    for (TTreeNode *diskNode : catalogNode->children())
        LoadSubfolders(diskNode, true, true);
    const std::vector<int64_t> warm = InterleavedMedians(args.runs, {{search, [&] { list.clear(); }}});
    list.clear();
    CloseCatalog(forest, catalogNode);

    PrintLine(QStringLiteral("found %1 items in groups; sort | uniq -d -i: %2 duplicated name and size lines")
                  .arg(Count(found), QString::fromLatin1(groupsBySort)));
    PrintLine(QStringLiteral("freshly opened (file cached): %1; sort -f | uniq -d -i: %2; %3 vs sort")
                  .arg(Millis(fresh[1]), Millis(fresh[0]), Ratio(double(fresh[1]) / double(fresh[0]))));
    PrintLine(QStringLiteral("every list in memory: %1; %2 vs sort")
                  .arg(Millis(warm[0]), Ratio(double(warm[0]) / double(fresh[0]))));
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv, "Search: item tests, name search cold and warm, duplicates.");
    BenchWorkDir dir(args.workDir);
    std::printf("work folder: %s\n", qPrintable(dir.path()));
    // QUILLON_BENCH_ONLY=walk runs the name searches through the walk alone,
    // =sort the found list's fill and sorts alone.
    const bool walkOnly = qgetenv("QUILLON_BENCH_ONLY") == "walk";
    const bool sortOnly = qgetenv("QUILLON_BENCH_ONLY") == "sort";
    if (sortOnly) {
        RunFoundListBench(args, dir, 100'000);
        RunFoundListBench(args, dir, 1'000'000);
        return 0;
    }
    if (!walkOnly) {
        RunMatchBench(args, dir, false);
        RunMatchBench(args, dir, true);
    }
    QString pattern;
    RunWalkBench(args, dir, 1'000'000, pattern);
    if (args.large)
        RunWalkBench(args, dir, 10'000'000, pattern);
    if (!walkOnly) {
        RunFoundListBench(args, dir, 100'000);
        RunFoundListBench(args, dir, 1'000'000);
        RunDuplicatesBench(args, dir);
    }
    return 0;
}
