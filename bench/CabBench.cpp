// Speed of the cabinet reader against cabextract on the same bytes: MSZIP
// extraction (TUnCAB) of a large cabinet against `cabextract -q -d`, and the
// listing of a cabinet of 10,000 members (TArcLister) against `cabextract -l`.
// The cabinets are written by gcab (Debian's cabinet writer) into the work
// folder; a tool that is missing is reported and its part skipped. The tools
// run through QProcess, so their figures include starting a process; the
// extractions are also compared by processor time (user + system).
#include "BenchSupport.h"

#include "archive/ArcLister.h"
#include "archive/UnCAB.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr int kBigFiles = 24;                  // files of the large cabinet
constexpr int64_t kBigFileBytes = 4 << 20;     // bytes of each
constexpr int kManyFiles = 10000;              // members of the listing cabinet

// Text-like bytes with repeats, so deflate has something to do.
QByteArray MakeContent(std::mt19937 &rng, int64_t size)
{
    static const char *words[] = {"cabinet ", "folder ", "block ", "member ", "window ", "Quillon ", "set\n",
                                  "0123456789 ", "disk ", "volume ", "catalog ", "description\n"};
    QByteArray out;
    out.reserve(size + 16);
    while (out.size() < size) {
        if (rng() % 8 == 0)
            out.append(char('A' + rng() % 26));
        else
            out.append(words[rng() % (sizeof(words) / sizeof(words[0]))]);
    }
    out.truncate(size);
    return out;
}

// Writes count files of size bytes under dir/name and makes dir/name.cab of them with gcab
// (MSZIP when compress); the cabinet's path, or an empty string when that failed.
QString MakeCabinet(const BenchWorkDir &dir, const QString &name, int count, int64_t size, bool compress)
{
    const QString cab = dir.file(name + QStringLiteral(".cab"));
    if (QFileInfo::exists(cab))
        return cab;
    const QString src = dir.file(name);
    QDir().mkpath(src);
    std::mt19937 rng(7);
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString file = QStringLiteral("f%1.txt").arg(i, 5, 10, QLatin1Char('0'));
        QFile out(src + QLatin1Char('/') + file);
        if (!out.open(QIODevice::WriteOnly) || out.write(MakeContent(rng, size)) != size)
            return {};
        files << file;
    }
    QStringList args{QStringLiteral("-c")};
    if (compress)
        args << QStringLiteral("-z");
    args << cab << files;
    return RunBenchTool(QStringLiteral("gcab"), args, src) ? cab : QString();
}

int ListCab(const QString &cab)
{
    TArcLister lister;
    lister.setArchiveFile(cab);
    int n = 0;
    lister.OnRead = [&n](TArcLister *, int64_t, int) { ++n; };
    if (!lister.activate())
        std::fprintf(stderr, "CabBench: listing %s failed with %d\n", qPrintable(cab), lister.lastError());
    return n;
}

void ExtractCab(const QString &cab, const QString &dest)
{
    TUnCAB unit;
    unit.setArchiveFile(cab);
    unit.ExtractDir = dest;
    unit.OnFileExists = [](TUnBase *, const QString &, bool &accept) { accept = true; };
    if (!unit.Extract())
        std::fprintf(stderr, "CabBench: extracting %s failed with %d\n", qPrintable(cab), unit.lastError());
}

int64_t CpuNs(int who)
{
    struct rusage usage {};
    getrusage(who, &usage);
    auto ns = [](const timeval &tv) { return int64_t(tv.tv_sec) * 1000000000 + int64_t(tv.tv_usec) * 1000; };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

int64_t Median(std::vector<int64_t> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void PrintVersus(const QString &what, int64_t oursNs, int64_t theirsNs)
{
    PrintLine(QStringLiteral("%1: %2, cabextract %3, ratio %4 (below x1: faster than the tool)")
                  .arg(what, Millis(oursNs), Millis(theirsNs), Ratio(double(oursNs) / double(theirsNs))));
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv, "CAB MSZIP extraction and listing against cabextract");
    BenchWorkDir dir(args.workDir);
    const bool haveGcab = !QStandardPaths::findExecutable(QStringLiteral("gcab")).isEmpty();
    const bool haveCabextract = !QStandardPaths::findExecutable(QStringLiteral("cabextract")).isEmpty();
    PrintHeading(QStringLiteral("CAB extraction and listing"));
    if (!haveGcab) {
        PrintLine(QStringLiteral("skipped: gcab, which writes the test cabinets, is missing"));
        return 0;
    }

    const QString big = MakeCabinet(dir, QStringLiteral("cab-mszip"), kBigFiles, kBigFileBytes, true);
    const QString many = MakeCabinet(dir, QStringLiteral("cab-many"), kManyFiles, 64, false);
    if (big.isEmpty() || many.isEmpty())
        return 1;
    const int64_t unpacked = int64_t(kBigFiles) * kBigFileBytes;
    PrintLine(QStringLiteral("MSZIP cabinet: %1 files, %2 bytes unpacked, %3 bytes packed")
                  .arg(kBigFiles).arg(Count(unpacked)).arg(Count(QFileInfo(big).size())));
    const QString ours = dir.file(QStringLiteral("cab-out-ours"));
    const QString theirs = dir.file(QStringLiteral("cab-out-cabextract"));
    std::vector<int64_t> oursCpu, theirsCpu;
    std::vector<TimedCase> cases;
    cases.push_back({[&] {
                         const int64_t before = CpuNs(RUSAGE_SELF);
                         ExtractCab(big, ours);
                         oursCpu.push_back(CpuNs(RUSAGE_SELF) - before);
                     },
                     [&] { QDir(ours).removeRecursively(); QDir().mkpath(ours); }});
    cases.push_back({[&] { ListCab(many); }, {}});
    if (haveCabextract) {
        cases.push_back({[&] {
                             const int64_t before = CpuNs(RUSAGE_CHILDREN);
                             RunBenchTool(QStringLiteral("cabextract"), {QStringLiteral("-q"), QStringLiteral("-d"), theirs, big});
                             theirsCpu.push_back(CpuNs(RUSAGE_CHILDREN) - before);
                         },
                         [&] { QDir(theirs).removeRecursively(); QDir().mkpath(theirs); }});
        cases.push_back({[&] { RunBenchTool(QStringLiteral("cabextract"), {QStringLiteral("-l"), many}); }, {}});
    }
    const std::vector<int64_t> t = InterleavedMedians(args.runs, cases);
    PrintLine(QStringLiteral("MSZIP extraction (TUnCAB): %1, %2 MB/s unpacked")
                  .arg(Millis(t[0]))
                  .arg(double(unpacked) / (1 << 20) / (double(t[0]) / 1e9), 0, 'f', 1));
    PrintLine(QStringLiteral("listing %1 members (TArcLister): %2 (%3 members)")
                  .arg(Count(kManyFiles), Millis(t[1]))
                  .arg(ListCab(many)));
    if (haveCabextract) {
        PrintVersus(QStringLiteral("MSZIP extraction, wall time"), t[0], t[2]);
        PrintVersus(QStringLiteral("MSZIP extraction, processor time"), Median(oursCpu), Median(theirsCpu));
        PrintVersus(QStringLiteral("listing 10,000 members"), t[1], t[3]);
    } else {
        PrintLine(QStringLiteral("cabextract is missing: no ratios"));
    }
    return 0;
}
