// The scan's and the compare's reading of one directory entry.
#include "scan/MediaEntry.h"

#include "catalog/CatalogRec.h"

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>

bool ReadMediaEntry(int dirFd, const char *name, TDosTimeConverter &times, const TDosAttrReader &dosAttributes,
                    EntryInfo &info)
{
    struct statx stx;
    constexpr unsigned kMask =
        STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME | STATX_MNT_ID;
    if (statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kMask, &stx) != 0)
        return false;
    const mode_t mode = stx.stx_mode;
    info.folder = S_ISDIR(mode);
    info.regular = S_ISREG(mode);
    uint8_t attr = 0;
    if (info.folder)
        attr |= faDirectory;
    else if (info.regular)
        attr |= faArchive;
    if (!(mode & S_IWUSR))
        attr |= faReadOnly;
    // FAT and NTFS keep the real attributes; a name that starts with a dot
    // is hidden on every file system, as Linux programs show it.
    if (dosAttributes && (info.folder || info.regular)) {
        if (const auto dos = dosAttributes(dirFd, name))
            attr = uint8_t((info.folder ? faDirectory : 0) | *dos);
    }
    if (name[0] == '.')
        attr |= faHidden;
    info.attr = attr;
    info.size = (stx.stx_mask & STATX_SIZE) ? int64_t(std::min<uint64_t>(stx.stx_size, INT64_MAX)) : 0;
    const uint32_t modified = (stx.stx_mask & STATX_MTIME) ? times.convert(stx.stx_mtime.tv_sec) : 0;
    info.modified = modified;
    info.accessed = (stx.stx_mask & STATX_ATIME) ? times.convert(stx.stx_atime.tv_sec) : 0;
    info.created = (stx.stx_mask & STATX_BTIME) ? times.convert(stx.stx_btime.tv_sec) : modified;
    info.mountId = (stx.stx_mask & STATX_MNT_ID) ? stx.stx_mnt_id
                                                  : (uint64_t(stx.stx_dev_major) << 32 | stx.stx_dev_minor);
    return true;
}
