// The user list window.
#include "browser/ui/UserListForm.h"

#include "browser/Commands.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/UserList.h"
#include "platform/Prompter.h"
#include "widgets/ui/Icons.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QMenu>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

// The list as rows: one per entry of the user list, in its order.
class TUserListModel : public QAbstractTableModel
{
public:
    TUserListModel(TUserList &list, QObject *parent) : QAbstractTableModel(parent), m_list(list) {}

    void reset()
    {
        beginResetModel();
        endResetModel();
    }
    TItemRec *recordOf(const QModelIndex &index) const
    {
        return index.isValid() && index.row() < m_list.count() ? m_list.at(index.row()) : nullptr;
    }
    void setTexts(const TItemTextContext &texts) { m_texts = texts; }

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : m_list.count(); }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : kUserListColumns;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        TItemRec *rec = recordOf(index);
        if (!rec)
            return {};
        switch (role) {
        case Qt::DisplayRole: {
            const int kind = UserListTextKind(index.column(), rec);
            return kind < 0 ? QString() : ItemText(rec, kind, false, m_texts);
        }
        case Qt::DecorationRole:
            return index.column() == 0 ? QVariant(RecordIcon(rec)) : QVariant();
        case Qt::TextAlignmentRole:
            return index.column() == 2 ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        const QStringList captions = UserListColumnCaptions();
        return section >= 0 && section < captions.size() ? QVariant(captions[section]) : QVariant();
    }

private:
    TUserList &m_list;
    TItemTextContext m_texts;
};

namespace {

struct TUserCommand {
    const char *button;   // object name of the toolbar button
    const char *hint;     // its hint
    const char *menu;     // the context menu's entry; null: none
    TAppImage icon;
    const char *theme;    // a theme icon instead of the program's own; null: icon
    QStyle::StandardPixmap standard = QStyle::SP_CustomBase;
};

constexpr TUserCommand kCommands[] = {
    {"BtnTarget", "Locate in Catalog", "Locate in Catalog", TAppImage::Catalog, nullptr},
    {"BtnEditDesc", "Edit Description", "Edit Description", TAppImage::EditDesc, nullptr},
    {"BtnProperties", "Item Properties", "Properties", TAppImage::Properties, nullptr},
    {"BtnSetCat", "Set Category and Flags", "Set Category and Flags", TAppImage::SetCategory, nullptr},
    {"BtnExplorer", "Open in Explorer", "Open in Explorer", TAppImage::Explorer, nullptr},
    {"BtnLaunch", "Launch File in Associated Program", "Launch File", TAppImage::Launch, nullptr},
    {"BtnView", "View File in ASCII Viewer", "View File", TAppImage::ViewFile, nullptr},
    {"BtnExtract", "Extract from Compressed File", "Extract To...", TAppImage::Extract, nullptr},
    {"BtnReport", "Generate Report", nullptr, TAppImage::Print, nullptr},
    {"BtnDelete", "Delete selected item(s)", "Remove from List", TAppImage::File, "edit-delete",
     QStyle::SP_DialogDiscardButton},
    {"BtnClear", "Clear User List", nullptr, TAppImage::File, "edit-clear-all", QStyle::SP_TrashIcon},
};

QString menuName(const char *button) { return QStringLiteral("Menu") + QLatin1String(button + 3); }

// A record inside a compressed file (a member, not the file itself).
bool insideArchive(const TItemRec *rec)
{
    if (!rec || !rec->Node)
        return false;
    const TTreeNode *node = ItemIs(rec->KindFlags, rkFile) ? rec->Node : rec->Node->parent();
    for (; node; node = node->parent())
        if (const TItemRec *up = NodeRec(node))
            if (ItemIs(up->KindFlags, rkFolder) && ItemIs(up->KindFlags, rfCompressed))
                return true;
    return false;
}

bool isFileOrFolder(const TItemRec *rec)
{
    return rec && (ItemIs(rec->KindFlags, rkFile) || ItemIs(rec->KindFlags, rkFolder));
}

} // namespace

TUserListForm::TUserListForm(TUserList &list, Prompter &prompter, QWidget *parent)
    : QWidget(parent, Qt::Window), m_list(list), m_prompter(prompter)
{
    setObjectName(QStringLiteral("UserListForm"));
    setWindowTitle(QStringLiteral("User List"));
    setMinimumSize(300, 150);

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("UserListToolbar"));
    m_toolbar->setIconSize(QSize(20, 20));
    m_model = new TUserListModel(list, this);
    m_view = new QTreeView(this);
    m_view->setObjectName(QStringLiteral("UserListView"));
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setAllColumnsShowFocus(true);
    m_view->setModel(m_model);
    m_view->header()->setSectionsMovable(true);
    m_view->header()->setSectionsClickable(true);
    m_view->header()->setSortIndicatorShown(true);
    m_view->header()->setSortIndicator(0, Qt::AscendingOrder);
    connect(m_view->header(), &QHeaderView::sectionClicked, this, &TUserListForm::headerClicked);
    // The icon styles show the same rows with the same selection.
    m_icons = CreateIconView(m_view, QStringLiteral("UserListIcons"), this);
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(m_view), static_cast<QAbstractItemView *>(m_icons)}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        // Items dragged from the other windows are taken by the handler.
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this);
        connect(view, &QWidget::customContextMenuRequested, this, &TUserListForm::onContextMenu);
        connect(view, &QAbstractItemView::doubleClicked, this, &TUserListForm::activateRow);
    }
    m_stack = new QStackedWidget(this);
    m_stack->addWidget(m_icons);
    m_stack->addWidget(m_view);
    m_stack->setCurrentWidget(m_view);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { markRefresh(2); });
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { markRefresh(2); });

    auto *bar = new QStatusBar(this);
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i + 1));
        bar->addWidget(m_panels[i], i == 0 ? 0 : i == 1 ? 3 : 2);
    }
    m_panels[0]->setMinimumWidth(120);
    // A click on the focused item's summary opens its properties.
    m_panels[1]->installEventFilter(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_stack);
    layout->addWidget(bar);
    createCommands();
    resize(640, 320);

    m_list.setCompactedHook([this] { refreshList(); });
    updateCommands();
    updateStatus();
}

TUserListForm::~TUserListForm()
{
    m_list.setCompactedHook({});
}

void TUserListForm::createCommands()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("UserListMenu"));
    for (const TUserCommand &c : kCommands) {
        const QIcon icon =
            c.theme ? QIcon::fromTheme(QLatin1String(c.theme), style()->standardIcon(c.standard)) : AppIcon(c.icon);
        auto *button = new QAction(icon, QLatin1String(c.hint), this);
        button->setObjectName(QLatin1String(c.button));
        m_toolbar->addAction(button);
        m_actions[button->objectName()] = button;
        connect(button, &QAction::triggered, this, [this, name = button->objectName()] { run(name); });
        if (c.menu) {
            auto *entry = new QAction(QLatin1String(c.menu), this);
            entry->setObjectName(menuName(c.button));
            m_menu->addAction(entry);
            m_actions[entry->objectName()] = entry;
            connect(entry, &QAction::triggered, button, &QAction::trigger);
        }
    }
    action(QStringLiteral("BtnDelete"))->setShortcut(QKeySequence(Qt::Key_Delete));
    action(QStringLiteral("BtnClear"))->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    action(QStringLiteral("BtnTarget"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    action(QStringLiteral("BtnProperties"))->setShortcut(QKeySequence(Qt::Key_F4));
    for (const char *name : {"BtnDelete", "BtnClear", "BtnTarget", "BtnProperties"})
        action(QLatin1String(name))->setShortcutContext(Qt::WindowShortcut);
    m_menu->addSeparator();
    m_menu->addAction(action(QStringLiteral("BtnClear")));

    m_toolbar->addSeparator();
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
    m_toolbar->addAction(onTop);
    m_actions[onTop->objectName()] = onTop;

    // The four view styles, on the toolbar and at the end of the menu.
    m_toolbar->addSeparator();
    m_menu->addSeparator();
    m_styleActions = CreateViewStyleActions(this, [this](int style) { setViewStyle(style); });
    for (QAction *a : m_styleActions) {
        m_toolbar->addAction(a);
        m_menu->addAction(a);
        m_actions[a->objectName()] = a;
    }
    CheckViewStyleAction(m_styleActions, m_viewStyle);
}

QAbstractItemView *TUserListForm::listView() const
{
    return m_viewStyle == vsDetails ? static_cast<QAbstractItemView *>(m_view)
                                    : static_cast<QAbstractItemView *>(m_icons);
}

void TUserListForm::setViewStyle(int style)
{
    if (style < vsIcons || style > vsDetails)
        return;
    m_viewStyle = style;
    ShowViewStyle(m_stack, m_view, m_icons, style);
    CheckViewStyleAction(m_styleActions, m_viewStyle);
}

void TUserListForm::setFontSource(std::function<QFont()> source)
{
    m_font = std::move(source);
    if (m_font) {
        m_view->setFont(m_font());
        m_icons->setFont(m_font());
    }
}

bool TUserListForm::event(QEvent *event)
{
    // The list takes the main list's font whenever the window becomes active.
    if (event->type() == QEvent::WindowActivate && m_font) {
        const QFont font = m_font();
        if (font != m_view->font()) {
            m_view->setFont(font);
            m_icons->setFont(font);
        }
    }
    return QWidget::event(event);
}

void TUserListForm::activateRow(const QModelIndex &index)
{
    TItemRec *rec = m_model->recordOf(index);
    if (!rec)
        return;
    // The command of the main window's double-click option, when it may run.
    updateCommands();
    if (const char *name = RowCommandButton(DoubleClickCommand(m_doubleClick, rec)))
        if (QAction *a = action(QLatin1String(name)); a && a->isEnabled())
            a->trigger();
}

bool TUserListForm::viewKey(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    updateCommands();
    if (event->modifiers() & Qt::AltModifier) {
        if (QAction *a = action(QStringLiteral("BtnProperties")); a->isEnabled())
            a->trigger();
    } else if (listView()->currentIndex().isValid()) {
        activateRow(listView()->currentIndex());
    }
    return true;
}

bool TUserListForm::dragEvent(QEvent *event)
{
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto *move = static_cast<QDragMoveEvent *>(event);
        if (m_drop && m_drop(move->mimeData(), false))
            move->acceptProposedAction();
        else
            move->ignore();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto *drop = static_cast<QDropEvent *>(event);
        if (m_drop && m_drop(drop->mimeData(), false)) {
            drop->acceptProposedAction();
            // After the drag has ended: the source's views are not in the middle of it then.
            auto *data = new QMimeData;
            for (const QString &format : drop->mimeData()->formats())
                data->setData(format, drop->mimeData()->data(format));
            QTimer::singleShot(0, this, [this, data] {
                if (m_drop)
                    m_drop(data, true);
                delete data;
            });
        } else {
            drop->ignore();
        }
        return true;
    }
    return event->type() == QEvent::DragLeave;
}

QAction *TUserListForm::action(const QString &name) const
{
    const auto it = m_actions.find(name);
    return it == m_actions.end() ? nullptr : it->second;
}

void TUserListForm::setHandler(const QString &name, THandler handler)
{
    m_handlers[name] = std::move(handler);
    updateCommands();
}

void TUserListForm::setTextContext(const TItemTextContext &texts)
{
    m_model->setTexts(texts);
    m_model->reset();
}

int TUserListForm::addRecords(const std::vector<TItemRec *> &records)
{
    int added = 0;
    for (TItemRec *rec : records)
        if (m_list.add(rec))
            ++added;
    refreshList();
    return added;
}

void TUserListForm::refreshList()
{
    const std::vector<TItemRec *> selected = selectedRecords();
    TItemRec *focused = focusedRecord();
    SortUserList(m_list, m_sort, m_archivesAsFolders);
    m_model->reset();
    // The rows keep their selection and focus across the new order.
    for (TItemRec *rec : selected)
        if (rec && rec->UserListPos >= 0)
            m_view->selectionModel()->select(m_model->index(rec->UserListPos, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (focused && focused->UserListPos >= 0)
        m_view->selectionModel()->setCurrentIndex(m_model->index(focused->UserListPos, 0),
                                                  QItemSelectionModel::NoUpdate);
    else if (m_model->rowCount() > 0)
        // Focused and selected, so that the commands have an item at once.
        m_view->selectionModel()->setCurrentIndex(m_model->index(0, 0),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    for (int c = 0; c < kUserListColumns; ++c)
        m_view->resizeColumnToContents(c);
    updateCommands();
    updateStatus();
}

TItemRec *TUserListForm::focusedRecord() const
{
    return m_model->recordOf(m_view->selectionModel()->currentIndex());
}

std::vector<TItemRec *> TUserListForm::selectedRecords() const
{
    std::vector<TItemRec *> records;
    QModelIndexList rows = m_view->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    for (const QModelIndex &i : rows)
        if (TItemRec *rec = m_model->recordOf(i))
            records.push_back(rec);
    return records;
}

void TUserListForm::updateCommands()
{
    const std::vector<TItemRec *> selected = selectedRecords();
    const TItemRec *focused = focusedRecord();
    const bool any = !selected.empty();
    const bool explorer = any && focused && !ItemIs(focused->KindFlags, rkCatalog) && !insideArchive(focused);
    const bool archive = focused && ItemIs(focused->KindFlags, rkFolder) && ItemIs(focused->KindFlags, rfCompressed);
    const bool launch = explorer && (ItemIs(focused->KindFlags, rkFile) || archive);
    const bool fileOrFolder = std::any_of(selected.begin(), selected.end(), isFileOrFolder);
    const bool extract = std::any_of(selected.begin(), selected.end(), InsideExtractableArchive);
    const bool listed = m_list.count() > 0;
    const std::map<QString, bool> rules = {
        {QStringLiteral("BtnTarget"), any},          {QStringLiteral("BtnEditDesc"), any},
        {QStringLiteral("BtnProperties"), any},      {QStringLiteral("BtnDelete"), any},
        {QStringLiteral("BtnExplorer"), explorer},   {QStringLiteral("BtnLaunch"), launch},
        {QStringLiteral("BtnView"), launch},         {QStringLiteral("BtnSetCat"), explorer && fileOrFolder},
        {QStringLiteral("BtnExtract"), extract},     {QStringLiteral("BtnClear"), listed},
        {QStringLiteral("BtnReport"), listed},
    };
    for (const auto &[name, allowed] : rules) {
        // Removing and clearing are the window's own; the rest need a handler.
        const auto handler = m_handlers.find(name);
        const bool own = name == QStringLiteral("BtnDelete") || name == QStringLiteral("BtnClear");
        const bool enabled = allowed && (own || (handler != m_handlers.end() && handler->second));
        action(name)->setEnabled(enabled);
        if (QAction *entry = action(QStringLiteral("Menu") + name.mid(3)))
            entry->setEnabled(enabled);
    }
}

bool TUserListForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view->viewport() || watched == m_icons->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::DragLeave:
        case QEvent::Drop:
            return dragEvent(event);
        default:
            return QWidget::eventFilter(watched, event);
        }
    }
    if ((watched == m_view || watched == m_icons) && event->type() == QEvent::KeyPress)
        return viewKey(static_cast<QKeyEvent *>(event)) || QWidget::eventFilter(watched, event);
    if (watched == m_panels[1] && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (QAction *a = action(QStringLiteral("BtnProperties")); a && a->isEnabled())
            a->trigger();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TUserListForm::updateStatus()
{
    m_panels[0]->setText(UserListTotalText(m_list.count()));
    const TItemTextContext texts;
    TItemRec *focused = focusedRecord();
    m_panels[1]->setText(focused ? ItemSummary(focused, texts) : QString());
    m_panels[2]->setText(SelectionSummary(selectedRecords(), texts));
}

void TUserListForm::markRefresh(int mark)
{
    const bool pending = m_mark != 0;
    m_mark = std::max(m_mark, mark);
    if (!pending)
        QTimer::singleShot(0, this, &TUserListForm::applyRefreshMark);
}

void TUserListForm::applyRefreshMark()
{
    if (m_mark == 0)
        return;
    // Texts and states are read again as the rows repaint; the selection stays.
    listView()->viewport()->update();
    m_mark = 0;
    updateCommands();
    updateStatus();
}

void TUserListForm::headerClicked(int column)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::vector<TItemRec *> selected = selectedRecords();
    TItemRec *focused = focusedRecord();
    ClickUserListColumn(m_list, m_sort, column, m_archivesAsFolders);
    m_model->reset();
    for (TItemRec *rec : selected)
        m_view->selectionModel()->select(m_model->index(rec->UserListPos, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (focused)
        m_view->selectionModel()->setCurrentIndex(m_model->index(focused->UserListPos, 0),
                                                  QItemSelectionModel::NoUpdate);
    m_view->header()->setSortIndicator(m_sort.column, m_sort.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    QApplication::restoreOverrideCursor();
}

void TUserListForm::removeSelected()
{
    if (!m_view->selectionModel()->currentIndex().isValid())
        return;
    if (m_prompter.ask(MsgRemoveFromUserListCaption(), MsgRemoveFromUserListText(), MsgIcon::Question,
                       MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    std::vector<int> rows;
    for (const QModelIndex &i : m_view->selectionModel()->selectedRows())
        rows.push_back(i.row());
    m_view->selectionModel()->clear();
    m_list.remove(rows);
    m_model->reset();
    updateCommands();
    updateStatus();
    if (m_changed)
        m_changed();
}

void TUserListForm::clearList()
{
    if (m_prompter.ask(MsgClearUserListCaption(), MsgClearUserListText(), MsgIcon::Question, MsgButtons::YesNo) !=
        MsgAnswer::Yes)
        return;
    if (m_statusSink)
        m_statusSink(MsgClearingUserList());
    m_list.clear();
    m_model->reset();
    if (m_statusSink)
        m_statusSink(QString());
    updateCommands();
    updateStatus();
    if (m_changed)
        m_changed();
}

void TUserListForm::run(const QString &name)
{
    if (name == QStringLiteral("BtnDelete")) {
        removeSelected();
        return;
    }
    if (name == QStringLiteral("BtnClear")) {
        clearList();
        return;
    }
    const auto handler = m_handlers.find(name);
    if (handler == m_handlers.end() || !handler->second || !action(name)->isEnabled())
        return;
    handler->second(focusedRecord(), selectedRecords());
    markRefresh(1);
}

void TUserListForm::onContextMenu(const QPoint &pos)
{
    QAbstractItemView *view = listView();
    if (!view->indexAt(pos).isValid())
        return;
    updateCommands();
    // The default entry follows the main window's double-click option.
    const char *name = RowCommandButton(DefaultMenuCommand(m_doubleClick, focusedRecord()));
    QAction *entry = name ? action(QStringLiteral("Menu") + QLatin1String(name + 3)) : nullptr;
    m_menu->setDefaultAction(entry && entry->isEnabled() ? entry : nullptr);
    m_menu->popup(view->viewport()->mapToGlobal(pos));
}
