// The description boxes' context menu (see DescMenu.h).
#include "widgets/ui/DescMenu.h"

#include "browser/Properties.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QPlainTextEdit>

namespace {

QPointer<TDescMenu> g_menu;

// A window without parent: it goes when the application does.
void deleteMenu()
{
    delete g_menu.data();
}

} // namespace

TDescMenu &TDescMenu::shared()
{
    if (!g_menu) {
        g_menu = new TDescMenu;
        qAddPostRoutine(deleteMenu);
    }
    return *g_menu;
}

TDescMenu::TDescMenu()
{
    setObjectName(QStringLiteral("RichEditPopup"));
    m_cut = addAction(QStringLiteral("Cut"), this, [this] { if (m_box) m_box->cut(); });
    m_copy = addAction(QStringLiteral("Copy"), this, [this] { if (m_box) m_box->copy(); });
    m_paste = addAction(QStringLiteral("Paste"), this, [this] { if (m_box) m_box->paste(); });
    m_delete = addAction(QStringLiteral("Delete"), this, [this] {
        if (m_box)
            m_box->textCursor().removeSelectedText();
    });
    addSeparator();
    m_selectAll = addAction(QStringLiteral("Select All"), this, [this] { if (m_box) m_box->selectAll(); });
}

void TDescMenu::prepareFor(QPlainTextEdit *box)
{
    m_box = box;
    const QMimeData *clip = QGuiApplication::clipboard()->mimeData();
    const TDescMenuStates states = DescMenuStates(box && box->textCursor().hasSelection(),
                                                  !box || box->isReadOnly(), clip && clip->hasText());
    m_cut->setEnabled(states.cut);
    m_copy->setEnabled(states.copy);
    m_paste->setEnabled(states.paste);
    m_delete->setEnabled(states.remove);
    m_selectAll->setEnabled(states.selectAll);
}

void TDescMenu::popupFor(QPlainTextEdit *box, const QPoint &globalPos)
{
    prepareFor(box);
    popup(globalPos);
}

QPlainTextEdit *TDescMenu::box() const
{
    return m_box;
}

QAction *TDescMenu::entry(const QString &caption) const
{
    for (QAction *a : actions())
        if (a->text() == caption)
            return a;
    return nullptr;
}

void AttachDescMenu(QPlainTextEdit *box)
{
    box->setContextMenuPolicy(Qt::CustomContextMenu);
    // Scroll areas give the position in their viewport's coordinates.
    QObject::connect(box, &QWidget::customContextMenuRequested, box, [box](const QPoint &pos) {
        TDescMenu::shared().popupFor(box, box->viewport()->mapToGlobal(pos));
    });
}
