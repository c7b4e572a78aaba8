#include "ProgramRun.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace testcat {

ProgramRun RunProgram(const QString &program, const QStringList &args, const QString &configHome)
{
    QProcess process;
    if (!configHome.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        process.setProcessEnvironment(env);
    }
    process.start(program, args);
    ProgramRun run;
    if (!process.waitForStarted(30000)) {
        run.crashed = true;
        run.err = process.errorString();
        return run;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(300000)) {
        process.kill();
        process.waitForFinished();
        run.crashed = true;
    }
    run.crashed = run.crashed || process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace testcat
