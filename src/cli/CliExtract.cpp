// quillon-cli extract: catalogued files, compressed files and members of
// compressed files taken from the medium (the drive that holds it, or a
// folder standing for the disk's root) into a folder, byte for byte; the
// members of one compressed file in one pass. Prints each file written.
#include "cli/CliCatalog.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliPrompter.h"

#include "archive/ArchiveTypes.h"
#include "browser/FileActions.h"
#include "platform/Drives.h"
#include "platform/Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <map>

namespace cli {

namespace {

// Copies a plain file into dest under its own name, replacing a file there.
bool copyFile(const QString &source, const QString &dest, QString &written)
{
    const QString target = QDir(dest).absoluteFilePath(QFileInfo(source).fileName());
    if (QFileInfo(target).isSymLink() || QFileInfo(target).isDir())
        return false;
    // Through a temporary file beside the target, so a failed copy leaves no half file.
    const QString temp = target + QStringLiteral(".quillon-part");
    QFile::remove(temp);
    if (!QFile::copy(source, temp))
        return false;
    QFile::remove(target);
    if (!QFile::rename(temp, target)) {
        QFile::remove(temp);
        return false;
    }
    written = target;
    return true;
}

// extract CATALOG ITEM... DEST [--dirs] [--medium FOLDER]
int runExtract(const Call &call)
{
    const QStringList args = call.positional();
    if (args.size() < 3)
        throw UsageError{QStringLiteral("extract needs a catalog, at least one item and the destination folder")};
    const QString dest = QFileInfo(args.last()).absoluteFilePath();
    const bool keepDirs = call.isSet(QStringLiteral("dirs"));
    const auto medium = call.optionalValue(QStringLiteral("medium"));
    if (medium && !QFileInfo(*medium).isDir())
        throw CommandError{QStringLiteral("Not a folder: %1").arg(*medium)};

    OpenCatalog catalog(QFileInfo(args[0]).absoluteFilePath());
    std::vector<TCurrentItem> items;
    for (const QString &arg : args.mid(1, args.size() - 2)) {
        const Target t = ResolveTarget(catalog.node(), arg, true);
        const TMediaItem m = MediaItemOf(t.node, t.file);
        if (m.kind != TMediaItem::Kind::File && m.kind != TMediaItem::Kind::Member
            && m.kind != TMediaItem::Kind::ArchiveFolder)
            throw CommandError{QStringLiteral("Only files, compressed files and their members can be extracted: %1")
                                   .arg(arg)};
        if (m.kind != TMediaItem::Kind::File && !ArchiveIndexCanExtract(m.archiveIndex))
            throw CommandError{QStringLiteral("Files cannot be taken out of this kind of compressed file: %1").arg(arg)};
        items.push_back({t.node, t.file, false});
    }
    // Two items that would land on one name: the second would replace what
    // this run has just written, so neither is written.
    std::map<QString, QString> targets;   // name in DEST -> the item that takes it
    for (qsizetype i = 0; i < qsizetype(items.size()); ++i) {
        const TMediaItem m = MediaItemOf(items[size_t(i)]);
        QString name = m.name;
        if (m.kind == TMediaItem::Kind::Member && keepDirs)
            name = QDir::cleanPath(DecodeStored(m.memberName).replace(QLatin1Char('\\'), QLatin1Char('/')));
        else if (m.kind == TMediaItem::Kind::ArchiveFolder)
            continue;   // its members' names are known only while it is read
        const QString item = args[i + 1];
        if (const auto [it, added] = targets.emplace(name, item); !added && it->second != item)
            throw UsageError{QStringLiteral("%1 and %2 would both be written as %3; extract them one at a time%4")
                                 .arg(it->second, item, name,
                                      keepDirs || m.kind == TMediaItem::Kind::File ? QString()
                                                                                    : QStringLiteral(" or with --dirs"))};
    }
    if (medium) {
        for (const TCurrentItem &item : items)
            if (DiskNodeOf(item.node) != DiskNodeOf(items.front().node))
                throw UsageError{QStringLiteral("--medium stands for one disk; the items are on several")};
    }
    if (!QDir().mkpath(dest))
        throw CommandError{QStringLiteral("Cannot make the folder %1").arg(dest)};

    CliPrompter prompter(call.err());
    TDrives drives;
    std::map<TTreeNode *, QString> roots;   // per disk node
    auto rootOf = [&](TTreeNode *node) -> QString {
        TTreeNode *disk = DiskNodeOf(node);
        if (auto it = roots.find(disk); it != roots.end())
            return it->second;
        const QString root = medium ? QFileInfo(*medium).absoluteFilePath()
                                    : FindMediumRoot(drives, node, false, &prompter);
        if (root.isEmpty())
            throw CommandError{QStringLiteral("The media of disk \"%1\" is in no drive; name the folder that holds "
                                              "it with --medium.")
                                   .arg(NodeName(disk))};
        return roots[disk] = root;
    };

    TExtractOptions options;
    options.prompter = &prompter;
    options.overwrite = [](const QString &) { return true; };
    ExtractionState().quiet = false;
    Output &out = call.out();
    bool ok = true;
    // The members of one compressed file go in one pass, in the order given.
    std::vector<std::pair<TTreeNode *, QList<QByteArray>>> passes;
    for (const TCurrentItem &item : items) {
        const TMediaItem m = MediaItemOf(item);
        const QString root = rootOf(item.node);
        const QString path = FindPathBelow(root, m.storedPath);
        if (m.kind == TMediaItem::Kind::Member) {
            auto it = std::find_if(passes.begin(), passes.end(), [&](const auto &p) { return p.first == item.node; });
            if (it == passes.end())
                passes.push_back({item.node, {m.memberName}});
            else
                it->second << m.memberName;
            continue;
        }
        if (path.isEmpty() || !QFileInfo(path).isFile()) {
            prompter.ask(QStringLiteral("File not found"),
                         QStringLiteral("Sorry, selected file does not exist any more on the media.\r"
                                        "Please update data for this media.") + QStringLiteral(" (%1)").arg(m.name),
                         MsgIcon::Warning, MsgButtons::Ok);
            ok = false;
            continue;
        }
        if (m.kind == TMediaItem::Kind::File) {
            QString written;
            if (copyFile(path, dest, written)) {
                out.line(written);
            } else {
                prompter.ask(QStringLiteral("Extract Error"), ExtractErrorMessage(25114) + QStringLiteral(" (%1)").arg(m.name),
                             MsgIcon::Error, MsgButtons::Ok);
                ok = false;
            }
            continue;
        }
        // A whole compressed file.
        QStringList written;
        TExtractOptions all = options;
        all.accept = [&](const QString &fn) {
            written << fn;
            return true;
        };
        if (!ExtractFromArchive(m.archiveIndex, path, dest, false, keepDirs, false, nullptr, QStringLiteral("*.*"), all))
            ok = false;
        for (const QString &fn : std::as_const(written))
            if (QFileInfo(fn).isFile())
                out.line(QDir::cleanPath(fn));
    }
    for (const auto &[archive, members] : passes) {
        const TMediaItem m = MediaItemOf(archive, nullptr);
        const QString path = FindPathBelow(rootOf(archive), m.storedPath);
        if (path.isEmpty() || !QFileInfo(path).isFile()) {
            prompter.ask(QStringLiteral("File not found"),
                         QStringLiteral("Sorry, selected file does not exist any more on the media.\r"
                                        "Please update data for this media.") + QStringLiteral(" (%1)").arg(m.name),
                         MsgIcon::Warning, MsgButtons::Ok);
            ok = false;
            continue;
        }
        const TExtractResult r = ExtractMembers(m.archiveIndex, path, members, dest, keepDirs, false, false, options);
        for (qsizetype i = 0; i < members.size(); ++i) {
            if (!r.written[i].isEmpty()) {
                out.line(r.written[i]);
            } else {
                prompter.ask(QStringLiteral("Extract Error"),
                             QStringLiteral("Not written: %1\\%2").arg(m.name, DecodeStored(members[i])),
                             MsgIcon::Error, MsgButtons::Ok);
                ok = false;
            }
        }
        if (!r.ok)
            ok = false;
    }
    return ok ? CliOk : CliFailed;
}

} // namespace

const Command &ExtractCommand()
{
    static const Command command{
        {QStringLiteral("extract")},
        QStringLiteral("Takes catalogued files, compressed files and members of compressed files from the disk's "
                       "medium into DEST and prints each file written. The medium is found in the drives as the "
                       "windows find it, or --medium names the folder that stands for the disk's root. Members "
                       "are written under their file names, or with --dirs under the folders stored in the "
                       "compressed file; files of the same names in DEST are replaced, and two items that would be written "
                       "under one name are refused before anything is written. Exit status 0 when every "
                       "item was written, 1 otherwise (the messages go to stderr)."),
        {{{QStringLiteral("dirs")}, QStringLiteral("Keep the folders stored in compressed files."), QString()},
         {{QStringLiteral("medium")}, QStringLiteral("The folder that stands for the disk's root."),
          QStringLiteral("FOLDER")}},
        {CatalogArgument(),
         {QStringLiteral("ITEM"), QStringLiteral("DISK\\PATH\\NAME of a file or compressed file, or "
                                                 "DISK\\PATH\\ARCHIVE\\MEMBER of a member."),
          Argument::Kind::Required, QString()},
         {QStringLiteral("DEST"), QStringLiteral("More items, then the folder to write into."),
          Argument::Kind::Repeated, QStringLiteral("[ITEM...] DEST")}},
        runExtract,
    };
    return command;
}

} // namespace cli
