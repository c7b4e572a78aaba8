// The Insert Media dialog.
#include "scan/ui/MediaForm.h"

#include "catalog/DiskMedium.h"
#include "platform/Drives.h"
#include "platform/Texts.h"
#include "widgets/ui/Icons.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TMediaForm::TMediaForm(const QByteArray &diskName, uint8_t mediaType, bool allowManual, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("MediaForm"));
    setWindowTitle(QStringLiteral("Insert Media"));

    auto *prompt = new QLabel(QStringLiteral("Please insert media labeled:"), this);
    m_name = new QLabel(DecodeStored(diskName), this);
    m_name->setObjectName(QStringLiteral("NameLabel"));
    m_name->setTextFormat(Qt::PlainText);
    QFont bold = m_name->font();
    bold.setBold(true);
    m_name->setFont(bold);
    m_type = new QLabel(QStringLiteral("(Media type: ") + MediaTypeName(mediaType, 0) + QStringLiteral(")"), this);
    m_type->setObjectName(QStringLiteral("TypeLabel"));
    // The picture of the drive the medium goes into, where an animation of
    // inserting a medium would play.
    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Animate"));
    picture->setPixmap(AppIcon(DiskImage(mediaType, 0)).pixmap(48, 48));

    m_ok = new QPushButton(QStringLiteral("&OK"), this);
    m_ok->setObjectName(QStringLiteral("OKBtn"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("CancelBtn"));
    m_manual = new QPushButton(QStringLiteral("&Manual Select"), this);
    m_manual->setObjectName(QStringLiteral("ManualBtn"));
    // Hidden buttons leave no gap: the row re-centres what is shown.
    m_manual->setVisible(allowManual);
    connect(m_ok, &QPushButton::clicked, this, [this] { finish(MsgAnswer::Ok); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { finish(MsgAnswer::Cancel); });
    connect(m_manual, &QPushButton::clicked, this, [this] { finish(MsgAnswer::No); });

    auto *texts = new QVBoxLayout;
    texts->addWidget(prompt);
    texts->addWidget(m_name);
    texts->addWidget(m_type);
    auto *top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_manual);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
}

void TMediaForm::finish(MsgAnswer answer)
{
    m_answer = answer;
    if (answer == MsgAnswer::Cancel)
        QDialog::reject();
    else
        QDialog::accept();
}

void TMediaForm::reject()
{
    // Escape and closing the window are Cancel.
    m_answer = MsgAnswer::Cancel;
    QDialog::reject();
}

MsgAnswer AskInsertMedia(QWidget *parent, const QByteArray &diskName, uint8_t mediaType, bool allowManual)
{
    TMediaForm form(diskName, mediaType, allowManual, parent);
    form.exec();
    return form.answer();
}
