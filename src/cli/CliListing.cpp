// The commands of quillon-cli. Catalogs are opened with ReadCatalog, which
// reads the headers and the first folder level of each disk; ls then reads
// one more folder level and one file list per folder it shows, and the
// recursive walk drops each file list again once it is printed. Edits go
// through the catalog operations the windows use and are saved in place with
// the program's own save (SaveCatalog). The settings command reads and changes the program's settings
// through the same settings holder the program uses. The scan command
// catalogues a drive or folder of this machine through the disk scan, with
// the settings' defaults; drives lists the drive letters.
#include "cli/CliCommands.h"
#include "cli/CliDrives.h"

#include "archive/ArcLister.h"
#include "archive/Extract.h"

#include "catalog/CatalogFiles.h"
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "catalog/LoadSave.h"
#include "catalog/NewCatalogFile.h"
#include "catalog/ReadAhead.h"
#include "platform/DosTime.h"
#include "platform/Drives.h"
#include "platform/Texts.h"
#include "scan/DiskScan.h"
#include "settings/Options.h"
#include "settings/Registry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QVariant>

#include <climits>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

// Wrong command line: the text says what is wrong, the usage follows it.
struct UsageError {
    QString message;
};

// A failure of the command itself (a missing disk or path).
struct CommandError {
    QString message;
};

// The program's settings as stored, or the initial ones when none are.
TOptions storedSettings()
{
    Registry registry;
    Registry nothingStored{QString()};
    TOptions settings;
    settings.load(RevisionCurrent(registry) ? registry : nothingStored);
    return settings;
}

// Answers the save dialog with the file the command line named; the other
// questions go to the default prompter (stderr).
class CliCatalogHost : public TCatalogHost
{
public:
    explicit CliCatalogHost(const QString &target) : m_target(target) {}
    QString chooseSaveFile(const QString &, const QString &, const QString &) override
    {
        // Asked once: a second ask means the name was refused, and nobody can pick another.
        return std::exchange(m_target, QString());
    }

private:
    QString m_target;
};

// Saves through the program's own save: a temporary file flushed to the disk,
// then put in place of the old file, which is kept as ".BAK" when the settings
// say so. target is the file for a first save or a save under a new name.
void saveCatalog(TTreeNode *catalogNode, const QString &target, bool saveAs)
{
    const TOptions settings = storedSettings();
    TCatalogFileSettings fileSettings;
    fileSettings.CatalogPathEdit = settings.CatalogPathEdit;
    fileSettings.CreateBakCheck = settings.CreateBakCheck;
    CliCatalogHost host(QFileInfo(target).absoluteFilePath());
    if (!SaveCatalog(catalogNode, saveAs, host, fileSettings))
        throw CommandError{QStringLiteral("The catalog was not saved.")};
}

struct CliArgs {
    QString command;
    QStringList positional;
    bool recursive = false;
    bool json = false;
    bool help = false;
    bool dirs = false;        // arc extract: keep stored folders
    QStringList passwords;    // arc extract: --password PW, may repeat

    // scan
    QString scanOption;       // the first scan option given (other commands refuse it)
    std::optional<QString> name;
    std::optional<QString> update;
    std::optional<bool> archives;
    bool archiveDescOnly = false;
    bool quickScan = false;
    std::optional<QString> import;
    std::optional<QString> keep;
    bool hidden = false;
    bool recycle = false;
    bool eject = false;
};

// The scan options that take a value, and where it goes.
std::optional<QString> *ScanValueOption(CliArgs &parsed, const QString &option)
{
    if (option == QLatin1String("--name"))
        return &parsed.name;
    if (option == QLatin1String("--update"))
        return &parsed.update;
    if (option == QLatin1String("--import"))
        return &parsed.import;
    if (option == QLatin1String("--keep-descriptions"))
        return &parsed.keep;
    return nullptr;
}

// A scan option without a value; false when arg is none.
bool TakeScanFlag(CliArgs &parsed, const QString &arg)
{
    if (arg == QLatin1String("--archives"))
        parsed.archives = true;
    else if (arg == QLatin1String("--no-archives"))
        parsed.archives = false;
    else if (arg == QLatin1String("--archive-desc-only"))
        parsed.archiveDescOnly = true;
    else if (arg == QLatin1String("--quick-scan"))
        parsed.quickScan = true;
    else if (arg == QLatin1String("--hidden"))
        parsed.hidden = true;
    else if (arg == QLatin1String("--recycle"))
        parsed.recycle = true;
    else if (arg == QLatin1String("--eject"))
        parsed.eject = true;
    else
        return false;
    return true;
}

CliArgs parseArgs(const QStringList &args)
{
    CliArgs parsed;
    bool optionsEnded = false;
    QStringList positional;
    bool wantPassword = false;
    std::optional<QString> *wantValue = nullptr;
    QString wantValueName;
    for (const QString &arg : args) {
        if (wantPassword) {
            parsed.passwords << arg;
            wantPassword = false;
            continue;
        }
        if (wantValue) {
            *wantValue = arg;
            wantValue = nullptr;
            continue;
        }
        if (!optionsEnded && arg.startsWith(QLatin1String("--"))) {
            const qsizetype eq = arg.indexOf(QLatin1Char('='));
            const QString option = eq > 0 ? arg.left(eq) : arg;
            if (std::optional<QString> *slot = ScanValueOption(parsed, option)) {
                if (parsed.scanOption.isEmpty())
                    parsed.scanOption = option;
                if (eq > 0) {
                    *slot = arg.mid(eq + 1);
                } else {
                    wantValue = slot;
                    wantValueName = option;
                }
                continue;
            }
            if (TakeScanFlag(parsed, arg)) {
                if (parsed.scanOption.isEmpty())
                    parsed.scanOption = arg;
                continue;
            }
        }
        if (optionsEnded || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            positional << arg;
        } else if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            parsed.help = true;
        } else if (arg == QLatin1String("--recursive") || arg == QLatin1String("-r") || arg == QLatin1String("-R")) {
            parsed.recursive = true;
        } else if (arg == QLatin1String("--json")) {
            parsed.json = true;
        } else if (arg == QLatin1String("--dirs")) {
            parsed.dirs = true;
        } else if (arg == QLatin1String("--password")) {
            wantPassword = true;
        } else if (arg.startsWith(QLatin1String("--password="))) {
            parsed.passwords << arg.mid(11);
        } else {
            throw UsageError{QStringLiteral("Unknown option: %1").arg(arg)};
        }
    }
    if (wantPassword)
        throw UsageError{QStringLiteral("--password needs a value")};
    if (wantValue)
        throw UsageError{QStringLiteral("%1 needs a value").arg(wantValueName)};
    if (!positional.isEmpty())
        parsed.command = positional.takeFirst();
    parsed.positional = positional;
    return parsed;
}

// Checks the number of arguments and the options a command allows.
void requireArgs(const CliArgs &args, int minCount, int maxCount, bool allowJson, bool allowRecursive)
{
    if (args.json && !allowJson)
        throw UsageError{QStringLiteral("%1 does not take --json").arg(args.command)};
    if (args.recursive && !allowRecursive)
        throw UsageError{QStringLiteral("%1 does not take --recursive").arg(args.command)};
    const auto count = args.positional.size();
    if (count < minCount)
        throw UsageError{QStringLiteral("%1: missing arguments").arg(args.command)};
    if (count > maxCount)
        throw UsageError{QStringLiteral("%1: too many arguments").arg(args.command)};
}

// Lines to a FILE in UTF-8.
class Output
{
public:
    explicit Output(FILE *file) : m_file(file) {}
    FILE *file() const { return m_file; }
    void line(const QString &text)
    {
        const QByteArray bytes = text.toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_file);
        std::fputc('\n', m_file);
    }
    void json(const QJsonObject &object)
    {
        const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_file);
        std::fputc('\n', m_file);
    }

private:
    FILE *m_file;
};

// One catalog read from its file; everything it built is freed on destruction.
class OpenCatalog
{
public:
    // The catalog keeps the full path of its file.
    explicit OpenCatalog(const QString &fileName)
        : m_node(ReadCatalog(m_forest, QFileInfo(fileName).absoluteFilePath()))
    {
        TNewCatalogFile::RemoveStale(record()->FileName);   // what a killed save of it left
    }
    ~OpenCatalog()
    {
        m_forest.deleteAll([](TTreeNode *node) { FreeItemData(node, true, true); });
    }
    OpenCatalog(const OpenCatalog &) = delete;
    OpenCatalog &operator=(const OpenCatalog &) = delete;

    TTreeNode *node() const { return m_node; }
    TCatalogRec *record() const { return AsCatalog(NodeRec(m_node)); }
    // Writes the catalog back to the file it was read from.
    void save() const { saveCatalog(m_node, record()->FileName, false); }

private:
    TForest m_forest;
    TTreeNode *m_node;
};

bool isSeparator(QChar c)
{
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}

QString withBackslashes(QString text)
{
    text.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return text;
}

QString nodeName(const TTreeNode *node)
{
    return DecodeStored(node->text());
}

// A disk or folder, or a file of the chain of one.
struct Target {
    TTreeNode *node = nullptr;
    TFileRec *file = nullptr;
};

uint8_t filesLoaded(TTreeNode *node)
{
    TItemRec *rec = NodeRec(node);
    if (TFolderRec *folder = AsFolder(rec))
        return folder->FilesLoaded;
    if (TDiskRec *disk = AsDisk(rec))
        return disk->FilesLoaded;
    return 1;
}

// The child folder of a disk or folder with the given name, reading one more
// folder level when needed; null when none.
TTreeNode *childFolder(TTreeNode *node, const QString &name)
{
    // A disk's first level is read when the catalog opens; only folders read more.
    if (AsFolder(NodeRec(node)))
        LoadSubfolders(node, false, false);
    const QByteArray bytes = EncodeStored(name);
    for (TTreeNode *child : node->children())
        if (child->text() == bytes)
            return child;
    for (TTreeNode *child : node->children())
        if (nodeName(child) == name)
            return child;
    return nullptr;
}

// The file of a folder's or disk's chain with the given name. A member of a
// compressed file keeps its path inside the archive in its name, so both
// separators count as equal.
TFileRec *chainFile(TTreeNode *node, const QString &name)
{
    LoadFileList(node);
    for (TFileRec *file = NodeRec(node)->Next; file; file = file->Next)
        if (withBackslashes(DecodeStored(file->name())) == name)
            return file;
    return nullptr;
}

// Resolves DISK[\PATH[\NAME]]. The disk is the longest disk name that is the
// whole text or is followed by a separator (disk names may hold "\" or "/");
// then folders are followed as far as they exist, and with allowFile the rest
// names a file of the last folder.
Target resolveTarget(TTreeNode *catalogNode, const QString &itemArg, bool allowFile)
{
    TTreeNode *disk = nullptr;
    qsizetype diskLength = -1;
    for (TTreeNode *child : catalogNode->children()) {
        const QString name = nodeName(child);
        const bool matches = itemArg == name
            || (itemArg.size() > name.size() && itemArg.startsWith(name) && isSeparator(itemArg[name.size()]));
        if (matches && name.size() > diskLength) {
            disk = child;
            diskLength = name.size();
        }
    }
    if (!disk) {
        qsizetype end = 0;
        while (end < itemArg.size() && !isSeparator(itemArg[end]))
            ++end;
        throw CommandError{QStringLiteral("Disk not found: %1").arg(itemArg.left(end))};
    }

    const QStringList parts = withBackslashes(itemArg.mid(diskLength)).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    TTreeNode *node = disk;
    qsizetype i = 0;
    for (; i < parts.size(); ++i) {
        TTreeNode *child = childFolder(node, parts[i]);
        if (!child)
            break;
        node = child;
    }
    if (i == parts.size())
        return Target{node, nullptr};
    if (allowFile) {
        if (TFileRec *file = chainFile(node, parts.mid(i).join(QLatin1Char('\\'))))
            return Target{node, file};
    }
    throw CommandError{QStringLiteral("Path not found: %1").arg(itemArg)};
}

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

QDateTime updatedTime(const TDiskRec *disk)
{
    if (disk->Updated == 0)
        return QDateTime();
    return UpdatedToDateTime(disk->Updated);
}

QString variantName(CatalogVariant variant)
{
    return variant == CatalogVariant::Wide ? QStringLiteral("wide") : QStringLiteral("narrow");
}

QString variantSignature(CatalogVariant variant)
{
    return QString::fromLatin1(variant == CatalogVariant::Wide ? kSignatureWide : kSignatureNarrow);
}

// Category code, category name and flags of a CatFlags byte.
void addCategoryFields(QJsonObject &object, const TCatalogRec *catalog, uint8_t catFlags)
{
    object.insert(QStringLiteral("catflags"), int(catFlags));
    const int code = catFlags & 0x1F;
    const QByteArray category = code != 0 && catalog ? CategoryName(catalog, code) : QByteArray();
    object.insert(QStringLiteral("category"), category.isEmpty() ? QJsonValue(QJsonValue::Null)
                                                                 : QJsonValue(DecodeStored(category)));
    QJsonArray flags;
    for (int k = 1; k <= 3; ++k)
        if (catFlags & (1 << (k + 4)))
            flags.append(k);
    object.insert(QStringLiteral("flags"), flags);
}

// Builds the JSON objects and text lines of the items a command shows.
class ItemPrinter
{
public:
    ItemPrinter(Output &out, TTreeNode *catalogNode, bool json)
        : m_out(out), m_catalogNode(catalogNode), m_catalog(AsCatalog(NodeRec(catalogNode))), m_json(json) {}

    bool json() const { return m_json; }
    Output &out() { return m_out; }

    QJsonObject catalogObject() const
    {
        QJsonObject object;
        object.insert(QStringLiteral("kind"), QStringLiteral("catalog"));
        object.insert(QStringLiteral("name"), nodeName(m_catalogNode));
        object.insert(QStringLiteral("description"), textOrNull(m_catalog->Desc));
        object.insert(QStringLiteral("file"), m_catalog->FileName);
        object.insert(QStringLiteral("variant"), variantName(m_catalog->Variant));
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

    QJsonObject diskObject(TTreeNode *diskNode) const
    {
        const TDiskRec *disk = AsDisk(NodeRec(diskNode));
        const bool virtualRoot = ItemIs(disk->KindFlags, rfVirtualRoot);
        QJsonObject object = common("disk", diskNode, nodeName(diskNode));
        object.insert(QStringLiteral("size"), qint64(DiskSpace(disk, 2) / 10000));
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
        object.insert(QStringLiteral("capacity"), qint64(DiskSpace(disk, 0) / 10000));
        object.insert(QStringLiteral("free"), qint64(DiskSpace(disk, 1) / 10000));
        object.insert(QStringLiteral("files"), disk->TotalFiles);
        object.insert(QStringLiteral("archive_files"), disk->ArchiveFiles);
        object.insert(QStringLiteral("folders"), disk->TotalFolders);
        const QDateTime updated = updatedTime(disk);
        object.insert(QStringLiteral("updated"), updated.isValid() ? QJsonValue(updated.toString(Qt::ISODate))
                                                                   : QJsonValue(QJsonValue::Null));
        object.insert(QStringLiteral("virtual_root"), virtualRoot);
        object.insert(QStringLiteral("root_path"), textOrNull(disk->RootPath));
        return object;
    }

    QJsonObject folderObject(TTreeNode *folderNode) const
    {
        const TFolderRec *folder = AsFolder(NodeRec(folderNode));
        QJsonObject object = common("folder", folderNode, nodeName(folderNode));
        object.insert(QStringLiteral("size"), qint64(folder->TotalSize / 10000));
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

    QJsonObject fileObject(TTreeNode *holder, const TFileRec *file) const
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

    void disk(TTreeNode *diskNode)
    {
        if (m_json) {
            m_out.json(diskObject(diskNode));
            return;
        }
        const TDiskRec *rec = AsDisk(NodeRec(diskNode));
        const QDateTime updated = updatedTime(rec);
        const QString details = QStringLiteral("(%1; %2 files, %3 folders)")
                                    .arg(MediaTypeText(rec->MediaType, ItemIs(rec->KindFlags, rfVirtualRoot)))
                                    .arg(rec->TotalFiles)
                                    .arg(rec->TotalFolders);
        m_out.line(itemLine(QLatin1Char('D'), QString(),
                            updated.isValid() ? updated.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString(),
                            DiskSpace(rec, 2) / 10000, nodeName(diskNode) + QStringLiteral("  ") + details));
    }

    void folder(TTreeNode *folderNode)
    {
        if (m_json) {
            m_out.json(folderObject(folderNode));
            return;
        }
        const TFolderRec *rec = AsFolder(NodeRec(folderNode));
        m_out.line(itemLine(ItemIs(rec->KindFlags, rfCompressed) ? QLatin1Char('z') : QLatin1Char('d'),
                            AttrLetters(rec->Attr), dosTimeText(rec->Modified), rec->TotalSize / 10000,
                            nodeName(folderNode)));
    }

    void file(TTreeNode *holder, const TFileRec *file)
    {
        if (m_json) {
            m_out.json(fileObject(holder, file));
            return;
        }
        m_out.line(itemLine(QLatin1Char('-'), AttrLetters(file->Attr), dosTimeText(file->Modified), file->Size,
                            DecodeStored(file->name())));
    }

    // "DISK\PATH" of a folder, "DISK" of a disk: the form the commands take.
    static QString displayPath(TTreeNode *node)
    {
        TTreeNode *diskNode = DiskNodeOf(node);
        const QString path = DecodeStored(NodePath(node, true, false));
        return path == QLatin1String("\\") ? nodeName(diskNode) : nodeName(diskNode) + path;
    }

private:
    static QString itemLine(QChar type, const QString &attr, const QString &modified, qint64 size,
                            const QString &name)
    {
        return QStringLiteral("%1 %2 %3 %4  %5").arg(type).arg(attr, -5).arg(modified, -19).arg(size, 15).arg(name);
    }

    // kind, disk and path of an item; for a file, node is the folder or disk holding it.
    static QJsonObject common(const char *kind, TTreeNode *node, const QString &name)
    {
        QJsonObject object;
        object.insert(QStringLiteral("kind"), QLatin1String(kind));
        object.insert(QStringLiteral("disk"), nodeName(DiskNodeOf(node)));
        object.insert(QStringLiteral("path"), DecodeStored(NodePath(node, true, false)));
        object.insert(QStringLiteral("name"), name);
        return object;
    }

    Output &m_out;
    TTreeNode *m_catalogNode;
    const TCatalogRec *m_catalog;
    bool m_json;
};

// ls: the folders and files of a disk or folder, walking down with recursive.
class Lister
{
public:
    Lister(ItemPrinter &printer, bool recursive) : m_printer(printer), m_recursive(recursive) {}

    void listCatalog(TTreeNode *catalogNode)
    {
        if (m_printer.json())
            m_printer.out().json(m_printer.catalogObject());
        for (TTreeNode *diskNode : catalogNode->children())
            m_printer.disk(diskNode);
        if (m_recursive)
            for (TTreeNode *diskNode : catalogNode->children())
                listContents(diskNode);
    }

    // Lists node's child folders, then its files; with recursive, each child
    // folder after it, dropping the file list it read once it is printed.
    void listContents(TTreeNode *node)
    {
        if (AsFolder(NodeRec(node)))
            LoadSubfolders(node, false, false);
        const bool wasLoaded = filesLoaded(node) != 0;
        LoadFileList(node);
        if (m_recursive && !m_printer.json()) {
            if (m_sections++ > 0 || m_separateFirst)
                m_printer.out().line(QString());
            m_printer.out().line(ItemPrinter::displayPath(node) + QLatin1Char(':'));
        }
        for (TTreeNode *child : node->children())
            m_printer.folder(child);
        for (const TFileRec *file = NodeRec(node)->Next; file; file = file->Next)
            m_printer.file(node, file);
        if (!m_recursive)
            return;
        if (!wasLoaded && ItemIs(NodeRec(node)->KindFlags, rfListBlock))
            UnloadFileList(node);
        for (TTreeNode *child : node->children())
            listContents(child);
    }

    // The text form puts a blank line between the disk lines and the first section.
    void separateFirstSection() { m_separateFirst = true; }

private:
    ItemPrinter &m_printer;
    bool m_recursive;
    bool m_separateFirst = false;
    int m_sections = 0;
};

// Prints a description in the text form, continuation lines indented.
QString indentedText(const char *text, int indent)
{
    QString decoded = DecodeStored(TextView(text));
    decoded.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    decoded.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    decoded.replace(QLatin1Char('\n'), QLatin1Char('\n') + QString(indent, QLatin1Char(' ')));
    return decoded;
}

int commandInfo(const CliArgs &args, Output &out)
{
    requireArgs(args, 1, 1, true, false);
    OpenCatalog catalog(args.positional[0]);
    ItemPrinter printer(out, catalog.node(), args.json);
    if (args.json) {
        out.json(printer.catalogObject());
        for (TTreeNode *diskNode : catalog.node()->children())
            out.json(printer.diskObject(diskNode));
        return CliOk;
    }

    const TCatalogRec *rec = catalog.record();
    const auto field = [](const char *label) { return QStringLiteral("%1").arg(QLatin1String(label), -16); };
    out.line(field("Catalog:") + nodeName(catalog.node()));
    out.line(field("Description:") + (rec->Desc ? indentedText(rec->Desc, 16) : QStringLiteral("(none)")));
    out.line(field("File:") + rec->FileName);
    out.line(field("Layout:") + QStringLiteral("%1 (%2)").arg(variantSignature(rec->Variant), variantName(rec->Variant)));
    if (rec->Categories.empty()) {
        out.line(field("Categories:") + QStringLiteral("(none)"));
    } else {
        out.line(field("Categories:") + QString::number(rec->Categories.size()));
        for (const TCategory &category : rec->Categories)
            out.line(QStringLiteral("  %1  %2").arg(int(category.Code), 2).arg(DecodeStored(category.Name)));
    }
    QStringList flagNames;
    for (int k = 0; k < 3; ++k)
        flagNames << QStringLiteral("%1: %2").arg(k + 1).arg(rec->FlagNames[k] ? DecodeStored(TextView(rec->FlagNames[k]))
                                                                                 : QStringLiteral("(unnamed)"));
    out.line(field("Flag names:") + flagNames.join(QStringLiteral(", ")));
    out.line(field("Disks:") + QString::number(catalog.node()->childCount()));

    const auto diskField = [](const char *label) { return QStringLiteral("    %1").arg(QLatin1String(label), -24); };
    for (TTreeNode *diskNode : catalog.node()->children()) {
        const TDiskRec *disk = AsDisk(NodeRec(diskNode));
        const bool virtualRoot = ItemIs(disk->KindFlags, rfVirtualRoot);
        out.line(QString());
        out.line(QStringLiteral("  Disk: %1").arg(nodeName(diskNode)));
        out.line(diskField("Media type:") + MediaTypeText(disk->MediaType, virtualRoot));
        if (virtualRoot)
            out.line(diskField("Virtual root folder:") + DecodeStored(TextView(disk->RootPath)));
        out.line(diskField("Volume label:") + DecodeStored(disk->VolumeLabel));
        out.line(diskField("Serial No.:") + SerialText(disk->Serial));
        out.line(diskField("File system:") + DecodeStored(disk->FileSystem));
        out.line(diskField("Files:") + QString::number(disk->TotalFiles));
        out.line(diskField("Files in archives:") + QString::number(disk->ArchiveFiles));
        out.line(diskField("Folders:") + QString::number(disk->TotalFolders));
        out.line(diskField("Total capacity:") + QStringLiteral("%1 bytes").arg(DiskSpace(disk, 0) / 10000));
        out.line(diskField("Free space:") + QStringLiteral("%1 bytes").arg(DiskSpace(disk, 1) / 10000));
        out.line(diskField("Used space:") + QStringLiteral("%1 bytes").arg(DiskSpace(disk, 2) / 10000));
        const QDateTime updated = updatedTime(disk);
        out.line(diskField("Updated in catalog:")
                 + (updated.isValid() ? updated.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QStringLiteral("(unknown)")));
        if (disk->Desc)
            out.line(diskField("Description:") + indentedText(disk->Desc, 28));
    }
    return CliOk;
}

int commandLs(const CliArgs &args, Output &out)
{
    requireArgs(args, 1, 2, true, true);
    OpenCatalog catalog(args.positional[0]);
    ItemPrinter printer(out, catalog.node(), args.json);
    Lister lister(printer, args.recursive);
    if (args.positional.size() == 1) {
        lister.separateFirstSection();
        lister.listCatalog(catalog.node());
        return CliOk;
    }
    const Target target = resolveTarget(catalog.node(), args.positional[1], true);
    if (target.file)
        printer.file(target.node, target.file);
    else
        lister.listContents(target.node);
    return CliOk;
}

int commandSaveAs(const CliArgs &args)
{
    requireArgs(args, 2, 2, false, false);
    OpenCatalog catalog(args.positional[0]);
    saveCatalog(catalog.node(), args.positional[1], true);
    return CliOk;
}

int commandRenameDisk(const CliArgs &args, Output &out)
{
    requireArgs(args, 3, 3, false, false);
    if (args.positional[2].isEmpty())
        throw UsageError{QStringLiteral("rename-disk: the new name is empty")};
    OpenCatalog catalog(args.positional[0]);
    TTreeNode *diskNode = nullptr;
    const QByteArray oldName = EncodeStored(args.positional[1]);
    for (TTreeNode *child : catalog.node()->children())
        if (child->text() == oldName || nodeName(child) == args.positional[1]) {
            diskNode = child;
            break;
        }
    if (!diskNode)
        throw CommandError{QStringLiteral("Disk not found: %1").arg(args.positional[1])};
    const QByteArray taken = RenameDisk(diskNode, EncodeStored(args.positional[2]));
    catalog.save();
    out.line(DecodeStored(taken));
    return CliOk;
}

int commandDescribe(const CliArgs &args)
{
    requireArgs(args, 3, 3, false, false);
    OpenCatalog catalog(args.positional[0]);
    const Target target = resolveTarget(catalog.node(), args.positional[1], true);
    const QByteArray text = EncodeStored(args.positional[2]);
    TItemRec *rec = NodeRec(target.node);
    if (target.file) {
        StoreDescription(target.file->Desc, text);
        UpdateHasDesc(rec);
    } else if (TFolderRec *folder = AsFolder(rec)) {
        StoreDescription(folder->Desc, text);
    } else if (TDiskRec *disk = AsDisk(rec)) {
        StoreDescription(disk->Desc, text);
    }
    SetDiskDirty(target.node, true);
    catalog.save();
    return CliOk;
}

// settings: the effective general settings, one line each; settings set
// NAME VALUE: changes one through the settings holder and saves them all.
// Listing changes nothing on disk: settings of another layout revision, which
// the program would delete at its next start, are shown as the initial ones.
int commandSettings(const CliArgs &args, Output &out)
{
    if (!args.positional.isEmpty() && args.positional[0] == QLatin1String("set")) {
        requireArgs(args, 3, 3, false, false);
        const QString &name = args.positional[1];
        if (!TOptions::IsSetting(name))
            throw CommandError{QStringLiteral("Unknown setting: %1 (quillon-cli settings lists them)").arg(name)};
        // The revision check runs only once the value is taken, so that a
        // refused value leaves the file as it was.
        Registry registry;
        Registry nothingStored{QString()};
        const bool current = RevisionCurrent(registry);
        TOptions options;
        options.load(current ? registry : nothingStored);
        QString note;
        const QString error = options.settingSet(name, args.positional[2], &note);
        if (!error.isEmpty())
            throw CommandError{error};
        if (!note.isEmpty())
            DefaultPrompter().ask(name, note, MsgIcon::Information, MsgButtons::Ok);
        if (!current)
            RevisionCheck(registry);
        options.apply(DefaultPrompter());
        if (!options.save(registry, DefaultPrompter()))
            return CliFailed;
        out.line(QStringLiteral("%1 %2").arg(name, options.settingText(name)));
        return CliOk;
    }
    requireArgs(args, 0, 0, true, false);
    Registry registry;
    Registry nothingStored{QString()};
    TOptions options;
    options.load(RevisionCurrent(registry) ? registry : nothingStored);
    for (const QString &name : TOptions::SettingNames()) {
        const QString source = options.settingStored(name) ? QStringLiteral("stored") : QStringLiteral("initial");
        if (args.json) {
            out.json(QJsonObject{{QStringLiteral("name"), name},
                                 {QStringLiteral("value"), QJsonValue::fromVariant(options.settingValue(name))},
                                 {QStringLiteral("source"), source}});
        } else {
            out.line(QStringLiteral("%1 %2 %3").arg(name, -22).arg(source, -8).arg(options.settingText(name)));
        }
    }
    return CliOk;
}

// arc list [--json] ARCHIVE: the archive line, then one line per member as the lister reports them.
int commandArcExtract(const CliArgs &args);

int commandArc(const CliArgs &args, Output &out)
{
    if (!args.positional.isEmpty() && args.positional[0] == QLatin1String("extract"))
        return commandArcExtract(args);
    if (args.dirs || !args.passwords.isEmpty())
        throw UsageError{QStringLiteral("arc list does not take --dirs or --password")};
    requireArgs(args, 2, 2, true, false);
    if (args.positional[0] != QLatin1String("list"))
        throw UsageError{QStringLiteral("arc: unknown action: %1").arg(args.positional[0])};
    const QString path = args.positional[1];
    if (!QFileInfo(path).isFile())
        throw CommandError{QStringLiteral("%1: %2").arg(path, QLatin1String(ArcErrorText(ArcErrOpenFile)))};
    TArcLister lister;
    lister.setArchiveFile(path);
    std::vector<QJsonObject> members;
    auto textOrNullBytes = [](const QByteArray &bytes) {
        return bytes.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(QString::fromUtf8(bytes));
    };
    lister.OnRead = [&](TArcLister *s, int64_t, int) {
        members.push_back(QJsonObject{
            {QStringLiteral("kind"), QStringLiteral("member")},
            {QStringLiteral("name"), QString::fromUtf8(s->MemberName)},
            {QStringLiteral("size"), double(s->UnpackedSize)},
            {QStringLiteral("packed"), double(s->PackedSize)},
            {QStringLiteral("crc"), QStringLiteral("%1").arg(s->MemberCRC, 8, 16, QLatin1Char('0'))},
            {QStringLiteral("datetime"), DosDateTimeToIso(s->MemberDosDate)},
            {QStringLiteral("method"), s->MethodCode},
            {QStringLiteral("attr"), double(s->MemberAttr)},
            {QStringLiteral("comment"), textOrNullBytes(s->MemberComment)},
        });
    };
    QByteArray archiveComment;
    lister.OnTotals = [&](TArcLister *s, int) { archiveComment = s->ArchiveComment; };
    const bool ok = lister.activate();
    const QJsonObject archive{
        {QStringLiteral("kind"), QStringLiteral("archive")},
        {QStringLiteral("type"), QLatin1String(ArcTypeName(lister.arcType()))},
        {QStringLiteral("offset"), double(lister.startOffset() - 1)},
        {QStringLiteral("comment"), textOrNullBytes(archiveComment)},
    };
    if (args.json) {
        out.json(archive);
        for (const QJsonObject &m : members)
            out.json(m);
    } else {
        out.line(QStringLiteral("%1 archive at offset %2").arg(QLatin1String(ArcTypeName(lister.arcType())))
                     .arg(lister.startOffset() - 1));
        for (const QJsonObject &m : members)
            out.line(QStringLiteral("%1 %2 %3 %4 %5")
                         .arg(qint64(m.value(QStringLiteral("size")).toDouble()), 12)
                         .arg(qint64(m.value(QStringLiteral("packed")).toDouble()), 12)
                         .arg(m.value(QStringLiteral("crc")).toString(), m.value(QStringLiteral("datetime")).toString(),
                              m.value(QStringLiteral("name")).toString()));
    }
    if (!ok)
        throw CommandError{QStringLiteral("%1: %2").arg(path, QLatin1String(ArcErrorText(lister.lastError())))};
    return CliOk;
}

// arc extract [--dirs] [--password PW] ARCHIVE DEST [MASK...]: runs the extraction driver once per
// mask ("*.*" without one); the driver's message goes to stderr and the status says whether all worked.
int commandArcExtract(const CliArgs &args)
{
    requireArgs(args, 3, INT_MAX, false, false);
    const QString path = args.positional[1];
    const QString dest = args.positional[2];
    if (!QFileInfo(path).isFile())
        throw CommandError{QStringLiteral("%1: %2").arg(path, QLatin1String(ArcErrorText(ArcErrOpenFile)))};
    QStringList masks = args.positional.mid(3);
    if (masks.isEmpty())
        masks << QStringLiteral("*.*");
    TExtractOptions options;
    options.prompter = &DefaultPrompter();
    options.passwords = args.passwords;
    ExtractionState().quiet = false;
    // The extractor follows the file's bytes where they say ZIP (self-extractors included), else its extension.
    TArcLister probe;
    probe.setArchiveFile(path);
    const int index = IsZipFamily(probe.arcType()) ? 9 : ArchiveExtensionIndex(path);
    bool ok = true;
    for (const QString &mask : std::as_const(masks)) {
        if (!ExtractFromArchive(index, path, dest, false, args.dirs, false, nullptr, mask, options))
            ok = false;
    }
    return ok ? CliOk : CliFailed;
}

// The progress of a scan on a terminal: one line, redrawn at most ten times a second.
class CliScanProgress : public ScanProgress
{
public:
    explicit CliScanProgress(FILE *err) : m_err(err) { m_clock.start(); }
    ~CliScanProgress() override
    {
        if (m_drawn) {
            std::fputs("\r\033[K", m_err);
            std::fflush(m_err);
        }
    }
    void setTopLabel(const QString &text) override
    {
        m_top = text;
        draw(true);
    }
    void setDirLabel(const QString &text) override
    {
        m_dir = text;
        draw(false);
    }
    void setDescFoundLabel(const QString &text) override
    {
        m_dir = text;
        draw(false);
    }
    void setPosition(int percent) override
    {
        m_position = percent;
        draw(false);
    }

private:
    void draw(bool now)
    {
        // 100 ms: often enough to look alive, rarely enough to cost nothing.
        if (!now && m_drawn && m_clock.elapsed() - m_lastDraw < 100)
            return;
        m_lastDraw = m_clock.elapsed();
        QString dir = m_dir;
        constexpr int kWidth = 50;   // keeps the line within a narrow terminal
        if (dir.size() > kWidth)
            dir = QStringLiteral("...") + dir.right(kWidth - 3);
        const QByteArray line = QStringLiteral("\r\033[K%1 %2% %3").arg(m_top).arg(m_position, 3).arg(dir).toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), m_err);
        std::fflush(m_err);
        m_drawn = true;
    }

    FILE *m_err;
    QElapsedTimer m_clock;
    qint64 m_lastDraw = 0;
    bool m_drawn = false;
    QString m_top, m_dir;
    int m_position = 0;
};

// A catalog read from its file or, when there is none, a new one named after
// the file; everything it built is freed on destruction.
class ScanTarget
{
public:
    explicit ScanTarget(const QString &fileName) : m_fileName(QFileInfo(fileName).absoluteFilePath())
    {
        if (QFileInfo::exists(m_fileName)) {
            m_node = ReadCatalog(m_forest, m_fileName);
            TNewCatalogFile::RemoveStale(m_fileName);
        } else
            m_node = NewCatalogNode(m_forest, EncodeStored(QFileInfo(m_fileName).completeBaseName()));
    }
    ~ScanTarget() { m_forest.deleteAll([](TTreeNode *node) { FreeItemData(node, true, true); }); }
    ScanTarget(const ScanTarget &) = delete;
    ScanTarget &operator=(const ScanTarget &) = delete;

    TTreeNode *node() const { return m_node; }
    void save() const { saveCatalog(m_node, m_fileName, false); }

private:
    QString m_fileName;
    TForest m_forest;
    TTreeNode *m_node = nullptr;
};

// Applies --import LIST: a comma list of diz, bbs, ion and comment, or none.
void ApplyImportList(TScanOptions &options, const QString &list)
{
    options.ImportDizCheck = options.ImportBBSCheck = options.Import4DOSCheck = options.ImportCommentCheck = false;
    if (list.trimmed() == QLatin1String("none"))
        return;
    const QStringList items = list.split(QLatin1Char(','));
    for (const QString &raw : items) {
        const QString item = raw.trimmed().toLower();
        if (item == QLatin1String("diz"))
            options.ImportDizCheck = true;
        else if (item == QLatin1String("bbs"))
            options.ImportBBSCheck = true;
        else if (item == QLatin1String("ion"))
            options.Import4DOSCheck = true;
        else if (item == QLatin1String("comment"))
            options.ImportCommentCheck = true;
        else
            throw UsageError{QStringLiteral("--import takes a comma list of diz, bbs, ion and comment, or none: %1")
                                 .arg(list)};
    }
}

// scan [options] CATALOG PATH: PATH is a drive letter ("D:"), a mount point
// (the whole drive) or any other folder (a virtual root of the drive that
// holds it). The defaults are the program's settings, but ejecting only on
// --eject.
int commandScan(const CliArgs &args, Output &out, FILE *err)
{
    requireArgs(args, 2, 2, true, false);
    if (args.keep && *args.keep != QLatin1String("disk") && *args.keep != QLatin1String("catalog") &&
        *args.keep != QLatin1String("none"))
        throw UsageError{QStringLiteral("--keep-descriptions takes disk, catalog or none")};
    if (args.keep && *args.keep == QLatin1String("disk") && !args.update)
        throw UsageError{QStringLiteral("--keep-descriptions disk needs --update")};
    if (args.quickScan && !args.update)
        throw UsageError{QStringLiteral("--quick-scan needs --update")};
    if (args.name && args.name->isEmpty())
        throw UsageError{QStringLiteral("--name needs a name")};

    const QString &path = args.positional[1];
    TDrives drives;
    QChar letter;
    QByteArray rootPath;
    const std::optional<QChar> named = path.contains(QLatin1Char(':')) ? TDrives::parseLetter(path) : std::nullopt;
    if (named) {
        if (!drives.drive(*named))
            throw CommandError{QStringLiteral("No drive %1:").arg(*named)};
        letter = *named;
    } else {
        const QFileInfo info(path);
        if (!info.isDir())
            throw CommandError{QStringLiteral("Not a folder: %1").arg(path)};
        const std::optional<QChar> holder = drives.driveOfPath(info.absoluteFilePath(), &rootPath);
        if (!holder)
            throw CommandError{QStringLiteral("No drive holds %1").arg(path)};
        letter = *holder;
    }

    Registry registry;
    Registry nothingStored{QString()};
    TOptions settings;
    settings.load(RevisionCurrent(registry) ? registry : nothingStored);

    ScanTarget catalog(args.positional[0]);
    TTreeNode *oldDisk = nullptr;
    if (args.update) {
        oldDisk = FindDisk(catalog.node(), EncodeStored(*args.update));
        for (TTreeNode *child : catalog.node()->children())
            if (!oldDisk && nodeName(child) == *args.update)
                oldDisk = child;
        if (!oldDisk)
            throw CommandError{QStringLiteral("Disk not found: %1").arg(*args.update)};
    }

    TScanOptions options;
    ApplyScanDefaults(options, settings, oldDisk != nullptr);
    options.DatabaseList = catalog.node();
    options.OldDiskNode = oldDisk;
    options.EjectMediaCheck = args.eject;
    if (args.name)
        options.DiskName = EncodeStored(*args.name);
    else if (oldDisk && settings.UpdateNameCheck)
        options.DiskName = oldDisk->text();
    else
        options.DiskName = drives.volumeInfo(letter).label;
    if (args.archives)
        options.BrowseArchiveCheck = *args.archives;
    if (args.import)
        ApplyImportList(options, *args.import);
    if (args.archiveDescOnly) {
        if (!options.BrowseArchiveCheck)
            throw UsageError{QStringLiteral("--archive-desc-only does not go with --no-archives")};
        if (!options.ImportDizCheck && !options.ImportBBSCheck && !options.Import4DOSCheck &&
            !options.ImportCommentCheck)
            throw UsageError{QStringLiteral("--archive-desc-only needs a description source (--import)")};
        options.ArchiveDescOnly = true;
    }
    if (args.quickScan) {
        if (!options.BrowseArchiveCheck)
            throw UsageError{QStringLiteral("--quick-scan does not go with --no-archives")};
        options.ArchiveQuickScan = true;
    }
    if (args.keep) {
        options.KeepCurrentCheck = *args.keep != QLatin1String("none");
        options.ImportDescCombo = *args.keep == QLatin1String("disk") ? ksUpdatedDisk : ksWholeCatalog;
    }
    if (args.hidden)
        options.IgnoreFilesCheck = options.IgnoreFoldersCheck = false;
    if (args.recycle)
        options.IgnoreRecycleCheck = false;
    ApplyScanEnablingRules(options);
    if (options.ExtractDir.isEmpty() || !QFileInfo(options.ExtractDir).isDir())
        options.ExtractDir = QDir::tempPath() + QLatin1Char('/');

    std::optional<CliScanProgress> progress;
    if (::isatty(::fileno(err)))
        progress.emplace(err);
    TScanHooks hooks;
    hooks.progress = progress ? &*progress : nullptr;
    hooks.prompter = &DefaultPrompter();
    const TScanOutcome outcome = ScanDisk(drives, letter, rootPath, options, hooks);
    progress.reset();
    if (outcome.Cancelled)
        throw CommandError{QStringLiteral("The disk scan was cancelled.")};
    if (!outcome.Success) {
        QString message = MsgScanErrorText();
        if (!outcome.Detail.isEmpty())
            message += QStringLiteral("\n") + outcome.Detail;
        throw CommandError{message};
    }
    if (!outcome.Note.isEmpty())
        Output(err).line(outcome.Note);
    catalog.save();
    ItemPrinter printer(out, catalog.node(), args.json);
    printer.disk(outcome.DiskNode);
    return CliOk;
}

int dispatch(const CliArgs &args, Output &out, FILE *err)
{
    if (!args.scanOption.isEmpty() && args.command != QLatin1String("scan"))
        throw UsageError{QStringLiteral("%1 does not take %2").arg(args.command, args.scanOption)};
    if (args.command == QLatin1String("scan"))
        return commandScan(args, out, err);
    if (args.command == QLatin1String("drives")) {
        requireArgs(args, 0, 0, true, false);
        return RunDrivesCommand(args.json, out.file(), err);
    }
    if (args.command == QLatin1String("info"))
        return commandInfo(args, out);
    if (args.command == QLatin1String("ls"))
        return commandLs(args, out);
    if (args.command == QLatin1String("save-as"))
        return commandSaveAs(args);
    if (args.command == QLatin1String("rename-disk"))
        return commandRenameDisk(args, out);
    if (args.command == QLatin1String("describe"))
        return commandDescribe(args);
    if (args.command == QLatin1String("settings"))
        return commandSettings(args, out);
    if (args.command == QLatin1String("arc"))
        return commandArc(args, out);
    throw UsageError{QStringLiteral("Unknown command: %1").arg(args.command)};
}

} // namespace

MsgAnswer CliPrompter::ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons)
{
    ++m_shown;
    const char *kind = icon == MsgIcon::Error ? "error" : icon == MsgIcon::Warning ? "warning" : "note";
    const QByteArray line = QStringLiteral("quillon-cli: %1: %2: %3\n")
                                .arg(QLatin1String(kind), caption, PlainLineBreaks(text))
                                .toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), m_err);
    std::fflush(m_err);
    switch (buttons) {
    case MsgButtons::Ok:
        return MsgAnswer::Ok;
    case MsgButtons::YesNo:
        return MsgAnswer::No;
    case MsgButtons::OkCancel:
    case MsgButtons::YesNoCancel:
    case MsgButtons::RetryCancel:
        break;
    }
    return MsgAnswer::Cancel;
}

QString CliUsageText()
{
    return QStringLiteral(
        "Usage: quillon-cli COMMAND [OPTIONS] ARGUMENTS\n"
        "\n"
        "Commands:\n"
        "  info [--json] CATALOG\n"
        "      The catalog's name, description, file, layout, categories, flag names\n"
        "      and a summary of every disk.\n"
        "  ls [--recursive] [--json] CATALOG [DISK[\\PATH]]\n"
        "      The catalog's disks, or the folders and files of a disk's root or of a\n"
        "      folder; --recursive walks down through every folder below.\n"
        "  save-as CATALOG NEWFILE\n"
        "      Writes the catalog to NEWFILE.\n"
        "  rename-disk CATALOG OLD NEW\n"
        "      Renames disk OLD (a name other disks have gets \" (2)\", \" (3)\", ...),\n"
        "      saves the catalog and prints the name taken.\n"
        "  describe CATALOG DISK[\\PATH[\\NAME]] TEXT\n"
        "      Stores TEXT as the description of a disk, folder or file and saves the\n"
        "      catalog; an empty TEXT removes the description. Put -- before a TEXT\n"
        "      that starts with \"-\".\n"
        "  settings [--json]\n"
        "      The program's settings, one per line: the name of the control that\n"
        "      edits it, where its value comes from (stored or initial), the value.\n"
        "  settings set NAME VALUE\n"
        "      Changes one setting and saves the settings. Check boxes take true or\n"
        "      false, numbers must lie in the setting's range, lists are comma text\n"
        "      (items with blanks or commas in double quotes). Put -- before a VALUE\n"
        "      that starts with \"-\".\n"
        "  arc list [--json] ARCHIVE\n"
        "      The archive's type, start offset and comment, then its members: name,\n"
        "      size, packed size, CRC, date-time, method, attributes, comment.\n"
        "  arc extract [--dirs] [--password PW] ARCHIVE DEST [MASK...]\n"
        "      Extracts the members matching the masks (all without one) into DEST;\n"
        "      --dirs keeps the stored folders, --password is tried on encrypted\n"
        "      members. Existing files are kept.\n"
        "  scan [OPTIONS] [--json] CATALOG PATH\n"
        "      Catalogues a drive (PATH a drive letter such as D: or a mount point)\n"
        "      or a folder of one (a virtual root) as a disk of CATALOG, which is\n"
        "      created when missing, saves the catalog and prints the new disk.\n"
        "      Defaults come from the settings.\n"
        "        --name NAME              the disk's name (default: the volume label)\n"
        "        --update DISK            replace disk DISK by the new image\n"
        "        --archives, --no-archives  list the members of compressed files\n"
        "        --archive-desc-only      only look for descriptions inside them\n"
        "        --quick-scan             keep unchanged compressed files of DISK\n"
        "        --import LIST            description sources: a comma list of diz,\n"
        "                                 bbs, ion and comment, or none\n"
        "        --keep-descriptions disk|catalog|none\n"
        "                                 carry descriptions and categories over from\n"
        "                                 DISK or from every disk of the catalog\n"
        "        --hidden                 include hidden files and folders\n"
        "        --recycle                include recycle bin folders\n"
        "        --eject                  eject the medium when done\n"
        "  drives [--json]\n"
        "      The drive letters of this machine: media type, readiness, label,\n"
        "      serial, file system, capacity, free space, mount point and device.\n"
        "\n"
        "Options:\n"
        "  -r, --recursive   ls: list every folder below as well\n"
        "      --json        one JSON object per line and item\n"
        "  -h, --help        this text\n"
        "\n"
        "Paths inside a catalog use \"\\\" (\"/\" works too), starting with the disk's name.\n"
        "Exit status: 0 done, 1 failed (the message is on stderr), 2 wrong usage.\n");
}

int RunCli(const QStringList &args, FILE *out, FILE *err)
{
    Output output(out);
    Output errors(err);
    try {
        const CliArgs parsed = parseArgs(args);
        if (parsed.help || parsed.command == QLatin1String("help")) {
            std::fputs(CliUsageText().toUtf8().constData(), out);
            return CliOk;
        }
        if (parsed.command.isEmpty())
            throw UsageError{QStringLiteral("No command given")};
        const int status = dispatch(parsed, output, err);
        std::fflush(out);
        return status;
    } catch (const UsageError &e) {
        std::fflush(out);
        errors.line(PlainLineBreaks(e.message));
        errors.line(QString());
        std::fputs(CliUsageText().toUtf8().constData(), err);
        return CliUsage;
    } catch (const CommandError &e) {
        std::fflush(out);
        errors.line(PlainLineBreaks(e.message));
    } catch (const EStreamError &e) {
        std::fflush(out);
        errors.line(PlainLineBreaks(e.message()));
    } catch (const std::bad_alloc &) {
        std::fflush(out);
        errors.line(QStringLiteral("Out of memory"));
    } catch (const std::exception &e) {
        std::fflush(out);
        errors.line(PlainLineBreaks(QString::fromLocal8Bit(e.what())));
    }
    return CliFailed;
}
