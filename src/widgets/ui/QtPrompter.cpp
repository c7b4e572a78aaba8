// Message boxes and the progress window.
#include "widgets/ui/QtPrompter.h"

#include "platform/Texts.h"

#include <QApplication>
#include <QMessageBox>
#include <QProgressDialog>

#include <algorithm>

MsgAnswer QtPrompter::ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons)
{
    QMessageBox::Icon boxIcon = QMessageBox::Information;
    switch (icon) {
    case MsgIcon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case MsgIcon::Warning:
        boxIcon = QMessageBox::Warning;
        break;
    case MsgIcon::Error:
        boxIcon = QMessageBox::Critical;
        break;
    case MsgIcon::Question:
        boxIcon = QMessageBox::Question;
        break;
    }
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
    switch (buttons) {
    case MsgButtons::Ok:
        break;
    case MsgButtons::OkCancel:
        set = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case MsgButtons::YesNo:
        set = QMessageBox::Yes | QMessageBox::No;
        defaultButton = QMessageBox::Yes;
        break;
    case MsgButtons::YesNoCancel:
        set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        defaultButton = QMessageBox::Yes;
        break;
    case MsgButtons::RetryCancel:
        set = QMessageBox::Retry | QMessageBox::Cancel;
        defaultButton = QMessageBox::Retry;
        break;
    }
    QWidget *parent = m_parent ? m_parent.data() : QApplication::activeWindow();
    QMessageBox box(boxIcon, caption, PlainLineBreaks(text), set, parent);
    box.setDefaultButton(defaultButton);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    case QMessageBox::Retry:
        return MsgAnswer::Retry;
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    default:
        // Closing the box is the "no harm" answer of its button set.
        return buttons == MsgButtons::YesNo ? MsgAnswer::No
                                            : (buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel);
    }
}

namespace {
// The bar's range; 64-bit amounts are scaled into it.
constexpr int kBarSteps = 1000;
} // namespace

QtProgressSink::~QtProgressSink()
{
    delete m_dialog;
}

void QtProgressSink::ShowWait(const QString &text, bool withBar, bool withCancel)
{
    resetCancel();
    if (!m_dialog) {
        m_dialog = new QProgressDialog(m_parent);
        m_dialog->setWindowTitle(QStringLiteral("Quillon"));
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setMinimumDuration(0);
        QObject::connect(m_dialog, &QProgressDialog::canceled, [this] { cancel(); });
    }
    m_bar = withBar;
    m_value = 0;
    m_dialog->setLabelText(PlainLineBreaks(text));
    if (withCancel)
        m_dialog->setCancelButtonText(QStringLiteral("Cancel"));
    else
        m_dialog->setCancelButton(nullptr);
    update();
    m_dialog->show();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtProgressSink::AdvanceWait(int64_t amount)
{
    m_value += amount;
    update();
}

void QtProgressSink::SetWaitMax(int64_t max)
{
    m_max = max;
    update();
}

void QtProgressSink::update()
{
    if (!m_dialog)
        return;
    if (!m_bar || m_max <= 0) {
        m_dialog->setRange(0, 0);   // a busy indicator without a bar position
        return;
    }
    m_dialog->setRange(0, kBarSteps);
    const int64_t v = std::clamp<int64_t>(m_value, 0, m_max);
    m_dialog->setValue(int(double(v) / double(m_max) * kBarSteps));
}

void QtProgressSink::HideWait()
{
    if (m_dialog)
        m_dialog->hide();
}

void QtProgressSink::CloseWait()
{
    delete m_dialog;
    m_dialog = nullptr;
}
