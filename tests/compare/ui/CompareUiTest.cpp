// Tests of the compare windows on the offscreen platform: a catalog built in
// memory compared with a temporary folder that was changed after it was
// catalogued; the results window's lists, combo and tabs in step, its
// sorting with the selection kept, the commands' enabling rules, the view
// styles and what a double click or Enter runs; the
// progress window's Cancel stopping a walk; the check dialog's scope, its
// "Search" rule and its folder check, and the results in the files mode.
#include "compare/CheckFiles.h"
#include "compare/CompareList.h"
#include "compare/CompareToMedia.h"
#include "compare/ui/CheckFilesForm.h"
#include "compare/ui/CompareCommands.h"
#include "compare/ui/CompareForm.h"
#include "compare/ui/CompareListModel.h"
#include "compare/ui/WaitCompareForm.h"

#include "TestCatalogs.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "platform/DosTime.h"
#include "platform/Drives.h"
#include "scan/DiskScan.h"
#include "settings/Registry.h"
#include "search/ui/ScopeTree.h"
#include "settings/Options.h"
#include "settings/WindowPos.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace testcat;

namespace {

// The catalogued time of every file, and a later one.
const uint32_t kTime = UnixToDos(981173106);
const uint32_t kLater = UnixToDos(981173106 + 86400);

// A file on the medium with size bytes and the time packed.
void mediaFile(const QString &root, const QString &rel, int size, uint32_t packed)
{
    const QString path = root + QLatin1Char('/') + rel;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QVERIFY(WriteFileBytes(path, QByteArray(size, 'x')));
    const time_t t = time_t(*DosToUnix(packed));
    const struct timespec times[2] = {{t, 0}, {t, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

HandFile catalogued(const QByteArray &name, int64_t size)
{
    HandFile f;
    f.name = name;
    f.size = size;
    f.created = f.modified = f.accessed = kTime;
    return f;
}

// The names shown in column 0 of the model, in row order.
QStringList shownNames(const QAbstractItemModel *model)
{
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, ccName).data().toString();
    return names;
}

} // namespace

class CompareUiTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_media;
    TForest m_forest;
    TTreeNode *m_catalog = nullptr;
    TTreeNode *m_disk = nullptr;
    std::unique_ptr<TCompareWork> m_work;

    // The catalog's disk as it was catalogued, and the medium as it is now:
    // same.txt, zeta.dat and sub/x.txt unchanged, changed.txt grown,
    // gone.txt deleted, new-b.txt and new-a.bin added.
    void buildCase()
    {
        HandCatalog c;
        c.name = "Archive";
        HandDisk d;
        d.name = "Media";
        d.rootFiles = {catalogued("same.txt", 4), catalogued("changed.txt", 5), catalogued("gone.txt", 3),
                       catalogued("zeta.dat", 10)};
        HandFolder sub;
        sub.name = "sub";
        sub.modified = kTime;
        sub.files = {catalogued("x.txt", 7)};
        d.folders = {sub};
        d.totalFiles = 5;
        d.totalFolders = 1;
        c.disks = {d};
        m_catalog = BuildForest(m_forest, c);
        m_disk = m_catalog->child(0);
        const QString root = m_media.path();
        mediaFile(root, QStringLiteral("same.txt"), 4, kTime);
        mediaFile(root, QStringLiteral("changed.txt"), 6, kTime);
        mediaFile(root, QStringLiteral("zeta.dat"), 10, kTime);
        mediaFile(root, QStringLiteral("sub/x.txt"), 7, kTime);
        mediaFile(root, QStringLiteral("new-b.txt"), 2, kTime);
        mediaFile(root, QStringLiteral("new-a.bin"), 9, kLater);
    }

    // A fresh compare of the disk with the medium.
    TCompareWork &compare()
    {
        m_work = std::make_unique<TCompareWork>();
        CompareToMedia(*m_work, m_disk, QFile::encodeName(m_media.path()), true, TWalkRules());
        return *m_work;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_media.isValid());
        buildCase();
        QCOMPARE(compare().Status, TCompareStatus::Done);
    }
    void cleanupTestCase()
    {
        m_work.reset();
        DeleteCatalog(m_forest, m_catalog);
    }

    void listsFilledFromARealCompare_data()
    {
        QTest::addColumn<int>("list");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("combo");
        QTest::addColumn<QString>("tab");
        QTest::newRow("new") << 0 << QStringList{"new-a.bin", "new-b.txt"}
                             << "New files on media, not yet in the catalog (2 files)" << "  New files (2)  ";
        QTest::newRow("same") << 1 << QStringList{"same.txt", "x.txt", "zeta.dat"}
                              << "Files that did not change since last cataloguing (3 files)" << "  Same files (3)  ";
        QTest::newRow("changed") << 2 << QStringList{"changed.txt"}
                                 << "Files that have changed since last cataloguing (1 file)" << "  Changed files (1)  ";
        QTest::newRow("deleted") << 3 << QStringList{"gone.txt"} << "Deleted files since last cataloguing (1 file)"
                                 << "  Deleted files (1)  ";
    }
    void listsFilledFromARealCompare()
    {
        QFETCH(int, list);
        QFETCH(QStringList, names);
        QFETCH(QString, combo);
        QFETCH(QString, tab);
        TCompareWork &work = compare();
        TCompareForm form(work, u'D', QString(), {});
        QAbstractItemModelTester tester(form.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        form.showList(list);
        QCOMPARE(shownNames(form.model()), names);
        QCOMPARE(form.itemsCombo()->itemText(list), combo);
        QCOMPARE(form.tabSet()->tabText(list), tab);
        QCOMPARE(form.statusPanel(0)->text(), QStringLiteral("Total files: %1").arg(names.size()));
        QCOMPARE(form.windowTitle(), QStringLiteral("Compare to Media"));
        QCOMPARE(form.headerLabel()->text(),
                 QStringLiteral("Comparing %1 \"Media\" in catalog with contents of drive D:").arg(CompareWord(m_disk)));
        // Cells of a new file and of a catalog file.
        const QAbstractItemModel *m = form.model();
        if (list == 0) {
            QCOMPARE(m->index(0, ccMediaName).data().toString(), QStringLiteral("(none)"));
            QCOMPARE(m->index(0, ccExt).data().toString(), QStringLiteral("bin"));
            QCOMPARE(m->index(0, ccFolder).data().toString(), m_media.path() + QLatin1Char('/'));
        } else {
            QCOMPARE(m->index(0, ccMediaName).data().toString(), QStringLiteral("Media"));
        }
    }

    void comboAndTabsStayInStep()
    {
        TCompareForm form(compare(), u'D', QString(), {});
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        struct Step {
            std::function<void()> act;
            int shown;
        };
        const std::vector<Step> steps = {
            {[&] { form.itemsCombo()->setCurrentIndex(2); }, 2},
            {[&] { form.tabSet()->setCurrentIndex(3); }, 3},
            {[&] { QTest::keyClick(form.listView(), Qt::Key_PageUp, Qt::ControlModifier); }, 0},   // wraps
            {[&] { QTest::keyClick(form.listView(), Qt::Key_PageDown, Qt::ControlModifier); }, 3}, // wraps back
            {[&] { QTest::keyClick(form.listView(), Qt::Key_PageDown, Qt::ControlModifier); }, 2},
        };
        for (size_t i = 0; i < steps.size(); ++i) {
            steps[i].act();
            QCOMPARE(form.shownList(), steps[i].shown);
            QCOMPARE(form.itemsCombo()->currentIndex(), steps[i].shown);
            QCOMPARE(form.tabSet()->currentIndex(), steps[i].shown);
            QCOMPARE(form.model()->rowCount(), int(m_work->count(steps[i].shown)));
        }
    }

    void sortingKeepsTheSelection_data()
    {
        QTest::addColumn<int>("list");
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("sorted");
        QTest::newRow("same by size") << 1 << int(ccSize) << QStringList{"same.txt", "x.txt", "zeta.dat"};
        QTest::newRow("same by ext (stable)") << 1 << int(ccExt) << QStringList{"zeta.dat", "same.txt", "x.txt"};
        QTest::newRow("same by folder") << 1 << int(ccFolder) << QStringList{"same.txt", "zeta.dat", "x.txt"};
        QTest::newRow("same by description (no order)") << 1 << int(ccDescription)
                                                        << QStringList{"same.txt", "x.txt", "zeta.dat"};
        QTest::newRow("new by date") << 0 << int(ccDate) << QStringList{"new-b.txt", "new-a.bin"};
        QTest::newRow("new by size") << 0 << int(ccSize) << QStringList{"new-b.txt", "new-a.bin"};
    }
    void sortingKeepsTheSelection()
    {
        QFETCH(int, list);
        QFETCH(int, column);
        QFETCH(QStringList, sorted);
        TCompareForm form(compare(), u'D', QString(), {});
        QStringList statuses;
        form.setStatusSink([&](const QString &text) { statuses << text; });
        form.showList(list);
        // The last row selected and focused before the sort.
        const int last = form.model()->rowCount() - 1;
        const QString focused = form.model()->index(last, ccName).data().toString();
        form.listView()->selectionModel()->setCurrentIndex(form.model()->index(last, 0),
                                                            QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
        form.headerClicked(column);
        QCOMPARE(shownNames(form.model()), sorted);
        QCOMPARE(form.listView()->currentIndex().data().toString(), focused);
        QCOMPARE(form.listView()->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(form.listView()->selectionModel()->selectedRows().first().data().toString(), focused);
        QCOMPARE(statuses.value(0), QStringLiteral("Sorting %1 files, please wait...").arg(sorted.size()));
        // The same column again reverses.
        form.headerClicked(column);
        QStringList reversed = sorted;
        std::reverse(reversed.begin(), reversed.end());
        QCOMPARE(shownNames(form.model()), reversed);
        QCOMPARE(form.listView()->currentIndex().data().toString(), focused);
    }

    void commandsFollowTheirRules_data()
    {
        QTest::addColumn<int>("list");
        QTest::addColumn<bool>("locate");
        QTest::addColumn<bool>("launch");
        QTest::newRow("new files: nothing") << 0 << false << false;
        QTest::newRow("same") << 1 << true << true;
        QTest::newRow("changed") << 2 << true << true;
        QTest::newRow("deleted: not on the medium") << 3 << true << false;
    }
    void commandsFollowTheirRules()
    {
        QFETCH(int, list);
        QFETCH(bool, locate);
        QFETCH(bool, launch);
        TCompareForm form(compare(), u'D', QString(), {});
        std::vector<TItemRec *> located;
        const auto record = [&](TItemRec *focused, const std::vector<TItemRec *> &) { located.push_back(focused); };
        form.setHandler(TCompareCommand::Locate, record);
        form.setHandler(TCompareCommand::Launch, record);
        form.showList(list);
        form.listView()->selectionModel()->setCurrentIndex(form.model()->index(0, 0),
                                                            QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
        QCOMPARE(form.action(TCompareCommand::Locate)->isEnabled(), locate);
        QCOMPARE(form.action(TCompareCommand::Launch)->isEnabled(), launch);
        // Without a handler a command never pretends to work.
        for (const TCompareCommand c : {TCompareCommand::Properties, TCompareCommand::EditDesc,
                                        TCompareCommand::AddToUserList, TCompareCommand::Report})
            QVERIFY(!form.action(c)->isEnabled());
        // The rule itself allows the deleted files' commands that need no medium.
        QCOMPARE(CompareCommandAllowed(TCompareCommand::Properties, *m_work, list, form.focusedRecord(),
                                       form.selectedRecords()),
                 list != 0);
        form.action(TCompareCommand::Locate)->trigger();
        QCOMPARE(located.size(), size_t(locate ? 1 : 0));
        if (locate)
            QCOMPARE(located.front(), form.model()->recordOf(form.model()->index(0, 0)));
    }

    // Each style button shows its view over the same rows, keeping the
    // selection, the focused row and the keyboard focus.
    void viewStylesKeepTheFocusedRow()
    {
        TCompareForm form(compare(), u'D', QString(), {});
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.showList(1);
        QItemSelectionModel *selection = form.listView()->selectionModel();
        selection->select(form.model()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        selection->setCurrentIndex(form.model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        form.listView()->setFocus();
        const std::vector<TItemRec *> chosen = form.selectedRecords();
        TItemRec *focused = form.focusedRecord();
        QCOMPARE(chosen.size(), size_t(2));
        QVERIFY(focused);
        static const struct {
            const char *button;
            int style;
            QListView::ViewMode mode;
        } styles[] = {
            {"BtnSmallIcons", vsSmallIcons, QListView::ListMode},
            {"BtnLargeIcons", vsIcons, QListView::IconMode},
            {"BtnList", vsList, QListView::ListMode},
            {"BtnDetails", vsDetails, QListView::ListMode},
        };
        const QToolBar *toolbar = form.findChild<QToolBar *>(QStringLiteral("CompareToolbar"));
        QVERIFY(toolbar);
        for (const auto &s : styles) {
            QAction *button = form.findChild<QAction *>(QLatin1String(s.button));
            QVERIFY(button && toolbar->actions().contains(button));
            button->trigger();
            QCOMPARE(form.viewStyle(), s.style);
            QVERIFY(button->isChecked());
            for (const auto &other : styles)
                QCOMPARE(form.findChild<QAction *>(QLatin1String(other.button))->isChecked(), other.style == s.style);
            if (s.style == vsDetails) {
                QCOMPARE(form.listView(), static_cast<QAbstractItemView *>(form.detailsView()));
            } else {
                QCOMPARE(form.listView(), static_cast<QAbstractItemView *>(form.iconView()));
                QCOMPARE(form.iconView()->viewMode(), s.mode);
            }
            QVERIFY(form.listView()->isVisible());
            QVERIFY(form.listView()->hasFocus());
            QCOMPARE(form.focusedRecord(), focused);
            QCOMPARE(form.selectedRecords(), chosen);
            QCOMPARE(form.statusPanel(2)->text(), SelectionSummary(chosen, form.model()->textContext()));
        }
    }

    // A double click and Enter run the command the main window's
    // double-click option names on the focused catalog item, and only while
    // that command may run there; the new files run nothing.
    void doubleClickRunsTheOptionsCommand_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<int>("list");
        QTest::addColumn<bool>("enter");
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nothing") << 0 << 1 << false << int(vsDetails) << "";
        QTest::newRow("properties") << 1 << 1 << false << int(vsDetails) << "ButtonProperties";
        QTest::newRow("explorer") << 2 << 2 << true << int(vsDetails) << "ButtonExplorer";
        QTest::newRow("launch a file") << 3 << 1 << false << int(vsIcons) << "ButtonLaunch";
        QTest::newRow("view a file (Enter)") << 4 << 1 << true << int(vsList) << "ButtonView";
        QTest::newRow("deleted: properties") << 1 << 3 << false << int(vsDetails) << "ButtonProperties";
        QTest::newRow("deleted: no launch") << 3 << 3 << true << int(vsDetails) << "";
        QTest::newRow("new files: nothing") << 1 << 0 << false << int(vsDetails) << "";
        QTest::newRow("new files, Enter: nothing") << 4 << 0 << true << int(vsSmallIcons) << "";
    }
    void doubleClickRunsTheOptionsCommand()
    {
        QFETCH(int, choice);
        QFETCH(int, list);
        QFETCH(bool, enter);
        QFETCH(int, style);
        QFETCH(QString, expected);
        TCompareForm form(compare(), u'D', QString(), {});
        QStringList ran;
        std::vector<TItemRec *> targets;
        for (const TCompareCommand c : {TCompareCommand::Properties, TCompareCommand::Explorer, TCompareCommand::Launch,
                                        TCompareCommand::View, TCompareCommand::Locate})
            form.setHandler(c, [&, c](TItemRec *focused, const std::vector<TItemRec *> &) {
                ran << form.action(c)->objectName();
                targets.push_back(focused);
            });
        form.setDoubleClickChoice(choice);
        form.setViewStyle(style);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.showList(list);
        const QModelIndex row = form.model()->index(form.model()->rowCount() - 1, 0);
        form.listView()->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect |
                                                                    QItemSelectionModel::Rows);
        form.listView()->setFocus();
        if (enter) {
            QTest::keyClick(form.listView(), Qt::Key_Return);
        } else {
            const QPoint at = form.listView()->visualRect(row).center();
            // An item view takes a double click on the row its press went to.
            QTest::mousePress(form.listView()->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(form.listView()->viewport(), Qt::LeftButton, {}, at);
        }
        QCOMPARE(ran, expected.isEmpty() ? QStringList() : QStringList{expected});
        if (!expected.isEmpty())
            QCOMPARE(targets.front(), form.model()->recordOf(row));
        QVERIFY(form.isVisible());
        // Alt+Enter opens the properties whatever the option says.
        ran.clear();
        QTest::keyClick(form.listView(), Qt::Key_Return, Qt::AltModifier);
        QCOMPARE(ran, list == 0 ? QStringList() : QStringList{QStringLiteral("ButtonProperties")});
    }

    void statusOfTheNewFiles()
    {
        TCompareForm form(compare(), u'D', QString(), {});
        form.showList(0);
        form.listView()->selectAll();
        QCOMPARE(form.statusPanel(2)->text(), QStringLiteral("Selected: 2 files, 11 B"));
        QVERIFY(form.statusPanel(1)->text().startsWith(QStringLiteral("new-a.bin (file), 9 B, ")));
    }

    void cancelStopsTheWalk()
    {
        // A medium large enough that the walk passes the event loop often.
        QTemporaryDir big;
        for (int d = 0; d < 20; ++d) {
            QVERIFY(QDir().mkpath(big.filePath(QStringLiteral("d%1").arg(d))));
            for (int f = 0; f < 100; ++f)
                QVERIFY(WriteFileBytes(big.filePath(QStringLiteral("d%1/f%2").arg(d).arg(f)), "x"));
        }
        TWaitCompareForm wait(TCompareMode::Media);
        wait.show();
        // The click comes as soon as the walk of the medium lets events run.
        QElapsedTimer sinceClick;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
            if (wait.stepLabel()->text() != MsgComparingToMedia() || sinceClick.isValid())
                return;
            QTest::mouseClick(wait.cancelButton(), Qt::LeftButton);
            sinceClick.start();
        });
        poll.start(0);
        TCompareWork work;
        CompareToMedia(work, m_disk, QFile::encodeName(big.path()), true, TWalkRules(), &wait);
        QVERIFY(sinceClick.isValid());
        qInfo("the walk ended %lld ms after the click", static_cast<long long>(sinceClick.elapsed()));
        QCOMPARE(work.Status, TCompareStatus::Cancelled);
        QCOMPARE(work.count(0), 0);
        QVERIFY(!wait.cancelButton()->isEnabled());
    }

    void checkDialogScopeAndFolder()
    {
        // A second catalog that starts excluded.
        HandCatalog other;
        other.name = "Other";
        HandDisk d;
        d.name = "Elsewhere";
        d.rootFiles = {catalogued("same.txt", 99)};
        other.disks = {d};
        TTreeNode *otherCatalog = BuildForest(m_forest, other);
        ScriptedPrompter prompter;
        TCheckFilesForm form(m_forest, m_disk, prompter);
        QCOMPARE(form.scopeTree()->stateOf(m_catalog), int(ssIncluded));
        QCOMPARE(form.scopeTree()->stateOf(otherCatalog), int(ssExcluded));
        QVERIFY(form.searchButton()->isEnabled());
        QTest::mouseClick(form.excludeAllButton(), Qt::LeftButton);
        QVERIFY(!form.searchButton()->isEnabled());
        QCOMPARE(form.scopeTree()->stateOf(m_catalog), int(ssExcluded));
        form.scopeTree()->toggle(otherCatalog->child(0));
        QCOMPARE(form.scopeTree()->stateOf(otherCatalog), int(ssIncluded));
        QVERIFY(form.searchButton()->isEnabled());
        // The records keep the search's own choice.
        QVERIFY(ItemIs(NodeRec(m_disk)->KindFlags, rfInSearch));
        QCOMPARE(form.scopeNodes(), std::vector<TTreeNode *>{otherCatalog});
        QCOMPARE(form.sameChecks().Size, true);
        QCOMPARE(form.sameChecks().Date, true);
        QCOMPARE(form.sameChecks().Attributes, false);
        QVERIFY(form.subfolders());

        // A folder that does not exist keeps the dialog open with the message.
        form.show();
        form.sourceEdit()->setText(m_media.filePath(QStringLiteral("missing")));
        QTest::mouseClick(form.searchButton(), Qt::LeftButton);
        QVERIFY(form.isVisible());
        QCOMPARE(prompter.messages.size(), size_t(1));
        QCOMPARE(prompter.messages[0].caption, QStringLiteral("Invalid folder"));
        QCOMPARE(prompter.messages[0].text,
                 QStringLiteral("Folder \"%1/\" does not exist!").arg(m_media.filePath(QStringLiteral("missing"))));
        form.sourceEdit()->setText(m_media.path());
        QTest::mouseClick(form.searchButton(), Qt::LeftButton);
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(form.sourceFolder(), m_media.path() + QLatin1Char('/'));

        // The check over the dialog's choices, shown in the files mode.
        TCompareWork work;
        CheckFilesToCatalog(work, form.scopeNodes(), QFile::encodeName(form.sourceFolder()), form.subfolders(),
                            form.sameChecks(), TWalkRules());
        QCOMPARE(work.Status, TCompareStatus::Done);
        TCompareForm results(work, QChar(), form.sourceFolder(), {});
        QCOMPARE(results.windowTitle(), QStringLiteral("Compare Files To Catalog"));
        QCOMPARE(results.tabSet()->count(), 3);
        QCOMPARE(results.tabSet()->tabText(2), QStringLiteral("  Found, but changed (1)  "));
        QCOMPARE(results.headerLabel()->text(),
                 QStringLiteral("Checking if files at \"%1\" are present in selected catalogs or disks:")
                     .arg(form.sourceFolder()));
        results.showList(2);
        QCOMPARE(shownNames(results.model()), QStringList{"same.txt"});
        results.showList(0);
        QCOMPARE(results.model()->rowCount(), 5);
        DeleteCatalog(m_forest, otherCatalog);
    }

    // The main window's compare command from the confirmation to its end,
    // over a folder that a fake mount table presents as a drive.
    void compareCommandEndsInItsMessageOrWindow_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<bool>("change");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<int>("windowNewFiles");   // -1: no results window
        QTest::newRow("cancelled at the confirmation") << false << true << QStringList{"Compare to media"} << -1;
        QTest::newRow("nothing changed") << true << false << QStringList{"Compare to media", "No changes detected"}
                                         << -1;
        QTest::newRow("a file added") << true << true << QStringList{"Compare to media"} << 1;
    }
    void compareCommandEndsInItsMessageOrWindow()
    {
        QFETCH(bool, confirm);
        QFETCH(bool, change);
        QFETCH(QStringList, captions);
        QFETCH(int, windowNewFiles);
        QTemporaryDir tmp;
        const QString mnt = tmp.filePath(QStringLiteral("mnt"));
        QVERIFY(QDir().mkpath(mnt) && QDir().mkpath(tmp.filePath(QStringLiteral("sys"))));
        mediaFile(mnt, QStringLiteral("kept.txt"), 5, kTime);
        TDriveSources sources;
        sources.mounts = [mnt] {
            return QList<TMountEntry>{{QStringLiteral("/dev/fake0"), mnt, QStringLiteral("ext4"), QStringLiteral("rw")}};
        };
        sources.sysfsRoot = tmp.filePath(QStringLiteral("sys"));
        sources.devDiskRoot = tmp.filePath(QStringLiteral("udev"));
        sources.readDevices = false;
        sources.mayRun = [](const QString &) { return false; };
        sources.space = [](const QString &) -> std::optional<TFsSpace> { return TFsSpace{4096, 1000, 500, 0x77, 255}; };
        TDrives drives(sources);
        const QChar letter = *drives.driveOfPath(mnt);
        TTreeNode *catalog = NewCatalogNode(m_forest, "Commands");
        TScanOptions o;
        o.DatabaseList = catalog;
        o.DiskName = "Backup";
        const TScanOutcome scanned = ScanDisk(drives, letter, {}, o);
        QVERIFY(scanned.Success);
        if (change)
            mediaFile(mnt, QStringLiteral("added.txt"), 3, kTime);

        ScriptedPrompter prompter;
        prompter.answers = {confirm ? MsgAnswer::Ok : MsgAnswer::Cancel};
        TCompareCommandHost host;
        host.forest = &m_forest;
        host.drives = &drives;
        host.prompter = &prompter;
        QStringList statuses;
        host.status = [&](const QString &text) { statuses << text; };
        Registry registry(tmp.filePath(QStringLiteral("settings.conf")));
        host.registry = &registry;
        int shownNewFiles = -1;
        const QRect placed(40, 50, 600, 400);
        host.resultsShown = [&](QWidget *window) {
            auto *form = qobject_cast<TCompareForm *>(window);
            QVERIFY(form);
            shownNewFiles = form->model()->rowCount();
            form->setGeometry(placed);
            QMetaObject::invokeMethod(form, &QDialog::reject, Qt::QueuedConnection);
        };
        RunCompareToMediaCommand(host, scanned.DiskNode);
        // The window's placement is kept for the next one, in the settings'
        // 20-byte layout.
        if (windowNewFiles >= 0) {
            QVERIFY(registry.openKey(Registry::MainKey(), false));
            QCOMPARE(registry.readBinaryExact(QStringLiteral("CompareWndPos"), kWindowPosSize),
                     std::optional<QByteArray>(EncodeWindowPos(placed, -1)));
            registry.closeKey();
            QRect reopened;
            host.resultsShown = [&](QWidget *window) {
                reopened = window->geometry();
                QMetaObject::invokeMethod(window, "reject", Qt::QueuedConnection);
            };
            prompter.answers = {MsgAnswer::Ok};
            RunCompareToMediaCommand(host, scanned.DiskNode);
            QCOMPARE(reopened, placed);
            prompter.messages.resize(1);
        }

        QStringList asked;
        for (const auto &m : prompter.messages)
            asked << m.caption;
        QCOMPARE(asked, captions);
        const QString word = CompareWord(scanned.DiskNode);
        QCOMPARE(prompter.messages[0].text,
                 QStringLiteral("About to compare %1 \"Backup\" in catalog to original media, please confirm.").arg(word));
        if (captions.size() > 1)
            QCOMPARE(prompter.messages[1].text, QStringLiteral("No changes have been detected on the media. Catalog "
                                                               "data for %1 \"Backup\" is up to date.").arg(word));
        QCOMPARE(shownNewFiles, windowNewFiles);
        if (confirm)
            QCOMPARE(statuses.mid(0, 2), (QStringList{MsgComparingStatus(), QString()}));
        DeleteCatalog(m_forest, catalog);
    }

    // The results window hands its item commands to the host: the properties
    // and the file actions of the main window.
    void itemCommandsReachTheHost_data()
    {
        QTest::addColumn<int>("command");   // a TCompareCommand
        QTest::addColumn<int>("action");    // the TFileAction handed over; -1: the properties
        QTest::newRow("properties") << int(TCompareCommand::Properties) << -1;
        QTest::newRow("explorer") << int(TCompareCommand::Explorer) << int(TFileAction::Explorer);
        QTest::newRow("launch") << int(TCompareCommand::Launch) << int(TFileAction::Launch);
        QTest::newRow("view") << int(TCompareCommand::View) << int(TFileAction::View);
    }
    void itemCommandsReachTheHost()
    {
        QFETCH(int, command);
        QFETCH(int, action);
        ScriptedPrompter prompter;
        TCompareCommandHost host;
        host.forest = &m_forest;
        host.prompter = &prompter;
        std::vector<std::pair<int, TItemRec *>> asked;
        host.properties = [&](TItemRec *rec) { asked.emplace_back(-1, rec); };
        host.fileAction = [&](TFileAction a, TItemRec *focused, const std::vector<TItemRec *> &selected) {
            QCOMPARE(selected, std::vector<TItemRec *>{focused});
            asked.emplace_back(int(a), focused);
        };
        TItemRec *focused = nullptr;
        bool enabledOnNewFiles = true;
        host.resultsShown = [&](QWidget *window) {
            auto *form = qobject_cast<TCompareForm *>(window);
            QVERIFY(form);
            const auto focusFirst = [form] {
                form->listView()->selectionModel()->setCurrentIndex(form->model()->index(0, 0),
                                                                    QItemSelectionModel::ClearAndSelect |
                                                                        QItemSelectionModel::Rows);
            };
            QAction *a = form->action(TCompareCommand(command));
            form->showList(0);
            focusFirst();
            enabledOnNewFiles = a->isEnabled();
            form->showList(ckChanged);
            focusFirst();
            focused = form->focusedRecord();
            if (a->isEnabled())
                a->trigger();
            QMetaObject::invokeMethod(form, &QDialog::reject, Qt::QueuedConnection);
        };
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<TCheckFilesForm *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll.stop();
            dialog->sourceEdit()->setText(m_media.path());
            QTest::mouseClick(dialog->searchButton(), Qt::LeftButton);
        });
        poll.start(5);
        RunCheckFilesCommand(host, m_disk);
        QVERIFY(!enabledOnNewFiles);
        QVERIFY(focused);
        QCOMPARE(asked.size(), size_t(1));
        QCOMPARE(asked.front().first, action);
        QCOMPARE(asked.front().second, focused);
    }

    // The check command: its dialog answered, then its results window.
    void checkCommandRunsTheDialogThenTheWindow()
    {
        ScriptedPrompter prompter;
        TCompareCommandHost host;
        host.forest = &m_forest;
        host.prompter = &prompter;
        int foundChanged = -1;
        host.resultsShown = [&](QWidget *window) {
            auto *form = qobject_cast<TCompareForm *>(window);
            QVERIFY(form);
            form->showList(ckChanged);
            foundChanged = form->model()->rowCount();
            QMetaObject::invokeMethod(form, &QDialog::reject, Qt::QueuedConnection);
        };
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<TCheckFilesForm *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll.stop();
            dialog->sourceEdit()->setText(m_media.path());
            QTest::mouseClick(dialog->searchButton(), Qt::LeftButton);
        });
        poll.start(5);
        RunCheckFilesCommand(host, m_disk);
        QVERIFY(prompter.messages.empty());
        QCOMPARE(foundChanged, 1);   // changed.txt: catalogued with another size
    }
};

QTEST_MAIN(CompareUiTest)
#include "CompareUiTest.moc"
