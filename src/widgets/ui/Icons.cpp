// Pictures from the icon theme with bundled fallbacks, and the per-extension
// cache of file type icons.
#include "widgets/ui/Icons.h"

#include "catalog/CatalogRec.h"
#include "catalog/LoadSave.h"
#include "platform/Texts.h"

#include <QMimeDatabase>
#include <QMimeType>

#include <array>
#include <limits>

namespace {

struct ImageSource {
    const char *theme;    // freedesktop name; null: the program's own picture
    const char *bundled;  // resource name under :/icons
};

// In the order of TAppImage.
constexpr std::array<ImageSource, 52> kImages{{
    {nullptr, "catalog"},
    {"folder", "folder"},
    {"folder-open", "folder-open"},
    {nullptr, "zip-folder"},
    {nullptr, "zip-folder-open"},
    {"media-floppy", "floppy-525"},
    {"media-floppy", "floppy-35"},
    {nullptr, "tape"},
    {"media-optical", "optical"},
    {"network-server", "network"},
    {"media-flash", "ram"},
    {"drive-removable-media", "removable"},
    {nullptr, "zipdrive"},
    {nullptr, "jazdrive"},
    {"drive-harddisk", "harddisk"},
    {nullptr, "virtual"},
    {nullptr, "compressed-disk"},
    {nullptr, "back"},
    {nullptr, "setup"},
    {"text-x-generic", "file"},
    {nullptr, "led-idle"},
    {nullptr, "led-busy"},
    {nullptr, "led-search"},
    {nullptr, "sort-name"},
    {nullptr, "sort-ext"},
    {nullptr, "sort-media"},
    {nullptr, "sort-size"},
    {nullptr, "sort-date"},
    {nullptr, "sort-free"},
    {nullptr, "reverse"},
    {nullptr, "view-icons"},
    {nullptr, "view-small"},
    {nullptr, "view-list"},
    {nullptr, "view-details"},
    {"document-new", "new"},
    {"document-open", "open"},
    {"document-save", "save"},
    {"go-up", "go-back"},
    {"document-print", "print"},
    {nullptr, "add-disk"},
    {nullptr, "compare"},
    {"edit-find", "search"},
    {nullptr, "user-list"},
    {nullptr, "edit-desc"},
    {"document-properties", "properties"},
    {nullptr, "set-category"},
    {nullptr, "explorer"},
    {nullptr, "view-file"},
    {nullptr, "launch"},
    {nullptr, "extract"},
    {nullptr, "add-list"},
    {"help-contents", "help"},
}};
static_assert(kImages.size() == size_t(TAppImage::Help) + 1, "one source per image");

QIcon bundled(const char *name)
{
    return QIcon(QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg"));
}

} // namespace

// The resource lives in a static library: register it once by hand (outside
// any namespace, as the registration macro needs).
static void initResources()
{
    static bool done = false;
    if (!done) {
        Q_INIT_RESOURCE(icons);
        done = true;
    }
}

QIcon AppIcon(TAppImage image)
{
    initResources();
    static std::array<QIcon, kImages.size()> cache;
    const size_t i = size_t(image);
    if (i >= kImages.size())
        return bundled("file");
    if (cache[i].isNull()) {
        const ImageSource &src = kImages[i];
        const QIcon fallback = bundled(src.bundled);
        cache[i] = src.theme ? QIcon::fromTheme(QLatin1String(src.theme), fallback) : fallback;
    }
    return cache[i];
}

TAppImage DiskImage(int mediaType, uint8_t kindFlags)
{
    if (ItemIs(kindFlags, rfVirtualRoot))
        return TAppImage::VirtualRoot;
    if (ItemIs(kindFlags, rfCompressed))
        return TAppImage::CompressedDisk;
    switch (mediaType) {
    case 0: case 1: case 3: case 4:
        return TAppImage::Floppy525;
    case 2: case 7: case 9:
        return TAppImage::Floppy35;
    case 6:
        return TAppImage::Tape;
    case 8: case 10:
        return TAppImage::Optical;
    case 11:
        return TAppImage::Network;
    case 12:
        return TAppImage::Ram;
    case 13:
        return TAppImage::Removable;
    case 14:
        return TAppImage::ZipDrive;
    case 15:
        return TAppImage::JazDrive;
    default:
        return TAppImage::HardDisk;
    }
}

QIcon RecordIcon(TItemRec *rec)
{
    if (!rec)
        return {};
    switch (ItemKind(rec->KindFlags)) {
    case rkFile:
        return FileTypes().iconFor(rec);
    case rkFolder:
        return AppIcon(ItemIs(rec->KindFlags, rfCompressed) ? TAppImage::ZipFolder : TAppImage::Folder);
    case rkDisk: {
        const auto *disk = static_cast<const TDiskRec *>(rec);
        return AppIcon(DiskImage(disk->MediaType, disk->KindFlags));
    }
    case rkCatalog:
        return AppIcon(TAppImage::Catalog);
    default:
        return {};
    }
}

namespace {

TAppImage treeImage(int image)
{
    switch (image) {
    case tiCatalog:
        return TAppImage::Catalog;
    case tiFolder:
        return TAppImage::Folder;
    case tiFolderOpen:
        return TAppImage::FolderOpen;
    case tiZipFolder:
        return TAppImage::ZipFolder;
    case tiZipFolderOpen:
        return TAppImage::ZipFolderOpen;
    case tiVirtualRoot:
        return TAppImage::VirtualRoot;
    case tiCompressedDisk:
        return TAppImage::CompressedDisk;
    default:
        if (image >= tiDiskFirst && image < tiVirtualRoot)
            return DiskImage(image - tiDiskFirst, 0);
        return TAppImage::File;
    }
}

} // namespace

QIcon TreeIcon(int image, int selectedImage)
{
    static QHash<int, QIcon> cache;
    const int key = (image & 0xFFFF) | (selectedImage << 16);
    auto it = cache.find(key);
    if (it != cache.end())
        return *it;
    QIcon icon = AppIcon(treeImage(image));
    if (selectedImage != image && selectedImage >= 0) {
        // The selected image shows while the node is selected (an open folder).
        QIcon combined;
        const QIcon selected = AppIcon(treeImage(selectedImage));
        for (const int size : {16, 22, 32}) {
            combined.addPixmap(icon.pixmap(size), QIcon::Normal);
            combined.addPixmap(selected.pixmap(size), QIcon::Selected);
        }
        icon = combined;
    }
    cache.insert(key, icon);
    return icon;
}

// ---- file types ----------------------------------------------------------------

TFileTypes &FileTypes()
{
    static TFileTypes types;
    return types;
}

int TFileTypes::entryFor(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot < 0 ? QString() : fileName.mid(dot + 1).toLower();
    const auto it = m_byExtension.constFind(ext);
    if (it != m_byExtension.cend())
        return *it;
    static const QMimeDatabase db;
    // By extension only: the file is on a medium that is not here.
    const QMimeType type = ext.isEmpty() ? db.mimeTypeForName(QStringLiteral("application/octet-stream"))
                                         : db.mimeTypeForFile(QStringLiteral("x.") + ext, QMimeDatabase::MatchExtension);
    Entry e;
    const QIcon fallback = AppIcon(TAppImage::File);
    if (type.isValid() && !type.isDefault()) {
        e.icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fallback));
        e.name = type.comment();
    } else {
        e.icon = fallback;
    }
    if (e.name.isEmpty())
        e.name = QStringLiteral("(unknown)");
    m_entries.push_back(e);
    const int index = int(m_entries.size()) - 1;
    m_byExtension.insert(ext, index);
    return index;
}

QIcon TFileTypes::iconFor(const QString &fileName)
{
    if (fileName.compare(QLatin1String("setup.exe"), Qt::CaseInsensitive) == 0 ||
        fileName.compare(QLatin1String("install.exe"), Qt::CaseInsensitive) == 0)
        return AppIcon(TAppImage::Setup);
    return m_entries[size_t(entryFor(fileName))].icon;
}

QIcon TFileTypes::iconFor(TItemRec *rec)
{
    if (!rec || !ItemIs(rec->KindFlags, rkFile))
        return AppIcon(TAppImage::File);
    auto *file = static_cast<TFileRec *>(rec);
    const QByteArrayView bytes = file->name();
    auto named = [&](const char *special) {
        const qsizetype n = qsizetype(qstrlen(special));
        return bytes.size() == n && qstrnicmp(bytes.data(), n, special, n) == 0;
    };
    if (named("setup.exe") || named("install.exe"))
        return AppIcon(TAppImage::Setup);
    if (file->IconIndex >= 0 && size_t(file->IconIndex) < m_entries.size())
        return m_entries[size_t(file->IconIndex)].icon;
    const int index = entryFor(DecodeStored(bytes));
    if (index <= std::numeric_limits<int16_t>::max())
        file->IconIndex = int16_t(index);
    return m_entries[size_t(index)].icon;
}

QString TFileTypes::typeName(const QString &fileName)
{
    return m_entries[size_t(entryFor(fileName))].name;
}
