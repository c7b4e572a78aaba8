// The normal search's walk and the steps it shares with the duplicates walk
// (which lives in Duplicates.cpp).
#include "search/SearchWalk.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "search/FoundList.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <optional>

namespace {

bool AnyCriterionOn(const TSearchCriteria &c)
{
    return (c.NameOn && !c.NamePattern.isEmpty()) || c.AttrOn || c.DescOn || c.CategoryOn || c.SizeOn || c.DateOn ||
           c.TimeOn;
}

int ClampCount(int64_t n)
{
    return int(std::clamp<int64_t>(n, 0, INT_MAX));
}

// Pins a file chain for a block.
class ChainPin
{
public:
    explicit ChainPin(const TTreeNode *node) { PinFileChain(node); }
    ~ChainPin() { PinFileChain(nullptr); }
    ChainPin(const ChainPin &) = delete;
    ChainPin &operator=(const ChainPin &) = delete;
};

} // namespace

void TDirectSearchHost::loadSubfolders(TTreeNode *node)
{
    try {
        LoadSubfolders(node, false, false);
    } catch (...) {
        // The walk goes on with what is in memory.
    }
}

void TDirectSearchHost::loadFileList(TTreeNode *node, TFileListFilter *filter)
{
    try {
        if (filter)
            LoadFileListIf(node, *filter);
        else
            LoadFileList(node);
    } catch (...) {
    }
}

void TDirectSearchHost::unloadFileListIfUnused(TTreeNode *node)
{
    UnloadFileList(node);
}

void TDirectSearchHost::showProgress(int checked, int total, int found)
{
    if (progress)
        progress(checked, total, found);
}

TSearchWalk::TSearchWalk(TForest &forest, TFoundList &list, TSearchHost &host)
    : m_forest(forest), m_list(list), m_host(host)
{
}

int TSearchWalk::diskShare(const TDiskRec *disk, bool files, bool folders, bool disks) const
{
    if (!disk)
        return 0;
    int64_t n = 0;
    if (disks)
        n += 1;
    if (folders)
        n += std::max(disk->TotalFolders, 0);
    if (files)
        n += int64_t(std::max(disk->TotalFiles, 0)) + std::max(disk->ArchiveFiles, 0);
    return ClampCount(n);
}

int TSearchWalk::scopeTotal(const std::vector<TScopeDisks> &scope, bool files, bool folders, bool disks) const
{
    TRecordReadScope reading;   // nested in the walk's own, or on its own
    int64_t total = 0;
    for (const TScopeDisks &entry : scope)
        for (const TTreeNode *diskNode : entry.disks)
            total += diskShare(AsDisk(diskNode->data()), files, folders, disks);
    return ClampCount(total);
}

void TSearchWalk::countProgress(int n)
{
    m_checked = ClampCount(int64_t(m_checked) + n);
    if (n < 2 && m_checked % 128 != 0)
        return;
    // Writers get their turn while the host shows the progress; the chain
    // being scanned is pinned, the other records stay where they are.
    const bool held = m_reading.has_value();
    releaseRecords();
    m_host.showProgress(m_checked, m_total, foundCount());
    if (held)
        readRecords();
}

int TSearchWalk::addHit(TItemRec *rec, bool marksFirstHit)
{
    const int index = m_list.append(rec);
    const int found = m_found.fetch_add(1, std::memory_order_relaxed) + 1;
    if (marksFirstHit && m_firstHit.load(std::memory_order_relaxed) < 0)
        m_firstHit.store(index, std::memory_order_relaxed);
    if (m_maxFound > 0 && found >= m_maxFound)
        cancel();
    return index;
}

void TSearchWalk::runNormal(const TSearchCriteria &criteria, bool wholeScope)
{
    if (!AnyCriterionOn(criteria))
        return;
    // The cancel flag is not reset: a walk serves one search, and a cancel
    // that came before the walk started must still stop it.
    m_checked = 0;
    m_total = 0;
    m_found.store(0);
    m_firstHit.store(-1);
    m_collecting.store(true);
    m_maxFound = std::max(criteria.MaxFound, 0);
    const bool files = criteria.Files, folders = criteria.Folders, disks = criteria.Disks;
    try {
        std::vector<TScopeDisks> scope;
        {
            ReadingBlock reading(*this);
            scope = SearchScope(m_forest, wholeScope);
            m_total = scopeTotal(scope, files, folders, disks);
        }
        for (const TScopeDisks &entry : scope) {
            const TCatalogRec *catalog = AsCatalog(entry.catalog->data());
            for (TTreeNode *diskNode : entry.disks) {
                if (cancelled())
                    break;
                const int before = m_checked;
                int share = 0;
                {
                    ReadingBlock reading(*this);
                    const TDiskRec *disk = AsDisk(diskNode->data());
                    share = diskShare(disk, files, folders, disks);
                    if (disks && disk && MatchDisk(criteria, diskNode, disk) && !m_list.contains(disk))
                        addHit(const_cast<TDiskRec *>(disk), false);
                }
                if (files || folders)
                    walkNode(diskNode, criteria, catalog);
                // The disk's share exactly, so the progress ends at its total.
                m_checked = before;
                countProgress(share);
            }
            if (cancelled())
                break;
        }
    } catch (...) {
        // A record that cannot be read ends the search as if it had finished:
        // the hits so far stay.
    }
    releaseRecords();
    setCurrent(nullptr);
    try {
        hostSteps(nullptr, nullptr, nullptr);   // the last list left to drop
    } catch (...) {
    }
}

void TSearchWalk::hostSteps(TTreeNode *loadFiles, TFileListFilter *filter, TTreeNode *loadLevel)
{
    TTreeNode *drop = m_pendingDrop;
    m_pendingDrop = nullptr;
    if (drop || loadFiles || loadLevel)
        m_host.steps(drop, loadFiles, filter, loadLevel);
}

// The test of a file list that is not in memory, run by the host while it
// reads the list: each entry is counted and tested as the chain scan would
// count and test its record, and the list is read into records only from
// the first entry that matches on (the entries before it are skipped by the
// scan), so a list without a hit costs no record and no trip to drop it.
// It runs in the host's thread while the walk waits for the step, so it
// touches no read scope (the host holds the write scope).
class TWalkListFilter : public TFileListFilter
{
public:
    TWalkListFilter(TSearchWalk &walk, const TSearchCriteria &criteria, const TCatalogRec *catalog)
        : m_walk(walk), m_criteria(criteria), m_catalog(catalog)
    {
    }

    bool wanted(const TFileEntryView &entry) override
    {
        if (m_walk.cancelled())
            return false;   // not counted: the walk winds up after the step
        if (MatchFileEntry(m_criteria, entry, m_catalog))
            return true;
        ++m_tested;
        if (m_walk.m_checked < INT_MAX && ++m_walk.m_checked % 128 == 0)
            m_walk.m_host.showProgress(m_walk.m_checked, m_walk.m_total, m_walk.foundCount());
        return false;
    }
    // Entries counted and tested without a match.
    int tested() const { return m_tested; }

private:
    TSearchWalk &m_walk;
    const TSearchCriteria &m_criteria;
    const TCatalogRec *m_catalog;
    int m_tested = 0;
};

void TSearchWalk::walkNode(TTreeNode *node, const TSearchCriteria &criteria, const TCatalogRec *catalog)
{
    const bool files = criteria.Files, folders = criteria.Folders;
    TFolderRec *folder = nullptr;
    int foundBefore = 0;
    bool load = false;
    // The node's chain stays pinned from here until it has been scanned: no
    // other command drops it between the loading step and the scan.
    std::optional<ChainPin> pin;
    {
        ReadingBlock reading(*this);
        TItemRec *rec = node->data();
        folder = AsFolder(rec);
        TDiskRec *disk = AsDisk(rec);
        if (!folder && !disk)
            return;
        setCurrent(node);
        pin.emplace(node);
        foundBefore = foundCount();
        // A description-only search reads no chain without descriptions, a
        // disk's root files included; a node without a list in the file has
        // nothing to read.
        const uint8_t filesLoaded = disk ? disk->FilesLoaded : folder->FilesLoaded;
        const int32_t listOffset = disk ? disk->ListOffset : folder->ListOffset;
        load = files && filesLoaded == 0 && listOffset >= 0 &&
               (!criteria.DescOnly || ItemIs(rec->KindFlags, rfHasDesc));
    }
    int tested = 0;
    if (load) {
        TWalkListFilter filter(*this, criteria, catalog);
        hostSteps(node, &filter, nullptr);
        tested = filter.tested();
    }

    bool subfoldersUnread = false;
    {
        ReadingBlock reading(*this);
        TItemRec *rec = node->data();
        if (folder) {
            const bool compressed = ItemIs(folder->KindFlags, rfCompressed);
            if ((!compressed && folders) || (compressed && files)) {
                countProgress(1);
                if (MatchFolder(criteria, node, folder, catalog) && !m_list.contains(folder))
                    addHit(folder);
            }
        }
        if (files && (!criteria.DescOnly || ItemIs(rec->KindFlags, rfHasDesc)))
            scanFileChain(node, criteria, catalog, tested);
        if (folder)
            subfoldersUnread = folder->SubOffset > 0;
        else if (TDiskRec *disk = AsDisk(rec))
            subfoldersUnread = !disk->SubfoldersRead;
        // Whether the filter had the list read (a match, or damage to report).
        if (load)
            load = (folder ? folder->FilesLoaded : AsDisk(rec)->FilesLoaded) != 0;
        pin.reset();
    }

    // A file list read only for the search that gave nothing goes again
    // (unless the user list took one of its records meanwhile: the host's
    // part), with the walk's next trip.
    if (load && foundCount() == foundBefore)
        m_pendingDrop = node;
    // The child folders as tree nodes; a level in memory needs no trip, and
    // a cancelled walk visits no child.
    if (subfoldersUnread && !cancelled())
        hostSteps(nullptr, nullptr, node);

    for (int i = 0;; ++i) {
        if (cancelled())
            break;
        TTreeNode *child = nullptr;
        {
            ReadingBlock reading(*this);
            if (i >= node->childCount())
                break;
            child = node->child(i);
        }
        walkNode(child, criteria, catalog);
    }
}

void TSearchWalk::scanFileChain(TTreeNode *node, const TSearchCriteria &criteria, const TCatalogRec *catalog,
                                int skip)
{
    // Called with the read scope held and the chain pinned; countProgress
    // lets writers in every 128 files, which leave its records in place.
    TFileRec *file = node->data()->Next;
    for (; file && skip > 0; --skip)
        file = file->Next;
    while (file && !cancelled()) {
        // The files before the next one that publishes the progress are
        // counted and tested in one run, which stops at a match.
        const int run = m_checked < INT_MAX ? 127 - m_checked % 128 : 0;
        if (run > 0) {
            int tested = 0;
            TFileRec *hit = MatchInChain(criteria, file, run, catalog, tested);
            m_checked += tested;
            if (hit && !m_list.contains(hit))
                addHit(hit);
            continue;
        }
        // The one that publishes it (counted first, then tested).
        if (m_checked < INT_MAX && ++m_checked % 128 == 0)
            countProgress(0);
        if (MatchFile(criteria, file, catalog) && !m_list.contains(file))
            addHit(file);
        file = file->Next;
    }
}
