// The duplicates search's own rules: the 28 buckets by first letter, the
// compare of two candidates by the checked properties, the grouping of a
// bucket sorted by size into runs of equal items, and single copies (files of
// the chosen disks with no duplicate on any other disk).
#pragma once

#include "browser/ItemSort.h"
#include "search/SearchWalk.h"

#include <QByteArrayView>

#include <functional>
#include <vector>

struct TItemRec;

inline constexpr int kDupBuckets = 28;

// Whether any of the four properties is chosen; a duplicates search needs one.
bool DupPropertyChosen(const TDupSettings &settings);
QString MsgNoDupProperty();   // "Please select at least one criteria for duplicate files."
QString MsgNoDupPropertyCaption();   // "Error"

// The bucket of a name's first character: A-Z and a-z 0-25, digits 26, else 27.
int DupBucketOf(QByteArrayView name);

// Two candidates compared by the checked properties (a file and a folder:
// the file taken as the first). Disks by serial, label, compatible media
// types and capacity whatever is checked; a disk never equals anything else.
bool DupEqual(const TItemRec *a, const TItemRec *b, const TDupSettings &settings);

// Groups one bucket (sorted in place by the found list's "Item Size" order):
// each group's members are passed to onGroup in order, the pivot first. The
// sort may be stopped as SortItems says (stopKey, prompter); the rest of the
// bucket is then grouped as it lies.
void GroupDuplicates(std::vector<TItemRec *> &bucket, const TDupSettings &settings,
                     const std::function<void(const std::vector<TItemRec *> &group)> &onGroup,
                     const TStopKeyProbe &stopKey = {}, Prompter *prompter = nullptr);

// The duplicates search of walk (what TSearchWalk::runDuplicates does);
// groupStarts, when given, receives the found-list index of each group's
// first member. With settings.singleCopy it lists instead the files (and
// compressed files) of the scope's disks that have no duplicate on any other
// disk of the open catalogs, in the order they were collected; a copy on the
// same disk does not count, as it goes with the disk. Everything open is
// read for the comparison, but only the scope's files pass the name filter
// and are listed.
void RunDuplicateSearch(TSearchWalk &walk, const TSearchCriteria &filter, const TDupSettings &settings,
                        bool wholeScope, std::vector<int> *groupStarts = nullptr);
