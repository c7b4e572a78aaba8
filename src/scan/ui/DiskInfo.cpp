// The disk information window.
#include "scan/ui/DiskInfo.h"

#include "browser/Utils.h"
#include "catalog/CatalogRec.h"
#include "catalog/DiskMedium.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "platform/Drives.h"
#include "platform/Texts.h"
#include "widgets/ui/Icons.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFont>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

// "Updated in Catalog:": through the packed form as stored dates are, long
// date, and the time when there is one.
QString updatedText(double updated)
{
    const uint32_t packed = DateTimeToDos(UpdatedToDateTime(updated));
    const QDateTime dt = DosToDateTime(packed);
    if (!dt.isValid())
        return QStringLiteral("(unknown)");
    QString text = QLocale().toString(dt.date(), QLocale::LongFormat);
    if (dt.time() != QTime(0, 0))
        text += QStringLiteral(", ") + LongTimeText(packed);
    return text;
}

} // namespace

TDiskInfoForm::TDiskInfoForm(const TDiskRec &work, QChar letter, TTreeNode *oldDisk, QWidget *parent)
    : QDialog(parent)
{
    const TDiskRec *old = oldDisk ? AsDisk(NodeRec(oldDisk)) : nullptr;
    TTreeNode *catalog = old ? CatalogNodeOf(oldDisk) : nullptr;
    build(work, QStringLiteral("Drive ") + letter + QStringLiteral(":"), catalog, old ? old->Updated : 0, false);
}

TDiskInfoForm::TDiskInfoForm(TTreeNode *diskNode, QWidget *parent) : QDialog(parent)
{
    const TDiskRec *disk = AsDisk(NodeRec(diskNode));
    static const TDiskRec none;
    build(disk ? *disk : none, diskNode ? DecodeStored(diskNode->text()) : QString(),
          diskNode ? CatalogNodeOf(diskNode) : nullptr, disk ? disk->Updated : 0, disk != nullptr);
}

void TDiskInfoForm::build(const TDiskRec &disk, const QString &title, TTreeNode *catalogNode, double updated,
                          bool inCatalog)
{
    setObjectName(QStringLiteral("PropertiesForm"));
    setWindowTitle(QStringLiteral("Properties"));

    auto *icon = new QLabel(this);
    icon->setPixmap(AppIcon(DiskImage(disk.MediaType, disk.KindFlags)).pixmap(32, 32));
    m_title = new QLabel(title, this);
    m_title->setObjectName(QStringLiteral("DiskName"));
    m_title->setTextFormat(Qt::PlainText);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    auto *head = new QHBoxLayout;
    head->addWidget(icon);
    head->addWidget(m_title, 1);

    m_rows = new QFormLayout;
    if (ItemIs(disk.KindFlags, rfVirtualRoot))
        addRow(QStringLiteral("Virtual Root Folder:"), DecodeStored(TextView(disk.RootPath)));
    addRow(QStringLiteral("Volume Label:"), DecodeStored(disk.VolumeLabel));
    addRow(QStringLiteral("Media Type:"), MediaTypeName(disk.MediaType, disk.KindFlags));
    addRow(QStringLiteral("Serial No.:"), SerialText(disk.Serial));
    addRow(QStringLiteral("Total Capacity:"), FormatSize(float(TotalBytes(DiskSpace(&disk, 0)))));
    addRow(QStringLiteral("Free Space:"), FormatSize(float(TotalBytes(DiskSpace(&disk, 1)))));
    addRow(QStringLiteral("File System:"), DecodeStored(disk.FileSystem));
    addRow(QStringLiteral("Total Files:"), inCatalog ? QString::number(disk.TotalFiles) : QStringLiteral("?"));
    addRow(QStringLiteral("Total Folders:"), inCatalog ? QString::number(disk.TotalFolders) : QStringLiteral("?"));
    addRow(QStringLiteral("Catalog Name:"),
           catalogNode ? DecodeStored(catalogNode->text()) : QStringLiteral("(not in catalog yet)"));
    addRow(QStringLiteral("Updated in Catalog:"), catalogNode ? updatedText(updated) : QStringLiteral("(not in catalog yet)"));
    auto *compressed = new QCheckBox(QStringLiteral("Volume is Compressed"), this);
    compressed->setObjectName(QStringLiteral("CompressedBox"));
    compressed->setChecked(ItemIs(disk.KindFlags, rfCompressed));
    compressed->setEnabled(false);

    m_desc = new QPlainTextEdit(this);
    m_desc->setObjectName(QStringLiteral("Memo3"));
    m_desc->setPlainText(DecodeStored(TextView(disk.Desc)));
    m_desc->setReadOnly(true);
    m_desc->setLineWrapMode(QPlainTextEdit::NoWrap);
    // A disk that is not in a catalog yet has no description of its own to show.
    m_desc->setEnabled(inCatalog);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addLayout(m_rows);
    layout->addWidget(compressed);
    layout->addWidget(new QLabel(QStringLiteral("Disk Description:"), this));
    layout->addWidget(m_desc, 1);
    layout->addWidget(buttons);
}

void TDiskInfoForm::addRow(const QString &caption, const QString &value)
{
    auto *label = new QLabel(value, this);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_rows->addRow(caption, label);
}

QString TDiskInfoForm::rowText(const QString &caption) const
{
    for (int row = 0; row < m_rows->rowCount(); ++row) {
        auto *name = qobject_cast<QLabel *>(m_rows->itemAt(row, QFormLayout::LabelRole)
                                                ? m_rows->itemAt(row, QFormLayout::LabelRole)->widget()
                                                : nullptr);
        auto *value = qobject_cast<QLabel *>(m_rows->itemAt(row, QFormLayout::FieldRole)
                                                 ? m_rows->itemAt(row, QFormLayout::FieldRole)->widget()
                                                 : nullptr);
        if (name && value && name->text() == caption)
            return value->text();
    }
    return {};
}

QString TDiskInfoForm::title() const
{
    return m_title->text();
}
