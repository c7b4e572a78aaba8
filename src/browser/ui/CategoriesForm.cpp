// The two category windows over their core state.
#include "browser/ui/CategoriesForm.h"

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/ReadAhead.h"
#include "platform/Texts.h"
#include "widgets/ui/TextPrompt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

// ---------------------------------------------------------------------------
// TCategoriesForm

TCategoriesForm::TCategoriesForm(std::vector<TTreeNode *> catalogs, int shown, Prompter &prompter,
                                 bool searchRunning, ProgressSink *progress, QWidget *parent)
    : QDialog(parent), m_work(catalogs, prompter, shown), m_searchRunning(searchRunning), m_progress(progress)
{
    setObjectName(QStringLiteral("CategoriesForm"));
    setWindowTitle(QStringLiteral("Categories Setup"));

    m_catalogCombo = new QComboBox(this);
    m_catalogCombo->setObjectName(QStringLiteral("CatalogCombo"));
    m_copyMenu = new QMenu(this);
    for (int i = 0; i < m_work.catalogCount(); ++i) {
        const QString name = DecodeStored(m_work.catalogNode(i)->text());
        m_catalogCombo->addItem(name);
        QAction *action = m_copyMenu->addAction(name);
        connect(action, &QAction::triggered, this, [this, i] {
            m_work.copyFrom(i);
            showCatalog();
        });
    }
    m_catalogCombo->setCurrentIndex(m_work.shownIndex());
    connect(m_catalogCombo, &QComboBox::currentIndexChanged, this, [this](int index) {
        for (int k = 1; k <= kFlagCount; ++k)
            flagEdited(k);
        m_work.show(index);
        m_edit->clear();
        showCatalog();
    });

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("CategoryList"));
    connect(m_list, &QListWidget::currentRowChanged, this, [this] { updateButtons(); });
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { renameClicked(); });
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("CategoryEdit"));
    connect(m_edit, &QLineEdit::textChanged, this, [this] { updateButtons(); });
    connect(m_edit, &QLineEdit::returnPressed, this, [this] { addClicked(); });

    m_add = new QPushButton(QStringLiteral("&Add"), this);
    m_add->setObjectName(QStringLiteral("AddBtn"));
    m_add->setAutoDefault(false);
    m_rename = new QPushButton(QStringLiteral("&Rename"), this);
    m_rename->setObjectName(QStringLiteral("RenameBtn"));
    m_rename->setAutoDefault(false);
    m_delete = new QPushButton(QStringLiteral("&Delete"), this);
    m_delete->setObjectName(QStringLiteral("DeleteBtn"));
    m_delete->setAutoDefault(false);
    m_copyFrom = new QPushButton(QStringLiteral("&Copy from"), this);
    m_copyFrom->setObjectName(QStringLiteral("CopyFromBtn"));
    m_copyFrom->setAutoDefault(false);
    m_copyFrom->setMenu(m_copyMenu);
    m_copyFrom->setEnabled(m_work.copyFromEnabled());
    connect(m_add, &QPushButton::clicked, this, &TCategoriesForm::addClicked);
    connect(m_rename, &QPushButton::clicked, this, &TCategoriesForm::renameClicked);
    connect(m_delete, &QPushButton::clicked, this, &TCategoriesForm::deleteClicked);

    auto *flags = new QGridLayout;
    for (int k = 1; k <= kFlagCount; ++k) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("FlagEdit%1").arg(k));
        auto *box = new QCheckBox(QStringLiteral("Remove All"), this);
        box->setObjectName(QStringLiteral("RemoveFlags%1").arg(k));
        connect(edit, &QLineEdit::editingFinished, this, [this, k] { flagEdited(k); });
        connect(box, &QCheckBox::clicked, this, [this, k] { removeBoxClicked(k); });
        m_flagEdits[size_t(k - 1)] = edit;
        m_removeBoxes[size_t(k - 1)] = box;
        flags->addWidget(new QLabel(QStringLiteral("Flag &%1:").arg(k), this), k - 1, 0);
        flags->addWidget(edit, k - 1, 1);
        flags->addWidget(box, k - 1, 2);
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("OKBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TCategoriesForm::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TCategoriesForm::reject);

    auto *side = new QVBoxLayout;
    for (QPushButton *b : {m_add, m_rename, m_delete, m_copyFrom})
        side->addWidget(b);
    side->addStretch();
    auto *middle = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addWidget(m_edit);
    left->addWidget(m_list);
    middle->addLayout(left, 1);
    middle->addLayout(side);
    auto *top = new QFormLayout;
    top->addRow(QStringLiteral("Ca&talog:"), m_catalogCombo);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addLayout(flags);
    layout->addWidget(buttons);

    showCatalog();
}

void TCategoriesForm::showCatalog()
{
    const int row = m_list->currentRow();
    m_list->clear();
    for (const TCategoryEntry &e : m_work.entries())
        m_list->addItem(DecodeStored(e.name));
    if (row >= 0 && m_list->count() > 0)
        m_list->setCurrentRow(std::min(row, m_list->count() - 1));
    for (int k = 1; k <= kFlagCount; ++k) {
        m_flagEdits[size_t(k - 1)]->setText(DecodeStored(m_work.flagText(k)));
        m_removeBoxes[size_t(k - 1)]->setEnabled(m_work.removeFlagEnabled(k));
        m_removeBoxes[size_t(k - 1)]->setChecked(m_work.removeFlag(k));
    }
    for (int i = 0; i < m_copyMenu->actions().size(); ++i)
        m_copyMenu->actions()[i]->setEnabled(i != m_work.shownIndex());
    updateButtons();
}

void TCategoriesForm::updateButtons()
{
    if (!m_work.canAdd()) {
        m_edit->setEnabled(false);
        m_edit->setText(MsgMaxCategoriesReached());
    } else if (!m_edit->isEnabled()) {
        m_edit->setEnabled(true);
        m_edit->clear();
    }
    m_add->setEnabled(m_edit->isEnabled() && !m_edit->text().isEmpty());
    const bool selected = m_list->currentRow() >= 0;
    m_rename->setEnabled(selected);
    m_delete->setEnabled(selected);
}

void TCategoriesForm::addClicked()
{
    if (!m_edit->isEnabled() || m_edit->text().isEmpty())
        return;
    const int index = m_work.add(EncodeStored(m_edit->text()));
    m_edit->clear();
    showCatalog();
    if (index >= 0)
        m_list->setCurrentRow(index);
    m_edit->setFocus();
}

void TCategoriesForm::renameClicked()
{
    const int row = m_list->currentRow();
    if (row < 0)
        return;
    const std::optional<QString> text = AskTextLine(this, QStringLiteral("Rename Category"),
                                                    QStringLiteral("New Category Name:"), m_list->item(row)->text());
    if (!text)
        return;
    const int at = m_work.rename(row, EncodeStored(*text));
    if (at < 0)
        return;
    showCatalog();
    m_list->setCurrentRow(at);
}

void TCategoriesForm::deleteClicked()
{
    const int row = m_list->currentRow();
    if (row < 0 || !m_work.remove(row))
        return;
    showCatalog();
    if (m_list->count() > 0)
        m_list->setCurrentRow(std::min(row, m_list->count() - 1));
}

void TCategoriesForm::flagEdited(int k)
{
    QLineEdit *edit = m_flagEdits[size_t(k - 1)];
    const QByteArray text = EncodeStored(edit->text());
    if (text == m_work.flagText(k))
        return;
    edit->setText(DecodeStored(m_work.setFlagText(k, text)));
    m_removeBoxes[size_t(k - 1)]->setChecked(m_work.removeFlag(k));
}

void TCategoriesForm::removeBoxClicked(int k)
{
    QCheckBox *box = m_removeBoxes[size_t(k - 1)];
    flagEdited(k);
    box->setChecked(m_work.setRemoveFlag(k, box->isChecked()));
}

void TCategoriesForm::accept()
{
    for (int k = 1; k <= kFlagCount; ++k)
        flagEdited(k);
    try {
        m_work.accept(m_searchRunning, m_progress);
    } catch (const EStreamError &e) {
        // The catalog file failed under the update: the edits stay, and what
        // was changed before is marked for saving.
        DefaultPrompter().ask(QStringLiteral("Error"), e.message(), MsgIcon::Error, MsgButtons::Ok);
    }
    QDialog::accept();
}

void TCategoriesForm::reject()
{
    if (m_work.cancel())
        QDialog::reject();
}

// ---------------------------------------------------------------------------
// TSetCatForm

TSetCatForm::TSetCatForm(std::vector<TItemRec *> items, Prompter &prompter, QWidget *parent)
    : QDialog(parent), m_work(std::move(items)), m_prompter(prompter)
{
    setObjectName(QStringLiteral("SetCatForm"));
    setWindowTitle(QStringLiteral("Set Categories and Flags"));
    m_head = new QLabel(m_work.heading(), this);
    m_head->setObjectName(QStringLiteral("HeadLabel"));
    m_categories = new QListWidget(this);
    m_categories->setObjectName(QStringLiteral("CategoryList"));
    m_flags = new QListWidget(this);
    m_flags->setObjectName(QStringLiteral("FlagsList"));
    m_warning = new QLabel(MsgNotAvailableForAll(), this);
    m_warning->setObjectName(QStringLiteral("WarningLabel"));
    m_apply = new QPushButton(QStringLiteral("&Apply"), this);
    m_apply->setObjectName(QStringLiteral("ApplyBtn"));
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("CloseBtn"));
    connect(m_apply, &QPushButton::clicked, this, &TSetCatForm::applyClicked);
    connect(close, &QPushButton::clicked, this, &TSetCatForm::reject);
    connect(m_categories, &QListWidget::itemChanged, this, &TSetCatForm::categoryChanged);
    connect(m_flags, &QListWidget::itemChanged, this, &TSetCatForm::flagChanged);

    auto *lists = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("Category:"), this));
    left->addWidget(m_categories);
    auto *right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("Flags:"), this));
    right->addWidget(m_flags);
    lists->addLayout(left);
    lists->addLayout(right);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_apply);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_head);
    layout->addLayout(lists, 1);
    layout->addWidget(m_warning);
    layout->addLayout(buttons);
    fill();
}

int TSetCatForm::run()
{
    if (m_work.nothingDefined()) {
        m_work.askDefineNow(m_prompter);
        return QDialog::Rejected;
    }
    return exec();
}

void TSetCatForm::fill()
{
    m_filling = true;
    m_categories->clear();
    m_flags->clear();
    if (m_work.categoriesEnabled()) {
        for (size_t i = 0; i < m_work.categories().size(); ++i) {
            auto *item = new QListWidgetItem(m_work.categories()[i].text(), m_categories);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(int(i) == m_work.checkedCategory() ? Qt::Checked : Qt::Unchecked);
        }
    } else {
        m_categories->addItem(MsgNoCategoriesDefined());
        m_categories->setEnabled(false);
    }
    if (m_work.flagsEnabled()) {
        for (const TSetCatWork::Entry &e : m_work.flags()) {
            auto *item = new QListWidgetItem(e.text(), m_flags);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsUserTristate);
            item->setCheckState(e.state == TFlagState::Checked     ? Qt::Checked
                                : e.state == TFlagState::Unchecked ? Qt::Unchecked
                                                                   : Qt::PartiallyChecked);
        }
    } else {
        m_flags->addItem(MsgNoFlagsDefined());
        m_flags->setEnabled(false);
    }
    m_warning->setVisible(m_work.warningShown());
    m_apply->setEnabled(m_work.applyEnabled());
    m_filling = false;
}

void TSetCatForm::categoryChanged(QListWidgetItem *item)
{
    if (m_filling)
        return;
    const int row = m_categories->row(item);
    if (item->checkState() == Qt::Checked)
        m_work.checkCategory(row);
    // One choice: the checked entry is the work's, whatever was clicked.
    m_filling = true;
    for (int i = 0; i < m_categories->count(); ++i)
        m_categories->item(i)->setCheckState(i == m_work.checkedCategory() ? Qt::Checked : Qt::Unchecked);
    m_filling = false;
    m_apply->setEnabled(m_work.applyEnabled());
}

void TSetCatForm::flagChanged(QListWidgetItem *item)
{
    if (m_filling)
        return;
    const Qt::CheckState s = item->checkState();
    m_work.setFlagState(m_flags->row(item), s == Qt::Checked     ? TFlagState::Checked
                                            : s == Qt::Unchecked ? TFlagState::Unchecked
                                                                 : TFlagState::Grayed);
    m_apply->setEnabled(m_work.applyEnabled());
}

void TSetCatForm::applyClicked()
{
    if (!m_work.apply(m_prompter))
        return;
    fill();
}
