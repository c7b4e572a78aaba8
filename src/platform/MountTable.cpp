// The mount table and what its fields tell: which file systems are pseudo
// ones, network or RAM file systems, and which block device a source is.
#include "platform/MountTable.h"

#include <QFile>
#include <QFileInfo>

namespace {

bool isUnder(const QString &path, QLatin1StringView folder)
{
    return path == folder || (path.startsWith(folder) && path.size() > folder.size()
                              && path[folder.size()] == QLatin1Char('/'));
}

// Undoes the octal escapes (\040 space, \011 tab, \012 newline, \134
// backslash) the kernel writes into mount-table fields.
QString unescapeMountField(QByteArrayView field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], d = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && d >= '0' && d <= '7') {
                bytes.append(char(((a - '0') << 6) | ((b - '0') << 3) | (d - '0')));
                i += 3;
                continue;
            }
        }
        bytes.append(c);
    }
    return QFile::decodeName(bytes);
}

} // namespace

QList<TMountEntry> ParseMountInfo(QByteArrayView text)
{
    // Each line: id parent major:minor root mount-point options [optional...] - type source super-options
    QList<TMountEntry> mounts;
    qsizetype lineStart = 0;
    while (lineStart < text.size()) {
        qsizetype lineEnd = text.indexOf('\n', lineStart);
        if (lineEnd < 0)
            lineEnd = text.size();
        const QByteArrayView line = text.sliced(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;

        QList<QByteArrayView> fields;
        qsizetype start = 0;
        for (qsizetype i = 0; i <= line.size(); ++i) {
            if (i == line.size() || line[i] == ' ') {
                if (i > start)
                    fields.append(line.sliced(start, i - start));
                start = i + 1;
            }
        }
        qsizetype separator = -1;
        for (qsizetype i = 6; i < fields.size(); ++i) {
            if (fields[i] == "-") {
                separator = i;
                break;
            }
        }
        if (separator < 0 || separator + 2 >= fields.size())
            continue;
        TMountEntry entry;
        entry.mountPoint = unescapeMountField(fields[4]);
        entry.options = unescapeMountField(fields[5]);
        entry.fsType = unescapeMountField(fields[separator + 1]);
        entry.device = unescapeMountField(fields[separator + 2]);
        if (!entry.mountPoint.startsWith(QLatin1Char('/')))
            continue;
        while (entry.mountPoint.size() > 1 && entry.mountPoint.endsWith(QLatin1Char('/')))
            entry.mountPoint.chop(1);
        mounts.append(entry);
    }
    return mounts;
}

QList<TMountEntry> SystemMounts()
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ParseMountInfo(file.readAll());
}

bool IsPseudoFileSystem(const QString &fsType, const QString &mountPoint)
{
    static const char *const pseudo[] = {
        "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "overlay", "aufs", "squashfs", "efivarfs",
        "tracefs", "debugfs", "securityfs", "pstore", "bpf", "mqueue", "hugetlbfs", "configfs", "fusectl",
        "autofs", "binfmt_misc", "nsfs", "rpc_pipefs", "selinuxfs", "nfsd", "rootfs", "shiftfs",
        "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs", "fuse.snapfuse", "fuse.xdg-document-portal",
    };
    for (const char *name : pseudo)
        if (fsType == QLatin1StringView(name))
            return true;
    // The system's own places, whatever is mounted there.
    static const char *const systemPlaces[] = {"/proc", "/sys", "/dev", "/snap", "/var/lib/docker",
                                               "/var/lib/snapd", "/var/lib/containers"};
    for (const char *place : systemPlaces)
        if (isUnder(mountPoint, QLatin1StringView(place)))
            return true;
    if (isUnder(mountPoint, QLatin1StringView("/run")) && !isUnder(mountPoint, QLatin1StringView("/run/media")))
        return true;
    // RAM file systems hold the system's scratch space unless a user put one elsewhere.
    if (IsRamFileSystem(fsType)
        && (isUnder(mountPoint, QLatin1StringView("/tmp")) || isUnder(mountPoint, QLatin1StringView("/var"))
            || isUnder(mountPoint, QLatin1StringView("/boot")) || mountPoint == QLatin1StringView("/")))
        return true;
    return false;
}

bool IsRemoteFileSystem(const QString &fsType)
{
    static const char *const remote[] = {
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "sshfs", "fuse.sshfs", "9p", "davfs", "fuse.davfs2",
        "ceph", "fuse.ceph", "glusterfs", "fuse.glusterfs", "afs", "fuse.rclone",
    };
    for (const char *name : remote)
        if (fsType == QLatin1StringView(name))
            return true;
    return false;
}

bool IsRamFileSystem(const QString &fsType)
{
    return fsType == QLatin1StringView("tmpfs") || fsType == QLatin1StringView("ramfs");
}

bool MountHolds(const QString &mountPoint, const QString &path)
{
    return mountPoint == QLatin1StringView("/") || path == mountPoint
           || (path.startsWith(mountPoint) && path.size() > mountPoint.size()
               && path[mountPoint.size()] == QLatin1Char('/'));
}

QString BlockNameOf(const QString &device)
{
    if (!device.startsWith(QLatin1StringView("/dev/")))
        return {};
    // /dev/mapper/... and /dev/disk/by-*/... are links to the kernel's node.
    const QString canonical = QFileInfo(device).canonicalFilePath();
    const QString path = canonical.startsWith(QLatin1StringView("/dev/")) ? canonical : device;
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}
