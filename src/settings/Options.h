// The general settings of the program, without any window: TOptions holds
// what the Program Settings dialog holds, one field per control and named
// after it (InsideZipCheck, ExtractDir, DescList, ...), and knows how the
// values are laid out in the registry, loaded, checked, applied and saved
// (Options.cpp), and reaches every setting by its control name for the
// command line (OptionDefs.cpp). The byte layouts of the values are in their
// own headers, included here: FontValue.h, ToolbarLayout.h, DescSources.h,
// CommaText.h, WindowPos.h. Beside the holder: storing and restoring window
// placements and the revision check of the store.
//
// Folders on this platform are absolute paths and end with "/" (where a
// Windows folder text ends with a backslash).
#pragma once

#include "archive/ArchiveTypes.h"
#include "settings/CommaText.h"
#include "settings/DescSources.h"
#include "settings/FontValue.h"
#include "settings/Registry.h"
#include "settings/ToolbarLayout.h"
#include "settings/WindowPos.h"

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <vector>

class Prompter;

// --- window placements ----------------------------------------------------

// What a window gets back from its stored placement.
struct TRestoredPlacement {
    bool Read = false;               // 20 bytes were read
    std::optional<QRect> Bounds;     // set when read and on the screen
    qint32 Own = -1;                 // the stored value, or the caller's default
};
// Stores a secondary window's placement under valueName ("SearchWndPos", ...)
// of the main key, creating it. False when it cannot be written.
bool StoreWindowPos(Registry &registry, const QString &valueName, const QRect &bounds, qint32 own,
                    const TScreenGeometry &screen);
// Reads it back; a missing, wrong or off-screen placement leaves the window
// where it was designed to be. The window goes to its normal state in any case.
TRestoredPlacement RestoreWindowPos(Registry &registry, const QString &valueName, const QRect &screen,
                                    qint32 defaultOwn);

// Stores the main window's "WindowPos" with the maximized rule applied.
// False when it cannot be written.
bool StoreMainWindowPos(Registry &registry, const TMainWindowPos &pos, const QSize &maximized);
// Nothing unless exactly 30 bytes are read.
std::optional<TMainWindowPos> RestoreMainWindowPos(Registry &registry);

// --- revision check ---------------------------------------------------------

inline constexpr quint8 kRevisionMarker = 2;

struct TRevisionCheck {
    bool MarkerPresent = false;      // exactly one byte was read: not a first run
    bool Wiped = false;              // the main key was deleted
};
// At start-up, before anything reads the settings: unless "RevisionMarker"
// is the one byte 2, the main key is deleted with all its subkeys (and the
// store flushed). MarkerPresent false means a first run (the setup wizard).
TRevisionCheck RevisionCheck(Registry &registry);
// Whether "RevisionMarker" is the one byte 2, changing nothing.
bool RevisionCurrent(Registry &registry);

// --- platform ---------------------------------------------------------------

// The services the settings need of the system, replaceable in tests.
struct TOptionsEnvironment {
    std::function<QString()> TempFolder;          // the system's temporary folder
    std::function<QString()> ProgramFolder;       // the folder of the program's executable
    std::function<QString(const QString &)> FindExecutable;   // full path of a program, empty when not found
    TFontData IconTitleFont;                      // system default of font slots 0 and 1
    TFontData UiFont;                             // system default of font slots 2 to 5
};
// The real ones: QDir::tempPath(), the executable's folder, QStandardPaths::findExecutable.
TOptionsEnvironment SystemOptionsEnvironment();
// The executable's folder (QCoreApplication's when there is one, else /proc/self/exe's).
QString ProgramFolder();
// The desktop text editors tried for the external viewer, in order.
QStringList ExternalViewerCandidates();
// The first candidate found, else "xdg-open".
QString DefaultExternalViewer(const std::function<QString(const QString &)> &findExecutable);
// folder with "/" at its end (an empty text stays empty).
QString WithTrailingSlash(const QString &folder);
// The folder check: with one trailing "/" removed (except from "/"), an
// absolute path that names an existing folder. Relative paths fail: they
// name no fixed folder.
bool FolderValid(const QString &folder);

// --- the settings holder ----------------------------------------------------

// Exit actions for extracted files, as the program records them when applying.
inline constexpr int kExitLeaveExtracted = -1;
inline constexpr int kExitAskExtracted = 0;
inline constexpr int kExitDeleteExtracted = 1;

// The word each of the four 32-bit values falls back to when missing or not 4 bytes.
inline constexpr quint32 kSettingsFallback = 0x315CAEA2;
inline constexpr quint32 kAdvSettingsFallback = 0x0005078F;
inline constexpr quint32 kSettings2Fallback = 0x00000001;
inline constexpr quint32 kArchiveSupportFallback = 0x0000FFFF;
// Every one of today's formats is read until the settings say otherwise.
inline constexpr quint32 kArchiveSupport2Fallback = 0xFFFFFFFF;
// The bit of "ArchiveSupport2" that shows the files inside compressed tar archives; the
// type switches take the bits from 0 up.
inline constexpr int kCompressedTarBit = 31;

// What applying changed that the windows have to follow.
struct TApplyResult {
    bool ExtractDirReverted = false;
    bool CatalogPathReverted = false;
    bool ArchivesSortChanged = false;     // re-sort the item list
    bool FormattedSizesChanged = false;   // redraw the item, found and user lists
    bool ShowPrevChanged = false;         // add or remove the ".." row
};

// The controls of the Program Settings dialog with their initial states
// (the values when nothing is stored), one field per control.
struct TOptionsControls {
    // --- User interface page
    bool DescAsTipsCheck = true;
    int DescWaitBar = 12;            // tenths of a second, 0-20 (16-20 are stored as 15)
    int DescHideBar = 5;             // seconds, 0-15
    bool ShowPrevCheck = true;
    bool ViewStatusCheck = true;
    bool ArchivesSortCheck = true;   // archive files sort as folders
    bool TipsCheck = true;
    bool FormattedSizesCheck = true;
    bool ShowShortcutsCheck = true;
    bool DisableSmoothCheck = true;
    int FileDoubleClickCombo = -1;   // -1 no selection, 0 "Nothing" .. 4 "View File"

    // --- General page
    QString CatalogPathEdit;
    bool AutoSaveCheck = true;
    int AutoSaveEdit = 15;           // minutes, 2-240
    bool CreateBakCheck = true;
    bool InternalViewerCheck = true; // radio pair with ExternalViewerCheck
    bool ExternalViewerCheck = false;
    QString ViewerEdit;
    bool ShortFilenamesCheck = false;

    // --- Toolbar page
    bool Toolbar1 = true;            // dock radio group: top, bottom, left, right
    bool Toolbar2 = false;
    bool Toolbar3 = false;
    bool Toolbar4 = false;
    bool ToolbarVisible = true;
    bool ToolbarFloating = false;
    int ButtonSizeBar = 2;           // 0-7; buttons are 21 + 2 x step pixels square
    bool OldButtonsCheck = false;
    std::vector<quint8> ToolbarBox;  // the entry list (tags, separators, the marker)

    // --- Customize Fonts page
    std::array<TFontSlot, kFontSlotCount> FontSlots;

    // --- Disk Image Settings page
    TImportDescList ImportDescList;
    bool DescTruncCheck = false;
    int DescTruncEdit = 3;           // lines, 1-15
    bool DescKeepCurrentCheck = true;
    bool UpdateNameCheck = true;
    bool EjectMediaCheck = true;
    bool IgnoreFoldersCheck = true;
    bool IgnoreFilesCheck = true;
    bool IgnoreRecycleCheck = true;
    bool SetSerialCheck = true;
    bool SerialAskCheck = true;

    // --- Archive Files page
    QString ExtractDir;
    bool AlwaysRemoveTemp = false;   // radio group of the exit action
    bool AlwaysLeaveTemp = false;
    bool AskRemoveTemp = true;
    bool RestoreDirCheck = false;
    bool InsideZipCheck = true;
    bool ArcARC = true, ArcARJ = true, ArcCAB = true, ArcHA = true, ArcLHA = true, ArcLZH = true, ArcPAK = true,
         ArcRAR = true, ArcZIP = true, ArcZOO = true, ArcEXE = true, ArcTAR = true, ArcGZIP = true, ArcZ = true;
    // Today's formats (kept in "ArchiveSupport2", one bit each in table order).
    bool Arc7Z = true, ArcXZ = true, ArcTXZ = true, ArcBZ2 = true, ArcTBZ2 = true, ArcZST = true, ArcTZST = true,
         ArcISO = true, ArcTGZ = true, ArcTAZ = true;
    // "Show the files inside compressed tar archives" (bit 31 of "ArchiveSupport2").
    bool CompressedTarCheck = true;
    bool ArchiveDescOnly = false;
    bool ArchiveQuickScan = false;

    // --- Descriptions page
    QStringList DescList;
    bool DescAlwaysCheck = false;
    int DescMaxLevels = 2;           // 1-8

    // --- Auto Load page
    bool AutoloadCheck = false;
    QStringList AutoloadList;
};

class TOptions : public TOptionsControls
{
public:
    explicit TOptions(TOptionsEnvironment environment = SystemOptionsEnvironment());

    // The archive type switches in index order (ArcARC is type 1).
    static const std::array<bool TOptionsControls::*, kArchiveTypeCount> &ArchiveFields();
    std::array<bool, kArchiveTypeCount> archiveTypes() const;

    // Every control as the dialog is designed, with the environment's folders,
    // viewer and fonts. Forgets which values were read.
    void resetToInitial();
    // Loading, in order: initial values; the main key (missing: modified, stop);
    // fonts, import order, toolbar, the four bit words, the lists and folders.
    // Each value that cannot be read marks the settings modified.
    void load(Registry &registry);
    // Saving: every value of the main key but the window placements, then
    // "RevisionMarker". When the key cannot be opened or created or the store
    // cannot be written, the error message goes to the prompter, the settings
    // stay modified and the result is false. Clears the modified flag otherwise.
    bool save(Registry &registry, Prompter &prompter);
    // Saves when the settings are marked modified (before the dialog shows,
    // and when the holder goes at program end); true when nothing was pending.
    bool saveIfModified(Registry &registry, Prompter &prompter);
    // Applying, as far as it is not drawing: the folder checks with their
    // warnings (and the trailing "/"), the exit action, the archive table.
    TApplyResult apply(Prompter &prompter);

    bool modified() const { return m_modified; }
    void setModified(bool modified) { m_modified = modified; }
    // The exit action recorded by the last apply (kExit...).
    int extractedExitAction() const { return m_exitAction; }

    // The bit words as saved and their readers (which clamp to the controls' ranges).
    quint32 settingsWord() const;
    void setSettingsWord(quint32 word);
    quint32 advSettingsWord() const;
    void setAdvSettingsWord(quint32 word);
    quint32 settings2Word() const;
    void setSettings2Word(quint32 word);
    quint32 archiveSupportWord() const;
    void setArchiveSupportWord(quint32 word);
    quint32 archiveSupport2Word() const;
    void setArchiveSupport2Word(quint32 word);
    quint32 useFontDataWord() const;
    void setUseFontDataWord(quint32 word);

    // The toolbar dock 0-3 of the radio group Toolbar1-4, and setting it.
    int toolbarDock() const;
    void setToolbarDock(int dock);
    // The exit action field 0 ask, 1 delete, 2 leave of the radio group.
    int exitActionField() const;
    void setExitActionField(int field);
    // Whether a description source (TDescSourceId) is checked, and checking it.
    bool descSourceEnabled(int id) const;
    void setDescSourceEnabled(int id, bool enabled);

    const TOptionsEnvironment &environment() const { return m_env; }
    // The system's temporary folder with "/" at its end ("./" when there is none).
    QString systemTempFolder() const;
    // The program's folder with "/" at its end.
    QString programFolder() const;

    // Whether the registry value valueName was read by the last load.
    bool valueWasRead(const QString &valueName) const { return m_read.count(valueName) != 0; }

    // --- settings by control name (listings and the command line)

    // The names in listing order (the dialog's pages, then fonts).
    static QStringList SettingNames();
    static bool IsSetting(const QString &name);
    // A setting's value: bool, int, QString, QStringList or, for fonts, the
    // import list and the toolbar, a QVariantMap / QVariantList.
    QVariant settingValue(const QString &name) const;
    // The value in the text form settingSet accepts.
    QString settingText(const QString &name) const;
    // Whether the value in effect came from the store ("stored") rather than
    // from the built-in values ("initial").
    bool settingStored(const QString &name) const;
    // Sets a setting from its text form and marks the settings modified.
    // Returns an error text (nothing changed) or an empty text; note gets a
    // remark when the value is kept in another form (DescWaitBar 16-20).
    QString settingSet(const QString &name, const QString &text, QString *note = nullptr);

private:
    void readFonts(Registry &registry);
    void readBitWords(Registry &registry);
    void readListsAndFolders(Registry &registry);
    void markRead(const QString &valueName) { m_read.insert(valueName); }
    void failedRead() { m_modified = true; }

    TOptionsEnvironment m_env;
    bool m_modified = false;
    int m_exitAction = kExitAskExtracted;
    std::set<QString> m_read;
    // What the last apply saw, to tell what changed.
    struct Applied {
        bool ArchivesSortCheck, FormattedSizesCheck, ShowPrevCheck;
    };
    std::optional<Applied> m_applied;
};

// The texts of the settings' messages.
QString MsgSaveConfigCaption();    // "Error saving config"
QString MsgSaveConfigText();
QString MsgInvalidFolderCaption(); // "Invalid folder"
QString MsgInvalidTempFolder(const QString &folder);
QString MsgInvalidCatalogFolder(const QString &folder);
