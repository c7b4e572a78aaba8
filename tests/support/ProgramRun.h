// Runs one of the built programs (quillon-cli, quillon-gencatalog) as a
// separate process for the command-line tests, optionally with settings of
// its own: XDG_CONFIG_HOME pointed at a folder of the test, where nothing is
// stored until the program stores it, so each run starts from the initial
// settings.
#pragma once

#include <QString>
#include <QStringList>

namespace testcat {

struct ProgramRun {
    int exitCode = -1;
    bool crashed = false; // did not start, or ended by a signal
    QString out;
    QString err;
};

// Runs `program` with `args` and no input; `configHome` empty keeps the
// caller's environment.
ProgramRun RunProgram(const QString &program, const QStringList &args, const QString &configHome = {});

} // namespace testcat
