// The search window's criteria half: the controls set back from
// TSearchWork, what is shown and enabled in each mode, leaving pages, the
// scope tree and the category lists, and the search's start and end. The
// pages are built in SearchFormPages.cpp, the found list half is
// SearchFormList.cpp.
#include "search/ui/SearchForm.h"

#include "catalog/CatalogRec.h"
#include "platform/Texts.h"
#include "search/RegisteredTypes.h"
#include "search/SearchThread.h"
#include "search/ui/FoundListModel.h"
#include "search/ui/ScopeTree.h"
#include "widgets/ui/QtPrompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QTimeEdit>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The progress bar's range during a search.
constexpr int kProgressRange = 1000;
// Closing the program waits this many rounds of 10 ms for a cancelled search.
constexpr int kCancelWaitRoundMs = 10;
// A search's counts, its bar and the rows it added are shown at most this
// often: the walk publishes every 128 items, and a repaint of the window at
// each of them cost many times the search itself.
constexpr int kProgressShowMs = 100;

QString sizeNumberError(const QString &text)
{
    return QStringLiteral("'%1' is not a valid floating point value.").arg(text);
}

Qt::CheckState attrCheck(int state)
{
    return state == asSet ? Qt::Checked : state == asClear ? Qt::Unchecked : Qt::PartiallyChecked;
}

} // namespace

TSearchForm::TSearchForm(TForest &forest, QWidget *parent)
    : QDialog(parent), m_forest(forest), m_found(ResultListId::Found), m_dupes(ResultListId::Duplicates),
      m_controller(std::make_unique<TSearchController>(forest)), m_qtPrompter(std::make_unique<QtPrompter>(this))
{
    setObjectName(QStringLiteral("SearchForm"));
    setWindowTitle(QStringLiteral("Search"));
    setSizeGripEnabled(false);
    m_prompter = m_qtPrompter.get();
    ResetCriteria(m_work, QDate::currentDate());
    m_work.time1 = m_work.time2 = QTime(0, 0);

    createCriteria();
    createListArea();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 0);
    layout->addWidget(m_criteria);
    layout->addWidget(m_listArea, 1);
    m_listArea->hide();

    connect(m_controller.get(), &TSearchController::progress, this, &TSearchForm::onProgress);
    connect(m_controller.get(), &TSearchController::finished, this, &TSearchForm::onFinished);
    m_statusTimer.setSingleShot(true);
    connect(&m_statusTimer, &QTimer::timeout, this, [this] {
        updateFoundButtons();
        showIdleStatus();
    });
    m_progressTimer.setSingleShot(true);
    m_progressTimer.setInterval(kProgressShowMs);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] {
        // Counts that came meanwhile are shown now, and the next wait begins.
        if (m_progressPending && searching()) {
            showProgress();
            m_progressTimer.start();
        }
    });
    m_catalogsTimer.setSingleShot(true);
    connect(&m_catalogsTimer, &QTimer::timeout, this, [this] {
        if (!searching())
            rebuildFromCatalogs();
        refreshLists();
    });
    m_forest.addObserver(this);
    // Records freed with a catalog leave the lists compacted: the rows follow.
    for (TFoundList *list : {&m_found, &m_dupes})
        list->setCompactedHook([this] { refreshLists(); });

    syncFromWork();
    setupSearchDialog();
    m_lastPage = m_pages->currentWidget();
    showListArea(false);
}

TSearchForm::~TSearchForm()
{
    // The worker reads the forest and the lists: it ends before they go,
    // without calling back into a window half destroyed.
    m_controller->disconnect(this);
    m_controller.reset();
    m_forest.removeObserver(this);
    m_statusTimer.stop();
    m_progressTimer.stop();
    m_catalogsTimer.stop();
    m_model->setList(nullptr);
    for (TFoundList *list : {&m_found, &m_dupes})
        list->setCompactedHook({});
}

void TSearchForm::setPrompter(Prompter *prompter)
{
    m_prompter = prompter ? prompter : m_qtPrompter.get();
}

void TSearchForm::applySettings(const TSearchFormSettings &settings)
{
    m_settings = settings;
    TItemTextContext texts;
    texts.formattedSizes = settings.formattedSizes;
    m_model->setTextContext(texts);
    m_model->setDescriptionTips(settings.descriptionTips);
    const int side = 2 * std::clamp(settings.buttonSize, 0, 7) + 21;
    m_toolbar->setIconSize(QSize(side - 6, side - 6));
    for (QAction *a : m_toolbar->actions())
        if (auto *button = qobject_cast<QToolButton *>(m_toolbar->widgetForAction(a)))
            button->setAutoRaise(!settings.oldStyleButtons);
    // The window is never narrower than the whole toolbar while the list shows.
    m_toolbar->setMinimumWidth(0);
    m_toolbar->setMinimumWidth(m_toolbar->sizeHint().width());
}

void TSearchForm::setFileTypes(std::vector<TFileType> types)
{
    m_fileTypes = std::move(types);
    m_fileTypesRead = true;
    fillFileTypeCombo();
}

// ---- mirroring the criteria ---------------------------------------------------------------------

void TSearchForm::syncFromWork()
{
    m_syncing = true;
    const TSearchWork &w = m_work;
    m_byName->setChecked(w.byName);
    m_byDesc->setChecked(w.byDesc);
    m_byCategory->setChecked(w.byCategory);
    m_bySize->setChecked(w.bySize);
    m_byDate->setChecked(w.byDate);
    m_forFiles->setChecked(w.files);
    m_forFolders->setChecked(w.folders);
    m_forDisks->setChecked(w.disks);
    m_clearResults->setChecked(w.clearResults);
    m_showLimit->setChecked(w.showLimit);
    m_showSettings->setChecked(w.showSettings);

    m_nameCombo->setCurrentIndex(w.nameMode);
    m_nameEdit->setText(w.nameText());
    m_fileTypeCombo->setCurrentIndex(w.fileType > 0 && w.fileType < m_fileTypeCombo->count() ? w.fileType : -1);
    m_fileCase->setChecked(w.fileCase);
    const int attrs[4] = {w.attrArchive, w.attrHidden, w.attrSystem, w.attrReadOnly};
    for (int i = 0; i < 4; ++i)
        m_attr[i]->setCheckState(attrCheck(attrs[i]));

    m_desc1->setChecked(w.descMode == dmAny);
    m_desc2->setChecked(w.descMode == dmContains);
    m_desc3->setChecked(w.descMode == dmNone);
    m_descEdit->setText(w.descText);
    m_descCase->setChecked(w.descCase);

    m_sizeCombo->setCurrentIndex(w.sizeOp == soNone ? -1 : w.sizeOp);
    const TSizeField *sizes[3] = {&w.size1, &w.size2, &w.size3};
    for (int i = 0; i < 3; ++i) {
        m_sizeValue[i]->setText(sizes[i]->text);
        m_sizeUnits[i]->setCurrentIndex(int(sizes[i]->unit));
    }
    m_sizeTolerance->setChecked(w.sizeTolerance);

    m_dateCombo1->setCurrentIndex(w.dateKind == dkNone ? -1 : w.dateKind);
    m_dateCombo2->setCurrentIndex(w.dateOp);
    m_datePicker1->setDate(w.date1);
    m_datePicker2->setDate(w.date2);
    m_dateTolerance->setChecked(w.dateTolerance);
    m_dateToleranceDays->setValue(w.dateToleranceDays);
    m_timeCombo1->setCurrentIndex(w.timeKind == dkNone ? -1 : w.timeKind);
    m_timeCombo2->setCurrentIndex(w.timeOp);
    m_timePicker1->setTime(w.time1);
    m_timePicker2->setTime(w.time2);
    m_timeTolerance->setChecked(w.timeTolerance);
    m_timeToleranceMinutes->setValue(w.timeToleranceMinutes);

    m_normalMode->setChecked(!w.duplicatesMode);
    m_duplicateMode->setChecked(w.duplicatesMode);
    m_searchType->setCurrentIndex(w.searchType);
    m_limitFound->setChecked(w.limitFound);
    m_maxFound->setValue(w.maxFound);
    m_dupName->setChecked(w.dupName);
    m_dupSize->setChecked(w.dupSize);
    m_dupDate->setChecked(w.dupDate);
    m_dupAttr->setChecked(w.dupAttr);
    m_dupArchives->setChecked(w.dupSkipArchives);
    m_dupSingle->setChecked(w.dupSingleCopy);

    for (QListWidget *list : {m_categoryList, m_flagsList}) {
        const QStringList &checked = list == m_categoryList ? w.checkedCategories : w.checkedFlags;
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setCheckState(checked.contains(list->item(i)->text()) ? Qt::Checked : Qt::Unchecked);
    }
    m_syncing = false;

    namePageChanged();
    descPageChanged();
    sizePageChanged();
    datePageChanged();
    settingsPageChanged();
    setupVisibleGroups();
}

// ---- what is shown and enabled ------------------------------------------------------------------

void TSearchForm::setupVisibleGroups(QWidget *checkedGroupPage)
{
    const bool normal = !m_work.duplicatesMode;
    const std::pair<QWidget *, bool> tabs[] = {
        {m_nameSheet, m_work.byName},
        {m_descSheet, m_work.byDesc && normal},
        {m_categorySheet, m_work.byCategory && normal},
        {m_sizeSheet, m_work.bySize && normal},
        {m_dateSheet, m_work.byDate && normal},
        {m_limitSheet, m_work.showLimit},
        {m_settingsSheet, m_work.showSettings || !normal},
    };
    // The page on show stays unless it goes; then the first page comes
    // (the tab control alone would pick a neighbour).
    QWidget *current = m_pages->currentWidget();
    bool currentStays = true;
    for (const auto &[page, visible] : tabs)
        if (page == current)
            currentStays = visible;
    for (const auto &[page, visible] : tabs)
        m_pages->setTabVisible(m_pages->indexOf(page), visible);
    if (!currentStays)
        m_pages->setCurrentIndex(0);
    // A group just checked (or the scope page just asked for) comes to the front.
    if (!checkedGroupPage) {
        QObject *from = sender();
        if (from == m_byName)
            checkedGroupPage = m_nameSheet;
        else if (from == m_byDesc)
            checkedGroupPage = m_descSheet;
        else if (from == m_byCategory)
            checkedGroupPage = m_categorySheet;
        else if (from == m_bySize)
            checkedGroupPage = m_sizeSheet;
        else if (from == m_byDate)
            checkedGroupPage = m_dateSheet;
        else if (from == m_showLimit)
            checkedGroupPage = m_limitSheet;
        if (checkedGroupPage && !static_cast<QCheckBox *>(from)->isChecked())
            checkedGroupPage = nullptr;
    }
    if (checkedGroupPage && m_pages->isTabVisible(m_pages->indexOf(checkedGroupPage))) {
        m_pages->setCurrentWidget(checkedGroupPage);
        if (checkedGroupPage == m_nameSheet)
            (m_fileTypeCombo->isVisibleTo(m_nameSheet) ? static_cast<QWidget *>(m_fileTypeCombo) : m_nameEdit)
                ->setFocus();
        else if (checkedGroupPage == m_descSheet && m_descEdit->isEnabled())
            m_descEdit->setFocus();
    }
    if (!m_pages->isTabVisible(m_pages->currentIndex()))
        m_pages->setCurrentIndex(0);
    settingsPageChanged();
    updateButtons();
}

void TSearchForm::setupSearchDialog()
{
    const bool dup = m_work.duplicatesMode;
    m_byName->setText(dup ? QStringLiteral("Search Duplicates by &Name") : QStringLiteral("Search by &Name or Attributes"));
    m_pages->setTabText(m_pages->indexOf(m_settingsSheet),
                        dup ? QStringLiteral("Duplicates Settings") : QStringLiteral("Search Settings"));
    setWindowTitle(dup ? QStringLiteral("Duplicates Search") : QStringLiteral("Search"));
    for (QWidget *w : {static_cast<QWidget *>(m_showSettings), static_cast<QWidget *>(m_searchType),
                       static_cast<QWidget *>(m_limitFound), static_cast<QWidget *>(m_searchTypeLabel),
                       static_cast<QWidget *>(m_itemsLabel)})
        w->setEnabled(!dup);
    for (QCheckBox *b : {m_byDesc, m_byCategory, m_bySize, m_byDate})
        b->setVisible(!dup);
    m_byDuplicatesLabel->setVisible(dup);
    m_normalGroup->setVisible(!dup);
    m_dupGroup->setVisible(dup);
    switchList();
    namePageChanged();
    setupVisibleGroups();
}

void TSearchForm::namePageChanged()
{
    static const char *labels[kNameModes] = {"Search for:", "File Mask:", "File Name:", "Extension:", "File Type:",
                                             "Expression:"};
    const int mode = std::clamp(m_work.nameMode, 0, kNameModes - 1);
    m_nameLabel->setText(QLatin1String(labels[mode]));
    const bool typeMode = mode == nmFileType;
    m_nameEdit->setVisible(!typeMode);
    m_fileTypeCombo->setVisible(typeMode);
    m_fileCase->setVisible(!typeMode);
    m_fileCase->setEnabled(mode == nmPartOfName || mode == nmExactName || mode == nmRegex);
    const bool normal = !m_work.duplicatesMode;
    for (QWidget *w : {static_cast<QWidget *>(m_attrLabel), m_attrLine})
        w->setVisible(normal);
    for (QCheckBox *b : m_attr) {
        b->setVisible(normal);
        b->setEnabled(normal);
    }
}

void TSearchForm::descPageChanged()
{
    const bool text = m_work.descMode == dmContains;
    m_descEdit->setEnabled(text);
    m_descCase->setEnabled(text);
}

void TSearchForm::sizePageChanged()
{
    const bool op = m_work.sizeOp != soNone;
    m_sizeValue[0]->setEnabled(op);
    m_sizeUnits[0]->setEnabled(op);
    const bool second = m_work.secondSizeShown();
    for (QWidget *w : {static_cast<QWidget *>(m_sizeAnd), static_cast<QWidget *>(m_sizeValue[1]),
                       static_cast<QWidget *>(m_sizeUnits[1])})
        w->setVisible(second);
    m_sizeTolerance->setEnabled(op);
    m_sizeValue[2]->setEnabled(op && m_work.sizeTolerance);
    m_sizeUnits[2]->setEnabled(op && m_work.sizeTolerance);
}

void TSearchForm::datePageChanged()
{
    const bool date = m_work.dateKind != dkNone;
    m_dateCombo2->setEnabled(date);
    m_datePicker1->setEnabled(date);
    m_datePicker2->setEnabled(date);
    m_dateAnd->setVisible(m_work.secondDateShown());
    m_datePicker2->setVisible(m_work.secondDateShown());
    m_dateTolerance->setEnabled(date);
    m_dateToleranceDays->setEnabled(date && m_work.dateTolerance);
    const bool time = m_work.timeKind != dkNone;
    m_timeCombo2->setEnabled(time);
    m_timePicker1->setEnabled(time);
    m_timePicker2->setEnabled(time);
    m_timeAnd->setVisible(m_work.secondTimeShown());
    m_timePicker2->setVisible(m_work.secondTimeShown());
    m_timeTolerance->setEnabled(time);
    m_timeToleranceMinutes->setEnabled(time && m_work.timeTolerance);
}

void TSearchForm::settingsPageChanged()
{
    const bool normal = !m_work.duplicatesMode;
    m_maxFound->setEnabled(normal && m_work.limitFound);
    m_itemsLabel->setEnabled(normal);
    // The duplicates settings compare files and folders only.
    const bool items = m_work.files || m_work.folders;
    for (QWidget *w : {static_cast<QWidget *>(m_dupLabel), static_cast<QWidget *>(m_dupName),
                       static_cast<QWidget *>(m_dupSize), static_cast<QWidget *>(m_dupDate),
                       static_cast<QWidget *>(m_dupAttr), static_cast<QWidget *>(m_dupArchives),
                       static_cast<QWidget *>(m_dupSingle)})
        w->setEnabled(items);
    // While a search runs the other mode cannot be chosen.
    m_normalMode->setEnabled(!searching() || !m_work.duplicatesMode);
    m_duplicateMode->setEnabled(!searching() || m_work.duplicatesMode);
}

void TSearchForm::updateButtons()
{
    const bool busy = searching();
    m_btnFind->setEnabled(!busy && FindEnabled(m_work));
    m_btnCancel->setEnabled(busy && !m_controller->wasCancelled());
    m_btnNew->setEnabled(!busy);
    m_scope->setLocked(busy);
    updateScopeButtons();
    settingsPageChanged();
}

void TSearchForm::updateScopeButtons()
{
    const bool busy = searching();
    m_includeAll->setEnabled(!busy && CanIncludeAll(m_forest));
    m_excludeAll->setEnabled(!busy && CanExcludeAll(m_forest));
}

// ---- pages, fields and lists --------------------------------------------------------------------

void TSearchForm::onPageChanged(int index)
{
    QWidget *left = m_lastPage;
    m_lastPage = m_pages->widget(index);
    if (left && left != m_lastPage)
        leavePage(left);
}

void TSearchForm::leavePage(QWidget *page)
{
    if (page == m_nameSheet)
        LeaveNamePage(m_work);
    else if (page == m_sizeSheet)
        LeaveSizePage(m_work);
    else if (page == m_dateSheet)
        LeaveDatePage(m_work);
    else
        return;
    const bool was = m_syncing;
    m_syncing = true;
    m_nameEdit->setText(m_work.nameText());
    const TSizeField *sizes[3] = {&m_work.size1, &m_work.size2, &m_work.size3};
    for (int i = 0; i < 3; ++i) {
        m_sizeValue[i]->setText(sizes[i]->text);
        m_sizeUnits[i]->setCurrentIndex(int(sizes[i]->unit));
    }
    m_datePicker1->setDate(m_work.date1);
    m_datePicker2->setDate(m_work.date2);
    m_timePicker1->setTime(m_work.time1);
    m_timePicker2->setTime(m_work.time2);
    m_syncing = was;
}

void TSearchForm::showGroupPage(CriteriaGroup group)
{
    QWidget *page = nullptr;
    QWidget *focus = nullptr;
    switch (group) {
    case CriteriaGroup::Name:
        page = m_nameSheet;
        focus = m_work.nameMode == nmFileType ? static_cast<QWidget *>(m_fileTypeCombo) : m_nameEdit;
        break;
    case CriteriaGroup::Description:
        page = m_descSheet;
        focus = m_descEdit;
        break;
    case CriteriaGroup::Category:
        page = m_categorySheet;
        break;
    case CriteriaGroup::Size:
        page = m_sizeSheet;
        focus = m_sizeCombo;
        break;
    case CriteriaGroup::Date:
        page = m_dateSheet;
        focus = m_dateCombo1;
        break;
    }
    // Showing the page leaves the one on show without its exchanges: Find
    // searches with the values as they stand.
    const QSignalBlocker block(m_pages);
    m_pages->setCurrentWidget(page);
    m_lastPage = page;
    if (focus)
        focus->setFocus();
}

QString TSearchForm::sizeFieldText(int which) const
{
    return m_sizeValue[which]->text();
}

void TSearchForm::sizeFieldLeft(int which)
{
    if (m_syncing || which == 2)
        return;
    TSizeField &f = which == 0 ? m_work.size1 : m_work.size2;
    if (!SizeToBytes(f)) {
        m_prompter->ask(QStringLiteral("Error"), sizeNumberError(f.text), MsgIcon::Error, MsgButtons::Ok);
        return;
    }
    m_syncing = true;
    m_sizeValue[which]->setText(f.text);
    m_sizeUnits[which]->setCurrentIndex(int(f.unit));
    m_syncing = false;
}

void TSearchForm::ensureFileTypes()
{
    if (m_fileTypesRead)
        return;
    m_fileTypesRead = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QtProgressSink wait(this);
    wait.ShowWait(QStringLiteral("Scanning for registered file types..."), false, false);
    m_fileTypes = RegisteredFileTypes();
    wait.CloseWait();
    QApplication::restoreOverrideCursor();
    fillFileTypeCombo();
}

void TSearchForm::fillFileTypeCombo()
{
    const bool was = m_syncing;
    m_syncing = true;
    m_fileTypeCombo->clear();
    for (const TFileType &type : m_fileTypes)
        m_fileTypeCombo->addItem(type.description);
    m_fileTypeCombo->setCurrentIndex(m_work.fileType > 0 && m_work.fileType < m_fileTypeCombo->count()
                                         ? m_work.fileType
                                         : -1);
    m_syncing = was;
}

void TSearchForm::createCategoryList()
{
    // The union of the open catalogs' names, merged without regard to case;
    // entries that stay keep their marks.
    QStringList categories, flags;
    auto addName = [](QStringList &names, const QString &name) {
        if (name.isEmpty())
            return;
        for (const QString &n : names)
            if (n.compare(name, Qt::CaseInsensitive) == 0)
                return;
        names << name;
    };
    for (TTreeNode *root : m_forest.roots()) {
        const TCatalogRec *catalog = AsCatalog(root->data());
        if (!catalog)
            continue;
        for (const TCategory &c : catalog->Categories)
            addName(categories, DecodeStored(c.Name));
        for (const char *flag : catalog->FlagNames)
            if (flag)
                addName(flags, DecodeStored(TextView(flag)));
    }
    m_syncing = true;
    for (QListWidget *list : {m_categoryList, m_flagsList}) {
        const QStringList &names = list == m_categoryList ? categories : flags;
        const QStringList &checked = list == m_categoryList ? m_work.checkedCategories : m_work.checkedFlags;
        list->clear();
        for (const QString &name : names) {
            auto *item = new QListWidgetItem(name, list);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(checked.contains(name) ? Qt::Checked : Qt::Unchecked);
        }
    }
    m_syncing = false;
    m_categoryList->setEnabled(!categories.isEmpty());
    m_categoryLabel->setEnabled(!categories.isEmpty());
    m_flagsList->setEnabled(!flags.isEmpty());
    m_flagsLabel->setEnabled(!flags.isEmpty());
    const bool any = !categories.isEmpty() || !flags.isEmpty();
    m_byCategory->setEnabled(any);
    if (!any && m_work.byCategory) {
        m_work.byCategory = false;
        m_syncing = true;
        m_byCategory->setChecked(false);
        m_syncing = false;
        setupVisibleGroups();
    }
    collectCheckedCategories();
}

void TSearchForm::collectCheckedCategories()
{
    for (QListWidget *list : {m_categoryList, m_flagsList}) {
        QStringList &checked = list == m_categoryList ? m_work.checkedCategories : m_work.checkedFlags;
        checked.clear();
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked)
                checked << list->item(i)->text();
    }
}

void TSearchForm::rebuildFromCatalogs()
{
    m_scope->rebuild();
    updateScopeButtons();
    createCategoryList();
}

// ---- the forest's changes -----------------------------------------------------------------------

namespace {

// Catalogs and disks are what the scope tree and the category lists show.
bool catalogOrDiskLevel(const TTreeNode *node)
{
    return node && (!node->parent() || !node->parent()->parent());
}

} // namespace

void TSearchForm::nodeInserted(TTreeNode *node)
{
    if (catalogOrDiskLevel(node))
        m_catalogsTimer.start(0);
}

void TSearchForm::nodeAboutToBeRemoved(TTreeNode *node)
{
    // The tree must not keep a node that is going away, not even until the rebuild.
    if (catalogOrDiskLevel(node))
        m_scope->forget();
}

void TSearchForm::nodeRemoved(TTreeNode *, int)
{
    m_catalogsTimer.start(0);
}

// ---- showing ------------------------------------------------------------------------------------

void TSearchForm::showMode(bool duplicates)
{
    if (!searching() && duplicates != m_work.duplicatesMode) {
        m_work.duplicatesMode = duplicates;
        syncFromWork();
        setupSearchDialog();
    }
    show();
    raise();
    activateWindow();
}

void TSearchForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!searching())
        rebuildFromCatalogs();
    // The criteria's height is known once the window's style has been applied.
    if (!currentList().listVisible)
        updateLayout();
}

// ---- the search ---------------------------------------------------------------------------------

bool TSearchForm::searching() const
{
    return m_searching;
}

bool TSearchForm::find()
{
    if (searching())
        return false;
    if (m_work.byName && m_work.nameMode == nmFileType)
        ensureFileTypes();
    const bool valid = ValidateCriteria(m_work, m_fileTypes, *m_prompter,
                                        [this](CriteriaGroup group) { showGroupPage(group); });
    syncFromWork();
    if (!valid)
        return false;
    if (!FindEnabled(m_work)) {
        m_prompter->ask(MsgNoCriteriaCaption(), MsgNoCriteriaLeft(), MsgIcon::Information, MsgButtons::Ok);
        return false;
    }
    const bool dup = m_work.duplicatesMode;
    if (dup && !m_work.dupName && !m_work.dupSize && !m_work.dupDate && !m_work.dupAttr) {
        m_prompter->ask(QStringLiteral("Error"), QStringLiteral("Please select at least one criteria for duplicate files."),
                        MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    bool active = false;
    const std::optional<TSearchCriteria> criteria = TakeCriteriaSnapshot(m_work, m_fileTypes, &active);
    if (!criteria) {
        m_prompter->ask(QStringLiteral("Error"), QStringLiteral("The search criteria could not be read."),
                        MsgIcon::Error, MsgButtons::Ok);
        return false;
    }

    const bool wholeScope = !m_work.showLimit;
    if (wholeScope)
        m_scope->showEntireScope();
    TFoundList &list = currentList();
    if (m_work.clearResults)
        clearList(false);
    list.sortColumn = kUnsorted;
    list.sortDescending = false;
    m_details->horizontalHeader()->setSortIndicatorShown(false);
    showListArea(true);

    m_searching = true;
    m_searchDuplicates = dup;
    m_firstHitShown = false;
    m_progressPending = false;
    m_progressTimer.stop();
    updateButtons();
    updateFoundButtons();
    setSearchingLayout(true);
    emit searchStateChanged();
    listView()->setFocus();

    bool started = false;
    if (dup) {
        TDupSettings settings;
        settings.name = m_work.dupName;
        settings.size = m_work.dupSize;
        settings.date = m_work.dupDate;
        settings.attr = m_work.dupAttr;
        settings.skipArchives = m_work.dupSkipArchives;
        settings.singleCopy = m_work.dupSingleCopy;
        settings.archivesAsFolders = m_settings.archivesAsFolders;
        started = m_controller->startDuplicates(list, *criteria, settings, wholeScope);
    } else if (active) {
        started = m_controller->startNormal(list, *criteria, wholeScope);
    }
    if (!started)
        onFinished(0, false);   // nothing to search by: over at once
    return true;
}

void TSearchForm::cancelSearch()
{
    if (!searching())
        return;
    m_controller->cancel();
    m_btnCancel->setEnabled(false);
}

bool TSearchForm::cancelAndWait(int timeoutMs)
{
    if (!searching())
        return true;
    cancelSearch();
    for (int waited = 0; searching() && waited < timeoutMs; waited += kCancelWaitRoundMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, kCancelWaitRoundMs);
        if (searching())
            QThread::msleep(kCancelWaitRoundMs);
    }
    return !searching();
}

void TSearchForm::onProgress(int checked, int total, int)
{
    if (!searching())
        return;
    m_progressChecked = checked;
    m_progressTotal = total;
    m_progressPending = true;
    // The first counts after a quiet spell show at once, later ones when
    // the wait is over.
    if (!m_progressTimer.isActive()) {
        showProgress();
        m_progressTimer.start();
    }
}

void TSearchForm::showProgress()
{
    m_progressPending = false;
    m_model->catchUp();
    selectFirstHit();
    showSearchStatus(m_progressChecked, m_progressTotal);
}

void TSearchForm::selectFirstHit()
{
    if (m_firstHitShown)
        return;
    const int first = m_controller->firstHitIndex();
    if (first < 0 || first >= m_model->rowCount())
        return;
    m_firstHitShown = true;
    const QModelIndex i = m_model->index(first, 0);
    listView()->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
    listView()->scrollTo(i);
}

void TSearchForm::showSearchStatus(int checked, int total)
{
    if (!searching() || checked <= 0)
        return;
    const int found = m_controller->foundCount();
    QString text;
    if (!m_searchDuplicates)
        text = QStringLiteral("Checked %1 items, found %2...").arg(checked).arg(found);
    else if (m_controller->collectingPhase())
        text = QStringLiteral("Collecting all items: %1").arg(found);
    else
        text = QStringLiteral("Duplicates: %1 of %2").arg(found).arg(checked);
    m_panels[0]->setText(text);
    const int position = total > 0 ? int(std::lround(double(checked) * kProgressRange / total)) : 0;
    m_progress->setValue(std::clamp(position, 0, kProgressRange));
}

void TSearchForm::onFinished(int found, bool cancelled)
{
    if (!m_searching)
        return;
    if (m_progressPending)
        showProgress();   // the last counts, the bar full
    m_progressTimer.stop();
    m_model->catchUp();
    selectFirstHit();
    setUpdatesEnabled(false);
    for (int c = 0; c < kFoundColumns; ++c)
        m_details->resizeColumnToContents(c);
    if (!listView()->currentIndex().isValid() && m_model->rowCount() > 0)
        listView()->selectionModel()->setCurrentIndex(m_model->index(0, 0), QItemSelectionModel::NoUpdate);
    m_searching = false;
    updateButtons();
    setSearchingLayout(false);
    updateFoundButtons();
    showIdleStatus();
    rebuildFromCatalogs();
    setUpdatesEnabled(true);
    emit searchStateChanged();
    listView()->setFocus();
    if (found == 0 && !cancelled)
        m_prompter->ask(QStringLiteral("No hits"), QStringLiteral("Sorry, no items were found to match your criteria."),
                        MsgIcon::Information, MsgButtons::Ok);
}

void TSearchForm::newSearch()
{
    if (searching())
        return;
    ResetCriteria(m_work, QDate::currentDate());
    syncFromWork();
    m_model->clearList();
    currentList().listVisible = false;
    showListArea(false);
    m_pages->setCurrentIndex(0);
    updateFoundButtons();
    showIdleStatus();
}
