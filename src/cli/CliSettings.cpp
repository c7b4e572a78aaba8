// quillon-cli settings: the program's general settings, listed by the name
// of the control that edits each, or one changed and all saved, through the
// same settings holder the program uses.
#include "cli/CliCommands.h"

#include "cli/CliCatalog.h"

#include "platform/Prompter.h"
#include "settings/Options.h"
#include "settings/Registry.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QVariant>

namespace cli {

namespace {

// settings set NAME VALUE: changes one setting through the settings holder
// and saves them all. The revision check runs only once the value is taken,
// so that a refused value leaves the file as it was.
int runSettingsSet(const Call &call)
{
    const QStringList positional = call.positional();
    const QString &name = positional[0];
    if (!TOptions::IsSetting(name))
        throw CommandError{QStringLiteral("Unknown setting: %1 (quillon-cli settings lists them)").arg(name)};
    Registry registry;
    Registry nothingStored{QString()};
    const bool current = RevisionCurrent(registry);
    TOptions options;
    options.load(current ? registry : nothingStored);
    QString note;
    const QString error = options.settingSet(name, positional[1], &note);
    if (!error.isEmpty())
        throw CommandError{error};
    if (!note.isEmpty())
        DefaultPrompter().ask(name, note, MsgIcon::Information, MsgButtons::Ok);
    if (!current)
        RevisionCheck(registry);
    options.apply(DefaultPrompter());
    if (!options.save(registry, DefaultPrompter()))
        return CliFailed;
    call.out().line(QStringLiteral("%1 %2").arg(name, options.settingText(name)));
    return CliOk;
}

// settings [--json]: the effective general settings, one line each. Listing
// changes nothing on disk: settings of another layout revision, which the
// program would delete at its next start, are shown as the initial ones.
int runSettings(const Call &call)
{
    const bool json = call.isSet(QStringLiteral("json"));
    const TOptions options = StoredSettings();
    for (const QString &name : TOptions::SettingNames()) {
        const QString source = options.settingStored(name) ? QStringLiteral("stored") : QStringLiteral("initial");
        if (json) {
            call.out().json(QJsonObject{{QStringLiteral("name"), name},
                                        {QStringLiteral("value"), QJsonValue::fromVariant(options.settingValue(name))},
                                        {QStringLiteral("source"), source}});
        } else {
            call.out().line(QStringLiteral("%1 %2 %3").arg(name, -22).arg(source, -8).arg(options.settingText(name)));
        }
    }
    return CliOk;
}

} // namespace

const Command &SettingsCommand()
{
    static const Command command{
        {QStringLiteral("settings")},
        QStringLiteral("The program's settings, one per line: the name of the control that edits it, where its "
                       "value comes from (stored or initial), the value."),
        {JsonOption()},
        {},
        runSettings,
    };
    return command;
}

const Command &SettingsSetCommand()
{
    static const Command command{
        {QStringLiteral("settings"), QStringLiteral("set")},
        QStringLiteral("Changes one setting and saves the settings. Check boxes take true or false, numbers "
                       "must lie in the setting's range, lists are comma text (items with blanks or commas in "
                       "double quotes). Put -- before a VALUE that starts with \"-\"."),
        {},
        {{QStringLiteral("NAME"), QStringLiteral("The setting, by the name quillon-cli settings lists."), {}, {}},
         {QStringLiteral("VALUE"), QStringLiteral("Its new value."), {}, {}}},
        runSettingsSet,
    };
    return command;
}

} // namespace cli
