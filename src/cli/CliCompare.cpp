// quillon-cli compare and check: a catalogued disk or folder compared with
// its medium (or with a folder standing for it), and the files of a folder
// checked against catalogs. Both print one line or JSON object per entry of
// the lists the compare window shows, with the list it is in.
#include "cli/CliCatalog.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliPrompter.h"

#include "catalog/CatalogOps.h"
#include "catalog/DiskMedium.h"
#include "catalog/LoadSave.h"
#include "compare/CheckFiles.h"
#include "compare/CompareToMedia.h"
#include "platform/Drives.h"
#include "platform/Texts.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <memory>
#include <set>
#include <vector>

namespace cli {

namespace {

// The list names of the output, by mode and index.
QString listName(TCompareMode mode, int list)
{
    static const char *const media[] = {"new", "same", "changed", "deleted"};
    static const char *const files[] = {"new", "found", "changed"};
    return QString::fromLatin1(mode == TCompareMode::Media ? media[list] : files[list]);
}

// The stored "\" form of a new file's folder below base (a NodePath), from
// its native folder below the walked root; empty when it is not below it.
QString storedFolder(const QByteArray &base, const QByteArray &root, const QByteArray &nativeFolder)
{
    QByteArray start = root;
    if (!start.endsWith('/'))
        start.append('/');
    QByteArray rel = nativeFolder.startsWith(start) ? nativeFolder.mid(start.size()) : QByteArray();
    while (rel.endsWith('/'))
        rel.chop(1);
    rel.replace('/', '\\');
    if (rel.isEmpty())
        return DecodeStored(base);
    return DecodeStored(base == "\\" ? "\\" + rel : base + '\\' + rel);
}

// Prints the catalog entries of list in the window's order.
void printCatalogList(Output &out, bool json, TCompareMode mode, int list, const std::vector<TItemRec *> &entries,
                      bool withCatalog)
{
    for (TItemRec *rec : entries) {
        const TCompareEntryView v = CompareEntryOf(rec);
        TTreeNode *catalogNode = CatalogNodeOf(v.Folder);
        ItemPrinter printer(out, catalogNode, json);
        const bool file = ItemIs(rec->KindFlags, rkFile);
        if (json) {
            QJsonObject object = file ? printer.fileObject(v.Folder, static_cast<const TFileRec *>(rec))
                                      : printer.folderObject(rec->Node);
            object.insert(QStringLiteral("list"), listName(mode, list));
            if (withCatalog)
                object.insert(QStringLiteral("catalog"), NodeName(catalogNode));
            out.json(object);
            continue;
        }
        QString where = ItemPrinter::displayPath(v.Folder) + QLatin1Char('\\') + DecodeStored(v.Name);
        if (withCatalog)
            where = NodeName(catalogNode) + QStringLiteral(": ") + where;
        out.line(QStringLiteral("%1  %2").arg(listName(mode, list), -7).arg(where));
    }
}

// Prints the new files; disk and base say where they would be catalogued (none for a check).
void printNewFiles(Output &out, bool json, const TCompareWork &work, TTreeNode *node)
{
    ItemPrinter printer(out, node ? CatalogNodeOf(node) : nullptr, json);
    const QByteArray base = node ? NodePath(node, true, false) : QByteArray();
    for (const TMediaFileEntry &e : work.NewFiles) {
        const QByteArray folder = work.folderOf(e);
        const QString mediaPath = QFile::decodeName(folder + e.Name);
        if (!json) {
            out.line(QStringLiteral("%1  %2").arg(listName(work.Mode, 0), -7).arg(mediaPath));
            continue;
        }
        const QJsonValue disk = node ? QJsonValue(NodeName(DiskNodeOf(node))) : QJsonValue(QJsonValue::Null);
        const QJsonValue path = node ? QJsonValue(storedFolder(base, work.MediaRoot, folder))
                                     : QJsonValue(QJsonValue::Null);
        QJsonObject object =
            printer.mediaFileObject(disk, path, DecodeStored(e.Name), e.Size, e.Attr, e.Time, mediaPath);
        object.insert(QStringLiteral("list"), listName(work.Mode, 0));
        out.json(object);
    }
}

// Exit status 2 for every failure of these two commands (1 means "something changed").
constexpr int kCompareError = 2;

int fail(const Call &call, const QString &message)
{
    Output(call.err()).line(PlainLineBreaks(message));
    return kCompareError;
}

// ---------------------------------------------------------------- compare

int runCompare(const Call &call)
{
    const QStringList args = call.positional();
    const bool json = call.isSet(QStringLiteral("json"));
    try {
        OpenCatalog catalog(QFileInfo(args[0]).absoluteFilePath());
        const Target target = ResolveTarget(catalog.node(), args[1], false);
        TTreeNode *node = target.node;
        const TFolderRec *folder = AsFolder(NodeRec(node));
        if (!AsDisk(NodeRec(node)) && !folder)
            return fail(call, QStringLiteral("Only a disk or a folder can be compared: %1").arg(args[1]));
        if (folder && ItemIs(folder->KindFlags, rfCompressed))
            return fail(call, QStringLiteral("A compressed file is compared as one file of its folder: %1").arg(args[1]));

        TDrives drives;
        CliPrompter prompter(call.err());
        QByteArray root;
        bool mustExist = AsDisk(NodeRec(node)) != nullptr;
        TWalkRules rules = CompareWalkRules(StoredSettings());
        if (args.size() > 2) {
            const QFileInfo info(args[2]);
            if (!info.isDir())
                return fail(call, QStringLiteral("Not a folder: %1").arg(args[2]));
            root = QFile::encodeName(info.absoluteFilePath());
            mustExist = true;
            if (const auto letter = drives.driveOfPath(info.absoluteFilePath()))
                rules.DosAttributes = MediaAttributeReader(drives, *letter);
        } else {
            const QChar letter = FindMediaForDisk(drives, node, false, false, &prompter);
            if (letter.isNull() || letter == kManualDriveChoice)
                return fail(call, QStringLiteral("The media of disk \"%1\" is in no drive; name the folder that "
                                                 "holds it.").arg(NodeName(DiskNodeOf(node))));
            root = CompareMediaRoot(drives, letter, node);
            if (root.isEmpty())
                return fail(call, QStringLiteral("Drive %1: is not ready").arg(letter));
            rules.DosAttributes = MediaAttributeReader(drives, letter);
        }

        TCompareWork work;
        CompareToMedia(work, node, root, mustExist, rules);
        if (work.Status != TCompareStatus::Done)
            return fail(call, work.Message.isEmpty() ? QStringLiteral("The comparison was cancelled.") : work.Message);
        Output &out = call.out();
        printNewFiles(out, json, work, node);
        for (int list = clSame; list <= clDeleted; ++list)
            printCatalogList(out, json, work.Mode, list, work.Lists[size_t(list)], false);
        if (!json && work.noChanges())
            Output(call.err()).line(MsgNoChangesText(CompareWord(node), NodeName(node)));
        return work.noChanges() ? CliOk : 1;
    } catch (const CommandError &e) {
        return fail(call, e.message);
    } catch (const EStreamError &e) {
        return fail(call, e.message());
    }
}

// ---------------------------------------------------------------- check

// Every catalog of the command line read into one forest, freed at the end.
class CatalogForest
{
public:
    explicit CatalogForest(const QStringList &files)
    {
        for (const QString &file : files)
            ReadCatalog(m_forest, QFileInfo(file).absoluteFilePath());
    }
    ~CatalogForest() { m_forest.deleteAll([](TTreeNode *node) { FreeItemData(node, true, true); }); }
    CatalogForest(const CatalogForest &) = delete;
    CatalogForest &operator=(const CatalogForest &) = delete;
    TForest &forest() { return m_forest; }

private:
    TForest m_forest;
};

int runCheck(const Call &call)
{
    const QStringList args = call.positional();
    if (args.size() < 2)
        throw UsageError{QStringLiteral("check needs at least one catalog and the folder to check")};
    const bool json = call.isSet(QStringLiteral("json"));
    TSameChecks checks;
    if (const auto same = call.optionalValue(QStringLiteral("same"))) {
        checks = TSameChecks{false, false, false};
        for (const QString &part : same->split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString p = part.trimmed().toLower();
            if (p == QLatin1String("size"))
                checks.Size = true;
            else if (p == QLatin1String("date"))
                checks.Date = true;
            else if (p == QLatin1String("attr"))
                checks.Attributes = true;
            else if (p != QLatin1String("name"))
                throw UsageError{QStringLiteral("--same takes size, date and attr: %1").arg(part)};
        }
    }
    const QFileInfo source(args.last());
    if (!source.isDir())
        return fail(call, MsgInvalidFolderText(args.last()));
    try {
        CatalogForest catalogs(args.mid(0, args.size() - 1));
        std::vector<TTreeNode *> scope;
        const QStringList diskNames = call.values(QStringLiteral("disk"));
        std::set<QString> unmatched(diskNames.begin(), diskNames.end());
        for (TTreeNode *catalogNode : catalogs.forest().roots()) {
            if (diskNames.isEmpty()) {
                scope.push_back(catalogNode);
                continue;
            }
            for (TTreeNode *disk : catalogNode->children())
                if (AsDisk(NodeRec(disk)) && diskNames.contains(NodeName(disk))) {
                    scope.push_back(disk);
                    unmatched.erase(NodeName(disk));
                }
        }
        if (!unmatched.empty())
            return fail(call, QStringLiteral("Disk not found: %1").arg(*unmatched.begin()));

        TDrives drives;
        TWalkRules rules;
        if (const auto letter = drives.driveOfPath(source.absoluteFilePath()))
            rules.DosAttributes = MediaAttributeReader(drives, *letter);
        TCompareWork work;
        CheckFilesToCatalog(work, scope, QFile::encodeName(source.absoluteFilePath()),
                            call.isSet(QStringLiteral("subfolders")), checks, rules);
        if (work.Status != TCompareStatus::Done)
            return fail(call, work.Message.isEmpty() ? QStringLiteral("The check was cancelled.") : work.Message);
        Output &out = call.out();
        printNewFiles(out, json, work, nullptr);
        for (int list = ckFound; list <= ckChanged; ++list)
            printCatalogList(out, json, work.Mode, list, work.Lists[size_t(list)], true);
        const bool none = work.NewFiles.empty() && work.Lists[ckFound].empty() && work.Lists[ckChanged].empty();
        if (none)
            Output(call.err()).line(MsgNoFilesText(source.absoluteFilePath()));
        return work.NewFiles.empty() && work.Lists[ckChanged].empty() ? CliOk : 1;
    } catch (const CommandError &e) {
        return fail(call, e.message);
    } catch (const EStreamError &e) {
        return fail(call, e.message());
    }
}

} // namespace

const Command &CompareCommand()
{
    static const Command command{
        {QStringLiteral("compare")},
        QStringLiteral("Compares a catalogued disk or folder with its media: the drive holding the disk's medium, "
                       "or FOLDER standing for the disk's root (or for PATH). Prints every file with the list it "
                       "is in: new (on the media only; with its media_path), same, changed (size or date) or "
                       "deleted (in the catalog only). A compressed file is compared as one file. Hidden files, "
                       "hidden folders and recycle bins are left out when the settings leave them out of scans. "
                       "Exit status 0 when nothing changed, 1 when something did, 2 on error."),
        {JsonOption()},
        {CatalogArgument(),
         {QStringLiteral("DISK"), QStringLiteral("The disk, or a folder of it as DISK\\PATH."),
          Argument::Kind::Required, QString()},
         {QStringLiteral("FOLDER"), QStringLiteral("The folder that holds the media's files (default: the drive "
                                                   "holding the disk's medium)."),
          Argument::Kind::Optional, QStringLiteral("[FOLDER]")}},
        runCompare,
    };
    return command;
}

const Command &CheckCommand()
{
    static const Command command{
        {QStringLiteral("check")},
        QStringLiteral("Checks the files of FOLDER against the catalogs by name: new (the name is in no catalog), "
                       "found (a catalogued copy is the same by the --same properties) or changed (a copy of "
                       "that name differs); found and changed entries name the catalog, disk and path of the "
                       "copy, each copy once. Exit status 0 when every file was found the same, 1 when some file "
                       "is new or changed, 2 on error."),
        {JsonOption(),
         {{QStringLiteral("subfolders")}, QStringLiteral("Check the files in subfolders, too."), QString()},
         {{QStringLiteral("same")}, QStringLiteral("What besides the name makes a copy the same: any of size, date "
                                                   "and attr, comma-separated (default size,date)."),
          QStringLiteral("LIST")},
         {{QStringLiteral("disk")}, QStringLiteral("Check against this disk only (repeatable); every disk of the "
                                                   "catalogs without it."),
          QStringLiteral("NAME")}},
        {CatalogArgument(),
         {QStringLiteral("FOLDER"), QStringLiteral("More catalogs, then the folder whose files are checked."),
          Argument::Kind::Repeated, QStringLiteral("[CATALOG...] FOLDER")}},
        runCheck,
    };
    return command;
}

} // namespace cli
