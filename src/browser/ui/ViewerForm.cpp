// The built-in text viewer (see ViewerForm.h).
#include "browser/ui/ViewerForm.h"

#include "browser/TextViewer.h"
#include "platform/Prompter.h"
#include "platform/Texts.h"
#include "settings/Options.h"
#include "widgets/ui/DescMenu.h"
#include "widgets/ui/Fonts.h"
#include "widgets/ui/Placement.h"

#include <QAction>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontDialog>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>

TViewerForm::TViewerForm(const TFontSlot &font, QWidget *parent) : QMainWindow(parent), m_font(font)
{
    setObjectName(QStringLiteral("ViewerForm"));
    setWindowTitle(QStringLiteral("ASCII Viewer"));
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("RichEdit"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    AttachDescMenu(m_text);
    m_text->installEventFilter(this);
    setCentralWidget(m_text);

    QMenu *file = menuBar()->addMenu(QStringLiteral("File"));
    QAction *exit = file->addAction(QStringLiteral("Exit"), this, &QWidget::close);
    exit->setObjectName(QStringLiteral("ViewMenuExit"));
    QMenu *options = menuBar()->addMenu(QStringLiteral("Options"));
    QAction *wrap = options->addAction(QStringLiteral("Word Wrap"));
    wrap->setObjectName(QStringLiteral("ViewMenuWordWrap"));
    wrap->setCheckable(true);
    connect(wrap, &QAction::toggled, this, &TViewerForm::setWordWrap);
    QAction *setFont = options->addAction(QStringLiteral("Set Font"), this, &TViewerForm::chooseFont);
    setFont->setObjectName(QStringLiteral("ViewMenuFont"));
    applyFont();

    m_pieces.setInterval(0);
    connect(&m_pieces, &QTimer::timeout, this, &TViewerForm::appendPiece);
    resize(720, 520);
}

TViewerForm::~TViewerForm() = default;

bool TViewerForm::loadFile(const QString &path, Prompter &prompter)
{
    m_text->clear();
    m_note.clear();
    m_pieces.stop();
    m_reader.reset();
    if (!QFileInfo(path).isFile()) {
        prompter.ask(QStringLiteral("File not found"),
                     QStringLiteral("Sorry, selected file does not exist any more on the media.\r"
                                    "Please update data for this media."),
                     MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    setWindowTitle(QStringLiteral("ASCII Viewer - ") + path);
    if (IsRtfFileName(path)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const TRtfText rtf = ReadRtf(file.readAll());
            if (rtf.recognized) {
                m_text->appendHtml(rtf.html);
                if (!rtf.complete)
                    m_note = QStringLiteral("Pictures and objects of this document cannot be shown.");
            } else {
                file.seek(0);
                m_text->setPlainText(PlainLineBreaks(DecodeDosBytes(file.readAll())));
                m_note = QStringLiteral("This file is not a readable RTF document; it is shown as plain text.");
            }
            if (!m_note.isEmpty())
                statusBar()->showMessage(m_note);
            m_text->moveCursor(QTextCursor::Start);
        }
        emit loadingFinished();
        return true;
    }
    m_reader = std::make_unique<TTextFileReader>();
    if (!m_reader->open(path)) {
        prompter.ask(QStringLiteral("File not found"), m_reader->errorString(), MsgIcon::Warning, MsgButtons::Ok);
        m_reader.reset();
        return false;
    }
    statusBar()->showMessage(QStringLiteral("Opening file in ASCII viewer, please wait"));
    appendPiece();   // the first piece at once, the rest while the window runs
    return true;
}

void TViewerForm::appendPiece()
{
    if (!m_reader)
        return;
    const QString piece = m_reader->next();
    if (!piece.isEmpty()) {
        QTextCursor c(m_text->document());
        c.movePosition(QTextCursor::End);
        c.insertText(piece);
    }
    if (m_reader->atEnd() || piece.isEmpty()) {
        m_pieces.stop();
        m_reader.reset();
        statusBar()->clearMessage();
        emit loadingFinished();
        return;
    }
    statusBar()->showMessage(QStringLiteral("Opening file in ASCII viewer, please wait (%1 %)")
                                 .arg(m_reader->size() > 0 ? m_reader->position() * 100 / m_reader->size() : 100));
    m_pieces.start();
}

void TViewerForm::setWordWrap(bool on)
{
    m_text->setLineWrapMode(on ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    if (QAction *a = findChild<QAction *>(QStringLiteral("ViewMenuWordWrap")); a && a->isChecked() != on)
        a->setChecked(on);
}

bool TViewerForm::wordWrap() const
{
    return m_text->lineWrapMode() != QPlainTextEdit::NoWrap;
}

void TViewerForm::chooseFont()
{
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, CustomSlotFont(m_font), this);
    if (ok)
        setChosenFont(chosen);
}

void TViewerForm::setChosenFont(const QFont &font)
{
    m_font.UseCustomFont = true;
    m_font.Font = FontDataOf(font, logicalDpiY());
    if (m_fontChanged)
        m_fontChanged(m_font);
    applyFont();
}

void TViewerForm::applyFont()
{
    m_text->setFont(SlotFont(m_font));
}

void TViewerForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool TViewerForm::eventFilter(QObject *watched, QEvent *event)
{
    // Escape in the text box closes the viewer.
    if (watched == m_text && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void ViewFile(QWidget *parent, const QString &path, TOptions &options, Registry *registry, Prompter &prompter)
{
    const QString placement = QStringLiteral("ViewerWndPos");
    TViewerForm viewer(options.FontSlots[kViewerFontSlot], parent);
    viewer.setFontChangedHook([&options](const TFontSlot &slot) {
        options.FontSlots[kViewerFontSlot] = slot;
        options.setModified(true);
    });
    viewer.setWindowModality(Qt::ApplicationModal);
    viewer.setAttribute(Qt::WA_DeleteOnClose, false);
    if (registry)
        RestorePlacement(&viewer, *registry, placement);
    if (!viewer.loadFile(path, prompter))
        return;
    QEventLoop loop;
    viewer.show();
    // Until the window is closed.
    while (viewer.isVisible())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    if (registry)
        StorePlacement(&viewer, *registry, placement);
}
