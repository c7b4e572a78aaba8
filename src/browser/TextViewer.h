// What the built-in text viewer reads, without its window: a text file in
// pieces (so a file of hundreds of megabytes never freezes the window, which
// appends piece by piece), decoded as the program decodes DOS texts, and RTF
// files turned into the rich text the window shows.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>

// Whether a file is shown as formatted text: its extension is RTF (any case).
bool IsRtfFileName(const QString &path);

// Reads a text file piece by piece. Each piece is cut after a line end when
// one lies in it (else at a character boundary), decoded as UTF-8 when valid
// and otherwise as code page 437, with every line break as one LF.
class TTextFileReader
{
public:
    // About a megabyte per piece: a few milliseconds of work for the window.
    static constexpr int64_t kPieceBytes = 1 << 20;

    // Opens the file; false (errorString() says why) when it cannot be read.
    bool open(const QString &path);
    int64_t size() const { return m_size; }
    // Bytes decoded so far.
    int64_t position() const { return m_done; }
    bool atEnd() const { return m_eof && m_carry.isEmpty(); }
    // The next piece, of at most maxBytes bytes of the file (more only to
    // finish a character); empty at the end or on a read error.
    QString next(int64_t maxBytes = kPieceBytes);
    QString errorString() const { return m_file.errorString(); }

private:
    QFile m_file;
    QByteArray m_carry;   // bytes read but not yet decoded
    int64_t m_size = 0;
    int64_t m_done = 0;
    bool m_eof = false;
};

// An RTF document as rich text: paragraphs, line breaks, tabs, bold, italic
// and underline, special characters and Unicode escapes; font tables,
// styles, document information and other hidden groups are left out.
struct TRtfText {
    bool recognized = false;   // the bytes begin an RTF document
    bool complete = true;      // nothing was met that cannot be shown (pictures, objects)
    QString html;              // the rich text for the window
    QString plainText;         // the same without formatting
};
TRtfText ReadRtf(const QByteArray &bytes);
