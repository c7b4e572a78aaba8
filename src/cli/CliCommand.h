// What a command of quillon-cli is: its words, what it does, the options and
// positional arguments it declares (from which its parser and its --help are
// made), and the function that runs it on the parsed command line.
#pragma once

#include "cli/CliOutput.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

// Exit statuses of quillon-cli.
enum CliExit : int {
    CliOk = 0,
    CliFailed = 1,   // the catalog store or a look-up failed; the message went to stderr
    CliUsage = 2,    // unknown command or wrong arguments; the usage went to stderr
};

namespace cli {

// Wrong command line: the text says what is wrong, the usage follows it (the
// command's help when usage is empty).
struct UsageError {
    explicit UsageError(QString text, QString usageText = QString())
        : message(std::move(text)), usage(std::move(usageText)) {}
    QString message;
    QString usage;
};

// A failure of the command itself (a missing disk or path).
struct CommandError {
    QString message;
};

// An option a command takes. One-letter names are given as -r, longer ones as
// --recursive; with a valueName the option takes a value (--name NAME or
// --name=NAME), and when it is given twice the last value counts.
struct Option {
    QStringList names;
    QString description;
    QString valueName;
};

// A positional argument, in the order they come. Optional and repeated ones
// come last; syntax is how the usage line writes it (the name when empty).
struct Argument {
    enum class Kind { Required, Optional, Repeated };
    QString name;
    QString description;
    Kind kind = Kind::Required;
    QString syntax;
};

class Call;

// One command: the words that name it ("ls", or "arc" "list"), a paragraph on
// what it does, and what it takes. The runner checks the options and the
// number of arguments before run is called; run checks what only it knows,
// throws UsageError or CommandError, and returns a CliExit status.
struct Command {
    QStringList words;
    QString description;
    std::vector<Option> options;
    std::vector<Argument> arguments;
    int (*run)(const Call &call) = nullptr;
};

// The --json option as every command that offers it declares it.
Option JsonOption();

// The CATALOG argument of the commands that work on a catalog file.
Argument CatalogArgument();

// A command line as parsed for its command, and where the command writes.
class Call
{
public:
    Call(const Command &command, const QCommandLineParser &parser, Output &out, FILE *err)
        : m_command(command), m_parser(parser), m_out(out), m_err(err) {}

    const Command &command() const { return m_command; }
    // The positional arguments, without the command's words.
    QStringList positional() const { return m_parser.positionalArguments(); }
    // Whether an option (by any of its names) was given.
    bool isSet(const QString &name) const { return m_parser.isSet(name); }
    // The option's last value; empty when not given.
    QString value(const QString &name) const { return m_parser.value(name); }
    // Every value of an option that may repeat, in order.
    QStringList values(const QString &name) const { return m_parser.values(name); }
    // The option's last value, or none when not given.
    std::optional<QString> optionalValue(const QString &name) const;
    // The names of the options as given, in order, for options that cancel each other.
    QStringList optionNames() const { return m_parser.optionNames(); }

    Output &out() const { return m_out; }
    FILE *err() const { return m_err; }

private:
    const Command &m_command;
    const QCommandLineParser &m_parser;
    Output &m_out;
    FILE *m_err;
};

} // namespace cli
