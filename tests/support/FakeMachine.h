// A fake machine for the drive layer's tests: a sysfs tree in a temporary
// folder, a mount table the test changes between refreshes, and statvfs
// answers per mount point, handed to TDrives as its sources.
#pragma once

#include "platform/Drives.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
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

} // namespace testdrives
