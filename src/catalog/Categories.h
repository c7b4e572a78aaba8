// The category vocabulary of a catalog (at most 31 named categories with
// codes 1-31, three flag names) and the edits of the "Categories Setup"
// dialog without its window: TCategoryEditWork holds the whole state of one
// run of the dialog over every open catalog, with commit and cancel, and
// ApplyCategoryDeletions takes deleted categories and removed flags out of
// the items. Assigning categories to items by name is in SetCategories.h.
#pragma once

#include "catalog/CatalogRec.h"
#include "platform/Prompter.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

class TTreeNode;

// The CatFlags byte of files and folders: bits 0-4 the category code, bits
// 5-7 flags 1-3.
inline constexpr int kMaxCategories = 31;
inline constexpr int kFlagCount = 3;
inline constexpr uint8_t kCategoryCodeBits = 0x1F;
inline constexpr uint8_t CategoryCodeOf(uint8_t catFlags) { return catFlags & kCategoryCodeBits; }
// The bit of flag k (1-3).
inline constexpr uint8_t FlagBit(int k) { return uint8_t(1u << (4 + k)); }

// --- texts -------------------------------------------------------------------

QString MsgMaxCategoriesReached();     // "(max. number of categories reached)"
QString MsgWarningTitle();             // "Warning"
QString MsgInformationTitle();         // "Information"
QString MsgDeleteCategoryText();
QString MsgNoCategoriesInCatalog();    // "There are no categories defined in the selected catalog."
QString MsgNotEnoughRoom();            // "There was not enough room for all categories."
QString MsgDeleteFlagText();
QString MsgRemoveAllFlagText();
QString MsgDiscardChangesCaption();    // "Discard Changes?"
QString MsgDiscardChangesText();       // "Do you really want to discard all changes?"
QString MsgUpdatingCategories();       // "Updating categories and flags..."
QString MsgUpdatingCategoriesStatus(); // "Updating categories and flags, please wait..."

// --- the vocabulary ------------------------------------------------------------

// Two names are the same name when they are equal without regard to case.
bool SameCategoryName(QByteArrayView a, QByteArrayView b);
// The lowest code from 1 to 31 that no entry carries; 0 when all are taken.
uint8_t AllocateCategoryCode(const std::vector<TCategory> &categories);
// The catalog's category of that name (without regard to case; an exact
// match wins over one that differs in case); null when none.
const TCategory *FindCategory(const TCatalogRec *catalog, QByteArrayView name);
// The flag (1-3) of that name, found as FindCategory finds names; 0 when none.
int FindFlag(const TCatalogRec *catalog, QByteArrayView name);
// The flag's name; empty for an unnamed flag.
QByteArray FlagName(const TCatalogRec *catalog, int k);
// Inserts a category in the list's order (by name, as the dialog's list
// sorts); returns its code, 0 when the list is full. Marks nothing.
uint8_t InsertCategory(std::vector<TCategory> &categories, const QByteArray &name);
// Sets a flag's name (empty: unnamed). Marks nothing.
void SetFlagName(TCatalogRec *catalog, int k, QByteArrayView name);

// --- taking categories and flags out of the items ----------------------------------

// What ApplyCategoryDeletions takes out of one catalog's items.
struct TCategoryRemoval {
    uint32_t deletedCodes = 0;                 // bit c: category code c
    std::array<bool, kFlagCount> removeFlag{};   // flag k+1 is cleared on every item
    bool any() const { return deletedCodes != 0 || removeFlag[0] || removeFlag[1] || removeFlag[2]; }
};

// Walks every disk and folder of the catalog, reading folder levels and file
// lists that are not in memory; an item whose code was deleted loses its
// category (its flags stay), removed flags are cleared. A node with a change
// marks its disk changed; a file list read here and left unchanged is dropped
// again, unless keepReadLists (a search is running: the walk may be about to
// use what it finds in memory). Every change of a record takes the record
// lock's write scope. Raises what the catalog store raises on a damaged file;
// what was changed before stays changed (and marked). Returns the number of
// items changed.
int ApplyCategoryDeletions(TTreeNode *catalogNode, const TCategoryRemoval &removal, bool keepReadLists,
                           ProgressSink *progress = nullptr);

// --- the Categories Setup dialog's state -------------------------------------------

// One line of the dialog's category list.
struct TCategoryEntry {
    QByteArray name;
    uint8_t code = 0;
    bool isNew = false;   // added in this run: no item can refer to it yet
};

class TCategoryEditWork
{
public:
    // Saves each catalog's vocabulary and change mark for Cancel and shows
    // the catalog at index shown (the first when out of range).
    TCategoryEditWork(std::vector<TTreeNode *> catalogs, Prompter &prompter, int shown = 0);

    int catalogCount() const { return int(m_states.size()); }
    TTreeNode *catalogNode(int index) const { return m_states[size_t(index)].node; }
    int shownIndex() const { return m_shown; }
    // Writes the shown catalog's edits (when modified) and shows another.
    void show(int index);
    // "Copy from" is offered with more than one catalog.
    bool copyFromEnabled() const { return m_states.size() > 1; }

    const std::vector<TCategoryEntry> &entries() const { return m_entries; }
    // The category edit is usable while the list has room.
    bool canAdd() const { return int(m_entries.size()) < kMaxCategories; }
    // Adds a name (an existing name makes a second entry); returns its
    // index, -1 when the text is empty or the list is full.
    int add(const QByteArray &name);
    // Renames an entry; the code stays, and the entry moves to the place of
    // its new name in the list's order. Returns its new index; -1 (nothing
    // changes) when the text is empty or the same.
    int rename(int index, const QByteArray &name);
    // Removes an entry; an entry without the new mark needs a Yes. Returns
    // whether it was removed.
    bool remove(int index);
    // Copies the names of another catalog that the list lacks; asks and
    // tells as the dialog does. Returns the number of names added.
    int copyFrom(int catalogIndex);

    // The flag edits and their "Remove All" boxes (k 1-3).
    const QByteArray &flagText(int k) const { return m_flagTexts[size_t(k - 1)]; }
    bool removeFlag(int k) const { return m_states[size_t(m_shown)].removal.removeFlag[size_t(k - 1)]; }
    // Whether the box may be used: the flag has a name in the catalog.
    bool removeFlagEnabled(int k) const;
    // Leaving a flag edit with this text. Emptying a named flag asks; No
    // puts the old name back. Returns the text the edit keeps.
    QByteArray setFlagText(int k, const QByteArray &text);
    // Clicking a "Remove All" box; returns the box's state afterwards.
    bool setRemoveFlag(int k, bool on);

    bool modified() const { return m_modified; }
    // Writes the shown list and flags into the catalog (CommitCatalogEdits).
    void commitShown();
    // OK: commits, then takes deleted categories and removed flags out of
    // the items of every catalog. keepReadLists as ApplyCategoryDeletions.
    // Raises what that raises; the catalogs before the failing one are done.
    void accept(bool keepReadLists, ProgressSink *progress = nullptr);
    // Cancel or the close box: with uncommitted edits, asks first; false
    // when the dialog stays open. Otherwise every catalog gets back its
    // vocabulary and change mark.
    bool cancel();

private:
    struct State {
        TTreeNode *node = nullptr;
        std::vector<TCategory> savedCategories;
        std::array<QByteArray, kFlagCount> savedFlags;
        uint8_t savedDirty = 0;
        TCategoryRemoval removal;
    };
    TCatalogRec *shownCatalog() const;
    void fill();

    Prompter &m_prompter;
    std::vector<State> m_states;
    int m_shown = 0;
    std::vector<TCategoryEntry> m_entries;
    std::array<QByteArray, kFlagCount> m_flagTexts;
    bool m_modified = false;
};
