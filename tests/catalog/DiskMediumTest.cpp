// A catalogued disk and the drive of its medium: a disk record filled from a
// drive, finding the drive that holds a catalogued medium, media type names.
#include "catalog/DiskMedium.h"

#include "FakeMachine.h"
#include "TestCatalogs.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <functional>
#include <tuple>
#include <vector>

namespace {

using testcat::ScriptedPrompter;
using testdrives::FakeMachine;
using testdrives::mount;
using testdrives::space;

// A media type code, the disk's flags, and the name shown.
struct MediaName {
    uint8_t code;
    uint8_t kindFlags;
    const char *name;
};

class MediaTypeNames : public ::testing::TestWithParam<MediaName>
{
};

TEST_P(MediaTypeNames, VirtualRootsSayVirtual)
{
    const MediaName c = GetParam();
    EXPECT_EQ(MediaTypeName(c.code, c.kindFlags), QString::fromUtf8(c.name)) << int(c.code);
}

INSTANTIATE_TEST_SUITE_P(Table, MediaTypeNames, ::testing::Values(
    MediaName{kMediaZip100, rkDisk, "iomega ZIP 100"},
    MediaName{kMediaFloppy35HD, rkDisk, "Floppy 3.5\" HD"},
    MediaName{kMediaHardDisk, rkDisk | rfVirtualRoot, "Virtual Hard disk"},
    MediaName{16, rkDisk, "Unknown"},
    MediaName{kMediaUnknown, rkDisk | rfVirtualRoot, "Virtual Unknown"}));

// ---------------------------------------------------------------- a disk record from a drive

class DiskVolume : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(media.isValid());
        m.addBlock(QStringLiteral("sdb"), {{QStringLiteral("removable"), "1\n"},
                                           {QStringLiteral("queue/logical_block_size"), "512\n"}});
        m.addBlock(QStringLiteral("sdb/sdb1"));
        *m.m_mounts = {mount(QStringLiteral("/dev/sdb1"), media.path(), QStringLiteral("ext4"))};
        (*m.m_spaces)[media.path()] = space(4096, 1000, 250, 0x1122334455667788ull);
    }

    FakeMachine m;
    QTemporaryDir media;
};

TEST_F(DiskVolume, ReadVolumeInfoStartsANewDisk)
{
    TDrives drives(m.sources());
    const QChar stick = *drives.driveOfPath(media.path());
    TDiskRec disk;
    disk.KindFlags = rkDisk | rfCompressed | rfVirtualRoot | rfHasDesc;
    disk.SearchListPos = 3;
    disk.UserListPos = 4;
    disk.DupListPos = 5;
    ReadVolumeInfo(drives, stick, &disk);
    EXPECT_EQ(disk.KindFlags, rkDisk | rfInSearch);
    EXPECT_EQ(disk.SearchListPos, -1);
    EXPECT_EQ(disk.UserListPos, -1);
    EXPECT_EQ(disk.DupListPos, -1);
    EXPECT_DOUBLE_EQ(disk.Updated, DateTimeToUpdated(QDateTime(QDate(2024, 5, 17), QTime(13, 30))));
    EXPECT_EQ(UpdatedToDateTime(disk.Updated).date(), QDate(2024, 5, 17));
    EXPECT_EQ(disk.MediaType, 13);
    EXPECT_EQ(disk.FileSystem, QByteArray("EXT4"));
    EXPECT_EQ(disk.Serial, 0x11223344u ^ 0x55667788u);
    EXPECT_EQ(disk.TotalClusters, 1000);
    EXPECT_EQ(disk.FreeClusters, 250);
    EXPECT_EQ(disk.SectorsPerCluster, 8);
    EXPECT_EQ(disk.BytesPerSector, 512);
    EXPECT_EQ(disk.MaxNameLen, 255);
    EXPECT_EQ(DiskSpace(&disk, 0), int64_t(4096000) * 10000);
}

// ---------------------------------------------------------------- finding a catalogued medium

class FindMedia : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(media.isValid());
        ASSERT_TRUE(QDir(media.path()).mkpath(QStringLiteral("zip/Photos/2024")));
        ASSERT_TRUE(QDir(media.path()).mkpath(QStringLiteral("fixed")));
        m.addBlock(QStringLiteral("fd0"), {{QStringLiteral("size"), "2880\n"}});
        m.addBlock(QStringLiteral("sda"), {{QStringLiteral("removable"), "0\n"}});
        m.addBlock(QStringLiteral("sdb"), {{QStringLiteral("removable"), "1\n"},
                                           {QStringLiteral("device/model"), "ZIP 100\n"}});
        m.addBlock(QStringLiteral("sdc"), {{QStringLiteral("removable"), "1\n"}});
        *m.m_mounts = {
            mount(QStringLiteral("/dev/sda"), media.filePath(QStringLiteral("fixed")), QStringLiteral("ext4")),
            mount(QStringLiteral("/dev/sdb"), media.filePath(QStringLiteral("zip")), QStringLiteral("vfat")),
        };
        (*m.m_spaces)[media.filePath(QStringLiteral("fixed"))] = space(4096, 5000, 100, 0xAAAA);
        (*m.m_spaces)[media.filePath(QStringLiteral("zip"))] = space(512, 196608, 1000, 0xBBBB);

        catalogNode = forest.addChild(nullptr, "cat");
        catalogNode->setData(new TCatalogRec);
        catalogNode->data()->Node = catalogNode;
    }

    // A catalogued disk read from the drive now holding the mount point.
    TTreeNode *catalogued(const QString &mountPoint, const QByteArray &name)
    {
        TDrives drives(m.sources());
        TTreeNode *node = AddDiskNode(catalogNode, name);
        ReadVolumeInfo(drives, *drives.driveOfPath(mountPoint), AsDisk(NodeRec(node)));
        return node;
    }

    QString zip() const { return media.filePath(QStringLiteral("zip")); }
    QString fixed() const { return media.filePath(QStringLiteral("fixed")); }

    FakeMachine m;
    QTemporaryDir media;
    TForest forest;
    TTreeNode *catalogNode = nullptr;
    ScriptedPrompter prompter;
    std::vector<std::tuple<QByteArray, uint8_t, bool>> insertCalls;
    std::vector<MsgAnswer> insertAnswers;
    std::function<MsgAnswer(const QByteArray &, uint8_t, bool)> insert = [this](const QByteArray &name,
                                                                                 uint8_t type, bool manual) {
        insertCalls.emplace_back(name, type, manual);
        if (insertAnswers.empty())
            return MsgAnswer::Cancel;
        const MsgAnswer answer = insertAnswers.front();
        insertAnswers.erase(insertAnswers.begin());
        return answer;
    };
};

TEST_F(FindMedia, MatchesSerialLabelAndSize)
{
    TTreeNode *disk = catalogued(zip(), "Zip disk");
    TTreeNode *folder = forest.addChild(disk, "sub");
    TDrives drives(m.sources());
    const QChar zipLetter = *drives.driveOfPath(zip());
    EXPECT_EQ(FindMediaForDisk(drives, disk, true, true, &prompter, insert), zipLetter);
    // Any node below the disk will do; nothing above it.
    EXPECT_EQ(FindMediaForDisk(drives, folder, true, true, &prompter, insert), zipLetter);
    EXPECT_EQ(FindMediaForDisk(drives, catalogNode, true, true, &prompter, insert), QChar());
    EXPECT_EQ(FindMediaForDisk(drives, nullptr, true, true, &prompter, insert), QChar());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(insertCalls.empty());
    TTreeNode *hard = catalogued(fixed(), "System");
    EXPECT_EQ(FindMediaForDisk(drives, hard, false, false, &prompter, insert), *drives.driveOfPath(fixed()));
}

TEST_F(FindMedia, CompatibleTypesAreCandidates)
{
    // A generic removable drive accepts a ZIP disk; a 3.5-inch drive a DD disk.
    *m.m_mounts = {mount(QStringLiteral("/dev/sdc"), zip(), QStringLiteral("vfat"))};
    TTreeNode *disk = catalogued(zip(), "Cartridge");
    AsDisk(NodeRec(disk))->MediaType = 14;
    TDrives drives(m.sources());
    const QChar letter = *drives.driveOfPath(zip());
    ASSERT_EQ(drives.DriveMediaType(letter), 13);
    EXPECT_EQ(FindMediaForDisk(drives, disk, false, false, &prompter, insert), letter);

    // The floppy drive has no medium: the disk is asked for.
    TTreeNode *floppy = AddDiskNode(catalogNode, "Old floppy");
    AsDisk(NodeRec(floppy))->MediaType = 2;
    EXPECT_EQ(FindMediaForDisk(drives, floppy, true, true, &prompter, insert), QChar());
    ASSERT_EQ(insertCalls.size(), 1u);
    EXPECT_EQ(std::get<0>(insertCalls[0]), QByteArray("Old floppy"));
    EXPECT_EQ(std::get<1>(insertCalls[0]), 2);
    EXPECT_TRUE(std::get<2>(insertCalls[0]));
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(FindMedia, NoSuchDevice)
{
    TTreeNode *disk = AddDiskNode(catalogNode, "Disc");
    AsDisk(NodeRec(disk))->MediaType = 10;
    TDrives drives(m.sources());
    EXPECT_EQ(FindMediaForDisk(drives, disk, false, true, &prompter, insert), QChar());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(FindMediaForDisk(drives, disk, true, true, &prompter, insert), QChar());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].caption, QStringLiteral("No such device"));
    EXPECT_EQ(prompter.messages[0].text,
              QStringLiteral("Sorry, there is no such device installed that could accept this media type."));
    EXPECT_EQ(prompter.messages[0].icon, MsgIcon::Information);
    EXPECT_TRUE(insertCalls.empty());
}

TEST_F(FindMedia, VirtualRootNeedsItsFolder)
{
    TTreeNode *node = catalogued(zip(), "Photos");
    TDiskRec *disk = AsDisk(NodeRec(node));
    SetItemFlag(disk, rfVirtualRoot, true);
    disk->TotalClusters = 1;   // a virtual root has no size to compare
    disk->RootPath = NewText("\\photos\\2024\\");
    TDrives drives(m.sources());
    const QChar letter = *drives.driveOfPath(zip());
    EXPECT_EQ(FindMediaForDisk(drives, node, false, false, &prompter, insert), letter);
    for (const char *missing : {"\\Photos\\2023\\", "\\..\\zip\\Photos\\", "\\Photos\\.\\2024\\"}) {
        FreeText(disk->RootPath);
        disk->RootPath = NewText(missing);
        EXPECT_EQ(FindMediaForDisk(drives, node, false, false, &prompter, insert), QChar()) << missing;
    }
}

TEST_F(FindMedia, CompressedSkipsSizeAndOthersCompareIt)
{
    TTreeNode *node = catalogued(zip(), "Packed");
    TDiskRec *disk = AsDisk(NodeRec(node));
    disk->TotalClusters += 1;
    TDrives drives(m.sources());
    const QChar letter = *drives.driveOfPath(zip());
    EXPECT_EQ(FindMediaForDisk(drives, node, false, false, &prompter, insert), QChar());
    SetItemFlag(disk, rfCompressed, true);
    EXPECT_EQ(FindMediaForDisk(drives, node, false, false, &prompter, insert), letter);
    // Same size in other clusters still matches; another label or serial does not.
    SetItemFlag(disk, rfCompressed, false);
    disk->TotalClusters = (disk->TotalClusters - 1) / 2;
    disk->SectorsPerCluster *= 2;
    EXPECT_EQ(FindMediaForDisk(drives, node, false, false, &prompter, insert), letter);
    disk->VolumeLabel = "Other";
    EXPECT_EQ(FindMediaForDisk(drives, node, false, false, &prompter, insert), QChar());
    disk->VolumeLabel.clear();
    disk->Serial ^= 1;
    EXPECT_EQ(FindMediaForDisk(drives, node, false, false, &prompter, insert), QChar());
}

TEST_F(FindMedia, NonRemovableMessage)
{
    TTreeNode *node = catalogued(fixed(), "System");
    AsDisk(NodeRec(node))->Serial ^= 1;
    TDrives drives(m.sources());
    EXPECT_EQ(FindMediaForDisk(drives, node, true, true, &prompter, insert), kManualDriveChoice);
    EXPECT_EQ(FindMediaForDisk(drives, node, true, false, &prompter, insert), QChar());
    EXPECT_EQ(FindMediaForDisk(drives, node, false, true, &prompter, insert), QChar());
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[0].caption, QStringLiteral("Non-Removable Media"));
    EXPECT_EQ(prompter.messages[0].text,
              QStringLiteral("The media you requested (Hard disk) was not found\r\nand does not seem to be removable."
                             " Please select \rthe appropriate drive yourself if available."));
    EXPECT_EQ(prompter.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(prompter.messages[1].text,
              QStringLiteral("The media you requested (Hard disk) was not found\r\nand does not seem to be removable."));
    EXPECT_TRUE(insertCalls.empty());
}

TEST_F(FindMedia, InsertMediaAnswers)
{
    TTreeNode *node = catalogued(zip(), "Backup 3");
    // The cartridge is taken out: the drive reports no medium.
    m.m_mounts->removeLast();
    FakeMachine::writeFile(m.path(QStringLiteral("block/sdb/size")), "0\n");
    TDrives drives(m.sources());
    // The empty cartridge drive is still a drive, not ready.
    const QList<TDrive> table = drives.drives();
    const auto zipDrive = std::find_if(table.begin(), table.end(),
                                       [](const TDrive &d) { return d.device == QStringLiteral("/dev/sdb"); });
    ASSERT_NE(zipDrive, table.end());
    const QChar letter = zipDrive->letter;
    EXPECT_TRUE(drives.rootPath(letter).isEmpty());
    EXPECT_EQ(drives.DriveMediaType(letter), 14);
    EXPECT_EQ(FindMediaForDisk(drives, node, false, true, &prompter, insert), QChar());
    EXPECT_TRUE(insertCalls.empty());

    insertAnswers = {MsgAnswer::Cancel};
    EXPECT_EQ(FindMediaForDisk(drives, node, true, true, &prompter, insert), QChar());
    insertAnswers = {MsgAnswer::No};
    EXPECT_EQ(FindMediaForDisk(drives, node, true, true, &prompter, insert), kManualDriveChoice);
    insertAnswers = {MsgAnswer::No};
    EXPECT_EQ(FindMediaForDisk(drives, node, true, false, &prompter, insert), QChar());
    ASSERT_EQ(insertCalls.size(), 3u);
    EXPECT_EQ(std::get<0>(insertCalls[0]), QByteArray("Backup 3"));
    EXPECT_EQ(std::get<1>(insertCalls[0]), 14);
    EXPECT_FALSE(std::get<2>(insertCalls[2]));

    // OK after putting the cartridge back in: found on the next round, at a new place.
    insertCalls.clear();
    const QString newPlace = media.filePath(QStringLiteral("zip2"));
    QDir().mkpath(newPlace);
    insertAnswers = {MsgAnswer::Ok, MsgAnswer::Ok};
    int rounds = 0;
    auto insertThenMount = [&](const QByteArray &name, uint8_t type, bool manual) {
        if (++rounds == 2) {
            m.m_mounts->append(mount(QStringLiteral("/dev/sdb"), newPlace, QStringLiteral("vfat")));
            (*m.m_spaces)[newPlace] = (*m.m_spaces)[zip()];
        }
        return insert(name, type, manual);
    };
    EXPECT_EQ(FindMediaForDisk(drives, node, true, true, &prompter, insertThenMount), letter);
    EXPECT_EQ(insertCalls.size(), 2u);
    EXPECT_EQ(drives.rootPath(letter), newPlace);
    EXPECT_TRUE(prompter.messages.empty());
}

} // namespace
