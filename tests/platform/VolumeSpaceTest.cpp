// Tests of the geometry synthesized from a volume's byte totals.
#include "platform/VolumeSpace.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TVolumeInfo withTotals(const char *fileSystem, int64_t totalBytes, int64_t freeBytes)
{
    TVolumeInfo info;
    info.fileSystem = fileSystem;
    info.totalBytes = totalBytes * 10000;
    info.freeBytes = freeBytes * 10000;
    return info;
}

TEST(SynthesizedGeometry, Fat32Table)
{
    const int64_t MiB = 1 << 20, GiB = int64_t(1) << 30;
    const struct {
        int64_t total;
        int spc;
    } cases[] = {{100 * MiB, 1}, {256 * MiB - 1, 1}, {256 * MiB, 8}, {8 * GiB, 8}, {8 * GiB + 1, 16},
                 {16 * GiB, 16}, {20 * GiB, 32}, {32 * GiB, 32}, {33 * GiB, 64}};
    for (const auto &c : cases) {
        TVolumeInfo info = withTotals("FAT32", c.total, c.total / 4);
        SynthesizeGeometry(info);
        EXPECT_EQ(info.bytesPerSector, 512) << c.total;
        EXPECT_EQ(info.sectorsPerCluster, c.spc) << c.total;
        const double cluster = 512.0 * c.spc;
        EXPECT_EQ(info.totalClusters, int32_t(std::llround(double(c.total) / cluster))) << c.total;
        EXPECT_EQ(info.freeClusters, int32_t(std::llround(double(c.total / 4) / cluster))) << c.total;
    }
}

TEST(SynthesizedGeometry, CdfsAndOthers)
{
    TVolumeInfo cd = withTotals("CDFS", 681574400, 0);
    SynthesizeGeometry(cd);
    EXPECT_EQ(cd.bytesPerSector, 2048);
    EXPECT_EQ(cd.sectorsPerCluster, 1);
    EXPECT_EQ(cd.totalClusters, 332800);
    EXPECT_EQ(cd.freeClusters, 0);

    const struct {
        int64_t total;
        int spc;
    } cases[] = {{0, 1}, {33554431, 1}, {33554432, 2}, {67108862, 2}, {67108863, 4},
                 {int64_t(1) << 30, 64}, {int64_t(1) << 40, 65536}};
    for (const auto &c : cases) {
        TVolumeInfo info = withTotals("NTFS", c.total, 0);
        SynthesizeGeometry(info);
        EXPECT_EQ(info.bytesPerSector, 512) << c.total;
        EXPECT_EQ(info.sectorsPerCluster, c.spc) << c.total;
    }
}

TEST(SynthesizedGeometry, RoundingAndExtremes)
{
    TVolumeInfo info = withTotals("EXT4", 1000, 700);
    SynthesizeGeometry(info);
    EXPECT_EQ(info.totalClusters, 2);   // 1.95 clusters
    EXPECT_EQ(info.freeClusters, 1);    // 1.37 clusters
    info = withTotals("EXT4", 768, 767);
    SynthesizeGeometry(info);
    EXPECT_EQ(info.totalClusters, 2);   // 1.5 rounds up
    EXPECT_EQ(info.freeClusters, 1);

    // Whatever an imported record claims, the clusters fit their fields.
    TVolumeInfo huge;
    huge.fileSystem = "FAT32";
    huge.totalBytes = INT64_MAX;
    huge.freeBytes = INT64_MAX;
    SynthesizeGeometry(huge);
    EXPECT_GT(huge.totalClusters, 0);
    EXPECT_EQ(huge.freeClusters, huge.totalClusters);
    TVolumeInfo negative = withTotals("CDFS", -5, -9);
    SynthesizeGeometry(negative);
    EXPECT_EQ(negative.totalClusters, 0);
    EXPECT_EQ(negative.freeClusters, 0);
}

} // namespace
