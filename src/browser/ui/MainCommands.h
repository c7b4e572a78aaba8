// The main window's commands as one table. Each row is one command: the
// entry it makes in the menus (menu bar and context menus), its toolbar
// button, its caption and shortcuts, what it runs, and when it is enabled.
// Adding a command is adding a row to TMainForm::commandTable(); the window
// builds its actions, menus and toolbar from the rows and applies the
// enabling rules in updateCommands().
#pragma once

#include "widgets/ui/Icons.h"

#include <QKeySequence>

class TMainForm;

// The menus an entry shows in, as bits: a command may show in several (the
// view styles are in the View menu and the list's context menu).
enum TCommandMenu : unsigned {
    cmNone = 0,
    cmFile = 1u << 0,
    cmCatalog = 1u << 1,
    cmItems = 1u << 2,
    cmView = 1u << 3,
    cmSettings = 1u << 4,
    cmTreePopup = 1u << 5,   // the tree's context menu
    cmListPopup = 1u << 6,   // the item list's context menu
};

// Checkable menu entries of which one at a time is checked.
enum class TCommandGroup : quint8 {
    None,
    ViewStyle,   // the four view styles
    Arrange,     // the sort columns, in column order (the first four have the sort buttons)
};

enum class TCommandKind : quint8 {
    Action,
    RecentFiles,   // the submenu of recently used catalogs, filled as the list changes
};

struct TMainCommand {
    // Object name of the menu entry ("MenuOpen"); null: a toolbar button only.
    const char *name = nullptr;
    // The entry's text; null: set as the list changes (the Arrange entries).
    const char *caption = nullptr;
    // Up to two shortcuts, the first shown in the menu; Qt::Key_unknown: none.
    QKeyCombination keys[2] = {};
    unsigned menus = cmNone;
    // A separator above the entry in each menu where entries come before it.
    bool separatorBefore = false;
    // Object name of the toolbar button ("ButtonOpen") in the toolbar table
    // of the settings, which also gives its hint; null: no button.
    const char *button = nullptr;
    TAppImage icon = TAppImage::File;
    // The keys named in the button's hint when the options ask for them.
    const char *hintKeys = nullptr;
    // What the command does; null: its window comes later, the command stays
    // disabled.
    void (*run)(TMainForm &) = nullptr;
    // When the command is enabled, evaluated by updateCommands(); null: it
    // keeps the state it was made with (enabled when it runs anything).
    bool (*enabled)(const TMainForm &) = nullptr;
    bool checkable = false;
    TCommandGroup group = TCommandGroup::None;
    // Where the shortcut works (the views handle Backspace themselves).
    Qt::ShortcutContext context = Qt::WindowShortcut;
    TCommandKind kind = TCommandKind::Action;
};
