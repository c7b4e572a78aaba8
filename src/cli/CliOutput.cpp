// How quillon-cli shows catalog items: the text line of a disk, folder or
// file (type, attributes, modified, size, name) and its JSON object with every
// field the catalog keeps; times read by the platform's DOS time rule.
#include "cli/CliOutput.h"

#include "catalog/ItemFormat.h"
#include "catalog/LoadSave.h"
#include "platform/DosTime.h"
#include "platform/Texts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

namespace cli {

void Output::line(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_file);
    std::fputc('\n', m_file);
}

void Output::json(const QJsonObject &object)
{
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_file);
    std::fputc('\n', m_file);
}

QString NodeName(const TTreeNode *node)
{
    return DecodeStored(node->text());
}

QDateTime UpdatedTime(const TDiskRec *disk)
{
    if (disk->Updated == 0)
        return QDateTime();
    return UpdatedToDateTime(disk->Updated);
}

QString VariantName(CatalogVariant variant)
{
    return variant == CatalogVariant::Wide ? QStringLiteral("wide") : QStringLiteral("narrow");
}

QString VariantSignature(CatalogVariant variant)
{
    return QString::fromLatin1(variant == CatalogVariant::Wide ? kSignatureWide : kSignatureNarrow);
}

namespace {

QJsonValue textOrNull(const char *text)
{
    if (!text || TextLength(text) == 0)
        return QJsonValue::Null;
    return DecodeStored(TextView(text));
}

QJsonValue dosTimeJson(uint32_t packed)
{
    const QString iso = DosToIso(packed);
    return iso.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(iso);
}

QString dosTimeText(uint32_t packed)
{
    if (packed == 0)
        return QString();
    const QDateTime dt = DosToDateTime(packed);
    return dt.isValid() ? dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

// Category code, category name and flags of a CatFlags byte: bits 0-4 hold
// the category code (0: none), bits 5-7 the flags 1 to 3.
void addCategoryFields(QJsonObject &object, const TCatalogRec *catalog, uint8_t catFlags)
{
    constexpr uint8_t kCategoryCodeBits = 0x1F;
    constexpr int kFlagCount = 3;
    constexpr int kFirstFlagBit = 5;
    object.insert(QStringLiteral("catflags"), int(catFlags));
    const int code = catFlags & kCategoryCodeBits;
    const QByteArray category = code != 0 && catalog ? CategoryName(catalog, code) : QByteArray();
    object.insert(QStringLiteral("category"), category.isEmpty() ? QJsonValue(QJsonValue::Null)
                                                                 : QJsonValue(DecodeStored(category)));
    QJsonArray flags;
    QJsonArray flagNames;   // the names of the set flags, in the same order; null for an unnamed one
    for (int k = 1; k <= kFlagCount; ++k)
        if (catFlags & (1 << (kFirstFlagBit + k - 1))) {
            flags.append(k);
            const QByteArrayView name = catalog ? TextView(catalog->FlagNames[k - 1]) : QByteArrayView();
            flagNames.append(name.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(DecodeStored(name)));
        }
    object.insert(QStringLiteral("flags"), flags);
    object.insert(QStringLiteral("flag_names"), flagNames);
}

} // namespace

QJsonObject ItemPrinter::catalogObject() const
{
    QJsonObject object;
    object.insert(QStringLiteral("kind"), QStringLiteral("catalog"));
    object.insert(QStringLiteral("name"), NodeName(m_catalogNode));
    object.insert(QStringLiteral("description"), textOrNull(m_catalog->Desc));
    object.insert(QStringLiteral("file"), m_catalog->FileName);
    object.insert(QStringLiteral("variant"), VariantName(m_catalog->Variant));
    QJsonArray categories;
    for (const TCategory &category : m_catalog->Categories)
        categories.append(QJsonObject{{QStringLiteral("name"), DecodeStored(category.Name)},
                                      {QStringLiteral("code"), int(category.Code)}});
    object.insert(QStringLiteral("categories"), categories);
    QJsonArray flagNames;
    for (const char *flagName : m_catalog->FlagNames)
        flagNames.append(textOrNull(flagName));
    object.insert(QStringLiteral("flag_names"), flagNames);
    object.insert(QStringLiteral("disks"), m_catalogNode->childCount());
    return object;
}

QJsonObject ItemPrinter::diskObject(TTreeNode *diskNode) const
{
    const TDiskRec *disk = AsDisk(NodeRec(diskNode));
    const bool virtualRoot = ItemIs(disk->KindFlags, rfVirtualRoot);
    QJsonObject object = common("disk", diskNode, NodeName(diskNode));
    object.insert(QStringLiteral("size"), qint64(WholeBytes(DiskSpace(disk, 2))));
    object.insert(QStringLiteral("attr"), QString());
    object.insert(QStringLiteral("created"), QJsonValue::Null);
    object.insert(QStringLiteral("modified"), QJsonValue::Null);
    object.insert(QStringLiteral("accessed"), QJsonValue::Null);
    addCategoryFields(object, m_catalog, 0);
    object.insert(QStringLiteral("desc"), textOrNull(disk->Desc));
    object.insert(QStringLiteral("compressed"), ItemIs(disk->KindFlags, rfCompressed));
    object.insert(QStringLiteral("has_desc"), ItemIs(disk->KindFlags, rfHasDesc));
    object.insert(QStringLiteral("media"), int(disk->MediaType));
    object.insert(QStringLiteral("media_text"), MediaTypeText(disk->MediaType, virtualRoot));
    object.insert(QStringLiteral("label"), DecodeStored(disk->VolumeLabel));
    object.insert(QStringLiteral("serial"), SerialText(disk->Serial));
    object.insert(QStringLiteral("filesystem"), DecodeStored(disk->FileSystem));
    object.insert(QStringLiteral("capacity"), qint64(WholeBytes(DiskSpace(disk, 0))));
    object.insert(QStringLiteral("free"), qint64(WholeBytes(DiskSpace(disk, 1))));
    object.insert(QStringLiteral("files"), disk->TotalFiles);
    object.insert(QStringLiteral("archive_files"), disk->ArchiveFiles);
    object.insert(QStringLiteral("folders"), disk->TotalFolders);
    const QDateTime updated = UpdatedTime(disk);
    object.insert(QStringLiteral("updated"), updated.isValid() ? QJsonValue(updated.toString(Qt::ISODate))
                                                               : QJsonValue(QJsonValue::Null));
    object.insert(QStringLiteral("virtual_root"), virtualRoot);
    object.insert(QStringLiteral("root_path"), textOrNull(disk->RootPath));
    return object;
}

QJsonObject ItemPrinter::folderObject(TTreeNode *folderNode) const
{
    const TFolderRec *folder = AsFolder(NodeRec(folderNode));
    QJsonObject object = common("folder", folderNode, NodeName(folderNode));
    object.insert(QStringLiteral("size"), qint64(WholeBytes(folder->TotalSize)));
    object.insert(QStringLiteral("attr"), AttrLetters(folder->Attr));
    object.insert(QStringLiteral("created"), dosTimeJson(folder->Created));
    object.insert(QStringLiteral("modified"), dosTimeJson(folder->Modified));
    object.insert(QStringLiteral("accessed"), dosTimeJson(folder->Accessed));
    addCategoryFields(object, m_catalog, folder->CatFlags);
    object.insert(QStringLiteral("desc"), textOrNull(folder->Desc));
    object.insert(QStringLiteral("compressed"), ItemIs(folder->KindFlags, rfCompressed));
    object.insert(QStringLiteral("has_desc"), ItemIs(folder->KindFlags, rfHasDesc));
    return object;
}

QJsonObject ItemPrinter::fileObject(TTreeNode *holder, const TFileRec *file) const
{
    const bool compressed = ItemIs(file->KindFlags, rfCompressed);
    QJsonObject object = common("file", holder, DecodeStored(file->name()));
    object.insert(QStringLiteral("size"), qint64(file->Size));
    object.insert(QStringLiteral("attr"), AttrLetters(file->Attr));
    object.insert(QStringLiteral("modified"), dosTimeJson(file->Modified));
    if (compressed) {
        // A member keeps its checksum in Created and its packed size in Accessed.
        object.insert(QStringLiteral("crc"), QStringLiteral("%1").arg(file->Created, 8, 16, QLatin1Char('0')).toUpper());
        object.insert(QStringLiteral("packed"), qint64(file->Accessed));
    } else {
        object.insert(QStringLiteral("created"), dosTimeJson(file->Created));
        object.insert(QStringLiteral("accessed"), dosTimeJson(file->Accessed));
    }
    addCategoryFields(object, m_catalog, file->CatFlags);
    object.insert(QStringLiteral("desc"), textOrNull(file->Desc));
    object.insert(QStringLiteral("compressed"), compressed);
    return object;
}

QJsonObject ItemPrinter::mediaFileObject(const QJsonValue &disk, const QJsonValue &path, const QString &name,
                                         qint64 size, uint8_t attr, uint32_t modified, const QString &mediaPath) const
{
    QJsonObject object;
    object.insert(QStringLiteral("kind"), QStringLiteral("file"));
    object.insert(QStringLiteral("disk"), disk);
    object.insert(QStringLiteral("path"), path);
    object.insert(QStringLiteral("name"), name);
    object.insert(QStringLiteral("size"), size);
    object.insert(QStringLiteral("attr"), AttrLetters(attr));
    object.insert(QStringLiteral("modified"), dosTimeJson(modified));
    object.insert(QStringLiteral("created"), QJsonValue::Null);
    object.insert(QStringLiteral("accessed"), QJsonValue::Null);
    addCategoryFields(object, m_catalog, 0);
    object.insert(QStringLiteral("desc"), QJsonValue::Null);
    object.insert(QStringLiteral("compressed"), false);
    object.insert(QStringLiteral("media_path"), mediaPath);
    return object;
}

void ItemPrinter::disk(TTreeNode *diskNode)
{
    if (m_json) {
        m_out.json(diskObject(diskNode));
        return;
    }
    const TDiskRec *rec = AsDisk(NodeRec(diskNode));
    const QDateTime updated = UpdatedTime(rec);
    const QString details = QStringLiteral("(%1; %2 files, %3 folders)")
                                .arg(MediaTypeText(rec->MediaType, ItemIs(rec->KindFlags, rfVirtualRoot)))
                                .arg(rec->TotalFiles)
                                .arg(rec->TotalFolders);
    m_out.line(itemLine(QLatin1Char('D'), QString(),
                        updated.isValid() ? updated.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString(),
                        WholeBytes(DiskSpace(rec, 2)), NodeName(diskNode) + QStringLiteral("  ") + details));
}

void ItemPrinter::folder(TTreeNode *folderNode)
{
    if (m_json) {
        m_out.json(folderObject(folderNode));
        return;
    }
    const TFolderRec *rec = AsFolder(NodeRec(folderNode));
    m_out.line(itemLine(ItemIs(rec->KindFlags, rfCompressed) ? QLatin1Char('z') : QLatin1Char('d'),
                        AttrLetters(rec->Attr), dosTimeText(rec->Modified), WholeBytes(rec->TotalSize),
                        m_showLocation ? displayPath(folderNode) : NodeName(folderNode)));
}

void ItemPrinter::file(TTreeNode *holder, const TFileRec *file)
{
    if (m_json) {
        m_out.json(fileObject(holder, file));
        return;
    }
    const QString name = DecodeStored(file->name());
    m_out.line(itemLine(QLatin1Char('-'), AttrLetters(file->Attr), dosTimeText(file->Modified), file->Size,
                        m_showLocation ? displayPath(holder) + QLatin1Char('\\') + name : name));
}

QString ItemPrinter::displayPath(TTreeNode *node)
{
    TTreeNode *diskNode = DiskNodeOf(node);
    const QString path = DecodeStored(NodePath(node, true, false));
    return path == QLatin1String("\\") ? NodeName(diskNode) : NodeName(diskNode) + path;
}

QString ItemPrinter::itemLine(QChar type, const QString &attr, const QString &modified, qint64 size,
                              const QString &name)
{
    return QStringLiteral("%1 %2 %3 %4  %5").arg(type).arg(attr, -5).arg(modified, -19).arg(size, 15).arg(name);
}

// kind, disk and path of an item; for a file, node is the folder or disk holding it.
QJsonObject ItemPrinter::common(const char *kind, TTreeNode *node, const QString &name)
{
    QJsonObject object;
    object.insert(QStringLiteral("kind"), QLatin1String(kind));
    object.insert(QStringLiteral("disk"), NodeName(DiskNodeOf(node)));
    object.insert(QStringLiteral("path"), DecodeStored(NodePath(node, true, false)));
    object.insert(QStringLiteral("name"), name);
    return object;
}
} // namespace cli
