// Giving one category and the three flags to items that may come from
// several catalogs, by name: every catalog has its own names and codes, so
// the choice is offered as the union of the names of the catalogs involved
// and written into each item as the code its own catalog gives that name.
// TSetCatWork is the whole state of the "Set Categories and Flags" dialog
// without its window.
#pragma once

#include "platform/Prompter.h"

#include <QByteArray>
#include <QString>

#include <vector>

class TTreeNode;
struct TCatalogRec;
struct TItemRec;

QString MsgNoCategorySelected();    // "(no category selected)"
QString MsgNoCategoriesDefined();   // "(No categories are defined)"
QString MsgNoFlagsDefined();        // "(No flags are defined)"
QString MsgNotAvailableForAll();    // "* Category or flag is not available for all items"
QString MsgNoDataDefinedCaption();  // "No Data Defined"
QString MsgNoDataDefinedText();
QString MsgApplyChangesCaption();   // "Apply Changes"
QString MsgApplyChangesText();
// "Changing Categories and Flags for N selected item(s)".
QString SetCatHeading(int count);

// The catalog record an item belongs to (walking up from its node); null
// when it has none.
TCatalogRec *CatalogOfItem(const TItemRec *rec);

// Writes into one file or folder record (other kinds are skipped) the code
// its own catalog gives categoryName (found as FindCategory finds names; no
// such name, or an empty one: no category) unless keepCategory, and sets or
// clears each flag of its catalog named as an entry of flags (an entry whose
// state is Grayed leaves the items' flag as it is). Marks the item's disk
// changed. Returns whether the byte changed.
enum class TFlagState { Unchecked, Checked, Grayed };
struct TFlagChoice {
    QByteArray name;
    TFlagState state = TFlagState::Grayed;
};
bool ApplySetCategories(TItemRec *rec, const QByteArray &categoryName, bool keepCategory,
                        const std::vector<TFlagChoice> &flags);

class TSetCatWork
{
public:
    // A line of either list: the name (without the "* " mark), whether some
    // catalog involved lacks it, and for flags the check state.
    struct Entry {
        QByteArray name;
        bool missing = false;
        TFlagState state = TFlagState::Unchecked;
        // The text shown: "* " before a missing name.
        QString text() const;
    };

    // items: the selected records in row order (null entries and the list's
    // one-level-up entry are left out by the caller).
    explicit TSetCatWork(std::vector<TItemRec *> items);

    int itemCount() const { return int(m_items.size()); }
    QString heading() const { return SetCatHeading(itemCount()); }
    // Entry 0 is "(no category selected)"; the names follow.
    const std::vector<Entry> &categories() const { return m_categories; }
    const std::vector<Entry> &flags() const { return m_flags; }
    // -2 the items differ, 0 none of them has a category, else the entry
    // all of them share (after opening, never -1).
    int commonCategory() const { return m_common; }
    // The checked category entry; -1 when none is.
    int checkedCategory() const { return m_checked; }
    bool warningShown() const;
    bool categoriesEnabled() const { return m_categories.size() > 1; }
    bool flagsEnabled() const { return !m_flags.empty(); }
    // Neither names nor flags: the dialog asks whether to define them and
    // closes (the answer is kept for the caller).
    bool nothingDefined() const { return !categoriesEnabled() && !flagsEnabled(); }
    bool askDefineNow(Prompter &prompter);
    bool defineNowAnswer() const { return m_defineNow; }

    // Checking a category entry unchecks the others.
    void checkCategory(int index);
    void setFlagState(int index, TFlagState state);
    bool applyEnabled() const { return m_applyEnabled; }

    // Apply: with two or more items asks first (No: false, nothing changed).
    // With no category entry checked (the items differed and none was
    // chosen) every item keeps its category and the flags are still
    // applied. Returns whether the items were changed.
    bool apply(Prompter &prompter);

private:
    std::vector<TItemRec *> m_items;
    std::vector<Entry> m_categories;
    std::vector<Entry> m_flags;
    int m_common = -1;
    int m_checked = -1;
    bool m_applyEnabled = false;
    bool m_defineNow = false;
};
