// The desktop's file types for the "File Type" name mode. The desktop keeps
// them in its MIME database (shared-mime-info); each type's comment plays
// the part of a type description and its suffixes the part of registered
// extensions.
#include "search/RegisteredTypes.h"

#include "platform/Collation.h"
#include "search/Extensions.h"

#include <QMimeDatabase>
#include <QMimeType>

#include <algorithm>
#include <map>

namespace {

// Whether a suffix can stand for a name's extension: the search takes a
// name's extension from its last ".", so a suffix of two parts ("tar.gz")
// could only match its last part, which belongs to other types as well.
bool PlainSuffix(const QString &suffix)
{
    static const QString kNotPlain = QStringLiteral(".*?[]");
    return !suffix.isEmpty() && std::none_of(suffix.begin(), suffix.end(), [](QChar c) {
        return kNotPlain.contains(c);
    });
}

} // namespace

std::vector<TFileType> MergeFileTypes(const std::vector<std::pair<QString, QStringList>> &types)
{
    // One entry per description; the extensions in the order found.
    std::map<QString, QStringList> byDescription;
    std::vector<QString> order;
    for (const auto &[description, suffixes] : types) {
        if (description.isEmpty())
            continue;
        QStringList plain;
        for (const QString &suffix : suffixes)
            if (PlainSuffix(suffix))
                plain.append(suffix);
        if (plain.isEmpty())
            continue;
        auto [it, fresh] = byDescription.try_emplace(description);
        if (fresh)
            order.push_back(description);
        for (const QString &suffix : plain)
            if (!it->second.contains(suffix))
                it->second.append(suffix);
    }

    const TCollation collation;
    std::stable_sort(order.begin(), order.end(),
                     [&](const QString &a, const QString &b) { return collation.compare(a, b) < 0; });

    std::vector<TFileType> result;
    result.reserve(order.size() + 1);
    result.push_back(TFileType{QStringLiteral("(none)"), QString()});
    for (const QString &description : order)
        result.push_back(TFileType{description, ExtensionPattern(byDescription[description].join(QLatin1Char(',')))});
    return result;
}

std::vector<TFileType> RegisteredFileTypes()
{
    const QMimeDatabase database;
    std::vector<std::pair<QString, QStringList>> types;
    for (const QMimeType &type : database.allMimeTypes())
        types.emplace_back(type.comment(), type.suffixes());
    return MergeFileTypes(types);
}
