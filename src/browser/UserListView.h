// What the user list window shows and how it sorts: its eight columns, the
// item text of each column per record kind, and the header click that sorts
// or reverses the list. GUI-free; the window asks for these per row.
#pragma once

#include <QString>
#include <QStringList>

class TUserList;
struct TItemRec;

constexpr int kUserListColumns = 8;

// "File, Folder or Disk", "Ext", "Item Size", "Item Date", "Location",
// "Media Type", "Folder", "Description".
QStringList UserListColumnCaptions();
// The ItemText kind of a column for a record (disks have their own); -1: empty.
int UserListTextKind(int column, const TItemRec *rec);
// The CompareItems column of a column for a record's kind; 255: none.
int UserListCompareColumn(int column, bool disk);

// The order the list is kept in.
struct TUserListSort {
    int column = 0;
    bool descending = false;
};

// Sorts the whole list by sort (after additions): disks first, each kind by
// its own key, reversed when descending. Hints renumbered.
void SortUserList(TUserList &list, const TUserListSort &sort, bool archivesAsFolders);
// A header click: the sorted column reverses the list and toggles the
// direction; another column becomes the sort column, ascending.
void ClickUserListColumn(TUserList &list, TUserListSort &sort, int column, bool archivesAsFolders);
