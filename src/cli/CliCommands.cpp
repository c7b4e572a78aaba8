// The table of quillon-cli's commands. Each command lives in the file of its
// group and is described there by a Command (words, options, arguments, run).
#include "cli/CliCommands.h"

namespace cli {

// To add a command: write cli/CliFoo.cpp (or add to the file of its group)
// with its run function and a `const Command &FooCommand()` that declares its
// words, description, options and arguments; declare that function here and
// add one row to the table. Its parser, its --help and its line in the
// top-level help all come from that Command; nothing else needs to change.
const Command &InfoCommand();        // CliListing.cpp
const Command &LsCommand();          // CliListing.cpp
const Command &SaveAsCommand();      // CliEdits.cpp
const Command &RenameDiskCommand();  // CliEdits.cpp
const Command &DescribeCommand();    // CliEdits.cpp
const Command &SettingsCommand();    // CliSettings.cpp
const Command &SettingsSetCommand(); // CliSettings.cpp
const Command &ArcListCommand();     // CliArchives.cpp
const Command &ArcExtractCommand();  // CliArchives.cpp
const Command &ScanCommand();        // CliScan.cpp
const Command &DrivesCommand();      // CliDrives.cpp
const Command &SearchCommand();      // CliSearch.cpp
const Command &DupesCommand();       // CliSearch.cpp
const Command &CompareCommand();     // CliCompare.cpp
const Command &CheckCommand();       // CliCompare.cpp
const Command &CategoriesCommand();  // CliCategories.cpp
const Command &SetCategoryCommand(); // CliCategories.cpp
const Command &CopyDiskCommand();    // CliCategories.cpp
const Command &MoveDiskCommand();    // CliCategories.cpp
const Command &PropsCommand();       // CliProps.cpp
const Command &ExtractCommand();     // CliExtract.cpp

const std::vector<const Command *> &CommandTable()
{
    static const std::vector<const Command *> table{
        &InfoCommand(),
        &LsCommand(),
        &SaveAsCommand(),
        &RenameDiskCommand(),
        &DescribeCommand(),
        &SettingsCommand(),
        &SettingsSetCommand(),
        &ArcListCommand(),
        &ArcExtractCommand(),
        &ScanCommand(),
        &DrivesCommand(),
        &SearchCommand(),
        &DupesCommand(),
        &CompareCommand(),
        &CheckCommand(),
        &CategoriesCommand(),
        &SetCategoryCommand(),
        &CopyDiskCommand(),
        &MoveDiskCommand(),
        &PropsCommand(),
        &ExtractCommand(),
    };
    return table;
}

} // namespace cli
