// quillon-cli info and ls: looking into a catalog. The catalog is opened with
// ReadCatalog, which reads the headers and the first folder level of each
// disk; ls then reads one more folder level and one file list per folder it
// shows, and the recursive walk drops each file list again once it is
// printed, so that a listing of a large catalog holds one file list at a time.
#include "cli/CliCommands.h"

#include "cli/CliCatalog.h"

#include "catalog/CatalogRec.h"
#include "catalog/ItemFormat.h"
#include "catalog/LoadSave.h"
#include "platform/Texts.h"

#include <QStringList>

namespace cli {

namespace {

uint8_t filesLoaded(TTreeNode *node)
{
    TItemRec *rec = NodeRec(node);
    if (TFolderRec *folder = AsFolder(rec))
        return folder->FilesLoaded;
    if (TDiskRec *disk = AsDisk(rec))
        return disk->FilesLoaded;
    return 1;
}

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

// info [--json] CATALOG
int runInfo(const Call &call)
{
    Output &out = call.out();
    const bool json = call.isSet(QStringLiteral("json"));
    OpenCatalog catalog(call.positional()[0]);
    ItemPrinter printer(out, catalog.node(), json);
    if (json) {
        out.json(printer.catalogObject());
        for (TTreeNode *diskNode : catalog.node()->children())
            out.json(printer.diskObject(diskNode));
        return CliOk;
    }

    const TCatalogRec *rec = catalog.record();
    const auto field = [](const char *label) { return QStringLiteral("%1").arg(QLatin1String(label), -16); };
    out.line(field("Catalog:") + NodeName(catalog.node()));
    out.line(field("Description:") + (rec->Desc ? indentedText(rec->Desc, 16) : QStringLiteral("(none)")));
    out.line(field("File:") + rec->FileName);
    out.line(field("Layout:") + QStringLiteral("%1 (%2)").arg(VariantSignature(rec->Variant), VariantName(rec->Variant)));
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
        out.line(QStringLiteral("  Disk: %1").arg(NodeName(diskNode)));
        out.line(diskField("Media type:") + MediaTypeText(disk->MediaType, virtualRoot));
        if (virtualRoot)
            out.line(diskField("Virtual root folder:") + DecodeStored(TextView(disk->RootPath)));
        out.line(diskField("Volume label:") + DecodeStored(disk->VolumeLabel));
        out.line(diskField("Serial No.:") + SerialText(disk->Serial));
        out.line(diskField("File system:") + DecodeStored(disk->FileSystem));
        out.line(diskField("Files:") + QString::number(disk->TotalFiles));
        out.line(diskField("Files in archives:") + QString::number(disk->ArchiveFiles));
        out.line(diskField("Folders:") + QString::number(disk->TotalFolders));
        out.line(diskField("Total capacity:") + QStringLiteral("%1 bytes").arg(WholeBytes(DiskSpace(disk, 0))));
        out.line(diskField("Free space:") + QStringLiteral("%1 bytes").arg(WholeBytes(DiskSpace(disk, 1))));
        out.line(diskField("Used space:") + QStringLiteral("%1 bytes").arg(WholeBytes(DiskSpace(disk, 2))));
        const QDateTime updated = UpdatedTime(disk);
        out.line(diskField("Updated in catalog:")
                 + (updated.isValid() ? updated.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QStringLiteral("(unknown)")));
        if (disk->Desc)
            out.line(diskField("Description:") + indentedText(disk->Desc, 28));
    }
    return CliOk;
}

// ls [--recursive] [--json] CATALOG [DISK[\PATH]]
int runLs(const Call &call)
{
    const QStringList positional = call.positional();
    OpenCatalog catalog(positional[0]);
    ItemPrinter printer(call.out(), catalog.node(), call.isSet(QStringLiteral("json")));
    Lister lister(printer, call.isSet(QStringLiteral("recursive")));
    if (positional.size() == 1) {
        lister.separateFirstSection();
        lister.listCatalog(catalog.node());
        return CliOk;
    }
    const Target target = ResolveTarget(catalog.node(), positional[1], true);
    if (target.file)
        printer.file(target.node, target.file);
    else
        lister.listContents(target.node);
    return CliOk;
}

} // namespace

const Command &InfoCommand()
{
    static const Command command{
        {QStringLiteral("info")},
        QStringLiteral("The catalog's name, description, file, layout, categories, flag names and a summary "
                       "of every disk."),
        {JsonOption()},
        {CatalogArgument()},
        runInfo,
    };
    return command;
}

const Command &LsCommand()
{
    static const Command command{
        {QStringLiteral("ls")},
        QStringLiteral("The catalog's disks, or the folders and files of a disk's root or of a folder; "
                       "--recursive walks down through every folder below."),
        {{{QStringLiteral("r"), QStringLiteral("R"), QStringLiteral("recursive")},
          QStringLiteral("List every folder below as well."), {}},
         JsonOption()},
        {CatalogArgument(),
         {QStringLiteral("DISK\\PATH"),
          QStringLiteral("A disk, a folder of one, or a file (\"\\\" or \"/\" between the parts); "
                         "the catalog's disks without it."),
          Argument::Kind::Optional, QStringLiteral("[DISK[\\PATH]]")}},
        runLs,
    };
    return command;
}

} // namespace cli
