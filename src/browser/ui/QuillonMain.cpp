// The main window: layout, commands, the tree's and the list's behaviour,
// the status bar, and the catalog operations' host.
#include "browser/ui/QuillonMain.h"

#include "platform/Drives.h"
#include "scan/ui/AddDisk.h"

#include "browser/TreeSort.h"
#include "browser/ui/CatalogTreeModel.h"
#include "browser/ui/Icons.h"
#include "browser/ui/ItemListModel.h"
#include "browser/ui/QtPrompter.h"
#include "browser/ui/Splash.h"
#include "catalog/CatalogOps.h"
#include "catalog/LoadSave.h"
#include "catalog/ReadAhead.h"
#include "catalog/ResultLists.h"
#include "manager/CatManager.h"
#include "platform/Texts.h"
#include "settings/Options.h"
#include "settings/RecentFiles.h"
#include "settings/Registry.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>

#include <functional>
#include <limits>

#include <algorithm>

namespace {

// How long keyboard navigation in the tree holds back the list.
constexpr int kListUpdateDelayMs = 500;
// How often held-back idle work looks again whether the dialog or operation
// that held it is gone (cheaper than a hook in every dialog).
constexpr int kIdleRetryMs = 250;
// How long a line left by a scan (why the medium was not ejected) shows.
constexpr int kScanNoteMilliseconds = 10000;
// The autosave period's bounds in minutes, as the settings allow.
constexpr int kAutoSaveMinMinutes = 2;
constexpr int kAutoSaveMaxMinutes = 240;
// The header's default column width.
constexpr int kColumnWidth = 100;
// A first window on a small screen is still this large (or the whole screen).
constexpr int kMinWindowWidth = 640, kMinWindowHeight = 420;
// The tree pane of a first window is at least this wide, where it can be.
constexpr int kTreePaneMin = 220;
// The name column of a set shown for the first time takes its names' width
// within these shares of the list's width, and never less than
// kNameColumnMin; the short columns fit their texts up to kShortColumnMax;
// the description keeps at least kDescShareMin of the width where it can.
constexpr double kNameShareMin = 0.25, kNameShareMax = 0.4, kDescShareMin = 0.15;
constexpr int kNameColumnMin = 180;
constexpr int kShortColumnMax = 130;
// Status bar: fixed widths of the state panel and the activity light; the
// other two share what is left, 70 % and 30 %.
constexpr int kStatePanelWidth = 80;
constexpr int kLedPanelWidth = 22;

bool isKind(const TTreeNode *node, uint8_t kind)
{
    return node && node->data() && ItemIs(node->data()->KindFlags, kind);
}

bool isBelow(const TTreeNode *node, const TTreeNode *ancestor)
{
    for (const TTreeNode *n = node; n; n = n->parent())
        if (n == ancestor)
            return true;
    return false;
}

// Watches for Esc while a long sort runs, so the user can stop it.
class EscWatcher : public QObject
{
public:
    EscWatcher() { qApp->installEventFilter(this); }
    ~EscWatcher() override { qApp->removeEventFilter(this); }
    // Lets pending events run, then reports an Esc pressed since the last call.
    bool pressed()
    {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return std::exchange(m_pressed, false);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
            !static_cast<QKeyEvent *>(event)->isAutoRepeat()) {
            m_pressed = true;
            return true;
        }
        return false;
    }

private:
    bool m_pressed = false;
};

// Counts one of the window's operations while it runs.
class OperationScope
{
public:
    explicit OperationScope(int &count) : m_count(count) { ++m_count; }
    ~OperationScope() { --m_count; }
    OperationScope(const OperationScope &) = delete;
    OperationScope &operator=(const OperationScope &) = delete;

private:
    int &m_count;
};

// Passes questions on to the window's prompter of the moment, after a step
// that must come first (hiding the splash, which would cover the message).
class ForwardingPrompter : public Prompter
{
public:
    ForwardingPrompter(std::function<Prompter &()> target, std::function<void()> before)
        : m_target(std::move(target)), m_before(std::move(before))
    {
    }
    MsgAnswer ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons) override
    {
        m_before();
        return m_target().ask(caption, text, icon, buttons);
    }

private:
    std::function<Prompter &()> m_target;
    std::function<void()> m_before;
};

// Toolbar tags of the sort and view buttons.
constexpr int kTagSort1 = 26;
constexpr int kTagReverse = 30;
constexpr int kTagLargeIcons = 21, kTagList = 22, kTagSmallIcons = 23, kTagDetails = 24;

} // namespace

// ---- construction ----------------------------------------------------------------

TMainForm::TMainForm(TOptions &options, Registry *registry, QWidget *parent)
    : QMainWindow(parent), m_options(options), m_registry(registry)
{
    setWindowTitle(QStringLiteral("Quillon"));
    setObjectName(QStringLiteral("MainForm"));
    setAcceptDrops(true);
    m_qtPrompter = std::make_unique<QtPrompter>(this);
    m_prompter = m_qtPrompter.get();
    m_askPrompter = std::make_unique<ForwardingPrompter>([this]() -> Prompter & { return *m_prompter; },
                                                         [this] {
                                                             // The splash stays on top: a message
                                                             // box would open beneath it.
                                                             if (m_splash && m_splash->isVisible())
                                                                 m_splash->hide();
                                                         });
    m_progress = std::make_unique<QtProgressSink>(this);

    m_items.setShowPrevFolder(m_options.ShowPrevCheck);
    m_items.setArchivesAsFolders(m_options.ArchivesSortCheck);
    m_items.setFormattedSizes(m_options.FormattedSizesCheck);
    if (m_registry)
        LoadRecentFiles(m_recent, *m_registry);

    m_listTimer.setSingleShot(true);
    m_listTimer.setInterval(kListUpdateDelayMs);
    connect(&m_listTimer, &QTimer::timeout, this, &TMainForm::onListTimer);
    connect(&m_autoSaveTimer, &QTimer::timeout, this, &TMainForm::onAutoSaveTimer);
    m_idleRetry.setSingleShot(true);
    m_idleRetry.setInterval(kIdleRetryMs);
    connect(&m_idleRetry, &QTimer::timeout, this, &TMainForm::scheduleIdle);

    createViews();
    createActions();
    createMenus();
    createToolbar();
    createStatusBar();
    m_forest.addObserver(this);
    SetCatalogDirtyHook([this](TTreeNode *) {
        refreshStatus();
        updateCommands();
    });
    restorePlacement();
    applyAutoSaveSettings();
    updateReopenMenu();
    updateCommands();
}

TMainForm::~TMainForm()
{
    // Nothing may call back into a window half destroyed (focus moves while
    // the child widgets go).
    m_closing = true;
    disconnect(qApp, nullptr, this, nullptr);
    m_tree->selectionModel()->disconnect(this);
    m_details->selectionModel()->disconnect(this);
    SetCatalogDirtyHook({});
    m_listTimer.stop();
    m_autoSaveTimer.stop();
    m_idleRetry.stop();
    // The views and models go before the forest they show.
    m_forest.removeObserver(this);
    m_tree->setModel(nullptr);
    m_details->setModel(nullptr);
    m_icons->setModel(nullptr);
    delete m_treeModel;
    m_treeModel = nullptr;
    delete m_listModel;
    m_listModel = nullptr;
    m_items.clear();
    const bool wasShuttingDown = ShuttingDown();
    SetShuttingDown(true);
    m_forest.deleteAll([](TTreeNode *n) { FreeItemData(n, true, true); });
    SetShuttingDown(wasShuttingDown);
}

void TMainForm::createViews()
{
    m_treeModel = new TCatalogTreeModel(m_forest, this);
    m_listModel = new TItemListModel(m_items, this);

    m_tree = new QTreeView;
    m_tree->setObjectName(QStringLiteral("DBTree"));
    m_tree->setModel(m_treeModel);
    m_tree->setHeaderHidden(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    m_tree->setDragEnabled(true);
    m_tree->setAcceptDrops(true);
    m_tree->setDropIndicatorShown(true);
    m_tree->setDragDropMode(QAbstractItemView::DragDrop);
    m_tree->setDefaultDropAction(Qt::MoveAction);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->setAnimated(!m_options.DisableSmoothCheck);
    m_tree->installEventFilter(this);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { onTreeCurrentChanged(current); });
    connect(m_tree, &QWidget::customContextMenuRequested, this, &TMainForm::onTreeContextMenu);
    connect(m_treeModel, &TCatalogTreeModel::nodeRenamed, this, &TMainForm::onNodeRenamed);
    connect(m_treeModel, &TCatalogTreeModel::levelLoading, this, &TMainForm::onLevelLoading);
    connect(m_treeModel, &TCatalogTreeModel::levelLoaded, this, &TMainForm::onLevelLoaded);
    connect(m_treeModel, &TCatalogTreeModel::disksDropped, this, &TMainForm::onDisksDropped);
    // A level that shows follows the current sort (levels read earlier may
    // have been hidden when the order changed).
    connect(m_tree, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        if (TTreeNode *node = TCatalogTreeModel::nodeOf(index))
            sortShownLevels(node);
    });

    m_details = new QTreeView;
    m_details->setObjectName(QStringLiteral("ListView"));
    m_details->setModel(m_listModel);
    m_details->setRootIsDecorated(false);
    m_details->setUniformRowHeights(true);
    m_details->setAllColumnsShowFocus(true);
    m_details->setItemsExpandable(false);
    m_details->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_details->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_details->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_details->setDragEnabled(true);
    m_details->setDragDropMode(QAbstractItemView::DragOnly);
    m_details->setContextMenuPolicy(Qt::CustomContextMenu);
    m_details->header()->setSectionsClickable(true);
    m_details->header()->setSortIndicatorShown(true);
    m_details->header()->setDefaultSectionSize(kColumnWidth);
    m_details->header()->setStretchLastSection(true);
    connect(m_details->header(), &QHeaderView::sectionClicked, this, &TMainForm::headerClicked);

    m_icons = new QListView;
    m_icons->setObjectName(QStringLiteral("ListViewIcons"));
    m_icons->setModel(m_listModel);
    m_icons->setSelectionModel(m_details->selectionModel());
    m_icons->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_icons->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_icons->setLayoutMode(QListView::Batched);
    m_icons->setUniformItemSizes(true);
    m_icons->setDragEnabled(true);
    m_icons->setDragDropMode(QAbstractItemView::DragOnly);
    m_icons->setContextMenuPolicy(Qt::CustomContextMenu);

    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(m_details), static_cast<QAbstractItemView *>(m_icons)}) {
        view->installEventFilter(this);
        connect(view, &QAbstractItemView::doubleClicked, this, &TMainForm::activateRow);
        connect(view, &QWidget::customContextMenuRequested, this, &TMainForm::onListContextMenu);
    }
    connect(m_details->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        refreshStatus();
        updateCommands();
    });
    connect(m_details->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { refreshStatus(); });
    connect(m_listModel, &TItemListModel::diskRenamed, this, &TMainForm::onNodeRenamed);
    connect(qApp, &QApplication::focusChanged, this, [this] {
        if (!m_closing)
            refreshStatus();
    });

    m_listStack = new QStackedWidget;
    m_listStack->addWidget(m_icons);
    m_listStack->addWidget(m_details);
    m_listStack->setCurrentWidget(m_details);

    m_splitter = new QSplitter;
    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(m_listStack);
    m_splitter->setStretchFactor(1, 1);
    setCentralWidget(m_splitter);
    applyDefaultPlacement();
}

void TMainForm::applyDefaultPlacement()
{
    // About two thirds of the screen, centred on it, as a first start opens;
    // a stored placement replaces this.
    QSize size(900, 600);   // no screen to measure (never on a desktop)
    QRect area(QPoint(0, 0), size);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
        size = QSize(area.width() * 2 / 3, area.height() * 2 / 3)
                   .expandedTo(QSize(kMinWindowWidth, kMinWindowHeight))
                   .boundedTo(area.size());
    }
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, area));
    // The tree takes a fifth (names of disks and folders are short), the
    // list the rest.
    const int tree = std::max(size.width() / 5, std::min(kTreePaneMin, size.width() / 3));
    m_splitter->setSizes({tree, size.width() - tree});
}

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

void TMainForm::createStatusBar()
{
    QStatusBar *bar = statusBar();
    for (int i = 0; i < 4; ++i) {
        m_panels[i] = new QLabel;
        m_panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    }
    m_panels[0]->setFixedWidth(kStatePanelWidth);
    m_panels[3]->setFixedWidth(kLedPanelWidth);
    m_panels[1]->setMinimumWidth(1);
    m_panels[2]->setMinimumWidth(1);
    m_panels[1]->setTextFormat(Qt::PlainText);
    m_panels[2]->setTextFormat(Qt::PlainText);
    bar->addWidget(m_panels[0]);
    bar->addWidget(m_panels[1], 7);   // 70 % of what is left
    bar->addWidget(m_panels[2], 3);   // 30 %
    bar->addWidget(m_panels[3]);
    refreshStatus();
}

// ---- the tree ------------------------------------------------------------------------

TTreeNode *TMainForm::selectedNode() const
{
    return TCatalogTreeModel::nodeOf(m_tree->currentIndex());
}

void TMainForm::selectNode(TTreeNode *node)
{
    const QModelIndex i = m_treeModel->indexOf(node);
    if (!i.isValid())
        return;
    m_tree->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
    m_tree->scrollTo(i);
}

bool TMainForm::nodeAlive(TTreeNode *node) const
{
    if (!node)
        return false;
    for (TTreeNode *root : m_forest.roots())
        if (root == node)
            return true;
    // Deeper nodes: walk up to a root and check it, then down again.
    std::vector<TTreeNode *> stack(m_forest.roots().begin(), m_forest.roots().end());
    while (!stack.empty()) {
        TTreeNode *n = stack.back();
        stack.pop_back();
        if (n == node)
            return true;
        for (TTreeNode *c : n->children())
            stack.push_back(c);
    }
    return false;
}

std::shared_ptr<TTreeNode *> TMainForm::watchNode(TTreeNode *node)
{
    auto watch = std::make_shared<TTreeNode *>(nodeAlive(node) ? node : nullptr);
    std::erase_if(m_watches, [](const std::weak_ptr<TTreeNode *> &w) { return w.expired(); });
    m_watches.push_back(watch);
    return watch;
}

bool TMainForm::deferWhileBusy(std::function<void()> again)
{
    if (m_operations == 0 && !m_sortRunning)
        return false;
    if (!m_closing && !m_shuttingDown)
        QTimer::singleShot(kIdleRetryMs, this, std::move(again));
    return true;
}

std::unordered_set<const TTreeNode *> TMainForm::expandedNodes() const
{
    // Only the rows on show are walked: the children of expanded nodes.
    std::unordered_set<const TTreeNode *> expanded;
    std::vector<QModelIndex> stack{QModelIndex()};
    while (!stack.empty()) {
        const QModelIndex parent = stack.back();
        stack.pop_back();
        const int rows = m_treeModel->rowCount(parent);
        for (int row = 0; row < rows; ++row) {
            const QModelIndex i = m_treeModel->index(row, 0, parent);
            if (m_tree->isExpanded(i)) {
                expanded.insert(TCatalogTreeModel::nodeOf(i));
                stack.push_back(i);
            }
        }
    }
    return expanded;
}

void TMainForm::sortShownLevels(TTreeNode *from)
{
    const std::unordered_set<const TTreeNode *> expanded = expandedNodes();
    SortTreeLevels(m_forest, from, m_items.sortState(), m_items.compareContext(),
                   [&expanded](const TTreeNode *n) { return expanded.count(n) > 0; });
}

void TMainForm::onTreeCurrentChanged(const QModelIndex &current)
{
    // The selection follows the focused node (as a tree control's does).
    if (current.isValid() && !m_tree->selectionModel()->isSelected(current))
        m_tree->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect);
    if (m_busy > 0 || m_sortRunning || m_closing) {
        refreshStatus();
        return;
    }
    if (m_listTimer.isActive())
        m_listTimer.start(kListUpdateDelayMs);
    refreshList(TCatalogTreeModel::nodeOf(current), false);
}

void TMainForm::refreshList(TTreeNode *node, bool forced)
{
    if (m_sortRunning)
        return;
    if (!forced && node && node == m_items.displayedNode()) {
        updateCommands();
        refreshStatus();
        return;
    }
    const bool ownStatus = !m_statusActive;
    if (ownStatus)
        setStatus(QStringLiteral("Loading files..."), 2);
    storeHeaderState();
    const TColumnSet before = m_items.columnSet();
    const TTreeNode *shownBefore = m_items.displayedNode();
    m_listModel->refill(node, forced);
    if (m_items.columnSet() != before && m_items.columnSet() != TColumnSet::None)
        applyHeaderState();
    // The fill read the node's level: the tree shows it in the list's order.
    if (TTreeNode *shown = m_items.displayedNode())
        SortTreeLevel(shown, m_items.sortState(), m_items.compareContext());
    if (m_items.displayedNode() != shownBefore) {
        // Another node's contents start at their top (the views keep the old
        // scroll position through a reset); a forced refill of the same node
        // stays where it was.
        m_details->scrollToTop();
        m_icons->scrollToTop();
        m_icons->horizontalScrollBar()->setValue(0);
    }
    if (m_focusAfterFill) {
        const QModelIndex i = m_listModel->indexOf(m_focusAfterFill);
        m_focusAfterFill = nullptr;
        if (i.isValid()) {
            listView()->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect |
                                                                 QItemSelectionModel::Rows);
            listView()->scrollTo(i);
        }
    }
    if (ownStatus)
        setStatus(QString(), 0);
    updateSortControls();
    updateCommands();
    refreshStatus();
    if (!m_items.lastError().isEmpty())
        showReadFailure(m_items.lastError());
    emit listFilled(node);
}

void TMainForm::showReadFailure(const QString &message)
{
    prompter().ask(QStringLiteral("Quillon"), message, MsgIcon::Error, MsgButtons::Ok);
}

void TMainForm::storeHeaderState()
{
    if (m_headerSet == TColumnSet::Disks || m_headerSet == TColumnSet::Files)
        m_headerStates[m_headerSet == TColumnSet::Disks ? 0 : 1] = m_details->header()->saveState();
}

void TMainForm::applyHeaderState()
{
    m_headerSet = m_items.columnSet();
    const QByteArray &state = m_headerStates[m_headerSet == TColumnSet::Disks ? 0 : 1];
    if (!state.isEmpty()) {
        m_details->header()->restoreState(state);
        return;
    }
    // First shown: the short columns fit what the rows show (and their
    // captions), the name column is wide enough for names, the description
    // (the last, stretched column) takes what is left.
    QHeaderView *header = m_details->header();
    const auto *view = static_cast<const QAbstractItemView *>(m_details);
    int used = 0;
    for (int i = 1; i < kListColumns - 1; ++i) {
        const int fit = std::min(view->sizeHintForColumn(i), kShortColumnMax);
        header->resizeSection(i, std::max(fit, header->sectionSizeHint(i)));
        used += header->sectionSize(i);
    }
    const int width = std::max(m_details->viewport()->width(), kColumnWidth * kListColumns);
    const int names = std::max(view->sizeHintForColumn(0), header->sectionSizeHint(0));
    const int low = std::max(kNameColumnMin, int(width * kNameShareMin));
    const int high = std::max(low, int(width * kNameShareMax));
    int name = std::clamp(names, low, high);
    // Too wide for the description to keep its share: the name column gives
    // up to its minimum first, then the short columns, each in proportion
    // to what it has beyond its caption.
    int excess = name + used - (width - int(width * kDescShareMin));
    if (excess > 0) {
        const int give = std::min(excess, name - kNameColumnMin);
        name -= give;
        excess -= give;
    }
    int slack = 0;
    for (int i = 1; i < kListColumns - 1; ++i)
        slack += std::max(0, header->sectionSize(i) - header->sectionSizeHint(i));
    if (excess > 0 && slack > 0) {
        const double share = std::min(1.0, double(excess) / slack);
        for (int i = 1; i < kListColumns - 1; ++i) {
            const int spare = std::max(0, header->sectionSize(i) - header->sectionSizeHint(i));
            header->resizeSection(i, header->sectionSize(i) - int(spare * share + 0.5));
        }
    }
    header->resizeSection(0, name);
}

void TMainForm::onListTimer()
{
    m_listTimer.stop();
    m_busy = std::max(0, m_busy - 1);
    if (m_sortRunning) {
        m_listTimer.start(kListUpdateDelayMs);
        return;
    }
    TTreeNode *node = selectedNode();
    if (node != m_items.displayedNode())
        refreshList(node, false);
}

void TMainForm::onLevelLoading(TTreeNode *)
{
    setStatus(QStringLiteral("Loading subfolders..."), 1);
}

void TMainForm::onLevelLoaded(TTreeNode *node, const QString &failure)
{
    // Read in stored order; shown in the list's.
    SortTreeLevel(node, m_items.sortState(), m_items.compareContext());
    setStatus(QString(), 0);
    if (!failure.isEmpty())
        showReadFailure(failure);
}

void TMainForm::onNodeRenamed(TTreeNode *node)
{
    if (!node)
        return;
    SortTreeChildren(node->parent(), m_items.sortState(), m_items.compareContext());
    m_listModel->refreshTexts();
    refreshStatus();
    updateCommands();
}

void TMainForm::nodeAboutToBeRemoved(TTreeNode *node)
{
    // Watches on the node or below it read null from now on.
    std::erase_if(m_watches, [node](const std::weak_ptr<TTreeNode *> &w) {
        const std::shared_ptr<TTreeNode *> watch = w.lock();
        if (watch && isBelow(*watch, node))
            *watch = nullptr;
        return !watch;
    });
    // The list must never show records that are about to be freed.
    TTreeNode *shown = m_items.displayedNode();
    if (!shown)
        return;
    if (isBelow(shown, node))
        m_listModel->clear();
    else if (node->parent() == shown && node->data())
        m_listModel->removeRecord(node->data());
    if (m_focusAfterFill && node->data() == m_focusAfterFill)
        m_focusAfterFill = nullptr;
}

void TMainForm::deleteCatalogNode(TTreeNode *node)
{
    if (!node)
        return;
    TTreeNode *selected = selectedNode();
    ++m_busy;
    if (isBelow(selected, node)) {
        m_listModel->clear();
        TTreeNode *next = node->nextSibling() ? node->nextSibling() : node->parent();
        if (next)
            selectNode(next);
        else
            m_tree->selectionModel()->clear();
    }
    DeleteNodeWithRecords(node);
    --m_busy;
    refreshList(selectedNode(), true);
}

void TMainForm::deleteDisk(TTreeNode *diskNode, bool fromList)
{
    const std::shared_ptr<TTreeNode *> disk = watchNode(diskNode);
    if (!*disk)
        return;
    if (deferWhileBusy([this, disk, fromList] {
            if (*disk)
                deleteDisk(*disk, fromList);
        }))
        return;
    const OperationScope operation(m_operations);
    if (!isKind(diskNode, rkDisk))
        return;
    if (searchRunning()) {
        prompter().ask(QStringLiteral("Can't remove disk"),
                       QStringLiteral("Sorry, removing disk is not allowed while search is in progress.\r"
                                      "Please cancel the search or wait for search to finish."),
                       MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    const MsgAnswer answer =
        prompter().ask(QStringLiteral("Delete disk"),
                       QStringLiteral("Please confirm removing all data for disk \"") +
                           DecodeStored(diskNode->text()) + QStringLiteral("\" from the catalog."),
                       MsgIcon::Warning, MsgButtons::OkCancel);
    // The question let events run: the disk may have gone meanwhile.
    if (answer != MsgAnswer::Ok || !*disk)
        return;
    SetDiskDirty(diskNode, true);
    if (fromList)
        m_listModel->removeRecord(diskNode->data());
    deleteCatalogNode(diskNode);
}

void TMainForm::deleteDiskCommand(bool fromList)
{
    if (fromList && isKind(m_items.displayedNode(), rkCatalog)) {
        TItemRec *rec = focusedRecord();
        if (rec && ItemIs(rec->KindFlags, rkDisk))
            deleteDisk(rec->Node, true);
        return;
    }
    TTreeNode *node = selectedNode();
    if (isKind(node, rkDisk))
        deleteDisk(node, false);
}

void TMainForm::onDisksDropped(const std::vector<TTreeNode *> &disks, TTreeNode *target)
{
    const bool fromList = !m_tree->hasFocus() && listHasFocus();
    // After the drag has ended: the views are not in the middle of it then.
    QTimer::singleShot(0, this, [this, disks, target, fromList] { dropDisks(disks, target, fromList); });
}

void TMainForm::dropDisks(const std::vector<TTreeNode *> &disks, TTreeNode *target, bool fromList)
{
    if (!nodeAlive(target) || !isKind(target, rkCatalog))
        return;
    const std::shared_ptr<TTreeNode *> targetWatch = watchNode(target);
    std::vector<std::shared_ptr<TTreeNode *>> diskWatches;
    for (TTreeNode *disk : disks)
        diskWatches.push_back(watchNode(disk));
    if (deferWhileBusy([this, diskWatches, targetWatch, fromList] {
            std::vector<TTreeNode *> left;
            for (const auto &w : diskWatches)
                if (*w)
                    left.push_back(*w);
            if (*targetWatch)
                dropDisks(left, *targetWatch, fromList);
        }))
        return;
    std::vector<TTreeNode *> valid;
    for (TTreeNode *disk : disks)
        if (nodeAlive(disk) && isKind(disk, rkDisk) && disk->parent() != target)
            valid.push_back(disk);
    if (valid.empty())
        return;
    const OperationScope operation(m_operations);
    TTreeNode *selectedBefore = selectedNode();
    const bool ownStatus = !m_statusActive;
    if (ownStatus)
        setStatus(QStringLiteral("Moving disks, please wait..."), 1);
    ProgressSink *wait = progress();
    if (wait)
        wait->ShowWait(QStringLiteral("Moving disks to selected catalog..."), false, false);
    ++m_busy;
    TTreeNode *moved = nullptr;
    for (TTreeNode *disk : valid) {
        if (wait)
            wait->ShowWait(QStringLiteral("Moving disk \"") + DecodeStored(disk->text()) + QStringLiteral("\"..."),
                           false, false);
        try {
            moved = TransferDisk(disk, target, true);
        } catch (const EStreamError &e) {
            if (wait)
                wait->HideWait();
            showReadFailure(e.message());
            break;
        }
    }
    // The moved disks come with the levels they had read, in stored order.
    sortShownLevels(target);
    m_tree->expand(m_treeModel->indexOf(target));
    --m_busy;
    if (!fromList && moved)
        selectNode(moved);
    else if (nodeAlive(selectedBefore))
        selectNode(selectedBefore);
    refreshList(selectedNode(), true);
    if (wait)
        wait->CloseWait();
    if (ownStatus)
        setStatus(QString(), 0);
    refresh();
}

void TMainForm::backOneLevel()
{
    TTreeNode *node = selectedNode();
    if (!node || isKind(node, rkCatalog) || !node->parent())
        return;
    TTreeNode *parent = node->parent();
    // The row of the node being left is focused once the parent is shown.
    m_focusAfterFill = node->data();
    refreshList(parent, false);
    if (m_focusAfterFill) {   // the parent was shown already: focus the row now
        const QModelIndex i = m_listModel->indexOf(m_focusAfterFill);
        m_focusAfterFill = nullptr;
        if (i.isValid()) {
            listView()->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect |
                                                                 QItemSelectionModel::Rows);
            listView()->scrollTo(i);
        }
    }
    selectNode(parent);
}

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

void TMainForm::renameItem()
{
    TTreeNode *node = selectedNode();
    if (listHasFocus() && isKind(m_items.displayedNode(), rkCatalog)) {
        const QModelIndex i = listView()->currentIndex();
        if (i.isValid())
            listView()->edit(m_listModel->index(i.row(), 0));
        return;
    }
    // The catalog when the tree has the focus on one, otherwise the disk.
    TTreeNode *target = m_tree->hasFocus() && isKind(node, rkCatalog) ? node : DiskNodeOf(node);
    if (!target)
        return;
    selectNode(target);
    m_tree->setFocus();
    m_tree->edit(m_treeModel->indexOf(target));
}

bool TMainForm::treeKey(QKeyEvent *event)
{
    const int key = event->key();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool alt = event->modifiers() & Qt::AltModifier;
    TTreeNode *node = selectedNode();
    if (key == Qt::Key_Escape) {
        if (command("MenuBack")->isEnabled())
            backOneLevel();
        return true;
    }
    if (key == Qt::Key_Delete) {
        if (isKind(node, rkDisk)) {
            deleteDisk(node, false);
        } else if (isKind(node, rkCatalog)) {
            if (prompter().ask(QStringLiteral("Confirm closing"),
                               QStringLiteral("Would you really like to close selected catalog?"),
                               MsgIcon::Question, MsgButtons::OkCancel) == MsgAnswer::Ok)
                closeCatalog(node);
        }
        return true;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && alt)
        return true;   // properties: its window comes later
    const bool backspace = key == Qt::Key_Backspace || (ctrl && key == Qt::Key_PageUp);
    const bool navigation = backspace || key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_End ||
                            key == Qt::Key_Home || key == Qt::Key_Up || key == Qt::Key_Down;
    if (navigation && m_busy == 0) {
        ++m_busy;   // the selection changes that follow wait for the timer
        scheduleIdle();   // the idle moment after the key lifts the hold again
    }
    if (backspace) {
        // Backspace moves the selection to the parent node.
        if (node && node->parent())
            selectNode(node->parent());
        return true;
    }
    return false;
}

bool TMainForm::listKey(QKeyEvent *event)
{
    // Keys of an in-place editor go to the editor, not here.
    QAbstractItemView *view = listView();
    const int key = event->key();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool alt = event->modifiers() & Qt::AltModifier;
    if (key == Qt::Key_Backspace || key == Qt::Key_Escape || (ctrl && key == Qt::Key_PageUp)) {
        if (command("MenuBack")->isEnabled())
            backOneLevel();
        view->setFocus();
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (!alt && view->currentIndex().isValid())
            activateRow(view->currentIndex());
        return true;
    }
    if (key == Qt::Key_Delete) {
        deleteDiskCommand(true);
        return true;
    }
    return false;
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    // Keys are ignored while a label is edited: those that reach a view then
    // came from its in-place editor, which let them pass (Enter, after it has
    // queued the commit of the new text; acting on it here would take the
    // row away from under the editor).
    if (event->type() == QEvent::KeyPress && (watched == m_tree || watched == m_details || watched == m_icons)) {
        const auto *view = static_cast<QWidget *>(watched);
        const QWidget *focus = QApplication::focusWidget();
        if (focus && focus != view && view->isAncestorOf(focus))
            return QMainWindow::eventFilter(watched, event);
    }
    if (watched == m_tree) {
        if (event->type() == QEvent::KeyPress)
            return treeKey(static_cast<QKeyEvent *>(event));
        if (event->type() == QEvent::KeyRelease) {
            refreshStatus();
            m_listTimer.start(kListUpdateDelayMs);
        } else if (event->type() == QEvent::FocusOut) {
            if (m_listTimer.isActive() && m_busy == 0)
                onListTimer();
        }
    } else if ((watched == m_details || watched == m_icons) && event->type() == QEvent::KeyPress) {
        return listKey(static_cast<QKeyEvent *>(event));
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- the list ------------------------------------------------------------------------

QAbstractItemView *TMainForm::listView() const
{
    return m_viewStyle == vsDetails ? static_cast<QAbstractItemView *>(m_details)
                                    : static_cast<QAbstractItemView *>(m_icons);
}

bool TMainForm::listHasFocus() const
{
    return m_details->hasFocus() || m_icons->hasFocus();
}

TItemRec *TMainForm::focusedRecord() const
{
    return m_listModel->recordOf(listView()->currentIndex());
}

void TMainForm::activateRow(const QModelIndex &index)
{
    TItemRec *rec = m_listModel->recordOf(index);
    if (!rec)
        return;
    if (m_items.isPrevFolder(rec)) {
        backOneLevel();
        return;
    }
    if ((ItemIs(rec->KindFlags, rkFolder) || ItemIs(rec->KindFlags, rkDisk)) && rec->Node) {
        TTreeNode *node = rec->Node;
        refreshList(node, false);
        if (m_items.count() > 0)
            listView()->selectionModel()->setCurrentIndex(m_listModel->index(0, 0), QItemSelectionModel::ClearAndSelect |
                                                                                          QItemSelectionModel::Rows);
        selectNode(node);
        listView()->setFocus();
    }
    // Files: the double-click action of the options needs windows that come later.
}

void TMainForm::sortMainList(bool full)
{
    if (m_forest.roots().empty() || m_sortRunning)
        return;
    const bool ownStatus = !m_statusActive;
    if (ownStatus)
        setStatus(QStringLiteral("Sorting ") + QString::number(m_items.count()) +
                      QStringLiteral(" files, please wait..."), 1);
    // The window (menus, toolbar and shortcuts with it) takes no commands
    // while the sort lets events run; those that come by other ways wait
    // (deferWhileBusy).
    m_sortRunning = true;
    setEnabled(false);
    {
        EscWatcher esc;
        m_listModel->sortRows(full, [&esc] { return esc.pressed(); }, &prompter());
    }
    setEnabled(true);
    m_sortRunning = false;
    const QModelIndex current = listView()->currentIndex();
    if (current.isValid())
        listView()->scrollTo(current);
    // The selected node's level and every level on show follow the new
    // order; the others follow it when they show (onTreeExpanded).
    SortTreeLevel(selectedNode(), m_items.sortState(), m_items.compareContext());
    sortShownLevels(nullptr);
    if (ownStatus)
        setStatus(QString(), 0);
    updateSortControls();
}

void TMainForm::chooseSortColumn(int column)
{
    TSortState &sort = m_items.sortState();
    if (column == sort.columnFor(m_items.displayedNode())) {
        updateSortControls();
        return;
    }
    sort.setColumnFor(m_items.displayedNode(), column);
    updateSortControls();
    sortMainList(true);
}

void TMainForm::headerClicked(int column)
{
    if (column < 0 || column >= kListColumns)
        return;
    if (column == m_items.sortState().columnFor(m_items.displayedNode())) {
        toggleReverse();
        return;
    }
    if (m_items.count() == 0) {
        updateSortControls();
        return;
    }
    m_items.sortState().setColumnFor(m_items.displayedNode(), column);
    updateSortControls();
    sortMainList(true);
}

void TMainForm::toggleReverse()
{
    m_items.sortState().reverse = !m_items.sortState().reverse;
    updateSortControls();
    sortMainList(false);
}

void TMainForm::updateSortControls()
{
    const bool catalogView = isKind(m_items.displayedNode(), rkCatalog);
    const int column = m_items.sortState().columnFor(m_items.displayedNode());
    const bool rows = m_items.count() > 0;
    static const char *folderNames[] = {"Filename", "Extension", "Size", "Date", "Time", "Attributes"};
    // "Free Sapce" is the entry's own spelling.
    static const char *diskNames[] = {"Disk Name", "Media Type", "Volume Label", "Capacity", "Free Sapce", "Update Date"};
    for (int i = 0; i < int(m_arrange.size()); ++i) {
        m_arrange[size_t(i)]->setText(QStringLiteral("Arrange by &") +
                                      QLatin1String(catalogView ? diskNames[i] : folderNames[i]));
        m_arrange[size_t(i)]->setChecked(i == column);
        m_arrange[size_t(i)]->setEnabled(rows);
    }
    if (column >= int(m_arrange.size()))
        for (QAction *a : m_arrange)
            a->setChecked(false);
    for (int i = 0; i < 4; ++i) {
        if (QAction *b = m_sortButtons[i]) {
            b->setChecked(i == column);   // columns 4 and above have no button
            b->setEnabled(rows);
        }
    }
    if (QAction *second = m_sortButtons[1]) {
        second->setText(catalogView ? QStringLiteral("Sort by Media Type") : QStringLiteral("Sort by Extension"));
        second->setToolTip(second->text());
        second->setIcon(AppIcon(catalogView ? TAppImage::SortMedia : TAppImage::SortExtension));
    }
    if (QAction *fourth = m_sortButtons[3]) {
        fourth->setText(catalogView ? QStringLiteral("Sort by Free Space") : QStringLiteral("Sort by Date"));
        fourth->setToolTip(fourth->text());
        fourth->setIcon(AppIcon(catalogView ? TAppImage::SortFree : TAppImage::SortDate));
    }
    QAction *reverse = command("MenuReverseSort");
    reverse->setChecked(m_items.sortState().reverse);
    reverse->setEnabled(rows);
    if (QAction *button = command("ButtonReverseSort")) {
        button->setChecked(m_items.sortState().reverse);
        button->setEnabled(rows);
    }
    m_details->header()->setSortIndicator(column, m_items.sortState().reverse ? Qt::DescendingOrder
                                                                              : Qt::AscendingOrder);
}

void TMainForm::setViewStyle(int style)
{
    if (style < vsIcons || style > vsDetails)
        return;
    const bool hadFocus = listHasFocus();
    const QModelIndex current = listView()->currentIndex();
    m_viewStyle = style;
    setUpdatesEnabled(false);
    if (style == vsDetails) {
        m_listStack->setCurrentWidget(m_details);
    } else {
        m_icons->setViewMode(style == vsIcons ? QListView::IconMode : QListView::ListMode);
        m_icons->setIconSize(style == vsIcons ? QSize(32, 32) : QSize(16, 16));
        m_icons->setFlow(style == vsList ? QListView::TopToBottom : QListView::LeftToRight);
        m_icons->setWrapping(true);
        m_icons->setResizeMode(QListView::Adjust);
        m_icons->setMovement(QListView::Static);
        m_icons->setGridSize(style == vsIcons ? QSize(96, 64) : QSize());
        m_icons->setWordWrap(style == vsIcons);
        m_listStack->setCurrentWidget(m_icons);
    }
    setUpdatesEnabled(true);
    if (current.isValid())
        listView()->scrollTo(current);
    if (hadFocus)
        listView()->setFocus();
    updateViewStyleControls();
}

void TMainForm::updateViewStyleControls()
{
    const bool rows = m_items.count() > 0;
    const char *menus[] = {"MenuViewIcons", "MenuViewSmallIcons", "MenuViewList", "MenuViewDetails"};
    const char *buttons[] = {"ButtonLargeIcon", "ButtonSmallIcon", "ButtonList", "ButtonDetails"};
    for (int i = 0; i < 4; ++i) {
        command(menus[i])->setChecked(i == m_viewStyle);
        command(menus[i])->setEnabled(rows);
        if (QAction *b = command(buttons[i])) {
            b->setChecked(i == m_viewStyle);
            b->setEnabled(rows);
        }
    }
}

// ---- commands and the status bar ------------------------------------------------------------

TTreeNode *TMainForm::catalogOfSelection() const
{
    return CatalogNodeOf(selectedNode());
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

QString TMainForm::statusPanelText(int panel) const
{
    if (panel < 0 || panel > 3)
        return {};
    return m_panels[panel] ? m_panels[panel]->text() : QString();
}

void TMainForm::refreshStatus()
{
    if (!m_panels[0] || m_closing)
        return;
    const TCatalogRec *catalog = nullptr;
    if (TTreeNode *c = catalogOfSelection())
        catalog = AsCatalog(c->data());
    m_panels[0]->setText(!catalog ? QStringLiteral("Empty")
                                  : (catalog->Dirty == 1 ? QStringLiteral("Modified") : QStringLiteral("Loaded")));
    const TItemTextContext texts = m_items.textContext();
    TItemRec *focused = listHasFocus() ? focusedRecord() : nullptr;
    if (m_statusActive) {
        m_panels[1]->setText(m_statusText);
    } else if (focused) {
        m_panels[1]->setText(ItemSummary(focused, texts));
    } else {
        TTreeNode *node = selectedNode();
        m_panels[1]->setText(node ? ItemSummary(node->data(), texts) : QString());
    }
    if (focused) {
        std::vector<TItemRec *> selected;
        for (const QModelIndex &i : m_details->selectionModel()->selectedRows())
            if (TItemRec *rec = m_listModel->recordOf(i))
                selected.push_back(rec);
        m_panels[2]->setText(SelectionSummary(selected, texts));
    } else {
        m_panels[2]->setText(QString());
    }
    m_panels[3]->setPixmap(AppIcon(m_statusActive ? TAppImage::LedBusy : TAppImage::LedIdle).pixmap(14, 14));
    m_panels[3]->setToolTip(m_statusActive ? QStringLiteral("Busy") : QStringLiteral("Idle"));
    const bool modified = m_panels[0]->text() == QStringLiteral("Modified");
    command("MenuSave")->setEnabled(modified);
    if (QAction *b = command("ButtonSave"))
        b->setEnabled(modified);
}

void TMainForm::setStatus(const QString &text, int mode)
{
    if (mode == 0) {
        m_statusActive = false;
        m_statusText.clear();
        while (m_busyCursors > 0) {
            QApplication::restoreOverrideCursor();
            --m_busyCursors;
        }
        refreshStatus();
        return;
    }
    m_statusActive = true;
    m_statusText = text;
    if ((mode & 1) && m_busyCursors == 0) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++m_busyCursors;
    }
    if (m_panels[1]) {
        m_panels[1]->setText(text);
        m_panels[3]->setPixmap(AppIcon(TAppImage::LedBusy).pixmap(14, 14));
        statusBar()->repaint();
    }
}

// ---- catalogs -------------------------------------------------------------------------

Prompter &TMainForm::prompter()
{
    return *m_askPrompter;
}

void TMainForm::setPrompter(Prompter *prompter)
{
    m_prompter = prompter ? prompter : m_qtPrompter.get();
}

ProgressSink *TMainForm::progress()
{
    return m_progress.get();
}

QStringList TMainForm::chooseOpenFiles(const QString &initialFolder)
{
    return QFileDialog::getOpenFileNames(this, QStringLiteral("Open"), initialFolder,
                                         QStringLiteral("Catalog Files (*.ctf)"));
}

QString TMainForm::chooseSaveFile(const QString &title, const QString &initialFolder, const QString &fileName)
{
    QFileDialog dialog(this, title, initialFolder, QStringLiteral("Catalog Files (*.ctf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("ctf"));
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> TMainForm::askText(const QString &caption, const QString &prompt, const QString &text)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(this, caption, prompt, QLineEdit::Normal, text, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

void TMainForm::catalogShown(TTreeNode *catalogNode, bool select)
{
    const QModelIndex i = m_treeModel->indexOf(catalogNode);
    if (!i.isValid())
        return;
    // Disks come in stored order.
    SortTreeLevel(catalogNode, m_items.sortState(), m_items.compareContext());
    m_tree->expand(i);
    if (select) {
        selectNode(catalogNode);
        m_tree->setFocus();
        refreshList(catalogNode, false);
    }
}

void TMainForm::refresh()
{
    saveRecentFiles();
    updateReopenMenu();
    updateCommands();
    refreshStatus();
}

TCatalogFileSettings TMainForm::fileSettings() const
{
    TCatalogFileSettings s;
    s.CatalogPathEdit = m_options.CatalogPathEdit;
    s.CreateBakCheck = m_options.CreateBakCheck;
    return s;
}

void TMainForm::newCatalog()
{
    if (deferWhileBusy([this] { newCatalog(); }))
        return;
    const OperationScope operation(m_operations);
    NewCatalog(m_forest, *this);
    refresh();
}

void TMainForm::openCatalogs()
{
    if (deferWhileBusy([this] { openCatalogs(); }))
        return;
    const OperationScope operation(m_operations);
    if (searchRunning()) {
        prompter().ask(QStringLiteral("Can't Open Catalog"), MsgCantOpenWhileSearching(), MsgIcon::Information,
                       MsgButtons::Ok);
        return;
    }
    OpenCatalogs(m_forest, *this, nullptr, false, fileSettings(), &m_recent);
    refresh();
}

void TMainForm::openCatalogFiles(const QStringList &files)
{
    if (files.isEmpty() || m_closing || m_shuttingDown)
        return;
    // Handed over while another opening or saving runs: afterwards.
    if (deferWhileBusy([this, files] { openCatalogFiles(files); }))
        return;
    const OperationScope operation(m_operations);
    if (searchRunning()) {
        prompter().ask(QStringLiteral("Can't Open Catalog"), MsgCantOpenWhileSearching(), MsgIcon::Information,
                       MsgButtons::Ok);
        return;
    }
    QStringList list = files;
    OpenCatalogs(m_forest, *this, &list, false, fileSettings(), &m_recent);
    refresh();
}

void TMainForm::openStartupCatalogs(const QStringList &commandLine)
{
    const OperationScope operation(m_operations);
    if (!commandLine.isEmpty()) {
        // The command line's own list: what fails is said and left out.
        setSplashText(QStringLiteral("Opening listed catalogs..."));
        QStringList list = commandLine;
        OpenCatalogs(m_forest, *this, &list, true, fileSettings(), &m_recent);
    }
    if (m_options.AutoloadCheck && m_forest.roots().empty()) {
        setSplashText(QStringLiteral("Autoloading catalogs..."));
    }
    if (m_options.AutoloadCheck && m_forest.roots().empty() && !m_options.AutoloadList.isEmpty()) {
        // An entry that fails for good leaves the list, and the settings
        // remember that at the next save.
        bool changed = false;
        OpenCatalogs(m_forest, *this, &m_options.AutoloadList, true, fileSettings(), &m_recent, &changed);
        if (changed)
            m_options.setModified(true);
    }
    refresh();
}

void TMainForm::saveCatalog(bool askName)
{
    if (deferWhileBusy([this, askName] { saveCatalog(askName); }))
        return;
    const OperationScope operation(m_operations);
    TTreeNode *catalog = catalogOfSelection();
    if (!catalog)
        return;
    if (searchRunning()) {
        prompter().ask(QStringLiteral("Can't Save Catalog"), MsgCantSaveWhileSearching(), MsgIcon::Information,
                       MsgButtons::Ok);
        return;
    }
    SaveCatalog(catalog, askName, *this, fileSettings());
    refresh();
}

void TMainForm::closeCatalog(TTreeNode *catalogNode)
{
    const std::shared_ptr<TTreeNode *> catalog = watchNode(catalogNode);
    if (!*catalog)
        return;
    if (deferWhileBusy([this, catalog] {
            if (*catalog)
                closeCatalog(*catalog);
        }))
        return;
    const OperationScope operation(m_operations);
    if (!isKind(catalogNode, rkCatalog))
        return;
    if (searchRunning()) {
        prompter().ask(QStringLiteral("Can't close catalog"), MsgCantCloseWhileSearching(), MsgIcon::Information,
                       MsgButtons::Ok);
        return;
    }
    QApplication::processEvents();
    // Events ran: the catalog may have gone meanwhile.
    if (*catalog) {
        ++m_busy;
        const int answer = CloseCatalog(catalogNode, true, *this, fileSettings());
        --m_busy;
        if (answer == caCancel && *catalog)
            selectNode(catalogNode);
    }
    if (!m_shuttingDown)
        refreshList(selectedNode(), true);
    refresh();
}

void TMainForm::closeAllCatalogs()
{
    if (deferWhileBusy([this] { closeAllCatalogs(); }))
        return;
    const OperationScope operation(m_operations);
    if (searchRunning()) {
        prompter().ask(QStringLiteral("Can't close catalog"), MsgCantCloseWhileSearching(), MsgIcon::Information,
                       MsgButtons::Ok);
        return;
    }
    if (prompter().ask(QStringLiteral("Confirm closing"),
                       QStringLiteral("About to close all opened catalogs. Please confirm."), MsgIcon::Question,
                       MsgButtons::OkCancel) != MsgAnswer::Ok)
        return;
    ++m_busy;
    CloseAllCatalogs(m_forest, true, *this, fileSettings());
    --m_busy;
    refreshList(selectedNode(), true);
    refresh();
}

bool TMainForm::prepareToClose()
{
    const OperationScope operation(m_operations);
    if (SaveModifiedCatalogs(m_forest, *this, fileSettings()) == caCancel) {
        setStatus(QString(), 0);
        updateCommands();
        return false;
    }
    setStatus(QStringLiteral("Preparing to close the program..."), 1);
    storePlacement();
    hide();
    // Nothing more starts: no list refills, no autosave, no idle work.
    m_shuttingDown = true;
    m_listTimer.stop();
    m_autoSaveTimer.stop();
    m_idleRetry.stop();
    m_autoSaveDue = false;
    if (m_splash)
        m_splash->close();
    m_listModel->clear();
    const bool wasShuttingDown = ShuttingDown();
    SetShuttingDown(true);
    ++m_busy;
    try {
        CloseAllCatalogs(m_forest, false, *this, fileSettings());
    } catch (const std::exception &) {
        // Whatever fails while closing down is of no use to anyone now.
    }
    --m_busy;
    SetShuttingDown(wasShuttingDown);
    // Settings changed on the way (an autoload entry dropped) are kept.
    if (m_registry)
        m_options.saveIfModified(*m_registry, prompter());
    setStatus(QString(), 0);
    return true;
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    // A close that arrives while one of the window's operations processes
    // events would free what that operation works on: it waits for the end.
    if (m_operations > 0 || m_sortRunning) {
        m_closeRequested = true;
        scheduleIdle();
        event->ignore();
        return;
    }
    m_closeRequested = false;
    if (!prepareToClose()) {
        event->ignore();
        return;
    }
    m_closing = true;
    event->accept();
}

void TMainForm::applyAutoSaveSettings()
{
    m_autoSaveDue = false;
    m_autoSaveTimer.stop();
    if (m_options.AutoSaveCheck) {
        const int minutes = std::clamp(m_options.AutoSaveEdit, kAutoSaveMinMinutes, kAutoSaveMaxMinutes);
        const qint64 period = qint64(minutes) * m_autoSaveMinuteMs;
        m_autoSaveTimer.start(int(std::min<qint64>(period, std::numeric_limits<int>::max())));
    }
}

void TMainForm::setAutoSaveMinuteMs(int ms)
{
    m_autoSaveMinuteMs = std::max(1, ms);
    applyAutoSaveSettings();
}

void TMainForm::onAutoSaveTimer()
{
    // A tick only marks the save as due; it runs at the next idle moment.
    m_autoSaveDue = true;
    scheduleIdle();
}

// ---- start-up and idle moments ---------------------------------------------------------------

void TMainForm::setSplash(TSplashForm *splash)
{
    m_splash = splash;
}

void TMainForm::setSplashText(const QString &text)
{
    if (m_splash)
        m_splash->setText(text);
}

void TMainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_firstIdlePending)
        scheduleIdle();
}

void TMainForm::scheduleIdle()
{
    if (m_idleQueued || m_closing)
        return;
    m_idleQueued = true;
    // A zero timer runs once the events pending now have been handled.
    QTimer::singleShot(0, this, [this] {
        m_idleQueued = false;
        applicationIdle();
    });
}

bool TMainForm::idleBlocked() const
{
    return m_closing || m_shuttingDown || m_inIdle || m_operations > 0 || m_sortRunning ||
           QApplication::activeModalWidget() || QApplication::activePopupWidget();
}

void TMainForm::applicationIdle()
{
    if (!(m_firstIdlePending || m_autoSaveDue || m_busy > 0 || m_closeRequested))
        return;
    if (idleBlocked()) {
        if (!m_closing && !m_shuttingDown && !m_inIdle)
            m_idleRetry.start();
        return;
    }
    if (m_closeRequested) {
        m_closeRequested = false;
        close();
        return;
    }
    m_inIdle = true;
    if (m_firstIdlePending) {
        m_firstIdlePending = false;
        firstIdle();
    } else {
        if (m_autoSaveDue) {
            // Applying the settings clears the mark and restarts the period.
            applyAutoSaveSettings();
            {
                const OperationScope operation(m_operations);
                AutoSave(m_forest, *this, fileSettings());
            }
            refresh();
            emit autoSaveDone();
        }
        m_busy = 0;
    }
    m_inIdle = false;
    // Work that came up meanwhile (a tick while the first catalogs opened).
    if (m_autoSaveDue || m_closeRequested || m_busy > 0)
        scheduleIdle();
}

void TMainForm::firstIdle()
{
    openStartupCatalogs(m_commandLine);
    m_commandLine.clear();
    setSplashText(TSplashForm::DoneText());
    if (m_firstRun) {
        // The wizard's window must not sit below the splash.
        if (m_splash)
            m_splash->finishSoon();
        startSetupWizard();
    }
    updateCommands();
    emit firstIdleDone();
}

void TMainForm::startSetupWizard()
{
    emit setupWizardRequested();
}

void TMainForm::saveRecentFiles()
{
    if (m_registry)
        SaveRecentFiles(m_recent, *m_registry);
}

void TMainForm::updateReopenMenu()
{
    if (!m_reopenMenu)
        return;
    m_reopenMenu->clear();
    int n = 0;
    for (const QString &file : m_recent.files()) {
        QAction *a = m_reopenMenu->addAction(QStringLiteral("&%1 %2").arg(++n).arg(file));
        a->setObjectName(QStringLiteral("Reopen%1").arg(n));
        connect(a, &QAction::triggered, this, [this, file] { openCatalogFiles({file}); });
    }
    m_reopenMenu->setEnabled(n > 0);
}

// ---- placement and dropped files ---------------------------------------------------------

void TMainForm::restorePlacement()
{
    if (!m_registry)
        return;
    const std::optional<TMainWindowPos> pos = RestoreMainWindowPos(*m_registry);
    if (!pos)
        return;
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (screen && PlacementOnScreen(pos->Bounds, screen->virtualGeometry()) && pos->Bounds.width() > 0 &&
        pos->Bounds.height() > 0)
        setGeometry(pos->Bounds);
    if (pos->TreeWidth > 0)
        m_splitter->setSizes({pos->TreeWidth, std::max(1, width() - pos->TreeWidth)});
    setViewStyle(pos->ViewStyle <= vsDetails ? int(pos->ViewStyle) : int(vsDetails));
    m_items.sortState() = TSortState::fromByte(pos->SortByte);
}

void TMainForm::storePlacement()
{
    // The toolbar's side and visibility go with the other settings.
    if (m_toolbar) {
        int dock = 0;
        switch (toolBarArea(m_toolbar)) {
        case Qt::BottomToolBarArea: dock = 1; break;
        case Qt::LeftToolBarArea: dock = 2; break;
        case Qt::RightToolBarArea: dock = 3; break;
        default: dock = 0; break;
        }
        const bool visible = !m_toolbar->isHidden();
        if (dock != m_options.toolbarDock() || visible != m_options.ToolbarVisible) {
            m_options.setToolbarDock(dock);
            m_options.ToolbarVisible = visible;
            m_options.setModified(true);
        }
    }
    if (!m_registry)
        return;
    TMainWindowPos pos;
    // A maximized window keeps its restored placement.
    pos.Bounds = isMaximized() ? normalGeometry() : geometry();
    pos.TreeWidth = m_splitter->sizes().value(0);
    pos.ViewStyle = quint8(m_viewStyle);
    pos.SortByte = m_items.sortState().toByte();
    const QScreen *screen = QGuiApplication::primaryScreen();
    StoreMainWindowPos(*m_registry, pos, screen ? screen->availableGeometry().size() : QSize());
    saveRecentFiles();
}

void TMainForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent *event)
{
    QStringList catalogs;
    int others = 0;
    for (const QUrl &url : event->mimeData()->urls()) {
        const QString file = url.toLocalFile();
        if (QFileInfo(file).suffix().toLower() == QStringLiteral("ctf"))
            catalogs << file;
        else
            ++others;
    }
    event->acceptProposedAction();
    if (!catalogs.isEmpty()) {
        openCatalogFiles(catalogs);
    } else if (others > 0) {
        raise();
        activateWindow();
        prompter().ask(QStringLiteral("Invalid file"),
                       others == 1 ? QStringLiteral("Sorry, the file you dropped does not seem to be a catalog file.")
                                   : QStringLiteral("Sorry, none of files you just dropped is a valid catalog file."),
                       MsgIcon::Information, MsgButtons::Ok);
    }
}

TDrives &TMainForm::drives()
{
    if (!m_drives)
        m_drives = std::make_unique<TDrives>();
    return *m_drives;
}

void TMainForm::setDrives(std::unique_ptr<TDrives> drives)
{
    m_drives = std::move(drives);
}

void TMainForm::addDiskCommand(bool update)
{
    if (m_forest.roots().empty())
        return;   // a disk needs a catalog to go into
    if (deferWhileBusy([this, update] { addDiskCommand(update); }))
        return;
    // The scan lets events run: a close or a hand-over that comes meanwhile waits for its end.
    const OperationScope operation(m_operations);
    TAddDiskCommandHooks hooks;
    hooks.searchRunning = searchRunning();
    hooks.status = [this](const QString &text) { setStatus(text, text.isEmpty() ? 0 : 1); };
    // Why the medium stayed in (a fixed disk, the system's own disk) outlives
    // the progress window for a while, over the status panels.
    hooks.note = [this](const QString &text) { statusBar()->showMessage(text, kScanNoteMilliseconds); };
    // The progress window lets timers run during the scan: no autosave of a half-built disk.
    m_autoSaveTimer.stop();
    TTreeNode *disk =
        RunAddDiskCommand(this, m_forest, selectedNode(), update, m_options, drives(), prompter(), hooks);
    applyAutoSaveSettings();
    if (disk && nodeAlive(disk)) {
        // The new disk among the others; its folders, in the order of the
        // scan, follow the sort as they show.
        sortShownLevels(disk->parent());
        selectNode(disk);
    }
    refreshList(selectedNode(), true);
    refreshStatus();
    updateCommands();
}
