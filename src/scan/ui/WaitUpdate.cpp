// The scan's progress window.
#include "scan/ui/WaitUpdate.h"

#include "platform/Prompter.h"

#include <QCoreApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

TWaitUpdateForm::TWaitUpdateForm(Prompter &prompter, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_prompter(prompter)
{
    setObjectName(QStringLiteral("WaitUpdateForm"));
    setWindowTitle(QStringLiteral("Quillon"));
    setWindowModality(Qt::ApplicationModal);

    m_top = new QLabel(this);
    m_top->setObjectName(QStringLiteral("TopLabel"));
    QFont bold = m_top->font();
    bold.setBold(true);
    m_top->setFont(bold);
    m_bottom = new QLabel(this);
    m_bottom->setObjectName(QStringLiteral("BottomLabel"));
    m_dir = new QLabel(this);
    m_dir->setObjectName(QStringLiteral("DirLabel"));
    m_dir->setTextFormat(Qt::PlainText);
    // Long paths must not widen the window: the label keeps its width and cuts.
    m_dir->setMinimumWidth(360);
    m_dir->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_found = new QLabel(this);
    m_found->setObjectName(QStringLiteral("DescFoundLabel"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("ProgressBar"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setVisible(false);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("ButtonCancel"));
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &TWaitUpdateForm::askCancel);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_top);
    layout->addWidget(m_bottom);
    layout->addWidget(m_dir);
    layout->addWidget(m_found);
    layout->addWidget(m_bar);
    layout->addLayout(buttons);
}

void TWaitUpdateForm::setTopLabel(const QString &text)
{
    m_top->setText(text);
}

void TWaitUpdateForm::setBottomLabel(const QString &text)
{
    m_bottom->setText(text);
}

void TWaitUpdateForm::setDirLabel(const QString &text)
{
    m_dir->setText(m_dir->fontMetrics().elidedText(text, Qt::ElideMiddle, std::max(m_dir->width(), 360)));
    m_dir->setToolTip(text);
    emit dirLabelChanged(text);
}

void TWaitUpdateForm::setDescFoundLabel(const QString &text)
{
    m_found->setText(text);
}

void TWaitUpdateForm::showProgressBar(bool visible)
{
    m_bar->setVisible(visible);
}

void TWaitUpdateForm::setPosition(int percent)
{
    m_bar->setValue(std::clamp(percent, 0, 100));
}

void TWaitUpdateForm::processEvents()
{
    if (m_sinceEvents.isValid() && m_sinceEvents.elapsed() < kEventMillis)
        return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceEvents.start();
}

void TWaitUpdateForm::askCancel()
{
    // A second Cancel while the question is open asks nothing more.
    if (m_asking || cancelRequested())
        return;
    m_asking = true;
    const MsgAnswer answer =
        m_prompter.ask(MsgAbortScanCaption(), MsgAbortScanText(), MsgIcon::Question, MsgButtons::YesNo);
    m_asking = false;
    if (answer == MsgAnswer::Yes)
        requestCancel();
}

void TWaitUpdateForm::reject()
{
    // The window closes when the scan ends, never by itself.
    askCancel();
}
