// Lists kept as one text ("Autoload", "DescFiles", and the command line's
// list settings): comma-separated items, quoted where needed.
#pragma once

#include <QString>
#include <QStringList>

// A list as one text: items joined with ",", an item that holds a blank, a
// control character, a comma or a double quote (or is empty) enclosed in
// double quotes with its quotes doubled.
QString ToCommaText(const QStringList &items);
// The reverse: blanks and control characters separate items as commas do, a
// quoted item runs to its closing quote ("" inside is one quote).
QStringList FromCommaText(const QString &text);
