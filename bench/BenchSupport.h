// What the catalog benchmarks share: their command line (--workdir, --large,
// --runs), synthetic catalogs generated once per work folder and reused,
// timing by the median of several runs, heap accounting through mallinfo2,
// dropping a file from the page cache for cold measurements, and the report
// lines, each an absolute figure with its ratio to the run's own baseline.
#pragma once

#include "GenCatalog.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TForest;
class TTreeNode;

struct BenchArgs {
    QString workDir;     // where generated catalogs go; a temporary folder when not given
    bool large = false;  // include the 10-million-file catalog
    int runs = 5;        // timed runs per figure (the median is reported)
};

// Parses --workdir DIR, --large, --runs N; exits with a usage text on anything else.
BenchArgs ParseBenchArgs(int argc, char **argv, const char *purpose);

class BenchWorkDir
{
public:
    explicit BenchWorkDir(const QString &dir);
    const QString &path() const { return m_path; }
    QString file(const QString &name) const;

private:
    std::unique_ptr<QTemporaryDir> m_temp;
    QString m_path;
};

// The catalog of options in dir, generated and saved on first use and reused
// afterwards (the name encodes the options). Prints what it generated.
QString EnsureCatalog(const BenchWorkDir &dir, const GenOptions &options);

// The shape most benchmarks use: 8 disks, 6 folders per folder, 3 levels
// (2072 file lists), one compressed file per disk, and files per folder chosen
// so that the catalog holds about totalFiles files.
GenOptions StandardShape(int64_t totalFiles);

// Opens a catalog (ReadCatalog) into forest; closes it again.
TTreeNode *OpenCatalog(TForest &forest, const QString &fileName);
void CloseCatalog(TForest &forest, TTreeNode *catalogNode);

// Every disk and folder node below a catalog (only those already in memory).
std::vector<TTreeNode *> ContainerNodes(TTreeNode *catalogNode);

// Nanoseconds taken by one call of work.
int64_t TimeOnce(const std::function<void()> &work);

// One thing to time: work is timed, prepare (optional) runs untimed before
// every call of work.
struct TimedCase {
    std::function<void()> work;
    std::function<void()> prepare;
};

// Times every case runs times, round-robin, so that a disturbance from
// elsewhere on the machine falls on all of them alike and their ratios stay
// fair. Each case is first warmed up (fresh heap pages and cold caches would
// inflate exactly the small baselines). With minBatchNs > 0 a timed run is a
// batch of calls taking at least that long, so that microsecond figures are
// not timer noise. Returns the median time per call of each case.
std::vector<int64_t> InterleavedMedians(int runs, const std::vector<TimedCase> &cases, int64_t minBatchNs = 0);

// Bytes of heap in use: small chunks plus mmap-ed ones.
int64_t HeapInUse();

// Writes the file's cached pages back and asks the kernel to drop them, so
// that the next read comes from the device. False when the kernel refused.
bool DropFromPageCache(const QString &fileName);

// Runs a reference tool in workDir (the current folder when empty) and waits for it, its
// standard output discarded; false, with the tool's error output on stderr, when it fails.
bool RunBenchTool(const QString &program, const QStringList &args, const QString &workDir = {});
// Whether a reference tool is on the PATH.
bool HaveBenchTool(const QString &program);

// Report helpers.
QString Millis(int64_t ns);
QString Count(int64_t n);
QString Ratio(double value);
void PrintHeading(const QString &text);
void PrintLine(const QString &text);
