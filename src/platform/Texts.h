// Turning stored bytes into text for people and back, the one home of the
// program's text rules:
// - catalogs written here hold UTF-8; catalog bytes that are not valid UTF-8
//   came from a Windows system and are read as code page 1252;
// - bytes from DOS media and archives (member names, comments, volume labels,
//   description files) are kept when they are valid UTF-8 and are otherwise
//   read as code page 437.
// Valid UTF-8 means Qt's rule (QByteArrayView::isValidUtf8): no overlong forms,
// no surrogates, nothing past U+10FFFF, no cut-off sequence.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Decodes stored bytes: UTF-8 when valid, else code page 1252.
QString DecodeStored(QByteArrayView bytes);
// The bytes this system stores for a text (UTF-8).
QByteArray EncodeStored(const QString &text);
// DOS bytes (archive names and comments, volume labels): UTF-8 kept when
// valid, otherwise code page 437, as UTF-8 or as text.
QByteArray DosBytesToUtf8(QByteArrayView bytes);
QString DecodeDosBytes(QByteArrayView bytes);
// The character of one byte in code page 437.
char16_t Cp437Char(uchar byte);
// Appends one character (at most U+10FFFF) as UTF-8.
void AppendUtf8(QByteArray &out, char32_t cp);
// The longest prefix of at most maxBytes bytes that does not split a UTF-8
// character (a plain cut for bytes that are not UTF-8).
QByteArrayView CutAtCharBoundary(QByteArrayView bytes, int maxBytes);
// A message with the system's line breaks (CR LF, LF CR, a lone CR or LF) as
// one LF each, as message boxes and the terminal show them.
QString PlainLineBreaks(const QString &text);
// True when every byte is ASCII (below 80h): the fast path for most names.
bool AsciiOnly(QByteArrayView bytes);
