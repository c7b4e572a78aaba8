// Tests of the Add Disk logic without a window: the drive grid, media type
// fitting, matching a medium against catalogued disks (serial, label, media
// type, capacity, compressed volumes, virtual roots), the status texts, the
// option rules and "Save as default", the change-serial decision, and the
// dialog state driven as a user would: pressing drives, choosing folders and
// catalogs, and the questions of OK answered by a scripted prompter. Drives
// are folders that a fake mount table presents as mounted volumes; labels and
// serial numbers come from fake udev links to plain files.
#include "scan/AddDisk.h"

#include "TestCatalogs.h"
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/DiskMedium.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "platform/Drives.h"
#include "platform/Texts.h"
#include "settings/Options.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <memory>

using namespace testcat;

namespace {

TDiskRec Disk(uint32_t serial, const QByteArray &label, uint8_t mediaType, int32_t totalClusters,
              int32_t freeClusters = 10)
{
    TDiskRec d;
    d.Serial = serial;
    d.VolumeLabel = label;
    d.MediaType = mediaType;
    d.BytesPerSector = 512;
    d.SectorsPerCluster = 8;
    d.TotalClusters = totalClusters;
    d.FreeClusters = freeClusters;
    return d;
}

// Frees the texts a test gave a stack record.
struct TextGuard {
    TDiskRec &disk;
    ~TextGuard()
    {
        FreeText(disk.RootPath);
        FreeText(disk.Desc);
    }
};

// ---------------------------------------------------------------------------
// Drive grid and media types

TEST(DriveGrid, ColumnsFollowTheScreenButNeverFewerThanNine)
{
    // 1920 x 2 / 123 = 31 columns, capped by the number of buttons.
    EXPECT_EQ(DriveButtonColumns(1920, 40), 31);
    EXPECT_EQ(DriveButtonColumns(1920, 12), 12);
    // Never fewer than nine, whatever the screen or the number of buttons.
    EXPECT_EQ(DriveButtonColumns(1920, 3), 9);
    EXPECT_EQ(DriveButtonColumns(400, 26), 9);
    EXPECT_EQ(DriveButtonColumns(0, 0), 9);
    EXPECT_EQ(DriveButtonColumns(-5, 26), 9);
}

TEST(DriveGrid, PositionsAreFortyFivePixelsApartAndRowsSixtyFive)
{
    EXPECT_EQ(DriveButtonPosition(0, 9), QPoint(0, 0));
    EXPECT_EQ(DriveButtonPosition(1, 9), QPoint(45, 0));
    EXPECT_EQ(DriveButtonPosition(8, 9), QPoint(360, 0));
    EXPECT_EQ(DriveButtonPosition(9, 9), QPoint(0, 65));
    EXPECT_EQ(DriveButtonPosition(20, 9), QPoint(90, 130));
    // A broken column count still gives one button per row, not a division by zero.
    EXPECT_EQ(DriveButtonPosition(2, 0), QPoint(0, 130));
}

TEST(DriveGrid, FittingMediaTypes)
{
    EXPECT_TRUE(MediaTypesFit(5, 5));
    EXPECT_FALSE(MediaTypesFit(5, 10));
    // A generic removable drive holds ZIP and JAZ cartridges, and the other way round.
    EXPECT_TRUE(MediaTypesFit(14, 13));
    EXPECT_TRUE(MediaTypesFit(13, 15));
    EXPECT_FALSE(MediaTypesFit(14, 15));
    // 5.25-inch and 8-inch floppies share drives, so do the 3.5-inch ones.
    EXPECT_TRUE(MediaTypesFit(0, 1));
    EXPECT_TRUE(MediaTypesFit(3, 0));
    EXPECT_TRUE(MediaTypesFit(2, 9));
    EXPECT_TRUE(MediaTypesFit(7, 2));
    EXPECT_FALSE(MediaTypesFit(2, 1));
    EXPECT_FALSE(MediaTypesFit(7, 13));
    EXPECT_FALSE(MediaTypesFit(255, 5));
}

TEST(Texts, HintsAndStatusLines)
{
    EXPECT_EQ(DriveHint(5, QLatin1Char('D')), QStringLiteral("Hard disk (D:)"));
    EXPECT_EQ(DriveHint(10, QLatin1Char('E')), QStringLiteral("CD-ROM (E:)"));
    EXPECT_EQ(AddDiskStatusText(TAddDiskMode::Add, QChar(), nullptr, false), QStringLiteral("No drive selected"));

    TDiskRec work = Disk(0x0A1B2C3D, "Backup", 5, 1000);
    EXPECT_EQ(AddDiskStatusText(TAddDiskMode::Add, QLatin1Char('D'), &work, false),
              QStringLiteral("Hard disk (D:), Serial num: 0A1B-2C3D, not found in catalog"));
    EXPECT_EQ(AddDiskStatusText(TAddDiskMode::Add, QLatin1Char('D'), &work, true),
              QStringLiteral("Hard disk (D:), Serial num: 0A1B-2C3D, already exists in catalog"));
    EXPECT_EQ(AddDiskStatusText(TAddDiskMode::Update, QLatin1Char('F'), &work, true),
              QStringLiteral("Hard disk (F:), media match confirmed, ready to update"));
    EXPECT_EQ(AddDiskStatusText(TAddDiskMode::Update, QLatin1Char('F'), &work, false),
              QStringLiteral("Hard disk (F:), does NOT match the media selected for update"));
    // A drive without a record is no drive.
    EXPECT_EQ(AddDiskStatusText(TAddDiskMode::Update, QLatin1Char('F'), nullptr, true),
              QStringLiteral("No drive selected"));
}

TEST(Texts, QuestionsKeepTheirExactWording)
{
    EXPECT_EQ(MsgUpdateOldDataText(QStringLiteral("Photos")),
              QStringLiteral("Disk with the same serial number, label and capacity is\ralready in the catalog as "
                             "\"Photos\". \r\rWould like to update the disk currently in the catalog?\r(selecting "
                             "\"No\" will add a new disk to the catalog)"));
    EXPECT_EQ(MsgMediaMismatchText(QStringLiteral("Old")),
              QStringLiteral("Properties of selected media do not match properties of the disk you are updating!\r"
                             "This may be right if you have formatted media since it has been last catalogued.\r\r"
                             "Are you sure you want to replace data for \"Old\" with the selected media?"));
    EXPECT_EQ(MsgSearchRunningText(),
              QStringLiteral("Sorry, updating catalog is not possible while search is in progress.\rPlease cancel the "
                             "search or wait for search to finish."));
    EXPECT_EQ(SelectDiskColumns().size(), 7);
    EXPECT_EQ(SelectDiskColumns().at(5), QStringLiteral("Last Updated"));
}

// ---------------------------------------------------------------------------
// Matching

TEST(Matching, AddModeComparesSerialLabelTypeAndCapacity)
{
    const TDiskRec work = Disk(0x11112222, "Backup", 5, 1000);
    EXPECT_TRUE(DiskMatchesMedium(Disk(0x11112222, "Backup", 5, 1000, 999), work, {}));   // free space may differ
    EXPECT_FALSE(DiskMatchesMedium(Disk(0x11112223, "Backup", 5, 1000), work, {}));
    EXPECT_FALSE(DiskMatchesMedium(Disk(0x11112222, "backup", 5, 1000), work, {}));      // labels compare exactly
    EXPECT_FALSE(DiskMatchesMedium(Disk(0x11112222, "Backup", 10, 1000), work, {}));
    EXPECT_FALSE(DiskMatchesMedium(Disk(0x11112222, "Backup", 5, 1001), work, {}));

    // The same capacity in other clusters is the same capacity.
    TDiskRec other = Disk(0x11112222, "Backup", 5, 500);
    other.SectorsPerCluster = 16;
    EXPECT_TRUE(DiskMatchesMedium(other, work, {}));

    const TDiskRec zipWork = Disk(7, "Zip", 13, 100);
    EXPECT_TRUE(DiskMatchesMedium(Disk(7, "Zip", 14, 100), zipWork, {}));
    EXPECT_FALSE(DiskMatchesMedium(Disk(7, "Zip", 15, 100), Disk(7, "Zip", 14, 100), {}));
}

TEST(Matching, CompressedVolumesIgnoreCapacity)
{
    const TDiskRec work = Disk(1, "Stacked", 5, 1000);
    TDiskRec compressed = Disk(1, "Stacked", 5, 4321, 0);
    SetItemFlag(&compressed, rfCompressed, true);
    EXPECT_TRUE(DiskMatchesMedium(compressed, work, {}));
    EXPECT_TRUE(MediumMatchesOldDisk(compressed, work, false, {}));
    // Still not when the serial differs.
    compressed.Serial = 2;
    EXPECT_FALSE(DiskMatchesMedium(compressed, work, {}));
}

TEST(Matching, VirtualRootsMatchOnlyTheSameFolder)
{
    const TDiskRec work = Disk(1, "Data", 5, 1000);
    TDiskRec photos = Disk(1, "Data", 5, 37);
    TextGuard guard{photos};
    SetItemFlag(&photos, rfVirtualRoot, true);
    photos.RootPath = NewText("\\Photos\\");

    EXPECT_TRUE(DiskMatchesMedium(photos, work, "\\Photos\\"));
    EXPECT_FALSE(DiskMatchesMedium(photos, work, "\\Music\\"));
    // A virtual root never matches a whole disk, in either direction.
    EXPECT_FALSE(DiskMatchesMedium(photos, work, {}));
    EXPECT_FALSE(DiskMatchesMedium(Disk(1, "Data", 5, 1000), work, "\\Photos\\"));

    EXPECT_TRUE(MediumMatchesOldDisk(photos, work, true, "\\Photos\\"));
    EXPECT_FALSE(MediumMatchesOldDisk(photos, work, true, "\\Music\\"));
    // A whole disk chosen for a virtual-root disk compares capacities, which differ here.
    EXPECT_FALSE(MediumMatchesOldDisk(photos, work, false, {}));
    // A whole disk being updated from a folder of the medium does not match.
    EXPECT_FALSE(MediumMatchesOldDisk(Disk(1, "Data", 5, 1000), work, true, "\\Photos\\"));
    EXPECT_TRUE(MediumMatchesOldDisk(Disk(1, "Data", 5, 1000), work, false, {}));
    EXPECT_FALSE(MediumMatchesOldDisk(Disk(2, "Data", 5, 1000), work, false, {}));
}

TEST(Matching, MatchingDisksKeepsCatalogOrder)
{
    TForest forest;
    TTreeNode *catalog = NewCatalogNode(forest, "Cat");
    const TDiskRec work = Disk(9, "Vol", 5, 1000);
    auto add = [&](const QByteArray &name, uint32_t serial) {
        TTreeNode *node = AddDiskNode(catalog, name);
        TDiskRec *d = AsDisk(NodeRec(node));
        d->Serial = serial;
        d->VolumeLabel = "Vol";
        d->MediaType = 5;
        d->BytesPerSector = 512;
        d->SectorsPerCluster = 8;
        d->TotalClusters = 1000;
        return node;
    };
    TTreeNode *b = add("B", 9);
    add("X", 8);
    TTreeNode *a = add("A", 9);
    const std::vector<TTreeNode *> found = MatchingDisks(catalog, work, {});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], b);
    EXPECT_EQ(found[1], a);
    EXPECT_TRUE(MatchingDisks(nullptr, work, {}).empty());
    DeleteCatalog(forest, catalog);
}

// ---------------------------------------------------------------------------
// Options

TEST(Options, EnablingRules)
{
    TScanOptions o;
    o.BrowseArchiveCheck = true;
    o.ImportDizCheck = o.ImportBBSCheck = o.Import4DOSCheck = o.ImportCommentCheck = false;
    EXPECT_FALSE(OptionEnabling(o, TAddDiskMode::Add).archiveDescOnly);
    o.ImportBBSCheck = true;
    EXPECT_TRUE(OptionEnabling(o, TAddDiskMode::Add).archiveDescOnly);
    EXPECT_FALSE(OptionEnabling(o, TAddDiskMode::Add).archiveQuickScan);
    EXPECT_TRUE(OptionEnabling(o, TAddDiskMode::Update).archiveQuickScan);
    o.BrowseArchiveCheck = false;
    EXPECT_FALSE(OptionEnabling(o, TAddDiskMode::Update).archiveDescOnly);
    EXPECT_FALSE(OptionEnabling(o, TAddDiskMode::Update).archiveQuickScan);

    o.KeepCurrentCheck = false;
    EXPECT_FALSE(OptionEnabling(o, TAddDiskMode::Update).importDescCombo);
    o.KeepCurrentCheck = true;
    EXPECT_TRUE(OptionEnabling(o, TAddDiskMode::Update).importDescCombo);
    EXPECT_TRUE(OptionEnabling(o, TAddDiskMode::Update).importDescComboShown);
    EXPECT_FALSE(OptionEnabling(o, TAddDiskMode::Add).importDescComboShown);
}

TEST(Options, ArchiveBrowsingAndCommentFollowEachOther)
{
    TScanOptions o;
    o.BrowseArchiveCheck = true;
    o.ImportCommentCheck = true;
    SetBrowseArchive(o, false);
    EXPECT_FALSE(o.BrowseArchiveCheck);
    EXPECT_FALSE(o.ImportCommentCheck);
    SetImportComment(o, true);
    EXPECT_TRUE(o.ImportCommentCheck);
    EXPECT_TRUE(o.BrowseArchiveCheck);
    // Switching the comment off leaves browsing on; browsing on leaves the comment off.
    SetImportComment(o, false);
    EXPECT_TRUE(o.BrowseArchiveCheck);
    SetBrowseArchive(o, true);
    EXPECT_FALSE(o.ImportCommentCheck);
}

TEST(Options, SaveAsDefaultWritesTheSettings)
{
    TOptions settings;
    settings.setModified(false);
    TScanOptions o;
    o.ImportDizCheck = true;
    o.ImportBBSCheck = false;
    o.Import4DOSCheck = true;
    o.ImportCommentCheck = true;
    o.KeepCurrentCheck = false;
    o.BrowseArchiveCheck = false;
    o.EjectMediaCheck = false;
    o.ArchiveDescOnly = true;
    o.ArchiveQuickScan = true;
    SaveScanDefaults(o, settings);
    EXPECT_TRUE(settings.modified());
    EXPECT_TRUE(settings.descSourceEnabled(dsFileIdDiz));
    EXPECT_FALSE(settings.descSourceEnabled(dsFilesBbs));
    EXPECT_TRUE(settings.descSourceEnabled(dsDescriptIon));
    EXPECT_TRUE(settings.descSourceEnabled(dsArchiveComment));
    EXPECT_FALSE(settings.DescKeepCurrentCheck);
    EXPECT_FALSE(settings.InsideZipCheck);
    EXPECT_FALSE(settings.EjectMediaCheck);
    EXPECT_TRUE(settings.ArchiveDescOnly);
    EXPECT_TRUE(settings.ArchiveQuickScan);

    // What was saved is what the next dialog starts with.
    TScanOptions next;
    ApplyScanDefaults(next, settings, true);
    EXPECT_TRUE(next.ImportDizCheck);
    EXPECT_FALSE(next.ImportBBSCheck);
    EXPECT_FALSE(next.KeepCurrentCheck);
    EXPECT_FALSE(next.BrowseArchiveCheck);
}

TEST(Options, ChangeSerialDecision)
{
    TOptions settings;
    settings.setModified(false);
    int asked = 0;
    TSerialAnswer answer;
    auto ask = [&] {
        ++asked;
        return answer;
    };
    // Not asked unless a look-alike was added as a new disk.
    EXPECT_FALSE(DecideChangeSerial(TAddDiskMode::Add, false, 0, settings, ask));
    EXPECT_FALSE(DecideChangeSerial(TAddDiskMode::Add, true, 1, settings, ask));
    EXPECT_FALSE(DecideChangeSerial(TAddDiskMode::Update, false, 1, settings, ask));
    EXPECT_EQ(asked, 0);

    answer = {false, false};
    EXPECT_FALSE(DecideChangeSerial(TAddDiskMode::Add, false, 1, settings, ask));
    answer = {true, false};
    EXPECT_TRUE(DecideChangeSerial(TAddDiskMode::Add, false, 2, settings, ask));
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(settings.SerialAskCheck);
    EXPECT_FALSE(settings.modified());

    // The check box switches the question off, whatever the button.
    answer = {false, true};
    EXPECT_FALSE(DecideChangeSerial(TAddDiskMode::Add, false, 1, settings, ask));
    EXPECT_FALSE(settings.SerialAskCheck);
    EXPECT_TRUE(settings.modified());
    // From then on the serial is changed without a question.
    EXPECT_TRUE(DecideChangeSerial(TAddDiskMode::Add, false, 1, settings, ask));
    EXPECT_EQ(asked, 3);

    settings.SetSerialCheck = false;
    EXPECT_FALSE(DecideChangeSerial(TAddDiskMode::Add, false, 1, settings, ask));
}

// ---------------------------------------------------------------------------
// The dialog's state on fake drives

// Media are folders in a temporary folder mounted by a fake mount table;
// each has a device file, a label link and a serial link in a fake udev tree.
class AddDiskWorkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        for (const char *dir : {"sys/block", "udev/by-label", "udev/by-uuid", "dev", "mnt"})
            ASSERT_TRUE(QDir(m_tmp.path()).mkpath(QLatin1String(dir)));
        // hd: a hard disk with a label; usb: one more; zip: a ZIP drive without label; A: a floppy drive.
        addMedium("hd", "BACKUP", "1234-ABCD", space(4096, 100000, 40000, 1));
        addMedium("usb", "Photos", "5555-6666", space(4096, 50000, 100, 2));
        addBlock("sdb", {{"removable", "1\n"}, {"device/model", "ZIP 100\n"}});
        m_mounts->append({QStringLiteral("/dev/sdb"), mnt("zip"), QStringLiteral("vfat"), QStringLiteral("rw")});
        QDir(m_tmp.path()).mkpath(QStringLiteral("mnt/zip"));
        (*m_spaces)[mnt("zip")] = space(512, 196608, 1000, 3);
        addBlock("fd0", {{"size", "2880\n"}});
        m_drives = std::make_unique<TDrives>(sources());
        m_catalog = NewCatalogNode(m_forest, "Main");
        m_catalog2 = NewCatalogNode(m_forest, "Second");
        m_settings.setModified(false);
    }
    void TearDown() override
    {
        while (!m_forest.roots().empty())
            DeleteCatalog(m_forest, m_forest.roots().front());
    }

    static TFsSpace space(uint64_t blockSize, uint64_t blocks, uint64_t freeBlocks, uint64_t fsid)
    {
        TFsSpace s;
        s.blockSize = blockSize;
        s.blocks = blocks;
        s.freeBlocks = freeBlocks;
        s.fsid = fsid;
        return s;
    }
    QString mnt(const QString &name) const { return m_tmp.filePath(QStringLiteral("mnt/") + name); }
    void addMedium(const QString &name, const QString &label, const QString &uuid, const TFsSpace &s)
    {
        const QString device = m_tmp.filePath(QStringLiteral("dev/") + name);
        QFile f(device);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        ASSERT_TRUE(QDir().mkpath(mnt(name)));
        ASSERT_TRUE(QFile::link(device, m_tmp.filePath(QStringLiteral("udev/by-label/") + label)));
        ASSERT_TRUE(QFile::link(device, m_tmp.filePath(QStringLiteral("udev/by-uuid/") + uuid)));
        m_mounts->append({device, mnt(name), QStringLiteral("vfat"), QStringLiteral("rw")});
        (*m_spaces)[mnt(name)] = s;
    }
    void addBlock(const QString &name, const std::vector<std::pair<QString, QByteArray>> &files)
    {
        for (const auto &[file, content] : files) {
            const QString path = m_tmp.filePath(QStringLiteral("sys/block/") + name + QLatin1Char('/') + file);
            QDir().mkpath(QFileInfo(path).path());
            ASSERT_TRUE(WriteFileBytes(path, content));
        }
    }
    TDriveSources sources()
    {
        TDriveSources s;
        auto mounts = m_mounts;
        s.mounts = [mounts] { return *mounts; };
        s.sysfsRoot = m_tmp.filePath(QStringLiteral("sys"));
        s.devDiskRoot = m_tmp.filePath(QStringLiteral("udev"));
        s.readDevices = false;
        s.mayRun = [](const QString &) { return false; };
        auto spaces = m_spaces;
        auto notReady = m_notReady;
        s.space = [spaces, notReady](const QString &path) -> std::optional<TFsSpace> {
            if (notReady->contains(path) || !spaces->contains(path))
                return std::nullopt;
            return spaces->value(path);
        };
        s.now = [] { return QDateTime(QDate(2024, 5, 17), QTime(13, 30)); };
        return s;
    }
    QChar letter(const QString &name) const
    {
        const auto l = m_drives->driveOfPath(mnt(name));
        return l ? *l : QChar();
    }
    // A disk catalogued from a drive as it is now.
    TTreeNode *catalogued(const QString &medium, const QByteArray &name, TTreeNode *catalog = nullptr)
    {
        TTreeNode *node = AddDiskNode(catalog ? catalog : m_catalog, name);
        ReadVolumeInfo(*m_drives, letter(medium), AsDisk(NodeRec(node)));
        return node;
    }
    std::vector<TTreeNode *> catalogs() const { return m_forest.roots(); }
    std::unique_ptr<TAddDiskWork> work()
    {
        return std::make_unique<TAddDiskWork>(*m_drives, m_settings, m_prompter);
    }

    QTemporaryDir m_tmp;
    std::shared_ptr<QList<TMountEntry>> m_mounts = std::make_shared<QList<TMountEntry>>();
    std::shared_ptr<QMap<QString, TFsSpace>> m_spaces = std::make_shared<QMap<QString, TFsSpace>>();
    std::shared_ptr<QSet<QString>> m_notReady = std::make_shared<QSet<QString>>();
    std::unique_ptr<TDrives> m_drives;
    TForest m_forest;
    TTreeNode *m_catalog = nullptr;
    TTreeNode *m_catalog2 = nullptr;
    TOptions m_settings;
    ScriptedPrompter m_prompter;
    ScopedDefaultPrompter m_scope{&m_prompter};
};

TEST_F(AddDiskWorkTest, AddModeStartsWithNoDriveAndTheSelectedCatalog)
{
    auto w = work();
    TTreeNode *disk = catalogued("usb", "Pictures", m_catalog2);
    ASSERT_TRUE(w->begin(catalogs(), disk, false));
    EXPECT_EQ(w->mode(), TAddDiskMode::Add);
    EXPECT_EQ(w->catalog(), m_catalog2);
    EXPECT_EQ(w->catalogs().size(), 2u);
    EXPECT_TRUE(w->pressedDrive().isNull());
    EXPECT_FALSE(w->okEnabled());
    EXPECT_EQ(w->workRecord(), nullptr);
    EXPECT_EQ(w->statusText(), QStringLiteral("No drive selected"));
    EXPECT_EQ(w->virtualRootLabel(), QStringLiteral("(none)"));
    EXPECT_TRUE(w->diskName().isEmpty());
    // Every drive is offered in add mode, in letter order: the floppy A: first.
    ASSERT_EQ(w->drives().size(), 4u);
    EXPECT_EQ(w->drives()[0].letter, QLatin1Char('A'));
    EXPECT_EQ(w->drives()[0].mediaType, 7);
    // Defaults from the settings: carrying over is off when adding.
    EXPECT_FALSE(w->options().KeepCurrentCheck);
    EXPECT_EQ(w->options().BrowseArchiveCheck, m_settings.InsideZipCheck);

    // Nothing selected: the first catalog. No catalog at all: no dialog.
    ASSERT_TRUE(w->begin(catalogs(), nullptr, false));
    EXPECT_EQ(w->catalog(), m_catalog);
    EXPECT_FALSE(w->begin({}, nullptr, false));
}

TEST_F(AddDiskWorkTest, PressingADriveReadsItAndNamesTheDiskAfterItsLabel)
{
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), m_catalog, false));
    const QChar hd = letter("hd");
    ASSERT_TRUE(w->pressDrive(hd));
    EXPECT_EQ(w->pressedDrive(), hd);
    EXPECT_TRUE(w->okEnabled());
    ASSERT_NE(w->workRecord(), nullptr);
    EXPECT_EQ(w->workRecord()->VolumeLabel, QByteArray("Backup"));
    EXPECT_EQ(w->workRecord()->Serial, 0x1234ABCDu);
    EXPECT_EQ(w->diskName(), QStringLiteral("Backup"));
    EXPECT_TRUE(w->matches().empty());
    EXPECT_EQ(w->oldDisk(), nullptr);
    EXPECT_EQ(w->statusText(), QStringLiteral("Hard disk (") + hd + QStringLiteral(":), Serial num: 1234-ABCD, "
                                                                                   "not found in catalog"));
    // Releasing forgets the drive and the name.
    w->releaseDrive();
    EXPECT_FALSE(w->okEnabled());
    EXPECT_TRUE(w->diskName().isEmpty());
    EXPECT_EQ(w->statusText(), QStringLiteral("No drive selected"));
    // A letter that is no drive presses nothing.
    EXPECT_FALSE(w->pressDrive(QLatin1Char('Q')));
    EXPECT_TRUE(w->pressedDrive().isNull());
    EXPECT_TRUE(m_prompter.messages.empty());
}

TEST_F(AddDiskWorkTest, ADriveThatIsNotReadyAsksAndPressesNothing)
{
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), m_catalog, false));
    m_notReady->insert(mnt("usb"));
    const QChar usb = letter("usb");
    m_prompter.answers = {MsgAnswer::Retry, MsgAnswer::Cancel};
    EXPECT_FALSE(w->pressDrive(usb));
    ASSERT_EQ(m_prompter.messages.size(), 2u);
    EXPECT_EQ(m_prompter.messages[0].caption, QStringLiteral("Drive Not Ready"));
    EXPECT_EQ(m_prompter.messages[0].text, QStringLiteral("Drive ") + usb + QStringLiteral(": is not ready !"));
    EXPECT_TRUE(w->pressedDrive().isNull());
    EXPECT_FALSE(w->okEnabled());
    // The floppy drive has no medium mounted at all.
    m_prompter.answers = {MsgAnswer::Cancel};
    EXPECT_FALSE(w->pressDrive(QLatin1Char('A')));
}

TEST_F(AddDiskWorkTest, ALookAlikeIsFoundAndItsNameKept)
{
    TTreeNode *old = catalogued("hd", "Weekly backup");
    AsDisk(NodeRec(old))->Reserved = 3;
    StoreDescription(AsDisk(NodeRec(old))->Desc, "kept text");
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), m_catalog, false));
    const QChar hd = letter("hd");
    ASSERT_TRUE(w->pressDrive(hd));
    ASSERT_EQ(w->matches().size(), 1u);
    EXPECT_EQ(w->oldDisk(), old);
    EXPECT_EQ(w->diskName(), QStringLiteral("Weekly backup"));
    EXPECT_TRUE(w->statusText().endsWith(QStringLiteral(", already exists in catalog")));
    // The work record shows what the disk will carry over.
    EXPECT_EQ(w->workRecord()->Reserved, 3);
    EXPECT_EQ(TextView(w->workRecord()->Desc), QByteArrayView("kept text"));

    // Another catalog does not hold it: the label names the disk again.
    w->setCatalog(m_catalog2);
    EXPECT_TRUE(w->matches().empty());
    EXPECT_EQ(w->oldDisk(), nullptr);
    EXPECT_EQ(w->diskName(), QStringLiteral("Backup"));
    EXPECT_EQ(w->workRecord()->Reserved, 0);
    EXPECT_EQ(w->workRecord()->Desc, nullptr);
    w->setCatalog(m_catalog);
    EXPECT_EQ(w->oldDisk(), old);

    // Without "Keep old disk name" the label stays.
    m_settings.UpdateNameCheck = false;
    ASSERT_TRUE(w->pressDrive(hd));
    EXPECT_EQ(w->diskName(), QStringLiteral("Backup"));
    EXPECT_EQ(w->oldDisk(), old);
}

TEST_F(AddDiskWorkTest, OneMatchAsksWhetherToUpdate)
{
    TTreeNode *old = catalogued("hd", "Weekly");
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), m_catalog, false));
    ASSERT_TRUE(w->pressDrive(letter("hd")));

    // Cancel keeps the dialog open and changes nothing.
    m_prompter.answers = {MsgAnswer::Cancel};
    EXPECT_EQ(w->accept({}), TAddDiskWork::TOkResult::StayOpen);
    ASSERT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].caption, QStringLiteral("Update Old Data?"));
    EXPECT_EQ(m_prompter.messages[0].text, MsgUpdateOldDataText(QStringLiteral("Weekly")));
    EXPECT_EQ(m_prompter.messages[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(m_prompter.messages[0].icon, MsgIcon::Question);
    EXPECT_EQ(w->mode(), TAddDiskMode::Add);
    EXPECT_EQ(w->oldDisk(), old);

    // Yes turns the command into an update that carries descriptions over
    // from the disk being updated (carrying over was off).
    m_prompter.messages.clear();
    m_prompter.answers = {MsgAnswer::Yes};
    EXPECT_EQ(w->accept({}), TAddDiskWork::TOkResult::Close);
    EXPECT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(w->mode(), TAddDiskMode::Update);
    EXPECT_EQ(w->oldDisk(), old);
    EXPECT_TRUE(w->options().KeepCurrentCheck);
    EXPECT_EQ(w->options().ImportDescCombo, ksUpdatedDisk);
    EXPECT_EQ(w->acceptedMatchCount(), 1);
    EXPECT_FALSE(w->decideChangeSerial([] { return TSerialAnswer{true, false}; }));

    const TScanOptions o = w->scanOptions();
    EXPECT_EQ(o.OldDiskNode, old);
    EXPECT_EQ(o.DatabaseList, m_catalog);
    EXPECT_EQ(o.DiskName, QByteArray("Weekly"));
    EXPECT_FALSE(o.ChangeSerial);
}

TEST_F(AddDiskWorkTest, YesWithCarryingOverOnTakesTheWholeCatalog)
{
    catalogued("hd", "Weekly");
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), m_catalog, false));
    ASSERT_TRUE(w->pressDrive(letter("hd")));
    w->options().KeepCurrentCheck = true;
    m_prompter.answers = {MsgAnswer::Yes};
    EXPECT_EQ(w->accept({}), TAddDiskWork::TOkResult::Close);
    EXPECT_EQ(w->options().ImportDescCombo, ksWholeCatalog);
    EXPECT_TRUE(w->options().KeepCurrentCheck);
}

TEST_F(AddDiskWorkTest, NoAddsANewDiskAndMayChangeTheSerial)
{
    catalogued("hd", "Weekly");
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), m_catalog, false));
    ASSERT_TRUE(w->pressDrive(letter("hd")));
    m_prompter.answers = {MsgAnswer::No};
    EXPECT_EQ(w->accept({}), TAddDiskWork::TOkResult::Close);
    // No old disk, so no question about descriptions.
    EXPECT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(w->oldDisk(), nullptr);
    EXPECT_EQ(w->mode(), TAddDiskMode::Add);
    int asked = 0;
    EXPECT_TRUE(w->decideChangeSerial([&] {
        ++asked;
        return TSerialAnswer{true, false};
    }));
    EXPECT_EQ(asked, 1);
    const TScanOptions o = w->scanOptions();
    EXPECT_TRUE(o.ChangeSerial);
    EXPECT_EQ(o.OldDiskNode, nullptr);
    EXPECT_FALSE(o.ArchiveQuickScan);
}

TEST_F(AddDiskWorkTest, SeveralMatchesOpenTheChoiceList)
{
    TTreeNode *first = catalogued("hd", "One");
    catalogued("usb", "Other");
    TTreeNode *second = catalogued("hd", "Two");
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), m_catalog, false));
    ASSERT_TRUE(w->pressDrive(letter("hd")));
    ASSERT_EQ(w->matches().size(), 2u);
    EXPECT_EQ(w->diskName(), QStringLiteral("One"));

    std::vector<TTreeNode *> shown;
    TDiskSelectAnswer answer;
    auto select = [&](const std::vector<TTreeNode *> &disks) {
        shown = disks;
        return answer;
    };
    answer.kind = TDiskSelectAnswer::Cancel;
    EXPECT_EQ(w->accept(select), TAddDiskWork::TOkResult::StayOpen);
    EXPECT_EQ(shown, (std::vector<TTreeNode *>{first, second}));
    EXPECT_TRUE(m_prompter.messages.empty());

    // "&Update" with the second disk: the descriptions question follows,
    // since carrying over is off; No keeps the dialog open at that option.
    answer = {TDiskSelectAnswer::Update, second};
    m_prompter.answers = {MsgAnswer::No};
    EXPECT_EQ(w->accept(select), TAddDiskWork::TOkResult::StayOpenKeepCurrent);
    ASSERT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].caption, QStringLiteral("Warning"));
    EXPECT_EQ(m_prompter.messages[0].text, MsgDescriptionsLostText());
    EXPECT_EQ(m_prompter.messages[0].buttons, MsgButtons::YesNo);

    m_prompter.answers = {MsgAnswer::Yes};
    EXPECT_EQ(w->accept(select), TAddDiskWork::TOkResult::Close);
    EXPECT_EQ(w->oldDisk(), second);
    EXPECT_EQ(w->scanOptions().OldDiskNode, second);
    // The disk chosen keeps its name; a name the user typed stays.
    EXPECT_EQ(w->diskName(), QStringLiteral("Two"));
    ASSERT_TRUE(w->pressDrive(letter("hd")));
    w->setDiskName(QStringLiteral("Typed"));
    m_prompter.answers = {MsgAnswer::Yes};
    EXPECT_EQ(w->accept(select), TAddDiskWork::TOkResult::Close);
    EXPECT_EQ(w->diskName(), QStringLiteral("Typed"));
    // An update chosen from the list is no new disk: the serial stays.
    EXPECT_FALSE(w->decideChangeSerial([] { return TSerialAnswer{true, false}; }));

    // A disk that is not among the matches is refused.
    answer = {TDiskSelectAnswer::Update, m_catalog};
    ASSERT_TRUE(w->pressDrive(letter("hd")));
    EXPECT_EQ(w->accept(select), TAddDiskWork::TOkResult::StayOpen);

    answer = {TDiskSelectAnswer::AddNew, nullptr};
    EXPECT_EQ(w->accept(select), TAddDiskWork::TOkResult::Close);
    EXPECT_EQ(w->oldDisk(), nullptr);
    EXPECT_EQ(w->acceptedMatchCount(), 2);
}

TEST_F(AddDiskWorkTest, UpdateModeOffersOnlyFittingDrivesAndFindsTheMedium)
{
    TTreeNode *old = catalogued("usb", "Holiday");
    TTreeNode *folder = AddFolderNode(old, "sub");
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), folder, true));
    EXPECT_EQ(w->mode(), TAddDiskMode::Update);
    EXPECT_EQ(w->oldDisk(), old);
    EXPECT_EQ(w->diskName(), QStringLiteral("Holiday"));
    EXPECT_TRUE(w->options().KeepCurrentCheck);   // the setting's default
    // The hard disks only; not the ZIP drive nor the floppy drive.
    ASSERT_EQ(w->drives().size(), 2u);
    for (const TDriveChoice &c : w->drives())
        EXPECT_EQ(c.mediaType, 5);

    EXPECT_EQ(w->activate({}), TAddDiskWork::TActivation::Pressed);
    EXPECT_EQ(w->pressedDrive(), letter("usb"));
    EXPECT_TRUE(w->mediumMatches());
    EXPECT_EQ(w->statusText(), QStringLiteral("Hard disk (") + letter("usb")
                                   + QStringLiteral(":), media match confirmed, ready to update"));
    EXPECT_EQ(w->diskName(), QStringLiteral("Holiday"));
    EXPECT_EQ(w->accept({}), TAddDiskWork::TOkResult::Close);
    EXPECT_TRUE(m_prompter.messages.empty());
    EXPECT_EQ(w->scanOptions().OldDiskNode, old);

    // The catalog of an update is fixed.
    w->setCatalog(m_catalog2);
    EXPECT_EQ(w->catalog(), m_catalog);
    // Update mode needs a disk.
    EXPECT_FALSE(w->begin(catalogs(), m_catalog, true));
}

TEST_F(AddDiskWorkTest, UpdateWithAMismatchingMediumWarns)
{
    TTreeNode *old = catalogued("usb", "Holiday");
    AsDisk(NodeRec(old))->Serial ^= 1;   // formatted since
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), old, true));
    // A hard disk that is not found is not asked for: the user chooses by hand.
    m_prompter.answers = {MsgAnswer::Ok};
    EXPECT_EQ(w->activate({}), TAddDiskWork::TActivation::Manual);
    ASSERT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].caption, QStringLiteral("Non-Removable Media"));
    EXPECT_TRUE(w->pressedDrive().isNull());
    EXPECT_FALSE(w->okEnabled());

    ASSERT_TRUE(w->pressDrive(letter("usb")));
    EXPECT_FALSE(w->mediumMatches());
    EXPECT_TRUE(w->statusText().endsWith(QStringLiteral("does NOT match the media selected for update")));
    m_prompter.messages.clear();
    m_prompter.answers = {MsgAnswer::No};
    EXPECT_EQ(w->accept({}), TAddDiskWork::TOkResult::StayOpen);
    ASSERT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].caption, QStringLiteral("Warning"));
    EXPECT_EQ(m_prompter.messages[0].text, MsgMediaMismatchText(QStringLiteral("Holiday")));
    EXPECT_EQ(m_prompter.messages[0].buttons, MsgButtons::YesNo);

    // Yes proceeds; with carrying over off the descriptions question follows.
    w->options().KeepCurrentCheck = false;
    m_prompter.messages.clear();
    m_prompter.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
    EXPECT_EQ(w->accept({}), TAddDiskWork::TOkResult::Close);
    ASSERT_EQ(m_prompter.messages.size(), 2u);
    EXPECT_EQ(m_prompter.messages[1].text, MsgDescriptionsLostText());
}

TEST_F(AddDiskWorkTest, RemovableMediaAreAskedForAndCanBeChosenByHand)
{
    TTreeNode *old = catalogued("zip", "Cartridge");
    AsDisk(NodeRec(old))->Serial ^= 1;
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), old, true));
    ASSERT_EQ(w->drives().size(), 1u);
    EXPECT_EQ(w->drives()[0].letter, letter("zip"));

    std::vector<std::tuple<QByteArray, uint8_t, bool>> calls;
    std::vector<MsgAnswer> answers = {MsgAnswer::Ok, MsgAnswer::No};
    auto insert = [&](const QByteArray &name, uint8_t type, bool manual) {
        calls.emplace_back(name, type, manual);
        const MsgAnswer a = answers.front();
        answers.erase(answers.begin());
        return a;
    };
    EXPECT_EQ(w->activate(insert), TAddDiskWork::TActivation::Manual);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(std::get<0>(calls[0]), QByteArray("Cartridge"));
    EXPECT_EQ(std::get<1>(calls[0]), 14);
    EXPECT_TRUE(std::get<2>(calls[0]));
    EXPECT_TRUE(w->pressedDrive().isNull());

    answers = {MsgAnswer::Cancel};
    EXPECT_EQ(w->activate(insert), TAddDiskWork::TActivation::Cancelled);
}

TEST_F(AddDiskWorkTest, UpdatingAVirtualRootDiskFindsItsFolder)
{
    ASSERT_TRUE(QDir(mnt("hd")).mkpath(QStringLiteral("Photos")));
    TTreeNode *old = catalogued("hd", "Photos");
    SetItemFlag(NodeRec(old), rfVirtualRoot, true);
    AsDisk(NodeRec(old))->RootPath = NewText("\\Photos\\");
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), old, true));
    EXPECT_EQ(w->activate({}), TAddDiskWork::TActivation::Pressed);
    EXPECT_EQ(w->pressedDrive(), letter("hd"));
    // The drive's button gets the disk's folder, so the medium matches.
    EXPECT_TRUE(w->virtualRootCheck());
    EXPECT_EQ(w->scanRootPath(), QByteArray("\\Photos\\"));
    EXPECT_TRUE(w->mediumMatches());
    // The whole drive is not that disk.
    w->clearVirtualRoot();
    EXPECT_FALSE(w->mediumMatches());
}

TEST_F(AddDiskWorkTest, UpdatingAVirtualRootDiskWhoseFolderCaseDiffersScansIt)
{
    // Catalogued as \PHOTOS\ from a FAT medium, mounted now with "photos".
    ASSERT_TRUE(QDir(mnt("hd")).mkpath(QStringLiteral("photos")));
    QFile f(mnt("hd") + QStringLiteral("/photos/a.jpg"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("a");
    f.close();
    TTreeNode *old = catalogued("hd", "Photos");
    SetItemFlag(NodeRec(old), rfVirtualRoot, true);
    AsDisk(NodeRec(old))->RootPath = NewText("\\PHOTOS\\");
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), old, true));
    ASSERT_EQ(w->activate({}), TAddDiskWork::TActivation::Pressed);
    EXPECT_EQ(w->scanRootPath(), QByteArray("\\PHOTOS\\"));
    EXPECT_TRUE(w->mediumMatches());
    w->decideChangeSerial([] { return TSerialAnswer{false, false}; });
    const TScanOutcome outcome = ScanDisk(*m_drives, w->pressedDrive(), w->scanRootPath(), w->scanOptions());
    ASSERT_TRUE(outcome.Success) << outcome.Detail.toStdString();
    ASSERT_NE(NodeRec(outcome.DiskNode)->Next, nullptr);
    EXPECT_EQ(NodeRec(outcome.DiskNode)->Next->name(), QByteArrayView("a.jpg"));
    EXPECT_EQ(TextView(AsDisk(NodeRec(outcome.DiskNode))->RootPath), QByteArrayView("\\PHOTOS\\"));
}

TEST_F(AddDiskWorkTest, VirtualRootsFromFolders)
{
    ASSERT_TRUE(QDir(mnt("hd")).mkpath(QStringLiteral("Photos/2024")));
    ASSERT_TRUE(QDir(mnt("hd")).mkpath(QStringLiteral("Music")));
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), m_catalog, false));
    const QChar hd = letter("hd");

    // Any folder presses the drive that holds it.
    ASSERT_TRUE(w->chooseFolder(mnt("hd") + QStringLiteral("/Photos/2024")));
    EXPECT_EQ(w->pressedDrive(), hd);
    EXPECT_TRUE(w->virtualRootCheck());
    EXPECT_EQ(w->rootPath(hd), QByteArray("\\Photos\\2024\\"));
    EXPECT_EQ(w->virtualRootLabel(), QStringLiteral("\\Photos\\2024\\"));
    EXPECT_EQ(w->scanRootPath(), QByteArray("\\Photos\\2024\\"));

    // A disk catalogued from that folder is a look-alike; one from another folder is not.
    TTreeNode *photos = catalogued("hd", "Photos");
    SetItemFlag(NodeRec(photos), rfVirtualRoot, true);
    AsDisk(NodeRec(photos))->RootPath = NewText("\\Photos\\2024\\");
    w->setVirtualRootFolder(mnt("hd") + QStringLiteral("/Music"));
    EXPECT_EQ(w->rootPath(hd), QByteArray("\\Music\\"));
    EXPECT_TRUE(w->matches().empty());
    w->setVirtualRootFolder(mnt("hd") + QStringLiteral("/Photos/2024/"));
    ASSERT_EQ(w->matches().size(), 1u);
    EXPECT_EQ(w->oldDisk(), photos);

    // The root itself, or no folder, is the whole drive.
    w->setVirtualRootFolder(mnt("hd"));
    EXPECT_FALSE(w->virtualRootCheck());
    EXPECT_EQ(w->virtualRootLabel(), QStringLiteral("(none)"));
    EXPECT_TRUE(w->matches().empty());
    ASSERT_TRUE(w->chooseFolder(mnt("hd") + QStringLiteral("/Music")));
    w->setVirtualRootFolder(QString());
    EXPECT_FALSE(w->virtualRootCheck());
    ASSERT_TRUE(w->chooseFolder(mnt("hd") + QStringLiteral("/Music")));
    w->clearVirtualRoot();
    EXPECT_TRUE(w->scanRootPath().isEmpty());

    // A folder of another drive chosen as the virtual root switches drives.
    ASSERT_TRUE(QDir(mnt("usb")).mkpath(QStringLiteral("Docs")));
    w->setVirtualRootFolder(mnt("usb") + QStringLiteral("/Docs"));
    EXPECT_EQ(w->pressedDrive(), letter("usb"));
    EXPECT_EQ(w->rootPath(letter("usb")), QByteArray("\\Docs\\"));
    // The root path belongs to the button: pressing the drive again keeps it.
    ASSERT_TRUE(w->pressDrive(hd));
    ASSERT_TRUE(w->pressDrive(letter("usb")));
    EXPECT_EQ(w->virtualRootLabel(), QStringLiteral("\\Docs\\"));
}

TEST_F(AddDiskWorkTest, FoldersThatCannotBeVirtualRoots)
{
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), m_catalog, false));
    // Missing folders, folders outside every drive, and names holding the
    // "\" that separates stored path parts.
    EXPECT_FALSE(w->chooseFolder(mnt("hd") + QStringLiteral("/missing")));
    EXPECT_FALSE(w->chooseFolder(m_tmp.filePath(QStringLiteral("dev"))));
    EXPECT_FALSE(w->chooseFolder(QString()));
    ASSERT_TRUE(QDir(mnt("hd")).mkpath(QStringLiteral("a\\b")));
    EXPECT_FALSE(w->chooseFolder(mnt("hd") + QStringLiteral("/a\\b")));
    EXPECT_TRUE(w->pressedDrive().isNull());

    // Update mode: a folder of a drive that is not offered is refused.
    TTreeNode *old = catalogued("usb", "Holiday");
    ASSERT_TRUE(w->begin(catalogs(), old, true));
    EXPECT_FALSE(w->chooseFolder(mnt("zip")));
    EXPECT_TRUE(w->chooseFolder(mnt("hd")));
}

TEST_F(AddDiskWorkTest, SaveAsDefaultOnlyWhenChecked)
{
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), m_catalog, false));
    ASSERT_TRUE(w->pressDrive(letter("hd")));
    const bool before = m_settings.EjectMediaCheck;
    w->options().EjectMediaCheck = !before;
    EXPECT_EQ(w->accept({}), TAddDiskWork::TOkResult::Close);
    EXPECT_EQ(m_settings.EjectMediaCheck, before);
    EXPECT_FALSE(m_settings.modified());

    w->setDefaultCheck(true);
    EXPECT_EQ(w->accept({}), TAddDiskWork::TOkResult::Close);
    EXPECT_EQ(m_settings.EjectMediaCheck, !before);
    EXPECT_TRUE(m_settings.modified());
}

TEST_F(AddDiskWorkTest, ScanOptionsFollowTheEnablingRules)
{
    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), m_catalog, false));
    ASSERT_TRUE(w->pressDrive(letter("hd")));
    TScanOptions &o = w->options();
    o.BrowseArchiveCheck = true;
    o.ArchiveQuickScan = true;
    o.ArchiveDescOnly = true;
    o.ImportDizCheck = o.ImportBBSCheck = o.Import4DOSCheck = o.ImportCommentCheck = false;
    w->setDiskName(QString(300, QChar(0x00E9)));   // 600 bytes of UTF-8
    const TScanOptions s = w->scanOptions();
    EXPECT_FALSE(s.ArchiveQuickScan);   // add mode
    EXPECT_FALSE(s.ArchiveDescOnly);    // no import check
    EXPECT_LE(s.DiskName.size(), kMaxShortText);
    EXPECT_TRUE(QByteArrayView(s.DiskName).isValidUtf8());
    EXPECT_EQ(s.IgnoreFoldersCheck, m_settings.IgnoreFoldersCheck);
    // The dialog's own values are left as the user set them.
    EXPECT_TRUE(w->options().ArchiveQuickScan);
}

TEST_F(AddDiskWorkTest, AddedLookAlikeScansIntoASecondDisk)
{
    QFile f(mnt("hd") + QStringLiteral("/readme.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("hello");
    f.close();
    TScanOptions first;
    ApplyScanDefaults(first, m_settings, false);
    first.DatabaseList = m_catalog;
    first.DiskName = "Backup";
    const TScanOutcome one = ScanDisk(*m_drives, letter("hd"), {}, first);
    ASSERT_TRUE(one.Success) << one.Detail.toStdString();

    auto w = work();
    ASSERT_TRUE(w->begin(catalogs(), m_catalog, false));
    ASSERT_TRUE(w->pressDrive(letter("hd")));
    ASSERT_EQ(w->oldDisk(), one.DiskNode);
    m_prompter.answers = {MsgAnswer::No};
    ASSERT_EQ(w->accept({}), TAddDiskWork::TOkResult::Close);
    w->decideChangeSerial([] { return TSerialAnswer{false, false}; });
    const TScanOutcome two = ScanDisk(*m_drives, w->pressedDrive(), w->scanRootPath(), w->scanOptions());
    ASSERT_TRUE(two.Success) << two.Detail.toStdString();
    EXPECT_EQ(m_catalog->childCount(), 2);
    EXPECT_EQ(two.DiskNode->text(), QByteArray("Backup (2)"));
}

} // namespace
