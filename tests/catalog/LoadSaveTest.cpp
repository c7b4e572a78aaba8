// Tests of reading and writing catalog files: the layout checked byte by byte
// against files built field by field, lazy reading of folder levels and file
// lists, recovery from a damaged file list, saving changed and unchanged
// disks, both layouts and the switch between them, and what a failed or
// impossible save leaves behind.
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "catalog/ReadAhead.h"

#include "GenCatalog.h"
#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QFile>

#include <limits>
#include <map>

using namespace testcat;

namespace {

constexpr int64_t kFiveGiB = int64_t(5) << 30;

GenOptions smallGen(uint64_t seed = 7)
{
    GenOptions o;
    o.seed = seed;
    o.disks = 3;
    o.depth = 3;
    o.fanOut = 2;
    o.filesPerFolder = 3;
    o.maxNameLen = 30;
    o.descPercent = 30;
    o.categories = 3;
    o.flagNames = 2;
    o.archivesPerDisk = 1;
    o.membersPerArchive = 3;
    return o;
}

TTreeNode *nodeAt(TTreeNode *from, std::initializer_list<int> path)
{
    TTreeNode *n = from;
    for (int i : path) {
        if (!n || i >= n->childCount())
            return nullptr;
        n = n->child(i);
    }
    return n;
}

TDiskRec *diskOf(TTreeNode *n)
{
    return AsDisk(NodeRec(n));
}

TFolderRec *folderOf(TTreeNode *n)
{
    return AsFolder(NodeRec(n));
}

TCatalogRec *catalogOf(TTreeNode *n)
{
    return AsCatalog(NodeRec(n));
}

QByteArray signatureOf(const QByteArray &bytes)
{
    return bytes.left(kSignatureBytes);
}

const QByteArray kNarrowSig("Catalog 1.00\0", 13);
const QByteArray kWideSig("Catalog 2.00\0", 13);

// The bytes of a list or record at an absolute position of a file.
QByteArray slice(const QByteArray &bytes, int64_t at, int64_t len)
{
    return bytes.mid(qsizetype(at), qsizetype(len));
}

// The offsets, marks and stream of every node of a catalog.
std::map<TTreeNode *, QString> offsetSnapshot(TTreeNode *catalogNode)
{
    std::map<TTreeNode *, QString> out;
    ForEachNode(catalogNode, [&](TTreeNode *n) {
        TItemRec *rec = NodeRec(n);
        QString s = QString::fromUtf8(n->text()) + QStringLiteral(" kind=%1").arg(rec->KindFlags & ~rfListBlock);
        if (TCatalogRec *c = AsCatalog(rec))
            s += QStringLiteral(" dirty=%1 stream=%2 file=%3 variant=%4")
                     .arg(c->Dirty)
                     .arg(quintptr(c->Stream.get()))
                     .arg(c->FileName)
                     .arg(int(c->Variant));
        if (TDiskRec *d = AsDisk(rec))
            s += QStringLiteral(" dirty=%1 off=%2 rec=%3 tree=%4 list=%5/%6/%7 count=%8 writing=%9")
                     .arg(d->Dirty)
                     .arg(d->FileOffset)
                     .arg(d->RecLength)
                     .arg(d->TreeOffset)
                     .arg(d->ListOffset)
                     .arg(d->ListBytes)
                     .arg(d->ListDescBytes)
                     .arg(d->FileCount)
                     .arg(d->Writing);
        if (TFolderRec *f = AsFolder(rec))
            s += QStringLiteral(" sub=%1 list=%2/%3/%4 count=%5")
                     .arg(std::abs(f->SubOffset))
                     .arg(f->ListOffset)
                     .arg(f->ListBytes)
                     .arg(f->ListDescBytes)
                     .arg(f->FileCount);
        out[n] = s;
    });
    return out;
}

// Expects every node of before to be in the same state in after.
void expectSameSnapshot(const std::map<TTreeNode *, QString> &before, const std::map<TTreeNode *, QString> &after)
{
    for (const auto &[node, state] : before) {
        ASSERT_TRUE(after.count(node));
        EXPECT_EQ(after.at(node), state);
    }
}

// Drops every file list that lives in the file, so that it is read again.
void unloadAll(TTreeNode *catalogNode)
{
    ForEachNode(catalogNode, [](TTreeNode *n) {
        TItemRec *rec = NodeRec(n);
        if (TFolderRec *f = AsFolder(rec); f && f->ListOffset >= 0)
            UnloadFileList(n);
        if (TDiskRec *d = AsDisk(rec); d && d->ListOffset >= 0)
            UnloadFileList(n);
    });
}

class LoadSaveTest : public CatalogFixture
{
protected:
    // A generated catalog saved to a file; returns its path.
    QString savedGenerated(const QString &name, const GenOptions &o = smallGen())
    {
        TTreeNode *g = GenerateCatalog(m_forest, "Generated", o);
        const QString file = path(name);
        SaveCatalogTo(g, file);
        closeCatalog(g);
        return file;
    }
    // The dump of a fresh generation with the same options, changed by edit.
    QString expectedDump(const GenOptions &o, const std::function<void(TTreeNode *)> &edit = {})
    {
        TForest forest;
        TTreeNode *g = GenerateCatalog(forest, "Generated", o);
        if (edit)
            edit(g);
        const QString d = DumpCatalog(g, DumpLoad);
        DeleteCatalog(forest, g);
        return d;
    }
    QString reopenedDump(const QString &file)
    {
        TTreeNode *c = open(file);
        const QString d = DumpCatalog(c, DumpLoad);
        closeCatalog(c);
        return d;
    }
};

// ---------------------------------------------------------------- layout

TEST_F(LoadSaveTest, EmptyCatalogIsSignatureHeaderAndNothingElse)
{
    TTreeNode *c = NewCatalogNode(m_forest, "Empty");
    EXPECT_EQ(catalogOf(c)->Stream, nullptr) << "never saved";
    const QByteArray bytes = save(c, path("empty.ctf"));
    ByteWriter w;
    w.bytes(kNarrowSig).counted("Empty").counted("").u8(0);
    EXPECT_EQ(bytes, w.data());
    EXPECT_EQ(BuildCatalogBytes([] { HandCatalog h; h.name = "Empty"; return h; }()), w.data());

    TTreeNode *r = open(path("empty.ctf"));
    EXPECT_EQ(r->text(), QByteArray("Empty"));
    EXPECT_EQ(r->childCount(), 0);
    TCatalogRec *rec = catalogOf(r);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(int(rec->KindFlags), 0x24) << "a catalog read from a file";
    EXPECT_EQ(rec->Dirty, 0);
    EXPECT_NE(rec->Stream, nullptr);
    EXPECT_EQ(rec->FileName, path("empty.ctf"));
    EXPECT_EQ(rec->Desc, nullptr);
    EXPECT_TRUE(rec->Categories.empty());
    EXPECT_TRUE(r->bold());
    EXPECT_EQ(rec->Variant, CatalogVariant::Narrow);
}

TEST_F(LoadSaveTest, CategoryBlockForms)
{
    struct Case {
        const char *what;
        std::vector<TCategory> categories;
        QByteArray flags[3];
        QByteArray block;   // expected bytes after the description
    };
    ByteWriter oneFlag;
    oneFlag.u8(255).counted("").counted("Second").counted("");
    ByteWriter twoCats;
    twoCats.u8(2).counted("Games").u8(1).counted("Letters").u8(31).counted("").counted("").counted("");
    ByteWriter both;
    both.u8(1).counted("Only").u8(5).counted("A").counted("B").counted("C");
    const Case cases[] = {
        {"neither", {}, {}, QByteArray(1, '\0')},
        {"one flag name", {}, {"", "Second", ""}, oneFlag.data()},
        {"two categories", {{"Games", 1}, {"Letters", 31}}, {}, twoCats.data()},
        {"category and flags", {{"Only", 5}}, {"A", "B", "C"}, both.data()},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        TTreeNode *c = NewCatalogNode(m_forest, "K");
        catalogOf(c)->Categories = k.categories;
        for (int i = 0; i < 3; ++i)
            catalogOf(c)->FlagNames[i] = NewText(k.flags[i]);
        const QByteArray bytes = save(c, path("cats.ctf"));
        ByteWriter head;
        head.bytes(kNarrowSig).counted("K").counted("");
        EXPECT_EQ(bytes, head.data() + k.block);
        closeCatalog(c);

        TTreeNode *r = open(path("cats.ctf"));
        TCatalogRec *rec = catalogOf(r);
        ASSERT_EQ(rec->Categories.size(), k.categories.size());
        for (size_t i = 0; i < k.categories.size(); ++i) {
            EXPECT_EQ(rec->Categories[i].Name, k.categories[i].Name);
            EXPECT_EQ(rec->Categories[i].Code, k.categories[i].Code);
        }
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(TextView(rec->FlagNames[i]), QByteArrayView(k.flags[i])) << i;
            EXPECT_EQ(rec->FlagNames[i] == nullptr, k.flags[i].isEmpty()) << "empty means unnamed";
        }
        closeCatalog(r);
    }
}

TEST_F(LoadSaveTest, DisksAfterEveryCategoryBlockFormAreRead)
{
    for (int form = 0; form < 3; ++form) {
        SCOPED_TRACE(form);
        HandCatalog h = SampleCatalog();
        h.categories.clear();
        h.flagNames[0] = h.flagNames[1] = h.flagNames[2] = {};
        if (form == 1)
            h.flagNames[1] = "Only flag";   // 255
        if (form == 2)
            h.categories = {{"A", 3}};
        TTreeNode *r = openBytes(BuildCatalogBytes(h));
        ASSERT_EQ(r->childCount(), 2);
        EXPECT_EQ(r->child(0)->text(), QByteArray("Disk One"));
        EXPECT_EQ(r->child(1)->text(), QByteArray("Photos"));
        closeCatalog(r);
    }
}

TEST_F(LoadSaveTest, ReaderTakesEveryFieldFromAHandBuiltFile)
{
    const HandCatalog h = SampleCatalog();
    HandLayout L;
    const QByteArray bytes = BuildCatalogBytes(h, &L);
    TTreeNode *c = openBytes(bytes);
    TCatalogRec *cat = catalogOf(c);
    EXPECT_EQ(c->text(), h.name);
    EXPECT_EQ(TextView(cat->Desc), QByteArrayView(h.desc));
    ASSERT_EQ(cat->Categories.size(), 2u);
    EXPECT_EQ(cat->Categories[1].Name, QByteArray("Work"));
    EXPECT_EQ(cat->Categories[1].Code, 7);
    EXPECT_EQ(TextView(cat->FlagNames[0]), QByteArrayView("Keep"));
    EXPECT_EQ(cat->FlagNames[1], nullptr);
    EXPECT_EQ(TextView(cat->FlagNames[2]), QByteArrayView("Burn"));
    ASSERT_EQ(c->childCount(), 2);

    // The CD.
    const HandDisk &hd = h.disks[0];
    const HandDiskLayout &dl = L.disks[0];
    TTreeNode *dn = c->child(0);
    TDiskRec *d = diskOf(dn);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(dn->text(), hd.name);
    EXPECT_EQ(int(d->KindFlags), int(hd.kind | rfInSearch));
    EXPECT_EQ(d->FileOffset, dl.start);
    EXPECT_EQ(d->RecLength, dl.recLength);
    EXPECT_EQ(d->TreeOffset, dl.treeOffset);
    EXPECT_EQ(d->ListOffset, dl.rootList.start - dl.start);
    EXPECT_EQ(d->ListBytes, dl.rootList.bytes);
    EXPECT_EQ(d->FileCount, 2);
    EXPECT_EQ(d->ListDescBytes, 2 + 7 + 2);
    EXPECT_EQ(d->FilesLoaded, 0) << "root files stay in the file until needed";
    EXPECT_EQ(d->Next, nullptr);
    EXPECT_EQ(d->Dirty, 0);
    EXPECT_EQ(d->MediaType, hd.mediaType);
    EXPECT_EQ(d->ScanFlags, hd.scanFlags);
    EXPECT_EQ(d->BytesPerSector, hd.bytesPerSector);
    EXPECT_EQ(d->SectorsPerCluster, hd.sectorsPerCluster);
    EXPECT_EQ(d->MaxNameLen, hd.maxNameLen);
    EXPECT_EQ(d->TotalFiles, hd.totalFiles);
    EXPECT_EQ(d->ArchiveFiles, hd.archiveFiles);
    EXPECT_EQ(d->TotalFolders, hd.totalFolders);
    EXPECT_EQ(d->TotalClusters, hd.totalClusters);
    EXPECT_EQ(d->FreeClusters, hd.freeClusters);
    EXPECT_EQ(d->Updated, hd.updated);
    EXPECT_EQ(d->Serial, hd.serial);
    EXPECT_EQ(d->Reserved, hd.reserved);
    EXPECT_EQ(d->VolumeLabel, hd.volumeLabel);
    EXPECT_EQ(d->FileSystem, hd.fileSystem);
    EXPECT_EQ(d->RootPath, nullptr);
    EXPECT_EQ(d->OutsideClusters, 0) << "absent for a normal disk";
    EXPECT_EQ(TextView(d->Desc), QByteArrayView(hd.desc));
    EXPECT_EQ(d->SearchListPos, -1);

    // Its first folder level only, with the marks of unread children.
    ASSERT_EQ(dn->childCount(), 4);
    const char *firstLevel[] = {"Alpha", "Beta", "pack.zip", "Gamma"};
    const int handIndex[] = {0, 4, 6, 7};
    const int firstChild[] = {1, 5, -1, -1};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(firstLevel[i]);
        TTreeNode *fn = dn->child(i);
        TFolderRec *f = folderOf(fn);
        ASSERT_NE(f, nullptr);
        const HandFolder &hf = hd.folders[size_t(handIndex[i])];
        const HandFolderLayout &fl = dl.folders[size_t(handIndex[i])];
        EXPECT_EQ(fn->text(), QByteArray(firstLevel[i]));
        EXPECT_EQ(fn->childCount(), 0);
        EXPECT_EQ(int(f->KindFlags), int(hf.kind));
        EXPECT_EQ(f->DiskNode, dn);
        EXPECT_EQ(f->TotalSize, hf.totalSize);
        EXPECT_EQ(f->Attr, hf.attr);
        EXPECT_EQ(f->Created, hf.created);
        EXPECT_EQ(f->Modified, hf.modified);
        EXPECT_EQ(f->Accessed, hf.accessed);
        EXPECT_EQ(f->Reserved, hf.reserved);
        EXPECT_EQ(f->CatFlags, hf.catFlags);
        EXPECT_EQ(TextView(f->Desc), QByteArrayView(hf.desc));
        EXPECT_EQ(f->FileCount, int(hf.files.size()));
        EXPECT_EQ(f->PathCache, nullptr);
        if (hf.files.empty()) {
            EXPECT_EQ(f->ListOffset, -1);
            EXPECT_EQ(f->ListBytes, -1);
            EXPECT_EQ(f->FilesLoaded, 1) << "a folder without files is loaded from the start";
        } else {
            EXPECT_EQ(f->ListOffset, fl.list.start - dl.start);
            EXPECT_EQ(f->ListBytes, fl.list.bytes);
            EXPECT_EQ(f->ListDescBytes, fl.list.descBytes);
            EXPECT_EQ(f->FilesLoaded, 0);
        }
        if (firstChild[i] >= 0) {
            EXPECT_EQ(f->SubOffset, dl.folders[size_t(firstChild[i])].entry - dl.start);
            EXPECT_TRUE(fn->hasExpandMark());
        } else {
            EXPECT_EQ(f->SubOffset, 0);
            EXPECT_FALSE(fn->hasExpandMark());
        }
    }

    // The virtual root: no root files, root path and outside clusters.
    TTreeNode *vn = c->child(1);
    TDiskRec *v = diskOf(vn);
    EXPECT_EQ(v->FileOffset, L.disks[1].start);
    EXPECT_EQ(v->ListOffset, -1);
    EXPECT_EQ(v->ListBytes, -1);
    EXPECT_EQ(v->FilesLoaded, 1) << "a root without files is not loaded lazily";
    EXPECT_EQ(TextView(v->RootPath), QByteArrayView("\\Data\\Photos\\"));
    EXPECT_EQ(v->OutsideClusters, 4444);
    EXPECT_EQ(v->VolumeLabel, QByteArray("DATA"));
    EXPECT_EQ(v->FileSystem, QByteArray("EXT4"));
    EXPECT_TRUE(ItemIs(v->KindFlags, rfVirtualRoot));
    ASSERT_EQ(vn->childCount(), 1);
    EXPECT_EQ(vn->child(0)->text(), QByteArray("2003"));
}

TEST_F(LoadSaveTest, FileListsBecomeOneBlockOfRecords)
{
    const HandCatalog h = SampleCatalog();
    TTreeNode *c = openBytes(BuildCatalogBytes(h));
    TTreeNode *dn = c->child(0);
    TDiskRec *d = diskOf(dn);
    SetItemFlag(d, rfHasDesc, false);
    LoadFileList(dn);
    EXPECT_EQ(d->FilesLoaded, 1);
    EXPECT_TRUE(ItemIs(d->KindFlags, rfListBlock));
    EXPECT_TRUE(ItemIs(d->KindFlags, rfHasDesc)) << "a loaded description sets the mark";
    const std::vector<TFileRec *> files = Chain(dn);
    ASSERT_EQ(files.size(), 2u);
    for (size_t i = 0; i < files.size(); ++i) {
        const HandFile &hf = h.disks[0].rootFiles[i];
        const TFileRec *f = files[i];
        EXPECT_EQ(f->name(), hf.name);
        EXPECT_EQ(int(f->KindFlags), int(rkFile));
        EXPECT_EQ(f->Node, dn);
        EXPECT_EQ(f->Attr, hf.attr);
        EXPECT_EQ(f->Created, hf.created);
        EXPECT_EQ(f->Modified, hf.modified);
        EXPECT_EQ(f->Accessed, hf.accessed);
        EXPECT_EQ(f->Size, hf.size);
        EXPECT_EQ(f->CatFlags, hf.catFlags);
        EXPECT_EQ(TextView(f->Desc), QByteArrayView(hf.desc));
        EXPECT_EQ(f->Desc == nullptr, hf.desc.isEmpty());
        EXPECT_EQ(f->IconIndex, -1);
        EXPECT_EQ(f->SearchListPos, -1);
        EXPECT_EQ(f->UserListPos, -1);
        EXPECT_EQ(f->DupListPos, -1);
    }
    // Back to back: each record takes its fixed part and its name.
    EXPECT_EQ(reinterpret_cast<const char *>(files[1]) - reinterpret_cast<const char *>(files[0]),
              ptrdiff_t(FileRecStride(files[0]->NameLen)));

    // Members of a compressed file are flagged so.
    TTreeNode *pack = dn->child(2);
    LoadFileList(pack);
    const std::vector<TFileRec *> members = Chain(pack);
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[0]->name(), QByteArray("docs/m1.txt"));
    for (const TFileRec *m : members)
        EXPECT_EQ(int(m->KindFlags), int(rkFile | rfCompressed));

    // Loading again changes nothing; unloading and loading gives the same chain.
    LoadFileList(dn);
    EXPECT_EQ(Chain(dn), files);
    const QString before = DumpNode(dn, 0);
    UnloadFileList(dn);
    EXPECT_EQ(d->FilesLoaded, 0);
    EXPECT_EQ(d->Next, nullptr);
    LoadFileList(dn);
    EXPECT_EQ(DumpNode(dn, 0), before);
    EXPECT_TRUE(m_prompter.messages.empty());
}

TEST_F(LoadSaveTest, FreeingAListBlockNullsItsRecordsInTheResultLists)
{
    VectorResultList found(ResultListId::Found);
    VectorResultList user(ResultListId::User);
    ScopedResultList r1(found), r2(user);
    TTreeNode *c = openBytes(BuildCatalogBytes(SampleCatalog()));
    TTreeNode *alpha = c->child(0)->child(0);
    LoadSubfolders(alpha, false, true);
    TTreeNode *alpha1 = alpha->child(0);
    const std::vector<TFileRec *> files = Chain(alpha1);
    ASSERT_EQ(files.size(), 2u);
    TFolderRec keepFiller;
    found.addRaw(&keepFiller);
    const int i0 = found.add(files[0]);
    const int i1 = found.add(files[1]);
    const int iu = user.add(files[1]);
    TItemRec *alphaFile = Chain(alpha)[0];
    const int ia = found.add(alphaFile);

    // Unloading does not look at the lists (the entry is the owner's to drop).
    ClearResultListNotes();
    UnloadFileList(alpha);
    EXPECT_EQ(found.at(ia), alphaFile);
    EXPECT_EQ(found.setNullCalls, 0);
    EXPECT_FALSE(ResultListChanged(ResultListId::Found));
    found.setNull(ia);

    ClearResultListNotes();
    m_forest.deleteNode(alpha1, [](TTreeNode *n) { FreeItemData(n, true, false); });
    EXPECT_EQ(found.at(i0), nullptr);
    EXPECT_EQ(found.at(i1), nullptr);
    EXPECT_EQ(user.at(iu), nullptr);
    EXPECT_EQ(found.at(0), &keepFiller);
    EXPECT_TRUE(ResultListChanged(ResultListId::Found));
    EXPECT_TRUE(ResultListChanged(ResultListId::User));
    CompactChangedResultLists();
    EXPECT_EQ(found.count(), 1) << "only the filler is left";
    EXPECT_EQ(found.at(0), &keepFiller);
}

TEST_F(LoadSaveTest, RootFilesOfACompressedVolumeAreNotArchiveMembers)
{
    HandCatalog h = SampleCatalog();
    h.disks[0].kind |= rfCompressed;   // the volume is compressed, not an archive
    TTreeNode *c = openBytes(BuildCatalogBytes(h));
    TTreeNode *disk = c->child(0);
    LoadFileList(disk);
    ASSERT_EQ(Chain(disk).size(), 2u);
    for (const TFileRec *f : Chain(disk))
        EXPECT_EQ(int(f->KindFlags), int(rkFile));
    TTreeNode *pack = disk->child(2);
    LoadFileList(pack);
    for (const TFileRec *f : Chain(pack))
        EXPECT_EQ(int(f->KindFlags), int(rkFile | rfCompressed));
}

TEST_F(LoadSaveTest, LoadFileListWithoutAStreamDoesNothing)
{
    TTreeNode *c = BuildForest(m_forest, SampleCatalog());
    TTreeNode *f = c->child(0)->child(0);
    TFolderRec *rec = folderOf(f);
    const std::vector<TFileRec *> before = Chain(f);
    rec->FilesLoaded = 0;
    LoadFileList(f);
    EXPECT_EQ(rec->FilesLoaded, 0) << "no stream: the node stays not loaded";
    EXPECT_EQ(Chain(f), before);
    LoadFileList(c);   // other kinds: no effect
    EXPECT_TRUE(m_prompter.messages.empty());
}

TEST_F(LoadSaveTest, ReadCatalogHeaderThenOneDiskHeader)
{
    HandLayout L;
    const QByteArray bytes = BuildCatalogBytes(SampleCatalog(), &L);
    ASSERT_TRUE(WriteFileBytes(path("h.ctf"), bytes));
    TTreeNode *c = ReadCatalogHeader(m_forest, path("h.ctf"));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->childCount(), 0);
    TCatalogRec *cat = catalogOf(c);
    ASSERT_NE(cat->Stream, nullptr);
    EXPECT_EQ(cat->Stream->Position(), L.headerEnd);
    EXPECT_EQ(cat->Stream->BufferSize(), kCatalogReadBuffer);

    TTreeNode *d = ReadDiskHeader(c);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->parent(), c);
    EXPECT_EQ(d->childCount(), 0) << "the header reader creates no folders";
    EXPECT_EQ(diskOf(d)->FileOffset, L.disks[0].start);
    EXPECT_EQ(cat->Stream->Position(), L.disks[0].headerEnd);
}

TEST_F(LoadSaveTest, WriterProducesTheLayoutByteForByte)
{
    const HandCatalog h = SampleCatalog();
    HandLayout L;
    const QByteArray expected = BuildCatalogBytes(h, &L);
    TTreeNode *c = BuildForest(m_forest, h);
    EXPECT_EQ(RequiredVariant(c), CatalogVariant::Narrow);
    const QByteArray written = WriteToBytes(c);
    EXPECT_EQ(Printable(written), Printable(expected));

    // The records now describe the written layout and are clean.
    EXPECT_EQ(catalogOf(c)->Dirty, 0);
    for (int i = 0; i < 2; ++i) {
        TDiskRec *d = diskOf(c->child(i));
        const HandDiskLayout &dl = L.disks[size_t(i)];
        EXPECT_EQ(d->Dirty, 0);
        EXPECT_EQ(d->FileOffset, dl.start);
        EXPECT_EQ(d->RecLength, dl.recLength);
        EXPECT_EQ(d->TreeOffset, dl.treeOffset);
        EXPECT_EQ(d->ListOffset, dl.rootList.start < 0 ? -1 : dl.rootList.start - dl.start);
        EXPECT_EQ(d->ListBytes, dl.rootList.bytes);
        EXPECT_EQ(d->ListDescBytes, dl.rootList.descBytes);
    }
    TFolderRec *alpha1 = folderOf(c->child(0)->child(0)->child(0));
    EXPECT_EQ(alpha1->ListOffset, L.disks[0].folders[1].list.start - L.disks[0].start);
    EXPECT_EQ(alpha1->ListDescBytes, 2 + 2 + 3);
    TFolderRec *alpha2 = folderOf(c->child(0)->child(0)->child(1));
    EXPECT_EQ(alpha2->ListOffset, -1);
    EXPECT_EQ(alpha2->ListBytes, -1);
}

TEST_F(LoadSaveTest, ANormalDiskWritesNoOutsideClusters)
{
    HandCatalog h = SampleCatalog();
    const QByteArray expected = BuildCatalogBytes(h);
    TTreeNode *c = BuildForest(m_forest, h);
    diskOf(c->child(0))->OutsideClusters = 77;   // kept in memory, never stored for a normal disk
    EXPECT_EQ(WriteToBytes(c), expected);
    TTreeNode *r = openBytes(expected);
    EXPECT_EQ(diskOf(r->child(0))->OutsideClusters, 0);
}

TEST_F(LoadSaveTest, DescriptionsOf5000CharactersAreSavedAs4096)
{
    QByteArray longText;
    for (int i = 0; i < 5000; ++i)
        longText.append(char('A' + i % 26));
    HandCatalog h = SampleCatalog();
    h.desc = longText;
    h.disks[0].desc = longText;
    h.disks[0].folders[0].desc = longText;
    h.disks[0].rootFiles[0].desc = longText;
    TTreeNode *c = BuildForest(m_forest, h);
    const QByteArray bytes = save(c, path("long.ctf"));

    HandCatalog cut = h;
    const QByteArray first = longText.left(4096);
    cut.desc = cut.disks[0].desc = cut.disks[0].folders[0].desc = cut.disks[0].rootFiles[0].desc = first;
    EXPECT_EQ(bytes, BuildCatalogBytes(cut));

    TTreeNode *r = open(path("long.ctf"));
    LoadEverything(r);
    EXPECT_EQ(TextView(catalogOf(r)->Desc), QByteArrayView(first));
    EXPECT_EQ(TextView(diskOf(r->child(0))->Desc), QByteArrayView(first));
    EXPECT_EQ(TextView(folderOf(r->child(0)->child(0))->Desc), QByteArrayView(first));
    EXPECT_EQ(TextView(Chain(r->child(0))[0]->Desc), QByteArrayView(first));
}

TEST_F(LoadSaveTest, ATextClaimingMoreThan4096FailsToOpen)
{
    const QByteArray tooLong(5000, 'x');
    const std::pair<const char *, std::function<void(HandCatalog &)>> cases[] = {
        {"catalog name", [&](HandCatalog &h) { h.name = tooLong; }},
        {"catalog description", [&](HandCatalog &h) { h.desc = tooLong; }},
        {"category name", [&](HandCatalog &h) { h.categories[0].Name = tooLong; }},
        {"flag name", [&](HandCatalog &h) { h.flagNames[2] = tooLong; }},
        {"disk name", [&](HandCatalog &h) { h.disks[1].name = tooLong; }},
        {"disk description", [&](HandCatalog &h) { h.disks[0].desc = tooLong; }},
        {"root path", [&](HandCatalog &h) { h.disks[1].rootPath = tooLong; }},
        {"folder name", [&](HandCatalog &h) { h.disks[0].folders[4].name = tooLong; }},
        {"folder description", [&](HandCatalog &h) { h.disks[0].folders[7].desc = tooLong; }},
    };
    for (const auto &[what, damage] : cases) {
        SCOPED_TRACE(what);
        HandCatalog h = SampleCatalog();
        damage(h);
        ASSERT_TRUE(WriteFileBytes(path("toolong.ctf"), BuildCatalogBytes(h)));
        try {
            open(path("toolong.ctf"));
            ADD_FAILURE() << "opened";
        } catch (const EInvalidCatalog &e) {
            EXPECT_EQ(e.message(), QStringLiteral("String data too long!"));
        }
        EXPECT_TRUE(m_forest.roots().empty()) << "the partly built catalog is dropped";
    }
}

TEST_F(LoadSaveTest, SignatureMismatchIsNotACatalog)
{
    const QByteArray body = BuildCatalogBytes(SampleCatalog()).mid(kSignatureBytes);
    const QByteArray cases[] = {
        QByteArray("Catalog 1.01\0", 13) + body,
        QByteArray("catalog 1.00\0", 13) + body,
        QByteArray("Catalog 1.0\0\0", 13) + body,
        QByteArray("Catalog 3.00\0", 13) + body,
        QByteArray("Catalog 1.00X", 13) + body,   // the signature's own zero is part of it
        QByteArray("Catal"),
        QByteArray(),
    };
    for (const QByteArray &bytes : cases) {
        SCOPED_TRACE(Printable(bytes.left(13)).toStdString());
        ASSERT_TRUE(WriteFileBytes(path("sig.ctf"), bytes));
        try {
            closeCatalog(open(path("sig.ctf")));
            ADD_FAILURE() << "opened";
        } catch (const EInvalidCatalog &e) {
            EXPECT_EQ(e.message(), QStringLiteral("This is not a valid catalog file!"));
        }
        EXPECT_TRUE(m_forest.roots().empty());
    }
    try {
        open(path("missing.ctf"));
        ADD_FAILURE() << "opened a missing file";
    } catch (const EReadBufferError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("File open error"));
    }
}

TEST_F(LoadSaveTest, WrongKindBytesAreStructureErrors)
{
    // Opening reads every folder entry of a disk (deeper ones are skipped,
    // but their kind is checked all the same).
    const std::pair<const char *, std::function<void(HandCatalog &)>> cases[] = {
        {"disk kind 2", [](HandCatalog &h) { h.disks[1].kind = rkFolder | rfInSearch; }},
        {"first-level folder kind 1", [](HandCatalog &h) { h.disks[0].folders[4].kind = rkFile; }},
        {"third-level folder kind 3", [](HandCatalog &h) { h.disks[0].folders[2].kind = rkDisk; }},
        {"folder kind 0", [](HandCatalog &h) { h.disks[1].folders[0].kind = 0x10; }},
    };
    for (const auto &[what, damage] : cases) {
        SCOPED_TRACE(what);
        HandCatalog h = SampleCatalog();
        damage(h);
        ASSERT_TRUE(WriteFileBytes(path("kind.ctf"), BuildCatalogBytes(h)));
        try {
            open(path("kind.ctf"));
            ADD_FAILURE() << "opened";
        } catch (const EInvalidCatalog &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Internal catalog structure error detected."));
        }
        EXPECT_TRUE(m_forest.roots().empty());
    }
}

// ---------------------------------------------------------------- lazy reading

TEST_F(LoadSaveTest, LoadSubfoldersOneLevelAtATime)
{
    HandLayout L;
    const HandCatalog h = SampleCatalog();
    TTreeNode *c = openBytes(BuildCatalogBytes(h, &L));
    const int64_t start = L.disks[0].start;
    TTreeNode *alpha = c->child(0)->child(0);
    LoadSubfolders(alpha, false, false);
    ASSERT_EQ(alpha->childCount(), 2);
    EXPECT_EQ(alpha->child(0)->text(), QByteArray("Alpha1"));
    EXPECT_EQ(alpha->child(1)->text(), QByteArray("Alpha2"));
    EXPECT_EQ(folderOf(alpha)->SubOffset, -(L.disks[0].folders[1].entry - start)) << "negated once read";
    TTreeNode *alpha1 = alpha->child(0);
    EXPECT_EQ(folderOf(alpha1)->SubOffset, L.disks[0].folders[2].entry - start);
    EXPECT_TRUE(alpha1->hasExpandMark());
    EXPECT_EQ(folderOf(alpha->child(1))->SubOffset, 0);
    EXPECT_EQ(alpha1->childCount(), 0);
    EXPECT_EQ(folderOf(alpha1)->FilesLoaded, 0) << "no files without withFiles";
    EXPECT_EQ(folderOf(alpha)->FilesLoaded, 0);

    LoadSubfolders(alpha, false, false);
    EXPECT_EQ(alpha->childCount(), 2) << "a level is read once";

    LoadSubfolders(alpha1, false, true);
    ASSERT_EQ(alpha1->childCount(), 1);
    EXPECT_EQ(alpha1->child(0)->text(), QByteArray("Alpha1x"));
    EXPECT_EQ(folderOf(alpha1)->FilesLoaded, 1);
    EXPECT_EQ(Chain(alpha1).size(), 2u);
    EXPECT_EQ(folderOf(alpha1->child(0))->FilesLoaded, 1);
    ASSERT_EQ(Chain(alpha1->child(0)).size(), 1u);
    EXPECT_EQ(Chain(alpha1->child(0))[0]->name(), QByteArray("deep.bin"));
    EXPECT_EQ(Chain(alpha1)[1]->name(), QByteArray("y.dat"));

    TTreeNode *gamma = c->child(0)->child(3);
    LoadSubfolders(gamma, true, true);
    EXPECT_EQ(gamma->childCount(), 0);
}

TEST_F(LoadSaveTest, LoadSubfoldersWholeSubtreeWithAndWithoutFiles)
{
    const QByteArray bytes = BuildCatalogBytes(SampleCatalog());
    for (bool withFiles : {false, true}) {
        SCOPED_TRACE(withFiles);
        TTreeNode *c = openBytes(bytes);
        TTreeNode *alpha = c->child(0)->child(0);
        LoadSubfolders(alpha, true, withFiles);
        ASSERT_EQ(alpha->childCount(), 2);
        TTreeNode *alpha1 = alpha->child(0);
        ASSERT_EQ(alpha1->childCount(), 1);
        EXPECT_EQ(alpha1->child(0)->text(), QByteArray("Alpha1x"));
        EXPECT_EQ(alpha->child(1)->childCount(), 0);
        EXPECT_EQ(folderOf(alpha1)->SubOffset, 0) << "with the whole subtree no SubOffset is set";
        EXPECT_EQ(folderOf(alpha1->child(0))->SubOffset, 0);
        EXPECT_LT(folderOf(alpha)->SubOffset, 0);
        for (TTreeNode *n : {alpha, alpha1, alpha1->child(0)})
            EXPECT_EQ(folderOf(n)->FilesLoaded, withFiles ? 1 : 0) << n->text().constData();
        if (withFiles) {
            EXPECT_EQ(Chain(alpha)[0]->name(), QByteArray("a1.txt"));
        }
        // The siblings after the subtree are untouched.
        TTreeNode *beta = c->child(0)->child(1);
        EXPECT_EQ(beta->childCount(), 0);
        LoadSubfolders(beta, true, withFiles);
        ASSERT_EQ(beta->childCount(), 1);
        EXPECT_EQ(beta->child(0)->text(), QByteArray("Beta1"));
        EXPECT_EQ(folderOf(beta->child(0))->FilesLoaded, withFiles ? 1 : 0);
        closeCatalog(c);
    }
}

TEST_F(LoadSaveTest, LoadSubfoldersOneLevelWithFiles)
{
    TTreeNode *c = openBytes(BuildCatalogBytes(SampleCatalog()));
    TTreeNode *alpha = c->child(0)->child(0);
    LoadSubfolders(alpha, false, true);
    ASSERT_EQ(alpha->childCount(), 2);
    EXPECT_EQ(alpha->child(0)->childCount(), 0);
    EXPECT_EQ(folderOf(alpha)->FilesLoaded, 1);
    EXPECT_EQ(folderOf(alpha->child(0))->FilesLoaded, 1);
    EXPECT_EQ(Chain(alpha->child(0)).size(), 2u);
    EXPECT_EQ(folderOf(alpha->child(1))->FilesLoaded, 1);
    EXPECT_TRUE(alpha->child(0)->hasExpandMark());
}

// ---------------------------------------------------------------- recovery

// Four files in the disk's root or in \Dir\Sub; the third claims a
// 5000-byte description.
HandCatalog damagedListCatalog(bool inRoot)
{
    HandCatalog h;
    h.name = "Damaged";
    HandDisk d;
    d.name = "D";
    const QByteArray bad(5000, 'z');
    d.rootFiles = {SampleFile("r1", 1), SampleFile("r2", 2, "two"), SampleFile("r3", 3, inRoot ? bad : "fine"), SampleFile("r4", 4)};
    d.folders = {SampleFolder(1, "Dir"), SampleFolder(2, "Sub", {SampleFile("s1", 5, "one"), SampleFile("s2", 6),
                                                     SampleFile("s3", 7, inRoot ? "fine" : bad), SampleFile("s4", 8)})};
    d.folders[1].kind = rkFolder;
    h.disks.push_back(d);
    return h;
}

TEST_F(LoadSaveTest, ADamagedFileListKeepsTheCompleteRecordsAndSaysSo)
{
    const std::pair<bool, const char *> cases[] = {{true, "\\"}, {false, "\\Dir\\Sub"}};
    for (const auto &[root, expectedPath] : cases) {
        SCOPED_TRACE(expectedPath);
        m_prompter.messages.clear();
        TTreeNode *c = openBytes(BuildCatalogBytes(damagedListCatalog(root)));
        TTreeNode *disk = c->child(0);
        TTreeNode *node = disk;
        if (!root) {
            LoadSubfolders(disk->child(0), false, false);
            node = disk->child(0)->child(0);
        }
        EXPECT_NO_THROW(LoadFileList(node));
        const std::vector<TFileRec *> files = Chain(node);
        ASSERT_EQ(files.size(), 2u);
        EXPECT_EQ(files[0]->name(), QByteArray(root ? "r1" : "s1"));
        EXPECT_EQ(files[1]->name(), QByteArray(root ? "r2" : "s2"));
        EXPECT_EQ(files[1]->Size, root ? 2 : 6);
        EXPECT_EQ(files[1]->Next, nullptr);
        TItemRec *rec = NodeRec(node);
        EXPECT_EQ(root ? diskOf(node)->FilesLoaded : folderOf(node)->FilesLoaded, 1) << "counts as loaded";
        EXPECT_TRUE(ItemIs(rec->KindFlags, rfHasDesc));

        ASSERT_EQ(m_prompter.messages.size(), 1u);
        const ScriptedPrompter::Message &m = m_prompter.messages[0];
        EXPECT_EQ(m.caption, QStringLiteral("Error Loading Catalog"));
        EXPECT_EQ(m.text, QStringLiteral("Program detected an error while trying to load files in folder \"")
                              + QString::fromLatin1(expectedPath)
                              + QStringLiteral("\". Catalog file may be damaged.\r\nProgram will try to recover by "
                                               "skipping the rest of files in this folder."));
        EXPECT_EQ(m.icon, MsgIcon::Error);

        // A later save rewrites the list from memory.
        SetDiskDirty(disk, true);
        save(c, path("recovered.ctf"));
        closeCatalog(c);
        m_prompter.messages.clear();
        TTreeNode *r = open(path("recovered.ctf"));
        LoadEverything(r);
        TTreeNode *again = root ? r->child(0) : r->child(0)->child(0)->child(0);
        ASSERT_EQ(Chain(again).size(), 2u);
        EXPECT_EQ(Chain(again)[1]->name(), QByteArray(root ? "r2" : "s2"));
        EXPECT_EQ(root ? diskOf(again)->FileCount : folderOf(again)->FileCount, 2)
            << "the saved list holds two entries, so its FileCount must say two";
        EXPECT_TRUE(m_prompter.messages.empty()) << "the saved file is sound again";
        closeCatalog(r);
    }
}

TEST_F(LoadSaveTest, ADamagedUnreadListIsRecoveredWhenTheLayoutChanges)
{
    // The list cannot be copied into the wide file entry by entry, so the
    // save reads it the way browsing would: what is whole is kept and said.
    TTreeNode *c = openBytes(BuildCatalogBytes(damagedListCatalog(false)));
    TTreeNode *disk = c->child(0);
    AppendFile(AddFolderNode(disk, "Images"), "huge.iso")->Size = kFiveGiB;
    SetDiskDirty(disk, true);
    m_prompter.messages.clear();
    EXPECT_EQ(signatureOf(save(c, path("wide.ctf"))), kWideSig);
    ASSERT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].caption, QStringLiteral("Error Loading Catalog"));
    closeCatalog(c);

    m_prompter.messages.clear();
    TTreeNode *r = open(path("wide.ctf"));
    LoadEverything(r);
    EXPECT_TRUE(m_prompter.messages.empty());
    const std::vector<TFileRec *> files = Chain(r->child(0)->child(0)->child(0));
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1]->name(), QByteArray("s2"));
    closeCatalog(r);
}

// The sample catalog with the list fields of \Alpha\Alpha2 pointing outside
// its disk: opening reads, but the level below Alpha is damaged after Alpha1.
QByteArray damagedLevelBytes()
{
    HandLayout layout;
    QByteArray bytes = BuildCatalogBytes(SampleCatalog(), &layout);
    PatchI32(bytes, layout.disks[0].folders[3].block + kFbListOffset, 0x7FFF0000);
    return bytes;
}

// The folder names below node, one level.
QStringList childNames(TTreeNode *node)
{
    QStringList names;
    for (TTreeNode *child : node->children())
        names << QString::fromUtf8(child->text());
    return names;
}

// Notes every entry it is shown; wants the one named want.
class NotingFilter : public TFileListFilter
{
public:
    explicit NotingFilter(QByteArray want = {}) : m_want(std::move(want)) {}
    bool wanted(const TFileEntryView &e) override
    {
        seen.push_back({e.name.toByteArray(), e.desc.toByteArray(), e.size, e.created, e.modified, e.accessed, e.attr,
                        e.catFlags, e.kindFlags, e.bytesBefore,
                        e.bytesBefore > 0 ? int(uchar(e.name.data()[-1])) : -1});
        return e.name == QByteArrayView(m_want);
    }
    struct Entry {
        QByteArray name, desc;
        int64_t size;
        uint32_t created, modified, accessed;
        uint8_t attr, catFlags, kindFlags;
        int bytesBefore;
        int lengthByte;   // the byte before the name, -1 when it may not be read
    };
    std::vector<Entry> seen;

private:
    QByteArray m_want;
};

TEST_F(LoadSaveTest, LoadFileListIfReadsOnlyAListWithAWantedEntry)
{
    HandCatalog h = SampleCatalog();
    h.disks[0].rootFiles[1].created = 0x12345678;
    h.disks[0].rootFiles[1].modified = 0x23456789;
    h.disks[0].rootFiles[1].accessed = 0x3456789A;
    TTreeNode *c = openBytes(BuildCatalogBytes(h));
    TTreeNode *dn = c->child(0);
    struct Case {
        TTreeNode *node;
        QByteArray want;
        size_t shown;   // entries the filter sees
        bool read;
    };
    const Case cases[] = {
        {dn, "", 2, false},
        {dn, "readme.txt", 1, true},      // the first wanted entry ends the look
        {dn->child(2), "", 2, false},     // archive members, flagged so
        {dn->child(2), "m2.txt", 2, true},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE((k.node->text() + " wanting " + k.want).toStdString());
        UnloadFileList(k.node);
        NotingFilter filter(k.want);
        EXPECT_EQ(LoadFileListIf(k.node, filter), k.read);
        ASSERT_EQ(filter.seen.size(), k.shown);
        TItemRec *rec = NodeRec(k.node);
        const uint8_t loaded = AsDisk(rec) ? AsDisk(rec)->FilesLoaded : folderOf(k.node)->FilesLoaded;
        EXPECT_EQ(loaded, k.read ? 1 : 0);
        EXPECT_EQ(Chain(k.node).empty(), !k.read);
        EXPECT_EQ(ItemIs(rec->KindFlags, rfListBlock), k.read);
        // What the filter saw is what the records hold.
        LoadFileList(k.node);
        const std::vector<TFileRec *> files = Chain(k.node);
        ASSERT_GE(files.size(), filter.seen.size());
        for (size_t i = 0; i < filter.seen.size(); ++i) {
            const NotingFilter::Entry &e = filter.seen[i];
            const TFileRec *f = files[i];
            EXPECT_EQ(e.name, f->name());
            EXPECT_EQ(QByteArrayView(e.desc), TextView(f->Desc));
            EXPECT_EQ(e.size, f->Size);
            EXPECT_EQ(e.created, f->Created);
            EXPECT_EQ(e.modified, f->Modified);
            EXPECT_EQ(e.accessed, f->Accessed);
            EXPECT_EQ(e.attr, f->Attr);
            EXPECT_EQ(e.catFlags, f->CatFlags);
            EXPECT_EQ(e.kindFlags, f->KindFlags);
            // The bytes of the list before the name may be read with it: the
            // first name has its length byte only, the later ones more.
            EXPECT_EQ(e.lengthByte, int(e.name.size()));
            if (i == 0)
                EXPECT_EQ(e.bytesBefore, 1);
            else
                EXPECT_GT(e.bytesBefore, filter.seen[i - 1].bytesBefore + int(filter.seen[i - 1].name.size()));
        }
    }
    EXPECT_TRUE(m_prompter.messages.empty());

    // A damaged list is read whatever the filter says, so the damage is said.
    TTreeNode *damaged = openBytes(BuildCatalogBytes(damagedListCatalog(true)), "damaged.ctf");
    NotingFilter none;
    EXPECT_TRUE(LoadFileListIf(damaged->child(0), none));
    EXPECT_EQ(none.seen.size(), 2u);
    EXPECT_EQ(Chain(damaged->child(0)).size(), 2u);
    ASSERT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].caption, QStringLiteral("Error Loading Catalog"));
}

TEST_F(LoadSaveTest, ADamagedFolderLevelKeepsWhatWasReadAndFailsOnce)
{
    TTreeNode *c = openBytes(damagedLevelBytes());
    TTreeNode *alpha = c->child(0)->child(0);
    ASSERT_EQ(alpha->text(), "Alpha");
    EXPECT_THROW(LoadSubfolders(alpha, false, false), EInvalidCatalog);
    EXPECT_EQ(childNames(alpha), QStringList{"Alpha1"}) << "the folder read before the damage stays";
    EXPECT_TRUE(alpha->child(0)->hasExpandMark()) << "and its own children can still be read";
    // The level counts as read: looking again shows the same and says nothing.
    EXPECT_NO_THROW(LoadSubfolders(alpha, false, false));
    EXPECT_NO_THROW(LoadSubfolders(alpha, false, true));
    EXPECT_EQ(childNames(alpha), QStringList{"Alpha1"});
    LoadSubfolders(alpha->child(0), false, false);
    EXPECT_EQ(childNames(alpha->child(0)), QStringList{"Alpha1x"});

    // The changed disk saves from what is in memory.
    RenameDisk(c->child(0), "Disk One, renamed with a longer name");
    m_prompter.messages.clear();
    save(c, path("kept.ctf"));
    EXPECT_TRUE(m_prompter.messages.empty()) << "the level was read already";
    closeCatalog(c);
    TTreeNode *r = open(path("kept.ctf"));
    LoadEverything(r);
    EXPECT_TRUE(m_prompter.messages.empty()) << "the saved file is sound";
    EXPECT_EQ(childNames(r->child(0)->child(0)), QStringList{"Alpha1"});
    EXPECT_EQ(childNames(r->child(0)), (QStringList{"Alpha", "Beta", "pack.zip", "Gamma"}));
    closeCatalog(r);
}

TEST_F(LoadSaveTest, AChangedDiskWithAnUnreadDamagedLevelSaves)
{
    TTreeNode *c = openBytes(damagedLevelBytes());
    RenameDisk(c->child(0), "Disk One, renamed");
    m_prompter.messages.clear();
    ASSERT_NO_THROW(save(c, path("saved.ctf")));
    ASSERT_EQ(m_prompter.messages.size(), 1u) << "the save says what it could not read";
    EXPECT_EQ(m_prompter.messages[0].caption, QStringLiteral("Error Loading Catalog"));
    EXPECT_TRUE(m_prompter.messages[0].text.contains(QStringLiteral("\\Alpha")));
    EXPECT_TRUE(m_prompter.messages[0].text.contains(MsgStructureError()));
    // A second save of the same catalog does not stumble over it again.
    RenameDisk(c->child(0), "Disk One");
    m_prompter.messages.clear();
    ASSERT_NO_THROW(save(c, path("saved.ctf")));
    EXPECT_TRUE(m_prompter.messages.empty());
    closeCatalog(c);

    TTreeNode *r = open(path("saved.ctf"));
    LoadEverything(r);
    EXPECT_TRUE(m_prompter.messages.empty());
    EXPECT_EQ(childNames(r->child(0)->child(0)), QStringList{"Alpha1"});
    EXPECT_EQ(childNames(r->child(0)->child(0)->child(0)), QStringList{"Alpha1x"});
    EXPECT_EQ(Chain(r->child(0)->child(0)->child(0)->child(0)).size(), 1u);
    EXPECT_EQ(DumpNode(r->child(1)), DumpNode(BuildForest(m_forest, SampleCatalog())->child(1)))
        << "the other disk is untouched";
    closeCatalog(r);
}

// ---------------------------------------------------------------- saving

TEST_F(LoadSaveTest, GeneratedCatalogRoundTrips)
{
    const GenOptions o = smallGen();
    TTreeNode *g = GenerateCatalog(m_forest, "Generated", o);
    const QString memory = DumpCatalog(g, DumpLoad);
    const QByteArray first = save(g, path("gen.ctf"));
    EXPECT_EQ(signatureOf(first), kNarrowSig);
    TCatalogRec *cat = catalogOf(g);
    EXPECT_EQ(cat->FileName, path("gen.ctf"));
    ASSERT_NE(cat->Stream, nullptr);
    EXPECT_EQ(cat->Stream->FileName(), path("gen.ctf"));
    EXPECT_EQ(cat->Dirty, 0);
    for (TTreeNode *d : g->children())
        EXPECT_EQ(diskOf(d)->Dirty, 0);

    // Unload every list and read it again through the new offsets.
    unloadAll(g);
    EXPECT_EQ(DumpCatalog(g, DumpLoad), memory);

    TTreeNode *r = open(path("gen.ctf"));
    EXPECT_EQ(DumpCatalog(r, DumpLoad), memory);
    EXPECT_TRUE(m_prompter.messages.empty());
    const QByteArray second = save(r, path("gen2.ctf"));
    EXPECT_EQ(second, first) << "an unchanged catalog saves to the same bytes";
}

TEST_F(LoadSaveTest, OpeningReadsOnlyTheFirstFolderLevel)
{
    const GenOptions o = smallGen();
    const QString file = savedGenerated(QStringLiteral("lazy.ctf"), o);
    TForest full;
    TTreeNode *g = GenerateCatalog(full, "Generated", o);
    TTreeNode *r = open(file);
    ASSERT_EQ(r->childCount(), g->childCount());
    for (int i = 0; i < r->childCount(); ++i) {
        TTreeNode *d = r->child(i);
        EXPECT_EQ(d->childCount(), g->child(i)->childCount());
        for (TTreeNode *f : d->children()) {
            EXPECT_EQ(f->childCount(), 0);
            EXPECT_EQ(folderOf(f)->FilesLoaded, folderOf(f)->ListOffset < 0 ? 1 : 0);
        }
        EXPECT_EQ(diskOf(d)->FilesLoaded, diskOf(d)->ListOffset < 0 ? 1 : 0);
    }
    DeleteCatalog(full, g);
}

// Renames the first folder of disk 0 (marks the disk changed).
void renameFirstFolder(TTreeNode *catalogNode)
{
    TTreeNode *f = catalogNode->child(0)->child(0);
    f->setText(f->text() + " renamed");
    ClearPathCache(f);
    SetDiskDirty(f, true);
}

TEST_F(LoadSaveTest, SavingAChangedDiskReadsItsLevelsAndAnUnchangedOneNothing)
{
    const GenOptions o = smallGen();
    const QString file1 = savedGenerated(QStringLiteral("one.ctf"), o);
    const QByteArray bytes1 = ReadFileBytes(file1);
    TForest full;
    TTreeNode *g = GenerateCatalog(full, "Generated", o);

    TTreeNode *x = open(file1);
    renameFirstFolder(x);
    TTreeNode *changed = x->child(0);
    TTreeNode *unchanged = x->child(1);
    const int unchangedNodes = CountDescendants(unchanged);
    const int64_t oldOffset = diskOf(unchanged)->FileOffset;
    const int32_t oldLength = diskOf(unchanged)->RecLength;
    std::vector<int32_t> unreadSubOffsets;
    for (TTreeNode *f : unchanged->children())
        unreadSubOffsets.push_back(folderOf(f)->SubOffset);

    const QByteArray bytes2 = save(x, path("two.ctf"));
    EXPECT_EQ(CountDescendants(changed), CountDescendants(g->child(0))) << "every level of the changed disk";
    ForEachNode(changed, [](TTreeNode *n) {
        if (TFolderRec *f = folderOf(n)) {
            EXPECT_EQ(f->FilesLoaded, f->ListOffset < 0 ? 1 : 0) << "unread lists are copied, not read";
        }
    });
    EXPECT_EQ(CountDescendants(unchanged), unchangedNodes) << "nothing of the unchanged disk";
    EXPECT_EQ(diskOf(unchanged)->FilesLoaded, diskOf(unchanged)->ListOffset < 0 ? 1 : 0);
    for (int i = 0; i < unchanged->childCount(); ++i)
        EXPECT_EQ(folderOf(unchanged->child(i))->SubOffset, unreadSubOffsets[size_t(i)]);
    EXPECT_EQ(slice(bytes2, diskOf(unchanged)->FileOffset, diskOf(unchanged)->RecLength),
              slice(bytes1, oldOffset, oldLength))
        << "an unchanged disk is copied byte for byte";

    // Every offset points into the new file: the disk headers, and every list
    // read again through them.
    for (TTreeNode *dn : x->children()) {
        const TDiskRec *d = diskOf(dn);
        EXPECT_EQ(uint8_t(bytes2[qsizetype(d->FileOffset)]) & 7, rkDisk);
        EXPECT_EQ(PeekI32(bytes2, d->FileOffset + 1), d->RecLength);
        EXPECT_EQ(PeekI32(bytes2, d->FileOffset + 5), d->TreeOffset);
        EXPECT_EQ(PeekI32(bytes2, d->FileOffset + 9), d->ListOffset);
        EXPECT_EQ(PeekI32(bytes2, d->FileOffset + 13), d->ListBytes);
    }
    const QString expected = expectedDump(o, renameFirstFolder);
    unloadAll(x);
    EXPECT_EQ(DumpCatalog(x, DumpLoad), expected);
    EXPECT_EQ(reopenedDump(path("two.ctf")), expected);
    DeleteCatalog(full, g);
}

TEST_F(LoadSaveTest, ANeverReadFileListSurvivesManySavesUnchanged)
{
    const GenOptions o = smallGen(11);
    const QString file1 = savedGenerated(QStringLiteral("base.ctf"), o);
    const QByteArray bytes1 = ReadFileBytes(file1);
    TTreeNode *x = open(file1);
    TTreeNode *disk = x->child(0);
    LoadSubfolders(disk->child(0), false, false);
    TTreeNode *keep = nodeAt(disk, {0, 0});
    ASSERT_NE(keep, nullptr);
    ASSERT_GE(folderOf(keep)->ListOffset, 0) << "the generator gives every folder files";
    const QByteArray listBytes =
        slice(bytes1, diskOf(disk)->FileOffset + folderOf(keep)->ListOffset, folderOf(keep)->ListBytes);

    // Each round changes a description somewhere else on the same disk.
    auto edit = [](TTreeNode *cat, int round) {
        TTreeNode *d = cat->child(0);
        TTreeNode *target = round % 2 ? d : d->child(1);
        LoadFileList(target);
        TFileRec *f = NodeRec(target)->Next;
        ASSERT_NE(f, nullptr) << "the generator gives every folder and root files";
        FreeText(f->Desc);
        f->Desc = NewText(QByteArray("round ") + QByteArray::number(round));
        SetItemFlag(NodeRec(target), rfHasDesc, true);
        SetDiskDirty(target, true);
    };
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        edit(x, round);
        // Even rounds save over the file the catalog reads from, as "Save" does.
        const QString file = round % 2 ? path(QStringLiteral("other.ctf")) : file1;
        const QByteArray bytes = save(x, file);
        EXPECT_EQ(folderOf(keep)->FilesLoaded, 0);
        EXPECT_EQ(slice(bytes, diskOf(disk)->FileOffset + folderOf(keep)->ListOffset, folderOf(keep)->ListBytes),
                  listBytes);
    }
    const QString expected = expectedDump(o, [&](TTreeNode *g) {
        for (int round = 0; round < 5; ++round)
            edit(g, round);
    });
    EXPECT_EQ(reopenedDump(file1), expected);
}

TEST_F(LoadSaveTest, SaveCatalogToAMissingFolderFailsAndChangesNothing)
{
    const QString file1 = savedGenerated(QStringLiteral("keep.ctf"));
    const QByteArray bytes1 = ReadFileBytes(file1);
    TTreeNode *x = open(file1);
    renameFirstFolder(x);
    const std::map<TTreeNode *, QString> before = offsetSnapshot(x);
    EXPECT_THROW(SaveCatalogTo(x, path("no/such/folder/x.ctf")), EStreamError);
    expectSameSnapshot(before, offsetSnapshot(x));
    EXPECT_EQ(catalogOf(x)->Dirty, 1);
    EXPECT_EQ(catalogOf(x)->FileName, file1);
    EXPECT_EQ(ReadFileBytes(file1), bytes1);
    save(x, path("keep2.ctf"));
    EXPECT_EQ(reopenedDump(path("keep2.ctf")), expectedDump(smallGen(), renameFirstFolder));
}

// ---------------------------------------------------------------- the two layouts

HandCatalog wideCatalog()
{
    HandCatalog h = SampleCatalog();
    h.variant = CatalogVariant::Wide;
    h.disks[0].rootFiles[1].size = kFiveGiB;
    h.disks[0].totalFolders = 70000;
    return h;
}

TEST_F(LoadSaveTest, WideLayoutByteForByte)
{
    const HandCatalog h = wideCatalog();
    const QByteArray expected = BuildCatalogBytes(h);
    TTreeNode *c = BuildForest(m_forest, h);
    EXPECT_EQ(RequiredVariant(c), CatalogVariant::Wide);
    EXPECT_EQ(Printable(WriteToBytes(c)), Printable(expected));

    TTreeNode *r = openBytes(expected, QStringLiteral("wide.ctf"));
    EXPECT_EQ(catalogOf(r)->Variant, CatalogVariant::Wide);
    TDiskRec *d = diskOf(r->child(0));
    EXPECT_EQ(d->TotalFolders, 70000);
    EXPECT_EQ(d->Serial, h.disks[0].serial) << "fields after the wide TotalFolders";
    EXPECT_EQ(d->VolumeLabel, h.disks[0].volumeLabel);
    LoadFileList(r->child(0));
    ASSERT_EQ(Chain(r->child(0)).size(), 2u);
    EXPECT_EQ(Chain(r->child(0))[1]->Size, kFiveGiB);
    EXPECT_EQ(Chain(r->child(0))[1]->CatFlags, 0x23);
    EXPECT_EQ(DumpCatalog(r, DumpLoad), DumpCatalog(c, DumpLoad));
    EXPECT_EQ(WriteToBytes(r), expected) << "an unchanged wide catalog is copied as it is";
}

TEST_F(LoadSaveTest, TheNarrowLayoutIsUsedWheneverEveryValueFits)
{
    struct Case {
        int64_t size;
        int32_t folders;
        CatalogVariant variant;
    };
    const Case cases[] = {
        {std::numeric_limits<int32_t>::max(), 65535, CatalogVariant::Narrow},
        {int64_t(std::numeric_limits<int32_t>::max()) + 1, 0, CatalogVariant::Wide},
        {0, 65536, CatalogVariant::Wide},
        {kFiveGiB, 70000, CatalogVariant::Wide},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(testing::Message() << k.size << " " << k.folders);
        HandCatalog h = SampleCatalog();
        h.disks[1].folders[0].files[0].size = k.size;
        h.disks[1].totalFolders = k.folders;
        h.variant = k.variant;
        TTreeNode *c = BuildForest(m_forest, h);
        EXPECT_EQ(RequiredVariant(c), k.variant);
        const QByteArray bytes = save(c, path("fit.ctf"));
        EXPECT_EQ(bytes, BuildCatalogBytes(h));
        closeCatalog(c);
        TTreeNode *r = open(path("fit.ctf"));
        EXPECT_EQ(diskOf(r->child(1))->TotalFolders, k.folders);
        LoadFileList(r->child(1)->child(0));
        EXPECT_EQ(Chain(r->child(1)->child(0))[0]->Size, k.size);
        closeCatalog(r);
    }
}

// Adds a disk "Big" holding one file of 5 GiB.
void addBigDisk(TTreeNode *catalogNode)
{
    TTreeNode *big = AddDiskNode(catalogNode, "Big");
    TFileRec *f = AppendFile(big, "huge.iso");
    f->Size = kFiveGiB;
    diskOf(big)->TotalFiles = 1;
    SetDiskDirty(big, true);
}

TEST_F(LoadSaveTest, DisksAreRewrittenWhenTheLayoutChanges)
{
    const GenOptions o = smallGen(5);
    const QString narrow = savedGenerated(QStringLiteral("narrow.ctf"), o);
    const QString original = expectedDump(o);
    const QString withBig = expectedDump(o, addBigDisk);

    // Narrow to wide: the unchanged disks, read only to their first level,
    // cannot be copied into a wide file.
    TTreeNode *x = open(narrow);
    addBigDisk(x);
    EXPECT_EQ(RequiredVariant(x), CatalogVariant::Wide);
    const QByteArray wideBytes = save(x, path("wide.ctf"));
    EXPECT_EQ(signatureOf(wideBytes), kWideSig);
    EXPECT_EQ(catalogOf(x)->Variant, CatalogVariant::Wide);
    EXPECT_EQ(reopenedDump(path("wide.ctf")), withBig);

    // Wide to narrow once the big file is gone.
    TTreeNode *y = open(path("wide.ctf"));
    TTreeNode *big = y->child(y->childCount() - 1);
    ASSERT_EQ(big->text(), QByteArray("Big"));
    ClearResultListNotes();
    m_forest.deleteNode(big, [](TTreeNode *n) { FreeItemData(n, true, false); });
    SetCatalogDirty(y, true);
    EXPECT_EQ(RequiredVariant(y), CatalogVariant::Narrow);
    const QByteArray narrowAgain = save(y, path("narrow2.ctf"));
    EXPECT_EQ(signatureOf(narrowAgain), kNarrowSig);
    EXPECT_EQ(reopenedDump(path("narrow2.ctf")), original);
}

TEST_F(LoadSaveTest, AWideValueInAnUnreadPartKeepsTheFileWide)
{
    const GenOptions o = smallGen(5);
    TTreeNode *g = GenerateCatalog(m_forest, "Generated", o);
    addBigDisk(g);
    save(g, path("wide.ctf"));
    closeCatalog(g);

    // Only the catalog changes; the 5 GiB size lives in an unread list.
    TTreeNode *y = open(path("wide.ctf"));
    FreeText(catalogOf(y)->Desc);
    catalogOf(y)->Desc = NewText("new description");
    SetCatalogDirty(y, true);
    EXPECT_EQ(RequiredVariant(y), CatalogVariant::Wide);
    const QByteArray bytes = save(y, path("wide2.ctf"));
    EXPECT_EQ(signatureOf(bytes), kWideSig);
    const QString expected = expectedDump(o, [](TTreeNode *c) {
        addBigDisk(c);
        FreeText(catalogOf(c)->Desc);
        catalogOf(c)->Desc = NewText("new description");
    });
    EXPECT_EQ(reopenedDump(path("wide2.ctf")), expected);

    // The same when the disk holding it changes but its list stays unread.
    TTreeNode *z = open(path("wide.ctf"));
    TTreeNode *big = z->child(z->childCount() - 1);
    EXPECT_EQ(diskOf(big)->FilesLoaded, 0);
    diskOf(big)->Serial = 0x01020304;
    SetDiskDirty(big, true);
    EXPECT_EQ(signatureOf(save(z, path("wide3.ctf"))), kWideSig);
    TTreeNode *r = open(path("wide3.ctf"));
    TTreeNode *rb = r->child(r->childCount() - 1);
    LoadFileList(rb);
    ASSERT_EQ(Chain(rb).size(), 1u);
    EXPECT_EQ(Chain(rb)[0]->Size, kFiveGiB);
    EXPECT_EQ(diskOf(rb)->Serial, 0x01020304u);
}

TEST_F(LoadSaveTest, ANarrowCatalogStaysNarrowByteForByte)
{
    const QString file = savedGenerated(QStringLiteral("n.ctf"));
    const QByteArray bytes = ReadFileBytes(file);
    EXPECT_EQ(signatureOf(bytes), kNarrowSig);
    TTreeNode *r = open(file);
    EXPECT_EQ(catalogOf(r)->Variant, CatalogVariant::Narrow);
    LoadEverything(r);
    EXPECT_EQ(RequiredVariant(r), CatalogVariant::Narrow);
    EXPECT_EQ(save(r, path("n2.ctf")), bytes);
}

// ---------------------------------------------------------------- impossible and failed saves

TEST_F(LoadSaveTest, DiskDataThatLiveOnlyInAGoneFileAreNeverDropped)
{
    const GenOptions o = smallGen();
    const QString file1 = savedGenerated(QStringLiteral("gone.ctf"), o);
    for (bool changeOne : {false, true}) {
        SCOPED_TRACE(changeOne);
        TTreeNode *x = open(file1);
        if (changeOne)
            renameFirstFolder(x);
        SetCatalogDirty(x, true);
        catalogOf(x)->Stream.reset();   // the old file could not be opened again
        const std::map<TTreeNode *, QString> before = offsetSnapshot(x);
        QBuffer out;
        out.open(QIODevice::ReadWrite);
        EXPECT_THROW(WriteCatalog(x, out), EWriteError);
        expectSameSnapshot(before, offsetSnapshot(x));
        EXPECT_THROW(SaveCatalogTo(x, path("elsewhere.ctf")), EStreamError);
        EXPECT_FALSE(QFile::exists(path("elsewhere.ctf")));
        expectSameSnapshot(before, offsetSnapshot(x));
        EXPECT_EQ(catalogOf(x)->Dirty, 1);
        closeCatalog(x);
    }

    // Once everything is in memory and every disk is to be rewritten, the
    // old file is not needed.
    TTreeNode *x = open(file1);
    LoadEverything(x);
    for (TTreeNode *d : x->children())
        SetDiskDirty(d, true);
    catalogOf(x)->Stream.reset();
    const QByteArray bytes = WriteToBytes(x);
    ASSERT_TRUE(WriteFileBytes(path("fromMemory.ctf"), bytes));
    EXPECT_EQ(reopenedDump(path("fromMemory.ctf")), expectedDump(o));
}

TEST_F(LoadSaveTest, AFailedWriteLeavesEveryOffsetAndMarkAndTheSameSaveAfterwards)
{
    const GenOptions o = smallGen(3);
    const QString file1 = savedGenerated(QStringLiteral("f.ctf"), o);
    enum Setup { Lazy, Preloaded, LayoutSwitch };
    for (Setup setup : {Lazy, Preloaded, LayoutSwitch}) {
        SCOPED_TRACE(int(setup));
        auto prepare = [&](TTreeNode *c) {
            renameFirstFolder(c);
            TTreeNode *last = c->child(2);
            LoadFileList(last);
            if (TFileRec *f = NodeRec(last)->Next) {
                FreeText(f->Desc);
                f->Desc = NewText("changed");
            }
            SetDiskDirty(last, true);
            if (setup == Preloaded)
                LoadEverything(c->child(0));
            if (setup == LayoutSwitch)
                addBigDisk(c);
        };
        TTreeNode *a = open(file1);
        TTreeNode *b = open(file1);
        prepare(a);
        prepare(b);
        const QByteArray control = save(b, path("control.ctf"));
        const int64_t size = control.size();
        ASSERT_GT(size, 100);
        for (int64_t limit : {int64_t(0), int64_t(5), int64_t(13), int64_t(14), int64_t(40), size / 3, size / 2,
                              size - 30, size - 1}) {
            SCOPED_TRACE(limit);
            const std::map<TTreeNode *, QString> before = offsetSnapshot(a);
            FailingDevice dev(limit);
            dev.open(QIODevice::ReadWrite);
            EXPECT_THROW(WriteCatalog(a, dev), EStreamError);
            EXPECT_TRUE(dev.failed());
            expectSameSnapshot(before, offsetSnapshot(a));
        }
        EXPECT_EQ(save(a, path("after.ctf")), control) << "the failed attempts left no trace";
        closeCatalog(a);
        closeCatalog(b);
    }
}

} // namespace
