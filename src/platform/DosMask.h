// DOS file masks ("*.TXT", "DATA?.ZIP") as the search, the description
// assistant and the archive readers match names with them. The rule is
// linear, without backtracking: a "*" stops at the first occurrence of the
// character after it, so "A*B" does not match "AXBYB" and "*.TXT" does not
// match "A.B.TXT"; a name without a dot takes one when the mask asks for it,
// so "*.*" and "*." match "README".
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Whether name matches mask. The name is upper-cased first; the mask is taken
// as given (callers pass it upper-cased).
bool DosMaskMatch(QStringView name, QStringView mask);
// The same for a name of plain ASCII bytes (below 80h), without a string
// for the name: what a search over millions of names calls.
bool DosMaskMatchAscii(QByteArrayView name, QStringView mask);

// Removes every comma, slash and backslash from mask, and every "*" or "?"
// that directly follows a "*" ("**?" becomes "*"). True when something is
// left to match with.
bool CleanDosMask(QString &mask);
