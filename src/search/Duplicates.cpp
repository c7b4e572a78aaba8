// The duplicates search: the rules that make two candidates the same, and
// the walk that collects them from the open catalogs and groups them.
// Candidates are kept in 28 buckets by the first character of their names;
// each bucket is sorted in the found list's "Item Size" order, so that only
// items of one kind class and one size ever meet, and each run of such items
// is split into groups around a pivot. Two items of different sizes, or
// whose names start differently, are therefore never reported, whatever
// properties are checked. Single copies (files of the chosen disks that no
// other disk holds) are found by the same rules.
#include "search/Duplicates.h"

#include "catalog/RecordLock.h"

#include "browser/ItemSort.h"
#include "catalog/Forest.h"
#include "platform/ByteTotals.h"
#include "platform/MediaTypes.h"
#include "search/FoundList.h"

#include <QString>

#include <algorithm>
#include <array>
#include <unordered_map>

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

// Calls onRun(first, last) for each run of entries that compare equal in
// context, the list being sorted by it; the entries from first on may be
// exchanged among the run's positions by onRun. The comparer numbers the
// entries by their positions here, so every position after the current run
// still holds the entry it was numbered for.
void forEachRun(std::vector<TItemRec *> &items, const TCompareContext &context,
                const std::function<void(size_t first, size_t last)> &onRun)
{
    const size_t n = items.size();
    if (n < 2)
        return;
    TItemComparer comparer(context);
    comparer.adopt(items);
    size_t last = 0;
    for (size_t first = 0; first < n; first = last + 1) {
        last = first;
        while (last + 1 < n && comparer.compareAt(uint32_t(first), uint32_t(last + 1)) == 0)
            ++last;
        if (last > first)
            onRun(first, last);
    }
}

// A digest of the fields DupEqual compares for two files or folders of one
// run (their sizes already agree): the name folded as DupEqual folds it, the
// date and the attributes, each when checked. Candidates that DupEqual takes
// as equal always have equal digests, so a run is scanned comparing digests
// and only pairs whose digests agree are compared in full.
uint64_t dupDigest(const TItemRec *rec, const TDupSettings &settings)
{
    // FNV-1a, 64 bits.
    constexpr uint64_t kOffset = 14695981039346656037ull;
    constexpr uint64_t kPrime = 1099511628211ull;
    uint64_t h = kOffset;
    const auto mix = [&](uint64_t byte) { h = (h ^ byte) * kPrime; };
    const DupFields f = fieldsOf(rec);
    if (settings.name)
        for (const char c : f.name)
            mix(uint8_t((c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c));
    if (settings.date)
        for (int shift = 0; shift < 32; shift += 8)
            mix((f.modified >> shift) & 0xFF);
    if (settings.attr)
        mix(f.attr);
    return h;
}

// Sorts a stretch of a bucket by context, cuts it into runs and splits each
// run into groups around a pivot. Disks are compared in full (their media
// types make a relation that is not transitive, and they are few); files
// and folders by digest first.
void groupStretch(std::vector<TItemRec *> &items, const TCompareContext &context, const TDupSettings &settings,
                  bool digests, const TStopKeyProbe &stopKey, Prompter *prompter,
                  const std::function<void(const std::vector<TItemRec *> &)> &onGroup)
{
    SortItems(items, context, stopKey, prompter);
    // Digests are made for the entries of runs only: most sizes are unique.
    std::vector<uint64_t> keys(items.size());
    std::vector<TItemRec *> group;
    // How many entries of a long run not yet grouped or passed have each
    // digest, so that a pivot nothing else matches is passed at once.
    constexpr size_t kCountedRun = 16;
    std::unordered_map<uint64_t, size_t> left;
    forEachRun(items, context, [&](size_t start, size_t last) {
        const size_t first = start;
        for (size_t k = start; k <= last; ++k)
            keys[k] = digests ? dupDigest(items[k], settings) : 0;
        const bool counted = digests && last - start + 1 > kCountedRun;
        if (counted)
            for (size_t k = start; k <= last; ++k)
                ++left[keys[k]];
        while (start < last) {
            size_t j = start;
            const uint64_t pivotKey = keys[start];
            size_t *same = counted ? &left[pivotKey] : nullptr;
            if (same && *same == 1) {
                // Nothing after the pivot has its digest: the scan would
                // find no member and exchange nothing.
                *same = 0;
                ++start;
                continue;
            }
            for (size_t k = start + 1; k <= last; ++k) {
                if (keys[k] == pivotKey && DupEqual(items[start], items[k], settings)) {
                    ++j;
                    std::swap(items[j], items[k]);
                    std::swap(keys[j], keys[k]);
                }
            }
            if (j > start) {
                group.assign(items.begin() + std::ptrdiff_t(start), items.begin() + std::ptrdiff_t(j + 1));
                onGroup(group);
            }
            if (same)
                *same -= j - start + 1;
            start = j + 1;
        }
        if (counted)
            for (size_t k = first; k <= last; ++k)
                left.erase(keys[k]);
    });
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
    groupStretch(disks, context, settings, false, stopKey, prompter, onGroup);
    context.column = 2;   // files and folders: size
    groupStretch(others, context, settings, true, stopKey, prompter, onGroup);

    std::copy(disks.begin(), disks.end(), bucket.begin());
    std::copy(others.begin(), others.end(), bucket.begin() + std::ptrdiff_t(disks.size()));
}

bool DupPropertyChosen(const TDupSettings &settings)
{
    return settings.name || settings.size || settings.date || settings.attr;
}

QString MsgNoDupProperty()
{
    return QStringLiteral("Please select at least one criteria for duplicate files.");
}

QString MsgNoDupPropertyCaption()
{
    return QStringLiteral("Error");
}

// The duplicates walk over the scope: candidates collected into buckets
// (loading folder levels and file lists through the host, keeping them),
// then each bucket grouped into the found list. It runs on the walk's
// counters and shared steps, and reads records only inside the walk's read
// blocks, which are never held across a host call (countProgress lets go of
// one while it reports).
class TDupWalk
{
public:
    TDupWalk(TSearchWalk &walk, const TSearchCriteria &filter, const TDupSettings &settings)
        : m_walk(walk), m_filter(filter), m_settings(settings)
    {
        if (m_settings.singleCopy) {
            // Single copies are files; a compressed file is one too, and
            // meets plain files of its name and size only when sorted with them.
            m_filter.Files = true;
            m_filter.Folders = false;
            m_filter.Disks = false;
            m_settings.archivesAsFolders = false;
        }
    }

    void run(bool wholeScope, std::vector<int> *groupStarts);

private:
    // A candidate of the single-copy comparison: what decides whether two
    // may be equal (bucket, size, digest), its disk, whether it is one of the
    // scope's (listed when no other disk has it), in collection order.
    struct SingleCandidate {
        TItemRec *rec;
        const TTreeNode *disk;
        int64_t size;
        uint64_t digest;
        uint8_t bucket;
        bool listed;
    };

    void collect(TTreeNode *node, TTreeNode *diskNode);
    void take(TItemRec *rec, QByteArrayView name, TTreeNode *diskNode, bool filtered);
    bool passesFilter(QByteArrayView name) const { return !m_filter.NameOn || NameMatches(m_filter, name); }
    void group(std::vector<int> *groupStarts);
    void listSingleCopies();

    TSearchWalk &m_walk;
    TSearchCriteria m_filter;
    TDupSettings m_settings;
    std::array<std::vector<TItemRec *>, kDupBuckets> m_buckets;
    int m_collected = 0;
    // Single copies only.
    bool m_listing = true;   // the disk being collected is in the scope
    std::vector<SingleCandidate> m_singles;
};

void TDupWalk::take(TItemRec *rec, QByteArrayView name, TTreeNode *diskNode, bool filtered)
{
    if (m_settings.singleCopy) {
        // Every file of every open disk is compared; only the scope's files
        // that pass the filter and are not yet in the list are listed. The
        // record is at hand now, so what sorts it is taken at once.
        const bool listed = m_listing && !m_walk.m_list.contains(rec) && (!filtered || passesFilter(name));
        m_singles.push_back({rec, diskNode, fieldsOf(rec).size, dupDigest(rec, m_settings),
                             uint8_t(DupBucketOf(name)), listed});
    } else {
        // The list's lock: the window may renumber its entries meanwhile.
        if (m_walk.m_list.contains(rec) || (filtered && !passesFilter(name)))
            return;
        m_buckets[size_t(DupBucketOf(name))].push_back(rec);
    }
    m_walk.m_found.fetch_add(1, std::memory_order_relaxed);
    ++m_collected;
}

void TDupWalk::collect(TTreeNode *node, TTreeNode *diskNode)
{
    m_walk.setCurrent(node);
    TSearchHost &host = m_walk.m_host;
    const bool files = m_filter.Files, folders = m_filter.Folders, disks = m_filter.Disks;
    TItemRec *rec = nullptr;
    TDiskRec *disk = nullptr;
    TFolderRec *folder = nullptr;
    bool needFiles = false, needFolders = false;
    {
        // Kind bytes carry flags that loading changes: read under the lock.
        TSearchWalk::ReadingBlock read(m_walk);
        rec = NodeRec(node);
        disk = AsDisk(rec);
        folder = AsFolder(rec);
        if (!disk && !folder)
            return;
        // The members of a compressed file that is skipped are not read:
        // they would give no candidate and stay in memory for nothing.
        const bool skippedArchive = folder && ItemIs(folder->KindFlags, rfCompressed) && m_settings.skipArchives;
        needFiles = files && !skippedArchive && (disk ? disk->FilesLoaded : folder->FilesLoaded) == 0;
    }
    if (needFiles)
        host.loadFileList(node, nullptr);

    bool candidate = false;
    bool scanFiles = files;
    int skipped = 0;
    {
        TSearchWalk::ReadingBlock read(m_walk);
        if (disk) {
            candidate = disks;
            if (candidate)
                take(disk, node->text(), diskNode, false);
        } else {
            const bool compressed = ItemIs(folder->KindFlags, rfCompressed);
            candidate = compressed ? files : folders;
            if (candidate)
                take(folder, node->text(), diskNode, true);
            if (compressed && m_settings.skipArchives) {
                scanFiles = false;
                skipped = files ? folder->FileCount : 0;
            }
        }
    }
    if (candidate)
        m_walk.countProgress(1);

    if (scanFiles) {
        int visited = 0;
        {
            TSearchWalk::ReadingBlock read(m_walk);
            for (TFileRec *file = rec->Next; file && !m_walk.cancelled(); file = file->Next) {
                take(file, file->name(), diskNode, true);
                ++visited;
            }
        }
        m_walk.countProgress(visited);
    } else if (skipped > 0) {
        m_walk.countProgress(skipped);
    }

    {
        TSearchWalk::ReadingBlock read(m_walk);
        needFolders = disk ? !disk->SubfoldersRead : folder->SubOffset > 0;
    }
    if (needFolders)
        host.loadSubfolders(node);
    if (!files && !folders)
        return;
    std::vector<TTreeNode *> children;
    {
        TSearchWalk::ReadingBlock read(m_walk);
        children = node->children();
    }
    for (TTreeNode *child : children) {
        if (m_walk.cancelled())
            break;
        collect(child, diskNode);
    }
}

void TDupWalk::group(std::vector<int> *groupStarts)
{
    for (std::vector<TItemRec *> &bucket : m_buckets) {
        m_walk.countProgress(int(bucket.size()));
        TSearchWalk::ReadingBlock read(m_walk);
        GroupDuplicates(bucket, m_settings, [&](const std::vector<TItemRec *> &members) {
            for (size_t i = 0; i < members.size(); ++i) {
                const int index = m_walk.addHit(members[i]);
                if (i == 0 && groupStarts)
                    groupStarts->push_back(index);
            }
        });
        bucket = {};
    }
}

void TDupWalk::listSingleCopies()
{
    // Candidates that may be equal are those of one bucket and one size
    // (single copies are files, so one kind class) with one digest; sorting
    // by these brings each such set together, in collection order.
    std::vector<uint32_t> order(m_singles.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
        const SingleCandidate &a = m_singles[x], &b = m_singles[y];
        if (a.bucket != b.bucket)
            return a.bucket < b.bucket;
        if (a.size != b.size)
            return a.size < b.size;
        if (a.digest != b.digest)
            return a.digest < b.digest;
        return x < y;
    });
    const auto sameSet = [&](uint32_t x, uint32_t y) {
        const SingleCandidate &a = m_singles[x], &b = m_singles[y];
        return a.bucket == b.bucket && a.size == b.size && a.digest == b.digest;
    };
    std::vector<uint32_t> singles;
    {
        TSearchWalk::ReadingBlock read(m_walk);
        for (size_t lo = 0, hi = 0; lo < order.size(); lo = hi) {
            hi = lo + 1;
            while (hi < order.size() && sameSet(order[lo], order[hi]))
                ++hi;
            for (size_t x = lo; x < hi; ++x) {
                const SingleCandidate &a = m_singles[order[x]];
                if (!a.listed)
                    continue;
                bool copied = false;
                for (size_t y = lo; y < hi && !copied; ++y) {
                    const SingleCandidate &b = m_singles[order[y]];
                    copied = b.disk != a.disk && DupEqual(a.rec, b.rec, m_settings);
                }
                if (!copied)
                    singles.push_back(order[x]);
            }
        }
    }
    m_walk.countProgress(int(m_singles.size()));
    // In the order the files were met: disk by disk, folder by folder.
    std::sort(singles.begin(), singles.end());
    TSearchWalk::ReadingBlock read(m_walk);
    for (const uint32_t i : singles)
        m_walk.addHit(m_singles[i].rec);
    m_singles = {};
}

void TDupWalk::run(bool wholeScope, std::vector<int> *groupStarts)
{
    if (!DupPropertyChosen(m_settings))
        return;
    // The candidates point into every chain collected until they are
    // grouped: no other command may drop one meanwhile.
    const TPinAllFileChains pinned;
    TSearchWalk &w = m_walk;
    w.m_checked = 0;
    w.m_found.store(0);
    w.m_firstHit.store(-1);
    w.m_maxFound = 0;   // no hit limit for duplicates
    w.m_collecting.store(true);
    const bool files = m_filter.Files, folders = m_filter.Folders, disks = m_filter.Disks;

    // Single copies compare against every open disk; the scope says which
    // of them are listed.
    std::vector<TScopeDisks> scope;
    std::vector<const TTreeNode *> listedDisks;
    {
        TSearchWalk::ReadingBlock read(m_walk);
        scope = SearchScope(w.m_forest, wholeScope || m_settings.singleCopy);
        if (m_settings.singleCopy)
            for (const TScopeDisks &entry : SearchScope(w.m_forest, wholeScope))
                listedDisks.insert(listedDisks.end(), entry.disks.begin(), entry.disks.end());
        w.m_total = w.scopeTotal(scope, files, folders, disks);
    }

    try {
        for (const TScopeDisks &entry : scope) {
            for (TTreeNode *diskNode : entry.disks) {
                if (w.cancelled())
                    break;
                m_listing = !m_settings.singleCopy
                    || std::find(listedDisks.begin(), listedDisks.end(), diskNode) != listedDisks.end();
                const int checked = w.m_checked;
                collect(diskNode, diskNode);
                int share = 0;
                {
                    TSearchWalk::ReadingBlock read(m_walk);
                    share = w.diskShare(AsDisk(NodeRec(diskNode)), files, folders, disks);
                }
                w.m_checked = checked;
                w.countProgress(share);
            }
            if (w.cancelled())
                break;
        }
    } catch (...) {
        // A record that cannot be read ends the collecting; what was
        // collected is still grouped.
    }
    w.setCurrent(nullptr);

    w.m_collecting.store(false);
    w.m_checked = 0;
    w.m_found.store(0);
    w.m_total = m_collected;
    try {
        if (m_settings.singleCopy)
            listSingleCopies();
        else
            group(groupStarts);
    } catch (...) {
        // An error ends the search as if it had finished: the groups so far stay.
    }
}

void RunDuplicateSearch(TSearchWalk &walk, const TSearchCriteria &filter, const TDupSettings &settings,
                        bool wholeScope, std::vector<int> *groupStarts)
{
    TDupWalk(walk, filter, settings).run(wholeScope, groupStarts);
}

void TSearchWalk::runDuplicates(const TSearchCriteria &filter, const TDupSettings &settings, bool wholeScope)
{
    RunDuplicateSearch(*this, filter, settings, wholeScope);
}
