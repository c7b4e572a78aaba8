// The catalog file type on the desktop, for the current user: a desktop entry
// that opens catalogs with this program, and a shared-mime-info package that
// names "*.ctf" files, and files that begin with a catalog signature,
// application/x-quillon-catalog; the program's icon goes beside them for the
// program and for the type. Everything lives in the user's data folder
// ($XDG_DATA_HOME, else ~/.local/share) and is written at every start. A file
// is replaced through a temporary file and a rename, and only when its
// content differs, so a start that changes nothing writes nothing; the
// desktop's caches are then rebuilt by their own tools, without waiting for
// them. Nothing here is fatal: the program starts whatever fails.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The MIME type of catalog files.
inline constexpr char kCatalogMimeType[] = "application/x-quillon-catalog";
// The type's name as the desktop shows it.
inline constexpr char kCatalogTypeComment[] = "Quillon Catalog File";

// What to register and the services used for it (replaceable in tests).
struct TFileTypeRegistration {
    QString ProgramPath;    // absolute path of the executable, for the Exec line
    QByteArray IconSvg;     // the program's icon as SVG; empty: no icon files
    // The signatures a catalog file begins with (each followed by a zero
    // byte in the file); empty: the type is known by its name only.
    QList<QByteArray> Signatures;
    QString DataHome;       // empty: XdgDataHome()
    // Finds a helper program by name; empty result when it is not there.
    // Unset: QStandardPaths::findExecutable.
    std::function<QString(const QString &name)> FindProgram;
    // Starts a helper program without waiting for it; true when it started.
    // Unset: QProcess::startDetached.
    std::function<bool(const QString &program, const QStringList &arguments)> StartProgram;
};

// What a registration did, file by file.
struct TFileTypeResult {
    QStringList Written;     // files created or replaced
    QStringList Unchanged;   // files that already held the same content
    QStringList Failed;      // files that could not be written
    QStringList Started;     // helper programs started, with their argument
    bool ok() const { return Failed.isEmpty(); }
};

// The user's data folder: $XDG_DATA_HOME when it is an absolute path, else
// ~/.local/share; empty when neither can be told.
QString XdgDataHome();

// One argument of a desktop entry's Exec line, quoted and escaped as the
// desktop entry rules require; empty when the text cannot be written there
// (control characters, empty text).
QString DesktopExecArgument(const QString &argument);

// The desktop entry of the program; empty when programPath cannot be written
// in an Exec line.
QByteArray CatalogDesktopEntry(const QString &programPath);

// The shared-mime-info package of the catalog type: "*.ctf" files, and
// files that begin with one of signatures and its terminating zero byte.
QByteArray CatalogMimePackage(const QList<QByteArray> &signatures);

// The result of writing one file.
enum class TWriteResult { Unchanged, Written, Failed };

// Writes content to fileName through a temporary file in the same folder and
// a rename (creating the folder), unless the file holds exactly that content
// already. A failed write leaves the old file as it was.
TWriteResult WriteFileIfChanged(const QString &fileName, const QByteArray &content);

// Writes the desktop entry, the MIME package and the icons under the data
// folder and starts update-mime-database and update-desktop-database, when
// they exist, for what changed (or was never built). Never throws; failures
// are listed in the result and otherwise ignored.
TFileTypeResult RegisterCatalogFileType(const TFileTypeRegistration &registration);
