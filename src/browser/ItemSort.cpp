// The compare function over catalog records and the sort run built on it.
// The run keeps the result of a stable binary insertion sort (each element
// placed after every element that compares less or equal), but inserts in
// growing blocks that are sorted and merged into the sorted front: the same
// order, without moving the whole list once per element, and with the same
// promise when the user stops it (the front sorted, the rest untouched).
#include "browser/ItemSort.h"

#include "catalog/Forest.h"
#include "platform/ByteTotals.h"
#include "platform/Texts.h"

#include <algorithm>
#include <cstring>
#include <exception>

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

// The stored bytes of a record's name: a file's name, else its node text.
QByteArrayView recordName(const TItemRec *rec)
{
    if (ItemIs(rec->KindFlags, rkFile))
        return static_cast<const TFileRec *>(rec)->name();
    return rec->Node ? QByteArrayView(rec->Node->text()) : QByteArrayView();
}

// The bytes after the last "." of a name, empty when none; when they are
// ASCII, the text ExtensionOf gives.
QByteArrayView extensionBytes(QByteArrayView name)
{
    const qsizetype dot = name.lastIndexOf('.');
    return dot < 0 ? QByteArrayView() : name.sliced(dot + 1);
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
        return {WholeBytes(folder->TotalSize), folder->Modified, folder->Attr};
    }
    const auto *file = static_cast<const TFileRec *>(rec);
    return {file->Size, file->Modified, file->Attr};
}

// The first 8 bytes of a key as a number that orders as the key does (key
// bytes are never 0, so the zeros of a short key put it before its longer
// relatives); whole when the key has no more bytes than that.
uint64_t keyHead(const std::string &arena, uint32_t offset, uint32_t length, bool &whole)
{
    uint64_t head = 0;
    const uint32_t n = std::min<uint32_t>(length, 8);
    for (uint32_t i = 0; i < n; ++i)
        head |= uint64_t(uint8_t(arena[offset + i])) << (56 - 8 * i);
    whole = length <= 8;
    return head;
}

} // namespace

TItemComparer::TItemComparer(const TCompareContext &context) : m_context(context) {}

TItemComparer::~TItemComparer() = default;

void TItemComparer::adopt(const std::vector<TItemRec *> &items)
{
    m_records.assign(items.begin(), items.end());
    m_ids.clear();
    for (auto &keys : m_slots)
        keys.clear();
    m_arena.clear();
    for (auto &indexes : m_fullIndex)
        indexes.clear();
    m_fullKeys.clear();
}

QByteArrayView TItemComparer::slotBytes(const TItemRec *rec, Slot slot)
{
    switch (slot) {
    case kName:
        return recordName(rec);
    case kExtension:
        return extensionBytes(recordName(rec));
    default:
        return ItemIs(rec->KindFlags, rkDisk) ? QByteArrayView(static_cast<const TDiskRec *>(rec)->VolumeLabel)
                                              : QByteArrayView();
    }
}

uint32_t TItemComparer::idOf(const TItemRec *rec)
{
    const auto [it, added] = m_ids.emplace(rec, uint32_t(m_records.size()));
    if (added)
        m_records.push_back(rec);
    return it->second;
}

TItemComparer::SlotKey TItemComparer::slotKey(uint32_t id, Slot slot)
{
    std::vector<SlotKey> &keys = m_slots[slot];
    if (keys.size() < m_records.size())
        keys.resize(m_records.size());
    SlotKey &key = keys[id];
    if (key.offset != SlotKey::kUnmade)
        return key;
    QByteArrayView text = slotBytes(m_records[id], slot);
    // A tail that is not ASCII is decoded with its whole name (ExtensionOf).
    QByteArray extension;
    if (slot == kExtension && !AsciiOnly(text)) {
        extension = EncodeStored(ExtensionOf(recordName(m_records[id])));
        text = extension;
    }
    // Offsets are 32-bit: an arena that would pass 4 GiB leaves the rest to
    // full keys (a byte key takes at most 3 bytes per byte of text).
    const size_t offset = m_arena.size();
    if (offset + 3 * size_t(text.size()) < size_t(SlotKey::kUnmade) && m_collation.appendKey(text, m_arena)) {
        key.offset = uint32_t(offset);
        key.length = uint32_t(m_arena.size() - offset);
    } else {
        key.offset = 0;
        key.length = SlotKey::kFull;
    }
    return key;
}

const TCollationKey &TItemComparer::fullKey(uint32_t id, Slot slot)
{
    std::vector<uint32_t> &indexes = m_fullIndex[slot];
    if (indexes.size() < m_records.size())
        indexes.resize(m_records.size(), kNoFullKey);
    uint32_t &index = indexes[id];
    if (index == kNoFullKey) {
        const TItemRec *rec = m_records[id];
        const QString text = slot == kExtension ? ExtensionOf(recordName(rec))
                             : slot == kColumn  ? ItemText(rec, m_context.column, false, m_context.texts)
                                                : DecodeStored(slotBytes(rec, slot));
        index = uint32_t(m_fullKeys.size());
        m_fullKeys.push_back(m_collation.key(text));
    }
    return m_fullKeys[index];
}

int TItemComparer::compareTexts(uint32_t a, uint32_t b, Slot slot)
{
    const SlotKey ka = slotKey(a, slot);
    const SlotKey kb = slotKey(b, slot);
    if (ka.length != SlotKey::kFull && kb.length != SlotKey::kFull) {
        // Both byte keys: their order is the collator's.
        const char *arena = m_arena.data();
        const int bytes = std::memcmp(arena + ka.offset, arena + kb.offset, std::min(ka.length, kb.length));
        return bytes ? sign(bytes) : cmp(ka.length, kb.length);
    }
    return fullKey(a, slot).compare(fullKey(b, slot));
}

int TItemComparer::compareAsFiles(uint32_t a, uint32_t b)
{
    const TItemRec *ra = m_records[a], *rb = m_records[b];
    switch (m_context.column) {
    case 0:
        return compareTexts(a, b, kName);
    case 1: {
        const int byExtension = compareTexts(a, b, kExtension);
        return byExtension ? byExtension : compareTexts(a, b, kName);
    }
    case 2:
        return cmp(fileView(ra).size, fileView(rb).size);
    case 3:
        return cmp(fileView(ra).modified, fileView(rb).modified);
    case 4:
        // The time of day is the low half of a packed date-time.
        return cmp(fileView(ra).modified & 0xFFFFu, fileView(rb).modified & 0xFFFFu);
    case 5:
        return cmp(fileView(ra).attr, fileView(rb).attr);
    case 6:
        return compareDescriptions(ra, rb);
    default:
        // Texts built from the tree (the location) cost a walk up: one key per record.
        return fullKey(a, kColumn).compare(fullKey(b, kColumn));
    }
}

int TItemComparer::compareSameKind(uint32_t a, uint32_t b)
{
    const TItemRec *ra = m_records[a], *rb = m_records[b];
    switch (ItemKind(ra->KindFlags)) {
    case rkFile:
    case rkFolder:
        // Folders follow the file rules with their node text, total size and
        // date (a total is whole bytes x 10000, so dividing loses nothing).
        return compareAsFiles(a, b);
    case rkDisk: {
        const auto *da = static_cast<const TDiskRec *>(ra);
        const auto *db = static_cast<const TDiskRec *>(rb);
        switch (m_context.column) {
        case 0:
            return compareTexts(a, b, kName);
        case 1:
            return cmp(int(da->MediaType), int(db->MediaType));
        case 2:
            return compareTexts(a, b, kLabel);
        case 3:
            return cmp(DiskSpace(da, 0), DiskSpace(db, 0));
        case 4:
            return cmp(DiskSpace(da, 1), DiskSpace(db, 1));
        case 5:
            return cmp(da->Updated, db->Updated);
        case 6:
            return compareDescriptions(ra, rb);
        default:
            return 0;
        }
    }
    default:
        return 0;   // catalogs
    }
}

int TItemComparer::compareIds(uint32_t a, uint32_t b)
{
    const TItemRec *ra = m_records[a], *rb = m_records[b];
    if (ra == rb)
        return 0;
    // The previous-folder row leads in either direction.
    if (ra == m_context.prevFolder)
        return -1;
    if (rb == m_context.prevFolder)
        return 1;
    int result = 0;
    try {
        const uint8_t ka = ItemKind(ra->KindFlags), kb = ItemKind(rb->KindFlags);
        const bool aArchive = ka == rkFolder && ItemIs(ra->KindFlags, rfCompressed);
        const bool bArchive = kb == rkFolder && ItemIs(rb->KindFlags, rfCompressed);
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

int TItemComparer::compare(const TItemRec *a, const TItemRec *b)
{
    if (a == b)
        return 0;
    const uint32_t ia = idOf(a);
    return compareIds(ia, idOf(b));
}

int TItemComparer::compareAt(uint32_t a, uint32_t b)
{
    return compareIds(a, b);
}

TItemComparer::Entry TItemComparer::entryAt(uint32_t id)
{
    Entry entry;
    entry.id = id;
    const TItemRec *rec = m_records[id];
    if (rec == m_context.prevFolder)
        entry.flags |= Entry::kPrevious;
    const uint8_t kind = ItemKind(rec->KindFlags);
    entry.rank = uint8_t(kindRank(kind));
    // With archives sorted as files a compressed-file folder ranks with the
    // files and compares with them by the file rules.
    if (kind == rkFolder && !m_context.archivesAsFolders && ItemIs(rec->KindFlags, rfCompressed))
        entry.rank = uint8_t(kindRank(rkFile));
    if (kind != rkFile && kind != rkFolder)
        return entry;
    // Records of one rank here compare by the file rules (compareAsFiles).
    bool whole = false;
    const auto headOf = [&](Slot slot, uint64_t &head, uint8_t valid, uint8_t wholeBit) {
        const SlotKey key = slotKey(id, slot);
        if (key.length == SlotKey::kFull)
            return;
        head = keyHead(m_arena, key.offset, key.length, whole);
        entry.flags |= valid | (whole ? wholeBit : 0);
        if (slot == kName) {
            entry.nameKey = key.offset;
            entry.nameKeyLength = key.length;
        }
    };
    switch (m_context.column) {
    case 0:
        headOf(kName, entry.head, Entry::kHead, Entry::kHeadWhole);
        break;
    case 1:
        headOf(kExtension, entry.head, Entry::kHead, Entry::kHeadWhole);
        headOf(kName, entry.head2, Entry::kHead2, Entry::kHead2Whole);
        break;
    case 2:
        // Signed sizes as unsigned numbers of the same order.
        entry.head = uint64_t(fileView(rec).size) ^ (uint64_t(1) << 63);
        entry.flags |= Entry::kHead | Entry::kHeadWhole;
        break;
    case 3:
        entry.head = fileView(rec).modified;
        entry.flags |= Entry::kHead | Entry::kHeadWhole;
        break;
    case 4:
        entry.head = fileView(rec).modified & 0xFFFFu;
        entry.flags |= Entry::kHead | Entry::kHeadWhole;
        break;
    case 5:
        entry.head = fileView(rec).attr;
        entry.flags |= Entry::kHead | Entry::kHeadWhole;
        break;
    default:
        break;
    }
    return entry;
}

bool TItemComparer::less(const Entry &a, const Entry &b)
{
    if (((a.flags | b.flags) & Entry::kPrevious) == 0) {
        const uint8_t both = a.flags & b.flags;
        // Name keys whose first 8 bytes are equal and that are not both that
        // short (so both are at least that long: key bytes are never 0).
        const auto nameTails = [&] {
            const char *arena = m_arena.data();
            const uint32_t common = std::min(a.nameKeyLength, b.nameKeyLength) - 8;
            const int bytes = std::memcmp(arena + a.nameKey + 8, arena + b.nameKey + 8, common);
            return bytes ? sign(bytes) : cmp(a.nameKeyLength, b.nameKeyLength);
        };
        int result = 2;   // not decided
        if (a.rank != b.rank)
            result = a.rank < b.rank ? -1 : 1;
        else if (both & Entry::kHead) {
            if (a.head != b.head)
                result = a.head < b.head ? -1 : 1;
            else if (m_context.column == 0)
                result = (both & Entry::kHeadWhole) ? 0 : nameTails();
            else if (m_context.column != 1)
                result = 0;   // the field compared, whole
            else if ((both & Entry::kHeadWhole) && (both & Entry::kHead2)) {
                // Equal extensions: the names decide.
                if (a.head2 != b.head2)
                    result = a.head2 < b.head2 ? -1 : 1;
                else
                    result = (both & Entry::kHead2Whole) ? 0 : nameTails();
            }
        }
        if (result != 2)
            return (m_context.reverse ? -result : result) < 0;
    }
    return compareIds(a.id, b.id) < 0;
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
    // The run sorts entries that decide most compares themselves and reach
    // the keys by number otherwise; the list takes the new order at the end
    // (or at a stop).
    TItemComparer comparer(context);
    comparer.adopt(items);
    using Entry = TItemComparer::Entry;
    std::vector<Entry> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = comparer.entryAt(uint32_t(i));
    const auto finish = [&] {
        const std::vector<TItemRec *> before = items;
        for (size_t i = 0; i < n; ++i)
            items[i] = before[order[i].id];
    };
    // Whether the stop key was pressed and the user chose to stop.
    const auto stopChosen = [&] {
        if (!stopKey || !stopKey())
            return false;
        Prompter &ask = prompter ? *prompter : DefaultPrompter();
        return ask.ask(QStringLiteral("Cancel sort"),
                       QStringLiteral("Sorting was temporarily halted by user.\r"
                                      "Would you like to cancel sort and proceed with partial results?"),
                       MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes;
    };
    auto less = [&](const Entry &a, const Entry &b) { return comparer.less(a, b); };
    // The key is also asked inside a step (the last steps of a large list,
    // with a slow key, take seconds each): the step's block is sorted in runs
    // merged pairwise, asking between them. A stop inside a step puts the
    // block back as it was (copies of doubling steps cost O(n) in all).
    constexpr size_t kRun = 16384;
    const auto sortBlock = [&](size_t from, size_t to) {
        const auto at = [&](size_t i) { return order.begin() + std::ptrdiff_t(i); };
        for (size_t run = from; run < to; run += kRun) {
            if (run > from && stopChosen())
                return false;
            std::stable_sort(at(run), at(std::min(run + kRun, to)), less);
        }
        for (size_t width = kRun; width < to - from; width *= 2) {
            for (size_t run = from; run + width < to; run += 2 * width) {
                if (stopChosen())
                    return false;
                std::inplace_merge(at(run), at(run + width), at(std::min(run + 2 * width, to)), less);
            }
        }
        return true;
    };
    std::vector<Entry> blockStart;
    size_t sorted = 1;
    while (sorted < n) {
        if (stopChosen()) {
            finish();
            return false;
        }
        // Blocks grow with the sorted front, so merging costs O(n log n) in all.
        const size_t block = std::min(n - sorted, std::max<size_t>(256, sorted));
        const auto first = order.begin();
        const auto middle = first + std::ptrdiff_t(sorted);
        const auto last = middle + std::ptrdiff_t(block);
        if (stopKey && block > kRun)
            blockStart.assign(middle, last);
        if (!sortBlock(sorted, sorted + block) || (block > kRun && stopChosen())) {
            std::copy(blockStart.begin(), blockStart.end(), middle);
            finish();
            return false;
        }
        // Equal elements of the front stay before those of the block, as an
        // insertion after every element that compares less or equal does.
        std::inplace_merge(first, middle, last, less);
        sorted += block;
    }
    finish();
    return true;
}

void ReverseItems(std::vector<TItemRec *> &items, const TItemRec *prevFolder)
{
    auto begin = items.begin();
    if (begin != items.end() && prevFolder && *begin == prevFolder)
        ++begin;
    std::reverse(begin, items.end());
}
