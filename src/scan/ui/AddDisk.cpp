// The Add Disk dialog and the Add/Update Disk command.
#include "scan/ui/AddDisk.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "platform/Drives.h"
#include "platform/Prompter.h"
#include "platform/Texts.h"
#include "scan/ui/DiskSelect.h"
#include "scan/ui/MediaForm.h"
#include "scan/ui/WaitUpdate.h"
#include "widgets/ui/BrowseFolder.h"
#include "widgets/ui/Icons.h"
#include "widgets/ui/PropertiesForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The option check boxes: control name and text, in the order they are shown.
struct CheckInfo {
    const char *name;
    const char *text;
    int indent;   // shown under the check box they depend on
};
constexpr CheckInfo kChecks[] = {
    {"BrowseArchiveCheck", "Browse inside compressed files (ZIP, ARJ, RAR...)", 0},
    {"ArchiveDescOnly", "Look only for descriptions, do not import file contents", 1},
    {"ArchiveQuickScan", "Allow quick archive scan when updating disk image", 1},
    {"ImportDizCheck", "Import 'File_id.diz' files", 0},
    {"ImportBBSCheck", "Import 'Files.bbs' files", 0},
    {"Import4DOSCheck", "Import 'Descript.ion' files", 0},
    {"ImportCommentCheck", "Import archive's comment", 0},
    {"EjectMediaCheck", "Eject media when finished (if supported by drive)", 0},
};

// The icon inside a drive button; the button leaves a few pixels around it.
constexpr int kDriveIconSize = 32;
// Indent of an option that depends on the one above it.
constexpr int kIndent = 20;

// The option value a check box stands for; null for the boxes that are no option.
bool TScanOptions::*OptionField(const QString &name)
{
    static const std::map<QString, bool TScanOptions::*> fields = {
        {QStringLiteral("BrowseArchiveCheck"), &TScanOptions::BrowseArchiveCheck},
        {QStringLiteral("ArchiveDescOnly"), &TScanOptions::ArchiveDescOnly},
        {QStringLiteral("ArchiveQuickScan"), &TScanOptions::ArchiveQuickScan},
        {QStringLiteral("ImportDizCheck"), &TScanOptions::ImportDizCheck},
        {QStringLiteral("ImportBBSCheck"), &TScanOptions::ImportBBSCheck},
        {QStringLiteral("Import4DOSCheck"), &TScanOptions::Import4DOSCheck},
        {QStringLiteral("ImportCommentCheck"), &TScanOptions::ImportCommentCheck},
        {QStringLiteral("EjectMediaCheck"), &TScanOptions::EjectMediaCheck},
        {QStringLiteral("KeepCurrentCheck"), &TScanOptions::KeepCurrentCheck},
    };
    const auto it = fields.find(name);
    return it == fields.end() ? nullptr : it->second;
}

} // namespace

// ---------------------------------------------------------------------------
// TDriveButton

TDriveButton::TDriveButton(QChar letter, uint8_t mediaType, QWidget *parent)
    : QToolButton(parent), m_letter(letter), m_mediaType(mediaType)
{
    setObjectName(QStringLiteral("Drive") + letter);
    setCheckable(true);
    setAutoRaise(false);
    setFixedSize(kDriveButtonSize, kDriveButtonSize);
    setIcon(AppIcon(DiskImage(mediaType, 0)));
    setIconSize(QSize(kDriveIconSize, kDriveIconSize));
    setToolTip(DriveHint(mediaType, letter));
    setFocusPolicy(Qt::StrongFocus);
}

// ---------------------------------------------------------------------------
// TAddDiskForm

TAddDiskForm::TAddDiskForm(TAddDiskWork &work, Prompter &prompter, QWidget *parent)
    : QDialog(parent), m_work(work), m_prompter(prompter)
{
    setObjectName(QStringLiteral("AddDiskForm"));
    setWindowTitle(AddDiskCaption(work.mode()));

    // --- drives
    m_driveArea = new QWidget(this);
    m_driveArea->setObjectName(QStringLiteral("DriveArea"));
    m_noDrives = new QLabel(MsgNoDrives(), m_driveArea);
    m_noDrives->setObjectName(QStringLiteral("NoDrivesLabel"));
    m_folder = new QPushButton(QStringLiteral("Folder..."), this);
    m_folder->setObjectName(QStringLiteral("FolderBtn"));
    m_folder->setToolTip(QStringLiteral("Scan a folder of a drive as a disk of its own"));
    connect(m_folder, &QPushButton::clicked, this, &TAddDiskForm::chooseFolder);
    auto *drives = new QHBoxLayout;
    drives->addWidget(m_driveArea, 1, Qt::AlignLeft | Qt::AlignTop);
    drives->addWidget(m_folder, 0, Qt::AlignTop);

    // --- name and catalog
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("DiskName"));
    m_name->setMaxLength(kMaxShortText);
    connect(m_name, &QLineEdit::textEdited, this, [this](const QString &text) { m_work.setDiskName(text); });
    m_catalogs = new QComboBox(this);
    m_catalogs->setObjectName(QStringLiteral("DatabaseList"));
    for (TTreeNode *catalog : m_work.catalogs())
        m_catalogs->addItem(AppIcon(TAppImage::Catalog), DecodeStored(catalog->text()));
    connect(m_catalogs, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < int(m_work.catalogs().size()))
            m_work.setCatalog(m_work.catalogs()[size_t(index)]);
        syncFromWork();
    });
    auto *form = new QGridLayout;
    auto *nameLabel = new QLabel(QStringLiteral("Disk name:"), this);
    auto *catalogLabel = new QLabel(QStringLiteral("Add/Update in Catalog:"), this);
    form->addWidget(nameLabel, 0, 0);
    form->addWidget(m_name, 0, 1);
    form->addWidget(catalogLabel, 1, 0);
    form->addWidget(m_catalogs, 1, 1);

    // --- the option panel
    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("OptionPanel"));
    static_cast<QFrame *>(m_panel)->setFrameShape(QFrame::StyledPanel);
    auto *panel = new QVBoxLayout(m_panel);
    m_rootCheck = new QCheckBox(QStringLiteral("Virtual root:"), m_panel);
    m_rootCheck->setObjectName(QStringLiteral("VirtualRootCheck"));
    m_rootLabel = new QLabel(QStringLiteral("(none)"), m_panel);
    m_rootLabel->setObjectName(QStringLiteral("VirtualRootLabel"));
    m_rootLabel->setTextFormat(Qt::PlainText);
    connect(m_rootCheck, &QCheckBox::clicked, this, &TAddDiskForm::virtualRootClicked);
    auto *rootRow = new QHBoxLayout;
    rootRow->addWidget(m_rootCheck);
    rootRow->addWidget(m_rootLabel, 1);
    panel->addLayout(rootRow);
    m_checks[QStringLiteral("VirtualRootCheck")] = m_rootCheck;
    for (const CheckInfo &info : kChecks) {
        auto *box = new QCheckBox(QString::fromLatin1(info.text), m_panel);
        const QString name = QString::fromLatin1(info.name);
        box->setObjectName(name);
        connect(box, &QCheckBox::clicked, this, [this, name](bool checked) { optionClicked(name, checked); });
        m_checks[name] = box;
        if (info.indent) {
            auto *row = new QHBoxLayout;
            row->addSpacing(kIndent * info.indent);
            row->addWidget(box);
            panel->addLayout(row);
        } else {
            panel->addWidget(box);
        }
    }
    auto *keep = new QCheckBox(work.mode() == TAddDiskMode::Add
                                   ? QStringLiteral("Import existing descriptions from other disks in the catalog")
                                   : QStringLiteral("Import existing descriptions from:"),
                               m_panel);
    keep->setObjectName(QStringLiteral("KeepCurrentCheck"));
    connect(keep, &QCheckBox::clicked, this, [this](bool checked) {
        optionClicked(QStringLiteral("KeepCurrentCheck"), checked);
    });
    m_checks[QStringLiteral("KeepCurrentCheck")] = keep;
    m_importCombo = new QComboBox(m_panel);
    m_importCombo->setObjectName(QStringLiteral("ImportDescCombo"));
    m_importCombo->addItems({QStringLiteral("disk you are updating"), QStringLiteral("all disks in the catalog")});
    connect(m_importCombo, &QComboBox::activated, this, [this](int index) {
        m_work.options().ImportDescCombo = index == 1 ? ksWholeCatalog : ksUpdatedDisk;
    });
    auto *keepRow = new QHBoxLayout;
    keepRow->addWidget(keep);
    keepRow->addWidget(m_importCombo);
    keepRow->addStretch();
    panel->addLayout(keepRow);
    auto *defaults = new QCheckBox(QStringLiteral("Save as default"), m_panel);
    defaults->setObjectName(QStringLiteral("DefaultCheck"));
    connect(defaults, &QCheckBox::clicked, this, [this](bool checked) { m_work.setDefaultCheck(checked); });
    m_checks[QStringLiteral("DefaultCheck")] = defaults;
    panel->addWidget(defaults);
    m_panel->setVisible(false);

    // --- buttons and status
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("OKBtn"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("CancelBtn"));
    m_info = new QPushButton(QStringLiteral("Disk &Info"), this);
    m_info->setObjectName(QStringLiteral("DiskInfoBtn"));
    m_advanced = new QPushButton(QStringLiteral("Advanced >>"), this);
    m_advanced->setObjectName(QStringLiteral("AdvancedBtn"));
    m_advanced->setCheckable(true);
    connect(m_ok, &QPushButton::clicked, this, &TAddDiskForm::accept);
    connect(m_cancel, &QPushButton::clicked, this, &TAddDiskForm::reject);
    connect(m_info, &QPushButton::clicked, this, &TAddDiskForm::showDiskInfo);
    connect(m_advanced, &QPushButton::toggled, this, [this](bool on) {
        m_panel->setVisible(on);
        adjustSize();
    });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    buttons->addWidget(m_info);
    buttons->addWidget(m_advanced);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("StatusBar"));
    m_status->setFrameShape(QFrame::StyledPanel);
    m_status->setFrameShadow(QFrame::Sunken);
    m_status->setTextFormat(Qt::PlainText);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(drives);
    layout->addLayout(form);
    layout->addWidget(m_panel);
    layout->addLayout(buttons);
    layout->addWidget(m_status);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    buildDriveButtons();
    syncFromWork();
    m_activated = work.mode() == TAddDiskMode::Add;
    qApp->installEventFilter(this);
}

TAddDiskForm::~TAddDiskForm()
{
    qApp->removeEventFilter(this);
}

void TAddDiskForm::setFolderChooser(TFolderChooser chooser)
{
    m_folderChooser = std::move(chooser);
}

void TAddDiskForm::setInsertMedia(TInsertMediaFn insertMedia)
{
    m_insertMedia = std::move(insertMedia);
}

void TAddDiskForm::setDiskSelector(std::function<TDiskSelectAnswer(const std::vector<TTreeNode *> &)> selector)
{
    m_selector = std::move(selector);
}

void TAddDiskForm::buildDriveButtons()
{
    for (auto &[letter, button] : m_buttons)
        delete button;
    m_buttons.clear();
    for (QLabel *label : m_driveArea->findChildren<QLabel *>(QStringLiteral("DriveLabel")))
        delete label;

    const std::vector<TDriveChoice> &choices = m_work.drives();
    const QScreen *shown = screen() ? screen() : QGuiApplication::primaryScreen();
    const int columns = DriveButtonColumns(shown ? shown->geometry().width() : 1024, int(choices.size()));
    int index = 0;
    for (const TDriveChoice &choice : choices) {
        auto *button = new TDriveButton(choice.letter, choice.mediaType, m_driveArea);
        const QPoint at = DriveButtonPosition(index++, columns);
        button->move(at);
        connect(button, &QToolButton::clicked, this, [this, letter = choice.letter] { clickDrive(letter); });
        auto *label = new QLabel(QStringLiteral("<u>") + choice.letter + QStringLiteral("</u>:"), m_driveArea);
        label->setObjectName(QStringLiteral("DriveLabel"));
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        label->setGeometry(at.x(), at.y() + kDriveButtonSize + 2, kDriveButtonSize, kDriveRowStep - kDriveButtonSize - 4);
        button->show();
        label->show();
        m_buttons[choice.letter] = button;
    }
    const int rows = choices.empty() ? 1 : (int(choices.size()) + columns - 1) / columns;
    const int shownColumns = std::min<int>(columns, std::max<int>(1, int(choices.size())));
    m_driveArea->setFixedSize(std::max(shownColumns * kDriveButtonStep, m_noDrives->sizeHint().width()),
                              rows * kDriveRowStep);
    m_noDrives->setVisible(choices.empty());
    m_noDrives->move(0, (kDriveRowStep - m_noDrives->sizeHint().height()) / 2);
}

TDriveButton *TAddDiskForm::driveButton(QChar letter) const
{
    const auto it = m_buttons.find(letter.toUpper());
    return it == m_buttons.end() ? nullptr : it->second;
}

std::vector<TDriveButton *> TAddDiskForm::driveButtons() const
{
    std::vector<TDriveButton *> list;
    for (const auto &[letter, button] : m_buttons)
        list.push_back(button);
    return list;
}

QCheckBox *TAddDiskForm::check(const QString &controlName) const
{
    const auto it = m_checks.find(controlName);
    return it == m_checks.end() ? nullptr : it->second;
}

void TAddDiskForm::syncFromWork()
{
    const QChar pressed = m_work.pressedDrive();
    for (auto &[letter, button] : m_buttons)
        button->setChecked(letter == pressed);
    if (m_name->text() != m_work.diskName()) {
        m_name->setText(m_work.diskName());
        // The name is there to be typed over.
        m_name->selectAll();
    }
    const QString folder = folderToScan();
    m_status->setText(folder.isEmpty() ? m_work.statusText()
                                       : m_work.statusText() + QStringLiteral("\nFolder to scan: ") + folder);
    m_rootCheck->setChecked(m_work.virtualRootCheck());
    m_rootCheck->setEnabled(!pressed.isNull());
    m_rootLabel->setText(m_work.virtualRootLabel());
    m_ok->setEnabled(m_work.okEnabled());
    m_info->setEnabled(m_work.okEnabled());
    const auto &catalogs = m_work.catalogs();
    const auto it = std::find(catalogs.begin(), catalogs.end(), m_work.catalog());
    m_catalogs->setCurrentIndex(it == catalogs.end() ? -1 : int(it - catalogs.begin()));
    // An update stays in the catalog of the disk it replaces.
    m_catalogs->setEnabled(m_work.mode() == TAddDiskMode::Add);
    syncOptions();
}

void TAddDiskForm::syncOptions()
{
    const TScanOptions &o = m_work.options();
    for (auto &[name, box] : m_checks)
        if (bool TScanOptions::*field = OptionField(name))
            box->setChecked(o.*field);
    m_checks[QStringLiteral("DefaultCheck")]->setChecked(m_work.defaultCheck());
    const TOptionEnabling e = m_work.enabling();
    m_checks[QStringLiteral("ArchiveDescOnly")]->setEnabled(e.archiveDescOnly);
    m_checks[QStringLiteral("ArchiveQuickScan")]->setEnabled(e.archiveQuickScan);
    m_importCombo->setVisible(e.importDescComboShown);
    m_importCombo->setEnabled(e.importDescCombo);
    m_importCombo->setCurrentIndex(o.ImportDescCombo == ksWholeCatalog ? 1 : 0);
}

void TAddDiskForm::optionClicked(const QString &controlName, bool checked)
{
    TScanOptions &o = m_work.options();
    if (controlName == QLatin1String("BrowseArchiveCheck"))
        SetBrowseArchive(o, checked);
    else if (controlName == QLatin1String("ImportCommentCheck"))
        SetImportComment(o, checked);
    else if (bool TScanOptions::*field = OptionField(controlName))
        o.*field = checked;
    syncOptions();
}

void TAddDiskForm::clickDrive(QChar letter)
{
    letter = letter.toUpper();
    if (m_work.pressedDrive() == letter)
        m_work.releaseDrive();
    else
        m_work.pressDrive(letter);
    syncFromWork();
}

QString TAddDiskForm::chooseFolderWith(const QString &caption, const QString &root, const QString &start)
{
    if (m_folderChooser)
        return m_folderChooser(this, caption, root, start);
    return BrowseForFolder(this, caption, root, start);
}

QString TAddDiskForm::folderToScan() const
{
    const QChar letter = m_work.pressedDrive();
    if (letter.isNull())
        return {};
    const QByteArray root = m_work.rootPath(letter);
    if (!m_chosenFolder.isEmpty() && letter == m_chosenLetter && root == m_chosenRoot)
        return QDir::toNativeSeparators(m_chosenFolder);
    if (root.isEmpty())
        return {};   // the whole drive, as its button says
    const QString mountPoint = m_work.driveRoot(letter);
    // A virtual root that came with the disk being updated: its stored "\a\b\"
    // path below the mount point.
    const QStringList parts = DecodeStored(root).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return QDir::toNativeSeparators(QDir(mountPoint).filePath(parts.join(QLatin1Char('/'))));
}

void TAddDiskForm::chooseFolder()
{
    const QString folder = chooseFolderWith(QStringLiteral("Select Folder"), QStringLiteral("/"), QDir::homePath());
    if (folder.isEmpty())
        return;
    if (!m_work.chooseFolder(folder)) {
        m_prompter.ask(QStringLiteral("Select Folder"),
                       QStringLiteral("The folder \"") + folder
                           + QStringLiteral("\" is not on any of the drives offered here."),
                       MsgIcon::Information, MsgButtons::Ok);
    } else {
        m_chosenFolder = QDir::cleanPath(folder);
        m_chosenLetter = m_work.pressedDrive();
        m_chosenRoot = m_work.rootPath(m_chosenLetter);
    }
    syncFromWork();
}

void TAddDiskForm::virtualRootClicked(bool checked)
{
    const QChar letter = m_work.pressedDrive();
    if (letter.isNull()) {
        syncFromWork();
        return;
    }
    if (checked) {
        // The chooser opens on the drive's root; the root itself means the whole drive.
        const QString mountPoint = m_work.driveRoot(letter);
        const QString folder = chooseFolderWith(QStringLiteral("Select virtual root folder"), mountPoint, mountPoint);
        m_work.setVirtualRootFolder(folder);
        if (!folder.isEmpty()) {
            m_chosenFolder = QDir::cleanPath(folder);
            m_chosenLetter = letter;
            m_chosenRoot = m_work.rootPath(letter);
        }
    } else {
        m_work.clearVirtualRoot();
    }
    syncFromWork();
}

void TAddDiskForm::showDiskInfo()
{
    const TDiskRec *work = m_work.workRecord();
    if (!work)
        return;
    TTreeNode *oldDisk = m_work.oldDisk();
    ShowWorkDiskProperties(this, *work, m_work.pressedDrive(), oldDisk ? CatalogNodeOf(oldDisk) : nullptr);
}

void TAddDiskForm::setAdvancedOpen(bool open)
{
    m_advanced->setChecked(open);
}

bool TAddDiskForm::advancedOpen() const
{
    return m_advanced->isChecked();
}

void TAddDiskForm::activate()
{
    if (m_activated || m_work.mode() != TAddDiskMode::Update)
        return;
    m_status->setText(MsgLookingForMedia());
    m_status->repaint();
    TInsertMediaFn insert = m_insertMedia;
    if (!insert)
        insert = [this](const QByteArray &name, uint8_t type, bool manual) {
            return AskInsertMedia(this, name, type, manual);
        };
    const TAddDiskWork::TActivation result = m_work.activate(insert);
    buildDriveButtons();
    syncFromWork();
    m_activated = true;
    if (result == TAddDiskWork::TActivation::Cancelled)
        QDialog::reject();
}

void TAddDiskForm::accept()
{
    if (!m_work.okEnabled())
        return;
    m_work.setDiskName(m_name->text());
    auto selector = m_selector;
    if (!selector)
        selector = [this](const std::vector<TTreeNode *> &disks) {
            return SelectMatchingDisk(this, disks, m_prompter);
        };
    switch (m_work.accept(selector)) {
    case TAddDiskWork::TOkResult::Close:
        QDialog::accept();
        return;
    case TAddDiskWork::TOkResult::StayOpen:
        syncFromWork();
        return;
    case TAddDiskWork::TOkResult::StayOpenKeepCurrent:
        syncFromWork();
        setAdvancedOpen(true);
        m_checks[QStringLiteral("KeepCurrentCheck")]->setFocus();
        return;
    }
}

bool TAddDiskForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != this || !isVisible())
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() < Qt::Key_A || key->key() > Qt::Key_Z)
        return false;
    TDriveButton *button = driveButton(QChar(char16_t(u'A' + (key->key() - Qt::Key_A))));
    if (!button || !button->isEnabled())
        return false;
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    const bool alt = modifiers == Qt::AltModifier;
    // A letter alone presses a drive anywhere but in the name box.
    const bool plain = modifiers == Qt::NoModifier && widget != m_name;
    if (!alt && !plain)
        return false;
    if (event->type() == QEvent::ShortcutOverride) {
        // Take the key before any mnemonic does: it arrives as a key press.
        event->accept();
        return true;
    }
    clickDrive(button->letter());
    return true;
}

// ---------------------------------------------------------------------------
// The command

TTreeNode *RunAddDiskScan(QWidget *parent, TAddDiskWork &work, TDrives &drives, Prompter &prompter,
                          const std::function<void(const QString &)> &status,
                          const std::function<TSerialAnswer()> &askSerial,
                          const std::function<void(const QString &)> &note)
{
    if (work.pressedDrive().isNull())
        return nullptr;
    work.decideChangeSerial(askSerial ? askSerial : [parent] { return AskChangeSerial(parent); });

    TWaitUpdateForm wait(prompter, parent);
    wait.show();
    wait.raise();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    TScanHooks hooks;
    hooks.progress = &wait;
    hooks.prompter = &prompter;
    hooks.status = status;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const TScanOutcome outcome = ScanDisk(drives, work.pressedDrive(), work.scanRootPath(), work.scanOptions(), hooks);
    QApplication::restoreOverrideCursor();
    wait.hide();
    if (!outcome.Success && !outcome.Cancelled)
        prompter.ask(MsgScanErrorCaption(), MsgScanErrorText(), MsgIcon::Error, MsgButtons::Ok);
    if (outcome.Success && !outcome.Note.isEmpty() && note)
        note(outcome.Note);
    return outcome.Success ? outcome.DiskNode : nullptr;
}

TTreeNode *RunAddDiskCommand(QWidget *parent, TForest &forest, TTreeNode *selected, bool update, TOptions &options,
                             TDrives &drives, Prompter &prompter, const TAddDiskCommandHooks &hooks)
{
    if (hooks.searchRunning) {
        prompter.ask(MsgSearchRunningCaption(), MsgSearchRunningText(), MsgIcon::Information, MsgButtons::Ok);
        return nullptr;
    }
    TAddDiskWork work(drives, options, prompter);
    if (!work.begin(forest.roots(), selected, update))
        return nullptr;
    TAddDiskForm form(work, prompter, parent);
    if (hooks.chooseFolder)
        form.setFolderChooser(hooks.chooseFolder);
    if (update)
        QTimer::singleShot(0, &form, &TAddDiskForm::activate);
    if (form.exec() != QDialog::Accepted)
        return nullptr;
    return RunAddDiskScan(parent, work, drives, prompter, hooks.status, {}, hooks.note);
}
