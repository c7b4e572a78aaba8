// The one ordering of catalog items that every list of the program uses (the
// item list, the found lists, the user list, the disk selection list, a tree
// node's children): the compare function over records, the stable sort run
// that the user may stop, and reversing.
#pragma once

#include "browser/Utils.h"
#include "catalog/CatalogRec.h"
#include "platform/Prompter.h"

#include <QCollator>
#include <QCollatorSortKey>

#include <functional>
#include <memory>
#include <optional>
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
// locale without regard to case; their collation keys are made once per
// record and kept for the run, so a large list sorts quickly.
class TItemComparer
{
public:
    explicit TItemComparer(const TCompareContext &context);
    ~TItemComparer();
    // Negative, zero or positive. Any failure while comparing yields 0.
    int compare(const TItemRec *a, const TItemRec *b);
    const TCompareContext &context() const { return m_context; }

private:
    struct Keys;
    const Keys &keysOf(const TItemRec *rec);
    int compareSameKind(const TItemRec *a, const TItemRec *b);
    int compareAsFiles(const TItemRec *a, const TItemRec *b);
    int localeCompare(const QString &a, const QString &b);

    TCompareContext m_context;
    QCollator m_collator;
    std::unordered_map<const TItemRec *, std::unique_ptr<Keys>> m_keys;
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
