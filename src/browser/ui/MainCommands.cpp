// The main window's command table and what is built from it: the actions,
// the menu bar, the two context menus, the toolbar, and the enabling rules.
#include "browser/ui/MainCommands.h"

#include "browser/ui/CatalogTreeModel.h"
#include "browser/ui/ItemListModel.h"
#include "browser/ui/MainFormShared.h"
#include "browser/ui/QuillonMain.h"
#include "catalog/CatalogRec.h"
#include "compare/CompareList.h"
#include "compare/ui/CompareCommands.h"
#include "search/ui/SearchForm.h"
#include "settings/Options.h"
#include "widgets/ui/Icons.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QTreeView>

#include <iterator>
#include <map>

using namespace mainform;

std::span<const TMainCommand> TMainForm::commandTable()
{
    // Enabling rules that several rows share.
    static constexpr auto anyCatalog = [](const TMainForm &w) { return !w.m_forest.roots().empty(); };
    static constexpr auto catalogModified = [](const TMainForm &w) {
        return w.statusPanelText(0) == QStringLiteral("Modified");
    };
    static constexpr auto canGoBack = [](const TMainForm &w) {
        const TTreeNode *node = w.selectedNode();
        return node && !NodeIs(node, rkCatalog);
    };
    static constexpr auto listHasRows = [](const TMainForm &w) { return w.m_items.count() > 0; };
    // What "Compare to Media" compares: the focused list item when the list
    // has the focus, else the tree's selected node, each lifted to a disk or
    // a folder that is not a compressed file.
    static constexpr auto compareTarget = [](const TMainForm &w) -> TTreeNode * {
        TItemRec *rec = w.listHasFocus() ? w.focusedRecord() : nullptr;
        const bool prevRow = rec && w.m_items.isPrevFolder(rec);
        return CompareTargetNode(prevRow ? nullptr : rec, w.selectedNode(), prevRow);
    };
    static constexpr auto compareHost = [](TMainForm &w) {
        TCompareCommandHost host;
        host.parent = &w;
        host.forest = &w.m_forest;
        host.drives = &w.drives();
        host.prompter = &w.prompter();
        host.options = &w.m_options;
        host.doubleClick = w.m_options.FileDoubleClickCombo;
        host.registry = w.m_registry;
        host.status = [&w](const QString &text) { w.setStatus(text, text.isEmpty() ? 0 : 1); };
        host.locate = [&w](TItemRec *rec) { w.locateItem(rec); };
        host.setCategories = [&w](const std::vector<TItemRec *> &records) { w.setCategoriesFor(records); };
        host.addToUserList = [&w](const std::vector<TItemRec *> &records) { w.addToUserList(records); };
        host.properties = [&w](TItemRec *rec) { w.showRecordProperties(rec); };
        host.fileAction = [&w](TFileAction action, TItemRec *focused, const std::vector<TItemRec *> &selected) {
            w.recordFileAction(action, focused, selected);
        };
        return host;
    };
    // Both read file lists and folder levels into the tree and let events
    // run: they wait while the window is busy and count as its operations.
    static constexpr auto compareToMedia = [](TMainForm &w) {
        TTreeNode *node = compareTarget(w);
        const auto operation = w.beginForestCommand([&w] { w.command(QStringLiteral("MenuCompare"))->trigger(); },
                                                    nullptr);
        if (!node || !operation)
            return;
        RunCompareToMediaCommand(compareHost(w), node);
        w.refreshStatus();
        w.updateCommands();
    };
    static constexpr auto canView = [](const TMainForm &w) { return w.itemCommandStates().view; };
    static constexpr auto canLaunch = [](const TMainForm &w) { return w.itemCommandStates().launch; };
    static constexpr auto canExplore = [](const TMainForm &w) { return w.itemCommandStates().openExplorer; };
    static constexpr auto canExtract = [](const TMainForm &w) { return w.itemCommandStates().extract; };

    // "Add to User List" and "Set Category and Flags" act on the list's
    // selection while the list has the focus, else on the tree's node.
    static constexpr auto commandRecords = [](const TMainForm &w) {
        if (w.listHasFocus())
            return w.selectedListRecords();
        TTreeNode *node = w.selectedNode();
        return node ? std::vector<TItemRec *>{node->data()} : std::vector<TItemRec *>{};
    };
    static constexpr auto treeRecord = [](const TMainForm &w) {
        TTreeNode *node = w.selectedNode();
        return node ? std::vector<TItemRec *>{node->data()} : std::vector<TItemRec *>{};
    };
    static constexpr auto hasTarget = [](const TMainForm &w) {
        return w.selectedNode() != nullptr || !w.selectedListRecords().empty();
    };

    static constexpr TMainCommand table[] = {
        // File
        {.name = "MenuNew", .caption = "&New Catalog", .keys = {Qt::CTRL | Qt::Key_N}, .menus = cmFile,
         .button = "ButtonNew", .icon = TAppImage::New, .hintKeys = "Ctrl+N",
         .run = [](TMainForm &w) { w.newCatalog(); }},
        {.name = "MenuOpen", .caption = "&Open", .keys = {Qt::CTRL | Qt::Key_O}, .menus = cmFile,
         .button = "ButtonOpen", .icon = TAppImage::Open, .hintKeys = "Ctrl+O",
         .run = [](TMainForm &w) { w.openCatalogs(); }},
        {.caption = "Reopen", .menus = cmFile, .kind = TCommandKind::RecentFiles},
        {.name = "MenuSave", .caption = "&Save", .keys = {Qt::CTRL | Qt::Key_S}, .menus = cmFile,
         .button = "ButtonSave", .icon = TAppImage::Save, .hintKeys = "Ctrl+S",
         .run = [](TMainForm &w) { w.saveCatalog(false); }, .enabled = catalogModified},
        {.name = "MenuSaveAs", .caption = "Save &As...", .menus = cmFile,
         .run = [](TMainForm &w) { w.saveCatalog(true); }, .enabled = anyCatalog},
        {.name = "MenuClose", .caption = "&Close", .keys = {Qt::CTRL | Qt::Key_F4}, .menus = cmFile,
         .run = [](TMainForm &w) { w.closeCatalog(w.catalogOfSelection()); }, .enabled = anyCatalog},
        {.name = "MenuCloseAll", .caption = "Close A&ll", .menus = cmFile,
         .run = [](TMainForm &w) { w.closeAllCatalogs(); }, .enabled = anyCatalog},
        {.name = "MenuReport", .caption = "&Report Generator", .keys = {Qt::CTRL | Qt::Key_R}, .menus = cmFile,
         .separatorBefore = true, .button = "ButtonPrint", .icon = TAppImage::Print, .hintKeys = "Ctrl+R"},
        {.name = "MenuImport", .caption = "&Import from Tessaran", .menus = cmFile},
        {.name = "MenuExit", .caption = "E&xit", .keys = {Qt::ALT | Qt::Key_F4}, .menus = cmFile,
         .separatorBefore = true, .run = [](TMainForm &w) { w.close(); }},

        // Catalog
        {.name = "MenuAddDisk", .caption = "&Add/Update Disk Image", .keys = {Qt::CTRL | Qt::Key_A},
         .menus = cmCatalog, .button = "ButtonAddDisk", .icon = TAppImage::AddDisk, .hintKeys = "Ctrl+A",
         .run = [](TMainForm &w) { w.addDiskCommand(false); }, .enabled = anyCatalog},
        // Its caption names a catalog while the tree's focus is on one (updateCommands).
        {.name = "MenuRenameItem", .caption = "&Rename Disk", .keys = {Qt::Key_F2}, .menus = cmCatalog,
         .run = [](TMainForm &w) { w.renameItem(); },
         .enabled =
             [](const TMainForm &w) {
                 const TTreeNode *node = w.selectedNode();
                 const bool treeOnCatalog = w.m_tree->hasFocus() && NodeIs(node, rkCatalog);
                 const bool rowFocused = w.listHasFocus() && w.listView()->currentIndex().isValid();
                 return treeOnCatalog || (node && !NodeIs(node, rkCatalog)) || rowFocused;
             }},
        {.name = "MenuDeleteDisk", .caption = "Delete Disk", .menus = cmCatalog,
         .run = [](TMainForm &w) { w.deleteDiskCommand(w.listHasFocus()); },
         .enabled =
             [](const TMainForm &w) {
                 const TItemRec *focused = w.focusedRecord();
                 const bool diskRow = w.listHasFocus() && focused && ItemIs(focused->KindFlags, rkDisk);
                 return NodeIs(w.selectedNode(), rkDisk) || diskRow;
             }},
        {.name = "MenuCatManager", .caption = "Catalog &Manager", .menus = cmCatalog, .separatorBefore = true,
         .run = [](TMainForm &w) { w.catalogManager(); }, .enabled = anyCatalog},
        {.name = "MenuCategories", .caption = "&Categories Setup", .menus = cmCatalog,
         .run = [](TMainForm &w) { w.categoriesSetup(w.selectedNode()); }, .enabled = anyCatalog},
        {.name = "MenuCatalogInfo", .caption = "Catalog &Info", .menus = cmCatalog},
        {.name = "MenuExportDesc", .caption = "Export &Descriptions to Media", .menus = cmCatalog,
         .separatorBefore = true},
        {.name = "MenuCompareFiles", .caption = "Compare &Files to Catalog", .menus = cmCatalog,
         .run =
             [](TMainForm &w) {
                 const auto operation = w.beginForestCommand(
                     [&w] { w.command(QStringLiteral("MenuCompareFiles"))->trigger(); }, nullptr);
                 if (!operation)
                     return;
                 RunCheckFilesCommand(compareHost(w), w.selectedNode());
                 w.refreshStatus();
                 w.updateCommands();
             },
         .enabled = anyCatalog},
        {.name = "MenuCompare", .caption = "Compare Disk or Folder to Media", .menus = cmCatalog,
         .button = "ButtonCompare", .icon = TAppImage::Compare, .run = compareToMedia,
         .enabled = [](const TMainForm &w) { return compareTarget(w) != nullptr; }},
        {.name = "MenuDuplicates", .caption = "&Scan for Duplicates", .keys = {Qt::CTRL | Qt::Key_D},
         .menus = cmCatalog, .run = [](TMainForm &w) { w.showSearchWindow(true); },
         .enabled = [](const TMainForm &w) { return !(w.m_searchForm && w.m_searchForm->normalSearchRunning()); }},

        // Items
        {.name = "MenuSearch", .caption = "Search &for Items", .keys = {Qt::CTRL | Qt::Key_F, Qt::Key_F3},
         .menus = cmItems, .button = "ButtonSearch", .icon = TAppImage::Search, .hintKeys = "Ctrl+F, F3",
         .run = [](TMainForm &w) { w.showSearchWindow(false); }},
        {.name = "MenuUserList", .caption = "View &User List", .keys = {Qt::CTRL | Qt::Key_U}, .menus = cmItems,
         .button = "ButtonUserList", .icon = TAppImage::UserList, .hintKeys = "Ctrl+U",
         .run = [](TMainForm &w) { w.showUserList(); }},
        {.name = "MenuAddList", .caption = "Add to User List", .keys = {Qt::CTRL | Qt::Key_L}, .menus = cmItems,
         .button = "ButtonAddList", .icon = TAppImage::AddList, .hintKeys = "Ctrl+L",
         .run = [](TMainForm &w) { w.addToUserList(commandRecords(w)); }, .enabled = hasTarget},
        {.name = "MenuView", .caption = "&View File", .keys = {Qt::CTRL | Qt::Key_I}, .menus = cmItems,
         .separatorBefore = true, .button = "ButtonView", .icon = TAppImage::ViewFile, .hintKeys = "Ctrl+I",
         .run = [](TMainForm &w) { w.fileActionCommand(TMainForm::TFileAction::View, TCommandSender::Global); },
         .enabled = canView},
        {.name = "MenuLaunch", .caption = "Launch File", .menus = cmItems, .button = "ButtonLaunch",
         .icon = TAppImage::Launch,
         .run = [](TMainForm &w) { w.fileActionCommand(TMainForm::TFileAction::Launch, TCommandSender::Global); },
         .enabled = canLaunch},
        {.name = "MenuExplorer", .caption = "Open in Explorer", .menus = cmItems, .button = "ButtonExplorer",
         .icon = TAppImage::Explorer,
         .run = [](TMainForm &w) { w.fileActionCommand(TMainForm::TFileAction::Explorer, TCommandSender::Global); },
         .enabled = canExplore},
        {.name = "MenuExtractTo", .caption = "Extract To...", .menus = cmItems,
         .run = [](TMainForm &w) { w.fileActionCommand(TMainForm::TFileAction::ExtractTo, TCommandSender::Global); },
         .enabled = canExtract},
        {.name = "MenuExtract", .caption = "Extract from Compressed File", .menus = cmItems,
         .button = "ButtonExtract", .icon = TAppImage::Extract,
         .run = [](TMainForm &w) { w.fileActionCommand(TMainForm::TFileAction::ExtractTo, TCommandSender::Global); },
         .enabled = canExtract},
        {.name = "MenuProperties", .caption = "Item Properties", .keys = {Qt::CTRL | Qt::Key_P, Qt::Key_F4},
         .menus = cmItems, .separatorBefore = true, .button = "ButtonProperties", .icon = TAppImage::Properties,
         .hintKeys = "Ctrl+P, Alt-Enter, F4",
         .run = [](TMainForm &w) { w.showItemProperties(TCommandSender::Global); }},
        {.name = "MenuEditDesc", .caption = "Edit Description", .keys = {Qt::CTRL | Qt::Key_E}, .menus = cmItems,
         .button = "ButtonEditDesc", .icon = TAppImage::EditDesc, .hintKeys = "Ctrl+E"},
        {.name = "MenuSetCat", .caption = "Set Category and Flags", .menus = cmItems, .button = "ButtonSetCat",
         .icon = TAppImage::SetCategory, .run = [](TMainForm &w) { w.setCategoriesFor(commandRecords(w)); },
         .enabled = hasTarget},

        // The tree's context menu; prepareTreeMenu shows the entries that fit the target.
        {.name = "TreeRename", .caption = "Rename", .menus = cmTreePopup,
         .run =
             [](TMainForm &w) {
                 const QModelIndex i = w.m_tree->currentIndex();
                 if (i.isValid())
                     w.m_tree->edit(i);
             }},
        {.name = "TreeCompare", .caption = "Compare to Media", .menus = cmTreePopup, .run = compareToMedia},
        {.name = "TreeAddDisk", .caption = "Add New Disk Image", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.addDiskCommand(false); }},
        {.name = "TreeUpdateDisk", .caption = "Update Disk Image", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.addDiskCommand(true); }},
        {.name = "TreeDeleteDisk", .caption = "Delete Disk", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.deleteDiskCommand(false); }},
        {.name = "TreeCategories", .caption = "Categories Setup", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.categoriesSetup(w.selectedNode()); }},
        {.name = "TreeCloseCatalog", .caption = "Close Catalog", .menus = cmTreePopup,
         .run =
             [](TMainForm &w) {
                 TTreeNode *node = w.selectedNode();
                 if (NodeIs(node, rkCatalog))
                     w.closeCatalog(node);
             }},
        {.name = "TreeCatManager", .caption = "Catalog Manager", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.catalogManager(); }},
        {.name = "TreeSaveCatalog", .caption = "Save Catalog", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.saveCatalog(false); }},
        {.name = "TreeExplorer", .caption = "Open in Explorer", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.fileActionCommand(TMainForm::TFileAction::Explorer, TCommandSender::TreeMenu); }},
        {.name = "TreeAddList", .caption = "Add To User List", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.addToUserList(treeRecord(w)); }},
        {.name = "TreeView", .caption = "&View File", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.fileActionCommand(TMainForm::TFileAction::View, TCommandSender::TreeMenu); }},
        {.name = "TreeLaunch", .caption = "Launch File", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.fileActionCommand(TMainForm::TFileAction::Launch, TCommandSender::TreeMenu); }},
        {.name = "TreeExtractTo", .caption = "Extract To...", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.fileActionCommand(TMainForm::TFileAction::ExtractTo, TCommandSender::TreeMenu); }},
        {.name = "TreeSetCat", .caption = "Set Category and Flags", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.setCategoriesFor(treeRecord(w)); }},
        {.name = "TreeNewCatalog", .caption = "Add New Catalog", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.newCatalog(); }},
        {.name = "TreeOpenCatalog", .caption = "Open Catalog", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.openCatalogs(); }},
        {.name = "TreeProperties", .caption = "Properties", .menus = cmTreePopup,
         .run = [](TMainForm &w) { w.showItemProperties(TCommandSender::TreeMenu); }},
        {.name = "TreeEditDesc", .caption = "Edit Description", .menus = cmTreePopup},

        // The list's context menu (its view and sort entries are the View menu's, below).
        {.name = "ListMoveTo", .caption = "Move To ...", .menus = cmListPopup,
         .run =
             [](TMainForm &w) {
                 const QModelIndex i = w.listView()->currentIndex();
                 if (i.isValid())
                     w.activateRow(i);
             }},
        {.name = "ListRename", .caption = "Rename", .menus = cmListPopup,
         .run =
             [](TMainForm &w) {
                 const QModelIndex i = w.listView()->currentIndex();
                 if (i.isValid())
                     w.listView()->edit(w.m_listModel->index(i.row(), 0));
             }},
        {.name = "ListDeleteDisk", .caption = "Delete Disk", .menus = cmListPopup,
         .run = [](TMainForm &w) { w.deleteDiskCommand(true); }},

        // View
        {.name = "MenuViewIcons", .caption = "View &Icons", .menus = cmView | cmListPopup, .separatorBefore = true,
         .button = "ButtonLargeIcon", .icon = TAppImage::ViewIcons,
         .run = [](TMainForm &w) { w.setViewStyle(vsIcons); }, .enabled = listHasRows, .checkable = true,
         .group = TCommandGroup::ViewStyle},
        {.name = "MenuViewSmallIcons", .caption = "View &Small Icons", .menus = cmView | cmListPopup,
         .button = "ButtonSmallIcon", .icon = TAppImage::ViewSmallIcons,
         .run = [](TMainForm &w) { w.setViewStyle(vsSmallIcons); }, .enabled = listHasRows, .checkable = true,
         .group = TCommandGroup::ViewStyle},
        {.name = "MenuViewList", .caption = "View &List", .menus = cmView | cmListPopup, .button = "ButtonList",
         .icon = TAppImage::ViewList, .run = [](TMainForm &w) { w.setViewStyle(vsList); },
         .enabled = listHasRows, .checkable = true, .group = TCommandGroup::ViewStyle},
        {.name = "MenuViewDetails", .caption = "View &Details", .menus = cmView | cmListPopup,
         .button = "ButtonDetails", .icon = TAppImage::ViewDetails,
         .run = [](TMainForm &w) { w.setViewStyle(vsDetails); }, .enabled = listHasRows, .checkable = true,
         .group = TCommandGroup::ViewStyle},
        // The sort columns; updateSortControls names them after the level shown.
        {.name = "MenuArrange1", .menus = cmView | cmListPopup, .separatorBefore = true, .button = "ButtonSort1",
         .icon = TAppImage::SortName, .run = [](TMainForm &w) { w.chooseSortColumn(0); },
         .enabled = listHasRows, .checkable = true, .group = TCommandGroup::Arrange},
        {.name = "MenuArrange2", .menus = cmView | cmListPopup, .button = "ButtonSort2",
         .icon = TAppImage::SortExtension, .run = [](TMainForm &w) { w.chooseSortColumn(1); },
         .enabled = listHasRows, .checkable = true, .group = TCommandGroup::Arrange},
        {.name = "MenuArrange3", .menus = cmView | cmListPopup, .button = "ButtonSort3", .icon = TAppImage::SortSize,
         .run = [](TMainForm &w) { w.chooseSortColumn(2); }, .enabled = listHasRows, .checkable = true,
         .group = TCommandGroup::Arrange},
        {.name = "MenuArrange4", .menus = cmView | cmListPopup, .button = "ButtonSort4", .icon = TAppImage::SortDate,
         .run = [](TMainForm &w) { w.chooseSortColumn(3); }, .enabled = listHasRows, .checkable = true,
         .group = TCommandGroup::Arrange},
        {.name = "MenuArrange5", .menus = cmView | cmListPopup, .run = [](TMainForm &w) { w.chooseSortColumn(4); },
         .enabled = listHasRows, .checkable = true, .group = TCommandGroup::Arrange},
        {.name = "MenuArrange6", .menus = cmView | cmListPopup, .run = [](TMainForm &w) { w.chooseSortColumn(5); },
         .enabled = listHasRows, .checkable = true, .group = TCommandGroup::Arrange},
        {.name = "MenuReverseSort", .caption = "&Reverse Sort Order", .menus = cmView | cmListPopup,
         .button = "ButtonReverseSort", .icon = TAppImage::Reverse, .run = [](TMainForm &w) { w.toggleReverse(); },
         .enabled = listHasRows, .checkable = true},
        // Shown in the menu; the views handle the key themselves (the tree
        // gives Backspace its own meaning).
        {.name = "MenuBack", .caption = "&Back One Level", .keys = {Qt::Key_Backspace}, .menus = cmView,
         .separatorBefore = true, .button = "ButtonBack", .icon = TAppImage::GoBack, .hintKeys = "Backspace",
         .run = [](TMainForm &w) { w.backOneLevel(); }, .enabled = canGoBack, .context = Qt::WidgetShortcut},

        // Settings
        {.name = "MenuSettings", .caption = "&General Settings", .menus = cmSettings},
        {.name = "MenuWizard", .caption = "Quick-Setup &Wizard", .menus = cmSettings},

        // A toolbar button only.
        {.button = "ButtonHelp", .icon = TAppImage::Help, .hintKeys = "F1"},
    };
    return table;
}

QAction *TMainForm::command(const QString &name) const
{
    const auto it = m_commands.find(name);
    return it == m_commands.end() ? nullptr : it->second;
}

void TMainForm::createCommands()
{
    m_viewGroup = new QActionGroup(this);
    m_arrangeGroup = new QActionGroup(this);
    for (const TMainCommand &c : commandTable()) {
        if (c.kind != TCommandKind::Action)
            continue;
        // The menu entry and the toolbar button run the same thing.
        auto make = [this, &c](const QString &name, const QString &text) {
            auto *action = new QAction(text, this);
            action->setObjectName(name);
            action->setEnabled(c.run != nullptr);
            action->setCheckable(c.checkable);
            if (c.run)
                connect(action, &QAction::triggered, this, [this, run = c.run] { run(*this); });
            m_commands[name] = action;
            return action;
        };
        if (c.name) {
            QAction *entry = make(QString::fromUtf8(c.name), c.caption ? QString::fromUtf8(c.caption) : QString());
            QList<QKeySequence> keys;
            for (const QKeyCombination key : c.keys)
                if (key.key() != Qt::Key_unknown)
                    keys << QKeySequence(key);
            if (!keys.isEmpty())
                entry->setShortcuts(keys);
            entry->setShortcutContext(c.context);
            if (c.group == TCommandGroup::ViewStyle) {
                entry->setActionGroup(m_viewGroup);
            } else if (c.group == TCommandGroup::Arrange) {
                entry->setActionGroup(m_arrangeGroup);
                m_arrange.push_back(entry);
            }
        }
        if (c.button) {
            const TToolbarButtonInfo *info = nullptr;
            for (const TToolbarButtonInfo &b : ToolbarButtons())
                if (qstrcmp(b.Name, c.button) == 0)
                    info = &b;
            QAction *button =
                make(QString::fromUtf8(c.button), info && info->Hint ? QString::fromLatin1(info->Hint) : QString());
            button->setIcon(AppIcon(c.icon));
            // A sort button sorts by the column of the Arrange entry of its row.
            if (c.group == TCommandGroup::Arrange && c.name && m_arrange.size() <= std::size(m_sortButtons))
                m_sortButtons[m_arrange.size() - 1] = button;
        }
    }
}

void TMainForm::createMenus()
{
    const std::pair<TCommandMenu, const char *> bar[] = {
        {cmFile, "&File"}, {cmCatalog, "&Catalog"}, {cmItems, "&Items"}, {cmView, "&View"}, {cmSettings, "&Settings"},
    };
    std::map<unsigned, QMenu *> menus;
    for (const auto &[id, title] : bar)
        menus[id] = menuBar()->addMenu(QString::fromUtf8(title));
    // The context menus; the tree's entries are shown or hidden per target.
    m_treeMenu = new QMenu(this);
    m_treeMenu->setObjectName(QStringLiteral("TreeViewPopup"));
    menus[cmTreePopup] = m_treeMenu;
    m_listMenu = new QMenu(this);
    m_listMenu->setObjectName(QStringLiteral("ListViewPopup"));
    menus[cmListPopup] = m_listMenu;

    for (const TMainCommand &c : commandTable()) {
        for (const auto &[id, menu] : menus) {
            if (!(c.menus & id))
                continue;
            if (c.separatorBefore && !menu->isEmpty())
                menu->addSeparator();
            if (c.kind == TCommandKind::RecentFiles)
                m_reopenMenu = menu->addMenu(QString::fromUtf8(c.caption));
            else
                menu->addAction(command(QString::fromUtf8(c.name)));
        }
    }
}

void TMainForm::createToolbar()
{
    // The dock side and visibility the settings keep (0 top, 1 bottom, 2 left, 3 right).
    static const Qt::ToolBarArea areas[] = {Qt::TopToolBarArea, Qt::BottomToolBarArea, Qt::LeftToolBarArea,
                                            Qt::RightToolBarArea};
    const int dock = m_options.toolbarDock();
    auto *bar = new QToolBar(QStringLiteral("Toolbar"), this);
    addToolBar(areas[dock >= 0 && dock < 4 ? dock : 0], bar);
    bar->setVisible(m_options.ToolbarVisible);
    m_toolbar = bar;
    bar->setObjectName(QStringLiteral("MainToolbar"));
    bar->setIconSize(QSize(24, 24));
    // The buttons in the order of the settings' layout; those it leaves out
    // (or puts after the marker) still exist as commands.
    const std::vector<quint8> layout =
        m_options.ToolbarBox.empty() ? BuiltInToolbarLayout() : m_options.ToolbarBox;
    bool hidden = false;
    for (const quint8 entry : layout) {
        if (entry == kToolbarMarker) {
            hidden = true;
            continue;
        }
        if (entry == kToolbarSeparator) {
            if (!hidden)
                bar->addSeparator();
            continue;
        }
        // A tag the layout names twice is one button.
        const TToolbarButtonInfo *info = FindToolbarButton(entry);
        QAction *a = info ? command(QString::fromLatin1(info->Name)) : nullptr;
        if (a && !hidden)
            bar->addAction(a);
    }
    // Shortcut texts in the hints.
    if (m_options.ShowShortcutsCheck) {
        for (const TMainCommand &c : commandTable())
            if (c.button && c.hintKeys)
                if (QAction *a = command(QString::fromUtf8(c.button)))
                    a->setToolTip(a->text() + QStringLiteral(" (") + QLatin1String(c.hintKeys) + QStringLiteral(")"));
    }
}

void TMainForm::updateCommands()
{
    if (m_closing)
        return;
    for (const TMainCommand &c : commandTable()) {
        if (!c.enabled)
            continue;
        const bool enabled = c.enabled(*this);
        for (const char *name : {c.name, c.button})
            if (name)
                if (QAction *a = command(QString::fromUtf8(name)))
                    a->setEnabled(enabled);
    }
    const bool treeOnCatalog = m_tree->hasFocus() && NodeIs(selectedNode(), rkCatalog);
    command(QStringLiteral("MenuRenameItem"))
        ->setText(treeOnCatalog ? QStringLiteral("&Rename Catalog") : QStringLiteral("&Rename Disk"));
    updateSortControls();
    updateViewStyleControls();
}

// ---- the context menus --------------------------------------------------------------------------

void TMainForm::prepareTreeMenu(TTreeNode *target)
{
    updateCommands();
    const bool catalog = NodeIs(target, rkCatalog);
    const bool disk = NodeIs(target, rkDisk);
    const bool folder = NodeIs(target, rkFolder);
    command("TreeRename")->setVisible(disk || catalog);
    command("TreeCompare")->setVisible(command("MenuCompare")->isEnabled());
    for (const char *name : {"TreeAddDisk", "TreeCategories", "TreeCloseCatalog", "TreeCatManager", "TreeSaveCatalog"})
        command(name)->setVisible(catalog);
    command("TreeSaveCatalog")->setEnabled(command("MenuSave")->isEnabled());
    command("TreeUpdateDisk")->setVisible(disk);
    command("TreeDeleteDisk")->setVisible(disk);
    command("TreeExplorer")->setVisible(target && !catalog);
    command("TreeAddList")->setVisible(target && !catalog);
    command("TreeView")->setVisible(command("MenuView")->isEnabled());
    command("TreeLaunch")->setVisible(command("MenuLaunch")->isEnabled());
    command("TreeExtractTo")->setVisible(command("MenuExtract")->isEnabled());
    command("TreeSetCat")->setVisible(folder);
    command("TreeNewCatalog")->setVisible(!target || catalog);
    command("TreeOpenCatalog")->setVisible(!target || catalog);
    command("TreeProperties")->setVisible(target != nullptr);
    command("TreeEditDesc")->setVisible(target != nullptr);
}

void TMainForm::onTreeContextMenu(const QPoint &pos)
{
    const QModelIndex i = m_tree->indexAt(pos);
    TTreeNode *target = nullptr;
    if (i.isValid()) {
        m_tree->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
        target = TCatalogTreeModel::nodeOf(i);
    }
    prepareTreeMenu(target);
    m_treeMenu->popup(m_tree->viewport()->mapToGlobal(pos));
}

void TMainForm::onListContextMenu(const QPoint &pos)
{
    QAbstractItemView *view = listView();
    const QModelIndex i = view->indexAt(pos);
    const TItemRec *rec = m_listModel->recordOf(i);
    const bool container = rec && (ItemIs(rec->KindFlags, rkFolder) || ItemIs(rec->KindFlags, rkDisk));
    command("ListMoveTo")->setVisible(container);
    command("ListRename")->setVisible(rec && ItemIs(rec->KindFlags, rkDisk));
    command("ListDeleteDisk")->setVisible(rec && ItemIs(rec->KindFlags, rkDisk));
    updateCommands();
    m_listMenu->popup(view->viewport()->mapToGlobal(pos));
}
