// The records of the catalog forest: one catalog record per open catalog, a
// disk record per catalogued medium, a folder record per folder, and chains of
// variable-sized file records hanging from folders and disks. Also the small
// functions every part of the program uses on records: kind and flag tests,
// disk space arithmetic, folder paths, the "modified" marks, and freeing.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TTreeNode;
class TReadAheadStream;
struct TFileRec;

// Kinds live in bits 0-2 of the kind byte; flags above them.
enum : uint8_t {
    rkFile = 1,
    rkFolder = 2,
    rkDisk = 3,
    rkCatalog = 4,

    rfHasDesc = 0x08,
    rfCompressed = 0x10,
    rfInSearch = 0x20,
    rfListBlock = 0x40,
    rfVirtualRoot = 0x80,
};

// File attribute bits as the media store them.
enum : uint8_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSystem = 0x04,
    faDirectory = 0x10,
    faArchive = 0x20,
};

// Length limits of the stored texts, in bytes.
inline constexpr int kMaxShortText = 255;
inline constexpr int kMaxCountedText = 4096;
inline constexpr int kMaxVolumeLabel = 33;
inline constexpr int kMaxFileSystem = 8;
inline constexpr int kMaxFolderDepth = 255;

// Owned text: one heap block holding a 16-bit length, the bytes and a zero.
// Null means "no text". Texts longer than 65535 bytes are cut (no stored text
// may exceed 4096 bytes anyway).
using TText = char *;
TText NewText(QByteArrayView bytes);          // null for an empty view
void FreeText(TText &text);                   // frees and nulls
QByteArrayView TextView(const char *text);    // empty view for null
int TextLength(const char *text);

// The header every record starts with.
struct TItemRec {
    TFileRec *Next = nullptr;     // folder/disk: first file of its chain; file: next file
    TTreeNode *Node = nullptr;    // the record's node; for a file the node of its folder or disk
    int16_t SearchListPos = -1;   // position hints, see ResultLists.h
    int16_t UserListPos = -1;
    int16_t DupListPos = -1;
    uint8_t KindFlags = 0;
};

// A file, or a member of a compressed file. Variable-sized: the record takes
// its fixed part plus the bytes of its name and no more, so it is never
// constructed directly; see NewFileRec and the list blocks of LoadSave.
// Sizes are 64-bit in memory; the narrow file layout stores 32 bits.
struct TFileRec : TItemRec {
    TText Desc;
    int64_t Size;
    uint32_t Created;    // packed date-time; for a compressed member: its CRC
    uint32_t Modified;
    uint32_t Accessed;   // for a compressed member: its packed size
    int16_t IconIndex;   // memory only, -1 until looked up
    uint8_t Attr;
    uint8_t CatFlags;    // bits 0-4 category code, bits 5-7 flags 1-3
    uint8_t NameLen;
    char NameBytes[1];   // NameLen bytes follow; not zero-terminated

    QByteArrayView name() const { return QByteArrayView(NameBytes, NameLen); }
};

// TFileRec is not standard-layout (it extends TItemRec), but it has no virtual
// members or virtual bases, so offsetof is well defined on every compiler we use.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
inline constexpr size_t kFileRecFixed = offsetof(TFileRec, NameBytes);
#pragma GCC diagnostic pop
// Bytes a file record with a name of nameLen bytes occupies.
inline constexpr size_t FileRecSize(int nameLen) { return kFileRecFixed + size_t(nameLen); }
// The same, rounded up so that the next record of a list block stays aligned.
inline constexpr size_t FileRecStride(int nameLen)
{
    return (FileRecSize(nameLen) + alignof(TFileRec) - 1) & ~(alignof(TFileRec) - 1);
}

// Allocates a file record on its own (a scan or an import); the name is cut
// to 255 bytes at a character boundary. Freed by FreeFileRec.
TFileRec *NewFileRec(QByteArrayView name);
// Initialises a file record in place (inside a list block or a NewFileRec block).
void InitFileRec(TFileRec *rec, QByteArrayView name);
void FreeFileRec(TFileRec *rec);

// The memory of a list block (a file chain read from the file in one
// piece). The blocks of dropped lists are kept for the next lists read, so
// a walk that reads and drops list after list reuses the same memory.
void *NewListBlock(size_t bytes);   // raises std::bad_alloc
void FreeListBlock(void *block);    // null does nothing

struct TFolderRec : TItemRec {
    uint8_t FilesLoaded = 1;
    uint8_t Attr = faDirectory;
    uint8_t Reserved = 0;
    uint8_t CatFlags = 0;
    int32_t SubOffset = 0;       // child folders' records, relative to the disk start; <0 = read
    int32_t ListOffset = -1;     // file list, relative to the disk start; -1 = none
    int32_t ListBytes = -1;
    int32_t FileCount = 0;
    int32_t ListDescBytes = 0;
    int64_t TotalSize = 0;       // bytes x 10000 of the whole subtree
    uint32_t Created = 0, Modified = 0, Accessed = 0;
    TText PathCache = nullptr;   // memory only
    TTreeNode *DiskNode = nullptr;
    TText Desc = nullptr;

    TFolderRec() { KindFlags = rkFolder; }
};

struct TDiskRec : TItemRec {
    uint8_t FilesLoaded = 1;
    uint8_t Dirty = 1;
    uint8_t MediaType = 5;
    uint8_t ScanFlags = 0;
    uint8_t Reserved = 0;
    int64_t FileOffset = 0;      // absolute position of the disk's record in the file; <=0 = not in it
    int64_t OldFileOffset = 0;   // while a save rewrites this disk: where it starts in the old file,
    int32_t OldHeaderBytes = 0;  // and its extent there (the fields below describe the new file by then)
    int32_t OldTreeOffset = 0;
    int32_t OldRecLength = 0;
    bool Writing = false;        // a save is rewriting this disk right now
    bool SubfoldersRead = true;  // memory only: the first folder level is in memory
    int32_t RecLength = 0;
    int32_t TreeOffset = 0;
    int32_t ListOffset = -1;
    int32_t ListBytes = -1;
    int32_t FileCount = 0;
    int32_t ListDescBytes = 0;
    int32_t HeaderBytes = 0;     // memory only: bytes of fields 1-27 in the file it was read from
    int32_t BytesPerSector = 512;
    int32_t SectorsPerCluster = 1;
    int32_t MaxNameLen = 255;
    int32_t TotalFiles = 0;
    int32_t ArchiveFiles = 0;
    int32_t TotalFolders = 0;    // 16 bits in the narrow layout, 32 in the wide one
    int32_t TotalClusters = 0;
    int32_t FreeClusters = 0;
    int32_t OutsideClusters = 0;
    double Updated = 0;          // days since 1899-12-30, local time
    uint32_t Serial = 0;
    QByteArray VolumeLabel;      // at most 33 bytes
    QByteArray FileSystem;       // at most 8 bytes
    TText RootPath = nullptr;
    TText Desc = nullptr;

    TDiskRec() { KindFlags = rkDisk | rfInSearch; }
};

struct TCategory {
    QByteArray Name;
    uint8_t Code = 0;   // 1 to 31
};

// Which layout of the catalog file a catalog was read from or written to.
enum class CatalogVariant : uint8_t {
    Narrow = 1,   // "Catalog 1.00": 32-bit file sizes, 16-bit folder counts
    Wide = 2,     // "Catalog 2.00": 64-bit file sizes, 32-bit folder counts
};

struct TCatalogRec : TItemRec {
    uint8_t Dirty = 0;
    TText Desc = nullptr;
    std::unique_ptr<TReadAheadStream> Stream;   // open on FileName; null when never saved
    std::vector<TCategory> Categories;          // at most 31
    TText FlagNames[3] = {nullptr, nullptr, nullptr};
    QString FileName;
    CatalogVariant Variant = CatalogVariant::Narrow;   // layout of the file Stream reads

    TCatalogRec();
    ~TCatalogRec();
};

// Kind and flag tests on a kind byte.
inline uint8_t ItemKind(uint8_t kindFlags) { return kindFlags & 7; }
// For v <= 7: the kind equals v. Otherwise: any bit of v is set.
inline bool ItemIs(uint8_t kindFlags, uint8_t v)
{
    return v <= 7 ? (kindFlags & 7) == v : (kindFlags & v) != 0;
}
// For v <= 7: replaces the kind and keeps the flags. Otherwise sets or clears v's bits.
inline void SetItemFlag(TItemRec *rec, uint8_t v, bool on)
{
    if (v <= 7)
        rec->KindFlags = uint8_t((rec->KindFlags & ~7) | v);
    else if (on)
        rec->KindFlags |= v;
    else
        rec->KindFlags &= uint8_t(~v);
}

TItemRec *NodeRec(const TTreeNode *node);
TDiskRec *AsDisk(TItemRec *rec);       // null unless a disk
TFolderRec *AsFolder(TItemRec *rec);   // null unless a folder
TCatalogRec *AsCatalog(TItemRec *rec); // null unless a catalog

// Whether node holds a record of the kind (rkCatalog, rkDisk, ...); false for null.
bool NodeIs(const TTreeNode *node, uint8_t kind);
// Walks up from node to the first node of the given kind; null when none.
TTreeNode *FindUp(TTreeNode *node, uint8_t kind);
inline TTreeNode *DiskNodeOf(TTreeNode *node) { return FindUp(node, rkDisk); }
inline TTreeNode *CatalogNodeOf(TTreeNode *node) { return FindUp(node, rkCatalog); }

// Byte counts of a disk as bytes x 10000: 0 capacity, 1 free, 2 used, 3 outside
// the catalogued content; any other selector yields 0.
int64_t DiskSpace(const TDiskRec *disk, int which);

// Expected size in bytes of the catalog's file.
int64_t CatalogSizeEstimate(TTreeNode *catalogNode);

// The path of a folder or disk on its medium with "\" separators; empty for
// other kinds. Caches folder paths in PathCache.
QByteArray NodePath(TTreeNode *node, bool keepArchiveName, bool withRoot);
// Clears PathCache of a folder and every folder below it (after a rename or move).
void ClearPathCache(TTreeNode *node);

// Recomputes rfHasDesc of a folder or disk from its chain; an empty chain leaves it.
void UpdateHasDesc(TItemRec *folderOrDisk);

// Change marks. SetDiskDirty walks to the disk (nothing above disk level) and
// marks it and its catalog; SetCatalogDirty marks the catalog and calls the hook.
void SetDiskDirty(TTreeNode *node, bool value);
void SetCatalogDirty(TTreeNode *node, bool value);
// Called after every SetCatalogDirty with the catalog node (the main window's
// modified indicators). Pass an empty function to remove it.
void SetCatalogDirtyHook(std::function<void(TTreeNode *catalogNode)> hook);

// Frees the file chain of the node's record and, with freeRecord, the record.
// Without keepListRefs, freed records are first nulled in the result lists.
void FreeItemData(TTreeNode *node, bool freeRecord, bool keepListRefs);
// Drops the file chain of a folder or disk read from the file, so that the
// next LoadFileList reads it again.
void UnloadFileList(TTreeNode *node);

// Number of files in the chain starting at first.
int ChainLength(const TFileRec *first);
