// Reading catalog files on demand and writing them. The layout is written
// down in docs/catalog-format.md; the diagrams below repeat what each parser
// needs. Nothing read from a file is trusted: every length and offset is
// checked against the record and the file before it is used.
#include "catalog/LoadSave.h"

#include "catalog/Forest.h"
#include "catalog/NewCatalogFile.h"
#include "catalog/RecordLock.h"
#include "platform/Prompter.h"
#include "platform/Texts.h"

#include <QFileDevice>
#include <QFileInfo>
#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include <fcntl.h>
#include <unistd.h>

const char kSignatureNarrow[] = "Catalog 1.00";
const char kSignatureWide[] = "Catalog 2.00";

QString MsgNotACatalog()
{
    return QStringLiteral("This is not a valid catalog file!");
}

QString MsgStructureError()
{
    return QStringLiteral("Internal catalog structure error detected.");
}

QString MsgStringTooLong()
{
    return QStringLiteral("String data too long!");
}

namespace {

[[noreturn]] void structureError()
{
    throw EInvalidCatalog(MsgStructureError());
}

// Little-endian decoding of fixed blocks that were read whole (the cursor
// checked their length), so the fields need no checks of their own.
inline uint16_t getU16(const uchar *p) { return qFromLittleEndian<quint16>(p); }
inline uint32_t getU32(const uchar *p) { return qFromLittleEndian<quint32>(p); }
inline int32_t getI32(const uchar *p) { return qFromLittleEndian<qint32>(p); }
inline int64_t getI64(const uchar *p) { return qFromLittleEndian<qint64>(p); }
inline double getF64(const uchar *p) { return std::bit_cast<double>(qFromLittleEndian<quint64>(p)); }

// Reads from the catalog's stream without passing a limit (the end of the
// current disk record, or of the file). A short read or a read past the
// limit is a damaged file.
class Cursor
{
public:
    Cursor(TReadAheadStream &stream, int64_t limit) : m_s(stream), m_limit(limit) {}

    int64_t pos() const { return m_s.Position(); }
    int64_t limit() const { return m_limit; }
    void setLimit(int64_t limit) { m_limit = limit; }

    void read(void *dest, int64_t n)
    {
        if (n < 0 || pos() + n > m_limit || m_s.Read(dest, n) != n)
            structureError();
    }
    void skip(int64_t n)
    {
        if (n < 0 || pos() + n > m_limit)
            structureError();
        m_s.Seek(pos() + n);
    }
    uint8_t u8()
    {
        uint8_t b;
        read(&b, 1);
        return b;
    }
    uint16_t u16()
    {
        uchar b[2];
        read(b, 2);
        return getU16(b);
    }
    // CountedText: uint16 length, then the bytes.
    QByteArray counted()
    {
        const int n = countedLength();
        QByteArray text(n, Qt::Uninitialized);
        read(text.data(), n);
        return text;
    }
    void skipCounted() { skip(countedLength()); }
    // ShortText: byte length, then the bytes; keeps at most keep of them.
    QByteArray shortText(int keep)
    {
        const int n = u8();
        QByteArray text(n, Qt::Uninitialized);
        read(text.data(), n);
        if (text.size() > keep)
            text.truncate(CutAtCharBoundary(text, keep).size());
        return text;
    }

private:
    int countedLength()
    {
        const int n = u16();
        if (n > kMaxCountedText)
            throw EInvalidCatalog(MsgStringTooLong());
        return n;
    }

    TReadAheadStream &m_s;
    int64_t m_limit;
};

TCatalogRec *catalogOfNode(TTreeNode *node)
{
    TTreeNode *catalogNode = CatalogNodeOf(node);
    return catalogNode ? AsCatalog(catalogNode->data()) : nullptr;
}

// The disk's record in the file the catalog's stream reads. While a save
// rewrites the disk, the record's fields in memory already describe the new
// file, so what is still read from the old one goes by its old place.
struct DiskExtent {
    int64_t start;
    int32_t headerBytes, treeOffset, recLength;
};

DiskExtent extentInStream(const TDiskRec *disk)
{
    if (disk->Writing)
        return {disk->OldFileOffset, disk->OldHeaderBytes, disk->OldTreeOffset, disk->OldRecLength};
    return {disk->FileOffset, disk->HeaderBytes, disk->TreeOffset, disk->RecLength};
}

// The list fields shared by folders and disks.
struct ListFields {
    int32_t *listOffset, *listBytes, *fileCount, *listDescBytes;
    uint8_t *filesLoaded;
};

ListFields listFieldsOf(TItemRec *rec)
{
    if (TFolderRec *f = AsFolder(rec))
        return {&f->ListOffset, &f->ListBytes, &f->FileCount, &f->ListDescBytes, &f->FilesLoaded};
    if (TDiskRec *d = AsDisk(rec))
        return {&d->ListOffset, &d->ListBytes, &d->FileCount, &d->ListDescBytes, &d->FilesLoaded};
    return {nullptr, nullptr, nullptr, nullptr, nullptr};
}

// A list must lie inside the disk's file-list part.
bool listFieldsValid(int32_t listOffset, int32_t listBytes, int32_t fileCount, int32_t listDescBytes,
                     const DiskExtent &disk)
{
    if (listOffset < 0)
        return true;   // no list
    if (listBytes < 0 || fileCount < 0 || listDescBytes < 0 || listDescBytes > listBytes)
        return false;
    if (listOffset < disk.headerBytes || int64_t(listOffset) + listBytes > disk.treeOffset)
        return false;
    return true;
}

// One file entry parsed from a list held in memory.
struct FileEntry {
    QByteArrayView name, desc;
    int64_t size;
    uint32_t created, modified, accessed;
    uint8_t attr, catFlags;
};

//  File entry:
//  +------+--------+------+---------+----------+----------+------+----------+-------+--------+
//  | len  | name   | Attr | Created | Modified | Accessed | Size | CatFlags | dlen  | desc   |
//  | u8   | len    | u8   | i32     | i32      | i32      | i32* | u8       | u16   | dlen   |
//  +------+--------+------+---------+----------+----------+------+----------+-------+--------+
//  * i64 in the wide layout. Attr .. CatFlags is the fixed block (18 or 22 bytes).
enum : int {
    FE_ATTR = 0,
    FE_CREATED = 1,
    FE_MODIFIED = 5,
    FE_ACCESSED = 9,
    FE_SIZE = 13,
};

// Parses the entry at offset; returns the bytes it took, 0 when damaged
// (cut short, or a description longer than a stored text may be).
// The bytes the entry at offset takes and the length of its name, or 0 as
// parseFileEntry says; the count before a list's records are built.
inline int fileEntryBytes(const uchar *list, qsizetype size, qsizetype offset, int block, int &nameLen)
{
    const uchar *p = list + offset;
    const qsizetype left = size - offset;
    if (left < 1)
        return 0;
    nameLen = p[0];
    if (left < 1 + nameLen + block + 2)
        return 0;
    const int descLen = getU16(p + 1 + nameLen + block);
    if (descLen > kMaxCountedText || left < 1 + nameLen + block + 2 + descLen)
        return 0;
    return 1 + nameLen + block + 2 + descLen;
}

[[gnu::always_inline]] inline int parseFileEntry(QByteArrayView list, qsizetype offset, CatalogVariant v,
                                                 FileEntry &e)
{
    const auto *p = reinterpret_cast<const uchar *>(list.data()) + offset;
    const qsizetype left = list.size() - offset;
    const int block = v == CatalogVariant::Wide ? kFileBlockWide : kFileBlockNarrow;
    if (left < 1)
        return 0;
    const int nameLen = p[0];
    if (left < 1 + nameLen + block + 2)
        return 0;
    e.name = QByteArrayView(reinterpret_cast<const char *>(p + 1), nameLen);
    const uchar *b = p + 1 + nameLen;
    e.attr = b[FE_ATTR];
    e.created = getU32(b + FE_CREATED);
    e.modified = getU32(b + FE_MODIFIED);
    e.accessed = getU32(b + FE_ACCESSED);
    e.size = v == CatalogVariant::Wide ? getI64(b + FE_SIZE) : getI32(b + FE_SIZE);
    e.catFlags = b[block - 1];
    const int descLen = getU16(b + block);
    if (descLen > kMaxCountedText || left < 1 + nameLen + block + 2 + descLen)
        return 0;
    e.desc = QByteArrayView(reinterpret_cast<const char *>(b + block + 2), descLen);
    return 1 + nameLen + block + 2 + descLen;
}

} // namespace

// ---- images ----------------------------------------------------------------

void SetDiskImages(TTreeNode *diskNode)
{
    const TDiskRec *disk = AsDisk(NodeRec(diskNode));
    if (!disk)
        return;
    int image;
    if (ItemIs(disk->KindFlags, rfVirtualRoot))
        image = tiVirtualRoot;
    else if (ItemIs(disk->KindFlags, rfCompressed))
        image = tiCompressedDisk;
    else
        image = tiDiskFirst + (disk->MediaType <= 15 ? disk->MediaType : 5);
    diskNode->setImages(image, image);
}

void SetFolderImages(TTreeNode *folderNode)
{
    const TFolderRec *folder = AsFolder(NodeRec(folderNode));
    if (!folder)
        return;
    if (ItemIs(folder->KindFlags, rfCompressed))
        folderNode->setImages(tiZipFolder, tiZipFolderOpen);
    else
        folderNode->setImages(tiFolder, tiFolderOpen);
}

// ---- reading -------------------------------------------------------------

TTreeNode *ReadCatalogHeader(TForest &forest, const QString &fileName)
{
    auto stream = std::make_unique<TReadAheadStream>(fileName, kCatalogReadBuffer);
    Cursor in(*stream, stream->Size());

    // The signature is the text and its terminating zero, 13 bytes in all.
    char sig[kSignatureBytes];
    if (stream->Read(sig, kSignatureBytes) != kSignatureBytes)
        throw EInvalidCatalog(MsgNotACatalog());
    CatalogVariant variant;
    if (std::memcmp(sig, kSignatureNarrow, kSignatureBytes) == 0)
        variant = CatalogVariant::Narrow;
    else if (std::memcmp(sig, kSignatureWide, kSignatureBytes) == 0)
        variant = CatalogVariant::Wide;
    else
        throw EInvalidCatalog(MsgNotACatalog());

    const QByteArray name = in.counted();
    const QByteArray desc = in.counted();

    //  Category block: count (u8); 1-254: count x (name CountedText, code u8);
    //  any count but 0: three flag names (CountedText).
    std::vector<TCategory> categories;
    QByteArray flagNames[3];
    const int count = in.u8();
    if (count >= 1 && count <= 254) {
        for (int i = 0; i < count; ++i) {
            TCategory c;
            c.Name = in.counted();
            c.Code = in.u8();
            categories.push_back(std::move(c));
        }
    }
    if (count != 0)
        for (auto &flag : flagNames)
            flag = in.counted();

    auto rec = std::make_unique<TCatalogRec>();
    rec->KindFlags = rkCatalog | rfInSearch;
    rec->Dirty = 0;
    rec->Desc = NewText(desc);
    rec->Categories = std::move(categories);
    for (int i = 0; i < 3; ++i)
        rec->FlagNames[i] = NewText(flagNames[i]);
    rec->FileName = fileName;
    rec->Variant = variant;
    rec->Stream = std::move(stream);

    TTreeNode *node = forest.addChild(nullptr, name);
    node->setImages(tiCatalog, tiCatalog);
    node->setBold(true);
    rec->Node = node;
    node->setData(rec.release());
    return node;
}

//  Disk record (offsets from its kind byte):
//  0   kind byte
//  1   RecLength i32 | TreeOffset i32 | ListOffset i32 | ListBytes i32 | FileCount i32 | ListDescBytes i32
//  25  disk name CountedText
//      MediaType u8 | ScanFlags u8 | reserved u16 | BytesPerSector i32 | SectorsPerCluster i32 |
//      MaxNameLen i32 | TotalFiles i32 | ArchiveFiles i32 | TotalFolders u16 (i32 wide) |
//      TotalClusters i32 | FreeClusters i32 | Updated f64 | Serial u32 | Reserved u8
//      VolumeLabel ShortText | FileSystem ShortText | [RootPath CountedText | OutsideClusters i32]
//      description CountedText | file lists ... | folder tree (from TreeOffset to RecLength)
enum : int {
    DB1_REC_LENGTH = 0,
    DB1_TREE_OFFSET = 4,
    DB1_LIST_OFFSET = 8,
    DB1_LIST_BYTES = 12,
    DB1_FILE_COUNT = 16,
    DB1_LIST_DESC_BYTES = 20,

    DB2_MEDIA_TYPE = 0,
    DB2_SCAN_FLAGS = 1,
    DB2_BYTES_PER_SECTOR = 4,
    DB2_SECTORS_PER_CLUSTER = 8,
    DB2_MAX_NAME_LEN = 12,
    DB2_TOTAL_FILES = 16,
    DB2_ARCHIVE_FILES = 20,
    DB2_TOTAL_FOLDERS = 24,   // the fields after it move by 2 bytes in the wide layout
    DB2_TOTAL_CLUSTERS = 26,
    DB2_FREE_CLUSTERS = 30,
    DB2_UPDATED = 34,
    DB2_SERIAL = 42,
    DB2_RESERVED = 46,
};

// The smallest disk record: kind, both blocks, four empty texts.
static int minDiskRecord(CatalogVariant v)
{
    return 1 + kDiskBlock1 + 2 + (v == CatalogVariant::Wide ? kDiskBlock2Wide : kDiskBlock2Narrow) + 1 + 1 + 2;
}

TTreeNode *ReadDiskHeader(TTreeNode *catalogNode)
{
    TCatalogRec *catalog = AsCatalog(NodeRec(catalogNode));
    if (!catalog || !catalog->Stream)
        structureError();
    TReadAheadStream &stream = *catalog->Stream;
    const CatalogVariant v = catalog->Variant;
    const int64_t start = stream.Position();
    const int64_t fileSize = stream.Size();
    Cursor in(stream, fileSize);

    const uint8_t kind = in.u8();
    if (ItemKind(kind) != rkDisk)
        structureError();
    uchar b1[kDiskBlock1];
    in.read(b1, kDiskBlock1);

    auto disk = std::make_unique<TDiskRec>();
    disk->KindFlags = uint8_t((kind | rfInSearch) & ~rfListBlock);   // the block flag means memory only
    disk->FileOffset = start;
    disk->RecLength = getI32(b1 + DB1_REC_LENGTH);
    disk->TreeOffset = getI32(b1 + DB1_TREE_OFFSET);
    disk->ListOffset = getI32(b1 + DB1_LIST_OFFSET);
    disk->ListBytes = getI32(b1 + DB1_LIST_BYTES);
    disk->FileCount = getI32(b1 + DB1_FILE_COUNT);
    disk->ListDescBytes = getI32(b1 + DB1_LIST_DESC_BYTES);
    if (disk->RecLength < minDiskRecord(v) || start + disk->RecLength > fileSize)
        structureError();
    in.setLimit(start + disk->RecLength);

    const QByteArray name = in.counted();

    const int block2 = v == CatalogVariant::Wide ? kDiskBlock2Wide : kDiskBlock2Narrow;
    const int shift = v == CatalogVariant::Wide ? 2 : 0;
    uchar b2[kDiskBlock2Wide];
    in.read(b2, block2);
    disk->MediaType = b2[DB2_MEDIA_TYPE];
    disk->ScanFlags = b2[DB2_SCAN_FLAGS];
    disk->BytesPerSector = getI32(b2 + DB2_BYTES_PER_SECTOR);
    disk->SectorsPerCluster = getI32(b2 + DB2_SECTORS_PER_CLUSTER);
    disk->MaxNameLen = getI32(b2 + DB2_MAX_NAME_LEN);
    disk->TotalFiles = getI32(b2 + DB2_TOTAL_FILES);
    disk->ArchiveFiles = getI32(b2 + DB2_ARCHIVE_FILES);
    disk->TotalFolders = v == CatalogVariant::Wide ? getI32(b2 + DB2_TOTAL_FOLDERS) : getU16(b2 + DB2_TOTAL_FOLDERS);
    disk->TotalClusters = getI32(b2 + DB2_TOTAL_CLUSTERS + shift);
    disk->FreeClusters = getI32(b2 + DB2_FREE_CLUSTERS + shift);
    disk->Updated = getF64(b2 + DB2_UPDATED + shift);
    disk->Serial = getU32(b2 + DB2_SERIAL + shift);
    disk->Reserved = b2[DB2_RESERVED + shift];

    disk->VolumeLabel = in.shortText(kMaxVolumeLabel);
    disk->FileSystem = in.shortText(kMaxFileSystem);
    QByteArray rootPath, desc;
    if (ItemIs(kind, rfVirtualRoot)) {
        rootPath = in.counted();
        uchar o[4];
        in.read(o, 4);
        disk->OutsideClusters = getI32(o);
    }
    desc = in.counted();
    disk->HeaderBytes = int32_t(in.pos() - start);

    if (disk->TreeOffset < disk->HeaderBytes || disk->TreeOffset > disk->RecLength)
        structureError();
    if (disk->ListOffset < 0) {
        disk->ListOffset = -1;
        disk->ListBytes = -1;
    } else if (!listFieldsValid(disk->ListOffset, disk->ListBytes, disk->FileCount, disk->ListDescBytes,
                                extentInStream(disk.get()))) {
        structureError();
    }
    disk->FilesLoaded = disk->ListOffset < 0 ? 1 : 0;
    disk->SubfoldersRead = false;
    disk->Dirty = 0;
    disk->RootPath = NewText(rootPath);
    disk->Desc = NewText(desc);

    TTreeNode *node = catalogNode->forest()->addChild(catalogNode, name);
    disk->Node = node;
    node->setData(disk.release());
    SetDiskImages(node);
    return node;
}

TTreeNode *ReadCatalog(TForest &forest, const QString &fileName)
{
    TTreeNode *catalogNode = ReadCatalogHeader(forest, fileName);
    try {
        TReadAheadStream &stream = *AsCatalog(catalogNode->data())->Stream;
        while (!stream.AtEnd()) {
            TTreeNode *diskNode = ReadDiskHeader(catalogNode);
            const TDiskRec *disk = AsDisk(diskNode->data());
            stream.Seek(disk->FileOffset + disk->TreeOffset);
            LoadSubfolders(diskNode, false, false);
            stream.Seek(disk->FileOffset + disk->RecLength);
        }
    } catch (...) {
        forest.deleteNode(catalogNode, [](TTreeNode *n) { FreeItemData(n, true, false); });
        throw;
    }
    return catalogNode;
}

//  Folder entry:
//  kind u8 | depth u8 | name CountedText |
//  ListOffset i32 | ListBytes i32 | FileCount i32 | ListDescBytes i32 | TotalSize i64 | Attr u8 |
//  Created i32 | Modified i32 | Accessed i32 | Reserved u8 | CatFlags u8 |      (the 39-byte block)
//  description CountedText
enum : int {
    FB_LIST_OFFSET = 0,
    FB_LIST_BYTES = 4,
    FB_FILE_COUNT = 8,
    FB_LIST_DESC_BYTES = 12,
    FB_TOTAL_SIZE = 16,
    FB_ATTR = 24,
    FB_CREATED = 25,
    FB_MODIFIED = 29,
    FB_ACCESSED = 33,
    FB_RESERVED = 37,
    FB_CAT_FLAGS = 38,
};

void LoadSubfolders(TTreeNode *node, bool wholeSubtree, bool withFiles)
{
    TRecordWriteScope writing;
    TItemRec *rec = NodeRec(node);
    TFolderRec *folder = AsFolder(rec);
    TDiskRec *self = AsDisk(rec);
    if (!folder && !self)
        return;
    if (folder ? folder->SubOffset <= 0 : self->SubfoldersRead) {
        // This level is in memory already; what is asked beyond it is below.
        if (withFiles)
            LoadFileList(node);
        for (TTreeNode *child : node->children()) {
            if (wholeSubtree)
                LoadSubfolders(child, true, withFiles);
            else if (withFiles)
                LoadFileList(child);
        }
        return;
    }

    int target = 1;
    for (TTreeNode *n = node; n && AsFolder(n->data()); n = n->parent())
        ++target;
    TTreeNode *diskNode = DiskNodeOf(node);
    TDiskRec *disk = diskNode ? AsDisk(diskNode->data()) : nullptr;
    TCatalogRec *catalog = catalogOfNode(node);
    if (!disk || !catalog || !catalog->Stream || extentInStream(disk).start <= 0)
        return;
    TReadAheadStream &stream = *catalog->Stream;
    const DiskExtent extent = extentInStream(disk);
    const int64_t diskStart = extent.start;
    const int64_t diskEnd = diskStart + extent.recLength;

    if (withFiles)
        LoadFileList(node);

    const int oldChildCount = node->childCount();
    const int32_t oldSubOffset = folder ? folder->SubOffset : 0;
    TForest *forest = node->forest();
    try {
        if (folder) {
            stream.Seek(diskStart + folder->SubOffset);
            folder->SubOffset = -folder->SubOffset;
        } else {
            // A disk's first level reads its whole folder part; the file is
            // asked for it at once rather than buffer by buffer.
            ::posix_fadvise(stream.Handle(), off_t(diskStart + extent.treeOffset),
                            off_t(extent.recLength - extent.treeOffset), POSIX_FADV_WILLNEED);
            stream.Seek(diskStart + extent.treeOffset);
        }
        Cursor in(stream, diskEnd);

        TTreeNode *parent = node;
        int current = target;
        int lastDepth = target;
        TTreeNode *last = nullptr;
        while (lastDepth >= target && in.pos() < diskEnd) {
            const int64_t entryPos = in.pos();
            const uint8_t kind = in.u8();
            if (ItemKind(kind) != rkFolder)
                structureError();
            const int d = in.u8();
            lastDepth = d;

            if (d == current + 1 && last) {
                TFolderRec *lastRec = AsFolder(last->data());
                if (lastRec->SubOffset == 0) {
                    lastRec->SubOffset = int32_t(entryPos - diskStart);
                    last->setExpandMark(true);
                }
            }
            if (wholeSubtree) {
                while (current > d && current > target) {
                    parent = parent->parent();
                    --current;
                }
            }
            if (d != current) {
                in.skipCounted();
                in.skip(kFolderBlock);
                in.skipCounted();
                continue;
            }

            const QByteArray name = in.counted();
            uchar b[kFolderBlock];
            in.read(b, kFolderBlock);
            const QByteArray desc = in.counted();

            auto f = std::make_unique<TFolderRec>();
            f->KindFlags = uint8_t(kind & ~rfListBlock);
            f->ListOffset = getI32(b + FB_LIST_OFFSET);
            f->ListBytes = getI32(b + FB_LIST_BYTES);
            f->FileCount = getI32(b + FB_FILE_COUNT);
            f->ListDescBytes = getI32(b + FB_LIST_DESC_BYTES);
            f->TotalSize = getI64(b + FB_TOTAL_SIZE);
            f->Attr = b[FB_ATTR];
            f->Created = getU32(b + FB_CREATED);
            f->Modified = getU32(b + FB_MODIFIED);
            f->Accessed = getU32(b + FB_ACCESSED);
            f->Reserved = b[FB_RESERVED];
            f->CatFlags = b[FB_CAT_FLAGS];
            if (f->ListOffset < 0) {
                f->ListOffset = -1;
                f->ListBytes = -1;
            } else if (!listFieldsValid(f->ListOffset, f->ListBytes, f->FileCount, f->ListDescBytes, extent)) {
                structureError();
            }
            f->FilesLoaded = f->ListOffset < 0 ? 1 : 0;
            f->DiskNode = diskNode;
            f->Desc = NewText(desc);

            TTreeNode *child = forest->addChild(parent, name);
            f->Node = child;
            child->setData(f.release());
            SetFolderImages(child);
            last = child;

            if (withFiles) {
                const int64_t resume = in.pos();
                LoadFileList(last);
                stream.Seek(resume);
            }
            if (wholeSubtree) {
                parent = last;
                current = d + 1;
            }
        }
    } catch (const EInvalidCatalog &) {
        // A damaged level: the folders read completely stay, and the level
        // counts as read, so the damage is met once, not at every look,
        // and a save rewrites the level from what is in memory.
        if (self)
            self->SubfoldersRead = true;
        throw;
    } catch (...) {
        // Anything else (memory): leave the node as it was, so that a later
        // attempt reads the level again rather than finding it half there.
        while (node->childCount() > oldChildCount)
            forest->deleteNode(node->child(node->childCount() - 1),
                               [](TTreeNode *n) { FreeItemData(n, true, false); });
        if (folder)
            folder->SubOffset = oldSubOffset;
        throw;
    }
    if (self)
        self->SubfoldersRead = true;
}

namespace {

// LoadFileList, and LoadFileListIf with a filter: true when the list was read.
bool loadFileList(TTreeNode *node, Prompter *prompter, TFileListFilter *filter)
{
    TRecordWriteScope writing;
    TItemRec *rec = NodeRec(node);
    ListFields lf = listFieldsOf(rec);
    if (!lf.filesLoaded || *lf.filesLoaded)
        return false;
    TTreeNode *diskNode = DiskNodeOf(node);
    TDiskRec *disk = diskNode ? AsDisk(diskNode->data()) : nullptr;
    TCatalogRec *catalog = catalogOfNode(node);
    if (!disk || !catalog || !catalog->Stream)
        return false;   // stays not loaded
    if (*lf.listOffset < 0 || extentInStream(disk).start <= 0) {
        *lf.filesLoaded = 1;
        return true;
    }
    TReadAheadStream &stream = *catalog->Stream;
    const CatalogVariant v = catalog->Variant;

    // The list's place was checked against the disk record when it was read,
    // and the record against the file, so ListBytes is bounded by the file.
    // The list is parsed where the stream's read window holds it; the view
    // holds until the stream's next range, and every byte taken from it is
    // copied into the records below.
    const int64_t listStart = extentInStream(disk).start + *lf.listOffset;
    const int64_t listBytes = *lf.listBytes;
    const QByteArrayView raw = stream.ReadRange(listStart, listBytes);

    // Members of a compressed file carry its flag. On a disk the flag means
    // a compressed volume, whose files are ordinary files.
    const bool compressed = AsFolder(rec) && ItemIs(rec->KindFlags, rfCompressed);
    const uint8_t kindFlags = uint8_t(rkFile | (compressed ? rfCompressed : 0));

    // First pass: how many entries are whole, and how big their records are;
    // with a filter, each entry is shown to it until it wants one.
    size_t blockBytes = 0;
    int entries = 0;
    qsizetype consumed = 0;
    FileEntry e{};
    {
        const auto *bytes = reinterpret_cast<const uchar *>(raw.data());
        const int fixedBlock = v == CatalogVariant::Wide ? kFileBlockWide : kFileBlockNarrow;
        int nameLen = 0;
        if (filter) {
            TFileEntryView view;
            view.kindFlags = kindFlags;
            while (consumed < raw.size()) {
                const int n = parseFileEntry(raw, consumed, v, e);
                if (n == 0)
                    break;
                blockBytes += FileRecStride(int(e.name.size()));
                consumed += n;
                ++entries;
                view.name = e.name;
                view.bytesBefore = int(std::min<qsizetype>(e.name.data() - raw.data(), 256));
                view.desc = e.desc;
                view.size = e.size;
                view.created = e.created;
                view.modified = e.modified;
                view.accessed = e.accessed;
                view.attr = e.attr;
                view.catFlags = e.catFlags;
                if (filter->wanted(view)) {
                    filter = nullptr;
                    break;
                }
            }
        }
        while (consumed < raw.size()) {
            const int n = fileEntryBytes(bytes, raw.size(), consumed, fixedBlock, nameLen);
            if (n == 0)
                break;
            blockBytes += FileRecStride(nameLen);
            consumed += n;
            ++entries;
        }
    }
    const bool damaged = consumed != listBytes;
    // Nothing wanted in a whole list: it stays unread.
    if (filter && !damaged)
        return false;

    SetItemFlag(rec, rfListBlock, true);
    rec->Next = nullptr;
    if (entries > 0) {
        char *block = static_cast<char *>(NewListBlock(blockBytes));
        bool anyDesc = false;
        TFileRec *prev = nullptr;
        char *place = block;
        qsizetype at = 0;
        for (int i = 0; i < entries; ++i) {
            at += parseFileEntry(raw, at, v, e);
            // Every field is set here: a stored name has at most 255 bytes
            // (its length is a byte), so it needs no cut.
            auto *f = new (place) TFileRec;
            const int nameLen = int(e.name.size());
            place += FileRecStride(nameLen);
            f->KindFlags = kindFlags;
            f->Node = node;
            f->Desc = e.desc.isEmpty() ? nullptr : NewText(e.desc);
            f->Size = e.size;
            f->Created = e.created;
            f->Modified = e.modified;
            f->Accessed = e.accessed;
            f->IconIndex = -1;
            f->Attr = e.attr;
            f->CatFlags = e.catFlags;
            f->NameLen = uint8_t(nameLen);
            std::memcpy(f->NameBytes, e.name.data(), size_t(nameLen));
            anyDesc = anyDesc || f->Desc;
            if (prev)
                prev->Next = f;
            else
                rec->Next = f;
            prev = f;
        }
        if (anyDesc)
            SetItemFlag(rec, rfHasDesc, true);
    }
    *lf.filesLoaded = 1;

    if (damaged) {
        // The chain now holds what could be read; a save that rewrites this
        // list must count exactly those files.
        *lf.fileCount = entries;
        Prompter &p = prompter ? *prompter : DefaultPrompter();
        const QString path = DecodeStored(NodePath(node, true, false));
        p.ask(QStringLiteral("Error Loading Catalog"),
              QStringLiteral("Program detected an error while trying to load files in folder \"") + path +
                  QStringLiteral("\". Catalog file may be damaged.\r\nProgram will try to recover by skipping "
                                 "the rest of files in this folder."),
              MsgIcon::Error, MsgButtons::Ok);
    }
    return true;
}

} // namespace

void LoadFileList(TTreeNode *node, Prompter *prompter)
{
    loadFileList(node, prompter, nullptr);
}

bool LoadFileListIf(TTreeNode *node, TFileListFilter &filter, Prompter *prompter)
{
    return loadFileList(node, prompter, &filter);
}

// ---- building in memory ----------------------------------------------------

TTreeNode *NewCatalogNode(TForest &forest, const QByteArray &name)
{
    auto *rec = new TCatalogRec;
    TTreeNode *node = forest.addChild(nullptr, name);
    node->setImages(tiCatalog, tiCatalog);
    node->setBold(true);
    rec->Node = node;
    node->setData(rec);
    return node;
}

TTreeNode *AddDiskNode(TTreeNode *catalogNode, const QByteArray &name, int index)
{
    auto *rec = new TDiskRec;
    TTreeNode *node = catalogNode->forest()->addChild(catalogNode, name, index);
    rec->Node = node;
    node->setData(rec);
    SetDiskImages(node);
    return node;
}

TTreeNode *AddFolderNode(TTreeNode *parentNode, const QByteArray &name, int index)
{
    auto *rec = new TFolderRec;
    TTreeNode *node = parentNode->forest()->addChild(parentNode, name, index);
    rec->Node = node;
    rec->DiskNode = DiskNodeOf(parentNode);
    node->setData(rec);
    SetFolderImages(node);
    return node;
}

namespace {

// Replaces a chain that lives in one list block by records allocated one by one.
void detachListBlock(TItemRec *rec)
{
    if (!ItemIs(rec->KindFlags, rfListBlock))
        return;
    TFileRec *block = rec->Next;
    TFileRec *prev = nullptr;
    for (TFileRec *f = block; f; f = f->Next) {
        TFileRec *copy = NewFileRec(f->name());
        TFileRec *keepNext = copy->Next;
        std::memcpy(static_cast<void *>(copy), static_cast<const void *>(f), FileRecSize(f->NameLen));
        copy->Next = keepNext;
        f->Desc = nullptr;   // the copy owns it now
        if (prev)
            prev->Next = copy;
        else
            rec->Next = copy;
        prev = copy;
    }
    if (!prev)
        rec->Next = nullptr;
    FreeListBlock(block);
    SetItemFlag(rec, rfListBlock, false);
}

} // namespace

TFileRec *AppendFile(TTreeNode *folderOrDisk, QByteArrayView name, TFileRec *after)
{
    TItemRec *rec = NodeRec(folderOrDisk);
    ListFields lf = listFieldsOf(rec);
    if (!lf.fileCount)
        return nullptr;
    if (ItemIs(rec->KindFlags, rfListBlock)) {
        detachListBlock(rec);
        after = nullptr;   // the old records are gone
    }
    TFileRec *f = NewFileRec(name);
    f->Node = folderOrDisk;
    if (ItemIs(rec->KindFlags, rfCompressed) && AsFolder(rec))
        f->KindFlags |= rfCompressed;
    if (!after) {
        after = rec->Next;
        while (after && after->Next)
            after = after->Next;
    }
    if (after)
        after->Next = f;
    else
        rec->Next = f;
    ++*lf.fileCount;
    return f;
}

// ---- writing ---------------------------------------------------------------

namespace {

// Old values of everything a save changes in memory, put back when the save
// fails so that the catalog still describes the file its stream reads.
class Journal
{
public:
    template <typename T>
    void set(T &field, T value)
    {
        if (field == value)
            return;
        m_entries.push_back({&field, sizeof(T), 0});
        std::memcpy(&m_entries.back().old, &field, sizeof(T));
        field = value;
    }
    void rollback()
    {
        for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it)
            std::memcpy(it->field, &it->old, it->size);
        m_entries.clear();
    }

private:
    struct Entry {
        void *field;
        size_t size;
        uint64_t old;
    };
    std::vector<Entry> m_entries;
};

// The writer's buffer over the new file. Knows its position, can go back to
// patch a block, and copies byte ranges of the old file. Over a file it
// writes to the descriptor itself and hands ranges of the old file to the
// system to copy, neighbouring ranges joined into one; over any other device
// the ranges pass through the old file's stream.
class CatalogWriter : public TOutStream
{
public:
    explicit CatalogWriter(QIODevice &out) : m_out(out)
    {
        m_buf.reserve(kBufferBytes);
        if (auto *file = qobject_cast<QFileDevice *>(&out); file && file->handle() >= 0 && file->flush()) {
            m_fd = file->handle();
            m_flushed = file->pos();
        }
    }

    int64_t pos() const { return m_flushed + m_copyBytes + int64_t(m_buf.size()); }

    void Write(const char *data, int64_t count) override
    {
        if (int64_t(m_buf.size()) + count > kBufferBytes)
            flush();
        if (count >= kBufferBytes) {
            put(data, count);
            return;
        }
        m_buf.insert(m_buf.end(), data, data + count);
    }
    // Appends count bytes of the old file from position from.
    void copy(TReadAheadStream &old, int64_t from, int64_t count)
    {
        if (count <= 0)
            return;
        if (m_fd < 0 || old.Handle() < 0) {
            flush();
            old.Seek(from);
            if (!old.CopyTo(*this, count))
                throw EWriteError(QStringLiteral("Cannot read the old catalog file."));
            return;
        }
        if (m_copyBytes > 0 && m_buf.empty() && m_copyFd == old.Handle() && m_copyFrom + m_copyBytes == from) {
            m_copyBytes += count;
            return;
        }
        flush();
        m_copyFd = old.Handle();
        m_copyFrom = from;
        m_copyBytes = count;
    }
    void flush()
    {
        if (m_copyBytes > 0) {
            errno = 0;
            if (!CopyFileBytes(m_copyFd, m_copyFrom, m_fd, m_flushed, m_copyBytes))
                throw EWriteError(errno ? QStringLiteral("Cannot copy the old catalog file: ") +
                                              QString::fromLocal8Bit(std::strerror(errno))
                                        : QStringLiteral("Cannot read the old catalog file."));
            m_flushed += m_copyBytes;
            m_copyBytes = 0;
        }
        if (!m_buf.empty())
            put(m_buf.data(), int64_t(m_buf.size()));
        m_buf.clear();
    }
    // Writes everything out and leaves the device at the end.
    void finish()
    {
        flush();
        if (m_fd >= 0 && !m_out.seek(m_flushed))
            fail();
    }
    // Overwrites bytes at an earlier position, then carries on at the end.
    void patch(int64_t at, const char *data, int count)
    {
        flush();
        if (m_fd >= 0) {
            if (::pwrite(m_fd, data, size_t(count), at) != count)
                fail();
            return;
        }
        if (!m_out.seek(at) || m_out.write(data, count) != count || !m_out.seek(m_flushed))
            fail();
    }

    void u8(uint8_t v) { Write(reinterpret_cast<const char *>(&v), 1); }
    void u16(uint16_t v) { little(v); }
    void i32(int32_t v) { little(v); }
    void u32(uint32_t v) { little(v); }
    void i64(int64_t v) { little(v); }
    void f64(double d) { little(std::bit_cast<quint64>(d)); }
    // CountedText, cut to 4096 bytes at a character boundary. Returns the bytes written.
    int counted(QByteArrayView text)
    {
        text = CutAtCharBoundary(text, kMaxCountedText);
        u16(uint16_t(text.size()));
        Write(text.data(), text.size());
        return 2 + int(text.size());
    }
    void shortText(QByteArrayView text, int max)
    {
        text = CutAtCharBoundary(text, std::min(max, kMaxShortText));
        u8(uint8_t(text.size()));
        Write(text.data(), text.size());
    }

private:
    // Lists written from memory are many small fields: a large buffer keeps
    // the writes few (the format leaves the writer's buffering free).
    static constexpr int64_t kBufferBytes = int64_t(1) << 20;

    // One field in the file's little-endian order.
    template <typename T>
    void little(T v)
    {
        char b[sizeof(T)];
        qToLittleEndian(v, b);
        Write(b, sizeof(T));
    }

    [[noreturn]] void fail()
    {
        const QString why = m_fd >= 0 ? QString::fromLocal8Bit(std::strerror(errno)) : m_out.errorString();
        throw EWriteError(QStringLiteral("Cannot write the catalog file: ") + why);
    }
    void put(const char *data, int64_t count)
    {
        if (m_fd >= 0) {
            for (int64_t done = 0; done < count;) {
                const ssize_t n = ::pwrite(m_fd, data + done, size_t(count - done), m_flushed + done);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    fail();
                done += n;
            }
        } else if (m_out.write(data, count) != count) {
            fail();
        }
        m_flushed += count;
    }

    QIODevice &m_out;
    int m_fd = -1;   // the file's descriptor when out is a file
    std::vector<char> m_buf;
    int64_t m_flushed = 0;
    // A copy of the old file not yet made; it comes before the buffer.
    int m_copyFd = -1;
    int64_t m_copyFrom = 0;
    int64_t m_copyBytes = 0;
};

bool sizeFitsNarrow(int64_t size)
{
    return size >= std::numeric_limits<int32_t>::min() && size <= std::numeric_limits<int32_t>::max();
}

// Pre-order walk of a disk's subtree over the nodes in memory: the disk, then
// each folder followed by its subtree. visit may add children to the node it
// is given (reading a folder level) before they are walked.
template <typename Visit>
void walkDisk(TTreeNode *diskNode, Visit &&visit)
{
    std::vector<std::pair<TTreeNode *, int>> stack{{diskNode, 0}};
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        visit(node, depth);
        const auto &children = node->children();
        for (size_t i = children.size(); i-- > 0;)
            stack.push_back({children[i], depth + 1});
    }
}

// Writes one file entry; returns the bytes its description took (with its length field).
int writeFileEntry(CatalogWriter &w, const FileEntry &e, CatalogVariant v)
{
    w.shortText(e.name, kMaxShortText);
    w.u8(e.attr);
    w.u32(e.created);
    w.u32(e.modified);
    w.u32(e.accessed);
    if (v == CatalogVariant::Wide) {
        w.i64(e.size);
    } else {
        if (!sizeFitsNarrow(e.size))
            throw EWriteError(QStringLiteral("A file size does not fit the catalog layout."));
        w.i32(int32_t(e.size));
    }
    w.u8(e.catFlags);
    return w.counted(e.desc);
}

FileEntry entryOf(const TFileRec *f)
{
    return {f->name(), TextView(f->Desc), f->Size, f->Created, f->Modified, f->Accessed, f->Attr, f->CatFlags};
}

// Scans a list held in memory for a size the narrow layout cannot hold.
// A list that does not parse counts as needing the wide layout (be safe).
bool listNeedsWide(QByteArrayView list, CatalogVariant v)
{
    FileEntry e;
    for (qsizetype at = 0; at < list.size();) {
        const int n = parseFileEntry(list, at, v, e);
        if (n == 0)
            return true;
        if (!sizeFitsNarrow(e.size))
            return true;
        at += n;
    }
    return false;
}

// The 24-byte block after a disk's kind byte, from the values in memory.
std::array<char, kDiskBlock1> block1Of(const TDiskRec *disk)
{
    std::array<char, kDiskBlock1> block;
    auto put32 = [&](int at, int32_t v) {
        const auto u = uint32_t(v);
        for (int k = 0; k < 4; ++k)
            block[size_t(at + k)] = char(u >> (8 * k));
    };
    put32(DB1_REC_LENGTH, disk->RecLength);
    put32(DB1_TREE_OFFSET, disk->TreeOffset);
    put32(DB1_LIST_OFFSET, disk->ListOffset);
    put32(DB1_LIST_BYTES, disk->ListBytes);
    put32(DB1_FILE_COUNT, disk->FileCount);
    put32(DB1_LIST_DESC_BYTES, disk->ListDescBytes);
    return block;
}

// Reads a folder's child level for a rewrite. A damaged level keeps what
// could be read (LoadSubfolders counts it as read); the save goes on with
// that and says so, as browsing would have.
void loadLevelForSave(TTreeNode *folderNode)
{
    try {
        LoadSubfolders(folderNode, false, false);
    } catch (const EInvalidCatalog &e) {
        const QString path = DecodeStored(NodePath(folderNode, true, false));
        DefaultPrompter().ask(QStringLiteral("Error Loading Catalog"),
                              QStringLiteral("Program detected an error while trying to load the folders in folder \"") +
                                  path + QStringLiteral("\". Catalog file may be damaged.\r\n") + e.message() +
                                  QStringLiteral("\r\nThe folders that could be read are saved."),
                              MsgIcon::Error, MsgButtons::Ok);
    }
}

class Saver
{
public:
    Saver(TTreeNode *catalogNode, QIODevice &out, CatalogVariant target, Journal &journal,
          const std::function<void(TTreeNode *)> &diskWritten)
        : m_catalogNode(catalogNode), m_catalog(AsCatalog(catalogNode->data())), m_w(out), m_target(target),
          m_journal(journal), m_diskWritten(diskWritten)
    {
    }

    void run();

private:
    void copyDisk(TTreeNode *diskNode);
    void writeDisk(TTreeNode *diskNode);
    // Copies a never-read list from the old file; false when it is damaged
    // and cannot be converted to the new layout (nothing is written then).
    bool copyOldList(int64_t oldStart, int32_t bytes);
    int32_t relative(int64_t position, const TDiskRec *disk)
    {
        const int64_t rel = position - disk->FileOffset;
        if (rel > std::numeric_limits<int32_t>::max())
            throw EWriteError(QStringLiteral("A disk is too large for the catalog layout."));
        return int32_t(rel);
    }

    TTreeNode *m_catalogNode;
    TCatalogRec *m_catalog;
    CatalogWriter m_w;
    CatalogVariant m_target;
    Journal &m_journal;
    const std::function<void(TTreeNode *)> &m_diskWritten;
};

void Saver::run()
{
    m_w.Write(m_target == CatalogVariant::Wide ? kSignatureWide : kSignatureNarrow, kSignatureBytes);
    m_w.counted(m_catalogNode->text());
    m_w.counted(TextView(m_catalog->Desc));

    const bool anyFlag = TextLength(m_catalog->FlagNames[0]) || TextLength(m_catalog->FlagNames[1]) ||
                         TextLength(m_catalog->FlagNames[2]);
    const size_t categories = std::min<size_t>(m_catalog->Categories.size(), 254);
    if (categories > 0) {
        m_w.u8(uint8_t(categories));
        for (size_t i = 0; i < categories; ++i) {
            m_w.counted(m_catalog->Categories[i].Name);
            m_w.u8(m_catalog->Categories[i].Code);
        }
    } else {
        m_w.u8(anyFlag ? 255 : 0);
    }
    if (categories > 0 || anyFlag)
        for (const TText flag : m_catalog->FlagNames)
            m_w.counted(TextView(flag));
    m_journal.set<uint8_t>(m_catalog->Dirty, 0);

    for (TTreeNode *diskNode : m_catalogNode->children()) {
        TDiskRec *disk = AsDisk(diskNode->data());
        if (!disk)
            continue;
        if (!disk->Dirty && disk->FileOffset > 0 && m_catalog->Stream && m_catalog->Variant == m_target) {
            copyDisk(diskNode);
        } else {
            writeDisk(diskNode);
            m_journal.set<uint8_t>(disk->Dirty, 0);
        }
        if (m_diskWritten)
            m_diskWritten(diskNode);
    }
    m_w.finish();
}

void Saver::copyDisk(TTreeNode *diskNode)
{
    TDiskRec *disk = AsDisk(diskNode->data());
    const int64_t newStart = m_w.pos();
    m_w.copy(*m_catalog->Stream, disk->FileOffset, disk->RecLength);
    m_journal.set<int64_t>(disk->FileOffset, newStart);
}

bool Saver::copyOldList(int64_t oldStart, int32_t bytes)
{
    TReadAheadStream &stream = *m_catalog->Stream;
    if (m_catalog->Variant == m_target) {
        m_w.copy(stream, oldStart, bytes);
        return true;
    }
    stream.Seek(oldStart);
    // The layouts differ: carry the entries over one by one, once the whole
    // list is known to parse.
    QByteArray raw(bytes, Qt::Uninitialized);
    if (stream.Read(raw.data(), bytes) != bytes)
        return false;
    std::vector<FileEntry> entries;
    FileEntry e;
    for (qsizetype at = 0; at < raw.size();) {
        const int n = parseFileEntry(raw, at, m_catalog->Variant, e);
        if (n == 0)
            return false;
        entries.push_back(e);
        at += n;
    }
    for (const FileEntry &entry : entries)
        writeFileEntry(m_w, entry, m_target);
    return true;
}

void Saver::writeDisk(TTreeNode *diskNode)
{
    TDiskRec *disk = AsDisk(diskNode->data());
    const int64_t oldStart = disk->FileOffset;
    // The reader keeps reading the old record by its old extent meanwhile.
    m_journal.set<int64_t>(disk->OldFileOffset, oldStart);
    m_journal.set<int32_t>(disk->OldHeaderBytes, disk->HeaderBytes);
    m_journal.set<int32_t>(disk->OldTreeOffset, disk->TreeOffset);
    m_journal.set<int32_t>(disk->OldRecLength, disk->RecLength);
    m_journal.set<bool>(disk->Writing, true);
    m_journal.set<int64_t>(disk->FileOffset, m_w.pos());
    const bool hasOld = oldStart > 0 && m_catalog->Stream;

    m_w.u8(disk->KindFlags);
    m_w.Write(block1Of(disk).data(), kDiskBlock1);   // a placeholder until the offsets are known
    m_w.counted(diskNode->text());
    m_w.u8(disk->MediaType);
    m_w.u8(disk->ScanFlags);
    m_w.u16(0);
    m_w.i32(disk->BytesPerSector);
    m_w.i32(disk->SectorsPerCluster);
    m_w.i32(disk->MaxNameLen);
    m_w.i32(disk->TotalFiles);
    m_w.i32(disk->ArchiveFiles);
    if (m_target == CatalogVariant::Wide)
        m_w.i32(disk->TotalFolders);
    else if (disk->TotalFolders >= 0 && disk->TotalFolders <= 0xFFFF)
        m_w.u16(uint16_t(disk->TotalFolders));
    else
        throw EWriteError(QStringLiteral("A folder count does not fit the catalog layout."));
    m_w.i32(disk->TotalClusters);
    m_w.i32(disk->FreeClusters);
    m_w.f64(disk->Updated);
    m_w.u32(disk->Serial);
    m_w.u8(disk->Reserved);
    m_w.shortText(disk->VolumeLabel, kMaxVolumeLabel);
    m_w.shortText(disk->FileSystem, kMaxFileSystem);
    if (ItemIs(disk->KindFlags, rfVirtualRoot)) {
        m_w.counted(TextView(disk->RootPath));
        m_w.i32(disk->OutsideClusters);
    }
    m_w.counted(TextView(disk->Desc));
    m_journal.set<int32_t>(disk->HeaderBytes, relative(m_w.pos(), disk));

    // First pass: the file lists, reading every folder level on the way.
    walkDisk(diskNode, [&](TTreeNode *node, int) {
        TItemRec *rec = node->data();
        if (AsFolder(rec))
            loadLevelForSave(node);
        ListFields lf = listFieldsOf(rec);
        const int64_t listStart = m_w.pos();
        bool copied = false;
        if (!*lf.filesLoaded && hasOld && *lf.listOffset >= 0) {
            copied = copyOldList(oldStart + *lf.listOffset, *lf.listBytes);
            if (!copied)
                LoadFileList(node);   // damaged and must change layout: read what can be read
        }
        if (!copied && *lf.filesLoaded) {
            int descBytes = 0;
            for (const TFileRec *f = rec->Next; f; f = f->Next)
                descBytes += writeFileEntry(m_w, entryOf(f), m_target);
            m_journal.set<int32_t>(*lf.listDescBytes, descBytes);
        }
        const int64_t written = m_w.pos() - listStart;
        if (written == 0) {
            m_journal.set<int32_t>(*lf.listOffset, -1);
            m_journal.set<int32_t>(*lf.listBytes, -1);
        } else {
            m_journal.set<int32_t>(*lf.listOffset, relative(listStart, disk));
            m_journal.set<int32_t>(*lf.listBytes, relative(m_w.pos(), disk) - relative(listStart, disk));
        }
    });
    m_journal.set<int32_t>(disk->TreeOffset, relative(m_w.pos(), disk));

    // Second pass: the folder tree.
    walkDisk(diskNode, [&](TTreeNode *node, int depth) {
        TFolderRec *f = AsFolder(node->data());
        if (!f)
            return;
        if (depth > kMaxFolderDepth)
            throw EWriteError(QStringLiteral("Folders are nested too deeply for the catalog layout."));
        m_w.u8(f->KindFlags);
        m_w.u8(uint8_t(depth));
        m_w.counted(node->text());
        m_w.i32(f->ListOffset);
        m_w.i32(f->ListBytes);
        m_w.i32(f->FileCount);
        m_w.i32(f->ListDescBytes);
        m_w.i64(f->TotalSize);
        m_w.u8(f->Attr);
        m_w.u32(f->Created);
        m_w.u32(f->Modified);
        m_w.u32(f->Accessed);
        m_w.u8(f->Reserved);
        m_w.u8(f->CatFlags);
        m_w.counted(TextView(f->Desc));
    });
    m_journal.set<int32_t>(disk->RecLength, relative(m_w.pos(), disk));

    m_w.patch(disk->FileOffset + 1, block1Of(disk).data(), kDiskBlock1);
    disk->Writing = false;   // stays false on rollback too: the old start is FileOffset again
}

// True when every folder level and file list of the disk is in memory.
bool diskInMemory(TTreeNode *diskNode)
{
    bool all = true;
    walkDisk(diskNode, [&](TTreeNode *node, int) {
        TItemRec *rec = node->data();
        if (TFolderRec *f = AsFolder(rec))
            all = all && f->SubOffset <= 0 && f->FilesLoaded;
        else if (TDiskRec *d = AsDisk(rec))
            all = all && d->FilesLoaded;
    });
    return all;
}

} // namespace

CatalogVariant RequiredVariant(TTreeNode *catalogNode)
{
    TCatalogRec *catalog = AsCatalog(NodeRec(catalogNode));
    if (!catalog)
        return CatalogVariant::Narrow;
    for (TTreeNode *diskNode : catalogNode->children()) {
        TDiskRec *disk = AsDisk(diskNode->data());
        if (!disk)
            continue;
        if (disk->TotalFolders < 0 || disk->TotalFolders > 0xFFFF)
            return CatalogVariant::Wide;
        bool wide = false;
        walkDisk(diskNode, [&](TTreeNode *node, int) {
            for (const TFileRec *f = node->data()->Next; f && !wide; f = f->Next)
                wide = !sizeFitsNarrow(f->Size);
        });
        if (wide)
            return CatalogVariant::Wide;
        // Unread lists of a wide file may hold large sizes: look at the old
        // file's list part as a whole (stale lists only make this cautious).
        if (catalog->Variant == CatalogVariant::Wide && catalog->Stream && disk->FileOffset > 0) {
            const DiskExtent extent = extentInStream(disk);
            const int32_t bytes = extent.treeOffset - extent.headerBytes;
            if (bytes > 0) {
                QByteArray raw(bytes, Qt::Uninitialized);
                catalog->Stream->Seek(extent.start + extent.headerBytes);
                if (catalog->Stream->Read(raw.data(), bytes) != bytes || listNeedsWide(raw, CatalogVariant::Wide))
                    return CatalogVariant::Wide;
            }
        }
    }
    return CatalogVariant::Narrow;
}

namespace {

// WriteCatalog, with the old values of everything it changed left in journal
// on success (so that a caller can still undo it) and put back on failure.
CatalogVariant writeCatalogJournaled(TTreeNode *catalogNode, QIODevice &out, Journal &journal,
                                     const std::function<void(TTreeNode *)> &diskWritten = {})
{
    TCatalogRec *catalog = AsCatalog(NodeRec(catalogNode));
    if (!catalog)
        throw EWriteError(QStringLiteral("Not a catalog."));
    if (!catalog->Stream) {
        for (TTreeNode *diskNode : catalogNode->children()) {
            const TDiskRec *disk = AsDisk(diskNode->data());
            if (disk && disk->FileOffset > 0 && !diskInMemory(diskNode))
                throw EWriteError(QStringLiteral("The catalog file that holds disk \"") +
                                  DecodeStored(diskNode->text()) +
                                  QStringLiteral("\" can no longer be read, so the catalog cannot be saved without "
                                                 "losing that disk's data."));
        }
    }
    const CatalogVariant target = RequiredVariant(catalogNode);
    Saver saver(catalogNode, out, target, journal, diskWritten);
    try {
        saver.run();
    } catch (...) {
        journal.rollback();
        throw;
    }
    return target;
}

} // namespace

struct TSaveUndo::Impl {
    Journal journal;
};

TSaveUndo::TSaveUndo() : m_impl(std::make_unique<Impl>()) {}
TSaveUndo::~TSaveUndo() = default;

void TSaveUndo::undo()
{
    m_impl->journal.rollback();
}

CatalogVariant WriteCatalogUndoable(TTreeNode *catalogNode, QIODevice &out, TSaveUndo &undo,
                                    const std::function<void(TTreeNode *diskNode)> &diskWritten)
{
    return writeCatalogJournaled(catalogNode, out, undo.m_impl->journal, diskWritten);
}

CatalogVariant WriteCatalog(TTreeNode *catalogNode, QIODevice &out)
{
    Journal journal;
    return writeCatalogJournaled(catalogNode, out, journal);
}

void SaveCatalogTo(TTreeNode *catalogNode, const QString &fileName)
{
    TCatalogRec *catalog = AsCatalog(NodeRec(catalogNode));
    if (!catalog)
        throw EWriteError(QStringLiteral("Not a catalog."));
    const QString target = QFileInfo(fileName).absoluteFilePath();
    TNewCatalogFile::RemoveStale(target);
    TNewCatalogFile file(QFileInfo(target).absolutePath(), target);
    Journal journal;
    const CatalogVariant written = writeCatalogJournaled(catalogNode, file.device(), journal);
    const QString temporary = file.sync() ? file.name() : QString();
    if (temporary.isEmpty() ||
        ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0) {
        // The new file never came to be: the catalog goes on describing the old one.
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        journal.rollback();
        throw EWriteError(QStringLiteral("Cannot write the catalog file: ") + why);
    }
    file.release();
    SyncFolder(QFileInfo(target).absolutePath());
    catalog->FileName = target;
    catalog->Variant = written;
    try {
        catalog->Stream = std::make_unique<TReadAheadStream>(catalog->FileName, kCatalogReadBuffer);
    } catch (const EStreamError &) {
        // Everything now refers to the new file, which cannot be read: the
        // next save refuses rather than write the disks without their data.
        catalog->Stream.reset();
        throw;
    }
}
