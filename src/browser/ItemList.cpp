// The main window's item list: filling it for a node, the previous-folder
// row, the sort state byte, sorting, type-ahead and tree child order.
#include "browser/ItemList.h"

#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "catalog/ReadAhead.h"
#include "platform/Texts.h"

#include <algorithm>

namespace {

// Sort columns are 0 to 6 (the seven columns of each set); three bits each.
constexpr int kColumnBits = 0x07;
constexpr int kFolderShift = 3;
constexpr uint8_t kReverseBit = 0x80;

int clampColumn(int column)
{
    return column < 0 || column >= kListColumns ? 1 : column;
}

// Case-blind prefix test of stored bytes, with a fast path for ASCII.
bool startsWithNoCase(QByteArrayView name, const QString &prefix, const QByteArray &asciiPrefix)
{
    if (!asciiPrefix.isEmpty() && AsciiOnly(name)) {
        if (name.size() < asciiPrefix.size())
            return false;
        return qstrnicmp(name.data(), asciiPrefix.size(), asciiPrefix.constData(), asciiPrefix.size()) == 0;
    }
    return DecodeStored(name).startsWith(prefix, Qt::CaseInsensitive);
}

} // namespace

const std::vector<TColumnInfo> &ColumnsOf(TColumnSet set)
{
    static const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    static const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    static const Qt::Alignment centre = Qt::AlignHCenter | Qt::AlignVCenter;
    static const std::vector<TColumnInfo> disks{
        {QStringLiteral("Disk name"), left},   {QStringLiteral("Media type"), left},
        {QStringLiteral("Volume Name"), left}, {QStringLiteral("Capacity"), right},
        {QStringLiteral("Free space"), right}, {QStringLiteral("Last Updated"), right},
        {QStringLiteral("Description"), left},
    };
    static const std::vector<TColumnInfo> files{
        {QStringLiteral("Filename"), left}, {QStringLiteral("Ext"), left},   {QStringLiteral("Size"), right},
        {QStringLiteral("Date"), right},    {QStringLiteral("Time"), right}, {QStringLiteral("Attr"), centre},
        {QStringLiteral("Description"), left},
    };
    static const std::vector<TColumnInfo> none;
    switch (set) {
    case TColumnSet::Disks:
        return disks;
    case TColumnSet::Files:
        return files;
    default:
        return none;
    }
}

TColumnSet ColumnSetFor(const TTreeNode *node)
{
    if (!node || !node->data())
        return TColumnSet::None;
    return NodeIs(node, rkCatalog) ? TColumnSet::Disks : TColumnSet::Files;
}

// ---- sort state ------------------------------------------------------------

uint8_t TSortState::toByte() const
{
    return uint8_t((clampColumn(catalogColumn) & kColumnBits) |
                   ((clampColumn(folderColumn) & kColumnBits) << kFolderShift) | (reverse ? kReverseBit : 0));
}

TSortState TSortState::fromByte(uint8_t byte)
{
    TSortState s;
    s.catalogColumn = clampColumn(byte & kColumnBits);
    s.folderColumn = clampColumn((byte >> kFolderShift) & kColumnBits);
    s.reverse = (byte & kReverseBit) != 0;
    return s;
}

int TSortState::columnFor(const TTreeNode *node) const
{
    return NodeIs(node, rkCatalog) ? catalogColumn : folderColumn;
}

void TSortState::setColumnFor(const TTreeNode *node, int column)
{
    (NodeIs(node, rkCatalog) ? catalogColumn : folderColumn) = clampColumn(column);
}

void SortTreeChildren(TTreeNode *node, const TSortState &sort, const TCompareContext &base)
{
    if (!node || node->childCount() < 2)
        return;
    TCompareContext context = base;
    context.column = sort.columnFor(node);
    context.reverse = sort.reverse;
    context.prevFolder = nullptr;
    TItemComparer comparer(context);
    node->forest()->sortChildren(node, [&](TTreeNode *a, TTreeNode *b) {
        const TItemRec *ra = a->data(), *rb = b->data();
        if (!ra || !rb)
            return false;
        return comparer.compare(ra, rb) < 0;
    });
}

QByteArrayView ItemName(const TItemRec *rec)
{
    if (!rec)
        return {};
    if (ItemIs(rec->KindFlags, rkFile))
        return static_cast<const TFileRec *>(rec)->name();
    return rec->Node ? QByteArrayView(rec->Node->text()) : QByteArrayView();
}

// ---- the list --------------------------------------------------------------

TItemList::TItemList() : m_prevForest(std::make_unique<TForest>())
{
    m_prevNode = m_prevForest->addChild(nullptr, "..");
    auto *rec = new TFolderRec;
    rec->Node = m_prevNode;
    rec->Attr = faDirectory;
    m_prevNode->setData(rec);
    m_prevNode->setImages(tiFolder, tiFolderOpen);
}

TItemList::~TItemList() = default;   // the forest frees the ".." record

TItemRec *TItemList::prevFolder() const
{
    return m_prevNode->data();
}

void TItemList::preparePrevFolder(TTreeNode *folderNode)
{
    auto *prev = static_cast<TFolderRec *>(prevFolder());
    const TFolderRec *shown = AsFolder(folderNode->data());
    prev->Modified = shown ? shown->Modified : 0;
    TTreeNode *parent = folderNode->parent();
    QString desc;
    if (parent && AsFolder(parent->data()))
        desc = QStringLiteral("Back to ") + DecodeStored(parent->text()) + QStringLiteral(" (folder)");
    else if (parent)
        desc = QStringLiteral("Back to root of ") + DecodeStored(parent->text());
    FreeText(prev->Desc);
    prev->Desc = NewText(EncodeStored(desc));
}

void TItemList::clear()
{
    m_items.clear();
    m_items.shrink_to_fit();
    m_displayed = nullptr;
    m_lastError.clear();
}

bool TItemList::fill(TTreeNode *node)
{
    if (node && node == m_displayed)
        return false;
    m_items.clear();
    m_displayed = node;
    m_lastError.clear();
    if (!node || !node->data()) {
        m_displayed = nullptr;
        m_columnSet = TColumnSet::None;
        return true;
    }
    m_columnSet = ColumnSetFor(node);
    TItemRec *rec = node->data();
    const bool folder = AsFolder(rec) != nullptr;
    if (folder || AsDisk(rec)) {
        // A damaged catalog file: show what could be read and say why.
        try {
            LoadSubfolders(node, false, false);
        } catch (const EStreamError &e) {
            m_lastError = e.message();
        }
        try {
            LoadFileList(node);
        } catch (const EStreamError &e) {
            if (m_lastError.isEmpty())
                m_lastError = e.message();
        }
    }
    int files = 0;
    if (const TFolderRec *f = AsFolder(rec))
        files = f->FileCount;
    else if (const TDiskRec *d = AsDisk(rec))
        files = d->FileCount;
    m_items.reserve(size_t(node->childCount()) + size_t(std::max(files, 0)) + 1);
    if (folder && m_showPrev) {
        preparePrevFolder(node);
        m_items.push_back(prevFolder());
    }
    for (TTreeNode *child : node->children())
        if (child->data())
            m_items.push_back(child->data());
    for (TFileRec *f = rec->Next; f; f = f->Next)
        m_items.push_back(f);
    sort();
    return true;
}

TItemRec *TItemList::at(int row) const
{
    return row >= 0 && row < count() ? m_items[size_t(row)] : nullptr;
}

int TItemList::indexOf(const TItemRec *rec) const
{
    const auto it = std::find(m_items.begin(), m_items.end(), rec);
    return it == m_items.end() ? -1 : int(it - m_items.begin());
}

bool TItemList::removeRecord(const TItemRec *rec)
{
    const int i = indexOf(rec);
    if (i < 0)
        return false;
    m_items.erase(m_items.begin() + i);
    return true;
}

void TItemList::setShowPrevFolder(bool on)
{
    if (on == m_showPrev)
        return;
    m_showPrev = on;
    if (!m_displayed || !AsFolder(m_displayed->data()))
        return;
    if (on) {
        preparePrevFolder(m_displayed);
        m_items.insert(m_items.begin(), prevFolder());
        sort();
    } else {
        removeRecord(prevFolder());
    }
}

TItemTextContext TItemList::textContext() const
{
    TItemTextContext c;
    c.formattedSizes = m_formattedSizes;
    c.prevFolder = prevFolder();
    return c;
}

TCompareContext TItemList::compareContext() const
{
    TCompareContext c;
    c.column = m_sort.columnFor(m_displayed);
    c.reverse = m_sort.reverse;
    c.archivesAsFolders = m_archivesAsFolders;
    c.prevFolder = prevFolder();
    c.texts = textContext();
    return c;
}

QString TItemList::text(int row, int column) const
{
    const TItemRec *rec = at(row);
    return rec ? ItemText(rec, column, false, textContext()) : QString();
}

bool TItemList::sort(const TStopKeyProbe &stopKey, Prompter *prompter)
{
    return SortItems(m_items, compareContext(), stopKey, prompter);
}

void TItemList::reverse()
{
    ReverseItems(m_items, prevFolder());
}

int TItemList::findItemByPrefix(const QString &prefix, int start) const
{
    const int n = count();
    if (n == 0 || prefix.isEmpty())
        return -1;
    if (start < 0 || start >= n)
        start = 0;
    bool ascii = true;
    for (const QChar c : prefix)
        ascii = ascii && c.unicode() < 0x80;
    const QByteArray asciiPrefix = ascii ? prefix.toLatin1() : QByteArray();
    for (int i = 0; i < n; ++i) {
        const int row = (start + i) % n;
        if (startsWithNoCase(ItemName(m_items[size_t(row)]), prefix, asciiPrefix))
            return row;
    }
    return -1;
}
