// The search window's two found lists (normal and duplicates): the found
// records in display order with each record's position hint, the list's sort
// column and direction and its layout marks. The worker appends while the
// window draws and the user removes entries, so every access takes the
// list's lock; storage grows ahead in steps of 128 to 2048 entries, so an
// append rarely moves the entries.
#pragma once

#include "catalog/ResultLists.h"
#include "platform/Prompter.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

struct TItemRec;

// The found-list columns and the item compare's column for each.
enum FoundColumn : int {
    fcName = 0, fcExt, fcSize, fcDate, fcTime, fcMediaName, fcMediaType, fcLocation, fcDescription
};
inline constexpr int kFoundColumns = 9;
inline constexpr uint8_t kUnsorted = 255;
// The compare column of a found-list column for files and folders, and for disks.
int CompareColumnOf(int foundColumn, bool disk);
QStringList FoundColumnCaptions();

class TFoundList : public TResultList
{
public:
    explicit TFoundList(ResultListId id);   // Found or Duplicates; registers itself
    ~TFoundList() override;

    // TResultList (each takes the lock).
    int count() const override;
    TItemRec *at(int index) const override;
    void setNull(int index) override;
    void compact() override;

    // The worker's append: sets the record's hint; returns the new index.
    int append(TItemRec *rec);
    // Whether rec is in the list (its hint for this list is not -1).
    bool contains(const TItemRec *rec) const;
    // A copy of the entries (the window's sort and reports work on copies).
    std::vector<TItemRec *> items() const;
    // Every entry's hint to -1, then empty.
    void clear();
    // Removes the entries at the given indexes; hints renumbered. Returns the
    // first removed index, or -1 when none.
    int remove(const std::vector<int> &indexes);
    // Replaces the order (a sort or a reversal of items()); hints renumbered.
    void reorder(std::vector<TItemRec *> order);

    // Sort state (255 = order of arrival) and layout marks of the list.
    uint8_t sortColumn = kUnsorted;
    bool sortDescending = false;
    int listHeight = 200;
    bool maximized = false;
    bool listVisible = false;

    ResultListId id() const { return m_id; }
    // Entries the storage holds before it must grow again.
    int capacity() const;
    // Called (without the lock held) after compact() dropped freed entries,
    // so the window can update its row count, buttons and status.
    void setCompactedHook(std::function<void()> hook) { m_compacted = std::move(hook); }

private:
    void renumberFrom(int index);   // with the lock held
    void growFor(int extra);

    ResultListId m_id;
    std::function<void()> m_compacted;
    mutable std::mutex m_mutex;
    std::vector<TItemRec *> m_items;
};

// A click on a found-list column header (not while a search runs: the
// caller's part): the column the list is sorted by reverses the list, any
// other sorts it ascending by that column's key (stable; stopKey and
// prompter as SortItems). Returns false when the user stopped the sort.
bool ClickFoundColumn(TFoundList &list, int column, bool archivesAsFolders, const std::function<bool()> &stopKey = {},
                      Prompter *prompter = nullptr);
