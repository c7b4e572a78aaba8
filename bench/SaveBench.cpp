// Saving a catalog of a million files in which one disk was renamed
// (SaveCatalogTo rewrites that disk, copying its unread lists as byte ranges,
// and copies the other disks whole), against copying the same file with
// /bin/cp, and against cp followed by flushing the copy to the device (the
// save makes its new file durable before it replaces the old one). Saving an
// unchanged catalog is shown too.
#include "BenchSupport.h"

#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace {

void RunCp(const QString &from, const QString &to)
{
    const int code = QProcess::execute(QStringLiteral("/bin/cp"), {from, to});
    if (code != 0) {
        std::fprintf(stderr, "/bin/cp failed (%d)\n", code);
        std::exit(1);
    }
}

void SyncFile(const QString &fileName)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void RunSaveBench(const BenchArgs &args, const BenchWorkDir &dir, int64_t size)
{
    const GenOptions options = StandardShape(size);
    const QString path = EnsureCatalog(dir, options);
    const QString copyTarget = dir.file(QStringLiteral("cp-target.ctf"));
    const QString saveTarget = dir.file(QStringLiteral("save-target.ctf"));
    const int64_t fileBytes = QFileInfo(path).size();

    PrintHeading(QStringLiteral("Save (SaveCatalogTo) of %1 files (%2 MB file, 8 disks)")
                     .arg(Count(GeneratedFileCount(options)))
                     .arg(double(fileBytes) / 1e6, 0, 'f', 1));

    // Every timed run starts from the same state: no earlier target, the
    // earlier writes on the device (so one run's write-back does not slow the next).
    auto clean = [&] {
        QFile::remove(copyTarget);
        QFile::remove(saveTarget);
        ::sync();
    };
    TForest forest;
    TTreeNode *node = nullptr;
    auto reopen = [&](bool rename) {
        if (node)
            CloseCatalog(forest, node);
        clean();
        node = OpenCatalog(forest, path);
        if (rename)
            RenameDisk(node->child(0), "Renamed disk");
    };
    const std::vector<int64_t> times = InterleavedMedians(
        args.runs,
        {{[&] { RunCp(path, copyTarget); }, clean},
         {[&] {
              RunCp(path, copyTarget);
              SyncFile(copyTarget);
          },
          clean},
         {[&] { SaveCatalogTo(node, saveTarget); }, [&] { reopen(true); }},
         {[&] { SaveCatalogTo(node, saveTarget); }, [&] { reopen(false); }}});
    const int64_t cpNs = times[0];
    const int64_t cpSyncNs = times[1];
    const int64_t renamedNs = times[2];
    const int64_t unchangedNs = times[3];
    reopen(true);
    SaveCatalogTo(node, saveTarget);
    const int64_t savedBytes = QFileInfo(saveTarget).size();
    CloseCatalog(forest, node);
    clean();

    PrintLine(QStringLiteral("baseline /bin/cp: %1 (%2 MB/s); cp + fsync of the copy: %3")
                  .arg(Millis(cpNs))
                  .arg(double(fileBytes) / (double(cpNs) / 1e9) / 1e6, 0, 'f', 0)
                  .arg(Millis(cpSyncNs)));
    PrintLine(QStringLiteral("save with one renamed disk: %1 (%2 vs cp, %3 vs cp + fsync; new file %4 bytes)")
                  .arg(Millis(renamedNs), Ratio(double(renamedNs) / double(cpNs)),
                       Ratio(double(renamedNs) / double(cpSyncNs)))
                  .arg(Count(savedBytes)));
    PrintLine(QStringLiteral("save of the unchanged catalog: %1 (%2 vs cp, %3 vs cp + fsync)")
                  .arg(Millis(unchangedNs), Ratio(double(unchangedNs) / double(cpNs)),
                       Ratio(double(unchangedNs) / double(cpSyncNs))));
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv, "Saving a catalog with one renamed disk against cp.");
    BenchWorkDir dir(args.workDir);
    std::printf("work folder: %s\n", qPrintable(dir.path()));
    RunSaveBench(args, dir, 1'000'000);
    if (args.large)
        RunSaveBench(args, dir, 10'000'000);
    return 0;
}
