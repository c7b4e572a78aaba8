// The volume data of a device: label, serial number and file system, read
// with libblkid from the device (or an image file), else from udev's
// /dev/disk links, and put in the form the catalog shows them (the label's
// case rule, Windows-style file-system names, the serial of a CD).
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

// The longest volume label and file-system name a drive reports, in bytes
// (the label cut at a character boundary, the name in the Windows style).
inline constexpr int kVolumeLabelMaxBytes = 33;
inline constexpr int kFileSystemNameMaxBytes = 8;

// What libblkid (or udev's links) tell about the file system on a device or image.
struct TProbedVolume {
    QByteArray type;        // libblkid's name: "vfat", "ext4", "iso9660", ...
    QByteArray label;       // raw bytes, empty when none
    QByteArray fileSystem;  // display name ("FAT32", "CDFS", ...)
    uint32_t serial = 0;
    bool hasSerial = false; // false: take the serial from statfs
};

// Probes the device or image file at path with libblkid; nothing when it
// cannot be read or holds no known file system.
std::optional<TProbedVolume> ProbeVolume(const QString &path);
// Label and serial from udev's by-label and by-uuid links below devDiskRoot
// for a device this user may not open (fsType picks the serial rule);
// nothing when no link names the device.
std::optional<TProbedVolume> UdevVolume(const QString &devDiskRoot, const QString &device, const QString &fsType);
// The file system name shown for a mount type ("vfat" -> "FAT", "iso9660" ->
// "CDFS", ...), upper case and at most 8 bytes. fat32 picks "FAT32" for vfat.
QByteArray FileSystemDisplayName(const QString &fsType, bool fat32 = false);
// A volume label as stored: an all-capitals label in lower case with its first
// character upper-cased, a mixed-case one with its first character upper-cased,
// cut to 33 bytes at a character boundary. Bytes that are not UTF-8 are read
// as code page 437 (the labels of DOS-formatted media).
QByteArray NormalizeVolumeLabel(QByteArrayView raw);
// The serial number shown for an ISO 9660 medium: the four byte lanes of the
// 2048-byte primary volume descriptor summed separately (each wrapping at 8
// bits), lane 0 in the high byte. 0 when pvd is not 2048 bytes.
uint32_t IsoVolumeSerial(QByteArrayView pvd);
// The serial of a volume no probe could read: the file system's identifier
// (statfs f_fsid) folded to 32 bits, so both halves count.
uint32_t SerialFromFsid(uint64_t fsid);
