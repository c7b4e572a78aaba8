// How core code talks to people: questions and messages go through a
// Prompter, long work reports to a ProgressSink. The windows implement them
// with message boxes and wait windows, the command line with its options and
// stderr, and tests with scripted answers.
#pragma once

#include <QString>

#include <atomic>

enum class MsgIcon { Information, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No, Retry };

class Prompter
{
public:
    virtual ~Prompter() = default;
    virtual MsgAnswer ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons) = 0;
};

// Writes the message to stderr and answers OK or Yes; a Retry/Cancel question
// is answered Cancel, since nobody is there to mend the cause. The default
// until a program sets its own.
class StderrPrompter : public Prompter
{
public:
    MsgAnswer ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons) override;
};

// The program-wide prompter used by operations that have no caller to ask
// (such as the recovery message of a damaged file list). Never null.
Prompter &DefaultPrompter();
// Sets it; null restores the stderr prompter. The caller keeps ownership.
void SetDefaultPrompter(Prompter *prompter);

class ProgressSink
{
public:
    virtual ~ProgressSink() = default;
    virtual void ShowWait(const QString &text, bool withBar, bool withCancel) = 0;
    virtual void AdvanceWait(int64_t amount) = 0;
    virtual void SetWaitMax(int64_t max) = 0;
    virtual void HideWait() = 0;
    virtual void CloseWait() = 0;
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    void resetCancel() { m_cancelled.store(false, std::memory_order_relaxed); }

private:
    std::atomic<bool> m_cancelled{false};
};
