// libFuzzer target for the cabinet reader: the input, taken as a cabinet
// ("MSCF" put in front when it does not start so), is listed and extracted
// under the properties of ArchiveProperties.h. Any finding, crash, hang or
// sanitizer report is a bug.
#include "ArchiveProperties.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

QString CabFinding(const QByteArray &input)
{
    const QByteArray bytes = input.startsWith("MSCF") ? input : QByteArray("MSCF") + input;
    QString finding = ListingFinding(bytes);
    if (finding.isEmpty())
        finding = ExtractionFindingAs(bytes, QStringLiteral("fuzz.cab"));
    return finding;
}

#ifndef QUILLON_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString finding = CabFinding(bytes);
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "CabFuzz: %s\n", qPrintable(finding));
        std::abort();
    }
    return 0;
}
#endif
