// The "User List" tool window over the program's TUserList: the list with
// its eight columns and header sorting, the commands on a toolbar and the
// context menu with their enabling rules, removing and clearing with their
// questions, "Stay On Top", the three-panel status bar and the refresh marks
// other windows set. Commands whose windows live elsewhere run through
// handlers the main window gives, and stay disabled without one.
#pragma once

#include "browser/UserListView.h"
#include "browser/Utils.h"

#include <QWidget>

#include <functional>
#include <map>
#include <vector>

class Prompter;
class QAction;
class QLabel;
class QMenu;
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

    // 1: texts or states changed; 2: also the content (the selection
    // changed, or entries came or went). Applied when idle.
    void markRefresh(int mark);
    int refreshMark() const { return m_mark; }
    void applyRefreshMark();

    void headerClicked(int column);
    void removeSelected();
    void clearList();

    QTreeView *listView() const { return m_view; }
    TUserListModel *model() const { return m_model; }
    QLabel *statusPanel(int panel) const { return m_panels[panel]; }
    const TUserListSort &sortState() const { return m_sort; }
    TItemRec *focusedRecord() const;
    std::vector<TItemRec *> selectedRecords() const;

    void updateCommands();
    void updateStatus();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createCommands();
    void run(const QString &name);
    void onContextMenu(const QPoint &pos);

    TUserList &m_list;
    Prompter &m_prompter;
    TUserListModel *m_model = nullptr;
    QTreeView *m_view = nullptr;
    QToolBar *m_toolbar = nullptr;
    QMenu *m_menu = nullptr;
    QLabel *m_panels[3] = {};
    std::map<QString, QAction *> m_actions;
    std::map<QString, THandler> m_handlers;
    std::function<void(const QString &)> m_statusSink;
    std::function<void()> m_changed;
    TUserListSort m_sort;
    bool m_archivesAsFolders = true;
    int m_mark = 0;
};
