// The main window: the catalog tree on the left, the item list on the right
// in one of four view styles, menus and toolbar, the four-panel status bar.
// It owns the forest of open catalogs and the item list, and it is the host
// of the catalog operations. Its jobs live in one file each:
//   QuillonMain.cpp   construction and destruction, the status bar, idle
//                     moments (the start-up work, a due autosave, the
//                     keyboard hold), placement;
//   MainCommands.cpp  the command table (MainCommands.h) and the menus,
//                     context menus and toolbar built from it;
//   MainView.cpp      the tree and the list: the list follows the tree's
//                     selection, keys, renaming in place, sorting, view styles;
//   MainCatalogs.cpp  the catalog host: open, save, close, recent files,
//                     autosave, adding and deleting disks, and closing the
//                     program's catalogs when the window closes;
//   MainDragDrop.cpp  disks dragged onto another catalog, files dropped on
//                     the window.
//   MainFileActions.cpp  the item commands: properties, viewing, launching,
//                     the file manager, extracting, temporary files at exit.
#pragma once

#include "browser/Commands.h"
#include "browser/ItemList.h"
#include "catalog/CatalogFiles.h"
#include "catalog/Forest.h"
#include "widgets/ui/ViewStyles.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <unordered_set>
#include <vector>

class QAbstractItemView;
class QActionGroup;
class QLabel;
class QListView;
class QMenu;
class QMimeData;
class QSplitter;
class QStackedWidget;
class QTreeView;
class QtPrompter;
class QtProgressSink;
class Registry;
class TCatalogTreeModel;
class TItemListModel;
class TOptions;
class TSearchForm;
class TSplashForm;
class TUserList;
class TUserListForm;
class QDialog;
namespace mainform {
class OperationScope;
struct TSearchRefusal;
}
struct TMainCommand;


class TDrives;
class QToolBar;

class TMainForm : public QMainWindow, public TCatalogHost, private ForestObserver
{
    Q_OBJECT
public:
    // options and registry stay the caller's; registry may be null (nothing
    // is read or stored then).
    TMainForm(TOptions &options, Registry *registry, QWidget *parent = nullptr);
    ~TMainForm() override;

    // Questions go to prompter (not owned); null: message boxes.
    void setPrompter(Prompter *prompter);

    TForest &forest() { return m_forest; }
    TItemList &itemList() { return m_items; }
    TCatalogTreeModel *treeModel() const { return m_treeModel; }
    TItemListModel *listModel() const { return m_listModel; }
    QTreeView *treeView() const { return m_tree; }
    QTreeView *detailsView() const { return m_details; }
    QListView *iconView() const { return m_icons; }
    // The view of the list in the current style.
    QAbstractItemView *listView() const;
    // A command by its object name ("MenuOpen", "ButtonSort2", ...).
    QAction *command(const QString &name) const;
    // Every command of the window, one row each (MainCommands.h).
    static std::span<const TMainCommand> commandTable();
    QMenu *treeMenu() const { return m_treeMenu; }
    const TRecentFiles &recentFiles() const { return m_recent; }

    // --- the tree
    TTreeNode *selectedNode() const;
    // Selects a node (and shows it); the list follows as after a click.
    void selectNode(TTreeNode *node);
    // The body of a selection change: fills the list for node; forced
    // rebuilds even when it is shown already.
    void refreshList(TTreeNode *node, bool forced);
    // Removes a node with everything below it, keeping list and selection sound.
    void deleteCatalogNode(TTreeNode *node);
    // "Delete Disk" with its question; fromList: the disk row focused in the list.
    void deleteDisk(TTreeNode *diskNode, bool fromList);
    // Moves disks onto another catalog (drag and drop).
    void dropDisks(const std::vector<TTreeNode *> &disks, TTreeNode *targetCatalog, bool fromList);
    // "&Back One Level".
    void backOneLevel();
    // Brings the tree's context menu up to date for a target (null: none).
    void prepareTreeMenu(TTreeNode *target);
    // Number of keyboard-navigation holds on list refreshes.
    int busyCount() const { return m_busy; }
    bool listUpdatePending() const { return m_listTimer.isActive(); }

    // --- the list
    // Sorts the list (full) or reverses it, keeping the selection.
    void sortMainList(bool full);
    // A sort command for a column of the current level.
    void chooseSortColumn(int column);
    // A click on a column header.
    void headerClicked(int column);
    void toggleReverse();
    void setViewStyle(int style);
    int viewStyle() const { return m_viewStyle; }
    // Enter or a double click on a row.
    void activateRow(const QModelIndex &index);

    // --- catalogs
    void newCatalog();
    void openCatalogs();
    // Opens files as from a dialog (hand-over from a second instance, dropped files).
    void openCatalogFiles(const QStringList &files);
    // The start-up opening: command-line catalogs, then the autoload list.
    void openStartupCatalogs(const QStringList &commandLine);
    void saveCatalog(bool askName);
    void closeCatalog(TTreeNode *catalogNode);
    void closeAllCatalogs();
    // Asks about modified catalogs and closes everything; false when cancelled.
    bool prepareToClose();

    // --- the search window
    // Opens the search window (made on first use) in normal or duplicates
    // mode; while a search runs it only comes to the front.
    void showSearchWindow(bool duplicates);
    // The window once made, else null.
    TSearchForm *searchForm() const { return m_searchForm; }
    // "Locate in Catalog": the record's folder, disk or catalog is selected
    // in the tree and the record's row focused in the list.
    void locateItem(TItemRec *rec);

    // Categories, flags, the user list and the catalog manager. The
    // categories dialog says whether it closed with OK.
    bool categoriesSetup(TTreeNode *node);
    void setCategoriesFor(const std::vector<TItemRec *> &records);
    void addToUserList(const std::vector<TItemRec *> &records);
    void showUserList();
    void catalogManager();
    TUserList &userList() { return *m_userList; }
    TUserListForm *userListForm() const { return m_userListForm; }
    // The selected rows of the item list, without the one leading a level up.
    std::vector<TItemRec *> selectedListRecords() const;
    // Called with each of these modal windows just before it shows (tests drive them).
    void setDialogHook(std::function<void(QDialog *)> hook) { m_dialogHook = std::move(hook); }

    // --- status bar
    QString statusPanelText(int panel) const;
    void refreshStatus();
    void updateCommands();

    // --- TCatalogHost
    Prompter &prompter() override;
    ProgressSink *progress() override;
    QStringList chooseOpenFiles(const QString &initialFolder) override;
    QString chooseSaveFile(const QString &title, const QString &initialFolder, const QString &fileName) override;
    std::optional<QString> askText(const QString &caption, const QString &prompt, const QString &text) override;
    bool shuttingDown() const override { return m_shuttingDown; }
    bool searchRunning() const override;
    void setStatus(const QString &text, int mode) override;
    bool statusActive() const override { return m_statusActive; }
    void catalogShown(TTreeNode *catalogNode, bool select) override;
    void refresh() override;

    // The settings of the catalog operations, from the options.
    TCatalogFileSettings fileSettings() const;
    // Applies the autosave settings (period, on/off) and clears the due mark.
    void applyAutoSaveSettings();

    // --- start-up and idle moments
    // Catalog files of the command line, opened quietly at the first idle moment.
    void setCommandLineFiles(const QStringList &files) { m_commandLine = files; }
    // The settings had no format marker: a first run, the setup wizard is due.
    void setFirstRun(bool firstRun) { m_firstRun = firstRun; }
    // The splash window whose text follows the start (not owned; it may close
    // and go away at any time).
    void setSplash(TSplashForm *splash);
    // Milliseconds in one minute of the autosave period (tests shorten it).
    void setAutoSaveMinuteMs(int ms);
    bool firstIdlePending() const { return m_firstIdlePending; }
    bool autoSaveDue() const { return m_autoSaveDue; }
    // The idle handler: does the work of the first idle moment once, later
    // a due autosave and the clearing of the keyboard hold. Nothing runs while
    // a dialog, a menu or one of the window's operations is open; the work
    // then waits for the next idle moment.
    void applicationIdle();
    // Whether something holds idle work back right now.
    bool idleBlocked() const;
    // "&Add/Update Disk Image", "Add New Disk Image" (update false) and
    // "Update Disk Image" (update true): the Add Disk dialog, then the scan;
    // the new disk is selected. The drive table is made on first use and
    // kept for the run, so letters stay bound to their devices.
    void addDiskCommand(bool update);
    TDrives &drives();
    // Replaces the drive table (tests give one over folders).
    void setDrives(std::unique_ptr<TDrives> drives);
    // --- the item commands (MainFileActions.cpp)
    // The item a command from sender acts on.
    TCurrentItem currentItem(TCommandSender sender) const;
    // The item commands' states for the current item (mask 2 of the enabling rules).
    TCommandStates itemCommandStates() const;
    // "Item Properties": the dialog for the current item; its edits applied.
    void showItemProperties(TCommandSender sender);
    // "View File", "Launch File", "Open in Explorer" and "Extract To..." on the current item.
    using TFileAction = ::TFileAction;
    void fileActionCommand(TFileAction action, TCommandSender sender);
    // The same commands asked for by the other windows on their records:
    // the properties of rec, and an action on focused (extraction takes the
    // selected records, else focused).
    void showRecordProperties(TItemRec *rec);
    void recordFileAction(TFileAction action, TItemRec *focused, const std::vector<TItemRec *> &selected);
    // Deletes, keeps or asks about the extracted temporary files, as the settings say (at exit).
    void cleanTemporaryFiles();

signals:
    // The list was filled for node (tests and the status follow it).
    void listFilled(TTreeNode *node);
    // The first idle moment's work is done.
    void firstIdleDone();
    // A first run wants the setup wizard (see startSetupWizard).
    void setupWizardRequested();
    // An autosave ran on an idle moment.
    void autoSaveDone();

protected:
    // The setup wizard starts here on a first run. There is no wizard window
    // yet: this only announces it through setupWizardRequested.
    virtual void startSetupWizard();

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // The properties of an item and the file actions on it (extraction on
    // items when given, else on item).
    void showPropertiesOf(const TCurrentItem &item);
    void runFileAction(TFileAction action, const TCurrentItem &item, std::vector<TCurrentItem> items);
    // ForestObserver: keeps the list from showing records that go away.
    void nodeAboutToBeRemoved(TTreeNode *node) override;

    // The actions of the command table, then the menus and the toolbar that show them.
    void createCommands();
    void createMenus();
    void createToolbar();
    void createStatusBar();
    void createViews();

    void onTreeCurrentChanged(const QModelIndex &current);
    void onListTimer();
    void onNodeRenamed(TTreeNode *node);
    void onDisksDropped(const std::vector<TTreeNode *> &disks, TTreeNode *target);
    void onLevelLoading(TTreeNode *node);
    void onLevelLoaded(TTreeNode *node, const QString &failure);
    void onTreeContextMenu(const QPoint &pos);
    void onListContextMenu(const QPoint &pos);
    void onAutoSaveTimer();
    // Queues the idle handler once, after the events now pending.
    void scheduleIdle();
    void firstIdle();
    void setSplashText(const QString &text);
    void renameItem();
    void deleteDiskCommand(bool fromList);
    bool treeKey(QKeyEvent *event);
    bool listKey(QKeyEvent *event);
    void updateSortControls();
    void updateViewStyleControls();
    void updateReopenMenu();
    void storeHeaderState();
    void applyHeaderState();
    void showReadFailure(const QString &message);
    TTreeNode *catalogOfSelection() const;
    TItemRec *focusedRecord() const;
    bool listHasFocus() const;
    // The first start's size and place (no stored placement).
    void applyDefaultPlacement();
    void restorePlacement();
    void storePlacement();
    void storeUserListPlacement();
    // The user list's drop handler: whether the drag's source may add its
    // selection now, and on drop, adds it.
    bool userListDrop(const QMimeData *data, bool drop);
    void saveRecentFiles();
    // The nodes expanded in the tree, whose children are on show.
    std::unordered_set<const TTreeNode *> expandedNodes() const;
    // Orders the levels on show at and below from (null: everywhere) by the
    // current sort; from's own level always.
    void sortShownLevels(TTreeNode *from);
    // Whether node is still a node of the forest (deferred work checks first).
    bool nodeAlive(TTreeNode *node) const;
    // A watch on node that reads null once the node, or a node above it,
    // leaves the forest: what survives a stretch in which events run. It reads
    // null from the start when node is no node of the forest.
    std::shared_ptr<TTreeNode *> watchNode(TTreeNode *node);
    // While a sort or another of the window's operations runs, a command that
    // changes the forest must not start inside it (the events they process
    // would let it free what they work on): it is tried again later through
    // again and true is returned. False: go ahead now.
    bool deferWhileBusy(std::function<void()> again);
    // The prologue every command that changes the forest shares: deferred
    // while the window is busy (again runs it later), then counted as one of
    // the window's operations, and refused with refusal's message while a
    // search runs (null: never refused). The scope to hold while the command
    // goes on; null when it must not go on now.
    std::unique_ptr<mainform::OperationScope> beginForestCommand(std::function<void()> again,
                                                                 const mainform::TSearchRefusal *refusal);

    TOptions &m_options;
    Registry *m_registry;
    std::unique_ptr<TDrives> m_drives;
    QToolBar *m_toolbar = nullptr;
    TForest m_forest;
    TItemList m_items;
    TRecentFiles m_recent;

    TCatalogTreeModel *m_treeModel = nullptr;
    TItemListModel *m_listModel = nullptr;
    QSplitter *m_splitter = nullptr;
    QTreeView *m_tree = nullptr;
    QStackedWidget *m_listStack = nullptr;
    QTreeView *m_details = nullptr;
    QListView *m_icons = nullptr;
    QMenu *m_treeMenu = nullptr;
    QMenu *m_listMenu = nullptr;
    QMenu *m_reopenMenu = nullptr;
    QLabel *m_panels[4] = {nullptr, nullptr, nullptr, nullptr};
    std::map<QString, QAction *> m_commands;
    QActionGroup *m_viewGroup = nullptr;
    QActionGroup *m_arrangeGroup = nullptr;
    std::vector<QAction *> m_arrange;
    // The toolbar's sort buttons by the column they sort (0 to 3), wherever
    // the layout puts them.
    QAction *m_sortButtons[4] = {nullptr, nullptr, nullptr, nullptr};
    std::vector<std::weak_ptr<TTreeNode *>> m_watches;

    std::unique_ptr<QtPrompter> m_qtPrompter;
    Prompter *m_prompter = nullptr;
    // What prompter() gives out: m_prompter behind the splash's hiding.
    std::unique_ptr<Prompter> m_askPrompter;
    std::unique_ptr<QtProgressSink> m_progress;
    TSearchForm *m_searchForm = nullptr;
    // After the forest: the list's records go before the forest frees them.
    std::unique_ptr<TUserList> m_userList;
    TUserListForm *m_userListForm = nullptr;
    std::function<void(QDialog *)> m_dialogHook;

    QTimer m_listTimer;
    QTimer m_autoSaveTimer;
    // Polls while idle work is held back by a dialog or an operation.
    QTimer m_idleRetry;
    int m_autoSaveMinuteMs = 60 * 1000;
    int m_busy = 0;
    // The window's own operations running (opening, saving, closing, ...);
    // idle work and closing wait for them.
    int m_operations = 0;
    bool m_firstIdlePending = true;
    bool m_idleQueued = false;
    bool m_inIdle = false;
    bool m_firstRun = false;
    bool m_closeRequested = false;
    QStringList m_commandLine;
    QPointer<TSplashForm> m_splash;
    bool m_autoSaveDue = false;
    bool m_sortRunning = false;
    bool m_shuttingDown = false;
    bool m_closing = false;
    bool m_statusActive = false;
    int m_busyCursors = 0;
    QString m_statusText;
    int m_viewStyle = vsDetails;
    TColumnSet m_headerSet = TColumnSet::None;
    QByteArray m_headerStates[2];
    const TItemRec *m_focusAfterFill = nullptr;
};
