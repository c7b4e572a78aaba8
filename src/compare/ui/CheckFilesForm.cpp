// The Compare Files to Catalog dialog.
#include "compare/ui/CheckFilesForm.h"

#include "platform/Prompter.h"
#include "search/ui/ScopeTree.h"
#include "settings/Options.h"
#include "widgets/ui/BrowseFolder.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TCheckFilesForm::TCheckFilesForm(TForest &forest, const TTreeNode *selected, Prompter &prompter, QWidget *parent)
    : QDialog(parent), m_scope(forest, selected), m_prompter(prompter)
{
    setObjectName(QStringLiteral("CheckFilesForm"));
    setWindowTitle(QStringLiteral("Compare Files to Catalog"));

    auto *explain = new QLabel(
        QStringLiteral("Using this dialog, you can locate which files in selected folder (and its subfolders) are "
                       "already in the selected catalog, stored on one of catalogued media. You can use this option "
                       "to find files already stored somewhere else, and avoid duplicating them."),
        this);
    explain->setWordWrap(true);

    m_source = new QLineEdit(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()), this);
    m_source->setObjectName(QStringLiteral("SourceDir"));
    auto *browseButton = new QPushButton(QStringLiteral("Browse"), this);
    browseButton->setObjectName(QStringLiteral("ButtonBrowse"));
    browseButton->setAutoDefault(false);
    connect(browseButton, &QPushButton::clicked, this, &TCheckFilesForm::browse);
    auto *sourceLabel = new QLabel(QStringLiteral("Source folders for files to check:"), this);
    sourceLabel->setBuddy(m_source);
    auto *sourceRow = new QHBoxLayout;
    sourceRow->addWidget(m_source, 1);
    sourceRow->addWidget(browseButton);

    m_tree = new TScopeTree(forest, this);
    m_tree->setObjectName(QStringLiteral("CatalogTree"));
    m_tree->setStateSource({[this](const TTreeNode *node) { return int(m_scope.stateOf(node)); },
                            [this](TTreeNode *node) { m_scope.toggle(node); }});
    m_tree->rebuild();
    connect(m_tree, &TScopeTree::scopeChanged, this, &TCheckFilesForm::updateButtons);
    m_includeAll = new QPushButton(QStringLiteral("&Include All"), this);
    m_includeAll->setObjectName(QStringLiteral("ButtonIncludeAll"));
    m_excludeAll = new QPushButton(QStringLiteral("E&xclude All"), this);
    m_excludeAll->setObjectName(QStringLiteral("ButtonExcludeAll"));
    for (QPushButton *b : {m_includeAll, m_excludeAll}) {
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, b] {
            m_scope.includeAll(b == m_includeAll);
            m_tree->refreshStates();
            updateButtons();
        });
    }
    auto *scopeButtons = new QHBoxLayout;
    scopeButtons->addWidget(m_includeAll);
    scopeButtons->addWidget(m_excludeAll);
    scopeButtons->addStretch();

    auto *options = new QGroupBox(QStringLiteral("Options"), this);
    m_size = new QCheckBox(QStringLiteral("Size"), options);
    m_size->setObjectName(QStringLiteral("SameSizeCheck"));
    m_size->setChecked(true);
    m_date = new QCheckBox(QStringLiteral("Date and Time"), options);
    m_date->setObjectName(QStringLiteral("SameDateCheck"));
    m_date->setChecked(true);
    m_attr = new QCheckBox(QStringLiteral("Attributes"), options);
    m_attr->setObjectName(QStringLiteral("SameAttrCheck"));
    m_subfolders = new QCheckBox(QStringLiteral("Check all files in subfolders, too"), options);
    m_subfolders->setObjectName(QStringLiteral("SubfoldersCheck"));
    m_subfolders->setChecked(true);
    auto *sameRow = new QHBoxLayout;
    sameRow->addWidget(new QLabel(QStringLiteral("Name"), options));
    sameRow->addWidget(m_size);
    sameRow->addWidget(m_date);
    sameRow->addWidget(m_attr);
    sameRow->addStretch();
    auto *optionsLayout = new QVBoxLayout(options);
    optionsLayout->addWidget(new QLabel(QStringLiteral("Files are considered the same when they have the same:"), options));
    optionsLayout->addLayout(sameRow);
    optionsLayout->addWidget(m_subfolders);

    m_search = new QPushButton(QStringLiteral("Search"), this);
    m_search->setObjectName(QStringLiteral("ButtonSearch"));
    m_search->setDefault(true);
    connect(m_search, &QPushButton::clicked, this, &TCheckFilesForm::accept);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("ButtonCancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_search);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(explain);
    layout->addWidget(sourceLabel);
    layout->addLayout(sourceRow);
    layout->addWidget(new QLabel(QStringLiteral("Search for files in the following disks or catalogs:"), this));
    layout->addWidget(m_tree, 1);
    layout->addLayout(scopeButtons);
    layout->addWidget(options);
    layout->addLayout(buttons);
    resize(520, 520);
    updateButtons();
}

TCheckFilesForm::~TCheckFilesForm() = default;

void TCheckFilesForm::updateButtons()
{
    m_search->setEnabled(m_scope.anyIncluded());
    bool anyOut = false;
    for (const TTreeNode *catalog : m_scope.catalogs())
        anyOut = anyOut || m_scope.stateOf(catalog) != ssIncluded;
    m_includeAll->setEnabled(anyOut);
    m_excludeAll->setEnabled(m_scope.anyIncluded());
}

QString TCheckFilesForm::checkedFolder()
{
    QString folder = QDir::fromNativeSeparators(m_source->text().trimmed());
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    m_source->setText(QDir::toNativeSeparators(folder));
    if (!QFileInfo(folder).isDir()) {
        m_prompter.ask(MsgInvalidFolderCaption(), MsgInvalidFolderText(QDir::toNativeSeparators(folder)),
                       MsgIcon::Warning, MsgButtons::Ok);
        return {};
    }
    return folder;
}

void TCheckFilesForm::accept()
{
    if (!m_scope.anyIncluded())
        return;
    m_folder = checkedFolder();
    if (m_folder.isEmpty())
        return;
    QDialog::accept();
}

void TCheckFilesForm::browse()
{
    QString start = QDir::fromNativeSeparators(m_source->text().trimmed());
    if (!QFileInfo(start).isDir())
        start = QCoreApplication::applicationDirPath();
    TBrowseFolderForm picker(QStringLiteral("Select location of files to check:"), QStringLiteral("/"), start, this);
    if (picker.exec() != QDialog::Accepted || picker.selectedFolder().isEmpty())
        return;
    QString folder = picker.selectedFolder();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    m_source->setText(QDir::toNativeSeparators(folder));
}

TSameChecks TCheckFilesForm::sameChecks() const
{
    return {m_size->isChecked(), m_date->isChecked(), m_attr->isChecked()};
}

bool TCheckFilesForm::subfolders() const
{
    return m_subfolders->isChecked();
}
