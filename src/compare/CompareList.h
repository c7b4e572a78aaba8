// The lists of a comparison as the compare window shows them, without the
// window: the columns and their cell texts, the window's own order for a
// column (stable, no kind order), the status bar's summaries, the header
// line, and which item commands a list and a selection allow.
#pragma once

#include "browser/Utils.h"
#include "compare/CompareToMedia.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class TTreeNode;

// The columns of the compare list.
enum TCompareColumn : int {
    ccName = 0, ccExt, ccSize, ccDate, ccMediaName, ccFolder, ccDescription, kCompareColumns
};
// "File or Folder", "Ext", "Item Size", "Item Date", "Media Name", "Folder", "Description".
QStringList CompareColumnCaptions();

// The text of a cell of row in list of work; empty for a row or column out of range.
QString CompareCellText(const TCompareWork &work, int list, int64_t row, int column, const TItemTextContext &context);
// The catalog record of a row of a catalog list (lists 1 and up); null for
// the new files and out of range.
TItemRec *CompareRecordAt(const TCompareWork &work, int list, int64_t row);
// A new file of list 0; null out of range.
const TMediaFileEntry *CompareNewFileAt(const TCompareWork &work, int64_t row);

// Sorts list by column with the window's comparison, stably: sizes by bytes,
// dates by date, the description column and beyond not at all, the other
// columns by their texts (locale order, case ignored). The permutation
// applied (new row -> old row) is returned so that a view keeps its
// selection on its rows.
std::vector<int64_t> SortCompareList(TCompareWork &work, int list, int column, const TItemTextContext &context);
// Reverses list; returns the permutation as SortCompareList does.
std::vector<int64_t> ReverseCompareList(TCompareWork &work, int list);

// The status bar's texts. A new file: name + " (file), " + size + ", " + date.
QString NewFileSummary(const TMediaFileEntry &entry, const TItemTextContext &context);
// "Selected: n file(s), " + total size of new files; empty for none.
QString NewFilesSelectionSummary(const std::vector<const TMediaFileEntry *> &selected);
// "Total files: " + count.
QString CompareTotalText(int64_t count);

// The line above the list. Media mode: "Comparing folder "NAME" in catalog
// with the same folder on drive X:" for a folder, "Comparing WORD "NAME" in
// catalog with contents of drive X:" for a disk. Files mode: "Checking if
// files at "FOLDER" are present in selected catalogs or disks:".
QString CompareHeaderText(const TCompareWork &work, QChar letter, const QString &sourceFolder);

// The item commands of the compare window.
enum class TCompareCommand {
    Locate, EditDesc, Properties, SetCategory, Explorer, Launch, Extract, View, AddToUserList, Report
};
// Whether a command may act on the selection (focused: the focused record,
// selected: the selected records) in list of work. They act on catalog
// records only; on the deleted files the commands that need the medium do
// not.
bool CompareCommandAllowed(TCompareCommand command, const TCompareWork &work, int list, const TItemRec *focused,
                           const std::vector<TItemRec *> &selected);
// The command a double click or Enter runs on rec by the main window's
// double-click option (DoubleClickCommand's rule); nothing for "Nothing",
// an unknown choice or no record.
std::optional<TCompareCommand> CompareDoubleClickCommand(int choice, const TItemRec *rec);

// The item a main window's compare command compares: rec (the focused list
// item, or the tree's selected node's record), its folder for a compressed
// file, the folder of a file; the parent of selected for the list's row that
// leads one level up (prevFolderRow). Null when that is neither a disk nor a
// folder.
TTreeNode *CompareTargetNode(TItemRec *rec, TTreeNode *selected, bool prevFolderRow);
