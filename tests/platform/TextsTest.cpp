// The text rules of platform/Texts: DOS bytes, stored bytes and cuts.
#include "platform/Texts.h"

#include <QStringDecoder>

#include <gtest/gtest.h>

TEST(DosText, Cp437AgreesWithTheSystemCodec)
{
    QStringDecoder codec("IBM 437");
    if (!codec.isValid())
        GTEST_SKIP() << "the system has no code page 437 codec to compare with";
    for (int b = 0x20; b <= 0xFF; ++b) {
        if (b == 0x7F)
            continue;
        // E6h: the system codec says Greek mu; the code page's published
        // table (and every catalog written so far) says the micro sign.
        if (b == 0xE6) {
            EXPECT_EQ(Cp437Char(uchar(b)), u'\u00B5');
            continue;
        }
        const char byte = char(b);
        const QString expected = codec.decode(QByteArrayView(&byte, 1));
        ASSERT_EQ(expected.size(), 1) << b;
        EXPECT_EQ(Cp437Char(uchar(b)), expected.at(0).unicode()) << "byte " << b;
    }
}

TEST(DosText, ValidUtf8IsKeptOtherwiseCodePage437)
{
    struct Case {
        QByteArray bytes;
        QString text;
    };
    const Case cases[] = {
        {"plain", QStringLiteral("plain")},
        {"\xC3\xA9t\xC3\xA9", QStringLiteral(u"\u00E9t\u00E9")},
        {"\x80\xFA\xB3", QStringLiteral(u"\u00C7\u00B7\u2502")},
        // An overlong slash and a lone surrogate are not UTF-8.
        {"\xC0\xAF", QStringLiteral(u"\u2514\u00BB")},
        {"\xED\xA0\x80", QStringLiteral(u"\u03C6\u00E1\u00C7")},
        {"\xC3", QStringLiteral(u"\u251C")},
        {"", QString()},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(DecodeDosBytes(c.bytes), c.text) << c.bytes.toHex().constData();
        EXPECT_EQ(DosBytesToUtf8(c.bytes), c.text.toUtf8()) << c.bytes.toHex().constData();
    }
}

TEST(DosText, AppendUtf8MatchesQt)
{
    for (char32_t cp : {U'A', U'\u00E9', U'\u2502', U'\uFFFD', U'\U0001F600', U'\U0010FFFF'}) {
        QByteArray out("x");
        AppendUtf8(out, cp);
        EXPECT_EQ(out, "x" + QString::fromUcs4(&cp, 1).toUtf8()) << uint32_t(cp);
    }
}
