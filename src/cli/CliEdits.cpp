// quillon-cli save-as, rename-disk and describe: the few edits a script needs.
// Each goes through the catalog operation the windows use and saves with the
// program's own save, so a catalog edited here is the one the program writes.
#include "cli/CliCommands.h"

#include "cli/CliCatalog.h"

#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "platform/Texts.h"

namespace cli {

namespace {

// save-as CATALOG NEWFILE
int runSaveAs(const Call &call)
{
    const QStringList positional = call.positional();
    OpenCatalog catalog(positional[0]);
    SaveCatalogFile(catalog.node(), positional[1], true);
    return CliOk;
}

// rename-disk CATALOG OLD NEW
int runRenameDisk(const Call &call)
{
    const QStringList positional = call.positional();
    if (positional[2].isEmpty())
        throw UsageError{QStringLiteral("rename-disk: the new name is empty")};
    OpenCatalog catalog(positional[0]);
    TTreeNode *diskNode = nullptr;
    const QByteArray oldName = EncodeStored(positional[1]);
    for (TTreeNode *child : catalog.node()->children())
        if (child->text() == oldName || NodeName(child) == positional[1]) {
            diskNode = child;
            break;
        }
    if (!diskNode)
        throw CommandError{QStringLiteral("Disk not found: %1").arg(positional[1])};
    const QByteArray taken = RenameDisk(diskNode, EncodeStored(positional[2]));
    catalog.save();
    call.out().line(DecodeStored(taken));
    return CliOk;
}

// describe CATALOG DISK[\PATH[\NAME]] TEXT
int runDescribe(const Call &call)
{
    const QStringList positional = call.positional();
    OpenCatalog catalog(positional[0]);
    const Target target = ResolveTarget(catalog.node(), positional[1], true);
    const QByteArray text = EncodeStored(positional[2]);
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

} // namespace

const Command &SaveAsCommand()
{
    static const Command command{
        {QStringLiteral("save-as")},
        QStringLiteral("Writes the catalog to NEWFILE."),
        {},
        {CatalogArgument(), {QStringLiteral("NEWFILE"), QStringLiteral("The file to write."), {}, {}}},
        runSaveAs,
    };
    return command;
}

const Command &RenameDiskCommand()
{
    static const Command command{
        {QStringLiteral("rename-disk")},
        QStringLiteral("Renames disk OLD (a name other disks have gets \" (2)\", \" (3)\", ...), saves the "
                       "catalog and prints the name taken."),
        {},
        {CatalogArgument(),
         {QStringLiteral("OLD"), QStringLiteral("The disk's name now."), {}, {}},
         {QStringLiteral("NEW"), QStringLiteral("The name it gets; not empty."), {}, {}}},
        runRenameDisk,
    };
    return command;
}

const Command &DescribeCommand()
{
    static const Command command{
        {QStringLiteral("describe")},
        QStringLiteral("Stores TEXT as the description of a disk, folder or file and saves the catalog; an "
                       "empty TEXT removes the description. Put -- before a TEXT that starts with \"-\"."),
        {},
        {CatalogArgument(),
         {QStringLiteral("ITEM"), QStringLiteral("The disk, folder or file (\"\\\" or \"/\" between the parts)."),
          {}, QStringLiteral("DISK[\\PATH[\\NAME]]")},
         {QStringLiteral("TEXT"), QStringLiteral("The description."), {}, {}}},
        runDescribe,
    };
    return command;
}

} // namespace cli
