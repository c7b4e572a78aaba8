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

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "catalog/RecordLock.h"

class TFileListFilter;
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
    // With a filter, the list is read only when the filter wants one of its
    // entries (LoadFileListIf); the filter runs in the host's thread.
    virtual void loadFileList(TTreeNode *node, TFileListFilter *filter) = 0;
    // Drops the node's file list unless something asked to keep it while the
    // walk was in the node (the user list took one of its records); the test
    // and the drop are one step.
    virtual void unloadFileListIfUnused(TTreeNode *node) = 0;
    // Every 128 examined items and after each disk. A host on another
    // thread than the walk may post it rather than wait for it.
    virtual void showProgress(int checked, int total, int found) = 0;
    // Up to three steps at once, in this order (null: none): a host on
    // another thread makes them one trip to the tree's thread.
    virtual void steps(TTreeNode *unloadIfUnused, TTreeNode *loadFiles, TFileListFilter *filter,
                       TTreeNode *loadLevel)
    {
        if (unloadIfUnused)
            unloadFileListIfUnused(unloadIfUnused);
        if (loadFiles)
            loadFileList(loadFiles, filter);
        if (loadLevel)
            loadSubfolders(loadLevel);
    }
};

// A host for a walk run by the thread that owns the tree (the command line,
// tests): each step runs at once, failures swallowed. progress, when set,
// receives showProgress.
class TDirectSearchHost : public TSearchHost
{
public:
    void loadSubfolders(TTreeNode *node) override;
    void loadFileList(TTreeNode *node, TFileListFilter *filter) override;
    void unloadFileListIfUnused(TTreeNode *node) override;
    void showProgress(int checked, int total, int found) override;

    std::function<void(int checked, int total, int found)> progress;
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
    // Read from any thread while the walk runs.
    int foundCount() const { return m_found.load(std::memory_order_relaxed); }
    int firstHitIndex() const { return m_firstHit.load(std::memory_order_relaxed); }
    bool collectingPhase() const { return m_collecting.load(std::memory_order_relaxed); }
    // Read by the walk's own thread, or after it ended.
    int checkedCount() const { return m_checked; }
    int totalCount() const { return m_total; }
    // Set by the host while the walk is in the node whose chain must be kept.
    TTreeNode *currentNode() const { return m_current.load(std::memory_order_acquire); }

private:
    friend class TDupWalk;   // the duplicates walk (Duplicates.cpp)
    friend class TWalkListFilter;   // the test of unread file lists (SearchWalk.cpp)

    // Shared steps of both walks.
    int scopeTotal(const std::vector<TScopeDisks> &scope, bool files, bool folders, bool disks) const;
    int diskShare(const TDiskRec *disk, bool files, bool folders, bool disks) const;
    void countProgress(int n);        // CheckedCount += n; progress every 128 and for n >= 2
    // Appends, sets the first hit (unless marksFirstHit is false: a disk of
    // the normal search), applies the hit limit.
    int addHit(TItemRec *rec, bool marksFirstHit = true);
    void setCurrent(TTreeNode *node) { m_current.store(node, std::memory_order_release); }

    // The record read scope the walk holds while it reads a node; released
    // around every host call (countProgress does so itself).
    void readRecords() { if (!m_reading) m_reading.emplace(); }
    void releaseRecords() { m_reading.reset(); }
    // readRecords for a block, released when the block is left.
    class ReadingBlock
    {
    public:
        explicit ReadingBlock(TSearchWalk &walk) : m_walk(walk) { m_walk.readRecords(); }
        ~ReadingBlock() { m_walk.releaseRecords(); }
        ReadingBlock(const ReadingBlock &) = delete;
        ReadingBlock &operator=(const ReadingBlock &) = delete;

    private:
        TSearchWalk &m_walk;
    };

    // The normal walk's steps.
    void walkNode(TTreeNode *node, const TSearchCriteria &criteria, const TCatalogRec *catalog);
    // A host trip that also drops the list left to drop (the drop of a node
    // waits for the walk's next trip, so most nodes cost one trip).
    void hostSteps(TTreeNode *loadFiles, TFileListFilter *filter, TTreeNode *loadLevel);
    // Tests the chain's files from the one after the first skip files on
    // (those the list's filter has counted and tested already).
    void scanFileChain(TTreeNode *node, const TSearchCriteria &criteria, const TCatalogRec *catalog, int skip);

    TForest &m_forest;
    TFoundList &m_list;
    TSearchHost &m_host;
    std::atomic<bool> m_cancelled{false};
    std::atomic<TTreeNode *> m_current{nullptr};
    std::optional<TRecordReadScope> m_reading;
    int m_checked = 0, m_total = 0;
    std::atomic<int> m_found{0}, m_firstHit{-1};
    int m_maxFound = 0;
    std::atomic<bool> m_collecting{false};
    TTreeNode *m_pendingDrop = nullptr;
};

