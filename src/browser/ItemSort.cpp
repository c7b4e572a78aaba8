// The compare function over catalog records and the sort run built on it.
// The run keeps the result of a stable binary insertion sort (each element
// placed after every element that compares less or equal), but inserts in
// growing blocks that are sorted and merged into the sorted front: the same
// order, without moving the whole list once per element, and with the same
// promise when the user stops it (the front sorted, the rest untouched).
#include "browser/ItemSort.h"

#include "catalog/Forest.h"
#include "platform/Texts.h"

#include <QLocale>

#include <algorithm>
#include <exception>

struct TItemComparer::Keys {
    std::optional<QCollatorSortKey> name;        // file name or node text
    std::optional<QCollatorSortKey> extension;   // of that name
    std::optional<QCollatorSortKey> label;       // disks: volume label
};

namespace {

int sign(double v)
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

template <typename T>
int cmp(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

QString recordName(const TItemRec *rec)
{
    if (ItemIs(rec->KindFlags, rkFile))
        return DecodeStored(static_cast<const TFileRec *>(rec)->name());
    return rec->Node ? DecodeStored(rec->Node->text()) : QString();
}

QString extensionOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

const char *descOf(const TItemRec *rec)
{
    switch (ItemKind(rec->KindFlags)) {
    case rkFile:
        return static_cast<const TFileRec *>(rec)->Desc;
    case rkFolder:
        return static_cast<const TFolderRec *>(rec)->Desc;
    case rkDisk:
        return static_cast<const TDiskRec *>(rec)->Desc;
    case rkCatalog:
        return static_cast<const TCatalogRec *>(rec)->Desc;
    default:
        return nullptr;
    }
}

// Descriptions compare character by character without regard to case.
int compareDescriptions(const TItemRec *a, const TItemRec *b)
{
    const QByteArrayView da = TextView(descOf(a));
    const QByteArrayView db = TextView(descOf(b));
    if (AsciiOnly(da) && AsciiOnly(db))
        return sign(qstrnicmp(da.data(), da.size(), db.data(), db.size()));
    return sign(QString::compare(DecodeStored(da), DecodeStored(db), Qt::CaseInsensitive));
}

// Kinds: disks before folders before files (step 3 of the order).
int kindRank(uint8_t kind)
{
    switch (kind) {
    case rkCatalog:
        return 0;
    case rkDisk:
        return 1;
    case rkFolder:
        return 2;
    default:
        return 3;
    }
}

// The fields of a record compared by the file rules: a compressed-file
// folder stands in with its node text, total size, date, attributes and
// description.
struct FileView {
    int64_t size;
    uint32_t modified;
    uint8_t attr;
};

FileView fileView(const TItemRec *rec)
{
    if (ItemIs(rec->KindFlags, rkFolder)) {
        const auto *folder = static_cast<const TFolderRec *>(rec);
        return {folder->TotalSize / 10000, folder->Modified, folder->Attr};
    }
    const auto *file = static_cast<const TFileRec *>(rec);
    return {file->Size, file->Modified, file->Attr};
}

} // namespace

TItemComparer::TItemComparer(const TCompareContext &context) : m_context(context), m_collator(QLocale())
{
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_collator.setNumericMode(false);
}

TItemComparer::~TItemComparer() = default;

const TItemComparer::Keys &TItemComparer::keysOf(const TItemRec *rec)
{
    auto it = m_keys.find(rec);
    if (it == m_keys.end()) {
        auto keys = std::make_unique<Keys>();
        const QString name = recordName(rec);
        keys->name = m_collator.sortKey(name);
        keys->extension = m_collator.sortKey(extensionOf(name));
        if (ItemIs(rec->KindFlags, rkDisk))
            keys->label = m_collator.sortKey(DecodeStored(static_cast<const TDiskRec *>(rec)->VolumeLabel));
        it = m_keys.emplace(rec, std::move(keys)).first;
    }
    return *it->second;
}

int TItemComparer::localeCompare(const QString &a, const QString &b)
{
    return sign(m_collator.compare(a, b));
}

int TItemComparer::compareAsFiles(const TItemRec *a, const TItemRec *b)
{
    const FileView fa = fileView(a), fb = fileView(b);
    const int column = m_context.column;
    switch (column) {
    case 0:
        return sign(keysOf(a).name->compare(*keysOf(b).name));
    case 1: {
        const int byExtension = sign(keysOf(a).extension->compare(*keysOf(b).extension));
        return byExtension ? byExtension : sign(keysOf(a).name->compare(*keysOf(b).name));
    }
    case 2:
        return cmp(fa.size, fb.size);
    case 3:
        return cmp(fa.modified, fb.modified);
    case 4:
        // The time of day is the low half of a packed date-time.
        return cmp(fa.modified & 0xFFFFu, fb.modified & 0xFFFFu);
    case 5:
        return cmp(fa.attr, fb.attr);
    case 6:
        return compareDescriptions(a, b);
    default:
        return localeCompare(ItemText(a, column, false, m_context.texts), ItemText(b, column, false, m_context.texts));
    }
}

int TItemComparer::compareSameKind(const TItemRec *a, const TItemRec *b)
{
    const int column = m_context.column;
    switch (ItemKind(a->KindFlags)) {
    case rkFile:
    case rkFolder:
        // Folders follow the file rules with their node text, total size and
        // date (a total is whole bytes x 10000, so dividing loses nothing).
        return compareAsFiles(a, b);
    case rkDisk: {
        const auto *da = static_cast<const TDiskRec *>(a);
        const auto *db = static_cast<const TDiskRec *>(b);
        switch (column) {
        case 0:
            return sign(keysOf(a).name->compare(*keysOf(b).name));
        case 1:
            return cmp(int(da->MediaType), int(db->MediaType));
        case 2:
            return sign(keysOf(a).label->compare(*keysOf(b).label));
        case 3:
            return cmp(DiskSpace(da, 0), DiskSpace(db, 0));
        case 4:
            return cmp(DiskSpace(da, 1), DiskSpace(db, 1));
        case 5:
            return cmp(da->Updated, db->Updated);
        case 6:
            return compareDescriptions(a, b);
        default:
            return 0;
        }
    }
    default:
        return 0;   // catalogs
    }
}

int TItemComparer::compare(const TItemRec *a, const TItemRec *b)
{
    if (a == b)
        return 0;
    // The previous-folder row leads in either direction.
    if (a == m_context.prevFolder)
        return -1;
    if (b == m_context.prevFolder)
        return 1;
    int result = 0;
    try {
        const uint8_t ka = ItemKind(a->KindFlags), kb = ItemKind(b->KindFlags);
        const bool aArchive = ka == rkFolder && ItemIs(a->KindFlags, rfCompressed);
        const bool bArchive = kb == rkFolder && ItemIs(b->KindFlags, rfCompressed);
        const bool fileOrFolderPair = (ka == rkFile || ka == rkFolder) && (kb == rkFile || kb == rkFolder) &&
                                      !(ka == rkFile && kb == rkFile);
        bool done = false;
        if (!m_context.archivesAsFolders && fileOrFolderPair && (aArchive || bArchive)) {
            if (ka == rkFolder && kb == rkFolder && aArchive != bArchive) {
                // A normal folder before a compressed-file folder.
                result = int(aArchive) - int(bArchive);
                done = true;
            } else if (ka != kb) {
                // A file and a compressed-file folder: both by the file rules.
                const bool folderFirst = ka == rkFolder;
                if ((folderFirst && aArchive) || (!folderFirst && bArchive)) {
                    result = compareAsFiles(a, b);
                    done = true;
                }
            }
        }
        if (!done) {
            if (ka != kb)
                result = cmp(kindRank(ka), kindRank(kb));
            else
                result = compareSameKind(a, b);
        }
    } catch (const std::exception &) {
        result = 0;
    }
    return m_context.reverse ? -result : result;
}

int CompareItems(const TItemRec *a, const TItemRec *b, const TCompareContext &context)
{
    TItemComparer comparer(context);
    return comparer.compare(a, b);
}

bool SortItems(std::vector<TItemRec *> &items, const TCompareContext &context, const TStopKeyProbe &stopKey,
               Prompter *prompter)
{
    const size_t n = items.size();
    if (n < 2)
        return true;
    TItemComparer comparer(context);
    auto less = [&](const TItemRec *a, const TItemRec *b) { return comparer.compare(a, b) < 0; };
    size_t sorted = 1;
    while (sorted < n) {
        if (stopKey && stopKey()) {
            Prompter &ask = prompter ? *prompter : DefaultPrompter();
            const MsgAnswer answer = ask.ask(QStringLiteral("Cancel sort"),
                                             QStringLiteral("Sorting was temporarily halted by user.\r"
                                                            "Would you like to cancel sort and proceed with "
                                                            "partial results?"),
                                             MsgIcon::Question, MsgButtons::YesNo);
            if (answer == MsgAnswer::Yes)
                return false;
        }
        // Blocks grow with the sorted front, so merging costs O(n log n) in all.
        const size_t block = std::min(n - sorted, std::max<size_t>(256, sorted));
        const auto first = items.begin();
        const auto middle = first + std::ptrdiff_t(sorted);
        const auto last = middle + std::ptrdiff_t(block);
        std::stable_sort(middle, last, less);
        // Equal elements of the front stay before those of the block, as an
        // insertion after every element that compares less or equal does.
        std::inplace_merge(first, middle, last, less);
        sorted += block;
    }
    return true;
}

void ReverseItems(std::vector<TItemRec *> &items, const TItemRec *prevFolder)
{
    auto begin = items.begin();
    if (begin != items.end() && prevFolder && *begin == prevFolder)
        ++begin;
    std::reverse(begin, items.end());
}
