// The DOS attribute byte (read-only 0x01, hidden 0x02, system 0x04, archive
// 0x20) that FAT and NTFS file systems keep for every file and folder, read
// where the Linux driver offers it: the FAT_IOCTL_GET_ATTRIBUTES call of
// vfat and msdos, the "system.dos_attrib" attribute of ntfs3 and the
// "system.ntfs_attrib_be" attribute of ntfs3 and ntfs-3g. Other file systems
// keep none, and the scan's own rule applies there.
#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// Reads the attributes of the entry name in the open folder dirFd; nothing
// when the file system keeps none for it or it cannot be opened. Only
// regular files and folders are asked (opening a device could act on it).
using TDosAttrReader = std::function<std::optional<uint8_t>(int dirFd, const char *name)>;

// The reader for a mount-table file-system type ("vfat", "ntfs3", "fuseblk",
// ...); empty for types that keep no DOS attributes.
TDosAttrReader DosAttributeReader(const QString &fsType);

// The attribute byte of a 32-bit NTFS attribute word stored big-endian (the
// "system.ntfs_attrib_be" value): the four DOS bits, nothing when the value
// is not 4 bytes.
std::optional<uint8_t> DosAttributesFromNtfsBe(QByteArrayView value);
