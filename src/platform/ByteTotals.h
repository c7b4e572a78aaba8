// Byte totals of drives, disks and folders are kept as bytes x 10000, the
// fixed-point currency of the catalog format (it came from a 64-bit
// currency type with four decimals); the drive layer reports space in the
// same unit so that the two compare directly.
#pragma once

#include <cstdint>

inline constexpr int64_t kByteTotalScale = 10000;

// A stored total as whole bytes, the fraction cut off.
constexpr int64_t WholeBytes(int64_t scaled)
{
    return scaled / kByteTotalScale;
}

// A stored total as bytes, with the fraction.
constexpr double TotalBytes(int64_t scaled)
{
    return double(scaled) / double(kByteTotalScale);
}
