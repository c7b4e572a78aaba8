// libFuzzer entry of the catalog reader. Each input is opened as a catalog
// file; what opens is read completely (folder levels one at a time and as
// whole subtrees, every file list, unloaded and read again), saved with the
// writer, and the saved copy is opened and read again. The input is also
// opened once more and every disk renamed and described at greater length
// with its levels unread, then saved: the writer reads those levels from the
// old file while the disk's header in the new one has grown. The catalog
// store may refuse an input only with its stream errors; any other exception,
// a crash, a hang or a leak is a finding, and so is an input read completely
// whose saved copy does not read completely or saves to other bytes. The same
// entry is linked into the tests, which replay the seed catalogs through it
// where clang is not at hand.
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "platform/Prompter.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QTemporaryFile>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// Answers every message with OK and says nothing.
class SilentPrompter : public Prompter
{
public:
    MsgAnswer ask(const QString &, const QString &, MsgIcon, MsgButtons) override { return MsgAnswer::Ok; }
};

// The file an input is written to, since the reader opens files by name: a
// memory file reused for every input where the system has them, else a
// temporary file.
class InputFile
{
public:
    InputFile()
    {
        m_fd = memfd_create("quillon-catalog-fuzz", 0);
        if (m_fd >= 0) {
            m_path = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
        } else {
            m_temp = std::make_unique<QTemporaryFile>();
            if (m_temp->open())
                m_path = m_temp->fileName();
        }
    }
    ~InputFile()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    const QString &path() const { return m_path; }

    // Replaces the file's content; false when that failed.
    bool write(const char *data, size_t size)
    {
        if (m_fd >= 0) {
            if (ftruncate(m_fd, 0) != 0)
                return false;
            size_t done = 0;
            while (done < size) {
                const ssize_t n = pwrite(m_fd, data + done, size - done, off_t(done));
                if (n <= 0)
                    return false;
                done += size_t(n);
            }
            return true;
        }
        if (!m_temp || !m_temp->resize(0) || !m_temp->seek(0))
            return false;
        const bool ok = m_temp->write(data, qint64(size)) == qint64(size);
        return m_temp->flush() && ok;
    }

private:
    int m_fd = -1;
    std::unique_ptr<QTemporaryFile> m_temp;
    QString m_path;
};

void freeNode(TTreeNode *node)
{
    FreeItemData(node, true, true);
}

// Reads every folder level one at a time and every file list below node,
// and asks for the paths and sizes the windows would show.
void walkLevels(TTreeNode *node)
{
    TItemRec *rec = NodeRec(node);
    if (!rec)
        return;
    if (AsFolder(rec)) {
        LoadSubfolders(node, false, false);
        LoadFileList(node);
        (void)NodePath(node, false, true);
    } else if (TDiskRec *d = AsDisk(rec)) {
        LoadFileList(node);
        for (int which = 0; which < 4; ++which)
            (void)DiskSpace(d, which);
        (void)NodePath(node, true, true);
    }
    for (int i = 0; i < node->childCount(); ++i)
        walkLevels(node->child(i));
}

// Reads whole subtrees with their files from each disk's first level, then
// drops and reads again the file lists that came from the file.
void walkSubtrees(TTreeNode *catalogNode)
{
    for (TTreeNode *disk : catalogNode->children()) {
        LoadFileList(disk);
        for (int i = 0; i < disk->childCount(); ++i)
            LoadSubfolders(disk->child(i), true, true);
    }
    (void)CatalogSizeEstimate(catalogNode);
    std::vector<TTreeNode *> nodes;
    std::vector<TTreeNode *> todo{catalogNode};
    while (!todo.empty()) {
        TTreeNode *n = todo.back();
        todo.pop_back();
        nodes.push_back(n);
        for (TTreeNode *c : n->children())
            todo.push_back(c);
    }
    for (TTreeNode *n : nodes) {
        TItemRec *rec = NodeRec(n);
        if (rec && ItemIs(rec->KindFlags, rfListBlock)) {
            UnloadFileList(n);
            LoadFileList(n);
        }
    }
}

// Opens the file, reads it all one way or the other, and returns what the
// writer made of it (empty when it refused). complete tells whether every
// part was read and written without a refusal.
QByteArray readAndSave(const QString &path, bool bySubtrees, bool &complete)
{
    complete = false;
    TForest forest;
    TTreeNode *catalog = nullptr;
    try {
        catalog = ReadCatalog(forest, path);
    } catch (const EStreamError &) {
        return {};
    }
    bool walked = true;
    try {
        if (bySubtrees)
            walkSubtrees(catalog);
        else
            walkLevels(catalog);
    } catch (const EStreamError &) {
        // A damaged folder level is refused; the rest stays usable.
        walked = false;
    }
    QByteArray saved;
    try {
        QBuffer out;
        out.open(QIODevice::ReadWrite);
        WriteCatalog(catalog, out);
        saved = out.data();
        complete = walked;
    } catch (const EStreamError &) {
    }
    forest.deleteAll(freeNode);
    return saved;
}

// Opens the file, renames and describes every disk with longer texts without
// reading anything below their first levels, and saves.
void growHeadersAndSave(const QString &path)
{
    TForest forest;
    TTreeNode *catalog = nullptr;
    try {
        catalog = ReadCatalog(forest, path);
    } catch (const EStreamError &) {
        return;
    }
    for (TTreeNode *disk : catalog->children()) {
        if (TDiskRec *d = AsDisk(NodeRec(disk))) {
            RenameDisk(disk, disk->text() + " with a longer name than before");
            StoreDescription(d->Desc, QByteArray(120, 'd'));
            SetDiskDirty(disk, true);
        }
    }
    try {
        QBuffer out;
        out.open(QIODevice::ReadWrite);
        WriteCatalog(catalog, out);
    } catch (const EStreamError &) {
    }
    forest.deleteAll(freeNode);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static SilentPrompter prompter;
    static InputFile input;
    static InputFile copy;
    Prompter *previous = &DefaultPrompter();
    SetDefaultPrompter(&prompter);

    // Which way the input is read depends on its length, so that both ways
    // meet damaged input; its saved copy is read the other way.
    if (input.write(reinterpret_cast<const char *>(data), size)) {
        bool complete = false;
        const QByteArray saved = readAndSave(input.path(), size % 2 == 1, complete);
        if (!saved.isEmpty() && copy.write(saved.constData(), size_t(saved.size()))) {
            bool copyComplete = false;
            const QByteArray resaved = readAndSave(copy.path(), size % 2 == 0, copyComplete);
            // What was read completely saves as it reads: the saved copy
            // reads completely, either way, and saves to the same bytes.
            if (complete && (!copyComplete || resaved != saved))
                std::abort();
        }
        growHeadersAndSave(input.path());
    }

    SetDefaultPrompter(previous);
    return 0;
}
