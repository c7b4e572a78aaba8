// The user list: a scratch collection of catalog records (files, folders,
// disks and catalogs) gathered from anywhere, each record at most once, in
// display order. It lives only in memory. Every record keeps its index in
// UserListPos (modulo 32768, -1 when not listed), so freeing a record finds
// its entry in a few probes; freed records leave null entries that
// compaction drops. The list's window only mirrors this state.
#pragma once

#include "catalog/ResultLists.h"

#include <QString>

#include <functional>
#include <vector>

class TTreeNode;
struct TItemRec;

QString MsgRemoveFromUserListCaption();   // "Delete items"
QString MsgRemoveFromUserListText();      // "Remove selected item(s) from the user list?"
QString MsgClearUserListCaption();        // "Delete all items"
QString MsgClearUserListText();           // "Remove all items from the user list?"
QString MsgClearingUserList();            // "Clearing user list..."
QString UserListTotalText(int count);     // "Total items: " + count

class TUserList : public TResultList
{
public:
    TUserList();    // registers itself as the program's user list
    // Gives every listed record its hint back (not once the program shuts
    // down, when the records may be gone) and unregisters.
    ~TUserList() override;

    // TResultList.
    int count() const override { return int(m_items.size()); }
    TItemRec *at(int index) const override { return m_items[size_t(index)]; }
    void setNull(int index) override;
    void compact() override { compactFrom(0); }

    // Appends a record that is not listed yet; false (nothing changes) when
    // it is, or for null. When a record's chain is being scanned by a search
    // (keepHook set), the hook is told the node that owns it, so the search
    // keeps that file list in memory.
    bool add(TItemRec *rec);
    void setKeepHook(std::function<void(const TTreeNode *owner)> hook) { m_keep = std::move(hook); }
    // Removes the entries at these indexes (any order, duplicates ignored):
    // their hints become -1; the list is compacted from the first one.
    // Returns the first removed index, -1 when none.
    int remove(const std::vector<int> &indexes);
    // Every hint to -1, then empty.
    void clear();
    // Drops null entries from start on and renumbers the hints of what moved.
    void compactFrom(int start);
    // Replaces the order (a sort of items()); hints renumbered.
    void reorder(std::vector<TItemRec *> order);
    const std::vector<TItemRec *> &items() const { return m_items; }
    // Called after compaction dropped entries (the window's row count and status).
    void setCompactedHook(std::function<void()> hook) { m_compacted = std::move(hook); }

private:
    std::vector<TItemRec *> m_items;
    std::function<void(const TTreeNode *)> m_keep;
    std::function<void()> m_compacted;
};
