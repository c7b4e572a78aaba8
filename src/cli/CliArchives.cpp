// quillon-cli arc list and arc extract: an archive as the archive kit lists
// it, and its members extracted by the same driver the windows use.
#include "cli/CliCommands.h"

#include "archive/ArcLister.h"
#include "archive/Extract.h"
#include "platform/Prompter.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QJsonValue>

#include <utility>
#include <vector>

namespace cli {

namespace {

// arc extract [--dirs] [--password PW] ARCHIVE DEST [MASK...]: runs the extraction driver once per
// mask ("*.*" without one); the driver's message goes to stderr and the status says whether all worked.
int runArcExtract(const Call &call)
{
    const QStringList positional = call.positional();
    const QString path = positional[0];
    const QString dest = positional[1];
    if (!QFileInfo(path).isFile())
        throw CommandError{QStringLiteral("%1: %2").arg(path, QLatin1String(ArcErrorText(ArcErrOpenFile)))};
    QStringList masks = positional.mid(2);
    if (masks.isEmpty())
        masks << QStringLiteral("*.*");
    TExtractOptions options;
    options.prompter = &DefaultPrompter();
    options.passwords = call.values(QStringLiteral("password"));
    options.beyondCatalog = true; // the kit's CAB extractor too
    ExtractionState().quiet = false;
    // The extractor follows the type the file's bytes show, as the listing does (a
    // self-extractor named .exe, .sfx or .com by its archive kind); the extension only
    // when the bytes show no type with an extractor row.
    TArcLister probe;
    probe.setArchiveFile(path);
    int index = ArchiveTypeIndex(probe.arcType());
    if (index == 0)
        index = ArchiveExtensionIndex(path);
    bool ok = true;
    for (const QString &mask : std::as_const(masks)) {
        if (!ExtractFromArchive(index, path, dest, false, call.isSet(QStringLiteral("dirs")), false, nullptr, mask, options))
            ok = false;
    }
    return ok ? CliOk : CliFailed;
}

// arc list [--json] ARCHIVE: the archive line, then one line per member as the lister reports them.
int runArcList(const Call &call)
{
    Output &out = call.out();
    const QString path = call.positional()[0];
    if (!QFileInfo(path).isFile())
        throw CommandError{QStringLiteral("%1: %2").arg(path, QLatin1String(ArcErrorText(ArcErrOpenFile)))};
    TArcLister lister;
    lister.setArchiveFile(path);
    std::vector<QJsonObject> members;
    auto textOrNullBytes = [](const QByteArray &bytes) {
        return bytes.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(QString::fromUtf8(bytes));
    };
    lister.OnRead = [&](TArcLister *s, int64_t, int) {
        members.push_back(QJsonObject{
            {QStringLiteral("kind"), QStringLiteral("member")},
            {QStringLiteral("name"), QString::fromUtf8(s->MemberName)},
            {QStringLiteral("size"), double(s->UnpackedSize)},
            {QStringLiteral("packed"), double(s->PackedSize)},
            {QStringLiteral("crc"), QStringLiteral("%1").arg(s->MemberCRC, 8, 16, QLatin1Char('0'))},
            {QStringLiteral("datetime"), DosDateTimeToIso(s->MemberDosDate)},
            {QStringLiteral("method"), s->MethodCode},
            {QStringLiteral("attr"), double(s->MemberAttr)},
            {QStringLiteral("comment"), textOrNullBytes(s->MemberComment)},
        });
    };
    QByteArray archiveComment;
    lister.OnTotals = [&](TArcLister *s, int) { archiveComment = s->ArchiveComment; };
    const bool ok = lister.activate();
    const QJsonObject archive{
        {QStringLiteral("kind"), QStringLiteral("archive")},
        {QStringLiteral("type"), QLatin1String(ArcTypeName(lister.arcType()))},
        {QStringLiteral("offset"), double(lister.startOffset() - 1)},
        {QStringLiteral("comment"), textOrNullBytes(archiveComment)},
    };
    if (call.isSet(QStringLiteral("json"))) {
        out.json(archive);
        for (const QJsonObject &m : members)
            out.json(m);
    } else {
        out.line(QStringLiteral("%1 archive at offset %2").arg(QLatin1String(ArcTypeName(lister.arcType())))
                     .arg(lister.startOffset() - 1));
        for (const QJsonObject &m : members)
            out.line(QStringLiteral("%1 %2 %3 %4 %5")
                         .arg(qint64(m.value(QStringLiteral("size")).toDouble()), 12)
                         .arg(qint64(m.value(QStringLiteral("packed")).toDouble()), 12)
                         .arg(m.value(QStringLiteral("crc")).toString(), m.value(QStringLiteral("datetime")).toString(),
                              m.value(QStringLiteral("name")).toString()));
    }
    if (!ok)
        throw CommandError{QStringLiteral("%1: %2").arg(path, QLatin1String(ArcErrorText(lister.lastError())))};
    return CliOk;
}

Argument archiveArgument()
{
    return Argument{QStringLiteral("ARCHIVE"), QStringLiteral("The archive file."), {}, {}};
}

} // namespace

const Command &ArcListCommand()
{
    static const Command command{
        {QStringLiteral("arc"), QStringLiteral("list")},
        QStringLiteral("The archive's type, start offset and comment, then its members: name, size, packed "
                       "size, CRC, date-time, method, attributes, comment."),
        {JsonOption()},
        {archiveArgument()},
        runArcList,
    };
    return command;
}

const Command &ArcExtractCommand()
{
    static const Command command{
        {QStringLiteral("arc"), QStringLiteral("extract")},
        QStringLiteral("Extracts the members matching the masks (all without one) into DEST; --dirs keeps the "
                       "stored folders, --password is tried on encrypted members. Existing files are kept."),
        {{{QStringLiteral("dirs")}, QStringLiteral("Keep the folders stored in the archive."), {}},
         {{QStringLiteral("password")}, QStringLiteral("A password to try on encrypted members; may repeat."),
          QStringLiteral("PW")}},
        {archiveArgument(),
         {QStringLiteral("DEST"), QStringLiteral("The folder to extract into."), {}, {}},
         {QStringLiteral("MASK"), QStringLiteral("Which members, such as *.TXT; all without one."),
          Argument::Kind::Repeated, QStringLiteral("[MASK...]")}},
        runArcExtract,
    };
    return command;
}

} // namespace cli
