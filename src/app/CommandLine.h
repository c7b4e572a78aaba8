// The desktop program's command line: catalog files to open, and the two
// questions every program answers, --help and --version. Options are never
// taken for files; a name that starts with "-" is given after "--".
#pragma once

#include <QString>
#include <QStringList>

struct TCommandLine {
    enum class TAction {
        Run,       // start (or hand Files over to the running instance)
        Help,      // print Text to standard output and end
        Version,   // print Text to standard output and end
        Error,     // print Text to standard error and end with a failure
    };
    TAction Action = TAction::Run;
    QStringList Files;   // absolute paths, in the order given
    QString Text;
};

// Reads arguments (the program's name first) against the working folder
// relative names are taken from. version is the text --version prints.
// Needs no application object, so it answers without a display.
TCommandLine ParseCommandLine(const QStringList &arguments, const QString &workingFolder, const QString &version);
