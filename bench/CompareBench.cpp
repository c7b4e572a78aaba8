// Speed of the compare to media and of the check of files against catalogs.
// The compare: a generated tree of about 200,000 files (tools/GenTree, the
// scan benchmark's shape and seed) is scanned once, then compared with itself
// (nothing changed, every file matched by name and folder) against
// `find TREE -printf '%s %T@ %p\n'` into /dev/null on the same tree, timed
// round-robin with the median reported; the walk bounds it. The check: the
// same 200,000 files looked up in a generated catalog of about 1,000,000
// files (tools/GenCatalog, read from its file before every run, so each run
// loads every file list), also as a ratio to find.
#include "BenchSupport.h"

#include "GenTree.h"
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "compare/CheckFiles.h"
#include "compare/CompareToMedia.h"
#include "platform/Drives.h"
#include "scan/DiskScan.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

namespace {

// The scan benchmark's tree: 12 folders per folder over 3 levels with 106 files each.
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
QString EnsureTree(const BenchWorkDir &dir)
{
    const QString root = dir.file(QStringLiteral("compare-tree-200k"));
    const QString stamp = dir.file(QStringLiteral("compare-tree-200k.done"));
    if (!QFile::exists(stamp)) {
        QDir(root).removeRecursively();
        std::printf("generating the tree in %s ...\n", qPrintable(root));
        std::fflush(stdout);
        QString error;
        GenTreeStats stats;
        if (!GenerateTree(root, TreeShape(), &stats, &error)) {
            std::fprintf(stderr, "CompareBench: %s\n", qPrintable(error));
            std::exit(1);
        }
        QFile marker(stamp);
        if (marker.open(QIODevice::WriteOnly))
            marker.write("done\n");
    }
    return QDir(root).absolutePath();
}

bool RunFind(const QString &root)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral("find"), {root, QStringLiteral("-printf"), QStringLiteral("%s %T@ %p\n")});
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A drive whose root is the tree, with fixed space figures.
TDriveSources TreeDrive(const QString &root, const QString &sysfs)
{
    TDriveSources s;
    s.mounts = [root] {
        return QList<TMountEntry>{{QStringLiteral("/dev/bench0"), root, QStringLiteral("ext4"), QStringLiteral("rw")}};
    };
    s.sysfsRoot = sysfs;
    s.devDiskRoot = QString();
    s.readDevices = false;
    s.mayRun = [](const QString &) { return false; };
    s.now = [] { return QDateTime::currentDateTime(); };
    s.space = [](const QString &) { return std::optional<TFsSpace>(TFsSpace{4096, 1 << 24, 1 << 23, 1, 255}); };
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv, "Compare to media and the check of files against a catalog");
    BenchWorkDir dir(args.workDir);
    if (QStandardPaths::findExecutable(QStringLiteral("find")).isEmpty()) {
        PrintHeading(QStringLiteral("Compare"));
        PrintLine(QStringLiteral("skipped: find is missing"));
        return 0;
    }
    const QString root = EnsureTree(dir);
    const QString catalogFile = EnsureCatalog(dir, StandardShape(1000000));
    QDir().mkpath(dir.file(QStringLiteral("sys")));
    TDrives drives(TreeDrive(root, dir.file(QStringLiteral("sys"))));
    const std::optional<QChar> letter = drives.driveOfPath(root);
    if (!letter) {
        std::fprintf(stderr, "CompareBench: the tree's drive is missing\n");
        return 1;
    }

    // The catalogued image of the tree: everything walked, archives as plain files.
    TForest forest;
    TTreeNode *catalog = NewCatalogNode(forest, "Bench");
    TScanOptions walk;
    walk.DatabaseList = catalog;
    walk.IgnoreFilesCheck = walk.IgnoreFoldersCheck = walk.IgnoreRecycleCheck = false;
    walk.BrowseArchiveCheck = false;
    const TScanOutcome scanned = ScanDisk(drives, *letter, {}, walk);
    if (!scanned.Success) {
        std::fprintf(stderr, "CompareBench: the scan failed: %s\n", qPrintable(scanned.Detail));
        return 1;
    }
    TTreeNode *disk = scanned.DiskNode;
    const QByteArray mediaRoot = CompareMediaRoot(drives, *letter, disk);
    const TWalkRules rules;   // nothing left out, as scanned

    int64_t files = 0;
    auto compare = [&] {
        TCompareWork work;
        CompareToMedia(work, disk, mediaRoot, true, rules);
        if (work.Status != TCompareStatus::Done || !work.noChanges()) {
            std::fprintf(stderr, "CompareBench: the compare found changes or failed: %s\n", qPrintable(work.Message));
            std::exit(1);
        }
        files = work.count(clSame);
    };

    TForest checkForest;
    TTreeNode *big = nullptr;
    int64_t found = 0, fresh = 0;
    auto reopen = [&] {
        if (big)
            CloseCatalog(checkForest, big);
        big = OpenCatalog(checkForest, catalogFile);
    };
    auto check = [&] {
        TCompareWork work;
        CheckFilesToCatalog(work, {big}, QFile::encodeName(root), true, TSameChecks(), rules);
        if (work.Status != TCompareStatus::Done) {
            std::fprintf(stderr, "CompareBench: the check failed: %s\n", qPrintable(work.Message));
            std::exit(1);
        }
        found = work.count(ckFound) + work.count(ckChanged);
        fresh = work.count(ckNew);
    };

    if (!RunFind(root)) {   // warms the page cache
        std::fprintf(stderr, "CompareBench: find failed\n");
        return 1;
    }
    std::vector<TimedCase> cases;
    cases.push_back({compare, {}});
    cases.push_back({[&] { RunFind(root); }, {}});
    cases.push_back({check, reopen});
    const std::vector<int64_t> t = InterleavedMedians(args.runs, cases);

    PrintHeading(QStringLiteral("Compare to media: %1 files, all the same").arg(Count(files)));
    PrintLine(QStringLiteral("compare (catalog collected, medium walked, lists sorted): %1, find -printf %2, ratio %3")
                  .arg(Millis(t[0]), Millis(t[1]), Ratio(double(t[0]) / double(t[1]))));
    PrintHeading(QStringLiteral("Check of the same files against a catalog of about 1,000,000 files"));
    PrintLine(QStringLiteral("check (catalog read from its file, bucketed, tree walked): %1, ratio to find %2; "
                             "%3 catalogued copies listed, %4 files new")
                  .arg(Millis(t[2]), Ratio(double(t[2]) / double(t[1])), Count(found), Count(fresh)));
    if (big)
        CloseCatalog(checkForest, big);
    DeleteNodeWithRecords(catalog);
    return 0;
}
