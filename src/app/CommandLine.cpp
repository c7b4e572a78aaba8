// The command line of the desktop program, read with QCommandLineParser.
#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

TCommandLine ParseCommandLine(const QStringList &arguments, const QString &workingFolder, const QString &version)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Quillon keeps catalogs of disks, folders and archives."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption showVersion = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("catalogs"),
                                 QStringLiteral("Catalog files (.ctf) to open; a running Quillon opens them."),
                                 QStringLiteral("[catalog.ctf...]"));

    TCommandLine result;
    const QString program = arguments.isEmpty() ? QStringLiteral("quillon") : QFileInfo(arguments.first()).fileName();
    if (!parser.parse(arguments.isEmpty() ? QStringList{program} : arguments)) {
        result.Action = TCommandLine::TAction::Error;
        result.Text = program + QStringLiteral(": ") + parser.errorText() + QStringLiteral("\nTry '") + program +
                      QStringLiteral(" --help' for more information.\n");
        return result;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        result.Action = TCommandLine::TAction::Help;
        // The usage line names the program as it was started.
        result.Text = parser.helpText();
        const QString usage = QStringLiteral("Usage: ");
        const qsizetype end = result.Text.indexOf(QLatin1Char(' '), usage.size());
        if (result.Text.startsWith(usage) && end > 0)
            result.Text = usage + program + result.Text.mid(end);
        return result;
    }
    if (parser.isSet(showVersion)) {
        result.Action = TCommandLine::TAction::Version;
        result.Text = QStringLiteral("Quillon ") + version + QLatin1Char('\n');
        return result;
    }
    const QDir base(workingFolder);
    for (const QString &name : parser.positionalArguments())
        if (!name.isEmpty())
            result.Files << QDir::cleanPath(base.absoluteFilePath(name));
    return result;
}
