// The locale order of names: the ASCII keys against QCollator itself (case
// ignored, punctuation significant, digits not numeric) over hand-picked and
// seeded random names in the C locale and common ones, full keys for the
// rest, and locales whose collator a table cannot follow.
#include "platform/Collation.h"

#include "platform/Texts.h"

#include <gtest/gtest.h>

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <optional>
#include <random>
#include <vector>

namespace {

int sign(int v)
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

// The collator set up as the item order uses it; the reference of every test.
struct Reference {
    explicit Reference(const QLocale &locale) : collator(locale), cLocale(locale.language() == QLocale::C)
    {
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setNumericMode(false);
        collator.setIgnorePunctuation(false);
    }
    // A locale's collator orders by its sort keys (which tell an empty text
    // and one of ignored characters equal, where compare() puts the empty
    // one first); the C locale has only compare() without regard to case
    // (its sort keys are the plain bytes).
    int order(const QString &a, const QString &b) const
    {
        if (cLocale)
            return sign(collator.compare(a, b));
        const int byKeys = sign(collator.sortKey(a).compare(collator.sortKey(b)));
        if (!a.isEmpty() && !b.isEmpty()) {
            EXPECT_EQ(byKeys, sign(collator.compare(a, b))) << a.toStdString() << " | " << b.toStdString();
        }
        return byKeys;
    }
    QCollator collator;
    bool cLocale;
};

const char *const kHandPicked[] = {
    "", "a", "A", "b", "B", "z", "Z", "aa", "AA", "aA", "ab", "aB", "Ab", "az", "ba", "zz", "a b", "a  b", "ab ",
    " ab", "a-b", "a_b", "a.b", "a,b", "a'b", "a~b", "a+b", "a&b", "a(b)", "a[b]", "a{b}", "a!", "a?", "a#1",
    "a.txt", "A.TXT", "a.TXT", "A.txt", "a.tar.gz", "a..b", "a.", ".a", ".hidden", "..", "_a", "-a", "~$doc.doc",
    "(1)", "[x]", "#", "!", "|", "`", "^", "@", "$", "%", "&", "'", "\"", "*", "+", ",", "/", ":", ";", "<", "=",
    ">", "?", "\\", "{", "}", "~", "-", "_", ".", " ", "0", "00", "01", "1", "10", "2", "9", "a1", "a10", "a2",
    "a 1", "a01", "1a", "A1", "ch", "Ch", "CH", "cz", "c", "h", "hz", "i", "I", "y", "Y", "v", "w", "vw", "wv",
    "ss", "ae", "oe", "ue", "ij", "ll", "ly", "dz", "dzs", "cs", "sz", "nj", "lj", "th", "dd", "ng", "rh", "aaa",
    "\t", "a\tb", "a\nb", "a\rb", "a\x01" "b", "\x01", "\x7f", "a\x7f" "b", "\x1f" "a", "file (copy).txt",
    "file(copy).txt", "file - copy.txt", "file_copy.txt", "IMG_0001.JPG", "img_0001.jpg", "IMG-0001.jpg",
    "IMG0001.jpg", "IMG 0001.jpg", "Readme", "README", "readme.md", "ReadMe.1st", "Makefile", "makefile",
    "CMakeLists.txt", "setup.exe", "SETUP.EXE", "Setup.Exe", "x86_64", "x86-64", "x8664", "v1.2.3", "v1.10.0",
    "2024-01-02 report.pdf", "2024_01_02", "20240102", "naive", "NAIVE", "The End", "the end", "theend",
};

// Seeded random ASCII names: mostly letters of both cases, digits, blanks
// and the punctuation of file names, now and then any of the 128 characters.
std::vector<QByteArray> randomNames(uint32_t seed, int count)
{
    static const char kCommon[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789   .._-~()[]'&+,!#$%@";
    std::mt19937 rng(seed);
    std::vector<QByteArray> names;
    for (int i = 0; i < count; ++i) {
        const int length = int(rng() % 24);
        QByteArray name;
        for (int j = 0; j < length; ++j) {
            char c = rng() % 10 == 0 ? char(rng() % 127 + 1) : kCommon[rng() % (sizeof kCommon - 1)];
            name.append(c);
        }
        // Near neighbours: the same name in another case or one character off.
        if (i % 5 == 1 && !names.empty()) {
            name = names.back();
            if (!name.isEmpty()) {
                const qsizetype at = qsizetype(rng() % uint32_t(name.size()));
                name[at] = rng() % 2 ? char(QChar::toUpper(char32_t(name[at]))) : char(rng() % 127 + 1);
            }
        }
        names.push_back(name);
    }
    return names;
}

std::vector<QByteArray> allAsciiNames()
{
    std::vector<QByteArray> names;
    for (const char *name : kHandPicked)
        names.emplace_back(name);
    const std::vector<QByteArray> random = randomNames(1234, 3000);
    names.insert(names.end(), random.begin(), random.end());
    return names;
}

// Every locale named here, whether the system has it installed or not: the
// collator's rules come with Qt's collation library.
const char *const kLocales[] = {"C", "en_US", "de_DE", "fr_FR", "sv_SE", "es_ES", "it_IT", "nl_NL", "pt_BR",
                                "pl_PL", "ru_RU", "ja_JP", "tr_TR", "fi_FI", "da_DK", "nb_NO", "cs_CZ", "hu_HU",
                                "lt_LT", "cy_GB", "hr_HR", "sk_SK"};

class CollationByLocale : public ::testing::TestWithParam<const char *>
{};

} // namespace

TEST_P(CollationByLocale, AsciiNamesOrderAsTheCollator)
{
    const QLocale locale(QString::fromLatin1(GetParam()));
    const TCollation collation(locale);
    const Reference reference(locale);
    const std::vector<QByteArray> names = allAsciiNames();

    // The names sorted by their keys: each neighbour pair in the collator's
    // order too, which makes the whole order the collator's.
    std::vector<std::string> keys;
    for (const QByteArray &name : names) {
        std::string key;
        if (collation.hasAsciiKeys())
            collation.appendAsciiKey(name, key);
        keys.push_back(key);
    }
    std::vector<size_t> order(names.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto byCompare = [&](size_t a, size_t b) { return collation.compareStored(names[a], names[b]) < 0; };
    std::stable_sort(order.begin(), order.end(), byCompare);
    for (size_t i = 1; i < order.size(); ++i) {
        const QByteArray &a = names[order[i - 1]], &b = names[order[i]];
        const int expected = reference.order(QString::fromLatin1(a), QString::fromLatin1(b));
        EXPECT_EQ(sign(collation.compareStored(a, b)), expected) << a.toStdString() << " | " << b.toStdString();
        if (collation.hasAsciiKeys()) {
            EXPECT_EQ(sign(keys[order[i - 1]].compare(keys[order[i]])), expected)
                << a.toStdString() << " | " << b.toStdString();
        }
    }
    // And pairs picked at random, in both directions.
    std::mt19937 rng(99);
    for (int i = 0; i < 20000; ++i) {
        const size_t x = rng() % names.size(), y = rng() % names.size();
        const int expected = reference.order(QString::fromLatin1(names[x]), QString::fromLatin1(names[y]));
        ASSERT_EQ(sign(collation.compareStored(names[x], names[y])), expected)
            << names[x].toStdString() << " | " << names[y].toStdString();
        if (collation.hasAsciiKeys()) {
            ASSERT_EQ(sign(keys[x].compare(keys[y])), expected)
                << names[x].toStdString() << " | " << names[y].toStdString();
        }
    }
}

TEST_P(CollationByLocale, FullKeysOrderAsTheCollator)
{
    const QLocale locale(QString::fromLatin1(GetParam()));
    const TCollation collation(locale);
    const Reference reference(locale);
    // Accents, other scripts, a character outside the basic plane, case
    // pairs beyond ASCII, and ASCII names beside them.
    std::vector<QString> texts = {
        QString(), QStringLiteral("a"), QStringLiteral("A"), QStringLiteral("aa"), QStringLiteral("z"),
        QStringLiteral("\u00e5"), QStringLiteral("\u00c5"), QStringLiteral("a\u030a"), QStringLiteral("\u00e4"),
        QStringLiteral("\u00f6"), QStringLiteral("\u00fc"), QStringLiteral("\u00df"), QStringLiteral("ss"),
        QStringLiteral("\u00e9t\u00e9"), QStringLiteral("ete"), QStringLiteral("\u0131"), QStringLiteral("\u0130"),
        QStringLiteral("i"), QStringLiteral("I"), QStringLiteral("\u010d"), QStringLiteral("ch"),
        QStringLiteral("\u0436"), QStringLiteral("\u0416"), QStringLiteral("\u65e5\u672c"),
        QStringLiteral("\u3042"), QStringLiteral("\U00010400"), QStringLiteral("\U00010428"),
        QStringLiteral("\U0001F600"), QStringLiteral("\u212a"), QStringLiteral("k"), QStringLiteral("\uff21"),
        QStringLiteral("\u00a0"), QStringLiteral(" "), QStringLiteral("\u2013"), QStringLiteral("-"),
        QStringLiteral("Stra\u00dfe"), QStringLiteral("STRASSE"), QStringLiteral("\u00c9cole"),
        QStringLiteral("ecole"), QStringLiteral("\u00e6"), QStringLiteral("ae"), QStringLiteral("\u00f8"),
    };
    std::mt19937 rng(7);
    static const char16_t kPool[] = {u'a', u'B', u'.', u' ', u'1', 0xE9, 0xC9, 0xE5, 0xF6, 0xDF, 0x131, 0x130,
                                     0x436, 0x416, 0x65E5, 0x301, 0xFF21, 0xD801, 0xDC00, 0xDC28};
    for (int i = 0; i < 1500; ++i) {
        QString text;
        const int length = int(rng() % 8);
        for (int j = 0; j < length; ++j) {
            const char16_t unit = kPool[rng() % std::size(kPool)];
            if (unit == 0xD801)
                continue;   // surrogates only as whole pairs
            if (unit == 0xDC00 || unit == 0xDC28) {
                text += QChar(0xD801);
            }
            text += QChar(unit);
        }
        texts.push_back(text);
    }
    // Full keys, and byte keys where the locale gives them (every text in
    // the C locale, ASCII texts elsewhere).
    std::vector<TCollationKey> keys;
    std::vector<std::optional<std::string>> byteKeys;
    for (const QString &text : texts) {
        keys.push_back(collation.key(text));
        std::string bytes;
        byteKeys.push_back(collation.appendKey(EncodeStored(text), bytes) ? std::optional(bytes) : std::nullopt);
    }
    if (collation.asciiWeights() && locale.language() == QLocale::C) {
        EXPECT_TRUE(std::all_of(byteKeys.begin(), byteKeys.end(), [](const auto &k) { return k.has_value(); }));
    }
    for (size_t x = 0; x < texts.size(); x += 7)
        for (size_t y = 0; y < texts.size(); y += 5) {
            const int expected = reference.order(texts[x], texts[y]);
            ASSERT_EQ(keys[x].compare(keys[y]), expected) << texts[x].toStdString() << " | " << texts[y].toStdString();
            if (byteKeys[x] && byteKeys[y]) {
                ASSERT_EQ(sign(byteKeys[x]->compare(*byteKeys[y])), expected)
                    << texts[x].toStdString() << " | " << texts[y].toStdString();
            }
        }
}

INSTANTIATE_TEST_SUITE_P(Locales, CollationByLocale, ::testing::ValuesIn(kLocales));

TEST(Collation, CommonLocalesHaveAsciiKeys)
{
    for (const char *name : {"C", "en_US", "de_DE", "fr_FR", "sv_SE", "es_ES", "it_IT", "nl_NL", "pt_BR"})
        EXPECT_TRUE(TCollation(QLocale(QString::fromLatin1(name))).hasAsciiKeys()) << name;
}

// Danish sorts "aa" as one letter after "z", Czech "ch" after "h": no table
// can say that, so these locales take the collator for every name.
TEST(Collation, ContractionsOfAsciiLettersGoThroughTheCollator)
{
    const TCollation danish(QLocale(QStringLiteral("da_DK")));
    EXPECT_FALSE(danish.hasAsciiKeys());
    EXPECT_GT(danish.compareStored(QByteArrayView("aa"), QByteArrayView("zz")), 0);
    const TCollation czech(QLocale(QStringLiteral("cs_CZ")));
    EXPECT_FALSE(czech.hasAsciiKeys());
    EXPECT_GT(czech.compareStored(QByteArrayView("chata"), QByteArrayView("hrad")), 0);
}

TEST(Collation, CaseIgnoredPunctuationKeptDigitsNotNumeric)
{
    for (const char *name : {"C", "en_US"}) {
        const TCollation collation{QLocale(QString::fromLatin1(name))};
        EXPECT_EQ(collation.compareStored(QByteArrayView("README.TXT"), QByteArrayView("readme.txt")), 0) << name;
        EXPECT_NE(collation.compareStored(QByteArrayView("a-b"), QByteArrayView("ab")), 0) << name;
        EXPECT_LT(collation.compareStored(QByteArrayView("a10"), QByteArrayView("a2")), 0) << name;
    }
}

// Stored bytes that are not UTF-8 (code page 1252) compare as their decoded text.
TEST(Collation, StoredBytesAreDecoded)
{
    const TCollation collation{QLocale(QStringLiteral("en_US"))};
    EXPECT_EQ(collation.compareStored(QByteArrayView("\xe9t\xe9"), QByteArrayView("\xc3\xa9t\xc3\xa9")), 0);
    EXPECT_LT(collation.compareStored(QByteArrayView("\xe9t\xe9"), QByteArrayView("f")), 0);
}
