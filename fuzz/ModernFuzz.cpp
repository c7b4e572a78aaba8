// libFuzzer target for the formats read through libarchive (7z, ISO 9660,
// xz, bzip2 and zstd streams and tarballs, gzip tarballs): the input is
// listed and extracted under the properties of ArchiveProperties.h, once under
// a name of each family (detection goes by the bytes; the name gives a plain
// stream's one file its name and picks the extractor). Any finding, crash,
// hang or sanitizer report is a bug.
#include "ArchiveProperties.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

QString ModernFinding(const QByteArray &input)
{
    for (const char *name : {"fuzz.7z", "fuzz.tar.xz", "fuzz.iso", "fuzz.tgz"}) {
        const QString as = QString::fromLatin1(name);
        QString finding = ListingFindingAs(input, as);
        if (finding.isEmpty())
            finding = ExtractionFindingAs(input, as);
        if (!finding.isEmpty())
            return finding;
    }
    return {};
}

#ifndef QUILLON_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString finding = ModernFinding(bytes);
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "ModernFuzz: %s\n", qPrintable(finding));
        std::abort();
    }
    return 0;
}
#endif
