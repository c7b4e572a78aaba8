// Choosing what to scan before a disk is added to a catalog or updated: the
// drives offered, the work record read from the chosen drive, the catalogued
// disks that look like the inserted medium (serial number, label, media type
// and capacity), the status line, the scan options with their enabling rules
// and defaults, the disk name, the questions asked when OK is pressed and the
// decision to give a medium a new serial number. TAddDiskWork holds the whole
// state of the Add Disk dialog without any window, so the dialog only mirrors
// it and the command line or tests can drive it directly.
#pragma once

#include "catalog/CatalogRec.h"
#include "platform/Prompter.h"
#include "scan/DiskScan.h"

#include <QByteArray>
#include <QChar>
#include <QMap>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TDrives;
class TOptions;
class TTreeNode;

// Adding a new disk, or updating one already in a catalog.
enum class TAddDiskMode { Add, Update };

// --- texts -------------------------------------------------------------------

QString AddDiskCaption(TAddDiskMode mode);   // "Add New Disk" / "Update Disk"
QString MsgSearchRunningCaption();           // "Can't Update Data"
QString MsgSearchRunningText();              // "Sorry, updating catalog is not possible while search ..."
QString MsgNoDrives();                       // "No drives are available"
QString MsgNoDriveSelected();                // "No drive selected"
QString MsgLookingForMedia();                // "Looking for selected media, please wait..."
QString MsgUpdateOldDataCaption();           // "Update Old Data?"
QString MsgUpdateOldDataText(const QString &diskName);
QString MsgWarningCaption();                 // "Warning"
QString MsgMediaMismatchText(const QString &diskName);
QString MsgDescriptionsLostText();
QString MsgChangeSerialCaption();            // "Change Serial Number?"
QString MsgChangeSerialText();
QString MsgChangeSerialYes();                // "Yes, change it"
QString MsgChangeSerialNo();                 // "No, leave it as is"
QString MsgChangeSerialDontAsk();            // "Don't ask this question again, always change serial number"
QString MsgSelectDiskCaption();              // "Select Disk"
QString MsgSelectDiskText();
QString MsgSelectDiskHintCaption();          // "Hint on updating disks"
QString MsgSelectDiskHintText();
// The column captions of the disk selection list, in column order.
QStringList SelectDiskColumns();

// The hint of a drive button: media type name + " (" + letter + ":)".
QString DriveHint(uint8_t mediaType, QChar letter);
// The status line of the dialog for the current drive; letter null: no drive.
// Add mode says whether the medium is already in the catalog, update mode
// whether it is the medium being updated.
QString AddDiskStatusText(TAddDiskMode mode, QChar letter, const TDiskRec *work, bool matched);

// --- drive buttons ------------------------------------------------------------

// Pixels between drive buttons in a row and between rows; the button's size.
inline constexpr int kDriveButtonStep = 45;
inline constexpr int kDriveRowStep = 65;
inline constexpr int kDriveButtonSize = 41;
// Columns of the drive button grid: screen width x 2 / 123 (a button and its
// gap take about 61 pixels of a half screen), at most the number of buttons,
// and never fewer than 9.
int DriveButtonColumns(int screenWidth, int buttonCount);
// The top-left corner of button index in a grid of that many columns.
QPoint DriveButtonPosition(int index, int columns);

// --- matching -----------------------------------------------------------------

// The capacity of a disk record in bytes.
int64_t CapacityBytes(const TDiskRec &disk);
// Add mode: whether a catalogued disk looks like the medium in the work record.
// chosenRoot is the virtual root chosen for the drive (empty: none). Serial,
// label (exact) and compatible media types must agree, and both must be
// virtual roots of the same folder or neither; a whole disk that is not a
// compressed volume must also have the same capacity.
bool DiskMatchesMedium(const TDiskRec &disk, const TDiskRec &work, const QByteArray &chosenRoot);
// The disks of a catalog that match, in catalog order.
std::vector<TTreeNode *> MatchingDisks(TTreeNode *catalogNode, const TDiskRec &work, const QByteArray &chosenRoot);
// Update mode: whether the medium in the work record is the disk being
// updated. Serial, label and compatible media types must agree; then the same
// virtual root matches, a compressed volume matches, another virtual root does
// not, and a whole disk needs the same capacity.
bool MediumMatchesOldDisk(const TDiskRec &old, const TDiskRec &work, bool virtualRootCheck,
                          const QByteArray &chosenRoot);

// --- options ------------------------------------------------------------------

// Which option controls are usable for the current values and mode.
struct TOptionEnabling {
    bool archiveDescOnly = false;    // needs archive browsing and an import check
    bool archiveQuickScan = false;   // needs update mode and archive browsing
    bool importDescCombo = false;    // needs KeepCurrentCheck
    bool importDescComboShown = false;   // update mode only
};
TOptionEnabling OptionEnabling(const TScanOptions &options, TAddDiskMode mode);
// Clicking BrowseArchiveCheck: switching it off also switches the archive comment off.
void SetBrowseArchive(TScanOptions &options, bool on);
// Clicking ImportCommentCheck: switching it on also switches archive browsing on.
void SetImportComment(TScanOptions &options, bool on);
// "Save as default": the dialog's choices become the settings' defaults, and
// the settings are marked changed.
void SaveScanDefaults(const TScanOptions &options, TOptions &settings);

// --- the serial number question -------------------------------------------------

// What the "Change Serial Number?" window answered.
struct TSerialAnswer {
    bool change = false;         // "Yes, change it"
    bool dontAskAgain = false;   // the check box was on
};
// Whether the scan should give the medium a new serial number: only when a
// new disk is added although it looked like catalogued ones (matchCount > 0,
// no old disk) and SetSerialCheck is on; with SerialAskCheck on, ask decides,
// and its check box switches SerialAskCheck off (settings marked changed).
bool DecideChangeSerial(TAddDiskMode mode, bool hasOldDisk, int matchCount, TOptions &settings,
                        const std::function<TSerialAnswer()> &ask);

// --- the dialog's state -----------------------------------------------------------

// What the disk selection list answered.
struct TDiskSelectAnswer {
    enum Kind { Cancel, Update, AddNew } kind = Cancel;
    TTreeNode *disk = nullptr;   // Update: the disk selected first in the list
};

// The Insert Media question of FindMediaForDisk: OK, Cancel, or No for "Manual Select".
using TInsertMediaFn = std::function<MsgAnswer(const QByteArray &diskName, uint8_t mediaType, bool allowManual)>;

// One drive offered by the dialog.
struct TDriveChoice {
    QChar letter;
    uint8_t mediaType = 255;
};

class TAddDiskWork
{
public:
    // drives, settings and prompter stay the caller's and must outlive this.
    TAddDiskWork(TDrives &drives, TOptions &settings, Prompter &prompter);
    ~TAddDiskWork();
    TAddDiskWork(const TAddDiskWork &) = delete;
    TAddDiskWork &operator=(const TAddDiskWork &) = delete;

    // Prepares the dialog for a command. catalogs are the open catalogs;
    // selected is the selected tree node (its catalog becomes the target; in
    // update mode the disk at or above it is the one updated). False when
    // there is no catalog, or no disk to update.
    bool begin(const std::vector<TTreeNode *> &catalogs, TTreeNode *selected, bool update);

    TAddDiskMode mode() const { return m_mode; }
    const std::vector<TTreeNode *> &catalogs() const { return m_catalogs; }
    TTreeNode *catalog() const { return m_catalog; }
    // Changes the target catalog (add mode) and matches again; ignored for a
    // node that is not one of the catalogs, and in update mode.
    void setCatalog(TTreeNode *catalogNode);

    // The drives offered: all, or in update mode those whose media type fits
    // the disk being updated. Re-read from the drive table.
    const std::vector<TDriveChoice> &drives() const { return m_choices; }
    void refreshDrives();
    // The folder where a drive's volume is mounted; empty when it is not.
    QString driveRoot(QChar letter) const;

    // Update mode on showing: looks for the medium of the disk being updated
    // (FindMediaForDisk, interactive, manual choice allowed) and presses its
    // drive. Manual: nothing pressed, the user chooses. Cancelled: the dialog
    // closes.
    enum class TActivation { Pressed, Manual, Cancelled };
    TActivation activate(const TInsertMediaFn &insertMedia);

    // Presses a drive button: reads the drive's volume into the work record
    // (after asking, when it is not ready, whether to retry), matches and sets
    // the name and the status. False, and no drive, when the drive is not
    // offered or not ready.
    bool pressDrive(QChar letter);
    void releaseDrive();
    QChar pressedDrive() const { return m_letter; }
    // The work record of the pressed drive; null when none.
    const TDiskRec *workRecord() const { return m_letter.isNull() ? nullptr : m_work.get(); }

    // The virtual root of a drive button ("\a\b\" form, empty: none).
    QByteArray rootPath(QChar letter) const { return m_roots.value(letter.toUpper()); }
    // Sets the virtual root of the pressed drive from a chosen folder (a
    // native path). The drive's mount point itself, a folder of another
    // drive, or an empty path mean no virtual root. Matches again.
    void setVirtualRootFolder(const QString &folder);
    // Clicking the virtual root off.
    void clearVirtualRoot();
    bool virtualRootCheck() const { return !m_letter.isNull() && !rootPath(m_letter).isEmpty(); }
    // "(none)" or the virtual root path.
    QString virtualRootLabel() const;
    // Any folder: presses the drive holding it with the folder as its virtual
    // root (the mount point itself: the whole drive). False when no offered
    // drive holds it or the drive is not ready.
    bool chooseFolder(const QString &folder);

    QString diskName() const { return m_name; }
    void setDiskName(const QString &name) { m_name = name; }
    // The dialog's option values (the control names of TScanOptions).
    TScanOptions &options() { return m_options; }
    const TScanOptions &options() const { return m_options; }
    TOptionEnabling enabling() const { return OptionEnabling(m_options, m_mode); }
    bool defaultCheck() const { return m_defaultCheck; }
    void setDefaultCheck(bool on) { m_defaultCheck = on; }

    bool okEnabled() const { return !m_letter.isNull(); }
    QString statusText() const { return m_status; }
    // Add mode: the catalogued disks that look like the medium.
    const std::vector<TTreeNode *> &matches() const { return m_matches; }
    // The disk that will be replaced; null: a new disk.
    TTreeNode *oldDisk() const { return m_oldDisk; }
    // Update mode: whether the medium is the disk being updated.
    bool mediumMatches() const { return m_mediumMatches; }

    // What pressing OK ended in.
    enum class TOkResult {
        Close,               // the dialog closes with OK
        StayOpen,            // a question was cancelled
        StayOpenKeepCurrent, // open the option panel and focus KeepCurrentCheck
    };
    // The questions of OK. selectDisk shows the disk selection list for
    // several matches.
    TOkResult accept(const std::function<TDiskSelectAnswer(const std::vector<TTreeNode *> &)> &selectDisk);
    // After OK: the match count kept when OK was pressed.
    int acceptedMatchCount() const { return m_acceptedMatches; }
    // After OK: the change-serial decision (see DecideChangeSerial).
    bool decideChangeSerial(const std::function<TSerialAnswer()> &ask);
    bool changeSerial() const { return m_changeSerial; }

    // What the scan is given after OK.
    TScanOptions scanOptions() const;
    QByteArray scanRootPath() const { return m_letter.isNull() ? QByteArray() : rootPath(m_letter); }

private:
    void resetWork();
    void recompute();            // matches, old disk, what the work record carries over, status
    void applyOldName();         // "Keep old disk name when updating disk already in the catalog"
    void updateStatus();
    bool offered(QChar letter) const;

    TDrives &m_drives;
    TOptions &m_settings;
    Prompter &m_prompter;

    TAddDiskMode m_mode = TAddDiskMode::Add;
    std::vector<TTreeNode *> m_catalogs;
    TTreeNode *m_catalog = nullptr;
    TTreeNode *m_updateDisk = nullptr;   // update mode: the disk of the command
    TTreeNode *m_oldDisk = nullptr;
    std::vector<TTreeNode *> m_matches;
    bool m_mediumMatches = false;

    std::vector<TDriveChoice> m_choices;
    QChar m_letter;
    std::unique_ptr<TDiskRec> m_work;
    QMap<QChar, QByteArray> m_roots;

    QString m_name;
    TScanOptions m_options;
    bool m_defaultCheck = false;
    QString m_status;

    int m_acceptedMatches = 0;
    bool m_changeSerial = false;
};
