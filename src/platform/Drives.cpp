// The drive list on Linux. Letters are bound to devices once per run:
// floppies take A: and B:, the root file system C:, optical drives and then
// every other file system a user browses follow from D: in mount-point order.
// A drive's type, media type, readiness and volume data come from the mount
// table, sysfs, the volume probe and statvfs, each read through TDriveSources.
#include "platform/Drives.h"

#include "platform/Sysfs.h"
#include "platform/Texts.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

int letterIndex(QChar letter)
{
    const char16_t c = letter.toUpper().unicode();
    return c >= u'A' && c <= u'Z' ? int(c - u'A') : -1;
}

// The key that ties a letter to what is mounted: the device for block
// devices and network sources, the source and its place for the rest.
QString deviceKey(const TMountEntry &mount)
{
    const QString block = BlockNameOf(mount.device);
    if (!block.isEmpty())
        return QStringLiteral("blk:") + block;
    if (mount.device.startsWith(QLatin1Char('/')))
        return QStringLiteral("dev:") + mount.device;
    if (IsRemoteFileSystem(mount.fsType))
        return QStringLiteral("net:") + mount.device;
    return QStringLiteral("fs:%1:%2@%3").arg(mount.fsType, mount.device, mount.mountPoint);
}

// Whether a mount that is not "/" is a file system a user browses.
bool isUserFileSystem(const TMountEntry &mount)
{
    if (IsPseudoFileSystem(mount.fsType, mount.mountPoint))
        return false;
    if (mount.device.startsWith(QLatin1Char('/')) || IsRemoteFileSystem(mount.fsType) || IsRamFileSystem(mount.fsType))
        return true;
    return mount.fsType.startsWith(QLatin1StringView("fuse.")) || mount.fsType == QLatin1StringView("fuseblk");
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

TDriveSources SystemDriveSources()
{
    TDriveSources sources;
    sources.mounts = SystemMounts;
    sources.space = SystemSpace;
    sources.now = [] { return QDateTime::currentDateTime(); };
    sources.mayRun = [](const QString &) { return true; };
    sources.eject = SystemEjectCalls(sources.mayRun);
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
        const TEjectCalls own = SystemEjectCalls(m_sources.mayRun);
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
            if (IsNumberedDevice(name, prefix))
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
            addCandidate(deviceKey(m), &m, BlockNameOf(m.device), 1);
    for (const QString &name : numbered(QLatin1StringView("sr"))) {
        const QString key = QStringLiteral("blk:") + name;
        addCandidate(key, mountOfKey(key), name, 2);
    }
    // Removable-media drives without a medium (an empty card slot or
    // cartridge drive: a size of 0) are drives too, present but not ready.
    QStringList disksInUse;
    for (const TMountEntry &m : mounts) {
        const QString folder = diskFolder(BlockNameOf(m.device));
        if (!folder.isEmpty())
            disksInUse.append(folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1));
    }
    for (const QString &name : blockNames) {
        if (IsNumberedDevice(name, QLatin1StringView("fd")) || IsNumberedDevice(name, QLatin1StringView("sr"))
            || disksInUse.contains(name))
            continue;
        const QString folder = m_sources.sysfsRoot + QStringLiteral("/block/") + name;
        if (ReadSmallFile(folder + QStringLiteral("/removable")).trimmed() != "1"
            || ReadSmallFile(folder + QStringLiteral("/size")).trimmed() != "0")
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
        addCandidate(deviceKey(*m), m, BlockNameOf(m->device), 3);

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
            if (MountHolds(mp, candidate) && (!best || mp.size() > best->mountPoint.size()))
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
    if (IsNumberedDevice(blockName, QLatin1StringView("sr")) || fsType == QLatin1StringView("iso9660")
        || fsType == QLatin1StringView("udf"))
        return TDriveType::CdRom;
    if (IsRemoteFileSystem(fsType))
        return TDriveType::Remote;
    if (IsRamFileSystem(fsType) || blockName.startsWith(QLatin1StringView("zram"))
        || IsNumberedDevice(blockName, QLatin1StringView("ram")))
        return TDriveType::RamDisk;
    if (IsNumberedDevice(blockName, QLatin1StringView("fd")))
        return TDriveType::Removable;
    if (blockName.isEmpty())
        return TDriveType::Fixed;
    const QString diskDir = diskFolder(blockName);
    if (diskDir.isEmpty())
        return TDriveType::Fixed;
    if (ReadSmallFile(diskDir + QStringLiteral("/removable")).trimmed() == "1")
        return TDriveType::Removable;
    if (HangsOffUsb(diskDir))
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
    if (IsNumberedDevice(drive.blockName, QLatin1StringView("fd"))) {
        // The floppy driver reports the size of its current format in 512-byte sectors.
        bool ok = false;
        const qint64 sectors = ReadSmallFile(m_sources.sysfsRoot + QStringLiteral("/block/") + drive.blockName
                                             + QStringLiteral("/size"))
                                   .trimmed()
                                   .toLongLong(&ok);
        const uint8_t code = ok ? FloppyMediaType(sectors) : kMediaUnknown;
        if (IsFloppy(code))
            return code;
    }
    // Not a floppy: the model name tells ZIP and JAZ cartridges apart.
    const QString diskDir = diskFolder(drive.blockName);
    return RemovableMediaType(diskDir.isEmpty() ? QByteArray()
                                                : ReadSmallFile(diskDir + QStringLiteral("/device/model")));
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
        code = kMediaHardDisk;
        break;
    case TDriveType::Remote:
        code = kMediaNetwork;
        break;
    case TDriveType::CdRom:
        code = kMediaCdRom;
        break;
    case TDriveType::RamDisk:
        code = kMediaRamDisk;
        break;
    case TDriveType::Removable:
        // Probed once per run; a new medium does not change the answer.
        if (m_mediaCache[size_t(index)] != kMediaUnknown)
            return m_mediaCache[size_t(index)];
        code = probeRemovable(*d);
        break;
    case TDriveType::NoRoot:
        break;
    }
    m_mediaCache[size_t(index)] = code;
    return code;
}

// ---------------------------------------------------------------------------
// Readiness and volume data

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
    const uint32_t size = ReadSmallFile(diskDir + QStringLiteral("/queue/logical_block_size")).trimmed().toUInt(&ok);
    // Sector sizes are powers of two from 512 to 64 KiB.
    if (!ok || size < 512 || size > 65536 || (size & (size - 1)) != 0)
        return 512;
    return size;
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
        probed = UdevVolume(m_sources.devDiskRoot, d->device, d->fsType);
    // FAT file systems with more clusters than FAT16 can count are FAT32.
    const bool fat32 = space->blocks > 65524;
    info.fileSystem = probed && !probed->fileSystem.isEmpty() ? probed->fileSystem
                                                              : FileSystemDisplayName(d->fsType, fat32);
    info.label = probed ? NormalizeVolumeLabel(probed->label) : QByteArray();
    info.serial = probed && probed->hasSerial ? probed->serial : SerialFromFsid(space->fsid);
    return info;
}

bool TDrives::SetVolumeSerial(QChar letter, uint32_t serial)
{
    const auto d = drive(letter);
    if (!d || !m_sources.readDevices || !d->device.startsWith(QLatin1Char('/')))
        return false;
    return WriteFatSerial(d->device, serial);
}
