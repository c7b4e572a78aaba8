// The windowed forms of the core's people interfaces: questions and
// messages as message boxes, long work as a progress window.
#pragma once

#include "platform/Prompter.h"

#include <QPointer>
#include <QProgressDialog>
#include <QString>

class QWidget;

// Asks with a QMessageBox over the active window (or parent).
class QtPrompter : public Prompter
{
public:
    explicit QtPrompter(QWidget *parent = nullptr) : m_parent(parent) {}
    MsgAnswer ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons) override;

private:
    QPointer<QWidget> m_parent;
};

// The progress window: a modal QProgressDialog shown at once, with a bar and
// a Cancel button when asked for. The cancel flag follows the button.
class QtProgressSink : public ProgressSink
{
public:
    explicit QtProgressSink(QWidget *parent = nullptr) : m_parent(parent) {}
    ~QtProgressSink() override;
    void ShowWait(const QString &text, bool withBar, bool withCancel) override;
    void AdvanceWait(int64_t amount) override;
    void SetWaitMax(int64_t max) override;
    void HideWait() override;
    void CloseWait() override;
    // The window while it exists (for tests).
    QProgressDialog *dialog() const { return m_dialog; }

private:
    void update();

    QPointer<QWidget> m_parent;
    QPointer<QProgressDialog> m_dialog;
    int64_t m_max = 0;
    int64_t m_value = 0;
    bool m_bar = false;
};
