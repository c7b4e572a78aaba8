// The context menu of the description boxes: "Cut", "Copy", "Paste",
// "Delete", a separator and "Select All", enabled as DescMenuStates
// (browser/Properties.h) says for the box that opened it. One menu serves
// every box of the program (the properties dialog's boxes, the viewer's
// text); it remembers which box opened it and acts on that one.
#pragma once

#include <QMenu>
#include <QPointer>

class QPlainTextEdit;

class TDescMenu : public QMenu
{
    Q_OBJECT
public:
    // The program's one menu, made on first use.
    static TDescMenu &shared();

    // Enables the entries for box and remembers it.
    void prepareFor(QPlainTextEdit *box);
    // prepareFor, then opens at a screen position.
    void popupFor(QPlainTextEdit *box, const QPoint &globalPos);
    QPlainTextEdit *box() const;
    QAction *entry(const QString &caption) const;

private:
    TDescMenu();

    QPointer<QPlainTextEdit> m_box;
    QAction *m_cut, *m_copy, *m_paste, *m_delete, *m_selectAll;
};

// Gives a box the shared menu on a right click.
void AttachDescMenu(QPlainTextEdit *box);
