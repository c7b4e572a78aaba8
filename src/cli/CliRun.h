// Runs one command line of quillon-cli: parses it, picks the command, and
// turns what the command throws into a message and an exit status.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

// The usage text that --help prints.
QString CliUsageText();

// Runs one command line (without the program name), writing results to out
// and messages to err. Returns a CliExit status. Never throws.
int RunCli(const QStringList &args, FILE *out, FILE *err);
