// libFuzzer target for the ARJ reader and extractor: listing (one volume and
// a two-volume split of the input) and extraction with stored folders into a
// sandbox, held to ArjFinding's properties. Any finding, crash, hang or
// sanitizer report is a bug.
#include "ArjProperties.h"

#include "archive/ArcLister.h"
#include "archive/ArchiveTypes.h"
#include "archive/Extract.h"
#include "archive/UnBase.h"
#include "archive/decoders/Crc32.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

const QString kName = QStringLiteral("fuzz.arj");
const QByteArray kMarker = "marker";

// Lists bytes (with a second volume when given); what is wrong, and the largest member size.
QString listingFinding(const QByteArray &bytes, const QByteArray &volume, uint64_t &largest)
{
    TArcLister lister;
    lister.setArchiveData(bytes, kName);
    if (!volume.isNull())
        lister.addMemoryVolume(QStringLiteral("fuzz.A01"), volume);
    QString finding;
    int reported = 0;
    uint64_t packed = 0, unpacked = 0;
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
        if (finding.isEmpty() &&
            (rel.startsWith(QLatin1Char('/')) || rel.split(QLatin1Char('/')).contains(QStringLiteral(".."))))
            finding = QStringLiteral("an output path outside its folder: ") + rel;
    };
    const bool ok = lister.activate();
    if (finding.isEmpty() && ok &&
        (lister.FileNum != reported || lister.TotalPacked != packed || lister.TotalUnpacked != unpacked))
        finding = QStringLiteral("totals that are not the sums of the members");
    return finding;
}

// A folder with a marker file beside the scratch folder extraction writes into.
struct Sandbox {
    QTemporaryDir root;
    QString scratch = root.path() + QStringLiteral("/box/scratch");
    QString marker = root.path() + QStringLiteral("/box/marker.txt");

    void reset()
    {
        QDir(scratch).removeRecursively();
        QDir().mkpath(scratch);
        QFile file(marker);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(kMarker);
    }
    // The first thing written outside scratch, a link, or a file larger than most; empty when none.
    QString firstWrong(uint64_t most) const
    {
        QDirIterator it(root.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QFileInfo info = it.fileInfo();
            if (info.isSymLink())
                return QStringLiteral("a link: ") + path;
            if (path == marker || path == scratch || path == root.path() + QStringLiteral("/box"))
                continue;
            if (!path.startsWith(scratch + QLatin1Char('/')))
                return QStringLiteral("outside its folder: ") + path;
            if (info.isFile() && uint64_t(info.size()) > most)
                return path + QStringLiteral(" of %1 bytes, more than %2").arg(info.size()).arg(most);
        }
        QFile file(marker);
        if (!file.open(QIODevice::ReadOnly) || file.readAll() != kMarker)
            return QStringLiteral("a changed marker");
        return {};
    }
};

// The largest original size any intact header in bytes declares: the extractor's header
// search may start at a header the listing (which reads the archive's start) never gets to.
uint64_t largestDeclared(const QByteArray &bytes)
{
    uint64_t most = 0;
    const auto *b = reinterpret_cast<const uint8_t *>(bytes.constData());
    for (qsizetype p = 0; p + 4 <= bytes.size(); ++p) {
        if (b[p] != 0x60 || b[p + 1] != 0xEA)
            continue;
        const qsizetype size = b[p + 2] | b[p + 3] << 8;
        if (size < 30 || size > 2600 || p + 8 + size > bytes.size())
            continue;
        const uint32_t crc = uint32_t(b[p + 4 + size]) | uint32_t(b[p + 5 + size]) << 8 |
                             uint32_t(b[p + 6 + size]) << 16 | uint32_t(b[p + 7 + size]) << 24;
        if (Crc32Update(0, b + p + 4, size_t(size)) != crc)
            continue;
        most = std::max<uint64_t>(most, uint32_t(b[p + 24]) | uint32_t(b[p + 25]) << 8 |
                                            uint32_t(b[p + 26]) << 16 | uint32_t(b[p + 27]) << 24);
    }
    return most;
}

} // namespace

QString ArjFinding(const QByteArray &bytes)
{
    uint64_t largest = 0;
    QString finding = listingFinding(bytes, QByteArray(), largest);
    if (finding.isEmpty() && bytes.size() > 1) {
        uint64_t ignored = 0;
        const qsizetype half = bytes.size() / 2;
        finding = listingFinding(bytes.first(half), bytes.sliced(half), ignored);
    }
    if (!finding.isEmpty())
        return QStringLiteral("listing: ") + finding;

    static Sandbox sandbox;
    sandbox.reset();
    std::unique_ptr<TUnBase> unit = MakeExtractor(ArchiveExtensionIndex(kName));
    if (!unit)
        return QStringLiteral("no ARJ extractor");
    unit->setArchiveData(bytes, kName);
    unit->ExtractDir = sandbox.scratch;
    unit->UseStoredDirs = true;
    unit->OnFileExists = [](TUnBase *, const QString &, bool &accept) { accept = true; };
    try {
        unit->Extract();
    } catch (const EArcError &) {
    }
    const QString wrong = sandbox.firstWrong(std::max(largest, largestDeclared(bytes)));
    return wrong.isEmpty() ? QString() : QStringLiteral("extraction wrote ") + wrong;
}

#ifndef QUILLON_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Not copied: the input outlives every use below.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString finding = ArjFinding(bytes);
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "ArjFuzz: %s\n", qPrintable(finding));
        std::abort();
    }
    return 0;
}
#endif
