// Tests of where the recently opened catalogs are kept: what a stored
// "MRUList" subkey loads as, and saving that replaces the subkey.
#include "settings/RecentFiles.h"

#include "catalog/CatalogFiles.h"
#include "settings/Registry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <map>

namespace {

const QString kRecentKey = QStringLiteral("\\SOFTWARE\\Orvanta\\Quillon\\MRUList");

// The string values stored under "MRUList" (none: no subkey) and the list they load as.
struct LoadCase {
    const char *name;
    std::optional<std::map<QString, QString>> stored;
    QStringList loaded;
};

class RecentFilesLoad : public ::testing::TestWithParam<LoadCase>
{
protected:
    QTemporaryDir m_dir;
};

TEST_P(RecentFilesLoad, TheStoredListLoadsAsKept)
{
    ASSERT_TRUE(m_dir.isValid());
    const QString file = m_dir.filePath(QStringLiteral("settings.conf"));
    if (GetParam().stored) {
        Registry registry(file);
        ASSERT_TRUE(registry.openKey(kRecentKey, true));
        for (const auto &[name, value] : *GetParam().stored)
            ASSERT_TRUE(registry.writeString(name, value));
        registry.closeKey();
    }
    Registry registry(file);
    TRecentFiles recent;
    recent.add(QStringLiteral("/before/load.ctf"));   // loading replaces what was there
    LoadRecentFiles(recent, registry);
    EXPECT_EQ(recent.files(), GetParam().loaded);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, RecentFilesLoad,
    ::testing::Values(
        LoadCase{"NoSubkey", std::nullopt, {}},
        LoadCase{"EmptySubkey", std::map<QString, QString>{}, {}},
        LoadCase{"InOrder",
                 std::map<QString, QString>{{"F0", "/a.ctf"}, {"F1", "/b.ctf"}, {"F2", "/c.ctf"}},
                 {"/a.ctf", "/b.ctf", "/c.ctf"}},
        LoadCase{"StopsAtAGap", std::map<QString, QString>{{"F0", "/a.ctf"}, {"F2", "/c.ctf"}}, {"/a.ctf"}},
        LoadCase{"StopsAtAnEmptyValue",
                 std::map<QString, QString>{{"F0", "/a.ctf"}, {"F1", ""}, {"F2", "/c.ctf"}}, {"/a.ctf"}},
        LoadCase{"FourAtMost",
                 std::map<QString, QString>{
                     {"F0", "/a.ctf"}, {"F1", "/b.ctf"}, {"F2", "/c.ctf"}, {"F3", "/d.ctf"}, {"F4", "/e.ctf"}},
                 {"/a.ctf", "/b.ctf", "/c.ctf", "/d.ctf"}},
        LoadCase{"DuplicatesAsStored",
                 std::map<QString, QString>{{"F0", "/a.ctf"}, {"F1", "/a.ctf"}}, {"/a.ctf", "/a.ctf"}}),
    [](const ::testing::TestParamInfo<LoadCase> &info) { return std::string(info.param.name); });

TEST(RecentFilesSave, ALongerOldListLeavesNoStaleEntries)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("settings.conf"));
    TRecentFiles recent;
    for (const char *name : {"/a.ctf", "/b.ctf", "/c.ctf", "/d.ctf"})
        recent.add(QString::fromLatin1(name));
    {
        Registry registry(file);
        ASSERT_TRUE(SaveRecentFiles(recent, registry));
    }
    recent.remove(QStringLiteral("/b.ctf"));
    recent.remove(QStringLiteral("/a.ctf"));
    {
        Registry registry(file);
        ASSERT_TRUE(SaveRecentFiles(recent, registry));
    }
    Registry registry(file);
    ASSERT_TRUE(registry.openKey(kRecentKey, false));
    EXPECT_EQ(registry.valueNames().size(), 2);
    EXPECT_EQ(registry.readString(QStringLiteral("F0")), QStringLiteral("/d.ctf"));
    EXPECT_EQ(registry.readString(QStringLiteral("F1")), QStringLiteral("/c.ctf"));
    registry.closeKey();

    TRecentFiles back;
    LoadRecentFiles(back, registry);
    EXPECT_EQ(back.files(), recent.files());
}

TEST(RecentFilesSave, AStoreThatCannotBeWrittenFails)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A folder where the file should be: the store cannot be written.
    const QString file = dir.filePath(QStringLiteral("settings.conf"));
    ASSERT_TRUE(QDir().mkpath(file));
    Registry registry(file);
    TRecentFiles recent;
    recent.add(QStringLiteral("/a.ctf"));
    EXPECT_FALSE(SaveRecentFiles(recent, registry));
}

} // namespace
