// The settings holder: the bit layouts of the four settings words, loading,
// saving and applying the options, storing and restoring window placements,
// and the revision check of the settings store.
#include "settings/Options.h"

#include "archive/UnLibarchive.h"
#include "platform/Prompter.h"
#include "settings/OptionValues.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>

#include <algorithm>

using namespace optionvalues;

namespace {

// The main window's placement.
const QString kWindowPos = QStringLiteral("WindowPos");

const char kDefaultDescFiles[] = "FILE_ID.DIZ,DESCRIPT.ION,*.NFO,*.TXT";
// The custom font of slots 2 and 5 as designed: Courier New, 15 pixels
// character height (a negative font height), regular.
const char kCourierNew[] = "Courier New";
constexpr qint32 kCourierHeight = -15;

// Bits of "Settings".
enum SettingsBit : int {
    sbButtonSize = 0,        // 3 bits
    sbDock = 3,              // 2 bits
    sbToolbarVisible = 5,
    sbToolbarFloating = 6,
    sbDescriptIon = 7,
    sbInsideZip = 8,
    sbShowPrev = 9,
    sbDescAsTips = 10,
    sbViewStatus = 11,
    sbAutoload = 12,
    sbTips = 13,
    sbDescAlways = 14,
    sbFilesBbs = 15,
    sbDescWait = 16,         // 4 bits
    sbDescHide = 20,         // 4 bits
    sbDescMaxLevels = 24,    // 3 bits, depth - 1
    sbDescTrunc = 27,
    sbDescTruncLines = 28,   // 4 bits
};

// Bits of "AdvSettings".
enum AdvSettingsBit : int {
    abDescKeepCurrent = 0,
    abUpdateName = 1,
    abArchiveComment = 2,
    abFileIdDiz = 3,
    abIgnoreFiles = 4,
    abIgnoreFolders = 5,
    abAutoSave = 6,
    abAutoSaveMinutes = 7,   // 8 bits, minutes - 2
    abIgnoreRecycle = 15,
    abArchivesAsFiles = 16,  // ArchivesSortCheck inverted
    abOldButtons = 17,
    abDoubleClickLow = 18,   // 2 bits
    abExitAction = 20,       // 2 bits
    abNoRestoreDir = 22,     // RestoreDirCheck inverted
    abEjectMedia = 23,
    abArchiveDescOnly = 24,
    abNoQuickScan = 25,      // ArchiveQuickScan inverted
    abNoSetSerial = 26,      // SetSerialCheck inverted
    abNoSerialAsk = 27,      // SerialAskCheck inverted
    abFormattedSizes = 28,
    abCreateBak = 29,
    abExternalViewer = 30,
    abDoubleClickHigh = 31,  // bit value 4 of the double-click index
};

// Bits of "Settings2".
enum Settings2Bit : int { s2ShowShortcuts = 0, s2ShortFilenames = 1, s2DisableSmooth = 2 };

bool bitOf(quint32 word, int bit)
{
    return (word >> bit) & 1u;
}

quint32 bitIf(bool on, int bit)
{
    return on ? 1u << bit : 0u;
}

quint32 fieldOf(quint32 word, int shift, int width)
{
    return (word >> shift) & ((1u << width) - 1u);
}

quint32 readLe32(QByteArrayView bytes)
{
    return qFromLittleEndian<quint32>(bytes.data());
}

QByteArray le32Bytes(quint32 value)
{
    QByteArray out(4, '\0');
    qToLittleEndian(value, out.data());
    return out;
}

} // namespace

// --- messages -------------------------------------------------------------------

QString MsgSaveConfigCaption()
{
    return QStringLiteral("Error saving config");
}

QString MsgSaveConfigText()
{
    return QStringLiteral("An error has occured while writing to registry!\r\n"
                          "Please check your windows registry, there may be more serious problem involved.");
}

QString MsgInvalidFolderCaption()
{
    return QStringLiteral("Invalid folder");
}

QString MsgInvalidTempFolder(const QString &folder)
{
    return QStringLiteral("Folder ") + QLatin1Char('"') + folder + QLatin1Char('"') + QStringLiteral(", set as temporary ")
        + QStringLiteral("folder for extracting files does not exist!") + QLatin1Char('\r')
        + QStringLiteral("Reverting to default Windows temporary folder.");
}

QString MsgInvalidCatalogFolder(const QString &folder)
{
    return QStringLiteral("Folder ") + QLatin1Char('"') + folder + QLatin1Char('"') + QStringLiteral(", set as default ")
        + QStringLiteral("folder for catalog storage does not exist!") + QLatin1Char('\r')
        + QStringLiteral("Reverting to program folder.");
}

// --- window placements ------------------------------------------------------------------

bool StoreWindowPos(Registry &registry, const QString &valueName, const QRect &bounds, qint32 own,
                    const TScreenGeometry &screen)
{
    if (!registry.openKey(Registry::MainKey(), true))
        return false;
    const bool written = registry.writeBinary(valueName, EncodeWindowPos(NormalizeMaximized(bounds, screen.Maximized), own));
    const bool flushed = registry.flush();
    registry.closeKey();
    return written && flushed;
}

TRestoredPlacement RestoreWindowPos(Registry &registry, const QString &valueName, const QRect &screen,
                                    qint32 defaultOwn)
{
    TRestoredPlacement result;
    result.Own = defaultOwn;
    if (!registry.openKey(Registry::MainKey(), false))
        return result;
    const std::optional<QByteArray> bytes = registry.readBinaryExact(valueName, kWindowPosSize);
    registry.closeKey();
    const std::optional<TWindowPosRecord> record = bytes ? DecodeWindowPos(*bytes) : std::nullopt;
    if (!record)
        return result;
    result.Read = true;
    if (PlacementOnScreen(record->Bounds, screen))
        result.Bounds = record->Bounds;
    result.Own = record->Own;
    return result;
}

bool StoreMainWindowPos(Registry &registry, const TMainWindowPos &pos, const QSize &maximized)
{
    if (!registry.openKey(Registry::MainKey(), true))
        return false;
    TMainWindowPos stored = pos;
    stored.Bounds = NormalizeMaximized(pos.Bounds, maximized);
    const bool written = registry.writeBinary(kWindowPos, EncodeMainWindowPos(stored));
    const bool flushed = registry.flush();
    registry.closeKey();
    return written && flushed;
}

std::optional<TMainWindowPos> RestoreMainWindowPos(Registry &registry)
{
    if (!registry.openKey(Registry::MainKey(), false))
        return std::nullopt;
    const std::optional<QByteArray> bytes = registry.readBinaryExact(kWindowPos, kMainWindowPosSize);
    registry.closeKey();
    if (!bytes)
        return std::nullopt;
    return DecodeMainWindowPos(*bytes);
}

// --- revision check ---------------------------------------------------------------------

namespace {
std::optional<quint8> readMarker(Registry &registry)
{
    if (!registry.openKey(Registry::MainKey(), false))
        return std::nullopt;
    const std::optional<QByteArray> marker = registry.readBinaryExact(kRevisionMarkerValue, 1);
    registry.closeKey();
    if (!marker)
        return std::nullopt;
    return uchar(marker->at(0));
}
} // namespace

TRevisionCheck RevisionCheck(Registry &registry)
{
    TRevisionCheck result;
    const std::optional<quint8> marker = readMarker(registry);
    result.MarkerPresent = marker.has_value();
    if (marker != kRevisionMarker) {
        result.Wiped = registry.deleteKey(Registry::MainKey());
        registry.flush();
    }
    return result;
}

bool RevisionCurrent(Registry &registry)
{
    return readMarker(registry) == kRevisionMarker;
}

// --- platform ---------------------------------------------------------------------------

QString ProgramFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!exe.isEmpty())
        return QFileInfo(exe).absolutePath();
    return QDir::currentPath();
}

QStringList ExternalViewerCandidates()
{
    return {QStringLiteral("gnome-text-editor"), QStringLiteral("gedit"), QStringLiteral("kate"),
            QStringLiteral("kwrite"), QStringLiteral("mousepad"), QStringLiteral("xed"), QStringLiteral("pluma"),
            QStringLiteral("leafpad"), QStringLiteral("featherpad")};
}

QString DefaultExternalViewer(const std::function<QString(const QString &)> &findExecutable)
{
    if (findExecutable) {
        for (const QString &candidate : ExternalViewerCandidates()) {
            const QString found = findExecutable(candidate);
            if (!found.isEmpty())
                return found;
        }
    }
    return QStringLiteral("xdg-open");
}

TOptionsEnvironment SystemOptionsEnvironment()
{
    TOptionsEnvironment env;
    env.TempFolder = [] { return QDir::tempPath(); };
    env.ProgramFolder = [] { return ProgramFolder(); };
    env.FindExecutable = [](const QString &name) { return QStandardPaths::findExecutable(name); };
    return env;
}

QString WithTrailingSlash(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('/');
}

bool FolderValid(const QString &folder)
{
    QString path = folder;
    if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (!path.startsWith(QLatin1Char('/')))
        return false;
    return QFileInfo(path).isDir();
}

// --- TOptions ---------------------------------------------------------------------------

TOptions::TOptions(TOptionsEnvironment environment) : m_env(std::move(environment))
{
    resetToInitial();
}

const std::array<bool TOptionsControls::*, kArchiveTypeCount> &TOptions::ArchiveFields()
{
    static const std::array<bool TOptionsControls::*, kArchiveTypeCount> fields = {
        &TOptionsControls::ArcARC, &TOptionsControls::ArcARJ, &TOptionsControls::ArcCAB, &TOptionsControls::ArcHA,
        &TOptionsControls::ArcLHA, &TOptionsControls::ArcLZH, &TOptionsControls::ArcPAK, &TOptionsControls::ArcRAR,
        &TOptionsControls::ArcZIP, &TOptionsControls::ArcZOO, &TOptionsControls::ArcEXE, &TOptionsControls::ArcTAR,
        &TOptionsControls::ArcGZIP, &TOptionsControls::ArcZ, &TOptionsControls::Arc7Z, &TOptionsControls::ArcXZ,
        &TOptionsControls::ArcTXZ, &TOptionsControls::ArcBZ2, &TOptionsControls::ArcTBZ2, &TOptionsControls::ArcZST,
        &TOptionsControls::ArcTZST, &TOptionsControls::ArcISO, &TOptionsControls::ArcTGZ, &TOptionsControls::ArcTAZ,
    };
    return fields;
}

std::array<bool, kArchiveTypeCount> TOptions::archiveTypes() const
{
    std::array<bool, kArchiveTypeCount> types{};
    for (int i = 0; i < kArchiveTypeCount; ++i)
        types[i] = this->*ArchiveFields()[i];
    return types;
}

QString TOptions::systemTempFolder() const
{
    const QString temp = m_env.TempFolder ? m_env.TempFolder() : QString();
    return temp.isEmpty() ? QStringLiteral("./") : WithTrailingSlash(temp);
}

QString TOptions::programFolder() const
{
    const QString folder = m_env.ProgramFolder ? m_env.ProgramFolder() : QString();
    return WithTrailingSlash(folder.isEmpty() ? QDir::currentPath() : folder);
}

void TOptions::resetToInitial()
{
    static_cast<TOptionsControls &>(*this) = TOptionsControls();
    const TFontSlot courier{true, TFontData{QByteArray(kCourierNew), kCourierHeight, 0}};
    FontSlots = {TFontSlot{false, m_env.IconTitleFont}, TFontSlot{false, m_env.IconTitleFont}, courier,
                 TFontSlot{false, m_env.UiFont}, TFontSlot{false, m_env.UiFont}, courier};
    ToolbarBox = BuiltInToolbarLayout();
    ImportDescList = InitialImportDescList();
    DescList = FromCommaText(QLatin1String(kDefaultDescFiles));
    ExtractDir = systemTempFolder();
    CatalogPathEdit = programFolder();
    ViewerEdit = DefaultExternalViewer(m_env.FindExecutable);
    m_read.clear();
}

int TOptions::toolbarDock() const
{
    return Toolbar2 ? 1 : Toolbar3 ? 2 : Toolbar4 ? 3 : 0;
}

void TOptions::setToolbarDock(int dock)
{
    dock = std::clamp(dock, 0, 3);
    Toolbar1 = dock == 0;
    Toolbar2 = dock == 1;
    Toolbar3 = dock == 2;
    Toolbar4 = dock == 3;
}

int TOptions::exitActionField() const
{
    return AlwaysRemoveTemp ? 1 : AlwaysLeaveTemp ? 2 : 0;
}

void TOptions::setExitActionField(int field)
{
    // 3 names no action; it reads as the first choice, asking.
    AlwaysRemoveTemp = field == 1;
    AlwaysLeaveTemp = field == 2;
    AskRemoveTemp = !AlwaysRemoveTemp && !AlwaysLeaveTemp;
}

bool TOptions::descSourceEnabled(int id) const
{
    for (const TDescSource &source : ImportDescList)
        if (source.Id == id)
            return source.Checked;
    return false;
}

void TOptions::setDescSourceEnabled(int id, bool enabled)
{
    for (TDescSource &source : ImportDescList)
        if (source.Id == id)
            source.Checked = enabled;
}

quint32 TOptions::settingsWord() const
{
    quint32 w = quint32(std::clamp(ButtonSizeBar, 0, kButtonSizeMax)) << sbButtonSize;
    w |= quint32(toolbarDock()) << sbDock;
    w |= bitIf(ToolbarVisible, sbToolbarVisible) | bitIf(ToolbarFloating, sbToolbarFloating);
    w |= bitIf(descSourceEnabled(dsDescriptIon), sbDescriptIon);
    w |= bitIf(InsideZipCheck, sbInsideZip) | bitIf(ShowPrevCheck, sbShowPrev) | bitIf(DescAsTipsCheck, sbDescAsTips);
    w |= bitIf(ViewStatusCheck, sbViewStatus) | bitIf(AutoloadCheck, sbAutoload) | bitIf(TipsCheck, sbTips);
    w |= bitIf(DescAlwaysCheck, sbDescAlways) | bitIf(descSourceEnabled(dsFilesBbs), sbFilesBbs);
    // The delay's field has 4 bits: positions 16 to 20 are kept as 15.
    w |= quint32(std::clamp(DescWaitBar, 0, kDescWaitStoredMax)) << sbDescWait;
    w |= quint32(std::clamp(DescHideBar, 0, kDescHideMax)) << sbDescHide;
    w |= quint32(std::clamp(DescMaxLevels, kDescLevelsMin, kDescLevelsMax) - 1) << sbDescMaxLevels;
    w |= bitIf(DescTruncCheck, sbDescTrunc);
    w |= quint32(std::clamp(DescTruncEdit, kDescTruncMin, kDescTruncMax)) << sbDescTruncLines;
    return w;
}

void TOptions::setSettingsWord(quint32 w)
{
    ButtonSizeBar = int(fieldOf(w, sbButtonSize, 3));
    setToolbarDock(int(fieldOf(w, sbDock, 2)));
    ToolbarVisible = bitOf(w, sbToolbarVisible);
    ToolbarFloating = bitOf(w, sbToolbarFloating);
    setDescSourceEnabled(dsDescriptIon, bitOf(w, sbDescriptIon));
    InsideZipCheck = bitOf(w, sbInsideZip);
    ShowPrevCheck = bitOf(w, sbShowPrev);
    DescAsTipsCheck = bitOf(w, sbDescAsTips);
    ViewStatusCheck = bitOf(w, sbViewStatus);
    AutoloadCheck = bitOf(w, sbAutoload);
    TipsCheck = bitOf(w, sbTips);
    DescAlwaysCheck = bitOf(w, sbDescAlways);
    setDescSourceEnabled(dsFilesBbs, bitOf(w, sbFilesBbs));
    DescWaitBar = std::clamp(int(fieldOf(w, sbDescWait, 4)), 0, kDescWaitMax);
    DescHideBar = std::clamp(int(fieldOf(w, sbDescHide, 4)), 0, kDescHideMax);
    DescMaxLevels = int(fieldOf(w, sbDescMaxLevels, 3)) + 1;
    DescTruncCheck = bitOf(w, sbDescTrunc);
    DescTruncEdit = std::clamp(int(fieldOf(w, sbDescTruncLines, 4)), kDescTruncMin, kDescTruncMax);
}

quint32 TOptions::advSettingsWord() const
{
    quint32 w = bitIf(DescKeepCurrentCheck, abDescKeepCurrent) | bitIf(UpdateNameCheck, abUpdateName);
    w |= bitIf(descSourceEnabled(dsArchiveComment), abArchiveComment) | bitIf(descSourceEnabled(dsFileIdDiz), abFileIdDiz);
    w |= bitIf(IgnoreFilesCheck, abIgnoreFiles) | bitIf(IgnoreFoldersCheck, abIgnoreFolders);
    w |= bitIf(AutoSaveCheck, abAutoSave);
    w |= quint32(std::clamp(AutoSaveEdit, kAutoSaveMin, kAutoSaveMax) - kAutoSaveMin) << abAutoSaveMinutes;
    w |= bitIf(IgnoreRecycleCheck, abIgnoreRecycle) | bitIf(!ArchivesSortCheck, abArchivesAsFiles);
    w |= bitIf(OldButtonsCheck, abOldButtons);
    // No selection (-1) keeps all three index bits set, an index past the list.
    const int index = FileDoubleClickCombo >= 0 && FileDoubleClickCombo <= kDoubleClickMax ? FileDoubleClickCombo : -1;
    w |= quint32(index & 3) << abDoubleClickLow;
    w |= bitIf((index & 4) != 0, abDoubleClickHigh);
    w |= quint32(exitActionField()) << abExitAction;
    w |= bitIf(!RestoreDirCheck, abNoRestoreDir) | bitIf(EjectMediaCheck, abEjectMedia);
    w |= bitIf(ArchiveDescOnly, abArchiveDescOnly) | bitIf(!ArchiveQuickScan, abNoQuickScan);
    w |= bitIf(!SetSerialCheck, abNoSetSerial) | bitIf(!SerialAskCheck, abNoSerialAsk);
    w |= bitIf(FormattedSizesCheck, abFormattedSizes) | bitIf(CreateBakCheck, abCreateBak);
    w |= bitIf(ExternalViewerCheck, abExternalViewer);
    return w;
}

void TOptions::setAdvSettingsWord(quint32 w)
{
    DescKeepCurrentCheck = bitOf(w, abDescKeepCurrent);
    UpdateNameCheck = bitOf(w, abUpdateName);
    setDescSourceEnabled(dsArchiveComment, bitOf(w, abArchiveComment));
    setDescSourceEnabled(dsFileIdDiz, bitOf(w, abFileIdDiz));
    IgnoreFilesCheck = bitOf(w, abIgnoreFiles);
    IgnoreFoldersCheck = bitOf(w, abIgnoreFolders);
    AutoSaveCheck = bitOf(w, abAutoSave);
    AutoSaveEdit = std::clamp(int(fieldOf(w, abAutoSaveMinutes, 8)) + kAutoSaveMin, kAutoSaveMin, kAutoSaveMax);
    IgnoreRecycleCheck = bitOf(w, abIgnoreRecycle);
    ArchivesSortCheck = !bitOf(w, abArchivesAsFiles);
    OldButtonsCheck = bitOf(w, abOldButtons);
    const int index = int(fieldOf(w, abDoubleClickLow, 2)) | (bitOf(w, abDoubleClickHigh) ? 4 : 0);
    FileDoubleClickCombo = index <= kDoubleClickMax ? index : -1;
    setExitActionField(int(fieldOf(w, abExitAction, 2)));
    RestoreDirCheck = !bitOf(w, abNoRestoreDir);
    EjectMediaCheck = bitOf(w, abEjectMedia);
    ArchiveDescOnly = bitOf(w, abArchiveDescOnly);
    ArchiveQuickScan = !bitOf(w, abNoQuickScan);
    SetSerialCheck = !bitOf(w, abNoSetSerial);
    SerialAskCheck = !bitOf(w, abNoSerialAsk);
    FormattedSizesCheck = bitOf(w, abFormattedSizes);
    CreateBakCheck = bitOf(w, abCreateBak);
    ExternalViewerCheck = bitOf(w, abExternalViewer);
    InternalViewerCheck = !ExternalViewerCheck;
}

quint32 TOptions::settings2Word() const
{
    return bitIf(ShowShortcutsCheck, s2ShowShortcuts) | bitIf(ShortFilenamesCheck, s2ShortFilenames)
        | bitIf(DisableSmoothCheck, s2DisableSmooth);
}

void TOptions::setSettings2Word(quint32 w)
{
    ShowShortcutsCheck = bitOf(w, s2ShowShortcuts);
    ShortFilenamesCheck = bitOf(w, s2ShortFilenames);
    DisableSmoothCheck = bitOf(w, s2DisableSmooth);
}

quint32 TOptions::archiveSupportWord() const
{
    // All 32 bits set, less those of the disabled types.
    quint32 w = 0xFFFFFFFFu;
    for (int i = 0; i < kClassicArchiveTypeCount; ++i)
        if (!(this->*ArchiveFields()[i]))
            w &= ~(1u << i);
    return w;
}

void TOptions::setArchiveSupportWord(quint32 w)
{
    for (int i = 0; i < kClassicArchiveTypeCount; ++i)
        this->*ArchiveFields()[i] = bitOf(w, i);
}

quint32 TOptions::archiveSupport2Word() const
{
    // As "ArchiveSupport": all bits set less those of the disabled types, the first type after
    // the classic ones in bit 0.
    quint32 w = 0xFFFFFFFFu;
    for (int i = kClassicArchiveTypeCount; i < kArchiveTypeCount; ++i)
        if (!(this->*ArchiveFields()[i]))
            w &= ~(1u << (i - kClassicArchiveTypeCount));
    if (!CompressedTarCheck)
        w &= ~(1u << kCompressedTarBit);
    return w;
}

void TOptions::setArchiveSupport2Word(quint32 w)
{
    for (int i = kClassicArchiveTypeCount; i < kArchiveTypeCount; ++i)
        this->*ArchiveFields()[i] = bitOf(w, i - kClassicArchiveTypeCount);
    CompressedTarCheck = bitOf(w, kCompressedTarBit);
}

quint32 TOptions::useFontDataWord() const
{
    quint32 w = 0;
    for (int slot = 0; slot < kFontSlotCount; ++slot)
        w |= bitIf(FontSlots[slot].UseCustomFont, slot);
    return w;
}

void TOptions::setUseFontDataWord(quint32 w)
{
    for (int slot = 0; slot < kFontSlotCount; ++slot)
        FontSlots[slot].UseCustomFont = bitOf(w, slot);
}

void TOptions::load(Registry &registry)
{
    resetToInitial();
    if (!registry.openKey(Registry::MainKey(), false)) {
        m_modified = true;
        SetArchiveTypesEnabled(archiveTypes());
        SetCompressedTarMembersShown(CompressedTarCheck);
        return;
    }
    readFonts(registry);
    if (const auto bytes = registry.readBinary(kCustomToolbar, kCustomToolbarMax)) {
        ToolbarBox = ParseCustomToolbar(*bytes);
        markRead(kCustomToolbar);
    } else {
        ToolbarBox = BuiltInToolbarLayout();
        failedRead();
    }
    readBitWords(registry);
    readListsAndFolders(registry);
    registry.closeKey();
}

void TOptions::readFonts(Registry &registry)
{
    if (const auto word = registry.readBinaryExact(kUseFontData, 4)) {
        setUseFontDataWord(readLe32(*word));
        markRead(kUseFontData);
    } else {
        failedRead();
    }
    for (int slot = 0; slot < kFontSlotCount; ++slot) {
        const auto bytes = registry.readBinary(fontValueName(slot), kFontValueMax);
        const std::optional<TFontData> font = bytes ? DecodeFontValue(*bytes) : std::nullopt;
        if (font) {
            FontSlots[slot].Font = *font;
            markRead(fontValueName(slot));
        } else {
            failedRead();
        }
    }
    if (const auto order = registry.readBinaryExact(kImportDescOrder, kDescSourceCount)) {
        ApplyImportDescOrder(ImportDescList, *order);
        markRead(kImportDescOrder);
    } else {
        failedRead();
    }
}

void TOptions::readBitWords(Registry &registry)
{
    const auto word = [&](const QString &name, quint32 fallback) {
        if (const auto bytes = registry.readBinaryExact(name, 4)) {
            markRead(name);
            return readLe32(*bytes);
        }
        failedRead();
        return fallback;
    };
    setSettingsWord(word(kSettings, kSettingsFallback));
    setAdvSettingsWord(word(kAdvSettings, kAdvSettingsFallback));
    setSettings2Word(word(kSettings2, kSettings2Fallback));
    setArchiveSupportWord(word(kArchiveSupport, kArchiveSupportFallback));
    // A settings file from before today's formats has no switches for them: that is no
    // damage, and every one of them stays on.
    if (const auto bytes = registry.readBinaryExact(kArchiveSupport2, 4)) {
        markRead(kArchiveSupport2);
        setArchiveSupport2Word(readLe32(*bytes));
    } else {
        setArchiveSupport2Word(kArchiveSupport2Fallback);
    }
    SetArchiveTypesEnabled(archiveTypes());
    SetCompressedTarMembersShown(CompressedTarCheck);
}

void TOptions::readListsAndFolders(Registry &registry)
{
    AutoloadList.clear();
    if (const auto text = registry.readString(kAutoload)) {
        AutoloadList = FromCommaText(*text);
        markRead(kAutoload);
    } else {
        failedRead();
    }
    if (const auto text = registry.readString(kDescFiles)) {
        DescList = FromCommaText(*text);
        markRead(kDescFiles);
    } else {
        DescList = FromCommaText(QLatin1String(kDefaultDescFiles));
        failedRead();
    }
    // A stored folder is taken when it is not empty, and kept when it passes the folder check.
    const auto folder = [&](const QString &name, QString &field, const QString &fallback) {
        const auto text = registry.readString(name);
        if (!text)
            failedRead();
        else if (!text->isEmpty())
            field = *text;
        if (!FolderValid(field))
            field = fallback;
        else if (text && !text->isEmpty())
            markRead(name);
    };
    folder(kTempDir, ExtractDir, systemTempFolder());
    folder(kCatalogDir, CatalogPathEdit, programFolder());
    if (const auto text = registry.readString(kExternalViewer)) {
        if (!text->isEmpty()) {
            ViewerEdit = *text;
            markRead(kExternalViewer);
        }
    } else {
        failedRead();
    }
}

bool TOptions::save(Registry &registry, Prompter &prompter)
{
    const auto failed = [&]() {
        m_modified = true;
        prompter.ask(MsgSaveConfigCaption(), MsgSaveConfigText(), MsgIcon::Error, MsgButtons::Ok);
        return false;
    };
    if (!registry.openKey(Registry::MainKey(), true))
        return failed();
    bool allWritten = true;
    const auto bytes = [&](const QString &name, const QByteArray &value) {
        allWritten = registry.writeBinary(name, value) && allWritten;
    };
    const auto text = [&](const QString &name, const QString &value) {
        allWritten = registry.writeString(name, value) && allWritten;
    };
    bytes(kUseFontData, le32Bytes(useFontDataWord()));
    for (int slot = 0; slot < kFontSlotCount; ++slot)
        bytes(fontValueName(slot), EncodeFontValue(FontSlots[slot].Font));
    bytes(kImportDescOrder, ImportDescOrderBytes(ImportDescList));
    bytes(kCustomToolbar, WriteCustomToolbar(ToolbarBox));
    bytes(kSettings, le32Bytes(settingsWord()));
    bytes(kAdvSettings, le32Bytes(advSettingsWord()));
    bytes(kSettings2, le32Bytes(settings2Word()));
    bytes(kArchiveSupport, le32Bytes(archiveSupportWord()));
    bytes(kArchiveSupport2, le32Bytes(archiveSupport2Word()));
    text(kAutoload, ToCommaText(AutoloadList));
    text(kDescFiles, ToCommaText(DescList));
    text(kTempDir, ExtractDir);
    text(kCatalogDir, CatalogPathEdit);
    text(kExternalViewer, ViewerEdit);
    bytes(kRevisionMarkerValue, QByteArray(1, char(kRevisionMarker)));
    const bool flushed = registry.flush();
    registry.closeKey();
    if (!flushed)
        return failed();
    m_modified = !allWritten;
    return true;
}

bool TOptions::saveIfModified(Registry &registry, Prompter &prompter)
{
    return !m_modified || save(registry, prompter);
}

TApplyResult TOptions::apply(Prompter &prompter)
{
    TApplyResult result;
    if (!FolderValid(ExtractDir)) {
        prompter.ask(MsgInvalidFolderCaption(), MsgInvalidTempFolder(ExtractDir), MsgIcon::Warning, MsgButtons::Ok);
        ExtractDir = systemTempFolder();
        result.ExtractDirReverted = true;
    }
    if (!FolderValid(CatalogPathEdit)) {
        prompter.ask(MsgInvalidFolderCaption(), MsgInvalidCatalogFolder(CatalogPathEdit), MsgIcon::Warning,
                     MsgButtons::Ok);
        CatalogPathEdit = programFolder();
        result.CatalogPathReverted = true;
    }
    // Folders end with the separator, as the places files are put in are named.
    const QString extractDir = WithTrailingSlash(ExtractDir);
    const QString catalogPath = WithTrailingSlash(CatalogPathEdit);
    if (result.ExtractDirReverted || result.CatalogPathReverted || extractDir != ExtractDir
        || catalogPath != CatalogPathEdit)
        m_modified = true;
    ExtractDir = extractDir;
    CatalogPathEdit = catalogPath;

    m_exitAction = AlwaysLeaveTemp ? kExitLeaveExtracted : AlwaysRemoveTemp ? kExitDeleteExtracted : kExitAskExtracted;

    result.ArchivesSortChanged = !m_applied || m_applied->ArchivesSortCheck != ArchivesSortCheck;
    result.FormattedSizesChanged = !m_applied || m_applied->FormattedSizesCheck != FormattedSizesCheck;
    result.ShowPrevChanged = !m_applied || m_applied->ShowPrevCheck != ShowPrevCheck;
    m_applied = Applied{ArchivesSortCheck, FormattedSizesCheck, ShowPrevCheck};

    SetArchiveTypesEnabled(archiveTypes());
    SetCompressedTarMembersShown(CompressedTarCheck);
    return result;
}
