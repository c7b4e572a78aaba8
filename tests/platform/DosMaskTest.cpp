// DOS masks: the linear walk without backtracking, the dot a name takes for
// "*.", and the cleaning of typed masks.
#include "platform/DosMask.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct MaskCase {
    const char *mask;
    const char *name;
    bool matches;
};

class DosMaskMatchTest : public testing::TestWithParam<MaskCase>
{
};

TEST_P(DosMaskMatchTest, MatchesAsTheWalkSays)
{
    const MaskCase &c = GetParam();
    EXPECT_EQ(DosMaskMatch(QString::fromUtf8(c.name), QString::fromUtf8(c.mask)), c.matches)
        << "mask " << c.mask << ", name " << c.name;
    // Names of plain ASCII also go the way without a string: same answer.
    const QByteArrayView name(c.name);
    if (std::all_of(name.begin(), name.end(), [](char ch) { return uchar(ch) < 0x80; })) {
        EXPECT_EQ(DosMaskMatchAscii(name, QString::fromUtf8(c.mask)), c.matches)
            << "mask " << c.mask << ", ASCII name " << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Masks, DosMaskMatchTest,
                         testing::Values(
                             // Everything, and names with and without an extension.
                             MaskCase{"*", "ANYTHING.AT.ALL", true}, MaskCase{"*", "", true},
                             MaskCase{"*.*", "README", true}, MaskCase{"*.*", "A.TXT", true},
                             MaskCase{"*.", "README", true}, MaskCase{"*.", "A.TXT", false},
                             // "?" takes exactly one character.
                             MaskCase{"DATA?.ZIP", "DATA1.ZIP", true}, MaskCase{"DATA?.ZIP", "DATA10.ZIP", false},
                             MaskCase{"DATA?.ZIP", "DATA.ZIP", false}, MaskCase{"???", "AB", false},
                             // No backtracking: "*" stops at the first occurrence.
                             MaskCase{"A*B", "AXBYB", false}, MaskCase{"A*B", "AXB", true},
                             MaskCase{"*.TXT", "A.B.TXT", false}, MaskCase{"*.TXT", "NOTES.TXT", true},
                             MaskCase{"*X", "ABC", false},
                             // The name is upper-cased, the mask is not.
                             MaskCase{"*.TXT", "notes.txt", true}, MaskCase{"*.txt", "notes.txt", false},
                             MaskCase{"CAF\xC3\x89.*", "caf\xC3\xA9.doc", true},
                             // The whole mask and the whole name must be used.
                             MaskCase{"AB", "ABC", false}, MaskCase{"ABC", "AB", false},
                             MaskCase{"", "", true}, MaskCase{"", "A", false}));

struct CleanCase {
    const char *typed;
    const char *cleaned;
    bool usable;
};

class CleanDosMaskTest : public testing::TestWithParam<CleanCase>
{
};

TEST_P(CleanDosMaskTest, RemovesSeparatorsAndRepeatedWildcards)
{
    const CleanCase &c = GetParam();
    QString mask = QString::fromUtf8(c.typed);
    EXPECT_EQ(CleanDosMask(mask), c.usable) << c.typed;
    EXPECT_EQ(mask, QString::fromUtf8(c.cleaned)) << c.typed;
}

INSTANTIATE_TEST_SUITE_P(Masks, CleanDosMaskTest,
                         testing::Values(CleanCase{"**.txt", "*.txt", true}, CleanCase{"//,", "", false},
                                         CleanCase{"*?*", "*", true}, CleanCase{"*,*?.d\\o/c", "*.doc", true},
                                         CleanCase{"?*", "?*", true}, CleanCase{"a?b", "a?b", true},
                                         CleanCase{"", "", false}));

} // namespace
