// How quillon-cli reaches catalogs: opening a catalog file, saving it through
// the program's own save, and finding a disk, folder or file by the
// DISK\PATH\NAME form the commands take.
#pragma once

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "settings/Options.h"

#include <QString>

namespace cli {

// The program's settings as stored, or the initial ones when none are (or
// when they are of another layout revision). Reads, never writes.
TOptions StoredSettings();

// Saves through the program's own save: a temporary file flushed to the disk,
// then put in place of the old file, which is kept as ".BAK" when the settings
// say so. target is the file for a first save or a save under a new name.
// Throws CommandError when the catalog was not saved.
void SaveCatalogFile(TTreeNode *catalogNode, const QString &target, bool saveAs);

// One catalog read from its file; everything it built is freed on destruction.
// Throws what the catalog store throws when the file cannot be read.
class OpenCatalog
{
public:
    // What to do when the file does not exist: fail as the catalog store
    // does, or start a new empty catalog named after the file, written by
    // the first save.
    enum class IfMissing { Fail, Create };

    // The catalog keeps the full path of its file.
    explicit OpenCatalog(const QString &fileName, IfMissing ifMissing = IfMissing::Fail);
    ~OpenCatalog();
    OpenCatalog(const OpenCatalog &) = delete;
    OpenCatalog &operator=(const OpenCatalog &) = delete;

    TTreeNode *node() const { return m_node; }
    TCatalogRec *record() const { return AsCatalog(NodeRec(m_node)); }
    // Writes the catalog back to its file.
    void save() const { SaveCatalogFile(m_node, m_fileName, false); }

private:
    QString m_fileName;
    TForest m_forest;
    TTreeNode *m_node = nullptr;
};

// A disk or folder, or a file of the chain of one.
struct Target {
    TTreeNode *node = nullptr;
    TFileRec *file = nullptr;
};

// Resolves DISK[\PATH[\NAME]]. The disk is the longest disk name that is the
// whole text or is followed by a separator (disk names may hold "\" or "/");
// then folders are followed as far as they exist, and with allowFile the rest
// names a file of the last folder. Throws CommandError when nothing matches.
Target ResolveTarget(TTreeNode *catalogNode, const QString &itemArg, bool allowFile);

} // namespace cli
