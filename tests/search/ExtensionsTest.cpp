// Searching by extension: the typed list, its pattern, and names with and
// without extensions.
#include "search/Extensions.h"

#include <gtest/gtest.h>

TEST(Extensions, TypedListIsNormalised)
{
    const struct {
        const char *typed;
        const char *shown;
    } cases[] = {
        {" *.txt , .DOC", "txt,DOC"}, {"*.txt, .Doc", "txt,Doc"}, {"tar.gz", "gz"},
        {"t x t", "txt"},             {"txt,,doc,", "txt,doc"},   {" , . ,", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NormalizeExtensionText(QString::fromUtf8(c.typed)), QString::fromUtf8(c.shown)) << c.typed;
}

TEST(Extensions, PatternClosesEachExtension)
{
    const QString one(kExtensionEnd);
    EXPECT_EQ(ExtensionPattern(QStringLiteral("txt,DOC")), QStringLiteral(".txt") + one + QStringLiteral(".DOC") + one);
    EXPECT_EQ(ExtensionPattern(QString()), QString());
}

TEST(Extensions, NamesMatchByTheirLastExtension)
{
    // As the search builds it without "case sensitive": the pattern upper-cased.
    const QString pattern = ExtensionPattern(NormalizeExtensionText(QStringLiteral(" *.txt , .DOC"))).toUpper();
    const struct {
        const char *name;
        bool found;
    } cases[] = {
        {"a.TXT", true},  {"b.doc", true},  {"c.tx", false},   {"d.txt.bak", false}, {"README", false},
        {"e.", false},    {"DATA.ZIP", false}, {".txt", true},  {"f.TXTX", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ExtensionMatches(QString::fromUtf8(c.name), pattern, false), c.found) << c.name;

    const QString exact = ExtensionPattern(QStringLiteral("txt"));
    EXPECT_TRUE(ExtensionMatches(QStringLiteral("a.txt"), exact, true));
    EXPECT_FALSE(ExtensionMatches(QStringLiteral("a.TXT"), exact, true));
}
