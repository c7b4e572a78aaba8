// Where a drive's volume data meets the catalog: a disk record filled from
// the drive it is scanned from, and the search for the drive that holds the
// medium of a catalogued disk (same serial, label, media type and size).
#include "catalog/DiskMedium.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "platform/ByteTotals.h"

#include <algorithm>
#include <climits>

// A disk record keeps the volume data as the drive layer reads it.
static_assert(kMaxVolumeLabel == kVolumeLabelMaxBytes);
static_assert(kMaxFileSystem == kFileSystemNameMaxBytes);

namespace {

// The drive search keeps at most this many candidates. It is above the 26
// drive letters, so it never drops a drive; it only bounds the list the
// Insert Media question walks.
constexpr qsizetype kMaxMediaCandidates = 30;

} // namespace

void ReadVolumeInfo(TDrives &drives, QChar letter, TDiskRec *disk)
{
    if (!disk)
        return;
    disk->KindFlags = rkDisk | rfInSearch;
    disk->SearchListPos = disk->UserListPos = disk->DupListPos = -1;
    disk->Updated = DateTimeToUpdated(drives.sources().now());
    disk->MediaType = drives.DriveMediaType(letter);
    TVolumeInfo info = drives.volumeInfo(letter);
    drives.ReadDiskSpace(info, false);
    SetItemFlag(disk, rfCompressed, info.compressed);
    disk->BytesPerSector = info.bytesPerSector;
    disk->SectorsPerCluster = info.sectorsPerCluster;
    disk->TotalClusters = info.totalClusters;
    disk->FreeClusters = info.freeClusters;
    disk->Serial = info.serial;
    disk->MaxNameLen = int32_t(std::min<uint32_t>(info.maxNameLen, INT32_MAX));
    disk->VolumeLabel = info.label;
    disk->FileSystem = info.fileSystem;
}

QChar FindMediaForDisk(TDrives &drives, TTreeNode *node, bool interactive, bool allowManual, Prompter *prompter,
                       const TInsertMediaQuestion &insertMedia)
{
    TTreeNode *diskNode = node ? DiskNodeOf(node) : nullptr;
    const TDiskRec *disk = diskNode ? AsDisk(NodeRec(diskNode)) : nullptr;
    if (!disk)
        return QChar();
    Prompter &ask = prompter ? *prompter : DefaultPrompter();
    const uint8_t wanted = disk->MediaType;
    // At most kMaxMediaCandidates candidates, in letter order.
    auto candidatesNow = [&] {
        QList<QChar> list;
        for (const TDrive &d : drives.drives())
            if (list.size() < kMaxMediaCandidates && MediaTypesFit(wanted, drives.DriveMediaType(d.letter)))
                list.append(d.letter);
        return list;
    };
    QList<QChar> candidates = candidatesNow();
    if (candidates.isEmpty()) {
        if (interactive)
            ask.ask(QStringLiteral("No such device"),
                    QStringLiteral("Sorry, there is no such device installed that could accept this media type."),
                    MsgIcon::Information, MsgButtons::Ok);
        return QChar();
    }
    const bool virtualRoot = ItemIs(disk->KindFlags, rfVirtualRoot);
    const bool compressed = ItemIs(disk->KindFlags, rfCompressed);
    for (;;) {
        for (QChar letter : std::as_const(candidates)) {
            if (!drives.IsDriveReady(letter, false))
                continue;
            TDiskRec found;
            ReadVolumeInfo(drives, letter, &found);
            if (found.Serial != disk->Serial || found.VolumeLabel != disk->VolumeLabel
                || !MediaTypesCompatible(found.MediaType, disk->MediaType))
                continue;
            if (virtualRoot) {
                if (!FindFolderBelow(drives.rootPath(letter), TextView(disk->RootPath)).isEmpty())
                    return letter;
                continue;
            }
            if (compressed)
                return letter;
            const int64_t capacity = WholeBytes(DiskSpace(&found, 0));
            if (capacity == WholeBytes(DiskSpace(disk, 0)))
                return letter;
        }
        if (!interactive)
            return QChar();
        if (IsFixedMedium(wanted)) {
            QString text = QStringLiteral("The media you requested (") + MediaTypeName(wanted, disk->KindFlags)
                           + QStringLiteral(") was not found\r\nand does not seem to be removable.");
            if (allowManual)
                text += QStringLiteral(" Please select \rthe appropriate drive yourself if available.");
            ask.ask(QStringLiteral("Non-Removable Media"), text, MsgIcon::Information, MsgButtons::Ok);
            return allowManual ? kManualDriveChoice : QChar();
        }
        const MsgAnswer answer = insertMedia ? insertMedia(diskNode->text(), wanted, allowManual) : MsgAnswer::Cancel;
        if (answer == MsgAnswer::No && allowManual)
            return kManualDriveChoice;
        if (answer != MsgAnswer::Ok)
            return QChar();
        // The medium just inserted may be mounted by now, somewhere new, and
        // a device plugged in meanwhile is a drive of its own.
        drives.refresh();
        candidates = candidatesNow();
    }
}

QString MediaTypeName(uint8_t code, uint8_t kindFlags)
{
    return MediaTypeText(code, ItemIs(kindFlags, rfVirtualRoot));
}
