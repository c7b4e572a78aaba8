// Tests of the main window's command table on the offscreen platform: every
// row makes its menu entry with its caption, shortcuts and menus, and its
// toolbar button with the toolbar table's hint and a picture; every toolbar
// button of the settings has a row; no two commands share a shortcut; and
// the menus show their entries in the order and with the separators users
// know.
#include "browser/ui/MainCommands.h"
#include "browser/ui/QuillonMain.h"
#include "settings/Options.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>

#include <map>
#include <memory>
#include <set>

namespace {

// The menus by their bit in a row, as the window shows them.
std::map<unsigned, QMenu *> windowMenus(TMainForm &form)
{
    std::map<unsigned, QMenu *> menus;
    const std::pair<unsigned, QString> bar[] = {
        {cmFile, "&File"}, {cmCatalog, "&Catalog"}, {cmItems, "&Items"}, {cmView, "&View"}, {cmSettings, "&Settings"},
    };
    for (QAction *a : form.menuBar()->actions())
        for (const auto &[id, title] : bar)
            if (a->menu() && a->menu()->title() == title)
                menus[id] = a->menu();
    menus[cmTreePopup] = form.treeMenu();
    menus[cmListPopup] = form.findChild<QMenu *>(QStringLiteral("ListViewPopup"));
    return menus;
}

// A menu as one line: the entries' texts, "-" for a separator.
QString menuLine(const QMenu *menu)
{
    QStringList entries;
    for (const QAction *a : menu->actions())
        entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return entries.join(QLatin1Char('|'));
}

QString rowName(const TMainCommand &c)
{
    return QString::fromUtf8(c.name ? c.name : c.button ? c.button : c.caption);
}

} // namespace

class CommandTableTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_options = std::make_unique<TOptions>();
        m_form = std::make_unique<TMainForm>(*m_options, nullptr);
    }
    void cleanup()
    {
        m_form.reset();
        m_options.reset();
    }

    void rowMakesItsMenuEntry_data();
    void rowMakesItsMenuEntry();
    void rowMakesItsToolbarButton_data();
    void rowMakesItsToolbarButton();
    void everyToolbarButtonHasOneRow();
    void noTwoCommandsShareAShortcut();
    void menusShowTheirEntriesInOrder_data();
    void menusShowTheirEntriesInOrder();
    void shortcutsAreNamedInTheHints();

private:
    std::unique_ptr<TOptions> m_options;
    std::unique_ptr<TMainForm> m_form;
};

void CommandTableTest::rowMakesItsMenuEntry_data()
{
    QTest::addColumn<int>("row");
    const std::span<const TMainCommand> table = TMainForm::commandTable();
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].name)
            QTest::newRow(table[i].name) << int(i);
}

void CommandTableTest::rowMakesItsMenuEntry()
{
    QFETCH(int, row);
    const TMainCommand &c = TMainForm::commandTable()[size_t(row)];
    QAction *a = m_form->command(QString::fromUtf8(c.name));
    QVERIFY(a);
    QCOMPARE(a->objectName(), QString::fromUtf8(c.name));
    // A row without a caption is named as the list changes; it has one by now.
    if (c.caption)
        QCOMPARE(a->text(), QString::fromUtf8(c.caption));
    else
        QVERIFY(!a->text().isEmpty());
    QList<QKeySequence> keys;
    for (const QKeyCombination key : c.keys)
        if (key.key() != Qt::Key_unknown)
            keys << QKeySequence(key);
    QCOMPARE(a->shortcuts(), keys);
    QCOMPARE(a->shortcutContext(), c.context);
    QCOMPARE(a->isCheckable(), c.checkable);
    QCOMPARE(a->actionGroup() != nullptr, c.group != TCommandGroup::None);
    // A command whose window comes later can never be chosen.
    if (!c.run)
        QVERIFY(!a->isEnabled());
    if (!c.enabled)
        QCOMPARE(a->isEnabled(), c.run != nullptr);
    // It shows in the menus the row names, and in no other.
    QVERIFY(c.menus != cmNone);
    for (const auto &[id, menu] : windowMenus(*m_form)) {
        QVERIFY(menu);
        QCOMPARE(menu->actions().contains(a), (c.menus & id) != 0);
    }
}

void CommandTableTest::rowMakesItsToolbarButton_data()
{
    QTest::addColumn<int>("row");
    const std::span<const TMainCommand> table = TMainForm::commandTable();
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].button)
            QTest::newRow(table[i].button) << int(i);
}

void CommandTableTest::rowMakesItsToolbarButton()
{
    QFETCH(int, row);
    const TMainCommand &c = TMainForm::commandTable()[size_t(row)];
    QAction *b = m_form->command(QString::fromUtf8(c.button));
    QVERIFY(b);
    QVERIFY(!b->icon().isNull());
    QCOMPARE(b->isCheckable(), c.checkable);
    if (!c.run)
        QVERIFY(!b->isEnabled());
    const TToolbarButtonInfo *info = nullptr;
    for (const TToolbarButtonInfo &i : ToolbarButtons())
        if (qstrcmp(i.Name, c.button) == 0)
            info = &i;
    QVERIFY2(info, "the button is in the settings' toolbar table");
    // Buttons without a hint of their own are named after the sort key of the level.
    if (info->Hint)
        QCOMPARE(b->text(), QString::fromLatin1(info->Hint));
    // The built-in layout shows every button.
    QVERIFY(m_form->findChild<QToolBar *>(QStringLiteral("MainToolbar"))->actions().contains(b));
    // The menu entry and the button run the same command and follow the same rule.
    if (c.name && c.enabled)
        QCOMPARE(b->isEnabled(), m_form->command(QString::fromUtf8(c.name))->isEnabled());
}

void CommandTableTest::everyToolbarButtonHasOneRow()
{
    for (const TToolbarButtonInfo &info : ToolbarButtons()) {
        int rows = 0;
        for (const TMainCommand &c : TMainForm::commandTable())
            rows += c.button && qstrcmp(c.button, info.Name) == 0;
        QVERIFY2(rows == 1, info.Name);
    }
}

void CommandTableTest::noTwoCommandsShareAShortcut()
{
    // Across the table's rows...
    std::map<int, QString> owners;
    for (const TMainCommand &c : TMainForm::commandTable())
        for (const QKeyCombination key : c.keys)
            if (key.key() != Qt::Key_unknown) {
                const auto [it, added] = owners.emplace(key.toCombined(), rowName(c));
                QVERIFY2(added, qPrintable(QKeySequence(key).toString() + QStringLiteral(": ") + it->second +
                                           QStringLiteral(" and ") + rowName(c)));
            }
    QVERIFY(!owners.empty());
    // ...and across every action the window has, wherever it was made.
    std::map<QString, QString> keys;
    for (const QAction *a : m_form->findChildren<QAction *>())
        for (const QKeySequence &key : a->shortcuts()) {
            const auto [it, added] = keys.emplace(key.toString(QKeySequence::PortableText), a->objectName());
            QVERIFY2(added, qPrintable(it->first + QStringLiteral(": ") + it->second + QStringLiteral(" and ") +
                                       a->objectName()));
        }
    QCOMPARE(keys.size(), owners.size());
}

void CommandTableTest::menusShowTheirEntriesInOrder_data()
{
    QTest::addColumn<unsigned>("menu");
    QTest::addColumn<QString>("entries");
    const QString arrange = QStringLiteral("Arrange by &Filename|Arrange by &Extension|Arrange by &Size|"
                                           "Arrange by &Date|Arrange by &Time|Arrange by &Attributes|"
                                           "&Reverse Sort Order");
    const QString views = QStringLiteral("View &Icons|View &Small Icons|View &List|View &Details");
    QTest::newRow("File") << unsigned(cmFile)
                          << QStringLiteral("&New Catalog|&Open|Reopen|&Save|Save &As...|&Close|Close A&ll|-|"
                                            "&Report Generator|&Import from Tessaran|-|E&xit");
    QTest::newRow("Catalog") << unsigned(cmCatalog)
                             << QStringLiteral("&Add/Update Disk Image|&Rename Disk|Delete Disk|-|Catalog &Manager|"
                                               "&Categories Setup|Catalog &Info|-|Export &Descriptions to Media|"
                                               "Compare &Files to Catalog|Compare Disk or Folder to Media|"
                                               "&Scan for Duplicates");
    QTest::newRow("Items") << unsigned(cmItems)
                           << QStringLiteral("Search &for Items|View &User List|Add to User List|-|&View File|"
                                             "Launch File|Open in Explorer|Extract To...|"
                                             "Extract from Compressed File|-|Item Properties|Edit Description|"
                                             "Set Category and Flags");
    QTest::newRow("View") << unsigned(cmView) << views + QStringLiteral("|-|") + arrange + QStringLiteral("|-|&Back One Level");
    QTest::newRow("Settings") << unsigned(cmSettings) << QStringLiteral("&General Settings|Quick-Setup &Wizard");
    QTest::newRow("tree") << unsigned(cmTreePopup)
                          << QStringLiteral("Rename|Compare to Media|Add New Disk Image|Update Disk Image|Delete Disk|"
                                            "Categories Setup|Close Catalog|Catalog Manager|Save Catalog|"
                                            "Open in Explorer|Add To User List|&View File|Launch File|"
                                            "Extract To...|Set Category and Flags|Add New Catalog|Open Catalog|"
                                            "Properties|Edit Description");
    QTest::newRow("list") << unsigned(cmListPopup)
                          << QStringLiteral("Move To ...|Rename|Delete Disk|-|") + views + QStringLiteral("|-|") +
                                 arrange;
}

void CommandTableTest::menusShowTheirEntriesInOrder()
{
    QFETCH(unsigned, menu);
    QFETCH(QString, entries);
    const std::map<unsigned, QMenu *> menus = windowMenus(*m_form);
    QCOMPARE(menus.size(), size_t(7));
    QCOMPARE(menuLine(menus.at(menu)), entries);
}

void CommandTableTest::shortcutsAreNamedInTheHints()
{
    m_form.reset();
    m_options->ShowShortcutsCheck = true;
    m_form = std::make_unique<TMainForm>(*m_options, nullptr);
    QCOMPARE(m_form->command(QStringLiteral("ButtonOpen"))->toolTip(), QStringLiteral("Open Catalog (Ctrl+O)"));
    QCOMPARE(m_form->command(QStringLiteral("ButtonProperties"))->toolTip(),
             QStringLiteral("Item Properties (Ctrl+P, Alt-Enter, F4)"));
    QCOMPARE(m_form->command(QStringLiteral("ButtonHelp"))->toolTip(), QStringLiteral("What Is This? (F1)"));
    // A button without keys keeps its plain hint.
    QCOMPARE(m_form->command(QStringLiteral("ButtonLaunch"))->toolTip(),
             QStringLiteral("Launch File in Associated Program"));
}

QTEST_MAIN(CommandTableTest)
#include "CommandTableTest.moc"
