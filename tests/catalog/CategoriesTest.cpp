// Tests of categories and flags: code allocation up to 31, the setup state
// with commit and cancel, taking deleted categories and flags out of items
// whose lists were never read, the assignment by name across catalogs with
// different vocabularies and its "* " marks, disks carried between such
// catalogs, the user list's hints and compaction, and category edits while
// a search walks the same catalog.
#include "catalog/Categories.h"
#include "catalog/SetCategories.h"
#include "catalog/UserList.h"

#include "SearchSupport.h"
#include "TestCatalogs.h"
#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "catalog/LoadSave.h"
#include "catalog/ReadAhead.h"
#include "manager/CatManager.h"
#include "search/FoundList.h"
#include "search/SearchThread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <map>
#include <string>

using namespace testcat;

namespace {

// The category name and flag names an item shows, as "Name|flag,flag".
std::string Shown(const TCatalogRec *catalog, uint8_t catFlags)
{
    std::string text = CategoryName(catalog, CategoryCodeOf(catFlags)).toStdString() + "|";
    for (int k = 1; k <= kFlagCount; ++k)
        if (catFlags & FlagBit(k))
            text += FlagName(catalog, k).toStdString() + ",";
    return text;
}

// Every file and folder below node by path, with what Shown gives.
std::map<std::string, std::string> ShownItems(TTreeNode *node)
{
    std::map<std::string, std::string> items;
    TTreeNode *catalogNode = CatalogNodeOf(node);
    const TCatalogRec *catalog = AsCatalog(catalogNode->data());
    ForEachNode(node, [&](TTreeNode *n) {
        const std::string path = NodePath(n, true, false).toStdString();
        if (const TFolderRec *folder = AsFolder(n->data()))
            items[path] = Shown(catalog, folder->CatFlags);
        for (const TFileRec *f = NodeRec(n)->Next; f; f = f->Next)
            items[path + "\\" + f->name().toByteArray().toStdString()] = Shown(catalog, f->CatFlags);
    });
    return items;
}

std::vector<TCategory> Codes(std::initializer_list<int> codes)
{
    std::vector<TCategory> list;
    for (const int c : codes)
        list.push_back({"n" + QByteArray::number(c), uint8_t(c)});
    return list;
}

// ---- code allocation ------------------------------------------------------------

struct AllocationCase {
    const char *name;
    std::vector<TCategory> list;
    int expected;
};

TEST(CategoryCodes, AllocateTakesTheLowestFreeCodeAndNoneAt31)
{
    std::vector<TCategory> full;
    for (int c = 1; c <= 31; ++c)
        full.push_back({"n", uint8_t(c)});
    std::vector<TCategory> gapAt17 = full;
    gapAt17.erase(gapAt17.begin() + 16);
    std::vector<TCategory> reversed(full.rbegin() + 1, full.rend());   // 30 .. 1
    const AllocationCase cases[] = {
        {"empty", {}, 1},
        {"first three", Codes({1, 2, 3}), 4},
        {"gap at the start", Codes({2, 3, 7}), 1},
        {"gap in the middle", gapAt17, 17},
        {"30 out of order", reversed, 31},
        {"all 31", full, 0},
        {"codes outside 1-31 free nothing", Codes({0, 1, 32, 40}), 2},
    };
    for (const AllocationCase &c : cases)
        EXPECT_EQ(AllocateCategoryCode(c.list), c.expected) << c.name;
}

TEST(CategoryCodes, InsertKeepsTheListInNameOrderAndStopsAt31)
{
    std::vector<TCategory> list;
    EXPECT_EQ(InsertCategory(list, "Work"), 1);
    EXPECT_EQ(InsertCategory(list, "games"), 2);
    EXPECT_EQ(InsertCategory(list, "Archive"), 3);
    EXPECT_EQ(InsertCategory(list, "Games"), 4);   // a second entry of the same name
    std::vector<QByteArray> names;
    for (const TCategory &c : list)
        names.push_back(c.Name);
    EXPECT_EQ(names, (std::vector<QByteArray>{"Archive", "games", "Games", "Work"}));
    for (int i = 4; i < 31; ++i)
        EXPECT_NE(InsertCategory(list, "x" + QByteArray::number(i)), 0);
    EXPECT_EQ(list.size(), 31u);
    EXPECT_EQ(InsertCategory(list, "one too many"), 0);
    EXPECT_EQ(list.size(), 31u);
}

// ---- the setup state and ApplyCategoryDeletions -----------------------------------

// A catalog of two disks whose files carry categories Games (1) and Work
// (7) and the flags Keep (1) and Burn (3), saved so that every file list
// below the first level is unread when opened.
HandCatalog VocabularyCatalog()
{
    HandCatalog c;
    c.name = "Vocabulary";
    c.categories = {{"Games", 1}, {"Work", 7}};
    c.flagNames[0] = "Keep";
    c.flagNames[1] = "Copy";
    c.flagNames[2] = "Burn";
    HandDisk d;
    d.name = "One";
    d.rootFiles = {SampleFile("root.txt", 1, {}, faArchive, 0x21)};   // Games, Keep
    d.folders = {
        SampleFolder(1, "games", {SampleFile("doom.exe", 2, {}, faArchive, 0x01),
                                  SampleFile("quake.exe", 3, {}, faArchive, 0xE1)}),
        SampleFolder(2, "saves", {SampleFile("s1.sav", 4, {}, faArchive, 0x40)}),
        SampleFolder(1, "work", {SampleFile("plan.doc", 5, {}, faArchive, 0x07)}),
        SampleFolder(1, "plain", {SampleFile("none.txt", 6)}),
    };
    d.folders[2].catFlags = 0x27;   // the folder itself: Work, Keep
    d.totalFolders = 4;
    c.disks.push_back(d);
    HandDisk e;
    e.name = "Two";
    e.folders = {SampleFolder(1, "music", {SampleFile("song.mp3", 7, {}, faArchive, 0x87)})};   // Work, Burn
    e.totalFolders = 1;
    c.disks.push_back(e);
    return c;
}

class CategoriesTest : public CatalogFixture
{
protected:
    TTreeNode *openVocabulary(const QString &name = QStringLiteral("v.ctf"))
    {
        return openBytes(BuildCatalogBytes(VocabularyCatalog()), name);
    }
    // The nodes whose file lists are in memory, by path.
    static std::vector<std::string> loadedLists(TTreeNode *catalogNode)
    {
        std::vector<std::string> loaded;
        ForEachNode(catalogNode, [&](TTreeNode *n) {
            const TItemRec *rec = n->data();
            const TFolderRec *f = AsFolder(const_cast<TItemRec *>(rec));
            const TDiskRec *d = AsDisk(const_cast<TItemRec *>(rec));
            if ((f && f->FilesLoaded && f->ListOffset >= 0) || (d && d->FilesLoaded && d->ListOffset >= 0))
                loaded.push_back(n->text().toStdString());
        });
        return loaded;
    }
};

TEST_F(CategoriesTest, DeletingACategoryClearsItsItemsAndDropsTheListsItReadForNothing)
{
    struct Case {
        bool keepReadLists;
        std::vector<std::string> loadedAfter;
    };
    // Disk One changes in its root, so it is rewritten from memory and keeps
    // every list read on it; nothing of Games is on disk Two, whose list was
    // read for nothing and is dropped again unless a search runs.
    const Case cases[] = {
        {false, {"One", "games", "saves", "work", "plain"}},
        {true, {"One", "games", "saves", "work", "plain", "music"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keepReadLists);
        TTreeNode *catalog = openVocabulary();
        ASSERT_TRUE(loadedLists(catalog).empty());
        m_prompter.messages.clear();
        m_prompter.answers = {MsgAnswer::Yes};
        TCategoryEditWork work({catalog}, m_prompter);
        ASSERT_EQ(work.entries().size(), 2u);
        ASSERT_EQ(work.entries()[0].name, QByteArray("Games"));
        EXPECT_TRUE(work.remove(0));
        ASSERT_EQ(m_prompter.messages.size(), 1u);
        EXPECT_EQ(m_prompter.messages[0].caption, QStringLiteral("Warning"));
        EXPECT_EQ(m_prompter.messages[0].text, MsgDeleteCategoryText());
        work.accept(c.keepReadLists);

        std::vector<std::string> loaded = loadedLists(catalog);
        std::vector<std::string> expected = c.loadedAfter;
        std::sort(loaded.begin(), loaded.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(loaded, expected);
        EXPECT_EQ(AsDisk(catalog->child(0)->data())->Dirty, 1);
        EXPECT_EQ(AsDisk(catalog->child(1)->data())->Dirty, 0);   // nothing of Games on it

        // Saved and opened again: the items lost Games, kept their flags, and
        // Work is untouched.
        save(catalog, path("v.ctf"));
        closeCatalog(catalog);
        catalog = open(path("v.ctf"));
        LoadEverything(catalog);
        const std::map<std::string, std::string> expectedItems = {
            {"\\\\root.txt", "|Keep,"},
            {"\\games", "|"},
            {"\\games\\doom.exe", "|"},
            {"\\games\\quake.exe", "|Keep,Copy,Burn,"},
            {"\\games\\saves", "|Copy,"},
            {"\\games\\saves\\s1.sav", "|Copy,"},
            {"\\work", "Work|Keep,"},
            {"\\work\\plan.doc", "Work|"},
            {"\\plain", "|"},
            {"\\plain\\none.txt", "|"},
        };
        EXPECT_EQ(ShownItems(catalog->child(0)), expectedItems);
        EXPECT_EQ(ShownItems(catalog->child(1))["\\music\\song.mp3"], "Work|Burn,");
        closeCatalog(catalog);
    }
}

TEST_F(CategoriesTest, ANewCategoryTakesTheFreedCodeAndNoItemCarriesIt)
{
    TTreeNode *catalog = openVocabulary();
    m_prompter.answers = {MsgAnswer::Yes};
    TCategoryEditWork work({catalog}, m_prompter);
    ASSERT_TRUE(work.remove(0));   // Games, code 1
    const int index = work.add("Music");
    ASSERT_GE(index, 0);
    EXPECT_EQ(work.entries()[size_t(index)].code, 1);
    EXPECT_TRUE(work.entries()[size_t(index)].isNew);
    // A new entry goes without a question.
    EXPECT_TRUE(work.remove(index));
    EXPECT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_GE(work.add("Music"), 0);
    work.accept(false);
    LoadEverything(catalog);
    for (const auto &[path, shown] : ShownItems(catalog))
        EXPECT_NE(shown.substr(0, 5), "Music") << path;
    EXPECT_EQ(CategoryName(AsCatalog(catalog->data()), 1), QByteArray("Music"));
}

TEST_F(CategoriesTest, ARenamedCategoryMovesToItsPlaceByName)
{
    TTreeNode *catalog = openVocabulary();   // Games (1), Work (7)
    TCategoryEditWork work({catalog}, m_prompter);
    ASSERT_GE(work.add("Music"), 0);         // Games, Music, Work
    const auto names = [&work] {
        std::vector<std::string> list;
        for (const TCategoryEntry &e : work.entries())
            list.push_back(e.name.toStdString() + "/" + std::to_string(e.code));
        return list;
    };
    struct Step {
        int index;
        const char *name;
        int movedTo;
        std::vector<std::string> after;
    };
    // The order ignores case; a name equal to another goes after it.
    const Step steps[] = {
        {0, "Zebra", 2, {"Music/2", "Work/7", "Zebra/1"}},
        {2, "apple", 0, {"apple/1", "Music/2", "Work/7"}},
        {1, "WORK", 2, {"apple/1", "Work/7", "WORK/2"}},
        {1, "Work", -1, {"apple/1", "Work/7", "WORK/2"}},   // the same text changes nothing
        {0, "", -1, {"apple/1", "Work/7", "WORK/2"}},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        EXPECT_EQ(work.rename(step.index, step.name), step.movedTo);
        EXPECT_EQ(names(), step.after);
    }
    // The catalog takes the list's order; every item keeps its category by code.
    work.accept(false);
    std::vector<std::string> stored;
    for (const TCategory &c : AsCatalog(catalog->data())->Categories)
        stored.push_back(c.Name.toStdString() + "/" + std::to_string(c.Code));
    EXPECT_EQ(stored, names());
    LoadEverything(catalog);
    EXPECT_EQ(ShownItems(catalog)["\\games\\doom.exe"], "apple|");
    EXPECT_EQ(ShownItems(catalog)["\\work\\plan.doc"], "Work|");
}

TEST_F(CategoriesTest, RenamingKeepsEveryItemsCategoryAndAnExistingNameIsASecondEntry)
{
    TTreeNode *catalog = openVocabulary();
    TCategoryEditWork work({catalog}, m_prompter);
    EXPECT_EQ(work.rename(1, "Office"), 1);
    EXPECT_EQ(work.rename(1, "Office"), -1);   // the same text changes nothing
    const int second = work.add("Games");
    ASSERT_GE(second, 0);
    EXPECT_EQ(work.entries()[size_t(second)].code, 2);
    work.accept(false);
    EXPECT_TRUE(m_prompter.messages.empty());
    LoadEverything(catalog);
    EXPECT_EQ(ShownItems(catalog)["\\work\\plan.doc"], "Office|");
    EXPECT_EQ(AsCatalog(catalog->data())->Categories.size(), 3u);
    EXPECT_EQ(AsCatalog(catalog->data())->Dirty, 1);
}

TEST_F(CategoriesTest, EmptyingAFlagRemovesItOnOkAndCancelRestoresEverything)
{
    for (const bool ok : {true, false}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        TTreeNode *catalog = openVocabulary();
        m_prompter.messages.clear();
        // Yes to "delete flag"; Yes to "discard all changes" (for Cancel).
        m_prompter.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
        TCategoryEditWork work({catalog}, m_prompter);
        EXPECT_TRUE(work.removeFlagEnabled(2));
        EXPECT_EQ(work.setFlagText(2, ""), QByteArray());
        ASSERT_EQ(m_prompter.messages.size(), 1u);
        EXPECT_EQ(m_prompter.messages[0].text, MsgDeleteFlagText());
        EXPECT_TRUE(work.removeFlag(2));
        // Unchecking "Remove All" while the name is empty keeps it checked.
        EXPECT_TRUE(work.setRemoveFlag(2, false));
        if (ok) {
            work.accept(false);
            EXPECT_EQ(FlagName(AsCatalog(catalog->data()), 2), QByteArray());
        } else {
            EXPECT_TRUE(work.cancel());
            EXPECT_EQ(m_prompter.messages.back().caption, QStringLiteral("Discard Changes?"));
            EXPECT_EQ(FlagName(AsCatalog(catalog->data()), 2), QByteArray("Copy"));
            EXPECT_EQ(AsCatalog(catalog->data())->Dirty, 0);
        }
        LoadEverything(catalog);
        EXPECT_EQ(ShownItems(catalog)["\\games\\saves\\s1.sav"], ok ? "|" : "|Copy,");
        closeCatalog(catalog);
    }
}

TEST_F(CategoriesTest, NoToTheFlagQuestionPutsTheNameBackAndRemoveAllAsksFirst)
{
    TTreeNode *catalog = openVocabulary();
    m_prompter.answers = {MsgAnswer::No, MsgAnswer::No, MsgAnswer::Yes};
    TCategoryEditWork work({catalog}, m_prompter);
    EXPECT_EQ(work.setFlagText(1, ""), QByteArray("Keep"));
    EXPECT_FALSE(work.removeFlag(1));
    EXPECT_FALSE(work.setRemoveFlag(3, true));   // No
    EXPECT_TRUE(work.setRemoveFlag(3, true));    // Yes
    EXPECT_EQ(m_prompter.messages.back().text, MsgRemoveAllFlagText());
    work.accept(false);
    LoadEverything(catalog);
    EXPECT_EQ(ShownItems(catalog)["\\games\\quake.exe"], "Games|Keep,Copy,");
    EXPECT_EQ(FlagName(AsCatalog(catalog->data()), 3), QByteArray("Burn"));   // the name stays
}

TEST_F(CategoriesTest, CopyFromStopsAt31AndTellsOnlyWhenNamesWereLeft)
{
    HandCatalog twenty;
    twenty.name = "Twenty";
    for (int i = 0; i < 20; ++i)
        twenty.categories.push_back({"t" + QByteArray::number(100 + i), uint8_t(i + 1)});
    HandCatalog twentyFive;
    twentyFive.name = "TwentyFive";
    for (int i = 0; i < 25; ++i)
        twentyFive.categories.push_back({"f" + QByteArray::number(100 + i), uint8_t(i + 1)});
    HandCatalog subset;
    subset.name = "Subset";
    subset.categories = {{"F100", 3}, {"f101", 9}};
    TTreeNode *a = openBytes(BuildCatalogBytes(twenty), "a.ctf");
    TTreeNode *b = openBytes(BuildCatalogBytes(twentyFive), "b.ctf");
    TTreeNode *s = openBytes(BuildCatalogBytes(subset), "s.ctf");
    TTreeNode *empty = openBytes(BuildCatalogBytes(HandCatalog{}), "e.ctf");

    TCategoryEditWork work({a, b, s, empty}, m_prompter, 1);
    EXPECT_TRUE(work.copyFromEnabled());
    EXPECT_EQ(work.copyFrom(0), 6);
    EXPECT_EQ(work.entries().size(), 31u);
    EXPECT_FALSE(work.canAdd());
    EXPECT_EQ(work.add("more"), -1);
    ASSERT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].text, MsgNotEnoughRoom());
    EXPECT_EQ(m_prompter.messages[0].caption, QStringLiteral("Information"));

    work.show(0);   // commits the 31 of b
    EXPECT_EQ(AsCatalog(b->data())->Categories.size(), 31u);
    m_prompter.messages.clear();
    EXPECT_EQ(work.copyFrom(2), 2);
    EXPECT_EQ(work.entries().size(), 22u);
    // Every name of Subset is present now (without regard to case) and there
    // is room: nothing is added and nothing said.
    EXPECT_EQ(work.copyFrom(2), 0);
    EXPECT_EQ(work.entries().size(), 22u);
    EXPECT_TRUE(m_prompter.messages.empty());
    // Into the full list of b the copy stops before it looked at any name.
    work.show(1);
    EXPECT_EQ(work.copyFrom(2), 0);
    ASSERT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].text, MsgNotEnoughRoom());
    m_prompter.messages.clear();
    EXPECT_EQ(work.copyFrom(3), 0);
    ASSERT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].text, MsgNoCategoriesInCatalog());
}

TEST_F(CategoriesTest, EditsInTwoCatalogsThenCancelRestoresBoth)
{
    TTreeNode *a = openVocabulary(QStringLiteral("a.ctf"));
    TTreeNode *b = openVocabulary(QStringLiteral("b.ctf"));
    m_prompter.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
    TCategoryEditWork work({a, b}, m_prompter);
    work.add("New in A");
    work.setFlagText(3, "Disc");
    work.show(1);
    EXPECT_EQ(AsCatalog(a->data())->Categories.size(), 3u);   // committed on the switch
    EXPECT_TRUE(work.remove(1));
    EXPECT_TRUE(work.cancel());
    for (TTreeNode *catalog : {a, b}) {
        const TCatalogRec *rec = AsCatalog(catalog->data());
        ASSERT_EQ(rec->Categories.size(), 2u);
        EXPECT_EQ(rec->Categories[0].Name, QByteArray("Games"));
        EXPECT_EQ(rec->Categories[1].Name, QByteArray("Work"));
        EXPECT_EQ(FlagName(rec, 3), QByteArray("Burn"));
        EXPECT_EQ(rec->Dirty, 0);
    }
}

// ---- assignment by name across catalogs ------------------------------------------

HandCatalog NamedCatalog(const QByteArray &name, std::vector<TCategory> categories,
                         std::array<QByteArray, 3> flags, std::vector<HandFile> files)
{
    HandCatalog c;
    c.name = name;
    c.categories = std::move(categories);
    for (int k = 0; k < 3; ++k)
        c.flagNames[k] = flags[size_t(k)];
    HandDisk d;
    d.name = name + " disk";
    d.rootFiles = std::move(files);
    c.disks.push_back(d);
    return c;
}

class SetCategoriesTest : public CategoriesTest
{
protected:
    void SetUp() override
    {
        // A: Games 1, Music 2; flags Backup (1), Keep (2). B: games 5, Work 1; flags -, -, Backup (3).
        m_a = openBytes(BuildCatalogBytes(NamedCatalog(
                            "A", {{"Games", 1}, {"Music", 2}}, {"Backup", "Keep", ""},
                            {SampleFile("a1", 1, {}, faArchive, 0x21), SampleFile("a2", 2, {}, faArchive, 0x01),
                             SampleFile("a3", 3, {}, faArchive, 0x40)})),
                        "a.ctf");
        m_b = openBytes(BuildCatalogBytes(NamedCatalog("B", {{"games", 5}, {"Work", 1}}, {"", "", "Backup"},
                                                       {SampleFile("b1", 4, {}, faArchive, 0x85),
                                                        SampleFile("b2", 5, {}, faArchive, 0x01)})),
                        "b.ctf");
        LoadFileList(m_a->child(0));
        LoadFileList(m_b->child(0));
    }
    TItemRec *file(TTreeNode *catalog, int i) { return Chain(catalog->child(0))[size_t(i)]; }
    std::string shown(TTreeNode *catalog, int i)
    {
        return Shown(AsCatalog(catalog->data()), static_cast<TFileRec *>(file(catalog, i))->CatFlags);
    }

    TTreeNode *m_a = nullptr;
    TTreeNode *m_b = nullptr;
};

TEST_F(SetCategoriesTest, TheCommonCategoryIsCheckedOrNoneWhenTheItemsDiffer)
{
    struct Case {
        const char *name;
        std::vector<std::pair<int, int>> items;   // (catalog 0 = A, 1 = B; file index)
        int common;
        QString checked;
        std::vector<TFlagState> flags;   // Backup, Keep
    };
    const Case cases[] = {
        {"one item in Games", {{0, 0}}, 1, "Games", {TFlagState::Checked, TFlagState::Unchecked}},
        {"Games, Games and none", {{0, 0}, {0, 1}, {0, 2}}, -2, "", {TFlagState::Grayed, TFlagState::Grayed}},
        {"none", {{0, 2}}, 0, "(no category selected)", {TFlagState::Unchecked, TFlagState::Checked}},
        // 'Games' in A and 'games' in B are one entry, and both items carry it.
        {"Games in A and games in B", {{0, 1}, {1, 0}}, 1, "Games", {TFlagState::Grayed, TFlagState::Unchecked}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TItemRec *> items;
        for (const auto &[cat, i] : c.items)
            items.push_back(file(cat == 0 ? m_a : m_b, i));
        TSetCatWork work(items);
        EXPECT_EQ(work.itemCount(), int(items.size()));
        EXPECT_EQ(work.commonCategory(), c.common);
        if (c.checked.isEmpty())
            EXPECT_EQ(work.checkedCategory(), -1);
        else
            EXPECT_EQ(work.categories()[size_t(work.checkedCategory())].name, c.checked.toUtf8());
        ASSERT_GE(work.flags().size(), 2u);
        EXPECT_EQ(work.flags()[0].name, QByteArray("Backup"));
        EXPECT_EQ(work.flags()[0].state, c.flags[0]);
        EXPECT_EQ(work.flags()[1].state, c.flags[1]);
        EXPECT_FALSE(work.applyEnabled());
    }
    EXPECT_EQ(SetCatHeading(1), QStringLiteral("Changing Categories and Flags for 1 selected item"));
    EXPECT_EQ(SetCatHeading(3), QStringLiteral("Changing Categories and Flags for 3 selected items"));
}

TEST_F(SetCategoriesTest, MergedNamesAreMarkedWhereACatalogLacksThem)
{
    TSetCatWork work({file(m_a, 0), file(m_b, 1)});
    std::vector<QString> categories, flags;
    for (const auto &e : work.categories())
        categories.push_back(e.text());
    for (const auto &e : work.flags())
        flags.push_back(e.text());
    EXPECT_EQ(categories, (std::vector<QString>{"(no category selected)", "Games", "* Music", "* Work"}));
    EXPECT_EQ(flags, (std::vector<QString>{"Backup", "* Keep"}));
    EXPECT_TRUE(work.warningShown());
    TSetCatWork onlyA({file(m_a, 0), file(m_a, 1)});
    EXPECT_FALSE(onlyA.warningShown());
}

TEST_F(SetCategoriesTest, ApplyWritesEachCatalogsOwnCodeAndFlagBit)
{
    TSetCatWork work({file(m_a, 0), file(m_a, 2), file(m_b, 0), file(m_b, 1)});
    // Music exists only in A: B's items end without category.
    const auto music = std::find_if(work.categories().begin(), work.categories().end(),
                                    [](const auto &e) { return e.name == "Music"; });
    ASSERT_NE(music, work.categories().end());
    work.checkCategory(int(music - work.categories().begin()));
    work.setFlagState(0, TFlagState::Checked);   // Backup: bit 5 in A, bit 7 in B
    EXPECT_TRUE(work.applyEnabled());
    m_prompter.answers = {MsgAnswer::No, MsgAnswer::Yes};
    EXPECT_FALSE(work.apply(m_prompter));
    EXPECT_EQ(shown(m_a, 0), "Games|Backup,");   // No left them alone
    EXPECT_TRUE(work.apply(m_prompter));
    EXPECT_EQ(m_prompter.messages.back().caption, QStringLiteral("Apply Changes"));
    EXPECT_EQ(shown(m_a, 0), "Music|Backup,");
    EXPECT_EQ(shown(m_a, 2), "Music|Backup,Keep,");
    EXPECT_EQ(shown(m_b, 0), "|Backup,");
    EXPECT_EQ(shown(m_b, 1), "|Backup,");
    EXPECT_EQ(static_cast<TFileRec *>(file(m_b, 1))->CatFlags, 0x80);
    EXPECT_EQ(AsDisk(m_a->child(0)->data())->Dirty, 1);
    EXPECT_EQ(AsDisk(m_b->child(0)->data())->Dirty, 1);
}

// The list merges 'Games' and 'games' and marks neither, so applying it
// must give the items of both catalogs their catalog's category.
TEST_F(SetCategoriesTest, NamesDifferingInCaseAreOneNameWhenApplied)
{
    TSetCatWork work({file(m_a, 2), file(m_b, 1)});
    ASSERT_EQ(work.categories()[1].text(), QStringLiteral("Games"));
    work.checkCategory(0);
    work.checkCategory(1);
    m_prompter.answers = {MsgAnswer::Yes};
    ASSERT_TRUE(work.apply(m_prompter));
    EXPECT_EQ(shown(m_a, 2), "Games|Keep,");
    EXPECT_EQ(shown(m_b, 1), "games|");
    EXPECT_EQ(static_cast<TFileRec *>(file(m_b, 1))->CatFlags, 5);
}

// The items differed and no category was chosen: each keeps its own, and
// the flag change still reaches all of them.
TEST_F(SetCategoriesTest, WithNoCategoryCheckedTheCategoriesStayAndFlagsApply)
{
    TSetCatWork work({file(m_a, 0), file(m_a, 1), file(m_a, 2)});
    ASSERT_EQ(work.checkedCategory(), -1);
    work.setFlagState(1, TFlagState::Checked);   // Keep
    m_prompter.answers = {MsgAnswer::Yes};
    ASSERT_TRUE(work.apply(m_prompter));
    EXPECT_EQ(shown(m_a, 0), "Games|Backup,Keep,");
    EXPECT_EQ(shown(m_a, 1), "Games|Keep,");
    EXPECT_EQ(shown(m_a, 2), "|Keep,");
}

TEST_F(SetCategoriesTest, NothingDefinedAsksWhetherToDefineNow)
{
    TTreeNode *bare = openBytes(BuildCatalogBytes(NamedCatalog("C", {}, {"", "", ""}, {SampleFile("c", 1)})),
                                "c.ctf");
    LoadFileList(bare->child(0));
    TSetCatWork work({Chain(bare->child(0))[0]});
    EXPECT_TRUE(work.nothingDefined());
    EXPECT_FALSE(work.categoriesEnabled());
    m_prompter.answers = {MsgAnswer::Yes};
    EXPECT_TRUE(work.askDefineNow(m_prompter));
    EXPECT_EQ(m_prompter.messages.back().caption, QStringLiteral("No Data Defined"));
    EXPECT_TRUE(work.defineNowAnswer());
}

// ---- transfers between differing vocabularies -------------------------------------

TEST_F(CategoriesTest, TransferredItemsKeepTheirCategoriesAndFlagsByName)
{
    struct Case {
        const char *name;
        std::vector<TCategory> targetCategories;
        std::array<QByteArray, 3> targetFlags;
        int lostItems;
        std::map<std::string, std::string> expected;   // a few items, as Shown in the target
    };
    std::vector<TCategory> thirtyOne;
    for (int i = 1; i <= 31; ++i)
        thirtyOne.push_back({i == 9 ? QByteArray("work") : "c" + QByteArray::number(100 + i), uint8_t(i)});
    const Case cases[] = {
        // Codes 1 and 7 mean other names here; Games joins, Work is found.
        {"differing codes", {{"Work", 1}, {"Other", 2}}, {"Burn", "", "Keep"}, 0,
         {{"\\\\root.txt", "Games|Keep,"},
          {"\\games\\quake.exe", "Games|Burn,Copy,Keep,"},
          {"\\work", "Work|Keep,"},
          {"\\work\\plan.doc", "Work|"}}},
        // Full vocabularies: Work is found (in another letter case), Games and the
        // Copy flag have no room, and five items lose something.
        {"no room", thirtyOne, {"Keep", "Burn", "Spare"}, 5,
         {{"\\\\root.txt", "|Keep,"},
          {"\\games\\quake.exe", "|Keep,Burn,"},
          {"\\games\\saves", "|"},
          {"\\games\\saves\\s1.sav", "|"},
          {"\\work", "work|Keep,"}}},
    };
    for (const bool move : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name) + (move ? ", move" : ", copy"));
            TTreeNode *source = openVocabulary();
            TTreeNode *target =
                openBytes(BuildCatalogBytes(NamedCatalog("T", c.targetCategories, c.targetFlags, {})), "t.ctf");
            TTransferNotes notes;
            TTreeNode *disk = TransferDisk(FindDisk(source, "One"), target, move, &notes);
            ASSERT_TRUE(disk);
            EXPECT_EQ(notes.lostItems, c.lostItems);
            std::map<std::string, std::string> shown = ShownItems(disk);
            for (const auto &[path, expected] : c.expected)
                EXPECT_EQ(shown[path], expected) << path;
            // Saved and reopened, the target shows the same names.
            save(target, path("t.ctf"));
            closeCatalog(target);
            target = open(path("t.ctf"));
            TTreeNode *again = FindDisk(target, "One");
            ASSERT_TRUE(again);
            LoadEverything(again);
            EXPECT_EQ(ShownItems(again), shown);
            EXPECT_LE(AsCatalog(target->data())->Categories.size(), 31u);
            closeCatalog(target);
            closeCatalog(source);
        }
    }
    EXPECT_EQ(MsgCategoriesLost(4),
              QStringLiteral("4 items lost their category or flags: the target catalog has no room for more names."));
}

TEST_F(CategoriesTest, AMoveThatFailsPartWayDeletesOnlyTheDisksThatArrived)
{
    HandCatalog three = VocabularyCatalog();
    HandDisk middle = three.disks[1];
    middle.name = "Broken";
    middle.folders.push_back(SampleFolder(2, "deeper", {SampleFile("x", 1)}));
    middle.totalFolders = 2;
    three.disks.insert(three.disks.begin() + 1, middle);
    HandLayout layout;
    QByteArray bytes = BuildCatalogBytes(three, &layout);
    // The second level of "Broken" lies far outside its disk: its first level
    // opens, reading the rest fails.
    PatchI32(bytes, layout.disks[1].folders[1].block + kFbListOffset, 0x7FFFFF00);
    TTreeNode *source = openBytes(bytes, "three.ctf");
    TTreeNode *target = openBytes(BuildCatalogBytes(HandCatalog{}), "t.ctf");
    const std::vector<TTreeNode *> selected(source->children().begin(), source->children().end());
    ASSERT_EQ(selected.size(), 3u);

    const TTransferResult result = TransferDisks(selected, target, true);
    EXPECT_EQ(result.failedIndex, 1);
    EXPECT_FALSE(result.error.isEmpty());
    ASSERT_EQ(result.transferred.size(), 1u);
    EXPECT_EQ(result.transferred[0]->text(), QByteArray("One"));
    // The disk that failed and the one after it are still in the source, whole.
    ASSERT_EQ(source->childCount(), 2);
    EXPECT_EQ(source->child(0)->text(), QByteArray("Broken"));
    EXPECT_EQ(source->child(1)->text(), QByteArray("Two"));
    LoadEverything(source->child(1));
    EXPECT_EQ(ShownItems(source->child(1))["\\music\\song.mp3"], "Work|Burn,");
    EXPECT_EQ(target->childCount(), 1);
}

// ---- the user list --------------------------------------------------------------

TEST_F(CategoriesTest, UserListKeepsEachRecordOnceAndCompactsWithHints)
{
    TTreeNode *catalog = openVocabulary();
    LoadEverything(catalog);
    TUserList list;
    EXPECT_EQ(ResultList(ResultListId::User), &list);
    std::vector<TItemRec *> records;
    ForEachNode(catalog, [&](TTreeNode *n) {
        records.push_back(n->data());
        for (TFileRec *f = NodeRec(n)->Next; f; f = f->Next)
            records.push_back(f);
    });
    for (TItemRec *rec : records)
        EXPECT_TRUE(list.add(rec));
    for (TItemRec *rec : records)
        EXPECT_FALSE(list.add(rec));   // from another window: listed once
    EXPECT_EQ(list.count(), int(records.size()));

    struct Step {
        std::vector<int> remove;
        int firstRemoved;
    };
    const Step steps[] = {{{3, 1, 3}, 1}, {{0}, 0}, {{}, -1}, {{100}, -1}};
    for (const Step &s : steps) {
        const int before = list.count();
        EXPECT_EQ(list.remove(s.remove), s.firstRemoved);
        for (int i = 0; i < list.count(); ++i) {
            ASSERT_TRUE(list.at(i));
            EXPECT_EQ(list.at(i)->UserListPos, i);
            EXPECT_EQ(FindByHint(list, list.at(i), list.at(i)->UserListPos), i);
        }
        EXPECT_LE(list.count(), before);
    }
    EXPECT_EQ(records[1]->UserListPos, -1);
    EXPECT_EQ(records[3]->UserListPos, -1);

    // Saving keeps the listed records where they are; closing the catalog
    // takes exactly its records out.
    TTreeNode *other = openVocabulary(QStringLiteral("o.ctf"));
    LoadEverything(other);
    std::vector<TFileRec *> three = Chain(FindFolder(other->child(0), "games"));
    three.push_back(Chain(other->child(0))[0]);
    for (TFileRec *f : three)
        list.add(f);
    const int withOther = list.count();
    save(catalog, path("v.ctf"));
    EXPECT_EQ(list.count(), withOther);
    EXPECT_EQ(list.at(0)->UserListPos, 0);
    closeCatalog(catalog);
    ASSERT_EQ(list.count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list.at(i), three[size_t(i)]);
        EXPECT_EQ(list.at(i)->UserListPos, i);
    }
    list.clear();
    EXPECT_EQ(three[0]->UserListPos, -1);
}

TEST_F(CategoriesTest, UserListHintsWrapAt32768)
{
    TTreeNode *catalog = NewCatalogNode(m_forest, "Big");
    TTreeNode *disk = AddDiskNode(catalog, "D");
    TFileRec *last = nullptr;
    for (int i = 0; i < 32770; ++i)
        last = AppendFile(disk, "f" + QByteArray::number(i), last);
    TUserList list;
    for (TFileRec *f = NodeRec(disk)->Next; f; f = f->Next)
        list.add(f);
    TItemRec *far = list.at(32769);
    EXPECT_EQ(far->UserListPos, 1);
    EXPECT_EQ(FindByHint(list, far, far->UserListPos), 32769);
    list.remove({0});
    EXPECT_EQ(far->UserListPos, 0);
    EXPECT_EQ(FindByHint(list, far, far->UserListPos), 32768);
    EXPECT_EQ(list.at(32768), far);
}

// ---- while a search walks ----------------------------------------------------------

class CategoriesSearchTest : public CategoriesTest
{
protected:
    static void SetUpTestSuite()
    {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "catalog_tests";
            static char *argv[] = {name, nullptr};
            static QCoreApplication app(argc, argv);
        }
    }
};

// The search reads and drops file lists on this thread between its steps
// while the category update reads lists, changes the bytes the worker tests
// and keeps what it read; both must come out as they do alone.
TEST_F(CategoriesSearchTest, DeletingACategoryWhileASearchWalksGivesTheQuietResults)
{
    HandCatalog big;
    big.name = "Big";
    big.categories = {{"Games", 1}, {"Work", 2}};
    HandDisk d;
    d.name = "D";
    for (int f = 0; f < 60; ++f) {
        std::vector<HandFile> files;
        for (int i = 0; i < 30; ++i)
            files.push_back(SampleFile("file" + QByteArray::number(f * 100 + i), i, {}, faArchive,
                                       uint8_t(1 + (i % 2))));
        d.folders.push_back(SampleFolder(1, "d" + QByteArray::number(f), files));
    }
    d.totalFolders = 60;
    big.disks.push_back(d);
    const QByteArray bytes = BuildCatalogBytes(big);

    // Alone: what the search finds, and what the update leaves.
    QStringList quietFound;
    {
        TTreeNode *catalog = openBytes(bytes, "quiet.ctf");
        TFoundList list(ResultListId::Found);
        TSearchController controller(m_forest);
        ASSERT_TRUE(controller.startNormal(list, NameCriteria("file1"), true));
        while (controller.searching())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        quietFound = FoundNames(list);
        list.clear();
        closeCatalog(catalog);
    }
    ASSERT_GT(quietFound.size(), 100);

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        TTreeNode *catalog = openBytes(bytes, "busy.ctf");
        TFoundList list(ResultListId::Found);
        TSearchController controller(m_forest);
        ASSERT_TRUE(controller.startNormal(list, NameCriteria("file1"), true));
        TCategoryRemoval removal;
        removal.deletedCodes = 1u << 1;
        int updatesWhileSearching = 0;
        int changed = 0;
        // The first update starts while the worker is on its way; later ones
        // come between the steps it asks this thread for.
        while (controller.searching()) {
            if (updatesWhileSearching < 5) {
                changed += ApplyCategoryDeletions(catalog, removal, true);
                ++updatesWhileSearching;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        EXPECT_GT(updatesWhileSearching, 0);
        EXPECT_EQ(changed, 60 * 15);   // every Games file once, whichever update met it
        EXPECT_EQ(FoundNames(list), quietFound);
        list.clear();
        LoadEverything(catalog);
        for (const auto &[path, shown] : ShownItems(catalog))
            EXPECT_NE(shown.substr(0, 5), "Games") << path;
        closeCatalog(catalog);
    }
}

} // namespace
