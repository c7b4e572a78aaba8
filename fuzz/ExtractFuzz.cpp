// libFuzzer target for extraction: the input is taken as an archive held in
// memory, named .zip, .tar and .gz in turn, and every member is extracted
// with stored folders into a fresh scratch folder. The scratch folder sits
// three levels deep in a private sandbox with a marker file on each level and
// the working directory inside the sandbox, so a member that escapes through
// "..", an absolute path into the sandbox or a path relative to the working
// directory lands beside a marker. After each run the sandbox is walked: any
// new entry outside the scratch folder, or a changed marker, is an escape; a
// file larger than the listing declares is an overrun. Either abort()s.
// Errors the archive kit raises are caught; a crash, hang or sanitizer report
// is a bug.
#include "ArchiveProperties.h"

#include "archive/ArcLister.h"
#include "archive/ArcTypes.h"
#include "archive/Extract.h"
#include "archive/UnBase.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const QByteArray kMarker = QByteArrayLiteral("quillon extraction fuzz marker\n");

// The sandbox: root/a/b/scratch is the extraction folder; root/cwd is the
// working directory; every level has a marker file.
// Where the sandbox goes: memory-backed /dev/shm when there is one (runs
// create and remove thousands of small files), else TMPDIR.
QString SandboxParent()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
}

struct Sandbox {
    QTemporaryDir root{SandboxParent() + QStringLiteral("/quillon-extract-fuzz-XXXXXX")};
    QString scratch;
    QString cwd; // the working directory during an extraction
    QSet<QString> known; // every entry outside the scratch folder that belongs there

    Sandbox()
    {
        if (!root.isValid()) {
            std::fprintf(stderr, "ExtractFuzz: no temporary folder\n");
            std::abort();
        }
        const QString base = root.path();
        scratch = base + QStringLiteral("/a/b/scratch");
        for (const QString &dir : {base + QStringLiteral("/a"), base + QStringLiteral("/a/b"), base + QStringLiteral("/cwd")}) {
            QDir().mkpath(dir);
            known << dir;
        }
        for (const QString &dir : {base, base + QStringLiteral("/a"), base + QStringLiteral("/a/b"), base + QStringLiteral("/cwd")}) {
            const QString marker = dir + QStringLiteral("/marker.txt");
            QFile file(marker);
            if (!file.open(QIODevice::WriteOnly) || file.write(kMarker) != kMarker.size()) {
                std::fprintf(stderr, "ExtractFuzz: cannot write %s\n", qPrintable(marker));
                std::abort();
            }
            known << marker;
        }
        known << scratch;
        cwd = base + QStringLiteral("/cwd");
        selfCheck();
    }

    // A fresh, empty scratch folder.
    void reset()
    {
        QDir(scratch).removeRecursively();
        QDir().mkpath(scratch);
    }

    // What was written outside the scratch folder (or a link inside it), or an empty string.
    QString firstEscape() const
    {
        const QString inside = scratch + QLatin1Char('/');
        QDirIterator it(root.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.startsWith(inside)) {
                if (it.fileInfo().isSymLink())
                    return QStringLiteral("a link: ") + path;
                continue;
            }
            if (!known.contains(path))
                return QStringLiteral("outside its folder: ") + path;
        }
        for (const QString &path : known) {
            if (!path.endsWith(QLatin1String("/marker.txt")))
                continue;
            QFile file(path);
            if (QFileInfo(path).isSymLink() || !file.open(QIODevice::ReadOnly) || file.readAll() != kMarker)
                return QStringLiteral("a changed marker: ") + path;
        }
        return {};
    }

    // Makes sure the walk sees a stray file and a changed marker before any input is trusted to it.
    void selfCheck()
    {
        const QString stray = root.path() + QStringLiteral("/a/escaped.txt");
        const QString marker = root.path() + QStringLiteral("/a/b/marker.txt");
        bool seen = firstEscape().isEmpty();
        {
            QFile file(stray);
            seen = seen && file.open(QIODevice::WriteOnly) && file.write("x", 1) == 1;
        }
        seen = seen && !firstEscape().isEmpty();
        QFile::remove(stray);
        {
            QFile file(marker);
            seen = seen && file.open(QIODevice::Append) && file.write("x", 1) == 1;
        }
        seen = seen && !firstEscape().isEmpty();
        QFile file(marker);
        seen = seen && file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(kMarker) == kMarker.size();
        file.close();
        if (!seen || !firstEscape().isEmpty()) {
            std::fprintf(stderr, "ExtractFuzz: the sandbox walk does not see escapes\n");
            std::abort();
        }
    }
};

Sandbox &TheSandbox()
{
    static Sandbox sandbox;
    return sandbox;
}

// The largest unpacked size the listing reports for a member of bytes taken as name.
uint64_t largestDeclared(const QByteArray &bytes, const QString &name)
{
    TArcLister lister;
    lister.setArchiveData(bytes, name);
    uint64_t most = 0;
    lister.OnRead = [&most](TArcLister *s, int64_t, int) { most = std::max(most, s->UnpackedSize); };
    lister.activate();
    return most;
}

// The first file under folder larger than most bytes, or an empty string.
QString firstOverrun(const QString &folder, uint64_t most)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (uint64_t(it.fileInfo().size()) > most)
            return path + QStringLiteral(" of %1 bytes, more than %2").arg(it.fileInfo().size()).arg(most);
    }
    return {};
}

} // namespace

QString ExtractionFinding(const QByteArray &bytes)
{
    return ExtractionFindingAs(bytes, {"fuzz.zip", "fuzz.tar", "fuzz.gz"});
}

QString ExtractionFindingAs(const QByteArray &bytes, std::initializer_list<const char *> names)
{
    Sandbox &sandbox = TheSandbox();
    // The working directory is the sandbox's only while extracting, so a caller's stays as it was.
    const QString callerCwd = QDir::currentPath();
    QDir::setCurrent(sandbox.cwd);
    QString finding;
    for (const char *name : names) {
        std::unique_ptr<TUnBase> unit = MakeExtractor(ArchiveExtensionIndex(QString::fromLatin1(name)));
        if (!unit)
            continue; // no extractor for this format in this build
        sandbox.reset();
        unit->setArchiveData(bytes, QString::fromLatin1(name));
        unit->ExtractDir = sandbox.scratch;
        unit->UseStoredDirs = true;
        unit->Passwords = {QStringLiteral("corpus123"), QStringLiteral("fuzz")};
        // Replacing files exercises the overwrite path, as a second member of the same name does.
        unit->OnFileExists = [](TUnBase *, const QString &, bool &accept) { accept = true; };
        try {
            unit->Extract();
        } catch (const EArcAbort &) {
        } catch (const EArcError &) {
            // The kit's own errors; anything else escaping is a finding and ends the run.
        }
        QString wrong = sandbox.firstEscape();
        if (wrong.isEmpty())
            wrong = firstOverrun(sandbox.scratch, largestDeclared(bytes, QString::fromLatin1(name)));
        if (!wrong.isEmpty()) {
            finding = QString::fromLatin1(name) + QStringLiteral(" extraction wrote ") + wrong;
            break;
        }
    }
    QDir::setCurrent(callerCwd);
    return finding;
}

#ifndef QUILLON_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Not copied: the input outlives every use below.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString finding = ExtractionFinding(bytes);
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "ExtractFuzz: %s\n", qPrintable(finding));
        std::abort();
    }
    return 0;
}
#endif
