// Tests of writing a FAT volume serial: FAT12 and FAT32 images made here,
// and everything that is not a FAT boot sector left untouched.
#include "platform/FatSerial.h"

#include "platform/Drives.h"

#include "FakeMachine.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <QtEndian>

#include <sys/stat.h>

namespace {

using testdrives::FakeMachine;
using testdrives::findTool;
using testdrives::readFile;
using testdrives::runTool;
using FatImages = testdrives::ImageDrives;

const QChar kD = QLatin1Char('D'), kE = QLatin1Char('E');

// The 32-bit little-endian field at offset of a boot sector.
uint32_t u32At(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<uint32_t>(bytes.constData() + offset);
}

TEST_F(FatImages, WriteFatSerialFat12)
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

TEST_F(FatImages, WriteFatSerialFat32KeepsBackupInStep)
{
    const QString image = file(QStringLiteral("f32.img"));
    if (!makeFat(image, {QStringLiteral("-F"), QStringLiteral("32"), QStringLiteral("-i"), QStringLiteral("22222222")},
                 34000))
        GTEST_SKIP() << "mkfs.fat is missing";
    EXPECT_TRUE(WriteFatSerial(image, 0x89ABCDEFu));
    const QByteArray after = readFile(image);
    EXPECT_EQ(u32At(after, 0x43), 0x89ABCDEFu);
    const int backup = qFromLittleEndian<uint16_t>(after.constData() + 0x32) * 512;
    ASSERT_GT(backup, 0);
    EXPECT_EQ(after.mid(backup, 512), after.left(512));
    EXPECT_EQ(ProbeVolume(image)->serial, 0x89ABCDEFu);
    const QString fsck = findTool(QStringLiteral("fsck.fat"));
    if (!fsck.isEmpty()) {
        EXPECT_TRUE(runTool(fsck, {QStringLiteral("-n"), image}));
    }
}

TEST_F(FatImages, WriteFatSerialRefusesOthers)
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

} // namespace
