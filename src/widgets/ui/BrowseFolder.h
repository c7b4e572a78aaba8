// A folder picker limited to one folder tree: the root (a drive's mount
// point, or "/") as the one top row, standing for "the whole tree", and the
// folders below it. Each level is read when it is first opened, in full and
// sorted before its rows appear, so that type-ahead and the arrow keys never
// land on a row that a later batch pushes aside. The picker opens with no
// choice made: OK waits until the user selects a folder. Used to choose a
// virtual root on a drive and any folder to scan.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QStandardItem;
class QStandardItemModel;
class QTreeView;

class TBrowseFolderForm : public QDialog
{
    Q_OBJECT
public:
    // Shows the folders below root and opens the tree down to start (when it
    // is below root) without choosing it.
    TBrowseFolderForm(const QString &caption, const QString &root, const QString &start, QWidget *parent = nullptr);

    // The chosen folder (the root itself when its row is chosen); empty while
    // nothing is chosen.
    QString selectedFolder() const;
    // Chooses a folder at or below the root (for the keyboard and tests);
    // false when it is not one.
    bool selectFolder(const QString &folder);
    QTreeView *tree() const { return m_tree; }
    QPushButton *okButton() const { return m_ok; }
    QLabel *folderLabel() const { return m_path; }

private:
    // The row of folder, reading the levels on the way; null when the folder
    // is not at or below the root.
    QStandardItem *itemOf(const QString &folder);
    void showSelection();

    QString m_root;
    QStandardItemModel *m_model = nullptr;
    QTreeView *m_tree = nullptr;
    QLabel *m_path = nullptr;
    QPushButton *m_ok = nullptr;
};

// Shows the picker modally: the chosen folder, or an empty text when cancelled.
QString BrowseForFolder(QWidget *parent, const QString &caption, const QString &root, const QString &start);
