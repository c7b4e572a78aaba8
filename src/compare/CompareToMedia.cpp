// Compare to Media: the catalog's files of a disk or folder in name buckets,
// the medium walked, every file on it matched by name and folder, and what
// is left in the buckets reported as deleted.
#include "compare/CompareToMedia.h"

#include "catalog/DiskMedium.h"
#include "catalog/Forest.h"
#include "catalog/ReadAhead.h"
#include "compare/NameBuckets.h"
#include "platform/ByteTotals.h"
#include "platform/Drives.h"
#include "settings/Options.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <new>

// ---- the state -----------------------------------------------------------------

TCompareWork::TCompareWork() = default;
TCompareWork::~TCompareWork() = default;

int64_t TCompareWork::count(int list) const
{
    if (list == 0)
        return int64_t(NewFiles.size());
    if (list < 0 || list >= listCount())
        return 0;
    return int64_t(Lists[size_t(list)].size());
}

bool TCompareWork::noChanges() const
{
    return NewFiles.empty() && Lists[clChanged].empty() && (Mode != TCompareMode::Media || Lists[clDeleted].empty());
}

QByteArray TCompareWork::folderOf(const TMediaFileEntry &entry) const
{
    if (entry.FolderIndex < 0 || size_t(entry.FolderIndex) >= FolderList.size())
        return {};
    return FolderList[size_t(entry.FolderIndex)];
}

void TCompareWork::clear()
{
    NewFiles.clear();
    FolderList.clear();
    for (auto &list : Lists)
        list.clear();
}

TCompareEntryView CompareEntryOf(const TItemRec *rec)
{
    TCompareEntryView v;
    if (!rec)
        return v;
    if (ItemIs(rec->KindFlags, rkFile)) {
        const auto *f = static_cast<const TFileRec *>(rec);
        v.Name = f->name();
        v.Size = f->Size;
        v.Modified = f->Modified;
        v.Attr = f->Attr;
        v.Folder = f->Node;
    } else if (ItemIs(rec->KindFlags, rkFolder)) {
        const auto *folder = static_cast<const TFolderRec *>(rec);
        if (folder->Node) {
            v.Name = folder->Node->text();
            v.Folder = folder->Node->parent();
        }
        v.Size = WholeBytes(folder->TotalSize);
        v.Modified = folder->Modified;
        v.Attr = folder->Attr;
    }
    return v;
}

// ---- texts -----------------------------------------------------------------------

QString CompareCaption(TCompareMode mode)
{
    return mode == TCompareMode::Media ? QStringLiteral("Compare to Media") : QStringLiteral("Compare Files To Catalog");
}

QString CompareTabName(TCompareMode mode, int list)
{
    static const char *const media[] = {"New files", "Same files", "Changed files", "Deleted files"};
    static const char *const files[] = {"New files", "Found files", "Found, but changed"};
    if (mode == TCompareMode::Media)
        return list >= 0 && list < 4 ? QString::fromLatin1(media[list]) : QString();
    return list >= 0 && list < 3 ? QString::fromLatin1(files[list]) : QString();
}

QString CompareListTypeName(TCompareMode mode, int list)
{
    static const char *const media[] = {"New files on media, not yet in the catalog",
                                        "Files that did not change since last cataloguing",
                                        "Files that have changed since last cataloguing",
                                        "Deleted files since last cataloguing"};
    static const char *const files[] = {"Files not found in selected catalog",
                                        "Files found to be the same as in selected catalog",
                                        "Files found in the catalog, but only matching file name"};
    if (mode == TCompareMode::Media)
        return list >= 0 && list < 4 ? QString::fromLatin1(media[list]) : QString();
    return list >= 0 && list < 3 ? QString::fromLatin1(files[list]) : QString();
}

QString CompareComboText(TCompareMode mode, int list, int64_t count)
{
    return QStringLiteral("%1 (%2 file%3)")
        .arg(CompareListTypeName(mode, list))
        .arg(count)
        .arg(count == 1 ? QString() : QStringLiteral("s"));
}

QString CompareTabText(TCompareMode mode, int list, int64_t count)
{
    return QStringLiteral("  %1 (%2)  ").arg(CompareTabName(mode, list)).arg(count);
}

QString MsgCompareConfirmCaption()
{
    return QStringLiteral("Compare to media");
}

QString MsgCompareConfirmText(const QString &word, const QString &nodeText)
{
    return QStringLiteral("About to compare %1 \"%2\" in catalog to original media, please confirm.").arg(word, nodeText);
}

QString MsgNoChangesCaption()
{
    return QStringLiteral("No changes detected");
}

QString MsgNoChangesText(const QString &word, const QString &nodeText)
{
    return QStringLiteral("No changes have been detected on the media. Catalog data for %1 \"%2\" is up to date.")
        .arg(word, nodeText);
}

QString MsgComparingStatus()
{
    return QStringLiteral("Comparing data in catalog to media, please wait");
}

QString MsgLoadingCatalogData()
{
    return QStringLiteral("Loading catalog data, please wait...");
}

QString MsgComparingToMedia()
{
    return QStringLiteral("Comparing to media, please wait...");
}

QString MsgSortingLists()
{
    return QStringLiteral("Sorting lists, please wait...");
}

QString CompareWord(TTreeNode *node)
{
    const TDiskRec *disk = AsDisk(NodeRec(node));
    if (!disk)
        return QStringLiteral("folder");
    const QString name = MediaTypeName(disk->MediaType, disk->KindFlags);
    if (name == QLatin1String("CD-ROM") || name == QLatin1String("RAM disk"))
        return name;
    return name.toLower();
}

// ---- the medium ------------------------------------------------------------------

TWalkRules CompareWalkRules(const TOptions &settings)
{
    TWalkRules rules;
    rules.SkipHiddenFiles = settings.IgnoreFilesCheck;
    rules.SkipHiddenFolders = settings.IgnoreFoldersCheck;
    rules.SkipRecycleBins = settings.IgnoreRecycleCheck;
    return rules;
}

TDosAttrReader MediaAttributeReader(TDrives &drives, QChar letter)
{
    if (const auto drive = drives.drive(letter.toUpper()); drive && drives.sources().dosAttributes)
        return drives.sources().dosAttributes(drive->fsType);
    return {};
}

QByteArray CompareMediaRoot(TDrives &drives, QChar letter, TTreeNode *node)
{
    const QString root = drives.rootPath(letter.toUpper());
    if (root.isEmpty() || !NodeRec(node))
        return {};
    QByteArray stored;
    {
        // NodePath caches folder paths in the records a search may be reading.
        TRecordWriteScope writing;
        stored = NodePath(node, true, true);
    }
    if (!stored.endsWith('\\'))
        stored.append('\\');
    QByteArray start = QFile::encodeName(root);
    while (start.size() > 1 && start.endsWith('/'))
        start.chop(1);
    if (stored == "\\")
        return start;
    const QString found = FindFolderBelow(root, stored);
    if (!found.isEmpty())
        return QFile::encodeName(found);
    // Not on the medium: its path as stored, which lists nothing.
    QByteArray path = start == "/" ? QByteArray() : start;
    for (const QByteArray &part : stored.split('\\'))
        if (!part.isEmpty() && part != "." && part != "..")
            path += '/' + part;
    return path;
}

// ---- the comparison ----------------------------------------------------------------

namespace {

// The counts shown while the medium is walked, at most every 100 ms.
class CountsTicker
{
public:
    CountsTicker(TCompareProgress &progress, const TCompareWork &work) : m_progress(progress), m_work(work)
    {
        m_timer.start();
    }
    void tick(bool force = false)
    {
        if (!force && m_timer.elapsed() < 100)
            return;
        m_timer.restart();
        m_progress.setCounts(m_work.count(0), m_work.count(1), m_work.count(2),
                             m_work.Mode == TCompareMode::Media ? m_work.count(3) : 0);
    }

private:
    TCompareProgress &m_progress;
    const TCompareWork &m_work;
    QElapsedTimer m_timer;
};

} // namespace

void SortNewFiles(TCompareWork &work)
{
    // Keys first: most names differ in their first bytes.
    std::vector<std::pair<uint64_t, uint32_t>> order;
    order.reserve(work.NewFiles.size());
    for (size_t i = 0; i < work.NewFiles.size(); ++i)
        order.emplace_back(NameKey(work.NewFiles[i].Name) & ~(uint64_t(0xFF) << 56), uint32_t(i));
    std::stable_sort(order.begin(), order.end(), [&work](const auto &a, const auto &b) {
        if (a.first != b.first)
            return a.first < b.first;
        return CompareNamesAscii(work.NewFiles[a.second].Name, work.NewFiles[b.second].Name) < 0;
    });
    std::vector<TMediaFileEntry> sorted;
    sorted.reserve(work.NewFiles.size());
    for (const auto &o : order)
        sorted.push_back(std::move(work.NewFiles[o.second]));
    work.NewFiles.swap(sorted);
}

void CompareToMedia(TCompareWork &work, TTreeNode *node, const QByteArray &mediaRoot, bool rootMustExist,
                    const TWalkRules &rules, TCompareProgress *progress)
{
    TCompareProgress none;
    TCompareProgress &p = progress ? *progress : none;
    work.clear();
    work.Mode = TCompareMode::Media;
    work.Status = TCompareStatus::Done;
    work.Message.clear();
    work.Node = node;
    work.MediaRoot = mediaRoot;
    auto fail = [&work](TCompareStatus status, const QString &message) {
        work.clear();
        work.Status = status;
        work.Message = message;
    };

    TItemRec *rec = NodeRec(node);
    const TFolderRec *folder = AsFolder(rec);
    if (!rec || (!folder && !AsDisk(rec)) ||
        (folder && ItemIs(folder->KindFlags, rfCompressed))) {
        fail(TCompareStatus::Failed, QStringLiteral("Only a disk or a folder can be compared to its media."));
        return;
    }

    TNameBuckets buckets;
    try {
        p.setStep(MsgLoadingCatalogData());
        int64_t advanced = 0;
        if (!buckets.collect(node, true, p, advanced)) {
            fail(TCompareStatus::Cancelled, QString());
            return;
        }
        buckets.sort();
    } catch (const EStreamError &e) {
        fail(TCompareStatus::Failed, e.message());
        return;
    } catch (const std::bad_alloc &) {
        fail(TCompareStatus::Failed, QStringLiteral("Out of memory"));
        return;
    }

    p.setStep(MsgComparingToMedia());
    CountsTicker ticker(p, work);
    // Folder ids of the medium's folders, looked up once per folder.
    int32_t folderId = -1;
    int32_t folderIndex = -1;
    TMediaWalk walk(rules, p);
    const TWalkOutcome outcome = walk.run(
        mediaRoot, rootMustExist,
        [&](QByteArrayView folderPath) {
            folderId = buckets.folderId(FoldFolderKey(folderPath));
            folderIndex = -1;
        },
        [&](const TWalkFile &file) {
            int list = clNew;
            TItemRec *match = nullptr;
            TNameBuckets::Entry *matched = nullptr;
            if (folderId >= 0) {
                auto [first, last] = buckets.equalRange(file.Name, folderId);
                for (auto *e = first; e != last; ++e) {
                    if (e->Taken)
                        continue;
                    e->Taken = true;
                    match = e->Rec;
                    matched = e;
                    break;
                }
            }
            if (match) {
                const TCompareEntryView entry = CompareEntryOf(match);
                list = entry.Size != file.Info->size ? clChanged
                       : entry.Modified == file.Info->modified ? clSame
                                                                : clChanged;
                matched->Result = uint8_t(list);
                work.Lists[size_t(list)].push_back(match);   // for the live counts
            } else {
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
            }
            ticker.tick();
        });
    if (outcome.Status != TWalkStatus::Done) {
        fail(outcome.Status == TWalkStatus::Cancelled ? TCompareStatus::Cancelled : TCompareStatus::Failed,
             outcome.Message);
        return;
    }

    // The catalog lists in bucket order, equal names in the order collected
    // (the array is sorted so); what no file on the medium took is gone.
    for (int list = clSame; list <= clDeleted; ++list)
        work.Lists[size_t(list)].clear();
    for (const auto &e : buckets.entries())
        work.Lists[e.Taken ? e.Result : size_t(clDeleted)].push_back(e.Rec);

    p.setStep(MsgSortingLists());
    SortNewFiles(work);
    ticker.tick(true);
}
