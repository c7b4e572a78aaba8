// The catalog side of a compare or a check: every file record and every
// compressed file (as one entry) below a node, kept in name buckets: "A" to
// "Z", "0"-"9" and all others by the first character with ASCII letters
// upper-cased, each sorted by name without regard to the case of ASCII
// letters, equal names in the order they were collected. The buckets live in
// one sorted array; a media compare adds the entry's folder (relative to the
// compared node) to the key so that a file is found by its name and folder
// with one binary search.
#pragma once

#include "catalog/CatalogRec.h"
#include "compare/MediaWalk.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

#include <cstdint>
#include <vector>

class TTreeNode;

inline constexpr int kNameBucketCount = 28;
// The bucket of a name: 0-25 "A"-"Z", 26 digits, 27 everything else.
int NameBucket(QByteArrayView name);
// Orders names as the buckets do within one: ASCII letters without regard
// to case, every other byte by its value. <0, 0, >0.
int CompareNamesAscii(QByteArrayView a, QByteArrayView b);
// The first bytes of a name as one number that orders as the buckets do:
// the bucket in the top byte, then the first seven bytes with ASCII letters
// lowered (zero past the end). Equal keys need CompareNamesAscii to decide.
uint64_t NameKey(QByteArrayView name);
// The next eight folded bytes (7 to 14) of a name, zero past the end.
uint64_t NameKey2(QByteArrayView name);
// A folder path in the form folders are matched in: ASCII letters lowered.
QByteArray FoldFolderKey(QByteArrayView path);

class TNameBuckets
{
public:
    struct Entry {
        uint64_t Key = 0;        // NameKey of Name
        uint64_t Key2 = 0;       // NameKey2 of Name
        TItemRec *Rec = nullptr;
        QByteArrayView Name;
        int32_t Folder = 0;      // folder key id (media compare), 0 otherwise
        uint32_t Order = 0;      // collection order
        uint8_t Bucket = 0;
        bool Taken = false;      // matched by a file on the medium
        uint8_t Result = 0;      // the list (compare) or list bits (check) it was put in
    };

    // Adds every entry below node (a catalog, disk or folder): reads the
    // node's whole subtree with its file lists first (a compressed file's
    // members are never read or taken). With folderKeys each folder below
    // node gets an id for its path relative to node. progress is advanced
    // by the entries taken (a compressed file by its members + 1) and polled
    // for a cancel between folders. False when cancelled; raises
    // EStreamError when the catalog is damaged.
    bool collect(TTreeNode *node, bool folderKeys, TCompareProgress &progress, int64_t &advanced);
    // Sorts into bucket order (by folder too when the folder keys were made).
    void sort();

    // The id of a folder key (FoldFolderKey of a path relative to the node), -1 when unknown.
    int32_t folderId(const QByteArray &foldedKey) const { return m_folderIds.value(foldedKey, -1); }
    // The entries of that name (and folder, unless folder < 0), in collection order.
    std::pair<Entry *, Entry *> equalRange(QByteArrayView name, int32_t folder = -1);

    std::vector<Entry> &entries() { return m_entries; }
    int64_t size() const { return int64_t(m_entries.size()); }

private:
    bool collectNode(TTreeNode *node, int32_t folder, const QByteArray &key, TCompareProgress &progress,
                     int64_t &advanced);
    void add(TItemRec *rec, QByteArrayView name, int32_t folder);

    std::vector<Entry> m_entries;
    QHash<QByteArray, int32_t> m_folderIds;
    bool m_folderKeys = false;
};
