// The commands of quillon-cli, one function per command, each in the file of
// its group: CliListing (info, ls), CliEdits (save-as, rename-disk,
// describe), CliSettings (settings), CliArchives (arc), CliScan (scan),
// CliDrives (drives). Each checks its own arguments and throws UsageError or
// CommandError; it returns a CliExit status.
#pragma once

#include "cli/CliCommand.h"
#include "cli/CliOutput.h"

#include <cstdio>

namespace cli {

int CommandInfo(const CliArgs &args, Output &out);
int CommandLs(const CliArgs &args, Output &out);
int CommandSaveAs(const CliArgs &args);
int CommandRenameDisk(const CliArgs &args, Output &out);
int CommandDescribe(const CliArgs &args);
int CommandSettings(const CliArgs &args, Output &out);
int CommandArc(const CliArgs &args, Output &out);
int CommandScan(const CliArgs &args, Output &out, FILE *err);
int CommandDrives(const CliArgs &args, Output &out, FILE *err);

} // namespace cli
