// The duplicates search. Candidates are kept in 28 buckets by the first
// character of their names; each bucket is sorted in the found list's "Item
// Size" order, so that only items of one kind class and one size ever meet,
// and each run of such items is split into groups around a pivot. Two items
// of different sizes, or whose names start differently, are therefore never
// reported, whatever properties are checked.
#include "search/Duplicates.h"

#include "browser/ItemSort.h"
#include "catalog/Forest.h"
#include "platform/ByteTotals.h"
#include "platform/MediaTypes.h"

#include <algorithm>

namespace {

// The stored bytes of a candidate's name: a file's name, else its node text.
QByteArrayView candidateName(const TItemRec *rec)
{
    if (ItemIs(rec->KindFlags, rkFile))
        return static_cast<const TFileRec *>(rec)->name();
    return rec->Node ? QByteArrayView(rec->Node->text()) : QByteArrayView();
}

// Byte equality with A-Z and a-z taken as equal, no other folding: stored
// names are UTF-8 (or CP1252 from old catalogs), whose other bytes must not
// be folded as if they were Latin-1 letters.
bool equalIgnoringAsciiCase(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    const auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - ('a' - 'A')) : c; };
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && fold(a[i]) != fold(b[i]))
            return false;
    return true;
}

// The compared fields of a file, or of a folder taken as one (its total in
// whole bytes, as the item order compares it).
struct DupFields {
    QByteArrayView name;
    int64_t size;
    uint32_t modified;
    uint8_t attr;
};

DupFields fieldsOf(const TItemRec *rec)
{
    if (ItemIs(rec->KindFlags, rkFolder)) {
        const auto *folder = static_cast<const TFolderRec *>(rec);
        return {candidateName(rec), WholeBytes(folder->TotalSize), folder->Modified, folder->Attr};
    }
    const auto *file = static_cast<const TFileRec *>(rec);
    return {file->name(), file->Size, file->Modified, file->Attr};
}

bool disksEqual(const TDiskRec *a, const TDiskRec *b)
{
    return a->Serial == b->Serial && a->VolumeLabel == b->VolumeLabel && MediaTypesCompatible(a->MediaType, b->MediaType)
        && DiskSpace(a, 0) == DiskSpace(b, 0);
}

// Sorts a stretch of a bucket by context and cuts it into runs of entries
// that compare equal, grouping each run.
void groupStretch(std::vector<TItemRec *> &items, const TCompareContext &context, const TDupSettings &settings,
                  const TStopKeyProbe &stopKey, Prompter *prompter,
                  const std::function<void(const std::vector<TItemRec *> &)> &onGroup)
{
    SortItems(items, context, stopKey, prompter);
    const size_t n = items.size();
    if (n < 2)
        return;
    // The comparer numbers the entries by their sorted positions. An
    // exchange below only moves entries inside the run being grouped, and a
    // run's extent is found before its first exchange, so every position at
    // or after a run's start still holds the entry it was numbered for.
    TItemComparer comparer(context);
    comparer.adopt(items);
    std::vector<TItemRec *> group;
    size_t last = 0;
    for (size_t runStart = 0; runStart < n; runStart = last + 1) {
        last = runStart;
        while (last + 1 < n && comparer.compareAt(uint32_t(runStart), uint32_t(last + 1)) == 0)
            ++last;
        size_t start = runStart;
        while (start < last) {
            size_t j = start;
            for (size_t k = start + 1; k <= last; ++k) {
                if (DupEqual(items[start], items[k], settings)) {
                    ++j;
                    std::swap(items[j], items[k]);
                }
            }
            if (j > start) {
                group.assign(items.begin() + std::ptrdiff_t(start), items.begin() + std::ptrdiff_t(j + 1));
                onGroup(group);
            }
            start = j + 1;
        }
    }
}

} // namespace

int DupBucketOf(QByteArrayView name)
{
    constexpr int kDigitBucket = 26;
    constexpr int kOtherBucket = 27;
    if (name.isEmpty())
        return kOtherBucket;
    const char c = name.front();
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a';
    if (c >= '0' && c <= '9')
        return kDigitBucket;
    return kOtherBucket;
}

bool DupEqual(const TItemRec *a, const TItemRec *b, const TDupSettings &settings)
{
    const uint8_t ka = ItemKind(a->KindFlags), kb = ItemKind(b->KindFlags);
    if (ka == rkDisk || kb == rkDisk) {
        if (ka != kb)
            return false;
        return disksEqual(static_cast<const TDiskRec *>(a), static_cast<const TDiskRec *>(b));
    }
    const auto fileOrFolder = [](uint8_t kind) { return kind == rkFile || kind == rkFolder; };
    if (!fileOrFolder(ka) || !fileOrFolder(kb))
        return false;
    if (ka == rkFolder && kb == rkFile)
        std::swap(a, b);   // the file first
    const DupFields fa = fieldsOf(a), fb = fieldsOf(b);
    if (settings.size) {
        // Two folders by their stored totals, so a total with a fraction of a
        // byte (not one this program writes) still tells them apart.
        if (ka == rkFolder && kb == rkFolder) {
            if (static_cast<const TFolderRec *>(a)->TotalSize != static_cast<const TFolderRec *>(b)->TotalSize)
                return false;
        } else if (fa.size != fb.size) {
            return false;
        }
    }
    if (settings.date && fa.modified != fb.modified)
        return false;
    if (settings.attr && fa.attr != fb.attr)
        return false;
    if (settings.name && !equalIgnoringAsciiCase(fa.name, fb.name))
        return false;
    return true;
}

void GroupDuplicates(std::vector<TItemRec *> &bucket, const TDupSettings &settings,
                     const std::function<void(const std::vector<TItemRec *> &group)> &onGroup,
                     const TStopKeyProbe &stopKey, Prompter *prompter)
{
    // The found list's "Item Size" column compares files and folders by size
    // (item compare column 2) and disks by capacity (column 3); the kind
    // order puts every disk before every folder and file, so the disks are
    // sorted apart and stay in front.
    const auto firstNonDisk = std::stable_partition(bucket.begin(), bucket.end(), [](const TItemRec *rec) {
        return ItemIs(rec->KindFlags, rkDisk);
    });
    std::vector<TItemRec *> disks(bucket.begin(), firstNonDisk);
    std::vector<TItemRec *> others(firstNonDisk, bucket.end());

    TCompareContext context;
    context.archivesAsFolders = settings.archivesAsFolders;
    context.column = 3;   // disks: capacity
    groupStretch(disks, context, settings, stopKey, prompter, onGroup);
    context.column = 2;   // files and folders: size
    groupStretch(others, context, settings, stopKey, prompter, onGroup);

    std::copy(disks.begin(), disks.end(), bucket.begin());
    std::copy(others.begin(), others.end(), bucket.begin() + std::ptrdiff_t(disks.size()));
}
