// Speed of the archive kit against the system's own tools on the same bytes:
// listing a ZIP (TArcLister) against `unzip -l`, extracting it (TUnZIP)
// against `unzip -o -qq`, both for a deflated and a stored archive of many
// generated files, and raw inflate throughput (the deflate decoder over one
// large generated stream, in memory) against `gzip -dc` of the same data.
// The tools run through QProcess, so their figures include starting a
// process; a tool that is missing is reported and its ratio skipped. The
// extractions are also compared by processor time (user + system), which a
// disk shared with other work disturbs far less than the wall time. The
// archives are written with the system `zip` into the work folder.
#include "BenchSupport.h"

#include "archive/ArcLister.h"
#include "archive/UnZIP.h"
#include "archive/decoders/Decoder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr int kFiles = 1500;                     // members of each generated ZIP
constexpr int64_t kInflateBytes = 96 << 20;      // unpacked size of the inflate stream

// Text-like bytes with repeats, so deflate has something to do (about 3:1).
QByteArray MakeContent(std::mt19937 &rng, int64_t size)
{
    static const char *words[] = {"catalog ", "disk ", "folder ", "file ", "archive ", "member ", "size ",
                                  "date ", "Quillon ", "description\n", "0123456789 ", "volume "};
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

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Runs a tool and waits; false (with a message) when it fails.
bool RunTool(const QString &program, const QStringList &args, const QString &workDir = {},
             bool discardOutput = true)
{
    QProcess process;
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    if (discardOutput)
        process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "ArchiveBench: %s %s failed: %s\n", qPrintable(program), qPrintable(args.join(' ')),
                     process.readAllStandardError().constData());
        return false;
    }
    return true;
}

// The generated files under dir/src, and the deflated and stored archives of them.
struct ZipSet {
    QString deflated;
    QString stored;
    int64_t bytes = 0;
};

bool MakeZips(const BenchWorkDir &dir, ZipSet &set)
{
    const QString src = dir.file(QStringLiteral("src"));
    QDir(src).removeRecursively();
    std::mt19937 rng(7);
    for (int i = 0; i < kFiles; ++i) {
        const QString folder = src + QStringLiteral("/d%1").arg(i % 30);
        QDir().mkpath(folder);
        const int64_t size = 512 + int64_t(rng() % (48 * 1024));
        set.bytes += size;
        if (!WriteFile(folder + QStringLiteral("/file%1.txt").arg(i), MakeContent(rng, size)))
            return false;
    }
    set.deflated = dir.file(QStringLiteral("deflated.zip"));
    set.stored = dir.file(QStringLiteral("stored.zip"));
    QFile::remove(set.deflated);
    QFile::remove(set.stored);
    return RunTool(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-X"),
                                           QStringLiteral("-6"), set.deflated, QStringLiteral("src")},
                   dir.path()) &&
           RunTool(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-X"),
                                           QStringLiteral("-0"), set.stored, QStringLiteral("src")},
                   dir.path());
}

// Lists every member; the member count.
int64_t ListZip(const QString &archive)
{
    TArcLister lister;
    lister.setArchiveFile(archive);
    int64_t members = 0;
    lister.OnRead = [&members](TArcLister *, int64_t, int) { ++members; };
    if (!lister.activate()) {
        std::fprintf(stderr, "ArchiveBench: listing %s failed (%d)\n", qPrintable(archive), lister.lastError());
        std::exit(1);
    }
    return members;
}

void ExtractZip(const QString &archive, const QString &dest)
{
    TUnZIP unit;
    unit.setArchiveFile(archive);
    unit.ExtractDir = dest;
    unit.UseStoredDirs = true;
    if (!unit.Extract()) {
        std::fprintf(stderr, "ArchiveBench: extracting %s failed (%d)\n", qPrintable(archive), unit.lastError());
        std::exit(1);
    }
}

class MemoryInput : public DecodeInput
{
public:
    explicit MemoryInput(const QByteArray &bytes) : m_bytes(bytes) {}
    int64_t Read(uint8_t *buf, int64_t max) override
    {
        const int64_t n = std::min<int64_t>(max, m_bytes.size() - m_pos);
        std::memcpy(buf, m_bytes.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }

private:
    const QByteArray &m_bytes;
    int64_t m_pos = 0;
};

// Counts the bytes and folds them into a checksum the compiler cannot drop.
class CountingOutput : public DecodeOutput
{
public:
    bool Write(const uint8_t *data, size_t n) override
    {
        bytes += int64_t(n);
        if (n)
            sum += data[0] + data[n - 1];
        return true;
    }
    int64_t bytes = 0;
    uint64_t sum = 0;
};

// Raw deflate (no header) of data at level 6.
QByteArray RawDeflate(const QByteArray &data)
{
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&zs, uLong(data.size()))), Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    out.truncate(qsizetype(zs.total_out));
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) {
        std::fprintf(stderr, "ArchiveBench: deflate failed\n");
        std::exit(1);
    }
    return out;
}

// User and system time of this process (RUSAGE_SELF) or of its waited-for children, in ns.
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

QString Rate(int64_t bytes, int64_t ns)
{
    return QString::number(double(bytes) / (1 << 20) / (double(ns) / 1e9), 'f', 1) + QStringLiteral(" MB/s");
}

void PrintVersus(const QString &what, int64_t oursNs, int64_t theirsNs, const QString &tool)
{
    PrintLine(QStringLiteral("%1: %2, %3 %4, ratio %5 (below x1: faster than the tool)")
                  .arg(what, Millis(oursNs), tool, Millis(theirsNs), Ratio(double(oursNs) / double(theirsNs))));
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv, "ZIP listing and extraction against unzip, inflate against gzip -dc");
    BenchWorkDir dir(args.workDir);
    const bool haveZip = !QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty();
    const bool haveUnzip = !QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty();
    const bool haveGzip = !QStandardPaths::findExecutable(QStringLiteral("gzip")).isEmpty();

    if (!haveZip) {
        PrintHeading(QStringLiteral("ZIP listing and extraction"));
        PrintLine(QStringLiteral("skipped: the system zip program, which writes the test archives, is missing"));
    } else {
        ZipSet set;
        if (!MakeZips(dir, set))
            return 1;
        for (const QString &archive : {set.deflated, set.stored}) {
            const QString label = archive == set.deflated ? QStringLiteral("deflated") : QStringLiteral("stored");
            PrintHeading(QStringLiteral("ZIP %1: %2 files, %3 bytes unpacked, archive %4 bytes")
                             .arg(label).arg(kFiles).arg(Count(set.bytes)).arg(Count(QFileInfo(archive).size())));
            const int64_t members = ListZip(archive);
            PrintLine(QStringLiteral("members listed: %1").arg(Count(members)));
            const QString ours = dir.file(QStringLiteral("out-ours"));
            const QString theirs = dir.file(QStringLiteral("out-unzip"));
            // Beside the wall times, the processor time of each extraction (user + system):
            // on a machine whose disk is shared with other work it varies far less.
            std::vector<int64_t> oursCpu, theirsCpu;
            std::vector<TimedCase> cases;
            cases.push_back({[&] { ListZip(archive); }, {}});
            cases.push_back({[&] {
                                 const int64_t before = CpuNs(RUSAGE_SELF);
                                 ExtractZip(archive, ours);
                                 oursCpu.push_back(CpuNs(RUSAGE_SELF) - before);
                             },
                             [&] { QDir(ours).removeRecursively(); QDir().mkpath(ours); }});
            if (haveUnzip) {
                cases.push_back({[&] { RunTool(QStringLiteral("unzip"), {QStringLiteral("-l"), archive}); }, {}});
                cases.push_back({[&] {
                                     const int64_t before = CpuNs(RUSAGE_CHILDREN);
                                     RunTool(QStringLiteral("unzip"), {QStringLiteral("-o"), QStringLiteral("-qq"),
                                                                       archive, QStringLiteral("-d"), theirs});
                                     theirsCpu.push_back(CpuNs(RUSAGE_CHILDREN) - before);
                                 },
                                 [&] { QDir(theirs).removeRecursively(); QDir().mkpath(theirs); }});
            }
            const std::vector<int64_t> t = InterleavedMedians(args.runs, cases);
            if (haveUnzip) {
                PrintVersus(QStringLiteral("listing (TArcLister)"), t[0], t[2], QStringLiteral("unzip -l"));
                PrintVersus(QStringLiteral("extraction (TUnZIP)"), t[1], t[3], QStringLiteral("unzip -o -qq"));
                PrintVersus(QStringLiteral("extraction processor time (TUnZIP)"), Median(oursCpu), Median(theirsCpu),
                            QStringLiteral("unzip -o -qq"));
            } else {
                PrintLine(QStringLiteral("listing (TArcLister): %1; extraction (TUnZIP): %2 (%3)")
                              .arg(Millis(t[0]), Millis(t[1]), Rate(set.bytes, t[1])));
                PrintLine(QStringLiteral("unzip is missing: no ratios"));
            }
            PrintLine(QStringLiteral("extraction throughput: %1").arg(Rate(set.bytes, t[1])));
            QDir(ours).removeRecursively();
            QDir(theirs).removeRecursively();
        }
    }

    // Raw inflate: the same deflate stream, in memory for the decoder and as a gzip file for the tool.
    std::mt19937 rng(11);
    const QByteArray plain = MakeContent(rng, kInflateBytes);
    const QByteArray packed = RawDeflate(plain);
    PrintHeading(QStringLiteral("raw inflate: %1 bytes unpacked from %2").arg(Count(plain.size()), Count(packed.size())));
    DecodeParams params;
    params.method = 8;
    params.packedSize = uint64_t(packed.size());
    params.unpackedSize = uint64_t(plain.size());
    auto inflateOnce = [&] {
        MemoryInput in(packed);
        CountingOutput out;
        if (DecodeInflate(in, out, params) != DecodeStatus::Ok || out.bytes != plain.size()) {
            std::fprintf(stderr, "ArchiveBench: the deflate decoder failed on its own stream\n");
            std::exit(1);
        }
    };
    std::vector<TimedCase> cases{{inflateOnce, {}}};
    const QString gz = dir.file(QStringLiteral("inflate.gz"));
    if (haveGzip) {
        // gzip's own header and trailer around the same kind of stream (its own deflate of the same bytes).
        const QString raw = dir.file(QStringLiteral("inflate.bin"));
        if (!WriteFile(raw, plain) || !RunTool(QStringLiteral("gzip"), {QStringLiteral("-f"), QStringLiteral("-k"),
                                                                        QStringLiteral("-6"), raw}))
            return 1;
        QFile::rename(raw + QStringLiteral(".gz"), gz);
        QFile::remove(raw);
        cases.push_back({[&] { RunTool(QStringLiteral("gzip"), {QStringLiteral("-dc"), gz}); }, {}});
    }
    const std::vector<int64_t> t = InterleavedMedians(args.runs, cases);
    PrintLine(QStringLiteral("DecodeInflate: %1, %2").arg(Millis(t[0]), Rate(plain.size(), t[0])));
    if (haveGzip) {
        PrintLine(QStringLiteral("gzip -dc (file %1 bytes, output discarded): %2, %3")
                      .arg(Count(QFileInfo(gz).size()), Millis(t[1]), Rate(plain.size(), t[1])));
        PrintLine(QStringLiteral("ratio of times %1 (below x1: faster than the tool)").arg(Ratio(double(t[0]) / double(t[1]))));
        QFile::remove(gz);
    } else {
        PrintLine(QStringLiteral("gzip is missing: no ratio"));
    }
    return 0;
}
