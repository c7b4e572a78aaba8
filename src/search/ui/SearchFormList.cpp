// The search window's found-list half: the toolbar and the context menu with
// their enabling rules, the views in four styles over one model, sorting by
// header clicks, removing entries, the status bar, and the layout switches
// (the list area shown from the first search on, "Maximize Found List",
// "Stay On Top").
#include "search/ui/SearchForm.h"

#include "browser/Commands.h"
#include "browser/Utils.h"
#include "catalog/CatalogRec.h"
#include "search/SearchThread.h"
#include "search/ui/FoundListModel.h"
#include "search/ui/ScopeTree.h"
#include "widgets/ui/Icons.h"
#include "widgets/ui/ViewStyles.h"

#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QPixmap>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

// Watches for Esc while a found-list sort runs and lets the windows paint
// meanwhile. Every other key and mouse input of the program is dropped
// until the sort ends: the sort works on the list's records, which no
// command of this or the main window may free or reorder under it. The
// question that an Esc brings takes its input as usual (the filter is off
// while it is asked).
class SortEscWatcher : public QObject
{
public:
    ~SortEscWatcher() override
    {
        if (m_installed)
            qApp->removeEventFilter(this);
    }
    // Asked before each step of the sort: an Esc pressed since the last call.
    bool pressed()
    {
        if (!m_installed) {
            qApp->installEventFilter(this);
            m_installed = true;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!std::exchange(m_pressed, false))
            return false;
        qApp->removeEventFilter(this);
        m_installed = false;
        return true;
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            // A key held from before the sort repeats; it is not a new press.
            if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
                !static_cast<QKeyEvent *>(event)->isAutoRepeat())
                m_pressed = true;
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        case QEvent::Close:
            // The window manager's close button waits for the sort too.
            if (event->spontaneous()) {
                event->ignore();
                return true;
            }
            return false;
        default:
            return false;
        }
    }

private:
    bool m_installed = false;
    bool m_pressed = false;
};

// What a command whose window is not part of the program yet says in its tip.
const QString kLater = QStringLiteral(" (comes in a later version)");
// Status bar: the first panel's width; the second takes this share of the rest.
constexpr int kFirstPanelWidth = 220;
constexpr int kSecondPanelShare = 65;
// The list area never gets lower than this, nor lower than the criteria
// area plus toolbar, status bar and this many pixels while it shows.
constexpr int kMinListHeight = 100;
constexpr int kMinListExtra = 110;

struct TFoundCommand {
    const char *button;     // the toolbar button's object name
    const char *hint;       // its hint
    const char *menu;       // the context menu's entry; null: none
    TAppImage icon;
    const char *theme;      // a theme icon instead of the program's own; null: icon
    bool later;             // its target window comes later
    // The style's picture where the theme lacks the one named.
    QStyle::StandardPixmap standard = QStyle::SP_CustomBase;
};

constexpr TFoundCommand kCommands[] = {
    {"BtnTarget", "Locate in Catalog", "Locate in Catalog", TAppImage::Catalog, nullptr, false},
    {"BtnEditDesc", "Edit Description", "Edit Description", TAppImage::EditDesc, nullptr, true},
    {"BtnProperties", "Item Properties", "Properties", TAppImage::Properties, nullptr, false},
    {"BtnSetCat", "Set Category and Flags", "Set Category and Flags", TAppImage::SetCategory, nullptr, false},
    {"BtnExplorer", "Open in Explorer", "Open in Explorer", TAppImage::Explorer, nullptr, false},
    {"BtnView", "View File in ASCII Viewer", "View File", TAppImage::ViewFile, nullptr, false},
    {"BtnLaunch", "Launch File in Associated Program", "Launch File", TAppImage::Launch, nullptr, false},
    {"BtnExtract", "Extract from Compressed File", "Extract To...", TAppImage::Extract, nullptr, false},
    {"BtnAddList", "Add to User List", "Add to User List", TAppImage::AddList, nullptr, false},
    {"BtnReport", "Generate Report", nullptr, TAppImage::Print, nullptr, true},
    {"BtnDelete", "Delete selected item(s)", "Remove from List", TAppImage::File, "edit-delete", false,
     QStyle::SP_DialogDiscardButton},
    {"BtnClear", "Remove all items from the list", nullptr, TAppImage::File, "edit-clear-all", false,
     QStyle::SP_TrashIcon},
};

QString menuName(const char *button)
{
    return QStringLiteral("Menu") + QLatin1String(button + 3);   // "BtnTarget" -> "MenuTarget"
}

// A view of the found list whose drags the window prepares (their cursor
// tells one item from several).
template <typename View>
class TFoundView : public View
{
public:
    explicit TFoundView(TSearchForm *form) : m_form(form) {}

protected:
    void startDrag(Qt::DropActions supported) override
    {
        if (QDrag *drag = m_form->prepareDrag())
            drag->exec(supported, Qt::MoveAction);
    }

private:
    TSearchForm *m_form;
};

} // namespace

void TSearchForm::createListArea()
{
    m_listArea = new QWidget;
    m_listArea->setObjectName(QStringLiteral("ListArea"));
    m_model = new TFoundListModel(this);
    m_model->setList(&m_found);

    // A table rather than a tree view: rows added by a search of millions
    // of files cost the table nothing per row already shown.
    m_details = new TFoundView<QTableView>(this);
    m_details->setObjectName(QStringLiteral("FoundList"));
    m_details->setModel(m_model);
    m_details->setShowGrid(false);
    m_details->setWordWrap(false);
    m_details->setTabKeyNavigation(false);
    m_details->verticalHeader()->hide();
    m_details->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_details->verticalHeader()->setDefaultSectionSize(m_details->fontMetrics().height() + 4);
    m_details->horizontalHeader()->setHighlightSections(false);
    m_details->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_details->horizontalHeader()->setSectionsMovable(true);
    m_details->horizontalHeader()->setSectionsClickable(true);
    m_details->horizontalHeader()->setSortIndicatorShown(false);
    connect(m_details->horizontalHeader(), &QHeaderView::sectionClicked, this, &TSearchForm::headerClicked);
    m_icons = new TFoundView<QListView>(this);
    m_icons->setObjectName(QStringLiteral("FoundIcons"));
    // The icon view takes the model only while it shows (setViewStyle).
    for (QAbstractItemView *v : {static_cast<QAbstractItemView *>(m_details), static_cast<QAbstractItemView *>(m_icons)}) {
        v->setSelectionMode(QAbstractItemView::ExtendedSelection);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        v->setDragEnabled(true);
        v->setDragDropMode(QAbstractItemView::DragOnly);
        v->setDefaultDropAction(Qt::MoveAction);
        v->installEventFilter(this);
        connect(v, &QAbstractItemView::customContextMenuRequested, this, &TSearchForm::onContextMenu);
        connect(v, &QAbstractItemView::doubleClicked, this, &TSearchForm::onActivated);
    }
    connect(m_details->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TSearchForm::scheduleStatus);
    connect(m_details->selectionModel(), &QItemSelectionModel::currentChanged, this, &TSearchForm::scheduleStatus);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TSearchForm::scheduleStatus);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &TSearchForm::scheduleStatus);
    m_viewStack = new QStackedWidget;
    m_viewStack->addWidget(m_icons);
    m_viewStack->addWidget(m_details);

    m_toolbar = new QToolBar;
    m_toolbar->setObjectName(QStringLiteral("FoundToolbar"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    createActions();
    m_topClose = new QPushButton(QStringLiteral("Close"));
    m_topClose->setObjectName(QStringLiteral("TopClose"));
    m_topClose->setAutoDefault(false);
    connect(m_topClose, &QPushButton::clicked, this, &QDialog::hide);
    m_topClose->hide();

    m_status = new QStatusBar;
    m_status->setObjectName(QStringLiteral("StatusBar"));
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel;
        m_panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i + 1));
    }
    // A click on the focused item's summary opens its properties.
    m_panels[1]->installEventFilter(this);
    m_panels[0]->setFixedWidth(kFirstPanelWidth);
    m_status->addWidget(m_panels[0]);
    m_status->addWidget(m_panels[1], kSecondPanelShare);
    m_status->addWidget(m_panels[2], 100 - kSecondPanelShare);
    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("SearchProgress"));
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_status->addWidget(m_progress, 100);
    m_progress->hide();

    auto *top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(m_toolbar, 1);
    top->addWidget(m_topClose);
    auto *v = new QVBoxLayout(m_listArea);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    v->addLayout(top);
    v->addWidget(m_viewStack, 1);
    v->addWidget(m_status);
    setViewStyle(3);
    updateFoundButtons();
    showIdleStatus();
    // The window is never narrower than the whole toolbar while the list shows.
    m_toolbar->setMinimumWidth(m_toolbar->sizeHint().width());
}

void TSearchForm::createActions()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("FoundMenu"));
    for (const TFoundCommand &c : kCommands) {
        const QIcon icon =
            c.theme ? QIcon::fromTheme(QLatin1String(c.theme), style()->standardIcon(c.standard)) : AppIcon(c.icon);
        const QString hint = QLatin1String(c.hint);
        auto *button = new QAction(icon, hint, this);
        button->setObjectName(QLatin1String(c.button));
        button->setToolTip(c.later ? hint + kLater : hint);
        m_toolbar->addAction(button);
        m_actions[button->objectName()] = button;
        if (c.menu) {
            auto *entry = new QAction(QLatin1String(c.menu), this);
            entry->setObjectName(menuName(c.button));
            entry->setToolTip(button->toolTip());
            m_menu->addAction(entry);
            m_actions[entry->objectName()] = entry;
            connect(entry, &QAction::triggered, button, &QAction::trigger);
        }
        if (c.later)
            button->setEnabled(false);
    }
    m_menu->setToolTipsVisible(true);
    connect(action(QStringLiteral("BtnTarget")), &QAction::triggered, this, &TSearchForm::locateFocused);
    connect(action(QStringLiteral("BtnDelete")), &QAction::triggered, this, &TSearchForm::removeSelected);
    connect(action(QStringLiteral("BtnClear")), &QAction::triggered, this, [this] { clearList(true); });
    connect(action(QStringLiteral("BtnSetCat")), &QAction::triggered, this,
            [this] { emit setCategoriesRequested(selectedRecords()); });
    connect(action(QStringLiteral("BtnAddList")), &QAction::triggered, this,
            [this] { emit addToUserListRequested(selectedRecords()); });
    connect(action(QStringLiteral("BtnProperties")), &QAction::triggered, this, [this] {
        if (TItemRec *rec = focusedRecord())
            emit propertiesRequested(rec);
    });
    static const struct {
        const char *button;
        TFileAction action;
    } fileActions[] = {
        {"BtnExplorer", TFileAction::Explorer},
        {"BtnView", TFileAction::View},
        {"BtnLaunch", TFileAction::Launch},
        {"BtnExtract", TFileAction::ExtractTo},
    };
    for (const auto &f : fileActions)
        connect(action(QLatin1String(f.button)), &QAction::triggered, this,
                [this, a = f.action] { emit fileActionRequested(a, focusedRecord(), selectedRecords()); });

    m_toolbar->addSeparator();
    for (QAction *a : CreateViewStyleActions(this, [this](int style) { setViewStyle(style); })) {
        m_toolbar->addAction(a);
        m_actions[a->objectName()] = a;
    }
    m_toolbar->addSeparator();
    auto *maximize = new QAction(QIcon::fromTheme(QStringLiteral("view-fullscreen"),
                                                  style()->standardIcon(QStyle::SP_TitleBarMaxButton)),
                                 QStringLiteral("Maximize Found List"), this);
    maximize->setObjectName(QStringLiteral("BtnMaximize"));
    maximize->setCheckable(true);
    connect(maximize, &QAction::toggled, this, [this](bool on) { setMaximized(on); });
    auto *onTop = new QAction(QIcon::fromTheme(QStringLiteral("go-top"), AppIcon(TAppImage::GoBack)),
                              QStringLiteral("Stay On Top"), this);
    onTop->setObjectName(QStringLiteral("BtnStayOnTop"));
    onTop->setCheckable(true);
    connect(onTop, &QAction::toggled, this, [this](bool on) {
        const bool shown = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, on);
        if (shown)
            show();   // changing the flags hides a window
    });
    for (QAction *a : {maximize, onTop}) {
        m_toolbar->addAction(a);
        m_actions[a->objectName()] = a;
    }
}

QAction *TSearchForm::action(const QString &name) const
{
    auto it = m_actions.find(name);
    return it == m_actions.end() ? nullptr : it->second;
}

QAbstractItemView *TSearchForm::listView() const
{
    return m_viewStyle == 3 ? static_cast<QAbstractItemView *>(m_details) : m_icons;
}

void TSearchForm::setViewStyle(int style)
{
    m_viewStyle = std::clamp(style, 0, 3);
    if (m_viewStyle == 3) {
        m_viewStack->setCurrentWidget(m_details);
        // A hidden icon view would still lay out every row a search adds.
        if (m_icons->model()) {
            m_icons->setModel(nullptr);
            m_details->setFocus();
        }
    } else {
        if (!m_icons->model() || m_icons->model() != m_model) {
            m_icons->setModel(m_model);
            QItemSelectionModel *own = m_icons->selectionModel();
            m_icons->setSelectionModel(m_details->selectionModel());
            if (own != m_details->selectionModel())
                own->deleteLater();
        }
        ApplyIconViewStyle(m_icons, m_viewStyle);
        m_viewStack->setCurrentWidget(m_icons);
    }
    static const char *names[] = {"BtnLargeIcons", "BtnSmallIcons", "BtnList", "BtnDetails"};
    for (int i = 0; i < 4; ++i)
        if (QAction *a = action(QLatin1String(names[i])))
            a->setChecked(i == m_viewStyle);
}

// ---- focus, buttons and status ------------------------------------------------------------------

TItemRec *TSearchForm::focusedRecord() const
{
    return m_model->recordOf(listView()->currentIndex());
}

std::vector<TItemRec *> TSearchForm::selectedRecords() const
{
    QModelIndexList rows = listView()->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    return m_model->recordsOf(rows);
}

void TSearchForm::scheduleStatus()
{
    // Buttons and texts follow once the selection has settled.
    if (!m_statusTimer.isActive())
        m_statusTimer.start(0);
}

void TSearchForm::updateFoundButtons()
{
    const bool focused = focusedRecord() != nullptr;
    const bool selected = listView()->selectionModel()->hasSelection();
    const bool any = m_model->rowCount() > 0;
    action(QStringLiteral("BtnTarget"))->setEnabled(focused);
    action(QStringLiteral("BtnDelete"))->setEnabled(focused && selected);
    action(QStringLiteral("BtnClear"))->setEnabled(any);
    const std::vector<TItemRec *> records = selectedRecords();
    action(QStringLiteral("BtnAddList"))->setEnabled(!records.empty());
    const auto fileOrFolder = [](const TItemRec *rec) {
        return ItemIs(rec->KindFlags, rkFile) || ItemIs(rec->KindFlags, rkFolder);
    };
    action(QStringLiteral("BtnSetCat"))->setEnabled(std::any_of(records.begin(), records.end(), fileOrFolder));
    const TItemRec *rec = focusedRecord();
    const bool member = rec && ItemIs(rec->KindFlags, rkFile) && ItemIs(rec->KindFlags, rfCompressed);
    action(QStringLiteral("BtnProperties"))->setEnabled(focused);
    action(QStringLiteral("BtnExplorer"))->setEnabled(focused && selected && !member);
    action(QStringLiteral("BtnLaunch"))->setEnabled(ItemCanBeLaunched(rec));
    action(QStringLiteral("BtnView"))->setEnabled(ItemCanBeLaunched(rec));
    action(QStringLiteral("BtnExtract"))
        ->setEnabled(std::any_of(records.begin(), records.end(), [](const TItemRec *r) {
            return InsideExtractableArchive(r);
        }));
    for (const TFoundCommand &c : kCommands)
        if (QAction *entry = action(menuName(c.button)))
            entry->setEnabled(action(QLatin1String(c.button))->isEnabled());
}

QMenu *TSearchForm::prepareContextMenu()
{
    updateFoundButtons();
    // Entries show only when their buttons are enabled; "Add to User List" shows disabled instead.
    for (const TFoundCommand &c : kCommands)
        if (QAction *entry = action(menuName(c.button)))
            entry->setVisible(entry->isEnabled() || QLatin1String(c.button) == QLatin1String("BtnAddList"));
    const char *command = RowCommandButton(DefaultMenuCommand(m_settings.doubleClick, focusedRecord()));
    m_menu->setDefaultAction(command ? action(menuName(command)) : nullptr);
    return m_menu;
}

QPixmap TSearchForm::dragCursor(bool several)
{
    // One file's picture, or three of them stacked.
    constexpr int kSide = 32, kIcon = 22, kStep = 5;
    static const QPixmap one = AppIcon(TAppImage::File).pixmap(kSide, kSide);
    static const QPixmap many = [] {
        QPixmap stack(kSide, kSide);
        stack.fill(Qt::transparent);
        QPainter painter(&stack);
        const QPixmap file = AppIcon(TAppImage::File).pixmap(kIcon, kIcon);
        for (int i = 0; i < 3; ++i)
            painter.drawPixmap(i * kStep, i * kStep, file);
        return stack;
    }();
    return several ? many : one;
}

QDrag *TSearchForm::prepareDrag()
{
    QAbstractItemView *view = listView();
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return nullptr;
    QMimeData *data = m_model->mimeData(rows);
    if (!data)
        return nullptr;
    auto *drag = new QDrag(view);
    drag->setMimeData(data);
    drag->setDragCursor(dragCursor(rows.size() > 1), Qt::MoveAction);
    return drag;
}

void TSearchForm::onContextMenu(const QPoint &pos)
{
    QAbstractItemView *view = listView();
    const QModelIndex i = view->indexAt(pos);
    if (!i.isValid())
        return;
    if (!view->selectionModel()->isSelected(i))
        view->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    else
        view->selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
    prepareContextMenu()->popup(view->viewport()->mapToGlobal(pos));
}

void TSearchForm::onActivated(const QModelIndex &index)
{
    if (!m_model->recordOf(index))
        return;
    // The main window's double-click choice: properties, explorer, launch or view.
    const char *command = RowCommandButton(DoubleClickCommand(m_settings.doubleClick, m_model->recordOf(index)));
    if (!command)
        return;
    if (QAction *a = action(QLatin1String(command)); a && a->isEnabled())
        a->trigger();
}

void TSearchForm::locateFocused()
{
    if (TItemRec *rec = focusedRecord())
        emit locateRequested(rec);
}

QString TSearchForm::statusText(int panel) const
{
    return panel >= 0 && panel < 3 ? m_panels[panel]->text() : QString();
}

void TSearchForm::showIdleStatus()
{
    if (searching())
        return;
    TItemTextContext texts;
    texts.formattedSizes = m_settings.formattedSizes;
    m_panels[0]->setText(QStringLiteral("Items in list: %1").arg(m_model->rowCount()));
    m_panels[1]->setText(ItemSummary(focusedRecord(), texts));
    m_panels[2]->setText(SelectionSummary(m_model->recordsOf(listView()->selectionModel()->selectedRows()), texts));
}

void TSearchForm::setSearchingLayout(bool on)
{
    m_panels[1]->setVisible(!on);
    m_panels[2]->setVisible(!on);
    m_progress->setValue(0);
    m_progress->setVisible(on);
    m_status->setSizeGripEnabled(!on);
    if (on)
        m_panels[0]->clear();
}

// ---- sorting and removing -----------------------------------------------------------------------

void TSearchForm::headerClicked(int column)
{
    if (searching() || m_sortRunning || column < 0 || column >= kFoundColumns)
        return;
    m_panels[1]->setText(QStringLiteral("Sorting..."));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Esc stops a long sort (the sort asks first); the order so far stays.
    m_sortRunning = true;
    {
        SortEscWatcher esc;
        m_model->clickColumn(column, m_settings.archivesAsFolders, [&esc] { return esc.pressed(); }, m_prompter);
    }
    m_sortRunning = false;
    QApplication::restoreOverrideCursor();
    const TFoundList &list = currentList();
    m_details->horizontalHeader()->setSortIndicatorShown(list.sortColumn != kUnsorted);
    if (list.sortColumn != kUnsorted)
        m_details->horizontalHeader()->setSortIndicator(list.sortColumn,
                                              list.sortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
    const QModelIndex current = listView()->currentIndex();
    if (current.isValid())
        listView()->scrollTo(current);
    showIdleStatus();
}

void TSearchForm::removeSelected()
{
    if (!focusedRecord())
        return;
    if (m_prompter->ask(QStringLiteral("Delete items"), QStringLiteral("Remove selected item(s) from the found list?"),
                        MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    std::vector<int> rows;
    for (const QModelIndex &i : listView()->selectionModel()->selectedRows())
        rows.push_back(i.row());
    const int first = m_model->removeRows(rows);
    if (first >= 0 && m_model->rowCount() > 0) {
        const QModelIndex next = m_model->index(std::min(first, m_model->rowCount() - 1), 0);
        listView()->selectionModel()->setCurrentIndex(next, QItemSelectionModel::NoUpdate);
    }
    updateFoundButtons();
    showIdleStatus();
}

void TSearchForm::clearList(bool ask)
{
    if (ask && m_prompter->ask(QStringLiteral("Delete all items"), QStringLiteral("Remove all items from the found list?"),
                               MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    m_panels[0]->setText(QStringLiteral("Clearing file list..."));
    m_model->clearList();
    updateFoundButtons();
    showIdleStatus();
}

void TSearchForm::refreshLists()
{
    // Records freed with a catalog leave the lists compacted: the rows follow.
    if (m_model->list() && m_model->list()->count() < m_model->rowCount()) {
        m_model->resync();
        updateFoundButtons();
        showIdleStatus();
    }
}

// ---- layout -------------------------------------------------------------------------------------

bool TSearchForm::listAreaVisible() const
{
    return m_listArea->isVisibleTo(this);
}

void TSearchForm::switchList()
{
    listView()->selectionModel()->clearSelection();
    m_model->setList(&currentList());
    const TFoundList &list = currentList();
    m_details->horizontalHeader()->setSortIndicatorShown(list.sortColumn != kUnsorted);
    if (list.sortColumn != kUnsorted)
        m_details->horizontalHeader()->setSortIndicator(list.sortColumn,
                                              list.sortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
    if (QAction *maximize = action(QStringLiteral("BtnMaximize"))) {
        const QSignalBlocker block(maximize);
        maximize->setChecked(list.maximized);
    }
    updateLayout();
    updateFoundButtons();
    showIdleStatus();
}

void TSearchForm::showListArea(bool on)
{
    if (on)
        currentList().listVisible = true;
    updateLayout();
}

void TSearchForm::setMaximized(bool on)
{
    currentList().maximized = on;
    if (QAction *maximize = action(QStringLiteral("BtnMaximize")); maximize && maximize->isChecked() != on) {
        const QSignalBlocker block(maximize);
        maximize->setChecked(on);
    }
    updateLayout();
}

void TSearchForm::updateLayout()
{
    if (!m_listArea || !m_criteria)
        return;
    m_layoutBusy = true;
    const TFoundList &list = currentList();
    const bool shown = list.listVisible;
    const bool maxed = shown && list.maximized;
    m_criteria->setVisible(!maxed);
    m_topClose->setVisible(maxed);
    m_listArea->setVisible(shown);
    setMinimumHeight(0);
    setMaximumHeight(QWIDGETSIZE_MAX);
    layout()->activate();
    const int criteria = maxed ? 0 : m_criteria->sizeHint().height();
    const QMargins margins = layout()->contentsMargins();
    const int frame = margins.top() + margins.bottom() + layout()->spacing();
    if (!shown) {
        // Without the list the window is as high as its criteria, only wider at will.
        setFixedHeight(criteria + frame);
    } else {
        const int chrome = m_toolbar->sizeHint().height() + m_status->sizeHint().height();
        setMinimumHeight(criteria + chrome + kMinListExtra + frame);
        resize(width(), criteria + frame + std::max(kMinListHeight, list.listHeight));
    }
    m_layoutBusy = false;
}

void TSearchForm::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    rememberListHeight();
}

void TSearchForm::rememberListHeight()
{
    if (m_layoutBusy || !m_listArea || !m_listArea->isVisible())
        return;
    currentList().listHeight = std::max(kMinListHeight, m_listArea->height());
}

// ---- keys ---------------------------------------------------------------------------------------

bool TSearchForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_panels[1] && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton && !searching()) {
        if (QAction *a = action(QStringLiteral("BtnProperties")); a->isEnabled())
            a->trigger();
        return true;
    }
    if (event->type() == QEvent::KeyPress && (watched == m_details || watched == m_icons)) {
        auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        switch (key->key()) {
        case Qt::Key_Delete:
            if (mods == Qt::ShiftModifier)
                clearList(true);
            else if (mods == Qt::NoModifier)
                removeSelected();
            return true;
        case Qt::Key_T:
            if (mods == Qt::ControlModifier) {
                locateFocused();
                return true;
            }
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Enter on the list acts on the row; Find is not the default here.
            if (mods == Qt::AltModifier) {
                if (QAction *a = action(QStringLiteral("BtnProperties")); a->isEnabled())
                    a->trigger();
            } else {
                onActivated(listView()->currentIndex());
            }
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TSearchForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F4 && event->modifiers() == Qt::NoModifier) {
        if (QAction *a = action(QStringLiteral("BtnProperties")); a->isEnabled())
            a->trigger();
        return;
    }
    // Esc hides the window (QDialog's reject).
    QDialog::keyPressEvent(event);
}
