// The main window's two compare commands as whole runs: "Compare Disk or
// Folder to Media" (confirmation, the medium, the progress window, the
// compare, then "No changes detected" or the results window) and "Compare
// Files to Catalog" (the dialog, the progress window, the check, then "No
// files found" or the results window). The main window gives what they
// need through a host, so the windows here never reach back into it.
#pragma once

#include "browser/Commands.h"

#include <QString>

#include <functional>
#include <vector>

class Prompter;
class QWidget;
class Registry;
class TDrives;
class TForest;
class TOptions;
class TTreeNode;
struct TItemRec;

struct TCompareCommandHost {
    QWidget *parent = nullptr;
    TForest *forest = nullptr;
    TDrives *drives = nullptr;
    Prompter *prompter = nullptr;
    const TOptions *options = nullptr;
    // Where the results window's placement is kept ("CompareWndPos"); null: nowhere.
    Registry *registry = nullptr;
    // The main window's status text while the work runs; empty: back to normal.
    std::function<void(const QString &)> status;
    // "Locate in Catalog": shows a record in the main window.
    std::function<void(TItemRec *)> locate;
    // "Set Category and Flags" and "Add to User List" for the selected records.
    std::function<void(const std::vector<TItemRec *> &)> setCategories;
    std::function<void(const std::vector<TItemRec *> &)> addToUserList;
    // "Item Properties" of the focused record.
    std::function<void(TItemRec *)> properties;
    // "Open in Explorer", "Launch File", "View File" on the focused record and
    // "Extract To..." on the selected ones.
    std::function<void(TFileAction, TItemRec *, const std::vector<TItemRec *> &)> fileAction;
    // The main window's double-click option, which decides what a double
    // click or Enter runs on a catalog item (0: nothing).
    int doubleClick = 0;
    // Runs just before the results window is shown (tests look at it then);
    // the window is given as its base, a TCompareForm.
    std::function<void(QWidget *)> resultsShown;
};

// "Compare Disk or Folder to Media" for node (a disk, or a folder that is
// not a compressed file; CompareTargetNode picks it). Every outcome ends in a
// message or the results window, except a cancel.
void RunCompareToMediaCommand(const TCompareCommandHost &host, TTreeNode *node);
// "Compare &Files to Catalog"; selected is the main tree's selected node.
void RunCheckFilesCommand(const TCompareCommandHost &host, const TTreeNode *selected);
