// Tests of ejecting: which drives may eject, and the ways tried in their
// order, on a fake machine whose ways only write down what was asked.
#include "platform/Eject.h"

#include "platform/Drives.h"

#include "FakeMachine.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using testdrives::FakeMachine;
using testdrives::mount;
using testdrives::readFile;
using testdrives::space;
using EjectImages = testdrives::ImageDrives;

const QChar kD = QLatin1Char('D'), kE = QLatin1Char('E');

TEST_F(EjectImages, EjectFailsSafely)
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
