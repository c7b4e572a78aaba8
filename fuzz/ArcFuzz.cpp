// libFuzzer target for the ARC family: the input is listed and extracted as an .arc file
// and listed once more as a .pak file (the same reader, PAK's methods listed),
// held to the properties of ArchiveProperties.h. Any finding, crash, hang or
// sanitizer report is a bug.
#include "ArchiveProperties.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// What is wrong with one input taken as this format (empty when nothing); the tests replay it.
QString ArcFuzzFinding(const QByteArray &bytes)
{
    QString finding = ListingFindingAs(bytes, QStringLiteral("fuzz.arc"));
    if (finding.isEmpty())
        finding = ExtractionFindingAs(bytes, QStringLiteral("fuzz.arc"));
    if (finding.isEmpty())
        finding = ListingFindingAs(bytes, QStringLiteral("fuzz.pak"));
    return finding;
}

#ifndef QUILLON_FORMAT_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Not copied: the input outlives every use below.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString finding = ArcFuzzFinding(bytes);
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "ArcFuzz: %s\n", qPrintable(finding));
        std::abort();
    }
    return 0;
}
#endif
