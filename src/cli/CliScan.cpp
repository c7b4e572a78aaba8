// quillon-cli scan: catalogues a drive or folder of this machine as a disk of
// a catalog through the disk scan the windows use, with the settings'
// defaults, and prints the new disk. On a terminal a one-line progress shows
// on stderr.
#include "cli/CliCommands.h"

#include "cli/CliCatalog.h"

#include "catalog/CatalogOps.h"
#include "platform/Drives.h"
#include "platform/Prompter.h"
#include "platform/Texts.h"
#include "scan/DiskScan.h"
#include "settings/Options.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <optional>

#include <unistd.h>

namespace cli {

namespace {

// The progress of a scan on a terminal: one line, redrawn at most ten times a second.
class CliScanProgress : public ScanProgress
{
public:
    explicit CliScanProgress(FILE *err) : m_err(err) { m_clock.start(); }
    ~CliScanProgress() override
    {
        if (m_drawn) {
            std::fputs("\r\033[K", m_err);
            std::fflush(m_err);
        }
    }
    void setTopLabel(const QString &text) override
    {
        m_top = text;
        draw(true);
    }
    void setDirLabel(const QString &text) override
    {
        m_dir = text;
        draw(false);
    }
    void setDescFoundLabel(const QString &text) override
    {
        m_dir = text;
        draw(false);
    }
    void setPosition(int percent) override
    {
        m_position = percent;
        draw(false);
    }

private:
    void draw(bool now)
    {
        // 100 ms: often enough to look alive, rarely enough to cost nothing.
        if (!now && m_drawn && m_clock.elapsed() - m_lastDraw < 100)
            return;
        m_lastDraw = m_clock.elapsed();
        QString dir = m_dir;
        constexpr int kWidth = 50;   // keeps the line within a narrow terminal
        if (dir.size() > kWidth)
            dir = QStringLiteral("...") + dir.right(kWidth - 3);
        const QByteArray line = QStringLiteral("\r\033[K%1 %2% %3").arg(m_top).arg(m_position, 3).arg(dir).toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), m_err);
        std::fflush(m_err);
        m_drawn = true;
    }

    FILE *m_err;
    QElapsedTimer m_clock;
    qint64 m_lastDraw = 0;
    bool m_drawn = false;
    QString m_top, m_dir;
    int m_position = 0;
};

// Applies --import LIST: a comma list of diz, bbs, ion and comment, or none.
void applyImportList(TScanOptions &options, const QString &list)
{
    options.ImportDizCheck = options.ImportBBSCheck = options.Import4DOSCheck = options.ImportCommentCheck = false;
    if (list.trimmed() == QLatin1String("none"))
        return;
    const QStringList items = list.split(QLatin1Char(','));
    for (const QString &raw : items) {
        const QString item = raw.trimmed().toLower();
        if (item == QLatin1String("diz"))
            options.ImportDizCheck = true;
        else if (item == QLatin1String("bbs"))
            options.ImportBBSCheck = true;
        else if (item == QLatin1String("ion"))
            options.Import4DOSCheck = true;
        else if (item == QLatin1String("comment"))
            options.ImportCommentCheck = true;
        else
            throw UsageError{QStringLiteral("--import takes a comma list of diz, bbs, ion and comment, or none: %1")
                                 .arg(list)};
    }
}

// The scan's command line: each option as given, or none.
struct ScanArgs {
    QStringList positional;
    bool json = false;
    std::optional<QString> name;
    std::optional<QString> update;
    std::optional<bool> archives;   // the last of --archives and --no-archives
    bool archiveDescOnly = false;
    bool quickScan = false;
    std::optional<QString> import;
    std::optional<QString> keep;
    bool hidden = false;
    bool recycle = false;
    bool eject = false;
};

ScanArgs scanArgs(const Call &call)
{
    ScanArgs args;
    args.positional = call.positional();
    args.json = call.isSet(QStringLiteral("json"));
    args.name = call.optionalValue(QStringLiteral("name"));
    args.update = call.optionalValue(QStringLiteral("update"));
    for (const QString &option : call.optionNames()) {
        if (option == QLatin1String("archives"))
            args.archives = true;
        else if (option == QLatin1String("no-archives"))
            args.archives = false;
    }
    args.archiveDescOnly = call.isSet(QStringLiteral("archive-desc-only"));
    args.quickScan = call.isSet(QStringLiteral("quick-scan"));
    args.import = call.optionalValue(QStringLiteral("import"));
    args.keep = call.optionalValue(QStringLiteral("keep-descriptions"));
    args.hidden = call.isSet(QStringLiteral("hidden"));
    args.recycle = call.isSet(QStringLiteral("recycle"));
    args.eject = call.isSet(QStringLiteral("eject"));
    return args;
}

// scan [options] CATALOG PATH: PATH is a drive letter ("D:"), a mount point
// (the whole drive) or any other folder (a virtual root of the drive that
// holds it). The defaults are the program's settings, but ejecting only on
// --eject.
int runScan(const Call &call)
{
    const ScanArgs args = scanArgs(call);
    Output &out = call.out();
    FILE *err = call.err();
    if (args.keep && *args.keep != QLatin1String("disk") && *args.keep != QLatin1String("catalog") &&
        *args.keep != QLatin1String("none"))
        throw UsageError{QStringLiteral("--keep-descriptions takes disk, catalog or none")};
    if (args.keep && *args.keep == QLatin1String("disk") && !args.update)
        throw UsageError{QStringLiteral("--keep-descriptions disk needs --update")};
    if (args.quickScan && !args.update)
        throw UsageError{QStringLiteral("--quick-scan needs --update")};
    if (args.name && args.name->isEmpty())
        throw UsageError{QStringLiteral("--name needs a name")};

    const QString &path = args.positional[1];
    TDrives drives;
    QChar letter;
    QByteArray rootPath;
    const std::optional<QChar> named = path.contains(QLatin1Char(':')) ? TDrives::parseLetter(path) : std::nullopt;
    if (named) {
        if (!drives.drive(*named))
            throw CommandError{QStringLiteral("No drive %1:").arg(*named)};
        letter = *named;
    } else {
        const QFileInfo info(path);
        if (!info.isDir())
            throw CommandError{QStringLiteral("Not a folder: %1").arg(path)};
        const std::optional<QChar> holder = drives.driveOfPath(info.absoluteFilePath(), &rootPath);
        if (!holder)
            throw CommandError{QStringLiteral("No drive holds %1").arg(path)};
        letter = *holder;
    }

    const TOptions settings = StoredSettings();

    OpenCatalog catalog(args.positional[0], OpenCatalog::IfMissing::Create);
    TTreeNode *oldDisk = nullptr;
    if (args.update) {
        oldDisk = FindDisk(catalog.node(), EncodeStored(*args.update));
        for (TTreeNode *child : catalog.node()->children())
            if (!oldDisk && NodeName(child) == *args.update)
                oldDisk = child;
        if (!oldDisk)
            throw CommandError{QStringLiteral("Disk not found: %1").arg(*args.update)};
    }

    TScanOptions options;
    ApplyScanDefaults(options, settings, oldDisk != nullptr);
    options.DatabaseList = catalog.node();
    options.OldDiskNode = oldDisk;
    options.EjectMediaCheck = args.eject;
    if (args.name)
        options.DiskName = EncodeStored(*args.name);
    else if (oldDisk && settings.UpdateNameCheck)
        options.DiskName = oldDisk->text();
    else
        options.DiskName = drives.volumeInfo(letter).label;
    if (args.archives)
        options.BrowseArchiveCheck = *args.archives;
    if (args.import)
        applyImportList(options, *args.import);
    if (args.archiveDescOnly) {
        if (!options.BrowseArchiveCheck)
            throw UsageError{QStringLiteral("--archive-desc-only does not go with --no-archives")};
        if (!options.ImportDizCheck && !options.ImportBBSCheck && !options.Import4DOSCheck &&
            !options.ImportCommentCheck)
            throw UsageError{QStringLiteral("--archive-desc-only needs a description source (--import)")};
        options.ArchiveDescOnly = true;
    }
    if (args.quickScan) {
        if (!options.BrowseArchiveCheck)
            throw UsageError{QStringLiteral("--quick-scan does not go with --no-archives")};
        options.ArchiveQuickScan = true;
    }
    if (args.keep) {
        options.KeepCurrentCheck = *args.keep != QLatin1String("none");
        options.ImportDescCombo = *args.keep == QLatin1String("disk") ? ksUpdatedDisk : ksWholeCatalog;
    }
    if (args.hidden)
        options.IgnoreFilesCheck = options.IgnoreFoldersCheck = false;
    if (args.recycle)
        options.IgnoreRecycleCheck = false;
    ApplyScanEnablingRules(options);
    if (options.ExtractDir.isEmpty() || !QFileInfo(options.ExtractDir).isDir())
        options.ExtractDir = QDir::tempPath() + QLatin1Char('/');

    std::optional<CliScanProgress> progress;
    if (::isatty(::fileno(err)))
        progress.emplace(err);
    TScanHooks hooks;
    hooks.progress = progress ? &*progress : nullptr;
    hooks.prompter = &DefaultPrompter();
    const TScanOutcome outcome = ScanDisk(drives, letter, rootPath, options, hooks);
    progress.reset();
    if (outcome.Cancelled)
        throw CommandError{QStringLiteral("The disk scan was cancelled.")};
    if (!outcome.Success) {
        QString message = MsgScanErrorText();
        if (!outcome.Detail.isEmpty())
            message += QStringLiteral("\n") + outcome.Detail;
        throw CommandError{message};
    }
    if (!outcome.Note.isEmpty())
        Output(err).line(outcome.Note);
    catalog.save();
    ItemPrinter printer(out, catalog.node(), args.json);
    printer.disk(outcome.DiskNode);
    return CliOk;
}

} // namespace

const Command &ScanCommand()
{
    const auto flag = [](const char *name, const char *description) {
        return Option{{QLatin1String(name)}, QLatin1String(description), {}};
    };
    const auto valued = [](const char *name, const char *valueName, const char *description) {
        return Option{{QLatin1String(name)}, QLatin1String(description), QLatin1String(valueName)};
    };
    static const Command command{
        {QStringLiteral("scan")},
        QStringLiteral("Catalogues a drive (PATH a drive letter such as D: or a mount point) or a folder of one "
                       "(a virtual root) as a disk of CATALOG, which is created when missing, saves the catalog "
                       "and prints the new disk. Defaults come from the settings."),
        {valued("name", "NAME", "The disk's name (default: the volume label)."),
         valued("update", "DISK", "Replace disk DISK by the new image."),
         flag("archives", "List the members of compressed files."),
         flag("no-archives", "Do not list the members of compressed files."),
         flag("archive-desc-only", "Only look for descriptions inside compressed files."),
         flag("quick-scan", "Keep unchanged compressed files of DISK (with --update)."),
         valued("import", "LIST", "Description sources: a comma list of diz, bbs, ion and comment, or none."),
         valued("keep-descriptions", "FROM",
                "Carry descriptions and categories over from disk (DISK of --update), from every disk of the "
                "catalog, or none."),
         flag("hidden", "Include hidden files and folders."),
         flag("recycle", "Include recycle bin folders."),
         flag("eject", "Eject the medium when done."),
         JsonOption()},
        {CatalogArgument(),
         {QStringLiteral("PATH"), QStringLiteral("A drive letter such as D:, a mount point, or a folder."), {}, {}}},
        runScan,
    };
    return command;
}

} // namespace cli
