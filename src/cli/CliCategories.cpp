// quillon-cli categories, set-category, copy-disk and move-disk: a
// catalog's category and flag names, giving them to items, and carrying disks
// between catalogs. Each runs through the core the windows use (the
// Categories Setup state, the assignment by name, the disk transfer) and
// saves with the program's own save.
#include "cli/CliCommands.h"

#include "cli/CliCatalog.h"
#include "cli/CliPrompter.h"

#include "catalog/Categories.h"
#include "catalog/CatalogRec.h"
#include "catalog/SetCategories.h"
#include "manager/CatManager.h"
#include "platform/Texts.h"

#include <QFileInfo>
#include <QJsonObject>

#include <memory>

namespace cli {

namespace {

// The command line is the user's answer to the dialog's questions: a
// confirmation is a Yes; messages still go to stderr.
class ConfirmedPrompter : public Prompter
{
public:
    explicit ConfirmedPrompter(FILE *err) : m_messages(err) {}
    MsgAnswer ask(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons) override
    {
        if (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel)
            return MsgAnswer::Yes;
        return m_messages.ask(caption, text, icon, buttons);
    }

private:
    CliPrompter m_messages;
};

// The index of the list entry named name: the exact name first, then one
// that differs only in case; -1 when none.
int entryNamed(const std::vector<TCategoryEntry> &entries, const QByteArray &name)
{
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].name == name)
            return int(i);
    for (size_t i = 0; i < entries.size(); ++i)
        if (SameCategoryName(entries[i].name, name))
            return int(i);
    return -1;
}

void listCategories(const Call &call, const TCatalogRec *catalog)
{
    Output &out = call.out();
    const bool json = call.isSet(QStringLiteral("json"));
    for (const TCategory &c : catalog->Categories) {
        if (json)
            out.json(QJsonObject{{QStringLiteral("kind"), QStringLiteral("category")},
                                 {QStringLiteral("code"), int(c.Code)},
                                 {QStringLiteral("name"), DecodeStored(c.Name)}});
        else
            out.line(QStringLiteral("%1  %2").arg(int(c.Code), 2).arg(DecodeStored(c.Name)));
    }
    for (int k = 1; k <= kFlagCount; ++k) {
        const QByteArray name = FlagName(catalog, k);
        if (json)
            out.json(QJsonObject{{QStringLiteral("kind"), QStringLiteral("flag")},
                                 {QStringLiteral("number"), k},
                                 {QStringLiteral("name"), name.isEmpty() ? QJsonValue(QJsonValue::Null)
                                                                         : QJsonValue(DecodeStored(name))}});
        else
            out.line(QStringLiteral("flag %1  %2").arg(k).arg(name.isEmpty() ? QStringLiteral("(unnamed)")
                                                                             : DecodeStored(name)));
    }
}

// categories CATALOG [add NAME | rename OLD NEW | delete NAME | flag N NAME]
int runCategories(const Call &call)
{
    const QStringList positional = call.positional();
    const QString action = positional.value(1);
    const QStringList args = positional.mid(2);
    const auto expect = [&](qsizetype count, const char *syntax) {
        if (args.size() != count)
            throw UsageError{QStringLiteral("categories %1: expected %2").arg(action, QLatin1String(syntax))};
    };
    if (!action.isEmpty() && action != QLatin1String("add") && action != QLatin1String("rename")
        && action != QLatin1String("delete") && action != QLatin1String("flag"))
        throw UsageError{QStringLiteral("categories: unknown action \"%1\"").arg(action)};
    if (action.isEmpty() && !args.isEmpty())
        throw UsageError{QStringLiteral("categories: too many arguments")};

    OpenCatalog catalog(positional[0]);
    if (action.isEmpty()) {
        listCategories(call, catalog.record());
        return CliOk;
    }
    ConfirmedPrompter prompter(call.err());
    TCategoryEditWork work({catalog.node()}, prompter);
    if (action == QLatin1String("add")) {
        expect(1, "NAME");
        const QByteArray name = EncodeStored(args[0]);
        if (name.isEmpty())
            throw UsageError{QStringLiteral("categories add: the name is empty")};
        if (!work.canAdd())
            throw CommandError{QStringLiteral("The catalog holds %1 categories already %2")
                                   .arg(kMaxCategories)
                                   .arg(MsgMaxCategoriesReached())};
        const int index = work.add(name);
        work.accept(false);
        catalog.save();
        const TCategoryEntry &added = work.entries()[size_t(index)];
        call.out().line(QStringLiteral("%1  %2").arg(int(added.code), 2).arg(DecodeStored(added.name)));
    } else if (action == QLatin1String("rename")) {
        expect(2, "OLD NEW");
        const int index = entryNamed(work.entries(), EncodeStored(args[0]));
        if (index < 0)
            throw CommandError{QStringLiteral("Category not found: %1").arg(args[0])};
        if (args[1].isEmpty())
            throw UsageError{QStringLiteral("categories rename: the new name is empty")};
        if (work.rename(index, EncodeStored(args[1])) >= 0) {
            work.accept(false);
            catalog.save();
        }
    } else if (action == QLatin1String("delete")) {
        expect(1, "NAME");
        const int index = entryNamed(work.entries(), EncodeStored(args[0]));
        if (index < 0)
            throw CommandError{QStringLiteral("Category not found: %1").arg(args[0])};
        work.remove(index);
        work.accept(false);
        catalog.save();
    } else {
        expect(2, "N NAME");
        bool ok = false;
        const int k = args[0].toInt(&ok);
        if (!ok || k < 1 || k > kFlagCount)
            throw UsageError{QStringLiteral("categories flag: N is 1, 2 or 3, not \"%1\"").arg(args[0])};
        work.setFlagText(k, EncodeStored(args[1]));
        work.accept(false);
        catalog.save();
    }
    return CliOk;
}

// set-category CATALOG ITEM... [--category NAME | --no-category] [--flag NAME=on|off]...
int runSetCategory(const Call &call)
{
    const QStringList positional = call.positional();
    const bool hasCategory = call.isSet(QStringLiteral("category"));
    const bool noCategory = call.isSet(QStringLiteral("no-category"));
    const QStringList flagArgs = call.values(QStringLiteral("flag"));
    if (hasCategory && noCategory)
        throw UsageError{QStringLiteral("set-category: --category and --no-category exclude each other")};
    if (!hasCategory && !noCategory && flagArgs.isEmpty())
        throw UsageError{QStringLiteral("set-category: nothing to set (give --category, --no-category or --flag)")};

    OpenCatalog catalog(positional[0]);
    const TCatalogRec *rec = catalog.record();
    QByteArray categoryName;
    if (hasCategory) {
        categoryName = EncodeStored(call.value(QStringLiteral("category")));
        if (!FindCategory(rec, categoryName))
            throw CommandError{QStringLiteral("Category not found: %1").arg(call.value(QStringLiteral("category")))};
    }
    std::vector<TFlagChoice> flags;
    for (const QString &arg : flagArgs) {
        const qsizetype eq = arg.lastIndexOf(QLatin1Char('='));
        const QString state = eq < 0 ? QString() : arg.mid(eq + 1);
        if (eq <= 0 || (state != QLatin1String("on") && state != QLatin1String("off")))
            throw UsageError{QStringLiteral("set-category: --flag takes NAME=on or NAME=off, not \"%1\"").arg(arg)};
        const QByteArray name = EncodeStored(arg.left(eq));
        if (FindFlag(rec, name) == 0)
            throw CommandError{QStringLiteral("Flag not found: %1").arg(arg.left(eq))};
        flags.push_back({name, state == QLatin1String("on") ? TFlagState::Checked : TFlagState::Unchecked});
    }

    std::vector<TItemRec *> items;
    for (qsizetype i = 1; i < positional.size(); ++i) {
        const Target target = ResolveTarget(catalog.node(), positional[i], true);
        TItemRec *item = target.file ? static_cast<TItemRec *>(target.file) : NodeRec(target.node);
        if (!target.file && !AsFolder(item))
            throw CommandError{QStringLiteral("Only files and folders have a category and flags: %1")
                                   .arg(positional[i])};
        items.push_back(item);
    }
    int changed = 0;
    for (TItemRec *item : items)
        changed += ApplySetCategories(item, categoryName, !hasCategory && !noCategory, flags) ? 1 : 0;
    if (changed > 0)
        catalog.save();
    call.out().line(QStringLiteral("%1 of %2 item%3 changed").arg(changed).arg(items.size())
                        .arg(items.size() == 1 ? QString() : QStringLiteral("s")));
    return CliOk;
}

// copy-disk / move-disk SRC DISK DST
int runTransfer(const Call &call, bool move)
{
    const QStringList positional = call.positional();
    const QString sourceFile = QFileInfo(positional[0]).absoluteFilePath();
    const QString targetFile = QFileInfo(positional[2]).absoluteFilePath();
    const bool sameFile = QFileInfo(sourceFile).canonicalFilePath() == QFileInfo(targetFile).canonicalFilePath()
        || sourceFile == targetFile;

    OpenCatalog source(positional[0]);
    std::unique_ptr<OpenCatalog> target;
    if (!sameFile)
        target = std::make_unique<OpenCatalog>(positional[2], OpenCatalog::IfMissing::Create);
    TTreeNode *targetNode = sameFile ? source.node() : target->node();

    const Target disk = ResolveTarget(source.node(), positional[1], false);
    if (disk.node->parent() != source.node())
        throw CommandError{QStringLiteral("Not a disk: %1").arg(positional[1])};
    if (move && sameFile)
        throw CommandError{QStringLiteral("The disk is in that catalog already: %1").arg(positional[1])};

    const TTransferResult result = TransferDisks({disk.node}, targetNode, move);
    if (result.failedIndex >= 0)
        throw CommandError{result.error};
    if (result.notes.lostItems > 0) {
        CliPrompter messages(call.err());
        messages.ask(MsgWarningTitle(), MsgCategoriesLost(result.notes.lostItems), MsgIcon::Warning,
                     MsgButtons::Ok);
    }
    // The target first: when its save fails, the source still holds the disk.
    if (target)
        target->save();
    else
        source.save();
    if (move)
        source.save();
    call.out().line(NodeName(result.transferred.front()));
    return CliOk;
}

int runCopyDisk(const Call &call) { return runTransfer(call, false); }
int runMoveDisk(const Call &call) { return runTransfer(call, true); }

std::vector<Argument> transferArguments()
{
    return {{QStringLiteral("SRC"), QStringLiteral("The catalog file that holds the disk."), {}, {}},
            {QStringLiteral("DISK"), QStringLiteral("The disk's name."), {}, {}},
            {QStringLiteral("DST"), QStringLiteral("The catalog file that receives it (made when it does not exist)."),
             {}, {}}};
}

} // namespace

const Command &CategoriesCommand()
{
    static const Command command{
        {QStringLiteral("categories")},
        QStringLiteral("Lists the catalog's categories with their codes and its flag names; with an action, "
                       "adds, renames or deletes a category (its items lose it) or names flag N (an empty NAME "
                       "clears the flag from every item), and saves the catalog."),
        {JsonOption()},
        {CatalogArgument(),
         {QStringLiteral("ACTION"), QStringLiteral("add, rename, delete or flag, followed by its names."),
          Argument::Kind::Repeated, QStringLiteral("[add NAME | rename OLD NEW | delete NAME | flag N NAME]")}},
        runCategories,
    };
    return command;
}

const Command &SetCategoryCommand()
{
    static const Command command{
        {QStringLiteral("set-category")},
        QStringLiteral("Gives files and folders a category (by name) and sets or clears their flags (by name), "
                       "and saves the catalog."),
        {{{QStringLiteral("category")}, QStringLiteral("The category's name."), QStringLiteral("NAME")},
         {{QStringLiteral("no-category")}, QStringLiteral("Take the category away."), {}},
         {{QStringLiteral("flag")}, QStringLiteral("Set (on) or clear (off) a flag; may repeat."),
          QStringLiteral("NAME=on|off")}},
        {CatalogArgument(),
         {QStringLiteral("ITEM"), QStringLiteral("A folder or file (\"\\\" or \"/\" between the parts)."), {},
          QStringLiteral("DISK\\PATH")},
         {QStringLiteral("MORE"), QStringLiteral("More folders or files."), Argument::Kind::Repeated,
          QStringLiteral("[DISK\\PATH...]")}},
        runSetCategory,
    };
    return command;
}

const Command &CopyDiskCommand()
{
    static const Command command{
        {QStringLiteral("copy-disk")},
        QStringLiteral("Copies a disk with everything below it into another catalog (a unique name is taken), "
                       "keeping categories and flags by name, saves that catalog and prints the name taken."),
        {},
        transferArguments(),
        runCopyDisk,
    };
    return command;
}

const Command &MoveDiskCommand()
{
    static const Command command{
        {QStringLiteral("move-disk")},
        QStringLiteral("Moves a disk with everything below it into another catalog, as copy-disk, then takes it "
                       "out of SRC; saves both catalogs and prints the name taken."),
        {},
        transferArguments(),
        runMoveDisk,
    };
    return command;
}

} // namespace cli
