// Tests of the general settings holder: the initial states, the fallback
// words and what they mean, bit layouts with their clamps, the revision
// check, loading that goes on past unreadable values, saving and its failure
// message, applying with the folder warnings, storing fonts, toolbar, import
// order and window placements, and settings by control name. The byte
// layouts of the values themselves are tested in LayoutsTest.cpp.
#include "archive/UnLibarchive.h"
#include "settings/Options.h"

#include "platform/Prompter.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <random>
#include <set>

void PrintTo(const QString &text, std::ostream *os);
void PrintTo(const QByteArray &bytes, std::ostream *os);

namespace {

const QString kMain = QStringLiteral("\\SOFTWARE\\Orvanta\\Quillon");

struct Asked {
    QString caption;
    QString text;
    MsgIcon icon;
};

// Records every message and answers OK.
class RecordingPrompter : public Prompter
{
public:
    MsgAnswer ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons) override
    {
        asked.push_back({caption, text, icon});
        return MsgAnswer::Ok;
    }
    std::vector<Asked> asked;
};

QByteArray Le32(quint32 v)
{
    const char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(bytes, 4);
}

class OptionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_config.isValid() && m_temp.isValid() && m_program.isValid());
        m_hadOld = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        m_old = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        SetArchiveTypesEnabled(AllArchiveTypes());
    }
    void TearDown() override
    {
        if (m_hadOld)
            qputenv("XDG_CONFIG_HOME", m_old);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }

    TOptionsEnvironment env(QStringList found = {}) const
    {
        TOptionsEnvironment e;
        const QString temp = m_temp.path();
        const QString program = m_program.path();
        e.TempFolder = [temp] { return temp; };
        e.ProgramFolder = [program] { return program; };
        e.FindExecutable = [found](const QString &name) {
            return found.contains(name) ? QStringLiteral("/opt/editors/") + name : QString();
        };
        e.IconTitleFont = TFontData{QByteArray("Title Sans"), -12, fsBold};
        e.UiFont = TFontData{QByteArray("Ui Sans"), -11, 0};
        return e;
    }
    QString tempFolder() const { return m_temp.path() + QLatin1Char('/'); }
    QString programFolder() const { return m_program.path() + QLatin1Char('/'); }
    QString file() const { return m_config.path() + QStringLiteral("/Orvanta/Quillon.conf"); }
    QByteArray fileBytes() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeFileBytes(const QByteArray &bytes) const
    {
        QDir().mkpath(QFileInfo(file()).absolutePath());
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    // Saves o's settings into the settings file.
    void saveAll(TOptions &o) const
    {
        Registry r;
        RecordingPrompter p;
        ASSERT_TRUE(o.save(r, p));
        EXPECT_TRUE(p.asked.empty());
    }
    // Loads the settings file into a fresh holder.
    TOptions loaded() const
    {
        Registry r;
        TOptions o(env());
        o.load(r);
        return o;
    }
    // Changes one value of the main key in the file.
    template <typename Edit>
    void editMain(Edit edit) const
    {
        Registry r;
        ASSERT_TRUE(r.openKey(kMain, true));
        edit(r);
        ASSERT_TRUE(r.flush());
    }
    // Every setting's text form, by name.
    static std::map<QString, QString> texts(const TOptions &o)
    {
        std::map<QString, QString> all;
        for (const QString &name : TOptions::SettingNames())
            all[name] = o.settingText(name);
        return all;
    }

    QTemporaryDir m_config;
    QTemporaryDir m_temp;
    QTemporaryDir m_program;
    bool m_hadOld = false;
    QByteArray m_old;
};

// A holder whose every setting differs from its initial state.
void ChangeEverything(TOptions &o, const QString &existingFolder)
{
    o.DescAsTipsCheck = false;
    o.DescWaitBar = 7;
    o.DescHideBar = 11;
    o.ShowPrevCheck = false;
    o.ViewStatusCheck = false;
    o.ArchivesSortCheck = false;
    o.TipsCheck = false;
    o.FormattedSizesCheck = false;
    o.ShowShortcutsCheck = false;
    o.DisableSmoothCheck = false;
    o.FileDoubleClickCombo = 4;
    o.CatalogPathEdit = existingFolder + QStringLiteral("/catalogs/");
    QDir().mkpath(o.CatalogPathEdit);
    o.AutoSaveCheck = false;
    o.AutoSaveEdit = 240;
    o.CreateBakCheck = false;
    o.InternalViewerCheck = false;
    o.ExternalViewerCheck = true;
    o.ViewerEdit = QStringLiteral("/usr/bin/my viewer");
    o.ShortFilenamesCheck = true;
    o.setToolbarDock(3);
    o.ToolbarVisible = false;
    o.ToolbarFloating = true;
    o.ButtonSizeBar = 7;
    o.OldButtonsCheck = true;
    o.ToolbarBox = ParseCustomToolbar(QByteArray("\x20\x01\x00\x02\xFF", 5));
    for (int slot = 0; slot < kFontSlotCount; ++slot)
        o.FontSlots[slot] = TFontSlot{!o.FontSlots[slot].UseCustomFont,
                                      TFontData{QByteArray("Font ") + QByteArray::number(slot), -10 - slot, quint8(slot)}};
    o.ImportDescList = {TDescSource{dsArchiveComment, true}, TDescSource{dsFilesBbs, true},
                        TDescSource{dsFileIdDiz, true}, TDescSource{dsDescriptIon, true}};
    o.DescTruncCheck = true;
    o.DescTruncEdit = 15;
    o.DescKeepCurrentCheck = false;
    o.UpdateNameCheck = false;
    o.EjectMediaCheck = false;
    o.IgnoreFoldersCheck = false;
    o.IgnoreFilesCheck = false;
    o.IgnoreRecycleCheck = false;
    o.SetSerialCheck = false;
    o.SerialAskCheck = false;
    o.ExtractDir = existingFolder + QStringLiteral("/extract here/");
    QDir().mkpath(o.ExtractDir);
    o.setExitActionField(2);
    o.RestoreDirCheck = true;
    o.InsideZipCheck = false;
    for (bool TOptionsControls::*field : TOptions::ArchiveFields())
        o.*field = false;
    o.CompressedTarCheck = false;
    o.ArchiveDescOnly = true;
    o.ArchiveQuickScan = true;
    o.DescList = {QStringLiteral("README"), QStringLiteral("*.DOC"), QStringLiteral("WITH BLANK"),
                  QStringLiteral("A,B")};
    o.DescAlwaysCheck = true;
    o.DescMaxLevels = 8;
    o.AutoloadCheck = true;
    o.AutoloadList = {QStringLiteral("/home/u/My Catalogs/cds.ctf"), QStringLiteral("/x/a,b.ctf"),
                      QStringLiteral("/x/quote\"d.ctf")};
}

TEST_F(OptionsTest, NothingStoredGivesTheDialogsInitialStates)
{
    Registry r;
    EXPECT_FALSE(RevisionCheck(r).MarkerPresent);   // a first run
    TOptions o(env({QStringLiteral("mousepad")}));
    o.load(r);
    EXPECT_TRUE(o.modified());

    EXPECT_TRUE(o.DescAsTipsCheck && o.ShowPrevCheck && o.ViewStatusCheck && o.ArchivesSortCheck && o.TipsCheck);
    EXPECT_TRUE(o.FormattedSizesCheck && o.ShowShortcutsCheck && o.DisableSmoothCheck && o.AutoSaveCheck);
    EXPECT_TRUE(o.CreateBakCheck && o.InternalViewerCheck && o.Toolbar1 && o.ToolbarVisible);
    EXPECT_TRUE(o.DescKeepCurrentCheck && o.UpdateNameCheck && o.EjectMediaCheck && o.IgnoreFoldersCheck);
    EXPECT_TRUE(o.IgnoreFilesCheck && o.IgnoreRecycleCheck && o.SetSerialCheck && o.SerialAskCheck);
    EXPECT_TRUE(o.AskRemoveTemp && o.InsideZipCheck);
    for (bool TOptionsControls::*field : TOptions::ArchiveFields())
        EXPECT_TRUE(o.*field);
    EXPECT_FALSE(o.ExternalViewerCheck || o.Toolbar2 || o.Toolbar3 || o.Toolbar4 || o.ToolbarFloating);
    EXPECT_FALSE(o.OldButtonsCheck || o.ShortFilenamesCheck || o.DescTruncCheck || o.AlwaysRemoveTemp);
    EXPECT_FALSE(o.AlwaysLeaveTemp || o.RestoreDirCheck || o.ArchiveDescOnly || o.ArchiveQuickScan);
    EXPECT_FALSE(o.DescAlwaysCheck || o.AutoloadCheck);
    for (int id = 0; id < kDescSourceCount; ++id)
        EXPECT_FALSE(o.descSourceEnabled(id)) << id;
    EXPECT_EQ(ImportDescOrderBytes(o.ImportDescList), QByteArray("\x00\x02\x01\x03", 4));
    EXPECT_EQ(o.DescWaitBar, 12);
    EXPECT_EQ(o.DescHideBar, 5);
    EXPECT_EQ(o.ButtonSizeBar, 2);
    EXPECT_EQ(o.AutoSaveEdit, 15);
    EXPECT_EQ(o.DescTruncEdit, 3);
    EXPECT_EQ(o.DescMaxLevels, 2);
    EXPECT_EQ(o.FileDoubleClickCombo, -1);

    const TFontData courier{QByteArray("Courier New"), -15, 0};
    EXPECT_EQ(o.FontSlots[0], (TFontSlot{false, TFontData{QByteArray("Title Sans"), -12, fsBold}}));
    EXPECT_EQ(o.FontSlots[1], o.FontSlots[0]);
    EXPECT_EQ(o.FontSlots[2], (TFontSlot{true, courier}));
    EXPECT_EQ(o.FontSlots[3], (TFontSlot{false, TFontData{QByteArray("Ui Sans"), -11, 0}}));
    EXPECT_EQ(o.FontSlots[4], o.FontSlots[3]);
    EXPECT_EQ(o.FontSlots[5], (TFontSlot{true, courier}));
    EXPECT_EQ(o.useFontDataWord(), 0x24u);

    EXPECT_EQ(o.ToolbarBox, BuiltInToolbarLayout());
    EXPECT_EQ(o.DescList, (QStringList{QStringLiteral("FILE_ID.DIZ"), QStringLiteral("DESCRIPT.ION"),
                                       QStringLiteral("*.NFO"), QStringLiteral("*.TXT")}));
    EXPECT_TRUE(o.AutoloadList.isEmpty());
    EXPECT_EQ(o.ExtractDir, tempFolder());
    EXPECT_EQ(o.CatalogPathEdit, programFolder());
    EXPECT_EQ(o.ViewerEdit, QStringLiteral("/opt/editors/mousepad"));
    for (const QString &name : TOptions::SettingNames())
        EXPECT_FALSE(o.settingStored(name)) << name.toStdString();
}

TEST_F(OptionsTest, SavingWritesEveryValueOfTheMainKeyAndTheMarkerLast)
{
    TOptions o(env());
    {
        Registry r;
        o.load(r);
    }
    ASSERT_TRUE(o.modified());
    saveAll(o);
    EXPECT_FALSE(o.modified());
    {
        // Nothing pending: nothing is written.
        const QByteArray before = fileBytes();
        writeFileBytes(before + "; untouched\n");
        Registry r;
        RecordingPrompter p;
        EXPECT_TRUE(o.saveIfModified(r, p));
        EXPECT_EQ(fileBytes(), before + "; untouched\n");
        o.setModified(true);
        EXPECT_TRUE(o.saveIfModified(r, p));
        EXPECT_FALSE(o.modified());
        EXPECT_EQ(fileBytes(), before);
    }

    Registry r;
    ASSERT_TRUE(r.openKey(kMain, false));
    EXPECT_EQ(r.valueNames(),
              (QStringList{QStringLiteral("UseFontData"), QStringLiteral("Font0"), QStringLiteral("Font1"),
                           QStringLiteral("Font2"), QStringLiteral("Font3"), QStringLiteral("Font4"),
                           QStringLiteral("Font5"), QStringLiteral("ImportDescOrder"), QStringLiteral("CustomToolbar"),
                           QStringLiteral("Settings"), QStringLiteral("AdvSettings"), QStringLiteral("Settings2"),
                           QStringLiteral("ArchiveSupport"), QStringLiteral("ArchiveSupport2"), QStringLiteral("Autoload"), QStringLiteral("DescFiles"),
                           QStringLiteral("TempDir"), QStringLiteral("CatalogDir"), QStringLiteral("ExternalViewer"),
                           QStringLiteral("RevisionMarker")}));
    EXPECT_EQ(r.readBinaryExact(QStringLiteral("RevisionMarker"), 1), QByteArray(1, '\x02'));
    EXPECT_EQ(r.readString(QStringLiteral("DescFiles")), QStringLiteral("FILE_ID.DIZ,DESCRIPT.ION,*.NFO,*.TXT"));
    EXPECT_EQ(r.readString(QStringLiteral("Autoload")), QString());
    EXPECT_EQ(r.readString(QStringLiteral("TempDir")), tempFolder());
    EXPECT_EQ(r.readBinary(QStringLiteral("CustomToolbar"), 256), WriteCustomToolbar(BuiltInToolbarLayout()));
    EXPECT_EQ(r.readBinaryExact(QStringLiteral("ImportDescOrder"), 4), QByteArray("\x00\x02\x01\x03", 4));
    EXPECT_EQ(r.readBinaryExact(QStringLiteral("ArchiveSupport"), 4), Le32(0xFFFFFFFF));
    EXPECT_EQ(r.readBinaryExact(QStringLiteral("ArchiveSupport2"), 4), Le32(0xFFFFFFFF));
    EXPECT_TRUE(RevisionCurrent(r));

    const TOptions back = loaded();
    EXPECT_FALSE(back.modified());
    EXPECT_EQ(texts(back), texts(o));
    for (const QString &name : TOptions::SettingNames())
        EXPECT_TRUE(back.settingStored(name)) << name.toStdString();
}

TEST_F(OptionsTest, EveryChangedValueComesBackAfterSaving)
{
    TOptions o(env());
    ChangeEverything(o, m_temp.path());
    const TOptions initial(env());
    // Every setting differs from its initial state, but for radio buttons
    // that stay off when another one of their group is chosen.
    const QStringList stayOff = {QStringLiteral("Toolbar2"), QStringLiteral("Toolbar3"),
                                 QStringLiteral("AlwaysRemoveTemp")};
    for (const QString &name : TOptions::SettingNames()) {
        if (!stayOff.contains(name)) {
            EXPECT_NE(o.settingText(name), initial.settingText(name)) << name.toStdString();
        }
    }
    saveAll(o);
    const TOptions back = loaded();
    EXPECT_FALSE(back.modified());
    EXPECT_EQ(texts(back), texts(o));
    EXPECT_EQ(back.ToolbarBox, o.ToolbarBox);
    EXPECT_EQ(back.FontSlots, o.FontSlots);
    EXPECT_EQ(back.ImportDescList, o.ImportDescList);
    EXPECT_EQ(back.AutoloadList, o.AutoloadList);
    EXPECT_EQ(back.DescList, o.DescList);
}

TEST_F(OptionsTest, ARevisionMarkerOtherThanTwoDeletesTheKeyWithAllSubkeys)
{
    const QStringList subkeys = {QStringLiteral("Columns"), QStringLiteral("ReportGen"), QStringLiteral("MRUList"),
                                 QStringLiteral("Toolbar"), QStringLiteral("UserListToolbar"),
                                 QStringLiteral("CompareToolbar")};
    const auto fill = [&](const std::optional<QByteArray> &marker, bool asString) {
        Registry r;
        r.deleteKey(kMain);
        ASSERT_TRUE(r.openKey(kMain, true));
        ASSERT_TRUE(r.writeBinary(QStringLiteral("Settings"), Le32(1)));
        if (marker && asString) {
            ASSERT_TRUE(r.writeString(QStringLiteral("RevisionMarker"), QString::fromLatin1(*marker)));
        } else if (marker) {
            ASSERT_TRUE(r.writeBinary(QStringLiteral("RevisionMarker"), *marker));
        }
        for (const QString &sub : subkeys) {
            ASSERT_TRUE(r.openKey(kMain + QLatin1Char('\\') + sub, true));
            ASSERT_TRUE(r.writeString(QStringLiteral("F0"), QStringLiteral("x")));
        }
        ASSERT_TRUE(r.flush());
    };

    fill(QByteArray(1, '\x01'), false);
    {
        Registry r;
        const TRevisionCheck check = RevisionCheck(r);
        EXPECT_TRUE(check.MarkerPresent);   // not a first run
        EXPECT_TRUE(check.Wiped);
    }
    {
        Registry r;
        EXPECT_FALSE(r.keyExists(kMain));
        for (const QString &sub : subkeys)
            EXPECT_FALSE(r.keyExists(kMain + QLatin1Char('\\') + sub)) << sub.toStdString();
    }

    fill(QByteArray(1, '\x02'), false);
    {
        Registry r;
        const TRevisionCheck check = RevisionCheck(r);
        EXPECT_TRUE(check.MarkerPresent);
        EXPECT_FALSE(check.Wiped);
        for (const QString &sub : subkeys)
            EXPECT_TRUE(r.keyExists(kMain + QLatin1Char('\\') + sub)) << sub.toStdString();
    }

    // Missing, two bytes long, or not a byte block: not present, and wiped.
    for (const auto &[marker, asString] : std::vector<std::pair<std::optional<QByteArray>, bool>>{
             {std::nullopt, false}, {QByteArray("\x02\x02", 2), false}, {QByteArray("\x02", 1), true},
             {QByteArray(), false}}) {
        fill(marker, asString);
        Registry r;
        const TRevisionCheck check = RevisionCheck(r);
        EXPECT_FALSE(check.MarkerPresent);
        EXPECT_TRUE(check.Wiped);
        EXPECT_FALSE(r.keyExists(kMain));
    }
}

// Today's formats keep their switches in a value of their own: a file written before it
// existed reads them on, whatever its old word says, and is not taken for damaged.
TEST_F(OptionsTest, SettingsWithoutTheNewArchiveSwitchesReadThemOn)
{
    TOptions o(env());
    saveAll(o);
    editMain([](Registry &r) {
        ASSERT_TRUE(r.deleteValue(QStringLiteral("ArchiveSupport2")));
        ASSERT_TRUE(r.writeBinary(QStringLiteral("ArchiveSupport"), QByteArray(4, '\0')));
    });
    const TOptions back = loaded();
    EXPECT_FALSE(back.modified());
    const std::array<bool, kArchiveTypeCount> types = back.archiveTypes();
    for (int i = 0; i < kArchiveTypeCount; ++i)
        EXPECT_EQ(types[size_t(i)], i >= kClassicArchiveTypeCount) << i;
    EXPECT_TRUE(back.CompressedTarCheck);
    EXPECT_TRUE(CompressedTarMembersShown());
}

TEST_F(OptionsTest, MissingSettingsWordGivesItsListedMeanings)
{
    TOptions o(env());
    ChangeEverything(o, m_temp.path());
    saveAll(o);
    editMain([](Registry &r) { ASSERT_TRUE(r.deleteValue(QStringLiteral("Settings"))); });
    const TOptions back = loaded();
    EXPECT_TRUE(back.modified());
    EXPECT_EQ(back.ButtonSizeBar, 2);
    EXPECT_EQ(back.toolbarDock(), 0);
    EXPECT_TRUE(back.Toolbar1);
    EXPECT_TRUE(back.ToolbarVisible);
    EXPECT_FALSE(back.ToolbarFloating);
    EXPECT_TRUE(back.descSourceEnabled(dsDescriptIon));
    EXPECT_TRUE(back.descSourceEnabled(dsFilesBbs));
    EXPECT_TRUE(back.DescAsTipsCheck);
    EXPECT_EQ(back.DescWaitBar, 12);   // 1.2 s
    EXPECT_EQ(back.DescHideBar, 5);
    EXPECT_TRUE(back.ShowPrevCheck);
    EXPECT_TRUE(back.ViewStatusCheck);
    EXPECT_TRUE(back.TipsCheck);
    EXPECT_FALSE(back.InsideZipCheck);
    EXPECT_EQ(back.DescMaxLevels, 2);
    EXPECT_FALSE(back.DescTruncCheck);
    EXPECT_EQ(back.DescTruncEdit, 3);
    EXPECT_FALSE(back.AutoloadCheck);
    EXPECT_FALSE(back.DescAlwaysCheck);
    // The other words were read.
    EXPECT_FALSE(back.settingStored(QStringLiteral("DescWaitBar")));
    EXPECT_TRUE(back.settingStored(QStringLiteral("AutoSaveEdit")));
    EXPECT_EQ(back.AutoSaveEdit, 240);
    EXPECT_EQ(back.descSourceEnabled(dsFileIdDiz), o.descSourceEnabled(dsFileIdDiz));
}

TEST_F(OptionsTest, MissingAdvSettingsWordGivesItsListedMeanings)
{
    TOptions o(env());
    ChangeEverything(o, m_temp.path());
    saveAll(o);
    editMain([](Registry &r) { ASSERT_TRUE(r.writeBinary(QStringLiteral("AdvSettings"), QByteArray(3, '\0'))); });
    const TOptions back = loaded();
    EXPECT_TRUE(back.modified());
    EXPECT_TRUE(back.DescKeepCurrentCheck);
    EXPECT_TRUE(back.UpdateNameCheck);
    EXPECT_TRUE(back.descSourceEnabled(dsFileIdDiz));
    EXPECT_TRUE(back.descSourceEnabled(dsArchiveComment));
    EXPECT_FALSE(back.AutoSaveCheck);
    EXPECT_EQ(back.AutoSaveEdit, 17);
    EXPECT_EQ(back.FileDoubleClickCombo, 1);   // "Display File's Properites"
    EXPECT_TRUE(back.AskRemoveTemp);
    EXPECT_FALSE(back.AlwaysRemoveTemp || back.AlwaysLeaveTemp);
    EXPECT_TRUE(back.RestoreDirCheck);         // keep the folder structure
    // The fallback word has bit 16 set, which sorts archive files as files
    // (ArchivesSortCheck clear); the word is taken as it stands.
    EXPECT_FALSE(back.ArchivesSortCheck);
    EXPECT_TRUE(back.ArchiveQuickScan);
    EXPECT_TRUE(back.SetSerialCheck);
    EXPECT_TRUE(back.SerialAskCheck);
    EXPECT_FALSE(back.IgnoreFilesCheck || back.IgnoreFoldersCheck || back.IgnoreRecycleCheck);
    EXPECT_FALSE(back.EjectMediaCheck || back.CreateBakCheck || back.FormattedSizesCheck);
    EXPECT_FALSE(back.ExternalViewerCheck);
    EXPECT_TRUE(back.InternalViewerCheck);
}

TEST_F(OptionsTest, TheFallbackWordsDecodeFieldByFieldAndEncodeBack)
{
    TOptions o(env());
    o.setSettingsWord(kSettingsFallback);
    EXPECT_EQ(o.settingsWord(), kSettingsFallback);
    EXPECT_EQ(o.ButtonSizeBar, 2);
    EXPECT_EQ(o.DescWaitBar, 12);
    EXPECT_EQ(o.DescHideBar, 5);
    EXPECT_EQ(o.DescMaxLevels, 2);
    EXPECT_EQ(o.DescTruncEdit, 3);

    o.setAdvSettingsWord(kAdvSettingsFallback);
    EXPECT_EQ(o.advSettingsWord(), kAdvSettingsFallback);
    EXPECT_EQ((kAdvSettingsFallback >> 7) & 0xFF, 15u);        // 17 minutes
    EXPECT_EQ((kAdvSettingsFallback >> 16) & 1, 1u);           // archive files sort as files

    o.setSettings2Word(kSettings2Fallback);
    EXPECT_TRUE(o.ShowShortcutsCheck);
    EXPECT_FALSE(o.ShortFilenamesCheck);
    EXPECT_FALSE(o.DisableSmoothCheck);
    EXPECT_EQ(o.settings2Word(), kSettings2Fallback);

    o.setArchiveSupportWord(kArchiveSupportFallback);
    for (bool TOptionsControls::*field : TOptions::ArchiveFields())
        EXPECT_TRUE(o.*field);
    // The writer keeps the bits of no archive type set.
    EXPECT_EQ(o.archiveSupportWord(), 0xFFFFFFFFu);
}

TEST_F(OptionsTest, BitWordsRoundTripWhereTheirFieldsAreInRange)
{
    std::mt19937 rng(99);
    TOptions o(env());
    for (int round = 0; round < 2000; ++round) {
        quint32 s = rng();
        if ((s >> 28) == 0)
            s |= 1u << 28;   // 0 lines is clamped to 1
        o.setSettingsWord(s);
        ASSERT_EQ(o.settingsWord(), s) << std::hex << s;

        quint32 a = rng();
        a = (a & ~(0xFFu << 7)) | (quint32(rng() % 239) << 7);   // minutes 2-240
        const quint32 index = rng() % 6;                           // 0-4, or 5 standing for none
        a &= ~((3u << 18) | (1u << 31));
        a |= index == 5 ? (3u << 18) | (1u << 31) : ((index & 3) << 18) | ((index & 4) ? 1u << 31 : 0);
        a = (a & ~(3u << 20)) | (quint32(rng() % 3) << 20);        // ask, delete, leave
        o.setAdvSettingsWord(a);
        ASSERT_EQ(o.advSettingsWord(), a) << std::hex << a;

        const quint32 s2 = rng() & 7;
        o.setSettings2Word(s2);
        ASSERT_EQ(o.settings2Word(), s2);

        const quint32 arc = rng() | ~0x3FFFu;
        o.setArchiveSupportWord(arc);
        ASSERT_EQ(o.archiveSupportWord(), arc);
    }
}

TEST_F(OptionsTest, AutoSaveOf240MinutesIsStoredAs238)
{
    TOptions o(env());
    o.AutoSaveEdit = 240;
    EXPECT_EQ((o.advSettingsWord() >> 7) & 0xFF, 238u);
    saveAll(o);
    EXPECT_EQ(loaded().AutoSaveEdit, 240);
    o.AutoSaveEdit = 2;
    EXPECT_EQ((o.advSettingsWord() >> 7) & 0xFF, 0u);
    // Stored minutes past the range are clamped.
    o.setAdvSettingsWord(0xFFu << 7);
    EXPECT_EQ(o.AutoSaveEdit, 240);
}

TEST_F(OptionsTest, TrackBarAndSpinValuesAreClampedWhenRead)
{
    TOptions o(env());
    o.setSettingsWord(0x0FFFFFFF);   // truncation lines 0
    EXPECT_EQ(o.DescTruncEdit, 1);
    EXPECT_EQ(o.DescWaitBar, 15);
    EXPECT_EQ(o.DescHideBar, 15);
    EXPECT_EQ(o.DescMaxLevels, 8);
    EXPECT_EQ(o.ButtonSizeBar, 7);
    EXPECT_EQ(o.toolbarDock(), 3);
    // Exit action 3 names no choice: it reads as asking.
    o.setAdvSettingsWord(3u << 20);
    EXPECT_TRUE(o.AskRemoveTemp);
    EXPECT_EQ(o.exitActionField(), 0);
}

TEST_F(OptionsTest, DelayPositions16To20AreKeptAs15)
{
    TOptions o(env());
    for (int position = 16; position <= 20; ++position) {
        o.DescWaitBar = position;
        EXPECT_EQ((o.settingsWord() >> 16) & 15, 15u);
    }
    o.DescWaitBar = 18;
    saveAll(o);
    EXPECT_EQ(loaded().DescWaitBar, 15);

    QString note;
    EXPECT_TRUE(o.settingSet(QStringLiteral("DescWaitBar"), QStringLiteral("19"), &note).isEmpty());
    EXPECT_EQ(o.DescWaitBar, 15);
    EXPECT_TRUE(note.contains(QLatin1String("15"))) << note.toStdString();
    note.clear();
    EXPECT_TRUE(o.settingSet(QStringLiteral("DescWaitBar"), QStringLiteral("14"), &note).isEmpty());
    EXPECT_EQ(o.DescWaitBar, 14);
    EXPECT_TRUE(note.isEmpty());
    EXPECT_FALSE(o.settingSet(QStringLiteral("DescWaitBar"), QStringLiteral("21"), &note).isEmpty());
    EXPECT_EQ(o.DescWaitBar, 14);
}

TEST_F(OptionsTest, TheDoubleClickIndexSpansThreeBits)
{
    TOptions o(env());
    const std::vector<std::pair<int, quint32>> cases = {
        {-1, (3u << 18) | (1u << 31)}, {0, 0}, {1, 1u << 18}, {2, 2u << 18}, {3, 3u << 18}, {4, 1u << 31}};
    for (const auto &[index, bits] : cases) {
        o.FileDoubleClickCombo = index;
        EXPECT_EQ(o.advSettingsWord() & ((3u << 18) | (1u << 31)), bits) << index;
        o.setAdvSettingsWord(bits);
        EXPECT_EQ(o.FileDoubleClickCombo, index);
    }
    o.setAdvSettingsWord((1u << 18) | (1u << 31));   // 5: past the list
    EXPECT_EQ(o.FileDoubleClickCombo, -1);
}

TEST_F(OptionsTest, DisabledArchiveTypesClearOnlyTheirBits)
{
    TOptions o(env());
    o.ArcZIP = false;   // type 9
    o.ArcZ = false;     // type 14
    EXPECT_EQ(o.archiveSupportWord(), 0xFFFFFFFFu & ~(1u << 8) & ~(1u << 13));
    saveAll(o);
    const TOptions back = loaded();
    EXPECT_FALSE(back.ArcZIP);
    EXPECT_FALSE(back.ArcZ);
    EXPECT_TRUE(back.ArcRAR);
    // Loading copies the switches into the archive readers' table at once.
    EXPECT_FALSE(ArchiveTypeEnabled(9));
    EXPECT_FALSE(ArchiveTypeEnabled(14));
    EXPECT_TRUE(ArchiveTypeEnabled(8));
    EXPECT_FALSE(ArchiveTypeEnabled(0));
    EXPECT_FALSE(ArchiveTypeEnabled(kArchiveTypeCount + 1));
    EXPECT_STREQ(ArchiveTypeExtension(9), "ZIP");
    EXPECT_STREQ(ArchiveTypeExtension(13), "GZ");
    EXPECT_EQ(ArchiveTypeExtension(0), nullptr);
}

TEST_F(OptionsTest, FontSlotsAndUseFontDataLoadSlotBySlot)
{
    TOptions o(env());
    o.FontSlots[0] = TFontSlot{true, TFontData{QByteArray("Tree Font"), -13, fsBold}};
    o.FontSlots[3] = TFontSlot{true, TFontData{QByteArray("Assist"), 12, fsItalic}};
    o.FontSlots[5].UseCustomFont = false;
    EXPECT_EQ(o.useFontDataWord(), (1u << 0) | (1u << 2) | (1u << 3));
    saveAll(o);
    TOptions back = loaded();
    EXPECT_EQ(back.FontSlots, o.FontSlots);

    // A font value that cannot be read leaves its slot as designed; the others load.
    editMain([](Registry &r) {
        ASSERT_TRUE(r.writeBinary(QStringLiteral("Font3"), QByteArray(262, '\x01')));
        ASSERT_TRUE(r.deleteValue(QStringLiteral("UseFontData")));
    });
    back = loaded();
    EXPECT_TRUE(back.modified());
    EXPECT_EQ(back.FontSlots[0].Font, o.FontSlots[0].Font);
    EXPECT_EQ(back.FontSlots[3].Font, (TFontData{QByteArray("Ui Sans"), -11, 0}));
    // Without "UseFontData" every slot keeps its initial choice.
    EXPECT_EQ(back.useFontDataWord(), 0x24u);
    EXPECT_FALSE(back.settingStored(QStringLiteral("Font3")));
    EXPECT_TRUE(back.settingStored(QStringLiteral("Font0")));
    EXPECT_FALSE(back.settingStored(QStringLiteral("UseCustomFont0")));
}

TEST_F(OptionsTest, ImportDescOrderIsStoredWithTheSourceBits)
{
    // Stored with the source bits, order and check marks come back.
    TOptions o(env());
    o.ImportDescList = {TDescSource{dsFilesBbs, true}, TDescSource{dsArchiveComment, false},
                        TDescSource{dsDescriptIon, true}, TDescSource{dsFileIdDiz, false}};
    EXPECT_TRUE(o.settingsWord() & (1u << 7));     // DESCRIPT.ION
    EXPECT_TRUE(o.settingsWord() & (1u << 15));    // FILES.BBS
    EXPECT_FALSE(o.advSettingsWord() & (1u << 2)); // comment
    EXPECT_FALSE(o.advSettingsWord() & (1u << 3)); // FILE_ID.DIZ
    saveAll(o);
    EXPECT_EQ(loaded().ImportDescList, o.ImportDescList);
}

TEST_F(OptionsTest, CustomToolbarIsStoredAndAnOverlongOneIgnored)
{
    const std::vector<quint8> parsed = ParseCustomToolbar(QByteArray("\x01\x04\x00\x02\x01\xFF\x00\x03\xFF\x63", 10));
    TOptions o(env());
    o.ToolbarBox = parsed;
    saveAll(o);
    EXPECT_EQ(loaded().ToolbarBox, parsed);

    // More than 256 entries cannot be read: the toolbar as designed.
    editMain([](Registry &r) { ASSERT_TRUE(r.writeBinary(QStringLiteral("CustomToolbar"), QByteArray(257, '\0'))); });
    const TOptions back = loaded();
    EXPECT_EQ(back.ToolbarBox, BuiltInToolbarLayout());
    EXPECT_TRUE(back.modified());
}

TEST_F(OptionsTest, AMaximizedWindowIsStoredAsTheScreenInsideItsFrame)
{
    const TScreenGeometry screen{QRect(0, 0, 1920, 1080), QSize(1928, 1048)};
    Registry r;
    ASSERT_TRUE(StoreWindowPos(r, QStringLiteral("SearchWndPos"), QRect(-4, -4, 1928, 1048), -1, screen));
    ASSERT_TRUE(r.openKey(kMain, false));
    const auto bytes = r.readBinaryExact(QStringLiteral("SearchWndPos"), 20);
    r.closeKey();
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, EncodeWindowPos(QRect(0, 0, 1920, 1040), -1));
    EXPECT_EQ(bytes->left(4), Le32(0));
    EXPECT_EQ(bytes->mid(8, 4), Le32(1920));
    EXPECT_EQ(bytes->mid(12, 4), Le32(1040));
    EXPECT_EQ(bytes->mid(16, 4), Le32(0xFFFFFFFF));

    // A window of any other size is stored as it is.
    EXPECT_EQ(NormalizeMaximized(QRect(-4, -4, 800, 600), screen.Maximized), QRect(-4, -4, 800, 600));
    // The main window follows the same rule.
    const TMainWindowPos main{QRect(-4, -4, 1928, 1048), 250, 3, 0x8A};
    ASSERT_TRUE(StoreMainWindowPos(r, main, screen.Maximized));
    const auto restored = RestoreMainWindowPos(r);
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->Bounds, QRect(0, 0, 1920, 1040));
    EXPECT_EQ(restored->TreeWidth, 250);
    EXPECT_EQ(restored->ViewStyle, 3);
    EXPECT_EQ(restored->SortByte, 0x8A);
}

TEST_F(OptionsTest, AStoredPlacementOffTheScreenIsIgnored)
{
    const TScreenGeometry screen{QRect(0, 0, 1920, 1080), QSize(1928, 1048)};
    const QRect area = screen.Screen;
    Registry r;
    // Nothing stored: the design placement and the caller's own value.
    TRestoredPlacement none = RestoreWindowPos(r, QStringLiteral("ViewerWndPos"), area, 77);
    EXPECT_FALSE(none.Read);
    EXPECT_FALSE(none.Bounds);
    EXPECT_EQ(none.Own, 77);

    const std::vector<std::pair<QRect, bool>> cases = {
        {QRect(100, 100, 400, 300), true},   {QRect(2500, 100, 400, 300), false},
        {QRect(-500, 10, 400, 300), false},  {QRect(-300, 10, 400, 300), true},
        {QRect(1919, 0, 10, 10), true},      {QRect(1920, 0, 10, 10), false},
        {QRect(10, 1080, 10, 10), false},    {QRect(10, -10, 10, 10), true},
        {QRect(10, -11, 10, 10), false},     {QRect(-5000, -5000, 10, 10), false},
    };
    for (const auto &[bounds, onScreen] : cases) {
        ASSERT_TRUE(StoreWindowPos(r, QStringLiteral("DescAssistWndPos"), bounds, 123, screen));
        const TRestoredPlacement p = RestoreWindowPos(r, QStringLiteral("DescAssistWndPos"), area, -1);
        EXPECT_TRUE(p.Read);
        EXPECT_EQ(p.Bounds.has_value(), onScreen) << bounds.x() << "," << bounds.y();
        if (onScreen) {
            EXPECT_EQ(*p.Bounds, bounds);
        }
        EXPECT_EQ(p.Own, 123);   // handed back in any case
    }
    // A record of the wrong size is not read.
    editMain([](Registry &reg) { ASSERT_TRUE(reg.writeBinary(QStringLiteral("UserListWndPos"), QByteArray(19, '\0'))); });
    {
        Registry fresh;
        EXPECT_FALSE(RestoreWindowPos(fresh, QStringLiteral("UserListWndPos"), area, 5).Read);
        EXPECT_TRUE(RestoreWindowPos(fresh, QStringLiteral("DescAssistWndPos"), area, 5).Read);
    }
    // Saving the general settings leaves the window placements alone.
    TOptions o(env());
    saveAll(o);
    Registry fresh;
    ASSERT_TRUE(fresh.openKey(kMain, false));
    EXPECT_TRUE(fresh.valueExists(QStringLiteral("DescAssistWndPos")));
    EXPECT_TRUE(fresh.valueExists(QStringLiteral("UserListWndPos")));
}

TEST_F(OptionsTest, NoMainWindowRecordRestoresNothing)
{
    Registry r;
    EXPECT_EQ(RestoreMainWindowPos(r), std::nullopt);
}

TEST_F(OptionsTest, StoredFoldersAreTakenOnlyWhenTheyExist)
{
    TOptions o(env());
    saveAll(o);
    const QString existing = m_temp.path() + QStringLiteral("/kept");
    QDir().mkpath(existing);
    editMain([&](Registry &r) {
        ASSERT_TRUE(r.writeString(QStringLiteral("TempDir"), QStringLiteral("C:\\TEMP\\")));
        ASSERT_TRUE(r.writeString(QStringLiteral("CatalogDir"), existing));
    });
    TOptions back = loaded();
    EXPECT_EQ(back.ExtractDir, tempFolder());
    EXPECT_FALSE(back.settingStored(QStringLiteral("ExtractDir")));
    EXPECT_EQ(back.CatalogPathEdit, existing);
    EXPECT_TRUE(back.settingStored(QStringLiteral("CatalogPathEdit")));
    EXPECT_FALSE(back.modified());

    // An empty stored folder keeps the initial one without being a read failure.
    editMain([&](Registry &r) {
        ASSERT_TRUE(r.writeString(QStringLiteral("TempDir"), QString()));
        ASSERT_TRUE(r.writeString(QStringLiteral("CatalogDir"), QStringLiteral("/no/such/folder/")));
        ASSERT_TRUE(r.writeString(QStringLiteral("ExternalViewer"), QString()));
    });
    back = loaded();
    EXPECT_EQ(back.ExtractDir, tempFolder());
    EXPECT_EQ(back.CatalogPathEdit, programFolder());
    EXPECT_EQ(back.ViewerEdit, QStringLiteral("xdg-open"));
    EXPECT_FALSE(back.modified());
}

TEST_F(OptionsTest, AValueThatCannotBeReadMarksModifiedAndLoadingGoesOn)
{
    TOptions o(env());
    ChangeEverything(o, m_temp.path());
    saveAll(o);
    editMain([](Registry &r) {
        ASSERT_TRUE(r.writeString(QStringLiteral("Settings"), QStringLiteral("not bytes")));
        ASSERT_TRUE(r.writeInteger(QStringLiteral("Autoload"), 5));
        ASSERT_TRUE(r.writeBinary(QStringLiteral("ImportDescOrder"), QByteArray(5, '\0')));
    });
    const TOptions back = loaded();
    EXPECT_TRUE(back.modified());
    // The three fall back; everything after them was still read.
    EXPECT_EQ(back.DescWaitBar, 12);
    EXPECT_TRUE(back.AutoloadList.isEmpty());
    EXPECT_EQ(ImportDescOrderBytes(back.ImportDescList), QByteArray("\x00\x02\x01\x03", 4));
    EXPECT_EQ(back.AutoSaveEdit, 240);
    EXPECT_EQ(back.DescList, o.DescList);
    EXPECT_EQ(back.ExtractDir, o.ExtractDir);
    EXPECT_EQ(back.ViewerEdit, o.ViewerEdit);
    EXPECT_EQ(back.FontSlots, o.FontSlots);
    EXPECT_FALSE(back.ArcZIP);

    // The next save writes a full, readable set again.
    TOptions again = back;
    saveAll(again);
    EXPECT_FALSE(loaded().modified());
}

TEST_F(OptionsTest, ADamagedOrForeignFileStartsFromDefaults)
{
    const TOptions initial(env());
    std::mt19937 rng(17);
    QByteArray garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += char(rng() & 0xFF);
    for (const QByteArray &bytes : {garbage, QByteArray("[General]\nRevisionMarker=@ByteArray(\\x2)\nSettings=zz\n"),
                                    QByteArray("just some text\n")}) {
        writeFileBytes(bytes);
        Registry r;
        RevisionCheck(r);
        TOptions o(env());
        o.load(r);
        EXPECT_TRUE(o.modified());
        if (bytes.startsWith("[General]")) {
            EXPECT_EQ(o.DescWaitBar, 12);   // the key is there: the fallback word
        } else {
            EXPECT_EQ(texts(o), texts(initial));
        }
        RecordingPrompter p;
        ASSERT_TRUE(o.save(r, p));
    }
    Registry clean;
    EXPECT_FALSE(clean.damaged());
    EXPECT_FALSE(loaded().modified());
}

TEST_F(OptionsTest, EveryPrefixOfASavedFileLoadsSavedOrDefaultValues)
{
    // The marker first, so that most prefixes pass the revision check.
    editMain([](Registry &r) { ASSERT_TRUE(r.writeBinary(QStringLiteral("RevisionMarker"), QByteArray(1, '\x02'))); });
    TOptions saved(env());
    ChangeEverything(saved, m_temp.path());
    saveAll(saved);
    const QByteArray full = fileBytes();

    const std::map<QString, QString> savedTexts = texts(saved);
    const std::map<QString, QString> initialTexts = texts(TOptions(env()));
    std::map<QString, QString> fallbackTexts;
    {
        Registry emptyKey{QString()};
        ASSERT_TRUE(emptyKey.openKey(kMain, true));
        TOptions fallback(env());
        fallback.load(emptyKey);
        fallbackTexts = texts(fallback);
    }
    int partial = 0;
    for (qsizetype cut = 0; cut + 1 < full.size(); cut += 3) {
        writeFileBytes(full.left(cut));
        Registry r;
        RevisionCheck(r);
        TOptions o(env());
        o.load(r);
        EXPECT_TRUE(o.modified()) << cut;
        int fromFile = 0;
        // The import list joins the stored order with check marks kept in
        // the bit words, which a cut file may hold one without the other.
        const QByteArray order = ImportDescOrderBytes(o.ImportDescList);
        ASSERT_TRUE(order == ImportDescOrderBytes(saved.ImportDescList) || order == QByteArray("\x00\x02\x01\x03", 4))
            << cut;
        for (const auto &[name, text] : texts(o)) {
            if (name == QLatin1String("ImportDescList"))
                continue;
            const bool allowed = text == savedTexts.at(name) || text == initialTexts.at(name)
                || text == fallbackTexts.at(name);
            ASSERT_TRUE(allowed) << cut << " " << name.toStdString() << " = " << text.toStdString();
            fromFile += text == savedTexts.at(name) && text != initialTexts.at(name);
        }
        if (fromFile > 0 && fromFile < int(savedTexts.size()))
            ++partial;
    }
    EXPECT_GT(partial, 10);   // the sweep did see partly written files
}

TEST_F(OptionsTest, ApplyingChecksTheFoldersWithTheirWarnings)
{
    TOptions o(env());
    RecordingPrompter p;
    o.ExtractDir = QStringLiteral("/no/such/extract");
    o.CatalogPathEdit = QStringLiteral("relative/catalogs");
    const TApplyResult result = o.apply(p);
    ASSERT_EQ(p.asked.size(), 2u);
    EXPECT_EQ(p.asked[0].caption, QStringLiteral("Invalid folder"));
    EXPECT_EQ(p.asked[0].text, QStringLiteral("Folder \"/no/such/extract\", set as temporary folder for extracting "
                                              "files does not exist!\rReverting to default Windows temporary folder."));
    EXPECT_EQ(p.asked[0].icon, MsgIcon::Warning);
    EXPECT_EQ(p.asked[1].caption, QStringLiteral("Invalid folder"));
    EXPECT_EQ(p.asked[1].text, QStringLiteral("Folder \"relative/catalogs\", set as default folder for catalog "
                                              "storage does not exist!\rReverting to program folder."));
    EXPECT_EQ(p.asked[1].icon, MsgIcon::Warning);
    EXPECT_TRUE(result.ExtractDirReverted && result.CatalogPathReverted);
    EXPECT_EQ(o.ExtractDir, tempFolder());
    EXPECT_EQ(o.CatalogPathEdit, programFolder());
    EXPECT_TRUE(o.modified());

    // A valid folder gets its trailing "/" and no warning.
    p.asked.clear();
    o.ExtractDir = m_temp.path();
    o.CatalogPathEdit = QStringLiteral("/");
    o.apply(p);
    EXPECT_TRUE(p.asked.empty());
    EXPECT_EQ(o.ExtractDir, tempFolder());
    EXPECT_EQ(o.CatalogPathEdit, QStringLiteral("/"));
}

TEST_F(OptionsTest, ApplyingRecordsTheExitActionAndTheArchiveTable)
{
    TOptions o(env());
    RecordingPrompter p;
    EXPECT_EQ(o.apply(p).ArchivesSortChanged, true);   // the first apply changes everything
    EXPECT_EQ(o.extractedExitAction(), kExitAskExtracted);
    o.setExitActionField(1);
    o.apply(p);
    EXPECT_EQ(o.extractedExitAction(), kExitDeleteExtracted);
    o.setExitActionField(2);
    o.apply(p);
    EXPECT_EQ(o.extractedExitAction(), kExitLeaveExtracted);

    o.ArcRAR = false;
    const TApplyResult unchanged = o.apply(p);
    EXPECT_FALSE(unchanged.ArchivesSortChanged || unchanged.FormattedSizesChanged || unchanged.ShowPrevChanged);
    EXPECT_FALSE(ArchiveTypeEnabled(8));
    o.ArcRAR = true;
    o.ArchivesSortCheck = !o.ArchivesSortCheck;
    o.ShowPrevCheck = !o.ShowPrevCheck;
    const TApplyResult changed = o.apply(p);
    EXPECT_TRUE(ArchiveTypeEnabled(8));
    EXPECT_TRUE(changed.ArchivesSortChanged && changed.ShowPrevChanged);
    EXPECT_FALSE(changed.FormattedSizesChanged);
    EXPECT_TRUE(p.asked.empty());
}

TEST_F(OptionsTest, AStoreThatCannotBeWrittenShowsTheSaveMessage)
{
    QFile blocker(m_config.filePath(QStringLiteral("Orvanta")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TOptions o(env());
    Registry r;
    o.load(r);
    RecordingPrompter p;
    EXPECT_FALSE(o.save(r, p));
    ASSERT_EQ(p.asked.size(), 1u);
    EXPECT_EQ(p.asked[0].caption, QStringLiteral("Error saving config"));
    EXPECT_EQ(p.asked[0].text, QStringLiteral("An error has occured while writing to registry!\r\nPlease check your "
                                              "windows registry, there may be more serious problem involved."));
    EXPECT_EQ(p.asked[0].icon, MsgIcon::Error);
    EXPECT_TRUE(o.modified());
}

TEST_F(OptionsTest, PlatformFoldersViewerAndFolderCheck)
{
    EXPECT_EQ(DefaultExternalViewer([](const QString &) { return QString(); }), QStringLiteral("xdg-open"));
    EXPECT_EQ(DefaultExternalViewer(nullptr), QStringLiteral("xdg-open"));
    EXPECT_EQ(TOptions(env({QStringLiteral("kate"), QStringLiteral("gedit")})).ViewerEdit,
              QStringLiteral("/opt/editors/gedit"));
    EXPECT_EQ(TOptions(env({QStringLiteral("featherpad")})).ViewerEdit, QStringLiteral("/opt/editors/featherpad"));
    EXPECT_EQ(ExternalViewerCandidates().first(), QStringLiteral("gnome-text-editor"));

    const TOptionsEnvironment system = SystemOptionsEnvironment();
    EXPECT_EQ(system.TempFolder(), QDir::tempPath());
    // Without an application object the program's folder is the executable's.
    const QString program = system.ProgramFolder();
    EXPECT_TRUE(QFileInfo(program + QStringLiteral("/settings_tests")).isFile()) << program.toStdString();
    EXPECT_EQ(system.FindExecutable(QStringLiteral("no-such-program-here")), QString());

    TOptionsEnvironment noTemp = env();
    noTemp.TempFolder = [] { return QString(); };
    EXPECT_EQ(TOptions(noTemp).ExtractDir, QStringLiteral("./"));

    EXPECT_TRUE(FolderValid(QStringLiteral("/")));
    EXPECT_TRUE(FolderValid(m_temp.path()));
    EXPECT_TRUE(FolderValid(m_temp.path() + QLatin1Char('/')));
    EXPECT_FALSE(FolderValid(QString()));
    EXPECT_FALSE(FolderValid(QStringLiteral("relative")));
    EXPECT_FALSE(FolderValid(QStringLiteral("./")));
    EXPECT_FALSE(FolderValid(QStringLiteral("C:\\")));
    EXPECT_FALSE(FolderValid(m_temp.path() + QStringLiteral("/missing")));
    QFile plain(m_temp.filePath(QStringLiteral("plain.txt")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_FALSE(FolderValid(plain.fileName()));
    EXPECT_EQ(WithTrailingSlash(QStringLiteral("/a")), QStringLiteral("/a/"));
    EXPECT_EQ(WithTrailingSlash(QStringLiteral("/a/")), QStringLiteral("/a/"));
    EXPECT_EQ(WithTrailingSlash(QString()), QString());
}

TEST_F(OptionsTest, SettingsByControlName)
{
    const QStringList names = TOptions::SettingNames();
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), names.size());
    for (const char *name : {"InsideZipCheck", "ExtractDir", "AutoSaveEdit", "DescList", "DescWaitBar",
                             "FileDoubleClickCombo", "ArcZIP", "ArcARC", "ArcZ", "Font0", "Font5", "UseCustomFont2",
                             "ImportDescList", "ToolbarBox", "AutoloadList", "ViewerEdit", "CatalogPathEdit",
                             "Toolbar4", "AskRemoveTemp", "ExternalViewerCheck"})
        EXPECT_TRUE(TOptions::IsSetting(QLatin1String(name))) << name;
    EXPECT_FALSE(TOptions::IsSetting(QStringLiteral("NoSuchCheck")));

    TOptions o(env());
    EXPECT_EQ(o.settingValue(QStringLiteral("InsideZipCheck")).metaType().id(), QMetaType::Bool);
    EXPECT_EQ(o.settingValue(QStringLiteral("AutoSaveEdit")).toInt(), 15);
    EXPECT_EQ(o.settingValue(QStringLiteral("DescList")).toStringList().size(), 4);
    EXPECT_EQ(o.settingValue(QStringLiteral("Font2")).toMap().value(QStringLiteral("name")).toString(),
              QStringLiteral("Courier New"));

    QString note;
    EXPECT_TRUE(o.settingSet(QStringLiteral("AutoSaveEdit"), QStringLiteral("241"), &note)
                    .contains(QLatin1String("2 to 240")));
    EXPECT_TRUE(o.settingSet(QStringLiteral("AutoSaveEdit"), QStringLiteral("1"), &note)
                    .contains(QLatin1String("out of range")));
    EXPECT_FALSE(o.settingSet(QStringLiteral("AutoSaveEdit"), QStringLiteral("ten"), &note).isEmpty());
    EXPECT_EQ(o.AutoSaveEdit, 15);
    EXPECT_FALSE(o.modified());
    EXPECT_TRUE(o.settingSet(QStringLiteral("AutoSaveEdit"), QStringLiteral("240"), &note).isEmpty());
    EXPECT_EQ(o.AutoSaveEdit, 240);
    EXPECT_TRUE(o.modified());

    EXPECT_FALSE(o.settingSet(QStringLiteral("InsideZipCheck"), QStringLiteral("maybe"), &note).isEmpty());
    EXPECT_TRUE(o.settingSet(QStringLiteral("InsideZipCheck"), QStringLiteral("false"), &note).isEmpty());
    EXPECT_FALSE(o.InsideZipCheck);
    EXPECT_FALSE(o.settingSet(QStringLiteral("Toolbar1"), QStringLiteral("false"), &note).isEmpty());
    EXPECT_TRUE(o.settingSet(QStringLiteral("Toolbar3"), QStringLiteral("true"), &note).isEmpty());
    EXPECT_EQ(o.toolbarDock(), 2);
    EXPECT_FALSE(o.Toolbar1);
    EXPECT_TRUE(o.settingSet(QStringLiteral("AlwaysLeaveTemp"), QStringLiteral("true"), &note).isEmpty());
    EXPECT_EQ(o.exitActionField(), 2);
    EXPECT_FALSE(o.AskRemoveTemp);
    EXPECT_TRUE(o.settingSet(QStringLiteral("FileDoubleClickCombo"), QStringLiteral("-1"), &note).isEmpty());
    EXPECT_FALSE(o.settingSet(QStringLiteral("FileDoubleClickCombo"), QStringLiteral("5"), &note).isEmpty());

    EXPECT_FALSE(o.settingSet(QStringLiteral("ExtractDir"), QStringLiteral("/no/such"), &note).isEmpty());
    EXPECT_TRUE(o.settingSet(QStringLiteral("ExtractDir"), m_temp.path(), &note).isEmpty());

    EXPECT_TRUE(o.settingSet(QStringLiteral("ImportDescList"), QStringLiteral("2:on,0:on,1:off,3:off"), &note).isEmpty());
    EXPECT_EQ(ImportDescOrderBytes(o.ImportDescList), QByteArray("\x02\x00\x01\x03", 4));
    EXPECT_TRUE(o.descSourceEnabled(dsDescriptIon) && o.descSourceEnabled(dsFileIdDiz));
    EXPECT_EQ(o.settingText(QStringLiteral("ImportDescList")), QStringLiteral("2:on,0:on,1:off,3:off"));
    EXPECT_FALSE(o.settingSet(QStringLiteral("ImportDescList"), QStringLiteral("2:on,2:on,1:off,3:off"), &note).isEmpty());
    EXPECT_FALSE(o.settingSet(QStringLiteral("ImportDescList"), QStringLiteral("0:on"), &note).isEmpty());

    EXPECT_TRUE(o.settingSet(QStringLiteral("ToolbarBox"), QStringLiteral("1,0,2,255"), &note).isEmpty());
    EXPECT_EQ(o.ToolbarBox.size(), 4u + 25u);
    EXPECT_FALSE(o.settingSet(QStringLiteral("ToolbarBox"), QStringLiteral("1,4"), &note).isEmpty());
    EXPECT_FALSE(o.settingSet(QStringLiteral("ToolbarBox"), QStringLiteral("1,1"), &note).isEmpty());

    EXPECT_TRUE(o.settingSet(QStringLiteral("Font2"), QStringLiteral("\"DejaVu Sans Mono\",-14,bold,italic"), &note)
                    .isEmpty());
    EXPECT_EQ(o.FontSlots[2].Font, (TFontData{QByteArray("DejaVu Sans Mono"), -14, fsBold | fsItalic}));
    EXPECT_EQ(o.settingText(QStringLiteral("Font2")), QStringLiteral("\"DejaVu Sans Mono\",-14,bold,italic"));
    EXPECT_FALSE(o.settingSet(QStringLiteral("Font2"), QStringLiteral("Mono"), &note).isEmpty());
    EXPECT_FALSE(o.settingSet(QStringLiteral("Font2"), QStringLiteral("Mono,12,heavy"), &note).isEmpty());

    EXPECT_TRUE(o.settingSet(QStringLiteral("AutoloadList"), QStringLiteral("\"/a b.ctf\",/c.ctf"), &note).isEmpty());
    EXPECT_EQ(o.AutoloadList, (QStringList{QStringLiteral("/a b.ctf"), QStringLiteral("/c.ctf")}));
    EXPECT_FALSE(o.settingSet(QStringLiteral("AutoloadList"), QStringLiteral("/a.ctf,/A.CTF"), &note).isEmpty());
    EXPECT_FALSE(o.settingSet(QStringLiteral("NoSuchCheck"), QStringLiteral("1"), &note).isEmpty());
}

} // namespace
