// quillon-cli search and dupes: the search window's two modes without the
// window. The options fill the same criteria object the window mirrors, the
// same checks run on it (their messages go to stderr, and a group that fails
// one is an error instead of a question), and the walk runs directly in this
// thread over every catalog named, all opened into one forest so that the
// duplicates of one catalog are found on the disks of another.
#include "cli/CliCommands.h"

#include "cli/CliCatalog.h"
#include "cli/CliPrompter.h"

#include "catalog/LoadSave.h"
#include "catalog/ResultLists.h"
#include "search/Criteria.h"
#include "search/Duplicates.h"
#include "search/FoundList.h"
#include "search/RegisteredTypes.h"
#include "search/Scope.h"
#include "search/SearchWalk.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QRegularExpression>

#include <set>

#include <unistd.h>

namespace cli {

namespace {

// ---------------------------------------------------------------- catalogs

// Every catalog of the command line read into one forest, freed at the end.
class CatalogSet
{
public:
    explicit CatalogSet(const QStringList &files)
    {
        for (const QString &file : files)
            ReadCatalog(m_forest, QFileInfo(file).absoluteFilePath());
    }
    ~CatalogSet()
    {
        m_forest.deleteAll([](TTreeNode *node) { FreeItemData(node, true, true); });
    }
    CatalogSet(const CatalogSet &) = delete;
    CatalogSet &operator=(const CatalogSet &) = delete;

    TForest &forest() { return m_forest; }

    // Limits the scope to the disks named (by their shown name in any of
    // the catalogs). Returns whether the whole scope is searched; throws
    // CommandError for a name that no disk has.
    bool limitTo(const QStringList &diskNames)
    {
        if (diskNames.isEmpty())
            return true;
        std::set<QString> unmatched(diskNames.begin(), diskNames.end());
        for (TTreeNode *catalogNode : m_forest.roots())
            for (TTreeNode *diskNode : catalogNode->children()) {
                const bool in = diskNames.contains(NodeName(diskNode));
                SetItemFlag(NodeRec(diskNode), rfInSearch, in);
                if (in)
                    unmatched.erase(NodeName(diskNode));
            }
        if (!unmatched.empty())
            throw CommandError{QStringLiteral("Disk not found: %1").arg(*unmatched.begin())};
        RefreshScope(m_forest);
        return false;
    }

private:
    TForest m_forest;
};

// The status text of a running search, rewritten in place on stderr when
// that is a terminal (nothing otherwise), and wiped at the end.
class TerminalStatus
{
public:
    explicit TerminalStatus(FILE *err) : m_err(::isatty(::fileno(err)) ? err : nullptr) {}
    ~TerminalStatus()
    {
        if (m_shown) {
            std::fputs("\r\033[K", m_err);
            std::fflush(m_err);
        }
    }
    TerminalStatus(const TerminalStatus &) = delete;
    TerminalStatus &operator=(const TerminalStatus &) = delete;

    // Shows the search window's status texts through host's progress reports.
    void follow(TDirectSearchHost &host, const TSearchWalk &walk, bool duplicates)
    {
        if (!m_err)
            return;
        host.progress = [this, &walk, duplicates](int checked, int total, int found) {
            QString text;
            if (!duplicates)
                text = QStringLiteral("Checked %1 items, found %2...").arg(checked).arg(found);
            else if (walk.collectingPhase())
                text = QStringLiteral("Collecting all items: %1").arg(found);
            else
                text = QStringLiteral("Duplicates: %1 of %2").arg(found).arg(checked);
            const int permille = total > 0 ? int((int64_t(checked) * 1000 + total / 2) / total) : 0;
            text += QStringLiteral("  %1%").arg(permille / 10);
            std::fputs(("\r\033[K" + text).toUtf8().constData(), m_err);
            std::fflush(m_err);
            m_shown = true;
        };
    }

private:
    FILE *m_err;
    bool m_shown = false;
};

// ---------------------------------------------------------------- options

Option valueOption(const char *name, const char *valueName, const char *description)
{
    return Option{{QLatin1String(name)}, QLatin1String(description), QLatin1String(valueName)};
}

Option flagOption(const char *name, const char *description)
{
    return Option{{QLatin1String(name)}, QLatin1String(description), {}};
}

// The value of a choice option as its index in words; fallback when not given.
int choice(const Call &call, const char *option, const std::vector<const char *> &words, int fallback)
{
    const std::optional<QString> value = call.optionalValue(QLatin1String(option));
    if (!value)
        return fallback;
    // An empty word holds the place of a choice no option value names.
    for (size_t i = 0; i < words.size(); ++i)
        if (*words[i] && value->compare(QLatin1String(words[i]), Qt::CaseInsensitive) == 0)
            return int(i);
    QStringList allowed;
    for (const char *word : words)
        if (*word)
            allowed << QLatin1String(word);
    throw UsageError{QStringLiteral("--%1: \"%2\" is not one of %3")
                         .arg(QLatin1String(option), *value, allowed.join(QLatin1Char('|')))};
}

// A whole number from min to max.
int number(const Call &call, const char *option, int min, int max)
{
    const QString value = call.value(QLatin1String(option));
    bool ok = false;
    const int n = value.trimmed().toInt(&ok);
    if (!ok || n < min || n > max)
        throw UsageError{QStringLiteral("--%1: \"%2\" is not a number from %3 to %4")
                             .arg(QLatin1String(option), value)
                             .arg(min)
                             .arg(max)};
    return n;
}

// N[B|KB|MB|GB|TB] as the size fields take it: the number as typed, the unit
// beside it (bytes when none).
TSizeField sizeField(const Call &call, const char *option)
{
    static const QRegularExpression form(QStringLiteral("^\\s*([0-9]+(?:\\.[0-9]*)?)\\s*([KMGT]?B)?\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString value = call.value(QLatin1String(option));
    const QRegularExpressionMatch match = form.match(value);
    if (!match.hasMatch())
        throw UsageError{QStringLiteral("--%1: \"%2\" is not a size (N, NKB, NMB, NGB or NTB)")
                             .arg(QLatin1String(option), value)};
    TSizeField field;
    field.text = match.captured(1);
    const QString unit = match.captured(2).toUpper();
    field.unit = unit == QLatin1String("KB")   ? SizeUnit::KB
                 : unit == QLatin1String("MB") ? SizeUnit::MB
                 : unit == QLatin1String("GB") ? SizeUnit::GB
                 : unit == QLatin1String("TB") ? SizeUnit::TB
                                               : SizeUnit::Bytes;
    return field;
}

QDate dateValue(const Call &call, const char *option)
{
    const QString value = call.value(QLatin1String(option));
    const QDate date = QDate::fromString(value.trimmed(), QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        throw UsageError{QStringLiteral("--%1: \"%2\" is not a date (YYYY-MM-DD)").arg(QLatin1String(option), value)};
    return date;
}

QTime timeValue(const Call &call, const char *option)
{
    const QString value = call.value(QLatin1String(option)).trimmed();
    QTime time = QTime::fromString(value, QStringLiteral("HH:mm:ss"));
    if (!time.isValid())
        time = QTime::fromString(value, QStringLiteral("HH:mm"));
    if (!time.isValid())
        throw UsageError{QStringLiteral("--%1: \"%2\" is not a time (HH:MM:SS)").arg(QLatin1String(option), value)};
    return time;
}

// --attr a=1,h=0,s=1,r=0: the listed attributes must be set (1) or clear (0).
void attributes(const Call &call, TSearchWork &work)
{
    const QString value = call.value(QStringLiteral("attr"));
    for (const QString &item : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = item.trimmed().split(QLatin1Char('='));
        const QString letter = parts.value(0).trimmed().toLower();
        const QString state = parts.value(1).trimmed();
        int *box = letter == QLatin1String("a")   ? &work.attrArchive
                   : letter == QLatin1String("h") ? &work.attrHidden
                   : letter == QLatin1String("s") ? &work.attrSystem
                   : letter == QLatin1String("r") ? &work.attrReadOnly
                                                  : nullptr;
        if (!box || parts.size() != 2 || (state != QLatin1String("0") && state != QLatin1String("1")))
            throw UsageError{QStringLiteral("--attr: \"%1\" is not a=0|1, h=0|1, s=0|1 or r=0|1").arg(item.trimmed())};
        *box = state == QLatin1String("1") ? asSet : asClear;
    }
}

const std::vector<const char *> kNameModeWords{"part", "mask", "exact", "ext", "type", "regex"};

// The name group from --name, --name-mode and --case, and its attributes
// from --attr where the command takes it.
void nameGroup(const Call &call, TSearchWork &work, std::vector<TFileType> &fileTypes, bool withAttributes)
{
    const int mode = choice(call, "name-mode", kNameModeWords, nmPartOfName);
    const bool attrs = withAttributes && call.isSet(QStringLiteral("attr"));
    work.byName = call.isSet(QStringLiteral("name")) || call.isSet(QStringLiteral("name-mode")) || attrs;
    work.setNameMode(mode);
    work.fileCase = call.isSet(QStringLiteral("case"));
    if (attrs)
        attributes(call, work);
    const QString text = call.value(QStringLiteral("name"));
    if (mode != nmFileType) {
        work.setNameText(text);
        return;
    }
    // A file type by its description, as the type list shows it.
    fileTypes = RegisteredFileTypes();
    work.fileType = -1;
    for (size_t i = 0; i < fileTypes.size(); ++i)
        if (fileTypes[i].description.compare(text, Qt::CaseInsensitive) == 0) {
            work.fileType = int(i);
            break;
        }
    if (work.fileType < 0 && !text.isEmpty())
        throw UsageError{QStringLiteral("--name: no registered file type is described as \"%1\"").arg(text)};
}

// --files, --folders, --disks: any of them, all three when none is given.
void kinds(const Call &call, TSearchWork &work)
{
    work.files = call.isSet(QStringLiteral("files"));
    work.folders = call.isSet(QStringLiteral("folders"));
    work.disks = call.isSet(QStringLiteral("disks"));
    if (!work.files && !work.folders && !work.disks)
        work.files = work.folders = work.disks = true;
}

const std::vector<const char *> kSizeOpWords{"", "eq", "lt", "gt", "between", "notbetween"};
const std::vector<const char *> kDateKindWords{"", "created", "modified", "accessed"};
const std::vector<const char *> kDateOpWords{"on", "before", "after", "between", "notbetween"};
const std::vector<const char *> kTimeOpWords{"at", "before", "after", "between", "notbetween"};

// The criteria of search from its options, the way a user fills each page.
void searchCriteria(const Call &call, TSearchWork &work, std::vector<TFileType> &fileTypes)
{
    nameGroup(call, work, fileTypes, true);

    const bool descAny = call.isSet(QStringLiteral("desc-any")), descNone = call.isSet(QStringLiteral("desc-none"));
    const bool descText = call.isSet(QStringLiteral("desc"));
    if (int(descAny) + int(descNone) + int(descText) > 1)
        throw UsageError{QStringLiteral("--desc-any, --desc and --desc-none exclude each other")};
    work.byDesc = descAny || descNone || descText;
    work.descMode = descAny ? dmAny : descNone ? dmNone : dmContains;
    work.descText = call.value(QStringLiteral("desc"));
    work.descCase = call.isSet(QStringLiteral("desc-case"));

    work.checkedCategories = call.values(QStringLiteral("category"));
    work.checkedFlags = call.values(QStringLiteral("flag"));
    work.byCategory = !work.checkedCategories.isEmpty() || !work.checkedFlags.isEmpty();

    // A size alone means "equal to"; an operator without a size takes the field's 0.
    work.bySize = call.isSet(QStringLiteral("size-op")) || call.isSet(QStringLiteral("size"));
    if (work.bySize) {
        work.sizeOp = std::max(int(soEqual), choice(call, "size-op", kSizeOpWords, soEqual));
        if (call.isSet(QStringLiteral("size")))
            work.size1 = sizeField(call, "size");
        if (call.isSet(QStringLiteral("size2")))
            work.size2 = sizeField(call, "size2");
        work.sizeTolerance = call.isSet(QStringLiteral("size-tol"));
        if (work.sizeTolerance)
            work.size3 = sizeField(call, "size-tol");
    }

    // Dates and times are of files' modification unless a kind is named.
    const bool dateOn = call.isSet(QStringLiteral("date-kind")) || call.isSet(QStringLiteral("date"))
        || call.isSet(QStringLiteral("date-op"));
    const bool timeOn = call.isSet(QStringLiteral("time-kind")) || call.isSet(QStringLiteral("time"))
        || call.isSet(QStringLiteral("time-op"));
    work.byDate = dateOn || timeOn;
    if (dateOn) {
        work.dateKind = std::max(int(dkCreated), choice(call, "date-kind", kDateKindWords, dkModified));
        work.dateOp = choice(call, "date-op", kDateOpWords, doOn);
        if (call.isSet(QStringLiteral("date")))
            work.date1 = dateValue(call, "date");
        if (call.isSet(QStringLiteral("date2")))
            work.date2 = dateValue(call, "date2");
        work.dateTolerance = call.isSet(QStringLiteral("date-tol"));
        if (work.dateTolerance)
            work.dateToleranceDays = number(call, "date-tol", 0, 99);
    }
    if (timeOn) {
        work.timeKind = std::max(int(dkCreated), choice(call, "time-kind", {"", "created", "modified"}, dkModified));
        work.timeOp = choice(call, "time-op", kTimeOpWords, doOn);
        if (call.isSet(QStringLiteral("time")))
            work.time1 = timeValue(call, "time");
        if (call.isSet(QStringLiteral("time2")))
            work.time2 = timeValue(call, "time2");
        work.timeTolerance = call.isSet(QStringLiteral("time-tol"));
        if (work.timeTolerance)
            work.timeToleranceMinutes = number(call, "time-tol", 0, 999);
    }

    kinds(call, work);
    work.searchType = call.isSet(QStringLiteral("any")) ? 1 : 0;
    work.limitFound = call.isSet(QStringLiteral("max"));
    if (work.limitFound)
        work.maxFound = number(call, "max", 1, 9999);
}

// The duplicates settings from --by and --include-archives.
TDupSettings dupSettings(const Call &call)
{
    TDupSettings settings;
    if (call.isSet(QStringLiteral("by"))) {
        settings.name = settings.size = settings.date = settings.attr = false;
        for (const QString &word : call.value(QStringLiteral("by")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString w = word.trimmed().toLower();
            if (w == QLatin1String("name"))
                settings.name = true;
            else if (w == QLatin1String("size"))
                settings.size = true;
            else if (w == QLatin1String("date"))
                settings.date = true;
            else if (w == QLatin1String("attr"))
                settings.attr = true;
            else
                throw UsageError{QStringLiteral("--by: \"%1\" is not one of name, size, date, attr").arg(word.trimmed())};
        }
    }
    settings.skipArchives = !call.isSet(QStringLiteral("include-archives"));
    settings.singleCopy = call.isSet(QStringLiteral("single-copy"));
    settings.archivesAsFolders = StoredSettings().ArchivesSortCheck;
    return settings;
}

// The page-leaving steps the window runs before Find, the checks of Find,
// and the snapshot; false (after the messages) when no search may start.
std::optional<TSearchCriteria> checkedCriteria(TSearchWork &work, const std::vector<TFileType> &fileTypes,
                                               Prompter &prompter, bool needCriterion)
{
    LeaveNamePage(work);
    LeaveSizePage(work);
    LeaveDatePage(work);
    if (!ValidateCriteria(work, fileTypes, prompter))
        return std::nullopt;
    if (needCriterion && !FindEnabled(work)) {
        prompter.ask(MsgNoCriteriaCaption(), MsgNoCriteriaLeft(), MsgIcon::Information, MsgButtons::Ok);
        return std::nullopt;
    }
    bool active = false;
    std::optional<TSearchCriteria> criteria = TakeCriteriaSnapshot(work, fileTypes, &active);
    if (!criteria)
        prompter.ask(QStringLiteral("Search"), QStringLiteral("The criteria could not be read."), MsgIcon::Error,
                     MsgButtons::Ok);
    return criteria;
}

// ---------------------------------------------------------------- output

// Prints one found record as ls does, naming where it is; group, when not
// negative, is added to its JSON object.
void printItem(Output &out, bool json, TItemRec *rec, int group)
{
    TTreeNode *node = rec->Node;   // a file's: the folder or disk holding it
    TTreeNode *catalogNode = CatalogNodeOf(node);
    ItemPrinter printer(out, catalogNode, json);
    printer.setShowLocation(true);
    const bool file = ItemIs(rec->KindFlags, rkFile);
    if (!json) {
        if (file)
            printer.file(node, static_cast<TFileRec *>(rec));
        else if (AsFolder(rec))
            printer.folder(node);
        else
            printer.disk(node);
        return;
    }
    QJsonObject object = file ? printer.fileObject(node, static_cast<TFileRec *>(rec))
                         : AsFolder(rec) ? printer.folderObject(node)
                                         : printer.diskObject(node);
    object.insert(QStringLiteral("catalog"), AsCatalog(NodeRec(catalogNode))->FileName);
    if (group >= 0)
        object.insert(QStringLiteral("group"), group);
    out.json(object);
}

int noHits(const Call &call)
{
    Output(call.err()).line(QStringLiteral("Sorry, no items were found to match your criteria."));
    return CliFailed;
}

// ---------------------------------------------------------------- commands

// search [criteria] CATALOG...
int runSearch(const Call &call)
{
    TSearchWork work;
    ResetCriteria(work, QDate::currentDate());
    std::vector<TFileType> fileTypes;
    searchCriteria(call, work, fileTypes);
    CliPrompter prompter(call.err());
    const std::optional<TSearchCriteria> criteria = checkedCriteria(work, fileTypes, prompter, true);
    if (!criteria)
        return CliUsage;

    CatalogSet catalogs(call.positional());
    const bool wholeScope = catalogs.limitTo(call.values(QStringLiteral("disk")));
    TFoundList list(ResultListId::Found);
    TDirectSearchHost host;
    TSearchWalk walk(catalogs.forest(), list, host);
    {
        TerminalStatus status(call.err());
        status.follow(host, walk, false);
        walk.runNormal(*criteria, wholeScope);
    }

    const std::vector<TItemRec *> found = list.items();
    if (found.empty())
        return noHits(call);
    const bool json = call.isSet(QStringLiteral("json"));
    for (TItemRec *rec : found)
        if (rec)
            printItem(call.out(), json, rec, -1);
    return CliOk;
}

// dupes [--by ...] [--include-archives] [--single-copy] [name] [kinds] CATALOG...
int runDupes(const Call &call)
{
    const TDupSettings settings = dupSettings(call);
    CliPrompter prompter(call.err());
    if (!DupPropertyChosen(settings)) {
        prompter.ask(MsgNoDupPropertyCaption(), MsgNoDupProperty(), MsgIcon::Warning, MsgButtons::Ok);
        return CliUsage;
    }
    TSearchWork work;
    ResetCriteria(work, QDate::currentDate());
    work.duplicatesMode = true;
    work.dupName = settings.name;
    work.dupSize = settings.size;
    work.dupDate = settings.date;
    work.dupAttr = settings.attr;
    work.dupSkipArchives = settings.skipArchives;
    work.dupSingleCopy = settings.singleCopy;
    std::vector<TFileType> fileTypes;
    nameGroup(call, work, fileTypes, false);
    kinds(call, work);
    const std::optional<TSearchCriteria> filter = checkedCriteria(work, fileTypes, prompter, false);
    if (!filter)
        return CliUsage;

    CatalogSet catalogs(call.positional());
    const bool wholeScope = catalogs.limitTo(call.values(QStringLiteral("disk")));
    TFoundList list(ResultListId::Duplicates);
    TDirectSearchHost host;
    TSearchWalk walk(catalogs.forest(), list, host);
    std::vector<int> groupStarts;
    {
        TerminalStatus status(call.err());
        status.follow(host, walk, true);
        RunDuplicateSearch(walk, *filter, settings, wholeScope, &groupStarts);
    }

    const std::vector<TItemRec *> found = list.items();
    if (found.empty())
        return noHits(call);
    const bool json = call.isSet(QStringLiteral("json"));
    if (settings.singleCopy) {
        for (TItemRec *rec : found)
            if (rec)
                printItem(call.out(), json, rec, -1);
        return CliOk;
    }
    size_t next = 0;
    int group = 0;
    for (int i = 0; i < int(found.size()); ++i) {
        if (next < groupStarts.size() && groupStarts[next] == i) {
            ++group;
            ++next;
            if (!json) {
                if (group > 1)
                    call.out().line(QString());
                call.out().line(QStringLiteral("Group %1:").arg(group));
            }
        }
        if (found[size_t(i)])
            printItem(call.out(), json, found[size_t(i)], group);
    }
    return CliOk;
}

std::vector<Option> nameOptions()
{
    return {
        valueOption("name", "TEXT", "Name criterion: part of the name, a mask, the exact name, extensions "
                                    "(\"txt,doc\"), a registered file type's description, or a regular expression."),
        valueOption("name-mode", "MODE", "How --name is read: part (default), mask, exact, ext, type or regex."),
        flagOption("case", "The name criterion is case-sensitive (part, exact and regex)."),
    };
}

std::vector<Option> scopeOptions()
{
    return {
        flagOption("files", "Search files (all three kinds when none of --files, --folders, --disks is given)."),
        flagOption("folders", "Search folders."),
        flagOption("disks", "Search disks."),
        valueOption("disk", "NAME", "Search only this disk (repeatable); every disk of the catalogs without it."),
        JsonOption(),
    };
}

std::vector<Argument> catalogArguments()
{
    return {CatalogArgument(),
            {QStringLiteral("CATALOG"), QStringLiteral("More catalogs, searched together with the first."),
             Argument::Kind::Repeated, QStringLiteral("[CATALOG...]")}};
}

std::vector<Option> searchOptions()
{
    std::vector<Option> options = nameOptions();
    const std::vector<Option> more{
        valueOption("attr", "LIST", "Attributes that must be set (1) or clear (0), e.g. a=1,h=0,s=1,r=0; "
                                    "the others are ignored."),
        flagOption("desc-any", "Items with any description."),
        valueOption("desc", "TEXT", "Items whose description contains TEXT."),
        flagOption("desc-none", "Items without a description."),
        flagOption("desc-case", "The description text is case-sensitive."),
        valueOption("category", "NAME", "Items of this category (repeatable: any of them)."),
        valueOption("flag", "NAME", "Items with this flag (repeatable)."),
        valueOption("size-op", "OP", "Size is eq, lt, gt, between or notbetween (default eq)."),
        valueOption("size", "N[UNIT]", "The size, in B (default), KB, MB, GB or TB."),
        valueOption("size2", "N[UNIT]", "The upper size of between and notbetween."),
        valueOption("size-tol", "N[UNIT]", "Size tolerance."),
        valueOption("date-kind", "KIND", "The date compared: created, modified (default) or accessed."),
        valueOption("date-op", "OP", "Date is on (default), before, after, between or notbetween."),
        valueOption("date", "YYYY-MM-DD", "The date (today when not given)."),
        valueOption("date2", "YYYY-MM-DD", "The second date of between and notbetween."),
        valueOption("date-tol", "DAYS", "Date tolerance, 0 to 99 days."),
        valueOption("time-kind", "KIND", "The time compared: created or modified (default)."),
        valueOption("time-op", "OP", "Time is at (default), before, after, between or notbetween."),
        valueOption("time", "HH:MM:SS", "The time of day."),
        valueOption("time2", "HH:MM:SS", "The second time of between and notbetween."),
        valueOption("time-tol", "MINUTES", "Time tolerance, 0 to 999 minutes."),
        flagOption("any", "An item matches when at least one condition holds (default: all)."),
        valueOption("max", "N", "Stop after N items (1 to 9999)."),
    };
    options.insert(options.end(), more.begin(), more.end());
    const std::vector<Option> scope = scopeOptions();
    options.insert(options.end(), scope.begin(), scope.end());
    return options;
}

std::vector<Option> dupesOptions()
{
    std::vector<Option> options{
        valueOption("by", "LIST", "Items are the same when these agree: name, size, date, attr "
                                  "(default name,size); sizes and first letters always do."),
        flagOption("include-archives", "Compare the files inside compressed files too."),
        flagOption("single-copy", "List instead the files of the disks searched that have no duplicate on "
                                  "any other disk of the catalogs."),
    };
    const std::vector<Option> name = nameOptions();
    options.insert(options.end(), name.begin(), name.end());
    const std::vector<Option> scope = scopeOptions();
    options.insert(options.end(), scope.begin(), scope.end());
    return options;
}

} // namespace

const Command &SearchCommand()
{
    static const Command command{
        {QStringLiteral("search")},
        QStringLiteral("The files, folders and disks of the catalogs that match the criteria, in the order "
                       "the search finds them. Exit status 1 when nothing matches, 2 when the criteria are "
                       "not valid."),
        searchOptions(),
        catalogArguments(),
        runSearch,
    };
    return command;
}

const Command &DupesCommand()
{
    static const Command command{
        {QStringLiteral("dupes")},
        QStringLiteral("Groups of items that are the same across the catalogs' disks, one group after "
                       "another (each item with its group number); or, with --single-copy, the files that "
                       "exist on one disk only."),
        dupesOptions(),
        catalogArguments(),
        runDupes,
    };
    return command;
}

} // namespace cli
