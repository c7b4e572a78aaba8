// A fake machine for the drive layer's tests: a sysfs tree in a temporary
// folder, a mount table the test changes between refreshes, and statvfs
// answers per mount point, handed to TDrives as its sources; and drives
// whose devices are file-system images.
#pragma once

#include "platform/Drives.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTime>

#include <memory>

namespace testdrives {

// One mount-table line with the usual options.
inline TMountEntry mount(const QString &device, const QString &mountPoint, const QString &fsType)
{
    return {device, mountPoint, fsType, QStringLiteral("rw")};
}

// The machine: sysfs, mount table and statvfs answers, all the test's own.
class FakeMachine
{
public:
    FakeMachine()
    {
        EXPECT_TRUE(m_sys.isValid());
        QDir(m_sys.path()).mkpath(QStringLiteral("block"));
    }

    QString sys() const { return m_sys.path(); }
    QString path(const QString &relative) const { return m_sys.filePath(relative); }

    // A block device folder of sysfs with the given files (name -> content).
    void addBlock(const QString &relative, const QMap<QString, QByteArray> &files = {})
    {
        const QString dir = m_sys.filePath(QStringLiteral("block/") + relative);
        ASSERT_TRUE(QDir().mkpath(dir));
        for (auto it = files.begin(); it != files.end(); ++it)
            writeFile(dir + QLatin1Char('/') + it.key(), it.value());
    }
    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    TDriveSources sources()
    {
        TDriveSources sources;
        auto mounts = m_mounts;
        sources.mounts = [mounts] { return *mounts; };
        sources.sysfsRoot = m_sys.path();
        sources.devDiskRoot = m_sys.filePath(QStringLiteral("udev"));
        sources.readDevices = false;
        sources.mayRun = [](const QString &) { return false; };
        auto spaces = m_spaces;
        sources.space = [spaces](const QString &path) -> std::optional<TFsSpace> {
            const auto it = spaces->find(path);
            if (it == spaces->end())
                return std::nullopt;
            return *it;
        };
        sources.now = [] { return QDateTime(QDate(2024, 5, 17), QTime(13, 30)); };
        return sources;
    }

    std::shared_ptr<QList<TMountEntry>> m_mounts = std::make_shared<QList<TMountEntry>>();
    std::shared_ptr<QMap<QString, TFsSpace>> m_spaces = std::make_shared<QMap<QString, TFsSpace>>();

private:
    QTemporaryDir m_sys;
};

inline TFsSpace space(uint64_t blockSize, uint64_t blocks, uint64_t freeBlocks, uint64_t fsid = 0x1234)
{
    TFsSpace s;
    s.blockSize = blockSize;
    s.blocks = blocks;
    s.freeBlocks = freeBlocks;
    s.fsid = fsid;
    s.nameMax = 255;
    return s;
}

// The path of a file-system tool (mkfs.fat, ...), also in the sbin folders;
// empty when it is not installed.
inline QString findTool(const QString &name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return path;
}

// Runs a tool; true when it ran and exited with 0.
inline bool runTool(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(-1))
        return false;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A drive whose device is a file-system image made by the test (mkfs.fat,
// mkfs.ext4, genisoimage), on a fake machine that lets it open devices.
class ImageDrives : public ::testing::Test
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


} // namespace testdrives
