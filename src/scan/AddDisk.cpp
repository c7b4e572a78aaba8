// The Add Disk dialog's logic without the dialog: texts, the drive grid,
// matching a medium against the catalogued disks, the option rules and the
// questions of OK. Everything that reads a drive goes through TDrives, and
// every question through the Prompter, so it runs the same under a window,
// the command line and the tests.
#include "scan/AddDisk.h"

#include "catalog/CatalogRec.h"
#include "catalog/DiskMedium.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "platform/ByteTotals.h"
#include "platform/Drives.h"
#include "platform/Prompter.h"
#include "platform/Texts.h"
#include "settings/Options.h"

#include <QDir>
#include <QFileInfo>
#include <QPair>
#include <QStringList>

#include <algorithm>
#include <initializer_list>
#include <optional>

// ---------------------------------------------------------------------------
// Texts

QString AddDiskCaption(TAddDiskMode mode)
{
    return mode == TAddDiskMode::Add ? QStringLiteral("Add New Disk") : QStringLiteral("Update Disk");
}

QString MsgSearchRunningCaption()
{
    return QStringLiteral("Can't Update Data");
}

QString MsgSearchRunningText()
{
    return QStringLiteral("Sorry, updating catalog is not possible while search is in progress.\r"
                          "Please cancel the search or wait for search to finish.");
}

QString MsgNoDrives()
{
    return QStringLiteral("No drives are available");
}

QString MsgNoDriveSelected()
{
    return QStringLiteral("No drive selected");
}

QString MsgLookingForMedia()
{
    return QStringLiteral("Looking for selected media, please wait...");
}

QString MsgUpdateOldDataCaption()
{
    return QStringLiteral("Update Old Data?");
}

QString MsgUpdateOldDataText(const QString &diskName)
{
    return QStringLiteral("Disk with the same serial number, label and capacity is\ralready in the catalog as \"")
           + diskName + QStringLiteral("\". ") + QStringLiteral("\r") + QStringLiteral("\r")
           + QStringLiteral("Would like to update the disk currently in the catalog?") + QStringLiteral("\r")
           + QStringLiteral("(selecting \"No\" will add a new disk to the catalog)");
}

QString MsgWarningCaption()
{
    return QStringLiteral("Warning");
}

QString MsgMediaMismatchText(const QString &diskName)
{
    return QStringLiteral("Properties of selected media do not match properties of the disk you are updating!\r"
                          "This may be right if you have formatted media since it has been last catalogued.\r\r"
                          "Are you sure you want to replace data for \"")
           + diskName + QStringLiteral("\" with the selected media?");
}

QString MsgDescriptionsLostText()
{
    return QStringLiteral("You did not choose to import existing descriptions for the disk you\r\n"
                          "are updating. All existing descriptions will be lost! Proceed?");
}

QString MsgChangeSerialCaption()
{
    return QStringLiteral("Change Serial Number?");
}

QString MsgChangeSerialText()
{
    return QStringLiteral("Program has found another disk already in the catalog with the same serial number as "
                          "the current disk. If this disk is not the same, program can change serial number and "
                          "current disk will be recognized in the future.\r\r"
                          "May program try to change disk serial number?");
}

QString MsgChangeSerialYes()
{
    return QStringLiteral("Yes, change it");
}

QString MsgChangeSerialNo()
{
    return QStringLiteral("No, leave it as is");
}

QString MsgChangeSerialDontAsk()
{
    return QStringLiteral("Don't ask this question again, always change serial number");
}

QString MsgSelectDiskCaption()
{
    return QStringLiteral("Select Disk");
}

QString MsgSelectDiskText()
{
    return QStringLiteral("The following disks in catalog have been detected to have the same properties as the "
                          "inserted media. Select the disk you would like to update in catalog (right-click a disk "
                          "to access detailed info about that disk):");
}

QString MsgSelectDiskHintCaption()
{
    return QStringLiteral("Hint on updating disks");
}

QString MsgSelectDiskHintText()
{
    return QStringLiteral("The next time, if you would like to update data for an existing disk\r in a catalog, it is "
                          "easier to do it by selecting disk in the left pane,\r right click it and select \"Update "
                          "Disk Data\" from its object menu. \rThis way, there will be no need for selecting disks "
                          "like it is now.");
}

QStringList SelectDiskColumns()
{
    return {QStringLiteral("Disk Name"),  QStringLiteral("Media Type"),   QStringLiteral("Volume Name"),
            QStringLiteral("Capacity"),   QStringLiteral("Free Space"),   QStringLiteral("Last Updated"),
            QStringLiteral("Description")};
}

QString DriveHint(uint8_t mediaType, QChar letter)
{
    return MediaTypeName(mediaType, 0) + QStringLiteral(" (") + letter + QStringLiteral(":)");
}

QString AddDiskStatusText(TAddDiskMode mode, QChar letter, const TDiskRec *work, bool matched)
{
    if (letter.isNull() || !work)
        return MsgNoDriveSelected();
    const QString head = MediaTypeName(work->MediaType, work->KindFlags) + QStringLiteral(" (") + letter
                         + QStringLiteral(":), ");
    if (mode == TAddDiskMode::Add)
        return head + QStringLiteral("Serial num: ") + SerialText(work->Serial)
               + (matched ? QStringLiteral(", already exists in catalog") : QStringLiteral(", not found in catalog"));
    return head + (matched ? QStringLiteral("media match confirmed, ready to update")
                           : QStringLiteral("does NOT match the media selected for update"));
}

// ---------------------------------------------------------------------------
// Drive buttons

int DriveButtonColumns(int screenWidth, int buttonCount)
{
    // Nine columns at least, so that a small screen still shows A: to I: in one row.
    constexpr int kMinColumns = 9;
    int columns = std::max(0, screenWidth) * 2 / 123;
    columns = std::min(columns, std::max(0, buttonCount));
    return std::max(columns, kMinColumns);
}

QPoint DriveButtonPosition(int index, int columns)
{
    const int perRow = std::max(1, columns);
    return QPoint((index % perRow) * kDriveButtonStep, (index / perRow) * kDriveRowStep);
}

// ---------------------------------------------------------------------------
// Matching

int64_t CapacityBytes(const TDiskRec &disk)
{
    return WholeBytes(DiskSpace(&disk, 0));
}

bool DiskMatchesMedium(const TDiskRec &disk, const TDiskRec &work, const QByteArray &chosenRoot)
{
    if (disk.Serial != work.Serial || disk.VolumeLabel != work.VolumeLabel
        || !MediaTypesCompatible(disk.MediaType, work.MediaType))
        return false;
    const bool diskVirtual = ItemIs(disk.KindFlags, rfVirtualRoot);
    if (diskVirtual != !chosenRoot.isEmpty())
        return false;
    // Two folders of one medium are two disks: a virtual root matches only
    // the disk catalogued from the same folder.
    if (diskVirtual)
        return TextView(disk.RootPath) == QByteArrayView(chosenRoot);
    if (ItemIs(disk.KindFlags, rfCompressed))
        return true;
    return CapacityBytes(disk) == CapacityBytes(work);
}

std::vector<TTreeNode *> MatchingDisks(TTreeNode *catalogNode, const TDiskRec &work, const QByteArray &chosenRoot)
{
    std::vector<TTreeNode *> result;
    if (!catalogNode)
        return result;
    for (TTreeNode *child : catalogNode->children())
        if (const TDiskRec *disk = AsDisk(NodeRec(child)))
            if (DiskMatchesMedium(*disk, work, chosenRoot))
                result.push_back(child);
    return result;
}

bool MediumMatchesOldDisk(const TDiskRec &old, const TDiskRec &work, bool virtualRootCheck,
                          const QByteArray &chosenRoot)
{
    if (old.Serial != work.Serial || old.VolumeLabel != work.VolumeLabel
        || !MediaTypesCompatible(old.MediaType, work.MediaType))
        return false;
    if (virtualRootCheck && ItemIs(old.KindFlags, rfVirtualRoot) && TextView(old.RootPath) == QByteArrayView(chosenRoot))
        return true;
    if (ItemIs(old.KindFlags, rfCompressed))
        return true;
    if (virtualRootCheck)
        return false;
    return CapacityBytes(old) == CapacityBytes(work);
}

// ---------------------------------------------------------------------------
// Options

TOptionEnabling OptionEnabling(const TScanOptions &options, TAddDiskMode mode)
{
    TOptionEnabling e;
    const bool anyImport =
        options.ImportDizCheck || options.ImportBBSCheck || options.Import4DOSCheck || options.ImportCommentCheck;
    e.archiveDescOnly = options.BrowseArchiveCheck && anyImport;
    e.archiveQuickScan = mode == TAddDiskMode::Update && options.BrowseArchiveCheck;
    e.importDescCombo = options.KeepCurrentCheck;
    e.importDescComboShown = mode == TAddDiskMode::Update;
    return e;
}

void SetBrowseArchive(TScanOptions &options, bool on)
{
    options.BrowseArchiveCheck = on;
    if (!on)
        options.ImportCommentCheck = false;
}

void SetImportComment(TScanOptions &options, bool on)
{
    options.ImportCommentCheck = on;
    if (on)
        options.BrowseArchiveCheck = true;
}

void SaveScanDefaults(const TScanOptions &options, TOptions &settings)
{
    settings.setDescSourceEnabled(dsFileIdDiz, options.ImportDizCheck);
    settings.setDescSourceEnabled(dsFilesBbs, options.ImportBBSCheck);
    settings.setDescSourceEnabled(dsDescriptIon, options.Import4DOSCheck);
    settings.setDescSourceEnabled(dsArchiveComment, options.ImportCommentCheck);
    settings.DescKeepCurrentCheck = options.KeepCurrentCheck;
    settings.InsideZipCheck = options.BrowseArchiveCheck;
    settings.EjectMediaCheck = options.EjectMediaCheck;
    settings.ArchiveDescOnly = options.ArchiveDescOnly;
    settings.ArchiveQuickScan = options.ArchiveQuickScan;
    settings.setModified(true);
}

// ---------------------------------------------------------------------------
// The serial number question

bool DecideChangeSerial(TAddDiskMode mode, bool hasOldDisk, int matchCount, TOptions &settings,
                        const std::function<TSerialAnswer()> &ask)
{
    if (mode != TAddDiskMode::Add || hasOldDisk || matchCount <= 0 || !settings.SetSerialCheck)
        return false;
    if (!settings.SerialAskCheck)
        return true;
    const TSerialAnswer answer = ask ? ask() : TSerialAnswer{};
    if (answer.dontAskAgain) {
        settings.SerialAskCheck = false;
        settings.setModified(true);
    }
    return answer.change;
}

// ---------------------------------------------------------------------------
// The dialog's state

TAddDiskWork::TAddDiskWork(TDrives &drives, TOptions &settings, Prompter &prompter)
    : m_drives(drives), m_settings(settings), m_prompter(prompter), m_work(std::make_unique<TDiskRec>())
{
    m_status = MsgNoDriveSelected();
}

TAddDiskWork::~TAddDiskWork()
{
    resetWork();
}

void TAddDiskWork::resetWork()
{
    FreeText(m_work->Desc);
    FreeText(m_work->RootPath);
    *m_work = TDiskRec();
}

bool TAddDiskWork::begin(const std::vector<TTreeNode *> &catalogs, TTreeNode *selected, bool update)
{
    m_catalogs.clear();
    for (TTreeNode *node : catalogs)
        if (node && AsCatalog(NodeRec(node)))
            m_catalogs.push_back(node);
    m_mode = update ? TAddDiskMode::Update : TAddDiskMode::Add;
    m_updateDisk = nullptr;
    m_oldDisk = nullptr;
    m_catalog = nullptr;
    m_letter = QChar();
    m_roots.clear();
    m_matches.clear();
    m_acceptedMatches = 0;
    m_changeSerial = false;
    m_defaultCheck = false;
    resetWork();
    if (m_catalogs.empty())
        return false;

    TTreeNode *selectedCatalog = selected ? CatalogNodeOf(selected) : nullptr;
    if (std::find(m_catalogs.begin(), m_catalogs.end(), selectedCatalog) == m_catalogs.end())
        selectedCatalog = nullptr;
    if (update) {
        TTreeNode *disk = selected ? DiskNodeOf(selected) : nullptr;
        if (!disk || !selectedCatalog || disk->parent() != selectedCatalog)
            return false;
        m_updateDisk = disk;
        m_oldDisk = disk;
        m_catalog = selectedCatalog;
        m_name = DecodeStored(disk->text());
    } else {
        m_catalog = selectedCatalog ? selectedCatalog : m_catalogs.front();
        m_name.clear();
    }
    ApplyScanDefaults(m_options, m_settings, update);
    refreshDrives();
    recompute();
    return true;
}

void TAddDiskWork::setCatalog(TTreeNode *catalogNode)
{
    if (m_mode != TAddDiskMode::Add || catalogNode == m_catalog)
        return;
    if (std::find(m_catalogs.begin(), m_catalogs.end(), catalogNode) == m_catalogs.end())
        return;
    m_catalog = catalogNode;
    if (!m_letter.isNull())
        m_name = DecodeStored(m_work->VolumeLabel);
    recompute();
    applyOldName();
}

bool TAddDiskWork::offered(QChar letter) const
{
    return std::any_of(m_choices.begin(), m_choices.end(), [&](const TDriveChoice &c) { return c.letter == letter; });
}

void TAddDiskWork::refreshDrives()
{
    m_drives.refresh();
    m_choices.clear();
    const TDiskRec *old = m_mode == TAddDiskMode::Update && m_updateDisk ? AsDisk(NodeRec(m_updateDisk)) : nullptr;
    for (const TDrive &d : m_drives.drives()) {
        const uint8_t type = m_drives.DriveMediaType(d.letter);
        if (old && !MediaTypesFit(old->MediaType, type))
            continue;
        m_choices.push_back({d.letter, type});
    }
    if (!m_letter.isNull() && !offered(m_letter))
        releaseDrive();
}

QString TAddDiskWork::driveRoot(QChar letter) const
{
    return m_drives.rootPath(letter);
}

TAddDiskWork::TActivation TAddDiskWork::activate(const TInsertMediaFn &insertMedia)
{
    if (m_mode != TAddDiskMode::Update || !m_updateDisk)
        return TActivation::Manual;
    m_status = MsgLookingForMedia();
    const QChar found = FindMediaForDisk(m_drives, m_updateDisk, true, true, &m_prompter, insertMedia);
    // The search may have read the drive table again.
    refreshDrives();
    if (found.isNull()) {
        updateStatus();
        return TActivation::Cancelled;
    }
    if (found == kManualDriveChoice || !offered(found)) {
        updateStatus();
        return TActivation::Manual;
    }
    const TDiskRec *old = AsDisk(NodeRec(m_updateDisk));
    if (old && ItemIs(old->KindFlags, rfVirtualRoot))
        m_roots[found] = TextView(old->RootPath).toByteArray();
    return pressDrive(found) ? TActivation::Pressed : TActivation::Manual;
}

bool TAddDiskWork::pressDrive(QChar letter)
{
    letter = letter.toUpper();
    if (!offered(letter) || !m_drives.IsDriveReady(letter, true, &m_prompter)) {
        releaseDrive();
        return false;
    }
    m_letter = letter;
    resetWork();
    ReadVolumeInfo(m_drives, letter, m_work.get());
    if (m_mode == TAddDiskMode::Add)
        m_name = DecodeStored(m_work->VolumeLabel);
    else if (m_name.isEmpty())
        m_name = DecodeStored(m_work->VolumeLabel);
    recompute();
    applyOldName();
    return true;
}

void TAddDiskWork::applyOldName()
{
    if (!m_letter.isNull() && m_oldDisk && m_settings.UpdateNameCheck)
        m_name = DecodeStored(m_oldDisk->text());
}

void TAddDiskWork::releaseDrive()
{
    m_letter = QChar();
    m_name.clear();
    resetWork();
    recompute();
}

void TAddDiskWork::recompute()
{
    m_matches.clear();
    m_mediumMatches = false;
    if (m_mode == TAddDiskMode::Add) {
        m_oldDisk = nullptr;
        if (!m_letter.isNull()) {
            m_matches = MatchingDisks(m_catalog, *m_work, rootPath(m_letter));
            if (!m_matches.empty())
                m_oldDisk = m_matches.front();
        }
    } else {
        m_oldDisk = m_updateDisk;
        const TDiskRec *old = m_oldDisk ? AsDisk(NodeRec(m_oldDisk)) : nullptr;
        if (!m_letter.isNull() && old)
            m_mediumMatches = MediumMatchesOldDisk(*old, *m_work, virtualRootCheck(), rootPath(m_letter));
    }
    // The work record shows what the new disk will carry over from the old one.
    FreeText(m_work->Desc);
    m_work->Reserved = 0;
    if (!m_letter.isNull() && m_oldDisk) {
        if (const TDiskRec *old = AsDisk(NodeRec(m_oldDisk))) {
            m_work->Reserved = old->Reserved;
            m_work->Desc = NewText(TextView(old->Desc));
        }
    }
    updateStatus();
}

void TAddDiskWork::updateStatus()
{
    const bool matched = m_mode == TAddDiskMode::Add ? !m_matches.empty() : m_mediumMatches;
    m_status = AddDiskStatusText(m_mode, m_letter, workRecord(), matched);
}

QString TAddDiskWork::virtualRootLabel() const
{
    return virtualRootCheck() ? DecodeStored(rootPath(m_letter)) : QStringLiteral("(none)");
}

namespace {

// The drive and virtual root of a chosen folder; nothing for a folder that
// does not exist, that no drive holds, or whose path cannot be stored (a
// name holding the "\" that separates stored path parts).
std::optional<QPair<QChar, QByteArray>> folderOnDrive(const TDrives &drives, const QString &folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return std::nullopt;
    QByteArray root;
    const auto letter = drives.driveOfPath(folder, &root);
    if (!letter)
        return std::nullopt;
    const QString mountPoint = drives.rootPath(*letter);
    const QString below = QDir::cleanPath(QFileInfo(folder).absoluteFilePath()).mid(mountPoint.size());
    if (below.contains(QLatin1Char('\\')) || QFileInfo(folder).canonicalFilePath().mid(mountPoint.size())
                                                 .contains(QLatin1Char('\\')))
        return std::nullopt;
    return QPair<QChar, QByteArray>(*letter, root);
}

} // namespace

void TAddDiskWork::setVirtualRootFolder(const QString &folder)
{
    if (m_letter.isNull())
        return;
    const auto place = folderOnDrive(m_drives, folder);
    if (!place) {
        clearVirtualRoot();
        return;
    }
    if (place->first != m_letter) {
        // A folder of another drive: that drive is the one meant.
        if (!chooseFolder(folder))
            clearVirtualRoot();
        return;
    }
    m_roots[m_letter] = place->second;
    recompute();
}

void TAddDiskWork::clearVirtualRoot()
{
    if (m_letter.isNull())
        return;
    m_roots.remove(m_letter);
    recompute();
}

bool TAddDiskWork::chooseFolder(const QString &folder)
{
    const auto place = folderOnDrive(m_drives, folder);
    if (!place || !offered(place->first))
        return false;
    m_roots[place->first] = place->second;
    return pressDrive(place->first);
}

TAddDiskWork::TOkResult
TAddDiskWork::accept(const std::function<TDiskSelectAnswer(const std::vector<TTreeNode *> &)> &selectDisk)
{
    if (m_letter.isNull())
        return TOkResult::StayOpen;
    m_acceptedMatches = int(m_matches.size());
    m_changeSerial = false;

    if (m_mode == TAddDiskMode::Add && m_oldDisk) {
        if (m_matches.size() > 1) {
            const TDiskSelectAnswer answer = selectDisk ? selectDisk(m_matches) : TDiskSelectAnswer{};
            switch (answer.kind) {
            case TDiskSelectAnswer::Cancel:
                return TOkResult::StayOpen;
            case TDiskSelectAnswer::Update:
                if (std::find(m_matches.begin(), m_matches.end(), answer.disk) == m_matches.end())
                    return TOkResult::StayOpen;
                // The name box shows the first match's name unless the user
                // typed one: the disk chosen keeps its own name.
                if (m_settings.UpdateNameCheck && m_name == DecodeStored(m_oldDisk->text()))
                    m_name = DecodeStored(answer.disk->text());
                m_oldDisk = answer.disk;
                break;
            case TDiskSelectAnswer::AddNew:
                m_oldDisk = nullptr;
                break;
            }
        } else {
            const MsgAnswer answer = m_prompter.ask(MsgUpdateOldDataCaption(),
                                                    MsgUpdateOldDataText(DecodeStored(m_oldDisk->text())),
                                                    MsgIcon::Question, MsgButtons::YesNoCancel);
            if (answer == MsgAnswer::No) {
                m_oldDisk = nullptr;
            } else if (answer == MsgAnswer::Yes) {
                m_mode = TAddDiskMode::Update;
                m_updateDisk = m_oldDisk;
                m_options.ImportDescCombo = m_options.KeepCurrentCheck ? ksWholeCatalog : ksUpdatedDisk;
                m_options.KeepCurrentCheck = true;
            } else {
                return TOkResult::StayOpen;
            }
        }
    } else if (m_mode == TAddDiskMode::Update && !m_mediumMatches) {
        const QString name = m_oldDisk ? DecodeStored(m_oldDisk->text()) : QString();
        if (m_prompter.ask(MsgWarningCaption(), MsgMediaMismatchText(name), MsgIcon::Warning, MsgButtons::YesNo)
            != MsgAnswer::Yes)
            return TOkResult::StayOpen;
    }

    if (m_oldDisk && !m_options.KeepCurrentCheck) {
        if (m_prompter.ask(MsgWarningCaption(), MsgDescriptionsLostText(), MsgIcon::Warning, MsgButtons::YesNo)
            != MsgAnswer::Yes)
            return TOkResult::StayOpenKeepCurrent;
    }

    if (m_defaultCheck)
        SaveScanDefaults(m_options, m_settings);
    return TOkResult::Close;
}

bool TAddDiskWork::decideChangeSerial(const std::function<TSerialAnswer()> &ask)
{
    m_changeSerial = DecideChangeSerial(m_mode, m_oldDisk != nullptr, m_acceptedMatches, m_settings, ask);
    return m_changeSerial;
}

TScanOptions TAddDiskWork::scanOptions() const
{
    TScanOptions o = m_options;
    ApplyScanSettings(o, m_settings);
    o.DiskName = CutAtCharBoundary(EncodeStored(m_name), kMaxShortText).toByteArray();
    o.DatabaseList = m_catalog;
    o.OldDiskNode = m_oldDisk;
    o.ChangeSerial = m_changeSerial;
    if (m_mode != TAddDiskMode::Update)
        o.ArchiveQuickScan = false;   // the control is disabled outside update mode
    // Adding carries descriptions over from the other disks of the catalog (the
    // check box says so); the choice of source exists in update mode only.
    if (m_mode == TAddDiskMode::Add)
        o.ImportDescCombo = ksWholeCatalog;
    ApplyScanEnablingRules(o);
    return o;
}
