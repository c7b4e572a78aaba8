// The synthetic catalog generator: the same options and seed give the same
// file, and what it builds is a consistent catalog (counts, totals, names).
#include "GenCatalog.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "platform/Texts.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QSet>

namespace {

QByteArray generatedBytes(const GenOptions &o)
{
    TForest forest;
    TTreeNode *c = GenerateCatalog(forest, "Gen", o);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    WriteCatalog(c, buffer);
    return buffer.data();
}

struct Counts {
    int64_t files = 0, members = 0, folders = 0, archives = 0;
};

// Checks one folder or disk and its subtree; returns its total in bytes x 10000.
int64_t checkSubtree(TTreeNode *node, const GenOptions &o, Counts &counts)
{
    TItemRec *rec = node->data();
    const bool archive = AsFolder(rec) && ItemIs(rec->KindFlags, rfCompressed);
    int64_t total = 0;
    QSet<QByteArray> names;
    for (TFileRec *f = rec->Next; f; f = f->Next) {
        EXPECT_EQ(f->Node, node);
        EXPECT_LE(int(f->NameLen), o.maxNameLen);
        EXPECT_TRUE(QByteArrayView(f->name()).isValidUtf8());
        EXPECT_EQ(ItemIs(f->KindFlags, rfCompressed), archive);
        EXPECT_FALSE(names.contains(f->name().toByteArray())) << "duplicate file name";
        names.insert(f->name().toByteArray());
        ++(archive ? counts.members : counts.files);
        total += f->Size * 10000;
    }
    int chain = 0;
    for (TFileRec *f = rec->Next; f; f = f->Next)
        ++chain;
    if (TFolderRec *folder = AsFolder(rec)) {
        EXPECT_EQ(folder->FileCount, chain);
    } else if (TDiskRec *disk = AsDisk(rec)) {
        EXPECT_EQ(disk->FileCount, chain);
    }

    QSet<QByteArray> folderNames;
    for (TTreeNode *child : node->children()) {
        EXPECT_FALSE(folderNames.contains(child->text())) << "duplicate folder name";
        folderNames.insert(child->text());
        ++(ItemIs(child->data()->KindFlags, rfCompressed) ? counts.archives : counts.folders);
        total += checkSubtree(child, o, counts);
    }
    if (TFolderRec *folder = AsFolder(rec)) {
        // An archive's total is its own size; anything else adds up its content.
        if (!archive) {
            EXPECT_EQ(folder->TotalSize, total) << node->text().constData();
        }
        return folder->TotalSize;
    }
    return total;
}

} // namespace

TEST(GenCatalogTest, SameSeedSameFileOtherSeedOtherFile)
{
    GenOptions o;
    o.seed = 11;
    const QByteArray a = generatedBytes(o);
    EXPECT_EQ(generatedBytes(o), a);
    o.seed = 12;
    EXPECT_NE(generatedBytes(o), a);
}

TEST(GenCatalogTest, GeneratedCatalogsAreConsistent)
{
    GenOptions deep;
    deep.depth = 6;
    deep.fanOut = 2;
    deep.maxNameLen = 255;
    GenOptions ascii;
    ascii.utf8Names = false;
    ascii.virtualRoots = false;
    ascii.archivesPerDisk = 0;
    GenOptions huge;
    huge.hugeFileEvery = 7;
    GenOptions none;
    none.disks = 0;
    for (const GenOptions &o : {GenOptions(), deep, ascii, huge, none}) {
        SCOPED_TRACE(o.depth * 1000 + o.disks);
        TForest forest;
        TTreeNode *c = GenerateCatalog(forest, "Gen", o);
        ASSERT_EQ(c->childCount(), o.disks);
        Counts all;
        QSet<QByteArray> diskNames;
        for (TTreeNode *diskNode : c->children()) {
            const TDiskRec *disk = AsDisk(diskNode->data());
            ASSERT_NE(disk, nullptr);
            EXPECT_FALSE(diskNames.contains(diskNode->text()));
            diskNames.insert(diskNode->text());
            EXPECT_TRUE(disk->Dirty);
            EXPECT_LE(disk->VolumeLabel.size(), kMaxVolumeLabel);
            EXPECT_LE(disk->FileSystem.size(), kMaxFileSystem);
            if (ItemIs(disk->KindFlags, rfVirtualRoot)) {
                EXPECT_TRUE(TextView(disk->RootPath).endsWith('\\')) << "a root path keeps its backslash";
            } else {
                EXPECT_EQ(disk->RootPath, nullptr);
            }
            Counts counts;
            checkSubtree(diskNode, o, counts);
            // A compressed file is a file of the disk; its members are counted apart.
            EXPECT_EQ(disk->TotalFiles, counts.files + counts.archives);
            EXPECT_EQ(disk->TotalFolders, counts.folders);
            EXPECT_EQ(disk->ArchiveFiles, counts.members);
            all.files += counts.files;
            all.members += counts.members;
        }
        EXPECT_EQ(GeneratedFileCount(o), all.files + all.members);
        EXPECT_EQ(RequiredVariant(c), o.hugeFileEvery > 0 ? CatalogVariant::Wide : CatalogVariant::Narrow);
    }
}
