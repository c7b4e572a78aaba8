// The folder picker.
#include "scan/ui/BrowseFolder.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

TBrowseFolderForm::TBrowseFolderForm(const QString &caption, const QString &root, const QString &start,
                                     QWidget *parent)
    : QDialog(parent), m_root(QDir::cleanPath(root.isEmpty() ? QStringLiteral("/") : root))
{
    setObjectName(QStringLiteral("BrowseFolderForm"));
    setWindowTitle(caption);

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    m_model->setReadOnly(true);
    // Symbolic links are not followed into folders elsewhere.
    m_model->setResolveSymlinks(false);
    m_model->setRootPath(m_root);

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("FolderTree"));
    m_tree->setModel(m_model);
    m_tree->setRootIndex(m_model->index(m_root));
    m_tree->setHeaderHidden(true);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_tree->hideColumn(column);
    m_path = new QLabel(this);
    m_path->setObjectName(QStringLiteral("FolderLabel"));
    m_path->setTextFormat(Qt::PlainText);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this, &TBrowseFolderForm::showSelection);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tree, 1);
    layout->addWidget(m_path);
    layout->addWidget(buttons);
    resize(420, 460);

    if (!start.isEmpty())
        selectFolder(start);
    showSelection();
}

QString TBrowseFolderForm::selectedFolder() const
{
    const QModelIndex current = m_tree->currentIndex();
    if (!current.isValid())
        return m_root;
    return QDir::cleanPath(m_model->filePath(current));
}

bool TBrowseFolderForm::selectFolder(const QString &folder)
{
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const bool below = m_root == QLatin1String("/") ? clean != m_root : clean.startsWith(m_root + QLatin1Char('/'));
    if (!below || !QFileInfo(clean).isDir())
        return false;
    const QModelIndex index = m_model->index(clean);
    if (!index.isValid())
        return false;
    m_tree->setCurrentIndex(index);
    m_tree->scrollTo(index);
    return true;
}

void TBrowseFolderForm::showSelection()
{
    m_path->setText(selectedFolder());
}

QString BrowseForFolder(QWidget *parent, const QString &caption, const QString &root, const QString &start)
{
    TBrowseFolderForm form(caption, root, start, parent);
    if (form.exec() != QDialog::Accepted)
        return {};
    return form.selectedFolder();
}
