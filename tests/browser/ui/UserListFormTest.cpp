// Tests of the User List window on the offscreen platform, and of the main
// window's commands that open the organising windows: adding (once per
// record), sorting that new items follow, removing and clearing with their
// questions, the enabling rules, and "Set Category and Flags" reaching the
// catalog and its file.
#include "browser/ui/UserListForm.h"

#include "TestCatalogs.h"
#include "browser/ui/CatManagerForm.h"
#include "browser/ui/CatalogTreeModel.h"
#include "browser/ui/CategoriesForm.h"
#include "browser/ui/ItemListModel.h"
#include "browser/ui/QuillonMain.h"
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "catalog/UserList.h"
#include "settings/Options.h"

#include <QAction>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

using namespace testcat;

namespace {

HandCatalog Sample()
{
    HandCatalog c;
    c.name = "Sample";
    c.categories = {{"Games", 1}, {"Work", 2}};
    HandDisk d;
    d.name = "D";
    d.rootFiles = {SampleFile("small.txt", 10), SampleFile("big.bin", 5000), SampleFile("mid.doc", 300)};
    d.folders = {SampleFolder(1, "Sub", {SampleFile("deep.txt", 70)})};
    c.disks.push_back(d);
    return c;
}

// The records of a disk's root files, by name.
std::map<QByteArray, TItemRec *> RootFiles(TTreeNode *disk)
{
    std::map<QByteArray, TItemRec *> files;
    LoadFileList(disk);
    for (TFileRec *f = NodeRec(disk)->Next; f; f = f->Next)
        files[f->name().toByteArray()] = f;
    return files;
}

QStringList Column0(const TUserListForm &form)
{
    QStringList names;
    const QAbstractItemModel *model = form.listView()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
    return names;
}

} // namespace

class UserListFormTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_file;
    TForest m_forest;
    ScriptedPrompter m_prompter;
    TTreeNode *m_catalog = nullptr;
    std::map<QByteArray, TItemRec *> m_files;
    TOptions m_options;

    // A main window with the sample catalog open from a file of that name.
    std::unique_ptr<TMainForm> openMainWindow(const QString &name)
    {
        m_options.AutoSaveCheck = false;
        auto form = std::make_unique<TMainForm>(m_options, nullptr);
        form->setPrompter(&m_prompter);
        const QString file = m_dir.filePath(name);
        WriteFileBytes(file, BuildCatalogBytes(Sample()));
        form->openCatalogFiles({file});
        return form;
    }

private slots:
    void init()
    {
        m_prompter.messages.clear();
        m_prompter.answers.clear();
        m_file = m_dir.filePath(QStringLiteral("sample.ctf"));
        WriteFileBytes(m_file, BuildCatalogBytes(Sample()));
        m_catalog = ReadCatalog(m_forest, m_file);
        m_files = RootFiles(m_catalog->firstChild());
    }
    void cleanup() { DeleteCatalog(m_forest, m_catalog); }

    void addingListsEachRecordOnce()
    {
        TUserList list;
        TUserListForm form(list, m_prompter);
        QCOMPARE(form.addRecords({m_files["small.txt"], m_files["big.bin"], m_files["small.txt"]}), 2);
        QCOMPARE(form.addRecords({m_files["small.txt"], nullptr}), 0);
        QCOMPARE(form.listView()->model()->rowCount(), 2);
        QCOMPARE(form.statusPanel(0)->text(), QStringLiteral("Total items: 2"));
        QVERIFY(!form.statusPanel(1)->text().isEmpty());   // the focused first row's summary
    }

    void newItemsTakeTheSortOrderAtOnce()
    {
        TUserList list;
        TUserListForm form(list, m_prompter);
        form.addRecords({m_files["small.txt"]});
        form.headerClicked(2);   // "Item Size", ascending
        form.headerClicked(2);   // descending
        QVERIFY(form.sortState().descending);
        form.addRecords({m_files["mid.doc"], m_files["big.bin"]});
        QCOMPARE(Column0(form), (QStringList{"big.bin", "mid.doc", "small.txt"}));
        form.headerClicked(0);
        QCOMPARE(Column0(form), (QStringList{"big.bin", "mid.doc", "small.txt"}));
        form.headerClicked(0);
        QCOMPARE(Column0(form), (QStringList{"small.txt", "mid.doc", "big.bin"}));
    }

    void removingAndClearingAsk_data()
    {
        QTest::addColumn<bool>("clear");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("left");
        QTest::newRow("remove yes") << false << int(MsgAnswer::Yes) << QStringLiteral("Delete items") << 2;
        QTest::newRow("remove no") << false << int(MsgAnswer::No) << QStringLiteral("Delete items") << 3;
        QTest::newRow("clear yes") << true << int(MsgAnswer::Yes) << QStringLiteral("Delete all items") << 0;
        QTest::newRow("clear no") << true << int(MsgAnswer::No) << QStringLiteral("Delete all items") << 3;
    }
    void removingAndClearingAsk()
    {
        QFETCH(bool, clear);
        QFETCH(int, answer);
        QFETCH(QString, caption);
        QFETCH(int, left);
        TUserList list;
        TUserListForm form(list, m_prompter);
        form.addRecords({m_files["small.txt"], m_files["big.bin"], m_files["mid.doc"]});
        // The first row comes focused and selected; the user picks the second instead.
        QCOMPARE(form.selectedRecords().size(), size_t(1));
        form.listView()->selectionModel()->setCurrentIndex(
            form.listView()->model()->index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        TItemRec *chosen = form.selectedRecords().front();
        form.applyRefreshMark();   // what the idle time does after a selection change
        m_prompter.answers = {MsgAnswer(answer)};
        form.action(clear ? QStringLiteral("BtnClear") : QStringLiteral("BtnDelete"))->trigger();
        QCOMPARE(m_prompter.messages.size(), size_t(1));
        QCOMPARE(m_prompter.messages.back().caption, caption);
        QCOMPARE(list.count(), left);
        QCOMPARE(form.listView()->model()->rowCount(), left);
        QCOMPARE(chosen->UserListPos >= 0, left == 3);
    }

    void commandsFollowTheFocusedItem()
    {
        TUserList list;
        TUserListForm form(list, m_prompter);
        std::vector<TItemRec *> asked;
        form.setHandler(QStringLiteral("BtnSetCat"),
                        [&](TItemRec *, const std::vector<TItemRec *> &selected) { asked = selected; });
        form.addRecords({m_catalog->data(), m_files["big.bin"]});
        QAction *setCat = form.action(QStringLiteral("BtnSetCat"));
        QAbstractItemView *view = form.listView();
        for (int row = 0; row < 2; ++row) {
            view->selectionModel()->setCurrentIndex(view->model()->index(row, 0),
                                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            form.updateCommands();
            const bool catalog = form.focusedRecord() == m_catalog->data();
            QCOMPARE(setCat->isEnabled(), !catalog);
            // Without a handler a command never pretends to work.
            QVERIFY(!form.action(QStringLiteral("BtnProperties"))->isEnabled());
        }
        setCat->trigger();
        QCOMPARE(asked, std::vector<TItemRec *>{m_files["big.bin"]});
        QVERIFY(form.action(QStringLiteral("BtnClear"))->isEnabled());
    }

    // The item commands go to their handlers (the main window's properties
    // and file actions) when the focused item allows them.
    void itemCommandsReachTheirHandlers_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("enabled");
        QTest::newRow("catalog") << "catalog" << QStringList{"BtnProperties"};
        QTest::newRow("disk") << "disk" << QStringList{"BtnProperties", "BtnExplorer"};
        QTest::newRow("file") << "big.bin" << QStringList{"BtnProperties", "BtnExplorer", "BtnLaunch", "BtnView"};
    }
    void itemCommandsReachTheirHandlers()
    {
        QFETCH(QString, item);
        QFETCH(QStringList, enabled);
        TItemRec *rec = item == QStringLiteral("catalog") ? m_catalog->data()
                        : item == QStringLiteral("disk")  ? m_catalog->firstChild()->data()
                                                          : m_files[item.toLatin1()];
        QVERIFY(rec);
        TUserList list;
        TUserListForm form(list, m_prompter);
        const QStringList commands = {"BtnProperties", "BtnExplorer", "BtnLaunch", "BtnView", "BtnExtract"};
        QStringList asked;
        std::vector<TItemRec *> focusedAsked;
        for (const QString &name : commands)
            form.setHandler(name, [&, name](TItemRec *focused, const std::vector<TItemRec *> &selected) {
                asked << name;
                focusedAsked.push_back(focused);
                QCOMPARE(selected, std::vector<TItemRec *>{rec});
            });
        form.addRecords({rec});
        QCOMPARE(form.focusedRecord(), rec);
        form.updateCommands();
        QStringList on;
        for (const QString &name : commands)
            if (form.action(name)->isEnabled()) {
                on << name;
                form.action(name)->trigger();
            }
        QCOMPARE(on, enabled);
        QCOMPARE(asked, enabled);
        // A click on the focused item's summary asks for its properties too.
        form.updateStatus();
        QTest::mouseClick(form.statusPanel(1), Qt::LeftButton);
        QCOMPARE(asked.size(), enabled.size() + 1);
        QCOMPARE(asked.back(), QStringLiteral("BtnProperties"));
        for (TItemRec *r : focusedAsked)
            QCOMPARE(r, rec);
    }

    // The four view styles show the same rows with the same selection and
    // focus; the commands are on the toolbar and in the context menu.
    void viewStylesKeepRowsAndSelection()
    {
        TUserList list;
        TUserListForm form(list, m_prompter);
        form.addRecords({m_files["small.txt"], m_files["big.bin"], m_files["mid.doc"]});
        form.listView()->selectionModel()->setCurrentIndex(
            form.listView()->model()->index(2, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        const std::vector<TItemRec *> chosen = form.selectedRecords();
        QCOMPARE(chosen.size(), size_t(1));
        const QMenu *menu = form.findChild<QMenu *>(QStringLiteral("UserListMenu"));
        QVERIFY(menu);
        static const struct {
            const char *button;
            int style;
            QListView::ViewMode mode;
            QListView::Flow flow;
        } styles[] = {
            {"BtnLargeIcons", vsIcons, QListView::IconMode, QListView::LeftToRight},
            {"BtnSmallIcons", vsSmallIcons, QListView::ListMode, QListView::LeftToRight},
            {"BtnList", vsList, QListView::ListMode, QListView::TopToBottom},
            {"BtnDetails", vsDetails, QListView::ListMode, QListView::LeftToRight},
        };
        form.show();
        for (const auto &s : styles) {
            QAction *button = form.action(QLatin1String(s.button));
            QVERIFY(button && menu->actions().contains(button));
            button->trigger();
            QCOMPARE(form.viewStyle(), s.style);
            for (const auto &other : styles)
                QCOMPARE(form.action(QLatin1String(other.button))->isChecked(), other.style == s.style);
            if (s.style == vsDetails) {
                QCOMPARE(form.listView(), static_cast<QAbstractItemView *>(form.detailsView()));
            } else {
                QCOMPARE(form.listView(), static_cast<QAbstractItemView *>(form.iconView()));
                QCOMPARE(form.iconView()->viewMode(), s.mode);
                QCOMPARE(form.iconView()->flow(), s.flow);
            }
            QVERIFY(form.listView()->isVisible());
            QCOMPARE(form.listView()->model()->rowCount(), 3);
            QCOMPARE(form.selectedRecords(), chosen);
            QCOMPARE(form.focusedRecord(), chosen.front());
        }
    }

    // A double click and Enter run what the main window's double-click
    // option says for the item; Alt+Enter and F4 open the properties,
    // Ctrl+T locates.
    void doubleClickAndKeysFollowTheOption_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nothing") << 0 << "big.bin" << "";
        QTest::newRow("no choice") << -1 << "big.bin" << "";
        QTest::newRow("properties") << 1 << "big.bin" << "BtnProperties";
        QTest::newRow("explorer") << 2 << "big.bin" << "BtnExplorer";
        QTest::newRow("launch a file") << 3 << "big.bin" << "BtnLaunch";
        QTest::newRow("launch a disk opens it") << 3 << "disk" << "BtnExplorer";
        QTest::newRow("view a file") << 4 << "big.bin" << "BtnView";
        QTest::newRow("view a disk shows properties") << 4 << "disk" << "BtnProperties";
    }
    void doubleClickAndKeysFollowTheOption()
    {
        QFETCH(int, choice);
        QFETCH(QString, item);
        QFETCH(QString, expected);
        TItemRec *rec = item == QStringLiteral("disk") ? m_catalog->firstChild()->data() : m_files[item.toLatin1()];
        TUserList list;
        TUserListForm form(list, m_prompter);
        form.setDoubleClickChoice(choice);
        QStringList asked;
        for (const char *name : {"BtnProperties", "BtnExplorer", "BtnLaunch", "BtnView", "BtnTarget"})
            form.setHandler(QLatin1String(name), [&asked, name](TItemRec *, const std::vector<TItemRec *> &) {
                asked << QLatin1String(name);
            });
        form.addRecords({rec});
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const QStringList once = expected.isEmpty() ? QStringList() : QStringList{expected};
        form.listView()->doubleClicked(form.listView()->currentIndex());
        QCOMPARE(asked, once);
        asked.clear();
        QTest::keyClick(form.listView(), Qt::Key_Return);
        QCOMPARE(asked, once);
        asked.clear();
        QTest::keyClick(form.listView(), Qt::Key_Return, Qt::AltModifier);
        QCOMPARE(asked, QStringList{QStringLiteral("BtnProperties")});
        asked.clear();
        QTest::keyClick(form.listView(), Qt::Key_F4);
        QTest::keyClick(form.listView(), Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(asked, (QStringList{QStringLiteral("BtnProperties"), QStringLiteral("BtnTarget")}));
    }

    // Items dragged from the main window's list and tree are added as its
    // "Add to User List" adds them (each record once); other drags are refused.
    void dropsRunTheSourcesAddToUserList()
    {
        auto form = openMainWindow(QStringLiteral("drop.ctf"));
        TTreeNode *catalog = form->forest().roots().front();
        TTreeNode *disk = catalog->firstChild();
        form->selectNode(disk);
        form->showUserList();
        QWidget *target = form->userListForm()->listView()->viewport();
        const auto drop = [&](const QMimeData *data) {
            QDragEnterEvent enter(QPoint(5, 5), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &enter);
            if (!enter.isAccepted())
                return false;
            QDropEvent dropped(QPointF(5, 5), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &dropped);
            QCoreApplication::processEvents();   // the add runs once the drag is over
            return dropped.isAccepted();
        };

        // Two rows of the list.
        std::map<QByteArray, TItemRec *> files = RootFiles(disk);
        QItemSelectionModel *rows = form->listView()->selectionModel();
        rows->clear();
        for (const char *name : {"small.txt", "big.bin"})
            rows->select(form->listModel()->indexOf(files[name]), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        form->updateCommands();
        std::unique_ptr<QMimeData> fromList(form->listModel()->mimeData(rows->selectedIndexes()));
        QVERIFY(fromList);
        QVERIFY(drop(fromList.get()));
        QCOMPARE(form->userList().count(), 2);
        QVERIFY(files["small.txt"]->UserListPos >= 0 && files["big.bin"]->UserListPos >= 0);
        QVERIFY(drop(fromList.get()));   // listed already: nothing more
        QCOMPARE(form->userList().count(), 2);

        // A folder of the tree; a catalog cannot be dragged at all.
        TTreeNode *sub = nullptr;
        for (TTreeNode *child : disk->children())
            if (child->text() == "Sub")
                sub = child;
        QVERIFY(sub);
        form->selectNode(sub);
        const QModelIndex subIndex = form->treeModel()->indexOf(sub);
        QVERIFY(form->treeModel()->flags(subIndex) & Qt::ItemIsDragEnabled);
        std::unique_ptr<QMimeData> fromTree(form->treeModel()->mimeData({subIndex}));
        QVERIFY(fromTree);
        QVERIFY(drop(fromTree.get()));
        QCOMPARE(form->userList().count(), 3);
        QVERIFY(sub->data()->UserListPos >= 0);
        const QModelIndex catalogIndex = form->treeModel()->indexOf(catalog);
        QVERIFY(!(form->treeModel()->flags(catalogIndex) & Qt::ItemIsDragEnabled));
        QVERIFY(!form->treeModel()->mimeData({catalogIndex}));

        // Data that no window of this program marked is refused.
        QMimeData foreign;
        foreign.setText(QStringLiteral("D:\\small.txt"));
        QVERIFY(!drop(&foreign));
        QCOMPARE(form->userList().count(), 3);
        m_prompter.answers = {MsgAnswer::Ok, MsgAnswer::No};
        form->closeAllCatalogs();
        form->setPrompter(nullptr);
    }

    // The main window's commands open the windows; "Set Category and Flags"
    // changes the item, marks the catalog and survives a save and reopening.
    void mainWindowCommandsOpenTheWindows()
    {
        auto form = openMainWindow(QStringLiteral("main.ctf"));
        QCOMPARE(form->forest().roots().size(), size_t(1));
        TTreeNode *catalog = form->forest().roots().front();
        form->selectNode(catalog->firstChild());

        QStringList opened;
        std::function<void(QDialog *)> then;
        form->setDialogHook([&](QDialog *dialog) {
            opened << dialog->objectName();
            QPointer<QDialog> d(dialog);
            QTimer::singleShot(0, dialog, [&, d] {
                if (then)
                    then(d);
                if (d)
                    d->reject();
            });
        });
        // The catalog manager's Properties opens the main window's properties
        // dialog on the focused disk.
        bool propertiesEnabled = false;
        QString propertiesShown;
        then = [&](QDialog *dialog) {
            auto *manager = qobject_cast<TCatManagerForm *>(dialog);
            QVERIFY(manager);
            propertiesEnabled = manager->propertiesButton()->isEnabled();
            if (!propertiesEnabled)
                return;
            QTimer::singleShot(0, manager, [&] {
                if (QWidget *modal = QApplication::activeModalWidget()) {
                    propertiesShown = modal->objectName();
                    if (auto *d = qobject_cast<QDialog *>(modal); d && modal->objectName() != "CatManagerForm")
                        d->reject();
                }
            });
            manager->propertiesButton()->click();
        };
        form->command(QStringLiteral("MenuCatManager"))->trigger();
        then = nullptr;
        QVERIFY(propertiesEnabled);
        QCOMPARE(propertiesShown, QStringLiteral("PropertiesForm"));
        form->command(QStringLiteral("MenuCategories"))->trigger();
        QCOMPARE(opened, (QStringList{"CatManagerForm", "CategoriesForm"}));

        form->command(QStringLiteral("MenuAddList"))->trigger();
        QVERIFY(form->userListForm());
        QCOMPARE(form->userList().count(), 1);
        QCOMPARE(form->userList().at(0), catalog->firstChild()->data());

        std::map<QByteArray, TItemRec *> files = RootFiles(catalog->firstChild());
        then = [](QDialog *dialog) {
            auto *setCat = qobject_cast<TSetCatForm *>(dialog);
            QVERIFY(setCat);
            setCat->categoryList()->item(2)->setCheckState(Qt::Checked);   // "Work"
            setCat->applyClicked();
        };
        form->setCategoriesFor({files["mid.doc"]});
        QCOMPARE(opened.back(), QStringLiteral("SetCatForm"));
        QCOMPARE(static_cast<TFileRec *>(files["mid.doc"])->CatFlags & 0x1F, 2);
        QVERIFY(AsCatalog(catalog->data())->Dirty != 0);

        const QString saved = m_dir.filePath(QStringLiteral("saved.ctf"));
        SaveCatalogTo(catalog, saved);
        TForest again;
        TTreeNode *reopened = ReadCatalog(again, saved);
        QVERIFY(reopened);
        QCOMPARE(static_cast<TFileRec *>(RootFiles(reopened->firstChild())["mid.doc"])->CatFlags & 0x1F, 2);
        DeleteCatalog(again, reopened);

        // Closing the last catalog takes its records out of the list and hides the window.
        form->showUserList();
        QVERIFY(form->userListForm()->isVisible());
        m_prompter.answers = {MsgAnswer::Ok, MsgAnswer::No};   // close all; do not save
        form->closeAllCatalogs();
        QVERIFY(form->forest().roots().empty());
        QCOMPARE(form->userList().count(), 0);
        QCOMPARE(form->userListForm()->listView()->model()->rowCount(), 0);
        QVERIFY(!form->userListForm()->isVisible());
        form->setPrompter(nullptr);
    }
};

QTEST_MAIN(UserListFormTest)
#include "UserListFormTest.moc"
