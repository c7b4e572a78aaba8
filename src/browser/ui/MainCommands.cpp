// The main window's commands: the actions, the menu bar, the two context
// menus, the toolbar, and which commands are enabled.
#include "browser/ui/QuillonMain.h"

#include "browser/ui/CatalogTreeModel.h"
#include "browser/ui/ItemListModel.h"
#include "browser/ui/MainFormShared.h"
#include "catalog/CatalogRec.h"
#include "settings/Options.h"
#include "widgets/ui/Icons.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QTreeView>

#include <map>

using namespace mainform;

namespace {

// Toolbar tags of the sort and view buttons.
constexpr int kTagSort1 = 26;
constexpr int kTagReverse = 30;
constexpr int kTagLargeIcons = 21, kTagList = 22, kTagSmallIcons = 23, kTagDetails = 24;

} // namespace

QAction *TMainForm::addCommand(const QString &name, const QString &text, const QKeySequence &shortcut, bool enabled)
{
    auto *action = new QAction(text, this);
    action->setObjectName(name);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    action->setEnabled(enabled);
    m_commands[name] = action;
    return action;
}

QAction *TMainForm::command(const QString &name) const
{
    const auto it = m_commands.find(name);
    return it == m_commands.end() ? nullptr : it->second;
}

void TMainForm::createActions()
{
    // File
    connect(addCommand("MenuNew", "&New Catalog", QKeySequence(Qt::CTRL | Qt::Key_N)), &QAction::triggered, this,
            &TMainForm::newCatalog);
    connect(addCommand("MenuOpen", "&Open", QKeySequence(Qt::CTRL | Qt::Key_O)), &QAction::triggered, this,
            &TMainForm::openCatalogs);
    connect(addCommand("MenuSave", "&Save", QKeySequence(Qt::CTRL | Qt::Key_S)), &QAction::triggered, this,
            [this] { saveCatalog(false); });
    connect(addCommand("MenuSaveAs", "Save &As..."), &QAction::triggered, this, [this] { saveCatalog(true); });
    connect(addCommand("MenuClose", "&Close", QKeySequence(Qt::CTRL | Qt::Key_F4)), &QAction::triggered, this,
            [this] { closeCatalog(catalogOfSelection()); });
    connect(addCommand("MenuCloseAll", "Close A&ll"), &QAction::triggered, this, &TMainForm::closeAllCatalogs);
    addCommand("MenuReport", "&Report Generator", QKeySequence(Qt::CTRL | Qt::Key_R), false);
    addCommand("MenuImport", "&Import from Tessaran", {}, false);
    connect(addCommand("MenuExit", "E&xit", QKeySequence(Qt::ALT | Qt::Key_F4)), &QAction::triggered, this,
            &QWidget::close);

    // Catalog
    connect(addCommand("MenuAddDisk", "&Add/Update Disk Image", QKeySequence(Qt::CTRL | Qt::Key_A)),
            &QAction::triggered, this, [this] { addDiskCommand(false); });
    connect(addCommand("MenuRenameItem", "&Rename Disk", QKeySequence(Qt::Key_F2)), &QAction::triggered, this,
            &TMainForm::renameItem);
    connect(addCommand("MenuDeleteDisk", "Delete Disk"), &QAction::triggered, this,
            [this] { deleteDiskCommand(listHasFocus()); });
    addCommand("MenuCatManager", "Catalog &Manager", {}, false);
    addCommand("MenuCategories", "&Categories Setup", {}, false);
    addCommand("MenuCatalogInfo", "Catalog &Info", {}, false);
    addCommand("MenuExportDesc", "Export &Descriptions to Media", {}, false);
    addCommand("MenuCompareFiles", "Compare &Files to Catalog", {}, false);
    addCommand("MenuCompare", "Compare Disk or Folder to Media", {}, false);
    addCommand("MenuDuplicates", "&Scan for Duplicates", QKeySequence(Qt::CTRL | Qt::Key_D), false);

    // Search and items
    auto *search = addCommand("MenuSearch", "Search &for Items", QKeySequence(Qt::CTRL | Qt::Key_F), false);
    search->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_F), QKeySequence(Qt::Key_F3)});
    addCommand("MenuUserList", "View &User List", QKeySequence(Qt::CTRL | Qt::Key_U), false);
    addCommand("MenuAddList", "Add to User List", QKeySequence(Qt::CTRL | Qt::Key_L), false);
    addCommand("MenuView", "&View File", QKeySequence(Qt::CTRL | Qt::Key_I), false);
    addCommand("MenuLaunch", "Launch File", {}, false);
    addCommand("MenuExplorer", "Open in Explorer", {}, false);
    addCommand("MenuExtractTo", "Extract To...", {}, false);
    addCommand("MenuExtract", "Extract from Compressed File", {}, false);
    auto *props = addCommand("MenuProperties", "Item Properties", QKeySequence(Qt::CTRL | Qt::Key_P), false);
    props->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_P), QKeySequence(Qt::Key_F4)});
    addCommand("MenuEditDesc", "Edit Description", QKeySequence(Qt::CTRL | Qt::Key_E), false);
    addCommand("MenuSetCat", "Set Category and Flags", {}, false);

    // View
    m_viewGroup = new QActionGroup(this);
    const std::pair<const char *, const char *> styles[] = {
        {"MenuViewIcons", "View &Icons"},
        {"MenuViewSmallIcons", "View &Small Icons"},
        {"MenuViewList", "View &List"},
        {"MenuViewDetails", "View &Details"},
    };
    for (int i = 0; i < 4; ++i) {
        QAction *a = addCommand(styles[i].first, styles[i].second);
        a->setCheckable(true);
        a->setActionGroup(m_viewGroup);
        connect(a, &QAction::triggered, this, [this, i] { setViewStyle(i); });
    }
    m_arrangeGroup = new QActionGroup(this);
    for (int i = 0; i < 6; ++i) {
        QAction *a = addCommand(QStringLiteral("MenuArrange%1").arg(i + 1), QString());
        a->setCheckable(true);
        a->setActionGroup(m_arrangeGroup);
        connect(a, &QAction::triggered, this, [this, i] { chooseSortColumn(i); });
        m_arrange.push_back(a);
    }
    QAction *reverse = addCommand("MenuReverseSort", "&Reverse Sort Order");
    reverse->setCheckable(true);
    connect(reverse, &QAction::triggered, this, &TMainForm::toggleReverse);
    QAction *back = addCommand("MenuBack", "&Back One Level");
    // Shown in the menu; the views handle the key themselves (the tree gives
    // Backspace its own meaning).
    back->setShortcut(QKeySequence(Qt::Key_Backspace));
    back->setShortcutContext(Qt::WidgetShortcut);
    connect(back, &QAction::triggered, this, &TMainForm::backOneLevel);
    addCommand("MenuSettings", "&General Settings", {}, false);
    addCommand("MenuWizard", "Quick-Setup &Wizard", {}, false);
}

void TMainForm::createMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(command("MenuNew"));
    file->addAction(command("MenuOpen"));
    m_reopenMenu = file->addMenu(QStringLiteral("Reopen"));
    file->addAction(command("MenuSave"));
    file->addAction(command("MenuSaveAs"));
    file->addAction(command("MenuClose"));
    file->addAction(command("MenuCloseAll"));
    file->addSeparator();
    file->addAction(command("MenuReport"));
    file->addAction(command("MenuImport"));
    file->addSeparator();
    file->addAction(command("MenuExit"));

    QMenu *catalog = menuBar()->addMenu(QStringLiteral("&Catalog"));
    for (const char *name : std::initializer_list<const char *>{"MenuAddDisk", "MenuRenameItem", "MenuDeleteDisk", nullptr, "MenuCatManager",
                             "MenuCategories", "MenuCatalogInfo", nullptr, "MenuExportDesc", "MenuCompareFiles",
                             "MenuCompare", "MenuDuplicates"}) {
        if (name)
            catalog->addAction(command(name));
        else
            catalog->addSeparator();
    }

    QMenu *items = menuBar()->addMenu(QStringLiteral("&Items"));
    for (const char *name : std::initializer_list<const char *>{"MenuSearch", "MenuUserList", "MenuAddList", nullptr, "MenuView", "MenuLaunch",
                             "MenuExplorer", "MenuExtractTo", "MenuExtract", nullptr, "MenuProperties",
                             "MenuEditDesc", "MenuSetCat"}) {
        if (name)
            items->addAction(command(name));
        else
            items->addSeparator();
    }

    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    for (const char *name : {"MenuViewIcons", "MenuViewSmallIcons", "MenuViewList", "MenuViewDetails"})
        view->addAction(command(name));
    view->addSeparator();
    for (QAction *a : m_arrange)
        view->addAction(a);
    view->addAction(command("MenuReverseSort"));
    view->addSeparator();
    view->addAction(command("MenuBack"));

    QMenu *settings = menuBar()->addMenu(QStringLiteral("&Settings"));
    settings->addAction(command("MenuSettings"));
    settings->addAction(command("MenuWizard"));

    // The tree's context menu; entries are shown or hidden per target.
    m_treeMenu = new QMenu(this);
    m_treeMenu->setObjectName(QStringLiteral("TreeViewPopup"));
    struct Entry {
        const char *name, *text;
        bool later;   // a command of a window that does not exist yet
    };
    const Entry entries[] = {
        {"TreeRename", "Rename", false},
        {"TreeCompare", "Compare to Media", true},
        {"TreeAddDisk", "Add New Disk Image", false},
        {"TreeUpdateDisk", "Update Disk Image", false},
        {"TreeDeleteDisk", "Delete Disk", false},
        {"TreeCategories", "Categories Setup", true},
        {"TreeCloseCatalog", "Close Catalog", false},
        {"TreeCatManager", "Catalog Manager", true},
        {"TreeSaveCatalog", "Save Catalog", false},
        {"TreeExplorer", "Open in Explorer", true},
        {"TreeAddList", "Add To User List", true},
        {"TreeView", "&View File", true},
        {"TreeLaunch", "Launch File", true},
        {"TreeExtractTo", "Extract To...", true},
        {"TreeSetCat", "Set Category and Flags", true},
        {"TreeNewCatalog", "Add New Catalog", false},
        {"TreeOpenCatalog", "Open Catalog", false},
        {"TreeProperties", "Properties", true},
        {"TreeEditDesc", "Edit Description", true},
    };
    for (const Entry &e : entries) {
        QAction *a = addCommand(e.name, e.text, {}, !e.later);
        m_treeMenu->addAction(a);
    }
    connect(command("TreeRename"), &QAction::triggered, this, [this] {
        const QModelIndex i = m_tree->currentIndex();
        if (i.isValid())
            m_tree->edit(i);
    });
    connect(command("TreeDeleteDisk"), &QAction::triggered, this, [this] { deleteDiskCommand(false); });
    connect(command("TreeAddDisk"), &QAction::triggered, this, [this] { addDiskCommand(false); });
    connect(command("TreeUpdateDisk"), &QAction::triggered, this, [this] { addDiskCommand(true); });
    connect(command("TreeCloseCatalog"), &QAction::triggered, this, [this] {
        TTreeNode *node = selectedNode();
        if (isKind(node, rkCatalog))
            closeCatalog(node);
    });
    connect(command("TreeSaveCatalog"), &QAction::triggered, this, [this] { saveCatalog(false); });
    connect(command("TreeNewCatalog"), &QAction::triggered, this, &TMainForm::newCatalog);
    connect(command("TreeOpenCatalog"), &QAction::triggered, this, &TMainForm::openCatalogs);

    m_listMenu = new QMenu(this);
    m_listMenu->setObjectName(QStringLiteral("ListViewPopup"));
    connect(addCommand("ListMoveTo", "Move To ..."), &QAction::triggered, this, [this] {
        const QModelIndex i = listView()->currentIndex();
        if (i.isValid())
            activateRow(i);
    });
    connect(addCommand("ListRename", "Rename"), &QAction::triggered, this, [this] {
        const QModelIndex i = listView()->currentIndex();
        if (i.isValid())
            listView()->edit(m_listModel->index(i.row(), 0));
    });
    connect(addCommand("ListDeleteDisk", "Delete Disk"), &QAction::triggered, this, [this] { deleteDiskCommand(true); });
    m_listMenu->addAction(command("ListMoveTo"));
    m_listMenu->addAction(command("ListRename"));
    m_listMenu->addAction(command("ListDeleteDisk"));
    m_listMenu->addSeparator();
    for (const char *name : {"MenuViewIcons", "MenuViewSmallIcons", "MenuViewList", "MenuViewDetails"})
        m_listMenu->addAction(command(name));
    m_listMenu->addSeparator();
    for (QAction *a : m_arrange)
        m_listMenu->addAction(a);
    m_listMenu->addAction(command("MenuReverseSort"));
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
    // The button of each tag: the command it runs and its picture.
    auto button = [this](int tag) -> QAction * {
        const TToolbarButtonInfo *info = FindToolbarButton(tag);
        if (!info)
            return nullptr;
        QAction *a = nullptr;
        const QString name = QString::fromLatin1(info->Name);
        auto make = [&](TAppImage image, const std::function<void()> &run, bool enabled = true) {
            a = addCommand(name, info->Hint ? QString::fromLatin1(info->Hint) : QString(), {}, enabled);
            a->setIcon(AppIcon(image));
            if (run)
                connect(a, &QAction::triggered, this, run);
        };
        switch (tag) {
        case 1: make(TAppImage::New, [this] { newCatalog(); }); break;
        case 2: make(TAppImage::Open, [this] { openCatalogs(); }); break;
        case 3: make(TAppImage::Save, [this] { saveCatalog(false); }); break;
        case 6: make(TAppImage::AddDisk, [this] { addDiskCommand(false); }); break;
        case 11: make(TAppImage::GoBack, [this] { backOneLevel(); }); break;
        case kTagLargeIcons: make(TAppImage::ViewIcons, [this] { setViewStyle(vsIcons); }); break;
        case kTagList: make(TAppImage::ViewList, [this] { setViewStyle(vsList); }); break;
        case kTagSmallIcons: make(TAppImage::ViewSmallIcons, [this] { setViewStyle(vsSmallIcons); }); break;
        case kTagDetails: make(TAppImage::ViewDetails, [this] { setViewStyle(vsDetails); }); break;
        case kTagReverse: make(TAppImage::Reverse, [this] { toggleReverse(); }); break;
        default:
            if (tag >= kTagSort1 && tag < kTagSort1 + 4) {
                const int column = tag - kTagSort1;
                static const TAppImage images[] = {TAppImage::SortName, TAppImage::SortExtension, TAppImage::SortSize,
                                                   TAppImage::SortDate};
                make(images[column], [this, column] { chooseSortColumn(column); });
                a->setCheckable(true);
                m_sortButtons[column] = a;
            } else {
                // The windows of these commands come later.
                static const std::map<int, TAppImage> later{
                    {5, TAppImage::Print},       {7, TAppImage::Compare},
                    {8, TAppImage::Search},      {9, TAppImage::UserList},   {12, TAppImage::EditDesc},
                    {13, TAppImage::Properties}, {14, TAppImage::SetCategory}, {15, TAppImage::Explorer},
                    {16, TAppImage::ViewFile},   {17, TAppImage::Launch},    {18, TAppImage::Extract},
                    {19, TAppImage::AddList},    {32, TAppImage::Help},
                };
                const auto it = later.find(tag);
                make(it == later.end() ? TAppImage::File : it->second, {}, false);
            }
        }
        if (tag == kTagReverse || (tag >= kTagLargeIcons && tag <= kTagDetails))
            a->setCheckable(true);
        return a;
    };
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
        if (!a)
            a = button(entry);
        if (a && !hidden)
            bar->addAction(a);
    }
    // Buttons the layout leaves out still exist as commands.
    for (const TToolbarButtonInfo &info : ToolbarButtons())
        if (!command(QString::fromLatin1(info.Name)))
            button(info.Tag);
    // Shortcut texts in the hints.
    if (m_options.ShowShortcutsCheck) {
        const std::pair<const char *, const char *> keys[] = {
            {"ButtonNew", "Ctrl+N"},      {"ButtonOpen", "Ctrl+O"},          {"ButtonSave", "Ctrl+S"},
            {"ButtonPrint", "Ctrl+R"},    {"ButtonAddDisk", "Ctrl+A"},       {"ButtonSearch", "Ctrl+F, F3"},
            {"ButtonUserList", "Ctrl+U"}, {"ButtonBack", "Backspace"},       {"ButtonProperties", "Ctrl+P, Alt-Enter, F4"},
            {"ButtonEditDesc", "Ctrl+E"}, {"ButtonView", "Ctrl+I"},          {"ButtonAddList", "Ctrl+L"},
            {"ButtonHelp", "F1"},
        };
        for (const auto &[name, key] : keys)
            if (QAction *a = command(QString::fromLatin1(name)))
                a->setToolTip(a->text() + QStringLiteral(" (") + QLatin1String(key) + QStringLiteral(")"));
    }
}

void TMainForm::updateCommands()
{
    if (m_closing)
        return;
    // The catalog commands need an open catalog.
    const bool any = !m_forest.roots().empty();
    for (const char *name : {"MenuSaveAs", "MenuClose", "MenuCloseAll", "MenuAddDisk", "ButtonAddDisk"})
        if (QAction *a = command(name))
            a->setEnabled(any);
    const bool modified = statusPanelText(0) == QStringLiteral("Modified");
    command("MenuSave")->setEnabled(modified);
    if (QAction *b = command("ButtonSave"))
        b->setEnabled(modified);

    TTreeNode *node = selectedNode();
    const bool back = node && !isKind(node, rkCatalog);
    command("MenuBack")->setEnabled(back);
    if (QAction *b = command("ButtonBack"))
        b->setEnabled(back);
    const bool treeOnCatalog = m_tree->hasFocus() && isKind(node, rkCatalog);
    QAction *rename = command("MenuRenameItem");
    rename->setText(treeOnCatalog ? QStringLiteral("&Rename Catalog") : QStringLiteral("&Rename Disk"));
    const bool rowFocused = listHasFocus() && listView()->currentIndex().isValid();
    rename->setEnabled(treeOnCatalog || back || rowFocused);
    const TItemRec *focused = focusedRecord();
    const bool diskRow = listHasFocus() && focused && ItemIs(focused->KindFlags, rkDisk);
    command("MenuDeleteDisk")->setEnabled(isKind(node, rkDisk) || diskRow);
    updateSortControls();
    updateViewStyleControls();
}

// ---- the context menus --------------------------------------------------------------------------

void TMainForm::prepareTreeMenu(TTreeNode *target)
{
    updateCommands();
    const bool catalog = isKind(target, rkCatalog);
    const bool disk = isKind(target, rkDisk);
    const bool folder = isKind(target, rkFolder);
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
