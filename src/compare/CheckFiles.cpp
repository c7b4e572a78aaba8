// Compare Files to Catalog: every chosen disk's entries in name buckets,
// the source folder walked, each file looked up by name alone.
#include "compare/CheckFiles.h"

#include "catalog/Forest.h"
#include "catalog/ReadAhead.h"
#include "compare/NameBuckets.h"
#include "platform/ByteTotals.h"
#include "platform/Texts.h"

#include <algorithm>
#include <new>

bool SameAsSource(const TItemRec *entry, const EntryInfo &file, const TSameChecks &checks)
{
    const TCompareEntryView v = CompareEntryOf(entry);
    if (checks.Size && v.Size != file.size)
        return false;
    if (checks.Date && v.Modified != file.modified)
        return false;
    if (checks.Attributes && v.Attr != file.attr)
        return false;
    return true;
}

QString MsgCheckingStatus()
{
    return QStringLiteral("Checking if files exist in the catalog, please wait");
}

QString MsgLoadingDisk(const QString &diskName)
{
    return QStringLiteral("Loading disk \"%1\"").arg(diskName);
}

QString MsgSortingFiles()
{
    return QStringLiteral("Sorting files, please wait...");
}

QString MsgSearchingFiles()
{
    return QStringLiteral("Searching for files, please wait...");
}

QString MsgNoFilesCaption()
{
    return QStringLiteral("No files found");
}

QString MsgNoFilesText(const QString &folder)
{
    return QStringLiteral("No files were found at specified location (\"%1\").").arg(folder);
}

QString MsgInvalidFolderText(const QString &folder)
{
    return QStringLiteral("Folder \"%1\" does not exist!").arg(folder);
}

namespace {

// The entries the progress bar counts for a disk.
int64_t diskEntries(TTreeNode *disk)
{
    const TDiskRec *rec = AsDisk(NodeRec(disk));
    return rec ? int64_t(std::max(0, rec->TotalFiles)) + std::max(0, rec->ArchiveFiles) : 0;
}

} // namespace

void CheckFilesToCatalog(TCompareWork &work, const std::vector<TTreeNode *> &scope, const QByteArray &sourceFolder,
                         bool subfolders, const TSameChecks &checks, TWalkRules rules, TCompareProgress *progress)
{
    TCompareProgress none;
    TCompareProgress &p = progress ? *progress : none;
    work.clear();
    work.Mode = TCompareMode::Files;
    work.Status = TCompareStatus::Done;
    work.Message.clear();
    work.Node = nullptr;
    work.MediaRoot = sourceFolder;
    auto fail = [&work](TCompareStatus status, const QString &message) {
        work.clear();
        work.Status = status;
        work.Message = message;
    };

    // The disks of the scope, each once.
    std::vector<TTreeNode *> disks;
    for (TTreeNode *node : scope) {
        if (AsCatalog(NodeRec(node))) {
            for (TTreeNode *disk : node->children())
                if (AsDisk(NodeRec(disk)))
                    disks.push_back(disk);
        } else if (AsDisk(NodeRec(node))) {
            disks.push_back(node);
        }
    }
    std::vector<TTreeNode *> unique;
    for (TTreeNode *disk : disks)
        if (std::find(unique.begin(), unique.end(), disk) == unique.end())
            unique.push_back(disk);

    TNameBuckets buckets;
    try {
        p.setStep(MsgLoadingCatalogData());
        int64_t max = 0;
        for (TTreeNode *disk : unique)
            max += diskEntries(disk);
        p.setMaximum(max);
        int64_t advanced = 0;
        for (TTreeNode *disk : unique) {
            p.setStep(MsgLoadingDisk(DecodeStored(disk->text())));
            if (p.cancelRequested() || !buckets.collect(disk, false, p, advanced)) {
                fail(TCompareStatus::Cancelled, QString());
                return;
            }
        }
        p.setStep(MsgSortingFiles());
        p.setMaximum(buckets.size());
        buckets.sort();
        p.setPosition(buckets.size());
        if (p.cancelRequested()) {
            fail(TCompareStatus::Cancelled, QString());
            return;
        }
    } catch (const EStreamError &e) {
        fail(TCompareStatus::Failed, e.message());
        return;
    } catch (const std::bad_alloc &) {
        fail(TCompareStatus::Failed, QStringLiteral("Out of memory"));
        return;
    }

    p.setStep(MsgSearchingFiles());
    rules.Subfolders = subfolders;
    int32_t folderIndex = -1;
    TMediaWalk walk(rules, p);
    const TWalkOutcome outcome = walk.run(
        sourceFolder, true, [&](QByteArrayView) { folderIndex = -1; },
        [&](const TWalkFile &file) {
            auto [first, last] = buckets.equalRange(file.Name);
            if (first == last) {
                if (folderIndex < 0) {
                    folderIndex = int32_t(work.FolderList.size());
                    work.FolderList.push_back(file.NativeFolder.toByteArray());
                }
                TMediaFileEntry entry;
                entry.Attr = file.Info->attr;
                entry.Time = file.Info->modified;
                entry.Size = file.Info->size;
                entry.FolderIndex = folderIndex;
                entry.Name = file.Name.toByteArray();
                work.NewFiles.push_back(std::move(entry));
                return;
            }
            // Every catalogued copy of the name; they stay for later source files.
            for (auto *e = first; e != last; ++e)
                e->Result |= SameAsSource(e->Rec, *file.Info, checks) ? 1 : 2;
        });
    if (outcome.Status != TWalkStatus::Done) {
        fail(outcome.Status == TWalkStatus::Cancelled ? TCompareStatus::Cancelled : TCompareStatus::Failed,
             outcome.Message);
        return;
    }
    p.setStep(MsgSortingLists());
    SortNewFiles(work);
    // Each catalogued copy once per list, in bucket order, however many source files found it.
    for (const auto &e : buckets.entries()) {
        if (e.Result & 1)
            work.Lists[ckFound].push_back(e.Rec);
        if (e.Result & 2)
            work.Lists[ckChanged].push_back(e.Rec);
    }
    p.setCounts(work.count(0), work.count(1), work.count(2), 0);
}
