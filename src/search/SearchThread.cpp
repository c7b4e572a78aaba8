// The search worker: a walk on its own QThread whose loading steps run in
// the controller's thread.
#include "search/SearchThread.h"

#include "catalog/CatalogRec.h"
#include "catalog/LoadSave.h"
#include "catalog/RecordLock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include <sys/eventfd.h>
#include <unistd.h>

// The walk's host and the mailbox between the worker and the owner (the
// controller's thread). A loading step waits until the owner has run it;
// progress does not wait (the worker must not stall every 128 items), the
// latest counts winning over ones not yet shown.
class TSearchController::Host : public TSearchHost
{
public:
    explicit Host(TSearchController &owner)
        : m_owner(owner), m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
    }
    ~Host() override
    {
        if (m_wakeFd >= 0)
            ::close(m_wakeFd);
    }
    int wakeFd() const { return m_wakeFd; }

    void loadSubfolders(TTreeNode *node) override
    {
        inOwner([node] { LoadSubfolders(node, false, false); });
    }
    void loadFileList(TTreeNode *node, TFileListFilter *filter) override
    {
        inOwner([node, filter] { loadList(node, filter); });
    }
    void unloadFileListIfUnused(TTreeNode *node) override
    {
        inOwner([this, node] { unloadUnlessKept(node); });
    }
    void steps(TTreeNode *unloadIfUnused, TTreeNode *loadFiles, TFileListFilter *filter,
               TTreeNode *loadLevel) override
    {
        // One trip; a failure of one step does not keep the others from running.
        inOwner([this, unloadIfUnused, loadFiles, filter, loadLevel] {
            if (unloadIfUnused)
                runGuarded([&] { unloadUnlessKept(unloadIfUnused); });
            if (loadFiles)
                runGuarded([&] { loadList(loadFiles, filter); });
            if (loadLevel)
                runGuarded([&] { LoadSubfolders(loadLevel, false, false); });
        });
    }
    void showProgress(int checked, int total, int found) override
    {
        bool posted;
        {
            std::lock_guard lock(m_mutex);
            m_counts = {checked, total, found};
            posted = m_countsPosted;
            m_countsPosted = true;
        }
        // Counts not shown yet are replaced, with no second wake-up.
        if (!posted)
            wake();
    }

    // The worker's last word, after its walk has returned.
    void workerEnded()
    {
        {
            std::lock_guard lock(m_mutex);
            m_ended = true;
        }
        wake();
    }

    // The owner's side: what waits, taken under the lock.
    struct Mail {
        std::function<void()> step;
        bool counts = false;
        int checked = 0, total = 0, found = 0;
        bool ended = false;
    };
    Mail takeMail()
    {
        drainWake();
        std::lock_guard lock(m_mutex);
        Mail mail;
        mail.step = std::move(m_step);
        m_step = nullptr;
        mail.counts = m_countsPosted;
        m_countsPosted = false;
        mail.checked = m_counts.checked;
        mail.total = m_counts.total;
        mail.found = m_counts.found;
        mail.ended = m_ended;
        return mail;
    }
    // Runs a step taken from the mailbox and lets the worker go on.
    void finishStep(const std::function<void()> &step)
    {
        runGuarded(step);
        {
            std::lock_guard lock(m_mutex);
            m_stepDone = true;
        }
        m_stepDoneCondition.notify_all();
    }
    // Runs the waiting step, if any (the owner waiting for the worker to stop).
    void serveStep()
    {
        std::function<void()> step;
        {
            std::lock_guard lock(m_mutex);
            step = std::move(m_step);
            m_step = nullptr;
        }
        if (step)
            finishStep(step);
    }
    // Before a new worker starts.
    void reset()
    {
        std::lock_guard lock(m_mutex);
        m_step = nullptr;
        m_stepDone = false;
        m_countsPosted = false;
        m_ended = false;
        m_kept = nullptr;
    }

    // Owner's thread only.
    const TTreeNode *m_kept = nullptr;

private:
    static void loadList(TTreeNode *node, TFileListFilter *filter)
    {
        if (filter)
            LoadFileListIf(node, *filter);
        else
            LoadFileList(node);
    }

    // The test and the drop in one step of the owner's thread, so a record
    // the user list takes meanwhile is never freed under it.
    void unloadUnlessKept(TTreeNode *node)
    {
        if (m_kept != node)
            UnloadFileList(node);
    }

    static void runGuarded(const std::function<void()> &step)
    {
        try {
            TRecordWriteScope writing;
            step();
        } catch (...) {
            // A failed loading step leaves the walk with what is in memory.
        }
    }

    void inOwner(std::function<void()> step)
    {
        if (QThread::currentThread() == m_owner.thread()) {
            runGuarded(step);
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            m_step = std::move(step);
            m_stepDone = false;
        }
        wake();
        std::unique_lock lock(m_mutex);
        m_stepDoneCondition.wait(lock, [this] { return m_stepDone; });
    }

    void wake()
    {
        const uint64_t one = 1;
        while (::write(m_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
    void drainWake()
    {
        uint64_t count = 0;
        while (::read(m_wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }

    TSearchController &m_owner;
    int m_wakeFd;
    std::mutex m_mutex;
    std::condition_variable m_stepDoneCondition;
    // Under m_mutex.
    std::function<void()> m_step;
    bool m_stepDone = false;
    struct {
        int checked = 0, total = 0, found = 0;
    } m_counts;
    bool m_countsPosted = false;
    bool m_ended = false;
};

TSearchController::TSearchController(TForest &forest, QObject *parent)
    : QObject(parent), m_forest(forest), m_host(std::make_unique<Host>(*this))
{
    m_notifier = new QSocketNotifier(m_host->wakeFd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TSearchController::serveWorker);
}

TSearchController::~TSearchController()
{
    if (m_thread) {
        m_walk->cancel();
        // Only the walk's own steps are run here: no event is handled by an
        // object that is going away.
        while (!m_thread->wait(5))
            m_host->serveStep();
        m_host->takeMail();   // the worker's last word: what it did comes before what follows
        delete m_thread;
        m_thread = nullptr;
    }
    delete m_notifier;
    m_notifier = nullptr;
}

bool TSearchController::searching() const
{
    return m_thread != nullptr;
}

bool TSearchController::startNormal(TFoundList &list, const TSearchCriteria &criteria, bool wholeScope)
{
    if (searching())
        return false;
    launch([criteria, wholeScope](TSearchWalk &walk) { walk.runNormal(criteria, wholeScope); }, list);
    return true;
}

bool TSearchController::startDuplicates(TFoundList &list, const TSearchCriteria &filter, const TDupSettings &settings,
                                        bool wholeScope)
{
    if (searching())
        return false;
    launch([filter, settings, wholeScope](TSearchWalk &walk) { walk.runDuplicates(filter, settings, wholeScope); },
           list);
    return true;
}

void TSearchController::launch(std::function<void(TSearchWalk &)> body, TFoundList &list)
{
    m_host->reset();
    m_walk = std::make_unique<TSearchWalk>(m_forest, list, *m_host);
    TSearchWalk *walk = m_walk.get();
    Host *host = m_host.get();
    m_thread = QThread::create([walk, host, body = std::move(body)] {
        body(*walk);
        host->workerEnded();
    });
    m_thread->start();
}

void TSearchController::serveWorker()
{
    Host::Mail mail = m_host->takeMail();
    if (mail.step)
        m_host->finishStep(mail.step);
    if (mail.counts)
        emit progress(mail.checked, mail.total, mail.found);
    if (mail.ended)
        threadEnded();
}

void TSearchController::threadEnded()
{
    if (!m_thread)
        return;
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    emit finished(m_walk->foundCount(), m_walk->cancelled());
}

void TSearchController::cancel()
{
    if (m_walk && m_thread)
        m_walk->cancel();
}

bool TSearchController::cancelAndWait(int timeoutMs)
{
    cancel();
    // Rounds of handling events (the worker's wake-ups among them) and a
    // short wait, until the end of the run has been handled.
    QDeadlineTimer deadline(timeoutMs);
    while (m_thread) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (m_thread && m_thread->wait(10))
            serveWorker();
        if (m_thread && deadline.hasExpired())
            return false;
    }
    return true;
}

void TSearchController::keepFileList(const TTreeNode *owner)
{
    if (m_walk && m_thread && owner && owner == m_walk->currentNode())
        m_host->m_kept = owner;
}

int TSearchController::foundCount() const
{
    return m_walk ? m_walk->foundCount() : 0;
}

int TSearchController::firstHitIndex() const
{
    return m_walk ? m_walk->firstHitIndex() : -1;
}

bool TSearchController::collectingPhase() const
{
    return m_walk && m_walk->collectingPhase();
}

bool TSearchController::wasCancelled() const
{
    return m_walk && m_walk->cancelled();
}
