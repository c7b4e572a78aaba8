// Shared catalog operations: lookups by path, disk renames, descriptions.
#include "catalog/CatalogOps.h"

#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "catalog/RecordLock.h"
#include "catalog/ResultLists.h"
#include "platform/Texts.h"

#include <QSet>

QByteArray UniqueDiskName(TTreeNode *catalogNode, const QByteArray &name, TTreeNode *except)
{
    QByteArray base = name;
    // A trailing " (n)" with n a whole number above 1 was made by this rule
    // before. The last " (" is the counter's: "Backup (old) (2)" is "Backup (old)"
    // counted, not a name with the odd part "old) (2".
    if (base.endsWith(')')) {
        const qsizetype open = base.lastIndexOf(" (");
        if (open >= 0) {
            const QByteArray number = base.mid(open + 2, base.size() - open - 3);
            bool ok = false;
            const qlonglong n = number.toLongLong(&ok);
            const bool digitsOnly = !number.isEmpty() && std::all_of(number.begin(), number.end(),
                                                                      [](char c) { return c >= '0' && c <= '9'; });
            if (ok && digitsOnly && n > 1)
                base.truncate(open);
        }
    }
    QSet<QByteArray> taken;
    if (catalogNode)
        for (TTreeNode *disk : catalogNode->children())
            if (disk != except)
                taken.insert(disk->text());
    if (!taken.contains(base))
        return base;
    for (qlonglong n = 2;; ++n) {
        const QByteArray candidate = base + " (" + QByteArray::number(n) + ")";
        if (!taken.contains(candidate))
            return candidate;
    }
}

QByteArray RenameDisk(TTreeNode *diskNode, const QByteArray &newName)
{
    if (!diskNode || !AsDisk(diskNode->data()))
        return {};
    if (newName.isEmpty())
        return diskNode->text();
    const QByteArray name = UniqueDiskName(diskNode->parent(), newName, diskNode);
    diskNode->setText(name);
    SetDiskDirty(diskNode, true);
    return name;
}

QByteArray NormalizeDescriptionLines(QByteArrayView text)
{
    auto blank = [](char c) { return c == '\t' || c == ' ' || c == '\x1A' || c == '\xFF'; };
    QByteArray out;
    out.reserve(text.size());
    qsizetype i = 0;
    bool first = true;
    while (i <= text.size()) {
        qsizetype end = i;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        qsizetype a = i, b = end;
        while (a < b && blank(text[a]))
            ++a;
        while (b > a && blank(text[b - 1]))
            --b;
        if (!first)
            out += "\r\n";
        out += QByteArrayView(text.data() + a, b - a);
        first = false;
        if (end >= text.size())
            break;
        // CR LF and LF CR are one break; a lone CR or LF is one too.
        const char c = text[end];
        i = end + 1;
        if (i < text.size() && (text[i] == '\r' || text[i] == '\n') && text[i] != c)
            ++i;
    }
    while (!out.isEmpty() && (blank(out.back()) || out.back() == '\r' || out.back() == '\n'))
        out.chop(1);
    return out;
}

void StoreDescription(TText &field, QByteArrayView text)
{
    // The new text is made first and swapped in under the record lock, so a
    // search reading the field sees the old text or the new one, never a
    // freed one.
    TText made = nullptr;
    if (!text.isEmpty())
        made = NewText(CutAtCharBoundary(NormalizeDescriptionLines(text), kMaxCountedText));
    TRecordWriteScope writing;
    FreeText(field);
    field = made;
}

TTreeNode *FindDisk(TTreeNode *catalogNode, QByteArrayView name)
{
    if (!catalogNode)
        return nullptr;
    for (TTreeNode *disk : catalogNode->children())
        if (disk->text() == name)
            return disk;
    return nullptr;
}

TTreeNode *FindFolder(TTreeNode *from, QByteArrayView relPath)
{
    TTreeNode *node = from;
    for (const QByteArrayView part : QByteArray(relPath.toByteArray()).split('\\')) {
        if (part.isEmpty())
            continue;
        LoadSubfolders(node, false, false);
        TTreeNode *next = nullptr;
        for (TTreeNode *child : node->children())
            if (child->text() == part) {
                next = child;
                break;
            }
        if (!next)
            return nullptr;
        node = next;
    }
    return node;
}

TFileRec *FindFile(TTreeNode *folderOrDisk, QByteArrayView name)
{
    LoadFileList(folderOrDisk);
    TItemRec *rec = NodeRec(folderOrDisk);
    for (TFileRec *f = rec ? rec->Next : nullptr; f; f = f->Next)
        if (f->name() == name)
            return f;
    return nullptr;
}

void DeleteNodeWithRecords(TTreeNode *node)
{
    if (!node)
        return;
    ClearResultListNotes();
    node->forest()->deleteNode(node, [](TTreeNode *n) { FreeItemData(n, true, false); });
    CompactChangedResultLists();
}
