// Disk transfer between open catalogs. The source disk is first read
// completely from its own catalog file, so that the disk arriving in the
// target holds every folder level and file list in memory and never needs
// the source file again: the target writes it from memory at its next save.
#include "manager/CatManager.h"

#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "catalog/ReadAhead.h"

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

} // namespace

TTreeNode *TransferDisk(TTreeNode *sourceDisk, TTreeNode *targetCatalog, bool move)
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
    TTreeNode *result;
    if (!move) {
        result = copyDisk(sourceDisk, targetCatalog, name);
    } else if (sourceDisk->forest() != targetCatalog->forest()) {
        result = copyDisk(sourceDisk, targetCatalog, name);
        DeleteNodeWithRecords(sourceDisk);
    } else {
        // The nodes and records themselves change catalogs: the views and
        // the result lists keep pointing at what they showed.
        targetCatalog->forest()->moveNode(sourceDisk, targetCatalog);
        sourceDisk->setText(name);
        detachFromFile(AsDisk(sourceDisk->data()));
        ClearPathCache(sourceDisk);
        result = sourceDisk;
    }
    if (move)
        SetCatalogDirty(sourceCatalog, true);
    SetDiskDirty(result, true);
    return result;
}
