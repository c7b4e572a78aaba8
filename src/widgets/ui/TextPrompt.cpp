// The one-line text prompt, on Qt's input dialog.
#include "widgets/ui/TextPrompt.h"

#include <QInputDialog>
#include <QLineEdit>

std::optional<QString> AskTextLine(QWidget *parent, const QString &caption, const QString &prompt,
                                   const QString &text)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, text, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}
