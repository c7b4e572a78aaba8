// The new file of a catalog save: unnamed until complete, or named and locked
// where the file system cannot make unnamed files; the removal of what killed
// saves left; and the byte-range copy the save uses for unchanged parts.
#include "catalog/NewCatalogFile.h"

#include "catalog/ReadAhead.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_unnamedAllowed{true};

// The random part of a temporary name: six letters or digits.
constexpr int kSuffixLength = 6;

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// What a save's temporary names for target start with.
QString tempPrefix(const QString &target)
{
    return QLatin1Char('.') + QFileInfo(target).fileName() + QStringLiteral(".ctf");
}

QString randomSuffix()
{
    static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString s;
    for (int i = 0; i < kSuffixLength; ++i)
        s += QLatin1Char(chars[QRandomGenerator::global()->bounded(int(sizeof chars - 1))]);
    return s;
}

bool isTempName(const QString &name, const QString &prefix)
{
    if (name.size() != prefix.size() + kSuffixLength || !name.startsWith(prefix))
        return false;
    for (qsizetype i = prefix.size(); i < name.size(); ++i)
        if (!(name[i].isLetterOrNumber() && name[i].unicode() < 128))
            return false;
    return true;
}

bool sameInode(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The new file replaces target: it takes target's group (where the user may
// give it that group; otherwise it keeps the user's) and then its mode. A new
// target keeps the mode open() gave it, 0666 under the umask.
void takeModeOf(int fd, const QString &target)
{
    struct stat st;
    if (::stat(encoded(target).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    if (::fchown(fd, uid_t(-1), st.st_gid) != 0) {
        // Not a member of that group: the file keeps the user's own.
    }
    ::fchmod(fd, st.st_mode & 07777);
}

// Unnamed files need O_TMPFILE and, to be linked in without privileges,
// the process's /proc/self/fd links.
bool unnamedPossible()
{
    return g_unnamedAllowed.load() && ::access("/proc/self/fd", X_OK) == 0;
}

} // namespace

TNewCatalogFile::TNewCatalogFile(const QString &folder, const QString &target) : m_folder(folder), m_target(target)
{
    int error = 0;
    if (unnamedPossible()) {
        m_fd = ::open(encoded(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        error = errno;
        // Locked from the start: once linked in under a temporary name it
        // must not look stale to another process's clean-up.
        if (m_fd >= 0)
            ::flock(m_fd, LOCK_EX);
    }
    // EOPNOTSUPP, EISDIR or EINVAL: the file system (or kernel) has no unnamed files.
    for (int attempt = 0; m_fd < 0 && attempt < 100; ++attempt) {
        const QString path = QDir(folder).filePath(tempPrefix(target) + randomSuffix());
        const QByteArray name = encoded(path);
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) {
            error = errno;
            if (error == EEXIST)
                continue;
            break;
        }
        // A clean-up running between the open and the lock may have removed
        // the name: then the file is no use, take another one.
        struct stat own, byName;
        const bool locked = ::flock(fd, LOCK_EX) == 0 || errno == ENOLCK;
        if (!locked || ::fstat(fd, &own) != 0 || ::lstat(name.constData(), &byName) != 0 ||
            !sameInode(own, byName)) {
            ::close(fd);
            continue;
        }
        m_fd = fd;
        m_path = path;
    }
    if (m_fd < 0)
        throw EWriteError(QStringLiteral("Cannot create a new file in ") + folder + QStringLiteral(": ") +
                          QString::fromLocal8Bit(std::strerror(error)));
    takeModeOf(m_fd, target);
    if (!m_file.open(m_fd, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)) {
        const QString why = m_file.errorString();
        if (!m_path.isEmpty())
            ::unlink(encoded(m_path).constData());
        ::close(m_fd);
        m_fd = -1;
        throw EWriteError(QStringLiteral("Cannot create a new file in ") + folder + QStringLiteral(": ") + why);
    }
}

TNewCatalogFile::~TNewCatalogFile()
{
    m_file.close();
    if (!m_path.isEmpty())
        ::unlink(encoded(m_path).constData());
    if (m_fd >= 0)
        ::close(m_fd);   // an unnamed file ends here
}

bool TNewCatalogFile::sync()
{
    return m_file.flush() && ::fsync(m_fd) == 0;
}

int64_t TNewCatalogFile::size() const
{
    struct stat st;
    return ::fstat(m_fd, &st) == 0 ? int64_t(st.st_size) : -1;
}

QString TNewCatalogFile::name()
{
    if (!m_path.isEmpty() || m_released)
        return m_path;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = QDir(m_folder).filePath(tempPrefix(m_target) + randomSuffix());
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, encoded(path).constData(), AT_SYMLINK_FOLLOW) == 0) {
            m_path = path;
            return path;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

int TNewCatalogFile::RemoveStale(const QString &target)
{
    const QString prefix = tempPrefix(target);
    QStringList folders{QFileInfo(target).absolutePath()};
    const QString tempFolder = QDir::tempPath();
    if (!tempFolder.isEmpty() && QFileInfo(tempFolder).absoluteFilePath() != folders[0])
        folders << tempFolder;
    int removed = 0;
    for (int i = 0; i < folders.size(); ++i) {
        const QDir dir(folders[i]);
        const bool shared = i > 0;
        for (const QString &entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            if (!isTempName(entry, prefix))
                continue;
            const QByteArray name = encoded(dir.filePath(entry));
            const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
            if (fd < 0)
                continue;
            // A save that runs holds the lock; in the shared temporary folder
            // only the user's own files are touched.
            struct stat own, byName;
            if (::fstat(fd, &own) == 0 && S_ISREG(own.st_mode) && (!shared || own.st_uid == ::geteuid()) &&
                ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(name.constData(), &byName) == 0 &&
                sameInode(own, byName) && ::unlink(name.constData()) == 0)
                ++removed;
            ::close(fd);
        }
    }
    return removed;
}

void TNewCatalogFile::SetUnnamedAllowed(bool allowed)
{
    g_unnamedAllowed = allowed;
}

bool CopyFileBytes(int inFd, int64_t inOffset, int outFd, int64_t outOffset, int64_t count)
{
    if (count < 0)
        return false;
    loff_t in = inOffset, out = outOffset;
    // copy_file_range lets the file system share or copy the blocks itself,
    // without passing them through this process.
    while (count > 0) {
        const ssize_t n = ::copy_file_range(inFd, &in, outFd, &out, size_t(count), 0);
        if (n > 0) {
            count -= n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            return false;   // the source ended early
        break;              // not offered here (EXDEV, ENOSYS, EINVAL, ...): copy through memory
    }
    constexpr size_t kBuffer = size_t(1) << 20;   // large pieces: few system calls
    std::vector<char> buf(count > 0 ? std::min<size_t>(kBuffer, size_t(count)) : 0);
    while (count > 0) {
        const ssize_t got = ::pread(inFd, buf.data(), std::min<size_t>(buf.size(), size_t(count)), in);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::pwrite(outFd, buf.data() + done, size_t(got - done), out);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
            done += put;
            out += put;
        }
        in += got;
        count -= got;
    }
    return true;
}

void SyncFolder(const QString &folder)
{
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
