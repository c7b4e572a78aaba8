// Tests of the Add Disk windows on the offscreen platform: the dialog's drive
// buttons, keys, options and status; the whole Add/Update Disk command from
// the dialog through the serial number question and the progress window to
// the new disk (adding, adding a look-alike, updating with a medium that does
// not match, cancelling in the middle of a scan, a virtual root chosen with
// "Folder...", a scan that fails, a running search); and the disk choice
// list, the serial number question, the Insert Media dialog, the disk
// information window and the folder picker on their own. Drives are folders
// that a fake mount table presents as volumes; labels and serial numbers
// come from fake udev links. Questions asked through the Prompter are
// answered by a script; windows of their own are answered by polling for
// the active modal window.
#include "scan/ui/AddDisk.h"

#include "TestCatalogs.h"
#include "catalog/CatalogRec.h"
#include "catalog/DiskMedium.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "platform/Drives.h"
#include "platform/Texts.h"
#include "scan/ui/DiskSelect.h"
#include "scan/ui/MediaForm.h"
#include "scan/ui/WaitUpdate.h"
#include "settings/Options.h"
#include "widgets/ui/BrowseFolder.h"
#include "widgets/ui/PropertiesForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include <functional>
#include <memory>

using namespace testcat;

namespace {

TFsSpace Space(uint64_t blockSize, uint64_t blocks, uint64_t freeBlocks, uint64_t fsid)
{
    TFsSpace s;
    s.blockSize = blockSize;
    s.blocks = blocks;
    s.freeBlocks = freeBlocks;
    s.fsid = fsid;
    return s;
}

// Clicks a check box where its box is drawn (a stretched check box reacts
// to its box and text only, not to its middle).
void ClickBox(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

TDiskRec *Disk(TTreeNode *node)
{
    return node ? AsDisk(NodeRec(node)) : nullptr;
}

} // namespace

class AddDiskUiTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *m_tmp = nullptr;
    std::shared_ptr<QList<TMountEntry>> m_mounts;
    std::shared_ptr<QMap<QString, TFsSpace>> m_spaces;
    std::unique_ptr<TDrives> m_drives;
    std::unique_ptr<TForest> m_forest;
    TTreeNode *m_catalog = nullptr;
    std::unique_ptr<TOptions> m_settings;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<ScopedDefaultPrompter> m_scope;
    std::vector<QTimer *> m_polls;

    QString mnt(const QString &name) const { return m_tmp->filePath(QStringLiteral("mnt/") + name); }
    QChar letter(const QString &name) const { return *m_drives->driveOfPath(mnt(name)); }

    void addMedium(const QString &name, const QString &label, const QString &uuid, const TFsSpace &s)
    {
        const QString device = m_tmp->filePath(QStringLiteral("dev/") + name);
        QVERIFY(WriteFileBytes(device, {}));
        QVERIFY(QDir().mkpath(mnt(name)));
        QVERIFY(QFile::link(device, m_tmp->filePath(QStringLiteral("udev/by-label/") + label)));
        QVERIFY(QFile::link(device, m_tmp->filePath(QStringLiteral("udev/by-uuid/") + uuid)));
        m_mounts->append({device, mnt(name), QStringLiteral("vfat"), QStringLiteral("rw")});
        (*m_spaces)[mnt(name)] = s;
    }
    void sysFile(const QString &relative, const QByteArray &content)
    {
        const QString path = m_tmp->filePath(QStringLiteral("sys/block/") + relative);
        QDir().mkpath(QFileInfo(path).path());
        QVERIFY(WriteFileBytes(path, content));
    }
    void mediaFile(const QString &relative, const QByteArray &content = "data")
    {
        const QString path = m_tmp->filePath(QStringLiteral("mnt/") + relative);
        QDir().mkpath(QFileInfo(path).path());
        QVERIFY(WriteFileBytes(path, content));
    }
    TDriveSources sources()
    {
        TDriveSources s;
        auto mounts = m_mounts;
        s.mounts = [mounts] { return *mounts; };
        s.sysfsRoot = m_tmp->filePath(QStringLiteral("sys"));
        s.devDiskRoot = m_tmp->filePath(QStringLiteral("udev"));
        s.readDevices = false;
        s.mayRun = [](const QString &) { return false; };
        auto spaces = m_spaces;
        s.space = [spaces](const QString &path) -> std::optional<TFsSpace> {
            if (!spaces->contains(path))
                return std::nullopt;
            return spaces->value(path);
        };
        s.now = [] { return QDateTime(QDate(2024, 5, 17), QTime(13, 30)); };
        return s;
    }

    // Acts on the active modal window of type T once ready(T) holds.
    template <typename T>
    void whenModal(std::function<void(T *)> act, std::function<bool(T *)> ready = {}, int interval = 5)
    {
        auto *timer = new QTimer(this);
        m_polls.push_back(timer);
        connect(timer, &QTimer::timeout, this, [timer, act, ready] {
            T *window = qobject_cast<T *>(QApplication::activeModalWidget());
            if (!window || !window->isVisible() || (ready && !ready(window)))
                return;
            timer->stop();
            act(window);
        });
        timer->start(interval);
    }
    // The dialog, once it is ready for the user.
    void whenForm(std::function<void(TAddDiskForm *)> act)
    {
        whenModal<TAddDiskForm>(std::move(act), [](TAddDiskForm *f) { return f->activated(); });
    }

    TTreeNode *run(bool update, TTreeNode *selected = nullptr, TAddDiskCommandHooks hooks = {})
    {
        return RunAddDiskCommand(nullptr, *m_forest, selected ? selected : m_catalog, update, *m_settings,
                                 *m_drives, *m_prompter, hooks);
    }
    // Scans a drive into the catalog as the command would, without windows.
    TTreeNode *scanned(const QString &medium, const QByteArray &name)
    {
        TScanOptions o;
        ApplyScanDefaults(o, *m_settings, false);
        o.DatabaseList = m_catalog;
        o.DiskName = name;
        const TScanOutcome outcome = ScanDisk(*m_drives, letter(medium), {}, o);
        return outcome.Success ? outcome.DiskNode : nullptr;
    }
    std::vector<QString> captions() const
    {
        std::vector<QString> list;
        for (const auto &m : m_prompter->messages)
            list.push_back(m.caption);
        return list;
    }

private slots:
    void init()
    {
        m_tmp = new QTemporaryDir;
        QVERIFY(m_tmp->isValid());
        for (const char *dir : {"sys/block", "udev/by-label", "udev/by-uuid", "dev", "mnt"})
            QVERIFY(QDir(m_tmp->path()).mkpath(QLatin1String(dir)));
        m_mounts = std::make_shared<QList<TMountEntry>>();
        m_spaces = std::make_shared<QMap<QString, TFsSpace>>();
        addMedium(QStringLiteral("hd"), QStringLiteral("BACKUP"), QStringLiteral("1234-ABCD"),
                  Space(4096, 100000, 40000, 1));
        addMedium(QStringLiteral("usb"), QStringLiteral("Photos"), QStringLiteral("5555-6666"),
                  Space(4096, 50000, 100, 2));
        // A ZIP drive without label, and a floppy drive without a medium.
        sysFile(QStringLiteral("sdb/removable"), "1\n");
        sysFile(QStringLiteral("sdb/device/model"), "ZIP 100\n");
        QVERIFY(QDir().mkpath(mnt(QStringLiteral("zip"))));
        m_mounts->append({QStringLiteral("/dev/sdb"), mnt(QStringLiteral("zip")), QStringLiteral("vfat"),
                          QStringLiteral("rw")});
        (*m_spaces)[mnt(QStringLiteral("zip"))] = Space(512, 196608, 1000, 3);
        sysFile(QStringLiteral("fd0/size"), "2880\n");
        mediaFile(QStringLiteral("hd/readme.txt"), "hello");
        mediaFile(QStringLiteral("hd/Photos/a.jpg"));
        mediaFile(QStringLiteral("usb/b.txt"));

        m_drives = std::make_unique<TDrives>(sources());
        m_forest = std::make_unique<TForest>();
        m_catalog = NewCatalogNode(*m_forest, "Main");
        m_settings = std::make_unique<TOptions>();
        m_settings->setModified(false);
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_scope = std::make_unique<ScopedDefaultPrompter>(m_prompter.get());
    }
    void cleanup()
    {
        for (QTimer *t : m_polls)
            delete t;
        m_polls.clear();
        while (!m_forest->roots().empty())
            DeleteCatalog(*m_forest, m_forest->roots().front());
        m_scope.reset();
        m_prompter.reset();
        m_settings.reset();
        m_forest.reset();
        m_drives.reset();
        delete m_tmp;
        m_tmp = nullptr;
    }

    // ---- the dialog itself

    void dialogShowsTheDrivesAndDefaults()
    {
        TAddDiskWork work(*m_drives, *m_settings, *m_prompter);
        QVERIFY(work.begin(m_forest->roots(), m_catalog, false));
        TAddDiskForm form(work, *m_prompter);
        form.show();
        QCOMPARE(form.windowTitle(), QStringLiteral("Add New Disk"));
        const std::vector<TDriveButton *> buttons = form.driveButtons();
        QCOMPARE(int(buttons.size()), 4);
        QCOMPARE(buttons[0]->letter(), QLatin1Char('A'));
        QCOMPARE(buttons[0]->toolTip(), DriveHint(7, QLatin1Char('A')));
        TDriveButton *hd = form.driveButton(letter(QStringLiteral("hd")));
        QVERIFY(hd);
        QCOMPARE(hd->toolTip(), QStringLiteral("Hard disk (") + hd->letter() + QStringLiteral(":)"));
        QCOMPARE(hd->size(), QSize(41, 41));
        QVERIFY(!hd->icon().isNull());
        // 45 pixels apart in one row.
        QCOMPARE(buttons[1]->pos().x() - buttons[0]->pos().x(), 45);
        QCOMPARE(buttons[1]->pos().y(), buttons[0]->pos().y());
        QVERIFY(form.noDrivesLabel()->isHidden());
        QVERIFY(!form.okButton()->isEnabled());
        QVERIFY(!form.infoButton()->isEnabled());
        QCOMPARE(form.statusLabel()->text(), QStringLiteral("No drive selected"));
        QCOMPARE(form.databaseList()->currentText(), QStringLiteral("Main"));
        QVERIFY(form.diskNameEdit()->text().isEmpty());

        // The options are behind "Advanced >>"; the virtual root and "Save as
        // default" only show with the panel open.
        QVERIFY(!form.optionPanel()->isVisible());
        QVERIFY(!form.check(QStringLiteral("VirtualRootCheck"))->isVisible());
        QTest::mouseClick(form.advancedButton(), Qt::LeftButton);
        QVERIFY(form.optionPanel()->isVisible());
        QVERIFY(form.check(QStringLiteral("DefaultCheck"))->isVisible());
        QVERIFY(!form.check(QStringLiteral("DefaultCheck"))->isChecked());
        QVERIFY(!form.check(QStringLiteral("VirtualRootCheck"))->isEnabled());
        QCOMPARE(form.virtualRootLabel()->text(), QStringLiteral("(none)"));
        QCOMPARE(form.check(QStringLiteral("KeepCurrentCheck"))->text(),
                 QStringLiteral("Import existing descriptions from other disks in the catalog"));
        QVERIFY(!form.check(QStringLiteral("KeepCurrentCheck"))->isChecked());
        QVERIFY(!form.importDescCombo()->isVisible());
        QCOMPARE(form.check(QStringLiteral("BrowseArchiveCheck"))->isChecked(), m_settings->InsideZipCheck);
        QVERIFY(!form.check(QStringLiteral("ArchiveQuickScan"))->isEnabled());   // add mode
        QTest::mouseClick(form.advancedButton(), Qt::LeftButton);
        QVERIFY(!form.optionPanel()->isVisible());
    }

    void noFittingDriveShowsNoButtons()
    {
        // A CD catalogued here, and no optical drive to put it in.
        TTreeNode *cd = AddDiskNode(m_catalog, "Music");
        Disk(cd)->MediaType = 10;
        TAddDiskWork work(*m_drives, *m_settings, *m_prompter);
        QVERIFY(work.begin(m_forest->roots(), cd, true));
        TAddDiskForm form(work, *m_prompter);
        form.show();
        QCOMPARE(form.windowTitle(), QStringLiteral("Update Disk"));
        QVERIFY(form.driveButtons().empty());
        QVERIFY(form.noDrivesLabel()->isVisible());
        QCOMPARE(form.noDrivesLabel()->text(), QStringLiteral("No drives are available"));
        QVERIFY(!form.okButton()->isEnabled());
        // Looking for the medium says there is no such device and closes the dialog.
        form.activate();
        QCOMPARE(captions(), std::vector<QString>{QStringLiteral("No such device")});
        QCOMPARE(form.result(), int(QDialog::Rejected));
    }

    void drivesArePressedByClicksAndLetters()
    {
        TAddDiskWork work(*m_drives, *m_settings, *m_prompter);
        QVERIFY(work.begin(m_forest->roots(), m_catalog, false));
        TAddDiskForm form(work, *m_prompter);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QChar hd = letter(QStringLiteral("hd"));
        const QChar usb = letter(QStringLiteral("usb"));

        QTest::mouseClick(form.driveButton(hd), Qt::LeftButton);
        QVERIFY(form.driveButton(hd)->isChecked());
        QCOMPARE(form.diskNameEdit()->text(), QStringLiteral("Backup"));
        QCOMPARE(form.diskNameEdit()->selectedText(), QStringLiteral("Backup"));
        QCOMPARE(form.statusLabel()->text(),
                 QStringLiteral("Hard disk (") + hd + QStringLiteral(":), Serial num: 1234-ABCD, not found in catalog"));
        QVERIFY(form.okButton()->isEnabled());
        QVERIFY(form.infoButton()->isEnabled());

        // Alt + letter presses that drive, wherever the focus is.
        form.diskNameEdit()->setFocus();
        QTest::keyClick(form.diskNameEdit(), Qt::Key(Qt::Key_A + (usb.unicode() - u'A')), Qt::AltModifier);
        QCOMPARE(work.pressedDrive(), usb);
        QVERIFY(form.driveButton(usb)->isChecked());
        QVERIFY(!form.driveButton(hd)->isChecked());
        QCOMPARE(form.diskNameEdit()->text(), QStringLiteral("Photos"));

        // A letter alone types into the name box...
        QTest::keyClick(form.diskNameEdit(), Qt::Key(Qt::Key_A + (hd.unicode() - u'A')));
        QCOMPARE(work.pressedDrive(), usb);
        QVERIFY(form.diskNameEdit()->text() != QStringLiteral("Photos"));
        // ...and presses a drive anywhere else.
        QTest::keyClick(form.databaseList(), Qt::Key(Qt::Key_A + (hd.unicode() - u'A')));
        QCOMPARE(work.pressedDrive(), hd);

        // Clicking the pressed drive releases it.
        QTest::mouseClick(form.driveButton(hd), Qt::LeftButton);
        QVERIFY(work.pressedDrive().isNull());
        QVERIFY(!form.driveButton(hd)->isChecked());
        QVERIFY(form.diskNameEdit()->text().isEmpty());
        QVERIFY(!form.okButton()->isEnabled());
        QCOMPARE(form.statusLabel()->text(), QStringLiteral("No drive selected"));
    }

    void optionsFollowTheirRules()
    {
        m_settings->InsideZipCheck = true;
        m_settings->setDescSourceEnabled(dsArchiveComment, true);
        TAddDiskWork work(*m_drives, *m_settings, *m_prompter);
        QVERIFY(work.begin(m_forest->roots(), m_catalog, false));
        TAddDiskForm form(work, *m_prompter);
        form.show();
        form.setAdvancedOpen(true);
        QCheckBox *browse = form.check(QStringLiteral("BrowseArchiveCheck"));
        QCheckBox *comment = form.check(QStringLiteral("ImportCommentCheck"));
        QCheckBox *descOnly = form.check(QStringLiteral("ArchiveDescOnly"));
        QVERIFY(browse->isChecked());
        QVERIFY(comment->isChecked());
        QVERIFY(descOnly->isEnabled());

        ClickBox(browse);
        QVERIFY(!browse->isChecked());
        QVERIFY(!comment->isChecked());
        QVERIFY(!descOnly->isEnabled());
        QVERIFY(!work.options().ImportCommentCheck);

        ClickBox(comment);
        QVERIFY(comment->isChecked());
        QVERIFY(browse->isChecked());
        QVERIFY(descOnly->isEnabled());
        QVERIFY(work.options().BrowseArchiveCheck);

        ClickBox(form.check(QStringLiteral("EjectMediaCheck")));
        QCOMPARE(work.options().EjectMediaCheck, form.check(QStringLiteral("EjectMediaCheck"))->isChecked());
        ClickBox(form.check(QStringLiteral("DefaultCheck")));
        QVERIFY(work.defaultCheck());
    }

    // "Disk &Info" shows the program's properties dialog with only the disk
    // page of the work record; what is typed there goes nowhere.
    void diskInfoShowsTheWorkRecord()
    {
        TAddDiskWork work(*m_drives, *m_settings, *m_prompter);
        QVERIFY(work.begin(m_forest->roots(), m_catalog, false));
        QVERIFY(work.pressDrive(letter(QStringLiteral("hd"))));
        const QByteArray descBefore = TextView(work.workRecord()->Desc).toByteArray();
        TAddDiskForm form(work, *m_prompter);
        form.show();
        QStringList tabs;
        QString name, totalFiles, lost, catalogName;
        bool descEnabled = true;
        whenModal<TPropertiesForm>([&](TPropertiesForm *w) {
            for (int i = 0; i < w->pages()->count(); ++i)
                tabs << w->pages()->tabText(i);
            name = w->pages()->widget(0)->findChild<QLabel *>(QStringLiteral("NameLabel"))->text();
            descEnabled = w->memo(TPropPage::Disk)->isEnabled();
            totalFiles = w->advancedForm()->rowText(QStringLiteral("Total Files:"));
            lost = w->advancedForm()->rowText(QStringLiteral("Lost in File System:"));
            catalogName = w->data().pages.front().row(QStringLiteral("Catalog Name:"));
            if (!qEnvironmentVariableIsEmpty("QUILLON_SCREENSHOTS"))
                w->grab().save(qEnvironmentVariable("QUILLON_SCREENSHOTS") + QStringLiteral("/disk-info.png"));
            w->memo(TPropPage::Disk)->setPlainText(QStringLiteral("typed"));
            w->accept();
        });
        QTest::mouseClick(form.infoButton(), Qt::LeftButton);
        QCOMPARE(tabs, QStringList{QStringLiteral("Disk info")});
        QCOMPARE(name, QStringLiteral("Drive ") + work.pressedDrive() + QStringLiteral(":"));
        QVERIFY(!descEnabled);
        QCOMPARE(totalFiles, QStringLiteral("?"));
        QCOMPARE(lost, QStringLiteral("(unknown)"));
        QCOMPARE(catalogName, QStringLiteral("(not in catalog yet)"));
        QCOMPARE(TextView(work.workRecord()->Desc).toByteArray(), descBefore);
        QVERIFY(PropertiesDialog().pages()->count() == 0);   // nothing of the work record is kept
    }

    // ---- the command

    void addingADiskScansIt()
    {
        whenForm([&](TAddDiskForm *form) {
            form->clickDrive(letter(QStringLiteral("hd")));
            QTest::mouseClick(form->okButton(), Qt::LeftButton);
        });
        QString status;
        QStringList notes;
        TAddDiskCommandHooks hooks;
        hooks.status = [&](const QString &text) {
            if (!text.isEmpty())
                status = text;
        };
        hooks.note = [&](const QString &text) { notes << text; };
        TTreeNode *disk = run(false, m_catalog, hooks);
        QVERIFY(disk);
        // Ejecting is on by default, and a fixed disk stays: the user is told why.
        QVERIFY(m_settings->EjectMediaCheck);
        QCOMPARE(notes, QStringList{QStringLiteral("Drive %1: was not ejected: it is a fixed disk.")
                                        .arg(letter(QStringLiteral("hd")))});
        QCOMPARE(disk->parent(), m_catalog);
        QCOMPARE(disk->text(), QByteArray("Backup"));
        QCOMPARE(Disk(disk)->TotalFiles, 2);
        QCOMPARE(status, QStringLiteral("Scanning disk for data..."));
        QVERIFY(m_prompter->messages.empty());
    }

    void addingALookAlikeAsksTwice()
    {
        TTreeNode *first = scanned(QStringLiteral("hd"), "Backup");
        QVERIFY(first);
        whenForm([&](TAddDiskForm *form) {
            form->clickDrive(letter(QStringLiteral("hd")));
            QCOMPARE(form->statusLabel()->text().endsWith(QStringLiteral(", already exists in catalog")), true);
            QTest::mouseClick(form->okButton(), Qt::LeftButton);
            // "Update Old Data?" answered No: then the serial number question.
            whenModal<TSerialAskForm>([](TSerialAskForm *ask) {
                QCOMPARE(ask->windowTitle(), QStringLiteral("Change Serial Number?"));
                ask->dontAskCheck()->setChecked(true);
                QTest::mouseClick(ask->yesButton(), Qt::LeftButton);
            });
        });
        m_prompter->answers = {MsgAnswer::No};
        TTreeNode *second = run(false);
        QVERIFY(second);
        QVERIFY(second != first);
        QCOMPARE(m_catalog->childCount(), 2);
        QCOMPARE(second->text(), QByteArray("Backup (2)"));
        QCOMPARE(captions(), std::vector<QString>{QStringLiteral("Update Old Data?")});
        // The check box switched the question off for good.
        QVERIFY(!m_settings->SerialAskCheck);
        QVERIFY(m_settings->modified());
    }

    void updatingWithAMismatchingMedium()
    {
        TTreeNode *old = scanned(QStringLiteral("usb"), "Holiday");
        QVERIFY(old);
        Disk(old)->Serial ^= 0x10;   // the medium was formatted since
        int okClicks = 0;
        std::function<void(TAddDiskForm *)> act = [&](TAddDiskForm *form) {
            QCOMPARE(form->windowTitle(), QStringLiteral("Update Disk"));
            // Only the hard disks fit a hard disk.
            QCOMPARE(int(form->driveButtons().size()), 2);
            QVERIFY(!form->databaseList()->isEnabled());
            QVERIFY(form->work().pressedDrive().isNull());
            form->clickDrive(letter(QStringLiteral("usb")));
            QVERIFY(form->statusLabel()->text().endsWith(QStringLiteral("does NOT match the media selected for update")));
            QCOMPARE(form->diskNameEdit()->text(), QStringLiteral("Holiday"));
            QTest::mouseClick(form->okButton(), Qt::LeftButton);   // Warning: No, stays open
            ++okClicks;
            QVERIFY(form->isVisible());
            QTest::mouseClick(form->okButton(), Qt::LeftButton);   // Warning: Yes
            ++okClicks;
        };
        whenForm(act);
        // Non-Removable Media (OK), the warning twice.
        m_prompter->answers = {MsgAnswer::Ok, MsgAnswer::No, MsgAnswer::Yes};
        TTreeNode *fresh = run(true, old);
        QCOMPARE(okClicks, 2);
        QVERIFY(fresh);
        QCOMPARE(captions(), (std::vector<QString>{QStringLiteral("Non-Removable Media"), QStringLiteral("Warning"),
                                                  QStringLiteral("Warning")}));
        QCOMPARE(m_prompter->messages[1].text, MsgMediaMismatchText(QStringLiteral("Holiday")));
        // The old image was replaced at its place.
        QCOMPARE(m_catalog->childCount(), 1);
        QCOMPARE(m_catalog->child(0), fresh);
        QCOMPARE(fresh->text(), QByteArray("Holiday"));
    }

    void updatingFindsTheMediumByItself()
    {
        TTreeNode *old = scanned(QStringLiteral("usb"), "Holiday");
        QVERIFY(old);
        m_settings->DescKeepCurrentCheck = false;
        whenForm([&](TAddDiskForm *form) {
            QCOMPARE(form->work().pressedDrive(), letter(QStringLiteral("usb")));
            QVERIFY(form->statusLabel()->text().endsWith(QStringLiteral("media match confirmed, ready to update")));
            // Carrying over is off: the descriptions question, and No keeps
            // the dialog open at that option.
            QTest::mouseClick(form->okButton(), Qt::LeftButton);
            QVERIFY(form->isVisible());
            QVERIFY(form->advancedOpen());
            QVERIFY(form->optionPanel()->isVisible());
            ClickBox(form->check(QStringLiteral("KeepCurrentCheck")));
            QVERIFY(form->importDescCombo()->isVisible());
            QVERIFY(form->importDescCombo()->isEnabled());
            QCOMPARE(form->importDescCombo()->currentText(), QStringLiteral("disk you are updating"));
            QTest::mouseClick(form->okButton(), Qt::LeftButton);
        });
        m_prompter->answers = {MsgAnswer::No};
        TTreeNode *fresh = run(true, old);
        QVERIFY(fresh);
        QCOMPARE(captions(), std::vector<QString>{QStringLiteral("Warning")});
        QCOMPARE(m_prompter->messages[0].text, MsgDescriptionsLostText());
        QCOMPARE(m_catalog->childCount(), 1);
    }

    void insertMediaCancelClosesTheDialog()
    {
        // A ZIP disk that is not in its drive: the Insert Media dialog asks.
        TTreeNode *disk = AddDiskNode(m_catalog, "Cartridge");
        ReadVolumeInfo(*m_drives, letter(QStringLiteral("zip")), Disk(disk));
        Disk(disk)->Serial ^= 1;
        bool asked = false;
        whenModal<TMediaForm>([&](TMediaForm *media) {
            asked = true;
            QCOMPARE(media->nameLabel()->text(), QStringLiteral("Cartridge"));
            QVERIFY(media->typeLabel()->text().startsWith(QStringLiteral("(Media type: ")));
            QVERIFY(media->manualButton()->isVisible());
            QTest::keyClick(media, Qt::Key_Escape);
        });
        QVERIFY(run(true, disk) == nullptr);
        QVERIFY(asked);
        QCOMPARE(m_catalog->childCount(), 1);
        QCOMPARE(m_catalog->child(0), disk);
    }

    void cancellingInTheMiddleOfAScan()
    {
        for (int i = 0; i < 30; ++i)
            mediaFile(QStringLiteral("hd/many/file%1.txt").arg(i));
        bool modal = false;
        bool onTop = false;
        whenForm([&](TAddDiskForm *form) {
            form->clickDrive(letter(QStringLiteral("hd")));
            // Once the walk has begun: Cancel, and Yes to the question.
            whenModal<TWaitUpdateForm>(
                [&](TWaitUpdateForm *wait) {
                    modal = wait->windowModality() == Qt::ApplicationModal;
                    onTop = wait->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
                    QCOMPARE(wait->topLabel()->text(), QStringLiteral("Scanning disk, please wait..."));
                    QCOMPARE(wait->bottomLabel()->text(), QStringLiteral("Reading file data in:"));
                    QVERIFY(wait->progressBar()->isVisible());
                    QTest::mouseClick(wait->cancelButton(), Qt::LeftButton);
                },
                [](TWaitUpdateForm *wait) { return !wait->dirLabel()->text().isEmpty(); }, 0);
            QTest::mouseClick(form->okButton(), Qt::LeftButton);
        });
        m_prompter->answers = {MsgAnswer::Yes};
        QVERIFY(run(false) == nullptr);
        QVERIFY(modal);
        QVERIFY(onTop);
        // Cancelled: no disk and no error message, only the question.
        QCOMPARE(m_catalog->childCount(), 0);
        QCOMPARE(captions(), std::vector<QString>{QStringLiteral("Abort Disk Scan")});
        QCOMPARE(m_prompter->messages[0].text, QStringLiteral("Do you really want to abort disk scan?"));
        QCOMPARE(m_prompter->messages[0].buttons, MsgButtons::YesNo);
    }

    void waitWindowAsksBeforeCancelling()
    {
        TWaitUpdateForm wait(*m_prompter);
        wait.show();
        m_prompter->answers = {MsgAnswer::No, MsgAnswer::Yes};
        QTest::mouseClick(wait.cancelButton(), Qt::LeftButton);
        QVERIFY(!wait.cancelRequested());
        // Escape asks as Cancel does.
        QTest::keyClick(&wait, Qt::Key_Escape);
        QVERIFY(wait.cancelRequested());
        QVERIFY(wait.isVisible());
        QCOMPARE(int(m_prompter->messages.size()), 2);
        wait.setPosition(150);
        QCOMPARE(wait.progressBar()->value(), 100);
        wait.setPosition(-3);
        QCOMPARE(wait.progressBar()->value(), 0);
    }

    void virtualRootThroughTheFolderButton()
    {
        QStringList calls;
        TAddDiskCommandHooks hooks;
        hooks.chooseFolder = [&](QWidget *, const QString &caption, const QString &root, const QString &start) {
            calls << caption + QLatin1Char('|') + root + QLatin1Char('|') + start;
            return mnt(QStringLiteral("hd")) + QStringLiteral("/Photos");
        };
        whenForm([&](TAddDiskForm *form) {
            QTest::mouseClick(form->folderButton(), Qt::LeftButton);
            QCOMPARE(form->work().pressedDrive(), letter(QStringLiteral("hd")));
            QVERIFY(form->driveButton(letter(QStringLiteral("hd")))->isChecked());
            QVERIFY(form->check(QStringLiteral("VirtualRootCheck"))->isChecked());
            QCOMPARE(form->virtualRootLabel()->text(), QStringLiteral("\\Photos\\"));
            QTest::mouseClick(form->okButton(), Qt::LeftButton);
        });
        TTreeNode *disk = run(false, m_catalog, hooks);
        QVERIFY(disk);
        QCOMPARE(calls, QStringList{QStringLiteral("Select Folder|/|") + QDir::homePath()});
        QVERIFY(ItemIs(Disk(disk)->KindFlags, rfVirtualRoot));
        QCOMPARE(TextView(Disk(disk)->RootPath).toByteArray(), QByteArray("\\Photos\\"));
        QCOMPARE(Disk(disk)->TotalFiles, 1);
    }

    void virtualRootCheckOpensTheChooserOnTheDrive()
    {
        TAddDiskWork work(*m_drives, *m_settings, *m_prompter);
        QVERIFY(work.begin(m_forest->roots(), m_catalog, false));
        TAddDiskForm form(work, *m_prompter);
        QStringList calls;
        QString answer;
        form.setFolderChooser([&](QWidget *, const QString &caption, const QString &root, const QString &start) {
            calls << caption + QLatin1Char('|') + root + QLatin1Char('|') + start;
            return answer;
        });
        form.show();
        form.setAdvancedOpen(true);
        form.clickDrive(letter(QStringLiteral("hd")));
        QCheckBox *check = form.check(QStringLiteral("VirtualRootCheck"));
        QVERIFY(check->isEnabled());
        answer = mnt(QStringLiteral("hd")) + QStringLiteral("/Photos");
        ClickBox(check);
        QCOMPARE(calls, QStringList{QStringLiteral("Select virtual root folder|") + mnt(QStringLiteral("hd"))
                                    + QLatin1Char('|') + mnt(QStringLiteral("hd"))});
        QVERIFY(check->isChecked());
        QCOMPARE(form.virtualRootLabel()->text(), QStringLiteral("\\Photos\\"));
        // Clicking it off clears the folder; choosing the root itself (or cancelling) is no virtual root.
        ClickBox(check);
        QVERIFY(!check->isChecked());
        QCOMPARE(form.virtualRootLabel()->text(), QStringLiteral("(none)"));
        answer = mnt(QStringLiteral("hd"));
        ClickBox(check);
        QVERIFY(!check->isChecked());
        answer.clear();
        ClickBox(check);
        QVERIFY(!check->isChecked());
        QCOMPARE(calls.size(), 3);

        // A folder on no drive is refused with a message.
        form.setFolderChooser([&](QWidget *, const QString &, const QString &, const QString &) {
            return m_tmp->filePath(QStringLiteral("dev"));
        });
        QTest::mouseClick(form.folderButton(), Qt::LeftButton);
        QCOMPARE(captions(), std::vector<QString>{QStringLiteral("Select Folder")});
        QCOMPARE(work.pressedDrive(), letter(QStringLiteral("hd")));
    }

    void aFailingScanShowsTheErrorMessage()
    {
        QVERIFY(QDir().mkpath(mnt(QStringLiteral("hd/Gone"))));
        TAddDiskCommandHooks hooks;
        hooks.chooseFolder = [&](QWidget *, const QString &, const QString &, const QString &) {
            return mnt(QStringLiteral("hd/Gone"));
        };
        whenForm([&](TAddDiskForm *form) {
            QTest::mouseClick(form->folderButton(), Qt::LeftButton);
            QVERIFY(QDir(mnt(QStringLiteral("hd/Gone"))).removeRecursively());
            QTest::mouseClick(form->okButton(), Qt::LeftButton);
        });
        QVERIFY(run(false, m_catalog, hooks) == nullptr);
        QCOMPARE(captions(), std::vector<QString>{QStringLiteral("Error")});
        QCOMPARE(m_prompter->messages[0].text, MsgScanErrorText());
        QCOMPARE(m_prompter->messages[0].icon, MsgIcon::Error);
        QCOMPARE(m_catalog->childCount(), 0);
    }

    void refusedWhileASearchRuns()
    {
        TAddDiskCommandHooks hooks;
        hooks.searchRunning = true;
        QVERIFY(run(false, m_catalog, hooks) == nullptr);
        QCOMPARE(captions(), std::vector<QString>{QStringLiteral("Can't Update Data")});
        QCOMPARE(m_prompter->messages[0].text,
                 QStringLiteral("Sorry, updating catalog is not possible while search is in progress.\rPlease cancel "
                                "the search or wait for search to finish."));
        // No catalog open: nothing to add to, no dialog.
        DeleteCatalog(*m_forest, m_catalog);
        m_catalog = nullptr;
        QVERIFY(RunAddDiskCommand(nullptr, *m_forest, nullptr, false, *m_settings, *m_drives, *m_prompter) == nullptr);
    }

    // ---- the other windows

    void diskSelectionList()
    {
        TTreeNode *big = scanned(QStringLiteral("hd"), "Zeta");
        TTreeNode *small = scanned(QStringLiteral("usb"), "Alpha");
        QVERIFY(big && small);
        TDiskSelectForm form({big, small}, *m_prompter);
        QCOMPARE(form.windowTitle(), QStringLiteral("Select Disk"));
        QTreeWidget *list = form.list();
        QCOMPARE(list->columnCount(), 7);
        QCOMPARE(list->headerItem()->text(3), QStringLiteral("Capacity"));
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("Zeta"));
        QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("Backup"));
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("Hard disk"));
        QVERIFY(list->topLevelItem(0)->isSelected());

        // A header sorts by its column; the same header again reverses.
        form.sortByColumn(0);
        QCOMPARE(form.order(), (std::vector<TTreeNode *>{small, big}));
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("Alpha"));
        QVERIFY(list->topLevelItem(1)->isSelected());   // the selection stays with its disk
        list->header()->sectionClicked(0);
        QCOMPARE(form.order(), (std::vector<TTreeNode *>{big, small}));
        form.sortByColumn(3);   // capacity: the smaller volume first
        QCOMPARE(form.order(), (std::vector<TTreeNode *>{small, big}));

        // "&Update" takes the first selected disk in list order.
        list->topLevelItem(0)->setSelected(true);
        list->topLevelItem(1)->setSelected(true);
        QTest::mouseClick(form.updateButton(), Qt::LeftButton);
        QCOMPARE(form.answer().kind, TDiskSelectAnswer::Update);
        QCOMPARE(form.answer().disk, small);
        // Nothing selected: nothing to update.
        list->clearSelection();
        QVERIFY(!form.updateButton()->isEnabled());

        QTest::mouseClick(form.hintButton(), Qt::LeftButton);
        QCOMPARE(captions(), std::vector<QString>{QStringLiteral("Hint on updating disks")});
        QCOMPARE(m_prompter->messages[0].text, MsgSelectDiskHintText());

        QTest::mouseClick(form.addNewButton(), Qt::LeftButton);
        QCOMPARE(form.answer().kind, TDiskSelectAnswer::AddNew);
        form.reject();
        QCOMPARE(form.answer().kind, TDiskSelectAnswer::Cancel);

        // The row menu updates that disk.
        std::unique_ptr<QMenu> menu(form.rowMenu(1));
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[0]->text(), QStringLiteral("Update This Disk"));
        QCOMPARE(menu->actions()[1]->text(), QStringLiteral("Disk Properties"));
        // "Disk Properties" opens the properties of that catalogued disk.
        QString shown;
        whenModal<TPropertiesForm>([&](TPropertiesForm *w) {
            shown = w->data().pages.front().name;
            w->reject();
        });
        menu->actions()[1]->trigger();
        QCOMPARE(shown, DecodeStored(big->text()));
        menu->actions()[0]->trigger();
        QCOMPARE(form.answer().disk, big);
        QVERIFY(form.rowMenu(5) == nullptr);
    }

    void severalMatchesOpenTheList()
    {
        TTreeNode *one = scanned(QStringLiteral("hd"), "One");
        TTreeNode *two = scanned(QStringLiteral("hd"), "Two");
        QVERIFY(one && two);
        whenForm([&](TAddDiskForm *form) {
            form->clickDrive(letter(QStringLiteral("hd")));
            whenModal<TDiskSelectForm>([&](TDiskSelectForm *select) {
                QCOMPARE(select->order(), (std::vector<TTreeNode *>{one, two}));
                select->list()->clearSelection();
                select->list()->topLevelItem(1)->setSelected(true);
                QTest::mouseClick(select->updateButton(), Qt::LeftButton);
            });
            QTest::mouseClick(form->okButton(), Qt::LeftButton);
        });
        // The descriptions question (carrying over is off when adding): Yes.
        m_prompter->answers = {MsgAnswer::Yes};
        TTreeNode *fresh = run(false);
        QVERIFY(fresh);
        QCOMPARE(captions(), std::vector<QString>{QStringLiteral("Warning")});
        // "Two" was replaced in its place; "One" stays.
        QCOMPARE(m_catalog->childCount(), 2);
        QCOMPARE(m_catalog->child(0), one);
        QCOMPARE(m_catalog->child(1), fresh);
        QCOMPARE(fresh->text(), QByteArray("Two"));
    }

    void serialQuestionWindow()
    {
        TSerialAskForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Change Serial Number?"));
        QVERIFY(form.textLabel()->text().contains(QStringLiteral("May program try to change disk serial number?")));
        QCOMPARE(form.yesButton()->text(), QStringLiteral("Yes, change it"));
        QCOMPARE(form.noButton()->text(), QStringLiteral("No, leave it as is"));
        QCOMPARE(form.dontAskCheck()->text(),
                 QStringLiteral("Don't ask this question again, always change serial number"));
        QVERIFY(!form.dontAskCheck()->isChecked());
        QTest::mouseClick(form.noButton(), Qt::LeftButton);
        QVERIFY(!form.answer().change);
        QVERIFY(!form.answer().dontAskAgain);
        form.dontAskCheck()->setChecked(true);
        QTest::mouseClick(form.noButton(), Qt::LeftButton);
        QVERIFY(!form.answer().change);
        QVERIFY(form.answer().dontAskAgain);
        QTest::mouseClick(form.yesButton(), Qt::LeftButton);
        QVERIFY(form.answer().change);
    }

    void insertMediaWindow()
    {
        TMediaForm without("Holiday", 7, false);
        QCOMPARE(without.windowTitle(), QStringLiteral("Insert Media"));
        QCOMPARE(without.nameLabel()->text(), QStringLiteral("Holiday"));
        QVERIFY(without.nameLabel()->font().bold());
        QCOMPARE(without.typeLabel()->text(), QStringLiteral("(Media type: ") + MediaTypeName(7, 0) + QStringLiteral(")"));
        QCOMPARE(without.okButton()->text(), QStringLiteral("&OK"));
        QCOMPARE(without.cancelButton()->text(), QStringLiteral("&Cancel"));
        QVERIFY(without.manualButton()->isHidden());

        TMediaForm with("Holiday", 14, true);
        QCOMPARE(with.manualButton()->text(), QStringLiteral("&Manual Select"));
        QVERIFY(!with.manualButton()->isHidden());
        QTest::mouseClick(with.manualButton(), Qt::LeftButton);
        QCOMPARE(with.answer(), MsgAnswer::No);
        QTest::mouseClick(with.okButton(), Qt::LeftButton);
        QCOMPARE(with.answer(), MsgAnswer::Ok);
        with.show();
        QTest::keyClick(&with, Qt::Key_Escape);
        QCOMPARE(with.answer(), MsgAnswer::Cancel);
        QCOMPARE(with.result(), int(QDialog::Rejected));
    }

    void folderPickerStaysBelowItsRoot()
    {
        const QString root = mnt(QStringLiteral("hd"));
        TBrowseFolderForm picker(QStringLiteral("Select virtual root folder"), root, root);
        QCOMPARE(picker.windowTitle(), QStringLiteral("Select virtual root folder"));
        // Nothing chosen yet: no folder, and OK waits.
        QCOMPARE(picker.selectedFolder(), QString());
        QVERIFY(!picker.okButton()->isEnabled());
        QVERIFY(picker.selectFolder(root + QStringLiteral("/Photos")));
        QCOMPARE(picker.selectedFolder(), QDir::cleanPath(root + QStringLiteral("/Photos")));
        QVERIFY(picker.okButton()->isEnabled());
        // The root itself is a choice of its own: the whole tree.
        QVERIFY(picker.selectFolder(root));
        QCOMPARE(picker.selectedFolder(), QDir::cleanPath(root));
        QVERIFY(!picker.selectFolder(mnt(QStringLiteral("usb"))));
        QVERIFY(!picker.selectFolder(root + QStringLiteral("/missing")));
        QVERIFY(!picker.selectFolder(root + QStringLiteral("/readme.txt")));
        QCOMPARE(picker.selectedFolder(), QDir::cleanPath(root));
    }

    void folderPickerStartsWithNoChoice()
    {
        // The start folder is shown, but OK does not take it (nor the first
        // row of the root) until the user chooses.
        const QString root = mnt(QStringLiteral("hd"));
        TBrowseFolderForm picker(QStringLiteral("Select Folder"), root, root + QStringLiteral("/Photos"));
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        picker.tree()->setFocus();
        QVERIFY(picker.tree()->isExpanded(picker.tree()->currentIndex().parent()));
        QCOMPARE(picker.tree()->currentIndex().data().toString(), QStringLiteral("Photos"));
        QCOMPARE(picker.selectedFolder(), QString());
        QVERIFY(!picker.okButton()->isEnabled());
        QCOMPARE(picker.folderLabel()->text(), QStringLiteral("No folder chosen yet."));
        QTest::mouseClick(picker.okButton(), Qt::LeftButton);
        QCOMPARE(picker.result(), int(QDialog::Rejected));
        QVERIFY(picker.isVisible());
        QTest::keyClick(picker.tree(), Qt::Key_Return);
        QVERIFY(picker.isVisible());
        // A click chooses.
        const QRect photos = picker.tree()->visualRect(picker.tree()->currentIndex());
        QTest::mouseClick(picker.tree()->viewport(), Qt::LeftButton, {}, photos.center());
        QCOMPARE(picker.selectedFolder(), QDir::cleanPath(root + QStringLiteral("/Photos")));
        QCOMPARE(picker.folderLabel()->text(), QDir::toNativeSeparators(root + QStringLiteral("/Photos")));
        QVERIFY(picker.okButton()->isEnabled());
        QTest::mouseClick(picker.okButton(), Qt::LeftButton);
        QCOMPARE(picker.result(), int(QDialog::Accepted));
    }

    void folderPickerRowsComeSorted()
    {
        // Folders made in an order unlike their names' (the raw directory order).
        const QString root = mnt(QStringLiteral("tree"));
        for (const char *name : {"zeta", "share/doc", "etc", "Alpha", "beta", "share/applications", "Sbin", "srv",
                                 "usr/etc", "usr/share/doc", "usr/lib", "usr/Src"})
            QVERIFY(QDir().mkpath(root + QLatin1Char('/') + QLatin1String(name)));
        mediaFile(QStringLiteral("tree/sfile.txt"));
        TBrowseFolderForm picker(QStringLiteral("Select Folder"), root, root);
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        QTreeView *tree = picker.tree();
        const QModelIndex top = tree->model()->index(0, 0);
        auto names = [&](const QModelIndex &parent) {
            QStringList list;
            for (int row = 0; row < tree->model()->rowCount(parent); ++row)
                list << tree->model()->index(row, 0, parent).data().toString();
            return list;
        };
        // Every row of the level is there, sorted, as soon as the level shows.
        QCOMPARE(names(top), (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"), QStringLiteral("etc"),
                                          QStringLiteral("Sbin"), QStringLiteral("share"), QStringLiteral("srv"),
                                          QStringLiteral("usr"), QStringLiteral("zeta")}));
        // Type-ahead and the arrow keys walk the sorted rows.
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(picker.selectedFolder(), root + QStringLiteral("/Alpha"));
        QTest::keyClicks(tree, QStringLiteral("us"));
        QCOMPARE(picker.selectedFolder(), root + QStringLiteral("/usr"));
        QTest::keyClick(tree, Qt::Key_Right);
        const QModelIndex usr = tree->currentIndex();
        QVERIFY(tree->isExpanded(usr));
        QCOMPARE(names(usr), (QStringList{QStringLiteral("etc"), QStringLiteral("lib"), QStringLiteral("share"),
                                          QStringLiteral("Src")}));
        QTest::keyClick(tree, Qt::Key_Down);
        QTest::qWait(QApplication::keyboardInputInterval() + 50);   // a new type-ahead word
        QTest::keyClicks(tree, QStringLiteral("sh"));
        QCOMPARE(picker.selectedFolder(), root + QStringLiteral("/usr/share"));
        QTest::keyClick(tree, Qt::Key_Right);
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(picker.selectedFolder(), root + QStringLiteral("/usr/share/doc"));
        // A folder without subfolders loses its expand mark once opened.
        QTest::keyClick(tree, Qt::Key_Right);
        QVERIFY(!tree->model()->hasChildren(tree->currentIndex()));
    }

    void chosenFolderShowsInTheStatus()
    {
        TAddDiskWork work(*m_drives, *m_settings, *m_prompter);
        QVERIFY(work.begin(m_forest->roots(), m_catalog, false));
        TAddDiskForm form(work, *m_prompter);
        const QString photos = mnt(QStringLiteral("hd")) + QStringLiteral("/Photos");
        QString answer = photos;
        form.setFolderChooser([&](QWidget *, const QString &, const QString &, const QString &) { return answer; });
        form.show();
        // A drive pressed by its button alone: the plain status, the whole drive.
        form.clickDrive(letter(QStringLiteral("hd")));
        QCOMPARE(form.statusLabel()->text(), work.statusText());
        // "Folder...": the status names the folder the scan will read.
        QTest::mouseClick(form.folderButton(), Qt::LeftButton);
        QCOMPARE(work.pressedDrive(), letter(QStringLiteral("hd")));
        const QString photosLine = QStringLiteral("\nFolder to scan: ") + QDir::toNativeSeparators(photos);
        QCOMPARE(form.statusLabel()->text(), work.statusText() + photosLine);
        // The whole of another drive chosen through the button: its mount point.
        answer = mnt(QStringLiteral("usb"));
        QTest::mouseClick(form.folderButton(), Qt::LeftButton);
        QCOMPARE(work.pressedDrive(), letter(QStringLiteral("usb")));
        QCOMPARE(form.statusLabel()->text(),
                 work.statusText() + QStringLiteral("\nFolder to scan: ") + QDir::toNativeSeparators(answer));
        // The first drive's button keeps its virtual root, and the status says so.
        form.clickDrive(letter(QStringLiteral("hd")));
        QCOMPARE(form.statusLabel()->text(), work.statusText() + photosLine);
        // Clicking the virtual root off scans the whole drive again.
        form.setAdvancedOpen(true);
        QVERIFY(form.check(QStringLiteral("VirtualRootCheck"))->isChecked());
        ClickBox(form.check(QStringLiteral("VirtualRootCheck")));
        QCOMPARE(form.statusLabel()->text(), work.statusText());
        // Picked as the virtual root: shown as well.
        answer = photos;
        ClickBox(form.check(QStringLiteral("VirtualRootCheck")));
        QVERIFY(form.check(QStringLiteral("VirtualRootCheck"))->isChecked());
        QCOMPARE(form.statusLabel()->text(), work.statusText() + photosLine);
    }
};

QTEST_MAIN(AddDiskUiTest)
#include "AddDiskUiTest.moc"
