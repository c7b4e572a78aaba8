// The file actions that reach the real medium: where a catalogued item is
// on it, extracting members of catalogued compressed files (each exactly
// once, in one pass per archive), opening a file in its program, showing a
// folder in the file manager, viewing a file, and removing the extracted
// temporary files at exit. The core decides and reports; the desktop's
// services (opening a file, the file manager, starting a viewer, the folder
// dialog) come through TDesktop, implemented by the windows and by tests.
#pragma once

#include "archive/Extract.h"
#include "browser/Commands.h"
#include "catalog/DiskMedium.h"
#include "platform/Prompter.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class TTreeNode;

// ---- where things are on the medium

// The native path of a stored disk-relative "\a\b\name" below root, each
// name matched exactly or else without regard to case (as on the FAT and ISO
// media such paths come from); "\" alone is root. Empty when a part is
// missing or would climb out of root.
QString FindPathBelow(const QString &root, QByteArrayView storedPath);

// The folder that stands for the root of the disk of node on drive letter:
// the drive's root, or the folder of a virtual root below it; empty when
// the drive is not ready or the folder is missing.
QString DiskRootOnDrive(TDrives &drives, QChar letter, TTreeNode *node);

// The folder standing for the root of the disk at or above node on the
// drive that holds its medium (FindMediaForDisk, asking through prompter and
// insertMedia when interactive); empty when none or the user gave up.
QString FindMediumRoot(TDrives &drives, TTreeNode *node, bool interactive, Prompter *prompter,
                       const TInsertMediaQuestion &insertMedia = {});

// What a catalogued item is on its medium.
struct TMediaItem {
    enum class Kind { None, Disk, Folder, File, ArchiveFolder, Member };
    Kind kind = Kind::None;
    QByteArray storedPath;   // disk-relative: the folder, the file or the compressed file
    QByteArray memberName;   // a member's stored name ("docs/a.txt")
    int archiveIndex = 0;    // for members and compressed files: the archive type index, 0 unknown
    QString name;            // the file's, member's (last part) or folder's name
};
TMediaItem MediaItemOf(TTreeNode *node, TFileRec *file);
TMediaItem MediaItemOf(const TCurrentItem &item);

// ---- extraction

// What one extraction wrote.
struct TExtractResult {
    bool ok = false;         // every wanted member was written
    QStringList written;     // per wanted member, in order: its path, empty when not written
};

// Extracts the named members of one archive in one pass into destDir: with
// keepDirs under their stored folders, otherwise by their file names. A name
// is matched against the archive's members as the extractor would write it
// (without regard to case, as the scan may have changed it), and only the
// first member of a name is taken, so a file is never replaced by a second
// member that merely has the same file name. Existing files of those names
// are replaced. With remember the written files go on the temporary-file
// list. The extraction's own messages go to options.prompter.
TExtractResult ExtractMembers(int archiveIndex, const QString &archivePath, const QList<QByteArray> &members,
                              const QString &destDir, bool keepDirs, bool remember, bool showProgress,
                              const TExtractOptions &options = {});

// What is done with the extracted temporary files when the program ends.
enum class TTempExitAction { Ask, Delete, Leave };
// Deletes the files on the extraction state's temporary-file list (asking
// first for Ask) and empties the list; the number of files deleted.
int CleanTemporaryFiles(TTempExitAction action, Prompter &prompter);

// ---- launching

// What opening a file in its program answered, as the checks made before and
// after the desktop's call tell it.
enum class TShellAnswer { Ok, OutOfMemory, FileNotFound, AccessDenied, SharingViolation, NoAssociation };

struct TActionMessage {
    QString caption;
    QString text;
    MsgIcon icon = MsgIcon::Information;
};
// The message of an answer (empty for Ok); fileName gives the type's extension.
TActionMessage ShellAnswerMessage(TShellAnswer answer, const QString &fileName);
// Before the call: a missing file, or one that cannot be read.
TShellAnswer CheckBeforeOpen(const QString &path);
// After the call: opened, or why not (the file went away, no program takes its type).
TShellAnswer AnswerAfterOpen(const QString &path, bool opened, bool hasHandler);

// Programs that may need the rest of their package beside them.
enum class TExeKind { None, Executable, Installation };
// By name alone: "EXE" files, installation when named INSTALL.EXE or SETUP.EXE.
TExeKind ExeKindByName(const QString &name);
// By an extracted file as well: ELF files and files with an execute bit are
// programs too, installation when their name without extension is "install"
// or "setup" (any case).
TExeKind ExeKindOfFile(const QString &path, const QString &name);
// The question asked before launching a program taken out of a compressed file.
TActionMessage LaunchFromArchiveQuestion(TExeKind kind);

// ---- the actions

// The desktop's services.
class TDesktop
{
public:
    virtual ~TDesktop() = default;
    // Opens a file in the program the desktop has for its type; false when it could not.
    virtual bool openFile(const QString &path) = 0;
    // Whether the desktop has a program for the file's type.
    virtual bool hasHandler(const QString &path) = 0;
    // Shows a folder in the file manager, with item selected when not empty.
    virtual bool showFolder(const QString &folder, const QString &item) = 0;
    // Starts a program with arguments in workDir; false when it did not start.
    virtual bool startProgram(const QString &program, const QStringList &arguments, const QString &workDir) = 0;
    // The extract dialog: a folder and the "keep folder structure" box; false when cancelled.
    virtual bool chooseExtractFolder(const QString &caption, QString &folder, bool &keepDirs) = 0;
    // The built-in text viewer on a file.
    virtual void viewText(const QString &path) = 0;
};

// The settings the actions read.
struct TFileActionSettings {
    QString extractDir;
    bool restoreDirs = false;       // RestoreDirCheck
    bool externalViewer = false;    // ExternalViewerCheck
    QString viewerProgram;          // ViewerEdit
};

// The root folder of the medium of the disk at or above a node; empty when
// it is not available (the user may have been asked to insert it).
using TMediumRoot = std::function<QString(TTreeNode *node)>;

class TFileActions
{
public:
    TFileActions(TDesktop &desktop, Prompter &prompter, TMediumRoot mediumRoot, TFileActionSettings settings,
                 ProgressSink *progress = nullptr)
        : m_desktop(desktop), m_prompter(prompter), m_mediumRoot(std::move(mediumRoot)),
          m_settings(std::move(settings)), m_progress(progress) {}

    // "Open in Explorer": the folder of the item (for a member, the folder
    // holding its compressed file) in the file manager.
    bool openInExplorer(const TCurrentItem &item);
    // "Launch File": a file, a compressed file, or a member taken out first.
    bool launch(const TCurrentItem &item);
    // "View File": the external viewer or the built-in one.
    bool view(const TCurrentItem &item);
    // "Extract To...": the members and compressed files among items, one
    // pass per compressed file; other items are skipped.
    bool extractTo(const std::vector<TCurrentItem> &items);

    // The path a file would be opened from (members extracted to the extract
    // folder first); empty when that failed (and the user was told).
    QString localFile(const TCurrentItem &item, bool askAboutPrograms, bool *handled = nullptr);

private:
    void say(const TActionMessage &message);
    bool open(const QString &path);
    TExtractOptions extractOptions() const;

    TDesktop &m_desktop;
    Prompter &m_prompter;
    TMediumRoot m_mediumRoot;
    TFileActionSettings m_settings;
    ProgressSink *m_progress;
};
