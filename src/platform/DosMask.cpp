// The DOS mask walk: two positions, one in the mask and one in the name,
// move forward only, so a match costs at most one pass over each.
#include "platform/DosMask.h"

bool DosMaskMatch(QStringView nameIn, QStringView mask)
{
    QString name = nameIn.toString().toUpper();
    const QChar star = QLatin1Char('*');
    const QChar dot = QLatin1Char('.');
    qsizetype i = 0; // in name
    qsizetype j = 0; // in mask
    while (j < mask.size() && (mask[j] == star || i < name.size())) {
        const QChar c = mask[j];
        if (c == QLatin1Char('?')) {
            ++i;
            ++j;
        } else if (c != star) {
            if (name[i] != c)
                return false;
            ++i;
            ++j;
        } else if (j + 1 == mask.size()) {
            // A last "*" takes the rest of the name.
            i = name.size();
            ++j;
        } else {
            const QChar next = mask[j + 1];
            qsizetype found = name.indexOf(next, i);
            if (found < 0) {
                // "*." on a name without any dot: the name takes one.
                if (next != dot || name.contains(dot))
                    return false;
                name.append(dot);
                found = name.size() - 1;
            }
            i = found + 1;
            j += 2;
        }
    }
    return j == mask.size() && i == name.size();
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
