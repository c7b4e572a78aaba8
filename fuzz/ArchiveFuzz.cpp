// libFuzzer target for the archive kit's type detection and listing: the
// input is taken as an archive held in memory (named .zip, and once more as
// .tar for the TAR rule); every member is read back through OnRead. Any
// crash, hang or sanitizer report is a bug.
#include "archive/ArcLister.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Not copied: the input outlives every use below.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const char *name : {"fuzz.zip", "fuzz.tar"}) {
        TArcLister lister;
        lister.setArchiveData(bytes, QString::fromLatin1(name));
        uint64_t sum = 0;
        lister.OnRead = [&sum](TArcLister *s, int64_t offset, int filenum) {
            sum += s->MemberName.size() + s->MemberComment.size() + s->PackedSize + uint64_t(offset) + filenum;
        };
        lister.activate();
        if (sum == 1)
            return 0; // keeps the reads from being optimised away
    }
    return 0;
}
