// Tests of the volume probe: labels, file-system names and serials, read
// from file-system images made here and from fake udev links.
#include "platform/VolumeProbe.h"

#include "platform/Drives.h"
#include "platform/Texts.h"

#include "FakeMachine.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using testdrives::FakeMachine;
using testdrives::findTool;
using testdrives::readFile;
using testdrives::runTool;
using VolumeImages = testdrives::ImageDrives;

const QChar kD = QLatin1Char('D'), kE = QLatin1Char('E');

TEST(VolumeLabel, CaseRule)
{
    EXPECT_EQ(NormalizeVolumeLabel("BACKUP"), QByteArray("Backup"));
    EXPECT_EQ(NormalizeVolumeLabel("SYSTEM     "), QByteArray("System"));
    EXPECT_EQ(NormalizeVolumeLabel("MixedCase"), QByteArray("MixedCase"));
    EXPECT_EQ(NormalizeVolumeLabel("myDisk"), QByteArray("MyDisk"));
    EXPECT_EQ(NormalizeVolumeLabel(""), QByteArray());
    EXPECT_EQ(NormalizeVolumeLabel("2024_01"), QByteArray("2024_01"));
    EXPECT_EQ(NormalizeVolumeLabel("\xC3\x84RGER"), QByteArray("\xC3\x84rger"));
    EXPECT_EQ(NormalizeVolumeLabel("\xC3\xA9t\xC3\xA9"), QByteArray("\xC3\x89t\xC3\xA9"));
    // Code page 437 bytes of a DOS-formatted medium: 8Eh is A with diaeresis.
    EXPECT_EQ(NormalizeVolumeLabel("\x8E" "BC"), QByteArray("\xC3\x84" "bc"));
}

TEST(VolumeLabel, DosBytesReadAsArchiveNamesAre)
{
    // E6h is the micro sign, as in archive member names, not the Greek mu.
    EXPECT_EQ(NormalizeVolumeLabel("data\xE6"), QByteArray("Data\xC2\xB5"));
    // Every byte that is not ASCII decodes as the one code page 437 table
    // does; the letters around it keep the case rule out of the way.
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const QByteArray raw = QByteArray("a") + char(byte) + "b";
        EXPECT_EQ(NormalizeVolumeLabel(raw), QByteArray("A") + DosBytesToUtf8(QByteArray(1, char(byte))) + "b")
            << byte;
    }
}

TEST(VolumeLabel, CutAtCharacterBoundary)
{
    EXPECT_EQ(NormalizeVolumeLabel(QByteArray(40, 'a')), QByteArray("A") + QByteArray(32, 'a'));
    // 17 two-byte characters are 34 bytes: the 17th does not fit.
    QByteArray accents;
    for (int i = 0; i < 17; ++i)
        accents += "\xC3\xA9";
    const QByteArray cut = NormalizeVolumeLabel(accents);
    EXPECT_EQ(cut.size(), 32);
    EXPECT_TRUE(cut.startsWith("\xC3\x89\xC3\xA9"));
}

TEST(FileSystemNames, Table)
{
    const struct {
        const char *type;
        bool fat32;
        const char *name;
    } cases[] = {
        {"vfat", false, "FAT"},   {"vfat", true, "FAT32"},  {"msdos", false, "FAT"},  {"iso9660", false, "CDFS"},
        {"udf", false, "UDF"},    {"ntfs3", false, "NTFS"}, {"ntfs", false, "NTFS"},  {"exfat", false, "EXFAT"},
        {"ext4", false, "EXT4"},  {"btrfs", false, "BTRFS"}, {"nfs4", false, "NFS"},  {"smb3", false, "CIFS"},
        {"cifs", false, "CIFS"},  {"tmpfs", false, "TMPFS"}, {"fuse.sshfs", false, "SSHFS"},
        {"reallylongfsname", false, "REALLYLO"}, {"ext4", true, "EXT4"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FileSystemDisplayName(QString::fromLatin1(c.type), c.fat32), QByteArray(c.name)) << c.type;
}

TEST_F(VolumeImages, FatVolumeData)
{
    const QString image = file(QStringLiteral("f12.img"));
    if (!makeFat(image, {QStringLiteral("-n"), QStringLiteral("BACKUP"), QStringLiteral("-i"), QStringLiteral("1234ABCD")},
                 1440))
        GTEST_SKIP() << "mkfs.fat is missing";
    TDrives drives(imageSources(image, QStringLiteral("vfat")));
    const TVolumeInfo volume = drives.volumeInfo(kD);
    EXPECT_EQ(volume.label, QByteArray("Backup"));
    EXPECT_EQ(volume.serial, 0x1234ABCDu);
    EXPECT_EQ(volume.fileSystem, QByteArray("FAT"));

    // Without leave to open devices the same drive falls back to statfs.
    TDriveSources closed = imageSources(image, QStringLiteral("vfat"));
    closed.readDevices = false;
    TDrives statfsOnly(closed);
    const TVolumeInfo info = statfsOnly.volumeInfo(kD);
    EXPECT_EQ(info.label, QByteArray());
    EXPECT_EQ(info.serial, 99u);
    EXPECT_EQ(info.fileSystem, QByteArray("FAT"));
}

TEST_F(VolumeImages, Fat32AndExt4VolumeData)
{
    const QString fat32 = file(QStringLiteral("f32.img"));
    if (!makeFat(fat32, {QStringLiteral("-F"), QStringLiteral("32"), QStringLiteral("-n"), QStringLiteral("MixedCase"),
                         QStringLiteral("-i"), QStringLiteral("0BADF00D")},
                 34000))
        GTEST_SKIP() << "mkfs.fat is missing";
    TDrives fatDrives(imageSources(fat32, QStringLiteral("vfat")));
    TVolumeInfo info = fatDrives.volumeInfo(kD);
    EXPECT_EQ(info.label, QByteArray("MixedCase"));
    EXPECT_EQ(info.serial, 0x0BADF00Du);
    EXPECT_EQ(info.fileSystem, QByteArray("FAT32"));

    const QString mkfsExt4 = findTool(QStringLiteral("mkfs.ext4"));
    if (mkfsExt4.isEmpty())
        GTEST_SKIP() << "mkfs.ext4 is missing";
    const QString ext4 = file(QStringLiteral("e4.img"));
    ASSERT_TRUE(runTool(mkfsExt4, {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-L"), QStringLiteral("DATA"),
                                   QStringLiteral("-U"), QStringLiteral("0a1b2c3d-0000-4000-8000-000000000001"),
                                   QStringLiteral("-O"), QStringLiteral("^has_journal"), ext4, QStringLiteral("1M")}));
    TDrives extDrives(imageSources(ext4, QStringLiteral("ext4")));
    info = extDrives.volumeInfo(kD);
    EXPECT_EQ(info.label, QByteArray("Data"));
    EXPECT_EQ(info.serial, 0x0A1B2C3Du);
    EXPECT_EQ(info.fileSystem, QByteArray("EXT4"));
}

uint32_t laneSums(const QByteArray &pvd)
{
    uint32_t sums[4] = {0, 0, 0, 0};
    for (int i = 0; i < pvd.size(); ++i)
        sums[i % 4] += uint8_t(pvd[i]);
    return (sums[0] & 0xFF) << 24 | (sums[1] & 0xFF) << 16 | (sums[2] & 0xFF) << 8 | (sums[3] & 0xFF);
}

TEST(IsoSerial, LaneSums)
{
    QByteArray pvd(2048, '\0');
    EXPECT_EQ(IsoVolumeSerial(pvd), 0u);
    pvd[0] = 1;
    pvd[1] = 2;
    pvd[2] = 3;
    pvd[3] = 4;
    EXPECT_EQ(IsoVolumeSerial(pvd), 0x01020304u);
    pvd[4] = char(0xFF);   // lane 0 wraps: 1 + 255 = 0
    pvd[2047] = 1;
    EXPECT_EQ(IsoVolumeSerial(pvd), 0x00020305u);
    EXPECT_EQ(IsoVolumeSerial(QByteArray(2048, 1)), 0u);   // 512 ones per lane wrap to 0
    EXPECT_EQ(IsoVolumeSerial(QByteArray(2047, 1)), 0u);  // not a descriptor
}

TEST_F(VolumeImages, IsoVolumeData)
{
    const QString genisoimage = findTool(QStringLiteral("genisoimage"));
    if (genisoimage.isEmpty())
        GTEST_SKIP() << "genisoimage is missing";
    QDir(dir.path()).mkpath(QStringLiteral("content"));
    FakeMachine::writeFile(file(QStringLiteral("content/readme.txt")), "hello\n");
    const QString image = file(QStringLiteral("cd.iso"));
    ASSERT_TRUE(runTool(genisoimage, {QStringLiteral("-quiet"), QStringLiteral("-V"), QStringLiteral("MY DISC"),
                                      QStringLiteral("-o"), image, file(QStringLiteral("content"))}));
    const QByteArray bytes = readFile(image);
    ASSERT_GE(bytes.size(), 17 * 2048);
    const QByteArray pvd = bytes.mid(16 * 2048, 2048);
    ASSERT_EQ(pvd.mid(0, 6), QByteArray("\x01" "CD001"));
    TDrives drives(imageSources(image, QStringLiteral("iso9660")));
    const TVolumeInfo info = drives.volumeInfo(kD);
    EXPECT_EQ(info.label, QByteArray("My disc"));
    EXPECT_EQ(info.fileSystem, QByteArray("CDFS"));
    EXPECT_EQ(info.serial, laneSums(pvd));
    EXPECT_NE(info.serial, 0u);
}

TEST_F(VolumeImages, UdevLinksForUnreadableDevices)
{
    const QString image = file(QStringLiteral("stick.img"));
    FakeMachine::writeFile(image, QByteArray(4096, '\0'));
    const QString udev = m.path(QStringLiteral("udev"));
    ASSERT_TRUE(QDir().mkpath(udev + QStringLiteral("/by-label")));
    ASSERT_TRUE(QDir().mkpath(udev + QStringLiteral("/by-uuid")));
    ASSERT_TRUE(QFile::link(image, udev + QStringLiteral("/by-label/MY\\x20STICK")));
    ASSERT_TRUE(QFile::link(image, udev + QStringLiteral("/by-uuid/1234-ABCD")));
    ASSERT_TRUE(QFile::link(file(QStringLiteral("other")), udev + QStringLiteral("/by-uuid/5555-6666")));
    TDriveSources sources = imageSources(image, QStringLiteral("vfat"));
    sources.readDevices = false;
    TDrives drives(sources);
    const TVolumeInfo info = drives.volumeInfo(kD);
    EXPECT_EQ(info.label, QByteArray("My stick"));
    EXPECT_EQ(info.serial, 0x1234ABCDu);
}

} // namespace
