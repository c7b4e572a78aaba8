// Searching by extension: the typed list ("*.txt, .Doc") as the window keeps
// it ("txt,Doc"), the pattern the search compares with (".TXT", code 1,
// ".DOC", code 1: each extension closed by code 1, so ".TX" cannot match
// inside ".TXT"), and a name's own key in the same form.
#pragma once

#include <QString>
#include <QStringView>

// The separator that closes each extension of a pattern.
inline constexpr QChar kExtensionEnd = QChar(1);

// The typed list as the window shows it back: split at commas, each piece
// without everything up to its last "." and without spaces, empty pieces
// dropped, joined with ",".
QString NormalizeExtensionText(const QString &typed);

// The pattern of a normalised list, in its letter case: "." + piece + code 1
// for each piece.
QString ExtensionPattern(const QString &normalized);

// The name's extension from its last "." on, closed by code 1 and
// upper-cased unless caseSensitive; empty when the name has no extension.
QString ExtensionKey(QStringView name, bool caseSensitive);

// Whether the name's extension is one of pattern's.
bool ExtensionMatches(QStringView name, const QString &pattern, bool caseSensitive);
