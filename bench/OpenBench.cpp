// How long opening a catalog takes (ReadCatalog: the header, every disk
// header and each disk's first folder level). Opening must not grow with the
// number of files, only with disks and folders: the figures are catalogs of
// the same disks and folders with 10 thousand to 10 million files, catalogs
// with more disks, with more top-level folders, and with more (skipped)
// deeper folders, each as a ratio to the smallest catalog of its series.
#include "BenchSupport.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"

#include <QFileInfo>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// One catalog of a series, opened into a forest of its own.
struct OpenCase {
    GenOptions options;
    QString fileName;
    TForest forest;
    TTreeNode *node = nullptr;
    int64_t files = 0;
    int64_t topFolders = 0;
    int64_t folders = 0;
    int64_t disks = 0;
    int64_t bytes = 0;
    int64_t warmNs = 0;
    int64_t coldNs = 0;

    void open() { node = OpenCatalog(forest, fileName); }
    void close()
    {
        if (node)
            CloseCatalog(forest, node);
        node = nullptr;
    }
};

using Series = std::vector<std::unique_ptr<OpenCase>>;

// Generates (or finds) the catalogs of a series and counts what opening shows of them.
Series PrepareSeries(const BenchWorkDir &dir, const std::vector<GenOptions> &shapes)
{
    Series series;
    for (const GenOptions &o : shapes) {
        auto c = std::make_unique<OpenCase>();
        c->options = o;
        c->fileName = EnsureCatalog(dir, o);
        c->files = GeneratedFileCount(o);
        c->bytes = QFileInfo(c->fileName).size();
        c->open();
        for (TTreeNode *diskNode : c->node->children()) {
            const TDiskRec *disk = AsDisk(diskNode->data());
            c->folders += disk->TotalFolders;
            c->topFolders += diskNode->childCount();
            ++c->disks;
        }
        c->close();
        series.push_back(std::move(c));
    }
    return series;
}

// Open times of every catalog of the series, measured round-robin; cold
// runs drop the file from the page cache first.
void MeasureSeries(Series &series, int runs, bool cold)
{
    std::vector<TimedCase> warm;
    for (auto &c : series)
        warm.push_back({[p = c.get()] { p->open(); }, [p = c.get()] { p->close(); }});
    const std::vector<int64_t> warmNs = InterleavedMedians(runs, warm, 20'000'000);
    for (size_t i = 0; i < series.size(); ++i) {
        series[i]->close();
        series[i]->warmNs = warmNs[i];
    }
    if (!cold)
        return;
    std::vector<TimedCase> coldCases;
    for (auto &c : series)
        coldCases.push_back({[p = c.get()] { p->open(); },
                             [p = c.get()] {
                                 p->close();
                                 DropFromPageCache(p->fileName);
                             }});
    const std::vector<int64_t> coldNs = InterleavedMedians(runs, coldCases);
    for (size_t i = 0; i < series.size(); ++i) {
        series[i]->close();
        series[i]->coldNs = coldNs[i];
    }
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv, "Catalog open time against files, disks and folders.");
    BenchWorkDir dir(args.workDir);
    std::printf("work folder: %s\n", qPrintable(dir.path()));

    // Cold runs need the kernel to drop the file's pages; say so if it will not.
    {
        const QString probe = EnsureCatalog(dir, StandardShape(10'000));
        if (!DropFromPageCache(probe))
            std::printf("  (the page cache cannot be dropped here: cold figures are warm ones)\n");
    }

    PrintHeading(QStringLiteral("Open against files: 8 disks, the same folders (6 x 3 levels per disk), "
                                "more files per folder"));
    std::vector<GenOptions> shapes;
    for (int64_t size : {10'000, 100'000, 1'000'000})
        shapes.push_back(StandardShape(size));
    if (args.large)
        shapes.push_back(StandardShape(10'000'000));
    Series files = PrepareSeries(dir, shapes);
    MeasureSeries(files, args.runs, true);
    for (auto &c : files)
        PrintLine(QStringLiteral("%1 files (%2 MB file, %3 disks, %4 top-level folders, %5 folders): "
                                 "warm %6 (%7 vs 10k), cold %8 (%9 vs 10k)")
                      .arg(Count(c->files))
                      .arg(double(c->bytes) / 1e6, 0, 'f', 1)
                      .arg(c->disks)
                      .arg(c->topFolders)
                      .arg(c->folders)
                      .arg(Millis(c->warmNs), Ratio(double(c->warmNs) / double(files[0]->warmNs)))
                      .arg(Millis(c->coldNs), Ratio(double(c->coldNs) / double(files[0]->coldNs))));

    PrintHeading(QStringLiteral("Open against disks: each disk 6 x 3 levels of folders, 20 files per folder"));
    shapes.clear();
    for (int disks : {1, 4, 16, 64}) {
        GenOptions o = StandardShape(0);
        o.disks = disks;
        o.filesPerFolder = 20;
        shapes.push_back(o);
    }
    Series disks = PrepareSeries(dir, shapes);
    MeasureSeries(disks, args.runs, false);
    for (auto &c : disks)
        PrintLine(QStringLiteral("%1 disks (%2 files): %3 (%4 vs 1 disk; %5 per disk)")
                      .arg(c->disks)
                      .arg(Count(c->files))
                      .arg(Millis(c->warmNs), Ratio(double(c->warmNs) / double(disks[0]->warmNs)))
                      .arg(Millis(c->warmNs / std::max<int64_t>(1, c->disks))));

    PrintHeading(QStringLiteral("Open against top-level folders: 4 disks, one folder level, 10 files per folder"));
    shapes.clear();
    for (int fanOut : {10, 100, 1000, 10000}) {
        GenOptions o = StandardShape(0);
        o.disks = 4;
        o.depth = 1;
        o.fanOut = fanOut;
        o.filesPerFolder = 10;
        shapes.push_back(o);
    }
    Series top = PrepareSeries(dir, shapes);
    MeasureSeries(top, args.runs, false);
    for (auto &c : top)
        PrintLine(QStringLiteral("%1 top-level folders (%2 files): %3 (%4 vs %5 folders; %6 per folder)")
                      .arg(Count(c->topFolders))
                      .arg(Count(c->files))
                      .arg(Millis(c->warmNs), Ratio(double(c->warmNs) / double(top[0]->warmNs)))
                      .arg(top[0]->topFolders)
                      .arg(Millis(c->warmNs / std::max<int64_t>(1, c->topFolders))));

    PrintHeading(QStringLiteral("Open against deeper folders (read past, not built): 4 disks, 6 top-level folders "
                                "each, 2 files per folder"));
    shapes.clear();
    for (int depth : {1, 3, 5}) {
        GenOptions o = StandardShape(0);
        o.disks = 4;
        o.depth = depth;
        o.fanOut = 6;
        o.filesPerFolder = 2;
        shapes.push_back(o);
    }
    Series deep = PrepareSeries(dir, shapes);
    MeasureSeries(deep, args.runs, false);
    for (auto &c : deep)
        PrintLine(QStringLiteral("depth %1 (%2 top-level folders, %3 folders): %4 (%5 vs depth 1; %6 per folder)")
                      .arg(c->options.depth)
                      .arg(c->topFolders)
                      .arg(Count(c->folders))
                      .arg(Millis(c->warmNs), Ratio(double(c->warmNs) / double(deep[0]->warmNs)))
                      .arg(Millis(c->warmNs / std::max<int64_t>(1, c->folders))));
    return 0;
}
