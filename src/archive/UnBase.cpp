// The extractors' shared base: the progress step and the safe output path of
// a member, so that no stored name ("..", "/abs", "C:\x") can write outside
// the extraction folder.
#include "archive/UnBase.h"

#include <QDir>
#include <QFileInfo>

int TUnBase::progressStep() const
{
    switch (ProgressNotify) {
    case TProgressNotify::Five:
        return 5;
    case TProgressNotify::Ten:
        return 10;
    case TProgressNotify::Fifteen:
        return 15;
    case TProgressNotify::Twenty:
        return 20;
    case TProgressNotify::TwentyFive:
        return 25;
    }
    return 10;
}

QString TUnBase::SafeOutputPath(const QString &storedName, const QString &extractDir, bool useStoredDirs,
                                bool *altered)
{
    bool changed = false;
    QString name = storedName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name.remove(QChar(0));

    QString dir = extractDir;
    dir.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    if (!dir.isEmpty() && name.startsWith(dir + QLatin1Char('/')))
        name = name.mid(dir.size() + 1);

    // A drive part ("C:") in front, then any leading separators.
    if (name.size() >= 2 && name[1] == QLatin1Char(':') && name[0].isLetter()) {
        name = name.mid(2);
        changed = true;
    }
    if (name.startsWith(QLatin1Char('/')))
        changed = true;

    QStringList kept;
    const QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            changed = true;
            continue;
        }
        kept << part;
    }
    if (altered)
        *altered = changed;
    if (kept.isEmpty())
        return QString();
    if (!useStoredDirs)
        return kept.last();
    return kept.join(QLatin1Char('/'));
}

QString TUnBase::outputRoot()
{
    QString dir = ExtractDir;
    dir.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (dir.isEmpty()) {
        const QFileInfo archive(m_archiveFile);
        dir = m_archiveFile.contains(QLatin1Char('/')) ? archive.absolutePath() : QDir::currentPath();
        ExtractDir = dir;
    }
    dir = QDir(dir).absolutePath();
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}
