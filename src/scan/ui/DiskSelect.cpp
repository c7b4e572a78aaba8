// The disk selection list and the serial number question.
#include "scan/ui/DiskSelect.h"

#include "browser/ItemSort.h"
#include "browser/Utils.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "platform/Prompter.h"
#include "platform/Texts.h"
#include "widgets/ui/Icons.h"
#include "widgets/ui/PropertiesForm.h"
#include "widgets/ui/QtPrompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

// ---------------------------------------------------------------------------
// TDiskSelectForm

TDiskSelectForm::TDiskSelectForm(const std::vector<TTreeNode *> &disks, Prompter &prompter, QWidget *parent)
    : QDialog(parent), m_prompter(prompter), m_order(disks)
{
    setObjectName(QStringLiteral("DiskSelectForm"));
    setWindowTitle(MsgSelectDiskCaption());

    auto *text = new QLabel(MsgSelectDiskText(), this);
    text->setWordWrap(true);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("DiskList"));
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setHeaderLabels(SelectDiskColumns());
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->header()->setSectionsClickable(true);
    connect(m_list->header(), &QHeaderView::sectionClicked, this, &TDiskSelectForm::sortByColumn);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &TDiskSelectForm::updateButtons);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { chooseUpdate(); });
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QTreeWidgetItem *item = m_list->itemAt(pos);
        if (!item)
            return;
        if (QMenu *menu = rowMenu(m_list->indexOfTopLevelItem(item))) {
            menu->exec(m_list->viewport()->mapToGlobal(pos));
            menu->deleteLater();
        }
    });

    m_update = new QPushButton(QStringLiteral("&Update"), this);
    m_update->setObjectName(QStringLiteral("UpdateBtn"));
    m_update->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("CancelBtn"));
    m_addNew = new QPushButton(QStringLiteral("Add as New"), this);
    m_addNew->setObjectName(QStringLiteral("AddNewBtn"));
    m_hint = new QPushButton(QStringLiteral("Hint"), this);
    m_hint->setObjectName(QStringLiteral("HintBtn"));
    connect(m_update, &QPushButton::clicked, this, &TDiskSelectForm::chooseUpdate);
    connect(m_cancel, &QPushButton::clicked, this, &TDiskSelectForm::reject);
    connect(m_addNew, &QPushButton::clicked, this, &TDiskSelectForm::chooseAddNew);
    connect(m_hint, &QPushButton::clicked, this, &TDiskSelectForm::showHint);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_hint);
    buttons->addStretch();
    buttons->addWidget(m_update);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_addNew);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    resize(640, 300);

    fill();
    if (m_list->topLevelItemCount() > 0)
        m_list->topLevelItem(0)->setSelected(true);
    updateButtons();
}

void TDiskSelectForm::fill()
{
    const QSignalBlocker block(m_list);
    m_list->clear();
    for (TTreeNode *node : m_order) {
        const TItemRec *rec = NodeRec(node);
        auto *item = new QTreeWidgetItem;
        for (int column = 0; column < int(SelectDiskColumns().size()); ++column)
            item->setText(column, rec ? ItemText(rec, column, false) : QString());
        if (const TDiskRec *disk = AsDisk(const_cast<TItemRec *>(rec)))
            item->setIcon(0, AppIcon(DiskImage(disk->MediaType, disk->KindFlags)));
        // Capacity and free space read as numbers.
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(4, Qt::AlignRight | Qt::AlignVCenter);
        m_list->addTopLevelItem(item);
    }
    for (int column = 0; column < m_list->columnCount(); ++column)
        m_list->resizeColumnToContents(column);
}

void TDiskSelectForm::sortByColumn(int column)
{
    // Keep the selection on the same disks across the new order.
    std::vector<TTreeNode *> selected;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row)
        if (m_list->topLevelItem(row)->isSelected())
            selected.push_back(m_order[size_t(row)]);
    if (column == m_sortColumn) {
        std::reverse(m_order.begin(), m_order.end());
        m_reversed = !m_reversed;
    } else {
        m_sortColumn = column;
        m_reversed = false;
        TCompareContext context;
        context.column = column;
        TItemComparer comparer(context);
        std::stable_sort(m_order.begin(), m_order.end(), [&](TTreeNode *a, TTreeNode *b) {
            return comparer.compare(NodeRec(a), NodeRec(b)) < 0;
        });
    }
    fill();
    for (int row = 0; row < m_list->topLevelItemCount(); ++row)
        if (std::find(selected.begin(), selected.end(), m_order[size_t(row)]) != selected.end())
            m_list->topLevelItem(row)->setSelected(true);
    m_list->header()->setSortIndicatorShown(true);
    m_list->header()->setSortIndicator(column, m_reversed ? Qt::DescendingOrder : Qt::AscendingOrder);
    updateButtons();
}

void TDiskSelectForm::updateButtons()
{
    m_update->setEnabled(!m_list->selectedItems().isEmpty());
}

void TDiskSelectForm::chooseUpdate()
{
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        if (m_list->topLevelItem(row)->isSelected()) {
            m_answer = {TDiskSelectAnswer::Update, m_order[size_t(row)]};
            QDialog::accept();
            return;
        }
    }
}

void TDiskSelectForm::chooseAddNew()
{
    m_answer = {TDiskSelectAnswer::AddNew, nullptr};
    QDialog::accept();
}

void TDiskSelectForm::reject()
{
    m_answer = {};
    QDialog::reject();
}

void TDiskSelectForm::showHint()
{
    m_prompter.ask(MsgSelectDiskHintCaption(), MsgSelectDiskHintText(), MsgIcon::Information, MsgButtons::Ok);
}

QMenu *TDiskSelectForm::rowMenu(int row)
{
    if (row < 0 || row >= int(m_order.size()))
        return nullptr;
    TTreeNode *disk = m_order[size_t(row)];
    auto *menu = new QMenu(this);
    menu->addAction(QStringLiteral("Update This Disk"), this, [this, row] {
        m_list->clearSelection();
        m_list->topLevelItem(row)->setSelected(true);
        chooseUpdate();
    });
    menu->addAction(QStringLiteral("Disk Properties"), this, [this, disk] { ShowProperties(this, disk, nullptr); });
    return menu;
}

TDiskSelectAnswer SelectMatchingDisk(QWidget *parent, const std::vector<TTreeNode *> &disks, Prompter &prompter)
{
    TDiskSelectForm form(disks, prompter, parent);
    form.exec();
    return form.answer();
}

// ---------------------------------------------------------------------------
// TSerialAskForm

TSerialAskForm::TSerialAskForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SerialAskForm"));
    setWindowTitle(MsgChangeSerialCaption());

    auto *icon = new QLabel(this);
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(side, side));
    m_text = new QLabel(PlainLineBreaks(MsgChangeSerialText()), this);
    m_text->setObjectName(QStringLiteral("TextLabel"));
    m_text->setWordWrap(true);
    m_text->setMinimumWidth(380);
    m_dontAsk = new QCheckBox(MsgChangeSerialDontAsk(), this);
    m_dontAsk->setObjectName(QStringLiteral("DontAskCheck"));
    m_yes = new QPushButton(MsgChangeSerialYes(), this);
    m_yes->setObjectName(QStringLiteral("YesBtn"));
    m_yes->setDefault(true);
    m_no = new QPushButton(MsgChangeSerialNo(), this);
    m_no->setObjectName(QStringLiteral("NoBtn"));
    connect(m_yes, &QPushButton::clicked, this, [this] { finish(true); });
    connect(m_no, &QPushButton::clicked, this, [this] { finish(false); });

    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(m_text, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_yes);
    buttons->addWidget(m_no);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_dontAsk);
    layout->addLayout(buttons);
}

void TSerialAskForm::finish(bool change)
{
    m_answer.change = change;
    m_answer.dontAskAgain = m_dontAsk->isChecked();
    if (change)
        accept();
    else
        reject();
}

TSerialAnswer AskChangeSerial(QWidget *parent)
{
    TSerialAskForm form(parent);
    form.exec();
    return form.answer();
}
