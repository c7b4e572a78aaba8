// Upper-casing in place against QString::toUpper, for every character.
#include "platform/UpperCase.h"

#include <gtest/gtest.h>

namespace {

TEST(UpperCaseTest, EveryCharacterAsQtMapsIt)
{
    int longer = 0;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        const QString one = QString::fromUcs4(&cp, 1);
        QString text = one;
        if (UpperCaseInPlace(text)) {
            ASSERT_EQ(text, one.toUpper()) << "U+" << std::hex << uint32_t(cp);
        } else {
            ++longer;
        }
    }
    // Only the characters of the special casing ranges are left to Qt (ß,
    // the ligatures, a block of Greek): a few hundred of over a million.
    EXPECT_GT(longer, 0);
    EXPECT_LT(longer, 300);
}

TEST(UpperCaseTest, NamesInPlace)
{
    struct Case {
        const char *in;
        const char *out;   // null: left to QString::toUpper
    };
    const Case cases[] = {
        {"readme.txt", "README.TXT"},
        {"Zürich café", "ZÜRICH CAFÉ"},
        {"Ωμέγα Привет ÿ", "ΩΜΈΓΑ ПРИВЕТ Ÿ"},
        {"日本語 😀smile", "日本語 😀SMILE"},
        {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80"},   // Deseret: upper case outside the first plane
        {"straße", nullptr},
        {"ﬁle", nullptr},
        {"", ""},
    };
    for (const Case &c : cases) {
        QString text = QString::fromUtf8(c.in);
        const bool done = UpperCaseInPlace(text);
        EXPECT_EQ(done, c.out != nullptr) << c.in;
        if (c.out) {
            EXPECT_EQ(text, QString::fromUtf8(c.out)) << c.in;
        }
    }
}

TEST(UpperCaseTest, SharedTextIsNotChanged)
{
    const QString original = QStringLiteral("abc");
    QString copy = original;
    ASSERT_TRUE(UpperCaseInPlace(copy));
    EXPECT_EQ(copy, "ABC");
    EXPECT_EQ(original, "abc");
}

} // namespace
