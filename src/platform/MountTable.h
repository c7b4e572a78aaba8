// The mount table: what is mounted where, read from /proc/self/mountinfo,
// and the facts the drive layer takes from a mount type and source (pseudo,
// network and RAM file systems, the block device behind a source).
#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

// One line of the mount table.
struct TMountEntry {
    QString device;       // "/dev/sdb1", "server:/export", "tmpfs", ...
    QString mountPoint;   // absolute, without a trailing "/" (except "/")
    QString fsType;       // "vfat", "ext4", "nfs4", "fuse.sshfs", ...
    QString options;
};

// Parses /proc/self/mountinfo text (octal escapes such as \040 undone);
// lines that do not parse are skipped.
QList<TMountEntry> ParseMountInfo(QByteArrayView text);
// The machine's own mount table; empty when it cannot be read.
QList<TMountEntry> SystemMounts();
// Pseudo and system file systems that are never drives (proc, sysfs, ...).
bool IsPseudoFileSystem(const QString &fsType, const QString &mountPoint);
// Network file systems (nfs, cifs, sshfs, ...): remote drives.
bool IsRemoteFileSystem(const QString &fsType);
// File systems kept in memory (tmpfs, ramfs): RAM disks.
bool IsRamFileSystem(const QString &fsType);
// Whether a file system mounted at mountPoint holds the absolute, clean path.
bool MountHolds(const QString &mountPoint, const QString &path);
// The kernel name of the block device a mount-table source names ("sdb1"
// for "/dev/sdb1" or a link to it), or empty when the source is no device path.
QString BlockNameOf(const QString &device);
