// The Add Disk dialog and the main window's Add/Update Disk command. The
// dialog shows one button per drive (its media type's icon, a hint, the
// letter under it as accelerator) and a "Folder..." button that picks any
// folder, the disk name, the target catalog, the status of the chosen
// medium, and behind "Advanced >>" the scan options, the virtual root and
// "Save as default". Its state lives in a TAddDiskWork; the dialog mirrors
// it. RunAddDiskCommand shows the dialog, asks about the serial number, and
// runs the scan behind the progress window.
#pragma once

#include "scan/AddDisk.h"

#include <QDialog>
#include <QToolButton>

#include <functional>
#include <map>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class Prompter;
class TDrives;
class TForest;
class TOptions;
class TTreeNode;
class TWaitUpdateForm;

// Picks a folder: the dialog's caption, the folder tree's root, the folder
// to start at. Returns the folder, or an empty text when cancelled.
using TFolderChooser =
    std::function<QString(QWidget *parent, const QString &caption, const QString &root, const QString &start)>;

// One drive of the dialog: a checkable 41 x 41 button with the drive's icon.
class TDriveButton : public QToolButton
{
    Q_OBJECT
public:
    TDriveButton(QChar letter, uint8_t mediaType, QWidget *parent = nullptr);
    QChar letter() const { return m_letter; }
    uint8_t mediaType() const { return m_mediaType; }

private:
    QChar m_letter;
    uint8_t m_mediaType;
};

class TAddDiskForm : public QDialog
{
    Q_OBJECT
public:
    // work has been begun; it and prompter stay the caller's.
    TAddDiskForm(TAddDiskWork &work, Prompter &prompter, QWidget *parent = nullptr);
    ~TAddDiskForm() override;

    // Replace the windows the dialog opens (tests; an empty function restores the window).
    void setFolderChooser(TFolderChooser chooser);
    void setInsertMedia(TInsertMediaFn insertMedia);
    void setDiskSelector(std::function<TDiskSelectAnswer(const std::vector<TTreeNode *> &)> selector);

    // Update mode, once the dialog shows: looks for the medium being updated
    // and presses its drive; closes the dialog when the user gives up.
    void activate();
    // Whether the dialog is ready for the user: add mode at once, update mode
    // once activate has looked for the medium.
    bool activated() const { return m_activated; }

    // OK: the questions; the dialog closes when they allow it.
    void accept() override;

    // --- the controls (tests and the keyboard)
    TDriveButton *driveButton(QChar letter) const;
    std::vector<TDriveButton *> driveButtons() const;
    // Presses or releases a drive button as a click would.
    void clickDrive(QChar letter);
    // "Folder...": any folder; its drive is pressed with the folder as virtual root.
    void chooseFolder();
    // VirtualRootCheck clicked.
    void virtualRootClicked(bool checked);
    // "Disk &Info": the properties dialog's disk page for the work record.
    void showDiskInfo();
    void setAdvancedOpen(bool open);
    bool advancedOpen() const;

    TAddDiskWork &work() const { return m_work; }
    QLineEdit *diskNameEdit() const { return m_name; }
    QComboBox *databaseList() const { return m_catalogs; }
    QLabel *statusLabel() const { return m_status; }
    QLabel *noDrivesLabel() const { return m_noDrives; }
    QLabel *virtualRootLabel() const { return m_rootLabel; }
    QCheckBox *check(const QString &controlName) const;
    QComboBox *importDescCombo() const { return m_importCombo; }
    QPushButton *okButton() const { return m_ok; }
    QPushButton *infoButton() const { return m_info; }
    QPushButton *advancedButton() const { return m_advanced; }
    QPushButton *folderButton() const { return m_folder; }
    QWidget *optionPanel() const { return m_panel; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildDriveButtons();
    void syncFromWork();     // name, status, drive buttons, virtual root, OK
    void syncOptions();      // check states and enabling
    void optionClicked(const QString &controlName, bool checked);
    QString chooseFolderWith(const QString &caption, const QString &root, const QString &start);
    // The folder the scan will read when the user chose one (with Folder...
    // or as the virtual root), as it was chosen; empty when the pressed drive
    // is scanned whole or no drive is pressed.
    QString folderToScan() const;

    TAddDiskWork &m_work;
    Prompter &m_prompter;
    TFolderChooser m_folderChooser;
    TInsertMediaFn m_insertMedia;
    std::function<TDiskSelectAnswer(const std::vector<TTreeNode *> &)> m_selector;

    QWidget *m_driveArea = nullptr;
    std::map<QChar, TDriveButton *> m_buttons;
    QLabel *m_noDrives = nullptr;
    QPushButton *m_folder = nullptr;
    QLineEdit *m_name = nullptr;
    QComboBox *m_catalogs = nullptr;
    QLabel *m_status = nullptr;
    QWidget *m_panel = nullptr;
    QCheckBox *m_rootCheck = nullptr;
    QLabel *m_rootLabel = nullptr;
    std::map<QString, QCheckBox *> m_checks;
    QComboBox *m_importCombo = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_info = nullptr;
    QPushButton *m_advanced = nullptr;
    bool m_activated = false;
    // The last folder chosen in a picker, with the drive and virtual root it
    // became, so the status shows it as it was chosen.
    QString m_chosenFolder;
    QChar m_chosenLetter;
    QByteArray m_chosenRoot;
};

// What the Add/Update Disk command needs besides the catalogs and drives.
struct TAddDiskCommandHooks {
    bool searchRunning = false;                     // a search is running: the command is refused
    std::function<void(const QString &)> status;    // the main window's status bar; empty text clears it
    std::function<void(const QString &)> note;      // a line for the user after the scan (why nothing was ejected)
    TFolderChooser chooseFolder;                    // empty: the folder picker window
};

// The Add/Update Disk command of the main window: refused while a search
// runs; otherwise the Add Disk dialog (update: for the disk at or above
// selected), the serial number question, and the scan behind the progress
// window, with the error message when the scan fails. Returns the new disk
// node for the main window to select, or null when nothing was added.
TTreeNode *RunAddDiskCommand(QWidget *parent, TForest &forest, TTreeNode *selected, bool update, TOptions &options,
                             TDrives &drives, Prompter &prompter, const TAddDiskCommandHooks &hooks = {});

// The part after the dialog closed with OK: the serial number question
// (askSerial; empty: the question window), then the scan behind a progress
// window, then the error message. A line the scan leaves for the user (why
// the medium was not ejected) goes to note once the progress window is gone.
// Returns the new disk node or null.
TTreeNode *RunAddDiskScan(QWidget *parent, TAddDiskWork &work, TDrives &drives, Prompter &prompter,
                          const std::function<void(const QString &)> &status = {},
                          const std::function<TSerialAnswer()> &askSerial = {},
                          const std::function<void(const QString &)> &note = {});
