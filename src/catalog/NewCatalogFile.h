// The new file of a catalog save, written so that a crash or power cut at
// any moment leaves nothing behind but the old catalog: the file is created
// without a name (O_TMPFILE) in the folder it will live in and gets its name
// only once it is complete and on the disk. Where the file system cannot make
// unnamed files, it has a name recognisable as a save's temporary file of
// that catalog (".<catalog file name>.ctfXXXXXX"), locked while the save
// runs; such files left by a killed save are removed at the next save or
// open of the catalog. The new file takes the mode and group of the file it
// replaces, or the default mode under the umask when there is none.
#pragma once

#include <QFile>
#include <QString>

#include <cstdint>
#include <memory>

class TNewCatalogFile
{
public:
    // Creates the file in folder for the catalog target (the file it will
    // replace or become; its mode and group are copied when it exists).
    // Raises EWriteError when no file can be created there.
    TNewCatalogFile(const QString &folder, const QString &target);
    // Removes the file when it was never put in place.
    ~TNewCatalogFile();
    TNewCatalogFile(const TNewCatalogFile &) = delete;
    TNewCatalogFile &operator=(const TNewCatalogFile &) = delete;

    // The open file, for writing (unbuffered: every write goes to the file).
    QFile &device() { return m_file; }
    int handle() const { return m_fd; }
    // Flushes the file's data to the device; false on failure.
    bool sync();
    // The file's size now.
    int64_t size() const;
    // Gives the complete file a temporary name in its folder (an unnamed file
    // is linked in) and returns it; rename(2) then puts it in place. Empty on
    // failure, with errno set. The file stays locked until this object goes.
    QString name();
    // The file is in place under another name: nothing to remove at the end.
    void release() { m_path.clear(); m_released = true; }
    // True when the file has no name in its folder (made with O_TMPFILE).
    bool unnamed() const { return m_path.isEmpty() && !m_released; }

    // Removes the temporary files that killed saves of the catalog target
    // left in its folder and in the temporary folder (files a running save
    // holds are locked and stay). Returns how many went.
    static int RemoveStale(const QString &target);
    // Tests only: pretend the file system cannot make unnamed files.
    static void SetUnnamedAllowed(bool allowed);

private:
    QString m_folder;
    QString m_target;
    QString m_path;   // the file's name while it has one
    int m_fd = -1;
    bool m_released = false;
    QFile m_file;
};

// Copies count bytes from inFd at inOffset to outFd at outOffset, leaving
// both files' positions alone: copy_file_range where the system offers it,
// else through a large buffer. False when the source ends early or a read or
// write fails (errno tells why).
bool CopyFileBytes(int inFd, int64_t inOffset, int outFd, int64_t outOffset, int64_t count);

// Flushes a folder's entries (a rename into it) to the device; best effort,
// as some file systems refuse it for folders.
void SyncFolder(const QString &folder);
