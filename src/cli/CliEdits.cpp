// quillon-cli save-as, rename-disk and describe: the few edits a script needs.
// Each goes through the catalog operation the windows use and saves with the
// program's own save, so a catalog edited here is the one the program writes.
#include "cli/CliCommands.h"

#include "cli/CliCatalog.h"

#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "platform/Texts.h"

namespace cli {

int CommandSaveAs(const CliArgs &args)
{
    RequireArgs(args, 2, 2, false, false);
    OpenCatalog catalog(args.positional[0]);
    SaveCatalogFile(catalog.node(), args.positional[1], true);
    return CliOk;
}

int CommandRenameDisk(const CliArgs &args, Output &out)
{
    RequireArgs(args, 3, 3, false, false);
    if (args.positional[2].isEmpty())
        throw UsageError{QStringLiteral("rename-disk: the new name is empty")};
    OpenCatalog catalog(args.positional[0]);
    TTreeNode *diskNode = nullptr;
    const QByteArray oldName = EncodeStored(args.positional[1]);
    for (TTreeNode *child : catalog.node()->children())
        if (child->text() == oldName || NodeName(child) == args.positional[1]) {
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

int CommandDescribe(const CliArgs &args)
{
    RequireArgs(args, 3, 3, false, false);
    OpenCatalog catalog(args.positional[0]);
    const Target target = ResolveTarget(catalog.node(), args.positional[1], true);
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

} // namespace cli
