// The parser and the help texts of quillon-cli's commands, both made from
// the options and arguments each command declares, so that they cannot
// disagree with what the command takes.
#pragma once

#include "cli/CliCommand.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

namespace cli {

// -h, --help: every command takes it.
const QCommandLineOption &HelpOption();

// Declares the command's description, options (with HelpOption) and
// positional arguments to parser.
void DeclareCommand(const Command &command, QCommandLineParser &parser);

// The command's --help: "Usage: quillon-cli WORDS [options] ARGUMENTS", what
// it does, its options and its arguments.
QString CommandHelp(const Command &command);

// The top-level help: every command of the table with what it does; with a
// group (such as "arc"), only the commands of that group.
QString ProgramHelp(const QString &group = QString());

} // namespace cli
