// Runs one command line of quillon-cli: the arguments are parsed once for
// every command, the command is picked by its name, and its failures become
// the exit statuses: a wrong command line prints the usage (2), a failed
// command its message (1).
#include "cli/CliRun.h"

#include "cli/CliCommands.h"

#include "catalog/ReadAhead.h"
#include "platform/Texts.h"

#include <exception>
#include <new>
#include <optional>

using namespace cli;

namespace cli {

void RequireArgs(const CliArgs &args, int minCount, int maxCount, bool allowJson, bool allowRecursive)
{
    if (args.json && !allowJson)
        throw UsageError{QStringLiteral("%1 does not take --json").arg(args.command)};
    if (args.recursive && !allowRecursive)
        throw UsageError{QStringLiteral("%1 does not take --recursive").arg(args.command)};
    const auto count = args.positional.size();
    if (count < minCount)
        throw UsageError{QStringLiteral("%1: missing arguments").arg(args.command)};
    if (count > maxCount)
        throw UsageError{QStringLiteral("%1: too many arguments").arg(args.command)};
}

} // namespace cli

namespace {

// The scan options that take a value, and where it goes.
std::optional<QString> *ScanValueOption(CliArgs &parsed, const QString &option)
{
    if (option == QLatin1String("--name"))
        return &parsed.name;
    if (option == QLatin1String("--update"))
        return &parsed.update;
    if (option == QLatin1String("--import"))
        return &parsed.import;
    if (option == QLatin1String("--keep-descriptions"))
        return &parsed.keep;
    return nullptr;
}

// A scan option without a value; false when arg is none.
bool TakeScanFlag(CliArgs &parsed, const QString &arg)
{
    if (arg == QLatin1String("--archives"))
        parsed.archives = true;
    else if (arg == QLatin1String("--no-archives"))
        parsed.archives = false;
    else if (arg == QLatin1String("--archive-desc-only"))
        parsed.archiveDescOnly = true;
    else if (arg == QLatin1String("--quick-scan"))
        parsed.quickScan = true;
    else if (arg == QLatin1String("--hidden"))
        parsed.hidden = true;
    else if (arg == QLatin1String("--recycle"))
        parsed.recycle = true;
    else if (arg == QLatin1String("--eject"))
        parsed.eject = true;
    else
        return false;
    return true;
}

CliArgs parseArgs(const QStringList &args)
{
    CliArgs parsed;
    bool optionsEnded = false;
    QStringList positional;
    bool wantPassword = false;
    std::optional<QString> *wantValue = nullptr;
    QString wantValueName;
    for (const QString &arg : args) {
        if (wantPassword) {
            parsed.passwords << arg;
            wantPassword = false;
            continue;
        }
        if (wantValue) {
            *wantValue = arg;
            wantValue = nullptr;
            continue;
        }
        if (!optionsEnded && arg.startsWith(QLatin1String("--"))) {
            const qsizetype eq = arg.indexOf(QLatin1Char('='));
            const QString option = eq > 0 ? arg.left(eq) : arg;
            if (std::optional<QString> *slot = ScanValueOption(parsed, option)) {
                if (parsed.scanOption.isEmpty())
                    parsed.scanOption = option;
                if (eq > 0) {
                    *slot = arg.mid(eq + 1);
                } else {
                    wantValue = slot;
                    wantValueName = option;
                }
                continue;
            }
            if (TakeScanFlag(parsed, arg)) {
                if (parsed.scanOption.isEmpty())
                    parsed.scanOption = arg;
                continue;
            }
        }
        if (optionsEnded || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            positional << arg;
        } else if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            parsed.help = true;
        } else if (arg == QLatin1String("--recursive") || arg == QLatin1String("-r") || arg == QLatin1String("-R")) {
            parsed.recursive = true;
        } else if (arg == QLatin1String("--json")) {
            parsed.json = true;
        } else if (arg == QLatin1String("--dirs")) {
            parsed.dirs = true;
        } else if (arg == QLatin1String("--password")) {
            wantPassword = true;
        } else if (arg.startsWith(QLatin1String("--password="))) {
            parsed.passwords << arg.mid(11);
        } else {
            throw UsageError{QStringLiteral("Unknown option: %1").arg(arg)};
        }
    }
    if (wantPassword)
        throw UsageError{QStringLiteral("--password needs a value")};
    if (wantValue)
        throw UsageError{QStringLiteral("%1 needs a value").arg(wantValueName)};
    if (!positional.isEmpty())
        parsed.command = positional.takeFirst();
    parsed.positional = positional;
    return parsed;
}

int dispatch(const CliArgs &args, Output &out, FILE *err)
{
    if (!args.scanOption.isEmpty() && args.command != QLatin1String("scan"))
        throw UsageError{QStringLiteral("%1 does not take %2").arg(args.command, args.scanOption)};
    if (args.command == QLatin1String("scan"))
        return CommandScan(args, out, err);
    if (args.command == QLatin1String("drives"))
        return CommandDrives(args, out, err);
    if (args.command == QLatin1String("info"))
        return CommandInfo(args, out);
    if (args.command == QLatin1String("ls"))
        return CommandLs(args, out);
    if (args.command == QLatin1String("save-as"))
        return CommandSaveAs(args);
    if (args.command == QLatin1String("rename-disk"))
        return CommandRenameDisk(args, out);
    if (args.command == QLatin1String("describe"))
        return CommandDescribe(args);
    if (args.command == QLatin1String("settings"))
        return CommandSettings(args, out);
    if (args.command == QLatin1String("arc"))
        return CommandArc(args, out);
    throw UsageError{QStringLiteral("Unknown command: %1").arg(args.command)};
}

} // namespace

QString CliUsageText()
{
    return QStringLiteral(
        "Usage: quillon-cli COMMAND [OPTIONS] ARGUMENTS\n"
        "\n"
        "Commands:\n"
        "  info [--json] CATALOG\n"
        "      The catalog's name, description, file, layout, categories, flag names\n"
        "      and a summary of every disk.\n"
        "  ls [--recursive] [--json] CATALOG [DISK[\\PATH]]\n"
        "      The catalog's disks, or the folders and files of a disk's root or of a\n"
        "      folder; --recursive walks down through every folder below.\n"
        "  save-as CATALOG NEWFILE\n"
        "      Writes the catalog to NEWFILE.\n"
        "  rename-disk CATALOG OLD NEW\n"
        "      Renames disk OLD (a name other disks have gets \" (2)\", \" (3)\", ...),\n"
        "      saves the catalog and prints the name taken.\n"
        "  describe CATALOG DISK[\\PATH[\\NAME]] TEXT\n"
        "      Stores TEXT as the description of a disk, folder or file and saves the\n"
        "      catalog; an empty TEXT removes the description. Put -- before a TEXT\n"
        "      that starts with \"-\".\n"
        "  settings [--json]\n"
        "      The program's settings, one per line: the name of the control that\n"
        "      edits it, where its value comes from (stored or initial), the value.\n"
        "  settings set NAME VALUE\n"
        "      Changes one setting and saves the settings. Check boxes take true or\n"
        "      false, numbers must lie in the setting's range, lists are comma text\n"
        "      (items with blanks or commas in double quotes). Put -- before a VALUE\n"
        "      that starts with \"-\".\n"
        "  arc list [--json] ARCHIVE\n"
        "      The archive's type, start offset and comment, then its members: name,\n"
        "      size, packed size, CRC, date-time, method, attributes, comment.\n"
        "  arc extract [--dirs] [--password PW] ARCHIVE DEST [MASK...]\n"
        "      Extracts the members matching the masks (all without one) into DEST;\n"
        "      --dirs keeps the stored folders, --password is tried on encrypted\n"
        "      members. Existing files are kept.\n"
        "  scan [OPTIONS] [--json] CATALOG PATH\n"
        "      Catalogues a drive (PATH a drive letter such as D: or a mount point)\n"
        "      or a folder of one (a virtual root) as a disk of CATALOG, which is\n"
        "      created when missing, saves the catalog and prints the new disk.\n"
        "      Defaults come from the settings.\n"
        "        --name NAME              the disk's name (default: the volume label)\n"
        "        --update DISK            replace disk DISK by the new image\n"
        "        --archives, --no-archives  list the members of compressed files\n"
        "        --archive-desc-only      only look for descriptions inside them\n"
        "        --quick-scan             keep unchanged compressed files of DISK\n"
        "        --import LIST            description sources: a comma list of diz,\n"
        "                                 bbs, ion and comment, or none\n"
        "        --keep-descriptions disk|catalog|none\n"
        "                                 carry descriptions and categories over from\n"
        "                                 DISK or from every disk of the catalog\n"
        "        --hidden                 include hidden files and folders\n"
        "        --recycle                include recycle bin folders\n"
        "        --eject                  eject the medium when done\n"
        "  drives [--json]\n"
        "      The drive letters of this machine: media type, readiness, label,\n"
        "      serial, file system, capacity, free space, mount point and device.\n"
        "\n"
        "Options:\n"
        "  -r, --recursive   ls: list every folder below as well\n"
        "      --json        one JSON object per line and item\n"
        "  -h, --help        this text\n"
        "\n"
        "Paths inside a catalog use \"\\\" (\"/\" works too), starting with the disk's name.\n"
        "Exit status: 0 done, 1 failed (the message is on stderr), 2 wrong usage.\n");
}

int RunCli(const QStringList &args, FILE *out, FILE *err)
{
    Output output(out);
    Output errors(err);
    try {
        const CliArgs parsed = parseArgs(args);
        if (parsed.help || parsed.command == QLatin1String("help")) {
            std::fputs(CliUsageText().toUtf8().constData(), out);
            return CliOk;
        }
        if (parsed.command.isEmpty())
            throw UsageError{QStringLiteral("No command given")};
        const int status = dispatch(parsed, output, err);
        std::fflush(out);
        return status;
    } catch (const UsageError &e) {
        std::fflush(out);
        errors.line(PlainLineBreaks(e.message));
        errors.line(QString());
        std::fputs(CliUsageText().toUtf8().constData(), err);
        return CliUsage;
    } catch (const CommandError &e) {
        std::fflush(out);
        errors.line(PlainLineBreaks(e.message));
    } catch (const EStreamError &e) {
        std::fflush(out);
        errors.line(PlainLineBreaks(e.message()));
    } catch (const std::bad_alloc &) {
        std::fflush(out);
        errors.line(QStringLiteral("Out of memory"));
    } catch (const std::exception &e) {
        std::fflush(out);
        errors.line(PlainLineBreaks(QString::fromLocal8Bit(e.what())));
    }
    return CliFailed;
}
