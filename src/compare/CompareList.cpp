// The compare window's lists without the window: cells, order, summaries,
// and the rules of its item commands.
#include "compare/CompareList.h"

#include "browser/Commands.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/RecordLock.h"
#include "platform/ByteTotals.h"
#include "platform/Collation.h"
#include "platform/Texts.h"

#include <QFile>

#include <algorithm>
#include <numeric>

QStringList CompareColumnCaptions()
{
    return {QStringLiteral("File or Folder"), QStringLiteral("Ext"),    QStringLiteral("Item Size"),
            QStringLiteral("Item Date"),      QStringLiteral("Media Name"), QStringLiteral("Folder"),
            QStringLiteral("Description")};
}

TItemRec *CompareRecordAt(const TCompareWork &work, int list, int64_t row)
{
    if (list <= 0 || list >= work.listCount() || row < 0)
        return nullptr;
    const auto &entries = work.Lists[size_t(list)];
    return row < int64_t(entries.size()) ? entries[size_t(row)] : nullptr;
}

const TMediaFileEntry *CompareNewFileAt(const TCompareWork &work, int64_t row)
{
    return row >= 0 && row < int64_t(work.NewFiles.size()) ? &work.NewFiles[size_t(row)] : nullptr;
}

namespace {

// The folder column of a catalog entry: the path of the folder holding it,
// without a virtual root's folder. NodePath fills a path cache a search
// worker may read, hence the write scope.
QString catalogFolderText(const TItemRec *rec)
{
    TTreeNode *folder = CompareEntryOf(rec).Folder;
    if (!folder)
        return {};
    TRecordWriteScope writing;
    return DecodeStored(NodePath(folder, true, false));
}

QString newFileCell(const TCompareWork &work, const TMediaFileEntry &e, int column, const TItemTextContext &context)
{
    switch (column) {
    case ccName: return QFile::decodeName(e.Name);
    case ccExt: return ExtensionOf(e.Name);
    case ccSize: return FormatCount(e.Size, context.formattedSizes);
    case ccDate: return ShortDateText(e.Time);
    case ccMediaName: return QStringLiteral("(none)");
    case ccFolder: return QFile::decodeName(work.folderOf(e));
    default: return {};
    }
}

QString catalogCell(const TItemRec *rec, int column, const TItemTextContext &context)
{
    switch (column) {
    case ccName: return ItemText(rec, itName, false, context);
    case ccExt: return ItemText(rec, itExtension, false, context);
    case ccSize: return ItemText(rec, itSize, false, context);
    case ccDate: return ItemText(rec, itDate, false, context);
    case ccMediaName: return ItemText(rec, itDiskName, false, context);
    case ccFolder: return catalogFolderText(rec);
    case ccDescription: return ItemText(rec, itDescription, false, context);
    default: return {};
    }
}

// What one row is ordered by for a column.
struct TSortKey {
    int64_t number = 0;   // size in bytes, or the packed date
    QString text;
};

// The order of a column: -1, 0 or 1.
enum class TKeyKind { Number, Text, None };

TKeyKind keyKind(int column)
{
    switch (column) {
    case ccSize:
    case ccDate: return TKeyKind::Number;
    case ccName:
    case ccExt:
    case ccMediaName:
    case ccFolder: return TKeyKind::Text;
    default: return TKeyKind::None;
    }
}

template <typename T>
void permute(std::vector<T> &items, const std::vector<int64_t> &order)
{
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (const int64_t from : order)
        sorted.push_back(std::move(items[size_t(from)]));
    items = std::move(sorted);
}

} // namespace

QString CompareCellText(const TCompareWork &work, int list, int64_t row, int column, const TItemTextContext &context)
{
    if (column < 0 || column >= kCompareColumns)
        return {};
    if (list == 0) {
        const TMediaFileEntry *e = CompareNewFileAt(work, row);
        return e ? newFileCell(work, *e, column, context) : QString();
    }
    const TItemRec *rec = CompareRecordAt(work, list, row);
    return rec ? catalogCell(rec, column, context) : QString();
}

std::vector<int64_t> SortCompareList(TCompareWork &work, int list, int column, const TItemTextContext &context)
{
    const int64_t count = work.count(list);
    std::vector<int64_t> order(static_cast<size_t>(std::max<int64_t>(count, 0)));
    std::iota(order.begin(), order.end(), 0);
    const TKeyKind kind = keyKind(column);
    if (count < 2 || kind == TKeyKind::None)
        return order;

    std::vector<TSortKey> keys(order.size());
    for (int64_t row = 0; row < count; ++row) {
        TSortKey &k = keys[size_t(row)];
        if (kind == TKeyKind::Text) {
            k.text = CompareCellText(work, list, row, column, context);
            continue;
        }
        if (list == 0) {
            const TMediaFileEntry &e = work.NewFiles[size_t(row)];
            k.number = column == ccSize ? e.Size : int64_t(e.Time);
        } else {
            const TCompareEntryView v = CompareEntryOf(work.Lists[size_t(list)][size_t(row)]);
            k.number = column == ccSize ? v.Size : int64_t(v.Modified);
        }
    }
    if (kind == TKeyKind::Text) {
        // One collation key per row: the texts are compared many times.
        const TCollation collation;
        std::vector<TCollationKey> collated;
        collated.reserve(keys.size());
        for (const TSortKey &k : keys)
            collated.push_back(collation.key(k.text));
        std::stable_sort(order.begin(), order.end(), [&](int64_t a, int64_t b) {
            return collated[size_t(a)].compare(collated[size_t(b)]) < 0;
        });
    } else {
        std::stable_sort(order.begin(), order.end(),
                         [&](int64_t a, int64_t b) { return keys[size_t(a)].number < keys[size_t(b)].number; });
    }
    if (list == 0)
        permute(work.NewFiles, order);
    else
        permute(work.Lists[size_t(list)], order);
    return order;
}

std::vector<int64_t> ReverseCompareList(TCompareWork &work, int list)
{
    const int64_t count = std::max<int64_t>(work.count(list), 0);
    std::vector<int64_t> order(static_cast<size_t>(count));
    for (int64_t row = 0; row < count; ++row)
        order[size_t(row)] = count - 1 - row;
    if (list == 0)
        std::reverse(work.NewFiles.begin(), work.NewFiles.end());
    else if (list < work.listCount())
        std::reverse(work.Lists[size_t(list)].begin(), work.Lists[size_t(list)].end());
    return order;
}

QString NewFileSummary(const TMediaFileEntry &entry, const TItemTextContext &context)
{
    return QFile::decodeName(entry.Name) + QStringLiteral(" (file), ") +
           FormatCount(entry.Size, context.formattedSizes) + QStringLiteral(", ") + ShortDateText(entry.Time);
}

QString NewFilesSelectionSummary(const std::vector<const TMediaFileEntry *> &selected)
{
    int64_t count = 0;
    double total = 0;
    for (const TMediaFileEntry *e : selected) {
        if (!e)
            continue;
        ++count;
        total += double(e->Size);
    }
    if (count == 0)
        return {};
    return QStringLiteral("Selected: %1 file%2, ").arg(count).arg(count > 1 ? QStringLiteral("s") : QString()) +
           FormatSize(float(total));
}

QString CompareTotalText(int64_t count)
{
    return QStringLiteral("Total files: ") + QString::number(count);
}

QString CompareHeaderText(const TCompareWork &work, QChar letter, const QString &sourceFolder)
{
    if (work.Mode == TCompareMode::Files)
        return QStringLiteral("Checking if files at \"%1\" are present in selected catalogs or disks:").arg(sourceFolder);
    const QString name = work.Node ? DecodeStored(work.Node->text()) : QString();
    if (AsDisk(NodeRec(work.Node)))
        return QStringLiteral("Comparing %1 \"%2\" in catalog with contents of drive %3:")
            .arg(CompareWord(work.Node), name, QString(letter));
    return QStringLiteral("Comparing folder \"%1\" in catalog with the same folder on drive %2:").arg(name, QString(letter));
}

namespace {

// Whether rec is a member of a compressed file of a kind the extraction takes
// members out of.
bool extractableMember(const TItemRec *rec)
{
    return rec && ItemIs(rec->KindFlags, rkFile) && InsideExtractableArchive(rec);
}

} // namespace

bool CompareCommandAllowed(TCompareCommand command, const TCompareWork &work, int list, const TItemRec *focused,
                           const std::vector<TItemRec *> &selected)
{
    if (command == TCompareCommand::Report)
        return work.count(list) > 0;
    if (list <= 0 || list >= work.listCount())
        return false;   // the new files are not in any catalog
    const bool onMedium = !(work.Mode == TCompareMode::Media && list == clDeleted);
    switch (command) {
    case TCompareCommand::Locate:
    case TCompareCommand::EditDesc:
    case TCompareCommand::Properties:
        return focused != nullptr;
    case TCompareCommand::SetCategory:
        return std::any_of(selected.begin(), selected.end(),
                           [](const TItemRec *r) { return r && !ItemIs(r->KindFlags, rkDisk); });
    case TCompareCommand::AddToUserList:
        return !selected.empty();
    case TCompareCommand::Explorer:
    case TCompareCommand::Launch:
    case TCompareCommand::View:
        return onMedium && focused != nullptr;
    case TCompareCommand::Extract:
        return onMedium && std::any_of(selected.begin(), selected.end(), extractableMember);
    case TCompareCommand::Report:
        break;
    }
    return false;
}

std::optional<TCompareCommand> CompareDoubleClickCommand(int choice, const TItemRec *rec)
{
    if (!rec)
        return std::nullopt;
    switch (DoubleClickCommand(choice, rec)) {
    case TRowCommand::Properties:
        return TCompareCommand::Properties;
    case TRowCommand::Explorer:
        return TCompareCommand::Explorer;
    case TRowCommand::Launch:
        return TCompareCommand::Launch;
    case TRowCommand::View:
        return TCompareCommand::View;
    case TRowCommand::None:
        break;
    }
    return std::nullopt;
}

TTreeNode *CompareTargetNode(TItemRec *rec, TTreeNode *selected, bool prevFolderRow)
{
    TTreeNode *node = nullptr;
    if (prevFolderRow)
        node = selected ? selected->parent() : nullptr;
    else if (rec)
        node = rec->Node;
    else
        node = selected;
    // A file compares its folder; a compressed file (or a member's folder
    // inside one) compares the folder that holds the compressed file.
    for (; node; node = node->parent()) {
        const TItemRec *r = NodeRec(node);
        if (!r)
            return nullptr;
        if (ItemIs(r->KindFlags, rkDisk))
            return node;
        if (ItemIs(r->KindFlags, rkFolder) && !ItemIs(r->KindFlags, rfCompressed))
            return node;
        if (!ItemIs(r->KindFlags, rkFolder))
            return nullptr;   // a catalog
    }
    return nullptr;
}
