// Tests of the drive layer on fake mount tables, fake sysfs trees, folders
// and file-system images made here; no real device or mount is touched.
#include "platform/Drives.h"

#include "FakeMachine.h"
#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <random>

#include <sys/stat.h>

namespace {

using testcat::ScriptedPrompter;
using testdrives::FakeMachine;
using testdrives::mount;
using testdrives::space;

const QChar kA = QLatin1Char('A'), kB = QLatin1Char('B'), kC = QLatin1Char('C'), kD = QLatin1Char('D'),
            kE = QLatin1Char('E'), kF = QLatin1Char('F'), kG = QLatin1Char('G'), kH = QLatin1Char('H'),
            kI = QLatin1Char('I'), kJ = QLatin1Char('J');


// ---------------------------------------------------------------- letters

class DriveLetters : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m.addBlock(QStringLiteral("fd0"), {{QStringLiteral("size"), "2880\n"}});
        m.addBlock(QStringLiteral("fd1"), {{QStringLiteral("size"), "2400\n"}});
        m.addBlock(QStringLiteral("sr0"));
        m.addBlock(QStringLiteral("sr1"));
        m.addBlock(QStringLiteral("sda"), {{QStringLiteral("removable"), "0\n"}});
        m.addBlock(QStringLiteral("sda/sda2"));
        m.addBlock(QStringLiteral("sda/sda3"));
        m.addBlock(QStringLiteral("sdb"), {{QStringLiteral("removable"), "1\n"}});
        m.addBlock(QStringLiteral("sdb/sdb1"));
        *m.m_mounts = {
            mount(QStringLiteral("proc"), QStringLiteral("/proc"), QStringLiteral("proc")),
            mount(QStringLiteral("/dev/sda2"), QStringLiteral("/"), QStringLiteral("ext4")),
            mount(QStringLiteral("sysfs"), QStringLiteral("/sys"), QStringLiteral("sysfs")),
            mount(QStringLiteral("tmpfs"), QStringLiteral("/run"), QStringLiteral("tmpfs")),
            mount(QStringLiteral("tmpfs"), QStringLiteral("/dev/shm"), QStringLiteral("tmpfs")),
            mount(QStringLiteral("/dev/loop3"), QStringLiteral("/snap/core/12"), QStringLiteral("squashfs")),
            mount(QStringLiteral("server:/export"), QStringLiteral("/net"), QStringLiteral("nfs4")),
            mount(QStringLiteral("/dev/sdb1"), QStringLiteral("/media/usb"), QStringLiteral("vfat")),
            mount(QStringLiteral("u@host:/"), QStringLiteral("/home/u/remote"), QStringLiteral("fuse.sshfs")),
            mount(QStringLiteral("/dev/sda3"), QStringLiteral("/home"), QStringLiteral("ext4")),
        };
    }

    QString mountPointOf(TDrives &drives, QChar letter) { return drives.rootPath(letter); }

    FakeMachine m;
};

TEST_F(DriveLetters, BindingOrder)
{
    TDrives drives(m.sources());
    QString letters;
    for (const TDrive &d : drives.drives())
        letters += d.letter;
    // Floppies, root, optical drives, then the rest by mount point; no pseudo file systems.
    EXPECT_EQ(letters, QStringLiteral("ABCDEFGHI"));
    EXPECT_EQ(drives.drive(kA)->device, QStringLiteral("/dev/fd0"));
    EXPECT_EQ(drives.drive(kB)->device, QStringLiteral("/dev/fd1"));
    EXPECT_EQ(drives.rootPath(kC), QStringLiteral("/"));
    EXPECT_EQ(drives.drive(kD)->device, QStringLiteral("/dev/sr0"));
    EXPECT_EQ(drives.drive(kE)->device, QStringLiteral("/dev/sr1"));
    EXPECT_EQ(drives.rootPath(kF), QStringLiteral("/home"));
    EXPECT_EQ(drives.rootPath(kG), QStringLiteral("/home/u/remote"));
    EXPECT_EQ(drives.rootPath(kH), QStringLiteral("/media/usb"));
    EXPECT_EQ(drives.rootPath(kI), QStringLiteral("/net"));
    // Drives without a medium are listed, not mounted, so not ready.
    EXPECT_TRUE(drives.rootPath(kA).isEmpty());
    EXPECT_TRUE(drives.rootPath(kD).isEmpty());
    EXPECT_FALSE(drives.IsDriveReady(kD, false));
    EXPECT_FALSE(drives.drive(kJ).has_value());
}

TEST_F(DriveLetters, StableAcrossRefresh)
{
    TDrives drives(m.sources());
    // The stick goes, a disc is mounted, a new file system appears before the others
    // in mount-point order, and /home moves.
    m.m_mounts->removeIf([](const TMountEntry &e) { return e.device == QStringLiteral("/dev/sdb1"); });
    ASSERT_TRUE(QDir(m.path(QStringLiteral("block/sdb"))).removeRecursively());
    for (TMountEntry &e : *m.m_mounts)
        if (e.device == QStringLiteral("/dev/sda3"))
            e.mountPoint = QStringLiteral("/srv/home");
    m.m_mounts->append(mount(QStringLiteral("/dev/sr1"), QStringLiteral("/media/cdrom"), QStringLiteral("iso9660")));
    m.m_mounts->append(mount(QStringLiteral("/dev/sdc1"), QStringLiteral("/aaa"), QStringLiteral("ext4")));
    drives.refresh();
    EXPECT_FALSE(drives.drive(kH).has_value());
    EXPECT_EQ(drives.rootPath(kE), QStringLiteral("/media/cdrom"));
    EXPECT_EQ(drives.rootPath(kF), QStringLiteral("/srv/home"));
    EXPECT_EQ(drives.rootPath(kI), QStringLiteral("/net"));
    EXPECT_EQ(drives.rootPath(kJ), QStringLiteral("/aaa"));
    // The stick comes back elsewhere and finds its letter again.
    m.addBlock(QStringLiteral("sdb"), {{QStringLiteral("removable"), "1\n"}});
    m.addBlock(QStringLiteral("sdb/sdb1"));
    m.m_mounts->append(mount(QStringLiteral("/dev/sdb1"), QStringLiteral("/media/u/STICK"), QStringLiteral("vfat")));
    drives.refresh();
    EXPECT_EQ(drives.rootPath(kH), QStringLiteral("/media/u/STICK"));
    EXPECT_EQ(drives.rootPath(kJ), QStringLiteral("/aaa"));
}

TEST_F(DriveLetters, EmptyRemovableSlots)
{
    // A card reader without a card is a drive; one with an unmounted card is not.
    m.addBlock(QStringLiteral("sdc"), {{QStringLiteral("removable"), "1\n"}, {QStringLiteral("size"), "0\n"}});
    m.addBlock(QStringLiteral("sdd"), {{QStringLiteral("removable"), "1\n"}, {QStringLiteral("size"), "31116288\n"}});
    m.addBlock(QStringLiteral("sde"), {{QStringLiteral("removable"), "0\n"}, {QStringLiteral("size"), "0\n"}});
    TDrives drives(m.sources());
    EXPECT_EQ(drives.drive(kF)->device, QStringLiteral("/dev/sdc"));
    EXPECT_TRUE(drives.rootPath(kF).isEmpty());
    EXPECT_EQ(drives.driveType(kF), TDriveType::Removable);
    EXPECT_EQ(drives.DriveMediaType(kF), 13);
    EXPECT_EQ(drives.rootPath(kG), QStringLiteral("/home"));
    EXPECT_EQ(drives.drives().size(), 10);
    // The card goes in and is mounted: same letter, now ready.
    FakeMachine::writeFile(m.path(QStringLiteral("block/sdc/size")), "1000\n");
    m.m_mounts->append(mount(QStringLiteral("/dev/sdc"), QStringLiteral("/media/card"), QStringLiteral("vfat")));
    drives.refresh();
    EXPECT_EQ(drives.rootPath(kF), QStringLiteral("/media/card"));
}

TEST_F(DriveLetters, LettersRunOut)
{
    for (int i = 0; i < 40; ++i)
        m.m_mounts->append(mount(QStringLiteral("/dev/vd%1").arg(i), QStringLiteral("/m/%1").arg(i, 2, 10, QLatin1Char('0')),
                                 QStringLiteral("ext4")));
    TDrives drives(m.sources());
    EXPECT_EQ(drives.drives().size(), 26);
    EXPECT_EQ(drives.drives().last().letter, QLatin1Char('Z'));
}

TEST_F(DriveLetters, HiddenMountAndDuplicateDevice)
{
    // A second mount on /net hides the first; a bind mount of /dev/sda3 gets no letter of its own.
    m.m_mounts->append(mount(QStringLiteral("other:/x"), QStringLiteral("/net"), QStringLiteral("nfs")));
    m.m_mounts->append(mount(QStringLiteral("/dev/sda3"), QStringLiteral("/zz-bind"), QStringLiteral("ext4")));
    TDrives drives(m.sources());
    EXPECT_EQ(drives.drive(kI)->device, QStringLiteral("other:/x"));
    EXPECT_EQ(drives.drives().size(), 9);
}

TEST_F(DriveLetters, DriveOfPath)
{
    TDrives drives(m.sources());
    QByteArray root = "stale";
    EXPECT_EQ(drives.driveOfPath(QStringLiteral("/media/usb"), &root), kH);
    EXPECT_TRUE(root.isEmpty());
    EXPECT_EQ(drives.driveOfPath(QStringLiteral("/media/usb/photos/2024/"), &root), kH);
    EXPECT_EQ(root, QByteArray("\\photos\\2024\\"));
    EXPECT_EQ(drives.driveOfPath(QStringLiteral("/media/usb/a/../b"), &root), kH);
    EXPECT_EQ(root, QByteArray("\\b\\"));
    // A sibling whose name starts like a mount point belongs to the root.
    EXPECT_EQ(drives.driveOfPath(QStringLiteral("/media/usb2/x"), &root), kC);
    EXPECT_EQ(root, QByteArray("\\media\\usb2\\x\\"));
    EXPECT_EQ(drives.driveOfPath(QStringLiteral("/home/u/remote/docs"), &root), kG);
    EXPECT_EQ(root, QByteArray("\\docs\\"));
    EXPECT_EQ(drives.driveOfPath(QStringLiteral("/home/u"), &root), kF);
    EXPECT_EQ(root, QByteArray("\\u\\"));
    EXPECT_FALSE(drives.driveOfPath(QString()).has_value());
}

TEST(DriveOfPathNoRoot, OutsideEveryDrive)
{
    FakeMachine m;
    *m.m_mounts = {mount(QStringLiteral("/dev/sdx1"), QStringLiteral("/data"), QStringLiteral("ext4"))};
    TDrives drives(m.sources());
    EXPECT_FALSE(drives.driveOfPath(QStringLiteral("/etc")).has_value());
    QByteArray root;
    EXPECT_EQ(drives.driveOfPath(QString::fromUtf8("/data/\xC3\xA9t\xC3\xA9"), &root), kD);
    EXPECT_EQ(root, QByteArray("\\\xC3\xA9t\xC3\xA9\\"));
}

TEST(ParseLetter, Forms)
{
    EXPECT_EQ(TDrives::parseLetter(QStringLiteral("D")), kD);
    EXPECT_EQ(TDrives::parseLetter(QStringLiteral("d:")), kD);
    EXPECT_EQ(TDrives::parseLetter(QStringLiteral("d:\\")), kD);
    EXPECT_EQ(TDrives::parseLetter(QStringLiteral("z:/")), QLatin1Char('Z'));
    for (const char *bad : {"", "DD", "1:", "d:x", "d:\\x", "\xC3\xA9:", ":"})
        EXPECT_FALSE(TDrives::parseLetter(QString::fromUtf8(bad)).has_value()) << bad;
}

// ---------------------------------------------------------------- types and media

class DriveTypes : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m.addBlock(QStringLiteral("sda"), {{QStringLiteral("removable"), "0\n"}});
        m.addBlock(QStringLiteral("sda/sda1"));
        m.addBlock(QStringLiteral("sdb"), {{QStringLiteral("removable"), "1\n"},
                                           {QStringLiteral("device/model"), "ZIP 100         \n"}});
        m.addBlock(QStringLiteral("sdd"), {{QStringLiteral("removable"), "1\n"},
                                           {QStringLiteral("device/model"), "jaz 1GB\n"}});
        m.addBlock(QStringLiteral("sde"), {{QStringLiteral("removable"), "1\n"},
                                           {QStringLiteral("device/model"), "Cruzer Blade\n"}});
        // A USB disk that says it is fixed: its sysfs folder lives below a USB controller.
        const QString usbDisk = m.path(QStringLiteral("devices/pci0000:00/usb2/2-1/host6/block/sdc"));
        ASSERT_TRUE(QDir().mkpath(usbDisk + QStringLiteral("/sdc1")));
        FakeMachine::writeFile(usbDisk + QStringLiteral("/removable"), "0\n");
        ASSERT_TRUE(QFile::link(usbDisk, m.path(QStringLiteral("block/sdc"))));
        m.addBlock(QStringLiteral("fd0"), {{QStringLiteral("size"), "2880\n"}});
        m.addBlock(QStringLiteral("sr0"));
        *m.m_mounts = {
            mount(QStringLiteral("/dev/sda1"), QStringLiteral("/"), QStringLiteral("ext4")),
            mount(QStringLiteral("/dev/sdb"), QStringLiteral("/m/zip"), QStringLiteral("vfat")),
            mount(QStringLiteral("/dev/sdc1"), QStringLiteral("/m/usb"), QStringLiteral("exfat")),
            mount(QStringLiteral("/dev/sdd"), QStringLiteral("/m/jaz"), QStringLiteral("vfat")),
            mount(QStringLiteral("/dev/sde"), QStringLiteral("/m/stick"), QStringLiteral("vfat")),
            mount(QStringLiteral("nas:/share"), QStringLiteral("/m/nas"), QStringLiteral("nfs")),
            mount(QStringLiteral("tmpfs"), QStringLiteral("/m/ram"), QStringLiteral("tmpfs")),
            mount(QStringLiteral("/dev/zram1"), QStringLiteral("/m/zram"), QStringLiteral("ext2")),
            mount(QStringLiteral("/dev/loop0"), QStringLiteral("/m/iso"), QStringLiteral("iso9660")),
        };
    }

    QChar letterOf(TDrives &drives, const QString &mountPoint)
    {
        const auto letter = drives.driveOfPath(mountPoint);
        EXPECT_TRUE(letter.has_value()) << qPrintable(mountPoint);
        return letter.value_or(QChar());
    }

    FakeMachine m;
};

TEST_F(DriveTypes, TypesAndMediaTypes)
{
    TDrives drives(m.sources());
    struct Case {
        const char *mountPoint;
        TDriveType type;
        uint8_t media;
    };
    const Case cases[] = {
        {"/", TDriveType::Fixed, 5},          {"/m/zip", TDriveType::Removable, 14},
        {"/m/usb", TDriveType::Removable, 13}, {"/m/jaz", TDriveType::Removable, 15},
        {"/m/stick", TDriveType::Removable, 13}, {"/m/nas", TDriveType::Remote, 11},
        {"/m/ram", TDriveType::RamDisk, 12},   {"/m/zram", TDriveType::RamDisk, 12},
        {"/m/iso", TDriveType::CdRom, 10},
    };
    for (const Case &c : cases) {
        const QChar letter = letterOf(drives, QString::fromLatin1(c.mountPoint));
        EXPECT_EQ(drives.driveType(letter), c.type) << c.mountPoint;
        EXPECT_EQ(drives.DriveMediaType(letter), c.media) << c.mountPoint;
    }
    EXPECT_EQ(drives.driveType(kA), TDriveType::Removable);
    EXPECT_EQ(drives.DriveMediaType(kA), 7);
    EXPECT_EQ(drives.driveType(kD), TDriveType::CdRom);
    EXPECT_EQ(drives.DriveMediaType(kD), 10);
    EXPECT_EQ(drives.driveType(QLatin1Char('Y')), TDriveType::NoRoot);
    EXPECT_EQ(drives.DriveMediaType(QLatin1Char('Y')), kMediaUnknown);
    EXPECT_EQ(drives.DriveMediaType(QLatin1Char('?')), kMediaUnknown);
}

TEST_F(DriveTypes, RemovableProbedOncePerRun)
{
    TDrives drives(m.sources());
    const QChar zip = letterOf(drives, QStringLiteral("/m/zip"));
    EXPECT_EQ(drives.DriveMediaType(zip), 14);
    FakeMachine::writeFile(m.path(QStringLiteral("block/sdb/device/model")), "JAZ 1GB\n");
    FakeMachine::writeFile(m.path(QStringLiteral("block/fd0/size")), "1440\n");
    drives.refresh();
    EXPECT_EQ(drives.DriveMediaType(zip), 14);
    EXPECT_EQ(drives.DriveMediaType(kA), 2);   // first probe of A: happens now
    FakeMachine::writeFile(m.path(QStringLiteral("block/fd0/size")), "5760\n");
    EXPECT_EQ(drives.DriveMediaType(kA), 2);
    // A second table probes again.
    TDrives again(m.sources());
    EXPECT_EQ(again.DriveMediaType(zip), 15);
    EXPECT_EQ(again.DriveMediaType(kA), 9);
}

TEST(FloppyMedia, SectorCounts)
{
    const struct {
        const char *size;
        uint8_t media;
    } cases[] = {{"720", 0}, {"640", 0}, {"2400", 1}, {"1440", 2}, {"2880", 7}, {"5760", 9},
                 {"3360", 13}, {"0", 13}, {"junk", 13}, {"", 13}};
    for (const auto &c : cases) {
        FakeMachine m;
        m.addBlock(QStringLiteral("fd0"), {{QStringLiteral("size"), QByteArray(c.size) + '\n'}});
        TDrives drives(m.sources());
        EXPECT_EQ(drives.DriveMediaType(kA), c.media) << c.size;
    }
}

// ---------------------------------------------------------------- space and volume data

class VolumeData : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(media.isValid());
        m.addBlock(QStringLiteral("sdb"), {{QStringLiteral("removable"), "1\n"},
                                           {QStringLiteral("queue/logical_block_size"), "512\n"}});
        m.addBlock(QStringLiteral("sdb/sdb1"));
        m.addBlock(QStringLiteral("sr0"), {{QStringLiteral("queue/logical_block_size"), "2048\n"}});
        *m.m_mounts = {
            mount(QStringLiteral("/dev/sdb1"), media.path(), QStringLiteral("ext4")),
            mount(QStringLiteral("/dev/sr0"), media.filePath(QStringLiteral("cd")), QStringLiteral("iso9660")),
        };
        (*m.m_spaces)[media.path()] = space(4096, 1000, 250, 0x1122334455667788ull);
        (*m.m_spaces)[media.filePath(QStringLiteral("cd"))] = space(2048, 332800, 0, 7);
    }

    FakeMachine m;
    QTemporaryDir media;
};

TEST_F(VolumeData, StatfsFallback)
{
    TDrives drives(m.sources());
    const QChar stick = *drives.driveOfPath(media.path());
    TVolumeInfo info = drives.volumeInfo(stick);
    EXPECT_EQ(info.letter, stick);
    EXPECT_EQ(info.label, QByteArray());
    EXPECT_EQ(info.fileSystem, QByteArray("EXT4"));
    EXPECT_EQ(info.serial, 0x11223344u ^ 0x55667788u);
    EXPECT_EQ(info.maxNameLen, 255u);
    EXPECT_FALSE(info.compressed);
    EXPECT_TRUE(drives.ReadDiskSpace(info, false));
    EXPECT_EQ(info.bytesPerSector, 512);
    EXPECT_EQ(info.sectorsPerCluster, 8);
    EXPECT_EQ(info.totalClusters, 1000);
    EXPECT_EQ(info.freeClusters, 250);
    EXPECT_EQ(info.totalBytes, int64_t(4096000) * 10000);
    EXPECT_EQ(info.freeBytes, int64_t(1024000) * 10000);
    // The synthesized form keeps the totals and recomputes the geometry.
    EXPECT_FALSE(drives.ReadDiskSpace(info, true));
    EXPECT_EQ(info.sectorsPerCluster, 1);
    EXPECT_EQ(info.totalClusters, 8000);
}

TEST_F(VolumeData, CdGeometryIsSynthesized)
{
    TDrives drives(m.sources());
    TVolumeInfo info = drives.volumeInfo(kD);
    EXPECT_EQ(info.fileSystem, QByteArray("CDFS"));
    EXPECT_EQ(info.serial, 7u);
    EXPECT_TRUE(drives.ReadDiskSpace(info, false));
    EXPECT_EQ(info.bytesPerSector, 2048);
    EXPECT_EQ(info.sectorsPerCluster, 1);
    EXPECT_EQ(info.totalClusters, 332800);
}

TEST_F(VolumeData, HugeVolumeClustersFit)
{
    // 2^33 blocks of 4 KiB = 32 TiB: 2^33 clusters would not fit 32 bits.
    (*m.m_spaces)[media.path()] = space(4096, uint64_t(1) << 33, uint64_t(1) << 31);
    TDrives drives(m.sources());
    TVolumeInfo info = drives.volumeInfo(kE);
    ASSERT_TRUE(drives.ReadDiskSpace(info, false));
    EXPECT_EQ(info.bytesPerSector, 512);
    EXPECT_EQ(info.sectorsPerCluster, 8 * 8);
    EXPECT_EQ(info.totalClusters, 1 << 30);
    EXPECT_EQ(info.freeClusters, 1 << 28);
    EXPECT_EQ(int64_t(info.totalClusters) * info.sectorsPerCluster * info.bytesPerSector, int64_t(1) << 45);
}

TEST_F(VolumeData, NotReady)
{
    m.m_spaces->clear();
    TDrives drives(m.sources());
    const QChar stick = *drives.driveOfPath(media.path());
    TVolumeInfo info = drives.volumeInfo(stick);
    EXPECT_EQ(info.label, QByteArray("(unknown)"));
    EXPECT_EQ(info.fileSystem, QByteArray("unknown"));
    EXPECT_EQ(info.serial, 0u);
    EXPECT_FALSE(drives.ReadDiskSpace(info, false));
    EXPECT_EQ(info.totalClusters, 0);
    EXPECT_EQ(info.totalBytes, 0);
    EXPECT_FALSE(drives.IsDriveReady(stick, false));
    // An unbound letter is never ready and has no volume data.
    EXPECT_EQ(drives.volumeInfo(QLatin1Char('Q')).fileSystem, QByteArray("unknown"));
}

TEST_F(VolumeData, ReadyWithRetry)
{
    const QString place = media.filePath(QStringLiteral("later"));
    m.m_spaces->remove(media.filePath(QStringLiteral("cd")));
    TDrives drives(m.sources());
    ScriptedPrompter prompter;
    prompter.answers = {MsgAnswer::Retry, MsgAnswer::Cancel};
    EXPECT_FALSE(drives.IsDriveReady(kD, true, &prompter));
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[0].caption, QStringLiteral("Drive Not Ready"));
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("Drive D: is not ready !"));
    EXPECT_EQ(prompter.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(prompter.messages[0].buttons, MsgButtons::RetryCancel);

    // The disc gets mounted while the question is up: Retry finds it.
    (*m.m_spaces)[place] = space(2048, 10, 0);
    for (TMountEntry &e : *m.m_mounts)
        if (e.device == QStringLiteral("/dev/sr0"))
            e.mountPoint = place;
    ScriptedPrompter second;
    second.answers = {MsgAnswer::Retry};
    EXPECT_TRUE(drives.IsDriveReady(kD, true, &second));
    EXPECT_EQ(second.messages.size(), 1u);
    EXPECT_EQ(drives.rootPath(kD), place);
    ScriptedPrompter none;
    EXPECT_TRUE(drives.IsDriveReady(QLatin1Char('d'), true, &none));
    EXPECT_TRUE(none.messages.empty());
}

} // namespace
