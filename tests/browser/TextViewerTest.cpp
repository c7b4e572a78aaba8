// The text viewer's reading: pieces of a large file that join to the whole
// text, DOS and UTF-8 texts decoded, RTF shown as rich text.
#include "browser/TextViewer.h"

#include "platform/Texts.h"

#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace testcat;

namespace {

QString readAll(const QString &path, int64_t piece, int *pieces = nullptr, int64_t *largest = nullptr)
{
    TTextFileReader reader;
    EXPECT_TRUE(reader.open(path));
    QString text;
    int count = 0;
    int64_t big = 0;
    while (!reader.atEnd()) {
        const int64_t before = reader.position();
        const QString p = reader.next(piece);
        if (p.isEmpty() && reader.position() == before)
            break;
        big = std::max(big, reader.position() - before);
        text += p;
        ++count;
    }
    EXPECT_EQ(reader.position(), reader.size());
    if (pieces)
        *pieces = count;
    if (largest)
        *largest = big;
    return text;
}

TEST(TextViewer, RtfByName)
{
    EXPECT_TRUE(IsRtfFileName(QStringLiteral("/x/NOTES.rtf")));
    EXPECT_TRUE(IsRtfFileName(QStringLiteral("notes.RTF")));
    EXPECT_FALSE(IsRtfFileName(QStringLiteral("NOTES.TXT")));
    EXPECT_FALSE(IsRtfFileName(QStringLiteral("rtf")));
}

TEST(TextViewer, PiecesDecodeLikeTheWhole)
{
    QTemporaryDir dir;
    struct Case {
        const char *what;
        QByteArray bytes;
        QString text;
    } const cases[] = {
        {"CR LF lines", "one\r\ntwo\r\n", QStringLiteral("one\ntwo\n")},
        {"DOS box drawing", "\xC9\xCD\xBB\r\n\xC8\xCD\xBC", QStringLiteral(u"╔═╗\n╚═╝")},
        {"UTF-8 across pieces", "caf\xC3\xA9 na\xC3\xAFve \xE2\x82\xAC no line end at all",
         QStringLiteral(u"café naïve € no line end at all")},
        {"empty", "", QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir.filePath(QString::fromLatin1(c.what));
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        for (int64_t piece : {int64_t(8), int64_t(9), int64_t(10), TTextFileReader::kPieceBytes})
            EXPECT_EQ(readAll(path, piece), c.text) << piece;
    }
}

TEST(TextViewer, LargeFileInBoundedPieces)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.txt"));
    QByteArray bytes;
    for (int i = 0; bytes.size() < 3 * 1024 * 1024; ++i)
        bytes += "line " + QByteArray::number(i) + " \xC4\xC4 caf\xC3\xA9\r\n";   // not UTF-8: DOS text
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    int pieces = 0;
    int64_t largest = 0;
    const QString text = readAll(path, 64 * 1024, &pieces, &largest);
    EXPECT_GE(pieces, 48);
    EXPECT_LE(largest, 64 * 1024);
    // Every piece ends at a line end, so each line decodes as a whole.
    EXPECT_EQ(text.count(QLatin1Char('\n')), bytes.count("\r\n"));
    EXPECT_TRUE(text.startsWith(QStringLiteral(u"line 0 ──")));
}

TEST(TextViewer, MissingFile)
{
    TTextFileReader reader;
    EXPECT_FALSE(reader.open(QStringLiteral("/no/such/file.txt")));
    EXPECT_FALSE(reader.errorString().isEmpty());
}

TEST(TextViewer, Rtf)
{
    struct Case {
        const char *what;
        QByteArray rtf;
        QString plain;
        bool recognized, complete;
        QString htmlPart;
    } const cases[] = {
        {"paragraphs and bold", "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\b Bold} text\\par next}",
         QStringLiteral("Bold text\nnext"), true, true,
         QStringLiteral("<span style=\"font-weight:bold;\">Bold</span> text<br>next")},
        {"escapes", "{\\rtf1 a\\'e9\\u8364?b \\{x\\} \\tab c\\emdash d}", QStringLiteral(u"aé€b {x} \tc—d"), true,
         true, QString()},
        {"hidden groups", "{\\rtf1{\\info{\\title T}}{\\*\\generator G;}{\\colortbl;\\red0;}x<y}",
         QStringLiteral("x<y"), true, true, QStringLiteral("x&lt;y")},
        {"picture", "{\\rtf1 before{\\pict\\pngblip 89504e47}after}", QStringLiteral("beforeafter"), true, false,
         QString()},
        {"unicode skip count", "{\\rtf1\\uc2\\u233 XYz}", QStringLiteral(u"éz"), true, true, QString()},
        {"italic off", "{\\rtf1\\i a\\i0 b}", QStringLiteral("ab"), true, true,
         QStringLiteral("<span style=\"font-style:italic;\">a</span>b")},
        {"not RTF", "plain {\\b text}", QString(), false, true, QString()},
        {"cut short", "{\\rtf1 abc\\", QStringLiteral("abc"), true, true, QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const TRtfText r = ReadRtf(c.rtf);
        EXPECT_EQ(r.recognized, c.recognized);
        EXPECT_EQ(r.complete, c.complete);
        EXPECT_EQ(r.plainText, c.plain);
        if (!c.htmlPart.isEmpty()) {
            EXPECT_TRUE(r.html.contains(c.htmlPart)) << r.html.toStdString();
        }
    }
}

} // namespace
