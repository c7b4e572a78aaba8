// Reading file lists of a catalog of a million files: LoadFileList on every
// folder and disk, in records per second against reading the whole file into
// memory with read(); the heap taken per loaded file record against the bytes
// of the records themselves (FileRecStride); and a full-tree load
// (LoadSubfolders with every level and every file list) against opening.
#include "BenchSupport.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Reads the whole file into one heap buffer with plain read() calls.
int64_t ReadWholeFile(const QString &fileName, std::vector<char> &buffer)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY);
    if (fd < 0) {
        std::perror("open");
        std::exit(1);
    }
    int64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data() + total, buffer.size() - size_t(total));
        if (got <= 0)
            break;
        total += got;
    }
    ::close(fd);
    return total;
}

struct ListCensus {
    int64_t records = 0;
    int64_t strideBytes = 0;   // sum of FileRecStride over the records
    int64_t descBytes = 0;     // heap texts of descriptions (length field, bytes, zero)
    int64_t descs = 0;
};

ListCensus Census(const std::vector<TTreeNode *> &nodes)
{
    ListCensus c;
    for (TTreeNode *node : nodes)
        for (const TFileRec *f = node->data()->Next; f; f = f->Next) {
            ++c.records;
            c.strideBytes += int64_t(FileRecStride(f->NameLen));
            if (f->Desc) {
                ++c.descs;
                c.descBytes += TextLength(f->Desc) + 3;
            }
        }
    return c;
}

void RunFileListBench(const BenchArgs &args, const BenchWorkDir &dir, int64_t size)
{
    const GenOptions options = StandardShape(size);
    const QString path = EnsureCatalog(dir, options);
    const int64_t fileBytes = QFileInfo(path).size();

    PrintHeading(QStringLiteral("LoadFileList on every disk and folder of %1 files (%2 MB file)")
                     .arg(Count(GeneratedFileCount(options)))
                     .arg(double(fileBytes) / 1e6, 0, 'f', 1));

    // Baseline: the same bytes with read() into memory, page cache warm.
    std::vector<char> buffer(size_t(fileBytes) + 1);
    ReadWholeFile(path, buffer);

    TForest forest;
    TTreeNode *catalogNode = OpenCatalog(forest, path);
    for (TTreeNode *diskNode : catalogNode->children())
        LoadSubfolders(diskNode, true, false);
    const std::vector<TTreeNode *> nodes = ContainerNodes(catalogNode);

    auto loadAll = [&] {
        for (TTreeNode *node : nodes)
            LoadFileList(node);
    };
    auto unloadAll = [&] {
        for (TTreeNode *node : nodes)
            UnloadFileList(node);
    };

    // First load: heap accounting (and the first-touch cost of fresh memory).
    const int64_t heapBefore = HeapInUse();
    const int64_t firstNs = TimeOnce(loadAll);
    const int64_t heapAfter = HeapInUse();
    const ListCensus census = Census(nodes);
    unloadAll();
    const int64_t heapUnloaded = HeapInUse();

    const std::vector<int64_t> times =
        InterleavedMedians(args.runs, {{[&] { ReadWholeFile(path, buffer); }, {}}, {loadAll, unloadAll}});
    const int64_t readNs = times[0];
    const int64_t loadNs = times[1];
    std::vector<char>().swap(buffer);

    const double records = double(census.records);
    PrintLine(QStringLiteral("baseline read() of the whole file: %1 (%2 MB/s; %3 records/s if it were parsing)")
                  .arg(Millis(readNs))
                  .arg(double(fileBytes) / (double(readNs) / 1e9) / 1e6, 0, 'f', 0)
                  .arg(Count(int64_t(records / (double(readNs) / 1e9)))));
    PrintLine(QStringLiteral("LoadFileList of %1 lists, %2 records: %3 median (%4 first run)")
                  .arg(Count(int64_t(nodes.size())))
                  .arg(Count(census.records))
                  .arg(Millis(loadNs), Millis(firstNs)));
    PrintLine(QStringLiteral("  %1 records/s, %2 MB/s; time %3 vs read()")
                  .arg(Count(int64_t(records / (double(loadNs) / 1e9))))
                  .arg(double(fileBytes) / (double(loadNs) / 1e9) / 1e6, 0, 'f', 0)
                  .arg(Ratio(double(loadNs) / double(readNs))));

    const int64_t heapDelta = heapAfter - heapBefore;
    PrintLine(QStringLiteral("heap per loaded file record (mallinfo2): %1 bytes (%2 MB for %3 records; "
                             "%4 MB still held after unloading)")
                  .arg(double(heapDelta) / records, 0, 'f', 1)
                  .arg(double(heapDelta) / 1e6, 0, 'f', 1)
                  .arg(Count(census.records))
                  .arg(double(heapUnloaded - heapBefore) / 1e6, 0, 'f', 1));
    PrintLine(QStringLiteral("  pure record bytes (sum of FileRecStride): %1 bytes per record (%2 MB); "
                             "heap %3 vs records")
                  .arg(double(census.strideBytes) / records, 0, 'f', 1)
                  .arg(double(census.strideBytes) / 1e6, 0, 'f', 1)
                  .arg(Ratio(double(heapDelta) / double(census.strideBytes))));
    PrintLine(QStringLiteral("  of which descriptions: %1 texts, %2 MB (%3 bytes per record); "
                             "records + texts %4 bytes per record, heap %5 vs that")
                  .arg(Count(census.descs))
                  .arg(double(census.descBytes) / 1e6, 0, 'f', 1)
                  .arg(double(census.descBytes) / records, 0, 'f', 1)
                  .arg(double(census.strideBytes + census.descBytes) / records, 0, 'f', 1)
                  .arg(Ratio(double(heapDelta) / double(census.strideBytes + census.descBytes))));
    CloseCatalog(forest, catalogNode);

    // Full tree: every level and every list of every disk, against opening.
    PrintHeading(QStringLiteral("Full-tree load (LoadSubfolders(disk, true, true) on every disk) of %1 files")
                     .arg(Count(GeneratedFileCount(options))));
    TForest openForest;
    TTreeNode *opened = nullptr;
    TTreeNode *node = nullptr;
    auto reopen = [&] {
        if (node)
            CloseCatalog(forest, node);
        node = OpenCatalog(forest, path);
    };
    const std::vector<int64_t> treeTimes = InterleavedMedians(
        args.runs,
        {{[&] { opened = OpenCatalog(openForest, path); },
          [&] {
              if (opened)
                  CloseCatalog(openForest, opened);
              opened = nullptr;
          }},
         {[&] {
              for (TTreeNode *diskNode : node->children())
                  LoadSubfolders(diskNode, true, true);
          },
          reopen}},
        20'000'000);
    const int64_t openNs = treeTimes[0];
    const int64_t fullNs = treeTimes[1];
    if (opened)
        CloseCatalog(openForest, opened);
    const ListCensus loaded = Census(ContainerNodes(node));
    CloseCatalog(forest, node);
    PrintLine(QStringLiteral("open: %1; full-tree load after it: %2 (%3 vs open; %4 vs LoadFileList of every list; "
                             "%5 records/s; %6 records in memory)")
                  .arg(Millis(openNs), Millis(fullNs), Ratio(double(fullNs) / double(openNs)))
                  .arg(Ratio(double(fullNs) / double(loadNs)))
                  .arg(Count(int64_t(double(loaded.records) / (double(fullNs) / 1e9))))
                  .arg(Count(loaded.records)));
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv, "File list loading, memory per record, full-tree load.");
    BenchWorkDir dir(args.workDir);
    std::printf("work folder: %s\n", qPrintable(dir.path()));
    RunFileListBench(args, dir, 1'000'000);
    if (args.large)
        RunFileListBench(args, dir, 10'000'000);
    return 0;
}
