// Tests of the DOS attribute readers: the NTFS attribute word, which file
// systems get a reader, a reader on a file system that keeps nothing, and a
// real FAT image whose attributes mtools set, where this machine lets the
// test mount it.
#include "platform/DosAttributes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <map>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// An open folder, closed on leaving.
struct Folder {
    explicit Folder(const QString &path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
    }
    ~Folder()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int fd;
};

// Runs a program; its merged output, or nothing when it failed.
std::optional<QString> run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(process.readAll());
}

QString tool(const QString &name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return path;
}

} // namespace

TEST(DosAttributes, NtfsWordBigEndian)
{
    struct Case {
        QByteArray value;
        std::optional<uint8_t> attr;
    };
    const Case cases[] = {
        {QByteArray::fromHex("00000020"), 0x20},   // archive
        {QByteArray::fromHex("00000027"), 0x27},   // read-only, hidden, system, archive
        {QByteArray::fromHex("00000080"), 0x00},   // "normal": none of the DOS bits
        {QByteArray::fromHex("10000010"), 0x00},   // folder bits come from the entry's type
        {QByteArray::fromHex("00000826"), 0x26},   // compressed besides hidden, system, archive
        {QByteArray::fromHex("0000000e"), 0x06},   // the volume-label bit never belongs to a file
        {QByteArray::fromHex("270000"), std::nullopt},
        {QByteArray::fromHex("0000002700"), std::nullopt},
        {QByteArray(), std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DosAttributesFromNtfsBe(c.value), c.attr) << c.value.toHex().constData();
}

TEST(DosAttributes, OnlyFatAndNtfsGetAReader)
{
    for (const char *type : {"vfat", "msdos", "ntfs3", "ntfs", "fuseblk"})
        EXPECT_TRUE(bool(DosAttributeReader(QString::fromLatin1(type)))) << type;
    for (const char *type : {"ext4", "btrfs", "xfs", "iso9660", "tmpfs", "nfs4", "fuse.sshfs", ""})
        EXPECT_FALSE(bool(DosAttributeReader(QString::fromLatin1(type)))) << type;
}

TEST(DosAttributes, AFileSystemThatKeepsNoneAnswersNothing)
{
    // The temporary folder is no FAT or NTFS: the call is refused, the scan keeps its own rule.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("a.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const Folder folder(dir.path());
    ASSERT_GE(folder.fd, 0);
    for (const char *type : {"vfat", "ntfs3", "fuseblk"}) {
        const TDosAttrReader reader = DosAttributeReader(QString::fromLatin1(type));
        EXPECT_EQ(reader(folder.fd, "a.txt"), std::nullopt) << type;
        EXPECT_EQ(reader(folder.fd, "sub"), std::nullopt) << type;
        EXPECT_EQ(reader(folder.fd, "missing"), std::nullopt) << type;
    }
}

TEST(DosAttributes, RealFatImage)
{
    const QString mkfs = tool(QStringLiteral("mkfs.fat"));
    const QString mcopy = tool(QStringLiteral("mcopy")), mmd = tool(QStringLiteral("mmd"));
    const QString mattrib = tool(QStringLiteral("mattrib"));
    if (mkfs.isEmpty() || mcopy.isEmpty() || mmd.isEmpty() || mattrib.isEmpty())
        GTEST_SKIP() << "mkfs.fat and mtools (mcopy, mmd, mattrib) are needed to build the FAT image";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString image = dir.filePath(QStringLiteral("fat.img"));
    ASSERT_TRUE(run(mkfs, {QStringLiteral("-C"), image, QStringLiteral("1440")}));
    const QString source = dir.filePath(QStringLiteral("f"));
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    // Name -> mattrib flags, and the attribute byte the reader must give.
    const std::map<QString, std::pair<QStringList, uint8_t>> files = {
        {QStringLiteral("PLAIN.TXT"), {{QStringLiteral("+a")}, 0x20}},
        {QStringLiteral("HIDDEN.TXT"), {{QStringLiteral("+a"), QStringLiteral("+h")}, 0x22}},
        {QStringLiteral("IO.SYS"), {{QStringLiteral("-a"), QStringLiteral("+r"), QStringLiteral("+h"),
                                      QStringLiteral("+s")}, 0x07}},
        {QStringLiteral("BARE.TXT"), {{QStringLiteral("-a")}, 0x00}},
    };
    const QString mtoolsImage = QStringLiteral("::");
    for (const auto &[name, how] : files) {
        ASSERT_TRUE(run(mcopy, {QStringLiteral("-i"), image, source, mtoolsImage + name}));
        ASSERT_TRUE(run(mattrib, QStringList{QStringLiteral("-i"), image} + how.first + QStringList{mtoolsImage + name}));
    }
    ASSERT_TRUE(run(mmd, {QStringLiteral("-i"), image, QStringLiteral("::SECRET")}));
    ASSERT_TRUE(run(mattrib, {QStringLiteral("-i"), image, QStringLiteral("+h"), QStringLiteral("::SECRET")}));

    const QString mountPoint = dir.filePath(QStringLiteral("mnt"));
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    const QString mountTool = tool(QStringLiteral("mount"));
    if (mountTool.isEmpty() || ::geteuid() != 0
        || !run(mountTool, {QStringLiteral("-o"), QStringLiteral("loop,ro"), QStringLiteral("-t"),
                            QStringLiteral("vfat"), image, mountPoint}))
        GTEST_SKIP() << "cannot mount a FAT image here (needs root, loop devices and the vfat driver); "
                        "the scan's use of the attributes is tested through an injected reader";
    struct Unmount {
        QString path;
        ~Unmount() { ::umount2(QFile::encodeName(path).constData(), MNT_DETACH); }
    } unmount{mountPoint};

    const TDosAttrReader reader = DosAttributeReader(QStringLiteral("vfat"));
    const Folder folder(mountPoint);
    ASSERT_GE(folder.fd, 0);
    // How vfat shows a short name (as is, or in lower case) depends on its mount options.
    const QStringList entries =
        QDir(mountPoint).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    auto onDisk = [&](const QString &name) {
        for (const QString &entry : entries)
            if (entry.compare(name, Qt::CaseInsensitive) == 0)
                return QFile::encodeName(entry);
        return QByteArray();
    };
    for (const auto &[name, how] : files) {
        const QByteArray entry = onDisk(name);
        ASSERT_FALSE(entry.isEmpty()) << qPrintable(name);
        EXPECT_EQ(reader(folder.fd, entry.constData()), std::optional<uint8_t>(how.second)) << qPrintable(name);
    }
    const QByteArray secret = onDisk(QStringLiteral("SECRET"));
    ASSERT_FALSE(secret.isEmpty());
    EXPECT_EQ(reader(folder.fd, secret.constData()), std::optional<uint8_t>(0x02));
}
