// quillon-cli: looks into catalog files and makes small edits from scripts.
// The commands are run by CliRun; this sets up Qt and the stderr prompter.
#include "cli/CliPrompter.h"
#include "cli/CliRun.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    // Without TZ, the C library checks /etc/localtime again on every local
    // time conversion, one file system call per date shown; naming the same
    // file once keeps the zone and makes long listings cheaper.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    QCoreApplication app(argc, argv);
    CliPrompter prompter(stderr);
    SetDefaultPrompter(&prompter);
    const int status = RunCli(QCoreApplication::arguments().mid(1), stdout, stderr);
    SetDefaultPrompter(nullptr);
    return status;
}
