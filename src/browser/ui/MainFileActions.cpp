// The main window's item commands: the current item, the properties dialog
// and the file actions on the medium (the core's TFileActions with the
// desktop's services), and the extracted files removed at exit.
#include "browser/ui/QuillonMain.h"

#include "browser/FileActions.h"
#include "browser/ui/Desktop.h"
#include "browser/ui/ItemListModel.h"
#include "widgets/ui/PropertiesForm.h"
#include "scan/ui/MediaForm.h"
#include "settings/Options.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QTreeView>

TCurrentItem TMainForm::currentItem(TCommandSender sender) const
{
    TFocusState focus;
    focus.selectedNode = selectedNode();
    focus.focusedRow = focusedRecord();
    focus.prevFolderRow = m_items.prevFolder();
    focus.treeHasFocus = m_tree->hasFocus();
    focus.listHasFocus = listHasFocus();
    return CurrentItem(sender, focus);
}

TCommandStates TMainForm::itemCommandStates() const
{
    TCommandInputs in;
    in.focus.selectedNode = selectedNode();
    in.focus.focusedRow = focusedRecord();
    in.focus.prevFolderRow = m_items.prevFolder();
    in.focus.treeHasFocus = m_tree->hasFocus();
    if (QAbstractItemView *view = listView(); view && view->selectionModel())
        for (const QModelIndex &i : view->selectionModel()->selectedRows())
            if (TItemRec *rec = m_listModel->recordOf(i))
                in.selectedRows.push_back(rec);
    in.catalogsOpen = int(m_forest.roots().size());
    in.listRows = m_items.count();
    return UpdateCommands(cmItemCommands, in);
}

void TMainForm::showItemProperties(TCommandSender sender)
{
    showPropertiesOf(currentItem(sender));
}

void TMainForm::showRecordProperties(TItemRec *rec)
{
    showPropertiesOf(ItemOfRecord(rec));
}

void TMainForm::showPropertiesOf(const TCurrentItem &item)
{
    if (!item.valid())
        return;
    QWidget *active = QApplication::activeWindow();
    const TPropertiesApplied applied = ShowProperties(this, item.node, item.file);
    if (applied.fileChanged || applied.folderChanged || applied.diskChanged || applied.catalogChanged) {
        m_items.forget();
        refreshList(selectedNode(), true);
    }
    refresh();
    if (active)
        active->activateWindow();
}

void TMainForm::fileActionCommand(TFileAction action, TCommandSender sender)
{
    const TCurrentItem item = currentItem(sender);
    if (!item.valid())
        return;
    // The selected rows of the list when it is used, else the item.
    std::vector<TCurrentItem> items;
    if (action == TFileAction::ExtractTo && !item.treeSide) {
        if (QAbstractItemView *view = listView(); view && view->selectionModel())
            for (const QModelIndex &i : view->selectionModel()->selectedRows()) {
                TItemRec *rec = m_listModel->recordOf(i);
                if (!rec || m_items.isPrevFolder(rec))
                    continue;
                if (ItemIs(rec->KindFlags, rkFile))
                    items.push_back({selectedNode(), static_cast<TFileRec *>(rec), false});
                else
                    items.push_back({rec->Node, nullptr, false});
            }
    }
    runFileAction(action, item, items);
}

void TMainForm::recordFileAction(TFileAction action, TItemRec *focused, const std::vector<TItemRec *> &selected)
{
    std::vector<TCurrentItem> items;
    if (action == TFileAction::ExtractTo)
        for (TItemRec *rec : selected)
            if (rec)
                items.push_back(ItemOfRecord(rec));
    TCurrentItem item = ItemOfRecord(focused);
    if (!item.valid() && !items.empty())
        item = items.front();
    if (item.valid())
        runFileAction(action, item, items);
}

void TMainForm::runFileAction(TFileAction action, const TCurrentItem &item, std::vector<TCurrentItem> items)
{
    TFileActionSettings settings;
    settings.extractDir = m_options.ExtractDir.isEmpty() ? QDir::tempPath() : m_options.ExtractDir;
    settings.restoreDirs = m_options.RestoreDirCheck;
    settings.externalViewer = m_options.ExternalViewerCheck;
    settings.viewerProgram = m_options.ViewerEdit;
    TQtDesktop desktop(this, prompter(), m_options, m_registry);
    TFileActions actions(
        desktop, prompter(),
        [this](TTreeNode *node) {
            return FindMediumRoot(drives(), node, true, &prompter(),
                                  [this](const QByteArray &name, uint8_t type, bool manual) {
                                      return AskInsertMedia(this, name, type, manual);
                                  });
        },
        settings, progress());
    ExtractionState().quiet = false;
    switch (action) {
    case TFileAction::View:
        actions.view(item);
        break;
    case TFileAction::Launch:
        actions.launch(item);
        break;
    case TFileAction::Explorer:
        actions.openInExplorer(item);
        break;
    case TFileAction::ExtractTo: {
        if (items.empty())
            items.push_back(item);
        actions.extractTo(items);
        break;
    }
    }
}

void TMainForm::cleanTemporaryFiles()
{
    const TTempExitAction action = m_options.AlwaysRemoveTemp  ? TTempExitAction::Delete
                                   : m_options.AlwaysLeaveTemp ? TTempExitAction::Leave
                                                               : TTempExitAction::Ask;
    CleanTemporaryFiles(action, prompter());
}
