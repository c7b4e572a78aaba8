// The current item and the enabling rules of the main window's commands (see Commands.h).
#include "browser/Commands.h"

#include "archive/ArchiveTypes.h"
#include "browser/Utils.h"
#include "catalog/Forest.h"
#include "platform/Texts.h"

TItemRec *TCurrentItem::record() const
{
    return file ? static_cast<TItemRec *>(file) : NodeRec(node);
}

TCurrentItem ItemOfRecord(TItemRec *rec)
{
    if (!rec)
        return {};
    if (ItemIs(rec->KindFlags, rkFile))
        return {rec->Node, static_cast<TFileRec *>(rec), false};
    return {rec->Node, nullptr, false};
}

TCurrentItem CurrentItem(TCommandSender sender, const TFocusState &focus)
{
    const bool treeSide = sender == TCommandSender::TreeMenu
                          || (sender == TCommandSender::Global && (!focus.focusedRow || focus.treeHasFocus))
                          || (sender == TCommandSender::StatusBar && (!focus.focusedRow || !focus.listHasFocus));
    TCurrentItem item;
    item.treeSide = treeSide;
    if (treeSide) {
        item.node = focus.selectedNode;
        return item;
    }
    TItemRec *row = focus.focusedRow;
    if (!row)
        return item;
    if (row == focus.prevFolderRow) {
        item.node = focus.selectedNode ? focus.selectedNode->parent() : nullptr;
    } else if (ItemIs(row->KindFlags, rkFile)) {
        item.node = focus.selectedNode;
        item.file = static_cast<TFileRec *>(row);
    } else {
        item.node = row->Node;
    }
    return item;
}

bool InsideExtractableArchive(const TItemRec *rec)
{
    if (!rec || !ItemIs(rec->KindFlags, rfCompressed))
        return false;
    // A member's Node is its compressed file's folder; a compressed file's folder is its own.
    const TTreeNode *archive = rec->Node;
    if (!archive || (!ItemIs(rec->KindFlags, rkFile) && !ItemIs(rec->KindFlags, rkFolder)))
        return false;
    return ArchiveIndexCanExtract(ArchiveExtensionIndex(DecodeStored(archive->text())));
}

TRowCommand DoubleClickCommand(int choice, const TItemRec *rec)
{
    const bool file = rec && ItemIs(rec->KindFlags, rkFile);
    switch (choice) {
    case 1: return TRowCommand::Properties;
    case 2: return TRowCommand::Explorer;
    case 3: return file ? TRowCommand::Launch : TRowCommand::Explorer;
    case 4:
        return file || (rec && ItemIs(rec->KindFlags, rkFolder) && ItemIs(rec->KindFlags, rfCompressed))
                   ? TRowCommand::View
                   : TRowCommand::Properties;
    default: return TRowCommand::None;
    }
}

TRowCommand DefaultMenuCommand(int choice, const TItemRec *rec)
{
    switch (choice) {
    case 1: return TRowCommand::Properties;
    case 2: return TRowCommand::Explorer;
    case 3: return ItemCanBeLaunched(rec) ? TRowCommand::Launch : TRowCommand::Explorer;
    default: return TRowCommand::None;
    }
}

const char *RowCommandButton(TRowCommand command)
{
    switch (command) {
    case TRowCommand::Properties: return "BtnProperties";
    case TRowCommand::Explorer: return "BtnExplorer";
    case TRowCommand::Launch: return "BtnLaunch";
    case TRowCommand::View: return "BtnView";
    default: return nullptr;
    }
}

TCommandStates UpdateCommands(unsigned mask, const TCommandInputs &in, const TCommandStates &previous)
{
    TCommandStates s = previous;
    if (in.busy)
        return s;
    const TFocusState &focus = in.focus;
    const TCurrentItem item = CurrentItem(TCommandSender::Global, focus);
    const TItemRec *rec = item.record();
    const uint8_t kind = rec ? ItemKind(rec->KindFlags) : 0;
    const bool isCatalog = kind == rkCatalog;
    const bool isMember = kind == rkFile && ItemIs(rec->KindFlags, rfCompressed);
    const bool isArchiveFolder = kind == rkFolder && ItemIs(rec->KindFlags, rfCompressed);
    auto rows = [&](const std::function<bool(const TItemRec *)> &test) {
        for (const TItemRec *r : in.selectedRows)
            if (r && r != focus.prevFolderRow && test(r))
                return true;
        return false;
    };
    auto inUserList = [&](const TItemRec *r) { return in.inUserList && in.inUserList(r); };

    if (mask & cmCatalogCommands) {
        const bool any = in.catalogsOpen > 0;
        s.catalogCommands = any;
        s.hideSearchWindow = !any;
        s.scanDuplicates = any && !in.normalSearchRunning;
        const bool treeOnCatalog = focus.treeHasFocus && NodeIs(focus.selectedNode, rkCatalog);
        s.renameCaption = treeOnCatalog ? QStringLiteral("&Rename Catalog") : QStringLiteral("&Rename Disk");
    }
    if (mask & cmItemCommands) {
        s.back = focus.selectedNode && !NodeIs(focus.selectedNode, rkCatalog);
        s.exportDescriptions = rec && !isCatalog;
        s.openExplorer = rec && !isCatalog && !isMember;
        s.compare = kind == rkDisk || (kind == rkFolder && !isArchiveFolder);
        s.launch = rec && (kind == rkFile || kind == rkFolder) && ItemCanBeLaunched(rec);
        s.view = s.launch && kind == rkFile;
        if (item.treeSide) {
            s.addToUserList = rec && !isCatalog && !inUserList(rec);
            s.setCategory = kind == rkFile || kind == rkFolder;
            s.extract = InsideExtractableArchive(rec);
        } else {
            s.addToUserList = rows([&](const TItemRec *r) { return !inUserList(r); });
            s.setCategory = rows([](const TItemRec *r) {
                return ItemIs(r->KindFlags, rkFile) || ItemIs(r->KindFlags, rkFolder);
            });
            s.extract = rows([](const TItemRec *r) { return InsideExtractableArchive(r); });
        }
    }
    // The rename entry follows "Back One Level" (always enabled for the catalog caption).
    if (mask & (cmCatalogCommands | cmItemCommands)) {
        const bool treeOnCatalog = focus.treeHasFocus && NodeIs(focus.selectedNode, rkCatalog);
        s.renameEnabled = treeOnCatalog || s.back || (focus.focusedRow && !focus.treeHasFocus);
    }
    if (mask & cmSortControls) {
        s.sortEnabled = in.listRows > 0;
        s.pressedSortButton = in.sortColumn >= 0 && in.sortColumn <= 3 ? in.sortColumn : -1;
    }
    if (mask & cmViewStyles) {
        s.viewStylesEnabled = in.listRows > 0;
        s.checkedViewStyle = in.viewStyle;
    }
    return s;
}
