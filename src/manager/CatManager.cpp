// Disk transfer between open catalogs. The source disk is first read
// completely from its own catalog file, so that the disk arriving in the
// target holds every folder level and file list in memory and never needs
// the source file again: the target writes it from memory at its next save.
#include "manager/CatManager.h"

#include "browser/Utils.h"
#include "catalog/Categories.h"
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "catalog/LoadSave.h"
#include "catalog/ReadAhead.h"
#include "catalog/RecordLock.h"

#include <array>
#include <cstring>
#include <utility>
#include <vector>

namespace {

void clearListPositions(TItemRec *rec)
{
    rec->SearchListPos = -1;
    rec->UserListPos = -1;
    rec->DupListPos = -1;
}

// True when every folder level and file list below the disk is in memory.
bool completelyLoaded(TTreeNode *diskNode)
{
    std::vector<TTreeNode *> stack{diskNode};
    while (!stack.empty()) {
        TTreeNode *node = stack.back();
        stack.pop_back();
        TItemRec *rec = node->data();
        if (const TFolderRec *f = AsFolder(rec)) {
            if (f->SubOffset > 0 || !f->FilesLoaded)
                return false;
        } else if (const TDiskRec *d = AsDisk(rec)) {
            if (!d->SubfoldersRead || !d->FilesLoaded)
                return false;
        }
        for (TTreeNode *child : node->children())
            stack.push_back(child);
    }
    return true;
}

// The disk no longer describes a place in any catalog file: the next save
// of its catalog writes it from memory.
void detachFromFile(TDiskRec *disk)
{
    disk->FileOffset = 0;
    disk->OldFileOffset = 0;
    disk->Writing = false;
    disk->SubfoldersRead = true;
    disk->FilesLoaded = 1;
}

// Appends copies of from's file chain to to's (empty) chain.
void copyChain(const TItemRec *from, TItemRec *to, TTreeNode *toNode)
{
    TFileRec *last = nullptr;
    for (const TFileRec *f = from->Next; f; f = f->Next) {
        TFileRec *c = NewFileRec(f->name());
        std::memcpy(static_cast<void *>(c), static_cast<const void *>(f), FileRecSize(f->NameLen));
        c->Next = nullptr;
        c->Desc = nullptr;
        c->Node = toNode;
        clearListPositions(c);
        // Linked before anything else can fail, so the chain owns it.
        if (last)
            last->Next = c;
        else
            to->Next = c;
        last = c;
        c->Desc = NewText(TextView(f->Desc));
    }
}

// Gives toNode a record of its own copied from fromNode's folder record.
void copyFolderRecord(TTreeNode *fromNode, TTreeNode *toNode, TTreeNode *diskNode)
{
    const TFolderRec *x = AsFolder(fromNode->data());
    auto *y = new TFolderRec(*x);
    y->Next = nullptr;
    y->Node = toNode;
    y->PathCache = nullptr;
    y->Desc = nullptr;
    y->DiskNode = diskNode;
    y->SubOffset = 0;
    y->FilesLoaded = 1;
    SetItemFlag(y, rfListBlock, false);
    clearListPositions(y);
    toNode->setData(y);
    y->Desc = NewText(TextView(x->Desc));
    copyChain(x, y, toNode);
}

// Copies the folders below from (a disk or folder) under to, level by level.
void copySubtree(TTreeNode *from, TTreeNode *to, TTreeNode *diskNode)
{
    TForest *forest = to->forest();
    std::vector<std::pair<TTreeNode *, TTreeNode *>> stack{{from, to}};
    while (!stack.empty()) {
        auto [a, b] = stack.back();
        stack.pop_back();
        for (TTreeNode *x : a->children()) {
            if (!AsFolder(x->data()))
                continue;
            TTreeNode *y = forest->addChild(b, x->text());
            y->setImages(x->imageIndex(), x->selectedIndex());
            copyFolderRecord(x, y, diskNode);
            stack.push_back({x, y});
        }
    }
}

TTreeNode *copyDisk(TTreeNode *sourceDisk, TTreeNode *targetCatalog, const QByteArray &name)
{
    const TDiskRec *s = AsDisk(sourceDisk->data());
    TTreeNode *n = targetCatalog->forest()->addChild(targetCatalog, name);
    try {
        auto *d = new TDiskRec(*s);
        d->Next = nullptr;
        d->Node = n;
        d->RootPath = nullptr;
        d->Desc = nullptr;
        SetItemFlag(d, rfListBlock, false);
        clearListPositions(d);
        detachFromFile(d);
        n->setData(d);
        d->RootPath = NewText(TextView(s->RootPath));
        d->Desc = NewText(TextView(s->Desc));
        n->setImages(sourceDisk->imageIndex(), sourceDisk->selectedIndex());
        copyChain(s, d, n);
        copySubtree(sourceDisk, n, n);
    } catch (...) {
        DeleteNodeWithRecords(n);
        throw;
    }
    return n;
}

// The CatFlags bytes of one catalog's items rewritten for another catalog:
// each code and flag is looked up by its name in the source's vocabulary and
// found, or added, by that name in the target's. Resolved lazily, so only
// the names that items use join the target.
class TVocabularyMap
{
public:
    TVocabularyMap(const TCatalogRec *from, TCatalogRec *to, TTransferNotes &notes)
        : m_from(from), m_to(to), m_notes(notes)
    {
        m_codes.fill(-1);
        m_flags.fill(-1);
    }

    // The byte for the target; lost is set when a category or flag had no room.
    uint8_t map(uint8_t catFlags, bool &lost)
    {
        uint8_t out = 0;
        const uint8_t code = CategoryCodeOf(catFlags);
        if (code != 0) {
            const int mapped = mapCode(code);
            if (mapped < 0)
                lost = true;
            else
                out = uint8_t(mapped);
        }
        for (int k = 1; k <= kFlagCount; ++k) {
            if (!(catFlags & FlagBit(k)))
                continue;
            const int j = mapFlag(k);
            if (j <= 0)
                lost = true;
            else
                out = uint8_t(out | FlagBit(j));
        }
        return out;
    }

private:
    // The target's code; -2 when the target has no room for the name. A code
    // the source names nothing with stays while the target names nothing
    // with it either, else it goes.
    int mapCode(uint8_t code)
    {
        int &slot = m_codes[code];
        if (slot != -1)
            return slot;
        const QByteArray name = CategoryName(m_from, code);
        if (name.isEmpty())
            return slot = CategoryName(m_to, code).isEmpty() ? code : 0;
        if (const TCategory *found = FindCategory(m_to, name))
            return slot = found->Code;
        TRecordWriteScope writing;
        const uint8_t added = InsertCategory(m_to->Categories, name);
        if (added != 0)
            ++m_notes.addedNames;
        return slot = added != 0 ? added : -2;
    }

    // The target's flag (1-3); 0 when there is no room. An unnamed flag keeps
    // its place while that place is unnamed in the target too.
    int mapFlag(int k)
    {
        int &slot = m_flags[size_t(k)];
        if (slot != -1)
            return slot;
        const QByteArray name = FlagName(m_from, k);
        if (name.isEmpty())
            return slot = FlagName(m_to, k).isEmpty() ? k : 0;
        if (const int found = FindFlag(m_to, name))
            return slot = found;
        for (int j = 1; j <= kFlagCount; ++j) {
            if (FlagName(m_to, j).isEmpty() && !unnamedInUse(j)) {
                SetFlagName(m_to, j, name);
                ++m_notes.addedNames;
                return slot = j;
            }
        }
        return slot = 0;
    }

    // Whether an unnamed flag of the source was carried to place j already.
    bool unnamedInUse(int j) const
    {
        return m_flags[size_t(j)] == j && FlagName(m_from, j).isEmpty();
    }

    const TCatalogRec *m_from;
    TCatalogRec *m_to;
    TTransferNotes &m_notes;
    std::array<int, 32> m_codes;
    std::array<int, kFlagCount + 1> m_flags;
};

// Rewrites the categories and flags of every item below diskNode.
void remapCategories(TTreeNode *diskNode, TVocabularyMap &map, TTransferNotes &notes)
{
    TRecordWriteScope writing;
    std::vector<TTreeNode *> stack{diskNode};
    while (!stack.empty()) {
        TTreeNode *node = stack.back();
        stack.pop_back();
        TItemRec *rec = node->data();
        if (TFolderRec *folder = AsFolder(rec)) {
            bool lost = false;
            folder->CatFlags = map.map(folder->CatFlags, lost);
            notes.lostItems += lost ? 1 : 0;
        }
        if (rec)
            for (TFileRec *f = rec->Next; f; f = f->Next) {
                bool lost = false;
                f->CatFlags = map.map(f->CatFlags, lost);
                notes.lostItems += lost ? 1 : 0;
            }
        for (TTreeNode *child : node->children())
            stack.push_back(child);
    }
}

} // namespace

QString MsgCategoriesLost(int items)
{
    return QStringLiteral("%1 item%2 lost %3 category or flags: the target catalog has no room for more names.")
        .arg(items)
        .arg(items == 1 ? QString() : QStringLiteral("s"))
        .arg(items == 1 ? QStringLiteral("its") : QStringLiteral("their"));
}

TTreeNode *TransferDisk(TTreeNode *sourceDisk, TTreeNode *targetCatalog, bool move, TTransferNotes *notes)
{
    if (!sourceDisk || !targetCatalog || !AsDisk(sourceDisk->data()) || !AsCatalog(targetCatalog->data()))
        return nullptr;
    TTreeNode *sourceCatalog = CatalogNodeOf(sourceDisk);
    if (move && sourceCatalog == targetCatalog)
        return sourceDisk;

    // Everything the source has not read yet comes from its own file now;
    // a damaged file stops here, before the target is touched.
    LoadSubfolders(sourceDisk, true, true);
    if (!completelyLoaded(sourceDisk))
        throw EStreamError(QStringLiteral("The disk cannot be read completely from its catalog file."));

    const QByteArray name = UniqueDiskName(targetCatalog, sourceDisk->text());
    const TCatalogRec *fromCatalog = AsCatalog(sourceCatalog->data());
    TCatalogRec *toCatalog = AsCatalog(targetCatalog->data());
    TTransferNotes ownNotes;
    TTransferNotes &noted = notes ? *notes : ownNotes;
    const auto keepByName = [&](TTreeNode *diskNode) {
        if (fromCatalog == toCatalog)
            return;
        TVocabularyMap map(fromCatalog, toCatalog, noted);
        remapCategories(diskNode, map, noted);
    };
    TTreeNode *result;
    if (!move) {
        result = copyDisk(sourceDisk, targetCatalog, name);
        keepByName(result);
    } else if (sourceDisk->forest() != targetCatalog->forest()) {
        result = copyDisk(sourceDisk, targetCatalog, name);
        keepByName(result);
        DeleteNodeWithRecords(sourceDisk);
    } else {
        // The nodes and records themselves change catalogs: the views and
        // the result lists keep pointing at what they showed.
        targetCatalog->forest()->moveNode(sourceDisk, targetCatalog);
        sourceDisk->setText(name);
        detachFromFile(AsDisk(sourceDisk->data()));
        ClearPathCache(sourceDisk);
        result = sourceDisk;
        keepByName(result);
    }
    if (move)
        SetCatalogDirty(sourceCatalog, true);
    SetDiskDirty(result, true);
    return result;
}

TTransferResult TransferDisks(const std::vector<TTreeNode *> &sourceDisks, TTreeNode *targetCatalog, bool move,
                              const std::function<void(TTreeNode *disk)> &starting)
{
    TTransferResult result;
    for (size_t i = 0; i < sourceDisks.size(); ++i) {
        if (starting)
            starting(sourceDisks[i]);
        try {
            if (TTreeNode *arrived = TransferDisk(sourceDisks[i], targetCatalog, move, &result.notes))
                result.transferred.push_back(arrived);
        } catch (const EStreamError &e) {
            result.failedIndex = int(i);
            result.error = e.message();
            break;
        }
    }
    return result;
}

QString CatManagerStatusText(bool leftPane, const std::vector<TTreeNode *> &disks,
                             const std::vector<TTreeNode *> &selected)
{
    // Capacities add up in the stored totals' scale.
    const auto capacity = [](const std::vector<TTreeNode *> &nodes) {
        int64_t sum = 0;
        for (const TTreeNode *node : nodes)
            if (const TDiskRec *disk = AsDisk(NodeRec(node)))
                sum += DiskSpace(disk, 0);
        return sum;
    };
    return QStringLiteral("%1%2 disks, total capacity %3 (%4 selected, %5)")
        .arg(leftPane ? QStringLiteral("Left pane: ") : QStringLiteral("Right pane: "))
        .arg(disks.size())
        .arg(FormatSize(float(TotalBytes(capacity(disks)))))
        .arg(selected.size())
        .arg(FormatSize(float(TotalBytes(capacity(selected)))));
}

static QString verb(bool move) { return move ? QStringLiteral("Mov") : QStringLiteral("Copy"); }

QString MsgTransferStatus(bool move) { return verb(move) + QStringLiteral("ing disks between catalogs, please wait"); }
QString MsgTransferProgress(bool move) { return verb(move) + QStringLiteral("ing disks to other catalog..."); }
QString MsgTransferDisk(bool move, const QString &disk)
{
    return verb(move) + QStringLiteral("ing data for disk \"") + disk + QStringLiteral("\"...");
}
QString MsgConfirmDeleteDisks() { return QStringLiteral("Please confirm deleting selected disk(s) from catalog."); }
QString MsgDeletingDisks() { return QStringLiteral("Deleting selected disks, please wait..."); }
