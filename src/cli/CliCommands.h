// The commands of quillon-cli: looking into catalog files (info, ls) and the
// few edits a script needs (save-as, rename-disk, describe). Each command
// opens the catalog through the catalog store, reads lazily only what it
// shows, and saves through the same writer the windows use.
#pragma once

#include "platform/Prompter.h"

#include <QString>
#include <QStringList>

#include <cstdio>

// Exit statuses of quillon-cli.
enum CliExit : int {
    CliOk = 0,
    CliFailed = 1,   // the catalog store or a look-up failed; the message went to stderr
    CliUsage = 2,    // unknown command or wrong arguments; the usage went to stderr
};

// Tells the messages of the catalog store to stderr. Nobody is there to
// answer, so questions get the cautious answer (Cancel, else No) and plain
// messages OK. Counts what it showed, so a command can tell it was warned.
class CliPrompter : public Prompter
{
public:
    explicit CliPrompter(FILE *err) : m_err(err) {}
    MsgAnswer ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons) override;
    int shown() const { return m_shown; }

private:
    FILE *m_err;
    int m_shown = 0;
};


// The usage text that --help prints.
QString CliUsageText();

// Runs one command line (without the program name), writing results to out
// and messages to err. Returns a CliExit status. Never throws.
int RunCli(const QStringList &args, FILE *out, FILE *err);
