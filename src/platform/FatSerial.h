// Writing a new volume serial number into a FAT boot sector, only after the
// sector has been checked to be one (never write blindly).
#pragma once

#include <QString>

#include <cstdint>

// Writes serial into a FAT12/16 (offset 0x27) or FAT32 (offset 0x43) boot
// sector of the device or image at path, after checking the boot signature
// and the file system type; false without writing anything otherwise. The
// FAT32 backup boot sector is patched too when it is a true copy.
bool WriteFatSerial(const QString &devicePath, uint32_t serial);
