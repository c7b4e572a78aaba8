// Helpers shared by the catalog store's tests; see TestCatalogs.h.
#include "TestCatalogs.h"

#include <QFile>

#include <cstring>

namespace testcat {

// ---------------------------------------------------------------- bytes

ByteWriter &ByteWriter::u8(uint8_t v)
{
    m_data.append(char(v));
    return *this;
}

ByteWriter &ByteWriter::u16(uint16_t v)
{
    u8(uint8_t(v));
    return u8(uint8_t(v >> 8));
}

ByteWriter &ByteWriter::u32(uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        u8(uint8_t(v >> (8 * i)));
    return *this;
}

ByteWriter &ByteWriter::i32(int32_t v)
{
    return u32(uint32_t(v));
}

ByteWriter &ByteWriter::i64(int64_t v)
{
    const uint64_t u = uint64_t(v);
    for (int i = 0; i < 8; ++i)
        u8(uint8_t(u >> (8 * i)));
    return *this;
}

ByteWriter &ByteWriter::f64(double v)
{
    uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    return i64(int64_t(u));
}

ByteWriter &ByteWriter::bytes(QByteArrayView b)
{
    m_data.append(b.data(), b.size());
    return *this;
}

ByteWriter &ByteWriter::counted(QByteArrayView text)
{
    return countedRaw(uint16_t(text.size()), text);
}

ByteWriter &ByteWriter::countedRaw(uint16_t lengthField, QByteArrayView text)
{
    u16(lengthField);
    return bytes(text);
}

ByteWriter &ByteWriter::shortText(QByteArrayView text)
{
    u8(uint8_t(text.size()));
    return bytes(text);
}

void PatchU8(QByteArray &bytes, int64_t at, uint8_t v)
{
    bytes[qsizetype(at)] = char(v);
}

void PatchU16(QByteArray &bytes, int64_t at, uint16_t v)
{
    bytes[qsizetype(at)] = char(v & 0xFF);
    bytes[qsizetype(at + 1)] = char(v >> 8);
}

void PatchI32(QByteArray &bytes, int64_t at, int32_t v)
{
    const uint32_t u = uint32_t(v);
    for (int i = 0; i < 4; ++i)
        bytes[qsizetype(at + i)] = char(uint8_t(u >> (8 * i)));
}

int32_t PeekI32(const QByteArray &bytes, int64_t at)
{
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= uint32_t(uint8_t(bytes[qsizetype(at + i)])) << (8 * i);
    return int32_t(u);
}

uint16_t PeekU16(const QByteArray &bytes, int64_t at)
{
    return uint16_t(uint8_t(bytes[qsizetype(at)]) | (uint8_t(bytes[qsizetype(at + 1)]) << 8));
}

int64_t PeekI64(const QByteArray &bytes, int64_t at)
{
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i)
        u |= uint64_t(uint8_t(bytes[qsizetype(at + i)])) << (8 * i);
    return int64_t(u);
}

// ---------------------------------------------------------------- hand-built catalogs

namespace {

HandListLayout writeList(ByteWriter &w, const std::vector<HandFile> &files, bool wide)
{
    HandListLayout list;
    if (files.empty())
        return list;
    list.start = w.pos();
    for (const HandFile &f : files) {
        list.entries.push_back(w.pos());
        w.shortText(f.name);
        w.u8(f.attr).u32(f.created).u32(f.modified).u32(f.accessed);
        if (wide)
            w.i64(f.size);
        else
            w.i32(int32_t(f.size));
        w.u8(f.catFlags);
        w.counted(f.desc);
        list.descBytes += 2 + int32_t(f.desc.size());
    }
    list.bytes = w.pos() - list.start;
    return list;
}

} // namespace

// ---------------------------------------------------------------- the sample catalog

HandFile SampleFile(const QByteArray &name, int64_t size, const QByteArray &desc, uint8_t attr, uint8_t catFlags)
{
    HandFile f;
    f.name = name;
    f.size = size;
    f.desc = desc;
    f.attr = attr;
    f.catFlags = catFlags;
    f.created = 0x2E8F5A21u + uint32_t(size % 97);
    f.modified = 0x2F215C3Eu + uint32_t(name.size());
    f.accessed = 0x30110000u;
    return f;
}

HandFolder SampleFolder(int depth, const QByteArray &name, std::vector<HandFile> files, uint8_t flags)
{
    HandFolder f;
    f.kind = uint8_t(rkFolder | flags);
    f.depth = depth;
    f.name = name;
    f.files = std::move(files);
    for (const HandFile &x : f.files) {
        f.totalSize += x.size * 10000;
        if (!x.desc.isEmpty())
            f.kind |= rfHasDesc;
    }
    f.created = 0x2A000000u + uint32_t(depth);
    f.modified = 0x2B000000u;
    f.accessed = 0x2C000000u;
    f.reserved = uint8_t(depth * 3);
    f.catFlags = uint8_t(depth == 2 ? 0x45 : 0);
    return f;
}

HandCatalog SampleCatalog()
{
    HandCatalog c;
    c.name = "Sample";
    c.desc = "Catalog\r\ndescription";
    c.categories = {{"Games", 1}, {"Work", 7}};
    c.flagNames[0] = "Keep";
    c.flagNames[2] = "Burn";

    HandDisk d;
    d.kind = rkDisk | rfInSearch | rfHasDesc;
    d.name = "Disk One";
    d.mediaType = 10;
    d.scanFlags = 1;
    d.bytesPerSector = 2048;
    d.sectorsPerCluster = 1;
    d.maxNameLen = 110;
    d.totalFiles = 8;
    d.archiveFiles = 2;
    d.totalFolders = 8;
    d.totalClusters = 300000;
    d.freeClusters = 0;
    d.updated = 38000.25;
    d.serial = 0xDEADBEEF;
    d.reserved = 7;
    d.volumeLabel = "MY_CD";
    d.fileSystem = "CDFS";
    d.desc = "Disk\r\nnotes";
    d.rootFiles = {SampleFile("readme.txt", 1234, "Read me"), SampleFile("setup.exe", 99999, {}, 0x21, 0x23)};
    d.folders = {
        SampleFolder(1, "Alpha", {SampleFile("a1.txt", 10)}),
        SampleFolder(2, "Alpha1", {SampleFile("x.dat", 20), SampleFile("y.dat", 30, "why")}),
        SampleFolder(3, "Alpha1x", {SampleFile("deep.bin", 40)}),
        SampleFolder(2, "Alpha2"),
        SampleFolder(1, "Beta"),
        SampleFolder(2, "Beta1", {SampleFile("b.txt", 50)}),
        SampleFolder(1, "pack.zip", {SampleFile("docs/m1.txt", 60), SampleFile("m2.txt", 70)}, rfCompressed),
        SampleFolder(1, "Gamma"),
    };
    d.folders[0].desc = "alpha folder";
    c.disks.push_back(d);

    HandDisk v;
    v.kind = rkDisk | rfInSearch | rfVirtualRoot;
    v.name = "Photos";
    v.mediaType = 5;
    v.totalFiles = 2;
    v.totalFolders = 1;
    v.totalClusters = 50000;
    v.freeClusters = 1000;
    v.outsideClusters = 4444;
    v.rootPath = "\\Data\\Photos\\";
    v.volumeLabel = "DATA";
    v.fileSystem = "EXT4";
    v.folders = {SampleFolder(1, "2003", {SampleFile("img1.jpg", 300000), SampleFile("img2.jpg", 400000)})};
    c.disks.push_back(v);
    return c;
}

QByteArray BuildCatalogBytes(const HandCatalog &c, HandLayout *layoutOut)
{
    const bool wide = c.variant == CatalogVariant::Wide;
    HandLayout layout;
    ByteWriter w;
    w.bytes(wide ? "Catalog 2.00" : "Catalog 1.00").u8(0);
    w.counted(c.name).counted(c.desc);

    int count = c.categoryCountByte;
    if (count < 0) {
        const bool anyFlag = !c.flagNames[0].isEmpty() || !c.flagNames[1].isEmpty() || !c.flagNames[2].isEmpty();
        count = !c.categories.empty() ? int(c.categories.size()) : (anyFlag ? 255 : 0);
    }
    w.u8(uint8_t(count));
    if (count >= 1 && count <= 254) {
        for (const TCategory &cat : c.categories)
            w.counted(cat.Name).u8(cat.Code);
    }
    if (count != 0) {
        for (const QByteArray &f : c.flagNames)
            w.counted(f);
    }
    layout.headerEnd = w.pos();

    for (const HandDisk &d : c.disks) {
        HandDiskLayout dl;
        dl.start = w.pos();
        w.u8(d.kind);
        w.bytes(QByteArray(kDiskBlock1, '\0'));
        w.counted(d.name);
        dl.block2 = w.pos();
        w.u8(d.mediaType).u8(d.scanFlags).u16(0);
        w.i32(d.bytesPerSector).i32(d.sectorsPerCluster).i32(d.maxNameLen);
        w.i32(d.totalFiles).i32(d.archiveFiles);
        if (wide)
            w.i32(d.totalFolders);
        else
            w.u16(uint16_t(d.totalFolders));
        w.i32(d.totalClusters).i32(d.freeClusters).f64(d.updated).u32(d.serial).u8(d.reserved);
        w.shortText(d.volumeLabel).shortText(d.fileSystem);
        if (d.kind & rfVirtualRoot)
            w.counted(d.rootPath).i32(d.outsideClusters);
        w.counted(d.desc);
        dl.headerEnd = w.pos();

        dl.rootList = writeList(w, d.rootFiles, wide);
        for (const HandFolder &f : d.folders) {
            HandFolderLayout fl;
            fl.list = writeList(w, f.files, wide);
            dl.folders.push_back(fl);
        }
        dl.treeOffset = w.pos() - dl.start;
        for (size_t i = 0; i < d.folders.size(); ++i) {
            const HandFolder &f = d.folders[i];
            HandFolderLayout &fl = dl.folders[i];
            fl.entry = w.pos();
            w.u8(f.kind).u8(uint8_t(f.depth)).counted(f.name);
            fl.block = w.pos();
            w.i32(fl.list.start < 0 ? -1 : int32_t(fl.list.start - dl.start));
            w.i32(int32_t(fl.list.bytes));
            w.i32(int32_t(f.files.size()));
            w.i32(fl.list.descBytes);
            w.i64(f.totalSize);
            w.u8(f.attr).u32(f.created).u32(f.modified).u32(f.accessed).u8(f.reserved).u8(f.catFlags);
            w.counted(f.desc);
        }
        dl.recLength = w.pos() - dl.start;
        QByteArray &b = w.data();
        PatchI32(b, dl.recLengthAt(), int32_t(dl.recLength));
        PatchI32(b, dl.treeOffsetAt(), int32_t(dl.treeOffset));
        PatchI32(b, dl.listOffsetAt(), dl.rootList.start < 0 ? -1 : int32_t(dl.rootList.start - dl.start));
        PatchI32(b, dl.listBytesAt(), int32_t(dl.rootList.bytes));
        PatchI32(b, dl.fileCountAt(), int32_t(d.rootFiles.size()));
        PatchI32(b, dl.listDescBytesAt(), dl.rootList.descBytes);
        layout.disks.push_back(dl);
    }
    if (layoutOut)
        *layoutOut = layout;
    return w.data();
}

namespace {

void addFiles(TTreeNode *node, const std::vector<HandFile> &files, uint8_t ownerKind)
{
    for (const HandFile &f : files) {
        TFileRec *rec = AppendFile(node, f.name);
        // Members of a compressed file carry its flag; the files of a
        // compressed volume (a disk with the flag) are ordinary files.
        const bool member = ItemKind(ownerKind) == rkFolder && (ownerKind & rfCompressed);
        rec->KindFlags = uint8_t(rkFile | (member ? rfCompressed : 0));
        rec->Attr = f.attr;
        rec->Created = f.created;
        rec->Modified = f.modified;
        rec->Accessed = f.accessed;
        rec->Size = f.size;
        rec->CatFlags = f.catFlags;
        rec->Desc = NewText(f.desc);
    }
}

} // namespace

TTreeNode *BuildForest(TForest &forest, const HandCatalog &c)
{
    TTreeNode *catNode = NewCatalogNode(forest, c.name);
    TCatalogRec *cat = AsCatalog(NodeRec(catNode));
    cat->Desc = NewText(c.desc);
    cat->Categories = c.categories;
    for (int i = 0; i < 3; ++i)
        cat->FlagNames[i] = NewText(c.flagNames[i]);

    for (const HandDisk &d : c.disks) {
        TTreeNode *diskNode = AddDiskNode(catNode, d.name);
        TDiskRec *disk = AsDisk(NodeRec(diskNode));
        disk->MediaType = d.mediaType;
        disk->ScanFlags = d.scanFlags;
        disk->BytesPerSector = d.bytesPerSector;
        disk->SectorsPerCluster = d.sectorsPerCluster;
        disk->MaxNameLen = d.maxNameLen;
        disk->TotalFiles = d.totalFiles;
        disk->ArchiveFiles = d.archiveFiles;
        disk->TotalFolders = d.totalFolders;
        disk->TotalClusters = d.totalClusters;
        disk->FreeClusters = d.freeClusters;
        disk->Updated = d.updated;
        disk->Serial = d.serial;
        disk->Reserved = d.reserved;
        disk->VolumeLabel = d.volumeLabel;
        disk->FileSystem = d.fileSystem;
        if (d.kind & rfVirtualRoot) {
            disk->RootPath = NewText(d.rootPath);
            disk->OutsideClusters = d.outsideClusters;
        }
        disk->Desc = NewText(d.desc);
        addFiles(diskNode, d.rootFiles, d.kind);

        std::vector<TTreeNode *> parents{diskNode};
        for (const HandFolder &f : d.folders) {
            parents.resize(size_t(f.depth));
            TTreeNode *folderNode = AddFolderNode(parents.back(), f.name);
            TFolderRec *folder = AsFolder(NodeRec(folderNode));
            folder->TotalSize = f.totalSize;
            folder->Attr = f.attr;
            folder->Created = f.created;
            folder->Modified = f.modified;
            folder->Accessed = f.accessed;
            folder->Reserved = f.reserved;
            folder->CatFlags = f.catFlags;
            folder->Desc = NewText(f.desc);
            addFiles(folderNode, f.files, f.kind);
            folder->KindFlags = f.kind;
            parents.push_back(folderNode);
        }
        disk->KindFlags = d.kind;
    }
    return catNode;
}

// ---------------------------------------------------------------- walking and dumping

void LoadEverything(TTreeNode *node)
{
    TItemRec *rec = NodeRec(node);
    if (!rec)
        return;
    switch (ItemKind(rec->KindFlags)) {
    case rkFolder:
        LoadSubfolders(node, false, false);
        LoadFileList(node);
        break;
    case rkDisk:
        LoadFileList(node);
        break;
    default:
        break;
    }
    for (int i = 0; i < node->childCount(); ++i)
        LoadEverything(node->child(i));
}

int CountDescendants(const TTreeNode *node)
{
    int n = 0;
    for (const TTreeNode *c : node->children())
        n += 1 + CountDescendants(c);
    return n;
}

void ForEachNode(TTreeNode *node, const std::function<void(TTreeNode *)> &fn)
{
    fn(node);
    for (int i = 0; i < node->childCount(); ++i)
        ForEachNode(node->child(i), fn);
}

std::vector<TFileRec *> Chain(TTreeNode *node)
{
    std::vector<TFileRec *> out;
    TItemRec *rec = NodeRec(node);
    for (TFileRec *f = rec ? rec->Next : nullptr; f; f = f->Next)
        out.push_back(f);
    return out;
}

QString Printable(QByteArrayView bytes)
{
    QString out;
    for (char ch : bytes) {
        const uint8_t c = uint8_t(ch);
        if (c >= 0x20 && c < 0x7F && c != '\\')
            out += QChar(c);
        else
            out += QStringLiteral("\\x%1").arg(c, 2, 16, QChar('0'));
    }
    return out;
}

namespace {

QString hex(unsigned v)
{
    return QStringLiteral("0x%1").arg(v, 2, 16, QChar('0'));
}

QString text(const char *t)
{
    return t ? QStringLiteral("\"%1\"").arg(Printable(TextView(t))) : QStringLiteral("null");
}

QString dumpFile(const TFileRec *f)
{
    return QStringLiteral("file \"%1\" kind=%2 attr=%3 c=%4 m=%5 a=%6 size=%7 cat=%8 desc=%9")
        .arg(Printable(f->name()), hex(f->KindFlags), hex(f->Attr))
        .arg(f->Created)
        .arg(f->Modified)
        .arg(f->Accessed)
        .arg(f->Size)
        .arg(hex(f->CatFlags), text(f->Desc));
}

QString nodeState(const TTreeNode *node)
{
    return QStringLiteral(" img=%1/%2 bold=%3 expand=%4")
        .arg(node->imageIndex())
        .arg(node->selectedIndex())
        .arg(node->bold())
        .arg(node->hasExpandMark());
}

void dump(TTreeNode *node, int flags, int level, QStringList &out)
{
    const QString indent(level * 2, QChar(' '));
    TItemRec *rec = NodeRec(node);
    const bool state = flags & DumpState;
    const QString name = Printable(node->text());
    if (!rec) {
        out << indent + QStringLiteral("node \"%1\" without record").arg(name);
        return;
    }
    switch (ItemKind(rec->KindFlags)) {
    case rkCatalog: {
        auto *c = static_cast<TCatalogRec *>(rec);
        QString line = QStringLiteral("catalog \"%1\" kind=%2 desc=%3")
                           .arg(name, hex(state ? c->KindFlags : (c->KindFlags & ~rfInSearch)), text(c->Desc));
        QStringList cats;
        for (const TCategory &cat : c->Categories)
            cats << QStringLiteral("%1:%2").arg(Printable(cat.Name)).arg(cat.Code);
        line += QStringLiteral(" categories=[%1] flags=[%2|%3|%4]")
                    .arg(cats.join(','), text(c->FlagNames[0]), text(c->FlagNames[1]), text(c->FlagNames[2]));
        if (state)
            line += QStringLiteral(" dirty=%1 stream=%2 variant=%3")
                        .arg(c->Dirty)
                        .arg(c->Stream != nullptr)
                        .arg(int(c->Variant)) + nodeState(node);
        out << indent + line;
        break;
    }
    case rkDisk: {
        auto *d = static_cast<TDiskRec *>(rec);
        const uint8_t kind = state ? d->KindFlags : uint8_t(d->KindFlags & ~(rfInSearch | rfListBlock));
        QString line = QStringLiteral("disk \"%1\" kind=%2 media=%3 scan=%4 res=%5 bps=%6 spc=%7 maxname=%8")
                           .arg(name, hex(kind))
                           .arg(d->MediaType)
                           .arg(d->ScanFlags)
                           .arg(d->Reserved)
                           .arg(d->BytesPerSector)
                           .arg(d->SectorsPerCluster)
                           .arg(d->MaxNameLen);
        line += QStringLiteral(" files=%1 arc=%2 folders=%3 total=%4 free=%5 outside=%6 updated=%7 serial=%8")
                    .arg(d->TotalFiles)
                    .arg(d->ArchiveFiles)
                    .arg(d->TotalFolders)
                    .arg(d->TotalClusters)
                    .arg(d->FreeClusters)
                    .arg(d->OutsideClusters)
                    .arg(QString::number(d->Updated, 'g', 17))
                    .arg(d->Serial, 8, 16, QChar('0'));
        line += QStringLiteral(" label=\"%1\" fs=\"%2\" root=%3 desc=%4 count=%5")
                    .arg(Printable(d->VolumeLabel), Printable(d->FileSystem), text(d->RootPath), text(d->Desc))
                    .arg(d->FileCount);
        if (state)
            line += QStringLiteral(" loaded=%1 dirty=%2 off=%3 rec=%4 tree=%5 list=%6/%7 descbytes=%8")
                        .arg(d->FilesLoaded)
                        .arg(d->Dirty)
                        .arg(d->FileOffset)
                        .arg(d->RecLength)
                        .arg(d->TreeOffset)
                        .arg(d->ListOffset)
                        .arg(d->ListBytes)
                        .arg(d->ListDescBytes) + nodeState(node);
        out << indent + line;
        break;
    }
    case rkFolder: {
        auto *f = static_cast<TFolderRec *>(rec);
        const uint8_t kind = state ? f->KindFlags : uint8_t(f->KindFlags & ~rfListBlock);
        QString line = QStringLiteral("folder \"%1\" kind=%2 attr=%3 c=%4 m=%5 a=%6 res=%7 cat=%8 total=%9")
                           .arg(name, hex(kind), hex(f->Attr))
                           .arg(f->Created)
                           .arg(f->Modified)
                           .arg(f->Accessed)
                           .arg(f->Reserved)
                           .arg(hex(f->CatFlags))
                           .arg(f->TotalSize);
        line += QStringLiteral(" desc=%1 count=%2").arg(text(f->Desc)).arg(f->FileCount);
        if (state)
            line += QStringLiteral(" loaded=%1 sub=%2 list=%3/%4 descbytes=%5")
                        .arg(f->FilesLoaded)
                        .arg(f->SubOffset)
                        .arg(f->ListOffset)
                        .arg(f->ListBytes)
                        .arg(f->ListDescBytes) + nodeState(node);
        out << indent + line;
        break;
    }
    default:
        out << indent + QStringLiteral("node \"%1\" with kind %2").arg(name, hex(rec->KindFlags));
        return;
    }
    for (TFileRec *f = rec->Next; f; f = f->Next)
        out << indent + QStringLiteral("  ") + dumpFile(f);
    for (int i = 0; i < node->childCount(); ++i)
        dump(node->child(i), flags, level + 1, out);
}

} // namespace

QString DumpNode(TTreeNode *node, int flags)
{
    if (flags & DumpLoad)
        LoadEverything(node);
    QStringList out;
    dump(node, flags, 0, out);
    return out.join('\n');
}

QString DumpCatalog(TTreeNode *catalogNode, int flags)
{
    return DumpNode(catalogNode, flags);
}

void DeleteCatalog(TForest &forest, TTreeNode *catalogNode)
{
    ClearResultListNotes();
    forest.deleteNode(catalogNode, [](TTreeNode *n) { FreeItemData(n, true, false); });
    CompactChangedResultLists();
}

QByteArray WriteToBytes(TTreeNode *catalogNode)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    WriteCatalog(catalogNode, buffer);
    return buffer.data();
}

bool WriteFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

QByteArray ReadFileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// ---------------------------------------------------------------- doubles

MsgAnswer ScriptedPrompter::ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons)
{
    messages.push_back({caption, text, icon, buttons});
    if (answers.empty())
        return MsgAnswer::Ok;
    const MsgAnswer a = answers.front();
    answers.erase(answers.begin());
    return a;
}

void VectorResultList::compact()
{
    ++compactCalls;
    std::vector<TItemRec *> kept;
    for (TItemRec *rec : m_entries) {
        if (rec) {
            HintOf(rec, m_id) = PositionHint(int(kept.size()));
            kept.push_back(rec);
        }
    }
    m_entries.swap(kept);
}

int VectorResultList::add(TItemRec *rec)
{
    const int index = addRaw(rec);
    HintOf(rec, m_id) = PositionHint(index);
    return index;
}

int VectorResultList::addRaw(TItemRec *rec)
{
    m_entries.push_back(rec);
    return int(m_entries.size()) - 1;
}

qint64 FailingDevice::writeData(const char *data, qint64 len)
{
    if (m_written + len > m_limit) {
        const qint64 allowed = std::max<qint64>(0, m_limit - m_written);
        if (allowed > 0)
            QBuffer::writeData(data, allowed);
        m_written += allowed;
        m_failed = true;
        setErrorString(QStringLiteral("simulated write failure"));
        return -1;
    }
    m_written += len;
    return QBuffer::writeData(data, len);
}

// ---------------------------------------------------------------- fixture

CatalogFixture::CatalogFixture()
{
    EXPECT_TRUE(m_dir.isValid());
}

CatalogFixture::~CatalogFixture()
{
    const std::vector<TTreeNode *> roots = m_forest.roots();
    for (TTreeNode *root : roots)
        DeleteCatalog(m_forest, root);
}

TTreeNode *CatalogFixture::openBytes(const QByteArray &bytes, const QString &name)
{
    const QString file = path(name);
    EXPECT_TRUE(WriteFileBytes(file, bytes));
    return ReadCatalog(m_forest, file);
}

TTreeNode *CatalogFixture::open(const QString &file)
{
    return ReadCatalog(m_forest, file);
}

QByteArray CatalogFixture::save(TTreeNode *catalogNode, const QString &file)
{
    SaveCatalogTo(catalogNode, file);
    return ReadFileBytes(file);
}

} // namespace testcat
