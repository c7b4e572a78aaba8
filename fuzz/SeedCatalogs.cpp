// The seed catalogs of the catalog reader's fuzz target; see SeedCatalogs.h.
#include "SeedCatalogs.h"

#include "GenCatalog.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include <QBuffer>

namespace {

QByteArray written(TForest &forest, TTreeNode *catalogNode)
{
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    WriteCatalog(catalogNode, out);
    forest.deleteNode(catalogNode, [](TTreeNode *n) { FreeItemData(n, true, true); });
    return out.data();
}

GenOptions tiny(uint64_t seed)
{
    GenOptions o;
    o.seed = seed;
    o.disks = 2;
    o.depth = 2;
    o.fanOut = 2;
    o.filesPerFolder = 2;
    o.maxNameLen = 10;
    o.descPercent = 25;
    o.longDescs = false;
    o.categories = 2;
    o.flagNames = 1;
    o.virtualRoots = true;
    o.archivesPerDisk = 1;
    o.membersPerArchive = 2;
    return o;
}

// A disk holding a chain of folders depth levels deep, a file in each.
void addDeepDisk(TTreeNode *catalogNode, int depth)
{
    TTreeNode *disk = AddDiskNode(catalogNode, "Deep");
    AsDisk(NodeRec(disk))->TotalFolders = depth;
    TTreeNode *parent = disk;
    for (int i = 1; i <= depth; ++i) {
        parent = AddFolderNode(parent, "L" + QByteArray::number(i));
        TFileRec *f = AppendFile(parent, "f" + QByteArray::number(i));
        f->Size = i;
        if (i % 3 == 0)
            f->Desc = NewText("level " + QByteArray::number(i));
    }
}

} // namespace

std::vector<std::pair<QString, QByteArray>> BuildSeedCatalogs()
{
    std::vector<std::pair<QString, QByteArray>> seeds;
    TForest forest;

    seeds.emplace_back(QStringLiteral("empty.ctf"), written(forest, NewCatalogNode(forest, "Empty")));

    {
        TTreeNode *c = NewCatalogNode(forest, "Flags only");
        AsCatalog(NodeRec(c))->FlagNames[1] = NewText("Second");
        AsCatalog(NodeRec(c))->Desc = NewText("Line one\r\nLine two");
        seeds.emplace_back(QStringLiteral("flag-names.ctf"), written(forest, c));
    }
    {
        TTreeNode *c = NewCatalogNode(forest, "Bare disk");
        TTreeNode *d = AddDiskNode(c, "Nothing on it");
        AsDisk(NodeRec(d))->VolumeLabel = "LABEL";
        AsDisk(NodeRec(d))->FileSystem = "FAT";
        seeds.emplace_back(QStringLiteral("bare-disk.ctf"), written(forest, c));
    }
    seeds.emplace_back(QStringLiteral("tiny-narrow.ctf"), written(forest, GenerateCatalog(forest, "Tiny", tiny(1))));
    {
        GenOptions o = tiny(2);
        o.disks = 1;
        o.hugeFileEvery = 3;
        seeds.emplace_back(QStringLiteral("tiny-wide.ctf"), written(forest, GenerateCatalog(forest, "Wide", o)));
    }
    {
        TTreeNode *c = NewCatalogNode(forest, "Deep and virtual");
        AsCatalog(NodeRec(c))->Categories = {{"Music", 1}, {"Backup", 31}};
        addDeepDisk(c, 12);
        TTreeNode *v = AddDiskNode(c, "Virtual");
        TDiskRec *vr = AsDisk(NodeRec(v));
        SetItemFlag(vr, rfVirtualRoot, true);
        vr->RootPath = NewText("\\home\\user\\");
        vr->OutsideClusters = 1234;
        vr->TotalClusters = 5000;
        vr->FreeClusters = 100;
        TTreeNode *zip = AddFolderNode(v, "pack.zip");
        SetItemFlag(NodeRec(zip), rfCompressed, true);
        for (const char *m : {"a/one.txt", "b/two.txt"}) {
            TFileRec *f = AppendFile(zip, m);
            f->KindFlags |= rfCompressed;
            f->Size = 77;
        }
        seeds.emplace_back(QStringLiteral("deep-virtual.ctf"), written(forest, c));
    }
    return seeds;
}
