// The text viewer's reading (see TextViewer.h).
#include "browser/TextViewer.h"

#include "platform/Texts.h"

#include <QFileInfo>

#include <vector>

bool IsRtfFileName(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("rtf"), Qt::CaseInsensitive) == 0;
}

// ---- plain text in pieces

bool TTextFileReader::open(const QString &path)
{
    m_file.setFileName(path);
    m_carry.clear();
    m_done = 0;
    m_eof = false;
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    m_size = m_file.size();
    return true;
}

QString TTextFileReader::next(int64_t maxBytes)
{
    if (maxBytes < 8)
        maxBytes = 8;   // room for a whole character
    QByteArray block = m_carry;
    m_carry.clear();
    if (!m_eof && block.size() < maxBytes) {
        const QByteArray more = m_file.read(maxBytes - block.size());
        if (more.isEmpty())
            m_eof = true;
        block += more;
    }
    if (block.isEmpty())
        return {};
    if (!m_eof || block.size() > maxBytes) {
        // Cut after the last line end; without one, at a character boundary.
        qsizetype cut = block.lastIndexOf('\n') + 1;
        if (cut <= 0) {
            // Not inside a UTF-8 sequence: the next piece must not start
            // with a continuation byte (10xxxxxx); a sequence is at most 4 bytes.
            cut = block.size() - 1;
            for (int back = 0; back < 3 && cut > 1 && (uchar(block[cut]) & 0xC0) == 0x80; ++back)
                --cut;
        }
        m_carry = block.mid(cut);
        block.truncate(cut);
    }
    m_done += block.size();
    return PlainLineBreaks(DecodeDosBytes(block));
}

// ---- RTF

namespace {

// What a group sets; a group starts with its parent's state.
struct RtfState {
    bool bold = false, italic = false, underline = false;
    bool skip = false;   // a hidden destination: nothing of it is shown
    int unicodeSkip = 1; // characters after \uN standing in for it
};

// The destinations whose text is not part of the document.
bool hiddenDestination(const QByteArray &word)
{
    static const char *const words[] = {
        "fonttbl", "colortbl", "stylesheet", "info", "header", "footer", "headerl", "headerr", "headerf",
        "footerl", "footerr", "footerf", "footnote", "listtable", "listoverridetable", "rsidtbl", "generator",
        "themedata", "colorschememapping", "latentstyles", "datastore", "xmlnstbl", "filetbl", "revtbl",
        "pgdsctbl", "fldinst", "bkmkstart", "bkmkend", "field_inst", "xe", "tc", "private", "mmathPr",
    };
    for (const char *w : words)
        if (word == w)
            return true;
    return false;
}

class RtfReader
{
public:
    explicit RtfReader(const QByteArray &bytes) : m_in(bytes) {}

    TRtfText read()
    {
        TRtfText out;
        out.recognized = m_in.startsWith("{\\rtf");
        if (!out.recognized)
            return out;
        std::vector<RtfState> stack;
        RtfState st;
        bool ignorableNext = false;
        int pendingSkip = 0;   // characters still to drop after \uN
        qsizetype i = 0;
        const qsizetype n = m_in.size();
        while (i < n) {
            const char c = m_in[i];
            if (c == '{') {
                flushBytes(st);
                stack.push_back(st);
                ++i;
                continue;
            }
            if (c == '}') {
                flushBytes(st);
                if (!stack.empty()) {
                    st = stack.back();
                    stack.pop_back();
                }
                ++i;
                continue;
            }
            if (c == '\r' || c == '\n') {
                ++i;
                continue;
            }
            if (c != '\\') {
                if (pendingSkip > 0) {
                    --pendingSkip;
                } else if (!st.skip) {
                    m_bytes.append(c);
                }
                ++i;
                continue;
            }
            // A control symbol or word.
            ++i;
            if (i >= n)
                break;
            const char s = m_in[i];
            if (!isLetter(s)) {
                ++i;
                switch (s) {
                case '\\': case '{': case '}':
                    emitByte(st, s, pendingSkip);
                    break;
                case '\'': {
                    const int hi = i < n ? hexValue(m_in[i]) : -1;
                    const int lo = i + 1 < n ? hexValue(m_in[i + 1]) : -1;
                    if (hi >= 0 && lo >= 0) {
                        emitByte(st, char(hi * 16 + lo), pendingSkip);
                        i += 2;
                    }
                    break;
                }
                case '*':
                    ignorableNext = true;
                    break;
                case '~':
                    emitText(st, QString(QChar(0xA0)));
                    break;
                case '_':
                    emitText(st, QString(QChar(0x2011)));
                    break;
                case '\r': case '\n':
                    emitBreak(st);
                    break;
                default:
                    break;   // \- (optional hyphen) and the rest show nothing
                }
                continue;
            }
            const qsizetype start = i;
            while (i < n && isLetter(m_in[i]) && i - start < 32)
                ++i;
            const QByteArray word = m_in.mid(start, i - start);
            bool hasNumber = false;
            int64_t number = 0;
            bool negative = false;
            if (i < n && m_in[i] == '-') {
                negative = true;
                ++i;
            }
            while (i < n && m_in[i] >= '0' && m_in[i] <= '9') {
                if (number < 1000000)
                    number = number * 10 + (m_in[i] - '0');
                hasNumber = true;
                ++i;
            }
            if (negative)
                number = -number;
            if (i < n && m_in[i] == ' ')
                ++i;
            const bool ignorable = ignorableNext;
            ignorableNext = false;
            controlWord(out, st, word, hasNumber, int(number), ignorable, pendingSkip);
        }
        flush(st);
        out.html = QStringLiteral("<html><body style=\"white-space: pre-wrap\">") + m_html
                   + QStringLiteral("</body></html>");
        out.plainText = m_plain;
        out.complete = out.complete && !m_incomplete;
        return out;
    }

private:
    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static int hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    void emitByte(const RtfState &st, char byte, int &pendingSkip)
    {
        if (pendingSkip > 0) {
            --pendingSkip;
            return;
        }
        if (!st.skip)
            m_bytes.append(byte);
    }

    // Text in the current format; the bytes gathered so far go first.
    void emitText(const RtfState &st, const QString &text)
    {
        if (st.skip)
            return;
        flushBytes(st);
        append(st, text);
    }

    void emitBreak(const RtfState &st)
    {
        if (st.skip)
            return;
        flushBytes(st);
        m_html += QStringLiteral("<br>");
        m_plain += QLatin1Char('\n');
    }

    void flushBytes(const RtfState &st)
    {
        if (m_bytes.isEmpty())
            return;
        // The document's 8-bit text: the Windows code page (valid UTF-8 is kept as such).
        append(st, DecodeStored(m_bytes));
        m_bytes.clear();
    }

    void flush(const RtfState &st) { flushBytes(st); }

    void append(const RtfState &st, const QString &text)
    {
        if (text.isEmpty())
            return;
        m_plain += text;
        QString style;
        if (st.bold)
            style += QStringLiteral("font-weight:bold;");
        if (st.italic)
            style += QStringLiteral("font-style:italic;");
        if (st.underline)
            style += QStringLiteral("text-decoration:underline;");
        const QString escaped = text.toHtmlEscaped();
        m_html += style.isEmpty() ? escaped
                                  : QStringLiteral("<span style=\"") + style + QStringLiteral("\">") + escaped
                                        + QStringLiteral("</span>");
    }

    void controlWord(TRtfText &out, RtfState &st, const QByteArray &word, bool hasNumber, int number,
                     bool ignorable, int &pendingSkip)
    {
        (void)out;
        // A format change ends the text gathered in the old format.
        auto set = [&](bool &flag, bool on) {
            flushBytes(st);
            flag = on;
        };
        const bool on = !hasNumber || number != 0;
        if (word == "par" || word == "line" || word == "sect" || word == "page") {
            emitBreak(st);
        } else if (word == "tab") {
            emitText(st, QStringLiteral("\t"));
        } else if (word == "b") {
            set(st.bold, on);
        } else if (word == "i") {
            set(st.italic, on);
        } else if (word == "ul") {
            set(st.underline, on);
        } else if (word == "ulnone") {
            set(st.underline, false);
        } else if (word == "plain") {
            flushBytes(st);
            st.bold = st.italic = st.underline = false;
        } else if (word == "uc") {
            st.unicodeSkip = std::max(0, number);
        } else if (word == "u") {
            const char32_t cp = char32_t(number < 0 ? number + 65536 : number);
            emitText(st, cp >= 0xD800 && cp <= 0xDFFF ? QString(QChar(char16_t(cp))) : QString::fromUcs4(&cp, 1));
            pendingSkip = st.unicodeSkip;
        } else if (word == "emdash") {
            emitText(st, QString(QChar(0x2014)));
        } else if (word == "endash") {
            emitText(st, QString(QChar(0x2013)));
        } else if (word == "bullet") {
            emitText(st, QString(QChar(0x2022)));
        } else if (word == "lquote") {
            emitText(st, QString(QChar(0x2018)));
        } else if (word == "rquote") {
            emitText(st, QString(QChar(0x2019)));
        } else if (word == "ldblquote") {
            emitText(st, QString(QChar(0x201C)));
        } else if (word == "rdblquote") {
            emitText(st, QString(QChar(0x201D)));
        } else if (word == "pict" || word == "object" || word == "shppict" || word == "nonshppict") {
            flushBytes(st);
            if (!st.skip && word != "nonshppict")
                m_incomplete = true;
            st.skip = true;
        } else if (hiddenDestination(word) || ignorable) {
            flushBytes(st);
            st.skip = true;
        }
    }

    const QByteArray &m_in;
    QByteArray m_bytes;   // plain bytes of the current run
    QString m_html;
    QString m_plain;
    bool m_incomplete = false;
};

} // namespace

TRtfText ReadRtf(const QByteArray &bytes)
{
    return RtfReader(bytes).read();
}
