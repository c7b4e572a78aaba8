// The drive list: which drive letters exist and what is behind them, the
// type and media type of a drive, whether it is ready, its volume data and
// space, ejecting its medium and writing a new volume serial number. A drive
// is a letter A-Z bound to a device (or to a network source) for the whole
// run; its root is that device's current mount point. Every source this reads (mount table, sysfs, device nodes, the clock)
// comes from a TDriveSources, so tests run on folders and file-system images.
#pragma once

#include "platform/DosAttributes.h"
#include "platform/Eject.h"
#include "platform/FatSerial.h"
#include "platform/MediaTypes.h"
#include "platform/MountTable.h"
#include "platform/Prompter.h"
#include "platform/VolumeProbe.h"
#include "platform/VolumeSpace.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

// What the drive layer reads from the system; each member may be replaced.
// An empty function stands for the machine's own source.
struct TDriveSources {
    std::function<QList<TMountEntry>()> mounts;                        // the mount table
    QString sysfsRoot = QStringLiteral("/sys");                        // sysfs: block/<dev>/removable, ...
    std::function<std::optional<TFsSpace>(const QString &path)> space; // statvfs of a mounted folder
    std::function<QDateTime()> now;                                    // the clock (Updated of a new disk)
    // Whether the named program may be run (eject, udisksctl); tests refuse all.
    std::function<bool(const QString &program)> mayRun;
    // udev's by-label and by-uuid links: label and serial of devices this
    // user may not open.
    QString devDiskRoot = QStringLiteral("/dev/disk");
    // Whether the device node may be opened: volume data (blkid, boot
    // sector), eject, serial number. Tests point devices at image files.
    bool readDevices = true;
    // The DOS attributes a file system of the given mount type keeps (FAT,
    // NTFS); an empty reader where it keeps none. Empty: DosAttributeReader.
    std::function<TDosAttrReader(const QString &fsType)> dosAttributes;
    // How media are ejected. Empty members are filled with the machine's own
    // ways only when readDevices is true.
    TEjectCalls eject;
};
// The machine's own sources: /proc/self/mountinfo, /sys, statvfs, the real clock.
TDriveSources SystemDriveSources();

// Windows-style drive types.
enum class TDriveType { NoRoot = 1, Removable = 2, Fixed = 3, Remote = 4, CdRom = 5, RamDisk = 6 };

// One drive of the table.
struct TDrive {
    QChar letter;
    TDriveType type = TDriveType::Fixed;
    QString device;       // block device, network source or file-system source
    QString mountPoint;   // empty: not mounted, so not ready
    QString fsType;       // as the mount table names it
    QString blockName;    // kernel name of a block device ("sdb1", "sr0"); empty for others
};

class TDrives
{
public:
    explicit TDrives(TDriveSources sources = SystemDriveSources());

    // Reads the mount table and sysfs again; letters already bound keep their
    // device, new devices get free letters. Called by the constructor.
    void refresh();
    // The drives in letter order (GetLogicalDrives).
    QList<TDrive> drives() const;
    std::optional<TDrive> drive(QChar letter) const;
    // The drive's root folder (its mount point), empty when it is not mounted.
    QString rootPath(QChar letter) const;
    // The drive that holds a path (longest mount-point prefix) and, when the
    // path is below the mount point, the virtual-root folder in "\" form with
    // a leading and trailing "\" (empty for the mount point itself).
    // Nothing when no drive holds the path.
    std::optional<QChar> driveOfPath(const QString &path, QByteArray *virtualRoot = nullptr) const;
    // The upper-case drive letter of a text of the form "D", "D:", "d:\\" or
    // "d:/"; nothing for any other text.
    static std::optional<QChar> parseLetter(const QString &text);

    TDriveType driveType(QChar letter) const;
    // MediaType of the drive; removable drives are probed once per run.
    uint8_t DriveMediaType(QChar letter);
    // Ready = mounted and its space can be read. When not ready and
    // interactive: "Drive X: is not ready !" with Retry/Cancel through the prompter.
    bool IsDriveReady(QChar letter, bool interactive, Prompter *prompter = nullptr);
    // The volume data alone.
    TVolumeInfo volumeInfo(QChar letter);
    // Fills the space and geometry of info (from statvfs, or synthesized only);
    // true when real figures were obtained.
    bool ReadDiskSpace(TVolumeInfo &info, bool synthesizeOnly);
    // Why the medium of a drive stays where it is, as a line for the user;
    // empty when it may be ejected. Only optical drives, removable media and
    // USB disks eject, never a fixed disk, and never a disk that holds "/",
    // "/home", the user's home folder or one of keepPaths (the catalog being
    // written), in the drive's own partition or another one.
    QString ejectRefusal(QChar letter, const QStringList &keepPaths = {}) const;
    // Unmounts and ejects the medium of a drive that ejectRefusal lets go,
    // the ways of TEjectCalls in their order: a CD-ROM or a removable medium
    // is ejected, a USB disk powered off as a whole. False when the drive
    // may not be ejected or no way succeeded; why then receives the reason.
    bool EjectMedia(QChar letter, const QStringList &keepPaths = {}, QString *why = nullptr);
    // Writes serial into the FAT12/16 or FAT32 boot sector of the drive's
    // device (after checking it is one); false on anything else.
    bool SetVolumeSerial(QChar letter, uint32_t serial);

    const TDriveSources &sources() const { return m_sources; }

private:
    // Whether a removable drive's medium is a floppy, ZIP or JAZ cartridge, or
    // another removable medium (never fails: kMediaRemovable for the rest).
    uint8_t probeRemovable(const TDrive &drive) const;
    TDriveType typeOf(const TMountEntry *mount, const QString &blockName) const;
    std::optional<TFsSpace> spaceOf(const QString &mountPoint) const;
    // The logical sector size of the drive's device, 512 when unknown.
    uint32_t logicalSectorSize(const TDrive &drive) const;
    // The sysfs folder of the disk holding a block device (the device's own
    // folder for a whole disk); empty when sysfs does not know it.
    QString diskFolder(const QString &blockName) const;

    TDriveSources m_sources;
    QList<TDrive> m_drives;                    // bound drives present now, letter order
    QList<QPair<QString, QChar>> m_bindings;   // device key -> letter, for the whole run
    std::array<uint8_t, 26> m_mediaCache;
};

// The folder of a stored "\a\b\" path below root (a mount point), each
// name matched exactly or else without regard to case, as on the FAT and ISO
// media such paths come from; empty when a part is missing or climbs out.
QString FindFolderBelow(const QString &root, QByteArrayView storedPath);
