// The Insert Media dialog: asks the user to insert the medium of a catalogued
// disk, naming the disk and its media type. OK looks again, Cancel gives up,
// and "Manual Select" (offered only when allowed) lets the user pick the
// drive. It is the insertMedia question of FindMediaForDisk.
#pragma once

#include "platform/Prompter.h"

#include <QDialog>

#include <cstdint>

class QLabel;
class QPushButton;

class TMediaForm : public QDialog
{
    Q_OBJECT
public:
    TMediaForm(const QByteArray &diskName, uint8_t mediaType, bool allowManual, QWidget *parent = nullptr);

    // OK, Cancel, or No for "Manual Select"; what the dialog closed with.
    MsgAnswer answer() const { return m_answer; }

    QLabel *nameLabel() const { return m_name; }
    QLabel *typeLabel() const { return m_type; }
    QPushButton *okButton() const { return m_ok; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *manualButton() const { return m_manual; }

    void reject() override;

private:
    void finish(MsgAnswer answer);

    QLabel *m_name = nullptr;
    QLabel *m_type = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_manual = nullptr;
    MsgAnswer m_answer = MsgAnswer::Cancel;
};

// Shows the dialog modally and returns its answer.
MsgAnswer AskInsertMedia(QWidget *parent, const QByteArray &diskName, uint8_t mediaType, bool allowManual);
