// The benchmarks' shared helpers: arguments, the catalog cache, timing,
// heap accounting, page-cache control and report formatting.
#include "BenchSupport.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

BenchArgs ParseBenchArgs(int argc, char **argv, const char *purpose)
{
    BenchArgs args;
    auto usage = [&](int code) {
        std::fprintf(code ? stderr : stdout,
                     "%s\nusage: %s [--workdir DIR] [--large] [--runs N]\n"
                     "  --workdir DIR  keep generated catalogs in DIR (reused by later runs)\n"
                     "  --large        include the 10-million-file catalog (needs about 4 GiB and minutes)\n"
                     "  --runs N       timed runs per figure, the median is reported (default 5)\n",
                     purpose, argv[0]);
        std::exit(code);
    };
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--large") {
            args.large = true;
        } else if (arg == "--workdir" && i + 1 < argc) {
            args.workDir = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--runs" && i + 1 < argc) {
            args.runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--help" || arg == "-h") {
            usage(0);
        } else {
            usage(2);
        }
    }
    return args;
}

BenchWorkDir::BenchWorkDir(const QString &dir)
{
    if (dir.isEmpty()) {
        m_temp = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quillon-bench-XXXXXX"));
        if (!m_temp->isValid()) {
            std::fprintf(stderr, "cannot create a temporary folder\n");
            std::exit(1);
        }
        m_path = m_temp->path();
    } else {
        QDir().mkpath(dir);
        m_path = QFileInfo(dir).absoluteFilePath();
    }
}

QString BenchWorkDir::file(const QString &name) const
{
    return m_path + QLatin1Char('/') + name;
}

GenOptions StandardShape(int64_t totalFiles)
{
    GenOptions o;
    o.seed = 7;
    o.disks = 8;
    o.fanOut = 6;
    o.depth = 3;
    o.maxNameLen = 64;
    o.descPercent = 5;
    o.archivesPerDisk = 1;
    o.membersPerArchive = 5;
    const int64_t lists = int64_t(o.disks) * (1 + 6 + 36 + 216);
    const int64_t members = int64_t(o.disks) * o.archivesPerDisk * o.membersPerArchive;
    o.filesPerFolder = int(std::max<int64_t>(1, (totalFiles - members + lists / 2) / lists));
    return o;
}

QString EnsureCatalog(const BenchWorkDir &dir, const GenOptions &o)
{
    const QString name = QStringLiteral("gen-s%1-d%2-f%3-l%4-n%5-m%6-p%7-a%8x%9-h%10%11%12.ctf")
                             .arg(o.seed)
                             .arg(o.disks)
                             .arg(o.fanOut)
                             .arg(o.depth)
                             .arg(o.filesPerFolder)
                             .arg(o.maxNameLen)
                             .arg(o.descPercent)
                             .arg(o.archivesPerDisk)
                             .arg(o.membersPerArchive)
                             .arg(o.hugeFileEvery)
                             .arg(QLatin1String(o.utf8Names ? "" : "-ascii"))
                             .arg(QLatin1String(o.virtualRoots ? "" : "-novr"));
    const QString path = dir.file(name);
    if (QFileInfo(path).size() > 0)
        return path;
    QElapsedTimer timer;
    timer.start();
    {
        TForest forest;
        TTreeNode *catalogNode = GenerateCatalog(forest, "Benchmark catalog", o);
        SaveCatalogTo(catalogNode, path);
    }
    std::printf("  (generated %s files into %s, %s bytes, in %.1f s)\n", qPrintable(Count(GeneratedFileCount(o))),
                qPrintable(name), qPrintable(Count(QFileInfo(path).size())), double(timer.nsecsElapsed()) / 1e9);
    std::fflush(stdout);
    return path;
}

TTreeNode *OpenCatalog(TForest &forest, const QString &fileName)
{
    return ReadCatalog(forest, fileName);
}

void CloseCatalog(TForest &forest, TTreeNode *catalogNode)
{
    forest.deleteNode(catalogNode, [](TTreeNode *node) { FreeItemData(node, true, true); });
}

std::vector<TTreeNode *> ContainerNodes(TTreeNode *catalogNode)
{
    std::vector<TTreeNode *> nodes;
    std::vector<TTreeNode *> stack(catalogNode->children().rbegin(), catalogNode->children().rend());
    while (!stack.empty()) {
        TTreeNode *node = stack.back();
        stack.pop_back();
        nodes.push_back(node);
        for (auto it = node->children().rbegin(); it != node->children().rend(); ++it)
            stack.push_back(*it);
    }
    return nodes;
}

int64_t TimeOnce(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed();
}

std::vector<int64_t> InterleavedMedians(int runs, const std::vector<TimedCase> &cases, int64_t minBatchNs)
{
    const size_t n = cases.size();
    std::vector<int64_t> batch(n, 1);
    auto timeBatch = [&](size_t i) {
        int64_t total = 0;
        for (int64_t k = 0; k < batch[i]; ++k) {
            if (cases[i].prepare)
                cases[i].prepare();
            total += TimeOnce(cases[i].work);
        }
        return total;
    };
    for (size_t i = 0; i < n; ++i) {
        int64_t fastest = std::numeric_limits<int64_t>::max();
        int64_t spent = 0;
        for (int k = 0; k < 2 || (minBatchNs > 0 && spent < 2 * minBatchNs && k < (1 << 20)); ++k) {
            const int64_t t = timeBatch(i);
            fastest = std::min(fastest, t);
            spent += t;
        }
        if (minBatchNs > 0)
            batch[i] = std::clamp<int64_t>(minBatchNs / std::max<int64_t>(1, fastest) + 1, 1, int64_t(1) << 20);
    }
    std::vector<std::vector<int64_t>> perCall(n);
    for (int r = 0; r < std::max(1, runs); ++r)
        for (size_t i = 0; i < n; ++i)
            perCall[i].push_back(timeBatch(i) / batch[i]);
    std::vector<int64_t> medians;
    for (auto &times : perCall) {
        std::sort(times.begin(), times.end());
        medians.push_back(times[times.size() / 2]);
    }
    return medians;
}

bool RunBenchTool(const QString &program, const QStringList &args, const QString &workDir)
{
    QProcess process;
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s %s failed: %s\n", qPrintable(program), qPrintable(args.join(QLatin1Char(' '))),
                     process.readAllStandardError().constData());
        return false;
    }
    return true;
}

bool HaveBenchTool(const QString &program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

int64_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return int64_t(info.uordblks) + int64_t(info.hblkhd);
}

bool DropFromPageCache(const QString &fileName)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    ::fdatasync(fd);
    const bool ok = ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    ::close(fd);
    return ok;
}

QString Millis(int64_t ns)
{
    const double ms = double(ns) / 1e6;
    return QString::number(ms, 'f', ms < 1 ? 4 : 2) + QStringLiteral(" ms");
}

QString Count(int64_t n)
{
    QString digits = QString::number(n);
    for (int i = int(digits.size()) - 3; i > (n < 0 ? 1 : 0); i -= 3)
        digits.insert(i, QLatin1Char(','));
    return digits;
}

QString Ratio(double value)
{
    return QStringLiteral("x") + QString::number(value, 'f', value < 10 ? 2 : 1);
}

void PrintHeading(const QString &text)
{
    std::printf("\n== %s\n", qPrintable(text));
    std::fflush(stdout);
}

void PrintLine(const QString &text)
{
    std::printf("  %s\n", qPrintable(text));
    std::fflush(stdout);
}
