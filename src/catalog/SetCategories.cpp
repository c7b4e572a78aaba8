// Categories and flags given to items by name, and the Set Categories and
// Flags dialog's state.
#include "catalog/SetCategories.h"

#include "catalog/Categories.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/RecordLock.h"
#include "platform/Texts.h"

#include <algorithm>
#include <set>
#include <utility>

QString MsgNoCategorySelected() { return QStringLiteral("(no category selected)"); }
QString MsgNoCategoriesDefined() { return QStringLiteral("(No categories are defined)"); }
QString MsgNoFlagsDefined() { return QStringLiteral("(No flags are defined)"); }
QString MsgNotAvailableForAll() { return QStringLiteral("* Category or flag is not available for all items"); }
QString MsgNoDataDefinedCaption() { return QStringLiteral("No Data Defined"); }
QString MsgNoDataDefinedText()
{
    return QStringLiteral("There are no categories or flags defined in any\rcatalog where selected items are "
                          "from.\r\rWould you like to define categories and flags now?");
}
QString MsgApplyChangesCaption() { return QStringLiteral("Apply Changes"); }
QString MsgApplyChangesText()
{
    return QStringLiteral("Are you sure you want to change settings about\rcategory and flags for all selected "
                          "items?");
}
QString SetCatHeading(int count)
{
    return QStringLiteral("Changing Categories and Flags for %1 selected item%2")
        .arg(count)
        .arg(count >= 2 ? QStringLiteral("s") : QString());
}

TCatalogRec *CatalogOfItem(const TItemRec *rec)
{
    if (!rec || !rec->Node)
        return nullptr;
    TTreeNode *catalogNode = CatalogNodeOf(rec->Node);
    return catalogNode ? AsCatalog(catalogNode->data()) : nullptr;
}

namespace {

// The CatFlags byte of a file or folder record; null for other kinds.
uint8_t *catFlagsOf(TItemRec *rec)
{
    if (!rec)
        return nullptr;
    switch (ItemKind(rec->KindFlags)) {
    case rkFile:
        return &static_cast<TFileRec *>(rec)->CatFlags;
    case rkFolder:
        return &static_cast<TFolderRec *>(rec)->CatFlags;
    default:
        return nullptr;
    }
}

// The index of the entry of that name (without regard to case); -1 when none.
int indexOf(const std::vector<TSetCatWork::Entry> &entries, QByteArrayView name, size_t from)
{
    for (size_t i = from; i < entries.size(); ++i)
        if (SameCategoryName(entries[i].name, name))
            return int(i);
    return -1;
}

} // namespace

bool ApplySetCategories(TItemRec *rec, const QByteArray &categoryName, bool keepCategory,
                        const std::vector<TFlagChoice> &flags)
{
    uint8_t *catFlags = catFlagsOf(rec);
    const TCatalogRec *catalog = CatalogOfItem(rec);
    if (!catFlags || !catalog)
        return false;
    uint8_t value = *catFlags;
    if (!keepCategory) {
        const TCategory *category = categoryName.isEmpty() ? nullptr : FindCategory(catalog, categoryName);
        value = uint8_t((value & ~kCategoryCodeBits) | (category ? category->Code : 0));
    }
    for (const TFlagChoice &choice : flags) {
        if (choice.state == TFlagState::Grayed)
            continue;
        for (int k = 1; k <= kFlagCount; ++k) {
            const QByteArrayView flag = TextView(catalog->FlagNames[k - 1]);
            if (flag.isEmpty() || !SameCategoryName(flag, choice.name))
                continue;
            value = choice.state == TFlagState::Checked ? uint8_t(value | FlagBit(k)) : uint8_t(value & ~FlagBit(k));
        }
    }
    if (value == *catFlags)
        return false;
    {
        TRecordWriteScope writing;
        *catFlags = value;
    }
    SetDiskDirty(rec->Node, true);
    return true;
}

QString TSetCatWork::Entry::text() const
{
    return (missing ? QStringLiteral("* ") : QString()) + DecodeStored(name);
}

TSetCatWork::TSetCatWork(std::vector<TItemRec *> items)
{
    m_categories.push_back({MsgNoCategorySelected().toUtf8(), false, TFlagState::Unchecked});
    std::vector<const TCatalogRec *> catalogs;
    for (TItemRec *rec : items) {
        const TCatalogRec *catalog = CatalogOfItem(rec);
        if (!catalog)
            continue;
        m_items.push_back(rec);
        if (std::find(catalogs.begin(), catalogs.end(), catalog) == catalogs.end())
            catalogs.push_back(catalog);
        const uint8_t *catFlags = catFlagsOf(rec);
        const uint8_t byte = catFlags ? *catFlags : 0;
        const uint8_t code = CategoryCodeOf(byte);

        // The item's own entry: 0 for no category (or a code its catalog
        // does not name).
        int own = 0;
        for (const TCategory &c : catalog->Categories) {
            int e = indexOf(m_categories, c.Name, 1);
            if (e < 0) {
                m_categories.push_back({c.Name, false, TFlagState::Unchecked});
                e = int(m_categories.size()) - 1;
            }
            if (code != 0 && c.Code == code && own == 0)
                own = e;
        }
        if (m_common == -1)
            m_common = own;
        else if (m_common != own)
            m_common = -2;

        for (int k = 1; k <= kFlagCount; ++k) {
            const QByteArrayView flag = TextView(catalog->FlagNames[k - 1]);
            if (flag.isEmpty())
                continue;
            const TFlagState state = (byte & FlagBit(k)) ? TFlagState::Checked : TFlagState::Unchecked;
            const int e = indexOf(m_flags, flag, 0);
            if (e < 0)
                m_flags.push_back({flag.toByteArray(), false, state});
            else if (m_flags[size_t(e)].state != TFlagState::Grayed && m_flags[size_t(e)].state != state)
                m_flags[size_t(e)].state = TFlagState::Grayed;
        }
    }
    if (m_common == -1)
        m_common = 0;
    m_checked = m_common >= 0 ? m_common : -1;

    for (size_t e = 1; e < m_categories.size(); ++e)
        for (const TCatalogRec *catalog : catalogs)
            if (!FindCategory(catalog, m_categories[e].name))
                m_categories[e].missing = true;
    for (Entry &flag : m_flags)
        for (const TCatalogRec *catalog : catalogs)
            if (FindFlag(catalog, flag.name) == 0)
                flag.missing = true;
}

bool TSetCatWork::warningShown() const
{
    return std::any_of(m_categories.begin(), m_categories.end(), [](const Entry &e) { return e.missing; })
        || std::any_of(m_flags.begin(), m_flags.end(), [](const Entry &e) { return e.missing; });
}

bool TSetCatWork::askDefineNow(Prompter &prompter)
{
    m_defineNow = prompter.ask(MsgNoDataDefinedCaption(), MsgNoDataDefinedText(), MsgIcon::Question,
                               MsgButtons::YesNo)
        == MsgAnswer::Yes;
    return m_defineNow;
}

void TSetCatWork::checkCategory(int index)
{
    if (index < 0 || index >= int(m_categories.size()) || index == m_checked)
        return;
    m_checked = index;
    m_applyEnabled = true;
}

void TSetCatWork::setFlagState(int index, TFlagState state)
{
    if (index < 0 || index >= int(m_flags.size()) || m_flags[size_t(index)].state == state)
        return;
    m_flags[size_t(index)].state = state;
    m_applyEnabled = true;
}

bool TSetCatWork::apply(Prompter &prompter)
{
    if (m_items.size() >= 2
        && prompter.ask(MsgApplyChangesCaption(), MsgApplyChangesText(), MsgIcon::Question, MsgButtons::YesNo)
               != MsgAnswer::Yes)
        return false;
    for (Entry &e : m_categories)
        e.missing = false;
    for (Entry &e : m_flags)
        e.missing = false;
    const bool keepCategory = m_checked < 0;
    const QByteArray name = m_checked > 0 ? m_categories[size_t(m_checked)].name : QByteArray();
    std::vector<TFlagChoice> flags;
    for (const Entry &e : m_flags)
        flags.push_back({e.name, e.state});
    for (TItemRec *rec : m_items)
        ApplySetCategories(rec, name, keepCategory, flags);
    m_applyEnabled = false;
    return true;
}
