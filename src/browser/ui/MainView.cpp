// The main window's view: the catalog tree on the left, the item list on
// the right in one of four view styles; the list follows the tree's
// selection (held back while the keyboard walks the tree), the keys of both
// views, renaming in place, going back one level, sorting by column and the
// view styles.
#include "browser/ui/QuillonMain.h"

#include "browser/TreeSort.h"
#include "browser/ui/CatalogTreeModel.h"
#include "browser/ui/ItemListModel.h"
#include "browser/ui/MainFormShared.h"
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "settings/Options.h"
#include "widgets/ui/Icons.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QListView>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeView>

#include <algorithm>

using namespace mainform;

namespace {

// The header's default column width.
constexpr int kColumnWidth = 100;
// The name column of a set shown for the first time takes its names' width
// within these shares of the list's width, and never less than
// kNameColumnMin; the short columns fit their texts up to kShortColumnMax;
// the description keeps at least kDescShareMin of the width where it can.
constexpr double kNameShareMin = 0.25, kNameShareMax = 0.4, kDescShareMin = 0.15;
constexpr int kNameColumnMin = 180;
constexpr int kShortColumnMax = 130;

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

} // namespace

void TMainForm::createViews()
{
    m_treeModel = new TCatalogTreeModel(m_forest, this);
    m_listModel = new TItemListModel(m_items, this);
    m_treeModel->setDescTips(m_options.DescAsTipsCheck);
    m_listModel->setDescTips(m_options.DescAsTipsCheck);

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

// ---- the tree -----------------------------------------------------------------------------------

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

void TMainForm::backOneLevel()
{
    TTreeNode *node = selectedNode();
    if (!node || NodeIs(node, rkCatalog) || !node->parent())
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

void TMainForm::renameItem()
{
    TTreeNode *node = selectedNode();
    if (listHasFocus() && NodeIs(m_items.displayedNode(), rkCatalog)) {
        const QModelIndex i = listView()->currentIndex();
        if (i.isValid())
            listView()->edit(m_listModel->index(i.row(), 0));
        return;
    }
    // The catalog when the tree has the focus on one, otherwise the disk.
    TTreeNode *target = m_tree->hasFocus() && NodeIs(node, rkCatalog) ? node : DiskNodeOf(node);
    if (!target)
        return;
    selectNode(target);
    m_tree->setFocus();
    m_tree->edit(m_treeModel->indexOf(target));
}

TTreeNode *TMainForm::catalogOfSelection() const
{
    return CatalogNodeOf(selectedNode());
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
        if (NodeIs(node, rkDisk)) {
            deleteDisk(node, false);
        } else if (NodeIs(node, rkCatalog)) {
            if (prompter().ask(QStringLiteral("Confirm closing"),
                               QStringLiteral("Would you really like to close selected catalog?"),
                               MsgIcon::Question, MsgButtons::OkCancel) == MsgAnswer::Ok)
                closeCatalog(node);
        }
        return true;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && alt) {
        if (command(QStringLiteral("MenuProperties"))->isEnabled())
            showItemProperties(TCommandSender::TreeMenu);
        return true;
    }
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
        if (alt && command(QStringLiteral("MenuProperties"))->isEnabled())
            showItemProperties(TCommandSender::ListMenu);
        else if (view->currentIndex().isValid())
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
    } else if (watched == m_panels[1] && event->type() == QEvent::MouseButtonRelease
               && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        // A click on the item summary opens the properties of the item it describes.
        if (!m_statusActive && command(QStringLiteral("MenuProperties"))->isEnabled())
            showItemProperties(TCommandSender::StatusBar);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- the list -----------------------------------------------------------------------------------

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
    // A file: what the double-click option says (0 or none: nothing).
    if (ItemIs(rec->KindFlags, rkFile)) {
        switch (m_options.FileDoubleClickCombo) {
        case 1:
            showItemProperties(TCommandSender::ListMenu);
            break;
        case 2:
            fileActionCommand(TFileAction::Explorer, TCommandSender::ListMenu);
            break;
        case 3:
            fileActionCommand(TFileAction::Launch, TCommandSender::ListMenu);
            break;
        case 4:
            fileActionCommand(TFileAction::View, TCommandSender::ListMenu);
            break;
        default:
            break;
        }
    }
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
    const bool catalogView = NodeIs(m_items.displayedNode(), rkCatalog);
    const int column = m_items.sortState().columnFor(m_items.displayedNode());
    // Whether they are enabled is the command table's rule (updateCommands).
    static const char *folderNames[] = {"Filename", "Extension", "Size", "Date", "Time", "Attributes"};
    // "Free Sapce" is the entry's own spelling.
    static const char *diskNames[] = {"Disk Name", "Media Type", "Volume Label", "Capacity", "Free Sapce", "Update Date"};
    for (int i = 0; i < int(m_arrange.size()); ++i) {
        m_arrange[size_t(i)]->setText(QStringLiteral("Arrange by &") +
                                      QLatin1String(catalogView ? diskNames[i] : folderNames[i]));
        m_arrange[size_t(i)]->setChecked(i == column);
    }
    if (column >= int(m_arrange.size()))
        for (QAction *a : m_arrange)
            a->setChecked(false);
    for (int i = 0; i < 4; ++i)
        if (QAction *b = m_sortButtons[i])
            b->setChecked(i == column);   // columns 4 and above have no button
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
    if (QAction *button = command("ButtonReverseSort"))
        button->setChecked(m_items.sortState().reverse);
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
        ApplyIconViewStyle(m_icons, style);
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
    // Whether they are enabled is the command table's rule (updateCommands).
    const char *menus[] = {"MenuViewIcons", "MenuViewSmallIcons", "MenuViewList", "MenuViewDetails"};
    const char *buttons[] = {"ButtonLargeIcon", "ButtonSmallIcon", "ButtonList", "ButtonDetails"};
    for (int i = 0; i < 4; ++i) {
        command(menus[i])->setChecked(i == m_viewStyle);
        if (QAction *b = command(buttons[i]))
            b->setChecked(i == m_viewStyle);
    }
}
