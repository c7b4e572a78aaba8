// The texts every item list and report shows for a record: sizes with units,
// byte counts, dates and times in the user's formats, the first line of a
// description, the column texts of each record kind, and the one-line
// summaries of the status bar. GUI-free; the windows ask for these per row.
#pragma once

#include "catalog/CatalogRec.h"
#include "platform/ByteTotals.h"

#include <QString>

#include <cstdint>
#include <vector>

// Text kinds of ItemText (the main list's column indexes, and beyond).
enum TItemTextKind : int {
    itName = 0, itExtension = 1, itSize = 2, itDate = 3, itTime = 4, itAttributes = 5, itDescription = 6,
    itDiskName = 7, itMediaType = 8, itPath = 9, itExtra10 = 10, itExtra11 = 11, itExtra12 = 12,
};

// What the texts depend on besides the record.
struct TItemTextContext {
    bool formattedSizes = true;            // "Display formated sizes ..." (FormatCount)
    const TItemRec *prevFolder = nullptr;  // the "previous folder" row's record, if any
};

// A size as a short text with a unit: "0 B", "1023 B", "1.5 kB", "117 MB".
// Fractions are cut, never rounded; at most four characters before the unit.
QString FormatSize(float bytes);
// The text of the size columns: FormatSize, or the full number with
// thousands separators when formatted sizes are off.
QString FormatCount(int64_t bytes, bool formatted);

// The user's short date format and long time format (without a time zone).
QString ShortDateText(uint32_t packed);
QString LongTimeText(uint32_t packed);
// A disk's update time: short date, plus ", " and the short time when it has
// a time of day; empty for 0, "(unknown)" when it cannot be shown.
QString UpdateTimeText(double updated);

// The first line of a description: leading line breaks dropped, cut at the
// first line break or after 69 characters, " (more...)" when anything was cut.
QString DescFirstLine(const char *desc);
// A description as an item's tool-tip: lines wrapped at 80 characters (at a
// space when there is one), at most 15 lines, and "\r\n(more...)" after a cut
// text; lines joined with CR LF. Empty for an empty description.
QString DescriptionTip(const QString &desc);
// The text after the last "." of a name (stored bytes), without it, as the
// name shows it; empty when none.
QString ExtensionOf(QByteArrayView name);

// Whether a record is one the file commands launch or view: a file on its
// medium, a member of a compressed file of a kind that can be extracted, or
// a compressed file shown as a folder.
bool ItemCanBeLaunched(const TItemRec *rec);

// The text of a record for a text kind; forReport returns whole descriptions.
QString ItemText(const TItemRec *rec, int kind, bool forReport, const TItemTextContext &context = {});
// The status bar's one-line description of a record. A folder's child level
// is read from its catalog when needed (a failure leaves the counts out).
QString ItemSummary(TItemRec *rec, const TItemTextContext &context = {});
// "Selected: n item(s), size" over the records (the previous-folder row not
// counted); empty when nothing counts.
QString SelectionSummary(const std::vector<TItemRec *> &selected, const TItemTextContext &context = {});
