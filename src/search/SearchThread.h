// A search on its own thread: the walk runs on a QThread while the tree's
// owner (the window's main thread) performs the walk's loading steps, each a
// blocking call handed to the thread the controller lives in. One search at
// a time; the end of every run, however it ends, is signalled in the
// controller's thread after the worker has stopped touching the tree.
//
// The worker never posts Qt events: it leaves a step, new counts or its end
// in a mailbox under a standard mutex and wakes the controller's thread
// through an event counter (eventfd) that a socket notifier watches. So every
// hand-over is one that thread checkers see, and nothing the worker allocates
// is freed by the other thread.
#pragma once

#include "search/SearchWalk.h"

#include <QObject>
#include <QThread>

#include <functional>
#include <memory>

class TForest;
class TFoundList;
class TTreeNode;

class TSearchController : public QObject
{
    Q_OBJECT
public:
    explicit TSearchController(TForest &forest, QObject *parent = nullptr);
    ~TSearchController() override;   // cancels and waits for a running search

    bool searching() const;
    // Starts a search; false when one runs already.
    bool startNormal(TFoundList &list, const TSearchCriteria &criteria, bool wholeScope);
    bool startDuplicates(TFoundList &list, const TSearchCriteria &filter, const TDupSettings &settings,
                         bool wholeScope);
    void cancel();
    // Cancels and waits up to timeoutMs, processing events; true when stopped
    // (the finished signal has been emitted by then).
    bool cancelAndWait(int timeoutMs);

    // The user list took a record whose chain the walk is in: keep that chain.
    void keepFileList(const TTreeNode *owner);

    // The walk's state, for the status texts (read in the controller's thread).
    int foundCount() const;
    int firstHitIndex() const;
    bool collectingPhase() const;
    bool wasCancelled() const;

signals:
    // The latest counts; progress posted while an earlier one waits is merged into it.
    void progress(int checked, int total, int found);
    void finished(int found, bool cancelled);

private:
    class Host;
    void launch(std::function<void(TSearchWalk &)> body, TFoundList &list);
    // What the worker left in the mailbox: a step, counts, its end.
    void serveWorker();
    void threadEnded();

    TForest &m_forest;
    std::unique_ptr<Host> m_host;   // before m_notifier: the notifier reads its counter
    std::unique_ptr<TSearchWalk> m_walk;
    QThread *m_thread = nullptr;
    class QSocketNotifier *m_notifier = nullptr;
};
