// The reference manifests of the archive corpus (NAME.manifest.jsonl beside
// each archive): what third-party tools listed and extracted, and the bytes
// every reader must produce. One loader for every format's tests.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

namespace testcorpus {

// One member as one tool listed it; json holds every field the tool gave.
struct ManifestMember {
    QString tool;
    QJsonObject json;
    QString path() const { return json.value(QStringLiteral("path")).toString(); }
    qint64 size() const { return qint64(json.value(QStringLiteral("size")).toDouble()); }
    qint64 packed() const { return qint64(json.value(QStringLiteral("packed")).toDouble()); }
};

// The bytes a member must extract to; sha256 is empty where no tool's output could be verified.
struct ManifestExpected {
    QString path;
    qint64 size = 0;
    QString sha256;
};

struct Manifest {
    QString expect; // "damaged: ...", "... refuse" or empty
    std::vector<ManifestMember> members;
    std::vector<ManifestExpected> expected;
    // archive_info records by tool
    std::vector<std::pair<QString, QJsonObject>> archiveInfo;
    // The members one tool listed, in its order.
    std::vector<ManifestMember> listedBy(const QString &tool) const;
};

// The manifest of archivePath; an empty one when there is none.
Manifest LoadManifest(const QString &archivePath);

// Every archive of a format family that has a manifest, sorted by name (full paths).
QStringList ManifestArchives(const char *family);

} // namespace testcorpus
