// Reading and writing catalog files. Opening reads the catalog header, the
// disk headers and the first folder level of each disk; deeper folder levels
// and file lists are read on demand from the catalog's open Stream. Saving
// rewrites changed disks from memory and copies unchanged disks and never-read
// file lists from the old file as byte ranges. docs/catalog-format.md has the
// layout.
#pragma once

#include "catalog/CatalogRec.h"
#include "catalog/ReadAhead.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class TForest;
class TTreeNode;
class Prompter;

inline constexpr int kCatalogReadBuffer = 16384;
inline constexpr int kCatalogWriteBuffer = 32768;
inline constexpr int kSignatureBytes = 13;
extern const char kSignatureNarrow[];   // "Catalog 1.00"
extern const char kSignatureWide[];     // "Catalog 2.00"

// Fixed blocks of the two layouts, in bytes.
inline constexpr int kDiskBlock1 = 24;          // RecLength .. ListDescBytes
inline constexpr int kDiskBlock2Narrow = 47;    // MediaType .. Reserved
inline constexpr int kDiskBlock2Wide = 49;      // TotalFolders as int32
inline constexpr int kFolderBlock = 39;         // ListOffset .. CatFlags
inline constexpr int kFileBlockNarrow = 18;     // Attr .. CatFlags
inline constexpr int kFileBlockWide = 22;       // Size as int64

// The system's messages of the catalog store.
QString MsgNotACatalog();      // "This is not a valid catalog file!"
QString MsgStructureError();   // "Internal catalog structure error detected."
QString MsgStringTooLong();    // "String data too long!"

// Icons of the catalog tree (the order of the tree's image list).
enum TreeImage : int {
    tiCatalog = 0,
    tiFolder = 1,
    tiFolderOpen = 2,
    tiZipFolder = 3,
    tiZipFolderOpen = 4,
    tiDiskFirst = 5,   // tiDiskFirst + MediaType; virtual roots use tiVirtualRoot
    tiVirtualRoot = tiDiskFirst + 16,
    tiCompressedDisk = tiVirtualRoot + 1,
};
// Sets a disk node's images from its media type and kind byte.
void SetDiskImages(TTreeNode *diskNode);

// Reads the signature and catalog header of fileName and adds the catalog
// node to the forest, with its Stream open. Raises EReadBufferError or
// EInvalidCatalog; on failure nothing is added.
TTreeNode *ReadCatalogHeader(TForest &forest, const QString &fileName);
// Reads one disk header at the stream's position and adds the disk node.
TTreeNode *ReadDiskHeader(TTreeNode *catalogNode);
// Reads the whole catalog: header, every disk header and each disk's first
// folder level. On failure the partly built catalog is deleted and the
// exception passed on.
TTreeNode *ReadCatalog(TForest &forest, const QString &fileName);

// Creates the child folder nodes of a disk or folder node from the file: one
// level, or every level below it; withFiles also loads the file lists of the
// node and of every folder created. Raises EInvalidCatalog on damage.
void LoadSubfolders(TTreeNode *node, bool wholeSubtree, bool withFiles);
// Reads the file list of a disk or folder whose FilesLoaded is 0. A damaged
// list keeps the files read completely and reports through prompter (the
// default prompter when null); the node then counts as loaded.
void LoadFileList(TTreeNode *node, Prompter *prompter = nullptr);

// One entry of a file list as the file stores it, viewed in place before any
// record is built: the views hold only for the call they are handed to.
struct TFileEntryView {
    QByteArrayView name, desc;   // desc empty: no description
    int64_t size = 0;
    uint32_t created = 0, modified = 0, accessed = 0;
    uint8_t attr = 0, catFlags = 0;
    uint8_t kindFlags = 0;       // as the record would get it (rkFile, rfCompressed for members)
    // How many bytes of the buffer lie right before name and may be read
    // along with it (wide loads that mask them off); 0 when unknown.
    int bytesBefore = 0;
};

// Decides whether a file list is worth reading into records.
class TFileListFilter
{
public:
    virtual ~TFileListFilter() = default;
    // Called for the list's entries in order until one is wanted.
    virtual bool wanted(const TFileEntryView &entry) = 0;
};

// LoadFileList when filter wants one of the list's entries; otherwise the
// entries are only looked at and the list stays unread (FilesLoaded 0, no
// record, no memory kept). A damaged list is read as LoadFileList reads it,
// so its damage is reported the same way. Returns whether the list was read.
bool LoadFileListIf(TTreeNode *node, TFileListFilter &filter, Prompter *prompter = nullptr);

// Creates a new, never saved catalog node with the given name.
TTreeNode *NewCatalogNode(TForest &forest, const QByteArray &name);
// Adds a disk node with a fresh record (Dirty, not in any file) under a catalog.
TTreeNode *AddDiskNode(TTreeNode *catalogNode, const QByteArray &name, int index = -1);
// Adds a folder node with a fresh record under a disk or folder.
TTreeNode *AddFolderNode(TTreeNode *parentNode, const QByteArray &name, int index = -1);
// Appends a file record allocated on its own to a folder's or disk's chain
// and keeps its FileCount; the record is owned by the chain. after, when the
// caller knows it, is the chain's last record (appending in a loop); null
// walks to the end. A chain read from the file is first turned into single
// records, since a list block never mixes with them.
TFileRec *AppendFile(TTreeNode *folderOrDisk, QByteArrayView name, TFileRec *after = nullptr);
// Sets a folder node's images from its kind byte (compressed file or folder).
void SetFolderImages(TTreeNode *folderNode);

// The layout a save of this catalog needs: wide when a value in memory or in
// the old file's unread parts does not fit the narrow one.
CatalogVariant RequiredVariant(TTreeNode *catalogNode);

// Writes the whole catalog into out: signature, header, every disk. Changed
// disks are written from memory, unchanged ones copied from the old file when
// it has the same layout. On success the catalog's and disks' offsets refer to
// the new file and Dirty is 0; on failure (EStreamError) every offset and
// dirty mark is as it was before, so the catalog stays usable and savable.
// Refuses (EWriteError) when disk data live only in an old file that is gone.
// Returns the layout written; the caller points the catalog's Stream at the
// new file and sets its Variant (SaveCatalogTo does both).
CatalogVariant WriteCatalog(TTreeNode *catalogNode, QIODevice &out);

// What a save changed in memory (offsets, dirty marks), kept after a
// successful write so that the change can still be taken back when the new
// file cannot be put in place of the old one.
class TSaveUndo
{
public:
    TSaveUndo();
    ~TSaveUndo();
    TSaveUndo(const TSaveUndo &) = delete;
    TSaveUndo &operator=(const TSaveUndo &) = delete;
    // Puts back every value the save changed; the catalog describes its old file again.
    void undo();

private:
    friend CatalogVariant WriteCatalogUndoable(TTreeNode *catalogNode, QIODevice &out, TSaveUndo &undo,
                                               const std::function<void(TTreeNode *diskNode)> &diskWritten);
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// WriteCatalog that keeps what it changed in undo (on success; a failure
// rolls back at once as WriteCatalog does). diskWritten, when given, is told
// of each disk once it is in the new file (for a progress bar).
CatalogVariant WriteCatalogUndoable(TTreeNode *catalogNode, QIODevice &out, TSaveUndo &undo,
                                    const std::function<void(TTreeNode *diskNode)> &diskWritten = {});

// Saves the catalog to fileName through a temporary file in the same folder
// that replaces the target only when it is complete and flushed; then reopens
// the catalog's Stream on the new file. Raises EStreamError on failure,
// leaving the catalog and any existing file as they were.
void SaveCatalogTo(TTreeNode *catalogNode, const QString &fileName);
