// The category vocabulary, the Categories Setup state and the removal of
// deleted categories and flags from the items.
#include "catalog/Categories.h"

#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "catalog/RecordLock.h"
#include "platform/Collation.h"
#include "platform/Texts.h"

#include <algorithm>
#include <utility>

// ---- texts -------------------------------------------------------------------

QString MsgMaxCategoriesReached() { return QStringLiteral("(max. number of categories reached)"); }
QString MsgWarningTitle() { return QStringLiteral("Warning"); }
QString MsgInformationTitle() { return QStringLiteral("Information"); }
QString MsgDeleteCategoryText()
{
    return QStringLiteral("Deleting this category may affect data already in the\rcatalog. All references to this "
                          "category will be removed.\r\rAre you sure you want to delete this category?");
}
QString MsgNoCategoriesInCatalog()
{
    return QStringLiteral("There are no categories defined in the selected catalog.");
}
QString MsgNotEnoughRoom() { return QStringLiteral("There was not enough room for all categories."); }
QString MsgDeleteFlagText()
{
    return QStringLiteral("You have deleted flag that may have references in the catalog.\rAll references to this "
                          "flag will be removed from catalog.\r\rAre you really sure you want to delete flag?");
}
QString MsgRemoveAllFlagText()
{
    return QStringLiteral("Checking this box will remove all references to selected flag\rfrom the catalog. This "
                          "may cause loosing some data.\r\rAre you really sure you want to do this?");
}
QString MsgDiscardChangesCaption() { return QStringLiteral("Discard Changes?"); }
QString MsgDiscardChangesText() { return QStringLiteral("Do you really want to discard all changes?"); }
QString MsgUpdatingCategories() { return QStringLiteral("Updating categories and flags..."); }
QString MsgUpdatingCategoriesStatus() { return QStringLiteral("Updating categories and flags, please wait..."); }

// ---- the vocabulary ------------------------------------------------------------

bool SameCategoryName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() == b.size() && a == b)
        return true;
    if (AsciiOnly(a) && AsciiOnly(b))
        return a.size() == b.size() && QByteArrayView(a).compare(b, Qt::CaseInsensitive) == 0;
    return DecodeStored(a).compare(DecodeStored(b), Qt::CaseInsensitive) == 0;
}

uint8_t AllocateCategoryCode(const std::vector<TCategory> &categories)
{
    uint32_t used = 0;
    for (const TCategory &c : categories)
        if (c.Code >= 1 && c.Code <= kMaxCategories)
            used |= 1u << c.Code;
    for (int code = 1; code <= kMaxCategories; ++code)
        if (!(used & (1u << code)))
            return uint8_t(code);
    return 0;
}

const TCategory *FindCategory(const TCatalogRec *catalog, QByteArrayView name)
{
    if (!catalog || name.isEmpty())
        return nullptr;
    const TCategory *folded = nullptr;
    for (const TCategory &c : catalog->Categories) {
        if (c.Name == name)
            return &c;
        if (!folded && SameCategoryName(c.Name, name))
            folded = &c;
    }
    return folded;
}

int FindFlag(const TCatalogRec *catalog, QByteArrayView name)
{
    if (!catalog || name.isEmpty())
        return 0;
    int folded = 0;
    for (int k = 1; k <= kFlagCount; ++k) {
        const QByteArrayView flag = TextView(catalog->FlagNames[k - 1]);
        if (flag.isEmpty())
            continue;
        if (flag == name)
            return k;
        if (!folded && SameCategoryName(flag, name))
            folded = k;
    }
    return folded;
}

QByteArray FlagName(const TCatalogRec *catalog, int k)
{
    if (!catalog || k < 1 || k > kFlagCount)
        return {};
    return TextView(catalog->FlagNames[k - 1]).toByteArray();
}

namespace {

const QByteArray &nameOf(const TCategory &c) { return c.Name; }
const QByteArray &nameOf(const TCategoryEntry &e) { return e.name; }

// Where a name goes in a list kept in the dialog's order (by name): after
// every name that sorts before it or equal to it, so a second entry of a
// name comes after the first.
template <typename Entry>
size_t sortedPlace(const std::vector<Entry> &list, const QByteArray &name)
{
    const TCollation collation;
    const auto at = std::find_if(list.begin(), list.end(),
                                 [&](const Entry &e) { return collation.compareStored(nameOf(e), name) > 0; });
    return size_t(at - list.begin());
}

} // namespace

uint8_t InsertCategory(std::vector<TCategory> &categories, const QByteArray &name)
{
    if (int(categories.size()) >= kMaxCategories)
        return 0;
    const uint8_t code = AllocateCategoryCode(categories);
    if (code == 0)
        return 0;
    categories.insert(categories.begin() + ptrdiff_t(sortedPlace(categories, name)), TCategory{name, code});
    return code;
}

void SetFlagName(TCatalogRec *catalog, int k, QByteArrayView name)
{
    if (!catalog || k < 1 || k > kFlagCount)
        return;
    TRecordWriteScope writing;
    FreeText(catalog->FlagNames[k - 1]);
    catalog->FlagNames[k - 1] = NewText(CutAtCharBoundary(name, kMaxShortText));
}

// ---- ApplyCategoryDeletions ------------------------------------------------------

namespace {

uint8_t *catFlagsOf(TItemRec *rec)
{
    if (auto *folder = AsFolder(rec))
        return &folder->CatFlags;
    return nullptr;
}

bool filesLoaded(TItemRec *rec)
{
    if (const TFolderRec *folder = AsFolder(rec))
        return folder->FilesLoaded != 0;
    if (const TDiskRec *disk = AsDisk(rec))
        return disk->FilesLoaded != 0;
    return true;
}

// The byte with the removal applied.
uint8_t removed(uint8_t catFlags, const TCategoryRemoval &removal)
{
    const uint8_t code = CategoryCodeOf(catFlags);
    if (code != 0 && (removal.deletedCodes & (1u << code)))
        catFlags = uint8_t(catFlags & ~kCategoryCodeBits);
    for (int k = 1; k <= kFlagCount; ++k)
        if (removal.removeFlag[size_t(k - 1)])
            catFlags = uint8_t(catFlags & ~FlagBit(k));
    return catFlags;
}

} // namespace

int ApplyCategoryDeletions(TTreeNode *catalogNode, const TCategoryRemoval &removal, bool keepReadLists,
                           ProgressSink *progress)
{
    if (!catalogNode || !AsCatalog(NodeRec(catalogNode)) || !removal.any())
        return 0;
    if (progress)
        progress->ShowWait(MsgUpdatingCategories(), false, false);
    struct CloseWait {
        ProgressSink *sink;
        ~CloseWait()
        {
            if (sink)
                sink->CloseWait();
        }
    } closeWait{progress};

    int changedItems = 0;
    std::vector<TTreeNode *> stack(catalogNode->children().rbegin(), catalogNode->children().rend());
    while (!stack.empty()) {
        TTreeNode *node = stack.back();
        stack.pop_back();
        TItemRec *rec = NodeRec(node);
        if (!rec || !(AsFolder(rec) || AsDisk(rec)))
            continue;
        // One level of child folders, then the node's own file list.
        LoadSubfolders(node, false, false);
        const bool readHere = !filesLoaded(rec);
        if (readHere)
            LoadFileList(node);

        int changedHere = 0;
        {
            TRecordWriteScope writing;
            if (uint8_t *own = catFlagsOf(rec)) {
                const uint8_t after = removed(*own, removal);
                if (after != *own) {
                    *own = after;
                    ++changedHere;
                }
            }
            for (TFileRec *f = rec->Next; f; f = f->Next) {
                const uint8_t after = removed(f->CatFlags, removal);
                if (after != f->CatFlags) {
                    f->CatFlags = after;
                    ++changedHere;
                }
            }
        }
        if (changedHere > 0)
            SetDiskDirty(node, true);
        else if (readHere && !keepReadLists)
            UnloadFileList(node);
        changedItems += changedHere;

        const auto &children = node->children();
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back(*it);
    }
    return changedItems;
}

// ---- TCategoryEditWork --------------------------------------------------------------

TCategoryEditWork::TCategoryEditWork(std::vector<TTreeNode *> catalogs, Prompter &prompter, int shown)
    : m_prompter(prompter)
{
    for (TTreeNode *node : catalogs) {
        const TCatalogRec *catalog = AsCatalog(NodeRec(node));
        if (!catalog)
            continue;
        State state;
        state.node = node;
        state.savedCategories = catalog->Categories;
        for (int k = 0; k < kFlagCount; ++k)
            state.savedFlags[size_t(k)] = TextView(catalog->FlagNames[k]).toByteArray();
        state.savedDirty = catalog->Dirty;
        m_states.push_back(std::move(state));
    }
    m_shown = shown >= 0 && shown < int(m_states.size()) ? shown : 0;
    fill();
}

TCatalogRec *TCategoryEditWork::shownCatalog() const
{
    return m_states.empty() ? nullptr : AsCatalog(NodeRec(m_states[size_t(m_shown)].node));
}

void TCategoryEditWork::fill()
{
    m_entries.clear();
    m_flagTexts = {};
    m_modified = false;
    const TCatalogRec *catalog = shownCatalog();
    if (!catalog)
        return;
    for (const TCategory &c : catalog->Categories)
        m_entries.push_back({c.Name, c.Code, false});
    for (int k = 1; k <= kFlagCount; ++k)
        m_flagTexts[size_t(k - 1)] = FlagName(catalog, k);
}

void TCategoryEditWork::show(int index)
{
    if (index < 0 || index >= int(m_states.size()) || index == m_shown)
        return;
    if (m_modified)
        commitShown();
    m_shown = index;
    fill();
}

int TCategoryEditWork::add(const QByteArray &name)
{
    if (name.isEmpty() || !canAdd())
        return -1;
    std::vector<TCategory> list;
    list.reserve(m_entries.size());
    for (const TCategoryEntry &e : m_entries)
        list.push_back({e.name, e.code});
    const uint8_t code = InsertCategory(list, CutAtCharBoundary(name, kMaxShortText).toByteArray());
    if (code == 0)
        return -1;
    int index = 0;
    while (list[size_t(index)].Code != code)
        ++index;
    m_entries.insert(m_entries.begin() + index, TCategoryEntry{list[size_t(index)].Name, code, true});
    m_modified = true;
    return index;
}

int TCategoryEditWork::rename(int index, const QByteArray &name)
{
    if (index < 0 || index >= int(m_entries.size()) || name.isEmpty())
        return -1;
    const QByteArray cut = CutAtCharBoundary(name, kMaxShortText).toByteArray();
    TCategoryEntry entry = m_entries[size_t(index)];
    if (cut == entry.name)
        return -1;
    // The list stays sorted by name: the entry moves to its new name's place.
    entry.name = cut;
    m_entries.erase(m_entries.begin() + index);
    const size_t at = sortedPlace(m_entries, cut);
    m_entries.insert(m_entries.begin() + ptrdiff_t(at), entry);
    m_modified = true;
    return int(at);
}

bool TCategoryEditWork::remove(int index)
{
    if (index < 0 || index >= int(m_entries.size()))
        return false;
    const TCategoryEntry entry = m_entries[size_t(index)];
    if (!entry.isNew) {
        if (m_prompter.ask(MsgWarningTitle(), MsgDeleteCategoryText(), MsgIcon::Warning, MsgButtons::YesNo)
            != MsgAnswer::Yes)
            return false;
        m_states[size_t(m_shown)].removal.deletedCodes |= 1u << entry.code;
    }
    m_entries.erase(m_entries.begin() + index);
    m_modified = true;
    return true;
}

int TCategoryEditWork::copyFrom(int catalogIndex)
{
    if (catalogIndex < 0 || catalogIndex >= int(m_states.size()) || catalogIndex == m_shown)
        return 0;
    const TCatalogRec *other = AsCatalog(NodeRec(m_states[size_t(catalogIndex)].node));
    if (!other || other->Categories.empty()) {
        m_prompter.ask(MsgInformationTitle(), MsgNoCategoriesInCatalog(), MsgIcon::Information, MsgButtons::Ok);
        return 0;
    }
    int added = 0;
    bool stopped = false;
    for (const TCategory &c : other->Categories) {
        if (!canAdd()) {
            stopped = true;
            break;
        }
        const bool present = std::any_of(m_entries.begin(), m_entries.end(),
                                         [&](const TCategoryEntry &e) { return SameCategoryName(e.name, c.Name); });
        if (!present && add(c.Name) >= 0)
            ++added;
    }
    m_modified = true;
    if (stopped)
        m_prompter.ask(MsgInformationTitle(), MsgNotEnoughRoom(), MsgIcon::Information, MsgButtons::Ok);
    return added;
}

bool TCategoryEditWork::removeFlagEnabled(int k) const
{
    return !m_states.empty() && !m_states[size_t(m_shown)].savedFlags[size_t(k - 1)].isEmpty();
}

QByteArray TCategoryEditWork::setFlagText(int k, const QByteArray &text)
{
    if (m_states.empty() || k < 1 || k > kFlagCount)
        return {};
    State &state = m_states[size_t(m_shown)];
    const QByteArray &atOpening = state.savedFlags[size_t(k - 1)];
    QByteArray &edit = m_flagTexts[size_t(k - 1)];
    const QByteArray cut = CutAtCharBoundary(text, kMaxShortText).toByteArray();
    if (cut.isEmpty() && !atOpening.isEmpty() && !state.removal.removeFlag[size_t(k - 1)]) {
        if (m_prompter.ask(MsgWarningTitle(), MsgDeleteFlagText(), MsgIcon::Warning, MsgButtons::YesNo)
            != MsgAnswer::Yes) {
            edit = atOpening;
            return edit;
        }
        state.removal.removeFlag[size_t(k - 1)] = true;
        m_modified = true;
    }
    if (cut != atOpening)
        m_modified = true;
    edit = cut;
    return edit;
}

bool TCategoryEditWork::setRemoveFlag(int k, bool on)
{
    if (m_states.empty() || k < 1 || k > kFlagCount)
        return false;
    State &state = m_states[size_t(m_shown)];
    bool &box = state.removal.removeFlag[size_t(k - 1)];
    const bool named = !state.savedFlags[size_t(k - 1)].isEmpty();
    if (on == box)
        return box;
    if (on) {
        if (named && m_prompter.ask(MsgWarningTitle(), MsgRemoveAllFlagText(), MsgIcon::Warning, MsgButtons::YesNo)
                         == MsgAnswer::Yes) {
            box = true;
            m_modified = true;
        }
        return box;
    }
    // An emptied name that had references: they must go.
    if (named && m_flagTexts[size_t(k - 1)].isEmpty())
        return box;
    box = false;
    m_modified = true;
    return box;
}

void TCategoryEditWork::commitShown()
{
    TCatalogRec *catalog = shownCatalog();
    if (!catalog)
        return;
    {
        TRecordWriteScope writing;
        std::vector<TCategory> list;
        list.reserve(m_entries.size());
        for (const TCategoryEntry &e : m_entries)
            list.push_back({e.name, e.code});
        catalog->Categories = std::move(list);
    }
    for (int k = 1; k <= kFlagCount; ++k)
        SetFlagName(catalog, k, m_flagTexts[size_t(k - 1)]);
    // The entries stay; what was new is in the catalog now.
    for (TCategoryEntry &e : m_entries)
        e.isNew = false;
    SetCatalogDirty(m_states[size_t(m_shown)].node, true);
    m_modified = false;
}

void TCategoryEditWork::accept(bool keepReadLists, ProgressSink *progress)
{
    if (m_modified)
        commitShown();
    for (const State &state : m_states)
        if (state.removal.any())
            ApplyCategoryDeletions(state.node, state.removal, keepReadLists, progress);
}

bool TCategoryEditWork::cancel()
{
    if (m_modified
        && m_prompter.ask(MsgDiscardChangesCaption(), MsgDiscardChangesText(), MsgIcon::Question, MsgButtons::YesNo)
               != MsgAnswer::Yes)
        return false;
    for (State &state : m_states) {
        TCatalogRec *catalog = AsCatalog(NodeRec(state.node));
        if (!catalog)
            continue;
        {
            TRecordWriteScope writing;
            catalog->Categories = state.savedCategories;
        }
        for (int k = 1; k <= kFlagCount; ++k)
            SetFlagName(catalog, k, state.savedFlags[size_t(k - 1)]);
        SetCatalogDirty(state.node, state.savedDirty != 0);
        state.removal = {};
    }
    fill();
    return true;
}
