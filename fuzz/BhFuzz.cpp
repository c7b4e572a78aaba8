// libFuzzer target for the BH reader: the input, taken as a BH archive (its
// signature put in front when it does not start so), is listed under the
// properties of ArchiveProperties.h. Any finding, crash, hang or sanitizer
// report is a bug.
#include "ArchiveProperties.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

QString BhFinding(const QByteArray &input)
{
    const QByteArray signature("BH\x05\x07", 4);
    return ListingFinding(input.startsWith(signature) ? input : signature + input);
}

#ifndef QUILLON_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString finding = BhFinding(bytes);
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "BhFuzz: %s\n", qPrintable(finding));
        std::abort();
    }
    return 0;
}
#endif
