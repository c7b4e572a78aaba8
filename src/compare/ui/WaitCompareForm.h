// The progress window of a compare or a check: the step text, the live
// counts of the lists (a compare) or a progress bar (a check), and Cancel.
// It is application-modal and stays on top while the work runs in the main
// thread; it lets the event loop run often enough that a click on Cancel
// stops the walk at once.
#pragma once

#include "compare/CompareToMedia.h"

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

class TWaitCompareForm : public QDialog, public TCompareProgress
{
    Q_OBJECT
public:
    explicit TWaitCompareForm(TCompareMode mode, QWidget *parent = nullptr);

    // TCompareProgress
    void setStep(const QString &text) override;
    void setCounts(int64_t newFiles, int64_t same, int64_t changed, int64_t deleted) override;
    void setMaximum(int64_t max) override;
    void setPosition(int64_t done) override;
    // Lets the event loop run at most every kEventMillis.
    void processEvents() override;

    // Escape and closing the window cancel as the button does.
    void reject() override;

    QLabel *stepLabel() const { return m_step; }
    // The value label of a count (0 new, 1 same, 2 changed, 3 deleted).
    QLabel *countLabel(int list) const { return m_counts[list]; }
    QProgressBar *progressBar() const { return m_bar; }
    QPushButton *cancelButton() const { return m_cancel; }

private:
    // Half the time a cancel may take: the click is seen at the next pass.
    static constexpr int kEventMillis = 40;

    QLabel *m_step = nullptr;
    QLabel *m_counts[4] = {};
    QProgressBar *m_bar = nullptr;
    QPushButton *m_cancel = nullptr;
    QElapsedTimer m_sinceEvents;
    int64_t m_max = 0;
};
