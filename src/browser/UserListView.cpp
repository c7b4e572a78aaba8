// The user list's columns and sorting.
#include "browser/UserListView.h"

#include "browser/ItemSort.h"
#include "browser/Utils.h"
#include "catalog/CatalogRec.h"
#include "catalog/UserList.h"

#include <algorithm>

namespace {

// Per column: the text kind and the compare column for files and folders,
// then for disks.
struct TColumn {
    int itemText, itemCompare, diskText, diskCompare;
};
constexpr TColumn kColumns[kUserListColumns] = {
    {itName, 0, itName, 0},                 // name / node text
    {itExtension, 1, -1, 255},              // extension
    {itSize, 2, itExtra11, 3},              // size / capacity
    {itDate, 3, itAttributes, 5},           // modified / scanned
    {itDiskName, 7, itExtra10, 10},         // location / its catalog
    {itMediaType, 8, itExtension, 1},       // media type
    {itPath, 9, -1, 255},                   // folder
    {itDescription, 6, itDescription, 7},   // description
};

bool isDisk(const TItemRec *rec) { return rec && ItemKind(rec->KindFlags) == rkDisk; }

} // namespace

QStringList UserListColumnCaptions()
{
    return {QStringLiteral("File, Folder or Disk"), QStringLiteral("Ext"),    QStringLiteral("Item Size"),
            QStringLiteral("Item Date"),            QStringLiteral("Location"), QStringLiteral("Media Type"),
            QStringLiteral("Folder"),               QStringLiteral("Description")};
}

int UserListTextKind(int column, const TItemRec *rec)
{
    if (column < 0 || column >= kUserListColumns || !rec)
        return -1;
    return isDisk(rec) ? kColumns[column].diskText : kColumns[column].itemText;
}

int UserListCompareColumn(int column, bool disk)
{
    if (column < 0 || column >= kUserListColumns)
        return 255;
    return disk ? kColumns[column].diskCompare : kColumns[column].itemCompare;
}

void SortUserList(TUserList &list, const TUserListSort &sort, bool archivesAsFolders)
{
    std::vector<TItemRec *> disks, others;
    for (TItemRec *rec : list.items())
        if (rec)
            (isDisk(rec) ? disks : others).push_back(rec);
    TCompareContext context;
    context.archivesAsFolders = archivesAsFolders;
    context.column = UserListCompareColumn(sort.column, true);
    SortItems(disks, context);
    context.column = UserListCompareColumn(sort.column, false);
    SortItems(others, context);
    disks.insert(disks.end(), others.begin(), others.end());
    if (sort.descending)
        ReverseItems(disks, nullptr);
    list.reorder(std::move(disks));
}

void ClickUserListColumn(TUserList &list, TUserListSort &sort, int column, bool archivesAsFolders)
{
    if (column < 0 || column >= kUserListColumns)
        return;
    if (sort.column == column) {
        std::vector<TItemRec *> items = list.items();
        ReverseItems(items, nullptr);
        list.reorder(std::move(items));
        sort.descending = !sort.descending;
        return;
    }
    sort.column = column;
    sort.descending = false;
    SortUserList(list, sort, archivesAsFolders);
}
