// The found lists: guarded storage, position hints, columns and sorting.
#include "search/FoundList.h"

#include "browser/ItemSort.h"
#include "catalog/CatalogRec.h"

#include <algorithm>

namespace {

// The compare columns of the found-list columns (fcName .. fcDescription),
// for files and folders and for disks. A disk column without a key maps to
// a compare column under which two disks are equal.
constexpr int kItemColumns[kFoundColumns] = {0, 1, 2, 3, 4, 7, 8, 9, 6};
constexpr int kDiskColumns[kFoundColumns] = {0, 255, 3, 5, 255, 255, 1, 10, 7};

// Growth steps of the storage: 128 while empty, then as many entries as the
// list holds, between 128 and 2048.
constexpr int kMinGrowth = 128;
constexpr int kMaxGrowth = 2048;

} // namespace

int CompareColumnOf(int foundColumn, bool disk)
{
    if (foundColumn < 0 || foundColumn >= kFoundColumns)
        return 255;
    return disk ? kDiskColumns[foundColumn] : kItemColumns[foundColumn];
}

QStringList FoundColumnCaptions()
{
    return {QStringLiteral("File, Folder or Disk"), QStringLiteral("Ext"),        QStringLiteral("Item Size"),
            QStringLiteral("Item Date"),            QStringLiteral("Item Time"),  QStringLiteral("Media Name"),
            QStringLiteral("Media Type"),           QStringLiteral("Location"),   QStringLiteral("Description")};
}

TFoundList::TFoundList(ResultListId id) : m_id(id)
{
    RegisterResultList(m_id, this);
}

TFoundList::~TFoundList()
{
    if (ResultList(m_id) == this)
        RegisterResultList(m_id, nullptr);
}

int TFoundList::count() const
{
    std::lock_guard lock(m_mutex);
    return int(m_items.size());
}

int TFoundList::capacity() const
{
    std::lock_guard lock(m_mutex);
    return int(m_items.capacity());
}

TItemRec *TFoundList::at(int index) const
{
    std::lock_guard lock(m_mutex);
    return index >= 0 && size_t(index) < m_items.size() ? m_items[size_t(index)] : nullptr;
}

void TFoundList::setNull(int index)
{
    std::lock_guard lock(m_mutex);
    if (index >= 0 && size_t(index) < m_items.size())
        m_items[size_t(index)] = nullptr;
}

void TFoundList::compact()
{
    bool changed = false;
    {
        std::lock_guard lock(m_mutex);
        const auto first = std::find(m_items.begin(), m_items.end(), nullptr);
        if (first != m_items.end()) {
            const int from = int(first - m_items.begin());
            m_items.erase(std::remove(first, m_items.end(), nullptr), m_items.end());
            renumberFrom(from);
            changed = true;
        }
    }
    if (changed && m_compacted)
        m_compacted();
}

void TFoundList::growFor(int extra)
{
    const size_t need = m_items.size() + size_t(extra);
    if (need <= m_items.capacity())
        return;
    size_t capacity = m_items.capacity();
    while (capacity < need) {
        const size_t step = m_items.empty() ? size_t(kMinGrowth)
                                            : std::clamp(m_items.size(), size_t(kMinGrowth), size_t(kMaxGrowth));
        capacity += step;
    }
    m_items.reserve(capacity);
}

int TFoundList::append(TItemRec *rec)
{
    std::lock_guard lock(m_mutex);
    growFor(1);
    const int index = int(m_items.size());
    m_items.push_back(rec);
    if (rec)
        HintOf(rec, m_id) = PositionHint(index);
    return index;
}

bool TFoundList::contains(const TItemRec *rec) const
{
    if (!rec)
        return false;
    std::lock_guard lock(m_mutex);
    return HintOf(const_cast<TItemRec *>(rec), m_id) != -1;
}

std::vector<TItemRec *> TFoundList::items() const
{
    std::lock_guard lock(m_mutex);
    return m_items;
}

void TFoundList::clear()
{
    std::lock_guard lock(m_mutex);
    for (TItemRec *rec : m_items)
        if (rec)
            HintOf(rec, m_id) = -1;
    m_items.clear();
}

int TFoundList::remove(const std::vector<int> &indexes)
{
    std::lock_guard lock(m_mutex);
    int first = -1;
    for (int index : indexes) {
        if (index < 0 || size_t(index) >= m_items.size() || !m_items[size_t(index)])
            continue;
        HintOf(m_items[size_t(index)], m_id) = -1;
        m_items[size_t(index)] = nullptr;
        if (first < 0 || index < first)
            first = index;
    }
    if (first < 0)
        return -1;
    const auto from = m_items.begin() + first;
    m_items.erase(std::remove(from, m_items.end(), nullptr), m_items.end());
    renumberFrom(first);
    return first;
}

void TFoundList::reorder(std::vector<TItemRec *> order)
{
    std::lock_guard lock(m_mutex);
    // Entries left out of the new order leave the list.
    for (TItemRec *rec : m_items)
        if (rec)
            HintOf(rec, m_id) = -1;
    m_items = std::move(order);
    renumberFrom(0);
}

void TFoundList::renumberFrom(int index)
{
    for (size_t i = size_t(std::max(index, 0)); i < m_items.size(); ++i)
        if (m_items[i])
            HintOf(m_items[i], m_id) = PositionHint(int(i));
}

bool ClickFoundColumn(TFoundList &list, int column, bool archivesAsFolders, const std::function<bool()> &stopKey,
                      Prompter *prompter)
{
    if (column < 0 || column >= kFoundColumns)
        return true;
    std::vector<TItemRec *> items = list.items();
    if (list.sortColumn == column) {
        // The list is in this column's order: turning it round is enough.
        ReverseItems(items, nullptr);
        list.reorder(std::move(items));
        list.sortDescending = !list.sortDescending;
        return true;
    }
    list.sortColumn = uint8_t(column);
    list.sortDescending = false;

    // Disks come before every other kind whatever the column, and each group
    // has its own key: sorting the two groups apart is one stable sort with
    // the list's two column tables.
    const auto isDisk = [](const TItemRec *rec) { return rec && ItemKind(rec->KindFlags) == rkDisk; };
    std::vector<TItemRec *> disks, others;
    for (TItemRec *rec : items)
        if (rec)
            (isDisk(rec) ? disks : others).push_back(rec);

    TCompareContext context;
    context.archivesAsFolders = archivesAsFolders;
    context.column = CompareColumnOf(column, true);
    bool finished = SortItems(disks, context, stopKey, prompter);
    if (finished) {
        context.column = CompareColumnOf(column, false);
        finished = SortItems(others, context, stopKey, prompter);
    }
    disks.insert(disks.end(), others.begin(), others.end());
    list.reorder(std::move(disks));
    return finished;
}
