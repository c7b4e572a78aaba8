// The one lookup of the archive corpus for the tests.
#include "Corpus.h"

#include <QFileInfo>

namespace testcorpus {

QString Root()
{
    const QString fromEnvironment = qEnvironmentVariable("QUILLON_TESTDATA");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    // Set by the build: <source>/../shared/testdata.
    return QStringLiteral(QUILLON_DEFAULT_TESTDATA);
}

bool Present()
{
    // Looked up on every call: cheap, and a test may point QUILLON_TESTDATA elsewhere.
    return QFileInfo(Root() + QStringLiteral("/archives/index.json")).isFile();
}

QString ArchiveDir(const char *family)
{
    QString dir = Root() + QStringLiteral("/archives");
    if (family && *family)
        dir += QLatin1Char('/') + QLatin1String(family);
    return dir;
}

QString ArchiveFile(const char *family, const QString &name)
{
    return ArchiveDir(family) + QLatin1Char('/') + name;
}

std::string ArchivePath(const char *family, const std::string &name)
{
    return ArchiveFile(family, QString::fromStdString(name)).toStdString();
}

std::string MissingLine()
{
    return "archive corpus not found at " + Root().toStdString() +
           " (set QUILLON_TESTDATA to the folder holding archives/; README.md says where it comes from)";
}

} // namespace testcorpus
