// Speed of the RAR reader against the system's tools on the same bytes:
// listing (TArcLister) a 10,000-member RAR 5 and a 10,000-member RAR 4 of
// stored members, built here (no RAR writer exists in Debian main), and the
// corpus's RAR files, against `lsar` and `bsdtar -tf`; extracting (TUnRAR)
// the corpus's largest RAR and a compressed RAR 3 against `bsdtar -xf` and
// `unar`. The tools run through QProcess, so their figures include starting
// a process; the in-process listing is also given per member. A tool that is
// missing is reported and its ratio skipped. The corpus is looked for in
// QUILLON_TESTDATA, else beside the source tree.
#include "BenchSupport.h"
#include "RarFixtures.h"

#include "archive/ArcLister.h"
#include "archive/UnRAR.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kMembers = 10000;

bool haveTool(const QString &program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

// Runs a tool with its output discarded; the exit status does not matter (bsdtar reports
// decoder limits with 1 after writing what it could).
void runTool(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
    process.waitForFinished(-1);
}

int64_t listArchive(const QString &path)
{
    TArcLister lister;
    lister.setArchiveFile(path);
    int64_t members = 0;
    lister.OnRead = [&members](TArcLister *, int64_t, int) { ++members; };
    if (!lister.activate()) {
        std::fprintf(stderr, "RarBench: listing %s failed (%d)\n", qPrintable(path), lister.lastError());
        std::exit(1);
    }
    return members;
}

// Extracts every member; the error code (libarchive 3.6 reports a CRC failure on one corpus file
// after writing all of it, which is still the work to time).
int extractArchive(const QString &path, const QString &dest)
{
    TUnRAR unit;
    unit.setArchiveFile(path);
    unit.ExtractDir = dest;
    unit.UseStoredDirs = true;
    unit.OnFileExists = [](TUnBase *, const QString &, bool &accept) { accept = true; };
    return unit.Extract() ? 0 : unit.lastError();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString corpusRar(const char *name)
{
    QString root = qEnvironmentVariable("QUILLON_TESTDATA");
    if (root.isEmpty())
        root = QStringLiteral(QUILLON_DEFAULT_TESTDATA);
    return root + QStringLiteral("/archives/rar/") + QLatin1String(name);
}

void printVersus(const QString &what, int64_t ours, int64_t theirs, const QString &tool)
{
    PrintLine(QStringLiteral("%1: %2, %3 %4, ratio %5 (below x1: faster than the tool)")
                  .arg(what, Millis(ours), tool, Millis(theirs), Ratio(double(ours) / double(theirs))));
}

// Times our listing against lsar and bsdtar -tf on one archive.
void benchListing(const BenchArgs &args, const QString &label, const QString &path, bool lsar, bool bsdtar)
{
    const int64_t members = listArchive(path);
    PrintHeading(QStringLiteral("listing %1: %2 members, %3 bytes").arg(label, Count(members), Count(QFileInfo(path).size())));
    std::vector<TimedCase> cases{{[&] { listArchive(path); }, {}}};
    if (lsar)
        cases.push_back({[&] { runTool(QStringLiteral("lsar"), {path}); }, {}});
    if (bsdtar)
        cases.push_back({[&] { runTool(QStringLiteral("bsdtar"), {QStringLiteral("-tf"), path}); }, {}});
    const std::vector<int64_t> t = InterleavedMedians(args.runs, cases, 20'000'000);
    PrintLine(QStringLiteral("TArcLister: %1 (%2 per member)")
                  .arg(Millis(t[0]), QString::number(double(t[0]) / double(std::max<int64_t>(1, members)), 'f', 0) +
                                         QStringLiteral(" ns")));
    size_t i = 1;
    if (lsar)
        printVersus(QStringLiteral("TArcLister"), t[0], t[i++], QStringLiteral("lsar"));
    if (bsdtar)
        printVersus(QStringLiteral("TArcLister"), t[0], t[i++], QStringLiteral("bsdtar -tf"));
}

void benchExtraction(const BenchArgs &args, const BenchWorkDir &dir, const QString &path, bool unar, bool bsdtar)
{
    const QString ours = dir.file(QStringLiteral("rar-ours"));
    const QString theirs = dir.file(QStringLiteral("rar-theirs"));
    const int code = extractArchive(path, ours);
    PrintHeading(QStringLiteral("extraction of %1 (%2 bytes)%3")
                     .arg(QFileInfo(path).fileName(), Count(QFileInfo(path).size()),
                          code ? QStringLiteral(", ends with code %1").arg(code) : QString()));
    auto fresh = [](const QString &folder) {
        return [folder] {
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
        };
    };
    std::vector<TimedCase> cases{{[&] { extractArchive(path, ours); }, fresh(ours)}};
    if (bsdtar)
        cases.push_back({[&] { runTool(QStringLiteral("bsdtar"), {QStringLiteral("-xf"), path, QStringLiteral("-C"), theirs}); },
                         fresh(theirs)});
    if (unar)
        cases.push_back({[&] {
                             runTool(QStringLiteral("unar"), {QStringLiteral("-q"), QStringLiteral("-f"),
                                                              QStringLiteral("-D"), QStringLiteral("-o"), theirs, path});
                         },
                         fresh(theirs)});
    const std::vector<int64_t> t = InterleavedMedians(args.runs, cases);
    PrintLine(QStringLiteral("TUnRAR: %1").arg(Millis(t[0])));
    size_t i = 1;
    if (bsdtar)
        printVersus(QStringLiteral("TUnRAR"), t[0], t[i++], QStringLiteral("bsdtar -xf"));
    if (unar)
        printVersus(QStringLiteral("TUnRAR"), t[0], t[i++], QStringLiteral("unar"));
    QDir(ours).removeRecursively();
    QDir(theirs).removeRecursively();
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv, "RAR listing against lsar and bsdtar -tf, extraction against bsdtar and unar");
    BenchWorkDir dir(args.workDir);
    const bool lsar = haveTool(QStringLiteral("lsar"));
    const bool unar = haveTool(QStringLiteral("unar"));
    const bool bsdtar = haveTool(QStringLiteral("bsdtar"));
    if (!lsar || !unar || !bsdtar)
        PrintLine(QStringLiteral("missing tools (no ratio for them): %1%2%3")
                      .arg(QLatin1String(lsar ? "" : "lsar "), QLatin1String(unar ? "" : "unar "), QLatin1String(bsdtar ? "" : "bsdtar")));

    // 10,000 stored members in folders of 100, names like those of a real tree.
    std::vector<arcfix::RarMember> members;
    members.reserve(kMembers);
    for (int i = 0; i < kMembers; ++i) {
        const QByteArray name = "folder" + QByteArray::number(i / 100) + "/document-" + QByteArray::number(i) + ".txt";
        members.push_back({.name = name, .data = "member " + QByteArray::number(i) + '\n'});
    }
    const QString rar5 = dir.file(QStringLiteral("members-10000.rar5.rar"));
    const QString rar4 = dir.file(QStringLiteral("members-10000.rar4.rar"));
    if (!writeFile(rar5, arcfix::rar5Of(members)))
        return 1;
    for (auto &m : members)
        m.name.replace('/', '\\');
    if (!writeFile(rar4, arcfix::rar4Of(members)))
        return 1;
    benchListing(args, QStringLiteral("RAR 5, stored"), rar5, lsar, bsdtar);
    benchListing(args, QStringLiteral("RAR 4, stored"), rar4, lsar, bsdtar);

    const QString small = corpusRar("sc_Rar4.rar");
    const QString largest = corpusRar("la_rar_multi_lzss_blocks.rar");
    if (!QFileInfo::exists(small) || !QFileInfo::exists(largest)) {
        PrintHeading(QStringLiteral("corpus RAR files"));
        PrintLine(QStringLiteral("skipped: the archive corpus is not at %1").arg(QFileInfo(small).path()));
        return 0;
    }
    benchListing(args, QStringLiteral("sc_Rar4.rar (corpus)"), small, lsar, bsdtar);
    benchExtraction(args, dir, largest, unar, bsdtar);
    benchExtraction(args, dir, small, unar, bsdtar);
    return 0;
}
