// Registration of the catalog file type with the freedesktop desktop.
#include "platform/FileTypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// Where each file goes below the data folder.
const char kDesktopFile[] = "applications/quillon.desktop";
const char kMimePackageFile[] = "mime/packages/quillon-catalog.xml";
const char kAppIconFile[] = "icons/hicolor/scalable/apps/quillon.svg";
const char kTypeIconFile[] = "icons/hicolor/scalable/mimetypes/application-x-quillon-catalog.svg";
// What the tools build from them; missing means the tool never ran (or failed).
const char kMimeBuiltFile[] = "mime/application/x-quillon-catalog.xml";
const char kDesktopCacheFile[] = "applications/mimeinfo.cache";

// Files this registration writes are a few kilobytes; anything much larger
// at their place is not ours and is simply replaced.
constexpr qint64 kMaxCompareBytes = 1024 * 1024;

// Characters that force an Exec argument into double quotes.
bool reservedInExec(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

// The signature as a shared-mime-info string value: the text and its
// terminating zero byte, which the format writes as "\0".
QString magicValue(const QByteArray &signature)
{
    return QString::fromLatin1(signature) + QStringLiteral("\\0");
}

} // namespace

QString XdgDataHome()
{
    const QString fromEnv = qEnvironmentVariable("XDG_DATA_HOME");
    // The variable counts only as an absolute path; anything else is ignored.
    if (!fromEnv.isEmpty() && QDir::isAbsolutePath(fromEnv))
        return QDir::cleanPath(fromEnv);
    const QString home = QDir::homePath();
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        return {};
    return QDir::cleanPath(home + QStringLiteral("/.local/share"));
}

QString DesktopExecArgument(const QString &argument)
{
    if (argument.isEmpty())
        return {};
    bool quote = false;
    for (const QChar c : argument) {
        // A line break or other control character cannot stand in a one-line value.
        if (c.category() == QChar::Other_Control)
            return {};
        if (reservedInExec(c))
            quote = true;
    }
    QString out;
    out.reserve(argument.size() + 8);
    if (quote)
        out += QLatin1Char('"');
    for (const QChar c : argument) {
        if (c == QLatin1Char('%')) {
            out += QStringLiteral("%%");   // a literal percent, not a field code
            continue;
        }
        if (quote && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                      c == QLatin1Char('\\')))
            out += QLatin1Char('\\');
        out += c;
    }
    if (quote)
        out += QLatin1Char('"');
    // The value is a string first: every backslash is escaped once more.
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return out;
}

QByteArray CatalogDesktopEntry(const QString &programPath)
{
    const QString exec = DesktopExecArgument(programPath);
    if (exec.isEmpty())
        return {};
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=Quillon\n");
    text += QStringLiteral("GenericName=Disk Catalog\n");
    text += QStringLiteral("Comment=Catalog your disks and find files on them\n");
    text += QStringLiteral("Exec=") + exec + QStringLiteral(" %F\n");
    text += QStringLiteral("Icon=quillon\n");
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("MimeType=") + QLatin1String(kCatalogMimeType) + QStringLiteral(";\n");
    text += QStringLiteral("Categories=Utility;Archiving;\n");
    return text.toUtf8();
}

QByteArray CatalogMimePackage(const QList<QByteArray> &signatures)
{
    QString text;
    text += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    text += QStringLiteral("<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n");
    text += QStringLiteral("  <mime-type type=\"") + QLatin1String(kCatalogMimeType) + QStringLiteral("\">\n");
    text += QStringLiteral("    <comment>") + QLatin1String(kCatalogTypeComment) + QStringLiteral("</comment>\n");
    // Every catalog layout begins with its zero-terminated signature.
    if (!signatures.isEmpty()) {
        text += QStringLiteral("    <magic priority=\"50\">\n");
        for (const QByteArray &signature : signatures)
            text += QStringLiteral("      <match type=\"string\" offset=\"0\" value=\"") + magicValue(signature) +
                    QStringLiteral("\"/>\n");
        text += QStringLiteral("    </magic>\n");
    }
    text += QStringLiteral("    <glob pattern=\"*.ctf\"/>\n");
    text += QStringLiteral("  </mime-type>\n");
    text += QStringLiteral("</mime-info>\n");
    return text.toUtf8();
}

TWriteResult WriteFileIfChanged(const QString &fileName, const QByteArray &content)
{
    const QFileInfo info(fileName);
    if (info.isFile() && info.size() == content.size() && info.size() <= kMaxCompareBytes) {
        QFile old(fileName);
        if (old.open(QIODevice::ReadOnly) && old.read(kMaxCompareBytes + 1) == content)
            return TWriteResult::Unchanged;
    }
    if (!QDir().mkpath(info.absolutePath()))
        return TWriteResult::Failed;
    // QSaveFile writes a temporary file beside the target and renames it on commit.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return TWriteResult::Failed;
    // Without a commit the temporary file is dropped and the old one stays.
    if (file.write(content) != content.size())
        return TWriteResult::Failed;
    return file.commit() ? TWriteResult::Written : TWriteResult::Failed;
}

TFileTypeResult RegisterCatalogFileType(const TFileTypeRegistration &registration)
{
    TFileTypeResult result;
    const QString home = registration.DataHome.isEmpty() ? XdgDataHome() : registration.DataHome;
    if (home.isEmpty() || !QDir::isAbsolutePath(home)) {
        result.Failed << QString();
        return result;
    }
    const QDir dir(home);
    auto write = [&](const char *relative, const QByteArray &content) {
        const QString file = dir.filePath(QLatin1String(relative));
        const TWriteResult r = content.isEmpty() ? TWriteResult::Failed : WriteFileIfChanged(file, content);
        (r == TWriteResult::Written ? result.Written : r == TWriteResult::Unchanged ? result.Unchanged
                                                                                    : result.Failed)
            << file;
        return r;
    };

    const TWriteResult mime = write(kMimePackageFile, CatalogMimePackage(registration.Signatures));
    const TWriteResult desktop = write(kDesktopFile, CatalogDesktopEntry(registration.ProgramPath));
    if (!registration.IconSvg.isEmpty()) {
        write(kAppIconFile, registration.IconSvg);
        write(kTypeIconFile, registration.IconSvg);
    }

    const auto find = registration.FindProgram
                          ? registration.FindProgram
                          : [](const QString &name) { return QStandardPaths::findExecutable(name); };
    const auto start = registration.StartProgram
                           ? registration.StartProgram
                           : [](const QString &program, const QStringList &arguments) {
                                 return QProcess::startDetached(program, arguments);
                             };
    // Rebuilds a cache when its source changed or it was never built.
    auto refresh = [&](TWriteResult source, const char *built, const QString &tool, const char *folder) {
        if (source == TWriteResult::Failed)
            return;
        if (source == TWriteResult::Unchanged && QFileInfo::exists(dir.filePath(QLatin1String(built))))
            return;
        const QString program = find(tool);
        if (program.isEmpty())
            return;
        const QString argument = dir.filePath(QLatin1String(folder));
        if (start(program, {argument}))
            result.Started << tool + QLatin1Char(' ') + argument;
    };
    refresh(mime, kMimeBuiltFile, QStringLiteral("update-mime-database"), "mime");
    refresh(desktop, kDesktopCacheFile, QStringLiteral("update-desktop-database"), "applications");
    return result;
}
