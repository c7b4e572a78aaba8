// Tests of the Catalog Manager window on the offscreen platform: what the
// panes and buttons show, and that copying, moving (by button and by a drop
// from the other pane), renaming and deleting reach the catalogs and survive
// a save and a reopening.
#include "browser/ui/CatManagerForm.h"

#include "TestCatalogs.h"
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "manager/CatManager.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace testcat;

namespace {

// A floppy-sized disk: 2880 clusters of 512 bytes, 1474560 bytes.
HandDisk Floppy(const QByteArray &name, uint8_t catFlags = 0)
{
    HandDisk d;
    d.name = name;
    d.bytesPerSector = 512;
    d.sectorsPerCluster = 1;
    d.totalClusters = 2880;
    d.freeClusters = 100;
    d.rootFiles = {SampleFile("a.txt", 1, {}, faArchive, catFlags)};
    return d;
}

HandCatalog Catalog(const QByteArray &name, std::vector<QByteArray> disks, std::vector<TCategory> categories = {})
{
    HandCatalog c;
    c.name = name;
    c.categories = std::move(categories);
    for (const QByteArray &disk : disks)
        c.disks.push_back(Floppy(disk, c.categories.empty() ? 0 : 1));
    return c;
}

QStringList selectedNames(const QListWidget *pane)
{
    QStringList names;
    for (int row = 0; row < pane->count(); ++row)
        if (pane->item(row)->isSelected())
            names << pane->item(row)->text();
    return names;
}

QStringList diskNames(TTreeNode *catalog)
{
    QStringList names;
    for (TTreeNode *d = catalog->firstChild(); d; d = d->nextSibling())
        names << QString::fromUtf8(d->text());
    return names;
}

} // namespace

class CatManagerFormTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    TForest m_forest;
    ScriptedPrompter m_prompter;
    TTreeNode *m_a = nullptr;
    TTreeNode *m_b = nullptr;
    int m_changes = 0;

    TTreeNode *openHand(const QString &name, const HandCatalog &c)
    {
        const QString file = m_dir.filePath(name);
        WriteFileBytes(file, BuildCatalogBytes(c));
        return ReadCatalog(m_forest, file);
    }
    TCatManagerHost host()
    {
        TCatManagerHost h;
        h.prompter = &m_prompter;
        h.deleteDisk = [](TTreeNode *disk) { DeleteNodeWithRecords(disk); };
        h.changed = [this] { ++m_changes; };
        return h;
    }
    // Selects the rows of a pane by disk name.
    static void select(TCatManagerForm &form, int side, const QStringList &names)
    {
        form.setCurrentSide(side);
        QListWidget *pane = form.pane(side);
        pane->clearSelection();
        for (int row = 0; row < pane->count(); ++row)
            if (names.contains(pane->item(row)->text())) {
                pane->setCurrentRow(row, QItemSelectionModel::Select);
            }
        form.setCurrentSide(side);
    }

private slots:
    void init()
    {
        m_prompter.messages.clear();
        m_prompter.answers.clear();
        m_changes = 0;
        m_a = openHand(QStringLiteral("a.ctf"), Catalog("A", {"One", "Two", "Three"}, {{"Games", 1}}));
        m_b = openHand(QStringLiteral("b.ctf"), Catalog("B", {"Other"}));
    }
    void cleanup()
    {
        for (TTreeNode *c : std::vector<TTreeNode *>(m_forest.roots()))
            DeleteCatalog(m_forest, c);
    }

    void panesShowBothCatalogsAndTheStatusAddsUpCapacities()
    {
        TCatManagerForm form({m_a, m_b}, m_b->firstChild(), host());
        // The first selector shows the selection's catalog, the second the other one.
        QCOMPARE(form.catalogCombo(0)->currentText(), QStringLiteral("B"));
        QCOMPARE(form.catalogCombo(1)->currentText(), QStringLiteral("A"));
        form.catalogCombo(0)->setCurrentIndex(0);
        form.catalogCombo(1)->setCurrentIndex(1);
        QCOMPARE(form.pane(0)->count(), 3);
        select(form, 0, {QStringLiteral("Two")});
        QCOMPARE(form.statusLabel()->text(),
                 QStringLiteral("Left pane: 3 disks, total capacity 4.21 MB (1 selected, 1.40 MB)"));
        QCOMPARE(form.copyButton()->text(), QStringLiteral("Copy >>"));
        form.setCurrentSide(1);
        QCOMPARE(form.moveButton()->text(), QStringLiteral("<< Move"));
        QVERIFY(form.statusLabel()->text().startsWith(QStringLiteral("Right pane: 1 disks")));
    }

    void aSingleCatalogDisablesTheSecondPaneAndTransfers()
    {
        TCatManagerForm form({m_a}, nullptr, host());
        select(form, 0, {QStringLiteral("One")});
        QVERIFY(!form.pane(1)->isEnabled());
        QVERIFY(!form.catalogCombo(1)->isEnabled());
        QVERIFY(!form.copyButton()->isEnabled());
        QVERIFY(!form.moveButton()->isEnabled());
        QVERIFY(form.deleteButton()->isEnabled());
        // No properties window is given: the button stays off.
        QVERIFY(!form.propertiesButton()->isEnabled());
    }

    // Copy keeps the source, move and a drop take the disks out of it; the
    // target gains them, and both catalogs read back the same after a save.
    void transfersReachTheCatalogsAndSurviveASave_data()
    {
        QTest::addColumn<int>("how");   // 0 copy button, 1 move button, 2 drop on the right pane
        QTest::addColumn<QStringList>("sourceAfter");
        QTest::addColumn<QStringList>("targetAfter");
        const QStringList all = {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")};
        const QStringList moved = {QStringLiteral("One")};
        const QStringList target = {QStringLiteral("Other"), QStringLiteral("Two"), QStringLiteral("Three")};
        QTest::newRow("copy") << 0 << all << target;
        QTest::newRow("move") << 1 << moved << target;
        QTest::newRow("drop moves") << 2 << moved << target;
    }
    void transfersReachTheCatalogsAndSurviveASave()
    {
        QFETCH(int, how);
        QFETCH(QStringList, sourceAfter);
        QFETCH(QStringList, targetAfter);
        TCatManagerForm form({m_a, m_b}, m_a, host());
        select(form, 0, {QStringLiteral("Two"), QStringLiteral("Three")});
        // The status texts the window shows while the disks go over.
        QStringList shown;
        QTimer watch;
        watch.setInterval(0);
        connect(&watch, &QTimer::timeout, [&] {
            if (shown.isEmpty() || shown.back() != form.statusLabel()->text())
                shown << form.statusLabel()->text();
        });
        watch.start();
        if (how == 0)
            form.copyButton()->click();
        else if (how == 1)
            form.moveButton()->click();
        else
            form.dropOn(1);
        watch.stop();
        const QString verb = how == 0 ? QStringLiteral("Copy") : QStringLiteral("Mov");
        QCOMPARE(shown.filter(QStringLiteral("ing data for disk")),
                 (QStringList{verb + QStringLiteral("ing data for disk \"Two\"..."),
                              verb + QStringLiteral("ing data for disk \"Three\"...")}));
        // Both panes show what was transferred selected.
        QCOMPARE(selectedNames(form.pane(1)), (QStringList{QStringLiteral("Two"), QStringLiteral("Three")}));
        QCOMPARE(selectedNames(form.pane(0)),
                 how == 0 ? (QStringList{QStringLiteral("Two"), QStringLiteral("Three")}) : QStringList());
        QCOMPARE(form.currentSide(), 0);
        QCOMPARE(diskNames(m_a), sourceAfter);
        QCOMPARE(diskNames(m_b), targetAfter);
        QCOMPARE(form.pane(0)->count(), int(sourceAfter.size()));
        QCOMPARE(form.pane(1)->count(), int(targetAfter.size()));
        QVERIFY(m_changes > 0);
        // The target takes the source's category by name (it had none).
        QCOMPARE(AsCatalog(m_b->data())->Categories.size(), size_t(1));
        QVERIFY(m_prompter.messages.empty());

        const QString fileA = m_dir.filePath(QStringLiteral("a2.ctf"));
        const QString fileB = m_dir.filePath(QStringLiteral("b2.ctf"));
        SaveCatalogTo(m_a, fileA);
        SaveCatalogTo(m_b, fileB);
        TForest again;
        TTreeNode *a = ReadCatalog(again, fileA);
        TTreeNode *b = ReadCatalog(again, fileB);
        QVERIFY(a && b);
        QCOMPARE(diskNames(a), sourceAfter);
        QCOMPARE(diskNames(b), targetAfter);
        DeleteCatalog(again, a);
        DeleteCatalog(again, b);
    }

    void lostCategoriesAreToldOnceWithTheCount()
    {
        // The target's vocabulary is full: the source's "Games" finds no room.
        std::vector<TCategory> full;
        for (int code = 1; code <= 31; ++code)
            full.push_back({QByteArray("C") + QByteArray::number(code), uint8_t(code)});
        TTreeNode *fullCatalog = openHand(QStringLiteral("full.ctf"), Catalog("Full", {"X"}, full));
        TCatManagerForm form({m_a, fullCatalog}, m_a, host());
        select(form, 0, {QStringLiteral("One"), QStringLiteral("Two")});
        form.copyButton()->click();
        QCOMPARE(m_prompter.messages.size(), size_t(1));
        QCOMPARE(m_prompter.messages[0].text, MsgCategoriesLost(2));
    }

    void renameStopsAtTheFirstCancelAndDeleteAsksFirst()
    {
        TCatManagerHost h = host();
        std::vector<std::optional<QString>> answers = {QStringLiteral("First"), std::nullopt,
                                                       QStringLiteral("Never")};
        QStringList labels;
        h.askText = [&](const QString &caption, const QString &label, const QString &) {
            labels << caption + QLatin1Char('|') + label;
            const std::optional<QString> a = answers.front();
            answers.erase(answers.begin());
            return a;
        };
        TCatManagerForm form({m_a, m_b}, m_a, std::move(h));
        select(form, 0, {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")});
        form.renameButton()->click();
        QCOMPARE(labels.size(), 2);
        QCOMPARE(labels[0], QStringLiteral("Rename Disk|Rename disk \"One\" to:"));
        QVERIFY(diskNames(m_a).contains(QStringLiteral("First")));
        QVERIFY(diskNames(m_a).contains(QStringLiteral("Two")));

        select(form, 0, {QStringLiteral("Two")});
        m_prompter.answers = {MsgAnswer::Cancel};
        form.deleteButton()->click();
        QCOMPARE(diskNames(m_a).size(), 3);
        m_prompter.answers = {MsgAnswer::Ok};
        form.deleteButton()->click();
        QCOMPARE(m_prompter.messages.back().text, MsgConfirmDeleteDisks());
        QVERIFY(!diskNames(m_a).contains(QStringLiteral("Two")));
        QVERIFY(AsCatalog(m_a->data())->Dirty != 0);
    }
};

QTEST_MAIN(CatManagerFormTest)
#include "CatManagerFormTest.moc"
