// The progress window of a disk scan: what the scan is doing (bold top line,
// a second line, the folder or archive being read, the count of descriptions
// found), a bar from 0 to 100, and Cancel, which asks before it stops the
// scan. It is application-modal and stays on top while the scan runs in the
// main thread, and lets the event loop run now and then so it stays alive.
#pragma once

#include "scan/DiskScan.h"

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;
class Prompter;

class TWaitUpdateForm : public QDialog, public ScanProgress
{
    Q_OBJECT
public:
    // prompter asks the abort question; it stays the caller's.
    explicit TWaitUpdateForm(Prompter &prompter, QWidget *parent = nullptr);

    // ScanProgress
    void setTopLabel(const QString &text) override;
    void setBottomLabel(const QString &text) override;
    void setDirLabel(const QString &text) override;
    void setDescFoundLabel(const QString &text) override;
    void showProgressBar(bool visible) override;
    void setPosition(int percent) override;
    // Lets the event loop run at most every kEventMillis, and on the first call.
    void processEvents() override;

    // Cancel: asks "Do you really want to abort disk scan?"; Yes sets the cancel flag.
    void askCancel();
    // Escape and closing the window ask as Cancel does.
    void reject() override;

    QLabel *topLabel() const { return m_top; }
    QLabel *bottomLabel() const { return m_bottom; }
    QLabel *dirLabel() const { return m_dir; }
    QLabel *descFoundLabel() const { return m_found; }
    QProgressBar *progressBar() const { return m_bar; }
    QPushButton *cancelButton() const { return m_cancel; }

signals:
    // The folder or archive shown changed.
    void dirLabelChanged(const QString &text);

private:
    // Often enough for the Cancel button to feel alive, rarely enough to cost
    // nothing next to the directory reads.
    static constexpr int kEventMillis = 50;

    Prompter &m_prompter;
    QLabel *m_top = nullptr;
    QLabel *m_bottom = nullptr;
    QLabel *m_dir = nullptr;
    QLabel *m_found = nullptr;
    QProgressBar *m_bar = nullptr;
    QPushButton *m_cancel = nullptr;
    QElapsedTimer m_sinceEvents;
    bool m_asking = false;
};
