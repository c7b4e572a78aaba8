// libFuzzer target for the archive kit's type detection and listing: the
// input is taken as an archive held in memory (named .zip, and once more as
// .tar for the TAR rule); every member is read back through OnRead and held to
// ListingFinding's properties. Any finding, crash, hang or sanitizer report is
// a bug.
#include "ArchiveProperties.h"

#include "archive/ArcLister.h"
#include "archive/UnBase.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

QString ListingFindingAs(const QByteArray &bytes, const QString &name)
{
    TArcLister lister;
    lister.setArchiveData(bytes, name);
    QString finding;
    int reported = 0;
    uint64_t packed = 0, unpacked = 0;
    lister.OnRead = [&](TArcLister *s, int64_t, int filenum) {
        packed += s->PackedSize;
        unpacked += s->UnpackedSize;
        if (!finding.isEmpty())
            return;
        if (filenum != ++reported)
            finding = QStringLiteral("member number %1 after %2").arg(filenum).arg(reported - 1);
        else if (!QByteArrayView(s->MemberName).isValidUtf8())
            finding = QStringLiteral("a name that is not UTF-8");
        const QString rel = TUnBase::SafeOutputPath(QString::fromUtf8(s->MemberName), QString(), true);
        if (finding.isEmpty() && (rel.startsWith(QLatin1Char('/')) || rel.split(QLatin1Char('/')).contains(QStringLiteral(".."))))
            finding = QStringLiteral("an output path outside its folder: ") + rel;
    };
    const bool ok = lister.activate();
    if (finding.isEmpty() && ok && (lister.FileNum != reported || lister.TotalPacked != packed ||
                                    lister.TotalUnpacked != unpacked))
        finding = QStringLiteral("totals that are not the sums of the members");
    return finding.isEmpty() ? QString() : name + QStringLiteral(": ") + finding;
}

QString ListingFinding(const QByteArray &bytes)
{
    for (const char *name : {"fuzz.zip", "fuzz.tar"}) {
        const QString finding = ListingFindingAs(bytes, QString::fromLatin1(name));
        if (!finding.isEmpty())
            return finding;
    }
    return {};
}

#ifndef QUILLON_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Not copied: the input outlives every use below.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString finding = ListingFinding(bytes);
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "ArchiveFuzz: %s\n", qPrintable(finding));
        std::abort();
    }
    return 0;
}
#endif
