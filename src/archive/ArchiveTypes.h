// The catalog side's fourteen archive types (indexes 1 to 14: the per-type
// switches of the settings, the bits of "ArchiveSupport") and the archive
// readers' table of which of them are read. The settings copy their switches
// into the table when they are loaded and applied; the disk scan and the file
// actions ask it. Until the archive framework has its own home for the table,
// it lives here.
#pragma once

#include <array>
#include <atomic>

inline constexpr int kArchiveTypeCount = 14;

// The extension of archive type index (1 to 14), upper case; null otherwise.
inline const char *ArchiveTypeExtension(int index)
{
    static const char *const names[kArchiveTypeCount] = {
        "ARC", "ARJ", "CAB", "HA", "LHA", "LZH", "PAK", "RAR", "ZIP", "ZOO", "EXE", "TAR", "GZ", "Z",
    };
    return index >= 1 && index <= kArchiveTypeCount ? names[index - 1] : nullptr;
}

namespace archivetypes_detail {
// Every type is read until the settings say otherwise. Atomic because the
// search thread may ask while the main thread applies settings.
struct EnabledTable {
    EnabledTable()
    {
        for (auto &flag : flags)
            flag.store(true);
    }
    std::atomic<bool> flags[kArchiveTypeCount];
};
inline EnabledTable g_enabled;
} // namespace archivetypes_detail

// Whether archive type index (1 to 14) is read; false for any other index.
inline bool ArchiveTypeEnabled(int index)
{
    if (index < 1 || index > kArchiveTypeCount)
        return false;
    return archivetypes_detail::g_enabled.flags[index - 1].load(std::memory_order_relaxed);
}

// Sets the whole table; enabled[i] is archive type index i + 1.
inline void SetArchiveTypesEnabled(const std::array<bool, kArchiveTypeCount> &enabled)
{
    for (int i = 0; i < kArchiveTypeCount; ++i)
        archivetypes_detail::g_enabled.flags[i].store(enabled[i], std::memory_order_relaxed);
}
