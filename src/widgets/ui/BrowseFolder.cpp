// The folder picker: a lazily read folder tree and the dialog around it.
#include "widgets/ui/BrowseFolder.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// Item data: the folder's full path, and whether its level has been read.
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kReadRole = Qt::UserRole + 2;

// Folders whose subfolders are read on first use. A level is listed at once
// and sorted as a file manager sorts (without regard to case, in the user's
// locale) before a single insertion shows it; hidden folders are offered too.
class FolderModel : public QStandardItemModel
{
public:
    using QStandardItemModel::QStandardItemModel;

    static QStandardItem *newFolder(const QString &path, const QString &text)
    {
        auto *item = new QStandardItem(text);
        item->setEditable(false);
        item->setData(path, kPathRole);
        item->setData(false, kReadRole);
        return item;
    }

    bool hasChildren(const QModelIndex &parent) const override
    {
        // Until a level is read, a folder may have subfolders.
        if (parent.isValid() && !parent.data(kReadRole).toBool())
            return true;
        return QStandardItemModel::hasChildren(parent);
    }
    bool canFetchMore(const QModelIndex &parent) const override
    {
        return parent.isValid() && !parent.data(kReadRole).toBool();
    }
    void fetchMore(const QModelIndex &parent) override { readLevel(itemFromIndex(parent)); }

    void readLevel(QStandardItem *item)
    {
        if (!item || item->data(kReadRole).toBool())
            return;
        item->setData(true, kReadRole);
        const QString path = item->data(kPathRole).toString();
        const QDir dir(path);
        const QStringList names = dir.entryList(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden,
                                                QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
        QList<QStandardItem *> rows;
        rows.reserve(names.size());
        for (const QString &name : names)
            rows << newFolder(dir.filePath(name), name);
        if (!rows.isEmpty())
            item->insertRows(0, rows);
        else
            emit dataChanged(item->index(), item->index());   // the expand mark goes
    }
};

} // namespace

TBrowseFolderForm::TBrowseFolderForm(const QString &caption, const QString &root, const QString &start,
                                     QWidget *parent)
    : QDialog(parent), m_root(QDir::cleanPath(root.isEmpty() ? QStringLiteral("/") : root))
{
    setObjectName(QStringLiteral("BrowseFolderForm"));
    setWindowTitle(caption);

    m_model = new FolderModel(this);
    m_model->appendRow(FolderModel::newFolder(m_root, QDir::toNativeSeparators(m_root)));

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("FolderTree"));
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setUniformRowHeights(true);
    m_path = new QLabel(this);
    m_path->setObjectName(QStringLiteral("FolderLabel"));
    m_path->setTextFormat(Qt::PlainText);
    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TBrowseFolderForm::showSelection);
    // Opening a folder reads its level at once, whoever opens it.
    connect(m_tree, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        static_cast<FolderModel *>(m_model)->readLevel(m_model->itemFromIndex(index));
    });

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (!selectedFolder().isEmpty())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tree, 1);
    layout->addWidget(m_path);
    layout->addWidget(buttons);
    resize(420, 460);

    // The tree opens down to the start folder, which gets the keyboard focus
    // mark but is not chosen.
    auto *model = static_cast<FolderModel *>(m_model);
    model->readLevel(model->item(0));
    const QModelIndex top = m_model->index(0, 0);
    m_tree->expand(top);
    QStandardItem *startItem = start.isEmpty() ? nullptr : itemOf(start);
    const QModelIndex at = startItem ? startItem->index() : top;
    for (QModelIndex p = at.parent(); p.isValid(); p = p.parent())
        m_tree->expand(p);
    m_tree->selectionModel()->setCurrentIndex(at, QItemSelectionModel::NoUpdate);
    m_tree->scrollTo(at);
    showSelection();
}

QStandardItem *TBrowseFolderForm::itemOf(const QString &folder)
{
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const bool atRoot = clean == m_root;
    const bool below = m_root == QLatin1String("/") ? !atRoot : clean.startsWith(m_root + QLatin1Char('/'));
    if ((!atRoot && !below) || !QFileInfo(clean).isDir())
        return nullptr;
    auto *model = static_cast<FolderModel *>(m_model);
    QStandardItem *item = model->item(0);
    if (atRoot)
        return item;
    const QStringList parts = clean.mid(m_root == QLatin1String("/") ? 1 : m_root.size() + 1).split(QLatin1Char('/'));
    for (const QString &part : parts) {
        model->readLevel(item);
        QStandardItem *next = nullptr;
        for (int row = 0; row < item->rowCount() && !next; ++row)
            if (item->child(row)->text() == part)
                next = item->child(row);
        if (!next)
            return nullptr;
        item = next;
    }
    return item;
}

QString TBrowseFolderForm::selectedFolder() const
{
    const QModelIndexList chosen = m_tree->selectionModel()->selectedIndexes();
    return chosen.isEmpty() ? QString() : QDir::cleanPath(chosen.constFirst().data(kPathRole).toString());
}

bool TBrowseFolderForm::selectFolder(const QString &folder)
{
    QStandardItem *item = itemOf(folder);
    if (!item)
        return false;
    const QModelIndex index = item->index();
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        m_tree->expand(p);
    m_tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_tree->scrollTo(index);
    return true;
}

void TBrowseFolderForm::showSelection()
{
    const QString folder = selectedFolder();
    m_path->setText(folder.isEmpty() ? QStringLiteral("No folder chosen yet.") : QDir::toNativeSeparators(folder));
    m_ok->setEnabled(!folder.isEmpty());
}

QString BrowseForFolder(QWidget *parent, const QString &caption, const QString &root, const QString &start)
{
    TBrowseFolderForm form(caption, root, start, parent);
    if (form.exec() != QDialog::Accepted)
        return {};
    return form.selectedFolder();
}
