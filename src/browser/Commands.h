// Which item the main window's commands act on and which commands are
// enabled for it, decided from the window's state without widgets: the
// window describes its selection and focus in a TCommandInputs, and mirrors
// the TCommandStates it gets back onto its actions.
#pragma once

#include "catalog/CatalogRec.h"

#include <QString>

#include <functional>
#include <vector>

class TTreeNode;

// Where a command came from.
enum class TCommandSender {
    TreeMenu,   // the tree's context menu
    ListMenu,   // the list's context menu
    Global,     // a toolbar button, a main-menu entry or a key
    StatusBar,  // a click on the status bar's item summary
};

// The item a command acts on: a node, and for a file row also the file.
struct TCurrentItem {
    TTreeNode *node = nullptr;
    TFileRec *file = nullptr;
    bool treeSide = true;

    // The record the item stands for: the file, else the node's record.
    TItemRec *record() const;
    bool valid() const { return node != nullptr; }
};

// The item a record of a list stands for (a file with the node of its
// folder, anything else as its node), as the list side gives it.
TCurrentItem ItemOfRecord(TItemRec *rec);

// The commands that act on an item's file on its medium.
enum class TFileAction { View, Launch, Explorer, ExtractTo };

// The window's selection and focus.
struct TFocusState {
    TTreeNode *selectedNode = nullptr;     // the tree's selected node
    TItemRec *focusedRow = nullptr;        // the list's focused row; null when none
    const TItemRec *prevFolderRow = nullptr;
    bool treeHasFocus = false;
    bool listHasFocus = false;
};

// The tree side is taken for the tree's menu, and for global commands when
// no list row is focused or the tree has the focus; the list's menu always
// takes the list side. The status bar's summary means the item it describes:
// the focused row while the list has the focus, else the selected node. The
// "previous folder" row stands for the parent of
// the selected node; a file row gives the selected node and the file; a
// folder or disk row the node of its record.
TCurrentItem CurrentItem(TCommandSender sender, const TFocusState &focus);

// Bits of the mask of UpdateCommands.
enum TCommandMask : unsigned {
    cmCatalogCommands = 1,
    cmItemCommands = 2,
    cmSortControls = 4,
    cmViewStyles = 8,
    cmAllCommands = 255,
};

// What the enabling rules look at.
struct TCommandInputs {
    TFocusState focus;
    std::vector<TItemRec *> selectedRows;   // the list's selected rows
    int catalogsOpen = 0;
    bool normalSearchRunning = false;
    bool busy = false;                      // the window is busy: nothing changes
    int listRows = 0;
    int sortColumn = 0;                     // the current sort column (0-5)
    int viewStyle = 0;
    // Whether a record is in the user list already; unset: none is.
    std::function<bool(const TItemRec *)> inUserList;
};

struct TCommandStates {
    // mask 1
    bool catalogCommands = false;   // add disk, report, user list, properties, save as, close, ...
    bool hideSearchWindow = false;
    bool scanDuplicates = false;
    bool renameEnabled = false;
    QString renameCaption = QStringLiteral("&Rename Disk");
    // mask 2
    bool back = false, exportDescriptions = false, openExplorer = false, compare = false, launch = false,
         view = false, addToUserList = false, setCategory = false, extract = false;
    // mask 4
    bool sortEnabled = false;
    int pressedSortButton = -1;     // -1: none (columns 4 and 5 have no button)
    // mask 8
    bool viewStylesEnabled = false;
    int checkedViewStyle = 0;
};

// The states of the commands the mask names, the others as in previous.
// While the window is busy nothing changes.
TCommandStates UpdateCommands(unsigned mask, const TCommandInputs &in, const TCommandStates &previous = {});

// Whether a record is a member of a compressed file, or a compressed file
// shown as a folder, whose type lets single files be taken out.
bool InsideExtractableArchive(const TItemRec *rec);

// The item commands that a double click, Enter or a context menu's default
// entry run in the windows that list items (found list, user list).
enum class TRowCommand { None, Properties, Explorer, Launch, View };
// What a double click (or Enter) runs on rec by the main window's
// double-click option (0 "Nothing", 1 properties, 2 explorer, 3 launch,
// 4 view; anything else: nothing): "Launch File" on anything but a file opens
// the explorer instead, "View File" on anything but a file or a
// compressed-file folder shows the properties.
TRowCommand DoubleClickCommand(int choice, const TItemRec *rec);
// The command of the context menu's default entry by the same option: the
// properties, the explorer, or "Launch File" for an item that can be
// launched (the explorer for one that cannot); None for the other choices.
TRowCommand DefaultMenuCommand(int choice, const TItemRec *rec);
// The object name the item windows give a row command's button
// ("BtnProperties", "BtnExplorer", "BtnLaunch", "BtnView"); null for None.
const char *RowCommandButton(TRowCommand command);
