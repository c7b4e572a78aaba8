// The "Limit Search" page's tree: one node per open catalog that has disks,
// one child per disk, with the main tree's texts and icons and a state image
// (excluded, included, partly included) that mirrors the records' rfInSearch.
// A click on the state image or the space bar toggles a node.
#pragma once

#include "search/Scope.h"

#include <QTreeWidget>

#include <functional>

class TForest;
class TTreeNode;

class TScopeTree : public QTreeWidget
{
    Q_OBJECT
public:
    explicit TScopeTree(TForest &forest, QWidget *parent = nullptr);

    // Rebuilds the nodes from the forest (the records' choice refreshed).
    void rebuild();
    // Forgets every node at once (a catalog or disk is going away).
    void forget();
    // All nodes shown included for one search, the records untouched.
    void showEntireScope();
    // Locked while a search runs: clicks change nothing.
    void setLocked(bool locked) { m_locked = locked; }
    bool locked() const { return m_locked; }
    // The state image shown for a catalog or disk node; 0 when not shown.
    int stateOf(const TTreeNode *node) const;
    QTreeWidgetItem *itemOf(const TTreeNode *node) const;
    // Toggles a node as a click on its state image does.
    void toggle(TTreeNode *node);

    static TTreeNode *nodeOf(const QTreeWidgetItem *item);

    // Where the states live: the records' rfInSearch (the search's choice)
    // unless a window with a choice of its own gives its functions here,
    // before rebuild(). stateOf answers a ScopeState.
    struct TStateSource {
        std::function<int(const TTreeNode *)> stateOf;
        std::function<void(TTreeNode *)> toggle;
    };
    void setStateSource(TStateSource source) { m_source = std::move(source); }
    // Shows the states again (after the owner of the choice changed it).
    void refreshStates() { showStates(); }

signals:
    // The choice changed (the window updates "Include All" / "Exclude All").
    void scopeChanged();

private:
    void onItemChanged(QTreeWidgetItem *item, int column);
    void showStates();
    void setState(QTreeWidgetItem *item, int state);

    TForest &m_forest;
    bool m_locked = false;
    bool m_updating = false;
    bool m_showingAll = false;   // showEntireScope is on show
    TStateSource m_source;
};
