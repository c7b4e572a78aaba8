// The compare's progress window.
#include "compare/ui/WaitCompareForm.h"

#include <QCoreApplication>
#include <QFont>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

TWaitCompareForm::TWaitCompareForm(TCompareMode mode, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("WaitCompareForm"));
    setWindowTitle(CompareCaption(mode));
    setWindowModality(Qt::ApplicationModal);

    m_step = new QLabel(this);
    m_step->setObjectName(QStringLiteral("StepLabel"));
    QFont bold = m_step->font();
    bold.setBold(true);
    m_step->setFont(bold);
    m_step->setMinimumWidth(320);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_step);
    static const char *const captions[] = {"New Files:", "Unchanged Files:", "Changed Files:", "Deleted Files:"};
    auto *counts = new QFormLayout;
    for (int i = 0; i < 4; ++i) {
        m_counts[i] = new QLabel(this);
        m_counts[i]->setObjectName(QStringLiteral("Count%1").arg(i));
        counts->addRow(QString::fromLatin1(captions[i]), m_counts[i]);
    }
    layout->addLayout(counts);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("ProgressBar"));
    m_bar->setRange(0, 1000);
    m_bar->setValue(0);
    layout->addWidget(m_bar);
    // A compare shows counts, a check a bar.
    const bool media = mode == TCompareMode::Media;
    for (int i = 0; i < 4; ++i) {
        m_counts[i]->setVisible(media);
        counts->labelForField(m_counts[i])->setVisible(media);
    }
    m_bar->setVisible(!media);

    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("ButtonCancel"));
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        requestCancel();
        m_cancel->setEnabled(false);
    });
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    layout->addLayout(buttons);
}

void TWaitCompareForm::setStep(const QString &text)
{
    m_step->setText(text);
    // A new step shows at the next entry, not after a full pause.
    m_sinceEvents.invalidate();
}

void TWaitCompareForm::setCounts(int64_t newFiles, int64_t same, int64_t changed, int64_t deleted)
{
    const int64_t values[] = {newFiles, same, changed, deleted};
    for (int i = 0; i < 4; ++i)
        m_counts[i]->setText(QString::number(values[i]));
}

void TWaitCompareForm::setMaximum(int64_t max)
{
    m_max = std::max<int64_t>(max, 0);
    m_bar->setValue(0);
}

void TWaitCompareForm::setPosition(int64_t done)
{
    // The bar counts in thousandths: entry counts may pass what an int holds.
    const int64_t clamped = std::clamp<int64_t>(done, 0, m_max);
    m_bar->setValue(m_max > 0 ? int(clamped * 1000 / m_max) : 0);
}

void TWaitCompareForm::processEvents()
{
    if (m_sinceEvents.isValid() && m_sinceEvents.elapsed() < kEventMillis)
        return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceEvents.start();
}

void TWaitCompareForm::reject()
{
    // The window closes when the work ends, never by itself.
    requestCancel();
    m_cancel->setEnabled(false);
}
