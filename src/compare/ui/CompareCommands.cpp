// The compare commands of the main window.
#include "compare/ui/CompareCommands.h"

#include "catalog/CatalogRec.h"
#include "catalog/DiskMedium.h"
#include "catalog/Forest.h"
#include "compare/CheckFiles.h"
#include "compare/ui/CheckFilesForm.h"
#include "compare/ui/CompareForm.h"
#include "compare/ui/WaitCompareForm.h"
#include "platform/Drives.h"
#include "platform/Prompter.h"
#include "platform/Texts.h"
#include "scan/ui/MediaForm.h"
#include "settings/Options.h"
#include "widgets/ui/BrowseFolder.h"
#include "widgets/ui/Placement.h"

#include <QDir>
#include <QFile>

namespace {

// Runs work with the progress window up and the main window's status set.
void withProgress(const TCompareCommandHost &host, TCompareMode mode, const QString &status,
                  const std::function<void(TCompareProgress &)> &work)
{
    TWaitCompareForm wait(mode, host.parent);
    wait.show();
    if (host.status)
        host.status(status);
    work(wait);
    if (host.status)
        host.status(QString());
    wait.hide();
}

void showResults(const TCompareCommandHost &host, TCompareWork &work, QChar letter, const QString &sourceFolder)
{
    TItemTextContext texts;
    texts.formattedSizes = host.options ? host.options->FormattedSizesCheck : true;
    TCompareForm form(work, letter, sourceFolder, texts, host.parent);
    form.setStatusSink(host.status);
    if (host.locate) {
        auto locate = host.locate;
        form.setHandler(TCompareCommand::Locate,
                        [locate](TItemRec *focused, const std::vector<TItemRec *> &) { locate(focused); });
    }
    using Records = std::vector<TItemRec *>;
    if (host.setCategories) {
        auto set = host.setCategories;
        form.setHandler(TCompareCommand::SetCategory, [set](TItemRec *, const Records &selected) { set(selected); });
    }
    if (host.addToUserList) {
        auto add = host.addToUserList;
        form.setHandler(TCompareCommand::AddToUserList, [add](TItemRec *, const Records &selected) { add(selected); });
    }
    if (host.properties) {
        auto properties = host.properties;
        form.setHandler(TCompareCommand::Properties,
                        [properties](TItemRec *focused, const Records &) { properties(focused); });
    }
    if (host.fileAction) {
        static const struct {
            TCompareCommand command;
            TFileAction action;
        } kFileCommands[] = {{TCompareCommand::Explorer, TFileAction::Explorer},
                             {TCompareCommand::Launch, TFileAction::Launch},
                             {TCompareCommand::View, TFileAction::View},
                             {TCompareCommand::Extract, TFileAction::ExtractTo}};
        for (const auto &c : kFileCommands)
            form.setHandler(c.command, [run = host.fileAction, a = c.action](TItemRec *focused, const Records &selected) {
                run(a, focused, selected);
            });
    }
    form.setDoubleClickChoice(host.doubleClick);
    // The window opens where it was last closed.
    const QString placement = QStringLiteral("CompareWndPos");
    if (host.registry)
        RestorePlacement(&form, *host.registry, placement);
    if (host.resultsShown)
        host.resultsShown(&form);
    form.exec();
    if (host.registry)
        StorePlacement(&form, *host.registry, placement);
}

void failed(const TCompareCommandHost &host, const TCompareWork &work)
{
    if (work.Status == TCompareStatus::Failed)
        host.prompter->ask(CompareCaption(work.Mode), work.Message, MsgIcon::Error, MsgButtons::Ok);
}

TWalkRules walkRules(const TCompareCommandHost &host)
{
    return host.options ? CompareWalkRules(*host.options) : TWalkRules();
}

} // namespace

void RunCompareToMediaCommand(const TCompareCommandHost &host, TTreeNode *node)
{
    if (!node || !host.prompter || !host.drives)
        return;
    const QString word = CompareWord(node);
    const QString name = DecodeStored(node->text());
    if (host.prompter->ask(MsgCompareConfirmCaption(), MsgCompareConfirmText(word, name), MsgIcon::Question,
                           MsgButtons::OkCancel) != MsgAnswer::Ok)
        return;

    TDrives &drives = *host.drives;
    QWidget *parent = host.parent;
    QChar letter = FindMediaForDisk(drives, node, true, true, host.prompter,
                                    [parent](const QByteArray &disk, uint8_t type, bool manual) {
                                        return AskInsertMedia(parent, disk, type, manual);
                                    });
    if (letter.isNull())
        return;
    TWalkRules rules = walkRules(host);
    QByteArray root;
    bool mustExist = AsDisk(NodeRec(node)) != nullptr;
    if (letter == kManualDriveChoice) {
        // The user names the folder that stands for the disk or folder.
        TBrowseFolderForm picker(QStringLiteral("Select the folder to compare with:"), QStringLiteral("/"),
                                 QDir::homePath(), parent);
        if (picker.exec() != QDialog::Accepted || picker.selectedFolder().isEmpty())
            return;
        root = QFile::encodeName(picker.selectedFolder());
        mustExist = true;
        const auto drive = drives.driveOfPath(picker.selectedFolder());
        letter = drive ? *drive : QChar(u'?');
        if (drive)
            rules.DosAttributes = MediaAttributeReader(drives, *drive);
    } else {
        root = CompareMediaRoot(drives, letter, node);
        if (root.isEmpty()) {
            host.prompter->ask(CompareCaption(TCompareMode::Media),
                               QStringLiteral("Drive %1: is not ready").arg(letter), MsgIcon::Error, MsgButtons::Ok);
            return;
        }
        rules.DosAttributes = MediaAttributeReader(drives, letter);
    }

    TCompareWork work;
    withProgress(host, TCompareMode::Media, MsgComparingStatus(), [&](TCompareProgress &progress) {
        CompareToMedia(work, node, root, mustExist, rules, &progress);
    });
    if (work.Status != TCompareStatus::Done) {
        failed(host, work);
        return;
    }
    if (work.noChanges()) {
        host.prompter->ask(MsgNoChangesCaption(), MsgNoChangesText(word, name), MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    showResults(host, work, letter, QString());
}

void RunCheckFilesCommand(const TCompareCommandHost &host, const TTreeNode *selected)
{
    if (!host.forest || !host.prompter)
        return;
    TCheckFilesForm dialog(*host.forest, selected, *host.prompter, host.parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString folder = dialog.sourceFolder();
    TWalkRules rules = walkRules(host);
    if (host.drives)
        if (const auto drive = host.drives->driveOfPath(folder))
            rules.DosAttributes = MediaAttributeReader(*host.drives, *drive);

    TCompareWork work;
    withProgress(host, TCompareMode::Files, MsgCheckingStatus(), [&](TCompareProgress &progress) {
        CheckFilesToCatalog(work, dialog.scopeNodes(), QFile::encodeName(folder), dialog.subfolders(),
                            dialog.sameChecks(), rules, &progress);
    });
    if (work.Status != TCompareStatus::Done) {
        failed(host, work);   // a cancel ends without a word
        return;
    }
    const QString shown = QDir::toNativeSeparators(folder);
    if (work.count(0) == 0 && work.count(1) == 0 && work.count(2) == 0) {
        host.prompter->ask(MsgNoFilesCaption(), MsgNoFilesText(shown), MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    showResults(host, work, QChar(), shown);
}
