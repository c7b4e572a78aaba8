// What a search looks for: the criteria as the search window holds them
// (TSearchWork, kept between searches, reset by "New Search"), the checks
// made when Find is pressed, the snapshot the worker takes at its start
// (TSearchCriteria: prepared patterns, bounds in bytes and packed times), and
// the tests that decide whether one file, folder or disk matches. The window
// only mirrors TSearchWork, so the command line and the tests drive it
// directly.
#pragma once

#include "catalog/CatalogRec.h"
#include "catalog/LoadSave.h"
#include "platform/Prompter.h"
#include "search/SizeField.h"

#include <QDate>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTime>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class TTreeNode;

// Name modes, the NameCombo's order; nmRegex is a fifth mode beyond the four
// typed ones and the file type.
enum NameMode : int { nmPartOfName = 0, nmFileMask, nmExactName, nmExtension, nmFileType, nmRegex };
inline constexpr int kNameModes = 6;
inline bool NameModeHasText(int mode) { return mode != nmFileType; }

// SizeCombo: 0 none, then the operators.
enum SizeOp : int { soNone = 0, soEqual, soSmaller, soLarger, soBetween, soNotBetween };
// DateCombo1 / TimeCombo1: 0 none, then the kinds.
enum DateKind : int { dkNone = 0, dkCreated, dkModified, dkAccessed };
// DateCombo2 / TimeCombo2.
enum DateOp : int { doOn = 0, doBefore, doAfter, doBetween, doNotBetween };

// Attribute box states: must be clear, must be set, ignored (grayed).
enum AttrState : int { asClear = 0, asSet = 1, asIgnored = 2 };

// Description modes (DescCheck1-3).
enum DescMode : int { dmAny = 1, dmContains = 2, dmNone = 3 };

// The criterion groups, in the order Find checks them; the window shows the
// group's page when a check names it.
enum class CriteriaGroup { Name, Description, Category, Size, Date };

// One registered file type: its description and its extension list in
// pattern form (".txt", code 1, ".text", code 1, in the case found).
struct TFileType {
    QString description;
    QString extensions;
};

// The window's criteria and search settings.
struct TSearchWork {
    // What to search for.
    bool byName = false, byDesc = false, byCategory = false, bySize = false, byDate = false;
    bool files = true, folders = true, disks = true;
    // Settings (kept by ResetCriteria).
    bool clearResults = true;
    bool showLimit = false;
    bool showSettings = false;
    bool duplicatesMode = false;
    int searchType = 0;          // 0 all conditions, 1 at least one
    bool limitFound = false;
    int maxFound = 1000;         // 1 to 9999

    // Name page: one saved text per mode with text (the file type mode has none).
    int nameMode = nmPartOfName;
    std::array<QString, kNameModes> nameTexts;
    int fileType = -1;           // index into the registered types; 0 "(none)", -1 no choice
    bool fileCase = false;
    int attrArchive = asIgnored, attrHidden = asIgnored, attrSystem = asIgnored, attrReadOnly = asIgnored;

    // Description page.
    int descMode = dmContains;
    QString descText;
    bool descCase = false;

    // Category page: the checked entries of the two lists, by name.
    QStringList checkedCategories;
    QStringList checkedFlags;

    // Size page.
    int sizeOp = soNone;
    TSizeField size1, size2, size3;   // size3 the tolerance, up to TB
    bool sizeTolerance = false;

    // Date page.
    int dateKind = dkNone;
    int dateOp = doOn;
    QDate date1, date2;
    bool dateTolerance = false;
    int dateToleranceDays = 0;        // 0 to 99
    int timeKind = dkNone;            // dkNone, dkCreated, dkModified
    int timeOp = doOn;
    QTime time1{0, 0}, time2{0, 0};  // kept by ResetCriteria
    bool timeTolerance = false;
    int timeToleranceMinutes = 0;     // 0 to 999

    // Duplicates settings.
    bool dupName = true, dupSize = true, dupDate = false, dupAttr = false;
    bool dupSkipArchives = true;      // "Don't search for duplicates inside compressed files"
    bool dupSingleCopy = false;       // files of the scope without a duplicate on another disk

    // The edit's text in the current mode, and changing mode keeping each mode's text.
    QString nameText() const;
    void setNameText(const QString &text);
    void setNameMode(int mode);

    bool caseSensitiveName() const;   // fileCase where the mode offers it (part, exact, regex)
    bool attrOn() const;              // some attribute box is not grayed
    bool secondSizeShown() const { return sizeOp == soBetween || sizeOp == soNotBetween; }
    bool secondDateShown() const { return dateOp == doBetween || dateOp == doNotBetween; }
    bool secondTimeShown() const { return timeOp == doBetween || timeOp == doNotBetween; }
};

// "New Search": every criterion to its default (the settings kept, the
// times kept), both dates today.
void ResetCriteria(TSearchWork &work, const QDate &today);

// What leaving a page does: the extension list normalised, the two sizes or
// the two dates and times exchanged when the second is smaller.
void LeaveNamePage(TSearchWork &work);
void LeaveSizePage(TSearchWork &work);
void LeaveDatePage(TSearchWork &work);

// Whether Find may be pressed (no search running is the caller's part).
bool FindEnabled(const TSearchWork &work);

// The checks of Find, in group order, asking through prompter whether an
// incomplete group should be dropped ("Invalid ... field"); showGroup, when
// given, is called before each question so the window can show the page.
// May change work (extension list normalised, mode switch for wildcards,
// cleaned mask written back, groups cleared). A name group is complete with
// a name, or with attribute boxes alone; a size group needs a number in
// every field its operator uses; a refused mask answered No ends the checks
// at once. Returns whether the search may start; after a true result the
// caller checks FindEnabled and says "There is no criteria left to search
// by." when it is false.
bool ValidateCriteria(TSearchWork &work, const std::vector<TFileType> &fileTypes, Prompter &prompter,
                      const std::function<void(CriteriaGroup)> &showGroup = {});
QString MsgNoCriteriaLeft();          // "There is no criteria left to search by."
QString MsgNoCriteriaCaption();       // "No criteria defined"

// The snapshot the worker reads: nothing else of the window.
struct TSearchCriteria {
    bool NameOn = false;              // the name condition counts when NamePattern is not empty
    int NameMode = nmPartOfName;
    bool CaseSensitive = false;
    QString NamePattern;              // prepared: upper-cased unless CaseSensitive
    QRegularExpression NameRegex;     // nmRegex
    bool Files = true, Folders = true, Disks = true;
    bool AttrOn = false;
    int AttrArchive = asIgnored, AttrHidden = asIgnored, AttrSystem = asIgnored, AttrReadOnly = asIgnored;
    bool DescOn = false;
    int DescMode = dmContains;
    bool DescCaseSensitive = false;
    QString DescText;                 // prepared
    bool CategoryOn = false;
    QStringList CheckedCategories;    // exact names
    QStringList CheckedFlags;
    bool SizeOn = false;
    int SizeOp = soNone;
    int64_t SizeLow = 0, SizeHigh = 0;   // bytes
    bool DateOn = false;
    int DateKind = dkNone;
    int DateOp = doOn;
    uint32_t DateLow = 0, DateHigh = 0;  // packed date-times (00:00:00 of the bound's day)
    bool TimeOn = false;
    int TimeKind = dkNone;
    int TimeOp = doOn;
    int TimeLow = 0, TimeHigh = 0;       // seconds of the day, may lie outside 0-86399 by the tolerance
    bool AnyCondition = false;
    int MaxFound = 0;                    // 0 no limit
    bool DescOnly = false;

    // The same texts in stored form (UTF-8), so that ASCII names and
    // descriptions are compared as bytes without a string per item. Filled
    // by PrepareCriteria (the snapshot calls it); criteria built by hand
    // without it match the same items, only slower.
    bool Prepared = false;
    QByteArray NameKey;                  // NamePattern
    bool NameKeyAscii = false;           // NameKey holds plain ASCII only
    QByteArray DescKey;                  // DescText
    std::vector<QByteArray> CategoryKeys;   // CheckedCategories
    std::vector<QByteArray> FlagKeys;       // CheckedFlags
};

// Fills the stored forms of criteria's texts (and the regular expression
// from NamePattern when it has none yet).
void PrepareCriteria(TSearchCriteria &criteria);

// A description as the description condition compares it: upper-cased unless
// caseSensitive, every carriage return, line feed, space, comma and period
// removed ("Hello, World." gives "HELLOWORLD").
QString PrepareDescText(const QString &text, bool caseSensitive);

// Takes the snapshot. Nothing when a field cannot be read (a size that is
// not a number, an invalid regular expression): no search starts with half-
// taken criteria. active tells whether any criterion is on at all.
std::optional<TSearchCriteria> TakeCriteriaSnapshot(const TSearchWork &work, const std::vector<TFileType> &fileTypes,
                                                    bool *active);

// The name condition alone (the duplicates' name filter uses it too).
bool NameMatches(const TSearchCriteria &criteria, QByteArrayView storedName);

// The item tests with the verdict rules. The catalog record gives the
// category and flag names.
bool MatchFile(const TSearchCriteria &criteria, const TFileRec *file, const TCatalogRec *catalog);
// MatchFile over a chain: tests the files from file on, at most limit of
// them, and returns the first that matches (null when none does); file is
// left on the file after the last one tested, tested counts the files
// tested, the match included. A search by a part of the name alone runs a
// loop of its own over the names, without a call per file.
TFileRec *MatchInChain(const TSearchCriteria &criteria, TFileRec *&file, int limit, const TCatalogRec *catalog,
                       int &tested);
// MatchFile for an entry of a file list not read into records yet: the same
// verdict the entry's record would get.
bool MatchFileEntry(const TSearchCriteria &criteria, const TFileEntryView &entry, const TCatalogRec *catalog);
bool MatchFolder(const TSearchCriteria &criteria, const TTreeNode *node, const TFolderRec *folder,
                 const TCatalogRec *catalog);
bool MatchDisk(const TSearchCriteria &criteria, const TTreeNode *node, const TDiskRec *disk);
