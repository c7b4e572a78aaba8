// The results window of a compare or a check: the line saying what was
// compared, the "List Type:" combo and the tab strip at the bottom (kept in
// step) choosing the list shown, the list with its columns and sorting, the
// item commands on a toolbar and the list's context menu with their enabling
// rules, the four view styles, and a three-panel status bar. It mirrors a
// TCompareWork; the commands whose targets live elsewhere are run through
// handlers the caller gives, and stay disabled without one. A double click or
// Enter on a catalog item runs the command the main window's double-click
// option names.
#pragma once

#include "browser/Utils.h"
#include "compare/CompareList.h"
#include "widgets/ui/ViewStyles.h"

#include <QDialog>

#include <array>
#include <functional>
#include <map>
#include <vector>

class QAction;
class QComboBox;
class QAbstractItemView;
class QKeyEvent;
class QLabel;
class QListView;
class QMenu;
class QStackedWidget;
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
    // The main window's double-click option (0 "Nothing" ... 4 "View File";
    // DoubleClickCommand); until set, a double click does nothing.
    void setDoubleClickChoice(int choice) { m_doubleClick = choice; }
    // Runs the double-click option's command on the focused catalog item
    // when that command is enabled.
    void activateFocused();
    // The view style (TViewStyle); the selection and the focused row stay.
    void setViewStyle(int style);
    int viewStyle() const { return m_viewStyle; }
    // Where "Sorting N files, please wait..." goes while a sort runs (the main window's status).
    void setStatusSink(std::function<void(const QString &)> sink) { m_statusSink = std::move(sink); }
    // A click on a column header.
    void headerClicked(int column);

    QComboBox *itemsCombo() const { return m_combo; }
    QTabBar *tabSet() const { return m_tabs; }
    // The view shown: the details view or the icon view.
    QAbstractItemView *listView() const;
    QTreeView *detailsView() const { return m_view; }
    QListView *iconView() const { return m_icons; }
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
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool viewKey(QKeyEvent *event);

    TCompareWork &m_work;
    TCompareListModel *m_model = nullptr;
    QLabel *m_header = nullptr;
    QComboBox *m_combo = nullptr;
    QTabBar *m_tabs = nullptr;
    QTreeView *m_view = nullptr;
    QListView *m_icons = nullptr;
    QStackedWidget *m_stack = nullptr;
    std::array<QAction *, 4> m_styleActions = {};
    int m_viewStyle = vsDetails;
    QToolBar *m_toolbar = nullptr;
    QMenu *m_menu = nullptr;
    QLabel *m_panels[3] = {};
    std::map<TCompareCommand, QAction *> m_actions;
    std::map<TCompareCommand, THandler> m_handlers;
    int m_doubleClick = 0;
    std::function<void(const QString &)> m_statusSink;
    bool m_switching = false;
};
