// The three result lists that hold record pointers (the search window's found
// list and duplicates list, and the user list). Every record keeps a 16-bit
// position hint per list, its index modulo 32768, so that freeing a record can
// find its entry in a few probes instead of a search. Freed records are
// replaced by null entries; the owner compacts its list afterwards.
#pragma once

#include <cstdint>

struct TItemRec;

enum class ResultListId { Found = 0, User = 1, Duplicates = 2 };
inline constexpr int kResultListCount = 3;

// What the freeing code needs of a list; the windows that own the lists
// implement it.
class TResultList
{
public:
    virtual ~TResultList() = default;
    virtual int count() const = 0;
    virtual TItemRec *at(int index) const = 0;
    virtual void setNull(int index) = 0;   // replace by a null entry, keep the rest in place
    virtual void compact() = 0;            // drop null entries, renumber hints
};

// The hint a record stores for an entry at index.
inline int16_t PositionHint(int index) { return int16_t(index % 32768); }
int16_t &HintOf(TItemRec *rec, ResultListId list);

// Locates rec in list by its hint: probes hint, hint + 32768, ... inside the
// list. Returns the index, or -1 when not found. probes, when given, counts
// the entries looked at.
int FindByHint(const TResultList &list, const TItemRec *rec, int16_t hint, int *probes = nullptr);

// The program's lists; null while the window that owns one does not exist.
void RegisterResultList(ResultListId id, TResultList *list);
TResultList *ResultList(ResultListId id);

// Nulls rec's entries in every list it has a hint for and notes which lists
// changed. Only the user list for a catalog record (onlyUserList).
void RemoveFromResultLists(TItemRec *rec, bool onlyUserList = false);

// The "changed" notes of a batch of freeing: clear before, compact after.
void ClearResultListNotes();
// Compacts every list whose note is set, unless the program is shutting down.
void CompactChangedResultLists();
bool ResultListChanged(ResultListId id);

// Set when the main window closes: from then on freeing skips the lists.
void SetShuttingDown(bool on);
bool ShuttingDown();
