// The one-line text prompt: a caption, a prompt above an edit line that
// starts with a given text, OK and Cancel. Windows that ask for a name (a
// new catalog's, a disk's) share it.
#pragma once

#include <QString>

#include <optional>

class QWidget;

// Shows the prompt modally over parent: the edited text on OK, nothing on
// Cancel (an empty text on OK is an answer, not a cancel).
std::optional<QString> AskTextLine(QWidget *parent, const QString &caption, const QString &prompt,
                                   const QString &text);
