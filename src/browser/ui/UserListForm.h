// The "User List" tool window over the program's TUserList: the list in
// four view styles with its eight columns and header sorting, the commands
// on a toolbar and the context menu with their enabling rules and keys,
// removing and clearing with their questions, "Stay On Top", the
// three-panel status bar and the refresh marks other windows set. Commands
// whose windows live elsewhere, and drops of items dragged from other
// windows, run through handlers the main window gives; a command stays
// disabled without one.
#pragma once

#include "browser/UserListView.h"
#include "browser/Utils.h"
#include "widgets/ui/ViewStyles.h"

#include <QFont>
#include <QWidget>

#include <array>
#include <functional>
#include <map>
#include <vector>

class Prompter;
class QAbstractItemView;
class QAction;
class QLabel;
class QKeyEvent;
class QListView;
class QMenu;
class QMimeData;
class QStackedWidget;
class QToolBar;
class QTreeView;
class TUserList;
class TUserListModel;

class TUserListForm : public QWidget
{
    Q_OBJECT
public:
    using THandler = std::function<void(TItemRec *focused, const std::vector<TItemRec *> &selected)>;

    TUserListForm(TUserList &list, Prompter &prompter, QWidget *parent = nullptr);
    ~TUserListForm() override;

    // Adds records not listed yet (null and duplicates are skipped), then
    // sorts, fits the columns and focuses the first row when none is.
    // Returns how many were added.
    int addRecords(const std::vector<TItemRec *> &records);
    // After the list changed underneath (additions, compaction).
    void refreshList();

    // A command by its object name ("BtnSetCat", "BtnTarget", ...).
    QAction *action(const QString &name) const;
    void setHandler(const QString &name, THandler handler);
    void setTextContext(const TItemTextContext &texts);
    void setArchivesAsFolders(bool on) { m_archivesAsFolders = on; }
    // Where "Clearing user list..." goes (the main window's status).
    void setStatusSink(std::function<void(const QString &)> sink) { m_statusSink = std::move(sink); }
    // After the list's content changed here (the main window's commands).
    void setChangedHook(std::function<void()> hook) { m_changed = std::move(hook); }
    // The main window's double-click option (0 "Nothing" .. 4 "View File"):
    // what a double click and Enter run on a row.
    void setDoubleClickChoice(int choice) { m_doubleClick = choice; }
    // Whether a drag's data may be dropped here (drop false) and, on the
    // drop, adds what it names (drop true); true when it was taken. Without
    // a handler nothing is taken.
    using TDropHandler = std::function<bool(const QMimeData *data, bool drop)>;
    void setDropHandler(TDropHandler handler) { m_drop = std::move(handler); }
    // The list's font, read each time the window becomes active (the main
    // list's font, as the settings give it).
    void setFontSource(std::function<QFont()> source);

    // 1: texts or states changed; 2: also the content (the selection
    // changed, or entries came or went). Applied when idle.
    void markRefresh(int mark);
    int refreshMark() const { return m_mark; }
    void applyRefreshMark();

    void headerClicked(int column);
    void removeSelected();
    void clearList();

    // The view of the current style, and both views.
    QAbstractItemView *listView() const;
    QTreeView *detailsView() const { return m_view; }
    QListView *iconView() const { return m_icons; }
    // vsIcons, vsSmallIcons, vsList or vsDetails; the selection and focus stay.
    void setViewStyle(int style);
    int viewStyle() const { return m_viewStyle; }
    // A double click or Enter on a row: the double-click option's command.
    void activateRow(const QModelIndex &index);
    TUserListModel *model() const { return m_model; }
    QLabel *statusPanel(int panel) const { return m_panels[panel]; }
    const TUserListSort &sortState() const { return m_sort; }
    TItemRec *focusedRecord() const;
    std::vector<TItemRec *> selectedRecords() const;

    void updateCommands();
    void updateStatus();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createCommands();
    void run(const QString &name);
    void onContextMenu(const QPoint &pos);
    bool viewKey(QKeyEvent *event);
    bool dragEvent(QEvent *event);

    TUserList &m_list;
    Prompter &m_prompter;
    TUserListModel *m_model = nullptr;
    QTreeView *m_view = nullptr;
    QListView *m_icons = nullptr;
    QStackedWidget *m_stack = nullptr;
    std::array<QAction *, 4> m_styleActions{};
    QToolBar *m_toolbar = nullptr;
    QMenu *m_menu = nullptr;
    QLabel *m_panels[3] = {};
    std::map<QString, QAction *> m_actions;
    std::map<QString, THandler> m_handlers;
    std::function<void(const QString &)> m_statusSink;
    std::function<void()> m_changed;
    TDropHandler m_drop;
    std::function<QFont()> m_font;
    int m_doubleClick = -1;
    int m_viewStyle = vsDetails;
    TUserListSort m_sort;
    bool m_archivesAsFolders = true;
    int m_mark = 0;
};
