// The one ordering of catalog items that every list of the program uses (the
// item list, the found lists, the user list, the disk selection list, a tree
// node's children): the compare function over records, the stable sort run
// that the user may stop, and reversing.
#pragma once

#include "browser/Utils.h"
#include "catalog/CatalogRec.h"
#include "platform/Collation.h"
#include "platform/Prompter.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

// What a compare depends on, set from the list being sorted.
struct TCompareContext {
    int column = 1;                        // 0 name, 1 extension / media type, 2 size / label, ...
    bool reverse = false;
    bool archivesAsFolders = true;         // "Sort archive files as folders (default as files)"
    const TItemRec *prevFolder = nullptr;  // the "previous folder" row: always first
    TItemTextContext texts;                // for the columns compared by their item texts
};

// Compares records for one sort run. Names and labels follow the user's
// locale without regard to case (TCollation); the key of each text is made
// once per record and kept for the run: a byte key where the locale gives
// one (ASCII texts, every text in the C locale), else (and for texts with a
// byte key met beside such a text) the collator's key, so a large list
// sorts quickly.
class TItemComparer
{
public:
    explicit TItemComparer(const TCompareContext &context);
    ~TItemComparer();
    // Negative, zero or positive. Any failure while comparing yields 0.
    int compare(const TItemRec *a, const TItemRec *b);
    const TCompareContext &context() const { return m_context; }

    // Numbers the records of a list 0 to n-1 for compareAt and entryAt, so
    // that a sort run reaches their keys without a lookup. Forgets earlier
    // numbers. The list must outlive the comparer's use of those numbers.
    void adopt(const std::vector<TItemRec *> &items);
    // compare() of the records numbered a and b by adopt().
    int compareAt(uint32_t a, uint32_t b);

    // A record as a sort run moves it: its number, and what decides most
    // compares without reaching the record or its key (its rank among the
    // kinds, the first bytes of its key or the field compared).
    struct Entry {
        uint64_t head = 0;    // column 0 the name's key, 1 the extension's (first 8 bytes, big-endian); 2-5 the field
        uint64_t head2 = 0;   // column 1: the name's key
        uint32_t nameKey = 0;         // columns 0 and 1: the name's key in the arena (with kHead2 in column 1)
        uint32_t nameKeyLength = 0;
        uint32_t id = 0;
        uint8_t rank = 0;     // the order of kinds, archives as files when so set
        uint8_t flags = 0;    // Entry bits below
        static constexpr uint8_t kHead = 1, kHeadWhole = 2, kHead2 = 4, kHead2Whole = 8, kPrevious = 16;
    };
    // The entry of the record numbered id by adopt().
    Entry entryAt(uint32_t id);
    // compareAt(a.id, b.id) < 0, mostly without reaching the records.
    bool less(const Entry &a, const Entry &b);

private:
    // kColumn: the item text of a column compared by its text (location,
    // category, ...), which only ever has a full key.
    enum Slot : uint8_t { kName, kExtension, kLabel, kColumn, kSlots };
    // Where a text's ASCII key lies in m_arena; kUnmade before its first
    // use, length kFull when the text has a full key instead.
    struct SlotKey {
        static constexpr uint32_t kUnmade = UINT32_MAX;
        static constexpr uint32_t kFull = UINT32_MAX;
        uint32_t offset = kUnmade;
        uint32_t length = 0;
    };

    static QByteArrayView slotBytes(const TItemRec *rec, Slot slot);
    uint32_t idOf(const TItemRec *rec);
    int compareIds(uint32_t a, uint32_t b);
    int compareSameKind(uint32_t a, uint32_t b);
    int compareAsFiles(uint32_t a, uint32_t b);
    int compareTexts(uint32_t a, uint32_t b, Slot slot);
    SlotKey slotKey(uint32_t id, Slot slot);
    const TCollationKey &fullKey(uint32_t id, Slot slot);

    TCompareContext m_context;
    TCollation m_collation;
    std::vector<const TItemRec *> m_records;              // by number
    std::unordered_map<const TItemRec *, uint32_t> m_ids;  // numbers given by compare()
    std::array<std::vector<SlotKey>, kSlots> m_slots;     // by number, grown on first use
    std::string m_arena;                                  // the ASCII keys, one after another
    std::array<std::vector<uint32_t>, kSlots> m_fullIndex;   // by number: where in m_fullKeys, or kNoFullKey
    std::deque<TCollationKey> m_fullKeys;                    // full keys as made (never moved)
    static constexpr uint32_t kNoFullKey = UINT32_MAX;
};

// One compare with a fresh comparer (no keys kept).
int CompareItems(const TItemRec *a, const TItemRec *b, const TCompareContext &context);

// Asked before each step of a sort: true when the user pressed the key that
// stops it (Esc) after the sort began; a key still held from the command that
// started the sort does not count. Empty: never.
using TStopKeyProbe = std::function<bool()>;

// Sorts the list stably with the compare of context: equal records keep
// their order. When stopKey reports the key down, asks "Sorting was
// temporarily halted by user. Would you like to cancel sort and proceed with
// partial results?"; Yes stops with the front of the list sorted and the
// rest as it was. Returns false when stopped that way.
bool SortItems(std::vector<TItemRec *> &items, const TCompareContext &context, const TStopKeyProbe &stopKey = {},
               Prompter *prompter = nullptr);

// Reverses the list in place; a previous-folder row at the front stays there.
void ReverseItems(std::vector<TItemRec *> &items, const TItemRec *prevFolder);
