// The file actions on the real medium (see FileActions.h).
#include "browser/FileActions.h"

#include "archive/ArchiveTypes.h"
#include "archive/UnBase.h"
#include "browser/Utils.h"
#include "catalog/Forest.h"
#include "platform/Drives.h"
#include "platform/Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#include <optional>

namespace {

const QString kFileGone = QStringLiteral("Sorry, selected file does not exist any more on the media.\r"
                                         "Please update data for this media.");

QString lastPart(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

QString upperExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toUpper();
}

// The entry named name in folder: that spelling, else the first entry of
// another case; empty when none.
QString entryIn(const QString &folder, const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/')))
        return {};
    const QString exact = folder + QLatin1Char('/') + name;
    if (QFileInfo(exact).exists() || QFileInfo(exact).isSymLink())
        return exact;
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                      | QDir::NoDotAndDotDot);
    for (const QString &entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return folder + QLatin1Char('/') + entry;
    return {};
}

// The key a member's output path is matched by.
QString memberKey(const QString &relPath)
{
    return relPath.toCaseFolded();
}

} // namespace

// ---- where things are on the medium

QString FindPathBelow(const QString &rootIn, QByteArrayView storedPath)
{
    QByteArrayView path = storedPath;
    while (path.endsWith('\\'))
        path.chop(1);
    if (rootIn.isEmpty())
        return {};
    const QString root = QDir::cleanPath(rootIn);
    if (path.isEmpty())
        return root;
    const qsizetype cut = path.lastIndexOf('\\');
    const QString folder = cut <= 0 ? root : FindFolderBelow(root, path.first(cut));
    if (folder.isEmpty())
        return {};
    const QString base = folder == QLatin1String("/") ? QString() : folder;
    return entryIn(base, DecodeStored(path.sliced(cut + 1)));
}

QString DiskRootOnDrive(TDrives &drives, QChar letter, TTreeNode *node)
{
    TTreeNode *diskNode = node ? DiskNodeOf(node) : nullptr;
    const TDiskRec *disk = diskNode ? AsDisk(NodeRec(diskNode)) : nullptr;
    const QString root = drives.rootPath(letter);
    if (!disk || root.isEmpty())
        return {};
    if (!ItemIs(disk->KindFlags, rfVirtualRoot))
        return root;
    return FindFolderBelow(root, TextView(disk->RootPath));
}

QString FindMediumRoot(TDrives &drives, TTreeNode *node, bool interactive, Prompter *prompter,
                       const TInsertMediaQuestion &insertMedia)
{
    const QChar letter = FindMediaForDisk(drives, node, interactive, false, prompter, insertMedia);
    if (letter.isNull() || letter == kManualDriveChoice)
        return {};
    return DiskRootOnDrive(drives, letter, node);
}

TMediaItem MediaItemOf(TTreeNode *node, TFileRec *file)
{
    TMediaItem m;
    TItemRec *rec = NodeRec(node);
    if (!rec)
        return m;
    if (file) {
        const QByteArray holder = NodePath(node, true, false);
        if (ItemIs(file->KindFlags, rfCompressed)) {
            m.kind = TMediaItem::Kind::Member;
            m.storedPath = holder;
            m.memberName = file->name().toByteArray();
            m.archiveIndex = ArchiveExtensionIndex(DecodeStored(node->text()));
            m.name = lastPart(DecodeStored(m.memberName));
        } else {
            m.kind = TMediaItem::Kind::File;
            m.storedPath = (holder == "\\" ? QByteArray() : holder) + '\\' + file->name().toByteArray();
            m.name = DecodeStored(file->name());
        }
        return m;
    }
    if (AsDisk(rec)) {
        m.kind = TMediaItem::Kind::Disk;
        m.storedPath = "\\";
        m.name = DecodeStored(node->text());
    } else if (AsFolder(rec)) {
        const bool archive = ItemIs(rec->KindFlags, rfCompressed);
        m.kind = archive ? TMediaItem::Kind::ArchiveFolder : TMediaItem::Kind::Folder;
        m.storedPath = NodePath(node, true, false);
        m.name = DecodeStored(node->text());
        if (archive)
            m.archiveIndex = ArchiveExtensionIndex(m.name);
    }
    return m;
}

TMediaItem MediaItemOf(const TCurrentItem &item)
{
    return MediaItemOf(item.node, item.file);
}

// ---- extraction

TExtractResult ExtractMembers(int archiveIndex, const QString &archivePath, const QList<QByteArray> &members,
                              const QString &destDir, bool keepDirs, bool remember, bool showProgress,
                              const TExtractOptions &options)
{
    TExtractResult result;
    result.written = QStringList(QList<QString>(members.size()));
    if (members.isEmpty())
        return result;
    const QString dest = QDir(destDir).absolutePath();
    if (!QDir().mkpath(dest)) {
        (options.prompter ? *options.prompter : DefaultPrompter())
            .ask(QStringLiteral("Extract Error"), ExtractErrorMessage(ArcErrWriteFile), MsgIcon::Error,
                 MsgButtons::Ok);
        return result;
    }
    // The wanted output paths as the extractor makes them with stored folders.
    QHash<QString, int> wanted;
    std::vector<QString> rel(size_t(members.size()));
    for (qsizetype i = 0; i < members.size(); ++i) {
        rel[size_t(i)] = TUnBase::SafeOutputPath(DecodeStored(members[i]), QString(), true);
        if (!rel[size_t(i)].isEmpty() && !wanted.contains(memberKey(rel[size_t(i)])))
            wanted.insert(memberKey(rel[size_t(i)]), int(i));
    }
    // Members are written below a private folder inside dest first: there
    // every member has its own stored path, so the wanted ones are told apart
    // from others of the same file name; then they are moved into place.
    QTemporaryDir stage(dest + QStringLiteral("/.quillon-extract-XXXXXX"));
    if (!stage.isValid())
        return result;
    const QString stageRoot = QDir(stage.path()).absolutePath();
    QHash<int, QString> staged;
    TExtractOptions opts = options;
    opts.accept = [&](const QString &path) {
        if (options.accept && !options.accept(path))
            return false;
        const QString key = memberKey(QDir(stageRoot).relativeFilePath(path));
        const auto it = wanted.constFind(key);
        if (it == wanted.constEnd() || staged.contains(it.value()))
            return false;
        staged.insert(it.value(), path);
        return true;
    };
    const QString mask = members.size() == 1 && !rel[0].isEmpty() ? lastPart(rel[0]) : QStringLiteral("*.*");
    const bool extracted =
        ExtractFromArchive(archiveIndex, archivePath, stageRoot, showProgress, true, false, nullptr, mask, opts);

    bool all = extracted;
    for (qsizetype i = 0; i < members.size(); ++i) {
        const auto it = staged.constFind(int(i));
        if (it == staged.constEnd() || !QFileInfo(it.value()).isFile()) {
            all = false;
            continue;
        }
        // The archive's own spelling, which the scan's case rule may have changed in the catalog.
        const QString stagedRel = QDir(stageRoot).relativeFilePath(it.value());
        const QString relOut = keepDirs ? stagedRel : lastPart(stagedRel);
        const QString target = dest + QLatin1Char('/') + relOut;
        const QString folder = QFileInfo(target).absolutePath();
        if (!QDir().mkpath(folder) || !FolderInsideRoot(folder, dest)) {
            all = false;
            continue;
        }
        if (OutputEntry(target) == TOutputEntry::File)
            QFile::remove(target);
        if (OutputEntry(target) != TOutputEntry::None || !QFile::rename(it.value(), target)) {
            all = false;
            continue;
        }
        result.written[i] = target;
        TExtractState &state = ExtractionState();
        if (remember) {
            if (!state.temporaryFiles.contains(target))
                state.temporaryFiles << target;
        } else {
            state.temporaryFiles.removeAll(target);
        }
    }
    result.ok = all;
    return result;
}

int CleanTemporaryFiles(TTempExitAction action, Prompter &prompter)
{
    TExtractState &state = ExtractionState();
    if (state.temporaryFiles.isEmpty() || action == TTempExitAction::Leave)
        return 0;
    if (action == TTempExitAction::Ask
        && prompter.ask(QStringLiteral("Temporary Files"),
                        QStringLiteral("Would you like to delete the files extracted to the temporary folder?"),
                        MsgIcon::Question, MsgButtons::YesNo)
               != MsgAnswer::Yes)
        return 0;
    int removed = 0;
    for (const QString &file : std::as_const(state.temporaryFiles))
        if (OutputEntry(file) == TOutputEntry::File && QFile::remove(file))
            ++removed;
    state.temporaryFiles.clear();
    return removed;
}

// ---- launching

TActionMessage ShellAnswerMessage(TShellAnswer answer, const QString &fileName)
{
    switch (answer) {
    case TShellAnswer::Ok:
        return {};
    case TShellAnswer::OutOfMemory:
        return {QStringLiteral("Out of Memory"),
                QStringLiteral("There is not enough memory or resources to execute program."), MsgIcon::Information};
    case TShellAnswer::FileNotFound:
        return {QStringLiteral("File not found"), kFileGone, MsgIcon::Warning};
    case TShellAnswer::AccessDenied:
        return {QStringLiteral("Access Denied"), QStringLiteral("Access to this file was denied by operating system."),
                MsgIcon::Warning};
    case TShellAnswer::SharingViolation:
        return {QStringLiteral("Access Denied"),
                QStringLiteral("Sharing error occoured on this file.\r"
                               "Please close first all programs currently using this file."),
                MsgIcon::Warning};
    case TShellAnswer::NoAssociation:
        return {QStringLiteral("Can't launch file"),
                QStringLiteral("No program is associated with this file type (") + upperExtension(fileName)
                    + QStringLiteral(")."),
                MsgIcon::Information};
    }
    return {};
}

TShellAnswer CheckBeforeOpen(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return TShellAnswer::FileNotFound;
    if (!info.isReadable())
        return TShellAnswer::AccessDenied;
    return TShellAnswer::Ok;
}

TShellAnswer AnswerAfterOpen(const QString &path, bool opened, bool hasHandler)
{
    if (opened)
        return TShellAnswer::Ok;
    const TShellAnswer before = CheckBeforeOpen(path);
    if (before != TShellAnswer::Ok)
        return before;
    // Linux has no sharing locks and no "out of memory" answer of the
    // desktop's opener; a file still there failed for want of a program.
    (void)hasHandler;
    return TShellAnswer::NoAssociation;
}

TExeKind ExeKindByName(const QString &name)
{
    if (upperExtension(name) != QLatin1String("EXE"))
        return TExeKind::None;
    const QString upper = lastPart(name).toUpper();
    return upper == QLatin1String("INSTALL.EXE") || upper == QLatin1String("SETUP.EXE") ? TExeKind::Installation
                                                                                       : TExeKind::Executable;
}

TExeKind ExeKindOfFile(const QString &path, const QString &name)
{
    const TExeKind byName = ExeKindByName(name);
    if (byName != TExeKind::None)
        return byName;
    const QFileInfo info(path);
    if (!info.isFile())
        return TExeKind::None;
    bool program = (info.permissions() & (QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther)) != 0;
    if (!program) {
        QFile file(path);
        // An ELF file starts with 7Fh "ELF".
        program = file.open(QIODevice::ReadOnly) && file.read(4) == QByteArrayView("\x7F" "ELF");
    }
    if (!program)
        return TExeKind::None;
    QString base = lastPart(name);
    if (const qsizetype dot = base.indexOf(QLatin1Char('.')); dot > 0)
        base.truncate(dot);
    return base.compare(QLatin1String("install"), Qt::CaseInsensitive) == 0
                   || base.compare(QLatin1String("setup"), Qt::CaseInsensitive) == 0
               ? TExeKind::Installation
               : TExeKind::Executable;
}

TActionMessage LaunchFromArchiveQuestion(TExeKind kind)
{
    const QString word = kind == TExeKind::Installation ? QStringLiteral("installation") : QStringLiteral("executable");
    return {QStringLiteral("Launching ") + word + QStringLiteral(" File"),
            QStringLiteral("You have selected to launch a program ") + word + QStringLiteral(" ")
                + QStringLiteral("file from inside compressed archive file. Such files often can not run by ")
                + QStringLiteral("themselves, and will need to have other files from the package available. ")
                + QStringLiteral("It is recommended that you extract entire archive file to a temporary folder ")
                + QStringLiteral("first.\r\rWould you like to extract entire archive file first ")
                + QStringLiteral("and then launch the selected file?"),
            MsgIcon::Question};
}

// ---- the actions

void TFileActions::say(const TActionMessage &message)
{
    if (!message.text.isEmpty())
        m_prompter.ask(message.caption, message.text, message.icon, MsgButtons::Ok);
}

TExtractOptions TFileActions::extractOptions() const
{
    TExtractOptions options;
    options.prompter = &m_prompter;
    options.progress = m_progress;
    return options;
}

bool TFileActions::open(const QString &path)
{
    TShellAnswer answer = CheckBeforeOpen(path);
    if (answer == TShellAnswer::Ok) {
        const bool opened = m_desktop.openFile(path);
        answer = AnswerAfterOpen(path, opened, opened || m_desktop.hasHandler(path));
    }
    say(ShellAnswerMessage(answer, lastPart(path)));
    return answer == TShellAnswer::Ok;
}

bool TFileActions::openInExplorer(const TCurrentItem &item)
{
    TMediaItem m = MediaItemOf(item);
    if (m.kind == TMediaItem::Kind::None)
        return false;
    // A file or a compressed file is shown in its folder, selected; a member
    // as its compressed file.
    QByteArray folderPath = m.storedPath;
    QByteArray selected;
    if (m.kind == TMediaItem::Kind::File || m.kind == TMediaItem::Kind::ArchiveFolder) {
        const qsizetype cut = folderPath.lastIndexOf('\\');
        selected = folderPath.mid(cut + 1);
        folderPath = cut <= 0 ? QByteArray("\\") : folderPath.left(cut);
    } else if (m.kind == TMediaItem::Kind::Member) {
        const qsizetype cut = folderPath.lastIndexOf('\\');
        selected = folderPath.mid(cut + 1);
        folderPath = cut <= 0 ? QByteArray("\\") : folderPath.left(cut);
    }
    const QString root = m_mediumRoot(item.node);
    if (root.isEmpty())
        return false;
    const QString folder = FindPathBelow(root, folderPath);
    // The disk's root is always there.
    if (folderPath != "\\" && !QFileInfo(folder).isDir()) {
        say({QStringLiteral("Folder not found"),
             QStringLiteral("Sorry, this folder does not exist any more on the media.\r"
                            "Please update data for this media."),
             MsgIcon::Information});
        return false;
    }
    const QString item_ = selected.isEmpty() ? QString() : entryIn(folder, DecodeStored(selected));
    return m_desktop.showFolder(folder, item_);
}

QString TFileActions::localFile(const TCurrentItem &item, bool askAboutPrograms, bool *handled)
{
    if (handled)
        *handled = false;
    const TMediaItem m = MediaItemOf(item);
    if (m.kind != TMediaItem::Kind::File && m.kind != TMediaItem::Kind::Member
        && m.kind != TMediaItem::Kind::ArchiveFolder)
        return {};
    if (m.kind == TMediaItem::Kind::Member && !ArchiveIndexCanExtract(m.archiveIndex))
        return {};
    const QString root = m_mediumRoot(item.node);
    if (root.isEmpty())
        return {};
    const QString path = FindPathBelow(root, m.storedPath);
    if (m.kind != TMediaItem::Kind::Member) {
        if (path.isEmpty()) {
            say(ShellAnswerMessage(TShellAnswer::FileNotFound, m.name));
            return {};
        }
        return path;
    }
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        say(ShellAnswerMessage(TShellAnswer::FileNotFound, m.name));
        return {};
    }
    // A program taken out of a compressed file may need the rest of its package.
    TExeKind kind = askAboutPrograms ? ExeKindByName(m.name) : TExeKind::None;
    QString single;
    if (kind == TExeKind::None) {
        const TExtractResult r = ExtractMembers(m.archiveIndex, path, {m.memberName}, m_settings.extractDir, false,
                                                true, true, extractOptions());
        if (!r.ok)
            return {};
        single = r.written.front();
        if (askAboutPrograms)
            kind = ExeKindOfFile(single, m.name);
        if (kind == TExeKind::None)
            return single;
    }
    const TActionMessage question = LaunchFromArchiveQuestion(kind);
    const MsgAnswer answer = m_prompter.ask(question.caption, question.text, question.icon, MsgButtons::YesNoCancel);
    if (answer == MsgAnswer::Cancel)
        return {};
    if (answer == MsgAnswer::No) {
        if (!single.isEmpty())
            return single;
        const TExtractResult r = ExtractMembers(m.archiveIndex, path, {m.memberName}, m_settings.extractDir, false,
                                                true, true, extractOptions());
        return r.ok ? r.written.front() : QString();
    }
    QString folder = m_settings.extractDir;
    bool keepDirs = m_settings.restoreDirs;
    const QString archiveName = QFileInfo(path).fileName();
    if (!m_desktop.chooseExtractFolder(QStringLiteral("Extract \"") + archiveName + QStringLiteral("\" to:"), folder,
                                       keepDirs))
        return {};
    if (!ExtractFromArchive(m.archiveIndex, path, folder, true, keepDirs, false, nullptr, QStringLiteral("*.*"),
                            extractOptions()))
        return {};
    if (handled)
        *handled = true;
    const QString rel = TUnBase::SafeOutputPath(DecodeStored(m.memberName), QString(), keepDirs);
    return FindPathBelow(QDir(folder).absolutePath(), rel.toUtf8().replace('/', '\\'));
}

bool TFileActions::launch(const TCurrentItem &item)
{
    const QString path = localFile(item, true);
    return !path.isEmpty() && open(path);
}

bool TFileActions::view(const TCurrentItem &item)
{
    if (!item.file)
        return false;
    const QString path = localFile(item, false);
    if (path.isEmpty())
        return false;
    if (m_settings.externalViewer && !m_settings.viewerProgram.isEmpty()
        && m_desktop.startProgram(m_settings.viewerProgram, {path}, QFileInfo(path).absolutePath()))
        return true;
    m_desktop.viewText(path);
    return true;
}

bool TFileActions::extractTo(const std::vector<TCurrentItem> &items)
{
    if (items.empty())
        return false;
    const QString root = m_mediumRoot(items.front().node);
    if (root.isEmpty())
        return false;
    const QString caption = items.size() == 1
                                ? QStringLiteral("Extract \"") + MediaItemOf(items.front()).name + QStringLiteral("\" to:")
                                : QStringLiteral("Extract \"") + QString::number(items.size())
                                      + QStringLiteral(" selected items") + QStringLiteral("\" to:");
    QString folder = m_settings.extractDir;
    bool keepDirs = m_settings.restoreDirs;
    if (!m_desktop.chooseExtractFolder(caption, folder, keepDirs))
        return false;
    const bool several = items.size() > 1;
    if (several && m_progress)
        m_progress->ShowWait(QStringLiteral("Extracting selected files, please wait"), true, false);

    // One pass per compressed file: its members in the order they were selected.
    struct Pass {
        TTreeNode *archive;
        TMediaItem first;
        QList<QByteArray> members;   // empty: the whole compressed file
    };
    std::vector<Pass> passes;
    for (const TCurrentItem &item : items) {
        const TMediaItem m = MediaItemOf(item);
        if (m.kind == TMediaItem::Kind::ArchiveFolder) {
            passes.push_back({item.node, m, {}});
        } else if (m.kind == TMediaItem::Kind::Member) {
            auto it = std::find_if(passes.begin(), passes.end(), [&](const Pass &p) {
                return p.archive == item.node && !p.members.isEmpty();
            });
            if (it == passes.end())
                passes.push_back({item.node, m, {m.memberName}});
            else
                it->members << m.memberName;
        }
    }
    bool ok = true;
    size_t done = 0;
    for (const Pass &pass : passes) {
        const QString path = FindPathBelow(root, pass.first.storedPath);
        bool passOk;
        if (pass.members.isEmpty())
            passOk = ExtractFromArchive(pass.first.archiveIndex, path, folder, !several, keepDirs, false, nullptr,
                                        QStringLiteral("*.*"), extractOptions());
        else
            passOk = ExtractMembers(pass.first.archiveIndex, path, pass.members, folder, keepDirs, false, !several,
                                    extractOptions())
                         .ok;
        ++done;
        if (several && m_progress)
            m_progress->AdvanceWait(int64_t(100 / passes.size()));
        if (!passOk) {
            ok = false;
            break;
        }
    }
    if (several && m_progress)
        m_progress->CloseWait();
    if (!ok && done < passes.size())
        say({QStringLiteral("Extract Error"), QStringLiteral("Extracting file(s) was NOT completed successfuly!"),
             MsgIcon::Warning});
    return ok;
}
