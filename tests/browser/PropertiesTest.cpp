// The properties dialog's contents and the apply step, on hand-built
// catalogs: which pages an item shows, the texts of members, serials,
// ratios and the usage chart, and edits that mark disks dirty and survive a
// save and a reopen.
#include "browser/Properties.h"
#include "browser/Utils.h"

#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <climits>

using namespace testcat;

namespace {

std::vector<TPropPage> kindsOf(const TPropertiesData &data)
{
    std::vector<TPropPage> kinds;
    for (const TPropPageData &p : data.pages)
        kinds.push_back(p.kind);
    return kinds;
}

class PropertiesTest : public ::testing::Test
{
protected:
    void SetUp() override { m_catalog = BuildForest(m_forest, SampleCatalog()); }
    void TearDown() override { DeleteCatalog(m_forest, m_catalog); }

    TTreeNode *disk(const char *name = "Disk One") { return FindDisk(m_catalog, name); }
    TTreeNode *folder(const char *path) { return FindFolder(disk(), path); }

    TForest m_forest;
    TTreeNode *m_catalog = nullptr;
};

using P = TPropPage;

TEST_F(PropertiesTest, PagesPerKind)
{
    struct Case {
        const char *what;
        const char *folder;   // null: the disk; "-": the catalog
        const char *file;     // null: no file
        std::vector<TPropPage> pages;
    } const cases[] = {
        {"file in a folder", "Alpha", "a1.txt", {P::File, P::Folder, P::Disk}},
        {"file in the root", nullptr, "readme.txt", {P::File, P::Disk}},
        {"member of a compressed file", "pack.zip", "m2.txt", {P::File, P::Folder, P::Disk}},
        {"folder", "Alpha\\Alpha1", nullptr, {P::Folder, P::Disk}},
        {"disk", nullptr, nullptr, {P::Disk}},
        {"catalog", "-", nullptr, {P::Catalog}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TTreeNode *node = !c.folder ? disk() : QByteArray(c.folder) == "-" ? m_catalog : folder(c.folder);
        ASSERT_NE(node, nullptr);
        TFileRec *file = c.file ? FindFile(node, c.file) : nullptr;
        if (c.file) {
            ASSERT_NE(file, nullptr);
        }
        EXPECT_EQ(kindsOf(FillProperties(node, file)), c.pages);
    }
}

TEST_F(PropertiesTest, FileTypeTexts)
{
    TTreeNode *root = disk();
    TFileRec *file = FindFile(root, "readme.txt");
    ASSERT_NE(file, nullptr);
    const TPropertiesContext known{[](const QString &ext) {
        return ext == QLatin1String("TXT") ? QStringLiteral("Plain text document") : QString();
    }, {}, nullptr};
    struct Case {
        QByteArray name;
        bool member;
        bool withTypes;
        QString type;
    } const cases[] = {
        {"README", false, true, QStringLiteral("unknown file type")},
        {"README", true, true, QStringLiteral("unknown file type")},
        {"DATA.XYZ", false, true, QStringLiteral("XYZ file")},
        {"DATA.XYZ", true, true, QStringLiteral("Compressed XYZ file")},
        {"notes.txt", false, true, QStringLiteral("Plain text document")},
        {"notes.txt", true, true, QStringLiteral("Compressed Plain text document")},
        {"notes.txt", false, false, QStringLiteral("TXT file")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name.constData());
        TFileRec *rec = NewFileRec(c.name);
        rec->Node = root;
        rec->KindFlags = uint8_t(rkFile | (c.member ? rfCompressed : 0));
        const TPropertiesData data = FillProperties(root, rec, c.withTypes ? known : TPropertiesContext{});
        EXPECT_EQ(data.pages.front().row(QStringLiteral("File Type:")), c.type);
        FreeFileRec(rec);
    }
}

TEST_F(PropertiesTest, MemberRows)
{
    TTreeNode *archive = folder("pack.zip");
    TFileRec *member = FindFile(archive, "m2.txt");
    ASSERT_NE(member, nullptr);
    ASSERT_TRUE(ItemIs(member->KindFlags, rfCompressed));
    struct Case {
        int64_t size;
        uint32_t packed;
        uint32_t crc;
        QString compressed;
        QString crcText;
    } const cases[] = {
        {1000, 0, 0x12ABCD, QStringLiteral("(unknown)"), QStringLiteral("12ABCD")},
        {1000, 400, 0xDEADBEEF, QStringLiteral("400 B  (ratio: 60 %)"), QStringLiteral("DEADBEEF")},
        {8, 1, 0, QStringLiteral("1 B  (ratio: 88 %)"), QStringLiteral("0")},      // 87.5 rounds to 88 (even)
        {200, 1, 7, QStringLiteral("1 B  (ratio: 100 %)"), QStringLiteral("7")},   // 0.5 rounds to 0
        {0, 30, 7, QStringLiteral("30 B"), QStringLiteral("7")},                   // no ratio of nothing
        // A damaged record: the ratio stays a number instead of overflowing.
        {1, 0xFFFFFFFF, 7, QStringLiteral("4 GB  (ratio: ") + QString::number(100 - INT_MAX) + QStringLiteral(" %)"),
         QStringLiteral("7")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.compressed.toStdString());
        member->Size = c.size;
        member->Accessed = c.packed;
        member->Created = c.crc;
        const TPropertiesData data = FillProperties(archive, member);
        const TPropPageData &page = data.pages.front();
        EXPECT_EQ(page.row(QStringLiteral("Compressed Size:")), c.compressed);
        EXPECT_EQ(page.row(QStringLiteral("File CRC:")), c.crcText);
        EXPECT_TRUE(page.row(QStringLiteral("Created on:")).isEmpty());
        EXPECT_EQ(page.row(QStringLiteral("Location on Disk:")), QStringLiteral("\\pack.zip"));
        EXPECT_EQ(data.pages[1].caption, QStringLiteral("Archive file"));
    }
}

TEST_F(PropertiesTest, FolderTypeTexts)
{
    struct Case {
        QByteArray name;
        bool compressed;
        QString type, sizeCaption, descLabel;
    } const cases[] = {
        {"SETUP.EXE", true, QStringLiteral("Self-extracted compressed file"), QStringLiteral("File Size:"),
         QStringLiteral("Archive File Description:")},
        {"PACK.ZIP", true, QStringLiteral("Compressed file (ZIP)"), QStringLiteral("File Size:"),
         QStringLiteral("Archive File Description:")},
        {"Stuff", false, QStringLiteral("Folder"), QStringLiteral("Folder Size:"), QStringLiteral("Folder Description:")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name.constData());
        TTreeNode *node = AddFolderNode(disk(), c.name);
        TFolderRec *rec = AsFolder(NodeRec(node));
        SetItemFlag(rec, rfCompressed, c.compressed);
        rec->TotalSize = 1536 * 10000;
        const TPropertiesData data = FillProperties(node, nullptr);
        const TPropPageData &page = data.pages.front();
        EXPECT_EQ(page.row(QStringLiteral("Type:")), c.type);
        EXPECT_EQ(page.row(c.sizeCaption), QStringLiteral("1.5 kB  (1536 Bytes)"));
        EXPECT_EQ(page.descLabel, c.descLabel);
        EXPECT_EQ(page.caption, c.compressed ? QStringLiteral("Archive file") : QStringLiteral("Folder info"));
        EXPECT_EQ(page.row(QStringLiteral("Location on Disk:")), QStringLiteral("\\") + QString::fromLatin1(c.name));
    }
}

TEST_F(PropertiesTest, DiskRowsAndChart)
{
    TDiskRec *rec = AsDisk(NodeRec(disk()));
    rec->BytesPerSector = 512;
    rec->SectorsPerCluster = 2;   // 1 kB clusters
    struct Case {
        uint32_t serial;
        int32_t total, free;
        QString serialText;
        std::vector<std::pair<QString, int>> slices;
    } const cases[] = {
        {0xA1B2C3D, 100, 100, QStringLiteral("0A1B-2C3D"), {{QStringLiteral("Free: 100 kB"), 100}}},
        {0xDEADBEEF, 100, 0, QStringLiteral("DEAD-BEEF"), {{QStringLiteral("Used: 100 kB"), 100}}},
        {0, 1000, 250, QStringLiteral("0000-0000"),
         {{QStringLiteral("Free: 250 kB"), 25}, {QStringLiteral("Used: 750 kB"), 75}}},
        // 0.5 % used rounds to 0 (halves to even): no used slice
        {1, 1000, 995, QStringLiteral("0000-0001"), {{QStringLiteral("Free: 995 kB"), 100}}},
        // 1.5 % rounds to 2
        {1, 1000, 985, QStringLiteral("0000-0001"),
         {{QStringLiteral("Free: 985 kB"), 98}, {QStringLiteral("Used: 15 kB"), 2}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.serialText.toStdString());
        rec->Serial = c.serial;
        rec->TotalClusters = c.total;
        rec->FreeClusters = c.free;
        const TPropertiesData data = FillProperties(disk(), nullptr);
        const TPropPageData &page = data.pages.front();
        EXPECT_EQ(page.row(QStringLiteral("Serial No.:")), c.serialText);
        EXPECT_EQ(page.row(QStringLiteral("Catalog Name:")), QStringLiteral("Sample"));
        std::vector<std::pair<QString, int>> slices;
        for (const TPieSlice &s : data.adv.slices)
            slices.emplace_back(s.label, s.value);
        EXPECT_EQ(slices, c.slices);
        EXPECT_EQ(data.adv.footer, QStringLiteral("Total capacity: ") + FormatSize(float(c.total) * 1024));
    }
}

TEST_F(PropertiesTest, CategoriesAndFlags)
{
    TTreeNode *root = disk();
    TFileRec *file = FindFile(root, "setup.exe");   // category byte 0x23: code 3 (none such), flag 1
    ASSERT_NE(file, nullptr);
    TPropertiesData data = FillProperties(root, file);
    EXPECT_EQ(data.categoryNames, (QStringList{"(none)", "Games", "Work"}));
    EXPECT_TRUE(data.categoriesEnabled);
    EXPECT_EQ(data.flagNumbers, (std::vector<int>{1, 3}));
    EXPECT_EQ(data.flagNames, (QStringList{"Keep", "Burn"}));
    EXPECT_EQ(data.pages.front().categoryIndex, 0);
    EXPECT_TRUE(data.pages.front().flagChecked[0]);
    file->CatFlags = 7 | 0x80;
    data = FillProperties(root, file);
    EXPECT_EQ(data.pages.front().categoryIndex, 2);
    EXPECT_TRUE(data.pages.front().flagChecked[2]);

    HandCatalog bare = SampleCatalog();
    bare.categories.clear();
    bare.flagNames[0] = bare.flagNames[2] = {};
    TForest forest;
    TTreeNode *catalog = BuildForest(forest, bare);
    TTreeNode *d = FindDisk(catalog, "Disk One");
    data = FillProperties(d, FindFile(d, "setup.exe"));
    EXPECT_FALSE(data.categoriesEnabled);
    EXPECT_EQ(data.categoryNames, (QStringList{"(none)", "(no categories defined)"}));
    EXPECT_EQ(data.pages.front().categoryIndex, 1);
    EXPECT_TRUE(data.flagNumbers.empty());
    DeleteCatalog(forest, catalog);
}

TEST_F(PropertiesTest, WorkRecordOfTheAddDiskDialog)
{
    TDiskRec work;
    work.Serial = 0x12345678;
    work.VolumeLabel = "NEWDISK";
    work.TotalFiles = 9;
    TPropertiesContext context;
    context.driveLetter = u'E';
    TPropertiesData data = FillProperties(nullptr, nullptr, context, &work);
    ASSERT_EQ(kindsOf(data), std::vector<TPropPage>{P::Disk});
    const TPropPageData &page = data.pages.front();
    EXPECT_EQ(page.name, QStringLiteral("Drive E:"));
    EXPECT_FALSE(page.descEnabled);
    EXPECT_EQ(page.row(QStringLiteral("Catalog Name:")), QStringLiteral("(not in catalog yet)"));
    EXPECT_EQ(page.row(QStringLiteral("Updated in Catalog:")), QStringLiteral("(not in catalog yet)"));
    EXPECT_EQ(data.adv.rows[2].value, QStringLiteral("?"));
    EXPECT_EQ(data.adv.rows[3].value, QStringLiteral("?"));
    EXPECT_EQ(data.adv.rows.back().value, QStringLiteral("(unknown)"));
    context.updateCatalog = m_catalog;
    data = FillProperties(nullptr, nullptr, context, &work);
    EXPECT_EQ(data.pages.front().row(QStringLiteral("Catalog Name:")), QStringLiteral("Sample"));
    // Nothing is applied to a work record.
    TPropertiesEdits edits;
    edits.pages.push_back({P::Disk, {"typed", 0, {}}});
    ApplyProperties(data, edits);
    EXPECT_EQ(work.Desc, nullptr);
}

TEST_F(PropertiesTest, LostSpaceAndCatalogGroups)
{
    HandCatalog c;
    c.name = "Groups";
    HandDisk d;
    d.name = "HD";
    d.totalClusters = 100;   // 512 x 8 = 4 kB clusters: 400 kB, half used
    d.freeClusters = 50;
    d.rootFiles = {SampleFile("a", 1000)};
    d.folders = {SampleFolder(1, "F", {SampleFile("b", 3000)})};
    c.disks.push_back(d);
    for (uint8_t media : {uint8_t(10), uint8_t(0), uint8_t(9), uint8_t(13), uint8_t(77)}) {
        HandDisk more;
        more.name = "M" + QByteArray::number(media);
        more.mediaType = media;
        more.totalClusters = 25;
        more.freeClusters = 0;
        more.totalFiles = 1;
        c.disks.push_back(more);
    }
    HandDisk v;
    v.name = "V";
    v.kind = rkDisk | rfInSearch | rfVirtualRoot;
    v.mediaType = 10;
    v.rootPath = "\\x\\";
    v.totalClusters = 25;
    v.freeClusters = 0;
    c.disks.push_back(v);
    TForest forest;
    TTreeNode *catalog = BuildForest(forest, c);
    const TPropertiesData data = FillProperties(FindDisk(catalog, "HD"), nullptr);
    // 204800 used bytes less the 4000 bytes of content.
    EXPECT_EQ(data.adv.rows.back().value, FormatSize(200800));
    EXPECT_EQ(data.adv.rows[6].value, QStringLiteral("4096 B"));
    const TPropertiesData cat = FillProperties(catalog, nullptr);
    const TPropPageData &page = cat.pages.front();
    EXPECT_EQ(page.row(QStringLiteral("Disks in Catalog:")), QStringLiteral("7"));
    EXPECT_EQ(page.row(QStringLiteral("CD-ROMs:")), QStringLiteral("1 (total 100 kB)"));
    EXPECT_EQ(page.row(QStringLiteral("Hard disks :")), QStringLiteral("1 (total 400 kB)"));
    EXPECT_EQ(page.row(QStringLiteral("Floppy disks:")), QStringLiteral("2 (total 200 kB)"));
    EXPECT_EQ(page.row(QStringLiteral("Removable:")), QStringLiteral("1 (total 100 kB)"));
    EXPECT_EQ(page.row(QStringLiteral("Virtual disks:")), QStringLiteral("1 (total 100 kB)"));
    EXPECT_EQ(page.row(QStringLiteral("Other:")), QStringLiteral("1 (total 100 kB)"));
    EXPECT_EQ(page.row(QStringLiteral("Total Files:")), QStringLiteral("5"));
    EXPECT_EQ(page.row(QStringLiteral("Total Storage Space:")), QStringLiteral("1000 kB"));
    EXPECT_EQ(page.row(QStringLiteral("Total Used Space:")), QStringLiteral("800 kB"));
    DeleteCatalog(forest, catalog);
}

// ---------------------------------------------------------------- applying

class PropertiesApplyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("s.ctf"));
        ASSERT_TRUE(WriteFileBytes(m_file, BuildCatalogBytes(SampleCatalog())));
        open();
    }
    void TearDown() override { DeleteCatalog(m_forest, m_catalog); }

    void open()
    {
        if (m_catalog)
            DeleteCatalog(m_forest, m_catalog);
        m_catalog = ReadCatalog(m_forest, m_file);
    }
    void saveAndReopen()
    {
        SaveCatalogTo(m_catalog, m_file);
        open();
    }
    TTreeNode *disk() { return FindDisk(m_catalog, "Disk One"); }
    bool diskDirty() { return AsDisk(NodeRec(disk()))->Dirty != 0; }

    // Applies edits made on the pages of (node, file), starting from what they show.
    TPropertiesApplied edit(TTreeNode *node, TFileRec *file,
                            const std::function<void(TPropPage, TPropPageEdits &)> &change)
    {
        const TPropertiesData shown = FillProperties(node, file);
        TPropertiesEdits edits;
        for (const TPropPageData &page : shown.pages) {
            TPropPageEdits e = UneditedPage(page);
            change(page.kind, e);
            edits.pages.push_back({page.kind, e});
        }
        return ApplyProperties(shown, edits);
    }

    QTemporaryDir m_dir;
    QString m_file;
    TForest m_forest;
    TTreeNode *m_catalog = nullptr;
};

TEST_F(PropertiesApplyTest, UneditedDialogChangesNothing)
{
    // The box hands the stored CR LF text back with LF line breaks.
    const TPropertiesApplied applied = edit(disk(), nullptr, [](TPropPage, TPropPageEdits &e) {
        e.desc.replace("\r\n", "\n");
    });
    EXPECT_FALSE(applied.diskChanged);
    EXPECT_FALSE(diskDirty());
    EXPECT_EQ(AsCatalog(NodeRec(m_catalog))->Dirty, 0);
}

TEST_F(PropertiesApplyTest, DescriptionsSurviveSaveAndReopen)
{
    struct Case {
        const char *what;
        QByteArray typed;
        QByteArray stored;   // null: no description
    } const cases[] = {
        {"new text, normalized", "  first  \n second\t\n\n", "first\r\nsecond"},
        {"cleared", "", QByteArray()},
        {"too long", QByteArray(5000, 'x'), QByteArray(kMaxCountedText, 'x')},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TTreeNode *alpha = FindFolder(disk(), "Alpha");
        TFileRec *file = FindFile(alpha, "a1.txt");
        const TPropertiesApplied applied = edit(alpha, file, [&](TPropPage kind, TPropPageEdits &e) {
            if (kind != P::Disk)
                e.desc = c.typed;
        });
        EXPECT_TRUE(applied.fileChanged);
        EXPECT_TRUE(diskDirty());
        saveAndReopen();
        alpha = FindFolder(disk(), "Alpha");
        file = FindFile(alpha, "a1.txt");
        EXPECT_EQ(TextView(file->Desc).toByteArray(), c.stored);
        EXPECT_EQ(TextView(AsFolder(NodeRec(alpha))->Desc).toByteArray(), c.stored);
        EXPECT_EQ(file->Desc == nullptr, c.stored.isNull());
        EXPECT_EQ(TextView(AsDisk(NodeRec(disk()))->Desc).toByteArray(), QByteArray("Disk\r\nnotes"));
    }
}

TEST_F(PropertiesApplyTest, CategoryFlagsAndCatalogDescription)
{
    TFileRec *file = FindFile(disk(), "readme.txt");
    edit(disk(), file, [](TPropPage kind, TPropPageEdits &e) {
        if (kind == P::File) {
            e.categoryIndex = 2;   // "Work", code 7
            e.flagChecked[2] = true;
        }
    });
    EXPECT_TRUE(diskDirty());
    edit(m_catalog, nullptr, [](TPropPage, TPropPageEdits &e) { e.desc = "About these disks"; });
    EXPECT_NE(AsCatalog(NodeRec(m_catalog))->Dirty, 0);
    saveAndReopen();
    file = FindFile(disk(), "readme.txt");
    EXPECT_EQ(file->CatFlags, 7 | 0x80);
    EXPECT_EQ(TextView(AsCatalog(NodeRec(m_catalog))->Desc).toByteArray(), QByteArray("About these disks"));
}

TEST_F(PropertiesApplyTest, UnnamedFlagKeepsItsBit)
{
    // Flag 2 has no name, so the dialog never offers it; its bit must survive.
    TFileRec *file = FindFile(disk(), "readme.txt");
    file->CatFlags = 0x40 | 1;
    edit(disk(), file, [](TPropPage kind, TPropPageEdits &e) {
        if (kind == P::File)
            e.flagChecked[0] = true;
    });
    EXPECT_EQ(file->CatFlags, 0x40 | 0x20 | 1);
}

} // namespace

TEST(DescMenu, EnablingTable)
{
    struct Case {
        bool selection, readOnly, clipboard;
        TDescMenuStates states;   // cut, copy, paste, delete, select all
    };
    const Case cases[] = {
        {false, false, false, {false, false, false, false, true}},
        {true, false, false, {true, true, false, true, true}},
        {false, false, true, {false, false, true, false, true}},
        {true, false, true, {true, true, true, true, true}},
        // A read-only box (the viewer, a disk not catalogued yet): copying only.
        {true, true, true, {false, true, false, false, true}},
        {false, true, true, {false, false, false, false, true}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.selection << c.readOnly << c.clipboard);
        EXPECT_EQ(DescMenuStates(c.selection, c.readOnly, c.clipboard), c.states);
    }
}
