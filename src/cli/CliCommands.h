// The table of quillon-cli's commands, from which the runner picks a command
// by its words and the top-level --help lists them all.
#pragma once

#include "cli/CliCommand.h"

#include <vector>

namespace cli {

// Every command, in the order the help lists them.
const std::vector<const Command *> &CommandTable();

} // namespace cli
