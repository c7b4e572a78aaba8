// What the settings holder (Options.cpp) and the table of settings by control
// name (OptionDefs.cpp) share: the value names under the main key and the
// ranges of the dialog's controls. Private to settings/.
#pragma once

#include <QString>

namespace optionvalues {

// Value names of the main key.
inline const QString kRevisionMarkerValue = QStringLiteral("RevisionMarker");
inline const QString kSettings = QStringLiteral("Settings");
inline const QString kAdvSettings = QStringLiteral("AdvSettings");
inline const QString kSettings2 = QStringLiteral("Settings2");
inline const QString kArchiveSupport = QStringLiteral("ArchiveSupport");
inline const QString kArchiveSupport2 = QStringLiteral("ArchiveSupport2");
inline const QString kUseFontData = QStringLiteral("UseFontData");
inline const QString kImportDescOrder = QStringLiteral("ImportDescOrder");
inline const QString kCustomToolbar = QStringLiteral("CustomToolbar");
inline const QString kAutoload = QStringLiteral("Autoload");
inline const QString kDescFiles = QStringLiteral("DescFiles");
inline const QString kTempDir = QStringLiteral("TempDir");
inline const QString kCatalogDir = QStringLiteral("CatalogDir");
inline const QString kExternalViewer = QStringLiteral("ExternalViewer");

// The value of font slot 0 to 5: "Font0" to "Font5".
inline QString fontValueName(int slot)
{
    return QStringLiteral("Font%1").arg(slot);
}

inline constexpr int kDescWaitMax = 20;          // the track bar's range
inline constexpr int kDescWaitStoredMax = 15;    // what its 4-bit field holds
inline constexpr int kDescHideMax = 15;
inline constexpr int kDescTruncMin = 1, kDescTruncMax = 15;
inline constexpr int kDescLevelsMin = 1, kDescLevelsMax = 8;
inline constexpr int kAutoSaveMin = 2, kAutoSaveMax = 240;
inline constexpr int kButtonSizeMax = 7;
inline constexpr int kDoubleClickMax = 4;
inline constexpr int kAutoloadMax = 99;          // the list's "Add" stops there

} // namespace optionvalues
