// The catalog manager window.
#include "browser/ui/CatManagerForm.h"

#include "catalog/CatalogRec.h"
#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "manager/CatManager.h"
#include "platform/Prompter.h"
#include "platform/Texts.h"
#include "widgets/ui/TextPrompt.h"

#include <QApplication>
#include <QComboBox>
#include <QDrag>
#include <QDragEnterEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kPaneMime = QStringLiteral("application/x-quillon-manager-pane");

QString diskName(const TTreeNode *node) { return DecodeStored(node->text()); }

} // namespace

// ---- TDragDropListBox -------------------------------------------------------------------------

TDragDropListBox::TDragDropListBox(TCatManagerForm *form, int side) : m_form(form), m_side(side)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DragDrop);
}

void TDragDropListBox::startDrag(Qt::DropActions)
{
    // Only while the other pane can take the disks.
    if (!m_form->pane(1)->isEnabled() || selectedItems().isEmpty())
        return;
    auto *data = new QMimeData;
    data->setData(kPaneMime, QByteArray::number(m_side));
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction);
}

void TDragDropListBox::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->data(kPaneMime) == QByteArray::number(1 - m_side))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TDragDropListBox::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->data(kPaneMime) == QByteArray::number(1 - m_side))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TDragDropListBox::dropEvent(QDropEvent *event)
{
    if (event->mimeData()->data(kPaneMime) != QByteArray::number(1 - m_side)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_form->dropOn(m_side);
}

// ---- TCatManagerForm --------------------------------------------------------------------------

TCatManagerForm::TCatManagerForm(std::vector<TTreeNode *> catalogs, TTreeNode *selected, TCatManagerHost host,
                                 QWidget *parent)
    : QDialog(parent), m_catalogs(std::move(catalogs)), m_host(std::move(host))
{
    setObjectName(QStringLiteral("CatManagerForm"));
    setWindowTitle(QStringLiteral("Catalog Manager"));

    auto *grid = new QGridLayout;
    const char *labels[2] = {"First Catalog:", "Second Catalog:"};
    for (int side = 0; side < 2; ++side) {
        m_combos[side] = new QComboBox(this);
        m_combos[side]->setObjectName(QStringLiteral("CatalogCombo%1").arg(side + 1));
        for (TTreeNode *catalog : m_catalogs)
            m_combos[side]->addItem(DecodeStored(catalog->text()));
        m_panes[side] = new TDragDropListBox(this, side);
        m_panes[side]->setObjectName(side == 0 ? QStringLiteral("DiskList1") : QStringLiteral("DiskList2"));
        auto *label = new QLabel(QString::fromLatin1(labels[side]), this);
        label->setBuddy(m_combos[side]);
        grid->addWidget(label, 0, side * 2);
        grid->addWidget(m_combos[side], 1, side * 2);
        grid->addWidget(m_panes[side], 2, side * 2);
        m_combos[side]->installEventFilter(this);
        connect(m_combos[side], &QComboBox::currentIndexChanged, this, [this, side] {
            fillPane(side);
            if (m_panes[side]->count() > 0)
                m_panes[side]->setCurrentRow(0);
            updateButtons();
            updateStatus();
        });
        connect(m_panes[side], &QListWidget::itemSelectionChanged, this, [this, side] {
            setCurrentSide(side);
        });
        connect(qApp, &QApplication::focusChanged, this, [this, side](QWidget *, QWidget *now) {
            if (now && (now == m_panes[side] || now == m_combos[side]))
                setCurrentSide(side);
        });
    }

    auto *buttons = new QVBoxLayout;
    auto button = [this, buttons](const char *name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    m_copy = button("CopyBtn", QStringLiteral("Copy >>"));
    m_move = button("MoveBtn", QStringLiteral("Move >>"));
    buttons->addSpacing(12);
    m_rename = button("RenameBtn", QStringLiteral("Rename"));
    m_delete = button("DeleteBtn", QStringLiteral("Delete"));
    m_properties = button("PropertiesBtn", QStringLiteral("Properties"));
    buttons->addStretch();
    QPushButton *done = button("DoneBtn", QStringLiteral("Done"));
    grid->addLayout(buttons, 2, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);

    connect(m_copy, &QPushButton::clicked, this, [this] { transfer(false); });
    connect(m_move, &QPushButton::clicked, this, [this] { transfer(true); });
    connect(m_rename, &QPushButton::clicked, this, &TCatManagerForm::renameSelected);
    connect(m_delete, &QPushButton::clicked, this, [this] { deleteSelected(true); });
    connect(m_properties, &QPushButton::clicked, this, &TCatManagerForm::showProperties);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("StatusBar"));
    m_status->setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_status);
    resize(560, 360);

    // The first selector shows the selection's catalog, the second the first other one.
    TTreeNode *own = selected ? CatalogNodeOf(selected) : nullptr;
    int first = 0;
    for (size_t i = 0; i < m_catalogs.size(); ++i)
        if (m_catalogs[i] == own)
            first = int(i);
    const QSignalBlocker b0(m_combos[0]), b1(m_combos[1]);
    m_combos[0]->setCurrentIndex(m_catalogs.empty() ? -1 : first);
    m_combos[1]->setCurrentIndex(m_catalogs.size() < 2 ? -1 : first == 0 ? 1 : 0);
    const bool two = m_catalogs.size() >= 2;
    m_combos[1]->setEnabled(two);
    m_panes[1]->setEnabled(two);
    // Each pane starts on its first disk, as after choosing its catalog.
    for (int side : {1, 0}) {
        fillPane(side);
        const QSignalBlocker paneBlocker(m_panes[side]);
        if (m_panes[side]->count() > 0)
            m_panes[side]->setCurrentRow(0);
    }
    setCurrentSide(0);
}

TTreeNode *TCatManagerForm::catalogOf(int side) const
{
    const int i = m_combos[side]->currentIndex();
    return i >= 0 && size_t(i) < m_catalogs.size() ? m_catalogs[size_t(i)] : nullptr;
}

void TCatManagerForm::fillPane(int side)
{
    TDragDropListBox *pane = m_panes[side];
    const QSignalBlocker blocker(pane);
    pane->clear();
    if (TTreeNode *catalog = catalogOf(side))
        for (TTreeNode *disk = catalog->firstChild(); disk; disk = disk->nextSibling()) {
            auto *item = new QListWidgetItem(diskName(disk), pane);
            item->setData(Qt::UserRole, QVariant::fromValue<void *>(disk));
        }
}

std::vector<TTreeNode *> TCatManagerForm::disksOf(int side, bool selectedOnly) const
{
    std::vector<TTreeNode *> disks;
    const TDragDropListBox *pane = m_panes[side];
    for (int row = 0; row < pane->count(); ++row) {
        const QListWidgetItem *item = pane->item(row);
        if (!selectedOnly || item->isSelected())
            disks.push_back(static_cast<TTreeNode *>(item->data(Qt::UserRole).value<void *>()));
    }
    return disks;
}

void TCatManagerForm::setCurrentSide(int side)
{
    if (side == 1 && !m_panes[1]->isEnabled())
        return;
    m_current = side;
    m_copy->setText(side == 0 ? QStringLiteral("Copy >>") : QStringLiteral("<< Copy"));
    m_move->setText(side == 0 ? QStringLiteral("Move >>") : QStringLiteral("<< Move"));
    updateButtons();
    updateStatus();
}

void TCatManagerForm::updateButtons()
{
    const TDragDropListBox *pane = m_panes[m_current];
    const bool disk = pane->count() > 0 && pane->currentItem() != nullptr;
    m_delete->setEnabled(disk);
    m_rename->setEnabled(disk);
    m_properties->setEnabled(disk && m_host.properties);
    const bool two = m_catalogs.size() >= 2 && catalogOf(0) != catalogOf(1);
    m_copy->setEnabled(two && disk);
    m_move->setEnabled(two && disk);
}

void TCatManagerForm::updateStatus()
{
    m_status->setText(CatManagerStatusText(m_current == 0, disksOf(m_current, false), disksOf(m_current, true)));
}

void TCatManagerForm::transfer(bool move)
{
    const int side = m_current;
    TTreeNode *target = catalogOf(1 - side);
    const std::vector<TTreeNode *> disks = disksOf(side, true);
    if (!target || disks.empty() || target == catalogOf(side))
        return;
    if (m_host.status)
        m_host.status(MsgTransferStatus(move));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (m_host.progress)
        m_host.progress->ShowWait(MsgTransferProgress(move), false, false);
    // A move takes each disk out of its source only once it has arrived.
    // The status names each disk as its turn comes.
    const TTransferResult result = TransferDisks(disks, target, move, [this, move](TTreeNode *disk) {
        m_status->setText(MsgTransferDisk(move, diskName(disk)));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    if (!result.transferred.empty() && m_host.sortDisks)
        m_host.sortDisks(target);
    if (m_host.progress)
        m_host.progress->CloseWait();
    QApplication::restoreOverrideCursor();
    fillPane(0);
    fillPane(1);
    // Both panes show the disks just transferred selected: the target its
    // new disks, the source (after a copy) the disks it still holds.
    selectDisks(1 - side, result.transferred);
    if (!move)
        selectDisks(side, disks);
    setCurrentSide(side);
    if (m_host.changed)
        m_host.changed();
    if (m_host.status)
        m_host.status(QString());
    updateButtons();
    updateStatus();
    if (m_host.prompter) {
        if (result.failedIndex >= 0)
            m_host.prompter->ask(QStringLiteral("Catalog Manager"), result.error, MsgIcon::Error, MsgButtons::Ok);
        // Told once, with the count, whatever the number of disks.
        if (result.notes.lostItems > 0)
            m_host.prompter->ask(QStringLiteral("Catalog Manager"), MsgCategoriesLost(result.notes.lostItems),
                                 MsgIcon::Information, MsgButtons::Ok);
    }
}

void TCatManagerForm::selectDisks(int side, const std::vector<TTreeNode *> &disks)
{
    TDragDropListBox *pane = m_panes[side];
    const QSignalBlocker blocker(pane);
    pane->clearSelection();
    bool first = true;
    for (int row = 0; row < pane->count(); ++row) {
        QListWidgetItem *item = pane->item(row);
        auto *disk = static_cast<TTreeNode *>(item->data(Qt::UserRole).value<void *>());
        if (std::find(disks.begin(), disks.end(), disk) == disks.end())
            continue;
        if (first)
            pane->setCurrentItem(item, QItemSelectionModel::NoUpdate);
        item->setSelected(true);
        first = false;
    }
}

void TCatManagerForm::renameSelected()
{
    const std::vector<TTreeNode *> disks = disksOf(m_current, true);
    bool visited = false;
    for (TTreeNode *disk : disks) {
        const QString name = diskName(disk);
        if (m_host.status)
            m_host.status(QStringLiteral("Renaming disk \"") + name + QStringLiteral("\"..."));
        const QString caption = QStringLiteral("Rename Disk");
        const QString label = QStringLiteral("Rename disk \"") + name + QStringLiteral("\" to:");
        const std::optional<QString> text =
            m_host.askText ? m_host.askText(caption, label, name) : AskTextLine(this, caption, label, name);
        if (!text || text->isEmpty())
            break;
        visited = true;
        disk->setText(UniqueDiskName(disk->parent(), EncodeStored(*text), disk));
        SetDiskDirty(disk, true);
        if (m_host.changed)
            m_host.changed();
    }
    if (m_host.status)
        m_host.status(QString());
    if (visited && m_host.sortDisks)
        m_host.sortDisks(catalogOf(m_current));
    fillPane(0);
    fillPane(1);
    updateButtons();
    updateStatus();
}

void TCatManagerForm::deleteSelected(bool ask)
{
    const std::vector<TTreeNode *> disks = disksOf(m_current, true);
    if (disks.empty())
        return;
    if (ask && m_host.prompter &&
        m_host.prompter->ask(QStringLiteral("Delete"), MsgConfirmDeleteDisks(), MsgIcon::Warning,
                             MsgButtons::OkCancel) != MsgAnswer::Ok)
        return;
    if (m_host.status)
        m_host.status(MsgDeletingDisks());
    for (auto it = disks.rbegin(); it != disks.rend(); ++it) {
        SetDiskDirty(*it, true);
        if (m_host.deleteDisk)
            m_host.deleteDisk(*it);
    }
    if (m_host.status)
        m_host.status(QString());
    fillPane(0);
    fillPane(1);
    if (m_host.changed)
        m_host.changed();
    updateButtons();
    updateStatus();
}

void TCatManagerForm::showProperties()
{
    const QListWidgetItem *item = m_panes[m_current]->currentItem();
    if (item && m_host.properties)
        m_host.properties(static_cast<TTreeNode *>(item->data(Qt::UserRole).value<void *>()));
}

void TCatManagerForm::dropOn(int side)
{
    // A drop always moves, from the other pane.
    setCurrentSide(1 - side);
    transfer(true);
}
