// The parser and the help texts of quillon-cli's commands, made from what
// each command declares: a QCommandLineParser per command, whose help text
// is the command's --help, and the top-level help listing the table.
#include "cli/CliParser.h"

#include "cli/CliCommands.h"

#include <QCommandLineOption>

#include <algorithm>

namespace cli {

Option JsonOption()
{
    return Option{{QStringLiteral("json")}, QStringLiteral("One JSON object per line and item."), {}};
}

Argument CatalogArgument()
{
    return Argument{QStringLiteral("CATALOG"), QStringLiteral("The catalog file (.ctf)."), {}, {}};
}

std::optional<QString> Call::optionalValue(const QString &name) const
{
    if (!m_parser.isSet(name))
        return std::nullopt;
    return m_parser.value(name);
}

namespace {

constexpr int kHelpWidth = 79;   // an 80-column terminal without its last column

// text broken into lines of at most kHelpWidth, each starting with indent blanks.
QString wrapped(const QString &text, int indent)
{
    const QString prefix(indent, QLatin1Char(' '));
    QString result;
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && prefix.size() + line.size() + 1 + word.size() > kHelpWidth) {
            result += prefix + line + QLatin1Char('\n');
            line.clear();
        }
        line += line.isEmpty() ? word : QLatin1Char(' ') + word;
    }
    if (!line.isEmpty())
        result += prefix + line + QLatin1Char('\n');
    return result;
}

// How the usage line spells an option: its longest name with its dashes.
QString optionSpelling(const Option &option)
{
    const QString name = *std::max_element(option.names.begin(), option.names.end(),
                                           [](const QString &a, const QString &b) { return a.size() < b.size(); });
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

QString argumentSyntax(const Argument &argument)
{
    if (!argument.syntax.isEmpty())
        return argument.syntax;
    switch (argument.kind) {
    case Argument::Kind::Required:
        break;
    case Argument::Kind::Optional:
        return QLatin1Char('[') + argument.name + QLatin1Char(']');
    case Argument::Kind::Repeated:
        return QLatin1Char('[') + argument.name + QStringLiteral("...]");
    }
    return argument.name;
}

// "ls [--recursive] [--json] CATALOG [DISK[\PATH]]": a command as the top-level
// help lists it; a command with many options shows them as [OPTIONS].
QString synopsis(const Command &command)
{
    constexpr std::size_t kOptionsSpelledOut = 3;   // more would not fit one line
    QStringList parts = command.words;
    if (command.options.size() > kOptionsSpelledOut) {
        parts << QStringLiteral("[OPTIONS]");
    } else {
        for (const Option &option : command.options)
            parts << QLatin1Char('[') + optionSpelling(option)
                         + (option.valueName.isEmpty() ? QString() : QLatin1Char(' ') + option.valueName)
                         + QLatin1Char(']');
    }
    for (const Argument &argument : command.arguments)
        parts << argumentSyntax(argument);
    return parts.join(QLatin1Char(' '));
}

} // namespace

QString ProgramHelp(const QString &group)
{
    QString text = QStringLiteral("Usage: quillon-cli %1 [OPTIONS] ARGUMENTS\n\nCommands:\n")
                       .arg(group.isEmpty() ? QStringLiteral("COMMAND") : group + QStringLiteral(" ACTION"));
    for (const Command *command : CommandTable()) {
        if (!group.isEmpty() && command->words.first() != group)
            continue;
        text += QStringLiteral("  ") + synopsis(*command) + QLatin1Char('\n');
        text += wrapped(command->description, 6);
    }
    text += QStringLiteral(
        "\n"
        "Options:\n"
        "  -h, --help   this text; after a command, that command's options\n"
        "\n"
        "Paths inside a catalog use \"\\\" (\"/\" works too), starting with the disk's name.\n"
        "Exit status: 0 done, 1 failed (the message is on stderr), 2 wrong usage.\n");
    return text;
}

const QCommandLineOption &HelpOption()
{
    static const QCommandLineOption option({QStringLiteral("h"), QStringLiteral("help")},
                                           QStringLiteral("Shows this help."));
    return option;
}

void DeclareCommand(const Command &command, QCommandLineParser &parser)
{
    parser.setApplicationDescription(wrapped(command.description, 0).trimmed());
    parser.addOption(HelpOption());
    for (const Option &option : command.options)
        parser.addOption(QCommandLineOption(option.names, option.description, option.valueName));
    for (const Argument &argument : command.arguments)
        parser.addPositionalArgument(argument.name, argument.description, argumentSyntax(argument));
}

// Qt's help names the program by its path in the usage line: that line is
// written here, the rest is the parser's.
QString CommandHelp(const Command &command)
{
    QCommandLineParser parser;
    DeclareCommand(command, parser);
    QString text = parser.helpText();
    QStringList usage{QStringLiteral("Usage: quillon-cli")};
    usage << command.words << QStringLiteral("[options]");
    for (const Argument &argument : command.arguments)
        usage << argumentSyntax(argument);
    const qsizetype firstLineEnd = text.indexOf(QLatin1Char('\n'));
    text.replace(0, firstLineEnd < 0 ? text.size() : firstLineEnd, usage.join(QLatin1Char(' ')));
    return text;
}

} // namespace cli
