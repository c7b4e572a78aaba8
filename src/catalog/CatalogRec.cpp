// Record helpers: texts, file record allocation, kind walks, disk space,
// paths, change marks and freeing.
#include "catalog/CatalogRec.h"

#include "catalog/Forest.h"
#include "catalog/ReadAhead.h"
#include "catalog/RecordLock.h"
#include "catalog/ResultLists.h"
#include "platform/ByteTotals.h"
#include "platform/Texts.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include <malloc.h>

// ---- texts ---------------------------------------------------------------

TText NewText(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return nullptr;
    const size_t len = size_t(std::min<qsizetype>(bytes.size(), 0xFFFF));
    auto *block = static_cast<char *>(std::malloc(len + 3));
    if (!block)
        throw std::bad_alloc();
    block[0] = char(len & 0xFF);
    block[1] = char(len >> 8);
    std::memcpy(block + 2, bytes.data(), len);
    block[len + 2] = 0;
    return block;
}

void FreeText(TText &text)
{
    std::free(text);
    text = nullptr;
}

int TextLength(const char *text)
{
    return text ? int(uchar(text[0])) | (int(uchar(text[1])) << 8) : 0;
}

QByteArrayView TextView(const char *text)
{
    return text ? QByteArrayView(text + 2, TextLength(text)) : QByteArrayView();
}

// ---- file records --------------------------------------------------------

void InitFileRec(TFileRec *rec, QByteArrayView name)
{
    name = CutAtCharBoundary(name, kMaxShortText);
    new (rec) TFileRec;
    rec->KindFlags = rkFile;
    rec->Desc = nullptr;
    rec->Size = 0;
    rec->Created = rec->Modified = rec->Accessed = 0;
    rec->IconIndex = -1;
    rec->Attr = faArchive;
    rec->CatFlags = 0;
    rec->NameLen = uint8_t(name.size());
    std::memcpy(rec->NameBytes, name.data(), size_t(name.size()));
}

TFileRec *NewFileRec(QByteArrayView name)
{
    const int len = int(std::min<qsizetype>(name.size(), kMaxShortText));
    void *mem = std::malloc(FileRecStride(len));
    if (!mem)
        throw std::bad_alloc();
    auto *rec = static_cast<TFileRec *>(mem);
    InitFileRec(rec, name);
    return rec;
}

void FreeFileRec(TFileRec *rec)
{
    if (!rec)
        return;
    FreeText(rec->Desc);
    std::free(rec);
}

// ---- list blocks ----------------------------------------------------------

namespace {

// A few blocks of dropped lists, per thread (lists are read and dropped in
// the thread that owns the tree). Small: a walk drops one list before it
// reads the next, so one or two blocks are what it reuses.
class ListBlockCache
{
public:
    static constexpr int kBlocks = 8;
    static constexpr size_t kLargest = 256 * 1024;

    ~ListBlockCache()
    {
        for (int i = 0; i < m_count; ++i)
            std::free(m_blocks[i].memory);
    }

    // The smallest kept block that holds bytes without wasting more than as
    // much again; null when none.
    void *take(size_t bytes)
    {
        int best = -1;
        for (int i = 0; i < m_count; ++i)
            if (m_blocks[i].capacity >= bytes && m_blocks[i].capacity <= 2 * bytes + 4096 &&
                (best < 0 || m_blocks[i].capacity < m_blocks[best].capacity))
                best = i;
        if (best < 0)
            return nullptr;
        void *memory = m_blocks[best].memory;
        m_blocks[best] = m_blocks[--m_count];
        return memory;
    }

    void give(void *memory)
    {
        const size_t capacity = malloc_usable_size(memory);
        if (capacity > kLargest) {
            std::free(memory);
            return;
        }
        if (m_count == kBlocks) {
            // The oldest goes: the next lists are more like the last ones.
            std::free(m_blocks[0].memory);
            std::memmove(m_blocks, m_blocks + 1, sizeof(Block) * (kBlocks - 1));
            --m_count;
        }
        m_blocks[m_count++] = {memory, capacity};
    }

private:
    struct Block {
        void *memory;
        size_t capacity;
    };
    Block m_blocks[kBlocks] = {};
    int m_count = 0;
};

thread_local ListBlockCache t_listBlocks;

} // namespace

void *NewListBlock(size_t bytes)
{
    if (void *memory = t_listBlocks.take(bytes))
        return memory;
    void *memory = std::malloc(std::max<size_t>(bytes, 1));
    if (!memory)
        throw std::bad_alloc();
    return memory;
}

void FreeListBlock(void *block)
{
    if (block)
        t_listBlocks.give(block);
}

int ChainLength(const TFileRec *first)
{
    int n = 0;
    for (; first; first = first->Next)
        ++n;
    return n;
}

// ---- catalog record ------------------------------------------------------

TCatalogRec::TCatalogRec()
{
    KindFlags = rkCatalog;
}

TCatalogRec::~TCatalogRec()
{
    FreeText(Desc);
    for (auto &name : FlagNames)
        FreeText(name);
}

// ---- kinds and walks -----------------------------------------------------

TItemRec *NodeRec(const TTreeNode *node)
{
    return node ? node->data() : nullptr;
}

TDiskRec *AsDisk(TItemRec *rec)
{
    return rec && ItemKind(rec->KindFlags) == rkDisk ? static_cast<TDiskRec *>(rec) : nullptr;
}

TFolderRec *AsFolder(TItemRec *rec)
{
    return rec && ItemKind(rec->KindFlags) == rkFolder ? static_cast<TFolderRec *>(rec) : nullptr;
}

TCatalogRec *AsCatalog(TItemRec *rec)
{
    return rec && ItemKind(rec->KindFlags) == rkCatalog ? static_cast<TCatalogRec *>(rec) : nullptr;
}

bool NodeIs(const TTreeNode *node, uint8_t kind)
{
    return node && node->data() && ItemIs(node->data()->KindFlags, kind);
}

TTreeNode *FindUp(TTreeNode *node, uint8_t kind)
{
    for (; node; node = node->parent()) {
        const TItemRec *rec = node->data();
        if (rec && ItemKind(rec->KindFlags) == kind)
            return node;
    }
    return nullptr;
}

// ---- disk space ----------------------------------------------------------

int64_t DiskSpace(const TDiskRec *disk, int which)
{
    if (!disk)
        return 0;
    // The cluster arithmetic wraps like 32-bit signed integers do on the
    // machines the format comes from, so a damaged record gives the same
    // (possibly negative) numbers everywhere instead of undefined behaviour.
    auto sub = [](int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); };
    const bool virtualRoot = ItemIs(disk->KindFlags, rfVirtualRoot);
    const int32_t used = sub(sub(disk->TotalClusters, disk->FreeClusters), disk->OutsideClusters);
    int32_t clusters;
    switch (which) {
    case 0:
        clusters = virtualRoot ? used : disk->TotalClusters;
        break;
    case 1:
        clusters = virtualRoot ? 0 : disk->FreeClusters;
        break;
    case 2:
        clusters = used;
        break;
    case 3:
        clusters = disk->OutsideClusters;
        break;
    default:
        return 0;
    }
    const __int128 bytes = __int128(clusters) * kByteTotalScale * disk->BytesPerSector * disk->SectorsPerCluster;
    if (bytes > INT64_MAX)
        return INT64_MAX;
    if (bytes < INT64_MIN)
        return INT64_MIN;
    return int64_t(bytes);
}

int64_t CatalogSizeEstimate(TTreeNode *catalogNode)
{
    int64_t size = 38;
    if (!catalogNode)
        return size;
    for (TTreeNode *diskNode : catalogNode->children()) {
        const TDiskRec *disk = AsDisk(diskNode->data());
        if (!disk)
            continue;
        size += 102 + 31 * int64_t(disk->TotalFiles) + 39 * int64_t(disk->TotalFolders);
    }
    return size;
}

// ---- paths ---------------------------------------------------------------

QByteArray NodePath(TTreeNode *node, bool keepArchiveName, bool withRoot)
{
    TItemRec *rec = NodeRec(node);
    if (!rec)
        return {};
    QByteArray path;
    TTreeNode *diskNode = nullptr;
    if (TDiskRec *disk = AsDisk(rec)) {
        (void)disk;
        path = "\\";
        diskNode = node;
    } else if (TFolderRec *folder = AsFolder(rec)) {
        if (folder->PathCache) {
            path = TextView(folder->PathCache).toByteArray();
        } else {
            for (TTreeNode *n = node; n && AsFolder(n->data()); n = n->parent())
                path.prepend(n->text()).prepend('\\');
            folder->PathCache = NewText(path);
        }
        diskNode = DiskNodeOf(node);
        if (!keepArchiveName && ItemIs(folder->KindFlags, rfCompressed))
            path.chop(node->text().size());
    } else {
        return {};
    }
    if (withRoot && diskNode) {
        const TDiskRec *disk = AsDisk(diskNode->data());
        if (disk && ItemIs(disk->KindFlags, rfVirtualRoot) && path.startsWith('\\'))
            path = TextView(disk->RootPath).toByteArray() + path.mid(1);
    }
    if (path.size() > 1 && path.endsWith('\\'))
        path.chop(1);
    return path;
}

void ClearPathCache(TTreeNode *node)
{
    if (!node)
        return;
    if (TFolderRec *folder = AsFolder(node->data()))
        FreeText(folder->PathCache);
    for (TTreeNode *child : node->children())
        ClearPathCache(child);
}

// ---- descriptions and marks ----------------------------------------------

void UpdateHasDesc(TItemRec *rec)
{
    if (!rec || !rec->Next)
        return;
    bool any = false;
    for (const TFileRec *f = rec->Next; f && !any; f = f->Next)
        any = TextLength(f->Desc) > 0;
    SetItemFlag(rec, rfHasDesc, any);
}

namespace {
std::function<void(TTreeNode *)> g_catalogDirtyHook;
}

void SetCatalogDirtyHook(std::function<void(TTreeNode *)> hook)
{
    g_catalogDirtyHook = std::move(hook);
}

void SetCatalogDirty(TTreeNode *node, bool value)
{
    TTreeNode *catalogNode = CatalogNodeOf(node);
    TCatalogRec *catalog = catalogNode ? AsCatalog(catalogNode->data()) : nullptr;
    if (!catalog)
        return;
    catalog->Dirty = value ? 1 : 0;
    if (g_catalogDirtyHook)
        g_catalogDirtyHook(catalogNode);
}

void SetDiskDirty(TTreeNode *node, bool value)
{
    TTreeNode *diskNode = DiskNodeOf(node);
    TDiskRec *disk = diskNode ? AsDisk(diskNode->data()) : nullptr;
    if (!disk)
        return;
    disk->Dirty = value ? 1 : 0;
    SetCatalogDirty(diskNode, value);
}

// ---- freeing -------------------------------------------------------------

void FreeItemData(TTreeNode *node, bool freeRecord, bool keepListRefs)
{
    TRecordWriteScope writing;
    TItemRec *rec = NodeRec(node);
    if (!rec)
        return;
    const bool touchLists = !keepListRefs && !ShuttingDown();
    const uint8_t kind = ItemKind(rec->KindFlags);

    if (kind == rkFolder || kind == rkDisk) {
        if (kind == rkFolder)
            static_cast<TFolderRec *>(rec)->FilesLoaded = 0;
        else
            static_cast<TDiskRec *>(rec)->FilesLoaded = 0;

        if (ItemIs(rec->KindFlags, rfListBlock)) {
            // One block holds the whole chain, its first record at the start.
            for (TFileRec *f = rec->Next; f; f = f->Next) {
                if (f->Desc)   // most files have none
                    FreeText(f->Desc);
                if (touchLists)
                    RemoveFromResultLists(f);
            }
            FreeListBlock(rec->Next);
        } else {
            for (TFileRec *f = rec->Next; f;) {
                TFileRec *next = f->Next;
                if (touchLists)
                    RemoveFromResultLists(f);
                FreeFileRec(f);
                f = next;
            }
        }
        rec->Next = nullptr;
        SetItemFlag(rec, rfListBlock, false);
        if (touchLists)
            RemoveFromResultLists(rec);
        if (freeRecord) {
            if (kind == rkFolder) {
                auto *folder = static_cast<TFolderRec *>(rec);
                FreeText(folder->PathCache);
                FreeText(folder->Desc);
                delete folder;
            } else {
                auto *disk = static_cast<TDiskRec *>(rec);
                FreeText(disk->RootPath);
                FreeText(disk->Desc);
                delete disk;
            }
            node->setData(nullptr);
        }
    } else if (kind == rkCatalog) {
        if (!keepListRefs && !ShuttingDown())
            RemoveFromResultLists(rec, true);
        if (freeRecord) {
            delete static_cast<TCatalogRec *>(rec);   // texts, categories and stream go with it
            node->setData(nullptr);
        }
    }
}

void UnloadFileList(TTreeNode *node)
{
    // Only a chain read from the file and not changed since can be read again;
    // anything else would be lost, so it stays. So does the chain a search
    // is scanning right now.
    TRecordWriteScope writing;
    if (FileChainPinned(node))
        return;
    TItemRec *rec = NodeRec(node);
    if (!rec || !ItemIs(rec->KindFlags, rfListBlock))
        return;
    int32_t listOffset = -1;
    if (TFolderRec *folder = AsFolder(rec))
        listOffset = folder->ListOffset;
    else if (TDiskRec *disk = AsDisk(rec))
        listOffset = disk->ListOffset;
    else
        return;
    TTreeNode *diskNode = DiskNodeOf(node);
    const TDiskRec *disk = diskNode ? AsDisk(diskNode->data()) : nullptr;
    if (listOffset < 0 || !disk || disk->Dirty || disk->FileOffset <= 0)
        return;
    // A chain with a record in a result list stays too: the list points to it.
    for (const TFileRec *f = rec->Next; f; f = f->Next)
        if (f->SearchListPos >= 0 || f->UserListPos >= 0 || f->DupListPos >= 0)
            return;
    FreeItemData(node, false, true);
}
