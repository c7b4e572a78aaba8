// The catalog manager's core: carrying a disk with everything below it from
// one open catalog into another, by copy or by move. The main window's drag
// and drop of disks between catalogs and the catalog manager window both use
// it; neither saves anything, the catalogs reach their files when saved.
#pragma once

class TTreeNode;

// Copies (move false) or moves (move true) sourceDisk with its whole subtree
// into targetCatalog as its last disk, under the unique form of its name in
// that catalog. Every folder level and file list of the source that is not in
// memory yet is read first, from the source catalog's file; when that fails
// (EStreamError) nothing is changed in the target and the exception passes on.
// The new disk keeps descriptions, categories and flags, attributes and the
// virtual-root data, is written in full at the next save of the target, and
// the target is marked modified. A copy owns records of its own; a move hands
// the records themselves over (so the result lists keep showing them) and
// marks the source catalog modified. Moving a disk onto its own catalog
// changes nothing. Returns the disk node under targetCatalog; null when the
// arguments are not a disk and a catalog.
TTreeNode *TransferDisk(TTreeNode *sourceDisk, TTreeNode *targetCatalog, bool move);
