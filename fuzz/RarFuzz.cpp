// libFuzzer target for RAR archives: the input is taken as a RAR file held in
// memory (RAR 1.5-4 or RAR 5 by its signature, a self-extractor by its
// image), listed from its block headers and then extracted with stored
// folders into the extraction fuzz target's sandbox; both held to the
// properties of ArchiveProperties.h. Any finding, crash, hang or sanitizer
// report is a bug.
#include "ArchiveProperties.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The properties for one input, shared with the replay test.
QString RarFinding(const QByteArray &bytes)
{
    const QString name = QStringLiteral("fuzz.rar");
    QString finding = ListingFindingAs(bytes, name);
    if (finding.isEmpty())
        finding = ExtractionFindingAs(bytes, name);
    return finding;
}

#ifndef QUILLON_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Not copied: the input outlives every use below.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString finding = RarFinding(bytes);
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "RarFuzz: %s\n", qPrintable(finding));
        std::abort();
    }
    return 0;
}
#endif
