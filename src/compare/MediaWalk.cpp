// The compare's walk of a medium. It reads folders the way the scan does
// (opendir on an open folder, statx per entry relative to it), so a tree of
// 200 k files costs about what a plain walk of it costs; see DiskScan.cpp for
// why QDir is not used here.
#include "compare/MediaWalk.h"

#include "catalog/CatalogRec.h"
#include "scan/DiskScan.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString MsgMediaRemoved(const QString &path)
{
    return QStringLiteral("The media at \"%1\" could not be read to the end (was it removed?); "
                          "the comparison was stopped and its results were dropped.").arg(path);
}

namespace {

struct WalkCancelled {};

class WalkFailure : public std::runtime_error
{
public:
    explicit WalkFailure(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

QString pathError(QByteArrayView path, int error)
{
    return QStringLiteral("%1: %2").arg(QFile::decodeName(path.toByteArray()), QString::fromLocal8Bit(std::strerror(error)));
}

// Errors that mean "this folder is not there or not ours to read": it lists nothing.
bool folderGone(int error)
{
    return error == ENOENT || error == ENOTDIR || error == EACCES || error == EPERM || error == ELOOP;
}

// The file system an entry lies on, as the scan tells them apart.
bool mountIdOf(const char *path, uint64_t &id, bool &isDir)
{
    struct statx stx;
    if (statx(AT_FDCWD, path, AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MNT_ID, &stx) != 0)
        return false;
    id = (stx.stx_mask & STATX_MNT_ID) ? stx.stx_mnt_id : (uint64_t(stx.stx_dev_major) << 32 | stx.stx_dev_minor);
    isDir = S_ISDIR(stx.stx_mode);
    return true;
}

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

struct SubFolder {
    QByteArray rawName;
    QByteArray name;
};

} // namespace

TWalkOutcome TMediaWalk::run(const QByteArray &nativeRoot, bool rootMustExist, const FolderFn &onFolder,
                             const FileFn &onFile)
{
    TWalkOutcome outcome;
    m_onFolder = onFolder;
    m_onFile = onFile;
    m_folder.clear();
    m_native = nativeRoot;
    if (!m_native.endsWith('/'))
        m_native.append('/');
    const QByteArray rootPath = nativeRoot.isEmpty() ? QByteArray("/") : nativeRoot;
    try {
        bool isDir = false;
        if (!mountIdOf(rootPath.constData(), m_rootMountId, isDir) || !isDir) {
            const int error = isDir ? errno : ENOTDIR;
            if (rootMustExist || !folderGone(error))
                throw WalkFailure(pathError(rootPath, error));
            if (m_onFolder)
                m_onFolder(m_folder);
            return outcome;   // a folder that is gone from the medium lists nothing
        }
        const int fd = ::open(rootPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 && (rootMustExist || !folderGone(errno)))
            throw WalkFailure(pathError(rootPath, errno));
        Fd root(fd);
        walkFolder(root.get(), 0);
        // Every fd stayed valid if the medium was pulled meanwhile, so the
        // walk may have read a few folders fewer than were there: the root
        // must still be the same file system.
        uint64_t endId = 0;
        if (!mountIdOf(rootPath.constData(), endId, isDir) || !isDir || endId != m_rootMountId)
            throw WalkFailure(MsgMediaRemoved(QFile::decodeName(rootPath)));
    } catch (const WalkCancelled &) {
        outcome.Status = TWalkStatus::Cancelled;
    } catch (const WalkFailure &e) {
        outcome.Status = TWalkStatus::Failed;
        outcome.Message = e.message();
    } catch (const std::bad_alloc &) {
        outcome.Status = TWalkStatus::Failed;
        outcome.Message = QStringLiteral("Out of memory");
    } catch (const std::exception &e) {
        outcome.Status = TWalkStatus::Failed;
        outcome.Message = QString::fromLocal8Bit(e.what());
    }
    return outcome;
}

void TMediaWalk::walkFolder(int dirFd, int depth)
{
    if (m_onFolder)
        m_onFolder(m_folder);
    if (dirFd < 0)
        return;
    const int listFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    DIR *dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        const int error = errno;
        if (listFd >= 0)
            ::close(listFd);
        throw WalkFailure(pathError(m_native, error));
    }
    struct Closer {
        DIR *d;
        ~Closer() { ::closedir(d); }
    } closer{dir};

    std::vector<SubFolder> subfolders;
    QByteArray storage;
    for (;;) {
        m_progress.processEvents();
        if (m_progress.cancelRequested())
            throw WalkCancelled();
        errno = 0;
        const struct dirent *entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                throw WalkFailure(pathError(m_native, errno));
            break;
        }
        const char *raw = entry->d_name;
        if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0)))
            continue;
        const QByteArrayView rawName(raw, qsizetype(std::strlen(raw)));
        EntryInfo info;
        if (!ReadMediaEntry(dirFd, raw, m_times, m_rules.DosAttributes, info)) {
            const int error = errno;
            if (error == ENOENT)
                continue;   // gone since the folder was listed
            if (error != EACCES && error != EPERM)
                throw WalkFailure(pathError(m_native + rawName.toByteArray(), error));
            // No search right on the folder: what the entry itself says, as the scan stores it.
            info.folder = entry->d_type == DT_DIR;
            info.regular = entry->d_type == DT_REG;
            info.attr = uint8_t((info.folder ? faDirectory : info.regular ? faArchive : 0) |
                                (raw[0] == '.' ? faHidden : 0));
            info.mountId = m_rootMountId;
        }
        const bool hidden = (info.attr & faHidden) != 0;
        if (info.folder) {
            if (!m_rules.Subfolders || depth + 1 > kMaxFolderDepth)
                continue;
            if ((hidden && m_rules.SkipHiddenFolders) || (m_rules.SkipRecycleBins && IsRecycleBinName(rawName)))
                continue;
            if (m_rules.StayOnFileSystem && info.mountId != m_rootMountId)
                continue;
            subfolders.push_back({rawName.toByteArray(), NormalizeNameCase(rawName, storage).toByteArray()});
            continue;
        }
        if (hidden && m_rules.SkipHiddenFiles)
            continue;
        TWalkFile file;
        file.Folder = m_folder;
        file.NativeFolder = m_native;
        file.Name = NormalizeNameCase(rawName, storage);
        file.Info = &info;
        m_onFile(file);
    }

    const qsizetype folderLength = m_folder.size();
    const qsizetype nativeLength = m_native.size();
    for (const SubFolder &sub : subfolders) {
        if (m_progress.cancelRequested())
            throw WalkCancelled();
        const int childFd = ::openat(dirFd, sub.rawName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (childFd < 0 && !folderGone(errno))
            throw WalkFailure(pathError(m_native + sub.rawName, errno));
        Fd child(childFd);
        if (!m_folder.isEmpty())
            m_folder.append('\\');
        m_folder.append(sub.name);
        m_native.append(sub.rawName).append('/');
        walkFolder(child.get(), depth + 1);
        m_folder.truncate(folderLength);
        m_native.truncate(nativeLength);
    }
}
