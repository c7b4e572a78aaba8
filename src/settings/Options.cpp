// The general settings: their bit layouts, loading, saving and applying, the
// byte layouts of fonts, toolbar and window placements, comma text, and the
// table of settings by control name.
#include "settings/Options.h"

#include "platform/Prompter.h"
#include "platform/Texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QVariantList>
#include <QVariantMap>

#include <algorithm>
#include <cstdlib>

namespace {

// Value names of the main key.
const QString kRevisionMarkerValue = QStringLiteral("RevisionMarker");
const QString kSettings = QStringLiteral("Settings");
const QString kAdvSettings = QStringLiteral("AdvSettings");
const QString kSettings2 = QStringLiteral("Settings2");
const QString kArchiveSupport = QStringLiteral("ArchiveSupport");
const QString kUseFontData = QStringLiteral("UseFontData");
const QString kImportDescOrder = QStringLiteral("ImportDescOrder");
const QString kCustomToolbar = QStringLiteral("CustomToolbar");
const QString kAutoload = QStringLiteral("Autoload");
const QString kDescFiles = QStringLiteral("DescFiles");
const QString kTempDir = QStringLiteral("TempDir");
const QString kCatalogDir = QStringLiteral("CatalogDir");
const QString kExternalViewer = QStringLiteral("ExternalViewer");
const QString kWindowPos = QStringLiteral("WindowPos");

QString fontValueName(int slot)
{
    return QStringLiteral("Font%1").arg(slot);
}

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

constexpr int kDescWaitMax = 20;          // the track bar's range
constexpr int kDescWaitStoredMax = 15;    // what its 4-bit field holds
constexpr int kDescHideMax = 15;
constexpr int kDescTruncMin = 1, kDescTruncMax = 15;
constexpr int kDescLevelsMin = 1, kDescLevelsMax = 8;
constexpr int kAutoSaveMin = 2, kAutoSaveMax = 240;
constexpr int kButtonSizeMax = 7;
constexpr int kDoubleClickMax = 4;
constexpr int kAutoloadMax = 99;          // the list's "Add" stops there

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
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

void appendLe32(QByteArray &out, quint32 value)
{
    out += char(value);
    out += char(value >> 8);
    out += char(value >> 16);
    out += char(value >> 24);
}

QByteArray le32Bytes(quint32 value)
{
    QByteArray out;
    appendLe32(out, value);
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

// --- fonts ------------------------------------------------------------------------

// Font value layout:
//   +0  int32 LE  height
//   +4  u8        style bits
//   +5  u8        n, name length
//   +6  n bytes   face name
//   +6+n u8       spare (written as 0)
namespace {
constexpr int kFontHeightOffset = 0;
constexpr int kFontStyleOffset = 4;
constexpr int kFontNameLengthOffset = 5;
constexpr int kFontNameOffset = 6;
constexpr quint8 kFontStyleMask = fsBold | fsItalic | fsUnderline | fsStrikeOut;
} // namespace

QByteArray EncodeFontValue(const TFontData &font)
{
    const QByteArrayView name = CutAtCharBoundary(font.Name, kFontNameMax);
    QByteArray out;
    out.reserve(7 + name.size());
    appendLe32(out, quint32(font.Height));
    out += char(font.Style & kFontStyleMask);
    out += char(name.size());
    out += name;
    out += char(0);
    return out;
}

std::optional<TFontData> DecodeFontValue(QByteArrayView bytes)
{
    if (bytes.size() < kFontNameOffset || bytes.size() > kFontValueMax)
        return std::nullopt;
    const int nameLength = uchar(bytes[kFontNameLengthOffset]);
    if (kFontNameOffset + nameLength > bytes.size())
        return std::nullopt;
    TFontData font;
    font.Height = qint32(readLe32(bytes.sliced(kFontHeightOffset, 4)));
    font.Style = uchar(bytes[kFontStyleOffset]) & kFontStyleMask;
    font.Name = bytes.sliced(kFontNameOffset, nameLength).toByteArray();
    return font;
}

// --- toolbar ----------------------------------------------------------------------

const std::vector<TToolbarButtonInfo> &ToolbarButtons()
{
    static const std::vector<TToolbarButtonInfo> buttons = {
        {1, "ButtonNew", "Create New Catalog"},
        {2, "ButtonOpen", "Open Catalog"},
        {3, "ButtonSave", "Save Current Catalog"},
        {5, "ButtonPrint", "Generate Report"},
        {6, "ButtonAddDisk", "Add/Update Disk Image in Catalog"},
        {7, "ButtonCompare", "Compare Disk or Folder to Media"},
        {8, "ButtonSearch", "Search for Items"},
        {9, "ButtonUserList", "View User List"},
        {11, "ButtonBack", "Back One Level"},
        {12, "ButtonEditDesc", "Edit Description"},
        {13, "ButtonProperties", "Item Properties"},
        {14, "ButtonSetCat", "Set Category and Flags"},
        {15, "ButtonExplorer", "Open in Explorer"},
        {16, "ButtonView", "View File in ASCII Viewer"},
        {17, "ButtonLaunch", "Launch File in Associated Program"},
        {18, "ButtonExtract", "Extract from Compressed File"},
        {19, "ButtonAddList", "Add to User List"},
        {21, "ButtonLargeIcon", "Show Large Icons"},
        {22, "ButtonList", "Show Icon List"},
        {23, "ButtonSmallIcon", "Show Small Icons"},
        {24, "ButtonDetails", "Show Details"},
        {26, "ButtonSort1", "Sort by Name"},
        {27, "ButtonSort2", nullptr},   // the hint names the second sort key
        {28, "ButtonSort3", "Sort by Size"},
        {29, "ButtonSort4", nullptr},   // the hint names the fourth sort key
        {30, "ButtonReverseSort", "Reverse Sort Order"},
        {32, "ButtonHelp", "What Is This?"},
    };
    return buttons;
}

const TToolbarButtonInfo *FindToolbarButton(int tag)
{
    for (const TToolbarButtonInfo &button : ToolbarButtons())
        if (button.Tag == tag)
            return &button;
    return nullptr;
}

std::vector<quint8> BuiltInToolbarLayout()
{
    constexpr quint8 S = kToolbarSeparator;
    return {1, 2, 3, S, 5, 6, 8, 9, 7, S, 11, 12, 13, 14, 15, 16, 17, 18, 19, S,
            21, 22, 23, 24, S, 26, 27, 28, 29, 30, S, 32, kToolbarMarker};
}

std::vector<quint8> ParseCustomToolbar(QByteArrayView bytes)
{
    std::vector<quint8> entries;
    std::set<int> named;
    bool marker = false;
    for (char c : bytes) {
        const quint8 code = uchar(c);
        if (code == kToolbarMarker) {
            if (!marker)
                entries.push_back(kToolbarMarker);
            marker = true;
        } else if (code == kToolbarSeparator) {
            if (!marker)
                entries.push_back(kToolbarSeparator);
        } else if (FindToolbarButton(code) && named.insert(code).second) {
            // A button has one place; a repeated tag is ignored.
            entries.push_back(code);
        }
    }
    if (!marker)
        entries.push_back(kToolbarMarker);
    for (const TToolbarButtonInfo &button : ToolbarButtons())
        if (!named.count(button.Tag))
            entries.push_back(button.Tag);
    return entries;
}

QByteArray WriteCustomToolbar(const std::vector<quint8> &entries)
{
    QByteArray out;
    for (quint8 entry : entries) {
        if (out.size() >= kCustomToolbarMax)
            break;
        out += char(entry);
    }
    return out;
}

// --- description sources ------------------------------------------------------------

QString DescSourceText(int id)
{
    switch (id) {
    case dsFileIdDiz: return QStringLiteral("FILE_ID.DIZ (multi-line text description)");
    case dsFilesBbs: return QStringLiteral("FILES.BBS (standard BBS descriptions)");
    case dsDescriptIon: return QStringLiteral("DESCRIPT.ION (4DOS/NDOS descriptions)");
    case dsArchiveComment: return QStringLiteral("Compressed file's comment if available");
    default: return QString();
    }
}

TImportDescList InitialImportDescList()
{
    return {TDescSource{dsFileIdDiz, false}, TDescSource{dsDescriptIon, false}, TDescSource{dsFilesBbs, false},
            TDescSource{dsArchiveComment, false}};
}

void ApplyImportDescOrder(TImportDescList &list, QByteArrayView order)
{
    const qsizetype count = std::min<qsizetype>(order.size(), kDescSourceCount);
    for (qsizetype i = 0; i < count; ++i) {
        const quint8 id = uchar(order[i]);
        for (int j = 0; j < kDescSourceCount; ++j) {
            if (list[j].Id == id) {
                std::swap(list[i], list[j]);
                break;
            }
        }
    }
}

QByteArray ImportDescOrderBytes(const TImportDescList &list)
{
    QByteArray out;
    for (const TDescSource &source : list)
        out += char(source.Id);
    return out;
}

// --- comma text -----------------------------------------------------------------------

namespace {
// Blanks and control characters end an unquoted item.
bool isBlank(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= ' ';
}
} // namespace

QString ToCommaText(const QStringList &items)
{
    QStringList parts;
    for (const QString &item : items) {
        const bool quote = item.isEmpty() || std::any_of(item.begin(), item.end(), [](QChar c) {
                               return c.unicode() <= ' ' || c == QLatin1Char('"') || c == QLatin1Char(',');
                           });
        if (!quote) {
            parts << item;
            continue;
        }
        QString quoted = item;
        quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
        parts << QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    return parts.join(QLatin1Char(','));
}

QStringList FromCommaText(const QString &text)
{
    QStringList items;
    // A NUL ends the text, as it ends the string the list is read from.
    qsizetype n = text.indexOf(QChar(0));
    if (n < 0)
        n = text.size();
    qsizetype i = 0;
    const auto skipBlanks = [&]() {
        while (i < n && isBlank(text[i]))
            ++i;
    };
    skipBlanks();
    while (i < n) {
        QString item;
        if (text[i] == QLatin1Char('"')) {
            ++i;
            while (i < n) {
                if (text[i] == QLatin1Char('"')) {
                    if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                        item += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            const qsizetype start = i;
            while (i < n && !isBlank(text[i]) && text[i] != QLatin1Char(','))
                ++i;
            item = text.mid(start, i - start);
        }
        items << item;
        skipBlanks();
        if (i < n && text[i] == QLatin1Char(',')) {
            ++i;
            skipBlanks();
        }
    }
    return items;
}

// --- window placement -------------------------------------------------------------------

QRect NormalizeMaximized(const QRect &bounds, const QSize &maximized)
{
    if (bounds.size() != maximized)
        return bounds;
    // A maximized window's frame lies outside the screen by left and top on
    // each side; what is stored is the part on the screen.
    return QRect(0, 0, bounds.width() - 2 * std::abs(bounds.left()), bounds.height() - 2 * std::abs(bounds.top()));
}

bool PlacementOnScreen(const QRect &bounds, const QRect &screen)
{
    const qint64 left = bounds.left(), top = bounds.top();
    return left < qint64(screen.x()) + screen.width() && left + bounds.width() >= screen.x()
        && top < qint64(screen.y()) + screen.height() && top + bounds.height() >= screen.y();
}

QByteArray EncodeWindowPos(const QRect &bounds, qint32 own)
{
    QByteArray out;
    appendLe32(out, quint32(bounds.left()));
    appendLe32(out, quint32(bounds.top()));
    appendLe32(out, quint32(bounds.width()));
    appendLe32(out, quint32(bounds.height()));
    appendLe32(out, quint32(own));
    return out;
}

namespace {
QRect rectFromLe(QByteArrayView bytes)
{
    return QRect(qint32(readLe32(bytes.sliced(0, 4))), qint32(readLe32(bytes.sliced(4, 4))),
                 qint32(readLe32(bytes.sliced(8, 4))), qint32(readLe32(bytes.sliced(12, 4))));
}
} // namespace

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
    if (!bytes)
        return result;
    result.Read = true;
    const QRect bounds = rectFromLe(*bytes);
    if (PlacementOnScreen(bounds, screen))
        result.Bounds = bounds;
    result.Own = qint32(readLe32(QByteArrayView(*bytes).sliced(16, 4)));
    return result;
}

// "WindowPos" layout:
//   +0  int32 x 4  left, top, width, height
//   +16 int32      tree pane width
//   +20 8 bytes    unused
//   +28 u8         view style
//   +29 u8         sort byte
namespace {
constexpr int kMainTreeWidthOffset = 16;
constexpr int kMainUnusedBytes = 8;
constexpr int kMainViewStyleOffset = 28;
constexpr int kMainSortOffset = 29;
} // namespace

QByteArray EncodeMainWindowPos(const TMainWindowPos &pos)
{
    QByteArray out;
    appendLe32(out, quint32(pos.Bounds.left()));
    appendLe32(out, quint32(pos.Bounds.top()));
    appendLe32(out, quint32(pos.Bounds.width()));
    appendLe32(out, quint32(pos.Bounds.height()));
    appendLe32(out, quint32(pos.TreeWidth));
    out += QByteArray(kMainUnusedBytes, '\0');
    out += char(pos.ViewStyle);
    out += char(pos.SortByte);
    return out;
}

std::optional<TMainWindowPos> DecodeMainWindowPos(QByteArrayView bytes)
{
    if (bytes.size() != kMainWindowPosSize)
        return std::nullopt;
    TMainWindowPos pos;
    pos.Bounds = rectFromLe(bytes);
    pos.TreeWidth = qint32(readLe32(bytes.sliced(kMainTreeWidthOffset, 4)));
    pos.ViewStyle = uchar(bytes[kMainViewStyleOffset]);
    pos.SortByte = uchar(bytes[kMainSortOffset]);
    return pos;
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
        &TOptionsControls::ArcGZIP, &TOptionsControls::ArcZ,
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
    for (int i = 0; i < kArchiveTypeCount; ++i)
        if (!(this->*ArchiveFields()[i]))
            w &= ~(1u << i);
    return w;
}

void TOptions::setArchiveSupportWord(quint32 w)
{
    for (int i = 0; i < kArchiveTypeCount; ++i)
        this->*ArchiveFields()[i] = bitOf(w, i);
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
    SetArchiveTypesEnabled(archiveTypes());
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
    return result;
}

// --- settings by control name -----------------------------------------------------------

namespace {

using Getter = std::function<QVariant(const TOptions &)>;
using Texter = std::function<QString(const TOptions &)>;
using Setter = std::function<QString(TOptions &, const QString &, QString *)>;

struct SettingDef {
    QString name;
    QString valueName;     // the registry value the setting is kept in
    Getter get;
    Texter text;
    Setter set;
};

std::optional<bool> parseBool(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1") || t == QLatin1String("on") || t == QLatin1String("yes"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("0") || t == QLatin1String("off") || t == QLatin1String("no"))
        return false;
    return std::nullopt;
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

std::optional<int> parseInt(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

SettingDef checkDef(const char *name, const QString &valueName, bool TOptionsControls::*field)
{
    const QString n = QLatin1String(name);
    return {n, valueName, [field](const TOptions &o) { return QVariant(o.*field); },
            [field](const TOptions &o) { return boolText(o.*field); },
            [field, n](TOptions &o, const QString &text, QString *) -> QString {
                const auto value = parseBool(text);
                if (!value)
                    return QStringLiteral("%1: \"%2\" is not true or false").arg(n, text);
                o.*field = *value;
                return QString();
            }};
}

// A radio button of a group: it can only be chosen, which clears the others.
SettingDef radioDef(const char *name, const QString &valueName, bool TOptionsControls::*field,
                    std::vector<bool TOptionsControls::*> group, const char *groupNames)
{
    const QString n = QLatin1String(name);
    const QString names = QLatin1String(groupNames);
    return {n, valueName, [field](const TOptions &o) { return QVariant(o.*field); },
            [field](const TOptions &o) { return boolText(o.*field); },
            [field, group, n, names](TOptions &o, const QString &text, QString *) -> QString {
                const auto value = parseBool(text);
                if (!value)
                    return QStringLiteral("%1: \"%2\" is not true or false").arg(n, text);
                if (!*value)
                    return QStringLiteral("%1 is one of the choices %2: set the one wanted to true").arg(n, names);
                for (bool TOptionsControls::*member : group)
                    o.*member = member == field;
                return QString();
            }};
}

SettingDef numberDef(const char *name, const QString &valueName, int TOptionsControls::*field, int min, int max)
{
    const QString n = QLatin1String(name);
    return {n, valueName, [field](const TOptions &o) { return QVariant(o.*field); },
            [field](const TOptions &o) { return QString::number(o.*field); },
            [field, n, min, max](TOptions &o, const QString &text, QString *) -> QString {
                const auto value = parseInt(text);
                if (!value)
                    return QStringLiteral("%1: \"%2\" is not a whole number").arg(n, text);
                if (*value < min || *value > max)
                    return QStringLiteral("%1: %2 is out of range (%3 to %4)").arg(n).arg(*value).arg(min).arg(max);
                o.*field = *value;
                return QString();
            }};
}

SettingDef textDef(const char *name, const QString &valueName, QString TOptionsControls::*field, bool folder)
{
    const QString n = QLatin1String(name);
    return {n, valueName, [field](const TOptions &o) { return QVariant(o.*field); },
            [field](const TOptions &o) { return o.*field; },
            [field, n, folder](TOptions &o, const QString &text, QString *) -> QString {
                if (folder && !FolderValid(text))
                    return QStringLiteral("%1: \"%2\" is not an existing folder (give its absolute path)").arg(n, text);
                o.*field = text;
                return QString();
            }};
}

SettingDef listDef(const char *name, const QString &valueName, QStringList TOptionsControls::*field, int maxItems,
                   bool unique)
{
    const QString n = QLatin1String(name);
    return {n, valueName, [field](const TOptions &o) { return QVariant(o.*field); },
            [field](const TOptions &o) { return ToCommaText(o.*field); },
            [field, n, maxItems, unique](TOptions &o, const QString &text, QString *) -> QString {
                const QStringList items = FromCommaText(text);
                if (maxItems > 0 && items.size() > maxItems)
                    return QStringLiteral("%1: %2 items are more than the %3 the list holds")
                        .arg(n).arg(items.size()).arg(maxItems);
                if (unique) {
                    for (qsizetype i = 0; i < items.size(); ++i)
                        for (qsizetype j = 0; j < i; ++j)
                            if (items[i].compare(items[j], Qt::CaseInsensitive) == 0)
                                return QStringLiteral("%1: \"%2\" is listed twice").arg(n, items[i]);
                }
                o.*field = items;
                return QString();
            }};
}

QVariantMap fontMap(const TFontData &font)
{
    return {{QStringLiteral("name"), DecodeStored(font.Name)},
            {QStringLiteral("height"), font.Height},
            {QStringLiteral("bold"), (font.Style & fsBold) != 0},
            {QStringLiteral("italic"), (font.Style & fsItalic) != 0},
            {QStringLiteral("underline"), (font.Style & fsUnderline) != 0},
            {QStringLiteral("strikeout"), (font.Style & fsStrikeOut) != 0}};
}

const char *const kStyleWords[] = {"bold", "italic", "underline", "strikeout"};

QString fontText(const TFontData &font)
{
    QStringList parts{DecodeStored(font.Name), QString::number(font.Height)};
    for (int bit = 0; bit < 4; ++bit)
        if (font.Style & (1 << bit))
            parts << QLatin1String(kStyleWords[bit]);
    return ToCommaText(parts);
}

SettingDef fontDef(int slot)
{
    const QString n = fontValueName(slot);
    return {n, n, [slot](const TOptions &o) { return QVariant(fontMap(o.FontSlots[slot].Font)); },
            [slot](const TOptions &o) { return fontText(o.FontSlots[slot].Font); },
            [slot, n](TOptions &o, const QString &text, QString *) -> QString {
                const QStringList parts = FromCommaText(text);
                if (parts.size() < 2)
                    return QStringLiteral("%1: give the face name and the height, then any of bold, italic, "
                                          "underline, strikeout").arg(n);
                const QByteArray name = EncodeStored(parts[0]);
                if (name.size() > kFontNameMax)
                    return QStringLiteral("%1: the face name is longer than %2 bytes").arg(n).arg(kFontNameMax);
                const auto height = parseInt(parts[1]);
                if (!height)
                    return QStringLiteral("%1: \"%2\" is not a whole number").arg(n, parts[1]);
                quint8 style = 0;
                for (const QString &word : parts.mid(2)) {
                    int bit = 0;
                    while (bit < 4 && word.compare(QLatin1String(kStyleWords[bit]), Qt::CaseInsensitive) != 0)
                        ++bit;
                    if (bit == 4)
                        return QStringLiteral("%1: \"%2\" is not bold, italic, underline or strikeout").arg(n, word);
                    style |= quint8(1 << bit);
                }
                o.FontSlots[slot].Font = TFontData{name, *height, style};
                return QString();
            }};
}

SettingDef useCustomFontDef(int slot)
{
    const QString n = QStringLiteral("UseCustomFont%1").arg(slot);
    return {n, kUseFontData, [slot](const TOptions &o) { return QVariant(o.FontSlots[slot].UseCustomFont); },
            [slot](const TOptions &o) { return boolText(o.FontSlots[slot].UseCustomFont); },
            [slot, n](TOptions &o, const QString &text, QString *) -> QString {
                const auto value = parseBool(text);
                if (!value)
                    return QStringLiteral("%1: \"%2\" is not true or false").arg(n, text);
                o.FontSlots[slot].UseCustomFont = *value;
                return QString();
            }};
}

// ImportDescList as text: the source identifiers in priority order, each
// with ":on" or ":off" for its check mark.
SettingDef importDescDef()
{
    const QString n = QStringLiteral("ImportDescList");
    return {n, kImportDescOrder,
            [](const TOptions &o) {
                QVariantList rows;
                for (const TDescSource &s : o.ImportDescList)
                    rows << QVariantMap{{QStringLiteral("id"), int(s.Id)},
                                        {QStringLiteral("text"), DescSourceText(s.Id)},
                                        {QStringLiteral("checked"), s.Checked}};
                return QVariant(rows);
            },
            [](const TOptions &o) {
                QStringList parts;
                for (const TDescSource &s : o.ImportDescList)
                    parts << QStringLiteral("%1:%2").arg(s.Id).arg(s.Checked ? QLatin1String("on") : QLatin1String("off"));
                return parts.join(QLatin1Char(','));
            },
            [n](TOptions &o, const QString &text, QString *) -> QString {
                const QStringList parts = FromCommaText(text);
                const QString usage = QStringLiteral("%1: give the four sources 0 to 3 in priority order, each as "
                                                     "ID:on or ID:off").arg(n);
                if (parts.size() != kDescSourceCount)
                    return usage;
                TImportDescList list;
                std::set<int> seen;
                for (int i = 0; i < kDescSourceCount; ++i) {
                    const QStringList idAndMark = parts[i].split(QLatin1Char(':'));
                    if (idAndMark.size() != 2)
                        return usage;
                    const auto id = parseInt(idAndMark[0]);
                    const auto checked = parseBool(idAndMark[1]);
                    if (!id || *id < 0 || *id >= kDescSourceCount || !checked || !seen.insert(*id).second)
                        return usage;
                    list[i] = TDescSource{quint8(*id), *checked};
                }
                o.ImportDescList = list;
                return QString();
            }};
}

// ToolbarBox as text: the entries as numbers, comma-separated.
SettingDef toolbarDef()
{
    const QString n = QStringLiteral("ToolbarBox");
    return {n, kCustomToolbar,
            [](const TOptions &o) {
                QVariantList entries;
                for (quint8 entry : o.ToolbarBox)
                    entries << int(entry);
                return QVariant(entries);
            },
            [](const TOptions &o) {
                QStringList parts;
                for (quint8 entry : o.ToolbarBox)
                    parts << QString::number(entry);
                return parts.join(QLatin1Char(','));
            },
            [n](TOptions &o, const QString &text, QString *) -> QString {
                QByteArray bytes;
                std::set<int> named;
                for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                    const auto code = parseInt(part);
                    if (!code || *code < 0 || *code > 255)
                        return QStringLiteral("%1: \"%2\" is not 0 (separator), 255 (Unused Buttons) or a button's tag")
                            .arg(n, part.trimmed());
                    if (*code != kToolbarSeparator && *code != kToolbarMarker) {
                        if (!FindToolbarButton(*code))
                            return QStringLiteral("%1: no toolbar button has the tag %2").arg(n).arg(*code);
                        if (!named.insert(*code).second)
                            return QStringLiteral("%1: the button with the tag %2 is listed twice").arg(n).arg(*code);
                    }
                    bytes += char(*code);
                }
                if (bytes.size() > kCustomToolbarMax)
                    return QStringLiteral("%1: more than %2 entries").arg(n).arg(kCustomToolbarMax);
                o.ToolbarBox = ParseCustomToolbar(bytes);
                return QString();
            }};
}

const std::vector<SettingDef> &settingDefs()
{
    using C = TOptionsControls;
    static const std::vector<SettingDef> defs = [] {
        const std::vector<bool C::*> dock = {&C::Toolbar1, &C::Toolbar2, &C::Toolbar3, &C::Toolbar4};
        const std::vector<bool C::*> viewer = {&C::InternalViewerCheck, &C::ExternalViewerCheck};
        const std::vector<bool C::*> exit = {&C::AlwaysRemoveTemp, &C::AlwaysLeaveTemp, &C::AskRemoveTemp};
        const char *dockNames = "Toolbar1 to Toolbar4";
        const char *viewerNames = "InternalViewerCheck and ExternalViewerCheck";
        const char *exitNames = "AlwaysRemoveTemp, AlwaysLeaveTemp and AskRemoveTemp";
        std::vector<SettingDef> d;
        // User interface
        d.push_back(checkDef("DescAsTipsCheck", kSettings, &C::DescAsTipsCheck));
        SettingDef wait = numberDef("DescWaitBar", kSettings, &C::DescWaitBar, 0, kDescWaitMax);
        const Setter waitRange = wait.set;
        wait.set = [waitRange](TOptions &o, const QString &text, QString *note) -> QString {
            const QString error = waitRange(o, text, note);
            if (error.isEmpty() && o.DescWaitBar > kDescWaitStoredMax) {
                if (note)
                    *note = QStringLiteral("%1 is kept as %2: the settings store delays of 0 to 1.5 seconds")
                                .arg(o.DescWaitBar).arg(kDescWaitStoredMax);
                o.DescWaitBar = kDescWaitStoredMax;
            }
            return error;
        };
        d.push_back(wait);
        d.push_back(numberDef("DescHideBar", kSettings, &C::DescHideBar, 0, kDescHideMax));
        d.push_back(checkDef("ShowPrevCheck", kSettings, &C::ShowPrevCheck));
        d.push_back(checkDef("ViewStatusCheck", kSettings, &C::ViewStatusCheck));
        d.push_back(checkDef("ArchivesSortCheck", kAdvSettings, &C::ArchivesSortCheck));
        d.push_back(checkDef("TipsCheck", kSettings, &C::TipsCheck));
        d.push_back(checkDef("FormattedSizesCheck", kAdvSettings, &C::FormattedSizesCheck));
        d.push_back(checkDef("ShowShortcutsCheck", kSettings2, &C::ShowShortcutsCheck));
        d.push_back(checkDef("DisableSmoothCheck", kSettings2, &C::DisableSmoothCheck));
        d.push_back(numberDef("FileDoubleClickCombo", kAdvSettings, &C::FileDoubleClickCombo, -1, kDoubleClickMax));
        // General
        d.push_back(textDef("CatalogPathEdit", kCatalogDir, &C::CatalogPathEdit, true));
        d.push_back(checkDef("AutoSaveCheck", kAdvSettings, &C::AutoSaveCheck));
        d.push_back(numberDef("AutoSaveEdit", kAdvSettings, &C::AutoSaveEdit, kAutoSaveMin, kAutoSaveMax));
        d.push_back(checkDef("CreateBakCheck", kAdvSettings, &C::CreateBakCheck));
        d.push_back(radioDef("InternalViewerCheck", kAdvSettings, &C::InternalViewerCheck, viewer, viewerNames));
        d.push_back(radioDef("ExternalViewerCheck", kAdvSettings, &C::ExternalViewerCheck, viewer, viewerNames));
        d.push_back(textDef("ViewerEdit", kExternalViewer, &C::ViewerEdit, false));
        d.push_back(checkDef("ShortFilenamesCheck", kSettings2, &C::ShortFilenamesCheck));
        // Toolbar
        d.push_back(radioDef("Toolbar1", kSettings, &C::Toolbar1, dock, dockNames));
        d.push_back(radioDef("Toolbar2", kSettings, &C::Toolbar2, dock, dockNames));
        d.push_back(radioDef("Toolbar3", kSettings, &C::Toolbar3, dock, dockNames));
        d.push_back(radioDef("Toolbar4", kSettings, &C::Toolbar4, dock, dockNames));
        d.push_back(checkDef("ToolbarVisible", kSettings, &C::ToolbarVisible));
        d.push_back(checkDef("ToolbarFloating", kSettings, &C::ToolbarFloating));
        d.push_back(numberDef("ButtonSizeBar", kSettings, &C::ButtonSizeBar, 0, kButtonSizeMax));
        d.push_back(checkDef("OldButtonsCheck", kAdvSettings, &C::OldButtonsCheck));
        d.push_back(toolbarDef());
        // Fonts
        for (int slot = 0; slot < kFontSlotCount; ++slot) {
            d.push_back(useCustomFontDef(slot));
            d.push_back(fontDef(slot));
        }
        // Disk image
        d.push_back(importDescDef());
        d.push_back(checkDef("DescTruncCheck", kSettings, &C::DescTruncCheck));
        d.push_back(numberDef("DescTruncEdit", kSettings, &C::DescTruncEdit, kDescTruncMin, kDescTruncMax));
        d.push_back(checkDef("DescKeepCurrentCheck", kAdvSettings, &C::DescKeepCurrentCheck));
        d.push_back(checkDef("UpdateNameCheck", kAdvSettings, &C::UpdateNameCheck));
        d.push_back(checkDef("EjectMediaCheck", kAdvSettings, &C::EjectMediaCheck));
        d.push_back(checkDef("IgnoreFoldersCheck", kAdvSettings, &C::IgnoreFoldersCheck));
        d.push_back(checkDef("IgnoreFilesCheck", kAdvSettings, &C::IgnoreFilesCheck));
        d.push_back(checkDef("IgnoreRecycleCheck", kAdvSettings, &C::IgnoreRecycleCheck));
        d.push_back(checkDef("SetSerialCheck", kAdvSettings, &C::SetSerialCheck));
        d.push_back(checkDef("SerialAskCheck", kAdvSettings, &C::SerialAskCheck));
        // Archive files
        d.push_back(textDef("ExtractDir", kTempDir, &C::ExtractDir, true));
        d.push_back(radioDef("AlwaysRemoveTemp", kAdvSettings, &C::AlwaysRemoveTemp, exit, exitNames));
        d.push_back(radioDef("AlwaysLeaveTemp", kAdvSettings, &C::AlwaysLeaveTemp, exit, exitNames));
        d.push_back(radioDef("AskRemoveTemp", kAdvSettings, &C::AskRemoveTemp, exit, exitNames));
        d.push_back(checkDef("RestoreDirCheck", kAdvSettings, &C::RestoreDirCheck));
        d.push_back(checkDef("InsideZipCheck", kSettings, &C::InsideZipCheck));
        for (int i = 0; i < kArchiveTypeCount; ++i)
            d.push_back(checkDef(kArchiveTypes[i].settingName, kArchiveSupport, TOptions::ArchiveFields()[i]));
        d.push_back(checkDef("ArchiveDescOnly", kAdvSettings, &C::ArchiveDescOnly));
        d.push_back(checkDef("ArchiveQuickScan", kAdvSettings, &C::ArchiveQuickScan));
        // Descriptions
        d.push_back(listDef("DescList", kDescFiles, &C::DescList, 0, false));
        d.push_back(checkDef("DescAlwaysCheck", kSettings, &C::DescAlwaysCheck));
        d.push_back(numberDef("DescMaxLevels", kSettings, &C::DescMaxLevels, kDescLevelsMin, kDescLevelsMax));
        // Auto load
        d.push_back(checkDef("AutoloadCheck", kSettings, &C::AutoloadCheck));
        d.push_back(listDef("AutoloadList", kAutoload, &C::AutoloadList, kAutoloadMax, true));
        return d;
    }();
    return defs;
}

const SettingDef *findDef(const QString &name)
{
    for (const SettingDef &def : settingDefs())
        if (def.name == name)
            return &def;
    return nullptr;
}

} // namespace

QStringList TOptions::SettingNames()
{
    QStringList names;
    for (const SettingDef &def : settingDefs())
        names << def.name;
    return names;
}

bool TOptions::IsSetting(const QString &name)
{
    return findDef(name) != nullptr;
}

QVariant TOptions::settingValue(const QString &name) const
{
    const SettingDef *def = findDef(name);
    return def ? def->get(*this) : QVariant();
}

QString TOptions::settingText(const QString &name) const
{
    const SettingDef *def = findDef(name);
    return def ? def->text(*this) : QString();
}

bool TOptions::settingStored(const QString &name) const
{
    const SettingDef *def = findDef(name);
    return def && valueWasRead(def->valueName);
}

QString TOptions::settingSet(const QString &name, const QString &text, QString *note)
{
    const SettingDef *def = findDef(name);
    if (!def)
        return QStringLiteral("Unknown setting: %1").arg(name);
    const QString error = def->set(*this, text, note);
    if (error.isEmpty())
        m_modified = true;
    return error;
}
