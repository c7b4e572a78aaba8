// Loading and saving the recently opened catalogs.
#include "settings/RecentFiles.h"

#include "catalog/CatalogFiles.h"
#include "settings/Registry.h"

namespace {
QString recentKey()
{
    return Registry::MainKey() + QStringLiteral("\\MRUList");
}

QString entryName(int index)
{
    return QStringLiteral("F%1").arg(index);
}
} // namespace

void LoadRecentFiles(TRecentFiles &recent, Registry &registry)
{
    QStringList files;
    if (registry.openKey(recentKey(), false)) {
        for (int i = 0; i < TRecentFiles::kMax; ++i) {
            const std::optional<QString> f = registry.readString(entryName(i));
            if (!f || f->isEmpty())
                break;
            files << *f;
        }
        registry.closeKey();
    }
    recent.setFiles(files);
}

bool SaveRecentFiles(const TRecentFiles &recent, Registry &registry)
{
    const QString key = recentKey();
    registry.deleteKey(key);
    if (!registry.openKey(key, true))
        return false;
    bool ok = true;
    for (int i = 0; i < recent.files().size(); ++i)
        ok = registry.writeString(entryName(i), recent.files()[i]) && ok;
    ok = registry.flush() && ok;
    registry.closeKey();
    return ok;
}
