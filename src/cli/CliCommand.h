// What every command of quillon-cli shares: its exit statuses, the two ways
// a command fails, and the command line as parsed.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Exit statuses of quillon-cli.
enum CliExit : int {
    CliOk = 0,
    CliFailed = 1,   // the catalog store or a look-up failed; the message went to stderr
    CliUsage = 2,    // unknown command or wrong arguments; the usage went to stderr
};

namespace cli {

// Wrong command line: the text says what is wrong, the usage follows it.
struct UsageError {
    QString message;
};

// A failure of the command itself (a missing disk or path).
struct CommandError {
    QString message;
};

struct CliArgs {
    QString command;
    QStringList positional;
    bool recursive = false;
    bool json = false;
    bool help = false;
    bool dirs = false;        // arc extract: keep stored folders
    QStringList passwords;    // arc extract: --password PW, may repeat

    // scan
    QString scanOption;       // the first scan option given (other commands refuse it)
    std::optional<QString> name;
    std::optional<QString> update;
    std::optional<bool> archives;
    bool archiveDescOnly = false;
    bool quickScan = false;
    std::optional<QString> import;
    std::optional<QString> keep;
    bool hidden = false;
    bool recycle = false;
    bool eject = false;
};

// Checks the number of arguments and the options a command allows; throws UsageError.
void RequireArgs(const CliArgs &args, int minCount, int maxCount, bool allowJson, bool allowRecursive);

} // namespace cli
