// Property test of the catalog store: any sequence of disk renames and
// description edits (longer, shorter, empty), with folder levels read or not,
// saves and reopens with every item intact. The catalogs come in every shape
// the file knows: narrow and wide layout, several disks, virtual roots,
// compressed-volume roots, compressed-file folders, lists read and unread.
// The oracle is a second copy of the catalog built wholly in memory, given
// the same edits, which never goes through a file.
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <random>

using namespace testcat;

namespace {

constexpr int64_t kFiveGiB = int64_t(5) << 30;

struct Shape {
    const char *name;
    CatalogVariant variant;
    int disks;
    bool virtualRoot;      // the second disk is a virtual root
    bool compressedRoot;   // the last disk is a compressed volume
    int readLevels;        // folder levels read before the first edit: 0, 1 or all (9)
};

const Shape kShapes[] = {
    {"narrow, one disk, nothing read", CatalogVariant::Narrow, 1, false, false, 0},
    {"narrow, several disks, one level read", CatalogVariant::Narrow, 3, true, true, 1},
    {"narrow, several disks, all read", CatalogVariant::Narrow, 3, true, false, 9},
    {"wide, one disk, nothing read", CatalogVariant::Wide, 1, false, false, 0},
    {"wide, several disks, one level read", CatalogVariant::Wide, 3, true, true, 1},
    {"wide, compressed root, all read", CatalogVariant::Wide, 2, false, true, 9},
};

void PrintTo(const Shape &shape, std::ostream *os)
{
    *os << shape.name;
}

// Texts of a chosen length that description normalisation leaves as they are.
QByteArray textOf(std::mt19937 &rng, int length)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray t;
    for (int i = 0; i < length; ++i)
        t += (i > 0 && i + 1 < length && rng() % 7 == 0) ? ' ' : letters[rng() % (sizeof letters - 1)];
    return t;
}

HandFile handFile(std::mt19937 &rng, int n, int64_t size)
{
    HandFile f;
    f.name = "file" + QByteArray::number(n) + ".dat";
    f.size = size;
    f.created = 0x2E000000u + uint32_t(n);
    f.modified = 0x2F000000u + uint32_t(n);
    f.accessed = 0x30000000u;
    f.catFlags = uint8_t(n % 3);
    if (rng() % 4 == 0)
        f.desc = textOf(rng, 1 + int(rng() % 40));
    return f;
}

// A disk with root files and a folder tree three levels deep; every folder
// has children below it so that each level holds unread parts.
HandDisk handDisk(std::mt19937 &rng, const Shape &shape, int index)
{
    HandDisk d;
    d.name = "Disk " + QByteArray::number(index);
    d.volumeLabel = "VOL" + QByteArray::number(index);
    d.fileSystem = "EXT4";
    if (index % 2 == 1)
        d.desc = textOf(rng, 10);
    if (shape.virtualRoot && index == 1) {
        d.kind |= rfVirtualRoot;
        d.rootPath = "\\Data\\Photos\\";
        d.outsideClusters = 777;
    }
    const bool compressedRoot = shape.compressedRoot && index == shape.disks - 1;
    if (compressedRoot)
        d.kind |= rfCompressed;
    int n = 0;
    for (int i = 0; i < 3; ++i) {
        d.rootFiles.push_back(handFile(rng, n++, 1000 + i));
        if (!d.rootFiles.back().desc.isEmpty())
            d.kind |= rfHasDesc;
    }
    const auto addFolder = [&](int depth, const QByteArray &name, uint8_t flags, int files) {
        HandFolder f;
        f.kind = uint8_t(rkFolder | flags);
        f.depth = depth;
        f.name = name;
        for (int i = 0; i < files; ++i, ++n)
            f.files.push_back(handFile(rng, n, 100 * (n + 1)));
        for (const HandFile &x : f.files) {
            f.totalSize += x.size * 10000;
            if (!x.desc.isEmpty())
                f.kind |= rfHasDesc;   // as reading the list marks it
        }
        if (rng() % 3 == 0)
            f.desc = textOf(rng, 1 + int(rng() % 30));
        d.folders.push_back(f);
    };
    for (int a = 0; a < 2; ++a) {
        addFolder(1, "Top" + QByteArray::number(a), 0, 2);
        for (int b = 0; b < 2; ++b) {
            addFolder(2, "Mid" + QByteArray::number(b), 0, int(rng() % 3));
            addFolder(3, "Leaf", 0, 2);
        }
    }
    addFolder(1, "pack.zip", rfCompressed, 2);
    addFolder(2, "inner", rfCompressed, 1);
    if (shape.variant == CatalogVariant::Wide && index == 0) {
        // The only value that needs the wide layout lies in the deepest, unread list.
        d.folders[2].files.push_back(handFile(rng, n++, kFiveGiB));
        d.totalFolders = 70000;
    } else {
        d.totalFolders = int32_t(d.folders.size());
    }
    return d;
}

HandCatalog handCatalog(const Shape &shape, uint32_t seed)
{
    std::mt19937 rng(seed);
    HandCatalog c;
    c.name = "Edits";
    c.variant = shape.variant;
    for (int i = 0; i < shape.disks; ++i)
        c.disks.push_back(handDisk(rng, shape, i));
    return c;
}

// Reads folder levels below node down to levels deep (one level at a time).
void readLevels(TTreeNode *node, int levels)
{
    if (levels <= 0)
        return;
    for (TTreeNode *child : node->children()) {
        LoadSubfolders(child, false, false);
        readLevels(child, levels - 1);
    }
}

// The path of child indexes from the catalog node to node.
std::vector<int> indexPath(TTreeNode *node)
{
    std::vector<int> path;
    for (; node->parent(); node = node->parent()) {
        const auto &siblings = node->parent()->children();
        path.insert(path.begin(), int(std::find(siblings.begin(), siblings.end(), node) - siblings.begin()));
    }
    return path;
}

TTreeNode *nodeAtPath(TTreeNode *catalogNode, const std::vector<int> &path)
{
    TTreeNode *n = catalogNode;
    for (int i : path)
        n = n->child(i);
    return n;
}

// The folders and disks in memory right now (unread levels have no nodes).
std::vector<TTreeNode *> nodesInMemory(TTreeNode *catalogNode)
{
    std::vector<TTreeNode *> out;
    ForEachNode(catalogNode, [&](TTreeNode *n) {
        if (n != catalogNode)
            out.push_back(n);
    });
    return out;
}

void describe(TTreeNode *node, const QByteArray &text)
{
    TItemRec *rec = NodeRec(node);
    if (TDiskRec *d = AsDisk(rec))
        StoreDescription(d->Desc, text);
    else if (TFolderRec *f = AsFolder(rec))
        StoreDescription(f->Desc, text);
    SetDiskDirty(node, true);
}

// Compares two dumps line by line, naming the first line that differs.
::testing::AssertionResult sameDump(const QString &actual, const QString &expected)
{
    const QStringList a = actual.split(QLatin1Char('\n')), e = expected.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < std::max(a.size(), e.size()); ++i) {
        const QString la = i < a.size() ? a[i] : QStringLiteral("<end>");
        const QString le = i < e.size() ? e[i] : QStringLiteral("<end>");
        if (la != le)
            return ::testing::AssertionFailure() << "line " << i << "\n  got:      " << la.toStdString()
                                                 << "\n  expected: " << le.toStdString();
    }
    return ::testing::AssertionSuccess();
}

class EditSaveTest : public CatalogFixture, public ::testing::WithParamInterface<Shape>
{
protected:
    // The saved file, opened on its own and read completely.
    QString reopenedDump(const QString &file)
    {
        TForest forest;
        TTreeNode *c = ReadCatalog(forest, file);
        const QString d = DumpCatalog(c, DumpLoad);
        DeleteCatalog(forest, c);
        return d;
    }
};

TEST_P(EditSaveTest, AnySequenceOfRenamesAndDescriptionsSavesAndReopensIntact)
{
    const Shape shape = GetParam();
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(testing::Message() << shape.name << ", seed " << seed);
        std::mt19937 rng(seed * 7919u);
        const HandCatalog hand = handCatalog(shape, seed);
        const QString file = path(QStringLiteral("edits%1.ctf").arg(seed));
        ASSERT_TRUE(WriteFileBytes(file, BuildCatalogBytes(hand)));

        TForest shadowForest;
        TTreeNode *shadow = BuildForest(shadowForest, hand);
        TTreeNode *real = open(file);
        readLevels(real, shape.readLevels);

        for (int step = 0; step < 14; ++step) {
            SCOPED_TRACE(testing::Message() << "step " << step);
            const std::vector<TTreeNode *> nodes = nodesInMemory(real);
            TTreeNode *target = nodes[rng() % nodes.size()];
            const int op = int(rng() % 6);
            // Lengths that shrink, keep and grow headers, the empty text, and
            // one longer than a stored text may be.
            static const int kLengths[] = {0, 1, 7, 30, 120, 200, 255, 300, 5000};
            const int length = kLengths[rng() % std::size(kLengths)];
            if (op <= 1) {
                TTreeNode *disk = real->child(int(rng() % unsigned(real->childCount())));
                const QByteArray name = textOf(rng, std::min(length, 250));
                RenameDisk(disk, name);
                RenameDisk(nodeAtPath(shadow, indexPath(disk)), name);
            } else if (op <= 3) {
                TTreeNode *disk = real->child(int(rng() % unsigned(real->childCount())));
                const QByteArray text = textOf(rng, length);
                describe(disk, text);
                describe(nodeAtPath(shadow, indexPath(disk)), text);
            } else if (op == 4) {
                const QByteArray text = textOf(rng, length);
                describe(target, text);
                describe(nodeAtPath(shadow, indexPath(target)), text);
            } else {
                LoadSubfolders(target, false, rng() % 2 == 0);
            }
            if (rng() % 3 != 0)
                continue;
            ASSERT_NO_THROW(SaveCatalogTo(real, file));
            EXPECT_TRUE(sameDump(reopenedDump(file), DumpCatalog(shadow, DumpLoad)));
            if (rng() % 2 == 0) {
                // Start again from the saved file, with its levels unread.
                closeCatalog(real);
                real = open(file);
                readLevels(real, int(rng() % 2));
            }
        }
        ASSERT_NO_THROW(SaveCatalogTo(real, file));
        EXPECT_TRUE(sameDump(reopenedDump(file), DumpCatalog(shadow, DumpLoad)));
        EXPECT_TRUE(sameDump(DumpCatalog(real, DumpLoad), DumpCatalog(shadow, DumpLoad))) << "and in memory";
        closeCatalog(real);
        DeleteCatalog(shadowForest, shadow);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, EditSaveTest, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<Shape> &info) {
                             return "Shape" + std::to_string(info.index);
                         });

} // namespace
