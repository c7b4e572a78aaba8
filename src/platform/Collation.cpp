// The locale order of texts and its ASCII keys.
//
// Why a table can stand in for the collator on ASCII: with case ignored (the
// collator's secondary strength) and punctuation significant, the collation
// elements of an ASCII character in the common locales are one primary weight
// with the common secondary weight, or nothing at all for the control
// characters the order ignores; two ASCII texts then compare as the
// sequences of their primary weights. The table holds the rank of each
// character's weight among the 128, found by asking the collator itself.
// Locales that break that premise exist (Danish and Norwegian sort "aa" as
// one letter after "z", Czech and Slovak "ch" after "h", Hungarian and Welsh
// have letters of two characters, some tell two ASCII letters apart only at
// the accent level), so a table is used only after it has ordered a probe set
// exactly as the collator does: every text of up to two ASCII characters
// (which is where a contraction or an accent-level difference shows) and a
// seeded set of longer ones. A locale whose probe fails gets no table and
// every text goes through the collator. Tables are made once per locale per
// process.
#include "platform/Collation.h"

#include "platform/Texts.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <numeric>
#include <random>
#include <vector>

namespace {

int sign(int v)
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

// Texts of the probe set: all of length 0 to 2 over the 128 characters, then
// longer ones from a fixed seed, letters weighted as names have them.
std::vector<QString> probeTexts()
{
    std::vector<QString> texts;
    texts.reserve(1 + 128 + 128 * 128 + 4000);
    texts.emplace_back();
    for (int a = 0; a < 128; ++a)
        texts.emplace_back(QChar(a));
    for (int a = 0; a < 128; ++a)
        for (int b = 0; b < 128; ++b) {
            const QChar pair[2] = {QChar(a), QChar(b)};
            texts.emplace_back(pair, 2);
        }
    static const char kCommon[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ._-~()[]'&+,!#";
    std::mt19937 rng(20260);
    for (int i = 0; i < 4000; ++i) {
        const int length = 3 + int(rng() % 10);
        QString text;
        for (int j = 0; j < length; ++j) {
            const unsigned pick = rng() % 8;
            text += QChar(pick == 0 ? int(rng() % 128) : int(uchar(kCommon[rng() % (sizeof kCommon - 1)])));
        }
        texts.push_back(text);
    }
    return texts;
}

std::string asciiKey(const TAsciiWeights &weights, const QString &text)
{
    std::string key;
    for (const QChar c : text)
        if (const uint8_t w = weights[c.unicode() & 0x7F])
            key.push_back(char(w));
    return key;
}

// True when the table orders every probe text as the full keys do: sorted
// by the table, each neighbour pair must compare alike by the full keys
// (which, the collator's order being a total preorder, makes both orders
// one on the whole set).
bool tableHolds(const TCollation &collation, const TAsciiWeights &weights)
{
    const std::vector<QString> texts = probeTexts();
    std::vector<std::string> keys;
    keys.reserve(texts.size());
    for (const QString &text : texts)
        keys.push_back(asciiKey(weights, text));
    std::vector<size_t> order(texts.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    TCollationKey previous = collation.key(texts[order[0]]);
    for (size_t i = 1; i < order.size(); ++i) {
        TCollationKey current = collation.key(texts[order[i]]);
        const int byTable = sign(keys[order[i - 1]].compare(keys[order[i]]));
        if (sign(previous.compare(current)) != byTable)
            return false;
        previous = std::move(current);
    }
    return true;
}

// The table of a locale's collator: characters ranked by their own keys,
// those equal to the empty text ignored; null when the probe fails.
std::shared_ptr<const TAsciiWeights> deriveWeights(const TCollation &collation)
{
    std::vector<TCollationKey> keys;
    keys.reserve(128);
    for (int c = 0; c < 128; ++c)
        keys.push_back(collation.key(QString(QChar(c))));
    const TCollationKey empty = collation.key(QString());
    std::vector<int> ranked;
    for (int c = 0; c < 128; ++c)
        if (keys[size_t(c)].compare(empty) != 0)
            ranked.push_back(c);
    std::stable_sort(ranked.begin(), ranked.end(),
                     [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
    auto weights = std::make_shared<TAsciiWeights>();
    weights->fill(0);
    uint8_t rank = 0;
    for (size_t i = 0; i < ranked.size(); ++i) {
        if (i == 0 || keys[size_t(ranked[i - 1])].compare(keys[size_t(ranked[i])]) != 0)
            ++rank;
        (*weights)[size_t(ranked[i])] = rank;
    }
    if (!tableHolds(collation, *weights))
        return nullptr;
    return weights;
}

// The C locale compares case-folded UTF-16 code units: an ASCII character
// weighs as its lower-case code, plus one so that none is ignored.
std::shared_ptr<const TAsciiWeights> cLocaleWeights()
{
    auto weights = std::make_shared<TAsciiWeights>();
    for (int c = 0; c < 128; ++c)
        (*weights)[size_t(c)] = uint8_t((c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) + 1);
    return weights;
}

// One case-folded UTF-16 code unit of the C locale's order as key bytes:
// below 0x80 the unit plus one (what the ASCII table gives), above it three
// bytes, a lead of 0x81 to 0x84 and two of 0x80 to 0xFF, so that the bytes
// compare as the units do and no key byte is 0.
void appendUnit(std::string &out, char16_t unit)
{
    if (unit < 0x80) {
        out.push_back(char(unit + 1));
        return;
    }
    out.push_back(char(0x81 + (unit >> 14)));
    out.push_back(char(0x80 | ((unit >> 7) & 0x7F)));
    out.push_back(char(0x80 | (unit & 0x7F)));
}

// The C locale's key: each code point folded on its own (simple case
// folding), as Qt's case-blind compare of two strings does, in UTF-16.
void appendFolded(const QString &text, std::string &out)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        c = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(c)) {
            appendUnit(out, QChar::highSurrogate(c));
            appendUnit(out, QChar::lowSurrogate(c));
        } else {
            appendUnit(out, char16_t(c));
        }
    }
}

} // namespace

int TCollationKey::compare(const TCollationKey &other) const
{
    if (m_sortKey && other.m_sortKey)
        return sign(m_sortKey->compare(*other.m_sortKey));
    return sign(m_bytes.compare(other.m_bytes));
}

TCollation::TCollation(const QLocale &locale) : m_collator(locale), m_cLocale(locale.language() == QLocale::C)
{
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_collator.setNumericMode(false);
    m_collator.setIgnorePunctuation(false);

    static std::mutex mutex;
    static std::map<QString, std::shared_ptr<const TAsciiWeights>> tables;
    const QString name = m_cLocale ? QStringLiteral("C") : locale.bcp47Name();
    const std::lock_guard lock(mutex);
    const auto known = tables.find(name);
    if (known != tables.end()) {
        m_ascii = known->second;
        return;
    }
    m_ascii = m_cLocale ? cLocaleWeights() : deriveWeights(*this);
    tables.emplace(name, m_ascii);
}

bool TCollation::appendKey(QByteArrayView stored, std::string &out) const
{
    if (m_ascii && AsciiOnly(stored)) {
        appendAsciiKey(stored, out);
        return true;
    }
    if (!m_cLocale)
        return false;
    appendFolded(DecodeStored(stored), out);
    return true;
}

TCollationKey TCollation::key(const QString &text) const
{
    TCollationKey key;
    if (m_cLocale)
        appendFolded(text, key.m_bytes);
    else
        key.m_sortKey = m_collator.sortKey(text);
    return key;
}

int TCollation::compare(const QString &a, const QString &b) const
{
    return key(a).compare(key(b));
}

int TCollation::compareStored(QByteArrayView a, QByteArrayView b) const
{
    if (m_ascii && AsciiOnly(a) && AsciiOnly(b)) {
        const TAsciiWeights &weights = *m_ascii;
        qsizetype i = 0, j = 0;
        for (;;) {
            while (i < a.size() && !weights[uint8_t(a[i])])
                ++i;
            while (j < b.size() && !weights[uint8_t(b[j])])
                ++j;
            if (i == a.size())
                return j == b.size() ? 0 : -1;
            if (j == b.size())
                return 1;
            const uint8_t wa = weights[uint8_t(a[i])], wb = weights[uint8_t(b[j])];
            if (wa != wb)
                return wa < wb ? -1 : 1;
            ++i;
            ++j;
        }
    }
    return compare(DecodeStored(a), DecodeStored(b));
}
