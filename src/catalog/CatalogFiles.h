// The user-level operations on whole catalogs: creating one, opening catalog
// files (quietly at start-up, or with messages), saving through a temporary
// file with a backup of the old one, closing with the question whether to
// save, autosave, and the recent-files list. The windows supply a
// TCatalogHost (dialogs, status text, what the views must follow); the
// command line and the tests supply their own.
#pragma once

#include "platform/Prompter.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class TForest;
class TTreeNode;

// The answers CloseCatalog and SaveModifiedCatalogs return.
enum TCloseAnswer : int { caYes = 6, caNo = 7, caCancel = 2 };

// What the catalog operations need from the program around them. Every
// member has a harmless default, so a host overrides only what it has.
class TCatalogHost
{
public:
    virtual ~TCatalogHost() = default;
    virtual Prompter &prompter() { return DefaultPrompter(); }
    // The progress window; null: none.
    virtual ProgressSink *progress() { return nullptr; }
    // The open dialog (filter "Catalog Files (*.ctf)", several existing
    // files); empty when cancelled.
    virtual QStringList chooseOpenFiles(const QString &initialFolder) { (void)initialFolder; return {}; }
    // The save dialog, which itself asks before overwriting; empty when cancelled.
    virtual QString chooseSaveFile(const QString &title, const QString &initialFolder, const QString &fileName)
    {
        (void)title; (void)initialFolder; (void)fileName;
        return {};
    }
    // The one-line text prompt; nothing when cancelled.
    virtual std::optional<QString> askText(const QString &caption, const QString &prompt, const QString &text)
    {
        (void)caption; (void)prompt;
        return text;
    }
    // A search is running: open, save and close are refused.
    virtual bool searchRunning() const { return false; }
    // The program is closing: no list refreshes, no questions beyond those asked.
    virtual bool shuttingDown() const { return false; }
    // The transient status text: mode 0 ends it, bit 0 shows the busy cursor.
    virtual void setStatus(const QString &text, int mode) { (void)text; (void)mode; }
    // Whether a transient status text is shown right now.
    virtual bool statusActive() const { return false; }
    // A catalog node was added (new or opened): expand, select when select is set.
    virtual void catalogShown(TTreeNode *catalogNode, bool select) { (void)catalogNode; (void)select; }
    // Every indicator of the main window (after open, save, close).
    virtual void refresh() {}
    // Free bytes for new files in a folder; a negative value when unknown.
    virtual int64_t freeSpace(const QString &folder);
};

// The settings these operations read.
struct TCatalogFileSettings {
    QString CatalogPathEdit;      // default folder of the dialogs
    bool CreateBakCheck = true;   // keep the old file as ".BAK"
};

// The recently opened catalogs, most recent first, at most four. The
// settings keep them (settings/RecentFiles.h).
class TRecentFiles
{
public:
    static constexpr int kMax = 4;
    const QStringList &files() const { return m_files; }
    // Puts fileName first (an entry naming the same file moves there).
    void add(const QString &fileName);
    void remove(const QString &fileName);
    // Replaces the list as it is, keeping the first kMax entries.
    void setFiles(const QStringList &files);

private:
    QStringList m_files;
};

// The smallest "CatalogN" (N from 1) that no open catalog is named exactly.
QString ProposedCatalogName(const TForest &forest);
// Asks for a name ("New Catalog", "Enter a name for the new catalog:") and
// adds a new, never saved catalog; null when cancelled.
TTreeNode *NewCatalog(TForest &forest, TCatalogHost &host);

// Opens catalog files. With list null the open dialog chooses them (never
// quiet). In quiet mode (start-up lists) entries that fail for good are taken
// out of *list and listChanged is set; outside it, entries go to the recent
// list. Returns the catalogs opened.
std::vector<TTreeNode *> OpenCatalogs(TForest &forest, TCatalogHost &host, QStringList *list, bool quiet,
                                      const TCatalogFileSettings &settings, TRecentFiles *recent = nullptr,
                                      bool *listChanged = nullptr);

// Saves a catalog (askName: "Save As"). The new file is written and flushed
// beside the target, then put in its place, the old file kept as ".BAK" when
// asked; neither the old nor the new file is ever lost, and a failed save
// leaves the catalog reading its old file, usable and savable. True when
// saved or nothing had to be saved.
bool SaveCatalog(TTreeNode *catalogNode, bool askName, TCatalogHost &host, const TCatalogFileSettings &settings);

// Closes a catalog, asking first when it is modified and askToSave is set.
// Returns caYes (saved or nothing to save), caNo (closed without saving) or
// caCancel (not closed: cancelled, or the save failed).
int CloseCatalog(TTreeNode *catalogNode, bool askToSave, TCatalogHost &host, const TCatalogFileSettings &settings);
// Closes every catalog, last first, until one is cancelled; the last answer.
int CloseAllCatalogs(TForest &forest, bool askToSave, TCatalogHost &host, const TCatalogFileSettings &settings);
// Asks for each modified catalog whether to save it; caCancel when the user
// cancels or a save fails, else the last answer (caYes when none was modified).
int SaveModifiedCatalogs(TForest &forest, TCatalogHost &host, const TCatalogFileSettings &settings);
// Saves every modified catalog (a never saved one through the dialog).
void AutoSave(TForest &forest, TCatalogHost &host, const TCatalogFileSettings &settings);

// The message texts of the refusals while a search runs.
QString MsgCantOpenWhileSearching();
QString MsgCantSaveWhileSearching();
QString MsgCantCloseWhileSearching();
