// Tests of the mount table: parsing mountinfo text and telling pseudo file systems apart.
#include "platform/MountTable.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(MountInfo, FieldsAndEscapes)
{
    const QByteArray text =
        "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "40 26 8:17 / /media/my\\040stick rw,nosuid shared:7 master:2 - vfat /dev/sdb1 rw,fmask=0022\n"
        "41 26 0:50 / /mnt/tab\\011and\\134slash/ rw - nfs4 server:/export\\040x rw\n";
    const QList<TMountEntry> mounts = ParseMountInfo(text);
    ASSERT_EQ(mounts.size(), 3);
    EXPECT_EQ(mounts[0].mountPoint, QStringLiteral("/"));
    EXPECT_EQ(mounts[0].device, QStringLiteral("/dev/vda"));
    EXPECT_EQ(mounts[0].fsType, QStringLiteral("ext4"));
    // Optional fields before the separator are skipped, whatever their number.
    EXPECT_EQ(mounts[1].mountPoint, QStringLiteral("/media/my stick"));
    EXPECT_EQ(mounts[1].fsType, QStringLiteral("vfat"));
    EXPECT_EQ(mounts[1].device, QStringLiteral("/dev/sdb1"));
    EXPECT_EQ(mounts[1].options, QStringLiteral("rw,nosuid"));
    EXPECT_EQ(mounts[2].mountPoint, QStringLiteral("/mnt/tab\tand\\slash"));
    EXPECT_EQ(mounts[2].device, QStringLiteral("server:/export x"));
}

TEST(MountInfo, BrokenLinesAreSkipped)
{
    const QByteArray text =
        "\n"
        "garbage\n"
        "1 2 3:4 / /nofields rw\n"                       // no separator
        "1 2 3:4 / /short rw - ext4\n"                   // no source
        "1 2 3:4 / relative rw - ext4 /dev/x rw\n"       // mount point not absolute
        "1 2 3:4 / /bad\\9 rw - ext4 /dev/sdz\\04 rw\n"  // escapes cut short stay as they are
        "1 2 3:4 / /ok rw - xfs /dev/sdc1 rw";           // no final newline
    const QList<TMountEntry> mounts = ParseMountInfo(text);
    ASSERT_EQ(mounts.size(), 2);
    EXPECT_EQ(mounts[0].mountPoint, QStringLiteral("/bad\\9"));
    EXPECT_EQ(mounts[0].device, QStringLiteral("/dev/sdz\\04"));
    EXPECT_EQ(mounts[1].mountPoint, QStringLiteral("/ok"));
}

TEST(MountInfo, RandomBytesNeverCrash)
{
    std::mt19937 random(7);
    const QByteArray alphabet(" -\\0123\n/abc");
    for (int round = 0; round < 2000; ++round) {
        QByteArray text;
        const int length = int(random() % 200);
        for (int i = 0; i < length; ++i)
            text.append(alphabet[int(random() % alphabet.size())]);
        for (const TMountEntry &m : ParseMountInfo(text))
            ASSERT_TRUE(m.mountPoint.startsWith(QLatin1Char('/')));
    }
}

TEST(MountInfo, PseudoFileSystems)
{
    EXPECT_TRUE(IsPseudoFileSystem(QStringLiteral("proc"), QStringLiteral("/proc")));
    EXPECT_TRUE(IsPseudoFileSystem(QStringLiteral("squashfs"), QStringLiteral("/media/x")));
    EXPECT_TRUE(IsPseudoFileSystem(QStringLiteral("overlay"), QStringLiteral("/var/lib/x")));
    EXPECT_TRUE(IsPseudoFileSystem(QStringLiteral("tmpfs"), QStringLiteral("/run/user/1000")));
    EXPECT_TRUE(IsPseudoFileSystem(QStringLiteral("tmpfs"), QStringLiteral("/tmp")));
    EXPECT_TRUE(IsPseudoFileSystem(QStringLiteral("ext4"), QStringLiteral("/snap/core/1")));
    EXPECT_TRUE(IsPseudoFileSystem(QStringLiteral("fuse.portal"), QStringLiteral("/home/u/doc")));
    EXPECT_FALSE(IsPseudoFileSystem(QStringLiteral("vfat"), QStringLiteral("/run/media/u/STICK")));
    EXPECT_FALSE(IsPseudoFileSystem(QStringLiteral("tmpfs"), QStringLiteral("/mnt/ram")));
    EXPECT_FALSE(IsPseudoFileSystem(QStringLiteral("ext4"), QStringLiteral("/runway")));
}

} // namespace
