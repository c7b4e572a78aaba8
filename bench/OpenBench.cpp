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

namespace {

struct OpenFigures {
    int64_t warmNs = 0;
    int64_t coldNs = 0;
    int64_t files = 0;
    int64_t topFolders = 0;
    int64_t folders = 0;
    int64_t disks = 0;
    int64_t bytes = 0;
};

// Opens fileName again and again; cold runs drop the file from the page cache first.
OpenFigures MeasureOpen(const BenchWorkDir &dir, const GenOptions &options, int runs, bool cold)
{
    const QString fileName = EnsureCatalog(dir, options);
    OpenFigures f;
    f.files = GeneratedFileCount(options);
    f.bytes = QFileInfo(fileName).size();
    TForest forest;
    TTreeNode *node = nullptr;
    auto close = [&] {
        if (node)
            CloseCatalog(forest, node);
        node = nullptr;
    };
    node = OpenCatalog(forest, fileName);
    for (TTreeNode *diskNode : node->children()) {
        const TDiskRec *disk = AsDisk(diskNode->data());
        f.folders += disk->TotalFolders;
        f.topFolders += diskNode->childCount();
        ++f.disks;
    }
    close();
    f.warmNs = MedianTimeShort(runs, [&] { node = OpenCatalog(forest, fileName); }, close);
    close();
    if (cold) {
        f.coldNs = MedianTime(runs, [&] { node = OpenCatalog(forest, fileName); },
                              [&] {
                                  close();
                                  DropFromPageCache(fileName);
                              });
        close();
    }
    return f;
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

    PrintHeading(QStringLiteral("Open against files: 8 disks, the same folders (6 x 3 levels per disk), more files per folder"));
    std::vector<int64_t> sizes = {10'000, 100'000, 1'000'000};
    if (args.large)
        sizes.push_back(10'000'000);
    OpenFigures base;
    for (int64_t size : sizes) {
        const OpenFigures f = MeasureOpen(dir, StandardShape(size), args.runs, true);
        if (size == sizes.front())
            base = f;
        PrintLine(QStringLiteral("%1 files (%2 MB file, %3 disks, %4 top-level folders, %5 folders): "
                                 "warm %6 (%7 vs 10k), cold %8 (%9 vs 10k)")
                      .arg(Count(f.files))
                      .arg(double(f.bytes) / 1e6, 0, 'f', 1)
                      .arg(f.disks)
                      .arg(f.topFolders)
                      .arg(f.folders)
                      .arg(Millis(f.warmNs), Ratio(double(f.warmNs) / double(base.warmNs)))
                      .arg(Millis(f.coldNs), Ratio(double(f.coldNs) / double(base.coldNs))));
    }

    PrintHeading(QStringLiteral("Open against disks: each disk 6 x 3 levels of folders, 20 files per folder"));
    OpenFigures oneDisk;
    for (int disks : {1, 4, 16, 64}) {
        GenOptions o = StandardShape(0);
        o.disks = disks;
        o.filesPerFolder = 20;
        const OpenFigures f = MeasureOpen(dir, o, args.runs, false);
        if (disks == 1)
            oneDisk = f;
        PrintLine(QStringLiteral("%1 disks (%2 files): %3 (%4 vs 1 disk; %5 per disk)")
                      .arg(disks)
                      .arg(Count(f.files))
                      .arg(Millis(f.warmNs), Ratio(double(f.warmNs) / double(oneDisk.warmNs)))
                      .arg(Millis(f.warmNs / disks)));
    }

    PrintHeading(QStringLiteral("Open against top-level folders: 4 disks, one folder level, 10 files per folder"));
    OpenFigures fewFolders;
    for (int fanOut : {10, 100, 1000, 10000}) {
        GenOptions o = StandardShape(0);
        o.disks = 4;
        o.depth = 1;
        o.fanOut = fanOut;
        o.filesPerFolder = 10;
        const OpenFigures f = MeasureOpen(dir, o, args.runs, false);
        if (fanOut == 10)
            fewFolders = f;
        PrintLine(QStringLiteral("%1 top-level folders (%2 files): %3 (%4 vs %5 folders; %6 per folder)")
                      .arg(Count(f.topFolders))
                      .arg(Count(f.files))
                      .arg(Millis(f.warmNs), Ratio(double(f.warmNs) / double(fewFolders.warmNs)))
                      .arg(fewFolders.topFolders)
                      .arg(Millis(f.warmNs / std::max<int64_t>(1, f.topFolders))));
    }

    PrintHeading(QStringLiteral("Open against deeper folders (read past, not built): 4 disks, 6 top-level folders each, "
                                "2 files per folder"));
    OpenFigures shallow;
    for (int depth : {1, 3, 5}) {
        GenOptions o = StandardShape(0);
        o.disks = 4;
        o.depth = depth;
        o.fanOut = 6;
        o.filesPerFolder = 2;
        const OpenFigures f = MeasureOpen(dir, o, args.runs, false);
        if (depth == 1)
            shallow = f;
        PrintLine(QStringLiteral("depth %1 (%2 top-level folders, %3 folders): %4 (%5 vs depth 1)")
                      .arg(depth)
                      .arg(f.topFolders)
                      .arg(Count(f.folders))
                      .arg(Millis(f.warmNs), Ratio(double(f.warmNs) / double(shallow.warmNs))));
    }
    return 0;
}
