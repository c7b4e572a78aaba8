// Creating, opening, saving and closing whole catalogs, with the messages the
// user sees. Saving writes a temporary file, flushes it to the disk, and only
// then puts it in place of the old file (which becomes the ".BAK" copy when
// asked); the catalog's offsets are taken back whenever the new file does not
// end up in place, so the catalog keeps reading its old file.
#include "catalog/CatalogFiles.h"

#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "catalog/NewCatalogFile.h"
#include "catalog/ReadAhead.h"
#include "platform/ByteTotals.h"
#include "platform/Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString catalogName(const TTreeNode *node)
{
    return DecodeStored(node->text());
}

TCatalogRec *catalogOf(TTreeNode *node)
{
    return node ? AsCatalog(node->data()) : nullptr;
}

// Holds a status text for the length of an operation when none is shown yet.
class StatusScope
{
public:
    StatusScope(TCatalogHost &host, const QString &text, int mode) : m_host(host)
    {
        if (!host.statusActive()) {
            host.setStatus(text, mode);
            m_own = true;
        }
    }
    ~StatusScope()
    {
        if (m_own)
            m_host.setStatus(QString(), 0);
    }

private:
    TCatalogHost &m_host;
    bool m_own = false;
};

// rename(2), keeping errno for the message.
bool renameFile(const QString &from, const QString &to, int *error)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    if (error)
        *error = errno;
    return false;
}

QString backupName(const QString &target)
{
    const QFileInfo info(target);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".BAK"));
}

// The nine characters a file name cannot take on the systems catalogs travel to.
QString safeFileName(const QString &name)
{
    QString out = name;
    for (QChar &c : out)
        if (QStringLiteral("\\/:*?\"><|").contains(c))
            c = QLatin1Char('_');
    return out;
}

// Whether two names are one file. Names on this system are case-sensitive,
// so only the same path (after resolving links) is the same file.
bool sameFile(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QString ca = QFileInfo(a).canonicalFilePath(), cb = QFileInfo(b).canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return ca == cb;
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

bool fileInUseByOther(TForest &forest, TTreeNode *self, const QString &fileName)
{
    for (TTreeNode *node : forest.roots()) {
        const TCatalogRec *other = catalogOf(node);
        if (node != self && other && sameFile(other->FileName, fileName))
            return true;
    }
    return false;
}

// Steps 2 and 3 of a save: the target's name, by dialog when needed. Empty when cancelled.
QString chooseTarget(TTreeNode *catalogNode, bool askName, TCatalogHost &host, const TCatalogFileSettings &settings)
{
    TCatalogRec *catalog = catalogOf(catalogNode);
    const QString title = QStringLiteral("Save Catalog \"") + catalogName(catalogNode) + QStringLiteral("\" As ...");
    QString fileName;
    QString folder = settings.CatalogPathEdit;
    if (catalog->Stream) {
        fileName = catalog->FileName;
        folder = QFileInfo(fileName).absolutePath();
    }
    if (!askName && !fileName.isEmpty())
        return fileName;
    for (;;) {
        if (!askName)
            fileName = safeFileName(catalogName(catalogNode));
        QString chosen = host.chooseSaveFile(title, folder, fileName);
        if (chosen.isEmpty())
            return {};
        chosen = QFileInfo(chosen).absoluteFilePath();
        if (chosen == catalog->FileName)
            return chosen;
        QString problem;
        if (fileInUseByOther(*catalogNode->forest(), catalogNode, chosen)) {
            problem = QStringLiteral("This file already exists and is in use.\r"
                                     "Enter new file name or close this file in other applications.");
        } else if (QFileInfo::exists(chosen)) {
            return chosen;
        } else {
            QFile probe(chosen);
            if (probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
                probe.close();
                probe.remove();
                return chosen;
            }
            problem = QStringLiteral("Can not create this file for writing.\r"
                                     "Please enter a valid file name and path, on write-enabled device.");
        }
        host.prompter().ask(QStringLiteral("File create error"), problem, MsgIcon::Warning, MsgButtons::Ok);
        fileName = chosen;
        folder = QFileInfo(chosen).absolutePath();
    }
}

// Copies a finished new file into folder as another new file for target,
// flushed; null when that fails.
std::unique_ptr<TNewCatalogFile> copyInto(TNewCatalogFile &source, const QString &folder, const QString &target)
{
    try {
        auto copy = std::make_unique<TNewCatalogFile>(folder, target);
        if (!CopyFileBytes(source.handle(), 0, copy->handle(), 0, source.size()) || !copy->sync())
            return nullptr;
        return copy;
    } catch (const EStreamError &) {
        return nullptr;
    }
}

// Where a new file that could not replace the target stays for the user: a
// name of its own beside the target, not a temporary name (which a later
// clean-up would take for a killed save's).
QString keptName(const QString &target)
{
    const QFileInfo info(target);
    for (int n = 1;; ++n) {
        const QString kept = info.dir().filePath(info.completeBaseName() + QStringLiteral(".new") +
                                                 (n > 1 ? QString::number(n) : QString()) + QStringLiteral(".ctf"));
        if (!QFileInfo::exists(kept) || n >= 1000)
            return kept;
    }
}

// Gives the new file the name kept (from its temporary one) and leaves it there.
void keepForUser(TNewCatalogFile &file, const QString &temporary, const QString &kept)
{
    if (::link(QFile::encodeName(temporary).constData(), QFile::encodeName(kept).constData()) == 0) {
        file.release();
        ::unlink(QFile::encodeName(temporary).constData());
    } else {
        file.release();   // no other name: it stays under the temporary one
    }
}

void deleteCatalogNode(TTreeNode *node)
{
    DeleteNodeWithRecords(node);
}

} // namespace

int64_t TCatalogHost::freeSpace(const QString &folder)
{
    const QStorageInfo info(folder);
    return info.isValid() ? info.bytesAvailable() : -1;
}

// ---- recent files ---------------------------------------------------------------

void TRecentFiles::add(const QString &fileName)
{
    remove(fileName);
    m_files.prepend(fileName);
    while (m_files.size() > kMax)
        m_files.removeLast();
}

void TRecentFiles::remove(const QString &fileName)
{
    m_files.removeIf([&](const QString &f) { return sameFile(f, fileName); });
}

void TRecentFiles::setFiles(const QStringList &files)
{
    m_files = files.mid(0, kMax);
}

// ---- new and open ---------------------------------------------------------------

QString ProposedCatalogName(const TForest &forest)
{
    for (int n = 1;; ++n) {
        const QByteArray name = "Catalog" + QByteArray::number(n);
        bool taken = false;
        for (const TTreeNode *node : forest.roots())
            taken = taken || node->text() == name;
        if (!taken)
            return QString::fromLatin1(name);
    }
}

TTreeNode *NewCatalog(TForest &forest, TCatalogHost &host)
{
    const QString proposal = ProposedCatalogName(forest);
    const std::optional<QString> answer =
        host.askText(QStringLiteral("New Catalog"), QStringLiteral("Enter a name for the new catalog:"), proposal);
    if (!answer)
        return nullptr;
    const QString name = answer->trimmed().isEmpty() ? proposal : *answer;
    TTreeNode *node = NewCatalogNode(forest, CutAtCharBoundary(EncodeStored(name), kMaxShortText).toByteArray());
    host.refresh();
    host.catalogShown(node, true);
    return node;
}

std::vector<TTreeNode *> OpenCatalogs(TForest &forest, TCatalogHost &host, QStringList *list, bool quiet,
                                      const TCatalogFileSettings &settings, TRecentFiles *recent, bool *listChanged)
{
    std::vector<TTreeNode *> opened;
    QStringList chosen;
    if (!list) {
        quiet = false;
        chosen = host.chooseOpenFiles(settings.CatalogPathEdit);
        if (chosen.isEmpty())
            return opened;
        list = &chosen;
    }
    Prompter &prompter = host.prompter();
    const QString plural = list->size() > 1 ? QStringLiteral("s") : QString();
    StatusScope status(host, QStringLiteral("Loading catalog") + plural + QStringLiteral("..."), 1);
    ProgressSink *wait = quiet ? nullptr : host.progress();
    if (wait)
        wait->ShowWait(QStringLiteral("Loading catalog") + plural + QStringLiteral(", please wait..."), false, false);
    auto closeWait = [&] {
        if (wait) {
            wait->CloseWait();
            wait = nullptr;
        }
    };

    for (int i = 0; i < list->size();) {
        const QString entry = QFileInfo((*list)[i]).absoluteFilePath();
        const bool single = list->size() == 1;
        bool alreadyOpen = false;
        for (const TTreeNode *node : forest.roots()) {
            const TCatalogRec *catalog = AsCatalog(node->data());
            alreadyOpen = alreadyOpen || (catalog && sameFile(catalog->FileName, entry));
        }
        if (alreadyOpen) {
            if (!quiet && single) {
                if (wait)
                    wait->HideWait();
                prompter.ask(QStringLiteral("Catalog is opened"),
                             QStringLiteral("Catalog file \"") + entry + QStringLiteral("\" is already opened."),
                             MsgIcon::Information, MsgButtons::Ok);
            }
            ++i;
            continue;
        }
        bool dropEntry = false;
        try {
            TTreeNode *node = ReadCatalog(forest, entry);
            TNewCatalogFile::RemoveStale(entry);   // what a killed save of it left
            opened.push_back(node);
            if (!quiet && recent)
                recent->add(entry);
            host.catalogShown(node, i == list->size() - 1);
        } catch (const EInvalidCatalog &e) {
            closeWait();
            prompter.ask(QStringLiteral("Catalog error"), entry + QStringLiteral("\n\r") + e.message(),
                         MsgIcon::Error, MsgButtons::Ok);
            dropEntry = quiet;
            if (recent)
                recent->remove(entry);
        } catch (const EStreamError &e) {
            closeWait();
            if (recent)
                recent->remove(entry);
            if (!QFileInfo::exists(entry)) {
                prompter.ask(QStringLiteral("Load error"),
                             QStringLiteral("Can't open catalog file ") + entry + QStringLiteral(".\r") +
                                 QStringLiteral("This file does not exist."),
                             MsgIcon::Error, MsgButtons::Ok);
                dropEntry = true;
            } else {
                prompter.ask(QStringLiteral("Load error"),
                             QStringLiteral("An error occured while trying to load catalog file ") + entry +
                                 QStringLiteral(".\r") + e.message(),
                             MsgIcon::Error, MsgButtons::Ok);
            }
        } catch (const std::exception &) {
            // Dropped without a message, as the partly read catalog is (ReadCatalog removed it).
            if (recent)
                recent->remove(entry);
        }
        if (dropEntry && quiet) {
            list->removeAt(i);
            if (listChanged)
                *listChanged = true;
        } else {
            ++i;
        }
    }
    host.refresh();
    closeWait();
    return opened;
}

// ---- save -----------------------------------------------------------------------

bool SaveCatalog(TTreeNode *catalogNode, bool askName, TCatalogHost &host, const TCatalogFileSettings &settings)
{
    TCatalogRec *catalog = catalogOf(catalogNode);
    if (!catalog)
        return false;
    if (catalog->Dirty == 0 && !askName)
        return true;
    Prompter &prompter = host.prompter();
    const QString target = chooseTarget(catalogNode, askName, host, settings);
    if (target.isEmpty())
        return false;
    const QString targetFolder = QFileInfo(target).absolutePath();

    // Beside the target when it has room for the new file, else in the temporary folder.
    const int64_t freeAtTarget = host.freeSpace(targetFolder);
    const int64_t estimate = CatalogSizeEstimate(catalogNode);
    const bool besideTarget = freeAtTarget < 0 || double(freeAtTarget) > 1.5 * double(estimate);
    QString tempFolder = besideTarget ? targetFolder : QDir::tempPath();
    if (tempFolder.isEmpty())
        tempFolder = QDir::currentPath();

    StatusScope status(host, QStringLiteral("Saving catalog..."), 1);
    ProgressSink *wait = host.progress();
    // The bar runs over the disks: each weighs its top-level folders' totals,
    // or its capacity when it has no folders.
    auto diskWeight = [](TTreeNode *diskNode) {
        int64_t weight = 0;
        for (TTreeNode *child : diskNode->children())
            if (const TFolderRec *folder = AsFolder(child->data()))
                weight += std::max<int64_t>(0, WholeBytes(folder->TotalSize));
        if (diskNode->childCount() == 0)
            weight = std::max<int64_t>(0, WholeBytes(DiskSpace(AsDisk(diskNode->data()), 0)));
        return weight;
    };
    int64_t total = 0;
    for (TTreeNode *diskNode : catalogNode->children())
        total += diskWeight(diskNode);
    if (wait) {
        wait->ShowWait(QStringLiteral("Saving catalog, please wait..."), true, false);
        wait->SetWaitMax(std::max<int64_t>(total, 1));
    }
    const auto diskWritten = [&](TTreeNode *diskNode) {
        if (wait)
            wait->AdvanceWait(diskWeight(diskNode));
    };
    struct WaitCloser {
        ProgressSink *w;
        ~WaitCloser()
        {
            if (w)
                w->CloseWait();
        }
    } waitCloser{wait};

    auto saveError = [&](const QString &text) {
        prompter.ask(QStringLiteral("Save error"), text, MsgIcon::Error, MsgButtons::Ok);
        return false;
    };

    TSaveUndo undo;
    CatalogVariant written;
    TNewCatalogFile::RemoveStale(target);
    std::unique_ptr<TNewCatalogFile> temp;
    try {
        // Unnamed until it is complete: a save killed part way leaves nothing.
        temp = std::make_unique<TNewCatalogFile>(tempFolder, target);
        written = WriteCatalogUndoable(catalogNode, temp->device(), undo, diskWritten);
        if (!temp->sync())
            throw EStreamError(QStringLiteral("The new file could not be written to the disk."));
    } catch (const EStreamError &e) {
        return saveError(QStringLiteral("An error occured while saving the catalog ") + target +
                         QStringLiteral(".\r") + e.message());
    }
    // From here on every way out that does not put the new file in place
    // takes the catalog back to its old file.
    auto giveUp = [&] {
        undo.undo();
        return false;
    };
    const int64_t newSize = temp->size();

    if (!besideTarget) {
        const int64_t room = host.freeSpace(targetFolder) + (QFileInfo::exists(target) ? QFileInfo(target).size() : 0);
        if (newSize > room) {
            giveUp();
            return saveError(QStringLiteral("There is not enough disk space on destination drive to save the catalog."));
        }
        if (wait)
            wait->ShowWait(QStringLiteral("Moving catalog file to specified location..."), true, false);
        // A rename cannot cross file systems: copy into the target's folder first.
        std::unique_ptr<TNewCatalogFile> moved = copyInto(*temp, targetFolder, target);
        if (!moved) {
            giveUp();
            return saveError(QStringLiteral("An error occured while saving the catalog ") + target +
                             QStringLiteral(".\rThe new file could not be written beside it."));
        }
        temp = std::move(moved);
    }
    const QString tempPath = temp->name();
    if (tempPath.isEmpty()) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        giveUp();
        return saveError(QStringLiteral("An error occured while saving the catalog ") + target +
                         QStringLiteral(".\r") + why);
    }

    // Put the new file in place. The old one becomes the backup when asked
    // and there is room for both; a rename over the old file replaces it in
    // one step otherwise, so there is never a moment without a catalog file.
    const bool keepBackup = settings.CreateBakCheck && QFileInfo::exists(target) &&
                            (freeAtTarget < 0 || freeAtTarget >= newSize);
    for (;;) {
        int error = 0;
        bool placed = false;
        QString backup;
        if (keepBackup) {
            backup = backupName(target);
            QFile::remove(backup);
            // A hard link keeps the old file under both names until the new
            // one replaces it; where links are not supported, rename.
            if (::link(QFile::encodeName(target).constData(), QFile::encodeName(backup).constData()) == 0) {
                placed = renameFile(tempPath, target, &error);
            } else if (renameFile(target, backup, &error)) {
                placed = renameFile(tempPath, target, &error);
                if (!placed)
                    renameFile(backup, target, nullptr);   // the old file back under its name
            }
        } else {
            placed = renameFile(tempPath, target, &error);
        }
        if (placed)
            break;
        QString text = QStringLiteral("There was a problem while trying to replace old catalog file.\r");
        if (error == EACCES || error == EPERM || error == EBUSY || error == ETXTBSY)
            text += QStringLiteral("It seems this file is still in use, probably in some other application.\r\r");
        text += QStringLiteral("If everything else fails, you can select 'Cancel', and use 'Save As...'") +
                QStringLiteral("\r") + QStringLiteral("to save the catalog under different name.");
        const QString kept = keptName(target);
        text += QStringLiteral("\r\rThe new catalog file is kept as ") + kept + QStringLiteral(".");
        if (prompter.ask(QStringLiteral("Save error"), text, MsgIcon::Error, MsgButtons::RetryCancel) !=
            MsgAnswer::Retry) {
            keepForUser(*temp, tempPath, kept);
            return giveUp();
        }
    }
    temp->release();
    SyncFolder(targetFolder);

    catalog->FileName = target;
    catalog->Variant = written;
    try {
        catalog->Stream = std::make_unique<TReadAheadStream>(target, kCatalogReadBuffer);
    } catch (const EStreamError &) {
        // Everything refers to the new file now; without a stream the next
        // save refuses rather than lose unread disks.
        catalog->Stream.reset();
    }
    SetCatalogDirty(catalogNode, false);
    host.refresh();
    return true;
}

// ---- close ----------------------------------------------------------------------

int CloseCatalog(TTreeNode *catalogNode, bool askToSave, TCatalogHost &host, const TCatalogFileSettings &settings)
{
    TCatalogRec *catalog = catalogOf(catalogNode);
    if (!catalog)
        return caCancel;
    StatusScope status(host, QStringLiteral("Wait, closing catalog..."), 1);
    int answer = caYes;
    if (catalog->Dirty == 1) {
        answer = caNo;
        if (askToSave) {
            const MsgAnswer a = host.prompter().ask(
                QStringLiteral("Confirm"),
                QStringLiteral("Save changes to catalog \"") + catalogName(catalogNode) + QStringLiteral("\" ?"),
                MsgIcon::Question, MsgButtons::YesNoCancel);
            answer = a == MsgAnswer::Yes ? caYes : (a == MsgAnswer::No ? caNo : caCancel);
        }
        if (answer == caCancel)
            return caCancel;
        if (answer == caYes && !SaveCatalog(catalogNode, false, host, settings))
            return caCancel;
    }
    deleteCatalogNode(catalogNode);
    host.refresh();
    return answer;
}

int CloseAllCatalogs(TForest &forest, bool askToSave, TCatalogHost &host, const TCatalogFileSettings &settings)
{
    StatusScope status(host, QStringLiteral("Wait, closing all catalogs..."), 1);
    int answer = caYes;
    while (!forest.roots().empty()) {
        answer = CloseCatalog(forest.roots().back(), askToSave && !host.shuttingDown(), host, settings);
        if (answer == caCancel)
            break;
    }
    host.refresh();
    return answer;
}

int SaveModifiedCatalogs(TForest &forest, TCatalogHost &host, const TCatalogFileSettings &settings)
{
    int answer = caYes;
    const std::vector<TTreeNode *> roots = forest.roots();
    for (TTreeNode *node : roots) {
        const TCatalogRec *catalog = catalogOf(node);
        if (!catalog || catalog->Dirty != 1)
            continue;
        const MsgAnswer a = host.prompter().ask(
            QStringLiteral("Confirm"),
            QStringLiteral("Save changes to catalog \"") + catalogName(node) + QStringLiteral("\" ?"),
            MsgIcon::Question, MsgButtons::YesNoCancel);
        if (a == MsgAnswer::Cancel)
            return caCancel;
        if (a == MsgAnswer::Yes) {
            if (!SaveCatalog(node, false, host, settings))
                return caCancel;
            answer = caYes;
        } else {
            answer = caNo;
        }
    }
    return answer;
}

void AutoSave(TForest &forest, TCatalogHost &host, const TCatalogFileSettings &settings)
{
    StatusScope status(host, QStringLiteral("Starting AutoSave..."), 1);
    const std::vector<TTreeNode *> roots = forest.roots();
    for (TTreeNode *node : roots) {
        const TCatalogRec *catalog = catalogOf(node);
        if (catalog && catalog->Dirty == 1)
            SaveCatalog(node, false, host, settings);
    }
}

QString MsgCantOpenWhileSearching()
{
    return QStringLiteral("Sorry, opening catalog is not possible while search is in progress.\r"
                          "Please cancel the search or wait for search to finish.");
}

QString MsgCantSaveWhileSearching()
{
    return QStringLiteral("Sorry, can't save catalog while search is in progress.\r"
                          "Please cancel the search or wait for search to finish.");
}

QString MsgCantCloseWhileSearching()
{
    return QStringLiteral("You can not close catalog(s) because search for files is in progress.\r"
                          "Please cancel the search or wait for search to finish.");
}
