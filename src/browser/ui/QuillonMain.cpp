// The main window itself: its construction and orderly destruction, the
// four-panel status bar, the watches that let deferred work find out whether
// a node is still there, the program's life at idle moments (the first one's
// start-up work, a due autosave, the keyboard hold), and the window's
// placement. The other jobs have their own files: MainCommands (the command
// table, and the menus and toolbar built from it), MainView (tree and list),
// MainCatalogs (the catalog host), MainDragDrop (drag and drop).
#include "browser/ui/QuillonMain.h"

#include "catalog/UserList.h"

#include "browser/TreeSort.h"
#include "browser/ui/CatalogTreeModel.h"
#include "browser/ui/ItemListModel.h"
#include "browser/ui/MainFormShared.h"
#include "browser/ui/Splash.h"
#include "browser/ui/UserListForm.h"
#include "search/ui/FoundListModel.h"
#include "search/SearchThread.h"
#include "search/ui/SearchForm.h"
#include "browser/Utils.h"
#include "catalog/CatalogOps.h"
#include "catalog/LoadSave.h"
#include "catalog/ResultLists.h"
#include "catalog/UserList.h"
#include "platform/Drives.h"
#include "settings/Options.h"
#include "settings/RecentFiles.h"
#include "settings/Registry.h"
#include "widgets/ui/Icons.h"
#include "widgets/ui/ItemDrag.h"
#include "widgets/ui/Placement.h"
#include "widgets/ui/PropertiesForm.h"
#include "widgets/ui/QtPrompter.h"

#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>

using namespace mainform;

namespace {

// A first window on a small screen is still this large (or the whole screen).
constexpr int kMinWindowWidth = 640, kMinWindowHeight = 420;
// The tree pane of a first window is at least this wide, where it can be.
constexpr int kTreePaneMin = 220;
// Status bar: fixed widths of the state panel and the activity light; the
// other two share what is left, 70 % and 30 %.
constexpr int kStatePanelWidth = 80;
constexpr int kLedPanelWidth = 22;

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

} // namespace

// ---- construction -------------------------------------------------------------------------------

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
    m_userList = std::make_unique<TUserList>();
    // A file the user list takes while the search walks its folder keeps its list.
    m_userList->setKeepHook([this](const TTreeNode *owner) {
        if (searchRunning())
            m_searchForm->controller().keepFileList(owner);
    });

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
    createCommands();
    createMenus();
    createToolbar();
    createStatusBar();
    m_forest.addObserver(this);
    SetCatalogDirtyHook([this](TTreeNode *) {
        refreshStatus();
        updateCommands();
    });
    // The properties dialog's "&Edit" and description font.
    TPropertiesHooks properties;
    properties.editCategories = [this] {
        // Not inside another of the window's operations (the catalog
        // manager's properties): it would wait until that ends.
        return m_operations == 0 && !m_sortRunning && categoriesSetup(selectedNode());
    };
    properties.categoriesChanged = [this] { updateCommands(); };
    properties.descFont = m_options.FontSlots[kDescFontSlot];
    SetPropertiesHooks(std::move(properties));
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
    // The search window and its worker go first: they read the forest.
    delete m_searchForm;
    m_searchForm = nullptr;
    // The user list lets go of its records while they still exist.
    storeUserListPlacement();
    delete m_userListForm;
    m_userListForm = nullptr;
    m_userList.reset();
    disconnect(qApp, nullptr, this, nullptr);
    m_tree->selectionModel()->disconnect(this);
    m_details->selectionModel()->disconnect(this);
    SetCatalogDirtyHook({});
    SetPropertiesHooks({});
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

// ---- the status bar -----------------------------------------------------------------------------

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
    m_panels[1]->installEventFilter(this);
    refreshStatus();
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
    const bool searching = !m_statusActive && searchRunning();
    m_panels[3]->setPixmap(
        AppIcon(m_statusActive ? TAppImage::LedBusy : searching ? TAppImage::LedSearch : TAppImage::LedIdle)
            .pixmap(14, 14));
    m_panels[3]->setToolTip(m_statusActive ? QStringLiteral("Busy")
                                           : searching ? QStringLiteral("Searching") : QStringLiteral("Idle"));
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

// ---- nodes that deferred work holds -------------------------------------------------------------

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

// ---- start-up and idle moments ------------------------------------------------------------------

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
        // A save while a search walks the catalogs waits for its end
        // (showSearchWindow's end-of-search hook brings the idle moment).
        if (m_autoSaveDue && !searchRunning()) {
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
    if ((m_autoSaveDue && !searchRunning()) || m_closeRequested || m_busy > 0)
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

// ---- placement ----------------------------------------------------------------------------------

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
    if (m_searchForm)
        StorePlacement(m_searchForm, *m_registry, QStringLiteral("SearchWndPos"));
    saveRecentFiles();
}

// ---- the search window --------------------------------------------------------------------------

bool TMainForm::searchRunning() const
{
    return m_searchForm && m_searchForm->searching();
}

void TMainForm::showSearchWindow(bool duplicates)
{
    if (m_closing || m_shuttingDown)
        return;
    if (!m_searchForm) {
        m_searchForm = new TSearchForm(m_forest, this);
        m_searchForm->setPrompter(m_prompter);
        TSearchFormSettings settings;
        settings.formattedSizes = m_options.FormattedSizesCheck;
        settings.descriptionTips = m_options.DescAsTipsCheck;
        settings.archivesAsFolders = m_options.ArchivesSortCheck;
        settings.doubleClick = m_options.FileDoubleClickCombo;
        settings.buttonSize = m_options.ButtonSizeBar;
        settings.oldStyleButtons = m_options.OldButtonsCheck;
        m_searchForm->applySettings(settings);
        connect(m_searchForm, &TSearchForm::searchStateChanged, this, [this] {
            // The tree does not repaint node by node while the search loads levels.
            m_treeModel->holdNodeChanges(searchRunning());
            updateCommands();
            refreshStatus();
            // An autosave that fell due during the search runs now.
            if (!searchRunning() && m_autoSaveDue)
                scheduleIdle();
        });
        connect(m_searchForm, &TSearchForm::locateRequested, this, &TMainForm::locateItem);
        connect(m_searchForm, &TSearchForm::setCategoriesRequested, this, &TMainForm::setCategoriesFor);
        connect(m_searchForm, &TSearchForm::addToUserListRequested, this, &TMainForm::addToUserList);
        connect(m_searchForm, &TSearchForm::propertiesRequested, this, &TMainForm::showRecordProperties);
        connect(m_searchForm, &TSearchForm::fileActionRequested, this, &TMainForm::recordFileAction);
        // Found disks can be dragged onto another catalog of the tree, any
        // found item onto the user list.
        m_searchForm->model()->setDragData(
            [](const std::vector<TItemRec *> &records) -> QMimeData * {
                if (records.empty())
                    return nullptr;
                std::vector<TTreeNode *> disks;
                for (TItemRec *rec : records)
                    if (ItemIs(rec->KindFlags, rkDisk) && rec->Node)
                        disks.push_back(rec->Node);
                QMimeData *data = disks.empty() ? new QMimeData : TCatalogTreeModel::diskMimeData(disks);
                SetDragSource(data, TDragSource::FoundList);
                return data;
            },
            {TCatalogTreeModel::kDiskMimeType, ItemDragMimeType()});
        // Where the window was last; its height follows its list area.
        if (m_registry)
            RestorePlacement(m_searchForm, *m_registry, QStringLiteral("SearchWndPos"), TPlacedPart::KeepHeight);
    }
    m_searchForm->showMode(duplicates);
}

void TMainForm::locateItem(TItemRec *rec)
{
    if (!rec || !rec->Node || !nodeAlive(rec->Node))
        return;
    // A file shows in its folder's list, a folder or disk in its parent's.
    TTreeNode *level = ItemIs(rec->KindFlags, rkFile) ? rec->Node : rec->Node->parent();
    if (!level) {
        selectNode(rec->Node);
        return;
    }
    selectNode(level);
    refreshList(level, false);
    const QModelIndex i = m_listModel->indexOf(rec);
    if (i.isValid()) {
        listView()->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
        listView()->scrollTo(i);
    }
    raise();
    activateWindow();
}
