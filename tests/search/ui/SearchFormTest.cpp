// Tests of the search window on the offscreen platform: the controls as a
// mirror of the criteria (both ways), the pages that groups and modes show,
// Find with its questions and messages, a search run to its end with the
// status texts and the first hit selected, the found list's removal, sorting
// and commands, the scope tree's states, the category lists, the two lists
// of the two modes, and a found list that follows a closed catalog. Searches
// run over the sample catalog built in memory; questions are answered by a
// script.
#include "search/ui/SearchForm.h"

#include "TestCatalogs.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/ResultLists.h"
#include "platform/Texts.h"
#include "search/SearchThread.h"
#include "search/ui/FoundListModel.h"
#include "search/ui/ScopeTree.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolBar>
#include <QTableView>
#include <QtTest>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

using namespace testcat;

Q_DECLARE_METATYPE(MsgAnswer)

namespace {

// Waiting for a search is bounded only so that a hang fails instead of stalling.
constexpr int kSearchEndGuardMs = 30000;

// Every file, folder and disk record of the forest, in tree order.
std::vector<TItemRec *> allRecords(TForest &forest)
{
    std::vector<TItemRec *> out;
    for (TTreeNode *root : forest.roots())
        ForEachNode(root, [&out](TTreeNode *node) {
            if (!NodeIs(node, rkCatalog))
                out.push_back(node->data());
            if (NodeIs(node, rkDisk) || NodeIs(node, rkFolder))
                for (TFileRec *f : Chain(node))
                    out.push_back(f);
        });
    return out;
}

QString nameOf(const TItemRec *rec)
{
    return ItemIs(rec->KindFlags, rkFile) ? DecodeStored(static_cast<const TFileRec *>(rec)->name())
                                          : DecodeStored(rec->Node->text());
}

// Whether a control shows on its page (pages other than the current one are hidden as a whole).
bool shown(QWidget *w)
{
    QWidget *page = w;
    while (page && !page->objectName().endsWith(QLatin1String("Sheet")))
        page = page->parentWidget();
    return page && w->isVisibleTo(page);
}

bool tabShown(TSearchForm &form, const char *page)
{
    auto *pages = form.findChild<QTabWidget *>(QStringLiteral("PageControl"));
    return pages->isTabVisible(pages->indexOf(form.findChild<QWidget *>(QLatin1String(page))));
}

} // namespace

class SearchFormTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsWriteTheCriteria_data();
    void controlsWriteTheCriteria();
    void criteriaSetTheControls();
    void nameModesKeepTheirTexts();
    void checkedGroupsShowTheirPages();
    void duplicatesModeShowsOnlyTheNameGroup();
    void leavingTheSizePageOrdersTheBounds();
    void aSizeThatIsNoNumberIsNamed();
    void findWithoutCriteriaLeftSaysSo();
    void wildcardsInPartOfNameSwitchToMask();
    void regularExpressionsFindAndRefuse();
    void searchFindsWhatTheNameSays();
    void searchWithoutHitsSaysSo();
    void searchWithoutClearingAddsOnlyNewItems();
    void hitLimitStopsWithoutMessage();
    void progressTextsOfBothModes();
    void aBurstOfCountsIsShownOnce();
    void enterOnTheListIsNotFind();
    void theWindowGoesMidSearch();
    void removingRowsAsksAndRenumbers_data();
    void removingRowsAsksAndRenumbers();
    void clearingAsks();
    void headerClicksSortThenReverse();
    void escapeStopsASortAndKeepsItsOrder();
    void commandsStateAndTheirLaterTargets();
    void itemCommandsFollowTheFocusedItem_data();
    void itemCommandsFollowTheFocusedItem();
    void menuDefaultFollowsTheDoubleClickOption_data();
    void menuDefaultFollowsTheDoubleClickOption();
    void dragCursorTellsOneRowFromSeveral();
    void viewStylesShareTheSelection();
    void descriptionsShowAsTipsWhenAsked();
    void scopeTreeShowsThreeStates();
    void categoryListsMergeWithoutCase();
    void eachModeKeepsItsList();
    void newSearchHidesTheList();
    void closedCatalogLeavesTheList();
    void modelPassesTheTester();

private:
    TSearchForm &form() { return *m_form; }
    template <class T>
    T *child(const char *name)
    {
        T *w = m_form->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    // Runs Find and waits for the search's end; false when nothing started.
    bool runSearch();
    void searchByName(const QString &text, int mode = nmPartOfName);

    std::unique_ptr<TForest> m_forest;
    std::unique_ptr<TSearchForm> m_form;
    ScriptedPrompter m_prompts;
};

void SearchFormTest::init()
{
    m_forest = std::make_unique<TForest>();
    BuildForest(*m_forest, SampleCatalog());
    m_form = std::make_unique<TSearchForm>(*m_forest);
    m_prompts = ScriptedPrompter();
    m_form->setPrompter(&m_prompts);
    m_form->setFileTypes({{QStringLiteral("(none)"), QString()},
                          {QStringLiteral("Text"), QStringLiteral(".txt") + QChar(1)}});
    m_form->show();
}

void SearchFormTest::cleanup()
{
    m_form.reset();   // may be gone already
    m_forest.reset();
}

bool SearchFormTest::runSearch()
{
    if (!form().find())
        return false;
    return QTest::qWaitFor([this] { return !form().searching(); }, kSearchEndGuardMs);
}

void SearchFormTest::searchByName(const QString &text, int mode)
{
    child<QCheckBox>("ByNameCheck")->setChecked(true);
    child<QComboBox>("NameCombo")->setCurrentIndex(mode);
    child<QLineEdit>("NameEdit")->setText(text);
}

// ---- the criteria as the controls write them ----------------------------------------------------

void SearchFormTest::controlsWriteTheCriteria_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("name group") << "ByNameCheck" << QVariant(true) << "byName" << QVariant(true);
    QTest::newRow("no folders") << "SearchForFolders" << QVariant(false) << "folders" << QVariant(false);
    QTest::newRow("desc text") << "DescEdit" << QVariant("hello") << "descText" << QVariant("hello");
    QTest::newRow("size between") << "SizeCombo" << QVariant(4) << "sizeOp" << QVariant(int(soBetween));
    QTest::newRow("size none") << "SizeCombo" << QVariant(0) << "sizeOp" << QVariant(int(soNone));
    QTest::newRow("modified dates") << "DateCombo1" << QVariant(2) << "dateKind" << QVariant(int(dkModified));
    QTest::newRow("time after") << "TimeCombo2" << QVariant(2) << "timeOp" << QVariant(int(doAfter));
    QTest::newRow("any condition") << "SearchTypeCombo" << QVariant(1) << "searchType" << QVariant(1);
    QTest::newRow("max found") << "MaxFoundNum" << QVariant(17) << "maxFound" << QVariant(17);
    QTest::newRow("dup date") << "DuplicateDateCheck" << QVariant(true) << "dupDate" << QVariant(true);
    QTest::newRow("single copies") << "DuplicateSingleCheck" << QVariant(true) << "dupSingleCopy" << QVariant(true);
}

void SearchFormTest::controlsWriteTheCriteria()
{
    QFETCH(QString, control);
    QFETCH(QVariant, value);
    QFETCH(QString, field);
    QFETCH(QVariant, expected);
    QWidget *w = form().findChild<QWidget *>(control);
    QVERIFY(w);
    if (auto *box = qobject_cast<QCheckBox *>(w))
        box->setChecked(value.toBool());
    else if (auto *combo = qobject_cast<QComboBox *>(w))
        combo->setCurrentIndex(value.toInt());
    else if (auto *edit = qobject_cast<QLineEdit *>(w))
        edit->setText(value.toString());
    else if (auto *spin = qobject_cast<QSpinBox *>(w))
        spin->setValue(value.toInt());
    const TSearchWork &work = form().work();
    const std::map<QString, QVariant> fields = {
        {"byName", work.byName},       {"folders", work.folders},     {"descText", work.descText},
        {"sizeOp", work.sizeOp},       {"dateKind", work.dateKind},   {"timeOp", work.timeOp},
        {"searchType", work.searchType}, {"maxFound", work.maxFound}, {"dupDate", work.dupDate},
        {"dupSingleCopy", work.dupSingleCopy},
    };
    QCOMPARE(fields.at(field), expected);
}

void SearchFormTest::criteriaSetTheControls()
{
    TSearchWork &work = form().work();
    work.byDesc = true;
    work.descMode = dmNone;
    work.bySize = true;
    work.sizeOp = soNotBetween;
    work.size2.text = QStringLiteral("12");
    work.size2.unit = SizeUnit::MB;
    work.attrHidden = asSet;
    work.attrSystem = asClear;
    form().syncFromWork();
    QVERIFY(child<QRadioButton>("DescCheck3")->isChecked());
    QVERIFY(!child<QLineEdit>("DescEdit")->isEnabled());
    QCOMPARE(child<QComboBox>("SizeCombo")->currentIndex(), int(soNotBetween));
    QCOMPARE(child<QLineEdit>("SizeValue2")->text(), QStringLiteral("12"));
    QCOMPARE(child<QComboBox>("SizeUnits2")->currentText(), QStringLiteral("MB"));
    QVERIFY(shown(child<QLineEdit>("SizeValue2")));
    QCOMPARE(child<QCheckBox>("AttrHiddenCheck")->checkState(), Qt::Checked);
    QCOMPARE(child<QCheckBox>("AttrSystemCheck")->checkState(), Qt::Unchecked);
    QCOMPARE(child<QCheckBox>("AttrArchiveCheck")->checkState(), Qt::PartiallyChecked);
    QVERIFY(tabShown(form(), "DescSheet"));
    QVERIFY(tabShown(form(), "SizeSheet"));
    QVERIFY(!tabShown(form(), "DateSheet"));
}

void SearchFormTest::nameModesKeepTheirTexts()
{
    auto *combo = child<QComboBox>("NameCombo");
    auto *edit = child<QLineEdit>("NameEdit");
    edit->setText(QStringLiteral("part"));
    combo->setCurrentIndex(nmFileMask);
    QCOMPARE(edit->text(), QString());
    QCOMPARE(child<QLabel>("NameLabel")->text(), QStringLiteral("File Mask:"));
    QVERIFY(!child<QCheckBox>("FileCaseCheck")->isEnabled());
    edit->setText(QStringLiteral("*.txt"));
    combo->setCurrentIndex(nmPartOfName);
    QCOMPARE(edit->text(), QStringLiteral("part"));
    QVERIFY(child<QCheckBox>("FileCaseCheck")->isEnabled());
    combo->setCurrentIndex(nmFileType);
    QVERIFY(!shown(edit));
    QVERIFY(shown(child<QComboBox>("FileTypeCombo")));
    QCOMPARE(child<QComboBox>("FileTypeCombo")->count(), 2);
    combo->setCurrentIndex(nmFileMask);
    QCOMPARE(edit->text(), QStringLiteral("*.txt"));
}

void SearchFormTest::checkedGroupsShowTheirPages()
{
    auto *pages = child<QTabWidget>("PageControl");
    QVERIFY(!tabShown(form(), "NameSheet"));
    child<QCheckBox>("ByNameCheck")->setChecked(true);
    QVERIFY(tabShown(form(), "NameSheet"));
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("NameSheet"));
    child<QCheckBox>("ByDateCheck")->setChecked(true);
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("DateSheet"));
    // Unchecking the page on show brings back the first page.
    child<QCheckBox>("ByDateCheck")->setChecked(false);
    QCOMPARE(pages->currentIndex(), 0);
    child<QCheckBox>("ShowLimitCheck")->setChecked(true);
    QVERIFY(tabShown(form(), "LimitSheet"));
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("LimitSheet"));
    QVERIFY(!tabShown(form(), "SettingsSheet"));
    child<QCheckBox>("ShowSettingsCheck")->setChecked(true);
    QVERIFY(tabShown(form(), "SettingsSheet"));
}

void SearchFormTest::duplicatesModeShowsOnlyTheNameGroup()
{
    child<QCheckBox>("ByNameCheck")->setChecked(true);
    child<QCheckBox>("BySizeCheck")->setChecked(true);
    form().showMode(true);
    QCOMPARE(form().windowTitle(), QStringLiteral("Duplicates Search"));
    QCOMPARE(child<QCheckBox>("ByNameCheck")->text(), QStringLiteral("Search Duplicates by &Name"));
    QVERIFY(!shown(child<QCheckBox>("BySizeCheck")));
    QVERIFY(shown(child<QLabel>("ByDuplicatesLabel")));
    QVERIFY(tabShown(form(), "NameSheet"));
    QVERIFY(!tabShown(form(), "SizeSheet"));
    QVERIFY(tabShown(form(), "SettingsSheet"));
    auto *pages = child<QTabWidget>("PageControl");
    QCOMPARE(pages->tabText(pages->indexOf(child<QWidget>("SettingsSheet"))), QStringLiteral("Duplicates Settings"));
    QVERIFY(!shown(child<QCheckBox>("AttrArchiveCheck")));
    QVERIFY(!child<QCheckBox>("ShowSettingsCheck")->isEnabled());
    // Duplicates are compared for files and folders only.
    child<QCheckBox>("SearchForFiles")->setChecked(false);
    child<QCheckBox>("SearchForFolders")->setChecked(false);
    QVERIFY(!child<QCheckBox>("DuplicateNameCheck")->isEnabled());
    form().showMode(false);
    QCOMPARE(form().windowTitle(), QStringLiteral("Search"));
    QVERIFY(tabShown(form(), "SizeSheet"));
}

void SearchFormTest::leavingTheSizePageOrdersTheBounds()
{
    child<QCheckBox>("BySizeCheck")->setChecked(true);
    auto *pages = child<QTabWidget>("PageControl");
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("SizeSheet"));
    child<QComboBox>("SizeCombo")->setCurrentIndex(soBetween);
    child<QLineEdit>("SizeValue1")->setText(QStringLiteral("5"));
    child<QComboBox>("SizeUnits1")->setCurrentIndex(int(SizeUnit::MB));
    child<QLineEdit>("SizeValue2")->setText(QStringLiteral("1"));
    child<QComboBox>("SizeUnits2")->setCurrentIndex(int(SizeUnit::MB));
    pages->setCurrentIndex(0);
    QCOMPARE(form().work().size1.text, QStringLiteral("1"));
    QCOMPARE(form().work().size2.text, QStringLiteral("5"));
    QCOMPARE(child<QLineEdit>("SizeValue1")->text(), QStringLiteral("1"));
    QCOMPARE(child<QLineEdit>("SizeValue2")->text(), QStringLiteral("5"));
    QCOMPARE(child<QComboBox>("SizeUnits2")->currentText(), QStringLiteral("MB"));
}

void SearchFormTest::aSizeThatIsNoNumberIsNamed()
{
    child<QCheckBox>("BySizeCheck")->setChecked(true);
    child<QComboBox>("SizeCombo")->setCurrentIndex(soEqual);
    auto *value = child<QLineEdit>("SizeValue1");
    value->setText(QStringLiteral("1.5"));
    child<QComboBox>("SizeUnits1")->setCurrentIndex(int(SizeUnit::MB));
    emit value->editingFinished();
    // A fraction moves one unit down as the field is left.
    QCOMPARE(value->text(), QStringLiteral("1536"));
    QCOMPARE(child<QComboBox>("SizeUnits1")->currentText(), QStringLiteral("KB"));
    QVERIFY(m_prompts.messages.empty());

    value->setText(QStringLiteral("."));   // what the field's validator still lets through
    emit value->editingFinished();
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QCOMPARE(m_prompts.messages[0].text, QStringLiteral("'.' is not a valid floating point value."));
    m_prompts.answers = {MsgAnswer::No};
    QVERIFY(!form().find());
    QCOMPARE(m_prompts.messages.size(), size_t(2));
    QCOMPARE(m_prompts.messages[1].caption, QStringLiteral("Invalid size field"));
    QVERIFY(!form().searching());
}

// ---- Find ---------------------------------------------------------------------------------------

void SearchFormTest::findWithoutCriteriaLeftSaysSo()
{
    child<QCheckBox>("ByNameCheck")->setChecked(true);
    m_prompts.answers = {MsgAnswer::Yes};   // drop the empty name group
    QVERIFY(!form().find());
    QCOMPARE(m_prompts.messages.size(), size_t(2));
    QCOMPARE(m_prompts.messages[0].caption, QStringLiteral("Invalid item name field"));
    QCOMPARE(m_prompts.messages[1].caption, QStringLiteral("No criteria defined"));
    QCOMPARE(m_prompts.messages[1].text, QStringLiteral("There is no criteria left to search by."));
    QVERIFY(!child<QCheckBox>("ByNameCheck")->isChecked());
    QVERIFY(!form().searching());
    QVERIFY(!child<QPushButton>("BtnFind")->isEnabled());
}

void SearchFormTest::wildcardsInPartOfNameSwitchToMask()
{
    searchByName(QStringLiteral("RE?DME.*"));
    QVERIFY(runSearch());
    QCOMPARE(child<QComboBox>("NameCombo")->currentIndex(), int(nmFileMask));
    QCOMPARE(child<QLineEdit>("NameEdit")->text(), QStringLiteral("RE?DME.*"));
    QCOMPARE(form().model()->rowCount(), 1);
    QCOMPARE(nameOf(form().model()->recordOf(form().model()->index(0, 0))), QStringLiteral("readme.txt"));
}

void SearchFormTest::regularExpressionsFindAndRefuse()
{
    QCOMPARE(child<QComboBox>("NameCombo")->itemText(nmRegex), QStringLiteral("Regular Expression"));
    searchByName(QStringLiteral("^[ab]\\d?\\.txt$"), nmRegex);
    QVERIFY(child<QCheckBox>("FileCaseCheck")->isEnabled());
    QVERIFY(runSearch());
    QStringList found;
    for (TItemRec *rec : form().foundList().items())
        found << nameOf(rec);
    found.sort();
    QCOMPARE(found, QStringList({QStringLiteral("a1.txt"), QStringLiteral("b.txt")}));

    child<QLineEdit>("NameEdit")->setText(QStringLiteral("(["));
    m_prompts.answers = {MsgAnswer::No};
    QVERIFY(!form().find());
    QVERIFY(!form().searching());
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QCOMPARE(m_prompts.messages[0].caption, QStringLiteral("Invalid regular expression field"));
    QCOMPARE(form().foundList().count(), 2);   // the earlier hits stay
}

void SearchFormTest::searchFindsWhatTheNameSays()
{
    QSignalSpy state(&form(), &TSearchForm::searchStateChanged);
    searchByName(QStringLiteral("txt"));
    QVERIFY(form().find());
    QVERIFY(form().searching());
    QVERIFY(!child<QPushButton>("BtnFind")->isEnabled());
    QVERIFY(!child<QPushButton>("BtnNew")->isEnabled());
    QVERIFY(child<QPushButton>("BtnCancel")->isEnabled());
    QVERIFY(form().progressBar()->isVisibleTo(&form()));
    QTRY_VERIFY_WITH_TIMEOUT(!form().searching(), kSearchEndGuardMs);
    QCOMPARE(state.count(), 2);

    // What the name says, found independently of the search.
    QStringList expected;
    for (TItemRec *rec : allRecords(*m_forest))
        if (nameOf(rec).contains(QStringLiteral("txt"), Qt::CaseInsensitive))
            expected << nameOf(rec);
    QStringList found;
    for (int r = 0; r < form().model()->rowCount(); ++r)
        found << nameOf(form().model()->recordOf(form().model()->index(r, 0)));
    expected.sort();
    found.sort();
    QCOMPARE(found, expected);
    QVERIFY(!expected.isEmpty());
    QVERIFY(m_prompts.messages.empty());
    QVERIFY(!form().progressBar()->isVisibleTo(&form()));
    QVERIFY(form().listAreaVisible());
    QCOMPARE(form().statusText(0), QStringLiteral("Items in list: %1").arg(expected.size()));
    // The first hit is selected and focused.
    QCOMPARE(form().detailsView()->currentIndex().row(), 0);
    QVERIFY(form().detailsView()->selectionModel()->isRowSelected(0, {}));
    QVERIFY(!form().statusText(1).isEmpty());
    QVERIFY(form().statusText(2).startsWith(QStringLiteral("Selected: 1 item, ")));
    // Every entry's hint is its index.
    for (int r = 0; r < form().foundList().count(); ++r)
        QCOMPARE(int(form().foundList().at(r)->SearchListPos), r);
}

void SearchFormTest::searchWithoutHitsSaysSo()
{
    searchByName(QStringLiteral("no such name anywhere"));
    QVERIFY(runSearch());
    QCOMPARE(form().model()->rowCount(), 0);
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QCOMPARE(m_prompts.messages[0].caption, QStringLiteral("No hits"));
    QCOMPARE(m_prompts.messages[0].text, QStringLiteral("Sorry, no items were found to match your criteria."));
}

void SearchFormTest::searchWithoutClearingAddsOnlyNewItems()
{
    searchByName(QStringLiteral("a1"));
    QVERIFY(runSearch());
    const std::vector<TItemRec *> first = form().foundList().items();
    QVERIFY(!first.empty());
    child<QCheckBox>("ClearResultsCheck")->setChecked(false);
    child<QLineEdit>("NameEdit")->setText(QStringLiteral("alpha"));
    QVERIFY(runSearch());
    const std::vector<TItemRec *> now = form().foundList().items();
    QVERIFY(now.size() > first.size());
    QVERIFY(std::equal(first.begin(), first.end(), now.begin()));
    QVERIFY(std::set<TItemRec *>(now.begin(), now.end()).size() == now.size());
}

void SearchFormTest::progressTextsOfBothModes()
{
    // What the status shows at each progress, after the window has taken
    // it, and each position the bar takes during the search.
    QStringList texts;
    std::vector<int> bars;
    connect(&form().controller(), &TSearchController::progress, this, [&] { texts << form().statusText(0); });
    connect(form().progressBar(), &QProgressBar::valueChanged, this, [&](int value) {
        if (form().searching() && value > 0)
            bars.push_back(value);
    });
    searchByName(QStringLiteral("a"));
    QVERIFY(runSearch());
    QVERIFY(!texts.isEmpty());
    static const QRegularExpression normal(QStringLiteral(R"(^Checked \d+ items, found \d+\.\.\.$)"));
    for (const QString &t : texts)
        QVERIFY2(normal.match(t).hasMatch(), qPrintable(t));
    // The bar ends full: after each disk the count is exactly the disk's share.
    QCOMPARE(bars.back(), 1000);
    QVERIFY(std::is_sorted(bars.begin(), bars.end()));

    texts.clear();
    bars.clear();
    form().showMode(true);
    child<QCheckBox>("ByNameCheck")->setChecked(false);
    QVERIFY(runSearch());
    static const QRegularExpression collecting(QStringLiteral(R"(^Collecting all items: \d+$)"));
    static const QRegularExpression grouping(QStringLiteral(R"(^Duplicates: \d+ of \d+$)"));
    // Counts posted while an earlier one waits are merged, so a small
    // catalog may show either phase only.
    QVERIFY(!texts.isEmpty());
    for (const QString &t : texts)
        QVERIFY2(collecting.match(t).hasMatch() || grouping.match(t).hasMatch(), qPrintable(t));
}

void SearchFormTest::aBurstOfCountsIsShownOnce()
{
    // Counts that come faster than the window repaints are shown once at
    // once, then the latest of them after a short wait.
    searchByName(QStringLiteral("a"));
    QVERIFY(form().find());   // running until events are handled
    QSignalSpy bar(form().progressBar(), &QProgressBar::valueChanged);
    for (int i = 1; i <= 20; ++i)
        emit form().controller().progress(i, 20, 0);
    QCOMPARE(bar.count(), 1);
    QCOMPARE(form().progressBar()->value(), 50);
    static const QRegularExpression first(QStringLiteral(R"(^Checked 1 items, found \d+\.\.\.$)"));
    QVERIFY2(first.match(form().statusText(0)).hasMatch(), qPrintable(form().statusText(0)));
    QVERIFY(QTest::qWaitFor([this] { return !form().searching(); }, kSearchEndGuardMs));
}

void SearchFormTest::hitLimitStopsWithoutMessage()
{
    child<QCheckBox>("ShowSettingsCheck")->setChecked(true);
    child<QCheckBox>("LimitFoundCheck")->setChecked(true);
    child<QSpinBox>("MaxFoundNum")->setValue(1);
    searchByName(QStringLiteral("a"));
    QVERIFY(runSearch());
    QCOMPARE(form().model()->rowCount(), 1);
    QVERIFY(m_prompts.messages.empty());
}

void SearchFormTest::enterOnTheListIsNotFind()
{
    searchByName(QStringLiteral("readme"));
    QVERIFY(runSearch());
    QSignalSpy state(&form(), &TSearchForm::searchStateChanged);
    form().detailsView()->setFocus();
    QTest::keyClick(form().detailsView(), Qt::Key_Return);
    QCOMPARE(state.count(), 0);
    QVERIFY(!form().searching());
    QVERIFY(form().isVisible());
    QVERIFY(m_prompts.messages.empty());
}

void SearchFormTest::theWindowGoesMidSearch()
{
    searchByName(QStringLiteral("no such name anywhere"));
    QVERIFY(form().find());
    QVERIFY(form().searching());
    m_form.reset();
    // No message from a window half gone, and no record keeps a place in its lists.
    QVERIFY(m_prompts.messages.empty());
    for (TItemRec *rec : allRecords(*m_forest)) {
        QCOMPARE(rec->SearchListPos, int16_t(-1));
        QCOMPARE(rec->DupListPos, int16_t(-1));
    }
    QVERIFY(!ResultList(ResultListId::Found));
}

// ---- the found list -----------------------------------------------------------------------------

void SearchFormTest::removingRowsAsksAndRenumbers_data()
{
    QTest::addColumn<MsgAnswer>("answer");
    QTest::newRow("yes") << MsgAnswer::Yes;
    QTest::newRow("no") << MsgAnswer::No;
}

void SearchFormTest::removingRowsAsksAndRenumbers()
{
    QFETCH(MsgAnswer, answer);
    child<QCheckBox>("ByNameCheck")->setChecked(true);
    child<QComboBox>("NameCombo")->setCurrentIndex(nmFileMask);
    child<QLineEdit>("NameEdit")->setText(QStringLiteral("*"));
    QVERIFY(runSearch());
    const int rows = form().model()->rowCount();
    QVERIFY(rows >= 6);
    const std::vector<TItemRec *> before = form().foundList().items();
    QTableView *view = form().detailsView();
    view->selectionModel()->clearSelection();
    for (int r : {2, 4})
        view->selectionModel()->select(form().model()->index(r, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view->selectionModel()->setCurrentIndex(form().model()->index(4, 0), QItemSelectionModel::NoUpdate);
    m_prompts.answers = {answer};
    m_prompts.messages.clear();
    QVERIFY(form().action(QStringLiteral("BtnDelete"))->isEnabled() || QTest::qWaitFor([&] {
        return form().action(QStringLiteral("BtnDelete"))->isEnabled();
    }));
    QTest::keyClick(view, Qt::Key_Delete);
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QCOMPARE(m_prompts.messages[0].caption, QStringLiteral("Delete items"));
    QCOMPARE(m_prompts.messages[0].text, QStringLiteral("Remove selected item(s) from the found list?"));
    if (answer == MsgAnswer::No) {
        QCOMPARE(form().model()->rowCount(), rows);
        QVERIFY(form().foundList().items() == before);
        return;
    }
    QCOMPARE(form().model()->rowCount(), rows - 2);
    QCOMPARE(before[2]->SearchListPos, int16_t(-1));
    QCOMPARE(before[4]->SearchListPos, int16_t(-1));
    const std::vector<TItemRec *> after = form().foundList().items();
    for (int r = 0; r < int(after.size()); ++r)
        QCOMPARE(int(after[size_t(r)]->SearchListPos), r);
    QTRY_COMPARE(form().statusText(0), QStringLiteral("Items in list: %1").arg(rows - 2));
}

void SearchFormTest::clearingAsks()
{
    searchByName(QStringLiteral("a"));
    QVERIFY(runSearch());
    QVERIFY(form().model()->rowCount() > 0);
    m_prompts.answers = {MsgAnswer::No, MsgAnswer::Yes};
    QTest::keyClick(form().detailsView(), Qt::Key_Delete, Qt::ShiftModifier);
    QVERIFY(form().model()->rowCount() > 0);
    form().action(QStringLiteral("BtnClear"))->trigger();
    QCOMPARE(form().model()->rowCount(), 0);
    QCOMPARE(m_prompts.messages.size(), size_t(2));
    QCOMPARE(m_prompts.messages[1].caption, QStringLiteral("Delete all items"));
    QCOMPARE(m_prompts.messages[1].text, QStringLiteral("Remove all items from the found list?"));
    QVERIFY(!form().action(QStringLiteral("BtnClear"))->isEnabled());
}

void SearchFormTest::headerClicksSortThenReverse()
{
    child<QCheckBox>("ByNameCheck")->setChecked(true);
    child<QComboBox>("NameCombo")->setCurrentIndex(nmExtension);
    child<QLineEdit>("NameEdit")->setText(QStringLiteral("txt,dat,jpg,bin"));
    QVERIFY(runSearch());
    auto sizes = [this] {
        std::vector<int64_t> out;
        for (TItemRec *rec : form().foundList().items())
            out.push_back(static_cast<TFileRec *>(rec)->Size);
        return out;
    };
    QVERIFY(form().foundList().count() >= 4);
    TItemRec *focused = form().focusedRecord();
    QVERIFY(focused);
    form().headerClicked(fcSize);
    std::vector<int64_t> s = sizes();
    QVERIFY(std::is_sorted(s.begin(), s.end()));
    QCOMPARE(form().foundList().sortColumn, uint8_t(fcSize));
    // The focus stays on its record.
    QCOMPARE(form().focusedRecord(), focused);
    form().headerClicked(fcSize);
    s = sizes();
    QVERIFY(std::is_sorted(s.rbegin(), s.rend()));
    QVERIFY(form().foundList().sortDescending);
    form().headerClicked(fcSize);
    s = sizes();
    QVERIFY(std::is_sorted(s.begin(), s.end()));
}

// Esc during a sort asks whether to stop: Yes keeps the order reached so
// far (here the search's, as the Esc comes before the first step), No sorts
// to the end. The Esc and the clicks that come meanwhile reach no window:
// the search window stays open.
void SearchFormTest::escapeStopsASortAndKeepsItsOrder()
{
    child<QCheckBox>("ByNameCheck")->setChecked(true);
    child<QComboBox>("NameCombo")->setCurrentIndex(nmExtension);
    child<QLineEdit>("NameEdit")->setText(QStringLiteral("txt,dat,jpg,bin"));
    QVERIFY(runSearch());
    const std::vector<TItemRec *> found = form().foundList().items();
    QVERIFY(found.size() >= 4);
    const auto sizes = [this] {
        std::vector<int64_t> out;
        for (TItemRec *rec : form().foundList().items())
            out.push_back(static_cast<TFileRec *>(rec)->Size);
        return out;
    };
    const std::vector<int64_t> arrival = sizes();
    QVERIFY(!std::is_sorted(arrival.begin(), arrival.end()));
    const auto pressEsc = [this] {
        QCoreApplication::postEvent(form().detailsView(),
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        QCoreApplication::postEvent(form().detailsView(),
                                    new QKeyEvent(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier));
    };

    m_prompts.answers = {MsgAnswer::Yes};
    pressEsc();
    form().headerClicked(fcSize);
    QCoreApplication::processEvents();
    QVERIFY(form().isVisible());
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QCOMPARE(m_prompts.messages[0].caption, QStringLiteral("Cancel sort"));
    QCOMPARE(m_prompts.messages[0].text, QStringLiteral("Sorting was temporarily halted by user.\rWould you like "
                                                        "to cancel sort and proceed with partial results?"));
    QCOMPARE(m_prompts.messages[0].buttons, MsgButtons::YesNo);
    QCOMPARE(form().foundList().items(), found);
    for (size_t i = 0; i < found.size(); ++i)
        QVERIFY(form().foundList().contains(found[i]));

    // No: the sort goes on (by another column, so it sorts again).
    m_prompts.answers = {MsgAnswer::No};
    pressEsc();
    form().headerClicked(fcName);
    form().headerClicked(fcSize);
    QCoreApplication::processEvents();
    QVERIFY(form().isVisible());
    QCOMPARE(m_prompts.messages.size(), size_t(2));
    const std::vector<int64_t> s = sizes();
    QVERIFY(std::is_sorted(s.begin(), s.end()));
    QCOMPARE(form().foundList().count(), int(found.size()));
}

void SearchFormTest::commandsStateAndTheirLaterTargets()
{
    for (const char *name : {"BtnEditDesc", "BtnReport"}) {
        QAction *a = form().action(QLatin1String(name));
        QVERIFY2(a && !a->isEnabled(), name);
        QVERIFY2(a->toolTip().contains(QStringLiteral("later")), name);
    }
    // These need a focused or selected row.
    for (const char *name : {"BtnSetCat", "BtnAddList", "BtnProperties", "BtnExplorer", "BtnView", "BtnLaunch",
                             "BtnExtract"})
        QVERIFY2(!form().action(QLatin1String(name))->isEnabled(), name);
    QVERIFY(!form().action(QStringLiteral("BtnTarget"))->isEnabled());
    searchByName(QStringLiteral("readme"));
    QVERIFY(runSearch());
    QTRY_VERIFY(form().action(QStringLiteral("BtnTarget"))->isEnabled());
    QVERIFY(form().action(QStringLiteral("BtnDelete"))->isEnabled());
    QMenu *menu = form().prepareContextMenu();
    QStringList shown;
    for (QAction *a : menu->actions())
        if (a->isVisible())
            shown << a->text() + (a->isEnabled() ? QString() : QStringLiteral(" (off)"));
    QCOMPARE(shown, QStringList({QStringLiteral("Locate in Catalog"), QStringLiteral("Properties"),
                                 QStringLiteral("Set Category and Flags"), QStringLiteral("Open in Explorer"),
                                 QStringLiteral("View File"), QStringLiteral("Launch File"),
                                 QStringLiteral("Add to User List"), QStringLiteral("Remove from List")}));
    // Both hand the selection to the program around the window.
    QSignalSpy setCat(&form(), &TSearchForm::setCategoriesRequested);
    QSignalSpy addList(&form(), &TSearchForm::addToUserListRequested);
    form().action(QStringLiteral("BtnSetCat"))->trigger();
    form().action(QStringLiteral("BtnAddList"))->trigger();
    QCOMPARE(setCat.count(), 1);
    QCOMPARE(addList.count(), 1);
    const auto handed = addList.at(0).at(0).value<std::vector<TItemRec *>>();
    QCOMPARE(handed, form().selectedRecords());
    QVERIFY(!handed.empty());
    QSignalSpy locate(&form(), &TSearchForm::locateRequested);
    QTest::keyClick(form().detailsView(), Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(locate.count(), 1);
    QCOMPARE(locate.at(0).at(0).value<TItemRec *>(), form().focusedRecord());
}

void SearchFormTest::itemCommandsFollowTheFocusedItem_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QStringList>("enabled");   // of Properties, Explorer, Launch, View, Extract
    const QStringList all = {"BtnProperties", "BtnExplorer", "BtnLaunch", "BtnView", "BtnExtract"};
    QTest::newRow("file") << "readme.txt" << QStringList({"BtnProperties", "BtnExplorer", "BtnLaunch", "BtnView"});
    QTest::newRow("compressed file") << "pack.zip" << all;
    QTest::newRow("member") << "m2.txt" << QStringList({"BtnProperties", "BtnLaunch", "BtnView", "BtnExtract"});
    QTest::newRow("folder") << "Alpha" << QStringList({"BtnProperties", "BtnExplorer"});
    QTest::newRow("disk") << "Photos" << QStringList({"BtnProperties", "BtnExplorer"});
}

void SearchFormTest::itemCommandsFollowTheFocusedItem()
{
    QFETCH(QString, item);
    QFETCH(QStringList, enabled);
    searchByName(item);
    QVERIFY(runSearch());
    QVERIFY(form().model()->rowCount() > 0);
    form().listView()->selectionModel()->setCurrentIndex(form().model()->index(0, 0),
                                                        QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
    // Delete needs the focused row to be selected as well: the buttons have followed.
    QTRY_VERIFY(form().action(QStringLiteral("BtnDelete"))->isEnabled());
    TItemRec *focused = form().focusedRecord();
    QCOMPARE(nameOf(focused), item);

    QSignalSpy properties(&form(), &TSearchForm::propertiesRequested);
    QSignalSpy actions(&form(), &TSearchForm::fileActionRequested);
    static const struct {
        const char *button;
        TFileAction action;
    } kActions[] = {{"BtnExplorer", TFileAction::Explorer},
                    {"BtnLaunch", TFileAction::Launch},
                    {"BtnView", TFileAction::View},
                    {"BtnExtract", TFileAction::ExtractTo}};
    int expectedActions = 0;
    QVERIFY2(form().action(QStringLiteral("BtnProperties"))->isEnabled() == enabled.contains("BtnProperties"),
             "BtnProperties");
    for (const auto &a : kActions) {
        QAction *button = form().action(QLatin1String(a.button));
        QVERIFY2(button->isEnabled() == enabled.contains(QLatin1String(a.button)), a.button);
        if (!button->isEnabled())
            continue;
        button->trigger();
        QCOMPARE(actions.size(), ++expectedActions);
        const QList<QVariant> args = actions.last();
        QCOMPARE(args.at(0).value<TFileAction>(), a.action);
        QCOMPARE(args.at(1).value<TItemRec *>(), focused);
        QCOMPARE(args.at(2).value<std::vector<TItemRec *>>(), std::vector<TItemRec *>{focused});
    }
    // F4, Alt+Enter and a click on the focused item's summary all ask for its properties.
    form().action(QStringLiteral("BtnProperties"))->trigger();
    QTest::keyClick(form().detailsView(), Qt::Key_F4);
    QTest::keyClick(form().detailsView(), Qt::Key_Return, Qt::AltModifier);
    QTest::mouseClick(child<QLabel>("StatusPanel2"), Qt::LeftButton);
    QCOMPARE(properties.size(), 4);
    for (const QList<QVariant> &args : properties)
        QCOMPARE(args.at(0).value<TItemRec *>(), focused);
}

void SearchFormTest::menuDefaultFollowsTheDoubleClickOption_data()
{
    QTest::addColumn<int>("option");   // 0 Nothing, 1 Properties, 2 Explorer, 3 Launch, 4 View
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("entry");   // empty: no default
    QTest::newRow("properties") << 1 << "readme.txt" << "MenuProperties";
    QTest::newRow("explorer") << 2 << "readme.txt" << "MenuExplorer";
    QTest::newRow("launch a file") << 3 << "readme.txt" << "MenuLaunch";
    QTest::newRow("launch a compressed file") << 3 << "pack.zip" << "MenuLaunch";
    QTest::newRow("launch a member") << 3 << "m2.txt" << "MenuLaunch";
    QTest::newRow("launch a folder") << 3 << "Alpha" << "MenuExplorer";
    QTest::newRow("launch a disk") << 3 << "Photos" << "MenuExplorer";
    QTest::newRow("view") << 4 << "readme.txt" << "";
    QTest::newRow("nothing") << 0 << "readme.txt" << "";
}

void SearchFormTest::menuDefaultFollowsTheDoubleClickOption()
{
    QFETCH(int, option);
    QFETCH(QString, item);
    QFETCH(QString, entry);
    TSearchFormSettings settings;
    settings.doubleClick = option;
    form().applySettings(settings);
    searchByName(item);
    QVERIFY(runSearch());
    QVERIFY(form().model()->rowCount() > 0);
    form().listView()->selectionModel()->setCurrentIndex(form().model()->index(0, 0),
                                                        QItemSelectionModel::ClearAndSelect);
    QCOMPARE(nameOf(form().focusedRecord()), item);
    QAction *chosen = form().prepareContextMenu()->defaultAction();
    QCOMPARE(chosen ? chosen->objectName() : QString(), entry);
}

void SearchFormTest::dragCursorTellsOneRowFromSeveral()
{
    form().model()->setDragData([](const std::vector<TItemRec *> &) { return new QMimeData; },
                                {QStringLiteral("application/x-test")});
    searchByName(QStringLiteral("txt"));
    QVERIFY(runSearch());
    QVERIFY(form().model()->rowCount() >= 3);
    QVERIFY(TSearchForm::dragCursor(false).cacheKey() != TSearchForm::dragCursor(true).cacheKey());
    QItemSelectionModel *selection = form().listView()->selectionModel();
    const auto rows = [&](int first, int last) {
        return QItemSelection(form().model()->index(first, 0), form().model()->index(last, kFoundColumns - 1));
    };
    struct Case {
        int last;
        bool several;
    };
    for (const Case c : {Case{0, false}, Case{1, true}, Case{2, true}}) {
        selection->select(rows(0, c.last), QItemSelectionModel::ClearAndSelect);
        std::unique_ptr<QDrag> drag(form().prepareDrag());
        QVERIFY(drag);
        QVERIFY(drag->mimeData());
        QCOMPARE(drag->dragCursor(Qt::MoveAction).cacheKey(), TSearchForm::dragCursor(c.several).cacheKey());
    }
    selection->clearSelection();
    QVERIFY(!form().prepareDrag());
}

void SearchFormTest::viewStylesShareTheSelection()
{
    searchByName(QStringLiteral("txt"));
    QVERIFY(runSearch());
    TItemRec *focused = form().focusedRecord();
    QVERIFY(focused);
    auto *icons = child<QListView>("FoundIcons");
    QVERIFY(!icons->model());   // no icon view to keep up with while details show
    form().action(QStringLiteral("BtnLargeIcons"))->trigger();
    QCOMPARE(form().viewStyle(), 0);
    QCOMPARE(form().listView(), icons);
    QCOMPARE(form().focusedRecord(), focused);
    QVERIFY(icons->selectionModel()->isSelected(icons->currentIndex()));
    form().action(QStringLiteral("BtnDetails"))->trigger();
    QCOMPARE(form().listView(), form().detailsView());
    QVERIFY(!icons->model());
    QCOMPARE(form().focusedRecord(), focused);
    QVERIFY(form().action(QStringLiteral("BtnDetails"))->isChecked());
    QVERIFY(!form().action(QStringLiteral("BtnLargeIcons"))->isChecked());
}

void SearchFormTest::descriptionsShowAsTipsWhenAsked()
{
    searchByName(QStringLiteral("readme"));
    QVERIFY(runSearch());
    const QModelIndex row = form().model()->index(0, fcName);
    const auto *file = static_cast<const TFileRec *>(form().model()->recordOf(row));
    QVERIFY(file && file->Desc);
    QCOMPARE(row.data(Qt::ToolTipRole).toString(), DecodeStored(TextView(file->Desc)));
    TSearchFormSettings settings;
    settings.descriptionTips = false;
    form().applySettings(settings);
    QVERIFY(!row.data(Qt::ToolTipRole).isValid());
}

void SearchFormTest::scopeTreeShowsThreeStates()
{
    TScopeTree *tree = form().scopeTree();
    TTreeNode *catalog = m_forest->roots().front();
    TTreeNode *disk = catalog->child(0);
    QCOMPARE(tree->topLevelItemCount(), 1);
    QCOMPARE(tree->stateOf(catalog), int(ssIncluded));
    QVERIFY(!child<QPushButton>("IncludeBtn")->isEnabled());
    QVERIFY(child<QPushButton>("ExcludeBtn")->isEnabled());
    // A click on the disk's check box excludes it; the catalog is partly included.
    tree->itemOf(disk)->setCheckState(0, Qt::Unchecked);
    QCOMPARE(tree->stateOf(disk), int(ssExcluded));
    QCOMPARE(tree->stateOf(catalog), int(ssPartial));
    QVERIFY(!ItemIs(disk->data()->KindFlags, rfInSearch));
    QVERIFY(!ItemIs(catalog->data()->KindFlags, rfInSearch));
    QVERIFY(child<QPushButton>("IncludeBtn")->isEnabled());
    child<QPushButton>("IncludeBtn")->click();
    QCOMPARE(tree->stateOf(disk), int(ssIncluded));
    QCOMPARE(tree->stateOf(catalog), int(ssIncluded));
    child<QPushButton>("ExcludeBtn")->click();
    QCOMPARE(tree->stateOf(catalog), int(ssExcluded));
    QCOMPARE(tree->stateOf(catalog->child(1)), int(ssExcluded));

    // Limited to the second disk, a search finds nothing of the first.
    tree->itemOf(catalog->child(1))->setCheckState(0, Qt::Checked);
    child<QCheckBox>("ShowLimitCheck")->setChecked(true);
    searchByName(QStringLiteral("."));
    QVERIFY(runSearch());
    QVERIFY(form().model()->rowCount() > 0);
    for (TItemRec *rec : form().foundList().items())
        QCOMPARE(DiskNodeOf(rec->Node), catalog->child(1));
}

void SearchFormTest::categoryListsMergeWithoutCase()
{
    HandCatalog second = SampleCatalog();
    second.name = "Second";
    second.categories = {{"games", 1}, {"Music", 2}};
    second.flagNames[0] = "keep";
    second.flagNames[1] = "Lent";
    BuildForest(*m_forest, second);
    QTRY_COMPARE(form().scopeTree()->topLevelItemCount(), 2);
    auto texts = [](QListWidget *list) {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    };
    QCOMPARE(texts(child<QListWidget>("CategoryList")),
             QStringList({QStringLiteral("Games"), QStringLiteral("Work"), QStringLiteral("Music")}));
    QCOMPARE(texts(child<QListWidget>("FlagsList")),
             QStringList({QStringLiteral("Keep"), QStringLiteral("Burn"), QStringLiteral("Lent")}));
    child<QListWidget>("CategoryList")->item(2)->setCheckState(Qt::Checked);
    QCOMPARE(form().work().checkedCategories, QStringList{QStringLiteral("Music")});
    QVERIFY(child<QCheckBox>("ByCategoryCheck")->isEnabled());

    // Without catalogs that name any, the group is off and cannot be chosen.
    child<QCheckBox>("ByCategoryCheck")->setChecked(true);
    for (TTreeNode *root : std::vector<TTreeNode *>(m_forest->roots()))
        DeleteCatalog(*m_forest, root);
    QTRY_COMPARE(child<QListWidget>("CategoryList")->count(), 0);
    QVERIFY(!child<QCheckBox>("ByCategoryCheck")->isEnabled());
    QVERIFY(!form().work().byCategory);
}

void SearchFormTest::eachModeKeepsItsList()
{
    searchByName(QStringLiteral("txt"));
    QVERIFY(runSearch());
    const int normalRows = form().model()->rowCount();
    QVERIFY(normalRows > 0);
    form().setMaximized(true);
    form().showMode(true);
    QCOMPARE(form().model()->rowCount(), 0);
    QVERIFY(!form().action(QStringLiteral("BtnMaximize"))->isChecked());
    child<QCheckBox>("ByNameCheck")->setChecked(false);
    QVERIFY(runSearch());
    const int dupRows = form().model()->rowCount();
    // Duplicates come in groups of two or more.
    QVERIFY(dupRows == 0 || dupRows >= 2);
    QCOMPARE(form().model()->list(), &form().duplicatesList());
    form().showMode(false);
    QCOMPARE(form().model()->rowCount(), normalRows);
    QVERIFY(form().action(QStringLiteral("BtnMaximize"))->isChecked());
    QVERIFY(!form().findChild<QWidget *>(QStringLiteral("CriteriaArea"))->isVisibleTo(&form()));
}

void SearchFormTest::newSearchHidesTheList()
{
    const int criteriaHeight = form().height();
    searchByName(QStringLiteral("txt"));
    QVERIFY(runSearch());
    QVERIFY(form().listAreaVisible());
    // The list area adds its height; the toolbar sets the least width.
    QVERIFY(form().height() >= criteriaHeight + 100);
    QVERIFY(form().minimumSizeHint().width() >= child<QToolBar>("FoundToolbar")->sizeHint().width());
    form().resize(form().width(), form().height() + 150);
    QTRY_COMPARE(form().foundList().listHeight, child<QWidget>("ListArea")->height());
    child<QPushButton>("BtnNew")->click();
    QVERIFY(!form().listAreaVisible());
    QCOMPARE(form().height(), criteriaHeight);
    QCOMPARE(form().minimumHeight(), form().maximumHeight());
    QCOMPARE(form().model()->rowCount(), 0);
    QVERIFY(!form().work().byName);
    QCOMPARE(child<QLineEdit>("NameEdit")->text(), QString());
    QCOMPARE(child<QTabWidget>("PageControl")->currentIndex(), 0);
    QVERIFY(child<QCheckBox>("ClearResultsCheck")->isChecked());
}

void SearchFormTest::closedCatalogLeavesTheList()
{
    searchByName(QStringLiteral("a"));
    QVERIFY(runSearch());
    QVERIFY(form().model()->rowCount() > 0);
    QAbstractItemModelTester tester(form().model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    DeleteCatalog(*m_forest, m_forest->roots().front());
    QCOMPARE(form().model()->rowCount(), 0);
    QCOMPARE(form().foundList().count(), 0);
    QTRY_COMPARE(form().statusText(0), QStringLiteral("Items in list: 0"));
    QCOMPARE(form().scopeTree()->topLevelItemCount(), 0);
}

void SearchFormTest::modelPassesTheTester()
{
    QAbstractItemModelTester tester(form().model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    searchByName(QStringLiteral("a"));
    QVERIFY(runSearch());
    form().headerClicked(fcName);
    form().headerClicked(fcName);
    form().showMode(true);
    form().showMode(false);
    form().clearList(false);
}

QTEST_MAIN(SearchFormTest)
#include "SearchFormTest.moc"
