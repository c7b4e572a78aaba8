// Compare Files to Catalog: the files of a folder (optionally with its
// subfolders) looked up by name in chosen catalogs and disks. A name found
// nowhere makes the file new; every catalog entry of a found name is listed
// once, as found (the same by the chosen properties) or as found but
// changed. The results fill a TCompareWork in its files mode.
#pragma once

#include "compare/CompareToMedia.h"

#include <QByteArray>
#include <QString>

#include <vector>

class TTreeNode;

// The properties that make a catalogued copy "the same" besides its name.
struct TSameChecks {
    bool Size = true;       // SameSizeCheck
    bool Date = true;       // SameDateCheck
    bool Attributes = false;// SameAttrCheck
};

// Whether the catalog entry (a file record or a compressed-file folder) is
// the same as a source file by the chosen checks; the name is equal by
// construction.
bool SameAsSource(const TItemRec *entry, const EntryInfo &file, const TSameChecks &checks);

QString MsgCheckingStatus();       // "Checking if files exist in the catalog, please wait"
QString MsgLoadingDisk(const QString &diskName);   // "Loading disk \"NAME\""
QString MsgSortingFiles();         // "Sorting files, please wait..."
QString MsgSearchingFiles();       // "Searching for files, please wait..."
QString MsgNoFilesCaption();       // "No files found"
QString MsgNoFilesText(const QString &folder);
// "Folder \"PATH\" does not exist!" (caption: MsgInvalidFolderCaption of the settings).
QString MsgInvalidFolderText(const QString &folder);

// Checks the files of sourceFolder (a native path) against the scope: each
// node a catalog (all its disks) or a disk. With subfolders the folders
// below are walked too. rules.Subfolders is set from subfolders. Ends with
// work.Status set: Cancelled (lists cleared) when the progress was
// cancelled, Failed with a message when the catalog is damaged or the source
// folder cannot be read.
void CheckFilesToCatalog(TCompareWork &work, const std::vector<TTreeNode *> &scope, const QByteArray &sourceFolder,
                         bool subfolders, const TSameChecks &checks, TWalkRules rules,
                         TCompareProgress *progress = nullptr);
