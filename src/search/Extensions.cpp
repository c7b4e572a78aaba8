// The extension lists of the search.
#include "search/Extensions.h"

#include <QStringList>

QString NormalizeExtensionText(const QString &typed)
{
    QStringList pieces;
    for (QString piece : typed.split(QLatin1Char(','))) {
        piece = piece.mid(piece.lastIndexOf(QLatin1Char('.')) + 1);
        piece.remove(QLatin1Char(' '));
        // An empty piece would stand for names ending in a bare dot.
        if (!piece.isEmpty())
            pieces.append(piece);
    }
    return pieces.join(QLatin1Char(','));
}

QString ExtensionPattern(const QString &normalized)
{
    QString pattern;
    for (const QString &piece : normalized.split(QLatin1Char(','), Qt::SkipEmptyParts))
        pattern += QLatin1Char('.') + piece + kExtensionEnd;
    return pattern;
}

QString ExtensionKey(QStringView name, bool caseSensitive)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return {};
    QString key = name.mid(dot).toString() + kExtensionEnd;
    return caseSensitive ? key : key.toUpper();
}

bool ExtensionMatches(QStringView name, const QString &pattern, bool caseSensitive)
{
    // A key of one character would be the closing code alone: no extension.
    const QString key = ExtensionKey(name, caseSensitive);
    return key.size() >= 2 && pattern.contains(key);
}
