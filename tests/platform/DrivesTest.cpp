// Tests of the drive layer on fake mount tables, fake sysfs trees, folders
// and file-system images made here; no real device or mount is touched.
#include "platform/Drives.h"

#include "FakeMachine.h"
#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
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

QString findTool(const QString &name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return path;
}

// Runs a tool; true when it ran and exited with 0.
bool runTool(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(-1))
        return false;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

uint32_t u32At(const QByteArray &bytes, int offset)
{
    return uint32_t(uint8_t(bytes[offset])) | uint32_t(uint8_t(bytes[offset + 1])) << 8
           | uint32_t(uint8_t(bytes[offset + 2])) << 16 | uint32_t(uint8_t(bytes[offset + 3])) << 24;
}

// ---------------------------------------------------------------- the mount table

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

TEST(MediaTypeTexts, CompatibleAndNames)
{
    EXPECT_TRUE(MediaTypesCompatible(5, 5));
    EXPECT_TRUE(MediaTypesCompatible(13, 14));
    EXPECT_TRUE(MediaTypesCompatible(15, 13));
    EXPECT_FALSE(MediaTypesCompatible(14, 15));
    EXPECT_FALSE(MediaTypesCompatible(2, 7));
    EXPECT_FALSE(MediaTypesCompatible(13, 5));
}

// ---------------------------------------------------------------- labels and names

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

// ---------------------------------------------------------------- geometry

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

// ---------------------------------------------------------------- images

class Images : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        mkfsFat = findTool(QStringLiteral("mkfs.fat"));
    }

    QString file(const QString &name) const { return dir.filePath(name); }

    // A drive whose device is an image file, mounted (in name) at a folder.
    TDriveSources imageSources(const QString &image, const QString &fsType)
    {
        QDir(dir.path()).mkpath(QStringLiteral("mnt"));
        *m.m_mounts = {mount(image, file(QStringLiteral("mnt")), fsType)};
        (*m.m_spaces)[file(QStringLiteral("mnt"))] = space(512, 2847, 2847, 99);
        TDriveSources sources = m.sources();
        sources.readDevices = true;
        return sources;
    }

    bool makeFat(const QString &image, const QStringList &options, int kib)
    {
        if (mkfsFat.isEmpty())
            return false;
        return runTool(mkfsFat, QStringList{QStringLiteral("-C")} + options
                                    + QStringList{image, QString::number(kib)});
    }

    QTemporaryDir dir;
    FakeMachine m;
    QString mkfsFat;
};

TEST_F(Images, FatVolumeData)
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

TEST_F(Images, Fat32AndExt4VolumeData)
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

// The lane sums written out the long way, to check the library's version.
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

TEST_F(Images, IsoVolumeData)
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

TEST_F(Images, UdevLinksForUnreadableDevices)
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

TEST_F(Images, WriteFatSerialFat12)
{
    const QString image = file(QStringLiteral("f12.img"));
    if (!makeFat(image, {QStringLiteral("-i"), QStringLiteral("11111111")}, 1440))
        GTEST_SKIP() << "mkfs.fat is missing";
    const QByteArray before = readFile(image);
    EXPECT_TRUE(WriteFatSerial(image, 0xCAFE1234u));
    const QByteArray after = readFile(image);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(u32At(after, 0x27), 0xCAFE1234u);
    // Only the four serial bytes changed.
    for (int i = 0; i < after.size(); ++i) {
        if (i < 0x27 || i >= 0x2B) {
            ASSERT_EQ(after[i], before[i]) << i;
        }
    }
    EXPECT_EQ(ProbeVolume(image)->serial, 0xCAFE1234u);

    // The same through a drive, and refused without leave to open devices.
    TDrives drives(imageSources(image, QStringLiteral("vfat")));
    EXPECT_TRUE(drives.SetVolumeSerial(kD, 0x00C0FFEEu));
    EXPECT_EQ(u32At(readFile(image), 0x27), 0x00C0FFEEu);
    TDriveSources closed = imageSources(image, QStringLiteral("vfat"));
    closed.readDevices = false;
    TDrives closedDrives(closed);
    EXPECT_FALSE(closedDrives.SetVolumeSerial(kD, 1));
    EXPECT_FALSE(closedDrives.SetVolumeSerial(QLatin1Char('X'), 1));
    EXPECT_EQ(u32At(readFile(image), 0x27), 0x00C0FFEEu);
}

TEST_F(Images, WriteFatSerialFat32KeepsBackupInStep)
{
    const QString image = file(QStringLiteral("f32.img"));
    if (!makeFat(image, {QStringLiteral("-F"), QStringLiteral("32"), QStringLiteral("-i"), QStringLiteral("22222222")},
                 34000))
        GTEST_SKIP() << "mkfs.fat is missing";
    EXPECT_TRUE(WriteFatSerial(image, 0x89ABCDEFu));
    const QByteArray after = readFile(image);
    EXPECT_EQ(u32At(after, 0x43), 0x89ABCDEFu);
    const int backup = (uint8_t(after[0x32]) | uint8_t(after[0x33]) << 8) * 512;
    ASSERT_GT(backup, 0);
    EXPECT_EQ(after.mid(backup, 512), after.left(512));
    EXPECT_EQ(ProbeVolume(image)->serial, 0x89ABCDEFu);
    const QString fsck = findTool(QStringLiteral("fsck.fat"));
    if (!fsck.isEmpty()) {
        EXPECT_TRUE(runTool(fsck, {QStringLiteral("-n"), image}));
    }
}

TEST_F(Images, WriteFatSerialRefusesOthers)
{
    QList<QString> refused;
    const QString zeros = file(QStringLiteral("zeros.img"));
    FakeMachine::writeFile(zeros, QByteArray(65536, '\0'));
    refused << zeros;
    const QString tiny = file(QStringLiteral("tiny.img"));
    FakeMachine::writeFile(tiny, QByteArray(100, '\xEB'));
    refused << tiny;
    if (makeFat(file(QStringLiteral("base.img")), {}, 1440)) {
        const QByteArray good = readFile(file(QStringLiteral("base.img")));
        const struct {
            const char *name;
            int offset;
            char value;
        } damages[] = {
            {"nosig.img", 0x1FE, 0},       // boot signature
            {"nojump.img", 0, 0},          // jump instruction
            {"bps.img", 0x0B, 1},          // bytes per sector 0x0201
            {"spc.img", 0x0D, 3},          // sectors per cluster not a power of two
            {"nofats.img", 0x10, 0},       // no FAT
            {"noext.img", 0x26, 0x28},     // short extended block without type
            {"type.img", 0x36, 'X'},       // "XAT12"
        };
        for (const auto &d : damages) {
            QByteArray bytes = good;
            bytes[d.offset] = d.value;
            FakeMachine::writeFile(file(QString::fromLatin1(d.name)), bytes);
            refused << file(QString::fromLatin1(d.name));
        }
    }
    const QString mkfsExt4 = findTool(QStringLiteral("mkfs.ext4"));
    if (!mkfsExt4.isEmpty()) {
        const QString ext4 = file(QStringLiteral("e4.img"));
        if (runTool(mkfsExt4, {QStringLiteral("-q"), QStringLiteral("-F"), ext4, QStringLiteral("1M")}))
            refused << ext4;
    }
    for (const QString &path : std::as_const(refused)) {
        const QByteArray before = readFile(path);
        EXPECT_FALSE(WriteFatSerial(path, 0x12345678u)) << qPrintable(path);
        EXPECT_EQ(readFile(path), before) << qPrintable(path);
    }
    EXPECT_FALSE(WriteFatSerial(file(QStringLiteral("missing.img")), 1));
    EXPECT_FALSE(WriteFatSerial(dir.path(), 1));
    // A pipe is neither file nor device: refused at once instead of blocking on open.
    const QString fifo = file(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(WriteFatSerial(fifo, 1));
    EXPECT_FALSE(ProbeVolume(fifo).has_value());
}

TEST_F(Images, EjectFailsSafely)
{
    const QString image = file(QStringLiteral("stick.img"));
    FakeMachine::writeFile(image, QByteArray(4096, '\0'));
    m.addBlock(QStringLiteral("sr0"));
    TDrives drives(imageSources(image, QStringLiteral("vfat")));
    EXPECT_FALSE(drives.EjectMedia(kD));               // optical drive without a disc
    EXPECT_FALSE(drives.EjectMedia(kE));               // an image file is no device
    EXPECT_FALSE(drives.EjectMedia(QLatin1Char('W'))); // no such drive
    EXPECT_EQ(readFile(image), QByteArray(4096, '\0'));
}

// ---------------------------------------------------------------- ejecting

// A machine with an optical drive, a USB stick, a card in an internal reader
// and a fixed disk, whose ways to eject only write down what was asked of them.
class Ejecting : public ::testing::Test
{
protected:
    // What each way answers; udisksRunning false leaves the bus out.
    struct Answers {
        bool udisksRunning = true;
        bool udisksUnmount = true;
        bool udisksEject = true;
        bool udisksPowerOff = true;
        std::optional<bool> ejectProgram;   // nothing: not installed
        bool unmount = true;
        bool ejectIoctl = true;
    };

    void SetUp() override
    {
        m.addBlock(QStringLiteral("sr0"));
        m.addBlock(QStringLiteral("sda"), {{QStringLiteral("removable"), "0\n"}});
        m.addBlock(QStringLiteral("sda/sda1"));
        m.addBlock(QStringLiteral("sda/sda2"));
        m.addBlock(QStringLiteral("sdc"), {{QStringLiteral("removable"), "1\n"}});
        const QString usbDisk = m.path(QStringLiteral("devices/pci0000:00/usb1/1-1/host4/block/sdb"));
        ASSERT_TRUE(QDir().mkpath(usbDisk + QStringLiteral("/sdb1")));
        FakeMachine::writeFile(usbDisk + QStringLiteral("/removable"), "1\n");
        ASSERT_TRUE(QDir().mkpath(usbDisk + QStringLiteral("/sdb2")));
        ASSERT_TRUE(QFile::link(usbDisk, m.path(QStringLiteral("block/sdb"))));
        // A USB disk that holds the home folders in one partition and data in another.
        const QString homeDisk = m.path(QStringLiteral("devices/pci0000:00/usb2/2-1/host5/block/sdd"));
        ASSERT_TRUE(QDir().mkpath(homeDisk + QStringLiteral("/sdd1")));
        ASSERT_TRUE(QDir().mkpath(homeDisk + QStringLiteral("/sdd2")));
        FakeMachine::writeFile(homeDisk + QStringLiteral("/removable"), "0\n");
        ASSERT_TRUE(QFile::link(homeDisk, m.path(QStringLiteral("block/sdd"))));
        m.addBlock(QStringLiteral("loop0"), {{QStringLiteral("removable"), "0\n"}});
        *m.m_mounts = {
            mount(QStringLiteral("/dev/sda1"), QStringLiteral("/"), QStringLiteral("ext4")),
            mount(QStringLiteral("/dev/sda2"), QStringLiteral("/data"), QStringLiteral("ext4")),
            mount(QStringLiteral("/dev/sr0"), QStringLiteral("/m/cd"), QStringLiteral("iso9660")),
            mount(QStringLiteral("/dev/sdb1"), QStringLiteral("/m/stick"), QStringLiteral("vfat")),
            mount(QStringLiteral("/dev/sdb2"), QStringLiteral("/m/stick2"), QStringLiteral("ext4")),
            mount(QStringLiteral("/dev/sdc"), QStringLiteral("/m/card"), QStringLiteral("vfat")),
            mount(QStringLiteral("/dev/sdd1"), QStringLiteral("/home"), QStringLiteral("ext4")),
            mount(QStringLiteral("/dev/sdd2"), QStringLiteral("/m/usbdata"), QStringLiteral("exfat")),
            mount(QStringLiteral("/dev/loop0"), QStringLiteral("/m/iso"), QStringLiteral("iso9660")),
            mount(QStringLiteral("nas:/share"), QStringLiteral("/m/nas"), QStringLiteral("nfs")),
            mount(QStringLiteral("tmpfs"), QStringLiteral("/m/ram"), QStringLiteral("tmpfs")),
        };
    }

    TDriveSources sources(const Answers &a)
    {
        TDriveSources s = m.sources();
        auto log = m_log;
        auto note = [log](const QString &what, bool answer) {
            log->append(what);
            return answer;
        };
        s.eject.udisksRunning = [=] { return note(QStringLiteral("udisks?"), a.udisksRunning); };
        s.eject.udisksUnmount = [=](const QString &d) {
            return note(QStringLiteral("udisks unmount ") + d, a.udisksUnmount);
        };
        s.eject.udisksEject = [=](const QString &d) {
            return note(QStringLiteral("udisks eject ") + d, a.udisksEject);
        };
        s.eject.udisksPowerOff = [=](const QString &d) {
            return note(QStringLiteral("udisks power-off ") + d, a.udisksPowerOff);
        };
        s.eject.ejectProgram = [=](const QString &d) -> std::optional<bool> {
            if (!a.ejectProgram)
                return std::nullopt;
            return note(QStringLiteral("eject ") + d, *a.ejectProgram);
        };
        s.eject.unmount = [=](const QString &mp) { return note(QStringLiteral("umount ") + mp, a.unmount); };
        s.eject.ejectIoctl = [=](const QString &d) { return note(QStringLiteral("ioctl ") + d, a.ejectIoctl); };
        return s;
    }

    // Ejects the drive mounted at mountPoint; the attempts in their order.
    QStringList eject(const Answers &a, const QString &mountPoint, bool *ejected, const QStringList &keep = {},
                      QString *why = nullptr, QChar *letterOut = nullptr)
    {
        m_log->clear();
        TDrives drives(sources(a));
        const auto letter = drives.driveOfPath(mountPoint);
        EXPECT_TRUE(letter.has_value()) << qPrintable(mountPoint);
        *ejected = letter && drives.EjectMedia(*letter, keep, why);
        if (letterOut)
            *letterOut = letter.value_or(QChar());
        return *m_log;
    }

    FakeMachine m;
    std::shared_ptr<QStringList> m_log = std::make_shared<QStringList>();
};

TEST_F(Ejecting, TheDesktopServiceComesFirstThenTheFallBacks)
{
    Answers all;
    Answers noBus;
    noBus.udisksRunning = false;
    Answers noBusWithProgram = noBus;
    noBusWithProgram.ejectProgram = true;
    Answers refused;   // the service runs but will not unmount (not allowed, busy)
    refused.udisksUnmount = false;
    refused.ejectProgram = false;
    Answers noPowerOff;
    noPowerOff.udisksPowerOff = false;
    Answers stuck;
    stuck.udisksEject = false;
    stuck.ejectIoctl = false;
    struct Case {
        const char *name;
        Answers answers;
        const char *mountPoint;
        QStringList attempts;
        bool ejected;
    };
    const Case cases[] = {
        {"disc through the service", all, "/m/cd",
         {"udisks?", "udisks unmount /dev/sr0", "udisks eject /dev/sr0"}, true},
        {"USB stick powered off as a whole", all, "/m/stick",
         {"udisks?", "udisks unmount /dev/sdb1", "udisks power-off /dev/sdb1"}, true},
        {"card leaves its reader", all, "/m/card",
         {"udisks?", "udisks unmount /dev/sdc", "udisks eject /dev/sdc"}, true},
        {"no power-off: the drive ejects", noPowerOff, "/m/stick",
         {"udisks?", "udisks unmount /dev/sdb1", "udisks power-off /dev/sdb1", "udisks eject /dev/sdb1"}, true},
        {"no service: the eject program", noBusWithProgram, "/m/stick", {"udisks?", "eject /dev/sdb1"}, true},
        {"no service, no program: umount and the eject call on the whole disk", noBus, "/m/stick",
         {"udisks?", "umount /m/stick", "ioctl /dev/sdb"}, true},
        {"the service refuses: the fall-backs still run", refused, "/m/cd",
         {"udisks?", "udisks unmount /dev/sr0", "eject /dev/sr0", "umount /m/cd", "ioctl /dev/sr0"}, true},
        {"unmounted by the service but stuck: the eject call is tried, no second unmount", stuck, "/m/cd",
         {"udisks?", "udisks unmount /dev/sr0", "udisks eject /dev/sr0", "ioctl /dev/sr0"}, false},
    };
    for (const Case &c : cases) {
        bool ejected = false;
        EXPECT_EQ(eject(c.answers, QString::fromLatin1(c.mountPoint), &ejected), c.attempts) << c.name;
        EXPECT_EQ(ejected, c.ejected) << c.name;
    }
}

TEST_F(Ejecting, OnlyDrivesThatCanEjectAndNeverTheSystemsOrTheCatalogs)
{
    struct Case {
        const char *mountPoint;
        QStringList keep;
        const char *reason;   // empty: ejected
    };
    const Case cases[] = {
        {"/data", {}, "it is a fixed disk"},
        {"/", {}, "it is a fixed disk"},
        {"/m/nas", {}, "it is a network drive"},
        {"/m/ram", {}, "it is a RAM disk"},
        {"/m/iso", {}, "it is not a drive that can eject"},
        {"/m/usbdata", {}, "its disk holds the home folders"},
        {"/home", {}, "its disk holds the home folders"},
        {"/m/stick", {QStringLiteral("/m/stick/cats/c.ctf")}, "its disk holds the catalog being written"},
        {"/m/stick", {QStringLiteral("/m/stick2/c.ctf")}, "its disk holds the catalog being written"},
        {"/m/cd", {QStringLiteral("/data/c.ctf")}, ""},
        {"/m/stick", {QStringLiteral("/data/c.ctf")}, ""},
        {"/m/card", {QString()}, ""},
    };
    for (const Case &c : cases) {
        bool ejected = false;
        QString why = QStringLiteral("stale");
        QChar letter;
        const QStringList attempts =
            eject(Answers(), QString::fromLatin1(c.mountPoint), &ejected, c.keep, &why, &letter);
        const QString reason = QString::fromLatin1(c.reason);
        if (reason.isEmpty()) {
            EXPECT_TRUE(ejected) << c.mountPoint;
            EXPECT_EQ(why, QString()) << c.mountPoint;
            EXPECT_FALSE(attempts.isEmpty()) << c.mountPoint;
        } else {
            EXPECT_FALSE(ejected) << c.mountPoint;
            EXPECT_EQ(why, QStringLiteral("Drive %1: was not ejected: %2.").arg(letter).arg(reason)) << c.mountPoint;
            // Refused before any way is tried: nothing is unmounted.
            EXPECT_EQ(attempts, QStringList()) << c.mountPoint;
        }
    }
}

TEST_F(Ejecting, AFailureSaysSo)
{
    Answers none;
    none.udisksRunning = false;
    none.unmount = false;
    bool ejected = true;
    QString why;
    QChar letter;
    eject(none, QStringLiteral("/m/stick"), &ejected, {}, &why, &letter);
    EXPECT_FALSE(ejected);
    EXPECT_EQ(why, QStringLiteral("Drive %1: could not be ejected; it may still be in use.").arg(letter));
}

TEST_F(Ejecting, NoWaysWithoutLeaveToOpenDevices)
{
    TDriveSources s = m.sources();   // readDevices is false: no way of the machine's own is installed
    TDrives drives(s);
    const auto letter = drives.driveOfPath(QStringLiteral("/m/stick"));
    ASSERT_TRUE(letter.has_value());
    EXPECT_FALSE(s.eject.udisksRunning || s.eject.ejectProgram || s.eject.unmount);
    EXPECT_FALSE(drives.sources().eject.udisksRunning || drives.sources().eject.ejectIoctl);
    EXPECT_FALSE(drives.EjectMedia(*letter));
}

} // namespace
