// A one-page disk information window: the volume label, media type, serial
// number, capacity, free space, file system, catalog and update time of a
// disk record, with its description. The Add Disk dialog shows it for the
// record read from the chosen drive (a disk not yet in a catalog), and the
// disk selection list for a catalogued disk. It only shows; nothing is
// changed through it.
#pragma once

#include <QDialog>

struct TDiskRec;
class QFormLayout;
class QLabel;
class QPlainTextEdit;
class TTreeNode;

class TDiskInfoForm : public QDialog
{
    Q_OBJECT
public:
    // For the record read from drive letter; oldDisk is the disk the dialog
    // is about to update (its catalog is named), or null.
    TDiskInfoForm(const TDiskRec &work, QChar letter, TTreeNode *oldDisk, QWidget *parent = nullptr);
    // For a catalogued disk.
    explicit TDiskInfoForm(TTreeNode *diskNode, QWidget *parent = nullptr);

    // The value shown in a row by its caption ("Volume Label:", ...); empty when none.
    QString rowText(const QString &caption) const;
    QString title() const;
    QPlainTextEdit *description() const { return m_desc; }

private:
    void build(const TDiskRec &disk, const QString &title, TTreeNode *catalogNode, double updated,
               bool inCatalog);
    void addRow(const QString &caption, const QString &value);

    QLabel *m_title = nullptr;
    QPlainTextEdit *m_desc = nullptr;
    QFormLayout *m_rows = nullptr;
};
