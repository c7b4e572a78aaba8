// Tests of the main window and its models on the offscreen platform: both
// models under QAbstractItemModelTester while catalogs open, grow, change and
// close; keyboard walks in the tree that hold the list back until the timer
// fires; renaming with unique disk names; closing a modified catalog with each
// answer; sorting by column clicks; deleting and moving disks; the context
// menu's entries; going back one level; type-ahead; the status bar; the
// single-instance hand-over; and the program's life: the first idle moment
// (command-line catalogs, the autoload list, the splash's texts, the setup
// wizard's hook), autosave on the idle moment after its timer, closes that
// wait for a running operation, and the splash window's closing.
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "browser/TreeSort.h"
#include "browser/ui/CatalogTreeModel.h"
#include "browser/ui/ItemListModel.h"
#include "browser/ui/QuillonMain.h"
#include "browser/ui/Splash.h"
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/LoadSave.h"
#include "manager/CatManager.h"
#include "platform/Drives.h"
#include "platform/Texts.h"
#include "scan/ui/AddDisk.h"
#include "search/ui/FoundListModel.h"
#include "search/ui/SearchForm.h"
#include "settings/Options.h"
#include "settings/RecentFiles.h"
#include "settings/Registry.h"
#include "settings/WindowPos.h"
#include "widgets/ui/ItemDrag.h"
#include "widgets/ui/QtPrompter.h"

#include "GenCatalog.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace {

// Answers from a script (OK when it runs out) and records every question.
class ScriptedPrompter : public Prompter
{
public:
    struct Asked {
        QString caption, text;
        MsgButtons buttons;
    };
    MsgAnswer ask(const QString &caption, const QString &text, MsgIcon, MsgButtons buttons) override
    {
        asked.push_back({caption, text, buttons});
        if (onAsk)
            onAsk();
        if (answers.empty())
            return MsgAnswer::Ok;
        const MsgAnswer a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    std::vector<MsgAnswer> answers;
    std::vector<Asked> asked;
    // Runs while a question is open (as a user acting meanwhile would).
    std::function<void()> onAsk;
};

// Records the texts a splash window paints, in order.
class PaintedTexts : public QObject
{
public:
    explicit PaintedTexts(TSplashForm *splash) : m_splash(splash) { splash->installEventFilter(this); }
    QStringList texts;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_splash && event->type() == QEvent::Paint &&
            (texts.isEmpty() || texts.back() != m_splash->text()))
            texts << m_splash->text();
        return false;
    }

private:
    TSplashForm *m_splash;
};

// The window with its dialogs replaced.
class TestForm : public TMainForm
{
public:
    explicit TestForm(TOptions &options) : TMainForm(options, nullptr) { setPrompter(&prompts); }
    ~TestForm() override { setPrompter(nullptr); }
    std::optional<QString> askText(const QString &, const QString &, const QString &text) override
    {
        return newName.isEmpty() ? std::optional<QString>(text) : std::optional<QString>(newName);
    }
    QString chooseSaveFile(const QString &, const QString &, const QString &) override { return saveAs; }
    ProgressSink *progress() override { return nullptr; }
    // A search held running for as long as a test needs one.
    bool searchRunning() const override { return heldSearch || TMainForm::searchRunning(); }

    ScriptedPrompter prompts;
    bool heldSearch = false;
    QString newName;
    QString saveAs;
};

GenOptions smallShape(uint64_t seed, int disks = 3)
{
    GenOptions o;
    o.seed = seed;
    o.disks = disks;
    o.depth = 3;
    o.fanOut = 3;
    o.filesPerFolder = 6;
    o.descPercent = 20;
    return o;
}

// A catalog file written from a generated forest.
QString writeCatalog(const QTemporaryDir &dir, const QByteArray &name, const GenOptions &options)
{
    TForest forest;
    TTreeNode *catalog = GenerateCatalog(forest, name, options);
    const QString file = dir.filePath(QString::fromUtf8(name) + QStringLiteral(".ctf"));
    SaveCatalogTo(catalog, file);
    return file;
}

TTreeNode *findDisk(TForest &forest, const QByteArray &catalog, int index)
{
    for (TTreeNode *c : forest.roots())
        if (c->text() == catalog)
            return index < c->childCount() ? c->child(index) : nullptr;
    return nullptr;
}

TTreeNode *catalogNamed(TForest &forest, const QByteArray &name)
{
    for (TTreeNode *c : forest.roots())
        if (c->text() == name)
            return c;
    return nullptr;
}

QStringList rowNames(const TItemList &list)
{
    QStringList out;
    for (int i = 0; i < list.count(); ++i)
        out << list.text(i, itName);
    return out;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void treeModelPassesTheTester();
    void listModelPassesTheTester();
    void keyboardNavigationDelaysTheRefill();
    void selectionByMouseRefillsAtOnce();
    void renamingGivesUniqueNames();
    void renamingInPlaceThroughTheEditor();
    void closingModifiedCatalogHonoursEachAnswer_data();
    void closingModifiedCatalogHonoursEachAnswer();
    void closingAllAsksFirst();
    void sortingByColumnClicks();
    void sortCommandsFollowTheLevel();
    void deletingADiskAsksAndSelectsANeighbour();
    void deletingADiskFromTheList();
    void droppingDisksOnAnotherCatalog();
    void dropRulesOfTheTreeModel();
    void treeMenuEntriesFollowTheTarget();
    void backOneLevelFocusesTheFolderLeft();
    void typeAheadFindsByPrefix();
    void statusBarPanels();
    void viewStylesShareTheSelection();
    void newCatalogAndSaveAs();
    void handOverFileRoundTrip();
    void secondInstanceHandsFilesOver();
    void messageBoxTexts();
    void closingTheWindowAsksAboutModifiedCatalogs();
    void placementSortAndRecentFilesAreKept();
    void droppedFilesOpenCatalogsOnly();
    void addDiskCommandsOpenTheDialog();
    void toolbarSideIsKept();
    void closingDuringAddDiskWaitsForIt();
    void autoloadOpensTheListAtTheFirstIdleMoment();
    void startUpFailuresLeaveTheRecentFiles();
    void commandLineCatalogsComeBeforeAutoload();
    void firstIdleMomentRunsOnce();
    void firstRunAsksForTheSetupWizard();
    void autoSaveRunsOnTheIdleMomentAfterTheTimer();
    void closingWaitsForARunningOperation();
    void changedSettingsAreSavedAtClose();
    void splashFollowsTheStartAndCloses();
    void filesHandedOverDuringAnOpeningWaitForIt();
    void splashClosesOnlyOnceDone();
    void addDiskNeedsAnOpenCatalog();
    void sortButtonsFollowTheirColumnInAnyOrder();
    void commandsQueuedDuringASortWaitForIt();
    void aSecondQueuedCloseFindsTheCatalogGone();
    void renamingADiskRowEndsWithEnter();
    void anotherFolderStartsAtTheTop();
    void theTreeFollowsTheSortOrder();
    void commandLineOptionsAreNoFiles_data();
    void commandLineOptionsAreNoFiles();
    void theProgramAnswersHelpAndVersion_data();
    void theProgramAnswersHelpAndVersion();
    void aFirstWindowFitsTheScreen();
    void theNameColumnIsWideEnoughForNames();
    void searchCommandsOpenTheSearchWindow();
    void theTreeDoesNotRepaintNodeByNodeWhileASearchRuns();
    void aRunningSearchRefusesForestCommands();
    void closingCancelsARunningSearch();
    void theSearchWindowKeepsItsPlace();
    void autoSaveWaitsForARunningSearch();
    void aSearchThatDoesNotStopKeepsTheProgramOpen();
    void locateShowsAFoundItemInItsLevel();
    void foundDisksCarryTheDiskDragData();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TOptions> m_options;
    std::unique_ptr<TestForm> m_form;
    QString m_fileA, m_fileB;

    TestForm &form() { return *m_form; }
    // A new window on the test's options, not shown yet (the first idle
    // moment comes once it shows).
    void recreateForm()
    {
        m_form = std::make_unique<TestForm>(*m_options);
        m_form->resize(1000, 700);
    }
    void showForm()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }
    // A file that is not a catalog, under a catalog's name.
    QString writeNonCatalog(const QString &name)
    {
        const QString file = m_dir->filePath(name);
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write("This is not a catalog at all.\n");
        return file;
    }
    void openBoth() { form().openStartupCatalogs({m_fileA, m_fileB}); }
};

void MainWindowTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_fileA = writeCatalog(*m_dir, "Alpha", smallShape(3));
    m_fileB = writeCatalog(*m_dir, "Beta", smallShape(5, 2));
    m_options = std::make_unique<TOptions>();
    m_options->AutoSaveCheck = false;
    m_form = std::make_unique<TestForm>(*m_options);
    m_form->resize(1000, 700);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void MainWindowTest::cleanup()
{
    m_form.reset();
    m_options.reset();
    m_dir.reset();
}

void MainWindowTest::treeModelPassesTheTester()
{
    QAbstractItemModelTester tester(form().treeModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    openBoth();
    QCOMPARE(form().forest().roots().size(), size_t(2));
    TTreeNode *disk = findDisk(form().forest(), "Alpha", 0);
    QVERIFY(disk);
    // Lazy levels are fetched when a view expands them.
    QTreeView *tree = form().treeView();
    const QModelIndex diskIndex = form().treeModel()->indexOf(disk);
    tree->expand(diskIndex);
    const QModelIndex folder = form().treeModel()->index(0, 0, diskIndex);
    QVERIFY(folder.isValid());
    QVERIFY(form().treeModel()->hasChildren(folder));
    tree->expand(folder);
    QVERIFY(form().treeModel()->rowCount(folder) > 0);
    // Changes of every kind.
    QVERIFY(form().treeModel()->setData(diskIndex, QStringLiteral("Renamed"), Qt::EditRole));
    AddFolderNode(disk, "fresh");
    SortTreeChildren(disk, TSortState{});
    TTreeNode *beta = catalogNamed(form().forest(), "Beta");
    QVERIFY(TransferDisk(disk, beta, true));
    QVERIFY(TransferDisk(beta->child(0), catalogNamed(form().forest(), "Alpha"), false));
    form().deleteCatalogNode(beta->child(1));
    form().prompts.answers = {MsgAnswer::No, MsgAnswer::No};
    form().closeCatalog(beta);
    form().closeCatalog(form().forest().roots().front());
    QCOMPARE(form().treeModel()->rowCount(), 0);
}

void MainWindowTest::listModelPassesTheTester()
{
    QAbstractItemModelTester tester(form().listModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    openBoth();
    TTreeNode *disk = findDisk(form().forest(), "Alpha", 1);
    form().selectNode(disk);
    QCOMPARE(form().itemList().displayedNode(), disk);
    QVERIFY(form().listModel()->rowCount() > 0);
    TTreeNode *folder = disk->child(0);
    form().selectNode(folder);
    QCOMPARE(form().itemList().displayedNode(), folder);
    form().chooseSortColumn(2);
    form().toggleReverse();
    form().listModel()->setShowPrevFolder(false);
    form().listModel()->setShowPrevFolder(true);
    form().selectNode(CatalogNodeOf(disk));
    QCOMPARE(form().itemList().columnSet(), TColumnSet::Disks);
    QVERIFY(form().listModel()->removeRecord(disk->data()));
    form().refreshList(CatalogNodeOf(disk), true);
    form().prompts.answers = {MsgAnswer::Ok};
    form().deleteDisk(disk, false);
    QCOMPARE(form().listModel()->rowCount(), form().itemList().count());
}

void MainWindowTest::keyboardNavigationDelaysTheRefill()
{
    openBoth();
    TTreeNode *catalog = catalogNamed(form().forest(), "Alpha");
    form().selectNode(catalog);
    QCOMPARE(form().itemList().displayedNode(), catalog);
    QTreeView *tree = form().treeView();
    tree->setFocus();
    QSignalSpy filled(&form(), &TMainForm::listFilled);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(tree, Qt::Key_Down);
        // The list still shows the catalog while the keys come.
        QCOMPARE(form().itemList().displayedNode(), catalog);
        QCOMPARE(filled.count(), 0);
        QVERIFY(form().listUpdatePending());
    }
    TTreeNode *reached = form().selectedNode();
    QCOMPARE(reached, catalog->child(2));
    QCOMPARE(form().busyCount(), 1);
    // Half a second after the last key the list shows where the walk ended.
    QTRY_COMPARE_WITH_TIMEOUT(filled.count(), 1, 30000);
    QCOMPARE(form().itemList().displayedNode(), reached);
    QCOMPARE(form().busyCount(), 0);
    QVERIFY(!form().listUpdatePending());
}

void MainWindowTest::selectionByMouseRefillsAtOnce()
{
    openBoth();
    TTreeNode *disk = findDisk(form().forest(), "Beta", 1);
    QTreeView *tree = form().treeView();
    const QRect rect = tree->visualRect(form().treeModel()->indexOf(disk));
    QVERIFY(rect.isValid());
    QSignalSpy filled(&form(), &TMainForm::listFilled);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(filled.count(), 1);
    QCOMPARE(form().itemList().displayedNode(), disk);
    QVERIFY(!form().listUpdatePending());
}

void MainWindowTest::renamingGivesUniqueNames()
{
    openBoth();
    TTreeNode *catalog = catalogNamed(form().forest(), "Alpha");
    TTreeNode *first = catalog->child(0);
    TTreeNode *second = catalog->child(1);
    const QByteArray taken = second->text();
    TCatalogTreeModel *model = form().treeModel();
    QSignalSpy renamed(model, &TCatalogTreeModel::nodeRenamed);

    // An emptied text keeps the name and changes nothing.
    QVERIFY(!model->setData(model->indexOf(first), QString(), Qt::EditRole));
    QCOMPARE(AsCatalog(catalog->data())->Dirty, 0);
    QCOMPARE(renamed.count(), 0);

    QVERIFY(model->setData(model->indexOf(first), DecodeStored(taken), Qt::EditRole));
    QCOMPARE(first->text(), taken + " (2)");
    QCOMPARE(AsCatalog(catalog->data())->Dirty, 1);
    QCOMPARE(renamed.count(), 1);
    // "Name (3)" with "Name" taken and "Name (2)" taken by itself becomes "Name (2)" again.
    QVERIFY(!model->setData(model->indexOf(first), DecodeStored(taken + " (2)"), Qt::EditRole));
    QVERIFY(model->setData(model->indexOf(first), DecodeStored(taken + " (3)"), Qt::EditRole));
    QCOMPARE(first->text(), taken + " (2)");
    // "(1)" is no counter.
    QVERIFY(model->setData(model->indexOf(first), DecodeStored(taken + " (1)"), Qt::EditRole));
    QCOMPARE(first->text(), taken + " (1)");
    // A catalog takes any text.
    QVERIFY(model->setData(model->indexOf(catalog), QStringLiteral("Beta"), Qt::EditRole));
    QCOMPARE(catalog->text(), QByteArray("Beta"));
    // Folders keep the names read from the medium.
    form().treeView()->expand(model->indexOf(second));
    QVERIFY(second->childCount() > 0);
    const QModelIndex folder = model->indexOf(second->child(0));
    QVERIFY(!(model->flags(folder) & Qt::ItemIsEditable));
    QVERIFY(!model->setData(folder, QStringLiteral("x"), Qt::EditRole));
    // The status bar says the catalog changed.
    form().selectNode(catalog);
    QCOMPARE(form().statusPanelText(0), QStringLiteral("Modified"));
    QVERIFY(form().command("MenuSave")->isEnabled());
}

void MainWindowTest::renamingInPlaceThroughTheEditor()
{
    openBoth();
    TTreeNode *catalog = catalogNamed(form().forest(), "Beta");
    TTreeNode *disk = catalog->child(1);
    const QByteArray other = catalog->child(0)->text();
    form().selectNode(disk);
    form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form()));
    form().treeView()->setFocus();
    QTest::keyClick(form().treeView(), Qt::Key_F2);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    QCOMPARE(editor->text(), DecodeStored(disk->text()));
    editor->setText(DecodeStored(other));
    QTest::keyClick(editor, Qt::Key_Return);
    // The editor hands its text over once control returns to the event loop.
    QTRY_COMPARE(disk->text(), other + " (2)");
    QCOMPARE(AsCatalog(catalog->data())->Dirty, 1);
    QCOMPARE(form().selectedNode(), disk);
    QCOMPARE(form().statusPanelText(0), QStringLiteral("Modified"));
}

void MainWindowTest::closingModifiedCatalogHonoursEachAnswer_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("staysOpen");
    QTest::addColumn<bool>("saved");
    QTest::newRow("cancel") << int(MsgAnswer::Cancel) << true << false;
    QTest::newRow("no") << int(MsgAnswer::No) << false << false;
    QTest::newRow("yes") << int(MsgAnswer::Yes) << false << true;
}

void MainWindowTest::closingModifiedCatalogHonoursEachAnswer()
{
    QFETCH(int, answer);
    QFETCH(bool, staysOpen);
    QFETCH(bool, saved);
    openBoth();
    TTreeNode *catalog = catalogNamed(form().forest(), "Alpha");
    TTreeNode *disk = catalog->child(0);
    RenameDisk(disk, "Changed name");
    QCOMPARE(AsCatalog(catalog->data())->Dirty, 1);
    form().selectNode(disk);

    form().prompts.answers = {MsgAnswer(answer)};
    form().closeCatalog(catalog);
    QCOMPARE(form().prompts.asked.size(), size_t(1));
    QCOMPARE(form().prompts.asked[0].caption, QStringLiteral("Confirm"));
    QCOMPARE(form().prompts.asked[0].text, QStringLiteral("Save changes to catalog \"Alpha\" ?"));
    QCOMPARE(form().prompts.asked[0].buttons, MsgButtons::YesNoCancel);
    QCOMPARE(catalogNamed(form().forest(), "Alpha") != nullptr, staysOpen);
    if (staysOpen) {
        QCOMPARE(CatalogNodeOf(form().selectedNode()), catalog);
        QCOMPARE(AsCatalog(catalog->data())->Dirty, 1);
    } else {
        // The list shows a node that still exists.
        TTreeNode *shown = form().itemList().displayedNode();
        QVERIFY(!shown || CatalogNodeOf(shown) == catalogNamed(form().forest(), "Beta"));
    }
    // What the file holds now.
    TForest check;
    TTreeNode *reopened = ReadCatalog(check, m_fileA);
    QCOMPARE(FindDisk(reopened, "Changed name") != nullptr, saved);
}

void MainWindowTest::closingAllAsksFirst()
{
    openBoth();
    RenameDisk(catalogNamed(form().forest(), "Beta")->child(0), "Changed");
    form().prompts.answers = {MsgAnswer::Cancel};
    form().closeAllCatalogs();
    QCOMPARE(form().prompts.asked.size(), size_t(1));
    QCOMPARE(form().prompts.asked[0].caption, QStringLiteral("Confirm closing"));
    QCOMPARE(form().prompts.asked[0].text, QStringLiteral("About to close all opened catalogs. Please confirm."));
    QCOMPARE(form().forest().roots().size(), size_t(2));
    // OK, then Cancel at the modified catalog: the others close, it stays.
    form().prompts.answers = {MsgAnswer::Ok, MsgAnswer::Cancel};
    form().closeAllCatalogs();
    QCOMPARE(form().forest().roots().size(), size_t(2));   // Beta is the last one, asked first
    form().prompts.answers = {MsgAnswer::Ok, MsgAnswer::No};
    form().closeAllCatalogs();
    QCOMPARE(form().forest().roots().size(), size_t(0));
    QCOMPARE(form().itemList().count(), 0);
    QCOMPARE(form().statusPanelText(0), QStringLiteral("Empty"));
}

void MainWindowTest::sortingByColumnClicks()
{
    openBoth();
    TTreeNode *disk = findDisk(form().forest(), "Alpha", 0);
    form().treeView()->expand(form().treeModel()->indexOf(disk));
    TTreeNode *folder = disk->child(0);
    form().selectNode(folder);
    form().setViewStyle(vsDetails);
    QTreeView *details = form().detailsView();
    QHeaderView *header = details->header();
    const TItemList &list = form().itemList();
    QVERIFY(list.count() > 3);
    QVERIFY(list.isPrevFolder(list.at(0)));
    // Keep a file selected across the sort.
    const int fileRow = list.count() - 1;
    TItemRec *kept = list.at(fileRow);
    details->selectionModel()->setCurrentIndex(form().listModel()->index(fileRow, 0),
                                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

    auto click = [&](int section) {
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    };
    auto sizeOf = [](const TItemRec *rec) -> double {
        if (ItemIs(rec->KindFlags, rkFile))
            return double(static_cast<const TFileRec *>(rec)->Size);
        return double(static_cast<const TFolderRec *>(rec)->TotalSize) / 10000.0;
    };
    click(2);
    QCOMPARE(list.sortState().folderColumn, 2);
    QVERIFY(!list.sortState().reverse);
    QVERIFY(list.isPrevFolder(list.at(0)));
    // Folders first by total size, then files by size.
    bool seenFile = false;
    for (int i = 2; i < list.count(); ++i) {
        const TItemRec *a = list.at(i - 1), *b = list.at(i);
        if (ItemIs(b->KindFlags, rkFile) && !ItemIs(a->KindFlags, rkFile)) {
            seenFile = true;
            continue;
        }
        QVERIFY(!(ItemIs(a->KindFlags, rkFile) && ItemIs(b->KindFlags, rkFolder)));
        QVERIFY2(sizeOf(a) <= sizeOf(b), qPrintable(QStringLiteral("row %1").arg(i)));
    }
    QVERIFY(seenFile);
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(form().listModel()->recordOf(details->currentIndex()), kept);

    // The same header again reverses: files first, descending; ".." stays on top.
    click(2);
    QVERIFY(list.sortState().reverse);
    QVERIFY(list.isPrevFolder(list.at(0)));
    QVERIFY(ItemIs(list.at(1)->KindFlags, rkFile));
    for (int i = 2; i < list.count(); ++i) {
        const TItemRec *a = list.at(i - 1), *b = list.at(i);
        if (ItemIs(a->KindFlags, rkFile) == ItemIs(b->KindFlags, rkFile))
            QVERIFY(sizeOf(a) >= sizeOf(b));
    }
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QVERIFY(form().command("MenuReverseSort")->isChecked());
    QCOMPARE(form().listModel()->recordOf(details->currentIndex()), kept);

    // Another header: by name, still reversed.
    click(0);
    QCOMPARE(list.sortState().folderColumn, 0);
    QVERIFY(list.sortState().reverse);
    QVERIFY(form().command("MenuArrange1")->isChecked());
    QVERIFY(form().command("ButtonSort1")->isChecked());
    QVERIFY(!form().command("ButtonSort3")->isChecked());
    // The tree's children follow the sort of the selected node.
    const TCompareContext context = list.compareContext();
    for (int i = 1; i < folder->childCount(); ++i)
        QVERIFY(CompareItems(folder->child(i - 1)->data(), folder->child(i)->data(), context) <= 0);
}

void MainWindowTest::sortCommandsFollowTheLevel()
{
    openBoth();
    TTreeNode *catalog = catalogNamed(form().forest(), "Alpha");
    form().selectNode(catalog);
    QCOMPARE(form().command("MenuArrange5")->text(), QStringLiteral("Arrange by &Free Sapce"));
    QCOMPARE(form().command("ButtonSort2")->text(), QStringLiteral("Sort by Media Type"));
    QCOMPARE(form().command("ButtonSort4")->text(), QStringLiteral("Sort by Free Space"));
    form().chooseSortColumn(0);
    QCOMPARE(form().itemList().sortState().catalogColumn, 0);
    QCOMPARE(form().itemList().sortState().folderColumn, 1);
    QStringList names = rowNames(form().itemList());
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        return QString::localeAwareCompare(a, b) < 0;
    });
    QCOMPARE(names, sorted);
    form().selectNode(catalog->child(0));
    QCOMPARE(form().command("MenuArrange5")->text(), QStringLiteral("Arrange by &Time"));
    QCOMPARE(form().command("ButtonSort2")->text(), QStringLiteral("Sort by Extension"));
    QVERIFY(form().command("MenuArrange2")->isChecked());
    // Choosing the current column changes nothing.
    const QStringList before = rowNames(form().itemList());
    form().chooseSortColumn(1);
    QCOMPARE(rowNames(form().itemList()), before);
}

void MainWindowTest::deletingADiskAsksAndSelectsANeighbour()
{
    openBoth();
    TTreeNode *catalog = catalogNamed(form().forest(), "Alpha");
    TTreeNode *disk = catalog->child(1);
    TTreeNode *next = catalog->child(2);
    const QString name = DecodeStored(disk->text());
    form().selectNode(disk);

    form().prompts.answers = {MsgAnswer::Cancel};
    form().deleteDisk(disk, false);
    QCOMPARE(catalog->childCount(), 3);
    QCOMPARE(form().prompts.asked[0].caption, QStringLiteral("Delete disk"));
    QCOMPARE(form().prompts.asked[0].text,
             QStringLiteral("Please confirm removing all data for disk \"") + name + QStringLiteral("\" from the catalog."));
    QCOMPARE(form().prompts.asked[0].buttons, MsgButtons::OkCancel);
    QCOMPARE(AsCatalog(catalog->data())->Dirty, 0);

    form().prompts.answers = {MsgAnswer::Ok};
    form().deleteDisk(disk, false);
    QCOMPARE(catalog->childCount(), 2);
    QCOMPARE(AsCatalog(catalog->data())->Dirty, 1);
    QCOMPARE(form().selectedNode(), next);
    QCOMPARE(form().itemList().displayedNode(), next);
    // The last disk: the selection goes to the catalog.
    form().selectNode(next);
    form().prompts.answers = {MsgAnswer::Ok};
    form().deleteDisk(next, false);
    QCOMPARE(form().selectedNode(), catalog);
    QCOMPARE(form().itemList().displayedNode(), catalog);
    QCOMPARE(form().itemList().count(), 1);
}

void MainWindowTest::deletingADiskFromTheList()
{
    openBoth();
    TTreeNode *catalog = catalogNamed(form().forest(), "Beta");
    form().selectNode(catalog);
    QAbstractItemView *view = form().listView();
    TItemRec *first = form().itemList().at(0);
    view->setFocus();
    view->selectionModel()->setCurrentIndex(form().listModel()->index(0, 0), QItemSelectionModel::ClearAndSelect |
                                                                                  QItemSelectionModel::Rows);
    form().prompts.answers = {MsgAnswer::Ok};
    QTest::keyClick(view, Qt::Key_Delete);
    QCOMPARE(form().prompts.asked.size(), size_t(1));
    QCOMPARE(catalog->childCount(), 1);
    QCOMPARE(form().itemList().count(), 1);
    QCOMPARE(form().itemList().indexOf(first), -1);
    QCOMPARE(form().selectedNode(), catalog);
}

void MainWindowTest::droppingDisksOnAnotherCatalog()
{
    openBoth();
    TTreeNode *alpha = catalogNamed(form().forest(), "Alpha");
    TTreeNode *beta = catalogNamed(form().forest(), "Beta");
    TTreeNode *disk = alpha->child(0);
    const QByteArray name = disk->text();
    form().selectNode(disk);
    form().dropDisks({disk}, beta, false);
    QCOMPARE(alpha->childCount(), 2);
    QCOMPARE(beta->childCount(), 3);
    QVERIFY(FindDisk(beta, name));
    QCOMPARE(AsCatalog(alpha->data())->Dirty, 1);
    QCOMPARE(AsCatalog(beta->data())->Dirty, 1);
    QCOMPARE(form().selectedNode(), FindDisk(beta, name));
    QCOMPARE(form().itemList().displayedNode(), FindDisk(beta, name));
    QVERIFY(form().treeView()->isExpanded(form().treeModel()->indexOf(beta)));
    // Dropping on its own catalog does nothing.
    form().dropDisks({FindDisk(beta, name)}, beta, false);
    QCOMPARE(beta->childCount(), 3);
}

void MainWindowTest::dropRulesOfTheTreeModel()
{
    openBoth();
    TCatalogTreeModel *model = form().treeModel();
    TTreeNode *alpha = catalogNamed(form().forest(), "Alpha");
    TTreeNode *beta = catalogNamed(form().forest(), "Beta");
    TTreeNode *disk = alpha->child(0);
    std::unique_ptr<QMimeData> data(model->mimeData({model->indexOf(disk)}));
    QVERIFY(data);
    QVERIFY(!model->canDropMimeData(data.get(), Qt::MoveAction, -1, -1, model->indexOf(alpha)));
    QVERIFY(model->canDropMimeData(data.get(), Qt::MoveAction, -1, -1, model->indexOf(beta)));
    QVERIFY(!model->canDropMimeData(data.get(), Qt::MoveAction, -1, -1, model->indexOf(beta->child(0))));
    QVERIFY(!model->canDropMimeData(data.get(), Qt::CopyAction, -1, -1, model->indexOf(beta)));
    // A catalog cannot be dragged, and addresses that are not disks are ignored.
    QVERIFY(!(model->flags(model->indexOf(alpha)) & Qt::ItemIsDragEnabled));
    QVERIFY(model->mimeData({model->indexOf(alpha)}) == nullptr);
    QMimeData forged;
    QByteArray junk;
    QDataStream out(&junk, QIODevice::WriteOnly);
    out << quint32(3) << quint64(0x1234) << quint64(reinterpret_cast<quintptr>(alpha)) << quint64(0);
    forged.setData(TCatalogTreeModel::kDiskMimeType, junk);
    QVERIFY(model->disksOf(&forged).empty());
    QVERIFY(!model->canDropMimeData(&forged, Qt::MoveAction, -1, -1, model->indexOf(beta)));
    forged.setData(TCatalogTreeModel::kDiskMimeType, QByteArray("\xFF\xFF\xFF\xFF", 4));
    QVERIFY(model->disksOf(&forged).empty());
    // A drop asks the window to move the disk.
    QSignalSpy dropped(model, &TCatalogTreeModel::disksDropped);
    QVERIFY(model->dropMimeData(data.get(), Qt::MoveAction, -1, -1, model->indexOf(beta)));
    QCOMPARE(dropped.count(), 1);
    QTRY_COMPARE(beta->childCount(), 3);
}

void MainWindowTest::treeMenuEntriesFollowTheTarget()
{
    openBoth();
    TTreeNode *catalog = catalogNamed(form().forest(), "Alpha");
    TTreeNode *disk = catalog->child(0);
    form().treeView()->expand(form().treeModel()->indexOf(disk));
    TTreeNode *folder = disk->child(0);
    auto visible = [&](const char *name) { return form().command(QString::fromLatin1(name))->isVisible(); };

    form().prepareTreeMenu(catalog);
    for (const char *name : {"TreeRename", "TreeAddDisk", "TreeCategories", "TreeCloseCatalog", "TreeCatManager",
                             "TreeSaveCatalog", "TreeNewCatalog", "TreeOpenCatalog", "TreeProperties", "TreeEditDesc"})
        QVERIFY2(visible(name), name);
    for (const char *name : {"TreeUpdateDisk", "TreeDeleteDisk", "TreeExplorer", "TreeAddList", "TreeSetCat"})
        QVERIFY2(!visible(name), name);
    QVERIFY(!form().command("TreeSaveCatalog")->isEnabled());   // nothing changed

    form().prepareTreeMenu(disk);
    for (const char *name : {"TreeRename", "TreeUpdateDisk", "TreeDeleteDisk", "TreeExplorer", "TreeAddList",
                             "TreeProperties"})
        QVERIFY2(visible(name), name);
    for (const char *name : {"TreeAddDisk", "TreeCloseCatalog", "TreeSetCat", "TreeNewCatalog", "TreeOpenCatalog"})
        QVERIFY2(!visible(name), name);

    form().prepareTreeMenu(folder);
    QVERIFY(visible("TreeSetCat"));
    QVERIFY(!visible("TreeRename"));
    QVERIFY(!visible("TreeDeleteDisk"));

    form().prepareTreeMenu(nullptr);
    QVERIFY(visible("TreeNewCatalog"));
    QVERIFY(visible("TreeOpenCatalog"));
    QVERIFY(!visible("TreeProperties"));
    QVERIFY(!visible("TreeExplorer"));
}

void MainWindowTest::backOneLevelFocusesTheFolderLeft()
{
    openBoth();
    TTreeNode *disk = findDisk(form().forest(), "Beta", 0);
    form().treeView()->expand(form().treeModel()->indexOf(disk));
    TTreeNode *folder = disk->child(1);
    // Entering the folder from the list, as a double click does.
    form().selectNode(disk);
    const QModelIndex row = form().listModel()->indexOf(folder->data());
    QVERIFY(row.isValid());
    form().activateRow(row);
    QCOMPARE(form().itemList().displayedNode(), folder);
    QCOMPARE(form().selectedNode(), folder);
    // The ".." row leads back and shows the folder that was left.
    QVERIFY(form().itemList().isPrevFolder(form().itemList().at(0)));
    QCOMPARE(form().itemList().text(0, itDescription),
             QStringLiteral("Back to root of ") + DecodeStored(disk->text()));
    form().activateRow(form().listModel()->index(0, 0));
    QCOMPARE(form().itemList().displayedNode(), disk);
    QCOMPARE(form().selectedNode(), disk);
    QCOMPARE(form().listModel()->recordOf(form().listView()->currentIndex()), folder->data());
    // Backspace in the list goes up again.
    form().listView()->setFocus();
    QTest::keyClick(form().listView(), Qt::Key_Backspace);
    QCOMPARE(form().itemList().displayedNode(), disk->parent());
    QCOMPARE(form().listModel()->recordOf(form().listView()->currentIndex()), disk->data());
    QVERIFY(!form().command("MenuBack")->isEnabled());   // a catalog has nothing above it
}

void MainWindowTest::typeAheadFindsByPrefix()
{
    openBoth();
    TTreeNode *catalog = catalogNamed(form().forest(), "Alpha");
    form().selectNode(catalog);
    QAbstractItemView *view = form().listView();
    view->setFocus();
    const TItemList &list = form().itemList();
    const int target = list.count() - 1;
    const QString name = list.text(target, itName);
    view->selectionModel()->setCurrentIndex(form().listModel()->index(0, 0), QItemSelectionModel::ClearAndSelect |
                                                                                  QItemSelectionModel::Rows);
    view->keyboardSearch(name.toLower());
    QCOMPARE(view->currentIndex().row(), target);
    // Through the model as the views ask: wrapping from the row after.
    const QModelIndexList hit =
        form().listModel()->match(form().listModel()->index(target, 0), Qt::DisplayRole, name.left(1).toUpper());
    QCOMPARE(hit.size(), 1);
    QVERIFY(list.text(hit[0].row(), itName).startsWith(name.left(1), Qt::CaseInsensitive));
}

void MainWindowTest::statusBarPanels()
{
    QCOMPARE(form().statusPanelText(0), QStringLiteral("Empty"));
    QVERIFY(!form().command("MenuSave")->isEnabled());
    QVERIFY(!form().command("MenuClose")->isEnabled());
    openBoth();
    TTreeNode *catalog = catalogNamed(form().forest(), "Alpha");
    form().selectNode(catalog);
    QCOMPARE(form().statusPanelText(0), QStringLiteral("Loaded"));
    QVERIFY(form().statusPanelText(1).startsWith(QStringLiteral("Alpha (")));
    QVERIFY(form().statusPanelText(1).endsWith(QStringLiteral("), total disks: 3")));
    QVERIFY(form().command("MenuClose")->isEnabled());
    QVERIFY(!form().command("MenuSave")->isEnabled());
    // The list's focused row and the selection.
    QAbstractItemView *view = form().listView();
    view->setFocus();
    view->selectionModel()->setCurrentIndex(form().listModel()->index(0, 0), QItemSelectionModel::ClearAndSelect |
                                                                                  QItemSelectionModel::Rows);
    view->selectionModel()->select(form().listModel()->index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form().refreshStatus();
    QCOMPARE(form().statusPanelText(1), ItemSummary(form().itemList().at(0), form().itemList().textContext()));
    QVERIFY(form().statusPanelText(2).startsWith(QStringLiteral("Selected: 2 items, ")));
    // A change shows at once.
    RenameDisk(catalog->child(0), "Other name");
    QCOMPARE(form().statusPanelText(0), QStringLiteral("Modified"));
    QVERIFY(form().command("MenuSave")->isEnabled());
    form().saveCatalog(false);
    QCOMPARE(form().statusPanelText(0), QStringLiteral("Loaded"));
    // A transient text replaces panel 1 until it ends.
    form().treeView()->setFocus();
    form().setStatus(QStringLiteral("Working..."), 1);
    QCOMPARE(form().statusPanelText(1), QStringLiteral("Working..."));
    QVERIFY(form().statusActive());
    form().setStatus(QString(), 0);
    QVERIFY(!form().statusActive());
    QVERIFY(form().statusPanelText(1).startsWith(QStringLiteral("Alpha (")));
}

void MainWindowTest::viewStylesShareTheSelection()
{
    openBoth();
    form().selectNode(catalogNamed(form().forest(), "Alpha"));
    form().setViewStyle(vsDetails);
    form().detailsView()->selectionModel()->setCurrentIndex(form().listModel()->index(1, 0),
                                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    for (int style : {vsIcons, vsSmallIcons, vsList, vsDetails}) {
        form().setViewStyle(style);
        QCOMPARE(form().viewStyle(), style);
        QCOMPARE(form().listView()->currentIndex().row(), 1);
        QVERIFY(form().listView()->isVisible());
    }
    QVERIFY(form().command("MenuViewDetails")->isChecked());
    form().setViewStyle(vsList);
    QVERIFY(form().command("MenuViewList")->isChecked());
    QCOMPARE(form().listView(), static_cast<QAbstractItemView *>(form().iconView()));
    QCOMPARE(form().iconView()->viewMode(), QListView::ListMode);
    form().setViewStyle(vsIcons);
    QCOMPARE(form().iconView()->viewMode(), QListView::IconMode);
}

void MainWindowTest::newCatalogAndSaveAs()
{
    form().newName = QStringLiteral("Fresh");
    form().newCatalog();
    TTreeNode *fresh = catalogNamed(form().forest(), "Fresh");
    QVERIFY(fresh);
    QCOMPARE(form().selectedNode(), fresh);
    QCOMPARE(form().statusPanelText(0), QStringLiteral("Loaded"));
    // A first save shows the dialog.
    form().saveAs = m_dir->filePath(QStringLiteral("fresh.ctf"));
    SetCatalogDirty(fresh, true);
    form().saveCatalog(false);
    QVERIFY(QFileInfo::exists(form().saveAs));
    QCOMPARE(AsCatalog(fresh->data())->FileName, form().saveAs);
    QCOMPARE(form().statusPanelText(0), QStringLiteral("Loaded"));
    // Opening the same file again through the list says it is open already.
    form().openCatalogFiles({form().saveAs});
    QCOMPARE(form().prompts.asked.back().caption, QStringLiteral("Catalog is opened"));
    QVERIFY(form().recentFiles().files().isEmpty());
    // A file opened through the list goes to the recent files.
    form().openCatalogFiles({m_fileA});
    QCOMPARE(form().recentFiles().files().value(0), m_fileA);
    QVERIFY(catalogNamed(form().forest(), "Alpha"));
}

void MainWindowTest::handOverFileRoundTrip()
{
    const QStringList files{QStringLiteral("/tmp/a b.ctf"), QString::fromUtf8("/tmp/\xC3\xA9t\xC3\xA9.ctf")};
    const int n = TSingleInstance::WriteHandOverFile(files);
    QVERIFY(n >= 1 && n <= 9999);
    const QString name = TSingleInstance::HandOverFileName(n);
    QVERIFY(name.endsWith(QStringLiteral("Quillon_Params") + QString::number(n) + QStringLiteral(".tmp")));
    QVERIFY(QFileInfo::exists(name));
    QCOMPARE(TSingleInstance::ReadHandOverFile(n), files);
    QVERIFY(!QFileInfo::exists(name));   // read once, then gone
    QVERIFY(TSingleInstance::ReadHandOverFile(n).isEmpty());
    QVERIFY(TSingleInstance::ReadHandOverFile(0).isEmpty());
    QVERIFY(TSingleInstance::ReadHandOverFile(10000).isEmpty());
}

void MainWindowTest::secondInstanceHandsFilesOver()
{
    const QString server = QStringLiteral("QuillonTest-%1").arg(QCoreApplication::applicationPid());
    TSingleInstance first(server);
    QVERIFY(first.listen());
    QSignalSpy files(&first, &TSingleInstance::filesHandedOver);
    QSignalSpy shown(&first, &TSingleInstance::activationRequested);
    connect(&first, &TSingleInstance::filesHandedOver, &form(), &TMainForm::openCatalogFiles);

    TSingleInstance second(server);
    QVERIFY(second.handOver({m_fileA}));
    QTRY_COMPARE_WITH_TIMEOUT(files.count(), 1, 30000);
    QCOMPARE(files[0][0].toStringList(), QStringList{m_fileA});
    QCOMPARE(shown.count(), 1);
    QVERIFY(catalogNamed(form().forest(), "Alpha"));

    // Without files the first only comes to the front.
    TSingleInstance third(server);
    QVERIFY(third.handOver({}));
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 2, 30000);
    QCOMPARE(files.count(), 1);
    // Nobody listening: this process is the first.
    TSingleInstance lonely(server + QStringLiteral("-none"));
    QVERIFY(!lonely.handOver({m_fileA}, 200));
}

void MainWindowTest::messageBoxTexts()
{
    QCOMPARE(PlainLineBreaks(QStringLiteral("a\rb")), QStringLiteral("a\nb"));
    QCOMPARE(PlainLineBreaks(QStringLiteral("a\r\nb\n\rc")), QStringLiteral("a\nb\nc"));
    QCOMPARE(PlainLineBreaks(QStringLiteral("a\r\rb")), QStringLiteral("a\n\nb"));
}

void MainWindowTest::closingTheWindowAsksAboutModifiedCatalogs()
{
    openBoth();
    RenameDisk(catalogNamed(form().forest(), "Beta")->child(0), "Changed");
    form().prompts.answers = {MsgAnswer::Cancel};
    QVERIFY(!form().close());
    QVERIFY(form().isVisible());
    QCOMPARE(form().prompts.asked.back().text, QStringLiteral("Save changes to catalog \"Beta\" ?"));
    QCOMPARE(form().forest().roots().size(), size_t(2));
    // Yes saves, and everything is closed.
    form().prompts.answers = {MsgAnswer::Yes};
    QVERIFY(form().close());
    QVERIFY(form().forest().roots().empty());
    TForest check;
    QVERIFY(FindDisk(ReadCatalog(check, m_fileB), "Changed"));
}

void MainWindowTest::placementSortAndRecentFilesAreKept()
{
    m_form.reset();
    const QString store = m_dir->filePath(QStringLiteral("settings.conf"));
    {
        Registry registry(store);
        ScriptedPrompter prompts;
        TMainForm first(*m_options, &registry);
        first.setPrompter(&prompts);
        first.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        first.openCatalogFiles({m_fileA});
        first.openCatalogFiles({m_fileB});
        first.setViewStyle(vsSmallIcons);
        first.selectNode(catalogNamed(first.forest(), "Alpha")->child(0));
        first.chooseSortColumn(3);
        first.toggleReverse();
        QVERIFY(first.prepareToClose());
        QVERIFY(prompts.asked.empty());
        first.setPrompter(nullptr);
    }
    Registry registry(store);
    TRecentFiles recent;
    LoadRecentFiles(recent, registry);
    QCOMPARE(recent.files(), (QStringList{m_fileB, m_fileA}));
    ScriptedPrompter prompts;
    TMainForm second(*m_options, &registry);
    second.setPrompter(&prompts);
    QCOMPARE(second.viewStyle(), int(vsSmallIcons));
    QCOMPARE(second.itemList().sortState().folderColumn, 3);
    QVERIFY(second.itemList().sortState().reverse);
    QCOMPARE(second.recentFiles().files().value(0), m_fileB);
    // The "Reopen" entries open what they name.
    QAction *reopen = second.findChild<QAction *>(QStringLiteral("Reopen2"));
    QVERIFY(reopen);
    reopen->trigger();
    QVERIFY(catalogNamed(second.forest(), "Alpha"));
    QVERIFY(prompts.asked.empty());
    second.setPrompter(nullptr);
}

void MainWindowTest::droppedFilesOpenCatalogsOnly()
{
    auto drop = [&](const QStringList &files) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &f : files)
            urls << QUrl::fromLocalFile(f);
        data.setUrls(urls);
        // A drop goes to the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form(), &event);
    };
    const QString text = m_dir->filePath(QStringLiteral("notes.txt"));
    drop({text});
    QCOMPARE(form().prompts.asked.size(), size_t(1));
    QCOMPARE(form().prompts.asked[0].caption, QStringLiteral("Invalid file"));
    QCOMPARE(form().prompts.asked[0].text, QStringLiteral("Sorry, the file you dropped does not seem to be a catalog file."));
    drop({text, text + QStringLiteral(".bak")});
    QCOMPARE(form().prompts.asked.back().text,
             QStringLiteral("Sorry, none of files you just dropped is a valid catalog file."));
    // A catalog among them opens, and nothing is said about the rest.
    drop({text, m_fileA});
    QCOMPARE(form().prompts.asked.size(), size_t(2));
    QVERIFY(catalogNamed(form().forest(), "Alpha"));
}

void MainWindowTest::autoloadOpensTheListAtTheFirstIdleMoment()
{
    const QString broken = writeNonCatalog(QStringLiteral("Broken.ctf"));
    const QString missing = m_dir->filePath(QStringLiteral("Missing.ctf"));
    m_options->AutoloadCheck = true;
    m_options->AutoloadList = {m_fileA, broken, missing, m_fileB};
    m_options->setModified(false);
    recreateForm();
    QSignalSpy done(&form(), &TMainForm::firstIdleDone);
    // Nothing is opened before the window shows and the program is idle.
    QVERIFY(form().firstIdlePending());
    QVERIFY(form().forest().roots().empty());
    showForm();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 30000);
    QVERIFY(!form().firstIdlePending());
    QVERIFY(catalogNamed(form().forest(), "Alpha"));
    QVERIFY(catalogNamed(form().forest(), "Beta"));
    QCOMPARE(form().forest().roots().size(), size_t(2));
    // The entries that failed left the list, and the settings know it changed.
    QCOMPARE(m_options->AutoloadList, (QStringList{m_fileA, m_fileB}));
    QVERIFY(m_options->modified());
    // Each failure was said once.
    QCOMPARE(form().prompts.asked.size(), size_t(2));
    QCOMPARE(form().prompts.asked[0].caption, QStringLiteral("Catalog error"));
    QCOMPARE(form().prompts.asked[1].caption, QStringLiteral("Load error"));
    // Quiet opening keeps the recent list as it was.
    QVERIFY(form().recentFiles().files().isEmpty());
}

// A catalog named on the command line or in the autoload list that fails to
// open leaves the recent files too; the others stay.
void MainWindowTest::startUpFailuresLeaveTheRecentFiles()
{
    m_form.reset();
    const QString broken = writeNonCatalog(QStringLiteral("Broken.ctf"));
    const QString missing = m_dir->filePath(QStringLiteral("Missing.ctf"));
    const QString store = m_dir->filePath(QStringLiteral("recent.conf"));
    {
        Registry registry(store);
        TRecentFiles recent;
        for (const QString &file : {m_fileA, broken, missing})
            recent.add(file);
        QVERIFY(SaveRecentFiles(recent, registry));
    }
    m_options->AutoloadCheck = true;
    m_options->AutoloadList = {missing};
    Registry registry(store);
    ScriptedPrompter prompts;
    TMainForm form(*m_options, &registry);
    form.setPrompter(&prompts);
    QCOMPARE(form.recentFiles().files().size(), qsizetype(3));
    form.openStartupCatalogs({broken});
    QVERIFY(form.forest().roots().empty());
    QCOMPARE(prompts.asked.size(), size_t(2));
    QCOMPARE(form.recentFiles().files(), QStringList{m_fileA});
    form.setPrompter(nullptr);
}

void MainWindowTest::commandLineCatalogsComeBeforeAutoload()
{
    m_options->AutoloadCheck = true;
    m_options->AutoloadList = {m_fileB};
    m_options->setModified(false);
    recreateForm();
    form().setCommandLineFiles({m_fileA});
    QSignalSpy done(&form(), &TMainForm::firstIdleDone);
    showForm();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 30000);
    // Only the command line's catalog: autoload waits for an empty window.
    QCOMPARE(form().forest().roots().size(), size_t(1));
    QVERIFY(catalogNamed(form().forest(), "Alpha"));
    QCOMPARE(m_options->AutoloadList, QStringList{m_fileB});
    QVERIFY(!m_options->modified());

    // A command line that opens nothing leaves the way to the autoload list.
    recreateForm();
    form().setCommandLineFiles({m_dir->filePath(QStringLiteral("Gone.ctf"))});
    QSignalSpy again(&form(), &TMainForm::firstIdleDone);
    showForm();
    QTRY_COMPARE_WITH_TIMEOUT(again.count(), 1, 30000);
    QCOMPARE(form().forest().roots().size(), size_t(1));
    QVERIFY(catalogNamed(form().forest(), "Beta"));
    QCOMPARE(form().prompts.asked.size(), size_t(1));
    QVERIFY(form().prompts.asked[0].text.contains(QStringLiteral("This file does not exist.")));
    // The command line's failure does not touch the autoload list.
    QCOMPARE(m_options->AutoloadList, QStringList{m_fileB});
    QVERIFY(!m_options->modified());
}

void MainWindowTest::firstIdleMomentRunsOnce()
{
    m_options->AutoloadCheck = true;
    m_options->AutoloadList = {m_fileB};
    recreateForm();
    form().setCommandLineFiles({m_fileA});
    QSignalSpy done(&form(), &TMainForm::firstIdleDone);
    QSignalSpy wizard(&form(), &TMainForm::setupWizardRequested);
    showForm();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 30000);
    QVERIFY(catalogNamed(form().forest(), "Alpha"));
    // Not a first run: no wizard.
    QCOMPARE(wizard.count(), 0);

    // With every catalog closed, later idle moments open nothing again.
    form().prompts.answers = {MsgAnswer::Ok};
    form().closeAllCatalogs();
    QVERIFY(form().forest().roots().empty());
    form().applicationIdle();
    form().hide();
    form().show();
    QTreeView *tree = form().treeView();
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Down);   // an idle moment follows the key
    QTRY_COMPARE_WITH_TIMEOUT(form().busyCount(), 0, 30000);
    QCOMPARE(done.count(), 1);
    QVERIFY(form().forest().roots().empty());
}

void MainWindowTest::firstRunAsksForTheSetupWizard()
{
    recreateForm();
    form().setFirstRun(true);
    // A splash that would wait an hour closes at once for the wizard.
    TSplashForm splash(3600 * 1000);
    splash.show();
    form().setSplash(&splash);
    QSignalSpy wizard(&form(), &TMainForm::setupWizardRequested);
    QSignalSpy closed(&splash, &TSplashForm::finished);
    showForm();
    QTRY_COMPARE_WITH_TIMEOUT(wizard.count(), 1, 30000);
    QCOMPARE(splash.text(), TSplashForm::DoneText());
    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 30000);
    QVERIFY(!splash.isVisible());
    form().applicationIdle();
    QCoreApplication::processEvents();
    QCOMPARE(wizard.count(), 1);
}

void MainWindowTest::autoSaveRunsOnTheIdleMomentAfterTheTimer()
{
    openBoth();
    QTRY_VERIFY_WITH_TIMEOUT(!form().firstIdlePending(), 30000);
    TTreeNode *beta = catalogNamed(form().forest(), "Beta");
    RenameDisk(beta->child(0), "Autosaved");
    QCOMPARE(AsCatalog(beta->data())->Dirty, uint8_t(1));
    QSignalSpy saved(&form(), &TMainForm::autoSaveDone);

    // While a dialog is open the tick only marks the save as due.
    QDialog dialog(&form());
    dialog.setModal(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(QApplication::activeModalWidget());
    m_options->AutoSaveCheck = true;
    m_options->AutoSaveEdit = 2;
    form().setAutoSaveMinuteMs(5);   // a period of 10 ms
    QTRY_VERIFY_WITH_TIMEOUT(form().autoSaveDue(), 30000);
    QVERIFY(form().idleBlocked());
    QTest::qWait(100);
    QCOMPARE(saved.count(), 0);
    QVERIFY(form().autoSaveDue());
    QCOMPARE(AsCatalog(beta->data())->Dirty, uint8_t(1));

    // Once the dialog is gone the next idle moment saves.
    dialog.close();
    QTRY_VERIFY_WITH_TIMEOUT(saved.count() >= 1, 30000);
    m_options->AutoSaveCheck = false;
    form().applyAutoSaveSettings();
    beta = catalogNamed(form().forest(), "Beta");
    QVERIFY(beta);
    QCOMPARE(AsCatalog(beta->data())->Dirty, uint8_t(0));
    QVERIFY(!form().autoSaveDue());
    TForest check;
    QVERIFY(FindDisk(ReadCatalog(check, m_fileB), "Autosaved"));
    // Nothing was asked on the way.
    QVERIFY(form().prompts.asked.empty());
}

void MainWindowTest::closingWaitsForARunningOperation()
{
    openBoth();
    TTreeNode *beta = catalogNamed(form().forest(), "Beta");
    RenameDisk(beta->child(0), "Changed");
    // The window is told to close while the question of "Close" is open.
    bool refused = false;
    form().prompts.onAsk = [&] {
        form().prompts.onAsk = nullptr;
        refused = !form().close();
    };
    form().prompts.answers = {MsgAnswer::No, MsgAnswer::Ok};
    form().closeCatalog(beta);
    QVERIFY(refused);
    QVERIFY(catalogNamed(form().forest(), "Alpha"));
    QVERIFY(!catalogNamed(form().forest(), "Beta"));
    // Once the operation is over the close goes ahead.
    QTRY_VERIFY_WITH_TIMEOUT(!form().isVisible(), 30000);
    QVERIFY(form().forest().roots().empty());
}

void MainWindowTest::changedSettingsAreSavedAtClose()
{
    m_form.reset();
    const QString store = m_dir->filePath(QStringLiteral("settings.conf"));
    const QString broken = writeNonCatalog(QStringLiteral("Broken.ctf"));
    {
        Registry registry(store);
        m_options->AutoloadCheck = true;
        m_options->AutoloadList = {broken, m_fileA};
        QVERIFY(m_options->save(registry, DefaultPrompter()));
        ScriptedPrompter prompts;
        TMainForm window(*m_options, &registry);
        window.setPrompter(&prompts);
        QSignalSpy done(&window, &TMainForm::firstIdleDone);
        window.show();
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 30000);
        QVERIFY(m_options->modified());
        QVERIFY(window.close());
        QVERIFY(!m_options->modified());
        window.setPrompter(nullptr);
    }
    Registry registry(store);
    TOptions reread;
    reread.load(registry);
    QVERIFY(reread.AutoloadCheck);
    QCOMPARE(reread.AutoloadList, QStringList{m_fileA});
}

void MainWindowTest::splashFollowsTheStartAndCloses()
{
    struct Case {
        QStringList commandLine;
        bool autoload;
        QStringList texts;
    };
    const QString initializing = QStringLiteral("Initializing...");
    const QString listed = QStringLiteral("Opening listed catalogs...");
    const QString autoloading = QStringLiteral("Autoloading catalogs...");
    const QString done = TSplashForm::DoneText();
    const Case cases[] = {
        {{}, false, {initializing, done}},
        {{m_fileA}, true, {initializing, listed, done}},
        {{}, true, {initializing, autoloading, done}},
    };
    m_options->AutoloadList = {m_fileB};
    for (const Case &c : cases) {
        m_options->AutoloadCheck = c.autoload;
        recreateForm();
        form().setCommandLineFiles(c.commandLine);
        TSplashForm splash(20);
        PaintedTexts painted(&splash);
        splash.showCentred();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        form().setSplash(&splash);
        QSignalSpy closed(&splash, &TSplashForm::finished);
        showForm();
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 30000);
        QVERIFY(!splash.isVisible());
        QCOMPARE(painted.texts, c.texts);
        QCOMPARE(form().forest().roots().size(), size_t(c.texts.size() - 2));
        // Not a first run: it closed on its own tick, not hurried.
        QVERIFY(!splash.finishingSoon());
    }

    // A question asked on the way is not covered by the splash: it hides first.
    m_options->AutoloadCheck = true;
    recreateForm();
    form().setCommandLineFiles({m_dir->filePath(QStringLiteral("Missing.ctf"))});
    TSplashForm splash(20);
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    form().setSplash(&splash);
    std::optional<bool> shownWhileAsked;
    form().prompts.onAsk = [&] { shownWhileAsked = splash.isVisible(); };
    QSignalSpy closed(&splash, &TSplashForm::finished);
    showForm();
    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 30000);
    QCOMPARE(shownWhileAsked, std::optional<bool>(false));
    QCOMPARE(splash.text(), done);
    QVERIFY(catalogNamed(form().forest(), "Beta"));
}

void MainWindowTest::filesHandedOverDuringAnOpeningWaitForIt()
{
    // While the first idle moment's quiet opening reports a failure, a second
    // instance hands a catalog over.
    recreateForm();
    form().setCommandLineFiles({m_dir->filePath(QStringLiteral("Missing.ctf")), m_fileA});
    bool openedInside = false;
    form().prompts.onAsk = [&] {
        form().prompts.onAsk = nullptr;
        form().openCatalogFiles({m_fileB});
        openedInside = catalogNamed(form().forest(), "Beta") != nullptr;
    };
    QSignalSpy done(&form(), &TMainForm::firstIdleDone);
    showForm();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 30000);
    QVERIFY(!openedInside);
    // Once the opening is over the handed-over catalog follows.
    QTRY_VERIFY_WITH_TIMEOUT(catalogNamed(form().forest(), "Beta"), 30000);
    QVERIFY(catalogNamed(form().forest(), "Alpha"));
    QCOMPARE(form().forest().roots().size(), size_t(2));
}

void MainWindowTest::splashClosesOnlyOnceDone()
{
    TSplashForm splash(10);
    QSignalSpy closed(&splash, &TSplashForm::finished);
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    // Many ticks pass while the start is still busy.
    QTest::qWait(100);
    QVERIFY(splash.isVisible());
    splash.setText(QStringLiteral("Autoloading catalogs..."));
    QTest::qWait(50);
    QVERIFY(splash.isVisible());
    splash.setText(TSplashForm::DoneText());
    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 30000);
    QVERIFY(!splash.isVisible());

    // A click shortens a long wait: closed as soon as the text reads "Done.".
    TSplashForm slow(3600 * 1000);
    QSignalSpy slowClosed(&slow, &TSplashForm::finished);
    slow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&slow));
    QTest::mouseClick(&slow, Qt::LeftButton);
    QVERIFY(slow.finishingSoon());
    QTest::qWait(50);
    QVERIFY(slow.isVisible());   // not done yet
    slow.setText(TSplashForm::DoneText());
    QTRY_COMPARE_WITH_TIMEOUT(slowClosed.count(), 1, 30000);
    QVERIFY(!slow.isVisible());
    // Closed once, whatever follows.
    slow.finishSoon();
    QCoreApplication::processEvents();
    QCOMPARE(slowClosed.count(), 1);
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"

// One drive over a folder of the test, so that no real medium is looked at.
std::unique_ptr<TDrives> fakeDrives(const QTemporaryDir &media)
{
    QDir(media.path()).mkpath(QStringLiteral("sys/block"));
    QDir(media.path()).mkpath(QStringLiteral("mnt/docs"));
    TDriveSources sources;
    const QString mountPoint = media.filePath(QStringLiteral("mnt"));
    sources.mounts = [mountPoint] {
        return QList<TMountEntry>{{QStringLiteral("/dev/fake0"), mountPoint, QStringLiteral("ext4"), QStringLiteral("rw")}};
    };
    sources.sysfsRoot = media.filePath(QStringLiteral("sys"));
    sources.devDiskRoot = media.filePath(QStringLiteral("udev"));
    sources.readDevices = false;
    sources.mayRun = [](const QString &) { return false; };
    sources.space = [](const QString &) -> std::optional<TFsSpace> { return TFsSpace{4096, 1000, 500, 7, 255}; };
    return std::make_unique<TDrives>(sources);
}

void MainWindowTest::addDiskCommandsOpenTheDialog()
{
    QTemporaryDir media;
    form().setDrives(fakeDrives(media));
    openBoth();
    TTreeNode *catalog = form().forest().roots().front();
    form().selectNode(catalog);
    const size_t disksBefore = size_t(catalog->childCount());

    // The menu command and the tree's two entries are live and show the dialog
    // (add mode, then update mode on a disk); closing it adds nothing.
    for (const char *name : {"MenuAddDisk", "TreeAddDisk", "TreeUpdateDisk"}) {
        QAction *action = form().findChild<QAction *>(QLatin1String(name));
        QVERIFY2(action, name);
        QVERIFY2(action->isEnabled(), name);
        if (QLatin1String(name) == QLatin1String("TreeUpdateDisk"))
            form().selectNode(catalog->child(0));
        bool shown = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (auto *dialog = qobject_cast<TAddDiskForm *>(QApplication::activeModalWidget())) {
                shown = true;
                dialog->reject();
            }
        });
        poll.start(10);
        action->trigger();
        poll.stop();
        QVERIFY2(shown, name);
    }
    QCOMPARE(size_t(catalog->childCount()), disksBefore);
}

void MainWindowTest::toolbarSideIsKept()
{
    m_form.reset();
    const QString store = m_dir->filePath(QStringLiteral("settings.conf"));
    m_options->setToolbarDock(2);
    {
        Registry registry(store);
        TMainForm first(*m_options, &registry);
        auto *bar = first.findChild<QToolBar *>(QStringLiteral("MainToolbar"));
        QVERIFY(bar);
        QCOMPARE(first.toolBarArea(bar), Qt::LeftToolBarArea);
        m_options->setModified(false);
        first.addToolBar(Qt::BottomToolBarArea, bar);   // the user drags it to the bottom
        QVERIFY(first.prepareToClose());
    }
    QCOMPARE(m_options->toolbarDock(), 1);
    Registry registry(store);
    TOptions reread;
    reread.load(registry);
    QCOMPARE(reread.toolbarDock(), 1);
}

void MainWindowTest::closingDuringAddDiskWaitsForIt()
{
    QTemporaryDir media;
    form().setDrives(fakeDrives(media));
    form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&form()));
    openBoth();
    form().selectNode(form().forest().roots().front());
    bool closedMeanwhile = true;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<TAddDiskForm *>(QApplication::activeModalWidget())) {
            poll.stop();
            form().close();   // the window manager's close while the dialog is up
            closedMeanwhile = !form().isVisible();
            dialog->reject();
        }
    });
    poll.start(10);
    form().findChild<QAction *>(QStringLiteral("MenuAddDisk"))->trigger();
    QVERIFY(!closedMeanwhile);
    QVERIFY(form().isVisible());
    // Then the close is carried out.
    QTRY_VERIFY(!form().isVisible());
}

void MainWindowTest::addDiskNeedsAnOpenCatalog()
{
    QTemporaryDir media;
    form().setDrives(fakeDrives(media));
    const char *names[] = {"MenuAddDisk", "ButtonAddDisk"};
    for (const char *name : names)
        QVERIFY2(!form().command(QLatin1String(name))->isEnabled(), name);
    // The shortcut's way in does nothing either: no dialog comes up.
    bool shown = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<TAddDiskForm *>(QApplication::activeModalWidget())) {
            shown = true;
            dialog->reject();
        }
    });
    poll.start(10);
    form().addDiskCommand(false);
    poll.stop();
    QVERIFY(!shown);
    openBoth();
    for (const char *name : names)
        QVERIFY2(form().command(QLatin1String(name))->isEnabled(), name);
    form().prompts.answers = {MsgAnswer::Ok};
    form().closeAllCatalogs();
    QVERIFY(form().forest().roots().empty());
    for (const char *name : names)
        QVERIFY2(!form().command(QLatin1String(name))->isEnabled(), name);
}

void MainWindowTest::sortButtonsFollowTheirColumnInAnyOrder()
{
    // The user's toolbar puts the sort buttons in reverse order (and one twice).
    m_options->ToolbarBox = {29, 28, 27, 26, 26, kToolbarSeparator, 30, 2, kToolbarMarker};
    recreateForm();
    showForm();
    auto *bar = form().findChild<QToolBar *>(QStringLiteral("MainToolbar"));
    QVERIFY(bar);
    QCOMPARE(bar->actions().value(0), form().command(QStringLiteral("ButtonSort4")));
    QCOMPARE(bar->actions().value(3), form().command(QStringLiteral("ButtonSort1")));
    openBoth();
    TTreeNode *catalog = catalogNamed(form().forest(), "Alpha");
    form().selectNode(catalog);
    QCOMPARE(form().command(QStringLiteral("ButtonSort1"))->text(), QStringLiteral("Sort by Name"));
    QCOMPARE(form().command(QStringLiteral("ButtonSort2"))->text(), QStringLiteral("Sort by Media Type"));
    QCOMPARE(form().command(QStringLiteral("ButtonSort3"))->text(), QStringLiteral("Sort by Size"));
    QCOMPARE(form().command(QStringLiteral("ButtonSort4"))->text(), QStringLiteral("Sort by Free Space"));
    form().selectNode(catalog->child(0));
    QCOMPARE(form().command(QStringLiteral("ButtonSort2"))->text(), QStringLiteral("Sort by Extension"));
    QCOMPARE(form().command(QStringLiteral("ButtonSort4"))->text(), QStringLiteral("Sort by Date"));
    // Each button sorts by its own column and is the one shown pressed.
    for (int column : {2, 0, 3, 1}) {
        form().command(QStringLiteral("ButtonSort%1").arg(column + 1))->trigger();
        QCOMPARE(form().itemList().sortState().folderColumn, column);
        for (int b = 0; b < 4; ++b)
            QCOMPARE(form().command(QStringLiteral("ButtonSort%1").arg(b + 1))->isChecked(), b == column);
    }
}

void MainWindowTest::commandsQueuedDuringASortWaitForIt()
{
    openBoth();
    TTreeNode *alpha = catalogNamed(form().forest(), "Alpha");
    TTreeNode *disk = alpha->child(0);
    form().selectNode(disk);
    QCOMPARE(form().itemList().displayedNode(), disk);
    const int rows = form().itemList().count();
    QVERIFY(rows > 2);
    // The sort lets events run while it polls for Esc: commands that arrive
    // then (a hand-over, a queued signal) must not free the rows it sorts.
    bool ranDuringSort = false;
    bool menusEnabled = true, toolbarEnabled = true;
    QMetaObject::invokeMethod(
        &form(),
        [&] {
            ranDuringSort = true;
            menusEnabled = form().menuBar()->isEnabled();
            toolbarEnabled = form().findChild<QToolBar *>(QStringLiteral("MainToolbar"))->isEnabled();
            form().command(QStringLiteral("MenuDeleteDisk"))->trigger();
            form().closeCatalog(alpha);
            form().command(QStringLiteral("MenuCloseAll"))->trigger();
        },
        Qt::QueuedConnection);
    form().prompts.answers = {MsgAnswer::Cancel, MsgAnswer::Cancel};
    form().chooseSortColumn(2);
    QVERIFY(ranDuringSort);
    QVERIFY(!menusEnabled);
    QVERIFY(!toolbarEnabled);
    QVERIFY(form().isEnabled());
    // Nothing was asked or closed inside the sort; the list is whole and sorted.
    QVERIFY(form().prompts.asked.empty());
    QCOMPARE(catalogNamed(form().forest(), "Alpha"), alpha);
    QCOMPARE(form().itemList().count(), rows);
    QCOMPARE(form().itemList().displayedNode(), disk);
    const TCompareContext context = form().itemList().compareContext();
    for (int i = 1; i < rows; ++i)
        QVERIFY(CompareItems(form().itemList().at(i - 1), form().itemList().at(i), context) <= 0);
    // Afterwards they run: the delete asks (Cancel), the close goes ahead,
    // Close All asks (Cancel).
    QTRY_VERIFY_WITH_TIMEOUT(!catalogNamed(form().forest(), "Alpha"), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(form().prompts.asked.size(), size_t(2), 30000);
    QCOMPARE(form().prompts.asked[0].caption, QStringLiteral("Delete disk"));
    QCOMPARE(form().prompts.asked[1].caption, QStringLiteral("Confirm closing"));
    QVERIFY(catalogNamed(form().forest(), "Beta"));
}

void MainWindowTest::aSecondQueuedCloseFindsTheCatalogGone()
{
    openBoth();
    TTreeNode *alpha = catalogNamed(form().forest(), "Alpha");
    RenameDisk(alpha->child(0), "Changed");
    form().selectNode(alpha);
    // Two closes of one catalog queued (a double click on the menu entry, a
    // key repeat): the first lets events run before and while it asks.
    form().prompts.answers = {MsgAnswer::No, MsgAnswer::No};
    for (int i = 0; i < 2; ++i)
        QMetaObject::invokeMethod(&form(), [this, alpha] { form().closeCatalog(alpha); }, Qt::QueuedConnection);
    QTRY_VERIFY_WITH_TIMEOUT(!catalogNamed(form().forest(), "Alpha"), 30000);
    // The second one, held back, finds the catalog gone and does nothing.
    QTest::qWait(1000);
    QCOMPARE(form().prompts.asked.size(), size_t(1));
    QCOMPARE(form().prompts.asked[0].text, QStringLiteral("Save changes to catalog \"Alpha\" ?"));
    QCOMPARE(form().forest().roots().size(), size_t(1));
    QVERIFY(catalogNamed(form().forest(), "Beta"));
}

void MainWindowTest::renamingADiskRowEndsWithEnter()
{
    openBoth();
    TTreeNode *catalog = catalogNamed(form().forest(), "Alpha");
    TTreeNode *disk = catalog->child(1);
    form().selectNode(catalog);
    form().setViewStyle(vsDetails);
    form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form()));
    QTreeView *list = form().detailsView();
    list->setFocus();
    const QModelIndex row = form().listModel()->indexOf(disk->data());
    QVERIFY(row.isValid());
    list->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTest::keyClick(list, Qt::Key_F2);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    QCOMPARE(editor->text(), DecodeStored(disk->text()));
    editor->setText(QStringLiteral("Renamed from the list"));
    QTest::keyClick(editor, Qt::Key_Return);
    // Enter ends the edit with the new name; the disk is not opened.
    QTRY_COMPARE(disk->text(), QByteArray("Renamed from the list"));
    QCOMPARE(form().itemList().displayedNode(), catalog);
    QCOMPARE(form().selectedNode(), catalog);
    QCOMPARE(AsCatalog(catalog->data())->Dirty, 1);
    // Without an editor Enter still opens the row.
    list->setFocus();
    list->selectionModel()->setCurrentIndex(form().listModel()->indexOf(disk->data()),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(form().itemList().displayedNode(), disk);
}

void MainWindowTest::anotherFolderStartsAtTheTop()
{
    GenOptions shape = smallShape(11, 1);
    shape.depth = 1;
    shape.fanOut = 2;
    shape.filesPerFolder = 300;
    shape.archivesPerDisk = 0;
    const QString file = writeCatalog(*m_dir, "Gamma", shape);
    form().openStartupCatalogs({file});
    TTreeNode *disk = catalogNamed(form().forest(), "Gamma")->child(0);
    form().selectNode(disk);
    QVERIFY(disk->childCount() >= 2);
    TTreeNode *first = disk->child(0);
    TTreeNode *second = disk->child(1);
    QTreeView *details = form().detailsView();
    for (TTreeNode *from : {first, second}) {
        TTreeNode *to = from == first ? second : first;
        form().selectNode(from);
        QCOMPARE(form().itemList().displayedNode(), from);
        details->scrollToBottom();
        QApplication::processEvents();
        QVERIFY(details->verticalScrollBar()->value() > 0);
        form().selectNode(to);
        QCOMPARE(form().itemList().displayedNode(), to);
        QApplication::processEvents();
        QCOMPARE(details->verticalScrollBar()->value(), 0);
    }
    // A forced refill of the folder shown keeps its place.
    details->scrollToBottom();
    QApplication::processEvents();
    const int kept = details->verticalScrollBar()->value();
    QVERIFY(kept > 0);
    form().refreshList(form().selectedNode(), true);
    QApplication::processEvents();
    QCOMPARE(details->verticalScrollBar()->value(), kept);
}

void MainWindowTest::theTreeFollowsTheSortOrder()
{
    // In the file the disks and their folders are in the order they were
    // written (here the reverse of the list's default order, by extension),
    // as a scan or another program may have written them.
    const TSortState defaults;
    {
        TForest written;
        TTreeNode *catalog = GenerateCatalog(written, "Alpha", smallShape(3));
        TSortState reversed;
        reversed.reverse = true;
        SortTreeLevels(written, catalog, reversed);
        SaveCatalogTo(catalog, m_fileA);
    }
    {
        TForest stored;
        TTreeNode *catalog = ReadCatalog(stored, m_fileA);
        QVERIFY(catalog);
        int unsorted = TreeLevelSorted(catalog, defaults) ? 0 : 1;
        for (TTreeNode *disk : catalog->children()) {
            LoadSubfolders(disk, false, false);
            unsorted += TreeLevelSorted(disk, defaults) ? 0 : 1;
        }
        QVERIFY(unsorted > 0);
        DeleteNodeWithRecords(catalog);
    }
    openBoth();
    const TItemList &list = form().itemList();
    QTreeView *tree = form().treeView();
    // Every level on show (the children of an expanded node) in the list's order.
    std::function<void(TTreeNode *)> expectShownSorted = [&](TTreeNode *node) {
        QVERIFY2(TreeLevelSorted(node, list.sortState(), list.compareContext()), node->text().constData());
        for (TTreeNode *child : node->children())
            if (tree->isExpanded(form().treeModel()->indexOf(child)))
                expectShownSorted(child);
    };
    TTreeNode *alpha = catalogNamed(form().forest(), "Alpha");
    TTreeNode *beta = catalogNamed(form().forest(), "Beta");
    // The disks as the catalog opens; each disk's folders as the tree opens it
    // or the list shows it.
    expectShownSorted(alpha);
    for (TTreeNode *disk : alpha->children())
        tree->expand(form().treeModel()->indexOf(disk));
    expectShownSorted(alpha);
    TTreeNode *hidden = beta->child(0);
    form().selectNode(hidden);
    QCOMPARE(list.displayedNode(), hidden);
    QVERIFY(TreeLevelSorted(hidden, list.sortState(), list.compareContext()));
    // Another order: the levels on show follow it at once (not only the
    // selected node's), a level read before and hidden when it shows.
    TTreeNode *folder = alpha->child(0)->child(0);
    form().selectNode(folder);
    form().chooseSortColumn(0);
    form().toggleReverse();
    QCOMPARE(list.sortState().folderColumn, 0);
    QVERIFY(list.sortState().reverse);
    expectShownSorted(alpha);
    expectShownSorted(beta);
    QVERIFY(!tree->isExpanded(form().treeModel()->indexOf(hidden)));
    tree->expand(form().treeModel()->indexOf(hidden));
    QVERIFY(TreeLevelSorted(hidden, list.sortState(), list.compareContext()));
    form().selectNode(alpha);
    form().chooseSortColumn(2);
    QCOMPARE(list.sortState().catalogColumn, 2);
    expectShownSorted(alpha);
    expectShownSorted(beta);
}

void MainWindowTest::commandLineOptionsAreNoFiles_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("textStart");
    using A = TCommandLine::TAction;
    const QString wd = QStringLiteral("/home/user/work");
    QTest::newRow("nothing") << QStringList{QStringLiteral("quillon")} << int(A::Run) << QStringList{} << QString();
    QTest::newRow("files") << QStringList{QStringLiteral("quillon"), QStringLiteral("a.ctf"), QStringLiteral("/data/b.ctf"),
                                          QStringLiteral("../c.ctf")}
                           << int(A::Run)
                           << QStringList{wd + QStringLiteral("/a.ctf"), QStringLiteral("/data/b.ctf"),
                                          QStringLiteral("/home/user/c.ctf")}
                           << QString();
    QTest::newRow("version") << QStringList{QStringLiteral("quillon"), QStringLiteral("--version")} << int(A::Version)
                             << QStringList{} << QStringLiteral("Quillon 9.8\n");
    QTest::newRow("version short") << QStringList{QStringLiteral("quillon"), QStringLiteral("-v"), QStringLiteral("a.ctf")}
                                   << int(A::Version) << QStringList{} << QStringLiteral("Quillon 9.8\n");
    QTest::newRow("help") << QStringList{QStringLiteral("/usr/bin/quillon"), QStringLiteral("a.ctf"), QStringLiteral("--help")}
                          << int(A::Help) << QStringList{} << QStringLiteral("Usage: quillon [options] [catalog.ctf...]");
    QTest::newRow("help short") << QStringList{QStringLiteral("quillon"), QStringLiteral("-h")} << int(A::Help)
                                << QStringList{} << QStringLiteral("Usage: quillon ");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("quillon"), QStringLiteral("a.ctf"), QStringLiteral("--versoin")}
                                    << int(A::Error) << QStringList{}
                                    << QStringLiteral("quillon: Unknown option 'versoin'.");
    QTest::newRow("dashed name after --") << QStringList{QStringLiteral("quillon"), QStringLiteral("--"),
                                                         QStringLiteral("--odd.ctf")}
                                          << int(A::Run) << QStringList{wd + QStringLiteral("/--odd.ctf")} << QString();
}

void MainWindowTest::commandLineOptionsAreNoFiles()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QStringList, files);
    QFETCH(QString, textStart);
    const TCommandLine line = ParseCommandLine(arguments, QStringLiteral("/home/user/work"), QStringLiteral("9.8"));
    QCOMPARE(int(line.Action), action);
    QCOMPARE(line.Files, files);
    QVERIFY2(line.Text.startsWith(textStart), qPrintable(line.Text));
    if (line.Action == TCommandLine::TAction::Help) {
        QVERIFY(line.Text.contains(QStringLiteral("--version")));
        QVERIFY(line.Text.contains(QStringLiteral("catalog.ctf")));
    }
}

void MainWindowTest::theProgramAnswersHelpAndVersion_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("platform");
    // --help and --version need no display: none is named (xcb without one fails).
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << 0 << QStringLiteral("Quillon ") << QString()
                               << QStringLiteral("xcb");
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0 << QStringLiteral("Usage: quillon") << QString()
                            << QStringLiteral("xcb");
    // An unknown option is told once Qt has taken its own (-platform) out;
    // no window opens, nothing is handed over.
    QTest::newRow("unknown") << QStringList{QStringLiteral("--frobnicate"), QStringLiteral("x.ctf")} << 1 << QString()
                             << QStringLiteral("quillon: Unknown option 'frobnicate'.") << QStringLiteral("offscreen");
    QTest::newRow("Qt option and version") << QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen"),
                                                          QStringLiteral("--version")}
                                           << 0 << QStringLiteral("Quillon ") << QString() << QStringLiteral("xcb");
}

void MainWindowTest::theProgramAnswersHelpAndVersion()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, platform);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir->filePath(QStringLiteral("config")));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(QUILLON_GUI_PATH), arguments);
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QString stdOut = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(program.readAllStandardError());
    if (!out.isEmpty())
        QVERIFY2(stdOut.startsWith(out), qPrintable(stdOut));
    if (!err.isEmpty())
        QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
    if (arguments.constFirst() == QLatin1String("--version"))
        QVERIFY(QRegularExpression(QStringLiteral("^Quillon \\d+\\.\\d+")).match(stdOut).hasMatch());
}

void MainWindowTest::aFirstWindowFitsTheScreen()
{
    m_form.reset();
    const QString store = m_dir->filePath(QStringLiteral("fresh.conf"));
    Registry registry(store);   // no placement stored: a first start
    TMainForm fresh(*m_options, &registry);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect placed = fresh.geometry();
    QVERIFY2(area.contains(placed), qPrintable(QStringLiteral("%1x%2").arg(placed.width()).arg(placed.height())));
    // About two thirds of the screen (a small screen: a usable minimum of it).
    QVERIFY(placed.width() >= std::min(area.width(), 640));
    QVERIFY(placed.height() >= std::min(area.height(), 420));
    QVERIFY(placed.width() <= std::max(area.width() * 7 / 10, 640));
    QVERIFY(placed.height() <= std::max(area.height() * 7 / 10, 420));
    QVERIFY((placed.center() - area.center()).manhattanLength() <= 2);
    // The tree a quarter of it, the list the rest.
    const QList<int> panes = fresh.findChild<QSplitter *>()->sizes();
    QCOMPARE(panes.size(), 2);
    QVERIFY(panes[0] < panes[1]);
}

void MainWindowTest::theNameColumnIsWideEnoughForNames()
{
    openBoth();
    form().setViewStyle(vsDetails);
    QHeaderView *header = form().detailsView()->header();
    const int width = form().detailsView()->viewport()->width();
    for (TTreeNode *shown : {catalogNamed(form().forest(), "Alpha"), findDisk(form().forest(), "Alpha", 0)}) {
        form().selectNode(shown);
        QCOMPARE(form().itemList().displayedNode(), shown);
        const int name = header->sectionSize(0);
        QVERIFY2(name >= 180, qPrintable(QString::number(name)));
        // The short columns show their captions whole.
        for (int i = 1; i < kListColumns - 1; ++i)
            QVERIFY(header->sectionSize(i) >= header->sectionSizeHint(i));
        // The description takes what is left, not all of it.
        const int description = header->sectionSize(kListColumns - 1);
        QVERIFY(description < width - name);
        // It keeps a share of its own unless the name column and the short
        // columns (at their captions) leave none.
        if (description < width * 15 / 100 - 1) {
            QCOMPARE(name, 180);
            for (int i = 1; i < kListColumns - 1; ++i)
                QCOMPARE(header->sectionSize(i), header->sectionSizeHint(i));
        }
    }
}

// ---- the search window --------------------------------------------------------------------------

namespace {

// Starts a search for names containing "a" over every open catalog; it is
// running until events are processed (its end is signalled through them).
void startNameSearch(TSearchForm &search)
{
    search.work().byName = true;
    search.work().setNameMode(nmPartOfName);
    search.work().setNameText(QStringLiteral("a"));
    search.syncFromWork();
    QVERIFY(search.find());
    QVERIFY(search.searching());
}

} // namespace

void MainWindowTest::theTreeDoesNotRepaintNodeByNodeWhileASearchRuns()
{
    openBoth();
    TCatalogTreeModel *model = form().treeModel();
    QTreeView *tree = form().treeView();
    for (TTreeNode *catalog : form().forest().roots())
        tree->expand(model->indexOf(catalog));
    form().command(QStringLiteral("MenuSearch"))->trigger();
    TSearchForm *search = form().searchForm();
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy laidOut(model, &QAbstractItemModel::layoutChanged);
    startNameSearch(*search);
    QVERIFY(model->nodeChangesHeld());
    QTRY_VERIFY_WITH_TIMEOUT(!search->searching(), 30000);
    // The walk read folder levels (new nodes, their pictures and expand
    // marks), and none of them was announced on its own.
    QVERIFY(inserted.count() > 0);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(laidOut.count(), 1);
    QVERIFY(!model->nodeChangesHeld());
    // Outside a search a change is announced at once again.
    TTreeNode *disk = form().forest().roots().front()->child(0);
    disk->setBold(!disk->bold());
    QCOMPARE(changed.count(), 1);
}

void MainWindowTest::searchCommandsOpenTheSearchWindow()
{
    openBoth();
    QVERIFY(!form().searchForm());
    form().command(QStringLiteral("MenuSearch"))->trigger();
    TSearchForm *search = form().searchForm();
    QVERIFY(search);
    QVERIFY(search->isVisible());
    QCOMPARE(search->windowTitle(), QStringLiteral("Search"));
    form().command(QStringLiteral("MenuDuplicates"))->trigger();
    QCOMPARE(form().searchForm(), search);   // made once, kept
    QCOMPARE(search->windowTitle(), QStringLiteral("Duplicates Search"));
    QVERIFY(search->work().duplicatesMode);
    // Closing hides the window; it keeps its criteria.
    search->close();
    QVERIFY(!search->isVisible());
    form().command(QStringLiteral("MenuSearch"))->trigger();
    QVERIFY(search->isVisible());
    QVERIFY(!search->work().duplicatesMode);

    // The keys: F3 and Ctrl+F for a search, Ctrl+D for duplicates.
    search->hide();
    form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form()));
    form().treeView()->setFocus();
    QTest::keyClick(form().treeView(), Qt::Key_D, Qt::ControlModifier);
    QTRY_VERIFY(search->isVisible());
    QVERIFY(search->work().duplicatesMode);
    for (const QKeyCombination key : {QKeyCombination(Qt::Key_F3), QKeyCombination(Qt::ControlModifier, Qt::Key_F)}) {
        search->hide();
        form().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form()));
        form().treeView()->setFocus();
        QTest::keyClick(form().treeView(), key.key(), key.keyboardModifiers());
        QTRY_VERIFY(search->isVisible());
        QVERIFY(!search->work().duplicatesMode);
    }
}

void MainWindowTest::aRunningSearchRefusesForestCommands()
{
    openBoth();
    TTreeNode *alpha = catalogNamed(form().forest(), "Alpha");
    TTreeNode *beta = catalogNamed(form().forest(), "Beta");
    form().selectNode(alpha);
    SetCatalogDirty(alpha, true);
    form().showSearchWindow(false);
    startNameSearch(*form().searchForm());
    QVERIFY(form().searchRunning());
    QVERIFY(!form().command(QStringLiteral("MenuDuplicates"))->isEnabled());

    form().prompts.asked.clear();
    form().openCatalogFiles({m_fileA});
    form().saveCatalog(false);
    form().closeCatalog(alpha);
    form().closeAllCatalogs();
    form().deleteDisk(alpha->child(0), false);
    form().dropDisks({alpha->child(0)}, beta, false);
    const QStringList captions = {QStringLiteral("Can't Open Catalog"), QStringLiteral("Can't Save Catalog"),
                                  QStringLiteral("Can't close catalog"), QStringLiteral("Can't close catalog"),
                                  QStringLiteral("Can't remove disk"), QStringLiteral("Can't move disk")};
    QCOMPARE(form().prompts.asked.size(), size_t(captions.size()));
    for (int i = 0; i < captions.size(); ++i) {
        QCOMPARE(form().prompts.asked[size_t(i)].caption, captions[i]);
        QVERIFY(form().prompts.asked[size_t(i)].text.endsWith(
            QStringLiteral("\rPlease cancel the search or wait for search to finish.")));
    }
    QCOMPARE(form().prompts.asked[0].text, MsgCantOpenWhileSearching());
    QCOMPARE(form().forest().roots().size(), size_t(2));
    QCOMPARE(alpha->childCount(), 3);

    // Once the search has ended they work again.
    QTRY_VERIFY_WITH_TIMEOUT(!form().searchRunning(), 30000);
    QVERIFY(form().command(QStringLiteral("MenuDuplicates"))->isEnabled());
    form().prompts.asked.clear();
    form().prompts.answers = {MsgAnswer::No};   // do not save the modified catalog
    form().closeCatalog(alpha);
    QCOMPARE(form().forest().roots().size(), size_t(1));
}

void MainWindowTest::closingCancelsARunningSearch()
{
    openBoth();
    form().showSearchWindow(false);
    startNameSearch(*form().searchForm());
    form().prompts.asked.clear();
    QVERIFY(form().close());
    QVERIFY(!form().isVisible());
    for (const auto &a : form().prompts.asked)
        QVERIFY(a.caption != QStringLiteral("Search in progress"));
}

void MainWindowTest::aSearchThatDoesNotStopKeepsTheProgramOpen()
{
    openBoth();
    form().showSearchWindow(false);
    form().heldSearch = true;
    form().prompts.asked.clear();
    QVERIFY(!form().close());
    QVERIFY(form().isVisible());
    QCOMPARE(form().prompts.asked.size(), size_t(1));
    QCOMPARE(form().prompts.asked[0].caption, QStringLiteral("Search in progress"));
    QCOMPARE(form().prompts.asked[0].text,
             QStringLiteral("There is search in progress and it does not respond to cancel command.\r"
                            "Please cancel the search manually and then exit the program."));
    QCOMPARE(form().forest().roots().size(), size_t(2));
    form().heldSearch = false;
}

void MainWindowTest::theSearchWindowKeepsItsPlace()
{
    m_form.reset();
    const QString store = m_dir->filePath(QStringLiteral("settings.conf"));
    QPoint place(123, 77);
    const int width = 910;
    {
        Registry registry(store);
        ScriptedPrompter prompts;
        TMainForm first(*m_options, &registry);
        first.setPrompter(&prompts);
        first.showSearchWindow(false);
        first.searchForm()->move(place);
        first.searchForm()->resize(width, first.searchForm()->height());
        place = first.searchForm()->geometry().topLeft();
        const QRect stored = first.searchForm()->geometry();
        QVERIFY(first.prepareToClose());
        first.setPrompter(nullptr);
        // The settings hold the 20-byte layout old settings files have.
        QVERIFY(registry.openKey(Registry::MainKey(), false));
        QCOMPARE(registry.readBinaryExact(QStringLiteral("SearchWndPos"), kWindowPosSize),
                 std::optional<QByteArray>(EncodeWindowPos(stored, -1)));
        registry.closeKey();
    }
    Registry registry(store);
    ScriptedPrompter prompts;
    TMainForm second(*m_options, &registry);
    second.setPrompter(&prompts);
    second.showSearchWindow(true);
    QCOMPARE(second.searchForm()->geometry().topLeft(), place);
    QCOMPARE(second.searchForm()->width(), width);
    second.setPrompter(nullptr);
}

void MainWindowTest::autoSaveWaitsForARunningSearch()
{
    openBoth();
    QTRY_VERIFY_WITH_TIMEOUT(!form().firstIdlePending(), 30000);
    TTreeNode *beta = catalogNamed(form().forest(), "Beta");
    RenameDisk(beta->child(0), "Autosaved");
    QSignalSpy saved(&form(), &TMainForm::autoSaveDone);
    form().heldSearch = true;
    m_options->AutoSaveCheck = true;
    m_options->AutoSaveEdit = 2;
    form().setAutoSaveMinuteMs(5);   // a period of 10 ms
    QTRY_VERIFY_WITH_TIMEOUT(form().autoSaveDue(), 30000);
    // Idle moments come and go; the save waits while the search walks the catalogs.
    QTest::qWait(100);
    form().applicationIdle();
    QCOMPARE(saved.count(), 0);
    QVERIFY(form().autoSaveDue());
    QCOMPARE(AsCatalog(beta->data())->Dirty, uint8_t(1));

    form().heldSearch = false;
    form().applicationIdle();
    QCOMPARE(saved.count(), 1);
    m_options->AutoSaveCheck = false;
    form().applyAutoSaveSettings();
    QCOMPARE(AsCatalog(catalogNamed(form().forest(), "Beta")->data())->Dirty, uint8_t(0));
}

void MainWindowTest::locateShowsAFoundItemInItsLevel()
{
    openBoth();
    form().showSearchWindow(false);
    TSearchForm *search = form().searchForm();
    startNameSearch(*search);
    QTRY_VERIFY_WITH_TIMEOUT(!search->searching(), 30000);
    // A file and a folder of the hits, each shown where it lives.
    std::vector<TItemRec *> targets;
    for (TItemRec *rec : search->foundList().items()) {
        const bool file = ItemIs(rec->KindFlags, rkFile);
        if (std::none_of(targets.begin(), targets.end(), [&](TItemRec *t) {
                return ItemIs(t->KindFlags, rkFile) == file;
            }) && (file || ItemIs(rec->KindFlags, rkFolder)))
            targets.push_back(rec);
    }
    QCOMPARE(targets.size(), size_t(2));
    for (TItemRec *rec : targets) {
        const int row = search->model()->indexOf(rec).row();
        search->detailsView()->selectionModel()->setCurrentIndex(search->model()->index(row, 0),
                                                                  QItemSelectionModel::ClearAndSelect |
                                                                      QItemSelectionModel::Rows);
        search->action(QStringLiteral("BtnTarget"))->trigger();
        TTreeNode *level = ItemIs(rec->KindFlags, rkFile) ? rec->Node : rec->Node->parent();
        QCOMPARE(form().selectedNode(), level);
        QCOMPARE(form().itemList().displayedNode(), level);
        QCOMPARE(form().listModel()->recordOf(form().listView()->currentIndex()), rec);
    }
}

void MainWindowTest::foundDisksCarryTheDiskDragData()
{
    openBoth();
    form().showSearchWindow(false);
    TSearchForm *search = form().searchForm();
    search->work().byName = true;
    search->work().setNameMode(nmFileMask);
    search->work().setNameText(QStringLiteral("*"));
    search->syncFromWork();
    QVERIFY(search->find());
    QTRY_VERIFY_WITH_TIMEOUT(!search->searching(), 30000);
    TFoundListModel *model = search->model();
    int diskRow = -1, fileRow = -1;
    for (int r = 0; r < model->rowCount(); ++r) {
        TItemRec *rec = model->recordOf(model->index(r, 0));
        if (ItemIs(rec->KindFlags, rkDisk) && diskRow < 0)
            diskRow = r;
        if (ItemIs(rec->KindFlags, rkFile) && fileRow < 0)
            fileRow = r;
    }
    QVERIFY(diskRow >= 0 && fileRow >= 0);
    TTreeNode *disk = model->recordOf(model->index(diskRow, 0))->Node;
    QVERIFY(model->flags(model->index(diskRow, 0)) & Qt::ItemIsDragEnabled);
    std::unique_ptr<QMimeData> data(model->mimeData({model->index(diskRow, 0), model->index(fileRow, 0)}));
    QVERIFY(data);
    QCOMPARE(form().treeModel()->disksOf(data.get()), std::vector<TTreeNode *>{disk});
    // Files alone carry no disk: they go only to the user list, marked as found items.
    std::unique_ptr<QMimeData> files(model->mimeData({model->index(fileRow, 0)}));
    QVERIFY(files);
    QVERIFY(form().treeModel()->disksOf(files.get()).empty());
    QCOMPARE(DragSourceOf(files.get()), TDragSource::FoundList);
    QCOMPARE(DragSourceOf(data.get()), TDragSource::FoundList);
}

