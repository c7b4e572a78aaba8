// Reading the corpus manifests: one JSON object per line, by kind.
#include "Manifest.h"

#include "Corpus.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace testcorpus {

std::vector<ManifestMember> Manifest::listedBy(const QString &tool) const
{
    std::vector<ManifestMember> out;
    for (const ManifestMember &m : members)
        if (m.tool == tool)
            out.push_back(m);
    return out;
}

Manifest LoadManifest(const QString &archivePath)
{
    Manifest manifest;
    QFile file(archivePath + QStringLiteral(".manifest.jsonl"));
    if (!file.open(QIODevice::ReadOnly))
        return manifest;
    while (!file.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(file.readLine()).object();
        const QString kind = o.value(QStringLiteral("kind")).toString();
        const QString tool = o.value(QStringLiteral("tool")).toString();
        if (kind == QLatin1String("archive")) {
            manifest.expect = o.value(QStringLiteral("expect")).toString();
        } else if (kind == QLatin1String("member")) {
            manifest.members.push_back({tool, o});
        } else if (kind == QLatin1String("archive_info")) {
            manifest.archiveInfo.emplace_back(tool, o);
        } else if (kind == QLatin1String("consensus")) {
            manifest.expected.push_back({o.value(QStringLiteral("path")).toString(),
                                         qint64(o.value(QStringLiteral("size")).toDouble()),
                                         o.value(QStringLiteral("sha256")).toString()});
        }
    }
    return manifest;
}

QStringList ManifestArchives(const char *family)
{
    const QDir dir(ArchiveDir(family));
    QStringList out;
    for (const QString &name : dir.entryList({QStringLiteral("*.manifest.jsonl")}, QDir::Files, QDir::Name))
        out << dir.filePath(name.chopped(int(qstrlen(".manifest.jsonl"))));
    return out;
}

} // namespace testcorpus
