// The walk of a search over the open catalogs: the normal search (disks,
// folders and file chains tested one by one, unloaded file lists read for the
// search and dropped again when they gave nothing) and the duplicates search
// (candidates collected into buckets by first letter, then grouped). The walk
// never changes the tree itself: reading and dropping folder levels and file
// lists go through a host, which the window runs in its main thread and the
// command line runs directly.
#pragma once

#include "search/Criteria.h"
#include "search/Scope.h"

#include <QString>

#include <vector>

#include <atomic>
#include <cstdint>

class TForest;
class TFoundList;
class TTreeNode;

// What the walk asks of the thread that owns the tree. Each call returns when
// the step is done; failures of the loading steps are swallowed.
class TSearchHost
{
public:
    virtual ~TSearchHost() = default;
    virtual void loadSubfolders(TTreeNode *node) = 0;   // one level, no files
    virtual void loadFileList(TTreeNode *node) = 0;
    // Drops the node's file list unless something asked to keep it while the
    // walk was in the node (the user list took one of its records); the test
    // and the drop are one step.
    virtual void unloadFileListIfUnused(TTreeNode *node) = 0;
    // Every 128 examined items and after each disk.
    virtual void showProgress(int checked, int total, int found) = 0;
};

// Duplicates settings taken at the start of a duplicates search.
struct TDupSettings {
    bool name = true, size = true, date = false, attr = false;
    bool skipArchives = true;
    bool singleCopy = false;
    bool archivesAsFolders = true;   // the item order's "Sort archive files as folders"
};

// The counters and flags of one run; cancel() may be called from any thread.
class TSearchWalk
{
public:
    TSearchWalk(TForest &forest, TFoundList &list, TSearchHost &host);

    // Normal search over the scope (SearchScope with wholeScope).
    void runNormal(const TSearchCriteria &criteria, bool wholeScope);
    // Duplicates search; filter holds the name group and the three "Search
    // for" boxes (its other criteria are ignored).
    void runDuplicates(const TSearchCriteria &filter, const TDupSettings &settings, bool wholeScope);

    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
    int foundCount() const { return m_found; }
    int checkedCount() const { return m_checked; }
    int totalCount() const { return m_total; }
    int firstHitIndex() const { return m_firstHit; }
    bool collectingPhase() const { return m_collecting; }
    // Set by the host while the walk is in the node whose chain must be kept.
    TTreeNode *currentNode() const { return m_current.load(std::memory_order_acquire); }

private:
    friend class TDupWalk;   // the duplicates walk (Duplicates.cpp)

    // Shared steps of both walks.
    int scopeTotal(const std::vector<TScopeDisks> &scope, bool files, bool folders, bool disks) const;
    int diskShare(const TDiskRec *disk, bool files, bool folders, bool disks) const;
    void countProgress(int n);        // CheckedCount += n; progress every 128 and for n >= 2
    int addHit(TItemRec *rec);        // appends, sets the first hit, applies the hit limit
    void setCurrent(TTreeNode *node) { m_current.store(node, std::memory_order_release); }

    TForest &m_forest;
    TFoundList &m_list;
    TSearchHost &m_host;
    std::atomic<bool> m_cancelled{false};
    std::atomic<TTreeNode *> m_current{nullptr};
    int m_checked = 0, m_total = 0, m_found = 0, m_firstHit = -1;
    int m_maxFound = 0;
    bool m_collecting = false;
};

