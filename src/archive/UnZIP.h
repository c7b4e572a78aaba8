// The ZIP family's directory reader (ZIP, ZipExe, Zip250, Zip250Exe): the
// member list comes from the central directory found through the end record,
// with ZIP64 end records and sizes where the 32-bit fields say 0xFFFFFFFF.
#pragma once

#include "archive/ArcLister.h"

#include <memory>

// Signatures of the ZIP records (little-endian 32-bit values).
inline constexpr uint32_t kZipLocalSig = 0x04034B50;
inline constexpr uint32_t kZip250LocalSig = 0x50000000;
inline constexpr uint32_t kZipCentralSig = 0x02014B50;
inline constexpr uint32_t kZipEndSig = 0x06054B50;
inline constexpr uint32_t kZip64EndSig = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSig = 0x07064B50;

// The directory reader for the lister.
std::unique_ptr<TArcListReader> MakeZipListReader();
