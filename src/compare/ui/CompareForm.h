// The results window of a compare or a check: the line saying what was
// compared, the "List Type:" combo and the tab strip at the bottom (kept in
// step) choosing the list shown, the list with its columns and sorting, the
// item commands on a toolbar and the list's context menu with their enabling
// rules, and a three-panel status bar. It mirrors a TCompareWork; the
// commands whose targets live elsewhere are run through handlers the caller
// gives, and stay disabled without one.
#pragma once

#include "browser/Utils.h"
#include "compare/CompareList.h"

#include <QDialog>

#include <functional>
#include <map>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QTabBar;
class QToolBar;
class QTreeView;
class TCompareListModel;

class TCompareForm : public QDialog
{
    Q_OBJECT
public:
    // What a command does with the focused record and the selected ones.
    using THandler = std::function<void(TItemRec *focused, const std::vector<TItemRec *> &selected)>;

    // work stays the caller's and outlives the window; letter is the drive
    // compared (media mode), sourceFolder the folder checked (files mode).
    TCompareForm(TCompareWork &work, QChar letter, const QString &sourceFolder, const TItemTextContext &texts,
                 QWidget *parent = nullptr);
    ~TCompareForm() override;

    // Shows list (wrapping around at both ends): the combo, the tabs and the list follow.
    void showList(int list);
    int shownList() const;
    // Ctrl+Page Up and Ctrl+Page Down.
    void showNextList();
    void showPreviousList();

    // The command's handler; a command without one stays disabled.
    // Locate closes the window after its handler ran.
    void setHandler(TCompareCommand command, THandler handler);
    // The double-click action on a catalog item (none: a double click does nothing).
    void setActivateHandler(THandler handler) { m_activate = std::move(handler); }
    // Where "Sorting N files, please wait..." goes while a sort runs (the main window's status).
    void setStatusSink(std::function<void(const QString &)> sink) { m_statusSink = std::move(sink); }
    // A click on a column header.
    void headerClicked(int column);

    QComboBox *itemsCombo() const { return m_combo; }
    QTabBar *tabSet() const { return m_tabs; }
    QTreeView *listView() const { return m_view; }
    TCompareListModel *model() const { return m_model; }
    QAction *action(TCompareCommand command) const;
    QLabel *headerLabel() const { return m_header; }
    QLabel *statusPanel(int panel) const { return m_panels[panel]; }
    QMenu *contextMenu() const { return m_menu; }

    // The catalog records selected and focused in the list shown.
    std::vector<TItemRec *> selectedRecords() const;
    TItemRec *focusedRecord() const;

    void updateCommands();
    void updateStatus();

private:
    void createCommands();
    void fillListTexts();
    void run(TCompareCommand command);
    void onContextMenu(const QPoint &pos);

    TCompareWork &m_work;
    TCompareListModel *m_model = nullptr;
    QLabel *m_header = nullptr;
    QComboBox *m_combo = nullptr;
    QTabBar *m_tabs = nullptr;
    QTreeView *m_view = nullptr;
    QToolBar *m_toolbar = nullptr;
    QMenu *m_menu = nullptr;
    QLabel *m_panels[3] = {};
    std::map<TCompareCommand, QAction *> m_actions;
    std::map<TCompareCommand, THandler> m_handlers;
    THandler m_activate;
    std::function<void(const QString &)> m_statusSink;
    bool m_switching = false;
};
