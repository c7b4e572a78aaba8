// Speed of listing the formats read through libarchive against the system's
// own tools on the same bytes: a 7z archive, an xz-compressed tarball and an
// ISO 9660 image of the same 2,000 generated files (TArcLister against
// `bsdtar -tvf`, and `7z l` for the 7z and the image), and a large plain .xz and .zst file, whose size
// the lister reads from the file's own records (against `xz -l` and
// `zstd -l`). The archives are written into the work folder by 7z, tar and
// genisoimage; a tool that is missing is reported and its part skipped. The
// tools run through QProcess, so their figures include starting a process.
#include "BenchSupport.h"

#include "archive/ArcLister.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr int kFolders = 20;
constexpr int kFilesPerFolder = 100;
constexpr int64_t kFileBytes = 4096;
constexpr int64_t kStreamBytes = 48 << 20;   // the plain .xz and .zst file, unpacked

// Text-like bytes: numbered lines of a few words.
QByteArray Lines(std::mt19937 &rng, int64_t size)
{
    static const char *words[] = {"disc ", "image ", "member ", "solid ", "block ", "stream ", "index "};
    QByteArray out;
    out.reserve(size + 64);
    while (out.size() < size) {
        out += QByteArray::number(uint32_t(rng() % 100000)) + ' ';
        for (int i = 0; i < 4; ++i)
            out += words[rng() % 7];
        out += '\n';
    }
    out.truncate(size);
    return out;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The generated tree and the archives of it; empty paths for what a missing tool could not make.
struct ModernSet {
    QString sevenZip, tarXz, iso, xz, zst;
};

ModernSet MakeSet(const BenchWorkDir &dir)
{
    const QString src = dir.file(QStringLiteral("modern-src"));
    const QString big = dir.file(QStringLiteral("modern-big.txt"));
    if (!QFileInfo::exists(src)) {
        std::mt19937 rng(7);
        for (int f = 0; f < kFolders; ++f) {
            const QString folder = src + QStringLiteral("/folder%1").arg(f, 2, 10, QLatin1Char('0'));
            QDir().mkpath(folder);
            for (int i = 0; i < kFilesPerFolder; ++i)
                WriteFile(folder + QStringLiteral("/file%1.txt").arg(i, 3, 10, QLatin1Char('0')), Lines(rng, kFileBytes));
        }
        WriteFile(big, Lines(rng, kStreamBytes));
    }
    ModernSet set;
    auto make = [&](const QString &name, const QString &tool, const QStringList &args, QString &path) {
        path = dir.file(name);
        if (QFileInfo::exists(path))
            return;
        if (!HaveBenchTool(tool) || !RunBenchTool(tool, args, src)) {
            PrintLine(QStringLiteral("%1 could not be made (%2 missing or failed)").arg(name, tool));
            path.clear();
        }
    };
    make(QStringLiteral("modern.7z"), QStringLiteral("7z"), {QStringLiteral("a"), QStringLiteral("-bd"), dir.file(QStringLiteral("modern.7z")), QStringLiteral(".")}, set.sevenZip);
    make(QStringLiteral("modern.tar.xz"), QStringLiteral("tar"), {QStringLiteral("-cJf"), dir.file(QStringLiteral("modern.tar.xz")), QStringLiteral(".")}, set.tarXz);
    make(QStringLiteral("modern.iso"), QStringLiteral("genisoimage"), {QStringLiteral("-quiet"), QStringLiteral("-J"), QStringLiteral("-R"), QStringLiteral("-o"), dir.file(QStringLiteral("modern.iso")), QStringLiteral(".")}, set.iso);
    make(QStringLiteral("modern-big.txt.xz"), QStringLiteral("xz"), {QStringLiteral("-1"), QStringLiteral("-T2"), QStringLiteral("-k"), big}, set.xz);
    make(QStringLiteral("modern-big.txt.zst"), QStringLiteral("zstd"), {QStringLiteral("-q"), QStringLiteral("-k"), big}, set.zst);
    return set;
}

// Lists an archive; the number of members and their unpacked bytes.
std::pair<int, uint64_t> ListArchive(const QString &file)
{
    TArcLister lister;
    lister.setArchiveFile(file);
    std::pair<int, uint64_t> seen{0, 0};
    lister.OnRead = [&seen](TArcLister *s, int64_t, int) {
        ++seen.first;
        seen.second += s->UnpackedSize;
    };
    if (!lister.activate())
        std::fprintf(stderr, "ModernBench: listing %s failed with %d\n", qPrintable(file), lister.lastError());
    return seen;
}

// One row of the report: our listing of file against each tool that lists it.
struct Row {
    QString label;
    QString file;
    std::vector<std::pair<QString, QStringList>> tools;   // program and arguments (the file appended)
};

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv, "listing 7z, .tar.xz, ISO, .xz and .zst against bsdtar, 7z, xz and zstd");
    BenchWorkDir dir(args.workDir);
    PrintHeading(QStringLiteral("Listing 7z, xz tarballs, ISO images and plain streams"));
    const ModernSet set = MakeSet(dir);
    const QStringList bsdtar{QStringLiteral("-tvf")};
    const QStringList sevenZip{QStringLiteral("l")};
    const std::vector<Row> rows = {
        {QStringLiteral("7z, 2,000 files"), set.sevenZip, {{QStringLiteral("bsdtar"), bsdtar}, {QStringLiteral("7z"), sevenZip}}},
        // "7z l" shows a tarball as the xz stream's one file, without reading the tar: no match.
        {QStringLiteral(".tar.xz, 2,000 files"), set.tarXz, {{QStringLiteral("bsdtar"), bsdtar}}},
        {QStringLiteral("ISO 9660, 2,000 files"), set.iso, {{QStringLiteral("bsdtar"), bsdtar}, {QStringLiteral("7z"), sevenZip}}},
        {QStringLiteral(".xz, 48 MiB"), set.xz, {{QStringLiteral("xz"), {QStringLiteral("-l")}}}},
        {QStringLiteral(".zst, 48 MiB"), set.zst, {{QStringLiteral("zstd"), {QStringLiteral("-l")}}}},
    };
    for (const Row &row : rows) {
        if (row.file.isEmpty())
            continue;
        std::vector<TimedCase> cases{{[&] { ListArchive(row.file); }, {}}};
        std::vector<QString> names;
        for (const auto &[tool, toolArgs] : row.tools) {
            if (!HaveBenchTool(tool)) {
                PrintLine(QStringLiteral("%1 is missing: no ratio against it").arg(tool));
                continue;
            }
            names.push_back(tool);
            cases.push_back({[&, tool = tool, toolArgs = toolArgs] { RunBenchTool(tool, toolArgs + QStringList{row.file}); }, {}});
        }
        const auto [members, bytes] = ListArchive(row.file);
        const std::vector<int64_t> t = InterleavedMedians(args.runs, cases);
        QString line = QStringLiteral("%1 (%2 members, %3 bytes unpacked, %4 bytes packed): TArcLister %5")
                           .arg(row.label)
                           .arg(members)
                           .arg(Count(int64_t(bytes)), Count(QFileInfo(row.file).size()), Millis(t[0]));
        for (size_t i = 0; i < names.size(); ++i)
            line += QStringLiteral(", %1 %2 (ratio %3)").arg(names[i], Millis(t[i + 1]), Ratio(double(t[0]) / double(t[i + 1])));
        PrintLine(line);
    }
    PrintLine(QStringLiteral("ratio below x1: the lister was faster than the tool"));
    return 0;
}
