// Runs one command line of quillon-cli. The command is named by its first
// words (options may come before them); its own QCommandLineParser (see
// CliParser) parses the rest. Failures become the exit statuses: a wrong
// command line prints what is wrong and the usage (2), a failed command its
// message (1).
#include "cli/CliRun.h"

#include "cli/CliCommands.h"
#include "cli/CliParser.h"

#include "catalog/ReadAhead.h"
#include "platform/Texts.h"

#include <QCommandLineParser>

#include <algorithm>
#include <exception>
#include <new>
#include <optional>

using namespace cli;

namespace {

bool isHelp(const QString &arg)
{
    return arg == QLatin1String("--help") || arg == QLatin1String("-h");
}

// Whether some command has an option of this spelling that takes a value,
// so that the argument after it is that value, not a command's word.
bool takesValue(const QString &arg)
{
    if (!arg.startsWith(QLatin1String("--")) || arg.contains(QLatin1Char('=')))
        return false;
    const QString name = arg.mid(2);
    for (const Command *command : CommandTable())
        for (const Option &option : command->options)
            if (!option.valueName.isEmpty() && option.names.contains(name))
                return true;
    return false;
}

// Whether some command of the table has an option of this name.
bool anyCommandTakes(const QString &name)
{
    for (const Command *command : CommandTable())
        for (const Option &option : command->options)
            if (option.names.contains(name))
                return true;
    return false;
}

// A command line split into the command's words and the rest, which keeps
// the options given before the words and everything after them in order.
class WordReader
{
public:
    explicit WordReader(const QStringList &args) : m_args(args) {}

    // The next argument that is not an option, or none.
    std::optional<QString> next()
    {
        while (m_at < m_args.size()) {
            const QString &arg = m_args[m_at++];
            if (m_optionsEnded || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-')))
                return arg;
            m_before << arg;
            if (arg == QLatin1String("--"))
                m_optionsEnded = true;
            else if (takesValue(arg) && m_at < m_args.size())
                m_before << m_args[m_at++];
        }
        return std::nullopt;
    }
    // Gives the last word back: it is the command's first argument.
    void unread() { --m_at; }
    // The arguments for the command's parser: what is not a word.
    QStringList rest() const { return m_before + m_args.mid(m_at); }
    bool helpAsked() const
    {
        const QStringList args = rest();
        const qsizetype end = args.indexOf(QStringLiteral("--"));
        return std::any_of(args.begin(), end < 0 ? args.end() : args.begin() + end, isHelp);
    }

private:
    const QStringList &m_args;
    qsizetype m_at = 0;
    bool m_optionsEnded = false;
    QStringList m_before;
};

// What the command line names: a command and the arguments for its parser,
// or only a help to show.
struct Picked {
    const Command *command = nullptr;
    QStringList rest;
    QString help;
};

// The command the words name: a command of two words ("arc list") when the
// second word names one, else the command of the first word alone, whose
// argument the second word then is. Throws UsageError when none fits.
Picked pick(const QStringList &args)
{
    WordReader reader(args);
    const std::optional<QString> first = reader.next();
    const auto named = [](const QString &word) {
        return std::any_of(CommandTable().begin(), CommandTable().end(),
                           [&](const Command *c) { return c->words.first() == word; });
    };
    if (!first) {
        if (!reader.helpAsked())
            throw UsageError{QStringLiteral("No command given")};
        return Picked{nullptr, {}, ProgramHelp()};
    }
    if (*first == QLatin1String("help") || (!named(*first) && reader.helpAsked()))
        return Picked{nullptr, {}, ProgramHelp()};
    if (!named(*first))
        throw UsageError{QStringLiteral("Unknown command: %1").arg(*first)};

    const Command *single = nullptr;
    bool grouped = false;
    for (const Command *command : CommandTable()) {
        if (command->words.first() != *first)
            continue;
        if (command->words.size() == 1)
            single = command;
        else
            grouped = true;
    }
    if (grouped) {
        const std::optional<QString> second = reader.next();
        if (second) {
            for (const Command *command : CommandTable())
                if (command->words == QStringList{*first, *second})
                    return Picked{command, reader.rest(), {}};
            reader.unread();
        }
        if (!single) {
            if (reader.helpAsked())
                return Picked{nullptr, {}, ProgramHelp(*first)};
            if (!second)
                throw UsageError{QStringLiteral("%1: missing arguments").arg(*first), ProgramHelp(*first)};
            throw UsageError{QStringLiteral("%1: unknown action: %2").arg(*first, *second), ProgramHelp(*first)};
        }
    }
    return Picked{single, reader.rest(), {}};
}

// How the command line spelled the unknown option the parser names by name.
QString spelling(const QString &name, const QStringList &args)
{
    const QString dashed = QStringLiteral("--") + name;
    for (const QString &arg : args) {
        if (arg == QLatin1String("--"))
            break;
        if (arg == dashed || arg.startsWith(dashed + QLatin1Char('=')))
            return dashed;
        if (name.size() == 1 && !arg.startsWith(QLatin1String("--")) && arg.startsWith(QLatin1Char('-'))
            && arg.contains(name))
            return arg;
    }
    return name.size() == 1 ? QStringLiteral("-") + name : dashed;
}

// Parses the command's arguments and runs it, or prints its help when asked.
int runCommand(const Command &command, const QStringList &rest, Output &out, FILE *err)
{
    QCommandLineParser parser;
    DeclareCommand(command, parser);
    const QString name = command.words.join(QLatin1Char(' '));
    if (!parser.parse(QStringList{QStringLiteral("quillon-cli")} + rest)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty()) {
            // The parser's other complaint that a user meets: an option that takes a value ends the line.
            if (!rest.isEmpty() && takesValue(rest.last()) && !rest.contains(QStringLiteral("--")))
                throw UsageError{QStringLiteral("%1 needs a value").arg(rest.last())};
            throw UsageError{parser.errorText()};
        }
        const QString option = spelling(unknown.first(), rest);
        if (anyCommandTakes(unknown.first()))
            throw UsageError{QStringLiteral("%1 does not take %2").arg(name, option)};
        throw UsageError{QStringLiteral("Unknown option: %1").arg(option)};
    }
    if (parser.isSet(HelpOption())) {
        std::fputs(CommandHelp(command).toUtf8().constData(), out.file());
        return CliOk;
    }
    const qsizetype count = parser.positionalArguments().size();
    const auto required = std::count_if(command.arguments.begin(), command.arguments.end(),
                                        [](const Argument &a) { return a.kind == Argument::Kind::Required; });
    const bool repeats = std::any_of(command.arguments.begin(), command.arguments.end(),
                                     [](const Argument &a) { return a.kind == Argument::Kind::Repeated; });
    if (count < required)
        throw UsageError{QStringLiteral("%1: missing arguments").arg(name)};
    if (!repeats && count > qsizetype(command.arguments.size()))
        throw UsageError{QStringLiteral("%1: too many arguments").arg(name)};
    return command.run(Call(command, parser, out, err));
}

} // namespace

int RunCli(const QStringList &args, FILE *out, FILE *err)
{
    Output output(out);
    Output errors(err);
    const Command *command = nullptr;
    try {
        const Picked picked = pick(args);
        if (!picked.command) {
            std::fputs(picked.help.toUtf8().constData(), out);
            return CliOk;
        }
        command = picked.command;
        const int status = runCommand(*command, picked.rest, output, err);
        std::fflush(out);
        return status;
    } catch (const UsageError &e) {
        std::fflush(out);
        errors.line(PlainLineBreaks(e.message));
        errors.line(QString());
        const QString usage = !e.usage.isEmpty() ? e.usage : command ? CommandHelp(*command) : ProgramHelp();
        std::fputs(usage.toUtf8().constData(), err);
        return CliUsage;
    } catch (const CommandError &e) {
        std::fflush(out);
        errors.line(PlainLineBreaks(e.message));
    } catch (const EStreamError &e) {
        std::fflush(out);
        errors.line(PlainLineBreaks(e.message()));
    } catch (const std::bad_alloc &) {
        std::fflush(out);
        errors.line(QStringLiteral("Out of memory"));
    } catch (const std::exception &e) {
        std::fflush(out);
        errors.line(PlainLineBreaks(QString::fromLocal8Bit(e.what())));
    }
    return CliFailed;
}
