// The compare results window.
#include "compare/ui/CompareForm.h"

#include "catalog/Forest.h"
#include "compare/ui/CompareListModel.h"
#include "platform/Texts.h"
#include "widgets/ui/Icons.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

struct TCommandRow {
    TCompareCommand command;
    const char *name;
    const char *caption;
    TAppImage icon;
    QKeyCombination keys[2];
};

// The item commands in toolbar and menu order, with their keys.
const TCommandRow kCommands[] = {
    {TCompareCommand::Locate, "ButtonLocate", "Locate in Catalog", TAppImage::Search, {Qt::CTRL | Qt::Key_T}},
    {TCompareCommand::EditDesc, "ButtonEditDesc", "Edit Description", TAppImage::EditDesc, {Qt::CTRL | Qt::Key_E}},
    {TCompareCommand::Properties, "ButtonProperties", "Item Properties", TAppImage::Properties,
     {Qt::CTRL | Qt::Key_P, Qt::Key_F4}},
    {TCompareCommand::SetCategory, "ButtonSetCat", "Set Category and Flags", TAppImage::SetCategory, {}},
    {TCompareCommand::Explorer, "ButtonExplorer", "Open in Explorer", TAppImage::Explorer, {}},
    {TCompareCommand::Launch, "ButtonLaunch", "Launch File in Associated Program", TAppImage::Launch, {}},
    {TCompareCommand::Extract, "ButtonExtract", "Extract from Compressed File", TAppImage::Extract, {}},
    {TCompareCommand::View, "ButtonView", "View File in ASCII Viewer", TAppImage::ViewFile, {Qt::CTRL | Qt::Key_I}},
    {TCompareCommand::AddToUserList, "ButtonAddList", "Add to User List", TAppImage::AddList, {Qt::CTRL | Qt::Key_L}},
    {TCompareCommand::Report, "ButtonReport", "Generate Report", TAppImage::Print, {Qt::CTRL | Qt::Key_R}},
};

} // namespace

TCompareForm::TCompareForm(TCompareWork &work, QChar letter, const QString &sourceFolder,
                           const TItemTextContext &texts, QWidget *parent)
    : QDialog(parent), m_work(work)
{
    setObjectName(QStringLiteral("CompareForm"));
    setWindowTitle(CompareCaption(work.Mode));
    setSizeGripEnabled(true);
    resize(760, 480);

    m_model = new TCompareListModel(work, this);
    m_model->setTextContext(texts);

    // The line saying what was compared, with the compared item's icon.
    auto *icon = new QLabel(this);
    if (work.Mode == TCompareMode::Media && work.Node)
        icon->setPixmap(TreeIcon(work.Node->imageIndex(), work.Node->selectedIndex()).pixmap(16, 16));
    else
        icon->setPixmap(AppIcon(TAppImage::Open).pixmap(16, 16));
    m_header = new QLabel(CompareHeaderText(work, letter, sourceFolder), this);
    m_header->setObjectName(QStringLiteral("HeaderLabel"));
    m_header->setTextFormat(Qt::PlainText);
    auto *headerRow = new QHBoxLayout;
    headerRow->addWidget(icon);
    headerRow->addWidget(m_header, 1);

    m_combo = new QComboBox(this);
    m_combo->setObjectName(QStringLiteral("ItemsCombo"));
    auto *comboLabel = new QLabel(QStringLiteral("List Type:"), this);
    comboLabel->setBuddy(m_combo);
    auto *comboRow = new QHBoxLayout;
    comboRow->addWidget(comboLabel);
    comboRow->addWidget(m_combo, 1);

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("CompareToolbar"));
    m_toolbar->setIconSize(QSize(20, 20));

    m_view = new QTreeView(this);
    m_view->setObjectName(QStringLiteral("CompareListView"));
    m_view->setModel(m_model);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setAllColumnsShowFocus(true);
    m_view->header()->setSectionsClickable(true);
    m_view->header()->setStretchLastSection(true);
    m_view->setColumnWidth(ccName, 200);
    m_view->setColumnWidth(ccExt, 50);
    m_view->setColumnWidth(ccSize, 90);
    m_view->setColumnWidth(ccDate, 90);
    m_view->setColumnWidth(ccMediaName, 110);
    m_view->setColumnWidth(ccFolder, 200);
    connect(m_view->header(), &QHeaderView::sectionClicked, this, &TCompareForm::headerClicked);
    // The icon styles show the same rows with the same selection.
    m_icons = CreateIconView(m_view, QStringLiteral("CompareListIcons"), this);
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(m_view), static_cast<QAbstractItemView *>(m_icons)}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        view->installEventFilter(this);
        connect(view, &QWidget::customContextMenuRequested, this, &TCompareForm::onContextMenu);
        connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
            if (index.isValid())
                activateFocused();
        });
    }
    m_stack = new QStackedWidget(this);
    m_stack->addWidget(m_icons);
    m_stack->addWidget(m_view);
    m_stack->setCurrentWidget(m_view);

    m_tabs = new QTabBar(this);
    m_tabs->setObjectName(QStringLiteral("TabSet"));
    m_tabs->setShape(QTabBar::RoundedSouth);
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);

    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("ButtonClose"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto *bottomRow = new QHBoxLayout;
    bottomRow->addWidget(m_tabs, 1);
    bottomRow->addWidget(close);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar"));
    status->setSizeGripEnabled(false);
    // The second panel takes 60% of what the first leaves.
    const int stretch[] = {0, 6, 4};
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        // Sunken panels, so that adjoining texts read apart.
        m_panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        status->addWidget(m_panels[i], stretch[i]);
    }

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(headerRow);
    layout->addLayout(comboRow);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_stack, 1);
    layout->addLayout(bottomRow);
    layout->addWidget(status);

    createCommands();
    fillListTexts();
    connect(m_combo, &QComboBox::currentIndexChanged, this, [this](int i) { showList(i); });
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int i) { showList(i); });
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        updateCommands();
        updateStatus();
    });
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        updateCommands();
        updateStatus();
    });
    showList(0);
}

TCompareForm::~TCompareForm() = default;

void TCompareForm::createCommands()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("ComparePopup"));
    for (const TCommandRow &row : kCommands) {
        auto *a = new QAction(AppIcon(row.icon), QString::fromLatin1(row.caption), this);
        a->setObjectName(QString::fromLatin1(row.name));
        QList<QKeySequence> keys;
        for (const QKeyCombination key : row.keys)
            if (key.key() != Qt::Key_unknown)
                keys << QKeySequence(key);
        if (row.command == TCompareCommand::Properties)
            keys << QKeySequence(Qt::ALT | Qt::Key_Return) << QKeySequence(Qt::ALT | Qt::Key_Enter);
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        a->setEnabled(false);
        connect(a, &QAction::triggered, this, [this, c = row.command] { run(c); });
        addAction(a);
        m_toolbar->addAction(a);
        m_menu->addAction(a);
        m_actions[row.command] = a;
    }
    m_toolbar->addSeparator();
    m_styleActions = CreateViewStyleActions(this, [this](int style) { setViewStyle(style); });
    for (QAction *a : m_styleActions)
        m_toolbar->addAction(a);
    CheckViewStyleAction(m_styleActions, m_viewStyle);
    auto *next = new QAction(this);
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    connect(next, &QAction::triggered, this, &TCompareForm::showNextList);
    addAction(next);
    auto *previous = new QAction(this);
    previous->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    connect(previous, &QAction::triggered, this, &TCompareForm::showPreviousList);
    addAction(previous);
}

QAction *TCompareForm::action(TCompareCommand command) const
{
    const auto it = m_actions.find(command);
    return it == m_actions.end() ? nullptr : it->second;
}

QAbstractItemView *TCompareForm::listView() const
{
    return static_cast<QAbstractItemView *>(m_stack->currentWidget());
}

void TCompareForm::setViewStyle(int style)
{
    if (style < vsIcons || style > vsDetails)
        return;
    m_viewStyle = style;
    ShowViewStyle(m_stack, m_view, m_icons, style);
    CheckViewStyleAction(m_styleActions, m_viewStyle);
}

void TCompareForm::setHandler(TCompareCommand command, THandler handler)
{
    m_handlers[command] = std::move(handler);
    updateCommands();
}

void TCompareForm::fillListTexts()
{
    m_switching = true;
    m_combo->clear();
    while (m_tabs->count() > 0)
        m_tabs->removeTab(0);
    for (int i = 0; i < m_work.listCount(); ++i) {
        m_combo->addItem(CompareComboText(m_work.Mode, i, m_work.count(i)));
        m_tabs->addTab(CompareTabText(m_work.Mode, i, m_work.count(i)));
    }
    m_switching = false;
}

int TCompareForm::shownList() const
{
    return m_model->list();
}

void TCompareForm::showList(int list)
{
    const int n = m_work.listCount();
    list = ((list % n) + n) % n;
    if (m_switching)
        return;
    m_switching = true;
    m_combo->setCurrentIndex(list);
    m_tabs->setCurrentIndex(list);
    m_switching = false;
    if (list != m_model->list() || m_model->rowCount() != int(m_work.count(list)))
        m_model->setList(list);
    if (m_model->rowCount() > 0)
        m_view->selectionModel()->setCurrentIndex(m_model->index(0, 0), QItemSelectionModel::NoUpdate);
    updateCommands();
    updateStatus();
}

void TCompareForm::showNextList()
{
    showList(shownList() + 1);
}

void TCompareForm::showPreviousList()
{
    showList(shownList() - 1);
}

void TCompareForm::headerClicked(int column)
{
    const int count = m_model->rowCount();
    if (m_statusSink)
        m_statusSink(QStringLiteral("Sorting %1 files, please wait...").arg(count));
    m_model->clickColumn(column);
    if (m_statusSink)
        m_statusSink(QString());
    m_view->header()->setSortIndicatorShown(false);
    updateStatus();
}

std::vector<TItemRec *> TCompareForm::selectedRecords() const
{
    std::vector<TItemRec *> records;
    for (const QModelIndex &i : m_view->selectionModel()->selectedRows())
        if (TItemRec *rec = m_model->recordOf(i))
            records.push_back(rec);
    return records;
}

TItemRec *TCompareForm::focusedRecord() const
{
    return m_model->recordOf(m_view->currentIndex());
}

void TCompareForm::updateCommands()
{
    const std::vector<TItemRec *> selected = selectedRecords();
    TItemRec *focused = focusedRecord();
    for (const auto &[command, action] : m_actions) {
        const auto handler = m_handlers.find(command);
        const bool handled = handler != m_handlers.end() && handler->second;
        action->setEnabled(handled && CompareCommandAllowed(command, m_work, shownList(), focused, selected));
    }
}

void TCompareForm::updateStatus()
{
    const int list = shownList();
    m_panels[0]->setText(CompareTotalText(m_work.count(list)));
    const TItemTextContext &texts = m_model->textContext();
    const QModelIndexList rows = m_view->selectionModel()->selectedRows();
    if (list == 0) {
        const TMediaFileEntry *focused = m_model->newFileOf(m_view->currentIndex());
        std::vector<const TMediaFileEntry *> selected;
        for (const QModelIndex &i : rows)
            selected.push_back(m_model->newFileOf(i));
        m_panels[1]->setText(focused ? NewFileSummary(*focused, texts) : QString());
        m_panels[2]->setText(NewFilesSelectionSummary(selected));
        return;
    }
    TItemRec *focused = focusedRecord();
    m_panels[1]->setText(focused ? ItemSummary(focused, texts) : QString());
    m_panels[2]->setText(SelectionSummary(selectedRecords(), texts));
}

void TCompareForm::run(TCompareCommand command)
{
    updateCommands();
    QAction *a = action(command);
    const auto handler = m_handlers.find(command);
    if (!a || !a->isEnabled() || handler == m_handlers.end() || !handler->second)
        return;
    handler->second(focusedRecord(), selectedRecords());
    if (command == TCompareCommand::Locate)
        accept();
}

void TCompareForm::activateFocused()
{
    if (const std::optional<TCompareCommand> command = CompareDoubleClickCommand(m_doubleClick, focusedRecord()))
        run(*command);
}

void TCompareForm::onContextMenu(const QPoint &pos)
{
    // Only over an item of a catalog list.
    if (!m_model->recordOf(listView()->indexAt(pos)))
        return;
    updateCommands();
    m_menu->popup(listView()->viewport()->mapToGlobal(pos));
}

bool TCompareForm::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_view || watched == m_icons) && event->type() == QEvent::KeyPress)
        return viewKey(static_cast<QKeyEvent *>(event)) || QDialog::eventFilter(watched, event);
    return QDialog::eventFilter(watched, event);
}

bool TCompareForm::viewKey(QKeyEvent *event)
{
    // Enter acts as a double click; Alt+Enter is the properties' shortcut.
    if ((event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) || (event->modifiers() & Qt::AltModifier))
        return false;
    activateFocused();
    return true;
}
