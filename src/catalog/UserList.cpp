// The user list's entries and their position hints.
#include "catalog/UserList.h"

#include "catalog/CatalogRec.h"

#include <algorithm>

QString MsgRemoveFromUserListCaption() { return QStringLiteral("Delete items"); }
QString MsgRemoveFromUserListText() { return QStringLiteral("Remove selected item(s) from the user list?"); }
QString MsgClearUserListCaption() { return QStringLiteral("Delete all items"); }
QString MsgClearUserListText() { return QStringLiteral("Remove all items from the user list?"); }
QString MsgClearingUserList() { return QStringLiteral("Clearing user list..."); }
QString UserListTotalText(int count) { return QStringLiteral("Total items: %1").arg(count); }

TUserList::TUserList()
{
    RegisterResultList(ResultListId::User, this);
}

TUserList::~TUserList()
{
    // Once the program shuts down, records are freed without the lists
    // hearing of it: the entries may point at freed memory then.
    if (!ShuttingDown())
        clear();
    if (ResultList(ResultListId::User) == this)
        RegisterResultList(ResultListId::User, nullptr);
}

void TUserList::setNull(int index)
{
    if (index < 0 || index >= count())
        return;
    if (TItemRec *rec = m_items[size_t(index)])
        rec->UserListPos = -1;
    m_items[size_t(index)] = nullptr;
}

bool TUserList::add(TItemRec *rec)
{
    if (!rec || rec->UserListPos >= 0)
        return false;
    rec->UserListPos = PositionHint(count());
    m_items.push_back(rec);
    // A file's node is the folder or disk whose chain holds it.
    if (m_keep && ItemKind(rec->KindFlags) == rkFile)
        m_keep(rec->Node);
    return true;
}

int TUserList::remove(const std::vector<int> &indexes)
{
    int first = -1;
    for (const int index : indexes) {
        if (index < 0 || index >= count() || !m_items[size_t(index)])
            continue;
        setNull(index);
        if (first < 0 || index < first)
            first = index;
    }
    if (first >= 0)
        compactFrom(first);
    return first;
}

void TUserList::clear()
{
    for (TItemRec *rec : m_items)
        if (rec)
            rec->UserListPos = -1;
    m_items.clear();
}

void TUserList::compactFrom(int start)
{
    if (start < 0)
        start = 0;
    size_t to = size_t(std::min(start, count()));
    const size_t before = m_items.size();
    for (size_t from = to; from < m_items.size(); ++from) {
        TItemRec *rec = m_items[from];
        if (!rec)
            continue;
        m_items[to] = rec;
        rec->UserListPos = PositionHint(int(to));
        ++to;
    }
    m_items.resize(to);
    if (m_items.size() != before && m_compacted)
        m_compacted();
}

void TUserList::reorder(std::vector<TItemRec *> order)
{
    m_items = std::move(order);
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i])
            m_items[i]->UserListPos = PositionHint(int(i));
}
