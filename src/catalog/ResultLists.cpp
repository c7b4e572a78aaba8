// Position hints and the registry of the three result lists.
#include "catalog/ResultLists.h"

#include "catalog/CatalogRec.h"

namespace {
TResultList *g_lists[kResultListCount] = {nullptr, nullptr, nullptr};
bool g_changed[kResultListCount] = {false, false, false};
bool g_shuttingDown = false;
}

int16_t &HintOf(TItemRec *rec, ResultListId list)
{
    switch (list) {
    case ResultListId::Found:
        return rec->SearchListPos;
    case ResultListId::User:
        return rec->UserListPos;
    case ResultListId::Duplicates:
        break;
    }
    return rec->DupListPos;
}

int FindByHint(const TResultList &list, const TItemRec *rec, int16_t hint, int *probes)
{
    if (probes)
        *probes = 0;
    if (hint < 0)
        return -1;
    const int count = list.count();
    for (int64_t i = hint; i < count; i += 32768) {
        if (probes)
            ++*probes;
        if (list.at(int(i)) == rec)
            return int(i);
    }
    return -1;
}

void RegisterResultList(ResultListId id, TResultList *list)
{
    g_lists[int(id)] = list;
}

TResultList *ResultList(ResultListId id)
{
    return g_lists[int(id)];
}

void RemoveFromResultLists(TItemRec *rec, bool onlyUserList)
{
    if (!rec)
        return;
    for (int i = 0; i < kResultListCount; ++i) {
        const auto id = ResultListId(i);
        if (onlyUserList && id != ResultListId::User)
            continue;
        TResultList *list = g_lists[i];
        int16_t &hint = HintOf(rec, id);
        if (!list || hint < 0)
            continue;
        const int index = FindByHint(*list, rec, hint);
        if (index >= 0) {
            list->setNull(index);
            g_changed[i] = true;
        }
    }
}

void ClearResultListNotes()
{
    for (bool &changed : g_changed)
        changed = false;
}

void CompactChangedResultLists()
{
    if (g_shuttingDown)
        return;
    for (int i = 0; i < kResultListCount; ++i) {
        if (g_changed[i] && g_lists[i])
            g_lists[i]->compact();
        g_changed[i] = false;
    }
}

bool ResultListChanged(ResultListId id)
{
    return g_changed[int(id)];
}

void SetShuttingDown(bool on)
{
    g_shuttingDown = on;
}

bool ShuttingDown()
{
    return g_shuttingDown;
}
