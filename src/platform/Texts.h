// Turning stored bytes into text for people and back. Catalogs written here
// hold UTF-8; bytes that are not valid UTF-8 came from a Windows system and
// are read as code page 1252.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Decodes stored bytes: UTF-8 when valid, else code page 1252.
QString DecodeStored(QByteArrayView bytes);
// The bytes this system stores for a text (UTF-8).
QByteArray EncodeStored(const QString &text);
// True when bytes are well-formed UTF-8.
bool IsValidUtf8(QByteArrayView bytes);
// The longest prefix of at most maxBytes bytes that does not split a UTF-8
// character (a plain cut for bytes that are not UTF-8).
QByteArrayView CutAtCharBoundary(QByteArrayView bytes, int maxBytes);
// A message with the system's line breaks (CR LF, LF CR, a lone CR or LF) as
// one LF each, as message boxes and the terminal show them.
QString PlainLineBreaks(const QString &text);
// True when every byte is ASCII (below 80h): the fast path for most names.
bool AsciiOnly(QByteArrayView bytes);
