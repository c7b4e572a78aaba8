// Upper-casing text in place for searches over millions of names: the same
// result as QString::toUpper, character by character from tables, without
// the string machinery (a general upper-casing costs several times as much
// as finding a word in a name).
#pragma once

#include <QString>

// Upper-cases text in place as QString::toUpper would, and returns true;
// returns false, text left partly converted, when text holds a character
// whose upper case is more than one character ("ß" gives "SS"), for which
// the caller takes QString::toUpper. text must not be shared (it is
// detached first).
bool UpperCaseInPlace(QString &text);
