// Media type codes: the kind of medium a drive takes, as a disk record keeps
// it. The numbers are those of the media types of the Windows device calls,
// so catalogs written anywhere agree on them; 255 is "not known".
#pragma once

#include <QByteArrayView>

#include <cstdint>

inline constexpr uint8_t kMediaFloppy525DD = 0;    // 5.25-inch 360 KiB (and 160-320 KiB)
inline constexpr uint8_t kMediaFloppy525HD = 1;    // 5.25-inch 1.2 MiB
inline constexpr uint8_t kMediaFloppy35DD = 2;     // 3.5-inch 720 KiB
inline constexpr uint8_t kMediaFloppy8SD = 3;      // 8-inch single density
inline constexpr uint8_t kMediaFloppy8DD = 4;      // 8-inch double density
inline constexpr uint8_t kMediaHardDisk = 5;
inline constexpr uint8_t kMediaTape = 6;
inline constexpr uint8_t kMediaFloppy35HD = 7;     // 3.5-inch 1.44 MiB
inline constexpr uint8_t kMediaOptical = 8;
inline constexpr uint8_t kMediaFloppy35EHD = 9;    // 3.5-inch 2.88 MiB
inline constexpr uint8_t kMediaCdRom = 10;
inline constexpr uint8_t kMediaNetwork = 11;
inline constexpr uint8_t kMediaRamDisk = 12;
inline constexpr uint8_t kMediaRemovable = 13;     // any other removable medium
inline constexpr uint8_t kMediaZip100 = 14;
inline constexpr uint8_t kMediaJaz1GB = 15;
inline constexpr uint8_t kMediaUnknown = 255;

// 5.25-inch and 8-inch floppies: a drive of that family is offered for a
// disk of any of them.
bool IsFloppy525Or8(uint8_t code);
// 3.5-inch floppies of every density.
bool IsFloppy35(uint8_t code);
// Any floppy code.
bool IsFloppy(uint8_t code);
// ZIP and JAZ cartridges, which a generic removable drive also takes.
bool IsCartridge(uint8_t code);
// Media that never leave their drive (hard disks, network drives, RAM disks)
// and codes the table does not know: no use asking the user to insert them.
bool IsFixedMedium(uint8_t code);

// a = b, or one is a generic removable medium and the other a cartridge.
bool MediaTypesCompatible(uint8_t a, uint8_t b);
// Whether a drive of media type drive can hold a disk catalogued with media
// type disk: compatible types, or floppies of the same family (5.25/8-inch,
// or 3.5-inch), whose density the drive cannot tell before reading.
bool MediaTypesFit(uint8_t disk, uint8_t drive);

// The media type of a floppy drive by the size of its current format in
// 512-byte sectors; kMediaUnknown for a size no floppy has.
uint8_t FloppyMediaType(int64_t sectors);
// The media type of a removable drive by its model name (sysfs
// device/model): ZIP and JAZ drives by name, any other a generic removable.
uint8_t RemovableMediaType(QByteArrayView model);
