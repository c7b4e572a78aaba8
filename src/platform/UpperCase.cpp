// Simple case mapping with the exceptions of full case mapping set apart.
// QString::toUpper maps each character by Unicode's full case mapping: the
// simple mapping (one character to one, QChar::toUpper) except for the
// characters of the special casing list, all of them in the ranges
// HasLongerUpperCase names (Latin ß and ŉ, ǰ, Greek with diacritics and
// iota subscripts, Armenian և, the Latin and Armenian ligatures). The
// conditional mappings of that list (final sigma, Turkish and Lithuanian
// rules) concern lower case or locales and are not applied by Qt either.
#include "platform/UpperCase.h"

#include <array>

namespace {

// Upper case of the first 256 characters; ß (DFh) is left alone and
// caught by HasLongerUpperCase.
const std::array<char16_t, 256> &Latin1Upper()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (char32_t c = 0; c < 256; ++c)
            t[c] = char16_t(QChar::toUpper(c));
        return t;
    }();
    return table;
}

bool HasLongerUpperCase(char32_t c)
{
    return c == 0xDF || c == 0x149 || c == 0x1F0 || c == 0x390 || c == 0x3B0 || c == 0x587 ||
           (c >= 0x1E96 && c <= 0x1E9A) || (c >= 0x1F50 && c <= 0x1FFC) || (c >= 0xFB00 && c <= 0xFB17);
}

} // namespace

bool UpperCaseInPlace(QString &text)
{
    const std::array<char16_t, 256> &latin1 = Latin1Upper();
    char16_t *p = reinterpret_cast<char16_t *>(text.data());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (c < 0x100 && c != 0xDF) {
            p[i] = latin1[c];
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
            const char32_t cp = QChar::surrogateToUcs4(c, p[i + 1]);
            const char32_t up = QChar::toUpper(cp);
            if (up == cp)
                ++i;
            else if (QChar::requiresSurrogates(up)) {
                p[i] = QChar::highSurrogate(up);
                p[++i] = QChar::lowSurrogate(up);
            } else {
                return false;   // would change the length
            }
            continue;
        }
        if (HasLongerUpperCase(c))
            return false;
        const char32_t up = QChar::toUpper(char32_t(c));
        if (QChar::requiresSurrogates(up))
            return false;
        p[i] = char16_t(up);
    }
    return true;
}
