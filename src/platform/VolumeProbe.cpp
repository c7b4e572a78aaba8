// Reading a volume's label, serial number and file system: libblkid on the
// device, the ISO 9660 primary volume descriptor for a CD's serial, udev's
// links for devices this user may not open.
#include "platform/VolumeProbe.h"

#include "platform/Texts.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <blkid/blkid.h>

#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

} // namespace

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

std::optional<TProbedVolume> UdevVolume(const QString &devDiskRoot, const QString &device, const QString &fsType)
{
    if (!device.startsWith(QLatin1Char('/')) || devDiskRoot.isEmpty())
        return std::nullopt;
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return std::nullopt;
    // The link whose target is the device, in one of udev's folders.
    auto linkName = [&](const QString &folder) -> QByteArray {
        QDirIterator it(devDiskRoot + QLatin1Char('/') + folder, QDir::Files | QDir::System);
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
    volume.type = fsType.toUtf8();
    volume.label = label;
    if (const auto serial = serialFromUuid(fsType, uuid)) {
        volume.serial = *serial;
        volume.hasSerial = true;
    }
    return volume;
}

uint32_t SerialFromFsid(uint64_t fsid)
{
    return uint32_t(fsid ^ (fsid >> 32));
}
