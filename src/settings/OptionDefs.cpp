// Every setting by the name of its control, for listings and the command
// line: one definition per setting (its value name in the store, how it reads
// as a value and as text, how a text sets it and what it rejects).
#include "settings/Options.h"

#include "platform/Texts.h"
#include "settings/OptionValues.h"

#include <QVariantList>
#include <QVariantMap>

#include <set>

using namespace optionvalues;

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
            d.push_back(checkDef(kArchiveTypes[i].settingName,
                                 i < kClassicArchiveTypeCount ? kArchiveSupport : kArchiveSupport2,
                                 TOptions::ArchiveFields()[i]));
        d.push_back(checkDef("CompressedTarCheck", kArchiveSupport2, &C::CompressedTarCheck));
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
