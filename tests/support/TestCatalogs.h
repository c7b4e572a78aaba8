// Helpers shared by the catalog store's tests: a fixture with a temporary
// folder and a forest, a byte writer that builds catalog files field by field
// (so tests check the file layout without going through the program's own
// writer), the sample catalog several tests share, a builder of the same
// catalog as an in-memory forest, a canonical
// text dump of a catalog for round-trip comparisons, a scripted Prompter, a
// small result list, and a device whose writes fail after a number of bytes.
#pragma once

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "catalog/ResultLists.h"
#include "platform/Prompter.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace testcat {

// ---------------------------------------------------------------- bytes

// Little-endian writer of the primitive types of the catalog file.
class ByteWriter
{
public:
    ByteWriter &u8(uint8_t v);
    ByteWriter &u16(uint16_t v);
    ByteWriter &i32(int32_t v);
    ByteWriter &u32(uint32_t v);
    ByteWriter &i64(int64_t v);
    ByteWriter &f64(double v);
    ByteWriter &bytes(QByteArrayView b);
    // A CountedText whose length field is the text's real length.
    ByteWriter &counted(QByteArrayView text);
    // A CountedText with a length field that may lie about the bytes after it.
    ByteWriter &countedRaw(uint16_t lengthField, QByteArrayView text);
    // A ShortText; the length byte is the text's length (at most 255).
    ByteWriter &shortText(QByteArrayView text);

    int64_t pos() const { return m_data.size(); }
    const QByteArray &data() const { return m_data; }
    QByteArray &data() { return m_data; }

private:
    QByteArray m_data;
};

// Overwrites bytes of a buffer in place (for damaging files at known places).
void PatchU8(QByteArray &bytes, int64_t at, uint8_t v);
void PatchU16(QByteArray &bytes, int64_t at, uint16_t v);
void PatchI32(QByteArray &bytes, int64_t at, int32_t v);
int32_t PeekI32(const QByteArray &bytes, int64_t at);
uint16_t PeekU16(const QByteArray &bytes, int64_t at);
int64_t PeekI64(const QByteArray &bytes, int64_t at);

// ---------------------------------------------------------------- hand-built catalogs

struct HandFile {
    QByteArray name;
    uint8_t attr = faArchive;
    uint32_t created = 0, modified = 0, accessed = 0;
    int64_t size = 0;
    uint8_t catFlags = 0;
    QByteArray desc;
};

// A folder entry of the folder-tree part; folders of a disk are listed in
// pre-order with their depth (1 = in the disk's root).
struct HandFolder {
    uint8_t kind = rkFolder;
    int depth = 1;
    QByteArray name;
    std::vector<HandFile> files;
    int64_t totalSize = 0;
    uint8_t attr = faDirectory;
    uint32_t created = 0, modified = 0, accessed = 0;
    uint8_t reserved = 0;
    uint8_t catFlags = 0;
    QByteArray desc;
};

struct HandDisk {
    uint8_t kind = rkDisk | rfInSearch;
    QByteArray name;
    uint8_t mediaType = 5;
    uint8_t scanFlags = 0;
    int32_t bytesPerSector = 512;
    int32_t sectorsPerCluster = 8;
    int32_t maxNameLen = 255;
    int32_t totalFiles = 0;
    int32_t archiveFiles = 0;
    int32_t totalFolders = 0;   // uint16 in the narrow layout, int32 in the wide one
    int32_t totalClusters = 100000;
    int32_t freeClusters = 2500;
    double updated = 45000.5;
    uint32_t serial = 0x1234ABCD;
    uint8_t reserved = 0;
    QByteArray volumeLabel;
    QByteArray fileSystem;
    QByteArray rootPath;          // only with rfVirtualRoot
    int32_t outsideClusters = 0;  // only with rfVirtualRoot
    QByteArray desc;
    std::vector<HandFile> rootFiles;
    std::vector<HandFolder> folders;   // pre-order
};

struct HandCatalog {
    QByteArray name = "Test Catalog";
    QByteArray desc;
    std::vector<TCategory> categories;
    QByteArray flagNames[3];
    int categoryCountByte = -1;   // >= 0: written instead of the count the writer would choose
    CatalogVariant variant = CatalogVariant::Narrow;
    std::vector<HandDisk> disks;
};

// Where things ended up in a hand-built file; all positions are absolute.
struct HandListLayout {
    int64_t start = -1;       // -1 when the node has no files
    int64_t bytes = -1;
    int32_t descBytes = 0;
    std::vector<int64_t> entries;   // each entry's name length byte
};
struct HandFolderLayout {
    int64_t entry = 0;   // kind byte
    int64_t block = 0;   // first byte of the 39-byte block
    HandListLayout list;
};
struct HandDiskLayout {
    int64_t start = 0;         // kind byte
    int64_t headerEnd = 0;     // first byte after the disk description
    int64_t recLength = 0;
    int64_t treeOffset = 0;    // relative to start
    int64_t block2 = 0;        // first byte of the 47/49-byte block
    HandListLayout rootList;
    std::vector<HandFolderLayout> folders;

    int64_t recLengthAt() const { return start + 1; }
    int64_t treeOffsetAt() const { return start + 5; }
    int64_t listOffsetAt() const { return start + 9; }
    int64_t listBytesAt() const { return start + 13; }
    int64_t fileCountAt() const { return start + 17; }
    int64_t listDescBytesAt() const { return start + 21; }
    int64_t end() const { return start + recLength; }
};
struct HandLayout {
    int64_t headerEnd = 0;   // first byte after the category block
    std::vector<HandDiskLayout> disks;
};
// Offsets inside a folder's 39-byte block.
inline constexpr int kFbListOffset = 0, kFbListBytes = 4, kFbFileCount = 8, kFbListDescBytes = 12,
                     kFbTotalSize = 16;

// ---------------------------------------------------------------- the sample catalog

// A file with the given fields and times derived from its size and name, so
// that every file of a sample differs in every stored field.
HandFile SampleFile(const QByteArray &name, int64_t size, const QByteArray &desc = {}, uint8_t attr = faArchive,
                    uint8_t catFlags = 0);
// A folder at depth holding files; its total size is ten thousand times its
// files' sizes, and it is marked described when a file is.
HandFolder SampleFolder(int depth, const QByteArray &name, std::vector<HandFile> files = {}, uint8_t flags = 0);
// The sample catalog of the store's tests: two disks, a CD with root files
// and a folder tree three levels deep (with a compressed-file folder), and a
// virtual root without root files; categories, flag names and descriptions
// at every level.
HandCatalog SampleCatalog();

// Bytes of a catalog file laid out exactly as the format says, independent
// of the program's writer.
QByteArray BuildCatalogBytes(const HandCatalog &catalog, HandLayout *layout = nullptr);

// The same catalog as a never-saved forest, built through the program's
// record functions. Kind bytes are taken as given.
TTreeNode *BuildForest(TForest &forest, const HandCatalog &catalog);

// ---------------------------------------------------------------- walking and dumping

// Reads every unread folder level and file list below node, level by level
// (LoadSubfolders one level, LoadFileList), as a browsing user would.
void LoadEverything(TTreeNode *node);
// Nodes below node (node itself not counted).
int CountDescendants(const TTreeNode *node);
// Calls fn for node and every node below it, parents first.
void ForEachNode(TTreeNode *node, const std::function<void(TTreeNode *)> &fn);
// The file records of a folder's or disk's chain.
std::vector<TFileRec *> Chain(TTreeNode *node);

enum DumpFlag {
    DumpLoad = 1,      // read every unread part first
    DumpState = 2,     // memory state: offsets, loaded marks, dirty marks, images
};
// A canonical text of a catalog: every node, every stored record field and
// every file. Without DumpState it holds only what a catalog file stores, so
// that a catalog and its saved-and-reopened copy dump the same.
QString DumpCatalog(TTreeNode *catalogNode, int flags = DumpLoad);
QString DumpNode(TTreeNode *node, int flags = DumpLoad);

// Deletes a catalog node with its records, as closing a catalog does.
void DeleteCatalog(TForest &forest, TTreeNode *catalogNode);

// Writes the catalog into a memory buffer with WriteCatalog. Note that this
// moves the catalog's offsets to the buffer's layout.
QByteArray WriteToBytes(TTreeNode *catalogNode);

bool WriteFileBytes(const QString &path, const QByteArray &bytes);
QByteArray ReadFileBytes(const QString &path);

// Escapes bytes for messages: printable ASCII kept, others as \xHH.
QString Printable(QByteArrayView bytes);

// ---------------------------------------------------------------- doubles

// A Prompter that records every message and answers from a script (OK when
// the script is used up).
class ScriptedPrompter : public Prompter
{
public:
    struct Message {
        QString caption;
        QString text;
        MsgIcon icon;
        MsgButtons buttons;
    };
    MsgAnswer ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons) override;

    std::vector<Message> messages;
    std::vector<MsgAnswer> answers;
};

// Installs a prompter as the program-wide default for its lifetime.
class ScopedDefaultPrompter
{
public:
    explicit ScopedDefaultPrompter(Prompter *p) { SetDefaultPrompter(p); }
    ~ScopedDefaultPrompter() { SetDefaultPrompter(nullptr); }
};

// A result list as the windows will keep one: a vector of record pointers
// whose records carry their index as position hint.
class VectorResultList : public TResultList
{
public:
    explicit VectorResultList(ResultListId id) : m_id(id) {}
    int count() const override { return int(m_entries.size()); }
    TItemRec *at(int index) const override { return m_entries[size_t(index)]; }
    void setNull(int index) override { m_entries[size_t(index)] = nullptr; ++setNullCalls; }
    void compact() override;

    // Appends rec and sets its hint for this list.
    int add(TItemRec *rec);
    // Appends rec without touching its hint (filler or deliberately wrong hints).
    int addRaw(TItemRec *rec);
    ResultListId id() const { return m_id; }

    int setNullCalls = 0;
    int compactCalls = 0;

private:
    ResultListId m_id;
    std::vector<TItemRec *> m_entries;
};

// Registers a list for its lifetime.
class ScopedResultList
{
public:
    explicit ScopedResultList(VectorResultList &list) : m_id(list.id()) { RegisterResultList(m_id, &list); }
    ~ScopedResultList() { RegisterResultList(m_id, nullptr); }

private:
    ResultListId m_id;
};

// A buffer whose writes fail once more than limit bytes were written in all.
class FailingDevice : public QBuffer
{
public:
    explicit FailingDevice(int64_t limit) : m_limit(limit) {}
    int64_t written() const { return m_written; }
    bool failed() const { return m_failed; }

protected:
    qint64 writeData(const char *data, qint64 len) override;

private:
    int64_t m_limit;
    int64_t m_written = 0;
    bool m_failed = false;
};

// ---------------------------------------------------------------- fixture

// A temporary folder, a forest and a scripted default prompter; every
// catalog left in the forest is deleted at the end.
class CatalogFixture : public ::testing::Test
{
protected:
    CatalogFixture();
    ~CatalogFixture() override;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Writes bytes to a file in the temporary folder and opens it as a catalog.
    TTreeNode *openBytes(const QByteArray &bytes, const QString &name = QStringLiteral("c.ctf"));
    TTreeNode *open(const QString &file);
    // Saves through SaveCatalogTo and returns the file's bytes.
    QByteArray save(TTreeNode *catalogNode, const QString &file);
    void closeCatalog(TTreeNode *catalogNode) { DeleteCatalog(m_forest, catalogNode); }

    QTemporaryDir m_dir;
    TForest m_forest;
    ScriptedPrompter m_prompter;
    ScopedDefaultPrompter m_prompterScope{&m_prompter};
};

} // namespace testcat
