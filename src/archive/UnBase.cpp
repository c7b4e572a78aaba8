// The extractors' shared frame: Extract's opening checks and error handling
// around each format's member loop, the progress step, and the safe output
// path of a member, so that no stored name ("..", "/abs", "C:\x") can write
// outside the extraction folder; and the member file the stream extractors
// (TAR, GZip) write through.
#include "archive/UnBase.h"

#include "archive/decoders/Crc32.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int TUnBase::progressStep() const
{
    switch (ProgressNotify) {
    case TProgressNotify::Five:
        return 5;
    case TProgressNotify::Ten:
        return 10;
    case TProgressNotify::Fifteen:
        return 15;
    case TProgressNotify::Twenty:
        return 20;
    case TProgressNotify::TwentyFive:
        return 25;
    }
    return 10;
}

QString TUnBase::SafeOutputPath(const QString &storedName, const QString &extractDir, bool useStoredDirs,
                                bool *altered)
{
    bool changed = false;
    QString name = storedName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name.remove(QChar(0));

    QString dir = extractDir;
    dir.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    if (!dir.isEmpty() && name.startsWith(dir + QLatin1Char('/')))
        name = name.mid(dir.size() + 1);

    // A drive part ("C:") in front, then any leading separators.
    if (name.size() >= 2 && name[1] == QLatin1Char(':') && name[0].isLetter()) {
        name = name.mid(2);
        changed = true;
    }
    if (name.startsWith(QLatin1Char('/')))
        changed = true;

    QStringList kept;
    const QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            changed = true;
            continue;
        }
        kept << part;
    }
    if (altered)
        *altered = changed;
    if (kept.isEmpty())
        return QString();
    if (!useStoredDirs)
        return kept.last();
    return kept.join(QLatin1Char('/'));
}

QString TUnBase::selectedOutputPath(const QString &storedName)
{
    const QString rel = SafeOutputPath(storedName, ExtractDir, UseStoredDirs);
    if (rel.isEmpty()) {
        warn(ArcErrInvalidFileName);
        return QString();
    }
    return MatchesFileSpec(m_fileSpec, rel) ? rel : QString();
}

bool TUnBase::Extract()
{
    m_lastError = 0;
    m_fileTime = -1;
    std::unique_ptr<TArcSource> source;
    try {
        if (m_archiveFile.isEmpty())
            raiseError(ArcErrInvalidFileName);
        if (m_fromMemory) {
            source = std::make_unique<TMemorySource>(m_memoryData);
        } else {
            auto file = std::make_unique<TFileSource>(m_archiveFile);
            if (!file->isOpen())
                raiseError(ArcErrOpenFile);
            m_fileTime = file->mtime();
            source = std::move(file);
        }
        if (!acceptsType(m_det.type))
            raiseError(ArcErrInvalidArchive);
        checkArchive(*source);
        if (OnActivate)
            OnActivate(this);
        const QString root = outputRoot();
        if (extractMembers(*source, root) == 0)
            raiseError(ArcErrNothingToDo);
        if (OnDeactivate)
            OnDeactivate(this);
    } catch (const EArcError &e) {
        m_lastError = e.code();
        if (OnDeactivate)
            OnDeactivate(this);
        return false;
    } catch (const EArcAbort &) {
        m_lastError = ArcErrUserAborted;
        if (OnDeactivate)
            OnDeactivate(this);
        throw;
    }
    return true;
}

QString TUnBase::outputRoot()
{
    QString dir = ExtractDir;
    dir.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (dir.isEmpty()) {
        const QFileInfo archive(m_archiveFile);
        dir = m_archiveFile.contains(QLatin1Char('/')) ? archive.absolutePath() : QDir::currentPath();
        ExtractDir = dir;
    }
    dir = QDir(dir).absolutePath();
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    m_readyFolders.clear();
    return dir;
}

bool TUnBase::prepareFolder(const QString &folder, const QString &root)
{
    if (m_readyFolders.contains(folder))
        return true;
    if (!QDir().mkpath(folder) || !FolderInsideRoot(folder, root))
        return false;
    m_readyFolders.insert(folder);
    return true;
}

bool FolderInsideRoot(const QString &folder, const QString &root)
{
    const QString canonFolder = QFileInfo(folder).canonicalFilePath();
    const QString canonRoot = QFileInfo(root).canonicalFilePath();
    if (canonFolder.isEmpty() || canonRoot.isEmpty())
        return false;
    return canonFolder == canonRoot || canonFolder.startsWith(canonRoot + QLatin1Char('/')) ||
           canonRoot == QLatin1String("/");
}

TOutputEntry OutputEntry(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return TOutputEntry::None;
    return S_ISREG(st.st_mode) ? TOutputEntry::File : TOutputEntry::Other;
}

// ---------------------------------------------------------------------------

TMemberWriter::TMemberWriter(const QString &target) : m_target(QFile::encodeName(target)) {}

TMemberWriter::~TMemberWriter()
{
    cancelWriting();
}

bool TMemberWriter::open()
{
    // A name of our own beside the target: ".quillon-" + process + a running number, made with
    // O_EXCL, so it never takes over a file that is there (a clash moves on to the next number).
    static std::atomic<unsigned> counter{0};
    static const QByteArray process = QByteArray::number(qint64(::getpid()));
    const qsizetype slash = m_target.lastIndexOf('/');
    const QByteArray folder = slash >= 0 ? m_target.left(slash + 1) : QByteArray();
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temp = folder + ".quillon-" + process + '-' + QByteArray::number(counter.fetch_add(1));
        m_fd = ::open(m_temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (m_fd >= 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    m_temp.clear();
    return false;
}

bool TMemberWriter::write(const void *data, size_t n)
{
    const char *p = static_cast<const char *>(data);
    while (n > 0) {
        const ssize_t done = ::write(m_fd, p, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        p += done;
        n -= size_t(done);
    }
    return true;
}

bool TMemberWriter::seek(uint64_t pos)
{
    return pos <= uint64_t(INT64_MAX) && ::lseek(m_fd, off_t(pos), SEEK_SET) == off_t(pos);
}

bool TMemberWriter::resize(uint64_t size)
{
    return size <= uint64_t(INT64_MAX) && ::ftruncate(m_fd, off_t(size)) == 0;
}

bool TMemberWriter::commit()
{
    if (m_fd < 0)
        return false;
    bool ok = m_mode < 0 || ::fchmod(m_fd, mode_t(m_mode)) == 0;
    if (m_time >= 0) {
        const struct timespec times[2] = {{time_t(m_time), 0}, {time_t(m_time), 0}};
        ::futimens(m_fd, times);
    }
    ok = ::close(m_fd) == 0 && ok;
    m_fd = -1;
    if (ok && ::rename(m_temp.constData(), m_target.constData()) == 0) {
        m_temp.clear();
        return true;
    }
    cancelWriting();
    return false;
}

void TMemberWriter::cancelWriting()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.isEmpty()) {
        ::unlink(m_temp.constData());
        m_temp.clear();
    }
}

// ---------------------------------------------------------------------------

TMemberFile::TMemberFile(TUnBase &owner, const QString &root, const QString &rel, uint64_t total, uint64_t cap)
    : m_owner(owner), m_root(root), m_path(root + QLatin1Char('/') + rel), m_file(m_path), m_total(total),
      m_cap(std::min(cap, owner.OutputLimit))
{
}

bool TMemberFile::open(int recNum)
{
    const TOutputEntry existing = OutputEntry(m_path);
    if (existing != TOutputEntry::None) {
        bool accept = false;
        if (m_owner.OnFileExists)
            m_owner.OnFileExists(&m_owner, m_path, accept);
        if (!accept)
            return false;
        if (existing != TOutputEntry::File) {
            // Neither a folder nor a link is replaced by a member.
            m_owner.warn(ArcErrInvalidFileName);
            return false;
        }
    }
    bool wanted = true;
    if (m_owner.OnBegin)
        m_owner.OnBegin(&m_owner, m_path, recNum, wanted);
    if (!wanted) {
        m_refusedByBegin = true;
        return false;
    }
    if (!m_owner.prepareFolder(m_path.left(m_path.lastIndexOf(QLatin1Char('/'))), m_root)) {
        m_owner.warn(ArcErrOpenFile);
        return false;
    }
    if (!m_file.open()) {
        m_owner.warn(ArcErrOpenFile);
        return false;
    }
    return true;
}

bool TMemberFile::write(const char *data, int64_t n)
{
    if (n <= 0)
        return true;
    if (uint64_t(n) > m_cap - m_written) {
        m_overCap = true;
        return false;
    }
    if (!m_file.write(data, size_t(n)))
        return false;
    m_crc = Crc32Update(m_crc, data, size_t(n));
    m_written += uint64_t(n);
    if (m_owner.OnProgress && m_total > 0) {
        const int step = m_owner.progressStep();
        const int percent = int(std::min<uint64_t>(100, m_written * 100 / m_total));
        if (percent >= m_next && percent < 100) {
            m_next = (percent / step + 1) * step;
            m_owner.OnProgress(&m_owner, m_path, uint8_t(percent));
        }
    }
    return true;
}

bool TMemberFile::seek(uint64_t pos)
{
    return m_file.seek(pos);
}

bool TMemberFile::resize(uint64_t size)
{
    return m_file.resize(size);
}

bool TMemberFile::commit(int64_t mtime, bool crcPass)
{
    if (m_owner.OnProgress)
        m_owner.OnProgress(&m_owner, m_path, 100);
    if (m_owner.SetDateTo != TSetDate::CurDate && mtime >= 0)
        m_file.setTime(mtime);
    if (!m_file.commit()) {
        m_owner.warn(ArcErrWriteFile);
        return false;
    }
    if (!crcPass)
        m_owner.warn(ArcErrCrc);
    if (m_owner.OnEnd)
        m_owner.OnEnd(&m_owner, m_path, crcPass);
    return true;
}
