// libFuzzer target for the HA reader: the input, taken as an HA archive ("HA"
// put in front when it does not start so), is listed under the properties of
// ArchiveProperties.h. Any finding, crash, hang or sanitizer report is a bug.
#include "ArchiveProperties.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

QString HaFinding(const QByteArray &input)
{
    return ListingFinding(input.startsWith("HA") ? input : QByteArray("HA") + input);
}

#ifndef QUILLON_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString finding = HaFinding(bytes);
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "HaFuzz: %s\n", qPrintable(finding));
        std::abort();
    }
    return 0;
}
#endif
