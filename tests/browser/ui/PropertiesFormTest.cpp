// The properties dialog, the advanced disk window and the text viewer on the
// offscreen platform: the pages shown per kind, edits handed back and
// applied, the one dialog kept and filled again, "&Edit", the description
// boxes' menu, the chart's slices, and the viewer on text, RTF and a large
// file with its font and placement kept in the settings.
#include "widgets/ui/PropertiesForm.h"
#include "browser/ui/CatalogTreeModel.h"
#include "browser/ui/ItemListModel.h"
#include "browser/ui/QuillonMain.h"
#include "browser/ui/ViewerForm.h"
#include "widgets/ui/DescMenu.h"

#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "settings/Options.h"
#include "settings/Registry.h"

#include "TestCatalogs.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTreeView>
#include <QTemporaryDir>
#include <QtTest>

using namespace testcat;

namespace {

// Runs act on the first visible top-level window of type T once one shows
// (from inside the modal loop that shows it).
template <typename T>
void whenShown(QObject *context, std::function<void(T *)> act)
{
    auto *timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, context, [timer, act] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *window = qobject_cast<T *>(w); window && window->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(window);
                return;
            }
    });
    timer->start(5);
}

} // namespace

class PropertiesFormTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_catalog = BuildForest(m_forest, SampleCatalog()); }
    void cleanup() { DeleteCatalog(m_forest, m_catalog); }

    void pagesPerKind_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("tabs");
        QTest::addColumn<QStringList>("memos");
        QTest::newRow("file in a folder") << "Alpha" << "a1.txt"
                                          << QStringList{"Properties", "Folder info", "Disk info"}
                                          << QStringList{"Memo1", "Memo2", "Memo3"};
        QTest::newRow("member") << "pack.zip" << "m2.txt" << QStringList{"Properties", "Archive file", "Disk info"}
                                << QStringList{"Memo1", "Memo2", "Memo3"};
        QTest::newRow("disk") << "" << "" << QStringList{"Disk info"} << QStringList{"Memo3"};
        QTest::newRow("catalog") << "-" << "" << QStringList{"Catalog info"} << QStringList{"Memo4"};
    }
    void pagesPerKind()
    {
        QFETCH(QString, folder);
        QFETCH(QString, file);
        QFETCH(QStringList, tabs);
        QFETCH(QStringList, memos);
        TTreeNode *disk = FindDisk(m_catalog, "Disk One");
        TTreeNode *node = folder == QLatin1String("-") ? m_catalog
                          : folder.isEmpty()          ? disk
                                                      : FindFolder(disk, folder.toUtf8());
        TFileRec *rec = file.isEmpty() ? nullptr : FindFile(node, file.toUtf8());
        TPropertiesForm form;
        form.fill(FillProperties(node, rec));
        QStringList shown, memoNames;
        for (int i = 0; i < form.pages()->count(); ++i)
            shown << form.pages()->tabText(i);
        for (QPlainTextEdit *memo : form.findChildren<QPlainTextEdit *>())
            memoNames << memo->objectName();
        memoNames.sort();
        QCOMPARE(shown, tabs);
        QCOMPARE(memoNames, memos);
        QCOMPARE(form.advancedButton() != nullptr, tabs.contains(QStringLiteral("Disk info")));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        if (!qEnvironmentVariableIsEmpty("QUILLON_SCREENSHOTS"))
            form.grab().save(qEnvironmentVariable("QUILLON_SCREENSHOTS") + QStringLiteral("/properties-")
                             + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-') + ".png");
    }

    void editsAreApplied()
    {
        TTreeNode *disk = FindDisk(m_catalog, "Disk One");
        TFileRec *file = FindFile(disk, "readme.txt");
        AsDisk(NodeRec(disk))->Dirty = 0;
        TPropertiesForm form;
        form.fill(FillProperties(disk, file));
        QCOMPARE(form.memo(TPropPage::File)->toPlainText(), QStringLiteral("Read me"));
        form.memo(TPropPage::File)->setPlainText(QStringLiteral("  New\ntext  "));
        form.categoryList(TPropPage::File)->setCurrentIndex(1);   // "Games", code 1
        form.flagsMenu(TPropPage::File)->actions().at(1)->setChecked(true);   // "Burn", flag 3
        const TPropertiesApplied applied = ApplyProperties(form.data(), form.edits());
        QVERIFY(applied.fileChanged);
        QVERIFY(!applied.diskChanged);
        QCOMPARE(TextView(file->Desc).toByteArray(), QByteArray("New\r\ntext"));
        QCOMPARE(int(file->CatFlags), 1 | 0x80);
        QVERIFY(AsDisk(NodeRec(disk))->Dirty);
    }

    void advancedDiskWindow()
    {
        TTreeNode *disk = FindDisk(m_catalog, "Photos");
        TPropertiesForm form;
        form.fill(FillProperties(disk, nullptr));
        TAdvDiskForm *adv = form.advancedForm();
        QCOMPARE(adv->rowText(QStringLiteral("File System:")), QStringLiteral("EXT4"));
        QCOMPARE(adv->rowText(QStringLiteral("Lost in File System:")), QStringLiteral("(unknown)"));   // virtual root
        QCOMPARE(int(adv->chart()->slices().size()), int(form.data().adv.slices.size()));
        QVERIFY(adv->footer().startsWith(QStringLiteral("Total capacity: ")));
        adv->show();
        QVERIFY(QTest::qWaitForWindowExposed(adv));
        if (!qEnvironmentVariableIsEmpty("QUILLON_SCREENSHOTS"))
            adv->grab().save(qEnvironmentVariable("QUILLON_SCREENSHOTS") + QStringLiteral("/advanced-disk.png"));
    }

    // Every showing uses the one dialog and fills it completely; what was
    // typed and cancelled is gone the next time.
    void oneDialogForEveryShowing()
    {
        TTreeNode *alpha = FindFolder(FindDisk(m_catalog, "Disk One"), "Alpha");
        TFileRec *file = FindFile(alpha, "a1.txt");
        const QByteArray desc = TextView(file->Desc).toByteArray();
        std::vector<TPropertiesForm *> seen;
        std::vector<QStringList> tabs;
        auto look = [&](bool type) {
            whenShown<TPropertiesForm>(this, [&, type](TPropertiesForm *f) {
                seen.push_back(f);
                QStringList t;
                for (int i = 0; i < f->pages()->count(); ++i)
                    t << f->pages()->tabText(i);
                tabs.push_back(t);
                if (type)
                    f->memo(TPropPage::File)->setPlainText(QStringLiteral("not kept"));
                f->reject();
            });
        };
        look(true);
        QVERIFY(!ShowProperties(nullptr, alpha, file).fileChanged);
        look(false);
        ShowProperties(nullptr, m_catalog, nullptr);
        look(false);
        ShowProperties(nullptr, alpha, file);
        QCOMPARE(int(seen.size()), 3);
        QCOMPARE(seen[0], &PropertiesDialog());
        QCOMPARE(seen[1], seen[0]);
        QCOMPARE(seen[2], seen[0]);
        QCOMPARE(tabs[0], (QStringList{"Properties", "Folder info", "Disk info"}));
        QCOMPARE(tabs[1], QStringList{"Catalog info"});
        QCOMPARE(tabs[2], tabs[0]);
        QCOMPARE(TextView(file->Desc).toByteArray(), desc);
    }

    // "&Edit": after the categories dialog's OK the dialog is filled again
    // for the same item (new names, typed text replaced) and the main
    // window told; after Cancel nothing changes. The boxes use font slot 2.
    void editFillsAgain()
    {
        TTreeNode *disk = FindDisk(m_catalog, "Disk One");
        TFileRec *file = FindFile(disk, "readme.txt");
        bool ok = false;
        int told = 0;
        TPropertiesHooks hooks;
        hooks.editCategories = [&] {
            if (ok)
                AsCatalog(NodeRec(m_catalog))->Categories.push_back({QByteArray("Music"), 9});
            return ok;
        };
        hooks.categoriesChanged = [&] { ++told; };
        hooks.descFont = TFontSlot{true, TFontData{QByteArray("Courier New"), -15, fsBold}};
        SetPropertiesHooks(hooks);
        TPropertiesForm form;
        form.fillFor(disk, file);
        SetPropertiesHooks({});
        QPlainTextEdit *memo = form.memo(TPropPage::File);
        QCOMPARE(memo->font().family(), QStringLiteral("Courier New"));
        QCOMPARE(memo->font().pixelSize(), 15);
        QVERIFY(memo->font().bold());
        QVERIFY(form.editButton(TPropPage::File)->isEnabled());
        QCOMPARE(form.editButton(TPropPage::File)->objectName(), QStringLiteral("EditCatBtn1"));
        memo->setPlainText(QStringLiteral("typed"));
        SetPropertiesHooks(hooks);
        form.editButton(TPropPage::File)->click();
        QCOMPARE(form.memo(TPropPage::File)->toPlainText(), QStringLiteral("typed"));
        QCOMPARE(told, 0);
        ok = true;
        form.editButton(TPropPage::File)->click();
        SetPropertiesHooks({});
        QCOMPARE(told, 1);
        QCOMPARE(form.memo(TPropPage::File)->toPlainText(), QStringLiteral("Read me"));
        QVERIFY(form.categoryList(TPropPage::File)->findText(QStringLiteral("Music")) > 0);
        QCOMPARE(form.data().file, file);
        // Without the main window there is no categories dialog to open.
        TPropertiesForm alone;
        alone.fillFor(disk, file);
        QVERIFY(!alone.editButton(TPropPage::File)->isEnabled());
    }

    // The description boxes' menu acts on the box that opened it, enabled
    // by the selection, the box's state and the clipboard; Escape in a box
    // presses Cancel.
    void descriptionMenuAndEscape()
    {
        TTreeNode *disk = FindDisk(m_catalog, "Disk One");
        TPropertiesForm form;
        form.fillFor(disk, FindFile(disk, "readme.txt"));
        form.show();
        QPlainTextEdit *memo = form.memo(TPropPage::File);
        QCOMPARE(memo->contextMenuPolicy(), Qt::CustomContextMenu);
        memo->setPlainText(QStringLiteral("one two"));
        QTextCursor c = memo->textCursor();
        c.setPosition(0);
        c.setPosition(3, QTextCursor::KeepAnchor);
        memo->setTextCursor(c);
        QGuiApplication::clipboard()->setText(QStringLiteral("three"));
        TDescMenu &menu = TDescMenu::shared();
        QCOMPARE(menu.objectName(), QStringLiteral("RichEditPopup"));
        menu.prepareFor(memo);
        QStringList enabled;
        for (QAction *a : menu.actions())
            if (!a->isSeparator() && a->isEnabled())
                enabled << a->text();
        QCOMPARE(enabled, (QStringList{"Cut", "Copy", "Paste", "Delete", "Select All"}));
        menu.entry(QStringLiteral("Delete"))->trigger();
        QCOMPARE(memo->toPlainText(), QStringLiteral(" two"));
        menu.prepareFor(memo);
        QVERIFY(!menu.entry(QStringLiteral("Cut"))->isEnabled());   // nothing selected now
        menu.entry(QStringLiteral("Paste"))->trigger();
        QCOMPARE(memo->toPlainText(), QStringLiteral("three two"));
        menu.entry(QStringLiteral("Select All"))->trigger();
        QCOMPARE(memo->textCursor().selectedText(), QStringLiteral("three two"));

        // The viewer's text is read-only: copying and selecting only.
        TViewerForm viewer(TFontSlot{});
        viewer.textBox()->setPlainText(QStringLiteral("text"));
        viewer.textBox()->selectAll();
        menu.prepareFor(viewer.textBox());
        QCOMPARE(menu.box(), viewer.textBox());
        enabled.clear();
        for (QAction *a : menu.actions())
            if (!a->isSeparator() && a->isEnabled())
                enabled << a->text();
        QCOMPARE(enabled, (QStringList{"Copy", "Select All"}));

        QSignalSpy rejected(&form, &QDialog::rejected);
        QTest::keyClick(form.memo(TPropPage::Disk), Qt::Key_Escape);
        QCOMPARE(rejected.count(), 1);
        QVERIFY(!form.isVisible());
    }

    // The viewer opens where it was closed last, in font slot 5; a font set
    // in it becomes slot 5's custom font and marks the settings modified.
    void viewerKeepsFontAndPlacement()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("notes.txt"));
        QVERIFY(WriteFileBytes(path, "some text\n"));
        TOptions options;
        options.setModified(false);
        Registry registry{QString()};
        ScriptedPrompter prompter;
        const QRect where(40, 50, 500, 300);
        int shownPixels = 0;
        whenShown<TViewerForm>(this, [&](TViewerForm *v) {
            v->setGeometry(where);
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(20);
            font.setItalic(true);
            v->setChosenFont(font);
            shownPixels = v->textBox()->font().pixelSize();
            v->close();
        });
        ViewFile(nullptr, path, options, &registry, prompter);
        QCOMPARE(shownPixels, 20);
        const TFontSlot &slot = options.FontSlots[kViewerFontSlot];
        QVERIFY(slot.UseCustomFont);
        QCOMPARE(slot.Font.Name, QByteArray("DejaVu Sans"));
        QCOMPARE(slot.Font.Height, -20);
        QCOMPARE(int(slot.Font.Style), int(fsItalic));
        QVERIFY(options.modified());

        QRect placed;
        QString family;
        whenShown<TViewerForm>(this, [&](TViewerForm *v) {
            placed = v->geometry();
            family = v->textBox()->font().family();
            QTest::keyClick(v->textBox(), Qt::Key_Escape);   // closes the viewer
        });
        ViewFile(nullptr, path, options, &registry, prompter);
        QCOMPARE(placed, where);
        QCOMPARE(family, QStringLiteral("DejaVu Sans"));
        QVERIFY(prompter.messages.empty());
    }

    void viewerOnTextRtfAndLargeFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");   // a part of the text shown
        QTest::addColumn<bool>("withNote");
        QTest::newRow("DOS text") << "notes.txt" << QByteArray("\xC9\xCD\xBB line\r\nnext\r\n") << QStringLiteral(u"╔═╗ line\nnext")
                                  << false;
        QTest::newRow("RTF by name") << "NOTES.rtf" << QByteArray("{\\rtf1{\\b Bold} text\\par next}")
                                     << QStringLiteral("Bold text") << false;
        QTest::newRow("RTF codes in a text file") << "NOTES.TXT" << QByteArray("{\\rtf1{\\b Bold} text}")
                                                  << QStringLiteral("{\\rtf1{\\b Bold} text}") << false;
        QTest::newRow("RTF with a picture") << "pic.rtf" << QByteArray("{\\rtf1 a{\\pict 0102}b}")
                                            << QStringLiteral("ab") << true;
        QByteArray big;
        for (int i = 0; big.size() < 5 * 1024 * 1024; ++i)
            big += "line " + QByteArray::number(i) + " of a large file\n";
        QTest::newRow("large file") << "big.txt" << big << QStringLiteral("line 0 of a large file") << false;
    }
    void viewerOnTextRtfAndLargeFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QFETCH(bool, withNote);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(WriteFileBytes(path, bytes));
        ScriptedPrompter prompter;
        TViewerForm viewer(TFontSlot{});
        QSignalSpy finished(&viewer, &TViewerForm::loadingFinished);
        QVERIFY(viewer.loadFile(path, prompter));
        viewer.show();
        if (!viewer.loaded())
            QVERIFY(finished.wait(120000));
        QVERIFY(viewer.loaded());
        QCOMPARE(viewer.windowTitle(), QStringLiteral("ASCII Viewer - ") + path);
        const QString text = viewer.textBox()->toPlainText();
        QVERIFY2(text.contains(shown), qPrintable(text.left(200)));
        QCOMPARE(!viewer.note().isEmpty(), withNote);
        if (name == QLatin1String("big.txt"))
            QCOMPARE(viewer.textBox()->blockCount(), int(bytes.count('\n')) + 1);
        QVERIFY(prompter.messages.empty());
        viewer.setWordWrap(true);
        QVERIFY(viewer.wordWrap());
        if (!qEnvironmentVariableIsEmpty("QUILLON_SCREENSHOTS") && name == QLatin1String("NOTES.rtf"))
            viewer.grab().save(qEnvironmentVariable("QUILLON_SCREENSHOTS") + QStringLiteral("/viewer.png"));
    }

    void viewerOnAMissingFile()
    {
        ScriptedPrompter prompter;
        TViewerForm viewer(TFontSlot{});
        QVERIFY(!viewer.loadFile(QStringLiteral("/no/such/file.txt"), prompter));
        QCOMPARE(int(prompter.messages.size()), 1);
        QCOMPARE(prompter.messages[0].caption, QStringLiteral("File not found"));
    }

    // The main window's "Item Properties" opens the dialog for the selected
    // node and applies what was typed; the file commands follow the item.
    void mainWindowCommands()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("s.ctf"));
        QVERIFY(WriteFileBytes(file, BuildCatalogBytes(SampleCatalog())));
        TOptions options;
        ScriptedPrompter prompter;
        TMainForm window(options, nullptr);
        window.setPrompter(&prompter);
        window.openCatalogFiles({file});
        QCOMPARE(int(window.forest().roots().size()), 1);
        TTreeNode *disk = FindDisk(window.forest().roots().front(), "Disk One");
        window.selectNode(disk);
        window.treeView()->setFocus();
        window.updateCommands();
        QVERIFY(!window.command(QStringLiteral("MenuView"))->isEnabled());   // a disk is not viewed
        QVERIFY(window.command(QStringLiteral("MenuExplorer"))->isEnabled());
        QVERIFY(!window.command(QStringLiteral("MenuLaunch"))->isEnabled());
        window.selectNode(FindFolder(disk, "pack.zip"));
        window.updateCommands();
        QVERIFY(window.command(QStringLiteral("MenuLaunch"))->isEnabled());
        QVERIFY(window.command(QStringLiteral("MenuExtract"))->isEnabled());
        window.selectNode(disk);

        bool shown = false;
        QTimer::singleShot(0, this, [&] {
            auto *form = qobject_cast<TPropertiesForm *>(QApplication::activeModalWidget());
            QVERIFY(form);
            shown = true;
            QCOMPARE(form->pages()->tabText(0), QStringLiteral("Disk info"));
            form->memo(TPropPage::Disk)->setPlainText(QStringLiteral("Typed in the dialog"));
            form->accept();
        });
        window.command(QStringLiteral("MenuProperties"))->trigger();
        QVERIFY(shown);
        QCOMPARE(TextView(AsDisk(NodeRec(disk))->Desc).toByteArray(), QByteArray("Typed in the dialog"));
        QVERIFY(AsDisk(NodeRec(disk))->Dirty);
        // A file row's double click opens its properties when the option says so.
        options.FileDoubleClickCombo = 1;
        TFileRec *readme = FindFile(disk, "readme.txt");
        QModelIndex row;
        for (int r = 0; r < window.listModel()->rowCount(); ++r)
            if (window.listModel()->recordOf(window.listModel()->index(r, 0)) == readme)
                row = window.listModel()->index(r, 0);
        QVERIFY(row.isValid());
        // Descriptions as tool-tips, in the list and in the tree.
        QCOMPARE(window.listModel()->data(row, Qt::ToolTipRole).toString(), QStringLiteral("Read me"));
        QCOMPARE(window.treeModel()->data(window.treeModel()->index(0, 0), Qt::ToolTipRole).toString(),
                 QStringLiteral("Catalog\ndescription"));
        window.listModel()->setDescTips(false);
        QVERIFY(!window.listModel()->data(row, Qt::ToolTipRole).isValid());
        window.listView()->setCurrentIndex(row);
        window.listView()->setFocus();
        QStringList tabs;
        QString afterEdit;
        // "&Edit" opens the categories dialog; its OK fills the dialog again.
        window.setDialogHook([](QDialog *dialog) { QTimer::singleShot(0, dialog, &QDialog::accept); });
        QTimer::singleShot(0, this, [&] {
            if (auto *form = qobject_cast<TPropertiesForm *>(QApplication::activeModalWidget())) {
                for (int i = 0; i < form->pages()->count(); ++i)
                    tabs << form->pages()->tabText(i);
                form->memo(TPropPage::File)->setPlainText(QStringLiteral("typed"));
                form->editButton(TPropPage::File)->click();
                afterEdit = form->memo(TPropPage::File)->toPlainText();
                form->reject();
            }
        });
        window.activateRow(row);
        window.setDialogHook({});
        QCOMPARE(tabs, (QStringList{"Properties", "Disk info"}));
        QCOMPARE(afterEdit, QStringLiteral("Read me"));

        // A click on the status bar's item summary: the focused row while the
        // list has the focus, else the selected node.
        auto *summary = window.findChild<QLabel *>(QStringLiteral("StatusPanel1"));
        QVERIFY(summary);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.listView()->setCurrentIndex(row);
        for (const bool listFocused : {true, false}) {
            if (listFocused)
                window.listView()->setFocus();
            else
                window.treeView()->setFocus();
            QStringList clicked;
            whenShown<TPropertiesForm>(this, [&](TPropertiesForm *form) {
                for (int i = 0; i < form->pages()->count(); ++i)
                    clicked << form->pages()->tabText(i);
                if (!qEnvironmentVariableIsEmpty("QUILLON_SCREENSHOTS") && listFocused)
                    form->grab().save(qEnvironmentVariable("QUILLON_SCREENSHOTS")
                                      + QStringLiteral("/properties-from-main-window.png"));
                form->reject();
            });
            QTest::mouseClick(summary, Qt::LeftButton);
            QCOMPARE(clicked, listFocused ? (QStringList{"Properties", "Disk info"}) : QStringList{"Disk info"});
        }
                prompter.answers = {MsgAnswer::No};   // do not save at the end
        window.closeAllCatalogs();
        window.setPrompter(nullptr);
    }

private:
    TForest m_forest;
    TTreeNode *m_catalog = nullptr;
};

QTEST_MAIN(PropertiesFormTest)
#include "PropertiesFormTest.moc"
