// Drag and drop on the main window: disks dragged from the tree or the list
// onto another catalog move there; catalog files dropped from a file manager
// open, anything else dropped is refused with a message.
#include "browser/ui/QuillonMain.h"

#include "browser/TreeSort.h"
#include "browser/ui/CatalogTreeModel.h"
#include "browser/ui/ItemListModel.h"
#include "browser/ui/MainFormShared.h"
#include "catalog/ReadAhead.h"
#include "manager/CatManager.h"
#include "platform/Texts.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>

using namespace mainform;

// ---- disks moved between catalogs ---------------------------------------------------------------

void TMainForm::onDisksDropped(const std::vector<TTreeNode *> &disks, TTreeNode *target)
{
    const bool fromList = !m_tree->hasFocus() && listHasFocus();
    // After the drag has ended: the views are not in the middle of it then.
    QTimer::singleShot(0, this, [this, disks, target, fromList] { dropDisks(disks, target, fromList); });
}

void TMainForm::dropDisks(const std::vector<TTreeNode *> &disks, TTreeNode *target, bool fromList)
{
    if (!nodeAlive(target) || !NodeIs(target, rkCatalog))
        return;
    const std::shared_ptr<TTreeNode *> targetWatch = watchNode(target);
    std::vector<std::shared_ptr<TTreeNode *>> diskWatches;
    for (TTreeNode *disk : disks)
        diskWatches.push_back(watchNode(disk));
    // Moving disks changes the catalogs' disk levels, which a search walks.
    const auto operation = beginForestCommand(
        [this, diskWatches, targetWatch, fromList] {
            std::vector<TTreeNode *> left;
            for (const auto &w : diskWatches)
                if (*w)
                    left.push_back(*w);
            if (*targetWatch)
                dropDisks(left, *targetWatch, fromList);
        },
        &kMoveDiskRefusal);
    if (!operation)
        return;
    std::vector<TTreeNode *> valid;
    for (TTreeNode *disk : disks)
        if (nodeAlive(disk) && NodeIs(disk, rkDisk) && disk->parent() != target)
            valid.push_back(disk);
    if (valid.empty())
        return;
    TTreeNode *selectedBefore = selectedNode();
    const bool ownStatus = !m_statusActive;
    if (ownStatus)
        setStatus(QStringLiteral("Moving disks, please wait..."), 1);
    ProgressSink *wait = progress();
    if (wait)
        wait->ShowWait(QStringLiteral("Moving disks to selected catalog..."), false, false);
    ++m_busy;
    TTreeNode *moved = nullptr;
    for (TTreeNode *disk : valid) {
        if (wait)
            wait->ShowWait(QStringLiteral("Moving disk \"") + DecodeStored(disk->text()) + QStringLiteral("\"..."),
                           false, false);
        try {
            moved = TransferDisk(disk, target, true);
        } catch (const EStreamError &e) {
            if (wait)
                wait->HideWait();
            showReadFailure(e.message());
            break;
        }
    }
    // The moved disks come with the levels they had read, in stored order.
    sortShownLevels(target);
    m_tree->expand(m_treeModel->indexOf(target));
    --m_busy;
    if (!fromList && moved)
        selectNode(moved);
    else if (nodeAlive(selectedBefore))
        selectNode(selectedBefore);
    refreshList(selectedNode(), true);
    if (wait)
        wait->CloseWait();
    if (ownStatus)
        setStatus(QString(), 0);
    refresh();
}

// ---- files dropped on the window ----------------------------------------------------------------

void TMainForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent *event)
{
    QStringList catalogs;
    int others = 0;
    for (const QUrl &url : event->mimeData()->urls()) {
        const QString file = url.toLocalFile();
        if (QFileInfo(file).suffix().toLower() == QStringLiteral("ctf"))
            catalogs << file;
        else
            ++others;
    }
    event->acceptProposedAction();
    if (!catalogs.isEmpty()) {
        openCatalogFiles(catalogs);
    } else if (others > 0) {
        raise();
        activateWindow();
        prompter().ask(QStringLiteral("Invalid file"),
                       others == 1 ? QStringLiteral("Sorry, the file you dropped does not seem to be a catalog file.")
                                   : QStringLiteral("Sorry, none of files you just dropped is a valid catalog file."),
                       MsgIcon::Information, MsgButtons::Ok);
    }
}
