// One reader-writer lock for every record of the forest.
#include "catalog/RecordLock.h"

#include <atomic>
#include <cassert>
#include <shared_mutex>

namespace {

std::shared_mutex &recordMutex()
{
    static std::shared_mutex mutex;
    return mutex;
}

thread_local int t_writeDepth = 0;
thread_local int t_readDepth = 0;
std::atomic<const TTreeNode *> g_pinnedChain{nullptr};
std::atomic<int> g_allChainsPinned{0};

} // namespace

TRecordReadScope::TRecordReadScope()
{
    // The writer already excludes everyone; a nested reader is covered by the
    // outer one (taking a shared lock twice can block behind a waiting writer).
    if (t_writeDepth > 0)
        return;
    m_counted = true;
    if (t_readDepth++ > 0)
        return;
    recordMutex().lock_shared();
    m_locked = true;
}

TRecordReadScope::~TRecordReadScope()
{
    if (!m_counted)
        return;
    --t_readDepth;
    if (m_locked)
        recordMutex().unlock_shared();
}

TRecordWriteScope::TRecordWriteScope()
{
    // A reader that asks to write would wait for itself.
    assert(t_readDepth == 0 && "a write scope inside a read scope of the same thread");
    if (t_writeDepth++ == 0)
        recordMutex().lock();
}

TRecordWriteScope::~TRecordWriteScope()
{
    if (--t_writeDepth == 0)
        recordMutex().unlock();
}

bool HoldsRecordWriteScope()
{
    return t_writeDepth > 0;
}

void PinFileChain(const TTreeNode *node)
{
    g_pinnedChain.store(node, std::memory_order_release);
}

bool FileChainPinned(const TTreeNode *node)
{
    return node && (g_allChainsPinned.load(std::memory_order_acquire) > 0 ||
                    g_pinnedChain.load(std::memory_order_acquire) == node);
}

TPinAllFileChains::TPinAllFileChains()
{
    g_allChainsPinned.fetch_add(1, std::memory_order_acq_rel);
}

TPinAllFileChains::~TPinAllFileChains()
{
    g_allChainsPinned.fetch_sub(1, std::memory_order_acq_rel);
}
