// Ejecting a medium: which drives may eject (never the one holding the
// system, the home folders or the catalog being written), and the ways tried
// in their order.
#include "platform/Eject.h"

#include "platform/Drives.h"
#include "platform/MountTable.h"
#include "platform/Sysfs.h"
#include "platform/UDisks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

// The machine's own ways to eject. Programs run with a time limit so that a
// hung device cannot hang us.
TEjectCalls SystemEjectCalls(const std::function<bool(const QString &)> &mayRun)
{
    TEjectCalls calls;
    calls.udisksRunning = UDisksRunning;
    calls.udisksUnmount = UDisksUnmount;
    calls.udisksEject = UDisksEject;
    calls.udisksPowerOff = UDisksPowerOff;
    calls.ejectProgram = [mayRun](const QString &device) -> std::optional<bool> {
        constexpr int kProgramMillis = 60000;
        if (mayRun && !mayRun(QStringLiteral("eject")))
            return std::nullopt;
        const QString path = QStandardPaths::findExecutable(QStringLiteral("eject"));
        if (path.isEmpty())
            return std::nullopt;
        QProcess process;
        process.start(path, {device});
        if (!process.waitForFinished(kProgramMillis)) {
            process.kill();
            process.waitForFinished();
            return false;
        }
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    };
    calls.unmount = [](const QString &mountPoint) {
        return ::umount(QFile::encodeName(mountPoint).constData()) == 0;
    };
    calls.ejectIoctl = [](const QString &device) {
        const QByteArray native = QFile::encodeName(device);
        struct stat st{};
        if (::stat(native.constData(), &st) != 0 || !S_ISBLK(st.st_mode))
            return false;
        const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        const bool ejected = fd >= 0 && ::ioctl(fd, CDROMEJECT, 0) == 0;
        if (fd >= 0)
            ::close(fd);
        return ejected;
    };
    return calls;
}

QString TDrives::ejectRefusal(QChar letter, const QStringList &keepPaths) const
{
    const QString name = QString(letter.toUpper()) + QLatin1Char(':');
    auto refused = [&](const QString &reason) {
        return QStringLiteral("Drive %1 was not ejected: %2.").arg(name, reason);
    };
    const auto d = drive(letter);
    if (!d)
        return refused(QStringLiteral("there is no such drive"));
    if (d->mountPoint.isEmpty())
        return refused(QStringLiteral("it is not ready"));
    if (d->type == TDriveType::Remote)
        return refused(QStringLiteral("it is a network drive"));
    if (d->type == TDriveType::RamDisk)
        return refused(QStringLiteral("it is a RAM disk"));
    const QString diskDir = diskFolder(d->blockName);
    const bool ejectable = IsNumberedDevice(d->blockName, QLatin1StringView("sr"))
                           || IsNumberedDevice(d->blockName, QLatin1StringView("fd"))
                           || (!diskDir.isEmpty()
                               && (ReadSmallFile(diskDir + QStringLiteral("/removable")).trimmed() == "1"
                                   || HangsOffUsb(diskDir)));
    if (!ejectable)
        return refused(d->type == TDriveType::Fixed ? QStringLiteral("it is a fixed disk")
                                                    : QStringLiteral("it is not a drive that can eject"));

    // What must stay: the file system holding each of these paths, and every
    // other partition of the disk it lies on.
    const QList<TMountEntry> mounts = m_sources.mounts();
    auto holding = [&](const QString &path) -> const TMountEntry * {
        const TMountEntry *best = nullptr;
        for (const TMountEntry &m : mounts) {
            // A later mount on the same place hides the earlier one.
            if (MountHolds(m.mountPoint, path) && (!best || m.mountPoint.size() >= best->mountPoint.size()))
                best = &m;
        }
        return best;
    };
    const QList<QPair<QString, QString>> kept = [&] {
        QList<QPair<QString, QString>> list{
            {QStringLiteral("/"), QStringLiteral("the root file system")},
            {QStringLiteral("/home"), QStringLiteral("the home folders")},
            {QDir::homePath(), QStringLiteral("the home folders")},
        };
        for (const QString &path : keepPaths)
            if (!path.isEmpty())
                list.append({path, QStringLiteral("the catalog being written")});
        return list;
    }();
    for (const auto &[path, what] : kept) {
        const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        const QString canonical = QFileInfo(absolute).canonicalFilePath();
        for (const QString &candidate : {absolute, canonical}) {
            const TMountEntry *m = candidate.isEmpty() ? nullptr : holding(candidate);
            if (!m)
                continue;
            const QString otherDisk = diskFolder(BlockNameOf(m->device));
            if (m->mountPoint == d->mountPoint || (!diskDir.isEmpty() && otherDisk == diskDir))
                return refused(QStringLiteral("its disk holds ") + what);
        }
    }
    return {};
}

bool TDrives::EjectMedia(QChar letter, const QStringList &keepPaths, QString *why)
{
    const QString refusal = ejectRefusal(letter, keepPaths);
    if (why)
        *why = refusal;
    if (!refusal.isEmpty())
        return false;
    const auto d = drive(letter);
    const TEjectCalls &calls = m_sources.eject;
    const QString device = QStringLiteral("/dev/") + d->blockName;
    const QString diskDir = diskFolder(d->blockName);
    const QString wholeDisk =
        diskDir.isEmpty() ? device : QStringLiteral("/dev/") + diskDir.mid(diskDir.lastIndexOf(QLatin1Char('/')) + 1);
    // A USB disk leaves as a whole (powered off, as the desktop does);
    // discs, cartridges and cards leave their drive.
    const bool powerOff = d->type != TDriveType::CdRom && !diskDir.isEmpty() && HangsOffUsb(diskDir);

    bool unmounted = false;
    bool ejected = false;
    if (calls.udisksRunning && calls.udisksRunning()) {
        unmounted = calls.udisksUnmount && calls.udisksUnmount(device);
        if (unmounted && powerOff)
            ejected = calls.udisksPowerOff && calls.udisksPowerOff(device);
        if (unmounted && !ejected)
            ejected = calls.udisksEject && calls.udisksEject(device);
    }
    if (!ejected && calls.ejectProgram)
        ejected = calls.ejectProgram(device).value_or(false);
    if (!ejected) {
        if (!unmounted)
            unmounted = calls.unmount && calls.unmount(d->mountPoint);
        if (unmounted)
            ejected = calls.ejectIoctl && calls.ejectIoctl(wholeDisk);
    }
    refresh();
    if (!ejected && why)
        *why = QStringLiteral("Drive %1: could not be ejected; it may still be in use.").arg(letter.toUpper());
    return ejected;
}
