// The properties dialog's contents, made from the records (see Properties.h).
#include "browser/Properties.h"

#include "browser/Utils.h"
#include "catalog/CatalogOps.h"
#include "catalog/DiskMedium.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "catalog/LoadSave.h"
#include "catalog/RecordLock.h"
#include "platform/ByteTotals.h"
#include "platform/Texts.h"

#include <QLocale>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

const QString kUnknown = QStringLiteral("(unknown)");

// The chart's colours: free space green (0, 210, 0), used space pure red.
constexpr uint32_t kFreeColour = 0x00D200;
constexpr uint32_t kUsedColour = 0xFF0000;

QString orUnknown(const QString &text)
{
    return text.isEmpty() ? kUnknown : text;
}

// Short date + ", " + long time; "(unknown)" when the value cannot be shown.
QString dateTimeText(uint32_t packed)
{
    const QString date = ShortDateText(packed);
    const QString time = LongTimeText(packed);
    return date.isEmpty() || time.isEmpty() ? kUnknown : date + QStringLiteral(", ") + time;
}

// A size as "1.5 kB  (1536 Bytes)".
QString sizeText(int64_t bytes)
{
    return FormatSize(float(bytes)) + QStringLiteral("  (") + QString::number(bytes) + QStringLiteral(" Bytes)");
}

QString wholeSize(int64_t scaled)
{
    return FormatSize(float(TotalBytes(scaled)));
}

QString diskNameText(TTreeNode *diskNode)
{
    const TDiskRec *disk = diskNode ? AsDisk(NodeRec(diskNode)) : nullptr;
    if (!disk)
        return kUnknown;
    return DecodeStored(diskNode->text()) + QStringLiteral(" (") + MediaTypeName(disk->MediaType, disk->KindFlags)
           + QStringLiteral(")");
}

// A disk's update time in the long date format, with the long time when it has one.
QString updatedText(double updated)
{
    if (updated == 0)
        return kUnknown;
    // Through the packed form, as every stored time: even seconds, 1980-2099.
    const uint32_t packed = DateTimeToDos(UpdatedToDateTime(updated));
    const QDateTime dt = DosToDateTime(packed);
    if (!dt.isValid())
        return kUnknown;
    QString text = QLocale().toString(dt.date(), QLocale::LongFormat);
    if (dt.time() != QTime(0, 0))
        text += QStringLiteral(", ") + LongTimeText(packed);
    return text;
}

// Rounds x to the nearest whole number, halves to even; kept inside int
// (a damaged record may give a packed size far above the member's size).
int roundHalfEven(double x)
{
    // The default rounding mode is to nearest, ties to even.
    return int(std::clamp(std::nearbyint(x), double(INT_MIN), double(INT_MAX)));
}

int categoryIndexOf(const TPropertiesData &data, uint8_t catFlags)
{
    const uint8_t code = catFlags & 0x1F;
    if (!data.categoriesEnabled)
        return data.categoryNames.size() - 1;   // "(no categories defined)"
    for (qsizetype i = 1; i < data.categoryNames.size(); ++i)
        if (data.categoryCodes[size_t(i)] == code)
            return int(i);
    return 0;
}

void setCategory(const TPropertiesData &data, TPropPageData &page, uint8_t catFlags)
{
    page.catFlags = catFlags;
    page.categoryIndex = categoryIndexOf(data, catFlags);
    for (int k = 1; k <= 3; ++k)
        page.flagChecked[k - 1] = (catFlags >> (k + 4)) & 1;
}

void fillCategories(TPropertiesData &data, TTreeNode *node)
{
    data.categoryNames = {QStringLiteral("(none)")};
    data.categoryCodes = {0};
    const TCatalogRec *catalog = node ? AsCatalog(NodeRec(CatalogNodeOf(node))) : nullptr;
    if (catalog) {
        for (const TCategory &c : catalog->Categories) {
            data.categoryNames << DecodeStored(c.Name);
            data.categoryCodes.push_back(c.Code);
        }
        for (int k = 1; k <= 3; ++k)
            if (catalog->FlagNames[k - 1]) {
                data.flagNumbers.push_back(k);
                data.flagNames << DecodeStored(TextView(catalog->FlagNames[k - 1]));
            }
    }
    data.categoriesEnabled = data.categoryNames.size() > 1;
    if (!data.categoriesEnabled) {
        data.categoryNames << QStringLiteral("(no categories defined)");
        data.categoryCodes.push_back(0);
    }
}

TPropPageData filePage(const TPropertiesData &data, TTreeNode *holder, const TFileRec *f,
                       const TPropertiesContext &context)
{
    TPropPageData page;
    page.kind = TPropPage::File;
    page.caption = QStringLiteral("Properties");
    page.name = DecodeStored(f->name());
    const bool compressed = ItemIs(f->KindFlags, rfCompressed);
    const QString prefix = compressed ? QStringLiteral("Compressed ") : QString();
    const QString ext = ExtensionOf(f->name()).toUpper();
    const QString known = ext.isEmpty() || !context.typeName ? QString() : context.typeName(ext);
    QString type;
    if (!known.isEmpty())
        type = prefix + known;
    else if (ext.isEmpty())
        type = QStringLiteral("unknown file type");
    else
        type = prefix + ext + QStringLiteral(" file");
    page.rows.push_back({QStringLiteral("File Type:"), type});
    page.rows.push_back({QStringLiteral("File Size:"), sizeText(f->Size)});
    if (compressed) {
        // A member keeps its packed size in Accessed and its CRC in Created.
        const int64_t packed = f->Accessed;
        QString text = kUnknown;
        if (packed != 0) {
            text = FormatSize(float(packed));
            if (f->Size > 0)
                text += QStringLiteral("  (ratio: ") + QString::number(CompressionRatio(packed, f->Size))
                        + QStringLiteral(" %)");
        }
        page.rows.push_back({QStringLiteral("Compressed Size:"), text});
        page.rows.push_back({QStringLiteral("Last Modified on:"), dateTimeText(f->Modified)});
        page.rows.push_back({QStringLiteral("File CRC:"), QString::number(f->Created, 16).toUpper()});
    } else {
        page.rows.push_back({QStringLiteral("Created on:"), dateTimeText(f->Created)});
        page.rows.push_back({QStringLiteral("Last Modified on:"), dateTimeText(f->Modified)});
        page.rows.push_back({QStringLiteral("Last Accessed on:"), orUnknown(ShortDateText(f->Accessed))});
    }
    page.rows.push_back({QStringLiteral("Disk Name:"), diskNameText(DiskNodeOf(holder))});
    page.rows.push_back({QStringLiteral("Location on Disk:"), DecodeStored(NodePath(holder, true, false))});
    page.descLabel = QStringLiteral("File Description:");
    page.desc = TextView(f->Desc).toByteArray();
    page.attr = f->Attr;
    setCategory(data, page, f->CatFlags);
    return page;
}

TPropPageData folderPage(const TPropertiesData &data, TTreeNode *node, const TFolderRec *d)
{
    TPropPageData page;
    page.kind = TPropPage::Folder;
    page.caption = data.compressed ? QStringLiteral("Archive file") : QStringLiteral("Folder info");
    page.name = DecodeStored(node->text());
    QString type, sizeCaption;
    if (ItemIs(d->KindFlags, rfCompressed)) {
        const QString ext = ExtensionOf(node->text()).toUpper();
        type = ext == QLatin1String("EXE") ? QStringLiteral("Self-extracted compressed file")
                                           : QStringLiteral("Compressed file (") + ext + QStringLiteral(")");
        sizeCaption = QStringLiteral("File Size:");
        page.descLabel = QStringLiteral("Archive File Description:");
    } else {
        type = QStringLiteral("Folder");
        sizeCaption = QStringLiteral("Folder Size:");
        page.descLabel = QStringLiteral("Folder Description:");
    }
    page.rows.push_back({QStringLiteral("Type:"), type});
    page.rows.push_back({sizeCaption, sizeText(WholeBytes(d->TotalSize))});
    page.rows.push_back({QStringLiteral("Created on:"), dateTimeText(d->Created)});
    page.rows.push_back({QStringLiteral("Last Modified on:"), dateTimeText(d->Modified)});
    page.rows.push_back({QStringLiteral("Last Accessed on:"), orUnknown(ShortDateText(d->Accessed))});
    page.rows.push_back({QStringLiteral("Disk Name:"), diskNameText(DiskNodeOf(node))});
    page.rows.push_back({QStringLiteral("Location on Disk:"), DecodeStored(NodePath(node, true, false))});
    page.desc = TextView(d->Desc).toByteArray();
    page.attr = d->Attr;
    setCategory(data, page, d->CatFlags);
    return page;
}

// The space the file system itself takes: used space minus the files of the
// disk's root and the folders below it. Reads the root level first, so the
// figure never depends on what was browsed before.
QString lostSpaceText(TTreeNode *diskNode, const TDiskRec *disk)
{
    try {
        LoadSubfolders(diskNode, false, false);
        LoadFileList(diskNode);
    } catch (const std::exception &) {
        return kUnknown;
    }
    int64_t content = 0;   // bytes x 10000, as DiskSpace counts
    for (const TFileRec *f = disk->Next; f; f = f->Next)
        content += f->Size * kByteTotalScale;
    for (TTreeNode *child : diskNode->children())
        if (const TFolderRec *folder = AsFolder(NodeRec(child)))
            content += folder->TotalSize;
    return wholeSize(DiskSpace(disk, 2) - content);
}

void fillAdvanced(TAdvDiskData &adv, TTreeNode *diskNode, const TDiskRec *disk)
{
    const bool withNode = diskNode != nullptr;
    adv.rows = {
        {QStringLiteral("File System:"), QString::fromUtf8(disk->FileSystem)},
        {QStringLiteral("Max. Filename Length:"), QString::number(disk->MaxNameLen)},
        {QStringLiteral("Total Files:"), withNode ? QString::number(disk->TotalFiles) : QStringLiteral("?")},
        {QStringLiteral("Total Folders:"), withNode ? QString::number(disk->TotalFolders) : QStringLiteral("?")},
        {QStringLiteral("Bytes per Sector:"), QString::number(disk->BytesPerSector)},
        {QStringLiteral("Sectors per Cluster:"), QString::number(disk->SectorsPerCluster)},
        {QStringLiteral("Cluster Size:"),
         QString::number(int64_t(disk->BytesPerSector) * disk->SectorsPerCluster) + QStringLiteral(" B")},
    };
    const bool unknownLost = (disk->ScanFlags & 1) || !withNode || ItemIs(disk->KindFlags, rfVirtualRoot);
    adv.rows.push_back({QStringLiteral("Lost in File System:"), unknownLost ? kUnknown : lostSpaceText(diskNode, disk)});

    adv.capacity = WholeBytes(DiskSpace(disk, 0));
    adv.free = WholeBytes(DiskSpace(disk, 1));
    adv.used = WholeBytes(DiskSpace(disk, 2));
    adv.usedPercent = UsedPercent(adv.used, adv.capacity);
    adv.slices.clear();
    if (adv.usedPercent < 100)
        adv.slices.push_back({QStringLiteral("Free: ") + wholeSize(DiskSpace(disk, 1)), 100 - adv.usedPercent,
                              kFreeColour});
    if (adv.usedPercent > 0)
        adv.slices.push_back({QStringLiteral("Used: ") + wholeSize(DiskSpace(disk, 2)), adv.usedPercent, kUsedColour});
    adv.footer = QStringLiteral("Total capacity: ") + wholeSize(DiskSpace(disk, 0));
}

TPropPageData diskPage(TPropertiesData &data, TTreeNode *diskNode, const TDiskRec *disk,
                       const TPropertiesContext &context)
{
    TPropPageData page;
    page.kind = TPropPage::Disk;
    page.caption = QStringLiteral("Disk info");
    page.name = diskNode ? DecodeStored(diskNode->text())
                         : QStringLiteral("Drive ") + context.driveLetter + QStringLiteral(":");
    if (ItemIs(disk->KindFlags, rfVirtualRoot))
        page.rows.push_back({QStringLiteral("Virtual Root Folder:"), DecodeStored(TextView(disk->RootPath))});
    page.rows.push_back({QStringLiteral("Volume Label:"), DecodeDosBytes(disk->VolumeLabel)});
    page.rows.push_back({QStringLiteral("Media Type:"), MediaTypeName(disk->MediaType, disk->KindFlags)});
    page.rows.push_back({QStringLiteral("Serial No.:"), SerialText(disk->Serial)});
    page.rows.push_back({QStringLiteral("Total Capacity:"), wholeSize(DiskSpace(disk, 0))});
    page.rows.push_back({QStringLiteral("Free Space:"), wholeSize(DiskSpace(disk, 1))});
    page.rows.push_back({QStringLiteral("Volume is Compressed"),
                         ItemIs(disk->KindFlags, rfCompressed) ? QStringLiteral("yes") : QStringLiteral("no")});
    TTreeNode *catalogNode = diskNode ? CatalogNodeOf(diskNode) : context.updateCatalog;
    if (catalogNode) {
        page.rows.push_back({QStringLiteral("Catalog Name:"), DecodeStored(catalogNode->text())});
        page.rows.push_back({QStringLiteral("Updated in Catalog:"), updatedText(disk->Updated)});
    } else {
        page.rows.push_back({QStringLiteral("Catalog Name:"), QStringLiteral("(not in catalog yet)")});
        page.rows.push_back({QStringLiteral("Updated in Catalog:"), QStringLiteral("(not in catalog yet)")});
    }
    page.descLabel = QStringLiteral("Disk Description:");
    page.descEnabled = diskNode != nullptr;
    page.desc = TextView(disk->Desc).toByteArray();
    data.hasDisk = true;
    data.adv.name = page.name;
    fillAdvanced(data.adv, diskNode, disk);
    return page;
}

TPropPageData catalogPage(TTreeNode *node, const TCatalogRec *catalog)
{
    TPropPageData page;
    page.kind = TPropPage::Catalog;
    page.caption = QStringLiteral("Catalog info");
    page.name = DecodeStored(node->text());
    // Groups in display order; a disk counts in one of them.
    enum { Cd, Hard, Floppy, Removable, Virtual, Other, GroupCount };
    static const char *const captions[GroupCount] = {"CD-ROMs:", "Hard disks :", "Floppy disks:", "Removable:",
                                                     "Virtual disks:", "Other:"};
    int counts[GroupCount] = {};
    int64_t sizes[GroupCount] = {};
    int disks = 0;
    int64_t capacity = 0, used = 0, files = 0, folders = 0;
    for (TTreeNode *child : node->children()) {
        const TDiskRec *disk = AsDisk(NodeRec(child));
        if (!disk)
            continue;
        int group = Other;
        if (ItemIs(disk->KindFlags, rfVirtualRoot))
            group = Virtual;
        else if (disk->MediaType == 10)
            group = Cd;
        else if (disk->MediaType == 5)
            group = Hard;
        else if (disk->MediaType <= 4 || disk->MediaType == 7 || disk->MediaType == 9)
            group = Floppy;
        else if (disk->MediaType == 13)
            group = Removable;
        ++counts[group];
        sizes[group] += DiskSpace(disk, 0);
        ++disks;
        capacity += DiskSpace(disk, 0);
        used += DiskSpace(disk, 2);
        files += disk->TotalFiles;
        folders += disk->TotalFolders;
    }
    page.rows.push_back({QStringLiteral("Disks in Catalog:"), QString::number(disks)});
    page.rows.push_back({QStringLiteral("Total Storage Space:"), wholeSize(capacity)});
    page.rows.push_back({QStringLiteral("Total Used Space:"), wholeSize(used)});
    page.rows.push_back({QStringLiteral("Total Files:"), QString::number(files)});
    page.rows.push_back({QStringLiteral("Total Folders:"), QString::number(folders)});
    for (int g = 0; g < GroupCount; ++g) {
        QString text = QString::number(counts[g]);
        if (counts[g] != 0)
            text += QStringLiteral(" (total ") + wholeSize(sizes[g]) + QStringLiteral(")");
        page.rows.push_back({QString::fromLatin1(captions[g]), text});
    }
    page.descLabel = QStringLiteral("Catalog Description:");
    page.desc = TextView(catalog->Desc).toByteArray();
    return page;
}

// The category byte a page's edits make: the chosen code and the checked flags.
uint8_t editedCatFlags(const TPropertiesData &data, const TPropPageEdits &edits)
{
    uint8_t flags = 0;
    if (edits.categoryIndex >= 0 && size_t(edits.categoryIndex) < data.categoryCodes.size())
        flags = data.categoryCodes[size_t(edits.categoryIndex)] & 0x1F;
    for (int k : data.flagNumbers)
        if (edits.flagChecked[k - 1])
            flags |= uint8_t(1u << (k + 4));
    // Flags without a name are not offered and stay as they were.
    return flags;
}

// Stores an edited description when it differs from the stored one; true
// when it did. The texts are compared as they would be stored, so a box that
// hands back the stored text with other line breaks changes nothing.
bool storeIfChanged(TText &field, const QByteArray &edited)
{
    const QByteArray stored = TextView(field).toByteArray();
    const QByteArray wanted =
        CutAtCharBoundary(NormalizeDescriptionLines(edited), kMaxCountedText).toByteArray();
    if (wanted == stored)
        return false;
    StoreDescription(field, edited);
    return true;
}

const TPropPageEdits *editsOf(const TPropertiesEdits &edits, TPropPage kind)
{
    for (const auto &[page, e] : edits.pages)
        if (page == kind)
            return &e;
    return nullptr;
}

} // namespace

QString TPropPageData::row(const QString &rowCaption) const
{
    for (const TPropRow &r : rows)
        if (r.caption == rowCaption)
            return r.value;
    return {};
}

const TPropPageData *TPropertiesData::page(TPropPage kind) const
{
    for (const TPropPageData &p : pages)
        if (p.kind == kind)
            return &p;
    return nullptr;
}

int UsedPercent(int64_t used, int64_t capacity)
{
    if (capacity <= 0)
        return 0;
    return std::clamp(roundHalfEven(double(used) * 100.0 / double(capacity)), 0, 100);
}

int CompressionRatio(int64_t packed, int64_t size)
{
    if (size <= 0)
        return 0;
    return 100 - roundHalfEven(double(packed) * 100.0 / double(size));
}

TPropertiesData FillProperties(TTreeNode *node, TFileRec *file, const TPropertiesContext &context,
                               const TDiskRec *workDisk)
{
    TPropertiesData data;
    data.node = node;
    data.file = file;
    TItemRec *nodeRec = node ? NodeRec(node) : nullptr;
    if (file)
        data.compressed = ItemIs(file->KindFlags, rfCompressed);
    else if (nodeRec)
        data.compressed = ItemIs(nodeRec->KindFlags, rfCompressed);
    fillCategories(data, node);

    if (file && node)
        data.pages.push_back(filePage(data, node, file, context));
    if (const TFolderRec *folder = AsFolder(nodeRec))
        data.pages.push_back(folderPage(data, node, folder));
    if (!node) {
        if (workDisk)
            data.pages.push_back(diskPage(data, nullptr, workDisk, context));
    } else if (!AsCatalog(nodeRec)) {
        TTreeNode *diskNode = DiskNodeOf(node);
        if (const TDiskRec *disk = diskNode ? AsDisk(NodeRec(diskNode)) : nullptr)
            data.pages.push_back(diskPage(data, diskNode, disk, context));
    }
    if (const TCatalogRec *catalog = AsCatalog(nodeRec); catalog && !file)
        data.pages.push_back(catalogPage(node, catalog));
    return data;
}

TPropPageEdits UneditedPage(const TPropPageData &page)
{
    TPropPageEdits edits;
    edits.desc = page.desc;
    edits.categoryIndex = page.categoryIndex;
    for (int k = 0; k < 3; ++k)
        edits.flagChecked[k] = page.flagChecked[k];
    return edits;
}

TPropertiesApplied ApplyProperties(const TPropertiesData &shown, const TPropertiesEdits &edits)
{
    TPropertiesApplied applied;
    TTreeNode *node = shown.node;
    if (!node)
        return applied;
    auto applyCategory = [&](uint8_t &catFlags, const TPropPageEdits &e) {
        // Flag bits whose flag has no name keep their value.
        uint8_t keep = 0;
        for (int k = 1; k <= 3; ++k)
            if (std::find(shown.flagNumbers.begin(), shown.flagNumbers.end(), k) == shown.flagNumbers.end())
                keep |= uint8_t(1u << (k + 4));
        const uint8_t wanted = uint8_t(editedCatFlags(shown, e) | (catFlags & keep));
        if (wanted == catFlags)
            return false;
        TRecordWriteScope writing;
        catFlags = wanted;
        return true;
    };
    if (const TPropPageEdits *e = editsOf(edits, TPropPage::File); e && shown.file && shown.page(TPropPage::File)) {
        TFileRec *f = shown.file;
        if (applyCategory(f->CatFlags, *e)) {
            SetDiskDirty(node, true);
            applied.fileChanged = true;
        }
        if (storeIfChanged(f->Desc, e->desc)) {
            UpdateHasDesc(NodeRec(node));
            SetDiskDirty(node, true);
            applied.fileChanged = true;
        }
    }
    if (const TPropPageEdits *e = editsOf(edits, TPropPage::Folder); e && shown.page(TPropPage::Folder)) {
        if (TFolderRec *folder = AsFolder(NodeRec(node))) {
            if (applyCategory(folder->CatFlags, *e)) {
                SetDiskDirty(node, true);
                applied.folderChanged = true;
            }
            if (storeIfChanged(folder->Desc, e->desc)) {
                SetDiskDirty(node, true);
                applied.folderChanged = true;
            }
        }
    }
    if (const TPropPageEdits *e = editsOf(edits, TPropPage::Disk); e && shown.page(TPropPage::Disk)) {
        TTreeNode *diskNode = DiskNodeOf(node);
        if (TDiskRec *disk = diskNode ? AsDisk(NodeRec(diskNode)) : nullptr; disk && storeIfChanged(disk->Desc, e->desc)) {
            SetDiskDirty(diskNode, true);
            applied.diskChanged = true;
        }
    }
    if (const TPropPageEdits *e = editsOf(edits, TPropPage::Catalog); e && shown.page(TPropPage::Catalog)) {
        if (TCatalogRec *catalog = AsCatalog(NodeRec(node)); catalog && storeIfChanged(catalog->Desc, e->desc)) {
            SetCatalogDirty(node, true);
            applied.catalogChanged = true;
        }
    }
    return applied;
}

TDescMenuStates DescMenuStates(bool hasSelection, bool readOnly, bool clipboardHasText)
{
    TDescMenuStates states;
    states.cut = hasSelection && !readOnly;
    states.copy = hasSelection;
    states.paste = !readOnly && clipboardHasText;
    states.remove = states.cut;
    return states;
}
