// Comma text: lists kept as one text.
#include "settings/CommaText.h"

#include <algorithm>

namespace {
// Blanks and control characters end an unquoted item.
bool isBlank(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= ' ';
}
} // namespace

QString ToCommaText(const QStringList &items)
{
    QStringList parts;
    for (const QString &item : items) {
        const bool quote = item.isEmpty() || std::any_of(item.begin(), item.end(), [](QChar c) {
                               return c.unicode() <= ' ' || c == QLatin1Char('"') || c == QLatin1Char(',');
                           });
        if (!quote) {
            parts << item;
            continue;
        }
        QString quoted = item;
        quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
        parts << QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    return parts.join(QLatin1Char(','));
}

QStringList FromCommaText(const QString &text)
{
    QStringList items;
    // A NUL ends the text, as it ends the string the list is read from.
    qsizetype n = text.indexOf(QChar(0));
    if (n < 0)
        n = text.size();
    qsizetype i = 0;
    const auto skipBlanks = [&]() {
        while (i < n && isBlank(text[i]))
            ++i;
    };
    skipBlanks();
    while (i < n) {
        QString item;
        if (text[i] == QLatin1Char('"')) {
            ++i;
            while (i < n) {
                if (text[i] == QLatin1Char('"')) {
                    if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                        item += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            const qsizetype start = i;
            while (i < n && !isBlank(text[i]) && text[i] != QLatin1Char(','))
                ++i;
            item = text.mid(start, i - start);
        }
        items << item;
        skipBlanks();
        if (i < n && text[i] == QLatin1Char(',')) {
            ++i;
            skipBlanks();
        }
    }
    return items;
}
