// The main window as the host of the catalog operations: the questions,
// file choosers and progress they use, and the commands that open, save and
// close catalogs, add and delete disks, keep the recent files and the
// Reopen menu, save on the autosave period, and close the program's
// catalogs when the window closes.
#include "browser/ui/QuillonMain.h"

#include "browser/TreeSort.h"
#include "browser/ui/CatalogTreeModel.h"
#include "browser/ui/ItemListModel.h"
#include "browser/ui/MainFormShared.h"
#include "browser/ui/UserListForm.h"
#include "browser/ui/Splash.h"
#include "catalog/CatalogOps.h"
#include "catalog/LoadSave.h"
#include "catalog/ResultLists.h"
#include "platform/Drives.h"
#include "platform/Texts.h"
#include "scan/ui/AddDisk.h"
#include "search/ui/SearchForm.h"
#include "settings/Options.h"
#include "settings/RecentFiles.h"
#include "settings/Registry.h"
#include "widgets/ui/QtPrompter.h"
#include "widgets/ui/TextPrompt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMenu>
#include <QStatusBar>
#include <QTreeView>

#include <algorithm>
#include <limits>

using namespace mainform;

namespace {

// The refusals of the commands a running search holds back.
constexpr TSearchRefusal kOpenRefusal = {"Can't Open Catalog", MsgCantOpenWhileSearching};
constexpr TSearchRefusal kSaveRefusal = {"Can't Save Catalog", MsgCantSaveWhileSearching};
constexpr TSearchRefusal kCloseRefusal = {"Can't close catalog", MsgCantCloseWhileSearching};
QString msgCantRemoveDiskWhileSearching()
{
    return QStringLiteral("Sorry, removing disk is not allowed while search is in progress.\r"
                          "Please cancel the search or wait for search to finish.");
}
constexpr TSearchRefusal kRemoveDiskRefusal = {"Can't remove disk", msgCantRemoveDiskWhileSearching};

// How long a line left by a scan (why the medium was not ejected) shows.
constexpr int kScanNoteMilliseconds = 10000;
// The autosave period's bounds in minutes, as the settings allow.
constexpr int kAutoSaveMinMinutes = 2;
constexpr int kAutoSaveMaxMinutes = 240;
// How long closing the program waits for a cancelled search to end.
constexpr int kSearchStopWaitMs = 2000;

} // namespace

// ---- the catalog operations' host ---------------------------------------------------------------

Prompter &TMainForm::prompter()
{
    return *m_askPrompter;
}

void TMainForm::setPrompter(Prompter *prompter)
{
    m_prompter = prompter ? prompter : m_qtPrompter.get();
    if (m_searchForm)
        m_searchForm->setPrompter(m_prompter);
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
    return AskTextLine(this, caption, prompt, text);
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
    // With the last catalog closed the user list has nothing to show.
    if (m_forest.roots().empty() && m_userListForm)
        m_userListForm->hide();
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

// ---- opening, saving and closing ----------------------------------------------------------------

std::unique_ptr<OperationScope> TMainForm::beginForestCommand(std::function<void()> again,
                                                              const TSearchRefusal *refusal)
{
    if (deferWhileBusy(std::move(again)))
        return nullptr;
    auto operation = std::make_unique<OperationScope>(m_operations);
    if (refusal && searchRunning()) {
        prompter().ask(QLatin1String(refusal->caption), refusal->text(), MsgIcon::Information, MsgButtons::Ok);
        return nullptr;
    }
    return operation;
}

void TMainForm::newCatalog()
{
    const auto operation = beginForestCommand([this] { newCatalog(); }, nullptr);
    if (!operation)
        return;
    NewCatalog(m_forest, *this);
    refresh();
}

void TMainForm::openCatalogs()
{
    const auto operation = beginForestCommand([this] { openCatalogs(); }, &kOpenRefusal);
    if (!operation)
        return;
    OpenCatalogs(m_forest, *this, nullptr, false, fileSettings(), &m_recent);
    refresh();
}

void TMainForm::openCatalogFiles(const QStringList &files)
{
    if (files.isEmpty() || m_closing || m_shuttingDown)
        return;
    // Handed over while another opening or saving runs: afterwards.
    const auto operation = beginForestCommand([this, files] { openCatalogFiles(files); }, &kOpenRefusal);
    if (!operation)
        return;
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
    if (!catalogOfSelection())
        return;
    const auto operation = beginForestCommand([this, askName] { saveCatalog(askName); }, &kSaveRefusal);
    if (!operation)
        return;
    // The command may have waited: the selection is taken now.
    TTreeNode *catalog = catalogOfSelection();
    if (!catalog)
        return;
    SaveCatalog(catalog, askName, *this, fileSettings());
    refresh();
}

void TMainForm::closeCatalog(TTreeNode *catalogNode)
{
    const std::shared_ptr<TTreeNode *> catalog = watchNode(catalogNode);
    if (!*catalog || !NodeIs(catalogNode, rkCatalog))
        return;
    const auto operation = beginForestCommand(
        [this, catalog] {
            if (*catalog)
                closeCatalog(*catalog);
        },
        &kCloseRefusal);
    if (!operation)
        return;
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
    const auto operation = beginForestCommand([this] { closeAllCatalogs(); }, &kCloseRefusal);
    if (!operation)
        return;
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
    // A running search is cancelled first; one that does not stop keeps the program open.
    if (searchRunning() && !(m_searchForm && m_searchForm->cancelAndWait(kSearchStopWaitMs) && !searchRunning())) {
        prompter().ask(QStringLiteral("Search in progress"),
                       QStringLiteral("There is search in progress and it does not respond to cancel command.\r"
                                      "Please cancel the search manually and then exit the program."),
                       MsgIcon::Warning, MsgButtons::Ok);
        event->ignore();
        return;
    }
    if (!prepareToClose()) {
        event->ignore();
        return;
    }
    cleanTemporaryFiles();
    m_closing = true;
    event->accept();
}

// ---- autosave and recent files ------------------------------------------------------------------

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

// ---- adding and deleting disks ------------------------------------------------------------------

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
    // The scan lets events run: a close or a hand-over that comes meanwhile
    // waits for its end. A running search is refused by the command itself.
    const auto operation = beginForestCommand([this, update] { addDiskCommand(update); }, nullptr);
    if (!operation)
        return;
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
    if (!*disk || !NodeIs(diskNode, rkDisk))
        return;
    const auto operation = beginForestCommand(
        [this, disk, fromList] {
            if (*disk)
                deleteDisk(*disk, fromList);
        },
        &kRemoveDiskRefusal);
    if (!operation)
        return;
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
    if (fromList && NodeIs(m_items.displayedNode(), rkCatalog)) {
        TItemRec *rec = focusedRecord();
        if (rec && ItemIs(rec->KindFlags, rkDisk))
            deleteDisk(rec->Node, true);
        return;
    }
    TTreeNode *node = selectedNode();
    if (NodeIs(node, rkDisk))
        deleteDisk(node, false);
}
