// The catalog entries of a compare or a check, in name buckets.
#include "compare/NameBuckets.h"

#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include <algorithm>

namespace {

inline uchar asciiLower(uchar c)
{
    return (c >= 'A' && c <= 'Z') ? uchar(c + ('a' - 'A')) : c;
}

} // namespace

int NameBucket(QByteArrayView name)
{
    if (name.isEmpty())
        return kNameBucketCount - 1;
    const uchar c = asciiLower(uchar(name[0]));
    if (c >= 'a' && c <= 'z')
        return c - 'a';
    if (c >= '0' && c <= '9')
        return 26;
    return 27;
}

int CompareNamesAscii(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const uchar x = asciiLower(uchar(a[i]));
        const uchar y = asciiLower(uchar(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

uint64_t NameKey(QByteArrayView name)
{
    uint64_t key = uint64_t(NameBucket(name)) << 56;
    const qsizetype n = std::min<qsizetype>(name.size(), 7);
    for (qsizetype i = 0; i < n; ++i)
        key |= uint64_t(asciiLower(uchar(name[i]))) << (48 - 8 * i);
    return key;
}

uint64_t NameKey2(QByteArrayView name)
{
    uint64_t key = 0;
    const qsizetype n = std::min<qsizetype>(name.size(), 15);
    for (qsizetype i = 7; i < n; ++i)
        key |= uint64_t(asciiLower(uchar(name[i]))) << (56 - 8 * (i - 7));
    return key;
}

QByteArray FoldFolderKey(QByteArrayView path)
{
    QByteArray key = path.toByteArray();
    for (char &c : key)
        c = char(asciiLower(uchar(c)));
    return key;
}

void TNameBuckets::add(TItemRec *rec, QByteArrayView name, int32_t folder)
{
    Entry e;
    e.Rec = rec;
    e.Name = name;
    e.Folder = folder;
    e.Order = uint32_t(m_entries.size());
    e.Bucket = uint8_t(NameBucket(name));
    e.Key = NameKey(name);
    e.Key2 = NameKey2(name);
    m_entries.push_back(e);
}

bool TNameBuckets::collect(TTreeNode *node, bool folderKeys, TCompareProgress &progress, int64_t &advanced)
{
    m_folderKeys = folderKeys;
    TItemRec *rec = NodeRec(node);
    if (!rec)
        return true;
    // A catalog collects its disks; anything else is read whole first.
    if (AsCatalog(rec)) {
        for (TTreeNode *disk : node->children()) {
            if (!AsDisk(NodeRec(disk)))
                continue;
            if (progress.cancelRequested())
                return false;
            LoadSubfolders(disk, true, true);
            if (!collectNode(disk, 0, QByteArray(), progress, advanced))
                return false;
        }
        return true;
    }
    const TFolderRec *folder = AsFolder(rec);
    if (folder && ItemIs(folder->KindFlags, rfCompressed)) {
        // A compressed file is one entry; its members are not looked at.
        m_folderIds.insert(QByteArray(), 0);
        add(rec, node->text(), 0);
        advanced += folder->FileCount + 1;
        progress.setPosition(advanced);
        return true;
    }
    LoadSubfolders(node, true, true);
    m_folderIds.insert(QByteArray(), 0);
    return collectNode(node, 0, QByteArray(), progress, advanced);
}

bool TNameBuckets::collectNode(TTreeNode *node, int32_t folder, const QByteArray &key, TCompareProgress &progress,
                               int64_t &advanced)
{
    progress.processEvents();
    if (progress.cancelRequested())
        return false;
    TItemRec *rec = NodeRec(node);
    const TFolderRec *folderRec = AsFolder(rec);
    const TDiskRec *diskRec = AsDisk(rec);
    if ((folderRec && !folderRec->FilesLoaded) || (diskRec && !diskRec->FilesLoaded))
        LoadFileList(node);
    int64_t taken = 0;
    for (TFileRec *f = rec->Next; f; f = f->Next) {
        if (ItemIs(f->KindFlags, rfCompressed))
            continue;
        add(f, f->name(), folder);
        ++taken;
    }
    for (TTreeNode *child : node->children()) {
        TFolderRec *sub = AsFolder(NodeRec(child));
        if (!sub)
            continue;
        if (ItemIs(sub->KindFlags, rfCompressed)) {
            // Found in the folder holding it, by its own name.
            add(sub, child->text(), folder);
            taken += sub->FileCount + 1;
        }
    }
    advanced += taken;
    progress.setPosition(advanced);
    for (TTreeNode *child : node->children()) {
        const TFolderRec *sub = AsFolder(NodeRec(child));
        if (!sub || ItemIs(sub->KindFlags, rfCompressed))
            continue;
        int32_t childId = 0;
        QByteArray childKey;
        if (m_folderKeys) {
            childKey = key.isEmpty() ? FoldFolderKey(child->text()) : key + '\\' + FoldFolderKey(child->text());
            childId = m_folderIds.value(childKey, -1);
            if (childId < 0) {
                childId = int32_t(m_folderIds.size());
                m_folderIds.insert(childKey, childId);
            }
        }
        if (!collectNode(child, childId, childKey, progress, advanced))
            return false;
    }
    return true;
}

namespace {

// Bucket and name: the key first, the whole name only when the keys tie.
inline int compareNames(const TNameBuckets::Entry &a, const TNameBuckets::Entry &b)
{
    if (a.Key != b.Key)
        return a.Key < b.Key ? -1 : 1;
    if (a.Key2 != b.Key2)
        return a.Key2 < b.Key2 ? -1 : 1;
    // The first 15 bytes are the same without regard to case.
    const qsizetype skip = std::min<qsizetype>(15, std::min(a.Name.size(), b.Name.size()));
    return CompareNamesAscii(a.Name.sliced(skip), b.Name.sliced(skip));
}

} // namespace

void TNameBuckets::sort()
{
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry &a, const Entry &b) {
        if (const int c = compareNames(a, b))
            return c < 0;
        if (a.Folder != b.Folder)
            return a.Folder < b.Folder;
        return a.Order < b.Order;
    });
}

std::pair<TNameBuckets::Entry *, TNameBuckets::Entry *> TNameBuckets::equalRange(QByteArrayView name, int32_t folder)
{
    Entry probe;
    probe.Name = name;
    probe.Key = NameKey(name);
    probe.Key2 = NameKey2(name);
    probe.Folder = folder;
    Entry *begin = m_entries.data();
    Entry *end = begin + m_entries.size();
    if (folder < 0) {
        const auto range = std::equal_range(begin, end, probe,
                                            [](const Entry &a, const Entry &b) { return compareNames(a, b) < 0; });
        return {range.first, range.second};
    }
    const auto range = std::equal_range(begin, end, probe, [](const Entry &a, const Entry &b) {
        if (const int c = compareNames(a, b))
            return c < 0;
        return a.Folder < b.Folder;
    });
    return {range.first, range.second};
}
