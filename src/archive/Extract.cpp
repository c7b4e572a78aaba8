// The extraction driver and the event handlers every extractor shares:
// the wait window's texts, cancel with confirmation, the CRC warning, the
// temporary-file list and the recording of error codes.
#include "archive/Extract.h"

#include "archive/ArchiveTypes.h"
#include "archive/UnRAR.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

QString fileNamePart(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

TExtractState &ExtractionState()
{
    static TExtractState state;
    return state;
}

QString ExtractErrorMessage(int code)
{
    switch (code) {
    case 25108: case 25109: case 25110: case 25111: case 25112: case 25113: case 25116: case 25118:
    case 25135: case 25137: case 25138: case 25140: case 25145: case 25157: case 25192:
        return QStringLiteral("An error was encountered while trying to extract files from \rarchive. "
                              "The archive file is not supported or damaged.");
    case 25114: case 25115:
        return QStringLiteral("An error has occured while trying to write extracted file.");
    case 25117: case 25136:
        return QStringLiteral("CRC check has failed. Archive file may be damaged.");
    case 25125:
        return QStringLiteral("Disk is full, not enough space to extract files.");
    case 25132: case 25134: case 25139:
        return QStringLiteral("Sorry, selected file does not exist any more on the media.\r"
                              "Please update data for this media.");
    case 25148:
        return QStringLiteral("Archive file was compressed with unsupported compression method.");
    case 25150:
        return QStringLiteral("Maximum supported archive volumes (999) has been exceeded.");
    case 25153:
        return QStringLiteral("Out of memory, extraction aborted.");
    case 25163:
        return QStringLiteral("Archive file contains too many nested folders.");
    case 25190:
        return QStringLiteral("Archive file is password protected.");
    case 25196:
        return QStringLiteral("Stack overflow encountred while unpacking.");
    case 25197:
        return QStringLiteral("Error has occoured while reading archive file.");
    case 25200:
        return QStringLiteral("Archive file is using unknown or unsupported compression method.");
    case 25202:
        return QStringLiteral("Unknown file type, file is not a supported archive file.");
    case 25204: case 25302:
        return QStringLiteral("This archive file was made by unsupported version of compression program.");
    default:
        return QStringLiteral("Unknown error has occoured while uncompressing file(s).");
    }
}

std::unique_ptr<TUnBase> MakeExtractor(int extIndex)
{
    const TArchiveTypeRow *row = ArchiveTypeRow(extIndex);
    return row && row->makeExtractor ? row->makeExtractor() : nullptr;
}

bool ExtractFromArchive(int extIndex, const QString &archivePath, const QString &destDir, bool showProgress,
                        bool useStoredDirs, bool remember, const QStringList *names, const QString &mask,
                        const TExtractOptions &options)
{
    if (!ArchiveIndexCanExtract(extIndex) && !options.beyondCatalog)
        return true;
    std::unique_ptr<TUnBase> unit = MakeExtractor(extIndex);
    if (!unit)
        return true;
    // The RAR extractor takes the member names; the others go by the mask.
    if (auto *rar = dynamic_cast<TUnRAR *>(unit.get()); rar && names)
        rar->Names = *names;
    TExtractState &state = ExtractionState();
    Prompter &prompter = options.prompter ? *options.prompter : DefaultPrompter();
    ProgressSink *wait = showProgress ? options.progress : nullptr;

    state.lastError = 0;
    state.remember = remember;
    unit->UseStoredDirs = useStoredDirs;
    unit->ProgressNotify = TProgressNotify::Five;
    unit->Passwords = options.passwords;
    unit->OutputLimit = options.outputLimit;

    bool cancelled = false;
    int lastPercent = 0;
    unit->OnBegin = [&](TUnBase *, const QString &fn, int, bool &extract) {
        if (options.accept && !options.accept(fn)) {
            extract = false;
            return;
        }
        lastPercent = 0;
        if (wait && !cancelled)
            wait->ShowWait(QStringLiteral("Extracting ") + fileNamePart(fn), true, true);
    };
    unit->OnProgress = [&](TUnBase *, const QString &, uint8_t percent) {
        if (!wait)
            return;
        if (cancelled) {
            wait->ShowWait(QStringLiteral("Canceled, please wait..."), true, false);
            wait->SetWaitMax(100);
            return;
        }
        wait->AdvanceWait(std::max(0, int(percent) - lastPercent));
        lastPercent = percent;
        if (wait->cancelled()) {
            const MsgAnswer answer = prompter.ask(
                QStringLiteral("Cancel extract"),
                QStringLiteral("Extracting was temporarily halted by user.\r"
                               "Would you like to cancel extracting file(s) from this archive?"),
                MsgIcon::Question, MsgButtons::YesNo);
            if (answer == MsgAnswer::Yes) {
                cancelled = true;
                state.lastError = kExtractCancelled;
                throw EArcAbort("Canceled by user");
            }
            wait->resetCancel();
        }
    };
    unit->OnEnd = [&](TUnBase *, const QString &fn, bool crcPass) {
        if (!crcPass && !state.quiet)
            prompter.ask(QStringLiteral("Warning"), QStringLiteral("CRC check failed on extracting ") + fileNamePart(fn),
                         MsgIcon::Error, MsgButtons::Ok);
        // The archive attribute alone: the file stays writable for the user.
        QFile::setPermissions(fn, QFile::permissions(fn) | QFile::WriteOwner | QFile::WriteUser);
        const QString abs = QFileInfo(fn).absoluteFilePath();
        if (state.remember) {
            if (!state.temporaryFiles.contains(abs))
                state.temporaryFiles << abs;
        } else {
            state.temporaryFiles.removeAll(abs);
        }
    };
    unit->OnError = [&](TZipCommon *, const QString &, const QString &, int code) {
        if (code >= 25100 && code < 25900)
            state.lastError = code;
    };
    if (options.overwrite)
        unit->OnFileExists = [&](TUnBase *, const QString &fn, bool &accept) { accept = options.overwrite(fn); };

    if (wait) {
        wait->resetCancel();
        // The window's title is "Extracting files"; its text is the status line.
        wait->ShowWait(QStringLiteral("Extracting file(s), please wait"), true, true);
        wait->SetWaitMax(100);
    }
    try {
        unit->setArchiveFile(archivePath);
        unit->ExtractDir = destDir;
        unit->setFileSpec(mask.isEmpty() ? QStringLiteral("*.*") : mask);
        unit->Extract();
    } catch (const std::exception &) {
        if (state.lastError == 0)
            state.lastError = kExtractException;
    }
    if (wait)
        wait->CloseWait();

    const bool ok = state.lastError == 0;
    // The user asked for the cancel and already answered its question: an
    // error box saying "Unknown error" on top of that would be wrong.
    if (!ok && !state.quiet && state.lastError != kExtractCancelled)
        prompter.ask(QStringLiteral("Extract Error"), ExtractErrorMessage(state.lastError), MsgIcon::Error,
                     MsgButtons::Ok);
    return ok;
}
