// libFuzzer target for the LHA reader: the input is taken as an LHA archive
// held in memory, listed, then extracted with stored folders into a scratch
// folder inside a sandbox folder. A listing must report UTF-8 names whose
// output paths stay inside their folder and totals that add up, and end
// either cleanly or with one of the reader's codes; an extraction must end
// with one of the extractor's codes, write nothing beside the scratch folder
// and no file larger than the listing declares. Any finding abort()s; a
// crash, hang or sanitizer report is a bug.
#include "archive/ArcLister.h"
#include "archive/UnLHA.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace {

bool OneOf(int code, std::initializer_list<int> codes)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// The codes a listing may end with: damaged or cut headers, an unsupported
// level, bytes that are no archive (or too few to be one), and running out of memory.
constexpr std::initializer_list<int> kListCodes = {0, 25108, 25135, 25136, 25137, 25153, 25202, 25204};

QString SandboxParent()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
}

} // namespace

// What is wrong with how the LHA reader treats bytes; empty when nothing.
QString LhaFinding(const QByteArray &bytes)
{
    const QString name = QStringLiteral("fuzz.lzh");
    TArcLister lister;
    lister.setArchiveData(bytes, name);
    QString finding;
    int reported = 0;
    uint64_t packed = 0, unpacked = 0, largest = 0;
    lister.OnRead = [&](TArcLister *s, int64_t, int filenum) {
        packed += s->PackedSize;
        unpacked += s->UnpackedSize;
        largest = std::max(largest, s->UnpackedSize);
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
    const bool listed = lister.activate();
    if (!finding.isEmpty())
        return finding;
    if (!OneOf(lister.lastError(), kListCodes))
        return QStringLiteral("listing ended with %1").arg(lister.lastError());
    if (listed && (lister.FileNum != reported || lister.TotalPacked != packed || lister.TotalUnpacked != unpacked))
        return QStringLiteral("totals that are not the sums of the members");

    static QTemporaryDir sandbox(SandboxParent() + QStringLiteral("/quillon-lha-fuzz-XXXXXX"));
    if (!sandbox.isValid())
        return QStringLiteral("no sandbox folder");
    const QString scratch = sandbox.path() + QStringLiteral("/scratch");
    QDir(scratch).removeRecursively();
    TUnLHA unit;
    unit.setArchiveData(bytes, name);
    unit.ExtractDir = scratch;
    unit.UseStoredDirs = true;
    unit.OnFileExists = [](TUnBase *, const QString &, bool &accept) { accept = true; };
    unit.Extract();
    if (!OneOf(unit.lastError(), {0, 25108, 25111, 25114, 25134, 25135, 25136, 25138, 25139, 25140, 25153, 25200,
                                   25204, 26999}))
        return QStringLiteral("extraction ended with %1").arg(unit.lastError());
    QDirIterator it(sandbox.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path != scratch && !path.startsWith(scratch + QLatin1Char('/')))
            return QStringLiteral("written outside its folder: ") + path;
        if (it.fileInfo().isSymLink())
            return QStringLiteral("a link: ") + path;
        if (it.fileInfo().isFile() && uint64_t(it.fileInfo().size()) > largest)
            return QStringLiteral("%1 larger than any member declares").arg(path);
    }
    return {};
}

#ifndef QUILLON_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString finding = LhaFinding(bytes);
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "LhaFuzz: %s\n", qPrintable(finding));
        std::abort();
    }
    return 0;
}
#endif
