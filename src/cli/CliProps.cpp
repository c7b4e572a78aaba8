// quillon-cli props: what the properties dialog shows for a catalog, disk,
// folder, file or member of a compressed file, page by page; for a disk
// also the advanced figures with the usage chart's slices.
#include "cli/CliCatalog.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"

#include "browser/Properties.h"
#include "catalog/ItemFormat.h"
#include "platform/Texts.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QMimeDatabase>

namespace cli {

namespace {

const char *pageKey(TPropPage kind)
{
    switch (kind) {
    case TPropPage::File: return "file";
    case TPropPage::Folder: return "folder";
    case TPropPage::Disk: return "disk";
    case TPropPage::Catalog: return "catalog";
    }
    return "";
}

// The desktop's name of a file type by extension, as the windows show it.
QString typeName(const QString &extension)
{
    static QMimeDatabase db;
    const QList<QMimeType> types = db.mimeTypesForFileName(QStringLiteral("x.") + extension.toLower());
    return types.isEmpty() ? QString() : types.front().comment();
}

QString flagsText(const TPropertiesData &data, const TPropPageData &page)
{
    QStringList names;
    for (size_t i = 0; i < data.flagNumbers.size(); ++i)
        if (page.flagChecked[data.flagNumbers[i] - 1])
            names << data.flagNames[qsizetype(i)];
    return names.join(QStringLiteral(", "));
}

bool hasCategory(const TPropPageData &page)
{
    return page.kind == TPropPage::File || page.kind == TPropPage::Folder;
}

QJsonObject pageObject(const TPropertiesData &data, const TPropPageData &page)
{
    QJsonArray rows;
    for (const TPropRow &r : page.rows)
        rows.append(QJsonObject{{QStringLiteral("caption"), r.caption}, {QStringLiteral("value"), r.value}});
    QJsonObject o{
        {QStringLiteral("page"), QLatin1String(pageKey(page.kind))},
        {QStringLiteral("caption"), page.caption},
        {QStringLiteral("name"), page.name},
        {QStringLiteral("rows"), rows},
        {QStringLiteral("desc_label"), page.descLabel},
        {QStringLiteral("desc"), page.desc.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(DecodeStored(page.desc))},
    };
    if (hasCategory(page)) {
        o.insert(QStringLiteral("category"), data.categoryNames.value(page.categoryIndex));
        QJsonArray flags;
        for (size_t i = 0; i < data.flagNumbers.size(); ++i)
            if (page.flagChecked[data.flagNumbers[i] - 1])
                flags.append(data.flagNames[qsizetype(i)]);
        o.insert(QStringLiteral("flags"), flags);
        o.insert(QStringLiteral("attr"), page.attr);
    }
    return o;
}

QJsonObject advancedObject(const TAdvDiskData &adv)
{
    QJsonArray rows, slices;
    for (const TPropRow &r : adv.rows)
        rows.append(QJsonObject{{QStringLiteral("caption"), r.caption}, {QStringLiteral("value"), r.value}});
    for (const TPieSlice &s : adv.slices)
        slices.append(QJsonObject{{QStringLiteral("label"), s.label},
                                  {QStringLiteral("percent"), s.value},
                                  {QStringLiteral("color"), QStringLiteral("#%1").arg(s.rgb, 6, 16, QLatin1Char('0'))}});
    return QJsonObject{
        {QStringLiteral("rows"), rows},
        {QStringLiteral("capacity"), double(adv.capacity)},
        {QStringLiteral("used"), double(adv.used)},
        {QStringLiteral("free"), double(adv.free)},
        {QStringLiteral("used_percent"), adv.usedPercent},
        {QStringLiteral("slices"), slices},
        {QStringLiteral("footer"), adv.footer},
    };
}

void printRows(Output &out, const std::vector<TPropRow> &rows)
{
    for (const TPropRow &r : rows)
        out.line(QStringLiteral("  %1 %2").arg(r.caption, -22).arg(r.value));
}

// props [--json] CATALOG [ITEM]
int runProps(const Call &call)
{
    const QStringList args = call.positional();
    OpenCatalog catalog(QFileInfo(args[0]).absoluteFilePath());
    TTreeNode *node = catalog.node();
    TFileRec *file = nullptr;
    if (args.size() > 1 && !args[1].isEmpty()) {
        const Target target = ResolveTarget(catalog.node(), args[1], true);
        node = target.node;
        file = target.file;
    }
    TPropertiesContext context;
    context.typeName = typeName;
    const TPropertiesData data = FillProperties(node, file, context);
    Output &out = call.out();
    if (call.isSet(QStringLiteral("json"))) {
        QJsonArray pages;
        for (const TPropPageData &page : data.pages)
            pages.append(pageObject(data, page));
        QJsonObject o{{QStringLiteral("pages"), pages}};
        if (data.hasDisk)
            o.insert(QStringLiteral("advanced"), advancedObject(data.adv));
        out.json(o);
        return CliOk;
    }
    bool first = true;
    for (const TPropPageData &page : data.pages) {
        if (!first)
            out.line(QString());
        first = false;
        out.line(QStringLiteral("[%1] %2").arg(page.caption, page.name));
        printRows(out, page.rows);
        if (hasCategory(page)) {
            out.line(QStringLiteral("  %1 %2").arg(QStringLiteral("Category:"), -22).arg(data.categoryNames.value(page.categoryIndex)));
            out.line(QStringLiteral("  %1 %2").arg(QStringLiteral("Flags:"), -22).arg(flagsText(data, page)));
            out.line(QStringLiteral("  %1 %2").arg(QStringLiteral("Attributes:"), -22).arg(AttrLetters(page.attr)));
        }
        out.line(QStringLiteral("  ") + page.descLabel);
        for (const QString &line : PlainLineBreaks(DecodeStored(page.desc)).split(QLatin1Char('\n')))
            if (!page.desc.isEmpty())
                out.line(QStringLiteral("    ") + line);
    }
    if (data.hasDisk) {
        out.line(QString());
        out.line(QStringLiteral("[Advanced Disk Info] %1").arg(data.adv.name));
        printRows(out, data.adv.rows);
        for (const TPieSlice &s : data.adv.slices)
            out.line(QStringLiteral("  %1 %2 %").arg(s.label, -22).arg(s.value));
        out.line(QStringLiteral("  ") + data.adv.footer);
    }
    return CliOk;
}

} // namespace

const Command &PropsCommand()
{
    static const Command command{
        {QStringLiteral("props")},
        QStringLiteral("What the properties dialog shows for an item: the pages of a file (with its folder and "
                       "disk), a folder (with its disk), a disk or, without ITEM, the catalog; their rows, "
                       "description, category and flags. A disk page comes with the advanced figures: file "
                       "system, totals, lost space and the usage chart's slices."),
        {JsonOption()},
        {CatalogArgument(),
         {QStringLiteral("ITEM"), QStringLiteral("DISK, DISK\\PATH, DISK\\PATH\\NAME, or a member of a compressed "
                                                 "file as DISK\\PATH\\ARCHIVE\\MEMBER; the catalog without it."),
          Argument::Kind::Optional, QStringLiteral("[ITEM]")}},
        runProps,
    };
    return command;
}

} // namespace cli
