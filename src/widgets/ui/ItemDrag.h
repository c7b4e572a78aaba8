// What a drag of catalog items says about where it came from. Every item
// list that starts drags marks its drag data with its window, so a window
// that takes the drop (the user list) can run that source's own command on
// the source's own selection instead of trusting addresses carried in the
// data. The marks mean something only inside this process.
#pragma once

#include <QString>

class QMimeData;

// The windows whose item drags carry a mark.
enum class TDragSource : int {
    None = 0,
    MainTree,      // the main window's catalog tree
    MainList,      // the main window's item list
    FoundList,     // the search window's found list
};

// The format of the mark.
QString ItemDragMimeType();
// Marks drag data with its source (data may be null: nothing happens).
void SetDragSource(QMimeData *data, TDragSource source);
// The source a drag's data names; None for data without a mark of this
// process or with one it does not know.
TDragSource DragSourceOf(const QMimeData *data);
