// Runs one command line of quillon-cli: picks the command from the table,
// parses its arguments, and turns what the command throws into a message and
// an exit status.
#pragma once

#include <QStringList>

#include <cstdio>

// Runs one command line (without the program name), writing results to out
// and messages to err. Returns a CliExit status. Never throws.
int RunCli(const QStringList &args, FILE *out, FILE *err);
