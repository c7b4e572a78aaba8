// Tests of the Categories Setup and Set Categories and Flags windows on the
// offscreen platform: the windows show their core state, pass clicks and
// edits on, and their OK, Cancel and Apply reach the catalogs.
#include "browser/ui/CategoriesForm.h"

#include "TestCatalogs.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "catalog/LoadSave.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace testcat;

namespace {

HandCatalog Vocabulary(const QByteArray &name, std::vector<TCategory> categories, const QByteArray &flag1)
{
    HandCatalog c;
    c.name = name;
    c.categories = std::move(categories);
    c.flagNames[0] = flag1;
    HandDisk d;
    d.name = "D";
    d.rootFiles = {SampleFile("a.txt", 1, {}, faArchive, 0x21), SampleFile("b.txt", 2)};
    c.disks.push_back(d);
    return c;
}

} // namespace

class CategoriesFormTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    TForest m_forest;
    ScriptedPrompter m_prompter;
    TTreeNode *m_a = nullptr;
    TTreeNode *m_b = nullptr;

    TTreeNode *openHand(const QString &name, const HandCatalog &c)
    {
        const QString file = m_dir.filePath(name);
        WriteFileBytes(file, BuildCatalogBytes(c));
        return ReadCatalog(m_forest, file);
    }

private slots:
    void init()
    {
        m_prompter.messages.clear();
        m_prompter.answers.clear();
        m_a = openHand(QStringLiteral("a.ctf"), Vocabulary("A", {{"Games", 1}, {"Work", 2}}, "Keep"));
        m_b = openHand(QStringLiteral("b.ctf"), Vocabulary("B", {{"Music", 1}}, "Backup"));
    }
    void cleanup()
    {
        DeleteCatalog(m_forest, m_a);
        DeleteCatalog(m_forest, m_b);
    }

    void setupShowsTheCatalogAndItsButtonsFollowTheState()
    {
        TCategoriesForm form({m_a, m_b}, 0, m_prompter, false);
        QCOMPARE(form.catalogCombo()->count(), 2);
        QCOMPARE(form.categoryList()->count(), 2);
        QCOMPARE(form.categoryList()->item(0)->text(), QStringLiteral("Games"));
        QCOMPARE(form.flagEdit(1)->text(), QStringLiteral("Keep"));
        QVERIFY(form.removeFlagsBox(1)->isEnabled());
        QVERIFY(!form.removeFlagsBox(2)->isEnabled());
        QVERIFY(!form.addButton()->isEnabled());
        QVERIFY(!form.renameButton()->isEnabled());
        QVERIFY(form.copyFromButton()->isEnabled());
        QVERIFY(!form.copyFromMenu()->actions()[0]->isEnabled());   // not from itself

        QTest::keyClicks(form.categoryEdit(), QStringLiteral("Arcade"));
        QVERIFY(form.addButton()->isEnabled());
        QTest::mouseClick(form.addButton(), Qt::LeftButton);
        QCOMPARE(form.categoryList()->count(), 3);
        QCOMPARE(form.categoryList()->item(0)->text(), QStringLiteral("Arcade"));
        QVERIFY(form.categoryEdit()->text().isEmpty());
        QVERIFY(form.renameButton()->isEnabled());

        // Switching catalogs writes the shown one's edits.
        form.catalogCombo()->setCurrentIndex(1);
        QCOMPARE(AsCatalog(m_a->data())->Categories.size(), size_t(3));
        QCOMPARE(form.categoryList()->count(), 1);
        form.copyFromMenu()->actions()[0]->trigger();
        QCOMPARE(form.categoryList()->count(), 4);
        form.accept();
        QCOMPARE(AsCatalog(m_b->data())->Categories.size(), size_t(4));
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }

    void fullListDisablesTheEdit()
    {
        std::vector<TCategory> thirty;
        for (int i = 1; i <= 30; ++i)
            thirty.push_back({"c" + QByteArray::number(100 + i), uint8_t(i)});
        TTreeNode *c = openHand(QStringLiteral("c.ctf"), Vocabulary("C", thirty, {}));
        TCategoriesForm form({c}, 0, m_prompter, false);
        QVERIFY(form.categoryEdit()->isEnabled());
        QTest::keyClicks(form.categoryEdit(), QStringLiteral("last"));
        form.addClicked();
        QVERIFY(!form.categoryEdit()->isEnabled());
        QCOMPARE(form.categoryEdit()->text(), QStringLiteral("(max. number of categories reached)"));
        QVERIFY(!form.addButton()->isEnabled());
        form.categoryList()->setCurrentRow(0);
        m_prompter.answers = {MsgAnswer::Yes};
        form.deleteClicked();
        QVERIFY(form.categoryEdit()->isEnabled());
        QVERIFY(form.categoryEdit()->text().isEmpty());
        QCOMPARE(form.categoryList()->currentRow(), 0);
        DeleteCatalog(m_forest, c);
    }

    void deletingAndEmptyingAFlagApplyOnOkOnly()
    {
        for (const bool ok : {true, false}) {
            TCategoriesForm form({m_a}, 0, m_prompter, false);
            form.categoryList()->setCurrentRow(0);   // Games
            m_prompter.answers = {MsgAnswer::Yes, MsgAnswer::Yes, MsgAnswer::Yes};
            form.deleteClicked();
            QCOMPARE(m_prompter.messages.back().text, MsgDeleteCategoryText());
            form.flagEdit(1)->clear();
            emit form.flagEdit(1)->editingFinished();
            QVERIFY(form.removeFlagsBox(1)->isChecked());
            if (ok)
                form.accept();
            else
                form.reject();
            LoadFileList(m_a->child(0));
            const TFileRec *a = NodeRec(m_a->child(0))->Next;
            QCOMPARE(int(a->CatFlags), ok ? 0 : 0x21);
            QCOMPARE(CategoryName(AsCatalog(m_a->data()), 1), ok ? QByteArray() : QByteArray("Games"));
            cleanup();
            init();
        }
    }

    void setCatShowsMarksAndApplies()
    {
        LoadFileList(m_a->child(0));
        LoadFileList(m_b->child(0));
        TSetCatForm form({NodeRec(m_a->child(0))->Next, NodeRec(m_b->child(0))->Next}, m_prompter);
        QCOMPARE(form.headLabel()->text(), QStringLiteral("Changing Categories and Flags for 2 selected items"));
        QStringList texts;
        for (int i = 0; i < form.categoryList()->count(); ++i)
            texts << form.categoryList()->item(i)->text();
        QCOMPARE(texts, (QStringList{"(no category selected)", "* Games", "* Work", "* Music"}));
        QVERIFY(!form.warningLabel()->isHidden());
        QVERIFY(!form.applyButton()->isEnabled());
        QCOMPARE(form.categoryList()->item(1)->checkState(), Qt::Unchecked);   // the items differ
        form.categoryList()->item(2)->setCheckState(Qt::Checked);
        QVERIFY(form.applyButton()->isEnabled());
        form.categoryList()->item(0)->setCheckState(Qt::Checked);
        QCOMPARE(form.categoryList()->item(2)->checkState(), Qt::Unchecked);   // one choice
        m_prompter.answers = {MsgAnswer::Yes};
        form.applyClicked();
        QCOMPARE(m_prompter.messages.back().caption, QStringLiteral("Apply Changes"));
        QCOMPARE(int(NodeRec(m_a->child(0))->Next->CatFlags), 0x20);
        QVERIFY(!form.applyButton()->isEnabled());
        QCOMPARE(form.categoryList()->item(1)->text(), QStringLiteral("Games"));   // marks gone
    }

    void setCatWithNothingDefinedAsks()
    {
        TTreeNode *c = openHand(QStringLiteral("c.ctf"), Vocabulary("C", {}, {}));
        LoadFileList(c->child(0));
        TSetCatForm form({NodeRec(c->child(0))->Next}, m_prompter);
        QVERIFY(!form.categoryList()->isEnabled());
        QCOMPARE(form.categoryList()->item(0)->text(), QStringLiteral("(No categories are defined)"));
        m_prompter.answers = {MsgAnswer::Yes};
        QCOMPARE(form.run(), int(QDialog::Rejected));
        QCOMPARE(m_prompter.messages.back().caption, QStringLiteral("No Data Defined"));
        QVERIFY(form.work().defineNowAnswer());
        DeleteCatalog(m_forest, c);
    }
};

QTEST_MAIN(CategoriesFormTest)
#include "CategoriesFormTest.moc"
