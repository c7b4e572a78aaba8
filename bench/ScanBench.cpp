// Speed and memory of the disk scan on a generated tree of about 200,000
// files (tools/GenTree, sparse files, seed 7), with the file system's
// metadata in the page cache: the walk alone (hidden items included, no
// archives, no description files) against `find TREE -printf '%s %T@ %p\n'`
// into /dev/null on the same tree, timed round-robin with the median
// reported; then the scan as the settings' defaults run it (archives listed,
// description files read). Memory: the heap the new disk holds afterwards
// (mallinfo2) and the growth of the peak resident size during the first
// scan, each per catalogued item. The tree is kept in the work folder and
// reused by later runs.
#include "BenchSupport.h"

#include "GenTree.h"
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "platform/Drives.h"
#include "scan/DiskScan.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

#include <sys/resource.h>

namespace {

// 12 folders per folder over 3 levels (1,885 folders) with 106 files each.
GenTreeOptions TreeShape()
{
    GenTreeOptions o;
    o.seed = 7;
    o.depth = 3;
    o.fanOut = 12;
    o.filesPerFolder = 106;
    o.maxFileSize = 4 << 20;
    o.hiddenPercent = 2;
    o.upperPercent = 10;
    o.utf8Percent = 5;
    o.descPercent = 5;
    o.zipPercent = 3;
    return o;
}

// The tree in the work folder, generated on first use (a stamp file marks a complete one).
QString EnsureTree(const BenchWorkDir &dir, GenTreeStats &stats)
{
    const QString root = dir.file(QStringLiteral("scan-tree-200k"));
    const QString stamp = dir.file(QStringLiteral("scan-tree-200k.done"));
    if (!QFile::exists(stamp)) {
        QDir(root).removeRecursively();
        std::printf("generating the tree in %s ...\n", qPrintable(root));
        std::fflush(stdout);
        QString error;
        if (!GenerateTree(root, TreeShape(), &stats, &error)) {
            std::fprintf(stderr, "ScanBench: %s\n", qPrintable(error));
            std::exit(1);
        }
        QFile marker(stamp);
        if (marker.open(QIODevice::WriteOnly))
            marker.write(QByteArray::number(stats.files) + ' ' + QByteArray::number(stats.folders) + '\n');
    } else {
        QFile marker(stamp);
        if (marker.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> parts = marker.readAll().trimmed().split(' ');
            if (parts.size() == 2) {
                stats.files = parts[0].toLongLong();
                stats.folders = parts[1].toLongLong();
            }
        }
    }
    return root;
}

bool RunFind(const QString &root)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral("find"), {root, QStringLiteral("-printf"), QStringLiteral("%s %T@ %p\n")});
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

int64_t PeakRssBytes()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return int64_t(usage.ru_maxrss) * 1024;
}

// A drive whose root is the tree, with fixed space figures.
TDriveSources TreeDrive(const QString &root, const QString &sysfs)
{
    TDriveSources s;
    s.mounts = [root] {
        return QList<TMountEntry>{{QStringLiteral("/dev/bench0"), root, QStringLiteral("ext4"), QStringLiteral("rw")}};
    };
    s.sysfsRoot = sysfs;   // an empty folder: the fake device has no sysfs entry
    s.devDiskRoot = QString();
    s.readDevices = false;
    s.mayRun = [](const QString &) { return false; };
    s.now = [] { return QDateTime::currentDateTime(); };
    // 64 GiB in 4 KiB blocks, half of it used.
    s.space = [](const QString &) { return std::optional<TFsSpace>(TFsSpace{4096, 1 << 24, 1 << 23, 1, 255}); };
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv, "The disk scan of a 200,000-file tree against find -printf");
    BenchWorkDir dir(args.workDir);
    if (QStandardPaths::findExecutable(QStringLiteral("find")).isEmpty()) {
        PrintHeading(QStringLiteral("Disk scan"));
        PrintLine(QStringLiteral("skipped: find is missing"));
        return 0;
    }
    GenTreeStats stats;
    const QString root = QDir(EnsureTree(dir, stats)).absolutePath();
    QDir().mkpath(dir.file(QStringLiteral("sys")));
    TDrives drives(TreeDrive(root, dir.file(QStringLiteral("sys"))));
    const std::optional<QChar> letter = drives.driveOfPath(root);
    if (!letter) {
        std::fprintf(stderr, "ScanBench: the tree's drive is missing\n");
        return 1;
    }

    TForest forest;
    TTreeNode *catalog = NewCatalogNode(forest, "Bench");
    TScanOptions walk;
    walk.DatabaseList = catalog;
    walk.IgnoreFilesCheck = walk.IgnoreFoldersCheck = walk.IgnoreRecycleCheck = false;
    walk.BrowseArchiveCheck = false;
    TScanOptions full;
    full.DatabaseList = catalog;
    full.ImportDizCheck = full.ImportBBSCheck = full.Import4DOSCheck = full.ImportCommentCheck = true;
    full.ExtractDir = dir.path() + QLatin1Char('/');

    auto dropDisks = [&] {
        while (catalog->childCount() > 0)
            DeleteNodeWithRecords(catalog->child(0));
    };
    TTreeNode *lastDisk = nullptr;
    auto scan = [&](const TScanOptions &options) {
        const TScanOutcome outcome = ScanDisk(drives, *letter, {}, options);
        if (!outcome.Success) {
            std::fprintf(stderr, "ScanBench: the scan failed: %s\n", qPrintable(outcome.Detail));
            std::exit(1);
        }
        lastDisk = outcome.DiskNode;
    };

    // Warm the page cache with both walkers.
    if (!RunFind(root)) {
        std::fprintf(stderr, "ScanBench: find failed\n");
        return 1;
    }

    // Memory first, while the process has not grown yet.
    const int64_t heapBefore = HeapInUse();
    const int64_t peakBefore = PeakRssBytes();
    scan(walk);
    const int64_t heapAfter = HeapInUse();
    const int64_t peakAfter = PeakRssBytes();
    const TDiskRec *disk = AsDisk(NodeRec(lastDisk));
    const int64_t items = int64_t(disk->TotalFiles) + disk->TotalFolders;
    dropDisks();

    PrintHeading(QStringLiteral("Disk scan: %1 files in %2 folders (generated), %3 catalogued items")
                     .arg(Count(stats.files), Count(stats.folders), Count(items)));
    std::vector<TimedCase> cases;
    cases.push_back({[&] { scan(walk); }, dropDisks});
    cases.push_back({[&] { RunFind(root); }, {}});
    cases.push_back({[&] { scan(full); }, dropDisks});
    const std::vector<int64_t> t = InterleavedMedians(args.runs, cases);
    dropDisks();

    PrintLine(QStringLiteral("walk (ScanDisk, no archives, no description files): %1, find -printf %2, ratio %3")
                  .arg(Millis(t[0]), Millis(t[1]), Ratio(double(t[0]) / double(t[1]))));
    PrintLine(QStringLiteral("full scan (archives listed, description files read): %1, ratio to find %2")
                  .arg(Millis(t[2]), Ratio(double(t[2]) / double(t[1]))));
    PrintLine(QStringLiteral("per catalogued item: %1 ns walk, %2 ns find")
                  .arg(t[0] / std::max<int64_t>(items, 1))
                  .arg(t[1] / std::max<int64_t>(items, 1)));
    PrintLine(QStringLiteral("memory per catalogued item: heap held by the disk %1 bytes, peak resident growth %2 bytes")
                  .arg(double(heapAfter - heapBefore) / double(std::max<int64_t>(items, 1)), 0, 'f', 1)
                  .arg(double(peakAfter - peakBefore) / double(std::max<int64_t>(items, 1)), 0, 'f', 1));
    DeleteNodeWithRecords(catalog);
    return 0;
}
