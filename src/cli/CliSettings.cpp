// quillon-cli settings: the program's general settings, listed by the name
// of the control that edits each, or one changed and all saved, through the
// same settings holder the program uses.
#include "cli/CliCommands.h"

#include "platform/Prompter.h"
#include "settings/Options.h"
#include "settings/Registry.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QVariant>

namespace cli {

// settings: the effective general settings, one line each; settings set
// NAME VALUE: changes one through the settings holder and saves them all.
// Listing changes nothing on disk: settings of another layout revision, which
// the program would delete at its next start, are shown as the initial ones.
int CommandSettings(const CliArgs &args, Output &out)
{
    if (!args.positional.isEmpty() && args.positional[0] == QLatin1String("set")) {
        RequireArgs(args, 3, 3, false, false);
        const QString &name = args.positional[1];
        if (!TOptions::IsSetting(name))
            throw CommandError{QStringLiteral("Unknown setting: %1 (quillon-cli settings lists them)").arg(name)};
        // The revision check runs only once the value is taken, so that a
        // refused value leaves the file as it was.
        Registry registry;
        Registry nothingStored{QString()};
        const bool current = RevisionCurrent(registry);
        TOptions options;
        options.load(current ? registry : nothingStored);
        QString note;
        const QString error = options.settingSet(name, args.positional[2], &note);
        if (!error.isEmpty())
            throw CommandError{error};
        if (!note.isEmpty())
            DefaultPrompter().ask(name, note, MsgIcon::Information, MsgButtons::Ok);
        if (!current)
            RevisionCheck(registry);
        options.apply(DefaultPrompter());
        if (!options.save(registry, DefaultPrompter()))
            return CliFailed;
        out.line(QStringLiteral("%1 %2").arg(name, options.settingText(name)));
        return CliOk;
    }
    RequireArgs(args, 0, 0, true, false);
    Registry registry;
    Registry nothingStored{QString()};
    TOptions options;
    options.load(RevisionCurrent(registry) ? registry : nothingStored);
    for (const QString &name : TOptions::SettingNames()) {
        const QString source = options.settingStored(name) ? QStringLiteral("stored") : QStringLiteral("initial");
        if (args.json) {
            out.json(QJsonObject{{QStringLiteral("name"), name},
                                 {QStringLiteral("value"), QJsonValue::fromVariant(options.settingValue(name))},
                                 {QStringLiteral("source"), source}});
        } else {
            out.line(QStringLiteral("%1 %2 %3").arg(name, -22).arg(source, -8).arg(options.settingText(name)));
        }
    }
    return CliOk;
}

} // namespace cli
