// Space and geometry of a volume: statvfs figures turned into sectors and
// clusters that fit the 32-bit fields, or synthesized from the totals.
#include "platform/VolumeSpace.h"

#include "platform/ByteTotals.h"
#include "platform/Drives.h"

#include <QFile>

#include <algorithm>
#include <climits>

#include <sys/statvfs.h>

namespace {

// a x b x c, at most INT64_MAX.
int64_t saturatedProduct(uint64_t a, uint64_t b, uint64_t c)
{
    const unsigned __int128 product = (unsigned __int128)a * b * c;
    return product > (unsigned __int128)INT64_MAX ? INT64_MAX : int64_t(product);
}

// n / d rounded to the nearest integer, for n >= 0 and d > 0.
int64_t roundedQuotient(int64_t n, __int128 d)
{
    return int64_t((__int128(n) + d / 2) / d);
}

} // namespace

std::optional<TFsSpace> SystemSpace(const QString &path)
{
    struct statvfs st{};
    if (::statvfs(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    TFsSpace space;
    space.blockSize = st.f_frsize ? st.f_frsize : st.f_bsize;
    space.blocks = st.f_blocks;
    space.freeBlocks = st.f_bavail;
    space.fsid = uint64_t(st.f_fsid);
    space.nameMax = uint32_t(std::min<unsigned long>(st.f_namemax, UINT32_MAX));
    return space;
}

bool TDrives::ReadDiskSpace(TVolumeInfo &info, bool synthesizeOnly)
{
    if (synthesizeOnly) {
        SynthesizeGeometry(info);
        return false;
    }
    const auto d = drive(info.letter);
    const std::optional<TFsSpace> space = d ? spaceOf(d->mountPoint) : std::nullopt;
    if (!space || space->blockSize == 0 || space->blockSize > uint64_t(INT32_MAX)) {
        info.totalBytes = info.freeBytes = 0;
        SynthesizeGeometry(info);
        return false;
    }
    const uint64_t freeBlocks = std::min(space->freeBlocks, space->blocks);
    info.totalBytes = saturatedProduct(space->blocks, space->blockSize, kByteTotalScale);
    info.freeBytes = saturatedProduct(freeBlocks, space->blockSize, kByteTotalScale);
    if (info.fileSystem == "CDFS") {
        SynthesizeGeometry(info);
        return true;
    }
    uint64_t sector = logicalSectorSize(*d);
    if (space->blockSize % sector != 0)
        sector = space->blockSize % 512 == 0 ? 512 : space->blockSize;
    uint64_t sectorsPerCluster = space->blockSize / sector;
    // Clusters must fit the 32-bit fields: fewer, larger clusters for huge volumes.
    const unsigned __int128 totalBytes = (unsigned __int128)space->blocks * space->blockSize;
    const unsigned __int128 freeBytes = (unsigned __int128)freeBlocks * space->blockSize;
    auto clusters = [&](unsigned __int128 bytes) {
        const unsigned __int128 size = (unsigned __int128)sector * sectorsPerCluster;
        return (bytes + size / 2) / size;
    };
    while (clusters(totalBytes) > INT32_MAX && sectorsPerCluster < (uint64_t(1) << 40))
        sectorsPerCluster *= 2;
    if (sectorsPerCluster > uint64_t(INT32_MAX) || clusters(totalBytes) > INT32_MAX) {
        SynthesizeGeometry(info);
        return true;
    }
    info.bytesPerSector = int32_t(sector);
    info.sectorsPerCluster = int32_t(sectorsPerCluster);
    info.totalClusters = int32_t(clusters(totalBytes));
    info.freeClusters = int32_t(clusters(freeBytes));
    return true;
}

void SynthesizeGeometry(TVolumeInfo &info)
{
    const int64_t totalStored = std::max<int64_t>(info.totalBytes, 0);
    const int64_t freeStored = std::clamp<int64_t>(info.freeBytes, 0, totalStored);
    const int64_t total = WholeBytes(totalStored);
    int64_t bytesPerSector = 512;
    int64_t sectorsPerCluster = 1;
    // Cluster sizes grow no further than this; no volume needs more.
    constexpr int64_t kMaxSectorsPerCluster = int64_t(1) << 24;
    if (info.fileSystem == "FAT32") {
        if (total >= 268435456) {   // 256 MiB
            sectorsPerCluster = 8;
            int64_t limit = int64_t(8) << 30;   // 8 GiB with 4 KiB clusters, doubling from there
            while (total > limit && sectorsPerCluster < kMaxSectorsPerCluster) {
                sectorsPerCluster *= 2;
                limit *= 2;
            }
        }
    } else if (info.fileSystem == "CDFS") {
        bytesPerSector = 2048;
    } else {
        // 33,554,431 = 2^25 - 1 sectors of 512 bytes: the largest volume with 1-sector clusters.
        while (total > int64_t(33554431) * sectorsPerCluster && sectorsPerCluster < kMaxSectorsPerCluster)
            sectorsPerCluster *= 2;
    }
    auto clusters = [&](int64_t stored) {
        return roundedQuotient(stored, __int128(bytesPerSector) * sectorsPerCluster * kByteTotalScale);
    };
    while (clusters(totalStored) > INT32_MAX)
        sectorsPerCluster *= 2;
    info.bytesPerSector = int32_t(bytesPerSector);
    info.sectorsPerCluster = int32_t(sectorsPerCluster);
    info.totalClusters = int32_t(clusters(totalStored));
    info.freeClusters = int32_t(clusters(freeStored));
}
