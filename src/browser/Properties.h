// What the properties dialog shows for an item, made without a window: the
// pages of a file, its folder, its disk or a catalog with their rows, the
// category and flag choices, the advanced disk figures with the two slices
// of the usage chart, the step that writes the edited descriptions,
// categories and flags back into the records, and the enabling rules of the
// description boxes' context menu. The dialog mirrors a
// TPropertiesData; the command line prints one.
#pragma once

#include "catalog/CatalogRec.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

class TTreeNode;

enum class TPropPage { File, Folder, Disk, Catalog };

// One display row: its caption ("File Size:") and its text.
struct TPropRow {
    QString caption;
    QString value;
};

// One page of the dialog.
struct TPropPageData {
    TPropPage kind = TPropPage::File;
    QString caption;          // the page's tab: "Properties", "Folder info", ...
    QString name;             // the item's name at the top
    std::vector<TPropRow> rows;
    QString descLabel;        // the description box's label
    QByteArray desc;          // the record's description as stored
    bool descEnabled = true;  // false for a disk that is not in a catalog yet
    // File and folder pages: the record's attributes and category flags.
    uint8_t attr = 0;
    uint8_t catFlags = 0;
    int categoryIndex = 0;    // the selected entry of TPropertiesData::categories
    bool flagChecked[3] = {false, false, false};

    // The text of a row by its caption; empty when the page has no such row.
    QString row(const QString &rowCaption) const;
};

// One slice of the disk usage chart.
struct TPieSlice {
    QString label;     // "Free: 12 MB" or "Used: 3 MB"
    int value = 0;     // percent
    uint32_t rgb = 0;  // 0xRRGGBB
};

// The "Advanced Disk Info" window's figures, filled with the disk page.
struct TAdvDiskData {
    QString name;
    std::vector<TPropRow> rows;   // "File System:" ... "Lost in File System:"
    std::vector<TPieSlice> slices;
    QString footer;               // "Total capacity: ..."
    int usedPercent = 0;
    int64_t capacity = 0, used = 0, free = 0;   // whole bytes
};

// Everything the dialog shows for one item.
struct TPropertiesData {
    std::vector<TPropPageData> pages;   // in the order file, folder, disk, catalog; the first is active
    bool compressed = false;
    // The category list's entries: "(none)" and the catalog's categories with
    // their codes, or "(no categories defined)" alone (then disabled).
    QStringList categoryNames;
    std::vector<uint8_t> categoryCodes;
    bool categoriesEnabled = false;
    // The flag menu: flag numbers 1-3 that have names, and the names.
    std::vector<int> flagNumbers;
    QStringList flagNames;
    bool hasDisk = false;
    TAdvDiskData adv;
    // What the data was filled for, so the edits can be applied.
    TTreeNode *node = nullptr;
    TFileRec *file = nullptr;

    const TPropPageData *page(TPropPage kind) const;
};

// What the filling needs besides the records.
struct TPropertiesContext {
    // The type name of a file extension (upper case, without the dot);
    // empty when not known. Unset: nothing is known.
    std::function<QString(const QString &extension)> typeName;
    // The Add/Update Disk dialog's call: its drive letter and the catalog
    // of the disk about to be updated (null: none).
    QChar driveLetter;
    TTreeNode *updateCatalog = nullptr;
};

// Fills every page for an item: node is the tree node of the item (for a
// file the folder or disk that holds it), file the file record or null.
// node null with workDisk is the Add/Update Disk dialog's work record.
TPropertiesData FillProperties(TTreeNode *node, TFileRec *file, const TPropertiesContext &context = {},
                               const TDiskRec *workDisk = nullptr);

// What was edited on one page of the dialog.
struct TPropPageEdits {
    QByteArray desc;          // the description box's text
    int categoryIndex = 0;
    bool flagChecked[3] = {false, false, false};
};

// Records that changed while applying (for redrawing their rows).
struct TPropertiesApplied {
    bool fileChanged = false, folderChanged = false, diskChanged = false, catalogChanged = false;
};

// The edits of the shown pages by their kind; a page missing from edits is
// left as it is.
struct TPropertiesEdits {
    std::vector<std::pair<TPropPage, TPropPageEdits>> pages;
};

// Writes the edits into the records, page by page (file, folder, disk,
// catalog): category and flags when they differ, then the description when
// its text differs (StoreDescription). Changed disks and catalogs are marked
// dirty. A work record (no node) takes nothing.
TPropertiesApplied ApplyProperties(const TPropertiesData &shown, const TPropertiesEdits &edits);

// The edits that leave a shown page as it is (the starting point of a dialog).
TPropPageEdits UneditedPage(const TPropPageData &page);

// The percentage 0-100 of used in capacity, rounded half to even; 0 for no capacity.
int UsedPercent(int64_t used, int64_t capacity);
// The compressed ratio of a member: 100 - packed x 100 / size, rounded half to even.
int CompressionRatio(int64_t packed, int64_t size);

// The entries of a description box's context menu that are enabled: Cut and
// Delete need a selection in a box that may be edited, Copy a selection,
// Paste an editable box and text on the clipboard; Select All always works.
struct TDescMenuStates {
    bool cut = false, copy = false, paste = false, remove = false, selectAll = true;
    bool operator==(const TDescMenuStates &) const = default;
};
TDescMenuStates DescMenuStates(bool hasSelection, bool readOnly, bool clipboardHasText);
