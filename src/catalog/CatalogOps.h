// Operations on catalogs that the windows and the command line share:
// finding items by path, renaming disks with unique names, storing edited
// descriptions.
#pragma once

#include "catalog/CatalogRec.h"

#include <QByteArray>
#include <QString>

class TTreeNode;

// The unique form of a disk name within its catalog: a trailing " (n)" with n
// a whole number above 1 is cut first; then the name, or the name + " (n)" for
// n = 2, 3, ..., the first that no other disk of the catalog has (exact case).
// except, when given, does not count as another disk.
QByteArray UniqueDiskName(TTreeNode *catalogNode, const QByteArray &name, TTreeNode *except = nullptr);
// Renames a disk to the unique form of newName and marks it changed. An empty
// name changes nothing. Returns the name taken.
QByteArray RenameDisk(TTreeNode *diskNode, const QByteArray &newName);

// Steps 1-3 of description normalization: lines split at CR LF, LF CR, CR or
// LF; each line trimmed of tabs, spaces, 1Ah and FFh; joined with CR LF;
// trailing blanks removed.
QByteArray NormalizeDescriptionLines(QByteArrayView text);
// Frees the old text; an empty text leaves the field null; otherwise the
// normalized text, cut to 4096 bytes, becomes the new description.
void StoreDescription(TText &field, QByteArrayView text);

// Finds a disk of the catalog by name (exact); null when none.
TTreeNode *FindDisk(TTreeNode *catalogNode, QByteArrayView name);
// Finds a folder below a disk or folder by a "\"-separated relative path,
// reading folder levels as needed; null when a component is missing.
TTreeNode *FindFolder(TTreeNode *from, QByteArrayView relPath);
// Finds a file of a folder's or disk's chain by name (exact), loading the
// chain; null when none.
TFileRec *FindFile(TTreeNode *folderOrDisk, QByteArrayView name);

// Deletes a node (a catalog, disk or folder) with its subtree and records:
// the result lists' notes are cleared first, freed records are nulled in the
// lists, and the lists that changed are compacted afterwards.
void DeleteNodeWithRecords(TTreeNode *node);
