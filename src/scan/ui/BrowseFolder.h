// A folder picker limited to one folder tree: the folders below a root (a
// drive's mount point, or "/"), with the root itself standing for "the whole
// tree". Used to choose a virtual root on a drive and any folder to scan.
#pragma once

#include <QDialog>

class QFileSystemModel;
class QLabel;
class QTreeView;

class TBrowseFolderForm : public QDialog
{
    Q_OBJECT
public:
    // Shows the folders below root and selects start (when it is below root).
    TBrowseFolderForm(const QString &caption, const QString &root, const QString &start, QWidget *parent = nullptr);

    // The selected folder; the root when nothing below it is selected.
    QString selectedFolder() const;
    // Selects a folder below the root (for the keyboard and tests); false when it is not one.
    bool selectFolder(const QString &folder);
    QTreeView *tree() const { return m_tree; }

private:
    void showSelection();

    QString m_root;
    QFileSystemModel *m_model = nullptr;
    QTreeView *m_tree = nullptr;
    QLabel *m_path = nullptr;
};

// Shows the picker modally: the chosen folder, or an empty text when cancelled.
QString BrowseForFolder(QWidget *parent, const QString &caption, const QString &root, const QString &start);
