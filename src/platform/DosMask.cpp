// The DOS mask walk: two positions, one in the mask and one in the name,
// move forward only, so a match costs at most one pass over each.
#include "platform/DosMask.h"

#include "platform/UpperCase.h"

#include <algorithm>

namespace {

// The walk over an upper-cased name of n characters held in a buffer with
// room for one more (the dot a name without one takes). Ch is char for
// ASCII names, char16_t otherwise; both compare with the mask by code.
template <typename Ch>
bool MaskWalk(Ch *name, qsizetype n, QStringView mask)
{
    const auto code = [](Ch c) { return char16_t(std::make_unsigned_t<Ch>(c)); };
    qsizetype i = 0; // in name
    qsizetype j = 0; // in mask
    while (j < mask.size() && (mask[j] == u'*' || i < n)) {
        const char16_t c = mask[j].unicode();
        if (c == u'?') {
            ++i;
            ++j;
        } else if (c != u'*') {
            if (code(name[i]) != c)
                return false;
            ++i;
            ++j;
        } else if (j + 1 == mask.size()) {
            // A last "*" takes the rest of the name.
            i = n;
            ++j;
        } else {
            const char16_t next = mask[j + 1].unicode();
            Ch *const end = name + n;
            Ch *hit = std::find_if(name + i, end, [&](Ch x) { return code(x) == next; });
            qsizetype found = hit - name;
            if (hit == end) {
                // "*." on a name without any dot: the name takes one.
                if (next != u'.' || std::find(name, end, Ch('.')) != end)
                    return false;
                name[n++] = Ch('.');
                found = n - 1;
            }
            i = found + 1;
            j += 2;
        }
    }
    return j == mask.size() && i == n;
}

} // namespace

bool DosMaskMatch(QStringView nameIn, QStringView mask)
{
    QString name = nameIn.toString();
    if (!UpperCaseInPlace(name))
        name = name.toUpper();
    const qsizetype n = name.size();
    name.append(QLatin1Char('.'));   // room for the dot the walk may add
    return MaskWalk(reinterpret_cast<char16_t *>(name.data()), n, mask);
}

bool DosMaskMatchAscii(QByteArrayView name, QStringView mask)
{
    constexpr qsizetype kOnStack = 256;
    if (name.size() >= kOnStack)
        return DosMaskMatch(QString::fromLatin1(name), mask);
    char upper[kOnStack + 1];
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char c = name[i];
        upper[i] = (c >= 'a' && c <= 'z') ? char(c - ('a' - 'A')) : c;
    }
    return MaskWalk(upper, name.size(), mask);
}

bool CleanDosMask(QString &mask)
{
    QString clean;
    clean.reserve(mask.size());
    for (const QChar c : mask) {
        if (c == QLatin1Char(',') || c == QLatin1Char('/') || c == QLatin1Char('\\'))
            continue;
        if ((c == QLatin1Char('*') || c == QLatin1Char('?')) && clean.endsWith(QLatin1Char('*')))
            continue;
        clean.append(c);
    }
    mask = clean;
    return !mask.isEmpty();
}
