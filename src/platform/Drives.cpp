// Drives and media on Linux. Letters are bound to devices once per run:
// floppies take A: and B:, the root file system C:, optical drives and then
// every other file system a user browses follow from D: in mount-point order.
// Drive types, media types, volume data and geometry come from the mount
// table, sysfs, libblkid and statvfs, each read through TDriveSources.
#include "platform/Drives.h"

#include "platform/Texts.h"
#include "platform/UDisks.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <blkid/blkid.h>

#include <algorithm>
#include <climits>
#include <string_view>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// Sysfs and udev files we read are a few bytes; anything longer is not theirs.
constexpr qint64 kMaxSmallFile = 4096;

QByteArray readSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(kMaxSmallFile);
}

int letterIndex(QChar letter)
{
    const char16_t c = letter.toUpper().unicode();
    return c >= u'A' && c <= u'Z' ? int(c - u'A') : -1;
}

// "fd0", "sr12": the name followed by digits only.
bool isNumberedDevice(const QString &name, QLatin1StringView prefix)
{
    if (!name.startsWith(prefix) || name.size() == prefix.size())
        return false;
    for (qsizetype i = prefix.size(); i < name.size(); ++i)
        if (!name[i].isDigit())
            return false;
    return true;
}

bool isRemoteType(const QString &fsType)
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

bool isRamType(const QString &fsType)
{
    return fsType == QLatin1StringView("tmpfs") || fsType == QLatin1StringView("ramfs");
}

bool isUnder(const QString &path, QLatin1StringView folder)
{
    return path == folder || (path.startsWith(folder) && path.size() > folder.size()
                              && path[folder.size()] == QLatin1Char('/'));
}

// Whether a file system mounted at mountPoint holds the absolute, clean path.
bool mountHolds(const QString &mountPoint, const QString &path)
{
    return mountPoint == QLatin1StringView("/") || path == mountPoint
           || (path.startsWith(mountPoint) && path.size() > mountPoint.size()
               && path[mountPoint.size()] == QLatin1Char('/'));
}

// Whether the sysfs folder of a disk lies below a USB controller ("usbN")
// of the device tree: a USB disk, whatever its "removable" file says.
bool hangsOffUsb(const QString &diskDir)
{
    static const QRegularExpression usbPart(QStringLiteral("/usb\\d+(/|$)"));
    return usbPart.match(QFileInfo(diskDir).canonicalFilePath()).hasMatch();
}

// The kernel name of the block device a mount-table source names, or empty
// when the source is no device path.
QString blockNameOf(const QString &device)
{
    if (!device.startsWith(QLatin1StringView("/dev/")))
        return {};
    // /dev/mapper/... and /dev/disk/by-*/... are links to the kernel's node.
    const QString canonical = QFileInfo(device).canonicalFilePath();
    const QString path = canonical.startsWith(QLatin1StringView("/dev/")) ? canonical : device;
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The key that ties a letter to what is mounted: the device for block
// devices and network sources, the source and its place for the rest.
QString deviceKey(const TMountEntry &mount)
{
    const QString block = blockNameOf(mount.device);
    if (!block.isEmpty())
        return QStringLiteral("blk:") + block;
    if (mount.device.startsWith(QLatin1Char('/')))
        return QStringLiteral("dev:") + mount.device;
    if (isRemoteType(mount.fsType))
        return QStringLiteral("net:") + mount.device;
    return QStringLiteral("fs:%1:%2@%3").arg(mount.fsType, mount.device, mount.mountPoint);
}

// Whether a mount that is not "/" is a file system a user browses.
bool isUserFileSystem(const TMountEntry &mount)
{
    if (IsPseudoFileSystem(mount.fsType, mount.mountPoint))
        return false;
    if (mount.device.startsWith(QLatin1Char('/')) || isRemoteType(mount.fsType) || isRamType(mount.fsType))
        return true;
    return mount.fsType.startsWith(QLatin1StringView("fuse.")) || mount.fsType == QLatin1StringView("fuseblk");
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

// Undoes udev's \xHH escapes in /dev/disk/by-label names.
QByteArray unescapeUdevName(const QByteArray &name)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            bool ok = false;
            const int value = name.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                bytes.append(char(value));
                i += 3;
                continue;
            }
        }
        bytes.append(name[i]);
    }
    return bytes;
}

// The hexadecimal digits of a text, others skipped.
QByteArray hexDigits(QByteArrayView text)
{
    QByteArray digits;
    for (char c : text)
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))
            digits.append(c);
    return digits;
}

// The serial shown for a file system type and the UUID libblkid or udev
// report: FAT and exFAT volume IDs as they are, NTFS the low 32 bits of its
// 64-bit serial, ext/btrfs/xfs the first four bytes of the UUID.
std::optional<uint32_t> serialFromUuid(const QString &type, QByteArrayView uuid)
{
    const QByteArray digits = hexDigits(uuid);
    bool ok = false;
    uint32_t value = 0;
    if (type == QLatin1StringView("vfat") || type == QLatin1StringView("msdos")
        || type == QLatin1StringView("exfat")) {
        if (digits.size() != 8)
            return std::nullopt;
        value = digits.toUInt(&ok, 16);
    } else if (type == QLatin1StringView("ntfs") || type == QLatin1StringView("ntfs3")
               || type == QLatin1StringView("fuseblk")) {
        if (digits.size() != 16)
            return std::nullopt;
        value = digits.right(8).toUInt(&ok, 16);
    } else if (type.startsWith(QLatin1StringView("ext")) || type == QLatin1StringView("jbd")
               || type == QLatin1StringView("btrfs") || type == QLatin1StringView("xfs")) {
        if (digits.size() != 32)
            return std::nullopt;
        value = digits.left(8).toUInt(&ok, 16);
    }
    return ok ? std::optional<uint32_t>(value) : std::nullopt;
}

// A file system's identifier folded to 32 bits, so both halves count.
uint32_t serialFromFsid(uint64_t fsid)
{
    return uint32_t(fsid ^ (fsid >> 32));
}

// Reads exactly size bytes at offset of a regular file or block device;
// empty on anything else or a short read.
QByteArray readDeviceBytes(const QString &path, qint64 offset, qint64 size)
{
    struct stat st{};
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)))
        return {};
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    QByteArray bytes(size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, bytes.data() + done, size_t(size - done), off_t(offset + done));
        if (n <= 0)
            break;
        done += n;
    }
    ::close(fd);
    return done == size ? bytes : QByteArray();
}

// ISO 9660 volume descriptors start at sector 16, 2048 bytes each; the
// primary one has type 1 and the set ends with type 255.
constexpr qint64 kIsoSector = 2048;
constexpr qint64 kIsoFirstDescriptor = 16;
constexpr int kIsoMaxDescriptors = 32;   // real discs have a handful

QByteArray readIsoPrimaryDescriptor(const QString &path)
{
    for (int i = 0; i < kIsoMaxDescriptors; ++i) {
        const QByteArray sector = readDeviceBytes(path, (kIsoFirstDescriptor + i) * kIsoSector, kIsoSector);
        if (sector.size() != kIsoSector || sector.mid(1, 5) != "CD001")
            return {};
        const uint8_t type = uint8_t(sector[0]);
        if (type == 1)
            return sector;
        if (type == 255)
            return {};
    }
    return {};
}

std::optional<TFsSpace> systemSpace(const QString &path)
{
    struct statvfs st{};
    if (::statvfs(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    TFsSpace space;
    space.blockSize = st.f_frsize ? st.f_frsize : st.f_bsize;
    space.blocks = st.f_blocks;
    space.freeBlocks = st.f_bavail;
    space.fsid = uint64_t(st.f_fsid);
    space.nameMax = uint32_t(std::min<unsigned long>(st.f_namemax, UINT32_MAX));
    return space;
}

QList<TMountEntry> systemMounts()
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ParseMountInfo(file.readAll());
}

// a x b x c, at most INT64_MAX.
int64_t saturatedProduct(uint64_t a, uint64_t b, uint64_t c)
{
    const unsigned __int128 product = (unsigned __int128)a * b * c;
    return product > (unsigned __int128)INT64_MAX ? INT64_MAX : int64_t(product);
}

// n / d rounded to the nearest integer, for n >= 0 and d > 0.
int64_t roundedQuotient(int64_t n, __int128 d)
{
    return int64_t((__int128(n) + d / 2) / d);
}

} // namespace

QString FindFolderBelow(const QString &root, QByteArrayView storedPath)
{
    QString current = root == QLatin1StringView("/") ? QString() : root;
    const QList<QByteArrayView> parts = [&] {
        QList<QByteArrayView> list;
        qsizetype start = 0;
        for (qsizetype i = 0; i <= storedPath.size(); ++i) {
            if (i == storedPath.size() || storedPath[i] == '\\') {
                if (i > start)
                    list.append(storedPath.sliced(start, i - start));
                start = i + 1;
            }
        }
        return list;
    }();
    for (QByteArrayView part : parts) {
        const QString name = DecodeStored(part);
        if (name == QLatin1StringView(".") || name == QLatin1StringView("..") || name.contains(QLatin1Char('/')))
            return {};
        const QString exact = current + QLatin1Char('/') + name;
        if (QFileInfo(exact).isDir()) {
            current = exact;
            continue;
        }
        const QStringList entries = QDir(current).entryList(QDir::Dirs | QDir::Hidden | QDir::System
                                                            | QDir::NoDotAndDotDot);
        const auto it = std::find_if(entries.begin(), entries.end(), [&](const QString &entry) {
            return entry.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (it == entries.end())
            return {};
        current += QLatin1Char('/') + *it;
    }
    return current.isEmpty() ? root : current;
}

// ---------------------------------------------------------------------------
// Mount table

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
    if (isRamType(fsType)
        && (isUnder(mountPoint, QLatin1StringView("/tmp")) || isUnder(mountPoint, QLatin1StringView("/var"))
            || isUnder(mountPoint, QLatin1StringView("/boot")) || mountPoint == QLatin1StringView("/")))
        return true;
    return false;
}

QByteArray FileSystemDisplayName(const QString &fsType, bool fat32)
{
    static const struct {
        const char *type;
        const char *name;
    } names[] = {
        {"vfat", "FAT"}, {"msdos", "FAT"}, {"iso9660", "CDFS"}, {"udf", "UDF"}, {"ntfs", "NTFS"},
        {"ntfs3", "NTFS"}, {"fuseblk", "NTFS"}, {"exfat", "EXFAT"}, {"nfs", "NFS"}, {"nfs4", "NFS"},
        {"cifs", "CIFS"}, {"smb3", "CIFS"}, {"smbfs", "CIFS"}, {"tmpfs", "TMPFS"},
    };
    for (const auto &entry : names) {
        if (fsType == QLatin1StringView(entry.type)) {
            if (fat32 && entry.name == std::string_view("FAT"))
                return "FAT32";
            return entry.name;
        }
    }
    QString name = fsType;
    if (name.startsWith(QLatin1StringView("fuse.")))
        name = name.mid(5);
    return name.toUpper().toUtf8().left(kFileSystemNameMaxBytes);
}

QByteArray NormalizeVolumeLabel(QByteArrayView raw)
{
    // Labels are padded with spaces on FAT and ISO media.
    while (!raw.isEmpty() && (raw.back() == ' ' || raw.back() == '\0'))
        raw.chop(1);
    QString label = DecodeDosBytes(raw);
    if (label == label.toUpper())
        label = label.toLower();
    if (!label.isEmpty()) {
        const qsizetype firstLength = label[0].isHighSurrogate() && label.size() > 1 ? 2 : 1;
        label = label.left(firstLength).toUpper() + label.mid(firstLength);
    }
    return CutAtCharBoundary(label.toUtf8(), kVolumeLabelMaxBytes).toByteArray();
}

uint32_t IsoVolumeSerial(QByteArrayView pvd)
{
    if (pvd.size() != kIsoSector)
        return 0;
    uint8_t lanes[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < pvd.size(); ++i)
        lanes[i % 4] = uint8_t(lanes[i % 4] + uint8_t(pvd[i]));
    return uint32_t(lanes[0]) << 24 | uint32_t(lanes[1]) << 16 | uint32_t(lanes[2]) << 8 | lanes[3];
}

std::optional<TProbedVolume> ProbeVolume(const QString &path)
{
    struct stat st{};
    const QByteArray native = QFile::encodeName(path);
    // Only files and block devices: opening a pipe or a terminal could hang.
    if (::stat(native.constData(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)))
        return std::nullopt;
    blkid_probe probe = blkid_new_probe_from_filename(native.constData());
    if (!probe)
        return std::nullopt;
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE
                                                 | BLKID_SUBLKS_VERSION);
    blkid_probe_enable_partitions(probe, 0);
    std::optional<TProbedVolume> result;
    if (blkid_do_safeprobe(probe) == 0) {
        auto value = [&](const char *name) -> QByteArray {
            const char *data = nullptr;
            size_t length = 0;
            if (blkid_probe_lookup_value(probe, name, &data, &length) != 0 || !data)
                return {};
            // The length counts the terminating zero of the string.
            return QByteArray(data, qsizetype(strnlen(data, length)));
        };
        TProbedVolume volume;
        volume.type = value("TYPE");
        if (!volume.type.isEmpty()) {
            volume.label = value("LABEL");
            const QString type = QString::fromLatin1(volume.type);
            volume.fileSystem = FileSystemDisplayName(type, value("VERSION") == "FAT32");
            if (type == QLatin1StringView("iso9660")) {
                const QByteArray pvd = readIsoPrimaryDescriptor(path);
                if (!pvd.isEmpty()) {
                    volume.serial = IsoVolumeSerial(pvd);
                    volume.hasSerial = true;
                }
            } else if (const auto serial = serialFromUuid(type, value("UUID"))) {
                volume.serial = *serial;
                volume.hasSerial = true;
            }
            result = volume;
        }
    }
    blkid_free_probe(probe);
    return result;
}

// The machine's own ways to eject. Programs run with a time limit so that a
// hung device cannot hang us.
TEjectCalls systemEjectCalls(const std::function<bool(const QString &)> &mayRun)
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

TDriveSources SystemDriveSources()
{
    TDriveSources sources;
    sources.mounts = systemMounts;
    sources.space = systemSpace;
    sources.now = [] { return QDateTime::currentDateTime(); };
    sources.mayRun = [](const QString &) { return true; };
    sources.eject = systemEjectCalls(sources.mayRun);
    return sources;
}

// ---------------------------------------------------------------------------
// The drive table

TDrives::TDrives(TDriveSources sources) : m_sources(std::move(sources))
{
    const TDriveSources system = SystemDriveSources();
    if (!m_sources.mounts)
        m_sources.mounts = system.mounts;
    if (!m_sources.space)
        m_sources.space = system.space;
    if (!m_sources.now)
        m_sources.now = system.now;
    if (!m_sources.mayRun)
        m_sources.mayRun = system.mayRun;
    if (!m_sources.dosAttributes)
        m_sources.dosAttributes = DosAttributeReader;
    if (m_sources.readDevices) {
        const TEjectCalls own = systemEjectCalls(m_sources.mayRun);
        TEjectCalls &calls = m_sources.eject;
        if (!calls.udisksRunning)
            calls.udisksRunning = own.udisksRunning;
        if (!calls.udisksUnmount)
            calls.udisksUnmount = own.udisksUnmount;
        if (!calls.udisksEject)
            calls.udisksEject = own.udisksEject;
        if (!calls.udisksPowerOff)
            calls.udisksPowerOff = own.udisksPowerOff;
        if (!calls.ejectProgram)
            calls.ejectProgram = own.ejectProgram;
        if (!calls.unmount)
            calls.unmount = own.unmount;
        if (!calls.ejectIoctl)
            calls.ejectIoctl = own.ejectIoctl;
    }
    m_mediaCache.fill(kMediaUnknown);
    refresh();
}

void TDrives::refresh()
{
    QList<TMountEntry> mounts = m_sources.mounts();
    // A later mount on the same place hides the earlier one.
    {
        QList<TMountEntry> visible;
        for (qsizetype i = mounts.size() - 1; i >= 0; --i) {
            const bool hidden = std::any_of(visible.begin(), visible.end(), [&](const TMountEntry &m) {
                return m.mountPoint == mounts[i].mountPoint;
            });
            if (!hidden)
                visible.prepend(mounts[i]);
        }
        mounts = visible;
    }

    struct Candidate {
        QString key;
        TDrive drive;
        int group;   // 0 floppy, 1 root, 2 optical, 3 other
    };
    QList<Candidate> candidates;
    QStringList usedKeys;
    auto mountOfKey = [&](const QString &key) -> const TMountEntry * {
        for (const TMountEntry &m : mounts)
            if (deviceKey(m) == key)
                return &m;
        return nullptr;
    };
    auto addCandidate = [&](const QString &key, const TMountEntry *mount, const QString &block, int group) {
        if (usedKeys.contains(key))
            return;
        usedKeys.append(key);
        TDrive drive;
        drive.blockName = block;
        if (mount) {
            drive.device = mount->device;
            drive.mountPoint = mount->mountPoint;
            drive.fsType = mount->fsType;
        } else {
            drive.device = QStringLiteral("/dev/") + block;
        }
        drive.type = typeOf(mount, block);
        candidates.append({key, drive, group});
    };

    // Floppy and optical drives are listed from sysfs, with or without a medium.
    const QStringList blockNames = QDir(m_sources.sysfsRoot + QStringLiteral("/block"))
                                       .entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    auto numbered = [&](QLatin1StringView prefix) {
        QStringList names;
        for (const QString &name : blockNames)
            if (isNumberedDevice(name, prefix))
                names.append(name);
        std::sort(names.begin(), names.end(), [&](const QString &a, const QString &b) {
            return a.mid(prefix.size()).toInt() < b.mid(prefix.size()).toInt();
        });
        return names;
    };
    for (const QString &name : numbered(QLatin1StringView("fd"))) {
        const QString key = QStringLiteral("blk:") + name;
        addCandidate(key, mountOfKey(key), name, 0);
    }
    for (const TMountEntry &m : mounts)
        if (m.mountPoint == QLatin1StringView("/"))
            addCandidate(deviceKey(m), &m, blockNameOf(m.device), 1);
    for (const QString &name : numbered(QLatin1StringView("sr"))) {
        const QString key = QStringLiteral("blk:") + name;
        addCandidate(key, mountOfKey(key), name, 2);
    }
    // Removable-media drives without a medium (an empty card slot or
    // cartridge drive: a size of 0) are drives too, present but not ready.
    QStringList disksInUse;
    for (const TMountEntry &m : mounts) {
        const QString folder = diskFolder(blockNameOf(m.device));
        if (!folder.isEmpty())
            disksInUse.append(folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1));
    }
    for (const QString &name : blockNames) {
        if (isNumberedDevice(name, QLatin1StringView("fd")) || isNumberedDevice(name, QLatin1StringView("sr"))
            || disksInUse.contains(name))
            continue;
        const QString folder = m_sources.sysfsRoot + QStringLiteral("/block/") + name;
        if (readSmallFile(folder + QStringLiteral("/removable")).trimmed() != "1"
            || readSmallFile(folder + QStringLiteral("/size")).trimmed() != "0")
            continue;
        addCandidate(QStringLiteral("blk:") + name, nullptr, name, 2);
    }
    // The first mount of a device in the table is its own; later ones are binds.
    QList<const TMountEntry *> others;
    QStringList otherKeys;
    for (const TMountEntry &m : mounts) {
        const QString key = deviceKey(m);
        if (m.mountPoint != QLatin1StringView("/") && isUserFileSystem(m) && !otherKeys.contains(key)) {
            otherKeys.append(key);
            others.append(&m);
        }
    }
    std::stable_sort(others.begin(), others.end(), [](const TMountEntry *a, const TMountEntry *b) {
        return a->mountPoint < b->mountPoint;
    });
    for (const TMountEntry *m : others)
        addCandidate(deviceKey(*m), m, blockNameOf(m->device), 3);

    // Bind letters: a key keeps its letter for the whole run.
    auto boundLetter = [&](const QString &key) -> std::optional<QChar> {
        for (const auto &binding : std::as_const(m_bindings))
            if (binding.first == key)
                return binding.second;
        return std::nullopt;
    };
    auto letterFree = [&](QChar letter) {
        return std::none_of(m_bindings.begin(), m_bindings.end(),
                            [&](const QPair<QString, QChar> &b) { return b.second == letter; });
    };
    auto nextFree = [&](char first) -> std::optional<QChar> {
        for (char c = first; c <= 'Z'; ++c)
            if (letterFree(QChar::fromLatin1(c)))
                return QChar::fromLatin1(c);
        return std::nullopt;
    };
    int floppyIndex = 0;
    m_drives.clear();
    for (Candidate &candidate : candidates) {
        std::optional<QChar> letter = boundLetter(candidate.key);
        if (!letter) {
            if (candidate.group == 0 && floppyIndex < 2 && letterFree(QChar::fromLatin1(char('A' + floppyIndex))))
                letter = QChar::fromLatin1(char('A' + floppyIndex));
            else if (candidate.group == 1 && letterFree(QLatin1Char('C')))
                letter = QLatin1Char('C');
            else
                letter = nextFree('D');
            if (!letter)
                continue;   // all 26 letters taken
            m_bindings.append({candidate.key, *letter});
        }
        if (candidate.group == 0)
            ++floppyIndex;
        candidate.drive.letter = *letter;
        m_drives.append(candidate.drive);
    }
    std::sort(m_drives.begin(), m_drives.end(),
              [](const TDrive &a, const TDrive &b) { return a.letter < b.letter; });
}

QList<TDrive> TDrives::drives() const
{
    return m_drives;
}

std::optional<TDrive> TDrives::drive(QChar letter) const
{
    const QChar upper = letter.toUpper();
    for (const TDrive &d : m_drives)
        if (d.letter == upper)
            return d;
    return std::nullopt;
}

QString TDrives::rootPath(QChar letter) const
{
    const auto d = drive(letter);
    return d ? d->mountPoint : QString();
}

std::optional<QChar> TDrives::driveOfPath(const QString &path, QByteArray *virtualRoot) const
{
    if (path.isEmpty())
        return std::nullopt;
    const QString cleaned = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString canonical = QFileInfo(cleaned).canonicalFilePath();
    for (const QString &candidate : {cleaned, canonical}) {
        if (candidate.isEmpty())
            continue;
        const TDrive *best = nullptr;
        for (const TDrive &d : m_drives) {
            const QString &mp = d.mountPoint;
            if (mp.isEmpty())
                continue;
            if (mountHolds(mp, candidate) && (!best || mp.size() > best->mountPoint.size()))
                best = &d;
        }
        if (!best)
            continue;
        if (virtualRoot) {
            const QStringList parts = candidate.mid(best->mountPoint.size()).split(QLatin1Char('/'),
                                                                                   Qt::SkipEmptyParts);
            *virtualRoot = parts.isEmpty() ? QByteArray()
                                           : EncodeStored(QLatin1Char('\\') + parts.join(QLatin1Char('\\'))
                                                          + QLatin1Char('\\'));
        }
        return best->letter;
    }
    return std::nullopt;
}

std::optional<QChar> TDrives::parseLetter(const QString &text)
{
    if (text.isEmpty() || text.size() > 3 || letterIndex(text[0]) < 0 || !text[0].isLetter())
        return std::nullopt;
    if (text.size() >= 2 && text[1] != QLatin1Char(':'))
        return std::nullopt;
    if (text.size() == 3 && text[2] != QLatin1Char('\\') && text[2] != QLatin1Char('/'))
        return std::nullopt;
    return text[0].toUpper();
}

// ---------------------------------------------------------------------------
// Types and media

TDriveType TDrives::typeOf(const TMountEntry *mount, const QString &blockName) const
{
    const QString fsType = mount ? mount->fsType : QString();
    if (isNumberedDevice(blockName, QLatin1StringView("sr")) || fsType == QLatin1StringView("iso9660")
        || fsType == QLatin1StringView("udf"))
        return TDriveType::CdRom;
    if (isRemoteType(fsType))
        return TDriveType::Remote;
    if (isRamType(fsType) || blockName.startsWith(QLatin1StringView("zram"))
        || isNumberedDevice(blockName, QLatin1StringView("ram")))
        return TDriveType::RamDisk;
    if (isNumberedDevice(blockName, QLatin1StringView("fd")))
        return TDriveType::Removable;
    if (blockName.isEmpty())
        return TDriveType::Fixed;
    const QString diskDir = diskFolder(blockName);
    if (diskDir.isEmpty())
        return TDriveType::Fixed;
    if (readSmallFile(diskDir + QStringLiteral("/removable")).trimmed() == "1")
        return TDriveType::Removable;
    if (hangsOffUsb(diskDir))
        return TDriveType::Removable;
    return TDriveType::Fixed;
}

QString TDrives::diskFolder(const QString &blockName) const
{
    if (blockName.isEmpty() || blockName.contains(QLatin1Char('/')) || blockName.startsWith(QLatin1Char('.')))
        return {};
    const QString base = m_sources.sysfsRoot + QStringLiteral("/block/");
    if (QFileInfo(base + blockName).isDir())
        return base + blockName;
    // A partition is a folder inside its disk's folder.
    const QStringList disks = QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString &disk : disks)
        if (QFileInfo(base + disk + QLatin1Char('/') + blockName).isDir())
            return base + disk;
    return {};
}

TDriveType TDrives::driveType(QChar letter) const
{
    const auto d = drive(letter);
    return d ? d->type : TDriveType::NoRoot;
}

uint8_t TDrives::probeRemovable(const TDrive &drive) const
{
    uint8_t code = kMediaUnknown;
    if (isNumberedDevice(drive.blockName, QLatin1StringView("fd"))) {
        // The floppy driver reports the size of its current format in 512-byte sectors.
        bool ok = false;
        const qint64 sectors = readSmallFile(m_sources.sysfsRoot + QStringLiteral("/block/") + drive.blockName
                                             + QStringLiteral("/size"))
                                   .trimmed()
                                   .toLongLong(&ok);
        if (ok) {
            switch (sectors) {
            case 320:    // 160 KiB
            case 360:    // 180 KiB
            case 640:    // 320 KiB
            case 720:    // 360 KiB
                code = 0;
                break;
            case 2400:   // 1.2 MiB
                code = 1;
                break;
            case 1440:   // 720 KiB, taken as the common 3.5-inch double density
                code = 2;
                break;
            case 2880:   // 1.44 MiB
                code = 7;
                break;
            case 5760:   // 2.88 MiB
                code = 9;
                break;
            default:
                break;
            }
        }
    }
    switch (code) {
    case 0: case 1: case 2: case 3: case 4: case 7: case 9:
        return code;
    default:
        break;
    }
    // Not a floppy: the model name tells ZIP and JAZ cartridges apart.
    const QString diskDir = diskFolder(drive.blockName);
    if (!diskDir.isEmpty()) {
        const QByteArray model = readSmallFile(diskDir + QStringLiteral("/device/model")).trimmed().toUpper();
        if (model.startsWith("ZIP 100"))
            return 14;
        if (model.startsWith("JAZ 1GB"))
            return 15;
    }
    return 13;
}

uint8_t TDrives::DriveMediaType(QChar letter)
{
    const int index = letterIndex(letter);
    if (index < 0)
        return kMediaUnknown;
    const auto d = drive(letter);
    uint8_t code = kMediaUnknown;
    switch (d ? d->type : TDriveType::NoRoot) {
    case TDriveType::Fixed:
        code = 5;
        break;
    case TDriveType::Remote:
        code = 11;
        break;
    case TDriveType::CdRom:
        code = 10;
        break;
    case TDriveType::RamDisk:
        code = 12;
        break;
    case TDriveType::Removable:
        // Probed once per run; a new medium does not change the answer.
        if (m_mediaCache[size_t(index)] < 128)
            return m_mediaCache[size_t(index)];
        code = probeRemovable(*d);
        break;
    case TDriveType::NoRoot:
        break;
    }
    m_mediaCache[size_t(index)] = code;
    return code;
}

bool MediaTypesCompatible(uint8_t a, uint8_t b)
{
    if (a == b)
        return true;
    auto cartridge = [](uint8_t c) { return c == 14 || c == 15; };
    return (a == 13 && cartridge(b)) || (b == 13 && cartridge(a));
}

// ---------------------------------------------------------------------------
// Readiness, volume data and space

std::optional<TFsSpace> TDrives::spaceOf(const QString &mountPoint) const
{
    if (mountPoint.isEmpty())
        return std::nullopt;
    return m_sources.space(mountPoint);
}

bool TDrives::IsDriveReady(QChar letter, bool interactive, Prompter *prompter)
{
    for (;;) {
        const auto d = drive(letter);
        if (d && spaceOf(d->mountPoint))
            return true;
        if (!interactive)
            return false;
        Prompter &ask = prompter ? *prompter : DefaultPrompter();
        const MsgAnswer answer = ask.ask(QStringLiteral("Drive Not Ready"),
                                         QStringLiteral("Drive ") + letter.toUpper()
                                             + QStringLiteral(": is not ready !"),
                                         MsgIcon::Error, MsgButtons::RetryCancel);
        if (answer != MsgAnswer::Retry)
            return false;
        // The medium may have been mounted meanwhile, at a new place.
        refresh();
    }
}

uint32_t TDrives::logicalSectorSize(const TDrive &drive) const
{
    const QString diskDir = diskFolder(drive.blockName);
    if (diskDir.isEmpty())
        return 512;
    bool ok = false;
    const uint32_t size = readSmallFile(diskDir + QStringLiteral("/queue/logical_block_size")).trimmed().toUInt(&ok);
    // Sector sizes are powers of two from 512 to 64 KiB.
    if (!ok || size < 512 || size > 65536 || (size & (size - 1)) != 0)
        return 512;
    return size;
}

std::optional<TProbedVolume> TDrives::udevVolume(const TDrive &drive) const
{
    if (!drive.device.startsWith(QLatin1Char('/')) || m_sources.devDiskRoot.isEmpty())
        return std::nullopt;
    const QString target = QFileInfo(drive.device).canonicalFilePath();
    if (target.isEmpty())
        return std::nullopt;
    // The link whose target is the device, in one of udev's folders.
    auto linkName = [&](const QString &folder) -> QByteArray {
        QDirIterator it(m_sources.devDiskRoot + QLatin1Char('/') + folder, QDir::Files | QDir::System);
        while (it.hasNext()) {
            it.next();
            if (it.fileInfo().canonicalFilePath() == target)
                return QFile::encodeName(it.fileName());
        }
        return {};
    };
    const QByteArray label = unescapeUdevName(linkName(QStringLiteral("by-label")));
    const QByteArray uuid = linkName(QStringLiteral("by-uuid"));
    if (label.isEmpty() && uuid.isEmpty())
        return std::nullopt;
    TProbedVolume volume;
    volume.type = drive.fsType.toUtf8();
    volume.label = label;
    if (const auto serial = serialFromUuid(drive.fsType, uuid)) {
        volume.serial = *serial;
        volume.hasSerial = true;
    }
    return volume;
}

TVolumeInfo TDrives::volumeInfo(QChar letter)
{
    TVolumeInfo info;
    info.letter = letter.toUpper();
    const auto d = drive(letter);
    const std::optional<TFsSpace> space = d ? spaceOf(d->mountPoint) : std::nullopt;
    if (!space) {
        info.label = "(unknown)";
        info.fileSystem = "unknown";
        info.serial = 0;
        return info;
    }
    info.maxNameLen = space->nameMax;
    // No Linux file system reports a whole volume as compressed.
    info.compressed = false;
    std::optional<TProbedVolume> probed;
    if (m_sources.readDevices && d->device.startsWith(QLatin1Char('/')))
        probed = ProbeVolume(d->device);
    if (!probed)
        probed = udevVolume(*d);
    // FAT file systems with more clusters than FAT16 can count are FAT32.
    const bool fat32 = space->blocks > 65524;
    info.fileSystem = probed && !probed->fileSystem.isEmpty() ? probed->fileSystem
                                                              : FileSystemDisplayName(d->fsType, fat32);
    info.label = probed ? NormalizeVolumeLabel(probed->label) : QByteArray();
    info.serial = probed && probed->hasSerial ? probed->serial : serialFromFsid(space->fsid);
    return info;
}

bool TDrives::ReadDiskSpace(TVolumeInfo &info, bool synthesizeOnly)
{
    if (synthesizeOnly) {
        SynthesizeGeometry(info);
        return false;
    }
    const auto d = drive(info.letter);
    const std::optional<TFsSpace> space = d ? spaceOf(d->mountPoint) : std::nullopt;
    if (!space || space->blockSize == 0 || space->blockSize > uint64_t(INT32_MAX)) {
        info.totalBytes = info.freeBytes = 0;
        SynthesizeGeometry(info);
        return false;
    }
    const uint64_t freeBlocks = std::min(space->freeBlocks, space->blocks);
    info.totalBytes = saturatedProduct(space->blocks, space->blockSize, 10000);
    info.freeBytes = saturatedProduct(freeBlocks, space->blockSize, 10000);
    if (info.fileSystem == "CDFS") {
        SynthesizeGeometry(info);
        return true;
    }
    uint64_t sector = logicalSectorSize(*d);
    if (space->blockSize % sector != 0)
        sector = space->blockSize % 512 == 0 ? 512 : space->blockSize;
    uint64_t sectorsPerCluster = space->blockSize / sector;
    // Clusters must fit the 32-bit fields: fewer, larger clusters for huge volumes.
    const unsigned __int128 totalBytes = (unsigned __int128)space->blocks * space->blockSize;
    const unsigned __int128 freeBytes = (unsigned __int128)freeBlocks * space->blockSize;
    auto clusters = [&](unsigned __int128 bytes) {
        const unsigned __int128 size = (unsigned __int128)sector * sectorsPerCluster;
        return (bytes + size / 2) / size;
    };
    while (clusters(totalBytes) > INT32_MAX && sectorsPerCluster < (uint64_t(1) << 40))
        sectorsPerCluster *= 2;
    if (sectorsPerCluster > uint64_t(INT32_MAX) || clusters(totalBytes) > INT32_MAX) {
        SynthesizeGeometry(info);
        return true;
    }
    info.bytesPerSector = int32_t(sector);
    info.sectorsPerCluster = int32_t(sectorsPerCluster);
    info.totalClusters = int32_t(clusters(totalBytes));
    info.freeClusters = int32_t(clusters(freeBytes));
    return true;
}

void SynthesizeGeometry(TVolumeInfo &info)
{
    const int64_t totalStored = std::max<int64_t>(info.totalBytes, 0);
    const int64_t freeStored = std::clamp<int64_t>(info.freeBytes, 0, totalStored);
    const int64_t total = totalStored / 10000;
    int64_t bytesPerSector = 512;
    int64_t sectorsPerCluster = 1;
    // Cluster sizes grow no further than this; no volume needs more.
    constexpr int64_t kMaxSectorsPerCluster = int64_t(1) << 24;
    if (info.fileSystem == "FAT32") {
        if (total >= 268435456) {   // 256 MiB
            sectorsPerCluster = 8;
            int64_t limit = int64_t(8) << 30;   // 8 GiB with 4 KiB clusters, doubling from there
            while (total > limit && sectorsPerCluster < kMaxSectorsPerCluster) {
                sectorsPerCluster *= 2;
                limit *= 2;
            }
        }
    } else if (info.fileSystem == "CDFS") {
        bytesPerSector = 2048;
    } else {
        // 33,554,431 = 2^25 - 1 sectors of 512 bytes: the largest volume with 1-sector clusters.
        while (total > int64_t(33554431) * sectorsPerCluster && sectorsPerCluster < kMaxSectorsPerCluster)
            sectorsPerCluster *= 2;
    }
    auto clusters = [&](int64_t stored) {
        return roundedQuotient(stored, __int128(bytesPerSector) * sectorsPerCluster * 10000);
    };
    while (clusters(totalStored) > INT32_MAX)
        sectorsPerCluster *= 2;
    info.bytesPerSector = int32_t(bytesPerSector);
    info.sectorsPerCluster = int32_t(sectorsPerCluster);
    info.totalClusters = int32_t(clusters(totalStored));
    info.freeClusters = int32_t(clusters(freeStored));
}

// ---------------------------------------------------------------------------
// Eject and serial number

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
    const bool ejectable = isNumberedDevice(d->blockName, QLatin1StringView("sr"))
                           || isNumberedDevice(d->blockName, QLatin1StringView("fd"))
                           || (!diskDir.isEmpty()
                               && (readSmallFile(diskDir + QStringLiteral("/removable")).trimmed() == "1"
                                   || hangsOffUsb(diskDir)));
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
            if (mountHolds(m.mountPoint, path) && (!best || m.mountPoint.size() >= best->mountPoint.size()))
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
            const QString otherDisk = diskFolder(blockNameOf(m->device));
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
    const bool powerOff = d->type != TDriveType::CdRom && !diskDir.isEmpty() && hangsOffUsb(diskDir);

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

bool TDrives::SetVolumeSerial(QChar letter, uint32_t serial)
{
    const auto d = drive(letter);
    if (!d || !m_sources.readDevices || !d->device.startsWith(QLatin1Char('/')))
        return false;
    return WriteFatSerial(d->device, serial);
}

namespace {

// The FAT boot sector, as far as the serial number is concerned:
//
//   0x000  3  jump (EB xx 90 or E9 xx xx)
//   0x00B  2  bytes per sector (512, 1024, 2048, 4096)
//   0x00D  1  sectors per cluster (power of two)
//   0x00E  2  reserved sectors (>= 1)
//   0x010  1  number of FATs (>= 1)
//   0x016  2  sectors per FAT (FAT12/16; 0 on FAT32)
//   FAT12/16:                         FAT32:
//   0x026  1  extended signature 29h  0x024  4  sectors per FAT
//   0x027  4  volume serial           0x032  2  backup boot sector
//   0x036  8  "FAT12   "/"FAT16   "   0x042  1  extended signature 29h
//                                     0x043  4  volume serial
//                                     0x052  8  "FAT32   "
//   0x1FE  2  55h AAh
constexpr int kBootSector = 512;
constexpr int kBytesPerSectorOffset = 0x0B;
constexpr int kSectorsPerClusterOffset = 0x0D;
constexpr int kReservedOffset = 0x0E;
constexpr int kFatCountOffset = 0x10;
constexpr int kFatSize16Offset = 0x16;
constexpr int kFat16SignatureOffset = 0x26;
constexpr int kFat16SerialOffset = 0x27;
constexpr int kFat16TypeOffset = 0x36;
constexpr int kFat32FatSizeOffset = 0x24;
constexpr int kFat32BackupOffset = 0x32;
constexpr int kFat32SignatureOffset = 0x42;
constexpr int kFat32SerialOffset = 0x43;
constexpr int kFat32TypeOffset = 0x52;
constexpr int kBootSignatureOffset = 0x1FE;
constexpr uint8_t kExtendedSignature = 0x29;

uint16_t u16le(const QByteArray &b, int offset)
{
    return uint16_t(uint8_t(b[offset]) | uint8_t(b[offset + 1]) << 8);
}

uint32_t u32le(const QByteArray &b, int offset)
{
    return uint32_t(u16le(b, offset)) | uint32_t(u16le(b, offset + 2)) << 16;
}

// Where the serial of a FAT boot sector lives; nothing when the sector is not
// a FAT12/16/32 boot sector with an extended BIOS parameter block.
std::optional<int> fatSerialOffset(const QByteArray &sector)
{
    if (sector.size() != kBootSector)
        return std::nullopt;
    const uint8_t jump = uint8_t(sector[0]);
    if (!((jump == 0xEB && uint8_t(sector[2]) == 0x90) || jump == 0xE9))
        return std::nullopt;
    if (uint8_t(sector[kBootSignatureOffset]) != 0x55 || uint8_t(sector[kBootSignatureOffset + 1]) != 0xAA)
        return std::nullopt;
    const uint16_t bytesPerSector = u16le(sector, kBytesPerSectorOffset);
    const uint8_t sectorsPerCluster = uint8_t(sector[kSectorsPerClusterOffset]);
    if ((bytesPerSector != 512 && bytesPerSector != 1024 && bytesPerSector != 2048 && bytesPerSector != 4096)
        || sectorsPerCluster == 0 || (sectorsPerCluster & (sectorsPerCluster - 1)) != 0
        || u16le(sector, kReservedOffset) == 0 || uint8_t(sector[kFatCountOffset]) == 0)
        return std::nullopt;
    if (u16le(sector, kFatSize16Offset) == 0) {
        if (u32le(sector, kFat32FatSizeOffset) != 0 && uint8_t(sector[kFat32SignatureOffset]) == kExtendedSignature
            && sector.mid(kFat32TypeOffset, 8) == "FAT32   ")
            return kFat32SerialOffset;
        return std::nullopt;
    }
    const QByteArray type = sector.mid(kFat16TypeOffset, 8);
    if (uint8_t(sector[kFat16SignatureOffset]) == kExtendedSignature && (type == "FAT12   " || type == "FAT16   "))
        return kFat16SerialOffset;
    return std::nullopt;
}

bool readAll(int fd, QByteArray &buffer, off_t offset)
{
    qsizetype done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::pread(fd, buffer.data() + done, size_t(buffer.size() - done), offset + done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool writeAll(int fd, const QByteArray &buffer, off_t offset)
{
    qsizetype done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::pwrite(fd, buffer.constData() + done, size_t(buffer.size() - done), offset + done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool WriteFatSerial(const QString &devicePath, uint32_t serial)
{
    const QByteArray native = QFile::encodeName(devicePath);
    struct stat st{};
    if (::stat(native.constData(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)))
        return false;
    const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = false;
    QByteArray sector(kBootSector, '\0');
    if (::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) && readAll(fd, sector, 0)) {
        if (const auto offset = fatSerialOffset(sector)) {
            // FAT32 keeps a copy of the boot sector; patch it too when it is a true copy.
            QByteArray backup;
            off_t backupAt = 0;
            if (*offset == kFat32SerialOffset) {
                const uint16_t backupSector = u16le(sector, kFat32BackupOffset);
                if (backupSector != 0 && backupSector != 0xFFFF && backupSector < u16le(sector, kReservedOffset)) {
                    backupAt = off_t(backupSector) * u16le(sector, kBytesPerSectorOffset);
                    backup = QByteArray(kBootSector, '\0');
                    if (!readAll(fd, backup, backupAt) || backup != sector)
                        backup.clear();
                }
            }
            QByteArray patched = sector;
            for (int i = 0; i < 4; ++i)
                patched[*offset + i] = char((serial >> (8 * i)) & 0xFF);
            ok = writeAll(fd, patched, 0) && ::fsync(fd) == 0;
            if (ok && !backup.isEmpty())
                ok = writeAll(fd, patched, backupAt) && ::fsync(fd) == 0;
        }
    }
    ::close(fd);
    return ok;
}
