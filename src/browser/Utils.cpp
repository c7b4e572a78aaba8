// Item texts: what each column shows for each record kind, and the formats
// they share (sizes, dates, times, attribute letters, description lines).
#include "browser/Utils.h"

#include "archive/ArchiveTypes.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "catalog/LoadSave.h"
#include "platform/Texts.h"

#include <QLocale>
#include <QStringList>

#include <cmath>
#include <exception>

namespace {

QString nodeText(const TItemRec *rec)
{
    return rec && rec->Node ? DecodeStored(rec->Node->text()) : QString();
}

// The disk a file or folder belongs to: a folder's DiskNode, or the disk of
// the node its chain hangs from.
const TDiskRec *diskOf(const TItemRec *rec, const TTreeNode **diskNode = nullptr)
{
    TTreeNode *node = nullptr;
    if (ItemIs(rec->KindFlags, rkFolder)) {
        const auto *folder = static_cast<const TFolderRec *>(rec);
        node = folder->DiskNode ? folder->DiskNode : DiskNodeOf(rec->Node);
    } else if (ItemIs(rec->KindFlags, rkFile) && rec->Node) {
        node = DiskNodeOf(rec->Node);
    }
    if (diskNode)
        *diskNode = node;
    return node ? AsDisk(node->data()) : nullptr;
}

// Qt's long time format may end in a time zone ("t"); the lists show none.
QString longTimeFormat()
{
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.trimmed();
}

QString fileText(const TFileRec *file, int kind, bool forReport, const TItemTextContext &context)
{
    switch (kind) {
    case itName:
        return DecodeStored(file->name());
    case itExtension:
        return ExtensionOf(file->name());
    case itSize:
        return FormatCount(file->Size, context.formattedSizes);
    case itDate:
        return ShortDateText(file->Modified);
    case itTime:
        return LongTimeText(file->Modified);
    case itAttributes:
        return AttrLetters(file->Attr);
    case itDescription:
        return forReport ? DecodeStored(TextView(file->Desc)) : DescFirstLine(file->Desc);
    case itDiskName: {
        const TTreeNode *diskNode = nullptr;
        diskOf(file, &diskNode);
        return diskNode ? DecodeStored(diskNode->text()) : QString();
    }
    case itMediaType: {
        const TDiskRec *disk = diskOf(file);
        return disk ? MediaTypeText(disk->MediaType, ItemIs(disk->KindFlags, rfVirtualRoot)) : QString();
    }
    case itPath:
        return file->Node ? DecodeStored(NodePath(file->Node, true, false)) : QString();
    default:
        return {};
    }
}

QString folderText(const TFolderRec *folder, int kind, bool forReport, const TItemTextContext &context)
{
    const bool previous = folder == context.prevFolder;
    switch (kind) {
    case itName:
        return nodeText(folder);
    case itExtension:
        return folder->Node ? ExtensionOf(folder->Node->text()) : QString();
    case itSize:
        return previous ? QString() : FormatCount(int64_t(TotalBytes(folder->TotalSize)), context.formattedSizes);
    case itDate:
        return ShortDateText(folder->Modified);
    case itTime:
        return LongTimeText(folder->Modified);
    case itAttributes:
        return AttrLetters(folder->Attr);
    case itDescription:
        return forReport ? DecodeStored(TextView(folder->Desc)) : DescFirstLine(folder->Desc);
    case itDiskName: {
        const TTreeNode *diskNode = nullptr;
        diskOf(folder, &diskNode);
        return diskNode ? DecodeStored(diskNode->text()) : QString();
    }
    case itMediaType: {
        const TDiskRec *disk = diskOf(folder);
        return disk ? MediaTypeText(disk->MediaType, ItemIs(disk->KindFlags, rfVirtualRoot)) : QString();
    }
    case itPath:
        return folder->Node ? DecodeStored(NodePath(folder->Node, true, false)) : QString();
    case itExtra10:
        return FormatSize(float(TotalBytes(folder->TotalSize)));
    default:
        return {};
    }
}

QString diskText(const TDiskRec *disk, int kind, bool forReport)
{
    switch (kind) {
    case itName:
        return nodeText(disk);
    case itExtension:
        return MediaTypeText(disk->MediaType, ItemIs(disk->KindFlags, rfVirtualRoot));
    case itSize:
        return DecodeStored(disk->VolumeLabel);
    case itDate:
    case itExtra11:
        return FormatSize(float(TotalBytes(DiskSpace(disk, 0))));
    case itTime:
    case itExtra12:
        return FormatSize(float(TotalBytes(DiskSpace(disk, 1))));
    case itAttributes:
        return UpdateTimeText(disk->Updated);
    case itDescription:
    case itDiskName:
        return forReport ? DecodeStored(TextView(disk->Desc)) : DescFirstLine(disk->Desc);
    case itExtra10: {
        const TTreeNode *catalogNode = disk->Node ? CatalogNodeOf(disk->Node) : nullptr;
        return catalogNode ? DecodeStored(catalogNode->text()) : QString();
    }
    default:
        return {};
    }
}

QString catalogText(const TCatalogRec *catalog, int kind)
{
    switch (kind) {
    case itName:
        return nodeText(catalog);
    case itSize: {
        double total = 0;
        if (catalog->Node)
            for (TTreeNode *child : catalog->Node->children())
                if (const TDiskRec *disk = AsDisk(child->data()))
                    total += TotalBytes(DiskSpace(disk, 0));
        return FormatSize(float(total));
    }
    case itExtra10:
        return QString::number(catalog->Node ? catalog->Node->childCount() : 0);
    default:
        return {};
    }
}

QString plural(int n, const char *word)
{
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(word) + (n == 1 ? QString() : QStringLiteral("s"));
}

} // namespace

QString FormatSize(float bytes)
{
    static const char *const units[] = {"B", "kB", "MB", "GB", "TB"};
    double value = bytes;
    if (!std::isfinite(value) || value < 0)
        value = 0;
    double remainder = 0;
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        const double q = value / 1024;
        remainder = (q - std::floor(q)) * 1024;
        value = std::floor(q);
        ++unit;
    }
    QString text = QString::number(qint64(std::floor(value)));
    if (text.size() <= 2 && value != 0 && unit >= 1 && remainder > 0) {
        // The digits after the separator of remainder / 1024, cut (not rounded).
        QString fraction = QString::number(remainder / 1024, 'f', 12);
        while (fraction.endsWith(QLatin1Char('0')))
            fraction.chop(1);
        const QString digits = fraction.startsWith(QLatin1String("0.")) ? fraction.mid(2) : QString();
        const int take = 4 - int(text.size());
        if (!digits.isEmpty())
            text += (QLocale().decimalPoint() + digits).left(take);
    }
    return text + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString FormatCount(int64_t bytes, bool formatted)
{
    if (formatted)
        return FormatSize(float(bytes));
    return QLocale().toString(qlonglong(bytes));
}

QString ShortDateText(uint32_t packed)
{
    if (packed == 0)
        return {};
    const QDateTime dt = DosToDateTime(packed);
    return dt.isValid() ? QLocale().toString(dt.date(), QLocale::ShortFormat) : QString();
}

QString LongTimeText(uint32_t packed)
{
    if (packed == 0)
        return {};
    const QDateTime dt = DosToDateTime(packed);
    return dt.isValid() ? QLocale().toString(dt.time(), longTimeFormat()) : QString();
}

QString UpdateTimeText(double updated)
{
    if (updated == 0)
        return {};
    // Through the packed form, as stored dates are: even seconds, 1980-2099.
    const QDateTime dt = DosToDateTime(DateTimeToDos(UpdatedToDateTime(updated)));
    if (!dt.isValid())
        return QStringLiteral("(unknown)");
    const QLocale locale = QLocale();
    QString text = locale.toString(dt.date(), QLocale::ShortFormat);
    if (dt.time() != QTime(0, 0))
        text += QStringLiteral(", ") + locale.toString(dt.time(), QLocale::ShortFormat);
    return text;
}

QString DescFirstLine(const char *desc)
{
    QString text = DecodeStored(TextView(desc));
    int start = 0;
    while (start < text.size() && (text[start] == QLatin1Char('\r') || text[start] == QLatin1Char('\n')))
        ++start;
    text = text.mid(start);
    // 69 characters, plus the one that tells the line goes on: a line of 70 shows whole.
    constexpr int kMaxShown = 69;
    int end = text.indexOf(QLatin1Char('\r'));
    const int lf = text.indexOf(QLatin1Char('\n'));
    if (end < 0 || (lf >= 0 && lf < end))
        end = lf;
    bool cut = false;
    if (end >= 0) {
        cut = true;
        text.truncate(end);
    }
    if (text.size() > kMaxShown + 1) {
        text.truncate(kMaxShown);
        cut = true;
    }
    if (cut) {
        while (!text.isEmpty() && text.back().isSpace())
            text.chop(1);
        text += QStringLiteral(" (more...)");
    }
    return text;
}

QString DescriptionTip(const QString &desc)
{
    constexpr int kWidth = 80;   // characters per line of the hint
    constexpr int kLines = 15;   // lines shown at most
    QStringList lines;
    for (const QString &line : PlainLineBreaks(desc).split(QLatin1Char('\n'))) {
        QString rest = line;
        while (rest.size() > kWidth) {
            qsizetype cut = rest.lastIndexOf(QLatin1Char(' '), kWidth);
            if (cut <= 0)
                cut = kWidth;
            lines << rest.left(cut);
            rest = rest.mid(cut);
            while (rest.startsWith(QLatin1Char(' ')))
                rest.remove(0, 1);
        }
        lines << rest;
    }
    while (!lines.isEmpty() && lines.back().trimmed().isEmpty())
        lines.removeLast();
    if (lines.size() <= kLines)
        return lines.join(QStringLiteral("\r\n"));
    lines.resize(kLines);
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n") + QStringLiteral("(more...)");
}

QString ExtensionOf(QByteArrayView name)
{
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0)
        return {};
    const QByteArrayView tail = name.sliced(dot + 1);
    if (AsciiOnly(tail))
        return QString::fromLatin1(tail);
    // Decoded with the whole name: the tail of a name that is not UTF-8 may
    // be valid UTF-8 on its own, yet it is code page 1252 like the rest.
    const QString text = DecodeStored(name);
    return text.mid(text.lastIndexOf(QLatin1Char('.')) + 1);
}

QString ItemText(const TItemRec *rec, int kind, bool forReport, const TItemTextContext &context)
{
    if (!rec)
        return {};
    switch (ItemKind(rec->KindFlags)) {
    case rkFile:
        return fileText(static_cast<const TFileRec *>(rec), kind, forReport, context);
    case rkFolder:
        return folderText(static_cast<const TFolderRec *>(rec), kind, forReport, context);
    case rkDisk:
        return diskText(static_cast<const TDiskRec *>(rec), kind, forReport);
    case rkCatalog:
        return catalogText(static_cast<const TCatalogRec *>(rec), kind);
    default:
        return {};
    }
}

QString ItemSummary(TItemRec *rec, const TItemTextContext &context)
{
    if (!rec)
        return {};
    if (rec == context.prevFolder)
        return QStringLiteral("Previous folder...");
    switch (ItemKind(rec->KindFlags)) {
    case rkFile: {
        const auto *file = static_cast<const TFileRec *>(rec);
        QString text = DecodeStored(file->name());
        if (ItemIs(file->KindFlags, rfCompressed))
            text += QStringLiteral(" (compressed file)");
        return text + QStringLiteral(", ") + FormatSize(float(file->Size)) + QStringLiteral(", ") +
               ShortDateText(file->Modified);
    }
    case rkFolder: {
        auto *folder = static_cast<TFolderRec *>(rec);
        const bool archive = ItemIs(folder->KindFlags, rfCompressed);
        QString text = nodeText(folder) + QStringLiteral(" (") +
                       (archive ? QStringLiteral("compressed archive file") : QStringLiteral("folder")) +
                       QStringLiteral("), ") + FormatSize(float(TotalBytes(folder->TotalSize)));
        if (folder->TotalSize == 0 || !folder->Node)
            return text;
        try {
            LoadSubfolders(folder->Node, false, false);
        } catch (const std::exception &) {
            return text;
        }
        int subfolders = 0, archives = 0;
        for (TTreeNode *child : folder->Node->children()) {
            const TFolderRec *sub = AsFolder(child->data());
            if (sub && ItemIs(sub->KindFlags, rfCompressed))
                ++archives;
            else if (sub)
                ++subfolders;
        }
        text += (archive ? QStringLiteral(" includes ") : QStringLiteral(" in ")) + plural(subfolders, "subfolder") +
                QStringLiteral(", ") + plural(folder->FileCount + archives, "file");
        return text;
    }
    case rkDisk: {
        const auto *disk = static_cast<const TDiskRec *>(rec);
        return nodeText(disk) + QStringLiteral(" (") +
               MediaTypeText(disk->MediaType, ItemIs(disk->KindFlags, rfVirtualRoot)) + QStringLiteral("), ") +
               FormatSize(float(TotalBytes(DiskSpace(disk, 0)))) + QStringLiteral(", free ") +
               FormatSize(float(TotalBytes(DiskSpace(disk, 1))));
    }
    case rkCatalog: {
        const auto *catalog = static_cast<const TCatalogRec *>(rec);
        return nodeText(catalog) + QStringLiteral(" (") +
               (catalog->FileName.isEmpty() ? QStringLiteral("no filename") : catalog->FileName) +
               QStringLiteral("), total disks: ") + QString::number(catalog->Node ? catalog->Node->childCount() : 0);
    }
    default:
        return {};
    }
}

QString SelectionSummary(const std::vector<TItemRec *> &selected, const TItemTextContext &context)
{
    int count = 0;
    double total = 0;
    for (const TItemRec *rec : selected) {
        if (!rec || rec == context.prevFolder)
            continue;
        ++count;
        switch (ItemKind(rec->KindFlags)) {
        case rkFile:
            total += double(static_cast<const TFileRec *>(rec)->Size);
            break;
        case rkFolder:
            total += TotalBytes(static_cast<const TFolderRec *>(rec)->TotalSize);
            break;
        case rkDisk:
            total += TotalBytes(DiskSpace(static_cast<const TDiskRec *>(rec), 0));
            break;
        default:
            break;
        }
    }
    if (count == 0)
        return {};
    return QStringLiteral("Selected: ") + QString::number(count) + QStringLiteral(" item") +
           (count > 1 ? QStringLiteral("s") : QString()) + QStringLiteral(", ") + FormatSize(float(total));
}

bool ItemCanBeLaunched(const TItemRec *rec)
{
    if (!rec)
        return false;
    const uint8_t kind = rec->KindFlags;
    if (ItemIs(kind, rkFolder))
        return ItemIs(kind, rfCompressed);
    if (!ItemIs(kind, rkFile))
        return false;
    if (!ItemIs(kind, rfCompressed))
        return true;
    // A member: its compressed file is the folder node whose chain holds it.
    const TTreeNode *archive = rec->Node;
    return archive && ArchiveIndexCanExtract(ArchiveExtensionIndex(DecodeStored(archive->text())));
}
